// The Q&A list window on a real GAMES.FDB (embedded engine), driven through its buttons,
// order and filter fields: paging, the eight orders, the three filters, the grid itself and
// the column widths kept in the layout file.
#include "app/main_window.h"
#include "app/program.h"
#include "app/sjis_text.h"
#include "app/unitv.h"
#include "app/window_style.h"
#include "qa/list_window.h"

#include "support/controls.h"
#include "support/firebird_fixture.h"
#include "support/recording_dialogs.h"
#include "support/tcp_relay.h"
#include "support/temp_folder.h"
#include "support/typing.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

namespace {

using Numbers = std::vector<int>;

// first..last, counting down when last < first.
Numbers Range(int first, int last)
{
    Numbers n;
    for (int i = first;; i += first <= last ? 1 : -1) {
        n.push_back(i);
        if (i == last) break;
    }
    return n;
}

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

QTableWidget* Grid() { return Control<QTableWidget>(Form5, "StringGrid1"); }

class ListWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        Folder = GameFolder::Embedded();
        Folder->Apply();
        CreateWindows();
        Db().CreateGameDatabase();
        ASSERT_TRUE(Db().Connected()) << GameDatabasePath();
    }
    void TearDown() override
    {
        DestroyWindows();
        Folder.reset();
    }

    static QuizDatabase& Db() { return Form1->Database(); }
    static QPushButton* Button(const char* name) { return Control<QPushButton>(Form5, name); }
    static QComboBox* Combo(const char* name) { return Control<QComboBox>(Form5, name); }
    static QLineEdit* FilterBox() { return Control<QLineEdit>(Form5, "Edit1"); }

    // Rows 1..count as another program would have stored them: N i, SN count + 1 - i, the
    // texts q<i>, r<i>, s<i>, t<i>, a<i>, b<i>, c<i>, d<i>, ANN 1..4.
    void AddRows(int count)
    {
        if (!Db().TableExists("QUIZQA")) {
            ASSERT_TRUE(Db().CreateQuizQaTable());
        }
        const std::string n = std::to_string(count);
        ASSERT_TRUE(Db().ExecSqlLines(
            {"EXECUTE BLOCK AS DECLARE I INTEGER = 1;", "BEGIN", "  WHILE (I <= " + n + ") DO BEGIN",
             "    INSERT INTO QUIZQA VALUES (:I, " + n + " + 1 - :I, 'q' || :I, 'r' || :I, 's' || :I, 't' || :I,",
             "      'a' || :I, 'b' || :I, 'c' || :I, 'd' || :I, MOD(:I, 4) + 1);", "    I = I + 1;", "  END",
             "END"}));
        ASSERT_EQ(Db().CountRows("QUIZQA", ""), count);
    }

    // One row from the eleven values as SQL literals (UTF-8 in the source, stored as CP932).
    void AddRow(const std::string& values)
    {
        if (!Db().TableExists("QUIZQA")) {
            ASSERT_TRUE(Db().CreateQuizQaTable());
        }
        ASSERT_TRUE(Db().InsertText("QUIZQA", "N,SN,Q1,Q2,Q3,Q4,ANS,AN1,AN2,AN3,ANN", Sjis(values))) << values;
    }

    // Rows for the orders and the filters: questions spread over the four lines, some lines
    // and wrong answers missing (NULL), a quote, a percent sign, Japanese text.
    void AddFilterRows()
    {
        AddRow("1, 30, 'apple pie', NULL, NULL, NULL, 'red', 'green', 'blue', 'x', 1");
        AddRow("2, 10, 'the ', 'banana', ' split', '!', 'yellow', 'it''s', 'b', 'c', 2");
        AddRow("3, 50, '100%', 'sure', 'x', 'y', 'a_b', 'p', 'q', NULL, 3");
        AddRow("4, 20, '日本の首都は', 'どこ', 'ですか', '？', '東京', '大阪', '京都', '名古屋', 4");
    }

    // Grid cell of a data row (1..100) as shown.
    static QString Cell(int row, int column)
    {
        const QTableWidgetItem* item = Grid()->item(row - 1, column);
        return item ? item->text() : QString();
    }

    // The grid shows exactly these rows (by N, from grid row 1) and nothing below them.
    static void ExpectPage(const Numbers& expected)
    {
        ASSERT_EQ(Grid()->rowCount(), 100);
        ASSERT_EQ(Grid()->columnCount(), 10);
        for (int row = 1; row <= 100; ++row) {
            const size_t k = static_cast<size_t>(row - 1);
            if (k < expected.size()) {
                EXPECT_EQ(Cell(row, 0), QString::number(expected[k])) << "grid row " << row;
            } else {
                for (int column = 0; column < 10; ++column)
                    ASSERT_EQ(Cell(row, column), QString()) << "grid row " << row << " column " << column;
            }
        }
    }

    static void Click(QPushButton* button)
    {
        ASSERT_TRUE(button->isEnabled()) << button->objectName().toStdString();
        QTest::mouseClick(button, Qt::LeftButton);
    }

    // Picks an item as the user does: opens the list and clicks the item.
    static void Pick(QComboBox* box, int index)
    {
        box->showPopup();
        QAbstractItemView* view = box->view();
        const QRect item = view->visualRect(view->model()->index(index, 0));
        ASSERT_TRUE(view->isVisible() && item.isValid()) << "the list of " << box->objectName().toStdString();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, item.center());
        ASSERT_FALSE(view->isVisible());
        ASSERT_EQ(box->currentIndex(), index);
    }

    // Types the filter text, picks the filter and so runs it.
    static void Filter(const QString& text, int index)
    {
        FilterBox()->clear();
        TypeText(FilterBox(), text);
        Pick(Combo("ComboBox2"), index);
    }

    // The statement of the last load, from the window's filter and order.
    static TextList LastStatement() { return PageStatementLines(Form5->WhereText, Form5->OrderText); }

    SettingsGuard Settings;
    std::unique_ptr<GameFolder> Folder;
    RecordingDialogs Dialogs;
};

