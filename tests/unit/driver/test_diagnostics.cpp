// Diagnostics as a client reads them: SQLSTATEs by ODBC version, message texts, argument
// substitution, consuming and non-consuming reads, buffers, and QuickBase session errors.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <cstring>
#include <string>

#include "driver/handles.h"
#include "driver/string_out.h"

using namespace kelvra;

namespace {

class Diagnostics : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env), SQL_SUCCESS);
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc), SQL_SUCCESS);
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt), SQL_SUCCESS);
    }
    void TearDown() override { SQLFreeHandle(SQL_HANDLE_ENV, env); }

    DiagRecord& stmtDiag() { return static_cast<DriverStatement*>(stmt)->diag; }
    void setVersion(int v) { static_cast<DriverEnvironment*>(env)->odbcVersion = v; }

    struct Rec {
        SQLRETURN rc;
        std::string state;
        SQLINTEGER native;
        std::string text;
    };
    Rec rec(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT number = 1) {
        SQLCHAR state[6] = {};
        SQLCHAR text[600] = {};
        SQLINTEGER native = -1;
        SQLSMALLINT len = -1;
        SQLRETURN rc = SQLGetDiagRec(type, h, number, state, &native, text, sizeof text, &len);
        if (rc == SQL_SUCCESS) {
            EXPECT_EQ(len, static_cast<SQLSMALLINT>(std::strlen((char*)text)));
        }
        return {rc, (char*)state, native, (char*)text};
    }

    SQLHENV env = nullptr;
    SQLHDBC dbc = nullptr;
    SQLHSTMT stmt = nullptr;
};

TEST_F(Diagnostics, EveryMessageHasWellFormedStatesAndText) {
    std::vector<MsgNo> numbers{1, 2, 3, 4, 5, 6, 7};
    for (MsgNo n = 1001; n <= 1095; ++n) numbers.push_back(n);
    for (MsgNo n : numbers) {
        SCOPED_TRACE(n);
        postMessage(stmtDiag(), n, "ARG");
        for (int version : {2, 3}) {
            setVersion(version);
            Rec r = rec(SQL_HANDLE_STMT, stmt);
            ASSERT_EQ(r.rc, SQL_SUCCESS);
            EXPECT_EQ(r.state.size(), 5u);
            EXPECT_EQ(r.native, n);
            EXPECT_TRUE(r.text.starts_with("[Kelvra ODBC]")) << r.text;
            EXPECT_EQ(r.text.find("%s"), std::string::npos) << r.text;
        }
    }
    EXPECT_TRUE(messageEntry(1000).empty());
    EXPECT_TRUE(messageEntry(1096).empty());
    EXPECT_TRUE(messageEntry(8).empty());
}

TEST_F(Diagnostics, StateFollowsTheEnvironmentsVersion) {
    struct Case {
        MsgNo number;
        const char* state2;
        const char* state3;
        const char* text;
    };
    const Case cases[] = {
        {1008, "S1002", "07009", "[Kelvra ODBC]Invalid column id"},
        {1010, "S1C00", "IM001", "[Kelvra ODBC]Driver not capable"},
        {1053, "S1096", "22012", "[Kelvra ODBC]Division by zero"},
        {1041, "07001", "07002", "[Kelvra ODBC]Parameter missing"},
        {1007, "24000", "24000", "[Kelvra ODBC]Invalid cursor state"},
        {1081, "S0000", "HY017",
         "[Kelvra ODBC]Invalid use of an automatically allocated descriptor handle."},
        {1065, "S0000", "S0000",
         "[Kelvra ODBC]Prepared DDL statement deleted (due to commit) before it could be "
         "executed."},
        {5, "S0000", "S0000", "[Kelvra ODBC]No MSysConf table available"},
        {1091, "S1T00", "HYT00", "[Kelvra ODBC]Timeout expired: "},
        {1092, "S1T00", "HYT01", "[Kelvra ODBC]Connection timeout expired: "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.number);
        postMessage(stmtDiag(), c.number);
        setVersion(2);
        Rec r2 = rec(SQL_HANDLE_STMT, stmt);
        setVersion(3);
        Rec r3 = rec(SQL_HANDLE_STMT, stmt);
        EXPECT_EQ(r2.state, c.state2);
        EXPECT_EQ(r3.state, c.state3);
        EXPECT_EQ(r3.text, c.text);
        EXPECT_EQ(r2.text, c.text);
    }
}

