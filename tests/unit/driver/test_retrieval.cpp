// Reading a result: describing, binding, fetching and piecewise SQLGetData, on a result made in
// the test (the shape of every catalog result).
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <cstring>
#include <string>

#include "driver/handles.h"
#include "driver/rows_result.h"

using namespace kelvra;

namespace {

class Retrieval : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, nullptr, &env), SQL_SUCCESS);
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc), SQL_SUCCESS);
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &hstmt), SQL_SUCCESS);
    }
    void TearDown() override { SQLFreeHandle(SQL_HANDLE_ENV, env); }
    DriverStatement& stmt() { return *static_cast<DriverStatement*>(hstmt); }

    // Three rows of (NAME varchar, N smallint, DATA binary-as-text).
    void makeResult() {
        auto rows = std::make_unique<RowsResult>(
            std::vector<ResultColumn>{varcharColumn("NAME", 300, false), smallintColumn("N", true),
                                      varcharColumn("NOTE", 128, true)});
        rows->addRow({textValue(std::string(300, 'a')), smallValue(1), nullText()});
        rows->addRow({textValue("second"), smallValue(2), textValue("x")});
        rows->addRow({textValue("Z\xC3\xBCrich"), nullNumber(), textValue("y")});
        stmt().result = std::move(rows);
        stmt().state = kStateTables;
    }
    std::string state() {
        SQLCHAR s[6] = {};
        SQLGetDiagRec(SQL_HANDLE_STMT, hstmt, 1, s, nullptr, nullptr, 0, nullptr);
        return reinterpret_cast<char*>(s);
    }

    SQLHENV env = nullptr;
    SQLHDBC dbc = nullptr;
    SQLHSTMT hstmt = nullptr;
};

