// The rows of the catalog functions: what SQLTables, SQLColumns, SQLStatistics,
// SQLSpecialColumns, SQLPrimaryKeys and SQLForeignKeys return, built from the connection's
// granted tables and the schemas of the tables they name.
#pragma once

#include <memory>
#include <string>

#include "driver/handles.h"
#include "driver/rows_result.h"
#include "driver/text_args.h"

namespace kelvra {

// A name argument of a catalog function, as the client gave it (null: none).
using CatalogName = TextArg;

// Each builder returns 0 and the result, or a message posted on the statement.
MsgNo tablesResult(DriverStatement& stmt, const CatalogName& catalog, const CatalogName& schema,
                   const CatalogName& table, const CatalogName& tableType,
                   std::unique_ptr<RowsResult>& result);
MsgNo columnsResult(DriverStatement& stmt, const CatalogName& table, const CatalogName& column,
                    std::unique_ptr<RowsResult>& result);
MsgNo statisticsResult(DriverStatement& stmt, const CatalogName& table,
                       std::unique_ptr<RowsResult>& result);
MsgNo specialColumnsResult(DriverStatement& stmt, SQLUSMALLINT identifierType,
                           const CatalogName& table, std::unique_ptr<RowsResult>& result);
MsgNo primaryKeysResult(DriverStatement& stmt, const CatalogName& table,
                        std::unique_ptr<RowsResult>& result);
MsgNo foreignKeysResult(DriverStatement& stmt, const CatalogName& pkTable,
                        const CatalogName& fkTable, std::unique_ptr<RowsResult>& result);

}  // namespace kelvra
