// The gateway's eye on the room: on a thread of its own with its own connection, it reads the
// room a few times a second (reads only; no member row, so the room's pace is the same whether
// anyone watches), keeps the record of every game (its tables made by the gateway beforehand),
// and makes the projector's view of it.
#pragma once

#include "game/game_record.h"
#include "game/room_observer.h"

#include <QByteArray>
#include <QJsonObject>
#include <QObject>
#include <QTimer>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class QuizDatabase;

class RoomWatch : public QObject {
    Q_OBJECT

public:
    // tickMs is the game's tick: the projector reveals the question and counts down at its pace.
    RoomWatch(std::string databasePath, int tickMs);
    ~RoomWatch() override;

    // Each runs on the watch's thread (the gateway invokes them there).
    void Start();
    void Stop();

    // Microseconds each look at the room took (reads and record), for the load benchmark.
    std::string FiguresText() const;

signals:
    // The projector's view, whenever it changed (JSON, UTF-8).
    void View(const QByteArray& json);

private:
    void OnTimer();
    void Connect();
    QByteArray MakeView();
    // The last game's ranking, top score and winners, with the players' points as they are now.
    QJsonObject Result();

    std::string DatabasePath;
    int TickMs;
    std::unique_ptr<QuizDatabase> Db;
    std::unique_ptr<RoomObserver> Observer;
    std::unique_ptr<GameRecord> Record;
    QTimer Timer;
    QByteArray LastView;
    // The members of the last game as it ended, while its result is shown.
    std::vector<WatchedMember> LastMembers;
    // The players' points as last read for it, and when the result last stood.
    std::map<int32_t, std::string> Totals;
    std::chrono::steady_clock::time_point ResultSeen;
    std::chrono::steady_clock::time_point LastReconnect;
    // When every member of the lobby was first seen ready: the start countdown runs from there.
    std::optional<std::chrono::steady_clock::time_point> AllReadySince;
    mutable std::mutex FiguresLock;
    std::vector<int64_t> PollUs;
};
