// Loads libkelodbc.so the way the driver manager does and reaches its entry points.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sql.h>

#include <fstream>
#include <regex>
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

}  // namespace
