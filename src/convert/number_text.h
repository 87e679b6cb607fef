// Numbers as text: the shape of a number text (shared by the double parser and the exact decimal
// parser), the double parser, and the text form of a double.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "resources/messages.h"

namespace kelvra {

// A number text taken apart: blanks around it, one optional sign, digits with at most one
// point (at least one digit in all), then an optional exponent "E"/"e" with an optional sign and
// digits. The views point into the scanned text.
struct NumberSyntax {
    bool negative = false;
    std::string_view integerDigits;
    std::string_view fractionDigits;
    long exponent = 0;  // saturates at +-kExponentLimit
};

inline constexpr long kExponentLimit = 100000;

// 0, or 1012 for a text that is not a number.
MsgNo scanNumber(std::string_view text, NumberSyntax& out);

// The text as a double: 0, 1012 (not a number) or 1011 (beyond the range of a double).
MsgNo parseNumber(std::string_view text, double& out);

// The text of a double: "%lf" with trailing zeros (and a bare point) cut; "%lE" instead when that
// is longer than maxChars or reads "0"/"-0" for a value that is not zero. The result may still be
// longer than maxChars; the caller cuts it and reports truncation.
std::string numberText(double value, std::size_t maxChars = std::string::npos);

// The shortest plain decimal text (no exponent) that reads back as the same double: what
// QuickBase receives for a number, and the decimal value of a double. "0" for either zero.
std::string exactNumberText(double value);

}  // namespace kelvra
