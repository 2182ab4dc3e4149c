#include "game/record_reports.h"

#include "app/sjis_text.h"
#include "app/unitv.h"
#include "db/quiz_database.h"
#include "db/value_text.h"
#include "player/registration.h"

#include <algorithm>
#include <map>
#include <string_view>

namespace {

// More rows than any report reads: the record grows by a few dozen rows a game.
constexpr int AllRows = 10'000'000;

std::string Decimal(int64_t value) { return std::to_string(value); }

std::vector<TextList> Read(QuizDatabase& db, const TextList& lines) { return db.ReadPage(lines, 0, AllRows); }

// The condition on QUIZLOGGAME's columns for a game started or ended within the range; nothing
// when a date is not one. Both ends open: every game.
std::optional<std::string> RangeCondition(const std::string& fromDate, const std::string& toDate)
{
    if ((!fromDate.empty() && !IsReportDate(fromDate)) || (!toDate.empty() && !IsReportDate(toDate))) return std::nullopt;
    if (fromDate.empty() && toDate.empty()) return "1=1";
    const auto within = [&](const std::string& column) {
        std::string condition;
        if (!fromDate.empty()) condition = "CAST(" + column + " AS DATE)>=CAST(" + SqlQuoted(fromDate) + " AS DATE)";
        if (!toDate.empty())
            condition += (condition.empty() ? "" : " AND ") + ("CAST(" + column + " AS DATE)<=CAST(" + SqlQuoted(toDate) + " AS DATE)");
        return "(" + condition + ")";
    };
    return "(" + within("STARTED") + " OR " + within("ENDED") + ")";
}

// The numbers of the range's games, as a subquery.
std::optional<std::string> GamesOfRange(const std::string& fromDate, const std::string& toDate)
{
    const auto condition = RangeCondition(fromDate, toDate);
    if (!condition) return std::nullopt;
    return "SELECT ID FROM QUIZLOGGAME WHERE " + *condition;
}

std::vector<RecordedGame> ReadGames(QuizDatabase& db, const std::string& condition)
{
    std::vector<RecordedGame> games;
    std::map<int32_t, size_t> byId;
    for (const TextList& row : Read(db, {"SELECT ID, STARTED, ENDED, TOPSCORE,",
                                         "  (SELECT COUNT(*) FROM QUIZLOGMEMBER M WHERE M.GAME=QUIZLOGGAME.ID)",
                                         "  FROM QUIZLOGGAME WHERE " + condition, "  ORDER BY ID DESC"})) {
        RecordedGame& game = games.emplace_back();
        game.Id = TextToInt(row[0]);
        game.Started = row[1];
        game.Ended = row[2];
        game.TopScore = TextToInt(row[3]);
        game.Members = TextToInt(row[4]);
        byId[game.Id] = games.size() - 1;
    }
    if (games.empty()) return games;
    for (const TextList& row : Read(db, {"SELECT M.GAME, M.PNAME FROM QUIZLOGMEMBER M",
                                         "  WHERE M.SHARE>0 AND M.GAME IN (SELECT ID FROM QUIZLOGGAME WHERE " + condition + ")",
                                         "  ORDER BY M.GAME, M.PLAYER"})) {
        const auto game = byId.find(TextToInt(row[0]));
        if (game != byId.end()) games[game->second].Winners.push_back(row[1]);
    }
    return games;
}

const std::string& ChoiceOf(const ReportQuestion& question, int32_t button)
{
    static const std::string none;
    return button >= 1 && button <= 4 ? question.Choices[static_cast<size_t>(button - 1)] : none;
}

// A field as Excel reads it back: quoted, quotes doubled, and led by ' when a spreadsheet would
// take it for a formula.
std::string CsvField(const std::string& text)
{
    std::string field = "\"";
    if (!text.empty() && std::string_view("=+-@\t\r").find(text.front()) != std::string_view::npos) field += '\'';
    for (const char c : text) field += c == '"' ? std::string("\"\"") : std::string(1, c);
    return field + "\"";
}

std::string CsvLine(const TextList& fields)
{
    std::string line;
    for (const std::string& field : fields) line += (line.empty() ? "" : ",") + CsvField(field);
    return line + "\r\n";
}

}  // namespace

