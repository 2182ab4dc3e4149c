// TFormPlay, the play window (modal): a screen over the game loop. Its timer paces the loop,
// it paints what the loop says and passes the player's clicks on.
#pragma once

#include "game/game_loop.h"

#include <QDialog>
#include <QTimer>
#include <cstdint>
#include <memory>

namespace Ui {
class TFormPlay;
}

class TFormPlay : public QDialog, private GameScreen {
    Q_OBJECT

public:
    explicit TFormPlay(QuizDatabase& db, QWidget* parent = nullptr);
    ~TFormPlay() override;

    QTimer Timer1;

    // Where the game stands and what the window shows, for the test player and the figures.
    const GameLoop& Game() const { return Loop; }

    // Figures of the last tick, for timing the game: its work in microseconds, leaving out
    // the pauses, and the statements it sent.
    int64_t LastTickWorkUs = 0;
    uint64_t LastTickStatements = 0;

    // Resets the window, shows the player, joins the room and arms the timer.
    void FormShow();
    void FormClose();
    void Timer1Timer();

    void Button1Click() { Loop.Answer(1); }
    void Button2Click() { Loop.Answer(2); }
    void Button3Click() { Loop.Answer(3); }
    void Button4Click() { Loop.Answer(4); }
    void Button5Click() { Loop.Ready(); }
    void Button6Click() { close(); }

signals:
    // The final result is on screen (LabelB and Memo1), just before the pause that ends the game.
    void ResultShown();
    // A tick of the timer has run, whether the loop went on or stopped.
    void TickDone();

protected:
    void showEvent(QShowEvent* event) override;
    void done(int result) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void ViewChanged(const GameView& view, ViewPart part) override;
    void TurnAway(const std::string& message) override;
    void Alert(const std::string& message) override;
    void FinalResultShown(const GameView&) override { emit ResultShown(); }

    // Runs a handler inside the lost-connection guard; an abandoned handler stops the game.
    void RunGuarded(void (TFormPlay::*handler)());
    // Starts the wait for the next tick: one interval, less the work of the tick that arms it.
    void ArmTimer(int64_t workUs = 0);

    std::unique_ptr<Ui::TFormPlay> Controls;
    QuizDatabase& Db;
    GameLoop Loop;
};

extern TFormPlay* FormPlay;
