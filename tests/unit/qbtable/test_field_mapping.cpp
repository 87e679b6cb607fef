// The type mapping of schema fields, the text rule, text size variables and label cleaning.
#include <gtest/gtest.h>

#include <string>

#include "qbtable/field_mapping.h"

namespace kelvra {
namespace {

struct Mapped {
    bool ok;
    QbField field;
};

Mapped mapField(FieldAttributes a, MappingOptions o = {}) {
    Mapped m{false, {}};
    m.ok = mapFieldType(a, o, m.field);
    return m;
}

void expectType(const QbField& f, BaseCategory category, int sqlType, int columnSize,
                int decimalDigits, int restrictRank, FieldKind kind) {
    EXPECT_EQ(f.category, category);
    EXPECT_EQ(f.sqlType, sqlType);
    EXPECT_EQ(f.columnSize, columnSize);
    EXPECT_EQ(f.decimalDigits, decimalDigits);
    EXPECT_EQ(f.restrictRank, restrictRank);
    EXPECT_EQ(f.kind, kind);
}

TEST(FieldMapping, BooleanAndFloatFields) {
    Mapped bit = mapField({.baseType = "bool", .fieldType = "checkbox"});
    ASSERT_TRUE(bit.ok);
    expectType(bit.field, BaseCategory::Boolean, SQL_BIT, 1, 0, 1, FieldKind::Boolean);

    Mapped dbl = mapField({.baseType = "float", .fieldType = "float"});
    ASSERT_TRUE(dbl.ok);
    expectType(dbl.field, BaseCategory::Float, SQL_DOUBLE, 15, 2, 5, FieldKind::Float);
    EXPECT_EQ(dbl.field.decimalPlaces, 0);

    Mapped num = mapField({.baseType = "float", .fieldType = "currency", .decimalPlaces = "2"});
    ASSERT_TRUE(num.ok);
    expectType(num.field, BaseCategory::Float, SQL_NUMERIC, 19, 2, 5, FieldKind::Float);
    EXPECT_EQ(num.field.decimalPlaces, 2);
    EXPECT_EQ(num.field.nullable, SQL_NULLABLE);
    EXPECT_EQ(num.field.updatable, 1);
}

TEST(FieldMapping, HostileDecimalPlacesStayWithinThePrecision) {
    Mapped big = mapField({.baseType = "float", .fieldType = "numeric", .decimalPlaces = "400"});
    ASSERT_TRUE(big.ok);
    EXPECT_EQ(big.field.decimalDigits, 19);
    EXPECT_EQ(big.field.decimalPlaces, 19);
    Mapped negative =
        mapField({.baseType = "float", .fieldType = "numeric", .decimalPlaces = "-3"});
    EXPECT_EQ(negative.field.decimalDigits, 0);
    EXPECT_EQ(negative.field.sqlType, SQL_NUMERIC);
}

TEST(FieldMapping, IntegerFields) {
    Mapped date = mapField({.baseType = "int64", .fieldType = "date"});
    ASSERT_TRUE(date.ok);
    expectType(date.field, BaseCategory::DateTime, SQL_DATE, 10, 0, 10, FieldKind::Date);
    Mapped stamp = mapField({.baseType = "int64", .fieldType = "timestamp"});
    expectType(stamp.field, BaseCategory::DateTime, SQL_TIMESTAMP, 23, 3, 100,
               FieldKind::TimeStamp);
    Mapped time = mapField({.baseType = "int32", .fieldType = "timeofday"});
    expectType(time.field, BaseCategory::DateTime, SQL_TIME, 8, 6, 10, FieldKind::TimeStamp);
    Mapped duration = mapField({.baseType = "int64", .fieldType = "duration"});
    expectType(duration.field, BaseCategory::DateTime, SQL_DOUBLE, 15, 2, 5, FieldKind::Duration);
    Mapped user = mapField({.baseType = "int32", .fieldType = "userid"});
    expectType(user.field, BaseCategory::Integer, SQL_VARCHAR, 255, 0, 4, FieldKind::UserId);
    EXPECT_EQ(user.field.updatable, 1);
}

TEST(FieldMapping, RecordIdIsNotNullAndWritableOnlyAsKey) {
    Mapped plain = mapField({.baseType = "int32", .fieldType = "recordid"});
    ASSERT_TRUE(plain.ok);
    expectType(plain.field, BaseCategory::Integer, SQL_INTEGER, 10, 0, 1000, FieldKind::RecordId);
    EXPECT_EQ(plain.field.nullable, SQL_NO_NULLS);
    EXPECT_EQ(plain.field.updatable, 0);
    // The key decides, even over the role and mode QuickBase gives field 3.
    Mapped key = mapField({.baseType = "int32",
                           .fieldType = "recordid",
                           .role = "recordid",
                           .mode = "virtual",
                           .isKey = true});
    EXPECT_EQ(key.field.updatable, 1);
    EXPECT_EQ(key.field.nullable, SQL_NO_NULLS);
}

TEST(FieldMapping, UnknownBaseTypeIsRefused) {
    EXPECT_FALSE(mapField({.baseType = "xml", .fieldType = "text"}).ok);
    EXPECT_FALSE(mapField({.baseType = "", .fieldType = "text"}).ok);
    EXPECT_FALSE(mapField({.baseType = "Text", .fieldType = "text"}).ok);
}

TEST(FieldMapping, TextKindsAreShortVarchars) {
    struct Case {
        const char* fieldType;
        FieldKind kind;
    };
    for (Case c : {Case{"email", FieldKind::Email}, Case{"phone", FieldKind::Phone},
                   Case{"url", FieldKind::Url}, Case{"file", FieldKind::File},
                   Case{"vCardButton", FieldKind::VCardButton},
                   Case{"ICalendarButton", FieldKind::ICalendarButton}}) {
        // Many lines do not make these long: their kind does.
        Mapped m = mapField({.baseType = "text", .fieldType = c.fieldType, .numLines = "9"});
        ASSERT_TRUE(m.ok) << c.fieldType;
        expectType(m.field, BaseCategory::Text, SQL_VARCHAR, 255, 0, 1000, c.kind);
    }
}

TEST(FieldMapping, FileFieldIsLongBinaryWithFileOption) {
    Mapped m = mapField({.baseType = "text", .fieldType = "file"}, {.fileOption = true});
    expectType(m.field, BaseCategory::Text, SQL_LONGVARBINARY, 100000000, 0, 1000, FieldKind::File);
    // A file field whose size variable makes it long stays text.
    Mapped sized = mapField({.baseType = "text", .fieldType = "file", .textSizeVariable = 300},
                            {.fileOption = true});
    EXPECT_EQ(sized.field.sqlType, SQL_LONGVARCHAR);
}

TEST(FieldMapping, ShortTextRules) {
    // One line, absent lines, read-only, key: short VARCHAR(255) with rank 1000.
    for (FieldAttributes a :
         {FieldAttributes{.baseType = "text", .fieldType = "text", .numLines = "1"},
          FieldAttributes{.baseType = "text", .fieldType = "text"},
          FieldAttributes{
              .baseType = "text", .fieldType = "text", .mode = "lookup", .numLines = "6"},
          FieldAttributes{
              .baseType = "text", .fieldType = "text", .numLines = "6", .isKey = true}}) {
        Mapped m = mapField(a);
        expectType(m.field, BaseCategory::Text, SQL_VARCHAR, 255, 0, 1000, FieldKind::Text);
    }
    // A variable below 256 makes even a multi-line field short, with that size.
    Mapped sized = mapField(
        {.baseType = "text", .fieldType = "text", .numLines = "6", .textSizeVariable = 80});
    expectType(sized.field, BaseCategory::Text, SQL_VARCHAR, 80, 0, 1000, FieldKind::Text);
}

TEST(FieldMapping, LongTextUnderSqlServerAndElsewhere) {
    FieldAttributes multi{.baseType = "text", .fieldType = "text", .numLines = "6"};
    Mapped elsewhere = mapField(multi);
    expectType(elsewhere.field, BaseCategory::Text, SQL_LONGVARCHAR, 65534, 0, 2, FieldKind::Text);
    Mapped linked = mapField(multi, {.sqlServerHost = true});
    expectType(linked.field, BaseCategory::Text, SQL_VARCHAR, 8000, 0, 2, FieldKind::Text);

    multi.textSizeVariable = 4000;
    expectType(mapField(multi, {.sqlServerHost = true}).field, BaseCategory::Text, SQL_VARCHAR,
               4000, 0, 2, FieldKind::Text);
    expectType(mapField(multi).field, BaseCategory::Text, SQL_LONGVARCHAR, 65534, 0, 2,
               FieldKind::Text);
    // Above 8000 not even a linked server gets a VARCHAR.
    multi.textSizeVariable = 8001;
    expectType(mapField(multi, {.sqlServerHost = true}).field, BaseCategory::Text, SQL_LONGVARCHAR,
               65534, 0, 2, FieldKind::Text);
    // A short field whose variable is large follows the same size rule.
    Mapped email = mapField({.baseType = "text", .fieldType = "email", .textSizeVariable = 1000},
                            {.sqlServerHost = true});
    expectType(email.field, BaseCategory::Text, SQL_VARCHAR, 1000, 0, 1000, FieldKind::Email);
}

TEST(FieldMapping, TextSizeVariableBounds) {
    FieldAttributes a{.baseType = "text", .fieldType = "email"};
    for (std::int64_t low : {0LL, -5LL, -9223372036854775807LL}) {
        a.textSizeVariable = low;
        EXPECT_EQ(mapField(a).field.columnSize, 255) << low;
    }
    a.textSizeVariable = 1;
    EXPECT_EQ(mapField(a).field.columnSize, 1);
    a.textSizeVariable = 255;
    EXPECT_EQ(mapField(a).field.columnSize, 255);
    a.textSizeVariable = 70000;
    EXPECT_EQ(mapField(a, {.sqlServerHost = true}).field.sqlType, SQL_LONGVARCHAR);
    EXPECT_EQ(mapField(a, {.sqlServerHost = true}).field.columnSize, 65534);
    // Out of range: the long column of a linked server keeps the largest size.
    FieldAttributes multi{.baseType = "text",
                          .fieldType = "text",
                          .numLines = "3",
                          .textSizeVariable = 9223372036854775807LL};
    EXPECT_EQ(mapField(multi, {.sqlServerHost = true}).field.columnSize, 65534);
}

TEST(FieldMapping, LabelCleaning) {
    std::string grinning;  // U+1F600, a character beyond the BMP
    for (int i = 0; i < 200; ++i) grinning += "\xF0\x9F\x98\x80";
    const struct {
        std::string label;
        std::string name;
    } cases[] = {
        {"Cost ($)", "Cost ___"},
        {"Record ID#", "Record ID_"},
        {"Check-in 2", "Check-in 2"},
        {"a.b/c\td", "a_b_c_d"},
        // Every character beyond ASCII counts as a letter: "Größe" and "Grüße" stay apart.
        {"Gr\xC3\xB6\xC3\x9F"
         "e",
         "Gr\xC3\xB6\xC3\x9F"
         "e"},
        {"Gr\xC3\xBC\xC3\x9F"
         "e",
         "Gr\xC3\xBC\xC3\x9F"
         "e"},
        {"Caf\xC3\xA9 \xE2\x82\xAC!", "Caf\xC3\xA9 \xE2\x82\xAC_"},
        // Malformed sequences, each one "_": a stray continuation byte, a cut sequence, an
        // overlong form.
        {"a\x80"
         "b\xE2\x82",
         "a_b_"},
        {"\xC0\xAF", "_"},
        // Cut to 127 characters, never inside one.
        {std::string(200, 'x'), std::string(127, 'x')},
        {grinning, grinning.substr(0, 127 * 4)},
        {std::string(300, '\xE9'), std::string(127, '_')},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(cleanLabel(c.label), c.name) << c.label;
}

TEST(FieldMapping, LeadingInteger) {
    EXPECT_EQ(leadingInteger("4000"), 4000);
    EXPECT_EQ(leadingInteger("  -12x"), -12);
    EXPECT_EQ(leadingInteger("+7"), 7);
    EXPECT_EQ(leadingInteger("abc"), 0);
    EXPECT_EQ(leadingInteger(""), 0);
    EXPECT_EQ(leadingInteger("99999999999999999999999"), 9223372036854775807LL);
    EXPECT_EQ(leadingInteger32("99999999999"), 2147483647);
    EXPECT_EQ(leadingInteger32("-99999999999"), -2147483647 - 1);
    EXPECT_EQ(leadingInteger32("6"), 6);
}

}  // namespace
}  // namespace kelvra
