#include "game/play_window.h"

#include "app/dialogs.h"
#include "app/handler_guard.h"
#include "app/sjis_text.h"
#include "app/unitv.h"
#include "app/window_style.h"
#include "ui_play_window.h"

#include <QKeyEvent>
#include <QShowEvent>
#include <algorithm>
#include <iterator>
#include <chrono>

TFormPlay* FormPlay = nullptr;

namespace {

// The microseconds spent in DelayMs(ms).
int64_t PauseUs(uint32_t ms)
{
    if (ms == 0) return 0;
    const auto started = std::chrono::steady_clock::now();
    DelayMs(ms);
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - started).count();
}

void SetItems(QListWidget* list, const std::vector<std::string>& items)
{
    list->clear();
    for (const std::string& text : items) list->addItem(ToQt(text));
}

}  // namespace

TFormPlay::TFormPlay(QuizDatabase& db, QWidget* parent)
    : QDialog(parent), Controls(std::make_unique<Ui::TFormPlay>()), Db(db), Loop(db, *this)
{
    Controls->setupUi(this);
    ApplyFormLook(this, Qt::white);
    MakeFixedSingleBorder(this);
    PlaceWindow(this, 192, 107);

    QFont big = font();
    big.setPixelSize(21);
    Controls->Label2->setFont(big);
    Controls->LabelB->setFont(big);
    big.setBold(true);
    Controls->Label1->setFont(big);
    SetGothicFont(Controls->Memo1, 17);
    QPalette red = Controls->Label1->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    Controls->Label1->setPalette(red);
    QPalette blue = Controls->Label2->palette();
    blue.setColor(QPalette::WindowText, Qt::blue);
    Controls->Label2->setPalette(blue);

    Timer1.setSingleShot(true);
    // A coarse timer is moved by up to a twentieth of its interval onto round moments of the
    // machine's clock, so the programs running on one machine would drift onto the same
    // moments and send their statements together.
    Timer1.setTimerType(Qt::PreciseTimer);
    connect(&Timer1, &QTimer::timeout, this, [this] {
        RunGuarded(&TFormPlay::Timer1Timer);
        emit TickDone();
    });
    connect(Controls->Button1, &QPushButton::clicked, this, [this] { RunGuarded(&TFormPlay::Button1Click); });
    connect(Controls->Button2, &QPushButton::clicked, this, [this] { RunGuarded(&TFormPlay::Button2Click); });
    connect(Controls->Button3, &QPushButton::clicked, this, [this] { RunGuarded(&TFormPlay::Button3Click); });
    connect(Controls->Button4, &QPushButton::clicked, this, [this] { RunGuarded(&TFormPlay::Button4Click); });
    connect(Controls->Button5, &QPushButton::clicked, this, [this] { RunGuarded(&TFormPlay::Button5Click); });
    connect(Controls->Button6, &QPushButton::clicked, this, [this] { RunGuarded(&TFormPlay::Button6Click); });
}

TFormPlay::~TFormPlay() = default;

void TFormPlay::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous()) RunGuarded(&TFormPlay::FormShow);
}

// Every way of closing the dialog (quit button, title-bar close, the lobby's exit) ends here.
void TFormPlay::done(int result)
{
    // Leaving after a lost connection finds the connection closed and fails quietly.
    if (Loop.Progress().GameState != TGameState::Left) Guarded([this] { FormClose(); });
    QDialog::done(result);
}

void TFormPlay::keyPressEvent(QKeyEvent* event)
{
    // Esc does not leave a game by accident; the quit button does.
    if (event->key() == Qt::Key_Escape) {
        event->ignore();
        return;
    }
    // The keys 1 to 4 (the number pad's too) press the answer buttons.
    if (event->key() >= Qt::Key_1 && event->key() <= Qt::Key_4 && !event->isAutoRepeat()) {
        void (TFormPlay::*answers[])() = {&TFormPlay::Button1Click, &TFormPlay::Button2Click, &TFormPlay::Button3Click,
                                          &TFormPlay::Button4Click};
        RunGuarded(answers[event->key() - Qt::Key_1]);
        return;
    }
    QDialog::keyPressEvent(event);
}

