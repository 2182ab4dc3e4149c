#include "db/quiz_database.h"

#include "db/database_objects.h"

#include <algorithm>
#include <chrono>
#include <cctype>

namespace {

// See RunWrite.
constexpr auto WriteTransactionLife = std::chrono::seconds(120);

const char* const UserName = "SYSDBA";
const char* const Password = "lanternox";

const char* const TableNamesQuery =
    "Select RDB$RELATION_NAME from RDB$RELATIONS  where RDB$VIEW_BLR is NULL and RDB$SYSTEM_FLAG = 0 ORDER BY "
    "RDB$RELATION_NAME";

std::string TrimRight(std::string text)
{
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

bool SameNameIgnoringCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
           });
}

// Lines of a list joined by "," after every entry but the last, each indented by three blanks.
void AddListLines(TextList& lines, int count, const TextList& items)
{
    for (int i = 0; i < count; ++i) lines.push_back("   " + items[static_cast<size_t>(i)] + (i < count - 1 ? "," : ""));
}

// The shared SELECT shape: fields, table, optional condition and order.
TextList SelectLines(const std::string& fields, const std::string& table, const std::string& condition,
                     const std::string& order = {})
{
    TextList lines = {"SELECT " + fields + " ", "   FROM " + table + " "};
    if (!condition.empty()) lines.push_back("   WHERE " + condition + " ");
    if (!order.empty()) lines.push_back("   ORDER BY " + order + " ");
    lines.push_back("   ;");
    return lines;
}

}  // namespace

// Adds the wall time of one operation, however it ends, to the figures of its kind.
class TimedOperation {
public:
    TimedOperation(QuizDatabase& db, const char* operation, const std::string& table)
        : Db(db), Kind(std::string(operation) + " " + table), Started(std::chrono::steady_clock::now())
    {
    }
    ~TimedOperation()
    {
        const int64_t us =
            std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - Started).count();
        QuizDatabase::Timing& timing = Db.Timings[Kind];
        ++timing.Count;
        timing.TotalUs += us;
        timing.MaxUs = std::max(timing.MaxUs, us);
    }
    TimedOperation(const TimedOperation&) = delete;
    TimedOperation& operator=(const TimedOperation&) = delete;

private:
    QuizDatabase& Db;
    std::string Kind;
    std::chrono::steady_clock::time_point Started;
};

// ---- QuizDatabase: connection ----

QuizDatabase::QuizDatabase(std::function<std::string()> path)
    : Path(std::move(path)), Objects(std::make_unique<DatabaseObjects>())
{
}

QuizDatabase::~QuizDatabase() { DisconnectDatabase(); }

DatabaseObjects& ObjectsOf(QuizDatabase& db) { return *db.Objects; }

bool QuizDatabase::Connected() const { return Objects->IBDatabase1.IsOpen(); }

void QuizDatabase::CreateGameDatabase()
{
    if (Connected()) return;
    const std::string statement = "CREATE DATABASE '" + Path() + "' " + "USER \"" + UserName + "\"\r\n" +
                                  "PASSWORD \"" + Password + "\"\r\n" + "PAGE_SIZE 4096\r\n";
    try {
        Objects->IBDatabase1.CreateByStatement(statement);
    } catch (const DbError&) {
        // Usually the database exists already; the server left it untouched.
    }
}

void QuizDatabase::ConnectDatabase()
{
    if (Connected()) return;
    DisconnectDatabase();
    ParameterBlock dpb(isc_dpb_version1);
    dpb.Add(isc_dpb_user_name, UserName).Add(isc_dpb_password, Password);
    try {
        Objects->IBDatabase1.Attach(Path(), dpb);
    } catch (const DbError&) {
        DisconnectDatabase();
    }
}

// Quiet whatever state the connection is in: every step that fails gives up its handle.
void QuizDatabase::DisconnectDatabase()
{
    DatabaseObjects& o = *Objects;
    o.IBQuery1.Close();
    o.Reads.Clear();
    o.NamesRead.Free();
    for (Transaction* transaction : {&o.IBTransaction1, &o.Writing[0], &o.Writing[1], &o.Writing[2]}) {
        try {
            transaction->Rollback();
        } catch (const DbError&) {
            transaction->Forget();
        }
    }
    o.IBDatabase1.Detach();
}

