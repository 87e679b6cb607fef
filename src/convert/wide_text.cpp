#include "convert/wide_text.h"

#include <cstdint>
#include <cstring>

#include "resources/utf8.h"

namespace kelvra {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

constexpr bool isHighSurrogate(char32_t u) {
    return u >= 0xD800 && u <= 0xDBFF;
}
constexpr bool isLowSurrogate(char32_t u) {
    return u >= 0xDC00 && u <= 0xDFFF;
}

// Decodes `count` UTF-16 units read by `unitAt` into UTF-8. An unpaired surrogate becomes
// U+FFFD, or (strict) ends the decoding with false.
template <typename UnitAt>
bool decodeUtf16(std::size_t count, UnitAt unitAt, std::string& out, bool strict) {
    out.reserve(out.size() + count);
    for (std::size_t k = 0; k < count; ++k) {
        const char32_t u = unitAt(k);
        if (isHighSurrogate(u) && k + 1 < count && isLowSurrogate(unitAt(k + 1))) {
            appendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (unitAt(k + 1) - 0xDC00));
            ++k;
        } else if (isHighSurrogate(u) || isLowSurrogate(u)) {
            if (strict) return false;
            appendUtf8(out, kReplacement);
        } else {
            appendUtf8(out, u);
        }
    }
    return true;
}

}  // namespace

std::string utf8ToUtf16Bytes(std::string_view utf8) {
    // No UTF-8 byte makes more than one unit (four bytes make two).
    std::string out(utf8.size() * 2, '\0');
    char* at = out.data();
    const auto put = [&at](char32_t unit) {
        const auto u = static_cast<char16_t>(unit);
        std::memcpy(at, &u, sizeof u);
        at += sizeof u;
    };
    for (size_t i = 0; i < utf8.size();) {
        const auto byte = static_cast<unsigned char>(utf8[i]);
        if (byte < 0x80) {
            put(byte);
            ++i;
            continue;
        }
        const char32_t cp = decodeUtf8(utf8, i);
        if (cp >= 0x10000) {
            put(0xD800 + ((cp - 0x10000) >> 10));
            put(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            put(cp);
        }
    }
    out.resize(static_cast<std::size_t>(at - out.data()));
    return out;
}

std::string utf16BytesToUtf8(std::string_view bytes) {
    std::string out;
    decodeUtf16(
        bytes.size() / 2,
        [&](std::size_t k) {
            char16_t u;
            std::memcpy(&u, bytes.data() + 2 * k, sizeof u);
            return char32_t{u};
        },
        out, false);
    return out;
}

bool wideToUtf8(const SQLWCHAR* units, std::size_t count, std::string& out) {
    return decodeUtf16(
        count, [&](std::size_t k) { return char32_t{units[k]}; }, out, true);
}

std::size_t wideLength(const SQLWCHAR* units) {
    std::size_t n = 0;
    while (units[n] != 0) ++n;
    return n;
}

std::size_t utf8ToWide(std::string_view utf8, SQLWCHAR* out, std::size_t capacity,
                       std::size_t& written) {
    std::size_t total = 0;
    written = 0;
    for (std::size_t i = 0; i < utf8.size();) {
        const char32_t cp = decodeUtf8(utf8, i);
        const std::size_t need = cp >= 0x10000 ? 2 : 1;
        // Once a character does not fit, nothing after it is written either.
        if (written == total && total + need <= capacity) {
            if (need == 2) {
                out[total] = static_cast<SQLWCHAR>(0xD800 + ((cp - 0x10000) >> 10));
                out[total + 1] = static_cast<SQLWCHAR>(0xDC00 + ((cp - 0x10000) & 0x3FF));
            } else {
                out[total] = static_cast<SQLWCHAR>(cp);
            }
            written += need;
        }
        total += need;
    }
    return total;
}

}  // namespace kelvra
