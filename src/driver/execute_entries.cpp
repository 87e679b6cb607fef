// Executing statements: SQLExecute, SQLExecDirect, and SQLParamData and SQLPutData of data at
// execution.
#include <sql.h>
#include <sqlext.h>

#include "driver/entry.h"
#include "driver/entry_calls.h"
#include "driver/export.h"
#include "driver/handles.h"
#include "driver/positioned_change.h"
#include "driver/statement_execute.h"

using namespace kelvra;

KELVRA_EXPORT SQLRETURN SQLExecute(SQLHSTMT hstmt) {
    return runEntry<DriverStatement>(
        hstmt, [&](DriverStatement& stmt) -> SQLRETURN { return executePrepared(stmt); });
}

KELVRA_EXPORT SQLRETURN SQLExecDirect(SQLHSTMT hstmt, SQLCHAR* szSqlStr, SQLINTEGER cbSqlStr) {
    return execDirectCall(hstmt, szSqlStr, cbSqlStr);
}

KELVRA_EXPORT SQLRETURN SQLParamData(SQLHSTMT hstmt, SQLPOINTER* prgbValue) {
    return runEntry<DriverStatement>(hstmt, [&](DriverStatement& stmt) -> SQLRETURN {
        if (stmt.positionedRow != kNoPositionedRow) return positionedParamData(stmt, prgbValue);
        return paramData(stmt, prgbValue);
    });
}

KELVRA_EXPORT SQLRETURN SQLPutData(SQLHSTMT hstmt, SQLPOINTER rgbValue, SQLLEN cbValue) {
    return runEntry<DriverStatement>(hstmt, [&](DriverStatement& stmt) -> SQLRETURN {
        if (stmt.positionedRow != kNoPositionedRow)
            return positionedPutData(stmt, rgbValue, cbValue);
        return putData(stmt, rgbValue, cbValue);
    });
}
