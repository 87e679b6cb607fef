// Wide characters: unixODBC's SQLWCHAR is UTF-16 (two bytes, host byte order). The driver's
// texts are UTF-8; these convert between the two, for SQL_C_WCHAR buffers and for the text
// arguments of the wide (W) entry points.
#pragma once

#include <sqltypes.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace kelvra {

// UTF-8 to UTF-16 code units, as bytes in host order. A malformed sequence becomes U+FFFD.
std::string utf8ToUtf16Bytes(std::string_view utf8);

// UTF-16 code units (as bytes in host order; an odd last byte is ignored) to UTF-8. An unpaired
// surrogate becomes U+FFFD.
std::string utf16BytesToUtf8(std::string_view bytes);

// `count` UTF-16 code units to UTF-8, appended to `out`. False when the text holds an unpaired
// surrogate (it stands for no character; `out` then holds the text up to it).
bool wideToUtf8(const SQLWCHAR* units, std::size_t count, std::string& out);

// The number of code units before the terminating NUL unit.
std::size_t wideLength(const SQLWCHAR* units);

// Writes `utf8` as UTF-16 into `out`: at most `capacity` units, whole characters only (a
// surrogate pair is never cut), no terminator. A malformed sequence becomes U+FFFD. Returns the
// number of units of the whole text; `written` receives the number written.
std::size_t utf8ToWide(std::string_view utf8, SQLWCHAR* out, std::size_t capacity,
                       std::size_t& written);

}  // namespace kelvra
