#pragma once

#include "devicelink.h"
#include "deviceport.h"
#include "frame.h"

#include <QByteArray>
#include <QObject>
#include <QString>

class QHostAddress;
class QTimer;
class QUdpSocket;

// The tool's one UDP endpoint on port 102: receives device replies into the device record and
// sends the search, LED and write frames. Encoding and decoding live in Frame; this class only
// owns the socket, the target address and the flash timer. As a DeviceLink
// it also carries the engine's frames (the verification of a write) and hands it every accepted
// reply with its adapter.
class MySocket : public DeviceLink
{
    Q_OBJECT

public:
    explicit MySocket(QObject *parent = nullptr);
    ~MySocket() override;

    // The device record: the last accepted device reply, replaced as a whole, never cleared.
    QByteArray devType;
    QByteArray devMac;
    QByteArray devName;
    QByteArray devSwVersion;
    QByteArray devNetAddr;
    QByteArray devPoints;
    // Beside the record: the interface index of the adapter the last accepted reply came in on,
    // 0 when the system did not say.
    int devInterfaceIndex = 0;

    // Binds UDP port 102 on every IPv4 address, as DevicePort::open() does. False when the port
    // could not be bound (portOpening() says why); the endpoint then stays unbound and every send
    // fails. Never waits: when another program holds the port, its name follows in portOpening()
    // once portHolderAnswered() is emitted.
    bool initSocket();
    bool isBound() const;
    const DevicePort::Opening &portOpening() const { return opening; }

    void setTargetAddress(const QString &ipText);
    // 0: LED and write frames go by unicast to the target address. Otherwise they go to
    // 255.255.255.255 out of the adapter of this interface index, for a device outside that
    // adapter's subnet: a unicast would be sent to a router and lost, and the device takes the
    // broadcast frames because they name its MAC.
    void setTargetBroadcastInterface(int interfaceIndex);
    // The MAC text of the device whose details are open: the flash and off frames name it, even
    // when another row is selected or the list was emptied meanwhile.
    void setTargetMac(const QString &macText);
    QString targetMacText() const { return targetMac; }

    void startLedFlashTimer();
    void stopLedFlashTimer();
    bool isFlashing() const { return flashTimer != nullptr; }

    // Waits at most 5 s for the last datagram to leave.
    bool waitForWriteDone();

    // Each sender returns what writeDatagram() returned: the bytes sent, or -1. (The search goes
    // out through send(), one frame per adapter: sendSearchRound().)
    qint64 udpSendCmdLedsFlash(const QString &macText);
    qint64 udpSendCmdLedsOff(const QString &macText);

    // Sends a write frame built from these texts to the device at the target address. True
    // when the whole frame went out.
    bool udpSendCmdWrite(const Frame::WriteTexts &texts);

    // Why the last frame did not go out.
    SendFailure lastSendFailure() const { return sendFailure; }

    // A frame of the engine's, traced as the sender of its kind above traces it.
    SendFailure send(const QByteArray &frame, const QHostAddress &destination, int interfaceIndex) override;

signals:
    void updPackReceived();
    void portHolderAnswered();

public slots:
    void processPendingDatagrams();

protected slots:
    void receiveOneMoreUpd();

private slots:
    void udpSendCmdLedsFlashSlot();

private:
    qint64 sendFrame(const QByteArray &frame, const QHostAddress &destination, int interfaceIndex,
                     const char *traceText);
    qint64 sendToDevice(const QByteArray &frame, const char *traceText);
    qint64 sendLedFrame(const QString &macText, Frame::LedCommand command);

    QUdpSocket *udpSocket = nullptr;
    quint16 devicePort = Frame::DevicePort;
    QString targetAddress;
    QString targetMac;
    int targetBroadcastInterface = 0;
    QTimer *flashTimer = nullptr;
    DevicePort::Opening opening;
    SendFailure sendFailure = SendFailure::None;
};

// The one device endpoint, created by the main window and alive until the process ends.
extern MySocket *g_mySocket;