// The page buttons pressed after the show, each with the rows the grid then shows (by N),
// PageStart and NextPageStart.
TEST_F(ListWindow, PageButtonsWalkTheResult)
{
    struct Step {
        const char* Button;  // none: the show itself
        Numbers Page;
        int Start;
        int Next;
    };
    const std::vector<std::pair<int, std::vector<Step>>> cases = {
        {150,
         {{nullptr, Range(1, 100), 1, 101},
          {"Button3", Range(101, 150), 101, 151},
          {"Button3", {}, 151, 151},  // past the end: an empty page, not the last row again
          {"Button2", Range(51, 150), 51, 151},
          {"Button1", Range(1, 100), 1, 101}}},
        {100,
         {{nullptr, Range(1, 100), 1, 101},
          {"Button3", {}, 101, 101},
          {"Button3", {}, 101, 101},
          {"Button2", Range(1, 100), 1, 101}}},
        {3, {{nullptr, {1, 2, 3}, 1, 4}, {"Button2", {1, 2, 3}, 1, 4}}},  // previous on the first page reloads it
        {0, {{nullptr, {}, 1, 1}, {"Button3", {}, 1, 1}}},
    };
    for (const auto& [rows, steps] : cases) {
        SCOPED_TRACE(std::to_string(rows) + " rows");
        if (Db().TableExists("QUIZQA")) {
            ASSERT_TRUE(Db().DeleteRows("QUIZQA", ""));
        }
        AddRows(rows);
        Form5->show();
        for (const Step& step : steps) {
            if (step.Button) Click(Button(step.Button));
            ExpectPage(step.Page);
            EXPECT_EQ(Form5->PageStart, step.Start) << (step.Button ? step.Button : "show");
            EXPECT_EQ(Form5->NextPageStart, step.Next) << (step.Button ? step.Button : "show");
        }
        Form5->close();
    }
    EXPECT_TRUE(Dialogs.Messages.empty());
}

