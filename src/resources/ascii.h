// Case folding for names and keywords, and other ASCII tests. Texts are UTF-8: ASCII letters
// fold, every other byte (multi-byte characters included) compares as it is.
#pragma once

#include <string>
#include <string_view>

namespace kelvra {

constexpr char asciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}
constexpr char asciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}

// <0, 0, >0 as a is before, equal to or after b, ignoring the case of ASCII letters.
int compareIgnoreCase(std::string_view a, std::string_view b);
bool equalsIgnoreCase(std::string_view a, std::string_view b);
std::string toLowerAscii(std::string_view text);
std::string toUpperAscii(std::string_view text);
// `text` without blanks (spaces and tabs) at either end.
std::string_view trimBlanks(std::string_view text);
// True when `text` holds an ASCII control character (below 0x20, or DEL): a line break, a tab,
// a NUL.
bool hasControlCharacter(std::string_view text);

}  // namespace kelvra
