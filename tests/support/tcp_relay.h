// A TCP relay on loopback between the program and the Firebird test server, so that a test
// can break the program's connection in the middle of a run without touching the server.
//
// It listens on 127.0.0.1 on a port the system picks and forwards every connection to
// 127.0.0.1:targetPort. Cut() closes every relayed connection at once and closes the
// listening socket, so that new connections are refused; Drop() closes them but goes on
// accepting; Stall() stops carrying anything, both ways, until it is lifted. Everything runs on
// one thread that wakes at least every 100 ms; the destructor stops and joins it.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class TcpRelay {
public:
    explicit TcpRelay(uint16_t targetPort = 3050);
    ~TcpRelay();
    TcpRelay(const TcpRelay&) = delete;
    TcpRelay& operator=(const TcpRelay&) = delete;

    uint16_t Port() const { return ListenPort; }
    // The Firebird server prefix that reaches the target through this relay.
    std::string ServerName() const { return "127.0.0.1/" + std::to_string(ListenPort) + ":"; }

    // Closes every relayed connection and stops accepting; returns once that is done.
    void Cut();
    // Closes every relayed connection and goes on accepting new ones (a network that drops its
    // connections and comes back); returns once that is done.
    void Drop();
    // Stops forwarding and accepting, with every connection kept open (a network that stops
    // carrying anything for a while), until Stall(false).
    void Stall(bool stalled);
    // Connections accepted so far, and those still being relayed.
    int Accepted() const { return AcceptedCount.load(); }
    int Open() const { return OpenCount.load(); }

private:
    struct Pair {
        int Client = -1;
        int Server = -1;
    };

    void Run();
    void AcceptOne();
    // Moves what is waiting on from to to; false when either side has ended.
    bool Forward(int from, int to);
    void ClosePair(Pair& pair);
    void CloseAll();
    void Wake();

    uint16_t TargetPort;
    uint16_t ListenPort = 0;
    int Listener = -1;
    int WakeRead = -1;
    int WakeWrite = -1;
    std::vector<Pair> Pairs;  // only the relay thread touches these after start

    std::mutex Lock;
    std::condition_variable Done;
    bool CutRequested = false;
    bool KeepListening = false;
    bool CutDone = false;
    std::atomic<bool> Stalled{false};
    bool StopRequested = false;

    std::atomic<int> AcceptedCount{0};
    std::atomic<int> OpenCount{0};
    std::thread Worker;
};
