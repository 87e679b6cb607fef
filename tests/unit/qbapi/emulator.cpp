#include "emulator.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "qbapi/curl_channel.h"

namespace kelvra::test {

namespace {

// Only a guard against a broken emulator: a healthy one answers within a second or two.
constexpr int kStartupLimitMs = 60000;

// Reads the emulator's first stdout line ("qbemu listening on https://HOST:PORT").
std::string readFirstLine(int fd) {
    std::string line;
    char c;
    while (line.size() < 512) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, kStartupLimitMs) <= 0) break;
        if (::read(fd, &c, 1) != 1 || c == '\n') break;
        line += c;
    }
    return line;
}

}  // namespace

Emulator::Emulator(const std::vector<std::string>& options) {
    std::string tree = KELVRA_SOURCE_DIR;
    std::string script = tree + "/tools/qbemu/qbemu.py";
    std::string data = tree + "/tools/qbemu/demo.json";
    caFile_ = ::testing::TempDir() + "qbemu-ca-" + std::to_string(::getpid()) + ".pem";
    if (::access(script.c_str(), R_OK) != 0) {
        failure_ = "the emulator " + script + " is not there";
        return;
    }
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) {
        failure_ = "pipe failed";
        return;
    }
    pid_ = ::fork();
    if (pid_ == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);  // never outlives the tests
        ::dup2(out[1], STDOUT_FILENO);
        std::vector<const char*> argv = {"python3",    script.c_str(), "--data",
                                         data.c_str(), "--port",       "0",
                                         "--ca-out",   caFile_.c_str()};
        for (const std::string& option : options) argv.push_back(option.c_str());
        argv.push_back(nullptr);
        ::execv("/usr/bin/python3", const_cast<char* const*>(argv.data()));
        ::_exit(127);
    }
    ::close(out[1]);
    std::string line = pid_ > 0 ? readFirstLine(out[0]) : "";
    ::close(out[0]);
    const std::string prefix = "qbemu listening on https://";
    if (line.rfind(prefix, 0) != 0) {
        failure_ = "the emulator did not start: '" + line + "'";
        return;
    }
    host_ = line.substr(prefix.size());
    controlChannel_ = createCurlChannel(true);
}

Emulator::~Emulator() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
    std::remove(caFile_.c_str());
}

std::string Emulator::control(const std::string& method, const std::string& path,
                              const std::string& json) {
    HttpRequest request{method, "https://" + host_ + "/_emu/" + path, {}, json};
    if (!json.empty()) request.headers.push_back({"Content-Type", "application/json"});
    HttpReply reply;
    std::string failure;
    if (!controlChannel_ || controlChannel_->exchange(request, reply, failure) != 0) {
        ADD_FAILURE() << "control " << path << " failed: " << failure;
        return {};
    }
    EXPECT_EQ(reply.status, 200) << path << ": " << reply.body;
    return reply.body;
}

Emulator* EmulatorSuite::emulator_ = nullptr;

void EmulatorSuite::startEmulator(const std::vector<std::string>& options) {
    // Loopback only: no proxy of the environment may stand between.
    for (const char* name : {"https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"}) {
        ::unsetenv(name);
    }
    emulator_ = new Emulator(options);
    if (emulator_->running()) ::setenv("CURL_CA_BUNDLE", emulator_->caFile().c_str(), 1);
}

void EmulatorSuite::TearDownTestSuite() {
    delete emulator_;
    emulator_ = nullptr;
}

std::unique_ptr<QbSession> EmulatorSuite::loggedInSession(bool useServerRequest) {
    auto session = std::make_unique<QbSession>(false, useServerRequest);
    session->server = emulator_->host();
    session->username = kUser;
    session->password = kPassword;
    session->userAgent = "Kelvra ODBC/3.8.1.44 (Linux)";
    session->authenticate();
    EXPECT_EQ(session->errcode(), "0") << session->errdetail();
    return session;
}

}  // namespace kelvra::test
