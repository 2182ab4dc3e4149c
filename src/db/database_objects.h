// Inside the database layer: the statement object and the objects that one QuizDatabase owns.
// Only src/db and its own tests include this; everyone else sees quiz_database.h.
#pragma once

#include "db/isc.h"
#include "db/quiz_database.h"

#include <cstdint>
#include <string>
#include <vector>

// The statement object: its text as lines, and at most one open cursor whose rows are kept
// in memory, so that it can move back to the first row.
class QuizQuery {
public:
    // Lines are sent each followed by CR LF.
    void SetLines(const TextList& lines) { Lines = lines; }
    const TextList& GetLines() const { return Lines; }
    std::string Text() const;

    // Prepares and runs a statement that returns no rows.
    void ExecSql(Attachment& attachment, Transaction& transaction);
    // Opens the cursor on the first row, starting the transaction when it is not active.
    void Open(Attachment& attachment, Transaction& transaction);
    void Close();

    bool IsOpen() const { return Opened; }
    bool Eof() const { return AtEnd; }
    int FieldCount() const { return Opened ? Stmt.ColumnCount() : 0; }
    std::string FieldName(int column) const { return Stmt.ColumnName(column); }
    bool FieldIsText(int column) const { return Stmt.ColumnIsText(column); }
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
    Statement Stmt;
    bool Opened = false;
    bool Exhausted = false;  // every row of the result has been fetched
    bool AtEnd = false;
    size_t Current = 0;
    std::vector<TextList> Rows;
};

// The one connection, transaction and statement object of a QuizDatabase, and the internal
// transaction in which TableExists reads the table names.
struct DatabaseObjects {
    Attachment IBDatabase1;
    Transaction IBTransaction1;
    QuizQuery IBQuery1;
    Transaction NamesTransaction;
    TextList Names;  // the table names read by the last TableExists
};

// The objects of db, for the layer's own tests.
DatabaseObjects& ObjectsOf(QuizDatabase& db);
