// The statement helpers of QuizDatabase on the embedded engine: the exact lines each one
// sends, what it does to the rows, its failure values, the cursor helpers and the text
// form of column values. Every test starts with the four game tables in a new GAMES.FDB.
#include "db/database_objects.h"

#include "support/firebird_fixture.h"

#include <gtest/gtest.h>

namespace {

using Rows = std::vector<TextList>;

class Helpers : public GameDatabaseTest {
protected:
    void SetUp() override
    {
        GameDatabaseTest::SetUp();
        if (HasFatalFailure()) return;
        CreateGameTables();
    }

    // Players 1..3: alice 10, bob 20.5, carol with no points.
    void AddThreePlayers()
    {
        AddPlayer("1", "'alice'", "'pa'", "10");
        AddPlayer("2", "'bob'", "'pb'", "20.5");
        AddPlayer("3", "'carol'", "'pc'", "NULL");
    }

    // Questions 1..count, question n with SN n*10 and Q1 'qn'.
    void AddQuestions(int count)
    {
        for (int n = 1; n <= count; ++n) {
            const std::string text = std::to_string(n);
            ASSERT_TRUE(Db.InsertFields("QUIZQA", 3, {"N", "SN", "Q1"}, {text, text + "0", "'q" + text + "'"}));
        }
    }

