// Diagnostics: the one diagnostic slot every handle carries, and how a message number becomes
// an SQLSTATE and a message text. A handle holds at most one diagnostic; its text is built only
// when the client asks for it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "qbtable/table_state.h"
#include "resources/messages.h"

namespace kelvra {

// Longest text a message may have (the message buffer is 512 bytes with its terminator).
constexpr size_t kMaxMessageText = 511;

struct DiagRecord {
    MsgNo number = kMsgNone;  // 0: none; up to 1000: whole text in `detail`; above: table entry
    std::string detail;       // the complete entry text for numbers up to 1000
    std::string argument;     // replaces a trailing "%s" of the message text

    bool pending() const { return number != kMsgNone; }
    void clear() { number = kMsgNone; }
};

// A diagnostic as the client sees it.
struct DiagText {
    std::string state2;  // ODBC 2 SQLSTATE
    std::string state3;  // ODBC 3 SQLSTATE
    std::string message;

    const std::string& state(int odbcVersion) const { return odbcVersion == 2 ? state2 : state3; }
};

// Posts a message on a slot, overwriting what was there. For numbers up to 1000 (other than the
// session's 999, see postSessionError) the table entry is loaded into the detail text.
void postMessage(DiagRecord& diag, MsgNo number, std::string_view argument = {});

// Moves a QuickBase session's error onto a slot. `sessionMsg` is the session's message number:
// a table entry, or 999 for a QuickBase or transport error described by `errcode` (decimal
// text) and `errdetail`.
void postSessionError(DiagRecord& diag, MsgNo sessionMsg, std::string_view errcode,
                      std::string_view errdetail);

// Posts the table layer's last error on a slot (a QuickBase error, or a message of the table
// layer); returns its number.
MsgNo postTableError(DiagRecord& diag, const TableError& error);

// The SQLSTATEs and text of a pending diagnostic (message 0 gives "00000" and no text).
DiagText buildDiagText(const DiagRecord& diag);

// SQL_DIAG_CLASS_ORIGIN and SQL_DIAG_SUBCLASS_ORIGIN for an ODBC 3 SQLSTATE.
std::string_view classOrigin(std::string_view state3);
std::string_view subclassOrigin(std::string_view state3);

// SQL_DIAG_DYNAMIC_FUNCTION for a statement's dynamic function code ("" when unknown).
std::string_view dynamicFunctionText(std::int32_t code);

}  // namespace kelvra
