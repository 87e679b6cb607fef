#include "connect/session_start.h"

#include <unistd.h>

#include "resources/ascii.h"

namespace kelvra {


std::string hostProgramName() {
    char path[4096];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path);
    if (n <= 0) return {};
    const std::string_view full(path, static_cast<size_t>(n));
    const size_t slash = full.rfind('/');
    return toLowerAscii(slash == std::string_view::npos ? full : full.substr(slash + 1));
}

std::unique_ptr<QbSession> startSession(const SessionRequest& request, DiagRecord& diag) {
    auto session = std::make_unique<QbSession>(request.useMta, request.useServerRequest);
    if (session->ok()) {
        session->username = request.user;
        session->password = request.password;
        session->server = toLowerAscii(request.server);
        session->userAgent = "Kelvra ODBC/3.8.1.44 (Linux)";
        session->deadline =
            request.loginTimeout != 0
                ? ExchangeDeadline{request.loginTimeout, kMsgTimeout}
                : ExchangeDeadline{request.connectionTimeout, kMsgConnectionTimeout};
        session->authenticate();
        session->deadline = {request.connectionTimeout, kMsgConnectionTimeout};
    }
    if (!session->ok()) {
        postSessionError(diag, session->msgNo(), session->errcode(), session->errdetail());
        return nullptr;
    }
    return session;
}

void endSession(std::unique_ptr<QbSession>& session) noexcept {
    session.reset();
}

}  // namespace kelvra
