"""Date and time functions against Python's datetime and calendar: the parts of every date and
timestamp of the corpus (leap days, year ends), TIMESTAMPADD across month ends and leap years,
TIMESTAMPDIFF in every interval, and the clock."""

import calendar
import datetime

import pytest

SECONDS = {"SQL_TSI_SECOND": 1, "SQL_TSI_MINUTE": 60, "SQL_TSI_HOUR": 3600,
           "SQL_TSI_DAY": 86400, "SQL_TSI_WEEK": 7 * 86400}
MONTHS = {"SQL_TSI_MONTH": 1, "SQL_TSI_QUARTER": 3, "SQL_TSI_YEAR": 12}


def day_parts(d):
    """DAYOFWEEK, DAYOFYEAR, WEEK (Sunday weeks, week 1 holds January 1), QUARTER, DAYNAME,
    MONTHNAME, DAYOFMONTH, MONTH, YEAR."""
    week = int(d.strftime("%U")) + (datetime.date(d.year, 1, 1).isoweekday() != 7)
    return [d.isoweekday() % 7 + 1, d.timetuple().tm_yday, week, (d.month - 1) // 3 + 1,
            calendar.day_name[d.weekday()], calendar.month_name[d.month], d.day, d.month, d.year]


PARTS = ("{fn DAYOFWEEK(%s)}, {fn DAYOFYEAR(%s)}, {fn WEEK(%s)}, {fn QUARTER(%s)}, "
         "{fn DAYNAME(%s)}, {fn MONTHNAME(%s)}, {fn DAYOFMONTH(%s)}, {fn MONTH(%s)}, {fn YEAR(%s)}")


@pytest.mark.parametrize("argument", ["Made", "Stamp", "{fn CONVERT(Made, SQL_VARCHAR)}"])
def test_parts_of_every_date(corpus_connection, argument):
    rows = corpus_connection.cursor().execute(
        f"SELECT Made, Stamp, {PARTS % ((argument,) * 9)} FROM bsqtitm2a").fetchall()
    assert len(rows) == 10
    for made, stamp, *parts in rows:
        day = (stamp.date() if stamp else None) if argument == "Stamp" else made
        assert parts == (day_parts(day) if day else [None] * 9), (made, stamp)


def test_parts_of_times(corpus_connection):
    rows = corpus_connection.cursor().execute(
        "SELECT At, Stamp, {fn HOUR(At)}, {fn MINUTE(At)}, {fn SECOND(At)}, {fn HOUR(Stamp)}, "
        "{fn EXTRACT(MINUTE FROM Stamp)}, {fn EXTRACT(SECOND FROM At)}, "
        "{fn EXTRACT(YEAR FROM Stamp)}, {fn HOUR({fn CONVERT(At, SQL_CHAR)})} "
        "FROM bsqtitm2a").fetchall()
    for at, stamp, *parts in rows:
        expected = [at and at.hour, at and at.minute, at and at.second, stamp and stamp.hour,
                    stamp and stamp.minute, at and at.second, stamp and stamp.year,
                    at and at.hour]
        assert parts == expected, (at, stamp)


def added(ts, interval, count):
    if interval in SECONDS:
        return ts + datetime.timedelta(seconds=SECONDS[interval] * count)
    # The day stays and runs on past the month's end: January 31 and a month is March 2 or 3.
    year, month = divmod(ts.year * 12 + ts.month - 1 + count * MONTHS[interval], 12)
    return (datetime.datetime(year, month + 1, 1, ts.hour, ts.minute, ts.second)
            + datetime.timedelta(days=ts.day - 1))


@pytest.mark.parametrize("interval, count", [
    ("SQL_TSI_MONTH", 1), ("SQL_TSI_MONTH", -13), ("SQL_TSI_QUARTER", 1), ("SQL_TSI_YEAR", 1),
    ("SQL_TSI_YEAR", -4), ("SQL_TSI_DAY", 1), ("SQL_TSI_DAY", -366), ("SQL_TSI_WEEK", 1),
    ("SQL_TSI_HOUR", 25), ("SQL_TSI_MINUTE", -1441), ("SQL_TSI_SECOND", 86400 * 400)])
def test_timestamp_add(corpus_connection, interval, count):
    rows = corpus_connection.cursor().execute(
        f"SELECT Stamp, Made, {{fn TIMESTAMPADD({interval}, {count}, Stamp)}}, "
        f"{{fn TIMESTAMPADD({interval}, {count}, Made)}} FROM bsqtitm2a").fetchall()
    for stamp, made, from_stamp, from_made in rows:
        assert from_stamp == (added(stamp, interval, count) if stamp else None)
        assert from_made == added(datetime.datetime.combine(made, datetime.time()), interval,
                                  count)


def whole_intervals(a, b, interval):
    if interval in SECONDS:
        seconds = int((b - a).total_seconds())
        quotient = abs(seconds) // SECONDS[interval]
        return quotient if seconds >= 0 else -quotient
    months = 12 * (b.year - a.year) + b.month - a.month
    if interval == "SQL_TSI_MONTH":
        return months
    if interval == "SQL_TSI_QUARTER":
        return abs(months) // 3 * (1 if months >= 0 else -1)
    return b.year - a.year


@pytest.mark.parametrize("interval", list(SECONDS) + list(MONTHS))
def test_timestamp_diff(corpus_connection, interval):
    rows = corpus_connection.cursor().execute(
        f"SELECT Made, Stamp, {{fn TIMESTAMPDIFF({interval}, Made, Stamp)}}, "
        f"{{fn TIMESTAMPDIFF({interval}, Stamp, {{ts '2024-03-01 00:00:00'}})}} "
        f"FROM bsqtitm2a WHERE Stamp IS NOT NULL").fetchall()
    assert rows
    march = datetime.datetime(2024, 3, 1)
    for made, stamp, forward, to_march in rows:
        start = datetime.datetime.combine(made, datetime.time())
        assert forward == whole_intervals(start, stamp, interval), (made, stamp)
        assert to_march == whole_intervals(stamp, march, interval), stamp


def test_clock_is_local_time(corpus_connection):
    before = datetime.datetime.now().replace(microsecond=0)
    row = corpus_connection.cursor().execute(
        "SELECT {fn NOW()}, {fn CURRENT_TIMESTAMP()}, {fn CURRENT_TIMESTAMP(3)}, {fn CURDATE()}, "
        "{fn CURRENT_DATE()}, {fn CURTIME()}, {fn CURRENT_TIME()}, {fn CURRENT_TIME(0)} "
        "FROM bsqtcat2a WHERE Rank = 1").fetchone()
    after = datetime.datetime.now()
    for stamp in row[0:3]:
        assert before <= stamp <= after
    for day in row[3:5]:
        assert before.date() <= day <= after.date()
    if before.date() == after.date():
        for clock in row[5:8]:
            assert before <= datetime.datetime.combine(before.date(), clock) <= after
