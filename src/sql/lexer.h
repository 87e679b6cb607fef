// The SQL lexer: one token at a time from a position in a statement's text. The parser asks for
// the next token and backtracks by copying a saved cursor back; there is no token stream.
//
// Unquoted identifiers may hold blanks in multi-word mode (QuickBase names such as
// Last Modified By are written without quotes): a blank ends the word only where the part
// after it is a reserved word. Escape clauses ({d '...'} and the vendor-comment form) can be
// read whole as raw text. The expect primitives read one token, test it and on failure leave
// the argument text of the message (1015 "SQL statement element missing: %s").
//
// Texts are UTF-8. Every byte that ends a token is ASCII, so a lead byte and its continuation
// bytes always travel together.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "convert/value.h"
#include "resources/messages.h"
#include "sql/parse_tree.h"

namespace kelvra {

enum class TokenKind : std::uint16_t {
    EndOfText = 0,
    Symbol = 1,      // one or two punctuation characters
    Number = 2,      // the digits as written
    String = 3,      // the content without its quotes, each doubled quote reduced to one
    Identifier = 4,  // the word, or the content of a quoted identifier
    Keyword = 5,     // a reserved word as written
};

// The longest token text (the token buffer holds 32768 bytes with its terminator).
inline constexpr std::size_t kMaxTokenLength = 32767;

// The lexer's position: a byte offset into the statement's text.
using SqlCursor = std::size_t;

// One parse's lexing state: the text, the cursor, the token just read (the token buffer) and
// the argument text left by the last failure. Only the functions below write the token.
struct Lexer {
    explicit Lexer(std::string_view statementText);  // the text up to its first NUL byte

    std::string_view text;
    SqlCursor cursor = 0;
    std::string token;
    TokenKind kind = TokenKind::EndOfText;
    std::string argument;

    bool atEnd() const { return cursor >= text.size(); }
    void skipWhitespace();  // blanks, tabs, line feeds, carriage returns

    // Where the token in the buffer was read from and how: the parser often puts a token back
    // and reads it again, which then costs nothing.
    static constexpr SqlCursor kNoToken = ~SqlCursor{0};
    SqlCursor tokenStart = kNoToken;
    SqlCursor tokenEnd = 0;
    bool tokenMultiWord = false;
};

// Keyword when the text is one of the 49 reserved words (ignoring case), else Identifier.
TokenKind ClassifyWord(std::string_view text);

// The multi-word step: when the part of `word` after its last blank is a reserved word that
// ends a name there, the length of the name before that blank; else npos. BY, INTO and TOP do
// not end a name when written with an upper-case first letter (Last Modified By, Sort INTO).
std::size_t SplitTrailingKeyword(std::string_view word);

// Reads one token. 0, 1013 (unterminated string or quoted identifier), 1014 (token too long)
// or 1016 (malformed number).
MsgNo NextToken(Lexer& lx, bool multiWord = false);

// Reads a whole escape clause, delimiters included, into the token buffer: {...} up to the
// first "}", or --...-- up to the next "--". 0, 1013, 1014 or 1015.
MsgNo ReadEscapeClause(Lexer& lx);

// Reads a number token as an unsigned 32-bit integer. 0, or 1016 for anything else (a number
// that does not fit included).
MsgNo ReadUnsignedInteger(Lexer& lx, std::uint32_t& value);

// A numeric literal as written: an optional sign and a number token.
struct NumericLiteral {
    double value = 0.0;
    ValueType type = ValueType::Integer;  // Integer, Numeric (a point) or Double (an exponent)
    std::int16_t scale = 0;               // digits after the point; -1 for Double
};

// Reads an optionally signed number; the token buffer keeps its text ("-" and the digits, a
// bare trailing point dropped). 0, 1015 (no number), 1016 (malformed or beyond a double).
MsgNo ReadNumericLiteral(Lexer& lx, NumericLiteral& out);

// The expect primitives. Each reads one token (multi-word mode off unless stated) and fails
// with 1015 when it is not what is expected; an empty `expected` accepts any of the kind.
MsgNo ExpectSymbol(Lexer& lx, std::string_view expected);
MsgNo ExpectWord(Lexer& lx, std::string_view expected);  // any identifier or keyword
MsgNo ExpectKeyword(Lexer& lx, std::string_view expected);
// An identifier (never a reserved word) or a string, stored in the tree's string area.
MsgNo ExpectIdentifier(Lexer& lx, ParseTree& tree, StringIndex& out, bool multiWord = false);
MsgNo ExpectStringLiteral(Lexer& lx, ParseTree& tree, StringIndex& out);

}  // namespace kelvra
