// The wide (W) twins of the diagnostic, information and connection-attribute calls:
// SQLErrorW, SQLGetDiagRecW, SQLGetDiagFieldW, SQLGetInfoW, SQLGetConnectAttrW,
// SQLSetConnectAttrW, SQLGetConnectOptionW and SQLSetConnectOptionW. Typed SQLWCHAR* buffers
// count characters; void* buffers count bytes.
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include "driver/entry_calls.h"
#include "driver/export.h"

using namespace kelvra;

KELVRA_EXPORT SQLRETURN SQLErrorW(SQLHENV henv, SQLHDBC hdbc, SQLHSTMT hstmt, SQLWCHAR* szSqlState,
                                  SQLINTEGER* pfNativeError, SQLWCHAR* szErrorMsg,
                                  SQLSMALLINT cbErrorMsgMax, SQLSMALLINT* pcbErrorMsg) {
    return errorCall(henv, hdbc, hstmt,
                     {szSqlState, 6, static_cast<SQLSMALLINT*>(nullptr), TextForm::wideChars},
                     pfNativeError, {szErrorMsg, cbErrorMsgMax, pcbErrorMsg, TextForm::wideChars});
}

KELVRA_EXPORT SQLRETURN SQLGetDiagRecW(SQLSMALLINT fHandleType, SQLHANDLE handle,
                                       SQLSMALLINT iRecord, SQLWCHAR* szSqlState,
                                       SQLINTEGER* pfNativeError, SQLWCHAR* szErrorMsg,
                                       SQLSMALLINT cbErrorMsgMax, SQLSMALLINT* pcbErrorMsg) {
    return diagRecCall(fHandleType, handle, iRecord,
                       {szSqlState, 6, static_cast<SQLSMALLINT*>(nullptr), TextForm::wideChars},
                       pfNativeError,
                       {szErrorMsg, cbErrorMsgMax, pcbErrorMsg, TextForm::wideChars});
}

KELVRA_EXPORT SQLRETURN SQLGetDiagFieldW(SQLSMALLINT fHandleType, SQLHANDLE handle,
                                         SQLSMALLINT iRecord, SQLSMALLINT fDiagField,
                                         SQLPOINTER rgbDiagInfo, SQLSMALLINT cbDiagInfoMax,
                                         SQLSMALLINT* pcbDiagInfo) {
    return diagFieldCall(fHandleType, handle, iRecord, fDiagField,
                         {rgbDiagInfo, cbDiagInfoMax, pcbDiagInfo, TextForm::wideBytes});
}

KELVRA_EXPORT SQLRETURN SQLGetInfoW(SQLHDBC hdbc, SQLUSMALLINT fInfoType, SQLPOINTER rgbInfoValue,
                                    SQLSMALLINT cbInfoValueMax, SQLSMALLINT* pcbInfoValue) {
    return getInfoCall(hdbc, fInfoType,
                       {rgbInfoValue, cbInfoValueMax, pcbInfoValue, TextForm::wideBytes});
}

KELVRA_EXPORT SQLRETURN SQLGetConnectAttrW(SQLHDBC hdbc, SQLINTEGER fAttribute, SQLPOINTER rgbValue,
                                           SQLINTEGER cbValueMax, SQLINTEGER* pcbValue) {
    return getConnectAttrCall(hdbc, fAttribute,
                              {rgbValue, cbValueMax, pcbValue, TextForm::wideBytes});
}

KELVRA_EXPORT SQLRETURN SQLSetConnectAttrW(SQLHDBC hdbc, SQLINTEGER fAttribute, SQLPOINTER rgbValue,
                                           SQLINTEGER cbValue) {
    return setConnectAttrCall<SQLWCHAR>(hdbc, fAttribute, rgbValue, cbValue);
}

KELVRA_EXPORT SQLRETURN SQLGetConnectOptionW(SQLHDBC hdbc, SQLUSMALLINT fOption,
                                             SQLPOINTER pvParam) {
    return getConnectOptionCall(hdbc, fOption, pvParam);
}

KELVRA_EXPORT SQLRETURN SQLSetConnectOptionW(SQLHDBC hdbc, SQLUSMALLINT fOption, SQLULEN vParam) {
    return setConnectOptionCall(hdbc, fOption, vParam);
}