    Rows Players() { return ReadRows(Db, "N, PNAME, PASWD, POINTS", "PLAYER", "", "N", 4); }
};

// ---------------------------------------------------------------------------
// Inserting.

using Insert = Helpers;

TEST_F(Insert, FieldsListNamesThenValuesWithCommasBetween)
{
    ASSERT_TRUE(Db.InsertFields("PLAYER", 3, {"N", "PNAME", "PASWD"}, {"1", "'alice'", "'pw'"}));
    EXPECT_EQ(ObjectsOf(Db).IBQuery1.GetLines(), (TextList{"INSERT INTO PLAYER (", "   N,", "   PNAME,", "   PASWD", "   ) ",
                                               "   VALUES (", "   1,", "   'alice',", "   'pw'", "   );"}));
    EXPECT_EQ(Players(), (Rows{{"1", "alice", "pw", ""}}));
}

TEST_F(Insert, FieldsUseOnlyTheFirstCountEntries)
{
    ASSERT_TRUE(Db.InsertFields("PLAYER", 2, {"N", "PNAME", "POINTS", "PASWD"}, {"4", "'dan'", "99", "'zz'"}));
    EXPECT_EQ(ObjectsOf(Db).IBQuery1.GetLines(), (TextList{"INSERT INTO PLAYER (", "   N,", "   PNAME", "   ) ", "   VALUES (",
                                               "   4,", "   'dan'", "   );"}));
    ASSERT_TRUE(Db.InsertFields("PLAYER", 1, {"N", "PNAME"}, {"5", "'eve'"}));
    EXPECT_EQ(ObjectsOf(Db).IBQuery1.GetLines(), (TextList{"INSERT INTO PLAYER (", "   N", "   ) ", "   VALUES (", "   5", "   );"}));
    EXPECT_EQ(Players(), (Rows{{"4", "dan", "", ""}, {"5", "", "", ""}}));
}

TEST_F(Insert, UnescapedQuoteOrMissingTableOrColumnFailsAndInsertsNothing)
{
    EXPECT_FALSE(Db.InsertFields("PLAYER", 2, {"N", "PNAME"}, {"1", "'O'Neil'"}));
    EXPECT_EQ(Db.CountRows("PLAYER", ""), 0);
    EXPECT_FALSE(Db.InsertText("NOSUCHTABLE", "N", "1"));
    EXPECT_FALSE(Db.InsertFields("PLAYER", 2, {"N", "NOSUCHCOLUMN"}, {"1", "2"}));
    EXPECT_EQ(Db.CountRows("PLAYER", ""), 0);
    // A doubled quote is one quote in the text.
    ASSERT_TRUE(Db.InsertFields("PLAYER", 2, {"N", "PNAME"}, {"1", "'O''Neil'"}));
    std::string name;
    ASSERT_EQ(Db.SelectFirstValue("PNAME", "PLAYER", "N=1", name), 1);
    EXPECT_EQ(name, "O'Neil");
}

TEST_F(Insert, TextSendsTheFieldAndValueListsAsGiven)
{
    ASSERT_TRUE(Db.InsertText("PLAYER", "N, PNAME, POINTS", "6, 'fay', 1.5"));
    EXPECT_EQ(ObjectsOf(Db).IBQuery1.GetLines(), (TextList{"INSERT INTO PLAYER (", "   N, PNAME, POINTS", "   ) ", "  VALUES (",
                                               "   6, 'fay', 1.5", "   );"}));
    EXPECT_EQ(Players(), (Rows{{"6", "fay", "", "1.5"}}));
}

// ---------------------------------------------------------------------------
// Updating and deleting.

using Update = Helpers;

TEST_F(Update, FieldsSendNameEqualsValuePairsAndTheCondition)
{
    AddThreePlayers();
    ASSERT_TRUE(Db.UpdateFields("PLAYER", 2, {"PNAME", "POINTS"}, {"'bert'", "2.25"}, "N=2"));
    EXPECT_EQ(ObjectsOf(Db).IBQuery1.GetLines(),
              (TextList{"UPDATE PLAYER SET ", "   PNAME='bert',", "   POINTS=2.25", "   WHERE N=2", "   ;"}));
    EXPECT_EQ(Players(), (Rows{{"1", "alice", "pa", "10"}, {"2", "bert", "pb", "2.25"}, {"3", "carol", "pc", ""}}));
}

TEST_F(Update, WithoutConditionEveryRowChangesAndFieldsUseOnlyCountEntries)
{
    AddThreePlayers();
    ASSERT_TRUE(Db.UpdateFields("PLAYER", 1, {"POINTS", "PNAME"}, {"0", "'x'"}, ""));
    EXPECT_EQ(ObjectsOf(Db).IBQuery1.GetLines(), (TextList{"UPDATE PLAYER SET ", "   POINTS=0", "   ;"}));
    EXPECT_EQ(Players(), (Rows{{"1", "alice", "pa", "0"}, {"2", "bob", "pb", "0"}, {"3", "carol", "pc", "0"}}));
    ASSERT_TRUE(Db.UpdateText("PLAYER", "PASWD='new'", ""));
    EXPECT_EQ(ObjectsOf(Db).IBQuery1.GetLines(), (TextList{"UPDATE PLAYER SET ", "   PASWD='new'", "   ;"}));
    EXPECT_EQ(Db.CountRows("PLAYER", "PASWD='new'"), 3);
}

TEST_F(Update, TextSendsTheSetListAndTheCondition)
{
    AddThreePlayers();
    ASSERT_TRUE(Db.UpdateText("PLAYER", "POINTS=POINTS+1", "N<3"));
    EXPECT_EQ(ObjectsOf(Db).IBQuery1.GetLines(), (TextList{"UPDATE PLAYER SET ", "   POINTS=POINTS+1", "   WHERE N<3", "   ;"}));
    EXPECT_EQ(Players(), (Rows{{"1", "alice", "pa", "11"}, {"2", "bob", "pb", "21.5"}, {"3", "carol", "pc", ""}}));
}

TEST_F(Update, MatchingNoRowStillSucceeds)
{
    AddThreePlayers();
    EXPECT_TRUE(Db.UpdateText("PLAYER", "POINTS=1", "N=99"));
    EXPECT_TRUE(Db.UpdateFields("PLAYER", 1, {"POINTS"}, {"1"}, "N=99"));
    EXPECT_EQ(Db.CountRows("PLAYER", "POINTS=1"), 0);
}

TEST_F(Update, BadSetListOrConditionFailsAndChangesNothing)
{
    AddThreePlayers();
    EXPECT_FALSE(Db.UpdateText("PLAYER", "NOSUCHCOLUMN=1", ""));
    EXPECT_FALSE(Db.UpdateText("PLAYER", "POINTS=1", "NOSUCHCOLUMN=1"));
    // The unique N refuses the whole statement, not just the second row.
    EXPECT_FALSE(Db.UpdateText("PLAYER", "N=1, POINTS=0", "N>=1"));
    EXPECT_FALSE(Db.UpdateFields("PLAYER", 1, {"PNAME"}, {"'it's'"}, "N=1"));
    EXPECT_EQ(Players(), (Rows{{"1", "alice", "pa", "10"}, {"2", "bob", "pb", "20.5"}, {"3", "carol", "pc", ""}}));
}

TEST_F(Update, SeveralInOneTransactionAreAllCommittedOrNone)
{
    AddThreePlayers();
    ASSERT_TRUE(Db.UpdateTexts("PLAYER", {{"POINTS=1", "N=1"}, {"POINTS=2,PASWD='x'", "N=3"}}));
    EXPECT_EQ(ObjectsOf(Db).IBQuery1.GetLines(),
              (TextList{"EXECUTE BLOCK AS", "BEGIN", "UPDATE PLAYER SET ", "   POINTS=1", "   WHERE N=1", "   ;",
                        "UPDATE PLAYER SET ", "   POINTS=2,PASWD='x'", "   WHERE N=3", "   ;", "END"}));
    EXPECT_EQ(Players(), (Rows{{"1", "alice", "pa", "1"}, {"2", "bob", "pb", "20.5"}, {"3", "carol", "x", "2"}}));
    // The last statement fails: the first one's change goes with it.
    EXPECT_FALSE(Db.UpdateTexts("PLAYER", {{"POINTS=7", "N=2"}, {"NOSUCHCOLUMN=1", "N=1"}}));
    EXPECT_EQ(Players(), (Rows{{"1", "alice", "pa", "1"}, {"2", "bob", "pb", "20.5"}, {"3", "carol", "x", "2"}}));
    EXPECT_FALSE(Db.UpdateTexts("PLAYER", {}));
}

using Delete = Helpers;

TEST_F(Delete, SendsOneLineWithTheCondition)
{
    AddThreePlayers();
    ASSERT_TRUE(Db.DeleteRows("PLAYER", "N=2"));
    EXPECT_EQ(ObjectsOf(Db).IBQuery1.GetLines(), TextList{"DELETE FROM PLAYER WHERE N=2 ;"});
    EXPECT_EQ(Players(), (Rows{{"1", "alice", "pa", "10"}, {"3", "carol", "pc", ""}}));
}

TEST_F(Delete, WithoutConditionRemovesEveryRow)
{
    AddThreePlayers();
    ASSERT_TRUE(Db.DeleteRows("PLAYER", ""));
    EXPECT_EQ(ObjectsOf(Db).IBQuery1.GetLines(), TextList{"DELETE FROM PLAYER ;"});
    EXPECT_EQ(Db.CountRows("PLAYER", ""), 0);
    EXPECT_TRUE(Db.TableExists("PLAYER"));
}

TEST_F(Delete, MatchingNoRowSucceedsAndAMissingTableFails)
{
    AddThreePlayers();
    EXPECT_TRUE(Db.DeleteRows("PLAYER", "N=99"));
    EXPECT_EQ(Db.CountRows("PLAYER", ""), 3);
    EXPECT_FALSE(Db.DeleteRows("NOSUCHTABLE", ""));
    EXPECT_FALSE(Db.DeleteRows("PLAYER", "NOSUCHCOLUMN=1"));
    EXPECT_EQ(Db.CountRows("PLAYER", ""), 3);
}

// ---------------------------------------------------------------------------
// Counting and looking up.

using Count = Helpers;

TEST_F(Count, RowsSendsTheSelectWithAndWithoutCondition)
{
    AddThreePlayers();
    EXPECT_EQ(Db.CountRows("PLAYER", "POINTS>5"), 2);
    EXPECT_EQ(ObjectsOf(Db).IBQuery1.GetLines(), (TextList{"SELECT * ", "   FROM PLAYER ", "   WHERE POINTS>5 ", "   ;"}));
    EXPECT_EQ(Db.CountRows("PLAYER", ""), 3);
    EXPECT_EQ(ObjectsOf(Db).IBQuery1.GetLines(), (TextList{"SELECT * ", "   FROM PLAYER ", "   ;"}));
    EXPECT_EQ(Db.CountRows("PLAYER", "N=99"), 0);
}

TEST_F(Count, EmptyTableIsZeroAndFailuresAreMinusOne)
{
    EXPECT_EQ(Db.CountRows("QUIZMEM", ""), 0);
    EXPECT_EQ(Db.CountRows("NOSUCHTABLE", ""), -1);
    EXPECT_EQ(Db.CountRows("PLAYER", "NOSUCHCOLUMN=1"), -1);
    EXPECT_EQ(Db.CountRows("PLAYER", "N="), -1);
    // A failed read leaves the next one working.
    EXPECT_EQ(Db.CountRows("QUIZMEM", ""), 0);
    EXPECT_EQ(Db.CountColumns("NOSUCHTABLE"), -1);
    Db.DisconnectDatabase();
    EXPECT_EQ(Db.CountRows("QUIZMEM", ""), -1);
    EXPECT_EQ(Db.CountColumns("QUIZMEM"), -1);
    EXPECT_FALSE(Db.ValueExists("QUIZMEM", "N", "", "1"));
}

TEST_F(Count, RowsCountsBeyondTheFirstBatchOfRows)
{
    // Enough rows that a count taken from a partly fetched cursor would come out short.
    TextList lines{"EXECUTE BLOCK AS", "DECLARE I INTEGER = 1;", "BEGIN",
                   "  WHILE (I <= 1500) DO BEGIN", "    INSERT INTO QUIZANS (N, MN, AN) VALUES (:I, 1, 1);",
                   "    I = I + 1;", "  END", "END"};
    ASSERT_TRUE(Db.ExecSqlLines(lines));
    EXPECT_EQ(Db.CountRows("QUIZANS", ""), 1500);
    EXPECT_EQ(Db.CountRows("QUIZANS", "N>1000"), 500);
    EXPECT_EQ(Db.OpenSelect("N", "QUIZANS", "", ""), 1500);
}

TEST_F(Count, ColumnsSendsItsTwoLines)
{
    EXPECT_EQ(Db.CountColumns("QUIZQA"), 11);
    EXPECT_EQ(ObjectsOf(Db).IBQuery1.GetLines(), (TextList{"SELECT * ", "   FROM QUIZQA ;"}));
    EXPECT_EQ(Db.CountColumns("PLAYER"), 4);
    EXPECT_EQ(Db.CountColumns("QUIZANS"), 3);
}

using Lookup = Helpers;

TEST_F(Lookup, ValueExistsComparesTheFieldWithTheQuotedValue)
{
    AddThreePlayers();
    EXPECT_TRUE(Db.ValueExists("PLAYER", "PNAME", "", "bob"));
    EXPECT_EQ(ObjectsOf(Db).IBQuery1.GetLines(),
              (TextList{"SELECT PNAME ", "   FROM PLAYER ", "   WHERE (PNAME='bob') ", "   ;"}));
    EXPECT_FALSE(Db.ValueExists("PLAYER", "PNAME", "", "Bob"));
    EXPECT_FALSE(Db.ValueExists("PLAYER", "PNAME", "", "bo"));
    EXPECT_TRUE(Db.ValueExists("PLAYER", "N", "", "3"));
}

TEST_F(Lookup, ValueExistsAddsTheExtraConditionInParentheses)
{
    AddThreePlayers();
    EXPECT_FALSE(Db.ValueExists("PLAYER", "PNAME", "N<>2 OR N IS NULL", "bob"));
    EXPECT_EQ(ObjectsOf(Db).IBQuery1.GetLines(), (TextList{"SELECT PNAME ", "   FROM PLAYER ",
                                               "   WHERE (N<>2 OR N IS NULL) AND (PNAME='bob') ", "   ;"}));
    EXPECT_TRUE(Db.ValueExists("PLAYER", "PNAME", "N=2 OR N=3", "bob"));
    EXPECT_FALSE(Db.ValueExists("NOSUCHTABLE", "PNAME", "", "bob"));
}

TEST_F(Lookup, SelectMaxGivesTheLargestValueAsText)
{
    AddThreePlayers();
    std::string out = "stale";
    Db.SelectMax("PLAYER", "N", "", out);
    EXPECT_EQ(out, "3");
    EXPECT_EQ(ObjectsOf(Db).IBQuery1.GetLines(), (TextList{"SELECT MAX(N) ", "   FROM PLAYER ", "   ;"}));
    Db.SelectMax("PLAYER", "POINTS", "N<3", out);
    EXPECT_EQ(out, "20.5");
    EXPECT_EQ(ObjectsOf(Db).IBQuery1.GetLines(), (TextList{"SELECT MAX(POINTS) ", "   FROM PLAYER ", "   WHERE N<3 ", "   ;"}));
    Db.SelectMax("PLAYER", "PNAME", "", out);
    EXPECT_EQ(out, "carol");
}

TEST_F(Lookup, SelectMaxEmptiesItsOutputWhenThereIsNoValue)
{
    AddThreePlayers();
    std::string out = "stale";
    Db.SelectMax("QUIZMEM", "N", "", out);
    EXPECT_EQ(out, "");
    out = "stale";
    Db.SelectMax("PLAYER", "N", "N>99", out);
    EXPECT_EQ(out, "");
    out = "stale";
    Db.SelectMax("NOSUCHTABLE", "N", "", out);
    EXPECT_EQ(out, "");
    out = "stale";
    Db.DisconnectDatabase();
    Db.SelectMax("PLAYER", "N", "", out);
    EXPECT_EQ(out, "");
}

TEST_F(Lookup, SelectFirstRowCopiesTheRowAndCountsItsColumns)
{
    AddThreePlayers();
    TextList row(4, "stale");
    EXPECT_EQ(Db.SelectFirstRow("PNAME, POINTS, N", "PLAYER", "N=2", row), 3);
    EXPECT_EQ(ObjectsOf(Db).IBQuery1.GetLines(), (TextList{"SELECT PNAME, POINTS, N ", "   FROM PLAYER ", "   WHERE N=2 ", "   ;"}));
    EXPECT_EQ(row[0], "bob");
    EXPECT_EQ(row[1], "20.5");
    EXPECT_EQ(row[2], "2");
    EXPECT_EQ(row.size(), 4u);

    TextList one(1);
    EXPECT_EQ(Db.SelectFirstRow("PNAME", "PLAYER", "", one), 1);
    EXPECT_EQ(ObjectsOf(Db).IBQuery1.GetLines(), (TextList{"SELECT PNAME ", "   FROM PLAYER ", "   ;"}));
    EXPECT_FALSE(one[0].empty());
}

TEST_F(Lookup, SelectFirstRowLeavesItsSlotsAloneWhenThereIsNoRow)
{
    AddThreePlayers();
    const TextList stale{"s0", "s1", "s2", "s3"};
    TextList row = stale;
    EXPECT_EQ(Db.SelectFirstRow("*", "PLAYER", "N=99", row), -1);
    EXPECT_EQ(row, stale);
    EXPECT_EQ(Db.SelectFirstRow("*", "NOSUCHTABLE", "", row), -1);
    EXPECT_EQ(row, stale);
    EXPECT_EQ(Db.SelectFirstRow("NOSUCHCOLUMN", "PLAYER", "", row), -1);
    EXPECT_EQ(row, stale);
    Db.DisconnectDatabase();
    EXPECT_EQ(Db.SelectFirstRow("*", "PLAYER", "", row), -1);
    EXPECT_EQ(row, stale);
}

TEST_F(Lookup, SelectFirstRowFillsOnlyTheSlotsItIsGiven)
{
    AddQuestions(1);
    TextList row(3, "stale");
    EXPECT_NE(Db.SelectFirstRow("*", "QUIZQA", "N=1", row), -1);
    EXPECT_EQ(row, (TextList{"1", "10", "q1"}));
    TextList none;
    EXPECT_NE(Db.SelectFirstRow("*", "QUIZQA", "N=1", none), -1);
    EXPECT_TRUE(none.empty());
}

TEST_F(Lookup, SelectFirstValueGivesTheFirstColumn)
{
    AddThreePlayers();
    std::string out = "stale";
    EXPECT_EQ(Db.SelectFirstValue("PASWD", "PLAYER", "PNAME='carol'", out), 1);
    EXPECT_EQ(out, "pc");
    EXPECT_EQ(ObjectsOf(Db).IBQuery1.GetLines(),
              (TextList{"SELECT PASWD ", "   FROM PLAYER ", "   WHERE PNAME='carol' ", "   ;"}));
    EXPECT_EQ(Db.SelectFirstValue("COUNT(*)", "PLAYER", "", out), 1);
    EXPECT_EQ(out, "3");
    EXPECT_EQ(ObjectsOf(Db).IBQuery1.GetLines(), (TextList{"SELECT COUNT(*) ", "   FROM PLAYER ", "   ;"}));
    // A row whose value is NULL is still a row.
    out = "stale";
    EXPECT_EQ(Db.SelectFirstValue("POINTS", "PLAYER", "N=3", out), 1);
    EXPECT_EQ(out, "");
}

TEST_F(Lookup, SelectFirstValueEmptiesItsOutputOnFailure)
{
    AddThreePlayers();
    std::string out = "stale";
    EXPECT_EQ(Db.SelectFirstValue("PNAME", "PLAYER", "N=99", out), -1);
    EXPECT_EQ(out, "");
    out = "stale";
    EXPECT_EQ(Db.SelectFirstValue("PNAME", "NOSUCHTABLE", "", out), -1);
    EXPECT_EQ(out, "");
    out = "stale";
    Db.DisconnectDatabase();
    EXPECT_EQ(Db.SelectFirstValue("PNAME", "PLAYER", "", out), -1);
    EXPECT_EQ(out, "");
}

// ---------------------------------------------------------------------------
// The open cursor.

using Cursor = Helpers;

TEST_F(Cursor, OpenSelectSendsItsLinesAndCountsTheRows)
{
    AddQuestions(5);
    EXPECT_EQ(Db.OpenSelect("N, Q1", "QUIZQA", "N>1", "N DESC"), 4);
    EXPECT_EQ(ObjectsOf(Db).IBQuery1.GetLines(),
              (TextList{"SELECT N, Q1 ", "   FROM QUIZQA ", "   WHERE N>1 ", "   ORDER BY N DESC ", "   ;"}));
    EXPECT_TRUE(ObjectsOf(Db).IBQuery1.IsOpen());
    EXPECT_TRUE(ObjectsOf(Db).IBTransaction1.Active());

    EXPECT_EQ(Db.OpenSelect("N", "QUIZQA", "", ""), 5);
    EXPECT_EQ(ObjectsOf(Db).IBQuery1.GetLines(), (TextList{"SELECT N ", "   FROM QUIZQA ", "   ;"}));
    EXPECT_EQ(Db.OpenSelect("N", "QUIZQA", "", "SN"), 5);
    EXPECT_EQ(ObjectsOf(Db).IBQuery1.GetLines(), (TextList{"SELECT N ", "   FROM QUIZQA ", "   ORDER BY SN ", "   ;"}));
}

TEST_F(Cursor, OpenSelectFailureIsZeroWithNoCursor)
{
    AddQuestions(2);
    EXPECT_EQ(Db.OpenSelect("N", "NOSUCHTABLE", "", ""), 0);
    EXPECT_FALSE(ObjectsOf(Db).IBQuery1.IsOpen());
    EXPECT_EQ(Db.OpenSelect("N", "QUIZQA", "", "NOSUCHCOLUMN"), 0);
    EXPECT_FALSE(ObjectsOf(Db).IBQuery1.IsOpen());
    TextList row{"stale"};
    Db.FetchFirst(row);
    EXPECT_EQ(row, TextList{"stale"});
}

TEST_F(Cursor, FetchesWalkTheRowsInOrderAndEmptyTheSlotsPastTheEnd)
{
    AddQuestions(3);
    ASSERT_EQ(Db.OpenSelect("N, Q1", "QUIZQA", "", "N DESC"), 3);
    TextList row(2, "stale");
    Db.FetchFirst(row);
    EXPECT_EQ(row, (TextList{"3", "q3"}));
    Db.FetchNext(row);
    EXPECT_EQ(row, (TextList{"2", "q2"}));
    Db.FetchNext(row);
    EXPECT_EQ(row, (TextList{"1", "q1"}));
    Db.FetchNext(row);
    EXPECT_EQ(row, (TextList{"", ""}));
    // Back to the start after the end.
    Db.FetchFirst(row);
    EXPECT_EQ(row, (TextList{"3", "q3"}));

    // OpenSelect itself stands on the first row: the next row is the second.
    ASSERT_EQ(Db.OpenSelect("N, Q1", "QUIZQA", "", "N"), 3);
    Db.FetchNext(row);
    EXPECT_EQ(row, (TextList{"2", "q2"}));
}

TEST_F(Cursor, FetchMoveByGoesBothWaysAndStopsAtTheEnds)
{
    AddQuestions(5);
    ASSERT_EQ(Db.OpenSelect("N, SN", "QUIZQA", "", "N"), 5);
    TextList row(2, "stale");
    Db.FetchMoveBy(2, row);
    EXPECT_EQ(row, (TextList{"3", "30"}));
    Db.FetchMoveBy(-1, row);
    EXPECT_EQ(row, (TextList{"2", "20"}));
    Db.FetchMoveBy(0, row);
    EXPECT_EQ(row, (TextList{"2", "20"}));
    Db.FetchMoveBy(100, row);
    EXPECT_EQ(row, (TextList{"5", "50"}));
    Db.FetchMoveBy(1, row);
    EXPECT_EQ(row, (TextList{"5", "50"}));
    Db.FetchMoveBy(-100, row);
    EXPECT_EQ(row, (TextList{"1", "10"}));
    Db.FetchMoveBy(-1, row);
    EXPECT_EQ(row, (TextList{"1", "10"}));
    // The next row follows from where the move stopped.
    Db.FetchMoveBy(3, row);
    Db.FetchNext(row);
    EXPECT_EQ(row, (TextList{"5", "50"}));
    // From past the end a long way back is the first row again.
    Db.FetchNext(row);
    ASSERT_EQ(row, (TextList{"", ""}));
    Db.FetchMoveBy(-100, row);
    EXPECT_EQ(row, (TextList{"1", "10"}));
}

TEST_F(Cursor, GetFieldNamesGivesTheResultColumns)
{
    AddQuestions(1);
    ASSERT_EQ(Db.OpenSelect("*", "QUIZQA", "", ""), 1);
    TextList names(11);
    Db.GetFieldNames(names);
    EXPECT_EQ(names, (TextList{"N", "SN", "Q1", "Q2", "Q3", "Q4", "ANS", "AN1", "AN2", "AN3", "ANN"}));
    ASSERT_EQ(Db.OpenSelect("SN, Q1 AS QUESTION", "QUIZQA", "", ""), 1);
    TextList two(2);
    Db.GetFieldNames(two);
    EXPECT_EQ(two, (TextList{"SN", "QUESTION"}));
}

TEST_F(Cursor, FieldIsTextTellsTextColumnsFromNumbers)
{
    AddThreePlayers();
    ASSERT_EQ(Db.OpenSelect("*", "PLAYER", "", ""), 3);
    EXPECT_EQ(Db.FieldIsText(), (std::vector<bool>{false, true, true, false}));
}

TEST_F(Cursor, HelpersFillOnlyTheSlotsTheyAreGiven)
{
    AddQuestions(2);
    ASSERT_TRUE(Db.UpdateText("QUIZQA", "Q2='second', ANN=4", "N=1"));
    ASSERT_EQ(Db.OpenSelect("*", "QUIZQA", "", "N"), 2);
    TextList three(3, "stale");
    Db.GetFieldNames(three);
    EXPECT_EQ(three, (TextList{"N", "SN", "Q1"}));
    Db.FetchFirst(three);
    EXPECT_EQ(three, (TextList{"1", "10", "q1"}));
    Db.FetchNext(three);
    EXPECT_EQ(three, (TextList{"2", "20", "q2"}));
    Db.FetchMoveBy(-1, three);
    EXPECT_EQ(three, (TextList{"1", "10", "q1"}));
    Db.FetchNext(three);
    Db.FetchNext(three);
    EXPECT_EQ(three, (TextList{"", "", ""}));
    TextList none;
    Db.FetchFirst(none);
    Db.FetchMoveBy(1, none);
    Db.GetFieldNames(none);
    EXPECT_TRUE(none.empty());
}

TEST_F(Cursor, FetchesDoNothingBeforeOpenSelectAndAfterCloseSelect)
{
    AddQuestions(2);
    TextList before{"stale", "stale"};
    Db.FetchFirst(before);
    Db.FetchNext(before);
    Db.FetchMoveBy(1, before);
    Db.GetFieldNames(before);
    EXPECT_EQ(before, (TextList{"stale", "stale"}));

    // CloseSelect ends the cursor but not the read transaction.
    ASSERT_EQ(Db.OpenSelect("N", "QUIZQA", "", "N"), 2);
    Db.CloseSelect();
    EXPECT_FALSE(ObjectsOf(Db).IBQuery1.IsOpen());
    EXPECT_TRUE(ObjectsOf(Db).IBTransaction1.Active());
    TextList row{"stale"};
    Db.FetchFirst(row);
    Db.FetchNext(row);
    Db.FetchMoveBy(1, row);
    Db.GetFieldNames(row);
    EXPECT_EQ(row, TextList{"stale"});
    // Closing again, with no cursor, is harmless.
    EXPECT_NO_THROW(Db.CloseSelect());
    EXPECT_FALSE(ObjectsOf(Db).IBQuery1.IsOpen());
}

TEST_F(Cursor, AnyOtherHelperInBetweenClosesTheCursor)
{
    AddQuestions(3);
    TextList row{"stale"};

    ASSERT_EQ(Db.OpenSelect("N", "QUIZQA", "", "N"), 3);
    EXPECT_EQ(Db.CountRows("PLAYER", ""), 0);
    EXPECT_FALSE(ObjectsOf(Db).IBQuery1.IsOpen());
    Db.FetchNext(row);
    EXPECT_EQ(row, TextList{"stale"});

    ASSERT_EQ(Db.OpenSelect("N", "QUIZQA", "", "N"), 3);
    ASSERT_TRUE(Db.InsertText("QUIZMEM", "N", "1"));
    EXPECT_FALSE(ObjectsOf(Db).IBQuery1.IsOpen());
    Db.FetchFirst(row);
    Db.FetchMoveBy(1, row);
    EXPECT_EQ(row, TextList{"stale"});

    ASSERT_EQ(Db.OpenSelect("N", "QUIZQA", "", "N"), 3);
    std::string max;
    Db.SelectMax("QUIZQA", "N", "", max);
    EXPECT_EQ(max, "3");
    EXPECT_FALSE(ObjectsOf(Db).IBQuery1.IsOpen());
    Db.FetchNext(row);
    EXPECT_EQ(row, TextList{"stale"});
}

TEST_F(Cursor, ANewOpenSelectReplacesTheOldCursor)
{
    AddQuestions(3);
    AddThreePlayers();
    ASSERT_EQ(Db.OpenSelect("N", "QUIZQA", "", "N DESC"), 3);
    ASSERT_EQ(Db.OpenSelect("PNAME", "PLAYER", "", "N"), 3);
    TextList row{"stale"};
    Db.FetchFirst(row);
    EXPECT_EQ(row, TextList{"alice"});
    Db.FetchNext(row);
    EXPECT_EQ(row, TextList{"bob"});
}

// ---------------------------------------------------------------------------
// The text form of column values.

class ValueText : public Helpers {
protected:
    void SetUp() override
    {
        Helpers::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_TRUE(Db.ExecSqlLines({"CREATE TABLE VALS (", "  K INTEGER NOT NULL,", "  I INTEGER,",
                                     "  D DOUBLE PRECISION,", "  C CHAR(5),", "  V VARCHAR(5)", "  );"}));
    }

