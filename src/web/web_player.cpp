#include "web/web_player.h"

#include "db/quiz_database.h"

#include <QJsonDocument>
#include <algorithm>

namespace {

using Clock = std::chrono::steady_clock;

// A page gone this long from a game's lobby gives its place up, so that a closed tab does not
// hold the room; gone this long anywhere, the game is left and the connection closed.
constexpr auto LobbyAbsence = std::chrono::seconds(30);
constexpr auto LongAbsence = std::chrono::minutes(10);
// A broken connection is tried again this often, as the desktop's main window does.
constexpr auto ReconnectEvery = std::chrono::seconds(3);

int64_t NowNs() { return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count(); }

bool InLobby(TGameState state)
{
    return state == TGameState::Lobby || state == TGameState::Starting || state == TGameState::NewRoom ||
           state == TGameState::WaitNextGame;
}

}  // namespace

void WebPlayerFigures::AddTick(int64_t workUs)
{
    const std::lock_guard<std::mutex> guard(Lock);
    TickWorkUs.push_back(workUs);
}

void WebPlayerFigures::AddDelivery(int64_t latencyUs)
{
    const std::lock_guard<std::mutex> guard(Lock);
    DeliveryUs.push_back(latencyUs);
}

std::string WebPlayerFigures::Text() const
{
    const std::lock_guard<std::mutex> guard(Lock);
    std::string text;
    for (const auto& [name, samples] : {std::pair{"tick-work-us", &TickWorkUs}, std::pair{"delivery-us", &DeliveryUs}}) {
        text += name;
        for (size_t i = 0; i < samples->size(); ++i) text += (i == 0 ? " " : ",") + std::to_string((*samples)[i]);
        text += "\n";
    }
    return text;
}

WebPlayer::WebPlayer(std::string databasePath, GamePlayer player, const TGameTiming& timing, WebPlayerFigures* figures)
    : DatabasePath(std::move(databasePath)), Player(std::move(player)), Timing(timing), Figures(figures), Timer(this)
{
    Timer.setSingleShot(true);
    // As the desktop's play window: a coarse timer would gather the loops' ticks on round moments.
    Timer.setTimerType(Qt::PreciseTimer);
    connect(&Timer, &QTimer::timeout, this, &WebPlayer::OnTimer);
}

WebPlayer::~WebPlayer() = default;

void WebPlayer::Start()
{
    const std::string path = DatabasePath;
    Db = std::make_unique<QuizDatabase>([path] { return path; });
    GameScreen& screen = *this;
    Loop = std::make_unique<GameLoop>(*Db, screen, Timing);
    Db->ConnectDatabase();
}

template <class Call>
void WebPlayer::Guarded(Call call)
{
    if (!RunUntilConnectionLost(call)) return;
    // The loop shows the wait and takes the game up once the connection is made again.
    Loop->StopForLostConnection();
    LastReconnect = Clock::now();
}

void WebPlayer::SetAttached(bool attached)
{
    Attached = attached;
    if (!attached) {
        DetachedAt = Clock::now();
        return;
    }
    if (!Joined) {
        if (!Db->Connected()) Db->ConnectDatabase();
        Guarded([this] { Loop->Join(Player); });
        Joined = true;
    }
    Changed = AllViewParts();
    Flush();
    if (!Timer.isActive()) Arm(0);
}

void WebPlayer::Act(const PlayerAction& action)
{
    switch (action.Kind) {
    case PlayerActionKind::Ready: Guarded([this] { Loop->Ready(); }); break;
    case PlayerActionKind::Answer: Guarded([this, &action] { Loop->Answer(action.Button); }); break;
    case PlayerActionKind::Leave:
        Guarded([this] { Loop->Leave(); });
        Joined = false;
        Send(NoticeMessage({}, true));
        break;
    case PlayerActionKind::Join:
        if (Loop->Progress().GameState != TGameState::Left) break;
        Guarded([this] { Loop->Join(Player); });
        Joined = true;
        if (!Timer.isActive()) Arm(0);
        break;
    }
    Flush();
}

void WebPlayer::Stop()
{
    Timer.stop();
    if (Loop) Guarded([this] { Loop->Leave(); });
    if (Db) Db->DisconnectDatabase();
}

void WebPlayer::Arm(int ms) { Timer.start(std::max(0, ms)); }

void WebPlayer::OnTimer()
{
    const auto now = Clock::now();
    if (!Db->Connected() && now - LastReconnect >= ReconnectEvery) {
        LastReconnect = now;
        Db->ConnectDatabase();
    }
    if (!Attached) {
        // The game stands still without its page; after a while it gives its place up.
        const auto away = now - DetachedAt;
        if (Joined && (away >= LongAbsence || (away >= LobbyAbsence && InLobby(Loop->Progress().GameState)))) {
            Guarded([this] { Loop->Leave(); });
            Joined = false;
            // The server keeps no connection for a page that may never come back.
            if (away >= LongAbsence) Db->DisconnectDatabase();
        }
        if (Joined) Arm(Timing.TickMs);
        return;
    }
    if (!Joined) return;
    TickEnd end;
    Guarded([this, &end] { end = Loop->Tick(); });
    const auto workUs = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - now).count();
    if (Figures) Figures->AddTick(workUs);
    Flush();
    if (Loop->Progress().GameState == TGameState::Left) {
        Joined = false;
        return;
    }
    // As the desktop's window: the next tick is due one interval after this one began, its
    // pauses aside; the steps within the final pause follow at once.
    const int interval = end.NextAtOnce ? 0 : Timing.TickMs - static_cast<int>(workUs / 1000);
    Arm(static_cast<int>(end.PauseMs) + std::max(0, interval));
}

void WebPlayer::ViewChanged(const GameView&, ViewPart part) { Changed.insert(part); }

void WebPlayer::TurnAway(const std::string& message)
{
    Joined = false;
    Flush();
    Send(NoticeMessage(message, true));
}

void WebPlayer::Alert(const std::string& message) { Send(NoticeMessage(message, false)); }

void WebPlayer::Flush()
{
    if (Changed.empty() || !Loop) return;
    Send(ViewMessage(Loop->View(), Loop->Progress(), Changed));
    Changed.clear();
}

void WebPlayer::Send(const QJsonObject& message)
{
    if (!Attached) return;
    emit Message(QJsonDocument(message).toJson(QJsonDocument::Compact), NowNs());
}
