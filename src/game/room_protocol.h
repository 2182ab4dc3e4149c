// The statements by which the running programs play one game together through the shared
// tables QUIZMEM (the room), QUIZANS (the answers), QUIZQA and PLAYER. Each is one helper call
// of the database layer; nothing here waits or shows anything.
#pragma once

#include "db/question_row.h"
#include "db/quiz_database.h"

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

// Joins the room, creating it when there is none, and prepares the answer table. Returns the
// member number of the row this program inserted, or 0 when it has none (no row has N = 0).
// Unless a game is running in the room, the answers are emptied, and the first member of the
// next game (no joined or ready member has a smaller number) draws the question order: exactly
// one program per room does. toDraw receives the questions it has to draw, or none;
// DrawQuestions writes them, all before this program marks itself ready.
struct QuestionDraw {
    int32_t BankSize = 0;  // the questions in the bank when the draw began
    TextList Numbers;      // their N still to draw, ascending
};
int32_t JoinRoom(QuizDatabase& db, int32_t playerNo, std::mt19937& random, QuestionDraw& toDraw);

// New random SN (0 to BankSize - 1) and ANN (1 to 4) for the first `limit` questions still
// to draw, which are taken off the list.
void DrawQuestions(QuizDatabase& db, std::mt19937& random, QuestionDraw& toDraw, size_t limit);

// True when some member is between its start and its last judged question.
bool GameRunning(QuizDatabase& db);

bool WriteStatus(QuizDatabase& db, int32_t memberNo, int32_t status);

// Whether this program's row (its member number and player) is in the room.
bool OwnRowStands(QuizDatabase& db, int32_t memberNo, int32_t playerNo);

// Inserts this player's answer, trying up to three times; true once stored.
bool InsertAnswer(QuizDatabase& db, int32_t playerNo, int button);

// Empties the answers and reads the question at position q of the order SN, N (the last row
// when there are fewer). The values are empty when the read fails.
TextList LoadQuestionRow(QuizDatabase& db, int32_t q);

// Writes this member's judged status, with this player's game point before it when the player
// won the question, in one transaction: whoever sees the status sees the point, and a judgement
// that a broken connection cuts off is written whole or not at all.
void WriteJudgement(QuizDatabase& db, int32_t memberNo, int32_t playerNo, int32_t status, bool won);

// Adds 1 / winners to this player's POINTS.
void AddPlayerPoints(QuizDatabase& db, int32_t playerNo, int winners);

// After a finished game: removes the rows of members that never finished it (they stopped
// and count as gone) and this program's own row; the tables stay for the next game. A program
// whose own row is gone removes nothing.
void LeaveFinishedGame(QuizDatabase& db, int32_t memberNo, int32_t playerNo);

// Closing the play window: removes this program's row, drops the room when it is left
// empty, and then the answer table when it is empty too.
void LeaveRoom(QuizDatabase& db, int32_t memberNo);

// Drops the room and the answers, as the main window's member-table button does; a room table
// that another program still holds is emptied instead.
void ClearRoom(QuizDatabase& db);

// The rows of the two lists a player sees: the room's members in member-number order, and the
// answers to the question being played in the order the database returns them. Only players
// with a PLAYER row are listed.
enum class MemberListMode { Lobby = 0, Game = 1 };
struct RoomMember {
    std::string Name;
    std::optional<int32_t> Status;  // OK; none when NULL
    int32_t Points = 0;             // GP; read in the game only
    bool operator==(const RoomMember&) const = default;
};
struct RoomAnswer {
    std::string Name;
    int32_t Mn = 0;
    int32_t An = 0;
    bool operator==(const RoomAnswer&) const = default;
};
// The reads fail to an empty list (no room, no connection).
std::vector<RoomMember> ReadMembers(QuizDatabase& db, MemberListMode mode);
std::vector<RoomAnswer> ReadAnswers(QuizDatabase& db);

// The lines the lists show (CP932). In the lobby: the name, a blank and a mark; in the game:
// the name, then ' "[' status ']" GP:' points. An answer: the name, " '", the player number,
// '"：' and the button.
std::string MemberItemText(const RoomMember& member, MemberListMode mode);
std::string AnswerItemText(const RoomAnswer& answer);

// The lobby mark of a status: "－" joined (0), "○" ready (1), "×" anything else, NULL included.
std::string MemberMark(const std::optional<int32_t>& status);
std::string MarkJoined();
std::string MarkReady();
std::string MarkPlaying();
