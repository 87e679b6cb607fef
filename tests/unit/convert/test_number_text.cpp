#include <gtest/gtest.h>

#include <cfloat>

#include "convert/number_text.h"
#include "convert/value.h"
#include "convert/value_text.h"

namespace kelvra {
namespace {

TEST(NumberText, CutsTrailingZerosOfTheFixedForm) {
    EXPECT_EQ(numberText(12.5), "12.5");
    EXPECT_EQ(numberText(3.0), "3");
    EXPECT_EQ(numberText(-0.25), "-0.25");
    EXPECT_EQ(numberText(0.0), "0");
    EXPECT_EQ(numberText(100.0), "100");  // zeros before the point stay
    EXPECT_EQ(numberText(1234567.1234564), "1234567.123456");
}

TEST(NumberText, FallsBackToTheExponentForm) {
    EXPECT_EQ(numberText(1e-7), "1.000000E-07");  // the fixed form would read "0"
    EXPECT_EQ(numberText(-1e-7), "-1.000000E-07");
    EXPECT_EQ(numberText(123456789.0, 8), "1.234568E+08");  // too long for 8 characters
    EXPECT_EQ(numberText(123456789.0, 9), "123456789");
    EXPECT_EQ(numberText(1e300).size(), 301u);  // without a limit the fixed form stays
}

// The exact form reads back as the same double, in plain decimals whatever the magnitude.
TEST(NumberText, ExactFormRoundTrips) {
    EXPECT_EQ(exactNumberText(0.1), "0.1");
    EXPECT_EQ(exactNumberText(-2.5), "-2.5");
    EXPECT_EQ(exactNumberText(-0.0), "0");
    EXPECT_EQ(exactNumberText(1e21), "1000000000000000000000");
    for (double v :
         {1.0 / 3, 2.0 / 3e-9, 1.7976931348623157e308, 4.9406564584124654e-324, -123456.789e-200}) {
        const std::string text = exactNumberText(v);
        EXPECT_EQ(text.find_first_of("eE"), std::string::npos) << text;
        double back = 0;
        ASSERT_EQ(parseNumber(text, back), kMsgNone) << text;
        EXPECT_EQ(back, v) << text;
    }
}

TEST(NumberText, ParsesTheNumberSyntax) {
    double v = 0;
    ASSERT_EQ(parseNumber(" -12.75 ", v), kMsgNone);
    EXPECT_EQ(v, -12.75);
    ASSERT_EQ(parseNumber("+1.5e2", v), kMsgNone);
    EXPECT_EQ(v, 150.0);
    ASSERT_EQ(parseNumber("2E-3", v), kMsgNone);
    EXPECT_EQ(v, 0.002);
    ASSERT_EQ(parseNumber("5.", v), kMsgNone);
    EXPECT_EQ(v, 5.0);
    ASSERT_EQ(parseNumber("1.7E308", v), kMsgNone);
    EXPECT_EQ(v, 1.7e308);
    ASSERT_EQ(parseNumber("\t.5", v), kMsgNone);
    EXPECT_EQ(v, 0.5);
    ASSERT_EQ(parseNumber("1e-400", v), kMsgNone);  // below the smallest double: 0
    EXPECT_EQ(v, 0.0);
    v = 42;
    for (const char* bad :
         {"12x", "1..2", "1.2.3", "1e", "e5", "", "+", "nan", "inf", "0x1p3", "1 2"}) {
        EXPECT_EQ(parseNumber(bad, v), kMsgAssignmentError) << bad;
    }
    EXPECT_EQ(v, 42);  // untouched by failures
    EXPECT_EQ(parseNumber("1.8E308", v), kMsgOutOfRange);
    EXPECT_EQ(parseNumber("-1e99999", v), kMsgOutOfRange);
}

TEST(ValueText, EachTypeAsQuickBaseReceivesIt) {
    EXPECT_EQ(valueToText(Value::ofChar("it's")), "it's");
    EXPECT_EQ(valueToText(Value::ofNumeric("-12.50")), "-12.50");
    EXPECT_EQ(valueToText(Value::ofInteger(1234567890123.0)), "1234567890123");
    EXPECT_EQ(valueToText(Value::ofInteger(-0.0)), "0");
    EXPECT_EQ(valueToText(Value::ofDouble(2.5)), "2.5");
    EXPECT_EQ(valueToText(Value::ofDouble(1e-7)), "0.0000001");
    EXPECT_EQ(valueToText(Value::ofDouble(0.123456789)), "0.123456789");  // not cut to 6 places
    EXPECT_EQ(valueToText(Value::ofDate({2001, 7, 4})), "2001-07-04");
    EXPECT_EQ(valueToText(Value::ofTime({9, 5, 0})), "09:05:00");
    EXPECT_EQ(valueToText(Value::ofTimestamp({2024, 2, 29, 13, 5, 9, 123456789})),
              "2024-02-29 13:05:09.123");
    EXPECT_EQ(valueToText(Value::ofBinary(std::string_view("a\0b", 3))), std::string("a\0b", 3));
    EXPECT_EQ(valueToText(Value::null(ValueType::Integer)), "");
}

}  // namespace
}  // namespace kelvra
