// Changes through a cursor: SQLSetPos (refresh, update, delete, add on rows of the current
// rowset) and SQLBulkOperations (add, and update, delete or fetch by bookmark). The rows must be
// one table's records in a keyset-driven cursor whose concurrency is not read-only. Values come from the
// bound columns (SQL_COLUMN_IGNORE leaves a column out, SQL_NULL_DATA writes NULL, a
// data-at-execution length makes the call return SQL_NEED_DATA for SQLParamData and
// SQLPutData), go through the parameter converter and into the table layer's write cache like
// an UPDATE's or INSERT's; in auto-commit they are sent when the call ends, as a statement's.
#pragma once

#include <sql.h>

#include "driver/handles.h"

namespace kelvra {

// SQLSetPos's operations other than SQL_POSITION on row `row` of the rowset (0: every row).
// Checks done by the caller: the lock, the state and outstanding data.
SQLRETURN setPosChange(DriverStatement& stmt, SQLULEN row, SQLUSMALLINT operation);

// SQLBulkOperations.
SQLRETURN bulkOperation(DriverStatement& stmt, SQLSMALLINT operation);

// SQLParamData and SQLPutData while a positioned change waits for its data (the statement's
// positioned row is set).
SQLRETURN positionedParamData(DriverStatement& stmt, SQLPOINTER* token);
SQLRETURN positionedPutData(DriverStatement& stmt, SQLPOINTER data, SQLLEN length);
// SQLCancel during that wait: the rows done so far stay done, the others are not changed.
SQLRETURN cancelPositionedChange(DriverStatement& stmt);

}  // namespace kelvra
