// Following a room from outside, without a row of its own and without writing to the room's
// tables: who is in it, where the game stands, the question and the answers given to it, whom a
// barrier waits for, and what each question and game came to. The teacher's screen shows it,
// and the record of every game is kept from it. The statements only read; the room plays at
// the same pace whether it is watched or not.
#pragma once

#include "db/quiz_database.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

struct WatchedMember {
    int32_t MemberNo = 0;
    int32_t PlayerNo = 0;
    std::string Name;
    std::optional<int32_t> Status;
    int32_t Points = 0;  // game points
    bool operator==(const WatchedMember&) const = default;
};

struct WatchedAnswer {
    int32_t PlayerNo = 0;
    std::string Name;
    int32_t Button = 0;
    bool operator==(const WatchedAnswer&) const = default;
};

enum class RoomStage { NoRoom, Lobby, Question, Shown, Final };

// What a question of a game came to, once every member still playing has judged it.
struct QuestionOutcome {
    int32_t Game = 0;          // the watcher's count of games
    int32_t QuestionNo = 0;    // 1 to 10
    int32_t BankNo = 0;        // QUIZQA.N
    std::string Text;          // Q1 to Q4 joined
    std::array<std::string, 4> Choices;
    int32_t Correct = 0;       // the button that carried the correct answer
    std::vector<WatchedMember> Members;   // those in the game
    std::vector<WatchedAnswer> Answers;   // the first answer of each player, in the order the room read them
    std::vector<int32_t> Winners;         // player numbers whose game point came from this question
};

// What a game came to, when its members have left it.
struct GameOutcome {
    int32_t Game = 0;
    std::chrono::system_clock::time_point Started, Ended;
    std::vector<WatchedMember> Members;   // with their final game points
    int32_t TopScore = 0;
};

class RoomObserver {
public:
    explicit RoomObserver(QuizDatabase& db);

    // One look at the room; outcomes that became final go to the listeners.
    void Poll();

    std::function<void(const QuestionOutcome&)> OnQuestion;
    std::function<void(const GameOutcome&)> OnGame;
    // A game began; its number counts the games this watcher has seen.
    std::function<void(int32_t game)> OnGameStarted;

    RoomStage Stage() const { return StageNow; }
    const std::vector<WatchedMember>& Members() const { return MembersNow; }
    int32_t QuestionNo() const { return Question; }
    // The question in play: its text, choices and, once shown, the correct button.
    const QuestionOutcome& Current() const { return CurrentQuestion; }
    // Members a barrier waits for, as member numbers.
    std::vector<int32_t> Waiting() const;
    // When the room entered its present stage and question.
    std::chrono::steady_clock::time_point StageSince() const { return Since; }

private:
    void ReadMembers();
    void ReadAnswers();
    void LoadQuestion(int32_t q);
    // Takes the game points of the members that have judged the question waiting for its
    // judgements, and tells it once all of them have (or force).
    void JudgeWaitingQuestion(bool force);
    void FinishGame();
    bool InGame(const WatchedMember& member) const;

    QuizDatabase& Db;
    RoomStage StageNow = RoomStage::NoRoom;
    std::vector<WatchedMember> MembersNow;
    int32_t Game = 0;
    bool Playing = false;
    std::chrono::system_clock::time_point GameStarted;
    std::map<int32_t, WatchedMember> GameMembers;  // by member number, as last seen in the game
    int32_t Judged = 0;    // the highest question a member has judged in this game
    int32_t Question = 0;
    QuestionOutcome CurrentQuestion;
    int32_t CorrectButton = 0;  // of the question in play, shown once a member has shown it
    // The question judged by some members and not yet by all, with the members' game points
    // before it and once they had judged it.
    std::optional<QuestionOutcome> Judging;
    // Answer rows left from the last question until the room empties the table for this one.
    std::vector<WatchedAnswer> StaleAnswers;
    bool AnswersFresh = false;
    std::map<int32_t, int32_t> PointsBefore;
    std::map<int32_t, int32_t> PointsJudged;
    std::map<int32_t, int32_t> ShownFor;       // the question a member at status 3 showed
    std::set<int32_t> Finished;  // members still at the last game's final judgement
    bool Recording = false;  // a game watched from its start, not taken up half-way
    std::chrono::steady_clock::time_point Since;
};
