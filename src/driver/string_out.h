// Copying texts out to client buffers. Every call that returns a string goes through
// copyStringOut, so truncation is reported the same way everywhere.
#pragma once

#include <sql.h>

#include <string>
#include <string_view>

#include "resources/messages.h"

namespace kelvra {

// Copies `text` into `buffer` of `bufferLength` bytes with a terminating NUL and stores the
// full length of the text in `lengthOut` when given. Returns 0, or 1002 when the buffer could
// not hold the whole text (it then holds as much as fits, terminated; nothing when the length
// is below 1). A cut never splits a UTF-8 character.
MsgNo copyStringOut(void* buffer, SQLLEN bufferLength, SQLSMALLINT* lengthOut,
                    std::string_view text);
MsgNo copyStringOut(void* buffer, SQLLEN bufferLength, SQLINTEGER* lengthOut,
                    std::string_view text);

// The longest prefix of `text` of at most `maxBytes` bytes that ends on a character boundary.
size_t utf8PrefixLength(std::string_view text, size_t maxBytes);
std::string truncateText(std::string_view text, size_t maxBytes);

}  // namespace kelvra
