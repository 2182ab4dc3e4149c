#include "db/quiz_database.h"

#include "app/unitv.h"

#include <algorithm>
#include <cctype>

namespace {

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

// ---- QuizQuery ----

std::string QuizQuery::Text() const
{
    std::string text;
    for (const std::string& line : Lines) text += line + "\r\n";
    return text;
}

void QuizQuery::ExecSql(Attachment& attachment, Transaction& transaction)
{
    Close();
    Stmt.Prepare(attachment, transaction, Text());
    Stmt.Execute(transaction);
    Stmt.CloseCursor();
}

void QuizQuery::Open(Attachment& attachment, Transaction& transaction)
{
    Close();
    if (!transaction.Active()) transaction.Start(attachment);
    Stmt.Prepare(attachment, transaction, Text());
    Stmt.Execute(transaction);
    Opened = true;
    Exhausted = false;
    Current = 0;
    AtEnd = !FetchTo(0);
}

void QuizQuery::Close()
{
    if (Opened) Stmt.CloseCursor();
    Opened = false;
    Exhausted = false;
    AtEnd = false;
    Current = 0;
    Rows.clear();
}

void QuizQuery::Release(bool connectionLost)
{
    Opened = false;
    Rows.clear();
    if (connectionLost)
        Stmt.Forget();
    else
        Stmt.Free();
}

bool QuizQuery::FetchTo(size_t index)
{
    while (Rows.size() <= index && !Exhausted) {
        if (!Stmt.Fetch()) {
            Exhausted = true;
            // The cursor has delivered everything; the rows stay readable in memory.
            Stmt.CloseCursor();
            break;
        }
        if (Rows.size() == Rows.capacity()) Rows.reserve(Rows.size() + 1000);
        TextList row;
        row.reserve(static_cast<size_t>(Stmt.ColumnCount()));
        for (int column = 0; column < Stmt.ColumnCount(); ++column) row.push_back(Stmt.ColumnText(column));
        Rows.push_back(std::move(row));
    }
    return index < Rows.size();
}

std::string QuizQuery::Field(int column) const
{
    if (!Opened || AtEnd || Current >= Rows.size()) return {};
    const TextList& row = Rows[Current];
    return column >= 0 && static_cast<size_t>(column) < row.size() ? row[static_cast<size_t>(column)] : std::string();
}

void QuizQuery::First()
{
    if (!Opened) return;
    Current = 0;
    AtEnd = !FetchTo(0);
}

void QuizQuery::Next()
{
    if (!Opened || AtEnd) return;
    if (FetchTo(Current + 1))
        ++Current;
    else
        AtEnd = true;
}

void QuizQuery::Last()
{
    if (!Opened) return;
    FetchTo(SIZE_MAX - 1);
    AtEnd = Rows.empty();
    Current = Rows.empty() ? 0 : Rows.size() - 1;
}

int QuizQuery::MoveBy(int distance)
{
    if (!Opened || Rows.empty()) return 0;
    const size_t from = Current;
    if (distance >= 0) {
        const size_t target = Current + static_cast<size_t>(distance);
        FetchTo(target);
        Current = std::min(target, Rows.size() - 1);
    } else {
        const size_t back = static_cast<size_t>(-static_cast<int64_t>(distance));
        Current = back > Current ? 0 : Current - back;
    }
    AtEnd = false;
    return static_cast<int>(static_cast<int64_t>(Current) - static_cast<int64_t>(from));
}

// ---- QuizDatabase: connection ----

QuizDatabase::~QuizDatabase()
{
    try {
        DisconnectDatabase();
    } catch (const DbError&) {
        // The program is ending; a connection that cannot be closed cleanly is dropped.
    }
}

std::string QuizDatabase::DatabasePath() { return AppSettings.ServerName + AppSettings.DataFolder + "GAMES.FDB"; }

void QuizDatabase::CreateGameDatabase()
{
    if (Connected()) return;
    const std::string statement = "CREATE DATABASE '" + DatabasePath() + "' " + "USER \"" + UserName + "\"\r\n" +
                                  "PASSWORD \"" + Password + "\"\r\n" + "PAGE_SIZE 4096\r\n";
    try {
        IBDatabase1.CreateByStatement(statement);
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
        IBDatabase1.Attach(DatabasePath(), dpb);
    } catch (const DbError&) {
        DisconnectDatabase();
    }
}

void QuizDatabase::DisconnectDatabase()
{
    IBQuery1.Close();
    IBQuery1.Release(false);
    for (Transaction* transaction : {&IBTransaction1, &NamesTransaction}) {
        try {
            transaction->Rollback();
        } catch (const DbError&) {
            transaction->Forget();
        }
    }
    IBDatabase1.Detach();
}

void QuizDatabase::ForgetConnection()
{
    IBQuery1.Release(true);
    IBTransaction1.Forget();
    NamesTransaction.Forget();
    IBDatabase1.Forget();
}

void QuizDatabase::Absorb(const DbError& error)
{
    if (error.LostConnection()) ForgetConnection();
}

bool QuizDatabase::TableExists(const std::string& name)
{
    if (!Connected()) return false;
    Names.clear();
    ++Statements;
    Statement names;
    try {
        if (!NamesTransaction.Active()) NamesTransaction.Start(IBDatabase1);
        names.Prepare(IBDatabase1, NamesTransaction, TableNamesQuery);
        names.Execute(NamesTransaction);
        while (names.Fetch()) Names.push_back(TrimRight(names.ColumnText(0)));
        names.CloseCursor();
        names.Free();
        NamesTransaction.Commit();
    } catch (const DbError& error) {
        // Reading the names is one of the two places whose errors reach the caller.
        if (error.LostConnection()) {
            names.Forget();
            ForgetConnection();
        }
        throw;
    }
    return std::any_of(Names.begin(), Names.end(), [&](const std::string& n) { return SameNameIgnoringCase(n, name); });
}

// ---- the two cycles ----

bool QuizDatabase::RunWrite(const TextList& lines)
{
    bool committed = false;
    ++Statements;
    try {
        if (IBTransaction1.Active()) IBTransaction1.Rollback();
        IBTransaction1.Start(IBDatabase1);
        IBQuery1.Close();
        IBQuery1.SetLines(lines);
        IBQuery1.ExecSql(IBDatabase1, IBTransaction1);
        IBTransaction1.Commit();
        committed = true;
    } catch (const DbError& error) {
        Absorb(error);
        try {
            if (IBTransaction1.Active()) IBTransaction1.Rollback();
        } catch (const DbError& rollbackError) {
            Absorb(rollbackError);
            IBTransaction1.Forget();
        }
    }
    IBQuery1.Close();
    return committed;
}

bool QuizDatabase::OpenRead(const TextList& lines)
{
    const bool rolledBack = IBTransaction1.Active();
    CloseQuery();
    ++Statements;
    IBQuery1.SetLines(lines);
    try {
        IBQuery1.Open(IBDatabase1, IBTransaction1);
        return true;
    } catch (const DbError& error) {
        Absorb(error);
        IBQuery1.Close();
        // The client library accepts the roll-back of a dead connection and reports the break
        // only at the next call; after a roll-back, that break is passed on as the roll-back's.
        if (rolledBack && error.LostConnection()) throw;
        return false;
    }
}

bool QuizDatabase::OpenOwnSelect(const TextList& lines)
{
    if (!Connected()) return false;
    return OpenRead(lines);
}

bool QuizDatabase::ExecSqlLines(const TextList& lines)
{
    if (lines.empty()) return false;
    return RunWrite(lines);
}

bool QuizDatabase::DropTable(const std::string& name) { return RunWrite({"DROP TABLE " + name + ";"}); }

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
    if (!Connected()) return false;
    count = std::clamp(count, 0, static_cast<int>(std::min(names.size(), values.size())));
    TextList lines = {"INSERT INTO " + table + " ("};
    AddListLines(lines, count, names);
    lines.push_back("   ) ");
    lines.push_back("   VALUES (");
    AddListLines(lines, count, values);
    lines.push_back("   );");
    return RunWrite(lines);
}

