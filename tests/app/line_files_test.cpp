#include "app/line_files.h"

#include "support/temp_folder.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Lines = std::vector<std::string>;

TEST(ReadLines, LineEndsAreLfOrCrLfAndLoneCrIsDropped)
{
    TempFolder folder;
    folder.Write("crlf", "one\r\ntwo\r\n");
    folder.Write("lf", "one\ntwo\n");
    folder.Write("lonecr", "o\rne\r\ntw\ro");
    folder.Write("nofinal", "one\r\ntwo");
    folder.Write("empty", "");
    folder.Write("blank", "\r\n\r\nthree\r\n");
    folder.Write("ctrlz", std::string("one\r\ntw\x1A") + "o\r\nthree\r\n");

    EXPECT_EQ(ReadLines(folder.File("crlf"), 5).Lines, (Lines{"one", "two"}));
    EXPECT_EQ(ReadLines(folder.File("lf"), 5).Lines, (Lines{"one", "two"}));
    EXPECT_EQ(ReadLines(folder.File("lonecr"), 5).Lines, (Lines{"one", "two"}));
    EXPECT_EQ(ReadLines(folder.File("nofinal"), 5).Lines, (Lines{"one", "two"}));
    EXPECT_EQ(ReadLines(folder.File("empty"), 5).Lines, Lines{});
    EXPECT_EQ(ReadLines(folder.File("blank"), 5).Lines, (Lines{"", "", "three"}));
    // Ctrl+Z ends the file, as old editors meant it.
    EXPECT_EQ(ReadLines(folder.File("ctrlz"), 5).Lines, (Lines{"one", "tw"}));
    EXPECT_TRUE(ReadLines(folder.File("crlf"), 5).Complete);
}

TEST(ReadLines, StopsAfterTheWantedLinesAndKeepsBytesUnchanged)
{
    TempFolder folder;
    std::string text;
    for (int i = 1; i <= 30; ++i) text += std::to_string(i) + "\r\n";
    folder.Write("many", text);
    const LinesRead read = ReadLines(folder.File("many"), 24);
    ASSERT_EQ(read.Lines.size(), 24u);
    EXPECT_EQ(read.Lines.back(), "24");

    const std::string sjis = "\x82\xA0\x5C\x81\x40";  // double-byte text with a 5C trail byte beside it
    folder.Write("sjis", sjis + "\r\n");
    EXPECT_EQ(ReadLines(folder.File("sjis"), 5).Lines, Lines{sjis});
}

TEST(ReadLines, MissingFileIsNoLines)
{
    TempFolder folder;
    const LinesRead read = ReadLines(folder.File("none"), 5);
    EXPECT_TRUE(read.Lines.empty());
    EXPECT_FALSE(FileExists(folder.File("none")));
}

TEST(ReadLines, UnreadableFileIsIncomplete)
{
    TempFolder folder;
    // A folder in place of the file exists but cannot be read as one.
    ASSERT_EQ(mkdir(folder.File("dir").c_str(), 0700), 0);
    EXPECT_FALSE(ReadLines(folder.File("dir"), 5).Complete);
}

TEST(WriteLines, WritesEveryLineWithCrLf)
{
    TempFolder folder;
    ASSERT_TRUE(WriteLines(folder.File("out"), {"a", "", "\x82\xA0"}));
    EXPECT_EQ(folder.Read("out"), "a\r\n\r\n\x82\xA0\r\n");
    ASSERT_TRUE(WriteLines(folder.File("out"), {"b"}));
    EXPECT_EQ(folder.Read("out"), "b\r\n");
}

TEST(WriteLines, FailedWriteLeavesTheOldFileInPlace)
{
    TempFolder folder;
    folder.Write("games.dat", "old\r\n");
    // A missing folder cannot take the file at all.
    EXPECT_FALSE(WriteLines(folder.File("nofolder/games.dat"), {"x"}));

    // A write that fails part way: the child process may not grow any file past 16 bytes
    // (this holds for root too, unlike file permissions).
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{16, 16};
        setrlimit(RLIMIT_FSIZE, &limit);
        const bool written = WriteLines(folder.File("games.dat"), {std::string(100, 'n'), "more"});
        _exit(written ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the write should have reported failure";
    EXPECT_EQ(folder.Read("games.dat"), "old\r\n");
    EXPECT_EQ(folder.Names(), Lines{"games.dat"}) << "no partial file may stay behind";
}

}  // namespace
