#include "engine/row_codec.h"

#include <sql.h>

#include <cstring>
#include <string_view>

#include "convert/datetime_text.h"
#include "resources/utf8.h"
#include "sql/sort_layout.h"

namespace kelvra {
namespace {

// The longest prefix of `text` of at most `width` bytes that ends on a character boundary.
std::size_t cutLength(std::string_view text, std::size_t width) {
    if (text.size() <= width) return text.size();
    std::size_t end = 0;
    while (end < text.size()) {
        const std::size_t next = end + utf8CharLength(text, end);
        if (next > width) break;
        end = next;
    }
    return end;
}

void putText(char* at, std::size_t width, std::string_view text, char pad) {
    const std::size_t n = cutLength(text, width);
    std::memcpy(at, text.data(), n);
    std::memset(at + n, pad, width - n);
}

}  // namespace

void writeField(char* at, std::int32_t width, const Value& value) {
    const auto w = static_cast<std::size_t>(width);
    at[w] = value.isNull ? kNullMarker : kValueMarker;
    if (value.isNull) {
        std::memset(at, ' ', w);
        return;
    }
    switch (value.type) {
        case ValueType::Char:
        case ValueType::Numeric:
            putText(at, w, value.text, ' ');
            return;
        case ValueType::Binary: {
            const std::size_t n = std::min(value.text.size(), w);
            std::memcpy(at, value.text.data(), n);
            std::memset(at + n, 0, w - n);
            return;
        }
        case ValueType::Integer:
        case ValueType::Double: {
            const double d = value.number == 0.0 ? 0.0 : value.number;
            std::memcpy(at, &d, std::min<std::size_t>(sizeof d, w));
            return;
        }
        case ValueType::Date:
            putText(at, w, dateText(value.date), ' ');
            return;
        case ValueType::Time:
            putText(at, w, timeText(value.time), ' ');
            return;
        case ValueType::Timestamp:
            putText(at, w, timestampText(value.timestamp), ' ');
            return;
        default:
            std::memset(at, ' ', w);
            return;
    }
}

MsgNo readField(const char* at, std::int32_t width, const TypeDesc& type, Value& out) {
    const auto w = static_cast<std::size_t>(width);
    const char marker = at[w];
    if (marker != kValueMarker && marker != kNullMarker) return kMsgOrderByUnable;
    out.type = type.valueType;
    out.isNull = marker == kNullMarker;
    std::string_view field(at, w);
    if (out.isNull) {
        out.number = 0.0;
        out.text.clear();
        out.date = {};
        out.time = {};
        out.timestamp = {};
        return kMsgNone;
    }
    const auto trimmed = [&] {
        std::string_view t = field;
        while (!t.empty() && t.back() == ' ') t.remove_suffix(1);
        return t;
    };
    switch (type.valueType) {
        case ValueType::Char:
            out.text.assign(type.sqlType == SQL_CHAR && type.columnSize < 65535 ? field : trimmed());
            return kMsgNone;
        case ValueType::Numeric:
            out.text.assign(trimmed());
            return kMsgNone;
        case ValueType::Binary:
            out.text.assign(field);
            return kMsgNone;
        case ValueType::Integer:
        case ValueType::Double:
            if (w < sizeof out.number) return kMsgOrderByUnable;
            std::memcpy(&out.number, at, sizeof out.number);
            return kMsgNone;
        case ValueType::Date:
            return parseDate(trimmed(), out.date) == kMsgNone ? kMsgNone : kMsgOrderByUnable;
        case ValueType::Time:
            return parseTime(trimmed(), out.time) == kMsgNone ? kMsgNone : kMsgOrderByUnable;
        case ValueType::Timestamp:
            return parseTimestamp(trimmed(), out.timestamp) == kMsgNone ? kMsgNone
                                                                        : kMsgOrderByUnable;
        default:
            return kMsgNotSupported;
    }
}

}  // namespace kelvra
