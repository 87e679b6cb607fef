#include "sql/sort_layout.h"

#include <cstdlib>

namespace kelvra {

void writeSequenceField(std::int64_t row, char* out) {
    auto value = static_cast<std::uint64_t>(row < 0 ? 0 : row);
    for (std::size_t i = kSequenceDigits; i-- > 0;) {
        out[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    out[kSequenceDigits] = kValueMarker;
}

std::string tempDirectory() {
    const char* env = std::getenv("TMPDIR");
    std::string dir = (env != nullptr && *env != '\0') ? env : "/tmp";
    if (dir.back() != '/') dir += '/';
    return dir;
}

}  // namespace kelvra
