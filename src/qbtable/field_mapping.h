// How one field element of a table schema becomes a column: the SQL type, size, scale and
// restriction rank from the field's base type and field type, the text rule that decides
// between VARCHAR and LONGVARCHAR, the text size variables, and the cleaning of labels into
// column names. Internal to the table layer; openTable applies it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "qbtable/qb_field.h"

namespace kelvra {

// What the mapping reads of one field element.
struct FieldAttributes {
    std::string_view baseType{};
    std::string_view fieldType{};
    std::string_view role{};
    std::string_view mode{};
    std::string_view numLines{};       // empty when absent
    std::string_view decimalPlaces{};  // empty when absent
    bool isKey = false;
    // The value of the field's KELVRA_TEXT_SIZE_<dbid>_<fid> variable, when there is one.
    std::optional<std::int64_t> textSizeVariable{};
};

// What the mapping reads of the connection.
struct MappingOptions {
    bool sqlServerHost = false;  // the host program is "sqlservr.exe"
    bool fileOption = false;     // the option FILE is set
};

// Fills the type part of `field` (sqlType, columnSize, decimalDigits, nullable, updatable,
// restrictRank, decimalPlaces, kind, category). False when the base type is not one of bool,
// float, int or text (by its first letter): such a field cannot be a column.
bool mapFieldType(const FieldAttributes& attributes, const MappingOptions& options, QbField& field);

// A label as a column name: every ASCII character other than a letter, a digit, a blank or "-"
// becomes "_"; characters beyond ASCII count as letters and stay (a malformed UTF-8 sequence
// becomes "_"); cut to kMaxColumnNameLength characters.
std::string cleanLabel(std::string_view label);

// The decimal number at the start of a schema text, like atoi but saturating at the bounds of
// 64 bits: leading blanks and a sign are allowed, and text without digits gives 0.
std::int64_t leadingInteger(std::string_view text);

// leadingInteger clamped to the 32-bit range, for field ids.
std::int32_t leadingInteger32(std::string_view text);

}  // namespace kelvra
