// A fresh folder, removed with everything in it when this object goes: for one test, one
// database or one benchmark run.
#pragma once

#include <string>
#include <vector>

class TempFolder {
public:
    // A folder "quizgame-XXXXXX" in the system's temporary folder.
    TempFolder();
    // A folder "quizgame-XXXXXX" in parent (ending in "/"). openToAll lets every user create
    // files in it: the Firebird server runs as its own user and creates databases there.
    // Both throw std::runtime_error when the folder cannot be made.
    TempFolder(const std::string& parent, bool openToAll);
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // The folder's path, ending in "/".
    const std::string& Path() const { return Folder; }
    std::string File(const std::string& name) const { return Folder + name; }

    void Write(const std::string& name, const std::string& bytes) const;
    std::string Read(const std::string& name) const;
    std::vector<std::string> Names() const;

private:
    std::string Folder;
};
