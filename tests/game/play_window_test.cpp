// The play window over its game loop on a real (embedded) database: what it paints, the clicks
// it passes on, how its timer paces the loop, and closing. The loop's own rules are tested
// without a window (game_loop_test.cpp).
#include "app/main_window.h"
#include "app/program.h"
#include "app/sjis_text.h"
#include "game/play_window.h"

#include "support/firebird_fixture.h"
#include "support/recording_dialogs.h"
#include "support/rival_registration.h"

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

class PlayWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The tests tick by hand; the timer must never fire by itself, and the pauses are cut.
        GameTiming = {3600 * 1000, 0, 0};
        Folder = GameFolder::Embedded();
        Folder->Apply();
        AppSettings.PlayerNo = 1;
        AppSettings.PlayerName = "alice";
        AppSettings.PlayerPassword = "12345678";
        CreateWindows();
        Db().CreateGameDatabase();
        ASSERT_TRUE(Db().Connected());
        ASSERT_TRUE(Db().CreatePlayerTable());
        ASSERT_TRUE(Db().CreateQuizQaTable());
        for (const char* row : {"1,'alice','12345678',0", "2,'bob','12345678',0"})
            ASSERT_TRUE(Db().InsertText("PLAYER", "N,PNAME,PASWD,POINTS", row));
        ASSERT_TRUE(Db().InsertText("QUIZQA", "N,SN,Q1,ANS,AN1,AN2,AN3,ANN", "1,0,'ab','right','one','two','three',2"));
    }

    void TearDown() override
    {
        DestroyWindows();
        Folder.reset();
        GameTiming = SavedTiming;
    }

    QuizDatabase& Db() { return Form1->Database(); }
    template <class T>
    T* Child(const char* name)
    {
        T* child = FormPlay->findChild<T*>(name);
        EXPECT_NE(child, nullptr) << name;
        return child;
    }
    QPushButton* Button(const char* name) { return Child<QPushButton>(name); }
    std::string Text(const char* label) { return FromQt(Child<QLabel>(label)->text()); }
    std::vector<std::string> Items(const char* list)
    {
        std::vector<std::string> items;
        auto* box = Child<QListWidget>(list);
        for (int i = 0; i < box->count(); ++i) items.push_back(FromQt(box->item(i)->text()));
        return items;
    }
    TGameState State() { return FormPlay->Game().Progress().GameState; }
    void Show()
    {
        FormPlay->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(FormPlay));
    }
    int TickUntil(TGameState state, int limit = 60)
    {
        for (int i = 1; i <= limit; ++i) {
            FormPlay->Timer1Timer();
            if (State() == state) return i;
        }
        return -1;
    }

    TGameTiming SavedTiming = GameTiming;
    SettingsGuard Settings;
    RecordingDialogs Dialogs;
    std::unique_ptr<GameFolder> Folder;
};

