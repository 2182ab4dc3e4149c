#include "game/room_observer.h"

#include "app/unitv.h"
#include "db/question_row.h"

#include <algorithm>

namespace {

// The highest question any member has judged (status q + 3), or 0; members still standing at
// the end of the last game do not count.
int32_t HighestJudged(const std::vector<WatchedMember>& members, const std::set<int32_t>& finished)
{
    int32_t judged = 0;
    for (const WatchedMember& member : members)
        if (member.Status >= 4 && member.Status <= 13 && !finished.count(member.MemberNo))
            judged = std::max(judged, *member.Status - 3);
    return judged;
}

}  // namespace

RoomObserver::RoomObserver(QuizDatabase& db) : Db(db), Since(std::chrono::steady_clock::now()) {}

bool RoomObserver::InGame(const WatchedMember& member) const
{
    return member.Status >= 2 && member.Status <= 13 && !Finished.count(member.MemberNo);
}

void RoomObserver::ReadMembers()
{
    MembersNow.clear();
    const int count = Db.OpenSelect("QUIZMEM.N,QUIZMEM.MN,PLAYER.PNAME,QUIZMEM.OK,QUIZMEM.GP", "QUIZMEM,PLAYER",
                                    "QUIZMEM.MN=PLAYER.N", "QUIZMEM.N");
    TextList row(5);
    for (int i = 0; i < count; ++i) {
        Db.FetchRow(i, row);
        WatchedMember& member = MembersNow.emplace_back();
        member.MemberNo = TextToInt(row[0]);
        member.PlayerNo = TextToInt(row[1]);
        member.Name = row[2];
        if (!row[3].empty()) member.Status = TextToInt(row[3]);
        member.Points = TextToInt(row[4]);
    }
    Db.CloseSelect();
}

void RoomObserver::ReadAnswers()
{
    std::vector<WatchedAnswer> rows;
    const int count = Db.OpenSelect("QUIZANS.MN,PLAYER.PNAME,QUIZANS.AN", "QUIZANS,PLAYER", "QUIZANS.MN=PLAYER.N", "");
    TextList row(3);
    for (int i = 0; i < count; ++i) {
        Db.FetchRow(i, row);
        rows.push_back({TextToInt(row[0]), row[1], TextToInt(row[2])});
    }
    Db.CloseSelect();
    // Until a program loads the question, the table still holds the last one's answers, and
    // perhaps answers given to it after its judgement, which count for nothing. The load empties
    // it: while every row of the last question is still there, no program has loaded this one.
    if (!AnswersFresh) {
        const bool unloaded = !StaleAnswers.empty() &&
                              std::all_of(StaleAnswers.begin(), StaleAnswers.end(), [&rows](const WatchedAnswer& answer) {
                                  return std::find(rows.begin(), rows.end(), answer) != rows.end();
                              });
        if (unloaded) return;
        AnswersFresh = true;
    }
    auto& answers = CurrentQuestion.Answers;
    for (const WatchedAnswer& answer : rows)
        if (std::none_of(answers.begin(), answers.end(), [&](const WatchedAnswer& a) { return a.PlayerNo == answer.PlayerNo; }))
            answers.push_back(answer);
}

void RoomObserver::LoadQuestion(int32_t q)
{
    StaleAnswers = CurrentQuestion.Answers;
    AnswersFresh = q == 1;  // the first question finds the table emptied by the joins
    CurrentQuestion = {};
    CurrentQuestion.Game = Game;
    CurrentQuestion.QuestionNo = q;
    TextList row(QaColumnCount);
    Db.OpenSelect("*", "QUIZQA", "", "SN,N");
    Db.FetchFirst(row);
    Db.FetchMoveBy(q - 1, row);
    Db.CloseSelect();
    CurrentQuestion.BankNo = TextToInt(row[QaN]);
    CurrentQuestion.Text = row[QaQ1] + row[QaQ2] + row[QaQ3] + row[QaQ4];
    // The buttons as every program fills them: the correct answer on ANN's button (4 for any
    // other value), the wrong ones in their order on the rest.
    const int32_t ann = TextToInt(row[QaANN]);
    const int correct = ann >= 1 && ann <= 3 ? ann : 4;
    const std::string* wrong[] = {&row[QaAN1], &row[QaAN2], &row[QaAN3]};
    for (int k = 1, w = 0; k <= 4; ++k) CurrentQuestion.Choices[static_cast<size_t>(k - 1)] = k == correct ? row[QaANS] : *wrong[w++];
    CorrectButton = correct;
}

