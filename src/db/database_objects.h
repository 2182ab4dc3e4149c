// Inside the database layer: the statement object and the objects that one QuizDatabase owns.
// Only src/db and its own tests include this; everyone else sees quiz_database.h.
#pragma once

#include "db/isc.h"
#include "db/quiz_database.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// The SELECTs a connection has prepared, by text, the most recently used first. A read whose
// text comes again executes the kept statement: no prepare, one exchange with the server. A kept
// statement keeps its tables in use on the server, so that no program can drop them meanwhile;
// Clear lets go of them all.
class PreparedReads {
public:
    // The kept statement for text, or a new one prepared in transaction (fresh is then true);
    // the transaction is started for reading first when it is not active.
    Statement& Get(Attachment& attachment, Transaction& transaction, const std::string& text, bool& fresh);
    void Forget(const Statement& statement);
    void Clear();

private:
    // The texts a game repeats are fewer than this; a connection reading ever new texts lets
    // the oldest go.
    static constexpr size_t Capacity = 32;
    std::list<std::pair<std::string, std::unique_ptr<Statement>>> Kept;
};

// The text the server is sent for lines: each followed by CR LF.
std::string LinesToStatement(const TextList& lines);

// The statement object: its text as lines, and at most one open cursor whose rows are kept
// in memory, so that it can move back to the first row.
class QuizQuery {
public:
    // Lines are sent each followed by CR LF.
    void SetLines(const TextList& lines) { Lines = lines; }
    const TextList& GetLines() const { return Lines; }
    std::string Text() const;

    // Runs a statement that returns no rows.
    void ExecSql(Attachment& attachment, Transaction& transaction);
    // Opens the cursor on the first row of the kept or newly prepared statement for the text,
    // starting the read transaction when it is not active. A statement that fails is not kept.
    void Open(Attachment& attachment, Transaction& transaction, PreparedReads& reads);
    // Closes the cursor; the statement stays prepared.
    void Close();

    bool IsOpen() const { return Opened; }
    bool Eof() const { return AtEnd; }
    int FieldCount() const { return Opened ? Stmt->ColumnCount() : 0; }
    std::string FieldName(int column) const { return Stmt->ColumnName(column); }
    bool FieldIsText(int column) const { return Stmt->ColumnIsText(column); }
    // The text of a column of the current row; empty past the end.
    std::string Field(int column) const;

    void First();
    void Next();
    void Last();
    // Moves by distance rows, stopping on the first or the last row. Returns the rows actually
    // moved (negative backwards): a forward move that ran past the last row returns less than
    // distance.
    int MoveBy(int distance);
    // Rows fetched so far; after Last, all rows of the result.
    int RecordCount() const { return static_cast<int>(Rows.size()); }

private:
    // Fetches until row index exists or the result ends; true when it exists.
    bool FetchTo(size_t index);

    TextList Lines;
    Statement* Stmt = nullptr;  // one of the connection's prepared reads while open
    bool Opened = false;
    bool Exhausted = false;  // every row of the result has been fetched
    bool AtEnd = false;
    size_t Current = 0;
    std::vector<TextList> Rows;
};

// The one connection, transaction and statement object of a QuizDatabase. IBTransaction1 is
// the read transaction, started at the first read and kept (a load holds it for its rows
// instead); writes go through Writing, one transaction for each lock wait that commits each
// statement. Statements that create or drop tables run in a transaction of their own.
struct DatabaseObjects {
    Attachment IBDatabase1;
    Transaction IBTransaction1;
    QuizQuery IBQuery1;
    PreparedReads Reads;
    std::array<Transaction, 3> Writing;  // by LockWait
    std::array<std::chrono::steady_clock::time_point, 3> WritingSince{};
    Statement NamesRead;  // the table-name read of TableExists, prepared once
    TextList Names;  // the table names read by the last TableExists
};

// The objects of db, for the layer's own tests.
DatabaseObjects& ObjectsOf(QuizDatabase& db);
