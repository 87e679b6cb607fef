#include "engine/value_ops.h"

#include <cmath>

#include "convert/calendar.h"
#include "convert/number_text.h"
#include "convert/numeric_text.h"
#include "resources/ascii.h"
#include "resources/utf8.h"

namespace kelvra {
namespace {

bool isNumber(ValueType t) {
    return t == ValueType::Integer || t == ValueType::Double || t == ValueType::Numeric;
}

template <typename T>
int orderOf(const T& a, const T& b) {
    return a < b ? -1 : b < a ? 1 : 0;
}

TimestampValue asTimestamp(const Value& v) {
    return v.type == ValueType::Date ? toTimestamp(v.date) : v.timestamp;
}

int compareTimestamps(const TimestampValue& a, const TimestampValue& b) {
    auto key = [](const TimestampValue& t) {
        return std::tuple(t.year, t.month, t.day, t.hour, t.minute, t.second, t.fraction);
    };
    return orderOf(key(a), key(b));
}

// A number's exact decimal text: a NUMERIC value's own, a double's shortest exact text.
std::string decimalText(const Value& v) {
    return v.type == ValueType::Numeric ? v.text : exactNumberText(v.number);
}

MsgNo dateArithmetic(Operator op, const Value& left, const Value& right, const TypeDesc& result,
                     Value& out) {
    if (left.type == ValueType::Date && right.type == ValueType::Date) {
        if (op != Operator::Subtract) return kMsgInternalError;
        const auto days = daysFromCivil(left.date.year, left.date.month, left.date.day) -
                          daysFromCivil(right.date.year, right.date.month, right.date.day);
        out = Value::ofInteger(static_cast<double>(days));
        return kMsgNone;
    }
    const bool dateLeft = left.type == ValueType::Date;
    const Value& date = dateLeft ? left : right;
    const double n = std::trunc(numberOf(dateLeft ? right : left));
    if (op != Operator::Add && !(op == Operator::Subtract && dateLeft)) return kMsgInternalError;
    if (!std::isfinite(n) || std::fabs(n) > 4e6) return kMsgOutOfRange;
    const auto days = daysFromCivil(date.date.year, date.date.month, date.date.day) +
                      static_cast<std::int64_t>(op == Operator::Subtract ? -n : n);
    DateValue d;
    if (!civilFromDays(days, d)) return kMsgOutOfRange;
    out = Value::ofDate(d);
    (void)result;
    return kMsgNone;
}

}  // namespace

int compareText(std::string_view a, std::string_view b) {
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        const auto x = static_cast<unsigned char>(asciiLower(a[i]));
        const auto y = static_cast<unsigned char>(asciiLower(b[i]));
        if (x != y) return x < y ? -1 : 1;
    }
    // The longer text's rest decides: blanks are as nothing.
    const std::string_view rest = a.size() > common ? a.substr(common) : b.substr(common);
    const int sign = a.size() > common ? 1 : -1;
    for (char c : rest) {
        if (c != ' ') return static_cast<unsigned char>(c) > ' ' ? sign : -sign;
    }
    return 0;
}

double numberOf(const Value& value) {
    if (value.type == ValueType::Integer || value.type == ValueType::Double) return value.number;
    if (value.type != ValueType::Numeric) return 0.0;
    double d = 0.0;
    return parseNumber(value.text, d) == kMsgNone ? d : 0.0;
}

