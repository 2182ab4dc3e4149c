// The Q&A text exchange: the main window's export and import buttons and the two functions behind
// them, on the embedded engine; on the loopback server, the failing write (the server's database is
// untouched by this process's file limit) and the import meeting another, a game, a cut, a full disk.
#include "app/main_window.h"
#include "app/program.h"
#include "app/sjis_text.h"
#include "app/unitv.h"
#include "qa/edit_window.h"
#include "qa/entry_window.h"
#include "qa/list_window.h"
#include "qa/text_exchange.h"

#include "support/controls.h"
#include "support/firebird_fixture.h"
#include "support/recording_dialogs.h"
#include "support/tcp_relay.h"
#include "support/temp_folder.h"

#include <QProgressDialog>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <random>

namespace {

using Rows = std::vector<TextList>;

const TextList Columns = {"N", "SN", "Q1", "Q2", "Q3", "Q4", "ANS", "AN1", "AN2", "AN3", "ANN"};
const std::string Header = "N\tSN\tQ1\tQ2\tQ3\tQ4\tANS\tAN1\tAN2\tAN3\tANN\t\r\n";

// One line of the file: every field followed by TAB, then CR LF.
std::string Line(const TextList& fields)
{
    std::string line;
    for (const std::string& field : fields) line += field + '\t';
    return line + "\r\n";
}

// A text as an SQL literal for setting up rows (the texts used here hold no quote).
std::string Quoted(const std::string& text) { return text.empty() ? "NULL" : "'" + text + "'"; }

// The eleven literals of a row given as it reads back (empty text for NULL).
TextList Literals(const TextList& row)
{
    TextList literals;
    for (size_t i = 0; i < row.size(); ++i)
        literals.push_back(i == 0 || i == 1 || i == 10 ? (row[i].empty() ? "NULL" : row[i]) : Quoted(row[i]));
    return literals;
}

// The same row with another N (and, as the import writes it, 0 for an empty ANN).
TextList Renumbered(TextList row, int n)
{
    row[0] = std::to_string(n);
    if (row[10].empty()) row[10] = "0";
    return row;
}

// Three rows with gaps in N, NULL texts, a NULL ANN (as the entry window leaves it), a
// negative SN and double-byte text whose second byte is "\" (0x5C).
const Rows SomeQuestions = {
    {"5", "7", Sjis("日本で一番高い山は"), Sjis("どれですか？"), "", "", Sjis("富士山"), "K2", Sjis("北岳"),
     Sjis("槍ヶ岳"), "3"},
    {"9", "0", "2+2?", "", "", "", "4", "3", "5", "", ""},
    {"20", "-4", Sjis("表示"), Sjis("ソ"), "\x95\x5C", "x", "a", "b", "c", "d", "4"},
};

// Confirmations and file dialogs in the order the program asked for them, and which Q&A
// windows were visible when the confirmation came.
class OrderedDialogs : public RecordingDialogs {
public:
    bool Confirm(QWidget* parent, const std::string& text) override
    {
        Order.push_back("confirm");
        QaWindowsVisibleAtConfirm = Form3->isVisible() || Form4->isVisible() || Form5->isVisible();
        return RecordingDialogs::Confirm(parent, text);
    }
    std::optional<std::string> OpenFile(QWidget* parent, const FileDialogOptions& options) override
    {
        Order.push_back("open");
        return RecordingDialogs::OpenFile(parent, options);
    }
    std::optional<std::string> SaveFile(QWidget* parent, const FileDialogOptions& options) override
    {
        Order.push_back("save");
        return RecordingDialogs::OpenFile(parent, options);
    }

    std::vector<std::string> Order;
    bool QaWindowsVisibleAtConfirm = false;
};

class TextExchange : public ::testing::Test {
protected:
    void SetUp() override { CreateWindows(); }
    void TearDown() override { DestroyWindows(); }

    // Starts the main window with its own games.dat on a new database in folder, connected,
    // with the settings page shown.
    void Start(std::unique_ptr<GameFolder> folder, const std::optional<std::string>& serverName = {})
    {
        Folder = std::move(folder);
        Exe.Write("games.dat", serverName.value_or(Folder->ServerName()) + "\r\n" + Folder->DataFolder() +
                                   "\r\n0\r\n\r\n\r\n");
        Form1->SetExecutablePath(Exe.File("quizgame"));
        Form1->show();
        Control<QTabWidget>(Form1, "PageControl1")->setCurrentWidget(Control<QWidget>(Form1, "TabSheet2"));
        ASSERT_TRUE(Db().Connected());
    }

    // The usual start: the embedded engine, QUIZQA created.
    void StartWithTable()
    {
        ASSERT_NO_FATAL_FAILURE(Start(GameFolder::Embedded()));
        ASSERT_TRUE(Db().CreateQuizQaTable());
    }

    // The same with SomeQuestions in QUIZQA, in folder, the server reached through serverName.
    void StartWithQuestions(std::unique_ptr<GameFolder> folder = GameFolder::Embedded(),
                            const std::optional<std::string>& serverName = {})
    {
        ASSERT_NO_FATAL_FAILURE(Start(std::move(folder), serverName));
        ASSERT_TRUE(Db().CreateQuizQaTable());
        ASSERT_NO_FATAL_FAILURE(AddRows(SomeQuestions));
    }

    QuizDatabase& Db() { return Form1->Database(); }

