// One browser player's game, on a thread of the gateway's pool: its own database connection, a
// game loop as a desktop copy runs it, and the pace of its ticks and pauses. It tells the gateway
// what the page must show; the gateway passes the player's actions on. While no page is
// connected the game stands still, as a desktop copy that stopped would: back within the
// barrier's limit it plays on, later it finds itself behind and joins the next game.
#pragma once

#include "game/game_loop.h"
#include "web/web_messages.h"

#include <QObject>
#include <QTimer>
#include <chrono>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

class QuizDatabase;

struct WebPlayerFigures;

class WebPlayer : public QObject, private GameScreen {
    Q_OBJECT

public:
    // The player is signed in already; nothing reaches the database until Start.
    WebPlayer(std::string databasePath, GamePlayer player, const TGameTiming& timing, WebPlayerFigures* figures);
    ~WebPlayer() override;

    // Each runs on the player's thread (the gateway invokes them there).
    void Start();
    void Act(const PlayerAction& action);
    // A page connected (the whole view goes to it) or went away.
    void SetAttached(bool attached);
    // Leaves the room and closes the connection.
    void Stop();

signals:
    // A message for the page, and the moment the game's change behind it was made.
    void Message(const QByteArray& json, qint64 changedAtNs);

private:
    void ViewChanged(const GameView& view, ViewPart part) override;
    void TurnAway(const std::string& message) override;
    void Alert(const std::string& message) override;

    void OnTimer();
    // Runs a step of the loop, turning a broken connection into the loop's wait for it.
    template <class Call>
    void Guarded(Call call);
    // Sends the parts changed since the last message, if any.
    void Flush();
    void Send(const QJsonObject& message);
    void Arm(int ms);

    std::string DatabasePath;
    GamePlayer Player;
    TGameTiming Timing;
    WebPlayerFigures* Figures;
    std::unique_ptr<QuizDatabase> Db;
    std::unique_ptr<GameLoop> Loop;
    QTimer Timer;
    std::set<ViewPart> Changed;
    bool Attached = false;
    bool Joined = false;  // the loop has a membership to play (not left)
    std::chrono::steady_clock::time_point DetachedAt;
    std::chrono::steady_clock::time_point LastReconnect;
};

// Figures the load benchmark asks for, gathered over all players (thread-safe).
struct WebPlayerFigures {
    void AddTick(int64_t workUs);
    void AddDelivery(int64_t latencyUs);
    // "tick-work-us" and "delivery-us" lines of samples, for the benchmark to pool.
    std::string Text() const;

    mutable std::mutex Lock;
    std::vector<int64_t> TickWorkUs;
    std::vector<int64_t> DeliveryUs;
};
