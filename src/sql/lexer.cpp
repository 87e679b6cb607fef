#include "sql/lexer.h"

#include <algorithm>
#include <array>
#include <limits>

#include "convert/number_text.h"
#include "resources/ascii.h"
#include "resources/utf8.h"

namespace kelvra {

namespace {

constexpr std::array<std::string_view, 49> kKeywords = {
    "ALL",   "AND",    "ANY",      "AS",       "ASC",      "AVG",    "BETWEEN",
    "BY",    "COUNT",  "CREATE",   "DELETE",   "DELETEOQ", "DESC",   "DISTINCT",
    "DROP",  "EXISTS", "FROM",     "GROUP",    "HAVING",   "IN",     "INDEX",
    "INNER", "INSERT", "INSERTOQ", "INTO",     "IS",       "JOIN",   "LEFT",
    "LIKE",  "MAX",    "MIN",      "NOT",      "NULL",     "ON",     "OR",
    "ORDER", "OUTER",  "SELECT",   "SET",      "SQL",      "SUM",    "TABLE",
    "TOP",   "UNIQUE", "UPDATE",   "UPDATEOQ", "USER",     "VALUES", "WHERE",
};

constexpr bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
constexpr bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// The bytes that end an unquoted word (a blank too, outside multi-word mode). A ";" ends it
// as well, so that "FROM t; SELECT ..." names the table t and ends the statement there.
constexpr bool endsWord(char c) {
    switch (c) {
        case '\t':
        case '\n':
        case '\r':
        case '(':
        case ')':
        case '*':
        case '+':
        case ',':
        case '-':
        case '.':
        case '/':
        case ';':
        case '<':
        case '=':
        case '>':
        case '?':
        case '{':
        case '}':
            return true;
        default:
            return false;
    }
}

MsgNo fail(Lexer& lx, MsgNo number, std::string_view argument) {
    lx.argument.assign(argument);
    return number;
}

// 1014 with the text gathered so far, cut to the longest token on a character boundary.
MsgNo tooLarge(Lexer& lx, std::string_view gathered) {
    std::size_t n = std::min(gathered.size(), kMaxTokenLength);
    while (n > 0 && n < gathered.size() && isUtf8Continuation(gathered[n])) --n;
    return fail(lx, kMsgElementTooLarge, gathered.substr(0, n));
}

MsgNo found(Lexer& lx, std::string_view tail) {
    lx.argument.assign("found '");
    lx.argument.append(lx.token);
    lx.argument.append(tail);
    return kMsgElementMissing;
}

MsgNo foundInsteadOf(Lexer& lx, std::string_view expected) {
    lx.argument.assign("found '");
    lx.argument.append(lx.token);
    lx.argument.append("' instead of '");
    lx.argument.append(expected);
    lx.argument.append("'");
    return kMsgElementMissing;
}

// A reserved word that ends a multi-word name when it follows a blank.
bool endsName(std::string_view part) {
    if (ClassifyWord(part) != TokenKind::Keyword) return false;
    const bool capital = part[0] >= 'A' && part[0] <= 'Z';
    return !(capital && (equalsIgnoreCase(part, "BY") || equalsIgnoreCase(part, "INTO") ||
                         equalsIgnoreCase(part, "TOP")));
}

std::string_view trimTrailingBlanks(std::string_view word) {
    while (!word.empty() && word.back() == ' ') word.remove_suffix(1);
    return word;
}

MsgNo readQuotedIdentifier(Lexer& lx) {
    const std::size_t start = ++lx.cursor;
    const std::size_t close = lx.text.find_first_of("\"]", start);
    const std::size_t end = close == std::string_view::npos ? lx.text.size() : close;
    if (end - start > kMaxTokenLength) return tooLarge(lx, lx.text.substr(start, end - start));
    if (close == std::string_view::npos) return kMsgUnexpectedEnd;
    lx.token.assign(lx.text.substr(start, end - start));
    lx.cursor = close + 1;
    lx.kind = TokenKind::Identifier;
    return kMsgNone;
}

MsgNo readString(Lexer& lx) {
    std::size_t pos = lx.cursor + 1;
    for (;;) {
        const std::size_t quote = lx.text.find('\'', pos);
        const std::size_t end = quote == std::string_view::npos ? lx.text.size() : quote;
        lx.token.append(lx.text.substr(pos, end - pos));
        if (lx.token.size() > kMaxTokenLength) return tooLarge(lx, lx.token);
        if (quote == std::string_view::npos) return kMsgUnexpectedEnd;
        if (quote + 1 < lx.text.size() && lx.text[quote + 1] == '\'') {
            lx.token.push_back('\'');
            pos = quote + 2;
            continue;
        }
        lx.cursor = quote + 1;
        lx.kind = TokenKind::String;
        return kMsgNone;
    }
}

MsgNo readNumber(Lexer& lx) {
    const std::size_t start = lx.cursor;
    std::size_t& pos = lx.cursor;
    bool point = false;
    bool exponent = false;
    while (pos < lx.text.size()) {
        const char c = lx.text[pos];
        if (c == '.') {
            if (point || exponent) {
                return fail(lx, kMsgMalformedNumber, lx.text.substr(start, pos - start));
            }
            point = true;
            ++pos;
        } else if (c == 'E' || c == 'e') {
            if (exponent) return fail(lx, kMsgMalformedNumber, lx.text.substr(start, pos - start));
            exponent = true;
            ++pos;
            if (pos < lx.text.size() && (lx.text[pos] == '+' || lx.text[pos] == '-')) ++pos;
            // Something must follow the exponent mark.
            if (pos >= lx.text.size()) {
                return fail(lx, kMsgMalformedNumber, lx.text.substr(start, pos - start));
            }
        } else if (isDigit(c)) {
            ++pos;
        } else {
            break;
        }
        if (pos - start > kMaxTokenLength) return tooLarge(lx, lx.text.substr(start, pos - start));
    }
    lx.token.assign(lx.text.substr(start, pos - start));
    lx.kind = TokenKind::Number;
    return kMsgNone;
}

MsgNo readWord(Lexer& lx, bool multiWord) {
    const std::size_t start = lx.cursor;
    std::size_t& pos = lx.cursor;
    std::size_t partStart = start;  // where the part after the last blank begins
    while (pos < lx.text.size()) {
        const char c = lx.text[pos];
        if (endsWord(c)) break;
        if (c == ' ') {
            if (!multiWord) break;
            // Only the part after the last blank is tested, once, when the next blank is met.
            if (partStart > start && endsName(lx.text.substr(partStart, pos - partStart))) {
                pos = partStart - 1;
                break;
            }
            partStart = pos + 1;
        }
        ++pos;
        if (pos - start > kMaxTokenLength) return tooLarge(lx, lx.text.substr(start, pos - start));
    }
    std::string_view word = trimTrailingBlanks(lx.text.substr(start, pos - start));
    if (multiWord) {
        const std::size_t cut = SplitTrailingKeyword(word);
        if (cut != std::string_view::npos) {
            pos = start + cut;
            word = trimTrailingBlanks(word.substr(0, cut));
        }
    }
    lx.token.assign(word);
    lx.kind = ClassifyWord(word);
    return kMsgNone;
}

}  // namespace

Lexer::Lexer(std::string_view statementText)
    : text(statementText.substr(0, statementText.find('\0'))) {}

void Lexer::skipWhitespace() {
    while (cursor < text.size() && isBlank(text[cursor])) ++cursor;
}

TokenKind ClassifyWord(std::string_view text) {
    // The words are at most 8 letters: fold into a small buffer and search the sorted table.
    char folded[8];
    if (text.size() < 2 || text.size() > sizeof folded) return TokenKind::Identifier;
    for (std::size_t i = 0; i < text.size(); ++i) folded[i] = asciiUpper(text[i]);
    const std::string_view word(folded, text.size());
    return std::binary_search(kKeywords.begin(), kKeywords.end(), word) ? TokenKind::Keyword
                                                                        : TokenKind::Identifier;
}

std::size_t SplitTrailingKeyword(std::string_view word) {
    const std::size_t blank = word.rfind(' ');
    if (blank == std::string_view::npos || !endsName(word.substr(blank + 1))) {
        return std::string_view::npos;
    }
    return blank;
}

namespace {

MsgNo scanToken(Lexer& lx, bool multiWord);

}  // namespace

MsgNo NextToken(Lexer& lx, bool multiWord) {
    if (lx.cursor == lx.tokenStart && multiWord == lx.tokenMultiWord) {
        lx.cursor = lx.tokenEnd;  // read again after being put back
        return kMsgNone;
    }
    const SqlCursor start = lx.cursor;
    const MsgNo r = scanToken(lx, multiWord);
    lx.tokenStart = r == kMsgNone ? start : Lexer::kNoToken;
    lx.tokenEnd = lx.cursor;
    lx.tokenMultiWord = multiWord;
    return r;
}

namespace {

MsgNo scanToken(Lexer& lx, bool multiWord) {
    lx.skipWhitespace();
    lx.token.clear();
    if (lx.atEnd()) {
        lx.kind = TokenKind::EndOfText;
        return kMsgNone;
    }
    const char c = lx.text[lx.cursor];
    const char next = lx.cursor + 1 < lx.text.size() ? lx.text[lx.cursor + 1] : '\0';
    auto symbol = [&](std::size_t length) -> MsgNo {
        lx.token.assign(lx.text.substr(lx.cursor, length));
        lx.cursor += length;
        lx.kind = TokenKind::Symbol;
        return kMsgNone;
    };
    switch (c) {
        case '"':
        case '[':
            return readQuotedIdentifier(lx);
        case '\'':
            return readString(lx);
        case '(':
        case ')':
        case '*':
        case '+':
        case ',':
        case '/':
        case ';':
        case '=':
        case '?':
        case '{':
        case '}':
            return symbol(1);
        case '-':
            return symbol(next == '-' ? 2 : 1);
        case '<':
            return symbol(next == '=' || next == '>' ? 2 : 1);
        case '>':
            return symbol(next == '=' ? 2 : 1);
        case '.':
            return isDigit(next) ? readNumber(lx) : symbol(1);
        default:
            return isDigit(c) ? readNumber(lx) : readWord(lx, multiWord);
    }
}

}  // namespace

MsgNo ReadEscapeClause(Lexer& lx) {
    lx.skipWhitespace();
    if (lx.atEnd()) return kMsgUnexpectedEnd;
    const std::size_t start = lx.cursor;
    std::size_t end = 0;  // one past the closing delimiter
    if (lx.text[start] == '{') {
        const std::size_t close = lx.text.find('}', start);
        const std::size_t limit = close == std::string_view::npos ? lx.text.size() : close + 1;
        if (limit - start > kMaxTokenLength) return tooLarge(lx, lx.text.substr(start));
        if (close == std::string_view::npos) return kMsgUnexpectedEnd;
        end = close + 1;
    } else if (lx.text[start] == '-') {
        if (start + 1 >= lx.text.size() || lx.text[start + 1] != '-') return kMsgUnexpectedEnd;
        const std::size_t close = lx.text.find("--", start + 2);
        const std::size_t limit = close == std::string_view::npos ? lx.text.size() : close;
        if (limit - (start + 2) >= kMaxTokenLength - 1) return tooLarge(lx, lx.text.substr(start));
        if (close == std::string_view::npos) return kMsgUnexpectedEnd;
        end = close + 2;
    } else {
        return fail(lx, kMsgElementMissing, "<escape-sequence>");
    }
    lx.token.assign(lx.text.substr(start, end - start));
    lx.tokenStart = Lexer::kNoToken;
    lx.cursor = end;
    return kMsgNone;
}

MsgNo ReadUnsignedInteger(Lexer& lx, std::uint32_t& value) {
    if (MsgNo r = NextToken(lx)) return r;
    if (lx.kind != TokenKind::Number) return fail(lx, kMsgMalformedNumber, lx.token);
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < lx.token.size(); ++i) {
        const char c = lx.token[i];
        if (!isDigit(c)) return fail(lx, kMsgMalformedNumber, std::string_view(lx.token).substr(i));
        v = v * 10 + static_cast<std::uint64_t>(c - '0');
        if (v > std::numeric_limits<std::uint32_t>::max()) {
            return fail(lx, kMsgMalformedNumber, lx.token);
        }
    }
    value = static_cast<std::uint32_t>(v);
    return kMsgNone;
}

