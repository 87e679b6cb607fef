// Starting and ending a connection's QuickBase session: the part of connecting that both
// SQLConnect and SQLDriverConnect share.
#pragma once

#include <memory>
#include <string>

#include "driver/diagnostics.h"
#include "qbapi/qb_session.h"

namespace kelvra {

struct SessionRequest {
    std::string user;
    std::string password;
    std::string server;
    bool useMta = false;
    bool useServerRequest = false;
};

// Creates a session and logs in. On failure the session's error is posted on `diag` (message
// 999, or the driver's own message) and null is returned.
std::unique_ptr<QbSession> startSession(const SessionRequest& request, DiagRecord& diag);

// Ends a session: sends what it saved for the end of the connection, then destroys it.
void endSession(std::unique_ptr<QbSession>& session) noexcept;

// The host program's file name, lower case, without its directory.
std::string hostProgramName();

}  // namespace kelvra
