#include "game/game_record.h"

#include "app/unitv.h"
#include "db/quiz_database.h"
#include "db/value_text.h"

#include <algorithm>
#include <map>

namespace {

std::string Decimal(int64_t value) { return std::to_string(value); }

std::string Text(const std::string& text) { return text.empty() ? "NULL" : SqlQuoted(text); }

const char* const Tables[][2] = {
    {"QUIZLOGGAME", "CREATE TABLE QUIZLOGGAME (ID INTEGER NOT NULL PRIMARY KEY, STARTED TIMESTAMP, ENDED TIMESTAMP, "
                    "TOPSCORE INTEGER);"},
    {"QUIZLOGMEMBER", "CREATE TABLE QUIZLOGMEMBER (GAME INTEGER NOT NULL, PLAYER INTEGER NOT NULL, PNAME VARCHAR(16), "
                      "SCORE INTEGER, SHARE DOUBLE PRECISION, PRIMARY KEY (GAME, PLAYER));"},
    {"QUIZLOGQUESTION", "CREATE TABLE QUIZLOGQUESTION (GAME INTEGER NOT NULL, Q INTEGER NOT NULL, QN INTEGER, "
                        "QTEXT VARCHAR(200), CHOICE1 VARCHAR(30), CHOICE2 VARCHAR(30), CHOICE3 VARCHAR(30), "
                        "CHOICE4 VARCHAR(30), CORRECT INTEGER, PRIMARY KEY (GAME, Q));"},
    {"QUIZLOGANSWER", "CREATE TABLE QUIZLOGANSWER (GAME INTEGER NOT NULL, Q INTEGER NOT NULL, PLAYER INTEGER NOT NULL, "
                      "PNAME VARCHAR(16), BUTTON INTEGER, RIGHTANSWER INTEGER, PLACE INTEGER, WON INTEGER, "
                      "PRIMARY KEY (GAME, Q, PLAYER));"},
    {"QUIZLOGRESET", "CREATE TABLE QUIZLOGRESET (RESETAT TIMESTAMP NOT NULL, PLAYER INTEGER NOT NULL, PNAME VARCHAR(16), "
                     "POINTS DOUBLE PRECISION);"},
};

}  // namespace

GameRecord::GameRecord(QuizDatabase& db) : Db(db) {}

bool GameRecord::Prepare()
{
    bool all = true;
    for (const auto& [name, statement] : Tables)
        if (!Db.TableExists(name)) all = Db.ExecSqlLines({statement}) && all;
    return all;
}

void GameRecord::Follow(RoomObserver& observer)
{
    observer.OnGameStarted = [this](int32_t) { GameStarted(); };
    observer.OnQuestion = [this](const QuestionOutcome& question) { QuestionJudged(question); };
    observer.OnGame = [this](const GameOutcome& game) { GameEnded(game); };
}

void GameRecord::GameStarted()
{
    // A number no other game of the record has, whichever gateway run kept it.
    std::string largest;
    Db.SelectMax("QUIZLOGGAME", "ID", "", largest);
    const int32_t id = TextToInt(largest) + 1;
    GameId = Db.InsertText("QUIZLOGGAME", "ID,STARTED,ENDED,TOPSCORE", Decimal(id) + ",CURRENT_TIMESTAMP,NULL,0") ? id : 0;
}

void GameRecord::QuestionJudged(const QuestionOutcome& question)
{
    if (GameId == 0) return;
    const std::string key = Decimal(GameId) + "," + Decimal(question.QuestionNo);
    std::string values = key + "," + Decimal(question.BankNo) + "," + Text(question.Text);
    for (const std::string& choice : question.Choices) values += "," + Text(choice);
    values += "," + Decimal(question.Correct);
    Db.InsertText("QUIZLOGQUESTION", "GAME,Q,QN,QTEXT,CHOICE1,CHOICE2,CHOICE3,CHOICE4,CORRECT", values);

    // Every member's answer, or none, with its place among the right ones in the room's order.
    RowLoad answers{"QUIZLOGANSWER", {"GAME", "Q", "PLAYER", "PNAME", "BUTTON", "RIGHTANSWER", "PLACE", "WON"}, {}};
    int place = 0;
    std::map<int32_t, int> places;
    for (const WatchedAnswer& answer : question.Answers)
        if (answer.Button == question.Correct) places[answer.PlayerNo] = ++place;
    for (const WatchedMember& member : question.Members) {
        const auto answer = std::find_if(question.Answers.begin(), question.Answers.end(),
                                         [&](const WatchedAnswer& a) { return a.PlayerNo == member.PlayerNo; });
        const int32_t button = answer == question.Answers.end() ? 0 : answer->Button;
        const bool won = std::find(question.Winners.begin(), question.Winners.end(), member.PlayerNo) != question.Winners.end();
        answers.Rows.push_back({Decimal(GameId), Decimal(question.QuestionNo), Decimal(member.PlayerNo), member.Name,
                                Decimal(button), button == question.Correct ? "1" : "0",
                                places.count(member.PlayerNo) ? Decimal(places[member.PlayerNo]) : "", won ? "1" : "0"});
    }
    if (!answers.Rows.empty()) Db.LoadRows(answers, {});
}

void GameRecord::GameEnded(const GameOutcome& game)
{
    if (GameId == 0) return;
    // The players' table is shared out as the players' own programs do: 1 / s to each of the s
    // top scorers when the top score is above 0.
    const auto winners = std::count_if(game.Members.begin(), game.Members.end(),
                                       [&](const WatchedMember& m) { return game.TopScore > 0 && m.Points == game.TopScore; });
    RowLoad members{"QUIZLOGMEMBER", {"GAME", "PLAYER", "PNAME", "SCORE", "SHARE"}, {}};
    for (const WatchedMember& member : game.Members) {
        const bool won = game.TopScore > 0 && member.Points == game.TopScore;
        members.Rows.push_back({Decimal(GameId), Decimal(member.PlayerNo), member.Name, Decimal(member.Points),
                                won ? FloatToText(1.0 / static_cast<double>(winners)) : "0"});
    }
    if (!members.Rows.empty()) Db.LoadRows(members, {});
    Db.UpdateText("QUIZLOGGAME", "ENDED=CURRENT_TIMESTAMP,TOPSCORE=" + Decimal(game.TopScore), "ID=" + Decimal(GameId));
    GameId = 0;
}

bool GameRecord::ResetPoints()
{
    return Db.ExecSqlLines({"EXECUTE BLOCK AS BEGIN",
                            "  INSERT INTO QUIZLOGRESET (RESETAT, PLAYER, PNAME, POINTS)",
                            "    SELECT CURRENT_TIMESTAMP, N, PNAME, POINTS FROM PLAYER;",
                            "  UPDATE PLAYER SET POINTS = 0;",
                            "END"});
}