MsgNo compareValues(const Value& a, const Value& b, int& order, bool& equalityOnly) {
    equalityOnly = false;
    if (isNumber(a.type) && isNumber(b.type)) {
        if (a.type == ValueType::Numeric || b.type == ValueType::Numeric) {
            // Compare exactly, the double's shortest exact decimal standing for it.
            return numericCompare(decimalText(a), decimalText(b), order) == kMsgNone
                       ? kMsgNone
                       : kMsgInternalError;
        }
        order = orderOf(a.number, b.number);
        return kMsgNone;
    }
    if (a.type != b.type) {
        const bool dates = (a.type == ValueType::Date || a.type == ValueType::Timestamp) &&
                           (b.type == ValueType::Date || b.type == ValueType::Timestamp);
        if (!dates) return kMsgInternalError;
        order = compareTimestamps(asTimestamp(a), asTimestamp(b));
        return kMsgNone;
    }
    switch (a.type) {
        case ValueType::Char:
            order = compareText(a.text, b.text);
            return kMsgNone;
        case ValueType::Date:
            order = orderOf(std::tuple(a.date.year, a.date.month, a.date.day),
                            std::tuple(b.date.year, b.date.month, b.date.day));
            return kMsgNone;
        case ValueType::Time:
            order = orderOf(std::tuple(a.time.hour, a.time.minute, a.time.second),
                            std::tuple(b.time.hour, b.time.minute, b.time.second));
            return kMsgNone;
        case ValueType::Timestamp:
            order = compareTimestamps(a.timestamp, b.timestamp);
            return kMsgNone;
        case ValueType::Binary:
            equalityOnly = true;
            order = a.text == b.text ? 0 : 1;
            return kMsgNone;
        default:
            return kMsgInternalError;
    }
}

bool comparisonHolds(Operator op, int order) {
    switch (op) {
        case Operator::Equal:
            return order == 0;
        case Operator::NotEqual:
            return order != 0;
        case Operator::Less:
            return order < 0;
        case Operator::LessEqual:
            return order <= 0;
        case Operator::Greater:
            return order > 0;
        case Operator::GreaterEqual:
            return order >= 0;
        default:
            return false;
    }
}

MsgNo arithmetic(Operator op, const Value& left, const Value& right, const TypeDesc& result,
                 Value& out) {
    if (left.type == ValueType::Date || right.type == ValueType::Date) {
        return dateArithmetic(op, left, right, result, out);
    }
    switch (result.valueType) {
        case ValueType::Integer:
        case ValueType::Double: {
            const double a = numberOf(left);
            const double b = numberOf(right);
            double r = 0.0;
            switch (op) {
                case Operator::Negate:
                    r = -a;
                    break;
                case Operator::Add:
                    r = a + b;
                    break;
                case Operator::Subtract:
                    r = a - b;
                    break;
                case Operator::Multiply:
                    r = a * b;
                    break;
                case Operator::Divide:
                    if (b == 0.0) return kMsgDivisionByZero;
                    r = a / b;
                    break;
                default:
                    return kMsgInternalError;
            }
            if (!std::isfinite(r)) return kMsgOutOfRange;
            out.type = result.valueType;
            out.isNull = false;
            out.number = r;
            return kMsgNone;
        }
        case ValueType::Numeric: {
            out.type = ValueType::Numeric;
            out.isNull = false;
            if (op == Operator::Negate) return numericNegate(decimalText(left), out.text);
            NumericOp nop = NumericOp::Add;
            switch (op) {
                case Operator::Add:
                    break;
                case Operator::Subtract:
                    nop = NumericOp::Subtract;
                    break;
                case Operator::Multiply:
                    nop = NumericOp::Multiply;
                    break;
                case Operator::Divide:
                    nop = NumericOp::Divide;
                    break;
                default:
                    return kMsgInternalError;
            }
            // The result keeps every integer digit: its declared size only describes it.
            const MsgNo rc = numericArithmetic(decimalText(left), nop, decimalText(right), 0,
                                               result.scale, out.text);
            return rc == kMsgTruncated ? MsgNo{kMsgNone} : rc;
        }
        case ValueType::Char: {
            if (op != Operator::Add || left.type != ValueType::Char ||
                right.type != ValueType::Char) {
                return kMsgInternalError;
            }
            // The declared size counts characters.
            if (utf8CharCount(left.text) + utf8CharCount(right.text) > result.columnSize) {
                return kMsgConcatOverflow;
            }
            out.type = ValueType::Char;
            out.isNull = false;
            out.text.assign(left.text);
            out.text.append(right.text);
            return kMsgNone;
        }
        default:
            return kMsgInternalError;
    }
}

}  // namespace kelvra
