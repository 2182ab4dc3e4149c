// Registering a player, or signing in one registered already, on a connected database: the
// rules the settings window and the web gateway share. Names and passwords are CP932 bytes.
#pragma once

#include <cstdint>
#include <string>

class QuizDatabase;

// What is wrong with a name and password before the database is asked, in the order the
// checks run; the name is taken trimmed of blanks and control bytes at both ends.
enum class CredentialFault { None, QuoteInName, QuoteInPassword, EmptyName, PasswordLength };
CredentialFault CheckCredentials(const std::string& trimmedName, const std::string& password);
// What the user is told (CP932).
std::string CredentialMessage(CredentialFault fault);

// How a sign-in that passed the checks ended; PlayerNo is set for SignedIn and Registered.
enum class SignInOutcome { SignedIn, Registered, RegistrationFailed, WrongPassword };
struct SignInResult {
    SignInOutcome Outcome = SignInOutcome::RegistrationFailed;
    int32_t PlayerNo = 0;
};
// A registered name signs in when the password matches; a new name is registered with the next
// free number. When another program registered the same name with a smaller number at the same
// moment, that row stands and this one signs in to it. Creates the player table when missing.
SignInResult SignInOrRegister(QuizDatabase& db, const std::string& name, const std::string& password);
// What the user is told after it (CP932); empty for a plain sign-in.
std::string SignInMessage(SignInOutcome outcome);
