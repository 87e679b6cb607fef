// Starting and ending a connection's QuickBase session: the part of connecting that both
// SQLConnect and SQLDriverConnect share.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "driver/diagnostics.h"
#include "qbapi/qb_session.h"

namespace kelvra {

// The connection timeout (TIMEOUT, SQL_ATTR_CONNECTION_TIMEOUT) when none is given: how many
// seconds one request to QuickBase may take.
inline constexpr std::uint32_t kDefaultConnectionTimeout = 120;

struct SessionRequest {
    std::string user;
    std::string password;
    std::string server;
    bool useMta = false;
    bool useServerRequest = false;
    // Seconds; 0: no limit. The login's requests take the login timeout, or the connection
    // timeout when there is none; every later request the connection timeout.
    std::uint32_t loginTimeout = 0;
    std::uint32_t connectionTimeout = kDefaultConnectionTimeout;
};

// Creates a session and logs in. User name and password that are not valid UTF-8 or hold
// control characters are refused (1093) before anything is sent. On failure the session's
// error is posted on `diag` (message 999, or the driver's own message: 1091 and 1092 when the
// login took too long) and null is returned.
std::unique_ptr<QbSession> startSession(const SessionRequest& request, DiagRecord& diag);

// Ends a session: sends what it saved for the end of the connection, then destroys it.
void endSession(std::unique_ptr<QbSession>& session) noexcept;

// The host program's file name, lower case, without its directory.
std::string hostProgramName();

}  // namespace kelvra
