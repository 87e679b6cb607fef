// The diagnostic calls: SQLError (which consumes the diagnostic), SQLGetDiagRec and
// SQLGetDiagField (which only read it).
#include <cstring>

#include "driver/entry.h"
#include "driver/entry_calls.h"
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
SQLRETURN integerOut(const TextOut& out, T value) {
    if (out.buffer != nullptr) {
        std::memcpy(out.buffer, &value, sizeof value);
        out.storeLength(sizeof value);
    }
    return SQL_SUCCESS;
}

SQLRETURN stringOut(const TextOut& out, std::string_view text) {
    return putText(out, text) == kMsgNone ? SQL_SUCCESS : SQL_SUCCESS_WITH_INFO;
}

std::string_view serverName(const DriverConnection* dbc) {
    if (dbc == nullptr || dbc->dataSourceName == " ") return {};
    return dbc->dataSourceName;
}

SQLRETURN getDiagField(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record,
                       SQLSMALLINT identifier, const TextOut& info) {
    DiagSource src;
    if (handle == nullptr || !diagSource(type, handle, src)) return SQL_ERROR;
    const DiagRecord& diag = *src.diag;

    // Header fields, whatever the record number.
    switch (identifier) {
        case SQL_DIAG_RETURNCODE:
            return integerOut<SQLRETURN>(info, SQL_SUCCESS);
        case SQL_DIAG_NUMBER:
            return integerOut<SQLINTEGER>(info, diag.pending() ? 1 : 0);
        case SQL_DIAG_ROW_COUNT:
            if (src.stmt == nullptr) return SQL_ERROR;
            return integerOut<SQLLEN>(info, src.stmt->diagRowCount);
        case SQL_DIAG_CURSOR_ROW_COUNT:
            if (src.stmt == nullptr) return SQL_ERROR;
            return integerOut<SQLLEN>(info, src.stmt->rowCount);
        case SQL_DIAG_DYNAMIC_FUNCTION:
            if (src.stmt == nullptr) return SQL_ERROR;
            return stringOut(info, dynamicFunctionText(src.stmt->dynamicFunctionCode));
        case SQL_DIAG_DYNAMIC_FUNCTION_CODE:
            if (src.stmt == nullptr) return SQL_ERROR;
            return integerOut<SQLINTEGER>(info, src.stmt->dynamicFunctionCode);
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
            return integerOut<SQLINTEGER>(info, diag.number);
        case SQL_DIAG_ROW_NUMBER:
            return integerOut<SQLLEN>(info, SQL_ROW_NUMBER_UNKNOWN);
        case SQL_DIAG_COLUMN_NUMBER:
            return integerOut<SQLINTEGER>(info, SQL_COLUMN_NUMBER_UNKNOWN);
        case SQL_DIAG_CONNECTION_NAME:
            return stringOut(info, "");
        case SQL_DIAG_SERVER_NAME:
            return stringOut(info, serverName(src.connection));
        default:
            break;
    }
    const DiagText text = buildDiagText(diag);
    switch (identifier) {
        case SQL_DIAG_SQLSTATE:
            return stringOut(info, text.state(src.odbcVersion));
        case SQL_DIAG_CLASS_ORIGIN:
            return stringOut(info, classOrigin(text.state3));
        case SQL_DIAG_SUBCLASS_ORIGIN:
            return stringOut(info, subclassOrigin(text.state3));
        default:
            return stringOut(info, text.message);
    }
}

SQLRETURN getDiagRec(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record, const TextOut& state,
                     SQLINTEGER* native, const TextOut& message) {
    DiagSource src;
    if (handle == nullptr || !diagSource(type, handle, src)) return SQL_ERROR;
    if (record > 1 || !src.diag->pending()) return SQL_NO_DATA;
    if (state.buffer != nullptr) {
        const SQLRETURN rc = getDiagField(type, handle, record, SQL_DIAG_SQLSTATE, state);
        if (rc != SQL_SUCCESS) return rc;
    }
    if (native != nullptr) {
        const SQLRETURN rc = getDiagField(type, handle, record, SQL_DIAG_NATIVE,
                                          TextOut{native, 4, static_cast<SQLSMALLINT*>(nullptr)});
        if (rc != SQL_SUCCESS) return rc;
    }
    if (message.buffer == nullptr && message.shortLength == nullptr) return SQL_SUCCESS;
    return getDiagField(type, handle, record, SQL_DIAG_MESSAGE_TEXT, message);
}

