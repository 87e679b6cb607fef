#include "driver/statement_execute.h"

#include <sqlext.h>

#include "convert/param_convert.h"
#include "driver/entry.h"
#include "driver/query_cursor.h"
#include "driver/statement_prepare.h"
#include "driver/transactions.h"
#include "qbtable/write_cache.h"

namespace kelvra {
namespace {

template <typename T>
T* shifted(T* pointer, SQLLEN offset) {
    return pointer == nullptr
               ? nullptr
               : reinterpret_cast<T*>(reinterpret_cast<char*>(pointer) + offset);
}

ParamMarker markerOf(const TypeDesc& type) {
    ParamMarker m;
    m.type = type.valueType;
    if (type.valueType == ValueType::Numeric) {
        m.precision = static_cast<int>(type.columnSize);
        m.scale = type.scale;
    }
    return m;
}

void resetDataAtExec(DriverStatement& stmt) {
    stmt.needData = false;
    stmt.dataAtExecNode = -1;
    stmt.dataAtExecOffset = -1;
}

// Puts the bound values into the parameter markers. A value to come in pieces flags its marker
// and the statement's need for data. 0, 1002 (a value was rounded), or a failure.
MsgNo bindParameters(DriverStatement& stmt, bool& truncated) {
    resetDataAtExec(stmt);
    const SQLLEN offset = *stmt.apd->bindOffsetPtr;
    for (NodeIndex p : parameterNodes(stmt)) {
        ParseNode& node = stmt.tree.node(p);
        auto& marker = node.as<ParameterFields>();
        marker.dataAtExec = false;
        const DescRecord* r = stmt.apd->findRecord(marker.number);
        if (r == nullptr) return kMsgParameterMissing;
        const SQLLEN* indicator = shifted(r->indicatorPtr, offset);
        const SQLLEN* length = shifted(r->octetLengthPtr, offset);
        const SQLLEN lengthValue = length != nullptr ? *length : SQL_NTS;
        if (indicator != nullptr && *indicator == SQL_NULL_DATA) {
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
        const ParamSource source{r->cType, shifted(static_cast<char*>(r->dataPtr), offset),
                                 lengthValue};
        const MsgNo rc = convertParameter(source, markerOf(node.type), node.value);
        if (rc == kMsgTruncated) {
            truncated = true;
            if (stmt.ipd.arrayStatusPtr != nullptr) stmt.ipd.arrayStatusPtr[0] = SQL_PARAM_SUCCESS_WITH_INFO;
        } else if (rc != kMsgNone) {
            return rc;
        }
    }
    return kMsgNone;
}

// Runs the executor on the bound statement and returns as SQLExecute does.
SQLRETURN run(DriverStatement& stmt, bool truncated) {
    DriverConnection& dbc = *stmt.connection;
    ExecContext context;
    context.session = dbc.session.get();
    context.tables = &dbc.tableState;
    context.userName = dbc.session->username;
    context.odbcVersion = odbcVersionOf(stmt);
    context.forwardOnly = stmt.cursorType == SQL_CURSOR_FORWARD_ONLY;
    context.database = dbc.currentCatalog;
    context.rand = &dbc.rand;
    auto executor = std::make_unique<Executor>(stmt.tree, std::move(context));
    dbc.tableState.clearError();
    ExecOutcome outcome;
    MsgNo rc = executor->execute(outcome);
    stmt.dynamicFunctionCode = outcome.functionCode;
    if (rc != kMsgNone && rc != kMsgTruncated) {
        postExecutionError(stmt.diag, rc, *executor, dbc.tableState);
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
    // A streamed query does not know its rows: the count says 0, the diagnostic count -1.
    stmt.diagRowCount = outcome.rowCount;
    stmt.rowCount = outcome.rowCount < 0 ? 0 : outcome.rowCount;
    if (stmt.ird.rowsProcessedPtr != nullptr && outcome.cursorOpen) {
        *stmt.ird.rowsProcessedPtr = static_cast<SQLULEN>(stmt.rowCount);
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
    const bool carriesOn =
        rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO || rc == SQL_NO_DATA || rc == SQL_NEED_DATA;
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

}  // namespace

SQLRETURN executePrepared(DriverStatement& stmt) {
    if (stmt.state != kStateNoResult || stmt.needData || stmt.tree.empty()) {
        return finish(stmt.diag, kMsgInvalidCursorState);
    }
    stmt.rowCount = -1;
    stmt.resetExecutionState();
    // A parameter set the application marked to be skipped runs nothing.
    if (stmt.apd->arrayStatusPtr != nullptr) {
        const SQLUSMALLINT operation = stmt.apd->arrayStatusPtr[0];
        if (operation != SQL_PARAM_PROCEED && operation != 4 && operation != 6) {
            if (stmt.ipd.rowsProcessedPtr != nullptr) *stmt.ipd.rowsProcessedPtr = 1;
            if (stmt.ipd.arrayStatusPtr != nullptr) stmt.ipd.arrayStatusPtr[0] = SQL_PARAM_UNUSED;
            return SQL_SUCCESS;
        }
    }
    if (stmt.ipd.rowsProcessedPtr != nullptr) *stmt.ipd.rowsProcessedPtr = 1;
    if (stmt.ipd.arrayStatusPtr != nullptr) stmt.ipd.arrayStatusPtr[0] = SQL_PARAM_SUCCESS;
    bool truncated = false;
    if (const MsgNo rc = bindParameters(stmt, truncated)) {
        resetDataAtExec(stmt);
        if (stmt.ipd.arrayStatusPtr != nullptr) stmt.ipd.arrayStatusPtr[0] = SQL_PARAM_ERROR;
        return finish(stmt.diag, rc);
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
    const MsgNo rc = convertParameter(source, markerOf(node.type), node.value, &stmt.dataAtExecOffset);
    if (rc == kMsgTruncated) {
        if (stmt.ipd.arrayStatusPtr != nullptr) stmt.ipd.arrayStatusPtr[0] = SQL_PARAM_SUCCESS_WITH_INFO;
        return finish(stmt.diag, rc);
    }
    if (rc != kMsgNone) {
        resetDataAtExec(stmt);
        return finish(stmt.diag, rc);
    }
    return SQL_SUCCESS;
}

}  // namespace kelvra
