#include "support/temp_folder.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <stdlib.h>
#include <sys/stat.h>

TempFolder::TempFolder() : TempFolder(std::filesystem::temp_directory_path().string() + "/", false) {}

TempFolder::TempFolder(const std::string& parent, bool openToAll)
{
    // mkdtemp makes the name unique even with tests and players running in parallel.
    std::string pattern = parent + "quizgame-XXXXXX";
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a folder in " + parent);
    if (openToAll && chmod(pattern.c_str(), 0777) != 0) {
        std::filesystem::remove(pattern);
        throw std::runtime_error("cannot open " + pattern + " to every user");
    }
    Folder = pattern + "/";
}

TempFolder::~TempFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(Folder, ignored);
}

void TempFolder::Write(const std::string& name, const std::string& bytes) const
{
    std::ofstream out(File(name), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + File(name));
}

std::string TempFolder::Read(const std::string& name) const
{
    std::ifstream in(File(name), std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + File(name));
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> TempFolder::Names() const
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(Folder)) names.push_back(entry.path().filename().string());
    return names;
}
