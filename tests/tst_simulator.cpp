// The device simulator on real sockets, in a network namespace of its own (it binds port 102
// exclusively): the simulator listens on 127.0.0.3, the test plays the tool on 127.0.0.4:102.
// The last cases run the program itself for its exit codes.

#include "protocol/frame.h"
#include "simulator.h"
#include "support/testsupport.h"

#include <QDeadlineTimer>
#include <QNetworkDatagram>
#include <QProcess>
#include <QTest>
#include <QUdpSocket>

#include <csignal>

using kvrtest::hex;

namespace {

const QHostAddress simulatorAddress(QStringLiteral("127.0.0.3"));
const QHostAddress toolAddress(QStringLiteral("127.0.0.4"));
constexpr int RestartMs = 300;
constexpr int LedTimeoutMs = 300;

QList<DevSim::SimDevice> threeDevices()
{
    const DevSim::DeviceList list = DevSim::devicesFromOptions(
        {QStringLiteral("type=PLC,name=FILLER-PLC-02,mac=02:4B:56:10:00:02,ip=198.18.0.11,mask=255.255.255.0,"
                        "gateway=198.18.0.254,version=1.3.2.0,points=0.32.0.24"),
         QStringLiteral("type=HMI,name=PACKLINE-HMI,mac=02:4B:56:20:00:01,ip=198.18.0.20,mask=255.255.255.0,"
                        "gateway=198.18.0.254,version=2.0.4"),
         QStringLiteral("type=VFD,name=MIXER-VFD-07,mac=02:4B:56:40:00:07,ip=198.18.0.40,mask=255.255.255.0,"
                        "gateway=198.18.0.254")});
    Q_ASSERT(list.ok());
    return list.devices;
}

QByteArray writeFor(const QString &mac, const QString &address, const QString &mask, const QString &gateway)
{
    static quint32 seq = 0;
    return Frame::encodeWrite(
        Frame::writeValuesFromTexts({mac, mac, QStringLiteral("PACKLINE-HMI"), address, mask, gateway}), seq++);
}

} // namespace

class TestSimulator : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void searchIsAnsweredOncePerDevice();
    void ledFollowsCommandsAndStopsByItself();
    void writeTakesEffectAfterSilentRestart();
    void refusedWriteChangesNothing();
    void strayDatagramsAreReportedAndNotAnswered();
    void junkIsMixedInWithTheReplies();

    void programExitCodes_data();
    void programExitCodes();
    void programEndsCleanlyOnSignals_data();
    void programEndsCleanlyOnSignals();

private:
    void startSimulator(int junkPerSearch = 0);
    void sendToSimulator(const QByteArray &datagram);
    QList<QByteArray> receiveAtTool(int count);
    bool reported(const QString &start) const;

    QUdpSocket *tool = nullptr;
    DevSim::Simulator *simulator = nullptr;
    QStringList reports;
};

void TestSimulator::initTestCase()
{
    KVR_REQUIRE_ISOLATED_NETWORK();
}

void TestSimulator::init()
{
    tool = new QUdpSocket(this);
    QVERIFY(tool->bind(toolAddress, Frame::DevicePort));
    reports.clear();
}

void TestSimulator::cleanup()
{
    delete simulator;
    delete tool;
    simulator = nullptr;
    tool = nullptr;
}

void TestSimulator::startSimulator(int junkPerSearch)
{
    DevSim::SimulatorOptions options;
    options.bindAddress = simulatorAddress;
    options.restartMs = RestartMs;
    options.ledTimeoutMs = LedTimeoutMs;
    options.junkPerSearch = junkPerSearch;
    simulator = new DevSim::Simulator(threeDevices(), options);
    connect(simulator, &DevSim::Simulator::report, this, [this](const QString &line) { reports.append(line); });
    QCOMPARE(simulator->start(), std::nullopt);
    QCOMPARE(reports.size(), 4);
    QCOMPARE(reports.first(), QStringLiteral("device PLC \"FILLER-PLC-02\" 02:4B:56:10:00:02 198.18.0.11/24 "
                                             "gateway 198.18.0.254 version 1.3.2.0 points 0.32.0.24"));
    QCOMPARE(reports.last(), QStringLiteral("listening on 127.0.0.3:102 as 3 devices"));
    reports.clear();
}

void TestSimulator::sendToSimulator(const QByteArray &datagram)
{
    QCOMPARE(tool->writeDatagram(datagram, simulatorAddress, Frame::DevicePort), datagram.size());
}

