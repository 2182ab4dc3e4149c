#include "player/registration.h"

#include "app/dialogs.h"
#include "app/sjis_text.h"
#include "app/unitv.h"
#include "db/quiz_database.h"
#include "db/value_text.h"

namespace {

SignInResult SignIn(QuizDatabase& db, const std::string& name, const std::string& password)
{
    const std::string condition = "PNAME=" + SqlQuoted(name);
    std::string stored;
    db.SelectFirstValue("PASWD", "PLAYER", condition, stored);
    if (password != stored) return {SignInOutcome::WrongPassword};
    std::string number;
    db.SelectFirstValue("N", "PLAYER", condition, number);
    return {SignInOutcome::SignedIn, TextToInt(number)};
}

SignInResult Register(QuizDatabase& db, const std::string& name, const std::string& password)
{
    std::string max;
    db.SelectMax("PLAYER", "N", "", max);
    // Wide enough that the number after the largest N cannot overflow; the column then refuses it.
    const int64_t n = int64_t{TextToInt(max)} + 1;
    const std::string values = std::to_string(n) + "," + SqlQuoted(name) + "," + SqlQuoted(password) + ",0";
    if (!db.InsertText("PLAYER", "N,PNAME,PASWD,POINTS", values)) return {SignInOutcome::RegistrationFailed};
    // Another program may have registered the same name at the same moment. The row with the
    // smaller number stands: this program removes its own and signs in to that one.
    std::string earlier;
    if (db.SelectFirstValue("N", "PLAYER", "PNAME=" + SqlQuoted(name) + " AND N<" + std::to_string(n), earlier) == 1) {
        db.DeleteRows("PLAYER", "N=" + std::to_string(n));
        return SignIn(db, name, password);
    }
    return {SignInOutcome::Registered, static_cast<int32_t>(n)};
}

}  // namespace

CredentialFault CheckCredentials(const std::string& trimmedName, const std::string& password)
{
    if (HasQuote(trimmedName)) return CredentialFault::QuoteInName;
    if (HasQuote(password)) return CredentialFault::QuoteInPassword;
    if (trimmedName.empty()) return CredentialFault::EmptyName;
    if (password.size() != 8) return CredentialFault::PasswordLength;
    return CredentialFault::None;
}

std::string CredentialMessage(CredentialFault fault)
{
    switch (fault) {
    case CredentialFault::QuoteInName:
    case CredentialFault::QuoteInPassword: return QuoteMessage();
    case CredentialFault::EmptyName: return Sjis("名前を入力して下さい");
    case CredentialFault::PasswordLength: return Sjis("パスワードは半角8文字入力を行って下さい");
    case CredentialFault::None: break;
    }
    return {};
}

SignInResult SignInOrRegister(QuizDatabase& db, const std::string& name, const std::string& password)
{
    if (!db.TableExists("PLAYER")) db.CreatePlayerTable();
    return db.ValueExists("PLAYER", "PNAME", "", name) ? SignIn(db, name, password) : Register(db, name, password);
}

std::string SignInMessage(SignInOutcome outcome)
{
    switch (outcome) {
    case SignInOutcome::WrongPassword: return Sjis("パスワードが登録されているものと異なります");
    case SignInOutcome::Registered: return Sjis("名前が登録出来ました。");
    case SignInOutcome::RegistrationFailed: return Sjis("名前の登録が出来ませんでした。設定を確認して再度行ってみて下さい");
    case SignInOutcome::SignedIn: break;
    }
    return {};
}
