// The teacher's reports on a small record written by GameRecord itself (two games of three
// questions on fixed dates), the CSV export byte for byte, the password reset and the removal
// of a room member.
#include "app/sjis_text.h"
#include "game/game_record.h"
#include "game/record_reports.h"
#include "player/registration.h"

#include "support/firebird_fixture.h"

#include <gtest/gtest.h>

namespace {

const std::string Aki = Sjis("秋山");
const std::string Names[] = {"", Aki, "Ben", "-Cho"};
using Answers = std::vector<std::pair<int32_t, int32_t>>;  // player, button in the room's order

class RecordReports : public GameDatabaseTest {
protected:
    void SetUp() override
    {
        GameDatabaseTest::SetUp();
        CreateGameTables();
        AddPlayer("1", "'" + Aki + "'", "'11111111'", "2.5");
        AddPlayer("2", "'Ben'", "'22222222'", "1");
        AddPlayer("3", "'-Cho'", "'33333333'", "0");
        ASSERT_TRUE(Record.Prepare());
        // Game 1: 2 wins q1 before 1, 3 answers wrong; 1 wins q2; nobody answers q3.
        Record.GameStarted();
        Judged(1, 7, "Say \"hi\"", {"=1+1", "b", "c", "\td"}, 1, {{2, 1}, {1, 1}, {3, 4}}, {2}, {1, 2, 3});
        Judged(2, 8, "+2", {"a", "b", "@c", "d"}, 3, {{1, 3}}, {1}, {1, 2, 3});
        Judged(3, 5, "three", {"a", "b", "c", "d"}, 2, {}, {}, {1, 2, 3});
        Ended({1, 1, 0});
        // Game 2, without 2: 3 wins q1; 3 misses q2; 1 wins q3.
        Record.GameStarted();
        Judged(1, 7, "Say \"hi\"", {"a", "b", "c", "d"}, 2, {{3, 2}, {1, 4}}, {3}, {1, 3});
        Judged(2, 9, "nine", {"a", "b", "c", "d"}, 1, {{3, 2}}, {}, {1, 3});
        Judged(3, 8, "+2", {"a", "b", "c", "d"}, 3, {{1, 3}}, {1}, {1, 3});
        Ended({1, 0, 1});
        ASSERT_TRUE(Db.UpdateText("QUIZLOGGAME", "STARTED='2026-03-31 23:59:00',ENDED='2026-04-01 00:05:00'", "ID=1"));
        ASSERT_TRUE(Db.UpdateText("QUIZLOGGAME", "STARTED='2026-04-02 10:00:00',ENDED='2026-04-02 10:10:00'", "ID=2"));
    }
    void Judged(int32_t no, int32_t bank, const std::string& text, std::array<std::string, 4> choices, int32_t correct,
                const Answers& answers, std::vector<int32_t> winners, const std::vector<int32_t>& members)
    {
        QuestionOutcome q{0, no, bank, text, choices, correct, {}, {}, winners};
        for (const int32_t p : members) q.Members.push_back({p, p, Names[p], {}, 0});
        for (const auto& [player, button] : answers) q.Answers.push_back({player, Names[player], button});
        Record.QuestionJudged(q);
        Members = q.Members;
    }
    void Ended(const std::vector<int32_t>& scores)  // by player number; a player not in the game: 0
    {
        GameOutcome game{0, {}, {}, Members, 0};
        for (WatchedMember& m : game.Members) game.TopScore = std::max(game.TopScore, m.Points = scores[size_t(m.PlayerNo - 1)]);
        Record.GameEnded(game);
    }
    GameRecord Record{Db};
    std::vector<WatchedMember> Members;
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
        EXPECT_EQ(GameIdsInRange(Db, c.From, c.To), std::vector<int32_t>(ids.rbegin(), ids.rend()));
    }
    const std::vector<RecordedGame> games = RecordedGames(Db, "", "");
    ASSERT_EQ(games.size(), 2u);
    EXPECT_EQ(std::tie(games[1].Started, games[1].Ended), std::make_tuple("2026-03-31 23:59:00", "2026-04-01 00:05:00"));
    EXPECT_EQ(std::tie(games[1].TopScore, games[1].Members, games[0].Members), std::make_tuple(1, 3, 2));
    EXPECT_EQ(games[1].Winners, (std::vector<std::string>{Aki, "Ben"}));
    EXPECT_EQ(games[0].Winners, (std::vector<std::string>{Aki, "-Cho"}));
}

TEST_F(RecordReports, OneGameRanksItsMembersAndShowsEveryAnswer)
{
    EXPECT_FALSE(GameReportOf(Db, 3));
    const std::optional<GameReport> report = GameReportOf(Db, 1);
    ASSERT_TRUE(report);
    using Member = std::tuple<int32_t, std::string, int32_t, double, int32_t, int32_t>;
    std::vector<Member> members;
    for (const ReportMember& m : report->Members) members.emplace_back(m.Rank, m.Name, m.Score, m.Share, m.Right, m.Answered);
    EXPECT_EQ(members, (std::vector<Member>{{1, Aki, 1, 0.5, 2, 2}, {1, "Ben", 1, 0.5, 1, 1}, {3, "-Cho", 0, 0.0, 0, 1}}));
    using Question = std::tuple<int32_t, int32_t, int32_t, int32_t, std::string, std::string>;
    std::vector<Question> questions;
    for (const ReportQuestion& q : report->Questions) {
        std::string answers;  // player:button:right:place:won
        for (const ReportAnswer& a : q.Answers)
            for (const int value : {a.PlayerNo, a.Button, int{a.Right}, a.Place, int{a.Won}}) answers += std::to_string(value) + ":";
        questions.emplace_back(q.BankNo, q.Correct, q.Answered, q.Right, q.Winner, answers);
    }
    EXPECT_EQ(questions, (std::vector<Question>{{7, 1, 3, 2, "Ben", "1:1:1:2:0:2:1:1:1:1:3:4:0:0:0:"},
                                                {8, 3, 1, 1, Aki, "1:3:1:1:1:2:0:0:0:0:3:0:0:0:0:"},
                                                {5, 2, 0, 0, "", "1:0:0:0:0:2:0:0:0:0:3:0:0:0:0:"}}));
}

