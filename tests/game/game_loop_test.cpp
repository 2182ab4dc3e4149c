// The game loop on a real (embedded) database, with no window and no timer: the tests tick it
// themselves and play the other members by writing their QUIZMEM and QUIZANS rows between
// ticks, as their programs would.
#include "app/sjis_text.h"
#include "game/game_loop.h"

#include "support/firebird_fixture.h"
#include "support/tcp_relay.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>

namespace {

const std::string Diamond = "\x81\x9F";  // ◆

// Records what the loop showed: every progress text (repeats merged), how often each part
// changed, the messages of a turn-away and the view at each final result.
class RecordingScreen : public GameScreen {
public:
    void ViewChanged(const GameView& view, ViewPart part) override
    {
        ++Changes[part];
        if (part == ViewPart::Progress && (Progress.empty() || Progress.back() != view.Progress))
            Progress.push_back(view.Progress);
    }
    void TurnAway(const std::string& message) override { TurnedAway.push_back(message); }
    void Alert(const std::string& message) override { Alerts.push_back(message); }
    void FinalResultShown(const GameView& view) override { Results.push_back(view); }

    std::vector<std::string> Progress;
    std::map<ViewPart, int> Changes;
    std::vector<std::string> TurnedAway;
    std::vector<std::string> Alerts;
    std::vector<GameView> Results;
};

struct Question {
    std::string Q1{}, Q2{}, Q3{}, Q4{};
    int Ann = 4;
};

class GameLoopTest : public GameDatabaseTest {
protected:
    void SetUp() override
    {
        GameDatabaseTest::SetUp();
        ASSERT_TRUE(Db.CreatePlayerTable());
        ASSERT_TRUE(Db.CreateQuizQaTable());
        const char* names[] = {"alice", "bob", "carol", "dave"};
        for (int n = 1; n <= 4; ++n) AddPlayer(std::to_string(n), std::string("'") + names[n - 1] + "'", "'12345678'", "0");
    }

    void AddQuestions(const std::vector<Question>& questions)
    {
        for (const Question& q : questions) {
            const std::string n = std::to_string(++QuestionCount);
            ASSERT_TRUE(Db.InsertText("QUIZQA", "N,SN,Q1,Q2,Q3,Q4,ANS,AN1,AN2,AN3,ANN",
                                      n + ",0,'" + q.Q1 + "','" + q.Q2 + "','" + q.Q3 + "','" + q.Q4 + "','right" + n +
                                          "','one" + n + "','two" + n + "','three" + n + "'," + std::to_string(q.Ann)));
            Ann[n] = q.Ann;
        }
    }
    // Undoes the draw of the room's first member: questions play in N order with their own ANN.
    void FixOrder()
    {
        for (const auto& [n, ann] : Ann)
            ASSERT_TRUE(Db.UpdateText("QUIZQA", "SN=" + n + ",ANN=" + std::to_string(ann), "N=" + n));
    }

    // A row of another member; the room comes into being when there is none yet.
    void AddMember(int n, int mn, int ok, int gp = 0)
    {
        if (!Db.TableExists("QUIZMEM")) {
            ASSERT_TRUE(Db.CreateQuizMemTable());
        }
        ASSERT_TRUE(Db.InsertText("QUIZMEM", "N,MN,OK,GP",
                                  std::to_string(n) + "," + std::to_string(mn) + "," + std::to_string(ok) + "," +
                                      std::to_string(gp)));
    }
    void SetMember(int n, const std::string& set) { ASSERT_TRUE(Db.UpdateText("QUIZMEM", set, "N=" + std::to_string(n))); }
    void AddAnswer(int mn, int an)
    {
        ASSERT_TRUE(Db.InsertText("QUIZANS", "N,MN,AN", "0," + std::to_string(mn) + "," + std::to_string(an)));
    }
    std::vector<TextList> Members() { return ReadRows(Db, "N,MN,OK,GP", "QUIZMEM", "", "N", 4); }
    std::vector<TextList> Answers() { return ReadRows(Db, "N,MN,AN", "QUIZANS", "", "", 3); }
    std::string Value(const std::string& field, const std::string& table, const std::string& condition)
    {
        std::string value;
        Db.SelectFirstValue(field, table, condition, value);
        return value;
    }

    const GameProgress& Progress() const { return Loop.Progress(); }
    const GameView& View() const { return Loop.View(); }
    TGameState State() const { return Loop.Progress().GameState; }

    void Join() { Loop.Join({1, "alice"}); }
    // One tick as the window runs it: the steps that follow a pause at once belong to it.
    void Tick(int count = 1)
    {
        for (int i = 0; i < count; ++i) {
            TickEnd end;
            do end = Loop.Tick();
            while (end.GoOn && end.NextAtOnce);
        }
    }
    // Ticks until the loop stands in the state; the number of ticks taken, or -1.
    int TickUntil(TGameState state, int limit = 60)
    {
        for (int i = 1; i <= limit; ++i) {
            Tick();
            if (State() == state) return i;
        }
        return -1;
    }
    // The button that carries the correct answer of the loaded question.
    int CorrectButton() const
    {
        const int correct = Progress().CorrectButton;
        return correct >= 1 && correct <= 3 ? correct : 4;
    }
    std::string Label(int q, const char* rest) { return Sjis("第 ") + std::to_string(q) + Sjis(rest); }

