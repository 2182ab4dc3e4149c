#include "game/game_loop.h"

#include "app/sjis_text.h"
#include "app/unitv.h"
#include "db/value_text.h"

#include <algorithm>
#include <chrono>
#include <cmath>

TGameTiming GameTiming;

namespace {

std::string Decimal(int64_t value) { return std::to_string(value); }

std::string QuestionLabel(int32_t q) { return Sjis("第 ") + Decimal(q) + Sjis(" 問"); }

// Points cut, not rounded, to two decimals. The small allowance keeps a stored 0.29 from
// showing as 0.28 when 0.29 * 100 falls just short of 29 in binary arithmetic.
std::string CutPoints(double points) { return FloatToText(std::floor(points * 100.0 + 1e-7) / 100.0); }

// Longer than a live game's members ever stand still: the longest question's reveal (200
// bytes) and answer time, and the limit of the barrier after it.
constexpr int32_t StandStillTicks = 120;
// Ticks whose statements failed, with none between them whose statements all went through,
// before the loop gives up and says why (the room is read on every second tick at the least).
constexpr int32_t FailingTicksLimit = 20;

// Loops started in the same instant (a gateway's, say) must not draw the same orders.
std::mt19937::result_type Seed()
{
    const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    return std::random_device{}() ^ static_cast<std::mt19937::result_type>(now);
}

}  // namespace

GameLoop::GameLoop(QuizDatabase& db, GameScreen& screen, const TGameTiming& timing)
    : Db(db), Screen(screen), Timing(timing), Random(Seed())
{
}

void GameLoop::Join(const GamePlayer& player)
{
    Player = player;
    ResetForRoom();
    Now.MemberNo = JoinRoom(Db, Player.No, Random, QuestionsToDraw);
}

void GameLoop::ResetForRoom()
{
    Now.GameState = TGameState::Lobby;
    PhaseTicks = 0;
    GoneMembers.clear();
    StillRoom.clear();
    FailingTicks = 0;

    ViewNow.Player = Player.Name;
    TextList row(4);
    if (Db.SelectFirstRow("*", "PLAYER", "N=" + Decimal(Player.No), row) > 0)
        ViewNow.Player = row[1] + "(N:" + row[0] + ") Points:" + CutPoints(TextToFloat(row[3]));
    Screen.ViewChanged(ViewNow, ViewPart::Player);
    SetProgress({});
    SetQuestion({});
    ViewNow.MembersMode = MemberListMode::Lobby;
    ViewNow.Members.clear();
    Screen.ViewChanged(ViewNow, ViewPart::Members);
    ViewNow.Answers.clear();
    Screen.ViewChanged(ViewNow, ViewPart::Answers);
    ViewNow.Choices = {};
    ViewNow.Chosen = ViewNow.Correct = 0;
    Screen.ViewChanged(ViewNow, ViewPart::Choices);
    SetButtons(false, true);
}

TickEnd GameLoop::Tick()
{
    const TGameState state = Now.GameState;
    if (state == TGameState::Left || state == TGameState::Failed) return {false};
    ++PhaseTicks;
    const uint64_t failures = Db.StatementsFailed();
    const uint64_t sent = Db.StatementsSent();
    const Step step = Run(state);
    // A step that left the room (a late joiner turned away) has set the state itself.
    if (Now.GameState == TGameState::Left) return {false};
    Now.GameState = step.Next;
    // Statements that keep failing (the server's disk full, a room table half made) would have
    // the program poll for good without a word.
    if (Db.StatementsFailed() > failures)
        ++FailingTicks;
    else if (Db.StatementsSent() > sent)
        FailingTicks = 0;
    if (FailingTicks >= FailingTicksLimit) {
        Now.GameState = TGameState::Failed;
        SetButtons(false, false);
        SetProgress(Sjis("データベースの処理が失敗し続けるため、ゲームを止めました"));
        Screen.Alert(ViewNow.Progress + "\r\n" + Db.LastFailure());
        return {false};
    }
    // The final pause runs from the result to the new room's first tick; the steps within it
    // follow one another at once.
    const bool atOnce = step.Next == TGameState::Restart || step.Next == TGameState::NewRoom;
    return {true, step.PauseMs, atOnce};
}

