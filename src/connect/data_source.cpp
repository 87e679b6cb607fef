#include "connect/data_source.h"

#include <odbcinst.h>

#include <vector>

namespace kelvra {
namespace {

constexpr const char* kProfile = "ODBC.INI";
// Room for any value the setup writes (user names, passwords and servers are far shorter).
constexpr int kValueBuffer = 1024;

}  // namespace

std::string readDataSourceValue(std::string_view dsn, std::string_view keyword) {
    if (dsn.empty()) return {};
    std::vector<char> buffer(kValueBuffer, '\0');
    const std::string section(dsn);
    const std::string key(keyword);
    const int n = SQLGetPrivateProfileString(section.c_str(), key.c_str(), "", buffer.data(),
                                             kValueBuffer, kProfile);
    if (n <= 0) return {};
    return std::string(buffer.data(), std::min(n, kValueBuffer - 1));
}

bool writeDataSourceValue(std::string_view dsn, std::string_view keyword, std::string_view value) {
    const std::string section(dsn), key(keyword), text(value);
    return SQLWritePrivateProfileString(section.c_str(), key.c_str(), text.c_str(), kProfile);
}

bool writeDataSource(std::string_view dsn, std::string_view driver) {
    const std::string name(dsn), drv(driver);
    return SQLWriteDSNToIni(name.c_str(), drv.c_str());
}

bool removeDataSource(std::string_view dsn) {
    const std::string name(dsn);
    return SQLRemoveDSNFromIni(name.c_str());
}

}  // namespace kelvra