    // Joins, presses ready and counts down to the first question.
    void StartGame()
    {
        Join();
        Loop.Ready();  // draws whatever of the order is left
        ASSERT_NO_FATAL_FAILURE(FixOrder());
        ASSERT_GT(TickUntil(TGameState::LoadQuestion, 20), 0);
    }
    // Plays on until question q is about to load, nobody answering; the members given show and
    // judge every question along with this player.
    void SkipTo(int q, const std::vector<int>& followers)
    {
        for (int ticks = 0; Progress().QuestionNo < q && ticks < 40 * q; ++ticks) {
            Tick();
            const std::string status = State() == TGameState::WaitShown ? "3" : std::to_string(Progress().QuestionNo + 3);
            if (State() == TGameState::WaitShown || State() == TGameState::WaitJudged)
                for (int n : followers) SetMember(n, "OK=" + status);
        }
        ASSERT_EQ(Progress().QuestionNo, q);
        ASSERT_EQ(State(), TGameState::LoadQuestion);
    }

    RecordingScreen Screen;
    GameLoop Loop{Db, Screen, TGameTiming{500, 0, 0}};
    int QuestionCount = 0;
    std::map<std::string, int> Ann;
};

// ---- the player line and the lists ----

TEST_F(GameLoopTest, PlayerLineShowsNameNumberAndPointsCutToTwoDecimals)
{
    const std::pair<const char*, const char*> cases[] = {{"1.239", "1.23"}, {"2", "2"}, {"0", "0"}, {"0.29", "0.29"}};
    for (const auto& [points, shown] : cases) {
        ASSERT_TRUE(Db.UpdateText("PLAYER", std::string("POINTS=") + points, "N=1"));
        Join();
        EXPECT_EQ(View().Player, std::string("alice(N:1) Points:") + shown) << points;
        Loop.Leave();
    }
    // Without a PLAYER row the plain name stays.
    Loop.Join({9, "alice"});
    EXPECT_EQ(View().Player, "alice");
}

TEST_F(GameLoopTest, FirstTickOnlyCountsTheNextReadsTheMembersAndAnUnchangedListIsNotShownAgain)
{
    AddQuestions({{"q"}});
    AddMember(1, 2, 0);  // bob came first and draws the order
    Join();
    const uint64_t before = Db.StatementsSent();
    Tick();
    EXPECT_EQ(Db.StatementsSent(), before);
    EXPECT_TRUE(View().Members.empty());
    Tick();
    EXPECT_EQ(View().Members, (std::vector<RoomMember>{{"bob", 0, 0}, {"alice", 0, 0}}));

    const int shown = Screen.Changes[ViewPart::Members];
    Tick(2);
    EXPECT_EQ(Screen.Changes[ViewPart::Members], shown);
    SetMember(1, "OK=1");
    Tick(2);
    EXPECT_EQ(Screen.Changes[ViewPart::Members], shown + 1);
    EXPECT_EQ(View().Members[0].Status, 1);
}

// ---- lobby and start ----

TEST_F(GameLoopTest, ReadyStartsACountdownFromTenToZero)
{
    AddQuestions({{"q"}});
    Join();
    Loop.Ready();
    EXPECT_FALSE(View().ReadyEnabled);
    EXPECT_EQ(Value("OK", "QUIZMEM", "N=1"), "1");

    const int lobbyTicks = TickUntil(TGameState::Starting, 3);
    EXPECT_TRUE(lobbyTicks == 1 || lobbyTicks == 2) << lobbyTicks;
    Screen.Progress.clear();
    EXPECT_EQ(TickUntil(TGameState::LoadQuestion, 20), 11);
    std::vector<std::string> expected;
    for (int n = 10; n >= 0; --n) expected.push_back(Sjis("まもなくゲームスタートです ... ") + std::to_string(n));
    expected.push_back("");
    EXPECT_EQ(Screen.Progress, expected);
    EXPECT_EQ(Progress().QuestionNo, 1);
    EXPECT_EQ(Progress().ReadyCount, 1);
    EXPECT_EQ(Value("OK", "QUIZMEM", "N=1"), "2");
}

TEST_F(GameLoopTest, FirstMemberDrawsTheOrderInPartsAndCompletesItBeforeItIsReady)
{
    AddQuestions(std::vector<Question>(60, Question{"q"}));
    ASSERT_TRUE(Db.UpdateText("QUIZQA", "SN=999,ANN=9", ""));
    const auto undrawn = [&] { return Db.CountRows("QUIZQA", "SN=999"); };
    Join();
    EXPECT_EQ(undrawn(), 60);
    Tick();
    EXPECT_EQ(undrawn(), 35);
    Loop.Ready();
    EXPECT_EQ(undrawn(), 0);
    EXPECT_EQ(Db.CountRows("QUIZQA", "SN>=0 AND SN<=59 AND ANN>=1 AND ANN<=4"), 60);
    EXPECT_EQ(Value("OK", "QUIZMEM", "N=1"), "1");
}

TEST_F(GameLoopTest, NewcomerDuringTheCountdownSendsEveryoneBackToTheLobby)
{
    AddQuestions({{"q"}});
    Join();
    Loop.Ready();
    ASSERT_GT(TickUntil(TGameState::Starting, 3), 0);
    Tick(3);
    AddMember(2, 2, 0);
    EXPECT_GT(TickUntil(TGameState::Lobby, 2), 0);
    EXPECT_EQ(View().Progress, "");
    EXPECT_EQ(Value("OK", "QUIZMEM", "N=1"), "1");

    // The newcomer's ready starts a fresh countdown.
    SetMember(2, "OK=1");
    ASSERT_GT(TickUntil(TGameState::Starting, 3), 0);
    Screen.Progress.clear();
    Tick();
    EXPECT_EQ(Screen.Progress, std::vector<std::string>{Sjis("まもなくゲームスタートです ... 10")});
}

TEST_F(GameLoopTest, ReadyCountTakesReadyAndStartedMembersOfTheLastCountdownTick)
{
    AddQuestions({{"q"}});
    AddMember(1, 2, 1);
    AddMember(2, 3, 1);
    AddMember(3, 4, 1);
    Join();
    EXPECT_EQ(Progress().MemberNo, 4);
    Loop.Ready();
    ASSERT_GT(TickUntil(TGameState::Starting, 3), 0);
    Tick(5);
    // Bob's countdown ended first; carol left.
    SetMember(1, "OK=2");
    ASSERT_TRUE(Db.DeleteRows("QUIZMEM", "N=2"));
    ASSERT_GT(TickUntil(TGameState::LoadQuestion, 10), 0);
    EXPECT_EQ(Progress().ReadyCount, 3);
}

TEST_F(GameLoopTest, LateJoinerIsTurnedAwayAndLeavesTheGameAlone)
{
    AddQuestions({{"q"}});
    AddMember(1, 2, 5, 1);
    AddMember(2, 3, 6, 0);
    ASSERT_TRUE(Db.CreateQuizAnsTable());
    const auto order = ReadRows(Db, "N,SN,ANN", "QUIZQA", "", "N", 3);

    Join();
    EXPECT_EQ(Progress().MemberNo, 3);
    // A game that moves on is running: the newcomer is turned away at its next look.
    Tick(2);
    EXPECT_TRUE(Screen.TurnedAway.empty());
    SetMember(1, "OK=3");
    Tick(2);
    EXPECT_EQ(Screen.TurnedAway, std::vector<std::string>{Sjis("現在ゲーム実行中です。しばらく後に再度スタートして下さい")});
    EXPECT_EQ(State(), TGameState::Left);
    EXPECT_FALSE(Loop.Tick().GoOn);
    EXPECT_EQ(Members(), (std::vector<TextList>{{"1", "2", "3", "1"}, {"2", "3", "6", "0"}}));
    // The players' answer table stays, empty as it is between two questions.
    EXPECT_TRUE(Db.TableExists("QUIZANS"));
    EXPECT_EQ(ReadRows(Db, "N,SN,ANN", "QUIZQA", "", "N", 3), order);
}

TEST_F(GameLoopTest, MembersThatJustFinishedDoNotSendANewcomerAway)
{
    AddQuestions({{"q"}});
    AddMember(1, 2, 13, 4);
    Join();
    Loop.Ready();
    Tick(4);
    EXPECT_TRUE(Screen.TurnedAway.empty());
    EXPECT_EQ(State(), TGameState::Lobby);

    // Once the finished member has left, the game starts.
    ASSERT_TRUE(Db.DeleteRows("QUIZMEM", "N=1"));
    EXPECT_GT(TickUntil(TGameState::Starting, 3), 0);
}

// A join that left no row (the insert refused, or the room dropped under it by a program that
// finished a game) is made again on the next read of the room, and ready works after it.
TEST_F(GameLoopTest, LobbyMemberWithoutARowJoinsAgain)
{
    AddQuestions({{"q"}});
    AddMember(1, 2, 0);
    ASSERT_TRUE(Db.ExecSqlLines({"ALTER TABLE QUIZMEM ADD CONSTRAINT NO_ALICE CHECK (MN <> 1);"}));
    Join();
    EXPECT_EQ(Progress().MemberNo, 0);
    Loop.Ready();
    EXPECT_TRUE(View().ReadyEnabled);
    EXPECT_EQ(Members(), (std::vector<TextList>{{"1", "2", "0", "0"}}));
    ASSERT_TRUE(Db.ExecSqlLines({"ALTER TABLE QUIZMEM DROP CONSTRAINT NO_ALICE;"}));
    Tick(2);
    EXPECT_EQ(Progress().MemberNo, 2);
    Loop.Ready();
    EXPECT_FALSE(View().ReadyEnabled);

    // Another program drops the room just as this one stands ready in it, and makes a new one
    // where bob is ready.
    ASSERT_TRUE(Db.DropTable("QUIZMEM"));
    AddMember(1, 2, 1);
    Tick(2);
    EXPECT_EQ(State(), TGameState::Lobby);
    EXPECT_EQ(Progress().MemberNo, 2);
    ASSERT_TRUE(View().ReadyEnabled);
    Loop.Ready();
    EXPECT_EQ(Members(), (std::vector<TextList>{{"1", "2", "1", "0"}, {"2", "1", "1", "0"}}));
    EXPECT_GT(TickUntil(TGameState::Starting, 3), 0);
}

// A room whose statements fail every time (here the room table lacks a column; in a classroom,
// a server whose disk filled as the room was made) stops the loop with the server's text,
// instead of a lobby that polls for good in silence.
TEST_F(GameLoopTest, StatementsThatKeepFailingStopTheLoopAndSayWhy)
{
    ASSERT_TRUE(Db.ExecSqlLines({"CREATE TABLE QUIZMEM (N INTEGER NOT NULL UNIQUE, MN INTEGER, GP INTEGER);"}));
    Join();
    EXPECT_EQ(TickUntil(TGameState::Failed, 30), -1);
    EXPECT_GT(TickUntil(TGameState::Failed, 20), 0);
    EXPECT_FALSE(Loop.Tick().GoOn);
    ASSERT_EQ(Screen.Alerts.size(), 1u);
    EXPECT_EQ(Screen.Alerts[0].rfind(Sjis("データベースの処理が失敗し続けるため、ゲームを止めました"), 0), 0u) << Screen.Alerts[0];
    EXPECT_NE(Screen.Alerts[0].find("OK"), std::string::npos) << Screen.Alerts[0];
    EXPECT_FALSE(View().ReadyEnabled);
}

// ---- one question ----

TEST_F(GameLoopTest, QuestionTextAppearsTwoBytesPerTickBesideItsAnswersInTheOrderAnnGives)
{
    struct Case {
        Question Text;
        std::vector<std::string> Shown;  // the question after each reveal tick
        std::array<std::string, 4> Choices;
    };
    const std::vector<Case> cases = {
        {{"abcdefg", "", "", "", 1}, {"ab", "abcd", "abcdef", "abcdefg" + Diamond}, {"right1", "one1", "two1", "three1"}},
        {{Sjis("あいう"), "", "", "", 2}, {Sjis("あ"), Sjis("あい"), Sjis("あいう") + Diamond}, {"one2", "right2", "two2", "three2"}},
        // The tick whose limit would cut a double-byte character shows one byte less.
        {{"a", Sjis("あ"), Sjis("い"), Sjis("う"), 3}, {"a", Sjis("aあ"), Sjis("aあい"), Sjis("aあいう") + Diamond},
         {"one3", "two3", "right3", "three3"}},
        {{"q", "", "", "", 4}, {"q" + Diamond}, {"one4", "two4", "three4", "right4"}},
        {{"q", "", "", "", 0}, {"q" + Diamond}, {"one5", "two5", "three5", "right5"}},
        {{"q", "", "", "", 5}, {"q" + Diamond}, {"one6", "two6", "three6", "right6"}},
    };
    for (const Case& c : cases) AddQuestions({c.Text});
    StartGame();
    for (size_t q = 1; q <= cases.size(); ++q) {
        SCOPED_TRACE(q);
        Tick();
        ASSERT_EQ(State(), TGameState::RevealQuestion);
        EXPECT_EQ(View().Progress, Label(static_cast<int>(q), " 問"));
        EXPECT_EQ(View().Choices, cases[q - 1].Choices);
        EXPECT_TRUE(View().AnswersEnabled);
        EXPECT_EQ(View().Correct, 0);
        std::vector<std::string> shown;
        while (State() == TGameState::RevealQuestion && shown.size() < 10) {
            Tick();
            shown.push_back(View().Question);
        }
        EXPECT_EQ(shown, cases[q - 1].Shown);
        EXPECT_EQ(State(), TGameState::AnswerTime);
        ASSERT_GT(TickUntil(TGameState::LoadQuestion), 0);
    }
}

TEST_F(GameLoopTest, AnAnswerKeepsOnlyItsChoiceAndCannotBeChanged)
{
    AddQuestions({{"abcdefgh", "", "", "", 2}});
    AddMember(1, 2, 1);
    Join();
    Loop.Answer(1);  // no question yet: nothing is stored
    EXPECT_TRUE(Answers().empty());
    Loop.Ready();
    ASSERT_NO_FATAL_FAILURE(FixOrder());
    ASSERT_GT(TickUntil(TGameState::LoadQuestion, 20), 0);
    Tick();
    for (int bad : {0, 5}) Loop.Answer(bad);
    EXPECT_TRUE(View().AnswersEnabled);
    Loop.Answer(3);
    EXPECT_EQ(View().Chosen, 3);
    EXPECT_EQ(View().Choices, (std::array<std::string, 4>{"one1", "right1", "two1", "three1"}));
    EXPECT_FALSE(View().AnswersEnabled);
    Loop.Answer(1);
    EXPECT_EQ(Answers(), (std::vector<TextList>{{"0", "1", "3"}}));
}

TEST_F(GameLoopTest, FirstCorrectAnswerInListOrderWinsAndOnlyTheWinnerScores)
{
    AddQuestions({{"abcdefgh", "", "", "", 2}, {"abcdefgh", "", "", "", 3}});
    AddMember(1, 2, 1);  // bob
    AddMember(2, 3, 1);  // carol
    StartGame();
    EXPECT_EQ(Progress().ReadyCount, 3);

    // Question 1: bob wrong, carol right, then this player right. The answer table is new, so
    // the database returns the rows in the order they were written.
    Tick();
    AddAnswer(2, 1);
    AddAnswer(3, 2);
    Loop.Answer(2);
    ASSERT_GT(TickUntil(TGameState::ShowAnswer, 3), 0);
    ASSERT_EQ(View().Answers, (std::vector<RoomAnswer>{{"bob", 2, 1}, {"carol", 3, 2}, {"alice", 1, 2}}));
    SetMember(1, "OK=3");
    SetMember(2, "OK=3");
    ASSERT_GT(TickUntil(TGameState::WaitJudged, 6), 0);
    EXPECT_EQ(View().Progress, Label(1, " 問の正解者：carol"));
    EXPECT_EQ(Members(), (std::vector<TextList>{{"1", "2", "3", "0"}, {"2", "3", "3", "0"}, {"3", "1", "4", "0"}}));

    // Question 2: only this player right. (Rows written after a deletion may come back in any
    // order, so the order is not relied on here.)
    SetMember(1, "OK=4");
    SetMember(2, "OK=4");
    ASSERT_GT(TickUntil(TGameState::LoadQuestion, 3), 0);
    Tick();
    Loop.Answer(3);
    AddAnswer(2, 1);
    AddAnswer(3, 4);
    ASSERT_GT(TickUntil(TGameState::ShowAnswer, 3), 0);
    SetMember(1, "OK=3");
    SetMember(2, "OK=3");
    ASSERT_GT(TickUntil(TGameState::WaitJudged, 6), 0);
    EXPECT_EQ(View().Progress, Label(2, " 問の正解者：alice"));
    EXPECT_EQ(Value("GP", "QUIZMEM", "MN=1"), "1");
    EXPECT_EQ(Value("OK", "QUIZMEM", "MN=1"), "5");
    EXPECT_EQ(Value("GP", "QUIZMEM", "MN=2"), "0");
}

TEST_F(GameLoopTest, AnAnswerAfterTheLastReadOfTheQuestionStillCountsAndTheMembersWait)
{
    AddQuestions({{"abc"}});
    AddMember(1, 2, 1);  // bob, who has not answered when the question runs out
    StartGame();
    ASSERT_GT(TickUntil(TGameState::ShowAnswer), 0);
    const auto membersBefore = View().Members;
    AddAnswer(2, CorrectButton());
    SetMember(1, "GP=7");
    Tick();
    // Showing the answer reads the answers, not the members.
    EXPECT_EQ(View().Members, membersBefore);
    EXPECT_EQ(View().Answers, (std::vector<RoomAnswer>{{"bob", 2, CorrectButton()}}));
    SetMember(1, "OK=3");
    ASSERT_GT(TickUntil(TGameState::WaitJudged, 2), 0);
    EXPECT_EQ(View().Progress, Label(1, " 問の正解者：bob"));
}

TEST_F(GameLoopTest, WithoutAnswersTheQuestionRunsItsFullTimeAndHasNoWinner)
{
    AddQuestions({{"abcdefg", "", "", "", 1}});
    StartGame();
    Tick();
    // Two stray answers, both wrong: more items than awaited do not end the question.
    AddAnswer(2, 2);
    AddAnswer(3, 3);
    Screen.Progress.clear();
    EXPECT_EQ(TickUntil(TGameState::ShowAnswer), 4 + 6);
    std::vector<std::string> expected;
    for (int n = 5; n >= 0; --n) expected.push_back(Sjis("第 1 問　：") + std::to_string(n));
    expected.push_back("");
    EXPECT_EQ(Screen.Progress, expected);
    Tick();
    EXPECT_EQ(View().Progress, Label(1, " 問の答え：1"));
    EXPECT_EQ(View().Correct, 1);  // shown once the answer time is over, not before
    ASSERT_GT(TickUntil(TGameState::WaitJudged, 3), 0);
    EXPECT_EQ(View().Progress, Label(1, " 問の正解者：無し"));
    EXPECT_EQ(Value("GP", "QUIZMEM", "MN=1"), "0");
}

TEST_F(GameLoopTest, LoadingAQuestionForgetsThePreviousOnesAnswersAndText)
{
    AddQuestions({{"abcdefgh"}, {"abcdefgh"}});
    StartGame();
    Tick();
    Loop.Answer(CorrectButton());
    ASSERT_GT(TickUntil(TGameState::ShowAnswer, 3), 0);
    ASSERT_GT(TickUntil(TGameState::LoadQuestion), 0);
    ASSERT_EQ(View().Answers.size(), 1u);
    Tick();
    EXPECT_TRUE(View().Answers.empty());
    EXPECT_EQ(View().Question, "");  // nor does its text stand beside the new answers
    EXPECT_EQ(State(), TGameState::RevealQuestion);
}

TEST_F(GameLoopTest, AnswerErasedByASlowerProgramIsWrittenAgainUpToThreeTimes)
{
    AddQuestions({{std::string(30, 'x')}});
    AddMember(1, 2, 1);  // bob keeps the question open by never answering
    StartGame();
    Tick();
    Loop.Answer(CorrectButton());
    for (int erased = 1; erased <= 4; ++erased) {
        ASSERT_TRUE(Db.DeleteRows("QUIZANS", ""));  // a slower program loads the question
        Tick(2);                                    // one of the two ticks reads the answers
        ASSERT_EQ(State(), TGameState::RevealQuestion);
        const std::vector<TextList> kept = {{"0", "1", std::to_string(CorrectButton())}};
        EXPECT_EQ(Answers(), erased <= 3 ? kept : std::vector<TextList>()) << "erased " << erased << " times";
    }
}

// ---- the barriers ----

TEST_F(GameLoopTest, BarriersAcceptMembersThatAlreadyMovedOn)
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
    EXPECT_EQ(Progress().QuestionNo, 2);
}

