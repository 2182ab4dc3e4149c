#include "app/file_places.h"

#include "app/line_files.h"

#include <QStandardPaths>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace {

// $NAME when it is an absolute path, else ~/fallback; ends in '/'.
std::string XdgFolder(const char* name, const char* fallback)
{
    const char* value = std::getenv(name);
    if (value && value[0] == '/') return std::string(value) + "/";
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "") + "/" + fallback + "/";
}

std::string OwnFolder(const std::string& parent)
{
    const std::string folder = parent + "quizgame/";
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    // Only this user's: the settings hold the player's password.
    chmod(folder.c_str(), 0700);
    return folder;
}

// ~/.local/share/quizgame/ or its XDG equivalent, created.
std::string OwnDataFolder() { return OwnFolder(XdgFolder("XDG_DATA_HOME", ".local/share")); }

// The user's documents folder when it exists, else the home folder; ends in '/'.
std::string DocumentsFolder()
{
    const std::string documents =
        QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation).toLocal8Bit().toStdString();
    std::error_code error;
    if (!documents.empty() && std::filesystem::is_directory(documents, error)) return documents + "/";
    return QStandardPaths::writableLocation(QStandardPaths::HomeLocation).toLocal8Bit().toStdString() + "/";
}

bool HasSample(const std::string& folder) { return access((folder + "Sample.txt").c_str(), R_OK) == 0; }

}  // namespace

FilePlaces FindFilePlaces(const std::string& executableFolder)
{
    // Root may write under /usr, but a copy installed there is never a portable one.
    const bool system = executableFolder.rfind("/usr/", 0) == 0;
    return FilePlacesFor(executableFolder, !system && access(executableFolder.c_str(), W_OK) == 0);
}

FilePlaces FilePlacesFor(const std::string& executableFolder, bool executableFolderWritable)
{
    FilePlaces places;
    if (executableFolderWritable) {
        places.FilesFolder = executableFolder;
        places.ExportFolder = executableFolder;
    } else {
        places.FilesFolder = OwnFolder(XdgFolder("XDG_CONFIG_HOME", ".config"));
        places.SeedFolder = executableFolder;
        places.FirstDataFolder = OwnDataFolder();
        places.ExportFolder = DocumentsFolder();
    }
    const std::string shared =
        std::filesystem::path(executableFolder + "../share/quizgame/").lexically_normal().string();
    places.SampleFolder = !HasSample(executableFolder) && HasSample(shared) ? shared : executableFolder;
    return places;
}

std::string FileToRead(const FilePlaces& places, const std::string& name)
{
    const std::string own = places.FilesFolder + name;
    const std::string seed = places.SeedFolder + name;
    return !places.SeedFolder.empty() && !FileExists(own) && FileExists(seed) ? seed : own;
}

void ChooseEmbeddedLockFolder()
{
    if (std::getenv("FIREBIRD_LOCK") || access("/tmp/firebird", W_OK | X_OK) == 0) return;
    const std::string folder = OwnDataFolder() + "firebird-lock";
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    setenv("FIREBIRD_LOCK", folder.c_str(), 1);
}
