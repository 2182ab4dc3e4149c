// Plays whole games in rooms of player processes (tests/quiz_player) on the loopback test
// server, at the real pace (500 ms ticks, 1000 ms and 2000 ms pauses), and prints for each
// room: every game's time from its first question to its result against the least time the
// room protocol needs for the questions played, the time from one game's result to the next
// game's first question, the work of a tick (the ticks begun at a result, which hold its pause
// and the next room's join, also apart from the others), where that work goes by kind of database
// operation, and the players' peak memory.
//
//   game_bench [--games N] [--bank N] [--rtt MS | --kill-at Q | --stall-at Q [--stall-seconds S] |
//              --drop-at Q] [--trace FOLDER] [SIZES...]
//              (default: 1 game, 10 questions, sizes 2 8 16)
//
// --rtt puts every player behind a relay that holds each direction back for half of MS (a model
// of a classroom's Wi-Fi) and prints the round trips of a tick. With more than one game, the
// tick work is printed game by game too, and the server's count of transactions that it keeps
// old record versions for (the next transaction less the oldest snapshot), sampled every five
// seconds while the games run.
//
// The last player of each room can meet a fault when question Q of the first game appears:
// --kill-at freezes and kills it; --stall-at stops its connection (through a relay) from
// carrying anything for S seconds (default 30); --drop-at closes its connection, which it makes
// again by itself. The others give it up at a barrier and play on; the figures are the others'.
// --trace writes every player's
// lines, with a line per tick (its moment, states, question, work), to FOLDER/roomS-playerN.txt.
// Needs QUIZGAME_TEST_SERVER and QUIZGAME_TEST_DATA, as printed by scripts/firebird-test-server.
// Every player answers each question correctly, a fixed time after the question appears;
// that delay is drawn per player from 100 to 900 ms (seeded, so runs are comparable).
#include "app/sjis_text.h"
#include "app/unitv.h"
#include "bench_support.h"
#include "db/quiz_database.h"

#include "support/player_processes.h"
#include "support/tcp_relay.h"
#include "support/temp_folder.h"
#include "support/test_server.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <numeric>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

