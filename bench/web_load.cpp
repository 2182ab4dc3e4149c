// Plays whole games through quizgame-web with many simulated browsers in one room, at the real
// pace, on the loopback test server, and prints: every game's time from its first question to
// its result against the least time the room protocol needs, whether every game ended with the
// points its players earned, the gateway's work per tick and the delay of its messages (from
// its --stats file), and its peak memory, in all and per browser player.
//
//   web_load [--browsers N] [--games G] [--bank B] [--desktop M] [--workers W] [--projector 0|1]
//            (default: 40 browsers, 3 games, 200 questions, no desktop players, no projector)
//
// The gateway runs as a child process on 127.0.0.1 (a free port) over a fresh database with a
// bank of B questions. Each browser registers a name of its own through /api/signin, opens the
// page's WebSocket with the session cookie and its own origin, presses ready once the lobby
// lists every player, and answers each question after a delay drawn anew per question within
// its answer time: the right choice six times in ten, else one of the wrong ones. It knows the
// right choice by its text ("right <number of the bank row>"), as a student who knows the
// answer; the question's number gives its length. --desktop adds M desktop programs
// (tests/quiz_player, as game_bench runs them, always right, 100..900 ms) to the same room.
// --projector 1 opens the classroom's screen as the teacher for the whole run. The gateway's
// room watch (which keeps the record) runs either way; its work per look is printed too.
// Needs QUIZGAME_TEST_SERVER and QUIZGAME_TEST_DATA, as printed by scripts/firebird-test-server.
#include "app/sjis_text.h"
#include "app/unitv.h"
#include "bench_support.h"
#include "db/quiz_database.h"

#include "support/player_processes.h"
#include "support/temp_folder.h"
#include "support/test_server.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QProcess>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTimer>
#include <QWebSocket>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

constexpr char Password[] = "pass1234";
const QByteArray TeacherPassword = "bench-teacher";

// The text of bank row n (from 1): the ten texts in turn, each ending in its number.
std::string BankText(int n)
{
    const auto texts = QuestionTexts();
    return texts[static_cast<size_t>(n - 1) % texts.size()] + " " + std::to_string(n);
}

// The desktop players (player1..) and the bank; the right answer names its row.
bool Fill(QuizDatabase& db, int desktops, int bank)
{
    if (!db.CreatePlayerTable() || !db.CreateQuizQaTable()) return false;
    for (int n = 1; n <= desktops; ++n)
        if (!db.InsertText("PLAYER", "N,PNAME,PASWD,POINTS", std::to_string(n) + ",'player" + std::to_string(n) + "','12345678',0"))
            return false;
    for (int i = 1; i <= bank; ++i)
        if (!db.InsertText("QUIZQA", "N,SN,Q1,ANS,AN1,AN2,AN3,ANN",
                           std::to_string(i) + ",0,'" + BankText(i) + "','right " + std::to_string(i) + "','one','two','three',1"))
            return false;
    return true;
}

// Reveal and answer ticks of a question whose text is `bytes` long (two bytes a tick, then 6).
int WholeTicks(size_t bytes) { return static_cast<int>((bytes + 1) / 2) + 6; }

// As game_bench: the question ends on the first read (every second tick, the first reveal tick
// reads) after the slowest answer, at the latest when its answer time runs out; then the
// ShowAnswer, WaitShown, Judge and WaitJudged ticks and the load of the next (or the result).
int QuestionTicks(size_t bytes, int slowestDelayMs)
{
    int r = 1;
    while (r * TickMs <= slowestDelayMs) r += 2;
    return 5 + std::min(r, WholeTicks(bytes));
}

double Ms(SteadyTime from, SteadyTime to) { return std::chrono::duration<double, std::milli>(to - from).count(); }

