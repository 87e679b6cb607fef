// The CSV text of an API_ImportFromCSV: values in double quotes with inner quotes doubled,
// separated by commas, lines ended by CR LF. Values are written exactly as given (line breaks,
// commas, quotes and non-ASCII text included); a user field's value made only of digits and
// "-" is written as "<value>", so that QuickBase reads it as a user id.
#pragma once

#include <string>
#include <string_view>

namespace kelvra {

inline constexpr std::string_view kCsvLineEnd = "\r\n";

// Appends one value; `first` leaves out the separating comma.
void appendCsvValue(std::string& csv, std::string_view value, bool first, bool userField);

}  // namespace kelvra
