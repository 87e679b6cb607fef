// Stepping over UTF-8 texts (a lead byte and its continuation bytes travel together), decoding
// them, and telling well-formed ones.
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

// What decodeUtf8 gives for a malformed sequence.
inline constexpr char32_t kMalformedUtf8 = 0xFFFFFFFF;

// Decodes the character at text[i] (i < text.size()) and advances i past it. A malformed
// sequence (a stray or missing continuation byte, an overlong form, a surrogate, a code point
// above U+10FFFF) gives kMalformedUtf8 and advances i by one byte.
constexpr char32_t decodeUtf8(std::string_view text, std::size_t& i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    std::size_t extra = 0;
    char32_t cp = 0;
    char32_t min = 0;
    if (lead < 0x80) {
        ++i;
        return lead;
    } else if ((lead & 0xE0) == 0xC0) {
        extra = 1, cp = lead & 0x1F, min = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2, cp = lead & 0x0F, min = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3, cp = lead & 0x07, min = 0x10000;
    } else {
        ++i;
        return kMalformedUtf8;
    }
    if (i + extra >= text.size()) {  // cut short
        ++i;
        return kMalformedUtf8;
    }
    for (std::size_t k = 1; k <= extra; ++k) {
        if (!isUtf8Continuation(text[i + k])) {
            ++i;
            return kMalformedUtf8;
        }
        cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
    i += extra + 1;
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return kMalformedUtf8;
    return cp;
}

constexpr bool isValidUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        if (decodeUtf8(text, i) == kMalformedUtf8) return false;
    }
    return true;
}

}  // namespace kelvra
