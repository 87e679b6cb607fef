#include "sql/typing.h"

#include <sql.h>
#include <sqlext.h>

#include <algorithm>

#include "convert/type_table.h"

namespace kelvra {
namespace {

enum class Family { Exact, Approximate, Character, Date, Time, Timestamp, Binary, Unknown };

Family familyOf(std::int16_t sqlType) {
    switch (odbc2TypeCode(sqlType)) {
        case SQL_BIT:
        case SQL_TINYINT:
        case SQL_BIGINT:
        case SQL_NUMERIC:
        case SQL_DECIMAL:
        case SQL_INTEGER:
        case SQL_SMALLINT:
            return Family::Exact;
        case SQL_FLOAT:
        case SQL_REAL:
        case SQL_DOUBLE:
            return Family::Approximate;
        case SQL_CHAR:
        case SQL_VARCHAR:
        case SQL_LONGVARCHAR:
            return Family::Character;
        case SQL_DATE:
            return Family::Date;
        case SQL_TIME:
            return Family::Time;
        case SQL_TIMESTAMP:
            return Family::Timestamp;
        case SQL_BINARY:
        case SQL_VARBINARY:
        case SQL_LONGVARBINARY:
            return Family::Binary;
        default:
            return Family::Unknown;
    }
}

bool isNumber(ValueType t) {
    return t == ValueType::Integer || t == ValueType::Numeric || t == ValueType::Double;
}

bool isBetweenOrIn(Operator op) {
    return op == Operator::Between || op == Operator::NotBetween || op == Operator::In ||
           op == Operator::NotIn;
}

bool isLike(Operator op) {
    return op == Operator::Like || op == Operator::NotLike;
}

// Comparisons in the wide sense: everything that compares values and the assignment.
bool compares(Operator op) {
    return isComparison(op) || isBetweenOrIn(op) || op == Operator::Assignment;
}

bool isArithmetic(Operator op) {
    return op == Operator::Add || op == Operator::Subtract || op == Operator::Multiply ||
           op == Operator::Divide;
}

std::int32_t integerDigits(const TypeDesc& t) {
    return static_cast<std::int32_t>(t.columnSize) - std::max<std::int16_t>(t.scale, 0);
}

// The exact type of a result: the first of the ranking that either side has.
std::int16_t exactResultType(std::int16_t a, std::int16_t b) {
    static constexpr std::int16_t kRanking[] = {SQL_DECIMAL,  SQL_NUMERIC, SQL_BIGINT, SQL_INTEGER,
                                                SQL_SMALLINT, SQL_TINYINT, SQL_BIT};
    for (std::int16_t t : kRanking) {
        if (a == t || b == t) return t;
    }
    return a;
}

// Sizes of the exact types whose size is fixed; 0 for those sized by their digits.
std::uint32_t fixedExactSize(std::int16_t sqlType) {
    switch (sqlType) {
        case SQL_INTEGER:
            return 10;
        case SQL_SMALLINT:
            return 5;
        case SQL_TINYINT:
            return 3;
        case SQL_BIT:
            return 1;
        default:
            return 0;
    }
}

ValueType numberValueType(ValueType a, ValueType b) {
    if (a == ValueType::Double || b == ValueType::Double) return ValueType::Double;
    if (a == ValueType::Numeric || b == ValueType::Numeric) return ValueType::Numeric;
    return ValueType::Integer;
}

// Two numbers: the exact rules, or the approximate ones when a side is approximate.
MsgNo numberResult(Operator op, const TypeDesc& left, const TypeDesc& right, TypeDesc& result) {
    const Family lf = familyOf(left.sqlType);
    const Family rf = familyOf(right.sqlType);
    if (isLike(op)) return kMsgInvalidOperand;
    result.valueType = numberValueType(left.valueType, right.valueType);
    if (lf == Family::Approximate || rf == Family::Approximate) {
        const TypeDesc& approximate = lf == Family::Approximate ? left : right;
        result.sqlType = approximate.sqlType;
        result.columnSize = approximate.columnSize;
        result.scale = -1;
        result.valueType = ValueType::Double;
        return kMsgNone;
    }
    result.sqlType = exactResultType(left.sqlType, right.sqlType);
    std::int32_t scale = std::max<std::int16_t>(left.scale, 0);
    std::int32_t size = static_cast<std::int32_t>(left.columnSize);
    if (op == Operator::Add || op == Operator::Subtract) {
        scale = std::max(std::max<std::int16_t>(left.scale, 0), std::max<std::int16_t>(right.scale, 0));
        size = scale + std::max(integerDigits(left), integerDigits(right)) + 1;
    } else if (op == Operator::Multiply || op == Operator::Divide) {
        scale = std::max<std::int16_t>(left.scale, 0) + std::max<std::int16_t>(right.scale, 0);
        size = static_cast<std::int32_t>(left.columnSize + right.columnSize);
    }
    const std::int32_t limit = result.sqlType == SQL_BIGINT ? 20 : 19;
    size = std::clamp(size, 1, limit);
    scale = std::min(scale, size);
    if (const std::uint32_t fixed = fixedExactSize(result.sqlType)) {
        result.columnSize = fixed;
        result.scale = 0;
    } else {
        result.columnSize = static_cast<std::uint32_t>(size);
        result.scale = static_cast<std::int16_t>(scale);
    }
    return kMsgNone;
}

// Both sides typed with the same value type.
MsgNo sameTypeResult(Operator op, const TypeDesc& left, const TypeDesc& right, TypeDesc& result) {
    switch (left.valueType) {
        case ValueType::Char: {
            if (op == Operator::Add) {
                if (left.sqlType == SQL_LONGVARCHAR || right.sqlType == SQL_LONGVARCHAR) {
                    return kMsgInvalidOperand;
                }
                result = right;
                result.columnSize = std::min<std::uint32_t>(left.columnSize + right.columnSize, 255);
                return kMsgNone;
            }
            if (!compares(op) && !isLike(op)) return kMsgInvalidOperand;
            result = right;
            return kMsgNone;
        }
        case ValueType::Integer:
        case ValueType::Numeric:
        case ValueType::Double:
            return numberResult(op, left, right, result);
        case ValueType::Date:
            if (op == Operator::Subtract) {
                result = TypeDesc{ValueType::Integer, SQL_INTEGER, 10, 0};
                return kMsgNone;
            }
            [[fallthrough]];
        case ValueType::Time:
        case ValueType::Timestamp:
            if (!compares(op)) return kMsgInvalidOperand;
            result = left;
            return kMsgNone;
        case ValueType::Binary:
            if (op != Operator::Equal && op != Operator::NotEqual && op != Operator::Assignment &&
                op != Operator::In && op != Operator::NotIn) {
                return kMsgInvalidOperand;
            }
            result = left;
            return kMsgNone;
        default:
            return kMsgNotSupported;
    }
}

// Both sides typed with different value types.
MsgNo mixedTypeResult(Operator op, const TypeDesc& left, const TypeDesc& right, TypeDesc& result) {
    const ValueType l = left.valueType;
    const ValueType r = right.valueType;
    if (isNumber(l) && isNumber(r)) return numberResult(op, left, right, result);
    if (l == ValueType::Date && isNumber(r)) {
        if (op != Operator::Add && op != Operator::Subtract) return kMsgInvalidOperand;
        result = left;
        return kMsgNone;
    }
    if (isNumber(l) && r == ValueType::Date) {
        if (op != Operator::Add) return kMsgInvalidOperand;
        result = right;
        return kMsgNone;
    }
    // A file attachment column takes text: the file's content.
    if (op == Operator::Assignment && l == ValueType::Binary && r == ValueType::Char) {
        result = left;
        return kMsgNone;
    }
    // A date and a timestamp compare as timestamps (the date at midnight).
    const bool dateAndTimestamp = (l == ValueType::Date && r == ValueType::Timestamp) ||
                                  (l == ValueType::Timestamp && r == ValueType::Date);
    if (dateAndTimestamp && compares(op)) {
        result = l == ValueType::Timestamp ? left : right;
        return kMsgNone;
    }
    return kMsgInvalidOperand;
}

// One side untyped: it takes the partner's type, and the partner decides what is allowed.
MsgNo untypedResult(Operator op, const TypeDesc& partner, TypeDesc& result) {
    switch (partner.valueType) {
        case ValueType::Char:
            if (op == Operator::Add) {
                result = TypeDesc{ValueType::Char, SQL_VARCHAR, 255, -1};
                return kMsgNone;
            }
            if (!compares(op) && !isLike(op)) return kMsgInvalidOperand;
            break;
        case ValueType::Integer:
        case ValueType::Numeric:
        case ValueType::Double:
            if (!compares(op) && !isArithmetic(op)) return kMsgInvalidOperand;
            break;
        case ValueType::Date:
            if (op == Operator::Subtract) {
                result = TypeDesc{ValueType::Integer, SQL_INTEGER, 10, 0};
                return kMsgNone;
            }
            if (!compares(op) && op != Operator::Add) return kMsgInvalidOperand;
            break;
        case ValueType::Time:
        case ValueType::Timestamp:
            if (!compares(op)) return kMsgInvalidOperand;
            break;
        case ValueType::Binary:
            if (op != Operator::Equal && op != Operator::NotEqual && op != Operator::Assignment &&
                op != Operator::In && op != Operator::NotIn) {
                return kMsgInvalidOperand;
            }
            break;
        default:
            return kMsgNotSupported;
    }
    result = partner;
    return kMsgNone;
}

}  // namespace

ValueType valueTypeOf(std::int16_t sqlType) {
    switch (familyOf(sqlType)) {
        case Family::Exact:
            switch (odbc2TypeCode(sqlType)) {
                case SQL_BIGINT:
                case SQL_NUMERIC:
                case SQL_DECIMAL:
                    return ValueType::Numeric;
                default:
                    return ValueType::Integer;
            }
        case Family::Approximate:
            return ValueType::Double;
        case Family::Character:
            return ValueType::Char;
        case Family::Date:
            return ValueType::Date;
        case Family::Time:
            return ValueType::Time;
        case Family::Timestamp:
            return ValueType::Timestamp;
        case Family::Binary:
            return ValueType::Binary;
        default:
            return ValueType::None;
    }
}

TypeDesc columnType(std::int16_t sqlType, std::int32_t columnSize, std::int16_t decimalDigits) {
    TypeDesc t;
    t.valueType = valueTypeOf(sqlType);
    t.sqlType = odbc2TypeCode(sqlType);
    t.columnSize = static_cast<std::uint32_t>(std::max(columnSize, 0));
    const Family f = familyOf(sqlType);
    const bool scaled = f == Family::Exact || f == Family::Timestamp || f == Family::Time;
    t.scale = scaled ? decimalDigits : std::int16_t{-1};
    return t;
}

TypeDesc booleanType() {
    return TypeDesc{ValueType::Integer, SQL_BIT, 1, 0};
}

std::string_view operatorText(Operator op) {
    switch (op) {
        case Operator::Assignment:
            return "<assignment>";
        case Operator::Equal:
            return "=";
        case Operator::NotEqual:
            return "<>";
        case Operator::LessEqual:
            return "<=";
        case Operator::Less:
            return "<";
        case Operator::GreaterEqual:
            return ">=";
        case Operator::Greater:
            return ">";
        case Operator::Between:
            return "BETWEEN";
        case Operator::NotBetween:
            return "NOT BETWEEN";
        case Operator::In:
            return "IN";
        case Operator::NotIn:
            return "NOT IN";
        case Operator::Like:
            return "LIKE";
        case Operator::NotLike:
            return "NOT LIKE";
        case Operator::Negate:
        case Operator::Subtract:
            return "-";
        case Operator::Add:
            return "+";
        case Operator::Multiply:
            return "*";
        case Operator::Divide:
            return "/";
        case Operator::Not:
            return "NOT";
        case Operator::And:
            return "AND";
        case Operator::Or:
            return "OR";
        case Operator::Exists:
            return "EXISTS";
    }
    return "";
}

bool isComparison(Operator op) {
    return op >= Operator::Equal && op <= Operator::Greater;
}

MsgNo TypeOperator(Operator op, TypeDesc& left, TypeDesc& right, TypeDesc& result,
                   std::string& argument) {
    MsgNo rc = kMsgNone;
    if (op == Operator::Negate) {
        if (!isNumber(left.valueType)) {
            rc = left.valueType == ValueType::None ? kMsgParamTypeUnknown : kMsgInvalidOperand;
        } else {
            result = left;
        }
    } else {
        const bool leftUntyped = left.valueType == ValueType::None;
        const bool rightUntyped = right.valueType == ValueType::None;
        if (leftUntyped && rightUntyped) {
            rc = kMsgParamTypeUnknown;
        } else if (leftUntyped || rightUntyped) {
            const TypeDesc partner = leftUntyped ? right : left;
            rc = untypedResult(op, partner, result);
            if (rc == kMsgNone) (leftUntyped ? left : right) = partner;
        } else if (left.valueType == right.valueType) {
            rc = sameTypeResult(op, left, right, result);
        } else {
            rc = mixedTypeResult(op, left, right, result);
        }
    }
    if (rc == kMsgNotSupported) {
        argument = std::to_string(left.valueType == ValueType::None ? right.sqlType : left.sqlType);
    } else if (rc == kMsgInvalidOperand) {
        argument = operatorText(op);
    }
    return rc;
}

}  // namespace kelvra
