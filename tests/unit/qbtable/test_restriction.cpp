// Restrictions as QuickBase criteria: which operator each column kind sends, which values are
// never sent, and how the criteria join into a query. (Whether what is sent selects a superset
// of the driver's predicate is tested against the emulator, in test_scan_emu.cpp.)
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "qbtable/restriction.h"
#include "qbtable/table_schema.h"

namespace kelvra::test {
namespace {

using O = RestrictionOp;

enum Column : std::uint16_t {
    kText,
    kUser,
    kNumber,
    kDuration,
    kCheckbox,
    kDate,
    kTime,
    kStamp,
    kFile,
    kUserList
};

TableSchema schema() {
    auto field = [](std::string fid, FieldKind kind, BaseCategory category, std::int16_t sqlType,
                    std::int16_t rank = 1000) {
        QbField f;
        f.fidText = fid;
        f.fid = std::stoi(fid);
        f.kind = kind;
        f.category = category;
        f.sqlType = sqlType;
        f.restrictRank = rank;
        f.columnSize = 255;
        return f;
    };
    using K = FieldKind;
    using C = BaseCategory;
    TableSchema s;
    s.fields = {field("6", K::Text, C::Text, SQL_VARCHAR),
                field("7", K::UserId, C::Integer, SQL_VARCHAR),
                field("8", K::Float, C::Float, SQL_DOUBLE),
                field("9", K::Duration, C::DateTime, SQL_DOUBLE),
                field("10", K::Boolean, C::Boolean, SQL_BIT),
                field("11", K::Date, C::DateTime, SQL_DATE),
                field("12", K::TimeStamp, C::DateTime, SQL_TIME),
                field("13", K::TimeStamp, C::DateTime, SQL_TIMESTAMP),
                field("14", K::File, C::Text, SQL_VARCHAR),
                field("15", K::Text, C::Text, SQL_VARCHAR, 0)};
    return s;
}

std::string sent(const Restriction& r, RestrictionJoin join = RestrictionJoin::And) {
    return queryText(translateRestrictions(schema(), {&r, 1}, join), join);
}

Value text(std::string_view t) {
    return Value::ofChar(t);
}
Value number(double d) {
    return Value::ofDouble(d);
}
Value day(std::int16_t y, std::uint16_t m, std::uint16_t d) {
    return Value::ofDate({y, m, d});
}

TEST(RestrictionTest, OperatorsByColumnKind) {
    TimestampValue noon{2024, 3, 1, 12, 0, 0, 0};
    struct Case {
        Restriction r;
        std::string query;  // empty: nothing is sent
    } cases[] = {
        // Text: equality as starts-with, trailing blanks dropped; no negation, no range.
        {{kText, O::Equal, {text("Open  ")}}, "{'6'.SW.'Open'}"},
        {{kText, O::In, {text("a"), Value::null(ValueType::Char), text("b ")}},
         "{'6'.SW.'a OR b'}"},
        {{kText, O::NotEqual, {text("Open")}}, ""},
        {{kText, O::Less, {text("Open")}}, ""},
        {{kText, O::Equal, {text("   ")}}, ""},
        {{kText, O::Equal, {number(3)}}, ""},
        {{kText, O::Like, {text("Ab%")}}, "{'6'.SW.'Ab'}"},
        {{kText, O::Like, {text("%Ab%")}}, "{'6'.CT.'Ab'}"},
        {{kText, O::Like, {text("A_b%")}}, ""},
        {{kText, O::Like, {text("%A%b%")}}, ""},
        {{kText, O::Like, {text("Ab")}}, ""},
        {{kText, O::Like, {text("%%")}}, ""},
        {{kText, O::Like, {text("A!%%")}, '!'}, ""},
        {{kText, O::Like, {text("A\\%%")}}, ""},
        {{kText, O::NotLike, {text("Ab%")}}, ""},
        // Users by TV; numbers, dates and times of day exactly, negations included.
        {{kUser, O::Equal, {text(" Pat Doe ")}}, "{'7'.TV.'Pat Doe'}"},
        {{kUser, O::NotEqual, {text("Pat Doe")}}, ""},
        {{kNumber, O::Equal, {number(0.1)}}, "{'8'.EX.'0.1'}"},
        {{kNumber, O::NotEqual, {Value::ofNumeric("12.50")}}, "{'8'.XEX.'12.50'}"},
        {{kNumber, O::LessEqual, {Value::ofInteger(-3)}}, "{'8'.LTE.'-3'}"},
        {{kNumber, O::In, {number(1), number(2.5)}}, "{'8'.EX.'1 OR 2.5'}"},
        {{kNumber, O::NotIn, {number(1), number(2)}}, "{'8'.XEX.'1 OR 2'}"},
        {{kNumber, O::Between, {number(9), number(2)}}, "{'8'.GTE.'2'}AND{'8'.LTE.'9'}"},
        {{kNumber, O::NotBetween, {number(2), number(9)}}, ""},
        {{kNumber, O::Equal, {text("5")}}, ""},
        {{kDate, O::Greater, {day(2024, 1, 31)}}, "{'11'.GT.'2024-01-31'}"},
        {{kDate, O::Between, {day(2024, 2, 1), day(2023, 12, 1)}},
         "{'11'.GTE.'2023-12-01'}AND{'11'.LTE.'2024-02-01'}"},
        {{kTime, O::NotEqual, {Value::ofTime({9, 30, 0})}}, "{'12'.XEX.'09:30:00'}"},
        // Durations: ranges include their bound, no negations.
        {{kDuration, O::Less, {number(1.5)}}, "{'9'.LTE.'1.5'}"},
        {{kDuration, O::GreaterEqual, {number(2)}}, "{'9'.GTE.'2'}"},
        {{kDuration, O::NotEqual, {number(2)}}, ""},
        // Checkboxes: 0 and 1 only, by truth.
        {{kCheckbox, O::Equal, {Value::ofInteger(1)}}, "{'10'.EX.'1'}"},
        {{kCheckbox, O::NotEqual, {Value::ofInteger(0)}}, "{'10'.XEX.'0'}"},
        {{kCheckbox, O::Equal, {number(0.5)}}, ""},
        {{kCheckbox, O::Less, {Value::ofInteger(1)}}, ""},
        // Timestamps in whole days, one wider on each open side.
        {{kStamp, O::Equal, {Value::ofTimestamp(noon)}},
         "{'13'.GTE.'2024-02-29'}AND{'13'.LTE.'2024-03-02'}"},
        {{kStamp, O::Less, {Value::ofTimestamp(noon)}}, "{'13'.LTE.'2024-03-02'}"},
        {{kStamp, O::NotEqual, {Value::ofTimestamp(noon)}}, ""},
        // Never: file columns, user lists (rank 0).
        {{kFile, O::Equal, {text("a.txt")}}, ""},
        {{kUserList, O::Equal, {text("x")}}, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(sent(c.r), c.query) << "column " << c.r.column << " op " << int(c.r.op);
    }
}

TEST(RestrictionTest, UnsafeValuesAreNeverSent) {
    for (const char* value : {"a}b", "{x", "it'.s", "Rock OR Roll", "rock or roll", "A AND B",
                              "_fid_7", " _curuser_", "_ask1_", "bad\xff"}) {
        EXPECT_FALSE(safeCriterionValue(value)) << value;
        EXPECT_EQ(sent({kText, O::Equal, {text(value)}}), "") << value;
        EXPECT_EQ(sent({kText, O::In, {text("ok"), text(value)}}), "") << value;
    }
    for (const char* value : {"it's", "O'Brien", "ORegon", "a&b", "Caf\xc3\xa9"}) {
        EXPECT_TRUE(safeCriterionValue(value)) << value;
    }
}

TEST(RestrictionTest, JoinsNullsAndTheLimit) {
    std::vector<Restriction> list = {
        {kNumber, O::Greater, {number(1)}},
        {kText, O::NotEqual, {text("x")}},  // not sendable
        {kStamp, O::Equal, {Value::ofTimestamp({2024, 1, 1, 0, 0, 0, 0})}},
        {kDate, O::Equal, {Value::null(ValueType::Date)}}};
    auto query = [&](RestrictionJoin join) {
        return queryText(translateRestrictions(schema(), list, join), join);
    };
    // AND keeps what can be sent; a comparison with NULL is never true and is left out.
    EXPECT_EQ(query(RestrictionJoin::And),
              "{'8'.GT.'1'}AND{'13'.GTE.'2023-12-31'}AND{'13'.LTE.'2024-01-02'}");
    // OR: one entry that cannot be sent means no query at all.
    EXPECT_EQ(query(RestrictionJoin::Or), "");
    list.erase(list.begin() + 1);
    EXPECT_EQ(query(RestrictionJoin::Or),
              "{'8'.GT.'1'}OR({'13'.GTE.'2023-12-31'}AND{'13'.LTE.'2024-01-02'})");

    // 100 criteria go; 101 (IN members count one each) do not; nor does a column out of range.
    std::vector<Value> members;
    for (int i = 0; i < 99; ++i) members.push_back(number(i));
    std::vector<Restriction> many = {{kNumber, O::In, members},
                                     {kDate, O::Equal, {day(2024, 1, 1)}}};
    EXPECT_EQ(translateRestrictions(schema(), many, RestrictionJoin::And).size(), 2u);
    many.push_back({kTime, O::Equal, {Value::ofTime({1, 0, 0})}});
    EXPECT_TRUE(translateRestrictions(schema(), many, RestrictionJoin::And).empty());
    Restriction outOfRange{99, O::Equal, {number(1)}};
    EXPECT_EQ(sent(outOfRange), "");
}

}  // namespace
}  // namespace kelvra::test
