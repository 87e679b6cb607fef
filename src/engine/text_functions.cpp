// The text functions. Texts are UTF-8: positions, lengths and result sizes count characters (a
// lead byte with its continuation bytes), except OCTET_LENGTH and BIT_LENGTH, which count bytes.
// Results are written into the result value's text, whose capacity is reused.
#include <algorithm>
#include <cmath>
#include <utility>

#include "engine/scalar_evaluation.h"
#include "resources/ascii.h"
#include "resources/utf8.h"

namespace kelvra {

namespace {

constexpr std::size_t kMaxResultChars = 255;
constexpr std::size_t kMaxSoundexChars = 30;

// The byte position `count` characters after `pos` (the end when the text is shorter).
std::size_t skipChars(std::string_view text, std::size_t pos, std::int64_t count) {
    for (; count > 0 && pos < text.size(); --count) pos += utf8CharLength(text, pos);
    return pos;
}

std::string_view withoutTrailingSpaces(std::string_view text) {
    const std::size_t end = text.find_last_not_of(' ');
    return end == std::string_view::npos ? std::string_view{} : text.substr(0, end + 1);
}

std::string_view withoutLeadingSpaces(std::string_view text) {
    const std::size_t begin = text.find_first_not_of(' ');
    return begin == std::string_view::npos ? std::string_view{} : text.substr(begin);
}

void setText(Value& out, std::string_view text) {
    setPresent(out, ValueType::Char);
    out.text.assign(text);
}

void setCount(Value& out, double count) {
    setPresent(out, ValueType::Integer);
    out.number = count;
}

bool isAsciiLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Latin Extended-A: the capital letter of a case pair (the small letter follows it), or 0 for a
// character without a one-to-one partner (İ, ı, ĸ, ŉ, ſ).
char32_t latinExtendedCapital(char32_t c) {
    if ((c >= 0x100 && c <= 0x12F) || (c >= 0x132 && c <= 0x137) || (c >= 0x14A && c <= 0x177))
        return c & ~char32_t{1};
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c & 1) ? c : c - 1;
    return 0;
}

// Greek capitals with tonos and their small letters.
constexpr std::pair<char32_t, char32_t> kGreekTonos[] = {
    {0x386, 0x3AC}, {0x388, 0x3AD}, {0x389, 0x3AE}, {0x38A, 0x3AF},
    {0x38C, 0x3CC}, {0x38E, 0x3CD}, {0x38F, 0x3CE}};

// The case partner of a two-byte character (U+0080..U+07FF) in the folded ranges, or the
// character itself. Every partner is a two-byte character too, so folding never changes a
// text's length.
char32_t foldWide(char32_t c, bool upper) {
    if (const char32_t capital = latinExtendedCapital(c)) return upper ? capital : capital + 1;
    for (const auto& [capital, small] : kGreekTonos) {
        if (c == (upper ? small : capital)) return upper ? capital : small;
    }
    if (upper) {
        if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;  // Latin-1
        if (c == 0xFF) return 0x178;                               // ÿ
        if (c == 0x3C2) return 0x3A3;                              // final sigma
        if (c >= 0x3B1 && c <= 0x3CB) return c - 0x20;             // Greek
        if (c >= 0x430 && c <= 0x44F) return c - 0x20;             // Cyrillic
        if (c >= 0x450 && c <= 0x45F) return c - 0x50;
    } else {
        if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 0x20;
        if (c == 0x178) return 0xFF;
        if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 0x20;
        if (c >= 0x410 && c <= 0x42F) return c + 0x20;
        if (c >= 0x400 && c <= 0x40F) return c + 0x50;
    }
    return c;
}

// LCASE, UCASE: in place, one character at a time.
void foldCase(std::string& text, bool upper) {
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            text[i] = upper ? asciiUpper(text[i]) : asciiLower(text[i]);
            ++i;
            continue;
        }
        const std::size_t start = i;
        const char32_t c = decodeUtf8(text, i);
        const char32_t folded = foldWide(c, upper);
        if (i - start != 2 || folded == c) continue;
        text[start] = static_cast<char>(0xC0 | (folded >> 6));
        text[start + 1] = static_cast<char>(0x80 | (folded & 0x3F));
    }
}

