#include "mysocket.h"

#include "addresscheck.h"
#include "conversions.h"

#include <QCoreApplication>
#include <QDebug>
#include <QHostAddress>
#include <QLoggingCategory>
#include <QNetworkDatagram>
#include <QTimer>
#include <QUdpSocket>

MySocket *g_mySocket = nullptr;

namespace {

// Large enough for any UDP datagram, so that one read takes a whole datagram.
constexpr qsizetype MaxDatagramBytes = 65536;

constexpr int WriteWaitMs = 5000;

constexpr char SearchTrace[] = "Broadcast Searching:";
constexpr char LedTrace[] = "UDP command Flash LEDs:";
constexpr char WriteTrace[] = "TCP command Write command:";

// The traces go to the default logging category, so that they read as plain debug output and
// QT_LOGGING_RULES="default.debug=false" silences them; then they are not even formatted, which
// matters in the receive loop (a trace per datagram).
// Their texts are matched letter for letter by logs and scripts, so they keep their old spellings
// on purpose: "Not Korvel Protocal!", "Illigal TLV type!", "TCP command" for a UDP frame (and
// likewise the signal updPackReceived and the main window's tranlateUdpRawFrameSlot).
const QLoggingCategory &trace()
{
    return *QLoggingCategory::defaultCategory();
}

} // namespace

MySocket::MySocket(QObject *parent) : DeviceLink(parent) {}

MySocket::~MySocket() = default;

