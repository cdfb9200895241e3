#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

class QLocalSocket;
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
//
// Any local user may take that name, so the name alone decides nothing: a program that finds it
// taken binds the port without sharing it, which Linux refuses while any socket holds the port. When
// that bind succeeds, the name's holder has no part of the port (a squatter), and the program goes on
// with the port to itself, so that no later program can share it either. The claim is held only while
// a socket of this process holds the port: a program that cannot bind it gives the claim up at once.
namespace DevicePort {

// The claim's local socket name (abstract on Linux).
inline constexpr char ClaimName[] = "kvrctl700-udp-port-102";

struct Opening
{
    enum Outcome {
        Bound,
        HeldByAnotherProgram, // the claim's holder, or whoever holds the port; holder names it when known
        InUse,                // another program has bound the port without sharing it
        NotPermitted,         // a port below 1024: root or CAP_NET_BIND_SERVICE is needed
        Failed,               // any other reason, in detail
    };
    Outcome outcome = Failed;
    QString holder; // "kvrctl700 (PID 4711)", for HeldByAnotherProgram once asked (askHolder())
    QString detail; // the socket's own error text, for the other failures

    bool bound() const { return outcome == Bound; }
};

// Claims the port for this process under the given description (what a refused program is told),
// then binds the socket to port 102 on every IPv4 address, and sizes its receive buffer for a burst
// of replies. A process may open the port any number of times. Never waits: a refusal leaves the
// holder to be asked (HolderQuestion, askHolder()).
Opening open(QUdpSocket &socket, const QString &description);

// The receive buffer asked for, and what the kernel granted (it caps the request at
// net.core.rmem_max), or -1 when the socket is not bound.
inline constexpr int ReceiveBufferBytes = 4 << 20;
int grantedReceiveBuffer(QUdpSocket &socket);

// Asking the claim's holder who it is. Its answer is another process's word: read for at most
// HolderAnswerMs in all, at most HolderAnswerBytes of it up to the first line break. The process id
// comes from the system (the peer's credentials), not from the answer.
inline constexpr int HolderAnswerMs = 250;
inline constexpr int HolderAnswerBytes = 80;

// How a holder is named from its answer and process id (0: unknown): "kvrctl700-cli search (PID 4711)",
// "PID 4711" for a holder that said nothing. The answer is cut at its first line break and at
// HolderAnswerBytes, and every byte that is not printable ASCII is shown as \xNN, so that nothing
// it sends can steer a terminal.
QString holderName(const QByteArray &answer, qint64 pid);

class HolderQuestion : public QObject
{
    Q_OBJECT

public:
    explicit HolderQuestion(QObject *parent = nullptr);
    ~HolderQuestion() override;

    // Connects to the claim's holder; finished() follows within HolderAnswerMs.
    void ask();
    bool isFinished() const { return m_finished; }
    QString holder() const { return m_holder; } // holderName(), empty when nobody could be asked

signals:
    void finished(const QString &holder);

private:
    void readAnswer();
    void finish();

    QLocalSocket *m_socket = nullptr;
    QTimer m_deadline;
    QByteArray m_answer;
    qint64 m_pid = 0;
    QString m_holder;
    bool m_finished = false;
};

// The same question for a program that can do nothing before it knows: waits (at most
// HolderAnswerMs) with a local event loop.
QString askHolder();

} // namespace DevicePort