void RoomObserver::Poll()
{
    const RoomStage before = StageNow;
    const int32_t questionBefore = Question;
    ReadMembers();
    // A member of the last game is one of this game's once it has moved from the last judgement.
    std::erase_if(Finished, [this](int32_t number) {
        return std::none_of(MembersNow.begin(), MembersNow.end(),
                            [number](const WatchedMember& m) { return m.MemberNo == number && m.Status == 13; });
    });
    const bool anyPlaying = std::any_of(MembersNow.begin(), MembersNow.end(), [](const WatchedMember& m) {
        return m.Status >= 2 && m.Status <= 12;
    });
    // Every member shows the answer (status 3) between two judgements: the highest question
    // judged is what the room has reached, and it only grows within a game.
    const int32_t judged = std::max(Playing ? Judged : 0, HighestJudged(MembersNow, Finished));

    if (!Playing && anyPlaying) {
        // A game seen from its start is recorded; one found half-way (this watcher started during
        // it) is only shown.
        Playing = true;
        Recording = judged == 0 && std::none_of(MembersNow.begin(), MembersNow.end(),
                                                [](const WatchedMember& m) { return m.Status == 3; });
        ++Game;
        GameStarted = std::chrono::system_clock::now();
        GameMembers.clear();
        ShownFor.clear();
        Judged = 0;
        Question = 0;
        CurrentQuestion = {};
        Judging.reset();
        PointsBefore.clear();
        PointsJudged.clear();
        if (Recording && OnGameStarted) OnGameStarted(Game);
    }
    // The game is over once no member is still on its way through it: every one left has judged
    // the last question (a page closed at the result stays so) or has left the game.
    if (Playing && !anyPlaying) {
        for (const WatchedMember& member : MembersNow)
            if (InGame(member)) GameMembers[member.MemberNo] = member;
        FinishGame();
    }

    if (Playing) {
        Judged = judged;
        for (const WatchedMember& member : MembersNow)
            if (InGame(member)) GameMembers[member.MemberNo] = member;
        for (const WatchedMember& member : MembersNow) {
            if (member.Status == 3 && !ShownFor.count(member.MemberNo)) ShownFor[member.MemberNo] = judged + 1;
            if (member.Status != 3) ShownFor.erase(member.MemberNo);
        }
        if (Question == 0) {
            Question = 1;
            LoadQuestion(1);
        }
        if (judged >= Question && CurrentQuestion.QuestionNo == Question) {
            // Some member has judged the question in play: it waits for the others' judgements,
            // and the next one comes into play.
            JudgeWaitingQuestion(true);
            CurrentQuestion.Correct = CorrectButton;
            Judging = CurrentQuestion;
            CurrentQuestion.QuestionNo = 0;
            if (Question < 10) {
                Question = std::min(judged + 1, 10);
                LoadQuestion(Question);
            }
        }
        JudgeWaitingQuestion(false);
        const bool shown = std::any_of(ShownFor.begin(), ShownFor.end(), [this](const auto& s) { return s.second == Question; });
        if (judged < Question) ReadAnswers();
        if (shown) CurrentQuestion.Correct = CorrectButton;
        StageNow = judged >= 10 ? RoomStage::Final : shown ? RoomStage::Shown : RoomStage::Question;
    } else {
        // The result stands while members of the finished game are still at it (their programs
        // give the points out there) until someone is ready for the next.
        const bool anyReady = std::any_of(MembersNow.begin(), MembersNow.end(), [](const WatchedMember& m) { return m.Status == 1; });
        StageNow = MembersNow.empty()                ? RoomStage::NoRoom
                   : Finished.empty() || anyReady ? RoomStage::Lobby
                                                    : RoomStage::Final;
    }
    if (StageNow != before || Question != questionBefore) Since = std::chrono::steady_clock::now();
}

void RoomObserver::JudgeWaitingQuestion(bool force)
{
    if (!Judging) return;
    const int32_t q = Judging->QuestionNo;
    bool all = true;
    for (const WatchedMember& member : MembersNow) {
        if (!InGame(member)) continue;
        // A member that judged the question shows q + 3, or 3 for the next question, or later.
        const auto showed = ShownFor.find(member.MemberNo);
        const bool judged = member.Status >= q + 3 || (showed != ShownFor.end() && showed->second > q);
        if (judged && !PointsJudged.count(member.MemberNo)) PointsJudged[member.MemberNo] = member.Points;
        all = all && judged;
    }
    if (!all && !force) return;
    Judging->Members.clear();
    for (const auto& [number, member] : GameMembers) Judging->Members.push_back(member);
    for (const auto& [number, points] : PointsJudged) {
        const auto before = PointsBefore.find(number);
        const auto member = GameMembers.find(number);
        if (member != GameMembers.end() && points > (before == PointsBefore.end() ? 0 : before->second))
            Judging->Winners.push_back(member->second.PlayerNo);
    }
    if (Recording && OnQuestion) OnQuestion(*Judging);
    Judging.reset();
    // The next question's points start from here.
    PointsBefore = PointsJudged;
    for (const auto& [number, member] : GameMembers) PointsBefore.try_emplace(number, member.Points);
    PointsJudged.clear();
}

void RoomObserver::FinishGame()
{
    if (CurrentQuestion.QuestionNo > 0) {
        JudgeWaitingQuestion(true);
        CurrentQuestion.Correct = CorrectButton;
        Judging = CurrentQuestion;
    }
    JudgeWaitingQuestion(true);
    Playing = false;
    GameOutcome outcome{Game, GameStarted, std::chrono::system_clock::now(), {}, 0};
    for (const auto& [number, member] : GameMembers) {
        outcome.Members.push_back(member);
        outcome.TopScore = std::max(outcome.TopScore, member.Points);
    }
    if (Recording && OnGame) OnGame(outcome);
    Recording = false;
    for (const WatchedMember& member : MembersNow)
        if (member.Status == 13) Finished.insert(member.MemberNo);
    Question = 0;
}

std::vector<int32_t> RoomObserver::Waiting() const
{
    std::vector<int32_t> waiting;
    if (!Playing || Question == 0) return waiting;
    const bool shown = StageNow == RoomStage::Shown;
    for (const WatchedMember& member : MembersNow) {
        if (!InGame(member)) continue;
        const auto showed = ShownFor.find(member.MemberNo);
        if (shown) {
            // Showing the answer: the members that have not shown it yet.
            if (member.Status < Question + 3 && !(showed != ShownFor.end() && showed->second == Question))
                waiting.push_back(member.MemberNo);
        } else if (Judged == Question - 1 && Question > 1 && showed != ShownFor.end() &&
                   showed->second == Question - 1) {
            // Judging: the members that showed the last answer and have not judged it yet.
            waiting.push_back(member.MemberNo);
        }
    }
    return waiting;
}
