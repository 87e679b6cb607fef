// Executing a prepared statement: binding the parameter values (data at execution included),
// running the executor, and what the statement holds afterwards (its cursor, row counts).
#pragma once

#include <sql.h>

#include <string_view>

#include "driver/handles.h"

namespace kelvra {

// SQLExecute: SQL_SUCCESS, SQL_SUCCESS_WITH_INFO, SQL_NO_DATA (a searched UPDATE or DELETE
// that changed nothing, to an ODBC 3 client), SQL_NEED_DATA, or SQL_ERROR with the diagnostic
// posted. With an array of parameter sets (SQL_ATTR_PARAMSET_SIZE above 1) each set runs in
// turn with a status of its own, and their changes go to QuickBase together (the inserts of
// all sets as one import).
SQLRETURN executePrepared(DriverStatement& stmt);

// SQLExecDirect: prepares and executes the text, then the rest of a batch.
SQLRETURN executeDirect(DriverStatement& stmt, std::string_view text);

// SQLParamData and SQLPutData of the parameter data-at-execution cycle.
SQLRETURN paramData(DriverStatement& stmt, SQLPOINTER* token);
SQLRETURN putData(DriverStatement& stmt, SQLPOINTER data, SQLLEN length);

}  // namespace kelvra
