// The game loop of one player: the lobby, the start countdown, ten questions with their two
// barriers and the judging, and the final result, played with the other programs through the
// room's tables. It holds no widget: a screen shows what the loop says (GameView) and passes
// the player's actions on, and the loop's owner drives its pace, ticking it and keeping the
// pauses it asks for. A lost connection reaches the owner as the database layer reports it.
#pragma once

#include "db/quiz_database.h"
#include "game/room_protocol.h"

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

// The pace of the game. The program always plays with these values; only the test player
// shortens them.
struct TGameTiming {
    int TickMs = 500;
    uint32_t JudgePauseMs = 1000;
    uint32_t FinalPauseMs = 2000;
};
extern TGameTiming GameTiming;

enum class TGameState : int32_t {
    Lobby = 0,
    Starting = 1,
    LoadQuestion = 2,
    RevealQuestion = 3,
    AnswerTime = 4,
    ShowAnswer = 5,
    WaitShown = 6,
    Judge = 7,
    WaitJudged = 8,
    FinalResult = 9,
    Restart = 10,
    // The connection broke: the loop waits for its owner to connect again, then takes the game
    // up where it stood, or waits for the next one.
    ConnectionLost = 11,
    // The loop has left the room: its screen closed, or a game was running when it came.
    Left = 12,
    // The next room is joined; the result has had its time on screen and the screen is reset.
    NewRoom = 13,
    // This player fell behind the room (or came back too late to take the game up): it has no
    // row in the room and joins when the game there has ended.
    WaitNextGame = 14,
    // The room's statements kept failing: the loop stands still, its screen says why.
    Failed = 15,
};

// What a screen shows of the game.
struct GameView {
    std::string Player;                   // name, number and points (LabelA)
    std::string Progress;                 // the game's progress line (LabelB)
    std::string Question;                 // the question as revealed so far, later the winners (Memo1)
    std::array<std::string, 4> Choices;   // the answers on the four buttons
    int Chosen = 0;                       // the button this player pressed for the question, or 0
    int Correct = 0;                      // the button with the correct answer, once it is shown
    bool AnswersEnabled = false;
    bool ReadyEnabled = false;
    MemberListMode MembersMode = MemberListMode::Lobby;
    std::vector<RoomMember> Members;
    std::vector<RoomAnswer> Answers;
};

enum class ViewPart { Player, Progress, Question, Choices, Buttons, Members, Answers };

class GameScreen {
public:
    virtual ~GameScreen() = default;
    // A part of the view changed: the screen shows it at once.
    virtual void ViewChanged(const GameView& view, ViewPart part) = 0;
    // A game was running when this player came: the loop has left the room, and the screen
    // says the message and closes.
    virtual void TurnAway(const std::string& message) = 0;
    // Something the player must read before going on (the loop has stopped).
    virtual void Alert(const std::string& message) = 0;
    // The final result is on screen, just before the pause that ends the game.
    virtual void FinalResultShown(const GameView& /*view*/) {}
};

// Where the loop stands.
struct GameProgress {
    TGameState GameState = TGameState::Left;
    int32_t MemberNo = 0;       // this program's QUIZMEM.N, 0 without a row
    int32_t ReadyCount = 0;     // the players counted on the countdown's last tick
    int32_t QuestionNo = 0;     // 1 to 10, 11 after the last
    int32_t CorrectButton = 0;  // the button that carries the correct answer
    std::string QuestionText;   // the whole question text
};

// The player a loop plays for.
struct GamePlayer {
    int32_t No = 0;
    std::string Name;
};

// What the owner does after a tick: wait PauseMs (left out of the tick's work), then tick
// again at once when NextAtOnce, otherwise one interval after this tick began. A loop that
// does not go on stands still until its screen closes.
struct TickEnd {
    bool GoOn = true;
    uint32_t PauseMs = 0;
    bool NextAtOnce = false;
};

class GameLoop {
public:
    GameLoop(QuizDatabase& db, GameScreen& screen, const TGameTiming& timing = GameTiming);

