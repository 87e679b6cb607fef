// Stepping over UTF-8 texts (a lead byte and its continuation bytes travel together), and
// decoding and encoding their characters.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kelvra {

constexpr bool isUtf8Continuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// The byte length of the character that starts at `pos` (pos < text.size()): the lead byte and
// the continuation bytes that follow it, at most as many as the lead byte announces. A stray
// continuation byte or a broken sequence is stepped over a byte at a time.
constexpr std::size_t utf8CharLength(std::string_view text, std::size_t pos) {
    auto lead = static_cast<unsigned char>(text[pos]);
    std::size_t expected = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    std::size_t length = 1;
    while (length < expected && pos + length < text.size() &&
           isUtf8Continuation(text[pos + length])) {
        ++length;
    }
    return length;
}

// The number of characters of the text, stepped as utf8CharLength steps.
constexpr std::size_t utf8CharCount(std::string_view text) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < text.size(); i += utf8CharLength(text, i)) ++count;
    return count;
}

// The byte length of the first `maxChars` characters of the text (all of it when it has no
// more), stepped as utf8CharLength steps: a cut there never splits a character.
constexpr std::size_t utf8CharPrefix(std::string_view text, std::size_t maxChars) {
    std::size_t i = 0;
    for (std::size_t count = 0; i < text.size() && count < maxChars; ++count) {
        i += utf8CharLength(text, i);
    }
    return i;
}

// Decodes the character at text[i] (i < text.size()) and advances i past it. A malformed or cut
// sequence gives U+FFFD and advances one byte; an overlong form, a surrogate or a value above
// U+10FFFF gives U+FFFD and advances past the sequence.
char32_t decodeUtf8(std::string_view text, std::size_t& i);

// Appends the UTF-8 form of a code point (at most U+10FFFF).
void appendUtf8(std::string& out, char32_t cp);

// Whether the text is well-formed UTF-8 (no malformed sequence as decodeUtf8 defines them).
bool isValidUtf8(std::string_view text);

}  // namespace kelvra
