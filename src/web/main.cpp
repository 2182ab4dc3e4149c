// quizgame-web: lets the students' browsers play in the same room as the desktop copies.
#include "app/close_signals.h"
#include "app/file_places.h"
#include "qa/text_exchange.h"
#include "web/teacher_password.h"
#include "web/web_gateway.h"

#include <QCoreApplication>
#include <cstdio>
#include <fstream>
#include <iostream>

namespace {

// A new data folder works at once: the database and the players' table are made as the desktop
// makes them, and with a sample file an empty question bank gets its first questions.
void PrepareDatabase(const WebOptions& options)
{
    QuizDatabase db([path = options.DatabasePath()] { return path; });
    const auto lost = RunUntilConnectionLost([&] {
        db.CreateGameDatabase();
        db.ConnectDatabase();
        ReclaimCloseSignals();
        if (!db.Connected()) return;
        if (!db.TableExists("PLAYER")) db.CreatePlayerTable();
        if (options.SampleFile.empty()) return;
        const std::optional<ImportResult> sample = ImportIntoEmptyBank(db, options.SampleFile);
        if (!sample)
            std::printf("quizgame-web: the question bank has questions; %s left unread\n", options.SampleFile.c_str());
        else if (sample->End == ImportEnd::Imported)
            std::printf("quizgame-web: %zu questions from %s\n", sample->Rows, options.SampleFile.c_str());
        else
            std::fprintf(stderr, "quizgame-web: could not read the questions of %s into the empty bank\n",
                         options.SampleFile.c_str());
    });
    if (lost || !db.Connected())
        std::fprintf(stderr, "quizgame-web: cannot open %s now; sign-ins will try again\n",
                     options.DatabasePath().c_str());
    db.DisconnectDatabase();
}

// --hash-password: one password line on stdin (UTF-8, its end of line dropped, nothing else) to
// its hash line on stdout, for server-setup and scripts/run.
int HashPassword()
{
    std::string line;
    std::getline(std::cin, line);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const QString password = QString::fromUtf8(line);
    if (const std::string fault = TeacherPasswordFault(password); !fault.empty()) {
        std::fprintf(stderr, "quizgame-web: %s\n", fault.c_str());
        return 2;
    }
    std::printf("%s\n", HashTeacherPassword(password).c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && std::string(argv[1]) == "--hash-password") return HashPassword();
    ChooseEmbeddedLockFolder();
    QCoreApplication application(argc, argv);
    WebOptions options;
    if (const std::string error = ParseWebOptions(QCoreApplication::arguments(), options); !error.empty()) {
        std::fprintf(stderr, "quizgame-web: %s\n%s\n", error.c_str(), WebUsage().c_str());
        return 2;
    }
    PrepareDatabase(options);
    WebGateway gateway(options);
    if (!gateway.Start()) {
        std::fprintf(stderr, "quizgame-web: cannot listen on %s port %u\n", options.Listen.c_str(), options.Port);
        return 1;
    }
    std::printf("quizgame-web: serving http://%s:%u/\n", options.Listen.c_str(), gateway.Port());
    std::fflush(stdout);
    CloseOnSignals(&application, [] { QCoreApplication::quit(); });
    const int result = QCoreApplication::exec();
    gateway.Stop();
    if (!options.StatsFile.empty()) std::ofstream(options.StatsFile) << gateway.Figures().Text() << gateway.WatchFigures();
    return result;
}
