// IFNULL and CONVERT: a value copied or converted into the type resolution gave the call.
#include <sqlext.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>

#include "convert/datetime_text.h"
#include "convert/decimal.h"
#include "convert/number_text.h"
#include "convert/numeric_text.h"
#include "convert/param_convert.h"
#include "convert/type_codes.h"
#include "engine/scalar_evaluation.h"
#include "resources/utf8.h"

namespace kelvra {

namespace {

std::int16_t baseSqlType(std::int16_t sqlType) {
    return mapDateTimeCode(sqlType, 2);
}

// IFNULL: the present argument in the union type. A CHAR result is padded to its size.
MsgNo copyInto(const Value& value, const TypeDesc& result, Value& out) {
    setPresent(out, result.valueType);
    switch (result.valueType) {
        case ValueType::Char:
            out.text.assign(value.text);
            if (baseSqlType(result.sqlType) == SQL_CHAR) {
                const std::size_t length = utf8CharCount(out.text);
                if (length < result.columnSize) out.text.append(result.columnSize - length, ' ');
            }
            return kMsgNone;
        case ValueType::Numeric: {
            // An INTEGER side joins a NUMERIC union as its decimal text.
            const MsgNo status =
                value.type == ValueType::Numeric
                    ? formatNumericText(value.text, 0, result.scale, out.text)
                    : formatNumericText(exactNumberText(value.number), 0, result.scale, out.text);
            return status == kMsgNone || status == kMsgTruncated ? kMsgNone : kMsgConversionError;
        }
        case ValueType::Integer:
        case ValueType::Double:
            if (value.type == ValueType::Numeric) {
                return parseNumber(value.text, out.number) ? kMsgConversionError : kMsgNone;
            }
            out.number = value.number;
            return kMsgNone;
        case ValueType::Binary:
            out.text.assign(value.text);
            return kMsgNone;
        case ValueType::Date:
            out.date = value.date;
            return kMsgNone;
        case ValueType::Time:
            out.time = value.time;
            return kMsgNone;
        case ValueType::Timestamp:
            out.timestamp = value.timestamp;
            return kMsgNone;
        default:
            return kMsgInternalError;
    }
}

// CONVERT to a character type: the value's text within the result size.
MsgNo toText(const Value& value, const ScalarCall& call, const TypeDesc& result, Value& out) {
    setPresent(out, ValueType::Char);
    switch (value.type) {
        case ValueType::Char:
        case ValueType::Numeric:
        case ValueType::Binary:
            out.text.assign(value.text);
            if (value.type == ValueType::Char && baseSqlType(result.sqlType) == SQL_VARCHAR &&
                baseSqlType(call.source.sqlType) == SQL_CHAR) {
                out.text.erase(out.text.find_last_not_of(' ') + 1);
            }
            break;
        case ValueType::Integer:
        case ValueType::Double:
            out.text.assign(numberText(value.number, result.columnSize));
            break;
        case ValueType::Date:
            out.text.assign(dateText(value.date));
            break;
        case ValueType::Time:
            out.text.assign(timeText(value.time));
            break;
        case ValueType::Timestamp:
            out.text.assign(timestampText(value.timestamp));
            break;
        default:
            return kMsgInternalError;
    }
    return utf8CharCount(out.text) > result.columnSize ? kMsgConversionError : kMsgNone;
}

template <typename T>
void appendBytes(std::string& out, T value) {
    char bytes[sizeof value];
    std::memcpy(bytes, &value, sizeof value);
    out.append(bytes, sizeof value);
}

bool inRange(double value, double low, double high) {
    return value >= low && value <= high;
}

// CONVERT to a binary type: texts as their bytes, numbers as the bytes of the source's own
// C representation, dates and times as their structs.
MsgNo toBytes(const Value& value, const ScalarCall& call, Value& out) {
    setPresent(out, ValueType::Binary);
    out.text.clear();
    const double x = std::trunc(value.number);
    switch (value.type) {
        case ValueType::Char:
        case ValueType::Numeric:
        case ValueType::Binary:
            out.text.assign(value.text);
            return kMsgNone;
        case ValueType::Integer:
        case ValueType::Double:
            switch (baseSqlType(call.source.sqlType)) {
                case SQL_BIT:
                case SQL_TINYINT:
                    if (!inRange(x, -128, 255)) return kMsgConversionError;
                    appendBytes(out.text, std::uint8_t(std::int16_t(x)));
                    return kMsgNone;
                case SQL_SMALLINT:
                    if (!inRange(x, -32768, 32767)) return kMsgConversionError;
                    appendBytes(out.text, std::int16_t(x));
                    return kMsgNone;
                case SQL_INTEGER:
                    if (!inRange(x, -2147483648.0, 2147483647.0)) return kMsgConversionError;
                    appendBytes(out.text, std::int32_t(x));
                    return kMsgNone;
                case SQL_REAL:
                    if (!inRange(value.number, -FLT_MAX, FLT_MAX)) return kMsgConversionError;
                    appendBytes(out.text, float(value.number));
                    return kMsgNone;
                default:
                    appendBytes(out.text, value.number);
                    return kMsgNone;
            }
        case ValueType::Date:
            appendBytes(out.text, value.date);
            return kMsgNone;
        case ValueType::Time:
            appendBytes(out.text, value.time);
            return kMsgNone;
        case ValueType::Timestamp:
            appendBytes(out.text, value.timestamp);
            return kMsgNone;
        default:
            return kMsgInternalError;
    }
}

// A whole number within the range of the integer type, truncated toward zero.
MsgNo toInteger(double value, std::int16_t sqlType, Value& out) {
    const double x = std::trunc(value);
    const bool fits = sqlType == SQL_BIT        ? inRange(x, 0, 1)
                      : sqlType == SQL_TINYINT  ? inRange(x, -128, 127)
                      : sqlType == SQL_SMALLINT ? inRange(x, -32768, 32767)
                                                : inRange(x, -2147483648.0, 2147483647.0);
    if (!fits) return kMsgConversionError;
    out.number = x + 0.0;
    return kMsgNone;
}

// BIGINT: the decimal value truncated toward zero, within 64 bits.
MsgNo toBigint(Value& out) {
    Decimal value;
    if (parseDecimal(out.text, value)) return kMsgConversionError;
    const Decimal whole = roundToInteger(value, IntegerRounding::TowardZero);
    __int128 integer;
    bool dropped;
    if (!decimalIntegerPart(whole, integer, dropped) ||
        integer < std::numeric_limits<std::int64_t>::min() ||
        integer > std::numeric_limits<std::int64_t>::max()) {
        return kMsgConversionError;
    }
    out.text = decimalText(whole);
    return kMsgNone;
}

MsgNo convert(const Value& value, const ScalarCall& call, const TypeDesc& result, Value& out) {
    const std::int16_t target = baseSqlType(result.sqlType);
    switch (result.valueType) {
        case ValueType::Char:
            return toText(value, call, result, out);
        case ValueType::Binary:
            return toBytes(value, call, out);
        default:
            break;
    }
    // The other targets take the conversion rules of parameters: numbers from texts and
    // numbers, dates and times from texts, binary structs and each other.
    ParamMarker marker{result.valueType, 0, -1};
    if (target == SQL_DECIMAL || target == SQL_NUMERIC) {
        marker.precision = int(result.columnSize);
        marker.scale = result.scale;
    } else if (result.valueType == ValueType::Integer) {
        marker.type = ValueType::Double;
    }
    const MsgNo status = convertValue(value, marker, out);
    if (status == kMsgMemory) return status;
    if (status != kMsgNone && status != kMsgTruncated) return kMsgConversionError;
    setPresent(out, result.valueType);
    switch (target) {
        case SQL_BIGINT:
            return toBigint(out);
        case SQL_BIT:
        case SQL_TINYINT:
        case SQL_SMALLINT:
        case SQL_INTEGER:
            return toInteger(out.number, target, out);
        case SQL_REAL:
            if (!inRange(out.number, -FLT_MAX, FLT_MAX)) return kMsgConversionError;
            out.number = double(float(out.number));
            return kMsgNone;
        default:
            return kMsgNone;
    }
}

}  // namespace

MsgNo evaluateConversion(ScalarKind kind, const ScalarCall& call, const TypeDesc& result,
                         ScalarArgs args, Value& out) {
    if (kind == ScalarKind::Convert) return convert(*args[0], call, result, out);
    const Value& present = args[0]->isNull ? *args[1] : *args[0];
    if (present.isNull) {
        setNull(out, result.valueType);
        return kMsgNone;
    }
    return copyInto(present, result, out);
}

}  // namespace kelvra
