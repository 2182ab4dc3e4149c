// The play window on a real (embedded) database, driven tick by tick: the tests call the
// timer's handler themselves and play the other members by writing their QUIZMEM and
// QUIZANS rows between ticks, as their programs would.
#include "app/main_window.h"
#include "app/program.h"
#include "app/sjis_text.h"
#include "game/play_window.h"

#include "support/firebird_fixture.h"
#include "support/recording_dialogs.h"

#include <QEvent>
#include <QTest>
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <thread>

namespace {

// The texts a label showed, one per paint: the loop repaints at once, so texts that are
// replaced within the same tick are caught too.
class PaintedTexts : public QObject {
public:
    explicit PaintedTexts(QLabel* label) : Label(label) { label->installEventFilter(this); }
    ~PaintedTexts() override { Label->removeEventFilter(this); }
    // The texts painted since the last call, repeats of the same text merged.
    std::vector<std::string> Take()
    {
        std::vector<std::string> texts;
        texts.swap(Texts);
        return texts;
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            const std::string text = FromQt(Label->text());
            if (Texts.empty() || Texts.back() != text) Texts.push_back(text);
        }
        return false;
    }

private:
    QLabel* Label;
    std::vector<std::string> Texts;
};

struct Question {
    std::string Q1{}, Q2{}, Q3{}, Q4{};
    int Ann = 4;
};

class PlayWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The tests tick by hand; the timer must never fire by itself, and the pauses are cut.
        GameTiming.TickMs = 3600 * 1000;
        GameTiming.JudgePauseMs = 0;
        GameTiming.FinalPauseMs = 0;
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
        const char* names[] = {"alice", "bob", "carol", "dave"};
        for (int n = 1; n <= 4; ++n)
            ASSERT_TRUE(Db().InsertText("PLAYER", "N,PNAME,PASWD,POINTS",
                                        std::to_string(n) + ",'" + names[n - 1] + "','12345678',0"));
    }

    void TearDown() override
    {
        DestroyWindows();
        Folder.reset();
        GameTiming = SavedTiming;
    }

    QuizDatabase& Db() { return Form1->Database(); }
    Ui::TFormPlay& Controls() { return FormPlay->Controls; }

    void AddQuestions(const std::vector<Question>& questions)
    {
        for (const Question& q : questions) {
            const std::string n = std::to_string(++QuestionCount);
            ASSERT_TRUE(Db().InsertText("QUIZQA", "N,SN,Q1,Q2,Q3,Q4,ANS,AN1,AN2,AN3,ANN",
                                        n + ",0,'" + q.Q1 + "','" + q.Q2 + "','" + q.Q3 + "','" + q.Q4 +
                                            "','right" + n + "','one" + n + "','two" + n + "','three" + n + "'," +
                                            std::to_string(q.Ann)));
            Ann[n] = q.Ann;
        }
    }

    // Undoes the shuffle of the room's creator: questions play in N order with their own ANN.
    void FixOrder()
    {
        for (const auto& [n, ann] : Ann) ASSERT_TRUE(Db().UpdateText("QUIZQA", "SN=" + n + ",ANN=" + std::to_string(ann), "N=" + n));
    }

    // A row of another member; the room comes into being when there is none yet.
    void AddMember(int n, int mn, int ok, int gp = 0)
    {
        if (!Db().TableExists("QUIZMEM")) {
            ASSERT_TRUE(Db().CreateQuizMemTable());
        }
        ASSERT_TRUE(Db().InsertText("QUIZMEM", "N,MN,OK,GP",
                                    std::to_string(n) + "," + std::to_string(mn) + "," + std::to_string(ok) + "," +
                                        std::to_string(gp)));
    }
    void SetMember(int n, const std::string& set) { ASSERT_TRUE(Db().UpdateText("QUIZMEM", set, "N=" + std::to_string(n))); }
    void AddAnswer(int mn, int an)
    {
        ASSERT_TRUE(Db().InsertText("QUIZANS", "N,MN,AN", "0," + std::to_string(mn) + "," + std::to_string(an)));
    }

    std::vector<TextList> Rows(const std::string& fields, const std::string& table, const std::string& order, size_t columns)
    {
        std::vector<TextList> rows;
        const int count = Db().OpenSelect(fields, table, "", order);
        for (int i = 0; i < count; ++i) {
            TextList row(columns);
            Db().FetchRow(i, row);
            rows.push_back(row);
        }
        Db().CloseSelect();
        return rows;
    }
    std::vector<TextList> Members() { return Rows("N,MN,OK,GP", "QUIZMEM", "N", 4); }
    std::vector<TextList> Answers() { return Rows("N,MN,AN", "QUIZANS", "", 3); }
    std::string Value(const std::string& field, const std::string& table, const std::string& condition)
    {
        std::string value;
        Db().SelectFirstValue(field, table, condition, value);
        return value;
    }

    void Show()
    {
        FormPlay->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(FormPlay));
    }
    void Tick(int count = 1)
    {
        for (int i = 0; i < count; ++i) FormPlay->Timer1Timer();
    }
    // Ticks until the loop stands in the state; the number of ticks taken, or -1.
    int TickUntil(TGameState state, int limit = 60)
    {
        for (int i = 1; i <= limit; ++i) {
            FormPlay->Timer1Timer();
            if (FormPlay->GameState == state) return i;
        }
        return -1;
    }
    void Click(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }
    QPushButton* Button(int k)
    {
        QPushButton* buttons[] = {Controls().Button1, Controls().Button2, Controls().Button3, Controls().Button4};
        return buttons[k - 1];
    }
    // The button that carries the correct answer of the loaded question.
    int CorrectButton() const { return FormPlay->CorrectButton >= 1 && FormPlay->CorrectButton <= 3 ? FormPlay->CorrectButton : 4; }
    std::string LabelB() { return FromQt(Controls().LabelB->text()); }
    std::string Memo() { return FromQt(Controls().Memo1->toPlainText()); }
    std::vector<std::string> Captions()
    {
        std::vector<std::string> captions;
        for (int k = 1; k <= 4; ++k) captions.push_back(FromQt(Button(k)->text()));
        return captions;
    }

    // Shows the window, presses ready and counts down to the first question.
    void StartGame()
    {
        ASSERT_NO_FATAL_FAILURE(Show());
        Click(Controls().Button5);  // draws whatever of the order is left
        ASSERT_NO_FATAL_FAILURE(FixOrder());
        ASSERT_GT(TickUntil(TGameState::LoadQuestion, 20), 0);
    }

    // Plays on from LoadQuestion to the next state given (a whole question at most).
    void LoadNext() { ASSERT_GT(TickUntil(TGameState::RevealQuestion, 1), 0); }

    TGameTiming SavedTiming = GameTiming;
    SettingsGuard Settings;
    RecordingDialogs Dialogs;
    std::unique_ptr<GameFolder> Folder;
    int QuestionCount = 0;
    std::map<std::string, int> Ann;
};

