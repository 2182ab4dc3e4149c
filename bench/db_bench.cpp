// Times the database helpers that one tick of a game is made of, on the embedded engine
// and on the loopback test server, and prints median and p99 per operation.
//
//   db_bench [--rtt MS] [ITERATIONS]        (default 1000, after a warm-up of 50)
//
// The server back end uses QUIZGAME_TEST_SERVER and QUIZGAME_TEST_DATA, as printed by
// scripts/firebird-test-server; without them only the embedded engine is measured. It talks to
// the server through a relay on loopback, which counts the round trips of each operation (a
// request after a reply) and, with --rtt, holds each direction back for half of MS.
// Each back end gets a fresh database in a folder of its own, removed at the end.
#include "bench_support.h"
#include "support/tcp_relay.h"
#include "support/temp_folder.h"
#include "support/test_server.h"
#include "app/unitv.h"
#include "db/quiz_database.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int Members = 10;
constexpr int WarmUpIterations = 50;

// The member list as the game reads it, and the count and the write of one tick.
const char* const JoinFields = "PLAYER.PNAME,QUIZMEM.OK,QUIZMEM.GP";
const char* const JoinTables = "QUIZMEM,PLAYER";
const char* const JoinCondition = "QUIZMEM.MN=PLAYER.N";
const char* const JoinOrder = "QUIZMEM.N";

struct Figures {
    double Median = 0;
    double P99 = 0;
    double Min = 0;
    double Max = 0;
};

// All in milliseconds. p99 is the nearest-rank percentile.
Figures Summarise(std::vector<double> samples)
{
    Figures f;
    if (samples.empty()) return f;
    std::sort(samples.begin(), samples.end());
    const size_t n = samples.size();
    f.Median = n % 2 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2;
    const auto rank = static_cast<size_t>(std::ceil(0.99 * static_cast<double>(n)));
    f.P99 = samples[std::clamp<size_t>(rank, 1, n) - 1];
    f.Min = samples.front();
    f.Max = samples.back();
    return f;
}

struct Result {
    std::string Name;
    Figures Time;
    int Wrong = 0;  // iterations whose helper gave a wrong answer
    double RoundTrips = -1;  // per call, counted by the relay; negative without one
};

// Runs op for the warm-up, then times each of iterations calls. op returns whether the
// helper's answer was right; that check is a few string compares inside the timed part.
template <typename Op>
Result Measure(const std::string& name, int iterations, const TcpRelay* relay, Op op)
{
    Result result{name, {}, 0};
    for (int i = 0; i < WarmUpIterations; ++i)
        if (!op()) ++result.Wrong;
    std::vector<double> samples;
    samples.reserve(static_cast<size_t>(iterations));
    const uint64_t turnsBefore = relay ? relay->Turns() : 0;
    for (int i = 0; i < iterations; ++i) {
        const auto start = Clock::now();
        const bool right = op();
        const auto stop = Clock::now();
        samples.push_back(std::chrono::duration<double, std::milli>(stop - start).count());
        if (!right) ++result.Wrong;
    }
    if (relay) result.RoundTrips = static_cast<double>(relay->Turns() - turnsBefore) / iterations;
    result.Time = Summarise(std::move(samples));
    return result;
}

bool Fill(QuizDatabase& db)
{
    if (!db.CreatePlayerTable() || !db.CreateQuizMemTable() || !db.CreateQuizAnsTable()) {
        std::printf("  could not create the PLAYER, QUIZMEM and QUIZANS tables\n");
        return false;
    }
    for (int n = 1; n <= Members; ++n) {
        const std::string k = std::to_string(n);
        if (!db.InsertText("PLAYER", "N,PNAME,PASWD,POINTS", k + ",'player" + k + "','12345678',0") ||
            !db.InsertText("QUIZMEM", "N,MN,OK,GP", k + "," + k + ",0,0")) {
            std::printf("  could not insert row %d\n", n);
            return false;
        }
    }
    return true;
}

void PrintTable(const std::vector<Result>& results)
{
    std::printf("  %-46s %10s %10s %10s %10s %12s  %s\n", "operation", "median ms", "p99 ms", "min ms", "max ms",
                "round trips", "wrong");
    for (const Result& r : results) {
        char trips[32] = "-";
        if (r.RoundTrips >= 0) std::snprintf(trips, sizeof trips, "%.2f", r.RoundTrips);
        std::printf("  %-46s %10.3f %10.3f %10.3f %10.3f %12s  %d\n", r.Name.c_str(), r.Time.Median, r.Time.P99,
                    r.Time.Min, r.Time.Max, trips, r.Wrong);
    }
}

