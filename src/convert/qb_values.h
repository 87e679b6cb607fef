// QuickBase's value forms. Its replies carry dates, timestamps, times of day and durations as
// milliseconds and checkboxes as 1/0; the text forms (datetime_text.h) are accepted as well.
// A date is the UTC day the milliseconds point at and a time of day counts from midnight, both
// whatever the machine's time zone; a timestamp is an instant shown in local time (TZ).
// Empty field texts are NULL and are the caller's to handle.
#pragma once

#include <cstdint>
#include <string_view>

#include "convert/value.h"
#include "resources/messages.h"

namespace kelvra {

// Each: 0; 1009 for a text that is neither form (as the date and time parsers report);
// 1011 for milliseconds outside the representable range (years 0..9999, a time of day of
// 24 hours or more).
MsgNo readQbDate(std::string_view field, DateValue& out);
MsgNo readQbTimeOfDay(std::string_view field, TimeValue& out);
MsgNo readQbTimestamp(std::string_view field, TimestampValue& out);

// Duration milliseconds as days: 0, 1012 (not a number), 1011.
MsgNo readQbDuration(std::string_view field, double& days);
// 1/0, true/false, yes/no in any case, blanks around: 0 or 1012.
MsgNo readQbCheckbox(std::string_view field, bool& checked);

// The millisecond forms of values, for QuickBase's side. A timestamp is read as local time; a
// time that the local clock skips or repeats takes the C library's choice. 1011 when the
// timestamp is not a valid one or the C library cannot place it.
std::int64_t qbDateMillis(const DateValue& date);
std::int64_t qbTimeOfDayMillis(const TimeValue& time);
MsgNo qbTimestampMillis(const TimestampValue& ts, std::int64_t& millis);

}  // namespace kelvra
