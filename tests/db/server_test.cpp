// QuizDatabase against the loopback Firebird test server: creating and attaching over
// TCP, an unreachable server, two programs sharing one database (how the game is played),
// and a connection that breaks in the middle of a run (through a TCP relay that the test
// cuts; the shared server itself is never stopped).
#include "db/database_objects.h"

#include "support/firebird_fixture.h"
#include "support/tcp_relay.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <thread>
#include <type_traits>

namespace {

static_assert(std::is_base_of_v<std::runtime_error, DbError>);

std::string TrimRight(std::string text)
{
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

using OnServer = ServerDatabaseTest;

TEST_F(OnServer, CreatesAndAttachesGamesFdbThroughTheServerAsSysdba)
{
    // The server (user firebird) made the file, not an engine inside this process.
    struct stat info {};
    ASSERT_EQ(stat(Folder->LocalFile().c_str(), &info), 0);
    const passwd* firebird = getpwnam("firebird");
    ASSERT_NE(firebird, nullptr);
    EXPECT_EQ(info.st_uid, firebird->pw_uid);

    ASSERT_EQ(Db.OpenSelect("MON$PAGE_SIZE, MON$SQL_DIALECT", "MON$DATABASE", "", ""), 1);
    TextList database(2);
    Db.FetchFirst(database);
    EXPECT_EQ(database, (TextList{"4096", "3"}));

    TextList attachment(2);
    ASSERT_EQ(Db.SelectFirstRow("MON$USER, MON$REMOTE_PROTOCOL", "MON$ATTACHMENTS",
                                "MON$ATTACHMENT_ID = CURRENT_CONNECTION", attachment),
              2);
    EXPECT_EQ(TrimRight(attachment[0]), "SYSDBA");
    EXPECT_EQ(attachment[1].substr(0, 3), "TCP");

    // ConnectDatabase attaches over the server again.
    ASSERT_TRUE(Db.CreateQuizQaTable());
    Db.DisconnectDatabase();
    ASSERT_FALSE(Db.Connected());
    Db.ConnectDatabase();
    ASSERT_TRUE(Db.Connected());
    EXPECT_TRUE(Db.TableExists("QUIZQA"));
    std::string protocol;
    ASSERT_EQ(Db.SelectFirstValue("MON$REMOTE_PROTOCOL", "MON$ATTACHMENTS", "MON$ATTACHMENT_ID = CURRENT_CONNECTION",
                                  protocol),
              1);
    EXPECT_EQ(protocol.substr(0, 3), "TCP");
}

TEST_F(OnServer, UnreachableServerFailsSilentlyAndStaysDisconnected)
{
    const auto folder = NewFolder();
    // Nothing listens on port 1 of loopback: the connection is refused at once.
    folder->ApplyWithServer("127.0.0.1/1:");
    QuizDatabase db{GameDatabasePath};
    EXPECT_NO_THROW(db.CreateGameDatabase());
    EXPECT_FALSE(db.Connected());
    EXPECT_FALSE(folder->HasDatabaseFile());
    EXPECT_NO_THROW(db.ConnectDatabase());
    EXPECT_FALSE(db.Connected());
    EXPECT_FALSE(db.TableExists("PLAYER"));
    EXPECT_EQ(db.CountRows("RDB$DATABASE", ""), -1);
}

TEST_F(OnServer, SecondCreateOnTheSameDatabaseIsSilentAndKeepsItsRows)
{
    ASSERT_TRUE(Db.CreatePlayerTable());
    AddPlayer("1", "'alice'", "'pw'", "3");
    Db.DisconnectDatabase();

    QuizDatabase second{GameDatabasePath};
    EXPECT_NO_THROW(second.CreateGameDatabase());
    EXPECT_FALSE(second.Connected());
    second.ConnectDatabase();
    ASSERT_TRUE(second.Connected());
    EXPECT_TRUE(second.TableExists("PLAYER"));
    TextList row(2);
    EXPECT_EQ(second.SelectFirstRow("PNAME, POINTS", "PLAYER", "N=1", row), 2);
    EXPECT_EQ(row, (TextList{"alice", "3"}));
    second.DisconnectDatabase();
}

// Two players' programs: each its own QuizDatabase with its own connection.
class TwoPrograms : public ServerDatabaseTest {
protected:
    void SetUp() override
    {
        ServerDatabaseTest::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_TRUE(Db.CreatePlayerTable());
        Other.ConnectDatabase();
        ASSERT_TRUE(Other.Connected());
    }
    void TearDown() override
    {
        Other.DisconnectDatabase();
        ServerDatabaseTest::TearDown();
    }
    QuizDatabase Other{GameDatabasePath};
};

TEST_F(TwoPrograms, EachSeesTheOthersCommitsAtItsNextRead)
{
    // A reads and keeps its read transaction; B writes meanwhile.
    ASSERT_EQ(Db.CountRows("PLAYER", ""), 0);
    ASSERT_TRUE(ObjectsOf(Db).IBTransaction1.Active());
    ASSERT_TRUE(Other.InsertFields("PLAYER", 2, {"N", "PNAME"}, {"1", "'bob'"}));
    EXPECT_EQ(Db.CountRows("PLAYER", ""), 1);
    EXPECT_TRUE(Db.ValueExists("PLAYER", "PNAME", "", "bob"));

    // And the other way round, with every kind of read.
    ASSERT_EQ(Other.CountRows("PLAYER", ""), 1);
    ASSERT_TRUE(ObjectsOf(Other).IBTransaction1.Active());
    ASSERT_TRUE(Db.InsertFields("PLAYER", 2, {"N", "PNAME"}, {"2", "'ann'"}));
    std::string max;
    Other.SelectMax("PLAYER", "N", "", max);
    EXPECT_EQ(max, "2");
    ASSERT_TRUE(Db.UpdateText("PLAYER", "POINTS=5", "N=1"));
    std::string points;
    EXPECT_EQ(Other.SelectFirstValue("POINTS", "PLAYER", "N=1", points), 1);
    EXPECT_EQ(points, "5");
    ASSERT_TRUE(Db.DeleteRows("PLAYER", "N=2"));
    EXPECT_EQ(Other.OpenSelect("N", "PLAYER", "", ""), 1);
}

TEST_F(TwoPrograms, AnOpenReadTransactionDoesNotBlockTheOthersWrites)
{
    AddPlayer("1", "'a'", "'p'", "0");
    ASSERT_EQ(Db.OpenSelect("*", "PLAYER", "", ""), 1);
    ASSERT_TRUE(ObjectsOf(Db).IBTransaction1.Active());
    EXPECT_TRUE(Other.UpdateText("PLAYER", "POINTS=9", "N=1"));
    EXPECT_TRUE(Other.DeleteRows("PLAYER", "N=1"));
    EXPECT_EQ(Other.CountRows("PLAYER", ""), 0);
    EXPECT_EQ(Db.CountRows("PLAYER", ""), 0);
}

TEST_F(TwoPrograms, ATableIsDroppedOnlyOnceTheOtherHasLetGoOfItsStatements)
{
    ASSERT_TRUE(Db.CreateQuizMemTable());
    // While B's select on the table is open, A's drop fails and the table stays.
    ASSERT_EQ(Other.OpenSelect("*", "QUIZMEM", "", "N"), 0);
    EXPECT_FALSE(Db.DropTable("QUIZMEM"));
    EXPECT_TRUE(Db.TableExists("QUIZMEM"));
    Other.CloseSelect();
    // B keeps its reads prepared, and they keep the table in use.
    ASSERT_TRUE(Other.InsertText("QUIZMEM", "N,MN,OK,GP", "1,1,0,0"));
    ASSERT_EQ(Other.CountRows("QUIZMEM", ""), 1);
    ASSERT_TRUE(Other.DeleteRows("QUIZMEM", ""));
    EXPECT_FALSE(Db.DropTable("QUIZMEM"));
    Other.ReleaseStatements();
    EXPECT_TRUE(Db.DropTable("QUIZMEM"));
    EXPECT_FALSE(Other.TableExists("QUIZMEM"));
}

TEST_F(TwoPrograms, AReadPreparedAheadSeesTheOthersLaterCommitsAndOneThatFailedIsNotKept)
{
    // Before the table exists the prepare fails quietly: no failure counts, nothing is kept.
    const uint64_t failures = Db.StatementsFailed();
    Db.PrepareRead("*", "QUIZMEM", "MN=1", "");
    Db.StartWriting(LockWait::Never);
    EXPECT_EQ(Db.StatementsFailed(), failures);
    ASSERT_TRUE(Other.CreateQuizMemTable());
    ASSERT_TRUE(Other.InsertText("QUIZMEM", "N,MN,OK,GP", "1,1,0,0"));
    EXPECT_EQ(Db.CountRows("QUIZMEM", "MN=1"), 1);

    Db.PrepareRead("*", "QUIZMEM", "MN=2", "");
    ASSERT_TRUE(Other.InsertText("QUIZMEM", "N,MN,OK,GP", "2,2,0,0"));
    TextList row(4);
    EXPECT_EQ(Db.SelectFirstRow("*", "QUIZMEM", "MN=2", row), 4);
    EXPECT_EQ(row[0], "2");
    EXPECT_TRUE(Db.DeleteRows("QUIZMEM", "", LockWait::Never));
    EXPECT_EQ(Other.CountRows("QUIZMEM", ""), 0);
}

TEST_F(TwoPrograms, AWriteFindsTheRowsTheOtherCommittedAfterTheReadTransactionBegan)
{
    ASSERT_EQ(Db.CountRows("PLAYER", ""), 0);
    ASSERT_TRUE(Other.InsertFields("PLAYER", 2, {"N", "PNAME"}, {"2", "'bob'"}));
    // In a snapshot of A's read transaction B's row would not be there, and the update would
    // hit nothing.
    ASSERT_TRUE(Db.UpdateText("PLAYER", "POINTS=7", "N=2"));
    std::string points;
    EXPECT_EQ(Other.SelectFirstValue("POINTS", "PLAYER", "N=2", points), 1);
    EXPECT_EQ(points, "7");
}

// ---------------------------------------------------------------------------
// A connection that breaks. The database is made directly on the server; the program
// then attaches through the relay, which the test cuts.

class LostConnection : public ServerDatabaseTest {
protected:
    void SetUp() override
    {
        ServerDatabaseTest::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_TRUE(Db.CreatePlayerTable());
        AddPlayer("1", "'alice'", "'pw'", "4");
        Db.DisconnectDatabase();

        Relay = std::make_unique<TcpRelay>(Server->Port());
        Folder->ApplyWithServer(Relay->ServerName());
        Db.ConnectDatabase();
        ASSERT_TRUE(Db.Connected()) << GameDatabasePath();
        ASSERT_GE(Relay->Open(), 1) << "the program did not connect through the relay";
    }
    void TearDown() override
    {
        ServerDatabaseTest::TearDown();
        Relay.reset();
    }

    // Runs a call that must report the lost connection to its caller.
    template <typename Call>
    void ExpectLostConnectionError(const char* what, Call call)
    {
        try {
            call();
            ADD_FAILURE() << what << " returned normally; a DbError with LostConnection() was expected";
        } catch (const DbError& error) {
            EXPECT_TRUE(error.LostConnection()) << error.what();
        }
    }

    std::unique_ptr<TcpRelay> Relay;
};

TEST_F(LostConnection, ReadWithTheLastReadTransactionStillOpenReportsIt)
{
    ASSERT_EQ(Db.CountRows("PLAYER", ""), 1);
    ASSERT_TRUE(ObjectsOf(Db).IBTransaction1.Active());
    Relay->Cut();
    ExpectLostConnectionError("CountRows(\"PLAYER\", \"\")", [&] { Db.CountRows("PLAYER", ""); });
    EXPECT_FALSE(Db.Connected());
    EXPECT_FALSE(ObjectsOf(Db).IBTransaction1.Active());
    EXPECT_FALSE(ObjectsOf(Db).IBQuery1.IsOpen());
}

TEST_F(LostConnection, ReportedThroughEveryKindOfRead)
{
    ASSERT_EQ(Db.OpenSelect("PNAME", "PLAYER", "", ""), 1);
    Relay->Cut();
    std::string out = "stale";
    ExpectLostConnectionError("SelectMax(\"PLAYER\", \"N\", \"\", out)", [&] { Db.SelectMax("PLAYER", "N", "", out); });
    EXPECT_FALSE(Db.Connected());
}

TEST_F(LostConnection, AttachmentEndedByTheServerIsReportedByTheNextRead)
{
    // The server ends the attachment, as a server shutdown or an administrator does, while
    // the last read's transaction is still open.
    std::string id;
    ASSERT_EQ(Db.SelectFirstValue("CURRENT_CONNECTION", "RDB$DATABASE", "", id), 1);
    ASSERT_TRUE(ObjectsOf(Db).IBTransaction1.Active());
    Folder->Apply();
    QuizDatabase admin{GameDatabasePath};
    admin.ConnectDatabase();
    ASSERT_TRUE(admin.Connected());
    ASSERT_TRUE(admin.ExecSqlLines({"DELETE FROM MON$ATTACHMENTS WHERE MON$ATTACHMENT_ID = " + id}));
    admin.DisconnectDatabase();

    ExpectLostConnectionError("CountRows(\"PLAYER\", \"\")", [&] { Db.CountRows("PLAYER", ""); });
    EXPECT_FALSE(Db.Connected());
    EXPECT_EQ(Db.CountRows("PLAYER", ""), -1);
    Db.ConnectDatabase();
    ASSERT_TRUE(Db.Connected());
    EXPECT_EQ(Db.CountRows("PLAYER", ""), 1);
}

TEST_F(LostConnection, TableExistsReportsIt)
{
    Relay->Cut();
    ExpectLostConnectionError("TableExists(\"PLAYER\")", [&] { Db.TableExists("PLAYER"); });
    EXPECT_FALSE(Db.Connected());
}

TEST_F(LostConnection, AfterwardsEveryOperationFailsQuietlyUntilConnectSucceeds)
{
    ASSERT_EQ(Db.CountRows("PLAYER", ""), 1);
    Relay->Cut();
    ExpectLostConnectionError("CountRows(\"PLAYER\", \"\")", [&] { Db.CountRows("PLAYER", ""); });
    ASSERT_FALSE(Db.Connected());

    TextList row{"stale", "stale"};
    std::string out = "stale";
    EXPECT_NO_THROW({
        EXPECT_FALSE(Db.TableExists("PLAYER"));
        EXPECT_EQ(Db.CountRows("PLAYER", ""), -1);
        EXPECT_EQ(Db.CountColumns("PLAYER"), -1);
        EXPECT_FALSE(Db.ValueExists("PLAYER", "PNAME", "", "alice"));
        Db.SelectMax("PLAYER", "N", "", out);
        EXPECT_EQ(out, "");
        EXPECT_EQ(Db.SelectFirstRow("N, PNAME", "PLAYER", "", row), -1);
        EXPECT_EQ(row, (TextList{"stale", "stale"}));
        out = "stale";
        EXPECT_EQ(Db.SelectFirstValue("PNAME", "PLAYER", "", out), -1);
        EXPECT_EQ(out, "");
        EXPECT_EQ(Db.OpenSelect("*", "PLAYER", "", ""), 0);
        Db.FetchFirst(row);
        Db.FetchNext(row);
        EXPECT_EQ(row, (TextList{"stale", "stale"}));
        EXPECT_FALSE(Db.InsertText("PLAYER", "N", "2"));
        EXPECT_FALSE(Db.UpdateText("PLAYER", "POINTS=0", ""));
        EXPECT_FALSE(Db.DeleteRows("PLAYER", ""));
        EXPECT_FALSE(Db.ExecSqlLines({"DELETE FROM PLAYER;"}));
        EXPECT_FALSE(Db.DropTable("PLAYER"));
        EXPECT_FALSE(Db.CreateQuizMemTable());
    });
    EXPECT_FALSE(Db.Connected());

    // The relay now refuses connections: connecting fails quietly.
    EXPECT_NO_THROW(Db.ConnectDatabase());
    EXPECT_FALSE(Db.Connected());

    // Straight to the server the database is there, unchanged.
    Folder->Apply();
    Db.ConnectDatabase();
    ASSERT_TRUE(Db.Connected());
    EXPECT_TRUE(Db.TableExists("PLAYER"));
    EXPECT_FALSE(Db.TableExists("QUIZMEM"));
    EXPECT_EQ(Db.SelectFirstRow("N, PNAME", "PLAYER", "", row), 2);
    EXPECT_EQ(row, (TextList{"1", "alice"}));
    EXPECT_EQ(Db.CountRows("PLAYER", ""), 1);
}

// Whatever operation meets the break first reports it, exactly once: the guard gets the
// server's text, and every later operation returns its failure value without a word.
struct FirstMeeting {
    const char* Name;
    std::function<void(QuizDatabase&)> Before;  // runs while the connection stands
    std::function<void(QuizDatabase&)> First;   // meets the break
};

TEST_F(LostConnection, WhicheverOperationMeetsTheBreakFirstReportsItOnce)
{
    const std::vector<FirstMeeting> cases = {
        {"write", [](QuizDatabase&) {}, [](QuizDatabase& db) { db.InsertText("PLAYER", "N", "2"); }},
        {"read after a write", [](QuizDatabase& db) { ASSERT_TRUE(db.UpdateText("PLAYER", "POINTS=5", "N=1")); },
         [](QuizDatabase& db) { db.CountRows("PLAYER", ""); }},
        {"read after a read", [](QuizDatabase& db) { ASSERT_EQ(db.CountRows("PLAYER", ""), 1); },
         [](QuizDatabase& db) {
             std::string out;
             db.SelectFirstValue("PNAME", "PLAYER", "", out);
         }},
        {"table test", [](QuizDatabase& db) { ASSERT_TRUE(db.TableExists("PLAYER")); },
         [](QuizDatabase& db) { db.TableExists("PLAYER"); }},
        {"table creation", [](QuizDatabase&) {}, [](QuizDatabase& db) { db.CreateQuizMemTable(); }},
        {"list page", [](QuizDatabase& db) { ASSERT_EQ(db.ReadPage({"SELECT * FROM PLAYER;"}, 0, 10).size(), 1u); },
         [](QuizDatabase& db) { db.ReadPage({"SELECT * FROM PLAYER;"}, 0, 10); }},
    };
    for (const FirstMeeting& c : cases) {
        SCOPED_TRACE(c.Name);
        if (!Db.Connected()) {
            // The previous case cut its relay: the next one runs through a relay of its own.
            Relay = std::make_unique<TcpRelay>(Server->Port());
            Folder->ApplyWithServer(Relay->ServerName());
            Db.ConnectDatabase();
            ASSERT_TRUE(Db.Connected());
        }
        c.Before(Db);
        Relay->Cut();
        const std::optional<std::string> first = RunUntilConnectionLost([&] { c.First(Db); });
        ASSERT_TRUE(first.has_value());
        EXPECT_FALSE(first->empty());
        EXPECT_FALSE(Db.Connected());

        TextList row{"stale", "stale"};
        std::string out = "stale";
        const std::optional<std::string> later = RunUntilConnectionLost([&] {
            EXPECT_FALSE(Db.TableExists("PLAYER"));
            EXPECT_EQ(Db.CountRows("PLAYER", ""), -1);
            EXPECT_FALSE(Db.InsertText("PLAYER", "N", "3"));
            EXPECT_EQ(Db.SelectFirstRow("N, PNAME", "PLAYER", "", row), -1);
            EXPECT_EQ(Db.OpenSelect("*", "PLAYER", "", ""), 0);
            Db.FetchFirst(row);
            EXPECT_EQ(row, (TextList{"stale", "stale"}));
            EXPECT_TRUE(Db.ReadPage({"SELECT * FROM PLAYER;"}, 0, 10).empty());
            EXPECT_FALSE(Db.DropTable("PLAYER"));
            Db.SelectMax("PLAYER", "N", "", out);
        });
        EXPECT_FALSE(later.has_value()) << *later;
        EXPECT_EQ(out, "");
    }
}

TEST_F(LostConnection, CursorHelpersReadTheKeptRowsAndTheNextReadReportsTheBreak)
{
    ASSERT_TRUE(Db.InsertText("PLAYER", "N,PNAME", "2,'bob'"));
    ASSERT_EQ(Db.OpenSelect("N, PNAME", "PLAYER", "", "N"), 2);
    Relay->Cut();
    TextList row(2);
    const std::optional<std::string> fetching = RunUntilConnectionLost([&] {
        Db.FetchFirst(row);
        EXPECT_EQ(row, (TextList{"1", "alice"}));
        Db.FetchNext(row);
        EXPECT_EQ(row, (TextList{"2", "bob"}));
        Db.FetchMoveBy(-1, row);
        EXPECT_EQ(row, (TextList{"1", "alice"}));
        Db.CloseSelect();
    });
    EXPECT_FALSE(fetching.has_value());
    EXPECT_TRUE(RunUntilConnectionLost([&] { Db.CountRows("PLAYER", ""); }).has_value());
    EXPECT_FALSE(Db.Connected());
}

TEST_F(LostConnection, OtherErrorsAreNotTakenForALostConnectionButCountedWithTheirText)
{
    ASSERT_EQ(Db.CountRows("PLAYER", ""), 1);
    const uint64_t failed = Db.StatementsFailed();
    const std::optional<std::string> lost = RunUntilConnectionLost([&] {
        EXPECT_FALSE(Db.TableExists("NO SUCH TABLE' OR '1"));
        EXPECT_EQ(Db.CountRows("NOSUCHTABLE", ""), -1);
        EXPECT_FALSE(Db.InsertText("PLAYER", "N", "1"));  // duplicate N
        EXPECT_FALSE(Db.DropTable("NOSUCHTABLE"));
        EXPECT_TRUE(Db.ReadPage({"SELECT * FROM NOSUCHTABLE;"}, 0, 10).empty());
    });
    EXPECT_FALSE(lost.has_value()) << *lost;
    EXPECT_TRUE(Db.Connected());
    EXPECT_EQ(Db.StatementsFailed(), failed + 4);
    EXPECT_NE(Db.LastFailure().find("NOSUCHTABLE"), std::string::npos) << Db.LastFailure();
    EXPECT_EQ(Db.CountRows("PLAYER", ""), 1);
}

TEST_F(LostConnection, DisconnectAfterTheBreakIsQuiet)
{
    ASSERT_EQ(Db.OpenSelect("*", "PLAYER", "", ""), 1);
    Relay->Cut();
    EXPECT_NO_THROW(Db.DisconnectDatabase());
    EXPECT_FALSE(Db.Connected());
    EXPECT_FALSE(ObjectsOf(Db).IBQuery1.IsOpen());
    EXPECT_FALSE(ObjectsOf(Db).IBTransaction1.Active());

    Folder->Apply();
    Db.ConnectDatabase();
    ASSERT_TRUE(Db.Connected());
    EXPECT_EQ(Db.CountRows("PLAYER", ""), 1);
}

// The client library keeps records of every handle; a break in the middle of a read used to
// leave some behind, unfreed, and the program crashed in the library's exit handler.
TEST_F(LostConnection, TheProgramEndsCleanlyAfterABreakInTheMiddleOfARead)
{
    ASSERT_TRUE(Db.ExecSqlLines({"CREATE TABLE BIG (N INTEGER, T VARCHAR(50));"}));
    ASSERT_TRUE(Db.ExecSqlLines({"EXECUTE BLOCK AS DECLARE I INTEGER = 0; BEGIN",
                                 "  WHILE (I < 50000) DO BEGIN INSERT INTO BIG VALUES (:I, 'row row row row'); I = I + 1; END",
                                 "END"}));
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    for (int cutAfterMs : {5, 50}) {
        EXPECT_EXIT(
            {
                std::thread cutter([&] {
                    std::this_thread::sleep_for(std::chrono::milliseconds(cutAfterMs));
                    Relay->Cut();
                });
                RunUntilConnectionLost([&] {
                    // A read long enough (a million rows to sort) for both cuts to strike in it.
                    Db.ReadPage({"SELECT A.N FROM BIG A, BIG B WHERE A.N < 1000 AND B.N < 1000 ORDER BY A.T, B.N, A.N;"}, 0, 100);
                    Db.CountRows("BIG", "N=1");
                });
                cutter.join();
                std::exit(Db.Connected() ? 3 : 0);
            },
            ::testing::ExitedWithCode(0), "")
            << "cut after " << cutAfterMs << " ms";
    }
}

}  // namespace
