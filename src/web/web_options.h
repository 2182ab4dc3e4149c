// quizgame-web's settings: a small configuration file of "name = value" lines, then the command
// line, which wins.
//
//   listen = 192.0.2.10     the address the pages are served on (only that one)
//   port = 8080             0: any free port (the one taken is printed at start)
//   server = 192.0.2.10:    the Firebird server prefix, as games.dat holds it (empty: embedded)
//   data = /var/lib/firebird/3.0/data/quizgame/
//   workers = 4             threads that run the players' games
//   sample = FILE           questions (the Q&A text file) for a question bank still empty at start
//   teacher-password-file = FILE   the teacher password's hash line (teacher_password.h)
//   sign-ins-per-minute = 10   sign-in attempts one address may make in a minute (devices
//                              behind one NAT address share it)
#pragma once

#include "web/sign_in.h"

#include <QStringList>
#include <cstdint>
#include <string>

// $CREDENTIALS_DIRECTORY/teacher when systemd passes credentials to the service, else
// /etc/quizgame/teacher.pass.
std::string DefaultTeacherPasswordFile();

struct WebOptions {
    std::string Listen = "127.0.0.1";
    uint16_t Port = 8080;
    std::string ServerName;  // CP932, as games.dat holds it
    std::string DataFolder;  // CP932, ending in '/'
    int Workers = 4;
    std::string SampleFile;  // empty: none
    std::string TeacherPasswordFile = DefaultTeacherPasswordFile();
    int SignInsPerMinute = SignInLimits::DefaultAttemptsPerAddress;
    // For tests: the game's pace, a fraction of the real one.
    double TimeScale = 1.0;
    // For the load benchmark: where the figures go when the gateway ends.
    std::string StatsFile;

    // ServerName + DataFolder + "GAMES.FDB".
    std::string DatabasePath() const;
};

// Fills options from the configuration file named by --config (when given) and the other
// arguments (arguments[0] is the program); an error text, or empty.
std::string ParseWebOptions(const QStringList& arguments, WebOptions& options);
std::string WebUsage();
