// A headless player for whole-game tests: runs the real main window and play window under the
// offscreen platform with the settings file of its own folder, presses ready, answers each
// question as scripted and prints what it saw, one line per event.
//
//   quiz_player --dir DIR [--games N] [--answers TOKENS] [--answer-delay-ms MS]
//               [--time-scale F] [--quit-at Q] [--freeze-at Q] [--no-ready]
//               [--wait-members N] [--tick-stats] [--trace] [--screenshot FILE]
//               [--reconnect-server PREFIX]
//
// DIR holds games.dat. TOKENS is one token per question, comma separated, reused for every
// game: c (the correct button), w (a wrong one), 1 to 4, or - (no answer); missing tokens
// mean no answer. Each membership of a room starts with "joined member=N" (0: no row); each
// judged question gives "judged Q label=" and the judgement's text.
// --quit-at closes the play window when question Q is shown; --freeze-at stops responding
// there (the test then kills the process). --wait-members presses ready only once the lobby
// lists at least N members, so that players started together play together. --tick-stats
// prints after each result the ticks so far ("game-ticks game=G ticks=K"), and two lines at
// the end: the number of ticks, the median and 99th percentile of a
// tick's work (pauses left out), the slowest tick and its state, the statements per tick;
// then every tick's work in microseconds, the positions in it of the ticks that began at a
// result ("at-result-ticks I,J,...": the result, its pause and the next room's join), a line
// per kind of database operation with its count, total and slowest time ("timing count=..
// total_us=.. max_us=.. kind=.."), and the process's peak resident memory ("peak-rss-kb N"). --trace prints a line per tick: its moment
// on the steady clock, the states it ran and left, the question, its work and statements, and
// the sizes of the two lists. --screenshot saves a picture of the play window to
// FILE while question 2 is open and this player has answered, for a look at the window.
// When the play window stops for a lost connection it prints "stopped" with LabelB's text, and
// "resumed state=N" once it has connected again by itself; "behind" when it left a game the
// others played on without it;
// with --reconnect-server it then waits for the file DIR/reconnect, closes the play window,
// enters PREFIX as the server in the settings window, presses OK and plays again, pressing
// ready without waiting for other members.
#include "app/dialogs.h"
#include "app/main_window.h"
#include "app/program.h"
#include "app/sjis_text.h"
#include "app/window_style.h"
#include "game/play_window.h"
#include "player/settings_window.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

struct Options {
    std::string Dir;
    int Games = 1;
    std::vector<std::string> Answers;
    int AnswerDelayMs = 0;
    double TimeScale = 1.0;
    int QuitAt = 0;
    int FreezeAt = 0;
    std::string Screenshot;
    bool Ready = true;
    size_t WaitMembers = 0;
    bool TickStats = false;
    bool Trace = false;
    std::string ReconnectServer;
};

void Say(const std::string& line)
{
    std::fprintf(stdout, "%s\n", line.c_str());
    std::fflush(stdout);
}

std::string Utf8(const std::string& sjis) { return ToQt(sjis).toStdString(); }

// Messages are printed and answered at once, as a user would press OK.
class PrintingDialogs : public Dialogs {
public:
    void Message(QWidget*, const std::string& text) override { Say("message " + Utf8(text)); }
    bool Confirm(QWidget*, const std::string& text) override
    {
        Say("confirm " + Utf8(text));
        return false;
    }
    std::optional<std::string> OpenFile(QWidget*, const FileDialogOptions&) override { return std::nullopt; }
    std::optional<std::string> SaveFile(QWidget*, const FileDialogOptions&) override { return std::nullopt; }
};

