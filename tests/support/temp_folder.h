// A fresh folder for one test, removed with everything in it when the test ends.
#pragma once

#include <string>
#include <vector>

class TempFolder {
public:
    TempFolder();
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