// The code of the text: its first letter (upper-cased) when it starts with one, then the class
// letter of each following character whose class differs from the one before (a character
// that is no letter is of class A); at most kMaxSoundexChars letters.
std::size_t soundex(std::string_view text, char (&code)[kMaxSoundexChars]) {
    static constexpr std::string_view kClasses = "ABCDABCAACCLMMABCRCDABACAC";
    std::size_t length = 0;
    char previous = 0;
    std::size_t i = 0;
    if (!text.empty() && isAsciiLetter(text[0])) {
        code[length++] = asciiUpper(text[0]);
        previous = kClasses[std::size_t(asciiUpper(text[0]) - 'A')];
        i = 1;
    }
    for (; i < text.size() && length < kMaxSoundexChars; i += utf8CharLength(text, i)) {
        const char c = text[i];
        const char letterClass =
            isAsciiLetter(c) ? kClasses[std::size_t(asciiUpper(c) - 'A')] : 'A';
        if (letterClass != previous) {
            code[length++] = letterClass;
            previous = letterClass;
        }
    }
    return length;
}

// DIFFERENCE: the first four letters of the two codes weigh in decimal places, the rest of the
// codes decides the last place by their order.
double difference(std::string_view a, std::string_view b) {
    char ca[kMaxSoundexChars], cb[kMaxSoundexChars];
    const std::string_view codeA(ca, soundex(a, ca));
    const std::string_view codeB(cb, soundex(b, cb));
    long value = 0;
    for (std::size_t k = 0; k < 4; ++k) {
        const int x = k < codeA.size() ? codeA[k] : 0;
        const int y = k < codeB.size() ? codeB[k] : 0;
        value = value * 100 + (x - y);
    }
    const int order = codeA.substr(std::min<std::size_t>(4, codeA.size()))
                          .compare(codeB.substr(std::min<std::size_t>(4, codeB.size())));
    return double(value * 10 + (order > 0) - (order < 0));
}

// ASCII: the code point of the first character; a malformed first byte gives the byte.
double firstCode(std::string_view text) {
    if (text.empty()) return 0;
    std::size_t i = 0;
    const char32_t c = decodeUtf8(text, i);
    if (c == 0xFFFD && text.substr(0, 3) != "\xEF\xBF\xBD")
        return static_cast<unsigned char>(text[0]);
    return double(c);
}

MsgNo characterOf(double code, Value& out) {
    const double rounded = std::round(code);
    if (!(rounded >= 0 && rounded <= 0x10FFFF) || (rounded >= 0xD800 && rounded <= 0xDFFF))
        return kMsgFunctionArgument;
    setPresent(out, ValueType::Char);
    out.text.clear();
    appendUtf8(out.text, char32_t(rounded));
    return kMsgNone;
}

MsgNo insert(std::string_view s, std::int64_t start, std::int64_t count, std::string_view t,
             Value& out) {
    if (start < 1 || count < 0) return kMsgFunctionArgument;
    const std::size_t length = utf8CharCount(s);
    if (std::uint64_t(start) > length) return kMsgFunctionArgument;
    const std::size_t begin = skipChars(s, 0, start - 1);
    const std::size_t end = skipChars(s, begin, count);
    if (std::size_t(start - 1) + utf8CharCount(t) + utf8CharCount(s.substr(end)) > kMaxResultChars)
        return kMsgFunctionArgument;
    setText(out, s.substr(0, begin));
    out.text.append(t);
    out.text.append(s.substr(end));
    return kMsgNone;
}

// LOCATE, POSITION: the character position of `needle` in `haystack` from `start` (1-based),
// 0 when absent.
double locate(std::string_view needle, std::string_view haystack, std::int64_t start) {
    const std::size_t length = utf8CharCount(haystack);
    if (std::uint64_t(start) > length) return 0;
    const std::size_t begin = skipChars(haystack, 0, start - 1);
    const std::size_t found = haystack.find(needle, begin);
    if (found == std::string_view::npos) return 0;
    return double(start + std::int64_t(utf8CharCount(haystack.substr(begin, found - begin))));
}

MsgNo repeat(std::string_view s, std::int64_t times, Value& out) {
    if (times < 0) return kMsgFunctionArgument;
    const std::size_t length = utf8CharCount(s);
    if (length > 0 &&
        (std::uint64_t(times) > kMaxResultChars || length * std::size_t(times) > kMaxResultChars)) {
        return kMsgFunctionArgument;
    }
    setText(out, {});
    if (length > 0) {
        for (std::int64_t k = 0; k < times; ++k) out.text.append(s);
    }
    return kMsgNone;
}

