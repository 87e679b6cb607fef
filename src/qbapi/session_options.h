// The connection's options by name (connection keywords, data-source settings and rows written
// into the configuration table). Names compare ignoring the case of ASCII letters.
#pragma once

#include <map>
#include <string>
#include <string_view>

#include "resources/ascii.h"

namespace kelvra {

struct OptionNameLess {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const {
        return compareIgnoreCase(a, b) < 0;
    }
};

using OptionMap = std::map<std::string, std::string, OptionNameLess>;

}  // namespace kelvra
