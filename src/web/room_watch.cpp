#include "web/room_watch.h"

#include "app/unitv.h"
#include "db/value_text.h"
#include "db/quiz_database.h"
#include "game/room_protocol.h"
#include "web/web_messages.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <algorithm>

namespace {

using Clock = std::chrono::steady_clock;

// The watch looks at the room twice per game tick: no stage of a tick is missed.
constexpr int LooksPerTick = 2;
// A barrier's wait is named once it has lasted this many ticks.
constexpr int WaitingNamedAfterTicks = 4;
constexpr int CountdownTicks = 10;
constexpr auto ReconnectEvery = std::chrono::seconds(3);
// How long after a game's result the players' points may still change.
constexpr auto PointsSettle = std::chrono::seconds(15);

// The first bytes of a CP932 text, never ending inside a double-byte character.
std::string Prefix(const std::string& text, size_t bytes)
{
    size_t end = 0;
    while (end < text.size() && end < bytes) {
        const auto byte = static_cast<unsigned char>(text[end]);
        const bool lead = (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
        end += lead && end + 1 < text.size() ? 2 : 1;
    }
    return text.substr(0, std::min(end, text.size()));
}

const char* StageName(RoomStage stage)
{
    switch (stage) {
    case RoomStage::NoRoom: return "none";
    case RoomStage::Lobby: return "lobby";
    case RoomStage::Question: return "question";
    case RoomStage::Shown: return "shown";
    case RoomStage::Final: return "final";
    }
    return "none";
}

// Members by game points, the highest first; members with equal points in member order.
QJsonArray Standings(std::vector<WatchedMember> members, const std::map<int32_t, std::string>& totals)
{
    std::stable_sort(members.begin(), members.end(), [](const auto& a, const auto& b) { return a.Points > b.Points; });
    QJsonArray rows;
    for (const WatchedMember& member : members) {
        QJsonObject row{{"name", FromSjis(member.Name)}, {"score", member.Points}};
        if (const auto total = totals.find(member.PlayerNo); total != totals.end())
            row["total"] = QString::fromStdString(total->second);
        rows.append(row);
    }
    return rows;
}

}  // namespace

RoomWatch::RoomWatch(std::string databasePath, int tickMs)
    : DatabasePath(std::move(databasePath)), TickMs(std::max(tickMs, 1)), Timer(this)
{
    connect(&Timer, &QTimer::timeout, this, &RoomWatch::OnTimer);
}

RoomWatch::~RoomWatch() = default;

void RoomWatch::Start()
{
    const std::string path = DatabasePath;
    Db = std::make_unique<QuizDatabase>([path] { return path; });
    Connect();
    Timer.start(std::max(TickMs / LooksPerTick, 1));
}

void RoomWatch::Stop()
{
    Timer.stop();
    Record.reset();
    Observer.reset();
    if (Db) Db->DisconnectDatabase();
}

void RoomWatch::Connect()
{
    LastReconnect = Clock::now();
    const auto lost = RunUntilConnectionLost([this] {
        Db->ConnectDatabase();
        if (!Db->Connected()) return;
        // A watcher that starts again takes the game in play up half-way: shown, not recorded.
        Observer = std::make_unique<RoomObserver>(*Db);
        Record = std::make_unique<GameRecord>(*Db);
        Record->Follow(*Observer);
    });
    if (lost) Db->DisconnectDatabase();
}

void RoomWatch::OnTimer()
{
    if (!Db->Connected()) {
        if (Clock::now() - LastReconnect < ReconnectEvery) return;
        Connect();
        if (!Db->Connected()) return;
    }
    const auto start = Clock::now();
    QByteArray view;
    const auto lost = RunUntilConnectionLost([this, &view] {
        Observer->Poll();
        view = MakeView();
        // Outside a game the last member may drop the room's tables at any moment, which the
        // statements of the watch would keep in use.
        const RoomStage stage = Observer->Stage();
        if (stage != RoomStage::Question && stage != RoomStage::Shown) Db->ReleaseStatements();
    });
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();
    {
        const std::lock_guard<std::mutex> guard(FiguresLock);
        PollUs.push_back(us);
    }
    if (lost) {
        Db->DisconnectDatabase();
        view = QJsonDocument(QJsonObject{{"type", "projector"}, {"stage", "lost"}}).toJson(QJsonDocument::Compact);
    }
    if (view != LastView) {
        LastView = view;
        emit View(view);
    }
}

QByteArray RoomWatch::MakeView()
{
    const RoomObserver& room = *Observer;
    const auto now = Clock::now();
    const auto ticksIn = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(now - room.StageSince()).count() / TickMs);
    QJsonObject view{{"type", "projector"}, {"stage", StageName(room.Stage())}};
    const std::vector<WatchedMember>& members = room.Members();

    QJsonArray list;
    for (const WatchedMember& member : members)
        list.append(QJsonObject{{"name", FromSjis(member.Name)}, {"mark", FromSjis(MemberMark(member.Status))}});
    view["members"] = list;