SQLRETURN consumeDiagnostic(SQLSMALLINT type, SQLHANDLE handle, const TextOut& state,
                            SQLINTEGER* native, const TextOut& message) {
    DiagSource src;
    diagSource(type, handle, src);
    // SQLError consumes the diagnostic: a second call finds nothing.
    const DiagRecord diag = *src.diag;
    src.diag->clear();
    if (native != nullptr) *native = diag.number;
    const DiagText text = buildDiagText(diag);
    putText(state, text.state(src.odbcVersion));
    const MsgNo copied = putText(message, text.message);
    if (!diag.pending()) return SQL_NO_DATA;
    return copied == kMsgNone ? SQL_SUCCESS : SQL_SUCCESS_WITH_INFO;
}

}  // namespace

namespace kelvra {

SQLRETURN errorCall(SQLHENV henv, SQLHDBC hdbc, SQLHSTMT hstmt, const TextOut& state,
                    SQLINTEGER* native, const TextOut& message) {
    const SQLSMALLINT type = hstmt != nullptr  ? SQL_HANDLE_STMT
                             : hdbc != nullptr ? SQL_HANDLE_DBC
                                               : SQL_HANDLE_ENV;
    SQLHANDLE handle = hstmt != nullptr ? hstmt : hdbc != nullptr ? hdbc : henv;
    if (handle == nullptr) return SQL_INVALID_HANDLE;
    return runEntryOfType(type, handle,
                          [&] { return consumeDiagnostic(type, handle, state, native, message); });
}

SQLRETURN diagRecCall(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record, const TextOut& state,
                      SQLINTEGER* native, const TextOut& message) {
    if (handle == nullptr) return SQL_ERROR;
    return runEntryOfType(type, handle,
                          [&] { return getDiagRec(type, handle, record, state, native, message); });
}

SQLRETURN diagFieldCall(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record,
                        SQLSMALLINT identifier, const TextOut& info) {
    if (handle == nullptr) return SQL_ERROR;
    return runEntryOfType(type, handle,
                          [&] { return getDiagField(type, handle, record, identifier, info); });
}

}  // namespace kelvra

KELVRA_EXPORT SQLRETURN SQLError(SQLHENV henv, SQLHDBC hdbc, SQLHSTMT hstmt, SQLCHAR* szSqlState,
                                 SQLINTEGER* pfNativeError, SQLCHAR* szErrorMsg,
                                 SQLSMALLINT cbErrorMsgMax, SQLSMALLINT* pcbErrorMsg) {
    return errorCall(henv, hdbc, hstmt, {szSqlState, 6, static_cast<SQLSMALLINT*>(nullptr)},
                     pfNativeError, {szErrorMsg, cbErrorMsgMax, pcbErrorMsg});
}

KELVRA_EXPORT SQLRETURN SQLGetDiagRec(SQLSMALLINT HandleType, SQLHANDLE Handle,
                                      SQLSMALLINT RecNumber, SQLCHAR* Sqlstate,
                                      SQLINTEGER* NativeErrorPtr, SQLCHAR* MessageText,
                                      SQLSMALLINT BufferLength, SQLSMALLINT* TextLengthPtr) {
    return diagRecCall(HandleType, Handle, RecNumber,
                       {Sqlstate, 6, static_cast<SQLSMALLINT*>(nullptr)}, NativeErrorPtr,
                       {MessageText, BufferLength, TextLengthPtr});
}

KELVRA_EXPORT SQLRETURN SQLGetDiagField(SQLSMALLINT HandleType, SQLHANDLE Handle,
                                        SQLSMALLINT RecNumber, SQLSMALLINT DiagIdentifier,
                                        SQLPOINTER DiagInfoPtr, SQLSMALLINT BufferLength,
                                        SQLSMALLINT* StringLengthPtr) {
    return diagFieldCall(HandleType, Handle, RecNumber, DiagIdentifier,
                         {DiagInfoPtr, BufferLength, StringLengthPtr});
}
