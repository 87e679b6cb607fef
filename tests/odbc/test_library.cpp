// Loads libkelodbc.so the way the driver manager does and reaches its entry points.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sql.h>

#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace {

std::vector<std::string> listedExports() {
    std::ifstream map(KELODBC_MAP);
    std::vector<std::string> names;
    const std::regex entry(R"(^\s+([A-Za-z_][A-Za-z0-9_]*);)");
    std::string line;
    std::smatch m;
    while (std::getline(map, line)) {
        if (std::regex_search(line, m, entry)) names.push_back(m[1]);
    }
    return names;
}

class Library : public ::testing::Test {
  protected:
    void SetUp() override {
        lib = dlopen(KELODBC_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(lib, nullptr) << dlerror();
    }
    void TearDown() override {
        if (lib != nullptr) dlclose(lib);
    }
    template <typename Fn>
    Fn entry(const char* name) {
        return reinterpret_cast<Fn>(dlsym(lib, name));
    }
    void* lib = nullptr;
};

TEST_F(Library, EveryListedEntryPointResolves) {
    const auto names = listedExports();
    ASSERT_GT(names.size(), 10u);
    for (const auto& name : names) EXPECT_NE(dlsym(lib, name.c_str()), nullptr) << name;
    EXPECT_EQ(dlsym(lib, "_ZN6kelvra12messageEntryEt"), nullptr);  // internals stay hidden
}

TEST_F(Library, HandlesLiveAndDieThroughTheLoadedLibrary) {
    using AllocHandle = SQLRETURN (*)(SQLSMALLINT, SQLHANDLE, SQLHANDLE*);
    using FreeHandle = SQLRETURN (*)(SQLSMALLINT, SQLHANDLE);
    using GetDiagRec = SQLRETURN (*)(SQLSMALLINT, SQLHANDLE, SQLSMALLINT, SQLCHAR*, SQLINTEGER*,
                                     SQLCHAR*, SQLSMALLINT, SQLSMALLINT*);
    auto alloc = entry<AllocHandle>("SQLAllocHandle");
    auto release = entry<FreeHandle>("SQLFreeHandle");
    auto diagRec = entry<GetDiagRec>("SQLGetDiagRec");
    ASSERT_TRUE(alloc && release && diagRec);

    SQLHANDLE env = nullptr, dbc = nullptr, stmt = nullptr;
    ASSERT_EQ(alloc(SQL_HANDLE_ENV, nullptr, &env), SQL_SUCCESS);
    ASSERT_EQ(alloc(SQL_HANDLE_DBC, env, &dbc), SQL_SUCCESS);
    ASSERT_EQ(alloc(SQL_HANDLE_STMT, dbc, &stmt), SQL_SUCCESS);
    // An explicit descriptor comes and goes; the statement keeps no diagnostic from it.
    SQLHANDLE desc = nullptr;
    ASSERT_EQ(alloc(SQL_HANDLE_DESC, dbc, &desc), SQL_SUCCESS);
    EXPECT_EQ(release(SQL_HANDLE_DESC, desc), SQL_SUCCESS);
    EXPECT_EQ(diagRec(SQL_HANDLE_STMT, stmt, 1, nullptr, nullptr, nullptr, 0, nullptr),
              SQL_NO_DATA);
    EXPECT_EQ(release(SQL_HANDLE_STMT, stmt), SQL_SUCCESS);
    EXPECT_EQ(release(SQL_HANDLE_ENV, env), SQL_SUCCESS);
}

// Every ODBC function by its SQLGetFunctions number.
const std::map<int, std::string> kOdbcFunctions = {
    {1, "SQLAllocConnect"},
    {2, "SQLAllocEnv"},
    {3, "SQLAllocStmt"},
    {4, "SQLBindCol"},
    {5, "SQLCancel"},
    {6, "SQLColAttribute"},
    {7, "SQLConnect"},
    {8, "SQLDescribeCol"},
    {9, "SQLDisconnect"},
    {10, "SQLError"},
    {11, "SQLExecDirect"},
    {12, "SQLExecute"},
    {13, "SQLFetch"},
    {14, "SQLFreeConnect"},
    {15, "SQLFreeEnv"},
    {16, "SQLFreeStmt"},
    {17, "SQLGetCursorName"},
    {18, "SQLNumResultCols"},
    {19, "SQLPrepare"},
    {20, "SQLRowCount"},
    {21, "SQLSetCursorName"},
    {22, "SQLSetParam"},
    {23, "SQLTransact"},
    {24, "SQLBulkOperations"},
    {40, "SQLColumns"},
    {41, "SQLDriverConnect"},
    {42, "SQLGetConnectOption"},
    {43, "SQLGetData"},
    {44, "SQLGetFunctions"},
    {45, "SQLGetInfo"},
    {46, "SQLGetStmtOption"},
    {47, "SQLGetTypeInfo"},
    {48, "SQLParamData"},
    {49, "SQLPutData"},
    {50, "SQLSetConnectOption"},
    {51, "SQLSetStmtOption"},
    {52, "SQLSpecialColumns"},
    {53, "SQLStatistics"},
    {54, "SQLTables"},
    {55, "SQLBrowseConnect"},
    {56, "SQLColumnPrivileges"},
    {57, "SQLDataSources"},
    {58, "SQLDescribeParam"},
    {59, "SQLExtendedFetch"},
    {60, "SQLForeignKeys"},
    {61, "SQLMoreResults"},
    {62, "SQLNativeSql"},
    {63, "SQLNumParams"},
    {64, "SQLParamOptions"},
    {65, "SQLPrimaryKeys"},
    {66, "SQLProcedureColumns"},
    {67, "SQLProcedures"},
    {68, "SQLSetPos"},
    {69, "SQLSetScrollOptions"},
    {70, "SQLTablePrivileges"},
    {71, "SQLDrivers"},
    {72, "SQLBindParameter"},
    {1001, "SQLAllocHandle"},
    {1002, "SQLBindParam"},
    {1003, "SQLCloseCursor"},
    {1004, "SQLCopyDesc"},
    {1005, "SQLEndTran"},
    {1006, "SQLFreeHandle"},
    {1007, "SQLGetConnectAttr"},
    {1008, "SQLGetDescField"},
    {1009, "SQLGetDescRec"},
    {1010, "SQLGetDiagField"},
    {1011, "SQLGetDiagRec"},
    {1012, "SQLGetEnvAttr"},
    {1014, "SQLGetStmtAttr"},
    {1016, "SQLSetConnectAttr"},
    {1017, "SQLSetDescField"},
    {1018, "SQLSetDescRec"},
    {1019, "SQLSetEnvAttr"},
    {1020, "SQLSetStmtAttr"},
    {1021, "SQLFetchScroll"},
};

// The functions the driver refuses by design: exported so that the refusal carries a
// diagnostic, and not reported as supported.
const std::set<std::string> kRefused = {"SQLColumnPrivileges", "SQLProcedureColumns",
                                        "SQLProcedures", "SQLTablePrivileges"};

TEST_F(Library, SQLGetFunctionsReportsExactlyTheExportedEntryPoints) {
    using AllocHandle = SQLRETURN (*)(SQLSMALLINT, SQLHANDLE, SQLHANDLE*);
    using FreeHandle = SQLRETURN (*)(SQLSMALLINT, SQLHANDLE);
    using GetFunctions = SQLRETURN (*)(SQLHDBC, SQLUSMALLINT, SQLUSMALLINT*);
    auto alloc = entry<AllocHandle>("SQLAllocHandle");
    auto release = entry<FreeHandle>("SQLFreeHandle");
    auto functions = entry<GetFunctions>("SQLGetFunctions");
    ASSERT_TRUE(alloc && release && functions);
    SQLHANDLE env = nullptr, dbc = nullptr;
    ASSERT_EQ(alloc(SQL_HANDLE_ENV, nullptr, &env), SQL_SUCCESS);
    ASSERT_EQ(alloc(SQL_HANDLE_DBC, env, &dbc), SQL_SUCCESS);
    for (const auto& [id, name] : kOdbcFunctions) {
        SQLUSMALLINT supported = 7;
        ASSERT_EQ(functions(dbc, SQLUSMALLINT(id), &supported), SQL_SUCCESS);
        const bool exported = dlsym(lib, name.c_str()) != nullptr;
        EXPECT_EQ(supported == SQL_TRUE, exported && !kRefused.count(name)) << name;
    }
    release(SQL_HANDLE_ENV, env);
}

}  // namespace
