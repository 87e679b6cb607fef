#include "driver/string_out.h"

#include <cstring>
#include <limits>

namespace kelvra {
namespace {

template <typename Length>
void storeLength(Length* lengthOut, size_t length) {
    if (lengthOut == nullptr) return;
    constexpr size_t kMax = std::numeric_limits<Length>::max();
    *lengthOut = static_cast<Length>(length > kMax ? kMax : length);
}

MsgNo copyText(void* buffer, SQLLEN bufferLength, std::string_view text) {
    if (buffer == nullptr) return kMsgNone;
    char* out = static_cast<char*>(buffer);
    if (bufferLength <= 0) return kMsgTruncated;
    if (static_cast<size_t>(bufferLength) <= text.size()) {
        const size_t n = utf8PrefixLength(text, static_cast<size_t>(bufferLength) - 1);
        if (n > 0) std::memcpy(out, text.data(), n);
        out[n] = '\0';
        return kMsgTruncated;
    }
    if (!text.empty()) std::memcpy(out, text.data(), text.size());
    out[text.size()] = '\0';
    return kMsgNone;
}

}  // namespace

size_t utf8PrefixLength(std::string_view text, size_t maxBytes) {
    if (text.size() <= maxBytes) return text.size();
    // Back off over continuation bytes to the start of the character that would be cut (a
    // UTF-8 character has at most three of them; longer runs are not UTF-8 and are cut as is).
    size_t n = maxBytes;
    for (int i = 0; i < 3 && n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80; ++i) {
        --n;
    }
    return (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80 ? maxBytes : n;
}

std::string truncateText(std::string_view text, size_t maxBytes) {
    return std::string(text.substr(0, utf8PrefixLength(text, maxBytes)));
}

MsgNo copyStringOut(void* buffer, SQLLEN bufferLength, SQLSMALLINT* lengthOut,
                    std::string_view text) {
    storeLength(lengthOut, text.size());
    return copyText(buffer, bufferLength, text);
}

MsgNo copyStringOut(void* buffer, SQLLEN bufferLength, SQLINTEGER* lengthOut,
                    std::string_view text) {
    storeLength(lengthOut, text.size());
    return copyText(buffer, bufferLength, text);
}

}  // namespace kelvra
