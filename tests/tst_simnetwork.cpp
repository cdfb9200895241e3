// The simulator in a namespace of its own, joined to this test's namespace by a cable: the
// endpoint's frames reach it the way they reach devices on a plant network.

#include "protocol/frame.h"
#include "protocol/mysocket.h"
#include "simulatorprocess.h"
#include "support/testsupport.h"

#include <QNetworkInterface>
#include <QSignalSpy>
#include <QTest>
#include <QUdpSocket>

using kvrtest::hex;

class TestSimNetwork : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void searchCrossesTheCable();
    void deviceAnswersAtTheAddressAWriteGaveIt();
    void stoppingRemovesTheCable();
    void startFailureIsExplained();

private:
    QString start(const QStringList &arguments = {});

    DevSim::SimulatorProcess *simulator = nullptr;
    MySocket *endpoint = nullptr;
};

void TestSimNetwork::initTestCase()
{
    KVR_REQUIRE_ISOLATED_NETWORK();
    QVERIFY2(!QNetworkInterface::interfaceFromName(QStringLiteral("kvr0")).isValid(),
             "run under tools/isolated.sh --loopback-only");
}

void TestSimNetwork::init()
{
    simulator = new DevSim::SimulatorProcess;
    endpoint = new MySocket;
    QVERIFY(endpoint->initSocket());
}

void TestSimNetwork::cleanup()
{
    delete endpoint;
    delete simulator;
    endpoint = nullptr;
    simulator = nullptr;
}

QString TestSimNetwork::start(const QStringList &arguments)
{
    return simulator->start(QStringLiteral(KVR_DEVSIM_PATH), arguments).value_or(QString());
}

void TestSimNetwork::searchCrossesTheCable()
{
    QCOMPARE(start(), QString());
    QList<QByteArray> macs;
    connect(endpoint, &MySocket::updPackReceived, this, [&] { macs.append(endpoint->devMac); });
    QCOMPARE(endpoint->broadcastSearch(), 46);
    QTRY_COMPARE(macs.size(), 5);
    QCOMPARE(macs.first(), hex("024B56100001"));
    QCOMPARE(macs.last(), hex("024B56400007"));
    QTRY_VERIFY(simulator->lines().contains(QStringLiteral("search from 198.18.0.1:102 answered by 5 of 5 devices")));

    endpoint->setTargetAddress(QStringLiteral("198.18.0.40"));
    QCOMPARE(endpoint->udpSendCmdLedsFlash(QStringLiteral("02:4B:56:40:00:07")), 42);
    QTRY_VERIFY(simulator->lines().contains(QStringLiteral("led \"MIXER-VFD-07\" 02:4B:56:40:00:07 flashing")));

    // Sent to one device's address with another's MAC: no device acts on it.
    endpoint->setTargetAddress(QStringLiteral("198.18.0.30"));
    QCOMPARE(endpoint->udpSendCmdLedsFlash(QStringLiteral("02:4B:56:10:00:02")), 42);
    QTRY_VERIFY(simulator->lines().contains(
        QStringLiteral("ignored LED frame from 198.18.0.1:102: sent to 198.18.0.30, the address of "
                       "\"CONVEYOR-AXIS1\" 02:4B:56:30:00:01, not of \"FILLER-PLC-02\" 02:4B:56:10:00:02")));
    QVERIFY(!simulator->printedSince(0, QStringLiteral("FILLER-PLC-02\" 02:4B:56:10:00:02 flashing")));
}

void TestSimNetwork::deviceAnswersAtTheAddressAWriteGaveIt()
{
    QCOMPARE(start({QStringLiteral("--restart-ms"), QStringLiteral("200")}), QString());
    const QByteArray write = Frame::encodeWrite(
        Frame::writeValuesFromTexts({QStringLiteral("02:4B:56:40:00:07"), QStringLiteral("02:4B:56:40:00:07"),
                                     QStringLiteral("MIXER-VFD-07"), QStringLiteral("198.18.0.77"),
                                     QStringLiteral("255.255.255.0"), QStringLiteral("198.18.0.254")}),
        0);
    QUdpSocket tool;
    QCOMPARE(tool.writeDatagram(write, QHostAddress(QStringLiteral("198.18.0.40")), Frame::DevicePort), 90);
    QTRY_VERIFY_WITH_TIMEOUT(simulator->printedSince(0, QStringLiteral("restarted VFD \"MIXER-VFD-07\" "
                                                                        "02:4B:56:40:00:07 198.18.0.77/24")),
                             5000);

    endpoint->setTargetAddress(QStringLiteral("198.18.0.77"));
    QCOMPARE(endpoint->udpSendCmdLedsFlash(QStringLiteral("02:4B:56:40:00:07")), 42);
    QTRY_VERIFY(simulator->lines().contains(QStringLiteral("led \"MIXER-VFD-07\" 02:4B:56:40:00:07 flashing")));
}

void TestSimNetwork::stoppingRemovesTheCable()
{
    QCOMPARE(start(), QString());
    QVERIFY(QNetworkInterface::interfaceFromName(QStringLiteral("kvrsim0")).isValid());
    simulator->stop();
    QVERIFY(!simulator->isRunning());
    QCOMPARE(simulator->lines().last(), QStringLiteral("stopped"));
    QTRY_VERIFY(!QNetworkInterface::interfaceFromName(QStringLiteral("kvrsim0")).isValid());

    // A fresh start wires a fresh cable.
    QCOMPARE(start(), QString());
    QSignalSpy replies(endpoint, &MySocket::updPackReceived);
    endpoint->broadcastSearch();
    QTRY_VERIFY2(replies.size() == 5, qPrintable(simulator->lines().join(u'\n')));
}

void TestSimNetwork::startFailureIsExplained()
{
    QVERIFY(start({QStringLiteral("--junk"), QStringLiteral("x")}).contains(QStringLiteral("--junk 0 to 1000000")));
    QVERIFY(!simulator->isRunning());
    QVERIFY(!QNetworkInterface::interfaceFromName(QStringLiteral("kvrsim0")).isValid());
}

QTEST_GUILESS_MAIN(TestSimNetwork)
#include "tst_simnetwork.moc"
