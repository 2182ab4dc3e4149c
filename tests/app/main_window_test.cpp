#include "app/main_window.h"
#include "app/program.h"
#include "app/sjis_text.h"
#include "app/unitv.h"
#include "game/play_window.h"
#include "player/settings_window.h"
#include "qa/edit_window.h"
#include "qa/entry_window.h"
#include "qa/list_window.h"

#include "support/recording_dialogs.h"
#include "support/temp_folder.h"

#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <stdexcept>

namespace {

// The next widget that the Tab key would reach.
QWidget* NextTabStop(QWidget* widget)
{
    QWidget* next = widget->nextInFocusChain();
    while (next != widget && !(next->focusPolicy() & Qt::TabFocus)) next = next->nextInFocusChain();
    return next;
}

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        CreateWindows();
        // Every start in a test has its own settings file; this one names no database at all.
        Folder.Write("games.dat", "\r\n\r\n0\r\n\r\n\r\n");
        Form1->SetExecutablePath(Folder.File("quizgame"));
    }
    void TearDown() override { DestroyWindows(); }

    TempFolder Folder;
    RecordingDialogs Dialogs;
};

TEST_F(MainWindow, WindowsAreCreatedInOrderWithTheirCaptions)
{
    // The main window's children keep the order in which they were made.
    std::vector<QWidget*> windows = {Form1};
    for (QWidget* child : Form1->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (child->isWindow()) windows.push_back(child);
    const std::vector<QWidget*> expected = {Form1, Form4, Form2, Form3, Form5, FormPlay};
    EXPECT_EQ(windows, expected);
    EXPECT_EQ(Form1->windowTitle(), QString::fromUtf8("クイズゲーム"));
    EXPECT_EQ(Form4->windowTitle(), QString::fromUtf8("Ｑ＆Ａデータ編集"));
    EXPECT_EQ(Form2->windowTitle(), QString::fromUtf8("データベース設定"));
    EXPECT_EQ(Form3->windowTitle(), QString::fromUtf8("Ｑ＆Ａデータ入力"));
    EXPECT_EQ(Form5->windowTitle(), QString::fromUtf8("データ一覧表示"));
    EXPECT_EQ(FormPlay->windowTitle(), QString::fromUtf8("ゲームプレイ"));
    for (QWidget* w : windows) EXPECT_FALSE(w->isVisible()) << w->objectName().toStdString();
}

TEST_F(MainWindow, ControlsStandWhereDesigned)
{
    const auto& c = Form1->Controls;
    EXPECT_EQ(Form1->size(), QSize(378, 240));
    EXPECT_EQ(Form1->minimumSize(), Form1->maximumSize()) << "the border is fixed";
    EXPECT_FALSE(Form1->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(Form1->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_EQ(Form1->palette().color(QPalette::Window), QColor(Qt::white));
    EXPECT_EQ(Form1->font().pixelSize(), 13);
    EXPECT_EQ(Form1->font().family(), QString::fromUtf8("ＭＳ ゴシック"));

    const std::vector<std::tuple<QWidget*, QRect, const char*>> placed = {
        {c.PageControl1, {0, 0, 378, 193}, nullptr},
        {c.ButtonG, {104, 120, 161, 41}, "ゲーム開始(&G)"},
        {c.Button1, {8, 8, 169, 33}, "(&1) データベース設定"},
        {c.Button2, {8, 48, 169, 33}, "(&2) Ｑ＆Ａデータ入力"},
        {c.Button3, {8, 88, 169, 33}, "(&3) Ｑ＆Ａデータ編集"},
        {c.Button4, {8, 128, 169, 33}, "(&4) Ｑ＆Ａデータ一覧　"},
        {c.Button5, {192, 8, 169, 33}, "(&5) Ｑ＆Ａデータ書出し"},
        {c.Button6, {192, 48, 169, 33}, "(&6) Ｑ＆Ａデータ読込み"},
        {c.Button7, {192, 88, 169, 33}, "(&7) メンバテーブル削除"},
        {c.Button0, {200, 200, 169, 33}, "(&X) 　　終　了　　　　"},
        {c.ComboBox1, {16, 208, 97, 21}, nullptr},
    };
    for (const auto& [widget, rect, caption] : placed) {
        EXPECT_EQ(widget->geometry(), rect) << widget->objectName().toStdString();
        if (caption) {
            EXPECT_EQ(static_cast<QPushButton*>(widget)->text(), QString::fromUtf8(caption));
        }
    }
    EXPECT_EQ(c.PageControl1->tabText(0), QString::fromUtf8("プレイ(&P)"));
    EXPECT_EQ(c.PageControl1->tabText(1), QString::fromUtf8("設定(&S)"));
    EXPECT_EQ(c.PageControl1->currentWidget(), c.TabSheet1);
    EXPECT_EQ(c.Memo1->parentWidget(), c.TabSheet1);
    EXPECT_EQ(c.Button7->parentWidget(), c.TabSheet2);
    EXPECT_EQ(c.Button0->parentWidget(), Form1);
    EXPECT_TRUE(c.ComboBox1->isHidden());
    EXPECT_EQ(c.ComboBox1->focusPolicy(), Qt::NoFocus);

    // The tab chain of the settings page runs 1, 2, 3, 6, 5, 4, 7, then the exit button.
    const std::vector<QWidget*> chain = {c.Button1, c.Button2, c.Button3, c.Button6, c.Button5, c.Button4, c.Button7, c.Button0};
    for (size_t i = 0; i + 1 < chain.size(); ++i)
        EXPECT_EQ(NextTabStop(chain[i]), chain[i + 1]) << chain[i]->objectName().toStdString();
    EXPECT_EQ(NextTabStop(c.Memo1), c.ButtonG);
    EXPECT_EQ(NextTabStop(c.ButtonG), c.Button1);
}

TEST_F(MainWindow, InstructionsAreTheElevenLinesByteForByte)
{
    const QStringList lines = Form1->Controls.Memo1->toPlainText().split('\n');
    ASSERT_EQ(lines.size(), 11);
    const std::vector<std::string> expected = {
        "\x82\xB1\x82\xCC\x83\x51\x81\x5B\x83\x80\x82\xCD\x8F\x6F\x91\xE8\x82\xB3\x82\xEA\x82\xE9\x8E\xBF\x96\xE2"
        "\x82\xC9\x91\xCE\x82\xB5\x82\x53\x82\xC2\x82\xCC\x91\x49\x91\xF0\x8E\x88\x82\xCC\x82\xA4\x82\xBF",
        Sjis("正解と思う項目を選択して早く正解した人が勝つという"),
        "C/S\x8C\x5E" "DB" + Sjis("を利用したマルチユーザー用ゲームです。"),
        Sjis("質問は10問で最高点の人が＋1ポイントとなります。"),
        Sjis("（複数人になる場合は(+1/人数)となります）"),
        Sjis("一度指定した答えを変更する事は出来ません。"),
        Sjis("同梱のSample.txt にＱ＆Ａ例を少し書いてありますので"),
        Sjis("設定｜Ｑ＆Ａデータ読込み") + "\x81\x40" + Sjis("をしてみて下さい。"),
        "\x81\x40",
        Sjis("どの使用者が一番早かったのか、については、"),
        "DB" + Sjis("依存となります") + "\x81\x9A",
    };
    for (int i = 0; i < 11; ++i) EXPECT_EQ(FromQt(lines[i]), expected[i]) << "line " << i + 1;
}

TEST_F(MainWindow, StartWithoutDataFolderStaysDisconnectedAndSaysSoOnStart)
{
    Form1->show();
    EXPECT_EQ(AppSettings.DataFolder, "");
    EXPECT_EQ(AppDir, Folder.Path());
    Form1->Controls.ButtonG->click();
    ASSERT_EQ(Dialogs.Messages.size(), 1u);
    EXPECT_EQ(Dialogs.Messages[0], Sjis("データベースに接続されていません"));
    EXPECT_FALSE(FormPlay->isVisible());
}

TEST_F(MainWindow, MemberTableButtonAsksFirstAndThenDoesNothingWithoutDatabase)
{
    Form1->show();
    const std::string question = Sjis("本ゲームを強制終了する等をしてメンバーテーブルが残ってしまった場合\r\n"
                                      "ゲームプレイに支障をきたすのでそれを削除します。\r\n"
                                      "ゲームプレイ中には行わないで下さい。　よろしいですか？");
    Dialogs.ConfirmAnswers = {false};
    Form1->Controls.Button7->click();
    Dialogs.ConfirmAnswers = {true};
    Form1->Controls.Button7->click();
    EXPECT_EQ(Dialogs.Confirmations, (std::vector<std::string>{question, question}));
    EXPECT_TRUE(Dialogs.Messages.empty());
}

TEST_F(MainWindow, ClosingWritesBothFilesBesideTheExecutable)
{
    Form1->show();
    Form1->move(300, 200);
    Form1->Controls.Button0->click();
    EXPECT_FALSE(Form1->isVisible());
    EXPECT_EQ(Folder.Read("games.dat"), "\r\n\r\n0\r\n\r\n\r\n");
    const std::string layout = Folder.Read("quizgame.dat");
    EXPECT_EQ(std::count(layout.begin(), layout.end(), '\n'), 24);
    EXPECT_EQ(layout.substr(0, 10), "300\r\n200\r\n");
}

TEST_F(MainWindow, QaButtonsShowTheirWindowsModeless)
{
    Form1->show();
    Form1->Controls.Button2->click();
    Form1->Controls.Button3->click();
    Form1->Controls.Button4->click();
    EXPECT_TRUE(Form3->isVisible());
    EXPECT_TRUE(Form4->isVisible());
    EXPECT_TRUE(Form5->isVisible());
    EXPECT_FALSE(Form3->isModal());

    // The settings button hides them before the modal settings window runs.
    bool sawHidden = false;
    QTimer::singleShot(0, [&] {
        sawHidden = !Form3->isVisible() && !Form4->isVisible() && !Form5->isVisible() && Form2->isVisible();
        Form2->reject();
    });
    Form1->Controls.Button1->click();
    EXPECT_TRUE(sawHidden);
    EXPECT_FALSE(Form2->isVisible());
}

TEST_F(MainWindow, MnemonicSwitchesToTheSettingsPage)
{
    Form1->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Form1));
    QTest::keyClick(Form1, Qt::Key_S, Qt::AltModifier);
    EXPECT_EQ(Form1->Controls.PageControl1->currentWidget(), Form1->Controls.TabSheet2);
}

// An error escaping a handler reaches the application's handler, which shows its text.
TEST_F(MainWindow, EscapingErrorIsShownAndTheProgramGoesOn)
{
    QObject target;
    QObject::connect(&target, &QObject::destroyed, [] {});
    QTimer::singleShot(0, &target, [] { throw std::runtime_error("connection lost"); });
    QTest::qWait(20);
    ASSERT_EQ(Dialogs.Messages.size(), 1u);
    EXPECT_EQ(Dialogs.Messages[0], "connection lost");
}

}  // namespace
