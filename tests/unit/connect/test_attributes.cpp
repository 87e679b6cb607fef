// Environment and connection attributes.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <string>

#include "driver/handles.h"

using namespace kelvra;

namespace {

std::string stateOf(SQLSMALLINT type, SQLHANDLE h) {
    SQLCHAR state[6] = {};
    if (SQLGetDiagRec(type, h, 1, state, nullptr, nullptr, 0, nullptr) != SQL_SUCCESS) return "";
    return (char*)state;
}

SQLPOINTER number(SQLULEN n) {
    return reinterpret_cast<SQLPOINTER>(n);
}

TEST(EnvAttributes, VersionPoolingAndNts) {
    SQLHENV env = nullptr;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, nullptr, &env), SQL_SUCCESS);
    SQLINTEGER v = 0, len = 0;
    EXPECT_EQ(SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, number(SQL_OV_ODBC2), 0), SQL_SUCCESS);
    EXPECT_EQ(SQLGetEnvAttr(env, SQL_ATTR_ODBC_VERSION, &v, 0, &len), SQL_SUCCESS);
    EXPECT_EQ(v, SQL_OV_ODBC2);
    EXPECT_EQ(len, 4);
    // An unknown version is not stored.
    EXPECT_EQ(SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, number(380), 0), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(stateOf(SQL_HANDLE_ENV, env), "01S02");
    SQLGetEnvAttr(env, SQL_ATTR_ODBC_VERSION, &v, 0, nullptr);
    EXPECT_EQ(v, SQL_OV_ODBC2);
    EXPECT_EQ(SQLSetEnvAttr(env, SQL_ATTR_CONNECTION_POOLING, number(1), 0), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(SQLSetEnvAttr(env, SQL_ATTR_OUTPUT_NTS, number(0), 0), SQL_ERROR);
    EXPECT_EQ(SQLSetEnvAttr(env, SQL_ATTR_OUTPUT_NTS, number(1), 0), SQL_SUCCESS);
    EXPECT_EQ(SQLSetEnvAttr(env, 12345, number(1), 0), SQL_ERROR);
    EXPECT_EQ(stateOf(SQL_HANDLE_ENV, env), "S1009");  // an ODBC 2 environment

    // Once a connection exists the version is fixed.
    SQLHDBC dbc = nullptr;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc), SQL_SUCCESS);
    EXPECT_EQ(SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, number(SQL_OV_ODBC3), 0), SQL_ERROR);
    EXPECT_EQ(stateOf(SQL_HANDLE_ENV, env), "S1010");
    SQLGetEnvAttr(env, SQL_ATTR_ODBC_VERSION, &v, 0, nullptr);
    EXPECT_EQ(v, SQL_OV_ODBC2);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
}

class ConnectAttributes : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, nullptr, &env), SQL_SUCCESS);
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc), SQL_SUCCESS);
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt), SQL_SUCCESS);
    }
    void TearDown() override { SQLFreeHandle(SQL_HANDLE_ENV, env); }
    DriverStatement& statement() { return *static_cast<DriverStatement*>(stmt); }
    SQLHENV env = nullptr;
    SQLHDBC dbc = nullptr;
    SQLHSTMT stmt = nullptr;
};

TEST_F(ConnectAttributes, AutocommitAndIsolation) {
    SQLUINTEGER v = 7;
    EXPECT_EQ(SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, number(SQL_AUTOCOMMIT_OFF), 0),
              SQL_SUCCESS);
    EXPECT_EQ(SQLGetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, &v, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(v, SQLUINTEGER(SQL_AUTOCOMMIT_OFF));
    EXPECT_EQ(SQLSetConnectOption(dbc, SQL_AUTOCOMMIT, SQL_AUTOCOMMIT_ON), SQL_SUCCESS);
    EXPECT_EQ(SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, number(7), 0), SQL_ERROR);
    SQLCHAR msg[100];
    SQLGetDiagRec(SQL_HANDLE_DBC, dbc, 1, nullptr, nullptr, msg, sizeof msg, nullptr);
    EXPECT_STREQ((char*)msg, "[Kelvra ODBC]Driver not capable");
    // Read committed is the one level: others are refused, asking for it again succeeds.
    EXPECT_EQ(SQLSetConnectAttr(dbc, SQL_ATTR_TXN_ISOLATION, number(SQL_TXN_SERIALIZABLE), 0),
              SQL_ERROR);
    EXPECT_EQ(SQLSetConnectAttr(dbc, SQL_ATTR_TXN_ISOLATION, number(SQL_TXN_READ_COMMITTED), 0),
              SQL_SUCCESS);
}