void TFormPlay::FormShow()
{
    Timer1.stop();
    Loop.Join({AppSettings.PlayerNo, AppSettings.PlayerName});
    ArmTimer();
}

void TFormPlay::FormClose()
{
    Timer1.stop();
    Loop.Leave();
}

void TFormPlay::ArmTimer(int64_t workUs)
{
    Timer1.start(static_cast<int>(std::max<int64_t>(0, GameTiming.TickMs - workUs / 1000)));
}

void TFormPlay::RunGuarded(void (TFormPlay::*handler)())
{
    if (Guarded([this, handler] { (this->*handler)(); })) return;
    // The loop goes on ticking: it shows the wait and takes the game up once the main window
    // has connected again.
    Loop.StopForLostConnection();
    if (isVisible()) ArmTimer();
}

void TFormPlay::Timer1Timer()
{
    Timer1.stop();
    const auto started = std::chrono::steady_clock::now();
    const uint64_t statements = Db.StatementsSent();
    int64_t pausedUs = 0;
    // The window stands still during the loop's pauses, as the game has always done: clicks
    // made meanwhile are handled after them.
    TickEnd end;
    do {
        end = Loop.Tick();
        pausedUs += PauseUs(end.PauseMs);
    } while (end.GoOn && end.NextAtOnce);
    LastTickStatements = Db.StatementsSent() - statements;
    LastTickWorkUs =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - started).count() -
        pausedUs;
    // The next tick is due one interval after this one began, its pauses aside: the work of a
    // tick does not push the later ones back. Otherwise the programs whose statements the server
    // answered together would all tick again together, and a room would gather into one ever
    // larger burst of statements. A tick that ran over its interval comes at once.
    if (end.GoOn) ArmTimer(LastTickWorkUs);
}

void TFormPlay::ViewChanged(const GameView& view, ViewPart part)
{
    QPushButton* answers[] = {Controls->Button1, Controls->Button2, Controls->Button3, Controls->Button4};
    switch (part) {
    case ViewPart::Player: Controls->LabelA->setText(ToQt(view.Player)); break;
    case ViewPart::Progress:
        Controls->LabelB->setText(ToQt(view.Progress));
        Controls->LabelB->repaint();
        break;
    case ViewPart::Question:
        Controls->Memo1->setPlainText(ToQt(view.Question));
        Controls->Memo1->repaint();
        break;
    case ViewPart::Choices:
        // Once answered, only the chosen answer stays on its button.
        for (int k = 0; k < 4; ++k)
            answers[k]->setText(view.Chosen == 0 || view.Chosen == k + 1 ? ToQt(view.Choices[static_cast<size_t>(k)]) : QString());
        break;
    case ViewPart::Buttons: {
        // A button that is disabled with the focus on it would hand the focus on to the next
        // one, the quit button, where a press of Space would leave the game.
        QWidget* focused = focusWidget();
        if (focused && !view.AnswersEnabled && std::find(std::begin(answers), std::end(answers), focused) != std::end(answers))
            focused->clearFocus();
        if (focused == Controls->Button5 && !view.ReadyEnabled) focused->clearFocus();
        for (QPushButton* button : answers) button->setEnabled(view.AnswersEnabled);
        Controls->Button5->setEnabled(view.ReadyEnabled);
        break;
    }
    case ViewPart::Members: {
        std::vector<std::string> items;
        for (const RoomMember& member : view.Members) items.push_back(MemberItemText(member, view.MembersMode));
        SetItems(Controls->ListBox1, items);
        break;
    }
    case ViewPart::Answers: {
        std::vector<std::string> items;
        for (const RoomAnswer& answer : view.Answers) items.push_back(AnswerItemText(answer));
        SetItems(Controls->ListBox2, items);
        break;
    }
    }
}

void TFormPlay::TurnAway(const std::string& message)
{
    ShowMessage(this, message);
    close();
}

void TFormPlay::Alert(const std::string& message) { ShowMessage(this, message); }