TEST_F(ListWindow, EachLoadShowsWhatOthersChangedOrAdded)
{
    AddRows(150);
    Form5->show();
    // All ten shown columns in table order, ANN left out.
    for (int column = 0; column < 10; ++column)
        EXPECT_EQ(Cell(1, column), (QStringList{"1", "150", "q1", "r1", "s1", "t1", "a1", "b1", "c1", "d1"}[column]));
    EXPECT_EQ(LastStatement(), (TextList{"SELECT * FROM QUIZQA", "  ORDER BY N;"}));

    // Refresh shows the same page again, with what others changed in the meantime.
    Click(Button("Button3"));
    ASSERT_TRUE(Db().UpdateText("QUIZQA", "Q1='changed'", "N=120"));
    Click(Button("Button4"));
    ExpectPage(Range(101, 150));
    EXPECT_EQ(Cell(20, 2), "changed");
    EXPECT_EQ(Cell(50, 2), "q150");

    // A row added after the last one appears on the next page; NULL shows as an empty cell.
    AddRow("151, 1, 'new', NULL, NULL, NULL, 'ans', NULL, NULL, NULL, 1");
    Click(Button("Button3"));
    ExpectPage({151});
    EXPECT_EQ(Cell(1, 3), QString());
    EXPECT_TRUE(Dialogs.Messages.empty());
}

TEST_F(ListWindow, EachOrderSortsTheWholeResult)
{
    AddFilterRows();
    AddRow("5, 40, 'the ', 'apple', NULL, NULL, 'blue', NULL, NULL, NULL, 1");
    Form5->show();
    ExpectPage({1, 2, 3, 4, 5});

    struct Case {
        int Index;
        const char* Order;
        Numbers Rows;
    };
    // Q1 sorts by its bytes: digits, then lower case ASCII, then the CP932 bytes of Japanese;
    // rows 2 and 5 share Q1 'the ' and are told apart by Q2.
    const Case cases[] = {
        {1, "N DESC", {5, 4, 3, 2, 1}},
        {2, "SN", {2, 4, 1, 5, 3}},
        {3, "SN DESC", {3, 5, 1, 4, 2}},
        {4, "Q1,Q2", {3, 1, 5, 2, 4}},
        {5, "Q1 DESC,Q2 DESC", {4, 2, 5, 1, 3}},
        {6, "ANS", {3, 5, 1, 2, 4}},
        {7, "ANS DESC", {4, 2, 1, 5, 3}},
        {0, "N", {1, 2, 3, 4, 5}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Order);
        Pick(Combo("ComboBox1"), c.Index);
        EXPECT_EQ(Form5->OrderText, c.Order);
        EXPECT_EQ(LastStatement(), (TextList{"SELECT * FROM QUIZQA", std::string("  ORDER BY ") + c.Order + ";"}));
        ExpectPage(c.Rows);
    }
    EXPECT_TRUE(Dialogs.Messages.empty());
}

TEST_F(ListWindow, NewOrderOrFilterStartsAtTheFirstPageAndPagingKeepsThem)
{
    AddRows(150);
    Form5->show();
    Click(Button("Button3"));
    ASSERT_EQ(Form5->PageStart, 101);

    Pick(Combo("ComboBox1"), 1);
    EXPECT_EQ(Form5->PageStart, 1);
    ExpectPage(Range(150, 51));
    Click(Button("Button3"));
    ExpectPage(Range(50, 1));

    // The question filter with an empty text is no filter.
    Pick(Combo("ComboBox2"), 1);
    EXPECT_EQ(Form5->WhereText, "");
    EXPECT_EQ(Form5->PageStart, 1);
    ExpectPage(Range(150, 51));
    Click(Button("Button3"));

    Filter("q14", 1);
    EXPECT_EQ(Form5->PageStart, 1);
    Numbers q14 = Range(149, 140);
    q14.push_back(14);
    ExpectPage(q14);

    // Typing alone changes nothing: the pages keep the stored filter and order.
    QTest::keyClicks(FilterBox(), "9");
    Click(Button("Button4"));
    ExpectPage(q14);
    Click(Button("Button3"));
    ExpectPage({});
    EXPECT_EQ(Form5->PageStart, 12);
    Click(Button("Button2"));
    ExpectPage(q14);

    // A double-click on the filter box runs the filter with the text as it now stands.
    Click(Button("Button3"));
    QTest::mouseDClick(FilterBox(), Qt::LeftButton);
    EXPECT_EQ(Form5->PageStart, 1);
    ExpectPage({149});

    // With no item chosen nothing happens.
    emit Combo("ComboBox1")->activated(-1);
    EXPECT_EQ(Form5->OrderText, "N DESC");
    ExpectPage({149});
}

