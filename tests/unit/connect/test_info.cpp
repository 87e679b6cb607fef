// SQLGetInfo and SQLGetFunctions as a client reads them.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <cstring>
#include <string>

#include "driver/handles.h"

using namespace kelvra;

namespace {

class Info : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, nullptr, &env), SQL_SUCCESS);
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc), SQL_SUCCESS);
    }
    void TearDown() override { SQLFreeHandle(SQL_HANDLE_ENV, env); }
    DriverConnection& connection() { return *static_cast<DriverConnection*>(dbc); }

    std::string text(SQLUSMALLINT type) {
        char buf[128] = "#";
        SQLSMALLINT len = -1;
        EXPECT_EQ(SQLGetInfo(dbc, type, buf, sizeof buf, &len), SQL_SUCCESS) << type;
        EXPECT_EQ(len, SQLSMALLINT(std::strlen(buf)));
        return buf;
    }
    SQLUSMALLINT small(SQLUSMALLINT type) {
        SQLUSMALLINT v = 0xBEEF;
        SQLSMALLINT len = -1;
        EXPECT_EQ(SQLGetInfo(dbc, type, &v, sizeof v, &len), SQL_SUCCESS) << type;
        EXPECT_EQ(len, 2);
        return v;
    }
    SQLUINTEGER integer(SQLUSMALLINT type) {
        SQLUINTEGER v = 0xDEADBEEF;
        SQLSMALLINT len = -1;
        EXPECT_EQ(SQLGetInfo(dbc, type, &v, sizeof v, &len), SQL_SUCCESS) << type;
        EXPECT_EQ(len, 4);
        return v;
    }

    SQLHENV env = nullptr;
    SQLHDBC dbc = nullptr;
};

TEST_F(Info, AnswersOfEachKind) {
    EXPECT_EQ(text(SQL_DRIVER_NAME), "libkelodbc.so");
    EXPECT_EQ(text(SQL_DBMS_NAME), "Kelvra for QuickBase");
    EXPECT_EQ(text(SQL_DRIVER_ODBC_VER), "03.51");
    EXPECT_EQ(text(SQL_SEARCH_PATTERN_ESCAPE), "\\");
    EXPECT_EQ(text(SQL_IDENTIFIER_QUOTE_CHAR), "\"");
    EXPECT_EQ(text(SQL_TABLE_TERM), "table");
    EXPECT_EQ(text(SQL_CATALOG_NAME), "N");
    EXPECT_EQ(text(SQL_LIKE_ESCAPE_CLAUSE), "Y");
    EXPECT_EQ(small(SQL_TXN_CAPABLE), SQL_TC_DML);
    EXPECT_EQ(small(SQL_CURSOR_COMMIT_BEHAVIOR), SQL_CB_PRESERVE);
    EXPECT_EQ(small(SQL_IDENTIFIER_CASE), SQL_IC_MIXED);
    EXPECT_EQ(small(SQL_MAX_COLUMN_NAME_LEN), 127);
    EXPECT_EQ(small(SQL_MAX_IDENTIFIER_LEN), 32767);
    EXPECT_EQ(integer(SQL_FETCH_DIRECTION), 191u);
    EXPECT_EQ(integer(SQL_GETDATA_EXTENSIONS),
              SQLUINTEGER(SQL_GD_ANY_COLUMN | SQL_GD_ANY_ORDER | SQL_GD_BOUND));
    EXPECT_EQ(integer(SQL_CONVERT_TIMESTAMP), 232705u);
    EXPECT_EQ(integer(SQL_DEFAULT_TXN_ISOLATION), SQLUINTEGER(SQL_TXN_READ_COMMITTED));
    EXPECT_EQ(integer(65003), 121u);
    // The test program is not the word processor.
    EXPECT_EQ(integer(SQL_BOOKMARK_PERSISTENCE), 82u);
}

TEST_F(Info, ConnectionDependentAnswers) {
    EXPECT_EQ(text(SQL_DATA_SOURCE_NAME), "");
    EXPECT_EQ(text(SQL_USER_NAME), "");  // no session yet
    connection().dataSourceName = "Projects";
    EXPECT_EQ(text(SQL_DATA_SOURCE_NAME), "Projects");
    connection().dataSourceName = " ";
    EXPECT_EQ(text(SQL_DATA_SOURCE_NAME), "");
}

