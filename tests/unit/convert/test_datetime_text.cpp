#include <gtest/gtest.h>

#include "convert/calendar.h"
#include "convert/datetime_text.h"

namespace kelvra {
namespace {

TEST(DateTimeText, TextForms) {
    EXPECT_EQ(dateText({2001, 7, 4}), "2001-07-04");
    EXPECT_EQ(dateText({12, 1, 2}), "0012-01-02");
    EXPECT_EQ(timeText({0, 0, 0}), "00:00:00");
    EXPECT_EQ(timeText({23, 59, 59}), "23:59:59");
    EXPECT_EQ(timestampText({2024, 2, 29, 13, 5, 9, 123456789}), "2024-02-29 13:05:09.123");
    EXPECT_EQ(timestampText({1999, 12, 31, 0, 0, 0, 999999}), "1999-12-31 00:00:00.000");
    EXPECT_EQ(timestampText({1999, 12, 31, 0, 0, 0, 7000000}), "1999-12-31 00:00:00.007");
}

TEST(DateTimeText, ParsesAllThreeShapes) {
    const char* dates[] = {
        "2001-07-04",
        "  2001-7-4  ",
        "{d '2001-07-04'}",
        "{ D '2001-07-04' }",
        "{d' 2001-07-04 '}",
        "--(*vendor(Microsoft),product(ODBC) d '2001-07-04'*)--",
        "--( * VENDOR ( microsoft ) , Product ( odbc ) D '2001-07-04' * )--",
    };
    for (const char* text : dates) {
        DateValue d;
        ASSERT_EQ(parseDate(text, d), kMsgNone) << text;
        EXPECT_EQ(d, (DateValue{2001, 7, 4})) << text;
    }
    TimeValue t;
    ASSERT_EQ(parseTime("{t '13:05:09'}", t), kMsgNone);
    EXPECT_EQ(t, (TimeValue{13, 5, 9}));
    ASSERT_EQ(parseTime("--(*vendor(Microsoft),product(ODBC) t '7:5:9'*)--", t), kMsgNone);
    EXPECT_EQ(t, (TimeValue{7, 5, 9}));
    TimestampValue ts;
    ASSERT_EQ(parseTimestamp("{ts '2024-02-29 13:05:09.123456789'}", ts), kMsgNone);
    EXPECT_EQ(ts, (TimestampValue{2024, 2, 29, 13, 5, 9, 123456789}));
    ASSERT_EQ(parseTimestamp("2024-02-29 13:05:09.5", ts), kMsgNone);
    EXPECT_EQ(ts.fraction, 500000000u);
    ASSERT_EQ(
        parseTimestamp("--(*vendor(Microsoft),product(ODBC) ts '2000-01-01 00:00:00'*)--", ts),
        kMsgNone);
    EXPECT_EQ(ts, (TimestampValue{2000, 1, 1, 0, 0, 0, 0}));
    ASSERT_EQ(parseTimestamp("2000-03-01", ts), kMsgNone);  // a date alone is midnight
    EXPECT_EQ(ts, (TimestampValue{2000, 3, 1, 0, 0, 0, 0}));
}

TEST(DateTimeText, RefusesEveryDeviation) {
    DateValue d{1, 2, 3};
    for (const char* bad : {"2001-02-29", "1900-02-29", "2001-13-01", "2001-00-10", "2001-04-31",
                            "2001-07-04x", "2001/07/04", "{t '2001-07-04'}", "{ts '2001-07-04'}",
                            "{d '2001-07-04'", "{d 2001-07-04}", "{d '2001-07-04'} x",
                            "--(*vendor(Microsoft),product(ODBC) d '2001-07-04'*)",
                            "--(*vendor(Other),product(ODBC) d '2001-07-04'*)--", "",
                            "'2001-07-04'", "12001-07-04", "2001-007-04", "{d ''}"}) {
        EXPECT_EQ(parseDate(bad, d), kMsgConversionError) << bad;
    }
    EXPECT_EQ(d, (DateValue{1, 2, 3}));  // untouched
    TimeValue t;
    for (const char* bad :
         {"24:00:00", "12:60:00", "12:00:60", "12:00", "12:00:00.5", "{d '12:00:00'}"}) {
        EXPECT_EQ(parseTime(bad, t), kMsgConversionError) << bad;
    }
    TimestampValue ts;
    for (const char* bad :
         {"2001-07-04 25:00:00", "2001-07-04 12:00:00.", "2001-07-04 12:00:00.1234567890",
          "2001-07-04T12:00:00", "{d '2001-07-04'}"}) {
        EXPECT_EQ(parseTimestamp(bad, ts), kMsgConversionError) << bad;
    }
}

// Every day of four centuries (1900 and 2100 not leap, 2000 leap) written and read back, and
// its day count from 1970 consecutive.
TEST(DateTimeText, DaysRoundTripAcrossLeapRules) {
    std::int64_t expectedDays = daysFromCivil(1899, 12, 31);
    int leapDays = 0;
    for (int year = 1900; year <= 2300; ++year) {
        for (int month = 1; month <= 12; ++month) {
            for (int day = 1; day <= daysInMonth(year, month); ++day) {
                const DateValue date{std::int16_t(year), std::uint16_t(month), std::uint16_t(day)};
                DateValue back;
                ASSERT_EQ(parseDate(dateText(date), back), kMsgNone) << dateText(date);
                ASSERT_EQ(back, date);
                ASSERT_EQ(daysFromCivil(year, month, day), ++expectedDays) << dateText(date);
                ASSERT_TRUE(civilFromDays(expectedDays, back));
                ASSERT_EQ(back, date);
                leapDays += month == 2 && day == 29;
            }
        }
    }
    EXPECT_EQ(leapDays,
              97);  // 401 years: 100 multiples of 4, less 1900, 2100, 2200, 2300 (and 2000 counts)
    EXPECT_EQ(daysFromCivil(1970, 1, 1), 0);
    EXPECT_EQ(daysFromCivil(1969, 12, 31), -1);
}

TEST(DateTimeText, TimestampsRoundTripWithMilliseconds) {
    const TimestampValue samples[] = {{2024, 2, 29, 13, 5, 9, 123000000},
                                      {1600, 2, 29, 0, 0, 0, 0},
                                      {9999, 12, 31, 23, 59, 59, 999000000},
                                      {1, 1, 1, 0, 0, 0, 1000000}};
    for (const TimestampValue& ts : samples) {
        TimestampValue back;
        ASSERT_EQ(parseTimestamp(timestampText(ts), back), kMsgNone) << timestampText(ts);
        EXPECT_EQ(back, ts);
        ASSERT_EQ(parseTimestamp("{ts '" + timestampText(ts) + "'}", back), kMsgNone);
        EXPECT_EQ(back, ts);
    }
}

}  // namespace
}  // namespace kelvra