// Each filter with its text, the rows it finds and, where given, the condition it stores.
TEST_F(ListWindow, EachFilterFindsItsTextAsALiteral)
{
    AddFilterRows();
    Form5->show();
    const std::string questions = "(COALESCE(Q1,'') || COALESCE(Q2,'') || COALESCE(Q3,'') || COALESCE(Q4,''))";
    const std::string wrong = "(COALESCE(AN1,'') || COALESCE(AN2,'') || COALESCE(AN3,''))";
    struct Case {
        const char* Text;
        int Index;
        Numbers Rows;
        std::string Where;  // empty: not checked
    };
    const Case cases[] = {
        {"e b", 1, {2}, questions + " LIKE '%e b%'"},  // across Q1 and Q2
        {"apple", 1, {1}, ""},                         // in Q1 alone, the other lines NULL
        {"首都", 1, {4}, ""},
        {"e", 2, {1, 2}, "ANS LIKE '%e%'"},
        {"東京", 2, {4}, ""},
        {"green", 3, {1}, wrong + " LIKE '%green%'"},
        {"pq", 3, {3}, ""},   // row 3 has no third wrong answer
        {"red", 3, {}, ""},   // row 1's correct answer, not a wrong one
        // % and _ are the wildcards of LIKE.
        {"b%t", 1, {2}, ""},
        {"y_l", 2, {2}, ""},
        {"%", 1, {1, 2, 3, 4}, ""},
        {"_", 2, {1, 2, 3, 4}, ""},
        // A quote is text; read as statement text the last three would match every row.
        {"it's", 3, {2}, wrong + " LIKE '%it''s%'"},
        {"o'clock", 1, {}, ""},
        {"' OR ''='", 1, {}, ""},
        {"%' OR N>0 OR Q1 LIKE '", 2, {}, ""},
        {"'", 3, {2}, ""},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.Text);
        Filter(QString::fromUtf8(test.Text), test.Index);
        ExpectPage(test.Rows);
        EXPECT_EQ(Form5->NextPageStart, Form5->PageStart + static_cast<int>(test.Rows.size()));
        if (!test.Where.empty()) {
            EXPECT_EQ(LastStatement(), (TextList{"SELECT * FROM QUIZQA", "  WHERE " + test.Where, "  ORDER BY N;"}));
        }
    }
    Filter(QString::fromUtf8("首都"), 1);
    EXPECT_EQ(Cell(1, 2), QString::fromUtf8("日本の首都は"));
    EXPECT_EQ(Cell(1, 9), QString::fromUtf8("名古屋"));

    // Back to no filter, the text left in the box.
    Pick(Combo("ComboBox2"), 0);
    EXPECT_EQ(Form5->WhereText, "");
    ExpectPage({1, 2, 3, 4});
    EXPECT_TRUE(Dialogs.Messages.empty());
    EXPECT_EQ(Db().CountRows("QUIZQA", ""), 4);
}

