#include "convert/value_text.h"

#include "convert/datetime_text.h"
#include "convert/number_text.h"

namespace kelvra {

std::string valueToText(const Value& value) {
    if (value.isNull) return {};
    switch (value.type) {
        case ValueType::Integer:
        case ValueType::Double:
            return exactNumberText(value.number);
        case ValueType::Date:
            return dateText(value.date);
        case ValueType::Time:
            return timeText(value.time);
        case ValueType::Timestamp:
            return timestampText(value.timestamp);
        case ValueType::Char:
        case ValueType::Numeric:
        case ValueType::Binary:
        case ValueType::None:
            return value.text;
    }
    return value.text;
}

}  // namespace kelvra
