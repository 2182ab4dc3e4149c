#include "game/play_window.h"

#include "app/dialogs.h"
#include "app/handler_guard.h"
#include "app/main_window.h"
#include "app/sjis_text.h"
#include "app/unitv.h"
#include "app/window_style.h"
#include "db/value_text.h"
#include "game/room_protocol.h"

#include <QKeyEvent>
#include <QShowEvent>
#include <algorithm>
#include <chrono>
#include <cmath>

TFormPlay* FormPlay = nullptr;
TGameTiming GameTiming;

namespace {

QuizDatabase& Db() { return Form1->Database(); }

std::string Decimal(int64_t value) { return std::to_string(value); }

std::string QuestionLabel(int32_t q) { return Sjis("第 ") + Decimal(q) + Sjis(" 問"); }

// Points cut, not rounded, to two decimals. The small allowance keeps a stored 0.29 from
// showing as 0.28 when 0.29 * 100 falls just short of 29 in binary arithmetic.
std::string CutPoints(double points) { return FloatToText(std::floor(points * 100.0 + 1e-7) / 100.0); }

QPushButton* AnswerButton(Ui::TFormPlay& controls, int k)
{
    QPushButton* buttons[] = {controls.Button1, controls.Button2, controls.Button3, controls.Button4};
    return buttons[k - 1];
}

}  // namespace

TFormPlay::TFormPlay(QWidget* parent)
    : QDialog(parent),
      Random(static_cast<std::mt19937::result_type>(std::chrono::system_clock::now().time_since_epoch().count()))
{
    Controls.setupUi(this);
    ApplyFormLook(this, Qt::white);
    MakeFixedSingleBorder(this);
    PlaceWindow(this, 192, 107);

    QFont big = font();
    big.setPixelSize(21);
    Controls.Label2->setFont(big);
    Controls.LabelB->setFont(big);
    big.setBold(true);
    Controls.Label1->setFont(big);
    SetGothicFont(Controls.Memo1, 17);
    QPalette red = Controls.Label1->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    Controls.Label1->setPalette(red);
    QPalette blue = Controls.Label2->palette();
    blue.setColor(QPalette::WindowText, Qt::blue);
    Controls.Label2->setPalette(blue);

    Timer1.setSingleShot(true);
    // A coarse timer is moved by up to a twentieth of its interval onto round moments of the
    // machine's clock, so the programs running on one machine would drift onto the same
    // moments and send their statements together.
    Timer1.setTimerType(Qt::PreciseTimer);
    connect(&Timer1, &QTimer::timeout, this, [this] { RunGuarded(&TFormPlay::Timer1Timer); });
    connect(Controls.Button1, &QPushButton::clicked, this, [this] { RunGuarded(&TFormPlay::Button1Click); });
    connect(Controls.Button2, &QPushButton::clicked, this, [this] { RunGuarded(&TFormPlay::Button2Click); });
    connect(Controls.Button3, &QPushButton::clicked, this, [this] { RunGuarded(&TFormPlay::Button3Click); });
    connect(Controls.Button4, &QPushButton::clicked, this, [this] { RunGuarded(&TFormPlay::Button4Click); });
    connect(Controls.Button5, &QPushButton::clicked, this, [this] { RunGuarded(&TFormPlay::Button5Click); });
    connect(Controls.Button6, &QPushButton::clicked, this, [this] { RunGuarded(&TFormPlay::Button6Click); });
}

void TFormPlay::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous()) RunGuarded(&TFormPlay::FormShow);
}

// Every way of closing the dialog (quit button, title-bar close, the lobby's exit) ends here.
void TFormPlay::done(int result)
{
    // Leaving after a lost connection finds the connection closed and fails quietly.
    if (!Leaving) Guarded([this] { FormClose(); });
    QDialog::done(result);
}

// Esc does not leave a game by accident; the quit button does.
void TFormPlay::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        event->ignore();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TFormPlay::FormShow()
{
    ResetForRoom();
    MemberNo = JoinRoom(Db(), AppSettings.PlayerNo, Random, QuestionsToDraw);
    ArmTimer();
}