std::vector<std::string> Split(const std::string& text)
{
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= text.size()) {
        const size_t comma = text.find(',', start);
        parts.push_back(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return parts;
}

bool Parse(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        const bool flag = name == "--no-ready" || name == "--tick-stats" || name == "--trace";
        if (i + 1 >= argc && !flag) return false;
        if (name == "--dir") options.Dir = argv[++i];
        else if (name == "--games") options.Games = std::atoi(argv[++i]);
        else if (name == "--answers") options.Answers = Split(argv[++i]);
        else if (name == "--answer-delay-ms") options.AnswerDelayMs = std::atoi(argv[++i]);
        else if (name == "--time-scale") options.TimeScale = std::atof(argv[++i]);
        else if (name == "--quit-at") options.QuitAt = std::atoi(argv[++i]);
        else if (name == "--freeze-at") options.FreezeAt = std::atoi(argv[++i]);
        else if (name == "--no-ready") options.Ready = false;
        else if (name == "--wait-members") options.WaitMembers = static_cast<size_t>(std::atoi(argv[++i]));
        else if (name == "--tick-stats") options.TickStats = true;
        else if (name == "--trace") options.Trace = true;
        else if (name == "--screenshot") options.Screenshot = argv[++i];
        else if (name == "--reconnect-server") options.ReconnectServer = argv[++i];
        else return false;
    }
    return !options.Dir.empty();
}

// The button this player presses for question q, or 0 for none.
int ChosenButton(const Options& options, int q, int correct)
{
    const std::string token = q - 1 < static_cast<int>(options.Answers.size()) ? options.Answers[q - 1] : "-";
    if (token == "c") return correct >= 1 && correct <= 3 ? correct : 4;
    if (token == "w") return correct == 1 ? 2 : 1;
    if (token.size() == 1 && token[0] >= '1' && token[0] <= '4') return token[0] - '0';
    return 0;
}

// Nearest-rank percentile of sorted samples.
int64_t Percentile(const std::vector<int64_t>& sorted, double fraction)
{
    if (sorted.empty()) return 0;
    const auto rank = static_cast<size_t>(std::ceil(fraction * static_cast<double>(sorted.size())));
    return sorted[std::clamp<size_t>(rank, 1, sorted.size()) - 1];
}

// The summary line of --tick-stats; slowestState is the state the slowest tick ran in.
std::string TickStatsLine(std::vector<int64_t> workUs, uint64_t statements, int slowestState)
{
    std::sort(workUs.begin(), workUs.end());
    char line[240];
    std::snprintf(line, sizeof line,
                  "tick-stats count=%zu p50_us=%lld p99_us=%lld max_us=%lld max_state=%d statements_per_tick=%.2f",
                  workUs.size(), static_cast<long long>(Percentile(workUs, 0.5)),
                  static_cast<long long>(Percentile(workUs, 0.99)),
                  static_cast<long long>(workUs.empty() ? 0 : workUs.back()), slowestState,
                  workUs.empty() ? 0.0 : static_cast<double>(statements) / static_cast<double>(workUs.size()));
    return line;
}

// Every tick's work, for figures pooled over several players.
std::string TickSamplesLine(const std::vector<int64_t>& workUs)
{
    std::string line = "tick-work-us";
    for (size_t i = 0; i < workUs.size(); ++i) line += (i == 0 ? " " : ",") + std::to_string(workUs[i]);
    return line;
}

// A control of a window (not of a window it owns), found by its name.
template <class T>
T* Find(QWidget* window, const QString& name)
{
    for (T* control : window->findChildren<T*>(name))
        if (control->window() == window) return control;
    return nullptr;
}

