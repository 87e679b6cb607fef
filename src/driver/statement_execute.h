// Executing a prepared statement: binding the parameter values (data at execution included),
// running the executor, and what the statement holds afterwards (its cursor, row counts).
#pragma once

#include <sql.h>

#include <memory>
#include <string_view>

#include "driver/handles.h"
#include "engine/executor.h"

namespace kelvra {

// SQLExecute: SQL_SUCCESS, SQL_SUCCESS_WITH_INFO, SQL_NO_DATA (a searched UPDATE or DELETE that
// changed nothing, to an ODBC 3 client), SQL_NEED_DATA, or SQL_ERROR with the diagnostic posted.
SQLRETURN executePrepared(DriverStatement& stmt);

// SQLExecDirect: prepares and executes the text, then the rest of a batch.
SQLRETURN executeDirect(DriverStatement& stmt, std::string_view text);

// The steps of an execution with an array of parameter sets (SQL_ATTR_PARAMSET_SIZE above 1),
// for the write paths to build on: runParameterSet runs the executor once on the parameter set
// bound in the markers (0, a warning, or a failure posted on the statement) and leaves the
// changes in the table layer's write cache; after every set, sendStatementWrites sends what the
// sets left there, so that the inserts of all sets travel as one import (split as the write
// cache splits). 0, or 999 posted on the statement.
MsgNo runParameterSet(DriverStatement& stmt, std::unique_ptr<Executor>& executor,
                      ExecOutcome& outcome);
MsgNo sendStatementWrites(DriverStatement& stmt);

// SQLParamData and SQLPutData of the parameter data-at-execution cycle.
SQLRETURN paramData(DriverStatement& stmt, SQLPOINTER* token);
SQLRETURN putData(DriverStatement& stmt, SQLPOINTER data, SQLLEN length);

}  // namespace kelvra