const std::string Diamond = "\x81\x9F";  // ◆

// ---- the player line, the lists and their refreshes ----

TEST_F(PlayWindow, PlayerLineShowsNameNumberAndPointsCutToTwoDecimals)
{
    AddQuestions({{"q"}});
    const std::pair<const char*, const char*> cases[] = {{"1.239", "1.23"}, {"2", "2"}, {"0", "0"}, {"0.29", "0.29"}};
    for (const auto& [points, shown] : cases) {
        ASSERT_TRUE(Db().UpdateText("PLAYER", std::string("POINTS=") + points, "N=1"));
        Show();
        EXPECT_EQ(FromQt(Controls().LabelA->text()), std::string("alice(N:1) Points:") + shown) << points;
        Click(Controls().Button6);
        ASSERT_FALSE(FormPlay->isVisible());
    }
    // Without a PLAYER row the plain name stays.
    AppSettings.PlayerNo = 9;
    Show();
    EXPECT_EQ(FromQt(Controls().LabelA->text()), "alice");
}

TEST_F(PlayWindow, FirstRefreshOnlyCountsTheNextReadsTheMembersAndAnUnchangedListStaysAsItIs)
{
    AddQuestions({{"q"}});
    AddMember(1, 2, 0);  // bob came first and draws the order
    Show();
    Tick();
    EXPECT_EQ(FormPlay->LastTickStatements, 0u);
    EXPECT_TRUE(FormPlay->MemberItems().empty());
    Tick();
    EXPECT_GT(FormPlay->LastTickStatements, 0u);
    const std::string joined = " " + std::string("\x81\x7C");
    EXPECT_EQ(FormPlay->MemberItems(), (std::vector<std::string>{"bob" + joined, "alice" + joined}));
    EXPECT_EQ(FromQt(Controls().ListBox1->item(1)->text()), "alice" + joined);

    // The next read finds the same rows: the items shown are left as they are.
    const QListWidgetItem* bob = Controls().ListBox1->item(0);
    Tick(2);
    EXPECT_EQ(Controls().ListBox1->item(0), bob);
    SetMember(1, "OK=1");
    Tick(2);
    EXPECT_EQ(FormPlay->MemberItems(), (std::vector<std::string>{"bob \x81\x9B", "alice" + joined}));
}

TEST_F(PlayWindow, ListItemsKeepBytesThatHaveNoCharacter)
{
    AddQuestions({{"q"}});
    // 85 40 is no CP932 character; the item still reads back byte for byte.
    ASSERT_TRUE(Db().UpdateText("PLAYER", "PNAME='x\x85\x40y'", "N=1"));
    Show();
    Tick(2);
    EXPECT_EQ(FormPlay->MemberItems(), std::vector<std::string>{"x\x85\x40y \x81\x7C"});
}

