#include "driver/transactions.h"

#include <sqlext.h>

#include "qbtable/write_cache.h"

namespace kelvra {

MsgNo endTransaction(DriverConnection& dbc, SQLSMALLINT completion) {
    if (!dbc.session) return kMsgNone;
    if (completion == SQL_ROLLBACK) {
        discardWrites(dbc.tableState);
        return kMsgNone;
    }
    if (completion != SQL_COMMIT || !hasPendingWrites(dbc.tableState)) return kMsgNone;
    dbc.tableState.clearError();
    if (flushWrites(*dbc.session, dbc.tableState) == kMsgNone) return kMsgNone;
    return postTableError(dbc.diag, dbc.tableState.error);
}

MsgNo flushIfAutoCommit(DriverConnection& dbc, DiagRecord& diag) {
    if (dbc.autocommit != SQL_AUTOCOMMIT_ON || !dbc.session) return kMsgNone;
    if (!hasPendingWrites(dbc.tableState)) return kMsgNone;
    dbc.tableState.clearError();
    if (flushWrites(*dbc.session, dbc.tableState) == kMsgNone) return kMsgNone;
    return postTableError(diag, dbc.tableState.error);
}

MsgNo closeAndFlush(DriverStatement& stmt) {
    if (const MsgNo rc = closeStatement(stmt)) return rc;
    return flushIfAutoCommit(*stmt.connection, stmt.diag);
}

}  // namespace kelvra
