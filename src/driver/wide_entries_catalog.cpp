// The wide (W) twins of the catalog functions and of SQLGetTypeInfo: name lengths count
// characters.
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include "driver/entry_calls.h"
#include "driver/export.h"

using namespace kelvra;

KELVRA_EXPORT SQLRETURN SQLTablesW(SQLHSTMT hstmt, SQLWCHAR* szCatalogName,
                                   SQLSMALLINT cbCatalogName, SQLWCHAR* szSchemaName,
                                   SQLSMALLINT cbSchemaName, SQLWCHAR* szTableName,
                                   SQLSMALLINT cbTableName, SQLWCHAR* szTableType,
                                   SQLSMALLINT cbTableType) {
    return tablesCall(hstmt, szCatalogName, cbCatalogName, szSchemaName, cbSchemaName, szTableName,
                      cbTableName, szTableType, cbTableType);
}

KELVRA_EXPORT SQLRETURN SQLColumnsW(SQLHSTMT hstmt, SQLWCHAR* /*szCatalogName*/,
                                    SQLSMALLINT /*cbCatalogName*/, SQLWCHAR* /*szSchemaName*/,
                                    SQLSMALLINT /*cbSchemaName*/, SQLWCHAR* szTableName,
                                    SQLSMALLINT cbTableName, SQLWCHAR* szColumnName,
                                    SQLSMALLINT cbColumnName) {
    return columnsCall(hstmt, szTableName, cbTableName, szColumnName, cbColumnName);
}

KELVRA_EXPORT SQLRETURN SQLStatisticsW(SQLHSTMT hstmt, SQLWCHAR* /*szCatalogName*/,
                                       SQLSMALLINT /*cbCatalogName*/, SQLWCHAR* /*szSchemaName*/,
                                       SQLSMALLINT /*cbSchemaName*/, SQLWCHAR* szTableName,
                                       SQLSMALLINT cbTableName, SQLUSMALLINT /*fUnique*/,
                                       SQLUSMALLINT /*fAccuracy*/) {
    return statisticsCall(hstmt, szTableName, cbTableName);
}

KELVRA_EXPORT SQLRETURN SQLSpecialColumnsW(SQLHSTMT hstmt, SQLUSMALLINT fColType,
                                           SQLWCHAR* /*szCatalogName*/,
                                           SQLSMALLINT /*cbCatalogName*/,
                                           SQLWCHAR* /*szSchemaName*/, SQLSMALLINT /*cbSchemaName*/,
                                           SQLWCHAR* szTableName, SQLSMALLINT cbTableName,
                                           SQLUSMALLINT /*fScope*/, SQLUSMALLINT /*fNullable*/) {
    return specialColumnsCall(hstmt, fColType, szTableName, cbTableName);
}

KELVRA_EXPORT SQLRETURN SQLPrimaryKeysW(SQLHSTMT hstmt, SQLWCHAR* /*szCatalogName*/,
                                        SQLSMALLINT /*cbCatalogName*/, SQLWCHAR* /*szSchemaName*/,
                                        SQLSMALLINT /*cbSchemaName*/, SQLWCHAR* szTableName,
                                        SQLSMALLINT cbTableName) {
    return primaryKeysCall(hstmt, szTableName, cbTableName);
}

KELVRA_EXPORT SQLRETURN SQLForeignKeysW(
    SQLHSTMT hstmt, SQLWCHAR* /*szPkCatalogName*/, SQLSMALLINT /*cbPkCatalogName*/,
    SQLWCHAR* /*szPkSchemaName*/, SQLSMALLINT /*cbPkSchemaName*/, SQLWCHAR* szPkTableName,
    SQLSMALLINT cbPkTableName, SQLWCHAR* /*szFkCatalogName*/, SQLSMALLINT /*cbFkCatalogName*/,
    SQLWCHAR* /*szFkSchemaName*/, SQLSMALLINT /*cbFkSchemaName*/, SQLWCHAR* szFkTableName,
    SQLSMALLINT cbFkTableName) {
    return foreignKeysCall(hstmt, szPkTableName, cbPkTableName, szFkTableName, cbFkTableName);
}

KELVRA_EXPORT SQLRETURN SQLProceduresW(SQLHSTMT hstmt, SQLWCHAR*, SQLSMALLINT, SQLWCHAR*,
                                       SQLSMALLINT, SQLWCHAR*, SQLSMALLINT) {
    return refusedCall(hstmt, "SQLProcedures");
}

KELVRA_EXPORT SQLRETURN SQLProcedureColumnsW(SQLHSTMT hstmt, SQLWCHAR*, SQLSMALLINT, SQLWCHAR*,
                                             SQLSMALLINT, SQLWCHAR*, SQLSMALLINT, SQLWCHAR*,
                                             SQLSMALLINT) {
    return refusedCall(hstmt, "SQLProcedureColumns");
}

KELVRA_EXPORT SQLRETURN SQLTablePrivilegesW(SQLHSTMT hstmt, SQLWCHAR*, SQLSMALLINT, SQLWCHAR*,
                                            SQLSMALLINT, SQLWCHAR*, SQLSMALLINT) {
    return refusedCall(hstmt, "SQLTablePrivileges");
}

KELVRA_EXPORT SQLRETURN SQLColumnPrivilegesW(SQLHSTMT hstmt, SQLWCHAR*, SQLSMALLINT, SQLWCHAR*,
                                             SQLSMALLINT, SQLWCHAR*, SQLSMALLINT, SQLWCHAR*,
                                             SQLSMALLINT) {
    return refusedCall(hstmt, "SQLColumnPrivileges");
}

KELVRA_EXPORT SQLRETURN SQLGetTypeInfoW(SQLHSTMT hstmt, SQLSMALLINT DataType) {
    return typeInfoCall(hstmt, DataType);
}
