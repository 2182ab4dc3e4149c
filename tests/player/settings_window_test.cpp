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

#include "support/controls.h"
#include "support/firebird_fixture.h"
#include "support/recording_dialogs.h"
#include "support/rival_registration.h"
#include "support/temp_folder.h"
#include "support/typing.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFrame>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

namespace {

const std::string Registered = Sjis("名前が登録出来ました。");
const std::string RegistrationFailed = Sjis("名前の登録が出来ませんでした。設定を確認して再度行ってみて下さい");
const std::string QuoteRefused = Sjis("引用符「'」「\"」を入力しないで下さい");
const std::string NameMissing = Sjis("名前を入力して下さい");
const std::string PasswordLength = Sjis("パスワードは半角8文字入力を行って下さい");
const std::string PasswordDiffers = Sjis("パスワードが登録されているものと異なります");

// Clicks into a box, selects what it holds and types the new text over it.
void Retype(QLineEdit* box, const QString& text)
{
    QTest::mouseClick(box, Qt::LeftButton);
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(box, Qt::Key_Backspace);
    TypeText(box, text);
}

QLineEdit* Box(const char* name) { return Control<QLineEdit>(Form2, name); }
QPushButton* Button(const char* name) { return Control<QPushButton>(Form2, name); }

void PressOk() { QTest::mouseClick(Button("Button1"), Qt::LeftButton); }

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

TEST_F(SettingsWindowLook, ControlsCarryTheirCaptionsAndTabOrder)
{
    EXPECT_EQ(Form2->minimumSize(), Form2->maximumSize()) << "the border is fixed";
    EXPECT_FALSE(Form2->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(Form2->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_EQ(Form2->palette().color(QPalette::Window), QColor(Qt::white));
    EXPECT_EQ(Form2->font().family(), QString::fromUtf8("ＭＳ ゴシック"));
    EXPECT_EQ(Form2->font().pixelSize(), 13);

    ExpectTexts(Form2, {{"Label1", "サーバー名（IPアドレス＋':'）"}, {"Label2", "サーバーのデータのフォルダ"},
                        {"Label3", "データベース名"}, {"Label4", "名前"}, {"Label5", "パスワード"},
                        {"Label6", "(半角8文字)"}, {"Button1", "OK(&Y)"}, {"Button2", "キャンセル(&N)"},
                        {"Edit2", "C:\\data\\"}, {"Edit3", "GAMES.FDB"}});
    EXPECT_TRUE(Button("Button1")->isDefault());
    EXPECT_FALSE(Button("Button2")->isDefault());
    // The panel holds the three connection fields.
    for (const char* name : {"Label1", "Label2", "Label3", "Edit1", "Edit2", "Edit3"})
        EXPECT_EQ(Control<QWidget>(Form2, name)->parentWidget(), Control<QFrame>(Form2, "Panel1")) << name;

    EXPECT_EQ(Box("Edit3")->palette().color(QPalette::Base), QColor(0xC0, 0xC0, 0xC0));
    EXPECT_EQ(Box("Edit4")->font().pixelSize(), 16);
    EXPECT_EQ(Box("Edit5")->font().pixelSize(), 16);
    EXPECT_EQ(Box("Edit5")->echoMode(), QLineEdit::Password);
    EXPECT_FALSE(Box("Edit5")->testAttribute(Qt::WA_InputMethodEnabled));
    SetEditText(Box("Edit5"), "ab");
    EXPECT_EQ(Box("Edit5")->displayText(), QString("**"));

    ExpectTabChain(Form2, {"Edit1", "Edit2", "Edit3", "Edit4", "Edit5", "Button1", "Button2"});
}

TEST_F(SettingsWindowLook, ShowFillsTheBoxesAndEdit3AlwaysShowsTheFileName)
{
    AppSettings = {"dbhost:", "/srv/quiz/", 4, Sjis("花子"), "hana1234"};
    Form2->show();
    EXPECT_EQ(EditText(Box("Edit1")), "dbhost:");
    EXPECT_EQ(EditText(Box("Edit2")), "/srv/quiz/");
    EXPECT_EQ(EditText(Box("Edit3")), "GAMES.FDB");
    EXPECT_EQ(EditText(Box("Edit4")), Sjis("花子"));
    EXPECT_EQ(EditText(Box("Edit5")), "hana1234");
    EXPECT_EQ(Form2->focusWidget(), Box("Edit1"));

    Retype(Box("Edit3"), "OTHER.FDB");
    Retype(Box("Edit1"), "changed:");
    QTest::mouseClick(Button("Button2"), Qt::LeftButton);
    EXPECT_FALSE(Form2->isVisible());
    EXPECT_EQ(AppSettings.ServerName, "dbhost:") << "cancel stores nothing";

    Form2->show();
    EXPECT_EQ(EditText(Box("Edit3")), "GAMES.FDB");
    EXPECT_EQ(EditText(Box("Edit1")), "dbhost:");
    EXPECT_TRUE(Dialogs.Messages.empty());
}

TEST_F(SettingsWindowLook, KeyboardInputIsLimitedToCp932Bytes)
{
    AppSettings = {};
    Form2->show();

    // Nine full-width characters are 18 bytes; the name holds 16.
    TypeText(Box("Edit4"), QString::fromUtf8("あいうえおかきくけ"));
    EXPECT_EQ(EditText(Box("Edit4")), Sjis("あいうえおかきく"));
    Retype(Box("Edit4"), QString::fromUtf8("a한b"));
    EXPECT_EQ(EditText(Box("Edit4")), "ab") << "Hangul has no CP932 form";

    QTest::keyClicks(Box("Edit5"), "123456789");
    EXPECT_EQ(EditText(Box("Edit5")), "12345678");
    Retype(Box("Edit5"), QString::fromUtf8("パスワード"));
    EXPECT_EQ(EditText(Box("Edit5")), Sjis("パスワー")) << "four double-byte characters fill the 8 bytes";

    // The connection fields have no length limit but still refuse what CP932 cannot hold.
    const QString longFolder = QString("/var/lib/firebird/3.0/data/").repeated(4);
    Retype(Box("Edit2"), longFolder + QString::fromUtf8("한"));
    EXPECT_EQ(Box("Edit2")->text(), longFolder);
}

TEST_F(SettingsWindowLook, ChecksRunInOrderAndTouchNothing)
{
    struct Case {
        QString Name;
        QString Password;
        std::string Message;
        QLineEdit* Focus;
    };
    const std::vector<Case> cases = {
        {"a'b", "", QuoteRefused, Box("Edit4")},             // quote in the name before the empty password
        {"ab", "pa\"ss", QuoteRefused, Box("Edit5")},        // quote in the password
        {"a\"", "x'", QuoteRefused, Box("Edit4")},           // the name is tested first
        {"   ", "12'45678", QuoteRefused, Box("Edit5")},     // quote in the password before the empty name
        {"   ", "", NameMissing, Box("Edit4")},              // blanks only make an empty name, before the length
        {"ab", "1234567", PasswordLength, Box("Edit5")},     // 7 bytes
        {"ab", "", PasswordLength, Box("Edit5")},
    };
    AppSettings = {"old:", "/old/", 3, "Old", "oldpass1"};
    const TAppSettings before = AppSettings;
    Form2->show();
    Retype(Box("Edit1"), "127.0.0.1/1:");
    Retype(Box("Edit2"), "/elsewhere/");
    for (const Case& test : cases) {
        Dialogs.Messages.clear();
        Retype(Box("Edit4"), test.Name);
        Retype(Box("Edit5"), test.Password);
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
    EXPECT_EQ(EditText(Box("Edit5")), "123456789") << "filled without the keyboard's limit";
    PressOk();
    EXPECT_EQ(Dialogs.Messages, std::vector<std::string>{PasswordLength});
    EXPECT_EQ(Form2->focusWidget(), Box("Edit5"));
    EXPECT_EQ(AppSettings.ServerName, "old:");
}

TEST_F(SettingsWindowLook, EscPressesCancel)
{
    AppSettings = {"old:", "/old/", 0, "", ""};
    Form2->show();
    Retype(Box("Edit1"), "new:");
    QTest::keyClick(Box("Edit1"), Qt::Key_Escape);
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
        Retype(Box("Edit4"), name);
        Retype(Box("Edit5"), password);
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
    Retype(Box("Edit3"), "OTHER.FDB");  // never read
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
    AppSettings.PlayerNo = 9;
    AppSettings.PlayerName = "Old";
    AppSettings.PlayerPassword = "oldpass1";

    // The rival's row is not committed yet, so this program still reads 1 as the maximum.
    RivalRegistration rival("2,'Rival','rival123',0");
    Submit("Beta", "beta1234");
    rival.Join();
    ASSERT_EQ(rival.Error(), "");
    EXPECT_TRUE(rival.SawWaitingInsert()) << "the insert did not wait on the rival's row";

    EXPECT_EQ(Dialogs.Messages, std::vector<std::string>{RegistrationFailed});
    EXPECT_FALSE(Form2->isVisible());
    ExpectPlayerFields(9, "Old", "oldpass1");
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
    Retype(Box("Edit1"), ToQt(server));
    Retype(Box("Edit2"), ToQt(folder));
    Submit("Carol", "abcdefgh");  // letter case counts
    EXPECT_EQ(Dialogs.Messages, std::vector<std::string>{PasswordDiffers});
    EXPECT_TRUE(Form2->isVisible());
    EXPECT_EQ(Form2->focusWidget(), Box("Edit5"));
    EXPECT_FALSE(Form1->Database().Connected());
    EXPECT_EQ(AppSettings.ServerName, server);
    EXPECT_EQ(AppSettings.DataFolder, folder);
    ExpectPlayerFields(9, "Old", "oldpass1");
    EXPECT_EQ(Players(), (std::vector<TextList>{{"3", "Carol", "abcdEFGH", "1.5"}}));

    QTest::mouseClick(Button("Button2"), Qt::LeftButton);
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
    Retype(Box("Edit2"), "/changed/");
    Submit("O'Brien", "pass1234");
    Submit("Brien", "pass\"234");
    EXPECT_EQ(Dialogs.Messages, (std::vector<std::string>{QuoteRefused, QuoteRefused}));
    EXPECT_TRUE(Form2->isVisible());
    EXPECT_EQ(AppSettings.DataFolder, before);
    EXPECT_FALSE(Form1->Database().Connected());
    EXPECT_FALSE(Db.TableExists("PLAYER")) << "the window did not even open the database";
}

// A failed insert: the message, then the window closes with its connection, and the player
// fields keep what they held; the new server stays.
TEST_F(SettingsWindowDatabase, FailedRegistrationClosesAndKeepsThePlayer)
{
    ASSERT_TRUE(Db.CreatePlayerTable());
    struct Case {
        const char* Why;
        const char* Server;       // typed over the one shown, when set
        const char* TakenNumber;  // a row already there, when set
    };
    const Case cases[] = {
        {"nothing listens on port 1", "127.0.0.1/1:", nullptr},
        {"the number after the largest INTEGER is refused, not wrapped", nullptr, "2147483647"},
    };
    const std::string server = AppSettings.ServerName;
    const std::string folder = AppSettings.DataFolder;
    for (const Case& test : cases) {
        SCOPED_TRACE(test.Why);
        Dialogs.Messages.clear();
        AppSettings = {server, folder, 9, "Old", "oldpass1"};
        if (test.TakenNumber) AddPlayer(test.TakenNumber, "'Last'", "'last1234'", "0");
        Form2->show();
        if (test.Server) Retype(Box("Edit1"), test.Server);
        QElapsedTimer clock;
        clock.start();
        Submit("Alice", "pass1234");
        EXPECT_LT(clock.elapsed(), 5000);
        EXPECT_EQ(Dialogs.Messages, std::vector<std::string>{RegistrationFailed});
        EXPECT_FALSE(Form2->isVisible());
        EXPECT_FALSE(Form1->Database().Connected());
        EXPECT_EQ(AppSettings.ServerName, test.Server ? test.Server : server);
        EXPECT_EQ(AppSettings.DataFolder, folder);
        ExpectPlayerFields(9, "Old", "oldpass1");
        EXPECT_EQ(Players().size(), test.TakenNumber ? 1u : 0u);
    }
}

TEST_F(SettingsWindowDatabase, EnterInThePasswordBoxPressesOk)
{
    Form2->show();
    Retype(Box("Edit4"), "Keys");
    Retype(Box("Edit5"), "keys1234");
    QTest::keyClick(Box("Edit5"), Qt::Key_Return);
    EXPECT_EQ(Dialogs.Messages, std::vector<std::string>{Registered});
    EXPECT_FALSE(Form2->isVisible());
    ExpectPlayerFields(1, "Keys", "keys1234");
}

// games.dat is written as soon as OK signs in or registers, so that a crash later loses
// nothing; a refused OK, or a failed registration, then cancelled, writes nothing. Each case:
// the server typed (empty: as shown), name, password, and games.dat afterwards. The program is
// never closed: the next start reads what OK wrote.
TEST_F(SettingsWindowDatabase, SettingsFileIsWrittenWhenOkSignsInOrRegisters)
{
    ASSERT_TRUE(Db.CreatePlayerTable());
    AddPlayer("3", "'Carol'", "'abcdEFGH'", "0");
    const std::string server = AppSettings.ServerName, place = server + "\r\n" + AppSettings.DataFolder + "\r\n";
    const std::string start = place + "0\r\n\r\n\r\n";
    const std::vector<std::tuple<const char*, const char*, const char*, std::string>> cases = {
        {"", "", "pass1234", start}, {"", "Carol", "wrong123", start}, {"127.0.0.1/1:", "Alice", "pass1234", start},
        {"", "Carol", "abcdEFGH", place + "3\r\nCarol\r\nabcdEFGH\r\n"},
        {"", "Alice", "pass1234", place + "4\r\nAlice\r\npass1234\r\n"}};
    Exe.Write("games.dat", start);
    Form1->show();
    for (const auto& [typedServer, name, password, file] : cases) {
        QTimer::singleShot(0, [&] {
            Retype(Box("Edit1"), *typedServer ? typedServer : ToQt(server));
            Submit(name, password);
            if (Form2->isVisible()) QTest::mouseClick(Button("Button2"), Qt::LeftButton);
        });
        QTest::mouseClick(Control<QPushButton>(Form1, "Button1"), Qt::LeftButton);
        EXPECT_EQ(Exe.Read("games.dat"), file) << name << " " << password;
    }
    DestroyWindows();
    CreateWindows();
    Form1->SetExecutablePath(Exe.File("quizgame"));
    Form1->show();
    ExpectPlayerFields(4, "Alice", "pass1234");
}

TEST_F(SettingsWindowDatabase, MainWindowRunsTheWindowModallyBetweenDisconnectAndReconnect)
{
    // The main window starts on the fixture's database; the user moves it to a new folder.
    Exe.Write("games.dat", AppSettings.ServerName + "\r\n" + AppSettings.DataFolder + "\r\n0\r\n\r\n\r\n");
    Form1->show();
    ASSERT_TRUE(Form1->Database().Connected());
    QTabBar* tabs = Control<QTabWidget>(Form1, "PageControl1")->tabBar();
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
    QTest::mouseClick(Control<QPushButton>(Form1, "Button2"), Qt::LeftButton);  // a Q&A window is open
    ASSERT_TRUE(Form3->isVisible());
    const auto moved = NewFolder();
    ASSERT_FALSE(moved->HasDatabaseFile());

    bool ranInside = false;
    QTimer::singleShot(0, [&] {
        ranInside = true;
        EXPECT_EQ(QApplication::activeModalWidget(), Form2);
        EXPECT_FALSE(Form3->isVisible());
        EXPECT_FALSE(Form1->Database().Connected());
        Retype(Box("Edit2"), ToQt(moved->DataFolder()));
        Retype(Box("Edit4"), "Mover");
        Retype(Box("Edit5"), "move1234");
        PressOk();
        if (Form2->isVisible()) Form2->reject();  // never leave the test stuck in the modal loop
    });
    QTest::mouseClick(Control<QPushButton>(Form1, "Button1"), Qt::LeftButton);

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
        QTest::mouseClick(Button("Button2"), Qt::LeftButton);
        if (Form2->isVisible()) Form2->reject();
    });
    QTest::mouseClick(Control<QPushButton>(Form1, "Button1"), Qt::LeftButton);
    EXPECT_TRUE(cancelled);
    EXPECT_TRUE(Form1->Database().Connected());
    EXPECT_EQ(Form1->Database().CountRows("PLAYER", ""), 1);
    Form1->close();
}

}  // namespace
