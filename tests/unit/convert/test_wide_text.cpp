// Wide-character results: UTF-8 texts to UTF-16 buffers, whole and in pieces.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

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

// The argument conversions of the wide entry points: SQLWCHAR text in, UTF-8 text out.
TEST(WideText, ArgumentsConvertStrictly) {
    const struct {
        std::u16string units;
        bool ok;
        std::string utf8;
    } cases[] = {
        {u"Ren\u00E9e M\u00FCller", true,
         "Ren\xC3\xA9"
         "e M\xC3\xBCller"},
        {u"\U0001F44B!", true, "\xF0\x9F\x91\x8B!"},
        {u"", true, ""},
        // An unpaired surrogate stands for no character: high at the end, high before a
        // non-surrogate, a low one alone.
        {std::u16string(u"ab") + char16_t(0xD83D), false, "ab"},
        {std::u16string(1, char16_t(0xD83D)) + u"x", false, ""},
        {u"x" + std::u16string(1, char16_t(0xDC4B)), false, "x"},
    };
    for (const auto& c : cases) {
        std::vector<SQLWCHAR> in(c.units.begin(), c.units.end());
        in.push_back(0);
        std::string out;
        EXPECT_EQ(wideToUtf8(in.data(), c.units.size(), out), c.ok) << c.utf8;
        EXPECT_EQ(out, c.utf8);
        EXPECT_EQ(wideLength(in.data()), c.units.size());
    }
}

TEST(WideText, AnswersAreWrittenInWholeCharacters) {
    // "a", a waving hand (two units), "b": four units.
    const std::string text =
        "a\xF0\x9F\x91\x8B"
        "b";
    const size_t written[] = {0, 1, 1, 3, 4, 4};
    for (size_t capacity = 0; capacity < std::size(written); ++capacity) {
        SQLWCHAR out[6] = {9, 9, 9, 9, 9, 9};
        size_t n = 99;
        EXPECT_EQ(utf8ToWide(text, out, capacity, n), 4u);
        EXPECT_EQ(n, written[capacity]) << capacity;
        EXPECT_EQ(out[n], 9) << "nothing beyond what was written";
    }
    SQLWCHAR out[4];
    size_t n = 0;
    EXPECT_EQ(utf8ToWide(text, out, 4, n), 4u);
    EXPECT_EQ(std::u16string(out, out + 4), u"a\U0001F44Bb");
    // Malformed UTF-8 counts as U+FFFD.
    EXPECT_EQ(utf8ToWide("\xFF\xC3", out, 4, n), 2u);
    EXPECT_EQ(out[0], 0xFFFD);
}

TEST(WideText, PiecesNeverEndInHalfASurrogatePair) {
    // "x", U+1D11E (a clef, two units), "y": read in pieces of two units (a six-byte buffer).
    const Value v = Value::ofChar("x\xF0\x9D\x84\x9Ey");
    std::u16string whole;
    SQLLEN offset = 0;
    std::vector<std::u16string> pieces;
    for (int guard = 0; guard < 10; ++guard) {
        char16_t buf[3];
        SQLLEN length = 0, delivered = -1;
        const MsgNo rc =
            convertValueResult(v, {SQL_C_WCHAR, buf, sizeof buf, &length, &delivered}, offset);
        EXPECT_EQ(SQLLEN(std::u16string(buf).size() * 2), delivered);
        pieces.emplace_back(buf);
        offset += delivered;
        if (rc == kMsgNone) break;
        EXPECT_EQ(rc, kMsgTruncated);
    }
    // The pair does not fit beside "x": the first piece stops before it.
    EXPECT_EQ(pieces, (std::vector<std::u16string>{u"x", u"\U0001D11E", u"y"}));
    // A buffer with room for one unit alone takes half the pair: the only way forward.
    char16_t one[2];
    SQLLEN length = 0, delivered = 0;
    EXPECT_EQ(convertValueResult(v, {SQL_C_WCHAR, one, sizeof one, &length, &delivered}, 2),
              kMsgTruncated);
    EXPECT_EQ(delivered, 2);
    EXPECT_EQ(one[0], 0xD834);
}

}  // namespace