TEST_F(ListWindow, OpeningWithoutTheTableCreatesItAndPagesFromRowOne)
{
    ASSERT_FALSE(Db().TableExists("QUIZQA"));
    Form5->show();
    EXPECT_TRUE(Db().TableExists("QUIZQA"));
    EXPECT_EQ(Db().CountColumns("QUIZQA"), 11);
    ExpectPage({});
    for (QPushButton* button : {Button("Button1"), Button("Button2"), Button("Button3"), Button("Button4")})
        EXPECT_TRUE(button->isEnabled());

    // Rows that arrive afterwards: the next page starts at the first of them.
    AddRows(150);
    Click(Button("Button3"));
    EXPECT_EQ(Form5->PageStart, 1);
    ExpectPage(Range(1, 100));
    Click(Button("Button3"));
    ExpectPage(Range(101, 150));
    EXPECT_TRUE(Dialogs.Messages.empty());
}

TEST_F(ListWindow, TableThatCannotBeCreatedDisablesTheButtons)
{
    // A view takes the name: it is no table, and the table cannot be created.
    ASSERT_TRUE(Db().ExecSqlLines({"CREATE VIEW QUIZQA (X) AS SELECT 1 FROM RDB$DATABASE;"}));
    Form5->show();
    for (QPushButton* button : {Button("Button1"), Button("Button2"), Button("Button3"), Button("Button4")})
        EXPECT_FALSE(button->isEnabled());
    ExpectPage({});
    EXPECT_TRUE(Dialogs.Messages.empty());
}

TEST_F(ListWindow, WithoutAConnectionTheButtonsAreDisabledAndNothingIsSaid)
{
    AddRows(3);
    Db().DisconnectDatabase();
    Form5->show();
    for (QPushButton* button : {Button("Button1"), Button("Button2"), Button("Button3"), Button("Button4")})
        EXPECT_FALSE(button->isEnabled());
    ExpectPage({});
    EXPECT_EQ(Form5->focusWidget(), Combo("ComboBox1"));

    // The order and filter fields still load, and fail quietly.
    Pick(Combo("ComboBox1"), 1);
    Filter("q", 1);
    QTest::mouseDClick(FilterBox(), Qt::LeftButton);
    ExpectPage({});
    EXPECT_EQ(Form5->NextPageStart, 1);
    EXPECT_TRUE(Dialogs.Messages.empty());

    // Shown again after connecting, it lists the rows.
    Form5->close();
    Db().ConnectDatabase();
    Form5->show();
    ExpectPage({1, 2, 3});
    EXPECT_TRUE(Button("Button3")->isEnabled());
}

TEST_F(ListWindow, EachShowStartsAfreshButKeepsTheFilterText)
{
    AddRows(150);
    Form5->show();
    Pick(Combo("ComboBox1"), 1);
    Filter("q1", 1);
    Click(Button("Button3"));
    ASSERT_NE(Form5->PageStart, 1);
    Form5->close();

    Form5->show();
    EXPECT_EQ(Form5->PageSize, 100);
    EXPECT_EQ(Form5->PageStart, 1);
    EXPECT_EQ(Form5->NextPageStart, 101);
    EXPECT_EQ(Form5->WhereText, "");
    EXPECT_EQ(Form5->OrderText, "N");
    EXPECT_EQ(Combo("ComboBox1")->currentIndex(), 0);
    EXPECT_EQ(Combo("ComboBox2")->currentIndex(), 0);
    EXPECT_EQ(FilterBox()->text(), "q1");
    EXPECT_EQ(Form5->focusWidget(), Combo("ComboBox1"));
    ExpectPage(Range(1, 100));
}

