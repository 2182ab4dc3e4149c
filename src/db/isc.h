// Thin owners of the Firebird client library's handles, and the one error type of the
// database layer. Nothing outside src/db/ sees these.
#pragma once

#include "db/lock_wait.h"

#include <ibase.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

// A failed call into the client library: the server's message text, its codes and the
// statement it belongs to.
class DbError : public std::runtime_error {
public:
    DbError(const ISC_STATUS* status, const std::string& statement);

    ISC_STATUS EngineCode() const { return Engine; }
    int SqlCode() const { return Sql; }
    const std::string& Statement() const { return StatementText; }
    // True when the connection to the server is gone (network errors, shutdown).
    bool LostConnection() const { return Lost; }

private:
    ISC_STATUS Engine;
    int Sql;
    std::string StatementText;
    bool Lost;
};

// A parameter block (DPB) built one item at a time.
class ParameterBlock {
public:
    explicit ParameterBlock(char version) { Bytes.push_back(version); }
    ParameterBlock& Add(char item, const std::string& value);
    // An item without a value (most TPB items).
    ParameterBlock& Add(char item);
    const char* Data() const { return Bytes.data(); }
    short Size() const { return static_cast<short>(Bytes.size()); }

private:
    std::vector<char> Bytes;
};

class Attachment {
public:
    Attachment() = default;
    ~Attachment();
    Attachment(const Attachment&) = delete;
    Attachment& operator=(const Attachment&) = delete;

    void Attach(const std::string& path, const ParameterBlock& dpb);
    // Runs a CREATE DATABASE statement; on success this object holds the new attachment.
    void CreateByStatement(const std::string& statement);
    // One exchange with the server, carrying whatever the client library holds back until the
    // next request (cursor closes and statement frees).
    void Ping();
    // Detaches; the handle is given up even when the server cannot be reached.
    void Detach();
    bool IsOpen() const { return Handle != 0; }
    isc_db_handle* Raw() { return &Handle; }

private:
    isc_db_handle Handle = 0;
};

class Transaction {
public:
    Transaction() = default;
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    // Concurrency and write, waiting for a lock until it is released, for a second, or not at all.
    void Start(Attachment& attachment, LockWait wait = LockWait::UntilReleased);
    // The same, holding table against every other transaction's writes until this one ends (a
    // protected write reservation, taken at the start: a transaction that has written the table
    // and not ended is waited for as wait says). Readers are not held up.
    void StartReserving(Attachment& attachment, const std::string& table, LockWait wait);
    // Read only and read committed: each statement sees every write committed before it, as a
    // transaction started just for it would, so one such transaction serves every read of a
    // connection. The server counts it committed from its start: it holds no old record
    // versions back however long it stays.
    void StartReading(Attachment& attachment);
    // Read committed, waiting as wait says, and committing each statement as it ends: a write
    // then costs the one exchange that carries it.
    void StartCommittingEach(Attachment& attachment, LockWait wait);
    void Commit();
    void Rollback();
    // Gives the handle up after a rollback failed; the detach frees what the client library
    // keeps of it.
    void Forget() { Handle = 0; }
    bool Active() const { return Handle != 0; }
    isc_tr_handle* Raw() { return &Handle; }

private:
    void Start(Attachment& attachment, const ParameterBlock& tpb);

    isc_tr_handle Handle = 0;
};

// Runs a statement that returns no rows in one exchange with the server, without a statement
// handle: a write costs one round trip less than a prepare followed by an execute.
void ExecuteImmediate(Attachment& attachment, Transaction& transaction, const std::string& text);

// A DSQL statement with its output descriptor; column values come out as text.
class Statement {
public:
    Statement() = default;
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // Prepares text (dialect 3), allocating the handle on first use.
    void Prepare(Attachment& attachment, Transaction& transaction, const std::string& text);
    // Executes; a SELECT opens its cursor.
    void Execute(Transaction& transaction);
    // Executes with one value for each input parameter ("?") in order, sent as text (CP932
    // bytes, unchanged) for the server to convert to the parameter's type; an empty value is
    // NULL. A longer value than MaxParameterBytes is cut there: no column of the program's
    // tables can hold one, so the server refuses it all the same.
    void Execute(Transaction& transaction, const std::vector<std::string>& values);
    static constexpr size_t MaxParameterBytes = 32767;
    // Fetches the next row; false at the end.
    bool Fetch();
    // Closes an open cursor; errors are dropped (the cursor is gone either way).
    void CloseCursor();
    // Frees the handle and forgets the columns; the handle is given up even when the server
    // cannot be reached.
    void Free();

    int ColumnCount() const;
    std::string ColumnName(int column) const;
    bool ColumnIsText(int column) const;
    // The value of the fetched row in the text form of the program: NULL as empty text,
    // integers in decimal, doubles in general format, CHAR as stored.
    std::string ColumnText(int column) const;

private:
    void Describe();

    isc_stmt_handle Handle = 0;
    std::string Text;
    bool Select = false;
    bool CursorOpen = false;
    std::vector<char> Descriptor;      // XSQLDA storage
    std::vector<std::vector<char>> Values;
    std::vector<short> Indicators;
    // The input parameters, described at their first execution; their values as last sent.
    std::vector<char> Input;
    std::vector<std::string> InputValues;
    std::vector<short> InputIndicators;
};
