#include "terminationsignal.h"

#include <QObject>
#include <QPointer>
#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The signal handler only writes a byte, the one thing it may safely do; the event loop watches
// the other end.
int signalSockets[2] = {-1, -1};
QPointer<QSocketNotifier> notifier;
volatile std::sig_atomic_t received = 0;

void writeSignalByte(int)
{
    received = received + 1;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalSockets[0], &byte, 1);
}

} // namespace

bool onTerminationSignal(QObject *context, std::function<void()> handler)
{
    if (signalSockets[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalSockets) != 0)
        return false;
    delete notifier;
    notifier = new QSocketNotifier(qintptr(signalSockets[1]), QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [handler = std::move(handler)] {
        char byte;
        [[maybe_unused]] const ssize_t read = ::read(signalSockets[1], &byte, 1);
        handler();
    });
    struct sigaction action = {};
    action.sa_handler = writeSignalByte;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return ::sigaction(SIGINT, &action, nullptr) == 0 && ::sigaction(SIGTERM, &action, nullptr) == 0
        && ::sigaction(SIGHUP, &action, nullptr) == 0;
}

int terminationSignalsReceived()
{
    return int(received);
}

#else

bool onTerminationSignal(QObject *, std::function<void()>)
{
    return false;
}

int terminationSignalsReceived()
{
    return 0;
}

#endif
