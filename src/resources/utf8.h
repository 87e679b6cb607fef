// Stepping over UTF-8 texts: a lead byte and its continuation bytes travel together.
#pragma once

#include <cstddef>
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

}  // namespace kelvra