void QuizDatabase::ReleaseStatements()
{
    DatabaseObjects& o = *Objects;
    o.IBQuery1.Close();
    o.Reads.Clear();
    if (!Connected()) return;
    try {
        // A transaction keeps every table its statements used in use until it ends, though each
        // write of it is committed. A commit also carries the frees, which the client library
        // otherwise holds back until the next request.
        bool sent = false;
        for (Transaction* transaction : {&o.IBTransaction1, &o.Writing[0], &o.Writing[1], &o.Writing[2]}) {
            if (!transaction->Active()) continue;
            transaction->Commit();
            sent = true;
        }
        if (!sent) o.IBDatabase1.Ping();
    } catch (const DbError& error) {
        Absorb(error);
    }
}

void QuizDatabase::Absorb(const DbError& error)
{
    if (!error.LostConnection()) {
        ++Failures;
        LastFailureText = error.what();
        return;
    }
    // The handles are freed all the same: the client library keeps its own records of them,
    // and records left behind by a broken connection crash it when the program exits. Each
    // call fails at once on the broken connection.
    DisconnectDatabase();
    throw;
}

bool QuizDatabase::TableExists(const std::string& name)
{
    const TimedOperation timed(*this, "TableExists", name);
    if (!Connected()) return false;
    DatabaseObjects& o = *Objects;
    o.Names.clear();
    ++Statements;
    try {
        if (!o.IBTransaction1.Active()) o.IBTransaction1.StartReading(o.IBDatabase1);
        if (o.NamesRead.ColumnCount() == 0) o.NamesRead.Prepare(o.IBDatabase1, o.IBTransaction1, TableNamesQuery);
        o.NamesRead.Execute(o.IBTransaction1);
        while (o.NamesRead.Fetch()) o.Names.push_back(TrimRight(o.NamesRead.ColumnText(0)));
        o.NamesRead.CloseCursor();
    } catch (const DbError& error) {
        o.NamesRead.Free();
        Absorb(error);
        // Any other failure: no name counts as read.
        o.Names.clear();
        return false;
    }
    return std::any_of(o.Names.begin(), o.Names.end(),
                       [&](const std::string& n) { return SameNameIgnoringCase(n, name); });
}

// ---- the two cycles ----

bool QuizDatabase::RunWrite(const std::string& table, const TextList& lines, LockWait wait)
{
    // A closed connection has no handle to start the transaction on.
    if (!Connected()) return false;
    DatabaseObjects& o = *Objects;
    const auto kind = static_cast<size_t>(wait);
    Transaction& writing = o.Writing[kind];
    ++Statements;
    o.IBQuery1.Close();
    o.IBQuery1.SetLines(lines);
    bool written = false;
    try {
        StartWritingTransaction(wait);
        o.IBQuery1.ExecSql(o.IBDatabase1, writing);
        written = true;
        // The transaction goes on for the room's next writes, the many small ones of every
        // tick. It holds each table it wrote against another's reservation (a load) and drop
        // until it ends, so it ends after a write to any other table, which the room's
        // programs write seldom. As long as it goes on, the server keeps every record version
        // written since it began, so it also ends once it is two minutes old: a game's join
        // starts it afresh (StartWriting), and a game with its lobby seldom lasts as long.
        const bool roomTable = table == "QUIZMEM" || table == "QUIZANS";
        if (!roomTable || std::chrono::steady_clock::now() - o.WritingSince[kind] > WriteTransactionLife)
            writing.Commit();
    } catch (const DbError& error) {
        // The server undid a failed statement; the transaction goes on for the next one.
        Absorb(error);
    }
    return written;
}

void QuizDatabase::StartWritingTransaction(LockWait wait)
{
    DatabaseObjects& o = *Objects;
    const auto kind = static_cast<size_t>(wait);
    if (o.Writing[kind].Active()) return;
    o.Writing[kind].StartCommittingEach(o.IBDatabase1, wait);
    o.WritingSince[kind] = std::chrono::steady_clock::now();
}

