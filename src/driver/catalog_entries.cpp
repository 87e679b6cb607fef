// The catalog functions: SQLTables, SQLColumns, SQLStatistics, SQLSpecialColumns,
// SQLPrimaryKeys, SQLForeignKeys, and the refused SQLProcedures, SQLProcedureColumns,
// SQLTablePrivileges and SQLColumnPrivileges.
#include <sql.h>
#include <sqlext.h>

#include "driver/catalog_results.h"
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

// Runs a catalog function: the statement must hold no result; the builder's rows become the
// statement's result in `state`.
template <typename Build>
SQLRETURN catalogCall(SQLHSTMT hstmt, StmtState state, Build&& build) {
    auto& stmt = *static_cast<DriverStatement*>(hstmt);
    stmt.diag.clear();
    stmt.diagRowCount = 0;
    return guarded(stmt.diag, [&]() -> SQLRETURN {
        if (stmt.state != kStateNoResult || stmt.needData) {
            return finish(stmt.diag, kMsgInvalidCursorState);
        }
        closeStatement(stmt);
        std::unique_ptr<RowsResult> rows;
        if (const MsgNo rc = build(stmt, rows)) return finish(stmt.diag, rc);
        stmt.result = std::move(rows);
        stmt.state = state;
        return SQL_SUCCESS;
    });
}

SQLRETURN refused(SQLHSTMT hstmt, const char* function) {
    auto& stmt = *static_cast<DriverStatement*>(hstmt);
    postMessage(stmt.diag, kMsgNotSupported, function);
    return SQL_ERROR;
}

}  // namespace

KELVRA_EXPORT SQLRETURN SQLTables(SQLHSTMT hstmt, SQLCHAR* szCatalogName, SQLSMALLINT cbCatalogName,
                                  SQLCHAR* szSchemaName, SQLSMALLINT cbSchemaName,
                                  SQLCHAR* szTableName, SQLSMALLINT cbTableName,
                                  SQLCHAR* szTableType, SQLSMALLINT cbTableType) {
    return catalogCall(hstmt, kStateTables, [&](DriverStatement& stmt, auto& rows) {
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
    return catalogCall(hstmt, kStateColumns, [&](DriverStatement& stmt, auto& rows) {
        return columnsResult(stmt, nameArgument(szTableName, cbTableName),
                             nameArgument(szColumnName, cbColumnName), rows);
    });
}

KELVRA_EXPORT SQLRETURN SQLStatistics(SQLHSTMT hstmt, SQLCHAR* /*szCatalogName*/,
                                      SQLSMALLINT /*cbCatalogName*/, SQLCHAR* /*szSchemaName*/,
                                      SQLSMALLINT /*cbSchemaName*/, SQLCHAR* szTableName,
                                      SQLSMALLINT cbTableName, SQLUSMALLINT /*fUnique*/,
                                      SQLUSMALLINT /*fAccuracy*/) {
    return catalogCall(hstmt, kStateStatistics, [&](DriverStatement& stmt, auto& rows) {
        return statisticsResult(stmt, nameArgument(szTableName, cbTableName), rows);
    });
}

KELVRA_EXPORT SQLRETURN SQLSpecialColumns(SQLHSTMT hstmt, SQLUSMALLINT fColType,
                                          SQLCHAR* /*szCatalogName*/, SQLSMALLINT /*cbCatalogName*/,
                                          SQLCHAR* /*szSchemaName*/, SQLSMALLINT /*cbSchemaName*/,
                                          SQLCHAR* szTableName, SQLSMALLINT cbTableName,
                                          SQLUSMALLINT /*fScope*/, SQLUSMALLINT /*fNullable*/) {
    return catalogCall(hstmt, kStateSpecialColumns, [&](DriverStatement& stmt, auto& rows) {
        return specialColumnsResult(stmt, fColType, nameArgument(szTableName, cbTableName), rows);
    });
}

KELVRA_EXPORT SQLRETURN SQLPrimaryKeys(SQLHSTMT hstmt, SQLCHAR* /*szCatalogName*/,
                                       SQLSMALLINT /*cbCatalogName*/, SQLCHAR* /*szSchemaName*/,
                                       SQLSMALLINT /*cbSchemaName*/, SQLCHAR* szTableName,
                                       SQLSMALLINT cbTableName) {
    return catalogCall(hstmt, kStatePrimaryKeys, [&](DriverStatement& stmt, auto& rows) {
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
    return catalogCall(hstmt, kStateForeignKeys, [&](DriverStatement& stmt, auto& rows) {
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
