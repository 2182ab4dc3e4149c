// The settings and registration window, driven as a user drives it: its controls, the checks
// of the OK button, registering and signing in on a real GAMES.FDB (embedded engine and
// loopback server), a second program racing for the same player number, a wrong server, and
// the main window's settings button around the modal window.
#include "app/main_window.h"
#include "app/program.h"
#include "app/sjis_text.h"
#include "app/unitv.h"
#include "player/settings_window.h"
#include "qa/entry_window.h"

#include "support/firebird_fixture.h"
#include "support/recording_dialogs.h"
#include "support/rival_registration.h"
#include "support/temp_folder.h"
#include "support/typing.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QTabBar>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

const std::string Registered = Sjis("名前が登録出来ました。");
const std::string RegistrationFailed = Sjis("名前の登録が出来ませんでした。設定を確認して再度行ってみて下さい");
const std::string QuoteRefused = Sjis("引用符「'」「\"」を入力しないで下さい");
const std::string NameMissing = Sjis("名前を入力して下さい");
const std::string PasswordLength = Sjis("パスワードは半角8文字入力を行って下さい");
const std::string PasswordDiffers = Sjis("パスワードが登録されているものと異なります");

// The next widget that the Tab key would reach.
QWidget* NextTabStop(QWidget* widget)
{
    QWidget* next = widget->nextInFocusChain();
    while (next != widget && !(next->focusPolicy() & Qt::TabFocus)) next = next->nextInFocusChain();
    return next;
}

// Clicks into a box, selects what it holds and types the new text over it.
void Retype(QLineEdit* box, const QString& text)
{
    QTest::mouseClick(box, Qt::LeftButton);
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(box, Qt::Key_Backspace);
    TypeText(box, text);
}

Ui::TForm2& Controls() { return Form2->Controls; }

void PressOk() { QTest::mouseClick(Controls().Button1, Qt::LeftButton); }

// The controls alone: no database.
class SettingsWindowLook : public ::testing::Test {
protected:
    void SetUp() override
    {
        CreateWindows();
        Form1->SetExecutablePath(Exe.File("quizgame"));
    }
    void TearDown() override { DestroyWindows(); }

    SettingsGuard Settings;
    TempFolder Exe;
    RecordingDialogs Dialogs;
};

