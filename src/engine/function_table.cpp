#include "engine/function_table.h"

#include <sqlext.h>

#include "resources/ascii.h"

namespace kelvra {

namespace {

using K = ScalarKind;
using V = ValueType;

constexpr V C = V::Char;
constexpr V N = V::Numeric;
constexpr V I = V::Integer;
constexpr V D = V::Double;
constexpr V Any = V::None;

constexpr FunctionEntry entry(std::string_view name, K kind, V valueType, std::int16_t sqlType,
                              std::uint32_t size, std::int16_t scale,
                              std::initializer_list<V> args) {
    FunctionEntry e{name, kind, valueType, sqlType, size, scale, std::uint8_t(args.size()), {}};
    std::size_t i = 0;
    for (V a : args) e.argTypes[i++] = a;
    return e;
}

// Shapes that many entries share.
constexpr FunctionEntry tinyPart(std::string_view name, K kind, V arg) {
    return entry(name, kind, I, SQL_TINYINT, 3, 0, {arg});
}
constexpr FunctionEntry length(std::string_view name, K kind, std::initializer_list<V> args) {
    return entry(name, kind, I, SQL_SMALLINT, 5, 0, args);
}
constexpr FunctionEntry text255(std::string_view name, K kind, std::initializer_list<V> args) {
    return entry(name, kind, C, SQL_VARCHAR, 255, 0, args);
}
constexpr FunctionEntry asArgument(std::string_view name, K kind, V type,
                                   std::initializer_list<V> args) {
    return entry(name, kind, type, 0, 0, 0, args);
}
constexpr FunctionEntry varcharAsArgument(std::string_view name, K kind,
                                          std::initializer_list<V> args) {
    return entry(name, kind, C, SQL_VARCHAR, 0, 0, args);
}
constexpr FunctionEntry floating(std::string_view name, K kind, std::initializer_list<V> args) {
    return entry(name, kind, D, SQL_FLOAT, 15, -1, args);
}

constexpr std::array<FunctionEntry, 114> kTable = {{
    tinyPart("ASCII", K::Ascii, C),
    length("BIT_LENGTH", K::BitLength, {C}),
    entry("CHAR", K::Char, C, SQL_CHAR, 1, 0, {I}),
    length("CHAR_LENGTH", K::CharLength, {C}),
    length("CHARACTER_LENGTH", K::CharLength, {C}),
    entry("CONCAT", K::Concat, C, SQL_VARCHAR, 255, 0, {C, C}),  // size: see resolution
    entry("DIFFERENCE", K::Difference, I, SQL_INTEGER, 10, 0, {C, C}),
    text255("INSERT", K::Insert, {C, I, I, C}),
    asArgument("LCASE", K::Lcase, C, {C}),
    varcharAsArgument("LEFT", K::Left, {C, I}),
    length("LENGTH", K::Length, {C}),
    length("LOCATE", K::Locate, {C, C}),
    length("LOCATE", K::Locate, {C, C, I}),
    varcharAsArgument("LTRIM", K::Ltrim, {C}),
    length("OCTET_LENGTH", K::OctetLength, {C}),
    length("POSITION", K::Position, {C, C}),
    text255("REPEAT", K::Repeat, {C, I}),
    text255("REPLACE", K::Replace, {C, C, C}),
    varcharAsArgument("RIGHT", K::Right, {C, I}),
    varcharAsArgument("RTRIM", K::Rtrim, {C}),
    text255("SOUNDEX", K::Soundex, {C}),
    text255("SPACE", K::Space, {I}),
    varcharAsArgument("SUBSTRING", K::Substring, {C, I, I}),
    asArgument("UCASE", K::Ucase, C, {C}),

    asArgument("ABS", K::Abs, D, {D}),
    asArgument("ABS", K::Abs, N, {N}),
    asArgument("ABS", K::Abs, I, {I}),
    floating("ACOS", K::Acos, {D}),
    floating("ASIN", K::Asin, {D}),
    floating("ATAN", K::Atan, {D}),
    floating("ATAN2", K::Atan2, {D, D}),
    asArgument("CEILING", K::Ceiling, D, {D}),
    asArgument("CEILING", K::Ceiling, N, {N}),
    asArgument("CEILING", K::Ceiling, I, {I}),
    floating("COS", K::Cos, {D}),
    floating("COT", K::Cot, {D}),
    floating("DEGREES", K::Degrees, {D}),
    floating("DEGREES", K::Degrees, {N}),
    floating("DEGREES", K::Degrees, {I}),
    floating("EXP", K::Exp, {D}),
    asArgument("FLOOR", K::Floor, D, {D}),
    asArgument("FLOOR", K::Floor, N, {N}),
    asArgument("FLOOR", K::Floor, I, {I}),
    floating("LOG", K::Log, {D}),
    floating("LOG10", K::Log10, {D}),
    asArgument("MOD", K::Mod, I, {I, I}),
    floating("PI", K::Pi, {}),
    floating("POWER", K::Power, {D, I}),
    floating("POWER", K::Power, {N, I}),
    floating("POWER", K::Power, {I, I}),
    floating("RADIANS", K::Radians, {D}),
    floating("RADIANS", K::Radians, {N}),
    floating("RADIANS", K::Radians, {I}),
    floating("RAND", K::Rand, {}),
    floating("RAND", K::Rand, {D}),
    floating("RAND", K::Rand, {N}),
    floating("RAND", K::Rand, {I}),
    asArgument("ROUND", K::Round, D, {D, I}),
    asArgument("ROUND", K::Round, N, {N, I}),
    asArgument("ROUND", K::Round, I, {I, I}),
    tinyPart("SIGN", K::Sign, D),
    tinyPart("SIGN", K::Sign, N),
    tinyPart("SIGN", K::Sign, I),
    floating("SIN", K::Sin, {D}),
    floating("SQRT", K::Sqrt, {D}),
    floating("TAN", K::Tan, {D}),
    asArgument("TRUNCATE", K::Truncate, D, {D, I}),
    asArgument("TRUNCATE", K::Truncate, N, {N, I}),
    asArgument("TRUNCATE", K::Truncate, I, {I, I}),

    entry("CURRENT_DATE", K::CurrentDate, V::Date, SQL_DATE, 10, -1, {}),
    entry("CURRENT_TIME", K::CurrentTime, V::Time, SQL_TIME, 8, -1, {}),
    entry("CURRENT_TIME", K::CurrentTime, V::Time, SQL_TIME, 8, -1, {I}),
    entry("CURRENT_TIMESTAMP", K::CurrentTimestamp, V::Timestamp, SQL_TIMESTAMP, 23, 3, {}),
    entry("CURRENT_TIMESTAMP", K::CurrentTimestamp, V::Timestamp, SQL_TIMESTAMP, 23, 3, {I}),
    entry("CURDATE", K::CurrentDate, V::Date, SQL_DATE, 10, -1, {}),
    entry("CURTIME", K::CurrentTime, V::Time, SQL_TIME, 8, -1, {}),
    text255("DAYNAME", K::Dayname, {Any}),
    tinyPart("DAYOFMONTH", K::Dayofmonth, C),
    tinyPart("DAYOFMONTH", K::Dayofmonth, V::Date),
    tinyPart("DAYOFMONTH", K::Dayofmonth, V::Timestamp),
    tinyPart("DAYOFWEEK", K::Dayofweek, Any),
    length("DAYOFYEAR", K::Dayofyear, {Any}),
    length("EXTRACT", K::Extract, {Any}),
    tinyPart("HOUR", K::Hour, C),
    tinyPart("HOUR", K::Hour, V::Time),
    tinyPart("HOUR", K::Hour, V::Timestamp),
    tinyPart("MINUTE", K::Minute, C),
    tinyPart("MINUTE", K::Minute, V::Time),
    tinyPart("MINUTE", K::Minute, V::Timestamp),
    tinyPart("MONTH", K::Month, C),
    tinyPart("MONTH", K::Month, V::Date),
    tinyPart("MONTH", K::Month, V::Timestamp),
    text255("MONTHNAME", K::Monthname, {C}),
    text255("MONTHNAME", K::Monthname, {V::Date}),
    text255("MONTHNAME", K::Monthname, {V::Timestamp}),
    entry("NOW", K::CurrentTimestamp, V::Timestamp, SQL_TIMESTAMP, 23, 3, {}),
    tinyPart("QUARTER", K::Quarter, C),
    tinyPart("QUARTER", K::Quarter, V::Date),
    tinyPart("QUARTER", K::Quarter, V::Timestamp),
    tinyPart("SECOND", K::Second, C),
    tinyPart("SECOND", K::Second, V::Time),
    tinyPart("SECOND", K::Second, V::Timestamp),
    entry("TIMESTAMPADD", K::TimestampAdd, V::Timestamp, SQL_TIMESTAMP, 23, 3, {I, Any}),
    entry("TIMESTAMPDIFF", K::TimestampDiff, I, SQL_INTEGER, 10, 0, {Any, Any}),
    tinyPart("WEEK", K::Week, Any),
    entry("YEAR", K::Year, I, SQL_INTEGER, 10, 0, {C}),
    entry("YEAR", K::Year, I, SQL_INTEGER, 10, 0, {V::Date}),
    entry("YEAR", K::Year, I, SQL_INTEGER, 10, 0, {V::Timestamp}),

    entry("DATABASE", K::Database, C, SQL_VARCHAR, 127, 0, {}),
    entry("IFNULL", K::Ifnull, Any, 0, 0, 0, {Any, Any}),  // type: see resolution
    entry("USER", K::User, C, SQL_VARCHAR, 63, 0, {}),
    entry("CONVERT", K::Convert, Any, 0, 0, 0, {Any}),  // type: see resolution
    entry("IDENTITY", K::Identity, I, SQL_INTEGER, 10, 0, {}),
    entry("LASTERROR", K::LastError, C, SQL_VARCHAR, 511, 0, {}),
}};

}  // namespace

std::span<const FunctionEntry> functionTable() {
    return kTable;
}

int findFunction(std::string_view name) {
    for (std::size_t i = 0; i < kTable.size(); ++i) {
        if (equalsIgnoreCase(kTable[i].name, name)) return int(i);
    }
    return -1;
}

}  // namespace kelvra
