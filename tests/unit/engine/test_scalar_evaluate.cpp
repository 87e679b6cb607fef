// Evaluation of scalar functions where SQL cannot reach easily: hostile argument values (the
// SQL corpus under tests/sql checks the ordinary results), case folding of every two-byte
// character against the C library's C.UTF-8 locale, RAND's state on several threads, and
// arguments that do not match the resolved call.
#include <gtest/gtest.h>
#include <locale.h>

#include <cmath>
#include <cwctype>
#include <thread>

#include "scalar_harness.h"

namespace kelvra::test {
namespace {

struct Case {
    const char* name;
    const char* word;
    std::vector<Arg> args;
    Value expected;    // when status is 0
    MsgNo status = 0;  // else the message; its argument is the function's name
};

void checkAll(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + c.word);
        const Outcome o = run(c.name, c.word, c.args);
        ASSERT_EQ(o.status, c.status) << o.argument;
        if (c.status != 0) {
            EXPECT_EQ(o.argument, c.name);
        } else {
            EXPECT_EQ(o.value, c.expected);
        }
    }
}

// Counts and positions far beyond any text, and results that would pass 255 characters or the
// calendar's years: a clear result or message, never a longer text or a wrapped number.
TEST(ScalarEvaluate, HostileArgumentValues) {
    const std::string x200(200, 'x');
    std::string e255;
    for (int i = 0; i < 255; ++i) e255 += "é";
    const Value nullDouble = Value::null(ValueType::Double);
    checkAll({
        {"SUBSTRING", "", {chr("abc"), integer(2), integer(1e300)}, Value::ofChar("bc")},
        {"SUBSTRING", "", {chr("abc"), integer(-1e300), integer(1)}, {}, 1059},
        {"LEFT", "", {chr("ñandú"), integer(1e19)}, Value::ofChar("ñandú")},
        {"RIGHT", "", {chr("ñandú"), integer(-1e19)}, {}, 1059},
        {"LOCATE", "", {chr("a"), chr("abc"), integer(1e300)}, Value::ofInteger(0)},
        {"INSERT", "", {chr("abc"), integer(3), integer(1e300), chr("Z")}, Value::ofChar("abZ")},
        {"INSERT", "", {chr(x200), integer(1), integer(0), chr(std::string(56, 'y'))}, {}, 1059},
        {"REPEAT", "", {chr("é"), integer(255)}, Value::ofChar(e255)},
        {"REPEAT", "", {chr(""), integer(1e15)}, Value::ofChar("")},
        {"REPEAT", "", {chr("xy"), integer(128)}, {}, 1059},
        {"REPEAT", "", {chr("x"), integer(1e300)}, {}, 1059},
        {"SPACE", "", {integer(-1e300)}, {}, 1059},
        {"REPLACE", "", {chr(x200), chr("x"), chr("yy")}, {}, 1059},
        {"CONCAT", "", {chr(x200), chr(std::string(56, 'y'))}, {}, 1055},
        {"CHAR", "", {integer(0xD800)}, {}, 1059},
        {"CHAR", "", {integer(1e300)}, {}, 1059},
        {"ROUND", "", {dbl(1.5), integer(400)}, Value::ofDouble(1.5)},
        {"ROUND", "", {dbl(1e300), integer(-400)}, Value::ofDouble(0)},
        {"TRUNCATE", "", {dbl(-1e308), integer(1e300)}, Value::ofDouble(-1e308)},
        {"ROUND", "", {num("2.5"), integer(-1e300)}, Value::ofNumeric("0.0")},
        {"EXP", "", {dbl(1000)}, nullDouble},
        {"DEGREES", "", {dbl(1e307)}, nullDouble},
        {"POWER", "", {dbl(10), integer(1e300)}, nullDouble},
        {"MOD", "", {integer(-9.3e18), integer(7)}, Value::ofInteger(std::fmod(-9.3e18, 7))},
        {"RAND", "", {dbl(1e12)}, {}, 1059},
        {"TIMESTAMPADD", "SQL_TSI_SECOND", {integer(1e300), date(2000, 1, 1)}, {}, 1059},
        {"TIMESTAMPADD", "SQL_TSI_MONTH", {integer(-1e300), date(2000, 1, 1)}, {}, 1059},
        {"TIMESTAMPADD", "SQL_TSI_WEEK", {integer(-1e12), date(9999, 12, 31)}, {}, 1059},
        {"TIMESTAMPADD", "SQL_TSI_DAY", {integer(-1), date(0, 1, 1)}, {}, 1059},
        {"TIMESTAMPDIFF",
         "SQL_TSI_SECOND",
         {date(0, 1, 1), date(9999, 12, 31)},
         Value::ofInteger(315569433600.0)},
        {"CONVERT", "SQL_CHAR", {integer(1e20)}, {}, 1009},
        {"CONVERT", "SQL_REAL", {dbl(1e300)}, {}, 1009},
        {"CONVERT", "SQL_BIGINT", {chr("9223372036854775808")}, {}, 1009},
    });
}