    static void Click(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

    void ClickExport(const std::optional<std::string>& answer)
    {
        Dialogs.FileAnswers = {answer};
        Click(Control<QPushButton>(Form1, "Button5"));
    }

    void ClickImport(bool replace, const std::optional<std::string>& answer)
    {
        Dialogs.ConfirmAnswers = {replace};
        Dialogs.FileAnswers = {answer};
        Click(Control<QPushButton>(Form1, "Button6"));
    }

    // Rows given as they read back, inserted with all eleven columns.
    void AddRows(const Rows& rows)
    {
        for (const TextList& row : rows) ASSERT_TRUE(Db().InsertFields("QUIZQA", 11, Columns, Literals(row))) << row[0];
    }

    // QUIZQA in the order of N.
    Rows Table()
    {
        Rows rows;
        const int count = Db().OpenSelect("*", "QUIZQA", "", "N");
        for (int i = 0; i < count; ++i) {
            TextList row(Columns.size());
            Db().FetchRow(i, row);
            rows.push_back(row);
        }
        Db().CloseSelect();
        return rows;
    }

    // A text file in the test's own folder; returns its path.
    std::string WriteFile(const std::string& name, const std::string& bytes)
    {
        Files.Write(name, bytes);
        return Files.File(name);
    }

    SettingsGuard Settings;
    TempFolder Exe;
    TempFolder Files;
    OrderedDialogs Dialogs;
    std::unique_ptr<GameFolder> Folder;
};

// What the end of an import says; why none were, that the bank is as it was, the server's text.
std::vector<std::string> Said(const std::string& utf8) { return {Sjis(utf8)}; }
std::string Unchanged(const std::string& why) { return Sjis(why + "（Ｑ＆Ａデータは元のままです）"); }
// The first line of the one message shown, and whether a second line follows.
std::pair<std::string, bool> FirstLine(const std::vector<std::string>& messages)
{
    const std::string text = messages.size() == 1 ? messages[0] : std::to_string(messages.size()) + " messages";
    const size_t end = text.find("\r\n");
    return {text.substr(0, end), end != std::string::npos && end + 2 < text.size()};
}

TEST_F(TextExchange, ExportThenReplaceImportGivesTheSameQuestionsNumberedAnew)
{
    ASSERT_NO_FATAL_FAILURE(StartWithQuestions());

    ClickExport(Files.File("qa.txt"));
    std::string expected = Header;
    for (const TextList& row : SomeQuestions) expected += Line(row);
    EXPECT_EQ(Files.Read("qa.txt"), expected);

    // Something else in the table, to see that replace removes it.
    ASSERT_NO_FATAL_FAILURE(AddRows({{"77", "1", "gone", "", "", "", "a", "b", "c", "d", "1"}}));
    ClickImport(true, Files.File("qa.txt"));
    EXPECT_EQ(Table(), (Rows{Renumbered(SomeQuestions[0], 1), Renumbered(SomeQuestions[1], 2),
                             Renumbered(SomeQuestions[2], 3)}));
    EXPECT_EQ(Dialogs.Messages, Said("現在のデータを削除して、3件のＱ＆Ａデータを読み込みました"));
}

TEST_F(TextExchange, AppendNumbersTheNewRowsAfterTheLargestN)
{
    ASSERT_NO_FATAL_FAILURE(StartWithTable());
    const Rows before = {{"3", "1", "three", "", "", "", "a", "b", "c", "d", "2"},
                         {"40", "2", "forty", "", "", "", "a", "b", "c", "d", "1"}};
    ASSERT_NO_FATAL_FAILURE(AddRows(before));
    // The file's own numbers (a duplicate, an empty one, one already in the table) count for nothing.
    const std::string path = WriteFile("more.txt", Header + Line({"7", "5", "p", "", "", "", "a", "b", "c", "d", "1"}) +
                                                       Line({"7", "6", "q", "", "", "", "a", "b", "c", "d", "2"}) +
                                                       Line({"", "7", "r", "", "", "", "a", "b", "c", "d", "3"}) +
                                                       Line({"40", "8", "s", "", "", "", "a", "b", "c", "d", "4"}));
    ClickImport(false, path);
    EXPECT_EQ(Table(), (Rows{before[0], before[1], {"41", "5", "p", "", "", "", "a", "b", "c", "d", "1"},
                             {"42", "6", "q", "", "", "", "a", "b", "c", "d", "2"},
                             {"43", "7", "r", "", "", "", "a", "b", "c", "d", "3"},
                             {"44", "8", "s", "", "", "", "a", "b", "c", "d", "4"}}));
    EXPECT_EQ(Dialogs.Messages, Said("4件のＱ＆Ａデータを追加しました"));
}

TEST_F(TextExchange, ExportNamesAndTheEmptyTable)
{
    ASSERT_NO_FATAL_FAILURE(StartWithTable());

    // A name without extension gets ".txt"; an empty table gives the header alone.
    ClickExport(Files.File("bank"));
    EXPECT_EQ(Files.Names(), std::vector<std::string>{"bank.txt"});
    EXPECT_EQ(Files.Read("bank.txt"), Header);

    // Any other extension stays as chosen, a dot in a folder name is no extension, and
    // cancelling writes nothing.
    ASSERT_NO_FATAL_FAILURE(AddRows({SomeQuestions[1]}));
    ClickExport(Files.File("bank.csv"));
    EXPECT_EQ(Files.Read("bank.csv"), Header + Line(SomeQuestions[1]));
    ASSERT_TRUE(std::filesystem::create_directory(Files.File("v1.0")));
    ClickExport(Files.File("v1.0/bank"));
    EXPECT_EQ(Files.Read("v1.0/bank.txt"), Header + Line(SomeQuestions[1]));
    ClickExport(std::nullopt);
    std::vector<std::string> names = Files.Names();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"bank.csv", "bank.txt", "v1.0"}));

    ASSERT_EQ(Dialogs.FileDialogs.size(), 4u);
    EXPECT_EQ(Dialogs.FileDialogs[0].Filter, "\x83\x5E\x83\x75\x8B\xE6\x90\xD8\x82\xE8"
                                             "Text File(*.txt)|*.txt");
    EXPECT_EQ(Dialogs.FileDialogs[0].DefaultExtension, ".txt");
    EXPECT_EQ(Dialogs.Order, (std::vector<std::string>{"save", "save", "save", "save"}));
    EXPECT_TRUE(Dialogs.Messages.empty());
}

