// Where a portable and an installed copy keep their files, their first database and the
// sample questions.
#include "app/file_places.h"

#include "support/temp_folder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <tuple>
#include <vector>

namespace {

// Sets an environment variable for one test and puts the old value back.
class EnvironmentGuard {
public:
    EnvironmentGuard(const char* name, const char* value) : Name(name)
    {
        if (const char* old = std::getenv(name)) Old = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~EnvironmentGuard()
    {
        if (Old)
            setenv(Name, Old->c_str(), 1);
        else
            unsetenv(Name);
    }

private:
    const char* Name;
    std::optional<std::string> Old;
};

mode_t Mode(const std::string& path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0 ? (info.st_mode & 07777) : 0;
}

class FilePlacesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::create_directories(Bin());
        std::filesystem::create_directories(Root.File("share/quizgame"));
        Root.Write("share/quizgame/Sample.txt", "q\ta\n");
    }
    std::string Bin() const { return Root.File("bin/"); }

    TempFolder Root;
    EnvironmentGuard Config{"XDG_CONFIG_HOME", nullptr};
    EnvironmentGuard Data{"XDG_DATA_HOME", nullptr};
    EnvironmentGuard Home{"HOME", Root.File("home").c_str()};
};

TEST_F(FilePlacesTest, PortableCopyKeepsEverythingBesideTheProgram)
{
    Root.Write("bin/Sample.txt", "q\ta\n");
    const FilePlaces places = FilePlacesFor(Bin(), true);
    EXPECT_EQ(places.FilesFolder, Bin());
    EXPECT_EQ(places.FirstDataFolder, "");
    EXPECT_EQ(places.SampleFolder, Bin());
    EXPECT_EQ(places.ExportFolder, Bin());
    EXPECT_FALSE(std::filesystem::exists(Root.File("home")));
}

TEST_F(FilePlacesTest, InstalledCopyUsesTheUsersOwnFoldersAndTheSharedSample)
{
    const FilePlaces places = FilePlacesFor(Bin(), false);
    EXPECT_EQ(places.FilesFolder, Root.File("home/.config/quizgame/"));
    EXPECT_EQ(places.FirstDataFolder, Root.File("home/.local/share/quizgame/"));
    // Created for this user only: games.dat holds the player's password.
    EXPECT_EQ(Mode(places.FilesFolder), 0700u);
    EXPECT_EQ(Mode(places.FirstDataFolder), 0700u);
    EXPECT_EQ(places.SampleFolder, Root.File("share/quizgame/"));
    EXPECT_EQ(places.ExportFolder, Root.File("home/")) << "no documents folder";
    std::filesystem::create_directories(Root.File("home/Documents"));
    EXPECT_EQ(FilePlacesFor(Bin(), false).ExportFolder, Root.File("home/Documents/"));
}

TEST_F(FilePlacesTest, InstalledCopyFollowsAbsoluteXdgFoldersOnly)
{
    const EnvironmentGuard config("XDG_CONFIG_HOME", Root.File("cfg").c_str());
    const EnvironmentGuard data("XDG_DATA_HOME", "relative/data");
    const FilePlaces places = FilePlacesFor(Bin(), false);
    EXPECT_EQ(places.FilesFolder, Root.File("cfg/quizgame/"));
    EXPECT_EQ(places.FirstDataFolder, Root.File("home/.local/share/quizgame/"));
    EXPECT_TRUE(std::filesystem::is_directory(places.FilesFolder));
}

// A copy that cannot write its folder (installed, or on a read-only share: the rule's input,
// as root writes anywhere) writes in the user's folder and reads the games.dat beside it until
// it has one there. Each case: writable, games.dat beside, one of the user's, written, read.
TEST_F(FilePlacesTest, SettingsAreReadBesideTheProgramUntilTheUserHasOwnOnes)
{
    const std::string own = "home/.config/quizgame/";
    const std::vector<std::tuple<bool, bool, bool, std::string, std::string>> cases = {
        {true, true, false, "bin/", "bin/"}, {false, true, false, own, "bin/"},
        {false, true, true, own, own},       {false, false, false, own, own}};
    for (const auto& [writable, beside, users, written, read] : cases) {
        std::filesystem::remove_all(Root.File("home"));
        Root.Write("bin/games.dat", "");
        if (!beside) std::filesystem::remove(Root.File("bin/games.dat"));
        const FilePlaces places = FilePlacesFor(Bin(), writable);
        if (users) Root.Write(own + "games.dat", "");
        EXPECT_EQ(places.FilesFolder + "|" + FileToRead(places, "games.dat"),
                  Root.File(written) + "|" + Root.File(read) + "games.dat");
    }
}

TEST_F(FilePlacesTest, WithoutAnySampleTheDialogStartsBesideTheProgram)
{
    std::filesystem::remove(Root.File("share/quizgame/Sample.txt"));
    EXPECT_EQ(FilePlacesFor(Bin(), false).SampleFolder, Bin());
}

}  // namespace
