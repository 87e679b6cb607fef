#include "convert/value.h"

#include <cstddef>

#include <sqltypes.h>

namespace kelvra {

static_assert(sizeof(DateValue) == sizeof(SQL_DATE_STRUCT));
static_assert(offsetof(DateValue, day) == offsetof(SQL_DATE_STRUCT, day));
static_assert(sizeof(TimeValue) == sizeof(SQL_TIME_STRUCT));
static_assert(offsetof(TimeValue, second) == offsetof(SQL_TIME_STRUCT, second));
static_assert(sizeof(TimestampValue) == sizeof(SQL_TIMESTAMP_STRUCT));
static_assert(offsetof(TimestampValue, fraction) == offsetof(SQL_TIMESTAMP_STRUCT, fraction));

DateValue datePart(const TimestampValue& ts) {
    return {ts.year, ts.month, ts.day};
}

TimeValue timePart(const TimestampValue& ts) {
    return {ts.hour, ts.minute, ts.second};
}

TimestampValue toTimestamp(const DateValue& date, const TimeValue& time) {
    return TimestampValue{date.year, date.month, date.day, time.hour, time.minute, time.second, 0};
}

Value Value::null(ValueType type) {
    Value v;
    v.type = type;
    return v;
}

namespace {
Value present(ValueType type) {
    Value v;
    v.type = type;
    v.isNull = false;
    return v;
}
}  // namespace

Value Value::ofChar(std::string_view text) {
    Value v = present(ValueType::Char);
    v.text = text;
    return v;
}

Value Value::ofNumeric(std::string_view decimalText) {
    Value v = present(ValueType::Numeric);
    v.text = decimalText;
    return v;
}

Value Value::ofInteger(double number) {
    Value v = present(ValueType::Integer);
    v.number = number;
    return v;
}

Value Value::ofDouble(double number) {
    Value v = present(ValueType::Double);
    v.number = number;
    return v;
}

Value Value::ofDate(const DateValue& date) {
    Value v = present(ValueType::Date);
    v.date = date;
    return v;
}

Value Value::ofTime(const TimeValue& time) {
    Value v = present(ValueType::Time);
    v.time = time;
    return v;
}

Value Value::ofTimestamp(const TimestampValue& timestamp) {
    Value v = present(ValueType::Timestamp);
    v.timestamp = timestamp;
    return v;
}

Value Value::ofBinary(std::string_view bytes) {
    Value v = present(ValueType::Binary);
    v.text = bytes;
    return v;
}

void setNull(Value& out, ValueType type) {
    out.type = type;
    out.isNull = true;
    out.number = 0.0;
    out.date = {};
    out.time = {};
    out.timestamp = {};
    out.text.clear();
}

}  // namespace kelvra
