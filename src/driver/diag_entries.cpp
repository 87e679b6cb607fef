// The diagnostic calls: SQLError (which consumes the diagnostic), SQLGetDiagRec and
// SQLGetDiagField (which only read it).
#include <cstring>

#include "driver/entry.h"
#include "driver/export.h"
#include "driver/string_out.h"

using namespace kelvra;

namespace {

struct DiagSource {
    DiagRecord* diag = nullptr;
    int odbcVersion = 3;
    const DriverStatement* stmt = nullptr;         // set for statement handles
    const DriverConnection* connection = nullptr;  // null for environments
};

bool diagSource(SQLSMALLINT type, SQLHANDLE handle, DiagSource& out) {
    switch (type) {
        case SQL_HANDLE_ENV: {
            auto* env = static_cast<DriverEnvironment*>(handle);
            out = {&env->diag, odbcVersionOf(*env), nullptr, nullptr};
            return true;
        }
        case SQL_HANDLE_DBC: {
            auto* dbc = static_cast<DriverConnection*>(handle);
            out = {&dbc->diag, odbcVersionOf(*dbc), nullptr, dbc};
            return true;
        }
        case SQL_HANDLE_STMT: {
            auto* stmt = static_cast<DriverStatement*>(handle);
            out = {&stmt->diag, odbcVersionOf(*stmt), stmt, stmt->connection};
            return true;
        }
        case SQL_HANDLE_DESC: {
            auto* desc = static_cast<DriverDescriptor*>(handle);
            out = {&desc->diag, odbcVersionOf(*desc), nullptr, desc->connection};
            return true;
        }
        default:
            return false;
    }
}

template <typename T>
SQLRETURN integerOut(SQLPOINTER info, SQLSMALLINT* length, T value) {
    if (info != nullptr) {
        std::memcpy(info, &value, sizeof value);
        if (length != nullptr) *length = static_cast<SQLSMALLINT>(sizeof value);
    }
    return SQL_SUCCESS;
}

SQLRETURN stringOut(SQLPOINTER info, SQLSMALLINT bufferLength, SQLSMALLINT* length,
                    std::string_view text) {
    return copyStringOut(info, bufferLength, length, text) == kMsgNone ? SQL_SUCCESS
                                                                       : SQL_SUCCESS_WITH_INFO;
}

std::string_view serverName(const DriverConnection* dbc) {
    if (dbc == nullptr || dbc->dataSourceName == " ") return {};
    return dbc->dataSourceName;
}

SQLRETURN getDiagField(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record,
                       SQLSMALLINT identifier, SQLPOINTER info, SQLSMALLINT bufferLength,
                       SQLSMALLINT* length) {
    DiagSource src;
    if (handle == nullptr || !diagSource(type, handle, src)) return SQL_ERROR;
    const DiagRecord& diag = *src.diag;

    // Header fields, whatever the record number.
    switch (identifier) {
        case SQL_DIAG_RETURNCODE:
            return integerOut<SQLRETURN>(info, length, SQL_SUCCESS);
        case SQL_DIAG_NUMBER:
            return integerOut<SQLINTEGER>(info, length, diag.pending() ? 1 : 0);
        case SQL_DIAG_ROW_COUNT:
            if (src.stmt == nullptr) return SQL_ERROR;
            return integerOut<SQLLEN>(info, length, src.stmt->diagRowCount);
        case SQL_DIAG_CURSOR_ROW_COUNT:
            if (src.stmt == nullptr) return SQL_ERROR;
            return integerOut<SQLLEN>(info, length, src.stmt->rowCount);
        case SQL_DIAG_DYNAMIC_FUNCTION:
            if (src.stmt == nullptr) return SQL_ERROR;
            return stringOut(info, bufferLength, length,
                             dynamicFunctionText(src.stmt->dynamicFunctionCode));
        case SQL_DIAG_DYNAMIC_FUNCTION_CODE:
            if (src.stmt == nullptr) return SQL_ERROR;
            return integerOut<SQLINTEGER>(info, length, src.stmt->dynamicFunctionCode);
        default:
            break;
    }

    switch (identifier) {
        case SQL_DIAG_SQLSTATE:
        case SQL_DIAG_NATIVE:
        case SQL_DIAG_MESSAGE_TEXT:
        case SQL_DIAG_CLASS_ORIGIN:
        case SQL_DIAG_SUBCLASS_ORIGIN:
        case SQL_DIAG_CONNECTION_NAME:
        case SQL_DIAG_SERVER_NAME:
        case SQL_DIAG_ROW_NUMBER:
        case SQL_DIAG_COLUMN_NUMBER:
            break;
        default:
            return SQL_ERROR;
    }
    if (record > 1 || !diag.pending()) return SQL_NO_DATA;

    switch (identifier) {
        case SQL_DIAG_NATIVE:
            return integerOut<SQLINTEGER>(info, length, diag.number);
        case SQL_DIAG_ROW_NUMBER:
            return integerOut<SQLLEN>(info, length, SQL_ROW_NUMBER_UNKNOWN);
        case SQL_DIAG_COLUMN_NUMBER:
            return integerOut<SQLINTEGER>(info, length, SQL_COLUMN_NUMBER_UNKNOWN);
        case SQL_DIAG_CONNECTION_NAME:
            return stringOut(info, bufferLength, length, "");
        case SQL_DIAG_SERVER_NAME:
            return stringOut(info, bufferLength, length, serverName(src.connection));
        default:
            break;
    }
    const DiagText text = buildDiagText(diag);
    switch (identifier) {
        case SQL_DIAG_SQLSTATE:
            return stringOut(info, bufferLength, length, text.state(src.odbcVersion));
        case SQL_DIAG_CLASS_ORIGIN:
            return stringOut(info, bufferLength, length, classOrigin(text.state3));
        case SQL_DIAG_SUBCLASS_ORIGIN:
            return stringOut(info, bufferLength, length, subclassOrigin(text.state3));
        default:
            return stringOut(info, bufferLength, length, text.message);
    }
}

SQLRETURN getDiagRec(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record, SQLCHAR* state,
                     SQLINTEGER* native, SQLCHAR* message, SQLSMALLINT bufferLength,
                     SQLSMALLINT* length) {
    DiagSource src;
    if (handle == nullptr || !diagSource(type, handle, src)) return SQL_ERROR;
    if (record > 1 || !src.diag->pending()) return SQL_NO_DATA;
    if (state != nullptr) {
        const SQLRETURN rc =
            getDiagField(type, handle, record, SQL_DIAG_SQLSTATE, state, 6, nullptr);
        if (rc != SQL_SUCCESS) return rc;
    }
    if (native != nullptr) {
        const SQLRETURN rc =
            getDiagField(type, handle, record, SQL_DIAG_NATIVE, native, 4, nullptr);
        if (rc != SQL_SUCCESS) return rc;
    }
    if (message == nullptr && length == nullptr) return SQL_SUCCESS;
    return getDiagField(type, handle, record, SQL_DIAG_MESSAGE_TEXT, message, bufferLength, length);
}

SQLRETURN error(SQLSMALLINT type, SQLHANDLE handle, SQLCHAR* state, SQLINTEGER* native,
                SQLCHAR* message, SQLSMALLINT bufferLength, SQLSMALLINT* length) {
    DiagSource src;
    diagSource(type, handle, src);
    // SQLError consumes the diagnostic: a second call finds nothing.
    const DiagRecord diag = *src.diag;
    src.diag->clear();
    if (native != nullptr) *native = diag.number;
    const DiagText text = buildDiagText(diag);
    if (state != nullptr)
        copyStringOut(state, 6, static_cast<SQLSMALLINT*>(nullptr), text.state(src.odbcVersion));
    const MsgNo copied = copyStringOut(message, bufferLength, length, text.message);
    if (!diag.pending()) return SQL_NO_DATA;
    return copied == kMsgNone ? SQL_SUCCESS : SQL_SUCCESS_WITH_INFO;
}

// Runs a diagnostic call in the entry frame of a handle given by its type; the diagnostic is
// read, not cleared. Unknown types give SQL_ERROR.
template <typename Body>
SQLRETURN onHandleOfType(SQLSMALLINT type, SQLHANDLE handle, Body&& body) {
    const EntryDiagnostic keep = EntryDiagnostic::keep;
    switch (type) {
        case SQL_HANDLE_ENV:
            return runEntry<DriverEnvironment>(
                handle, [&](auto&) { return body(); }, keep);
        case SQL_HANDLE_DBC:
            return runEntry<DriverConnection>(
                handle, [&](auto&) { return body(); }, keep);
        case SQL_HANDLE_STMT:
            return runEntry<DriverStatement>(
                handle, [&](auto&) { return body(); }, keep);
        case SQL_HANDLE_DESC:
            return runEntry<DriverDescriptor>(
                handle, [&](auto&) { return body(); }, keep);
        default:
            return SQL_ERROR;
    }
}

}  // namespace

