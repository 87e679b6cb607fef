// Field texts as QuickBase sends them, read in the engine's value types; and the record cache
// under the reads: slots, reuse of records, replies that fail half way.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "qbtable/column_read.h"
#include "qbtable/record_cache.h"

namespace kelvra::test {
namespace {

QbField fieldOf(FieldKind kind, std::int16_t sqlType, std::int32_t size = 255,
                std::int16_t digits = 0) {
    QbField f;
    f.kind = kind;
    f.sqlType = sqlType;
    f.columnSize = size;
    f.decimalDigits = digits;
    f.category = kind == FieldKind::Text || kind == FieldKind::File ? BaseCategory::Text
                 : kind == FieldKind::Float                         ? BaseCategory::Float
                                                                    : BaseCategory::DateTime;
    return f;
}

// The value as text, to compare cases in one table: NULL, a number, a date, or the text.
std::string shown(const Value& v) {
    if (v.isNull) return "NULL";
    switch (v.type) {
        case ValueType::Integer:
        case ValueType::Double:
            return std::to_string(v.number);
        case ValueType::Date:
            return std::to_string(v.date.year) + "-" + std::to_string(v.date.month) + "-" +
                   std::to_string(v.date.day);
        case ValueType::Time:
            return std::to_string(v.time.hour) + ":" + std::to_string(v.time.minute) + ":" +
                   std::to_string(v.time.second);
        case ValueType::Timestamp:
            return std::to_string(v.timestamp.year) + "-" + std::to_string(v.timestamp.month) +
                   "-" + std::to_string(v.timestamp.day) + " " + std::to_string(v.timestamp.hour) +
                   ":" + std::to_string(v.timestamp.minute) + " " +
                   std::to_string(v.timestamp.fraction);
        default:
            return v.text;
    }
}

TEST(ColumnReadTest, QuickBaseFormsInTheEngineTypes) {
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    using K = FieldKind;
    UserNames users = {{61523471, "Pat Doe"}};
    struct Case {
        QbField field;
        const char* text;
        ValueType type;
        bool textNull;
        const char* expected;  // shown(); a message number for a failure as "#n"
    } cases[] = {
        {fieldOf(K::Text, SQL_VARCHAR, 5), "abcdefgh", ValueType::Char, false, "abcde"},
        // The size counts characters, and a cut never splits one: "Zürich" in 2 keeps "Zü".
        {fieldOf(K::Text, SQL_VARCHAR, 2), "Z\xc3\xbcrich", ValueType::Char, false, "Z\xc3\xbc"},
        {fieldOf(K::Text, SQL_VARCHAR), "", ValueType::Char, false, ""},
        {fieldOf(K::Text, SQL_VARCHAR), "", ValueType::Char, true, "NULL"},
        {fieldOf(K::UserId, SQL_VARCHAR), "61523471.ab3c", ValueType::Char, false, "Pat Doe"},
        {fieldOf(K::UserId, SQL_VARCHAR), "58213370.k2mz", ValueType::Char, false, "58213370.k2mz"},
        {fieldOf(K::UserId, SQL_VARCHAR), "pat@example.com", ValueType::Char, false,
         "pat@example.com"},
        {fieldOf(K::Float, SQL_NUMERIC, 19, 2), "48500", ValueType::Numeric, false, "48500.00"},
        {fieldOf(K::Float, SQL_NUMERIC, 19, 2), "0.125", ValueType::Char, false, "0.13"},
        {fieldOf(K::Float, SQL_DOUBLE, 15, 2), "1250.755", ValueType::Char, false, "1250.755"},
        {fieldOf(K::Float, SQL_DOUBLE, 15, 2), "", ValueType::Char, false, "NULL"},
        {fieldOf(K::Float, SQL_DOUBLE), "1250.75", ValueType::Double, false, "1250.750000"},
        {fieldOf(K::Float, SQL_DOUBLE), "12x", ValueType::Double, false, "#1012"},
        {fieldOf(K::RecordId, SQL_INTEGER), "17", ValueType::Integer, false, "17.000000"},
        {fieldOf(K::Duration, SQL_DOUBLE), "129600000", ValueType::Double, false, "1.500000"},
        {fieldOf(K::Duration, SQL_DOUBLE), "129600000", ValueType::Char, false, "1.5"},
        {fieldOf(K::Boolean, SQL_BIT), "1", ValueType::Integer, false, "1.000000"},
        {fieldOf(K::Boolean, SQL_BIT), "0", ValueType::Integer, false, "0.000000"},
        {fieldOf(K::Date, SQL_DATE), "1704326400000", ValueType::Date, false, "2024-1-4"},
        {fieldOf(K::Date, SQL_DATE), "1704326400000", ValueType::Char, false, "2024-01-04"},
        {fieldOf(K::Date, SQL_DATE), "2024-02-30", ValueType::Date, false, "#1009"},
        {fieldOf(K::Date, SQL_DATE), "", ValueType::Date, false, "NULL"},
        {fieldOf(K::TimeStamp, SQL_TIME), "52200000", ValueType::Time, false, "14:30:0"},
        {fieldOf(K::TimeStamp, SQL_TIME), "99999999999", ValueType::Time, false, "#1011"},
        {fieldOf(K::TimeStamp, SQL_TIMESTAMP), "1706636700123", ValueType::Timestamp, false,
         "2024-1-30 17:45 123000000"},
        {fieldOf(K::TimeStamp, SQL_TIMESTAMP), "1706636700123", ValueType::Date, false,
         "2024-1-30"},
        {fieldOf(K::Date, SQL_DATE), "1704326400000", ValueType::Timestamp, false,
         "2024-1-4 0:0 0"},
        {fieldOf(K::Text, SQL_VARCHAR), "2024-05-06", ValueType::Date, false, "2024-5-6"},
        {fieldOf(K::Text, SQL_VARCHAR), "bytes\x01", ValueType::Binary, false, "bytes\x01"},
        {fieldOf(K::Text, SQL_VARCHAR), "x", ValueType::None, false, "#4"},
    };
    for (const Case& c : cases) {
        Value out = Value::ofChar("left over");
        ReadContext context{c.textNull, &users};
        MsgNo rc = readFieldText(c.field, c.text, c.type, context, out);
        std::string got = rc == kMsgNone ? shown(out) : "#" + std::to_string(rc);
        EXPECT_EQ(got, c.expected) << c.text << " as " << int(c.type);
        if (rc == kMsgNone) {
            EXPECT_EQ(out.type, c.type) << c.text;
        }
        if (rc != kMsgNone || out.isNull) {
            EXPECT_TRUE(out.text.empty()) << c.text;
        }
    }
}

TEST(RecordCacheTest, SlotsClistAndIncompleteRecords) {
    RecordCache cache;
    EXPECT_FALSE(cache.requestField(3));
    EXPECT_TRUE(cache.requestField(9));
    EXPECT_TRUE(cache.requestField(6));
    EXPECT_TRUE(cache.requestField(70000));  // beyond the direct table
    EXPECT_EQ(cache.clist(), "3.6.9.70000");
    EXPECT_EQ(cache.slotOf(9), 1);
    EXPECT_EQ(cache.slotOf(70000), 3);
    EXPECT_EQ(cache.slotOf(7), -1);

    cache.beginRead();
    std::string v = "17";
    cache.storeRead(17, 3, v);
    v = "seventeen";
    cache.storeRead(17, 70000, v);
    v = "orphan";
    cache.storeRead(0, 6, v);  // before any record id: nowhere
    const CachedRecord* r = cache.find(17);
    ASSERT_NE(r, nullptr);
    EXPECT_TRUE(cache.complete(*r));
    EXPECT_EQ(r->values[3], "seventeen");
    EXPECT_EQ(cache.size(), 1u);

    // A field asked for later makes the records read before incomplete.
    cache.requestField(11);
    EXPECT_FALSE(cache.complete(*cache.find(17)));
    EXPECT_EQ(cache.find(17)->values.size(), 5u);

    // A reply that fails half way leaves what it reached incomplete.
    cache.beginRead();
    v = "17";
    cache.storeRead(17, 3, v);
    cache.abandonRead();
    EXPECT_FALSE(cache.complete(*cache.find(17)));
}

TEST(RecordCacheTest, DroppedRecordsAreUsedAgainAndTheIndexHoldsUnderChurn) {
    RecordCache cache;
    std::uint64_t epoch = cache.epoch();
    for (std::int32_t id = 1; id <= 5000; ++id) cache.obtain(id).values[0] = std::to_string(id);
    for (std::int32_t id = 1; id <= 5000; id += 2) cache.drop(id);
    EXPECT_NE(cache.epoch(), epoch);
    EXPECT_EQ(cache.size(), 2500u);
    for (std::int32_t id = 1; id <= 5000; ++id) {
        const CachedRecord* r = cache.find(id);
        if (id % 2) {
            EXPECT_EQ(r, nullptr) << id;
        } else {
            ASSERT_NE(r, nullptr) << id;
            EXPECT_EQ(r->values[0], std::to_string(id));
        }
    }
    // A new record takes a dropped one's place, emptied.
    CachedRecord& again = cache.obtain(-1);
    EXPECT_TRUE(again.values[0].empty());
    EXPECT_EQ(again.filled, 0u);
    cache.drop(424242);  // unknown: nothing happens
    EXPECT_EQ(cache.size(), 2501u);
}

}  // namespace
}  // namespace kelvra::test
