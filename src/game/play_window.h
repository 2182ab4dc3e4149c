// TFormPlay, the play window (modal): its timer drives the game loop, which carries this
// program through the lobby, the start countdown, ten questions and the final result.
#pragma once

#include "game/room_protocol.h"
#include "ui_play_window.h"

#include <QDialog>
#include <QTimer>
#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

// The pace of the game. The program always plays with these values; only the test player
// shortens them.
struct TGameTiming {
    int TickMs = 500;
    uint32_t JudgePauseMs = 1000;
    uint32_t FinalPauseMs = 2000;
};
extern TGameTiming GameTiming;

enum class TGameState : int32_t {
    Lobby = 0,
    Starting = 1,
    LoadQuestion = 2,
    RevealQuestion = 3,
    AnswerTime = 4,
    ShowAnswer = 5,
    WaitShown = 6,
    Judge = 7,
    WaitJudged = 8,
    FinalResult = 9,
    Restart = 10,
    // The connection broke: the loop stands still until the player closes the window.
    ConnectionLost = 11,
};

class TFormPlay : public QDialog {
    Q_OBJECT

public:
    explicit TFormPlay(QWidget* parent = nullptr);

    Ui::TFormPlay Controls;
    QTimer Timer1;

    int32_t MemberNo = 0;
    int32_t ReadyCount = 0;
    TGameState GameState = TGameState::Lobby;
    int32_t Countdown = 0;
    int32_t QuestionNo = 0;
    int32_t CorrectButton = 0;
    std::string QuestionText;
    int32_t RefreshTick = 0;

    // Figures of the last tick, for timing the game: its work in microseconds, leaving out
    // the blocking pauses, and the statements it sent.
    int64_t LastTickWorkUs = 0;
    uint64_t LastTickStatements = 0;

    // Resets the window, shows the player, joins the room and arms the timer.
    void FormShow();
    void FormClose();
    void Timer1Timer();
    void RefreshMembers(int mode);
    void RefreshAnswers();

    void Button1Click() { AnswerClick(1); }
    void Button2Click() { AnswerClick(2); }
    void Button3Click() { AnswerClick(3); }
    void Button4Click() { AnswerClick(4); }
    void Button5Click();
    void Button6Click();

signals:
    // The final result is on screen (LabelB and Memo1), just before the pause that ends the game.
    void ResultShown();

public:
    // The CP932 texts of the two lists, item by item.
    std::vector<std::string> MemberItems() const;
    std::vector<std::string> AnswerItems() const;

protected:
    void showEvent(QShowEvent* event) override;
    void done(int result) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Runs a handler inside the lost-connection guard; an abandoned handler stops the game.
    void RunGuarded(void (TFormPlay::*handler)());
    // The connection broke: no further question, result or point; LabelB says so.
    void StopForLostConnection();
    // The step of the current state, and the reset for the next room after a finished game;
    // false when the loop stops here (lost connection, window closing).
    bool Step();
    void Lobby();
    void Starting();
    void LoadQuestion();
    void RevealQuestion();
    void AnswerTime();
    void ShowAnswer();
    void WaitShown();
    void Judge();
    void WaitJudged();
    void FinalResult();

    void AnswerClick(int button);
    // The answer list's refresh in an open question: the question ends once every counted
    // player has answered.
    void WatchAnswers();
    // Writes the answer again when a fresh read of the answers no longer holds it.
    void KeepAnswer(bool listRead);
    // Whether every member stands at one of the accepted statuses, counting members that
    // stopped (waited for longer than limit ticks) as gone.
    bool BarrierPassed(const std::vector<int32_t>& accepted, int32_t limit);
    // RefreshMembers(1) that reads the room on this tick.
    void ReadRoomAtBarrier();

    // DelayMs, with the time spent kept out of the tick's work.
    void Pause(uint32_t ms);
    // The window as a new room finds it: fields, labels, lists and buttons, and the player line.
    void ResetForRoom();
    void SetLabelB(const std::string& text);
    void SetMemo(const std::string& text);
    // Starts the wait for the next tick: one interval, less the work of the tick that arms it.
    void ArmTimer(int64_t workUs = 0);
    static std::vector<std::string> ItemsOf(const QListWidget* list);
    static void SetItems(QListWidget* list, const std::vector<std::string>& items);

    std::mt19937 Random;
    bool Leaving = false;        // the window is closing; FormClose has run
    int AnsweredButton = 0;      // this player's answer to the current question, 0 for none
    int AnswerRewrites = 0;      // answers written again for the current question
    int64_t PausedUs = 0;        // pauses of the current tick
    // Members that stopped during this game, by name, with the status they stopped at.
    std::map<std::string, std::string> GoneMembers;
    // The question order this program draws for the next game: a part on every lobby tick,
    // the rest before it marks itself ready.
    QuestionDraw QuestionsToDraw;
};

extern TFormPlay* FormPlay;
