// Headless players (tests/tools/quiz_player) run as child processes, their output collected
// line by line with the moment each line arrived. Used by the whole-game tests and the game
// benchmark; nothing here knows the game.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

using SteadyTime = std::chrono::steady_clock::time_point;

struct PlayerLine {
    std::string Text;
    SteadyTime At;
};

class PlayerProcess {
public:
    // Starts program with the arguments; its standard output is collected, its standard
    // error goes to errorFile. Throws std::runtime_error when the process cannot start.
    PlayerProcess(const std::string& program, const std::vector<std::string>& arguments, const std::string& errorFile);
    // Kills the process when it still runs, and reaps it.
    ~PlayerProcess();
    PlayerProcess(const PlayerProcess&) = delete;
    PlayerProcess& operator=(const PlayerProcess&) = delete;

    pid_t Pid() const { return Child; }
    // False once the process has ended (it is reaped then).
    bool Running();
    // The exit code, or 128 + the signal that ended it; -1 while it runs.
    int ExitCode() const { return Exit; }
    void Kill();

    const std::vector<PlayerLine>& Lines() const { return Collected; }
    // The first line starting with prefix, or nullptr.
    const PlayerLine* Find(const std::string& prefix) const;
    // Every line starting with prefix.
    std::vector<PlayerLine> All(const std::string& prefix) const;
    // All lines as one text, for failure messages.
    std::string Transcript() const;

    // Reads what the process has written so far (non-blocking).
    void ReadAvailable();
    int OutputFd() const { return Output; }

private:
    void Reap(bool wait);

    pid_t Child = -1;
    int Output = -1;
    int Exit = -1;
    std::string Partial;
    std::vector<PlayerLine> Collected;
};

// Waits up to timeout for done() to hold, reading the players' output meanwhile.
bool WaitUntil(const std::vector<PlayerProcess*>& players, const std::function<bool()>& done,
               std::chrono::milliseconds timeout);

// A program built next to the running one (the test and tool binaries share a folder).
std::string SiblingProgram(const std::string& name);
