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

// At the end of a statement. In auto-commit, sends what the statement changed; what a failure
// left unsent is forgotten (the statement failed: a later one must not send its rows). With
// auto-commit off the changes wait for the commit. Either way a FLUSH_THIS_DBID_CACHE_TO_QUICKBASE
// set by the statement acts now. 0, or the failure posted on `diag`.
MsgNo endStatementWrites(DriverConnection& dbc, DiagRecord& diag);

}  // namespace kelvra
