#include "support/tcp_relay.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <stdexcept>

namespace {

sockaddr_in Loopback(uint16_t port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// Small requests go out at once, and a peer that stops reading cannot hold the thread
// for more than two seconds.
void Tune(int socket)
{
    const int on = 1;
    setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    timeval limit{2, 0};
    setsockopt(socket, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
}

void CloseSocket(int& socket)
{
    if (socket < 0) return;
    shutdown(socket, SHUT_RDWR);
    close(socket);
    socket = -1;
}

}  // namespace

TcpRelay::TcpRelay(uint16_t targetPort) : TargetPort(targetPort)
{
    Listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (Listener < 0) throw std::runtime_error("relay: cannot create a socket");
    sockaddr_in address = Loopback(0);
    if (bind(Listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(Listener, 16) != 0) {
        CloseSocket(Listener);
        throw std::runtime_error("relay: cannot listen on 127.0.0.1");
    }
    socklen_t length = sizeof address;
    getsockname(Listener, reinterpret_cast<sockaddr*>(&address), &length);
    ListenPort = ntohs(address.sin_port);

    int pipeEnds[2];
    if (pipe2(pipeEnds, O_NONBLOCK | O_CLOEXEC) != 0) {
        CloseSocket(Listener);
        throw std::runtime_error("relay: cannot create its wake-up pipe");
    }
    WakeRead = pipeEnds[0];
    WakeWrite = pipeEnds[1];
    Worker = std::thread([this] { Run(); });
}

TcpRelay::~TcpRelay()
{
    {
        std::lock_guard<std::mutex> guard(Lock);
        StopRequested = true;
    }
    Wake();
    if (Worker.joinable()) Worker.join();
    CloseAll();
    CloseSocket(Listener);
    close(WakeRead);
    close(WakeWrite);
}

void TcpRelay::Cut()
{
    std::unique_lock<std::mutex> guard(Lock);
    CutRequested = true;
    CutDone = false;
    Wake();
    if (!Done.wait_for(guard, std::chrono::seconds(5), [this] { return CutDone; }))
        throw std::runtime_error("relay: the relay thread did not cut the connections");
}

void TcpRelay::Drop()
{
    {
        std::lock_guard<std::mutex> guard(Lock);
        KeepListening = true;
    }
    Cut();
    std::lock_guard<std::mutex> guard(Lock);
    KeepListening = false;
}

void TcpRelay::Stall(bool stalled)
{
    Stalled = stalled;
    Wake();
}

void TcpRelay::Wake()
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t ignored = write(WakeWrite, &byte, 1);
}

void TcpRelay::Run()
{
    for (;;) {
        {
            std::lock_guard<std::mutex> guard(Lock);
            if (StopRequested) return;
            if (CutRequested && !CutDone) {
                CloseAll();
                if (!KeepListening) CloseSocket(Listener);
                CutRequested = false;
                CutDone = true;
                Done.notify_all();
            }
        }

        std::vector<pollfd> watched;
        watched.push_back({WakeRead, POLLIN, 0});
        const bool stalled = Stalled;
        if (Listener >= 0 && !stalled) watched.push_back({Listener, POLLIN, 0});
        const size_t firstPair = watched.size();
        // Sleeps at most until the next held chunk is due.
        int timeoutMs = 100;
        for (const Pair& pair : stalled ? std::vector<Pair>() : Pairs) {
            watched.push_back({pair.Client, POLLIN, 0});
            watched.push_back({pair.Server, POLLIN, 0});
            for (const std::deque<Chunk>* held : {&pair.ToServer, &pair.ToClient}) {
                if (held->empty()) continue;
                const auto wait = std::chrono::ceil<std::chrono::milliseconds>(held->front().Due - Clock::now());
                timeoutMs = std::clamp(static_cast<int>(wait.count()), 0, timeoutMs);
            }
        }
        const int ready = poll(watched.data(), watched.size(), timeoutMs);
        if (ready < 0 && errno != EINTR) return;

        if (ready > 0 && watched[0].revents) {
            char drain[64];
            while (read(WakeRead, drain, sizeof drain) > 0) {
            }
        }
        if (ready > 0 && Listener >= 0 && !stalled && watched[1].revents & POLLIN) AcceptOne();
        for (size_t i = 0; i < Pairs.size() && firstPair + 2 * i + 1 < watched.size(); ++i) {
            Pair& pair = Pairs[i];
            const short fromClient = ready > 0 ? watched[firstPair + 2 * i].revents : 0;
            const short fromServer = ready > 0 ? watched[firstPair + 2 * i + 1].revents : 0;
            bool alive = true;
            if (fromClient) {
                if (pair.Answered) ++TurnCount;
                pair.Answered = false;
                alive = Forward(pair.Client, pair.Server, pair.ToServer);
            }
            if (alive && fromServer) {
                pair.Answered = true;
                alive = Forward(pair.Server, pair.Client, pair.ToClient);
            }
            const Clock::time_point now = Clock::now();
            alive = alive && SendDue(pair.Server, pair.ToServer, now) && SendDue(pair.Client, pair.ToClient, now);
            if (!alive) ClosePair(pair);
        }
        Pairs.erase(std::remove_if(Pairs.begin(), Pairs.end(), [](const Pair& p) { return p.Client < 0; }),
                    Pairs.end());
    }
}

void TcpRelay::AcceptOne()
{
    int client = accept4(Listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) return;
    ++AcceptedCount;
    int server = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in target = Loopback(TargetPort);
    if (server < 0 || connect(server, reinterpret_cast<sockaddr*>(&target), sizeof target) != 0) {
        CloseSocket(server);
        CloseSocket(client);
        return;
    }
    Tune(client);
    Tune(server);
    Pairs.push_back({client, server});
    ++OpenCount;
}

bool TcpRelay::Forward(int from, int to, std::deque<Chunk>& held)
{
    char buffer[65536];
    const ssize_t got = recv(from, buffer, sizeof buffer, 0);
    if (got <= 0) return false;
    const int64_t delayUs = DelayUs;
    // Chunks leave in the order they came, so one that comes behind held ones waits its turn.
    if (delayUs > 0 || !held.empty()) {
        held.push_back({Clock::now() + std::chrono::microseconds(delayUs), std::string(buffer, static_cast<size_t>(got))});
        return true;
    }
    for (ssize_t sent = 0; sent < got;) {
        const ssize_t n = send(to, buffer + sent, static_cast<size_t>(got - sent), MSG_NOSIGNAL);
        if (n <= 0) return false;
        sent += n;
    }
    return true;
}

bool TcpRelay::SendDue(int to, std::deque<Chunk>& held, Clock::time_point now)
{
    while (!held.empty() && held.front().Due <= now) {
        const std::string& bytes = held.front().Bytes;
        for (size_t sent = 0; sent < bytes.size();) {
            const ssize_t n = send(to, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) return false;
            sent += static_cast<size_t>(n);
        }
        held.pop_front();
    }
    return true;
}

void TcpRelay::ClosePair(Pair& pair)
{
    if (pair.Client < 0) return;
    CloseSocket(pair.Client);
    CloseSocket(pair.Server);
    --OpenCount;
}

void TcpRelay::CloseAll()
{
    for (Pair& pair : Pairs) ClosePair(pair);
    Pairs.clear();
}