TEST_F(Diagnostics, ArgumentReplacesTrailingPlaceholder) {
    postMessage(stmtDiag(), kMsgColumnNotFound, "NAME");
    EXPECT_EQ(rec(SQL_HANDLE_STMT, stmt).text, "[Kelvra ODBC]Column not found: NAME");
    postMessage(stmtDiag(), kMsgColumnNotFound);
    EXPECT_EQ(rec(SQL_HANDLE_STMT, stmt).text, "[Kelvra ODBC]Column not found: ");
    // A message without a placeholder ignores the argument.
    postMessage(stmtDiag(), kMsgInvalidCursorState, "NAME");
    EXPECT_EQ(rec(SQL_HANDLE_STMT, stmt).text, "[Kelvra ODBC]Invalid cursor state");
    // A huge argument is cut to the message limit, never past it.
    postMessage(stmtDiag(), kMsgTableNotFound, std::string(2000, 'x'));
    EXPECT_EQ(rec(SQL_HANDLE_STMT, stmt).text.size(), kMaxMessageText);
}

TEST_F(Diagnostics, SqlErrorConsumesGetDiagRecDoesNot) {
    postMessage(stmtDiag(), kMsgInvalidCursorState);
    EXPECT_EQ(rec(SQL_HANDLE_STMT, stmt).rc, SQL_SUCCESS);
    EXPECT_EQ(rec(SQL_HANDLE_STMT, stmt).rc, SQL_SUCCESS);
    EXPECT_EQ(rec(SQL_HANDLE_STMT, stmt, 0).rc, SQL_SUCCESS);
    EXPECT_EQ(rec(SQL_HANDLE_STMT, stmt, 2).rc, SQL_NO_DATA);

    SQLCHAR state[6] = {};
    SQLCHAR text[100] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT len = 0;
    EXPECT_EQ(SQLError(env, dbc, stmt, state, &native, text, sizeof text, &len), SQL_SUCCESS);
    EXPECT_STREQ((char*)state, "24000");
    EXPECT_EQ(native, 1007);
    EXPECT_STREQ((char*)text, "[Kelvra ODBC]Invalid cursor state");
    EXPECT_EQ(SQLError(env, dbc, stmt, state, &native, text, sizeof text, &len), SQL_NO_DATA);
    EXPECT_STREQ((char*)state, "00000");
    EXPECT_EQ(native, 0);
    EXPECT_EQ(rec(SQL_HANDLE_STMT, stmt).rc, SQL_NO_DATA);

    // The statement is chosen before the connection, the connection before the environment.
    postMessage(static_cast<DriverConnection*>(dbc)->diag, kMsgConnectionInUse);
    postMessage(static_cast<DriverEnvironment*>(env)->diag, kMsgSequenceError);
    EXPECT_EQ(SQLError(env, dbc, nullptr, state, &native, text, sizeof text, &len), SQL_SUCCESS);
    EXPECT_EQ(native, 1006);
    EXPECT_EQ(SQLError(env, nullptr, nullptr, state, &native, text, sizeof text, &len),
              SQL_SUCCESS);
    EXPECT_EQ(native, 1079);
    EXPECT_EQ(SQLError(nullptr, nullptr, nullptr, state, &native, text, sizeof text, &len),
              SQL_INVALID_HANDLE);
}

