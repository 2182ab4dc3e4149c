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
    std::string content;
    for (const std::string& line : lines) content += line + "\r\n";

    // Write a new file beside the old one and rename it into place only when every byte
    // reached the disk, so that a failed write never costs the previous file.
    std::string temporary = path + ".XXXXXX";
    const int fd = mkstemp(temporary.data());
    if (fd < 0) return false;
    // mkstemp makes the file private; give it the mode any newly created file would get.
    const mode_t mask = umask(0);
    umask(mask);
    bool ok = fchmod(fd, 0666 & ~mask) == 0;
    for (size_t done = 0; ok && done < content.size();) {
        const ssize_t written = write(fd, content.data() + done, content.size() - done);
        if (written < 0 && errno == EINTR) continue;
        ok = written > 0;
        if (ok) done += static_cast<size_t>(written);
    }
    ok = ok && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    ok = ok && rename(temporary.c_str(), path.c_str()) == 0;
    if (!ok) unlink(temporary.c_str());
    return ok;
}
