#include "bench_support.h"

#include <filesystem>
#include <fstream>
#include <stdlib.h>
#include <sys/stat.h>

BenchFolder::BenchFolder(const std::string& parent, bool openToAll)
{
    std::string pattern = parent + "quizgame-bench.XXXXXX";
    if (!mkdtemp(pattern.data())) return;
    if (openToAll && chmod(pattern.c_str(), 0777) != 0) {
        std::filesystem::remove(pattern);
        return;
    }
    Folder = pattern + "/";
}

BenchFolder::~BenchFolder()
{
    if (Folder.empty()) return;
    std::error_code ignored;
    std::filesystem::remove_all(Folder, ignored);
}

std::string CpuModel()
{
    std::ifstream cpuinfo("/proc/cpuinfo");
    std::string line;
    while (std::getline(cpuinfo, line))
        if (line.rfind("model name", 0) == 0) {
            const size_t colon = line.find(':');
            return colon == std::string::npos ? line : line.substr(colon + 2);
        }
    return "unknown";
}
