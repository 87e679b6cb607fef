// Descriptor calls: SQLGetDescField, SQLSetDescField, SQLGetDescRec, SQLSetDescRec and
// SQLCopyDesc, on a statement's descriptors and on explicitly allocated ones, and the wide
// twins SQLGetDescFieldW (text in bytes), SQLSetDescFieldW and SQLGetDescRecW (the name in
// characters). The text fields a client may set are ignored, so both setters are one.
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <mutex>

#include "driver/descriptor_fields.h"
#include "driver/entry.h"
#include "driver/export.h"

using namespace kelvra;

namespace {

SQLRETURN descReturn(DriverDescriptor& desc, MsgNo rc) {
    return rc == kMsgNoDataFound ? SQL_NO_DATA : finish(desc.diag, rc);
}

// SQLGetDescRec's outputs, read in this order, each only when asked for.
MsgNo getDescRec(DriverDescriptor& desc, SQLSMALLINT record, void* name, TextForm form,
                 SQLSMALLINT bufferLength, SQLSMALLINT* nameLength, SQLSMALLINT* type,
                 SQLSMALLINT* subType, SQLLEN* length, SQLSMALLINT* precision, SQLSMALLINT* scale,
                 SQLSMALLINT* nullable) {
    const struct {
        SQLSMALLINT field;
        void* out;
    } numbers[] = {{SQL_DESC_NULLABLE, nullable},
                   {SQL_DESC_SCALE, scale},
                   {SQL_DESC_PRECISION, precision},
                   {SQL_DESC_OCTET_LENGTH, length},
                   {SQL_DESC_DATETIME_INTERVAL_CODE, subType},
                   {SQL_DESC_TYPE, type}};
    for (const auto& item : numbers) {
        if (item.out == nullptr) continue;
        if (const MsgNo rc = getDescField(desc, record, item.field, item.out, 0, nullptr)) {
            return rc;
        }
    }
    if (name == nullptr && nameLength == nullptr) return kMsgNone;
    SQLINTEGER full = 0;
    const MsgNo rc = getDescField(desc, record, SQL_DESC_NAME, name, bufferLength, &full, form);
    if (nameLength != nullptr) *nameLength = static_cast<SQLSMALLINT>(full);
    return rc;
}

MsgNo setDescRec(DriverDescriptor& desc, SQLSMALLINT record, SQLSMALLINT type, SQLSMALLINT subType,
                 SQLLEN length, SQLSMALLINT precision, SQLSMALLINT scale, SQLPOINTER data,
                 SQLLEN* lengthPtr, SQLLEN* indicatorPtr) {
    const struct {
        SQLSMALLINT field;
        SQLPOINTER value;
    } steps[] = {{SQL_DESC_TYPE, reinterpret_cast<SQLPOINTER>(SQLLEN{type})},
                 {SQL_DESC_DATETIME_INTERVAL_CODE, reinterpret_cast<SQLPOINTER>(SQLLEN{subType})},
                 {SQL_DESC_OCTET_LENGTH, reinterpret_cast<SQLPOINTER>(length)},
                 {SQL_DESC_PRECISION, reinterpret_cast<SQLPOINTER>(SQLLEN{precision})},
                 {SQL_DESC_SCALE, reinterpret_cast<SQLPOINTER>(SQLLEN{scale})},
                 {SQL_DESC_DATA_PTR, data},
                 {SQL_DESC_OCTET_LENGTH_PTR, lengthPtr},
                 {SQL_DESC_INDICATOR_PTR, indicatorPtr}};
    MsgNo warning = kMsgNone;
    for (const auto& step : steps) {
        const MsgNo rc = setDescField(desc, record, step.field, step.value, 0);
        if (returnCodeFor(rc) == SQL_ERROR) return rc;
        if (rc != kMsgNone) warning = rc;
    }
    return warning;
}

SQLRETURN getDescFieldCall(SQLHDESC hdesc, SQLSMALLINT record, SQLSMALLINT field, SQLPOINTER value,
                           SQLINTEGER bufferLength, SQLINTEGER* length, TextForm form) {
    return runEntry<DriverDescriptor>(hdesc, [&](DriverDescriptor& desc) {
        return descReturn(desc,
                          getDescField(desc, record, field, value, bufferLength, length, form));
    });
}

SQLRETURN setDescFieldCall(SQLHDESC hdesc, SQLSMALLINT record, SQLSMALLINT field, SQLPOINTER value,
                           SQLINTEGER bufferLength) {
    return runEntry<DriverDescriptor>(hdesc, [&](DriverDescriptor& desc) {
        return descReturn(desc, setDescField(desc, record, field, value, bufferLength));
    });
}

SQLRETURN getDescRecCall(SQLHDESC hdesc, SQLSMALLINT record, void* name, TextForm form,
                         SQLSMALLINT bufferLength, SQLSMALLINT* nameLength, SQLSMALLINT* type,
                         SQLSMALLINT* subType, SQLLEN* length, SQLSMALLINT* precision,
                         SQLSMALLINT* scale, SQLSMALLINT* nullable) {
    return runEntry<DriverDescriptor>(hdesc, [&](DriverDescriptor& desc) {
        return descReturn(desc, getDescRec(desc, record, name, form, bufferLength, nameLength,
                                           type, subType, length, precision, scale, nullable));
    });
}

}  // namespace

