// The Q&A entry window on a real database: typing a question into the boxes and registering
// it, the number proposal, the refusals, the keyboard and the window without a connection.
#include "qa/entry_window.h"

#include "qa/qa_window_fixture.h"

#include <QClipboard>
#include <QGuiApplication>

namespace {

class EntryWindow : public QaWindowTest {
protected:
    static QLineEdit* Box(const char* name) { return Control<QLineEdit>(Form3, name); }
    static QPushButton* Button(const char* name) { return Control<QPushButton>(Form3, name); }
    static QaBoxes Boxes() { return BoxesOf(Form3); }
    // Opens the window as the main window does, with the table made by its FormShow.
    static void Open()
    {
        Form3->show();
        ASSERT_TRUE(Button("Button1")->isEnabled());
    }
};

TEST_F(EntryWindow, ControlsCarryTheirCaptionsAndTabOrder)
{
    EXPECT_EQ(Form3->minimumSize(), Form3->maximumSize());
    EXPECT_FALSE(Form3->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(Form3->palette().color(QPalette::Window), QColor(Qt::white));
    auto* panel = Control<QFrame>(Form3, "Panel1");
    EXPECT_EQ(panel->palette().color(QPalette::Window), QColor(0xEB, 0xEB, 0xEB));
    EXPECT_TRUE(panel->autoFillBackground());
    EXPECT_EQ(Form3->font().family(), Utf8("ＭＳ ゴシック"));
    EXPECT_EQ(Form3->font().pixelSize(), 13);

    ExpectTexts(Form3, {{"Label1", "登録番号"}, {"Label2", "並替番号"}, {"Label3", "質問"}, {"Label6", "正解答え"},
                        {"Label7", "不正解答え"}, {"Button1", "登録(&S)"}, {"Button2", "クリア(&C)"},
                        {"Button3", "閉じる(&X)"}});
    for (const char* label : {"Label1", "Label2", "Label3", "Label6", "Label7"})
        EXPECT_EQ(Control<QLabel>(Form3, label)->parentWidget(), panel) << label;
    for (QLineEdit* box : Boxes()) {
        EXPECT_EQ(box->parentWidget(), panel);
        EXPECT_TRUE(box->text().isEmpty());
    }
    EXPECT_TRUE(Button("Button1")->isDefault());

    // The input method is off only for the two number boxes.
    EXPECT_FALSE(Box("Edit1")->testAttribute(Qt::WA_InputMethodEnabled));
    EXPECT_FALSE(Box("Edit2")->testAttribute(Qt::WA_InputMethodEnabled));
    EXPECT_TRUE(Box("Edit3")->testAttribute(Qt::WA_InputMethodEnabled));

    ExpectTabChain(Form3, {"Edit1", "Edit2", "Edit3", "Edit4", "Edit5", "Edit6", "Edit7", "Edit8", "Edit9", "Edit10",
                           "Button1", "Button2", "Button3", "Edit1"});
}

TEST_F(EntryWindow, ShowCreatesTheMissingTableAndFocusesTheNumber)
{
    ASSERT_FALSE(Db().TableExists("QUIZQA"));
    Open();
    EXPECT_TRUE(Db().TableExists("QUIZQA"));
    EXPECT_EQ(Form3->focusWidget(), Box("Edit1"));
    // A second show finds the table and changes nothing in it.
    AddRow("1,0,'q',NULL,NULL,NULL,'a',NULL,NULL,NULL,NULL");
    Form3->close();
    Form3->show();
    EXPECT_EQ(Rows(""), 1);
    EXPECT_TRUE(Button("Button1")->isEnabled());
}

TEST_F(EntryWindow, StoresTheTypedQuestionAsOneRow)
{
    Open();
    QTest::keyClicks(Box("Edit1"), "12");
    QTest::keyClicks(Box("Edit2"), "34");
    TypeText(Box("Edit3"), Utf8("日本一高い山は"));
    TypeText(Box("Edit4"), Utf8("どれでしょう？"));
    TypeText(Box("Edit7"), Utf8("富士山"));
    TypeText(Box("Edit8"), Utf8("北岳"));
    TypeText(Box("Edit9"), Utf8("奥穂高岳"));
    TypeText(Box("Edit10"), Utf8("間ノ岳"));
    Click(Button("Button1"));

    EXPECT_EQ(Dialogs.Messages, std::vector<std::string>{Sjis("登録OK")});
    EXPECT_EQ(Row(12), (TextList{"12", "34", Sjis("日本一高い山は"), Sjis("どれでしょう？"), "", "", Sjis("富士山"),
                                 Sjis("北岳"), Sjis("奥穂高岳"), Sjis("間ノ岳"), ""}));
    EXPECT_EQ(Rows("N=12 AND Q3 IS NULL AND Q4 IS NULL AND ANN IS NULL"), 1);
    // The boxes keep what was registered.
    EXPECT_EQ(Box("Edit1")->text(), "12");
    EXPECT_EQ(Box("Edit3")->text(), Utf8("日本一高い山は"));
}

// An empty number box gets the number after the largest, and the row is stored under it in
// the same press.
TEST_F(EntryWindow, EmptyNumberProposesTheNextAndStoresUnderItInTheSamePress)
{
    struct Case {
        const char* Largest;
        const char* Typed;
        const char* Proposed;
        bool Stored;
    };
    const Case cases[] = {
        {"7", "", "8", true},
        {"8", "   ", "9", true},  // blanks alone count as empty
        // Past the largest INTEGER the proposal does not wrap round: it is shown, then refused.
        {"2147483647", "", "2147483648", false},
    };
    Open();
    for (const Case& test : cases) {
        SCOPED_TRACE(test.Largest);
        Dialogs.Messages.clear();
        ASSERT_TRUE(Db().DeleteRows("QUIZQA", ""));
        AddRow(std::string(test.Largest) + ",0,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL");
        Retype(Box("Edit1"), test.Typed);
        Retype(Box("Edit3"), "question");
        Click(Button("Button1"));
        EXPECT_EQ(Box("Edit1")->text(), test.Proposed);
        EXPECT_EQ(Dialogs.Messages, std::vector<std::string>{Sjis(test.Stored ? "登録OK" : "登録番号は1以上の整数で入力して下さい")});
        EXPECT_EQ(Rows(std::string("N=") + (test.Stored ? test.Proposed : "0") + " AND Q1='question'"), test.Stored ? 1 : 0);
        EXPECT_EQ(Rows(""), test.Stored ? 2 : 1);
    }
}

TEST_F(EntryWindow, DoubleClickProposesAndClearEmptiesEveryBox)
{
    Open();
    QTest::mouseDClick(Box("Edit1"), Qt::LeftButton);
    EXPECT_EQ(Box("Edit1")->text(), "1") << "an empty table proposes 1";

    AddRow("41,0,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL");
    AddRow("5,0,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL");
    QTest::mouseDClick(Box("Edit1"), Qt::LeftButton);
    EXPECT_EQ(Box("Edit1")->text(), "42");
    EXPECT_EQ(Rows(""), 2) << "a proposal reserves nothing";

    for (QLineEdit* box : Boxes()) TypeText(box, "7");
    Click(Button("Button2"));
    for (QLineEdit* box : Boxes()) EXPECT_TRUE(box->text().isEmpty()) << box->objectName().toStdString();
    EXPECT_TRUE(Dialogs.Messages.empty());
}

TEST_F(EntryWindow, TheSameNumberTwiceIsStoredOnce)
{
    Open();
    QTest::keyClicks(Box("Edit1"), "3");
    TypeText(Box("Edit3"), "first");
    Click(Button("Button1"));
    Retype(Box("Edit3"), "second");
    Click(Button("Button1"));
    EXPECT_EQ(Dialogs.Messages, (std::vector<std::string>{Sjis("登録OK"), Sjis("登録失敗")}));
    EXPECT_EQ(Rows(""), 1);
    EXPECT_EQ(Row(3)[2], "first");
    EXPECT_EQ(Box("Edit1")->text(), "3");
    EXPECT_EQ(Box("Edit3")->text(), "second");
}

TEST_F(EntryWindow, EmptyBoxesStoreNullAndBlanksStayBlanks)
{
    Open();
    QTest::keyClicks(Box("Edit1"), "1");
    QTest::keyClicks(Box("Edit2"), "1a");  // a malformed sort number reads as 0
    TypeText(Box("Edit3"), Utf8(" 前後に空白 "));
    TypeText(Box("Edit5"), "  ");
    TypeText(Box("Edit8"), Utf8("　"));  // one full-width blank
    Click(Button("Button1"));
    ASSERT_EQ(Dialogs.Messages, std::vector<std::string>{Sjis("登録OK")});
    EXPECT_EQ(Row(1), (TextList{"1", "0", Sjis(" 前後に空白 "), "", "  ", "", "", Sjis("　"), "", "", ""}));
    EXPECT_EQ(Rows("N=1 AND Q2 IS NULL AND Q4 IS NULL AND ANS IS NULL AND AN2 IS NULL AND AN3 IS NULL"), 1);
    EXPECT_EQ(Rows("N=1 AND Q3 IS NOT NULL AND AN1 IS NOT NULL"), 1);

    // An empty sort number is 0 as well.
    Retype(Box("Edit1"), "2");
    Retype(Box("Edit2"), "");
    Click(Button("Button1"));
    EXPECT_EQ(Row(2)[1], "0");
}

TEST_F(EntryWindow, QuotesAreRefusedWithTheFocusOnTheFirstQuestionLine)
{
    Open();
    QTest::keyClicks(Box("Edit1"), "1");
    TypeText(Box("Edit3"), "fine");
    TypeText(Box("Edit10"), "it's");
    Box("Edit10")->setFocus();
    Click(Button("Button1"));
    EXPECT_EQ(Dialogs.Messages, std::vector<std::string>{Sjis("引用符「'」「\"」を入力しないで下さい")});
    EXPECT_EQ(Form3->focusWidget(), Box("Edit3"));
    EXPECT_EQ(Rows(""), 0);

    Retype(Box("Edit10"), "");
    TypeText(Box("Edit5"), Utf8("\"二重\""));
    Click(Button("Button1"));
    EXPECT_EQ(Dialogs.Messages.size(), 2u);
    EXPECT_EQ(Dialogs.Messages.back(), Sjis("引用符「'」「\"」を入力しないで下さい"));
    EXPECT_EQ(Rows(""), 0);

    // The sort number is rebuilt from an integer, so a quote there cannot reach the statement.
    Retype(Box("Edit5"), "");
    QTest::keyClicks(Box("Edit2"), "'");
    Click(Button("Button1"));
    EXPECT_EQ(Dialogs.Messages.back(), Sjis("登録OK"));
    EXPECT_EQ(Row(1)[1], "0");
}

TEST_F(EntryWindow, NumbersBelowOneOrMalformedAreRefused)
{
    Open();
    TypeText(Box("Edit3"), "q");
    for (const char* number : {"0", "-3", "abc", "5 ", "+0"}) {
        Dialogs.Messages.clear();
        Retype(Box("Edit1"), number);
        Box("Edit3")->setFocus();
        Click(Button("Button1"));
        EXPECT_EQ(Dialogs.Messages, std::vector<std::string>{Sjis("登録番号は1以上の整数で入力して下さい")})
            << number;
        EXPECT_EQ(Form3->focusWidget(), Box("Edit1")) << number;
        EXPECT_EQ(Box("Edit1")->text(), number) << "the refused number stays for correcting";
    }
    EXPECT_EQ(Rows(""), 0);

    // A leading blank still reads as the number.
    Retype(Box("Edit1"), " 5");
    Click(Button("Button1"));
    EXPECT_EQ(Dialogs.Messages.back(), Sjis("登録OK"));
    EXPECT_EQ(Rows("N=5"), 1);
}

TEST_F(EntryWindow, BoxesTakeNoMoreBytesThanTheirColumns)
{
    Open();
    QTest::keyClicks(Box("Edit1"), "1234567890");
    EXPECT_EQ(Box("Edit1")->text(), "12345678");
    QTest::keyClicks(Box("Edit2"), "987654321");
    EXPECT_EQ(Box("Edit2")->text(), "98765432");

    const QString sixty(60, 'a');
    for (QLineEdit* box : {Box("Edit3"), Box("Edit4"), Box("Edit5"), Box("Edit6")}) {
        TypeText(box, sixty);
        EXPECT_EQ(box->text(), QString(50, 'a')) << box->objectName().toStdString();
    }
    // Double-byte text: 15 characters make 30 bytes; a 31st byte does not fit.
    for (QLineEdit* box : {Box("Edit7"), Box("Edit8"), Box("Edit9"), Box("Edit10")}) {
        TypeText(box, QString(20, QChar(0x3042)));
        EXPECT_EQ(box->text(), QString(15, QChar(0x3042))) << box->objectName().toStdString();
    }
    Retype(Box("Edit7"), QString(29, 'b') + QChar(0x3042));
    EXPECT_EQ(Box("Edit7")->text(), QString(29, 'b'));

    // A character that Shift-JIS cannot hold is refused.
    Retype(Box("Edit4"), Utf8("笑顔😀です"));
    EXPECT_EQ(Box("Edit4")->text(), Utf8("笑顔です"));

    Click(Button("Button1"));
    ASSERT_EQ(Dialogs.Messages, std::vector<std::string>{Sjis("登録OK")});
    const TextList row = Row(12345678);
    ASSERT_EQ(row.size(), 11u);
    EXPECT_EQ(row[1], "98765432");
    EXPECT_EQ(row[2], std::string(50, 'a'));
    EXPECT_EQ(row[3], Sjis("笑顔です"));
    EXPECT_EQ(row[6], std::string(29, 'b'));
    EXPECT_EQ(row[9], FromQt(QString(15, QChar(0x3042))));
    EXPECT_EQ(row[9].size(), 30u);
}

TEST_F(EntryWindow, EnterRegistersAndEscClosesKeepingTheBoxes)
{
    Open();
    QTest::keyClicks(Box("Edit1"), "4");
    TypeText(Box("Edit6"), "by keyboard");
    QTest::keyClick(Box("Edit6"), Qt::Key_Return);
    EXPECT_EQ(Dialogs.Messages, std::vector<std::string>{Sjis("登録OK")});
    EXPECT_EQ(Rows("N=4"), 1);

    // Enter on a focused button presses that button, not the register button.
    QTest::keyClick(Button("Button2"), Qt::Key_Return);
    EXPECT_TRUE(Box("Edit6")->text().isEmpty());
    EXPECT_EQ(Dialogs.Messages.size(), 1u);

    TypeText(Box("Edit3"), "kept");
    QTest::keyClick(Box("Edit3"), Qt::Key_Escape);
    EXPECT_FALSE(Form3->isVisible());
    Form3->show();
    EXPECT_EQ(Box("Edit3")->text(), "kept");
    EXPECT_EQ(Form3->focusWidget(), Box("Edit1"));
    Click(Button("Button3"));
    EXPECT_FALSE(Form3->isVisible());
    EXPECT_EQ(Rows(""), 1);
}

TEST_F(EntryWindow, WithoutConnectionRegisterIsDisabledAndTheProposalIsOne)
{
    Db().DisconnectDatabase();
    Box("Edit3")->setFocus();
    Form3->show();
    EXPECT_FALSE(Button("Button1")->isEnabled());
    EXPECT_TRUE(Button("Button2")->isEnabled());
    EXPECT_TRUE(Button("Button3")->isEnabled());
    EXPECT_EQ(Form3->focusWidget(), Box("Edit3")) << "the focus is not moved";

    QTest::mouseDClick(Box("Edit1"), Qt::LeftButton);
    EXPECT_EQ(Box("Edit1")->text(), "1");
    TypeText(Box("Edit3"), "q");
    QTest::keyClick(Box("Edit3"), Qt::Key_Return);
    EXPECT_TRUE(Dialogs.Messages.empty()) << "Enter does not press a disabled button";
    Click(Button("Button2"));
    EXPECT_TRUE(Box("Edit1")->text().isEmpty());
    QTest::keyClick(Box("Edit3"), Qt::Key_Escape);
    EXPECT_FALSE(Form3->isVisible());

    // Connected again, the next show enables the button and makes the table.
    Db().ConnectDatabase();
    Form3->show();
    EXPECT_TRUE(Button("Button1")->isEnabled());
    EXPECT_TRUE(Db().TableExists("QUIZQA"));
}

TEST_F(EntryWindow, ConnectionLostAfterShowReportsFailure)
{
    Open();
    QTest::keyClicks(Box("Edit1"), "1");
    TypeText(Box("Edit3"), "q");
    Db().DisconnectDatabase();
    Click(Button("Button1"));
    EXPECT_EQ(Dialogs.Messages, std::vector<std::string>{Sjis("登録失敗")});
}

// A question pasted and refused leaves the four lines empty: register says so, stores nothing.
TEST_F(EntryWindow, NothingIsStoredAfterARefusedPaste)
{
    Open();
    QTest::keyClicks(Box("Edit1"), "4");
    QGuiApplication::clipboard()->setText(Utf8("長い質問です。").repeated(4));
    QTest::keyClick(Box("Edit3"), Qt::Key_V, Qt::ControlModifier);
    QCoreApplication::processEvents();
    Click(Button("Button1"));
    EXPECT_EQ(Dialogs.Messages, (std::vector<std::string>{Sjis("この欄には半角50文字（全角25文字）までしか入力できません"),
                                                          Sjis("質問を入力して下さい")}));
    EXPECT_EQ(Rows(""), 0);
}

}  // namespace
