#include "player/settings_window.h"

#include "app/dialogs.h"
#include "app/handler_guard.h"
#include "app/sjis_text.h"
#include "app/unitv.h"
#include "app/window_style.h"
#include "db/quiz_database.h"
#include "player/registration.h"
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
    const CredentialFault fault = CheckCredentials(name, password);
    if (fault != CredentialFault::None) {
        const bool nameBox = fault == CredentialFault::QuoteInName || fault == CredentialFault::EmptyName;
        return Refuse(nameBox ? Controls->Edit4 : Controls->Edit5, CredentialMessage(fault));
    }

    // The new place of the database stays, whatever happens from here on.
    AppSettings.ServerName = EditText(Controls->Edit1);
    AppSettings.DataFolder = EditText(Controls->Edit2);

    Db.CreateGameDatabase();
    Db.ConnectDatabase();
    const SignInResult result = SignInOrRegister(Db, name, password);
    Db.DisconnectDatabase();
    if (result.Outcome == SignInOutcome::WrongPassword) return Refuse(Controls->Edit5, SignInMessage(result.Outcome));
    if (const std::string message = SignInMessage(result.Outcome); !message.empty()) ShowMessage(this, message);
    const bool signedIn = result.Outcome != SignInOutcome::RegistrationFailed;
    if (signedIn) {
        AppSettings.PlayerNo = result.PlayerNo;
        AppSettings.PlayerName = name;
        AppSettings.PlayerPassword = password;
    }
    // Accepted tells the main window that a player now stands in AppSettings.
    done(signedIn ? Accepted : Rejected);
}

void TForm2::Button2Click() { close(); }
