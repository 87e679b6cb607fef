// The date and time functions: parts of a date, time or timestamp (or of a text that reads as
// one), names, the local clock, and calendar arithmetic (TIMESTAMPADD, TIMESTAMPDIFF). The
// arithmetic counts days and seconds on the proleptic Gregorian calendar, so it holds for every
// year from 0 to 9999 and is the same in every time zone; a result outside those years is
// invalid.
#include <algorithm>
#include <cstdlib>

#include "convert/calendar.h"
#include "convert/datetime_text.h"
#include "engine/scalar_evaluation.h"
#include "resources/calendar_names.h"

namespace kelvra {

namespace {

constexpr std::int64_t kSecondsPerDay = 86400;
// The seconds of SQL_TSI_SECOND to SQL_TSI_WEEK (intervals 1 to 5), the months of SQL_TSI_MONTH
// to SQL_TSI_YEAR (6 to 8).
constexpr std::int64_t kIntervalSeconds[] = {1, 60, 3600, kSecondsPerDay, 7 * kSecondsPerDay};
constexpr std::int64_t kIntervalMonths[] = {1, 3, 12};

// A date and time argument taken apart. A date is at midnight; a time has no date unless it is
// placed on today's.
struct Moment {
    DateValue date;
    TimeValue time;
    std::uint32_t fraction = 0;
    bool hasDate = false;
};

// 0, or 1059 for a text that is no timestamp, date or time.
MsgNo momentOf(const Value& value, bool timeOnToday, Moment& out) {
    out = Moment{};
    switch (value.type) {
        case ValueType::Date:
            out.date = value.date;
            out.hasDate = true;
            break;
        case ValueType::Time:
            out.time = value.time;
            break;
        case ValueType::Timestamp:
            out.date = datePart(value.timestamp);
            out.time = timePart(value.timestamp);
            out.fraction = value.timestamp.fraction;
            out.hasDate = true;
            break;
        case ValueType::Char: {
            TimestampValue ts;
            if (parseTimestamp(value.text, ts) == kMsgNone) {
                out.date = datePart(ts);
                out.time = timePart(ts);
                out.fraction = ts.fraction;
                out.hasDate = true;
            } else if (parseDate(value.text, out.date) == kMsgNone) {
                out.hasDate = true;
            } else if (parseTime(value.text, out.time) != kMsgNone) {
                return kMsgFunctionArgument;
            }
            break;
        }
        default:
            return kMsgFunctionArgument;
    }
    if (!out.hasDate && timeOnToday) {
        out.date = currentLocalDate();
        out.hasDate = true;
    }
    return kMsgNone;
}

std::int64_t floorDivide(std::int64_t a, std::int64_t b) {
    const std::int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

std::int64_t dayNumber(const DateValue& date) {
    return daysFromCivil(date.year, date.month, date.day);
}

// 0 for Sunday to 6 for Saturday (1970-01-01 was a Thursday).
int weekday(const DateValue& date) {
    const int w = int((dayNumber(date) + 4) % 7);
    return w < 0 ? w + 7 : w;
}

// 0 for January 1.
int dayOfYear(const DateValue& date) {
    return int(dayNumber(date) - daysFromCivil(date.year, 1, 1));
}

// Weeks begin on Sunday; week 1 holds January 1.
int week(const DateValue& date) {
    const int d = std::max(dayOfYear(date) - weekday(date), 0);
    return 1 + d / 7 + (d % 7 != 0 ? 1 : 0);
}

std::int64_t secondOfDay(const TimeValue& time) {
    return time.hour * 3600 + time.minute * 60 + time.second;
}

void setPart(Value& out, double part) {
    setPresent(out, ValueType::Integer);
    out.number = part;
}

void setName(Value& out, std::string_view name) {
    setPresent(out, ValueType::Char);
    out.text.assign(name);
}

// TIMESTAMPADD: `count` intervals added to the moment; 1059 beyond the calendar's years.
MsgNo addInterval(const Moment& m, std::int16_t interval, std::int64_t count, Value& out) {
    // Far beyond 10000 years in any unit, and far from overflowing 64 bits.
    if (count > 1000000000000LL || count < -1000000000000LL) return kMsgFunctionArgument;
    std::int64_t days = dayNumber(m.date);
    std::int64_t seconds = secondOfDay(m.time);
    if (interval >= 1 && interval <= 5) {
        seconds += count * kIntervalSeconds[interval - 1];
    } else if (interval >= 6 && interval <= 8) {
        if (count > 1000000 || count < -1000000) return kMsgFunctionArgument;
        const std::int64_t months = std::int64_t(m.date.year) * 12 + (m.date.month - 1) +
                                    count * kIntervalMonths[interval - 6];
        const std::int64_t year = floorDivide(months, 12);
        // The day stays; one past the month's end runs on into the next (January 31 and a
        // month is March 2 or 3).
        days = daysFromCivil(long(year), int(months - year * 12 + 1), 1) + m.date.day - 1;
    } else {
        return kMsgInternalError;
    }
    days += floorDivide(seconds, kSecondsPerDay);
    seconds -= floorDivide(seconds, kSecondsPerDay) * kSecondsPerDay;
    DateValue date;
    if (!civilFromDays(days, date)) return kMsgFunctionArgument;
    setPresent(out, ValueType::Timestamp);
    out.timestamp =
        toTimestamp(date, TimeValue{std::uint16_t(seconds / 3600), std::uint16_t(seconds / 60 % 60),
                                    std::uint16_t(seconds % 60)});
    out.timestamp.fraction = m.fraction;
    return kMsgNone;
}

// TIMESTAMPDIFF: the whole intervals from a to b.
double intervalsBetween(const Moment& a, const Moment& b, std::int16_t interval) {
    if (interval >= 1 && interval <= 5) {
        const std::int64_t seconds = (dayNumber(b.date) - dayNumber(a.date)) * kSecondsPerDay +
                                     secondOfDay(b.time) - secondOfDay(a.time);
        return double(seconds / kIntervalSeconds[interval - 1]);
    }
    const std::int64_t months =
        12 * (std::int64_t(b.date.year) - a.date.year) + (b.date.month - a.date.month);
    if (interval == 6) return double(months);
    if (interval == 7) return double(months / 3);
    return double(std::int64_t(b.date.year) - a.date.year);
}

double extract(const Moment& m, char field) {
    switch (field) {
        case 'Y':
            return m.date.year;
        case 'M':
            return m.date.month;
        case 'D':
            return m.date.day;
        case 'H':
            return m.time.hour;
        case 'N':
            return m.time.minute;
        default:
            return m.time.second;
    }
}

}  // namespace

MsgNo evaluateDateTimeFunction(ScalarKind kind, const ScalarCall& call, ScalarArgs args,
                               Value& out) {
    switch (kind) {
        case ScalarKind::CurrentDate:
            setPresent(out, ValueType::Date);
            out.date = currentLocalDate();
            return kMsgNone;
        case ScalarKind::CurrentTime:
            setPresent(out, ValueType::Time);
            out.time = timePart(currentLocalTimestamp());
            return kMsgNone;
        case ScalarKind::CurrentTimestamp:
            setPresent(out, ValueType::Timestamp);
            out.timestamp = currentLocalTimestamp();
            return kMsgNone;
        case ScalarKind::TimestampAdd: {
            Moment m;
            if (const MsgNo status = momentOf(*args[1], true, m)) return status;
            return addInterval(m, call.interval, truncatedInteger(args[0]->number), out);
        }
        case ScalarKind::TimestampDiff: {
            Moment a, b;
            if (const MsgNo status = momentOf(*args[0], true, a)) return status;
            if (const MsgNo status = momentOf(*args[1], true, b)) return status;
            setPart(out, intervalsBetween(a, b, call.interval));
            return kMsgNone;
        }
        default:
            break;
    }
    // The parts. Every argument has a time of day (a date is at midnight); a date part needs a
    // date.
    Moment m;
    if (const MsgNo status = momentOf(*args[0], false, m)) return status;
    const bool timePart =
        kind == ScalarKind::Hour || kind == ScalarKind::Minute || kind == ScalarKind::Second ||
        (kind == ScalarKind::Extract &&
         (call.extractField == 'H' || call.extractField == 'N' || call.extractField == 'S'));
    if (!timePart && !m.hasDate) return kMsgFunctionArgument;
    switch (kind) {
        case ScalarKind::Dayname:
            setName(out, dayName(weekday(m.date)));
            return kMsgNone;
        case ScalarKind::Monthname:
            setName(out, monthName(m.date.month));
            return kMsgNone;
        case ScalarKind::Dayofmonth:
            setPart(out, m.date.day);
            return kMsgNone;
        case ScalarKind::Dayofweek:
            setPart(out, weekday(m.date) + 1);
            return kMsgNone;
        case ScalarKind::Dayofyear:
            setPart(out, dayOfYear(m.date) + 1);
            return kMsgNone;
        case ScalarKind::Extract:
            setPart(out, extract(m, call.extractField));
            return kMsgNone;
        case ScalarKind::Hour:
            setPart(out, m.time.hour);
            return kMsgNone;
        case ScalarKind::Minute:
            setPart(out, m.time.minute);
            return kMsgNone;
        case ScalarKind::Month:
            setPart(out, m.date.month);
            return kMsgNone;
        case ScalarKind::Quarter:
            setPart(out, (m.date.month - 1) / 3 + 1);
            return kMsgNone;
        case ScalarKind::Second:
            setPart(out, m.time.second);
            return kMsgNone;
        case ScalarKind::Week:
            setPart(out, week(m.date));
            return kMsgNone;
        case ScalarKind::Year:
            setPart(out, m.date.year);
            return kMsgNone;
        default:
            return kMsgInternalError;
    }
}

}  // namespace kelvra
