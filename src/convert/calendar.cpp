#include "convert/calendar.h"

#include <ctime>

namespace kelvra {

bool isLeapYear(long year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(long year, int month) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

bool isValidDate(const DateValue& date) {
    return date.year >= 0 && date.year <= 9999 && date.day >= 1 &&
           date.day <= daysInMonth(date.year, date.month);
}

bool isValidTime(const TimeValue& time) {
    return time.hour <= 23 && time.minute <= 59 && time.second <= 59;
}

bool isValidTimestamp(const TimestampValue& ts) {
    return isValidDate(datePart(ts)) && isValidTime(timePart(ts)) && ts.fraction < 1000000000u;
}

TimestampValue currentLocalTimestamp() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (!localtime_r(&now, &local)) return TimestampValue{1970, 1, 1, 0, 0, 0, 0};
    return TimestampValue{std::int16_t(local.tm_year + 1900), std::uint16_t(local.tm_mon + 1),
                          std::uint16_t(local.tm_mday), std::uint16_t(local.tm_hour),
                          std::uint16_t(local.tm_min),
                          // a leap second reads as the last second of its minute
                          std::uint16_t(local.tm_sec > 59 ? 59 : local.tm_sec), 0};
}

DateValue currentLocalDate() {
    return datePart(currentLocalTimestamp());
}

// Howard Hinnant's days-from-civil algorithm: eras of 400 years of 146097 days.
std::int64_t daysFromCivil(long year, int month, int day) {
    const std::int64_t y = std::int64_t(year) - (month <= 2 ? 1 : 0);
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yearOfEra = y - era * 400;
    const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

bool civilFromDays(std::int64_t days, DateValue& out) {
    // Beyond about +-3.6 million days the year is outside 0..9999 anyway; this also keeps the
    // arithmetic below far from overflow.
    if (days < -800000 || days > 3000000) return false;
    const std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t dayOfEra = z - era * 146097;
    const std::int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t mp = (5 * dayOfYear + 2) / 153;
    const std::int64_t day = dayOfYear - (153 * mp + 2) / 5 + 1;
    const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    if (year < 0 || year > 9999) return false;
    out = DateValue{std::int16_t(year), std::uint16_t(month), std::uint16_t(day)};
    return true;
}

}  // namespace kelvra