QList<QByteArray> TestSimulator::receiveAtTool(int count)
{
    // The simulator lives in this thread: the event loop must run while we wait.
    QList<QByteArray> datagrams;
    QDeadlineTimer deadline(5000);
    while (datagrams.size() < count && !deadline.hasExpired()) {
        if (tool->hasPendingDatagrams())
            datagrams.append(tool->receiveDatagram().data());
        else
            QTest::qWait(5);
    }
    return datagrams;
}

bool TestSimulator::reported(const QString &start) const
{
    return std::any_of(reports.cbegin(), reports.cend(), [&](const QString &line) { return line.startsWith(start); });
}

void TestSimulator::searchIsAnsweredOncePerDevice()
{
    startSimulator();
    sendToSimulator(Frame::encodeSearch(0));
    QList<QByteArray> replies = receiveAtTool(3);
    QCOMPARE(replies.size(), 3);

    const Frame::Decoded first = Frame::decode(replies[0]);
    QVERIFY(first.accepted);
    QCOMPARE(first.reply.type, QByteArray("PLC"));
    QCOMPARE(first.reply.name, QByteArray("FILLER-PLC-02"));
    QCOMPARE(first.reply.mac, hex("024B56100002"));
    QCOMPARE(first.reply.netAddr, hex("C612000B FFFFFF00 C61200FE"));
    QCOMPARE(first.reply.swVersion, hex("01030200"));
    QCOMPARE(first.reply.points, hex("00200018"));
    QCOMPARE(Frame::decode(replies[1]).reply.type, QByteArray("HMI"));
    QVERIFY(Frame::decode(replies[1]).reply.points.isEmpty());
    QCOMPARE(Frame::decode(replies[2]).reply.mac, hex("024B56400007"));
    QCOMPARE(reports, QStringList{QStringLiteral("search from 127.0.0.4:102 answered by 3 of 3 devices")});

    // Each device numbers its own frames.
    sendToSimulator(Frame::encodeSearch(1));
    replies = receiveAtTool(3);
    QCOMPARE(replies.size(), 3);
    QCOMPARE(replies[2].mid(14, 4), hex("00000001"));
    QTest::qWait(50);
    QVERIFY(!tool->hasPendingDatagrams());
}

void TestSimulator::ledFollowsCommandsAndStopsByItself()
{
    startSimulator();
    const QString led = QStringLiteral("led \"FILLER-PLC-02\" 02:4B:56:10:00:02 ");
    sendToSimulator(Frame::encodeLed(hex("024B56100002"), Frame::LedCommand::Flash, 0));
    QTRY_VERIFY(simulator->isFlashing(0));
    QCOMPARE(reports, QStringList{led + QLatin1String("flashing")});

    // Repeated flash commands keep it flashing without another line; off stops it at once.
    sendToSimulator(Frame::encodeLed(hex("024B56100002"), Frame::LedCommand::Flash, 1));
    sendToSimulator(Frame::encodeLed(hex("024B56100002"), Frame::LedCommand::Off, 2));
    QTRY_VERIFY(!simulator->isFlashing(0));
    QCOMPARE(reports, (QStringList{led + QLatin1String("flashing"), led + QLatin1String("off")}));
    QVERIFY(!simulator->isFlashing(1));

    // A tool that stops sending flash commands does not leave the device flashing.
    reports.clear();
    sendToSimulator(Frame::encodeLed(hex("024B56100002"), Frame::LedCommand::Flash, 3));
    QTRY_VERIFY_WITH_TIMEOUT(!reports.isEmpty() && !simulator->isFlashing(0) && reports.size() == 2, 5000);
    QCOMPARE(reports.last(), led + QLatin1String("off: no flash command for 300 ms"));
    QVERIFY(!tool->hasPendingDatagrams());
}

