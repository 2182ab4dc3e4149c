// The connection, the table list, the four game tables and the read and write cycles of
// QuizDatabase, on the embedded engine (each test on its own new GAMES.FDB).
#include "db/database_objects.h"

#include "app/sjis_text.h"
#include "support/firebird_fixture.h"

#include <gtest/gtest.h>

namespace {

using Rows = std::vector<TextList>;

// ---------------------------------------------------------------------------
// Where the database is and how the program connects to it.

TEST(DatabasePath, IsServerNameThenDataFolderThenGamesFdb)
{
    SettingsGuard settings;
    AppSettings.ServerName = "dbhost:";
    AppSettings.DataFolder = "/var/lib/firebird/3.0/data/quizgame/";
    EXPECT_EQ(GameDatabasePath(), "dbhost:/var/lib/firebird/3.0/data/quizgame/GAMES.FDB");
    AppSettings.ServerName = "";
    AppSettings.DataFolder = "C:\\Games\\";
    EXPECT_EQ(GameDatabasePath(), "C:\\Games\\GAMES.FDB");
    // The path follows the settings of the moment, not those of an earlier call.
    AppSettings.ServerName = "127.0.0.1/3051:";
    EXPECT_EQ(GameDatabasePath(), "127.0.0.1/3051:C:\\Games\\GAMES.FDB");
}

using Connection = GameDatabaseTest;

TEST_F(Connection, CreatedDatabaseIsEmptyWithPageSize4096AndDialect3)
{
    EXPECT_TRUE(Db.Connected());
    EXPECT_FALSE(Db.TableExists("PLAYER"));
    EXPECT_TRUE(ObjectsOf(Db).Names.empty());
    ASSERT_EQ(Db.OpenSelect("MON$PAGE_SIZE, MON$SQL_DIALECT", "MON$DATABASE", "", ""), 1);
    TextList row(2);
    Db.FetchFirst(row);
    EXPECT_EQ(row, (TextList{"4096", "3"}));
}

TEST_F(Connection, CreateOnAnExistingFileFailsSilentlyAndKeepsItsTables)
{
    CreateGameTables();
    AddPlayer("1", "'alice'", "'pw'", "5");
    Db.DisconnectDatabase();

    QuizDatabase second{GameDatabasePath};
    EXPECT_NO_THROW(second.CreateGameDatabase());
    EXPECT_FALSE(second.Connected());
    second.ConnectDatabase();
    ASSERT_TRUE(second.Connected());
    EXPECT_TRUE(second.TableExists("QUIZQA"));
    EXPECT_TRUE(second.TableExists("QUIZANS"));
    EXPECT_EQ(second.CountRows("PLAYER", ""), 1);
    std::string name;
    EXPECT_EQ(second.SelectFirstValue("PNAME", "PLAYER", "N=1", name), 1);
    EXPECT_EQ(name, "alice");
    second.DisconnectDatabase();
}

TEST_F(Connection, CreateWhileConnectedMakesNoOtherDatabase)
{
    CreateGameTables();
    AddPlayer("1", "'a'", "'p'", "1");
    const auto other = NewFolder();
    other->Apply();
    EXPECT_NO_THROW(Db.CreateGameDatabase());
    EXPECT_FALSE(other->HasDatabaseFile());

    Db.DisconnectDatabase();
    Folder->Apply();
    Db.ConnectDatabase();
    ASSERT_TRUE(Db.Connected());
    EXPECT_EQ(Db.CountRows("PLAYER", ""), 1);
}

TEST_F(Connection, CreateInAMissingFolderFailsSilently)
{
    Db.DisconnectDatabase();
    AppSettings.DataFolder = Folder->DataFolder() + "no/such/folder/";
    QuizDatabase db{GameDatabasePath};
    EXPECT_NO_THROW(db.CreateGameDatabase());
    EXPECT_FALSE(db.Connected());
    EXPECT_EQ(db.CountRows("RDB$DATABASE", ""), -1);
}

TEST_F(Connection, ConnectWhileConnectedKeepsTheCurrentConnection)
{
    ASSERT_TRUE(Db.CreatePlayerTable());
    // A second database with another table, which a new attachment would see instead.
    const auto other = NewFolder();
    other->Apply();
    {
        QuizDatabase maker{GameDatabasePath};
        maker.CreateGameDatabase();
        ASSERT_TRUE(maker.Connected());
        ASSERT_TRUE(maker.CreateQuizMemTable());
        maker.DisconnectDatabase();
    }
    Db.ConnectDatabase();
    ASSERT_TRUE(Db.Connected());
    EXPECT_TRUE(Db.TableExists("PLAYER"));
    EXPECT_FALSE(Db.TableExists("QUIZMEM"));
}

TEST_F(Connection, ConnectToAMissingFileStaysDisconnectedAndCreatesNothing)
{
    Db.DisconnectDatabase();
    const auto empty = NewFolder();
    empty->Apply();
    EXPECT_NO_THROW(Db.ConnectDatabase());
    EXPECT_FALSE(Db.Connected());
    EXPECT_FALSE(empty->HasDatabaseFile());
}

TEST_F(Connection, DisconnectClosesTheCursorAndEndsTheTransactionAndConnectComesBack)
{
    ASSERT_TRUE(Db.CreatePlayerTable());
    AddPlayer("1", "'a'", "'p'", "1");
    ASSERT_EQ(Db.OpenSelect("*", "PLAYER", "", ""), 1);
    ASSERT_TRUE(ObjectsOf(Db).IBQuery1.IsOpen());
    ASSERT_TRUE(ObjectsOf(Db).IBTransaction1.Active());

    Db.DisconnectDatabase();
    EXPECT_FALSE(Db.Connected());
    EXPECT_FALSE(ObjectsOf(Db).IBQuery1.IsOpen());
    EXPECT_FALSE(ObjectsOf(Db).IBTransaction1.Active());
    EXPECT_NO_THROW(Db.DisconnectDatabase());
    EXPECT_FALSE(Db.Connected());

    // The committed row outlives the connection.
    Db.ConnectDatabase();
    ASSERT_TRUE(Db.Connected());
    EXPECT_TRUE(Db.TableExists("PLAYER"));
    EXPECT_EQ(Db.CountRows("PLAYER", ""), 1);
}

// ---------------------------------------------------------------------------
// The table list.

using TableList = GameDatabaseTest;

TEST_F(TableList, MatchesWholeTrimmedNamesIgnoringCaseAndKeepsThemInOrder)
{
    CreateGameTables();
    EXPECT_TRUE(Db.TableExists("QUIZMEM"));
    EXPECT_EQ(ObjectsOf(Db).Names, (TextList{"PLAYER", "QUIZANS", "QUIZMEM", "QUIZQA"}));
    EXPECT_TRUE(Db.TableExists("PLAYER"));
    EXPECT_TRUE(Db.TableExists("player"));
    EXPECT_TRUE(Db.TableExists("Player"));
    EXPECT_FALSE(Db.TableExists("PLAYE"));
    EXPECT_FALSE(Db.TableExists("PLAYERS"));
    EXPECT_FALSE(Db.TableExists(""));
    EXPECT_TRUE(Db.TableExists("quizqa"));
}

TEST_F(TableList, LeavesOutViewsAndSystemTables)
{
    ASSERT_TRUE(Db.CreatePlayerTable());
    ASSERT_TRUE(Db.ExecSqlLines({"CREATE VIEW PLAYERVIEW AS SELECT N FROM PLAYER;"}));
    EXPECT_FALSE(Db.TableExists("PLAYERVIEW"));
    EXPECT_FALSE(Db.TableExists("RDB$RELATIONS"));
    EXPECT_FALSE(Db.TableExists("MON$DATABASE"));
    EXPECT_EQ(ObjectsOf(Db).Names, (TextList{"PLAYER"}));
}

TEST_F(TableList, FollowsTablesMadeAndDroppedSinceTheLastCallAndIsFalseUnconnected)
{
    EXPECT_FALSE(Db.TableExists("QUIZMEM"));
    ASSERT_TRUE(Db.CreateQuizMemTable());
    EXPECT_TRUE(Db.TableExists("QUIZMEM"));
    ASSERT_TRUE(Db.DropTable("QUIZMEM"));
    EXPECT_FALSE(Db.TableExists("QUIZMEM"));
    EXPECT_TRUE(ObjectsOf(Db).Names.empty());
    ASSERT_TRUE(Db.CreatePlayerTable());
    ASSERT_TRUE(Db.TableExists("PLAYER"));
    Db.DisconnectDatabase();
    EXPECT_FALSE(Db.TableExists("PLAYER"));
}

// ---------------------------------------------------------------------------
// Statements from lines, and dropping tables.

using StatementLines = GameDatabaseTest;

TEST_F(StatementLines, EmptyListIsRefusedAndLeavesTheReadAndItsCursorAlone)
{
    ASSERT_TRUE(Db.CreatePlayerTable());
    AddPlayer("1", "'a'", "'p'", "1");
    AddPlayer("2", "'b'", "'q'", "2");
    ASSERT_EQ(Db.OpenSelect("N", "PLAYER", "", "N"), 2);
    ASSERT_TRUE(ObjectsOf(Db).IBTransaction1.Active());
    const TextList before = ObjectsOf(Db).IBQuery1.GetLines();

    EXPECT_FALSE(Db.ExecSqlLines({}));
    EXPECT_TRUE(ObjectsOf(Db).IBTransaction1.Active());
    EXPECT_TRUE(ObjectsOf(Db).IBQuery1.IsOpen());
    EXPECT_EQ(ObjectsOf(Db).IBQuery1.GetLines(), before);
    TextList row{"x"};
    Db.FetchNext(row);
    EXPECT_EQ(row, TextList{"2"});
}

TEST_F(StatementLines, RunsTheLinesAsOneStatementAndCommits)
{
    const TextList lines{"CREATE TABLE EXTRA (", "  A INTEGER,", "  B VARCHAR(4)", "  );"};
    ASSERT_TRUE(Db.ExecSqlLines(lines));
    EXPECT_EQ(ObjectsOf(Db).IBQuery1.GetLines(), lines);
    EXPECT_EQ(ObjectsOf(Db).IBQuery1.Text(), "CREATE TABLE EXTRA (\r\n  A INTEGER,\r\n  B VARCHAR(4)\r\n  );\r\n");
    EXPECT_FALSE(ObjectsOf(Db).IBTransaction1.Active());
    EXPECT_TRUE(Db.TableExists("EXTRA"));
    EXPECT_EQ(Db.CountColumns("EXTRA"), 2);
}

TEST_F(StatementLines, FailingStatementReturnsFalseAndLeavesNothing)
{
    ASSERT_TRUE(Db.CreatePlayerTable());
    ASSERT_EQ(Db.CountRows("PLAYER", ""), 0);
    EXPECT_FALSE(Db.ExecSqlLines({"INSERT INTO PLAYER (N) VALUES (1);", "INSERT"}));
    EXPECT_FALSE(Db.ExecSqlLines({"INSERT INTO NOSUCHTABLE (N) VALUES (1);"}));
    EXPECT_EQ(Db.CountRows("PLAYER", ""), 0);
}

TEST_F(StatementLines, DropTableSendsItsOneLineAndFailsOnAMissingTable)
{
    ASSERT_TRUE(Db.CreateQuizAnsTable());
    ASSERT_TRUE(Db.DropTable("QUIZANS"));
    EXPECT_EQ(ObjectsOf(Db).IBQuery1.GetLines(), TextList{"DROP TABLE QUIZANS;"});
    EXPECT_FALSE(Db.TableExists("QUIZANS"));
    EXPECT_EQ(Db.CountRows("QUIZANS", ""), -1);

    EXPECT_FALSE(Db.DropTable("NOSUCHTABLE"));
    EXPECT_EQ(ObjectsOf(Db).IBQuery1.GetLines(), TextList{"DROP TABLE NOSUCHTABLE;"});
}

// ---------------------------------------------------------------------------
// The read cycle and the write cycle.

using Cycles = GameDatabaseTest;

TEST_F(Cycles, ReadClosesItsCursorAndLeavesItsTransactionActive)
{
    ASSERT_TRUE(Db.CreatePlayerTable());
    EXPECT_FALSE(ObjectsOf(Db).IBTransaction1.Active());
    ASSERT_EQ(Db.CountRows("PLAYER", ""), 0);
    EXPECT_FALSE(ObjectsOf(Db).IBQuery1.IsOpen());
    EXPECT_TRUE(ObjectsOf(Db).IBTransaction1.Active());
    std::string max;
    Db.SelectMax("PLAYER", "N", "", max);
    EXPECT_FALSE(ObjectsOf(Db).IBQuery1.IsOpen());
    EXPECT_TRUE(ObjectsOf(Db).IBTransaction1.Active());
}

TEST_F(Cycles, WriteIsCommittedAtOnceAndSeenByTheNextRead)
{
    ASSERT_TRUE(Db.CreatePlayerTable());
    ASSERT_EQ(Db.CountRows("PLAYER", ""), 0);
    ASSERT_TRUE(Db.InsertText("PLAYER", "N", "1"));
    EXPECT_FALSE(ObjectsOf(Db).IBQuery1.IsOpen());
    EXPECT_EQ(Db.CountRows("PLAYER", ""), 1);

    // Committed: another attachment sees the row.
    QuizDatabase other{GameDatabasePath};
    other.ConnectDatabase();
    ASSERT_TRUE(other.Connected());
    EXPECT_EQ(other.CountRows("PLAYER", ""), 1);
    other.DisconnectDatabase();
}

TEST_F(Cycles, FailedWriteAfterAReadLeavesNoRowAndTheNextWriteGoesIn)
{
    ASSERT_TRUE(Db.CreatePlayerTable());
    AddPlayer("1", "'a'", "'p'", "1");
    ASSERT_EQ(Db.CountRows("PLAYER", ""), 1);
    // N is unique.
    EXPECT_FALSE(Db.InsertFields("PLAYER", 2, {"N", "PNAME"}, {"1", "'b'"}));
    EXPECT_EQ(Db.CountRows("PLAYER", ""), 1);
    EXPECT_EQ(Db.CountRows("PLAYER", "PNAME='b'"), 0);
    ASSERT_TRUE(Db.InsertFields("PLAYER", 2, {"N", "PNAME"}, {"2", "'b'"}));
    EXPECT_EQ(Db.CountRows("PLAYER", "PNAME='b'"), 1);
}

TEST_F(Cycles, ReadWithoutAConnectionFailsBeforeSettingLines)
{
    ASSERT_TRUE(Db.CreatePlayerTable());
    ASSERT_EQ(Db.CountRows("PLAYER", "N=1"), 0);
    const TextList before = ObjectsOf(Db).IBQuery1.GetLines();
    Db.DisconnectDatabase();
    EXPECT_EQ(Db.CountRows("PLAYER", ""), -1);
    EXPECT_EQ(Db.OpenSelect("*", "PLAYER", "", ""), 0);
    EXPECT_EQ(ObjectsOf(Db).IBQuery1.GetLines(), before);
    EXPECT_FALSE(ObjectsOf(Db).IBTransaction1.Active());
}

TEST_F(Cycles, WriteWithoutAConnectionFailsBeforeSettingLines)
{
    ASSERT_TRUE(Db.CreatePlayerTable());
    const TextList before = ObjectsOf(Db).IBQuery1.GetLines();
    Db.DisconnectDatabase();
    EXPECT_FALSE(Db.InsertText("PLAYER", "N", "1"));
    EXPECT_FALSE(Db.UpdateText("PLAYER", "N=2", ""));
    EXPECT_FALSE(Db.DeleteRows("PLAYER", ""));
    EXPECT_FALSE(Db.ExecSqlLines({"CREATE TABLE EXTRA (A INTEGER);"}));
    EXPECT_FALSE(Db.DropTable("PLAYER"));
    EXPECT_FALSE(Db.CreateQuizQaTable());
    EXPECT_EQ(ObjectsOf(Db).IBQuery1.GetLines(), before);
}

TEST_F(Cycles, StatementTextIsEveryLineFollowedByCrLf)
{
    ASSERT_TRUE(Db.CreatePlayerTable());
    ASSERT_EQ(Db.CountRows("PLAYER", "N=1"), 0);
    EXPECT_EQ(ObjectsOf(Db).IBQuery1.Text(), "SELECT * \r\n   FROM PLAYER \r\n   WHERE N=1 \r\n   ;\r\n");
    EXPECT_EQ(ObjectsOf(Db).IBQuery1.Text(), StatementText(ObjectsOf(Db).IBQuery1.GetLines()));

    // The engine's own record of the running statement holds the same bytes.
    const std::string condition = "MON$ATTACHMENT_ID = CURRENT_CONNECTION AND MON$SQL_TEXT CONTAINING 'MON$STATEMENTS'";
    ASSERT_EQ(Db.OpenSelect("CAST(MON$SQL_TEXT AS VARCHAR(2000))", "MON$STATEMENTS", condition, ""), 1);
    TextList text(1);
    Db.FetchFirst(text);
    EXPECT_EQ(text[0], ObjectsOf(Db).IBQuery1.Text());
    EXPECT_EQ(text[0], StatementText(ObjectsOf(Db).IBQuery1.GetLines()));
}

TEST_F(Cycles, CloseQueryClosesTheCursorAndEndsTheReadTransaction)
{
    ASSERT_TRUE(Db.CreatePlayerTable());
    AddPlayer("1", "'a'", "'p'", "1");
    ASSERT_EQ(Db.OpenSelect("*", "PLAYER", "", ""), 1);
    Db.CloseQuery();
    EXPECT_FALSE(ObjectsOf(Db).IBQuery1.IsOpen());
    EXPECT_FALSE(ObjectsOf(Db).IBTransaction1.Active());
    EXPECT_TRUE(Db.Connected());
}

// ---------------------------------------------------------------------------
// The four game tables.

struct TableCase {
    const char* Name;
    bool (QuizDatabase::*Create)();
    TextList Lines;
    TextList Columns;
};

void PrintTo(const TableCase& table, std::ostream* out) { *out << table.Name; }

const TableCase GameTables[] = {
    {"PLAYER",
     &QuizDatabase::CreatePlayerTable,
     {"CREATE TABLE PLAYER (", "  N INTEGER NOT NULL UNIQUE,", "  PNAME VARCHAR(16),", "  PASWD VARCHAR( 8),",
      "  POINTS DOUBLE PRECISION", "  );"},
     {"N", "PNAME", "PASWD", "POINTS"}},
    {"QUIZQA",
     &QuizDatabase::CreateQuizQaTable,
     {"CREATE TABLE QUIZQA (", "  N INTEGER NOT NULL UNIQUE,", "  SN INTEGER NOT NULL,", "  Q1 VARCHAR(50),",
      "  Q2 VARCHAR(50),", "  Q3 VARCHAR(50),", "  Q4 VARCHAR(50),", "  ANS VARCHAR(30),", "  AN1 VARCHAR(30),",
      "  AN2 VARCHAR(30),", "  AN3 VARCHAR(30),", "  ANN INTEGER", "  );"},
     {"N", "SN", "Q1", "Q2", "Q3", "Q4", "ANS", "AN1", "AN2", "AN3", "ANN"}},
    {"QUIZMEM",
     &QuizDatabase::CreateQuizMemTable,
     {"CREATE TABLE QUIZMEM (", "  N INTEGER NOT NULL UNIQUE,", "  MN INTEGER,", "  OK INTEGER,", "  GP INTEGER",
      "  );"},
     {"N", "MN", "OK", "GP"}},
    {"QUIZANS",
     &QuizDatabase::CreateQuizAnsTable,
     {"CREATE TABLE QUIZANS (", "  N INTEGER NOT NULL,", "  MN INTEGER,", "  AN INTEGER", "  );"},
     {"N", "MN", "AN"}},
};

class GameTable : public GameDatabaseTest, public ::testing::WithParamInterface<TableCase> {};

TEST_P(GameTable, IsCreatedFromItsLinesWithItsColumnsAndOnlyOnce)
{
    const TableCase& table = GetParam();
    ASSERT_TRUE((Db.*table.Create)());
    EXPECT_EQ(ObjectsOf(Db).IBQuery1.GetLines(), table.Lines);
    EXPECT_EQ(ObjectsOf(Db).IBQuery1.Text(), StatementText(table.Lines));
    EXPECT_TRUE(Db.TableExists(table.Name));
    EXPECT_EQ(ObjectsOf(Db).Names, TextList{table.Name});
    EXPECT_EQ(Db.CountColumns(table.Name), static_cast<int>(table.Columns.size()));

    // Every game table has an N column that may not be empty; the second column may be 1.
    ASSERT_TRUE(Db.InsertFields(table.Name, 2, {"N", table.Columns[1]}, {"7", "1"}));
    ASSERT_EQ(Db.OpenSelect("*", table.Name, "", ""), 1);
    TextList names(table.Columns.size(), "unset");
    Db.GetFieldNames(names);
    EXPECT_EQ(names, table.Columns);

    // A second create fails and leaves the table and its row.
    EXPECT_FALSE((Db.*table.Create)());
    EXPECT_EQ(Db.CountRows(table.Name, ""), 1);
    EXPECT_EQ(Db.CountColumns(table.Name), static_cast<int>(table.Columns.size()));
}

INSTANTIATE_TEST_SUITE_P(AllFour, GameTable, ::testing::ValuesIn(GameTables),
                         [](const ::testing::TestParamInfo<TableCase>& info) { return std::string(info.param.Name); });

using GameTableRules = GameDatabaseTest;

TEST_F(GameTableRules, OnlyAnswersMayRepeatANumberAndNoTableTakesAMissingOne)
{
    CreateGameTables();
    AddPlayer("1", "'a'", "'p'", "0");
    EXPECT_FALSE(Db.InsertFields("PLAYER", 2, {"N", "PNAME"}, {"1", "'b'"}));
    EXPECT_FALSE(Db.InsertText("PLAYER", "PNAME", "'c'"));
    EXPECT_EQ(Db.CountRows("PLAYER", ""), 1);

    ASSERT_TRUE(Db.InsertFields("QUIZQA", 2, {"N", "SN"}, {"1", "1"}));
    EXPECT_FALSE(Db.InsertFields("QUIZQA", 2, {"N", "SN"}, {"1", "2"}));
    EXPECT_FALSE(Db.InsertText("QUIZQA", "N", "2"));  // SN may not be empty either
    EXPECT_EQ(Db.CountRows("QUIZQA", ""), 1);

    ASSERT_TRUE(Db.InsertText("QUIZMEM", "N", "1"));
    EXPECT_FALSE(Db.InsertText("QUIZMEM", "N", "1"));
    EXPECT_EQ(Db.CountRows("QUIZMEM", ""), 1);

    EXPECT_TRUE(Db.InsertFields("QUIZANS", 3, {"N", "MN", "AN"}, {"1", "1", "2"}));
    EXPECT_TRUE(Db.InsertFields("QUIZANS", 3, {"N", "MN", "AN"}, {"1", "2", "3"}));
    EXPECT_FALSE(Db.InsertFields("QUIZANS", 2, {"MN", "AN"}, {"3", "1"}));
    EXPECT_EQ(Db.CountRows("QUIZANS", "N=1"), 2);
    EXPECT_EQ(Db.CountRows("QUIZANS", ""), 2);
}

TEST_F(GameTableRules, TextColumnsHoldTheirWidthInBytesAndNoMore)
{
    CreateGameTables();
    EXPECT_TRUE(Db.InsertFields("PLAYER", 3, {"N", "PNAME", "PASWD"}, {"1", "'ABCDEFGHIJKLMNOP'", "'12345678'"}));
    EXPECT_FALSE(Db.InsertFields("PLAYER", 2, {"N", "PNAME"}, {"2", "'ABCDEFGHIJKLMNOPQ'"}));
    EXPECT_FALSE(Db.InsertFields("PLAYER", 2, {"N", "PASWD"}, {"3", "'123456789'"}));
    EXPECT_EQ(Db.CountRows("PLAYER", ""), 1);

    const std::string fifty(50, 'q');
    const std::string thirty(30, 'a');
    EXPECT_TRUE(Db.InsertFields("QUIZQA", 4, {"N", "SN", "Q4", "AN3"}, {"1", "1", "'" + fifty + "'", "'" + thirty + "'"}));
    EXPECT_FALSE(Db.InsertFields("QUIZQA", 3, {"N", "SN", "Q1"}, {"2", "1", "'" + fifty + "q'"}));
    EXPECT_FALSE(Db.InsertFields("QUIZQA", 3, {"N", "SN", "ANS"}, {"3", "1", "'" + thirty + "a'"}));
    TextList row(2);
    ASSERT_EQ(Db.SelectFirstRow("Q4, AN3", "QUIZQA", "N=1", row), 2);
    EXPECT_EQ(row, (TextList{fifty, thirty}));
}

bool HasTrailByteInAsciiRange(const std::string& sjis)
{
    for (size_t i = 0; i + 1 < sjis.size(); ++i) {
        const unsigned char lead = static_cast<unsigned char>(sjis[i]);
        if ((lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC)) {
            const unsigned char trail = static_cast<unsigned char>(sjis[i + 1]);
            if (trail >= 0x40 && trail <= 0x7E) return true;
            ++i;
        }
    }
    return false;
}

TEST_F(GameTableRules, Cp932NamesRoundTripByteForByteAndCountBytes)
{
    ASSERT_TRUE(Db.CreatePlayerTable());
    const std::string question = Sjis("質問テスト");
    ASSERT_EQ(question.size(), 10u);
    ASSERT_TRUE(HasTrailByteInAsciiRange(question));  // テ is 83 65, ト is 83 67
    ASSERT_EQ(question.find('\\'), std::string::npos);

    const std::string eight = Sjis("質問テストです。");
    const std::string nine = Sjis("質問テストですよ。");
    ASSERT_EQ(eight.size(), 16u);
    ASSERT_EQ(nine.size(), 18u);

    AddPlayer("1", "'" + question + "'", "''", "0");
    AddPlayer("2", "'" + eight + "'", "''", "0");
    EXPECT_FALSE(Db.InsertFields("PLAYER", 2, {"N", "PNAME"}, {"3", "'" + nine + "'"}));

    std::string name;
    ASSERT_EQ(Db.SelectFirstValue("PNAME", "PLAYER", "N=1", name), 1);
    EXPECT_EQ(name, question);
    ASSERT_EQ(Db.SelectFirstValue("PNAME", "PLAYER", "N=2", name), 1);
    EXPECT_EQ(name, eight);
    EXPECT_TRUE(Db.ValueExists("PLAYER", "PNAME", "", question));
    EXPECT_EQ(Db.CountRows("PLAYER", ""), 2);
}

}  // namespace
