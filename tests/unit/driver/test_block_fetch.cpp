// Rowsets: where each fetch puts a rowset, where bound values of a row lie, block fetching of a
// forward-only result, and the descriptor fields of an application descriptor. (Scrolling a
// query's cursor is tested through the driver manager, tests/odbc/test_cursors.py.)
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <vector>

#include "driver/block_fetch.h"
#include "driver/bound_address.h"
#include "driver/handles.h"
#include "driver/rows_result.h"

using namespace kelvra;

namespace {

using O = FetchOrientation;
constexpr std::int64_t B = kBeforeFirst;
constexpr std::int64_t A = kAfterLast;

TEST(RowsetStart, FollowsThePositioningRules) {
    const struct {
        O orientation;
        std::int64_t offset, current, previous, size, last, start;
        bool clipped;
    } cases[] = {
        // Next uses the size of the previous rowset.
        {O::Next, 0, B, 1, 5, 20, 1, false},
        {O::Next, 0, 1, 3, 5, 20, 4, false},
        {O::Next, 0, 18, 3, 5, 20, A, false},
        {O::Next, 0, B, 1, 5, 0, A, false},
        {O::First, 0, 7, 1, 5, 0, A, false},
        {O::Last, 0, B, 1, 5, 20, 16, false},
        {O::Last, 0, B, 1, 30, 20, 1, false},
        {O::Last, 0, B, 1, 5, 0, B, false},
        // Prior uses this fetch's size, and stops at the first row with a warning.
        {O::Prior, 0, 11, 2, 5, 20, 6, false},
        {O::Prior, 0, 4, 2, 5, 20, 1, true},
        {O::Prior, 0, 1, 5, 5, 20, B, false},
        {O::Prior, 0, A, 5, 5, 20, 16, false},
        {O::Prior, 0, A, 5, 30, 20, 1, false},
        {O::Absolute, -1, 1, 1, 5, 20, 20, false},
        {O::Absolute, -21, 1, 1, 5, 20, B, false},
        {O::Absolute, -21, 1, 1, 30, 20, 1, true},
        {O::Absolute, 21, 1, 1, 5, 20, A, false},
        {O::Absolute, 0, 4, 1, 5, 20, B, false},
        // Relative counts from the ends when it starts outside the rows.
        {O::Relative, 3, B, 1, 5, 20, 3, false},
        {O::Relative, -2, A, 1, 5, 20, 19, false},
        {O::Relative, -1, B, 1, 5, 20, B, false},
        {O::Relative, 1, A, 1, 5, 20, A, false},
        {O::Relative, -4, 3, 1, 5, 20, 1, true},
        {O::Relative, -9, 3, 1, 5, 20, B, false},
        {O::Relative, -1, 1, 1, 5, 20, B, false},
        {O::Relative, 18, 3, 1, 5, 20, A, false},
        {O::Bookmark, 0, 3, 1, 5, 20, B, false},
        {O::Bookmark, 20, 3, 1, 5, 20, 20, false},
        {O::Bookmark, 21, 3, 1, 5, 20, A, false},
    };
    for (const auto& c : cases) {
        const RowsetStart s =
            rowsetStartFor(c.orientation, c.offset, c.current, c.previous, c.size, c.last);
        EXPECT_EQ(s.row, c.start) << int(c.orientation) << " " << c.offset << " from " << c.current;
        EXPECT_EQ(s.clipped, c.clipped) << int(c.orientation) << " " << c.offset;
    }
}

TEST(BoundRow, AddressesEveryRowFromTheOffsetReadNow) {
    DriverConnection* none = nullptr;
    DriverDescriptor desc(SQL_DESC_ALLOC_USER, none, nullptr);
    char data[64];
    SQLLEN lengths[4];
    DescRecord r;
    r.dataPtr = data;
    r.octetLength = 10;
    r.octetLengthPtr = lengths;
    r.cType = SQL_C_CHAR;
    // Column-wise: character data by the buffer length, fixed types by their size, lengths
    // and indicators by an SQLLEN; a null indicator stays null.
    BoundRow at = boundRow(desc, r, 2);
    EXPECT_EQ(at.data, data + 20);
    EXPECT_EQ(at.length, lengths + 2);
    EXPECT_EQ(at.indicator, nullptr);
    r.cType = SQL_C_DOUBLE;
    EXPECT_EQ(boundRow(desc, r, 3).data, data + 24);
    // Row-wise: everything by the row's size, plus the bind offset.
    desc.bindType = 16;
    SQLLEN offset = 4;
    desc.bindOffsetPtr = &offset;
    at = boundRow(desc, r, 1);
    EXPECT_EQ(static_cast<char*>(at.data), data + 20);
    EXPECT_EQ(reinterpret_cast<char*>(at.length), reinterpret_cast<char*>(lengths) + 20);
    offset = 0;
    EXPECT_EQ(boundRow(desc, r, 0).data, data);
    r.dataPtr = nullptr;
    EXPECT_EQ(boundRow(desc, r, 3).data, nullptr);
}

class Blocks : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, nullptr, &env), SQL_SUCCESS);
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc), SQL_SUCCESS);
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &hstmt), SQL_SUCCESS);
        auto rows =
            std::make_unique<RowsResult>(std::vector<ResultColumn>{smallintColumn("N", false)});
        for (int i = 1; i <= 5; ++i) rows->addRow({smallValue(i)});
        stmt().result = std::move(rows);
        stmt().state = kStateTables;
    }
    void TearDown() override { SQLFreeHandle(SQL_HANDLE_ENV, env); }
    DriverStatement& stmt() { return *static_cast<DriverStatement*>(hstmt); }

    SQLHENV env = nullptr;
    SQLHDBC dbc = nullptr;
    SQLHSTMT hstmt = nullptr;
    // Bound buffers outlive the statement (freeing it writes the rows-fetched count).
    SQLINTEGER values[3] = {};
    SQLUSMALLINT statuses[3] = {};
    SQLULEN fetched = 99;
};