bool QuizDatabase::RunSchemaChange(const TextList& lines, LockWait wait)
{
    if (!Connected()) return false;
    DatabaseObjects& o = *Objects;
    ++Statements;
    // This connection's own prepared reads would keep a table it drops in use.
    ReleaseStatements();
    o.IBQuery1.SetLines(lines);
    // A transaction of its own, committed at once: the server makes the change only at the
    // commit, and a change it cannot make fails there.
    Transaction change;
    try {
        change.Start(o.IBDatabase1, wait);
        o.IBQuery1.ExecSql(o.IBDatabase1, change);
        change.Commit();
        return true;
    } catch (const DbError& error) {
        Absorb(error);
        try {
            change.Rollback();
        } catch (const DbError& rollbackError) {
            change.Forget();
            Absorb(rollbackError);
        }
        return false;
    }
}

bool QuizDatabase::OpenRead(const TextList& lines)
{
    DatabaseObjects& o = *Objects;
    o.IBQuery1.Close();
    ++Statements;
    o.IBQuery1.SetLines(lines);
    try {
        o.IBQuery1.Open(o.IBDatabase1, o.IBTransaction1, o.Reads);
        return true;
    } catch (const DbError& error) {
        // A lost connection gives the handles up before the cursor could be closed on them.
        Absorb(error);
        o.IBQuery1.Close();
        return false;
    }
}

std::vector<TextList> QuizDatabase::ReadPage(const TextList& lines, int skip, int limit)
{
    const TimedOperation timed(*this, "ReadPage", std::string());
    std::vector<TextList> rows;
    if (!Connected()) return rows;
    QuizQuery& query = Objects->IBQuery1;
    if (OpenRead(lines)) {
        try {
            // A skip that runs past the last row leaves the cursor at its end: an empty page.
            bool atEnd = query.Eof();
            if (skip > 0 && !atEnd) atEnd = query.MoveBy(skip) < skip;
            while (!atEnd && static_cast<int>(rows.size()) < limit) {
                TextList row;
                for (int column = 0; column < query.FieldCount(); ++column) row.push_back(query.Field(column));
                rows.push_back(std::move(row));
                if (static_cast<int>(rows.size()) >= limit) break;
                query.Next();
                atEnd = query.Eof();
            }
        } catch (const DbError& error) {
            Absorb(error);
        }
    }
    query.Close();
    return rows;
}

bool QuizDatabase::ExecSqlLines(const TextList& lines)
{
    const TimedOperation timed(*this, "ExecSqlLines", lines.empty() ? std::string() : lines.front());
    if (lines.empty()) return false;
    return RunSchemaChange(lines);
}

bool QuizDatabase::DropTable(const std::string& name)
{
    const TimedOperation timed(*this, "DropTable", name);
    // A table another program still uses cannot go: the drop would wait until that program
    // lets go of it, and every statement of the others on the table would queue behind the
    // drop meanwhile. After a second it fails instead and the table stays, as empty as the
    // drop found it.
    return RunSchemaChange({"DROP TABLE " + name + ";"}, LockWait::OneSecond);
}

// ---- the four tables ----

bool QuizDatabase::CreatePlayerTable()
{
    return ExecSqlLines({"CREATE TABLE PLAYER (", "  N INTEGER NOT NULL UNIQUE,", "  PNAME VARCHAR(16),",
                         "  PASWD VARCHAR( 8),", "  POINTS DOUBLE PRECISION", "  );"});
}

bool QuizDatabase::CreateQuizQaTable()
{
    return ExecSqlLines({"CREATE TABLE QUIZQA (", "  N INTEGER NOT NULL UNIQUE,", "  SN INTEGER NOT NULL,",
                         "  Q1 VARCHAR(50),", "  Q2 VARCHAR(50),", "  Q3 VARCHAR(50),", "  Q4 VARCHAR(50),",
                         "  ANS VARCHAR(30),", "  AN1 VARCHAR(30),", "  AN2 VARCHAR(30),", "  AN3 VARCHAR(30),",
                         "  ANN INTEGER", "  );"});
}