// The programs of a room pass a barrier on the first tick after the last status is written and
// read each question's answers on the same ticks, so that none falls a tick behind the rest.
TEST_F(GameLoopTest, BarriersReadTheRoomOnEveryTickAndTheFirstTickOfAQuestionReadsItsAnswers)
{
    AddQuestions({{"abcdefgh"}, {"abcdefgh"}});
    AddMember(1, 2, 1);
    StartGame();
    Tick();
    AddAnswer(2, 1);
    Loop.Answer(CorrectButton());
    EXPECT_EQ(TickUntil(TGameState::ShowAnswer, 1), 1);

    ASSERT_GT(TickUntil(TGameState::WaitShown, 1), 0);  // bob has not shown the answer yet
    for (const char* status : {"OK=2", "OK=3"}) {
        SetMember(1, status);
        Tick();
    }
    EXPECT_EQ(State(), TGameState::Judge);

    ASSERT_GT(TickUntil(TGameState::WaitJudged, 1), 0);
    for (const char* status : {"OK=2", "OK=4"}) {
        ASSERT_EQ(State(), TGameState::WaitJudged);
        SetMember(1, status);
        Tick();
    }
    EXPECT_EQ(State(), TGameState::LoadQuestion);
    EXPECT_EQ(Progress().QuestionNo, 2);
}

