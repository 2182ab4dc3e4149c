#include "game/room_protocol.h"

#include "app/sjis_text.h"
#include "app/unitv.h"
#include "db/value_text.h"

#include <algorithm>
#include <cstddef>

namespace {

std::string Decimal(int64_t value) { return std::to_string(value); }

// Inserts this program's member row under MAX(N) + 1. Another program may take the same number
// at the same moment, and after a game every finisher rejoins at once: they all read the same
// maximum, and with MAX(N) + 1 again only one of them would win each round. So a refused insert
// is tried again a random step past the fresh maximum; the numbers stay unique and in order of
// joining, with gaps that nothing relies on. An insert that waits over a second on another
// program's lock is given up and tried again the same way, so no join stands behind one.
int32_t InsertMemberRow(QuizDatabase& db, int32_t playerNo, std::mt19937& random)
{
    std::uniform_int_distribution<int32_t> step(1, 64);
    for (int attempt = 0; attempt < 8; ++attempt) {
        std::string max;
        db.SelectMax("QUIZMEM", "N", "", max);
        const int32_t n = TextToInt(max) + (attempt == 0 ? 1 : step(random));
        if (db.InsertText("QUIZMEM", "N,MN,OK,GP", Decimal(n) + "," + Decimal(playerNo) + ",0,0", LockWait::OneSecond)) return n;
    }
    return 0;
}

// A read of the room as OpenSelect takes it, so that a join can prepare the very texts the
// game's ticks read.
struct RoomRead {
    std::string Fields, Tables, Condition, Order;
};

RoomRead MembersRead(MemberListMode mode)
{
    return {mode == MemberListMode::Game ? "PLAYER.PNAME,QUIZMEM.OK,QUIZMEM.GP" : "PLAYER.PNAME,QUIZMEM.OK",
            "QUIZMEM,PLAYER", "QUIZMEM.MN=PLAYER.N", "QUIZMEM.N"};
}
RoomRead AnswersRead() { return {"PLAYER.PNAME,QUIZANS.MN,QUIZANS.AN", "QUIZANS,PLAYER", "QUIZANS.MN=PLAYER.N", ""}; }
RoomRead RunningRead() { return {"*", "QUIZMEM", "OK>=2 AND OK<=12", ""}; }
RoomRead OwnRowRead(int32_t memberNo, int32_t playerNo)
{
    return {"*", "QUIZMEM", "N=" + Decimal(memberNo) + " AND MN=" + Decimal(playerNo), ""};
}
RoomRead QuestionsRead() { return {"*", "QUIZQA", "", "SN,N"}; }
RoomRead GamePointRead(int32_t playerNo) { return {"*", "QUIZMEM", "MN=" + Decimal(playerNo), ""}; }

// The first tick of the lobby and of each step of the game would otherwise prepare its reads
// and start the transactions of its writes, and a write transaction would come to the end of
// its life somewhere in the game: on Wi-Fi, a round trip more each, in the ticks the window is
// to answer in. A join waits on the server anyway.
void PrepareGameTicks(QuizDatabase& db, int32_t memberNo, int32_t playerNo)
{
    for (const RoomRead& read : {MembersRead(MemberListMode::Lobby), MembersRead(MemberListMode::Game), AnswersRead(),
                                 RunningRead(), OwnRowRead(memberNo, playerNo), QuestionsRead(), GamePointRead(playerNo)})
        db.PrepareRead(read.Fields, read.Tables, read.Condition, read.Order);
    db.StartWriting(LockWait::UntilReleased);
    db.StartWriting(LockWait::Never);
}

}  // namespace

std::string MarkJoined() { return Sjis("－"); }
std::string MarkReady() { return Sjis("○"); }
std::string MarkPlaying() { return Sjis("×"); }

bool GameRunning(QuizDatabase& db)
{
    const RoomRead read = RunningRead();
    return db.CountRows(read.Tables, read.Condition) > 0;
}