bool QuizDatabase::CreateQuizMemTable()
{
    return ExecSqlLines({"CREATE TABLE QUIZMEM (", "  N INTEGER NOT NULL UNIQUE,", "  MN INTEGER,", "  OK INTEGER,",
                         "  GP INTEGER", "  );"});
}

bool QuizDatabase::CreateQuizAnsTable()
{
    return ExecSqlLines({"CREATE TABLE QUIZANS (", "  N INTEGER NOT NULL,", "  MN INTEGER,", "  AN INTEGER", "  );"});
}

// ---- write helpers ----

bool QuizDatabase::InsertFields(const std::string& table, int count, const TextList& names, const TextList& values)
{
    const TimedOperation timed(*this, "InsertFields", table);
    if (!Connected()) return false;
    count = std::clamp(count, 0, static_cast<int>(std::min(names.size(), values.size())));
    TextList lines = {"INSERT INTO " + table + " ("};
    AddListLines(lines, count, names);
    lines.push_back("   ) ");
    lines.push_back("   VALUES (");
    AddListLines(lines, count, values);
    lines.push_back("   );");
    return RunWrite(table, lines);
}

bool QuizDatabase::InsertText(const std::string& table, const std::string& fields, const std::string& values,
                              LockWait wait)
{
    const TimedOperation timed(*this, "InsertText", table);
    if (!Connected()) return false;
    return RunWrite(table, {"INSERT INTO " + table + " (", "   " + fields, "   ) ", "  VALUES (", "   " + values, "   );"},
                    wait);
}

bool QuizDatabase::UpdateFields(const std::string& table, int count, const TextList& names, const TextList& values,
                                const std::string& condition)
{
    const TimedOperation timed(*this, "UpdateFields", table);
    if (!Connected()) return false;
    count = std::clamp(count, 0, static_cast<int>(std::min(names.size(), values.size())));
    TextList lines = {"UPDATE " + table + " SET "};
    for (int i = 0; i < count; ++i) {
        const auto k = static_cast<size_t>(i);
        lines.push_back("   " + names[k] + "=" + values[k] + (i < count - 1 ? "," : ""));
    }
    if (!condition.empty()) lines.push_back("   WHERE " + condition);
    lines.push_back("   ;");
    return RunWrite(table, lines);
}

namespace {

TextList UpdateLines(const std::string& table, const std::string& setList, const std::string& condition)
{
    TextList lines = {"UPDATE " + table + " SET ", "   " + setList};
    if (!condition.empty()) lines.push_back("   WHERE " + condition);
    lines.push_back("   ;");
    return lines;
}

}  // namespace

bool QuizDatabase::UpdateText(const std::string& table, const std::string& setList, const std::string& condition)
{
    const TimedOperation timed(*this, "UpdateText", table);
    if (!Connected()) return false;
    return RunWrite(table, UpdateLines(table, setList, condition));
}

bool QuizDatabase::UpdateTexts(const std::string& table, const std::vector<std::pair<std::string, std::string>>& updates)
{
    const TimedOperation timed(*this, "UpdateTexts", table);
    if (!Connected() || updates.empty()) return false;
    if (updates.size() == 1) return RunWrite(table, UpdateLines(table, updates[0].first, updates[0].second));
    // One block, one statement: it goes in one exchange and commits whole or not at all.
    TextList lines = {"EXECUTE BLOCK AS", "BEGIN"};
    for (const auto& [setList, condition] : updates) {
        const TextList update = UpdateLines(table, setList, condition);
        lines.insert(lines.end(), update.begin(), update.end());
    }
    lines.push_back("END");
    return RunWrite(table, lines);
}

bool QuizDatabase::DeleteRows(const std::string& table, const std::string& condition, LockWait wait)
{
    const TimedOperation timed(*this, "DeleteRows", table);
    if (!Connected()) return false;
    const std::string where = condition.empty() ? std::string() : "WHERE " + condition + " ";
    return RunWrite(table, {"DELETE FROM " + table + " " + where + ";"}, wait);
}

