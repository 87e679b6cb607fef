// Connection strings: splitting the string a client gives SQLDriverConnect into the driver's
// keywords, and building the string handed back after connecting.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "resources/messages.h"

namespace kelvra {

struct ConnectionValues {
    std::string dsn;
    std::string driver;
    std::string uid;
    std::string pwd;
    std::string server;  // QUICKBASESERVER
    std::string threadModel;
    std::string winHttp;
    std::string useFids;
    std::string textNull;
    std::string file;
    std::string timeout;  // TIMEOUT: seconds for each request to QuickBase
};

// Splits `text` into `values`. Keywords are case-insensitive, and blanks around them do not
// count; empty pairs (";;") are skipped. DSN, DRIVER, UID, PWD and QUICKBASESERVER keep their
// first value, the others their last; unknown keywords are ignored. Values are taken as written;
// one may be enclosed in braces ("PWD={a;b}", "}}" for a literal "}"). The last pair needs no
// ";". Returns 1039 for a pair with an empty keyword.
MsgNo parseConnectionString(std::string_view text, ConnectionValues& values);

// A TIMEOUT value: decimal seconds (blanks around them allowed), 0 for none. False when the
// text is not such a number.
bool parseTimeoutSeconds(std::string_view text, std::uint32_t& seconds);

// The string SQLDriverConnect returns: DSN (or DRIVER), QUICKBASESERVER, UID, PWD, then
// ";SERVER=QuickBase". Values that need it are enclosed in braces.
std::string buildOutConnectionString(const ConnectionValues& values);

}  // namespace kelvra