TEST_F(PlayWindow, ShowAnswerReadsTheAnswersWhateverTheCounterAndNotTheMembers)
{
    AddQuestions({{"abc"}, {"abc"}});
    AddMember(1, 2, 1);  // bob, who has not answered when the question runs out
    StartGame();
    for (int counter = 0; counter <= 1; ++counter) {
        ASSERT_GT(TickUntil(TGameState::ShowAnswer), 0);
        const auto membersBefore = FormPlay->MemberItems();
        // Bob's answer comes after the last read of the question: it still counts.
        AddAnswer(2, CorrectButton());
        SetMember(1, "GP=7");
        FormPlay->RefreshTick = counter;
        Tick();
        EXPECT_EQ(FormPlay->MemberItems(), membersBefore) << "counter " << counter;
        EXPECT_EQ(FormPlay->AnswerItems(), std::vector<std::string>{"bob '2\"\x81\x46" + std::to_string(CorrectButton())})
            << "counter " << counter;
        SetMember(1, "OK=3");
        ASSERT_GT(TickUntil(TGameState::WaitJudged, 2), 0);
        EXPECT_EQ(LabelB(), Sjis("第 ") + std::to_string(counter + 1) + Sjis(" 問の正解者：bob"));
        SetMember(1, "OK=" + std::to_string(counter + 4));
    }
}

// ---- lobby and start ----

TEST_F(PlayWindow, ReadyStartsACountdownFromTenToZero)
{
    AddQuestions({{"q"}});
    Show();
    Click(Controls().Button5);
    EXPECT_FALSE(Controls().Button5->isEnabled());
    EXPECT_EQ(Value("OK", "QUIZMEM", "N=1"), "1");

    const int lobbyTicks = TickUntil(TGameState::Starting, 3);
    EXPECT_TRUE(lobbyTicks == 1 || lobbyTicks == 2) << lobbyTicks;
    PaintedTexts painted(Controls().LabelB);
    const int countdownTicks = TickUntil(TGameState::LoadQuestion, 20);
    EXPECT_EQ(countdownTicks, 11);
    std::vector<std::string> expected;
    for (int n = 10; n >= 0; --n) expected.push_back(Sjis("まもなくゲームスタートです ... ") + std::to_string(n));
    expected.push_back("");
    EXPECT_EQ(painted.Take(), expected);
    EXPECT_EQ(FormPlay->QuestionNo, 1);
    EXPECT_EQ(FormPlay->ReadyCount, 1);
    EXPECT_EQ(Value("OK", "QUIZMEM", "N=1"), "2");
}

TEST_F(PlayWindow, CreatorDrawsTheOrderInPartsAndCompletesItBeforeItIsReady)
{
    std::vector<Question> bank(60, Question{"q"});
    AddQuestions(bank);
    ASSERT_TRUE(Db().UpdateText("QUIZQA", "SN=999,ANN=9", ""));
    const auto undrawn = [&] { return Db().CountRows("QUIZQA", "SN=999"); };
    Show();
    EXPECT_EQ(undrawn(), 60);
    Tick();
    EXPECT_EQ(undrawn(), 35);
    Click(Controls().Button5);
    EXPECT_EQ(undrawn(), 0);
    EXPECT_EQ(Db().CountRows("QUIZQA", "SN>=0 AND SN<=59 AND ANN>=1 AND ANN<=4"), 60);
    EXPECT_EQ(Value("OK", "QUIZMEM", "N=1"), "1");
}

TEST_F(PlayWindow, NewcomerDuringTheCountdownSendsEveryoneBackToTheLobby)
{
    AddQuestions({{"q"}});
    Show();
    Click(Controls().Button5);
    ASSERT_GT(TickUntil(TGameState::Starting, 3), 0);
    Tick(3);
    AddMember(2, 2, 0);
    EXPECT_GT(TickUntil(TGameState::Lobby, 2), 0);
    EXPECT_EQ(LabelB(), "");
    EXPECT_EQ(Value("OK", "QUIZMEM", "N=1"), "1");

    // The newcomer's ready starts a fresh countdown.
    SetMember(2, "OK=1");
    ASSERT_GT(TickUntil(TGameState::Starting, 3), 0);
    PaintedTexts painted(Controls().LabelB);
    Tick();
    EXPECT_EQ(painted.Take(), std::vector<std::string>{Sjis("まもなくゲームスタートです ... 10")});
}

TEST_F(PlayWindow, ReadyCountTakesReadyAndStartedMembersOfTheLastCountdownTick)
{
    AddQuestions({{"q"}});
    AddMember(1, 2, 1);
    AddMember(2, 3, 1);
    AddMember(3, 4, 1);
    Show();
    EXPECT_EQ(FormPlay->MemberNo, 4);
    Click(Controls().Button5);
    ASSERT_GT(TickUntil(TGameState::Starting, 3), 0);
    Tick(5);
    // Bob's countdown ended first; carol left.
    SetMember(1, "OK=2");
    ASSERT_TRUE(Db().DeleteRows("QUIZMEM", "N=2"));
    ASSERT_GT(TickUntil(TGameState::LoadQuestion, 10), 0);
    EXPECT_EQ(FormPlay->ReadyCount, 3);
}

