#include "driver/string_out.h"

#include <cstring>
#include <limits>

#include "convert/wide_text.h"

namespace kelvra {
namespace {

template <typename Length>
void saturate(Length* lengthOut, size_t length) {
    if (lengthOut == nullptr) return;
    constexpr size_t kMax = std::numeric_limits<Length>::max();
    *lengthOut = static_cast<Length>(length > kMax ? kMax : length);
}

MsgNo copyText(void* buffer, SQLLEN bufferLength, std::string_view text) {
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

// `capacity` SQLWCHARs, the terminator's included. Returns whether the whole text fitted and
// the number of units of the whole text.
MsgNo copyWide(SQLWCHAR* out, size_t capacity, std::string_view utf8, size_t& units) {
    size_t written = 0;
    units = utf8ToWide(utf8, out, capacity > 0 ? capacity - 1 : 0, written);
    if (capacity > 0) out[written] = 0;
    return written == units && capacity > 0 ? kMsgNone : kMsgTruncated;
}

}  // namespace

void TextOut::storeLength(size_t length) const {
    saturate(shortLength, length);
    saturate(longLength, length);
}

MsgNo putText(const TextOut& out, std::string_view utf8) {
    if (out.form == TextForm::ansi) {
        out.storeLength(utf8.size());
        if (out.buffer == nullptr) return kMsgNone;
        return copyText(out.buffer, out.bufferLength, utf8);
    }
    const bool bytes = out.form == TextForm::wideBytes;
    const size_t capacity = out.bufferLength <= 0 ? 0
                            : bytes ? static_cast<size_t>(out.bufferLength) / sizeof(SQLWCHAR)
                                    : static_cast<size_t>(out.bufferLength);
    size_t units = 0;
    MsgNo rc = kMsgNone;
    if (out.buffer != nullptr) {
        rc = copyWide(static_cast<SQLWCHAR*>(out.buffer), capacity, utf8, units);
    } else {
        size_t none = 0;
        units = utf8ToWide(utf8, nullptr, 0, none);
    }
    out.storeLength(bytes ? units * sizeof(SQLWCHAR) : units);
    return rc;
}

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
    return putText({buffer, bufferLength, lengthOut}, text);
}

MsgNo copyStringOut(void* buffer, SQLLEN bufferLength, SQLINTEGER* lengthOut,
                    std::string_view text) {
    return putText({buffer, bufferLength, lengthOut}, text);
}

}  // namespace kelvra
