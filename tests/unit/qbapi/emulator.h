// The QuickBase emulator of this source tree (tools/qbemu), started on a free loopback port
// for the integration tests and stopped with them, and its test controls under /_emu/.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

#include "qbapi/http_channel.h"
#include "qbapi/qb_session.h"

namespace kelvra::test {

// The demo account of tools/qbemu/demo.json that the emulator tests use.
inline constexpr const char* kUser = "pat.doe@example.com";
inline constexpr const char* kPassword = "kelvra-demo";
inline constexpr const char* kApp = "bq8kx2md9";         // Kelvra Projects, the application
inline constexpr const char* kProjects = "bq8kx2mea";    // its Projects table
inline constexpr const char* kContacts = "bq8kx2mje";    // the one table of Kelvra Contacts
inline constexpr const char* kTasks = "bq8kx2mfb";       // the Tasks table of Kelvra Projects
inline constexpr const char* kBenchItems = "bqbench3t";  // with --bench-records N

class Emulator {
  public:
    // Starts tools/qbemu/qbemu.py with the demo data and the given further options;
    // failure() says why when it did not start.
    explicit Emulator(const std::vector<std::string>& options = {});
    ~Emulator();
    Emulator(const Emulator&) = delete;
    Emulator& operator=(const Emulator&) = delete;

    bool running() const { return pid_ > 0 && !host_.empty(); }
    const std::string& failure() const { return failure_; }
    // "127.0.0.1:PORT", the server of a session.
    const std::string& host() const { return host_; }
    // The CA certificate that signs the emulator's certificate.
    const std::string& caFile() const { return caFile_; }

    // A test control: method and path under /_emu/, a JSON body; returns the reply body.
    std::string control(const std::string& method, const std::string& path,
                        const std::string& json = "");

  private:
    pid_t pid_ = -1;
    std::string host_;
    std::string caFile_;
    std::string failure_;
    std::unique_ptr<HttpChannel> controlChannel_;
};

// A test suite that shares one emulator: started before the suite's first test, with
// CURL_CA_BUNDLE naming its CA so that sessions verify it, and stopped after the last test.
class EmulatorSuite : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { startEmulator({}); }
    static void TearDownTestSuite();
    // For suites that need the emulator started with further options.
    static void startEmulator(const std::vector<std::string>& options);
    void SetUp() override { ASSERT_TRUE(emulator_->running()) << emulator_->failure(); }

    // A session logged in to the emulator as the demo user.
    static std::unique_ptr<QbSession> loggedInSession(bool useServerRequest = false);

    static Emulator* emulator_;
};

}  // namespace kelvra::test
