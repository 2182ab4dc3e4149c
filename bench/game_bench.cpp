// Plays one whole game in rooms of 2, 8 and 16 player processes (tests/quiz_player) on the
// loopback test server, at the real pace (500 ms ticks, 1000 ms and 2000 ms pauses), and
// prints for each room: the wall time of the game against the least time the room protocol
// needs for the same questions and answers, and the work and statements of a tick.
//
//   game_bench [SIZES...]        (default 2 8 16)
//
// Needs QUIZGAME_TEST_SERVER and QUIZGAME_TEST_DATA, as printed by scripts/firebird-test-server.
// Every player answers each question correctly, a fixed time after the question appears;
// that delay is drawn per player from 100 to 900 ms (seeded, so runs are comparable).
#include "app/sjis_text.h"
#include "app/unitv.h"
#include "db/quiz_database.h"

#include "support/player_processes.h"
#include "support/temp_folder.h"
#include "support/test_server.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <numeric>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

constexpr int TickMs = 500;
constexpr int JudgePauseMs = 1000;
constexpr int FinalPauseMs = 2000;
constexpr unsigned Seed = 20240601;

// The questions, of different lengths; the reveal shows two bytes per tick.
std::vector<std::string> QuestionTexts()
{
    return {Sjis("日本で一番高い山は？"),
            "Which planet is known as the red planet?",
            Sjis("水の化学式はどれ？"),
            "How many legs has a spider?",
            Sjis("「吾輩は猫である」の作者は誰でしょう"),
            "2 + 2 * 2 = ?",
            Sjis("光の三原色に含まれない色はどれ？"),
            "Which is the largest ocean on Earth?",
            Sjis("一年で一番昼が長い日は？"),
            "Capital of Australia?"};
}

bool Fill(QuizDatabase& db, int players)
{
    if (!db.CreatePlayerTable() || !db.CreateQuizQaTable()) return false;
    for (int n = 1; n <= players; ++n)
        if (!db.InsertText("PLAYER", "N,PNAME,PASWD,POINTS", std::to_string(n) + ",'player" + std::to_string(n) + "','12345678',0"))
            return false;
    const auto texts = QuestionTexts();
    for (size_t i = 0; i < texts.size(); ++i)
        if (!db.InsertText("QUIZQA", "N,SN,Q1,ANS,AN1,AN2,AN3,ANN",
                           std::to_string(i + 1) + ",0,'" + texts[i] + "','right','one','two','three',1"))
            return false;
    return true;
}

// The least wall time the protocol needs from the last ready press to the end of the final
// pause, when every program ticks in step and its statements take no time:
//   one lobby tick that reads everyone ready, 11 countdown ticks,
//   per question: the load tick, R reveal and answer ticks, the ShowAnswer, WaitShown, Judge
//   and WaitJudged ticks, and the judge pause,
//   the FinalResult tick and the final pause.
// R: the question ends on the first tick whose read of the answers holds every answer; the
// answers are read on every second tick (the first reveal tick reads), so R is the first odd
// k with k * T > the slowest player's delay, and at most ceil(L / 2) + 6 (the whole reveal and
// answer time).
struct Minimum {
    int Ticks = 0;
    int64_t Ms = 0;
};

Minimum ProtocolMinimum(int slowestDelayMs)
{
    Minimum m;
    m.Ticks = 1 + 11 + 1;
    for (const std::string& text : QuestionTexts()) {
        const int whole = static_cast<int>((text.size() + 1) / 2) + 6;
        int r = 1;
        while (r * TickMs <= slowestDelayMs) r += 2;
        m.Ticks += 5 + std::min(r, whole);
    }
    m.Ms = static_cast<int64_t>(m.Ticks) * TickMs + 10 * JudgePauseMs + FinalPauseMs;
    return m;
}

