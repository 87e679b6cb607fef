// Data-source settings in unixODBC's odbc.ini (the user's ~/.odbc.ini and the system's
// /etc/odbc.ini, as the installer library finds them), read and written through libodbcinst.
#pragma once

#include <string>
#include <string_view>

namespace kelvra {

// A value of the data source's section; empty when the section or the value is absent.
std::string readDataSourceValue(std::string_view dsn, std::string_view keyword);

bool writeDataSourceValue(std::string_view dsn, std::string_view keyword, std::string_view value);

// Registers the data source with its driver, replacing any of the same name.
bool writeDataSource(std::string_view dsn, std::string_view driver);

bool removeDataSource(std::string_view dsn);

}  // namespace kelvra
