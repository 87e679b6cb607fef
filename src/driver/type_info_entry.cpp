// SQLGetTypeInfo: the driver's data types as a result set.
#include <sql.h>
#include <sqlext.h>

#include "convert/type_codes.h"
#include "convert/type_table.h"
#include "driver/driver_result.h"
#include "driver/entry.h"
#include "driver/entry_calls.h"
#include "driver/export.h"
#include "driver/handles.h"
#include "driver/rows_result.h"

using namespace kelvra;

namespace {

std::unique_ptr<RowsResult> typeInfoResult(SQLSMALLINT requested, int version) {
    auto result = std::make_unique<RowsResult>(std::vector<ResultColumn>{
        varcharColumn("TYPE_NAME", 128, false), smallintColumn("DATA_TYPE", false),
        integerColumn("COLUMN_SIZE", true), varcharColumn("LITERAL_PREFIX", 128, true),
        varcharColumn("LITERAL_SUFFIX", 128, true), varcharColumn("CREATE_PARAMS", 128, true),
        smallintColumn("NULLABLE", false), smallintColumn("CASE_SENSITIVE", false),
        smallintColumn("SEARCHABLE", false), smallintColumn("UNSIGNED_ATTRIBUTE", true),
        smallintColumn("FIXED_PREC_SCALE", false), smallintColumn("AUTO_UNIQUE_VALUE", true),
        varcharColumn("LOCAL_TYPE_NAME", 128, true), smallintColumn("MINIMUM_SCALE", true),
        smallintColumn("MAXIMUM_SCALE", true), smallintColumn("SQL_DATA_TYPE", false),
        smallintColumn("SQL_DATETIME_SUB", true), integerColumn("NUM_PREC_RADIX", true),
        smallintColumn("INTERVAL_PRECISION", true)});
    const SQLSMALLINT wanted = mapDateTimeCode(requested, version);
    auto text = [](std::string_view t) { return t.empty() ? nullText() : textValue(t); };
    auto attribute = [](std::int16_t v) { return v == kTypeNull ? nullNumber() : smallValue(v); };
    for (const TypeInfoRow& row : typeTable()) {
        const SQLSMALLINT type = mapDateTimeCode(row.sqlType, version);
        if (!row.listed || (requested != SQL_ALL_TYPES && type != wanted)) continue;
        const bool datetime =
            row.sqlType == SQL_DATE || row.sqlType == SQL_TIME || row.sqlType == SQL_TIMESTAMP;
        const bool exact = row.sqlType == SQL_NUMERIC || row.sqlType == SQL_INTEGER;
        const bool approximate = row.sqlType == SQL_DOUBLE;
        result->addRow(
            {textValue(row.name), smallValue(type), smallValue(row.columnSize),
             text(row.literalPrefix), text(row.literalSuffix), text(row.createParams),
             smallValue(row.nullable), smallValue(row.caseSensitive), smallValue(row.searchable),
             attribute(row.unsignedAttribute), smallValue(row.fixedPrecScale),
             attribute(row.autoUniqueValue), textValue(row.name), attribute(row.minimumScale),
             attribute(row.maximumScale), smallValue(datetime ? SQL_DATETIME : type),
             datetime ? smallValue(row.sqlType - SQL_DATE + SQL_CODE_DATE) : nullNumber(),
             exact         ? smallValue(10)
             : approximate ? smallValue(2)
                           : nullNumber(),
             nullNumber()});
    }
    return result;
}

}  // namespace

SQLRETURN kelvra::typeInfoCall(SQLHSTMT hstmt, SQLSMALLINT type) {
    return produceResult(hstmt, kStateTypeInfo, [&](DriverStatement& stmt, auto& rows) {
        rows = typeInfoResult(type, odbcVersionOf(stmt));
        return kMsgNone;
    });
}

KELVRA_EXPORT SQLRETURN SQLGetTypeInfo(SQLHSTMT hstmt, SQLSMALLINT fSqlType) {
    return typeInfoCall(hstmt, fSqlType);
}
