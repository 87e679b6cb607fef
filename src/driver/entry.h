// What every exported entry point shares: turning a message number into a return code, and
// the guard that keeps exceptions from crossing into the driver manager.
#pragma once

#include <sql.h>

#include <new>

#include "driver/diagnostics.h"

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

}  // namespace kelvra
