// The room statements on a real (embedded) database: the member and answer lists and their
// texts byte for byte, joining (numbers, creation, shuffling, the races
// with another program) and leaving.
#include "app/sjis_text.h"
#include "game/room_protocol.h"

#include "support/firebird_fixture.h"
#include "support/rival_registration.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <random>
#include <thread>

namespace {

// The CP932 bytes of the marks and delimiters, written out so that a wrong character with a
// similar look (a long-vowel bar for the hyphen, say) cannot pass.
const std::string Joined = "\x81\x7C";   // －
const std::string Ready = "\x81\x9B";    // ○
const std::string Playing = "\x81\x7E";  // ×
const std::string Taro = "\x91\xBE\x98\x59";  // 太郎
// ゼ ゾ: trail bytes 5B and 5D, the brackets of the delimiters.
const std::string Brackets = "\x83\x5B\x20\x83\x5D";

std::string GameItem(const std::string& name, const std::string& ok, const std::string& gp)
{
    return name + "\x20\x22\x5B" + ok + "\x5D\x22\x20\x47\x50\x3A" + gp;
}

std::string AnswerText(const std::string& name, const std::string& mn, const std::string& an)
{
    return name + "\x20\x27" + mn + "\x22\x81\x46" + an;
}

class RoomProtocol : public GameDatabaseTest {
protected:
    void SetUp() override
    {
        GameDatabaseTest::SetUp();
        ASSERT_TRUE(Db.CreatePlayerTable());
        ASSERT_TRUE(Db.CreateQuizQaTable());
        AddPlayer("1", "'alice'", "'12345678'", "0");
        AddPlayer("2", "'" + Taro + "'", "'12345678'", "0");
        AddPlayer("3", "'" + Brackets + "'", "'12345678'", "0");
    }

    void AddMember(int n, int mn, const std::string& ok, int gp = 0)
    {
        ASSERT_TRUE(Db.InsertText("QUIZMEM", "N,MN,OK,GP",
                                  std::to_string(n) + "," + std::to_string(mn) + "," + ok + "," + std::to_string(gp)));
    }

    void AddAnswer(int mn, int an)
    {
        ASSERT_TRUE(Db.InsertText("QUIZANS", "N,MN,AN", "0," + std::to_string(mn) + "," + std::to_string(an)));
    }

    // Questions 1..count with SN 100 + N and no ANN, values no shuffle can produce.
    void AddQuestions(int count)
    {
        for (int n = 1; n <= count; ++n)
            ASSERT_TRUE(Db.InsertText("QUIZQA", "N,SN,Q1,ANS,AN1,AN2,AN3",
                                      std::to_string(n) + "," + std::to_string(100 + n) + ",'q','a','b','c','d'"));
    }

    // N -> "SN/ANN" of every question.
    std::map<std::string, std::string> QuestionOrder()
    {
        std::map<std::string, std::string> order;
        for (const TextList& row : ReadRows(Db, "N,SN,ANN", "QUIZQA", "", "N", 3)) order[row[0]] = row[1] + "/" + row[2];
        return order;
    }

    std::vector<TextList> Members() { return ReadRows(Db, "N,MN,OK,GP", "QUIZMEM", "", "N", 4); }

    // Joins as the play window does, drawing the whole order when this program draws it.
    int32_t Join(int32_t playerNo)
    {
        QuestionDraw toDraw;
        const int32_t memberNo = JoinRoom(Db, playerNo, Random, toDraw);
        DrawQuestions(Db, Random, toDraw, toDraw.Numbers.size());
        return memberNo;
    }

