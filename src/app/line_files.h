// Small text files of CP932 lines: the settings file and the window-layout file.
#pragma once

#include <string>
#include <vector>

struct LinesRead {
    std::vector<std::string> Lines;  // the lines read, end-of-line bytes removed
    bool Complete = false;           // false when opening or reading failed part way
};

// Reads up to maxLines lines. A line ends at LF, with or without CR before it; a CR not
// followed by LF is dropped. A missing file reads as no lines, complete.
LinesRead ReadLines(const std::string& path, size_t maxLines);

// Writes every line followed by CR LF, replacing the file only once the new one is complete:
// a failed write leaves any earlier file of that name as it was. True when written.
bool WriteLines(const std::string& path, const std::vector<std::string>& lines);

bool FileExists(const std::string& path);
