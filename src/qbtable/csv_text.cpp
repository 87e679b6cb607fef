#include "qbtable/csv_text.h"

namespace kelvra {
namespace {

bool onlyDigitsAndDashes(std::string_view value) {
    return !value.empty() && value.find_first_not_of("0123456789-") == std::string_view::npos;
}

}  // namespace

void appendCsvValue(std::string& csv, std::string_view value, bool first, bool userField) {
    if (!first) csv += ',';
    csv += '"';
    bool bracketed = userField && onlyDigitsAndDashes(value);
    if (bracketed) csv += '<';
    for (std::size_t from = 0;;) {
        std::size_t quote = value.find('"', from);
        csv.append(value.substr(from, quote == std::string_view::npos ? quote : quote - from));
        if (quote == std::string_view::npos) break;
        csv += "\"\"";
        from = quote + 1;
    }
    if (bracketed) csv += '>';
    csv += '"';
}

}  // namespace kelvra