TEST_F(GameLoopTest, StoppedMemberIsGivenUpAfterTheLimitAndWaitedForAgainOnceItMoves)
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
    Loop.Answer(1);
    EXPECT_GT(TickUntil(TGameState::ShowAnswer, 3), 0);
    ASSERT_GT(TickUntil(TGameState::WaitShown), 0);
    EXPECT_GT(TickUntil(TGameState::Judge, 2), 0);
    ASSERT_GT(TickUntil(TGameState::LoadQuestion, 4), 0);
    EXPECT_EQ(Progress().QuestionNo, 3);

    // He moves again, two questions behind (he judged question 1): he stays given up, and
    // the room does not wait for him.
    SetMember(1, "OK=4");
    ASSERT_GT(TickUntil(TGameState::WaitShown), 0);
    EXPECT_EQ(TickUntil(TGameState::Judge, 1), 1);
    // Once he has judged the question the room is at, he is back in step: awaited again, and
    // his answer too.
    SetMember(1, "OK=6");
    ASSERT_GT(TickUntil(TGameState::RevealQuestion, 3), 0);
    Loop.Answer(1);
    EXPECT_EQ(TickUntil(TGameState::ShowAnswer, 3), -1);
    ASSERT_GT(TickUntil(TGameState::WaitShown), 0);
    EXPECT_EQ(TickUntil(TGameState::Judge, 8), -1);
    SetMember(1, "OK=3");
    EXPECT_GT(TickUntil(TGameState::Judge, 2), 0);
}

