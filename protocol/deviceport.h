#pragma once

#include <QString>

class QUdpSocket;

// Opening UDP port 102, the devices' port, for one kvrctl700 program.
//
// The port is bound shared (other programs may bind it too), and Linux hands each unicast datagram
// to only one of the sockets that share a port, in practice the one bound last: a second kvrctl700
// program would silently take the first one's replies. So only one kvrctl700 program uses the port
// at a time: the first claims it, and a later one is refused with the name of the one that holds
// it. The claim is a local socket name that the operating system frees when its process ends, so a
// crashed program never blocks the next start. On Linux the name lives in the network namespace,
// like the port itself.
namespace DevicePort {

struct Opening
{
    enum Outcome {
        Bound,
        HeldByAnotherProgram, // another kvrctl700 program has the port; holder names it
        InUse,                // another program has bound the port without sharing it
        NotPermitted,         // a port below 1024: root or CAP_NET_BIND_SERVICE is needed
        Failed,               // any other reason, in detail
    };
    Outcome outcome = Failed;
    QString holder; // "kvrctl700 (PID 4711)", for HeldByAnotherProgram
    QString detail; // the socket's own error text, for the other failures

    bool bound() const { return outcome == Bound; }
};

// Claims the port for this process under the given description (shown to a program that is
// refused), then binds the socket to port 102 on every IPv4 address, shared, and sizes its
// receive buffer for a burst of replies. A process may open the port any number of times.
Opening open(QUdpSocket &socket, const QString &description);

// The receive buffer asked for, and what the kernel granted (it caps the request at
// net.core.rmem_max), or -1 when the socket is not bound.
inline constexpr int ReceiveBufferBytes = 4 << 20;
int grantedReceiveBuffer(QUdpSocket &socket);

} // namespace DevicePort
