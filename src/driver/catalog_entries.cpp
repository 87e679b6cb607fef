// The catalog functions: SQLTables, SQLColumns, SQLStatistics, SQLSpecialColumns,
// SQLPrimaryKeys, SQLForeignKeys, and the refused SQLProcedures, SQLProcedureColumns,
// SQLTablePrivileges and SQLColumnPrivileges.
#include <sql.h>
#include <sqlext.h>

#include "driver/catalog_results.h"
#include "driver/driver_result.h"
#include "driver/entry.h"
#include "driver/export.h"
#include "driver/handles.h"

using namespace kelvra;

namespace {

CatalogName nameArgument(const SQLCHAR* text, SQLSMALLINT length) {
    if (text == nullptr) return {};
    const char* chars = reinterpret_cast<const char*>(text);
    const size_t n = length == SQL_NTS || length < 0 ? std::char_traits<char>::length(chars)
                                                     : static_cast<size_t>(length);
    return {std::string(chars, n), true};
}

SQLRETURN refused(SQLHSTMT hstmt, const char* function) {
    return runEntry<DriverStatement>(hstmt, [&](DriverStatement& stmt) {
        postMessage(stmt.diag, kMsgNotSupported, function);
        return SQL_ERROR;
    });
}

}  // namespace

KELVRA_EXPORT SQLRETURN SQLTables(SQLHSTMT hstmt, SQLCHAR* szCatalogName, SQLSMALLINT cbCatalogName,
                                  SQLCHAR* szSchemaName, SQLSMALLINT cbSchemaName,
                                  SQLCHAR* szTableName, SQLSMALLINT cbTableName,
                                  SQLCHAR* szTableType, SQLSMALLINT cbTableType) {
    return produceResult(hstmt, kStateTables, [&](DriverStatement& stmt, auto& rows) {
        return tablesResult(stmt, nameArgument(szCatalogName, cbCatalogName),
                            nameArgument(szSchemaName, cbSchemaName),
                            nameArgument(szTableName, cbTableName),
                            nameArgument(szTableType, cbTableType), rows);
    });
}

KELVRA_EXPORT SQLRETURN SQLColumns(SQLHSTMT hstmt, SQLCHAR* /*szCatalogName*/,
                                   SQLSMALLINT /*cbCatalogName*/, SQLCHAR* /*szSchemaName*/,
                                   SQLSMALLINT /*cbSchemaName*/, SQLCHAR* szTableName,
                                   SQLSMALLINT cbTableName, SQLCHAR* szColumnName,
                                   SQLSMALLINT cbColumnName) {
    return produceResult(hstmt, kStateColumns, [&](DriverStatement& stmt, auto& rows) {
        return columnsResult(stmt, nameArgument(szTableName, cbTableName),
                             nameArgument(szColumnName, cbColumnName), rows);
    });
}

KELVRA_EXPORT SQLRETURN SQLStatistics(SQLHSTMT hstmt, SQLCHAR* /*szCatalogName*/,
                                      SQLSMALLINT /*cbCatalogName*/, SQLCHAR* /*szSchemaName*/,
                                      SQLSMALLINT /*cbSchemaName*/, SQLCHAR* szTableName,
                                      SQLSMALLINT cbTableName, SQLUSMALLINT /*fUnique*/,
                                      SQLUSMALLINT /*fAccuracy*/) {
    return produceResult(hstmt, kStateStatistics, [&](DriverStatement& stmt, auto& rows) {
        return statisticsResult(stmt, nameArgument(szTableName, cbTableName), rows);
    });
}

KELVRA_EXPORT SQLRETURN SQLSpecialColumns(SQLHSTMT hstmt, SQLUSMALLINT fColType,
                                          SQLCHAR* /*szCatalogName*/, SQLSMALLINT /*cbCatalogName*/,
                                          SQLCHAR* /*szSchemaName*/, SQLSMALLINT /*cbSchemaName*/,
                                          SQLCHAR* szTableName, SQLSMALLINT cbTableName,
                                          SQLUSMALLINT /*fScope*/, SQLUSMALLINT /*fNullable*/) {
    return produceResult(hstmt, kStateSpecialColumns, [&](DriverStatement& stmt, auto& rows) {
        return specialColumnsResult(stmt, fColType, nameArgument(szTableName, cbTableName), rows);
    });
}

KELVRA_EXPORT SQLRETURN SQLPrimaryKeys(SQLHSTMT hstmt, SQLCHAR* /*szCatalogName*/,
                                       SQLSMALLINT /*cbCatalogName*/, SQLCHAR* /*szSchemaName*/,
                                       SQLSMALLINT /*cbSchemaName*/, SQLCHAR* szTableName,
                                       SQLSMALLINT cbTableName) {
    return produceResult(hstmt, kStatePrimaryKeys, [&](DriverStatement& stmt, auto& rows) {
        return primaryKeysResult(stmt, nameArgument(szTableName, cbTableName), rows);
    });
}

KELVRA_EXPORT SQLRETURN SQLForeignKeys(SQLHSTMT hstmt, SQLCHAR* /*szPkCatalogName*/,
                                       SQLSMALLINT /*cbPkCatalogName*/, SQLCHAR* /*szPkSchemaName*/,
                                       SQLSMALLINT /*cbPkSchemaName*/, SQLCHAR* szPkTableName,
                                       SQLSMALLINT cbPkTableName, SQLCHAR* /*szFkCatalogName*/,
                                       SQLSMALLINT /*cbFkCatalogName*/, SQLCHAR* /*szFkSchemaName*/,
                                       SQLSMALLINT /*cbFkSchemaName*/, SQLCHAR* szFkTableName,
                                       SQLSMALLINT cbFkTableName) {
    return produceResult(hstmt, kStateForeignKeys, [&](DriverStatement& stmt, auto& rows) {
        return foreignKeysResult(stmt, nameArgument(szPkTableName, cbPkTableName),
                                 nameArgument(szFkTableName, cbFkTableName), rows);
    });
}

KELVRA_EXPORT SQLRETURN SQLProcedures(SQLHSTMT hstmt, SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT,
                                      SQLCHAR*, SQLSMALLINT) {
    return refused(hstmt, "SQLProcedures");
}

KELVRA_EXPORT SQLRETURN SQLProcedureColumns(SQLHSTMT hstmt, SQLCHAR*, SQLSMALLINT, SQLCHAR*,
                                            SQLSMALLINT, SQLCHAR*, SQLSMALLINT, SQLCHAR*,
                                            SQLSMALLINT) {
    return refused(hstmt, "SQLProcedureColumns");
}

KELVRA_EXPORT SQLRETURN SQLTablePrivileges(SQLHSTMT hstmt, SQLCHAR*, SQLSMALLINT, SQLCHAR*,
                                           SQLSMALLINT, SQLCHAR*, SQLSMALLINT) {
    return refused(hstmt, "SQLTablePrivileges");
}

KELVRA_EXPORT SQLRETURN SQLColumnPrivileges(SQLHSTMT hstmt, SQLCHAR*, SQLSMALLINT, SQLCHAR*,
                                            SQLSMALLINT, SQLCHAR*, SQLSMALLINT, SQLCHAR*,
                                            SQLSMALLINT) {
    return refused(hstmt, "SQLColumnPrivileges");
}
