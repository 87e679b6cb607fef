// Executing statements: SQLExecute, SQLExecDirect, and SQLParamData and SQLPutData of data at
// execution.
#include <sql.h>
#include <sqlext.h>

#include "driver/entry.h"
#include "driver/export.h"
#include "driver/handles.h"
#include "driver/statement_execute.h"

using namespace kelvra;

namespace {

DriverStatement& statementOf(SQLHSTMT hstmt) {
    auto& stmt = *static_cast<DriverStatement*>(hstmt);
    stmt.diag.clear();
    stmt.diagRowCount = 0;
    return stmt;
}

std::string_view textArgument(const SQLCHAR* text, SQLINTEGER length) {
    if (text == nullptr) return {};
    const char* chars = reinterpret_cast<const char*>(text);
    if (length == SQL_NTS) return chars;
    return {chars, length < 0 ? 0 : static_cast<size_t>(length)};
}

}  // namespace

KELVRA_EXPORT SQLRETURN SQLExecute(SQLHSTMT hstmt) {
    auto& stmt = statementOf(hstmt);
    return guarded(stmt.diag, [&] { return executePrepared(stmt); });
}

KELVRA_EXPORT SQLRETURN SQLExecDirect(SQLHSTMT hstmt, SQLCHAR* szSqlStr, SQLINTEGER cbSqlStr) {
    auto& stmt = statementOf(hstmt);
    return guarded(stmt.diag, [&] { return executeDirect(stmt, textArgument(szSqlStr, cbSqlStr)); });
}

KELVRA_EXPORT SQLRETURN SQLParamData(SQLHSTMT hstmt, SQLPOINTER* prgbValue) {
    auto& stmt = statementOf(hstmt);
    return guarded(stmt.diag, [&] { return paramData(stmt, prgbValue); });
}

KELVRA_EXPORT SQLRETURN SQLPutData(SQLHSTMT hstmt, SQLPOINTER rgbValue, SQLLEN cbValue) {
    auto& stmt = statementOf(hstmt);
    return guarded(stmt.diag, [&] { return putData(stmt, rgbValue, cbValue); });
}