bool QuizDatabase::InsertText(const std::string& table, const std::string& fields, const std::string& values)
{
    if (!Connected()) return false;
    return RunWrite({"INSERT INTO " + table + " (", "   " + fields, "   ) ", "  VALUES (", "   " + values, "   );"});
}

bool QuizDatabase::UpdateFields(const std::string& table, int count, const TextList& names, const TextList& values,
                                const std::string& condition)
{
    if (!Connected()) return false;
    count = std::clamp(count, 0, static_cast<int>(std::min(names.size(), values.size())));
    TextList lines = {"UPDATE " + table + " SET "};
    for (int i = 0; i < count; ++i) {
        const auto k = static_cast<size_t>(i);
        lines.push_back("   " + names[k] + "=" + values[k] + (i < count - 1 ? "," : ""));
    }
    if (!condition.empty()) lines.push_back("   WHERE " + condition);
    lines.push_back("   ;");
    return RunWrite(lines);
}

bool QuizDatabase::UpdateText(const std::string& table, const std::string& setList, const std::string& condition)
{
    if (!Connected()) return false;
    TextList lines = {"UPDATE " + table + " SET ", "   " + setList};
    if (!condition.empty()) lines.push_back("   WHERE " + condition);
    lines.push_back("   ;");
    return RunWrite(lines);
}

bool QuizDatabase::DeleteRows(const std::string& table, const std::string& condition)
{
    if (!Connected()) return false;
    const std::string where = condition.empty() ? std::string() : "WHERE " + condition + " ";
    return RunWrite({"DELETE FROM " + table + " " + where + ";"});
}

// ---- read helpers ----

void QuizDatabase::CloseQuery()
{
    IBQuery1.Close();
    try {
        if (IBTransaction1.Active()) IBTransaction1.Rollback();
    } catch (const DbError& error) {
        // The roll-back that starts every read is where a broken connection shows itself;
        // the error is passed on so that the user learns of it.
        if (error.LostConnection()) ForgetConnection();
        throw;
    }
}