void TestSimulator::writeTakesEffectAfterSilentRestart()
{
    startSimulator();
    sendToSimulator(Frame::encodeLed(hex("024B56200001"), Frame::LedCommand::Flash, 0));
    sendToSimulator(writeFor(QStringLiteral("02:4B:56:20:00:01"), QStringLiteral("198.18.0.50"),
                             QStringLiteral("255.255.255.0"), QStringLiteral("198.18.0.1")));
    QTRY_VERIFY(simulator->isRestarting(1));
    QVERIFY(!simulator->isFlashing(1));
    QVERIFY(reports.contains(QStringLiteral("led \"PACKLINE-HMI\" 02:4B:56:20:00:01 off: restarting")));
    QVERIFY(reports.contains(QStringLiteral("write \"PACKLINE-HMI\" 02:4B:56:20:00:01 accepted: restarting for "
                                            "300 ms as HMI \"PACKLINE-HMI\" 02:4B:56:20:00:01 198.18.0.50/24 "
                                            "gateway 198.18.0.1 version 2.0.4")));

    // Silent while it restarts: the other two answer, LED frames for it are ignored.
    sendToSimulator(Frame::encodeSearch(1));
    sendToSimulator(Frame::encodeLed(hex("024B56200001"), Frame::LedCommand::Flash, 2));
    QList<QByteArray> replies = receiveAtTool(2);
    QCOMPARE(replies.size(), 2);
    QCOMPARE(Frame::decode(replies[1]).reply.type, QByteArray("VFD"));
    QTRY_VERIFY(reported(QStringLiteral("ignored LED frame from 127.0.0.4:102: \"PACKLINE-HMI\" "
                                        "02:4B:56:20:00:01 is restarting")));
    QVERIFY(reports.contains(QStringLiteral("search from 127.0.0.4:102 answered by 2 of 3 devices, 1 restarting")));
    QVERIFY(simulator->isRestarting(1));
    QCOMPARE(simulator->devices()[1].net.address, 0xC6120014u); // not yet

    QTRY_VERIFY_WITH_TIMEOUT(reported(QStringLiteral("restarted HMI \"PACKLINE-HMI\" 02:4B:56:20:00:01 "
                                                     "198.18.0.50/24 gateway 198.18.0.1")), 5000);
    sendToSimulator(Frame::encodeSearch(3));
    replies = receiveAtTool(3);
    QCOMPARE(replies.size(), 3);
    QCOMPARE(Frame::decode(replies[1]).reply.netAddr, hex("C6120032 FFFFFF00 C6120001"));
    QCOMPARE(simulator->devices()[1].net.gateway, 0xC6120001u);
}

void TestSimulator::refusedWriteChangesNothing()
{
    startSimulator();
    const QList<DevSim::SimDevice> before = simulator->devices();
    sendToSimulator(writeFor(QStringLiteral("02:4B:56:20:00:01"), QStringLiteral("198.18.0.50"),
                             QStringLiteral("255.255.0.255"), QStringLiteral("198.18.0.1")));
    sendToSimulator(writeFor(QStringLiteral("02:4B:56:20:00:01"), QStringLiteral("198.18.0.50"),
                             QStringLiteral("255.255.255.0"), QStringLiteral("198.18.1.1")));
    QTRY_COMPARE(reports.size(), 2);
    QCOMPARE(reports, (QStringList{
                          QStringLiteral("write \"PACKLINE-HMI\" 02:4B:56:20:00:01 refused: subnet mask "
                                         "255.255.0.255 is not a valid prefix"),
                          QStringLiteral("write \"PACKLINE-HMI\" 02:4B:56:20:00:01 refused: gateway 198.18.1.1 "
                                         "is outside the subnet 198.18.0.0/24"),
                      }));
    QVERIFY(!simulator->isRestarting(1));
    QCOMPARE(simulator->devices()[1].net, before[1].net);
    sendToSimulator(Frame::encodeSearch(0));
    QCOMPARE(receiveAtTool(3).size(), 3);
}

void TestSimulator::strayDatagramsAreReportedAndNotAnswered()
{
    startSimulator();
    QByteArray badMagic = Frame::encodeSearch(0);
    badMagic[0] = 'k';
    sendToSimulator(badMagic);
    sendToSimulator(Frame::encodeReply(1, DevSim::replyFields(threeDevices()[0]), 0));
    sendToSimulator(Frame::encodeLed(hex("020000000009"), Frame::LedCommand::Flash, 0));
    sendToSimulator(writeFor(QStringLiteral("02:00:00:00:00:09"), QStringLiteral("198.18.0.50"),
                             QStringLiteral("255.255.255.0"), QStringLiteral("198.18.0.1")));
    sendToSimulator(Frame::encodeSearch(1));

    // Nothing goes back for the strays: the first datagram the tool gets answers the search.
    const QList<QByteArray> replies = receiveAtTool(3);
    QCOMPARE(replies.size(), 3);
    QVERIFY(Frame::decode(replies[0]).accepted);
    QCOMPARE(reports, (QStringList{
                          QStringLiteral("rejected 46 bytes from 127.0.0.4:102: not a KORVEL frame"),
                          QStringLiteral("rejected 97 bytes from 127.0.0.4:102: sent by a device (type code 1), "
                                         "not by a tool"),
                          QStringLiteral("ignored LED frame from 127.0.0.4:102: target MAC 02:00:00:00:00:09 is "
                                         "none of ours"),
                          QStringLiteral("ignored write frame from 127.0.0.4:102: target MAC 02:00:00:00:00:09 is "
                                         "none of ours"),
                          QStringLiteral("search from 127.0.0.4:102 answered by 3 of 3 devices"),
                      }));
}

