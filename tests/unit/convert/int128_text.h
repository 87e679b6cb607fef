// Test support: the decimal digits of a 128-bit integer, the exact reference the decimal and
// integer-range tests compare against.
#pragma once

#include <string>

namespace kelvra {

inline std::string int128Text(__int128 value) {
    if (value == 0) return "0";
    const bool negative = value < 0;
    unsigned __int128 magnitude =
        negative ? 0 - (unsigned __int128)value : (unsigned __int128)value;
    std::string digits;
    for (; magnitude != 0; magnitude /= 10)
        digits.insert(digits.begin(), char('0' + int(magnitude % 10)));
    return negative ? "-" + digits : digits;
}

}  // namespace kelvra