void TFormPlay::ResetForRoom()
{
    Timer1.stop();
    Leaving = false;
    GameState = TGameState::Lobby;
    RefreshTick = 0;
    AnsweredButton = 0;
    GoneMembers.clear();

    Controls.LabelA->setText(ToQt(AppSettings.PlayerName));
    SetLabelB({});
    SetMemo({});
    Controls.ListBox1->clear();
    Controls.ListBox2->clear();
    for (int k = 1; k <= 4; ++k) {
        AnswerButton(Controls, k)->setText({});
        AnswerButton(Controls, k)->setEnabled(false);
    }
    Controls.Button5->setEnabled(true);

    TextList player(4);
    if (Db().SelectFirstRow("*", "PLAYER", "N=" + Decimal(AppSettings.PlayerNo), player) > 0)
        Controls.LabelA->setText(ToQt(player[1] + "(N:" + player[0] + ") Points:" + CutPoints(TextToFloat(player[3]))));
}

void TFormPlay::FormClose()
{
    Leaving = true;
    Timer1.stop();
    LeaveRoom(Db(), MemberNo);
    MemberNo = 0;
}

void TFormPlay::ArmTimer(int64_t workUs)
{
    Timer1.start(static_cast<int>(std::max<int64_t>(0, GameTiming.TickMs - workUs / 1000)));
}

void TFormPlay::RunGuarded(void (TFormPlay::*handler)())
{
    if (!Guarded([this, handler] { (this->*handler)(); })) StopForLostConnection();
}

void TFormPlay::StopForLostConnection()
{
    Timer1.stop();
    GameState = TGameState::ConnectionLost;
    for (int k = 1; k <= 4; ++k) AnswerButton(Controls, k)->setEnabled(false);
    Controls.Button5->setEnabled(false);
    SetLabelB(Sjis("データベースとの接続が切れました"));
}

void TFormPlay::Timer1Timer()
{
    Timer1.stop();
    const auto started = std::chrono::steady_clock::now();
    const uint64_t statements = Db().StatementsSent();
    PausedUs = 0;
    const bool goOn = Step();
    LastTickStatements = Db().StatementsSent() - statements;
    LastTickWorkUs =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - started).count() -
        PausedUs;
    // The next tick is due one interval after this one began, its pauses aside: the work of a
    // tick does not push the later ones back. Otherwise the programs whose statements the server
    // answered together would all tick again together, and a room would gather into one ever
    // larger burst of statements. A tick that ran over its interval comes at once.
    if (goOn) ArmTimer(LastTickWorkUs);
}

bool TFormPlay::Step()
{
    switch (GameState) {
    case TGameState::Lobby: Lobby(); break;
    case TGameState::Starting: Starting(); break;
    case TGameState::LoadQuestion: LoadQuestion(); break;
    case TGameState::RevealQuestion: RevealQuestion(); break;
    case TGameState::AnswerTime: AnswerTime(); break;
    case TGameState::ShowAnswer: ShowAnswer(); break;
    case TGameState::WaitShown: WaitShown(); break;
    case TGameState::Judge: Judge(); break;
    case TGameState::WaitJudged: WaitJudged(); break;
    case TGameState::FinalResult: FinalResult(); break;
    case TGameState::Restart: break;
    case TGameState::ConnectionLost: return false;
    }
    if (Leaving) return false;  // the lobby found a game running and closed the window
    // FinalResult has already left the finished game and joined the next room.
    if (GameState == TGameState::Restart) ResetForRoom();
    return true;
}

void TFormPlay::Pause(uint32_t ms)
{
    const auto started = std::chrono::steady_clock::now();
    DelayMs(ms);
    PausedUs += std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - started).count();
}

void TFormPlay::RefreshMembers(int mode)
{
    if (++RefreshTick < 2) return;
    RefreshTick = 0;
    // Without the room's table the read fails and the list is left empty, as it would be after
    // a test of the table names; the room is read on nearly every tick, and that test would
    // cost as much as the read itself.
    SetItems(Controls.ListBox1, ReadMemberItems(Db(), mode == 0 ? MemberListMode::Lobby : MemberListMode::Game));
}

void TFormPlay::RefreshAnswers()
{
    if (++RefreshTick < 2) return;
    RefreshTick = 0;
    SetItems(Controls.ListBox2, ReadAnswerItems(Db()));
}

