// The driver's values: what the parse tree, the evaluator, parameter buffers and the table layer
// hold. A value has one of the internal value types, a NULL flag and the payload of its type.
// The date and time structs have the layout of SQL_DATE_STRUCT, SQL_TIME_STRUCT and
// SQL_TIMESTAMP_STRUCT, so they can be copied to and from client buffers as they are.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kelvra {

// The internal value types are ODBC SQL type codes (ODBC 2 codes for the date and time types).
enum class ValueType : std::int16_t {
    None = 0,  // not typed yet (a NULL literal or a parameter before analysis)
    Char = 1,
    Numeric = 2,  // exact decimal text
    Integer = 4,  // held as a double
    Double = 8,
    Date = 9,
    Time = 10,
    Timestamp = 11,
    Binary = -2,
};

struct DateValue {
    std::int16_t year = 0;
    std::uint16_t month = 0;
    std::uint16_t day = 0;
    friend bool operator==(const DateValue&, const DateValue&) = default;
};

struct TimeValue {
    std::uint16_t hour = 0;
    std::uint16_t minute = 0;
    std::uint16_t second = 0;
    friend bool operator==(const TimeValue&, const TimeValue&) = default;
};

struct TimestampValue {
    std::int16_t year = 0;
    std::uint16_t month = 0;
    std::uint16_t day = 0;
    std::uint16_t hour = 0;
    std::uint16_t minute = 0;
    std::uint16_t second = 0;
    std::uint32_t fraction = 0;  // nanoseconds
    friend bool operator==(const TimestampValue&, const TimestampValue&) = default;
};

DateValue datePart(const TimestampValue& ts);
TimeValue timePart(const TimestampValue& ts);
TimestampValue toTimestamp(const DateValue& date, const TimeValue& time = {});

// The type analysis gives a value: the internal value type it is held in, the ODBC SQL type the
// client sees (ODBC 2 codes for dates and times; 0 until known), the precision or length, and
// the digits after the decimal point (-1 when none).
struct TypeDesc {
    ValueType valueType = ValueType::None;
    std::int16_t sqlType = 0;
    std::uint32_t columnSize = 0;
    std::int16_t scale = -1;
    friend bool operator==(const TypeDesc&, const TypeDesc&) = default;
};

// One value. Only the payload of `type` is meaningful; a NULL value keeps its type and holds
// the zero payload (empty text, 0.0, all-zero date and time parts).
struct Value {
    ValueType type = ValueType::None;
    bool isNull = true;
    double number = 0.0;  // Integer, Double
    DateValue date;
    TimeValue time;
    TimestampValue timestamp;
    std::string text;  // Char: the text; Numeric: the decimal text; Binary: the bytes

    static Value null(ValueType type);
    static Value ofChar(std::string_view text);
    static Value ofNumeric(std::string_view decimalText);
    static Value ofInteger(double number);
    static Value ofDouble(double number);
    static Value ofDate(const DateValue& date);
    static Value ofTime(const TimeValue& time);
    static Value ofTimestamp(const TimestampValue& timestamp);
    static Value ofBinary(std::string_view bytes);

    friend bool operator==(const Value&, const Value&) = default;
};

// Makes `out` the NULL value of `type` with the cleared payload, keeping its text's capacity.
void setNull(Value& out, ValueType type);

}  // namespace kelvra
