// Internal to the scalar function library: the function table. 114 entries in a fixed order
// (an entry's index is its function number); entries of one name are adjacent and are the
// overloads of that name, tried in order.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "convert/value.h"

namespace kelvra {

// What an entry computes; overloads of one name share it, and so do the synonyms
// (CHAR_LENGTH and CHARACTER_LENGTH, CURDATE and CURRENT_DATE, CURTIME and CURRENT_TIME, NOW and
// CURRENT_TIMESTAMP).
// clang-format off
enum class ScalarKind : std::uint8_t {
    // text
    Ascii, BitLength, Char, CharLength, Concat, Difference, Insert, Lcase, Left, Length, Locate,
    Ltrim, OctetLength, Position, Repeat, Replace, Right, Rtrim, Soundex, Space, Substring, Ucase,
    // numbers
    Abs, Acos, Asin, Atan, Atan2, Ceiling, Cos, Cot, Degrees, Exp, Floor, Log, Log10, Mod, Pi,
    Power, Radians, Rand, Round, Sign, Sin, Sqrt, Tan, Truncate,
    // dates and times
    CurrentDate, CurrentTime, CurrentTimestamp, Dayname, Dayofmonth, Dayofweek, Dayofyear, Extract,
    Hour, Minute, Month, Monthname, Quarter, Second, TimestampAdd, TimestampDiff, Week, Year,
    // the connection and the conversions
    Database, Ifnull, User, Convert, Identity, LastError,
};
// clang-format on

// Result sqlType 0 takes argument 1's type, result size 0 argument 1's size and scale; an
// argument type None accepts any type.
struct FunctionEntry {
    std::string_view name;
    ScalarKind kind;
    ValueType valueType;
    std::int16_t sqlType;
    std::uint32_t columnSize;
    std::int16_t scale;  // -1: none
    std::uint8_t argCount;
    std::array<ValueType, 4> argTypes;
};

std::span<const FunctionEntry> functionTable();

// The index of the first entry of that name (compared ignoring case), or -1.
int findFunction(std::string_view name);

}  // namespace kelvra
