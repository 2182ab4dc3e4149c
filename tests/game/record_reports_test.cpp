// The teacher's reports on a small record written by GameRecord itself (two games of three
// questions on fixed dates), the CSV export byte for byte, the password reset, and a member
// taken out of a room in which a game goes on.
#include "app/sjis_text.h"
#include "app/unitv.h"
#include "game/game_loop.h"
#include "game/game_record.h"
#include "game/record_reports.h"
#include "player/registration.h"

#include "support/firebird_fixture.h"

#include <gtest/gtest.h>

namespace {

const std::string Aki = Sjis("秋山");

class RecordReports : public GameDatabaseTest {
protected:
    void SetUp() override
    {
        GameDatabaseTest::SetUp();
        CreateGameTables();
        AddPlayer("1", "'" + Aki + "'", "'11111111'", "2.5");
        AddPlayer("2", "'Ben'", "'22222222'", "1");
        AddPlayer("3", "'-Cho'", "'33333333'", "0");
        GameRecord record(Db);
        ASSERT_TRUE(record.Prepare());
        // Game 1 (players 1, 2, 3): 2 wins q1 before 1; 1 wins q2; nobody answers q3.
        Play(record, {1, 2, 3},
             {Question(1, 7, "Say \"hi\"", {"=1+1", "b", "c", "\td"}, 1, {{2, 1}, {1, 1}, {3, 4}}, {2}),
              Question(2, 8, "+2", {"a", "b", "@c", "d"}, 3, {{1, 3}}, {1}), Question(3, 5, "three", {"a", "b", "c", "d"}, 2, {}, {})},
             {1, 1, 0});
        // Game 2 (players 1, 3): 3 wins q1, nobody q2, 1 wins q3.
        Play(record, {1, 3},
             {Question(1, 7, "Say \"hi\"", {"a", "b", "c", "d"}, 2, {{3, 2}, {1, 4}}, {3}),
              Question(2, 9, "nine", {"a", "b", "c", "d"}, 1, {{3, 2}}, {}), Question(3, 8, "+2", {"a", "b", "c", "d"}, 3, {{1, 3}}, {1})},
             {1, 1});
        ASSERT_TRUE(Db.UpdateText("QUIZLOGGAME", "STARTED='2026-03-31 23:59:00',ENDED='2026-04-01 00:05:00'", "ID=1"));
        ASSERT_TRUE(Db.UpdateText("QUIZLOGGAME", "STARTED='2026-04-02 10:00:00',ENDED='2026-04-02 10:10:00'", "ID=2"));
    }
    static WatchedMember Member(int32_t player) { return {player, player, player == 1 ? Aki : player == 2 ? "Ben" : "-Cho", {}, 0}; }
    static QuestionOutcome Question(int32_t no, int32_t bank, const std::string& text, std::array<std::string, 4> choices,
                                    int32_t correct, const std::vector<std::pair<int32_t, int32_t>>& answers, std::vector<int32_t> winners)
    {
        QuestionOutcome q{0, no, bank, text, choices, correct, {}, {}, winners};
        for (const auto& [player, button] : answers) q.Answers.push_back({player, Member(player).Name, button});
        return q;
    }
    void Play(GameRecord& record, const std::vector<int32_t>& players, std::vector<QuestionOutcome> questions,
              const std::vector<int32_t>& scores)
    {
        record.GameStarted();
        GameOutcome game;
        for (size_t i = 0; i < players.size(); ++i) game.Members.push_back(Member(players[i]));
        for (QuestionOutcome& question : questions) {
            question.Members = game.Members;
            record.QuestionJudged(question);
        }
        for (size_t i = 0; i < players.size(); ++i) game.Members[i].Points = scores[i];
        game.TopScore = *std::max_element(scores.begin(), scores.end());
        record.GameEnded(game);
    }
};

TEST_F(RecordReports, GamesOfADateRangeNewestFirst)
{
    const struct { std::string From, To; std::vector<int32_t> Games; } cases[] = {
        {"", "", {2, 1}}, {"2026-04-01", "2026-04-01", {1}}, {"", "2026-03-31", {1}}, {"2026-04-02", "", {2}},
        {"2026-04-03", "", {}}, {"2024-02-29", "", {2, 1}}, {"2026-02-29", "", {}}, {"2026-4-01", "", {}},
        {"2026-13-01", "", {}}, {"2026-04-02", "2026-04-01", {}}, {"", "2026-04-01' OR 1=1 --", {}}};
    for (const auto& c : cases) {
        std::vector<int32_t> ids;
        for (const RecordedGame& game : RecordedGames(Db, c.From, c.To)) ids.push_back(game.Id);
        EXPECT_EQ(ids, c.Games) << c.From << " to " << c.To;
    }
    const std::vector<RecordedGame> games = RecordedGames(Db, "", "");
    ASSERT_EQ(games.size(), 2u);
    EXPECT_EQ(games[1].Started, "2026-03-31 23:59:00");
    EXPECT_EQ(games[1].Ended, "2026-04-01 00:05:00");
    EXPECT_EQ(std::tie(games[1].TopScore, games[1].Members), std::make_tuple(1, 3));
    EXPECT_EQ(games[1].Winners, (std::vector<std::string>{Aki, "Ben"}));
    EXPECT_EQ(games[0].Winners, (std::vector<std::string>{Aki, "-Cho"}));
}

TEST_F(RecordReports, OneGameRanksItsMembersAndShowsEveryAnswer)
{
    EXPECT_FALSE(GameReportOf(Db, 3));
    const std::optional<GameReport> report = GameReportOf(Db, 1);
    ASSERT_TRUE(report);
    const std::vector<std::tuple<int32_t, std::string, int32_t, double, int32_t, int32_t>> members = {
        {1, Aki, 1, 0.5, 2, 2}, {1, "Ben", 1, 0.5, 1, 1}, {3, "-Cho", 0, 0.0, 0, 1}};
    std::vector<std::tuple<int32_t, std::string, int32_t, double, int32_t, int32_t>> seen;
    for (const ReportMember& m : report->Members) seen.emplace_back(m.Rank, m.Name, m.Score, m.Share, m.Right, m.Answered);
    EXPECT_EQ(seen, members);
    const std::vector<std::tuple<int32_t, int32_t, int32_t, int32_t, std::string, std::string>> questions = {
        {7, 1, 3, 2, "Ben", "1:1:1:2:0 2:1:1:1:1 3:4:0:0:0 "}, {8, 3, 1, 1, Aki, "1:3:1:1:1 2:0:0:0:0 3:0:0:0:0 "},
        {5, 2, 0, 0, "", "1:0:0:0:0 2:0:0:0:0 3:0:0:0:0 "}};
    std::vector<std::tuple<int32_t, int32_t, int32_t, int32_t, std::string, std::string>> asked;
    for (const ReportQuestion& q : report->Questions) {
        std::string answers;  // player:button:right:place:won
        for (const ReportAnswer& a : q.Answers)
            answers += std::to_string(a.PlayerNo) + ":" + std::to_string(a.Button) + ":" + std::to_string(a.Right) + ":" +
                       std::to_string(a.Place) + ":" + std::to_string(a.Won) + " ";
        asked.emplace_back(q.BankNo, q.Correct, q.Answered, q.Right, q.Winner, answers);
    }
    EXPECT_EQ(asked, questions);
}

TEST_F(RecordReports, StudentsAndMostMissedQuestionsOfARange)
{
    const struct { std::string From; std::vector<std::tuple<int32_t, std::string, int32_t, int32_t, int32_t, double, double, double>> Students; } ranges[] = {
        {"", {{1, Aki, 2, 4, 3, 0.75, 1.0, 2.5}, {2, "Ben", 1, 1, 1, 1.0, 0.5, 1.0}, {3, "-Cho", 2, 3, 1, 1.0 / 3, 0.5, 0.0}}},
        {"2026-04-02", {{1, Aki, 1, 2, 1, 0.5, 0.5, 2.5}, {3, "-Cho", 1, 2, 1, 0.5, 0.5, 0.0}}},
        {"2026-02-30", {}}};
    for (const auto& range : ranges) {
        std::vector<std::tuple<int32_t, std::string, int32_t, int32_t, int32_t, double, double, double>> seen;
        for (const StudentSummary& s : StudentSummaries(Db, range.From, ""))
            seen.emplace_back(s.PlayerNo, s.Name, s.Games, s.Answered, s.Right, s.Rate, s.PointsWon, s.Points);
        EXPECT_EQ(seen, range.Students) << range.From;
    }
    // Bank 9 is always missed, 7 in 2 of 5 answers; 8 (asked twice) and 5 (once) never.
    const struct { std::string From; int Limit; std::vector<std::tuple<int32_t, std::string, int32_t, int32_t, int32_t, double>> Missed; } cases[] = {
        {"", 10, {{9, "nine", 1, 1, 0, 1.0}, {7, "Say \"hi\"", 2, 5, 3, 0.4}, {8, "+2", 2, 2, 2, 0.0}, {5, "three", 1, 0, 0, 0.0}}},
        {"", 1, {{9, "nine", 1, 1, 0, 1.0}}}, {"2026-04-01", 0, {}},
        {"2026-03-31", 2, {{9, "nine", 1, 1, 0, 1.0}, {7, "Say \"hi\"", 2, 5, 3, 0.4}}}, {"2026-04-31", 10, {}}};
    for (const auto& c : cases) {
        std::vector<std::tuple<int32_t, std::string, int32_t, int32_t, int32_t, double>> seen;
        for (const MissedQuestion& q : MostMissedQuestions(Db, c.From, "", c.Limit))
            seen.emplace_back(q.BankNo, q.Text, q.Asked, q.Answers, q.Right, q.MissRate);
        EXPECT_EQ(seen, c.Missed) << c.From << " " << c.Limit;
    }
}

TEST_F(RecordReports, CsvIsCp932WithCrLfQuotedFieldsAndNoFormulas)
{
    EXPECT_EQ(GameIdsInRange(Db, "", ""), (std::vector<int32_t>{1, 2}));
    EXPECT_EQ(GameIdsInRange(Db, "2026-04-02", "2026-04-02"), (std::vector<int32_t>{2}));
    const std::string csv = GameCsv(Db, {1});
    // ゲーム in CP932, byte for byte.
    EXPECT_EQ(csv.substr(0, 8), "\"\x83\x51\x81\x5B\x83\x80\"");
    const std::string g = "\"1\",\"2026-03-31 23:59:00\",";
    const std::string right = Sjis("\"○\""), wrong = Sjis("\"×\""), aki = "\"" + Aki + "\"";
    const std::string lines[] = {
        Sjis("\"ゲーム\",\"開始\",\"問\",\"問題\",\"正解\",\"名前\",\"答え\",\"正誤\",\"順位\",\"勝者\""),
        g + "\"1\",\"Say \"\"hi\"\"\",\"'=1+1\"," + aki + ",\"'=1+1\"," + right + ",\"2\",\"\"",
        g + "\"1\",\"Say \"\"hi\"\"\",\"'=1+1\",\"Ben\",\"'=1+1\"," + right + ",\"1\"," + right,
        g + "\"1\",\"Say \"\"hi\"\"\",\"'=1+1\",\"'-Cho\",\"'\td\"," + wrong + ",\"\",\"\"",
        g + "\"2\",\"'+2\",\"'@c\"," + aki + ",\"'@c\"," + right + ",\"1\"," + right,
        g + "\"2\",\"'+2\",\"'@c\",\"Ben\",\"\",\"\",\"\",\"\"",
        g + "\"2\",\"'+2\",\"'@c\",\"'-Cho\",\"\",\"\",\"\",\"\"",
        g + "\"3\",\"three\",\"b\"," + aki + ",\"\",\"\",\"\",\"\"",
        g + "\"3\",\"three\",\"b\",\"Ben\",\"\",\"\",\"\",\"\"",
        g + "\"3\",\"three\",\"b\",\"'-Cho\",\"\",\"\",\"\",\"\""};
    std::string expected;
    for (const std::string& line : lines) expected += line + "\r\n";
    EXPECT_EQ(csv, expected);
    EXPECT_EQ(GameCsv(Db, {1, 2}).size(), csv.size() + GameCsv(Db, {2}).size() - lines[0].size() - 2);
}

TEST_F(RecordReports, PasswordResetKeepsTheRegistrationRulesAndTouchesOnlyThatPassword)
{
    const std::string quote = CredentialMessage(CredentialFault::QuoteInPassword);
    const std::string length = CredentialMessage(CredentialFault::PasswordLength);
    const struct { int32_t Player; std::string Password, Message; } cases[] = {
        {1, "abcd1234", ""}, {2, "abc", length}, {2, "abcd12345", length}, {2, "", length}, {2, "abcd'234", quote},
        {2, "abcd\"234", quote}, {9, "abcd1234", Sjis("その番号のプレイヤーは登録されていません")},
        {3, Sjis("パスワード"), length}, {3, "zz99zz99", ""}};
    for (const auto& c : cases) EXPECT_EQ(ResetPlayerPassword(Db, c.Player, c.Password), c.Message) << c.Player << " " << c.Password;
    EXPECT_EQ(ReadRows(Db, "N,PNAME,PASWD,POINTS", "PLAYER", "", "N", 4),
              (std::vector<TextList>{{"1", Aki, "abcd1234", "2.5"}, {"2", "Ben", "22222222", "1"}, {"3", "-Cho", "zz99zz99", "0"}}));
    std::vector<std::tuple<int32_t, std::string, double>> players;
    for (const RegisteredPlayer& p : RegisteredPlayers(Db)) players.emplace_back(p.No, p.Name, p.Points);
    EXPECT_EQ(players, (std::vector<std::tuple<int32_t, std::string, double>>{{1, Aki, 2.5}, {2, "Ben", 1.0}, {3, "-Cho", 0.0}}));
}

class Quiet : public GameScreen {
public:
    void ViewChanged(const GameView&, ViewPart) override {}
    void TurnAway(const std::string&) override {}
    void Alert(const std::string&) override {}
    void FinalResultShown(const GameView&) override { ++Results; }
    int Results = 0;
};

// Player 2 is taken out at question 3: player 1 plays the game to its end without it, and
// player 2's program waits for the next game.
TEST_F(RecordReports, AMemberTakenOutLeavesTheOthersGameWhole)
{
    for (int n = 1; n <= 10; ++n)
        ASSERT_TRUE(Db.InsertText("QUIZQA", "N,SN,Q1,ANS,AN1,AN2,AN3,ANN", std::to_string(n) + ",0,'q','r','a','b','c',1"));
    QuizDatabase db1(GameDatabasePath), db2(GameDatabasePath);
    db1.ConnectDatabase();
    db2.ConnectDatabase();
    Quiet screen1, screen2;
    GameLoop loop1(db1, screen1, TGameTiming{500, 0, 0}), loop2(db2, screen2, TGameTiming{500, 0, 0});
    loop1.Join({1, Aki});
    loop2.Join({2, "Ben"});
    loop1.Ready();
    loop2.Ready();
    bool waited = false;  // player 2 waited for the next game
    const auto round = [&] {
        for (GameLoop* loop : {&loop1, &loop2}) {
            TickEnd end;
            do end = loop->Tick();
            while (end.GoOn && end.NextAtOnce);
        }
        waited = waited || loop2.Progress().GameState == TGameState::WaitNextGame;
    };
    for (int i = 0; i < 400 && loop1.Progress().QuestionNo < 3; ++i) round();
    ASSERT_EQ(loop1.Progress().QuestionNo, 3);
    EXPECT_TRUE(RemoveRoomMember(Db, loop2.Progress().MemberNo));
    EXPECT_FALSE(RemoveRoomMember(Db, loop2.Progress().MemberNo));
    for (int i = 0; i < 400 && screen1.Results == 0; ++i) round();
    EXPECT_EQ(screen1.Results, 1);
    EXPECT_EQ(screen2.Results, 0);
    EXPECT_TRUE(waited);
    db1.DisconnectDatabase();
    db2.DisconnectDatabase();
}

}  // namespace
