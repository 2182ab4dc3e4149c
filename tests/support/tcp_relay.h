// A TCP relay on loopback between the program and the Firebird test server, so that a test
// can break the program's connection in the middle of a run without touching the server.
//
// It listens on 127.0.0.1 on a port the system picks and forwards every connection to
// 127.0.0.1:targetPort. Cut() closes every relayed connection at once and closes the
// listening socket, so that new connections are refused; Drop() closes them but goes on
// accepting; Stall() stops carrying anything, both ways, until it is lifted. SetDelay() holds
// everything back for a time in each direction, a model of a slow network. Everything runs on
// one thread that wakes at least every 100 ms; the destructor stops and joins it.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
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
    // Holds every chunk for oneWay before passing it on, in each direction: a round trip then
    // takes twice that. Applies to what arrives from now on.
    void SetDelay(std::chrono::microseconds oneWay) { DelayUs = oneWay.count(); }
    // Connections accepted so far, and those still being relayed.
    int Accepted() const { return AcceptedCount.load(); }
    int Open() const { return OpenCount.load(); }
    // The round trips so far over every connection: each time a client sends after it has been
    // sent something (or for the first time), as the server's replies answer its requests.
    uint64_t Turns() const { return TurnCount.load(); }

private:
    using Clock = std::chrono::steady_clock;
    struct Chunk {
        Clock::time_point Due;
        std::string Bytes;
    };
    struct Pair {
        int Client = -1;
        int Server = -1;
        bool Answered = true;             // the server has sent since the client last did
        std::deque<Chunk> ToServer, ToClient;  // held back by the delay
    };

    void Run();
    void AcceptOne();
    // Takes what is waiting on from for to, at once or after the delay; false when either side
    // has ended.
    bool Forward(int from, int to, std::deque<Chunk>& held);
    // Sends the held chunks that are due; false when the receiving side has ended.
    static bool SendDue(int to, std::deque<Chunk>& held, Clock::time_point now);
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
    std::atomic<int64_t> DelayUs{0};
    std::atomic<uint64_t> TurnCount{0};
    std::thread Worker;
};
