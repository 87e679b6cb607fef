// The cost of the entry frame's lock: a bare mutex lock and unlock, a whole cheap entry point,
// and catalog calls (SQLTables, SQLColumns, answered from the connection's caches) in one and in
// two threads sharing a connection, each thread on a statement of its own. Needs the emulator:
//     tests/odbc/with_emulator.py build/bench/bench_entry
#include <benchmark/benchmark.h>
#include <sql.h>
#include <sqlext.h>

#include <cstdlib>
#include <mutex>
#include <string>

namespace {

void mutexLockUnlock(benchmark::State& state) {
    std::mutex mutex;
    for (auto _ : state) {
        mutex.lock();
        mutex.unlock();
        benchmark::ClobberMemory();
    }
}
BENCHMARK(mutexLockUnlock);

// One connection for the whole run, logged in to the emulator when one is there.
struct Connection {
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    bool connected = false;

    Connection() {
        SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
        SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
        const char* server = std::getenv("KELVRA_QBEMU_SERVER");
        if (server == nullptr) return;
        const std::string in =
            std::string("QUICKBASESERVER=") + server + ";UID=pat.doe@example.com;PWD=kelvra-demo;";
        connected = SQL_SUCCEEDED(SQLDriverConnect(dbc, nullptr, (SQLCHAR*)in.c_str(), SQL_NTS,
                                                   nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT));
    }
};

Connection& connection() {
    static Connection shared;
    return shared;
}

void entryCall(benchmark::State& state) {
    SQLHDBC dbc = connection().dbc;
    SQLUINTEGER autocommit = 0;
    for (auto _ : state) {
        SQLGetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, &autocommit, 0, nullptr);
        benchmark::DoNotOptimize(autocommit);
    }
}
BENCHMARK(entryCall);

template <typename Call>
void catalogLoop(benchmark::State& state, Call&& call) {
    if (!connection().connected) {
        state.SkipWithError("no emulator: run through tests/odbc/with_emulator.py");
        return;
    }
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    SQLAllocHandle(SQL_HANDLE_STMT, connection().dbc, &stmt);
    std::int64_t rows = 0;
    for (auto _ : state) {
        if (!SQL_SUCCEEDED(call(stmt))) {
            state.SkipWithError("the catalog call failed");
            break;
        }
        while (SQL_SUCCEEDED(SQLFetch(stmt))) ++rows;
        SQLFreeStmt(stmt, SQL_CLOSE);
    }
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    state.counters["rows"] = benchmark::Counter(double(rows), benchmark::Counter::kIsRate);
}

void tables(benchmark::State& state) {
    catalogLoop(state, [](SQLHSTMT s) {
        return SQLTables(s, nullptr, 0, nullptr, 0, (SQLCHAR*)"%", SQL_NTS, nullptr, 0);
    });
}
BENCHMARK(tables)->Threads(1)->Threads(2)->UseRealTime();

void columns(benchmark::State& state) {
    catalogLoop(state, [](SQLHSTMT s) {
        return SQLColumns(s, nullptr, 0, nullptr, 0, (SQLCHAR*)"%", SQL_NTS, (SQLCHAR*)"%",
                          SQL_NTS);
    });
}
BENCHMARK(columns)->Threads(1)->Threads(2)->UseRealTime();

}  // namespace