void TFormPlay::Lobby()
{
    // A bank of hundreds of questions drawn in one tick would stall this window for seconds.
    constexpr size_t DrawsPerTick = 25;
    DrawQuestions(Db(), Random, QuestionsToDraw, DrawsPerTick);
    const bool read = RefreshTick == 1;  // this call reads the room
    RefreshMembers(0);
    // A join can leave this program without a row: its inserts failed, or another program
    // that finished a game dropped the room just as this one joined it. With the room read
    // afresh it joins again, before it could start a game it is not part of.
    if (read && !OwnRowStands(Db(), MemberNo, AppSettings.PlayerNo)) {
        MemberNo = JoinRoom(Db(), AppSettings.PlayerNo, Random, QuestionsToDraw);
        Controls.Button5->setEnabled(true);
        return;
    }
    const auto items = MemberItems();
    if (items.empty()) return;

    bool allReady = true;
    bool anyPlaying = false;
    for (const std::string& item : items) {
        const std::string mark = MemberMark(item);
        allReady = allReady && mark == MarkReady();
        anyPlaying = anyPlaying || mark == MarkPlaying();
    }
    // A member that has just finished a game (status 13) also shows the playing mark; it
    // leaves the room within moments, so only a game in progress sends this program away.
    if (anyPlaying && GameRunning(Db())) {
        if (MemberNo != 0) Db().DeleteRows("QUIZMEM", "N=" + Decimal(MemberNo));
        MemberNo = 0;
        ShowMessage(this, Sjis("現在ゲーム実行中です。しばらく後に再度スタートして下さい"));
        close();
        return;
    }
    if (allReady) {
        GameState = TGameState::Starting;
        Countdown = 10;
    }
}

void TFormPlay::Starting()
{
    if (Db().TableExists("QUIZMEM")) {
        RefreshMembers(0);
        ReadyCount = 0;
        bool back = false;
        for (const std::string& item : MemberItems()) {
            const std::string mark = MemberMark(item);
            if (mark == MarkJoined()) back = true;
            // A member whose countdown ended a tick earlier already shows the playing mark;
            // it is a player of this game all the same.
            if (mark == MarkReady() || mark == MarkPlaying()) ++ReadyCount;
        }
        if (back) {
            GameState = TGameState::Lobby;
            Countdown = 10;
        }
    }
    if (GameState == TGameState::Lobby)
        SetLabelB({});
    else
        SetLabelB(Sjis("まもなくゲームスタートです ... ") + Decimal(Countdown));

    if (--Countdown < 0) {
        GameState = TGameState::LoadQuestion;
        QuestionNo = 1;
        SetLabelB({});
        WriteStatus(Db(), MemberNo, 2);
    }
}

void TFormPlay::LoadQuestion()
{
    // Every program reads the answers on the same ticks of a question, the first reveal tick
    // and every second one after it, whatever ticks its barriers took: a program whose reads
    // fell on the other ticks would end the question a tick apart from the rest, and the
    // room would split into groups that wait for one another at every barrier.
    RefreshTick = 1;
    SetLabelB(QuestionLabel(QuestionNo));
    const TextList row = LoadQuestionRow(Db(), QuestionNo);
    CorrectButton = TextToInt(row[QaANN]);
    QuestionText = row[QaQ1] + row[QaQ2] + row[QaQ3] + row[QaQ4];

    const std::string* captions[4];
    switch (CorrectButton) {
    case 1: captions[0] = &row[QaANS], captions[1] = &row[QaAN1], captions[2] = &row[QaAN2], captions[3] = &row[QaAN3]; break;
    case 2: captions[0] = &row[QaAN1], captions[1] = &row[QaANS], captions[2] = &row[QaAN2], captions[3] = &row[QaAN3]; break;
    case 3: captions[0] = &row[QaAN1], captions[1] = &row[QaAN2], captions[2] = &row[QaANS], captions[3] = &row[QaAN3]; break;
    default: captions[0] = &row[QaAN1], captions[1] = &row[QaAN2], captions[2] = &row[QaAN3], captions[3] = &row[QaANS]; break;
    }
    for (int k = 1; k <= 4; ++k) {
        AnswerButton(Controls, k)->setText(ToQt(*captions[k - 1]));
        AnswerButton(Controls, k)->setEnabled(true);
    }
    // The previous question's answers must not end this one before the first fresh read.
    Controls.ListBox2->clear();
    AnsweredButton = 0;
    AnswerRewrites = 0;
    GameState = TGameState::RevealQuestion;
    Countdown = 0;
}

void TFormPlay::RevealQuestion()
{
    Countdown += 2;
    SetMemo(LeftSjis(QuestionText, Countdown));
    if (static_cast<int64_t>(QuestionText.size()) <= Countdown) {
        SetMemo(QuestionText + Sjis("◆"));
        GameState = TGameState::AnswerTime;
        Countdown = 5;
    }
    WatchAnswers();
}

