// Pieces every benchmark program shares.
#pragma once

#include <string>

// A fresh folder "<parent>quizgame-bench.XXXXXX/" for one database, removed with its contents
// on destruction. A folder on the loopback server is opened to all, since the server runs as
// its own user and must create the database file there.
class BenchFolder {
public:
    BenchFolder(const std::string& parent, bool openToAll);
    ~BenchFolder();
    BenchFolder(const BenchFolder&) = delete;
    BenchFolder& operator=(const BenchFolder&) = delete;

    bool Made() const { return !Folder.empty(); }
    const std::string& Path() const { return Folder; }

private:
    std::string Folder;
};

// The processor's model name from /proc/cpuinfo, for the figures' heading.
std::string CpuModel();
