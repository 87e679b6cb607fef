#include "convert/param_convert.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "convert/calendar.h"
#include "convert/datetime_text.h"
#include "convert/decimal.h"
#include "convert/guarded.h"
#include "convert/number_text.h"
#include "convert/source_value.h"
#include "convert/wide_text.h"

namespace kelvra {

namespace {

SQLSMALLINT markerCType(ValueType type) {
    switch (type) {
        case ValueType::Binary:
            return SQL_C_BINARY;
        case ValueType::Integer:
            return SQL_C_SLONG;
        case ValueType::Double:
            return SQL_C_DOUBLE;
        case ValueType::Date:
            return SQL_C_TYPE_DATE;
        case ValueType::Time:
            return SQL_C_TYPE_TIME;
        case ValueType::Timestamp:
            return SQL_C_TYPE_TIMESTAMP;
        default:
            return SQL_C_CHAR;
    }
}

bool isTemporal(SourceKind kind) {
    return kind == SourceKind::Date || kind == SourceKind::Time || kind == SourceKind::Timestamp;
}

// CHAR and BINARY markers: the piece placed at the running offset (later pieces append to
// the value), or the whole value.
MsgNo placeBytes(std::string_view piece, ValueType type, Value& out, SQLLEN* offset) {
    if (offset != nullptr && *offset < 0) return kMsgInternalError;
    const bool appending = offset != nullptr && *offset > 0;
    if (appending && (out.type != type || out.isNull || std::size_t(*offset) > out.text.size())) {
        return kMsgInternalError;  // an offset beyond the value received so far
    }
    if (appending) {
        out.text.resize(std::size_t(*offset));
        out.text.append(piece);
    } else {
        out = Value::null(type);
        out.isNull = false;
        out.text.assign(piece);
    }
    if (offset != nullptr) *offset += SQLLEN(piece.size());
    return kMsgNone;
}

MsgNo toNumericText(const SourceValue& source, const ParamMarker& marker, Value& out) {
    Decimal value;
    MsgNo status = kMsgNone;
    switch (source.kind) {
        case SourceKind::Exact:
            value = decimalFromInteger(source.exact);
            break;
        case SourceKind::Floating:
            status = decimalFromDouble(source.floating, value);
            break;
        case SourceKind::Decimal:
            value = source.decimal;
            break;
        default:
            status = parseDecimal(source.bytes, value);
            if (status == kMsgAssignmentError) status = kMsgMalformedNumber;
            break;
    }
    if (status) return status;
    status = fitDecimal(value, marker.precision, marker.scale);
    if (status == kMsgOutOfRange) return status;
    out.text = decimalText(value);
    return status;
}

MsgNo toNumber(const SourceValue& source, Value& out) {
    switch (source.kind) {
        case SourceKind::Exact:
            out.number = double(source.exact);
            return kMsgNone;
        case SourceKind::Floating:
            out.number = source.floating;
            return kMsgNone;
        case SourceKind::Decimal:
            out.number = decimalToDouble(source.decimal);
            return std::isinf(out.number) ? kMsgOutOfRange : kMsgNone;
        default: {
            const MsgNo status = parseNumber(source.bytes, out.number);
            return status == kMsgAssignmentError ? MsgNo{kMsgMalformedNumber} : status;
        }
    }
}

// Binary data for a date or time marker: the struct's bytes, exactly.
template <typename T>
bool rawStruct(const SourceValue& source, T& out) {
    if (source.bytes.size() != sizeof out) return false;
    std::memcpy(&out, source.bytes.data(), sizeof out);
    return true;
}

MsgNo toDate(const SourceValue& source, Value& out) {
    switch (source.kind) {
        case SourceKind::Text:
            return parseDate(source.bytes, out.date);
        case SourceKind::Bytes:
            if (!rawStruct(source, out.date)) return kMsgOutOfRange;
            break;
        case SourceKind::Date:
            out.date = source.date;
            break;
        case SourceKind::Timestamp:
            out.date = datePart(source.timestamp);
            break;
        default:
            return kMsgConversionError;
    }
    return isValidDate(out.date) ? kMsgNone : kMsgOutOfRange;
}

MsgNo toTime(const SourceValue& source, Value& out) {
    switch (source.kind) {
        case SourceKind::Text:
            return parseTime(source.bytes, out.time);
        case SourceKind::Bytes:
            if (!rawStruct(source, out.time)) return kMsgOutOfRange;
            break;
        case SourceKind::Time:
            out.time = source.time;
            break;
        case SourceKind::Timestamp:
            out.time = timePart(source.timestamp);
            break;
        default:
            return kMsgConversionError;
    }
    return isValidTime(out.time) ? kMsgNone : kMsgOutOfRange;
}

MsgNo toTimestamp(const SourceValue& source, Value& out) {
    switch (source.kind) {
        case SourceKind::Text:
            return parseTimestamp(source.bytes, out.timestamp);
        case SourceKind::Bytes:
            if (!rawStruct(source, out.timestamp)) return kMsgOutOfRange;
            break;
        case SourceKind::Date:
            out.timestamp = toTimestamp(source.date);
            break;
        case SourceKind::Time:
            out.timestamp = toTimestamp(currentLocalDate(), source.time);
            break;
        case SourceKind::Timestamp:
            out.timestamp = source.timestamp;
            break;
        default:
            return kMsgConversionError;
    }
    return isValidTimestamp(out.timestamp) ? kMsgNone : kMsgOutOfRange;
}

MsgNo convertDecoded(const SourceValue& decoded, const ParamMarker& marker, Value& out,
                     SQLLEN* offset) {
    switch (marker.type) {
        case ValueType::Char:
        case ValueType::Binary:
        case ValueType::Numeric:
        case ValueType::Integer:
        case ValueType::Double:
        case ValueType::Date:
        case ValueType::Time:
        case ValueType::Timestamp:
            break;
        default:
            return kMsgNotSupported;
    }
    if (decoded.isNull) {
        out = Value::null(marker.type);
        return kMsgNone;
    }
    if (marker.type == ValueType::Char)
        return placeBytes(sourceText(decoded), marker.type, out, offset);
    if (marker.type == ValueType::Binary)
        return placeBytes(decoded.bytes, marker.type, out, offset);
    if (offset != nullptr && *offset > 0) return kMsgConversionError;  // only text comes in pieces
    // A fresh value, so that a failed conversion leaves the marker's value as it was.
    Value value = Value::null(marker.type);
    value.isNull = false;
    MsgNo status = kMsgNone;
    switch (marker.type) {
        case ValueType::Numeric:
            status = isTemporal(decoded.kind) ? MsgNo{kMsgConversionError}
                                              : toNumericText(decoded, marker, value);
            break;
        case ValueType::Integer:
        case ValueType::Double:
            status =
                isTemporal(decoded.kind) ? MsgNo{kMsgConversionError} : toNumber(decoded, value);
            break;
        case ValueType::Date:
            status = toDate(decoded, value);
            break;
        case ValueType::Time:
            status = toTime(decoded, value);
            break;
        default:
            status = toTimestamp(decoded, value);
            break;
    }
    if (status != kMsgNone && status != kMsgTruncated) return status;
    out = std::move(value);
    // A value of these types comes in one piece: move the offset so that a second one is refused.
    if (offset != nullptr) *offset += 1;
    return status;
}

// A wide-character value (UTF-16 code units, a length in bytes or SQL_NTS) in UTF-8, for the
// character rules; an odd byte length is invalid.
MsgNo wideToUtf8(const ParamSource& source, std::string& utf8) {
    const auto* units = static_cast<const SQLWCHAR*>(source.data);
    SQLLEN bytes = source.lengthOrIndicator;
    if (bytes == SQL_NTS) {
        bytes = 0;
        while (units[bytes / 2] != 0) bytes += 2;
    }
    if (bytes < 0 || bytes % 2 != 0) return kMsgAssignmentError;
    utf8 = utf16BytesToUtf8(
        std::string_view(static_cast<const char*>(source.data), static_cast<std::size_t>(bytes)));
    return kMsgNone;
}

MsgNo convert(const ParamSource& source, const ParamMarker& marker, Value& out, SQLLEN* offset) {
    SQLSMALLINT cType = source.cType == SQL_C_DEFAULT ? markerCType(marker.type) : source.cType;
    const void* data = source.data;
    SQLLEN length = source.lengthOrIndicator;
    std::string utf8;
    const bool isNull = data == nullptr || length == SQL_NULL_DATA;
    if (cType == SQL_C_WCHAR && !isNull) {
        if (const MsgNo status = wideToUtf8(source, utf8)) return status;
        cType = SQL_C_CHAR;
        data = utf8.data();
        length = static_cast<SQLLEN>(utf8.size());
    }
    SourceValue decoded;
    if (const MsgNo status = decodeClientValue(cType, data, length, decoded)) return status;
    return convertDecoded(decoded, marker, out, offset);
}

}  // namespace

MsgNo convertParameter(const ParamSource& source, const ParamMarker& marker, Value& out,
                       SQLLEN* offset) {
    return guarded([&] { return convert(source, marker, out, offset); });
}

MsgNo convertValue(const Value& source, const ParamMarker& marker, Value& out) {
    return guarded([&]() -> MsgNo {
        SourceValue decoded;
        if (const MsgNo status = decodeValue(source, decoded)) return status;
        return convertDecoded(decoded, marker, out, nullptr);
    });
}

ParamMarker markerFor(const TypeDesc& type) {
    ParamMarker m;
    m.type = type.valueType;
    if (type.valueType == ValueType::Numeric) {
        m.precision = static_cast<int>(type.columnSize);
        m.scale = type.scale;
    }
    return m;
}

}  // namespace kelvra
