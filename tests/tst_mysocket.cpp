// MySocket on real sockets, inside the private network namespace of tools/isolated.sh: the
// endpoint binds port 102 on every address; a test "device" binds 127.0.0.2:102 (a socket bound to
// a specific address wins unicast datagrams over a wildcard one) and the replies go to 127.0.0.1.

#include "protocol/frame.h"
#include "protocol/mysocket.h"
#include "support/testsupport.h"

#include <QDeadlineTimer>
#include <QNetworkDatagram>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

#include <memory>

using kvrtest::hex;

namespace {
const QHostAddress endpoint(QStringLiteral("127.0.0.1"));
const QHostAddress deviceAddress(QStringLiteral("127.0.0.2"));
const QString macText = QStringLiteral("50:E5:49:CE:2E:4A");

// The record of a PLC whose MAC and IPv4 address end in the given byte, and the reply that carries it.
QByteArrayList device(char last)
{
    return {"PLC", hex("50E549CE2E") + last, "DEVICE-1", hex("01020304"),
            hex("C0A801") + last + hex("FFFFFF00C0A80101"), hex("0010")};
}

QByteArray reply(const QByteArrayList &r)
{
    return Frame::encodeReply(1, {r[0], r[1], r[2], r[3], r[4], r[5]}, 0);
}
} // namespace

class TestMySocket : public QObject
{
    Q_OBJECT

    std::unique_ptr<QUdpSocket> deviceSocket;
    std::unique_ptr<MySocket> socket;

    QByteArray nextFrameAtDevice()
    {
        // Waits with the event loop running, so that the flash timer can fire meanwhile.
        QDeadlineTimer deadline(3000);
        while (!deviceSocket->hasPendingDatagrams() && !deadline.hasExpired())
            QTest::qWait(5);
        return deviceSocket->hasPendingDatagrams() ? deviceSocket->receiveDatagram().data() : QByteArray();
    }

    // Queued before the event loop runs, so that one pass of the receive loop meets them all.
    void sendToEndpoint(const QByteArrayList &datagrams)
    {
        for (const QByteArray &datagram : datagrams)
            QCOMPARE(deviceSocket->writeDatagram(datagram, endpoint, Frame::DevicePort), datagram.size());
    }

private slots:
    void initTestCase() { KVR_REQUIRE_ISOLATED_NETWORK(); }

    void init()
    {
        socket = std::make_unique<MySocket>();
        QVERIFY(socket->initSocket());
        deviceSocket = std::make_unique<QUdpSocket>();
        // Succeeds only because the endpoint shares the port.
        QVERIFY(deviceSocket->bind(deviceAddress, Frame::DevicePort, QUdpSocket::ShareAddress));
    }

    void recordAtEachEmission()
    {
        // A reply with count 4 is consumed without a signal; one without version and points empties them.
        QByteArray countFour = reply(device(2));
        countFour[9] = 4;
        QByteArrayList bare = device(3);
        bare[3] = bare[5] = QByteArray();
        QList<QByteArrayList> records;
        connect(socket.get(), &MySocket::updPackReceived, this, [&] {
            records << QByteArrayList{socket->devType, socket->devMac, socket->devName, socket->devSwVersion,
                                      socket->devNetAddr, socket->devPoints};
        });
        sendToEndpoint({reply(device(1)), countFour, reply(bare), reply(device(4))});
        QTRY_VERIFY(!records.isEmpty() && records.last() == device(4));
        QCOMPARE(records, (QList<QByteArrayList>{device(1), bare, device(4)}));
    }

    void receiveLoopTraces()
    {
        // A bad magic ends the pass without its closing trace; the datagram behind it is read in the next.
        QSignalSpy spy(socket.get(), &MySocket::updPackReceived);
        kvrtest::TraceCapture traces;
        sendToEndpoint({kvrtest::rawFrame(1, 2, {{7, std::nullopt}, {0, hex("0102")}}), "KORVEX" + QByteArray(90, 0),
                        reply(device(1))});
        QVERIFY(spy.wait(3000));
        const QString start = QStringLiteral("processPendingDatagrams \"UDP开始接收数据-->\"");
        const QString end = QStringLiteral("processPendingDatagrams \"UDP接收完毕！\"");
        QTRY_VERIFY(traces.lines().contains(end));
        QCOMPARE(traces.lines(),
                 (QStringList{start, QStringLiteral("Recv Num: 32"), QStringLiteral("Illigal TLV type!"),
                              QStringLiteral("Receive an: \"\\x01\\x02\""), QStringLiteral("Recv Num: 96"),
                              QStringLiteral("Not Korvel Protocal!"), start, QStringLiteral("Recv Num: 96"), end}));
    }

