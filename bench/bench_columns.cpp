// SQLColumns on a warm connection, through the unixODBC driver manager: this driver against the
// QuickBase emulator and, measured in the same run, another driver on a local table of as many
// columns (SQLite ODBC in columns_vs_sqlite.sh). Prints the time per call, wall and CPU.
// With --prepare, TABLE is a statement and each call is one SQLPrepare of it on a new statement
// handle (prepare_vs_sqlite.sh). SETUP_SQL may hold several statements separated by ";".
//
//   bench_columns CONNECTION TABLE [CONNECTION TABLE [SETUP_SQL]] [--calls N] [--prepare]
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

struct Target {
    std::string connection;
    std::string table;
    std::string setupSql;
};

double cpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

void fail(const char* what, SQLSMALLINT type, SQLHANDLE handle) {
    SQLCHAR state[6] = {};
    SQLCHAR text[512] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    SQLGetDiagRec(type, handle, 1, state, &native, text, sizeof text, &length);
    std::fprintf(stderr, "%s failed: %s %s\n", what, state, text);
    std::exit(1);
}

// One SQLColumns call with every row fetched and its column name read. Returns the row count.
int columnsOnce(SQLHDBC dbc, const std::string& table) {
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
    auto name = reinterpret_cast<SQLCHAR*>(const_cast<char*>(table.c_str()));
    if (!SQL_SUCCEEDED(SQLColumns(stmt, nullptr, 0, nullptr, 0, name, SQL_NTS, nullptr, 0)))
        fail("SQLColumns", SQL_HANDLE_STMT, stmt);
    int rows = 0;
    SQLCHAR column[256];
    SQLLEN length = 0;
    while (SQL_SUCCEEDED(SQLFetch(stmt))) {
        SQLGetData(stmt, 4, SQL_C_CHAR, column, sizeof column, &length);
        ++rows;
    }
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    return rows;
}

// One SQLPrepare of the statement on a new handle. Returns its result column count.
int prepareOnce(SQLHDBC dbc, const std::string& sql) {
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
    auto text = reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str()));
    if (!SQL_SUCCEEDED(SQLPrepare(stmt, text, SQL_NTS))) fail("SQLPrepare", SQL_HANDLE_STMT, stmt);
    SQLSMALLINT columns = 0;
    SQLNumResultCols(stmt, &columns);
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    return columns;
}

bool preparing = false;

int callOnce(SQLHDBC dbc, const std::string& what) {
    return preparing ? prepareOnce(dbc, what) : columnsOnce(dbc, what);
}

void measure(SQLHENV env, const Target& target, int calls) {
    SQLHDBC dbc = SQL_NULL_HDBC;
    SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    auto text = reinterpret_cast<SQLCHAR*>(const_cast<char*>(target.connection.c_str()));
    if (!SQL_SUCCEEDED(SQLDriverConnect(dbc, nullptr, text, SQL_NTS, nullptr, 0, nullptr,
                                        SQL_DRIVER_NOPROMPT)))
        fail("SQLDriverConnect", SQL_HANDLE_DBC, dbc);
    for (std::size_t from = 0; from < target.setupSql.size();) {
        std::size_t end = std::min(target.setupSql.find(';', from), target.setupSql.size());
        std::string one = target.setupSql.substr(from, end - from);
        from = end + 1;
        SQLHSTMT stmt = SQL_NULL_HSTMT;
        SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
        auto sql = reinterpret_cast<SQLCHAR*>(one.data());
        if (!SQL_SUCCEEDED(SQLExecDirect(stmt, sql, SQL_NTS)))
            fail("the set-up statement", SQL_HANDLE_STMT, stmt);
        SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    }
    int rows = callOnce(dbc, target.table);  // warm: schemas and table lists are fetched
    auto wall0 = std::chrono::steady_clock::now();
    double cpu0 = cpuSeconds();
    for (int i = 0; i < calls; ++i) callOnce(dbc, target.table);
    double cpu = cpuSeconds() - cpu0;
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
    // A statement is long: the driver's library names the line instead.
    std::string label = target.table;
    if (preparing) {
        const std::size_t from = target.connection.find("DRIVER=");
        label = target.connection.substr(from == std::string::npos ? 0 : from + 7);
        label = label.substr(0, label.find(';'));
        label = label.substr(label.rfind('/') + 1);
    }
    std::printf("%-60.60s %3d columns  %8.1f us/call wall  %8.1f us/call cpu\n", label.c_str(),
                rows, wall * 1e6 / calls, cpu * 1e6 / calls);
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<Target> targets;
    int calls = 200;
    std::vector<std::string> words;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--calls") == 0 && i + 1 < argc) {
            calls = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--prepare") == 0) {
            preparing = true;
        } else {
            words.emplace_back(argv[i]);
        }
    }
    for (std::size_t i = 0; i + 1 < words.size(); i += 2) {
        Target t{words[i], words[i + 1], {}};
        // A third word that is SQL belongs to this target.
        if (i + 2 < words.size() && words[i + 2].rfind("CREATE", 0) == 0)
            t.setupSql = words[++i + 1];
        targets.push_back(t);
    }
    if (targets.empty() || calls <= 0) {
        std::fprintf(stderr,
                     "usage: %s CONNECTION TABLE [CONNECTION TABLE [SETUP_SQL]] [--calls N] "
                     "[--prepare]\n",
                     argv[0]);
        return 2;
    }
    SQLHENV env = SQL_NULL_HENV;
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    std::printf("%d warm %s calls each\n", calls, preparing ? "SQLPrepare" : "SQLColumns");
    for (const Target& t : targets) measure(env, t, calls);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    return 0;
}
