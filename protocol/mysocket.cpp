#include "mysocket.h"

#include "conversions.h"
#include "devicecontext.h"
#include "detail/subplcinfo.h"

#include <QDebug>
#include <QHostAddress>
#include <QTableWidgetItem>
#include <QTimer>
#include <QUdpSocket>

namespace {

// A search is answered by up to 127 devices at once, among other traffic: the kernel's default
// receive buffer can overflow before the event loop gets to read.
constexpr int ReceiveBufferBytes = 1 << 20;

constexpr int FlashIntervalMs = 500;
constexpr int WriteWaitMs = 5000;

} // namespace

MySocket::MySocket(QObject *parent) : QObject(parent) {}

MySocket::~MySocket() = default;

bool MySocket::initSocket()
{
    frameSeq = 0;
    delete udpSocket;
    udpSocket = new QUdpSocket(this);
    udpSocket->abort();
    devicePort = Frame::DevicePort;
    const bool bound = udpSocket->bind(QHostAddress::AnyIPv4, devicePort,
                                       QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint);
    qDebug() << bound;
    if (bound) {
        // Only takes effect once the socket is bound; Linux doubles the value and caps it.
        udpSocket->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, ReceiveBufferBytes);
        qDebug() << "Receive buffer:"
                 << udpSocket->socketOption(QAbstractSocket::ReceiveBufferSizeSocketOption).toInt();
    }
    connect(udpSocket, &QUdpSocket::readyRead, this, &MySocket::processPendingDatagrams);
    return bound;
}

bool MySocket::isBound() const
{
    return udpSocket && udpSocket->state() == QAbstractSocket::BoundState;
}

void MySocket::setTargetAddress(const QString &ipText)
{
    targetAddress = ipText;
}

void MySocket::startLedFlashTimer()
{
    if (flashTimer)
        return;
    flashTimer = new QTimer(this);
    connect(flashTimer, &QTimer::timeout, this, &MySocket::udpSendCmdLedsFlashSlot);
    flashTimer->start(FlashIntervalMs);
}

void MySocket::stopLedFlashTimer()
{
    delete flashTimer;
    flashTimer = nullptr;
}

bool MySocket::waitForWriteDone()
{
    return udpSocket && udpSocket->waitForBytesWritten(WriteWaitMs);
}

void MySocket::processPendingDatagrams()
{
    qDebug() << __func__ << tr("UDP开始接收数据-->");
    while (udpSocket->hasPendingDatagrams()) {
        QByteArray datagram(qMax<qint64>(udpSocket->pendingDatagramSize(), 0), Qt::Uninitialized);
        const qint64 read = udpSocket->readDatagram(datagram.data(), datagram.size());
        datagram.resize(qMax<qint64>(read, 0));
        qDebug() << "Recv Num:" << datagram.size();

        const Frame::Decoded decoded = Frame::decode(datagram);
        if (decoded.header == Frame::HeaderCheck::BadMagic)
            qDebug() << "Not Korvel Protocal!";
        for (const Frame::WalkEvent &event : decoded.events) {
            if (event.kind == Frame::WalkEvent::FieldList)
                qDebug() << "Receive an:" << event.value;
            else
                qDebug() << "Illigal TLV type!";
        }
        // A rejected header ends this pass; the datagrams still queued raise readyRead() again.
        if (decoded.header != Frame::HeaderCheck::Ok)
            return;

        if (decoded.accepted) {
            devType = decoded.reply.type;
            devMac = decoded.reply.mac;
            devName = decoded.reply.name;
            devSwVersion = decoded.reply.swVersion;
            devNetAddr = decoded.reply.netAddr;
            devPoints = decoded.reply.points;
            receiveOneMoreUpd();
        }
    }
    qDebug() << __func__ << tr("UDP接收完毕！");
}

void MySocket::receiveOneMoreUpd()
{
    emit updPackReceived();
}

qint64 MySocket::broadcastSearch()
{
    return sendFrame(Frame::encodeSearch(takeFrameSeq()), QHostAddress(QHostAddress::Broadcast),
                     "Broadcast Searching:");
}

qint64 MySocket::udpSendCmdLedsFlash(const QString &macText)
{
    return sendLedFrame(macText, Frame::LedCommand::Flash);
}

qint64 MySocket::udpSendCmdLedsOff(const QString &macText)
{
    return sendLedFrame(macText, Frame::LedCommand::Off);
}

bool MySocket::udpSendCmdWrite(SubPlcInfo *window)
{
    // Read now, not when the window opened: the frame names the device of the current row.
    const std::optional<QString> targetMac = currentRowMac();
    if (!targetMac) {
        qDebug() << "TCP command Write command skipped: no device row";
        return false;
    }
    Frame::WriteTexts texts;
    texts.targetMac = *targetMac;
    texts.mac = window->getMacAddr();
    texts.name = window->getReportedName();
    texts.gateway = window->getGateWay();
    texts.subnetMask = window->getSubnetMask();
    texts.ipAddress = window->getIpAddr();
    const QByteArray frame = Frame::encodeWrite(Frame::writeValuesFromTexts(texts), takeFrameSeq());
    // To the address the device had when the window opened, not the one typed in.
    return sendFrame(frame, decimalIPv4Address(targetAddress), "TCP command Write command:") == frame.size();
}

void MySocket::udpSendCmdLedsFlashSlot()
{
    // The row is read at every tick: selecting another row changes the MAC the frames carry.
    const std::optional<QString> mac = currentRowMac();
    if (!mac) {
        qDebug() << "UDP command Flash LEDs skipped: no device row";
        return;
    }
    udpSendCmdLedsFlash(*mac);
}

qint64 MySocket::sendLedFrame(const QString &macText, Frame::LedCommand command)
{
    return sendFrame(Frame::encodeLed(macTextToBytes(macText), command, takeFrameSeq()),
                     decimalIPv4Address(targetAddress), "UDP command Flash LEDs:");
}

qint64 MySocket::sendFrame(const QByteArray &frame, const QHostAddress &destination, const char *trace)
{
    // Frames leave from port 102 only: an unbound socket would send from a random port. A null
    // address would mean 0.0.0.0, which Linux delivers to this host.
    const bool canSend = isBound() && !destination.isNull();
    const qint64 sent = canSend ? udpSocket->writeDatagram(frame, destination, devicePort) : -1;
    qDebug() << trace << sent;
    return sent;
}

quint32 MySocket::takeFrameSeq()
{
    return frameSeq++;
}
