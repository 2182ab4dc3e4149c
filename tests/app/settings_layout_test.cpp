#include "app/main_window.h"
#include "app/program.h"
#include "app/unitv.h"
#include "game/play_window.h"
#include "player/settings_window.h"
#include "qa/edit_window.h"
#include "qa/entry_window.h"
#include "qa/list_window.h"

#include "support/temp_folder.h"

#include <QTableWidget>
#include <gtest/gtest.h>

namespace {

class SettingsFile : public ::testing::Test {
protected:
    void SetUp() override { CreateWindows(); }
    void TearDown() override { DestroyWindows(); }

    void Load(const std::string& bytes)
    {
        Folder.Write("games.dat", bytes);
        Form1->LoadSettings(Folder.File("games.dat"));
    }

    TempFolder Folder;
};

TEST_F(SettingsFile, NoFileGivesTheDefaults)
{
    AppSettings = {"x", "y", 5, "z", "w"};
    Form1->LoadSettings(Folder.File("games.dat"));
    EXPECT_EQ(AppSettings.ServerName, "127.0.0.1:");
    EXPECT_EQ(AppSettings.DataFolder, "C:\\data\\");
    EXPECT_EQ(AppSettings.PlayerNo, 0);
    EXPECT_EQ(AppSettings.PlayerName, "");
    EXPECT_EQ(AppSettings.PlayerPassword, "");
}

TEST_F(SettingsFile, EmptyFileOverwritesTheDefaultsWithEmptyFields)
{
    Load("");
    EXPECT_EQ(AppSettings.ServerName, "");
    EXPECT_EQ(AppSettings.DataFolder, "");
    EXPECT_EQ(AppSettings.PlayerNo, 0);
}

TEST_F(SettingsFile, TwoLineFileLeavesThePlayerEmpty)
{
    AppSettings.PlayerName = "old";
    Load("srv:\r\n/data/\r\n");
    EXPECT_EQ(AppSettings.ServerName, "srv:");
    EXPECT_EQ(AppSettings.DataFolder, "/data/");
    EXPECT_EQ(AppSettings.PlayerNo, 0);
    EXPECT_EQ(AppSettings.PlayerName, "");
    EXPECT_EQ(AppSettings.PlayerPassword, "");
}

TEST_F(SettingsFile, PlayerNumberLineGoesThroughTextToInt)
{
    const std::vector<std::pair<std::string, int>> cases = {
        {"12", 12}, {"  12", 12}, {"12 ", 0}, {"twelve", 0}, {"", 0}, {"-4", -4}};
    for (const auto& [line, expected] : cases) {
        Load("a:\r\nb\r\n" + line + "\r\nname\r\npass\r\n");
        EXPECT_EQ(AppSettings.PlayerNo, expected) << "line 3: '" << line << "'";
        EXPECT_EQ(AppSettings.PlayerName, "name");
    }
}

TEST_F(SettingsFile, LfOnlyAndLoneCrFilesAndExtraLines)
{
    Load("a:\nb\n3\nname\npass\nignored\n");
    EXPECT_EQ(AppSettings.ServerName, "a:");
    EXPECT_EQ(AppSettings.PlayerNo, 3);
    EXPECT_EQ(AppSettings.PlayerPassword, "pass");
    Load("a\r:\r\nb\r\n7\r\r\n");
    EXPECT_EQ(AppSettings.ServerName, "a:");
    EXPECT_EQ(AppSettings.PlayerNo, 7);
}

TEST_F(SettingsFile, SaveThenLoadGivesEveryFieldBack)
{
    AppSettings = {"127.0.0.1/3051:", "/var/lib/quiz data/", -12, "\x96\xBC\x91\x4F \x5C", " pa ss\x81\x40"};
    const TAppSettings saved = AppSettings;
    Form1->SaveSettings(Folder.File("games.dat"));
    EXPECT_EQ(Folder.Read("games.dat"),
              "127.0.0.1/3051:\r\n/var/lib/quiz data/\r\n-12\r\n\x96\xBC\x91\x4F \x5C\r\n pa ss\x81\x40\r\n");
    AppSettings = {};
    Form1->LoadSettings(Folder.File("games.dat"));
    EXPECT_EQ(AppSettings.ServerName, saved.ServerName);
    EXPECT_EQ(AppSettings.DataFolder, saved.DataFolder);
    EXPECT_EQ(AppSettings.PlayerNo, saved.PlayerNo);
    EXPECT_EQ(AppSettings.PlayerName, saved.PlayerName);
    EXPECT_EQ(AppSettings.PlayerPassword, saved.PlayerPassword);
}

using LayoutFile = SettingsFile;

std::vector<int> CurrentLayout()
{
    std::vector<int> v = {Form1->x(), Form1->y(), Form2->x(), Form2->y(), Form3->x(), Form3->y(),
                          Form4->x(), Form4->y(), Form5->x(), Form5->y(), Form5->OuterSize().width(), Form5->OuterSize().height()};
    for (int c = 0; c < 10; ++c) v.push_back(Form5->Controls.StringGrid1->columnWidth(c));
    v.push_back(FormPlay->x());
    v.push_back(FormPlay->y());
    return v;
}

TEST_F(LayoutFile, NoFileKeepsTheDesignedPlacesAndTheListDefaults)
{
    Form1->LoadLayout(Folder.File("quizgame.dat"));
    EXPECT_EQ(CurrentLayout(), (std::vector<int>{287, 114, 192, 107, 192, 107, 192, 107, 192, 107, 320, 240,
                                                 80, 80, 80, 80, 80, 80, 80, 80, 80, 80, 192, 107}));
}

TEST_F(LayoutFile, TwelveLineFileZeroesTheColumnsAndThePlayWindow)
{
    Folder.Write("quizgame.dat", "10\r\n11\r\n20\r\n21\r\n30\r\n31\r\n40\r\n41\r\n50\r\n51\r\n600\r\n400\r\n");
    Form1->LoadLayout(Folder.File("quizgame.dat"));
    EXPECT_EQ(CurrentLayout(), (std::vector<int>{10, 11, 20, 21, 30, 31, 40, 41, 50, 51, 600, 400,
                                                 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(LayoutFile, SaveThenLoadRestoresAllTwentyFourValues)
{
    std::vector<int> values;
    for (int i = 0; i < 24; ++i) values.push_back(i == 10 ? 640 : i == 11 ? 480 : 100 + 7 * i);
    std::string file;
    for (int v : values) file += std::to_string(v) + "\r\n";
    Folder.Write("in.dat", file);
    Form1->LoadLayout(Folder.File("in.dat"));
    ASSERT_EQ(CurrentLayout(), values);

    Form1->SaveLayout(Folder.File("out.dat"));
    EXPECT_EQ(Folder.Read("out.dat"), file);

    // Disturb every value, then load the saved file again.
    Form1->move(1, 1);
    FormPlay->move(2, 2);
    Form5->resize(333, 222);
    Form5->Controls.StringGrid1->setColumnWidth(9, 5);
    Form1->LoadLayout(Folder.File("out.dat"));
    EXPECT_EQ(CurrentLayout(), values);
}

TEST_F(LayoutFile, MalformedLinesApplyZero)
{
    Folder.Write("quizgame.dat", "abc\n-20\n 30\n40 \n");
    Form1->LoadLayout(Folder.File("quizgame.dat"));
    EXPECT_EQ(Form1->x(), 0);
    EXPECT_EQ(Form1->y(), -20);
    EXPECT_EQ(Form2->x(), 30);
    EXPECT_EQ(Form2->y(), 0);
}

}  // namespace
