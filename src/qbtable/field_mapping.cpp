// The type mapping of schema fields: one branch per base type, and the text rule.
#include "qbtable/field_mapping.h"

#include <algorithm>
#include <limits>

#include "resources/ascii.h"
#include "resources/utf8.h"

namespace kelvra {
namespace {

constexpr std::int32_t kDefaultTextSize = 255;
constexpr std::int32_t kMaxTextSize = 65534;       // also the size of every LONGVARCHAR column
constexpr std::int32_t kSqlServerTextSize = 8000;  // longest VARCHAR a linked server takes
constexpr std::int32_t kLongBinarySize = 100000000;
constexpr std::int32_t kNumericPrecision = 19;

// The text size of a field: its variable's value within 1..65534 (255 below 1), else 255.
std::int32_t textSize(const std::optional<std::int64_t>& variable) {
    if (!variable) return kDefaultTextSize;
    if (*variable < 1) return kDefaultTextSize;
    return static_cast<std::int32_t>(std::min<std::int64_t>(*variable, kMaxTextSize));
}

FieldKind textKind(std::string_view fieldType) {
    struct Entry {
        std::string_view fieldType;
        FieldKind kind;
    };
    static constexpr Entry kKinds[] = {
        {"file", FieldKind::File},
        {"email", FieldKind::Email},
        {"phone", FieldKind::Phone},
        {"url", FieldKind::Url},
        {"vCardButton", FieldKind::VCardButton},
        {"ICalendarButton", FieldKind::ICalendarButton},
    };
    for (const Entry& e : kKinds) {
        if (equalsIgnoreCase(fieldType, e.fieldType)) return e.kind;
    }
    return FieldKind::Text;
}

void set(QbField& f, BaseCategory category, std::int16_t sqlType, std::int32_t columnSize,
         std::int16_t decimalDigits, std::int16_t restrictRank, FieldKind kind) {
    f.category = category;
    f.sqlType = sqlType;
    f.columnSize = columnSize;
    f.decimalDigits = decimalDigits;
    f.restrictRank = restrictRank;
    f.kind = kind;
}

void mapIntegerField(const FieldAttributes& a, QbField& f) {
    using C = BaseCategory;
    std::string_view type = a.fieldType;
    if (equalsIgnoreCase(type, "recordid")) {
        set(f, C::Integer, SQL_INTEGER, 10, 0, 1000, FieldKind::RecordId);
        f.nullable = SQL_NO_NULLS;
        f.updatable = a.isKey ? 1 : 0;
    } else if (equalsIgnoreCase(type, "userid")) {
        set(f, C::Integer, SQL_VARCHAR, 255, 0, 4, FieldKind::UserId);
    } else if (equalsIgnoreCase(type, "timestamp")) {
        set(f, C::DateTime, SQL_TIMESTAMP, 23, 3, 100, FieldKind::TimeStamp);
    } else if (equalsIgnoreCase(type, "timeofday")) {
        set(f, C::DateTime, SQL_TIME, 8, 6, 10, FieldKind::TimeStamp);
    } else if (equalsIgnoreCase(type, "duration")) {
        set(f, C::DateTime, SQL_DOUBLE, 15, 2, 5, FieldKind::Duration);
    } else {
        set(f, C::DateTime, SQL_DATE, 10, 0, 10, FieldKind::Date);
    }
}

// Text fields: short ones are VARCHARs that QuickBase can restrict on; long (multi-line) ones
// become LONGVARCHAR, except for a linked server (sqlservr.exe), which gets VARCHARs up to
// 8000 because it handles long columns badly.
void mapTextField(const FieldAttributes& a, const MappingOptions& o, QbField& f) {
    FieldKind kind = textKind(a.fieldType);
    std::int32_t size = textSize(a.textSizeVariable);
    bool isShort = kind != FieldKind::Text || f.updatable == 0 ||
                   (a.textSizeVariable && size < 256) || a.isKey || leadingInteger(a.numLines) < 2;
    std::int32_t columnSize;
    std::int16_t rank;
    if (isShort) {
        rank = 1000;
        columnSize = size;
    } else {
        rank = 2;
        columnSize = a.textSizeVariable ? size
                     : o.sqlServerHost  ? kSqlServerTextSize
                                        : kMaxTextSize;
    }
    std::int16_t sqlType = SQL_VARCHAR;
    if (columnSize < 256) {
        if (kind == FieldKind::File && o.fileOption) {
            sqlType = SQL_LONGVARBINARY;
            columnSize = kLongBinarySize;
        }
    } else if (!o.sqlServerHost || columnSize > kSqlServerTextSize) {
        sqlType = SQL_LONGVARCHAR;
        columnSize = kMaxTextSize;
    }
    // A list of users is shown by its ids, but QuickBase matches its text by the users' names:
    // no criterion on it would select what the driver's predicate keeps.
    if (equalsIgnoreCase(a.fieldType, "multiuserid")) rank = 0;
    set(f, BaseCategory::Text, sqlType, columnSize, 0, rank, kind);
}

}  // namespace

bool mapFieldType(const FieldAttributes& a, const MappingOptions& o, QbField& f) {
    if (!a.mode.empty() || !a.role.empty()) f.updatable = 0;
    bool hasDecimalPlaces = !a.decimalPlaces.empty();
    if (hasDecimalPlaces) {
        // A scale beyond the precision of the NUMERIC column would make no valid type.
        f.decimalPlaces = static_cast<std::int32_t>(
            std::clamp<std::int64_t>(leadingInteger(a.decimalPlaces), 0, kNumericPrecision));
    }
    switch (a.baseType.empty() ? '\0' : a.baseType.front()) {
        case 'b':
            set(f, BaseCategory::Boolean, SQL_BIT, 1, 0, 1, FieldKind::Boolean);
            return true;
        case 'f':
            if (hasDecimalPlaces) {
                set(f, BaseCategory::Float, SQL_NUMERIC, kNumericPrecision,
                    static_cast<std::int16_t>(f.decimalPlaces), 5, FieldKind::Float);
            } else {
                set(f, BaseCategory::Float, SQL_DOUBLE, 15, 2, 5, FieldKind::Float);
            }
            return true;
        case 'i':
            mapIntegerField(a, f);
            return true;
        case 't':
            mapTextField(a, o, f);
            return true;
        default:
            return false;
    }
}

std::string cleanLabel(std::string_view label) {
    std::string name;
    std::size_t count = 0;
    for (std::size_t i = 0; i < label.size() && count < kMaxColumnNameLength; ++count) {
        const char c = label[i];
        const std::size_t length = utf8CharLength(label, i);
        // Every character beyond ASCII counts as a letter and stays; a malformed sequence does not.
        if (static_cast<unsigned char>(c) >= 0x80) {
            const std::string_view character = label.substr(i, length);
            if (isValidUtf8(character)) {
                name.append(character);
            } else {
                name.push_back('_');
            }
        } else {
            const bool kept = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') ||
                              (c >= 'A' && c <= 'Z') || c == ' ' || c == '-';
            name.push_back(kept ? c : '_');
        }
        i += length;
    }
    return name;
}

std::int64_t leadingInteger(std::string_view text) {
    std::size_t i = text.find_first_not_of(" \t");
    if (i == std::string_view::npos) return 0;
    bool negative = text[i] == '-';
    if (text[i] == '-' || text[i] == '+') ++i;
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    std::int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        int digit = text[i] - '0';
        if (value > (kMax - digit) / 10) {
            value = kMax;
            break;
        }
        value = value * 10 + digit;
    }
    return negative ? -value : value;
}

std::int32_t leadingInteger32(std::string_view text) {
    return static_cast<std::int32_t>(
        std::clamp<std::int64_t>(leadingInteger(text), std::numeric_limits<std::int32_t>::min(),
                                 std::numeric_limits<std::int32_t>::max()));
}

}  // namespace kelvra