void TestSimulator::junkIsMixedInWithTheReplies()
{
    startSimulator(30);
    sendToSimulator(Frame::encodeSearch(0));
    const QList<QByteArray> datagrams = receiveAtTool(33);
    QCOMPARE(datagrams.size(), 33);
    QList<int> acceptedAt;
    for (int i = 0; i < datagrams.size(); ++i) {
        if (Frame::decode(datagrams[i]).accepted)
            acceptedAt.append(i);
    }
    // One reply per device, each followed by its share of the junk.
    QCOMPARE(acceptedAt, (QList<int>{0, 11, 22}));
    QCOMPARE(reports, QStringList{QStringLiteral("search from 127.0.0.4:102 answered by 3 of 3 devices, "
                                                 "30 junk datagrams mixed in")});
}

void TestSimulator::programExitCodes_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");

    QTest::newRow("help") << QStringList{QStringLiteral("--help")} << 0 << "--restart-ms <ms>";
    QTest::newRow("unknown option") << QStringList{QStringLiteral("--restart")} << 2 << "Unknown option 'restart'";
    QTest::newRow("stray argument") << QStringList{QStringLiteral("devices.json")} << 2 << "unexpected argument";
    QTest::newRow("negative junk") << QStringList{QStringLiteral("--junk"), QStringLiteral("-1")} << 2 << "--junk 0 to";
    QTest::newRow("bind to a name") << QStringList{QStringLiteral("--bind"), QStringLiteral("localhost")} << 2
                                    << "--bind needs an IPv4 address";
    QTest::newRow("missing device file") << QStringList{QStringLiteral("-f"), QStringLiteral("/nonexistent.json")}
                                         << 2 << "cannot read /nonexistent.json";
    QTest::newRow("both kinds of device list")
        << QStringList{QStringLiteral("-f"), QStringLiteral("x.json"), QStringLiteral("--device"), QStringLiteral("type=PLC")}
        << 2 << "one of --devices, --device and --generate";
    QTest::newRow("too many generated devices") << QStringList{QStringLiteral("--generate"), QStringLiteral("1001")}
                                                << 2 << "--generate takes 1 to 1000";
    QTest::newRow("unusable device") << QStringList{QStringLiteral("--device"), QStringLiteral("type=PLC,name=ABC")}
                                     << 2 << "--device 1: \"mac\" is missing";
    QTest::newRow("address taken by another simulator")
        << QStringList{QStringLiteral("--bind"), QStringLiteral("127.0.0.3")} << 3 << "cannot bind 127.0.0.3:102";
    QTest::newRow("address not on this host")
        << QStringList{QStringLiteral("--bind"), QStringLiteral("198.51.100.1")} << 3 << "cannot bind 198.51.100.1:102";
}

void TestSimulator::programExitCodes()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, message);

    startSimulator(); // holds 127.0.0.3
    QProcess program;
    program.start(QStringLiteral(KVR_DEVSIM_PATH), arguments);
    QVERIFY(program.waitForFinished(10000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), exitCode);
    const QString output = QString::fromUtf8(exitCode == 0 ? program.readAllStandardOutput()
                                                           : program.readAllStandardError());
    QVERIFY2(output.contains(message), qPrintable(output));
}

void TestSimulator::programEndsCleanlyOnSignals_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("Ctrl-C") << SIGINT;
    QTest::newRow("SIGTERM") << SIGTERM;
}

void TestSimulator::programEndsCleanlyOnSignals()
{
    QFETCH(int, signal);
    QProcess program;
    program.start(QStringLiteral(KVR_DEVSIM_PATH), {QStringLiteral("--bind"), QStringLiteral("127.0.0.5")});
    QByteArray output;
    QVERIFY(QTest::qWaitFor([&] {
        output += program.readAllStandardOutput();
        return output.contains("listening on 127.0.0.5:102 as 5 devices\n");
    }, 10000));

    // It answers while it runs.
    QCOMPARE(tool->writeDatagram(Frame::encodeSearch(0), QHostAddress(QStringLiteral("127.0.0.5")), Frame::DevicePort), 46);
    QCOMPARE(receiveAtTool(5).size(), 5);

    ::kill(pid_t(program.processId()), signal);
    QVERIFY(program.waitForFinished(10000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    const QList<QByteArray> lines = (output + program.readAllStandardOutput()).trimmed().split('\n');
    QVERIFY(lines.last().endsWith(" stopped"));
    QVERIFY(std::any_of(lines.cbegin(), lines.cend(), [](const QByteArray &line) {
        return line.contains("search from 127.0.0.4:102 answered by 5 of 5 devices");
    }));
}

QTEST_GUILESS_MAIN(TestSimulator)
#include "tst_simulator.moc"
