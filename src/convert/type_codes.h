// ODBC type codes as the converters see them: the date and time codes of either ODBC version
// mapped to the environment's version, and the C type that SQL_C_DEFAULT stands for.
#pragma once

#include <sql.h>
#include <sqlext.h>

namespace kelvra {

// ODBC 2 environments use 9/10/11 for date, time and timestamp, ODBC 3 ones 91/92/93; the same
// numbers serve as SQL and C type codes. Any other code is returned as it is.
SQLSMALLINT mapDateTimeCode(SQLSMALLINT code, int odbcVersion);

// The C type SQL_C_DEFAULT means for a value of this SQL type, in the environment's codes.
// 0 for an SQL type the converters do not handle.
SQLSMALLINT defaultCType(SQLSMALLINT sqlType, bool isUnsigned, int odbcVersion);

}  // namespace kelvra
