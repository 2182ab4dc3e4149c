#include "support/firebird_fixture.h"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <stdlib.h>

std::unique_ptr<GameFolder> GameFolder::Embedded()
{
    return std::unique_ptr<GameFolder>(new GameFolder("", std::make_unique<TempFolder>()));
}

// The server runs as the firebird user and creates GAMES.FDB in its folder.
std::unique_ptr<GameFolder> GameFolder::OnServer(const TestServer& server)
{
    return std::unique_ptr<GameFolder>(new GameFolder(server.Prefix, std::make_unique<TempFolder>(server.DataRoot, true)));
}

bool GameFolder::HasDatabaseFile() const
{
    std::error_code ignored;
    return std::filesystem::exists(LocalFile(), ignored);
}

void GameFolder::Apply() const { ApplyWithServer(Server); }

void GameFolder::ApplyWithServer(const std::string& serverName) const
{
    AppSettings.ServerName = serverName;
    AppSettings.DataFolder = Folder->Path();
}

void GameDatabaseTest::SetUp()
{
    if (UsesServer()) {
        Server = FindTestServer();
        if (!Server) GTEST_FAIL() << MissingServerMessage();
    }
    Folder = NewFolder();
    Folder->Apply();
    Db.CreateGameDatabase();
    ASSERT_TRUE(Db.Connected()) << "CreateGameDatabase did not connect to " << GameDatabasePath();
    ASSERT_TRUE(Folder->HasDatabaseFile()) << Folder->LocalFile();
}

void GameDatabaseTest::TearDown()
{
    Db.DisconnectDatabase();
    Folder.reset();
}

std::unique_ptr<GameFolder> GameDatabaseTest::NewFolder() const
{
    return Server ? GameFolder::OnServer(*Server) : GameFolder::Embedded();
}

void GameDatabaseTest::CreateGameTables()
{
    ASSERT_TRUE(Db.CreatePlayerTable());
    ASSERT_TRUE(Db.CreateQuizQaTable());
    ASSERT_TRUE(Db.CreateQuizMemTable());
    ASSERT_TRUE(Db.CreateQuizAnsTable());
}

void GameDatabaseTest::AddPlayer(const std::string& n, const std::string& name, const std::string& password,
                                 const std::string& points)
{
    ASSERT_TRUE(Db.InsertFields("PLAYER", 4, {"N", "PNAME", "PASWD", "POINTS"}, {n, name, password, points}))
        << "player " << n;
}

std::vector<TextList> GameDatabaseTest::ReadRows(QuizDatabase& db, const std::string& fields,
                                                 const std::string& table, const std::string& condition,
                                                 const std::string& order, size_t columns, size_t limit)
{
    std::vector<TextList> rows;
    const int count = db.OpenSelect(fields, table, condition, order);
    for (int i = 0; i < count && rows.size() < limit; ++i) {
        TextList row(columns);
        db.FetchRow(i, row);
        rows.push_back(row);
    }
    db.CloseSelect();
    return rows;
}

std::string StatementText(const TextList& lines)
{
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    return text;
}
