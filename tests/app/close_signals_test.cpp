// The program itself under SIGTERM, as a logout or a shutdown sends it: it closes as its close
// box does and writes its files, also once the embedded engine (which catches SIGINT and
// SIGTERM itself) has loaded; a second signal during the close ends it at once.
#include "support/player_processes.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

namespace {

using namespace std::chrono_literals;

class CloseSignals : public ::testing::Test {
protected:
    // Starts a copy of the program beside games.dat; it may not grow a file past fileLimit bytes.
    void StartUnconnected(const std::string& settings, rlim_t fileLimit)
    {
        std::filesystem::copy_file(QUIZGAME_PROGRAM, Home.File("quizgame"));
        Home.Write("games.dat", settings);
        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        rlimit limited = saved;
        limited.rlim_cur = fileLimit;
        setrlimit(RLIMIT_FSIZE, &limited);  // the child inherits it
        Program = std::make_unique<PlayerProcess>(Home.File("quizgame"), std::vector<std::string>{},
                                                  Home.File("stderr.txt"));
        setrlimit(RLIMIT_FSIZE, &saved);
        std::this_thread::sleep_for(3s);  // up and showing its window
        ASSERT_TRUE(Program->Running());
    }

    // Starts a copy of the program beside its own games.dat, on the embedded engine, and
    // waits until it has created and opened its database.
    void Start()
    {
        std::filesystem::copy_file(QUIZGAME_PROGRAM, Home.File("quizgame"));
        Home.Write("games.dat", "\r\n" + Home.File("data/") + "\r\n7\r\nsig\r\n12345678\r\n");
        std::filesystem::create_directory(Home.File("data"));
        Program = std::make_unique<PlayerProcess>(Home.File("quizgame"), std::vector<std::string>{},
                                                  Home.File("stderr.txt"));
        ASSERT_TRUE(WaitUntil({Program.get()}, [&] { return std::filesystem::exists(Home.File("data/GAMES.FDB")); }, 20s));
        std::this_thread::sleep_for(1s);  // the connection follows the creation
        ASSERT_TRUE(Program->Running());
    }

    bool Ended(std::chrono::milliseconds timeout)
    {
        return WaitUntil({Program.get()}, [&] { return !Program->Running(); }, timeout);
    }

    TempFolder Home;
    std::unique_ptr<PlayerProcess> Program;
};

TEST_F(CloseSignals, TermClosesTheProgramAndWritesItsFiles)
{
    Start();
    ASSERT_FALSE(std::filesystem::exists(Home.File("quizgame.dat")));
    kill(Program->Pid(), SIGTERM);
    ASSERT_TRUE(Ended(20s)) << Home.Read("stderr.txt");
    EXPECT_EQ(Program->ExitCode(), 0);
    EXPECT_EQ(Home.Read("games.dat"), "\r\n" + Home.File("data/") + "\r\n7\r\nsig\r\n12345678\r\n");
    EXPECT_TRUE(std::filesystem::exists(Home.File("quizgame.dat")));
}

TEST_F(CloseSignals, ASecondSignalDuringTheCloseEndsTheProgramAtOnce)
{
    Start();
    // Both arrive before the program can run its close: whichever of its threads takes the
    // second finds the first signal taken.
    kill(Program->Pid(), SIGSTOP);
    kill(Program->Pid(), SIGTERM);
    kill(Program->Pid(), SIGHUP);
    kill(Program->Pid(), SIGCONT);
    ASSERT_TRUE(Ended(20s));
    EXPECT_TRUE(Program->ExitCode() == 128 + SIGTERM || Program->ExitCode() == 128 + SIGHUP) << Program->ExitCode();
    EXPECT_FALSE(std::filesystem::exists(Home.File("quizgame.dat")));
}

TEST_F(CloseSignals, AFileSizeLimitFailsTheWritesButNotTheProgram)
{
    const std::string settings = "\r\n\r\n3\r\na rather long name\r\n12345678\r\n";
    StartUnconnected(settings, 16);
    kill(Program->Pid(), SIGTERM);
    ASSERT_TRUE(Ended(20s));
    EXPECT_EQ(Program->ExitCode(), 0);
    EXPECT_EQ(Home.Read("games.dat"), settings);
    std::vector<std::string> names = Home.Names();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"games.dat", "quizgame", "stderr.txt"}));
}

}  // namespace