// Every two-byte character folds to what the C library's C.UTF-8 locale gives, in the ranges the
// library folds (when the partner is a two-byte character too); elsewhere it stays.
TEST(ScalarEvaluate, CaseFoldingAgreesWithTheCLibrary) {
    const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{});
    ASSERT_NE(utf8, locale_t{}) << "the C.UTF-8 locale is missing";
    const auto folded = [](char32_t c) {
        return (c >= 0xC0 && c <= 0x17F) || (c >= 0x386 && c <= 0x3CE) ||
               (c >= 0x400 && c <= 0x45F);
    };
    std::string all;
    for (char32_t c = 0x80; c < 0x800; ++c) appendUtf8(all, c);
    for (const bool upper : {true, false}) {
        const Outcome o = run(upper ? "UCASE" : "LCASE", "", {chr("Ab" + all + "\xC3")});
        ASSERT_EQ(o.status, 0);
        EXPECT_EQ(o.value.text.substr(0, 2), upper ? "AB" : "ab");
        EXPECT_EQ(o.value.text.back(), '\xC3');  // a cut character stays as it is
        std::size_t i = 2;
        for (char32_t c = 0x80; c < 0x800; ++c) {
            const char32_t got = decodeUtf8(o.value.text, i);
            const auto library =
                char32_t(upper ? towupper_l(wint_t(c), utf8) : towlower_l(wint_t(c), utf8));
            const bool twoByte = library >= 0x80 && library < 0x800;
            EXPECT_EQ(got, folded(c) && twoByte ? library : c) << std::hex << unsigned(c);
        }
    }
    freelocale(utf8);
}

std::vector<double> randSequence(RandState& state, int count) {
    FunctionContext context;
    context.rand = &state;
    std::vector<double> values{run("RAND", "", {integer(1)}, &context).value.number};
    for (int i = 1; i < count; ++i) values.push_back(run("RAND", "", {}, &context).value.number);
    return values;
}

// Each connection keeps its own generator: connections on several threads repeat the sequence
// of one alone.
TEST(ScalarEvaluate, RandStateIsPerConnection) {
    RandState alone;
    const std::vector<double> expected = randSequence(alone, 50);
    // Seed 1 gives the states 1026, 27408 and 29038.
    EXPECT_DOUBLE_EQ(expected[0], 29038 / 30323.0 + 1026 / 30269.0 + 27408 / 30307.0 - 1);
    for (double r : expected) EXPECT_TRUE(r >= 0 && r < 1) << r;
    std::vector<std::vector<double>> results(4);
    std::vector<std::thread> threads;
    for (auto& r : results) {
        threads.emplace_back([&r] {
            RandState state;
            for (int round = 0; round < 200; ++round) r = randSequence(state, 50);
        });
    }
    for (auto& t : threads) t.join();
    for (const auto& r : results) EXPECT_EQ(r, expected);
}

TEST(ScalarEvaluate, ArgumentsThatDoNotMatchTheCallAreRefused) {
    std::vector<ScalarArgument> types = {{{ValueType::Char, SQL_VARCHAR, 3, -1}}};
    ScalarCall call;
    TypeDesc result;
    std::string argument;
    ASSERT_EQ(resolveScalarFunction("UCASE", "", types, 3, call, result, argument), 0);
    RandState rand;
    FunctionContext context;
    context.rand = &rand;
    Value number = Value::ofInteger(1), out;
    const Value* wrongType[] = {&number};
    const Value* itself[] = {&out};
    EXPECT_EQ(evaluateScalarFunction(call, result, wrongType, context, out, argument), 1019);
    EXPECT_EQ(evaluateScalarFunction(call, result, {}, context, out, argument), 1019);
    EXPECT_EQ(evaluateScalarFunction(call, result, itself, context, out, argument), 1019);
    EXPECT_EQ(evaluateScalarFunction(ScalarCall{}, result, {}, context, out, argument), 1019);
    ASSERT_EQ(resolveScalarFunction("RAND", "", {}, 3, call, result, argument), 0);
    context.rand = nullptr;
    EXPECT_EQ(evaluateScalarFunction(call, result, {}, context, out, argument), 1019);
}

}  // namespace
}  // namespace kelvra::test
