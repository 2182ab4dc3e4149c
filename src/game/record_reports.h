// The teacher's reports on the record of games (see game_record.h) and the teacher's actions on
// the players and the room, as plain functions over a connected database. Dates are
// "YYYY-MM-DD", both ends of a range inclusive, an empty end open; a range with a date that is
// not a real calendar date gives no rows. Texts are CP932 bytes. Every statement is built from
// numbers, checked dates and quoted texts.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class QuizDatabase;

// Whether text is a calendar date written "YYYY-MM-DD" (the form every range takes).
bool IsReportDate(const std::string& text);

struct RecordedGame {
    int32_t Id = 0;
    std::string Started;   // "YYYY-MM-DD HH:MM:SS"
    std::string Ended;     // the same; empty while the game has not ended
    int32_t TopScore = 0;
    int32_t Members = 0;   // members at the game's end
    std::vector<std::string> Winners;  // the names of those who won a share of the point
};
// Games started or ended within the range, newest first.
std::vector<RecordedGame> RecordedGames(QuizDatabase& db, const std::string& fromDate, const std::string& toDate);

struct ReportMember {
    int32_t Rank = 0;      // 1 for the top score; equal scores share a rank (1, 1, 3)
    int32_t PlayerNo = 0;
    std::string Name;
    int32_t Score = 0;
    double Share = 0;      // of the point the game's winners shared
    int32_t Right = 0;
    int32_t Answered = 0;
};

struct ReportAnswer {
    int32_t PlayerNo = 0;
    std::string Name;
    int32_t Button = 0;    // 0: no answer
    bool Right = false;
    int32_t Place = 0;     // among the right answers in the room's order; 0 for none
    bool Won = false;
};

struct ReportQuestion {
    int32_t No = 0;        // 1 to 10 in the game
    int32_t BankNo = 0;    // QUIZQA.N
    std::string Text;
    std::array<std::string, 4> Choices;
    int32_t Correct = 0;   // the button of the correct answer
    int32_t Answered = 0;
    int32_t Right = 0;
    std::string Winner;    // empty when nobody won it
    std::vector<ReportAnswer> Answers;  // one per member, by player number
};

struct GameReport {
    RecordedGame Game;
    std::vector<ReportMember> Members;  // best score first, then by player number
    std::vector<ReportQuestion> Questions;
};
// Nothing when the record has no such game.
std::optional<GameReport> GameReportOf(QuizDatabase& db, int32_t game);

struct StudentSummary {
    int32_t PlayerNo = 0;
    std::string Name;      // as registered now; as recorded when the player is no longer registered
    int32_t Games = 0;
    int32_t Answered = 0;
    int32_t Right = 0;
    double Rate = 0;       // Right / Answered, 0 without answers
    double PointsWon = 0;  // the shares won in the range's games
    double Points = 0;     // PLAYER.POINTS now
};
// Every player who took part in a game of the range, by player number.
std::vector<StudentSummary> StudentSummaries(QuizDatabase& db, const std::string& fromDate, const std::string& toDate);

struct MissedQuestion {
    int32_t BankNo = 0;
    std::string Text;      // as last asked
    int32_t Asked = 0;     // games that asked it
    int32_t Answers = 0;
    int32_t Right = 0;
    double MissRate = 0;   // wrong answers out of all answers, 0 without answers
};
// The questions of the range's games with the highest miss rate first (of equal rates the more
// often asked first, then by bank number); at most limit of them.
std::vector<MissedQuestion> MostMissedQuestions(QuizDatabase& db, const std::string& fromDate, const std::string& toDate,
                                                int limit);

// The games of the range, oldest first, for an export.
std::vector<int32_t> GameIdsInRange(QuizDatabase& db, const std::string& fromDate, const std::string& toDate);
// Every member's answer in the games, in the order given, as a CSV that a Japanese Excel opens
// as it stands: CP932, CR LF, a header row, every field quoted, and a field that a spreadsheet
// would take for a formula led by '.
std::string GameCsv(QuizDatabase& db, const std::vector<int32_t>& games);

struct RegisteredPlayer {
    int32_t No = 0;
    std::string Name;
    double Points = 0;
};
std::vector<RegisteredPlayer> RegisteredPlayers(QuizDatabase& db);

// Sets the player's password by the registration's rules; empty on success, else what the
// teacher is told (CP932).
std::string ResetPlayerPassword(QuizDatabase& db, int32_t playerNo, const std::string& newPassword);

// Takes the member out of the room, as a game gives up a member that stopped: the others stop
// waiting for it, and its own program, finding its row gone, waits for the next game. True
// when a row was removed.
bool RemoveRoomMember(QuizDatabase& db, int32_t memberNo);