std::string LoadAverage()
{
    std::ifstream file("/proc/loadavg");
    std::string one, five, fifteen;
    file >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

// A line of /proc/PID/status in KiB ("VmRSS", "VmHWM").
long StatusKb(qint64 pid, const std::string& key)
{
    std::ifstream file("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(file, line))
        if (line.rfind(key + ":", 0) == 0) return std::atol(line.c_str() + key.size() + 1);
    return -1;
}

// One question as a browser played it.
struct QuestionSeen {
    size_t Bytes = 0;
    int DelayMs = -1;  // -1: not answered
    int Button = 0;
    int Correct = 0;        // as shown at judging
    QJsonArray Answers;     // the last list before the next question
};

struct GameSeen {
    std::optional<SteadyTime> FirstQuestion;
    std::optional<SteadyTime> Result;
    std::map<int, QuestionSeen> Questions;
    QJsonArray Members;  // the list the result stood on
};

struct Browser {
    std::string Name;  // ASCII, so the same in CP932 and UTF-8
    QByteArray Cookie;
    std::unique_ptr<QWebSocket> Socket;
    QString State;
    int QuestionNo = 0;
    bool CanAnswer = false, CanReady = false, ReadySent = false, Done = false, Failed = false;
    int AnswerFor = 0;  // the question whose answer is given or due
    QJsonArray Members;
    std::vector<GameSeen> Games;
    std::string Notice;
};

struct Run {
    int Browsers = 40;
    int Games = 3;
    int Bank = 200;
    int Desktops = 0;
    int Workers = 0;  // the gateway's default
    bool Projector = false;  // the classroom's screen open as the teacher's
};

class LoadRun {
public:
    LoadRun(const Run& run, const TestServer& server, std::mt19937& random) : Options(run), Server(server), Random(random) {}
    int Go();

private:
    bool StartGateway();
    bool SignInAll();
    // Signs in as the teacher and opens the classroom's screen; it counts the views it gets.
    bool OpenProjector();
    void OnMessage(Browser& b, const QString& text);
    void Answer(Browser& b, const QJsonArray& choices);
    bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout);

    Run Options;
    TestServer Server;
    std::mt19937& Random;
    std::unique_ptr<TempFolder> Folder;
    QProcess Gateway;
    uint16_t Port = 0;
    QByteArray Origin;
    std::vector<std::unique_ptr<Browser>> Browsers;
    std::vector<std::unique_ptr<TempFolder>> Homes;
    std::vector<std::unique_ptr<PlayerProcess>> Desktops;
    std::vector<std::unique_ptr<QSocketNotifier>> Notifiers;
    std::vector<int> DesktopDelays;
    std::unique_ptr<QWebSocket> Projector;
    int ProjectorViews = 0;
};

bool LoadRun::WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout)
{
    // Sleeps in the event loop between looks, so that the browsers' side takes no more of the
    // processor than its messages need.
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, &loop, [&] {
        if (done() || clock.elapsed() > timeout.count()) loop.quit();
    });
    look.start(20);
    if (!done()) loop.exec();
    return done();
}

bool LoadRun::StartGateway()
{
    {
        QTcpServer probe;
        if (!probe.listen(QHostAddress::LocalHost, 0)) return false;
        Port = probe.serverPort();
    }
    Origin = "http://127.0.0.1:" + QByteArray::number(Port);
    const std::string web = (std::filesystem::path(SiblingProgram("web_load")).parent_path().parent_path() / "quizgame-web").string();
    QStringList arguments = {"--listen", "127.0.0.1", "--port", QString::number(Port), "--server",
                             QString::fromStdString(Server.Prefix), "--data", QString::fromStdString(Folder->Path()),
                             "--sign-ins-per-minute", "100000", "--stats", QString::fromStdString(Folder->File("stats.txt")),
                             "--teacher-password-file", QString::fromStdString(Folder->File("teacher.pass"))};
    {
        QProcess hash;
        hash.start(QString::fromStdString(web), {"--hash-password"});
        hash.write(TeacherPassword + "\n");
        hash.closeWriteChannel();
        if (!hash.waitForFinished(10000) || hash.exitCode() != 0) return false;
        std::ofstream(Folder->File("teacher.pass")) << hash.readAllStandardOutput().toStdString();
    }
    if (Options.Workers > 0) arguments << "--workers" << QString::number(Options.Workers);
    Gateway.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    Gateway.start(QString::fromStdString(web), arguments);
    if (!Gateway.waitForStarted(10000)) return false;
    QByteArray out;
    while (!out.contains("serving") && Gateway.waitForReadyRead(10000)) out += Gateway.readAllStandardOutput();
    return out.contains("serving");
}

