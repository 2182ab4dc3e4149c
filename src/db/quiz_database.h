// The program's one database connection (IBDatabase1), its one transaction (IBTransaction1)
// and its one statement object (IBQuery1), with every operation the windows use on them.
// No operation shows a message; failures come back as the documented failure values. The
// only errors that leave this class are those of a connection that broke during the run.
#pragma once

#include "db/isc.h"

#include <cstdint>
#include <string>
#include <vector>

using TextList = std::vector<std::string>;

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
    // Drops the statement handle, without calling the server when the connection is gone.
    void Release(bool connectionLost);

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

class QuizDatabase {
public:
    QuizDatabase() = default;
    ~QuizDatabase();
    QuizDatabase(const QuizDatabase&) = delete;
    QuizDatabase& operator=(const QuizDatabase&) = delete;

    // The database path: ServerName + DataFolder + "GAMES.FDB" from the current settings.
    static std::string DatabasePath();

    bool Connected() const { return IBDatabase1.IsOpen(); }
    void CreateGameDatabase();
    void ConnectDatabase();
    void DisconnectDatabase();
    bool TableExists(const std::string& name);
    bool ExecSqlLines(const TextList& lines);
    bool DropTable(const std::string& name);

    bool CreatePlayerTable();
    bool CreateQuizQaTable();
    bool CreateQuizMemTable();
    bool CreateQuizAnsTable();

    bool InsertFields(const std::string& table, int count, const TextList& names, const TextList& values);
    bool InsertText(const std::string& table, const std::string& fields, const std::string& values);
    bool UpdateFields(const std::string& table, int count, const TextList& names, const TextList& values,
                      const std::string& condition);
    bool UpdateText(const std::string& table, const std::string& setList, const std::string& condition);
    bool DeleteRows(const std::string& table, const std::string& condition);
    // Closes the cursor and rolls back the transaction: the start of every read. An error here
    // means the connection broke, and it is passed on to the caller.
    void CloseQuery();
    int CountRows(const std::string& table, const std::string& condition);
    int CountColumns(const std::string& table);
    bool ValueExists(const std::string& table, const std::string& field, const std::string& extraCondition,
                     const std::string& value);
    void SelectMax(const std::string& table, const std::string& field, const std::string& condition, std::string& out);
    int SelectFirstRow(const std::string& fields, const std::string& table, const std::string& condition, TextList& out);
    int SelectFirstValue(const std::string& field, const std::string& table, const std::string& condition,
                         std::string& out);
    int OpenSelect(const std::string& fields, const std::string& table, const std::string& condition,
                   const std::string& order);
    void GetFieldNames(TextList& out);
    void FetchFirst(TextList& out);
    void FetchNext(TextList& out);
    void FetchMoveBy(int distance, TextList& out);
    // One step of a walk over the open cursor from its first row: FetchFirst for index 0,
    // FetchNext for every later index.
    void FetchRow(int index, TextList& out);
    void CloseSelect();

    // Whether each column of the open cursor holds text (false: a number), for the import.
    std::vector<bool> FieldIsText();

    // The list window's own paged SELECT: the read cycle from its roll-back to the open cursor,
    // which stays open on its first row for the caller to move on and read (Query()). False
    // when not connected or the statement fails (the error is absorbed; a broken connection
    // after a roll-back is passed on, as by every read).
    bool OpenOwnSelect(const TextList& lines);

    // The statement object and transaction, for the list window's own paged SELECT.
    QuizQuery& Query() { return IBQuery1; }
    Transaction& ReadTransaction() { return IBTransaction1; }
    // The table names read by the last TableExists.
    const TextList& TableNames() const { return Names; }
    // Statements sent to the server so far: one per write cycle, per read opened and per
    // table-name read. The game's timing figures use it.
    uint64_t StatementsSent() const { return Statements; }

private:
    bool RunWrite(const TextList& lines);
    // Opens IBQuery1 on the lines; false when the statement fails (the error is absorbed).
    bool OpenRead(const TextList& lines);
    // Called with every absorbed error: a lost connection counts as closed from then on.
    void Absorb(const DbError& error);
    void ForgetConnection();
    void CopyRow(TextList& out) const;

    Attachment IBDatabase1;
    Transaction IBTransaction1;
    QuizQuery IBQuery1;
    Transaction NamesTransaction;  // the connection's internal transaction for table names
    TextList Names;
    uint64_t Statements = 0;
};
