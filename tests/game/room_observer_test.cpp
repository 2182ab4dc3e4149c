// The room watched from outside: a room of game loops on one embedded database, each with its
// own connection, ticked in turn; the watcher looks at the room after every round of ticks and
// must tell every question and game as the players played them.
#include "app/unitv.h"
#include "game/game_loop.h"
#include "game/game_record.h"
#include "game/room_observer.h"

#include "support/firebird_fixture.h"

#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <memory>
#include <random>
#include <tuple>

namespace {

class QuietScreen : public GameScreen {
public:
    void ViewChanged(const GameView&, ViewPart) override {}
    void TurnAway(const std::string&) override {}
    void Alert(const std::string&) override {}
};

class RoomWatch : public GameDatabaseTest {
protected:
    struct Seat {
        std::unique_ptr<QuizDatabase> Db;
        QuietScreen Screen;
        std::unique_ptr<GameLoop> Loop;
        bool Stopped = false;  // its program stopped (killed) from then on
    };

    void SetUp() override
    {
        GameDatabaseTest::SetUp();
        CreateGameTables();
        for (int n = 1; n <= 3; ++n) AddPlayer(std::to_string(n), "'p" + std::to_string(n) + "'", "'12345678'", "0");
        for (int n = 1; n <= 10; ++n)
            ASSERT_TRUE(Db.InsertText("QUIZQA", "N,SN,Q1,ANS,AN1,AN2,AN3,ANN",
                                      std::to_string(n) + ",0,'question " + std::to_string(n) + "','right','a','b','c',1"));
        Watcher->OnQuestion = [this](const QuestionOutcome& q) { Questions.push_back(q); };
        Watcher->OnGame = [this](const GameOutcome& g) { Games.push_back(g); };
    }
    void TearDown() override
    {
        for (Seat& seat : Seats) seat.Db->DisconnectDatabase();
        GameDatabaseTest::TearDown();
    }

    Seat& Join(int32_t player)
    {
        Seat& seat = Seats.emplace_back();
        seat.Db = std::make_unique<QuizDatabase>(GameDatabasePath);
        seat.Db->ConnectDatabase();
        seat.Loop = std::make_unique<GameLoop>(*seat.Db, seat.Screen, TGameTiming{500, 0, 0});
        seat.Loop->Join({player, "p" + std::to_string(player)});
        return seat;
    }
    // A round: every live program ticks once (with what follows its pauses), then the watcher looks.
    void Round()
    {
        for (Seat& seat : Seats) {
            if (seat.Stopped) continue;
            TickEnd end;
            do end = seat.Loop->Tick();
            while (end.GoOn && end.NextAtOnce);
        }
        Watcher->Poll();
    }
    // A game is told once all have judged its last question; the programs give out the points
    // and are back in the lobby a little later.
    void BackInLobby()
    {
        const auto inLobby = [this] {
            return std::all_of(Seats.begin(), Seats.end(), [](const Seat& s) { return s.Stopped || s.Loop->View().ReadyEnabled; });
        };
        for (int round = 0; round < 100 && !inLobby(); ++round) Round();
    }
    // Plays rounds until every live program has finished a game, answering as answer() says.
    void PlayGame(const std::function<int(size_t seat, const GameLoop&)>& answer, int stopSeatAt = 0)
    {
        BackInLobby();
        for (Seat& seat : Seats) seat.Loop->Ready();
        const size_t before = Games.size();
        for (int round = 0; round < 600 && Games.size() == before; ++round) {
            Round();
            for (size_t i = 0; i < Seats.size(); ++i) {
                GameLoop& loop = *Seats[i].Loop;
                if (stopSeatAt > 0 && i + 1 == Seats.size() && loop.Progress().QuestionNo == stopSeatAt) Seats[i].Stopped = true;
                if (Seats[i].Stopped || !loop.View().AnswersEnabled) continue;
                if (const int button = answer(i, loop)) loop.Answer(button);
            }
        }
    }

