#include "convert/type_table.h"

#include <sqlext.h>

#include <array>

namespace kelvra {
namespace {

constexpr std::int16_t N = kTypeNull;

constexpr auto kTypes = std::to_array<TypeInfoRow>({
    {true, "BIT", SQL_BIT, 1, "", "", "", 1, 0, 3, N, 0, N, N, N},
    {false, "TINYINT", SQL_TINYINT, 3, "", "", "", 1, 0, 3, 0, 0, 0, N, N},
    {false, "BIGINT", SQL_BIGINT, 19, "", "", "", 1, 0, 3, 0, 0, 0, N, N},
    {true, "LONGVARBINARY", SQL_LONGVARBINARY, 100000000, "'", "'", "", 1, 0, 0, N, 0, N, N, N},
    {false, "VARBINARY", SQL_VARBINARY, 255, "'", "'", "max length", 1, 0, 3, N, 0, N, N, N},
    {false, "BINARY", SQL_BINARY, 255, "", "", "max length", 1, 0, 3, N, 0, N, N, N},
    {true, "LONGVARCHAR", SQL_LONGVARCHAR, 65534, "'", "'", "", 1, 1, 0, N, 0, N, N, N},
    {false, "CHAR", SQL_CHAR, 254, "'", "'", "max length", 1, 1, 3, N, 0, N, N, N},
    {true, "NUMERIC", SQL_NUMERIC, 19, "", "", "precision, scale", 1, 0, 3, N, 0, N, 0, 19},
    {false, "DECIMAL", SQL_DECIMAL, 19, "", "", "precision, scale", 1, 0, 3, N, 0, N, 0, 19},
    {true, "INTEGER", SQL_INTEGER, 10, "", "", "", 1, 0, 3, 0, 0, 0, N, N},
    {false, "SMALLINT", SQL_SMALLINT, 5, "", "", "", 1, 0, 3, 0, 0, 0, N, N},
    {false, "FLOAT", SQL_FLOAT, 15, "", "", "", 1, 0, 3, N, 0, N, N, N},
    {false, "REAL", SQL_REAL, 7, "", "", "", 1, 0, 3, N, 0, N, N, N},
    {true, "DOUBLE", SQL_DOUBLE, 15, "", "", "", 1, 0, 3, N, 0, N, N, N},
    {true, "DATE", SQL_DATE, 10, "", "", "", 1, 0, 3, N, 0, N, N, N},
    {true, "TIME", SQL_TIME, 8, "", "", "", 1, 0, 3, N, 0, N, N, N},
    {true, "DATETIME", SQL_TIMESTAMP, 23, "", "", "", 1, 0, 3, N, 0, N, 3, 3},
    {true, "VARCHAR", SQL_VARCHAR, 254, "'", "'", "max length", 1, 1, 3, N, 0, N, N, N},
});

}  // namespace

std::span<const TypeInfoRow> typeTable() {
    return kTypes;
}

SQLSMALLINT odbc2TypeCode(SQLSMALLINT sqlType) {
    switch (sqlType) {
        case SQL_TYPE_DATE:
            return SQL_DATE;
        case SQL_TYPE_TIME:
            return SQL_TIME;
        case SQL_TYPE_TIMESTAMP:
            return SQL_TIMESTAMP;
        default:
            return sqlType;
    }
}

const TypeInfoRow* findTypeRow(SQLSMALLINT sqlType) {
    const SQLSMALLINT code = odbc2TypeCode(sqlType);
    for (const TypeInfoRow& row : kTypes) {
        if (row.sqlType == code) return &row;
    }
    return nullptr;
}

}  // namespace kelvra
