#include "db/database_objects.h"

#include <algorithm>

Statement& PreparedReads::Get(Attachment& attachment, Transaction& transaction, const std::string& text, bool& fresh)
{
    if (!transaction.Active()) transaction.StartReading(attachment);
    const auto kept = std::find_if(Kept.begin(), Kept.end(), [&](const auto& entry) { return entry.first == text; });
    fresh = kept == Kept.end();
    if (!fresh) {
        Kept.splice(Kept.begin(), Kept, kept);
        return *Kept.front().second;
    }
    auto statement = std::make_unique<Statement>();
    statement->Prepare(attachment, transaction, text);
    if (Kept.size() >= Capacity) Kept.pop_back();
    Kept.emplace_front(text, std::move(statement));
    return *Kept.front().second;
}

void PreparedReads::Forget(const Statement& statement)
{
    Kept.remove_if([&](const auto& entry) { return entry.second.get() == &statement; });
}

void PreparedReads::Clear() { Kept.clear(); }

std::string LinesToStatement(const TextList& lines)
{
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    return text;
}

std::string QuizQuery::Text() const { return LinesToStatement(Lines); }

void QuizQuery::ExecSql(Attachment& attachment, Transaction& transaction)
{
    Close();
    ExecuteImmediate(attachment, transaction, Text());
}

void QuizQuery::Open(Attachment& attachment, Transaction& transaction, PreparedReads& reads)
{
    Close();
    bool fresh = false;
    Statement& statement = reads.Get(attachment, transaction, Text(), fresh);
    try {
        // The execute of a SELECT waits for the first fetch and goes with it.
        statement.Execute(transaction);
        Stmt = &statement;
        Opened = true;
        AtEnd = !FetchTo(0);
    } catch (const DbError&) {
        Close();
        reads.Forget(statement);
        throw;
    }
}

void QuizQuery::Close()
{
    if (Stmt) Stmt->CloseCursor();
    Stmt = nullptr;
    Opened = false;
    Exhausted = false;
    AtEnd = false;
    Current = 0;
    Rows.clear();
}


bool QuizQuery::FetchTo(size_t index)
{
    while (Rows.size() <= index && !Exhausted) {
        if (!Stmt->Fetch()) {
            Exhausted = true;
            // The cursor has delivered everything; the rows stay readable in memory.
            Stmt->CloseCursor();
            break;
        }
        if (Rows.size() == Rows.capacity()) Rows.reserve(Rows.size() + 1000);
        TextList row;
        row.reserve(static_cast<size_t>(Stmt->ColumnCount()));
        for (int column = 0; column < Stmt->ColumnCount(); ++column) row.push_back(Stmt->ColumnText(column));
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