// A player the others gave up and played on without: it stops playing that game at its next
// barrier, says so, and plays the next game. The signs: a member that judged a later question,
// or its own row removed.
TEST_F(GameLoopTest, APlayerLeftBehindWaitsForTheNextGameAndJoinsIt)
{
    AddQuestions({{"ab"}, {"ab"}, {"ab"}});
    for (const char* sign : {"OK=7", "own row gone"}) {
        SCOPED_TRACE(sign);
        if (Db.TableExists("QUIZMEM")) {
            ASSERT_TRUE(Db.DropTable("QUIZMEM"));
        }
        AddMember(1, 2, 1);
        StartGame();
        ASSERT_GT(TickUntil(TGameState::WaitShown), 0);
        if (std::string(sign) == "own row gone") {
            ASSERT_TRUE(Db.DeleteRows("QUIZMEM", "MN=1"));
            SetMember(1, "OK=3");
        } else {
            SetMember(1, sign);
        }
        Tick();
        EXPECT_EQ(State(), TGameState::WaitNextGame);
        EXPECT_EQ(View().Progress, Sjis("遅れたため、次のゲームから参加します"));
        EXPECT_FALSE(View().AnswersEnabled);
        EXPECT_EQ(Members().size(), 1u);
        Tick(6);
        EXPECT_EQ(State(), TGameState::WaitNextGame);
        if (std::string(sign) == "OK=7") {
            // Bob's game runs on; once it is over, this player joins the room anew.
            ASSERT_TRUE(Db.DeleteRows("QUIZMEM", ""));
            AddMember(5, 2, 1);
            EXPECT_GT(TickUntil(TGameState::Lobby, 2), 0);
            EXPECT_EQ(Members(), (std::vector<TextList>{{"5", "2", "1", "0"}, {"6", "1", "0", "0"}}));
        } else {
            // Bob stopped too: the room stands still until this player clears it.
            EXPECT_EQ(TickUntil(TGameState::Lobby, 110), -1);
            EXPECT_GT(TickUntil(TGameState::Lobby, 20), 0);
            EXPECT_EQ(Members(), (std::vector<TextList>{{"1", "1", "0", "0"}}));
        }
        EXPECT_TRUE(View().ReadyEnabled);
        Loop.Leave();
    }
}

