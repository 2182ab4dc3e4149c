// Whole games between several player processes (tests/tools/quiz_player) on the loopback
// test server, at a tenth of the real pace: the points they leave in PLAYER, what each of
// them saw, and the room they leave behind.
#include "app/sjis_text.h"
#include "db/quiz_database.h"

#include "support/firebird_fixture.h"
#include "support/player_processes.h"
#include "support/tcp_relay.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>

namespace {

using namespace std::chrono_literals;

constexpr double TimeScale = 0.1;
// Every question text is 10 bytes long: 5 reveal ticks.
constexpr int RevealTicks = 5;
// The most ticks a program spends in one question when not every answer arrives: load,
// reveal, six answer ticks, show, and at most two ticks at each barrier (one list read per
// two refresh calls) around the judgement.
constexpr int FullQuestionTicks = 1 + RevealTicks + 6 + 1 + 2 + 1 + 2;
// Lobby (the first refresh only counts, then the read that sees everyone ready), the
// countdown, ten questions and the final result.
constexpr int FullGameTicks = 3 + 11 + 10 * FullQuestionTicks + 1;
// A member that stopped is waited for this long at the barrier where it is first missed.
constexpr int ShownBarrierLimit = RevealTicks + 6 + 10;

const char* const Names[] = {"alice", "bob", "carol", "dave"};

std::string Tokens(const std::string& first, int firstCount, const std::string& rest)
{
    std::string tokens;
    for (int q = 1; q <= 10; ++q) tokens += std::string(q > 1 ? "," : "") + (q <= firstCount ? first : rest);
    return tokens;
}

// "c" on the questions from..to (1-based), "w" on the others.
std::string CorrectOn(int from, int to)
{
    std::string tokens;
    for (int q = 1; q <= 10; ++q) tokens += std::string(q > 1 ? "," : "") + (q >= from && q <= to ? "c" : "w");
    return tokens;
}

// The value after "key=" in a line, up to the next blank (or the end for the last key).
std::string Field(const std::string& line, const std::string& key, bool toEnd = false)
{
    const size_t at = line.find(" " + key + "=");
    if (at == std::string::npos) return {};
    const size_t start = at + key.size() + 2;
    const size_t end = toEnd ? std::string::npos : line.find(' ', start);
    return line.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

class WholeGame : public ::testing::Test {
protected:
    void SetUp() override
    {
        Server = FindTestServer();
        if (!Server) GTEST_FAIL() << MissingServerMessage();
        Folder = GameFolder::OnServer(*Server);
        Folder->Apply();
        Db.CreateGameDatabase();
        ASSERT_TRUE(Db.Connected()) << GameDatabasePath();
        ASSERT_TRUE(Db.CreatePlayerTable());
        ASSERT_TRUE(Db.CreateQuizQaTable());
        for (int n = 1; n <= 4; ++n)
            ASSERT_TRUE(Db.InsertText("PLAYER", "N,PNAME,PASWD,POINTS",
                                      std::to_string(n) + ",'" + Names[n - 1] + "','12345678',0"));
    }

    void TearDown() override
    {
        Players.clear();  // kills whatever still runs
        Db.DisconnectDatabase();
        Folder.reset();
    }

    void AddQuestions(int count)
    {
        for (int n = 1; n <= count; ++n) {
            const std::string k = std::to_string(n);
            const std::string text = "question" + std::string(n < 10 ? "0" : "") + k;
            ASSERT_TRUE(Db.InsertText("QUIZQA", "N,SN,Q1,ANS,AN1,AN2,AN3,ANN",
                                      k + ",0,'" + text + "','right','one','two','three',1"));
        }
    }

    // Starts the headless player for player number n with its own folder and settings. It
    // presses ready once the lobby lists `together` members.
    // serverName, when given, is the server prefix the player connects through.
    PlayerProcess& Start(int n, const std::string& answers, int together, std::vector<std::string> extra = {},
                         const std::string& serverName = {})
    {
        Homes.push_back(std::make_unique<TempFolder>());
        const TempFolder& home = *Homes.back();
        home.Write("games.dat", (serverName.empty() ? Folder->ServerName() : serverName) + "\r\n" + Folder->DataFolder() + "\r\n" + std::to_string(n) +
                                    "\r\n" + Names[n - 1] + "\r\n12345678\r\n");
        std::vector<std::string> arguments = {"--dir", home.Path(), "--answers", answers, "--time-scale",
                                              std::to_string(TimeScale), "--tick-stats", "--wait-members",
                                              std::to_string(together)};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        Players.push_back(std::make_unique<PlayerProcess>(SiblingProgram("quiz_player"), arguments, home.File("stderr.txt")));
        return *Players.back();
    }

    std::vector<PlayerProcess*> All() const
    {
        std::vector<PlayerProcess*> all;
        for (const auto& player : Players) all.push_back(player.get());
        return all;
    }

    bool Until(const std::function<bool()>& done, std::chrono::milliseconds timeout = 60s)
    {
        return WaitUntil(All(), done, timeout);
    }

    // Waits for every player to end, and checks that each ended by closing its window.
    void ExpectAllClose(std::chrono::milliseconds timeout = 90s)
    {
        const bool ended = Until(
            [&] { return std::none_of(Players.begin(), Players.end(), [](const auto& p) { return p->Running(); }); },
            timeout);
        for (const auto& player : Players) {
            player->ReadAvailable();
            EXPECT_TRUE(player->Find("closed")) << "pid " << player->Pid() << ":\n" << player->Transcript();
        }
        ASSERT_TRUE(ended) << "the players did not all finish in time; the room holds " << RoomText();
        for (const auto& player : Players) EXPECT_EQ(player->ExitCode(), 0) << player->Transcript();
    }

    // The rows of QUIZMEM and QUIZANS, for failure messages.
    std::string RoomText()
    {
        std::string text;
        for (const char* table : {"QUIZMEM", "QUIZANS"}) {
            text += std::string(table) + ":";
            if (!Db.TableExists(table)) {
                text += " (none)";
                continue;
            }
            const int count = Db.OpenSelect("*", table, "", "");
            for (int i = 0; i < count; ++i) {
                TextList row(4);
                Db.FetchRow(i, row);
                text += " [" + row[0] + "," + row[1] + "," + row[2] + "," + row[3] + "]";
            }
            Db.CloseSelect();
            text += "  ";
        }
        Points(1);
        return text;
    }

    std::string Points(int n)
    {
        std::string points;
        Db.SelectFirstValue("POINTS", "PLAYER", "N=" + std::to_string(n), points);
        return points;
    }

    // Neither game table is left with rows. The last statement of this connection is kept
    // off the game tables, so that it never holds them in use while the players drop them.
    void ExpectRoomGone()
    {
        for (const char* table : {"QUIZMEM", "QUIZANS"})
            if (Db.TableExists(table)) {
                EXPECT_EQ(Db.CountRows(table, ""), 0) << table;
            }
        Points(1);
    }

    static std::string ResultLine(const PlayerProcess& player, int game = 1)
    {
        const auto results = player.All("result");
        return static_cast<int>(results.size()) >= game ? results[static_cast<size_t>(game - 1)].Text : std::string();
    }
    static int Ticks(const PlayerProcess& player)
    {
        const PlayerLine* stats = player.Find("tick-stats");
        return stats ? std::stoi(Field(stats->Text, "count")) : -1;
    }

    std::optional<TestServer> Server;
    std::unique_ptr<GameFolder> Folder;
    QuizDatabase Db{GameDatabasePath};
    std::vector<std::unique_ptr<TempFolder>> Homes;
    std::vector<std::unique_ptr<PlayerProcess>> Players;
};

TEST_F(WholeGame, OnePlayerWinningQuestionsGainsOnePoint)
{
    AddQuestions(10);
    PlayerProcess& alice = Start(1, CorrectOn(1, 4), 1);
    ExpectAllClose();
    EXPECT_EQ(alice.All("question").size(), 10u) << alice.Transcript();
    EXPECT_EQ(alice.All("answered").size(), 10u) << alice.Transcript();
    EXPECT_EQ(ResultLine(alice), "result game=1 label=最高得点：4 winners=alice,");
    EXPECT_EQ(Points(1), "1");
    ExpectRoomGone();
}

TEST_F(WholeGame, TwoTiedWinnersGainHalfAPointEach)
{
    AddQuestions(10);
    PlayerProcess& alice = Start(1, CorrectOn(1, 5), 2);
    PlayerProcess& bob = Start(2, CorrectOn(6, 10), 2);
    ExpectAllClose();
    for (PlayerProcess* player : {&alice, &bob}) {
        const std::string result = ResultLine(*player);
        EXPECT_EQ(Field(result, "label"), "最高得点：5") << player->Transcript();
        const std::string winners = Field(result, "winners", true);
        EXPECT_TRUE(winners == "alice,bob," || winners == "bob,alice,") << result;
    }
    EXPECT_EQ(Points(1), "0.5");
    EXPECT_EQ(Points(2), "0.5");
    ExpectRoomGone();
}

TEST_F(WholeGame, ThreeTiedWinnersGainAThirdEachAndTheLoserNothing)
{
    AddQuestions(10);
    Start(1, CorrectOn(1, 3), 4);
    Start(2, CorrectOn(4, 6), 4);
    Start(3, CorrectOn(7, 9), 4);
    Start(4, Tokens("w", 10, "w"), 4);
    ExpectAllClose();
    for (const auto& player : Players) {
        const std::string result = ResultLine(*player);
        EXPECT_EQ(Field(result, "label"), "最高得点：3") << player->Transcript();
        const std::string winners = Field(result, "winners", true);
        EXPECT_EQ(winners.size(), std::string("alice,bob,carol,").size()) << result;
        EXPECT_EQ(winners.find("dave"), std::string::npos) << result;
    }
    for (int n = 1; n <= 3; ++n) EXPECT_EQ(Points(n), "0.333333333333333") << Names[n - 1];
    EXPECT_EQ(Points(4), "0");
    ExpectRoomGone();
}

TEST_F(WholeGame, NobodyCorrectChangesNoPoints)
{
    AddQuestions(10);
    ASSERT_TRUE(Db.UpdateText("PLAYER", "POINTS=1.5", "N=1"));
    PlayerProcess& alice = Start(1, Tokens("w", 10, "w"), 2);
    PlayerProcess& bob = Start(2, Tokens("w", 10, "w"), 2);
    ExpectAllClose();
    EXPECT_EQ(ResultLine(alice), "result game=1 label=最高得点：0 winners=");
    EXPECT_EQ(ResultLine(bob), "result game=1 label=最高得点：0 winners=");
    EXPECT_EQ(Points(1), "1.5");
    EXPECT_EQ(Points(2), "0");
    ExpectRoomGone();
}

TEST_F(WholeGame, FourQuestionsReplayTheLastOfTheOrderUpToQuestionTen)
{
    AddQuestions(4);
    PlayerProcess& alice = Start(1, Tokens("c", 10, "c"), 2);
    PlayerProcess& bob = Start(2, Tokens("w", 10, "w"), 2);
    ExpectAllClose();
    for (PlayerProcess* player : {&alice, &bob}) {
        const auto questions = player->All("question");
        ASSERT_EQ(questions.size(), 10u) << player->Transcript();
        std::set<std::string> firstFour;
        for (size_t q = 0; q < 4; ++q) firstFour.insert(Field(questions[q].Text, "text"));
        EXPECT_EQ(firstFour.size(), 4u) << player->Transcript();
        for (size_t q = 4; q < 10; ++q) {
            EXPECT_EQ(Field(questions[q].Text, "text"), Field(questions[3].Text, "text")) << questions[q].Text;
            EXPECT_EQ(Field(questions[q].Text, "correct"), Field(questions[3].Text, "correct")) << questions[q].Text;
        }
    }
    // Both programs played the same order.
    for (size_t q = 0; q < 10; ++q) EXPECT_EQ(alice.All("question")[q].Text, bob.All("question")[q].Text);
    EXPECT_EQ(Points(1), "1");
    ExpectRoomGone();
}

TEST_F(WholeGame, LateJoinerIsSentAwayAndTheGameGoesOn)
{
    AddQuestions(10);
    // Both answer a little after each question appears, so the answer table is empty when
    // the newcomer comes and goes.
    PlayerProcess& alice = Start(1, Tokens("c", 10, "c"), 2, {"--answer-delay-ms", "150"});
    PlayerProcess& bob = Start(2, Tokens("w", 10, "w"), 2, {"--answer-delay-ms", "150"});
    ASSERT_TRUE(Until([&] { return alice.Find("question 2") != nullptr; })) << alice.Transcript();
    PlayerProcess& carol = Start(3, Tokens("c", 10, "c"), 1);
    ASSERT_TRUE(Until([&] { return !carol.Running(); }, 30s)) << carol.Transcript();
    carol.ReadAvailable();
    EXPECT_TRUE(carol.Find("message 現在ゲーム実行中です。しばらく後に再度スタートして下さい")) << carol.Transcript();
    EXPECT_FALSE(carol.Find("question")) << carol.Transcript();

    ExpectAllClose();
    EXPECT_EQ(Field(ResultLine(alice), "label"), "最高得点：10") << alice.Transcript();
    EXPECT_EQ(Field(ResultLine(bob), "label"), "最高得点：10") << bob.Transcript();
    EXPECT_EQ(Points(1), "1");
    EXPECT_EQ(Points(2), "0");
    EXPECT_EQ(Points(3), "0");
    ExpectRoomGone();
}

TEST_F(WholeGame, MemberThatQuitsMidGameDoesNotHoldTheOthersUp)
{
    AddQuestions(10);
    // Alice answers a little after each question appears, so the answer table is empty when
    // bob leaves.
    PlayerProcess& alice = Start(1, Tokens("c", 10, "c"), 2, {"--answer-delay-ms", "150"});
    PlayerProcess& bob = Start(2, Tokens("w", 10, "w"), 2, {"--quit-at", "3"});
    ExpectAllClose();
    EXPECT_TRUE(bob.Find("quit")) << bob.Transcript();
    EXPECT_FALSE(bob.Find("result")) << bob.Transcript();
    // Every answer of alice's counted, also after bob had left.
    EXPECT_EQ(ResultLine(alice), "result game=1 label=最高得点：10 winners=alice,") << alice.Transcript();
    EXPECT_EQ(Points(1), "1");
    EXPECT_LE(Ticks(alice), FullGameTicks) << alice.Transcript();
    ExpectRoomGone();
}

TEST_F(WholeGame, MemberKilledMidGameDelaysTheOthersByOneBarrierLimitAtMost)
{
    AddQuestions(10);
    PlayerProcess& alice = Start(1, Tokens("c", 10, "c"), 2);
    PlayerProcess& bob = Start(2, Tokens("w", 10, "w"), 2, {"--freeze-at", "3"});
    ASSERT_TRUE(Until([&] { return bob.Find("frozen") != nullptr; })) << bob.Transcript();
    bob.Kill();
    ASSERT_TRUE(Until([&] { return !alice.Running(); }, 60s)) << alice.Transcript();
    alice.ReadAvailable();
    EXPECT_EQ(ResultLine(alice), "result game=1 label=最高得点：10 winners=alice,") << alice.Transcript();
    EXPECT_EQ(Points(1), "1");
    EXPECT_LE(Ticks(alice), FullGameTicks + ShownBarrierLimit) << alice.Transcript();
    // In wall time too: the ticks from question 1 to the result, each allowed half a tick
    // of work on top of its period, and the ten judge pauses.
    const auto played = std::chrono::duration_cast<std::chrono::milliseconds>(alice.Find("result")->At -
                                                                              alice.Find("question 1")->At);
    const auto tick = std::chrono::milliseconds(static_cast<int>(500 * TimeScale));
    const auto bound = (FullGameTicks - 14 + ShownBarrierLimit) * tick * 3 / 2 + 10 * 2 * tick;
    EXPECT_LT(played, bound) << alice.Transcript();
    RecordProperty("alice_game_ms", std::to_string(played.count()));
    // Alice removed the row that bob left behind when she finished, and the room with it.
    EXPECT_TRUE(alice.Find("closed")) << alice.Transcript();
    ExpectRoomGone();
}

TEST_F(WholeGame, CutPlayerSaysSoOnceStopsAndPlaysAgainAfterReconnecting)
{
    AddQuestions(10);
    TcpRelay relay(Server->Port());
    PlayerProcess& alice = Start(1, Tokens("c", 10, "c"), 3);
    PlayerProcess& bob = Start(2, Tokens("w", 10, "w"), 3);
    PlayerProcess& carol =
        Start(3, Tokens("w", 10, "w"), 3, {"--reconnect-server", Folder->ServerName()}, relay.ServerName());
    ASSERT_TRUE(Until([&] { return carol.Find("question 3") != nullptr; })) << carol.Transcript();
    relay.Cut();
    ASSERT_TRUE(Until([&] { return carol.Find("stopped") != nullptr; }, 10s)) << carol.Transcript();
    EXPECT_EQ(carol.Find("stopped")->Text.rfind("stopped label=接続が切れました。再接続中", 0), 0u) << carol.Transcript();

    // The two others finish their game without carol, with their points right.
    ASSERT_TRUE(Until([&] { return !alice.Running() && !bob.Running(); }, 60s)) << alice.Transcript();
    alice.ReadAvailable();
    EXPECT_EQ(ResultLine(alice), "result game=1 label=最高得点：10 winners=alice,") << alice.Transcript();
    EXPECT_EQ(ResultLine(bob), "result game=1 label=最高得点：10 winners=alice,") << bob.Transcript();
    EXPECT_EQ(Points(1), "1");
    EXPECT_EQ(Points(3), "0");
    carol.ReadAvailable();
    // Carol waited for the server, which the cut relay hid: no later question, no result.
    EXPECT_FALSE(carol.Find("question 4")) << carol.Transcript();
    EXPECT_FALSE(carol.Find("result")) << carol.Transcript();

    // Back in the settings window, carol reconnects straight to the server and plays alone.
    Homes.back()->Write("reconnect", "");
    ExpectAllClose();
    EXPECT_TRUE(carol.Find("reconnected connected=1")) << carol.Transcript();
    EXPECT_EQ(ResultLine(carol), "result game=1 label=最高得点：0 winners=") << carol.Transcript();
    EXPECT_EQ(carol.All("question").size(), 13u) << carol.Transcript();
    // One message in all: a sentence and the server's error text, shown when the break was met.
    ASSERT_EQ(carol.All("message").size(), 1u) << carol.Transcript();
    EXPECT_LT(carol.Find("message")->At, carol.Find("stopped")->At + 1s);
    EXPECT_EQ(Points(3), "0");
    ExpectRoomGone();
}

// A student's network drops for a moment: the copy connects again by itself and, back within
// the barrier's limit, plays on in the same game.
TEST_F(WholeGame, DroppedPlayerConnectsAgainByItselfAndPlaysOn)
{
    AddQuestions(10);
    TcpRelay relay(Server->Port());
    const std::vector<std::string> halfPace = {"--time-scale", "0.5"};
    PlayerProcess& alice = Start(1, Tokens("c", 10, "c"), 3, halfPace);
    PlayerProcess& bob = Start(2, Tokens("w", 10, "w"), 3, halfPace);
    PlayerProcess& carol = Start(3, CorrectOn(5, 10), 3, halfPace, relay.ServerName());
    ASSERT_TRUE(Until([&] { return carol.Find("question 3") != nullptr; })) << carol.Transcript();
    relay.Drop();
    ExpectAllClose(120s);
    EXPECT_TRUE(carol.Find("stopped")) << carol.Transcript();
    EXPECT_TRUE(carol.Find("resumed")) << carol.Transcript();
    EXPECT_FALSE(carol.Find("behind")) << carol.Transcript();
    EXPECT_EQ(ResultLine(carol), ResultLine(alice)) << carol.Transcript();
    EXPECT_EQ(ResultLine(bob), ResultLine(alice)) << bob.Transcript();
    EXPECT_EQ(carol.All("question").size(), 10u) << carol.Transcript();
}

// A student's network stalls longer than the barriers wait: the others give the copy up and play
// on at their pace; back, the copy finds itself behind, says so, and plays the next game with them.
TEST_F(WholeGame, StalledPlayerIsLeftBehindAndPlaysTheNextGame)
{
    AddQuestions(10);
    TcpRelay relay(Server->Port());
    PlayerProcess& alice = Start(1, Tokens("c", 10, "c"), 3, {"--games", "2"});
    PlayerProcess& bob = Start(2, Tokens("w", 10, "w"), 3, {"--games", "2"});
    PlayerProcess& carol = Start(3, Tokens("w", 10, "w"), 3, {"--games", "1"}, relay.ServerName());
    ASSERT_TRUE(Until([&] { return carol.Find("question 3") != nullptr; })) << carol.Transcript();
    relay.Stall(true);
    ASSERT_TRUE(Until([&] { return alice.Find("question 5") != nullptr; }, 60s)) << alice.Transcript();
    relay.Stall(false);
    ExpectAllClose(120s);
    EXPECT_TRUE(carol.Find("behind")) << carol.Transcript();
    // Carol's first game ended where she fell behind; she played the second with the others.
    EXPECT_EQ(carol.All("result").size(), 1u) << carol.Transcript();
    EXPECT_EQ(Field(ResultLine(carol), "label"), Field(ResultLine(alice, 2), "label")) << carol.Transcript();
    EXPECT_EQ(Field(ResultLine(carol), "winners", true), Field(ResultLine(alice, 2), "winners", true));
    EXPECT_EQ(ResultLine(bob, 2), ResultLine(alice, 2)) << bob.Transcript();
    EXPECT_EQ(Points(1), "2");
    EXPECT_EQ(Points(3), "0");
}

TEST_F(WholeGame, EveryGameStartsInAFreshRoom)
{
    AddQuestions(10);
    PlayerProcess& alice = Start(1, Tokens("c", 10, "c"), 2, {"--games", "2"});
    PlayerProcess& bob = Start(2, Tokens("w", 10, "w"), 2, {"--games", "2"});
    // Once the second game runs, only its two members are in the room, at its first question.
    ASSERT_TRUE(Until([&] { return alice.All("question 1 ").size() == 2 && bob.All("question 1 ").size() == 2; }, 60s))
        << alice.Transcript() << bob.Transcript() << RoomText();
    const int members = Db.CountRows("QUIZMEM", "");
    const int finished = Db.CountRows("QUIZMEM", "OK=13 OR GP>1");
    Points(1);
    EXPECT_EQ(members, 2);
    EXPECT_EQ(finished, 0);

    ExpectAllClose(120s);
    for (int game = 1; game <= 2; ++game) {
        EXPECT_EQ(ResultLine(alice, game), "result game=" + std::to_string(game) + " label=最高得点：10 winners=alice,")
            << alice.Transcript();
        EXPECT_EQ(Field(ResultLine(bob, game), "label"), "最高得点：10") << bob.Transcript();
    }
    EXPECT_EQ(Points(1), "2");
    EXPECT_EQ(Points(2), "0");
    ExpectRoomGone();
}

}  // namespace
