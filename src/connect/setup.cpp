// ConfigDSN: adds, changes and removes data sources for the ODBC installer
// (odbcinst, SQLConfigDataSource). There is no window to show a setup dialog in, so the
// attribute string is the whole input: an existing data source is replaced without asking.
#include <odbcinst.h>

#include <string>
#include <string_view>

#include "connect/data_source.h"
#include "driver/export.h"
#include "qbapi/qb_session.h"
#include "resources/ascii.h"

using namespace kelvra;

namespace {

struct SetupRecord {
    std::string formerDsn;
    std::string dsn;
    std::string user;
    std::string password;
    std::string server;
};

constexpr BOOL kTrue = 1;
constexpr BOOL kFalse = 0;
constexpr size_t kMaxDsn = 32;
constexpr size_t kMaxValue = 63;

// Reads "KEY=value\0KEY=value\0\0". False for an entry that begins with "=".
bool readAttributes(const char* attributes, SetupRecord& r) {
    if (attributes == nullptr) return true;
    for (const char* p = attributes; *p != '\0'; p += std::char_traits<char>::length(p) + 1) {
        const std::string_view entry(p);
        const size_t eq = entry.find('=');
        if (eq == 0) return false;
        if (eq == std::string_view::npos) continue;
        const std::string_view key = entry.substr(0, eq);
        const std::string_view value = entry.substr(eq + 1);
        if (equalsIgnoreCase(key, "DSN")) {
            r.dsn = r.formerDsn = std::string(value.substr(0, kMaxDsn));
        } else if (equalsIgnoreCase(key, "UID")) {
            r.user = std::string(value.substr(0, kMaxValue));
        } else if (equalsIgnoreCase(key, "PWD")) {
            r.password = std::string(value.substr(0, kMaxValue));
        } else if (equalsIgnoreCase(key, "QUICKBASESERVER")) {
            r.server = std::string(value.substr(0, kMaxValue));
        }
    }
    return true;
}

// Clears the way for writing `dsn`: an existing data source of that name is removed.
bool replaceExisting(const std::string& dsn) {
    if (readDataSourceValue(dsn, "Driver").empty()) return true;
    return removeDataSource(dsn);
}

bool writeValues(const SetupRecord& r) {
    return writeDataSourceValue(r.dsn, "UID", r.user) &&
           writeDataSourceValue(r.dsn, "PWD", r.password) &&
           writeDataSourceValue(r.dsn, "QUICKBASESERVER", std::string(trimBlanks(r.server)));
}

BOOL configDsn(WORD request, const char* driver, const char* attributes) {
    SetupRecord r;
    if (!readAttributes(attributes, r)) return kFalse;
    const std::string driverName = driver != nullptr ? driver : "";
    switch (request) {
        case ODBC_ADD_DSN:
            if (r.dsn.empty()) return kFalse;
            if (r.server.empty()) r.server = std::string(kDefaultServer);
            if (!replaceExisting(r.dsn) || !writeDataSource(r.dsn, driverName)) return kFalse;
            break;
        case ODBC_CONFIG_DSN:
            if (r.dsn.empty()) return kFalse;
            if (r.user.empty()) r.user = readDataSourceValue(r.formerDsn, "UID");
            if (r.password.empty()) r.password = readDataSourceValue(r.formerDsn, "PWD");
            if (r.server.empty()) r.server = readDataSourceValue(r.formerDsn, "QUICKBASESERVER");
            if (r.server.empty()) r.server = std::string(kDefaultServer);
            break;
        case ODBC_REMOVE_DSN:
            if (r.dsn.empty()) return kFalse;
            return removeDataSource(r.dsn) ? kTrue : kFalse;
        default:
            return kTrue;
    }
    return writeValues(r) ? kTrue : kFalse;
}

}  // namespace

KELVRA_EXPORT BOOL ConfigDSN(HWND /*hwndParent*/, WORD fRequest, LPCSTR lpszDriver,
                             LPCSTR lpszAttributes) {
    try {
        return configDsn(fRequest, lpszDriver, lpszAttributes);
    } catch (...) {
        return kFalse;
    }
}
