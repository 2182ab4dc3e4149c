// Where the program keeps games.dat and its layout file, where a first start keeps its
// database, and where the import and export dialogs first open.
#pragma once

#include <string>

struct FilePlaces {
    std::string FilesFolder;      // where games.dat and the layout file are written; ends in '/'
    std::string SeedFolder;       // where they are read from while FilesFolder has none, or empty
    std::string FirstDataFolder;  // the database folder of a start without games.dat, or empty
    std::string SampleFolder;     // where Sample.txt lies; ends in '/'
    std::string ExportFolder;     // where the first export dialog opens; ends in '/'
};

// A copy whose folder is writable and not under /usr keeps its files beside the executable,
// as a portable copy does, and a start without games.dat keeps the built-in settings. Any
// other copy (installed, or on a read-only share) keeps them in $XDG_CONFIG_HOME/quizgame/
// (~/.config/quizgame/); until it has written them there it reads those beside the executable,
// where a teacher may have put the classroom's games.dat; a start without any games.dat plays
// offline on the embedded engine in $XDG_DATA_HOME/quizgame/ (~/.local/share/quizgame/). Both
// folders are created here. Sample.txt is looked for beside the executable, then in
// ../share/quizgame/. Such a copy exports into the user's documents folder (the home folder
// when there is none), a portable one beside itself.
FilePlaces FindFilePlaces(const std::string& executableFolder);
// The same with the choice between a portable copy (true) and any other given.
FilePlaces FilePlacesFor(const std::string& executableFolder, bool executableFolderWritable);

// The path from which to read the file of that name (games.dat, the layout file): in
// FilesFolder when it is there, else in SeedFolder when it is there, else FilesFolder's
// (missing) one.
std::string FileToRead(const FilePlaces& places, const std::string& name);

// The embedded engine keeps its lock files in /tmp/firebird, which Debian makes 0770 for the
// firebird group: an ordinary user could open no database there. Unless FIREBIRD_LOCK is set
// or /tmp/firebird is open to this user, it gets a lock folder of its own under
// $XDG_DATA_HOME/quizgame/.
void ChooseEmbeddedLockFolder();
