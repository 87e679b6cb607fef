#include "driver/retrieval.h"

#include <sqlext.h>

#include <string>

#include "convert/result_convert.h"
#include "convert/type_codes.h"
#include "convert/type_table.h"
#include "driver/string_out.h"

namespace kelvra {
namespace {

// Column 0: the bookmark, the row's 1-based position as a 4-byte integer.
const ResultColumn kBookmarkColumn{"", SQL_BINARY, 4, 4, 8, 0, SQL_NO_NULLS, ""};
constexpr std::string_view kBookmarkTypeName = "BOOKMARK";

MsgNo textAnswer(const TextOut& out, std::string_view text) {
    return putText(out, text);
}

MsgNo numberAnswer(SQLLEN* number, SQLLEN value) {
    if (number != nullptr) *number = value;
    return kMsgNone;
}

// The columns of the open result, or of the prepared statement: a SELECT's items; none for
// INSERT, UPDATE and DELETE (a column number is then out of range). Null when the statement
// has neither (`missing` says why).
const std::vector<ResultColumn>* describedColumns(const DriverStatement& stmt, MsgNo& missing) {
    static const std::vector<ResultColumn> kNoColumns;
    if (stmt.result) return &stmt.result->columns();
    if (stmt.tree.empty()) {
        missing = kMsgInvalidCursorState;
        return nullptr;
    }
    return stmt.preparedColumns.empty() ? &kNoColumns : &stmt.preparedColumns;
}

// The column a description asks about; null with `rc` set when there is none.
const ResultColumn* columnOf(const DriverStatement& stmt, SQLUSMALLINT column, MsgNo& rc) {
    const auto* columns = describedColumns(stmt, rc);
    if (columns == nullptr) return nullptr;
    if (column == 0) return &kBookmarkColumn;
    if (column > columns->size()) {
        rc = kMsgInvalidColumnId;
        return nullptr;
    }
    return &(*columns)[column - 1];
}

// An INSERTOQ, UPDATEOQ or DELETEOQ statement is described as one integer column.
MsgNo describeOpenQuery(SQLUSMALLINT identifier, const TextOut& text, SQLLEN* number) {
    constexpr std::string_view kName = "KelvraOpenQuery";
    switch (identifier) {
        case SQL_COLUMN_COUNT:
            return numberAnswer(number, 1);
        case SQL_COLUMN_NAME:
        case SQL_COLUMN_LABEL:
        case SQL_COLUMN_TYPE_NAME:
        case SQL_COLUMN_TABLE_NAME:
            return textAnswer(text, kName);
        case SQL_COLUMN_OWNER_NAME:
            return textAnswer(text, "Kelvra");
        case SQL_COLUMN_QUALIFIER_NAME:
            return textAnswer(text, "OpenQuery");
        case SQL_COLUMN_TYPE:
            return numberAnswer(number, SQL_INTEGER);
        case SQL_COLUMN_LENGTH:
        case SQL_COLUMN_PRECISION:
            return numberAnswer(number, 4);
        case SQL_COLUMN_DISPLAY_SIZE:
            return numberAnswer(number, 8);
        default:
            return numberAnswer(number, 0);
    }
}

std::int16_t attributeOrDefault(std::int16_t value, std::int16_t whenNull) {
    return value == kTypeNull ? whenNull : value;
}

bool isPieceTarget(SQLSMALLINT cType) {
    return cType == SQL_C_CHAR || cType == SQL_C_WCHAR || cType == SQL_C_BINARY;
}

}  // namespace

MsgNo describeColumn(DriverStatement& stmt, SQLUSMALLINT column, SQLUSMALLINT identifier,
                     const TextOut& text, SQLLEN* number) {
    if (identifier > SQL_COLUMN_LABEL) {
        postMessage(stmt.diag, kMsgNotSupported, std::to_string(identifier));
        return kMsgNotSupported;
    }
    if (stmt.oqStatement && stmt.state == kStateNoResult) {
        return describeOpenQuery(identifier, text, number);
    }
    if (identifier == SQL_COLUMN_COUNT) {
        MsgNo missing = kMsgNone;
        const auto* columns = describedColumns(stmt, missing);
        return numberAnswer(number, columns != nullptr ? SQLLEN(columns->size()) : 0);
    }
    MsgNo rc = kMsgNone;
    const ResultColumn* c = columnOf(stmt, column, rc);
    if (c == nullptr) return rc;
    const bool bookmark = column == 0;
    const TypeInfoRow* type = findTypeRow(c->sqlType);
    if (type == nullptr) {
        postMessage(stmt.diag, kMsgNotSupported, std::to_string(c->sqlType));
        return kMsgNotSupported;
    }
    switch (identifier) {
        case SQL_COLUMN_NAME:
        case SQL_COLUMN_LABEL:
            return textAnswer(text, c->name);
        case SQL_COLUMN_TYPE:
            return numberAnswer(number, mapDateTimeCode(c->sqlType, odbcVersionOf(stmt)));
        case SQL_COLUMN_LENGTH:
            return numberAnswer(number, c->octetLength);
        case SQL_COLUMN_PRECISION:
            return numberAnswer(number, c->columnSize);
        case SQL_COLUMN_SCALE:
            return numberAnswer(number, c->scale);
        case SQL_COLUMN_DISPLAY_SIZE:
            return numberAnswer(number, c->displaySize);
        case SQL_COLUMN_NULLABLE:
            return numberAnswer(number, c->nullable);
        case SQL_COLUMN_UNSIGNED:
            return numberAnswer(number, attributeOrDefault(type->unsignedAttribute, SQL_TRUE));
        case SQL_COLUMN_MONEY:
            return numberAnswer(number, type->fixedPrecScale);
        case SQL_COLUMN_UPDATABLE:
            return numberAnswer(number, c->updatable);
        case SQL_COLUMN_AUTO_INCREMENT:
            return numberAnswer(number, attributeOrDefault(type->autoUniqueValue, SQL_FALSE));
        case SQL_COLUMN_CASE_SENSITIVE:
            return numberAnswer(number, bookmark ? SQL_FALSE : type->caseSensitive);
        case SQL_COLUMN_SEARCHABLE:
            return numberAnswer(number, bookmark ? SQL_PRED_NONE : type->searchable);
        case SQL_COLUMN_TYPE_NAME:
            return textAnswer(text, bookmark ? kBookmarkTypeName : type->name);
        case SQL_COLUMN_TABLE_NAME:
            return textAnswer(text, c->tableName);
        default:
            return textAnswer(text, "");  // owner and qualifier names
    }
}

MsgNo describeColumnField(DriverStatement& stmt, SQLUSMALLINT column, SQLUSMALLINT field,
                          const TextOut& text, SQLLEN* number) {
    switch (field) {
        case 0:
        case SQL_DESC_COUNT:
            return describeColumn(stmt, column, SQL_COLUMN_COUNT, text, number);
        case SQL_COLUMN_LENGTH:
        case SQL_COLUMN_PRECISION:
        case SQL_COLUMN_SCALE:
            return describeColumn(stmt, column, field, text, number);
        case SQL_DESC_CONCISE_TYPE:
        case SQL_DESC_DISPLAY_SIZE:
        case SQL_DESC_UNSIGNED:
        case SQL_DESC_FIXED_PREC_SCALE:
        case SQL_DESC_UPDATABLE:
        case SQL_DESC_AUTO_UNIQUE_VALUE:
        case SQL_DESC_CASE_SENSITIVE:
        case SQL_DESC_SEARCHABLE:
        case SQL_DESC_TYPE_NAME:
        case SQL_DESC_TABLE_NAME:
        case SQL_DESC_SCHEMA_NAME:
        case SQL_DESC_CATALOG_NAME:
        case SQL_DESC_LABEL:
            // These share their numbers with the ODBC 2 identifiers.
            return describeColumn(stmt, column, field, text, number);
        case SQL_DESC_NAME:
        case SQL_DESC_BASE_COLUMN_NAME:
            return describeColumn(stmt, column, SQL_COLUMN_NAME, text, number);
        case SQL_DESC_BASE_TABLE_NAME:
            return describeColumn(stmt, column, SQL_COLUMN_TABLE_NAME, text, number);
        case SQL_DESC_LOCAL_TYPE_NAME:
            return describeColumn(stmt, column, SQL_COLUMN_TYPE_NAME, text, number);
        case SQL_DESC_NULLABLE:
            return describeColumn(stmt, column, SQL_COLUMN_NULLABLE, text, number);
        case SQL_DESC_SCALE:
            return describeColumn(stmt, column, SQL_COLUMN_SCALE, text, number);
        default:
            break;
    }
    MsgNo rc = kMsgNone;
    const ResultColumn* c = columnOf(stmt, column, rc);
    if (c == nullptr) return rc;
    const TypeInfoRow* type = findTypeRow(c->sqlType);
    const SQLSMALLINT code = odbc2TypeCode(c->sqlType);
    const bool datetime = code == SQL_DATE || code == SQL_TIME || code == SQL_TIMESTAMP;
    switch (field) {
        case SQL_DESC_TYPE:
            return numberAnswer(
                number, datetime ? SQL_DATETIME : mapDateTimeCode(code, odbcVersionOf(stmt)));
        case SQL_DESC_DATETIME_INTERVAL_CODE:
            return numberAnswer(number, !datetime          ? 0
                                        : code == SQL_DATE ? SQL_CODE_DATE
                                        : code == SQL_TIME ? SQL_CODE_TIME
                                                           : SQL_CODE_TIMESTAMP);
        case SQL_DESC_LENGTH:
        case SQL_DESC_PRECISION:
            return numberAnswer(number, c->columnSize);
        case SQL_DESC_OCTET_LENGTH:
            return numberAnswer(number, c->octetLength);
        case SQL_DESC_UNNAMED:
            return numberAnswer(number, c->name.empty() ? SQL_UNNAMED : SQL_NAMED);
        case SQL_DESC_DATETIME_INTERVAL_PRECISION:
            return numberAnswer(number, 0);
        case SQL_DESC_NUM_PREC_RADIX: {
            const bool exact = code == SQL_NUMERIC || code == SQL_DECIMAL || code == SQL_INTEGER ||
                               code == SQL_SMALLINT || code == SQL_TINYINT || code == SQL_BIGINT;
            const bool approximate = code == SQL_DOUBLE || code == SQL_FLOAT || code == SQL_REAL;
            return numberAnswer(number, exact ? 10 : approximate ? 2 : 0);
        }
        case SQL_DESC_LITERAL_PREFIX:
            return textAnswer(text, type != nullptr && column != 0 ? type->literalPrefix : "");
        case SQL_DESC_LITERAL_SUFFIX:
            return textAnswer(text, type != nullptr && column != 0 ? type->literalSuffix : "");
        default:
            return kMsgInvalidDescField;
    }
}

MsgNo transferColumn(DriverStatement& stmt, SQLUSMALLINT column, Transfer t, bool piecewise) {
    if (!stmt.result || stmt.currentRow <= 0) return kMsgInvalidCursorState;
    const int version = odbcVersionOf(stmt);
    Value bookmark;
    const Value* value = &bookmark;
    SQLSMALLINT sqlType = SQL_INTEGER;
    if (column == 0) {
        if (stmt.useBookmarks == SQL_UB_OFF) return kMsgInvalidColumnId;
        bookmark = Value::ofInteger(stmt.currentRow);
    } else {
        const auto& columns = stmt.result->columns();
        if (column > columns.size()) return kMsgInvalidColumnId;
        sqlType = columns[column - 1].sqlType;
        if (const MsgNo rc = stmt.result->value(column, stmt.diag, value)) return rc;
    }
    if (piecewise) {
        if (column != stmt.getDataColumn) {
            stmt.getDataColumn = column;
            stmt.getDataOffset = 0;
            stmt.getDataDone = false;
        } else if (stmt.getDataDone) {
            // Everything of this value was returned by earlier calls.
            return kMsgNoDataFound;
        }
    }
    if (value->isNull) {
        if (t.indicatorPtr == nullptr) return kMsgIndicatorRequired;
        *t.indicatorPtr = SQL_NULL_DATA;
        stmt.getDataDone = piecewise;
        return kMsgNone;
    }
    const SQLSMALLINT cType = t.cType == SQL_C_DEFAULT ? defaultCType(sqlType, false, version)
                                                       : mapDateTimeCode(t.cType, version);
    const SQLLEN offset = piecewise ? stmt.getDataOffset : 0;
    SQLLEN delivered = 0;
    const MsgNo rc = convertValueResult(
        *value, ClientBuffer{cType, t.data, t.bufferLength, t.lengthPtr, &delivered}, offset);
    if (rc != kMsgNone && rc != kMsgTruncated) return rc;
    if (t.indicatorPtr != nullptr && t.indicatorPtr != t.lengthPtr) *t.indicatorPtr = 0;
    if (piecewise) {
        // The offset moves on by what this piece delivered, which a length probe (no room in
        // the buffer, or no buffer) leaves at nothing; the value is done once the rest fitted.
        if (isPieceTarget(cType) && (rc == kMsgTruncated || t.data == nullptr)) {
            stmt.getDataOffset += delivered;
        } else {
            stmt.getDataDone = true;
        }
    }
    return rc;
}

}  // namespace kelvra
