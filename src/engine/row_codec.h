// Values in the fixed-width fields of result-file rows (sort, group and DISTINCT rows): each
// field holds the value in `width` bytes and is followed by its marker byte (sql/sort_layout.h).
//
//   CHAR       the text, cut to the width on a character boundary, padded with blanks
//   BINARY     the bytes, cut to the width, padded with zero bytes
//   NUMERIC    the decimal text padded with blanks
//   INTEGER, DOUBLE  the 8-byte double (-0.0 written as 0.0)
//   DATE, TIME, TIMESTAMP  "2024-01-31", "13:05:09", "2024-01-31 13:05:09.123"
//
// A NULL is written as blanks with the NULL marker, so that rows compared byte for byte see
// NULLs as equal.
#pragma once

#include <cstdint>

#include "convert/value.h"
#include "resources/messages.h"

namespace kelvra {

// Writes the field and its marker: width + 1 bytes at `at`.
void writeField(char* at, std::int32_t width, const Value& value);

// Reads a field (and its marker) into a value of the type. Trailing blanks of a text are cut
// unless the type is a fixed-length CHAR. 0, or 1046 for a field that does not hold a value
// of the type (a bad marker, an unreadable date).
MsgNo readField(const char* at, std::int32_t width, const TypeDesc& type, Value& out);

}  // namespace kelvra