    if (room.Stage() == RoomStage::Lobby) {
        QJsonArray notReady;
        for (const WatchedMember& member : members)
            if (member.Status.value_or(0) != 1) notReady.append(FromSjis(member.Name));
        view["not_ready"] = notReady;
        if (notReady.isEmpty() && !members.empty()) {
            if (!AllReadySince) AllReadySince = now;
            const auto ticks = std::chrono::duration_cast<std::chrono::milliseconds>(now - *AllReadySince).count() / TickMs;
            view["countdown"] = static_cast<int>(std::max<int64_t>(CountdownTicks - ticks, 0));
        } else {
            AllReadySince.reset();
        }
    } else {
        AllReadySince.reset();
    }

    const bool playing = room.Stage() == RoomStage::Question || room.Stage() == RoomStage::Shown ||
                         room.Stage() == RoomStage::Final;
    const QuestionOutcome& question = room.Current();
    if (playing && question.QuestionNo > 0) {
        view["question_no"] = question.QuestionNo;
        // Revealed as every player's window reveals it: two bytes a tick from the question's load.
        const size_t bytes = room.Stage() == RoomStage::Question ? static_cast<size_t>(ticksIn + 1) * 2 : question.Text.size();
        view["text"] = FromSjis(Prefix(question.Text, bytes));
        view["revealing"] = bytes < question.Text.size();
        QJsonArray choices;
        for (const std::string& choice : question.Choices) choices.append(FromSjis(choice));
        view["choices"] = choices;
        const auto inGame = std::count_if(members.begin(), members.end(),
                                          [](const WatchedMember& m) { return m.Status >= 2 && m.Status <= 13; });
        view["answered"] = static_cast<int>(question.Answers.size());
        view["of"] = static_cast<int>(inGame);
        // Who answered what, the correct answer and the winner only once the room shows it.
        if (question.Correct != 0) {
            view["correct"] = question.Correct;
            QJsonArray answers;
            for (const WatchedAnswer& answer : question.Answers)
                answers.append(QJsonObject{{"name", FromSjis(answer.Name)}, {"button", answer.Button}});
            view["answers"] = answers;
            const auto winner = std::find_if(question.Answers.begin(), question.Answers.end(),
                                             [&](const WatchedAnswer& a) { return a.Button == question.Correct; });
            if (winner != question.Answers.end()) view["winner"] = FromSjis(winner->Name);
        }
    }
    if (room.Stage() == RoomStage::Final) {
        // The game's members: those that joined for the next one meanwhile are not in it.
        LastMembers.clear();
        for (const WatchedMember& member : members)
            if (member.Status >= 2) LastMembers.push_back(member);
        const QJsonObject result = Result();
        for (auto part = result.begin(); part != result.end(); ++part) view[part.key()] = part.value();
    } else if (playing) {
        view["standings"] = Standings(members, {});
        if (room.Stage() == RoomStage::Question) LastMembers.clear();
    } else if (!LastMembers.empty()) {
        // Between games the last one's result stays up until the next one begins, with the
        // points its programs give out as they finish it.
        view["last_result"] = Result();
    }

    if (ticksIn >= WaitingNamedAfterTicks) {
        QJsonArray waiting;
        for (const int32_t number : room.Waiting())
            for (const WatchedMember& member : members)
                if (member.MemberNo == number) waiting.append(FromSjis(member.Name));
        if (!waiting.isEmpty()) view["waiting"] = waiting;
    }
    return QJsonDocument(view).toJson(QJsonDocument::Compact);
}

QJsonObject RoomWatch::Result()
{
    // The programs give the points out as they finish the game: read while its result stands
    // and a while after, then kept, so that a room idle between games is not read for them.
    const auto now = Clock::now();
    if (Observer->Stage() == RoomStage::Final) ResultSeen = now;
    if (now - ResultSeen < PointsSettle) {
        Totals.clear();
        for (const TextList& row : Db->ReadPage({"SELECT N, POINTS FROM PLAYER"}, 0, 100000))
            if (row.size() == 2) Totals[TextToInt(row[0])] = row[1];
    }
    const std::map<int32_t, std::string>& totals = Totals;
    double sum = 0;
    for (const auto& [player, points] : totals) sum += std::strtod(points.c_str(), nullptr);
    int32_t top = 0;
    for (const WatchedMember& member : LastMembers) top = std::max(top, member.Points);
    QJsonArray winners;
    for (const WatchedMember& member : LastMembers)
        if (top > 0 && member.Points == top) winners.append(FromSjis(member.Name));
    return {{"standings", Standings(LastMembers, totals)}, {"top", top}, {"winners", winners},
            {"class_total", QString::fromStdString(FloatToText(sum))}};
}

std::string RoomWatch::FiguresText() const
{
    const std::lock_guard<std::mutex> guard(FiguresLock);
    std::string text = "watch-us";
    for (size_t i = 0; i < PollUs.size(); ++i) text += (i == 0 ? " " : ",") + std::to_string(PollUs[i]);
    return text + "\n";
}
