#include "web/teacher_api.h"

#include "app/sjis_text.h"
#include "app/unitv.h"
#include "db/quiz_database.h"
#include "game/game_record.h"
#include "game/record_reports.h"
#include "game/room_protocol.h"
#include "web/web_messages.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

using Status = QHttpServerResponse::StatusCode;

QHttpServerResponse Json(const QJsonObject& object, Status status = Status::Ok)
{
    return QHttpServerResponse("application/json", QJsonDocument(object).toJson(QJsonDocument::Compact), status);
}

QHttpServerResponse Done(bool ok, const char* utf8Message)
{
    return Json({{"ok", ok}, {"message", QString::fromUtf8(utf8Message)}});
}

QJsonArray Names(const std::vector<std::string>& names)
{
    QJsonArray array;
    for (const std::string& name : names) array.append(FromSjis(name));
    return array;
}

QJsonObject GameJson(const RecordedGame& game)
{
    return {{"id", game.Id},           {"started", QString::fromStdString(game.Started)},
            {"ended", QString::fromStdString(game.Ended)}, {"top", game.TopScore},
            {"members", game.Members}, {"winners", Names(game.Winners)}};
}

// A positive whole number of at most nine digits, or 0.
int32_t Number(const QString& text)
{
    if (text.isEmpty() || text.size() > 9) return 0;
    for (const QChar c : text)
        if (c < '0' || c > '9') return 0;
    return text.toInt();
}

int32_t Number(const QJsonValue& value)
{
    const double number = value.toDouble(-1);
    return value.isDouble() && number >= 1 && number <= 999999999 && number == static_cast<int32_t>(number)
               ? static_cast<int32_t>(number)
               : 0;
}

QHttpServerResponse Games(QuizDatabase& db, const std::string& from, const std::string& to)
{
    QJsonArray games;
    for (const RecordedGame& game : RecordedGames(db, from, to)) games.append(GameJson(game));
    return Json({{"games", games}});
}

QHttpServerResponse Game(QuizDatabase& db, int32_t id)
{
    const std::optional<GameReport> report = id > 0 ? GameReportOf(db, id) : std::nullopt;
    if (!report) return Json({{"ok", false}, {"message", QString::fromUtf8("そのゲームは記録にありません")}}, Status::NotFound);
    QJsonArray members;
    for (const ReportMember& m : report->Members)
        members.append(QJsonObject{{"rank", m.Rank}, {"name", FromSjis(m.Name)}, {"score", m.Score},
                                   {"share", m.Share}, {"right", m.Right}, {"answered", m.Answered}});
    QJsonArray questions;
    for (const ReportQuestion& q : report->Questions) {
        QJsonArray choices;
        for (const std::string& choice : q.Choices) choices.append(FromSjis(choice));
        QJsonArray answers;
        for (const ReportAnswer& a : q.Answers)
            answers.append(QJsonObject{{"name", FromSjis(a.Name)}, {"button", a.Button}, {"right", a.Right},
                                       {"place", a.Place}, {"won", a.Won}});
        questions.append(QJsonObject{{"no", q.No}, {"bank", q.BankNo}, {"text", FromSjis(q.Text)},
                                     {"choices", choices}, {"correct", q.Correct}, {"answered", q.Answered},
                                     {"right", q.Right}, {"winner", FromSjis(q.Winner)}, {"answers", answers}});
    }
    return Json({{"game", GameJson(report->Game)}, {"members", members}, {"questions", questions}});
}

QHttpServerResponse Students(QuizDatabase& db, const std::string& from, const std::string& to)
{
    QJsonArray students;
    for (const StudentSummary& s : StudentSummaries(db, from, to))
        students.append(QJsonObject{{"no", s.PlayerNo}, {"name", FromSjis(s.Name)}, {"games", s.Games},
                                    {"answered", s.Answered}, {"right", s.Right}, {"rate", s.Rate},
                                    {"won", s.PointsWon}, {"points", s.Points}});
    return Json({{"students", students}});
}

QHttpServerResponse Missed(QuizDatabase& db, const std::string& from, const std::string& to, int limit)
{
    QJsonArray questions;
    for (const MissedQuestion& q : MostMissedQuestions(db, from, to, limit))
        questions.append(QJsonObject{{"bank", q.BankNo}, {"text", FromSjis(q.Text)}, {"asked", q.Asked},
                                     {"answers", q.Answers}, {"right", q.Right}, {"miss_rate", q.MissRate}});
    return Json({{"questions", questions}});
}

QHttpServerResponse Csv(QuizDatabase& db, const std::vector<int32_t>& games, const QString& fileName)
{
    QHttpServerResponse response("text/csv; charset=Shift_JIS", QByteArray::fromStdString(GameCsv(db, games)));
    response.setHeader("Content-Disposition", "attachment; filename=\"" + fileName.toLatin1() + "\"");
    return response;
}

