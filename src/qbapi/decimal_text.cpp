#include "qbapi/decimal_text.h"

#include <limits>

namespace kelvra {

namespace {

constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int64_t kMin = std::numeric_limits<std::int32_t>::min();

// Adds a digit to a magnitude that stops growing once it is past the 32-bit range.
std::int64_t appendDigit(std::int64_t magnitude, char digit) {
    if (magnitude > kMax + 1) return magnitude;
    return magnitude * 10 + (digit - '0');
}

std::int32_t clampSigned(std::int64_t magnitude, bool negative) {
    std::int64_t value = negative ? -magnitude : magnitude;
    if (value > kMax) return static_cast<std::int32_t>(kMax);
    if (value < kMin) return static_cast<std::int32_t>(kMin);
    return static_cast<std::int32_t>(value);
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

std::int32_t readLeadingInt(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' ||
                               text[i] == '\r' || text[i] == '\v' || text[i] == '\f')) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    std::int64_t magnitude = 0;
    for (; i < text.size() && isDigit(text[i]); ++i) magnitude = appendDigit(magnitude, text[i]);
    return clampSigned(magnitude, negative);
}

std::int32_t readRecordIdLine(std::string_view line) {
    // The line feed of a CRLF starts the next piece; a piece of nothing else is empty.
    if (line.find_first_not_of('\n') == std::string_view::npos) return -1;
    std::int64_t magnitude = 0;
    for (char c : line) {
        if (isDigit(c)) magnitude = appendDigit(magnitude, c);
    }
    return clampSigned(magnitude, line.front() == '-');
}

}  // namespace kelvra
