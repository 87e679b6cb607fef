// Block cursors and parameter arrays through the driver manager, as a C client uses them:
// fetching the bench table with rowsets of 1 and of 1,000 rows (CPU time of this process per
// row: the driver and the driver manager, not the emulator), and INSERT of 10,000 rows one
// execution per row and as one parameter array (rows per second). fetch_bench.sh runs it.
//
//     bench_fetch CONNECTION-STRING [RECORDS]
#include <sql.h>
#include <sqlext.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double wallSeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void check(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE h, const char* what) {
    if (SQL_SUCCEEDED(rc)) return;
    SQLCHAR state[6] = {}, text[512] = {};
    SQLINTEGER native = 0;
    SQLGetDiagRec(type, h, 1, state, &native, text, sizeof text, nullptr);
    std::fprintf(stderr, "%s failed: %s %s\n", what, state, text);
    std::exit(1);
}

// Fetches every row of the query with rowsets of `size` rows, four columns bound column-wise.
void fetchAll(SQLHDBC dbc, SQLULEN size, long long expected) {
    SQLHSTMT stmt = nullptr;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
    std::vector<SQLINTEGER> ids(size);
    std::vector<char> names(64 * size);
    std::vector<double> amounts(size);
    std::vector<SQL_DATE_STRUCT> due(size);
    std::vector<SQLLEN> lengths(4 * size);
    SQLULEN fetched = 0;
    SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(size), 0);
    SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0);
    SQLBindCol(stmt, 1, SQL_C_SLONG, ids.data(), 4, &lengths[0]);
    SQLBindCol(stmt, 2, SQL_C_CHAR, names.data(), 64, &lengths[size]);
    SQLBindCol(stmt, 3, SQL_C_DOUBLE, amounts.data(), 8, &lengths[2 * size]);
    SQLBindCol(stmt, 4, SQL_C_TYPE_DATE, due.data(), sizeof(SQL_DATE_STRUCT), &lengths[3 * size]);
    const double cpu0 = cpuSeconds(), wall0 = wallSeconds();
    check(SQLExecDirect(stmt, (SQLCHAR*)"SELECT [Record ID_], Name, Amount, Due FROM bqbench3t",
                        SQL_NTS),
          SQL_HANDLE_STMT, stmt, "SELECT");
    long long rows = 0;
    SQLRETURN rc;
    while ((rc = SQLFetch(stmt)) == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) rows += fetched;
    const double cpu = cpuSeconds() - cpu0, wall = wallSeconds() - wall0;
    if (rc != SQL_NO_DATA || rows != expected) {
        std::fprintf(stderr, "rowset %zu: %lld rows, expected %lld\n", size_t(size), rows,
                     expected);
        std::exit(1);
    }
    std::printf("fetch  rowset %5zu: %lld rows, %.2f us CPU per row, %.2f s wall\n", size_t(size),
                rows, cpu * 1e6 / double(rows), wall);
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
}

// INSERT of `rows` rows: one execution per row, or one execution of an array of them all.
void insertRows(SQLHDBC dbc, SQLULEN rows, bool asArray, const char* tag) {
    SQLHSTMT stmt = nullptr;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
    check(
        SQLPrepare(stmt, (SQLCHAR*)"INSERT INTO bqbench3t (Name, Quantity) VALUES (?, ?)", SQL_NTS),
        SQL_HANDLE_STMT, stmt, "prepare INSERT");
    std::vector<char> names(32 * rows);
    std::vector<double> quantities(rows);
    std::vector<SQLLEN> nameLengths(rows, SQL_NTS);
    std::vector<SQLUSMALLINT> statuses(rows);
    for (SQLULEN i = 0; i < rows; ++i) {
        std::snprintf(&names[32 * i], 32, "%s %06zu", tag, size_t(i));
        quantities[i] = double(i) / 4;
    }
    const double wall0 = wallSeconds();
    if (asArray) {
        SQLSetStmtAttr(stmt, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(rows), 0);
        SQLSetStmtAttr(stmt, SQL_ATTR_PARAM_STATUS_PTR, statuses.data(), 0);
        SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 32, 0, names.data(), 32,
                         nameLengths.data());
        SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 15, 0,
                         quantities.data(), 8, nullptr);
        check(SQLExecute(stmt), SQL_HANDLE_STMT, stmt, "INSERT with an array");
    } else {
        for (SQLULEN i = 0; i < rows; ++i) {
            SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 32, 0,
                             &names[32 * i], 32, &nameLengths[i]);
            SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 15, 0,
                             &quantities[i], 8, nullptr);
            check(SQLExecute(stmt), SQL_HANDLE_STMT, stmt, "INSERT");
        }
    }
    SQLFreeStmt(stmt, SQL_CLOSE);
    const double wall = wallSeconds() - wall0;
    std::printf("insert %s: %zu rows, %.0f rows/s\n", asArray ? "array" : "one by one",
                size_t(rows), double(rows) / wall);
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_fetch CONNECTION-STRING [RECORDS] [insert]\n");
        return 2;
    }
    const long long records = argc > 2 ? std::atoll(argv[2]) : 100000;
    SQLHENV env = nullptr;
    SQLHDBC dbc = nullptr;
    SQLAllocHandle(SQL_HANDLE_ENV, nullptr, &env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    check(SQLDriverConnect(dbc, nullptr, (SQLCHAR*)argv[1], SQL_NTS, nullptr, 0, nullptr,
                           SQL_DRIVER_NOPROMPT),
          SQL_HANDLE_DBC, dbc, "connect");
    // The first run warms the emulator's query cache; the figures are the second runs'.
    fetchAll(dbc, 1000, records);
    for (SQLULEN size : {SQLULEN{1}, SQLULEN{1000}}) fetchAll(dbc, size, records);
    if (argc > 3 && std::strcmp(argv[3], "insert") == 0) {
        insertRows(dbc, 10000, false, "single");
        insertRows(dbc, 10000, true, "array");
    }
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    return 0;
}
