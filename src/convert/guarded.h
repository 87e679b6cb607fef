// Internal to this module: runs the body of a public function that answers with a message
// number, so that running out of memory becomes message 1001 instead of an exception.
#pragma once

#include <new>
#include <stdexcept>

#include "resources/messages.h"

namespace kelvra {

template <typename Body>
MsgNo guarded(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return kMsgMemory;
    } catch (const std::length_error&) {
        return kMsgMemory;
    }
}

}  // namespace kelvra