TEST_F(ListWindow, ControlsHeaderAndAGridOfOneHundredRows)
{
    AddRows(250);
    Form5->show();
    QStringList headers;
    for (int column = 0; column < Grid()->columnCount(); ++column) headers << Grid()->horizontalHeaderItem(column)->text();
    EXPECT_EQ(headers, QString::fromUtf8("N,SN,質問,　,　,　,正解答え,不正解,　,　").split(','));
    ExpectTexts(Form5, {{"Button1", "最初(&F)"}, {"Button2", "前頁(&P)"}, {"Button3", "次頁(&N)"},
                        {"Button4", "更新(&U)"}, {"Label1", "並び順："}, {"Label2", "絞り込み："}});
    QStringList orders, filters;
    for (int i = 0; i < Combo("ComboBox1")->count(); ++i) orders << Combo("ComboBox1")->itemText(i);
    for (int i = 0; i < Combo("ComboBox2")->count(); ++i) filters << Combo("ComboBox2")->itemText(i);
    EXPECT_EQ(orders, QString::fromUtf8("登録番号↓,登録番号↑,並替番号↓,並替番号↑,質問↓,質問↑,正解答え↓,正解答え↑").split(','));
    EXPECT_EQ(filters, QString::fromUtf8("（無し）,質問,正解答え,不正解").split(','));
    EXPECT_FALSE(Combo("ComboBox1")->isEditable());
    EXPECT_FALSE(Combo("ComboBox2")->isEditable());

    // However large the window, the grid keeps one page of rows.
    Form5->resize(900, 3000);
    QApplication::processEvents();
    EXPECT_GT(Grid()->height(), 2500);
    Click(Button("Button3"));
    ExpectPage(Range(101, 200));
    Click(Button("Button3"));
    ExpectPage(Range(201, 250));
    // The grid fills the window's width; the window can also be made small.
    EXPECT_EQ(Grid()->width(), Form5->width());
    Form5->resize(200, 150);
    QApplication::processEvents();
    EXPECT_EQ(Form5->size(), QSize(200, 150));
}

// Whether an edit box has opened over a cell.
bool EditorOpen()
{
    const auto editors = Grid()->viewport()->findChildren<QLineEdit*>();
    return std::any_of(editors.begin(), editors.end(), [](const QLineEdit* e) { return e->isVisible(); });
}

TEST_F(ListWindow, CellsCannotBeEditedAndTabMovesBetweenThem)
{
    AddRows(2);
    Form5->show();
    Form5->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Form5));

    QAbstractItemView* view = Grid();
    const QRect cell = Grid()->visualItemRect(Grid()->item(0, 2));
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, cell.center());
    EXPECT_FALSE(EditorOpen());
    EXPECT_EQ(Grid()->currentRow(), 0);
    EXPECT_EQ(Grid()->currentColumn(), 2);
    QTest::keyClick(view, Qt::Key_F2);
    QTest::keyClicks(view, "zz");
    QTest::keyClick(view, Qt::Key_Return);
    EXPECT_FALSE(EditorOpen());
    EXPECT_EQ(Cell(1, 2), "q1");
    EXPECT_EQ(Db().CountRows("QUIZQA", "Q1='q1'"), 1);

    Grid()->setFocus();
    QTest::keyClick(view, Qt::Key_Tab);
    EXPECT_EQ(Grid()->currentColumn(), 3);
    EXPECT_EQ(Grid()->currentRow(), 0);
    EXPECT_EQ(QApplication::focusWidget(), view);
}

TEST_F(ListWindow, TabOrderRunsFromTheButtonsToTheGrid)
{
    AddRows(2);
    Form5->show();
    Form5->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Form5));
    EXPECT_EQ(QApplication::focusWidget(), Combo("ComboBox1"));

    Button("Button1")->setFocus(Qt::TabFocusReason);
    const std::vector<QWidget*> order = {Button("Button2"), Button("Button3"), Button("Button4"), Combo("ComboBox1"),
                                         FilterBox(),   Combo("ComboBox2"), Grid()};
    for (QWidget* next : order) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), next) << "expected " << next->objectName().toStdString();
    }
}

// The column widths the user drags are written to the layout file at the end and come back
// at the next start.
class ListWindowLayout : public ListWindow {
protected:
    void StartMainWindow()
    {
        Exe.Write("games.dat", "\r\n" + Folder->DataFolder() + "\r\n0\r\n\r\n\r\n");
        Form1->SetExecutablePath(Exe.File("quizgame"));
        Form1->show();
        ASSERT_TRUE(Db().Connected());
    }