// A room whose members stopped playing and never left (their programs crashed, or all lost the
// server) would turn every newcomer away for good: once it has stood still longer than any live
// game does, a newcomer, or a player waiting for the next game, clears it and plays in a new one.
TEST_F(GameLoopTest, ARoomThatStandsStillIsClearedByTheNextPlayer)
{
    AddQuestions({{"q"}});
    AddMember(1, 2, 5, 1);
    AddMember(2, 3, 3, 0);
    Join();
    Tick(110);
    EXPECT_TRUE(Screen.TurnedAway.empty());
    EXPECT_EQ(Members().size(), 3u);
    Tick(20);
    EXPECT_TRUE(Screen.TurnedAway.empty());
    EXPECT_EQ(Members(), (std::vector<TextList>{{"1", "1", "0", "0"}}));
    Loop.Ready();
    EXPECT_GT(TickUntil(TGameState::Starting, 3), 0);
}


TEST_F(GameLoopTest, AfterTheLastQuestionOnlyTheLastJudgementPassesAndAStoppedMemberIsGivenUp)
{
    AddQuestions({{"ab"}});
    AddMember(1, 2, 1);
    StartGame();
    SkipTo(10, {1});
    SetMember(1, "OK=3");  // bob showed the answer, then stopped
    ASSERT_GT(TickUntil(TGameState::WaitJudged, 15), 0);
    // Bob's 3 is not the judgement of question 10: he is waited for 20 ticks, then given up.
    EXPECT_EQ(TickUntil(TGameState::FinalResult, 20), -1);
    EXPECT_EQ(TickUntil(TGameState::FinalResult, 1), 1);
}

