// Shared set-up for the database layer's tests: a fresh data folder per test for the
// embedded engine or for the loopback test server, the settings that point the program at
// it, and fixtures that start every test on a newly created, connected GAMES.FDB.
#pragma once

#include "app/unitv.h"
#include "db/quiz_database.h"
#include "support/temp_folder.h"
#include "support/test_server.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// One folder for one GAMES.FDB, removed with everything in it when this object goes.
// Embedded: a folder under the system's temporary folder, ServerName "".
// Server: a sub-folder of the server's data root, open to the firebird user (0777).
class GameFolder {
public:
    static std::unique_ptr<GameFolder> Embedded();
    static std::unique_ptr<GameFolder> OnServer(const TestServer& server);
    GameFolder(const GameFolder&) = delete;
    GameFolder& operator=(const GameFolder&) = delete;

    const std::string& ServerName() const { return Server; }
    const std::string& DataFolder() const { return Folder->Path(); }
    // The file as this machine sees it (the server runs here too).
    std::string LocalFile() const { return Folder->File("GAMES.FDB"); }
    bool HasDatabaseFile() const;
    // Points AppSettings at this folder, optionally through another server prefix.
    void Apply() const;
    void ApplyWithServer(const std::string& serverName) const;

private:
    GameFolder(std::string server, std::unique_ptr<TempFolder> folder) : Server(std::move(server)), Folder(std::move(folder)) {}
    std::string Server;
    std::unique_ptr<TempFolder> Folder;
};

// Puts AppSettings back as they were when the test began.
class SettingsGuard {
public:
    SettingsGuard() : Saved(AppSettings) {}
    ~SettingsGuard() { AppSettings = Saved; }

private:
    TAppSettings Saved;
};

// Every test starts with a new GAMES.FDB made by CreateGameDatabase and a connected Db.
// TearDown disconnects and removes the folder.
class GameDatabaseTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    virtual bool UsesServer() const { return false; }

    // A second folder of the same kind, for tests that need two databases.
    std::unique_ptr<GameFolder> NewFolder() const;
    // Creates the four game tables, failing the test when one cannot be made.
    void CreateGameTables();
    // A PLAYER row: N, PNAME, PASWD, POINTS as SQL literals.
    void AddPlayer(const std::string& n, const std::string& name, const std::string& password,
                   const std::string& points);
    // Every row of a SELECT through the cursor helpers (at most limit rows).
    std::vector<TextList> ReadRows(QuizDatabase& db, const std::string& fields, const std::string& table,
                                   const std::string& condition, const std::string& order, size_t columns,
                                   size_t limit = 1000);

    SettingsGuard Settings;
    std::optional<TestServer> Server;
    std::unique_ptr<GameFolder> Folder;
    QuizDatabase Db{GameDatabasePath};
};

// The same on the loopback test server; fails (never skips) when it is not announced.
class ServerDatabaseTest : public GameDatabaseTest {
protected:
    bool UsesServer() const override { return true; }
};

// The lines joined as they reach the server: each followed by CR LF.
std::string StatementText(const TextList& lines);
