// The program's one database connection. Until the Firebird layer is in place it is never
// connected and knows no tables.
#pragma once

#include <string>

class QuizDatabase {
public:
    bool Connected() const { return false; }
    void CreateGameDatabase() {}
    void ConnectDatabase() {}
    void DisconnectDatabase() {}
    bool TableExists(const std::string&) { return false; }
    bool DropTable(const std::string&) { return false; }
};
