// Base64 and the decimal readers, on the inputs that break naive versions.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <limits>

#include "qbapi/base64.h"
#include "qbapi/decimal_text.h"

namespace kelvra {
namespace {

TEST(Base64, EncodesEveryPaddingCase) {
    EXPECT_EQ(encodeBase64(""), "");
    EXPECT_EQ(encodeBase64("f"), "Zg==");
    EXPECT_EQ(encodeBase64("fo"), "Zm8=");
    EXPECT_EQ(encodeBase64("foo"), "Zm9v");
    EXPECT_EQ(encodeBase64("foob"), "Zm9vYg==");
    EXPECT_EQ(encodeBase64("foobar"), "Zm9vYmFy");
    EXPECT_EQ(encodeBase64(std::string("\xff\xfe\x00\x3e\x3f", 5)), "//4APj8=");
}

TEST(Base64, ReadsWholeBinaryFiles) {
    std::string path = ::testing::TempDir() + "qbapi_b64_" + std::to_string(::getpid());
    std::string bytes(70000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
    std::ofstream(path, std::ios::binary) << bytes;
    std::string content;
    EXPECT_TRUE(readFileBase64(path, content));
    EXPECT_EQ(content, encodeBase64(bytes));
    std::remove(path.c_str());
    EXPECT_FALSE(readFileBase64(path, content));
    EXPECT_TRUE(content.empty());
}

TEST(DecimalText, LeadingIntStopsAtTheFirstNonDigitAndSaturates) {
    EXPECT_EQ(readLeadingInt("  -42abc"), -42);
    EXPECT_EQ(readLeadingInt("+7"), 7);
    EXPECT_EQ(readLeadingInt("61523471.ab3c"), 61523471);
    EXPECT_EQ(readLeadingInt("x1"), 0);
    EXPECT_EQ(readLeadingInt(""), 0);
    EXPECT_EQ(readLeadingInt("99999999999999999999999"), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(readLeadingInt("-2147483648"), std::numeric_limits<std::int32_t>::min());
}

TEST(DecimalText, RecordIdLineReadsAllDigits) {
    EXPECT_EQ(readRecordIdLine(""), -1);
    EXPECT_EQ(readRecordIdLine("\n"), -1);
    EXPECT_EQ(readRecordIdLine("\"Record ID#\""), 0);
    EXPECT_EQ(readRecordIdLine("\n17"), 17);
    EXPECT_EQ(readRecordIdLine("\"1,234\""), 1234);
    EXPECT_EQ(readRecordIdLine("-5"), -5);
    EXPECT_EQ(readRecordIdLine(std::string(40, '9')), std::numeric_limits<std::int32_t>::max());
}

}  // namespace
}  // namespace kelvra