// REPLACE: every occurrence of `from`, left to right and not overlapping, becomes `to`.
MsgNo replace(std::string_view s, std::string_view from, std::string_view to, Value& out) {
    if (from.empty()) return kMsgFunctionArgument;
    setText(out, {});
    std::size_t pos = 0;
    for (std::size_t found; (found = s.find(from, pos)) != std::string_view::npos;
         pos = found + from.size()) {
        out.text.append(s.substr(pos, found - pos));
        out.text.append(to);
        // Each character takes at most 4 bytes: stop a result that cannot fit early.
        if (out.text.size() > 4 * kMaxResultChars) return kMsgFunctionArgument;
    }
    out.text.append(s.substr(pos));
    return utf8CharCount(out.text) > kMaxResultChars ? kMsgFunctionArgument : kMsgNone;
}

MsgNo substring(std::string_view s, std::int64_t start, std::int64_t count, Value& out) {
    if (start < 1 || count < 0) return kMsgFunctionArgument;
    const std::size_t begin = skipChars(s, 0, start - 1);
    setText(out, s.substr(begin, skipChars(s, begin, count) - begin));
    return kMsgNone;
}

}  // namespace

MsgNo evaluateTextFunction(ScalarKind kind, const TypeDesc& result, ScalarArgs args, Value& out) {
    const auto text = [&](std::size_t i) { return std::string_view(args[i]->text); };
    const auto integer = [&](std::size_t i) { return truncatedInteger(args[i]->number); };
    switch (kind) {
        case ScalarKind::Ascii:
            setCount(out, firstCode(text(0)));
            return kMsgNone;
        case ScalarKind::BitLength:
            setCount(out, 8.0 * double(text(0).size()));
            return kMsgNone;
        case ScalarKind::Char:
            return characterOf(args[0]->number, out);
        case ScalarKind::CharLength:
            setCount(out, double(utf8CharCount(text(0))));
            return kMsgNone;
        case ScalarKind::Concat:
            if (utf8CharCount(text(0)) + utf8CharCount(text(1)) > result.columnSize)
                return kMsgConcatOverflow;
            setText(out, text(0));
            out.text.append(text(1));
            return kMsgNone;
        case ScalarKind::Difference:
            setCount(out, difference(text(0), text(1)));
            return kMsgNone;
        case ScalarKind::Insert:
            return insert(text(0), integer(1), integer(2), text(3), out);
        case ScalarKind::Lcase:
        case ScalarKind::Ucase:
            setText(out, text(0));
            foldCase(out.text, kind == ScalarKind::Ucase);
            return kMsgNone;
        case ScalarKind::Left:
            if (integer(1) < 0) return kMsgFunctionArgument;
            setText(out, text(0).substr(0, skipChars(text(0), 0, integer(1))));
            return kMsgNone;
        case ScalarKind::Length:
            setCount(out, double(utf8CharCount(withoutTrailingSpaces(text(0)))));
            return kMsgNone;
        case ScalarKind::Locate:
            if (args.size() == 3 && integer(2) <= 0) return kMsgFunctionArgument;
            setCount(out, locate(text(0), text(1), args.size() == 3 ? integer(2) : 1));
            return kMsgNone;
        case ScalarKind::Ltrim:
            setText(out, withoutLeadingSpaces(text(0)));
            return kMsgNone;
        case ScalarKind::OctetLength:
            setCount(out, double(text(0).size()));
            return kMsgNone;
        case ScalarKind::Position:
            setCount(out, locate(text(0), text(1), 1));
            return kMsgNone;
        case ScalarKind::Repeat:
            return repeat(text(0), integer(1), out);
        case ScalarKind::Replace:
            return replace(text(0), text(1), text(2), out);
        case ScalarKind::Right: {
            if (integer(1) < 0) return kMsgFunctionArgument;
            const std::size_t length = utf8CharCount(text(0));
            const std::int64_t skipped =
                std::max<std::int64_t>(0, std::int64_t(length) - integer(1));
            setText(out, text(0).substr(skipChars(text(0), 0, skipped)));
            return kMsgNone;
        }
        case ScalarKind::Rtrim:
            setText(out, withoutTrailingSpaces(text(0)));
            return kMsgNone;
        case ScalarKind::Soundex: {
            char code[kMaxSoundexChars];
            setText(out, std::string_view(code, soundex(text(0), code)));
            return kMsgNone;
        }
        case ScalarKind::Space:
            if (integer(0) < 0 || integer(0) > std::int64_t(kMaxResultChars))
                return kMsgFunctionArgument;
            setPresent(out, ValueType::Char);
            out.text.assign(std::size_t(integer(0)), ' ');
            return kMsgNone;
        case ScalarKind::Substring:
            return substring(text(0), integer(1), integer(2), out);
        default:
            return kMsgInternalError;
    }
}

}  // namespace kelvra