GameLoop::Step GameLoop::Run(TGameState state)
{
    switch (state) {
    case TGameState::Lobby: return Lobby();
    case TGameState::Starting: return Starting();
    case TGameState::LoadQuestion: return LoadQuestion();
    case TGameState::RevealQuestion: return RevealQuestion();
    case TGameState::AnswerTime: return AnswerTime();
    case TGameState::ShowAnswer: return ShowAnswer();
    case TGameState::WaitShown: return WaitShown();
    case TGameState::Judge: return Judge();
    case TGameState::WaitJudged: return WaitJudged();
    case TGameState::FinalResult: return FinalResult();
    case TGameState::Restart: return Restart();
    case TGameState::NewRoom: return NewRoom();
    case TGameState::ConnectionLost: return ConnectionLost();
    case TGameState::WaitNextGame: return WaitNextGame();
    case TGameState::Left:
    case TGameState::Failed: break;
    }
    return {state};
}

bool GameLoop::ReadsThisTick() const
{
    switch (Now.GameState) {
    // The lobby and the countdown read the room on every second tick from joining on.
    case TGameState::Lobby:
    case TGameState::Starting:
    case TGameState::WaitNextGame: return PhaseTicks % 2 == 0;
    // Every program reads a question's answers on the same ticks, the first one after the load
    // and every second one after it: a program whose reads fell on the other ticks would end the
    // question a tick apart from the rest, and the room would split into groups that wait for
    // one another at every barrier.
    case TGameState::RevealQuestion:
    case TGameState::AnswerTime: return PhaseTicks % 2 == 1;
    // The judgement decides on the answers as they stand when the answer is shown, and at a
    // barrier the members pass on the first tick after the last of them has written its status.
    case TGameState::ShowAnswer:
    case TGameState::WaitShown:
    case TGameState::WaitJudged: return true;
    default: return false;
    }
}

void GameLoop::ReadMembers(MemberListMode mode)
{
    // Without the room's table the read fails and the list is empty; a list that reads the same
    // as before is not shown again, since a full room reads it on nearly every tick.
    std::vector<RoomMember> members = ::ReadMembers(Db, mode);
    if (members == ViewNow.Members && mode == ViewNow.MembersMode) return;
    ViewNow.Members = std::move(members);
    ViewNow.MembersMode = mode;
    Screen.ViewChanged(ViewNow, ViewPart::Members);
}

void GameLoop::ReadAnswers()
{
    std::vector<RoomAnswer> answers = ::ReadAnswers(Db);
    if (answers == ViewNow.Answers) return;
    ViewNow.Answers = std::move(answers);
    Screen.ViewChanged(ViewNow, ViewPart::Answers);
}

GameLoop::Step GameLoop::Lobby()
{
    // A bank of hundreds of questions drawn in one tick would stall this program for seconds.
    constexpr size_t DrawsPerTick = 25;
    DrawQuestions(Db, Random, QuestionsToDraw, DrawsPerTick);
    if (!ReadsThisTick()) return {TGameState::Lobby};
    ReadMembers(MemberListMode::Lobby);
    // A join can leave this program without a row: its inserts failed, or another program
    // that finished a game dropped the room just as this one joined it. With the room read
    // afresh it joins again, before it could start a game it is not part of.
    if (!OwnRowStands(Db, Now.MemberNo, Player.No)) {
        Now.MemberNo = JoinRoom(Db, Player.No, Random, QuestionsToDraw);
        SetButtons(ViewNow.AnswersEnabled, true);
        return {TGameState::Lobby};
    }
    const auto& members = ViewNow.Members;
    if (members.empty()) return {TGameState::Lobby};

    const bool allReady = std::all_of(members.begin(), members.end(), [](const RoomMember& m) { return m.Status == 1; });
    const bool anyPlaying =
        std::any_of(members.begin(), members.end(), [](const RoomMember& m) { return m.Status != 0 && m.Status != 1; });
    // A member that has just finished a game (status 13) also shows the playing mark; it
    // leaves the room within moments, so only a game in progress sends this program away. A
    // game in progress moves on within a question; a room that stands still was left by
    // programs that stopped, and this program clears it and plays in a new one.
    if (anyPlaying && GameRunning(Db)) {
        const RoomWatch watch = WatchRoom();
        if (watch == RoomWatch::StoodStill) {
            ClearRoom(Db);
            return {JoinAgain()};
        }
        if (watch != RoomWatch::Moved) return {TGameState::Lobby};
        Leave();
        Screen.TurnAway(Sjis("現在ゲーム実行中です。しばらく後に再度スタートして下さい"));
        return {TGameState::Left};
    }
    if (allReady) StartTicks = 10;
    return {allReady ? TGameState::Starting : TGameState::Lobby};
}

