// Broken and hostile QuickBase replies, served by the emulator's faults, through the entry
// points: each call ends in a diagnostic, within a stated bound of memory and a generous bound
// of time, never in a false success, a hang or a crash.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <chrono>
#include <string>

#include "driver/handles.h"
#include "emulator.h"
#include "peak_memory.h"

using namespace kelvra;
using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace {

constexpr const char* kPat = ";UID=pat.doe@example.com;PWD=kelvra-demo";
// The QuickBase envelope of a successful reply, as a stream fault's head.
const std::string kOk = "<qdbapi><errcode>0</errcode><errtext>No error</errtext>";

std::string jsonText(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

// A stream fault: head, unit repeated for `bytes` bytes (-1: endless), tail.
std::string stream(const char* action, const std::string& head, const std::string& unit = "",
                   long long bytes = 0, const std::string& tail = "", double interval = 0) {
    return "{\"kind\":\"stream\",\"action\":\"" + std::string(action) +
           "\",\"head\":" + jsonText(head) + ",\"unit\":" + jsonText(unit) +
           ",\"bytes\":" + std::to_string(bytes) + ",\"tail\":" + jsonText(tail) +
           ",\"interval\":" + std::to_string(interval) + "}";
}

std::string fault(const char* action, const std::string& fields) {
    return "{\"action\":\"" + std::string(action) + "\"," + fields + "}";
}

enum class Call { tables, columns };

class HostileReplies : public test::EmulatorSuite {
  protected:
    void SetUp() override {
        EmulatorSuite::SetUp();
        if (HasFatalFailure()) return;
        emulator_->control("POST", "faults/clear");
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, nullptr, &env), SQL_SUCCESS);
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc), SQL_SUCCESS);
    }
    void TearDown() override {
        emulator_->control("POST", "faults/clear");
        SQLFreeHandle(SQL_HANDLE_ENV, env);
    }

    SQLRETURN connect(const std::string& extra = "") {
        SQLDisconnect(dbc);
        const std::string in = "QUICKBASESERVER=" + emulator_->host() + kPat + extra;
        return SQLDriverConnect(dbc, nullptr, (SQLCHAR*)in.c_str(), SQL_NTS, nullptr, 0, nullptr,
                                SQL_DRIVER_NOPROMPT);
    }

    SQLRETURN run(Call call) {
        SQLHSTMT stmt = SQL_NULL_HSTMT;
        EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt), SQL_SUCCESS);
        const SQLRETURN rc =
            call == Call::tables
                ? SQLTables(stmt, nullptr, 0, nullptr, 0, (SQLCHAR*)"%", SQL_NTS, nullptr, 0)
                : SQLColumns(stmt, nullptr, 0, nullptr, 0, (SQLCHAR*)"%", SQL_NTS, (SQLCHAR*)"%",
                             SQL_NTS);
        diagnosis = diagnostic(SQL_HANDLE_STMT, stmt);
        SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        return rc;
    }

    // "STATE message" of a handle's diagnostic.
    static std::string diagnostic(SQLSMALLINT type, SQLHANDLE handle) {
        SQLCHAR state[6] = {}, text[600] = {};
        SQLGetDiagRec(type, handle, 1, state, nullptr, text, sizeof text, nullptr);
        return std::string((char*)state) + " " + (char*)text;
    }

    SQLHENV env = nullptr;
    SQLHDBC dbc = nullptr;
    std::string diagnosis;
};

struct HostileCase {
    const char* what;
    Call call;
    std::string fault;
    const char* diagnostic;  // the beginning of "STATE message"
    const char* saying;      // part of the message
    long boundMiB;           // the peak memory the call may add, in the plain build
};

