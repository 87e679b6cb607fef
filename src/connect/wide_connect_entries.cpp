// The wide (W) twins of the connect calls: SQLConnectW, SQLDriverConnectW (its output
// connection string counted in characters) and the refused SQLBrowseConnectW.
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include "connect/connect_calls.h"
#include "driver/export.h"

using namespace kelvra;

KELVRA_EXPORT SQLRETURN SQLConnectW(SQLHDBC hdbc, SQLWCHAR* szDSN, SQLSMALLINT cbDSN,
                                    SQLWCHAR* szUID, SQLSMALLINT cbUID, SQLWCHAR* szAuthStr,
                                    SQLSMALLINT cbAuthStr) {
    return connectCall(hdbc, szDSN, cbDSN, szUID, cbUID, szAuthStr, cbAuthStr);
}

KELVRA_EXPORT SQLRETURN SQLDriverConnectW(SQLHDBC hdbc, SQLHWND /*hwnd*/, SQLWCHAR* szConnStrIn,
                                          SQLSMALLINT cbConnStrIn, SQLWCHAR* szConnStrOut,
                                          SQLSMALLINT cbConnStrOutMax, SQLSMALLINT* pcbConnStrOut,
                                          SQLUSMALLINT fDriverCompletion) {
    return driverConnectCall(hdbc, szConnStrIn, cbConnStrIn, szConnStrOut, cbConnStrOutMax,
                             pcbConnStrOut, fDriverCompletion);
}

KELVRA_EXPORT SQLRETURN SQLBrowseConnectW(SQLHDBC hdbc, SQLWCHAR* /*szConnStrIn*/,
                                          SQLSMALLINT /*cbConnStrIn*/, SQLWCHAR* /*szConnStrOut*/,
                                          SQLSMALLINT /*cbConnStrOutMax*/,
                                          SQLSMALLINT* /*pcbConnStrOut*/) {
    return browseConnectCall(hdbc);
}