bool MySocket::initSocket()
{
    restartFrameSeq();
    delete udpSocket;
    udpSocket = new QUdpSocket(this);
    udpSocket->abort();
    devicePort = Frame::DevicePort;
    opening = DevicePort::open(*udpSocket, QCoreApplication::applicationName());
    const bool bound = opening.bound();
    qCDebug(trace) << bound;
    if (bound)
        qCDebug(trace) << "Receive buffer:" << DevicePort::grantedReceiveBuffer(*udpSocket);
    if (opening.outcome == DevicePort::Opening::HeldByAnotherProgram) {
        auto *question = new DevicePort::HolderQuestion(udpSocket);
        connect(question, &DevicePort::HolderQuestion::finished, this, [this](const QString &holder) {
            opening.holder = holder;
            emit portHolderAnswered();
        }, Qt::QueuedConnection); // also when it ends at once: after the caller has connected
        question->ask();
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

void MySocket::setTargetBroadcastInterface(int interfaceIndex)
{
    targetBroadcastInterface = interfaceIndex;
}

void MySocket::setTargetMac(const QString &macText)
{
    targetMac = macText;
}

void MySocket::startLedFlashTimer()
{
    if (flashTimer)
        return;
    flashTimer = new QTimer(this);
    connect(flashTimer, &QTimer::timeout, this, &MySocket::udpSendCmdLedsFlashSlot);
    flashTimer->start(Frame::FlashIntervalMs);
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
    qCDebug(trace) << __func__ << tr("UDP开始接收数据-->");
    while (udpSocket->hasPendingDatagrams()) {
        // Read whole, with the adapter it came in on; no peek for its size first.
        const QNetworkDatagram received = udpSocket->receiveDatagram(MaxDatagramBytes);
        const QByteArray datagram = received.data();
        qCDebug(trace) << "Recv Num:" << datagram.size();

        Frame::Decoded decoded = Frame::decode(datagram);
        if (decoded.header == Frame::HeaderCheck::BadMagic)
            qCDebug(trace) << "Not Korvel Protocal!";
        for (const Frame::WalkEvent &event : decoded.events) {
            if (event.kind == Frame::WalkEvent::FieldList)
                qCDebug(trace) << "Receive an:" << event.value;
            else
                qCDebug(trace) << "Illigal TLV type!";
        }
        // A rejected header ends this pass; the datagrams still queued raise readyRead() again.
        if (decoded.header != Frame::HeaderCheck::Ok)
            return;

        if (decoded.accepted) {
            devType = std::move(decoded.reply.type);
            devMac = std::move(decoded.reply.mac);
            devName = std::move(decoded.reply.name);
            devSwVersion = std::move(decoded.reply.swVersion);
            devNetAddr = std::move(decoded.reply.netAddr);
            devPoints = std::move(decoded.reply.points);
            devInterfaceIndex = int(received.interfaceIndex());
            receiveOneMoreUpd();
            emit replyReceived({devType, devMac, devName, devSwVersion, devNetAddr, devPoints}, devInterfaceIndex,
                               received.senderAddress().toIPv4Address());
        }
    }
    qCDebug(trace) << __func__ << tr("UDP接收完毕！");
}

void MySocket::receiveOneMoreUpd()
{
    emit updPackReceived();
}

qint64 MySocket::udpSendCmdLedsFlash(const QString &macText)
{
    return sendLedFrame(macText, Frame::LedCommand::Flash);
}

qint64 MySocket::udpSendCmdLedsOff(const QString &macText)
{
    return sendLedFrame(macText, Frame::LedCommand::Off);
}

bool MySocket::udpSendCmdWrite(const Frame::WriteTexts &texts)
{
    const QByteArray frame = Frame::encodeWrite(Frame::writeValuesFromTexts(texts), takeFrameSeq());
    // To the address the device had when the window opened, not the one typed in.
    return sendToDevice(frame, WriteTrace) == frame.size();
}

void MySocket::udpSendCmdLedsFlashSlot()
{
    udpSendCmdLedsFlash(targetMac);
}

qint64 MySocket::sendLedFrame(const QString &macText, Frame::LedCommand command)
{
    return sendToDevice(Frame::encodeLed(macTextToBytes(macText), command, takeFrameSeq()), LedTrace);
}

qint64 MySocket::sendToDevice(const QByteArray &frame, const char *traceText)
{
    if (targetBroadcastInterface != 0)
        return sendFrame(frame, QHostAddress(QHostAddress::Broadcast), targetBroadcastInterface, traceText);
    // The main window opens no details for a real device at a loopback address.
    QHostAddress destination = decimalIPv4Address(targetAddress);
    if (!AddressCheck::isUnicastDestination(destination.toIPv4Address()))
        destination.clear();
    return sendFrame(frame, destination, 0, traceText);
}

DeviceLink::SendFailure MySocket::send(const QByteArray &frame, const QHostAddress &destination, int interfaceIndex)
{
    // The three kinds have sizes of their own; the traces must read as those of the senders above.
    const char *traceText = frame.size() == qsizetype(Frame::LedFrameSize)     ? LedTrace
                            : frame.size() == qsizetype(Frame::WriteFrameSize) ? WriteTrace
                                                                                : SearchTrace;
    sendFrame(frame, destination, interfaceIndex, traceText);
    return sendFailure;
}

qint64 MySocket::sendFrame(const QByteArray &frame, const QHostAddress &destination, int interfaceIndex,
                           const char *traceText)
{
    qint64 sent = -1;
    setSendError({});
    // Frames leave from port 102 only: an unbound socket would send from a random port.
    if (!isBound()) {
        sendFailure = SendFailure::PortNotOpen;
    } else if (destination.isNull()) {
        sendFailure = SendFailure::NotADeviceAddress;
    } else {
        QNetworkDatagram datagram(frame, destination, devicePort);
        // Pinned to the adapter whatever the routing table says (sent with IP_PKTINFO).
        if (interfaceIndex != 0)
            datagram.setInterfaceIndex(uint(interfaceIndex));
        sent = udpSocket->writeDatagram(datagram);
        sendFailure = sent == frame.size() ? SendFailure::None : SendFailure::NetworkError;
        if (sendFailure == SendFailure::NetworkError)
            setSendError(udpSocket->errorString());
    }
    qCDebug(trace) << traceText << sent;
    return sent;
}
