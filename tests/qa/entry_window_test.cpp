// The Q&A entry window on a real database: typing a question into the boxes and registering
// it, the number proposal, the refusals, the keyboard and the window without a connection.
#include "qa/entry_window.h"

#include "qa/qa_window_fixture.h"

namespace {

class EntryWindow : public QaWindowTest {
protected:
    static Ui::TForm3& C() { return Form3->Controls; }
    static QaBoxes Boxes()
    {
        auto& c = C();
        return {c.Edit1, c.Edit2, c.Edit3, c.Edit4, c.Edit5, c.Edit6, c.Edit7, c.Edit8, c.Edit9, c.Edit10};
    }
    // Opens the window as the main window does, with the table made by its FormShow.
    static void Open()
    {
        Form3->show();
        ASSERT_TRUE(C().Button1->isEnabled());
    }
};

TEST_F(EntryWindow, IsLaidOutAsDesigned)
{
    auto& c = C();
    EXPECT_EQ(Form3->size(), QSize(451, 271));
    EXPECT_EQ(Form3->minimumSize(), Form3->maximumSize());
    EXPECT_FALSE(Form3->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(Form3->windowTitle(), Utf8("Ｑ＆Ａデータ入力"));
    EXPECT_EQ(Form3->palette().color(QPalette::Window), QColor(Qt::white));
    EXPECT_EQ(c.Panel1->palette().color(QPalette::Window), QColor(0xEB, 0xEB, 0xEB));
    EXPECT_TRUE(c.Panel1->autoFillBackground());
    EXPECT_EQ(Form3->font().family(), Utf8("ＭＳ ゴシック"));
    EXPECT_EQ(Form3->font().pixelSize(), 13);

    const std::vector<std::pair<QWidget*, const char*>> captions = {
        {c.Label1, "登録番号"}, {c.Label2, "並替番号"},     {c.Label3, "質問"},
        {c.Label6, "正解答え"}, {c.Label7, "不正解答え"},   {c.Button1, "登録(&S)"},
        {c.Button2, "クリア(&C)"}, {c.Button3, "閉じる(&X)"}};
    for (const auto& [widget, caption] : captions) {
        EXPECT_EQ(widget->property("text").toString(), Utf8(caption)) << widget->objectName().toStdString();
        if (widget->objectName().startsWith("Label")) {
            EXPECT_EQ(widget->parentWidget(), c.Panel1);
        } else {
            EXPECT_GT(widget->y(), c.Panel1->geometry().bottom()) << "buttons lie below the panel";
        }
    }
    for (QLineEdit* box : Boxes()) {
        EXPECT_EQ(box->parentWidget(), c.Panel1);
        EXPECT_TRUE(box->text().isEmpty());
        EXPECT_TRUE(c.Panel1->rect().contains(box->geometry())) << box->objectName().toStdString();
    }
    EXPECT_TRUE(c.Button1->isDefault());

    // The input method is off only for the two number boxes.
    EXPECT_FALSE(c.Edit1->testAttribute(Qt::WA_InputMethodEnabled));
    EXPECT_FALSE(c.Edit2->testAttribute(Qt::WA_InputMethodEnabled));
    EXPECT_TRUE(c.Edit3->testAttribute(Qt::WA_InputMethodEnabled));

    const std::vector<QWidget*> order = {c.Edit1, c.Edit2, c.Edit3, c.Edit4, c.Edit5, c.Edit6, c.Edit7,
                                         c.Edit8, c.Edit9, c.Edit10, c.Button1, c.Button2, c.Button3, c.Edit1};
    for (size_t i = 0; i + 1 < order.size(); ++i)
        EXPECT_EQ(NextTabStop(order[i]), order[i + 1]) << order[i]->objectName().toStdString();
}

TEST_F(EntryWindow, ShowCreatesTheMissingTableAndFocusesTheNumber)
{
    ASSERT_FALSE(Db().TableExists("QUIZQA"));
    Open();
    EXPECT_TRUE(Db().TableExists("QUIZQA"));
    EXPECT_EQ(Form3->focusWidget(), C().Edit1);
    // A second show finds the table and changes nothing in it.
    AddRow("1,0,'q',NULL,NULL,NULL,'a',NULL,NULL,NULL,NULL");
    Form3->close();
    Form3->show();
    EXPECT_EQ(Rows(""), 1);
    EXPECT_TRUE(C().Button1->isEnabled());
}

TEST_F(EntryWindow, StoresTheTypedQuestionAsOneRow)
{
    Open();
    auto& c = C();
    QTest::keyClicks(c.Edit1, "12");
    QTest::keyClicks(c.Edit2, "34");
    TypeText(c.Edit3, Utf8("日本一高い山は"));
    TypeText(c.Edit4, Utf8("どれでしょう？"));
    TypeText(c.Edit7, Utf8("富士山"));
    TypeText(c.Edit8, Utf8("北岳"));
    TypeText(c.Edit9, Utf8("奥穂高岳"));
    TypeText(c.Edit10, Utf8("間ノ岳"));
    Click(c.Button1);

    EXPECT_EQ(Dialogs.Messages, std::vector<std::string>{Sjis("登録OK")});
    EXPECT_EQ(Row(12), (TextList{"12", "34", Sjis("日本一高い山は"), Sjis("どれでしょう？"), "", "", Sjis("富士山"),
                                 Sjis("北岳"), Sjis("奥穂高岳"), Sjis("間ノ岳"), ""}));
    EXPECT_EQ(Rows("N=12 AND Q3 IS NULL AND Q4 IS NULL AND ANN IS NULL"), 1);
    // The boxes keep what was registered.
    EXPECT_EQ(c.Edit1->text(), "12");
    EXPECT_EQ(c.Edit3->text(), Utf8("日本一高い山は"));
}

TEST_F(EntryWindow, EmptyNumberProposesTheNextAndStoresUnderItInTheSamePress)
{
    Open();
    AddRow("7,0,'seven',NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL");
    auto& c = C();
    TypeText(c.Edit3, "eight");
    Click(c.Button1);
    EXPECT_EQ(c.Edit1->text(), "8");
    EXPECT_EQ(Dialogs.Messages, std::vector<std::string>{Sjis("登録OK")});
    ASSERT_EQ(Row(8).size(), 11u);
    EXPECT_EQ(Row(8)[2], "eight");

    // Blanks alone count as empty too.
    Retype(c.Edit1, "   ");
    Retype(c.Edit3, "nine");
    Click(c.Button1);
    EXPECT_EQ(c.Edit1->text(), "9");
    ASSERT_EQ(Row(9).size(), 11u);
    EXPECT_EQ(Row(9)[2], "nine");
    EXPECT_EQ(Rows(""), 3);
}

TEST_F(EntryWindow, DoubleClickProposesAndClearEmptiesEveryBox)
{
    Open();
    auto& c = C();
    QTest::mouseDClick(c.Edit1, Qt::LeftButton);
    EXPECT_EQ(c.Edit1->text(), "1") << "an empty table proposes 1";

    AddRow("41,0,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL");
    AddRow("5,0,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL");
    QTest::mouseDClick(c.Edit1, Qt::LeftButton);
    EXPECT_EQ(c.Edit1->text(), "42");
    EXPECT_EQ(Rows(""), 2) << "a proposal reserves nothing";

    for (QLineEdit* box : Boxes()) TypeText(box, "7");
    Click(c.Button2);
    for (QLineEdit* box : Boxes()) EXPECT_TRUE(box->text().isEmpty()) << box->objectName().toStdString();
    EXPECT_TRUE(Dialogs.Messages.empty());
}

TEST_F(EntryWindow, NoNumberIsProposedPastTheLargestInteger)
{
    Open();
    AddRow("2147483647,0,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL");
    auto& c = C();
    TypeText(c.Edit3, "one more");
    Click(c.Button1);
    // The proposal does not wrap round to a negative number: it is shown and then refused.
    EXPECT_EQ(c.Edit1->text(), "2147483648");
    EXPECT_EQ(Dialogs.Messages, std::vector<std::string>{Sjis("登録番号は1以上の整数で入力して下さい")});
    EXPECT_EQ(Rows(""), 1);
}

TEST_F(EntryWindow, TheSameNumberTwiceIsStoredOnce)
{
    Open();
    auto& c = C();
    QTest::keyClicks(c.Edit1, "3");
    TypeText(c.Edit3, "first");
    Click(c.Button1);
    Retype(c.Edit3, "second");
    Click(c.Button1);
    EXPECT_EQ(Dialogs.Messages, (std::vector<std::string>{Sjis("登録OK"), Sjis("登録失敗")}));
    EXPECT_EQ(Rows(""), 1);
    EXPECT_EQ(Row(3)[2], "first");
    EXPECT_EQ(c.Edit1->text(), "3");
    EXPECT_EQ(c.Edit3->text(), "second");
}

TEST_F(EntryWindow, EmptyBoxesStoreNullAndBlanksStayBlanks)
{
    Open();
    auto& c = C();
    QTest::keyClicks(c.Edit1, "1");
    QTest::keyClicks(c.Edit2, "1a");  // a malformed sort number reads as 0
    TypeText(c.Edit3, Utf8(" 前後に空白 "));
    TypeText(c.Edit5, "  ");
    TypeText(c.Edit8, Utf8("　"));  // one full-width blank
    Click(c.Button1);
    ASSERT_EQ(Dialogs.Messages, std::vector<std::string>{Sjis("登録OK")});
    EXPECT_EQ(Row(1), (TextList{"1", "0", Sjis(" 前後に空白 "), "", "  ", "", "", Sjis("　"), "", "", ""}));
    EXPECT_EQ(Rows("N=1 AND Q2 IS NULL AND Q4 IS NULL AND ANS IS NULL AND AN2 IS NULL AND AN3 IS NULL"), 1);
    EXPECT_EQ(Rows("N=1 AND Q3 IS NOT NULL AND AN1 IS NOT NULL"), 1);

    // An empty sort number is 0 as well.
    Retype(c.Edit1, "2");
    Retype(c.Edit2, "");
    Click(c.Button1);
    EXPECT_EQ(Row(2)[1], "0");
}

TEST_F(EntryWindow, QuotesAreRefusedWithTheFocusOnTheFirstQuestionLine)
{
    Open();
    auto& c = C();
    QTest::keyClicks(c.Edit1, "1");
    TypeText(c.Edit3, "fine");
    TypeText(c.Edit10, "it's");
    c.Edit10->setFocus();
    Click(c.Button1);
    EXPECT_EQ(Dialogs.Messages, std::vector<std::string>{Sjis("引用符「'」「\"」を入力しないで下さい")});
    EXPECT_EQ(Form3->focusWidget(), c.Edit3);
    EXPECT_EQ(Rows(""), 0);

    Retype(c.Edit10, "");
    TypeText(c.Edit5, Utf8("\"二重\""));
    Click(c.Button1);
    EXPECT_EQ(Dialogs.Messages.size(), 2u);
    EXPECT_EQ(Dialogs.Messages.back(), Sjis("引用符「'」「\"」を入力しないで下さい"));
    EXPECT_EQ(Rows(""), 0);

    // The sort number is rebuilt from an integer, so a quote there cannot reach the statement.
    Retype(c.Edit5, "");
    QTest::keyClicks(c.Edit2, "'");
    Click(c.Button1);
    EXPECT_EQ(Dialogs.Messages.back(), Sjis("登録OK"));
    EXPECT_EQ(Row(1)[1], "0");
}

TEST_F(EntryWindow, NumbersBelowOneOrMalformedAreRefused)
{
    Open();
    auto& c = C();
    TypeText(c.Edit3, "q");
    for (const char* number : {"0", "-3", "abc", "5 ", "+0"}) {
        Dialogs.Messages.clear();
        Retype(c.Edit1, number);
        c.Edit3->setFocus();
        Click(c.Button1);
        EXPECT_EQ(Dialogs.Messages, std::vector<std::string>{Sjis("登録番号は1以上の整数で入力して下さい")})
            << number;
        EXPECT_EQ(Form3->focusWidget(), c.Edit1) << number;
        EXPECT_EQ(c.Edit1->text(), number) << "the refused number stays for correcting";
    }
    EXPECT_EQ(Rows(""), 0);

    // A leading blank still reads as the number.
    Retype(c.Edit1, " 5");
    Click(c.Button1);
    EXPECT_EQ(Dialogs.Messages.back(), Sjis("登録OK"));
    EXPECT_EQ(Rows("N=5"), 1);
}

TEST_F(EntryWindow, BoxesTakeNoMoreBytesThanTheirColumns)
{
    Open();
    auto& c = C();
    QTest::keyClicks(c.Edit1, "1234567890");
    EXPECT_EQ(c.Edit1->text(), "12345678");
    QTest::keyClicks(c.Edit2, "987654321");
    EXPECT_EQ(c.Edit2->text(), "98765432");

    const QString sixty(60, 'a');
    for (QLineEdit* box : {c.Edit3, c.Edit4, c.Edit5, c.Edit6}) {
        TypeText(box, sixty);
        EXPECT_EQ(box->text(), QString(50, 'a')) << box->objectName().toStdString();
    }
    // Double-byte text: 15 characters make 30 bytes; a 31st byte does not fit.
    for (QLineEdit* box : {c.Edit7, c.Edit8, c.Edit9, c.Edit10}) {
        TypeText(box, QString(20, QChar(0x3042)));
        EXPECT_EQ(box->text(), QString(15, QChar(0x3042))) << box->objectName().toStdString();
    }
    Retype(c.Edit7, QString(29, 'b') + QChar(0x3042));
    EXPECT_EQ(c.Edit7->text(), QString(29, 'b'));

    // A character that Shift-JIS cannot hold is refused.
    Retype(c.Edit4, Utf8("笑顔😀です"));
    EXPECT_EQ(c.Edit4->text(), Utf8("笑顔です"));

    Click(c.Button1);
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
    auto& c = C();
    QTest::keyClicks(c.Edit1, "4");
    TypeText(c.Edit6, "by keyboard");
    QTest::keyClick(c.Edit6, Qt::Key_Return);
    EXPECT_EQ(Dialogs.Messages, std::vector<std::string>{Sjis("登録OK")});
    EXPECT_EQ(Rows("N=4"), 1);

    // Enter on a focused button presses that button, not the register button.
    QTest::keyClick(c.Button2, Qt::Key_Return);
    EXPECT_TRUE(c.Edit6->text().isEmpty());
    EXPECT_EQ(Dialogs.Messages.size(), 1u);

    TypeText(c.Edit3, "kept");
    QTest::keyClick(c.Edit3, Qt::Key_Escape);
    EXPECT_FALSE(Form3->isVisible());
    Form3->show();
    EXPECT_EQ(c.Edit3->text(), "kept");
    EXPECT_EQ(Form3->focusWidget(), c.Edit1);
    Click(c.Button3);
    EXPECT_FALSE(Form3->isVisible());
    EXPECT_EQ(Rows(""), 1);
}

TEST_F(EntryWindow, WithoutConnectionRegisterIsDisabledAndTheProposalIsOne)
{
    Db().DisconnectDatabase();
    auto& c = C();
    c.Edit3->setFocus();
    Form3->show();
    EXPECT_FALSE(c.Button1->isEnabled());
    EXPECT_TRUE(c.Button2->isEnabled());
    EXPECT_TRUE(c.Button3->isEnabled());
    EXPECT_EQ(Form3->focusWidget(), c.Edit3) << "the focus is not moved";

    QTest::mouseDClick(c.Edit1, Qt::LeftButton);
    EXPECT_EQ(c.Edit1->text(), "1");
    TypeText(c.Edit3, "q");
    QTest::keyClick(c.Edit3, Qt::Key_Return);
    EXPECT_TRUE(Dialogs.Messages.empty()) << "Enter does not press a disabled button";
    Click(c.Button2);
    EXPECT_TRUE(c.Edit1->text().isEmpty());
    QTest::keyClick(c.Edit3, Qt::Key_Escape);
    EXPECT_FALSE(Form3->isVisible());

    // Connected again, the next show enables the button and makes the table.
    Db().ConnectDatabase();
    Form3->show();
    EXPECT_TRUE(c.Button1->isEnabled());
    EXPECT_TRUE(Db().TableExists("QUIZQA"));
}

TEST_F(EntryWindow, ConnectionLostAfterShowReportsFailure)
{
    Open();
    auto& c = C();
    QTest::keyClicks(c.Edit1, "1");
    Db().DisconnectDatabase();
    Click(c.Button1);
    EXPECT_EQ(Dialogs.Messages, std::vector<std::string>{Sjis("登録失敗")});
}

}  // namespace