// ---- the end of a game ----

TEST_F(GameLoopTest, OnePlayerWinsAWholeGameOfAShortBankAndGainsOnePoint)
{
    AddQuestions({{"first"}, {"second"}, {"third"}, {"fourth"}});
    StartGame();
    std::vector<std::string> texts;
    for (int q = 1; q <= 10; ++q) {
        Tick();
        ASSERT_EQ(Progress().QuestionNo, q);
        texts.push_back(Progress().QuestionText);
        Loop.Answer(CorrectButton());
        ASSERT_GT(TickUntil(q < 10 ? TGameState::LoadQuestion : TGameState::FinalResult), 0);
    }
    // Questions past the bank's end replay its last one.
    EXPECT_EQ(texts, (std::vector<std::string>{"first", "second", "third", "fourth", "fourth", "fourth", "fourth",
                                               "fourth", "fourth", "fourth"}));
    Tick();
    ASSERT_EQ(Screen.Results.size(), 1u);
    EXPECT_EQ(Screen.Results[0].Progress, Sjis("最高得点：10"));
    EXPECT_EQ(Screen.Results[0].Question, "alice,");
    EXPECT_EQ(Value("POINTS", "PLAYER", "N=1"), "1");
    // Alone, the program left the old room and joined a new one.
    EXPECT_EQ(State(), TGameState::Lobby);
    EXPECT_EQ(Members(), (std::vector<TextList>{{"1", "1", "0", "0"}}));
    EXPECT_TRUE(Answers().empty());
    EXPECT_EQ(View().Progress, "");
    EXPECT_EQ(View().Player, "alice(N:1) Points:1");
    EXPECT_TRUE(View().ReadyEnabled);
    // Leaving before anyone is ready again removes the new row, and the room with it.
    Loop.Leave();
    EXPECT_FALSE(Db.TableExists("QUIZMEM"));
    EXPECT_FALSE(Db.TableExists("QUIZANS"));
}

TEST_F(GameLoopTest, TopScorersShareThePointAndTheirNamesShowInMemberOrder)
{
    struct Case {
        int AliceScore;
        std::string Label, Winners, AlicePoints;
    };
    const Case cases[] = {{3, Sjis("最高得点：3"), "bob,dave,alice,", "0.333333333333333"},
                          {0, Sjis("最高得点：3"), "bob,dave,", "1.5"},
                          {-1, Sjis("最高得点：0"), "", "1.5"}};  // -1: nobody scored
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Winners);
        ASSERT_TRUE(Db.UpdateText("PLAYER", c.AliceScore > 0 ? "POINTS=0" : "POINTS=1.5", "N=1"));
        if (Db.TableExists("QUIZMEM")) {
            ASSERT_TRUE(Db.DropTable("QUIZMEM"));
        }
        AddMember(1, 2, 1);
        AddMember(2, 3, 1);
        AddMember(3, 4, 1);
        if (QuestionCount == 0) AddQuestions({{"ab"}});
        StartGame();
        SkipTo(10, {1, 2, 3});
        Tick();
        // The others judged the last question already; this player scored as well.
        const int top = c.AliceScore < 0 ? 0 : 3;
        SetMember(1, "OK=13,GP=" + std::to_string(top));
        SetMember(2, "OK=13,GP=" + std::to_string(std::min(top, 1)));
        SetMember(3, "OK=13,GP=" + std::to_string(top));
        SetMember(4, "GP=" + std::to_string(std::max(c.AliceScore, 0)));
        ASSERT_TRUE(Db.UpdateText("QUIZQA", "SN=100,ANN=NULL", ""));
        ASSERT_GT(TickUntil(TGameState::FinalResult, 15), 0);
        Tick();
        ASSERT_FALSE(Screen.Results.empty());
        EXPECT_EQ(Screen.Results.back().Progress, c.Label);
        EXPECT_EQ(Screen.Results.back().Question, c.Winners);
        EXPECT_EQ(Value("POINTS", "PLAYER", "N=1"), c.AlicePoints);
        EXPECT_EQ(Value("POINTS", "PLAYER", "N=2"), "0");
        // The finished members leave by themselves; this program joined the open room anew.
        EXPECT_EQ(Members().size(), 4u);
        EXPECT_EQ(Progress().MemberNo, 4);
        Loop.Leave();
    }
}

TEST_F(GameLoopTest, MembersThatStoppedAreRemovedWhenTheGameEnds)
{
    AddQuestions({{"ab"}});
    AddMember(1, 2, 1);
    AddMember(2, 3, 1);
    StartGame();
    SkipTo(5, {1, 2});
    SkipTo(10, {1});  // carol stopped at question 5
    SetMember(1, "OK=13");
    ASSERT_GT(TickUntil(TGameState::FinalResult, 70), 0);
    Tick();
    EXPECT_EQ(Members(), (std::vector<TextList>{{"1", "2", "13", "0"}, {"2", "1", "0", "0"}}));
}

// ---- leaving ----

