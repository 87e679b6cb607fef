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

// How a value lies in memory: fixed-size, or character or binary bytes with a length.
struct Layout {
    bool isBytes = false;
    SourceKind bytesKind = SourceKind::Text;
    Fixed fixed = Fixed::Int8;
};

constexpr Layout fixedLayout(Fixed fixed) {
    return {false, SourceKind::Text, fixed};
}
constexpr Layout bytesLayout(SourceKind kind) {
    return {true, kind, Fixed::Int8};
}

// NULL for a null pointer or SQL_NULL_DATA; bytes of a length (SQL_NTS measures character data
// up to its NUL; another negative length gives `badLength`); or the fixed-size value.
MsgNo decodeLayout(const Layout& layout, const void* data, SQLLEN length, MsgNo badLength,
                   SourceValue& out) {
    if (layout.isBytes) out.kind = layout.bytesKind;
    if (data == nullptr || length == SQL_NULL_DATA) {
        out.isNull = true;
        return kMsgNone;
    }
    if (!layout.isBytes) {
        decodeFixed(layout.fixed, data, out);
        return kMsgNone;
    }
    if (length == SQL_NTS && layout.bytesKind == SourceKind::Text) {
        length = SQLLEN(std::strlen(static_cast<const char*>(data)));
    }
    if (length < 0) return badLength;
    out.bytes = std::string_view(static_cast<const char*>(data), std::size_t(length));
    return kMsgNone;
}

bool sqlLayout(SQLSMALLINT sqlType, bool isUnsigned, Layout& layout) {
    switch (sqlType) {
        case SQL_BIT:
            layout = fixedLayout(Fixed::UInt8);
            return true;
        case SQL_TINYINT:
            layout = fixedLayout(isUnsigned ? Fixed::UInt8 : Fixed::Int8);
            return true;
        case SQL_SMALLINT:
            layout = fixedLayout(isUnsigned ? Fixed::UInt16 : Fixed::Int16);
            return true;
        case SQL_INTEGER:
            layout = fixedLayout(isUnsigned ? Fixed::UInt32 : Fixed::Int32);
            return true;
        case SQL_REAL:
            layout = fixedLayout(Fixed::Float);
            return true;
        case SQL_FLOAT:
        case SQL_DOUBLE:
            layout = fixedLayout(Fixed::Double);
            return true;
        case SQL_DATE:
        case SQL_TYPE_DATE:
            layout = fixedLayout(Fixed::Date);
            return true;
        case SQL_TIME:
        case SQL_TYPE_TIME:
            layout = fixedLayout(Fixed::Time);
            return true;
        case SQL_TIMESTAMP:
        case SQL_TYPE_TIMESTAMP:
            layout = fixedLayout(Fixed::Timestamp);
            return true;
        case SQL_BINARY:
        case SQL_VARBINARY:
        case SQL_LONGVARBINARY:
            layout = bytesLayout(SourceKind::Bytes);
            return true;
        case SQL_CHAR:
        case SQL_VARCHAR:
        case SQL_LONGVARCHAR:
            layout = bytesLayout(SourceKind::Text);
            return true;
        default:
            return false;
    }
}

bool clientLayout(SQLSMALLINT cType, Layout& layout) {
    switch (cType) {
        case SQL_C_BIT:
        case SQL_C_UTINYINT:
            layout = fixedLayout(Fixed::UInt8);
            return true;
        case SQL_C_TINYINT:
        case SQL_C_STINYINT:
            layout = fixedLayout(Fixed::Int8);
            return true;
        case SQL_C_SHORT:
        case SQL_C_SSHORT:
            layout = fixedLayout(Fixed::Int16);
            return true;
        case SQL_C_USHORT:
            layout = fixedLayout(Fixed::UInt16);
            return true;
        case SQL_C_LONG:
        case SQL_C_SLONG:
            layout = fixedLayout(Fixed::Int32);
            return true;
        case SQL_C_ULONG:
            layout = fixedLayout(Fixed::UInt32);
            return true;
        case SQL_C_SBIGINT:
            layout = fixedLayout(Fixed::Int64);
            return true;
        case SQL_C_UBIGINT:
            layout = fixedLayout(Fixed::UInt64);
            return true;
        case SQL_C_FLOAT:
            layout = fixedLayout(Fixed::Float);
            return true;
        case SQL_C_DOUBLE:
            layout = fixedLayout(Fixed::Double);
            return true;
        case SQL_C_NUMERIC:
            layout = fixedLayout(Fixed::Numeric);
            return true;
        case SQL_C_DATE:
        case SQL_C_TYPE_DATE:
            layout = fixedLayout(Fixed::Date);
            return true;
        case SQL_C_TIME:
        case SQL_C_TYPE_TIME:
            layout = fixedLayout(Fixed::Time);
            return true;
        case SQL_C_TIMESTAMP:
        case SQL_C_TYPE_TIMESTAMP:
            layout = fixedLayout(Fixed::Timestamp);
            return true;
        case SQL_C_BINARY:
            layout = bytesLayout(SourceKind::Bytes);
            return true;
        case SQL_C_CHAR:
            layout = bytesLayout(SourceKind::Text);
            return true;
        default:
            return false;
    }
}

}  // namespace

MsgNo decodeSqlValue(SQLSMALLINT sqlType, bool isUnsigned, const void* data, SQLLEN length,
                     SourceValue& out) {
    out.reset();
    out.sqlType = sqlType;
    out.isUnsigned = isUnsigned;
    Layout layout;
    if (!sqlLayout(sqlType, isUnsigned, layout)) return kMsgNotCapable;
    return decodeLayout(layout, data, length, kMsgInternalError, out);
}

MsgNo decodeClientValue(SQLSMALLINT cType, const void* data, SQLLEN length, SourceValue& out) {
    out.reset();
    Layout layout;
    if (!clientLayout(cType, layout)) return kMsgConversionError;
    return decodeLayout(layout, data, length, kMsgAssignmentError, out);
}

MsgNo decodeValue(const Value& value, SourceValue& out) {
    out.reset();
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