TEST_F(PlayWindow, LateJoinerLeavesWithTheMessageAndLeavesTheGameAlone)
{
    AddQuestions({{"q"}});
    ASSERT_TRUE(Db().CreateQuizMemTable());
    ASSERT_TRUE(Db().CreateQuizAnsTable());
    AddMember(1, 2, 5, 1);
    AddMember(2, 3, 6, 0);
    const auto order = Rows("N,SN,ANN", "QUIZQA", "N", 3);

    Show();
    EXPECT_EQ(FormPlay->MemberNo, 3);
    Tick(2);
    EXPECT_EQ(Dialogs.Messages, std::vector<std::string>{Sjis("現在ゲーム実行中です。しばらく後に再度スタートして下さい")});
    EXPECT_FALSE(FormPlay->isVisible());
    EXPECT_FALSE(FormPlay->Timer1.isActive());
    EXPECT_EQ(Members(), (std::vector<TextList>{{"1", "2", "5", "1"}, {"2", "3", "6", "0"}}));
    // The players' answer table stays, empty as it is between two questions.
    EXPECT_TRUE(Db().TableExists("QUIZANS"));
    EXPECT_EQ(Rows("N,SN,ANN", "QUIZQA", "N", 3), order);
}

TEST_F(PlayWindow, MembersThatJustFinishedDoNotSendANewcomerAway)
{
    AddQuestions({{"q"}});
    ASSERT_TRUE(Db().CreateQuizMemTable());
    AddMember(1, 2, 13, 4);
    Show();
    Click(Controls().Button5);
    Tick(4);
    EXPECT_TRUE(Dialogs.Messages.empty());
    EXPECT_TRUE(FormPlay->isVisible());
    EXPECT_EQ(FormPlay->GameState, TGameState::Lobby);

    // Once the finished member has left, the game starts.
    ASSERT_TRUE(Db().DeleteRows("QUIZMEM", "N=1"));
    EXPECT_GT(TickUntil(TGameState::Starting, 3), 0);
}

TEST_F(PlayWindow, WithoutARowOfItsOwnReadyWritesNothing)
{
    AddQuestions({{"q"}});
    ASSERT_TRUE(Db().CreateQuizMemTable());
    AddMember(1, 2, 0);
    ASSERT_TRUE(Db().ExecSqlLines({"ALTER TABLE QUIZMEM ADD CONSTRAINT NO_ALICE CHECK (MN <> 1);"}));
    Show();
    EXPECT_EQ(FormPlay->MemberNo, 0);
    Click(Controls().Button5);
    EXPECT_TRUE(Controls().Button5->isEnabled());
    EXPECT_EQ(Members(), (std::vector<TextList>{{"1", "2", "0", "0"}}));

    // The lobby tries again on its next read of the room.
    ASSERT_TRUE(Db().ExecSqlLines({"ALTER TABLE QUIZMEM DROP CONSTRAINT NO_ALICE;"}));
    Tick(2);
    EXPECT_EQ(FormPlay->MemberNo, 2);
    EXPECT_EQ(Members(), (std::vector<TextList>{{"1", "2", "0", "0"}, {"2", "1", "0", "0"}}));
}

TEST_F(PlayWindow, LobbyMemberWhoseRowWentWithTheRoomJoinsAgain)
{
    AddQuestions({{"q"}});
    Show();
    Click(Controls().Button5);
    // Another program dropped the room just as this one joined, and made a new one where
    // bob is ready.
    ASSERT_TRUE(Db().DropTable("QUIZMEM"));
    AddMember(1, 2, 1);
    Tick(2);
    EXPECT_EQ(FormPlay->GameState, TGameState::Lobby);
    EXPECT_EQ(FormPlay->MemberNo, 2);
    EXPECT_EQ(Members(), (std::vector<TextList>{{"1", "2", "1", "0"}, {"2", "1", "0", "0"}}));
    ASSERT_TRUE(Controls().Button5->isEnabled());
    Click(Controls().Button5);
    EXPECT_EQ(Members(), (std::vector<TextList>{{"1", "2", "1", "0"}, {"2", "1", "1", "0"}}));
    EXPECT_GT(TickUntil(TGameState::Starting, 3), 0);
}

// ---- one question ----

TEST_F(PlayWindow, QuestionTextAppearsTwoBytesPerTickWithoutHalfCharacters)
{
    AddQuestions({{"abcdefg"}, {Sjis("あいう")}, {"a", Sjis("あ"), Sjis("い"), Sjis("う")}});
    StartGame();
    const std::vector<std::vector<std::string>> expected = {
        {"ab", "abcd", "abcdef", "abcdefg" + Diamond},
        {Sjis("あ"), Sjis("あい"), Sjis("あいう") + Diamond},
        {"a", Sjis("aあ"), Sjis("aあい"), Sjis("aあいう") + Diamond},
    };
    for (int q = 1; q <= 3; ++q) {
        Tick();
        ASSERT_EQ(FormPlay->GameState, TGameState::RevealQuestion);
        EXPECT_EQ(LabelB(), Sjis("第 ") + std::to_string(q) + Sjis(" 問"));
        std::vector<std::string> shown;
        while (FormPlay->GameState == TGameState::RevealQuestion && shown.size() < 10) {
            Tick();
            shown.push_back(Memo());
        }
        EXPECT_EQ(shown, expected[static_cast<size_t>(q - 1)]) << "question " << q;
        EXPECT_EQ(FormPlay->GameState, TGameState::AnswerTime);
        ASSERT_GT(TickUntil(TGameState::LoadQuestion), 0);
    }
}

