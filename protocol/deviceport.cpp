#include "deviceport.h"

#include "frame.h"

#include <QCoreApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <QUdpSocket>
#include <QVariant>

namespace DevicePort {

namespace {

const QString ClaimName = QStringLiteral("kvrctl700-udp-port-102");
constexpr int HolderAnswerMs = 1000;

// On Linux the name is abstract: no file to clean up after a crash, and one name per network
// namespace, like the port.
#ifdef Q_OS_LINUX
constexpr bool AbstractName = true;
#else
constexpr bool AbstractName = false;
#endif

// The name of the program that holds the claim, as it answers on the claim's socket; empty when
// it does not answer in time.
QString askHolder()
{
    QLocalSocket socket;
    if (AbstractName)
        socket.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
    socket.connectToServer(ClaimName, QIODevice::ReadOnly);
    if (!socket.waitForConnected(HolderAnswerMs))
        return {};
    while (!socket.canReadLine() && socket.waitForReadyRead(HolderAnswerMs)) {
    }
    return QString::fromUtf8(socket.readLine()).trimmed();
}

// Held until the process ends. Answers every connection with this process's description.
QLocalServer *claimServer = nullptr;

bool claim(const QString &description, QString *holder)
{
    if (claimServer)
        return true;
    auto *server = new QLocalServer(QCoreApplication::instance());
    if (AbstractName)
        server->setSocketOptions(QLocalServer::AbstractNamespaceOption);
    if (!server->listen(ClaimName)) {
        delete server;
        *holder = askHolder();
        return false;
    }
    const QByteArray answer = QStringLiteral("%1 (PID %2)\n")
                                  .arg(description)
                                  .arg(QCoreApplication::applicationPid())
                                  .toUtf8();
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

} // namespace

Opening open(QUdpSocket &socket, const QString &description)
{
    Opening opening;
    if (!claim(description, &opening.holder)) {
        opening.outcome = Opening::HeldByAnotherProgram;
        return opening;
    }
    if (!socket.bind(QHostAddress::AnyIPv4, Frame::DevicePort,
                     QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint)) {
        switch (socket.error()) {
        case QAbstractSocket::AddressInUseError:
            opening.outcome = Opening::InUse;
            break;
        case QAbstractSocket::SocketAccessError:
            opening.outcome = Opening::NotPermitted;
            break;
        default:
            opening.outcome = Opening::Failed;
            break;
        }
        opening.detail = socket.errorString();
        return opening;
    }
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

} // namespace DevicePort
