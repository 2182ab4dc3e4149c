#include "support/test_server.h"

#include <filesystem>
#include <stdlib.h>
#include <unistd.h>

namespace {

std::string WithSlash(std::string folder)
{
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder;
}

}  // namespace

std::optional<TestServer> FindTestServer()
{
    const char* prefix = std::getenv("QUIZGAME_TEST_SERVER");
    const char* data = std::getenv("QUIZGAME_TEST_DATA");
    if (!prefix || !*prefix || !data || !*data) return std::nullopt;
    return TestServer{prefix, WithSlash(data)};
}

std::string MissingServerMessage()
{
    return "QUIZGAME_TEST_SERVER and QUIZGAME_TEST_DATA are not set. This test needs the loopback "
           "Firebird test server: run scripts/test, which starts it and sets both variables.";
}

uint16_t TestServer::Port() const
{
    const size_t slash = Prefix.find('/');
    if (slash == std::string::npos) return 3050;
    return static_cast<uint16_t>(std::stoi(Prefix.substr(slash + 1)));
}

void UseOwnFirebirdLockUnlessRoot()
{
    if (geteuid() == 0 || std::getenv("FIREBIRD_LOCK")) return;
    const std::string folder = (std::filesystem::temp_directory_path() / "quizgame-firebird-lock").string();
    std::filesystem::create_directories(folder);
    setenv("FIREBIRD_LOCK", folder.c_str(), 1);
}