void TFormPlay::AnswerTime()
{
    SetLabelB(QuestionLabel(QuestionNo) + Sjis("　：") + Decimal(Countdown));
    if (--Countdown < 0) {
        GameState = TGameState::ShowAnswer;
        SetLabelB({});
    }
    WatchAnswers();
}

void TFormPlay::WatchAnswers()
{
    const bool read = RefreshTick == 1;  // RefreshAnswers reads on every second call
    RefreshAnswers();
    KeepAnswer(read);
    // Members a barrier has given up are not awaited; one that moves again is (BarrierPassed).
    if (Controls.ListBox2->count() == ReadyCount - static_cast<int32_t>(GoneMembers.size())) {
        GameState = TGameState::ShowAnswer;
        SetLabelB({});
    }
}

void TFormPlay::KeepAnswer(bool listRead)
{
    if (!listRead || AnsweredButton == 0 || AnswerRewrites >= 3) return;
    for (const std::string& item : AnswerItems())
        if (ParseAnswerItem(item).Mn == AppSettings.PlayerNo) return;
    // A slower program's question load deleted the answer after it was written.
    ++AnswerRewrites;
    InsertAnswer(Db(), AppSettings.PlayerNo, AnsweredButton);
}

void TFormPlay::ShowAnswer()
{
    SetLabelB(QuestionLabel(QuestionNo) + Sjis("の答え：") + Decimal(CorrectButton));
    // Of the two lists, this tick reads the answers: Judge decides on them, and an answer that
    // came after the last read still counts. The room is read by the barrier's ticks that follow,
    // once the others have shown the answer too.
    RefreshTick = 1;
    RefreshAnswers();
    WriteStatus(Db(), MemberNo, 3);
    RefreshMembers(1);
    GameState = TGameState::WaitShown;
    Countdown = 0;
}

bool TFormPlay::BarrierPassed(const std::vector<int32_t>& accepted, int32_t limit)
{
    ++Countdown;
    const auto items = MemberItems();
    std::vector<std::pair<std::string, std::string>> waiting;
    for (const std::string& item : items) {
        std::string status;
        if (!MemberStatus(item, status)) continue;  // an item without a status is not counted
        bool passes = status == "0";
        for (int32_t value : accepted) passes = passes || TextToInt(status) == value;
        const std::string name = MemberName(item);
        const auto gone = GoneMembers.find(name);
        if (!passes && gone != GoneMembers.end()) {
            if (gone->second == status)
                passes = true;
            else
                GoneMembers.erase(gone);  // it moved on after all: it is playing again
        }
        if (!passes) waiting.emplace_back(name, status);
    }
    if (waiting.empty()) return true;
    if (Countdown <= limit) return false;
    // Longer than any live member could need: the ones still waited for have stopped.
    for (const auto& [name, status] : waiting) GoneMembers[name] = status;
    return true;
}

void TFormPlay::ReadRoomAtBarrier()
{
    // At a barrier the room is read on every tick: the members pass it on the first tick
    // after the last of them has written its status, each a fraction of a tick apart,
    // instead of up to two ticks apart as every second tick's read would leave them.
    RefreshTick = 1;
    RefreshMembers(1);
}

void TFormPlay::WaitShown()
{
    ReadRoomAtBarrier();
    // A member that has passed this barrier already shows q + 3.
    const int32_t reveal = static_cast<int32_t>((QuestionText.size() + 1) / 2);
    if (BarrierPassed({3, QuestionNo + 3}, reveal + 6 + 10)) GameState = TGameState::Judge;
}

void TFormPlay::Judge()
{
    const AnswerItem* winner = nullptr;
    std::vector<AnswerItem> answers;
    for (const std::string& item : AnswerItems()) answers.push_back(ParseAnswerItem(item));
    for (const AnswerItem& answer : answers) {
        if (answer.An == CorrectButton) {
            winner = &answer;
            break;
        }
    }
    const std::string prefix = QuestionLabel(QuestionNo) + Sjis("の正解者：");
    if (!winner || winner->Mn < 1 || winner->An < 1)
        SetLabelB(prefix + Sjis("無し"));
    else
        SetLabelB(prefix + winner->Name);
    if (winner && winner->Mn == AppSettings.PlayerNo) AddGamePoint(Db(), winner->Mn);

    WriteStatus(Db(), MemberNo, QuestionNo + 3);
    RefreshMembers(1);
    GameState = TGameState::WaitJudged;
    Countdown = 0;
    Pause(GameTiming.JudgePauseMs);
}

