// Small text files of CP932 lines: the settings file and the window-layout file; and the
// file that replaces another only once it is complete, which they and the Q&A export share.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

// Lines of a file of any size and any line length, read in blocks rather than all at once.
// A line ends at LF, with or without CR before it; a CR not followed by LF is dropped; Ctrl+Z,
// with which old editors end text files, ends the file. Bytes stay as they are (CP932).
class LineReader {
public:
    explicit LineReader(const std::string& path);

    // Opens the file and reads the first block; false when it cannot be read at all (missing,
    // a folder, no permission).
    bool Readable();
    // The next line without its end-of-line bytes; false at the end of the file (a final
    // CR LF gives no extra empty line) and after a read error.
    bool ReadLine(std::string& line);
    bool Failed() const { return Error; }

private:
    bool Fill();

    std::unique_ptr<std::FILE, int (*)(std::FILE*)> File;
    std::vector<char> Buffer;
    size_t Pos = 0;
    size_t Size = 0;
    bool Ended = false;
    bool Error = false;
};

struct LinesRead {
    std::vector<std::string> Lines;  // the lines read, end-of-line bytes removed
    bool Complete = false;           // false when opening or reading failed part way
};

// Reads up to maxLines lines with a LineReader. A missing file reads as no lines, complete.
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
