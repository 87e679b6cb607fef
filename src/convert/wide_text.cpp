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

void appendUnit(std::string& out, char16_t unit) {
    char bytes[sizeof unit];
    std::memcpy(bytes, &unit, sizeof unit);
    out.append(bytes, sizeof unit);
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
    std::string out;
    out.reserve(utf8.size() * 2);
    for (size_t i = 0; i < utf8.size();) {
        const char32_t cp = decodeUtf8(utf8, i);
        if (cp >= 0x10000) {
            appendUnit(out, static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
            appendUnit(out, static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
        } else {
            appendUnit(out, static_cast<char16_t>(cp));
        }
    }
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