int QuizDatabase::CountRows(const std::string& table, const std::string& condition)
{
    if (!Connected()) return -1;
    if (!OpenRead(SelectLines("*", table, condition))) return -1;
    int count = -1;
    try {
        IBQuery1.Last();
        count = IBQuery1.RecordCount();
    } catch (const DbError& error) {
        Absorb(error);
    }
    IBQuery1.Close();
    return count;
}

int QuizDatabase::CountColumns(const std::string& table)
{
    if (!Connected()) return -1;
    if (!OpenRead({"SELECT * ", "   FROM " + table + " ;"})) return -1;
    const int count = IBQuery1.FieldCount();
    IBQuery1.Close();
    return count;
}

bool QuizDatabase::ValueExists(const std::string& table, const std::string& field, const std::string& extraCondition,
                               const std::string& value)
{
    if (!Connected()) return false;
    const std::string extra = extraCondition.empty() ? std::string() : "(" + extraCondition + ") AND ";
    const TextList lines = {"SELECT " + field + " ", "   FROM " + table + " ",
                            "   WHERE " + extra + "(" + field + "='" + value + "') ", "   ;"};
    if (!OpenRead(lines)) return false;
    const bool found = !IBQuery1.Eof();
    IBQuery1.Close();
    return found;
}

void QuizDatabase::SelectMax(const std::string& table, const std::string& field, const std::string& condition,
                             std::string& out)
{
    out.clear();
    if (!Connected()) return;
    if (!OpenRead(SelectLines("MAX(" + field + ")", table, condition))) return;
    if (!IBQuery1.Eof()) out = IBQuery1.Field(0);
    IBQuery1.Close();
}

int QuizDatabase::SelectFirstRow(const std::string& fields, const std::string& table, const std::string& condition,
                                 TextList& out)
{
    if (!Connected()) return -1;
    if (!OpenRead(SelectLines(fields, table, condition))) return -1;
    int copied = -1;
    if (!IBQuery1.Eof()) {
        const int columns = std::min(IBQuery1.FieldCount(), static_cast<int>(out.size()));
        for (copied = 0; copied < columns; ++copied) out[static_cast<size_t>(copied)] = IBQuery1.Field(copied);
    }
    IBQuery1.Close();
    return copied;
}

int QuizDatabase::SelectFirstValue(const std::string& field, const std::string& table, const std::string& condition,
                                   std::string& out)
{
    out.clear();
    if (!Connected()) return -1;
    if (!OpenRead(SelectLines(field, table, condition))) return -1;
    int result = -1;
    if (!IBQuery1.Eof()) {
        out = IBQuery1.Field(0);
        result = 1;
    }
    IBQuery1.Close();
    return result;
}

int QuizDatabase::OpenSelect(const std::string& fields, const std::string& table, const std::string& condition,
                             const std::string& order)
{
    if (!Connected()) return 0;
    if (!OpenRead(SelectLines(fields, table, condition, order))) return 0;
    try {
        IBQuery1.Last();
        const int count = IBQuery1.RecordCount();
        IBQuery1.First();
        return count;
    } catch (const DbError& error) {
        Absorb(error);
        IBQuery1.Close();
        return 0;
    }
}

void QuizDatabase::CopyRow(TextList& out) const
{
    const size_t columns = std::min(static_cast<size_t>(IBQuery1.FieldCount()), out.size());
    for (size_t i = 0; i < columns; ++i) out[i] = IBQuery1.Field(static_cast<int>(i));
}

void QuizDatabase::GetFieldNames(TextList& out)
{
    if (!IBQuery1.IsOpen()) return;
    const size_t columns = std::min(static_cast<size_t>(IBQuery1.FieldCount()), out.size());
    for (size_t i = 0; i < columns; ++i) out[i] = IBQuery1.FieldName(static_cast<int>(i));
}

std::vector<bool> QuizDatabase::FieldIsText()
{
    std::vector<bool> text;
    for (int i = 0; i < IBQuery1.FieldCount(); ++i) text.push_back(IBQuery1.FieldIsText(i));
    return text;
}

void QuizDatabase::FetchFirst(TextList& out)
{
    if (!IBQuery1.IsOpen()) return;
    const size_t columns = std::min(static_cast<size_t>(IBQuery1.FieldCount()), out.size());
    for (size_t i = 0; i < columns; ++i) out[i].clear();
    IBQuery1.First();
    CopyRow(out);
}

void QuizDatabase::FetchNext(TextList& out)
{
    if (!IBQuery1.IsOpen()) return;
    IBQuery1.Next();
    if (IBQuery1.Eof()) {
        const size_t columns = std::min(static_cast<size_t>(IBQuery1.FieldCount()), out.size());
        for (size_t i = 0; i < columns; ++i) out[i].clear();
        return;
    }
    CopyRow(out);
}

void QuizDatabase::FetchMoveBy(int distance, TextList& out)
{
    if (!IBQuery1.IsOpen()) return;
    IBQuery1.MoveBy(distance);
    CopyRow(out);
}

void QuizDatabase::FetchRow(int index, TextList& out)
{
    if (index == 0)
        FetchFirst(out);
    else
        FetchNext(out);
}

void QuizDatabase::CloseSelect() { IBQuery1.Close(); }
