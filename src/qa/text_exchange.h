// The question bank as a tab-separated text file: a header line of column names, then one
// line per row, every field followed by TAB, lines ending in CR LF, CP932 bytes unchanged.
// Both work on any table; the main window uses them for QUIZQA.
#pragma once

#include "db/quiz_database.h"

#include <optional>
#include <string>

// Writes the rows of SELECT * on table (condition and order as the statement helpers take
// them, empty for none) to fileName. The file is replaced only once it is complete: on any
// failure an earlier file of that name stays as it was. True when the file was written.
bool ExportTableText(QuizDatabase& db, const std::string& table, const std::string& condition,
                     const std::string& order, const std::string& fileName);

// How an import ended. Whatever the end but Imported, the table is as it was.
enum class ImportEnd {
    Imported,
    NotConnected,
    NoTable,
    Unreadable,   // the file could not be read to its end
    TooLarge,     // over 64 MiB
    Busy,         // another import holds the table
    Cancelled,    // progress asked to stop
    LineRefused,  // the server refused a line
    Failed,       // the server failed otherwise
};

struct ImportResult {
    ImportEnd End = ImportEnd::NotConnected;
    size_t Rows = 0;         // Imported: the rows written
    size_t Line = 0;         // LineRefused: its number in the file, the first line being 1
    std::string ServerText{};  // LineRefused, Failed: the server's message
};

// Inserts one row per line of fileName, each field into the column at its position; the first
// column, when it is a number, is numbered anew from the largest existing value plus 1.
// The whole file is read first. Without append the table is emptied first. Every row is
// written or none: a file that cannot be read to its end or is over 64 MiB changes nothing,
// nor does a line the server refuses, a failure of the server or a cancel. progress gets the
// rows written so far and all rows between batches; false cancels.
ImportResult ImportTableText(QuizDatabase& db, const std::string& table, const std::string& fileName, bool append,
                             bool skipFirstLine, const LoadProgress& progress = {});

// A new database's first questions: when QUIZQA holds no row (it is created when missing), fills
// it from fileName as the main window's import does, header line skipped. Nothing, and the table
// untouched, when it already holds questions.
std::optional<ImportResult> ImportIntoEmptyBank(QuizDatabase& db, const std::string& fileName);
