// The Q&A edit window on a real database: fetching a row into the boxes, saving the boxes
// back over the row with the number shown, and the window without a connection.
#include "qa/edit_window.h"

#include "qa/qa_window_fixture.h"

#include <tuple>

namespace {

class EditWindow : public QaWindowTest {
protected:
    static QLineEdit* Box(const char* name) { return Control<QLineEdit>(Form4, name); }
    static QPushButton* Button(const char* name) { return Control<QPushButton>(Form4, name); }
    static QaBoxes Boxes() { return BoxesOf(Form4); }
    // Opens the window with two stored questions: 5 with every column, 6 with only Q1 and ANS.
    void Open()
    {
        Form4->show();
        ASSERT_TRUE(Button("Button1")->isEnabled());
        AddRow(Sjis("5,50,'五番の一','五番の二','五番の三','五番の四','正解','誤一','誤二','誤三',3"));
        AddRow(Sjis("6,60,'六番',NULL,NULL,NULL,'六の正解',NULL,NULL,NULL,2"));
    }
    static void Fetch(const char* number)
    {
        Retype(Box("Edit1"), number);
        Click(Button("Button4"));
    }
};

TEST_F(EditWindow, ControlsCarryTheirCaptionsAndTabOrder)
{
    EXPECT_EQ(Form4->minimumSize(), Form4->maximumSize());
    EXPECT_EQ(Form4->palette().color(QPalette::Window), QColor(Qt::white));
    auto* panel = Control<QFrame>(Form4, "Panel1");
    EXPECT_EQ(panel->palette().color(QPalette::Window), QColor(0xEB, 0xEB, 0xEB));
    EXPECT_EQ(Form4->font().pixelSize(), 13);

    ExpectTexts(Form4, {{"Label1", "登録番号"}, {"Label2", "並替番号"}, {"Label3", "質問"}, {"Label6", "正解答え"},
                        {"Label7", "不正解答え"}, {"Button4", "データ取得(&R)"}, {"Button1", "編集登録(&S)"},
                        {"Button2", "クリア(&C)"}, {"Button3", "閉じる(&X)"}});
    EXPECT_EQ(Button("Button4")->parentWidget(), panel);
    EXPECT_TRUE(Button("Button1")->isDefault());
    EXPECT_FALSE(Box("Edit1")->testAttribute(Qt::WA_InputMethodEnabled));
    EXPECT_FALSE(Box("Edit2")->testAttribute(Qt::WA_InputMethodEnabled));
    EXPECT_TRUE(Box("Edit10")->testAttribute(Qt::WA_InputMethodEnabled));
    ExpectTabChain(Form4, {"Edit1", "Button4", "Edit2", "Edit3", "Edit4", "Edit5", "Edit6", "Edit7", "Edit8", "Edit9",
                           "Edit10", "Button1", "Button2", "Button3", "Edit1"});

    // The same byte limits as the entry window.
    QTest::keyClicks(Box("Edit1"), "1234567890");
    EXPECT_EQ(Box("Edit1")->text(), "12345678");
    TypeText(Box("Edit6"), QString(51, 'x'));
    EXPECT_EQ(Box("Edit6")->text(), QString(50, 'x'));
    TypeText(Box("Edit9"), QString(31, 'y'));
    EXPECT_EQ(Box("Edit9")->text(), QString(30, 'y'));
}

// Each fetch in turn, by the button or by Enter in the number box: the boxes it fills (NULL as
// empty, a missing row as all empty), silently, with the focus on the sort number.
TEST_F(EditWindow, FetchFillsEveryBoxFromTheRow)
{
    const std::vector<QString> five = {"5", "50", Utf8("五番の一"), Utf8("五番の二"), Utf8("五番の三"),
                                       Utf8("五番の四"), Utf8("正解"), Utf8("誤一"), Utf8("誤二"), Utf8("誤三")};
    const std::vector<QString> six = {"6", "60", Utf8("六番"), "", "", "", Utf8("六の正解"), "", "", ""};
    const std::vector<std::tuple<const char*, bool, std::vector<QString>>> cases = {
        {"5", false, five}, {" 6", false, six}, {"7", false, std::vector<QString>(10)}, {"6", true, six}};
    Open();
    const TextList storedSix = Row(6);
    for (const auto& [number, enter, texts] : cases) {
        Retype(Box("Edit1"), number);
        if (enter) {
            Box("Edit1")->setFocus();
            QTest::keyClick(Box("Edit1"), Qt::Key_Return);
        } else {
            Click(Button("Button4"));
        }
        EXPECT_EQ(Texts(Boxes()), texts) << number;
        EXPECT_EQ(Form4->focusWidget(), Box("Edit2")) << number;
    }
    EXPECT_TRUE(Dialogs.Messages.empty()) << "Enter in the number box saves nothing";
    EXPECT_EQ(Row(6), storedSix);
}

// Fetched and saved unchanged, a row keeps its NULLs, its answer position and its bytes, even
// NEC and IBM duplicate codes and a byte that is no character, as another program may have
// stored them.
TEST_F(EditWindow, SavingUnchangedKeepsTheRowAsItWas)
{
    const std::string question = "\xED\x40\xFA\x4A\xEE\xF9\xFA\x54\x80";
    Open();
    ASSERT_TRUE(Db().UpdateText("QUIZQA", "Q3='" + question + "'", "N=6"));
    Fetch("6");
    Click(Button("Button1"));
    EXPECT_EQ(Dialogs.Messages, std::vector<std::string>{Sjis("編集登録OK")});
    EXPECT_EQ(Rows("N=6 AND Q2 IS NULL AND Q4 IS NULL AND AN1 IS NULL AND AN2 IS NULL AND AN3 IS NULL"), 1);
    EXPECT_EQ(Row(6), (TextList{"6", "60", Sjis("六番"), "", question, "", Sjis("六の正解"), "", "", "", "2"}));
}

TEST_F(EditWindow, SavingWritesEveryBoxAndLeavesTheAnswerPosition)
{
    Open();
    Fetch("5");
    Retype(Box("Edit2"), "");
    Retype(Box("Edit3"), Utf8("新しい質問"));
    Retype(Box("Edit4"), "");
    Retype(Box("Edit5"), " ");
    Retype(Box("Edit8"), "");
    QTest::keyClick(Box("Edit8"), Qt::Key_Return);
    EXPECT_EQ(Dialogs.Messages, std::vector<std::string>{Sjis("編集登録OK")});
    EXPECT_EQ(Row(5), (TextList{"5", "0", Sjis("新しい質問"), "", " ", Sjis("五番の四"), Sjis("正解"), "",
                                Sjis("誤二"), Sjis("誤三"), "3"}));
    EXPECT_EQ(Rows("N=5 AND Q2 IS NULL AND AN1 IS NULL"), 1);
    EXPECT_EQ(Row(6)[2], Sjis("六番")) << "only the row with the number changes";
    EXPECT_EQ(Box("Edit3")->text(), Utf8("新しい質問")) << "the boxes are left as they are";

    // The fetch shows the saved row; ANN stays hidden and untouched.
    Fetch("5");
    EXPECT_EQ(Box("Edit2")->text(), "0");
    EXPECT_EQ(Box("Edit5")->text(), " ");
    EXPECT_EQ(Row(5)[10], "3");
}

// Another program changes or deletes the fetched row 5 before the save, which then asks first,
// naming what changed: いいえ keeps the other program's row, はい writes the boxes (a deleted row
// anew). A new game's sort numbers, and a row not fetched (6 was), are written as before. Each
// case: whether 5 was fetched, the other's set list ("" deletes), the answer, the question, and
// Q1, Q2, ANN of row 5 afterwards (empty: no row).
TEST_F(EditWindow, SavingOverAnotherProgramsChangeAsksFirst)
{
    const std::string row = "登録番号5のデータは取得した後に他で";
    const std::string changed = row + "変更されています。\r\n変更された欄：質問1、正解答え\r\n上書きしますか？";
    const std::string deleted = row + "削除されています。\r\n登録し直しますか？";
    const std::string edit = "Q1='他の質問',ANS='他の正解'";
    const std::vector<std::tuple<bool, std::string, bool, std::string, std::string>> cases = {
        {true, edit, false, changed, "他の質問|五番の二|3"},   {true, edit, true, changed, "五番の一|私の変更|3"},
        {true, "", false, deleted, ""},                       {true, "", true, deleted, "五番の一|私の変更|"},
        {true, "SN=7,ANN=1", false, "", "五番の一|私の変更|1"}, {false, edit, false, "", "五番の一|私の変更|3"}};
    Open();
    QuizDatabase other(GameDatabasePath);
    other.ConnectDatabase();
    for (const auto& [fetched, set, yes, question, after] : cases) {
        Dialogs.Confirmations.clear();
        ASSERT_TRUE(Db().DeleteRows("QUIZQA", "N=5"));
        AddRow(Sjis("5,50,'五番の一','五番の二','五番の三','五番の四','正解','誤一','誤二','誤三',3"));
        Fetch(fetched ? "5" : "6");
        if (!fetched) {
            Retype(Box("Edit1"), "5");
            Retype(Box("Edit3"), Utf8("五番の一"));
        }
        Retype(Box("Edit4"), Utf8("私の変更"));
        ASSERT_TRUE(set.empty() ? other.DeleteRows("QUIZQA", "N=5") : other.UpdateText("QUIZQA", Sjis(set), "N=5"));
        Dialogs.ConfirmAnswers = {yes};
        Click(Button("Button1"));
        EXPECT_EQ(Dialogs.Confirmations, question.empty() ? std::vector<std::string>{} : std::vector{Sjis(question)});
        const TextList now = Row(5);
        EXPECT_EQ(now.empty() ? "" : now[QaQ1] + "|" + now[QaQ2] + "|" + now[QaANN], Sjis(after)) << set << yes;
    }
}

TEST_F(EditWindow, ChangingTheNumberAfterAFetchOverwritesThatRow)
{
    Open();
    const TextList five = Row(5);
    Fetch("5");
    Retype(Box("Edit1"), "6");
    Click(Button("Button1"));
    EXPECT_EQ(Dialogs.Messages, std::vector<std::string>{Sjis("編集登録OK")});
    EXPECT_EQ(Row(5), five);
    TextList six = five;
    six[0] = "6";
    six[10] = "2";  // row 6 keeps its own answer position
    EXPECT_EQ(Row(6), six);

    // A number with no row: reported as saved, and nothing is added or changed.
    Retype(Box("Edit1"), "8");
    Click(Button("Button1"));
    EXPECT_EQ(Dialogs.Messages.back(), Sjis("編集登録OK"));
    EXPECT_EQ(Rows(""), 2);
    EXPECT_EQ(Rows("N=8"), 0);
    EXPECT_EQ(Row(5), five);
}

TEST_F(EditWindow, BadNumbersAreRefusedForFetchAndSave)
{
    Open();
    Fetch("5");
    const TextList five = Row(5);
    for (const char* number : {"", "0", "-5", "5 ", "abc"}) {
        for (QPushButton* button : {Button("Button4"), Button("Button1")}) {
            Dialogs.Messages.clear();
            Retype(Box("Edit1"), number);
            Box("Edit3")->setFocus();
            Click(button);
            EXPECT_EQ(Dialogs.Messages, std::vector<std::string>{Sjis("登録番号は1以上の整数で入力して下さい")})
                << number << " " << button->objectName().toStdString();
            EXPECT_EQ(Form4->focusWidget(), Box("Edit1"));
            EXPECT_EQ(Box("Edit1")->text(), number) << "no number is proposed here";
            EXPECT_EQ(Box("Edit3")->text(), Utf8("五番の一")) << "a refused fetch empties nothing";
        }
    }
    EXPECT_EQ(Row(5), five);
}

TEST_F(EditWindow, QuotesAreRefusedOnSave)
{
    Open();
    Fetch("5");
    const TextList five = Row(5);
    Retype(Box("Edit9"), Utf8("\"誤\""));
    Box("Edit9")->setFocus();
    Click(Button("Button1"));
    EXPECT_EQ(Dialogs.Messages, std::vector<std::string>{Sjis("引用符「'」「\"」を入力しないで下さい")});
    EXPECT_EQ(Form4->focusWidget(), Box("Edit3"));
    Retype(Box("Edit9"), "");
    Retype(Box("Edit4"), "x' WHERE 1=1 --");
    Click(Button("Button1"));
    EXPECT_EQ(Dialogs.Messages.size(), 2u);
    EXPECT_EQ(Dialogs.Messages.back(), Sjis("引用符「'」「\"」を入力しないで下さい"));
    EXPECT_EQ(Row(5), five);
    EXPECT_EQ(Row(6)[2], Sjis("六番"));
}

TEST_F(EditWindow, WithoutConnectionFetchAndSaveAreDisabled)
{
    Db().DisconnectDatabase();
    Form4->show();
    EXPECT_FALSE(Button("Button1")->isEnabled());
    EXPECT_FALSE(Button("Button4")->isEnabled());
    for (QLineEdit* box : Boxes()) TypeText(box, "1");
    QTest::keyClick(Box("Edit3"), Qt::Key_Return);
    EXPECT_TRUE(Dialogs.Messages.empty());
    Click(Button("Button2"));
    for (QLineEdit* box : Boxes()) EXPECT_TRUE(box->text().isEmpty());
    QTest::keyClick(Box("Edit1"), Qt::Key_Escape);
    EXPECT_FALSE(Form4->isVisible());

    Db().ConnectDatabase();
    Form4->show();
    EXPECT_TRUE(Button("Button1")->isEnabled());
    EXPECT_TRUE(Button("Button4")->isEnabled());
    EXPECT_EQ(Form4->focusWidget(), Box("Edit1"));
    EXPECT_TRUE(Db().TableExists("QUIZQA"));
}

TEST_F(EditWindow, ConnectionLostAfterShow)
{
    Open();
    Fetch("5");
    Db().DisconnectDatabase();
    Click(Button("Button1"));
    EXPECT_EQ(Dialogs.Messages, std::vector<std::string>{Sjis("編集登録失敗")});
    // A fetch finds nothing to read and shows empty boxes, without a message.
    Fetch("5");
    for (QLineEdit* box : Boxes()) EXPECT_TRUE(box->text().isEmpty());
    EXPECT_EQ(Dialogs.Messages.size(), 1u);
}

}  // namespace