TEST_F(ConnectAttributes, ReplacedValuesWarn) {
    EXPECT_EQ(SQLSetConnectOption(dbc, SQL_CONCURRENCY, 3), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(stateOf(SQL_HANDLE_DBC, dbc), "01S02");
    EXPECT_EQ(statement().concurrency, SQL_CONCUR_LOCK);
    EXPECT_EQ(SQLSetConnectOption(dbc, SQL_CURSOR_TYPE, SQL_CURSOR_STATIC), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(statement().cursorType, SQL_CURSOR_KEYSET_DRIVEN);
    EXPECT_EQ(SQLSetConnectOption(dbc, SQL_ROWSET_SIZE, 10), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(SQLSetConnectAttr(dbc, SQL_ATTR_QUERY_TIMEOUT, number(30), 0), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(SQLSetConnectAttr(dbc, SQL_ATTR_QUERY_TIMEOUT, number(0), 0), SQL_SUCCESS);
    EXPECT_EQ(SQLSetConnectAttr(dbc, SQL_ATTR_ASYNC_ENABLE, number(1), 0), SQL_ERROR);
    EXPECT_EQ(stateOf(SQL_HANDLE_DBC, dbc), "HYC00");
    EXPECT_EQ(SQLSetConnectAttr(dbc, 54321, number(5), 0), SQL_ERROR);
    EXPECT_EQ(stateOf(SQL_HANDLE_DBC, dbc), "HY092");
}

TEST_F(ConnectAttributes, TimeoutsAreKeptAndReadBack) {
    auto read = [&](SQLINTEGER attribute) {
        SQLUINTEGER v = 77;
        EXPECT_EQ(SQLGetConnectAttr(dbc, attribute, &v, 0, nullptr), SQL_SUCCESS);
        return v;
    };
    EXPECT_EQ(read(SQL_ATTR_LOGIN_TIMEOUT), 0u);
    EXPECT_EQ(read(SQL_ATTR_CONNECTION_TIMEOUT), 120u);
    EXPECT_EQ(SQLSetConnectAttr(dbc, SQL_ATTR_LOGIN_TIMEOUT, number(7), 0), SQL_SUCCESS);
    EXPECT_EQ(SQLSetConnectAttr(dbc, SQL_ATTR_CONNECTION_TIMEOUT, number(5), 0), SQL_SUCCESS);
    EXPECT_EQ(read(SQL_ATTR_LOGIN_TIMEOUT), 7u);
    EXPECT_EQ(read(SQL_ATTR_CONNECTION_TIMEOUT), 5u);
    SQLUINTEGER option = 0;
    EXPECT_EQ(SQLGetConnectOption(dbc, SQL_LOGIN_TIMEOUT, &option), SQL_SUCCESS);
    EXPECT_EQ(option, 7u);
}

TEST_F(ConnectAttributes, StatementOptionsPropagate) {
    EXPECT_EQ(SQLSetConnectOption(dbc, SQL_BIND_TYPE, 48), SQL_SUCCESS);
    EXPECT_EQ(statement().ard->bindType, 48);
    EXPECT_EQ(SQLSetConnectAttr(dbc, SQL_RETRIEVE_DATA, number(SQL_RD_OFF), 0), SQL_SUCCESS);
    EXPECT_EQ(statement().retrieveData, SQL_RD_OFF);
    EXPECT_EQ(SQLSetConnectAttr(dbc, SQL_ATTR_METADATA_ID, number(SQL_TRUE), 0), SQL_SUCCESS);
    EXPECT_EQ(statement().metadataId, SQLUINTEGER(SQL_TRUE));
    // A statement holding a result with another cursor type refuses the change.
    statement().state = kStateCursor;
    EXPECT_EQ(SQLSetConnectOption(dbc, SQL_CURSOR_TYPE, SQL_CURSOR_KEYSET_DRIVEN), SQL_ERROR);
    EXPECT_EQ(stateOf(SQL_HANDLE_DBC, dbc), "24000");
    EXPECT_EQ(statement().cursorType, SQL_CURSOR_FORWARD_ONLY);
    EXPECT_EQ(static_cast<DriverConnection*>(dbc)->defaultCursorType, SQL_CURSOR_FORWARD_ONLY);
}

TEST_F(ConnectAttributes, Getters) {
    SQLUINTEGER v = 7;
    SQLINTEGER len = 0;
    EXPECT_EQ(SQLGetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, &v, 0, &len), SQL_SUCCESS);
    EXPECT_EQ(len, 4);
    EXPECT_EQ(SQLGetConnectAttr(dbc, SQL_ATTR_CONNECTION_DEAD, &v, 0, &len), SQL_SUCCESS);
    EXPECT_EQ(v, 0u);
    EXPECT_EQ(SQLGetConnectAttr(dbc, SQL_ATTR_AUTO_IPD, &v, 0, &len), SQL_SUCCESS);
    EXPECT_EQ(v, 1u);
    EXPECT_EQ(SQLGetConnectAttr(dbc, SQL_ATTR_TXN_ISOLATION, &v, 0, &len), SQL_SUCCESS);
    EXPECT_EQ(SQLGetConnectAttr(dbc, 54321, &v, 0, &len), SQL_ERROR);

    const char catalog[] = "Projects";
    EXPECT_EQ(SQLSetConnectAttr(dbc, SQL_ATTR_CURRENT_CATALOG, (SQLPOINTER)catalog, SQL_NTS),
              SQL_SUCCESS);
    char buf[16];
    EXPECT_EQ(SQLGetConnectAttr(dbc, SQL_ATTR_CURRENT_CATALOG, buf, sizeof buf, &len), SQL_SUCCESS);
    EXPECT_STREQ(buf, "Projects");
    EXPECT_EQ(len, 8);
    EXPECT_EQ(SQLGetConnectAttr(dbc, SQL_ATTR_CURRENT_CATALOG, buf, 4, &len),
              SQL_SUCCESS_WITH_INFO);
    EXPECT_STREQ(buf, "Pro");
    EXPECT_EQ(SQLSetConnectAttr(dbc, SQL_ATTR_CURRENT_CATALOG, (SQLPOINTER)catalog, 3),
              SQL_SUCCESS);
    SQLGetConnectAttr(dbc, SQL_ATTR_CURRENT_CATALOG, buf, sizeof buf, &len);
    EXPECT_STREQ(buf, "Pro");
}

}  // namespace
