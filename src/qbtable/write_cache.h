// The connection's write cache: sending the changes that INSERT, UPDATE and DELETE left in the
// table layer (CSV imports and purges), holding imports back until the connection ends, and
// discarding changes. The driver calls these explicitly (statement end in auto-commit,
// SQLEndTran, SQLDisconnect), so that a failure reaches the client; freeing a QbTable never
// sends or loses anything.
//
// Failures return 999 with QuickBase's code and a text in state.error that says, for each table,
// how many records were sent before the failure and how many were not; what was not sent stays
// in the write cache, so a later flush can send it (or a rollback discard it).
#pragma once

#include <string_view>

#include "qbtable/table_state.h"

namespace kelvra {

class QbSession;

// QuickBase refuses larger imports: the CSV text is sent in parts of at most this many bytes.
inline constexpr std::size_t kMaxImportBytes = 900000;

// Whether the connection has changes that QuickBase has not received (saved imports aside).
bool hasPendingWrites(const TableLayerState& state);

// Sends the pending changes of every table (or with the option
// SAVE_WRITES_UNTIL_CONNECTION_CLOSE = "TRUE" appends their CSV lines to the saved imports),
// then, when the option FLUSH_THIS_DBID_CACHE_TO_QUICKBASE names a table, its saved imports
// (the option acts once). 0 or 999.
MsgNo flushWrites(QbSession& session, TableLayerState& state);

// Only the option-directed part: the saved imports of the table that
// FLUSH_THIS_DBID_CACHE_TO_QUICKBASE names, when it is set. 0 or 999.
MsgNo flushDirected(QbSession& session, TableLayerState& state);

// The same as flushWrites for one table.
MsgNo flushTableWrites(QbSession& session, TableLayerState& state, std::string_view dbid);

// Forgets every pending change and drops the cached records they touched (the next read asks
// QuickBase again). Saved imports stay.
void discardWrites(TableLayerState& state);

// Sends the saved imports of every table (at disconnect). 0 or 999 naming, per table, the
// records that could not be sent; those stay saved.
MsgNo sendSavedImports(QbSession& session, TableLayerState& state);

}  // namespace kelvra
