// The main window on a real database: creation and connection at start, the start button's
// checks, the member-table button, and a connection that breaks during the run.
#include "app/main_window.h"
#include "app/program.h"
#include "app/sjis_text.h"
#include "app/unitv.h"
#include "player/settings_window.h"

#include "support/controls.h"
#include "support/firebird_fixture.h"
#include "support/recording_dialogs.h"
#include "support/tcp_relay.h"
#include "support/temp_folder.h"

#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

class MainWindowDatabase : public ::testing::Test {
protected:
    void SetUp() override { CreateWindows(); }
    void TearDown() override { DestroyWindows(); }

    // Starts the main window with a settings file naming this server prefix and folder.
    void Start(const std::string& serverName, const GameFolder& folder, const std::string& player = "0\r\n\r\n\r\n")
    {
        Exe.Write("games.dat", serverName + "\r\n" + folder.DataFolder() + "\r\n" + player);
        Form1->SetExecutablePath(Exe.File("quizgame"));
        Form1->show();
    }

    QuizDatabase& Db() { return Form1->Database(); }

    // Clicks a button through the event loop, as the user does, so that an error escaping the
    // handler meets the application's own handler.
    static void Click(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }
    static QPushButton* Button(const char* name) { return Control<QPushButton>(Form1, name); }

    SettingsGuard Settings;
    TempFolder Exe;
    RecordingDialogs Dialogs;
};

TEST_F(MainWindowDatabase, StartCreatesAndConnectsTheEmbeddedDatabase)
{
    auto folder = GameFolder::Embedded();
    Start("", *folder);
    EXPECT_TRUE(Db().Connected());
    EXPECT_TRUE(folder->HasDatabaseFile());

    // Neither table exists yet: only the first missing one is reported.
    Click(Button("ButtonG"));
    EXPECT_EQ(Dialogs.Messages, std::vector<std::string>{Sjis("プレイヤーテーブルが作成されていません")});

    Form1->close();
    EXPECT_FALSE(Db().Connected());
}

TEST_F(MainWindowDatabase, StartAgainAttachesToTheExistingDatabase)
{
    auto folder = GameFolder::Embedded();
    Start("", *folder);
    ASSERT_TRUE(Db().CreatePlayerTable());
    ASSERT_TRUE(Db().InsertText("PLAYER", "N,PNAME,PASWD,POINTS", "1,'a','12345678',0"));
    Form1->close();

    DestroyWindows();
    CreateWindows();
    Start("", *folder);
    ASSERT_TRUE(Db().Connected());
    EXPECT_EQ(Db().CountRows("PLAYER", ""), 1);
}

TEST_F(MainWindowDatabase, StartButtonChecksTablesThenRegistration)
{
    auto folder = GameFolder::Embedded();
    Start("", *folder, "0\r\nname\r\n12345678\r\n");
    ASSERT_TRUE(Db().CreatePlayerTable());
    Click(Button("ButtonG"));
    ASSERT_TRUE(Db().CreateQuizQaTable());
    Click(Button("ButtonG"));
    EXPECT_EQ(Dialogs.Messages, (std::vector<std::string>{Sjis("Ｑ＆Ａテーブルが作成されていません"),
                                                          Sjis("プレイヤー登録がされていません")}));
}

TEST_F(MainWindowDatabase, MemberTableButtonDropsWhatExistsOnlyAfterYes)
{
    auto folder = GameFolder::Embedded();
    Start("", *folder);
    ASSERT_TRUE(Db().CreateQuizMemTable());
    ASSERT_TRUE(Db().CreateQuizAnsTable());

    Dialogs.ConfirmAnswers = {false};
    Click(Button("Button7"));
    EXPECT_TRUE(Db().TableExists("QUIZMEM"));
    EXPECT_TRUE(Db().TableExists("QUIZANS"));

    // Only QUIZANS left: it alone is dropped, and nothing is said.
    ASSERT_TRUE(Db().DropTable("QUIZMEM"));
    Dialogs.ConfirmAnswers = {true};
    Click(Button("Button7"));
    EXPECT_FALSE(Db().TableExists("QUIZANS"));

    ASSERT_TRUE(Db().CreateQuizMemTable());
    ASSERT_TRUE(Db().CreateQuizAnsTable());
    Dialogs.ConfirmAnswers = {true};
    Click(Button("Button7"));
    EXPECT_FALSE(Db().TableExists("QUIZMEM"));
    EXPECT_FALSE(Db().TableExists("QUIZANS"));
    EXPECT_EQ(Dialogs.Confirmations.size(), 3u);
    EXPECT_TRUE(Dialogs.Messages.empty());
}

TEST_F(MainWindowDatabase, BrokenConnectionIsShownOnceThenTheProgramConnectsAgainByItself)
{
    const auto server = FindTestServer();
    ASSERT_TRUE(server.has_value()) << MissingServerMessage();
    auto folder = GameFolder::OnServer(*server);
    TcpRelay relay;
    Start(relay.ServerName(), *folder);
    ASSERT_TRUE(Db().Connected());
    ASSERT_TRUE(Db().CreatePlayerTable());
    // A read leaves its transaction open; the connection then breaks under it.
    ASSERT_EQ(Db().CountRows("PLAYER", ""), 0);
    relay.Drop();

    Click(Button("ButtonG"));
    ASSERT_EQ(Dialogs.Messages.size(), 1u);
    const std::string sentence = Sjis("データベースとの接続が切れました。数秒ごとに自動で再接続します。") + "\r\n";
    EXPECT_EQ(Dialogs.Messages[0].rfind(sentence, 0), 0u) << Dialogs.Messages[0];
    EXPECT_GT(Dialogs.Messages[0].size(), sentence.size());  // the server's text follows
    EXPECT_FALSE(Db().Connected());
    Click(Button("ButtonG"));
    EXPECT_EQ(Dialogs.Messages.back(), Sjis("データベースに接続されていません"));

    // The main window connects again within a few seconds, and the next action works.
    QTRY_VERIFY_WITH_TIMEOUT(Db().Connected(), 10000);
    EXPECT_TRUE(Db().TableExists("PLAYER"));
    EXPECT_EQ(Dialogs.Messages.size(), 2u);

    // While the settings window is open the connection is left to it: nothing connects behind
    // its back, however long it stays open.
    bool connectedWhileOpen = true;
    QTimer::singleShot(3500, Form2, [&] {
        connectedWhileOpen = Db().Connected();
        Control<QPushButton>(Form2, "Button2")->click();
    });
    Click(Button("Button1"));
    EXPECT_FALSE(connectedWhileOpen);
    EXPECT_TRUE(Db().Connected());
}

}  // namespace
