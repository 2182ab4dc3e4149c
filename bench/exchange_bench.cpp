// Times the Q&A text exchange on the loopback test server with 100,000 questions: the export
// of the whole table, then an import of 20,000 lines in append mode and the same file in
// replace mode, and checks what each wrote.
//
//   exchange_bench [RUNS]        (export runs, default 3)
//
// Uses QUIZGAME_TEST_SERVER and QUIZGAME_TEST_DATA, as printed by scripts/firebird-test-server.
// The database gets a fresh folder under the data root and the text files one under the
// system's temporary folder; both are removed at the end.
#include "bench_support.h"
#include "support/temp_folder.h"
#include "support/test_server.h"
#include "app/sjis_text.h"
#include "app/unitv.h"
#include "db/quiz_database.h"
#include "qa/text_exchange.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int Questions = 100000;
constexpr int QuestionsPerBlock = 25000;
constexpr int ImportLines = 20000;
constexpr double ExportTargetSeconds = 3.0;
constexpr double ImportTargetSeconds = 2.0;

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// Rows first to last of QUIZQA in one statement: a question in two pieces, four answers and
// numbers that vary from row to row.
TextList FillBlock(int first, int last)
{
    return {"EXECUTE BLOCK AS",
            "DECLARE I INTEGER = " + std::to_string(first) + ";",
            "BEGIN",
            "  WHILE (I <= " + std::to_string(last) + ") DO",
            "  BEGIN",
            "    INSERT INTO QUIZQA VALUES (:I, MOD(:I * 7919, " + std::to_string(Questions) + "),",
            "      '" + Sjis("第") + "' || :I || '" + Sjis("問：日本で一番高い山は") + "', '" +
                Sjis("どれですか？") + "', NULL, NULL,",
            "      '" + Sjis("富士山") + "', '" + Sjis("北岳") + "', '" + Sjis("奥穂高岳") + "', '" +
                Sjis("槍ヶ岳") + "', MOD(:I, 4) + 1);",
            "    I = I + 1;",
            "  END",
            "END"};
}

size_t CountLines(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return static_cast<size_t>(std::count(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>(), '\n'));
}

// The header and the first count rows of an exported file.
bool CopyFirstLines(const std::string& from, const std::string& to, size_t count)
{
    std::ifstream in(from, std::ios::binary);
    std::ofstream out(to, std::ios::binary | std::ios::trunc);
    std::string line;
    for (size_t i = 0; i <= count && std::getline(in, line); ++i) out << line << '\n';
    out.close();
    return static_cast<bool>(out) && CountLines(to) == count + 1;
}

