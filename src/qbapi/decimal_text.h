// Reading the decimal numbers that QuickBase replies carry in headers, attributes and texts.
// The input is hostile: any length, any bytes; the results saturate instead of overflowing.
#pragma once

#include <cstdint>
#include <string_view>

namespace kelvra {

// Leading blanks, an optional sign, then digits up to the first non-digit; 0 without digits.
// Values beyond the 32-bit range are clamped to it.
std::int32_t readLeadingInt(std::string_view text);

// Every decimal digit of the text read together as one number (other characters are skipped),
// negated when the text begins with "-"; 0 without digits, -1 for a text that is empty
// or holds only line feeds. Clamped to the
// 32-bit range. This is how a line of the record id CSV becomes a record id.
std::int32_t readRecordIdLine(std::string_view line);

}  // namespace kelvra
