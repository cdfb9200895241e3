// MySocket on real sockets, inside the private network namespace of tools/isolated.sh: the
// endpoint binds port 102 on every address; a test "device" binds 127.0.0.2:102 (a socket bound to
// a specific address wins unicast datagrams over a wildcard one) and the replies go to 127.0.0.1.

#include "protocol/frame.h"
#include "protocol/mysocket.h"
#include "support/testsupport.h"

#include <QDeadlineTimer>
#include <QNetworkDatagram>
#include <QSignalSpy>
#include <QTest>
#include <QUdpSocket>

using kvrtest::hex;
using kvrtest::rawFrame;

namespace {
const QHostAddress endpoint(QStringLiteral("127.0.0.1"));
const QHostAddress deviceAddress(QStringLiteral("127.0.0.2"));

// A device whose MAC and IPv4 address end in the given byte.
Frame::DeviceReply device(char last)
{
    Frame::DeviceReply d{{}, hex("50E549CE2E00"), "DEVICE-1", hex("01020304"),
                         hex("C0A80100FFFFFF00C0A80101"), hex("0010")};
    d.mac[5] = last;
    d.netAddr[3] = last;
    return d;
}

QByteArray reply(char last)
{
    return Frame::encodeReply(1, device(last), 0);
}
} // namespace

class TestMySocket : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void bindsSharedPort102();
    void threeQueuedRepliesEmitThreeTimes();
    void badMagicEndsThePassButLosesNothing();
    void unacceptedReplyLeavesRecordAlone();
    void receiveLoopTraces();
    void sequenceNumbersAcrossKinds();
    void searchIsBroadcast();
    void flashTimerNamesTheTargetDevice();
    void unboundEndpointSendsNothing();

private:
    QByteArray nextFrameAtDevice();
    void sendToEndpoint(const QList<QByteArray> &datagrams);

    MySocket *socket = nullptr;
    QUdpSocket *deviceSocket = nullptr;
};

void TestMySocket::initTestCase()
{
    KVR_REQUIRE_ISOLATED_NETWORK();
}

void TestMySocket::init()
{
    socket = new MySocket;
    QVERIFY(socket->initSocket());
    deviceSocket = new QUdpSocket;
    QVERIFY(deviceSocket->bind(deviceAddress, Frame::DevicePort, QUdpSocket::ShareAddress));
}

void TestMySocket::cleanup()
{
    delete socket;
    delete deviceSocket;
    socket = nullptr;
    deviceSocket = nullptr;
}

QByteArray TestMySocket::nextFrameAtDevice()
{
    // Waits with the event loop running, so that the flash timer can fire meanwhile.
    QDeadlineTimer deadline(3000);
    while (!deviceSocket->hasPendingDatagrams() && !deadline.hasExpired())
        QTest::qWait(5);
    return deviceSocket->hasPendingDatagrams() ? deviceSocket->receiveDatagram().data() : QByteArray();
}

void TestMySocket::sendToEndpoint(const QList<QByteArray> &datagrams)
{
    // Queue them all before the event loop runs, so that one pass of the loop meets all of them.
    for (const QByteArray &datagram : datagrams)
        QCOMPARE(deviceSocket->writeDatagram(datagram, endpoint, Frame::DevicePort), datagram.size());
}

void TestMySocket::bindsSharedPort102()
{
    QVERIFY(socket->isBound());
    // A second endpoint on the same port: other tools may share it.
    MySocket second;
    QVERIFY(second.initSocket());
}

void TestMySocket::threeQueuedRepliesEmitThreeTimes()
{
    QList<QByteArray> macs;
    connect(socket, &MySocket::updPackReceived, this, [&] {
        macs.append(socket->devMac);
        QCOMPARE(socket->devNetAddr.size(), 12);
        QCOMPARE(quint8(socket->devNetAddr.at(3)), quint8(socket->devMac.at(5)));
    });
    sendToEndpoint({reply(1), reply(2), reply(3)});
    QTRY_COMPARE(macs.size(), 3);
    QCOMPARE(macs, (QList<QByteArray>{hex("50E549CE2E01"), hex("50E549CE2E02"), hex("50E549CE2E03")}));
}

