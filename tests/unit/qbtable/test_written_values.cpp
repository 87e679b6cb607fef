// How written values travel: their cached form, the text QuickBase receives, the CSV cells.
#include <gtest/gtest.h>

#include <string>

#include "qbtable/csv_text.h"
#include "qbtable/written_text.h"

namespace kelvra::test {
namespace {

TEST(WrittenValuesTest, CsvCellsKeepTheExactText) {
    struct Case {
        std::string value;
        bool userField;
        std::string cell;
    } cases[] = {
        {"plain", false, "\"plain\""},
        {"say \"hi\", \"bye\"", false, "\"say \"\"hi\"\", \"\"bye\"\"\""},
        {"two\r\nlines,\ncomma", false, "\"two\r\nlines,\ncomma\""},
        {"Z\xc3\xbcrich \xe2\x82\xac", false, "\"Z\xc3\xbcrich \xe2\x82\xac\""},
        {"", false, "\"\""},
        {"61523471-12", true, "\"<61523471-12>\""},  // digits and "-": a user id
        {"61523471.ab3c", true, "\"61523471.ab3c\""},
        {"12", false, "\"12\""},
        {"", true, "\"\""},
    };
    for (const Case& c : cases) {
        std::string csv;
        appendCsvValue(csv, c.value, true, c.userField);
        EXPECT_EQ(csv, c.cell) << c.value;
        appendCsvValue(csv, "x", false, false);
        EXPECT_EQ(csv, c.cell + ",\"x\"");
    }
}

TEST(WrittenValuesTest, DurationsAreCachedAsMillisecondsAndSentAsDays) {
    QbField duration;
    duration.kind = FieldKind::Duration;
    QbField text;
    EXPECT_EQ(cachedText(duration, Value::ofDouble(1.5)), "129600000");
    EXPECT_EQ(cachedText(duration, Value::ofNumeric("0.25")), "21600000");
    EXPECT_EQ(cachedText(duration, Value::null(ValueType::Double)), "");
    EXPECT_EQ(sentText(duration, "129600000"), "1.5");
    EXPECT_EQ(sentText(duration, ""), "");
    EXPECT_EQ(cachedText(text, Value::ofDouble(1.5)), "1.5");
    EXPECT_EQ(cachedText(text, Value::ofDate({2024, 2, 29})), "2024-02-29");
    EXPECT_EQ(sentText(text, "129600000"), "129600000");
}

}  // namespace
}  // namespace kelvra::test