TEST_F(Blocks, AForwardOnlyResultFillsRowsetsUntilItEnds) {
    ASSERT_EQ(SQLSetStmtAttr(hstmt, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)3, 0), SQL_SUCCESS);
    SQLSetStmtAttr(hstmt, SQL_ATTR_ROW_STATUS_PTR, statuses, 0);
    SQLSetStmtAttr(hstmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0);
    ASSERT_EQ(SQLBindCol(hstmt, 1, SQL_C_SLONG, values, 4, nullptr), SQL_SUCCESS);
    EXPECT_EQ(SQLFetch(hstmt), SQL_SUCCESS);
    EXPECT_EQ(fetched, 3u);
    EXPECT_EQ(std::vector<SQLINTEGER>(values, values + 3), (std::vector<SQLINTEGER>{1, 2, 3}));
    // The result stands on the rowset's last row: SQLGetData cannot go back to the first.
    SQLINTEGER one = 0;
    EXPECT_EQ(SQLGetData(hstmt, 1, SQL_C_SLONG, &one, 4, nullptr), SQL_ERROR);
    EXPECT_EQ(SQLSetPos(hstmt, 2, SQL_POSITION, SQL_LOCK_NO_CHANGE), SQL_ERROR);  // not a query
    EXPECT_EQ(positionInRowset(stmt(), 3), kMsgNone);
    EXPECT_EQ(SQLGetData(hstmt, 1, SQL_C_SLONG, &one, 4, nullptr), SQL_SUCCESS);
    EXPECT_EQ(one, 3);
    EXPECT_EQ(positionInRowset(stmt(), 4), kMsgRowRange);
    EXPECT_EQ(SQLFetch(hstmt), SQL_SUCCESS);
    EXPECT_EQ(fetched, 2u);
    EXPECT_EQ(values[1], 5);
    EXPECT_EQ(statuses[2], SQL_ROW_NOROW);
    EXPECT_EQ(SQLFetch(hstmt), SQL_NO_DATA);
    EXPECT_EQ(fetched, 0u);
    EXPECT_EQ(statuses[0], SQL_ROW_NOROW);
    // A catalog result moves forward only.
    EXPECT_EQ(SQLFetchScroll(hstmt, SQL_FETCH_FIRST, 0), SQL_ERROR);
}

