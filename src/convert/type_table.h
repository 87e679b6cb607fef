// The driver's SQL data types: the rows SQLGetTypeInfo returns and the catalogue that column
// descriptions and the catalog functions look types up in.
#pragma once

#include <sql.h>

#include <cstdint>
#include <span>
#include <string_view>

namespace kelvra {

// A 16-bit attribute value meaning NULL.
constexpr std::int16_t kTypeNull = -1;

struct TypeInfoRow {
    bool listed;  // returned by SQLGetTypeInfo
    std::string_view name;
    SQLSMALLINT sqlType;  // ODBC 2 codes for date, time and timestamp
    std::int32_t columnSize;
    std::string_view literalPrefix;  // empty: NULL
    std::string_view literalSuffix;
    std::string_view createParams;
    std::int16_t nullable;
    std::int16_t caseSensitive;
    std::int16_t searchable;
    std::int16_t unsignedAttribute;  // kTypeNull when not applicable
    std::int16_t fixedPrecScale;
    std::int16_t autoUniqueValue;
    std::int16_t minimumScale;
    std::int16_t maximumScale;
};

std::span<const TypeInfoRow> typeTable();

// The row of an SQL type (date and time codes of either ODBC version); null when none.
const TypeInfoRow* findTypeRow(SQLSMALLINT sqlType);

// ODBC 2 date and time codes (91/92/93 become 9/10/11).
SQLSMALLINT odbc2TypeCode(SQLSMALLINT sqlType);

}  // namespace kelvra
