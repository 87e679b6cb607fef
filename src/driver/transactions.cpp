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

MsgNo endStatementWrites(DriverConnection& dbc, DiagRecord& diag) {
    if (!dbc.session) return kMsgNone;
    if (dbc.autocommit != SQL_AUTOCOMMIT_ON) {
        if (flushDirected(*dbc.session, dbc.tableState) == kMsgNone) return kMsgNone;
        return postTableError(diag, dbc.tableState.error);
    }
    if (flushWrites(*dbc.session, dbc.tableState) == kMsgNone) return kMsgNone;
    discardWrites(dbc.tableState);
    return postTableError(diag, dbc.tableState.error);
}

}  // namespace kelvra
