#include "qa/text_exchange.h"

#include "app/line_files.h"
#include "app/unitv.h"
#include "db/value_text.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>

namespace {

// The most fields one line can contribute, and so the most columns an import fills.
constexpr size_t MaxFields = 300;
// A file read for an import is held in memory whole; a question bank is a small fraction of this.
constexpr uintmax_t MaxImportBytes = 64u * 1024 * 1024;
// Every value followed by TAB, then CR LF.
std::string FileLine(const TextList& values)
{
    std::string line;
    for (const std::string& value : values) {
        line += value;
        line += '\t';
    }
    line += "\r\n";
    return line;
}

// Field i of the line (split from the left at TAB) into slot i; slots without a field empty.
void SplitFields(const std::string& line, TextList& slots)
{
    std::fill(slots.begin(), slots.end(), std::string());
    size_t start = 0;
    for (size_t i = 0; i < slots.size(); ++i) {
        const size_t tab = line.find('\t', start);
        slots[i] = line.substr(start, tab == std::string::npos ? std::string::npos : tab - start);
        if (tab == std::string::npos) break;
        start = tab + 1;
    }
}

}  // namespace

bool ExportTableText(QuizDatabase& db, const std::string& table, const std::string& condition,
                     const std::string& order, const std::string& fileName)
{
    if (!db.Connected() || !db.TableExists(table)) return false;
    const int columns = db.CountColumns(table);
    if (columns <= 0) return false;
    const int rows = db.OpenSelect("*", table, condition, order);
    // A statement that failed (a bad condition, a lost table) leaves no cursor; writing a file
    // then would pass off a header of nothing as the table.
    if (!db.SelectOpen()) return false;

    TextList names(static_cast<size_t>(columns));
    db.GetFieldNames(names);
    ReplacingFile file(fileName);
    file.Write(FileLine(names));
    TextList values(static_cast<size_t>(columns));
    for (int i = 0; i < rows; ++i) {
        db.FetchRow(i, values);
        if (!file.Write(FileLine(values))) break;
    }
    db.CloseSelect();
    return file.Commit();
}

ImportResult ImportTableText(QuizDatabase& db, const std::string& table, const std::string& fileName, bool append,
                             bool skipFirstLine, const LoadProgress& progress)
{
    if (!db.Connected()) return {ImportEnd::NotConnected};
    if (!db.TableExists(table)) return {ImportEnd::NoTable};
    if (!FileExists(fileName)) return {ImportEnd::Unreadable};

    RowLoad load{table, TextList(MaxFields), {}, !append, false};
    db.OpenSelect("*", table, "", "");
    db.GetFieldNames(load.Names);
    const std::vector<bool> isText = db.FieldIsText();
    db.CloseSelect();
    const size_t columns = std::min(isText.size(), MaxFields);
    if (columns == 0) return {ImportEnd::Failed};  // the columns could not be learnt
    load.Names.resize(columns);
    load.NumberFirst = !isText[0];

    // The whole file is read before the table is touched: a file that cannot be read to its
    // end, or is far larger than any question bank, leaves the table as it was.
    std::error_code sizeError;
    const auto size = std::filesystem::file_size(fileName, sizeError);
    if (!sizeError && size > MaxImportBytes) return {ImportEnd::TooLarge};
    LineReader reader(fileName);
    if (sizeError || !reader.Readable()) return {ImportEnd::Unreadable};
    // An empty text is NULL; an empty or malformed number is 0. The first column's number is
    // the layer's to give.
    TextList values(columns);
    size_t lineNumber = 0;
    for (std::string line; reader.ReadLine(line);) {
        if (++lineNumber == 1 && skipFirstLine) continue;
        SplitFields(line, values);
        for (size_t j = 0; j < columns; ++j)
            if (!isText[j]) values[j] = FloatToText(TextToFloat(values[j]));
        load.Rows.push_back(values);
    }
    if (reader.Failed()) return {ImportEnd::Unreadable};

    const LoadResult loaded = db.LoadRows(load, progress);
    switch (loaded.End) {
    case LoadEnd::Loaded:
        return {ImportEnd::Imported, load.Rows.size()};
    case LoadEnd::NotConnected:
        return {ImportEnd::NotConnected};
    case LoadEnd::Busy:
        return {ImportEnd::Busy};
    case LoadEnd::Cancelled:
        return {ImportEnd::Cancelled};
    case LoadEnd::RowRefused:
        return {ImportEnd::LineRefused, 0, (skipFirstLine ? 2 : 1) + loaded.Row, loaded.ServerText};
    case LoadEnd::Failed:
        break;
    }
    return {ImportEnd::Failed, 0, 0, loaded.ServerText};
}

std::optional<ImportResult> ImportIntoEmptyBank(QuizDatabase& db, const std::string& fileName)
{
    if (!db.Connected()) return ImportResult{ImportEnd::NotConnected};
    if (!db.TableExists("QUIZQA") && !db.CreateQuizQaTable()) return ImportResult{ImportEnd::NoTable};
    const int rows = db.CountRows("QUIZQA", "");
    if (rows < 0) return ImportResult{ImportEnd::Failed};
    if (rows > 0) return std::nullopt;
    // Replacing rather than appending: two programs starting on the same empty bank at once
    // leave one copy of the file, not two.
    return ImportTableText(db, "QUIZQA", fileName, false, true);
}