    // Resets the view, shows the player and joins the room; the first tick may follow.
    void Join(const GamePlayer& player);
    TickEnd Tick();
    // The player's actions. Each does nothing where its button is not offered.
    void Ready();
    void Answer(int button);
    // Leaves the room: this member's row goes, and the room's tables with it when it was the
    // last. Once left, the loop does nothing more until it joins again.
    void Leave();
    // The connection broke: the view says so, and the loop waits until its database is
    // connected again (its owner connects it), then takes the game up if it can.
    void StopForLostConnection();

    const GameView& View() const { return ViewNow; }
    const GameProgress& Progress() const { return Now; }

private:
    struct Step {
        TGameState Next;
        uint32_t PauseMs = 0;
    };
    Step Run(TGameState state);
    Step Lobby();
    Step Starting();
    Step LoadQuestion();
    Step RevealQuestion();
    Step AnswerTime();
    Step ShowAnswer();
    Step WaitShown();
    Step Judge();
    Step WaitJudged();
    Step FinalResult();
    Step Restart();
    Step NewRoom();
    Step ConnectionLost();
    Step WaitNextGame();

    // Back on a connection: the state to go on in.
    TGameState Resume();
    // This player's row is gone from the room, or a member has judged a later question: the
    // others gave this player up and played on.
    bool Behind() const;
    // Leaves the game this player fell behind in: its row goes, and it waits for the next one.
    TGameState WaitForNextGame();
    // Watches the members in a game, as read on this tick: whether they moved since the last
    // look, or have stood still longer than any live game does (a room left by programs that
    // stopped).
    enum class RoomWatch { FirstSeen, Moved, Still, StoodStill };
    RoomWatch WatchRoom();
    // Joins the room, when there is one to join, with the view reset.
    TGameState JoinAgain();

    // The view as a new room finds it, with the player line from the player's row.
    void ResetForRoom();
    // Whether this tick reads the members (in the lobby and at the barriers) or the answers
    // (while a question is open, and when its answer is shown).
    bool ReadsThisTick() const;
    void ReadMembers(MemberListMode mode);
    void ReadAnswers();
    // The answers read on this tick, if it reads them: the question ends once every counted
    // player has answered, and this player's answer is written again when a slower program's
    // question load deleted it.
    TGameState WatchAnswers(TGameState next);
    // Whether every member stands at one of the accepted statuses (or at 0), counting the
    // members still waited for after limit ticks as stopped for the rest of the game.
    bool BarrierPassed(const std::vector<int32_t>& accepted, int32_t limit);

    void SetProgress(const std::string& text);
    void SetQuestion(const std::string& text);
    void SetButtons(bool answers, bool ready);

    QuizDatabase& Db;
    GameScreen& Screen;
    TGameTiming Timing;
    GamePlayer Player;
    std::mt19937 Random;
    GameView ViewNow;

    GameProgress Now;
    int32_t PhaseTicks = 0;       // ticks since joining, or since the question was loaded
    int32_t StartTicks = 0;       // the start countdown, 10 down to 0
    int32_t RevealedBytes = 0;
    int32_t AnswerTicks = 0;      // the answer time, 5 down to 0
    int32_t BarrierTicks = 0;     // ticks spent at the current barrier
    int AnswerRewrites = 0;       // answers written again for the current question
    uint32_t ResultPauseMs = 0;   // the part of the final pause before leaving the finished game
    TGameState LostIn = TGameState::Lobby;  // the state the connection broke in
    int32_t LostTicks = 0;        // ticks since the connection broke
    int32_t FailingTicks = 0;     // ticks whose statements failed since the last that all went through
    std::vector<RoomMember> StillRoom;  // the members in a game, as last watched
    int32_t StillSince = 0;       // the phase tick since which they have stood still
    // Members that stopped during this game, by name, with the status they stopped at.
    std::map<std::string, std::optional<int32_t>> GoneMembers;
    // The question order this program draws for the next game: a part on every lobby tick,
    // the rest before it marks itself ready.
    QuestionDraw QuestionsToDraw;
};
