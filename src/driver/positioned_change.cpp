#include "driver/positioned_change.h"

#include <sqlext.h>

#include <algorithm>
#include <cstring>

#include "convert/param_convert.h"
#include "convert/result_convert.h"
#include "driver/block_fetch.h"
#include "driver/bound_address.h"
#include "driver/entry.h"
#include "driver/query_cursor.h"
#include "driver/transactions.h"
#include "qbtable/qb_table.h"

namespace kelvra {
namespace {

using Kind = PositionedChange::Kind;

MsgNo posted(DiagRecord& diag, MsgNo number) {
    postMessage(diag, number);
    return number;
}

bool isDataAtExec(SQLLEN length) {
    return length == SQL_DATA_AT_EXEC || length <= SQL_LEN_DATA_AT_EXEC_OFFSET;
}

bool writes(Kind kind) {
    return kind == Kind::Update || kind == Kind::Add || kind == Kind::Delete;
}

QueryCursor* cursorOf(DriverStatement& stmt) {
    return dynamic_cast<QueryCursor*>(stmt.result.get());
}

// The table whose records the rows are, refusing a change through a read-only cursor: 0 or
// 1075. Refreshing and fetching need no table (`table` stays null without one).
MsgNo changeableTable(DriverStatement& stmt, Kind kind, QbTable*& table) {
    QueryCursor* cursor = cursorOf(stmt);
    if (cursor == nullptr) return kMsgCursorReadOnly;
    if (!writes(kind)) {
        if (cursor->executor().rowTable(table) != kMsgNone) table = nullptr;
        return kMsgNone;
    }
    // Only a keyset holds the rows still: a streamed result's scan would lose its place.
    if (stmt.concurrency == SQL_CONCUR_READ_ONLY || stmt.result->scrollableRows() < 0) {
        return kMsgCursorReadOnly;
    }
    return cursor->executor().rowTable(table);
}

// Makes the result stand on a row: 0, or the failure posted on the statement.
MsgNo standOn(DriverStatement& stmt, std::int64_t row) {
    if (row != stmt.resultRow) {
        const std::int64_t rows = stmt.result->scrollableRows();
        if (rows < 0 || row < 1 || row > rows) return posted(stmt.diag, kMsgRowRange);
        stmt.resultRow = 0;
        const MsgNo rc = stmt.result->moveTo(row, stmt.diag);
        // The end of the rows, or a record deleted already.
        if (rc == kMsgNoDataFound || rc == kMsgNoData) {
            return posted(stmt.diag, kMsgInvalidCursorPosition);
        }
        if (rc != kMsgNone) return rc;
        stmt.resultRow = row;
    }
    stmt.currentRow = static_cast<std::int32_t>(row);
    return kMsgNone;
}

// Reads the bound columns of the row into the change's values. 0, 1002 when a value was
// rounded, or a failure posted on the statement.
MsgNo collectValues(DriverStatement& stmt, SQLULEN arrayRow) {
    PositionedChange& change = stmt.change;
    change.values.clear();
    Executor& executor = cursorOf(stmt)->executor();
    const DriverDescriptor& ard = *stmt.ard;
    MsgNo warning = kMsgNone;
    for (const DescRecord& r : ard.records) {
        if (r.recordNumber == 0) continue;
        const BoundRow at = boundRow(ard, r, arrayRow);
        const SQLLEN length = at.length != nullptr ? *at.length : SQL_NTS;
        const SQLLEN indicator = at.indicator != nullptr ? *at.indicator : 0;
        if (length == SQL_COLUMN_IGNORE || indicator == SQL_COLUMN_IGNORE) continue;
        PositionedChange::ColumnValue v;
        v.record = r.recordNumber;
        if (const MsgNo rc = executor.itemColumn(r.recordNumber, v.column, v.type)) {
            return posted(stmt.diag, rc);
        }
        v.value = Value::null(v.type.valueType);
        if (indicator != SQL_NULL_DATA) {
            if (isDataAtExec(length)) {
                v.pending = true;
            } else {
                const ParamSource source{r.cType, at.data, length};
                const MsgNo rc = convertParameter(source, markerFor(v.type), v.value);
                if (rc == kMsgTruncated) {
                    warning = rc;
                } else if (rc != kMsgNone) {
                    return posted(stmt.diag, rc);
                }
            }
        }
        change.values.push_back(std::move(v));
    }
    // In the client's column order.
    std::stable_sort(change.values.begin(), change.values.end(),
                     [](const auto& a, const auto& b) { return a.record < b.record; });
    return warning;
}

// Writes the collected values into the table's current record and saves it.
MsgNo writeValues(DriverStatement& stmt, QbTable& table) {
    TableLayerState& tables = stmt.connection->tableState;
    tables.clearError();
    auto& values = stmt.change.values;
    // Read-only columns first: their refusal comes before the record has changed at all.
    std::stable_partition(values.begin(), values.end(),
                          [&](const auto& v) { return table.field(v.column).updatable == 0; });
    for (const auto& v : values) {
        if (const MsgNo rc = table.putColumnValue(v.column, v.value)) {
            return postTableError(stmt.diag, tables.error);
        }
    }
    if (table.saveRecord() != kMsgNone) return postTableError(stmt.diag, tables.error);
    return kMsgNone;
}

// Carries out the change on one row: 0, or the failure posted on the statement. `table` is
// null only for a refresh or a fetch of a result that is not one table's records.
MsgNo changeRow(DriverStatement& stmt, QbTable* tablePtr, const PositionedChange::Row& row) {
    TableLayerState& tables = stmt.connection->tableState;
    const Kind kind = stmt.change.kind;
    if (tablePtr == nullptr && writes(kind)) return posted(stmt.diag, kMsgCursorReadOnly);
    if (kind == Kind::Add) {
        QbTable& table = *tablePtr;
        tables.clearError();
        stmt.resultRow = 0;  // the table leaves the result's row for the new record
        if (table.newRecord() != kMsgNone) return postTableError(stmt.diag, tables.error);
        const MsgNo rc = writeValues(stmt, table);
        if (rc != kMsgNone) table.deleteRecord();  // no half-filled record is sent
        return rc;
    }
    if (const MsgNo rc = standOn(stmt, row.resultRow)) return rc;
    switch (kind) {
        case Kind::Update:
            return writeValues(stmt, *tablePtr);
        case Kind::Delete:
            tables.clearError();
            stmt.resultRow = 0;
            if (tablePtr->deleteRecord() != kMsgNone)
                return postTableError(stmt.diag, tables.error);
            return kMsgNone;
        case Kind::Refresh:
            if (tablePtr != nullptr) tablePtr->rereadCurrentRecord();
            [[fallthrough]];
        default: {
            cursorOf(stmt)->forgetValues();
            const MsgNo rc = transferBoundRow(stmt, row.arrayRow);
            if (rc != kMsgNone && rc != kMsgTruncated && !stmt.diag.pending()) {
                postMessage(stmt.diag, rc);
            }
            return rc;
        }
    }
}

SQLUSMALLINT doneStatus(Kind kind) {
    switch (kind) {
        case Kind::Update:
            return SQL_ROW_UPDATED;
        case Kind::Delete:
            return SQL_ROW_DELETED;
        case Kind::Add:
            return SQL_ROW_ADDED;
        default:
            return SQL_ROW_SUCCESS;
    }
}

void setStatus(const PositionedChange& change, SQLULEN arrayRow, SQLUSMALLINT status) {
    if (change.statuses != nullptr) change.statuses[arrayRow] = status;
}

// Ends the change: sends it in auto-commit, and answers for all its rows.
SQLRETURN conclude(DriverStatement& stmt) {
    PositionedChange change = std::move(stmt.change);
    stmt.change = PositionedChange{};
    stmt.needData = false;
    stmt.positionedRow = kNoPositionedRow;
    stmt.diag = change.firstFailure;
    if (writes(change.kind) && change.changed != 0) {
        DiagRecord sent;
        if (endStatementWrites(*stmt.connection, sent) != kMsgNone) {
            // Nothing of the change reached QuickBase: every row it touched failed.
            for (const auto& row : change.rows) setStatus(change, row.arrayRow, SQL_ROW_ERROR);
            stmt.diag = sent;
            return SQL_ERROR;
        }
    }
    if (!change.rows.empty() && change.failed == change.rows.size()) return SQL_ERROR;
    if (change.failed != 0) return SQL_SUCCESS_WITH_INFO;
    if (change.warned) {
        postMessage(stmt.diag, kMsgTruncated);
        return SQL_SUCCESS_WITH_INFO;
    }
    return SQL_SUCCESS;
}

// Works through the change's rows from the one it stands on: SQL_NEED_DATA when a row's value
// is to come at execution, else the change's result.
SQLRETURN proceed(DriverStatement& stmt) {
    PositionedChange& change = stmt.change;
    QbTable* table = nullptr;
    if (const MsgNo rc = changeableTable(stmt, change.kind, table)) {
        stmt.change = PositionedChange{};
        return finish(stmt.diag, rc);
    }
    const bool takesValues = change.kind == Kind::Update || change.kind == Kind::Add;
    for (; change.next < change.rows.size(); ++change.next) {
        const PositionedChange::Row row = change.rows[change.next];
        stmt.diag.clear();
        MsgNo rc = kMsgNone;
        if (takesValues && !change.collected) {
            rc = collectValues(stmt, row.arrayRow);
            change.collected = true;
            if (rc == kMsgTruncated) change.warned = true;
            const auto pending = std::find_if(change.values.begin(), change.values.end(),
                                              [](const auto& v) { return v.pending; });
            if ((rc == kMsgNone || rc == kMsgTruncated) && pending != change.values.end()) {
                stmt.needData = true;
                stmt.positionedRow =
                    static_cast<std::uint16_t>(std::min<SQLULEN>(row.arrayRow + 1, 65534));
                change.filling = change.values.size();
                return SQL_NEED_DATA;
            }
        }
        if (rc == kMsgNone || rc == kMsgTruncated) rc = changeRow(stmt, table, row);
        change.collected = false;
        cursorOf(stmt)->forgetValues();
        if (rc == kMsgTruncated) {
            change.warned = true;
            setStatus(change, row.arrayRow, SQL_ROW_SUCCESS_WITH_INFO);
            ++change.changed;
        } else if (rc != kMsgNone) {
            if (!change.firstFailure.pending()) change.firstFailure = stmt.diag;
            setStatus(change, row.arrayRow, SQL_ROW_ERROR);
            ++change.failed;
        } else {
            setStatus(change, row.arrayRow, doneStatus(change.kind));
            ++change.changed;
        }
    }
    return conclude(stmt);
}

// The client's row operation array skips a row unless it says SQL_ROW_PROCEED.
bool proceeds(const DriverStatement& stmt, SQLULEN arrayRow) {
    const SQLUSMALLINT* operations = stmt.ard->arrayStatusPtr;
    return operations == nullptr || operations[arrayRow] == SQL_ROW_PROCEED;
}

SQLRETURN start(DriverStatement& stmt, PositionedChange change) {
    stmt.change = std::move(change);
    return proceed(stmt);
}

// A bound bookmark's row: the 4- or 8-byte integer it holds; 0 when there is none.
std::int64_t boundBookmark(const DriverStatement& stmt, const DescRecord& r, SQLULEN arrayRow) {
    const BoundRow at = boundRow(*stmt.ard, r, arrayRow);
    if (at.data == nullptr || (at.indicator != nullptr && *at.indicator == SQL_NULL_DATA)) return 0;
    if (fixedCTypeSize(r.cType) == 8) {
        std::int64_t wide = 0;
        std::memcpy(&wide, at.data, sizeof wide);
        return wide;
    }
    std::int32_t narrow = 0;
    std::memcpy(&narrow, at.data, sizeof narrow);
    return narrow;
}

}  // namespace

SQLRETURN setPosChange(DriverStatement& stmt, SQLULEN row, SQLUSMALLINT operation) {
    PositionedChange change;
    switch (operation) {
        case SQL_REFRESH:
            change.kind = Kind::Refresh;
            break;
        case SQL_UPDATE:
            change.kind = Kind::Update;
            break;
        case SQL_DELETE:
            change.kind = Kind::Delete;
            break;
        case SQL_ADD:
            change.kind = Kind::Add;
            break;
        default:
            return finish(stmt.diag, kMsgNotCapable);
    }
    QbTable* table = nullptr;
    if (const MsgNo rc = changeableTable(stmt, change.kind, table)) return finish(stmt.diag, rc);
    change.statuses =
        stmt.ird.arrayStatusPtr != nullptr ? stmt.ird.arrayStatusPtr : stmt.operationRowStatus;
    if (change.kind == Kind::Add) {
        // A row of the bound arrays becomes a new record (row 0: the first).
        if (row > std::max<SQLULEN>(stmt.ard->arraySize, 1)) return finish(stmt.diag, kMsgRowRange);
        change.rows.push_back({row == 0 ? 0 : row - 1, 0});
        return start(stmt, std::move(change));
    }
    if (!stmt.result || stmt.rowsetStart <= 0 || stmt.rowsetRows == 0) {
        return finish(stmt.diag, kMsgInvalidCursorState);
    }
    if (row > stmt.rowsetRows) return finish(stmt.diag, kMsgRowRange);
    const SQLULEN first = row == 0 ? 0 : row - 1;
    const SQLULEN last = row == 0 ? stmt.rowsetRows : row;
    for (SQLULEN i = first; i < last; ++i) {
        if (row == 0 && !proceeds(stmt, i)) continue;
        change.rows.push_back({i, stmt.rowsetStart + static_cast<std::int64_t>(i)});
    }
    return start(stmt, std::move(change));
}

SQLRETURN bulkOperation(DriverStatement& stmt, SQLSMALLINT operation) {
    PositionedChange change;
    switch (operation) {
        case SQL_ADD:
            change.kind = Kind::Add;
            break;
        case SQL_UPDATE_BY_BOOKMARK:
            change.kind = Kind::Update;
            break;
        case SQL_DELETE_BY_BOOKMARK:
            change.kind = Kind::Delete;
            break;
        case SQL_FETCH_BY_BOOKMARK:
            change.kind = Kind::Fetch;
            break;
        default:
            return finish(stmt.diag, kMsgNotCapable);
    }
    QbTable* table = nullptr;
    if (const MsgNo rc = changeableTable(stmt, change.kind, table)) return finish(stmt.diag, rc);
    change.statuses = stmt.ird.arrayStatusPtr;
    const SQLULEN size = std::max<SQLULEN>(stmt.ard->arraySize, 1);
    const DescRecord* bookmark = stmt.ard->findRecord(0);
    if (change.kind != Kind::Add &&
        (stmt.useBookmarks == SQL_UB_OFF || bookmark == nullptr || bookmark->dataPtr == nullptr)) {
        return finish(stmt.diag, kMsgInvalidAttrId);
    }
    for (SQLULEN i = 0; i < size; ++i) {
        if (!proceeds(stmt, i)) continue;
        const std::int64_t target =
            change.kind == Kind::Add ? 0 : boundBookmark(stmt, *bookmark, i);
        if (change.kind != Kind::Add && target == 0) return finish(stmt.diag, kMsgInvalidAttrId);
        change.rows.push_back({i, target});
    }
    if (stmt.ird.rowsProcessedPtr != nullptr) *stmt.ird.rowsProcessedPtr = change.rows.size();
    return start(stmt, std::move(change));
}

SQLRETURN positionedParamData(DriverStatement& stmt, SQLPOINTER* token) {
    PositionedChange& change = stmt.change;
    if (change.next >= change.rows.size()) return finish(stmt.diag, kMsgInvalidCursorState);
    // The next value still to come, then the row's change.
    std::size_t next = change.filling == change.values.size() ? 0 : change.filling + 1;
    while (next < change.values.size() && !change.values[next].pending) ++next;
    if (next < change.values.size()) {
        const DescRecord* r = stmt.ard->findRecord(change.values[next].record);
        if (r == nullptr) return finish(stmt.diag, kMsgInternalError);
        change.values[next].pending = false;
        change.filling = next;
        change.offset = -1;
        if (token != nullptr)
            *token = boundRow(*stmt.ard, *r, change.rows[change.next].arrayRow).data;
        return SQL_NEED_DATA;
    }
    stmt.needData = false;
    stmt.positionedRow = kNoPositionedRow;
    return proceed(stmt);
}

SQLRETURN positionedPutData(DriverStatement& stmt, SQLPOINTER data, SQLLEN length) {
    PositionedChange& change = stmt.change;
    if (change.filling >= change.values.size()) return finish(stmt.diag, kMsgInvalidCursorState);
    PositionedChange::ColumnValue& v = change.values[change.filling];
    const DescRecord* r = stmt.ard->findRecord(v.record);
    if (r == nullptr) return finish(stmt.diag, kMsgInternalError);
    if (length == SQL_NULL_DATA) {
        v.value = Value::null(v.type.valueType);
        return SQL_SUCCESS;
    }
    if (change.offset == -1) change.offset = 0;
    const MsgNo rc =
        convertParameter({r->cType, data, length}, markerFor(v.type), v.value, &change.offset);
    if (rc == kMsgTruncated) {
        change.warned = true;
        return finish(stmt.diag, rc);
    }
    if (rc != kMsgNone) {
        // The row fails and the change ends here; rows done before it are kept.
        postMessage(stmt.diag, rc);
        if (!change.firstFailure.pending()) change.firstFailure = stmt.diag;
        setStatus(change, change.rows[change.next].arrayRow, SQL_ROW_ERROR);
        ++change.failed;
        change.rows.resize(change.next + 1);
        conclude(stmt);
        return SQL_ERROR;
    }
    return SQL_SUCCESS;
}

SQLRETURN cancelPositionedChange(DriverStatement& stmt) {
    // The rows done so far stay done (and are sent in auto-commit); the rest are left alone.
    stmt.change.rows.resize(std::min(stmt.change.next, stmt.change.rows.size()));
    return conclude(stmt);
}

}  // namespace kelvra
