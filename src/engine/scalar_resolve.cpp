// Resolution of a scalar function call: the name, the special leading word, the overload and the
// result type (CONVERT's target and IFNULL's union included).
#include <sqlext.h>

#include <algorithm>
#include <array>

#include "convert/type_codes.h"
#include "engine/function_table.h"
#include "engine/scalar_functions.h"
#include "resources/ascii.h"

namespace kelvra {

namespace {

constexpr std::array<std::string_view, 8> kIntervals = {
    "SQL_TSI_SECOND", "SQL_TSI_MINUTE", "SQL_TSI_HOUR",    "SQL_TSI_DAY",
    "SQL_TSI_WEEK",   "SQL_TSI_MONTH",  "SQL_TSI_QUARTER", "SQL_TSI_YEAR"};

struct ExtractField {
    std::string_view word;
    char letter;
};
constexpr std::array<ExtractField, 6> kExtractFields = {
    {{"YEAR", 'Y'}, {"MONTH", 'M'}, {"DAY", 'D'}, {"HOUR", 'H'}, {"MINUTE", 'N'}, {"SECOND", 'S'}}};

// CONVERT's type words; sqlType 0 marks the long types, which are not supported.
struct ConvertTarget {
    std::string_view word;
    std::int16_t sqlType;
};
constexpr std::array<ConvertTarget, 21> kConvertTargets = {{
    {"SQL_BIGINT", SQL_BIGINT},       {"SQL_BINARY", SQL_BINARY},
    {"SQL_VARBINARY", SQL_VARBINARY}, {"SQL_BIT", SQL_BIT},
    {"SQL_CHAR", SQL_CHAR},           {"SQL_VARCHAR", SQL_VARCHAR},
    {"SQL_DATE", SQL_DATE},           {"SQL_TYPE_DATE", SQL_DATE},
    {"SQL_DECIMAL", SQL_DECIMAL},     {"SQL_NUMERIC", SQL_NUMERIC},
    {"SQL_DOUBLE", SQL_DOUBLE},       {"SQL_FLOAT", SQL_FLOAT},
    {"SQL_REAL", SQL_REAL},           {"SQL_INTEGER", SQL_INTEGER},
    {"SQL_SMALLINT", SQL_SMALLINT},   {"SQL_TINYINT", SQL_TINYINT},
    {"SQL_TIME", SQL_TIME},           {"SQL_TYPE_TIME", SQL_TIME},
    {"SQL_TIMESTAMP", SQL_TIMESTAMP}, {"SQL_TYPE_TIMESTAMP", SQL_TIMESTAMP},
    {"SQL_LONGVARBINARY", 0},
}};
constexpr std::string_view kLongVarchar = "SQL_LONGVARCHAR";

// What the head of a call decided.
struct Head {
    int index = -1;
    std::int16_t interval = 0;
    char extractField = 0;
    std::int16_t convertTarget = 0;  // an sqlType (ODBC 2 codes)
};

MsgNo fail(MsgNo number, std::string_view argument, std::string& messageArgument) {
    messageArgument.assign(argument);
    return number;
}

MsgNo resolveHead(std::string_view name, std::string_view word, Head& head,
                  std::string& messageArgument) {
    head = Head{};
    head.index = findFunction(name);
    if (head.index < 0) return fail(kMsgFunctionNotFound, name, messageArgument);
    const FunctionEntry& entry = functionTable()[std::size_t(head.index)];
    switch (entry.kind) {
        case ScalarKind::TimestampAdd:
        case ScalarKind::TimestampDiff:
            for (std::size_t i = 0; i < kIntervals.size(); ++i) {
                if (equalsIgnoreCase(word, kIntervals[i])) {
                    head.interval = std::int16_t(i + 1);
                    return kMsgNone;
                }
            }
            if (equalsIgnoreCase(word, "SQL_TSI_FRAC_SECOND"))
                return fail(kMsgNotSupported, word, messageArgument);
            return fail(kMsgFunctionArgument, entry.name, messageArgument);
        case ScalarKind::Extract:
            for (const ExtractField& field : kExtractFields) {
                if (equalsIgnoreCase(word, field.word)) {
                    head.extractField = field.letter;
                    return kMsgNone;
                }
            }
            return fail(kMsgFunctionArgument, entry.name, messageArgument);
        case ScalarKind::Convert:
            if (equalsIgnoreCase(word, kLongVarchar))
                return fail(kMsgNotSupported, word, messageArgument);
            for (const ConvertTarget& target : kConvertTargets) {
                if (!equalsIgnoreCase(word, target.word)) continue;
                if (target.sqlType == 0) return fail(kMsgNotSupported, word, messageArgument);
                head.convertTarget = target.sqlType;
                return kMsgNone;
            }
            return fail(kMsgFunctionArgument, entry.name, messageArgument);
        default:
            if (!word.empty()) return fail(kMsgFunctionArgument, entry.name, messageArgument);
            return kMsgNone;
    }
}

// The overload of `head.index`'s name that the arguments fit.
MsgNo chooseOverload(std::span<const ScalarArgument> args, Head& head,
                     std::string& messageArgument) {
    const auto table = functionTable();
    const std::string_view name = table[std::size_t(head.index)].name;
    for (std::size_t i = std::size_t(head.index); i < table.size() && table[i].name == name; ++i) {
        const FunctionEntry& entry = table[i];
        if (entry.argCount != args.size()) continue;
        bool fits = true;
        for (std::size_t a = 0; a < args.size() && fits; ++a) {
            const ScalarArgument& arg = args[a];
            if (arg.isParameter) return fail(kMsgParamTypeUnknown, {}, messageArgument);
            if (arg.isNullLiteral || arg.type.sqlType == SQL_LONGVARCHAR ||
                arg.type.sqlType == SQL_LONGVARBINARY) {
                return fail(kMsgFunctionArgument, name, messageArgument);
            }
            fits = entry.argTypes[a] == ValueType::None || entry.argTypes[a] == arg.type.valueType;
        }
        if (fits) {
            head.index = int(i);
            return kMsgNone;
        }
    }
    return fail(kMsgFunctionArgument, name, messageArgument);
}

bool isKnownValueType(ValueType type) {
    switch (type) {
        case ValueType::Char:
        case ValueType::Numeric:
        case ValueType::Integer:
        case ValueType::Double:
        case ValueType::Date:
        case ValueType::Time:
        case ValueType::Timestamp:
        case ValueType::Binary:
            return true;
        default:
            return false;
    }
}

bool isDateOrTime(ValueType type) {
    return type == ValueType::Date || type == ValueType::Time || type == ValueType::Timestamp;
}

bool isNumber(ValueType type) {
    return type == ValueType::Numeric || type == ValueType::Integer || type == ValueType::Double;
}

bool isExactSqlType(std::int16_t sqlType) {
    switch (sqlType) {
        case SQL_BIT:
        case SQL_TINYINT:
        case SQL_BIGINT:
        case SQL_NUMERIC:
        case SQL_DECIMAL:
        case SQL_INTEGER:
        case SQL_SMALLINT:
            return true;
        default:
            return false;
    }
}

bool isApproximateSqlType(std::int16_t sqlType) {
    return sqlType == SQL_FLOAT || sqlType == SQL_REAL || sqlType == SQL_DOUBLE;
}

// The argument types an extra check allows: 0, else 1059 for another value type of the model
// and 1003 for a code outside it.
MsgNo checkArgumentType(ValueType type, bool allowTime, std::string_view name,
                        std::string& messageArgument) {
    if (type == ValueType::Char || type == ValueType::Date || type == ValueType::Timestamp ||
        (allowTime && type == ValueType::Time)) {
        return kMsgNone;
    }
    return fail(isKnownValueType(type) ? kMsgFunctionArgument : kMsgNotSupported, name,
                messageArgument);
}

int integerDigits(const TypeDesc& type) {
    return int(type.columnSize) - std::max<int>(type.scale, 0);
}

// IFNULL: the union of the two argument types.
MsgNo unionType(const TypeDesc& a, const TypeDesc& b, TypeDesc& result,
                std::string& messageArgument) {
    const bool bothNumbers = isNumber(a.valueType) && isNumber(b.valueType);
    if (a.valueType != b.valueType && !bothNumbers)
        return fail(kMsgFunctionArgument, "IFNULL", messageArgument);
    result = a;
    if (a.valueType == ValueType::Double || b.valueType == ValueType::Double) {
        result.valueType = ValueType::Double;
    } else if (bothNumbers && a.valueType != b.valueType) {
        result.valueType = ValueType::Numeric;
    }
    const std::int16_t ta = mapDateTimeCode(a.sqlType, 2);
    const std::int16_t tb = mapDateTimeCode(b.sqlType, 2);
    if (isExactSqlType(ta) && isExactSqlType(tb)) {
        for (std::int16_t t : {SQL_DECIMAL, SQL_NUMERIC, SQL_BIGINT, SQL_INTEGER, SQL_SMALLINT,
                               SQL_TINYINT, SQL_BIT}) {
            if (ta == t || tb == t) {
                result.sqlType = t;
                break;
            }
        }
        result.scale = std::int16_t(std::max<int>({a.scale, b.scale, 0}));
        result.columnSize =
            std::uint32_t(result.scale + std::max(integerDigits(a), integerDigits(b)));
    } else if (isExactSqlType(ta) && isApproximateSqlType(tb)) {
        result.sqlType = tb;
        result.columnSize = b.columnSize;
        result.scale = -1;
    } else if (ta == SQL_BINARY || ta == SQL_VARBINARY) {
        result.sqlType = ta == SQL_VARBINARY || tb == SQL_VARBINARY ? SQL_VARBINARY : SQL_BINARY;
        result.columnSize = std::max(a.columnSize, b.columnSize);
    } else if (ta == SQL_CHAR || ta == SQL_VARCHAR) {
        result.sqlType = ta == SQL_VARCHAR || tb == SQL_VARCHAR ? SQL_VARCHAR : SQL_CHAR;
        result.columnSize = std::max(a.columnSize, b.columnSize);
    } else if (ta == SQL_FLOAT) {
        result.sqlType = tb == SQL_DOUBLE ? SQL_DOUBLE : SQL_FLOAT;
        result.columnSize = 15;
        result.scale = -1;
    } else if (ta == SQL_REAL) {
        const bool wider = tb == SQL_DOUBLE || tb == SQL_FLOAT;
        result.sqlType = wider ? tb : SQL_REAL;
        result.columnSize = wider ? 15 : 7;
        result.scale = -1;
    } else if (ta == SQL_DOUBLE) {
        result.sqlType = SQL_DOUBLE;
        result.columnSize = 15;
        result.scale = -1;
    }
    // The date and time types keep argument 1's type, size and scale.
    return kMsgNone;
}

// CONVERT's size for the binary and character targets, by the source's sqlType; 0 for a source
// the target does not take.
std::uint32_t convertedSize(std::int16_t target, const TypeDesc& source) {
    const bool toText = target == SQL_CHAR || target == SQL_VARCHAR;
    // The digits with room for a sign and a point.
    const std::uint32_t decimalText = source.columnSize + 2;
    switch (mapDateTimeCode(source.sqlType, 2)) {
        case SQL_BIT:
            return 1;
        case SQL_TINYINT:
            return toText ? 4 : 1;
        case SQL_BIGINT:
        case SQL_NUMERIC:
        case SQL_DECIMAL:
            return decimalText;
        case SQL_BINARY:
        case SQL_VARBINARY:
            return toText ? std::min<std::uint32_t>(2 * source.columnSize, 255) : source.columnSize;
        case SQL_CHAR:
        case SQL_VARCHAR:
            return source.columnSize;
        case SQL_INTEGER:
            return toText ? 11 : 4;
        case SQL_SMALLINT:
            return toText ? 6 : 2;
        case SQL_REAL:
            return toText ? 13 : 4;
        case SQL_FLOAT:
        case SQL_DOUBLE:
            return toText ? 22 : 8;
        case SQL_DATE:
            return toText ? 10 : 6;
        case SQL_TIME:
            return toText ? 8 : 6;
        case SQL_TIMESTAMP:
            return toText ? 23 : 16;
        default:
            return 0;
    }
}

// CONVERT's result type for the target (an sqlType, ODBC 2 codes) and the source type.
MsgNo convertType(std::int16_t target, const TypeDesc& source, TypeDesc& result,
                  std::string& messageArgument) {
    const ValueType from = source.valueType;
    const bool fromNumber = isNumber(from);
    const bool fromDateOrTime = isDateOrTime(from);
    result = TypeDesc{ValueType::None, target, 0, -1};
    switch (target) {
        case SQL_BIGINT:
            if (fromDateOrTime) return fail(kMsgConversionError, {}, messageArgument);
            result.valueType = ValueType::Numeric;
            result.columnSize = from == ValueType::Char ? 20 : source.columnSize;
            result.scale = 0;
            break;
        case SQL_DECIMAL:
        case SQL_NUMERIC:
            if (fromDateOrTime) return fail(kMsgConversionError, {}, messageArgument);
            result.valueType = ValueType::Numeric;
            if (from == ValueType::Char) {
                result.columnSize = 19;
                result.scale = 3;
            } else if (from == ValueType::Binary || from == ValueType::Double) {
                result.columnSize = source.columnSize;
                result.scale = 3;
            } else {
                result.columnSize = source.columnSize;
                result.scale = std::max<std::int16_t>(source.scale, 0);
            }
            break;
        case SQL_BINARY:
        case SQL_VARBINARY:
        case SQL_CHAR:
        case SQL_VARCHAR:
            result.valueType =
                target == SQL_CHAR || target == SQL_VARCHAR ? ValueType::Char : ValueType::Binary;
            result.columnSize = convertedSize(target, source);
            if (result.columnSize == 0) return fail(kMsgNotSupported, "CONVERT", messageArgument);
            break;
        case SQL_BIT:
        case SQL_TINYINT:
        case SQL_SMALLINT:
        case SQL_INTEGER:
            if (fromDateOrTime) return fail(kMsgConversionError, {}, messageArgument);
            result.valueType = ValueType::Integer;
            result.columnSize = target == SQL_BIT        ? 1
                                : target == SQL_TINYINT  ? 3
                                : target == SQL_SMALLINT ? 5
                                                         : 10;
            result.scale = 0;
            break;
        case SQL_DOUBLE:
        case SQL_FLOAT:
        case SQL_REAL:
            if (fromDateOrTime) return fail(kMsgConversionError, {}, messageArgument);
            result.valueType = ValueType::Double;
            result.columnSize = target == SQL_REAL ? 7 : 15;
            break;
        case SQL_DATE:
        case SQL_TIME:
            // A date has no time of day and a time no date.
            if (fromNumber || (target == SQL_DATE && from == ValueType::Time) ||
                (target == SQL_TIME && from == ValueType::Date)) {
                return fail(kMsgConversionError, {}, messageArgument);
            }
            result.valueType = target == SQL_DATE ? ValueType::Date : ValueType::Time;
            result.columnSize = target == SQL_DATE ? 10 : 8;
            break;
        case SQL_TIMESTAMP:
            if (fromNumber) return fail(kMsgConversionError, {}, messageArgument);
            result.valueType = ValueType::Timestamp;
            result.columnSize = 23;
            result.scale = 3;
            break;
        default:
            return fail(kMsgFunctionArgument, "CONVERT", messageArgument);
    }
    if (!isKnownValueType(from)) return fail(kMsgNotSupported, "CONVERT", messageArgument);
    return kMsgNone;
}

}  // namespace

std::string_view scalarFunctionName(std::int16_t function) {
    const auto table = functionTable();
    return function >= 0 && std::size_t(function) < table.size() ? table[std::size_t(function)].name
                                                                 : std::string_view{};
}

int scalarWordArgument(std::string_view name, std::size_t count) {
    const int index = findFunction(name);
    if (index < 0) return -1;
    switch (functionTable()[std::size_t(index)].kind) {
        case ScalarKind::TimestampAdd:
        case ScalarKind::TimestampDiff:
        case ScalarKind::Extract:
            return count >= 1 ? 0 : -1;
        case ScalarKind::Convert:
            return count >= 2 ? 1 : -1;
        default:
            return -1;
    }
}

MsgNo checkScalarFunctionHead(std::string_view name, std::string_view word,
                              std::string& messageArgument) {
    Head head;
    return resolveHead(name, word, head, messageArgument);
}

MsgNo resolveScalarFunction(std::string_view name, std::string_view word,
                            std::span<const ScalarArgument> args, int odbcVersion, ScalarCall& call,
                            TypeDesc& result, std::string& messageArgument) {
    Head head;
    if (const MsgNo status = resolveHead(name, word, head, messageArgument)) return status;
    if (const MsgNo status = chooseOverload(args, head, messageArgument)) return status;
    const FunctionEntry& entry = functionTable()[std::size_t(head.index)];
    const TypeDesc first = args.empty() ? TypeDesc{} : args[0].type;

    result = TypeDesc{entry.valueType, entry.sqlType, entry.columnSize, entry.scale};
    if (entry.sqlType == 0) result.sqlType = first.sqlType;
    if (entry.columnSize == 0) {
        result.columnSize = first.columnSize;
        result.scale = first.scale;
    }
    switch (entry.kind) {
        case ScalarKind::Concat:
            result.columnSize =
                std::min<std::uint32_t>(args[0].type.columnSize + args[1].type.columnSize, 255);
            break;
        case ScalarKind::Round:
        case ScalarKind::Ceiling:
        case ScalarKind::Floor:
            // Rounding may carry into one more integer digit (9.5 becomes 10.0).
            if (result.valueType == ValueType::Numeric) ++result.columnSize;
            break;
        case ScalarKind::Dayname:
        case ScalarKind::Dayofweek:
        case ScalarKind::Week:
        case ScalarKind::Dayofyear:
            if (const MsgNo status =
                    checkArgumentType(first.valueType, false, entry.name, messageArgument)) {
                return status;
            }
            break;
        case ScalarKind::Extract:
        case ScalarKind::TimestampDiff:
            if (const MsgNo status =
                    checkArgumentType(first.valueType, true, entry.name, messageArgument)) {
                return status;
            }
            if (entry.kind == ScalarKind::Extract) break;
            [[fallthrough]];
        case ScalarKind::TimestampAdd:
            if (const MsgNo status =
                    checkArgumentType(args[1].type.valueType, true, entry.name, messageArgument)) {
                return status;
            }
            break;
        case ScalarKind::Ifnull:
            if (const MsgNo status = unionType(args[0].type, args[1].type, result, messageArgument))
                return status;
            break;
        case ScalarKind::Convert:
            if (const MsgNo status =
                    convertType(head.convertTarget, first, result, messageArgument)) {
                return status;
            }
            break;
        default:
            break;
    }
    result.sqlType = mapDateTimeCode(result.sqlType, odbcVersion);
    call = ScalarCall{};
    call.function = std::int16_t(head.index);
    call.interval = head.interval;
    call.extractField = head.extractField;
    if (entry.kind == ScalarKind::Convert) call.source = first;
    return kMsgNone;
}

}  // namespace kelvra
