#include "convert/wide_text.h"

#include <cstdint>
#include <cstring>

#include "resources/utf8.h"

namespace kelvra {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

void appendUnit(std::string& out, char16_t unit) {
    char bytes[sizeof unit];
    std::memcpy(bytes, &unit, sizeof unit);
    out.append(bytes, sizeof unit);
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
    const size_t units = bytes.size() / 2;
    const auto unitAt = [&](size_t k) {
        char16_t u;
        std::memcpy(&u, bytes.data() + 2 * k, sizeof u);
        return u;
    };
    for (size_t k = 0; k < units; ++k) {
        const char16_t u = unitAt(k);
        if (u >= 0xD800 && u <= 0xDBFF && k + 1 < units && unitAt(k + 1) >= 0xDC00 &&
            unitAt(k + 1) <= 0xDFFF) {
            appendUtf8(out, 0x10000 + ((char32_t(u) - 0xD800) << 10) + (unitAt(k + 1) - 0xDC00));
            ++k;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            appendUtf8(out, kReplacement);
        } else {
            appendUtf8(out, u);
        }
    }
    return out;
}

}  // namespace kelvra