TEST_F(TextExchange, ButtonsNeedAConnectionAndExportNeedsTheTable)
{
    ASSERT_NO_FATAL_FAILURE(Start(GameFolder::Embedded()));
    ClickExport(Files.File("none.txt"));
    EXPECT_TRUE(Dialogs.Order.empty()) << "no QUIZQA: no dialog";
    EXPECT_FALSE(ExportTableText(Db(), "QUIZQA", "", "", Files.File("none.txt")));

    Db().DisconnectDatabase();
    ClickImport(true, WriteFile("one.txt", Header + Line({"1", "1", "q", "", "", "", "a", "b", "c", "d", "1"})));
    ClickExport(Files.File("none.txt"));
    EXPECT_TRUE(Dialogs.Order.empty());
    EXPECT_EQ(Dialogs.Messages, Said("データベースに接続されていません")) << "from the import; the export stays silent";
    EXPECT_EQ(ImportTableText(Db(), "QUIZQA", Files.File("one.txt"), true, true).End, ImportEnd::NotConnected);
    EXPECT_EQ(Files.Names(), std::vector<std::string>{"one.txt"});

    Db().ConnectDatabase();
    ASSERT_TRUE(Db().Connected());
    EXPECT_FALSE(Db().TableExists("QUIZQA"));
}

TEST_F(TextExchange, ImportAsksFirstClosesTheQaWindowsAndCreatesTheTable)
{
    ASSERT_NO_FATAL_FAILURE(Start(GameFolder::Embedded()));
    Form3->show();
    Form4->show();
    Form5->show();
    Dialogs.Messages.clear();

    ClickImport(true, WriteFile("one.txt", Header + Line({"9", "1", "q", "", "", "", "a", "b", "c", "d", "2"})));
    const std::string question = "\x8C\xBB\x8D\xDD\x82\xCC\x83\x66\x81\x5B\x83\x5E\x82\xF0\x8D\xED\x8F\x9C\x82\xB5"
                                 "\x82\xC4\x90\x56\x8B\x4B\x93\xC7\x82\xDD\x8D\x9E\x82\xDD\x82\xF0\x8D\x73\x82\xA2"
                                 "\x82\xDC\x82\xB7\x82\xA9\x81\x48"
                                 "\r\n"
                                 "\x82\xCD\x82\xA2\x81\x46\x90\x56\x8B\x4B\x81\x40\x82\xA2\x82\xA2\x82\xA6\x81\x46"
                                 "\x92\xC7\x89\xC1";
    EXPECT_EQ(Dialogs.Confirmations, std::vector<std::string>{question});
    EXPECT_EQ(Dialogs.Order, (std::vector<std::string>{"confirm", "open"}));
    EXPECT_FALSE(Dialogs.QaWindowsVisibleAtConfirm);
    EXPECT_FALSE(Form3->isVisible() || Form4->isVisible() || Form5->isVisible());
    EXPECT_EQ(Dialogs.FileDialogs.at(0).Filter, Sjis("タブ区切りText File(*.txt)|*.txt"));
    EXPECT_EQ(Dialogs.FileDialogs.at(0).DefaultExtension, ".txt");
    EXPECT_EQ(Table(), (Rows{{"1", "1", "q", "", "", "", "a", "b", "c", "d", "2"}}));
    EXPECT_EQ(Dialogs.Messages, Said("現在のデータを削除して、1件のＱ＆Ａデータを読み込みました"));
}

TEST_F(TextExchange, CancelOrAnotherExtensionChangesNothing)
{
    ASSERT_NO_FATAL_FAILURE(StartWithQuestions());
    const std::string body = Header + Line({"1", "1", "new", "", "", "", "a", "b", "c", "d", "1"});

    ClickImport(true, std::nullopt);
    ClickImport(false, std::nullopt);
    ClickImport(true, WriteFile("bank.csv", body));
    ClickImport(true, WriteFile("banktxt", body));
    ClickImport(true, WriteFile("bank.txt.bak", body));
    EXPECT_EQ(Table(), SomeQuestions);
    EXPECT_EQ(Dialogs.Confirmations.size(), 5u);
    EXPECT_EQ(Dialogs.Messages, std::vector<std::string>(3, Sjis("読み込めるのは拡張子が.txtのファイルだけです")));

    // The extension counts in any letter case.
    ClickImport(false, WriteFile("bank.TxT", body));
    ASSERT_EQ(Table().size(), 4u);
    EXPECT_EQ(Table()[3], (TextList{"21", "1", "new", "", "", "", "a", "b", "c", "d", "1"}));
}

TEST_F(TextExchange, HeaderOnlyFileEmptiesOnReplaceAndChangesNothingOnAppend)
{
    ASSERT_NO_FATAL_FAILURE(StartWithQuestions());
    const std::string headerOnly = WriteFile("header.txt", Header);
    const std::string empty = WriteFile("empty.txt", "");

    EXPECT_EQ(ImportTableText(Db(), "QUIZQA", headerOnly, true, true).End, ImportEnd::Imported);
    EXPECT_EQ(ImportTableText(Db(), "QUIZQA", empty, true, true).End, ImportEnd::Imported);
    EXPECT_EQ(Table(), SomeQuestions);
    EXPECT_EQ(ImportTableText(Db(), "QUIZQA", headerOnly, false, true).End, ImportEnd::Imported);
    EXPECT_TRUE(Table().empty());

    // Without skipping, the header is a row like any other: its texts go in, its N does not.
    EXPECT_EQ(ImportTableText(Db(), "QUIZQA", headerOnly, false, false).Rows, 1u);
    EXPECT_EQ(Table(), (Rows{{"1", "0", "Q1", "Q2", "Q3", "Q4", "ANS", "AN1", "AN2", "AN3", "0"}}));
}