    TextList Row(int key)
    {
        TextList row(4, "stale");
        EXPECT_EQ(Db.SelectFirstRow("I, D, C, V", "VALS", "K=" + std::to_string(key), row), 4);
        return row;
    }
};

TEST_F(ValueText, NullAndEmptyTextBothReadAsEmpty)
{
    ASSERT_TRUE(Db.InsertText("VALS", "K", "1"));
    ASSERT_TRUE(Db.InsertText("VALS", "K, C, V", "2, '', ''"));
    EXPECT_EQ(Row(1), (TextList{"", "", "", ""}));
    EXPECT_EQ(Row(2), (TextList{"", "", "     ", ""}));
}

TEST_F(ValueText, IntegersAreDecimal)
{
    ASSERT_TRUE(Db.InsertText("VALS", "K, I", "1, -2147483648"));
    ASSERT_TRUE(Db.InsertText("VALS", "K, I", "2, 2147483647"));
    ASSERT_TRUE(Db.InsertText("VALS", "K, I", "3, 0"));
    ASSERT_TRUE(Db.InsertText("VALS", "K, I", "4, 0x1F"));
    EXPECT_EQ(Row(1)[0], "-2147483648");
    EXPECT_EQ(Row(2)[0], "2147483647");
    EXPECT_EQ(Row(3)[0], "0");
    EXPECT_EQ(Row(4)[0], "31");
}

TEST_F(ValueText, DoublesUseUpToFifteenSignificantDigits)
{
    ASSERT_TRUE(Db.InsertText("VALS", "K, D", "1, CAST(1 AS DOUBLE PRECISION) / 3"));
    ASSERT_TRUE(Db.InsertText("VALS", "K, D", "2, 0.5"));
    ASSERT_TRUE(Db.InsertText("VALS", "K, D", "3, 2"));
    ASSERT_TRUE(Db.InsertText("VALS", "K, D", "4, -1.25"));
    ASSERT_TRUE(Db.InsertText("VALS", "K, D", "5, CAST(2 AS DOUBLE PRECISION) / 3"));
    EXPECT_EQ(Row(1)[1], "0.333333333333333");
    EXPECT_EQ(Row(2)[1], "0.5");
    EXPECT_EQ(Row(3)[1], "2");
    EXPECT_EQ(Row(4)[1], "-1.25");
    EXPECT_EQ(Row(5)[1], "0.666666666666667");
}

TEST_F(ValueText, CharKeepsItsPaddingAndVarcharDoesNot)
{
    ASSERT_TRUE(Db.InsertText("VALS", "K, C, V", "1, 'ab', 'ab'"));
    ASSERT_TRUE(Db.InsertText("VALS", "K, C, V", "2, 'abcde', 'ab  '"));
    EXPECT_EQ(Row(1), (TextList{"", "", "ab   ", "ab"}));
    EXPECT_EQ(Row(2), (TextList{"", "", "abcde", "ab  "}));
    std::string max;
    Db.SelectMax("VALS", "C", "", max);
    EXPECT_EQ(max, "abcde");
}

}  // namespace