GameLoop::Step GameLoop::Starting()
{
    TGameState next = TGameState::Starting;
    if (Db.TableExists("QUIZMEM")) {
        if (ReadsThisTick()) ReadMembers(MemberListMode::Lobby);
        // A member whose countdown ended a tick earlier already shows the playing mark; it is a
        // player of this game all the same. A newcomer sends everyone back to the lobby.
        Now.ReadyCount = 0;
        for (const RoomMember& member : ViewNow.Members) {
            if (member.Status == 0) next = TGameState::Lobby;
            else ++Now.ReadyCount;
        }
    }
    if (next == TGameState::Lobby) {
        SetProgress({});
        return {next};
    }
    SetProgress(Sjis("まもなくゲームスタートです ... ") + Decimal(StartTicks));
    if (--StartTicks >= 0) return {next};
    Now.QuestionNo = 1;
    SetProgress({});
    WriteStatus(Db, Now.MemberNo, 2);
    return {TGameState::LoadQuestion};
}

GameLoop::Step GameLoop::LoadQuestion()
{
    PhaseTicks = 0;
    SetProgress(QuestionLabel(Now.QuestionNo));
    const TextList row = LoadQuestionRow(Db, Now.QuestionNo);
    Now.CorrectButton = TextToInt(row[QaANN]);
    Now.QuestionText = row[QaQ1] + row[QaQ2] + row[QaQ3] + row[QaQ4];

    // The wrong answers fill the other buttons in their order; any other ANN puts the correct
    // answer on button 4.
    const int correct = Now.CorrectButton >= 1 && Now.CorrectButton <= 3 ? Now.CorrectButton : 4;
    const std::string* wrong[] = {&row[QaAN1], &row[QaAN2], &row[QaAN3]};
    for (int k = 1, w = 0; k <= 4; ++k) ViewNow.Choices[static_cast<size_t>(k - 1)] = k == correct ? row[QaANS] : *wrong[w++];
    ViewNow.Chosen = ViewNow.Correct = 0;
    Screen.ViewChanged(ViewNow, ViewPart::Choices);
    SetButtons(true, ViewNow.ReadyEnabled);
    // The last question's text must not stand beside this one's answers.
    SetQuestion({});
    // The previous question's answers must not end this one before the first fresh read.
    ViewNow.Answers.clear();
    Screen.ViewChanged(ViewNow, ViewPart::Answers);
    AnswerRewrites = 0;
    RevealedBytes = 0;
    return {TGameState::RevealQuestion};
}

GameLoop::Step GameLoop::RevealQuestion()
{
    RevealedBytes += 2;
    TGameState next = TGameState::RevealQuestion;
    if (static_cast<int64_t>(Now.QuestionText.size()) <= RevealedBytes) {
        SetQuestion(Now.QuestionText + Sjis("◆"));
        AnswerTicks = 5;
        next = TGameState::AnswerTime;
    } else {
        SetQuestion(LeftSjis(Now.QuestionText, RevealedBytes));
    }
    return {WatchAnswers(next)};
}

GameLoop::Step GameLoop::AnswerTime()
{
    SetProgress(QuestionLabel(Now.QuestionNo) + Sjis("　：") + Decimal(AnswerTicks));
    TGameState next = TGameState::AnswerTime;
    if (--AnswerTicks < 0) {
        SetProgress({});
        next = TGameState::ShowAnswer;
    }
    return {WatchAnswers(next)};
}

