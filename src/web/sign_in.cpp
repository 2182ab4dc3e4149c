#include "web/sign_in.h"

#include "app/sjis_text.h"
#include "app/unitv.h"
#include "player/registration.h"

namespace {

// The settings window's boxes: the name holds 16 bytes, the password 8.
constexpr int NameBytes = 16;
constexpr int PasswordBytes = 8;

// Drops the times before since; true when fewer than limit are left.
bool Under(std::deque<SignInLimits::Clock::time_point>& times, SignInLimits::Clock::time_point since, int limit)
{
    while (!times.empty() && times.front() < since) times.pop_front();
    return static_cast<int>(times.size()) < limit;
}

// Forgets the keys whose times have all passed, so that guessed names and addresses cannot
// fill the memory.
template <class Key>
void Prune(std::map<Key, std::deque<SignInLimits::Clock::time_point>>& map, SignInLimits::Clock::time_point since)
{
    if (map.size() < 10000) return;
    for (auto it = map.begin(); it != map.end();) {
        Under(it->second, since, 1);
        it = it->second.empty() ? map.erase(it) : std::next(it);
    }
}

}  // namespace

std::variant<WebCredentials, std::string> CheckWebCredentials(const QString& name, const QString& password)
{
    for (const auto& [text, bytes] : {std::pair{name, NameBytes}, std::pair{password, PasswordBytes}}) {
        const SjisRefusal refusal = RefusalOf(text, bytes);
        if (refusal != SjisRefusal::None) return RefusalMessage(refusal, bytes);
    }
    WebCredentials credentials{TrimBlanks(*ToSjisExact(name)), *ToSjisExact(password)};
    const CredentialFault fault = CheckCredentials(credentials.Name, credentials.Password);
    if (fault != CredentialFault::None) return CredentialMessage(fault);
    return credentials;
}

bool SignInLimits::Admit(const std::string& name, const QString& address, Clock::time_point now)
{
    Prune(Attempts, now - std::chrono::minutes(1));
    Prune(Failures, now - std::chrono::minutes(10));
    auto& attempts = Attempts[address];
    const bool addressAllowed = Under(attempts, now - std::chrono::minutes(1), AttemptsPerAddress);
    attempts.push_back(now);
    auto failures = Failures.find(name);
    const bool nameAllowed =
        failures == Failures.end() || Under(failures->second, now - std::chrono::minutes(10), FailuresPerName);
    return addressAllowed && nameAllowed;
}

void SignInLimits::Failed(const std::string& name, Clock::time_point now) { Failures[name].push_back(now); }

std::string TooManyAttemptsMessage() { return Sjis("試行が多すぎます。しばらく待ってから再度行って下さい"); }