TEST_F(Blocks, ApplicationDescriptorFieldsAndRecords) {
    SQLHDESC ard = nullptr;
    ASSERT_EQ(SQLGetStmtAttr(hstmt, SQL_ATTR_APP_ROW_DESC, &ard, 0, nullptr), SQL_SUCCESS);
    SQLINTEGER a = 0, c = 0;
    ASSERT_EQ(SQLBindCol(hstmt, 1, SQL_C_SLONG, &a, 4, nullptr), SQL_SUCCESS);
    ASSERT_EQ(SQLBindCol(hstmt, 3, SQL_C_SLONG, &c, 4, nullptr), SQL_SUCCESS);
    SQLPOINTER p = &a;
    EXPECT_EQ(SQLGetDescField(ard, 5, SQL_DESC_DATA_PTR, &p, 0, nullptr), SQL_NO_DATA);
    EXPECT_EQ(SQLGetDescField(ard, 2, SQL_DESC_DATA_PTR, &p, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(p, nullptr);
    SQLSMALLINT count = 0;
    EXPECT_EQ(SQLGetDescField(ard, 0, SQL_DESC_COUNT, &count, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(count, 3);
    // A date type set through SQL_DESC_TYPE waits for its subcode; the type clears the pointers.
    EXPECT_EQ(SQLSetDescField(ard, 3, SQL_DESC_TYPE, (SQLPOINTER)SQL_DATETIME, 0), SQL_SUCCESS);
    EXPECT_EQ(
        SQLSetDescField(ard, 3, SQL_DESC_DATETIME_INTERVAL_CODE, (SQLPOINTER)SQL_CODE_DATE, 0),
        SQL_SUCCESS);
    SQLSMALLINT type = 0, subcode = 0;
    SQLLEN length = 0;
    EXPECT_EQ(SQLGetDescRec(ard, 3, nullptr, 0, nullptr, &type, &subcode, &length, nullptr, nullptr,
                            nullptr),
              SQL_SUCCESS);
    EXPECT_EQ(type, SQL_DATETIME);
    EXPECT_EQ(subcode, SQL_CODE_DATE);
    EXPECT_EQ(SQLGetDescField(ard, 3, SQL_DESC_DATA_PTR, &p, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(p, nullptr);
    // Lowering the count drops the records above it; the array size keeps within its bounds.
    EXPECT_EQ(SQLSetDescField(ard, 0, SQL_DESC_COUNT, (SQLPOINTER)1, 0), SQL_SUCCESS);
    EXPECT_EQ(SQLGetDescField(ard, 0, SQL_DESC_COUNT, &count, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(SQLSetDescField(ard, 0, SQL_DESC_ARRAY_SIZE, (SQLPOINTER)0, 0), SQL_ERROR);
    EXPECT_EQ(SQLSetDescField(ard, 0, 9999, nullptr, 0), SQL_ERROR);
    EXPECT_EQ(SQLGetDescField(ard, -1, SQL_DESC_DATA_PTR, &p, 0, nullptr), SQL_ERROR);
    // Copying into the IPD leaves it as it is; into the IRD is refused.
    SQLHDESC ird = nullptr, ipd = nullptr;
    SQLGetStmtAttr(hstmt, SQL_ATTR_IMP_ROW_DESC, &ird, 0, nullptr);
    SQLGetStmtAttr(hstmt, SQL_ATTR_IMP_PARAM_DESC, &ipd, 0, nullptr);
    EXPECT_EQ(SQLCopyDesc(ard, ipd), SQL_SUCCESS);
    EXPECT_EQ(SQLCopyDesc(ard, ird), SQL_ERROR);
}

}  // namespace
