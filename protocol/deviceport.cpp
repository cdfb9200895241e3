#include "deviceport.h"

#include "frame.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QUdpSocket>
#include <QVariant>

#ifdef Q_OS_LINUX
#include <sys/socket.h>
#endif

namespace DevicePort {

namespace {

// On Linux the name is abstract: no file to clean up after a crash, and one name per network
// namespace, like the port.
#ifdef Q_OS_LINUX
constexpr bool AbstractName = true;
#else
constexpr bool AbstractName = false;
#endif

// The claim, and the sockets of this process that hold the port under it.
QPointer<QLocalServer> claimServer;
QList<QPointer<QUdpSocket>> holdingSockets;

void releaseClaimIfUnused()
{
    holdingSockets.removeIf([](const QPointer<QUdpSocket> &socket) {
        return socket.isNull() || socket->state() != QAbstractSocket::BoundState;
    });
    if (holdingSockets.isEmpty())
        delete claimServer;
}

bool claim(const QString &description)
{
    if (claimServer)
        return true;
    auto *server = new QLocalServer(QCoreApplication::instance());
    if (AbstractName)
        server->setSocketOptions(QLocalServer::AbstractNamespaceOption);
    if (!server->listen(QLatin1String(ClaimName))) {
        delete server;
        return false;
    }
    // The process id is not part of the answer: the asker takes it from the system.
    const QByteArray answer = description.toUtf8() + '\n';
    QObject::connect(server, &QLocalServer::newConnection, server, [server, answer] {
        while (QLocalSocket *asker = server->nextPendingConnection()) {
            QObject::connect(asker, &QLocalSocket::disconnected, asker, &QObject::deleteLater);
            asker->write(answer);
            asker->disconnectFromServer();
        }
    });
    claimServer = server;
    return true;
}

void holdClaimWith(QUdpSocket &socket)
{
    holdingSockets.append(&socket);
    // By the time a socket says it is destroyed, its pointer in the list reads null.
    QObject::connect(&socket, &QObject::destroyed, claimServer, &releaseClaimIfUnused);
}

qint64 peerPid(const QLocalSocket &socket)
{
#ifdef Q_OS_LINUX
    ucred credentials{};
    socklen_t size = sizeof credentials;
    if (::getsockopt(int(socket.socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &credentials, &size) == 0)
        return credentials.pid;
#else
    Q_UNUSED(socket);
#endif
    return 0;
}

} // namespace

Opening open(QUdpSocket &socket, const QString &description)
{
    Opening opening;
    const bool claimed = claim(description);
    // Without the claim, the port is taken whole: the bind fails while anyone holds it, and once it
    // succeeds nobody can share it.
    const QUdpSocket::BindMode mode =
        claimed ? QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint : QUdpSocket::DontShareAddress;
    if (!socket.bind(QHostAddress::AnyIPv4, Frame::DevicePort, mode)) {
        switch (socket.error()) {
        case QAbstractSocket::AddressInUseError:
            opening.outcome = claimed ? Opening::InUse : Opening::HeldByAnotherProgram;
            break;
        case QAbstractSocket::SocketAccessError:
            opening.outcome = Opening::NotPermitted;
            break;
        default:
            opening.outcome = Opening::Failed;
            break;
        }
        opening.detail = socket.errorString();
        if (claimed)
            releaseClaimIfUnused();
        return opening;
    }
    if (claimed)
        holdClaimWith(socket);
    // Only takes effect once the socket is bound; Linux doubles the value and caps it.
    socket.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, ReceiveBufferBytes);
    opening.outcome = Opening::Bound;
    return opening;
}

int grantedReceiveBuffer(QUdpSocket &socket)
{
    if (socket.state() != QAbstractSocket::BoundState)
        return -1;
    return socket.socketOption(QAbstractSocket::ReceiveBufferSizeSocketOption).toInt();
}

QString holderName(const QByteArray &answer, qint64 pid)
{
    QString text;
    const qsizetype lineBreak = answer.indexOf('\n');
    for (const char byte : answer.first(lineBreak >= 0 ? lineBreak : answer.size()).left(HolderAnswerBytes)) {
        if (byte == '\\')
            text += QLatin1String("\\\\");
        else if (byte >= 0x20 && byte < 0x7F)
            text += QLatin1Char(byte);
        else
            text += QStringLiteral("\\x%1").arg(uchar(byte), 2, 16, QLatin1Char('0'));
    }
    text = text.trimmed();
    if (pid <= 0)
        return text;
    if (text.isEmpty())
        return QStringLiteral("PID %1").arg(pid);
    return QStringLiteral("%1 (PID %2)").arg(text).arg(pid);
}

HolderQuestion::HolderQuestion(QObject *parent) : QObject(parent)
{
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, &HolderQuestion::finish);
}

HolderQuestion::~HolderQuestion() = default;

void HolderQuestion::ask()
{
    m_socket = new QLocalSocket(this);
    if (AbstractName)
        m_socket->setSocketOptions(QLocalSocket::AbstractNamespaceOption);
    // A holder that answers without end fills this much, no more.
    m_socket->setReadBufferSize(HolderAnswerBytes + 1);
    connect(m_socket, &QLocalSocket::connected, this, [this] { m_pid = peerPid(*m_socket); });
    connect(m_socket, &QLocalSocket::readyRead, this, &HolderQuestion::readAnswer);
    connect(m_socket, &QLocalSocket::disconnected, this, &HolderQuestion::finish);
    connect(m_socket, &QLocalSocket::errorOccurred, this, &HolderQuestion::finish);
    m_deadline.start(HolderAnswerMs);
    m_socket->connectToServer(QLatin1String(ClaimName), QIODevice::ReadOnly);
}

void HolderQuestion::readAnswer()
{
    while (m_answer.size() <= HolderAnswerBytes && !m_answer.contains('\n')) {
        const QByteArray part = m_socket->read(HolderAnswerBytes + 1 - m_answer.size());
        if (part.isEmpty())
            break;
        m_answer += part;
    }
    if (m_answer.size() > HolderAnswerBytes || m_answer.contains('\n'))
        finish();
}

void HolderQuestion::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    m_deadline.stop();
    if (m_socket) {
        m_socket->disconnect(this);
        if (m_socket->state() == QLocalSocket::ConnectedState && m_pid == 0)
            m_pid = peerPid(*m_socket);
        while (m_answer.size() <= HolderAnswerBytes && m_socket->bytesAvailable() > 0)
            m_answer += m_socket->read(HolderAnswerBytes + 1 - m_answer.size());
        m_socket->abort();
    }
    m_holder = holderName(m_answer, m_pid);
    emit finished(m_holder);
}

QString askHolder()
{
    HolderQuestion question;
    QEventLoop loop;
    QObject::connect(&question, &HolderQuestion::finished, &loop, &QEventLoop::quit);
    question.ask();
    if (!question.isFinished())
        loop.exec();
    return question.holder();
}

} // namespace DevicePort
