#include "driver/descriptor_fields.h"

#include <sqlext.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "convert/type_codes.h"
#include "convert/type_table.h"
#include "driver/bound_address.h"
#include "driver/query_columns.h"
#include "driver/retrieval.h"
#include "driver/statement_prepare.h"
#include "driver/string_out.h"

namespace kelvra {
namespace {

// How a field's value is passed: its C type in SQLGetDescField and SQLSetDescField.
enum class Width { kSmall, kInteger, kLength, kUnsignedLength, kPointer, kText, kUnknown };

Width widthOf(SQLSMALLINT field) {
    switch (field) {
        case SQL_DESC_ALLOC_TYPE:
        case SQL_DESC_COUNT:
        case SQL_DESC_CONCISE_TYPE:
        case SQL_DESC_DATETIME_INTERVAL_CODE:
        case SQL_DESC_FIXED_PREC_SCALE:
        case SQL_DESC_NULLABLE:
        case SQL_DESC_PARAMETER_TYPE:
        case SQL_DESC_PRECISION:
        case SQL_DESC_ROWVER:
        case SQL_DESC_SCALE:
        case SQL_DESC_SEARCHABLE:
        case SQL_DESC_TYPE:
        case SQL_DESC_UNNAMED:
        case SQL_DESC_UNSIGNED:
        case SQL_DESC_UPDATABLE:
            return Width::kSmall;
        case SQL_DESC_AUTO_UNIQUE_VALUE:
        case SQL_DESC_BIND_TYPE:
        case SQL_DESC_CASE_SENSITIVE:
        case SQL_DESC_DATETIME_INTERVAL_PRECISION:
        case SQL_DESC_NUM_PREC_RADIX:
            return Width::kInteger;
        case SQL_DESC_DISPLAY_SIZE:
        case SQL_DESC_OCTET_LENGTH:
            return Width::kLength;
        case SQL_DESC_ARRAY_SIZE:
        case SQL_DESC_LENGTH:
            return Width::kUnsignedLength;
        case SQL_DESC_ARRAY_STATUS_PTR:
        case SQL_DESC_BIND_OFFSET_PTR:
        case SQL_DESC_ROWS_PROCESSED_PTR:
        case SQL_DESC_DATA_PTR:
        case SQL_DESC_INDICATOR_PTR:
        case SQL_DESC_OCTET_LENGTH_PTR:
            return Width::kPointer;
        case SQL_DESC_BASE_COLUMN_NAME:
        case SQL_DESC_BASE_TABLE_NAME:
        case SQL_DESC_CATALOG_NAME:
        case SQL_DESC_LABEL:
        case SQL_DESC_LITERAL_PREFIX:
        case SQL_DESC_LITERAL_SUFFIX:
        case SQL_DESC_LOCAL_TYPE_NAME:
        case SQL_DESC_NAME:
        case SQL_DESC_SCHEMA_NAME:
        case SQL_DESC_TABLE_NAME:
        case SQL_DESC_TYPE_NAME:
            return Width::kText;
        default:
            return Width::kUnknown;
    }
}

bool isHeaderField(SQLSMALLINT field) {
    switch (field) {
        case SQL_DESC_ALLOC_TYPE:
        case SQL_DESC_ARRAY_SIZE:
        case SQL_DESC_ARRAY_STATUS_PTR:
        case SQL_DESC_BIND_OFFSET_PTR:
        case SQL_DESC_BIND_TYPE:
        case SQL_DESC_COUNT:
        case SQL_DESC_ROWS_PROCESSED_PTR:
            return true;
        default:
            return false;
    }
}

// Stores a number or a pointer in the width the field has.
void storeNumber(Width width, SQLLEN number, const void* pointer, SQLPOINTER value,
                 SQLINTEGER* length) {
    auto put = [&](const auto& v) {
        if (value != nullptr) std::memcpy(value, &v, sizeof v);
        if (length != nullptr) *length = sizeof v;
    };
    switch (width) {
        case Width::kSmall:
            put(static_cast<SQLSMALLINT>(number));
            return;
        case Width::kInteger:
            put(static_cast<SQLINTEGER>(number));
            return;
        case Width::kUnsignedLength:
            put(static_cast<SQLULEN>(number));
            return;
        case Width::kPointer:
            put(pointer);
            return;
        default:
            put(number);
            return;
    }
}

MsgNo storeText(std::string_view text, SQLPOINTER value, SQLINTEGER bufferLength,
                SQLINTEGER* length, TextForm form) {
    return putText(TextOut{value, bufferLength, length, form}, text);
}

// The verbose type and subcode of a concise type: dates and times are SQL_DATETIME with a
// subcode (either version's codes).
SQLSMALLINT verboseType(SQLSMALLINT concise) {
    const SQLSMALLINT code = odbc2TypeCode(concise);
    return code == SQL_DATE || code == SQL_TIME || code == SQL_TIMESTAMP ? SQLSMALLINT{SQL_DATETIME}
                                                                         : concise;
}

SQLSMALLINT subcodeOf(SQLSMALLINT concise) {
    switch (odbc2TypeCode(concise)) {
        case SQL_DATE:
            return SQL_CODE_DATE;
        case SQL_TIME:
            return SQL_CODE_TIME;
        case SQL_TIMESTAMP:
            return SQL_CODE_TIMESTAMP;
        default:
            return 0;
    }
}

SQLSMALLINT highestRecord(const DriverDescriptor& desc) {
    SQLSMALLINT highest = 0;
    for (const DescRecord& r : desc.records) {
        highest = std::max<SQLSMALLINT>(highest, static_cast<SQLSMALLINT>(r.recordNumber));
    }
    return highest;
}

const void* offsetPointerOf(const DriverDescriptor& desc) {
    return desc.bindOffsetPtr == &desc.zeroOffset ? nullptr : desc.bindOffsetPtr;
}

MsgNo getHeaderField(DriverDescriptor& desc, SQLSMALLINT field, SQLLEN& number,
                     const void*& pointer) {
    switch (field) {
        case SQL_DESC_ALLOC_TYPE:
            number = desc.allocType;
            return kMsgNone;
        case SQL_DESC_ARRAY_SIZE:
            number = static_cast<SQLLEN>(desc.arraySize);
            return kMsgNone;
        case SQL_DESC_ARRAY_STATUS_PTR:
            pointer = desc.arrayStatusPtr;
            return kMsgNone;
        case SQL_DESC_BIND_OFFSET_PTR:
            pointer = offsetPointerOf(desc);
            return kMsgNone;
        case SQL_DESC_BIND_TYPE:
            number = desc.bindType;
            return kMsgNone;
        case SQL_DESC_ROWS_PROCESSED_PTR:
            pointer = desc.rowsProcessedPtr;
            return kMsgNone;
        default:
            return kMsgInvalidDescField;
    }
}

MsgNo getApplicationField(const DriverDescriptor& desc, SQLSMALLINT record, SQLSMALLINT field,
                          SQLLEN& number, const void*& pointer, std::string_view& text) {
    static const DescRecord kEmpty;
    const DescRecord* found =
        const_cast<DriverDescriptor&>(desc).findRecord(static_cast<std::uint16_t>(record));
    const DescRecord& r = found != nullptr ? *found : kEmpty;
    switch (field) {
        case SQL_DESC_CONCISE_TYPE:
            number = r.cType;
            return kMsgNone;
        case SQL_DESC_TYPE:
            number = verboseType(r.cType);
            return kMsgNone;
        case SQL_DESC_DATETIME_INTERVAL_CODE:
            number = subcodeOf(r.cType);
            return kMsgNone;
        case SQL_DESC_DATA_PTR:
            pointer = r.dataPtr;
            return kMsgNone;
        case SQL_DESC_INDICATOR_PTR:
            pointer = r.indicatorPtr;
            return kMsgNone;
        case SQL_DESC_OCTET_LENGTH_PTR:
            pointer = r.octetLengthPtr;
            return kMsgNone;
        case SQL_DESC_OCTET_LENGTH:
        case SQL_DESC_LENGTH:
            number = r.octetLength;
            return kMsgNone;
        case SQL_DESC_PRECISION:
            number = r.precision;
            return kMsgNone;
        case SQL_DESC_SCALE:
            number = r.scale;
            return kMsgNone;
        case SQL_DESC_UNNAMED:
            number = SQL_UNNAMED;
            return kMsgNone;
        case SQL_DESC_NULLABLE:
            number = SQL_NULLABLE_UNKNOWN;
            return kMsgNone;
        case SQL_DESC_PARAMETER_TYPE:
            number = SQL_PARAM_INPUT;
            return kMsgNone;
        default:
            if (widthOf(field) == Width::kUnknown) return kMsgInvalidDescField;
            number = 0;
            text = {};
            return kMsgNone;
    }
}

// A parameter marker's description (SQLDescribeParam's type, size and digits).
MsgNo getParameterField(DriverStatement& stmt, SQLSMALLINT record, SQLSMALLINT field,
                        SQLLEN& number, std::string_view& text) {
    const TypeDesc& type =
        stmt.tree.node(parameterNodes(stmt)[static_cast<std::size_t>(record - 1)]).type;
    const ResultColumn c = describeType("", type);
    const SQLSMALLINT concise = mapDateTimeCode(c.sqlType, odbcVersionOf(stmt));
    const TypeInfoRow* row = findTypeRow(c.sqlType);
    switch (field) {
        case SQL_DESC_CONCISE_TYPE:
            number = concise;
            return kMsgNone;
        case SQL_DESC_TYPE:
            number = verboseType(concise);
            return kMsgNone;
        case SQL_DESC_DATETIME_INTERVAL_CODE:
            number = subcodeOf(concise);
            return kMsgNone;
        case SQL_DESC_LENGTH:
        case SQL_DESC_PRECISION:
            number = c.columnSize;
            return kMsgNone;
        case SQL_DESC_OCTET_LENGTH:
            number = c.octetLength;
            return kMsgNone;
        case SQL_DESC_SCALE:
            number = c.scale;
            return kMsgNone;
        case SQL_DESC_NULLABLE:
            number = SQL_NULLABLE_UNKNOWN;
            return kMsgNone;
        case SQL_DESC_UNNAMED:
            number = SQL_UNNAMED;
            return kMsgNone;
        case SQL_DESC_PARAMETER_TYPE:
            number = SQL_PARAM_INPUT;
            return kMsgNone;
        case SQL_DESC_TYPE_NAME:
        case SQL_DESC_LOCAL_TYPE_NAME:
            text = row != nullptr ? row->name : std::string_view{};
            return kMsgNone;
        default:
            if (widthOf(field) == Width::kUnknown) return kMsgInvalidDescField;
            number = 0;
            return kMsgNone;
    }
}

// An IRD field comes from the result column's description, which reports its failures on the
// statement: they move to the descriptor, and the statement keeps its own diagnostic.
MsgNo getResultField(DriverDescriptor& desc, DriverStatement& stmt, SQLSMALLINT record,
                     SQLSMALLINT field, SQLPOINTER value, SQLINTEGER bufferLength,
                     SQLINTEGER* length, TextForm form) {
    const Width width = widthOf(field);
    if (width == Width::kUnknown || width == Width::kPointer) return kMsgInvalidDescField;
    const DiagRecord saved = stmt.diag;
    stmt.diag.clear();
    SQLSMALLINT textLength = 0;
    SQLLEN number = 0;
    const TextOut text{value,
                       static_cast<SQLSMALLINT>(std::clamp<SQLINTEGER>(bufferLength, 0, 32767)),
                       &textLength, form};
    MsgNo rc = describeColumnField(stmt, static_cast<SQLUSMALLINT>(record),
                                   static_cast<SQLUSMALLINT>(field),
                                   width == Width::kText ? text : TextOut{}, &number);
    if (stmt.diag.pending()) desc.diag = stmt.diag;
    stmt.diag = saved;
    if (rc != kMsgNone && rc != kMsgTruncated) {
        return rc == kMsgInvalidColumnId ? MsgNo{kMsgNoDataFound} : rc;
    }
    if (width == Width::kText) {
        if (length != nullptr) *length = textLength;
    } else {
        storeNumber(width, number, nullptr, value, length);
    }
    return rc;
}

bool hasPreparedStatement(const DriverStatement& stmt) {
    return stmt.result != nullptr || !stmt.tree.empty();
}

}  // namespace

DescKind kindOf(const DriverDescriptor& desc) {
    if (desc.owner == nullptr) return DescKind::kApplication;
    return &desc.owner->ird == &desc ? DescKind::kImplementationRow
                                     : DescKind::kImplementationParam;
}

MsgNo getDescField(DriverDescriptor& desc, SQLSMALLINT record, SQLSMALLINT field, SQLPOINTER value,
                   SQLINTEGER bufferLength, SQLINTEGER* length, TextForm form) {
    const Width width = widthOf(field);
    if (width == Width::kUnknown) return kMsgInvalidDescField;
    const DescKind kind = kindOf(desc);
    SQLLEN number = 0;
    const void* pointer = nullptr;
    std::string_view text;
    if (field == SQL_DESC_COUNT) {
        if (kind == DescKind::kApplication) {
            number = highestRecord(desc);
        } else if (kind == DescKind::kImplementationParam) {
            number = desc.owner->tree.empty()
                         ? 0
                         : static_cast<SQLLEN>(parameterNodes(*desc.owner).size());
        } else if (hasPreparedStatement(*desc.owner)) {
            if (const MsgNo rc = describeColumn(*desc.owner, 0, SQL_COLUMN_COUNT, {}, &number)) {
                return rc;
            }
        }
        storeNumber(width, number, nullptr, value, length);
        return kMsgNone;
    }
    if (isHeaderField(field)) {
        if (const MsgNo rc = getHeaderField(desc, field, number, pointer)) return rc;
        storeNumber(width, number, pointer, value, length);
        return kMsgNone;
    }
    if (record < 0) return kMsgInvalidDescIndex;
    MsgNo rc = kMsgNone;
    switch (kind) {
        case DescKind::kApplication:
            if (record > highestRecord(desc)) return kMsgNoDataFound;
            rc = getApplicationField(desc, record, field, number, pointer, text);
            break;
        case DescKind::kImplementationRow:
            if (!hasPreparedStatement(*desc.owner)) return kMsgNotPrepared;
            return getResultField(desc, *desc.owner, record, field, value, bufferLength, length,
                                  form);
        case DescKind::kImplementationParam: {
            const DriverStatement& stmt = *desc.owner;
            const std::size_t count = stmt.tree.empty() ? 0 : parameterNodes(stmt).size();
            if (record == 0 || static_cast<std::size_t>(record) > count) return kMsgNoDataFound;
            rc = getParameterField(*desc.owner, record, field, number, text);
            break;
        }
    }
    if (rc != kMsgNone) return rc;
    if (width == Width::kText) return storeText(text, value, bufferLength, length, form);
    storeNumber(width, number, pointer, value, length);
    return kMsgNone;
}

namespace {

MsgNo setHeaderField(DriverDescriptor& desc, SQLSMALLINT field, SQLPOINTER value) {
    const auto number = reinterpret_cast<SQLULEN>(value);
    switch (field) {
        case SQL_DESC_ARRAY_SIZE:
            return setArraySize(desc.arraySize, number);
        case SQL_DESC_ARRAY_STATUS_PTR:
            desc.arrayStatusPtr = static_cast<SQLUSMALLINT*>(value);
            return kMsgNone;
        case SQL_DESC_BIND_OFFSET_PTR:
            desc.bindOffsetPtr = value != nullptr ? static_cast<SQLLEN*>(value) : &desc.zeroOffset;
            return kMsgNone;
        case SQL_DESC_BIND_TYPE:
            desc.bindType = static_cast<std::int32_t>(number);
            return kMsgNone;
        case SQL_DESC_ROWS_PROCESSED_PTR:
            desc.rowsProcessedPtr = static_cast<SQLULEN*>(value);
            return kMsgNone;
        case SQL_DESC_COUNT: {
            const auto count = static_cast<SQLSMALLINT>(number);
            desc.records.remove_if([count](const DescRecord& r) { return r.recordNumber > count; });
            return kMsgNone;
        }
        default:
            return kMsgInvalidDescField;
    }
}

// Fields a client may set that the driver takes from elsewhere (the prepared statement, the
// C type): accepted and ignored.
bool isIgnoredField(SQLSMALLINT field) {
    switch (field) {
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
        case SQL_DESC_BASE_COLUMN_NAME:
        case SQL_DESC_BASE_TABLE_NAME:
        case SQL_DESC_DATETIME_INTERVAL_PRECISION:
        case SQL_DESC_LITERAL_PREFIX:
        case SQL_DESC_LITERAL_SUFFIX:
        case SQL_DESC_LOCAL_TYPE_NAME:
        case SQL_DESC_NUM_PREC_RADIX:
        case SQL_DESC_PARAMETER_TYPE:
        case SQL_DESC_LENGTH:
        case SQL_DESC_NULLABLE:
        case SQL_DESC_NAME:
        case SQL_DESC_UNNAMED:
        case SQL_DESC_ALLOC_TYPE:
            return true;
        default:
            return false;
    }
}

// A new C type: the data, length and indicator pointers no longer fit it.
void setCType(DescRecord& r, SQLSMALLINT cType) {
    r.cType = cType;
    r.dataPtr = nullptr;
    r.octetLengthPtr = nullptr;
    r.indicatorPtr = nullptr;
}

MsgNo setApplicationField(DriverDescriptor& desc, DescRecord& r, SQLSMALLINT field,
                          SQLPOINTER value) {
    const auto number = reinterpret_cast<SQLLEN>(value);
    const int version = odbcVersionOf(desc);
    switch (field) {
        case SQL_DESC_TYPE:
            // A date or time type waits for its subcode.
            if (number == SQL_DATETIME || number == SQL_INTERVAL) return kMsgNone;
            [[fallthrough]];
        case SQL_DESC_CONCISE_TYPE:
            setCType(r, mapDateTimeCode(static_cast<SQLSMALLINT>(number), version));
            return kMsgNone;
        case SQL_DESC_DATETIME_INTERVAL_CODE: {
            const SQLSMALLINT codes[] = {SQL_C_DATE, SQL_C_TIME, SQL_C_TIMESTAMP};
            if (number >= SQL_CODE_DATE && number <= SQL_CODE_TIMESTAMP) {
                setCType(r, mapDateTimeCode(codes[number - SQL_CODE_DATE], version));
            }
            return kMsgNone;
        }
        case SQL_DESC_OCTET_LENGTH_PTR:
            r.octetLengthPtr = static_cast<SQLLEN*>(value);
            return kMsgNone;
        case SQL_DESC_INDICATOR_PTR:
            r.indicatorPtr = static_cast<SQLLEN*>(value);
            return kMsgNone;
        case SQL_DESC_DATA_PTR:
            r.dataPtr = value;
            return kMsgNone;
        case SQL_DESC_OCTET_LENGTH:
            r.octetLength = number;
            return kMsgNone;
        default:
            return kMsgInvalidDescField;
    }
}

}  // namespace

MsgNo setDescField(DriverDescriptor& desc, SQLSMALLINT record, SQLSMALLINT field, SQLPOINTER value,
                   SQLINTEGER /*length*/) {
    const DescKind kind = kindOf(desc);
    // Of an IRD the client sets only where the row statuses and the count of rows go.
    if (kind == DescKind::kImplementationRow && field != SQL_DESC_ARRAY_STATUS_PTR &&
        field != SQL_DESC_ROWS_PROCESSED_PTR) {
        return kMsgModifyIrd;
    }
    if (isHeaderField(field) && field != SQL_DESC_ALLOC_TYPE) {
        return setHeaderField(desc, field, value);
    }
    if (isIgnoredField(field)) return kMsgNone;
    if (widthOf(field) == Width::kUnknown) return kMsgInvalidDescField;
    if (record < 0) return kMsgInvalidDescIndex;
    const auto number = static_cast<std::int16_t>(reinterpret_cast<SQLLEN>(value));
    DescRecord& r = desc.record(static_cast<std::uint16_t>(record));
    switch (field) {
        case SQL_DESC_PRECISION:
            r.precision = number;
            return kMsgNone;
        case SQL_DESC_SCALE:
            r.scale = number;
            return kMsgNone;
        default:
            break;
    }
    // The IPD's types are those of the prepared statement's markers.
    if (kind == DescKind::kImplementationParam) return kMsgNone;
    return setApplicationField(desc, r, field, value);
}

MsgNo copyDesc(DriverDescriptor& source, DriverDescriptor& target) {
    const DescKind targetKind = kindOf(target);
    if (targetKind == DescKind::kImplementationRow) return kMsgModifyIrd;
    if (targetKind == DescKind::kImplementationParam) return kMsgNone;
    if (kindOf(source) == DescKind::kImplementationRow) {
        DriverStatement& stmt = *source.owner;
        if (!hasPreparedStatement(stmt)) return kMsgNotPrepared;
        target.records.clear();
        const auto& columns = stmt.result ? stmt.result->columns() : stmt.preparedColumns;
        const int version = odbcVersionOf(stmt);
        for (std::size_t i = columns.size(); i-- > 0;) {
            const ResultColumn& c = columns[i];
            DescRecord r;
            r.recordNumber = static_cast<std::uint16_t>(i + 1);
            r.cType = defaultCType(c.sqlType, false, version);
            r.precision = static_cast<std::int16_t>(std::min(c.columnSize, 32767));
            r.scale = c.scale;
            r.octetLength = c.octetLength;
            target.records.push_front(std::move(r));
        }
        return kMsgNone;
    }
    if (&source == &target) return kMsgNone;
    target.bindType = source.bindType;
    target.arraySize = source.arraySize;
    target.arrayStatusPtr = source.arrayStatusPtr;
    target.rowsProcessedPtr = source.rowsProcessedPtr;
    target.bindOffsetPtr =
        source.bindOffsetPtr == &source.zeroOffset ? &target.zeroOffset : source.bindOffsetPtr;
    target.records = source.records;
    return kMsgNone;
}

}  // namespace kelvra
