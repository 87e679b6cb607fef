// Calendar arithmetic on the proleptic Gregorian calendar, independent of the C library's time
// functions and of the machine's time zone: days since 1970-01-01 and back, and the validity of
// date and time parts.
#pragma once

#include <cstdint>

#include "convert/value.h"

namespace kelvra {

bool isLeapYear(long year);
int daysInMonth(long year, int month);  // 0 for a month outside 1..12

bool isValidDate(const DateValue& date);          // year 0..9999, a real month and day
bool isValidTime(const TimeValue& time);          // 00:00:00..23:59:59
bool isValidTimestamp(const TimestampValue& ts);  // both of the above, fraction below 1e9

// Now in local time (TZ), to the second (fraction 0).
TimestampValue currentLocalTimestamp();
// Today in local time (TZ): the date a time of day is placed on when it becomes a timestamp.
DateValue currentLocalDate();

// Days from 1970-01-01 to the date (negative before it).
std::int64_t daysFromCivil(long year, int month, int day);
// The date `days` after 1970-01-01; false when its year is outside 0..9999.
bool civilFromDays(std::int64_t days, DateValue& out);

}  // namespace kelvra
