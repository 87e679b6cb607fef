// Exact decimal numbers: the value behind every NUMERIC text. Parsing, printing, comparison,
// + - * /, and rounding to a precision and scale (half away from zero). Never goes through a
// binary double, except where a double is asked for.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "resources/messages.h"

namespace kelvra {

// A decimal: (-1)^negative * digits * 10^-scale. `digits` holds the magnitude without leading
// zeros (empty for zero, which is never negative); scale >= 0.
struct Decimal {
    bool negative = false;
    std::string digits;
    int scale = 0;
    friend bool operator==(const Decimal&, const Decimal&) = default;
};

// Values with more digits than this are refused as out of range (a bound on hostile input).
inline constexpr int kMaxDecimalDigits = 400;

// A number text (the shape of scanNumber, exponent allowed): 0, 1012 (not a number) or 1011
// (more than kMaxDecimalDigits digits).
MsgNo parseDecimal(std::string_view text, Decimal& out);
Decimal decimalFromInteger(__int128 value);
// The shortest decimal that reads back as the double (exactNumberText): 0, or 1011 for an
// infinity, a NaN or a value of more than kMaxDecimalDigits digits.
MsgNo decimalFromDouble(double value, Decimal& out);

// "-12.50", "0.05", "7": the plain text with exactly `scale` digits after the point.
std::string decimalText(const Decimal& value);
double decimalToDouble(const Decimal& value);  // infinity beyond the range of a double

// <0, 0, >0 as a is below, equal to or above b.
int compareDecimal(const Decimal& a, const Decimal& b);
Decimal negateDecimal(const Decimal& value);
Decimal addDecimal(const Decimal& a, const Decimal& b);
Decimal subtractDecimal(const Decimal& a, const Decimal& b);
Decimal multiplyDecimal(const Decimal& a, const Decimal& b);
// a / b rounded half away from zero to `scale` digits (at most kMaxDecimalDigits): 0, 1053 (b is
// zero) or 1011 (too many digits).
MsgNo divideDecimal(const Decimal& a, const Decimal& b, int scale, Decimal& out);

// Rounds (half away from zero) or extends the value to `scale` digits after the point (at most
// kMaxDecimalDigits); 1002 when digits other than zero were dropped, else 0.
MsgNo roundDecimal(Decimal& value, int scale);
// roundDecimal to `scale`, then 1011 when more than precision - scale digits remain before the
// point (the value is left unchanged then). precision <= 0 checks no size; scale < 0 keeps the
// value's own scale.
MsgNo fitDecimal(Decimal& value, int precision, int scale);

// value × 10^exponent, exactly (the digits stay, the point moves).
Decimal scaleByPowerOfTen(const Decimal& value, int exponent);

// The integer next to the value in a direction, at scale 0: floor, ceiling or the integer part.
enum class IntegerRounding { Floor, Ceiling, TowardZero };
Decimal roundToInteger(const Decimal& value, IntegerRounding direction);

// The integer part (truncated toward zero) when it has at most 38 digits; `fractionDropped` tells
// whether digits other than zero followed the point. false when it is larger.
bool decimalIntegerPart(const Decimal& value, __int128& out, bool& fractionDropped);

}  // namespace kelvra