    // Drags the right border of a column in the header by dx pixels, as the mouse does.
    static void DragColumnBorder(int column, int dx)
    {
        QHeaderView* header = Grid()->horizontalHeader();
        QWidget* target = header->viewport();
        const int border = header->sectionViewportPosition(column) + header->sectionSize(column) - 1;
        const QPoint from(border, header->height() / 2);
        const QPoint to(border + dx, from.y());
        QTest::mousePress(target, Qt::LeftButton, {}, from);
        for (int step = 1; step <= 4; ++step) {
            const QPoint at(from.x() + dx * step / 4, from.y());
            QMouseEvent move(QEvent::MouseMove, at, target->mapToGlobal(at), Qt::NoButton, Qt::LeftButton,
                             Qt::NoModifier);
            QApplication::sendEvent(target, &move);
        }
        QTest::mouseRelease(target, Qt::LeftButton, {}, to);
    }

    TempFolder Exe;
};

TEST_F(ListWindowLayout, DraggedColumnWidthsGoToTheLayoutFileAndComeBack)
{
    AddRows(5);
    StartMainWindow();
    Control<QTabWidget>(Form1, "PageControl1")->setCurrentIndex(1);
    Click(Control<QPushButton>(Form1, "Button4"));
    ASSERT_TRUE(Form5->isVisible());
    ExpectPage(Range(1, 5));

    DragColumnBorder(2, 37);
    EXPECT_EQ(Grid()->columnWidth(2), 117);
    DragColumnBorder(7, -30);
    EXPECT_EQ(Grid()->columnWidth(7), 50);
    Form5->SetOuterSize({640, 360});
    ASSERT_EQ(Form5->frameGeometry().size(), QSize(640, 360));

    Form1->close();
    const std::vector<std::string> lines = SplitLines(Exe.Read("quizgame.dat"));
    ASSERT_EQ(lines.size(), 24u);
    EXPECT_EQ(lines[10], "640");
    EXPECT_EQ(lines[11], "360");
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 12, lines.begin() + 22),
              (std::vector<std::string>{"80", "80", "117", "80", "80", "80", "80", "50", "80", "80"}));

    DestroyWindows();
    CreateWindows();
    StartMainWindow();
    EXPECT_EQ(Grid()->columnWidth(2), 117);
    EXPECT_EQ(Grid()->columnWidth(7), 50);
    BringToFront(Form5);
    EXPECT_EQ(Form5->frameGeometry().size(), QSize(640, 360));
    EXPECT_EQ(Grid()->columnWidth(2), 117);
    ExpectPage(Range(1, 5));
}

// On the loopback server through a relay that can break the connection.
class ListWindowServer : public ::testing::Test {
protected:
    void TearDown() override { DestroyWindows(); }
    SettingsGuard Settings;
};

TEST_F(ListWindowServer, BrokenConnectionIsReportedOnceThenTheWindowStaysQuiet)
{
    const auto server = FindTestServer();
    ASSERT_TRUE(server.has_value()) << MissingServerMessage();
    RecordingDialogs dialogs;
    auto folder = GameFolder::OnServer(*server);
    TcpRelay relay;
    folder->ApplyWithServer(relay.ServerName());
    CreateWindows();
    QuizDatabase& db = Form1->Database();
    db.CreateGameDatabase();
    ASSERT_TRUE(db.Connected());
    ASSERT_TRUE(db.CreateQuizQaTable());
    ASSERT_TRUE(db.InsertText("QUIZQA", "N,SN,Q1", "1,1,'q1'"));
    Form5->show();
    ASSERT_EQ(Grid()->item(0, 2)->text(), "q1");

    relay.Cut();
    QTest::mouseClick(Control<QPushButton>(Form5, "Button4"), Qt::LeftButton);
    EXPECT_EQ(dialogs.Messages.size(), 1u);
    EXPECT_FALSE(db.Connected());
    EXPECT_EQ(Grid()->item(0, 0), nullptr);

    QTest::mouseClick(Control<QPushButton>(Form5, "Button4"), Qt::LeftButton);
    QTest::mouseClick(Control<QPushButton>(Form5, "Button3"), Qt::LeftButton);
    EXPECT_EQ(dialogs.Messages.size(), 1u);
}

}  // namespace
