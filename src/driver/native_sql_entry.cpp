// SQLNativeSql: checks a statement's syntax with the parser and hands the text back as it is
// (the driver's SQL needs no translation).
#include <sql.h>
#include <sqlext.h>

#include <cstring>
#include <string_view>

#include "driver/entry.h"
#include "driver/export.h"
#include "driver/handles.h"
#include "driver/string_out.h"
#include "sql/parser.h"

using namespace kelvra;

KELVRA_EXPORT SQLRETURN SQLNativeSql(SQLHDBC hdbc, SQLCHAR* szSqlStrIn, SQLINTEGER cbSqlStrIn,
                                     SQLCHAR* szSqlStr, SQLINTEGER cbSqlStrMax,
                                     SQLINTEGER* pcbSqlStr) {
    auto& dbc = *static_cast<DriverConnection*>(hdbc);
    dbc.diag.clear();
    return guarded(dbc.diag, [&]() -> SQLRETURN {
        // SQL_NTS measures the text; any other negative length counts as none.
        const char* chars = reinterpret_cast<const char*>(szSqlStrIn);
        std::size_t length = 0;
        if (chars != nullptr && cbSqlStrIn == SQL_NTS) {
            length = std::strlen(chars);
        } else if (chars != nullptr && cbSqlStrIn > 0) {
            length = static_cast<std::size_t>(cbSqlStrIn);
        }
        const std::string_view text(chars != nullptr ? chars : "", length);
        ParseTree scratch;
        StatementFacts facts;
        if (const MsgNo r = ParseStatement(text, scratch, facts)) {
            postMessage(dbc.diag, r, facts.argument);
            return SQL_ERROR;
        }
        return finish(dbc.diag, copyStringOut(szSqlStr, cbSqlStrMax, pcbSqlStr, text));
    });
}
