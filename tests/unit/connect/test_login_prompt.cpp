// The login prompt on a terminal (a pseudo-terminal here) and its cleaning of the answers.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <string>
#include <thread>

#include "connect/login_prompt.h"

using namespace kelvra;

namespace {

struct Pty {
    int master = -1;
    int slave = -1;
    std::string screen;  // everything the prompt wrote

    Pty() { EXPECT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0); }
    ~Pty() {
        if (master >= 0) ::close(master);
        ::close(slave);
    }
    void type(const std::string& text) const {
        EXPECT_EQ(::write(master, text.data(), text.size()), ssize_t(text.size()));
    }
    // Reads the screen until `text` shows; false if it does not within a generous bound.
    bool waitFor(const std::string& text) {
        char buf[256];
        while (screen.find(text) == std::string::npos) {
            pollfd p{master, POLLIN, 0};
            if (::poll(&p, 1, 20000) <= 0) return false;
            const ssize_t n = ::read(master, buf, sizeof buf);
            if (n <= 0) return false;
            screen.append(buf, size_t(n));
        }
        return true;
    }
};

TEST(LoginPrompt, TerminalAnswersAndHiddenPassword) {
    Pty pty;
    LoginValues v{"pat", "old", "realm.quickbase.com"};
    PromptResult result = PromptResult::kUnavailable;
    std::thread prompt([&] { result = promptOnTerminal(pty.slave, v); });
    // Enter keeps the user name, the password is replaced, the server typed anew.
    EXPECT_TRUE(pty.waitFor("Username [pat]: "));
    pty.type("\n");
    EXPECT_TRUE(pty.waitFor("Password: "));
    pty.type("hunter2\n");
    EXPECT_TRUE(pty.waitFor("QuickBase Server [realm.quickbase.com]: "));
    pty.type("other.quickbase.com\n");
    prompt.join();
    EXPECT_EQ(result, PromptResult::kOk);
    EXPECT_EQ(v.user, "pat");
    EXPECT_EQ(v.password, "hunter2");
    EXPECT_EQ(v.server, "other.quickbase.com");
    pty.waitFor("other.quickbase.com");
    EXPECT_EQ(pty.screen.find("hunter2"), std::string::npos) << "password echoed: " << pty.screen;
    EXPECT_EQ(pty.screen.find("old"), std::string::npos) << "password shown: " << pty.screen;
}

TEST(LoginPrompt, EndOfInputCancelsAndKeepsValues) {
    Pty pty;
    LoginValues v{"pat", "pw", ""};
    ::close(pty.master);
    pty.master = -1;
    // With the terminal hung up, reading ends before an answer: the prompt is cancelled.
    EXPECT_EQ(promptOnTerminal(pty.slave, v), PromptResult::kCancelled);
    EXPECT_EQ(v.user, "pat");
    EXPECT_EQ(v.password, "pw");
}

LoginValues scripted;
PromptResult scriptedResult = PromptResult::kOk;
PromptResult scriptedPrompt(LoginValues& v) {
    if (scriptedResult == PromptResult::kOk) v = scripted;
    return scriptedResult;
}

TEST(LoginPrompt, AnswersAreCutTrimmedAndDefaulted) {
    const LoginPrompt previous = setLoginPrompt(scriptedPrompt);
    scripted = {"  pat  ", std::string(70, 'p'), "   "};
    scriptedResult = PromptResult::kOk;
    LoginValues v{"a", "b", "c"};
    EXPECT_EQ(promptForLogin(v), PromptResult::kOk);
    EXPECT_EQ(v.user, "pat");
    EXPECT_EQ(v.password, std::string(63, 'p'));
    EXPECT_EQ(v.server, "www.quickbase.com");

    scriptedResult = PromptResult::kCancelled;
    v = {"a", "b", "c"};
    EXPECT_EQ(promptForLogin(v), PromptResult::kCancelled);
    EXPECT_EQ(v.user, "a");
    setLoginPrompt(previous);
}

}  // namespace
