// The record of every game played in the room, kept on the server in tables of its own, which
// the game's programs and the member-table button never touch:
//   QUIZLOGGAME      one row per game: its number, start, end, top score
//   QUIZLOGMEMBER    the game's members: player, name, game points, the share of a point won
//   QUIZLOGQUESTION  each question: its bank number, text, four answers, the correct button
//   QUIZLOGANSWER    each member's answer to it (0 for none), whether right, its place among the
//                    right answers in the order the room read them, and whether it won
//   QUIZLOGRESET     the points each player had when a teacher reset them
// Written from what the room watcher tells; every statement's values are literals made here
// from numbers and quoted texts.
#pragma once

#include "game/room_observer.h"

class QuizDatabase;

class GameRecord {
public:
    explicit GameRecord(QuizDatabase& db);

    // Creates the record's tables that are missing; false when one cannot be made.
    bool Prepare();
    // Hooks the record to the watcher: every game it tells from its start is kept.
    void Follow(RoomObserver& observer);

    void GameStarted();
    void QuestionJudged(const QuestionOutcome& question);
    void GameEnded(const GameOutcome& game);

    // Keeps every player's points in QUIZLOGRESET and sets them to 0, in one transaction.
    bool ResetPoints();

private:
    QuizDatabase& Db;
    int32_t GameId = 0;  // the QUIZLOGGAME row of the game in play, 0 for none
};
