// The connection-string splitter and the string SQLDriverConnect hands back: whatever a client
// writes, the values split from the string handed back are the values it was built from.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "connect/connection_string.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kelvra;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    ConnectionValues values;
    if (parseConnectionString(text, values) != kMsgNone) return 0;
    ConnectionValues back;
    if (parseConnectionString(buildOutConnectionString(values), back) != kMsgNone) std::abort();
    const bool same = back.dsn == values.dsn &&
                      (!values.dsn.empty() || back.driver == values.driver) &&
                      back.server == values.server && back.uid == values.uid &&
                      (values.uid.empty() || values.pwd.empty() || back.pwd == values.pwd);
    if (!same) std::abort();
    return 0;
}