bool LoadRun::SignInAll()
{
    QNetworkAccessManager network;
    int pending = Options.Browsers;
    for (int i = 1; i <= Options.Browsers; ++i) {
        auto browser = std::make_unique<Browser>();
        browser->Name = "web" + std::to_string(i);
        Browser* b = browser.get();
        Browsers.push_back(std::move(browser));
        QNetworkRequest request(QUrl(QString::fromLatin1(Origin) + "/api/signin"));
        request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
        request.setRawHeader("Origin", Origin);
        const QByteArray body = QJsonDocument(QJsonObject{{"name", QString::fromStdString(b->Name)}, {"password", Password}})
                                    .toJson(QJsonDocument::Compact);
        QNetworkReply* reply = network.post(request, body);
        QObject::connect(reply, &QNetworkReply::finished, [reply, b, &pending] {
            const QJsonObject answer = QJsonDocument::fromJson(reply->readAll()).object();
            const QByteArray cookie = reply->rawHeader("Set-Cookie");
            if (answer.value("ok").toBool() && cookie.startsWith("quiz_session=")) b->Cookie = cookie.left(cookie.indexOf(';'));
            else b->Notice = "sign-in refused: " + answer.value("message").toString().toStdString();
            reply->deleteLater();
            --pending;
        });
    }
    WaitFor([&] { return pending == 0; }, 120s);
    return std::all_of(Browsers.begin(), Browsers.end(), [](const auto& b) { return !b->Cookie.isEmpty(); });
}

bool LoadRun::OpenProjector()
{
    QNetworkAccessManager network;
    QNetworkRequest request(QUrl(QString::fromLatin1(Origin) + "/api/teacher/signin"));
    request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
    request.setRawHeader("Origin", Origin);
    QNetworkReply* reply = network.post(request, "{\"password\":\"" + TeacherPassword + "\"}");
    WaitFor([reply] { return reply->isFinished(); }, 30s);
    const QByteArray cookie = reply->rawHeader("Set-Cookie");
    reply->deleteLater();
    if (!cookie.startsWith("quiz_teacher=")) return false;
    Projector = std::make_unique<QWebSocket>(QString::fromLatin1(Origin));
    QObject::connect(Projector.get(), &QWebSocket::textMessageReceived, [this] { ++ProjectorViews; });
    QNetworkRequest socket(QUrl("ws://127.0.0.1:" + QString::number(Port) + "/projector/ws"));
    socket.setRawHeader("Cookie", cookie.left(cookie.indexOf(';')));
    Projector->open(socket);
    return WaitFor([this] { return ProjectorViews > 0; }, 30s);
}

