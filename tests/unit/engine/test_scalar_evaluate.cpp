// Evaluation of scalar functions, data-driven: each case is a call and its value or message.
// Dates are checked against the C library's UTC calendar (timegm, gmtime_r, strftime) and case
// folding against its C.UTF-8 locale, not against constants taken from the code.
#include <gtest/gtest.h>
#include <locale.h>

#include <cmath>
#include <cstring>
#include <ctime>
#include <cwctype>
#include <numbers>
#include <thread>

#include "convert/datetime_text.h"
#include "scalar_harness.h"

namespace kelvra::test {
namespace {

Value txt(std::string_view s) {
    return Value::ofChar(s);
}
Value whole(double x) {
    return Value::ofInteger(x);
}
Value real(double x) {
    return Value::ofDouble(x);
}
Value dec(std::string_view s) {
    return Value::ofNumeric(s);
}
Value stamp(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, std::uint32_t ns = 0) {
    return Value::ofTimestamp({std::int16_t(y), std::uint16_t(mo), std::uint16_t(d),
                               std::uint16_t(h), std::uint16_t(mi), std::uint16_t(s), ns});
}

struct Case {
    const char* name;
    const char* word;
    std::vector<Arg> args;
    Value expected;    // when status is 0
    MsgNo status = 0;  // else the message; its argument is the function's name
};

void check(const Case& c, const Outcome& o) {
    SCOPED_TRACE(std::string(c.name) + " " + c.word + " #" + std::to_string(c.args.size()));
    ASSERT_EQ(o.status, c.status) << o.argument;
    if (c.status != 0) {
        EXPECT_EQ(o.argument, c.name);
        return;
    }
    const Value& e = c.expected;
    ASSERT_EQ(o.value.type, e.type);
    ASSERT_EQ(o.value.isNull, e.isNull);
    EXPECT_EQ(o.value.text, e.text);
    EXPECT_EQ(o.value.date, e.date);
    EXPECT_EQ(o.value.time, e.time);
    EXPECT_EQ(o.value.timestamp, e.timestamp);
    if (e.type == ValueType::Double) {
        EXPECT_NEAR(o.value.number, e.number, 1e-12 * std::max(1.0, std::fabs(e.number)));
    } else {
        EXPECT_EQ(o.value.number, e.number);
    }
}

void checkAll(const std::vector<Case>& cases) {
    for (const Case& c : cases) check(c, run(c.name, c.word, c.args));
}

TEST(ScalarText, LengthsAndPositionsCountCharacters) {
    const std::string x200(200, 'x');
    checkAll({
        {"LENGTH", "", {chr("ab  ")}, whole(2)},
        {"CHAR_LENGTH", "", {chr("ab  ")}, whole(4)},
        {"CHARACTER_LENGTH", "", {chr("héllo")}, whole(5)},
        {"OCTET_LENGTH", "", {chr("héllo")}, whole(6)},
        {"BIT_LENGTH", "", {chr("é")}, whole(16)},
        {"LENGTH", "", {chr("")}, whole(0)},
        {"LEFT", "", {chr("abc"), integer(5)}, txt("abc")},
        {"LEFT", "", {chr("ñandú"), integer(2)}, txt("ña")},
        {"LEFT", "", {chr("abc"), integer(-1)}, {}, 1059},
        {"RIGHT", "", {chr("ñandú"), integer(2)}, txt("dú")},
        {"RIGHT", "", {chr("abc"), integer(0)}, txt("")},
        {"RIGHT", "", {chr("abc"), integer(-1)}, {}, 1059},
        {"SUBSTRING", "", {chr("abcdef"), integer(2), integer(3)}, txt("bcd")},
        {"SUBSTRING", "", {chr("日本語テキスト"), integer(2), integer(2)}, txt("本語")},
        {"SUBSTRING", "", {chr("abc"), integer(10), integer(1)}, txt("")},
        {"SUBSTRING", "", {chr("abc"), integer(2), integer(1e300)}, txt("bc")},
        {"SUBSTRING", "", {chr("abc"), integer(0), integer(1)}, {}, 1059},
        {"SUBSTRING", "", {chr("abc"), integer(-1e300), integer(1)}, {}, 1059},
        {"SUBSTRING", "", {chr("abc"), integer(1), integer(-1)}, {}, 1059},
        {"LOCATE", "", {chr("b"), chr("abcb"), integer(3)}, whole(4)},
        {"LOCATE", "", {chr("語"), chr("日本語")}, whole(3)},
        {"LOCATE", "", {chr("abcd"), chr("abc")}, whole(0)},
        {"LOCATE", "", {chr(""), chr("abc"), integer(4)}, whole(0)},
        {"LOCATE", "", {chr("b"), chr("abc"), integer(0)}, {}, 1059},
        {"POSITION", "", {chr("x"), chr("abc")}, whole(0)},
        {"POSITION", "", {chr("ü"), chr("Müller")}, whole(2)},
        {"ASCII", "", {chr("A")}, whole(65)},
        {"ASCII", "", {chr("é")}, whole(233)},
        {"ASCII", "", {chr("\xff")}, whole(255)},
        {"ASCII", "", {chr("")}, whole(0)},
        {"CHAR", "", {integer(65.4)}, txt("A")},
        {"CHAR", "", {integer(0x20AC)}, txt("€")},
        {"CHAR", "", {integer(-1)}, {}, 1059},
        {"CHAR", "", {integer(0xD800)}, {}, 1059},
        {"LTRIM", "", {chr("  a ")}, txt("a ")},
        {"RTRIM", "", {chr("  a ")}, txt("  a")},
        {"RTRIM", "", {chr("   ")}, txt("")},
    });
}

// Results of at most 255 characters: a clear message past that, never a longer text.
TEST(ScalarText, BuiltTextsStayWithinTheirSize) {
    const std::string x200(200, 'x');
    std::string e255;
    for (int i = 0; i < 255; ++i) e255 += "é";
    checkAll({
        {"CONCAT", "", {chr("ab"), chr("cd")}, txt("abcd")},
        {"CONCAT", "", {chr(x200), chr(std::string(56, 'y'))}, {}, 1055},
        {"INSERT", "", {chr("abcdef"), integer(2), integer(3), chr("XY")}, txt("aXYef")},
        {"INSERT", "", {chr("añb"), integer(2), integer(1), chr("n")}, txt("anb")},
        {"INSERT", "", {chr("abc"), integer(3), integer(99), chr("Z")}, txt("abZ")},
        {"INSERT", "", {chr("abc"), integer(4), integer(0), chr("x")}, {}, 1059},
        {"INSERT", "", {chr("abc"), integer(0), integer(1), chr("x")}, {}, 1059},
        {"INSERT", "", {chr("abc"), integer(1), integer(-1), chr("x")}, {}, 1059},
        {"INSERT", "", {chr(x200), integer(1), integer(0), chr(std::string(56, 'y'))}, {}, 1059},
        {"REPEAT", "", {chr("ab"), integer(3)}, txt("ababab")},
        {"REPEAT", "", {chr("é"), integer(255)}, txt(e255)},
        {"REPEAT", "", {chr(""), integer(1e15)}, txt("")},
        {"REPEAT", "", {chr("x"), integer(100000)}, {}, 1059},
        {"REPEAT", "", {chr("xy"), integer(128)}, {}, 1059},
        {"REPEAT", "", {chr("x"), integer(1e300)}, {}, 1059},
        {"REPEAT", "", {chr("x"), integer(-1)}, {}, 1059},
        {"SPACE", "", {integer(3)}, txt("   ")},
        {"SPACE", "", {integer(-5)}, {}, 1059},
        {"SPACE", "", {integer(256)}, {}, 1059},
        {"SPACE", "", {integer(-1e300)}, {}, 1059},
        {"REPLACE", "", {chr("a-b-c"), chr("-"), chr("--")}, txt("a--b--c")},
        {"REPLACE", "", {chr("aab"), chr("ab"), chr("b")}, txt("ab")},
        {"REPLACE", "", {chr("aaa"), chr("a"), chr("")}, txt("")},
        {"REPLACE", "", {chr("abc"), chr("x"), chr("y")}, txt("abc")},
        {"REPLACE", "", {chr("abc"), chr(""), chr("y")}, {}, 1059},
        {"REPLACE", "", {chr(x200), chr("x"), chr("yy")}, {}, 1059},
    });
}

TEST(ScalarText, SoundexAndDifference) {
    checkAll({
        {"SOUNDEX", "", {chr("Robert")}, txt("RABARD")},
        {"SOUNDEX", "", {chr("Lloyd")}, txt("LAD")},
        {"SOUNDEX", "", {chr("1abc")}, txt("ABC")},
        {"SOUNDEX", "", {chr("Éclair")}, txt("ACLAR")},
        {"SOUNDEX", "", {chr("")}, txt("")},
        {"SOUNDEX",
         "",
         {chr(std::string(20, 'b') + "abababababababababababababababab")},
         txt("BABABABABABABABABABABABABABABA")},
        {"DIFFERENCE", "", {chr("a"), chr("a")}, whole(0)},
        {"DIFFERENCE", "", {chr("Robert"), chr("Rupert")}, whole(0)},
        // B - A weighs in the first place; "RD" sorts before "RDC" in the last.
        {"DIFFERENCE", "", {chr("b"), chr("a")}, whole(10000000)},
        {"DIFFERENCE", "", {chr("Robert"), chr("Roberts")}, whole(-1)},
    });
}

// Every two-byte character folds to what the C library's C.UTF-8 locale gives, in the ranges the
// library folds; elsewhere it stays.
TEST(ScalarText, CaseFoldingAgreesWithTheCLibrary) {
    const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{});
    ASSERT_NE(utf8, locale_t{}) << "the C.UTF-8 locale is missing";
    const auto folded = [](char32_t c) {
        return (c >= 0xC0 && c <= 0x17F) || (c >= 0x386 && c <= 0x3CE) ||
               (c >= 0x400 && c <= 0x45F);
    };
    std::string all;
    for (char32_t c = 0x80; c < 0x800; ++c) appendUtf8(all, c);
    for (const bool upper : {true, false}) {
        const Outcome o = run(upper ? "UCASE" : "LCASE", "", {chr("Ab" + all)});
        ASSERT_EQ(o.status, 0);
        std::size_t i = 2;
        EXPECT_EQ(o.value.text.substr(0, 2), upper ? "AB" : "ab");
        for (char32_t c = 0x80; c < 0x800; ++c) {
            const char32_t got = decodeUtf8(o.value.text, i);
            const auto library =
                char32_t(upper ? towupper_l(wint_t(c), utf8) : towlower_l(wint_t(c), utf8));
            const bool twoByte = library >= 0x80 && library < 0x800;
            EXPECT_EQ(got, folded(c) && twoByte ? library : c) << std::hex << unsigned(c);
        }
    }
    freelocale(utf8);
    checkAll({{"UCASE", "", {chr("straße ſ ı")}, txt("STRAßE ſ ı")},
              {"UCASE", "", {chr("a\xC3")}, txt("A\xC3")}});
}

TEST(ScalarNumeric, RoundingKeepsDecimalDigits) {
    checkAll({
        {"ROUND", "", {dbl(2.5), integer(0)}, real(3)},
        {"ROUND", "", {dbl(-2.5), integer(0)}, real(-2)},
        {"ROUND", "", {dbl(1234.5678), integer(-2)}, real(1200)},
        {"ROUND", "", {dbl(1.5), integer(400)}, real(1.5)},
        {"ROUND", "", {dbl(1e300), integer(-400)}, real(0)},
        {"ROUND", "", {integer(15), integer(-1)}, whole(20)},
        {"ROUND", "", {num("-2.5"), integer(0)}, dec("-2.0")},
        {"ROUND", "", {num("2.675"), integer(2)}, dec("2.680")},
        {"ROUND", "", {num("9.5"), integer(0)}, dec("10.0")},
        {"ROUND", "", {num("123.45"), integer(-1)}, dec("120.00")},
        {"TRUNCATE", "", {dbl(-2.7), integer(0)}, real(-2)},
        {"TRUNCATE", "", {num("-2.75"), integer(1)}, dec("-2.70")},
        {"TRUNCATE", "", {integer(1299), integer(-2)}, whole(1200)},
        {"CEILING", "", {num("-1.50")}, dec("-1.00")},
        {"CEILING", "", {num("1.01")}, dec("2.00")},
        {"FLOOR", "", {num("-1.01")}, dec("-2.00")},
        {"FLOOR", "", {dbl(-1.5)}, real(-2)},
        {"CEILING", "", {integer(3)}, whole(3)},
        {"ABS", "", {num("-12.50")}, dec("12.50")},
        {"ABS", "", {integer(-3)}, whole(3)},
        {"SIGN", "", {num("-0.00")}, whole(0)},
        {"SIGN", "", {num("-1.5")}, whole(-1)},
        {"SIGN", "", {dbl(0.1)}, whole(1)},
        {"MOD", "", {integer(-7), integer(2)}, whole(-1)},
        {"MOD", "", {integer(7), integer(-2)}, whole(1)},
        {"MOD", "", {integer(7.9), integer(2)}, whole(1)},
        {"MOD", "", {integer(7), integer(0)}, {}, 1053},
    });
}

// Out of their domain, or beyond a double's range, functions give NULL (never NaN or infinity).
TEST(ScalarNumeric, DomainErrorsAreNull) {
    const Value nullDouble = Value::null(ValueType::Double);
    checkAll({
        {"SQRT", "", {dbl(-1)}, nullDouble},
        {"LOG", "", {dbl(0)}, nullDouble},
        {"LOG10", "", {dbl(-5)}, nullDouble},
        {"ACOS", "", {dbl(2)}, nullDouble},
        {"ASIN", "", {dbl(-1.5)}, nullDouble},
        {"POWER", "", {integer(0), integer(-1)}, nullDouble},
        {"EXP", "", {dbl(1000)}, nullDouble},
        {"DEGREES", "", {dbl(1e307)}, nullDouble},
        {"COT", "", {dbl(0)}, {}, 1053},
        {"SQRT", "", {dbl(16)}, real(4)},
        {"POWER", "", {integer(2), integer(10)}, real(1024)},
        {"POWER", "", {integer(2), integer(-2)}, real(0.25)},
        {"POWER", "", {num("1.5"), integer(2)}, real(2.25)},
        {"LOG10", "", {dbl(1000)}, real(3)},
        {"EXP", "", {dbl(0)}, real(1)},
        {"ATAN2", "", {dbl(1), dbl(1)}, real(std::numbers::pi / 4)},
        {"DEGREES", "", {num("3.141592653589793")}, real(180)},
        {"RADIANS", "", {integer(180)}, real(std::numbers::pi)},
        {"PI", "", {}, real(std::numbers::pi)},
    });
}

std::vector<double> randSequence(RandState& state, double seed, int count) {
    std::vector<double> values;
    FunctionContext context;
    context.rand = &state;
    values.push_back(run("RAND", "", {integer(seed)}, &context).value.number);
    for (int i = 1; i < count; ++i) values.push_back(run("RAND", "", {}, &context).value.number);
    return values;
}

TEST(ScalarNumeric, RandRepeatsItsSequencePerConnection) {
    RandState first, second;
    const std::vector<double> a = randSequence(first, 1, 50);
    // Seed 1 gives the states 1026, 27408 and 29038.
    EXPECT_DOUBLE_EQ(a[0], 29038 / 30323.0 + 1026 / 30269.0 + 27408 / 30307.0 - 1);
    for (double r : a) EXPECT_TRUE(r >= 0 && r < 1) << r;
    EXPECT_EQ(randSequence(second, 1, 50), a);
    // Connections on several threads each keep their own state.
    std::vector<std::vector<double>> results(4);
    std::vector<std::thread> threads;
    for (auto& r : results) {
        threads.emplace_back([&r] {
            RandState state;
            for (int round = 0; round < 200; ++round) r = randSequence(state, 1, 50);
        });
    }
    for (auto& t : threads) t.join();
    for (const auto& r : results) EXPECT_EQ(r, a);
    checkAll({{"RAND", "", {dbl(1e12)}, {}, 1059}});
}

// timegm normalises fields beyond their range the way calendar arithmetic does.
TimestampValue utcNormalised(std::tm fields) {
    const std::time_t t = timegm(&fields);
    std::tm out{};
    gmtime_r(&t, &out);
    return {std::int16_t(out.tm_year + 1900),
            std::uint16_t(out.tm_mon + 1),
            std::uint16_t(out.tm_mday),
            std::uint16_t(out.tm_hour),
            std::uint16_t(out.tm_min),
            std::uint16_t(out.tm_sec),
            0};
}

std::tm fieldsOf(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
    std::tm t{};
    t.tm_year = y - 1900, t.tm_mon = mo - 1, t.tm_mday = d, t.tm_hour = h, t.tm_min = mi,
    t.tm_sec = s;
    return t;
}

TEST(ScalarDateTime, PartsOfDaysAgreeWithTheCalendar) {
    const int dates[][3] = {{2024, 2, 29}, {2023, 12, 31}, {2024, 12, 31}, {2023, 1, 1},
                            {2022, 1, 1},  {2021, 1, 3},   {2000, 3, 1},   {1900, 2, 28},
                            {1970, 1, 1},  {9999, 12, 31}, {1, 1, 1},      {2008, 1, 31}};
    for (const auto& d : dates) {
        std::tm t = fieldsOf(d[0], d[1], d[2]);
        const std::time_t when = timegm(&t);
        gmtime_r(&when, &t);
        char sundayWeek[8];
        std::strftime(sundayWeek, sizeof sundayWeek, "%U", &t);
        const std::tm jan1 = fieldsOf(d[0], 1, 1);
        std::tm j = jan1;
        const std::time_t jan1When = timegm(&j);
        gmtime_r(&jan1When, &j);
        // %U counts the days before the first Sunday as week 0.
        const int week = std::atoi(sundayWeek) + (j.tm_wday == 0 ? 0 : 1);
        for (const Arg& arg :
             {date(d[0], d[1], d[2]), ts(d[0], d[1], d[2], 23, 59, 59),
              chr(dateText({std::int16_t(d[0]), std::uint16_t(d[1]), std::uint16_t(d[2])}))}) {
            SCOPED_TRACE(std::to_string(d[0]) + "-" + std::to_string(d[1]) + "-" +
                         std::to_string(d[2]));
            EXPECT_EQ(run("DAYOFWEEK", "", {arg}).value.number, t.tm_wday + 1);
            EXPECT_EQ(run("DAYOFYEAR", "", {arg}).value.number, t.tm_yday + 1);
            EXPECT_EQ(run("WEEK", "", {arg}).value.number, week);
            EXPECT_EQ(run("QUARTER", "", {arg}).value.number, t.tm_mon / 3 + 1);
        }
    }
    checkAll({
        {"DAYNAME", "", {date(2024, 2, 29)}, txt("Thursday")},
        {"MONTHNAME", "", {chr("2024-02-29")}, txt("February")},
        {"YEAR", "", {chr("2008-01-31 10:00:00")}, whole(2008)},
        {"YEAR", "", {chr("{d '2008-01-31'}")}, whole(2008)},
        {"YEAR", "", {chr("10:00:00")}, {}, 1059},
        {"MONTH", "", {chr("2008-02-30")}, {}, 1059},
        {"DAYOFMONTH", "", {ts(2008, 1, 31, 10)}, whole(31)},
        {"HOUR", "", {chr("10:11:12")}, whole(10)},
        {"MINUTE", "", {ts(2008, 1, 31, 10, 11, 12)}, whole(11)},
        {"SECOND", "", {time(10, 11, 12)}, whole(12)},
        {"EXTRACT", "MINUTE", {time(10, 11, 12)}, whole(11)},
        {"EXTRACT", "HOUR", {date(2008, 1, 31)}, whole(0)},
        {"EXTRACT", "DAY", {chr("2008-01-31 10:11:12")}, whole(31)},
        {"EXTRACT", "YEAR", {time(10, 11, 12)}, {}, 1059},
    });
}

TEST(ScalarDateTime, TimestampAddNormalisesLikeTheCalendar) {
    struct AddCase {
        const char* interval;
        double count;
        std::tm start;
        int field;  // the tm field the count goes to, by interval
        int factor;
    };
    const std::tm jan31 = fieldsOf(2008, 1, 31, 10, 20, 30);
    const std::tm leapDay = fieldsOf(2024, 2, 29);
    const std::tm yearEnd = fieldsOf(2023, 12, 31, 23, 59, 59);
    const std::vector<AddCase> cases = {
        {"SQL_TSI_MONTH", 1, jan31, 4, 1},
        {"SQL_TSI_MONTH", 1, fieldsOf(2007, 1, 31), 4, 1},
        {"SQL_TSI_MONTH", -13, jan31, 4, 1},
        {"SQL_TSI_QUARTER", 1, fieldsOf(2008, 11, 30), 4, 3},
        {"SQL_TSI_YEAR", 1, leapDay, 5, 1},
        {"SQL_TSI_YEAR", -4, leapDay, 5, 1},
        {"SQL_TSI_DAY", 1, fieldsOf(2024, 2, 28), 3, 1},
        {"SQL_TSI_DAY", -366, leapDay, 3, 1},
        {"SQL_TSI_WEEK", -1, fieldsOf(2024, 1, 3), 3, 7},
        {"SQL_TSI_HOUR", 1, yearEnd, 2, 1},
        {"SQL_TSI_MINUTE", -1441, yearEnd, 1, 1},
        {"SQL_TSI_SECOND", 1, yearEnd, 0, 1},
        {"SQL_TSI_SECOND", 86400.0 * 400, yearEnd, 0, 1},
    };
    for (const AddCase& c : cases) {
        std::tm expected = c.start;
        int* fields[] = {&expected.tm_sec,  &expected.tm_min, &expected.tm_hour,
                         &expected.tm_mday, &expected.tm_mon, &expected.tm_year};
        *fields[c.field] += int(c.count) * c.factor;
        const std::tm& s = c.start;
        const Outcome o = run("TIMESTAMPADD", c.interval,
                              {integer(c.count), ts(s.tm_year + 1900, s.tm_mon + 1, s.tm_mday,
                                                    s.tm_hour, s.tm_min, s.tm_sec, 250000000)});
        ASSERT_EQ(o.status, 0) << c.interval << " " << c.count;
        TimestampValue want = utcNormalised(expected);
        want.fraction = 250000000;  // the fraction stays
        EXPECT_EQ(o.value.timestamp, want) << c.interval << " " << c.count;
    }
    checkAll({
        {"TIMESTAMPADD", "SQL_TSI_MONTH", {integer(1), chr("2008-01-31")}, stamp(2008, 3, 2)},
        {"TIMESTAMPADD", "SQL_TSI_DAY", {integer(1), date(2008, 2, 28)}, stamp(2008, 2, 29)},
        {"TIMESTAMPADD", "SQL_TSI_YEAR", {integer(1), date(9999, 6, 1)}, {}, 1059},
        {"TIMESTAMPADD", "SQL_TSI_DAY", {integer(-1), date(0, 1, 1)}, {}, 1059},
        {"TIMESTAMPADD", "SQL_TSI_SECOND", {integer(1e300), date(2000, 1, 1)}, {}, 1059},
        {"TIMESTAMPADD", "SQL_TSI_MONTH", {integer(-1e300), date(2000, 1, 1)}, {}, 1059},
        {"TIMESTAMPADD", "SQL_TSI_DAY", {integer(1), chr("not a date")}, {}, 1059},
    });
}

TEST(ScalarDateTime, TimestampDiffCountsWholeIntervals) {
    const Arg late = ts(2024, 1, 1, 23), early = ts(2024, 1, 2, 1);
    std::tm a = fieldsOf(1, 1, 1), b = fieldsOf(9999, 12, 31);
    const double seconds = double(timegm(&b) - timegm(&a));
    checkAll({
        {"TIMESTAMPDIFF", "SQL_TSI_DAY", {late, early}, whole(0)},
        {"TIMESTAMPDIFF", "SQL_TSI_HOUR", {late, early}, whole(2)},
        {"TIMESTAMPDIFF", "SQL_TSI_MINUTE", {early, late}, whole(-120)},
        {"TIMESTAMPDIFF", "SQL_TSI_WEEK", {date(2024, 1, 1), date(2024, 1, 14)}, whole(1)},
        {"TIMESTAMPDIFF", "SQL_TSI_MONTH", {date(2024, 1, 31), chr("2024-02-01")}, whole(1)},
        {"TIMESTAMPDIFF", "SQL_TSI_QUARTER", {date(2024, 5, 1), date(2024, 1, 1)}, whole(-1)},
        {"TIMESTAMPDIFF", "SQL_TSI_YEAR", {date(2023, 12, 31), date(2024, 1, 1)}, whole(1)},
        {"TIMESTAMPDIFF", "SQL_TSI_SECOND", {date(1, 1, 1), date(9999, 12, 31)}, whole(seconds)},
    });
}

TEST(ScalarDateTime, ClockReadsLocalTime) {
    const char* saved = std::getenv("TZ");
    const std::string previous = saved ? saved : "";
    setenv("TZ", "America/New_York", 1);
    tzset();
    const auto local = [](std::time_t t) {
        std::tm tm{};
        localtime_r(&t, &tm);
        return TimestampValue{std::int16_t(tm.tm_year + 1900),
                              std::uint16_t(tm.tm_mon + 1),
                              std::uint16_t(tm.tm_mday),
                              std::uint16_t(tm.tm_hour),
                              std::uint16_t(tm.tm_min),
                              std::uint16_t(tm.tm_sec),
                              0};
    };
    const TimestampValue before = local(std::time(nullptr));
    const Outcome now = run("NOW", "", {});
    const Outcome today = run("CURDATE", "", {});
    const Outcome clock = run("CURRENT_TIME", "", {integer(3)});
    const TimestampValue after = local(std::time(nullptr));
    saved ? setenv("TZ", previous.c_str(), 1) : unsetenv("TZ");
    tzset();
    const auto key = [](const TimestampValue& t) {
        return std::make_tuple(t.year, t.month, t.day, t.hour, t.minute, t.second);
    };
    EXPECT_LE(key(before), key(now.value.timestamp));
    EXPECT_LE(key(now.value.timestamp), key(after));
    EXPECT_EQ(now.value.timestamp.fraction, 0u);
    EXPECT_LE(key(toTimestamp(datePart(before))), key(toTimestamp(today.value.date)));
    EXPECT_LE(key(toTimestamp(today.value.date)), key(toTimestamp(datePart(after))));
    if (datePart(before) == datePart(after)) {
        EXPECT_LE(key(before), key(toTimestamp(datePart(before), clock.value.time)));
        EXPECT_LE(key(toTimestamp(datePart(after), clock.value.time)), key(after));
    }
}

TEST(ScalarConversion, IfnullCopiesIntoTheUnionType) {
    checkAll({
        {"IFNULL", "", {nul(fixedChr("", 5)), fixedChr("ab", 5)}, txt("ab   ")},
        {"IFNULL", "", {nul(fixedChr("", 5)), chr("x")}, txt("x")},
        {"IFNULL", "", {fixedChr("ñ", 3), fixedChr("", 3)}, txt("ñ  ")},
        {"IFNULL", "", {nul(integer(0)), num("1.5")}, dec("1.5")},
        {"IFNULL", "", {integer(3), num("1.25")}, dec("3.00")},
        {"IFNULL", "", {nul(num("1.5")), dbl(2.5)}, real(2.5)},
        {"IFNULL", "", {num("1.5"), dbl(2.5)}, real(1.5)},
        {"IFNULL", "", {nul(date(1, 1, 1)), date(2008, 1, 31)}, Value::ofDate({2008, 1, 31})},
        {"IFNULL", "", {nul(chr("a")), nul(chr("b"))}, Value::null(ValueType::Char)},
    });
}

TEST(ScalarConversion, ConvertFollowsTheConversionRules) {
    std::string smallint(2, '\0');
    const std::int16_t v258 = 258;
    std::memcpy(smallint.data(), &v258, 2);
    const DateValue leap{2024, 2, 29};
    std::string dateBytes(sizeof leap, '\0');
    std::memcpy(dateBytes.data(), &leap, sizeof leap);
    checkAll({
        {"CONVERT", "SQL_CHAR", {integer(42)}, txt("42")},
        {"CONVERT", "SQL_VARCHAR", {dbl(12.5)}, txt("12.5")},
        {"CONVERT", "SQL_VARCHAR", {dbl(1e-7)}, txt("1.000000E-07")},
        {"CONVERT", "SQL_CHAR", {integer(1e20)}, {}, 1009},
        {"CONVERT", "SQL_CHAR", {date(2024, 2, 29)}, txt("2024-02-29")},
        {"CONVERT",
         "SQL_VARCHAR",
         {ts(2024, 2, 29, 13, 5, 9, 123456789)},
         txt("2024-02-29 13:05:09.123")},
        {"CONVERT", "SQL_CHAR", {num("-12.50")}, txt("-12.50")},
        {"CONVERT", "SQL_VARCHAR", {fixedChr("ab   ", 5)}, txt("ab")},
        {"CONVERT", "SQL_CHAR", {fixedChr("ab   ", 5)}, txt("ab   ")},
        {"CONVERT", "SQL_INTEGER", {chr("12.7")}, whole(12)},
        {"CONVERT", "SQL_SMALLINT", {num("-12.7")}, whole(-12)},
        {"CONVERT", "SQL_TINYINT", {chr("300")}, {}, 1009},
        {"CONVERT", "SQL_BIT", {integer(1)}, whole(1)},
        {"CONVERT", "SQL_BIT", {integer(2)}, {}, 1009},
        {"CONVERT", "SQL_INTEGER", {chr("abc")}, {}, 1009},
        {"CONVERT", "SQL_NUMERIC", {chr("12.3456")}, dec("12.346")},
        {"CONVERT", "SQL_DECIMAL", {dbl(1.5)}, dec("1.500")},
        {"CONVERT", "SQL_DECIMAL", {num("12.5")}, dec("12.5")},
        {"CONVERT", "SQL_BIGINT", {chr("-12.9")}, dec("-12")},
        {"CONVERT", "SQL_BIGINT", {chr("9223372036854775808")}, {}, 1009},
        {"CONVERT", "SQL_DOUBLE", {num("0.1")}, real(0.1)},
        {"CONVERT", "SQL_REAL", {dbl(0.1)}, real(double(0.1f))},
        {"CONVERT", "SQL_REAL", {dbl(1e300)}, {}, 1009},
        {"CONVERT", "SQL_DATE", {chr("2024-02-29")}, Value::ofDate(leap)},
        {"CONVERT", "SQL_DATE", {chr("2023-02-29")}, {}, 1009},
        {"CONVERT", "SQL_DATE", {ts(2024, 2, 29, 13)}, Value::ofDate(leap)},
        {"CONVERT", "SQL_TIME", {ts(2024, 2, 29, 13, 5, 9)}, Value::ofTime({13, 5, 9})},
        {"CONVERT", "SQL_TIMESTAMP", {date(2024, 2, 29)}, stamp(2024, 2, 29)},
        {"CONVERT", "SQL_BINARY", {integer(258, SQL_SMALLINT)}, Value::ofBinary(smallint)},
        {"CONVERT", "SQL_BINARY", {date(2024, 2, 29)}, Value::ofBinary(dateBytes)},
        {"CONVERT", "SQL_DATE", {binary(dateBytes)}, Value::ofDate(leap)},
        {"CONVERT", "SQL_DATE", {binary("xy")}, {}, 1009},
        {"CONVERT", "SQL_INTEGER", {nul(chr(""))}, Value::null(ValueType::Integer)},
    });
}

TEST(ScalarSystem, ConnectionValues) {
    RandState rand;
    const std::string longName(200, 'd');
    FunctionContext context{longName, "Dana Reyes", 4711, "Invalid ticket", &rand};
    EXPECT_EQ(run("DATABASE", "", {}, &context).value.text, std::string(127, 'd'));
    EXPECT_EQ(run("USER", "", {}, &context).value.text, "Dana Reyes");
    EXPECT_EQ(run("IDENTITY", "", {}, &context).value, Value::ofInteger(4711));
    EXPECT_EQ(run("LASTERROR", "", {}, &context).value.text, "Invalid ticket");
    context.identity.reset();
    EXPECT_TRUE(run("IDENTITY", "", {}, &context).value.isNull);
}

// NULL arguments make NULL results; arguments that do not match the resolved call are refused.
TEST(ScalarEvaluate, NullArgumentsAndMismatchedCalls) {
    checkAll({
        {"CONCAT", "", {chr("a"), nul(chr("b"))}, Value::null(ValueType::Char)},
        {"MOD", "", {nul(integer(1)), integer(0)}, Value::null(ValueType::Integer)},
        {"TIMESTAMPADD",
         "SQL_TSI_DAY",
         {integer(1), nul(ts(1, 1, 1))},
         Value::null(ValueType::Timestamp)},
    });
    std::vector<ScalarArgument> types = {{{ValueType::Char, SQL_VARCHAR, 3, -1}}};
    ScalarCall call;
    TypeDesc result;
    std::string argument;
    ASSERT_EQ(resolveScalarFunction("UCASE", "", types, 3, call, result, argument), 0);
    RandState rand;
    FunctionContext context;
    context.rand = &rand;
    Value number = Value::ofInteger(1), out;
    const Value* wrong[] = {&number};
    EXPECT_EQ(evaluateScalarFunction(call, result, wrong, context, out, argument), 1019);
    EXPECT_EQ(evaluateScalarFunction(call, result, {}, context, out, argument), 1019);
    const Value* self[] = {&out};
    EXPECT_EQ(evaluateScalarFunction(call, result, self, context, out, argument), 1019);
    EXPECT_EQ(evaluateScalarFunction(ScalarCall{}, result, {}, context, out, argument), 1019);
}

}  // namespace
}  // namespace kelvra::test
