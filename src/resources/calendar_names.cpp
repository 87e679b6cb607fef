#include "resources/calendar_names.h"

#include <array>

namespace kelvra {

namespace {

constexpr std::array<std::string_view, 7> kDays = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                                   "Thursday", "Friday", "Saturday"};
constexpr std::array<std::string_view, 12> kMonths = {
    "January", "February", "March",     "April",   "May",      "June",
    "July",    "August",   "September", "October", "November", "December"};

}  // namespace

std::string_view dayName(int weekday) {
    return weekday >= 0 && weekday < 7 ? kDays[std::size_t(weekday)] : std::string_view{};
}

std::string_view monthName(int month) {
    return month >= 1 && month <= 12 ? kMonths[std::size_t(month - 1)] : std::string_view{};
}

}  // namespace kelvra