MsgNo ReadNumericLiteral(Lexer& lx, NumericLiteral& out) {
    if (MsgNo r = NextToken(lx)) return r;
    bool minus = false;
    if (lx.kind == TokenKind::Symbol && (lx.token == "-" || lx.token == "+")) {
        minus = lx.token == "-";
        if (MsgNo r = NextToken(lx)) return r;
    }
    if (lx.kind != TokenKind::Number) return fail(lx, kMsgElementMissing, "<number>");
    if (lx.token.size() >= kMaxTokenLength) return fail(lx, kMsgMalformedNumber, lx.token);
    lx.tokenStart = Lexer::kNoToken;  // the text is rewritten below

    ValueType type = ValueType::Integer;
    int scale = 0;
    bool exponentDigits = false;
    char previous = '\0';
    for (const char c : lx.token) {
        if (isDigit(c)) {
            if (type == ValueType::Numeric) ++scale;
            if (type == ValueType::Double) exponentDigits = true;
        } else if (c == '.' && type == ValueType::Integer) {
            type = ValueType::Numeric;
        } else if ((c == 'E' || c == 'e') && type != ValueType::Double) {
            type = ValueType::Double;
        } else if (!((c == '+' || c == '-') && (previous == 'E' || previous == 'e'))) {
            return fail(lx, kMsgMalformedNumber, lx.token);
        }
        previous = c;
    }
    // An exponent mark without digits ("1e") is no number.
    if (type == ValueType::Double && !exponentDigits) {
        return fail(lx, kMsgMalformedNumber, lx.token);
    }
    if (type == ValueType::Numeric && scale == 0) {  // "12." is the integer 12
        type = ValueType::Integer;
        lx.token.pop_back();
    }
    if (minus) lx.token.insert(0, 1, '-');
    double value = 0.0;
    if (parseNumber(lx.token, value) != kMsgNone) return fail(lx, kMsgMalformedNumber, lx.token);
    out.value = value;
    out.type = type;
    out.scale = type == ValueType::Double ? std::int16_t{-1} : static_cast<std::int16_t>(scale);
    return kMsgNone;
}

