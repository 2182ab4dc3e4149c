#include "app/line_files.h"

#include <QFile>
#include <QString>
#include <cerrno>
#include <cstdio>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString NativePath(const std::string& path) { return QString::fromLocal8Bit(path.data(), static_cast<qsizetype>(path.size())); }

}  // namespace

bool FileExists(const std::string& path) { return QFile::exists(NativePath(path)); }

namespace {

// Ctrl+Z: old editors end text files with it; everything after it is not part of the file.
constexpr char EndOfFileMark = 0x1A;

}  // namespace

LineReader::LineReader(const std::string& path) : File(std::fopen(path.c_str(), "rb"), &std::fclose), Buffer(64 * 1024)
{
}

bool LineReader::Readable()
{
    if (!File) return false;
    Fill();
    return !Error;
}

bool LineReader::ReadLine(std::string& line)
{
    line.clear();
    if (!File) return false;
    bool any = false;
    for (;;) {
        if (Pos == Size && !Fill()) return any && !Error;
        const char* start = Buffer.data() + Pos;
        const char* end = Buffer.data() + Size;
        const char* p = start;
        while (p < end && *p != '\n' && *p != '\r' && *p != EndOfFileMark) ++p;
        line.append(start, p);
        any = any || p > start;
        Pos = static_cast<size_t>(p - Buffer.data());
        if (p == end) continue;
        ++Pos;
        if (*p == '\n') return true;
        if (*p == EndOfFileMark) {
            Ended = true;
            Pos = Size;
            return any;
        }
        any = true;  // a CR on its own is dropped and the line goes on
    }
}

bool LineReader::Fill()
{
    if (Ended) return false;
    Pos = 0;
    Size = std::fread(Buffer.data(), 1, Buffer.size(), File.get());
    if (Size == 0) {
        Ended = true;
        Error = std::ferror(File.get()) != 0;
    }
    return Size > 0;
}

LinesRead ReadLines(const std::string& path, size_t maxLines)
{
    LinesRead result;
    if (!FileExists(path)) {
        result.Complete = true;
        return result;
    }
    LineReader reader(path);
    if (!reader.Readable()) return result;
    std::string line;
    while (result.Lines.size() < maxLines && reader.ReadLine(line)) result.Lines.push_back(line);
    result.Complete = !reader.Failed();
    return result;
}

bool WriteLines(const std::string& path, const std::vector<std::string>& lines)
{
    ReplacingFile file(path);
    for (const std::string& line : lines) file.Write(line + "\r\n");
    return file.Commit();
}

ReplacingFile::ReplacingFile(const std::string& path) : Path(path), Temporary(path + ".XXXXXX")
{
    // The new file lies beside the old one, so that the rename stays within one file system.
    Fd = mkstemp(Temporary.data());
    if (Fd < 0) {
        Failed = true;
        Temporary.clear();
        return;
    }
    // mkstemp makes the file private; give it the mode any newly created file would get.
    const mode_t mask = umask(0);
    umask(mask);
    Failed = fchmod(Fd, 0666 & ~mask) != 0;
}

ReplacingFile::~ReplacingFile()
{
    if (Fd >= 0) close(Fd);
    if (!Temporary.empty()) unlink(Temporary.c_str());
}

bool ReplacingFile::Write(const std::string& bytes)
{
    if (Failed) return false;
    Buffer += bytes;
    if (Buffer.size() >= 64 * 1024) return Flush();
    return true;
}

bool ReplacingFile::Flush()
{
    for (size_t done = 0; !Failed && done < Buffer.size();) {
        const ssize_t written = write(Fd, Buffer.data() + done, Buffer.size() - done);
        if (written < 0 && errno == EINTR) continue;
        Failed = written <= 0;
        if (!Failed) done += static_cast<size_t>(written);
    }
    Buffer.clear();
    return !Failed;
}

bool ReplacingFile::Commit()
{
    bool ok = !Failed && Flush() && fsync(Fd) == 0;
    if (Fd >= 0) {
        ok = close(Fd) == 0 && ok;
        Fd = -1;
    }
    ok = ok && rename(Temporary.c_str(), Path.c_str()) == 0;
    Failed = !ok;
    if (ok) Temporary.clear();  // it is the file now
    return ok;
}