TEST_F(PlayWindow, CorrectAnswerStandsOnTheButtonThatAnnNames)
{
    AddQuestions({{"q", "", "", "", 1}, {"q", "", "", "", 2}, {"q", "", "", "", 3}, {"q", "", "", "", 4},
                  {"q", "", "", "", 0}, {"q", "", "", "", 5}});
    StartGame();
    const std::vector<std::vector<std::string>> expected = {
        {"right1", "one1", "two1", "three1"}, {"one2", "right2", "two2", "three2"},
        {"one3", "two3", "right3", "three3"}, {"one4", "two4", "three4", "right4"},
        {"one5", "two5", "three5", "right5"}, {"one6", "two6", "three6", "right6"},
    };
    for (size_t q = 0; q < expected.size(); ++q) {
        Tick();
        EXPECT_EQ(Captions(), expected[q]) << "question " << q + 1;
        for (int k = 1; k <= 4; ++k) EXPECT_TRUE(Button(k)->isEnabled());
        ASSERT_GT(TickUntil(TGameState::LoadQuestion), 0);
    }
}

TEST_F(PlayWindow, PressingButton3KeepsOnlyItsCaptionAndStoresTheAnswer)
{
    AddQuestions({{"abcdefgh", "", "", "", 2}});
    AddMember(1, 2, 1);
    StartGame();
    Tick();
    Click(Button(3));
    EXPECT_EQ(Captions(), (std::vector<std::string>{"", "", "two1", ""}));
    for (int k = 1; k <= 4; ++k) EXPECT_FALSE(Button(k)->isEnabled());
    Click(Button(1));
    EXPECT_EQ(Answers(), (std::vector<TextList>{{"0", "1", "3"}}));
}

TEST_F(PlayWindow, FirstCorrectAnswerInListOrderWinsAndOnlyTheWinnerScores)
{
    AddQuestions({{"abcdefgh", "", "", "", 2}, {"abcdefgh", "", "", "", 3}});
    AddMember(1, 2, 1);  // bob
    AddMember(2, 3, 1);  // carol
    StartGame();
    EXPECT_EQ(FormPlay->ReadyCount, 3);

    // Question 1: bob wrong, carol right, then this player right. The answer table is new, so
    // the database returns the rows in the order they were written.
    Tick();
    AddAnswer(2, 1);
    AddAnswer(3, 2);
    Click(Button(2));
    ASSERT_GT(TickUntil(TGameState::ShowAnswer, 3), 0);
    ASSERT_EQ(FormPlay->AnswerItems(), (std::vector<std::string>{"bob '2\"\x81\x46" "1", "carol '3\"\x81\x46" "2",
                                                                  "alice '1\"\x81\x46" "2"}));
    SetMember(1, "OK=3");
    SetMember(2, "OK=3");
    ASSERT_GT(TickUntil(TGameState::WaitJudged, 6), 0);
    EXPECT_EQ(LabelB(), Sjis("第 1 問の正解者：carol"));
    EXPECT_EQ(Members(), (std::vector<TextList>{{"1", "2", "3", "0"}, {"2", "3", "3", "0"}, {"3", "1", "4", "0"}}));

    // Question 2: only this player right. (Rows written after a deletion may come back in
    // any order, so the order is not relied on here.)
    SetMember(1, "OK=4");
    SetMember(2, "OK=4");
    ASSERT_GT(TickUntil(TGameState::LoadQuestion, 3), 0);
    Tick();
    Click(Button(3));
    AddAnswer(2, 1);
    AddAnswer(3, 4);
    ASSERT_GT(TickUntil(TGameState::ShowAnswer, 3), 0);
    SetMember(1, "OK=3");
    SetMember(2, "OK=3");
    ASSERT_GT(TickUntil(TGameState::WaitJudged, 6), 0);
    EXPECT_EQ(LabelB(), Sjis("第 2 問の正解者：alice"));
    EXPECT_EQ(Value("GP", "QUIZMEM", "MN=1"), "1");
    EXPECT_EQ(Value("OK", "QUIZMEM", "MN=1"), "5");
    EXPECT_EQ(Value("GP", "QUIZMEM", "MN=2"), "0");
}

TEST_F(PlayWindow, WithoutAnswersTheQuestionRunsItsFullTimeAndHasNoWinner)
{
    AddQuestions({{"abcdefg", "", "", "", 1}});
    StartGame();
    Tick();
    // Two stray answers, both wrong: more items than awaited do not end the question.
    AddAnswer(2, 2);
    AddAnswer(3, 3);
    PaintedTexts painted(Controls().LabelB);
    EXPECT_EQ(TickUntil(TGameState::ShowAnswer), 4 + 6);
    std::vector<std::string> expected;
    for (int n = 5; n >= 0; --n) expected.push_back(Sjis("第 1 問　：") + std::to_string(n));
    expected.push_back("");
    EXPECT_EQ(painted.Take(), expected);
    Tick();
    EXPECT_EQ(LabelB(), Sjis("第 1 問の答え：1"));
    ASSERT_GT(TickUntil(TGameState::WaitJudged, 3), 0);
    EXPECT_EQ(LabelB(), Sjis("第 1 問の正解者：無し"));
    EXPECT_EQ(Value("GP", "QUIZMEM", "MN=1"), "0");
}

