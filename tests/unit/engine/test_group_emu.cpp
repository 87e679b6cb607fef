// Grouping by expressions through the entry points, against the emulator's generated bench
// table (so that the sanitizer builds run analysis, planning and the grouping steps): the groups
// each key makes, HAVING and ORDER BY on grouping expressions and aggregates.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "emulator.h"

namespace kelvra {
namespace {

// The generator's record i (1-based): Quantity (i * 31 % 1000) / 4, Due 2024-01-01 plus
// (i * 13 % 1096) days, Status one of four in turn.
constexpr int kRecords = 2000;

using Rows = std::vector<std::vector<std::string>>;

class GroupEmuTest : public test::EmulatorSuite {
  protected:
    static void SetUpTestSuite() { startEmulator({"--bench-records", std::to_string(kRecords)}); }

    void SetUp() override {
        EmulatorSuite::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, nullptr, &env_), SQL_SUCCESS);
        SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, (SQLPOINTER)SQL_OV_ODBC3, 0);
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_), SQL_SUCCESS);
        const std::string in = "QUICKBASESERVER=" + emulator_->host() + ";UID=" + test::kUser +
                               ";PWD=" + test::kPassword;
        ASSERT_TRUE(SQL_SUCCEEDED(SQLDriverConnect(dbc_, nullptr, (SQLCHAR*)in.c_str(), SQL_NTS,
                                                   nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT)));
    }

    void TearDown() override {
        SQLDisconnect(dbc_);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
        SQLFreeHandle(SQL_HANDLE_ENV, env_);
    }

    // The rows of a query, every value as text; or, when it fails, "STATE message" in `error`.
    Rows query(const std::string& sql, std::string& error) {
        SQLHSTMT stmt = SQL_NULL_HSTMT;
        EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt), SQL_SUCCESS);
        Rows rows;
        SQLSMALLINT columns = 0;
        if (!SQL_SUCCEEDED(SQLExecDirect(stmt, (SQLCHAR*)sql.c_str(), SQL_NTS))) {
            SQLCHAR state[6] = {}, text[300] = {};
            SQLGetDiagRec(SQL_HANDLE_STMT, stmt, 1, state, nullptr, text, sizeof text, nullptr);
            error = std::string((char*)state) + " " + (char*)text;
        } else {
            SQLNumResultCols(stmt, &columns);
            while (SQL_SUCCEEDED(SQLFetch(stmt))) {
                rows.emplace_back();
                for (SQLUSMALLINT c = 1; c <= columns; ++c) {
                    char value[64] = {};
                    SQLLEN length = 0;
                    SQLGetData(stmt, c, SQL_C_CHAR, value, sizeof value, &length);
                    rows.back().push_back(length == SQL_NULL_DATA ? "NULL" : value);
                }
            }
        }
        SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        return rows;
    }

    SQLHENV env_ = nullptr;
    SQLHDBC dbc_ = nullptr;
};

TEST_F(GroupEmuTest, ExpressionsGroupOrderAndFilter) {
    // Month counts of the Due dates, computed here: most first, then by year and month.
    static constexpr int kMonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    std::map<std::pair<int, int>, int> months;
    for (int i = 1; i <= kRecords; ++i) {
        int day = i * 13 % 1096, year = 2024, month = 0;
        for (;;) {
            const int length = kMonthDays[month] + (month == 1 && year % 4 == 0);
            if (day < length) break;
            day -= length;
            year += month == 11;
            month = (month + 1) % 12;
        }
        ++months[{year, month + 1}];
    }
    std::vector<std::tuple<int, int, int>> byCount;
    for (const auto& [ym, count] : months) byCount.emplace_back(-count, ym.first, ym.second);
    std::sort(byCount.begin(), byCount.end());
    Rows expected;
    for (const auto& [count, year, month] : byCount) {
        expected.push_back({std::to_string(year), std::to_string(month), std::to_string(-count)});
    }
    std::string error;
    EXPECT_EQ(query("SELECT {fn YEAR(Due)}, MONTH(Due), COUNT(*) FROM bqbench3t GROUP BY "
                    "{fn YEAR(Due)}, {fn MONTH(Due)} ORDER BY (COUNT(*) * -1), YEAR(Due), "
                    "{fn MONTH(Due)}",
                    error),
              expected)
        << error;

    // Quantity * 4 takes every value 0..999 twice over 2,000 records.
    Rows twice;
    for (int q = 9; q >= 0; --q) twice.push_back({std::to_string(q + 1), "2"});
    EXPECT_EQ(query("SELECT Quantity * 4 + 1, COUNT(*) FROM bqbench3t GROUP BY Quantity * 4 "
                    "HAVING Quantity * 4 < 10 ORDER BY (Quantity * 4) DESC",
                    error),
              twice)
        << error;

    const std::string quarter = std::to_string(kRecords / 4);
    EXPECT_EQ(
        query("SELECT {fn LCASE(Status)}, COUNT(*) FROM bqbench3t GROUP BY "
              "{fn LCASE(Status)} ORDER BY {fn LCASE(Status)}",
              error),
        (Rows{
            {"blocked", quarter}, {"done", quarter}, {"in progress", quarter}, {"open", quarter}}))
        << error;
}

// More groups than a hash table may hold: the rows are sorted and combined instead, with the
// same result.
class ManyGroupsEmuTest : public GroupEmuTest {
  protected:
    static constexpr int kManyRecords = 16000;  // group rows of over 1 KB each: over 16 MiB
    static void SetUpTestSuite() {
        startEmulator({"--bench-records", std::to_string(kManyRecords)});
    }
};

TEST_F(ManyGroupsEmuTest, GroupsBeyondTheHashTableAreSorted) {
    std::string error;
    const Rows rows = query("SELECT Name, COUNT(*), SUM(Quantity * 4) FROM bqbench3t GROUP BY Name "
                            "HAVING COUNT(*) = 1",
                            error);
    ASSERT_EQ(rows.size(), std::size_t(kManyRecords)) << error;
    std::vector<std::string> names;
    long long sum = 0;
    for (const auto& row : rows) {
        names.push_back(row[0]);
        sum += std::stoll(row[2]);
        ASSERT_EQ(row[1], "1");
    }
    // In the grouping order (letter case aside, the generated names are distinct by their
    // numbers); every record once: Quantity * 4 is i * 31 % 1000 for record i.
    const auto folded = [](std::string text) {
        for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
        return text;
    };
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end(), [&](const auto& a, const auto& b) {
        return folded(a) < folded(b);
    }));
    long long expected = 0;
    for (int i = 1; i <= kManyRecords; ++i) expected += i * 31 % 1000;
    EXPECT_EQ(sum, expected);
}

}  // namespace
}  // namespace kelvra
