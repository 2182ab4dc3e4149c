#include "app/main_window.h"
#include "app/program.h"
#include "app/sjis_text.h"
#include "app/unitv.h"
#include "game/play_window.h"
#include "player/settings_window.h"
#include "qa/edit_window.h"
#include "qa/entry_window.h"
#include "qa/list_window.h"

#include "support/controls.h"
#include "support/recording_dialogs.h"
#include "support/temp_folder.h"

#include <QComboBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <stdexcept>

namespace {

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

    static QPushButton* Button(const char* name) { return Control<QPushButton>(Form1, name); }

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

TEST_F(MainWindow, ControlsCarryTheirCaptionsAndTabOrder)
{
    EXPECT_EQ(Form1->minimumSize(), Form1->maximumSize()) << "the border is fixed";
    EXPECT_FALSE(Form1->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(Form1->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_EQ(Form1->palette().color(QPalette::Window), QColor(Qt::white));
    EXPECT_EQ(Form1->font().pixelSize(), 13);
    EXPECT_EQ(Form1->font().family(), QString::fromUtf8("ＭＳ ゴシック"));

    // Each button's caption and the page it stands on; the exit button stands under both.
    const std::vector<std::tuple<const char*, const char*, const char*>> buttons = {
        {"ButtonG", "ゲーム開始(&G)", "TabSheet1"},          {"Button1", "(&1) データベース設定", "TabSheet2"},
        {"Button2", "(&2) Ｑ＆Ａデータ入力", "TabSheet2"},   {"Button3", "(&3) Ｑ＆Ａデータ編集", "TabSheet2"},
        {"Button4", "(&4) Ｑ＆Ａデータ一覧　", "TabSheet2"}, {"Button5", "(&5) Ｑ＆Ａデータ書出し", "TabSheet2"},
        {"Button6", "(&6) Ｑ＆Ａデータ読込み", "TabSheet2"}, {"Button7", "(&7) メンバテーブル削除", "TabSheet2"},
        {"Button0", "(&X) 　　終　了　　　　", nullptr}};
    for (const auto& [name, caption, page] : buttons) {
        EXPECT_EQ(Button(name)->text(), QString::fromUtf8(caption)) << name;
        EXPECT_EQ(Button(name)->parentWidget(), page ? Control<QWidget>(Form1, page) : Form1) << name;
    }
    EXPECT_EQ(Control<QPlainTextEdit>(Form1, "Memo1")->parentWidget(), Control<QWidget>(Form1, "TabSheet1"));
    auto* pages = Control<QTabWidget>(Form1, "PageControl1");
    EXPECT_EQ(pages->tabText(0), QString::fromUtf8("プレイ(&P)"));
    EXPECT_EQ(pages->tabText(1), QString::fromUtf8("設定(&S)"));
    EXPECT_EQ(pages->currentWidget(), Control<QWidget>(Form1, "TabSheet1"));
    auto* scratch = Control<QComboBox>(Form1, "ComboBox1");
    EXPECT_TRUE(scratch->isHidden());
    EXPECT_EQ(scratch->focusPolicy(), Qt::NoFocus);

    // The tab chain runs from the instructions to the start button, then through the settings
    // page 1, 2, 3, 6, 5, 4, 7, then the exit button.
    ExpectTabChain(Form1, {"Memo1", "ButtonG", "Button1", "Button2", "Button3", "Button6", "Button5", "Button4",
                           "Button7", "Button0"});
}

TEST_F(MainWindow, InstructionsAreTheElevenLinesByteForByte)
{
    const QStringList lines = Control<QPlainTextEdit>(Form1, "Memo1")->toPlainText().split('\n');
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
    Button("ButtonG")->click();
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
    Button("Button7")->click();
    Dialogs.ConfirmAnswers = {true};
    Button("Button7")->click();
    EXPECT_EQ(Dialogs.Confirmations, (std::vector<std::string>{question, question}));
    EXPECT_TRUE(Dialogs.Messages.empty());
}

TEST_F(MainWindow, ClosingWritesBothFilesBesideTheExecutable)
{
    Form1->show();
    Form1->move(300, 200);
    Button("Button0")->click();
    EXPECT_FALSE(Form1->isVisible());
    EXPECT_EQ(Folder.Read("games.dat"), "\r\n\r\n0\r\n\r\n\r\n");
    const std::string layout = Folder.Read("quizgame.dat");
    EXPECT_EQ(std::count(layout.begin(), layout.end(), '\n'), 24);
    EXPECT_EQ(layout.substr(0, 10), "300\r\n200\r\n");
}

TEST_F(MainWindow, QaButtonsShowTheirWindowsModeless)
{
    Form1->show();
    Button("Button2")->click();
    Button("Button3")->click();
    Button("Button4")->click();
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
    Button("Button1")->click();
    EXPECT_TRUE(sawHidden);
    EXPECT_FALSE(Form2->isVisible());
}

TEST_F(MainWindow, MnemonicSwitchesToTheSettingsPage)
{
    Form1->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Form1));
    QTest::keyClick(Form1, Qt::Key_S, Qt::AltModifier);
    EXPECT_EQ(Control<QTabWidget>(Form1, "PageControl1")->currentWidget(), Control<QWidget>(Form1, "TabSheet2"));
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