TEST_F(PlayWindow, LoadingAQuestionForgetsTheAnswersOfThePreviousOne)
{
    AddQuestions({{"abcdefgh"}, {"abcdefgh"}});
    StartGame();
    Tick();
    Click(Button(CorrectButton()));
    ASSERT_GT(TickUntil(TGameState::ShowAnswer, 3), 0);
    ASSERT_GT(TickUntil(TGameState::LoadQuestion), 0);
    ASSERT_EQ(FormPlay->AnswerItems().size(), 1u);

    Tick();
    EXPECT_TRUE(FormPlay->AnswerItems().empty());
    FormPlay->RefreshTick = 0;  // the next tick does not read the answers
    Tick();
    EXPECT_EQ(FormPlay->GameState, TGameState::RevealQuestion);
}

TEST_F(PlayWindow, AnswerErasedByASlowerProgramIsWrittenAgainUpToThreeTimes)
{
    AddQuestions({{std::string(30, 'x')}});
    AddMember(1, 2, 1);  // bob keeps the question open by never answering
    StartGame();
    Tick();
    Click(Button(CorrectButton()));
    for (int erased = 1; erased <= 4; ++erased) {
        ASSERT_TRUE(Db().DeleteRows("QUIZANS", ""));  // a slower program loads the question
        Tick(2);                                     // one of the two ticks reads the answers
        ASSERT_EQ(FormPlay->GameState, TGameState::RevealQuestion);
        const std::vector<TextList> kept = {{"0", "1", std::to_string(CorrectButton())}};
        EXPECT_EQ(Answers(), erased <= 3 ? kept : std::vector<TextList>()) << "erased " << erased << " times";
    }
}

// ---- the barriers ----

TEST_F(PlayWindow, BarriersAcceptMembersThatAlreadyMovedOn)
{
    AddQuestions({{"ab"}, {"ab"}});
    AddMember(1, 2, 1);
    StartGame();
    // Bob has shown and judged question 1 already.
    SetMember(1, "OK=4");
    ASSERT_GT(TickUntil(TGameState::WaitShown, 12), 0);
    EXPECT_GT(TickUntil(TGameState::Judge, 2), 0);
    // Now he shows the answer of question 2.
    SetMember(1, "OK=3");
    EXPECT_GT(TickUntil(TGameState::LoadQuestion, 3), 0);
    EXPECT_EQ(FormPlay->QuestionNo, 2);
}

// The programs of a room pass a barrier on the first tick after the last status is written and
// read each question's answers on the same ticks, so that none falls a tick behind the rest.
TEST_F(PlayWindow, BarriersReadTheRoomOnEveryTickAndTheFirstRevealTickReadsTheAnswers)
{
    AddQuestions({{"abcdefgh"}, {"abcdefgh"}});
    AddMember(1, 2, 1);
    StartGame();
    FormPlay->RefreshTick = 0;  // on the counter alone, the first reveal tick would not read
    LoadNext();
    AddAnswer(2, 1);
    Click(Button(CorrectButton()));
    EXPECT_EQ(TickUntil(TGameState::ShowAnswer, 1), 1);

    ASSERT_GT(TickUntil(TGameState::WaitShown, 1), 0);  // bob has not shown the answer yet
    for (int tick = 0; tick < 2; ++tick) {
        FormPlay->RefreshTick = 0;  // a tick on which the counter alone would not read
        SetMember(1, tick == 0 ? "OK=2" : "OK=3");
        Tick();
    }
    EXPECT_EQ(FormPlay->GameState, TGameState::Judge);

    ASSERT_GT(TickUntil(TGameState::WaitJudged, 1), 0);
    SetMember(1, "OK=2");
    Tick();
    ASSERT_EQ(FormPlay->GameState, TGameState::WaitJudged);
    FormPlay->RefreshTick = 0;
    SetMember(1, "OK=4");
    Tick();
    EXPECT_EQ(FormPlay->GameState, TGameState::LoadQuestion);
    EXPECT_EQ(FormPlay->QuestionNo, 2);
}

TEST_F(PlayWindow, ASlowTickDoesNotPushTheNextOneBack)
{
    AddQuestions({{"ab"}});
    StartGame();
    ASSERT_GT(TickUntil(TGameState::ShowAnswer), 0);
    // Another program holds this program's row until a second has passed, so the status
    // written on the next tick waits that long.
    ASSERT_TRUE(Db().ExecSqlLines({"CREATE PROCEDURE HOLD_MEMBERS RETURNS (HELD INTEGER) AS", "BEGIN",
                                   "  EXECUTE STATEMENT 'UPDATE QUIZMEM SET GP = GP';", "  HELD = 1;", "  SUSPEND;",
                                   "END"}));
    QuizDatabase other{GameDatabasePath};
    other.ConnectDatabase();
    std::string held;
    ASSERT_EQ(other.SelectFirstValue("HELD", "HOLD_MEMBERS", "", held), 1);
    std::thread release([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
        other.CountRows("QUIZMEM", "");  // ends its transaction
    });
    Tick();
    release.join();
    ASSERT_EQ(FormPlay->GameState, TGameState::WaitShown);
    ASSERT_GE(FormPlay->LastTickWorkUs, 900 * 1000);
    // The next tick is due one interval after this one began, not after it ended.
    ASSERT_TRUE(FormPlay->Timer1.isActive());
    EXPECT_LE(FormPlay->Timer1.remainingTime(), GameTiming.TickMs - 900);
    other.DisconnectDatabase();
}

