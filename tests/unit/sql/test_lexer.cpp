// The lexer's productions, each as a table of texts and what it reads from them.
#include <gtest/gtest.h>

#include <string>

#include "sql/lexer.h"

namespace kelvra {
namespace {

// Every token of the text as "kind:text" joined by " | "; a failure ends the list with
// "!number argument". Kinds: s symbol, n number, q string, i identifier, k keyword. As in the
// parser, only a name is read in multi-word mode: here the first token.
std::string tokens(std::string_view text, bool multiWord) {
    Lexer lx(text);
    std::string out;
    for (int n = 0; n < 50; ++n) {
        const MsgNo r = NextToken(lx, multiWord && n == 0);
        if (!out.empty()) out += " | ";
        if (r != kMsgNone) return out + "!" + std::to_string(r) + " " + lx.argument;
        if (lx.kind == TokenKind::EndOfText) {
            out.resize(out.size() > 3 ? out.size() - 3 : 0);
            return out;
        }
        out += "?snqik"[static_cast<int>(lx.kind)];
        out += ":" + lx.token;
    }
    return out + "...";
}

TEST(Lexer, NextTokenSplitsTheText) {
    struct Case {
        const char* text;
        bool multiWord;
        const char* expected;
    };
    const Case cases[] = {
        // Quoted identifiers close at either delimiter and are never keywords.
        {"[Order\" x", false, "i:Order | i:x"},
        {"\"abc", false, "!1013 "},
        // Strings: doubled quotes, an unterminated one.
        {"'It''s' ''''", false, "q:It's | q:'"},
        // Symbols.
        {"a<>b a<=b a>=b a--b", false,
         "i:a | s:<> | i:b | i:a | s:<= | i:b | i:a | s:>= | i:b | i:a | s:-- | i:b"},
        {"(),*+/;=?{}-<>", false,
         "s:( | s:) | s:, | s:* | s:+ | s:/ | s:; | s:= | s:? | s:{ | s:} | s:- | s:<>"},
        // Numbers: a leading point, a word right after, malformed ones.
        {".5 t.c 12AB", false, "n:.5 | i:t | s:. | i:c | n:12 | i:AB"},
        {"1.5E+2 3e-1x", false, "n:1.5E+2 | n:3e-1 | i:x"},
        {"1e5e2", false, "!1016 1e5"},
        {"1e+", false, "!1016 1e+"},
        {"1.5e.2", false, "!1016 1.5e"},
        // Words: keywords in any case; ";", quotes and brackets inside words.
        {"select From x_1 a'b c]d", false, "k:select | k:From | i:x_1 | i:a'b | i:c]d"},
        {"t;x", false, "i:t | s:; | i:x"},
        {"Café Größe", true, "i:Café Größe"},
        // Multi-word mode: a reserved word after a blank ends the name; BY, INTO and TOP only
        // in lower case.
        {"Last Modified By", false, "i:Last | i:Modified | k:By"},
        {"Created by", true, "i:Created | k:by"},
        {"Sort into x", true, "i:Sort | k:into | i:x"},
        {"Top Sellers Top", true, "i:Top Sellers Top"},
        {"Name FROM t", true, "i:Name | k:FROM | i:t"},
        {"Name  from  t", true, "i:Name | k:from | i:t"},
        {"a b\tc\nd", true, "i:a b | i:c | i:d"},
        {"FROM x", true, "i:FROM x"},  // only the part after a blank is tested
    };
    for (const Case& c : cases) {
        EXPECT_EQ(tokens(c.text, c.multiWord), c.expected) << c.text;
    }
    // A NUL byte ends the text.
    EXPECT_EQ(tokens(std::string_view("a b\0c d", 7), false), "i:a | i:b");
    EXPECT_EQ(tokens(std::string_view("a b\0c d", 7), true), "i:a b");
    EXPECT_EQ(tokens(std::string_view("'a\0b'", 5), false), "!1013 ");
}

TEST(Lexer, TokensUpToTheSizeLimit) {
    const std::string longest(kMaxTokenLength, 'x');
    for (const std::string& form :
         {longest, "[" + longest + "]", "'" + longest + "'", std::string(kMaxTokenLength, '7')}) {
        Lexer lx(form);
        ASSERT_EQ(NextToken(lx), kMsgNone) << form.substr(0, 2);
        EXPECT_EQ(lx.token.size(), kMaxTokenLength);
        const std::string longer = form.front() == '[' || form.front() == '\''
                                       ? form.substr(0, 1) + "y" + form.substr(1)
                                       : form + form.back();
        Lexer over(longer);
        EXPECT_EQ(NextToken(over), kMsgElementTooLarge) << form.substr(0, 2);
        EXPECT_EQ(over.argument.size(), kMaxTokenLength);
    }
    // A doubled quote counts once.
    const std::string quoted = "'" + std::string(2 * kMaxTokenLength, '\'') + "'";
    Lexer quotes(quoted);
    ASSERT_EQ(NextToken(quotes), kMsgNone);
    EXPECT_EQ(quotes.token.size(), kMaxTokenLength);
    // The argument of a cut never ends inside a character.
    const std::string accented = std::string(kMaxTokenLength - 1, 'x') + "éé";
    Lexer wide(accented);
    EXPECT_EQ(NextToken(wide), kMsgElementTooLarge);
    EXPECT_EQ(wide.argument.size(), kMaxTokenLength - 1);
}

TEST(Lexer, ClassifyAndSplit) {
    for (const char* word : {"ALL", "deleteoq", "Where", "USER", "count", "Left"}) {
        EXPECT_EQ(ClassifyWord(word), TokenKind::Keyword) << word;
    }
    for (const char* word : {"fn", "oj", "d", "ts", "ESCAPE", "MERGE", "SELECTS", "A", ""}) {
        EXPECT_EQ(ClassifyWord(word), TokenKind::Identifier) << word;
    }
    EXPECT_EQ(SplitTrailingKeyword("Name FROM"), 4u);
    EXPECT_EQ(SplitTrailingKeyword("Order Items order"), 11u);
    for (const char* kept : {"Name", "Last Modified By", "Sort INTO", "Go TOP", "a b"}) {
        EXPECT_EQ(SplitTrailingKeyword(kept), std::string_view::npos) << kept;
    }
}

TEST(Lexer, EscapeClausesReadWhole) {
    struct Case {
        const char* text;
        MsgNo result;
        const char* token;  // the clause, or the argument on failure
    };
    const Case cases[] = {
        {"  {d '2008-01-31'} x", kMsgNone, "{d '2008-01-31'}"},
        {"--(*vendor(Microsoft),product(ODBC) d '2008-01-31' *)-- x", kMsgNone,
         "--(*vendor(Microsoft),product(ODBC) d '2008-01-31' *)--"},
        {"{d '2008-01-31'", kMsgUnexpectedEnd, ""},
        {"--(*vendor d '2008-01-31' *)-", kMsgUnexpectedEnd, ""},
        {"-x", kMsgUnexpectedEnd, ""},
        {"   ", kMsgUnexpectedEnd, ""},
        {"'2008-01-31'", kMsgElementMissing, "<escape-sequence>"},
    };
    for (const Case& c : cases) {
        Lexer lx(c.text);
        EXPECT_EQ(ReadEscapeClause(lx), c.result) << c.text;
        EXPECT_EQ(c.result == kMsgNone ? lx.token : lx.argument, c.token) << c.text;
    }
    Lexer rest("{t '10:00:00'} x");
    ASSERT_EQ(ReadEscapeClause(rest), kMsgNone);
    EXPECT_EQ(rest.text.substr(rest.cursor), " x");
    const std::string braces = "{" + std::string(kMaxTokenLength, 'x') + "}";
    Lexer large(braces);
    EXPECT_EQ(ReadEscapeClause(large), kMsgElementTooLarge);
    const std::string dashes = "--" + std::string(kMaxTokenLength - 1, 'x') + "--";
    Lexer vendor(dashes);
    EXPECT_EQ(ReadEscapeClause(vendor), kMsgElementTooLarge);
}

TEST(Lexer, UnsignedIntegers) {
    struct Case {
        const char* text;
        MsgNo result;
        std::uint32_t value;
        const char* argument;
    };
    const Case cases[] = {
        {"0", kMsgNone, 0, ""},
        {" 4294967295", kMsgNone, 4294967295u, ""},
        {"4294967296", kMsgMalformedNumber, 0, "4294967296"},
        {"4294967297", kMsgMalformedNumber, 0, "4294967297"},
        {"99999999999999999999", kMsgMalformedNumber, 0, "99999999999999999999"},
        {"1.5", kMsgMalformedNumber, 0, ".5"},
        {"1e3", kMsgMalformedNumber, 0, "e3"},
        {"a", kMsgMalformedNumber, 0, "a"},
        {"-1", kMsgMalformedNumber, 0, "-"},
    };
    for (const Case& c : cases) {
        Lexer lx(c.text);
        std::uint32_t value = 7;
        EXPECT_EQ(ReadUnsignedInteger(lx, value), c.result) << c.text;
        if (c.result == kMsgNone) {
            EXPECT_EQ(value, c.value) << c.text;
        } else {
            EXPECT_EQ(lx.argument, c.argument) << c.text;
        }
    }
}

TEST(Lexer, NumericLiterals) {
    struct Case {
        const char* text;
        MsgNo result;
        double value;
        ValueType type;
        int scale;
        const char* token;  // the text kept, or the argument on failure
    };
    const Case cases[] = {
        {"- 12.50", kMsgNone, -12.5, ValueType::Numeric, 2, "-12.50"},
        {"12.", kMsgNone, 12, ValueType::Integer, 0, "12"},
        {"+7", kMsgNone, 7, ValueType::Integer, 0, "7"},
        {"1.5E2", kMsgNone, 150, ValueType::Double, -1, "1.5E2"},
        {"-2.5e-1", kMsgNone, -0.25, ValueType::Double, -1, "-2.5e-1"},
        {".125", kMsgNone, 0.125, ValueType::Numeric, 3, ".125"},
        {"0.1", kMsgNone, 0.1, ValueType::Numeric, 1, "0.1"},
        {"123456789012345678901234567890", kMsgNone, 1.2345678901234568e29, ValueType::Integer, 0,
         "123456789012345678901234567890"},
        {"1e400", kMsgMalformedNumber, 0, ValueType::None, 0, "1e400"},
        {"1ex", kMsgMalformedNumber, 0, ValueType::None, 0, "1e"},
        {"x", kMsgElementMissing, 0, ValueType::None, 0, "<number>"},
        {"- x", kMsgElementMissing, 0, ValueType::None, 0, "<number>"},
        {"1.2.3", kMsgMalformedNumber, 0, ValueType::None, 0, "1.2"},
    };
    for (const Case& c : cases) {
        Lexer lx(c.text);
        NumericLiteral n;
        EXPECT_EQ(ReadNumericLiteral(lx, n), c.result) << c.text;
        if (c.result != kMsgNone) {
            EXPECT_EQ(lx.argument, c.token) << c.text;
            continue;
        }
        EXPECT_DOUBLE_EQ(n.value, c.value) << c.text;
        EXPECT_EQ(n.type, c.type) << c.text;
        EXPECT_EQ(n.scale, c.scale) << c.text;
        EXPECT_EQ(lx.token, c.token) << c.text;
    }
    const std::string digits(kMaxTokenLength, '1');
    Lexer longest(digits);
    NumericLiteral n;
    EXPECT_EQ(ReadNumericLiteral(longest, n), kMsgMalformedNumber);
}

// The expect primitives and the argument texts of their failures.
TEST(Lexer, ExpectPrimitives) {
    enum Primitive { Symbol, Word, Keyword, Identifier, String };
    struct Case {
        Primitive primitive;
        const char* expected;
        const char* text;
        MsgNo result;
        const char* argument;  // on failure; the token on success
    };
    const Case cases[] = {
        {Symbol, "(", " (", kMsgNone, "("},
        {Symbol, "", "<=", kMsgNone, "<="},
        {Symbol, ")", ";", kMsgElementMissing, "found ';' instead of ')'"},
        {Symbol, "", "abc", kMsgElementMissing, "<symbol>"},
        {Symbol, ")", "", kMsgElementMissing, "found '' instead of ')'"},
        {Word, "vendor", "xx", kMsgNone, "xx"},
        {Word, "vendor", "SELECT", kMsgNone, "SELECT"},
        {Word, "vendor", "(", kMsgElementMissing, "vendor"},
        {Word, "", "12", kMsgElementMissing, "found '12' instead of <identifier>"},
        {Word, "fn", "\"fn\"", kMsgElementMissing, "fn"},
        {Word, "fn", "  ", kMsgUnexpectedEnd, ""},
        {Keyword, "FROM", "from", kMsgNone, "from"},
        {Keyword, "", "Where", kMsgNone, "Where"},
        {Keyword, "FROM", "WHERE", kMsgElementMissing, "found 'WHERE' instead of 'FROM'"},
        {Keyword, "", "MERGE", kMsgElementMissing, "found 'MERGE' instead of <keyword>"},
        {Keyword, "FROM", "\"FROM\"", kMsgElementMissing, "found '' instead of 'FROM'"},
        {Keyword, "", "", kMsgUnexpectedEnd, ""},
        {Identifier, "", "[SELECT]", kMsgNone, "SELECT"},
        {Identifier, "", "select", kMsgElementMissing, "found 'select' instead of <identifier>"},
        {Identifier, "", "", kMsgElementMissing, "found '' instead of <identifier>"},
        {String, "", "'a''b'", kMsgNone, "a'b"},
        {String, "", "ab", kMsgElementMissing, "<string>"},
    };
    for (const Case& c : cases) {
        Lexer lx(c.text);
        ParseTree tree;
        StringIndex stored = kNoString;
        MsgNo r = kMsgNone;
        switch (c.primitive) {
            case Symbol:
                r = ExpectSymbol(lx, c.expected);
                break;
            case Word:
                r = ExpectWord(lx, c.expected);
                break;
            case Keyword:
                r = ExpectKeyword(lx, c.expected);
                break;
            case Identifier:
                r = ExpectIdentifier(lx, tree, stored);
                break;
            case String:
                r = ExpectStringLiteral(lx, tree, stored);
                break;
        }
        EXPECT_EQ(r, c.result) << c.text;
        if (r != kMsgNone) {
            if (r == kMsgElementMissing) {
                EXPECT_EQ(lx.argument, c.argument) << c.text;
            }
            continue;
        }
        EXPECT_EQ(lx.token, c.argument) << c.text;
        if (c.primitive == Identifier || c.primitive == String) {
            EXPECT_EQ(tree.text(stored), c.argument) << c.text;
        }
    }
}

}  // namespace
}  // namespace kelvra