// A game alone, played with the window's buttons: it shows the player, the lists, the question
// and its answers as the loop says, and the result stays until the next room is joined.
TEST_F(PlayWindow, AGameAloneThroughTheWindow)
{
    Show();
    EXPECT_EQ(Text("LabelA"), "alice(N:1) Points:0");
    FormPlay->Timer1Timer();
    FormPlay->Timer1Timer();
    EXPECT_EQ(Items("ListBox1"), std::vector<std::string>{"alice " + Sjis("－")});
    // Ready from the keyboard: the focus does not pass on to the quit button, where the next
    // Space would leave the game.
    FormPlay->activateWindow();
    Button("Button5")->setFocus();
    QTest::keyClick(Button("Button5"), Qt::Key_Space);
    EXPECT_FALSE(Button("Button5")->isEnabled());
    EXPECT_NE(QApplication::focusWidget(), Button("Button6"));
    ASSERT_TRUE(Db().UpdateText("QUIZQA", "SN=0,ANN=2", ""));
    ASSERT_GT(TickUntil(TGameState::RevealQuestion, 20), 0);

    EXPECT_EQ(Text("LabelB"), Sjis("第 1 問"));
    const std::vector<std::string> captions = {"one", "right", "two", "three"};
    for (int k = 1; k <= 4; ++k) {
        const std::string name = "Button" + std::to_string(k);
        EXPECT_EQ(FromQt(Button(name.c_str())->text()), captions[static_cast<size_t>(k - 1)]);
        EXPECT_TRUE(Button(name.c_str())->isEnabled());
    }
    QTest::keyClick(FormPlay, Qt::Key_3);  // the key answers as the button does
    EXPECT_EQ(FromQt(Button("Button2")->text()), "");
    EXPECT_EQ(FromQt(Button("Button3")->text()), "two");
    EXPECT_FALSE(Button("Button3")->isEnabled());
    FormPlay->Timer1Timer();
    EXPECT_EQ(FromQt(Child<QPlainTextEdit>("Memo1")->toPlainText()), "ab" + Sjis("◆"));
    EXPECT_EQ(Items("ListBox2"), std::vector<std::string>{"alice '1\"" + Sjis("：") + "3"});
    ASSERT_GT(TickUntil(TGameState::Judge, 3), 0);
    EXPECT_EQ(Items("ListBox1"), std::vector<std::string>{"alice \"[3]\" GP:0"});

    std::string label, winners;
    QObject::connect(FormPlay, &TFormPlay::ResultShown, [&] {
        label = Text("LabelB");
        winners = FromQt(Child<QPlainTextEdit>("Memo1")->toPlainText());
    });
    ASSERT_GT(TickUntil(TGameState::FinalResult, 150), 0);
    FormPlay->Timer1Timer();
    EXPECT_EQ(label, Sjis("最高得点：0"));
    EXPECT_EQ(winners, "");
    // One timer event ran the result, its pause and the join of the next room.
    EXPECT_EQ(State(), TGameState::Lobby);
    EXPECT_TRUE(FormPlay->Timer1.isActive());
    EXPECT_EQ(Text("LabelB"), "");
    EXPECT_TRUE(Items("ListBox1").empty());
    EXPECT_TRUE(Button("Button5")->isEnabled());
}

TEST_F(PlayWindow, LateJoinerSeesTheMessageAndTheWindowCloses)
{
    ASSERT_TRUE(Db().CreateQuizMemTable());
    ASSERT_TRUE(Db().InsertText("QUIZMEM", "N,MN,OK,GP", "1,2,5,0"));
    Show();
    for (const char* status : {"OK=5", "OK=6"}) {
        ASSERT_TRUE(Db().UpdateText("QUIZMEM", status, "N=1"));  // the game moves on
        FormPlay->Timer1Timer();
        FormPlay->Timer1Timer();
    }
    EXPECT_EQ(Dialogs.Messages, std::vector<std::string>{Sjis("現在ゲーム実行中です。しばらく後に再度スタートして下さい")});
    EXPECT_FALSE(FormPlay->isVisible());
    EXPECT_FALSE(FormPlay->Timer1.isActive());
    EXPECT_EQ(Db().CountRows("QUIZMEM", ""), 1);
}

TEST_F(PlayWindow, EscStaysAndQuitLeavesTheRoom)
{
    Show();
    QTest::keyClick(FormPlay, Qt::Key_Escape);
    EXPECT_TRUE(FormPlay->isVisible());
    QTest::mouseClick(Button("Button6"), Qt::LeftButton);
    EXPECT_FALSE(FormPlay->isVisible());
    EXPECT_FALSE(FormPlay->Timer1.isActive());
    EXPECT_FALSE(Db().TableExists("QUIZMEM"));
}

TEST_F(PlayWindow, ASlowTickDoesNotPushTheNextOneBack)
{
    Show();
    QTest::mouseClick(Button("Button5"), Qt::LeftButton);
    ASSERT_GT(TickUntil(TGameState::ShowAnswer, 40), 0);
    // Another program holds this program's row until a second has passed, so the status
    // written on the next tick waits that long.
    HeldWrite other("UPDATE QUIZMEM SET GP = GP");
    std::thread release([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
        other.Release();
    });
    FormPlay->Timer1Timer();
    release.join();
    ASSERT_EQ(State(), TGameState::WaitShown);
    ASSERT_GE(FormPlay->LastTickWorkUs, 900 * 1000);
    // The next tick is due one interval after this one began, not after it ended.
    ASSERT_TRUE(FormPlay->Timer1.isActive());
    EXPECT_LE(FormPlay->Timer1.remainingTime(), GameTiming.TickMs - 900);
}

}  // namespace