// How a file's bytes become rows: fields by position whatever their count, lines ending at LF
// with or without CR (a lone CR dropped), Ctrl+Z ending the file, long lines read whole.
TEST_F(TextExchange, FilesAreReadByPositionLineAndEndOfFile)
{
    ASSERT_NO_FATAL_FAILURE(StartWithTable());
    TextList many;  // 400 fields; the first eleven count
    for (int i = 0; i < 400; ++i) many.push_back("f" + std::to_string(i));
    many[1] = "8";
    many[10] = "1";
    const std::string big(100 * 1024, 'w');
    const TextList one = {"1", "1", "one", "", "", "", "a", "b", "c", "d", "1"};
    const std::string after = Line({"1", "9", "after", "", "", "", "a", "b", "c", "d", "1"});
    const struct {
        std::string Body;
        Rows Expected;
    } cases[] = {
        {Header + Line({"1", "3", "first", "", "", "", "a", "b", "c", "d", "2"}) + "\r\n" + "only\r\n" +
             "7\t 12\tshort\r\n" + Line({"7", "+6", "t2", "t3", "t4", "t5", "t6", "t7", "t8", "t9", "2", "x", "y", "z"}) +
             Line(many) + Line({"1", "abc", "q", "", "", "", "a", "b", "c", "d", "1e0"}) + "\t\t\t\t\t\t\t\t\t\t\r\n",
         {{"1", "3", "first", "", "", "", "a", "b", "c", "d", "2"},
          {"2", "0", "", "", "", "", "", "", "", "", "0"},  // a blank line: NULL texts, 0 numbers
          {"3", "0", "", "", "", "", "", "", "", "", "0"},  // "only" was N, which is numbered anew
          {"4", "12", "short", "", "", "", "", "", "", "", "0"},
          {"5", "6", "t2", "t3", "t4", "t5", "t6", "t7", "t8", "t9", "2"},
          {"6", "8", "f2", "f3", "f4", "f5", "f6", "f7", "f8", "f9", "1"},
          {"7", "0", "q", "", "", "", "a", "b", "c", "d", "1"},
          {"8", "0", "", "", "", "", "", "", "", "", "0"}}},
        {"N\tSN\tQ1\t\n"                 // LF only
         "1\t1\tlf\t\n"                   // LF only
         "1\t2\tcr\rinside\tans\r\r\n"    // lone CRs
         "1\t3\tcrlf\t\r\n"               // CR LF
         "1\t4\tlast\tno end",             // no line end at all
         {{"1", "1", "lf", "", "", "", "", "", "", "", "0"},
          {"2", "2", "crinside", "ans", "", "", "", "", "", "", "0"},
          {"3", "3", "crlf", "", "", "", "", "", "", "", "0"},
          {"4", "4", "last", "no end", "", "", "", "", "", "", "0"}}},
        {Header + Line(one) + "1\t2\ttwo\x1A" + "rest\r\n" + after,
         {one, {"2", "2", "two", "", "", "", "", "", "", "", "0"}}},
        {Header + Line(one) + "\x1A\r\n" + after, {one}},  // at a line's start: no empty row
        {big + "\t\r\n" + Line({"1", "1", "q", "", "", "", "a", "b", "c", "d", "1", big}) +
             Line({"1", "3", "r", "", "", "", "a", "b", "c", "d", "2"}),
         {{"1", "1", "q", "", "", "", "a", "b", "c", "d", "1"}, {"2", "3", "r", "", "", "", "a", "b", "c", "d", "2"}}},
    };
    int i = 0;
    for (const auto& c : cases) {
        ClickImport(true, WriteFile("read" + std::to_string(++i) + ".txt", c.Body));
        EXPECT_EQ(Table(), c.Expected) << "case " << i;
    }
}

TEST_F(TextExchange, ALineTheServerRefusesStopsTheImportAndNamesIt)
{
    ASSERT_NO_FATAL_FAILURE(StartWithTable());
    // With the largest N there is, an append has no number left for its first line.
    const Rows before = {SomeQuestions[0], SomeQuestions[1],
                         {"2147483647", "0", "last", "", "", "", "a", "b", "c", "d", "1"}};
    ASSERT_NO_FATAL_FAILURE(AddRows(before));
    auto good = [](int sn) { return Line({"1", std::to_string(sn), "q", "", "", "", "a", "b", "c", "d", "1"}); };
    std::string later = Header;  // in the third batch, after two that went in
    for (int i = 2; i <= 200; ++i) later += i == 137 ? Line({"1", "1", std::string(51, 'x')}) : good(i);
    // Numbers past the integer range, questions too long, and no N left.
    const struct { std::string Body; bool Append; int Line; } cases[] = {
        {Header + good(1) + Line({"1", "99999999999", "sn"}) + good(2), false, 3},
        {Header + good(1) + good(2) + Line({"1", "1", "a", "", "", "", "", "", "", "", "3e9"}), false, 4},
        {later, false, 137},
        {Header + good(1) + Line({"1", "2", std::string(100 * 1024, 'w')}), false, 3},
        {Header + good(1), true, 2},
    };
    const std::string refused = Unchanged("行目をデータベースに書き込めないため、読み込みを中止しました");
    for (const auto& c : cases) {
        Dialogs.Messages.clear();
        ClickImport(!c.Append, WriteFile("refused.txt", c.Body));
        EXPECT_EQ(FirstLine(Dialogs.Messages), std::make_pair(std::to_string(c.Line) + refused, true)) << c.Line;
        EXPECT_EQ(Table(), before) << c.Line;
    }
}

