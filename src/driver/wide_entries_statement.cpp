// The wide (W) twins of the statement and result-description calls: SQLPrepareW,
// SQLExecDirectW, SQLNativeSqlW, SQLSetCursorNameW, SQLGetCursorNameW, SQLDescribeColW,
// SQLColAttributeW and SQLColAttributesW. Typed SQLWCHAR* buffers and text lengths count
// characters; the void* buffers of the attribute calls count bytes.
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include "driver/entry_calls.h"
#include "driver/export.h"

using namespace kelvra;

KELVRA_EXPORT SQLRETURN SQLPrepareW(SQLHSTMT hstmt, SQLWCHAR* szSqlStr, SQLINTEGER cbSqlStr) {
    return prepareCall(hstmt, szSqlStr, cbSqlStr);
}

KELVRA_EXPORT SQLRETURN SQLExecDirectW(SQLHSTMT hstmt, SQLWCHAR* szSqlStr, SQLINTEGER cbSqlStr) {
    return execDirectCall(hstmt, szSqlStr, cbSqlStr);
}

KELVRA_EXPORT SQLRETURN SQLNativeSqlW(SQLHDBC hdbc, SQLWCHAR* szSqlStrIn, SQLINTEGER cbSqlStrIn,
                                      SQLWCHAR* szSqlStr, SQLINTEGER cbSqlStrMax,
                                      SQLINTEGER* pcbSqlStr) {
    return nativeSqlCall(hdbc, szSqlStrIn, cbSqlStrIn, szSqlStr, cbSqlStrMax, pcbSqlStr);
}

KELVRA_EXPORT SQLRETURN SQLSetCursorNameW(SQLHSTMT hstmt, SQLWCHAR* szCursor,
                                          SQLSMALLINT cbCursor) {
    return setCursorNameCall(hstmt, szCursor, cbCursor);
}

KELVRA_EXPORT SQLRETURN SQLGetCursorNameW(SQLHSTMT hstmt, SQLWCHAR* szCursor,
                                          SQLSMALLINT cbCursorMax, SQLSMALLINT* pcbCursor) {
    return getCursorNameCall(hstmt, {szCursor, cbCursorMax, pcbCursor, TextForm::wideChars});
}

KELVRA_EXPORT SQLRETURN SQLDescribeColW(SQLHSTMT hstmt, SQLUSMALLINT icol, SQLWCHAR* szColName,
                                        SQLSMALLINT cbColNameMax, SQLSMALLINT* pcbColName,
                                        SQLSMALLINT* pfSqlType, SQLULEN* pcbColDef,
                                        SQLSMALLINT* pibScale, SQLSMALLINT* pfNullable) {
    return describeColCall(hstmt, icol, {szColName, cbColNameMax, pcbColName, TextForm::wideChars},
                           pfSqlType, pcbColDef, pibScale, pfNullable);
}

KELVRA_EXPORT SQLRETURN SQLColAttributeW(SQLHSTMT hstmt, SQLUSMALLINT iCol, SQLUSMALLINT iField,
                                         SQLPOINTER pCharAttr, SQLSMALLINT cbCharAttrMax,
                                         SQLSMALLINT* pcbCharAttr, SQLLEN* pNumAttr) {
    return colAttributeCall(hstmt, iCol, iField,
                            {pCharAttr, cbCharAttrMax, pcbCharAttr, TextForm::wideBytes}, pNumAttr);
}

KELVRA_EXPORT SQLRETURN SQLColAttributesW(SQLHSTMT hstmt, SQLUSMALLINT icol, SQLUSMALLINT fDescType,
                                          SQLPOINTER rgbDesc, SQLSMALLINT cbDescMax,
                                          SQLSMALLINT* pcbDesc, SQLLEN* pfDesc) {
    return colAttributesCall(hstmt, icol, fDescType,
                             {rgbDesc, cbDescMax, pcbDesc, TextForm::wideBytes}, pfDesc);
}