TEST_F(HostileReplies, EndInADiagnosticWithinBoundedMemory) {
    const std::string envelope = kOk + "<databases>";
    const std::string schemaHead = kOk + "<table><fields>";
    const HostileCase cases[] = {
        // Streamed: API_GrantedDBs, read by SQLTables.
        {"endless dbname", Call::tables,
         stream("API_GrantedDBs", envelope + "<dbinfo><dbname>", "x", -1),
         "HY000 [Kelvra][QuickBase]", "a text of more than 4194304 bytes", 64},
        {"endless dbinfo elements", Call::tables,
         stream("API_GrantedDBs", envelope,
                "<dbinfo><dbname>A:B</dbname><dbid>bq8kx2mea</dbid></dbinfo>", -1),
         "HY000 [Kelvra][QuickBase]", "more than 131072 entries", 64},
        {"endless empty elements", Call::tables, stream("API_GrantedDBs", envelope, "<x/>", -1),
         "HY000 [Kelvra][QuickBase]", "more than 268435456 bytes", 64},
        {"no errcode in the body", Call::tables,
         fault("API_GrantedDBs", "\"kind\":\"not_quickbase\",\"variant\":\"no_errcode\""),
         "IM200 [Kelvra][QuickBase]", "not in standard form", 64},
        {"an HTML page", Call::tables, fault("API_GrantedDBs", "\"kind\":\"not_quickbase\""),
         "IM200 [Kelvra][QuickBase]", "not in standard form", 64},
        {"HTTP 503", Call::tables,
         fault("API_GrantedDBs", "\"kind\":\"http_status\",\"status\":503"),
         "IM503 [Kelvra][QuickBase]", "error code of 503", 64},
        {"error 24", Call::tables, fault("API_GrantedDBs", "\"kind\":\"error\",\"errcode\":24"),
         "IM024 [Kelvra][QuickBase]", "", 64},
        {"a malformed body", Call::tables, fault("API_GrantedDBs", "\"kind\":\"malformed_xml\""),
         "HY000 [Kelvra][QuickBase]", "XML Parse error at line", 64},
        {"a ticket with a line break", Call::tables,
         stream("API_GrantedDBs", kOk + "<ticket>t&#13;&#10;Injected: 1</ticket></qdbapi>"),
         "IM200 [Kelvra][QuickBase]", "ticket that is not in standard form", 64},
        // Parsed into a document: API_GetSchema, read by SQLColumns.
        {"250 MiB of empty elements", Call::columns,
         stream("API_GetSchema", schemaHead, "<a/>", 250ll << 20, "</fields></table></qdbapi>"),
         "HY000 [Kelvra][QuickBase]", "more than 67108864 bytes", 200},
        {"40 MiB of empty elements", Call::columns,
         stream("API_GetSchema", schemaHead, "<a/>", 40ll << 20, "</fields></table></qdbapi>"),
         "HY000 [Kelvra][QuickBase]", "more than 2097152 nodes", 512},
        {"no errcode in the schema", Call::columns,
         fault("API_GetSchema", "\"kind\":\"not_quickbase\",\"variant\":\"no_errcode\""),
         "IM200 [Kelvra][QuickBase]", "not in standard form", 64},
        {"an HTML page for the schema", Call::columns,
         fault("API_GetSchema", "\"kind\":\"not_quickbase\""), "IM200 [Kelvra][QuickBase]", "", 64},
        {"HTTP 503 for the schema", Call::columns,
         fault("API_GetSchema", "\"kind\":\"http_status\",\"status\":503"),
         "IM503 [Kelvra][QuickBase]", "", 64},
        {"error 24 for the schema", Call::columns,
         fault("API_GetSchema", "\"kind\":\"error\",\"errcode\":24"), "IM024 [Kelvra][QuickBase]",
         "", 64},
        {"a malformed schema", Call::columns, fault("API_GetSchema", "\"kind\":\"malformed_xml\""),
         "IM200 [Kelvra][QuickBase]", "not in standard form", 64},
    };
    for (const HostileCase& c : cases) {
        SCOPED_TRACE(c.what);
        // A new session each time: nothing of an earlier case is cached.
        ASSERT_EQ(connect(), SQL_SUCCESS) << diagnostic(SQL_HANDLE_DBC, dbc);
        emulator_->control("POST", "faults", c.fault);
        SQLRETURN rc = SQL_SUCCESS;
        const long grewMiB = test::peakGrowthMiB([&] { rc = run(c.call); });
        EXPECT_EQ(rc, SQL_ERROR);
        EXPECT_THAT(diagnosis, StartsWith(c.diagnostic));
        EXPECT_THAT(diagnosis, HasSubstr(c.saying));
        EXPECT_LT(grewMiB, test::memoryBoundMiB(c.boundMiB));
        emulator_->control("POST", "faults/clear");
    }
}

TEST_F(HostileReplies, EndlessQueryReplyIsRefusedWithFlatMemory) {
    ASSERT_EQ(connect(), SQL_SUCCESS) << diagnostic(SQL_HANDLE_DBC, dbc);
    emulator_->control("POST", "faults",
                       stream("API_DoQuery", kOk + "<table><records>",
                              "<record><f id=\"3\">1</f><f id=\"6\">x</f></record>", -1));
    QbSession& session = *static_cast<DriverConnection*>(dbc)->session;
    QueryResult result;
    const long grewMiB =
        test::peakGrowthMiB([&] { session.doQuery(test::kProjects, "", "3.6", "", "", result); });
    EXPECT_EQ(session.errcode(), "1004");
    EXPECT_THAT(session.errdetail(), HasSubstr("more than 1048576 values"));
    EXPECT_LT(grewMiB, test::memoryBoundMiB(64));
}