    void framesAndSequenceNumbers()
    {
        // The namespace routes broadcasts out of its veth and delivers them back to every socket on 102.
        QUdpSocket listener;
        QVERIFY(listener.bind(QHostAddress::AnyIPv4, Frame::DevicePort, QUdpSocket::ShareAddress));
        kvrtest::TraceCapture traces;
        QCOMPARE(socket->broadcastSearch(), 46);
        // Zero-padded groups are decimal; a target that is no address fails and still uses its number.
        socket->setTargetAddress(QStringLiteral("127.000.000.002"));
        QCOMPARE(socket->udpSendCmdLedsFlash(macText), 42);
        QCOMPARE(socket->udpSendCmdLedsOff(macText.toLower()), 42);
        socket->setTargetAddress(QStringLiteral("not an address"));
        QCOMPARE(socket->udpSendCmdLedsFlash(macText), -1);
        socket->setTargetAddress(QStringLiteral("127.0.0.2"));
        QCOMPARE(socket->udpSendCmdLedsFlash(macText), 42);

        QVERIFY(listener.hasPendingDatagrams() || listener.waitForReadyRead(3000));
        const QNetworkDatagram search = listener.receiveDatagram();
        QCOMPARE(search.data(), Frame::encodeSearch(0));
        QCOMPARE(search.destinationAddress(), QHostAddress(QHostAddress::Broadcast));
        QCOMPARE(nextFrameAtDevice(), Frame::encodeLed(hex("50E549CE2E4A"), Frame::LedCommand::Flash, 1));
        QCOMPARE(nextFrameAtDevice(), Frame::encodeLed(hex("50E549CE2E4A"), Frame::LedCommand::Off, 2));
        QCOMPARE(nextFrameAtDevice().mid(14, 4), hex("00000004"));
        QCOMPARE(traces.lines().filter(QRegularExpression(QStringLiteral("(Searching|LEDs): "))).join(u'|'),
                 QStringLiteral("Broadcast Searching: 46|UDP command Flash LEDs: 42|UDP command Flash LEDs: 42|"
                                "UDP command Flash LEDs: -1|UDP command Flash LEDs: 42"));
    }

    void flashTimer()
    {
        // The device whose details are open is told to flash every 500 ms, whatever happens to the list.
        socket->setTargetAddress(QStringLiteral("127.0.0.2"));
        socket->setTargetMac(QStringLiteral("00:00:00:00:00:01"));
        socket->startLedFlashTimer();
        const auto *timer = socket->findChild<QTimer *>(QString(), Qt::FindDirectChildrenOnly);
        QVERIFY(timer && timer->isActive() && !timer->isSingleShot());
        QCOMPARE(timer->interval(), 500);
        // The first tick comes one period after the start: this wait is the timer under test.
        QCOMPARE(nextFrameAtDevice(), Frame::encodeLed(hex("000000000001"), Frame::LedCommand::Flash, 0));
        socket->stopLedFlashTimer();
        QVERIFY(!socket->findChild<QTimer *>(QString(), Qt::FindDirectChildrenOnly));
        socket->stopLedFlashTimer(); // without a timer: nothing happens
    }

    void unboundEndpointSendsNothing()
    {
        // An unbound socket would send from a random port; the sends fail instead and use up their numbers.
        socket.reset();
        // Holding the port without sharing it makes the endpoint's shared bind fail.
        QUdpSocket blocker;
        QVERIFY(blocker.bind(endpoint, Frame::DevicePort, QUdpSocket::DontShareAddress));
        MySocket unbound;
        QVERIFY(!unbound.initSocket());
        unbound.setTargetAddress(QStringLiteral("127.0.0.2"));
        QCOMPARE(unbound.udpSendCmdLedsFlash(macText), -1);
        QCOMPARE(unbound.broadcastSearch(), -1);
        QCOMPARE(unbound.nextFrameSeq(), 2u);
    }
};

QTEST_GUILESS_MAIN(TestMySocket)
#include "tst_mysocket.moc"
