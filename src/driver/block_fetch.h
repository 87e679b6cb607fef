// Fetching rowsets: where a fetch of any orientation puts a rowset of any size, moving the
// result there, and transferring each row's bound columns into the client's arrays (row-wise or
// column-wise, with the bind offset read at fetch time), with a status per row. A rowset of one
// row is the default; larger ones serve clients that move data in bulk (block cursors).
#pragma once

#include <sql.h>

#include <cstdint>

#include "driver/handles.h"
#include "engine/executor.h"

namespace kelvra {

// A rowset's first row is 1-based; these two stand for no row.
constexpr std::int64_t kBeforeFirst = 0;
constexpr std::int64_t kAfterLast = -1;

struct RowsetStart {
    std::int64_t row = kBeforeFirst;
    // A move back past the first row that stopped at it (the warning 01S06).
    bool clipped = false;
};

// Where a fetch puts the first row of its rowset in a result of `lastRow` rows: `current` is the
// first row of the current rowset (or kBeforeFirst, kAfterLast), `previousSize` the rowset size
// the previous fetch used, `size` this fetch's. For Bookmark, `offset` is the bookmarked row plus
// the fetch offset. Next from the last rowset, and every move that leaves the rows, answer
// kBeforeFirst or kAfterLast.
RowsetStart rowsetStartFor(FetchOrientation orientation, std::int64_t offset, std::int64_t current,
                           std::int64_t previousSize, std::int64_t size, std::int64_t lastRow);

// The client's side of a fetch: its orientation and offset, the rowset size, and where the row
// statuses and the number of rows fetched go (each may be null).
struct FetchRequest {
    FetchOrientation orientation = FetchOrientation::Next;
    std::int64_t offset = 0;
    SQLULEN size = 1;
    SQLUSMALLINT* statuses = nullptr;
    SQLULEN* rowsFetched = nullptr;
};

// Fetches a rowset of the statement's result (a query's cursor, or a catalog or type result,
// which move forward only) and transfers the bound columns of each row. Every status is
// SQL_ROW_NOROW and the count 0 until rows arrive. Returns SQL_SUCCESS; SQL_SUCCESS_WITH_INFO
// when a value was cut, the move stopped at the first row, or (in a rowset of several rows) a
// row's transfer failed (its status SQL_ROW_ERROR), or a row's record was deleted on this
// connection (its status SQL_ROW_DELETED, 1074 posted); SQL_NO_DATA when the rowset begins outside
// the result; SQL_ERROR with the diagnostic posted.
SQLRETURN fetchRowset(DriverStatement& stmt, const FetchRequest& request);

// Transfers the bound columns of the result's current row into row `row` (0-based) of the
// client's arrays: 0, 1002 when a value was cut, or the first failure.
MsgNo transferBoundRow(DriverStatement& stmt, SQLULEN row);

// SQLSetPos(SQL_POSITION): makes row `row` of the current rowset the one SQLGetData reads
// (0 means the first). 0; 1007 without a rowset; 1073 for a row the rowset does not hold; 1074
// when the result cannot go back to it (a forward-only result with several rows per rowset).
MsgNo positionInRowset(DriverStatement& stmt, SQLULEN row);

// Puts the result on the rowset's chosen row before SQLGetData reads it: 0, 1007 without a
// current row, 1074 when a forward-only result has moved past it, or a failure posted on the
// statement.
MsgNo standOnRowsetRow(DriverStatement& stmt);

}  // namespace kelvra