TEST_F(HostileReplies, TicketsThatCannotTravelInACookieAreRefusedAtLogin) {
    const std::string login = "<qdbapi><action>API_Authenticate</action><errcode>0</errcode>";
    for (const std::string& fault :
         {stream("API_Authenticate", login + "<ticket>t&#13;&#10;Injected: 1</ticket></qdbapi>"),
          stream("API_Authenticate", login + "<ticket>", "a", 4 << 20, "</ticket></qdbapi>")}) {
        emulator_->control("POST", "faults", fault);
        SQLRETURN rc = SQL_SUCCESS;
        EXPECT_LT(test::peakGrowthMiB([&] { rc = connect(); }), test::memoryBoundMiB(64));
        EXPECT_EQ(rc, SQL_ERROR);
        EXPECT_THAT(diagnostic(SQL_HANDLE_DBC, dbc),
                    StartsWith("IM200 [Kelvra][QuickBase]The response back from"));
        EXPECT_EQ(static_cast<DriverConnection*>(dbc)->session, nullptr);
    }
}

struct TimeoutCase {
    const char* what;
    std::uint32_t loginTimeout;  // SQL_ATTR_LOGIN_TIMEOUT before connecting
    const char* keywords;
    std::uint32_t connectionTimeout;  // SQL_ATTR_CONNECTION_TIMEOUT after connecting (0: kept)
    std::string fault;
    bool duringLogin;
    const char* state;
};

TEST_F(HostileReplies, SlowRepliesExpireAsTimeouts) {
    // The server holds its reply 20 s, or sends it a byte at a time; the limits are 1 or 2 s.
    const std::string delay = "\"kind\":\"delay\",\"seconds\":20";
    const TimeoutCase cases[] = {
        {"login timeout", 1, "", 0, fault("API_Authenticate", delay), true, "HYT00"},
        {"connection timeout during the login", 0, ";TIMEOUT=1", 0,
         fault("API_Authenticate", delay), true, "HYT01"},
        {"TIMEOUT keyword", 0, ";TIMEOUT=1", 0, fault("API_GrantedDBs", delay), false, "HYT01"},
        {"a byte per second", 0, ";TIMEOUT=2", 0,
         stream("API_GrantedDBs", kOk + "<databases></databases></qdbapi>", "", 0, "", 1.0), false,
         "HYT01"},
        {"connection timeout attribute", 0, "", 1, fault("API_GrantedDBs", delay), false, "HYT01"},
    };
    for (const TimeoutCase& c : cases) {
        SCOPED_TRACE(c.what);
        SQLDisconnect(dbc);
        SQLSetConnectAttr(dbc, SQL_ATTR_LOGIN_TIMEOUT, (SQLPOINTER)(SQLULEN)c.loginTimeout, 0);
        SQLSetConnectAttr(dbc, SQL_ATTR_CONNECTION_TIMEOUT, (SQLPOINTER)SQLULEN{120}, 0);
        if (c.duringLogin) emulator_->control("POST", "faults", c.fault);
        const auto start = std::chrono::steady_clock::now();
        if (c.duringLogin) {
            EXPECT_EQ(connect(c.keywords), SQL_ERROR);
            diagnosis = diagnostic(SQL_HANDLE_DBC, dbc);
        } else {
            ASSERT_EQ(connect(c.keywords), SQL_SUCCESS) << diagnostic(SQL_HANDLE_DBC, dbc);
            if (c.connectionTimeout != 0) {
                SQLSetConnectAttr(dbc, SQL_ATTR_CONNECTION_TIMEOUT,
                                  (SQLPOINTER)(SQLULEN)c.connectionTimeout, 0);
            }
            emulator_->control("POST", "faults", c.fault);
            EXPECT_EQ(run(Call::tables), SQL_ERROR);
        }
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(12));
        EXPECT_THAT(diagnosis, StartsWith(std::string(c.state) + " [Kelvra ODBC]"));
        EXPECT_THAT(diagnosis, HasSubstr("No complete reply from https://"));
        emulator_->control("POST", "faults/clear");
    }
    SQLSetConnectAttr(dbc, SQL_ATTR_LOGIN_TIMEOUT, (SQLPOINTER)SQLULEN{0}, 0);
}

}  // namespace