void LoadRun::Answer(Browser& b, const QJsonArray& choices)
{
    // The right choice names its bank row, and so the question's text and length.
    int right = 0, row = 0;
    for (int k = 1; k <= 4; ++k) {
        const QString text = choices.at(k - 1).toString();
        if (text.startsWith("right ")) right = k, row = text.mid(6).toInt();
    }
    if (right == 0) return;
    GameSeen& game = b.Games.back();
    QuestionSeen& q = game.Questions[b.QuestionNo];
    q.Bytes = BankText(row).size();
    const int latest = WholeTicks(q.Bytes) * TickMs - 500;
    q.DelayMs = std::uniform_int_distribution<int>(100, latest)(Random);
    int button = right;
    if (std::uniform_int_distribution<int>(1, 10)(Random) > 6)
        while (button == right) button = std::uniform_int_distribution<int>(1, 4)(Random);
    q.Button = button;
    const int no = b.QuestionNo;
    const size_t gameIndex = b.Games.size();
    QTimer::singleShot(q.DelayMs, b.Socket.get(), [&b, no, gameIndex, button] {
        if (b.QuestionNo != no || b.Games.size() != gameIndex || !b.CanAnswer) {
            b.Games[gameIndex - 1].Questions[no].DelayMs = -1;
            return;
        }
        b.Socket->sendTextMessage(QJsonDocument(QJsonObject{{"type", "answer"}, {"button", button}}).toJson(QJsonDocument::Compact));
    });
}

void LoadRun::OnMessage(Browser& b, const QString& text)
{
    const QJsonObject m = QJsonDocument::fromJson(text.toUtf8()).object();
    const auto now = std::chrono::steady_clock::now();
    if (m.value("type") == "notice") {
        if (m.value("left").toBool() && !b.Done) b.Failed = true;
        b.Notice = m.value("text").toString().toStdString();
        return;
    }
    if (m.value("type") != "view" || b.Done) return;
    b.State = m.value("state").toString();
    b.QuestionNo = m.value("question_no").toInt();
    if (m.contains("can_answer")) b.CanAnswer = m.value("can_answer").toBool();
    if (m.contains("can_ready")) b.CanReady = m.value("can_ready").toBool();
    if (m.contains("members")) b.Members = m.value("members").toArray();
    const int total = Options.Browsers + Options.Desktops;
    if (b.State == "lobby" && b.CanReady && !b.ReadySent && b.Members.size() >= total) {
        b.ReadySent = true;
        b.Socket->sendTextMessage(R"({"type":"ready"})");
    }
    if (b.State != "question" && b.State != "judging") return;
    if (b.Games.size() == static_cast<size_t>(std::count_if(b.Games.begin(), b.Games.end(), [](const GameSeen& g) { return g.Result.has_value(); })))
        b.Games.emplace_back();
    GameSeen& game = b.Games.back();
    if (b.State == "question") {
        b.ReadySent = false;
        if (b.QuestionNo == 1 && !game.FirstQuestion) game.FirstQuestion = now;
        if (m.contains("choices") && b.CanAnswer && b.AnswerFor != b.QuestionNo) {
            b.AnswerFor = b.QuestionNo;
            Answer(b, m.value("choices").toArray());
        }
    }
    if (b.State == "judging") {
        QuestionSeen& q = game.Questions[b.QuestionNo];
        if (m.contains("correct")) q.Correct = m.value("correct").toInt();
        if (m.contains("answers")) q.Answers = m.value("answers").toArray();
    }
}