int32_t JoinRoom(QuizDatabase& db, int32_t playerNo, std::mt19937& random, QuestionDraw& toDraw)
{
    toDraw = {};
    int32_t memberNo = 0;
    bool created = false;  // a room made by another program at the same moment is joined
    if (!db.TableExists("QUIZMEM")) created = db.CreateQuizMemTable();
    // A creation that failed because another program made the room at the same moment
    // leaves a room to join.
    if (created || db.TableExists("QUIZMEM")) memberNo = InsertMemberRow(db, playerNo, random);

    // While a game runs in the room, its questions and answers belong to it. Otherwise the
    // first member of the next game draws its order: the creator of a new room, or the first
    // to join an open room after a finished game. A member with a smaller number that is
    // joined or ready (OK 0 or 1) came first and draws it; the others rely on that order.
    const bool running = GameRunning(db);
    if (memberNo != 0 && !running && db.CountRows("QUIZMEM", "OK<=1 AND N<" + Decimal(memberNo)) == 0) {
        const int count = db.OpenSelect("*", "QUIZQA", "", "N");
        TextList row(QaColumnCount);
        for (int i = 0; i < count; ++i) {
            db.FetchRow(i, row);
            toDraw.Numbers.push_back(row[QaN]);
        }
        db.CloseSelect();
        toDraw.BankSize = static_cast<int32_t>(toDraw.Numbers.size());
    }

    if (!db.TableExists("QUIZANS")) db.CreateQuizAnsTable();
    if (!running) db.DeleteRows("QUIZANS", "");
    if (memberNo != 0) PrepareGameTicks(db, memberNo, playerNo);
    return memberNo;
}

void DrawQuestions(QuizDatabase& db, std::mt19937& random, QuestionDraw& toDraw, size_t limit)
{
    TextList& numbers = toDraw.Numbers;
    if (numbers.empty()) return;
    std::uniform_int_distribution<int32_t> position(0, toDraw.BankSize - 1);
    std::uniform_int_distribution<int> button(1, 4);
    const size_t drawn = std::min(limit, numbers.size());
    // One transaction for the part: a commit per question would cost the server a write to disk
    // each. A part that fails keeps the last game's order for its questions, still an order.
    std::vector<std::pair<std::string, std::string>> updates;
    for (size_t i = 0; i < drawn; ++i) {
        const int32_t r = position(random);
        const int a = button(random);
        updates.emplace_back("SN=" + Decimal(r) + "," + "ANN=" + Decimal(a), "N=" + numbers[i]);
    }
    db.UpdateTexts("QUIZQA", updates);
    numbers.erase(numbers.begin(), numbers.begin() + static_cast<std::ptrdiff_t>(drawn));
}

bool WriteStatus(QuizDatabase& db, int32_t memberNo, int32_t status)
{
    return db.UpdateText("QUIZMEM", "OK=" + Decimal(status), "N=" + Decimal(memberNo));
}

bool InsertAnswer(QuizDatabase& db, int32_t playerNo, int button)
{
    for (int attempt = 0; attempt < 3; ++attempt)
        if (db.InsertText("QUIZANS", "N,MN,AN", "0," + Decimal(playerNo) + "," + Decimal(button))) return true;
    return false;
}

TextList LoadQuestionRow(QuizDatabase& db, int32_t q)
{
    // Every program of the room empties the answers as it loads the question, most of them
    // within moments of one another. Rows another program is deleting are on their way out:
    // waiting for its commit would only end in a conflict, after holding up this tick and
    // releasing every waiting program in the same instant.
    db.DeleteRows("QUIZANS", "", LockWait::Never);
    TextList row(QaColumnCount);
    const RoomRead read = QuestionsRead();
    db.OpenSelect(read.Fields, read.Tables, read.Condition, read.Order);
    db.FetchFirst(row);
    db.FetchMoveBy(q - 1, row);
    db.CloseSelect();
    return row;
}

void WriteJudgement(QuizDatabase& db, int32_t memberNo, int32_t playerNo, int32_t status, bool won)
{
    std::vector<std::pair<std::string, std::string>> updates;
    TextList row(4);
    const RoomRead read = GamePointRead(playerNo);
    if (won && db.SelectFirstRow(read.Fields, read.Tables, read.Condition, row) > 0)
        updates.emplace_back("GP=" + Decimal(TextToInt(row[3]) + 1), read.Condition);
    updates.emplace_back("OK=" + Decimal(status), "N=" + Decimal(memberNo));
    db.UpdateTexts("QUIZMEM", updates);
}

