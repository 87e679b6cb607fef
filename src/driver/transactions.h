// Transactions over the table layer's write cache. In auto-commit (the default) every
// statement's changes are sent to QuickBase when it ends; with auto-commit off they stay in the
// connection's write cache (reads on the connection see them) until a commit sends them or a
// rollback forgets them. QuickBase applies each import and purge on its own: a commit that fails
// part-way says which tables were sent (the table layer's text), and keeps what was not sent.
#pragma once

#include <sql.h>

#include "driver/handles.h"

namespace kelvra {

// SQL_COMMIT sends the pending changes, SQL_ROLLBACK forgets them; any other completion does
// nothing. 0, or the failure posted on the connection.
MsgNo endTransaction(DriverConnection& dbc, SQLSMALLINT completion);

// In auto-commit, sends what the connection still holds (a statement's changes, or what an
// earlier failure kept). 0, or the failure posted on `diag`.
MsgNo flushIfAutoCommit(DriverConnection& dbc, DiagRecord& diag);

// Closes the statement's cursor (SQLFreeStmt with SQL_CLOSE, SQLCloseCursor, SQLMoreResults) and
// in auto-commit sends what the connection still holds. 0, or a failure posted on the statement.
MsgNo closeAndFlush(DriverStatement& stmt);

}  // namespace kelvra
