#include "convert/result_convert.h"

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>

#include "convert/calendar.h"
#include "convert/datetime_text.h"
#include "convert/guarded.h"
#include "convert/number_text.h"
#include "convert/numeric_struct.h"
#include "convert/source_value.h"
#include "convert/type_codes.h"
#include "convert/wide_text.h"

namespace kelvra {

namespace {

enum class Target {
    Integer,
    Float,
    Double,
    Char,
    WChar,
    Binary,
    Numeric,
    Date,
    Time,
    Timestamp,
    Unknown
};

struct TargetInfo {
    Target kind = Target::Unknown;
    std::size_t size = 0;  // bytes of a fixed-size C type
    __int128 min = 0;      // integer targets: the range
    __int128 max = 0;
};

template <typename T>
TargetInfo integerTarget() {
    return {Target::Integer, sizeof(T), std::numeric_limits<T>::min(),
            std::numeric_limits<T>::max()};
}

TargetInfo describeTarget(SQLSMALLINT cType) {
    switch (cType) {
        case SQL_C_BIT:
            return {Target::Integer, 1, 0, 1};
        case SQL_C_TINYINT:
        case SQL_C_STINYINT:
            return integerTarget<std::int8_t>();
        case SQL_C_UTINYINT:
            return integerTarget<std::uint8_t>();
        case SQL_C_SHORT:
        case SQL_C_SSHORT:
            return integerTarget<std::int16_t>();
        case SQL_C_USHORT:
            return integerTarget<std::uint16_t>();
        case SQL_C_LONG:
        case SQL_C_SLONG:
            return integerTarget<std::int32_t>();
        case SQL_C_ULONG:
            return integerTarget<std::uint32_t>();
        case SQL_C_SBIGINT:
            return integerTarget<std::int64_t>();
        case SQL_C_UBIGINT:
            return integerTarget<std::uint64_t>();
        case SQL_C_FLOAT:
            return {Target::Float, sizeof(float)};
        case SQL_C_DOUBLE:
            return {Target::Double, sizeof(double)};
        case SQL_C_CHAR:
            return {Target::Char};
        case SQL_C_WCHAR:
            return {Target::WChar};
        case SQL_C_BINARY:
            return {Target::Binary};
        case SQL_C_NUMERIC:
            return {Target::Numeric, sizeof(SQL_NUMERIC_STRUCT)};
        case SQL_C_DATE:
        case SQL_C_TYPE_DATE:
            return {Target::Date, sizeof(DateValue)};
        case SQL_C_TIME:
        case SQL_C_TYPE_TIME:
            return {Target::Time, sizeof(TimeValue)};
        case SQL_C_TIMESTAMP:
        case SQL_C_TYPE_TIMESTAMP:
            return {Target::Timestamp, sizeof(TimestampValue)};
        default:
            return {};
    }
}

bool isAllowed(SourceKind source, Target target) {
    if (target == Target::Unknown) return false;
    const bool temporal =
        target == Target::Date || target == Target::Time || target == Target::Timestamp;
    const bool textual =
        target == Target::Char || target == Target::WChar || target == Target::Binary;
    switch (source) {
        case SourceKind::Exact:
        case SourceKind::Floating:
        case SourceKind::Decimal:
            return !temporal;
        case SourceKind::Text:
        case SourceKind::Bytes:
            return true;
        case SourceKind::Date:
            return textual || target == Target::Date || target == Target::Timestamp;
        case SourceKind::Time:
            return textual || target == Target::Time || target == Target::Timestamp;
        case SourceKind::Timestamp:
            return textual || temporal;
    }
    return false;
}

void storeFixed(const ClientBuffer& target, const void* bytes, std::size_t size) {
    if (target.data) std::memcpy(target.data, bytes, size);
    if (target.lengthOut) *target.lengthOut = SQLLEN(size);
}

// Bytes from `offset` into a character (NUL-terminated) or binary buffer.
MsgNo copyPiece(std::string_view bytes, SQLLEN offset, const ClientBuffer& target, bool terminate) {
    const std::size_t from = offset > 0 ? std::size_t(offset) : 0;
    const std::size_t remaining = from < bytes.size() ? bytes.size() - from : 0;
    const std::size_t buffer = target.bufferLength > 0 ? std::size_t(target.bufferLength) : 0;
    const std::size_t room = terminate && buffer > 0 ? buffer - 1 : buffer;
    const std::size_t count = std::min(remaining, room);
    if (target.data) {
        if (count > 0) std::memcpy(target.data, bytes.data() + from, count);
        if (terminate && buffer > 0) static_cast<char*>(target.data)[count] = '\0';
    }
    if (target.lengthOut) *target.lengthOut = SQLLEN(remaining);
    if (target.deliveredOut) *target.deliveredOut = target.data ? SQLLEN(count) : 0;
    return remaining > room ? kMsgTruncated : kMsgNone;
}

// UTF-16 code units (as bytes) from `offset` into a wide-character buffer, terminated by a
// two-byte NUL: whole units, and whole characters: a cut never leaves the first half of a
// surrogate pair last, except in a buffer with room for one unit only, where that half is the
// only way forward for a client reading the value in pieces.
MsgNo copyWidePiece(std::string_view units, SQLLEN offset, const ClientBuffer& target) {
    const std::size_t from = offset > 0 ? std::size_t(offset) & ~std::size_t(1) : 0;
    const std::size_t remaining = from < units.size() ? units.size() - from : 0;
    const std::size_t buffer = target.bufferLength > 0 ? std::size_t(target.bufferLength) : 0;
    const std::size_t room = buffer >= 2 ? (buffer - 2) & ~std::size_t(1) : 0;
    std::size_t count = std::min(remaining, room);
    if (count > 2 && count < remaining) {
        char16_t last;
        std::memcpy(&last, units.data() + from + count - 2, sizeof last);
        if (last >= 0xD800 && last <= 0xDBFF) count -= 2;
    }
    if (target.data && buffer >= 2) {
        if (count > 0) std::memcpy(target.data, units.data() + from, count);
        std::memset(static_cast<char*>(target.data) + count, 0, 2);
    }
    if (target.lengthOut) *target.lengthOut = SQLLEN(remaining);
    if (target.deliveredOut) *target.deliveredOut = target.data && buffer >= 2 ? SQLLEN(count) : 0;
    return remaining > count ? kMsgTruncated : kMsgNone;
}

MsgNo decimalOf(const SourceValue& source, Decimal& out) {
    switch (source.kind) {
        case SourceKind::Exact:
            out = decimalFromInteger(source.exact);
            return kMsgNone;
        case SourceKind::Floating:
            return decimalFromDouble(source.floating, out);
        case SourceKind::Decimal:
            out = source.decimal;
            return kMsgNone;
        default:
            return parseDecimal(source.bytes, out);
    }
}

MsgNo integerOf(const SourceValue& source, __int128& out, bool& fractionDropped) {
    fractionDropped = false;
    if (source.kind == SourceKind::Exact) {
        out = source.exact;
        return kMsgNone;
    }
    if (source.kind == SourceKind::Floating) {
        const double whole = std::trunc(source.floating);
        if (!(std::fabs(whole) < 1e30)) return kMsgOutOfRange;  // also infinity and NaN
        out = static_cast<__int128>(whole);
        fractionDropped = whole != source.floating;
        return kMsgNone;
    }
    Decimal value;
    if (const MsgNo status = decimalOf(source, value)) return status;
    return decimalIntegerPart(value, out, fractionDropped) ? kMsgNone : kMsgOutOfRange;
}

MsgNo doubleOf(const SourceValue& source, double& out) {
    switch (source.kind) {
        case SourceKind::Exact:
            out = double(source.exact);
            return kMsgNone;
        case SourceKind::Floating:
            out = source.floating;
            return kMsgNone;
        case SourceKind::Decimal:
            out = decimalToDouble(source.decimal);
            return std::isinf(out) ? kMsgOutOfRange : kMsgNone;
        default:
            return parseNumber(source.bytes, out);
    }
}

MsgNo toInteger(const SourceValue& source, const TargetInfo& info, const ClientBuffer& target) {
    __int128 value;
    bool fractionDropped;
    if (const MsgNo status = integerOf(source, value, fractionDropped)) return status;
    if (value < info.min || value > info.max) return kMsgOutOfRange;
    // Two's complement: the low bytes of the 64-bit pattern are the smaller type's value.
    const std::uint64_t bits = std::uint64_t(value);
    const std::uint8_t b8 = std::uint8_t(bits);
    const std::uint16_t b16 = std::uint16_t(bits);
    const std::uint32_t b32 = std::uint32_t(bits);
    const void* bytes = info.size == 1   ? static_cast<const void*>(&b8)
                        : info.size == 2 ? static_cast<const void*>(&b16)
                        : info.size == 4 ? static_cast<const void*>(&b32)
                                         : static_cast<const void*>(&bits);
    storeFixed(target, bytes, info.size);
    return fractionDropped ? kMsgTruncated : kMsgNone;
}

MsgNo toFloating(const SourceValue& source, const TargetInfo& info, const ClientBuffer& target) {
    double value;
    if (const MsgNo status = doubleOf(source, value)) return status;
    if (info.kind == Target::Double) {
        storeFixed(target, &value, sizeof value);
        return kMsgNone;
    }
    if (std::isfinite(value) && std::fabs(value) > FLT_MAX) return kMsgOutOfRange;
    const float single = float(value);
    storeFixed(target, &single, sizeof single);
    return kMsgNone;
}

MsgNo toNumeric(const SourceValue& source, const ClientBuffer& target) {
    Decimal value;
    if (const MsgNo status = decimalOf(source, value)) return status;
    SQL_NUMERIC_STRUCT numeric{};
    const MsgNo status = decimalToNumericStruct(value, numeric);
    if (status == kMsgOutOfRange) return status;
    storeFixed(target, &numeric, sizeof numeric);
    return status;
}

MsgNo toDate(const SourceValue& source, const ClientBuffer& target) {
    DateValue date = source.date;
    if (source.kind == SourceKind::Text) {
        if (const MsgNo status = parseDate(source.bytes, date)) return status;
    } else if (source.kind == SourceKind::Timestamp) {
        date = datePart(source.timestamp);
    }
    storeFixed(target, &date, sizeof date);
    return kMsgNone;
}

MsgNo toTime(const SourceValue& source, const ClientBuffer& target) {
    TimeValue time = source.time;
    if (source.kind == SourceKind::Text) {
        if (const MsgNo status = parseTime(source.bytes, time)) return status;
    } else if (source.kind == SourceKind::Timestamp) {
        time = timePart(source.timestamp);
    }
    storeFixed(target, &time, sizeof time);
    return kMsgNone;
}

MsgNo toTimestamp(const SourceValue& source, const ClientBuffer& target) {
    TimestampValue ts = source.timestamp;
    if (source.kind == SourceKind::Text) {
        if (const MsgNo status = parseTimestamp(source.bytes, ts)) return status;
    } else if (source.kind == SourceKind::Date) {
        ts = toTimestamp(source.date);
    } else if (source.kind == SourceKind::Time) {
        ts = toTimestamp(currentLocalDate(), source.time);  // a time of day is today's
    }
    storeFixed(target, &ts, sizeof ts);
    return kMsgNone;
}

void storeZero(const TargetInfo& info, const ClientBuffer& target) {
    if (target.data) {
        if (info.kind == Target::Numeric) {
            SQL_NUMERIC_STRUCT zero{};
            zero.precision = 1;
            zero.sign = 1;
            std::memcpy(target.data, &zero, sizeof zero);
        } else if (info.kind == Target::Char) {
            if (target.bufferLength > 0) static_cast<char*>(target.data)[0] = '\0';
        } else if (info.size > 0) {
            std::memset(target.data, 0, info.size);
        }
    }
    if (target.lengthOut) *target.lengthOut = SQL_NULL_DATA;
}

MsgNo convertSource(const SourceValue& source, const ClientBuffer& target, SQLLEN offset);

// A number into a binary buffer: the bytes of the C type that stands for its SQL type.
MsgNo numberBytes(const SourceValue& source, const ClientBuffer& target, SQLLEN offset) {
    alignas(16) unsigned char natural[sizeof(SQL_NUMERIC_STRUCT)];
    SQLLEN length = 0;
    const ClientBuffer own{defaultCType(source.sqlType, source.isUnsigned, 3), natural,
                           sizeof natural, &length};
    const MsgNo status = convertSource(source, own, 0);
    if (status != kMsgNone && status != kMsgTruncated) return status;
    const MsgNo piece =
        copyPiece(std::string_view(reinterpret_cast<const char*>(natural), std::size_t(length)),
                  offset, target, false);
    return piece ? piece : status;
}

MsgNo toBinary(const SourceValue& source, const ClientBuffer& target, SQLLEN offset) {
    const auto bytesOf = [](const auto& value) {
        return std::string_view(reinterpret_cast<const char*>(&value), sizeof value);
    };
    switch (source.kind) {
        case SourceKind::Text:
        case SourceKind::Bytes:
            return copyPiece(source.bytes, offset, target, false);
        case SourceKind::Date:
            return copyPiece(bytesOf(source.date), offset, target, false);
        case SourceKind::Time:
            return copyPiece(bytesOf(source.time), offset, target, false);
        case SourceKind::Timestamp:
            return copyPiece(bytesOf(source.timestamp), offset, target, false);
        default:
            return numberBytes(source, target, offset);
    }
}

MsgNo convertSource(const SourceValue& source, const ClientBuffer& target, SQLLEN offset) {
    const SQLSMALLINT cType = target.cType == SQL_C_DEFAULT
                                  ? defaultCType(source.sqlType, source.isUnsigned, 3)
                                  : target.cType;
    const TargetInfo info = describeTarget(cType);
    if (info.kind == Target::Unknown) return kMsgConversionError;
    if (source.isNull) {
        storeZero(info, target);
        return kMsgNone;
    }
    if (!isAllowed(source.kind, info.kind)) return kMsgConversionError;
    if (source.kind == SourceKind::Bytes && info.size > 0) {
        // Binary data into a fixed-size type: the bytes as they are, when they are exactly as many.
        if (source.bytes.size() != info.size) return kMsgOutOfRange;
        storeFixed(target, source.bytes.data(), info.size);
        return kMsgNone;
    }
    switch (info.kind) {
        case Target::Integer:
            return toInteger(source, info, target);
        case Target::Float:
        case Target::Double:
            return toFloating(source, info, target);
        case Target::Char: {
            if (source.kind == SourceKind::Text || source.kind == SourceKind::Bytes) {
                return copyPiece(source.bytes, offset, target, true);
            }
            // The number text chooses its form by the room; without a buffer (a call that asks
            // only for the length) the plain form counts.
            const std::size_t room = target.bufferLength > 0 && target.data
                                         ? std::size_t(target.bufferLength - 1)
                                         : std::string::npos;
            return copyPiece(sourceText(source, room), offset, target, true);
        }
        case Target::WChar: {
            const bool text = source.kind == SourceKind::Text || source.kind == SourceKind::Bytes;
            return copyWidePiece(
                utf8ToUtf16Bytes(text ? source.bytes : sourceText(source, std::string::npos)),
                offset, target);
        }
        case Target::Binary:
            return toBinary(source, target, offset);
        case Target::Numeric:
            return toNumeric(source, target);
        case Target::Date:
            return toDate(source, target);
        case Target::Time:
            return toTime(source, target);
        case Target::Timestamp:
            return toTimestamp(source, target);
        case Target::Unknown:
            break;
    }
    return kMsgConversionError;
}

}  // namespace

MsgNo convertResult(const SqlSource& source, const ClientBuffer& target, SQLLEN offset) {
    return guarded([&]() -> MsgNo {
        SourceValue decoded;
        if (const MsgNo status = decodeSqlValue(source.sqlType, source.isUnsigned, source.data,
                                                source.length, decoded)) {
            return status;
        }
        return convertSource(decoded, target, offset);
    });
}

MsgNo convertValueResult(const Value& value, const ClientBuffer& target, SQLLEN offset) {
    return guarded([&]() -> MsgNo {
        SourceValue decoded;
        if (const MsgNo status = decodeValue(value, decoded)) return status;
        return convertSource(decoded, target, offset);
    });
}

std::size_t fixedCTypeSize(SQLSMALLINT cType) {
    return describeTarget(cType).size;
}

}  // namespace kelvra
