// Times the Q&A list window's page loads on 100,000 QUIZQA rows: the real TForm5 under the
// offscreen platform, each load as its buttons run it (clear the grid, run the whole ordered
// SELECT, skip to the page on the client, fill the grid, close the cursor).
//
//   list_bench [RUNS]        (default 7 timed loads per figure, after one warm-up)
//
// Measured on the loopback test server (QUIZGAME_TEST_SERVER, QUIZGAME_TEST_DATA, as printed
// by scripts/firebird-test-server) and on the embedded engine. Each back end gets a fresh
// database in a folder of its own, removed at the end.
#include "bench_support.h"
#include "support/temp_folder.h"
#include "support/test_server.h"
#include "app/main_window.h"
#include "app/program.h"
#include "app/sjis_text.h"
#include "app/unitv.h"
#include "app/window_style.h"
#include "qa/list_window.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QComboBox>
#include <QLineEdit>
#include <QTableWidget>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <system_error>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int RowCount = 100000;
constexpr int LastPageStart = RowCount - 99;  // the last full page: rows 99,901 to 100,000

// 100,000 rows of question-sized Japanese text in one statement on the server: N 1..100,000,
// SN scattered, four question lines, the answer and three wrong answers.
bool Fill(QuizDatabase& db)
{
    const std::string n = std::to_string(RowCount);
    return db.ExecSqlLines({
        "EXECUTE BLOCK AS DECLARE I INTEGER = 1;",
        "BEGIN",
        "  WHILE (I <= " + n + ") DO BEGIN",
        "    INSERT INTO QUIZQA VALUES (:I, MOD(:I * 7919, 100003),",
        Sjis("      '第' || :I || '問：日本で一番高い山は', '次のうち', 'どれでしょうか', '？',"),
        Sjis("      '富士山' || :I, '北岳' || :I, '奥穂高岳', '間ノ岳', MOD(:I, 4) + 1);"),
        "    I = I + 1;",
        "  END",
        "END",
    });
}

double Median(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    const size_t k = samples.size();
    return k % 2 ? samples[k / 2] : (samples[k / 2 - 1] + samples[k / 2]) / 2;
}

QString GridCell(int row, int column)
{
    const QTableWidgetItem* item = Form5->findChild<QTableWidget*>("StringGrid1")->item(row, column);
    return item ? item->text() : QString();
}

struct Load {
    const char* Name;
    std::function<void()> Run;      // one load, as the window's handlers run it
    std::function<bool()> Right;    // whether the grid shows what it should
};

// Times each load; false when a load showed the wrong rows.
bool MeasureLoads(const std::vector<Load>& loads, int runs)
{
    bool right = true;
    std::printf("  %-44s %10s %10s %10s  %s\n", "load", "median ms", "min ms", "max ms", "rows right");
    for (const Load& load : loads) {
        load.Run();  // warm-up
        std::vector<double> samples;
        bool shown = true;
        for (int i = 0; i < runs; ++i) {
            const auto start = Clock::now();
            load.Run();
            const auto stop = Clock::now();
            samples.push_back(std::chrono::duration<double, std::milli>(stop - start).count());
            shown = load.Right() && shown;
        }
        std::printf("  %-44s %10.1f %10.1f %10.1f  %s\n", load.Name, Median(samples),
                    *std::min_element(samples.begin(), samples.end()),
                    *std::max_element(samples.begin(), samples.end()), shown ? "yes" : "NO");
        right = right && shown;
    }
    return right;
}

