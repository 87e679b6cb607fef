#include "qbtable/written_text.h"

#include <cmath>

#include "convert/number_text.h"
#include "convert/qb_values.h"
#include "convert/value_text.h"

namespace kelvra {
namespace {

constexpr double kMillisPerDay = 86400000.0;

bool isNumber(const Value& v) {
    return v.type == ValueType::Integer || v.type == ValueType::Double ||
           v.type == ValueType::Numeric;
}

}  // namespace

std::string cachedText(const QbField& field, const Value& value) {
    if (field.kind == FieldKind::Duration && !value.isNull && isNumber(value)) {
        double days = value.number;
        if (value.type == ValueType::Numeric && parseNumber(value.text, days) != kMsgNone)
            return valueToText(value);
        double millis = std::round(days * kMillisPerDay);
        if (std::isfinite(millis)) return exactNumberText(millis);
    }
    return valueToText(value);
}

std::string sentText(const QbField& field, std::string_view cached) {
    if (field.kind == FieldKind::Duration && !cached.empty()) {
        double days = 0.0;
        if (readQbDuration(cached, days) == kMsgNone) return exactNumberText(days);
    }
    return std::string(cached);
}

}  // namespace kelvra