TGameState GameLoop::WatchAnswers(TGameState next)
{
    if (!ReadsThisTick()) return next;
    ReadAnswers();
    const auto& answers = ViewNow.Answers;
    const bool kept = std::any_of(answers.begin(), answers.end(), [this](const RoomAnswer& a) { return a.Mn == Player.No; });
    if (ViewNow.Chosen != 0 && !kept && AnswerRewrites < 3) {
        // A slower program's question load deleted the answer after it was written.
        ++AnswerRewrites;
        InsertAnswer(Db, Player.No, ViewNow.Chosen);
    }
    // Members a barrier has given up are not awaited.
    if (static_cast<int32_t>(answers.size()) == Now.ReadyCount - static_cast<int32_t>(GoneMembers.size())) {
        SetProgress({});
        return TGameState::ShowAnswer;
    }
    return next;
}

GameLoop::Step GameLoop::ShowAnswer()
{
    SetProgress(QuestionLabel(Now.QuestionNo) + Sjis("の答え：") + Decimal(Now.CorrectButton));
    ViewNow.Correct = Now.CorrectButton >= 1 && Now.CorrectButton <= 3 ? Now.CorrectButton : 4;
    Screen.ViewChanged(ViewNow, ViewPart::Choices);
    if (ReadsThisTick()) ReadAnswers();
    WriteStatus(Db, Now.MemberNo, 3);
    BarrierTicks = 0;
    return {TGameState::WaitShown};
}

bool GameLoop::BarrierPassed(const std::vector<int32_t>& accepted, int32_t limit)
{
    ++BarrierTicks;
    std::vector<const RoomMember*> waiting;
    for (const RoomMember& member : ViewNow.Members) {
        bool passes = member.Status == 0 ||
                      std::any_of(accepted.begin(), accepted.end(), [&](int32_t value) { return member.Status == value; });
        // A member given up stays given up for the rest of the game, however its status moves,
        // until it has judged this very question: then it is back in step with the room. Status
        // 3 alone cannot tell one question from another.
        const auto gone = GoneMembers.find(member.Name);
        if (gone != GoneMembers.end()) {
            if (member.Status == Now.QuestionNo + 3) GoneMembers.erase(gone);
            passes = true;
        }
        if (!passes) waiting.push_back(&member);
    }
    if (waiting.empty()) return true;
    if (BarrierTicks <= limit) return false;
    // Longer than any live member could need: the ones still waited for have stopped.
    for (const RoomMember* member : waiting) GoneMembers[member->Name] = member->Status;
    return true;
}

GameLoop::Step GameLoop::WaitShown()
{
    if (ReadsThisTick()) ReadMembers(MemberListMode::Game);
    if (Behind()) return {WaitForNextGame()};
    // A member that has passed this barrier already shows q + 3. One that has not shown the
    // answer after the reveal, the answer time and ten ticks more has stopped.
    const int32_t reveal = static_cast<int32_t>((Now.QuestionText.size() + 1) / 2);
    if (!BarrierPassed({3, Now.QuestionNo + 3}, reveal + 6 + 10)) return {TGameState::WaitShown};
    return {TGameState::Judge};
}

GameLoop::Step GameLoop::Judge()
{
    const auto& answers = ViewNow.Answers;
    const auto winner = std::find_if(answers.begin(), answers.end(),
                                     [this](const RoomAnswer& a) { return a.An == Now.CorrectButton; });
    const std::string prefix = QuestionLabel(Now.QuestionNo) + Sjis("の正解者：");
    if (winner == answers.end() || winner->Mn < 1 || winner->An < 1)
        SetProgress(prefix + Sjis("無し"));
    else
        SetProgress(prefix + winner->Name);
    // Only the winner's own program writes its game point, with its judged status.
    WriteJudgement(Db, Now.MemberNo, Player.No, Now.QuestionNo + 3, winner != answers.end() && winner->Mn == Player.No);
    BarrierTicks = 0;
    return {TGameState::WaitJudged, Timing.JudgePauseMs};
}

GameLoop::Step GameLoop::WaitJudged()
{
    if (ReadsThisTick()) ReadMembers(MemberListMode::Game);
    if (Behind()) return {WaitForNextGame()};
    // A member that has already loaded and shown the next question shows 3.
    std::vector<int32_t> accepted = {Now.QuestionNo + 3};
    if (Now.QuestionNo < 10) accepted.push_back(3);
    if (!BarrierPassed(accepted, 20)) return {TGameState::WaitJudged};
    if (++Now.QuestionNo > 10) return {TGameState::FinalResult};
    SetProgress({});
    return {TGameState::LoadQuestion};
}

