#include "deviceendpoint.h"

#include <QNetworkDatagram>
#include <QUdpSocket>

DeviceEndpoint::DeviceEndpoint(QObject *parent) : QObject(parent), m_socket(new QUdpSocket(this))
{
    connect(m_socket, &QUdpSocket::readyRead, this, &DeviceEndpoint::readPendingDatagrams);
}

DeviceEndpoint::~DeviceEndpoint() = default;

DevicePort::Opening DeviceEndpoint::open(const QString &description)
{
    DevicePort::Opening opening = DevicePort::open(*m_socket, description);
    if (opening.outcome == DevicePort::Opening::HeldByAnotherProgram)
        opening.holder = DevicePort::askHolder();
    return opening;
}

std::optional<QString> DeviceEndpoint::send(const QByteArray &frame, const DeviceRoute::Route &route)
{
    if (m_socket->state() != QAbstractSocket::BoundState)
        return QStringLiteral("port %1 is not open").arg(Frame::DevicePort);
    QNetworkDatagram datagram(frame, route.destination, Frame::DevicePort);
    datagram.setInterfaceIndex(uint(route.interfaceIndex));
    if (m_socket->writeDatagram(datagram) == frame.size())
        return std::nullopt;
    return m_socket->errorString();
}

void DeviceEndpoint::readPendingDatagrams()
{
    while (m_socket->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = m_socket->receiveDatagram();
        // Anything but an accepted reply (this tool's own search, looped back) is of no interest.
        Frame::Decoded decoded = Frame::decode(datagram.data());
        if (decoded.accepted)
            emit replyReceived(decoded.reply, int(datagram.interfaceIndex()), datagram.senderAddress().toIPv4Address());
    }
}