TEST_F(RecordReports, StudentsAndMostMissedQuestionsOfARange)
{
    using Student = std::tuple<int32_t, std::string, int32_t, int32_t, int32_t, double, double, double>;
    const struct { std::string From; std::vector<Student> Students; } ranges[] = {
        {"", {{1, Aki, 2, 4, 3, 0.75, 1.0, 2.5}, {2, "Ben", 1, 1, 1, 1.0, 0.5, 1.0}, {3, "-Cho", 2, 3, 1, 1.0 / 3, 0.5, 0.0}}},
        {"2026-04-02", {{1, Aki, 1, 2, 1, 0.5, 0.5, 2.5}, {3, "-Cho", 1, 2, 1, 0.5, 0.5, 0.0}}}, {"2026-02-30", {}}};
    for (const auto& range : ranges) {
        std::vector<Student> seen;
        for (const StudentSummary& s : StudentSummaries(Db, range.From, ""))
            seen.emplace_back(s.PlayerNo, s.Name, s.Games, s.Answered, s.Right, s.Rate, s.PointsWon, s.Points);
        EXPECT_EQ(seen, range.Students) << range.From;
    }
    // Bank 9 is always missed, 7 in 2 of 5 answers; 8 (asked twice) and 5 (once) never.
    using Missed = std::tuple<int32_t, std::string, int32_t, int32_t, int32_t, double>;
    const Missed nine{9, "nine", 1, 1, 0, 1.0}, seven{7, "Say \"hi\"", 2, 5, 3, 0.4};
    const struct { std::string From; int Limit; std::vector<Missed> Questions; } cases[] = {
        {"", 10, {nine, seven, {8, "+2", 2, 2, 2, 0.0}, {5, "three", 1, 0, 0, 0.0}}}, {"", 1, {nine}},
        {"2026-04-01", 0, {}}, {"2026-03-31", 2, {nine, seven}}, {"2026-04-31", 10, {}}};
    for (const auto& c : cases) {
        std::vector<Missed> seen;
        for (const MissedQuestion& q : MostMissedQuestions(Db, c.From, "", c.Limit))
            seen.emplace_back(q.BankNo, q.Text, q.Asked, q.Answers, q.Right, q.MissRate);
        EXPECT_EQ(seen, c.Questions) << c.From << " " << c.Limit;
    }
}

TEST_F(RecordReports, CsvIsCp932WithCrLfQuotedFieldsAndNoFormulas)
{
    const std::string csv = GameCsv(Db, {1});
    EXPECT_EQ(csv.substr(0, 8), "\"\x83\x51\x81\x5B\x83\x80\"");  // ゲーム
    const std::string g = "\"1\",\"2026-03-31 23:59:00\",", q1 = g + "\"1\",\"Say \"\"hi\"\"\",\"'=1+1\",", q2 = g + "\"2\",\"'+2\",\"'@c\",";
    const std::string right = Sjis("\"○\""), wrong = Sjis("\"×\""), none = "\"\",\"\",\"\",\"\"\r\n";
    std::string expected = Sjis("\"ゲーム\",\"開始\",\"問\",\"問題\",\"正解\",\"名前\",\"答え\",\"正誤\",\"順位\",\"勝者\"\r\n") + q1 + "\"" +
                           Aki + "\",\"'=1+1\"," + right + ",\"2\",\"\"\r\n" + q1 + "\"Ben\",\"'=1+1\"," + right + ",\"1\"," + right +
                           "\r\n" + q1 + "\"'-Cho\",\"'\td\"," + wrong + ",\"\",\"\"\r\n" + q2 + "\"" + Aki + "\",\"'@c\"," + right +
                           ",\"1\"," + right + "\r\n" + q2 + "\"Ben\"," + none + q2 + "\"'-Cho\"," + none;
    for (const std::string& name : {"\"" + Aki + "\"", std::string("\"Ben\""), std::string("\"'-Cho\"")})
        expected += g + "\"3\",\"three\",\"b\"," + name + "," + none;
    EXPECT_EQ(csv, expected);
    EXPECT_EQ(GameCsv(Db, {1, 2, 7}), csv + GameCsv(Db, {2}).substr(csv.find("\r\n") + 2));
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

// Only that member's row goes; the others' games pass their barriers without it, and its own
// program, finding its row gone, waits for the next game (both in the game loop's tests).
TEST_F(RecordReports, RemovingAMemberTakesOnlyItsRow)
{
    for (const char* row : {"1,1,4,0", "2,2,3,1", "3,3,4,0"}) ASSERT_TRUE(Db.InsertText("QUIZMEM", "N,MN,OK,GP", row));
    const std::pair<int32_t, bool> cases[] = {{2, true}, {2, false}, {0, false}, {9, false}};
    for (const auto& [member, removed] : cases) EXPECT_EQ(RemoveRoomMember(Db, member), removed) << member;
    EXPECT_EQ(ReadRows(Db, "N,OK", "QUIZMEM", "", "N", 2), (std::vector<TextList>{{"1", "4"}, {"3", "4"}}));
}

}  // namespace