TEST_F(TextExchange, QuotesInTextAreKeptUnchanged)
{
    ASSERT_NO_FATAL_FAILURE(StartWithTable());
    const TextList quoted = {"1", "1", "It's", "'", "''", "\"q\"", "O'Neil", Sjis("「'」"), "a'", "'b", "4"};
    const TextList next = {"2", "2", "next", "", "", "", "a", "b", "c", "d", "1"};
    const std::string path = WriteFile("quotes.txt", Header + Line(quoted) + Line(next));
    ClickImport(true, path);
    EXPECT_EQ(Table(), (Rows{quoted, next}));

    // And they go out again as they came in.
    ClickExport(Files.File("again.txt"));
    EXPECT_EQ(Files.Read("again.txt"), Files.Read("quotes.txt"));
}

TEST_F(TextExchange, InvalidCp932BytesAreStoredAsTheyAre)
{
    ASSERT_NO_FATAL_FAILURE(StartWithTable());
    // Lead bytes without a trail byte (before TAB, at the end of the line, before a quote),
    // bytes that CP932 never uses, and a lead byte followed by a control character.
    const TextList odd = {"1",           "1",          "\x82",     "\xFF\xFE\xFD", "\x80\xA0\xFC\xFC",
                          "\x82'",       "\x81\x7F\x81", "\x83\x01", "\xEF\x5C",     "\xE0\x20", "2"};
    const std::string path = WriteFile("odd.txt", Header + Line(odd) + "1\t2\tend\x82");
    ClickImport(true, path);
    EXPECT_EQ(Table(), (Rows{odd, {"2", "2", "end\x82", "", "", "", "", "", "", "", "0"}}));

    ClickExport(Files.File("out.txt"));
    EXPECT_EQ(Files.Read("out.txt"), Header + Line(odd) + Line({"2", "2", "end\x82", "", "", "", "", "", "", "", "0"}));
}

// What the import should make of a file of any bytes, worked out directly: the file ends at
// the first Ctrl+Z, lines end at LF, every CR is dropped, the first line is skipped, fields are
// split at TAB. Rows whose insert must fail (too long, numbers out of range) are left out;
// rows whose numbers would need rounding are unknown.
struct BinaryExpectation {
    Rows Accepted;
    std::vector<std::string> Unknown;  // N values not to compare
    size_t Lines = 0;
    size_t FirstRefused = 0;  // the number of the first line that must fail, 0 for none
    std::string Kept;         // the bytes without the lines that must fail
};

BinaryExpectation Expect(std::string bytes, int firstN)
{
    BinaryExpectation result;
    bytes = bytes.substr(0, bytes.find('\x1A'));
    std::vector<std::string> lines;
    std::vector<std::string> raw;  // each line as the file has it, its LF included
    for (size_t start = 0; start < bytes.size();) {
        const size_t lf = bytes.find('\n', start);
        std::string line = bytes.substr(start, lf == std::string::npos ? std::string::npos : lf - start);
        raw.push_back(bytes.substr(start, lf == std::string::npos ? std::string::npos : lf + 1 - start));
        line.erase(std::remove(line.begin(), line.end(), '\r'), line.end());
        lines.push_back(line);
        if (lf == std::string::npos) break;
        start = lf + 1;
    }
    const size_t widths[11] = {0, 0, 50, 50, 50, 50, 30, 30, 30, 30, 0};
    if (!raw.empty()) result.Kept = raw[0];
    for (size_t k = 1; k < lines.size(); ++k) {
        TextList fields(11);
        size_t start = 0;
        for (size_t i = 0; i < 11; ++i) {
            const size_t tab = lines[k].find('\t', start);
            fields[i] = lines[k].substr(start, tab == std::string::npos ? std::string::npos : tab - start);
            if (tab == std::string::npos) break;
            start = tab + 1;
        }
        const std::string n = std::to_string(firstN + static_cast<int>(k) - 1);
        bool fits = true;
        bool known = true;
        for (size_t i = 2; i < 10; ++i) fits = fits && fields[i].size() <= widths[i];
        for (size_t i : {size_t{1}, size_t{10}}) {
            const double value = TextToFloat(fields[i]);
            fits = fits && std::fabs(value) <= 2147483647.0;
            known = known && value == std::floor(value);
            fields[i] = std::to_string(static_cast<int64_t>(value));
        }
        fields[0] = n;
        if (!fits && result.FirstRefused == 0) result.FirstRefused = k + 1;
        if (fits) result.Kept += raw[k];
        if (fits && !known) result.Unknown.push_back(n);
        if (fits && known) result.Accepted.push_back(fields);
    }
    result.Lines = lines.size();
    return result;
}

