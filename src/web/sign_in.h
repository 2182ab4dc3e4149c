// Signing in from a browser: the name and password as the settings window takes them, and the
// limits that keep a device from guessing passwords.
#pragma once

#include <QString>
#include <chrono>
#include <deque>
#include <map>
#include <string>
#include <variant>

struct WebCredentials {
    std::string Name;      // CP932, trimmed of blanks at both ends
    std::string Password;  // CP932
};
// The name and password a browser sent, held to the settings window's rules (byte lengths in
// Shift-JIS, no quotes or control characters, a character Shift-JIS cannot hold refused, never
// stored as "?"), or the message (CP932) that refuses them.
std::variant<WebCredentials, std::string> CheckWebCredentials(const QString& name, const QString& password);

// Attempts from one address are limited to a few a minute, and a name that met a wrong password
// several times is locked for a while, whichever address the attempts come from.
class SignInLimits {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr int DefaultAttemptsPerAddress = 10;  // in a minute
    static constexpr int FailuresPerName = 5;             // in ten minutes

    // A school whose devices reach the server through one address needs a higher limit.
    explicit SignInLimits(int attemptsPerAddress = DefaultAttemptsPerAddress) : AttemptsPerAddress(attemptsPerAddress) {}

    // Whether an attempt for the name from the address may go ahead now; it counts against the
    // address either way.
    bool Admit(const std::string& name, const QString& address, Clock::time_point now);
    // The attempt met a wrong password.
    void Failed(const std::string& name, Clock::time_point now);

private:
    int AttemptsPerAddress;
    std::map<QString, std::deque<Clock::time_point>> Attempts;
    std::map<std::string, std::deque<Clock::time_point>> Failures;
};

// What a refused attempt is told (CP932).
std::string TooManyAttemptsMessage();
