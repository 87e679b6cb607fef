// Wide characters: unixODBC's SQLWCHAR is UTF-16 (two bytes, host byte order). The driver's
// texts are UTF-8; these convert between the two for SQL_C_WCHAR buffers.
#pragma once

#include <string>
#include <string_view>

namespace kelvra {

// UTF-8 to UTF-16 code units, as bytes in host order. A malformed sequence becomes U+FFFD.
std::string utf8ToUtf16Bytes(std::string_view utf8);

// UTF-16 code units (as bytes in host order; an odd last byte is ignored) to UTF-8. An unpaired
// surrogate becomes U+FFFD.
std::string utf16BytesToUtf8(std::string_view bytes);

}  // namespace kelvra