bool IsReportDate(const std::string& text)
{
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') return false;
    for (const size_t i : {0, 1, 2, 3, 5, 6, 8, 9})
        if (text[i] < '0' || text[i] > '9') return false;
    const int year = std::stoi(text.substr(0, 4));
    const int month = std::stoi(text.substr(5, 2));
    const int day = std::stoi(text.substr(8, 2));
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    const int days[] = {31, leap ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return year >= 1 && month >= 1 && month <= 12 && day >= 1 && day <= days[month - 1];
}

std::vector<RecordedGame> RecordedGames(QuizDatabase& db, const std::string& fromDate, const std::string& toDate)
{
    const auto condition = RangeCondition(fromDate, toDate);
    return condition ? ReadGames(db, *condition) : std::vector<RecordedGame>{};
}

std::optional<GameReport> GameReportOf(QuizDatabase& db, int32_t game)
{
    std::vector<RecordedGame> games = ReadGames(db, "ID=" + Decimal(game));
    if (games.empty()) return std::nullopt;
    GameReport report;
    report.Game = std::move(games.front());
    const std::string id = Decimal(game);

    for (const TextList& row : Read(db, {"SELECT M.PLAYER, M.PNAME, M.SCORE, M.SHARE,",
                                         "  (SELECT COUNT(*) FROM QUIZLOGANSWER A WHERE A.GAME=M.GAME AND A.PLAYER=M.PLAYER AND A.BUTTON>0),",
                                         "  (SELECT COUNT(*) FROM QUIZLOGANSWER A WHERE A.GAME=M.GAME AND A.PLAYER=M.PLAYER AND A.BUTTON>0",
                                         "     AND A.RIGHTANSWER=1)",
                                         "  FROM QUIZLOGMEMBER M WHERE M.GAME=" + id, "  ORDER BY M.SCORE DESC, M.PLAYER"})) {
        ReportMember member{0, TextToInt(row[0]), row[1], TextToInt(row[2]), TextToFloat(row[3]), TextToInt(row[5]), TextToInt(row[4])};
        const bool tied = !report.Members.empty() && report.Members.back().Score == member.Score;
        member.Rank = tied ? report.Members.back().Rank : static_cast<int32_t>(report.Members.size()) + 1;
        report.Members.push_back(std::move(member));
    }

    std::map<int32_t, size_t> byNo;
    for (const TextList& row : Read(db, {"SELECT Q, QN, QTEXT, CHOICE1, CHOICE2, CHOICE3, CHOICE4, CORRECT",
                                         "  FROM QUIZLOGQUESTION WHERE GAME=" + id, "  ORDER BY Q"})) {
        ReportQuestion& question = report.Questions.emplace_back();
        question.No = TextToInt(row[0]);
        question.BankNo = TextToInt(row[1]);
        question.Text = row[2];
        std::copy(row.begin() + 3, row.begin() + 7, question.Choices.begin());
        question.Correct = TextToInt(row[7]);
        byNo[question.No] = report.Questions.size() - 1;
    }
    for (const TextList& row : Read(db, {"SELECT Q, PLAYER, PNAME, BUTTON, RIGHTANSWER, PLACE, WON",
                                         "  FROM QUIZLOGANSWER WHERE GAME=" + id, "  ORDER BY Q, PLAYER"})) {
        const auto at = byNo.find(TextToInt(row[0]));
        if (at == byNo.end()) continue;
        ReportQuestion& question = report.Questions[at->second];
        const ReportAnswer answer{TextToInt(row[1]), row[2], TextToInt(row[3]), TextToInt(row[3]) > 0 && row[4] == "1",
                                  TextToInt(row[5]), row[6] == "1"};
        question.Answered += answer.Button > 0;
        question.Right += answer.Right;
        if (answer.Won) question.Winner = answer.Name;
        question.Answers.push_back(answer);
    }
    return report;
}

std::vector<StudentSummary> StudentSummaries(QuizDatabase& db, const std::string& fromDate, const std::string& toDate)
{
    std::vector<StudentSummary> students;
    const auto games = GamesOfRange(fromDate, toDate);
    if (!games) return students;
    // Every member has an answer row, an empty one included, for each question of its game.
    for (const TextList& row : Read(db, {"SELECT A.PLAYER, MAX(A.PNAME), COUNT(DISTINCT A.GAME),",
                                         "  SUM(IIF(A.BUTTON>0, 1, 0)), SUM(IIF(A.BUTTON>0 AND A.RIGHTANSWER=1, 1, 0)),",
                                         "  (SELECT SUM(M.SHARE) FROM QUIZLOGMEMBER M WHERE M.PLAYER=A.PLAYER AND M.GAME IN (" + *games + ")),",
                                         "  (SELECT P.PNAME FROM PLAYER P WHERE P.N=A.PLAYER),",
                                         "  (SELECT P.POINTS FROM PLAYER P WHERE P.N=A.PLAYER)",
                                         "  FROM QUIZLOGANSWER A WHERE A.GAME IN (" + *games + ")",
                                         "  GROUP BY A.PLAYER ORDER BY A.PLAYER"})) {
        StudentSummary& student = students.emplace_back();
        student.PlayerNo = TextToInt(row[0]);
        student.Name = row[6].empty() ? row[1] : row[6];
        student.Games = TextToInt(row[2]);
        student.Answered = TextToInt(row[3]);
        student.Right = TextToInt(row[4]);
        student.Rate = student.Answered > 0 ? static_cast<double>(student.Right) / student.Answered : 0.0;
        student.PointsWon = TextToFloat(row[5]);
        student.Points = TextToFloat(row[7]);
    }
    return students;
}

std::vector<MissedQuestion> MostMissedQuestions(QuizDatabase& db, const std::string& fromDate, const std::string& toDate,
                                                int limit)
{
    std::vector<MissedQuestion> questions;
    const auto games = GamesOfRange(fromDate, toDate);
    if (!games || limit < 1) return questions;
    // One row per question asked, the latest of each bank number last.
    for (const TextList& row : Read(db, {"SELECT QQ.QN, QQ.QTEXT,",
                                         "  (SELECT COUNT(*) FROM QUIZLOGANSWER A WHERE A.GAME=QQ.GAME AND A.Q=QQ.Q AND A.BUTTON>0),",
                                         "  (SELECT COUNT(*) FROM QUIZLOGANSWER A WHERE A.GAME=QQ.GAME AND A.Q=QQ.Q AND A.BUTTON>0",
                                         "     AND A.RIGHTANSWER=1)",
                                         "  FROM QUIZLOGQUESTION QQ WHERE QQ.GAME IN (" + *games + ")",
                                         "  ORDER BY QQ.QN, QQ.GAME, QQ.Q"})) {
        const int32_t bankNo = TextToInt(row[0]);
        if (questions.empty() || questions.back().BankNo != bankNo) questions.emplace_back().BankNo = bankNo;
        MissedQuestion& question = questions.back();
        question.Text = row[1];
        ++question.Asked;
        question.Answers += TextToInt(row[2]);
        question.Right += TextToInt(row[3]);
    }
    for (MissedQuestion& question : questions)
        question.MissRate = question.Answers > 0 ? static_cast<double>(question.Answers - question.Right) / question.Answers : 0.0;
    std::stable_sort(questions.begin(), questions.end(), [](const MissedQuestion& a, const MissedQuestion& b) {
        if (a.MissRate != b.MissRate) return a.MissRate > b.MissRate;
        return a.Asked > b.Asked;
    });
    if (questions.size() > static_cast<size_t>(limit)) questions.resize(static_cast<size_t>(limit));
    return questions;
}

std::vector<int32_t> GameIdsInRange(QuizDatabase& db, const std::string& fromDate, const std::string& toDate)
{
    std::vector<int32_t> ids;
    const auto games = GamesOfRange(fromDate, toDate);
    if (!games) return ids;
    for (const TextList& row : Read(db, {*games, "  ORDER BY ID"})) ids.push_back(TextToInt(row[0]));
    return ids;
}

std::string GameCsv(QuizDatabase& db, const std::vector<int32_t>& games)
{
    std::string csv = CsvLine({Sjis("ゲーム"), Sjis("開始"), Sjis("問"), Sjis("問題"), Sjis("正解"), Sjis("名前"), Sjis("答え"),
                               Sjis("正誤"), Sjis("順位"), Sjis("勝者")});
    for (const int32_t id : games) {
        const std::optional<GameReport> report = GameReportOf(db, id);
        if (!report) continue;
        for (const ReportQuestion& question : report->Questions)
            for (const ReportAnswer& answer : question.Answers)
                csv += CsvLine({Decimal(id), report->Game.Started, Decimal(question.No), question.Text,
                                ChoiceOf(question, question.Correct), answer.Name, ChoiceOf(question, answer.Button),
                                answer.Button == 0 ? "" : Sjis(answer.Right ? "○" : "×"),
                                answer.Place > 0 ? Decimal(answer.Place) : "", answer.Won ? Sjis("○") : ""});
    }
    return csv;
}

std::vector<RegisteredPlayer> RegisteredPlayers(QuizDatabase& db)
{
    std::vector<RegisteredPlayer> players;
    for (const TextList& row : Read(db, {"SELECT N, PNAME, POINTS FROM PLAYER ORDER BY N"}))
        players.push_back({TextToInt(row[0]), row[1], TextToFloat(row[2])});
    return players;
}

std::string ResetPlayerPassword(QuizDatabase& db, int32_t playerNo, const std::string& newPassword)
{
    if (!db.Connected()) return Sjis("データベースに接続されていません");
    const std::vector<TextList> player = db.ReadPage({"SELECT PNAME FROM PLAYER WHERE N=" + Decimal(playerNo)}, 0, 1);
    if (player.empty()) return Sjis("その番号のプレイヤーは登録されていません");
    const CredentialFault fault = CheckCredentials(player.front()[0], newPassword);
    if (fault != CredentialFault::None) return CredentialMessage(fault);
    if (!db.UpdateText("PLAYER", "PASWD=" + SqlQuoted(newPassword), "N=" + Decimal(playerNo)))
        return Sjis("パスワードを変更出来ませんでした");
    return {};
}

bool RemoveRoomMember(QuizDatabase& db, int32_t memberNo)
{
    // Only the row goes: a member's answer already given stands, as it would for a member
    // that stopped, and the barriers no longer see the member.
    const std::string condition = "N=" + Decimal(memberNo);
    return db.CountRows("QUIZMEM", condition) > 0 && db.DeleteRows("QUIZMEM", condition);
}