// Measures one back end; false when it could not be set up or a helper answered wrongly.
bool RunBackEnd(const std::string& label, const std::string& server, const std::string& parent, bool openToAll,
                int iterations, const TcpRelay* relay)
{
    std::printf("\n%s\n", label.c_str());
    const TempFolder folder(parent, openToAll);
    AppSettings.ServerName = server;
    AppSettings.DataFolder = folder.Path();
    std::printf("  database %s\n", GameDatabasePath().c_str());

    QuizDatabase db{GameDatabasePath};
    bool result = false;
    const auto lost = RunUntilConnectionLost([&] { result = [&]() -> bool {
        db.CreateGameDatabase();
        if (!db.Connected()) {
            std::printf("  could not create the database\n");
            return false;
        }
        if (!Fill(db)) {
            db.DisconnectDatabase();
            return false;
        }
        std::string forcedWrites;
        db.SelectFirstValue("MON$FORCED_WRITES", "MON$DATABASE", "", forcedWrites);
        std::printf("  forced writes: %s\n", forcedWrites == "1" ? "on" : forcedWrites == "0" ? "off" : "unknown");

        std::vector<std::string> names;
        for (int n = 1; n <= Members; ++n) names.push_back("player" + std::to_string(n));

        // One member-list read: the join, every row fetched, the cursor closed.
        TextList row(3);
        const auto joinRead = [&] {
            const int count = db.OpenSelect(JoinFields, JoinTables, JoinCondition, JoinOrder);
            bool right = count == Members;
            if (count > 0) {
                db.FetchFirst(row);
                right = right && row[0] == names[0];
                for (int i = 1; i < count; ++i) {
                    db.FetchNext(row);
                    right = right && i < Members && row[0] == names[static_cast<size_t>(i)];
                }
            }
            db.CloseSelect();
            return right;
        };
        const auto count = [&] { return db.CountRows("QUIZMEM", "") == Members; };
        const auto write = [&] { return db.UpdateText("QUIZMEM", "OK=1", "N=3"); };
        const auto writes = [&] { return db.UpdateTexts("QUIZMEM", {{"GP=0", "N=4"}, {"OK=1", "N=3"}}); };
        const auto answer = [&] {
            return db.InsertText("QUIZANS", "N,MN,AN", "0,3,2") && db.DeleteRows("QUIZANS", "", LockWait::Never);
        };
        const auto one = [&] {
            std::string ok;
            return db.SelectFirstValue("OK", "QUIZMEM", "N=3", ok) == 1;
        };
        const auto floorRead = [&] {
            const int rows = db.OpenSelect("1", "RDB$DATABASE", "", "");
            db.CloseSelect();
            return rows == 1;
        };

        std::vector<Result> results;
        results.push_back(Measure("CountRows(QUIZMEM), 10 rows", iterations, relay, count));
        results.push_back(Measure("SelectFirstValue(QUIZMEM, OK, N=3)", iterations, relay, one));
        results.push_back(Measure("member list: OpenSelect join + fetch + close", iterations, relay, joinRead));
        results.push_back(Measure("UpdateText(QUIZMEM, OK=1, N=3), committed", iterations, relay, write));
        results.push_back(Measure("UpdateTexts(QUIZMEM, 2 rows), committed", iterations, relay, writes));
        results.push_back(Measure("InsertText(QUIZANS) + DeleteRows(no wait)", iterations, relay, answer));
        results.push_back(Measure("game tick: join read + CountRows + UpdateText", iterations, relay,
                                  [&] {
                                      const bool read = joinRead();
                                      const bool counted = count();
                                      const bool wrote = write();
                                      return read && counted && wrote;
                                  }));
        results.push_back(Measure("for comparison: 1-row read of RDB$DATABASE", iterations, relay, floorRead));

        // A transaction the server counts as active from its start holds back the clean-up of
        // every record version written since; the gap shows it.
        db.CloseQuery();
        TextList gap(2);
        if (db.SelectFirstRow("MON$NEXT_TRANSACTION,MON$OLDEST_SNAPSHOT", "MON$DATABASE", "", gap) == 2)
            std::printf("  transactions since the oldest snapshot: %lld (next %s)\n",
                        static_cast<long long>(TextToInt(gap[0]) - TextToInt(gap[1])), gap[0].c_str());
        db.CloseQuery();

        std::string ok;
        const bool written = db.SelectFirstValue("OK", "QUIZMEM", "N=3", ok) == 1 && ok == "1";
        if (!written) std::printf("  the write did not stick: QUIZMEM.OK of N=3 reads '%s'\n", ok.c_str());

        db.DisconnectDatabase();
        PrintTable(results);
        const bool right = written && std::all_of(results.begin(), results.end(), [](const Result& r) { return r.Wrong == 0; });
        if (!right) std::printf("  SOME HELPERS ANSWERED WRONGLY (see the wrong column)\n");
        return right;
    }(); });
    if (lost) std::printf("  the connection broke: %s\n", lost->c_str());
    return result && !lost;
}

}  // namespace

int main(int argc, char** argv)
{
    int iterations = 1000;
    int rttMs = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--rtt" && i + 1 < argc)
            rttMs = std::atoi(argv[++i]);
        else
            iterations = std::atoi(argv[i]);
        if (iterations < 1 || rttMs < 0) {
            std::fprintf(stderr, "usage: %s [--rtt MS] [ITERATIONS]\n", argv[0]);
            return 2;
        }
    }
    UseOwnFirebirdLockUnlessRoot();

    std::printf("db_bench: %d iterations per operation after %d warm-up, steady_clock\n", iterations, WarmUpIterations);
    std::printf("machine: %u CPUs (%s); Firebird client %s\n", std::thread::hardware_concurrency(), CpuModel().c_str(),
                ClientLibraryVersion().c_str());

    std::string tempParent = std::filesystem::temp_directory_path().string();
    if (tempParent.back() != '/') tempParent += '/';
    bool right = RunBackEnd("embedded engine", "", tempParent, false, iterations, nullptr);

    const std::optional<TestServer> server = FindTestServer();
    if (!server) {
        std::printf("\nloopback server: skipped, QUIZGAME_TEST_SERVER and QUIZGAME_TEST_DATA are not set\n"
                    "  (run: eval \"$(bash scripts/firebird-test-server | tail -n 2)\" and export both)\n");
    } else {
        TcpRelay relay(server->Port());
        relay.SetDelay(std::chrono::microseconds(rttMs * 500));
        const std::string label = "loopback server " + server->Prefix + " through a relay, round trip +" +
                                  std::to_string(rttMs) + " ms";
        right = RunBackEnd(label, relay.ServerName(), server->DataRoot, true, iterations, &relay) && right;
    }
    return right ? 0 : 1;
}
