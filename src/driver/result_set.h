// Result sets: a fixed list of column descriptions and rows produced one per fetch, each value a
// driver Value. The query cursor, and the results the driver makes itself (the catalog
// functions and SQLGetTypeInfo).
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <string>
#include <vector>

#include "convert/value.h"
#include "driver/diagnostics.h"

namespace kelvra {

// How a result column is described to the client (SQLDescribeCol, SQLColAttribute).
struct ResultColumn {
    std::string name;
    SQLSMALLINT sqlType;  // ODBC 2 codes for date, time and timestamp
    std::int32_t columnSize;
    std::int32_t octetLength;
    std::int32_t displaySize;
    std::int16_t scale = 0;
    std::int16_t nullable = SQL_NULLABLE;
    std::string tableName;
    std::int16_t updatable = SQL_ATTR_READONLY;
};

class ResultSet {
  public:
    virtual ~ResultSet() = default;

    virtual const std::vector<ResultColumn>& columns() const = 0;
    // Moves to the next row: 0, kMsgNoDataFound after the last row, or a failure posted on
    // `diag`.
    virtual MsgNo next(DiagRecord& diag) = 0;
    // The current row's value of column 1..count, valid until the next call; 0, or a failure
    // posted on `diag`.
    virtual MsgNo value(size_t column, DiagRecord& diag, const Value*& out) = 0;

    // A result whose rows can be reached in any order (a materialised query) answers its number
    // of rows; -1 for rows that come one after another only.
    virtual std::int64_t scrollableRows() const { return -1; }
    // Makes row `row` (1-based) of a scrollable result current: 0, kMsgNoDataFound, 1 (nothing
    // posted) when the row's record was deleted on this connection, or a failure posted on
    // `diag`.
    virtual MsgNo moveTo(std::int64_t row, DiagRecord& diag) {
        (void)row;
        postMessage(diag, kMsgInternalError);
        return kMsgInternalError;
    }
};

}  // namespace kelvra
