// Copying texts out to client buffers. Every call that returns a string goes through putText
// (copyStringOut is its ANSI form), so truncation is reported the same way everywhere and the
// wide (W) entry points write the same answers as UTF-16.
#pragma once

#include <sql.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

#include "resources/messages.h"

namespace kelvra {

// How a text answer is written: ANSI (the driver's UTF-8 bytes), or wide (UTF-16 SQLWCHARs)
// with the buffer length and the length output counted in characters (typed SQLWCHAR*
// buffers: SQLDescribeColW, SQLGetDiagRecW, SQLDriverConnectW, ...) or in bytes (void*
// buffers: SQLGetInfoW, SQLColAttributeW, SQLGetDiagFieldW, SQLGetConnectAttrW, ...). A wide
// "character" is a UTF-16 code unit, as ODBC counts them.
enum class TextForm : std::uint8_t { ansi, wideChars, wideBytes };

// The form of a client buffer counted in characters, and of one counted in bytes, for the
// entry points that take SQLCHAR (ANSI) or SQLWCHAR (wide) text.
template <typename Char>
inline constexpr TextForm kCharsForm =
    std::is_same_v<Char, SQLWCHAR> ? TextForm::wideChars : TextForm::ansi;
template <typename Char>
inline constexpr TextForm kBytesForm =
    std::is_same_v<Char, SQLWCHAR> ? TextForm::wideBytes : TextForm::ansi;

// A text answer's destination. The length output is 16-bit or 32-bit, as the call has it.
struct TextOut {
    TextOut() = default;
    TextOut(SQLPOINTER buffer, SQLLEN bufferLength, SQLSMALLINT* length,
            TextForm form = TextForm::ansi)
        : buffer(buffer), bufferLength(bufferLength), shortLength(length), form(form) {}
    TextOut(SQLPOINTER buffer, SQLLEN bufferLength, SQLINTEGER* length,
            TextForm form = TextForm::ansi)
        : buffer(buffer), bufferLength(bufferLength), longLength(length), form(form) {}

    SQLPOINTER buffer = nullptr;
    SQLLEN bufferLength = 0;
    SQLSMALLINT* shortLength = nullptr;
    SQLINTEGER* longLength = nullptr;
    TextForm form = TextForm::ansi;

    // Stores a length (in the form's unit) in whichever length output is given, saturating.
    void storeLength(size_t length) const;
};

// Writes `utf8` to the destination: stores the full length of the text in the length output
// when given; a null buffer writes nothing and returns 0; otherwise the text and a terminating
// NUL (a UTF-16 NUL for the wide forms) when it fits, else 1002 with as much as fits, cut on a
// whole character (never half a UTF-8 sequence or a surrogate pair) and terminated, nothing
// when the buffer has no room for the terminator. A wide byte length is taken down to even.
MsgNo putText(const TextOut& out, std::string_view utf8);

// putText in the ANSI form.
MsgNo copyStringOut(void* buffer, SQLLEN bufferLength, SQLSMALLINT* lengthOut,
                    std::string_view text);
MsgNo copyStringOut(void* buffer, SQLLEN bufferLength, SQLINTEGER* lengthOut,
                    std::string_view text);

// The longest prefix of `text` of at most `maxBytes` bytes that ends on a character boundary.
size_t utf8PrefixLength(std::string_view text, size_t maxBytes);
std::string truncateText(std::string_view text, size_t maxBytes);

}  // namespace kelvra
