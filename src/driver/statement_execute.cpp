#include "driver/statement_execute.h"

#include <sqlext.h>

#include <algorithm>

#include "convert/param_convert.h"
#include "driver/bound_address.h"
#include "driver/entry.h"
#include "driver/query_cursor.h"
#include "driver/statement_prepare.h"
#include "driver/transactions.h"
#include "qbtable/write_cache.h"

namespace kelvra {
namespace {

void resetDataAtExec(DriverStatement& stmt) {
    stmt.needData = false;
    stmt.dataAtExecNode = -1;
    stmt.dataAtExecOffset = -1;
}

// Puts the values of parameter set `set` (0-based row of the bound arrays) into the parameter
// markers. A value to come in pieces flags its marker and the statement's need for data. 0,
// 1002 (a value was rounded), or a failure.
MsgNo bindParameters(DriverStatement& stmt, SQLULEN set, bool& truncated) {
    resetDataAtExec(stmt);
    for (NodeIndex p : parameterNodes(stmt)) {
        ParseNode& node = stmt.tree.node(p);
        auto& marker = node.as<ParameterFields>();
        marker.dataAtExec = false;
        const DescRecord* r = stmt.apd->findRecord(marker.number);
        if (r == nullptr) return kMsgParameterMissing;
        const BoundRow at = boundRow(*stmt.apd, *r, set);
        const SQLLEN lengthValue = at.length != nullptr ? *at.length : SQL_NTS;
        if (at.indicator != nullptr && *at.indicator == SQL_NULL_DATA) {
            node.value = Value::null(node.type.valueType);
            continue;
        }
        if (lengthValue == SQL_DATA_AT_EXEC || lengthValue <= SQL_LEN_DATA_AT_EXEC_OFFSET) {
            marker.dataAtExec = true;
            node.value = Value::null(node.type.valueType);
            stmt.needData = true;
            stmt.dataAtExecOffset = 0;
            continue;
        }
        const ParamSource source{r->cType, at.data, lengthValue};
        const MsgNo rc = convertParameter(source, markerFor(node.type), node.value);
        if (rc == kMsgTruncated) {
            truncated = true;
        } else if (rc != kMsgNone) {
            return rc;
        }
    }
    return kMsgNone;
}

// Runs the executor once on the parameter set bound in the markers: 0, a warning, or a failure
// posted on the statement. The changes stay in the write cache.
MsgNo runParameterSet(DriverStatement& stmt, std::unique_ptr<Executor>& executor,
                      ExecOutcome& outcome) {
    DriverConnection& dbc = *stmt.connection;
    ExecContext context;
    context.session = dbc.session.get();
    context.tables = &dbc.tableState;
    context.userName = dbc.session->username;
    context.odbcVersion = odbcVersionOf(stmt);
    context.forwardOnly = stmt.cursorType == SQL_CURSOR_FORWARD_ONLY;
    context.database = dbc.currentCatalog;
    context.rand = &dbc.rand;
    executor = std::make_unique<Executor>(stmt.tree, std::move(context));
    dbc.tableState.clearError();
    const MsgNo rc = executor->execute(outcome);
    stmt.dynamicFunctionCode = outcome.functionCode;
    if (rc != kMsgNone && rc != kMsgTruncated) {
        postExecutionError(stmt.diag, rc, *executor, dbc.tableState);
    }
    return rc;
}

// Runs the executor on the bound statement and returns as SQLExecute does.
SQLRETURN run(DriverStatement& stmt, bool truncated) {
    DriverConnection& dbc = *stmt.connection;
    std::unique_ptr<Executor> executor;
    ExecOutcome outcome;
    MsgNo rc = runParameterSet(stmt, executor, outcome);
    if (rc != kMsgNone && rc != kMsgTruncated) {
        // A failed statement leaves none of its changes to go with a later one.
        if (dbc.autocommit == SQL_AUTOCOMMIT_ON) discardWrites(dbc.tableState);
        return SQL_ERROR;
    }
    if (truncated && rc == kMsgNone) rc = kMsgTruncated;
    // In auto-commit a statement's changes reach QuickBase when it ends.
    if (endStatementWrites(dbc, stmt.diag) != kMsgNone) return SQL_ERROR;
    if (stmt.passThrough) outcome.rowCount = 1;
    if (outcome.cursorOpen) {
        stmt.result = std::make_unique<QueryCursor>(std::move(executor), stmt.preparedColumns,
                                                    dbc.tableState);
        stmt.state = kStateCursor;
        stmt.currentRow = 0;
        stmt.getDataColumn = 0;
        stmt.getDataOffset = 0;
    }
    // A streamed query does not know its rows: both counts say -1 (a count of 0 would tell a
    // client that reads it, as RODBC does, that there is nothing to fetch).
    stmt.diagRowCount = outcome.rowCount;
    stmt.rowCount = outcome.rowCount;
    if (stmt.ird.rowsProcessedPtr != nullptr && outcome.cursorOpen) {
        *stmt.ird.rowsProcessedPtr = static_cast<SQLULEN>(std::max<SQLLEN>(stmt.rowCount, 0));
    }
    const bool searched = stmt.dynamicFunctionCode == SQL_DIAG_DELETE_WHERE ||
                          stmt.dynamicFunctionCode == SQL_DIAG_UPDATE_WHERE;
    if (odbcVersionOf(stmt) == 3 && searched && stmt.diagRowCount == 0 && rc == kMsgNone) {
        return SQL_NO_DATA;
    }
    return finish(stmt.diag, rc);
}

// The statement no longer needs its tree once nothing refers to it: an executed direct
// statement without an open cursor or pending data.
void releaseDirect(DriverStatement& stmt, SQLRETURN rc) {
    const bool carriesOn = rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO || rc == SQL_NO_DATA ||
                           rc == SQL_NEED_DATA;
    if (carriesOn && (stmt.state == kStateCursor || stmt.needData)) {
        stmt.prepared = false;  // closing the cursor frees it
        return;
    }
    if (!carriesOn) {
        stmt.diagRowCount = 0;
        stmt.rowCount = -1;
        if (stmt.ird.rowsProcessedPtr != nullptr) {
            *stmt.ird.rowsProcessedPtr = static_cast<SQLULEN>(-1);
        }
        if (stmt.ipd.rowsProcessedPtr != nullptr) {
            *stmt.ipd.rowsProcessedPtr = static_cast<SQLULEN>(-1);
        }
        stmt.resetExecutionState();
    }
    releasePrepared(stmt);
}

// A parameter set the application marked to be skipped (SQL_PARAM_IGNORE) runs nothing.
bool skipsSet(const DriverStatement& stmt, SQLULEN set) {
    if (stmt.apd->arrayStatusPtr == nullptr) return false;
    const SQLUSMALLINT operation = stmt.apd->arrayStatusPtr[set];
    return operation != SQL_PARAM_PROCEED && operation != 4 && operation != 6;
}

// An execution with several parameter sets: each set is bound and run in turn, with a status
// of its own; the statement's writes then go to QuickBase together. A set that fails does not
// stop the others. SQL_SUCCESS when every set ran cleanly, SQL_SUCCESS_WITH_INFO when some
// failed or were cut, SQL_ERROR when every set that ran failed.
SQLRETURN executeParameterArray(DriverStatement& stmt) {
    const SQLULEN sets = stmt.apd->arraySize;
    SQLUSMALLINT* statuses = stmt.ipd.arrayStatusPtr;
    if (statuses != nullptr) std::fill_n(statuses, sets, SQLUSMALLINT{SQL_PARAM_UNUSED});
    if (stmt.ipd.rowsProcessedPtr != nullptr) *stmt.ipd.rowsProcessedPtr = 0;
    if (stmt.tree.node(stmt.tree.root().statement).kind == NodeKind::Select) {
        // One result per execution: a query takes one parameter set.
        postMessage(stmt.diag, kMsgNotSupported, "a query with an array of parameter sets");
        return SQL_ERROR;
    }
    SQLULEN ran = 0;
    SQLULEN failed = 0;
    bool warned = false;
    std::int64_t rows = 0;
    DiagRecord first;  // the first set's failure is the one reported
    for (SQLULEN set = 0; set < sets; ++set) {
        if (skipsSet(stmt, set)) continue;
        ++ran;
        if (stmt.ipd.rowsProcessedPtr != nullptr) *stmt.ipd.rowsProcessedPtr = set + 1;
        bool truncated = false;
        MsgNo rc = bindParameters(stmt, set, truncated);
        if (rc == kMsgNone && stmt.needData) {
            resetDataAtExec(stmt);
            rc = kMsgFeatureNotImplemented;  // data at execution needs one set at a time
        }
        if (rc != kMsgNone) {
            postMessage(stmt.diag, rc);
        } else {
            std::unique_ptr<Executor> executor;
            ExecOutcome outcome;
            rc = runParameterSet(stmt, executor, outcome);
            if (rc == kMsgNone || rc == kMsgTruncated)
                rows += std::max<std::int64_t>(outcome.rowCount, 0);
        }
        SQLUSMALLINT status = SQL_PARAM_SUCCESS;
        if (rc == kMsgTruncated || (rc == kMsgNone && truncated)) {
            status = SQL_PARAM_SUCCESS_WITH_INFO;
            warned = true;
            if (!first.pending()) postMessage(first, kMsgTruncated);
        } else if (rc != kMsgNone) {
            status = SQL_PARAM_ERROR;
            ++failed;
            if (!first.pending() || first.number == kMsgTruncated) first = stmt.diag;
        }
        stmt.diag.clear();
        if (statuses != nullptr) statuses[set] = status;
    }
    stmt.diagRowCount = rows;
    stmt.rowCount = rows;
    stmt.diag = first;
    if (failed < ran) {
        if (endStatementWrites(*stmt.connection, stmt.diag) != kMsgNone) return SQL_ERROR;
    }
    if (ran != 0 && failed == ran) return SQL_ERROR;
    return failed != 0 || warned ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}

}  // namespace

SQLRETURN executePrepared(DriverStatement& stmt) {
    if (stmt.state != kStateNoResult || stmt.needData || stmt.tree.empty()) {
        return finish(stmt.diag, kMsgInvalidCursorState);
    }
    stmt.rowCount = -1;
    stmt.resetExecutionState();
    if (stmt.apd->arraySize > 1) return executeParameterArray(stmt);
    if (skipsSet(stmt, 0)) {
        if (stmt.ipd.rowsProcessedPtr != nullptr) *stmt.ipd.rowsProcessedPtr = 1;
        if (stmt.ipd.arrayStatusPtr != nullptr) stmt.ipd.arrayStatusPtr[0] = SQL_PARAM_UNUSED;
        return SQL_SUCCESS;
    }
    if (stmt.ipd.rowsProcessedPtr != nullptr) *stmt.ipd.rowsProcessedPtr = 1;
    if (stmt.ipd.arrayStatusPtr != nullptr) stmt.ipd.arrayStatusPtr[0] = SQL_PARAM_SUCCESS;
    bool truncated = false;
    if (const MsgNo rc = bindParameters(stmt, 0, truncated)) {
        resetDataAtExec(stmt);
        if (stmt.ipd.arrayStatusPtr != nullptr) stmt.ipd.arrayStatusPtr[0] = SQL_PARAM_ERROR;
        return finish(stmt.diag, rc);
    }
    if (truncated && stmt.ipd.arrayStatusPtr != nullptr) {
        stmt.ipd.arrayStatusPtr[0] = SQL_PARAM_SUCCESS_WITH_INFO;
    }
    if (stmt.needData) {
        stmt.positionedRow = kNoPositionedRow;
        stmt.dataAtExecNode = -1;
        return SQL_NEED_DATA;
    }
    return run(stmt, truncated);
}

SQLRETURN executeDirect(DriverStatement& stmt, std::string_view text) {
    std::string remaining;
    for (;;) {
        if (prepareStatement(stmt, text) != kMsgNone) return SQL_ERROR;
        const SQLRETURN rc = executePrepared(stmt);
        releaseDirect(stmt, rc);
        // A batch goes on with its next statement; a failure ends it.
        if (stmt.remainingBatch.empty() || !(SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA)) return rc;
        remaining = std::move(stmt.remainingBatch);
        stmt.remainingBatch.clear();
        text = remaining;
        // Only the last statement's result reaches the client.
        closeStatement(stmt);
    }
}

SQLRETURN paramData(DriverStatement& stmt, SQLPOINTER* token) {
    if (!stmt.needData || stmt.dataAtExecOffset == -1) {
        return finish(stmt.diag, kMsgInvalidCursorState);
    }
    const auto markers = parameterNodes(stmt);
    std::size_t next = 0;
    if (stmt.dataAtExecNode != -1) {
        while (next < markers.size() && markers[next] != stmt.dataAtExecNode) ++next;
        ++next;
    }
    for (; next < markers.size(); ++next) {
        auto& marker = stmt.tree.fields<ParameterFields>(markers[next]);
        if (!marker.dataAtExec) continue;
        const DescRecord* r = stmt.apd->findRecord(marker.number);
        if (r == nullptr) return finish(stmt.diag, kMsgInternalError);
        stmt.dataAtExecNode = markers[next];
        stmt.dataAtExecOffset = -1;
        if (token != nullptr) *token = r->dataPtr;
        return SQL_NEED_DATA;
    }
    resetDataAtExec(stmt);
    const SQLRETURN rc = run(stmt, false);
    if (!stmt.prepared) releaseDirect(stmt, rc);
    return rc;
}

SQLRETURN putData(DriverStatement& stmt, SQLPOINTER data, SQLLEN length) {
    if (!stmt.needData || stmt.dataAtExecNode == -1) {
        return finish(stmt.diag, kMsgInvalidCursorState);
    }
    ParseNode& node = stmt.tree.node(stmt.dataAtExecNode);
    const DescRecord* r = stmt.apd->findRecord(node.as<ParameterFields>().number);
    if (r == nullptr) return finish(stmt.diag, kMsgInternalError);
    if (stmt.dataAtExecOffset == -1) stmt.dataAtExecOffset = 0;
    const ParamSource source{r->cType, data, length};
    const MsgNo rc =
        convertParameter(source, markerFor(node.type), node.value, &stmt.dataAtExecOffset);
    if (rc == kMsgTruncated) {
        if (stmt.ipd.arrayStatusPtr != nullptr)
            stmt.ipd.arrayStatusPtr[0] = SQL_PARAM_SUCCESS_WITH_INFO;
        return finish(stmt.diag, rc);
    }
    if (rc != kMsgNone) {
        resetDataAtExec(stmt);
        return finish(stmt.diag, rc);
    }
    return SQL_SUCCESS;
}

}  // namespace kelvra
