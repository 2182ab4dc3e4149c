// The list window's own SELECT on the shared statement object: OpenOwnSelect and the moves
// of QuizQuery that report how far they went, on the embedded engine.
#include "db/quiz_database.h"

#include "support/firebird_fixture.h"

#include <gtest/gtest.h>

namespace {

class OwnSelect : public GameDatabaseTest {
protected:
    void SetUp() override
    {
        GameDatabaseTest::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_TRUE(Db.CreateQuizQaTable());
        for (int n = 1; n <= 5; ++n) {
            const std::string k = std::to_string(n);
            ASSERT_TRUE(Db.InsertFields("QUIZQA", 3, {"N", "SN", "Q1"}, {k, k + "0", "'q" + k + "'"}));
        }
    }

    const TextList Ordered = {"SELECT * FROM QUIZQA", "  ORDER BY N;"};
};

TEST_F(OwnSelect, OpensOnTheFirstRowInAFreshReadTransaction)
{
    ASSERT_EQ(Db.CountRows("QUIZQA", ""), 5);
    ASSERT_TRUE(Db.ReadTransaction().Active());
    ASSERT_TRUE(Db.OpenOwnSelect({"SELECT * FROM QUIZQA", "  WHERE N>2", "  ORDER BY N DESC;"}));
    EXPECT_EQ(Db.Query().Text(), "SELECT * FROM QUIZQA\r\n  WHERE N>2\r\n  ORDER BY N DESC;\r\n");
    EXPECT_TRUE(Db.Query().IsOpen());
    EXPECT_TRUE(Db.ReadTransaction().Active());
    EXPECT_FALSE(Db.Query().Eof());
    EXPECT_EQ(Db.Query().Field(0), "5");
    EXPECT_EQ(Db.Query().Field(2), "q5");
    Db.Query().Next();
    EXPECT_EQ(Db.Query().Field(0), "4");
    Db.CloseSelect();
    EXPECT_FALSE(Db.Query().IsOpen());
    EXPECT_TRUE(Db.ReadTransaction().Active());
}

TEST_F(OwnSelect, SeesARowWrittenAfterThePreviousRead)
{
    ASSERT_TRUE(Db.OpenOwnSelect(Ordered));
    Db.CloseSelect();
    // Another program's write, committed on a second attachment while the read transaction
    // of the first read is still open.
    QuizDatabase other;
    other.ConnectDatabase();
    ASSERT_TRUE(other.Connected());
    ASSERT_TRUE(other.InsertFields("QUIZQA", 2, {"N", "SN"}, {"6", "60"}));
    other.DisconnectDatabase();

    ASSERT_TRUE(Db.OpenOwnSelect({"SELECT * FROM QUIZQA", "  ORDER BY N DESC;"}));
    EXPECT_EQ(Db.Query().Field(0), "6");
    Db.CloseSelect();
}

TEST_F(OwnSelect, RejectedStatementAndNoConnectionAnswerFalseQuietly)
{
    bool opened = true;
    EXPECT_NO_THROW(opened = Db.OpenOwnSelect({"SELECT * FROM QUIZQA", "  WHERE Q1 LIKE '%it's%'", "  ORDER BY N;"}));
    EXPECT_FALSE(opened);
    EXPECT_FALSE(Db.Query().IsOpen());
    EXPECT_TRUE(Db.Connected());
    EXPECT_EQ(Db.CountRows("QUIZQA", ""), 5);

    Db.DisconnectDatabase();
    EXPECT_NO_THROW(opened = Db.OpenOwnSelect(Ordered));
    EXPECT_FALSE(opened);
    EXPECT_FALSE(Db.Query().IsOpen());
}

TEST_F(OwnSelect, MoveByReportsHowFarItWent)
{
    ASSERT_TRUE(Db.OpenOwnSelect(Ordered));
    QuizQuery& query = Db.Query();
    // Exactly onto the last row: the whole distance, not at the end.
    EXPECT_EQ(query.MoveBy(4), 4);
    EXPECT_EQ(query.Field(0), "5");
    EXPECT_FALSE(query.Eof());
    EXPECT_EQ(query.MoveBy(-10), -4);
    EXPECT_EQ(query.Field(0), "1");
    EXPECT_EQ(query.MoveBy(0), 0);
    EXPECT_EQ(query.MoveBy(2), 2);
    EXPECT_EQ(query.Field(0), "3");
    // Past the last row: the move stops on it and says it fell short.
    EXPECT_EQ(query.MoveBy(5), 2);
    EXPECT_EQ(query.Field(0), "5");
    EXPECT_EQ(query.MoveBy(1), 0);
    query.Next();
    EXPECT_TRUE(query.Eof());
    EXPECT_EQ(query.MoveBy(-1), -1);
    EXPECT_EQ(query.Field(0), "4");
    Db.CloseSelect();
    EXPECT_EQ(query.MoveBy(1), 0);

    // On an empty result nothing moves.
    ASSERT_TRUE(Db.OpenOwnSelect({"SELECT * FROM QUIZQA", "  WHERE N>100", "  ORDER BY N;"}));
    EXPECT_TRUE(query.Eof());
    EXPECT_EQ(query.MoveBy(3), 0);
    EXPECT_TRUE(query.Eof());
    Db.CloseSelect();
}

}  // namespace
