// Small text files of CP932 lines: the settings file and the window-layout file; and the
// file that replaces another only once it is complete, which they and the Q&A export share.
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

// A file written under a temporary name in the folder of its final name and renamed over it
// by Commit, only once every byte reached the disk. Until then, and whenever a step fails, any
// earlier file of that name stays as it was; the temporary file never outlives this object.
class ReplacingFile {
public:
    explicit ReplacingFile(const std::string& path);
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // Buffered; false once anything failed (creation included), and then nothing more is written.
    bool Write(const std::string& bytes);
    // Writes what is buffered, syncs, closes and renames; true when the new file is in place.
    bool Commit();

private:
    bool Flush();

    std::string Path;
    std::string Temporary;
    int Fd = -1;
    bool Failed = false;
    std::string Buffer;
};