GameLoop::Step GameLoop::FinalResult()
{
    // On the member list as last read, at the last barrier.
    int32_t top = 0;
    for (const RoomMember& member : ViewNow.Members) top = std::max(top, member.Points);
    SetProgress(Sjis("最高得点：") + Decimal(top));
    SetQuestion({});
    if (top > 0) {
        std::string names;
        int winners = 0;
        bool thisPlayerWon = false;
        for (const RoomMember& member : ViewNow.Members) {
            if (member.Points != top) continue;
            names += member.Name + ",";
            ++winners;
            thisPlayerWon = thisPlayerWon || member.Name == Player.Name;
        }
        SetQuestion(names);
        if (thisPlayerWon) AddPlayerPoints(Db, Player.No, winners);
    }
    Screen.FinalResultShown(ViewNow);
    // The result stays on screen for the whole pause. Meanwhile this program leaves the finished
    // game and joins the next room, at a random moment of the pause's first half: a full room
    // finishes together, and its leaves and joins sent at one instant would queue on the server
    // for most of a second.
    ResultPauseMs = std::uniform_int_distribution<uint32_t>(0, Timing.FinalPauseMs / 2)(Random);
    return {TGameState::Restart, ResultPauseMs};
}

GameLoop::Step GameLoop::Restart()
{
    const uint32_t started = TickCountMs();
    LeaveFinishedGame(Db, Now.MemberNo, Player.No);
    Now.MemberNo = JoinRoom(Db, Player.No, Random, QuestionsToDraw);
    const uint32_t spent = ResultPauseMs + (TickCountMs() - started);
    return {TGameState::NewRoom, spent < Timing.FinalPauseMs ? Timing.FinalPauseMs - spent : 0};
}

GameLoop::Step GameLoop::NewRoom()
{
    ResetForRoom();
    return {TGameState::Lobby};
}

void GameLoop::Ready()
{
    // Without a row of its own the program has nothing to mark ready; the button stays.
    if (!ViewNow.ReadyEnabled || Now.MemberNo == 0) return;
    // The game can start once everyone is ready, so the order must be complete before.
    DrawQuestions(Db, Random, QuestionsToDraw, QuestionsToDraw.Numbers.size());
    if (WriteStatus(Db, Now.MemberNo, 1)) SetButtons(ViewNow.AnswersEnabled, false);
}

void GameLoop::Answer(int button)
{
    if (!ViewNow.AnswersEnabled || button < 1 || button > 4) return;
    // The chosen answer stays in view; the answer cannot be changed.
    ViewNow.Chosen = button;
    Screen.ViewChanged(ViewNow, ViewPart::Choices);
    SetButtons(false, ViewNow.ReadyEnabled);
    InsertAnswer(Db, Player.No, button);
}

void GameLoop::Leave()
{
    if (Now.GameState == TGameState::Left) return;
    Now.GameState = TGameState::Left;
    LeaveRoom(Db, Now.MemberNo);
    Now.MemberNo = 0;
}

void GameLoop::StopForLostConnection()
{
    if (Now.GameState == TGameState::Left) return;
    if (Now.GameState != TGameState::ConnectionLost) LostIn = Now.GameState;
    Now.GameState = TGameState::ConnectionLost;
    LostTicks = 0;
    SetButtons(false, false);
    SetProgress(Sjis("接続が切れました。再接続中"));
}

GameLoop::Step GameLoop::ConnectionLost()
{
    ++LostTicks;
    if (Db.Connected()) return {Resume()};
    const int64_t seconds = int64_t{LostTicks} * Timing.TickMs / 1000;
    SetProgress(Sjis("接続が切れました。再接続中（") + Decimal(seconds) + Sjis("秒）"));
    return {TGameState::ConnectionLost};
}