QHttpServerResponse Players(QuizDatabase& db)
{
    QJsonArray players;
    for (const RegisteredPlayer& p : RegisteredPlayers(db))
        players.append(QJsonObject{{"no", p.No}, {"name", FromSjis(p.Name)}, {"points", p.Points}});
    return Json({{"players", players}});
}

QHttpServerResponse Room(QuizDatabase& db)
{
    QJsonArray members;
    if (db.TableExists("QUIZMEM")) {
        const int count = db.OpenSelect("QUIZMEM.N,PLAYER.PNAME,QUIZMEM.OK", "QUIZMEM,PLAYER", "QUIZMEM.MN=PLAYER.N", "QUIZMEM.N");
        TextList row(3);
        for (int i = 0; i < count; ++i) {
            db.FetchRow(i, row);
            const std::optional<int32_t> status = row[2].empty() ? std::nullopt : std::optional(TextToInt(row[2]));
            members.append(QJsonObject{{"member", TextToInt(row[0])}, {"name", FromSjis(row[1])},
                                       {"mark", FromSjis(MemberMark(status))}});
        }
        db.CloseSelect();
        // A look from the side keeps no table of the room from a drop.
        db.ReleaseStatements();
    }
    return Json({{"members", members}});
}

QHttpServerResponse ResetPassword(QuizDatabase& db, const QJsonObject& form)
{
    const int32_t player = Number(form.value("player"));
    const QString password = form.value("password").toString();
    if (player == 0 || !form.value("password").isString()) return QHttpServerResponse(Status::BadRequest);
    // Held to the settings window's box before the registration's rules: 8 bytes of Shift-JIS.
    if (const SjisRefusal refusal = RefusalOf(password, 8); refusal != SjisRefusal::None)
        return Json({{"ok", false}, {"message", FromSjis(RefusalMessage(refusal, 8))}});
    const std::string message = ResetPlayerPassword(db, player, *ToSjisExact(password));
    return Json({{"ok", message.empty()},
                 {"message", message.empty() ? QString::fromUtf8("パスワードを変更しました") : FromSjis(message)}});
}

}  // namespace

QHttpServerResponse AnswerTeacher(QuizDatabase& db, const QString& name, bool post, const QUrlQuery& query,
                                  const QByteArray& body)
{
    if (!post) {
        const std::string from = query.queryItemValue("from").toStdString();
        const std::string to = query.queryItemValue("to").toStdString();
        // An end given must be a date; an end left out is open.
        for (const std::string* date : {&from, &to})
            if (!date->empty() && !IsReportDate(*date))
                return Json({{"ok", false}, {"message", QString::fromUtf8("日付は 2026-04-01 の形で入力して下さい")}},
                            Status::BadRequest);
        if (name == "games") return Games(db, from, to);
        if (name == "game") return Game(db, Number(query.queryItemValue("id")));
        if (name == "students") return Students(db, from, to);
        if (name == "missed") {
            const int32_t limit = Number(query.queryItemValue("limit"));
            return Missed(db, from, to, limit == 0 ? 20 : std::min(limit, 500));
        }
        if (name == "export.csv") {
            if (query.hasQueryItem("game")) {
                const int32_t game = Number(query.queryItemValue("game"));
                return Csv(db, {game}, QString("quiz-game-%1.csv").arg(game));
            }
            return Csv(db, GameIdsInRange(db, from, to),
                       QString("quiz-games-%1-%2.csv").arg(QString::fromStdString(from), QString::fromStdString(to)));
        }
        if (name == "players") return Players(db);
        if (name == "room") return Room(db);
        return QHttpServerResponse(Status::NotFound);
    }

    if (body.size() > 1024) return QHttpServerResponse(Status::PayloadTooLarge);
    const QJsonDocument document = QJsonDocument::fromJson(body);
    if (!document.isObject()) return QHttpServerResponse(Status::BadRequest);
    const QJsonObject form = document.object();
    if (name == "reset-points") {
        if (form.value("confirm") != "reset") return QHttpServerResponse(Status::BadRequest);
        return GameRecord(db).ResetPoints() ? Done(true, "全員の得点を 0 にしました（前の得点は記録に残っています）")
                                            : Done(false, "得点をリセット出来ませんでした");
    }
    if (name == "remove-member") {
        const int32_t member = Number(form.value("member"));
        if (member == 0) return QHttpServerResponse(Status::BadRequest);
        return RemoveRoomMember(db, member) ? Done(true, "部屋から外しました") : Done(false, "そのメンバーは部屋にいません");
    }
    if (name == "clear-room") {
        if (form.value("confirm") != "clear") return QHttpServerResponse(Status::BadRequest);
        ClearRoom(db);
        return Done(true, "部屋を片付けました");
    }
    if (name == "reset-password") return ResetPassword(db, form);
    return QHttpServerResponse(Status::NotFound);
}
