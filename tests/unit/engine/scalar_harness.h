// Calls of the scalar function library as analysis and the executor make them: arguments with
// the types analysis would give them, resolution, then evaluation.
#pragma once

#include <sqlext.h>

#include <string>
#include <string_view>
#include <vector>

#include "engine/scalar_functions.h"
#include "resources/utf8.h"

namespace kelvra::test {

struct Arg {
    Value value;
    ScalarArgument type;
};

inline Arg typed(Value value, ValueType valueType, std::int16_t sqlType, std::uint32_t size,
                 std::int16_t scale) {
    value.type = valueType;
    return {std::move(value), {{valueType, sqlType, size, scale}}};
}
inline Arg chr(std::string_view text) {  // a string literal: VARCHAR of its length
    return typed(Value::ofChar(text), ValueType::Char, SQL_VARCHAR,
                 std::uint32_t(utf8CharCount(text)), -1);
}
inline Arg fixedChr(std::string_view text, std::uint32_t size) {
    return typed(Value::ofChar(text), ValueType::Char, SQL_CHAR, size, -1);
}
inline Arg num(std::string_view text) {  // a NUMERIC literal: DECIMAL of its digits
    const std::size_t point = text.find('.');
    const auto scale = std::int16_t(point == std::string_view::npos ? 0 : text.size() - point - 1);
    const auto digits = std::uint32_t(text.size() - (text[0] == '-') - (scale > 0));
    return typed(Value::ofNumeric(text), ValueType::Numeric, SQL_DECIMAL, digits, scale);
}
inline Arg integer(double x, std::int16_t sqlType = SQL_INTEGER) {
    return typed(Value::ofInteger(x), ValueType::Integer, sqlType, 10, 0);
}
inline Arg dbl(double x) {
    return typed(Value::ofDouble(x), ValueType::Double, SQL_DOUBLE, 15, -1);
}
inline Arg date(int y, int m, int d) {
    return typed(Value::ofDate({std::int16_t(y), std::uint16_t(m), std::uint16_t(d)}),
                 ValueType::Date, SQL_DATE, 10, -1);
}
inline Arg time(int h, int m, int s) {
    return typed(Value::ofTime({std::uint16_t(h), std::uint16_t(m), std::uint16_t(s)}),
                 ValueType::Time, SQL_TIME, 8, -1);
}
inline Arg ts(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, std::uint32_t ns = 0) {
    return typed(Value::ofTimestamp({std::int16_t(y), std::uint16_t(mo), std::uint16_t(d),
                                     std::uint16_t(h), std::uint16_t(mi), std::uint16_t(s), ns}),
                 ValueType::Timestamp, SQL_TIMESTAMP, 23, 3);
}
inline Arg binary(std::string_view bytes, std::int16_t sqlType = SQL_VARBINARY) {
    return typed(Value::ofBinary(bytes), ValueType::Binary, sqlType, std::uint32_t(bytes.size()),
                 -1);
}
inline Arg nullLiteral() {
    Arg arg{Value::null(ValueType::None), {}};
    arg.type.isNullLiteral = true;
    return arg;
}
inline Arg parameter() {
    Arg arg{Value::null(ValueType::None), {}};
    arg.type.isParameter = true;
    return arg;
}

struct Outcome {
    MsgNo status = 0;
    std::string argument;  // the message argument
    TypeDesc type;         // the resolved result type
    Value value;
};

inline Outcome resolveOnly(std::string_view name, std::string_view word,
                           const std::vector<Arg>& args, int odbcVersion = 3) {
    std::vector<ScalarArgument> types;
    for (const Arg& a : args) types.push_back(a.type);
    Outcome o;
    ScalarCall call;
    o.status = resolveScalarFunction(name, word, types, odbcVersion, call, o.type, o.argument);
    return o;
}

inline Outcome run(std::string_view name, std::string_view word, const std::vector<Arg>& args,
                   FunctionContext* context = nullptr, int odbcVersion = 3) {
    std::vector<ScalarArgument> types;
    std::vector<const Value*> values;
    for (const Arg& a : args) {
        types.push_back(a.type);
        values.push_back(&a.value);
    }
    Outcome o;
    ScalarCall call;
    o.status = resolveScalarFunction(name, word, types, odbcVersion, call, o.type, o.argument);
    if (o.status != 0) return o;
    RandState rand;
    FunctionContext fallback;
    fallback.rand = &rand;
    o.status = evaluateScalarFunction(call, o.type, values, context ? *context : fallback, o.value,
                                      o.argument);
    return o;
}

}  // namespace kelvra::test
