// What planning and the sort engine agree on about the rows of result files: the marker byte
// after every field, the width of sequence numbers (and the layouts that start with one), and
// the work directory named in the "W(...)" element of a sort order text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kelvra {

// Every field of a sorted row (keys, select-list values, aggregate values, the sequence number,
// the record id of a keyset-fetch row) is followed by one marker byte: kNullMarker when the
// value is NULL, kValueMarker otherwise. A NULL field's own bytes should be written as blanks
// so that rows compared byte for byte (grouping, duplicate removal) see NULLs as equal.
inline constexpr char kValueMarker = ' ';
inline constexpr char kNullMarker = 'N';

// A text field holds its column's size in characters, each up to four bytes of UTF-8, so no
// value the column can hold is cut in a result file.
inline constexpr std::int32_t kMaxUtf8CharBytes = 4;
constexpr std::int32_t textFieldBytes(std::uint32_t columnSize) {
    return static_cast<std::int32_t>(columnSize) * kMaxUtf8CharBytes;
}

// Sequence numbers are decimal digits with leading zeros, wide enough for any non-negative
// 64-bit row number, so they sort as "N" keys in row order whatever the row count.
inline constexpr std::size_t kSequenceDigits = 19;
// The digits and their marker byte.
inline constexpr std::size_t kSequenceFieldWidth = kSequenceDigits + 1;

// A DISTINCT row: the sequence field, then the select-list values from this 1-based position.
inline constexpr std::size_t kDistinctFirstPosition = kSequenceFieldWidth + 1;

// A keyset-fetch row: the sequence field, then the 32-bit record id (-1 for a NULL row) and
// its marker.
inline constexpr std::size_t kKeysetFetchRecordIdPosition = kSequenceFieldWidth + 1;
inline constexpr std::size_t kKeysetFetchRowLength = kSequenceFieldWidth + 4 + 1;

// Writes the sequence field of row number `row` (0 <= row) into out[0 .. kSequenceFieldWidth).
void writeSequenceField(std::int64_t row, char* out);

// The directory temporary files are made in: $TMPDIR when it is set and not empty, else
// "/tmp"; always with a trailing "/".
std::string tempDirectory();

}  // namespace kelvra