void TestMySocket::badMagicEndsThePassButLosesNothing()
{
    QSignalSpy spy(socket, &MySocket::updPackReceived);
    QByteArray bad = reply(1);
    bad[0] = 'X';
    kvrtest::TraceCapture traces;
    sendToEndpoint({bad, reply(2)});
    QVERIFY(spy.wait(3000));
    QCOMPARE(spy.size(), 1);
    QCOMPARE(quint8(socket->devMac.at(5)), quint8(2));
    // The pass that met the bad datagram ended without its closing trace; the next pass read the reply.
    const QStringList lines = traces.lines();
    const qsizetype notOurs = lines.indexOf(QStringLiteral("Not Korvel Protocal!"));
    QVERIFY(notOurs >= 0);
    QVERIFY(lines.at(notOurs + 1).startsWith(QStringLiteral("processPendingDatagrams ")));
}

void TestMySocket::unacceptedReplyLeavesRecordAlone()
{
    QSignalSpy spy(socket, &MySocket::updPackReceived);
    sendToEndpoint({reply(1)});
    QVERIFY(spy.wait(3000));

    // Count 4 is consumed without a signal and without touching the record; the next one is emitted.
    QByteArray countFour = reply(2);
    countFour[9] = 4;
    Frame::DeviceReply bare = device(3);
    bare.swVersion = {};
    bare.points = {};
    sendToEndpoint({countFour});
    QTest::qWait(100);
    QCOMPARE(spy.size(), 1);
    QCOMPARE(quint8(socket->devMac.at(5)), quint8(1));

    // An accepted reply without version and points empties them even though the last had them.
    sendToEndpoint({Frame::encodeReply(1, bare, 0)});
    QVERIFY(spy.wait(3000));
    QCOMPARE(quint8(socket->devMac.at(5)), quint8(3));
    QVERIFY(socket->devSwVersion.isEmpty());
    QVERIFY(socket->devPoints.isEmpty());
}

void TestMySocket::receiveLoopTraces()
{
    QSignalSpy spy(socket, &MySocket::updPackReceived);
    kvrtest::TraceCapture traces;
    sendToEndpoint({rawFrame(1, 2, {{7, std::nullopt}, {0, hex("0102")}}), reply(1)});
    QVERIFY(spy.wait(3000));
    QTRY_VERIFY(traces.lines().contains(QStringLiteral("processPendingDatagrams \"UDP接收完毕！\"")));
    const QStringList expected{
        QStringLiteral("processPendingDatagrams \"UDP开始接收数据-->\""),
        QStringLiteral("Recv Num: 32"),
        QStringLiteral("Illigal TLV type!"),
        QStringLiteral("Receive an: \"\\x01\\x02\""),
        QStringLiteral("Recv Num: 96"),
        QStringLiteral("processPendingDatagrams \"UDP接收完毕！\""),
    };
    QCOMPARE(traces.lines(), expected);
}

