#include "app/main_window.h"
#include "app/program.h"
#include "app/unitv.h"
#include "app/window_style.h"
#include "game/play_window.h"
#include "player/settings_window.h"
#include "qa/edit_window.h"
#include "qa/entry_window.h"
#include "qa/list_window.h"

#include "support/temp_folder.h"

#include <QRect>
#include <gtest/gtest.h>

#include <optional>
#include <tuple>
#include <vector>

namespace {

class SettingsFile : public ::testing::Test {
protected:
    void SetUp() override { CreateWindows(); }
    void TearDown() override { DestroyWindows(); }

    TempFolder Folder;
};

using Fields = std::tuple<std::string, std::string, int32_t, std::string, std::string>;

Fields FieldsOf(const TAppSettings& s) { return {s.ServerName, s.DataFolder, s.PlayerNo, s.PlayerName, s.PlayerPassword}; }

TEST_F(SettingsFile, LoadTakesTheDefaultsThenWhatTheFileHolds)
{
    const std::string player = "a:\r\nb\r\n";
    const std::vector<std::pair<std::optional<std::string>, Fields>> cases = {
        {std::nullopt, {"127.0.0.1:", "C:\\data\\", 0, "", ""}},  // no file: the defaults
        {"", {"", "", 0, "", ""}},                                   // an empty file overwrites them
        {"srv:\r\n/data/\r\n", {"srv:", "/data/", 0, "", ""}},       // missing lines read as empty
        {"a:\nb\n3\nname\npass\nignored\n", {"a:", "b", 3, "name", "pass"}},
        {"a\r:\r\nb\r\n7\r\r\n", {"a:", "b", 7, "", ""}},
        // The player number goes through TextToInt.
        {player + "12\r\nname\r\npass\r\n", {"a:", "b", 12, "name", "pass"}},
        {player + "  12\r\nname\r\npass\r\n", {"a:", "b", 12, "name", "pass"}},
        {player + "12 \r\nname\r\npass\r\n", {"a:", "b", 0, "name", "pass"}},
        {player + "twelve\r\nname\r\npass\r\n", {"a:", "b", 0, "name", "pass"}},
        {player + "\r\nname\r\npass\r\n", {"a:", "b", 0, "name", "pass"}},
        {player + "-4\r\nname\r\npass\r\n", {"a:", "b", -4, "name", "pass"}},
    };
    // The case without a file comes first, before any is written.
    for (const auto& [file, expected] : cases) {
        AppSettings = {"x", "y", 5, "z", "w"};
        if (file) Folder.Write("games.dat", *file);
        Form1->LoadSettings(Folder.File("games.dat"));
        EXPECT_EQ(FieldsOf(AppSettings), expected) << (file ? *file : "no file");
    }
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
    EXPECT_EQ(FieldsOf(AppSettings), FieldsOf(saved));
}

using LayoutFile = SettingsFile;

std::vector<int> CurrentLayout()
{
    std::vector<int> v = {Form1->x(), Form1->y(), Form2->x(), Form2->y(), Form3->x(), Form3->y(),
                          Form4->x(), Form4->y(), Form5->x(), Form5->y(), Form5->OuterSize().width(), Form5->OuterSize().height()};
    for (int c = 0; c < 10; ++c) v.push_back(Form5->ColumnWidth(c));
    v.push_back(FormPlay->x());
    v.push_back(FormPlay->y());
    return v;
}

TEST_F(LayoutFile, LoadAppliesTheFileOverTheDesignedPlaces)
{
    // Each file and the values it leads to, from the first line on; missing and malformed
    // lines apply 0. The case without a file comes first, before any is written.
    const std::vector<std::pair<std::optional<std::string>, std::vector<int>>> cases = {
        {std::nullopt, {287, 114, 192, 107, 192, 107, 192, 107, 192, 107, 320, 240,
                        80, 80, 80, 80, 80, 80, 80, 80, 80, 80, 192, 107}},
        {"10\r\n11\r\n20\r\n21\r\n30\r\n31\r\n40\r\n41\r\n50\r\n51\r\n600\r\n400\r\n",
         {10, 11, 20, 21, 30, 31, 40, 41, 50, 51, 600, 400, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"abc\n20\n 30\n40 \n", {0, 20, 30, 0}},
    };
    for (const auto& [file, expected] : cases) {
        if (file) Folder.Write("quizgame.dat", *file);
        Form1->LoadLayout(Folder.File("quizgame.dat"));
        const std::vector<int> layout = CurrentLayout();
        EXPECT_EQ(std::vector<int>(layout.begin(), layout.begin() + static_cast<long>(expected.size())), expected)
            << (file ? *file : "no file");
    }
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
    Form5->SetColumnWidth(9, 5);
    Form1->LoadLayout(Folder.File("out.dat"));
    EXPECT_EQ(CurrentLayout(), values);
}

// A window's outer rectangle in the available area of a screen: kept when it fits, else moved
// in; a resizable one no larger than the area; one still too large keeps its title bar inside.
TEST(FitIntoArea, KeepsWhatFitsAndMovesTheRestIn)
{
    const QRect screen(0, 0, 1024, 768), belowPanel(0, 30, 1024, 738), second(1024, 0, 1280, 1024);
    const std::vector<std::tuple<QRect, QRect, bool, QRect>> cases = {
        {{624, 468, 400, 300}, screen, false, {624, 468, 400, 300}},  // touching both edges
        {{1300, 700, 380, 261}, screen, false, {644, 507, 380, 261}},
        {{-50, -20, 400, 300}, belowPanel, false, {0, 30, 400, 300}},
        {{100, 100, 1200, 900}, screen, false, {0, 0, 1200, 900}},
        {{300, 100, 1100, 900}, screen, true, {0, 0, 1024, 768}},
        {{2500, 100, 400, 300}, second, true, {1904, 100, 400, 300}}};
    for (const auto& [frame, area, resizable, fitted] : cases)
        EXPECT_EQ(FitIntoArea(frame, area, resizable), fitted) << frame.x() << "," << frame.y();
}

}  // namespace