TGameState GameLoop::Resume()
{
    SetProgress({});
    switch (LostIn) {
    case TGameState::LoadQuestion:
    case TGameState::RevealQuestion:
    case TGameState::AnswerTime:
    case TGameState::ShowAnswer:
    case TGameState::WaitShown:
    case TGameState::Judge:
    case TGameState::WaitJudged: {
        // The game is taken up where it stood when this player is still in step with the room;
        // the step the break cut off runs again, and each of them can.
        ReadMembers(MemberListMode::Game);
        if (!OwnRowStands(Db, Now.MemberNo, Player.No) || Behind()) return WaitForNextGame();
        const bool open = LostIn != TGameState::LoadQuestion && ViewNow.Chosen == 0;
        SetButtons(open, false);
        const auto own = std::find_if(ViewNow.Members.begin(), ViewNow.Members.end(),
                                      [this](const RoomMember& m) { return m.Name == Player.Name; });
        if (LostIn == TGameState::Judge && own != ViewNow.Members.end() && own->Status == Now.QuestionNo + 3)
            return TGameState::WaitJudged;  // the judgement was written before the break
        return LostIn;
    }
    // The finished game is left and the next room joined, as after every game.
    case TGameState::FinalResult:
    case TGameState::Restart: return TGameState::Restart;
    case TGameState::WaitNextGame:
    case TGameState::NewRoom: return LostIn;
    default: {
        // In the lobby: a row still standing waits on; the lobby joins again where it is gone.
        std::string status;
        const bool joined = Db.SelectFirstValue("OK", "QUIZMEM", "N=" + Decimal(Now.MemberNo) + " AND MN=" + Decimal(Player.No), status) > 0;
        SetButtons(false, !joined || status == "0");
        return TGameState::Lobby;
    }
    }
}

bool GameLoop::Behind() const
{
    const auto& members = ViewNow.Members;
    if (members.empty()) return false;  // a failed read tells nothing
    bool present = false;
    for (const RoomMember& member : members) {
        present = present || member.Name == Player.Name;
        // To judge a later question, a member must have passed a barrier without this player.
        if (member.Status > Now.QuestionNo + 3 && member.Status <= 13) return true;
    }
    return !present;
}

TGameState GameLoop::WaitForNextGame()
{
    Db.DeleteRows("QUIZMEM", "N=" + Decimal(Now.MemberNo) + " AND MN=" + Decimal(Player.No));
    Now.MemberNo = 0;
    StillRoom.clear();
    SetButtons(false, false);
    SetProgress(Sjis("遅れたため、次のゲームから参加します"));
    return TGameState::WaitNextGame;
}

GameLoop::Step GameLoop::WaitNextGame()
{
    if (!ReadsThisTick()) return {TGameState::WaitNextGame};
    ReadMembers(MemberListMode::Lobby);
    if (WatchRoom() == RoomWatch::StoodStill)
        ClearRoom(Db);
    else if (GameRunning(Db))
        return {TGameState::WaitNextGame};
    return {JoinAgain()};
}

GameLoop::RoomWatch GameLoop::WatchRoom()
{
    // Only the members in a game count: newcomers join and get ready whether the room lives or not.
    std::vector<RoomMember> playing;
    for (const RoomMember& member : ViewNow.Members)
        if (member.Status != 0 && member.Status != 1) playing.push_back(member);
    if (StillRoom.empty() || playing != StillRoom) {
        const RoomWatch watch = StillRoom.empty() ? RoomWatch::FirstSeen : RoomWatch::Moved;
        StillRoom = std::move(playing);
        StillSince = PhaseTicks;
        return watch;
    }
    return PhaseTicks - StillSince >= StandStillTicks ? RoomWatch::StoodStill : RoomWatch::Still;
}

TGameState GameLoop::JoinAgain()
{
    ResetForRoom();
    Now.MemberNo = JoinRoom(Db, Player.No, Random, QuestionsToDraw);
    return TGameState::Lobby;
}

void GameLoop::SetProgress(const std::string& text)
{
    ViewNow.Progress = text;
    Screen.ViewChanged(ViewNow, ViewPart::Progress);
}

void GameLoop::SetQuestion(const std::string& text)
{
    ViewNow.Question = text;
    Screen.ViewChanged(ViewNow, ViewPart::Question);
}

void GameLoop::SetButtons(bool answers, bool ready)
{
    ViewNow.AnswersEnabled = answers;
    ViewNow.ReadyEnabled = ready;
    Screen.ViewChanged(ViewNow, ViewPart::Buttons);
}
