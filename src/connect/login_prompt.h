// The login prompt: asks for the QuickBase user name, password and server when connecting
// needs them. It asks on the controlling terminal when the process has one; without one,
// connecting goes on with the values it has. Tests replace the prompt.
#pragma once

#include <string>

namespace kelvra {

struct LoginValues {
    std::string user;
    std::string password;
    std::string server;
};

enum class PromptResult { kOk, kCancelled, kUnavailable };

using LoginPrompt = PromptResult (*)(LoginValues& values);

// Shows the current prompt prefilled with `values`. On OK the answers replace them, each cut
// to 63 characters and stripped of blanks at both ends; an empty server becomes the default
// QuickBase host.
PromptResult promptForLogin(LoginValues& values);

// Replaces the prompt (null restores the terminal prompt); returns the previous one.
LoginPrompt setLoginPrompt(LoginPrompt prompt);

// The terminal prompt on an open terminal descriptor: Enter keeps a shown value, the password
// is not echoed, end of input cancels.
PromptResult promptOnTerminal(int fd, LoginValues& values);

}  // namespace kelvra