TEST_F(Info, UnknownTypesAndShortBuffers) {
    SQLUINTEGER v = 0;
    // Type 3 is the driver manager's to answer.
    EXPECT_EQ(SQLGetInfo(dbc, SQL_DRIVER_HDBC, &v, sizeof v, nullptr), SQL_ERROR);
    SQLCHAR state[6], msg[128];
    SQLINTEGER native = 0;
    ASSERT_EQ(SQLGetDiagRec(SQL_HANDLE_DBC, dbc, 1, state, &native, msg, sizeof msg, nullptr),
              SQL_SUCCESS);
    EXPECT_STREQ((char*)state, "IM001");
    EXPECT_STREQ((char*)msg, "[Kelvra ODBC]Not supported: 3");
    EXPECT_EQ(SQLGetInfo(dbc, 10006, &v, sizeof v, nullptr), SQL_ERROR);

    char buf[8] = "#######";
    SQLSMALLINT len = 0;
    EXPECT_EQ(SQLGetInfo(dbc, SQL_DBMS_NAME, buf, 6, &len), SQL_SUCCESS_WITH_INFO);
    EXPECT_STREQ(buf, "Kelvr");
    EXPECT_EQ(buf[6], '#');
    EXPECT_EQ(len, 20);
    ASSERT_EQ(SQLGetDiagRec(SQL_HANDLE_DBC, dbc, 1, state, &native, msg, sizeof msg, nullptr),
              SQL_SUCCESS);
    EXPECT_STREQ((char*)state, "01004");
}

TEST_F(Info, FunctionsInAllThreeForms) {
    SQLUSMALLINT one = 7;
    EXPECT_EQ(SQLGetFunctions(dbc, SQL_API_SQLFETCHSCROLL, &one), SQL_SUCCESS);
    EXPECT_EQ(one, SQL_TRUE);
    EXPECT_EQ(SQLGetFunctions(dbc, SQL_API_SQLBINDPARAM, &one), SQL_SUCCESS);
    EXPECT_EQ(one, SQL_FALSE);
    SQLGetFunctions(dbc, SQL_API_SQLBROWSECONNECT, &one);
    EXPECT_EQ(one, SQL_TRUE);

    SQLUSMALLINT all[100];
    std::fill(std::begin(all), std::end(all), 7);
    EXPECT_EQ(SQLGetFunctions(dbc, SQL_API_ALL_FUNCTIONS, all), SQL_SUCCESS);
    EXPECT_EQ(all[0], SQL_FALSE);
    EXPECT_EQ(all[SQL_API_SQLCONNECT], SQL_TRUE);
    EXPECT_EQ(all[22], SQL_FALSE);
    EXPECT_EQ(all[SQL_API_SQLTABLES], SQL_TRUE);
    EXPECT_EQ(all[SQL_API_SQLPROCEDURES], SQL_FALSE);  // exported only to refuse
    EXPECT_EQ(all[99], SQL_FALSE);

    SQLUSMALLINT bits[SQL_API_ODBC3_ALL_FUNCTIONS_SIZE];
    std::fill(std::begin(bits), std::end(bits), 0xFFFF);
    EXPECT_EQ(SQLGetFunctions(dbc, SQL_API_ODBC3_ALL_FUNCTIONS, bits), SQL_SUCCESS);
    int count = 0;
    for (int n = 0; n < 4000; ++n) {
        const bool set = SQL_FUNC_EXISTS(bits, n);
        count += set;
        SQLUSMALLINT single = 0;
        if (n > 0 && n != 999) {
            SQLGetFunctions(dbc, SQLUSMALLINT(n), &single);
            EXPECT_EQ(set, single == SQL_TRUE) << n;
        }
    }
    EXPECT_FALSE(SQL_FUNC_EXISTS(bits, 0));
    EXPECT_FALSE(SQL_FUNC_EXISTS(bits, 1002));
    EXPECT_TRUE(SQL_FUNC_EXISTS(bits, SQL_API_SQLGETDIAGREC));
    // The library tests check the list against the exports; here only that the forms agree.
    EXPECT_GT(count, 0);
}

}  // namespace
