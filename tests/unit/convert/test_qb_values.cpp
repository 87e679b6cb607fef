#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

#include "convert/qb_values.h"

namespace kelvra {
namespace {

// Sets TZ for one test and puts the previous setting back.
class ZoneGuard {
  public:
    explicit ZoneGuard(const char* zone) {
        if (const char* old = std::getenv("TZ")) previous_ = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ZoneGuard() {
        if (previous_) {
            setenv("TZ", previous_->c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }

  private:
    std::optional<std::string> previous_;
};

TEST(QbValues, DatesAreTheUtcDayWhateverTheZone) {
    for (const char* zone : {"UTC0", "America/Los_Angeles", "Pacific/Kiritimati"}) {
        ZoneGuard guard(zone);
        DateValue d;
        ASSERT_EQ(readQbDate("1704326400000", d), kMsgNone) << zone;
        EXPECT_EQ(d, (DateValue{2024, 1, 4})) << zone;
        ASSERT_EQ(readQbDate("1704412799999", d), kMsgNone);  // the last millisecond of that day
        EXPECT_EQ(d, (DateValue{2024, 1, 4}));
        ASSERT_EQ(readQbDate("-86400000", d), kMsgNone);
        EXPECT_EQ(d, (DateValue{1969, 12, 31}));
        ASSERT_EQ(readQbDate("-1", d), kMsgNone);  // before 1970 the day is the one below
        EXPECT_EQ(d, (DateValue{1969, 12, 31}));
        ASSERT_EQ(readQbDate("0", d), kMsgNone);
        EXPECT_EQ(d, (DateValue{1970, 1, 1}));
        ASSERT_EQ(readQbDate("951782400000", d), kMsgNone);
        EXPECT_EQ(d, (DateValue{2000, 2, 29}));
        EXPECT_EQ(qbDateMillis({2024, 1, 4}), 1704326400000);
        EXPECT_EQ(qbDateMillis({1969, 12, 31}), -86400000);
    }
}

TEST(QbValues, DateFormsAndLimits) {
    DateValue d{1, 1, 1};
    ASSERT_EQ(readQbDate(" 2001-07-04 ", d), kMsgNone);  // the text form
    EXPECT_EQ(d, (DateValue{2001, 7, 4}));
    EXPECT_EQ(readQbDate("253402300800000", d), kMsgOutOfRange);  // 10000-01-01
    EXPECT_EQ(readQbDate("99999999999999999999999", d), kMsgOutOfRange);
    EXPECT_EQ(readQbDate("-62167219200001", d), kMsgOutOfRange);  // before year 0
    EXPECT_EQ(readQbDate("12ab", d), kMsgConversionError);
    EXPECT_EQ(d, (DateValue{2001, 7, 4}));
}

TEST(QbValues, TimeOfDayCountsFromMidnight) {
    ZoneGuard guard("Asia/Kolkata");
    TimeValue t;
    ASSERT_EQ(readQbTimeOfDay("52200000", t), kMsgNone);
    EXPECT_EQ(t, (TimeValue{14, 30, 0}));
    ASSERT_EQ(readQbTimeOfDay("86399999", t), kMsgNone);
    EXPECT_EQ(t, (TimeValue{23, 59, 59}));
    ASSERT_EQ(readQbTimeOfDay("13:05:09", t), kMsgNone);
    EXPECT_EQ(qbTimeOfDayMillis(t), 47109000);
    EXPECT_EQ(readQbTimeOfDay("86400000", t), kMsgOutOfRange);
    EXPECT_EQ(readQbTimeOfDay("-1", t), kMsgOutOfRange);
}

TEST(QbValues, TimestampsAreLocalTimeAcrossZoneChanges) {
    {
        ZoneGuard guard("UTC0");
        TimestampValue ts;
        ASSERT_EQ(readQbTimestamp("1709211909123", ts), kMsgNone);
        EXPECT_EQ(ts, (TimestampValue{2024, 2, 29, 13, 5, 9, 123000000}));
        ASSERT_EQ(readQbTimestamp("-1", ts), kMsgNone);  // one millisecond before 1970
        EXPECT_EQ(ts, (TimestampValue{1969, 12, 31, 23, 59, 59, 999000000}));
    }
    {
        ZoneGuard guard("America/New_York");
        TimestampValue ts;
        // 2024-03-10 06:59:59 UTC is 01:59:59 EST; one second later the clocks jump to 03:00 EDT.
        ASSERT_EQ(readQbTimestamp("1710053999000", ts), kMsgNone);
        EXPECT_EQ(ts, (TimestampValue{2024, 3, 10, 1, 59, 59, 0}));
        ASSERT_EQ(readQbTimestamp("1710054000000", ts), kMsgNone);
        EXPECT_EQ(ts, (TimestampValue{2024, 3, 10, 3, 0, 0, 0}));
        ASSERT_EQ(readQbTimestamp("1704326400000", ts), kMsgNone);  // winter: UTC-5
        EXPECT_EQ(ts, (TimestampValue{2024, 1, 3, 19, 0, 0, 0}));
        ASSERT_EQ(readQbTimestamp("1720000000000", ts), kMsgNone);  // summer: UTC-4
        EXPECT_EQ(ts, (TimestampValue{2024, 7, 3, 5, 46, 40, 0}));
        std::int64_t millis = 0;
        ASSERT_EQ(qbTimestampMillis({2024, 7, 3, 5, 46, 40, 250000000}, millis), kMsgNone);
        EXPECT_EQ(millis, 1720000000250);
        ASSERT_EQ(qbTimestampMillis({1969, 12, 31, 19, 0, 0, 0}, millis), kMsgNone);
        EXPECT_EQ(millis, 0);
        ASSERT_EQ(qbTimestampMillis({1969, 12, 31, 18, 59, 59, 0}, millis), kMsgNone);
        EXPECT_EQ(millis, -1000);  // mktime's -1 that is a real time, not an error
        EXPECT_EQ(qbTimestampMillis({2024, 2, 30, 0, 0, 0, 0}, millis), kMsgOutOfRange);
    }
    {
        ZoneGuard guard("Europe/Berlin");
        TimestampValue ts;
        ASSERT_EQ(readQbTimestamp("1720000000000", ts), kMsgNone);  // summer: UTC+2
        EXPECT_EQ(ts, (TimestampValue{2024, 7, 3, 11, 46, 40, 0}));
        ASSERT_EQ(readQbTimestamp("2024-07-03 11:46:40", ts), kMsgNone);  // the text form
        std::int64_t millis = 0;
        ASSERT_EQ(qbTimestampMillis(ts, millis), kMsgNone);
        EXPECT_EQ(millis, 1720000000000);
        EXPECT_EQ(readQbTimestamp("9223372036854775807", ts), kMsgOutOfRange);
        EXPECT_EQ(readQbTimestamp("-9223372036854775807", ts), kMsgOutOfRange);
    }
}

TEST(QbValues, DurationsAndCheckboxes) {
    double days = 0;
    ASSERT_EQ(readQbDuration("129600000", days), kMsgNone);
    EXPECT_EQ(days, 1.5);
    ASSERT_EQ(readQbDuration("-43200000", days), kMsgNone);
    EXPECT_EQ(days, -0.5);
    EXPECT_EQ(readQbDuration("1h", days), kMsgAssignmentError);
    bool checked = false;
    for (const char* yes : {"1", "true", " TRUE ", "Yes"}) {
        checked = false;
        ASSERT_EQ(readQbCheckbox(yes, checked), kMsgNone) << yes;
        EXPECT_TRUE(checked) << yes;
    }
    for (const char* no : {"0", "false", "NO"}) {
        checked = true;
        ASSERT_EQ(readQbCheckbox(no, checked), kMsgNone) << no;
        EXPECT_FALSE(checked) << no;
    }
    EXPECT_EQ(readQbCheckbox("2", checked), kMsgAssignmentError);
    EXPECT_EQ(readQbCheckbox("", checked), kMsgAssignmentError);
}

}  // namespace
}  // namespace kelvra
