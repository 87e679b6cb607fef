// QbField: one QuickBase field shown as an SQL column, with what the engine, the catalog
// functions and the record reads need to know of it.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <string>

namespace kelvra {

// How a field's values are formatted and written; set from its field_type.
enum class FieldKind : std::int32_t {
    Text = 0,  // any other text field
    UserId = 1,
    RecordId = 2,
    TimeStamp = 3,  // timestamp and timeofday
    Boolean = 5,    // any field of base type bool
    Duration = 6,
    Email = 7,
    Float = 8,  // any field of base type float
    Date = 9,   // any other integer-based field
    File = 10,
    Phone = 11,
    Url = 12,
    VCardButton = 14,
    ICalendarButton = 15,
};

// The family of QuickBase base type a field's values come in.
enum class BaseCategory : std::int32_t {
    Text = 0,
    Integer = 1,  // recordid, userid
    Boolean = 2,
    DateTime = 3,  // timestamp, timeofday, duration, dates
    Float = 4,
};

inline constexpr std::size_t kMaxColumnNameLength = 127;

struct QbField {
    std::string name;  // at most kMaxColumnNameLength characters
    // ODBC SQL type; dates and times carry the ODBC 2 codes (SQL_DATE, SQL_TIME,
    // SQL_TIMESTAMP), which the callers map to the environment's version.
    std::int16_t sqlType = SQL_VARCHAR;
    std::int32_t columnSize = 0;
    std::int16_t decimalDigits = 0;
    std::int16_t nullable = SQL_NULLABLE;  // SQL_NULLABLE or SQL_NO_NULLS
    std::int16_t updatable = 1;            // 0: read-only, writes are refused
    // 0: a restriction on this column is never sent to QuickBase; larger values make the
    // column preferred when restrictions are chosen.
    std::int16_t restrictRank = 0;
    std::int16_t keySeq = 0;  // 1 for the table's key column, 0 otherwise
    std::string defaultText = "NULL";
    std::int32_t fid = 0;
    std::string fidText;  // the field id exactly as the schema gives it
    std::int32_t decimalPlaces = 0;
    FieldKind kind = FieldKind::Text;
    BaseCategory category = BaseCategory::Text;
};

}  // namespace kelvra
