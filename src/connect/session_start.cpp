#include "connect/session_start.h"

#include <unistd.h>

#include "resources/ascii.h"
#include "resources/utf8.h"

namespace kelvra {

namespace {

// Why a user name or password cannot be sent; null when it can. Never shows the value.
const char* credentialProblem(std::string_view value, const char* notUtf8,
                              const char* controlCharacter) {
    if (!isValidUtf8(value)) return notUtf8;
    if (hasControlCharacter(value)) return controlCharacter;
    return nullptr;
}

}  // namespace

std::string hostProgramName() {
    char path[4096];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path);
    if (n <= 0) return {};
    const std::string_view full(path, static_cast<size_t>(n));
    const size_t slash = full.rfind('/');
    return toLowerAscii(slash == std::string_view::npos ? full : full.substr(slash + 1));
}

std::unique_ptr<QbSession> startSession(const SessionRequest& request, DiagRecord& diag) {
    for (const char* problem :
         {credentialProblem(request.user, "the user name is not valid UTF-8",
                            "the user name holds a control character"),
          credentialProblem(request.password, "the password is not valid UTF-8",
                            "the password holds a control character")}) {
        if (problem != nullptr) {
            postMessage(diag, kMsgInvalidAuthorization, problem);
            return nullptr;
        }
    }
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
