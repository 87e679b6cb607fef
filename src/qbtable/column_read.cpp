#include "qbtable/column_read.h"

#include "convert/calendar.h"
#include "convert/datetime_text.h"
#include "convert/number_text.h"
#include "convert/numeric_text.h"
#include "convert/qb_values.h"
#include "qbapi/decimal_text.h"
#include "qbtable/table_state.h"
#include "resources/utf8.h"

namespace kelvra {
namespace {

// A user id ("61523471.ab3c"): it starts with a digit 1 to 9, or with "-".
bool looksLikeUserId(std::string_view text) {
    return !text.empty() && (text.front() == '-' || (text.front() >= '1' && text.front() <= '9'));
}

bool isTimeOfDay(const QbField& f) {
    return f.kind == FieldKind::TimeStamp && f.sqlType == SQL_TIME;
}

bool isTimestampField(const QbField& f) {
    return f.kind == FieldKind::TimeStamp && f.sqlType != SQL_TIME;
}

MsgNo readNumber(const QbField& f, std::string_view text, double& out) {
    if (f.kind == FieldKind::Duration) return readQbDuration(text, out);
    if (f.kind == FieldKind::Boolean) {
        bool checked = false;
        MsgNo rc = readQbCheckbox(text, checked);
        out = checked ? 1.0 : 0.0;
        return rc;
    }
    return parseNumber(text, out);
}

MsgNo readDate(const QbField& f, std::string_view text, DateValue& out) {
    if (isTimestampField(f)) {
        TimestampValue ts;
        MsgNo rc = readQbTimestamp(text, ts);
        out = datePart(ts);
        return rc;
    }
    if (isTimeOfDay(f)) return kMsgConversionError;
    return f.kind == FieldKind::Date ? readQbDate(text, out) : parseDate(text, out);
}

MsgNo readTime(const QbField& f, std::string_view text, TimeValue& out) {
    if (isTimestampField(f)) {
        TimestampValue ts;
        MsgNo rc = readQbTimestamp(text, ts);
        out = timePart(ts);
        return rc;
    }
    if (f.kind == FieldKind::Date) return kMsgConversionError;
    return isTimeOfDay(f) ? readQbTimeOfDay(text, out) : parseTime(text, out);
}

MsgNo readTimestamp(const QbField& f, std::string_view text, TimestampValue& out) {
    if (f.kind == FieldKind::Date) {
        DateValue date;
        MsgNo rc = readQbDate(text, date);
        out = toTimestamp(date);
        return rc;
    }
    if (isTimeOfDay(f)) {
        TimeValue time;
        MsgNo rc = readQbTimeOfDay(text, time);
        out = toTimestamp(currentLocalDate(), time);
        return rc;
    }
    return isTimestampField(f) ? readQbTimestamp(text, out) : parseTimestamp(text, out);
}

// CHAR of a field whose QuickBase form is not its text: dates, times and durations in their
// text forms, floats rounded to the column's decimal places when it has them.
MsgNo readAsText(const QbField& f, std::string_view text, Value& out) {
    MsgNo rc = kMsgNone;
    if (f.kind == FieldKind::Float && f.sqlType == SQL_NUMERIC) {
        rc = formatNumericText(text, 0, f.decimalDigits, out.text);
        return rc == kMsgTruncated ? MsgNo{kMsgNone} : rc;
    }
    if (f.kind == FieldKind::Date) {
        rc = readQbDate(text, out.date);
        if (rc == kMsgNone) out.text = dateText(out.date);
    } else if (isTimeOfDay(f)) {
        rc = readQbTimeOfDay(text, out.time);
        if (rc == kMsgNone) out.text = timeText(out.time);
    } else if (isTimestampField(f)) {
        rc = readQbTimestamp(text, out.timestamp);
        if (rc == kMsgNone) out.text = timestampText(out.timestamp);
    } else if (f.kind == FieldKind::Duration) {
        rc = readQbDuration(text, out.number);
        if (rc == kMsgNone) out.text = numberText(out.number);
    } else {
        out.text.assign(text);
    }
    return rc;
}

}  // namespace

std::string_view shownText(const QbField& field, std::string_view text,
                           const ReadContext& context) {
    if (field.kind == FieldKind::UserId && context.users != nullptr && looksLikeUserId(text)) {
        auto name = context.users->find(readLeadingInt(text));
        if (name != context.users->end()) text = name->second;
    }
    if (field.category == BaseCategory::Text && field.columnSize > 0) {
        // The column's size counts characters.
        text = text.substr(0, utf8CharPrefix(text, static_cast<std::size_t>(field.columnSize)));
    }
    return text;
}

MsgNo readFieldText(const QbField& field, std::string_view raw, ValueType type,
                    const ReadContext& context, Value& out) {
    std::string_view text = shownText(field, raw, context);
    bool isChar = type == ValueType::Char;
    if (text.empty() && (!isChar || context.textNull || field.kind == FieldKind::Float)) {
        setNull(out, type);
        return kMsgNone;
    }
    out.type = type;
    out.isNull = false;
    MsgNo rc = kMsgNone;
    switch (type) {
        case ValueType::Char:
            rc = readAsText(field, text, out);
            break;
        case ValueType::Numeric: {
            double days = 0.0;
            if (field.kind == FieldKind::Duration || field.kind == FieldKind::Boolean) {
                rc = readNumber(field, text, days);
                if (rc == kMsgNone) out.text = exactNumberText(days);
            } else {
                rc = formatNumericText(
                    text, 0, field.sqlType == SQL_NUMERIC ? field.decimalDigits : -1, out.text);
                if (rc == kMsgTruncated) rc = kMsgNone;
            }
            break;
        }
        case ValueType::Integer:
        case ValueType::Double:
            rc = readNumber(field, text, out.number);
            break;
        case ValueType::Date:
            rc = readDate(field, text, out.date);
            break;
        case ValueType::Time:
            rc = readTime(field, text, out.time);
            break;
        case ValueType::Timestamp:
            rc = readTimestamp(field, text, out.timestamp);
            break;
        case ValueType::Binary:
            out.text.assign(text);
            break;
        default:
            rc = kMsgTableError;  // no such read
            break;
    }
    if (rc == kMsgMalformedNumber) rc = kMsgAssignmentError;
    if (rc != kMsgNone) setNull(out, type);
    return rc;
}

}  // namespace kelvra
