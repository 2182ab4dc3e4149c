// The program itself under SIGTERM, as a logout or a shutdown sends it: it closes as its close
// box does and writes its files, also once the embedded engine (which catches SIGINT and
// SIGTERM itself) has loaded; a second signal during the close ends it at once.
#include "support/player_processes.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <filesystem>
#include <thread>

namespace {

using namespace std::chrono_literals;

class CloseSignals : public ::testing::Test {
protected:
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

}  // namespace