TEST_F(PlayWindow, AfterTheLastQuestionOnlyTheLastJudgementPassesAndAStoppedMemberIsGivenUp)
{
    AddQuestions({{"ab"}});
    AddMember(1, 2, 1);
    StartGame();
    FormPlay->QuestionNo = 10;
    SetMember(1, "OK=3");  // bob showed the answer, then stopped
    ASSERT_GT(TickUntil(TGameState::WaitJudged, 15), 0);
    // Bob's 3 is not the judgement of question 10: he is waited for 20 ticks, then given up.
    EXPECT_EQ(TickUntil(TGameState::FinalResult, 20), -1);
    EXPECT_EQ(TickUntil(TGameState::FinalResult, 1), 1);
}

TEST_F(PlayWindow, StoppedMemberIsGivenUpAfterTheLimitAndWaitedForAgainOnceItMoves)
{
    AddQuestions({{"abcdefg"}, {"abcdefg"}, {"abcdefg"}});
    AddMember(1, 2, 1);
    StartGame();
    SetMember(1, "OK=2");  // bob started, then stopped
    ASSERT_GT(TickUntil(TGameState::WaitShown), 0);
    // Four reveal ticks, six answer ticks and ten more: twenty ticks of waiting.
    EXPECT_EQ(TickUntil(TGameState::Judge, 20), -1);
    EXPECT_EQ(TickUntil(TGameState::Judge, 1), 1);

    // He counts as gone while his status stays, and no answer is awaited from him: this
    // player's answer ends the question at once.
    ASSERT_GT(TickUntil(TGameState::WaitJudged, 1), 0);
    EXPECT_GT(TickUntil(TGameState::RevealQuestion, 3), 0);
    Click(Button(1));
    EXPECT_GT(TickUntil(TGameState::ShowAnswer, 3), 0);
    ASSERT_GT(TickUntil(TGameState::WaitShown), 0);
    EXPECT_GT(TickUntil(TGameState::Judge, 2), 0);
    ASSERT_GT(TickUntil(TGameState::LoadQuestion, 4), 0);
    EXPECT_EQ(FormPlay->QuestionNo, 3);

    // He moves again (he judged question 1): from now on he is waited for.
    SetMember(1, "OK=4");
    ASSERT_GT(TickUntil(TGameState::WaitShown), 0);
    EXPECT_EQ(TickUntil(TGameState::Judge, 8), -1);
    SetMember(1, "OK=3");
    EXPECT_GT(TickUntil(TGameState::Judge, 2), 0);
}

// ---- the end of a game ----

TEST_F(PlayWindow, OnePlayerWinsTheWholeGameAndGainsOnePoint)
{
    std::vector<Question> questions;
    for (int n = 1; n <= 10; ++n) questions.push_back({"question" + std::to_string(n), "", "", "", n % 4 + 1});
    AddQuestions(questions);
    std::string label, winners;
    QObject::connect(FormPlay, &TFormPlay::ResultShown, [&] {
        label = LabelB();
        winners = Memo();
    });
    StartGame();
    for (int q = 1; q <= 10; ++q) {
        Tick();
        ASSERT_EQ(FormPlay->QuestionNo, q);
        EXPECT_EQ(FormPlay->QuestionText, "question" + std::to_string(q));
        Click(Button(CorrectButton()));
        ASSERT_GT(TickUntil(q < 10 ? TGameState::LoadQuestion : TGameState::FinalResult), 0);
    }
    Tick();
    EXPECT_EQ(label, Sjis("最高得点：10"));
    EXPECT_EQ(winners, "alice,");
    EXPECT_EQ(Value("POINTS", "PLAYER", "N=1"), "1");
    // Alone, the program dropped the old room and made a new one.
    EXPECT_EQ(FormPlay->GameState, TGameState::Lobby);
    EXPECT_EQ(Members(), (std::vector<TextList>{{"1", "1", "0", "0"}}));
    EXPECT_TRUE(Answers().empty());
    EXPECT_TRUE(FormPlay->Timer1.isActive());
    EXPECT_EQ(LabelB(), "");
    EXPECT_TRUE(Controls().Button5->isEnabled());
}

TEST_F(PlayWindow, FewerThanTenQuestionsReplayTheLastOne)
{
    AddQuestions({{"first"}, {"second"}, {"third"}, {"fourth"}});
    StartGame();
    std::vector<std::string> texts;
    for (int q = 1; q <= 10; ++q) {
        Tick();
        texts.push_back(FormPlay->QuestionText);
        Click(Button(CorrectButton()));
        ASSERT_GT(TickUntil(q < 10 ? TGameState::LoadQuestion : TGameState::FinalResult), 0);
    }
    EXPECT_EQ(texts, (std::vector<std::string>{"first", "second", "third", "fourth", "fourth", "fourth", "fourth",
                                               "fourth", "fourth", "fourth"}));
}