// A button of a window pressed as a user would.
void Press(QWidget* window, const QString& name)
{
    if (auto* button = Find<QPushButton>(window, name)) button->click();
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!Parse(argc, argv, options)) {
        std::fprintf(stderr, "usage: quiz_player --dir DIR [--games N] [--answers TOKENS] [--answer-delay-ms MS] "
                             "[--time-scale F] [--quit-at Q] [--freeze-at Q] [--no-ready] [--wait-members N] [--tick-stats] [--trace] [--screenshot FILE]\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QuizApplication application(argc, argv);
    InstallGothicSubstitution();
    GameTiming.TickMs = std::max(1, static_cast<int>(500 * options.TimeScale));
    GameTiming.JudgePauseMs = static_cast<uint32_t>(1000 * options.TimeScale);
    GameTiming.FinalPauseMs = static_cast<uint32_t>(2000 * options.TimeScale);
    PrintingDialogs dialogs;
    SetDialogs(&dialogs);

    CreateWindows();
    Form1->SetExecutablePath(options.Dir + "/quizgame");
    Form1->show();

    int gamesSeen = 0;
    int answeredQuestion = 0;
    int answerDue = 0;  // the question whose answer is about to be given
    int lastMember = -1;
    TGameState lastState = TGameState::Lobby;
    std::vector<int64_t> tickWorkUs;
    std::string resultTicks;
    uint64_t tickStatements = 0;
    int slowestState = 0;
    bool screenshotTaken = false;

    const GameLoop& game = FormPlay->Game();
    // Runs after every tick of the play window, when the loop has taken its step.
    QObject::connect(FormPlay, &TFormPlay::TickDone, FormPlay, [&] {
        const GameProgress& progress = game.Progress();
        const GameView& view = game.View();
        const TGameState state = progress.GameState;
        const int q = progress.QuestionNo;
        // The tick just run carried out the step of the state the previous tick left.
        if (tickWorkUs.empty() || FormPlay->LastTickWorkUs > *std::max_element(tickWorkUs.begin(), tickWorkUs.end()))
            slowestState = static_cast<int>(lastState);
        if (lastState == TGameState::FinalResult)
            resultTicks += (resultTicks.empty() ? "" : ",") + std::to_string(tickWorkUs.size());
        tickWorkUs.push_back(FormPlay->LastTickWorkUs);
        tickStatements += FormPlay->LastTickStatements;
        if (options.Trace) {
            const auto now = std::chrono::steady_clock::now().time_since_epoch();
            Say("tick at_us=" + std::to_string(std::chrono::duration_cast<std::chrono::microseconds>(now).count()) +
                " from=" + std::to_string(static_cast<int>(lastState)) + " to=" + std::to_string(static_cast<int>(state)) +
                " q=" + std::to_string(q) + " work_us=" + std::to_string(FormPlay->LastTickWorkUs) +
                " statements=" + std::to_string(FormPlay->LastTickStatements) +
                " answers=" + std::to_string(view.Answers.size()) + " members=" + std::to_string(view.Members.size()));
        }
        if (state == TGameState::Lobby && (lastState != TGameState::Lobby || progress.MemberNo != lastMember)) {
            lastMember = progress.MemberNo;
            Say("joined member=" + std::to_string(progress.MemberNo));
        }
        // Ready is pressed whenever the button is offered, as a user would, once the lobby
        // lists enough members; without a row of its own the program has nothing to mark.
        if (state == TGameState::Lobby && options.Ready && progress.MemberNo != 0 &&
            view.Members.size() >= options.WaitMembers && view.ReadyEnabled) {
            Press(FormPlay, "Button5");
            Say("ready member=" + std::to_string(progress.MemberNo));
        }
        if (state == TGameState::RevealQuestion && lastState == TGameState::LoadQuestion) {
            Say("question " + std::to_string(q) + " correct=" + std::to_string(progress.CorrectButton) +
                " text=" + Utf8(progress.QuestionText));
            if (q == options.FreezeAt) {
                Say("frozen");
                for (;;) pause();
            }
            if (q == options.QuitAt) {
                Say("quit");
                QTimer::singleShot(0, FormPlay, [] { Press(FormPlay, "Button6"); });
            }
        }
        // The answer is given a fixed time after the buttons are offered; buttons taken away
        // meanwhile (a lost connection) are pressed once they are offered again.
        if ((state == TGameState::RevealQuestion || state == TGameState::AnswerTime) && view.AnswersEnabled &&
            answeredQuestion != q && answerDue != q) {
            const int button = ChosenButton(options, q, progress.CorrectButton);
            if (button == 0) answeredQuestion = q;
            else {
                answerDue = q;
                QTimer::singleShot(options.AnswerDelayMs, FormPlay, [&game, &answeredQuestion, &answerDue, button, q] {
                    answerDue = 0;
                    if (game.Progress().QuestionNo != q || !game.View().AnswersEnabled) return;
                    Press(FormPlay, "Button" + QString::number(button));
                    answeredQuestion = q;
                    Say("answered " + std::to_string(q) + " button=" + std::to_string(button));
                });
            }
        }
        if (!options.Screenshot.empty() && q == 2 && !screenshotTaken &&
            (state == TGameState::RevealQuestion || state == TGameState::AnswerTime) &&
            !view.AnswersEnabled) {
            screenshotTaken = true;
            FormPlay->grab().save(QString::fromLocal8Bit(options.Screenshot.c_str()));
            Say("screenshot " + options.Screenshot);
        }
        if (state == TGameState::WaitJudged && lastState == TGameState::Judge)
            Say("judged " + std::to_string(q) + " label=" + Utf8(view.Progress));
        if (state == TGameState::WaitNextGame && lastState != TGameState::WaitNextGame) Say("behind");
        if (lastState == TGameState::ConnectionLost && state != TGameState::ConnectionLost)
            Say("resumed state=" + std::to_string(static_cast<int>(state)));
        lastState = state;
    });
    QObject::connect(FormPlay, &TFormPlay::ResultShown, FormPlay, [&] {
        ++gamesSeen;
        answeredQuestion = 0;
        Say("result game=" + std::to_string(gamesSeen) + " label=" + Utf8(game.View().Progress) +
            " winners=" + Utf8(game.View().Question));
        // Where the tick samples of each game end, for figures game by game.
        if (options.TickStats) Say("game-ticks game=" + std::to_string(gamesSeen) + " ticks=" + std::to_string(tickWorkUs.size()));
        if (gamesSeen >= options.Games) QTimer::singleShot(0, FormPlay, [] { Press(FormPlay, "Button6"); });
    });

    // A stop for a lost connection may come from a tick or from a button, so it is watched
    // for on a timer of its own.
    bool stopped = false;
    QTimer stopWatch;
    QObject::connect(&stopWatch, &QTimer::timeout, FormPlay, [&] {
        if (game.Progress().GameState != TGameState::ConnectionLost) return;
        // A button's stop leaves the next tick to run the lost connection's step.
        lastState = TGameState::ConnectionLost;
        if (!stopped) {
            stopped = true;
            Say("stopped label=" + Utf8(game.View().Progress));
        }
        if (!options.ReconnectServer.empty() && FormPlay->isVisible() && access((options.Dir + "/reconnect").c_str(), F_OK) == 0)
            Press(FormPlay, "Button6");
    });
    stopWatch.start(100);

    QTimer::singleShot(0, Form1, [&] {
        Say(std::string("start connected=") + (Form1->Database().Connected() ? "1" : "0"));
        Press(Form1, "ButtonG");
        if (stopped && !options.ReconnectServer.empty()) {
            // The settings window is modal: fill it and press OK once it runs.
            QTimer::singleShot(0, Form2, [&] {
                Find<QLineEdit>(Form2, "Edit1")->setText(QString::fromStdString(options.ReconnectServer));
                Press(Form2, "Button1");
            });
            Press(Form1, "Button1");
            Say(std::string("reconnected connected=") + (Form1->Database().Connected() ? "1" : "0"));
            options.WaitMembers = 1;
            Press(Form1, "ButtonG");
        }
        Say("closed");
        Form1->close();
    });
    const int result = QApplication::exec();
    if (options.TickStats) {
        Say(TickStatsLine(tickWorkUs, tickStatements, slowestState));
        Say(TickSamplesLine(tickWorkUs));
        Say("at-result-ticks " + resultTicks);
        for (const auto& [kind, timing] : Form1->Database().TimingsByKind())
            Say("timing count=" + std::to_string(timing.Count) + " total_us=" + std::to_string(timing.TotalUs) +
                " max_us=" + std::to_string(timing.MaxUs) + " kind=" + kind);
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        Say("peak-rss-kb " + std::to_string(usage.ru_maxrss));
    }
    DestroyWindows();
    return result;
}
