#include "app/close_signals.h"

#include <QObject>
#include <QSocketNotifier>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int WakeRead = -1;
int WakeWrite = -1;
volatile std::sig_atomic_t Received = 0;

// Only async-signal-safe calls here: the close itself runs from the event loop.
void OnSignal(int signal)
{
    if (Received) _exit(128 + signal);
    Received = signal;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(WakeWrite, &byte, 1);
}

}  // namespace

void ReclaimCloseSignals()
{
    if (WakeWrite < 0) return;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) sigaction(signal, &action, nullptr);
}

void CloseOnSignals(QObject* context, std::function<void()> close)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return;
    WakeRead = fds[0];
    WakeWrite = fds[1];
    auto* notifier = new QSocketNotifier(WakeRead, QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [close = std::move(close)] {
        char bytes[16];
        while (read(WakeRead, bytes, sizeof bytes) > 0) {
        }
        close();
    });
    ReclaimCloseSignals();
}