// ---- read helpers ----

void QuizDatabase::CloseQuery()
{
    DatabaseObjects& o = *Objects;
    o.IBQuery1.Close();
    try {
        if (o.IBTransaction1.Active()) o.IBTransaction1.Rollback();
    } catch (const DbError& error) {
        o.IBTransaction1.Forget();
        Absorb(error);
    }
}

void QuizDatabase::PrepareRead(const std::string& fields, const std::string& table, const std::string& condition,
                               const std::string& order)
{
    const TimedOperation timed(*this, "PrepareRead", table);
    if (!Connected()) return;
    DatabaseObjects& o = *Objects;
    try {
        bool fresh = false;
        o.Reads.Get(o.IBDatabase1, o.IBTransaction1, LinesToStatement(SelectLines(fields, table, condition, order)), fresh);
    } catch (const DbError& error) {
        // Only a lost connection counts; the read itself meets and reports anything else.
        if (error.LostConnection()) Absorb(error);
    }
}

void QuizDatabase::StartWriting(LockWait wait)
{
    const TimedOperation timed(*this, "StartWriting", std::string());
    if (!Connected()) return;
    Transaction& writing = Objects->Writing[static_cast<size_t>(wait)];
    try {
        // Each of its writes is committed already.
        if (writing.Active()) writing.Commit();
        StartWritingTransaction(wait);
    } catch (const DbError& error) {
        if (error.LostConnection()) Absorb(error);
    }
}

int QuizDatabase::CountRows(const std::string& table, const std::string& condition)
{
    const TimedOperation timed(*this, "CountRows", table);
    if (!Connected()) return -1;
    if (!OpenRead(SelectLines("*", table, condition))) return -1;
    int count = -1;
    try {
        Objects->IBQuery1.Last();
        count = Objects->IBQuery1.RecordCount();
    } catch (const DbError& error) {
        Absorb(error);
    }
    Objects->IBQuery1.Close();
    return count;
}

int QuizDatabase::CountColumns(const std::string& table)
{
    const TimedOperation timed(*this, "CountColumns", table);
    if (!Connected()) return -1;
    if (!OpenRead({"SELECT * ", "   FROM " + table + " ;"})) return -1;
    const int count = Objects->IBQuery1.FieldCount();
    Objects->IBQuery1.Close();
    return count;
}

bool QuizDatabase::ValueExists(const std::string& table, const std::string& field, const std::string& extraCondition,
                               const std::string& value)
{
    const TimedOperation timed(*this, "ValueExists", table);
    if (!Connected()) return false;
    const std::string extra = extraCondition.empty() ? std::string() : "(" + extraCondition + ") AND ";
    const TextList lines = {"SELECT " + field + " ", "   FROM " + table + " ",
                            "   WHERE " + extra + "(" + field + "='" + value + "') ", "   ;"};
    if (!OpenRead(lines)) return false;
    const bool found = !Objects->IBQuery1.Eof();
    Objects->IBQuery1.Close();
    return found;
}

void QuizDatabase::SelectMax(const std::string& table, const std::string& field, const std::string& condition,
                             std::string& out)
{
    const TimedOperation timed(*this, "SelectMax", table);
    out.clear();
    if (!Connected()) return;
    if (!OpenRead(SelectLines("MAX(" + field + ")", table, condition))) return;
    if (!Objects->IBQuery1.Eof()) out = Objects->IBQuery1.Field(0);
    Objects->IBQuery1.Close();
}

int QuizDatabase::SelectFirstRow(const std::string& fields, const std::string& table, const std::string& condition,
                                 TextList& out)
{
    const TimedOperation timed(*this, "SelectFirstRow", table);
    if (!Connected()) return -1;
    if (!OpenRead(SelectLines(fields, table, condition))) return -1;
    int copied = -1;
    if (!Objects->IBQuery1.Eof()) {
        const int columns = std::min(Objects->IBQuery1.FieldCount(), static_cast<int>(out.size()));
        for (copied = 0; copied < columns; ++copied) out[static_cast<size_t>(copied)] = Objects->IBQuery1.Field(copied);
    }
    Objects->IBQuery1.Close();
    return copied;
}