TEST_F(GameLoopTest, LeavingRemovesTheOwnRowAndTheRoomWithTheLastMember)
{
    AddQuestions({{"ab"}});
    AddMember(1, 2, 1);
    StartGame();
    Tick();
    Loop.Leave();
    EXPECT_EQ(State(), TGameState::Left);
    EXPECT_FALSE(Loop.Tick().GoOn);
    // Bob is still playing and answers into the (now empty) answer table.
    EXPECT_EQ(Members(), (std::vector<TextList>{{"1", "2", "1", "0"}}));
    EXPECT_TRUE(Db.TableExists("QUIZANS"));

    // The last member drops the room, and the answer table unless answers are left in it.
    ASSERT_TRUE(Db.DeleteRows("QUIZMEM", ""));
    for (bool answered : {false, true}) {
        Join();
        if (answered) AddAnswer(1, 1);
        Loop.Leave();
        EXPECT_FALSE(Db.TableExists("QUIZMEM"));
        EXPECT_EQ(Db.TableExists("QUIZANS"), answered);
    }
}

// ---- a connection that breaks and comes back ----

// The loop on the loopback server through a relay that drops the connection, as a student's
// Wi-Fi does. As the window does, the loss stops the loop, and the owner (here the test)
// connects again; the others' moves meanwhile are written straight to the server.
class GameLoopReconnect : public GameLoopTest {
protected:
    bool UsesServer() const override { return true; }
    void SetUp() override
    {
        GameLoopTest::SetUp();
        if (HasFatalFailure()) return;
        Direct.ConnectDatabase();
        ASSERT_TRUE(Direct.Connected());
        Db.DisconnectDatabase();
        Relay = std::make_unique<TcpRelay>(Server->Port());
        Folder->ApplyWithServer(Relay->ServerName());
        Db.ConnectDatabase();
        ASSERT_TRUE(Db.Connected());
    }
    void TearDown() override
    {
        Direct.DisconnectDatabase();
        GameLoopTest::TearDown();
        Relay.reset();
    }
    // The next tick meets the broken connection.
    void BreakAndTick()
    {
        Relay->Drop();
        std::optional<std::string> lost;
        for (int tick = 0; tick < 3 && !lost; ++tick) lost = RunUntilConnectionLost([&] { Tick(); });
        ASSERT_TRUE(lost.has_value());
        Loop.StopForLostConnection();
        ASSERT_EQ(State(), TGameState::ConnectionLost);
    }

    QuizDatabase Direct{GameDatabasePath};
    std::unique_ptr<TcpRelay> Relay;
};

TEST_F(GameLoopReconnect, AfterABreakTheGameIsTakenUpWhereItStoodOrLeftForTheNext)
{
    struct Case {
        const char* Name;
        TGameState BreakIn;
        std::function<void(QuizDatabase&)> Meanwhile;  // bob's program, and this one's judgement
        TGameState ResumesIn;
    };
    const std::vector<Case> cases = {
        {"lobby", TGameState::Lobby, [](QuizDatabase&) {}, TGameState::Lobby},
        {"reveal", TGameState::RevealQuestion, [](QuizDatabase&) {}, TGameState::RevealQuestion},
        {"barrier", TGameState::WaitShown, [](QuizDatabase& db) { db.UpdateText("QUIZMEM", "OK=3", "MN=2"); },
         TGameState::WaitShown},
        {"judgement not yet written", TGameState::Judge, [](QuizDatabase&) {}, TGameState::Judge},
        {"judgement written", TGameState::Judge,
         [](QuizDatabase& db) { db.UpdateText("QUIZMEM", "OK=4,GP=1", "MN=1"); }, TGameState::WaitJudged},
        {"left behind", TGameState::RevealQuestion, [](QuizDatabase& db) { db.UpdateText("QUIZMEM", "OK=5", "MN=2"); },
         TGameState::WaitNextGame},
    };
    AddQuestions({{"abcdefghijklmnop", "", "", "", 1}, {"abcdefghijklmnop", "", "", "", 1}});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        if (Db.TableExists("QUIZMEM")) {
            Direct.ReleaseStatements();  // the others have left the last case's room
            ASSERT_TRUE(Db.DropTable("QUIZMEM"));
        }
        AddMember(1, 2, 1);
        if (c.BreakIn == TGameState::Lobby) {
            Join();
        } else {
            StartGame();
            ASSERT_GT(TickUntil(TGameState::RevealQuestion, 2), 0);
            Loop.Answer(1);  // the correct answer
            if (c.BreakIn != TGameState::RevealQuestion) {
                ASSERT_GT(TickUntil(TGameState::WaitShown), 0);
                if (c.BreakIn == TGameState::Judge) {
                    SetMember(1, "OK=3");
                    ASSERT_GT(TickUntil(TGameState::Judge, 2), 0);
                }
            }
        }
        ASSERT_EQ(State(), c.BreakIn);
        ASSERT_NO_FATAL_FAILURE(BreakAndTick());
        c.Meanwhile(Direct);
        Tick(4);
        EXPECT_EQ(State(), TGameState::ConnectionLost);
        EXPECT_EQ(View().Progress, Sjis("接続が切れました。再接続中（2秒）"));
        Db.ConnectDatabase();
        ASSERT_TRUE(Db.Connected());
        Tick();
        EXPECT_EQ(State(), c.ResumesIn);
        if (c.ResumesIn == TGameState::Lobby) {
            EXPECT_TRUE(View().ReadyEnabled);
        }
        if (c.BreakIn == TGameState::Judge) {
            if (c.ResumesIn == TGameState::Judge) Tick();
            EXPECT_EQ(Value("GP", "QUIZMEM", "MN=1"), "1");  // the point is written once
            EXPECT_EQ(Value("OK", "QUIZMEM", "MN=1"), "4");
        }
        Loop.Leave();
    }
}

}  // namespace
