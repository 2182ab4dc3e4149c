#include "support/player_processes.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>

extern char** environ;

PlayerProcess::PlayerProcess(const std::string& program, const std::vector<std::string>& arguments,
                             const std::string& errorFile)
{
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) throw std::runtime_error("pipe: " + std::string(std::strerror(errno)));

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    const int failed = posix_spawn(&Child, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    if (failed != 0) {
        close(pipeFds[0]);
        throw std::runtime_error("cannot start " + program + ": " + std::strerror(failed));
    }
    Output = pipeFds[0];
    fcntl(Output, F_SETFL, fcntl(Output, F_GETFL) | O_NONBLOCK);
}

PlayerProcess::~PlayerProcess()
{
    Kill();
    if (Output >= 0) close(Output);
}

void PlayerProcess::Reap(bool wait)
{
    if (Exit >= 0 || Child <= 0) return;
    int status = 0;
    const pid_t done = waitpid(Child, &status, wait ? 0 : WNOHANG);
    if (done != Child) return;
    Exit = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

bool PlayerProcess::Running()
{
    Reap(false);
    return Exit < 0;
}

void PlayerProcess::Kill()
{
    if (!Running()) return;
    ::kill(Child, SIGKILL);
    Reap(true);
}

void PlayerProcess::ReadAvailable()
{
    if (Output < 0) return;
    char buffer[4096];
    for (;;) {
        const ssize_t got = read(Output, buffer, sizeof buffer);
        if (got <= 0) {
            if (got == 0) {  // the process closed its output
                close(Output);
                Output = -1;
            }
            break;
        }
        Partial.append(buffer, static_cast<size_t>(got));
    }
    const SteadyTime now = std::chrono::steady_clock::now();
    size_t end;
    while ((end = Partial.find('\n')) != std::string::npos) {
        Collected.push_back({Partial.substr(0, end), now});
        Partial.erase(0, end + 1);
    }
}

const PlayerLine* PlayerProcess::Find(const std::string& prefix) const
{
    for (const PlayerLine& line : Collected)
        if (line.Text.rfind(prefix, 0) == 0) return &line;
    return nullptr;
}

std::vector<PlayerLine> PlayerProcess::All(const std::string& prefix) const
{
    std::vector<PlayerLine> lines;
    for (const PlayerLine& line : Collected)
        if (line.Text.rfind(prefix, 0) == 0) lines.push_back(line);
    return lines;
}

std::string PlayerProcess::Transcript() const
{
    std::string text;
    for (const PlayerLine& line : Collected) text += "  " + line.Text + "\n";
    return text;
}

bool WaitUntil(const std::vector<PlayerProcess*>& players, const std::function<bool()>& done,
               std::chrono::milliseconds timeout)
{
    const SteadyTime end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        for (PlayerProcess* player : players) player->ReadAvailable();
        if (done()) return true;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        std::vector<pollfd> fds;
        for (PlayerProcess* player : players)
            if (player->OutputFd() >= 0) fds.push_back({player->OutputFd(), POLLIN, 0});
        // Exits are noticed by polling too, so never sleep long.
        poll(fds.data(), fds.size(), static_cast<int>(std::min<long long>(left.count(), 20)));
    }
}

std::string SiblingProgram(const std::string& name)
{
    return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / name).string();
}
