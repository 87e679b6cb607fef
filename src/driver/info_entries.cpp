// What the driver tells about itself: SQLGetInfo and SQLGetFunctions.
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "connect/session_start.h"
#include "driver/entry.h"
#include "driver/entry_calls.h"
#include "driver/export.h"
#include "driver/string_out.h"
#include "qbapi/qb_session.h"

using namespace kelvra;

namespace {

constexpr const char* kDriverVersion = "3.8.1.44";

enum class Kind : std::uint8_t { kText, kSmall, kInteger };

struct InfoAnswer {
    std::uint16_t type;
    Kind kind;
    std::uint32_t number;
    const char* text;
};

constexpr InfoAnswer text(std::uint16_t type, const char* value) {
    return {type, Kind::kText, 0, value};
}
constexpr InfoAnswer small(std::uint16_t type, std::uint16_t value) {
    return {type, Kind::kSmall, value, nullptr};
}
constexpr InfoAnswer integer(std::uint16_t type, std::uint32_t value) {
    return {type, Kind::kInteger, value, nullptr};
}

// The fixed answers, sorted by info type. Answers that depend on the connection are given by
// dynamicAnswer() below.
constexpr auto kAnswers = std::to_array<InfoAnswer>({
    small(0, 0),
    small(1, 0),
    text(6, "libkelodbc.so"),
    text(7, kDriverVersion),
    integer(8, 191),
    small(9, 1),
    text(11, "N"),
    small(12, 1),
    text(13, ""),
    text(14, "\\"),
    small(15, 0),
    text(17, "Kelvra for QuickBase"),
    text(18, kDriverVersion),
    text(19, "Y"),
    text(20, "Y"),
    text(21, "N"),
    small(22, 0),
    text(25, "N"),
    text(27, "N"),
    small(28, 4),
    text(29, "\""),
    small(30, 127),
    small(31, 19),
    small(32, 0),
    small(33, 0),
    small(34, 0),
    small(35, 127),
    text(36, "N"),
    text(38, "Y"),
    text(39, ""),
    text(40, ""),
    text(41, ""),
    text(42, ""),
    integer(43, 3),
    integer(44, 3),
    text(45, "table"),
    integer(48, 1),
    integer(49, 0xffffff),
    integer(50, 0xffffff),
    integer(51, 7),
    integer(52, 0x1fffff),
    integer(53, 32255),
    integer(54, 0x3fdff),
    integer(55, 32255),
    integer(56, 0x3fdff),
    integer(57, 167169),
    integer(58, 32255),
    integer(59, 32255),
    integer(60, 32255),
    integer(61, 32255),
    integer(62, 0),
    integer(63, 32255),
    integer(64, 32255),
    integer(65, 32255),
    integer(66, 199937),
    integer(67, 232705),
    integer(68, 32255),
    integer(69, 0x3fdff),
    integer(70, 0x3fdff),
    integer(71, 0),
    text(73, "N"),
    small(74, 2),
    small(75, 0),
    text(77, "03.51"),
    integer(78, 1),
    integer(79, 31),
    integer(80, 0),
    integer(81, SQL_GD_ANY_COLUMN | SQL_GD_ANY_ORDER | SQL_GD_BLOCK | SQL_GD_BOUND),
    integer(83, 4),
    small(84, 0),
    small(85, 1),
    integer(86, 0),
    text(87, "Y"),
    small(88, 2),
    text(89, ""),
    text(90, "N"),
    integer(91, 0),
    integer(92, 0),
    small(93, 4),
    text(94, ""),
    integer(95, 31),
    integer(96, 0),
    small(97, 20),
    small(98, 0),
    small(99, 20),
    small(100, 0),
    small(101, 0),
    integer(102, 0),
    text(103, "Y"),
    integer(104, 0),
    integer(105, 0),
    small(106, 0),
    small(107, 63),
    integer(108, 255),
    integer(109, 510),
    integer(110, 510),
    text(111, "N"),
    integer(112, 510),
    text(113, "Y"),
    small(114, 1),
    integer(115, 121),
    small(116, 0),
    integer(117, 0),
    integer(118, 1),
    integer(119, 0),
    integer(120, 2),
    integer(121, 3),
    integer(123, 0),
    integer(124, 0),
    integer(127, 0),
    integer(128, 0),
    integer(129, 0),
    integer(130, 0),
    integer(131, 0),
    integer(132, 1),
    integer(133, 0),
    integer(134, 0),
    integer(136, 0),
    integer(137, 0),
    integer(138, 0),
    integer(139, 0),
    integer(140, 0),
    integer(141, 1),
    integer(142, 0),
    integer(143, 0),
    integer(144, 0),
    integer(145, 0),
    // A forward-only cursor is read-only: it refreshes the row it stands on, and changes nothing.
    integer(146,
            SQL_CA1_NEXT | SQL_CA1_LOCK_NO_CHANGE | SQL_CA1_POS_POSITION | SQL_CA1_POS_REFRESH),
    integer(147, 115 | SQL_CA2_MAX_ROWS_SELECT),
    integer(148, 3),
    integer(149, 0),
    integer(150, 990799),
    // The keyset shows this cursor's updates; rows it added or deleted keep their places.
    integer(151, SQL_CA2_READ_ONLY_CONCURRENCY | SQL_CA2_LOCK_CONCURRENCY |
                     SQL_CA2_SENSITIVITY_UPDATES | SQL_CA2_MAX_ROWS_SELECT),
    integer(152, 1),
    integer(153, 2),
    integer(154, 3),
    integer(155, 0),
    integer(156, 0),
    integer(157, 0),
    integer(158, 0),
    integer(159, 0),
    integer(160, 16135),
    integer(161, 0),
    integer(162, 0),
    integer(163, 0),
    integer(164, 0),
    integer(165, 0),
    integer(166, 0),
    integer(167, 0),
    integer(168, 0),
    integer(169, 31),
    integer(170, 3),
    text(171, "03.00.0000"),
    integer(172, 3),
    text(10000, ""),
    integer(10001, 0),
    integer(10002, 0),
    text(10003, "N"),
    text(10004, ""),
    small(10005, 32767),
    integer(10021, 0),
    integer(10022, 0),
    integer(65003, 121),
});

static_assert(std::is_sorted(kAnswers.begin(), kAnswers.end(),
                             [](const InfoAnswer& a, const InfoAnswer& b) {
                                 return a.type < b.type;
                             }));

// Answers that depend on the connection; false for a type that has none.
bool dynamicAnswer(const DriverConnection& dbc, SQLUSMALLINT type, InfoAnswer& answer,
                   std::string& textValue) {
    const QbSession* session = dbc.session.get();
    switch (type) {
        case SQL_DATA_SOURCE_NAME:
            textValue = dbc.dataSourceName == " " ? "" : dbc.dataSourceName;
            break;
        case SQL_DATABASE_NAME:
            textValue = session ? dbc.currentCatalog : "";
            break;
        case SQL_USER_NAME:
            textValue = session ? session->username : "";
            break;
        // Transactions over the write cache: each connection has its own; cursors stay open
        // across commit and rollback; reads see committed data and the connection's own changes.
        case SQL_MULTIPLE_ACTIVE_TXN:
            textValue = "Y";
            break;
        case SQL_CURSOR_COMMIT_BEHAVIOR:
        case SQL_CURSOR_ROLLBACK_BEHAVIOR:
            answer = small(type, SQL_CB_PRESERVE);
            return true;
        case SQL_DEFAULT_TXN_ISOLATION:
        case SQL_TXN_ISOLATION_OPTION:
            answer = integer(type, SQL_TXN_READ_COMMITTED);
            return true;
        case SQL_TXN_CAPABLE:
            answer = small(type, SQL_TC_DML);
            return true;
        case SQL_BOOKMARK_PERSISTENCE:
            answer = integer(type, hostProgramName() == "winword.exe" ? 0 : 82);
            return true;
        default:
            return false;
    }
    answer = text(type, textValue.c_str());
    return true;
}

template <typename T>
SQLRETURN numberOut(const TextOut& out, T number) {
    if (out.buffer != nullptr) std::memcpy(out.buffer, &number, sizeof number);
    out.storeLength(sizeof number);
    return SQL_SUCCESS;
}

SQLRETURN getInfo(DriverConnection& dbc, SQLUSMALLINT type, const TextOut& value) {
    InfoAnswer answer{};
    std::string textValue;
    if (!dynamicAnswer(dbc, type, answer, textValue)) {
        const auto it =
            std::lower_bound(kAnswers.begin(), kAnswers.end(), type,
                             [](const InfoAnswer& a, SQLUSMALLINT t) { return a.type < t; });
        if (it == kAnswers.end() || it->type != type) {
            postMessage(dbc.diag, kMsgNotSupported, std::to_string(type));
            return SQL_ERROR;
        }
        answer = *it;
    }
    switch (answer.kind) {
        case Kind::kText:
            return finish(dbc.diag, putText(value, answer.text));
        case Kind::kSmall:
            return numberOut(value, static_cast<SQLUSMALLINT>(answer.number));
        case Kind::kInteger:
            break;
    }
    return numberOut(value, SQLUINTEGER{answer.number});
}

// The functions SQLGetFunctions reports: the entry points this library exports (a function
// joins the list when its entry point joins the export list). SQLColumnPrivileges,
// SQLProcedures, SQLProcedureColumns and SQLTablePrivileges are exported only to refuse, and
// are not reported.
constexpr auto kSupported = std::to_array<SQLUSMALLINT>({
    SQL_API_SQLALLOCCONNECT,  SQL_API_SQLALLOCENV,         SQL_API_SQLALLOCSTMT,
    SQL_API_SQLBINDCOL,       SQL_API_SQLCOLATTRIBUTES,    SQL_API_SQLCONNECT,
    SQL_API_SQLDESCRIBECOL,   SQL_API_SQLDISCONNECT,       SQL_API_SQLERROR,
    SQL_API_SQLFETCH,         SQL_API_SQLFREECONNECT,      SQL_API_SQLFREEENV,
    SQL_API_SQLFREESTMT,      SQL_API_SQLNUMRESULTCOLS,    SQL_API_SQLROWCOUNT,
    SQL_API_SQLCOLUMNS,       SQL_API_SQLDRIVERCONNECT,    SQL_API_SQLGETCONNECTOPTION,
    SQL_API_SQLGETDATA,       SQL_API_SQLGETFUNCTIONS,     SQL_API_SQLGETINFO,
    SQL_API_SQLGETTYPEINFO,   SQL_API_SQLSETCONNECTOPTION, SQL_API_SQLSPECIALCOLUMNS,
    SQL_API_SQLSTATISTICS,    SQL_API_SQLTABLES,           SQL_API_SQLBROWSECONNECT,
    SQL_API_SQLEXTENDEDFETCH, SQL_API_SQLFOREIGNKEYS,      SQL_API_SQLMORERESULTS,
    SQL_API_SQLPRIMARYKEYS,   SQL_API_SQLALLOCHANDLE,      SQL_API_SQLCLOSECURSOR,
    SQL_API_SQLFREEHANDLE,    SQL_API_SQLGETCONNECTATTR,   SQL_API_SQLGETDIAGFIELD,
    SQL_API_SQLGETDIAGREC,    SQL_API_SQLGETENVATTR,       SQL_API_SQLSETCONNECTATTR,
    SQL_API_SQLSETENVATTR,    SQL_API_SQLFETCHSCROLL,      SQL_API_SQLPREPARE,
    SQL_API_SQLNUMPARAMS,     SQL_API_SQLDESCRIBEPARAM,    SQL_API_SQLBINDPARAMETER,
    SQL_API_SQLPARAMOPTIONS,  SQL_API_SQLSETCURSORNAME,    SQL_API_SQLGETCURSORNAME,
    SQL_API_SQLCANCEL,        SQL_API_SQLTRANSACT,         SQL_API_SQLENDTRAN,
    SQL_API_SQLEXECUTE,       SQL_API_SQLEXECDIRECT,       SQL_API_SQLPARAMDATA,
    SQL_API_SQLPUTDATA,       SQL_API_SQLNATIVESQL,        SQL_API_SQLCOPYDESC,
    SQL_API_SQLGETDESCFIELD,  SQL_API_SQLGETDESCREC,       SQL_API_SQLSETDESCFIELD,
    SQL_API_SQLSETDESCREC,    SQL_API_SQLGETSTMTATTR,      SQL_API_SQLSETSTMTATTR,
    SQL_API_SQLGETSTMTOPTION, SQL_API_SQLSETSTMTOPTION,    SQL_API_SQLSETSCROLLOPTIONS,
    SQL_API_SQLSETPOS,        SQL_API_SQLBULKOPERATIONS,
});

bool isSupported(SQLUSMALLINT function) {
    return std::find(kSupported.begin(), kSupported.end(), function) != kSupported.end();
}

}  // namespace

