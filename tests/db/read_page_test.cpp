// The list window's paged SELECT on the shared statement object (ReadPage), and the moves of
// the statement object that report how far they went, on the embedded engine.
#include "db/database_objects.h"

#include "support/firebird_fixture.h"

#include <gtest/gtest.h>

namespace {

class ListPage : public GameDatabaseTest {
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

// The page's first column: the row numbers N.
TextList Numbers(const std::vector<TextList>& rows)
{
    TextList numbers;
    for (const TextList& row : rows) numbers.push_back(row.at(0));
    return numbers;
}

TEST_F(ListPage, ReadsOnePageInAFreshReadTransactionAndClosesTheCursor)
{
    ASSERT_EQ(Db.CountRows("QUIZQA", ""), 5);
    ASSERT_TRUE(ObjectsOf(Db).IBTransaction1.Active());
    const std::vector<TextList> rows = Db.ReadPage({"SELECT * FROM QUIZQA", "  WHERE N>2", "  ORDER BY N DESC;"}, 0, 100);
    EXPECT_EQ(ObjectsOf(Db).IBQuery1.Text(), "SELECT * FROM QUIZQA\r\n  WHERE N>2\r\n  ORDER BY N DESC;\r\n");
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].size(), 11u);
    EXPECT_EQ(rows[0][2], "q5");
    EXPECT_EQ(rows[0][10], "");  // NULL ANN
    EXPECT_EQ(Numbers(rows), (TextList{"5", "4", "3"}));
    EXPECT_FALSE(ObjectsOf(Db).IBQuery1.IsOpen());
    EXPECT_TRUE(ObjectsOf(Db).IBTransaction1.Active());
}

TEST_F(ListPage, SkipsAndLimitsOnTheClient)
{
    EXPECT_EQ(Numbers(Db.ReadPage(Ordered, 1, 2)), (TextList{"2", "3"}));
    // Exactly onto the last row, and past it: what is left, then nothing.
    EXPECT_EQ(Numbers(Db.ReadPage(Ordered, 4, 2)), (TextList{"5"}));
    EXPECT_TRUE(Db.ReadPage(Ordered, 5, 2).empty());
    EXPECT_TRUE(Db.ReadPage(Ordered, 50, 2).empty());
    EXPECT_EQ(Numbers(Db.ReadPage(Ordered, 0, 5)), (TextList{"1", "2", "3", "4", "5"}));
    EXPECT_TRUE(Db.ReadPage({"SELECT * FROM QUIZQA", "  WHERE N>100", "  ORDER BY N;"}, 0, 5).empty());
}

TEST_F(ListPage, SeesARowWrittenAfterThePreviousRead)
{
    ASSERT_EQ(Db.ReadPage(Ordered, 0, 100).size(), 5u);
    // Another program's write, committed on a second attachment while the read transaction
    // of the first read is still open.
    QuizDatabase other{GameDatabasePath};
    other.ConnectDatabase();
    ASSERT_TRUE(other.Connected());
    ASSERT_TRUE(other.InsertFields("QUIZQA", 2, {"N", "SN"}, {"6", "60"}));
    other.DisconnectDatabase();

    EXPECT_EQ(Numbers(Db.ReadPage({"SELECT * FROM QUIZQA", "  ORDER BY N DESC;"}, 0, 1)), TextList{"6"});
}

TEST_F(ListPage, RejectedStatementAndNoConnectionGiveAnEmptyPageQuietly)
{
    std::vector<TextList> rows{{"stale"}};
    EXPECT_NO_THROW(rows = Db.ReadPage({"SELECT * FROM QUIZQA", "  WHERE Q1 LIKE '%it's%'", "  ORDER BY N;"}, 0, 100));
    EXPECT_TRUE(rows.empty());
    EXPECT_FALSE(ObjectsOf(Db).IBQuery1.IsOpen());
    EXPECT_TRUE(Db.Connected());
    EXPECT_EQ(Db.CountRows("QUIZQA", ""), 5);

    Db.DisconnectDatabase();
    rows = {{"stale"}};
    EXPECT_NO_THROW(rows = Db.ReadPage(Ordered, 0, 100));
    EXPECT_TRUE(rows.empty());
}

TEST_F(ListPage, MoveByReportsHowFarItWent)
{
    ASSERT_EQ(Db.OpenSelect("*", "QUIZQA", "", "N"), 5);
    QuizQuery& query = ObjectsOf(Db).IBQuery1;
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
    ASSERT_EQ(Db.OpenSelect("*", "QUIZQA", "N>100", "N"), 0);
    ASSERT_TRUE(query.IsOpen());
    EXPECT_TRUE(query.Eof());
    EXPECT_EQ(query.MoveBy(3), 0);
    EXPECT_TRUE(query.Eof());
    Db.CloseSelect();
}

}  // namespace
