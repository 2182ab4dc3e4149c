// Other programs that hold a transaction open across statements, which no operation of the
// program does, so they work on the database layer's own handles; nothing of them shows here.

// A second program on a connection of its own that has inserted the PLAYER row this program
// is about to take, and commits only once this program's insert waits on that row lock.
#pragma once

#include <memory>
#include <string>

class RivalRegistration {
public:
    // values: the VALUES list of INSERT INTO PLAYER (N,PNAME,PASWD,POINTS), on the database
    // of the current settings.
    explicit RivalRegistration(const std::string& values);
    ~RivalRegistration();
    RivalRegistration(const RivalRegistration&) = delete;
    RivalRegistration& operator=(const RivalRegistration&) = delete;

    // Waits until the rival has committed (or given up after 10 s).
    void Join();
    bool SawWaitingInsert() const;
    // The error that stopped the rival, empty when none.
    const std::string& Error() const;

private:
    struct Handles;
    std::unique_ptr<Handles> Own;
};

// Another program, on a connection of its own to the database of the current settings, that has
// run statement and keeps its transaction open, holding the rows it wrote, until Release (or
// its end) rolls it back.
class HeldWrite {
public:
    explicit HeldWrite(const std::string& statement);
    ~HeldWrite();
    HeldWrite(const HeldWrite&) = delete;
    HeldWrite& operator=(const HeldWrite&) = delete;

    void Release();

private:
    struct Handles;
    std::unique_ptr<Handles> Own;
};
