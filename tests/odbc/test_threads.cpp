// Threads sharing one connection, through the unixODBC driver manager with the library named by
// its path (so no odbcinst entry sets a threading level and the driver manager serialises
// nothing): each thread runs catalog calls on statements of its own, allocated and freed as it
// goes. Every call must succeed with the rows one thread alone gets. Runs against the emulator
// (with_emulator.py); built with ThreadSanitizer by KELVRA_TSAN, with ASan by KELVRA_SANITIZE.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kThreads = 3;
constexpr int kRounds = 60;

std::string diagnostic(SQLSMALLINT type, SQLHANDLE handle) {
    SQLCHAR state[6] = {}, text[512] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    SQLGetDiagRec(type, handle, 1, state, &native, text, sizeof text, &length);
    return std::string(reinterpret_cast<char*>(state)) + " " + reinterpret_cast<char*>(text);
}

// What one round of catalog calls found: rows per call, or the first failure.
struct Round {
    int tables = 0;
    int columns = 0;
    int keys = 0;
    std::string failure;
    bool operator==(const Round&) const = default;
};

int countRows(SQLHSTMT stmt, std::string& failure) {
    int rows = 0;
    SQLRETURN rc;
    while (SQL_SUCCEEDED(rc = SQLFetch(stmt))) {
        SQLCHAR name[256];
        SQLLEN length = 0;
        if (!SQL_SUCCEEDED(SQLGetData(stmt, 3, SQL_C_CHAR, name, sizeof name, &length))) {
            failure = "SQLGetData: " + diagnostic(SQL_HANDLE_STMT, stmt);
        }
        ++rows;
    }
    if (rc != SQL_NO_DATA) failure = "SQLFetch: " + diagnostic(SQL_HANDLE_STMT, stmt);
    return rows;
}

// SQLTables of every table, SQLColumns of every column, and SQLPrimaryKeys of a table named by
// its application (a name lookup, so a request to QuickBase every time), each on a new
// statement.
Round catalogRound(SQLHDBC dbc) {
    Round round;
    auto call = [&](int& rows, const char* what, auto&& run) {
        SQLHSTMT stmt = SQL_NULL_HSTMT;
        if (SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt) != SQL_SUCCESS) {
            round.failure = std::string("SQLAllocHandle: ") + diagnostic(SQL_HANDLE_DBC, dbc);
            return;
        }
        if (run(stmt) != SQL_SUCCESS) {
            round.failure = std::string(what) + ": " + diagnostic(SQL_HANDLE_STMT, stmt);
        } else {
            rows = countRows(stmt, round.failure);
        }
        SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    };
    call(round.tables, "SQLTables", [](SQLHSTMT s) {
        return SQLTables(s, nullptr, 0, nullptr, 0, (SQLCHAR*)"%", SQL_NTS, nullptr, 0);
    });
    call(round.columns, "SQLColumns", [](SQLHSTMT s) {
        return SQLColumns(s, nullptr, 0, nullptr, 0, (SQLCHAR*)"%", SQL_NTS, (SQLCHAR*)"%",
                          SQL_NTS);
    });
    call(round.keys, "SQLPrimaryKeys", [](SQLHSTMT s) {
        return SQLPrimaryKeys(s, nullptr, 0, nullptr, 0, (SQLCHAR*)"Kelvra Contacts", SQL_NTS);
    });
    return round;
}

TEST(Threads, StatementsOfOneConnectionInSeveralThreads) {
    const char* server = std::getenv("KELVRA_QBEMU_SERVER");
    ASSERT_NE(server, nullptr) << "run through with_emulator.py";
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env), SQL_SUCCESS);
    ASSERT_EQ(SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, (SQLPOINTER)SQL_OV_ODBC3, 0), SQL_SUCCESS);
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc), SQL_SUCCESS);
    const std::string in = std::string("DRIVER=") + KELODBC_PATH + ";QUICKBASESERVER=" + server +
                           ";UID=pat.doe@example.com;PWD=kelvra-demo;";
    ASSERT_EQ(SQLDriverConnect(dbc, nullptr, (SQLCHAR*)in.c_str(), SQL_NTS, nullptr, 0, nullptr,
                               SQL_DRIVER_NOPROMPT),
              SQL_SUCCESS)
        << diagnostic(SQL_HANDLE_DBC, dbc);

    const Round alone = catalogRound(dbc);
    ASSERT_EQ(alone.failure, "");
    ASSERT_GT(alone.tables, 0);
    ASSERT_GT(alone.columns, alone.tables);
    ASSERT_EQ(alone.keys, 1);

    std::vector<std::vector<Round>> seen(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kRounds; ++i) {
                seen[t].push_back(catalogRound(dbc));
                // Connection-level calls in between, on the same lock.
                SQLCHAR name[64];
                SQLGetInfo(dbc, SQL_DBMS_NAME, name, sizeof name, nullptr);
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (int t = 0; t < kThreads; ++t) {
        for (int i = 0; i < kRounds; ++i) {
            ASSERT_EQ(seen[t][i], alone)
                << "thread " << t << ", round " << i << ": " << seen[t][i].failure;
        }
    }
    EXPECT_EQ(SQLDisconnect(dbc), SQL_SUCCESS);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
}

}  // namespace