// The players and a bank of questions: the ten texts in turn, each ending in its number.
bool Fill(QuizDatabase& db, int players, int bank)
{
    if (!db.CreatePlayerTable() || !db.CreateQuizQaTable()) return false;
    for (int n = 1; n <= players; ++n)
        if (!db.InsertText("PLAYER", "N,PNAME,PASWD,POINTS", std::to_string(n) + ",'player" + std::to_string(n) + "','12345678',0"))
            return false;
    const auto texts = QuestionTexts();
    for (int i = 0; i < bank; ++i)
        if (!db.InsertText("QUIZQA", "N,SN,Q1,ANS,AN1,AN2,AN3,ANN",
                           std::to_string(i + 1) + ",0,'" + texts[static_cast<size_t>(i) % texts.size()] + " " +
                               std::to_string(i + 1) + "','right','one','two','three',1"))
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

// From the first question on: the questions played (their CP932 texts) and the final result
// tick, without the lobby, the countdown and the final pause. The span measured starts when
// question 1 appears, after its load tick, and ends with the final result tick, so the two
// count as one tick.
Minimum QuestionsMinimum(const std::vector<std::string>& texts, int slowestDelayMs)
{
    Minimum m;
    m.Ticks = 0;
    for (const std::string& text : texts) {
        const int whole = static_cast<int>((text.size() + 1) / 2) + 6;
        int r = 1;
        while (r * TickMs <= slowestDelayMs) r += 2;
        m.Ticks += 5 + std::min(r, whole);
    }
    m.Ms = static_cast<int64_t>(m.Ticks) * TickMs + static_cast<int64_t>(texts.size()) * JudgePauseMs;
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

enum class Fault { None, Kill, Stall, Drop };

struct RoomOptions {
    int Games = 1;
    int RttMs = 0;
    Fault What = Fault::None;
    int FaultAt = 0;
    int StallSeconds = 30;
    std::string TraceFolder;  // every player's lines, one file per player, when set
};

// The k-th line (from 0) of a player starting with prefix.
std::optional<PlayerLine> Nth(const PlayerProcess& p, const std::string& prefix, size_t k)
{
    const std::vector<PlayerLine> lines = p.All(prefix);
    if (k >= lines.size()) return std::nullopt;
    return lines[k];
}

double Ms(SteadyTime from, SteadyTime to) { return std::chrono::duration<double, std::milli>(to - from).count(); }

// The server's next transaction less its oldest snapshot: the transactions whose record
// versions it keeps. Read in a transaction of its own (the monitoring tables hold still within
// one); -1 when unknown.
int64_t GarbageGap(QuizDatabase& db)
{
    db.CloseQuery();
    TextList row(2);
    const bool read = db.SelectFirstRow("MON$NEXT_TRANSACTION,MON$OLDEST_SNAPSHOT", "MON$DATABASE", "", row) == 2;
    db.CloseQuery();
    return read ? TextToInt(row[0]) - TextToInt(row[1]) : -1;
}

// The samples of the ticks between two counts of a player's ticks.
void AddSamples(std::vector<double>& to, const std::vector<double>& samples, size_t from, size_t end)
{
    for (size_t i = from; i < std::min(end, samples.size()); ++i) to.push_back(samples[i]);
}

// Plays options.Games games with `size` players in one room; false when one did not finish.
bool PlayRoom(QuizDatabase& db, const std::string& server, const std::string& dataFolder, int size,
              const RoomOptions& options, std::mt19937& random)
{
    db.UpdateText("PLAYER", "POINTS=0", "");
    std::uniform_int_distribution<int> delay(100, 900);
    std::vector<int> delays;
    for (int n = 0; n < size; ++n) delays.push_back(delay(random));
    const int slowest = *std::max_element(delays.begin(), delays.end());

    const std::string player = (std::filesystem::path(SiblingProgram("game_bench")).parent_path().parent_path() /
                                "tests" / "quiz_player")
                                   .string();
    TcpRelay relay(TestServer{server, {}}.Port());
    relay.SetDelay(std::chrono::microseconds(options.RttMs * 500));
    std::vector<std::unique_ptr<TempFolder>> homes;
    std::vector<std::unique_ptr<PlayerProcess>> players;
    for (int n = 1; n <= size; ++n) {
        homes.push_back(std::make_unique<TempFolder>());
        const std::string& home = homes.back()->Path();
        const bool victim = options.What != Fault::None && n == size;
        // The victim of a stall or a drop reaches the server through the relay; with a round
        // trip, every player does.
        const bool relayed = (victim && options.What != Fault::Kill) || options.RttMs > 0;
        homes.back()->Write("games.dat", (relayed ? relay.ServerName() : server) + "\r\n" + dataFolder + "\r\n" + std::to_string(n) + "\r\nplayer" +
                                             std::to_string(n) + "\r\n12345678\r\n");
        std::vector<std::string> arguments = {"--dir", home, "--answers", "c,c,c,c,c,c,c,c,c,c", "--answer-delay-ms",
                                              std::to_string(delays[static_cast<size_t>(n - 1)]), "--wait-members",
                                              std::to_string(size), "--games", std::to_string(options.Games),
                                              "--tick-stats"};
        if (!options.TraceFolder.empty()) arguments.push_back("--trace");
        if (victim && options.What == Fault::Kill) arguments.insert(arguments.end(), {"--freeze-at", std::to_string(options.FaultAt)});
        players.push_back(std::make_unique<PlayerProcess>(player, arguments, home + "stderr.txt"));
    }
    std::vector<PlayerProcess*> all;
    for (const auto& p : players) all.push_back(p.get());
    std::vector<PlayerProcess*> live = all;
    SteadyTime faultTime{};
    if (options.What != Fault::None) {
        PlayerProcess* victim = all.back();
        live.pop_back();
        const std::string shown = "question " + std::to_string(options.FaultAt) + " ";
        WaitUntil(all, [&] { return victim->Find(options.What == Fault::Kill ? "frozen" : shown) != nullptr; }, 300s);
        const SteadyTime at = std::chrono::steady_clock::now();
        if (options.What == Fault::Kill) victim->Kill();
        if (options.What == Fault::Drop) relay.Drop();
        if (options.What == Fault::Stall) {
            relay.Stall(true);
            std::this_thread::sleep_for(std::chrono::seconds(options.StallSeconds));
            relay.Stall(false);
        }
        faultTime = at;
    }
    // While the games run, the server's gap is sampled every five seconds.
    std::vector<int64_t> gaps;
    SteadyTime nextGap = std::chrono::steady_clock::now();
    const bool ended = WaitUntil(
        all,
        [&] {
            if (options.Games > 1 && std::chrono::steady_clock::now() >= nextGap) {
                gaps.push_back(GarbageGap(db));
                nextGap += 5s;
            }
            return std::none_of(live.begin(), live.end(), [](PlayerProcess* p) { return p->Running(); });
        },
        std::chrono::seconds(240 * options.Games));
    for (PlayerProcess* p : all) {
        p->ReadAvailable();
        if (p->Running()) p->Kill();
    }
    // How the victim of a stall or a drop came back: in step, or left behind for the next game.
    std::string faultLine;
    if (options.What == Fault::Stall || options.What == Fault::Drop) {
        const PlayerLine* resumed = all.back()->Find("resumed");
        const PlayerLine* behind = all.back()->Find("behind");
        faultLine = "  the last player: ";
        if (resumed)
            faultLine += "connected again " + std::to_string(static_cast<int>(Ms(faultTime, resumed->At))) + " ms after the drop, ";
        faultLine += behind ? "found itself behind and waited for the next game" : "played on in step with the room";
    }
    for (PlayerProcess* p : all) p->ReadAvailable();
    if (!options.TraceFolder.empty()) {
        std::filesystem::create_directories(options.TraceFolder);
        for (size_t n = 0; n < all.size(); ++n) {
            const std::string path =
                options.TraceFolder + "/room" + std::to_string(size) + "-player" + std::to_string(n + 1) + ".txt";
            if (FILE* file = std::fopen(path.c_str(), "w")) {
                for (const PlayerLine& line : all[n]->Lines()) std::fprintf(file, "%s\n", line.Text.c_str());
                std::fclose(file);
            }
        }
    }

    const char* faults[] = {"", ", the last killed at question ", ", the last one's connection stalled at question ",
                            ", the last one's connection dropped at question "};
    std::string fault = faults[static_cast<int>(options.What)];
    if (options.What != Fault::None) fault += std::to_string(options.FaultAt);
    if (options.What == Fault::Stall) fault += " for " + std::to_string(options.StallSeconds) + " s";
    if (options.RttMs > 0) fault += ", round trip +" + std::to_string(options.RttMs) + " ms";
    std::printf("\n%d players, %d game(s)%s (answer delays 100..900 ms, slowest %d ms)\n", size, options.Games,
                fault.c_str(), slowest);
    if (!faultLine.empty()) std::printf("%s\n", faultLine.c_str());
    int finished = 0;
    for (PlayerProcess* p : live)
        if (Nth(*p, "result", static_cast<size_t>(options.Games - 1)) && p->Find("closed") && p->ExitCode() == 0)
            ++finished;
    std::printf("  finished every game: %d of %d%s\n", finished, static_cast<int>(live.size()),
                ended ? "" : " (timed out, the rest killed)");
    bool right = finished == static_cast<int>(live.size());

    // Each game: from the first program's first question to the last program's result.
    for (int g = 0; g < options.Games && right; ++g) {
        SteadyTime first = SteadyTime::max(), last{};
        for (PlayerProcess* p : live) {
            const auto q1 = Nth(*p, "question 1 ", static_cast<size_t>(g));
            const auto result = Nth(*p, "result", static_cast<size_t>(g));
            if (q1) first = std::min(first, q1->At);
            if (result) last = std::max(last, result->At);
        }
        // The texts played, from the first program's lines (the same order for all).
        std::vector<std::string> texts;
        std::vector<SteadyTime> shown;
        const std::vector<PlayerLine> questions = live.front()->All("question ");
        for (size_t q = 10 * static_cast<size_t>(g); q < questions.size() && q < 10 * static_cast<size_t>(g + 1); ++q) {
            texts.push_back(Sjis(questions[q].Text.substr(questions[q].Text.find(" text=") + 6)));
            shown.push_back(questions[q].At);
        }
        const Minimum minimum = QuestionsMinimum(texts, slowest);
        const double span = Ms(first, last);
        std::printf("  game %d: %.1f s from question 1 to the last result; minimum %.1f s; ratio %.3f\n", g + 1,
                    span / 1000.0, minimum.Ms / 1000.0, span / static_cast<double>(minimum.Ms));
        if (options.What != Fault::None && g == 0 && shown.size() == 10) {
            std::string gaps;
            for (size_t q = 1; q < shown.size(); ++q) {
                char gap[32];
                std::snprintf(gap, sizeof gap, " %.1f", Ms(shown[q - 1], shown[q]) / 1000.0);
                gaps += gap;
            }
            std::printf("  seconds from each question to the next:%s\n", gaps.c_str());
        }
        if (g > 0) {
            SteadyTime lastResult{}, firstQuestion = SteadyTime::max();
            for (PlayerProcess* p : live) {
                lastResult = std::max(lastResult, Nth(*p, "result", static_cast<size_t>(g - 1))->At);
                firstQuestion = std::min(firstQuestion, Nth(*p, "question 1 ", static_cast<size_t>(g))->At);
            }
            std::printf("  result of game %d to question 1 of game %d: %.1f s (protocol minimum %.1f s)\n", g, g + 1,
                        Ms(lastResult, firstQuestion) / 1000.0, BetweenGamesMinimumMs / 1000.0);
        }
    }

    // Points: every finisher announced the same result for each game, and each finisher's
    // points in the player table are its shares (1/s) of the games it was a top scorer of.
    if (right) {
        bool agreed = true;
        std::map<std::string, double> expected;
        for (int g = 0; g < options.Games; ++g) {
            const std::string text = Nth(*live.front(), "result", static_cast<size_t>(g))->Text;
            for (PlayerProcess* p : live) agreed = agreed && Nth(*p, "result", static_cast<size_t>(g))->Text == text;
            std::vector<std::string> winners;
            std::string names = text.substr(text.find(" winners=") + 9);
            for (size_t start = 0, comma; (comma = names.find(',', start)) != std::string::npos; start = comma + 1)
                winners.push_back(names.substr(start, comma - start));
            for (const std::string& name : winners) expected[name] += 1.0 / static_cast<double>(winners.size());
        }
        int wrong = 0;
        for (int n = 1; n <= static_cast<int>(live.size()); ++n) {
            std::string points;
            db.SelectFirstValue("POINTS", "PLAYER", "N=" + std::to_string(n), points);
            if (std::fabs(TextToFloat(points) - expected["player" + std::to_string(n)]) > 1e-9) ++wrong;
        }
        std::printf("  results the same in every program: %s; points in the player table as announced: %d of %d\n",
                    agreed ? "yes" : "NO", static_cast<int>(live.size()) - wrong, static_cast<int>(live.size()));
        right = agreed && wrong == 0;
    }

    // Tick work and where it goes, pooled over the programs that played to the end.
    std::vector<double> workMs;
    std::vector<double> resultWorkMs, otherWorkMs;  // the ticks begun at a result, and the rest
    std::vector<std::vector<double>> workByGame(static_cast<size_t>(options.Games));
    std::map<std::string, std::array<double, 3>> kinds;  // count, total us, max us
    long peakRssKb = 0;
    for (PlayerProcess* p : live) {
        std::vector<double> own;
        if (const PlayerLine* samples = p->Find("tick-work-us "))
            for (const double us : CommaNumbers(samples->Text.substr(samples->Text.find(' ') + 1)))
                own.push_back(us / 1000.0);
        workMs.insert(workMs.end(), own.begin(), own.end());
        std::vector<bool> atResult(own.size());
        if (const PlayerLine* indices = p->Find("at-result-ticks "))
            for (const double index : CommaNumbers(indices->Text.substr(indices->Text.find(' ') + 1)))
                if (index < static_cast<double>(own.size())) atResult[static_cast<size_t>(index)] = true;
        for (size_t i = 0; i < own.size(); ++i) (atResult[i] ? resultWorkMs : otherWorkMs).push_back(own[i]);
        size_t from = 0;
        for (size_t g = 0; g < workByGame.size(); ++g) {
            const auto end = Nth(*p, "game-ticks ", g);
            if (!end) break;
            const size_t to = std::stoul(Value(end->Text, "ticks"));
            AddSamples(workByGame[g], own, from, to);
            from = to;
        }
        for (const PlayerLine& line : p->All("timing ")) {
            auto& k = kinds[line.Text.substr(line.Text.find(" kind=") + 6)];
            k[0] += std::stod(Value(line.Text, "count"));
            k[1] += std::stod(Value(line.Text, "total_us"));
            k[2] = std::max(k[2], std::stod(Value(line.Text, "max_us")));
        }
        if (const PlayerLine* rss = p->Find("peak-rss-kb ")) peakRssKb = std::max(peakRssKb, std::stol(rss->Text.substr(12)));
    }
    std::sort(workMs.begin(), workMs.end());
    const double ticks = static_cast<double>(workMs.size());
    std::printf("  tick work p50 %.2f ms, p99 %.2f ms, slowest %.2f ms (%zu ticks of all programs pooled)\n",
                Percentile(workMs, 0.5), Percentile(workMs, 0.99), workMs.empty() ? 0.0 : workMs.back(), workMs.size());
    // The tick begun at a result carries the result's pause, and the next room's join within
    // it: the window stands still for the pause in any case, and the join shortens what is left
    // of it.
    std::sort(resultWorkMs.begin(), resultWorkMs.end());
    std::sort(otherWorkMs.begin(), otherWorkMs.end());
    std::printf("  of which %zu began at a result (its pause and the next join): p50 %.2f ms, slowest %.2f ms;\n"
                "  the other %zu ticks: p99 %.2f ms, slowest %.2f ms\n",
                resultWorkMs.size(), Percentile(resultWorkMs, 0.5), resultWorkMs.empty() ? 0.0 : resultWorkMs.back(),
                otherWorkMs.size(), Percentile(otherWorkMs, 0.99), otherWorkMs.empty() ? 0.0 : otherWorkMs.back());
    if (options.RttMs > 0)
        std::printf("  round trips per tick: %.2f (%llu over %.0f ticks, counted at the relay)\n",
                    static_cast<double>(relay.Turns()) / std::max(1.0, static_cast<double>(workMs.size())),
                    static_cast<unsigned long long>(relay.Turns()), static_cast<double>(workMs.size()));
    if (options.Games > 1) {
        std::printf("  tick work by game (p50 / p99 ms):");
        for (size_t g = 0; g < workByGame.size(); ++g) {
            std::sort(workByGame[g].begin(), workByGame[g].end());
            std::printf("%s %zu: %.2f / %.2f", g % 5 ? "," : "\n   ", g + 1, Percentile(workByGame[g], 0.5),
                        Percentile(workByGame[g], 0.99));
        }
        // By fifths of the run: a transaction held open through the games shows as growth.
        std::printf("\n  transactions the server kept old record versions for, largest by fifths of the run:");
        for (size_t part = 0; part < 5 && !gaps.empty(); ++part) {
            const auto from = gaps.begin() + static_cast<std::ptrdiff_t>(part * gaps.size() / 5);
            const auto to = gaps.begin() + static_cast<std::ptrdiff_t>((part + 1) * gaps.size() / 5);
            std::printf(" %lld", from == to ? -1LL : static_cast<long long>(*std::max_element(from, to)));
        }
        std::printf(" (%zu samples)\n", gaps.size());
    }
    std::printf("  %-44s %9s %9s %9s %9s\n", "operation", "per tick", "us/tick", "us each", "max ms");
    std::vector<std::pair<std::string, std::array<double, 3>>> sorted(kinds.begin(), kinds.end());
    std::sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) { return a.second[1] > b.second[1]; });
    for (const auto& [kind, k] : sorted)
        std::printf("  %-44s %9.3f %9.1f %9.1f %9.1f\n", kind.substr(0, 44).c_str(), k[0] / ticks, k[1] / ticks,
                    k[1] / std::max(1.0, k[0]), k[2] / 1000.0);
    std::printf("  peak memory of one player process: %.1f MiB\n", static_cast<double>(peakRssKb) / 1024.0);
    if (!right)
        for (PlayerProcess* p : live)
            if (!p->Find("closed")) std::printf("  player pid %d saw:\n%s", p->Pid(), p->Transcript().c_str());
    // Keep this connection's statement off the game tables the players drop.
    std::string ignored;
    db.SelectFirstValue("N", "PLAYER", "N=1", ignored);
    return right;
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<int> sizes;
    RoomOptions options;
    int bank = 10;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--trace" && i + 1 < argc) {
            options.TraceFolder = argv[++i];
            continue;
        }
        const bool fault = argument == "--kill-at" || argument == "--stall-at" || argument == "--drop-at";
        const bool option = fault || argument == "--games" || argument == "--bank" || argument == "--stall-seconds" ||
                            argument == "--rtt";
        const int value = std::atoi(option && i + 1 < argc ? argv[++i] : argv[i]);
        if (argument == "--games") options.Games = value;
        else if (argument == "--bank") bank = value;
        else if (argument == "--stall-seconds") options.StallSeconds = value;
        else if (argument == "--rtt") options.RttMs = value;
        else if (fault) options.FaultAt = value;
        else sizes.push_back(value);
        if (argument == "--kill-at") options.What = Fault::Kill;
        if (argument == "--stall-at") options.What = Fault::Stall;
        if (argument == "--drop-at") options.What = Fault::Drop;
        const bool relayFault = options.What == Fault::Stall || options.What == Fault::Drop;
        if (value < 1 || (!option && value > 64) || options.Games > 20 || options.FaultAt > 10 || bank > 100000 ||
            (relayFault && options.RttMs > 0)) {
            std::fprintf(stderr, "usage: %s [--games N] [--bank N] [--rtt MS | --kill-at Q | --stall-at Q [--stall-seconds S] | "
                                 "--drop-at Q] [--trace FOLDER] [SIZES...]   (room sizes from 1 to 64, up to 20 games; "
                                 "default 1 game, 10 questions, sizes 2 8 16)\n", argv[0]);
            return 2;
        }
    }
    if (sizes.empty()) sizes = {2, 8, 16};
    const std::optional<TestServer> server = FindTestServer();
    if (!server) {
        std::fprintf(stderr, "QUIZGAME_TEST_SERVER and QUIZGAME_TEST_DATA are not set; run scripts/firebird-test-server\n");
        return 2;
    }
    std::printf("game_bench: real pace, tick %d ms, judge pause %d ms, final pause %d ms; %u CPUs; seed %u\n", TickMs,
                JudgePauseMs, FinalPauseMs, std::thread::hardware_concurrency(), Seed);
    std::printf("game minimum = T * sum over q of (5 + R_q) + 10 * 1000 ms (question 1 shown to the result), T = %d ms,\n", TickMs);
    std::printf("  R_q = min(ceil(L_q / 2) + 6, first odd k with k * T > slowest answer delay); bank %d questions\n",
                bank);

    const TempFolder folder(server->DataRoot, true);
    AppSettings.ServerName = server->Prefix;
    AppSettings.DataFolder = folder.Path();
    QuizDatabase db{GameDatabasePath};
    db.CreateGameDatabase();
    const int most = *std::max_element(sizes.begin(), sizes.end());
    if (!db.Connected() || !Fill(db, most, bank)) {
        std::printf("cannot create the database %s\n", GameDatabasePath().c_str());
        return 1;
    }
    std::mt19937 random(Seed);
    bool all = true;
    for (int size : sizes) all = PlayRoom(db, server->Prefix, folder.Path(), size, options, random) && all;
    db.DisconnectDatabase();
    return all ? 0 : 1;
}
