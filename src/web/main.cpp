// quizgame-web: lets the students' browsers play in the same room as the desktop copies.
#include "app/close_signals.h"
#include "app/file_places.h"
#include "web/web_gateway.h"

#include <QCoreApplication>
#include <cstdio>
#include <fstream>

int main(int argc, char** argv)
{
    ChooseEmbeddedLockFolder();
    QCoreApplication application(argc, argv);
    WebOptions options;
    if (const std::string error = ParseWebOptions(QCoreApplication::arguments(), options); !error.empty()) {
        std::fprintf(stderr, "quizgame-web: %s\n%s\n", error.c_str(), WebUsage().c_str());
        return 2;
    }
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
    if (!options.StatsFile.empty()) std::ofstream(options.StatsFile) << gateway.Figures().Text();
    return result;
}
