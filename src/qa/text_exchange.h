// The question bank as a tab-separated text file: a header line of column names, then one
// line per row, every field followed by TAB, lines ending in CR LF, CP932 bytes unchanged.
// Both work on any table; the main window uses them for QUIZQA.
#pragma once

#include "db/quiz_database.h"

#include <string>

// Writes the rows of SELECT * on table (condition and order as the statement helpers take
// them, empty for none) to fileName. The file is replaced only once it is complete: on any
// failure an earlier file of that name stays as it was. True when the file was written.
bool ExportTableText(QuizDatabase& db, const std::string& table, const std::string& condition,
                     const std::string& order, const std::string& fileName);

// Inserts one row per line of fileName, each field into the column at its position; the first
// column, when it is a number, is numbered anew from the largest existing value plus 1.
// The whole file is read first; a file that cannot be read to its end, or is over 64 MiB,
// changes nothing. Without append the table is then emptied. Every row is committed on its
// own; a line the server rejects is skipped and uses up its number. True when the file was
// read and its rows sent.
bool ImportTableText(QuizDatabase& db, const std::string& table, const std::string& fileName, bool append,
                     bool skipFirstLine);