void TFormPlay::WaitJudged()
{
    ReadRoomAtBarrier();
    // A member that has already loaded and shown the next question shows 3.
    std::vector<int32_t> accepted = {QuestionNo + 3};
    if (QuestionNo < 10) accepted.push_back(3);
    if (!BarrierPassed(accepted, 20)) return;
    ++QuestionNo;
    if (QuestionNo <= 10) {
        GameState = TGameState::LoadQuestion;
        SetLabelB({});
    } else {
        GameState = TGameState::FinalResult;
    }
}

void TFormPlay::FinalResult()
{
    int32_t top = 0;
    const auto items = MemberItems();
    for (const std::string& item : items) {
        int32_t points = 0;
        if (MemberPoints(item, points) && points > top) top = points;
    }
    SetLabelB(Sjis("最高得点：") + Decimal(top));
    SetMemo({});
    if (top > 0) {
        std::string names;
        int winners = 0;
        bool thisPlayerWon = false;
        for (const std::string& item : items) {
            int32_t points = 0;
            if (!MemberPoints(item, points) || points != top) continue;
            const std::string name = MemberName(item);
            names += name + ",";
            ++winners;
            thisPlayerWon = thisPlayerWon || name == AppSettings.PlayerName;
        }
        SetMemo(names);
        if (winners > 0 && thisPlayerWon) AddPlayerPoints(Db(), AppSettings.PlayerNo, winners);
    }
    emit ResultShown();
    // The result stays on screen for the whole pause. Meanwhile this program leaves the finished
    // game and joins the next room, at a random moment of the pause's first half: a full room
    // finishes together, and its leaves and joins sent at one instant would queue on the server
    // for most of a second.
    const uint32_t started = TickCountMs();
    Pause(std::uniform_int_distribution<uint32_t>(0, GameTiming.FinalPauseMs / 2)(Random));
    LeaveFinishedGame(Db(), MemberNo, AppSettings.PlayerNo);
    MemberNo = JoinRoom(Db(), AppSettings.PlayerNo, Random, QuestionsToDraw);
    const uint32_t spent = TickCountMs() - started;
    if (spent < GameTiming.FinalPauseMs) Pause(GameTiming.FinalPauseMs - spent);
    GameState = TGameState::Restart;
}

void TFormPlay::AnswerClick(int button)
{
    for (int k = 1; k <= 4; ++k) {
        AnswerButton(Controls, k)->setEnabled(false);
        if (k != button) AnswerButton(Controls, k)->setText({});
    }
    AnsweredButton = button;
    InsertAnswer(Db(), AppSettings.PlayerNo, button);
}

void TFormPlay::Button5Click()
{
    // Without a row of its own the program has nothing to mark ready; the button stays.
    if (MemberNo == 0) return;
    // The game can start once everyone is ready, so the order must be complete before.
    DrawQuestions(Db(), Random, QuestionsToDraw, QuestionsToDraw.Numbers.size());
    if (WriteStatus(Db(), MemberNo, 1)) Controls.Button5->setEnabled(false);
}

void TFormPlay::Button6Click() { close(); }

void TFormPlay::SetLabelB(const std::string& text)
{
    Controls.LabelB->setText(ToQt(text));
    Controls.LabelB->repaint();
}

void TFormPlay::SetMemo(const std::string& text)
{
    Controls.Memo1->setPlainText(ToQt(text));
    Controls.Memo1->repaint();
}

std::vector<std::string> TFormPlay::MemberItems() const { return ItemsOf(Controls.ListBox1); }

std::vector<std::string> TFormPlay::AnswerItems() const { return ItemsOf(Controls.ListBox2); }

// Each item keeps its CP932 bytes beside the text shown, so that reading the list back is
// exact even for bytes that have no character.
std::vector<std::string> TFormPlay::ItemsOf(const QListWidget* list)
{
    std::vector<std::string> items;
    for (int i = 0; i < list->count(); ++i) items.push_back(list->item(i)->data(Qt::UserRole).toByteArray().toStdString());
    return items;
}

// A list that already shows these items is left as it is: rebuilding it lays out and paints
// every item again, and a full room reads its lists on nearly every tick.
void TFormPlay::SetItems(QListWidget* list, const std::vector<std::string>& items)
{
    if (ItemsOf(list) == items) return;
    list->clear();
    for (const std::string& text : items) {
        auto* item = new QListWidgetItem(ToQt(text), list);
        item->setData(Qt::UserRole, QByteArray(text.data(), static_cast<qsizetype>(text.size())));
    }
}