bool RunBackEnd(const std::string& label, const std::string& server, const std::string& parent, bool openToAll,
                int runs)
{
    std::printf("\n%s\n", label.c_str());
    const TempFolder folder(parent, openToAll);
    AppSettings.ServerName = server;
    AppSettings.DataFolder = folder.Path();
    std::printf("  database %s\n", GameDatabasePath().c_str());

    CreateWindows();
    bool right = false;
    const auto lost = RunUntilConnectionLost([&] {
        QuizDatabase& db = Form1->Database();
        db.CreateGameDatabase();
        if (!db.Connected() || !db.CreateQuizQaTable()) {
            std::printf("  could not create the database and QUIZQA\n");
        } else {
            const auto start = Clock::now();
            const bool filled = Fill(db) && db.CountRows("QUIZQA", "") == RowCount;
            const double fillMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
            if (!filled) {
                std::printf("  could not insert the rows\n");
            } else {
                std::printf("  %d rows inserted and counted in %.0f ms\n", RowCount, fillMs);
                Form5->show();
                const std::vector<Load> loads = {
                    {"first page (PageStart 1, order N)", [] { Form5->Button1Click(); },
                     [] { return GridCell(0, 0) == "1" && GridCell(99, 0) == "100"; }},
                    {"last page (PageStart 99,901, order N)",
                     [] {
                         Form5->PageStart = LastPageStart;
                         Form5->Button4Click();
                     },
                     [] {
                         return GridCell(0, 0) == QString::number(LastPageStart) &&
                                GridCell(99, 0) == QString::number(RowCount) &&
                                Form5->NextPageStart == RowCount + 1;
                     }},
                    {"past the end (PageStart 100,001): empty",
                     [] {
                         Form5->PageStart = RowCount + 1;
                         Form5->Button4Click();
                     },
                     [] { return GridCell(0, 0).isEmpty() && Form5->NextPageStart == RowCount + 1; }},
                    {"first page, order SN DESC (sorted)", [] { Form5->ComboBox1Select(3); },
                     [] { return !GridCell(99, 0).isEmpty() && GridCell(99, 1).toInt() < GridCell(0, 1).toInt(); }},
                    // A full scan of the question lines, as the filter field runs it.
                    {"question filter '99999', first page",
                     [] {
                         Form5->OrderText = std::string("N");
                         Form5->findChild<QLineEdit*>("Edit1")->setText("99999");
                         Form5->findChild<QComboBox*>("ComboBox2")->setCurrentIndex(1);
                         Form5->ComboBox2Select();
                     },
                     [] { return GridCell(0, 0) == "99999" && GridCell(1, 0).isEmpty(); }},
                };
                right = MeasureLoads(loads, runs);
            }
        }
    });
    if (lost) {
        std::printf("  the connection broke: %s\n", lost->c_str());
        right = false;
    }
    DestroyWindows();
    if (!right) std::printf("  SOME LOADS FAILED OR SHOWED THE WRONG ROWS\n");
    return right;
}

}  // namespace

int main(int argc, char** argv)
{
    int runs = 7;
    if (argc > 1) {
        runs = std::atoi(argv[1]);
        if (runs < 1) {
            std::fprintf(stderr, "usage: %s [RUNS]\n", argv[0]);
            return 2;
        }
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // The embedded engine's default lock folder is writable only by the firebird user.
    UseOwnFirebirdLockUnlessRoot();
    QuizApplication application(argc, argv);
    InstallGothicSubstitution();
    std::printf("list_bench: %d rows, median of %d timed loads after one warm-up, steady_clock\n", RowCount, runs);

    bool right = true;
    const std::optional<TestServer> server = FindTestServer();
    if (!server) {
        std::printf("\nloopback server: skipped, QUIZGAME_TEST_SERVER and QUIZGAME_TEST_DATA are not set\n"
                    "  (run: eval \"$(bash scripts/firebird-test-server | tail -n 2)\" and export both)\n");
    } else {
        right = RunBackEnd("loopback server " + server->Prefix, server->Prefix, server->DataRoot, true, runs);
    }
    std::string tempParent = std::filesystem::temp_directory_path().string();
    if (tempParent.back() != '/') tempParent += '/';
    right = RunBackEnd("embedded engine", "", tempParent, false, runs) && right;
    return right ? 0 : 1;
}
