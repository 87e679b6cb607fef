// Resolution of scalar function calls: the special words, the overloads and the result types,
// and the messages of calls that do not resolve.
#include <gtest/gtest.h>

#include "scalar_harness.h"

namespace kelvra::test {
namespace {

TEST(ScalarResolve, TableHoldsEveryFunctionOnce) {
    EXPECT_EQ(scalarFunctionName(0), "ASCII");
    EXPECT_EQ(scalarFunctionName(std::int16_t(kScalarFunctionCount - 1)), "LASTERROR");
    EXPECT_EQ(scalarFunctionName(std::int16_t(kScalarFunctionCount)), "");
    EXPECT_EQ(scalarFunctionName(-1), "");
}

TEST(ScalarResolve, WordArgumentPositions) {
    EXPECT_EQ(scalarWordArgument("TIMESTAMPADD", 3), 0);
    EXPECT_EQ(scalarWordArgument("timestampdiff", 3), 0);
    EXPECT_EQ(scalarWordArgument("EXTRACT", 2), 0);
    EXPECT_EQ(scalarWordArgument("EXTRACT", 0), -1);
    EXPECT_EQ(scalarWordArgument("Convert", 2), 1);
    EXPECT_EQ(scalarWordArgument("CONVERT", 1), -1);
    EXPECT_EQ(scalarWordArgument("UCASE", 1), -1);
    EXPECT_EQ(scalarWordArgument("NOSUCH", 1), -1);
}

struct TypeCase {
    const char* name;
    const char* word;
    std::vector<Arg> args;
    TypeDesc expected;
};

TEST(ScalarResolve, ResultTypes) {
    const ValueType C = ValueType::Char, N = ValueType::Numeric, I = ValueType::Integer,
                    D = ValueType::Double;
    const std::vector<TypeCase> cases = {
        {"ucase", "", {fixedChr("ab", 5)}, {C, SQL_CHAR, 5, -1}},
        {"LEFT", "", {fixedChr("ab", 20), integer(1)}, {C, SQL_VARCHAR, 20, -1}},
        {"CONCAT", "", {chr("abc"), fixedChr("x", 5)}, {C, SQL_VARCHAR, 8, 0}},
        {"CONCAT", "", {fixedChr("", 200), fixedChr("", 100)}, {C, SQL_VARCHAR, 255, 0}},
        {"ABS", "", {num("-12.50")}, {N, SQL_DECIMAL, 4, 2}},
        {"ABS", "", {integer(1, SQL_SMALLINT)}, {I, SQL_SMALLINT, 10, 0}},
        {"ROUND", "", {num("9.5"), integer(0)}, {N, SQL_DECIMAL, 3, 1}},  // room for 10.0
        {"ROUND", "", {dbl(1), integer(0)}, {D, SQL_DOUBLE, 15, -1}},
        {"POWER", "", {num("1.5"), integer(2)}, {D, SQL_FLOAT, 15, -1}},
        {"MOD", "", {integer(7, SQL_SMALLINT), integer(2)}, {I, SQL_SMALLINT, 10, 0}},
        {"CURDATE", "", {}, {ValueType::Date, SQL_TYPE_DATE, 10, -1}},
        {"NOW", "", {}, {ValueType::Timestamp, SQL_TYPE_TIMESTAMP, 23, 3}},
        {"TIMESTAMPADD",
         "SQL_TSI_DAY",
         {integer(1), time(1, 2, 3)},
         {ValueType::Timestamp, SQL_TYPE_TIMESTAMP, 23, 3}},
        {"TIMESTAMPDIFF",
         "sql_tsi_week",
         {chr("2008-01-01"), date(2008, 2, 1)},
         {I, SQL_INTEGER, 10, 0}},
        {"DAYNAME", "", {ts(2008, 1, 1)}, {C, SQL_VARCHAR, 255, 0}},
        // IFNULL: the union of the two types.
        {"IFNULL", "", {fixedChr("", 5), fixedChr("", 5)}, {C, SQL_CHAR, 5, -1}},
        {"IFNULL", "", {fixedChr("", 5), chr("x")}, {C, SQL_VARCHAR, 5, -1}},
        {"IFNULL", "", {integer(0), num("1.25")}, {N, SQL_DECIMAL, 12, 2}},
        {"IFNULL", "", {integer(0, SQL_SMALLINT), integer(0, SQL_BIT)}, {I, SQL_SMALLINT, 10, 0}},
        {"IFNULL", "", {num("1.5"), dbl(0)}, {D, SQL_DOUBLE, 15, -1}},
        {"IFNULL",
         "",
         {typed(Value::ofDouble(0), D, SQL_REAL, 7, -1), integer(0)},
         {D, SQL_REAL, 7, -1}},
        {"IFNULL",
         "",
         {typed(Value::ofDouble(0), D, SQL_FLOAT, 15, -1), dbl(0)},
         {D, SQL_DOUBLE, 15, -1}},
        {"IFNULL",
         "",
         {binary("ab", SQL_BINARY), binary("abcd")},
         {ValueType::Binary, SQL_VARBINARY, 4, -1}},
        {"IFNULL",
         "",
         {date(2008, 1, 1), date(2009, 1, 1)},
         {ValueType::Date, SQL_TYPE_DATE, 10, -1}},
        // CONVERT: the target's type, sized by the source.
        {"CONVERT", "SQL_CHAR", {num("-12.50")}, {C, SQL_CHAR, 6, -1}},
        {"CONVERT", "sql_varchar", {num("12")}, {C, SQL_VARCHAR, 4, -1}},
        {"CONVERT", "SQL_CHAR", {integer(0)}, {C, SQL_CHAR, 11, -1}},
        {"CONVERT", "SQL_CHAR", {integer(0, SQL_TINYINT)}, {C, SQL_CHAR, 4, -1}},
        {"CONVERT", "SQL_CHAR", {binary(std::string(100, 'x'))}, {C, SQL_CHAR, 200, -1}},
        {"CONVERT", "SQL_CHAR", {binary(std::string(200, 'x'))}, {C, SQL_CHAR, 255, -1}},
        {"CONVERT",
         "SQL_BINARY",
         {integer(0, SQL_SMALLINT)},
         {ValueType::Binary, SQL_BINARY, 2, -1}},
        {"CONVERT", "SQL_VARBINARY", {date(2008, 1, 1)}, {ValueType::Binary, SQL_VARBINARY, 6, -1}},
        {"CONVERT", "SQL_BIGINT", {chr("12")}, {N, SQL_BIGINT, 20, 0}},
        {"CONVERT", "SQL_BIGINT", {dbl(0)}, {N, SQL_BIGINT, 15, 0}},
        {"CONVERT", "SQL_NUMERIC", {chr("1")}, {N, SQL_NUMERIC, 19, 3}},
        {"CONVERT", "SQL_DECIMAL", {num("1.25")}, {N, SQL_DECIMAL, 3, 2}},
        {"CONVERT", "SQL_BIT", {chr("1")}, {I, SQL_BIT, 1, 0}},
        {"CONVERT", "SQL_REAL", {chr("1")}, {D, SQL_REAL, 7, -1}},
        {"CONVERT", "SQL_TYPE_DATE", {ts(2008, 1, 1)}, {ValueType::Date, SQL_TYPE_DATE, 10, -1}},
        {"CONVERT", "SQL_TIME", {chr("10:00:00")}, {ValueType::Time, SQL_TYPE_TIME, 8, -1}},
        {"CONVERT",
         "SQL_TIMESTAMP",
         {time(1, 2, 3)},
         {ValueType::Timestamp, SQL_TYPE_TIMESTAMP, 23, 3}},
    };
    for (const TypeCase& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + c.word);
        const Outcome o = resolveOnly(c.name, c.word, c.args);
        ASSERT_EQ(o.status, 0) << o.argument;
        EXPECT_EQ(o.type, c.expected);
    }
}

TEST(ScalarResolve, DateTypesFollowTheOdbcVersion) {
    EXPECT_EQ(resolveOnly("CURRENT_DATE", "", {}, 2).type.sqlType, SQL_DATE);
    EXPECT_EQ(resolveOnly("CURTIME", "", {}, 2).type.sqlType, SQL_TIME);
    EXPECT_EQ(resolveOnly("CONVERT", "SQL_TYPE_TIMESTAMP", {chr("x")}, 2).type.sqlType,
              SQL_TIMESTAMP);
    EXPECT_EQ(resolveOnly("IFNULL", "", {ts(1, 1, 1), ts(1, 1, 1)}, 2).type.sqlType, SQL_TIMESTAMP);
}

struct ErrorCase {
    const char* name;
    const char* word;
    std::vector<Arg> args;
    MsgNo status;
    const char* argument;
};

// The messages the SQL corpus (tests/sql/scalar_errors.test) cannot reach: types no column has.
TEST(ScalarResolve, CallsThatDoNotResolve) {
    const std::vector<ErrorCase> cases = {
        {"UCASE", "SQL_TSI_DAY", {chr("a")}, 1059, "UCASE"},
        {"UCASE", "", {chr("a"), chr("b")}, 1059, "UCASE"},
        {"LOCATE", "", {chr("a"), chr("b"), parameter()}, 1023, ""},
        {"EXTRACT", "YEAR", {integer(1)}, 1059, "EXTRACT"},
        {"WEEK", "", {binary("x")}, 1059, "WEEK"},
        {"WEEK", "", {typed(Value::ofChar("x"), ValueType::None, 0, 1, -1)}, 1003, "WEEK"},
        {"IFNULL", "", {nullLiteral(), integer(1)}, 1059, "IFNULL"},
        {"IFNULL", "", {binary("x"), chr("x")}, 1059, "IFNULL"},
        {"CONVERT", "SQL_LONGVARBINARY", {chr("x")}, 1003, "SQL_LONGVARBINARY"},
        {"CONVERT", "SQL_CHAR", {chr("x"), chr("y")}, 1059, "CONVERT"},
        {"CONVERT", "SQL_TIME", {date(1, 1, 1)}, 1009, ""},
        {"CONVERT",
         "SQL_CHAR",
         {typed(Value::ofChar("x"), ValueType::Char, 99, 1, -1)},
         1003,
         "CONVERT"},
    };
    for (const ErrorCase& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + c.word);
        const Outcome o = resolveOnly(c.name, c.word, c.args);
        EXPECT_EQ(o.status, c.status);
        if (c.status != 1023 && c.status != 1009) {
            EXPECT_EQ(o.argument, c.argument);
        }
    }
    std::string argument;
    EXPECT_EQ(checkScalarFunctionHead("NoSuch", "", argument), 1058);
    EXPECT_EQ(argument, "NoSuch");
    EXPECT_EQ(checkScalarFunctionHead("EXTRACT", "DAY", argument), 0);
}

}  // namespace
}  // namespace kelvra::test