KELVRA_EXPORT SQLRETURN SQLGetDescField(SQLHDESC hdesc, SQLSMALLINT RecNumber,
                                        SQLSMALLINT FieldIdentifier, SQLPOINTER Value,
                                        SQLINTEGER BufferLength, SQLINTEGER* StringLength) {
    return getDescFieldCall(hdesc, RecNumber, FieldIdentifier, Value, BufferLength, StringLength,
                            TextForm::ansi);
}

KELVRA_EXPORT SQLRETURN SQLGetDescFieldW(SQLHDESC hdesc, SQLSMALLINT RecNumber,
                                         SQLSMALLINT FieldIdentifier, SQLPOINTER Value,
                                         SQLINTEGER BufferLength, SQLINTEGER* StringLength) {
    return getDescFieldCall(hdesc, RecNumber, FieldIdentifier, Value, BufferLength, StringLength,
                            TextForm::wideBytes);
}

KELVRA_EXPORT SQLRETURN SQLSetDescField(SQLHDESC hdesc, SQLSMALLINT RecNumber,
                                        SQLSMALLINT FieldIdentifier, SQLPOINTER Value,
                                        SQLINTEGER BufferLength) {
    return setDescFieldCall(hdesc, RecNumber, FieldIdentifier, Value, BufferLength);
}

KELVRA_EXPORT SQLRETURN SQLSetDescFieldW(SQLHDESC hdesc, SQLSMALLINT RecNumber,
                                         SQLSMALLINT FieldIdentifier, SQLPOINTER Value,
                                         SQLINTEGER BufferLength) {
    return setDescFieldCall(hdesc, RecNumber, FieldIdentifier, Value, BufferLength);
}

KELVRA_EXPORT SQLRETURN SQLGetDescRec(SQLHDESC hdesc, SQLSMALLINT RecNumber, SQLCHAR* Name,
                                      SQLSMALLINT BufferLength, SQLSMALLINT* StringLength,
                                      SQLSMALLINT* Type, SQLSMALLINT* SubType, SQLLEN* Length,
                                      SQLSMALLINT* Precision, SQLSMALLINT* Scale,
                                      SQLSMALLINT* Nullable) {
    return getDescRecCall(hdesc, RecNumber, Name, TextForm::ansi, BufferLength, StringLength, Type,
                          SubType, Length, Precision, Scale, Nullable);
}

KELVRA_EXPORT SQLRETURN SQLGetDescRecW(SQLHDESC hdesc, SQLSMALLINT RecNumber, SQLWCHAR* Name,
                                       SQLSMALLINT BufferLength, SQLSMALLINT* StringLength,
                                       SQLSMALLINT* Type, SQLSMALLINT* SubType, SQLLEN* Length,
                                       SQLSMALLINT* Precision, SQLSMALLINT* Scale,
                                       SQLSMALLINT* Nullable) {
    return getDescRecCall(hdesc, RecNumber, Name, TextForm::wideChars, BufferLength, StringLength,
                          Type, SubType, Length, Precision, Scale, Nullable);
}

KELVRA_EXPORT SQLRETURN SQLSetDescRec(SQLHDESC hdesc, SQLSMALLINT RecNumber, SQLSMALLINT Type,
                                      SQLSMALLINT SubType, SQLLEN Length, SQLSMALLINT Precision,
                                      SQLSMALLINT Scale, SQLPOINTER Data, SQLLEN* StringLength,
                                      SQLLEN* Indicator) {
    return runEntry<DriverDescriptor>(hdesc, [&](DriverDescriptor& desc) {
        return descReturn(desc, setDescRec(desc, RecNumber, Type, SubType, Length, Precision, Scale,
                                           Data, StringLength, Indicator));
    });
}

// The two descriptors may belong to different connections: both locks are taken together, so
// that two copies in opposite directions cannot wait for each other.
KELVRA_EXPORT SQLRETURN SQLCopyDesc(SQLHDESC SourceDescHandle, SQLHDESC TargetDescHandle) {
    if (SourceDescHandle == nullptr || TargetDescHandle == nullptr) return SQL_INVALID_HANDLE;
    auto& source = *static_cast<DriverDescriptor*>(SourceDescHandle);
    auto& target = *static_cast<DriverDescriptor*>(TargetDescHandle);
    std::mutex& a = source.connection->mutex;
    std::mutex& b = target.connection->mutex;
    std::unique_lock<std::mutex> first(a, std::defer_lock);
    std::unique_lock<std::mutex> second(b, std::defer_lock);
    if (&a == &b) {
        first.lock();
    } else {
        std::lock(first, second);
    }
    target.diag.clear();
    return guarded(target.diag, [&] { return finish(target.diag, copyDesc(source, target)); });
}
