#include "player/settings_window.h"

#include "app/dialogs.h"
#include "app/handler_guard.h"
#include "app/sjis_text.h"
#include "app/unitv.h"
#include "app/window_style.h"
#include "db/quiz_database.h"
#include "db/value_text.h"
#include "ui_settings_window.h"

#include <QColor>
#include <QKeyEvent>
#include <QPalette>
#include <QShowEvent>
#include <cstdint>

TForm2* Form2 = nullptr;

TForm2::TForm2(QuizDatabase& db, QWidget* parent)
    : QDialog(parent), Controls(std::make_unique<Ui::TForm2>()), Db(db)
{
    Controls->setupUi(this);
    ApplyFormLook(this, Qt::white);

    // The database file name is fixed; the grey box only shows it.
    QPalette grey = Controls->Edit3->palette();
    grey.setColor(QPalette::Base, QColor(0xC0, 0xC0, 0xC0));
    Controls->Edit3->setPalette(grey);

    LimitSjisBytes(Controls->Edit1, 0);
    LimitSjisBytes(Controls->Edit2, 0);
    LimitSjisBytes(Controls->Edit3, 0);
    LimitSjisBytes(Controls->Edit4, 16);
    LimitSjisBytes(Controls->Edit5, 8);
    SetGothicFont(Controls->Edit4, 16);
    SetGothicFont(Controls->Edit5, 16);
    Controls->Edit5->setEchoMode(QLineEdit::Password);
    Controls->Edit5->setStyleSheet("lineedit-password-character: 42;");  // "*"
    DisableInputMethod(Controls->Edit5);

    MakeFixedSingleBorder(this);
    PlaceWindow(this, 192, 107);

    ConnectGuarded(Controls->Button1, &QPushButton::clicked, this, &TForm2::Button1Click);
    ConnectGuarded(Controls->Button2, &QPushButton::clicked, this, &TForm2::Button2Click);
}

TForm2::~TForm2() = default;

void TForm2::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous()) Guarded([this] { FormShow(); });
}

void TForm2::keyPressEvent(QKeyEvent* event)
{
    // Esc presses the cancel button, so that it does exactly what a click does.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        Controls->Button2->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TForm2::FormShow()
{
    SetEditText(Controls->Edit1, AppSettings.ServerName);
    SetEditText(Controls->Edit2, AppSettings.DataFolder);
    SetEditText(Controls->Edit3, "GAMES.FDB");
    SetEditText(Controls->Edit4, AppSettings.PlayerName);
    SetEditText(Controls->Edit5, AppSettings.PlayerPassword);
    Controls->Edit1->setFocus();
}

void TForm2::Refuse(QLineEdit* box, const std::string& message)
{
    ShowMessage(this, message);
    box->setFocus();
}

void TForm2::Button1Click()
{
    const std::string name = TrimBlanks(EditText(Controls->Edit4));
    const std::string password = EditText(Controls->Edit5);
    if (HasQuote(name)) return Refuse(Controls->Edit4, QuoteMessage());
    if (HasQuote(password)) return Refuse(Controls->Edit5, QuoteMessage());
    if (name.empty()) return Refuse(Controls->Edit4, Sjis("名前を入力して下さい"));
    if (password.size() != 8) return Refuse(Controls->Edit5, Sjis("パスワードは半角8文字入力を行って下さい"));

    // The new place of the database stays, whatever happens from here on.
    AppSettings.ServerName = EditText(Controls->Edit1);
    AppSettings.DataFolder = EditText(Controls->Edit2);

    Db.CreateGameDatabase();
    Db.ConnectDatabase();
    if (!Db.TableExists("PLAYER")) Db.CreatePlayerTable();

    const Outcome outcome = Db.ValueExists("PLAYER", "PNAME", "", name) ? SignIn(name, password) : Register(name, password);
    switch (outcome) {
    case Outcome::WrongPassword:
        Db.DisconnectDatabase();
        Refuse(Controls->Edit5, Sjis("パスワードが登録されているものと異なります"));
        return;
    case Outcome::Registered:
        ShowMessage(this, Sjis("名前が登録出来ました。"));
        break;
    case Outcome::RegistrationFailed:
        ShowMessage(this, Sjis("名前の登録が出来ませんでした。設定を確認して再度行ってみて下さい"));
        break;
    case Outcome::SignedIn:
        break;
    }
    Db.DisconnectDatabase();
    // Accepted tells the main window that a player now stands in AppSettings.
    done(outcome == Outcome::RegistrationFailed ? Rejected : Accepted);
}

TForm2::Outcome TForm2::SignIn(const std::string& name, const std::string& password)
{
    const std::string condition = "PNAME=" + SqlQuoted(name);
    std::string stored;
    Db.SelectFirstValue("PASWD", "PLAYER", condition, stored);
    if (password != stored) return Outcome::WrongPassword;

    std::string number;
    Db.SelectFirstValue("N", "PLAYER", condition, number);
    AppSettings.PlayerNo = TextToInt(number);
    AppSettings.PlayerName = name;
    AppSettings.PlayerPassword = password;
    return Outcome::SignedIn;
}

TForm2::Outcome TForm2::Register(const std::string& name, const std::string& password)
{
    std::string max;
    Db.SelectMax("PLAYER", "N", "", max);
    // Wide enough that the number after the largest N cannot overflow; the column then refuses it.
    const int64_t n = int64_t{TextToInt(max)} + 1;
    const std::string values = std::to_string(n) + "," + SqlQuoted(name) + "," + SqlQuoted(password) + ",0";
    if (!Db.InsertText("PLAYER", "N,PNAME,PASWD,POINTS", values)) return Outcome::RegistrationFailed;
    // Another program may have registered the same name at the same moment. The row with the
    // smaller number stands: this program removes its own and signs in to that one.
    std::string earlier;
    if (Db.SelectFirstValue("N", "PLAYER", "PNAME=" + SqlQuoted(name) + " AND N<" + std::to_string(n), earlier) == 1) {
        Db.DeleteRows("PLAYER", "N=" + std::to_string(n));
        return SignIn(name, password);
    }
    AppSettings.PlayerNo = static_cast<int32_t>(n);
    AppSettings.PlayerName = name;
    AppSettings.PlayerPassword = password;
    return Outcome::Registered;
}

void TForm2::Button2Click() { close(); }