TEST_F(TextExchange, BinaryFileIsRefusedAtItsFirstBadLineAndWithoutItGoesInWhole)
{
    ASSERT_NO_FATAL_FAILURE(StartWithQuestions());

    // Bytes of every value, with TAB and LF often enough to give short fields and lines,
    // then a Ctrl+Z and more bytes that must not be read.
    std::mt19937 generator(20240613);
    std::string bytes;
    auto junk = [&](size_t count) {
        for (size_t i = 0; i < count; ++i) {
            const unsigned pick = generator() % 100;
            char c = static_cast<char>(generator() % 256);
            if (c == '\x1A') c = 'z';
            if (pick < 12) c = '\t';
            if (pick >= 12 && pick < 14) c = '\n';
            bytes += c;
        }
    };
    junk(30000);
    bytes += '\x1A';
    junk(5000);
    const std::string path = WriteFile("program.txt", bytes);

    const BinaryExpectation all = Expect(bytes, 21);
    ASSERT_GT(all.FirstRefused, 2u) << "the data should give a line that cannot go in, after one that can";
    ClickImport(false, path);
    EXPECT_EQ(FirstLine(Dialogs.Messages).first, std::to_string(all.FirstRefused) +
                                                     Unchanged("行目をデータベースに書き込めないため、読み込みを中止しました"));
    EXPECT_EQ(Table(), SomeQuestions);

    // Without the lines that cannot go in, every other one does, its bytes as they are.
    const BinaryExpectation expected = Expect(all.Kept, 21);
    ASSERT_GT(expected.Accepted.size(), 100u) << "the data should give many rows that fit";
    ClickImport(false, WriteFile("kept.txt", all.Kept));

    Rows table = Table();
    ASSERT_GE(table.size(), SomeQuestions.size());
    EXPECT_EQ(Rows(table.begin(), table.begin() + 3), SomeQuestions);
    Rows imported;
    for (size_t i = 3; i < table.size(); ++i)
        if (std::find(expected.Unknown.begin(), expected.Unknown.end(), table[i][0]) == expected.Unknown.end())
            imported.push_back(table[i]);
    EXPECT_EQ(imported, expected.Accepted);
    // One number per line: an append goes on after the last line.
    ClickImport(false, WriteFile("after.txt", Header + Line({"1", "1", "after", "", "", "", "a", "b", "c", "d", "1"})));
    EXPECT_EQ(Table().back()[0], std::to_string(21 + expected.Lines - 1));
}

TEST_F(TextExchange, UnreadableOrHugeFileChangesNothingAndSaysSo)
{
    ASSERT_NO_FATAL_FAILURE(StartWithQuestions());
    const std::string one = Header + Line({"1", "1", "q", "", "", "", "a", "b", "c", "d", "1"});
    // A folder with a .txt name; a file whose folder went away between the dialog and the
    // import; well-formed lines, then far more than any question bank.
    ASSERT_EQ(mkdir(Files.File("folder.txt").c_str(), 0700), 0);
    ASSERT_TRUE(std::filesystem::create_directory(Files.File("gone")));
    const std::string gone = WriteFile("gone/qa.txt", one);
    std::filesystem::remove_all(Files.File("gone"));
    const std::string huge = WriteFile("huge.txt", one);
    std::filesystem::resize_file(huge, 64 * 1024 * 1024 + 1);
    const std::pair<std::string, const char*> cases[] = {{Files.File("folder.txt"), "ファイルを読み込めませんでした"},
                                                         {gone, "ファイルを読み込めませんでした"},
                                                         {huge, "64MBを超えるファイルは読み込めません"}};
    for (const auto& [path, message] : cases) {
        Dialogs.Messages.clear();
        ClickImport(true, path);
        EXPECT_EQ(Dialogs.Messages, Said(message)) << path;
        EXPECT_EQ(Table(), SomeQuestions) << path;
    }
}

TEST_F(TextExchange, ReplaceStopsWhenTheRowsCannotBeDeleted)
{
    ASSERT_NO_FATAL_FAILURE(StartWithQuestions());
    // A trigger that refuses every delete, as a table another program has locked would.
    ASSERT_TRUE(Db().ExecSqlLines({"CREATE EXCEPTION KEEP_ROWS 'rows are kept';"}));
    ASSERT_TRUE(Db().ExecSqlLines(
        {"CREATE TRIGGER QUIZQA_KEEP FOR QUIZQA BEFORE DELETE AS", "BEGIN", "  EXCEPTION KEEP_ROWS;", "END"}));
    const std::string path = WriteFile("qa.txt", Header + Line({"1", "1", "q", "", "", "", "a", "b", "c", "d", "1"}));

    EXPECT_EQ(ImportTableText(Db(), "QUIZQA", path, false, true).End, ImportEnd::Failed);
    ClickImport(true, path);
    EXPECT_EQ(Table(), SomeQuestions) << "a replace must not turn into an append";
    EXPECT_EQ(FirstLine(Dialogs.Messages),
              std::make_pair(Unchanged("データベースに書き込めないため、読み込みを中止しました"), true));
}

TEST_F(TextExchange, FailedExportLeavesTheEarlierFile)
{
    ASSERT_NO_FATAL_FAILURE(StartWithQuestions());
    Files.Write("qa.txt", "old\r\n");

    // A folder where the file should be cannot be replaced, and a folder that does not exist
    // takes no file at all: nothing is left beside them, and the export says so.
    ASSERT_TRUE(std::filesystem::create_directory(Files.File("taken.txt")));
    Files.Write("taken.txt/inside", "x");
    std::vector<std::string> told;
    for (const char* name : {"taken.txt", "missing/qa.txt"}) {
        EXPECT_FALSE(ExportTableText(Db(), "QUIZQA", "", "", Files.File(name)));
        ClickExport(Files.File(name));
        told.push_back(Sjis("Ｑ＆Ａデータをファイルに書き出せませんでした\r\n") + Files.File(name));
        EXPECT_EQ(Dialogs.Messages, told);
    }
    // A condition the server refuses is no table to write.
    EXPECT_FALSE(ExportTableText(Db(), "QUIZQA", "NOSUCHCOLUMN=1", "", Files.File("qa.txt")));
    std::vector<std::string> names = Files.Names();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"qa.txt", "taken.txt"}));
    EXPECT_EQ(Files.Read("qa.txt"), "old\r\n");

    // A condition and an order are passed on.
    EXPECT_TRUE(ExportTableText(Db(), "QUIZQA", "N>5", "N DESC", Files.File("qa.txt")));
    EXPECT_EQ(Files.Read("qa.txt"), Header + Line(SomeQuestions[2]) + Line(SomeQuestions[1]));
}

