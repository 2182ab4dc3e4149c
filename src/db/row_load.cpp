// QuizDatabase::LoadRows: many rows into one table in a single transaction, all or none.
#include "db/database_objects.h"

#include <algorithm>
#include <charconv>

namespace {

// A batch carries at most this many values (50 rows of QUIZQA's eleven columns), which keeps
// its statement far below the server's 64 KB; a wider table gets fewer rows per batch.
constexpr size_t BatchValues = 550;
constexpr size_t MaxBatchRows = 50;

// The reservation found the table held by another transaction for longer than it waits.
bool HeldByAnother(const DbError& error)
{
    const ISC_STATUS code = error.EngineCode();
    return code == isc_lock_timeout || code == isc_lock_conflict || code == isc_deadlock;
}

// One EXECUTE BLOCK that inserts rows rows, each value an input parameter of its column's own
// type: prepared once, the block then costs one exchange with the server per batch, and the
// values reach the table as they are, with no quoting.
std::string BatchText(const RowLoad& load, size_t columns, size_t rows)
{
    std::string columnList;
    for (size_t c = 0; c < columns; ++c) columnList += (c ? ", " : "") + load.Names[c];
    std::string parameters;
    std::string inserts;
    for (size_t r = 0; r < rows; ++r) {
        std::string values;
        for (size_t c = 0; c < columns; ++c) {
            const std::string name = "P" + std::to_string(r * columns + c);
            parameters += (parameters.empty() ? "" : ", ") + name + " TYPE OF COLUMN " + load.Table + "." +
                          load.Names[c] + " = ?";
            values += (c ? ", :" : ":") + name;
        }
        inserts += "  INSERT INTO " + load.Table + " (" + columnList + ") VALUES (" + values + ");\r\n";
    }
    return "EXECUTE BLOCK (" + parameters + ")\r\nAS\r\nBEGIN\r\n" + inserts + "END";
}

// Decimal text as a number; anything else, NULL included, is 0.
int64_t WholeNumber(const std::string& text)
{
    int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() ? value : 0;
}

// The statements of one load, all in the program's one transaction. Each may throw DbError.
class RowWriter {
public:
    RowWriter(DatabaseObjects& objects, const RowLoad& load, uint64_t& statements)
        : O(objects),
          Load(load),
          Columns(load.Names.size()),
          PerBatch(std::clamp<size_t>(BatchValues / Columns, 1, MaxBatchRows)),
          Statements(statements)
    {
    }

    // Empties the table for a replace, or finds the first number for an append.
    void Begin()
    {
        if (Load.Replace) {
            ++Statements;
            ExecuteImmediate(O.IBDatabase1, O.IBTransaction1, "DELETE FROM " + Load.Table + " ;");
        }
        // After a replace the table holds nothing to count on from.
        if (!Load.NumberFirst || Load.Replace) return;
        ++Statements;
        Largest.Prepare(O.IBDatabase1, O.IBTransaction1, "SELECT MAX(" + Load.Names[0] + ") FROM " + Load.Table);
        Largest.Execute(O.IBTransaction1);
        Next = WholeNumber(Largest.Fetch() ? Largest.ColumnText(0) : std::string()) + 1;
        Largest.Free();
    }

    // Writes the batch that starts at row first and returns where the next one starts. A row
    // the server refuses is put in result.
    size_t WriteBatch(size_t first, LoadResult& result)
    {
        const size_t end = std::min(first + PerBatch, Load.Rows.size());
        if (TryRows(end - first == PerBatch ? Full : Last, first, end)) return end;
        // The failed statement undid its own rows. One row at a time tells which row the
        // server refuses, and why.
        for (size_t row = first; row < end; ++row) {
            if (TryRows(One, row, row + 1)) continue;
            result = {LoadEnd::RowRefused, row, RowError};
            break;
        }
        return end;
    }

    // Frees the statements before the connection goes: the client library keeps records of
    // them, and records left behind crash it when the program exits.
    void Free()
    {
        for (Statement* statement : {&Largest, &Full.Block, &Last.Block, &One.Block}) statement->Free();
    }

private:
    struct Batch {
        Statement Block;
        bool Prepared = false;
    };

    // False, with the server's text in RowError, when the server refuses these rows; a lost
    // connection is passed on.
    bool TryRows(Batch& batch, size_t first, size_t end)
    {
        std::vector<std::string> values;
        for (size_t row = first; row < end; ++row) {
            const TextList& given = Load.Rows[row];
            for (size_t c = 0; c < Columns; ++c)
                values.push_back(Load.NumberFirst && c == 0 ? std::to_string(Next + static_cast<int64_t>(row))
                                 : c < given.size()         ? given[c]
                                                            : std::string());
        }
        try {
            if (!batch.Prepared)
                batch.Block.Prepare(O.IBDatabase1, O.IBTransaction1, BatchText(Load, Columns, end - first));
            batch.Prepared = true;
            ++Statements;
            batch.Block.Execute(O.IBTransaction1, values);
            return true;
        } catch (const DbError& error) {
            if (error.LostConnection()) throw;
            RowError = error.what();
            return false;
        }
    }

    DatabaseObjects& O;
    const RowLoad& Load;
    const size_t Columns;
    const size_t PerBatch;
    uint64_t& Statements;
    int64_t Next = 1;
    Statement Largest;
    Batch Full;  // PerBatch rows
    Batch Last;  // the shorter batch at the end
    Batch One;   // a single row
    std::string RowError;
};

}  // namespace

LoadResult QuizDatabase::LoadRows(const RowLoad& load, const LoadProgress& progress)
{
    if (!Connected() || load.Names.empty()) return {};
    CloseQuery();
    DatabaseObjects& o = *Objects;
    ++Statements;
    try {
        o.IBTransaction1.StartReserving(o.IBDatabase1, load.Table, LockWait::OneSecond);
    } catch (const DbError& error) {
        Absorb(error);
        return {HeldByAnother(error) ? LoadEnd::Busy : LoadEnd::Failed, 0, error.what()};
    }

    RowWriter writer(o, load, Statements);
    LoadResult result{LoadEnd::Loaded};
    try {
        bool begun = false;
        for (size_t done = 0; result.End == LoadEnd::Loaded;) {
            if (progress && !progress(done, load.Rows.size())) {
                result.End = LoadEnd::Cancelled;
            } else if (!o.IBTransaction1.Active()) {
                // The program closed the connection meanwhile (it is ending), and the
                // transaction with it.
                result.End = LoadEnd::Cancelled;
            } else if (!begun) {
                writer.Begin();
                begun = true;
            } else if (done == load.Rows.size()) {
                o.IBTransaction1.Commit();
                break;
            } else {
                done = writer.WriteBatch(done, result);
            }
        }
    } catch (const DbError& error) {
        if (error.LostConnection()) writer.Free();
        Absorb(error);
        result = {LoadEnd::Failed, 0, error.what()};
    }
    if (!Connected()) writer.Free();
    // Anything but a commit leaves the table as it was.
    CloseQuery();
    return result;
}