KELVRA_EXPORT SQLRETURN SQLError(SQLHENV henv, SQLHDBC hdbc, SQLHSTMT hstmt, SQLCHAR* szSqlState,
                                 SQLINTEGER* pfNativeError, SQLCHAR* szErrorMsg,
                                 SQLSMALLINT cbErrorMsgMax, SQLSMALLINT* pcbErrorMsg) {
    const SQLSMALLINT type = hstmt != nullptr  ? SQL_HANDLE_STMT
                             : hdbc != nullptr ? SQL_HANDLE_DBC
                                               : SQL_HANDLE_ENV;
    SQLHANDLE handle = hstmt != nullptr ? hstmt : hdbc != nullptr ? hdbc : henv;
    if (handle == nullptr) return SQL_INVALID_HANDLE;
    return onHandleOfType(type, handle, [&] {
        return error(type, handle, szSqlState, pfNativeError, szErrorMsg, cbErrorMsgMax,
                     pcbErrorMsg);
    });
}

KELVRA_EXPORT SQLRETURN SQLGetDiagRec(SQLSMALLINT HandleType, SQLHANDLE Handle,
                                      SQLSMALLINT RecNumber, SQLCHAR* Sqlstate,
                                      SQLINTEGER* NativeErrorPtr, SQLCHAR* MessageText,
                                      SQLSMALLINT BufferLength, SQLSMALLINT* TextLengthPtr) {
    if (Handle == nullptr) return SQL_ERROR;
    return onHandleOfType(HandleType, Handle, [&] {
        return getDiagRec(HandleType, Handle, RecNumber, Sqlstate, NativeErrorPtr, MessageText,
                          BufferLength, TextLengthPtr);
    });
}

KELVRA_EXPORT SQLRETURN SQLGetDiagField(SQLSMALLINT HandleType, SQLHANDLE Handle,
                                        SQLSMALLINT RecNumber, SQLSMALLINT DiagIdentifier,
                                        SQLPOINTER DiagInfoPtr, SQLSMALLINT BufferLength,
                                        SQLSMALLINT* StringLengthPtr) {
    if (Handle == nullptr) return SQL_ERROR;
    return onHandleOfType(HandleType, Handle, [&] {
        return getDiagField(HandleType, Handle, RecNumber, DiagIdentifier, DiagInfoPtr,
                            BufferLength, StringLengthPtr);
    });
}
