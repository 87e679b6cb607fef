// Text in and out of the entry points: the arguments (ANSI checked, wide converted) and the
// answers in each form (ANSI bytes, wide characters, wide bytes), cut on whole characters.
#include <gtest/gtest.h>
#include <sql.h>

#include <string>
#include <vector>

#include "driver/diagnostics.h"
#include "driver/string_out.h"
#include "driver/text_args.h"

using namespace kelvra;

namespace {

// "Zürich 👋": 12 UTF-8 bytes, 9 UTF-16 units (the hand is a surrogate pair).
const std::string kText = "Z\xC3\xBCrich \xF0\x9F\x91\x8B";

TEST(TextOut, EveryFormCutsOnWholeCharacters) {
    const struct {
        TextForm form;
        SQLLEN bufferLength;
        MsgNo rc;
        SQLSMALLINT length;   // in the form's unit
        std::u16string wide;  // what the buffer holds, for the wide forms
        std::string ansi;     // for the ANSI form
    } cases[] = {
        {TextForm::ansi, 64, kMsgNone, 12, {}, kText},
        {TextForm::ansi, 3, kMsgTruncated, 12, {}, "Z"},  // ü needs two bytes, one is left
        {TextForm::ansi, 1, kMsgTruncated, 12, {}, ""},
        {TextForm::wideChars, 10, kMsgNone, 9, u"Z\u00FCrich \U0001F44B", {}},
        {TextForm::wideChars, 9, kMsgTruncated, 9, u"Z\u00FCrich ", {}},  // not half the pair
        {TextForm::wideChars, 1, kMsgTruncated, 9, u"", {}},
        {TextForm::wideBytes, 20, kMsgNone, 18, u"Z\u00FCrich \U0001F44B", {}},
        {TextForm::wideBytes, 19, kMsgTruncated, 18, u"Z\u00FCrich ", {}},  // odd: 9 units
        {TextForm::wideBytes, 14, kMsgTruncated, 18, u"Z\u00FCrich", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.form) << " " << c.bufferLength);
        std::vector<unsigned char> buffer(160, 0xAA);
        SQLSMALLINT length = -1;
        EXPECT_EQ(putText({buffer.data(), c.bufferLength, &length, c.form}, kText), c.rc);
        EXPECT_EQ(length, c.length);
        if (c.form == TextForm::ansi) {
            EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer.data())), c.ansi);
        } else {
            const auto* units = reinterpret_cast<const char16_t*>(buffer.data());
            EXPECT_EQ(std::u16string(units), c.wide);
        }
        // Nothing is written past the buffer.
        const size_t bytes = c.form == TextForm::wideChars ? 2 * c.bufferLength : c.bufferLength;
        EXPECT_EQ(buffer[bytes], 0xAA);
    }
}

TEST(TextOut, LengthsWithoutBufferAndInEitherWidth) {
    SQLINTEGER longLength = 0;
    EXPECT_EQ(putText({nullptr, 0, &longLength, TextForm::wideBytes}, kText), kMsgNone);
    EXPECT_EQ(longLength, 18);
    SQLSMALLINT shortLength = 0;
    EXPECT_EQ(putText({nullptr, 0, &shortLength, TextForm::wideChars}, kText), kMsgNone);
    EXPECT_EQ(shortLength, 9);
    // A buffer without room for the terminator gets nothing and says so.
    SQLWCHAR none[1] = {u'#'};
    EXPECT_EQ(putText({none, 0, &shortLength, TextForm::wideChars}, kText), kMsgTruncated);
    EXPECT_EQ(none[0], u'#');
    // A 16-bit length saturates.
    EXPECT_EQ(putText({nullptr, 0, &shortLength, TextForm::wideChars}, std::string(40000, 'x')),
              kMsgNone);
    EXPECT_EQ(shortLength, 32767);
}

TEST(TextArgs, AnsiTextMustBeUtf8AndWideTextWholeCharacters) {
    const SQLWCHAR wide[] = {u'G', u'r', 0xFC, u'\u00DF', u'e', 0};
    const SQLWCHAR lone[] = {u'a', 0xD800, u'b', 0};
    const auto* ansi = reinterpret_cast<const SQLCHAR*>(
        "Gr\xC3\xBC\xC3\x9F"
        "e");
    const auto* latin1 = reinterpret_cast<const SQLCHAR*>(
        "Gr\xFC\xDF"
        "e");
    const std::string grusse =
        "Gr\xC3\xBC\xC3\x9F"
        "e";
    const struct {
        const SQLCHAR* ansiText;
        const SQLWCHAR* wideText;
        SQLINTEGER length;
        bool given;
        std::string text;
        std::string refusal;  // the diagnostic's argument; empty when accepted
    } cases[] = {
        {ansi, nullptr, SQL_NTS, true, grusse, ""},
        {ansi, nullptr, 3, true, "Gr\xC3", "the name is not valid UTF-8"},  // cut in ü
        {ansi, nullptr, 4, true, "Gr\xC3\xBC", ""},
        {ansi, nullptr, -7, true, "", ""},
        {nullptr, nullptr, SQL_NTS, false, "", ""},
        {latin1, nullptr, SQL_NTS, false, "", "the name is not valid UTF-8"},
        {nullptr, wide, SQL_NTS, true, grusse, ""},
        {nullptr, wide, 2, true, "Gr", ""},
        {nullptr, lone, SQL_NTS, false, "", "the name holds an unpaired surrogate"},
        {nullptr, lone, 1, true, "a", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text + "/" + c.refusal);
        DiagRecord diag;
        TextArgs in(diag);
        const TextArg arg = c.wideText != nullptr ? in.read(c.wideText, c.length, "the name")
                                                  : in.read(c.ansiText, c.length, "the name");
        if (c.refusal.empty()) {
            EXPECT_EQ(in.status(), kMsgNone);
            EXPECT_EQ(arg.given, c.given);
            EXPECT_EQ(arg.text, c.text);
            EXPECT_FALSE(diag.pending());
            continue;
        }
        EXPECT_EQ(in.status(), kMsgInvalidEncoding);
        const DiagText posted = buildDiagText(diag);
        EXPECT_EQ(posted.state3, "22021");
        EXPECT_EQ(posted.message, "[Kelvra ODBC]Invalid text encoding: " + c.refusal);
        // The first refusal stands: later arguments read as nothing.
        EXPECT_FALSE(in.read(ansi, SQL_NTS, "another").given);
        EXPECT_EQ(buildDiagText(diag).message, posted.message);
    }
}

}  // namespace