TEST_F(SettingsWindowLook, WindowAndControlsAreAsDesigned)
{
    const auto& c = Controls();
    EXPECT_EQ(Form2->size(), QSize(268, 252));
    EXPECT_EQ(Form2->minimumSize(), Form2->maximumSize()) << "the border is fixed";
    EXPECT_FALSE(Form2->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(Form2->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_EQ(Form2->palette().color(QPalette::Window), QColor(Qt::white));
    EXPECT_EQ(Form2->font().family(), QString::fromUtf8("ＭＳ ゴシック"));
    EXPECT_EQ(Form2->font().pixelSize(), 13);
    EXPECT_EQ(Form2->windowTitle(), QString::fromUtf8("データベース設定"));

    const std::vector<std::pair<QLabel*, const char*>> labels = {
        {c.Label1, "サーバー名（IPアドレス＋':'）"}, {c.Label2, "サーバーのデータのフォルダ"},
        {c.Label3, "データベース名"},               {c.Label4, "名前"},
        {c.Label5, "パスワード"},                   {c.Label6, "(半角8文字)"}};
    for (const auto& [label, text] : labels) EXPECT_EQ(label->text(), QString::fromUtf8(text));
    EXPECT_EQ(c.Button1->text(), QString::fromUtf8("OK(&Y)"));
    EXPECT_EQ(c.Button2->text(), QString::fromUtf8("キャンセル(&N)"));
    EXPECT_TRUE(c.Button1->isDefault());
    EXPECT_FALSE(c.Button2->isDefault());
    EXPECT_EQ(c.Edit2->text(), QString::fromUtf8("C:\\data\\"));
    EXPECT_EQ(c.Edit3->text(), QString::fromUtf8("GAMES.FDB"));

    // The panel holds the three connection fields; name and password lie below it, the
    // buttons at the bottom, and everything inside the client area.
    for (QWidget* w : std::vector<QWidget*>{c.Label1, c.Label2, c.Label3, c.Edit1, c.Edit2, c.Edit3})
        EXPECT_EQ(w->parentWidget(), c.Panel1) << w->objectName().toStdString();
    const QRect client(0, 0, 268, 252);
    for (QWidget* w : std::vector<QWidget*>{c.Panel1, c.Label4, c.Edit4, c.Label5, c.Edit5, c.Label6, c.Button1, c.Button2}) {
        EXPECT_EQ(w->parentWidget(), Form2) << w->objectName().toStdString();
        EXPECT_TRUE(client.contains(w->geometry())) << w->objectName().toStdString();
    }
    EXPECT_LT(c.Panel1->geometry().bottom(), c.Edit4->y());
    EXPECT_LT(c.Edit4->geometry().bottom(), c.Edit5->y());
    EXPECT_LT(c.Edit5->geometry().bottom(), c.Button1->y());
    EXPECT_LT(c.Edit5->geometry().right(), c.Label6->x());
    EXPECT_EQ(c.Button1->y(), c.Button2->y());

    EXPECT_EQ(c.Edit3->palette().color(QPalette::Base), QColor(0xC0, 0xC0, 0xC0));
    EXPECT_EQ(c.Edit4->font().pixelSize(), 16);
    EXPECT_EQ(c.Edit5->font().pixelSize(), 16);
    EXPECT_EQ(c.Edit5->echoMode(), QLineEdit::Password);
    EXPECT_FALSE(c.Edit5->testAttribute(Qt::WA_InputMethodEnabled));
    SetEditText(c.Edit5, "ab");
    EXPECT_EQ(c.Edit5->displayText(), QString("**"));

    const std::vector<QWidget*> chain = {c.Edit1, c.Edit2, c.Edit3, c.Edit4, c.Edit5, c.Button1, c.Button2};
    for (size_t i = 0; i + 1 < chain.size(); ++i)
        EXPECT_EQ(NextTabStop(chain[i]), chain[i + 1]) << chain[i]->objectName().toStdString();
}

TEST_F(SettingsWindowLook, ShowFillsTheBoxesAndEdit3AlwaysShowsTheFileName)
{
    AppSettings = {"dbhost:", "/srv/quiz/", 4, Sjis("花子"), "hana1234"};
    Form2->show();
    const auto& c = Controls();
    EXPECT_EQ(EditText(c.Edit1), "dbhost:");
    EXPECT_EQ(EditText(c.Edit2), "/srv/quiz/");
    EXPECT_EQ(EditText(c.Edit3), "GAMES.FDB");
    EXPECT_EQ(EditText(c.Edit4), Sjis("花子"));
    EXPECT_EQ(EditText(c.Edit5), "hana1234");
    EXPECT_EQ(Form2->focusWidget(), c.Edit1);

    Retype(c.Edit3, "OTHER.FDB");
    Retype(c.Edit1, "changed:");
    QTest::mouseClick(c.Button2, Qt::LeftButton);
    EXPECT_FALSE(Form2->isVisible());
    EXPECT_EQ(AppSettings.ServerName, "dbhost:") << "cancel stores nothing";

    Form2->show();
    EXPECT_EQ(EditText(c.Edit3), "GAMES.FDB");
    EXPECT_EQ(EditText(c.Edit1), "dbhost:");
    EXPECT_TRUE(Dialogs.Messages.empty());
}

TEST_F(SettingsWindowLook, KeyboardInputIsLimitedToCp932Bytes)
{
    AppSettings = {};
    Form2->show();
    const auto& c = Controls();

    // Nine full-width characters are 18 bytes; the name holds 16.
    TypeText(c.Edit4, QString::fromUtf8("あいうえおかきくけ"));
    EXPECT_EQ(EditText(c.Edit4), Sjis("あいうえおかきく"));
    Retype(c.Edit4, QString::fromUtf8("a한b"));
    EXPECT_EQ(EditText(c.Edit4), "ab") << "Hangul has no CP932 form";

    QTest::keyClicks(c.Edit5, "123456789");
    EXPECT_EQ(EditText(c.Edit5), "12345678");
    Retype(c.Edit5, QString::fromUtf8("パスワード"));
    EXPECT_EQ(EditText(c.Edit5), Sjis("パスワー")) << "four double-byte characters fill the 8 bytes";

    // The connection fields have no length limit but still refuse what CP932 cannot hold.
    const QString longFolder = QString("/var/lib/firebird/3.0/data/").repeated(4);
    Retype(c.Edit2, longFolder + QString::fromUtf8("한"));
    EXPECT_EQ(c.Edit2->text(), longFolder);
}

TEST_F(SettingsWindowLook, ChecksRunInOrderAndTouchNothing)
{
    struct Case {
        QString Name;
        QString Password;
        std::string Message;
        QLineEdit* Focus;
    };
    const auto& c = Controls();
    const std::vector<Case> cases = {
        {"a'b", "", QuoteRefused, c.Edit4},             // quote in the name before the empty password
        {"ab", "pa\"ss", QuoteRefused, c.Edit5},        // quote in the password
        {"a\"", "x'", QuoteRefused, c.Edit4},           // the name is tested first
        {"   ", "12'45678", QuoteRefused, c.Edit5},     // quote in the password before the empty name
        {"   ", "", NameMissing, c.Edit4},              // blanks only make an empty name, before the length
        {"ab", "1234567", PasswordLength, c.Edit5},     // 7 bytes
        {"ab", "", PasswordLength, c.Edit5},
    };
    AppSettings = {"old:", "/old/", 3, "Old", "oldpass1"};
    const TAppSettings before = AppSettings;
    Form2->show();
    Retype(c.Edit1, "127.0.0.1/1:");
    Retype(c.Edit2, "/elsewhere/");
    for (const Case& test : cases) {
        Dialogs.Messages.clear();
        Retype(c.Edit4, test.Name);
        Retype(c.Edit5, test.Password);
        PressOk();
        EXPECT_EQ(Dialogs.Messages, std::vector<std::string>{test.Message}) << test.Name.toStdString() << "|"
                                                                            << test.Password.toStdString();
        EXPECT_EQ(Form2->focusWidget(), test.Focus) << test.Name.toStdString() << "|" << test.Password.toStdString();
        EXPECT_TRUE(Form2->isVisible());
    }
    EXPECT_EQ(AppSettings.ServerName, before.ServerName);
    EXPECT_EQ(AppSettings.DataFolder, before.DataFolder);
    EXPECT_EQ(AppSettings.PlayerNo, before.PlayerNo);
    EXPECT_EQ(AppSettings.PlayerName, before.PlayerName);
    EXPECT_EQ(AppSettings.PlayerPassword, before.PlayerPassword);
}

TEST_F(SettingsWindowLook, NineBytePasswordFromTheSettingsFileIsRefused)
{
    AppSettings = {"old:", "/old/", 0, "Nine", "123456789"};
    Form2->show();
    EXPECT_EQ(EditText(Controls().Edit5), "123456789") << "filled without the keyboard's limit";
    PressOk();
    EXPECT_EQ(Dialogs.Messages, std::vector<std::string>{PasswordLength});
    EXPECT_EQ(Form2->focusWidget(), Controls().Edit5);
    EXPECT_EQ(AppSettings.ServerName, "old:");
}

TEST_F(SettingsWindowLook, EscPressesCancel)
{
    AppSettings = {"old:", "/old/", 0, "", ""};
    Form2->show();
    Retype(Controls().Edit1, "new:");
    QTest::keyClick(Controls().Edit1, Qt::Key_Escape);
    EXPECT_FALSE(Form2->isVisible());
    EXPECT_EQ(AppSettings.ServerName, "old:");
    EXPECT_TRUE(Dialogs.Messages.empty());
}

// The window on a real GAMES.FDB that the fixture has created (without tables); the fixture's
// own connection Db reads the rows back.
class SettingsWindowDatabase : public GameDatabaseTest {
protected:
    void SetUp() override
    {
        GameDatabaseTest::SetUp();
        if (HasFatalFailure()) return;
        CreateWindows();
        Form1->SetExecutablePath(Exe.File("quizgame"));
    }
    void TearDown() override
    {
        DestroyWindows();
        GameDatabaseTest::TearDown();
    }

    // Shows the window (filled from AppSettings) and presses OK with this name and password.
    void Submit(const QString& name, const QString& password)
    {
        Form2->show();
        Retype(Controls().Edit4, name);
        Retype(Controls().Edit5, password);
        PressOk();
    }

    std::vector<TextList> Players() { return ReadRows(Db, "N,PNAME,PASWD,POINTS", "PLAYER", "", "N", 4); }

    void ExpectPlayerFields(int32_t number, const std::string& name, const std::string& password)
    {
        EXPECT_EQ(AppSettings.PlayerNo, number);
        EXPECT_EQ(AppSettings.PlayerName, name);
        EXPECT_EQ(AppSettings.PlayerPassword, password);
    }

    TempFolder Exe;
    RecordingDialogs Dialogs;
};

// The same on both engines.
class Registration : public SettingsWindowDatabase, public ::testing::WithParamInterface<bool> {
protected:
    bool UsesServer() const override { return GetParam(); }
};

TEST_P(Registration, FirstPlayerGetsOneAndEachLaterOneTheMaximumPlusOne)
{
    ASSERT_FALSE(Db.TableExists("PLAYER"));
    Form2->show();
    Retype(Controls().Edit3, "OTHER.FDB");  // never read
    Submit("Alice", "pass1234");
    EXPECT_EQ(Dialogs.Messages, std::vector<std::string>{Registered});
    EXPECT_FALSE(Form2->isVisible());
    EXPECT_FALSE(Form1->Database().Connected()) << "the window closes its connection";
    ExpectPlayerFields(1, "Alice", "pass1234");
    EXPECT_EQ(Players(), (std::vector<TextList>{{"1", "Alice", "pass1234", "0"}}));

    // Numbers need not be dense: the next one follows the largest.
    AddPlayer("7", "'Gap'", "'gap12345'", "2.5");
    Submit("Bob", "bobpass1");
    EXPECT_EQ(Dialogs.Messages, (std::vector<std::string>{Registered, Registered}));
    ExpectPlayerFields(8, "Bob", "bobpass1");
    EXPECT_EQ(Players(), (std::vector<TextList>{{"1", "Alice", "pass1234", "0"},
                                                {"7", "Gap", "gap12345", "2.5"},
                                                {"8", "Bob", "bobpass1", "0"}}));
}

// Another program registers "Twin" in the very moment this one does, with a smaller number:
// a trigger inserts that row in the same commit as this program's own.
TEST_P(Registration, OfTwoRowsWithOneNameTheSmallerNumberStands)
{
    ASSERT_TRUE(Db.CreatePlayerTable());
    AddPlayer("1", "'Alpha'", "'alpha123'", "0");
    AddPlayer("3", "'Gamma'", "'gamma123'", "0");
    ASSERT_TRUE(Db.ExecSqlLines({"CREATE TRIGGER TWIN FOR PLAYER BEFORE INSERT AS", "BEGIN",
                                 "  IF (NEW.PNAME = 'Twin' AND NEW.N = 4) THEN",
                                 "    INSERT INTO PLAYER (N, PNAME, PASWD, POINTS) VALUES (2, 'Twin', 'twin1234', 0);",
                                 "END"}));
    Form2->show();
    Submit("Twin", "twin1234");
    EXPECT_TRUE(Dialogs.Messages.empty()) << "a sign-in says nothing";
    EXPECT_FALSE(Form2->isVisible());
    ExpectPlayerFields(2, "Twin", "twin1234");
    EXPECT_EQ(Players(), (std::vector<TextList>{{"1", "Alpha", "alpha123", "0"},
                                                {"2", "Twin", "twin1234", "0"},
                                                {"3", "Gamma", "gamma123", "0"}}));

    // The same with another password: the own row goes, and the password is refused.
    ASSERT_TRUE(Db.DeleteRows("PLAYER", "N=2"));
    AppSettings.PlayerNo = 0;
    Form2->show();
    Submit("Twin", "other123");
    EXPECT_EQ(Dialogs.Messages, std::vector<std::string>{Sjis("パスワードが登録されているものと異なります")});
    EXPECT_TRUE(Form2->isVisible());
    EXPECT_EQ(AppSettings.PlayerNo, 0);
    EXPECT_EQ(Players().size(), 3u);
}

TEST_P(Registration, TheLaterOfTwoRacingInsertsFailsOnTheUniqueNumber)
{
    ASSERT_TRUE(Db.CreatePlayerTable());
    AddPlayer("1", "'Alpha'", "'alpha123'", "0");
    AppSettings.PlayerNo = 0;
    AppSettings.PlayerName.clear();
    AppSettings.PlayerPassword.clear();

    // The rival's row is not committed yet, so this program still reads 1 as the maximum.
    RivalRegistration rival("2,'Rival','rival123',0");
    Submit("Beta", "beta1234");
    rival.Join();
    ASSERT_EQ(rival.Error(), "");
    EXPECT_TRUE(rival.SawWaitingInsert()) << "the insert did not wait on the rival's row";

    EXPECT_EQ(Dialogs.Messages, std::vector<std::string>{RegistrationFailed});
    EXPECT_FALSE(Form2->isVisible());
    ExpectPlayerFields(0, "", "");
    EXPECT_EQ(Players(), (std::vector<TextList>{{"1", "Alpha", "alpha123", "0"}, {"2", "Rival", "rival123", "0"}}));

    // Trying again takes the next number.
    Submit("Beta", "beta1234");
    ExpectPlayerFields(3, "Beta", "beta1234");
}

INSTANTIATE_TEST_SUITE_P(Engines, Registration, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Server" : "Embedded"; });

TEST_F(SettingsWindowDatabase, ExistingNameWithItsPasswordSignsInWithoutAMessage)
{
    ASSERT_TRUE(Db.CreatePlayerTable());
    AddPlayer("3", "'Carol'", "'abcdEFGH'", "1.5");
    AddPlayer("5", "'Dave'", "'dave5678'", "0");
    AppSettings.PlayerNo = 0;

    // The blanks around the name go before the lookup, and the row's own number is taken.
    Submit("  Carol ", "abcdEFGH");
    EXPECT_TRUE(Dialogs.Messages.empty());
    EXPECT_FALSE(Form2->isVisible());
    EXPECT_FALSE(Form1->Database().Connected());
    ExpectPlayerFields(3, "Carol", "abcdEFGH");
    EXPECT_EQ(Players().size(), 2u) << "no row is added";
}

TEST_F(SettingsWindowDatabase, WrongPasswordKeepsTheWindowOpenAndCancelKeepsTheNewPlace)
{
    ASSERT_TRUE(Db.CreatePlayerTable());
    AddPlayer("3", "'Carol'", "'abcdEFGH'", "1.5");
    const std::string server = AppSettings.ServerName;
    const std::string folder = AppSettings.DataFolder;
    AppSettings = {"old:", "/old/", 9, "Old", "oldpass1"};

    Form2->show();
    Retype(Controls().Edit1, ToQt(server));
    Retype(Controls().Edit2, ToQt(folder));
    Submit("Carol", "abcdefgh");  // letter case counts
    EXPECT_EQ(Dialogs.Messages, std::vector<std::string>{PasswordDiffers});
    EXPECT_TRUE(Form2->isVisible());
    EXPECT_EQ(Form2->focusWidget(), Controls().Edit5);
    EXPECT_FALSE(Form1->Database().Connected());
    EXPECT_EQ(AppSettings.ServerName, server);
    EXPECT_EQ(AppSettings.DataFolder, folder);
    ExpectPlayerFields(9, "Old", "oldpass1");
    EXPECT_EQ(Players(), (std::vector<TextList>{{"3", "Carol", "abcdEFGH", "1.5"}}));

    QTest::mouseClick(Controls().Button2, Qt::LeftButton);
    EXPECT_FALSE(Form2->isVisible());
    EXPECT_EQ(AppSettings.ServerName, server);
    EXPECT_EQ(AppSettings.DataFolder, folder);
    ExpectPlayerFields(9, "Old", "oldpass1");
}

TEST_F(SettingsWindowDatabase, BlanksAroundTheNameGoButFullWidthBlanksAndPasswordBlanksStay)
{
    // Spaces and control characters from the settings file, around the name.
    AppSettings.PlayerName = "\t Frank \x1f";
    AppSettings.PlayerPassword = " a b c d";
    Form2->show();
    PressOk();
    ExpectPlayerFields(1, "Frank", " a b c d");

    Submit(QString::fromUtf8("　銀 "), QString::fromUtf8("パスワー"));
    ExpectPlayerFields(2, Sjis("　銀"), Sjis("パスワー"));
    EXPECT_EQ(Dialogs.Messages, (std::vector<std::string>{Registered, Registered}));
    EXPECT_EQ(Players(), (std::vector<TextList>{{"1", "Frank", " a b c d", "0"},
                                                {"2", Sjis("　銀"), Sjis("パスワー"), "0"}}));

    // The trimmed name is what later sign-ins find; without its full-width blank it is
    // another name.
    Submit(QString::fromUtf8(" 　銀"), QString::fromUtf8("パスワー"));
    EXPECT_EQ(Dialogs.Messages.size(), 2u) << "signed in without a message";
    ExpectPlayerFields(2, Sjis("　銀"), Sjis("パスワー"));
    Submit(QString::fromUtf8("銀"), QString::fromUtf8("パスワー"));
    EXPECT_EQ(Dialogs.Messages, (std::vector<std::string>{Registered, Registered, Registered}));
    ExpectPlayerFields(3, Sjis("銀"), Sjis("パスワー"));
    Submit("Frank  ", " a b c d");
    EXPECT_EQ(Dialogs.Messages.size(), 3u) << "signed in without a message";
    ExpectPlayerFields(1, "Frank", " a b c d");
}

TEST_F(SettingsWindowDatabase, QuotesNeverReachTheDatabase)
{
    const std::string before = AppSettings.DataFolder;
    Form2->show();
    Retype(Controls().Edit2, "/changed/");
    Submit("O'Brien", "pass1234");
    Submit("Brien", "pass\"234");
    EXPECT_EQ(Dialogs.Messages, (std::vector<std::string>{QuoteRefused, QuoteRefused}));
    EXPECT_TRUE(Form2->isVisible());
    EXPECT_EQ(AppSettings.DataFolder, before);
    EXPECT_FALSE(Form1->Database().Connected());
    EXPECT_FALSE(Db.TableExists("PLAYER")) << "the window did not even open the database";
}

TEST_F(SettingsWindowDatabase, WrongServerEndsInTheFailureMessageQuickly)
{
    ASSERT_TRUE(Db.CreatePlayerTable());
    AppSettings.PlayerNo = 0;
    AppSettings.PlayerName.clear();
    AppSettings.PlayerPassword.clear();
    const std::string folder = AppSettings.DataFolder;

    Form2->show();
    Retype(Controls().Edit1, "127.0.0.1/1:");  // nothing listens on port 1
    QElapsedTimer clock;
    clock.start();
    Submit("Alice", "pass1234");
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_EQ(Dialogs.Messages, std::vector<std::string>{RegistrationFailed});
    EXPECT_FALSE(Form2->isVisible());
    EXPECT_FALSE(Form1->Database().Connected());
    EXPECT_EQ(AppSettings.ServerName, "127.0.0.1/1:");
    EXPECT_EQ(AppSettings.DataFolder, folder);
    ExpectPlayerFields(0, "", "");
    EXPECT_TRUE(Players().empty());
}

TEST_F(SettingsWindowDatabase, NumberAfterTheLargestIntegerIsRefusedNotWrapped)
{
    ASSERT_TRUE(Db.CreatePlayerTable());
    AddPlayer("2147483647", "'Last'", "'last1234'", "0");
    AppSettings.PlayerNo = 0;
    Submit("Next", "next1234");
    EXPECT_EQ(Dialogs.Messages, std::vector<std::string>{RegistrationFailed});
    EXPECT_EQ(AppSettings.PlayerNo, 0);
    EXPECT_EQ(Players().size(), 1u);
}

TEST_F(SettingsWindowDatabase, EnterInThePasswordBoxPressesOk)
{
    Form2->show();
    Retype(Controls().Edit4, "Keys");
    Retype(Controls().Edit5, "keys1234");
    QTest::keyClick(Controls().Edit5, Qt::Key_Return);
    EXPECT_EQ(Dialogs.Messages, std::vector<std::string>{Registered});
    EXPECT_FALSE(Form2->isVisible());
    ExpectPlayerFields(1, "Keys", "keys1234");
}

TEST_F(SettingsWindowDatabase, MainWindowRunsTheWindowModallyBetweenDisconnectAndReconnect)
{
    // The main window starts on the fixture's database; the user moves it to a new folder.
    Exe.Write("games.dat", AppSettings.ServerName + "\r\n" + AppSettings.DataFolder + "\r\n0\r\n\r\n\r\n");
    Form1->show();
    ASSERT_TRUE(Form1->Database().Connected());
    QTabBar* tabs = Form1->Controls.PageControl1->tabBar();
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
    QTest::mouseClick(Form1->Controls.Button2, Qt::LeftButton);  // a Q&A window is open
    ASSERT_TRUE(Form3->isVisible());
    const auto moved = NewFolder();
    ASSERT_FALSE(moved->HasDatabaseFile());

    bool ranInside = false;
    QTimer::singleShot(0, [&] {
        ranInside = true;
        EXPECT_EQ(QApplication::activeModalWidget(), Form2);
        EXPECT_FALSE(Form3->isVisible());
        EXPECT_FALSE(Form1->Database().Connected());
        Retype(Controls().Edit2, ToQt(moved->DataFolder()));
        Retype(Controls().Edit4, "Mover");
        Retype(Controls().Edit5, "move1234");
        PressOk();
        if (Form2->isVisible()) Form2->reject();  // never leave the test stuck in the modal loop
    });
    QTest::mouseClick(Form1->Controls.Button1, Qt::LeftButton);

    ASSERT_TRUE(ranInside);
    EXPECT_FALSE(Form2->isVisible());
    EXPECT_EQ(Dialogs.Messages, std::vector<std::string>{Registered});
    EXPECT_TRUE(moved->HasDatabaseFile()) << "the window created the database in the new folder";
    EXPECT_EQ(AppSettings.DataFolder, moved->DataFolder());
    ExpectPlayerFields(1, "Mover", "move1234");
    QuizDatabase& db = Form1->Database();
    ASSERT_TRUE(db.Connected()) << "reconnected afterwards";
    TextList row(2);
    EXPECT_EQ(db.SelectFirstRow("N,PNAME", "PLAYER", "", row), 2);
    EXPECT_EQ(row, (TextList{"1", "Mover"}));
    EXPECT_FALSE(Db.TableExists("PLAYER")) << "the old database is untouched";

    // Cancel: still disconnected and connected again, with the settings as they stand.
    bool cancelled = false;
    QTimer::singleShot(0, [&] {
        cancelled = !Form1->Database().Connected();
        QTest::mouseClick(Controls().Button2, Qt::LeftButton);
        if (Form2->isVisible()) Form2->reject();
    });
    QTest::mouseClick(Form1->Controls.Button1, Qt::LeftButton);
    EXPECT_TRUE(cancelled);
    EXPECT_TRUE(Form1->Database().Connected());
    EXPECT_EQ(Form1->Database().CountRows("PLAYER", ""), 1);
    Form1->close();
}

}  // namespace
