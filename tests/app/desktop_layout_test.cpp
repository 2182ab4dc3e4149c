// The main window on a real desktop: run by ctest both offscreen and through
// scripts/with-desktop (Xvfb with the openbox window manager), where windows get frames. Five
// starts and closes, with windows moved and resized and a column dragged in between, leave
// every value of the file as it was, and every window's frame where the file says. A layout
// from a larger screen is fitted into this one (also run on a 1024 x 768 desktop, at 100 % and
// 200 % scaling).
#include "app/main_window.h"
#include "app/program.h"
#include "qa/edit_window.h"
#include "qa/entry_window.h"
#include "qa/list_window.h"

#include "support/controls.h"
#include "support/temp_folder.h"

#include <QApplication>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<int> Values(const std::string& text)
{
    std::vector<int> values;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) values.push_back(std::stoi(line));
    return values;
}

std::string FileText(const std::vector<int>& values)
{
    std::string text;
    for (int v : values) text += std::to_string(v) + "\r\n";
    return text;
}

// Shows a window and waits until it is on screen and, where a window manager runs, framed.
void ShowFramed(QWidget* window)
{
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    // Offscreen windows get a frame of the platform's own at once.
    ASSERT_TRUE(QTest::qWaitFor([window] { return window->frameGeometry() != window->geometry(); }, 3000));
    QTest::qWait(100);  // the window manager may still settle its placement
}

class DesktopLayout : public ::testing::Test {
protected:
    void SetUp() override
    {
        // No data folder: the program starts unconnected and touches no database.
        Exe.Write("games.dat", "\r\n\r\n0\r\n\r\n\r\n");
    }
    void TearDown() override { DestroyWindows(); }

    // One run of the program: start, show the modeless windows, act, close.
    void Run(const std::function<void()>& act = {})
    {
        CreateWindows();
        Form1->SetExecutablePath(Exe.File("quizgame"));
        ShowFramed(Form1);
        for (QWidget* window : std::vector<QWidget*>{Form3, Form4, Form5}) ShowFramed(window);
        const std::vector<int> file = Values(Exe.Read("quizgame.dat"));
        EXPECT_EQ(Form1->frameGeometry().topLeft(), QPoint(file[0], file[1]));
        EXPECT_EQ(Form3->frameGeometry().topLeft(), QPoint(file[4], file[5]));
        EXPECT_EQ(Form4->frameGeometry().topLeft(), QPoint(file[6], file[7]));
        EXPECT_EQ(Form5->frameGeometry(), QRect(file[8], file[9], file[10], file[11]));
        if (act) act();
        Form1->close();
        DestroyWindows();
    }

    TempFolder Exe;
};

TEST_F(DesktopLayout, FiveStartsLeaveEveryWindowWhereItWas)
{
    // Every window lies inside the offscreen platform's 800 x 800 screen, so that none is moved in.
    std::vector<int> layout = {300, 200, 400, 150, 300, 160, 310, 170, 60, 380, 700, 400,
                               60,  70,  80,  90,  100, 110, 120, 130, 140, 150, 220, 230};
    Exe.Write("quizgame.dat", FileText(layout));
    Run([] {
        // As the user does: drag windows by their frames, resize the list, drag a column.
        Form1->move(320, 210);
        Form5->move(50, 390);
        Form5->resize(Form5->width() + 30, Form5->height() - 20);
        Form5->SetColumnWidth(3, 95);
        QTest::qWait(200);
    });
    layout[0] = 320, layout[1] = 210, layout[8] = 50, layout[9] = 390;
    layout[10] = 730, layout[11] = 380, layout[15] = 95;
    EXPECT_EQ(Values(Exe.Read("quizgame.dat")), layout);

    for (int start = 2; start <= 5; ++start) {
        SCOPED_TRACE("start " + std::to_string(start));
        Run();
        EXPECT_EQ(Values(Exe.Read("quizgame.dat")), layout);
    }
}

// A layout from a larger screen: the main window partly off this one, the entry window wholly,
// the edit window inside, the list window larger. Each lands inside the available area (at
// its top left when larger), the edit window where the file says; the file keeps their places.
TEST_F(DesktopLayout, WindowsFitTheScreenTheyLandOn)
{
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    const QPoint inside = area.topLeft() + QPoint(10, 20);
    std::vector<int> layout(24, 80);
    for (const auto& [line, place] : {std::pair{0, area.bottomRight() - QPoint(100, 100)},
                                      {4, QPoint(area.right() + 300, 10)}, {6, inside}, {8, inside}})
        layout[line] = place.x(), layout[line + 1] = place.y();
    layout[10] = area.width() + 200, layout[11] = area.height() + 100;
    Exe.Write("quizgame.dat", FileText(layout));
    CreateWindows();
    Form1->SetExecutablePath(Exe.File("quizgame"));
    std::vector<int> shown;
    for (QWidget* window : std::vector<QWidget*>{Form1, Form3, Form4, Form5}) {
        ShowFramed(window);
        const QRect frame = window->frameGeometry();
        EXPECT_TRUE(area.contains(frame) || frame.topLeft() == area.topLeft()) << frame.x() << "," << frame.y();
        shown.insert(shown.end(), {frame.x(), frame.y()});
    }
    EXPECT_EQ(Form4->frameGeometry().topLeft(), inside);
    EXPECT_EQ(Form5->OuterSize(), Form5->OuterSize().boundedTo(area.size()));
    Form1->close();
    const std::vector<int> saved = Values(Exe.Read("quizgame.dat"));
    EXPECT_EQ((std::vector<int>{saved[0], saved[1], saved[4], saved[5], saved[6], saved[7], saved[8], saved[9]}), shown);
}

TEST_F(DesktopLayout, TabLeavesTheInstructionsForTheButtons)
{
    CreateWindows();
    Form1->SetExecutablePath(Exe.File("quizgame"));
    ShowFramed(Form1);
    Form1->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Form1));
    auto* memo = Control<QPlainTextEdit>(Form1, "Memo1");
    memo->setFocus();
    const QString text = memo->toPlainText();
    QTest::keyClick(memo, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), Control<QPushButton>(Form1, "ButtonG"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), Control<QPushButton>(Form1, "Button0"));
    EXPECT_EQ(memo->toPlainText(), text);
}

}  // namespace