    std::unique_ptr<RoomObserver> Watcher = std::make_unique<RoomObserver>(Db);
    std::deque<Seat> Seats;  // each loop keeps a reference to its seat's screen
    std::vector<QuestionOutcome> Questions;
    std::vector<GameOutcome> Games;
};

TEST_F(RoomWatch, EveryQuestionAndGameIsToldAsItWasPlayedAndAStoppedMemberLosesNothingElse)
{
    for (int32_t player = 1; player <= 3; ++player) Join(player);
    // p1 answers right, p2 answers wrong, p3 gives no answer; p3's program stops at question 4.
    PlayGame(
        [](size_t seat, const GameLoop& loop) {
            const int correct = loop.Progress().CorrectButton >= 1 && loop.Progress().CorrectButton <= 3 ? loop.Progress().CorrectButton : 4;
            return seat == 0 ? correct : seat == 1 ? (correct == 1 ? 2 : 1) : 0;
        },
        4);
    ASSERT_EQ(Games.size(), 1u);
    ASSERT_EQ(Questions.size(), 10u);
    for (const QuestionOutcome& q : Questions) {
        SCOPED_TRACE(q.QuestionNo);
        EXPECT_EQ(q.Text.rfind("question ", 0), 0u);
        EXPECT_EQ(q.Choices[static_cast<size_t>(q.Correct - 1)], "right");
        ASSERT_EQ(q.Answers.size(), 2u);  // nothing from p3, nothing left over from the last question
        for (const WatchedAnswer& a : q.Answers) EXPECT_EQ(a.Button == q.Correct, a.PlayerNo == 1);
        EXPECT_EQ(q.Winners, std::vector<int32_t>{1});
    }
    const GameOutcome& game = Games.front();
    EXPECT_EQ(game.TopScore, 10);
    ASSERT_EQ(game.Members.size(), 3u);
    EXPECT_EQ(game.Members[0].Points, 10);
    EXPECT_EQ(game.Members[1].Points, 0);

    // The next game, without p3: two more outcomes of each kind, numbered on.
    Seats.pop_back();
    PlayGame([](size_t, const GameLoop&) { return 0; });
    ASSERT_EQ(Games.size(), 2u);
    EXPECT_EQ(Games.back().Game, 2);
    EXPECT_EQ(Questions.size(), 20u);
    EXPECT_TRUE(Questions.back().Winners.empty());
    EXPECT_TRUE(Questions.back().Answers.empty());
}

TEST_F(RoomWatch, AGameFoundHalfWayIsShownButNotTold)
{
    for (int32_t player = 1; player <= 2; ++player) Join(player);
    for (Seat& seat : Seats) seat.Loop->Ready();
    // The watcher first looks when the game is at its third question.
    for (int round = 0; round < 300 && Seats[0].Loop->Progress().QuestionNo < 3; ++round)
        for (Seat& seat : Seats) {
            TickEnd end;
            do end = seat.Loop->Tick();
            while (end.GoOn && end.NextAtOnce);
        }
    Watcher->Poll();
    EXPECT_EQ(Watcher->QuestionNo(), 3);
    PlayGame([](size_t, const GameLoop&) { return 0; });
    EXPECT_TRUE(Games.empty());
    EXPECT_TRUE(Questions.empty());
}

// Twenty games kept in the record, the watcher started again after the tenth: every answer each
// program gave is there once, with its question, and the games' points; a reset keeps the
// points it clears.
TEST_F(RoomWatch, TheRecordKeepsEveryAnswerOfTwentyGames)
{
    auto record = std::make_unique<GameRecord>(Db);
    ASSERT_TRUE(record->Prepare()) << Db.LastFailure();
    const auto follow = [&] {
        record->Follow(*Watcher);
        Watcher->OnGame = [&](const GameOutcome& g) {
            record->GameEnded(g);
            Games.push_back(g);
        };
    };
    follow();
    for (int32_t player = 1; player <= 3; ++player) Join(player);
    std::mt19937 random(20261209);
    std::map<std::tuple<int, int, int32_t>, int> given;  // game, question, player -> button
    for (int game = 1; game <= 20; ++game) {
        if (game == 11) {
            // The gateway starts again between two games: a new watcher and record go on.
            BackInLobby();
            Watcher = std::make_unique<RoomObserver>(Db);
            record = std::make_unique<GameRecord>(Db);
            follow();
        }
        PlayGame([&](size_t seat, const GameLoop& loop) {
            // Each program answers now and then, at any tick while the question is open, or not at all.
            const TGameState state = loop.Progress().GameState;
            if (random() % 3 != 0 || (state != TGameState::RevealQuestion && state != TGameState::AnswerTime)) return 0;
            const int button = static_cast<int>(random() % 4) + 1;
            given[{game, loop.Progress().QuestionNo, static_cast<int32_t>(seat + 1)}] = button;
            return button;
        });
    }
    ASSERT_EQ(Games.size(), 20u);
    BackInLobby();
    std::map<std::tuple<int, int, int32_t>, int> kept;
    for (const TextList& row : ReadRows(Db, "GAME,Q,PLAYER,BUTTON", "QUIZLOGANSWER", "", "GAME,Q,PLAYER", 4, 10000))
        if (TextToInt(row[3]) != 0) kept[{TextToInt(row[0]), TextToInt(row[1]), TextToInt(row[2])}] = TextToInt(row[3]);
    EXPECT_EQ(kept, given);
    EXPECT_EQ(Db.CountRows("QUIZLOGANSWER", ""), 20 * 10 * 3);
    EXPECT_EQ(Db.CountRows("QUIZLOGQUESTION", "QN>=1 AND QN<=10 AND CORRECT>=1 AND CORRECT<=4"), 200);
    EXPECT_EQ(Db.CountRows("QUIZLOGGAME", "ENDED IS NOT NULL"), 20);
    // The shares the record gives are the points the players' programs added.
    for (int32_t player = 1; player <= 3; ++player) {
        std::string shares, points;
        Db.SelectFirstValue("SUM(SHARE)", "QUIZLOGMEMBER", "PLAYER=" + std::to_string(player), shares);
        Db.SelectFirstValue("POINTS", "PLAYER", "N=" + std::to_string(player), points);
        EXPECT_NEAR(TextToFloat(shares), TextToFloat(points), 1e-9) << player;
    }

    ASSERT_TRUE(record->ResetPoints());
    EXPECT_EQ(Db.CountRows("PLAYER", "POINTS=0"), 3);
    EXPECT_EQ(Db.CountRows("QUIZLOGRESET", ""), 3);
}

}  // namespace
