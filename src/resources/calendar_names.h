// The compiled-in day and month names that DAYNAME and MONTHNAME answer with.
#pragma once

#include <string_view>

namespace kelvra {

// "Sunday" to "Saturday" for 0 to 6; empty for any other number.
std::string_view dayName(int weekday);
// "January" to "December" for 1 to 12; empty for any other number.
std::string_view monthName(int month);

}  // namespace kelvra