MsgNo ExpectSymbol(Lexer& lx, std::string_view expected) {
    if (MsgNo r = NextToken(lx)) return r;
    if (lx.kind == TokenKind::Symbol && (expected.empty() || lx.token == expected)) {
        return kMsgNone;
    }
    if (expected.empty()) return fail(lx, kMsgElementMissing, "<symbol>");
    return foundInsteadOf(lx, expected);
}

MsgNo ExpectWord(Lexer& lx, std::string_view expected) {
    lx.skipWhitespace();
    if (lx.atEnd()) return kMsgUnexpectedEnd;
    // A quoted identifier is never taken for a word here; it is not read.
    if (lx.text[lx.cursor] != '"') {
        if (MsgNo r = NextToken(lx)) return r;
        if (lx.kind == TokenKind::Identifier || lx.kind == TokenKind::Keyword) return kMsgNone;
    }
    if (!expected.empty()) return fail(lx, kMsgElementMissing, expected);
    return found(lx, "' instead of <identifier>");
}

MsgNo ExpectKeyword(Lexer& lx, std::string_view expected) {
    lx.skipWhitespace();
    if (lx.atEnd()) return kMsgUnexpectedEnd;
    if (lx.text[lx.cursor] != '"') {
        if (MsgNo r = NextToken(lx)) return r;
        if (lx.kind == TokenKind::Keyword &&
            (expected.empty() || equalsIgnoreCase(lx.token, expected))) {
            return kMsgNone;
        }
    }
    if (expected.empty()) return found(lx, "' instead of <keyword>");
    return foundInsteadOf(lx, expected);
}

MsgNo ExpectIdentifier(Lexer& lx, ParseTree& tree, StringIndex& out, bool multiWord) {
    if (MsgNo r = NextToken(lx, multiWord)) return r;
    if (lx.kind != TokenKind::Identifier) return found(lx, "' instead of <identifier>");
    out = tree.addString(lx.token);
    return out == kNoString ? kMsgMemory : kMsgNone;
}

MsgNo ExpectStringLiteral(Lexer& lx, ParseTree& tree, StringIndex& out) {
    if (MsgNo r = NextToken(lx)) return r;
    if (lx.kind != TokenKind::String) return fail(lx, kMsgElementMissing, "<string>");
    out = tree.addString(lx.token);
    return out == kNoString ? kMsgMemory : kMsgNone;
}

}  // namespace kelvra