TEST_F(PlayWindow, ThreeTopScorersShareThePointInMemberOrder)
{
    AddQuestions({{"ab"}});
    AddMember(1, 2, 1);
    AddMember(2, 3, 1);
    AddMember(3, 4, 1);
    std::string label, winners;
    QObject::connect(FormPlay, &TFormPlay::ResultShown, [&] {
        label = LabelB();
        winners = Memo();
    });
    StartGame();
    FormPlay->QuestionNo = 10;
    Tick();
    // The others judged the last question already; this player scored 3 as well.
    SetMember(1, "OK=13,GP=3");
    SetMember(2, "OK=13,GP=1");
    SetMember(3, "OK=13,GP=3");
    SetMember(4, "GP=3");
    ASSERT_TRUE(Db().UpdateText("QUIZQA", "SN=100,ANN=NULL", ""));
    ASSERT_GT(TickUntil(TGameState::FinalResult, 15), 0);
    Tick();
    EXPECT_EQ(label, Sjis("最高得点：3"));
    EXPECT_EQ(winners, "bob,dave,alice,");
    EXPECT_EQ(Value("POINTS", "PLAYER", "N=1"), "0.333333333333333");
    EXPECT_EQ(Value("POINTS", "PLAYER", "N=2"), "0");

    // The finished members leave by themselves; this program joined the open room anew and
    // draws the next game's order on its first lobby tick.
    EXPECT_EQ(Members(), (std::vector<TextList>{{"1", "2", "13", "3"}, {"2", "3", "13", "1"}, {"3", "4", "13", "3"},
                                                {"4", "1", "0", "0"}}));
    EXPECT_EQ(FormPlay->MemberNo, 4);
    Tick();
    EXPECT_NE(Value("ANN", "QUIZQA", "N=1"), "");
}

TEST_F(PlayWindow, TopScoreZeroChangesNoPoints)
{
    AddQuestions({{"ab"}});
    ASSERT_TRUE(Db().UpdateText("PLAYER", "POINTS=1.5", "N=1"));
    std::string label = "none", winners = "none";
    QObject::connect(FormPlay, &TFormPlay::ResultShown, [&] {
        label = LabelB();
        winners = Memo();
    });
    StartGame();
    FormPlay->QuestionNo = 10;
    ASSERT_GT(TickUntil(TGameState::FinalResult, 20), 0);
    Tick();
    EXPECT_EQ(label, Sjis("最高得点：0"));
    EXPECT_EQ(winners, "");
    EXPECT_EQ(Value("POINTS", "PLAYER", "N=1"), "1.5");
}

TEST_F(PlayWindow, MembersThatStoppedAreRemovedWhenTheGameEnds)
{
    AddQuestions({{"ab"}});
    AddMember(1, 2, 1);
    AddMember(2, 3, 1);
    StartGame();
    FormPlay->QuestionNo = 10;
    SetMember(1, "OK=13");
    SetMember(2, "OK=8");  // carol stopped at question 5
    ASSERT_GT(TickUntil(TGameState::FinalResult, 70), 0);
    Tick();
    EXPECT_EQ(Members(), (std::vector<TextList>{{"1", "2", "13", "0"}, {"2", "1", "0", "0"}}));
}

// ---- leaving ----

TEST_F(PlayWindow, QuitRemovesOnlyTheOwnRowWhileOthersPlay)
{
    AddQuestions({{"ab"}});
    AddMember(1, 2, 1);
    StartGame();
    Tick();
    Click(Controls().Button6);
    EXPECT_FALSE(FormPlay->isVisible());
    EXPECT_FALSE(FormPlay->Timer1.isActive());
    EXPECT_EQ(Members(), (std::vector<TextList>{{"1", "2", "1", "0"}}));
    // Bob is still playing and answers into the (now empty) answer table.
    EXPECT_TRUE(Db().TableExists("QUIZANS"));
}

TEST_F(PlayWindow, LastMemberToQuitDropsTheRoomAndAnEmptyAnswerTable)
{
    AddQuestions({{"ab"}});
    Show();
    Click(Controls().Button6);
    EXPECT_FALSE(Db().TableExists("QUIZMEM"));
    EXPECT_FALSE(Db().TableExists("QUIZANS"));

    // Answers left in the table keep it.
    Show();
    AddAnswer(1, 1);
    Click(Controls().Button6);
    EXPECT_FALSE(Db().TableExists("QUIZMEM"));
    EXPECT_TRUE(Db().TableExists("QUIZANS"));
}

TEST_F(PlayWindow, QuitAfterAFinishedGameRemovesTheNewRow)
{
    AddQuestions({{"ab"}});
    StartGame();
    FormPlay->QuestionNo = 10;
    ASSERT_GT(TickUntil(TGameState::FinalResult, 20), 0);
    Tick();
    ASSERT_EQ(Members().size(), 1u);
    Click(Controls().Button6);
    EXPECT_FALSE(Db().TableExists("QUIZMEM"));
    EXPECT_FALSE(Db().TableExists("QUIZANS"));
}

}  // namespace
