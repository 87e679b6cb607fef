#include "convert/source_value.h"

#include <cmath>
#include <cstring>

#include "convert/datetime_text.h"
#include "convert/number_text.h"
#include "convert/numeric_struct.h"

namespace kelvra {

namespace {

template <typename T>
T load(const void* data) {
    T value;
    std::memcpy(&value, data, sizeof value);
    return value;
}

// A fixed-size value of `size` bytes: integers (signed or not), float, double, the date and
// time structs and the numeric struct.
enum class Fixed {
    Int8,
    UInt8,
    Int16,
    UInt16,
    Int32,
    UInt32,
    Int64,
    UInt64,
    Float,
    Double,
    Numeric,
    Date,
    Time,
    Timestamp
};

std::size_t fixedSize(Fixed fixed) {
    switch (fixed) {
        case Fixed::Int8:
        case Fixed::UInt8:
            return 1;
        case Fixed::Int16:
        case Fixed::UInt16:
            return 2;
        case Fixed::Int32:
        case Fixed::UInt32:
        case Fixed::Float:
            return 4;
        case Fixed::Int64:
        case Fixed::UInt64:
        case Fixed::Double:
            return 8;
        case Fixed::Numeric:
            return sizeof(SQL_NUMERIC_STRUCT);
        case Fixed::Date:
            return sizeof(DateValue);
        case Fixed::Time:
            return sizeof(TimeValue);
        case Fixed::Timestamp:
            return sizeof(TimestampValue);
    }
    return 0;
}

void decodeFixed(Fixed fixed, const void* data, SourceValue& out) {
    out.bytes = std::string_view(static_cast<const char*>(data), fixedSize(fixed));
    out.kind = SourceKind::Exact;
    switch (fixed) {
        case Fixed::Int8:
            out.exact = load<std::int8_t>(data);
            break;
        case Fixed::UInt8:
            out.exact = load<std::uint8_t>(data);
            break;
        case Fixed::Int16:
            out.exact = load<std::int16_t>(data);
            break;
        case Fixed::UInt16:
            out.exact = load<std::uint16_t>(data);
            break;
        case Fixed::Int32:
            out.exact = load<std::int32_t>(data);
            break;
        case Fixed::UInt32:
            out.exact = load<std::uint32_t>(data);
            break;
        case Fixed::Int64:
            out.exact = load<std::int64_t>(data);
            break;
        case Fixed::UInt64:
            out.exact = load<std::uint64_t>(data);
            break;
        case Fixed::Float:
            out.kind = SourceKind::Floating;
            out.floating = load<float>(data);
            break;
        case Fixed::Double:
            out.kind = SourceKind::Floating;
            out.floating = load<double>(data);
            break;
        case Fixed::Numeric:
            out.kind = SourceKind::Decimal;
            out.decimal = numericStructToDecimal(load<SQL_NUMERIC_STRUCT>(data));
            break;
        case Fixed::Date:
            out.kind = SourceKind::Date;
            out.date = load<DateValue>(data);
            break;
        case Fixed::Time:
            out.kind = SourceKind::Time;
            out.time = load<TimeValue>(data);
            break;
        case Fixed::Timestamp:
            out.kind = SourceKind::Timestamp;
            out.timestamp = load<TimestampValue>(data);
            break;
    }
}

// Character or binary bytes of a length (SQL_NTS measures character data up to its NUL).
bool decodeBytes(SourceKind kind, const void* data, SQLLEN length, SourceValue& out) {
    out.kind = kind;
    if (length == SQL_NTS && kind == SourceKind::Text)
        length = SQLLEN(std::strlen(static_cast<const char*>(data)));
    if (length < 0) return false;
    out.bytes = std::string_view(static_cast<const char*>(data), std::size_t(length));
    return true;
}

}  // namespace

MsgNo decodeSqlValue(SQLSMALLINT sqlType, bool isUnsigned, const void* data, SQLLEN length,
                     SourceValue& out) {
    out = SourceValue{};
    out.sqlType = sqlType;
    out.isUnsigned = isUnsigned;
    Fixed fixed;
    SourceKind bytesKind = SourceKind::Text;
    switch (sqlType) {
        case SQL_BIT:
            fixed = Fixed::UInt8;
            break;
        case SQL_TINYINT:
            fixed = isUnsigned ? Fixed::UInt8 : Fixed::Int8;
            break;
        case SQL_SMALLINT:
            fixed = isUnsigned ? Fixed::UInt16 : Fixed::Int16;
            break;
        case SQL_INTEGER:
            fixed = isUnsigned ? Fixed::UInt32 : Fixed::Int32;
            break;
        case SQL_REAL:
            fixed = Fixed::Float;
            break;
        case SQL_FLOAT:
        case SQL_DOUBLE:
            fixed = Fixed::Double;
            break;
        case SQL_DATE:
        case SQL_TYPE_DATE:
            fixed = Fixed::Date;
            break;
        case SQL_TIME:
        case SQL_TYPE_TIME:
            fixed = Fixed::Time;
            break;
        case SQL_TIMESTAMP:
        case SQL_TYPE_TIMESTAMP:
            fixed = Fixed::Timestamp;
            break;
        case SQL_BINARY:
        case SQL_VARBINARY:
        case SQL_LONGVARBINARY:
            bytesKind = SourceKind::Bytes;
            [[fallthrough]];
        case SQL_CHAR:
        case SQL_VARCHAR:
        case SQL_LONGVARCHAR:
            if (data == nullptr || length == SQL_NULL_DATA) {
                out.kind = bytesKind;
                out.isNull = true;
                return kMsgNone;
            }
            return decodeBytes(bytesKind, data, length, out) ? kMsgNone : kMsgInternalError;
        default:
            return kMsgNotCapable;
    }
    if (data == nullptr || length == SQL_NULL_DATA) {
        out.isNull = true;
        return kMsgNone;
    }
    decodeFixed(fixed, data, out);
    return kMsgNone;
}

MsgNo decodeClientValue(SQLSMALLINT cType, const void* data, SQLLEN length, SourceValue& out) {
    out = SourceValue{};
    Fixed fixed;
    SourceKind bytesKind = SourceKind::Text;
    switch (cType) {
        case SQL_C_BIT:
            fixed = Fixed::UInt8;
            out.sqlType = SQL_BIT;
            break;
        case SQL_C_TINYINT:
        case SQL_C_STINYINT:
            fixed = Fixed::Int8;
            out.sqlType = SQL_TINYINT;
            break;
        case SQL_C_UTINYINT:
            fixed = Fixed::UInt8;
            out.sqlType = SQL_TINYINT;
            break;
        case SQL_C_SHORT:
        case SQL_C_SSHORT:
            fixed = Fixed::Int16;
            out.sqlType = SQL_SMALLINT;
            break;
        case SQL_C_USHORT:
            fixed = Fixed::UInt16;
            out.sqlType = SQL_SMALLINT;
            break;
        case SQL_C_LONG:
        case SQL_C_SLONG:
            fixed = Fixed::Int32;
            out.sqlType = SQL_INTEGER;
            break;
        case SQL_C_ULONG:
            fixed = Fixed::UInt32;
            out.sqlType = SQL_INTEGER;
            break;
        case SQL_C_SBIGINT:
            fixed = Fixed::Int64;
            out.sqlType = SQL_BIGINT;
            break;
        case SQL_C_UBIGINT:
            fixed = Fixed::UInt64;
            out.sqlType = SQL_BIGINT;
            break;
        case SQL_C_FLOAT:
            fixed = Fixed::Float;
            out.sqlType = SQL_REAL;
            break;
        case SQL_C_DOUBLE:
            fixed = Fixed::Double;
            out.sqlType = SQL_DOUBLE;
            break;
        case SQL_C_NUMERIC:
            fixed = Fixed::Numeric;
            out.sqlType = SQL_NUMERIC;
            break;
        case SQL_C_DATE:
        case SQL_C_TYPE_DATE:
            fixed = Fixed::Date;
            out.sqlType = SQL_TYPE_DATE;
            break;
        case SQL_C_TIME:
        case SQL_C_TYPE_TIME:
            fixed = Fixed::Time;
            out.sqlType = SQL_TYPE_TIME;
            break;
        case SQL_C_TIMESTAMP:
        case SQL_C_TYPE_TIMESTAMP:
            fixed = Fixed::Timestamp;
            out.sqlType = SQL_TYPE_TIMESTAMP;
            break;
        case SQL_C_BINARY:
            bytesKind = SourceKind::Bytes;
            out.sqlType = SQL_BINARY;
            [[fallthrough]];
        case SQL_C_CHAR:
            out.kind = bytesKind;
            if (data == nullptr || length == SQL_NULL_DATA) {
                out.isNull = true;
                return kMsgNone;
            }
            return decodeBytes(bytesKind, data, length, out) ? kMsgNone : kMsgAssignmentError;
        default:
            return kMsgConversionError;
    }
    out.isUnsigned = fixed == Fixed::UInt8 || fixed == Fixed::UInt16 || fixed == Fixed::UInt32 ||
                     fixed == Fixed::UInt64;
    if (data == nullptr || length == SQL_NULL_DATA) {
        out.isNull = true;
        return kMsgNone;
    }
    decodeFixed(fixed, data, out);
    return kMsgNone;
}

MsgNo decodeValue(const Value& value, SourceValue& out) {
    out = SourceValue{};
    out.isNull = value.isNull;
    switch (value.type) {
        case ValueType::None:
            if (!value.isNull) return kMsgInternalError;
            [[fallthrough]];
        case ValueType::Char:
        case ValueType::Numeric:
            out.bytes = value.text;
            break;
        case ValueType::Binary:
            out.kind = SourceKind::Bytes;
            out.sqlType = SQL_BINARY;
            out.bytes = value.text;
            break;
        case ValueType::Integer:
        case ValueType::Double:
            out.sqlType = value.type == ValueType::Integer ? SQL_INTEGER : SQL_DOUBLE;
            // Integral values within 64 bits convert exactly; others keep the double.
            if (value.number >= -9.2e18 && value.number <= 9.2e18 &&
                std::trunc(value.number) == value.number) {
                out.kind = SourceKind::Exact;
                out.exact = static_cast<long long>(value.number);
            } else {
                out.kind = SourceKind::Floating;
                out.floating = value.number;
            }
            break;
        case ValueType::Date:
            out.kind = SourceKind::Date;
            out.sqlType = SQL_TYPE_DATE;
            out.date = value.date;
            break;
        case ValueType::Time:
            out.kind = SourceKind::Time;
            out.sqlType = SQL_TYPE_TIME;
            out.time = value.time;
            break;
        case ValueType::Timestamp:
            out.kind = SourceKind::Timestamp;
            out.sqlType = SQL_TYPE_TIMESTAMP;
            out.timestamp = value.timestamp;
            break;
    }
    return kMsgNone;
}

std::string sourceText(const SourceValue& source, std::size_t maxChars) {
    switch (source.kind) {
        case SourceKind::Exact:
            return decimalText(decimalFromInteger(source.exact));
        case SourceKind::Floating:
            return numberText(source.floating, maxChars);
        case SourceKind::Decimal:
            return decimalText(source.decimal);
        case SourceKind::Text:
        case SourceKind::Bytes:
            return std::string(source.bytes);
        case SourceKind::Date:
            return dateText(source.date);
        case SourceKind::Time:
            return timeText(source.time);
        case SourceKind::Timestamp:
            return timestampText(source.timestamp);
    }
    return {};
}

}  // namespace kelvra
