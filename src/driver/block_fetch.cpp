#include "driver/block_fetch.h"

#include <sqlext.h>

#include <algorithm>

#include "driver/bound_address.h"
#include "driver/entry.h"
#include "driver/retrieval.h"

namespace kelvra {
namespace {

// What a move answers for a row whose record this connection deleted (see result_set.h).
constexpr MsgNo kRowDeleted = kMsgNoData;

RowsetStart at(std::int64_t row, bool clipped = false) {
    return {row, clipped};
}

// Absolute positions count from the ends: 1 is the first row, -1 the last. A count back past
// the first row stops at it when the move is no longer than a rowset.
RowsetStart absoluteStart(std::int64_t k, std::int64_t size, std::int64_t lastRow) {
    if (k == 0) return at(kBeforeFirst);
    if (k > 0) return at(k <= lastRow ? k : kAfterLast);
    if (-k <= lastRow) return at(lastRow + k + 1);
    return -k > size || lastRow == 0 ? at(kBeforeFirst) : at(1, true);
}

void postOnce(DiagRecord& diag, MsgNo number) {
    if (!diag.pending()) postMessage(diag, number);
}

}  // namespace

RowsetStart rowsetStartFor(FetchOrientation orientation, std::int64_t offset, std::int64_t current,
                           std::int64_t previousSize, std::int64_t size, std::int64_t lastRow) {
    const bool before = current == kBeforeFirst;
    const bool after = current == kAfterLast;
    switch (orientation) {
        case FetchOrientation::Next:
            if (before) return at(lastRow > 0 ? 1 : kAfterLast);
            if (after || current + previousSize > lastRow) return at(kAfterLast);
            return at(current + previousSize);
        case FetchOrientation::First:
            return at(lastRow > 0 ? 1 : kAfterLast);
        case FetchOrientation::Last:
            if (lastRow == 0) return at(kBeforeFirst);
            return at(size <= lastRow ? lastRow - size + 1 : 1);
        case FetchOrientation::Prior:
            if (before || current == 1 || lastRow == 0) return at(kBeforeFirst);
            if (after) return at(lastRow < size ? 1 : lastRow - size + 1);
            return current <= size ? at(1, true) : at(current - size);
        case FetchOrientation::Absolute:
            return absoluteStart(offset, size, lastRow);
        case FetchOrientation::Relative:
            if ((before && offset > 0) || (after && offset < 0)) {
                return absoluteStart(offset, size, lastRow);
            }
            if (before) return at(kBeforeFirst);
            if (after) return at(kAfterLast);
            if (current + offset < 1) {
                return current == 1 || -offset > size ? at(kBeforeFirst) : at(1, true);
            }
            return at(current + offset <= lastRow ? current + offset : kAfterLast);
        case FetchOrientation::Bookmark:
            if (offset < 1) return at(kBeforeFirst);
            return at(offset <= lastRow ? offset : kAfterLast);
    }
    return at(kAfterLast);
}

SQLRETURN fetchRowset(DriverStatement& stmt, const FetchRequest& request) {
    const SQLULEN size = std::max<SQLULEN>(request.size, 1);
    if (request.statuses != nullptr) {
        std::fill_n(request.statuses, size, static_cast<SQLUSMALLINT>(SQL_ROW_NOROW));
    }
    if (request.rowsFetched != nullptr) *request.rowsFetched = 0;
    if (!stmt.result) return finish(stmt.diag, kMsgInvalidCursorState);
    ResultSet& result = *stmt.result;

    // The statement's maximum rows (TOP is the query's own: the result holds no more).
    const auto limit = static_cast<std::int64_t>(stmt.maxRows);
    std::int64_t lastRow = result.scrollableRows();
    const bool scrollable = lastRow >= 0;
    RowsetStart start;
    if (scrollable) {
        if (limit != 0) lastRow = std::min(lastRow, limit);
        start = rowsetStartFor(request.orientation, request.offset, stmt.rowsetStart,
                               static_cast<std::int64_t>(stmt.rowsetUsed),
                               static_cast<std::int64_t>(size), lastRow);
    } else if (request.orientation != FetchOrientation::Next) {
        return finish(stmt.diag, kMsgFetchTypeRange);
    } else if (stmt.rowsetStart == kBeforeFirst) {
        start.row = 1;
    } else if (stmt.rowsetStart == kAfterLast || stmt.rowsetRows < stmt.rowsetUsed) {
        start.row = kAfterLast;  // the last rowset came short: the rows are over
    } else {
        start.row = stmt.rowsetStart + static_cast<std::int64_t>(stmt.rowsetUsed);
    }

    stmt.rowsetUsed = size;
    stmt.rowsetRow = 1;
    stmt.rowsetRows = 0;
    stmt.getDataColumn = 0;
    stmt.getDataOffset = 0;
    stmt.getDataDone = false;
    stmt.currentRow = 0;
    stmt.rowsetStart = start.row;
    if (start.row <= 0) return SQL_NO_DATA;

    SQLULEN fetched = 0;
    bool cut = false;
    bool rowFailed = false;
    bool deleted = false;
    stmt.resultRow = 0;
    for (SQLULEN i = 0; i < size; ++i) {
        const std::int64_t row = start.row + static_cast<std::int64_t>(i);
        if ((limit != 0 && row > limit) || (scrollable && row > lastRow)) break;
        const MsgNo moved =
            scrollable && i == 0 ? result.moveTo(row, stmt.diag) : result.next(stmt.diag);
        if (moved == kMsgNoDataFound) break;
        if (moved == kRowDeleted) {
            // A row whose record this connection deleted keeps its place, without values.
            stmt.resultRow = 0;
            stmt.currentRow = static_cast<std::int32_t>(row);
            ++fetched;
            if (request.rowsFetched != nullptr) *request.rowsFetched = fetched;
            if (request.statuses != nullptr) request.statuses[i] = SQL_ROW_DELETED;
            deleted = true;
            continue;
        }
        if (moved != kMsgNone) {
            // The rows of this rowset before the failure stay delivered; the count says so.
            if (request.rowsFetched != nullptr) *request.rowsFetched = fetched;
            stmt.rowsetRows = fetched;
            if (fetched == 0) stmt.rowsetStart = kAfterLast;
            return finish(stmt.diag, moved);
        }
        stmt.resultRow = row;
        stmt.currentRow = static_cast<std::int32_t>(row);
        ++fetched;
        if (request.rowsFetched != nullptr) *request.rowsFetched = fetched;
        const MsgNo rc = transferBoundRow(stmt, i);
        SQLUSMALLINT status = SQL_ROW_SUCCESS;
        if (rc == kMsgTruncated) {
            status = SQL_ROW_SUCCESS_WITH_INFO;
            cut = true;
        } else if (rc != kMsgNone) {
            status = SQL_ROW_ERROR;
            if (stmt.diag.number != rc) postOnce(stmt.diag, rc);
            if (size == 1) {
                if (request.statuses != nullptr) request.statuses[0] = status;
                stmt.rowsetRows = fetched;
                return SQL_ERROR;
            }
            rowFailed = true;
        }
        if (request.statuses != nullptr) request.statuses[i] = status;
    }
    if (fetched == 0) {
        stmt.rowsetStart = kAfterLast;
        return SQL_NO_DATA;
    }
    stmt.rowsetRows = fetched;
    stmt.currentRow = static_cast<std::int32_t>(start.row);
    if (cut) postOnce(stmt.diag, kMsgTruncated);
    if (start.clipped) postOnce(stmt.diag, kMsgBeforeFirstRowset);
    if (deleted) postOnce(stmt.diag, kMsgInvalidCursorPosition);
    return cut || rowFailed || start.clipped || deleted ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}

MsgNo transferBoundRow(DriverStatement& stmt, SQLULEN row) {
    MsgNo warning = kMsgNone;
    const DriverDescriptor& ard = *stmt.ard;
    for (const DescRecord& r : ard.records) {
        const BoundRow at = boundRow(ard, r, row);
        const MsgNo rc =
            transferColumn(stmt, r.recordNumber,
                           {r.cType, at.data, r.octetLength, at.length, at.indicator}, false);
        if (rc == kMsgTruncated) {
            warning = rc;
        } else if (rc != kMsgNone) {
            return rc;
        }
    }
    return warning;
}

MsgNo positionInRowset(DriverStatement& stmt, SQLULEN row) {
    if (!stmt.result || stmt.rowsetStart <= 0 || stmt.rowsetRows == 0) {
        return kMsgInvalidCursorState;
    }
    if (row == 0) row = 1;
    if (row > stmt.rowsetRows) return kMsgRowRange;
    if (row != stmt.rowsetRow && stmt.result->scrollableRows() < 0 &&
        stmt.rowsetStart + static_cast<std::int64_t>(row) - 1 != stmt.resultRow) {
        return kMsgInvalidCursorPosition;
    }
    if (row != stmt.rowsetRow) {
        stmt.rowsetRow = row;
        stmt.getDataColumn = 0;
        stmt.getDataOffset = 0;
        stmt.getDataDone = false;
    }
    stmt.currentRow =
        static_cast<std::int32_t>(stmt.rowsetStart + static_cast<std::int64_t>(row) - 1);
    return kMsgNone;
}

MsgNo standOnRowsetRow(DriverStatement& stmt) {
    if (!stmt.result || stmt.rowsetStart <= 0 || stmt.rowsetRows == 0) {
        return kMsgInvalidCursorState;
    }
    const std::int64_t row = stmt.rowsetStart + static_cast<std::int64_t>(stmt.rowsetRow) - 1;
    if (row == stmt.resultRow) return kMsgNone;
    if (stmt.result->scrollableRows() < 0) return kMsgInvalidCursorPosition;
    const MsgNo rc = stmt.result->moveTo(row, stmt.diag);
    if (rc != kMsgNone) {
        stmt.resultRow = 0;
        if (rc == kRowDeleted) return kMsgInvalidCursorPosition;
        return rc == kMsgNoDataFound ? MsgNo{kMsgInvalidCursorState} : rc;
    }
    stmt.resultRow = row;
    return kMsgNone;
}

}  // namespace kelvra
