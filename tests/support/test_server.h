// The loopback Firebird test server that scripts/test starts, as the tests and the
// benchmarks find it, and the lock folder the embedded engine needs when not run as root.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The loopback test server as scripts/test announces it (QUIZGAME_TEST_SERVER,
// QUIZGAME_TEST_DATA). Empty when either variable is unset.
struct TestServer {
    std::string Prefix;    // e.g. "127.0.0.1:"
    std::string DataRoot;  // ends in "/"
    // The server's TCP port, from a prefix "host:" (3050) or "host/port:".
    uint16_t Port() const;
};
std::optional<TestServer> FindTestServer();
// What a test that needs the server says when the variables are missing.
std::string MissingServerMessage();

// The embedded engine's default lock folder, /tmp/firebird, is writable only by the firebird
// user: a caller that is not root gets a folder of its own (FIREBIRD_LOCK) unless one is set.
void UseOwnFirebirdLockUnlessRoot();
