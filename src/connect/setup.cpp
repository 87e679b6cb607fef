// ConfigDSN: adds, changes and removes data sources for the ODBC installer
// (odbcinst, SQLConfigDataSource). There is no window to show a setup dialog in, so the
// attribute string is the whole input: an existing data source is replaced without asking.
// Values go into odbc.ini as lines of their own: one holding a control character (a line break
// would start a setting of its own) or longer than its field is refused, through
// SQLPostInstallerError, never cut or written.
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

// Tells the installer why the request fails; returns FALSE.
BOOL refuse(DWORD code, const std::string& message) {
    SQLPostInstallerError(code, message.c_str());
    return kFalse;
}

// Whether a value may go into odbc.ini as it is; posts the refusal when it may not.
bool acceptValue(std::string_view keyword, std::string_view value, size_t maxLength, DWORD code) {
    const std::string name(keyword);
    if (hasControlCharacter(value)) {
        return refuse(code, "The value of " + name + " holds a control character");
    }
    if (value.size() > maxLength) {
        return refuse(code, "The value of " + name + " is longer than " +
                                std::to_string(maxLength) + " characters");
    }
    return true;
}

// Reads "KEY=value\0KEY=value\0\0". False for an entry that begins with "=", and for a value
// that cannot be written (refused through the installer).
bool readAttributes(const char* attributes, SetupRecord& r) {
    if (attributes == nullptr) return true;
    for (const char* p = attributes; *p != '\0'; p += std::char_traits<char>::length(p) + 1) {
        const std::string_view entry(p);
        const size_t eq = entry.find('=');
        if (eq == 0) return refuse(ODBC_ERROR_INVALID_KEYWORD_VALUE, "An attribute has no keyword");
        if (eq == std::string_view::npos) continue;
        const std::string_view key = entry.substr(0, eq);
        const std::string_view value = entry.substr(eq + 1);
        struct Field {
            const char* keyword;
            std::string SetupRecord::*field;
            size_t maxLength;
            DWORD code;
        };
        static constexpr Field kFields[] = {
            {"DSN", &SetupRecord::dsn, kMaxDsn, ODBC_ERROR_INVALID_DSN},
            {"UID", &SetupRecord::user, kMaxValue, ODBC_ERROR_INVALID_KEYWORD_VALUE},
            {"PWD", &SetupRecord::password, kMaxValue, ODBC_ERROR_INVALID_KEYWORD_VALUE},
            {"QUICKBASESERVER", &SetupRecord::server, kMaxValue, ODBC_ERROR_INVALID_KEYWORD_VALUE},
        };
        for (const Field& f : kFields) {
            if (!equalsIgnoreCase(key, f.keyword)) continue;
            if (!acceptValue(f.keyword, value, f.maxLength, f.code)) return false;
            r.*f.field = std::string(value);
        }
    }
    r.formerDsn = r.dsn;
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
    if (hasControlCharacter(driverName)) {
        return refuse(ODBC_ERROR_INVALID_NAME, "The driver name holds a control character");
    }
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
