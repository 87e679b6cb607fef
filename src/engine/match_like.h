// The one LIKE matcher of the driver: SQL LIKE and NOT LIKE (no escape character, letter case
// ignored) and the search patterns of the catalog functions (backslash as escape character).
#pragma once

#include <string_view>

namespace kelvra {

// True when `subject` matches `pattern`. "%" matches any run of characters, "_" exactly one
// character (a UTF-8 lead byte with its continuation bytes counts as one); with an escape
// character other than '\0', that character makes the next pattern character literal.
// Trailing blanks of both texts are ignored. Without caseSensitive, ASCII letters compare
// ignoring case; every other byte compares as it is. Time is bounded by the product of the
// two lengths, whatever the number of "%".
bool matchLike(std::string_view subject, std::string_view pattern, char escape, bool caseSensitive);

}  // namespace kelvra
