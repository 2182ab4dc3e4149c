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

// Empty text is NULL; any other text reaches the table as it stands in the file, quotes included.
std::string TextLiteral(const std::string& value) { return value.empty() ? "NULL" : SqlQuoted(value); }

// Read as a number (empty or malformed text is 0) and written in the general format.
std::string NumberLiteral(const std::string& value) { return FloatToText(TextToFloat(value)); }

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

bool ImportTableText(QuizDatabase& db, const std::string& table, const std::string& fileName, bool append,
                     bool skipFirstLine)
{
    if (!db.Connected() || !db.TableExists(table) || !FileExists(fileName)) return false;

    TextList names(MaxFields);
    db.OpenSelect("*", table, "", "");
    db.GetFieldNames(names);
    const std::vector<bool> isText = db.FieldIsText();
    db.CloseSelect();
    const size_t columns = std::min(isText.size(), MaxFields);
    if (columns == 0) return false;  // the columns could not be learnt

    // The whole file is read before the table is touched: a file that cannot be read to its
    // end, or is far larger than any question bank, leaves the table as it was.
    std::error_code sizeError;
    const auto size = std::filesystem::file_size(fileName, sizeError);
    if (sizeError || size > MaxImportBytes) return false;
    LineReader reader(fileName);
    if (!reader.Readable()) return false;
    std::vector<std::string> lines;
    for (std::string line; reader.ReadLine(line);) lines.push_back(line);
    if (reader.Failed()) return false;
    if (skipFirstLine && !lines.empty()) lines.erase(lines.begin());

    // Replacing empties the table only now, and not at all when the rows cannot be deleted.
    if (!append && !db.DeleteRows(table, "")) return false;

    std::string largest;
    db.SelectMax(table, names[0], "", largest);
    int64_t next = int64_t{TextToInt(largest)} + 1;

    TextList values(columns);
    for (const std::string& line : lines) {
        SplitFields(line, values);
        for (size_t j = 0; j < columns; ++j)
            values[j] = isText[j] ? TextLiteral(values[j]) : NumberLiteral(j == 0 ? std::to_string(next) : values[j]);
        // A row the server refuses is skipped; its number stays used.
        db.InsertFields(table, static_cast<int>(columns), names, values);
        ++next;
    }
    return true;
}
