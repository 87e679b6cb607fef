// The text forms of dates, times and timestamps, and their parsers. Written: "2001-07-04",
// "13:05:09", "2024-02-29 13:05:09.123" (the fraction as milliseconds). Read: the bare value, the
// ODBC escape clause ({d '2001-07-04'}, {t '...'}, {ts '...'}) and the long vendor escape
// (--(*vendor(Microsoft),product(ODBC) d '2001-07-04'*)--), keywords in any case, blanks allowed
// around the value and between the parts of an escape.
#pragma once

#include <string>
#include <string_view>

#include "convert/value.h"
#include "resources/messages.h"

namespace kelvra {

std::string dateText(const DateValue& date);
std::string timeText(const TimeValue& time);
std::string timestampText(const TimestampValue& ts);

// 0, or 1009 for a text that is not a valid value of the kind (a date that does not exist, a
// time beyond 23:59:59, the wrong escape keyword, anything left over).
// A timestamp may also be written without its time (midnight) or without its fraction.
MsgNo parseDate(std::string_view text, DateValue& out);
MsgNo parseTime(std::string_view text, TimeValue& out);
MsgNo parseTimestamp(std::string_view text, TimestampValue& out);

}  // namespace kelvra