int LoadRun::Go()
{
    const int total = Options.Browsers + Options.Desktops;
    Folder = std::make_unique<TempFolder>(Server.DataRoot, true);
    AppSettings.ServerName = Server.Prefix;
    AppSettings.DataFolder = Folder->Path();
    QuizDatabase db{GameDatabasePath};
    db.CreateGameDatabase();
    if (!db.Connected() || !Fill(db, Options.Desktops, Options.Bank)) {
        std::printf("cannot create the database %s\n", GameDatabasePath().c_str());
        return 1;
    }
    std::printf("\n%d browsers%s, %d game(s), bank %d; load average at start %s\n", Options.Browsers,
                Options.Desktops ? (" + " + std::to_string(Options.Desktops) + " desktop players").c_str() : "",
                Options.Games, Options.Bank, LoadAverage().c_str());
    if (!StartGateway()) {
        std::printf("  quizgame-web did not start\n");
        return 1;
    }
    std::this_thread::sleep_for(1s);
    const long idleRssKb = StatusKb(Gateway.processId(), "VmRSS");
    if (!SignInAll()) {
        for (const auto& b : Browsers)
            if (b->Cookie.isEmpty()) std::printf("  %s: %s\n", b->Name.c_str(), b->Notice.c_str());
        Gateway.terminate();
        Gateway.waitForFinished(30000);
        return 1;
    }
    int open = 0;
    for (auto& browser : Browsers) {
        Browser* b = browser.get();
        b->Socket = std::make_unique<QWebSocket>(QString::fromLatin1(Origin));
        QObject::connect(b->Socket.get(), &QWebSocket::connected, [&open] { ++open; });
        QObject::connect(b->Socket.get(), &QWebSocket::textMessageReceived, [this, b](const QString& text) { OnMessage(*b, text); });
        QNetworkRequest request(QUrl("ws://127.0.0.1:" + QString::number(Port) + "/ws"));
        request.setRawHeader("Cookie", b->Cookie);
        b->Socket->open(request);
    }
    if (!WaitFor([&] { return open == Options.Browsers; }, 60s)) std::printf("  only %d of %d sockets opened\n", open, Options.Browsers);
    if (Options.Projector && !OpenProjector()) std::printf("  the classroom's screen did not open\n");

    // The desktop players, as game_bench starts them.
    std::uniform_int_distribution<int> delay(100, 900);
    const std::string player =
        (std::filesystem::path(SiblingProgram("web_load")).parent_path().parent_path() / "tests" / "quiz_player").string();
    for (int n = 1; n <= Options.Desktops; ++n) {
        DesktopDelays.push_back(delay(Random));
        Homes.push_back(std::make_unique<TempFolder>());
        const std::string& home = Homes.back()->Path();
        Homes.back()->Write("games.dat", Server.Prefix + "\r\n" + Folder->Path() + "\r\n" + std::to_string(n) + "\r\nplayer" +
                                             std::to_string(n) + "\r\n12345678\r\n");
        Desktops.push_back(std::make_unique<PlayerProcess>(
            player,
            std::vector<std::string>{"--dir", home, "--answers", "c,c,c,c,c,c,c,c,c,c", "--answer-delay-ms",
                                     std::to_string(DesktopDelays.back()), "--wait-members", std::to_string(total), "--games",
                                     std::to_string(Options.Games)},
            home + "stderr.txt"));
        PlayerProcess* p = Desktops.back().get();
        Notifiers.push_back(std::make_unique<QSocketNotifier>(p->OutputFd(), QSocketNotifier::Read));
        QSocketNotifier* notifier = Notifiers.back().get();
        QObject::connect(notifier, &QSocketNotifier::activated, [p, notifier] {
            p->ReadAvailable();
            // At the end of its output the player's pipe is closed.
            if (p->OutputFd() < 0) notifier->setEnabled(false);
        });
    }

    // Each browser leaves after its last result; the desktop players close by themselves.
    for (auto& browser : Browsers) {
        Browser* b = browser.get();
        // The result is shown by the tick after the last barrier (the top score in "progress");
        // the message that first says "result" carries only that barrier's member list.
        QObject::connect(b->Socket.get(), &QWebSocket::textMessageReceived, [this, b](const QString& text) {
            if (b->Done || b->Games.empty() || b->State != "result" || b->Games.back().Result) return;
            if (QJsonDocument::fromJson(text.toUtf8()).object().value("progress").toString().isEmpty()) return;
            GameSeen& game = b->Games.back();
            game.Result = std::chrono::steady_clock::now();
            game.Members = b->Members;
            b->AnswerFor = 0;
            if (static_cast<int>(b->Games.size()) == Options.Games) {
                b->Done = true;
                b->Socket->sendTextMessage(R"({"type":"leave"})");
            }
        });
    }
    // A line every minute on where the browsers are, so that a stall shows where it stands.
    QTimer progress;
    QElapsedTimer since;
    since.start();
    QObject::connect(&progress, &QTimer::timeout, [&] {
        std::map<std::string, int> states;
        for (const auto& b : Browsers)
            ++states[b->Done ? "done" : b->State.toStdString() + " q" + std::to_string(b->QuestionNo) + " g" +
                                            std::to_string(b->Games.size())];
        std::string line;
        for (const auto& [state, count] : states) line += " " + std::to_string(count) + " " + state + ";";
        std::printf("  [%lld s, load %s]%s\n", since.elapsed() / 1000, LoadAverage().c_str(), line.c_str());
    });
    progress.start(60000);
    const bool ended = WaitFor(
        [&] {
            for (auto& p : Desktops) p->ReadAvailable();
            return std::all_of(Browsers.begin(), Browsers.end(), [](const auto& b) { return b->Done || b->Failed; }) &&
                   std::none_of(Desktops.begin(), Desktops.end(), [](const auto& p) { return p->Running(); });
        },
        std::chrono::seconds(300 * Options.Games));
    const std::string loadAtEnd = LoadAverage();
    const long peakRssKb = StatusKb(Gateway.processId(), "VmHWM");
    for (auto& p : Desktops) {
        p->ReadAvailable();
        if (p->Running()) p->Kill();
    }
    for (auto& b : Browsers) b->Socket->close();
    WaitFor([] { return false; }, 300ms);
    Gateway.terminate();
    Gateway.waitForFinished(60000);

    // Did every game finish for everyone?
    int finished = 0;
    for (const auto& b : Browsers)
        if (b->Done && std::all_of(b->Games.begin(), b->Games.end(), [](const GameSeen& g) { return g.Result.has_value(); }))
            ++finished;
    for (const auto& p : Desktops)
        if (p->All("result").size() == static_cast<size_t>(Options.Games) && p->ExitCode() == 0) ++finished;
    std::printf("  finished every game: %d of %d%s\n", finished, total, ended ? "" : " (timed out)");
    bool right = finished == total;
    for (const auto& b : Browsers)
        if (!b->Done) std::printf("  %s stopped in state %s at question %d: %s\n", b->Name.c_str(), qPrintable(b->State),
                                  b->QuestionNo, b->Notice.c_str());

    // Each game's time against the protocol's least.
    for (int g = 0; g < Options.Games && right; ++g) {
        SteadyTime first = SteadyTime::max(), last{};
        std::map<int, std::pair<size_t, int>> questions;  // bytes, slowest delay
        for (const auto& b : Browsers) {
            const GameSeen& game = b->Games[static_cast<size_t>(g)];
            if (game.FirstQuestion) first = std::min(first, *game.FirstQuestion);
            last = std::max(last, *game.Result);
            for (const auto& [no, q] : game.Questions) {
                auto& slot = questions[no];
                if (q.Bytes) slot.first = q.Bytes;
                slot.second = std::max(slot.second, q.DelayMs);
            }
        }
        for (size_t d = 0; d < Desktops.size(); ++d) {
            const auto q1 = Desktops[d]->All("question 1 ");
            const auto results = Desktops[d]->All("result");
            if (q1.size() > static_cast<size_t>(g)) first = std::min(first, q1[static_cast<size_t>(g)].At);
            if (results.size() > static_cast<size_t>(g)) last = std::max(last, results[static_cast<size_t>(g)].At);
            for (auto& [no, slot] : questions) slot.second = std::max(slot.second, DesktopDelays[d]);
        }
        int64_t minimum = 0;
        for (const auto& [no, slot] : questions) minimum += static_cast<int64_t>(QuestionTicks(slot.first, slot.second)) * TickMs + JudgePauseMs;
        const double span = Ms(first, last);
        std::printf("  game %d: %.1f s from question 1 to the last result; minimum %.1f s; ratio %.3f (%zu questions)\n", g + 1,
                    span / 1000.0, static_cast<double>(minimum) / 1000.0, span / static_cast<double>(minimum), questions.size());
        if (g > 0) {
            SteadyTime lastResult{}, firstQuestion = SteadyTime::max();
            for (const auto& b : Browsers) {
                lastResult = std::max(lastResult, *b->Games[static_cast<size_t>(g - 1)].Result);
                firstQuestion = std::min(firstQuestion, *b->Games[static_cast<size_t>(g)].FirstQuestion);
            }
            std::printf("  result of game %d to question 1 of game %d: %.1f s (protocol minimum %.1f s)\n", g, g + 1,
                        Ms(lastResult, firstQuestion) / 1000.0, BetweenGamesMinimumMs / 1000.0);
        }
    }

    // Points: every page saw the same final list; each browser's game points are the questions
    // its own answer list judged it first right in; the player table holds each top scorer's
    // share (1/s) of every game.
    if (right) {
        bool agreed = true;
        int judgedRight = 0, answered = 0, answeredRight = 0;
        std::map<std::string, double> expected;
        for (int g = 0; g < Options.Games; ++g) {
            const QJsonArray& members = Browsers.front()->Games[static_cast<size_t>(g)].Members;
            int top = 0;
            for (const auto& m : members) top = std::max(top, m.toObject().value("points").toInt());
            std::vector<std::string> winners;
            for (const auto& m : members)
                if (top > 0 && m.toObject().value("points").toInt() == top) winners.push_back(m.toObject().value("name").toString().toStdString());
            for (const std::string& name : winners) expected[name] += 1.0 / static_cast<double>(winners.size());
            for (const auto& b : Browsers) {
                const QJsonArray& seen = b->Games[static_cast<size_t>(g)].Members;
                if (seen == members) continue;
                if (agreed)
                    std::printf("  game %d: %s's result stood on %s\n  where %s's stood on %s\n", g + 1, b->Name.c_str(),
                                QJsonDocument(seen).toJson(QJsonDocument::Compact).constData(), Browsers.front()->Name.c_str(),
                                QJsonDocument(members).toJson(QJsonDocument::Compact).constData());
                agreed = false;
            }
        }
        for (const auto& b : Browsers) {
            bool all = true;
            for (int g = 0; g < Options.Games; ++g) {
                const GameSeen& game = b->Games[static_cast<size_t>(g)];
                int won = 0;
                for (const auto& [no, q] : game.Questions) {
                    if (q.DelayMs >= 0) ++answered, answeredRight += q.Button == q.Correct;
                    for (const auto& a : q.Answers)
                        if (a.toObject().value("button").toInt() == q.Correct) {
                            won += a.toObject().value("name").toString().toStdString() == b->Name;
                            break;
                        }
                }
                int points = -1;
                for (const auto& m : game.Members)
                    if (m.toObject().value("name").toString().toStdString() == b->Name) points = m.toObject().value("points").toInt();
                all = all && points == won;
            }
            judgedRight += all;
        }
        int wrong = 0;
        std::vector<std::string> names;
        for (const auto& b : Browsers) names.push_back(b->Name);
        for (int n = 1; n <= Options.Desktops; ++n) names.push_back("player" + std::to_string(n));
        for (const std::string& name : names) {
            std::string points;
            db.SelectFirstValue("POINTS", "PLAYER", "PNAME='" + name + "'", points);
            if (std::fabs(TextToFloat(points) - expected[name]) <= 1e-9) continue;
            ++wrong;
            std::printf("  %s: %s in the player table, %.6f expected\n", name.c_str(), points.c_str(), expected[name]);
        }
        std::printf("  browsers' answers: %d given, %d right; every page saw the same result: %s\n", answered, answeredRight,
                    agreed ? "yes" : "NO");
        std::printf("  game points as each browser's own answer list judged: %d of %d; points in the player table as "
                    "the results give them: %d of %d\n",
                    judgedRight, Options.Browsers, static_cast<int>(names.size()) - wrong, static_cast<int>(names.size()));
        right = agreed && wrong == 0 && judgedRight == Options.Browsers;
    }

    // The gateway's figures.
    std::map<std::string, std::vector<double>> samples;
    std::ifstream stats(Folder->File("stats.txt"));
    for (std::string line; std::getline(stats, line);) {
        std::istringstream words(line);
        std::string name, list;
        words >> name >> list;
        for (const double us : CommaNumbers(list)) samples[name].push_back(us / 1000.0);
    }
    for (auto& [name, values] : samples) std::sort(values.begin(), values.end());
    const auto& work = samples["tick-work-us"];
    const auto& delivery = samples["delivery-us"];
    const auto& watch = samples["watch-us"];
    std::printf("  gateway tick work p50 %.2f ms, p99 %.2f ms, max %.2f ms (%zu ticks)\n", Percentile(work, 0.5),
                Percentile(work, 0.99), work.empty() ? 0.0 : work.back(), work.size());
    std::printf("  delivery p50 %.2f ms, p99 %.2f ms, max %.2f ms (%zu messages)\n", Percentile(delivery, 0.5),
                Percentile(delivery, 0.99), delivery.empty() ? 0.0 : delivery.back(), delivery.size());
    std::printf("  room watch and record per look p50 %.2f ms, p99 %.2f ms, max %.2f ms (%zu looks)%s\n", Percentile(watch, 0.5),
                Percentile(watch, 0.99), watch.empty() ? 0.0 : watch.back(), watch.size(),
                Options.Projector ? (", classroom's screen open: " + std::to_string(ProjectorViews) + " views").c_str() : "");
    std::printf("  gateway memory: idle %.1f MiB, peak %.1f MiB, per browser player %.2f MiB\n", idleRssKb / 1024.0,
                peakRssKb / 1024.0, static_cast<double>(peakRssKb - idleRssKb) / 1024.0 / Options.Browsers);
    std::printf("  load average at end %s\n", loadAtEnd.c_str());
    std::string ignored;
    db.SelectFirstValue("N", "PLAYER", "N=1", ignored);
    db.DisconnectDatabase();
    return right ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    Run run;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        const int value = std::atoi(argv[i + 1]);
        if (name == "--browsers") run.Browsers = value;
        else if (name == "--games") run.Games = value;
        else if (name == "--bank") run.Bank = value;
        else if (name == "--desktop") run.Desktops = value;
        else if (name == "--workers") run.Workers = value;
        else if (name == "--projector") run.Projector = value != 0;
        else run.Browsers = 0;
    }
    if (argc % 2 == 0 || run.Browsers < 1 || run.Browsers > 1000 || run.Games < 1 || run.Games > 10 || run.Bank < 1 ||
        run.Desktops < 0 || run.Desktops > 64 || run.Workers < 0) {
        std::fprintf(stderr, "usage: %s [--browsers N] [--games G] [--bank B] [--desktop M] [--workers W] [--projector 0|1]\n", argv[0]);
        return 2;
    }
    const std::optional<TestServer> server = FindTestServer();
    if (!server) {
        std::fprintf(stderr, "QUIZGAME_TEST_SERVER and QUIZGAME_TEST_DATA are not set; run scripts/firebird-test-server\n");
        return 2;
    }
    std::printf("web_load: real pace, tick %d ms, judge pause %d ms, final pause %d ms; %s, %u CPUs; seed %u\n", TickMs,
                JudgePauseMs, FinalPauseMs, CpuModel().c_str(), std::thread::hardware_concurrency(), Seed);
    std::printf("game minimum = T * sum over q of (5 + R_q) + 10 * 1000 ms, R_q = min(ceil(L_q / 2) + 6, first odd k with "
                "k * T > the slowest answer delay of q)\n");
    std::mt19937 random(Seed);
    return LoadRun(run, *server, random).Go();
}