std::string Value(const std::string& line, const std::string& key)
{
    const size_t at = line.find(" " + key + "=");
    if (at == std::string::npos) return {};
    const size_t start = at + key.size() + 2;
    const size_t end = line.find(' ', start);
    return line.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

// Nearest-rank percentile of sorted values.
double Percentile(const std::vector<double>& sorted, double fraction)
{
    if (sorted.empty()) return 0;
    const auto rank = static_cast<size_t>(std::ceil(fraction * static_cast<double>(sorted.size())));
    return sorted[std::clamp<size_t>(rank, 1, sorted.size()) - 1];
}

// Plays one game with `size` players; false when it did not finish.
bool PlayRoom(QuizDatabase& db, const std::string& server, const std::string& dataFolder, int size, std::mt19937& random)
{
    db.UpdateText("PLAYER", "POINTS=0", "");
    std::uniform_int_distribution<int> delay(100, 900);
    std::vector<int> delays;
    for (int n = 0; n < size; ++n) delays.push_back(delay(random));
    const int slowest = *std::max_element(delays.begin(), delays.end());

    const std::string player = (std::filesystem::path(SiblingProgram("game_bench")).parent_path().parent_path() /
                                "tests" / "quiz_player")
                                   .string();
    std::vector<std::unique_ptr<TempFolder>> homes;
    std::vector<std::unique_ptr<PlayerProcess>> players;
    for (int n = 1; n <= size; ++n) {
        homes.push_back(std::make_unique<TempFolder>());
        const std::string& home = homes.back()->Path();
        homes.back()->Write("games.dat", server + "\r\n" + dataFolder + "\r\n" + std::to_string(n) + "\r\nplayer" +
                                             std::to_string(n) + "\r\n12345678\r\n");
        players.push_back(std::make_unique<PlayerProcess>(
            player,
            std::vector<std::string>{"--dir", home, "--answers", "c,c,c,c,c,c,c,c,c,c", "--answer-delay-ms",
                                     std::to_string(delays[static_cast<size_t>(n - 1)]), "--wait-members",
                                     std::to_string(size), "--tick-stats"},
            home + "stderr.txt"));
    }
    std::vector<PlayerProcess*> all;
    for (const auto& p : players) all.push_back(p.get());
    const bool ended = WaitUntil(
        all, [&] { return std::none_of(all.begin(), all.end(), [](PlayerProcess* p) { return p->Running(); }); }, 300s);
    for (PlayerProcess* p : all) p->ReadAvailable();

    int finished = 0;
    SteadyTime lastReady{}, lastClosed{};
    std::vector<double> workMs, perTick;
    std::vector<int> slowestStates;
    int ticksMin = 1 << 30, ticksMax = 0;
    for (PlayerProcess* p : all) {
        const auto readies = p->All("ready");
        const PlayerLine* result = p->Find("result");
        const PlayerLine* closed = p->Find("closed");
        const PlayerLine* stats = p->Find("tick-stats");
        if (result && closed && !readies.empty() && p->ExitCode() == 0) ++finished;
        if (!readies.empty()) lastReady = std::max(lastReady, readies.front().At);
        if (closed) lastClosed = std::max(lastClosed, closed->At);
        if (const PlayerLine* samples = p->Find("tick-work-us ")) {
            std::string list = samples->Text.substr(samples->Text.find(' ') + 1);
            for (size_t start = 0; start < list.size();) {
                const size_t comma = list.find(',', start);
                workMs.push_back(std::stod(list.substr(start, comma - start)) / 1000.0);
                start = comma == std::string::npos ? list.size() : comma + 1;
            }
        }
        if (stats) {
            slowestStates.push_back(std::stoi(Value(stats->Text, "max_state")));
            perTick.push_back(std::stod(Value(stats->Text, "statements_per_tick")));
            const int ticks = std::stoi(Value(stats->Text, "count"));
            ticksMin = std::min(ticksMin, ticks);
            ticksMax = std::max(ticksMax, ticks);
        }
    }
    const Minimum minimum = ProtocolMinimum(slowest);
    const double wallMs = std::chrono::duration<double, std::milli>(lastClosed - lastReady).count();
    std::printf("\n%d players (answer delays 100..900 ms, slowest %d ms)\n", size, slowest);
    std::printf("  finished:            %d of %d%s\n", finished, size, ended ? "" : " (timed out, the rest killed)");
    if (finished == size) {
        std::printf("  game wall time:      %.1f s (last ready press to last window closed)\n", wallMs / 1000.0);
        std::printf("  protocol minimum:    %.1f s (%d ticks of %d ms + %d ms pauses)\n", minimum.Ms / 1000.0, minimum.Ticks,
                    TickMs, 10 * JudgePauseMs + FinalPauseMs);
        std::printf("  ratio:               %.3f (target at most 1.15)\n", wallMs / static_cast<double>(minimum.Ms));
        std::printf("  ticks per program:   %d to %d (the whole run, lobby included; the game itself at least %d)\n",
                    ticksMin, ticksMax, minimum.Ticks);
    }
    std::sort(workMs.begin(), workMs.end());
    std::printf("  tick work p50:       %.2f ms (%zu ticks of all programs pooled)\n", Percentile(workMs, 0.5),
                workMs.size());
    std::printf("  tick work p99:       %.2f ms (target under 50 ms); slowest %.2f ms\n", Percentile(workMs, 0.99),
                workMs.empty() ? 0.0 : workMs.back());
    const char* const stateNames[] = {"Lobby",     "Starting", "LoadQuestion", "RevealQuestion", "AnswerTime",
                                      "ShowAnswer", "WaitShown", "Judge",       "WaitJudged",     "FinalResult"};
    std::map<std::string, int> slowestTicks;
    for (int state : slowestStates) ++slowestTicks[state >= 0 && state <= 9 ? stateNames[state] : "?"];
    std::string states;
    for (const auto& [name, count] : slowestTicks) states += " " + name + " x" + std::to_string(count);
    std::printf("  state of each program's slowest tick:%s\n", states.c_str());
    std::printf("  statements per tick: %.2f (mean over the programs)\n",
                perTick.empty() ? 0.0 : std::accumulate(perTick.begin(), perTick.end(), 0.0) / perTick.size());
    if (finished != size)
        for (PlayerProcess* p : all)
            if (!p->Find("result")) std::printf("  player pid %d saw:\n%s", p->Pid(), p->Transcript().c_str());
    // Keep this connection's statement off the game tables the players drop.
    std::string ignored;
    db.SelectFirstValue("N", "PLAYER", "N=1", ignored);
    return finished == size;
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<int> sizes;
    for (int i = 1; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        if (size < 1 || size > 64) {
            std::fprintf(stderr, "usage: %s [SIZES...]   (room sizes from 1 to 64; default 2 8 16)\n", argv[0]);
            return 2;
        }
        sizes.push_back(size);
    }
    if (sizes.empty()) sizes = {2, 8, 16};
    const std::optional<TestServer> server = FindTestServer();
    if (!server) {
        std::fprintf(stderr, "QUIZGAME_TEST_SERVER and QUIZGAME_TEST_DATA are not set; run scripts/firebird-test-server\n");
        return 2;
    }
    std::printf("game_bench: real pace, tick %d ms, judge pause %d ms, final pause %d ms; %u CPUs; seed %u\n", TickMs,
                JudgePauseMs, FinalPauseMs, std::thread::hardware_concurrency(), Seed);
    std::printf("minimum = T * (1 + 11 + sum over q of (5 + R_q) + 1) + 10 * 1000 ms + 2000 ms, T = %d ms,\n", TickMs);
    std::printf("  R_q = min(ceil(L_q / 2) + 6, first odd k with k * T > slowest answer delay)\n");

    const TempFolder folder(server->DataRoot, true);
    AppSettings.ServerName = server->Prefix;
    AppSettings.DataFolder = folder.Path();
    QuizDatabase db{GameDatabasePath};
    db.CreateGameDatabase();
    const int most = *std::max_element(sizes.begin(), sizes.end());
    if (!db.Connected() || !Fill(db, most)) {
        std::printf("cannot create the database %s\n", GameDatabasePath().c_str());
        return 1;
    }
    std::mt19937 random(Seed);
    bool all = true;
    for (int size : sizes) all = PlayRoom(db, server->Prefix, folder.Path(), size, random) && all;
    db.DisconnectDatabase();
    return all ? 0 : 1;
}
