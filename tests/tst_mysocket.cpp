// MySocket on real sockets, inside the private network namespace of tools/isolated.sh: the
// endpoint binds port 102 on every address; a test "device" binds 127.0.0.2:102 (a socket bound to
// a specific address wins unicast datagrams over a wildcard one) and the replies go to 127.0.0.1.

#include "commissioning/searchsession.h"
#include "protocol/frame.h"
#include "protocol/mysocket.h"
#include "support/claimsquatter.h"
#include "support/testsupport.h"

#include <QLocalServer>
#include <QNetworkDatagram>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

#include <memory>

using namespace Qt::StringLiterals;

using kvrtest::hex;

namespace {
const QHostAddress endpoint(u"127.0.0.1"_s);
const QHostAddress deviceAddress(u"127.0.0.2"_s);
const QString macText = u"50:E5:49:CE:2E:4A"_s;

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
        const bool arrived = QTest::qWaitFor([this] { return deviceSocket->hasPendingDatagrams(); }, 3000);
        return arrived ? deviceSocket->receiveDatagram().data() : QByteArray();
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
        // The engine hears the same replies, each after the window, with where it came from.
        QList<QByteArray> heard;
        connect(socket.get(), &DeviceLink::replyReceived, this,
                [&](const Frame::DeviceReply &reply, int interfaceIndex, quint32 source) {
                    heard << reply.mac + (records.size() == heard.size() + 1 ? "" : " out of order")
                                 + (interfaceIndex > 0 && source == deviceAddress.toIPv4Address() ? "" : " from nowhere");
                });
        sendToEndpoint({reply(device(1)), countFour, reply(bare), reply(device(4))});
        QTRY_VERIFY(!records.isEmpty() && records.last() == device(4));
        QCOMPARE(records, (QList<QByteArrayList>{device(1), bare, device(4)}));
        QCOMPARE(heard, (QList<QByteArray>{device(1)[1], bare[1], device(4)[1]}));
    }

    void receiveLoopTraces()
    {
        // A bad magic ends the pass without its closing trace; the datagram behind it is read in the next.
        QSignalSpy spy(socket.get(), &MySocket::updPackReceived);
        kvrtest::TraceCapture traces;
        sendToEndpoint({kvrtest::rawFrame(1, 2, {{7, std::nullopt}, {0, hex("0102")}}), "KORVEX" + QByteArray(90, 0),
                        reply(device(1))});
        QVERIFY(spy.wait(3000));
        const QString start = u"processPendingDatagrams \"UDP开始接收数据-->\""_s;
        const QString end = u"processPendingDatagrams \"UDP接收完毕！\""_s;
        QTRY_VERIFY(traces.lines().contains(end));
        QCOMPARE(traces.lines(),
                 (QStringList{start, u"Recv Num: 32"_s, u"Illigal TLV type!"_s,
                              u"Receive an: \"\\x01\\x02\""_s, u"Recv Num: 96"_s,
                              u"Not Korvel Protocal!"_s, start, u"Recv Num: 96"_s, end}));
    }

    void framesAndSequenceNumbers()
    {
        // The namespace routes broadcasts out of its veth and delivers them back to every socket on 102.
        QUdpSocket listener;
        QVERIFY(listener.bind(QHostAddress::AnyIPv4, Frame::DevicePort, QUdpSocket::ShareAddress));
        kvrtest::TraceCapture traces;
        QCOMPARE(sendSearchRound(*socket, {}).sent, 1); // no adapter given: the routing table's
        // Zero-padded groups are decimal; a target that is no address fails and still uses its number.
        socket->setTargetAddress(u"127.000.000.002"_s);
        QCOMPARE(socket->udpSendCmdLedsFlash(macText), 42);
        QCOMPARE(socket->udpSendCmdLedsOff(macText.toLower()), 42);
        socket->setTargetAddress(u"not an address"_s);
        QCOMPARE(socket->udpSendCmdLedsFlash(macText), -1);
        socket->setTargetAddress(u"127.0.0.2"_s);
        QCOMPARE(socket->udpSendCmdLedsFlash(macText), 42);

        QVERIFY(listener.hasPendingDatagrams() || listener.waitForReadyRead(3000));
        const QNetworkDatagram search = listener.receiveDatagram();
        QCOMPARE(search.data(), Frame::encodeSearch(0));
        QCOMPARE(search.destinationAddress(), QHostAddress(QHostAddress::Broadcast));
        QCOMPARE(nextFrameAtDevice(), Frame::encodeLed(hex("50E549CE2E4A"), Frame::LedCommand::Flash, 1));
        QCOMPARE(nextFrameAtDevice(), Frame::encodeLed(hex("50E549CE2E4A"), Frame::LedCommand::Off, 2));
        QCOMPARE(nextFrameAtDevice().mid(14, 4), hex("00000004"));
        QCOMPARE(traces.lines().filter(QRegularExpression(u"(Searching|LEDs): "_s)).join(u'|'),
                 QStringLiteral("Broadcast Searching: 46|UDP command Flash LEDs: 42|UDP command Flash LEDs: 42|"
                                "UDP command Flash LEDs: -1|UDP command Flash LEDs: 42"));
    }

    void flashTimer()
    {
        // The device whose details are open is told to flash every 500 ms, whatever happens to the list.
        socket->setTargetAddress(u"127.0.0.2"_s);
        socket->setTargetMac(u"00:00:00:00:00:01"_s);
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
        unbound.setTargetAddress(u"127.0.0.2"_s);
        QCOMPARE(unbound.udpSendCmdLedsFlash(macText), -1);
        QCOMPARE(sendSearchRound(unbound, {}).failures.value(0).failure, DeviceLink::SendFailure::PortNotOpen);
        QCOMPARE(unbound.nextFrameSeq(), 2u);
    }

    void claimHeldElsewhere_data()
    {
        QTest::addColumn<int>("squatter"); // a ClaimSquatter::Manner, or -1 for none
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<int>("portHolder"); // -1: nobody; else a QUdpSocket::BindMode of a socket on 127.0.0.1:102
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("holder"); // %1: this process's id, as the system gives the squatter's

        const int shared = QUdpSocket::ShareAddress;
        QTest::newRow("a squatter without the port blocks the start") << int(kvrtest::ClaimSquatter::Answers)
            << QByteArray("kvrctl700 (PID 1)\n") << -1 << int(DevicePort::Opening::Bound) << QString();
        QTest::newRow("a silent holder keeps the program waiting") << int(kvrtest::ClaimSquatter::Silent) << QByteArray()
            << shared << int(DevicePort::Opening::HeldByAnotherProgram) << u"PID %1"_s;
        QTest::newRow("an endless holder fills the memory") << int(kvrtest::ClaimSquatter::Endless)
            << QByteArray("kvrctl700 \x1b[2J") << shared << int(DevicePort::Opening::HeldByAnotherProgram)
            << QString(u"kvrctl700 \\x1b[2J"_s.repeated(5) + u"kvrctl700 (PID %1)"_s);
        QTest::newRow("a program that failed to bind keeps the claim") << -1 << QByteArray()
            << int(QUdpSocket::DontShareAddress) << int(DevicePort::Opening::InUse) << QString();
    }

    void claimHeldElsewhere()
    {
        QFETCH(int, squatter);
        QFETCH(QByteArray, answer);
        QFETCH(int, portHolder);
        QFETCH(int, outcome);
        QFETCH(QString, holder);

        // This process holds nothing any more: its claim went with its last socket on the port.
        socket.reset();
        deviceSocket.reset();
        std::unique_ptr<kvrtest::ClaimSquatter> squatting;
        if (squatter >= 0) {
            squatting = std::make_unique<kvrtest::ClaimSquatter>(kvrtest::ClaimSquatter::Manner(squatter), answer);
            QVERIFY(squatting->isListening());
        }
        QUdpSocket other;
        if (portHolder >= 0)
            QVERIFY(other.bind(endpoint, Frame::DevicePort, QUdpSocket::BindMode(portHolder)));

        MySocket starting;
        QSignalSpy answered(&starting, &MySocket::portHolderAnswered);
        QCOMPARE(starting.initSocket(), outcome == DevicePort::Opening::Bound);
        QCOMPARE(int(starting.portOpening().outcome), outcome);
        if (outcome == DevicePort::Opening::HeldByAnotherProgram) {
            QVERIFY(answered.wait(3000));
            QCOMPARE(starting.portOpening().holder, holder.arg(QCoreApplication::applicationPid()));
            QCOMPARE(squatting->connections(), 1);
        }
        // A squatter leaves the port to this program alone: nobody can share it now.
        QUdpSocket sharer;
        if (outcome == DevicePort::Opening::Bound)
            QVERIFY(!sharer.bind(deviceAddress, Frame::DevicePort, QUdpSocket::ShareAddress));
        // Whatever failed to bind holds no claim.
        if (outcome == DevicePort::Opening::InUse) {
            QLocalServer next;
            next.setSocketOptions(QLocalServer::AbstractNamespaceOption);
            QVERIFY(next.listen(QLatin1String(DevicePort::ClaimName)));
        }
    }

    void holderNames_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<qint64>("pid");
        QTest::addColumn<QString>("name");

        QTest::newRow("an honest holder") << QByteArray("kvrctl700-cli search\n") << qint64(4711)
                                          << u"kvrctl700-cli search (PID 4711)"_s;
        QTest::newRow("a PID claimed in words is not the system's") << QByteArray("kvrctl700 (PID 1)") << qint64(0)
                                                                  << u"kvrctl700 (PID 1)"_s;
        QTest::newRow("silence") << QByteArray() << qint64(4711) << u"PID 4711"_s;
        QTest::newRow("blanks and a line break only") << QByteArray(" \t\n") << qint64(0) << u"\\x09"_s;
        QTest::newRow("a second line shows") << QByteArray("one\ntwo") << qint64(0) << u"one"_s;
        QTest::newRow("a title change and a bell") << QByteArray("\x1b]2;x\x07") << qint64(0)
                                                   << u"\\x1b]2;x\\x07"_s;
        QTest::newRow("UTF-8 is not printable ASCII") << QByteArray("\xc3\xa9") << qint64(0)
                                                      << u"\\xc3\\xa9"_s;
        QTest::newRow("an escaped text cannot pass for an escape") << QByteArray("\\x1b") << qint64(0)
                                                                   << u"\\\\x1b"_s;
        QTest::newRow("a long answer is cut") << QByteArray(500, 'a') << qint64(0)
                                              << QString(DevicePort::HolderAnswerBytes, u'a');
    }

    void holderNames()
    {
        QFETCH(QByteArray, answer);
        QFETCH(qint64, pid);
        QFETCH(QString, name);
        QCOMPARE(DevicePort::holderName(answer, pid), name);
    }
};

QTEST_GUILESS_MAIN(TestMySocket)
#include "tst_mysocket.moc"