TEST_F(Diagnostics, ShortBuffersAreCutAndReportTheFullLength) {
    postMessage(stmtDiag(), kMsgInvalidCursorState);
    const std::string full = "[Kelvra ODBC]Invalid cursor state";
    SQLCHAR text[10];
    std::memset(text, '#', sizeof text);
    SQLSMALLINT len = 0;
    SQLCHAR state[6] = {};
    EXPECT_EQ(SQLGetDiagRec(SQL_HANDLE_STMT, stmt, 1, state, nullptr, text, 8, &len),
              SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(len, static_cast<SQLSMALLINT>(full.size()));
    EXPECT_STREQ((char*)text, full.substr(0, 7).c_str());
    EXPECT_EQ(text[8], '#');  // nothing written past the given length

    EXPECT_EQ(SQLError(env, dbc, stmt, state, nullptr, text, 8, &len), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(len, static_cast<SQLSMALLINT>(full.size()));
    EXPECT_EQ(text[8], '#');

    // Only the length asked for.
    postMessage(stmtDiag(), kMsgInvalidCursorState);
    EXPECT_EQ(SQLGetDiagRec(SQL_HANDLE_STMT, stmt, 1, nullptr, nullptr, nullptr, 0, &len),
              SQL_SUCCESS);
    EXPECT_EQ(len, static_cast<SQLSMALLINT>(full.size()));
}

TEST(CopyStringOut, BoundsAndCharacterBoundaries) {
    char buf[8];
    SQLSMALLINT len = 0;
    std::memset(buf, '#', sizeof buf);
    EXPECT_EQ(copyStringOut(buf, 0, &len, "abc"), kMsgTruncated);
    EXPECT_EQ(buf[0], '#');
    EXPECT_EQ(len, 3);
    EXPECT_EQ(copyStringOut(buf, 3, &len, "abc"), kMsgTruncated);
    EXPECT_STREQ(buf, "ab");
    EXPECT_EQ(copyStringOut(buf, 4, &len, "abc"), kMsgNone);
    EXPECT_STREQ(buf, "abc");
    EXPECT_EQ(copyStringOut(nullptr, 4, &len, "abcdef"), kMsgNone);
    EXPECT_EQ(len, 6);
    // "Zürich": the cut does not leave half of the two-byte ü behind.
    EXPECT_EQ(copyStringOut(buf, 3, &len, "Z\xC3\xBCrich"), kMsgTruncated);
    EXPECT_STREQ(buf, "Z");
    EXPECT_EQ(copyStringOut(buf, 4, &len, "Z\xC3\xBCrich"), kMsgTruncated);
    EXPECT_STREQ(buf, "Z\xC3\xBC");
    SQLINTEGER wide = 0;
    EXPECT_EQ(copyStringOut(buf, 8, &wide, "abcdefgh"), kMsgTruncated);
    EXPECT_EQ(wide, 8);
}

TEST_F(Diagnostics, SessionErrors) {
    struct Case {
        const char* code;
        const char* state;
    };
    for (const Case& c :
         {Case{"4", "28000"}, Case{"7", "IM007"}, Case{"18", "08S01"}, Case{"19", "S0022"},
          Case{"24", "IM024"}, Case{"404", "IM404"}, Case{"1000", "HY000"}, Case{"x'", "HY000"}}) {
        SCOPED_TRACE(c.code);
        postSessionError(stmtDiag(), kMsgSession, c.code, "Your ticket has expired.");
        for (int version : {2, 3}) {
            setVersion(version);
            Rec r = rec(SQL_HANDLE_STMT, stmt);
            EXPECT_EQ(r.rc, SQL_SUCCESS);
            EXPECT_EQ(r.state, c.state);
            EXPECT_EQ(r.native, 999);
            EXPECT_EQ(r.text, "[Kelvra][QuickBase]Your ticket has expired.");
        }
    }
    // A very long detail is cut to the message limit.
    postSessionError(stmtDiag(), kMsgSession, "17", std::string(1000, 'd'));
    EXPECT_EQ(rec(SQL_HANDLE_STMT, stmt).text.size(), kMaxMessageText - 12);
    // A session that failed on something of the driver's own carries that message.
    postSessionError(stmtDiag(), kMsgMemory, "0", "");
    Rec r = rec(SQL_HANDLE_STMT, stmt);
    EXPECT_EQ(r.native, 1001);
    EXPECT_EQ(r.state, "HY001");
    EXPECT_EQ(r.text, "[Kelvra ODBC]Memory allocation error");
}

TEST_F(Diagnostics, DiagFields) {
    auto& s = *static_cast<DriverStatement*>(stmt);
    auto& c = *static_cast<DriverConnection*>(dbc);
    c.dataSourceName = "Projects";
    s.dynamicFunctionCode = 85;
    s.diagRowCount = 12;
    s.rowCount = 34;
    postMessage(stmtDiag(), kMsgNotCapable);

    SQLCHAR text[64];
    SQLSMALLINT len = 0;
    auto str = [&](SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT id) {
        text[0] = 0;
        SQLRETURN rc = SQLGetDiagField(type, h, 1, id, text, sizeof text, &len);
        return rc == SQL_SUCCESS ? std::string((char*)text) : "rc=" + std::to_string(rc);
    };
    EXPECT_EQ(str(SQL_HANDLE_STMT, stmt, SQL_DIAG_CLASS_ORIGIN), "ODBC 3.0");  // IM001
    EXPECT_EQ(str(SQL_HANDLE_STMT, stmt, SQL_DIAG_SUBCLASS_ORIGIN), "ODBC 3.0");
    EXPECT_EQ(str(SQL_HANDLE_STMT, stmt, SQL_DIAG_SERVER_NAME), "Projects");
    EXPECT_EQ(str(SQL_HANDLE_STMT, stmt, SQL_DIAG_CONNECTION_NAME), "");
    EXPECT_EQ(str(SQL_HANDLE_STMT, stmt, SQL_DIAG_DYNAMIC_FUNCTION), "SELECT CURSOR");
    EXPECT_EQ(str(SQL_HANDLE_STMT, stmt, SQL_DIAG_SQLSTATE), "IM001");
    EXPECT_EQ(len, 5);
    postMessage(stmtDiag(), kMsgConversionError);
    EXPECT_EQ(str(SQL_HANDLE_STMT, stmt, SQL_DIAG_CLASS_ORIGIN), "ISO 9075");
    postMessage(stmtDiag(), kMsgOptionChanged);  // 01S02
    EXPECT_EQ(str(SQL_HANDLE_STMT, stmt, SQL_DIAG_CLASS_ORIGIN), "ISO 9075");
    EXPECT_EQ(str(SQL_HANDLE_STMT, stmt, SQL_DIAG_SUBCLASS_ORIGIN), "ODBC 3.0");
    c.dataSourceName = " ";
    EXPECT_EQ(str(SQL_HANDLE_STMT, stmt, SQL_DIAG_SERVER_NAME), "");

    SQLLEN wide = 0;
    SQLINTEGER narrow = 0;
    EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, stmt, 0, SQL_DIAG_ROW_COUNT, &wide, 0, nullptr),
              SQL_SUCCESS);
    EXPECT_EQ(wide, 12);
    EXPECT_EQ(
        SQLGetDiagField(SQL_HANDLE_STMT, stmt, 0, SQL_DIAG_CURSOR_ROW_COUNT, &wide, 0, nullptr),
        SQL_SUCCESS);
    EXPECT_EQ(wide, 34);
    EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, stmt, 0, SQL_DIAG_DYNAMIC_FUNCTION_CODE, &narrow, 0,
                              nullptr),
              SQL_SUCCESS);
    EXPECT_EQ(narrow, 85);
    EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, stmt, 0, SQL_DIAG_NUMBER, &narrow, 0, nullptr),
              SQL_SUCCESS);
    EXPECT_EQ(narrow, 1);
    EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, stmt, 1, SQL_DIAG_ROW_NUMBER, &wide, 0, nullptr),
              SQL_SUCCESS);
    EXPECT_EQ(wide, SQL_ROW_NUMBER_UNKNOWN);
    EXPECT_EQ(
        SQLGetDiagField(SQL_HANDLE_STMT, stmt, 1, SQL_DIAG_COLUMN_NUMBER, &narrow, 0, nullptr),
        SQL_SUCCESS);
    EXPECT_EQ(narrow, SQL_COLUMN_NUMBER_UNKNOWN);

    // Statement-only fields of other handles, unknown identifiers and handle types.
    EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_DBC, dbc, 0, SQL_DIAG_ROW_COUNT, &wide, 0, nullptr),
              SQL_ERROR);
    EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, stmt, 1, 999, &wide, 0, nullptr), SQL_ERROR);
    EXPECT_EQ(SQLGetDiagField(7, stmt, 1, SQL_DIAG_NATIVE, &narrow, 0, nullptr), SQL_ERROR);
    // Record fields without a record; header fields still answer.
    EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_DBC, dbc, 1, SQL_DIAG_NATIVE, &narrow, 0, nullptr),
              SQL_NO_DATA);
    EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_DBC, dbc, 0, SQL_DIAG_NUMBER, &narrow, 0, nullptr),
              SQL_SUCCESS);
    EXPECT_EQ(narrow, 0);
    EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, stmt, 2, SQL_DIAG_NATIVE, &narrow, 0, nullptr),
              SQL_NO_DATA);
    // A descriptor reaches its connection's name; an environment has none.
    SQLHDESC desc = nullptr;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DESC, dbc, &desc), SQL_SUCCESS);
    c.dataSourceName = "Books";
    postMessage(static_cast<DriverDescriptor*>(desc)->diag, kMsgModifyIrd);
    EXPECT_EQ(str(SQL_HANDLE_DESC, desc, SQL_DIAG_SERVER_NAME), "Books");
    postMessage(static_cast<DriverEnvironment*>(env)->diag, kMsgSequenceError);
    EXPECT_EQ(str(SQL_HANDLE_ENV, env, SQL_DIAG_SERVER_NAME), "");
    // A truncated string field says so.
    EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_ENV, env, 1, SQL_DIAG_MESSAGE_TEXT, text, 5, &len),
              SQL_SUCCESS_WITH_INFO);
}

TEST(DynamicFunction, Texts) {
    EXPECT_EQ(dynamicFunctionText(19), "DELETE WHERE");
    EXPECT_EQ(dynamicFunctionText(82), "UPDATE WHERE");
    EXPECT_EQ(dynamicFunctionText(-1), "CREATE INDEX");
    EXPECT_EQ(dynamicFunctionText(-2), "DROP INDEX");
    EXPECT_EQ(dynamicFunctionText(0), "");
    EXPECT_EQ(dynamicFunctionText(1234), "");
}

}  // namespace