void TestMySocket::sequenceNumbersAcrossKinds()
{
    // Zero-padded groups are decimal; a target that is no address fails and still uses its number.
    socket->setTargetAddress(QStringLiteral("127.000.000.002"));
    kvrtest::TraceCapture traces;
    QCOMPARE(socket->udpSendCmdLedsFlash(QStringLiteral("50:E5:49:CE:2E:4A")), 42);
    QCOMPARE(socket->udpSendCmdLedsOff(QStringLiteral("50:e5:49:ce:2e:4a")), 42);
    socket->setTargetAddress(QStringLiteral("not an address"));
    QCOMPARE(socket->udpSendCmdLedsFlash(QStringLiteral("50:E5:49:CE:2E:4A")), -1);
    socket->setTargetAddress(QStringLiteral("127.0.0.2"));
    QCOMPARE(socket->udpSendCmdLedsFlash(QStringLiteral("50:E5:49:CE:2E:4A")), 42);

    QCOMPARE(nextFrameAtDevice(), Frame::encodeLed(hex("50E549CE2E4A"), Frame::LedCommand::Flash, 0));
    QCOMPARE(nextFrameAtDevice(), Frame::encodeLed(hex("50E549CE2E4A"), Frame::LedCommand::Off, 1));
    QCOMPARE(nextFrameAtDevice().mid(14, 4), hex("00000003"));
    QCOMPARE(traces.lines().count(QStringLiteral("UDP command Flash LEDs: 42")), 3);
    QCOMPARE(traces.lines().count(QStringLiteral("UDP command Flash LEDs: -1")), 1);
}

void TestMySocket::searchIsBroadcast()
{
    // The namespace routes broadcasts out of its veth and delivers them back to every socket on 102.
    QUdpSocket listener;
    QVERIFY(listener.bind(QHostAddress::AnyIPv4, Frame::DevicePort, QUdpSocket::ShareAddress));
    kvrtest::TraceCapture traces;
    QCOMPARE(socket->broadcastSearch(), 46);
    QVERIFY(listener.hasPendingDatagrams() || listener.waitForReadyRead(3000));
    const QNetworkDatagram datagram = listener.receiveDatagram();
    QCOMPARE(datagram.data(), Frame::encodeSearch(0));
    QCOMPARE(datagram.destinationAddress(), QHostAddress(QHostAddress::Broadcast));
    QVERIFY(traces.lines().contains(QStringLiteral("Broadcast Searching: 46")));
}

void TestMySocket::flashTimerNamesTheTargetDevice()
{
    // The device whose details are open keeps flashing, whatever happens to the list meanwhile.
    socket->setTargetAddress(QStringLiteral("127.0.0.2"));
    socket->setTargetMac(QStringLiteral("00:00:00:00:00:01"));

    socket->startLedFlashTimer();
    QVERIFY(socket->isFlashing());
    QByteArray frame = nextFrameAtDevice();
    QCOMPARE(frame.mid(26, 6), hex("000000000001"));
    QCOMPARE(frame.right(2), hex("0002"));
    QCOMPARE(nextFrameAtDevice().mid(26, 6), hex("000000000001"));

    socket->stopLedFlashTimer();
    QVERIFY(!socket->isFlashing());
    while (deviceSocket->hasPendingDatagrams())
        deviceSocket->receiveDatagram();
    QTest::qWait(1200);
    QVERIFY(!deviceSocket->hasPendingDatagrams());
    socket->stopLedFlashTimer(); // without a timer: nothing happens
}

void TestMySocket::unboundEndpointSendsNothing()
{
    delete socket;
    socket = nullptr;
    // Holding the port without sharing it makes the endpoint's shared bind fail.
    QUdpSocket blocker;
    QVERIFY(blocker.bind(endpoint, Frame::DevicePort, QUdpSocket::DontShareAddress));
    MySocket unbound;
    QVERIFY(!unbound.initSocket());
    QVERIFY(!unbound.isBound());

    unbound.setTargetAddress(QStringLiteral("127.0.0.2"));
    QCOMPARE(unbound.udpSendCmdLedsFlash(QStringLiteral("50:E5:49:CE:2E:4A")), -1);
    QCOMPARE(unbound.broadcastSearch(), -1);
    QCOMPARE(unbound.nextFrameSeq(), 2u);
    QTest::qWait(100);
    QVERIFY(!deviceSocket->hasPendingDatagrams());
    QVERIFY(!blocker.hasPendingDatagrams());
}

QTEST_GUILESS_MAIN(TestMySocket)
#include "tst_mysocket.moc"
