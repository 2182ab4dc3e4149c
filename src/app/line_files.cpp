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

LinesRead ReadLines(const std::string& path, size_t maxLines)
{
    LinesRead result;
    QFile file(NativePath(path));
    if (!file.exists()) {
        result.Complete = true;
        return result;
    }
    if (!file.open(QIODevice::ReadOnly)) return result;

    std::string line;
    bool inLine = false;
    char buffer[4096];
    while (result.Lines.size() < maxLines) {
        const qint64 got = file.read(buffer, sizeof buffer);
        if (got < 0) return result;
        if (got == 0) break;
        for (qint64 i = 0; i < got && result.Lines.size() < maxLines; ++i) {
            const char c = buffer[i];
            if (c == '\n') {
                result.Lines.push_back(std::move(line));
                line.clear();
                inLine = false;
            } else if (c != '\r') {
                line += c;
                inLine = true;
            } else {
                inLine = true;  // a CR alone is dropped; the line goes on
            }
        }
    }
    if (inLine && result.Lines.size() < maxLines) result.Lines.push_back(std::move(line));
    result.Complete = true;
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
