#include "deviceendpoint.h"

#include <QNetworkDatagram>
#include <QUdpSocket>

DeviceEndpoint::DeviceEndpoint(QObject *parent) : DeviceLink(parent), m_socket(new QUdpSocket(this))
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

DeviceLink::SendFailure DeviceEndpoint::send(const QByteArray &frame, const QHostAddress &destination,
                                             int interfaceIndex)
{
    setSendError({});
    if (m_socket->state() != QAbstractSocket::BoundState)
        return SendFailure::PortNotOpen;
    QNetworkDatagram datagram(frame, destination, Frame::DevicePort);
    datagram.setInterfaceIndex(uint(interfaceIndex));
    if (m_socket->writeDatagram(datagram) == frame.size())
        return SendFailure::None;
    setSendError(m_socket->errorString());
    return SendFailure::NetworkError;
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