// Lets this process grow no file past a number of bytes while it lives. SIGXFSZ is ignored,
// so that a write past the limit fails with EFBIG instead of ending the process. Unlike file
// permissions this holds for root too.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &Saved);
        OldHandler = signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{bytes, Saved.rlim_max};
        Applied = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &Saved);
        signal(SIGXFSZ, OldHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    bool Applied = false;

private:
    rlimit Saved{};
    sighandler_t OldHandler = SIG_DFL;
};

TEST_F(TextExchange, WriteFailingPartWayLeavesTheEarlierFileAndNoPartOne)
{
    const auto server = FindTestServer();
    ASSERT_TRUE(server.has_value()) << MissingServerMessage();
    ASSERT_NO_FATAL_FAILURE(Start(GameFolder::OnServer(*server)));
    ASSERT_TRUE(Db().CreateQuizQaTable());
    // 2000 rows of about 300 bytes: the file passes the limit in the middle of the rows.
    ASSERT_TRUE(Db().ExecSqlLines({"EXECUTE BLOCK AS", "DECLARE I INTEGER = 1;", "BEGIN", "  WHILE (I <= 2000) DO",
                                   "  BEGIN",
                                   "    INSERT INTO QUIZQA VALUES (:I, :I, RPAD('q', 50, 'q'), RPAD('r', 50, 'r'),",
                                   "      RPAD('s', 50, 's'), RPAD('t', 50, 't'), 'a', 'b', 'c', 'd', 1);",
                                   "    I = I + 1;", "  END", "END"}));
    ASSERT_EQ(Db().CountRows("QUIZQA", ""), 2000);
    Files.Write("qa.txt", "old\r\n");

    {
        const FileSizeLimit limit(200 * 1024);
        ASSERT_TRUE(limit.Applied);
        ClickExport(Files.File("qa.txt"));
        EXPECT_FALSE(ExportTableText(Db(), "QUIZQA", "", "", Files.File("qa.txt")));
    }
    EXPECT_EQ(Dialogs.Messages.size(), 1u) << "the export says it could not write";
    EXPECT_EQ(Files.Read("qa.txt"), "old\r\n");
    EXPECT_EQ(Files.Names(), std::vector<std::string>{"qa.txt"}) << "no partial file may stay behind";

    // Without the limit the same export replaces the file.
    ClickExport(Files.File("qa.txt"));
    const std::string written = Files.Read("qa.txt");
    EXPECT_GT(written.size(), 200u * 1024);
    EXPECT_EQ(std::count(written.begin(), written.end(), '\n'), 2001);
    EXPECT_EQ(written.substr(0, Header.size()), Header);
    EXPECT_EQ(Dialogs.Messages.size(), 1u) << "a written file needs no word";
}