    std::mt19937 Random{7};
};

// ---- the lists ----

TEST_F(RoomProtocol, MembersComeInMemberOrderWithTheirLobbyAndGameTexts)
{
    ASSERT_TRUE(Db.CreateQuizMemTable());
    AddMember(3, 1, "NULL");
    AddMember(1, 2, "0", 5);
    AddMember(4, 3, "13", 10);
    AddMember(2, 1, "1", 2);
    AddMember(5, 9, "1");  // no PLAYER row: not listed

    const std::vector<RoomMember> lobby = ReadMembers(Db, MemberListMode::Lobby);
    EXPECT_EQ(lobby, (std::vector<RoomMember>{{Taro, 0, 0}, {"alice", 1, 0}, {"alice", std::nullopt, 0}, {Brackets, 13, 0}}));
    const std::vector<RoomMember> game = ReadMembers(Db, MemberListMode::Game);
    EXPECT_EQ(game, (std::vector<RoomMember>{{Taro, 0, 5}, {"alice", 1, 2}, {"alice", std::nullopt, 0}, {Brackets, 13, 10}}));

    // The texts byte for byte; a NULL status shows as nothing and counts as playing.
    TextList lobbyTexts, gameTexts;
    for (const RoomMember& member : lobby) lobbyTexts.push_back(MemberItemText(member, MemberListMode::Lobby));
    for (const RoomMember& member : game) gameTexts.push_back(MemberItemText(member, MemberListMode::Game));
    EXPECT_EQ(lobbyTexts, (TextList{Taro + " " + Joined, "alice " + Ready, "alice " + Playing, Brackets + " " + Playing}));
    EXPECT_EQ(gameTexts, (TextList{GameItem(Taro, "0", "5"), GameItem("alice", "1", "2"), GameItem("alice", "", "0"),
                                   GameItem(Brackets, "13", "10")}));
}

TEST_F(RoomProtocol, AnswersCarryNameNumberAndButtonOfPlayersOnly)
{
    ASSERT_TRUE(Db.CreateQuizAnsTable());
    AddAnswer(2, 3);
    AddAnswer(9, 1);  // no PLAYER row: can never win
    AddAnswer(3, 4);

    std::vector<RoomAnswer> answers = ReadAnswers(Db);
    std::sort(answers.begin(), answers.end(), [](const RoomAnswer& a, const RoomAnswer& b) { return a.Mn < b.Mn; });
    ASSERT_EQ(answers, (std::vector<RoomAnswer>{{Taro, 2, 3}, {Brackets, 3, 4}}));
    EXPECT_EQ(AnswerItemText(answers[1]), AnswerText(Brackets, "3", "4"));
}

// ---- joining ----

TEST_F(RoomProtocol, FirstJoinerCreatesTheRoomAndShufflesEveryQuestion)
{
    AddQuestions(6);
    ASSERT_TRUE(Db.CreateQuizAnsTable());
    AddAnswer(1, 2);  // left from an earlier room

    const auto before = QuestionOrder();
    QuestionDraw toDraw;
    EXPECT_EQ(JoinRoom(Db, 2, Random, toDraw), 1);
    EXPECT_EQ(Members(), (std::vector<TextList>{{"1", "2", "0", "0"}}));
    EXPECT_EQ(Db.CountRows("QUIZANS", ""), 0);
    EXPECT_EQ(toDraw.BankSize, 6);
    EXPECT_EQ(toDraw.Numbers, (TextList{"1", "2", "3", "4", "5", "6"}));
    EXPECT_EQ(QuestionOrder(), before);

    // The order is written in parts, in ascending N.
    DrawQuestions(Db, Random, toDraw, 4);
    EXPECT_EQ(toDraw.Numbers, (TextList{"5", "6"}));
    EXPECT_EQ(QuestionOrder().at("5"), before.at("5"));
    DrawQuestions(Db, Random, toDraw, 4);
    EXPECT_TRUE(toDraw.Numbers.empty());

    const auto shuffled = QuestionOrder();
    ASSERT_EQ(shuffled.size(), 6u);
    for (const auto& [n, value] : shuffled) {
        const int sn = TextToInt(value.substr(0, value.find('/')));
        const int ann = TextToInt(value.substr(value.find('/') + 1));
        EXPECT_TRUE(sn >= 0 && sn <= 5) << "question " << n << ": " << value;
        EXPECT_TRUE(ann >= 1 && ann <= 4) << "question " << n << ": " << value;
    }

    // The second joiner takes the next number and leaves the order of this room alone.
    EXPECT_EQ(Join(1), 2);
    EXPECT_EQ(QuestionOrder(), shuffled);
    EXPECT_EQ(Members().size(), 2u);
}

TEST_F(RoomProtocol, RefusedJoinIsRetriedPastTheFreshMaximum)
{
    ASSERT_TRUE(Db.CreateQuizMemTable());
    AddMember(1, 1, "0");
    // Another program takes number 2 between this program's MAX(N) and its insert.
    ASSERT_TRUE(Db.ExecSqlLines({"CREATE TRIGGER TAKE_NUMBER FOR QUIZMEM BEFORE INSERT AS", "BEGIN",
                                 "  IF (NEW.MN <> 3 AND NOT EXISTS (SELECT 1 FROM QUIZMEM WHERE MN = 3)) THEN",
                                 "    IN AUTONOMOUS TRANSACTION DO",
                                 "      INSERT INTO QUIZMEM (N, MN, OK, GP) VALUES (NEW.N, 3, 0, 0);", "END"}));

    const int32_t n = Join(2);
    EXPECT_GT(n, 2);
    EXPECT_LE(n, 2 + 64);
    EXPECT_EQ(Members(), (std::vector<TextList>{{"1", "1", "0", "0"}, {"2", "3", "0", "0"}, {std::to_string(n), "2", "0", "0"}}));
}

TEST_F(RoomProtocol, RefusedJoinsLeaveTheProgramWithoutARow)
{
    ASSERT_TRUE(Db.CreateQuizMemTable());
    AddMember(1, 1, "0");
    ASSERT_TRUE(Db.ExecSqlLines({"ALTER TABLE QUIZMEM ADD CONSTRAINT NO_TARO CHECK (MN <> 2);"}));

    EXPECT_EQ(Join(2), 0);
    EXPECT_EQ(Members(), (std::vector<TextList>{{"1", "1", "0", "0"}}));
}

TEST_F(RoomProtocol, RoomCreatedMeanwhileByAnotherProgramIsJoined)
{
    AddQuestions(3);
    // Another program creates the room (and its own row) while this one creates it too.
    ASSERT_TRUE(Db.ExecSqlLines(
        {"CREATE TRIGGER MAKE_ROOM BEFORE CREATE TABLE AS", "BEGIN",
         "  IF (RDB$GET_CONTEXT('DDL_TRIGGER', 'OBJECT_NAME') = 'QUIZMEM' AND",
         "      RDB$GET_CONTEXT('USER_SESSION', 'ROOM_MADE') IS NULL) THEN", "  BEGIN",
         "    RDB$SET_CONTEXT('USER_SESSION', 'ROOM_MADE', '1');", "    IN AUTONOMOUS TRANSACTION DO",
         "      EXECUTE STATEMENT 'CREATE TABLE QUIZMEM (N INTEGER NOT NULL UNIQUE, MN INTEGER, OK INTEGER, GP INTEGER)';",
         "    IN AUTONOMOUS TRANSACTION DO",
         "      EXECUTE STATEMENT 'INSERT INTO QUIZMEM (N, MN, OK, GP) VALUES (1, 3, 0, 0)';", "  END", "END"}));
    const auto before = QuestionOrder();

    EXPECT_EQ(Join(2), 2);
    EXPECT_EQ(Members(), (std::vector<TextList>{{"1", "3", "0", "0"}, {"2", "2", "0", "0"}}));
    // The creator shuffles; this program did not create the room.
    EXPECT_EQ(QuestionOrder(), before);
}

TEST_F(RoomProtocol, OnlyTheFirstMemberOfTheNextGameShufflesAndOnlyWhileNoGameRuns)
{
    AddQuestions(4);
    ASSERT_TRUE(Db.CreateQuizMemTable());
    ASSERT_TRUE(Db.CreateQuizAnsTable());
    const auto before = QuestionOrder();

    // A game runs: one member judged question 4, another plays on.
    AddMember(1, 1, "13");
    AddMember(2, 3, "7");
    AddAnswer(3, 1);
    EXPECT_EQ(Join(2), 3);
    EXPECT_EQ(Db.CountRows("QUIZANS", ""), 1);
    EXPECT_EQ(QuestionOrder(), before);

    // The game is over: member 1 is in its closing pause (13), the others have left. The
    // first to join the open room draws the order of the next game.
    ASSERT_TRUE(Db.DeleteRows("QUIZMEM", "N>=2"));
    EXPECT_EQ(Join(2), 2);
    EXPECT_EQ(Db.CountRows("QUIZANS", ""), 0);
    const auto next = QuestionOrder();
    for (const auto& [n, value] : next) EXPECT_NE(value, before.at(n)) << "question " << n;

    // Everyone after it, ready or not, relies on that order.
    ASSERT_TRUE(Db.UpdateText("QUIZMEM", "OK=1", "N=2"));
    AddAnswer(3, 1);
    EXPECT_EQ(Join(3), 3);
    EXPECT_EQ(Join(1), 4);
    EXPECT_EQ(Db.CountRows("QUIZANS", ""), 0);
    EXPECT_EQ(QuestionOrder(), next);
}

// ---- leaving ----

TEST_F(RoomProtocol, FinishedGameRemovesStoppedMembersAndOwnRowOnly)
{
    ASSERT_TRUE(Db.CreateQuizMemTable());
    ASSERT_TRUE(Db.CreateQuizAnsTable());
    AddMember(1, 1, "13");  // this program
    AddMember(2, 2, "13");  // finished, leaves by itself
    AddMember(3, 3, "7");   // stopped at question 4
    AddMember(4, 3, "2");   // stopped right after the start
    AddMember(5, 2, "0");   // re-joined already

    LeaveFinishedGame(Db, 1, 1);
    EXPECT_EQ(Members(), (std::vector<TextList>{{"2", "2", "13", "0"}, {"5", "2", "0", "0"}}));
    EXPECT_TRUE(Db.TableExists("QUIZANS"));

    // The last to leave empties the room, which stays for the next game.
    LeaveFinishedGame(Db, 2, 2);
    LeaveFinishedGame(Db, 5, 2);
    EXPECT_EQ(Db.CountRows("QUIZMEM", ""), 0);
    EXPECT_TRUE(Db.TableExists("QUIZANS"));
}

TEST_F(RoomProtocol, FinishedGameOfAMemberGivenUpLeavesTheNextGameAlone)
{
    // This program (number 1) was given up as stopped; its row went with the old room, and
    // the next game runs in a new room.
    ASSERT_TRUE(Db.CreateQuizMemTable());
    ASSERT_TRUE(Db.CreateQuizAnsTable());
    AddMember(1, 2, "5");
    AddMember(2, 3, "5");
    AddAnswer(2, 1);

    LeaveFinishedGame(Db, 1, 1);
    EXPECT_EQ(Members(), (std::vector<TextList>{{"1", "2", "5", "0"}, {"2", "3", "5", "0"}}));
    EXPECT_EQ(Db.CountRows("QUIZANS", ""), 1);
}

TEST_F(RoomProtocol, LeavingRemovesOwnRowAndDropsTablesNobodyUses)
{
    ASSERT_TRUE(Db.CreateQuizMemTable());
    ASSERT_TRUE(Db.CreateQuizAnsTable());
    AddMember(1, 1, "5");
    AddMember(2, 2, "5");

    // The others play on: their (empty) answer table stays.
    LeaveRoom(Db, 2);
    EXPECT_EQ(Members(), (std::vector<TextList>{{"1", "1", "5", "0"}}));
    EXPECT_TRUE(Db.TableExists("QUIZANS"));

    // The last member drops the room; answers left in the table keep it.
    AddAnswer(1, 2);
    LeaveRoom(Db, 1);
    EXPECT_FALSE(Db.TableExists("QUIZMEM"));
    EXPECT_TRUE(Db.TableExists("QUIZANS"));

    // Without a room, an empty answer table goes; nothing fails on the missing room.
    ASSERT_TRUE(Db.DeleteRows("QUIZANS", ""));
    LeaveRoom(Db, 0);
    EXPECT_FALSE(Db.TableExists("QUIZANS"));
}

TEST_F(RoomProtocol, QuestionLoadDoesNotWaitForAnswersAnotherProgramIsDeleting)
{
    AddQuestions(2);
    ASSERT_TRUE(Db.CreateQuizAnsTable());
    AddAnswer(1, 2);
    AddAnswer(2, 3);
    // Another program deletes the answers in a transaction it keeps open.
    HeldWrite other("DELETE FROM QUIZANS");
    std::atomic<bool> otherDone = false;
    std::thread otherCarriesOn([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        other.Release();  // a roll-back
        otherDone = true;
    });

    const TextList row = LoadQuestionRow(Db, 2);
    const bool loadedFirst = !otherDone;
    otherCarriesOn.join();
    EXPECT_TRUE(loadedFirst);
    EXPECT_EQ(row[QaN], "2");
    EXPECT_EQ(row[QaSN], "102");
    // The rows were left to the program deleting them; its roll-back keeps them.
    EXPECT_EQ(Db.CountRows("QUIZANS", ""), 2);
}

TEST_F(RoomProtocol, ThirdOfAPointIsStoredWithFifteenDigits)
{
    AddPlayer("4", "'dave'", "'12345678'", "1.5");
    AddPlayerPoints(Db, 4, 3);
    AddPlayerPoints(Db, 1, 3);
    std::string points;
    ASSERT_EQ(Db.SelectFirstValue("POINTS", "PLAYER", "N=1", points), 1);
    EXPECT_EQ(points, "0.333333333333333");
    ASSERT_EQ(Db.SelectFirstValue("POINTS", "PLAYER", "N=4", points), 1);
    EXPECT_EQ(points, "1.83333333333333");
}

}  // namespace