TEST_F(Retrieval, PiecewiseCharacterData) {
    makeResult();
    ASSERT_EQ(SQLFetch(hstmt), SQL_SUCCESS);
    char buf[100];
    SQLLEN len = 0;
    // A 300-character value through a 100-byte buffer: 99 characters at a time.
    for (SQLLEN expected : {300, 201, 102}) {
        EXPECT_EQ(SQLGetData(hstmt, 1, SQL_C_CHAR, buf, sizeof buf, &len), SQL_SUCCESS_WITH_INFO);
        EXPECT_EQ(len, expected);
        EXPECT_EQ(std::strlen(buf), 99u);
        EXPECT_EQ(state(), "01004");
    }
    EXPECT_EQ(SQLGetData(hstmt, 1, SQL_C_CHAR, buf, sizeof buf, &len), SQL_SUCCESS);
    EXPECT_EQ(len, 3);
    EXPECT_STREQ(buf, "aaa");
    // Everything was returned: the next call says so rather than starting again.
    EXPECT_EQ(SQLGetData(hstmt, 1, SQL_C_CHAR, buf, sizeof buf, &len), SQL_NO_DATA);

    // Another column in between starts the first one again from its beginning.
    ASSERT_EQ(SQLFreeStmt(hstmt, SQL_CLOSE), SQL_SUCCESS);
    makeResult();
    ASSERT_EQ(SQLFetch(hstmt), SQL_SUCCESS);
    EXPECT_EQ(SQLGetData(hstmt, 1, SQL_C_CHAR, buf, sizeof buf, &len), SQL_SUCCESS_WITH_INFO);
    SQLSMALLINT n = 0;
    EXPECT_EQ(SQLGetData(hstmt, 2, SQL_C_SSHORT, &n, 0, &len), SQL_SUCCESS);
    EXPECT_EQ(n, 1);
    EXPECT_EQ(SQLGetData(hstmt, 1, SQL_C_CHAR, buf, sizeof buf, &len), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(len, 300);
}

TEST_F(Retrieval, PiecewiseBinaryAndWideData) {
    makeResult();
    ASSERT_EQ(SQLFetch(hstmt), SQL_SUCCESS);
    ASSERT_EQ(SQLFetch(hstmt), SQL_SUCCESS);
    ASSERT_EQ(SQLFetch(hstmt), SQL_SUCCESS);
    char bytes[4];
    SQLLEN len = 0;
    // "Zürich" is 7 bytes: 4, then 3.
    EXPECT_EQ(SQLGetData(hstmt, 1, SQL_C_BINARY, bytes, sizeof bytes, &len), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(len, 7);
    EXPECT_EQ(std::string(bytes, 4), "Z\xC3\xBCr");
    EXPECT_EQ(SQLGetData(hstmt, 1, SQL_C_BINARY, bytes, sizeof bytes, &len), SQL_SUCCESS);
    EXPECT_EQ(len, 3);
    EXPECT_EQ(std::string(bytes, 3), "ich");

    // The same value as wide characters, two at a time (6 bytes: two and the terminator).
    char16_t wide[3];
    std::u16string all;
    SQLRETURN rc;
    while ((rc = SQLGetData(hstmt, 3, SQL_C_WCHAR, wide, sizeof wide, &len)) != SQL_NO_DATA) {
        ASSERT_TRUE(SQL_SUCCEEDED(rc));
        all += wide;
    }
    EXPECT_EQ(all, u"y");
    EXPECT_EQ(SQLGetData(hstmt, 1, SQL_C_WCHAR, nullptr, 0, &len), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(len, 12);  // six UTF-16 units
}

TEST_F(Retrieval, LengthProbeThenTheWholeValue) {
    // Asking for the length first (a buffer with no room for data, or none) delivers nothing,
    // so the next call with a real buffer gets the whole value.
    struct Probe {
        SQLSMALLINT cType;
        SQLLEN bufferLength;
        bool nullBuffer;
        SQLRETURN probed;
        SQLLEN length;  // of "Zürich" in that C type
        std::string whole;
    };
    const std::string utf8 = "Z\xC3\xBCrich";
    const std::string utf16(reinterpret_cast<const char*>(u"Z\u00fcrich"), 12);
    const Probe probes[] = {
        {SQL_C_CHAR, 0, false, SQL_SUCCESS_WITH_INFO, 7, utf8},
        {SQL_C_CHAR, 1, false, SQL_SUCCESS_WITH_INFO, 7, utf8},
        {SQL_C_CHAR, 64, true, SQL_SUCCESS, 7, utf8},
        {SQL_C_WCHAR, 0, false, SQL_SUCCESS_WITH_INFO, 12, utf16},
        {SQL_C_WCHAR, 1, false, SQL_SUCCESS_WITH_INFO, 12, utf16},
        {SQL_C_BINARY, 0, false, SQL_SUCCESS_WITH_INFO, 7, utf8},
    };
    for (const Probe& p : probes) {
        SCOPED_TRACE(std::to_string(p.cType) + " " + std::to_string(p.bufferLength));
        ASSERT_EQ(SQLFreeStmt(hstmt, SQL_CLOSE), SQL_SUCCESS);
        makeResult();
        for (int row = 0; row < 3; ++row) ASSERT_EQ(SQLFetch(hstmt), SQL_SUCCESS);
        char probe[2] = {'?', '?'};
        char buf[64] = {};
        SQLLEN len = 0;
        EXPECT_EQ(
            SQLGetData(hstmt, 1, p.cType, p.nullBuffer ? nullptr : probe, p.bufferLength, &len),
            p.probed);
        EXPECT_EQ(len, p.length);
        EXPECT_EQ(SQLGetData(hstmt, 1, p.cType, buf, sizeof buf, &len), SQL_SUCCESS);
        EXPECT_EQ(len, p.length);
        EXPECT_EQ(std::string(buf, std::size_t(len)), p.whole);
        EXPECT_EQ(SQLGetData(hstmt, 1, p.cType, buf, sizeof buf, &len), SQL_NO_DATA);
    }
}

TEST_F(Retrieval, BoundColumnsWithABindOffset) {
    makeResult();
    struct Row {
        char name[8];
        SQLLEN nameLen;
        SQLSMALLINT n;
        SQLLEN nInd;
    } rows[2] = {};
    SQLLEN offset = 0;
    stmt().ard->bindOffsetPtr = &offset;
    ASSERT_EQ(SQLBindCol(hstmt, 1, SQL_C_CHAR, rows[0].name, sizeof rows[0].name, &rows[0].nameLen),
              SQL_SUCCESS);
    ASSERT_EQ(SQLBindCol(hstmt, 2, SQL_C_SSHORT, &rows[0].n, 0, &rows[0].nInd), SQL_SUCCESS);
    EXPECT_EQ(SQLFetch(hstmt), SQL_SUCCESS_WITH_INFO);  // the long name is cut
    offset = sizeof(Row);
    EXPECT_EQ(SQLFetch(hstmt), SQL_SUCCESS);
    EXPECT_STREQ(rows[0].name, "aaaaaaa");
    EXPECT_EQ(rows[0].nameLen, 300);
    EXPECT_EQ(rows[0].n, 1);
    EXPECT_STREQ(rows[1].name, "second");
    EXPECT_EQ(rows[1].nameLen, 6);
    EXPECT_EQ(rows[1].n, 2);
    EXPECT_EQ(rows[1].nInd, 2);  // length and indicator share the pointer
    offset = 0;
    EXPECT_EQ(SQLFetch(hstmt), SQL_SUCCESS);
    EXPECT_EQ(rows[0].nInd, SQL_NULL_DATA);
    EXPECT_EQ(SQLFetch(hstmt), SQL_NO_DATA);
    // Unbinding by a null pointer.
    ASSERT_EQ(SQLBindCol(hstmt, 1, SQL_C_CHAR, nullptr, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(stmt().ard->findRecord(1), nullptr);
}

TEST_F(Retrieval, BookmarksAndTheBookmarkColumn) {
    makeResult();
    SQLINTEGER bookmark = 0;
    SQLLEN len = 0;
    ASSERT_EQ(SQLBindCol(hstmt, 0, SQL_C_LONG, &bookmark, 0, &len), SQL_SUCCESS);
    ASSERT_EQ(SQLFreeStmt(hstmt, SQL_UNBIND), SQL_SUCCESS);
    EXPECT_NE(stmt().ard->findRecord(0), nullptr);  // the bookmark binding survives

    // With bookmarks off, column 0 cannot be read, yet it can be described.
    ASSERT_EQ(SQLFetch(hstmt), SQL_ERROR);
    EXPECT_EQ(state(), "07009");
    SQLSMALLINT type = 0;
    SQLULEN size = 0;
    EXPECT_EQ(SQLDescribeCol(hstmt, 0, nullptr, 0, nullptr, &type, &size, nullptr, nullptr),
              SQL_SUCCESS);
    EXPECT_EQ(type, SQL_BINARY);
    EXPECT_EQ(size, 4u);

    stmt().useBookmarks = SQL_UB_VARIABLE;
    ASSERT_EQ(SQLFetch(hstmt), SQL_SUCCESS);
    ASSERT_EQ(SQLFetch(hstmt), SQL_SUCCESS);
    EXPECT_EQ(bookmark, 3);  // the third row (the failed fetch above still moved)
    EXPECT_EQ(len, 4);
}

TEST_F(Retrieval, DescriptionsOfCatalogColumns) {
    makeResult();
    SQLSMALLINT count = 0;
    EXPECT_EQ(SQLNumResultCols(hstmt, &count), SQL_SUCCESS);
    EXPECT_EQ(count, 3);
    char name[16];
    SQLSMALLINT nameLen = 0, type = 0, digits = 9, nullable = 9;
    SQLULEN size = 0;
    EXPECT_EQ(SQLDescribeCol(hstmt, 2, (SQLCHAR*)name, sizeof name, &nameLen, &type, &size, &digits,
                             &nullable),
              SQL_SUCCESS);
    EXPECT_STREQ(name, "N");
    EXPECT_EQ(type, SQL_SMALLINT);
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(digits, 0);
    EXPECT_EQ(nullable, SQL_NULLABLE);
    SQLLEN number = 0;
    EXPECT_EQ(SQLColAttribute(hstmt, 1, SQL_DESC_OCTET_LENGTH, nullptr, 0, nullptr, &number),
              SQL_SUCCESS);
    EXPECT_EQ(number, 300);
    EXPECT_EQ(SQLColAttribute(hstmt, 1, SQL_DESC_TYPE_NAME, name, sizeof name, &nameLen, nullptr),
              SQL_SUCCESS);
    EXPECT_STREQ(name, "VARCHAR");
    EXPECT_EQ(SQLColAttribute(hstmt, 1, SQL_DESC_NULLABLE, nullptr, 0, nullptr, &number),
              SQL_SUCCESS);
    EXPECT_EQ(number, SQL_NO_NULLS);
    EXPECT_EQ(SQLColAttribute(hstmt, 1, 4711, nullptr, 0, nullptr, &number), SQL_ERROR);
    EXPECT_EQ(state(), "HY091");
    EXPECT_EQ(SQLColAttributes(hstmt, 1, 19, nullptr, 0, nullptr, &number), SQL_ERROR);
    EXPECT_EQ(state(), "IM001");
    EXPECT_EQ(SQLDescribeCol(hstmt, 4, nullptr, 0, nullptr, &type, nullptr, nullptr, nullptr),
              SQL_ERROR);
    EXPECT_EQ(state(), "07009");
}

TEST_F(Retrieval, StatesAndCursorCalls) {
    char buf[8];
    SQLLEN len = 0;
    SQLSMALLINT count = 7;
    // No result at all.
    EXPECT_EQ(SQLNumResultCols(hstmt, &count), SQL_SUCCESS);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(SQLFetch(hstmt), SQL_ERROR);
    EXPECT_EQ(state(), "24000");
    EXPECT_EQ(SQLCloseCursor(hstmt), SQL_ERROR);
    EXPECT_EQ(state(), "24000");
    EXPECT_EQ(SQLDescribeCol(hstmt, 1, nullptr, 0, nullptr, nullptr, nullptr, nullptr, nullptr),
              SQL_SUCCESS);  // nothing asked, nothing checked

    makeResult();
    // Before the first fetch there is no row to read.
    EXPECT_EQ(SQLGetData(hstmt, 1, SQL_C_CHAR, buf, sizeof buf, &len), SQL_ERROR);
    EXPECT_EQ(state(), "24000");
    ASSERT_EQ(SQLFetch(hstmt), SQL_SUCCESS);
    // A NULL needs somewhere to say so.
    EXPECT_EQ(SQLGetData(hstmt, 3, SQL_C_CHAR, buf, sizeof buf, nullptr), SQL_ERROR);
    EXPECT_EQ(state(), "22002");
    EXPECT_EQ(SQLGetData(hstmt, 9, SQL_C_CHAR, buf, sizeof buf, &len), SQL_ERROR);
    EXPECT_EQ(state(), "07009");
    // Only forward fetching on a catalog result.
    EXPECT_EQ(SQLFetchScroll(hstmt, SQL_FETCH_PRIOR, 0), SQL_ERROR);
    SQLULEN fetched = 9;
    SQLUSMALLINT status[1] = {99};
    EXPECT_EQ(SQLExtendedFetch(hstmt, SQL_FETCH_NEXT, 0, &fetched, status), SQL_SUCCESS);
    EXPECT_EQ(fetched, 1u);
    EXPECT_EQ(status[0], SQL_ROW_SUCCESS);
    SQLLEN rows = 0;
    EXPECT_EQ(SQLRowCount(hstmt, &rows), SQL_SUCCESS);
    EXPECT_EQ(rows, -1);
    // There is no second result; the statement is free again.
    EXPECT_EQ(SQLMoreResults(hstmt), SQL_NO_DATA);
    EXPECT_EQ(stmt().state, kStateNoResult);
    EXPECT_EQ(SQLNumResultCols(hstmt, &count), SQL_SUCCESS);
    EXPECT_EQ(count, 0);
}

TEST_F(Retrieval, TypeInformation) {
    // A catalog call on a statement that holds a result is refused.
    makeResult();
    EXPECT_EQ(SQLGetTypeInfo(hstmt, SQL_ALL_TYPES), SQL_ERROR);
    EXPECT_EQ(state(), "24000");
    ASSERT_EQ(SQLCloseCursor(hstmt), SQL_SUCCESS);

    static_cast<DriverEnvironment*>(env)->odbcVersion = SQL_OV_ODBC2;
    ASSERT_EQ(SQLGetTypeInfo(hstmt, SQL_TIMESTAMP), SQL_SUCCESS);
    ASSERT_EQ(SQLFetch(hstmt), SQL_SUCCESS);
    SQLSMALLINT type = 0;
    SQLLEN len = 0;
    EXPECT_EQ(SQLGetData(hstmt, 2, SQL_C_SSHORT, &type, 0, &len), SQL_SUCCESS);
    EXPECT_EQ(type, SQL_TIMESTAMP);  // an ODBC 2 client sees 11
    EXPECT_EQ(SQLFetch(hstmt), SQL_NO_DATA);
}

}  // namespace
