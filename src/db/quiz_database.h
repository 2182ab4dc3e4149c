// The program's one database connection (IBDatabase1), its read transaction (IBTransaction1)
// and its one statement object (IBQuery1), with every operation the windows use on them. Each
// read sees every write committed before it, the program's own and the others'; each write is
// committed as it ends. Reads whose text comes again run their statement prepared before.
// Callers see operations and plain values only. No operation shows a message; failures come
// back as the documented failure values. A connection found broken is the one exception: the
// operation that meets the break abandons the caller's handler (see RunUntilConnectionLost),
// and from then on the connection counts as closed and every operation fails quietly.
#pragma once

#include "db/lock_wait.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using TextList = std::vector<std::string>;

struct DatabaseObjects;
class DbError;

// Rows for QuizDatabase::LoadRows.
struct RowLoad {
    std::string Table;
    TextList Names;              // the columns each row fills, in order
    std::vector<TextList> Rows;  // one value per column as text, converted by the server; empty is NULL
    bool Replace = false;        // every row of the table is deleted first
    bool NumberFirst = false;    // the first column takes the table's largest value + 1, + 2, ...
};

// How a LoadRows ended. Whatever the end but Loaded, the table is as it was.
enum class LoadEnd { Loaded, NotConnected, Busy, Cancelled, RowRefused, Failed };

struct LoadResult {
    LoadEnd End = LoadEnd::NotConnected;
    size_t Row = 0;          // RowRefused: the index of the row the server refused
    std::string ServerText{};  // Busy, RowRefused, Failed: the server's message
};

// Called with the rows written so far (uncommitted) and all rows; false stops the load.
using LoadProgress = std::function<bool(size_t done, size_t total)>;

class QuizDatabase {
public:
    // path gives the database path (server prefix, folder and file name) from the owner's
    // current settings; it is asked afresh at every creation and connection.
    explicit QuizDatabase(std::function<std::string()> path);
    ~QuizDatabase();
    QuizDatabase(const QuizDatabase&) = delete;
    QuizDatabase& operator=(const QuizDatabase&) = delete;

    bool Connected() const;
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
    bool InsertText(const std::string& table, const std::string& fields, const std::string& values,
                    LockWait wait = LockWait::UntilReleased);
    bool UpdateFields(const std::string& table, int count, const TextList& names, const TextList& values,
                      const std::string& condition);
    bool UpdateText(const std::string& table, const std::string& setList, const std::string& condition);
    // The UpdateText statement for each pair of set list and condition, as one EXECUTE BLOCK:
    // either every one of them is committed, or none.
    bool UpdateTexts(const std::string& table, const std::vector<std::pair<std::string, std::string>>& updates);
    bool DeleteRows(const std::string& table, const std::string& condition, LockWait wait = LockWait::UntilReleased);
    // Writes every row of load, or none: one transaction that holds the table against other
    // writers (Busy when another holds it for over a second) and commits only once all rows are
    // in. Rows go in batches, one statement each; progress is called before and after the delete
    // and after every batch. A program closing the connection meanwhile ends it as Cancelled. A lost
    // connection abandons the caller's handler as in every operation; the server then drops the
    // transaction.
    LoadResult LoadRows(const RowLoad& load, const LoadProgress& progress);
    // Closes the cursor and ends the read transaction (a load starts its own in its place).
    void CloseQuery();
    // Lets go of every prepared read and ends the transactions, so that the tables they used
    // are free for another program to drop; the next reads prepare their statements again. For a program that stops
    // using the room's tables (leaving it, or between two looks at it).
    void ReleaseStatements();
    // Made ready ahead, for a moment that waits on the server anyway (joining the room), so that
    // the first run later is one exchange with the server. PrepareRead prepares the read that
    // OpenSelect runs for these arguments (CountRows and SelectFirstRow run theirs with fields
    // "*" and no order) unless it is prepared already; one that cannot be is left to fail when it
    // runs. StartWriting starts afresh the transaction that writes with wait go through, so that
    // it does not come to the end of its life in the middle of the writes that follow.
    void PrepareRead(const std::string& fields, const std::string& table, const std::string& condition,
                     const std::string& order = {});
    void StartWriting(LockWait wait);
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
    // Whether a cursor is open: after an OpenSelect whose statement ran, also on no rows.
    bool SelectOpen() const;
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

    // The list window's own paged SELECT, on the statement object in the read cycle: runs
    // the lines, skips the first skip rows and returns the next rows, at most
    // limit, each with its columns as text. A failure while opening, moving or reading ends
    // the page where it struck; the rows read so far come back. The cursor is closed after,
    // and the read transaction stays active as after every read.
    std::vector<TextList> ReadPage(const TextList& lines, int skip, int limit);

    // Statements sent to the server so far: one per write cycle, per read opened and per
    // table-name read. The game's timing figures use it.
    uint64_t StatementsSent() const { return Statements; }
    // Statements that failed for another reason than a lost connection, and the server's text
    // of the last of them: a caller that sees them keep failing can say why.
    uint64_t StatementsFailed() const { return Failures; }
    const std::string& LastFailure() const { return LastFailureText; }

    // The operations so far by kind, with the wall time they took: the kind is the operation
    // and its table ("CountRows QUIZMEM", "UpdateText QUIZQA"). The game's timing figures use
    // them to show where a tick's time goes.
    struct Timing {
        uint64_t Count = 0;
        int64_t TotalUs = 0;
        int64_t MaxUs = 0;
    };
    const std::map<std::string, Timing>& TimingsByKind() const { return Timings; }

private:
    friend DatabaseObjects& ObjectsOf(QuizDatabase& db);
    friend class TimedOperation;

    // One statement on table, committed as it ends, in one exchange with the server.
    bool RunWrite(const std::string& table, const TextList& lines, LockWait wait = LockWait::UntilReleased);
    // A statement that creates, changes or drops a table: in a transaction of its own, after
    // this connection has let go of its prepared reads.
    bool RunSchemaChange(const TextList& lines, LockWait wait = LockWait::UntilReleased);
    // Starts the kept transaction for writes with wait unless it is active.
    void StartWritingTransaction(LockWait wait);
    // Opens IBQuery1 on the lines; false when the statement fails (the error is absorbed).
    bool OpenRead(const TextList& lines);
    // Every caught error of the layer goes through here: a lost connection counts as closed
    // from then on and is passed on; any other error is absorbed and counted.
    void Absorb(const DbError& error);
    void CopyRow(TextList& out) const;

    std::function<std::string()> Path;
    std::unique_ptr<DatabaseObjects> Objects;
    uint64_t Statements = 0;
    uint64_t Failures = 0;
    std::string LastFailureText;
    std::map<std::string, Timing> Timings;
};

// Runs handler, an event handler that reaches the database. When an operation finds the
// connection broken, the handler is abandoned where it stood and the server's error text
// comes back, so that the caller can show it; nothing comes back otherwise. Other exceptions
// pass through.
std::optional<std::string> RunUntilConnectionLost(const std::function<void()>& handler);

// The version text of the Firebird client library, for reports.
std::string ClientLibraryVersion();