bool Run(const std::string& server, const std::string& dataRoot, int runs)
{
    const TempFolder database(dataRoot, true);
    const TempFolder files;
    AppSettings.ServerName = server;
    AppSettings.DataFolder = database.Path();
    std::printf("database %s\n", GameDatabasePath().c_str());

    QuizDatabase db{GameDatabasePath};
    db.CreateGameDatabase();
    if (!db.Connected() || !db.CreateQuizQaTable()) {
        std::printf("could not create the database and QUIZQA\n");
        return false;
    }
    std::string forcedWrites;
    db.SelectFirstValue("MON$FORCED_WRITES", "MON$DATABASE", "", forcedWrites);
    std::printf("forced writes: %s\n", forcedWrites == "1" ? "on" : forcedWrites == "0" ? "off" : "unknown");

    auto start = Clock::now();
    for (int first = 1; first <= Questions; first += QuestionsPerBlock)
        if (!db.ExecSqlLines(FillBlock(first, std::min(first + QuestionsPerBlock - 1, Questions)))) {
            std::printf("could not insert the rows from %d\n", first);
            return false;
        }
    if (db.CountRows("QUIZQA", "") != Questions) {
        std::printf("QUIZQA does not hold %d rows\n", Questions);
        return false;
    }
    std::printf("set-up: %d questions in %.2f s\n\n", Questions, SecondsSince(start));

    bool right = true;
    const std::string exported = files.Path() + "all.txt";
    std::vector<double> exportSeconds;
    for (int run = 0; run < runs; ++run) {
        start = Clock::now();
        const bool written = ExportTableText(db, "QUIZQA", "", "", exported);
        exportSeconds.push_back(SecondsSince(start));
        const size_t lines = CountLines(exported);
        if (!written || lines != Questions + 1) {
            std::printf("export run %d: result %d, %zu lines (expected %d)\n", run + 1, written, lines, Questions + 1);
            right = false;
        }
    }
    std::sort(exportSeconds.begin(), exportSeconds.end());
    const double exportMedian = exportSeconds[exportSeconds.size() / 2];
    std::printf("export of %d rows (%.1f MB), %d runs: min %.3f s, median %.3f s, max %.3f s  (target < %.0f s: %s)\n",
                Questions, static_cast<double>(std::filesystem::file_size(exported)) / 1e6, runs, exportSeconds.front(),
                exportMedian, exportSeconds.back(), ExportTargetSeconds,
                exportMedian < ExportTargetSeconds ? "met" : "MISSED");

    const std::string part = files.Path() + "part.txt";
    if (!CopyFirstLines(exported, part, ImportLines)) {
        std::printf("could not write the import file\n");
        return false;
    }
    // Appended after the 100,000 rows, then replacing them all.
    for (const bool append : {true, false}) {
        start = Clock::now();
        // The first report comes once the file is read and the table reserved, the second once
        // the rows of a replace are deleted and the first number found.
        std::vector<double> reports;
        const auto progress = [&](size_t, size_t) {
            reports.push_back(SecondsSince(start));
            return true;
        };
        const bool imported = ImportTableText(db, "QUIZQA", part, append, true, progress).End == ImportEnd::Imported;
        const double importSeconds = SecondsSince(start);
        std::string largest;
        db.SelectMax("QUIZQA", "N", "", largest);
        const int rows = db.CountRows("QUIZQA", "");
        const int expected = append ? Questions + ImportLines : ImportLines;
        const double read = reports.size() > 1 ? reports[0] : 0;
        const double begun = reports.size() > 1 ? reports[1] : 0;
        std::printf("import of %d lines, %s: %.2f s (file and columns %.2f s, %s %.2f s, inserts %.2f s), "
                    "%.0f lines/s  (target < %.0f s: %s)\n",
                    ImportLines, append ? "append " : "replace", importSeconds, read,
                    append ? "largest N" : "delete", begun - read, importSeconds - begun,
                    ImportLines / importSeconds, ImportTargetSeconds,
                    importSeconds < ImportTargetSeconds ? "met" : "MISSED");
        right = right && importSeconds < ImportTargetSeconds;
        if (!imported || rows != expected || TextToInt(largest) != expected) {
            std::printf("import: result %d, %d rows, largest N %s (expected %d)\n", imported, rows, largest.c_str(),
                        expected);
            right = false;
        }
    }
    db.DisconnectDatabase();
    return right && exportMedian < ExportTargetSeconds;
}

}  // namespace

int main(int argc, char** argv)
{
    int runs = 3;
    if (argc > 1) {
        runs = std::atoi(argv[1]);
        if (runs < 1) {
            std::fprintf(stderr, "usage: %s [RUNS]\n", argv[0]);
            return 2;
        }
    }
    const std::optional<TestServer> server = FindTestServer();
    if (!server) {
        std::printf("exchange_bench needs the loopback server: QUIZGAME_TEST_SERVER and QUIZGAME_TEST_DATA "
                    "are not set\n"
                    "  (run: eval \"$(bash scripts/firebird-test-server | tail -n 2)\" and export both)\n");
        return 2;
    }
    std::printf("exchange_bench: loopback server %s, steady_clock\n", server->Prefix.c_str());
    std::printf("machine: %u CPUs (%s); Firebird client %s\n", std::thread::hardware_concurrency(), CpuModel().c_str(),
                ClientLibraryVersion().c_str());
    bool right = false;
    if (const auto lost = RunUntilConnectionLost([&] { right = Run(server->Prefix, server->DataRoot, runs); })) {
        std::printf("the connection broke: %s\n", lost->c_str());
        return 1;
    }
    return right ? 0 : 1;
}
