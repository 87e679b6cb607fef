#include "convert/qb_values.h"

#include <algorithm>
#include <ctime>
#include <limits>

#include "convert/calendar.h"
#include "convert/datetime_text.h"
#include "convert/number_text.h"
#include "resources/ascii.h"

namespace kelvra {

namespace {

constexpr std::int64_t kMillisPerDay = 86400000;

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

// An optionally signed run of digits: the millisecond form. false when the text has another
// shape; 1011 in `status` when it overflows.
bool readMillis(std::string_view field, std::int64_t& millis, MsgNo& status) {
    std::string_view text = trimmed(field);
    const bool negative = !text.empty() && text.front() == '-';
    if (negative) text.remove_prefix(1);
    if (text.empty()) return false;
    std::uint64_t magnitude = 0;
    bool overflow = false;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        overflow = overflow ||
                   magnitude > (std::uint64_t(std::numeric_limits<std::int64_t>::max()) - 9) / 10;
        if (!overflow) magnitude = magnitude * 10 + std::uint64_t(c - '0');
    }
    status = overflow ? kMsgOutOfRange : kMsgNone;
    millis = negative ? -std::int64_t(magnitude) : std::int64_t(magnitude);
    return true;
}

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    const std::int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

}  // namespace

MsgNo readQbDate(std::string_view field, DateValue& out) {
    std::int64_t millis;
    MsgNo status;
    if (!readMillis(field, millis, status)) return parseDate(field, out);
    if (status) return status;
    DateValue date;
    if (!civilFromDays(floorDiv(millis, kMillisPerDay), date)) return kMsgOutOfRange;
    out = date;
    return kMsgNone;
}

MsgNo readQbTimeOfDay(std::string_view field, TimeValue& out) {
    std::int64_t millis;
    MsgNo status;
    if (!readMillis(field, millis, status)) return parseTime(field, out);
    if (status) return status;
    if (millis < 0 || millis >= kMillisPerDay) return kMsgOutOfRange;
    const std::int64_t seconds = millis / 1000;
    out = TimeValue{std::uint16_t(seconds / 3600), std::uint16_t(seconds / 60 % 60),
                    std::uint16_t(seconds % 60)};
    return kMsgNone;
}

MsgNo readQbTimestamp(std::string_view field, TimestampValue& out) {
    std::int64_t millis;
    MsgNo status;
    if (!readMillis(field, millis, status)) return parseTimestamp(field, out);
    if (status) return status;
    const std::time_t seconds = std::time_t(floorDiv(millis, 1000));
    std::tm local{};
    if (!localtime_r(&seconds, &local)) return kMsgOutOfRange;
    const long year = long(local.tm_year) + 1900;
    if (year < 0 || year > 9999) return kMsgOutOfRange;
    const std::int64_t milliseconds = millis - std::int64_t(seconds) * 1000;
    out = TimestampValue{std::int16_t(year),
                         std::uint16_t(local.tm_mon + 1),
                         std::uint16_t(local.tm_mday),
                         std::uint16_t(local.tm_hour),
                         std::uint16_t(local.tm_min),
                         std::uint16_t(std::min(local.tm_sec, 59)),
                         std::uint32_t(milliseconds * 1000000)};
    return kMsgNone;
}

MsgNo readQbDuration(std::string_view field, double& days) {
    double millis;
    if (const MsgNo status = parseNumber(field, millis)) return status;
    days = millis / double(kMillisPerDay);
    return kMsgNone;
}

MsgNo readQbCheckbox(std::string_view field, bool& checked) {
    const std::string_view text = trimmed(field);
    for (std::string_view yes : {"1", "true", "yes"}) {
        if (equalsIgnoreCase(text, yes)) {
            checked = true;
            return kMsgNone;
        }
    }
    for (std::string_view no : {"0", "false", "no"}) {
        if (equalsIgnoreCase(text, no)) {
            checked = false;
            return kMsgNone;
        }
    }
    return kMsgAssignmentError;
}

std::int64_t qbDateMillis(const DateValue& date) {
    return daysFromCivil(date.year, date.month, date.day) * kMillisPerDay;
}

std::int64_t qbTimeOfDayMillis(const TimeValue& time) {
    return (std::int64_t(time.hour) * 3600 + time.minute * 60 + time.second) * 1000;
}

MsgNo qbTimestampMillis(const TimestampValue& ts, std::int64_t& millis) {
    if (!isValidTimestamp(ts)) return kMsgOutOfRange;
    std::tm local{};
    local.tm_year = ts.year - 1900;
    local.tm_mon = ts.month - 1;
    local.tm_mday = ts.day;
    local.tm_hour = ts.hour;
    local.tm_min = ts.minute;
    local.tm_sec = ts.second;
    local.tm_isdst = -1;
    // mktime gives -1 both for an error and for 1969-12-31 23:59:59 UTC; a successful call
    // fills in the day of the week, which an error leaves at the marker set here.
    local.tm_wday = -1;
    const std::time_t seconds = std::mktime(&local);
    if (seconds == std::time_t(-1) && local.tm_wday == -1) return kMsgOutOfRange;
    millis = std::int64_t(seconds) * 1000 + ts.fraction / 1000000;
    return kMsgNone;
}

}  // namespace kelvra
