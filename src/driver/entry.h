// The frame every exported entry point runs in: the handle's lock, the cleared diagnostic, no
// exception crossing into the driver manager, and the message number turned into a return code.
//
// A new entry point on a connection, statement or descriptor (or an environment) is written
//
//     KELVRA_EXPORT SQLRETURN SQLPrepare(SQLHSTMT hstmt, SQLCHAR* text, SQLINTEGER length) {
//         return runEntry<DriverStatement>(hstmt, [&](DriverStatement& stmt) -> SQLRETURN {
//             ...
//             return finish(stmt.diag, rc);
//         });
//     }
//
// and needs nothing else: runEntry holds the connection's lock (the environment's for an
// environment) from entry to return, so that threads sharing a connection take turns, whatever
// the driver manager's threading level. The body calls no other exported entry point (the lock
// is not recursive); it uses the internal functions those are built on. Calls that only read a
// diagnostic pass EntryDiagnostic::keep. Freeing a statement or descriptor inside the body is
// safe (the mutex is the connection's); freeing a connection or an environment is done by
// freeConnection and freeEnvironment (handles.h), which know the order of their locks. A future
// SQLCancel must not wait for the lock: it would wait for the very call it is meant to stop.
#pragma once

#include <sql.h>

#include <new>

#include "driver/diagnostics.h"
#include "driver/handles.h"

namespace kelvra {

// 0 gives SQL_SUCCESS; truncation, option-changed and the transaction warnings give
// SQL_SUCCESS_WITH_INFO; anything else SQL_ERROR.
SQLRETURN returnCodeFor(MsgNo number);

// Posts `number` on the slot (unless 0 or already posted there) and returns its return code.
SQLRETURN finish(DiagRecord& diag, MsgNo number);

// Runs an entry point's body. Memory exhaustion is posted as 1001 on `diag`, any other
// exception as an internal error (1019); both return SQL_ERROR.
template <typename Body>
SQLRETURN guarded(DiagRecord& diag, Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        postMessage(diag, kMsgMemory);
    } catch (...) {
        postMessage(diag, kMsgInternalError);
    }
    return SQL_ERROR;
}

// Whether the call begins by clearing the handle's diagnostic (every call but the diagnostic
// calls themselves).
enum class EntryDiagnostic { clear, keep };

// The entry frame: `Handle` is DriverEnvironment, DriverConnection, DriverStatement or
// DriverDescriptor; a null handle gives SQL_INVALID_HANDLE.
template <typename Handle, typename Body>
SQLRETURN runEntry(SQLHANDLE handle, Body&& body,
                   EntryDiagnostic diagnostic = EntryDiagnostic::clear) noexcept {
    if (handle == nullptr) return SQL_INVALID_HANDLE;
    Handle& object = *static_cast<Handle*>(handle);
    EntryLock lock(object);
    if (diagnostic == EntryDiagnostic::clear) object.diag.clear();
    return guarded(object.diag, [&]() -> SQLRETURN { return body(object); });
}

// The entry frame of a call that names its handle by type (SQLGetDiagRec, SQLGetDiagField,
// SQLError): the diagnostic is read, not cleared. An unknown type gives SQL_ERROR.
template <typename Body>
SQLRETURN runEntryOfType(SQLSMALLINT type, SQLHANDLE handle, Body&& body) noexcept {
    const EntryDiagnostic keep = EntryDiagnostic::keep;
    const auto call = [&](auto&) { return body(); };
    switch (type) {
        case SQL_HANDLE_ENV:
            return runEntry<DriverEnvironment>(handle, call, keep);
        case SQL_HANDLE_DBC:
            return runEntry<DriverConnection>(handle, call, keep);
        case SQL_HANDLE_STMT:
            return runEntry<DriverStatement>(handle, call, keep);
        case SQL_HANDLE_DESC:
            return runEntry<DriverDescriptor>(handle, call, keep);
        default:
            return SQL_ERROR;
    }
}

}  // namespace kelvra
