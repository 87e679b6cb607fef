#include "convert/type_codes.h"

namespace kelvra {

SQLSMALLINT mapDateTimeCode(SQLSMALLINT code, int odbcVersion) {
    const bool three = odbcVersion >= 3;
    switch (code) {
        case SQL_DATE:
        case SQL_TYPE_DATE:
            return three ? SQL_TYPE_DATE : SQL_DATE;
        case SQL_TIME:
        case SQL_TYPE_TIME:
            return three ? SQL_TYPE_TIME : SQL_TIME;
        case SQL_TIMESTAMP:
        case SQL_TYPE_TIMESTAMP:
            return three ? SQL_TYPE_TIMESTAMP : SQL_TIMESTAMP;
        default:
            return code;
    }
}

SQLSMALLINT defaultCType(SQLSMALLINT sqlType, bool isUnsigned, int odbcVersion) {
    switch (sqlType) {
        case SQL_CHAR:
        case SQL_VARCHAR:
        case SQL_LONGVARCHAR:
            return SQL_C_CHAR;
        case SQL_BINARY:
        case SQL_VARBINARY:
        case SQL_LONGVARBINARY:
            return SQL_C_BINARY;
        case SQL_BIT:
            return SQL_C_BIT;
        case SQL_TINYINT:
            return isUnsigned ? SQL_C_UTINYINT : SQL_C_STINYINT;
        case SQL_SMALLINT:
            return isUnsigned ? SQL_C_USHORT : SQL_C_SSHORT;
        case SQL_INTEGER:
            return isUnsigned ? SQL_C_ULONG : SQL_C_SLONG;
        case SQL_REAL:
            return SQL_C_FLOAT;
        case SQL_FLOAT:
        case SQL_DOUBLE:
            return SQL_C_DOUBLE;
        case SQL_DATE:
        case SQL_TYPE_DATE:
        case SQL_TIME:
        case SQL_TYPE_TIME:
        case SQL_TIMESTAMP:
        case SQL_TYPE_TIMESTAMP:
            return mapDateTimeCode(sqlType, odbcVersion);
        default:
            return 0;
    }
}

}  // namespace kelvra
