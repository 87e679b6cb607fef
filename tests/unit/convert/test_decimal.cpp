#include <gtest/gtest.h>

#include <random>
#include <string>

#include "convert/decimal.h"
#include "convert/numeric_text.h"
#include "int128_text.h"

namespace kelvra {
namespace {

// Exact reference: a decimal as a scaled 128-bit integer.
std::string scaledText(__int128 value, int scale) {
    const bool negative = value < 0;
    std::string digits = int128Text(negative ? -value : value);
    if (scale > 0) {
        if (digits.size() <= std::size_t(scale))
            digits.insert(0, std::size_t(scale) + 1 - digits.size(), '0');
        digits.insert(digits.size() - std::size_t(scale), 1, '.');
    }
    return negative && value != 0 ? "-" + digits : digits;
}

__int128 pow10(int n) {
    __int128 p = 1;
    while (n-- > 0) p *= 10;
    return p;
}

// Division of integers rounded half away from zero.
__int128 roundedQuotient(__int128 a, __int128 b) {
    const bool negative = (a < 0) != (b < 0);
    const __int128 ma = a < 0 ? -a : a;
    const __int128 mb = b < 0 ? -b : b;
    const __int128 q = (2 * ma + mb) / (2 * mb);
    return negative ? -q : q;
}

TEST(Decimal, ParsesAndPrintsThePlainForm) {
    Decimal d;
    ASSERT_EQ(parseDecimal(" -0012.500 ", d), kMsgNone);
    EXPECT_EQ(decimalText(d), "-12.500");
    ASSERT_EQ(parseDecimal("1.5E3", d), kMsgNone);
    EXPECT_EQ(decimalText(d), "1500");
    ASSERT_EQ(parseDecimal("25e-4", d), kMsgNone);
    EXPECT_EQ(decimalText(d), "0.0025");
    ASSERT_EQ(parseDecimal("-0.000", d), kMsgNone);
    EXPECT_EQ(decimalText(d), "0.000");  // zero is never negative
    ASSERT_EQ(parseDecimal(".5", d), kMsgNone);
    EXPECT_EQ(decimalText(d), "0.5");
    for (const char* bad : {"", " ", "-", ".", "1.2.3", "12x", "1e", "1e+", "--1", "0x10", "inf"}) {
        EXPECT_EQ(parseDecimal(bad, d), kMsgAssignmentError) << bad;
    }
    EXPECT_EQ(parseDecimal("1e500", d), kMsgOutOfRange);
    EXPECT_EQ(parseDecimal("1e99999999999", d), kMsgOutOfRange);  // the exponent saturates
    ASSERT_EQ(parseDecimal("1e-99999999999", d), kMsgNone);       // so small it is zero
    EXPECT_TRUE(d.digits.empty());
}

TEST(Decimal, IntegersAndDoublesConvertExactly) {
    EXPECT_EQ(decimalText(decimalFromInteger(INT64_MIN)), "-9223372036854775808");
    EXPECT_EQ(decimalText(decimalFromInteger(__int128(UINT64_MAX))), "18446744073709551615");
    Decimal d;
    ASSERT_EQ(decimalFromDouble(12.5, d), kMsgNone);
    EXPECT_EQ(decimalText(d), "12.5");
    ASSERT_EQ(decimalFromDouble(1e-7, d), kMsgNone);
    EXPECT_EQ(decimalText(d), "0.0000001");
    EXPECT_EQ(decimalFromDouble(1.0 / 0.0, d), kMsgOutOfRange);
}

TEST(Decimal, RoundsHalfAwayFromZeroAndReportsLostDigits) {
    struct Case {
        const char* in;
        int scale;
        const char* out;
        MsgNo status;
    } cases[] = {
        {"2.345", 2, "2.35", kMsgTruncated},   {"-2.345", 2, "-2.35", kMsgTruncated},
        {"2.344", 2, "2.34", kMsgTruncated},   {"9.995", 2, "10.00", kMsgTruncated},
        {"-0.004", 2, "0.00", kMsgTruncated},  {"0.5", 0, "1", kMsgTruncated},
        {"1.2300", 2, "1.23", kMsgNone},       {"7", 3, "7.000", kMsgNone},
        {"0.0005", 3, "0.001", kMsgTruncated}, {"0.00049", 3, "0.000", kMsgTruncated},
    };
    for (const Case& c : cases) {
        std::string out;
        EXPECT_EQ(formatNumericText(c.in, 0, c.scale, out), c.status) << c.in;
        EXPECT_EQ(out, c.out) << c.in;
    }
}

TEST(Decimal, FormatterChecksPrecision) {
    std::string out = "untouched";
    EXPECT_EQ(formatNumericText("123.45", 5, 2, out), kMsgNone);
    EXPECT_EQ(out, "123.45");
    EXPECT_EQ(formatNumericText("1234.5", 5, 2, out), kMsgOutOfRange);
    EXPECT_EQ(out, "123.45");                                            // unchanged on failure
    EXPECT_EQ(formatNumericText("999.996", 5, 2, out), kMsgOutOfRange);  // rounds to 1000.00
    EXPECT_EQ(formatNumericText("-999.994", 5, 2, out), kMsgTruncated);
    EXPECT_EQ(out, "-999.99");
    EXPECT_EQ(formatNumericText("12.5", 19, -1, out), kMsgNone);  // own scale
    EXPECT_EQ(out, "12.5");
    EXPECT_EQ(formatNumericText("abc", 5, 2, out), kMsgMalformedNumber);
    // A scale from a hostile schema is bounded, not a gigabyte of zeros.
    ASSERT_EQ(formatNumericText("1.5", 0, 2000000000, out), kMsgNone);
    EXPECT_EQ(out.size(), 2u + kMaxDecimalDigits);
}

TEST(Decimal, CompareOrdersBySignAndMagnitude) {
    int order = 99;
    ASSERT_EQ(numericCompare("1.50", "1.5", order), kMsgNone);
    EXPECT_EQ(order, 0);
    ASSERT_EQ(numericCompare("-2", "1", order), kMsgNone);
    EXPECT_LT(order, 0);
    ASSERT_EQ(numericCompare("-2", "-10", order), kMsgNone);
    EXPECT_GT(order, 0);
    ASSERT_EQ(numericCompare("0.001", "0", order), kMsgNone);
    EXPECT_GT(order, 0);
    ASSERT_EQ(numericCompare("-0", "0.00", order), kMsgNone);
    EXPECT_EQ(order, 0);
    EXPECT_EQ(numericCompare("1", "x", order), kMsgMalformedNumber);
}

TEST(Decimal, DivisionByZeroAndNegation) {
    std::string out;
    EXPECT_EQ(numericArithmetic("1", NumericOp::Divide, "0.00", 10, 2, out), kMsgDivisionByZero);
    ASSERT_EQ(numericArithmetic("2", NumericOp::Divide, "3", 10, 4, out), kMsgNone);
    EXPECT_EQ(out, "0.6667");
    ASSERT_EQ(numericArithmetic("-2", NumericOp::Divide, "3", 10, -1, out), kMsgNone);
    EXPECT_EQ(out, "-1");  // the scale of a division without one is the operands' scales' sum
    ASSERT_EQ(numericNegate("-0.50", out), kMsgNone);
    EXPECT_EQ(out, "0.50");
    ASSERT_EQ(numericNegate("0", out), kMsgNone);
    EXPECT_EQ(out, "0");
    ASSERT_EQ(numericArithmetic("99999999999999999.99", NumericOp::Add, "0.01", 19, 2, out),
              kMsgOutOfRange);
}

// Every operation against scaled 128-bit integer arithmetic, over operands of up to 18 digits
// with scales 0..6 and both signs.
TEST(Decimal, ArithmeticMatchesExactIntegerArithmetic) {
    std::mt19937_64 random(20240229);
    std::uniform_int_distribution<int> scaleOf(0, 6);
    std::uniform_int_distribution<int> digitsOf(1, 18);
    const auto operand = [&](int& scale) {
        scale = scaleOf(random);
        const int digits = digitsOf(random);
        __int128 v = __int128(random() % std::uint64_t(pow10(digits)));
        if (random() % 5 == 0) v = pow10(digits) - 1;  // all nines: carries everywhere
        return random() % 2 ? -v : v;
    };
    for (int i = 0; i < 20000; ++i) {
        int sa, sb;
        const __int128 a = operand(sa);
        const __int128 b = operand(sb);
        const std::string ta = scaledText(a, sa);
        const std::string tb = scaledText(b, sb);
        const int s = std::max(sa, sb);
        const __int128 aa = a * pow10(s - sa);
        const __int128 bb = b * pow10(s - sb);
        std::string out;

        ASSERT_EQ(numericArithmetic(ta, NumericOp::Add, tb, 0, s, out), kMsgNone);
        ASSERT_EQ(out, scaledText(aa + bb, s)) << ta << " + " << tb;
        ASSERT_EQ(numericArithmetic(ta, NumericOp::Subtract, tb, 0, s, out), kMsgNone);
        ASSERT_EQ(out, scaledText(aa - bb, s)) << ta << " - " << tb;
        ASSERT_EQ(numericArithmetic(ta, NumericOp::Multiply, tb, 0, sa + sb, out), kMsgNone);
        ASSERT_EQ(out, scaledText(a * b, sa + sb)) << ta << " * " << tb;

        // A product reduced to a smaller scale rounds half away from zero.
        const int reduced = (sa + sb) / 2;
        const MsgNo status = numericArithmetic(ta, NumericOp::Multiply, tb, 0, reduced, out);
        const __int128 expected = roundedQuotient(a * b, pow10(sa + sb - reduced));
        ASSERT_EQ(out, scaledText(expected, reduced)) << ta << " * " << tb << " at " << reduced;
        ASSERT_EQ(status, expected * pow10(sa + sb - reduced) == a * b ? kMsgNone : kMsgTruncated);

        int order;
        ASSERT_EQ(numericCompare(ta, tb, order), kMsgNone);
        ASSERT_EQ(order < 0 ? -1 : order > 0, aa < bb ? -1 : aa > bb) << ta << " <> " << tb;

        if (b != 0) {
            const int qs = scaleOf(random);
            // a / b at scale qs = (a * 10^(sb + qs - sa)) / b, rounded.
            ASSERT_EQ(numericArithmetic(ta, NumericOp::Divide, tb, 0, qs, out), kMsgNone);
            const int shift = sb + qs - sa;
            const __int128 q = shift >= 0 ? roundedQuotient(a * pow10(shift), b)
                                          : roundedQuotient(a, b * pow10(-shift));
            ASSERT_EQ(out, scaledText(q, qs)) << ta << " / " << tb << " at " << qs;
        }
    }
}

TEST(Decimal, PrecisionLimitsOfResults) {
    std::string out;
    // 19 digits fit NUMERIC(19,0); one more is out of range.
    ASSERT_EQ(numericArithmetic("9999999999999999998", NumericOp::Add, "1", 19, 0, out), kMsgNone);
    EXPECT_EQ(out, "9999999999999999999");
    EXPECT_EQ(numericArithmetic("9999999999999999999", NumericOp::Add, "1", 19, 0, out),
              kMsgOutOfRange);
    ASSERT_EQ(numericArithmetic("-9999999999999999999", NumericOp::Multiply, "9999999999999999999",
                                0, 0, out),
              kMsgNone);
    EXPECT_EQ(out, "-99999999999999999980000000000000000001");
}

}  // namespace
}  // namespace kelvra