void AddPlayerPoints(QuizDatabase& db, int32_t playerNo, int winners)
{
    TextList row(4);
    const std::string condition = "N=" + Decimal(playerNo);
    if (db.SelectFirstRow("*", "PLAYER", condition, row) > 0)
        db.UpdateText("PLAYER", "POINTS=" + FloatToText(TextToFloat(row[3]) + 1.0 / winners), condition);
}

bool OwnRowStands(QuizDatabase& db, int32_t memberNo, int32_t playerNo)
{
    const RoomRead read = OwnRowRead(memberNo, playerNo);
    return memberNo != 0 && db.CountRows(read.Tables, read.Condition) > 0;
}

void LeaveFinishedGame(QuizDatabase& db, int32_t memberNo, int32_t playerNo)
{
    // Every member still taking part has judged question 10 (status 13) by now, and no new
    // game can start while this program's own row stands; a row between 2 and 12 belongs
    // to a member that stopped during the game. When the own row is gone, this program was
    // itself given up as stopped and the room it finds is the next one, whose rows are not
    // its to remove.
    if (OwnRowStands(db, memberNo, playerNo)) {
        db.DeleteRows("QUIZMEM", "OK>=2 AND OK<=12");
        db.DeleteRows("QUIZMEM", "N=" + Decimal(memberNo) + " AND MN=" + Decimal(playerNo));
    }
    // The tables stay for the next game, which every finisher joins at once. Dropping them
    // here waits until no other program uses them: in a full room that took tens of seconds,
    // and the joins waited behind the drop.
}

void LeaveRoom(QuizDatabase& db, int32_t memberNo)
{
    if (memberNo != 0) db.DeleteRows("QUIZMEM", "N=" + Decimal(memberNo));
    if (db.CountRows("QUIZMEM", "") == 0) db.DropTable("QUIZMEM");
    // The members still playing answer into QUIZANS, which is empty after every question
    // load; it goes only with the room.
    if (!db.TableExists("QUIZMEM") && db.CountRows("QUIZANS", "") == 0) db.DropTable("QUIZANS");
    // The statements this program read the room with would keep its tables from the last
    // member's drop.
    db.ReleaseStatements();
}

void ClearRoom(QuizDatabase& db)
{
    if (db.TableExists("QUIZMEM") && !db.DropTable("QUIZMEM")) db.DeleteRows("QUIZMEM", "");
    if (db.TableExists("QUIZANS")) db.DropTable("QUIZANS");
    db.ReleaseStatements();
}

std::vector<RoomMember> ReadMembers(QuizDatabase& db, MemberListMode mode)
{
    std::vector<RoomMember> members;
    const bool game = mode == MemberListMode::Game;
    const RoomRead read = MembersRead(mode);
    const int count = db.OpenSelect(read.Fields, read.Tables, read.Condition, read.Order);
    TextList row(3);
    for (int i = 0; i < count; ++i) {
        db.FetchRow(i, row);
        RoomMember& member = members.emplace_back();
        member.Name = row[0];
        if (!row[1].empty()) member.Status = TextToInt(row[1]);
        if (game) member.Points = TextToInt(row[2]);
    }
    db.CloseSelect();
    return members;
}

std::vector<RoomAnswer> ReadAnswers(QuizDatabase& db)
{
    std::vector<RoomAnswer> answers;
    const RoomRead read = AnswersRead();
    const int count = db.OpenSelect(read.Fields, read.Tables, read.Condition, read.Order);
    TextList row(3);
    for (int i = 0; i < count; ++i) {
        db.FetchRow(i, row);
        answers.push_back({row[0], TextToInt(row[1]), TextToInt(row[2])});
    }
    db.CloseSelect();
    return answers;
}

std::string MemberMark(const std::optional<int32_t>& status)
{
    return status == 0 ? MarkJoined() : status == 1 ? MarkReady() : MarkPlaying();
}

std::string MemberItemText(const RoomMember& member, MemberListMode mode)
{
    if (mode == MemberListMode::Lobby) return member.Name + " " + MemberMark(member.Status);
    return member.Name + " \"[" + (member.Status ? Decimal(*member.Status) : std::string()) + "]\" GP:" +
           Decimal(member.Points);
}

std::string AnswerItemText(const RoomAnswer& answer)
{
    return answer.Name + " '" + Decimal(answer.Mn) + "\"" + Sjis("：") + Decimal(answer.An);
}