TEST_F(TextExchange, SampleFileImportsEveryLineAndGoesOutUnchanged)
{
    ASSERT_NO_FATAL_FAILURE(Start(GameFolder::Embedded()));
    // The import creates QUIZQA itself.
    ClickImport(true, SAMPLE_FILE);
    const Rows rows = Table();
    ASSERT_EQ(rows.size(), 44u);
    for (size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(rows[i][0], std::to_string(i + 1));

    ClickExport(Files.File("sample.txt"));
    std::ifstream in(SAMPLE_FILE, std::ios::binary);
    const std::string sample{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    ASSERT_FALSE(sample.empty());
    EXPECT_EQ(Files.Read("sample.txt"), sample);
    EXPECT_EQ(Dialogs.Messages, Said("現在のデータを削除して、44件のＱ＆Ａデータを読み込みました"));
}

// A gateway's start fills the bank from a file only when the bank has no question yet.
TEST_F(TextExchange, ImportIntoEmptyBankFillsOnlyAMissingOrEmptyBank)
{
    ASSERT_NO_FATAL_FAILURE(Start(GameFolder::Embedded()));
    const Rows inFile = {{"8", "1", "one", "", "", "", "a", "b", "c", "d", "2"},
                         {"8", "2", "two", "", "", "", "e", "f", "g", "h", "3"}};
    const std::string file = WriteFile("first.txt", Header + Line(inFile[0]) + Line(inFile[1]));
    const Rows imported = {Renumbered(inFile[0], 1), Renumbered(inFile[1], 2)};
    struct Case {
        const char* What;
        bool Table;
        Rows Before;
        std::string File;
        std::optional<ImportEnd> End;
        Rows After;
    };
    const Case cases[] = {
        {"no table", false, {}, file, ImportEnd::Imported, imported},
        {"empty table", true, {}, file, ImportEnd::Imported, imported},
        {"questions already (a second start)", true, SomeQuestions, file, std::nullopt, SomeQuestions},
        {"file missing", true, {}, Files.File("none.txt"), ImportEnd::Unreadable, {}},
    };
    for (const Case& c : cases) {
        if (Db().TableExists("QUIZQA")) {
            ASSERT_TRUE(Db().DropTable("QUIZQA")) << c.What;
        }
        if (c.Table) {
            ASSERT_TRUE(Db().CreateQuizQaTable()) << c.What;
        }
        ASSERT_NO_FATAL_FAILURE(AddRows(c.Before));
        const std::optional<ImportResult> result = ImportIntoEmptyBank(Db(), c.File);
        EXPECT_EQ(result ? std::optional(result->End) : std::nullopt, c.End) << c.What;
        EXPECT_EQ(Table(), c.After) << c.What;
    }
}

// A file of count lines whose question is text.
std::string ManyLines(int count, const std::string& text)
{
    std::string body = Header;
    for (int i = 1; i <= count; ++i) body += Line({"1", std::to_string(i), text, "", "", "", "a", "b", "c", "d", "1"});
    return body;
}

TEST_F(TextExchange, CancelLeavesTheBankAsItWas)
{
    ASSERT_NO_FATAL_FAILURE(StartWithQuestions());
    const std::string path = WriteFile("many.txt", ManyLines(120, "q"));
    // Stopped with no row in yet, with some in, and with all in but not committed.
    for (const size_t quarters : {0, 2, 4}) {
        const auto progress = [quarters](size_t done, size_t total) { return done * 4 < total * quarters; };
        EXPECT_EQ(ImportTableText(Db(), "QUIZQA", path, false, true, progress).End, ImportEnd::Cancelled) << quarters;
        EXPECT_EQ(Table(), SomeQuestions) << quarters;
    }
    // The user presses the progress dialog's cancel.
    QTimer::singleShot(0, Form1, [] { Form1->findChild<QProgressDialog*>("ImportProgress")->cancel(); });
    ClickImport(true, path);
    EXPECT_EQ(Dialogs.Messages, std::vector<std::string>{Unchanged("読み込みを取り消しました")});
    EXPECT_EQ(Table(), SomeQuestions);
}

TEST_F(TextExchange, OnTheServerASecondImportIsRefusedAGameWaitsAndACutChangesNothing)
{
    const auto server = FindTestServer();
    ASSERT_TRUE(server.has_value()) << MissingServerMessage();
    TcpRelay relay(server->Port());
    ASSERT_NO_FATAL_FAILURE(StartWithQuestions(GameFolder::OnServer(*server), relay.ServerName()));
    // Two other programs: one imports, one plays a game and draws its order meanwhile.
    QuizDatabase importer{GameDatabasePath}, game{GameDatabasePath};
    importer.ConnectDatabase();
    game.ConnectDatabase();
    std::future<bool> drawn;
    const auto progress = [&](size_t done, size_t total) {
        if (!drawn.valid()) {
            ClickImport(true, WriteFile("mine.txt", ManyLines(120, "mine")));
            drawn = std::async(std::launch::async, [&] { return game.UpdateTexts("QUIZQA", {{"SN=99", "N=5"}}); });
        }
        const bool waits = done < total || drawn.wait_for(std::chrono::milliseconds(300)) == std::future_status::timeout;
        EXPECT_TRUE(waits) << "the game's write went ahead of the import";
        return true;
    };
    const std::string theirs = WriteFile("theirs.txt", ManyLines(120, "theirs"));
    EXPECT_EQ(ImportTableText(importer, "QUIZQA", theirs, true, true, progress).End, ImportEnd::Imported);
    EXPECT_EQ(Dialogs.Messages, Said("ほかの読み込みが実行中のため、読み込みを中止しました（Ｑ＆Ａデータは元のままです）"));
    EXPECT_TRUE(drawn.get());
    Rows expected = SomeQuestions;
    expected[0][1] = "99";
    for (int i = 1; i <= 120; ++i)
        expected.push_back({std::to_string(20 + i), std::to_string(i), "theirs", "", "", "", "a", "b", "c", "d", "1"});
    EXPECT_EQ(Table(), expected);

    // The connection breaks after the delete and a few batches, as when the server restarts.
    Dialogs.Messages.clear();
    int reports = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { if (++reports == 5) relay.Cut(); });
    ticker.start(0);
    ClickImport(true, WriteFile("many.txt", ManyLines(2000, "q")));
    EXPECT_EQ(FirstLine(Dialogs.Messages),
              std::make_pair(Unchanged("データベースとの接続が切れたため、読み込みを中止しました"), true));
    Folder->ApplyWithServer(server->Prefix);
    Db().ConnectDatabase();
    EXPECT_EQ(Table(), expected);
}

TEST_F(TextExchange, FullDiskOnTheServerLeavesTheBankAndSaysSo)
{
    if (geteuid() != 0) {
        GTEST_SKIP() << "a full disk is made by mounting a small tmpfs, which needs root";
    }
    const auto server = FindTestServer();
    ASSERT_TRUE(server.has_value()) << MissingServerMessage();
    auto folder = GameFolder::OnServer(*server);
    // About 500 KB left once the database is made; unmounted lazily, as the server may hold
    // the file a moment longer.
    ASSERT_EQ(mount("tmpfs", folder->DataFolder().c_str(), "tmpfs", 0, "size=1536k,mode=0777"), 0) << errno;
    const struct Unmount { std::string Path; ~Unmount() { umount2(Path.c_str(), MNT_DETACH); } } unmount{
        folder->DataFolder()};
    ASSERT_NO_FATAL_FAILURE(StartWithQuestions(std::move(folder)));
    // About 2 MB of rows whose text does not compress.
    ClickImport(true, WriteFile("big.txt", ManyLines(20000, "abcdefghijklmnopqrstuvwxyzbcdefghijklmnopqrstuvwxy")));
    EXPECT_NE(Dialogs.Messages.at(0).find(Sjis("（Ｑ＆Ａデータは元のままです）\r\nI/O error")), std::string::npos);
    EXPECT_EQ(Table(), SomeQuestions);
    Db().DisconnectDatabase();
}

}  // namespace
