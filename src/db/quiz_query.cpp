#include "db/database_objects.h"

#include <algorithm>

std::string QuizQuery::Text() const
{
    std::string text;
    for (const std::string& line : Lines) text += line + "\r\n";
    return text;
}

void QuizQuery::ExecSql(Attachment& attachment, Transaction& transaction)
{
    Close();
    ExecuteImmediate(attachment, transaction, Text());
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
    // The statement is freed, not only its cursor: a prepared statement keeps its tables in
    // use on the server, and a table in use cannot be dropped by another program.
    Stmt.Free();
    Opened = false;
    Exhausted = false;
    AtEnd = false;
    Current = 0;
    Rows.clear();
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