SQLRETURN kelvra::getInfoCall(SQLHDBC hdbc, SQLUSMALLINT type, const TextOut& value) {
    return runEntry<DriverConnection>(
        hdbc, [&](DriverConnection& dbc) { return getInfo(dbc, type, value); });
}

KELVRA_EXPORT SQLRETURN SQLGetInfo(SQLHDBC hdbc, SQLUSMALLINT fInfoType, SQLPOINTER rgbInfoValue,
                                   SQLSMALLINT cbInfoValueMax, SQLSMALLINT* pcbInfoValue) {
    return getInfoCall(hdbc, fInfoType, {rgbInfoValue, cbInfoValueMax, pcbInfoValue});
}

KELVRA_EXPORT SQLRETURN SQLGetFunctions(SQLHDBC hdbc, SQLUSMALLINT fFunction,
                                        SQLUSMALLINT* pfExists) {
    return runEntry<DriverConnection>(hdbc, [&](DriverConnection&) {
        if (pfExists == nullptr) return SQL_SUCCESS;
        if (fFunction == SQL_API_ALL_FUNCTIONS) {
            pfExists[0] = SQL_FALSE;
            for (SQLUSMALLINT n = 1; n < 100; ++n) {
                pfExists[n] = isSupported(n) ? SQL_TRUE : SQL_FALSE;
            }
        } else if (fFunction == SQL_API_ODBC3_ALL_FUNCTIONS) {
            std::fill_n(pfExists, SQL_API_ODBC3_ALL_FUNCTIONS_SIZE, SQLUSMALLINT{0});
            for (SQLUSMALLINT n = 1; n < 4000; ++n) {
                if (n != 999 && isSupported(n)) pfExists[n >> 4] |= SQLUSMALLINT(1u << (n & 15));
            }
        } else {
            *pfExists = isSupported(fFunction) ? SQL_TRUE : SQL_FALSE;
        }
        return SQL_SUCCESS;
    });
}
