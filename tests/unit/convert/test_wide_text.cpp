// Wide-character results: UTF-8 texts to UTF-16 buffers, whole and in pieces.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "convert/result_convert.h"
#include "convert/wide_text.h"

using namespace kelvra;

namespace {

std::u16string units(const std::string& bytes) {
    std::u16string out(bytes.size() / 2, u'\0');
    std::memcpy(out.data(), bytes.data(), out.size() * 2);
    return out;
}

TEST(WideText, TranscodesBothWays) {
    // A, e-acute (2 bytes), euro sign (3 bytes), a grinning face (4 bytes: a surrogate pair).
    const std::string utf8 = "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";
    EXPECT_EQ(units(utf8ToUtf16Bytes(utf8)), std::u16string(u"A\u00E9\u20AC\U0001F600"));
    EXPECT_EQ(utf16BytesToUtf8(utf8ToUtf16Bytes(utf8)), utf8);
    // Malformed input: a lone continuation byte, a cut sequence, an overlong form, a lone
    // surrogate on the way back.
    EXPECT_EQ(units(utf8ToUtf16Bytes("a\x80"
                                     "b")),
              std::u16string(u"a\uFFFDb"));
    EXPECT_EQ(units(utf8ToUtf16Bytes("a\xE2\x82")), std::u16string(u"a\uFFFD\uFFFD"));
    EXPECT_EQ(units(utf8ToUtf16Bytes("\xC0\xAF")), std::u16string(u"\uFFFD"));
    const char16_t lone[] = {0xD800, u'x'};
    EXPECT_EQ(utf16BytesToUtf8(std::string(reinterpret_cast<const char*>(lone), 4)),
              "\xEF\xBF\xBDx");
}

TEST(WideText, ValueIntoWideBufferInPieces) {
    const Value v = Value::ofChar("Caf\xC3\xA9 Z\xC3\xBCrich");  // 11 characters
    char16_t buf[5];
    SQLLEN length = 0;
    const ClientBuffer target{SQL_C_WCHAR, buf, sizeof buf, &length};
    // Four characters and the terminator fit; the length is what remains, in bytes.
    EXPECT_EQ(convertValueResult(v, target, 0), kMsgTruncated);
    EXPECT_EQ(length, 22);
    EXPECT_EQ(std::u16string(buf), u"Caf\u00E9");
    EXPECT_EQ(convertValueResult(v, target, 8), kMsgTruncated);
    EXPECT_EQ(length, 14);
    EXPECT_EQ(std::u16string(buf), u" Z\u00FCr");
    EXPECT_EQ(convertValueResult(v, target, 16), kMsgNone);
    EXPECT_EQ(length, 6);
    EXPECT_EQ(std::u16string(buf), u"ich");
    // An odd buffer length never splits a code unit; a one-byte buffer holds nothing.
    EXPECT_EQ(convertValueResult(v, {SQL_C_WCHAR, buf, 7, &length}, 0), kMsgTruncated);
    EXPECT_EQ(std::u16string(buf), u"Ca");
    buf[0] = u'#';
    EXPECT_EQ(convertValueResult(v, {SQL_C_WCHAR, buf, 1, &length}, 0), kMsgTruncated);
    EXPECT_EQ(buf[0], u'#');
}

TEST(WideText, NumbersAndDatesAsWideText) {
    char16_t buf[32];
    SQLLEN length = 0;
    EXPECT_EQ(convertValueResult(Value::ofInteger(42), {SQL_C_WCHAR, buf, sizeof buf, &length}),
              kMsgNone);
    EXPECT_EQ(std::u16string(buf), u"42");
    EXPECT_EQ(length, 4);
    EXPECT_EQ(
        convertValueResult(Value::ofDate({2024, 2, 29}), {SQL_C_WCHAR, buf, sizeof buf, &length}),
        kMsgNone);
    EXPECT_EQ(std::u16string(buf), u"2024-02-29");
}

}  // namespace
