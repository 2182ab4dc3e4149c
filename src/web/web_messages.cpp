#include "web/web_messages.h"

#include "app/sjis_text.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

// No message of the page comes near this; anything longer is refused unread.
constexpr qsizetype MaxActionBytes = 200;

const char* StateName(TGameState state)
{
    switch (state) {
    case TGameState::Lobby:
    case TGameState::NewRoom: return "lobby";
    case TGameState::Starting: return "starting";
    case TGameState::LoadQuestion:
    case TGameState::RevealQuestion:
    case TGameState::AnswerTime: return "question";
    case TGameState::ShowAnswer:
    case TGameState::WaitShown:
    case TGameState::Judge:
    case TGameState::WaitJudged: return "judging";
    case TGameState::FinalResult:
    case TGameState::Restart: return "result";
    case TGameState::ConnectionLost: return "lost";
    case TGameState::WaitNextGame: return "behind";
    case TGameState::Failed: return "failed";
    case TGameState::Left: break;
    }
    return "left";
}

}  // namespace

QString FromSjis(const std::string& sjis) { return ToQt(sjis); }

std::optional<PlayerAction> ParsePlayerAction(const QByteArray& message)
{
    if (message.size() > MaxActionBytes) return std::nullopt;
    const QJsonDocument document = QJsonDocument::fromJson(message);
    if (!document.isObject()) return std::nullopt;
    const QJsonObject object = document.object();
    const QString type = object.value("type").toString();
    if (type == "answer") {
        const QJsonValue button = object.value("button");
        if (object.size() != 2 || !button.isDouble()) return std::nullopt;
        const double value = button.toDouble();
        if (value != 1 && value != 2 && value != 3 && value != 4) return std::nullopt;
        return PlayerAction{PlayerActionKind::Answer, static_cast<int>(value)};
    }
    if (object.size() != 1) return std::nullopt;
    if (type == "join") return PlayerAction{PlayerActionKind::Join};
    if (type == "ready") return PlayerAction{PlayerActionKind::Ready};
    if (type == "leave") return PlayerAction{PlayerActionKind::Leave};
    return std::nullopt;
}

std::set<ViewPart> AllViewParts()
{
    return {ViewPart::Player, ViewPart::Progress, ViewPart::Question, ViewPart::Choices,
            ViewPart::Buttons, ViewPart::Members, ViewPart::Answers};
}

QJsonObject ViewMessage(const GameView& view, const GameProgress& progress, const std::set<ViewPart>& parts)
{
    QJsonObject message{{"type", "view"}, {"state", StateName(progress.GameState)}, {"question_no", progress.QuestionNo}};
    for (ViewPart part : parts) {
        switch (part) {
        case ViewPart::Player: message["player"] = FromSjis(view.Player); break;
        case ViewPart::Progress: message["progress"] = FromSjis(view.Progress); break;
        case ViewPart::Question: message["question"] = FromSjis(view.Question); break;
        case ViewPart::Choices: {
            // The correct button is in view only once the answer is shown, as on the desktop.
            QJsonArray choices;
            for (const std::string& choice : view.Choices) choices.append(FromSjis(choice));
            message["choices"] = choices;
            message["chosen"] = view.Chosen;
            message["correct"] = view.Correct;
            break;
        }
        case ViewPart::Buttons:
            message["can_answer"] = view.AnswersEnabled;
            message["can_ready"] = view.ReadyEnabled;
            break;
        case ViewPart::Members: {
            QJsonArray members;
            const bool game = view.MembersMode == MemberListMode::Game;
            for (const RoomMember& member : view.Members) {
                QJsonObject item{{"name", FromSjis(member.Name)}, {"mark", FromSjis(MemberMark(member.Status))},
                                 {"text", FromSjis(MemberItemText(member, view.MembersMode))}};
                if (game) item["points"] = member.Points;
                members.append(item);
            }
            message["members"] = members;
            break;
        }
        case ViewPart::Answers: {
            QJsonArray answers;
            for (const RoomAnswer& answer : view.Answers)
                answers.append(QJsonObject{{"name", FromSjis(answer.Name)}, {"button", answer.An},
                                           {"text", FromSjis(AnswerItemText(answer))}});
            message["answers"] = answers;
            break;
        }
        }
    }
    return message;
}

QJsonObject NoticeMessage(const std::string& sjisText, bool left)
{
    return {{"type", "notice"}, {"text", FromSjis(sjisText)}, {"left", left}};
}
