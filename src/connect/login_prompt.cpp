#include "connect/login_prompt.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <string_view>

#include "qbapi/qb_session.h"
#include "resources/ascii.h"

namespace kelvra {
namespace {

constexpr size_t kMaxLoginValue = 63;
// A line longer than this is read no further: nothing a person types at a login is this long.
constexpr size_t kMaxLine = 1024;

PromptResult terminalPrompt(LoginValues& values) {
    const int fd = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return PromptResult::kUnavailable;
    const PromptResult result = promptOnTerminal(fd, values);
    ::close(fd);
    return result;
}

LoginPrompt currentPrompt = terminalPrompt;

void writeText(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t n = ::write(fd, text.data(), text.size());
        if (n <= 0) return;
        text.remove_prefix(static_cast<size_t>(n));
    }
}

// Reads one line without its line end; false at end of input before a line end.
bool readLine(int fd, std::string& line) {
    line.clear();
    char c;
    for (;;) {
        const ssize_t n = ::read(fd, &c, 1);
        if (n <= 0) return false;
        if (c == '\n' || c == '\r') return true;
        if (line.size() < kMaxLine) line += c;
    }
}

// Asks for one value; Enter keeps the current one.
bool ask(int fd, std::string_view label, bool showCurrent, std::string& value) {
    std::string prompt(label);
    if (showCurrent && !value.empty()) prompt += " [" + value + "]";
    prompt += ": ";
    writeText(fd, prompt);
    std::string line;
    if (!readLine(fd, line)) return false;
    if (!line.empty()) value = line;
    return true;
}

bool askHidden(int fd, std::string_view label, std::string& value) {
    termios saved{};
    const bool isTerminal = ::tcgetattr(fd, &saved) == 0;
    if (isTerminal) {
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        quiet.c_lflag |= ECHONL;
        ::tcsetattr(fd, TCSAFLUSH, &quiet);
    }
    const bool ok = ask(fd, label, false, value);
    if (isTerminal) ::tcsetattr(fd, TCSAFLUSH, &saved);
    return ok;
}

std::string cleaned(const std::string& value) {
    return std::string(trimBlanks(std::string_view(value).substr(0, kMaxLoginValue)));
}

}  // namespace

PromptResult promptOnTerminal(int fd, LoginValues& values) {
    LoginValues answers = values;
    writeText(fd, "QuickBase Login\n");
    if (!ask(fd, "Username", true, answers.user) || !askHidden(fd, "Password", answers.password) ||
        !ask(fd, "QuickBase Server", true, answers.server)) {
        writeText(fd, "\n");
        return PromptResult::kCancelled;
    }
    values = std::move(answers);
    return PromptResult::kOk;
}

PromptResult promptForLogin(LoginValues& values) {
    LoginValues answers = values;
    const PromptResult result = currentPrompt(answers);
    if (result != PromptResult::kOk) return result;
    values.user = cleaned(answers.user);
    values.password = cleaned(answers.password);
    values.server = cleaned(answers.server);
    if (values.server.empty()) values.server = kDefaultServer;
    return PromptResult::kOk;
}

LoginPrompt setLoginPrompt(LoginPrompt prompt) {
    const LoginPrompt previous = currentPrompt;
    currentPrompt = prompt != nullptr ? prompt : terminalPrompt;
    return previous;
}

}  // namespace kelvra