int QuizDatabase::SelectFirstValue(const std::string& field, const std::string& table, const std::string& condition,
                                   std::string& out)
{
    const TimedOperation timed(*this, "SelectFirstValue", table);
    out.clear();
    if (!Connected()) return -1;
    if (!OpenRead(SelectLines(field, table, condition))) return -1;
    int result = -1;
    if (!Objects->IBQuery1.Eof()) {
        out = Objects->IBQuery1.Field(0);
        result = 1;
    }
    Objects->IBQuery1.Close();
    return result;
}

int QuizDatabase::OpenSelect(const std::string& fields, const std::string& table, const std::string& condition,
                             const std::string& order)
{
    const TimedOperation timed(*this, "OpenSelect", table);
    if (!Connected()) return 0;
    if (!OpenRead(SelectLines(fields, table, condition, order))) return 0;
    try {
        Objects->IBQuery1.Last();
        const int count = Objects->IBQuery1.RecordCount();
        Objects->IBQuery1.First();
        return count;
    } catch (const DbError& error) {
        Absorb(error);
        Objects->IBQuery1.Close();
        return 0;
    }
}

void QuizDatabase::CopyRow(TextList& out) const
{
    const size_t columns = std::min(static_cast<size_t>(Objects->IBQuery1.FieldCount()), out.size());
    for (size_t i = 0; i < columns; ++i) out[i] = Objects->IBQuery1.Field(static_cast<int>(i));
}

void QuizDatabase::GetFieldNames(TextList& out)
{
    if (!Objects->IBQuery1.IsOpen()) return;
    const size_t columns = std::min(static_cast<size_t>(Objects->IBQuery1.FieldCount()), out.size());
    for (size_t i = 0; i < columns; ++i) out[i] = Objects->IBQuery1.FieldName(static_cast<int>(i));
}

std::vector<bool> QuizDatabase::FieldIsText()
{
    std::vector<bool> text;
    for (int i = 0; i < Objects->IBQuery1.FieldCount(); ++i) text.push_back(Objects->IBQuery1.FieldIsText(i));
    return text;
}

void QuizDatabase::FetchFirst(TextList& out)
{
    if (!Objects->IBQuery1.IsOpen()) return;
    const size_t columns = std::min(static_cast<size_t>(Objects->IBQuery1.FieldCount()), out.size());
    for (size_t i = 0; i < columns; ++i) out[i].clear();
    Objects->IBQuery1.First();
    CopyRow(out);
}

void QuizDatabase::FetchNext(TextList& out)
{
    if (!Objects->IBQuery1.IsOpen()) return;
    Objects->IBQuery1.Next();
    if (Objects->IBQuery1.Eof()) {
        const size_t columns = std::min(static_cast<size_t>(Objects->IBQuery1.FieldCount()), out.size());
        for (size_t i = 0; i < columns; ++i) out[i].clear();
        return;
    }
    CopyRow(out);
}

void QuizDatabase::FetchMoveBy(int distance, TextList& out)
{
    if (!Objects->IBQuery1.IsOpen()) return;
    Objects->IBQuery1.MoveBy(distance);
    CopyRow(out);
}

void QuizDatabase::FetchRow(int index, TextList& out)
{
    if (index == 0)
        FetchFirst(out);
    else
        FetchNext(out);
}

void QuizDatabase::CloseSelect() { Objects->IBQuery1.Close(); }

bool QuizDatabase::SelectOpen() const { return Objects->IBQuery1.IsOpen(); }

std::optional<std::string> RunUntilConnectionLost(const std::function<void()>& handler)
{
    try {
        handler();
    } catch (const DbError& error) {
        // Only a lost connection leaves the operations; anything else would be a fault here.
        if (!error.LostConnection()) throw;
        return std::string(error.what());
    }
    return std::nullopt;
}

std::string ClientLibraryVersion()
{
    char version[128] = {};
    isc_get_client_version(version);
    return version;
}
