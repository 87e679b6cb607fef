// The catalog functions: SQLTables, SQLColumns, SQLStatistics, SQLSpecialColumns,
// SQLPrimaryKeys, SQLForeignKeys, and the refused SQLProcedures, SQLProcedureColumns,
// SQLTablePrivileges and SQLColumnPrivileges.
#include <sql.h>
#include <sqlext.h>

#include "driver/entry_calls.h"
#include "driver/export.h"

using namespace kelvra;

SQLRETURN kelvra::refusedCall(SQLHSTMT hstmt, const char* function) {
    return runEntry<DriverStatement>(hstmt, [&](DriverStatement& stmt) {
        postMessage(stmt.diag, kMsgNotSupported, function);
        return SQL_ERROR;
    });
}

KELVRA_EXPORT SQLRETURN SQLTables(SQLHSTMT hstmt, SQLCHAR* szCatalogName, SQLSMALLINT cbCatalogName,
                                  SQLCHAR* szSchemaName, SQLSMALLINT cbSchemaName,
                                  SQLCHAR* szTableName, SQLSMALLINT cbTableName,
                                  SQLCHAR* szTableType, SQLSMALLINT cbTableType) {
    return tablesCall(hstmt, szCatalogName, cbCatalogName, szSchemaName, cbSchemaName, szTableName,
                      cbTableName, szTableType, cbTableType);
}

KELVRA_EXPORT SQLRETURN SQLColumns(SQLHSTMT hstmt, SQLCHAR* /*szCatalogName*/,
                                   SQLSMALLINT /*cbCatalogName*/, SQLCHAR* /*szSchemaName*/,
                                   SQLSMALLINT /*cbSchemaName*/, SQLCHAR* szTableName,
                                   SQLSMALLINT cbTableName, SQLCHAR* szColumnName,
                                   SQLSMALLINT cbColumnName) {
    return columnsCall(hstmt, szTableName, cbTableName, szColumnName, cbColumnName);
}

KELVRA_EXPORT SQLRETURN SQLStatistics(SQLHSTMT hstmt, SQLCHAR* /*szCatalogName*/,
                                      SQLSMALLINT /*cbCatalogName*/, SQLCHAR* /*szSchemaName*/,
                                      SQLSMALLINT /*cbSchemaName*/, SQLCHAR* szTableName,
                                      SQLSMALLINT cbTableName, SQLUSMALLINT /*fUnique*/,
                                      SQLUSMALLINT /*fAccuracy*/) {
    return statisticsCall(hstmt, szTableName, cbTableName);
}

KELVRA_EXPORT SQLRETURN SQLSpecialColumns(SQLHSTMT hstmt, SQLUSMALLINT fColType,
                                          SQLCHAR* /*szCatalogName*/, SQLSMALLINT /*cbCatalogName*/,
                                          SQLCHAR* /*szSchemaName*/, SQLSMALLINT /*cbSchemaName*/,
                                          SQLCHAR* szTableName, SQLSMALLINT cbTableName,
                                          SQLUSMALLINT /*fScope*/, SQLUSMALLINT /*fNullable*/) {
    return specialColumnsCall(hstmt, fColType, szTableName, cbTableName);
}

KELVRA_EXPORT SQLRETURN SQLPrimaryKeys(SQLHSTMT hstmt, SQLCHAR* /*szCatalogName*/,
                                       SQLSMALLINT /*cbCatalogName*/, SQLCHAR* /*szSchemaName*/,
                                       SQLSMALLINT /*cbSchemaName*/, SQLCHAR* szTableName,
                                       SQLSMALLINT cbTableName) {
    return primaryKeysCall(hstmt, szTableName, cbTableName);
}

KELVRA_EXPORT SQLRETURN SQLForeignKeys(SQLHSTMT hstmt, SQLCHAR* /*szPkCatalogName*/,
                                       SQLSMALLINT /*cbPkCatalogName*/, SQLCHAR* /*szPkSchemaName*/,
                                       SQLSMALLINT /*cbPkSchemaName*/, SQLCHAR* szPkTableName,
                                       SQLSMALLINT cbPkTableName, SQLCHAR* /*szFkCatalogName*/,
                                       SQLSMALLINT /*cbFkCatalogName*/, SQLCHAR* /*szFkSchemaName*/,
                                       SQLSMALLINT /*cbFkSchemaName*/, SQLCHAR* szFkTableName,
                                       SQLSMALLINT cbFkTableName) {
    return foreignKeysCall(hstmt, szPkTableName, cbPkTableName, szFkTableName, cbFkTableName);
}

KELVRA_EXPORT SQLRETURN SQLProcedures(SQLHSTMT hstmt, SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT,
                                      SQLCHAR*, SQLSMALLINT) {
    return refusedCall(hstmt, "SQLProcedures");
}

KELVRA_EXPORT SQLRETURN SQLProcedureColumns(SQLHSTMT hstmt, SQLCHAR*, SQLSMALLINT, SQLCHAR*,
                                            SQLSMALLINT, SQLCHAR*, SQLSMALLINT, SQLCHAR*,
                                            SQLSMALLINT) {
    return refusedCall(hstmt, "SQLProcedureColumns");
}

KELVRA_EXPORT SQLRETURN SQLTablePrivileges(SQLHSTMT hstmt, SQLCHAR*, SQLSMALLINT, SQLCHAR*,
                                           SQLSMALLINT, SQLCHAR*, SQLSMALLINT) {
    return refusedCall(hstmt, "SQLTablePrivileges");
}

KELVRA_EXPORT SQLRETURN SQLColumnPrivileges(SQLHSTMT hstmt, SQLCHAR*, SQLSMALLINT, SQLCHAR*,
                                            SQLSMALLINT, SQLCHAR*, SQLSMALLINT, SQLCHAR*,
                                            SQLSMALLINT) {
    return refusedCall(hstmt, "SQLColumnPrivileges");
}
