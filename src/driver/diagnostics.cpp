#include "driver/diagnostics.h"

#include <algorithm>
#include <array>

#include "driver/string_out.h"

namespace kelvra {
namespace {

// An entry's text form: ODBC 2 state (5), blank, ODBC 3 state (5), blank, message.
constexpr size_t kState2At = 0;
constexpr size_t kState3At = 6;
constexpr size_t kMessageAt = 12;
constexpr size_t kStateLength = 5;

std::string_view slice(std::string_view text, size_t at, size_t length) {
    if (at >= text.size()) return {};
    return text.substr(at, length);
}

std::string stateOf(std::string_view text, size_t at) {
    std::string state(slice(text, at, kStateLength));
    // A detail text too short to hold a state still yields a well-formed one.
    state.resize(kStateLength, '0');
    return state;
}

}  // namespace

void postMessage(DiagRecord& diag, MsgNo number, std::string_view argument) {
    diag.number = number;
    diag.argument.assign(argument);
    if (number != kMsgNone && number <= 1000 && number != kMsgSession) {
        diag.detail.assign(messageEntry(number));
    }
}

void postSessionError(DiagRecord& diag, MsgNo sessionMsg, std::string_view errcode,
                      std::string_view errdetail) {
    diag.argument.clear();
    if (sessionMsg != kMsgSession) {
        diag.number = sessionMsg;
        diag.detail.assign(messageEntry(sessionMsg));
        return;
    }
    std::string state;
    if (errcode == "18") {
        state = "08S01";
    } else if (errcode == "4") {
        state = "28000";
    } else if (errcode == "19") {
        state = "S0022";
    } else if (!errcode.empty() && errcode.size() <= 3 &&
               std::all_of(errcode.begin(), errcode.end(),
                           [](char c) { return c >= '0' && c <= '9'; })) {
        state = "IM" + std::string(3 - errcode.size(), '0') + std::string(errcode);
    } else {
        // An SQLSTATE has five characters: a code that does not fit "IMnnn" (the transport's
        // 1000, or whatever a server put in its error header) is a general error.
        state = "HY000";
    }
    std::string detail = state + " " + state + " [Kelvra][QuickBase]";
    detail.append(errdetail);
    diag.detail = truncateText(detail, kMaxMessageText);
    diag.number = kMsgSession;
}

MsgNo postTableError(DiagRecord& diag, const TableError& error) {
    if (error.number == kMsgSession) {
        postSessionError(diag, kMsgSession, error.code, error.detail);
    } else {
        postMessage(diag, error.number);
    }
    return error.number;
}

DiagText buildDiagText(const DiagRecord& diag) {
    if (!diag.pending()) return DiagText{"00000", "00000", ""};
    std::string_view entry;
    std::string detail;
    if (diag.number <= 1000) {
        detail = truncateText(diag.detail, kMaxMessageText);
        entry = detail;
    } else {
        entry = messageEntry(diag.number);
    }
    DiagText out{stateOf(entry, kState2At), stateOf(entry, kState3At),
                 std::string(slice(entry, kMessageAt, std::string_view::npos))};
    std::string& message = out.message;
    if (message.size() > 1 && message.ends_with("%s")) {
        message.resize(message.size() - 2);
        message += diag.argument;
        message = truncateText(message, kMaxMessageText);
    }
    return out;
}

std::string_view classOrigin(std::string_view state3) {
    return state3.starts_with("IM") ? "ODBC 3.0" : "ISO 9075";
}

std::string_view subclassOrigin(std::string_view state3) {
    static constexpr std::array<std::string_view, 31> kOdbcStates = {
        "01S00", "01S01", "01S02", "01S06", "01S07", "07S01", "08S01", "21S01",
        "21S02", "25S01", "25S02", "25S03", "42S01", "42S02", "42S11", "42S12",
        "42S21", "42S22", "HY095", "HY097", "HY098", "HY099", "HY100", "HY101",
        "HY105", "HY107", "HY109", "HY110", "HY111", "HYT00", "HYT01"};
    if (state3.starts_with("IM")) return "ODBC 3.0";
    return std::find(kOdbcStates.begin(), kOdbcStates.end(), state3) != kOdbcStates.end()
               ? "ODBC 3.0"
               : "ISO 9075";
}

std::string_view dynamicFunctionText(std::int32_t code) {
    switch (code) {
        case 4:
            return "ALTER TABLE";
        case 7:
            return "CALL";
        case 19:
            return "DELETE WHERE";
        case 32:
            return "DROP TABLE";
        case 36:
            return "DROP VIEW";
        case 38:
            return "DYNAMIC DELETE CURSOR";
        case 48:
            return "GRANT";
        case 50:
            return "INSERT";
        case 59:
            return "REVOKE";
        case 77:
            return "CREATE TABLE";
        case 81:
            return "DYNAMIC UPDATE CURSOR";
        case 82:
            return "UPDATE WHERE";
        case 84:
            return "CREATE VIEW";
        case 85:
            return "SELECT CURSOR";
        case -2:
            return "DROP INDEX";
        case -1:
            return "CREATE INDEX";
        default:
            return "";
    }
}

}  // namespace kelvra
