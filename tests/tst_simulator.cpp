// The device simulator, a test tool: which write frames a device takes, its refusal of every other
// stray datagram, its LED time-out, its silence while it restarts, and the program's exit codes.
// It listens on 127.0.0.3, where the PLC sits; the test plays the tool on 127.0.0.4:102.
// Searches, LED commands and accepted writes across a network are left to tst_endtoend.

#include "protocol/frame.h"
#include "simulator.h"
#include "support/testsupport.h"

#include <QNetworkDatagram>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <QUdpSocket>
#include <QtEndian>

#include <csignal>
#include <memory>

using kvrtest::hex;
using kvrtest::rawFrame;

namespace {

const QByteArray plcMac = hex("024B56100002");
const QByteArray hmiMac = hex("024B56200001");
const QByteArray netBytes = hex("C6120032 FFFFFF00 C61200FE");

// A report line about the PLC: %1 stands for its name and MAC.
QString plcReport(const char *text)
{
    return QString::fromLatin1(text).arg(QStringLiteral("\"FILLER-PLC-02\" 02:4B:56:10:00:02"));
}

QList<DevSim::SimDevice> twoDevices()
{
    DevSim::DeviceList list = DevSim::devicesFromOptions(
        {QStringLiteral("type=PLC,name=FILLER-PLC-02,mac=02:4B:56:10:00:02,ip=198.18.0.11,mask=255.255.255.0,"
                        "gateway=198.18.0.254"),
         QStringLiteral("type=HMI,name=PACKLINE-HMI,mac=02:4B:56:20:00:01,ip=198.18.0.20,mask=255.255.255.0,"
                        "gateway=198.18.0.254")});
    list.devices[0].net.ip = 0x7F000003; // frames to the simulator's own address are the PLC's
    return list.devices;
}

// A write frame for the PLC as the tool builds it from the detail window's texts.
QByteArray writeFrame(const char *name, const char *address, const char *mask, const char *gateway,
                      const char *mac = "02:4B:56:10:00:02")
{
    const auto text = [](const char *latin1) { return QString::fromLatin1(latin1); };
    return Frame::encodeWrite(Frame::writeValuesFromTexts({text("02:4B:56:10:00:02"), text(mac), text(name),
                                                           text(address), text(mask), text(gateway)}), 4);
}

} // namespace

class TestSimulator : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { KVR_REQUIRE_ISOLATED_NETWORK(); }
    void init();
    void cleanup();

    void writeFrameChecks_data();
    void writeFrameChecks();
    void strayDatagramsAreRefusedUnanswered_data();
    void strayDatagramsAreRefusedUnanswered();
    void everyCutOfAWriteIsRefused();
    void flashingStopsWithoutFlashCommands();
    void silentWhileRestarting();
    void programExitCodes_data();
    void programExitCodes();

private:
    void send(const QByteArray &datagram);
    QList<QByteArray> receive(int count);

    std::unique_ptr<QUdpSocket> tool;
    std::unique_ptr<DevSim::Simulator> simulator;
    QStringList reports;
};

void TestSimulator::init()
{
    cleanup(); // QtTest skips it after a failed init()
    tool = std::make_unique<QUdpSocket>();
    QVERIFY(tool->bind(QHostAddress(QStringLiteral("127.0.0.4")), Frame::DevicePort));
    DevSim::SimulatorOptions options;
    options.bindAddress = QHostAddress(QStringLiteral("127.0.0.3"));
    options.restartMs = 300;
    options.ledTimeoutMs = 300;
    simulator = std::make_unique<DevSim::Simulator>(twoDevices(), options);
    connect(simulator.get(), &DevSim::Simulator::report, this, [this](const QString &line) { reports.append(line); });
    QCOMPARE(simulator->start(), std::nullopt);
    // Whoever waits for the listening line has seen the whole start-up report.
    QCOMPARE(reports.size(), 3);
    QCOMPARE(reports.last(), QStringLiteral("listening on 127.0.0.3:102 as 2 devices"));
    reports.clear();
}

void TestSimulator::cleanup()
{
    simulator.reset();
    tool.reset();
    reports.clear();
}

void TestSimulator::send(const QByteArray &datagram)
{
    QCOMPARE(tool->writeDatagram(datagram, QHostAddress(QStringLiteral("127.0.0.3")), Frame::DevicePort),
             datagram.size());
}

QList<QByteArray> TestSimulator::receive(int count)
{
    // The simulator lives in this thread: the event loop must run while we wait.
    QList<QByteArray> datagrams;
    [[maybe_unused]] const bool all = QTest::qWaitFor([&] {
        while (tool->hasPendingDatagrams())
            datagrams.append(tool->receiveDatagram().data());
        return datagrams.size() >= count;
    }, 5000);
    return datagrams;
}

void TestSimulator::writeFrameChecks_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QString>("refusal"); // empty when the device takes the settings

    QTest::newRow("the tool's write, name padding removed")
        << writeFrame("FILLER-PLC-02", "198.18.0.50", "255.255.255.0", "198.18.0.254") << QString();
    QTest::newRow("/30 has room for host and gateway")
        << writeFrame("ABCDEF", "198.18.0.1", "255.255.255.252", "198.18.0.2") << QString();
    QTest::newRow("new MAC of its own")
        << writeFrame("ABCDEF", "198.18.0.50", "255.255.255.0", "198.18.0.254", "02:4B:56:10:00:99") << QString();
    QTest::newRow("fields in another order")
        << rawFrame(0xF0, 4, {{4, netBytes}, {2, "FILLER-PLC-02   "}, {1, plcMac}, {8, plcMac}}) << QString();

    QTest::newRow("the tool's write with an incomplete address")
        << writeFrame("FILLER-PLC-02", "198.18.0", "255.255.255.0", "198.18.0.254")
        << "declared length 90 differs from its size 89";
    QTest::newRow("no name field") << rawFrame(0xF0, 3, {{8, plcMac}, {1, plcMac}, {4, netBytes}})
                                   << "fields of types 8, 1, 4 make no known command";
    QTest::newRow("repeated field") << rawFrame(0xF0, 4, {{8, plcMac}, {1, plcMac}, {1, plcMac}, {4, netBytes}})
                                    << "field type 1 appears twice";
    QTest::newRow("15-byte name")
        << rawFrame(0xF0, 4, {{8, plcMac}, {1, plcMac}, {2, "ABCDEFGHIJKLMNO"}, {4, netBytes}})
        << "name has 15 bytes, not 16";
    QTest::newRow("7-byte MAC")
        << rawFrame(0xF0, 4, {{8, plcMac}, {1, plcMac + 'x'}, {2, "ABCDEFGHIJKLMNOP"}, {4, netBytes}})
        << "MAC to set has 7 bytes, not 6";
    QTest::newRow("13 address bytes")
        << rawFrame(0xF0, 4, {{8, plcMac}, {1, plcMac}, {2, "ABCDEFGHIJKLMNOP"}, {4, netBytes + 'x'}})
        << "network value has 13 bytes, not 12";

    QTest::newRow("name too short once unpadded")
        << rawFrame(0xF0, 4, {{8, plcMac}, {1, plcMac}, {2, "ABC             "}, {4, netBytes}})
        << "name \"ABC\" has 3 characters, not 6 to 16";
    QTest::newRow("Latin-1 letter in the name")
        << writeFrame("K\xE4seREI", "198.18.0.50", "255.255.255.0", "198.18.0.254")
        << "name contains the byte 0xe4, not printable ASCII";
    QTest::newRow("MAC of another device")
        << writeFrame("ABCDEF", "198.18.0.50", "255.255.255.0", "198.18.0.254", "02:4B:56:20:00:01")
        << "MAC 02:4B:56:20:00:01 belongs to another device";
    QTest::newRow("broadcast MAC")
        << writeFrame("ABCDEF", "198.18.0.50", "255.255.255.0", "198.18.0.254", "FF:FF:FF:FF:FF:FF")
        << "MAC FF:FF:FF:FF:FF:FF is a group address, not a device's";
    QTest::newRow("MAC of zeros")
        << writeFrame("ABCDEF", "198.18.0.50", "255.255.255.0", "198.18.0.254", "00:00:00:00:00:00")
        << "MAC 00:00:00:00:00:00 is no device's address";
    QTest::newRow("mask with a hole") << writeFrame("ABCDEF", "198.18.0.50", "255.255.0.255", "198.18.0.254")
                                      << "subnet mask 255.255.0.255 is not a valid prefix";
    QTest::newRow("mask of zeros") << writeFrame("ABCDEF", "198.18.0.50", "0.0.0.0", "198.18.0.254")
                                   << "subnet mask 0.0.0.0 is not a valid prefix";
    QTest::newRow("/31") << writeFrame("ABCDEF", "198.18.0.0", "255.255.255.254", "198.18.0.1")
                         << "subnet mask 255.255.255.254 leaves no room for a host and a gateway";
    QTest::newRow("network address") << writeFrame("ABCDEF", "198.18.0.0", "255.255.255.0", "198.18.0.254")
                                     << "IP address 198.18.0.0 is the subnet's network address";
    QTest::newRow("broadcast address") << writeFrame("ABCDEF", "198.18.0.255", "255.255.255.0", "198.18.0.254")
                                       << "IP address 198.18.0.255 is the subnet's broadcast address";
    QTest::newRow("loopback address") << writeFrame("ABCDEF", "127.0.0.5", "255.0.0.0", "127.0.0.1")
                                      << "IP address 127.0.0.5 is not a unicast host address";
    QTest::newRow("multicast address") << writeFrame("ABCDEF", "224.0.0.5", "255.255.255.0", "224.0.0.1")
                                       << "IP address 224.0.0.5 is not a unicast host address";
    QTest::newRow("gateway outside the subnet")
        << writeFrame("ABCDEF", "198.18.0.50", "255.255.255.128", "198.18.0.254")
        << "gateway 198.18.0.254 is outside the subnet 198.18.0.0/25";
    QTest::newRow("gateway is the device") << writeFrame("ABCDEF", "198.18.0.50", "255.255.255.0", "198.18.0.50")
                                           << "gateway 198.18.0.50 is the device's own address";
    QTest::newRow("gateway is the broadcast address")
        << writeFrame("ABCDEF", "198.18.0.50", "255.255.255.0", "198.18.0.255")
        << "gateway 198.18.0.255 is the subnet's broadcast address";
}

void TestSimulator::writeFrameChecks()
{
    QFETCH(QByteArray, frame);
    QFETCH(QString, refusal);

    const DevSim::ParsedToolFrame parsed = DevSim::parseToolFrame(frame);
    if (!parsed.command) {
        QCOMPARE(parsed.rejection, refusal);
        return;
    }
    const Frame::WriteValues &write = parsed.command->write;
    const DevSim::WriteDecision decision = DevSim::checkWrite(twoDevices()[0], write, {hmiMac});
    QCOMPARE(decision.refusal, refusal);
    QCOMPARE(decision.updated.has_value(), refusal.isEmpty());
    if (decision.updated) {
        QCOMPARE(decision.updated->name, write.name.trimmed());
        QCOMPARE(decision.updated->mac, write.mac);
        QCOMPARE(AddressCheck::settingsBytes(decision.updated->net), write.netAddr);
    }
}

void TestSimulator::strayDatagramsAreRefusedUnanswered_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<QString>("report");

    QByteArray badMagic = Frame::encodeSearch(0);
    badMagic[5] = 'l';
    QByteArray countSeven = Frame::encodeSearch(0);
    countSeven[9] = 7;
    const auto rejected = [](int size, const char *why) {
        return QStringLiteral("rejected %1 bytes from 127.0.0.4:102: %2").arg(size).arg(QLatin1String(why));
    };
    QTest::newRow("runt") << QByteArray(17, 'K') << rejected(17, "17 bytes are too short for a header");
    QTest::newRow("bad magic") << badMagic << rejected(46, "not a KORVEL frame");
    QTest::newRow("count 7") << countSeven << rejected(46, "field count 7 is outside 1 to 6");
    QTest::newRow("a device's reply") << Frame::encodeReply(2, DevSim::replyFields(twoDevices()[1]), 0)
                                      << rejected(96, "sent by a device (type code 2), not by a tool");
    QTest::newRow("unknown field type") << rawFrame(0xF0, 1, {{7, std::nullopt}})
                                        << rejected(22, "field 1 has the unknown type 7");
    QTest::newRow("negative field type") << rawFrame(0xF0, 1, {{-1, hex("00")}})
                                         << rejected(27, "field 1 has the unknown type -1");
    QTest::newRow("bytes after the last field") << rawFrame(0xF0, 1, {{0, hex("00000001")}}, 32) + "xx"
                                                << rejected(32, "2 stray bytes after the last field");
    QTest::newRow("the tool's LED frame for an empty MAC text")
        << Frame::encodeLed(QByteArray(), Frame::LedCommand::Flash, 0)
        << rejected(36, "declared length 42 differs from its size 36");
    QTest::newRow("LED command 1") << rawFrame(0xF0, 2, {{8, plcMac}, {6, hex("0001")}})
                                   << rejected(42, "LED command 1 is neither 0 (off) nor 2 (flash)");
    QTest::newRow("LED value of 4 bytes") << rawFrame(0xF0, 2, {{8, plcMac}, {6, hex("00000002")}})
                                          << rejected(44, "LED value has 4 bytes, not 2");
    QTest::newRow("LED for a 5-byte MAC") << rawFrame(0xF0, 2, {{8, plcMac.left(5)}, {6, hex("0002")}})
                                          << rejected(41, "target MAC has 5 bytes, not 6");
    QTest::newRow("LED for no device of ours")
        << Frame::encodeLed(hex("020000000009"), Frame::LedCommand::Flash, 0)
        << "ignored LED frame from 127.0.0.4:102: target MAC 02:00:00:00:00:09 is none of ours";
    QTest::newRow("write for no device of ours")
        << writeFrame("ABCDEF", "198.18.0.50", "255.255.255.0", "198.18.0.254").replace(plcMac, hex("020000000009"))
        << "ignored write frame from 127.0.0.4:102: target MAC 02:00:00:00:00:09 is none of ours";
    // A device hears only frames sent to its own address, whatever MAC they name.
    QTest::newRow("LED for the HMI sent to the PLC's address")
        << Frame::encodeLed(hmiMac, Frame::LedCommand::Flash, 0)
        << plcReport("ignored LED frame from 127.0.0.4:102: sent to 127.0.0.3, the address of %1, "
                     "not of \"PACKLINE-HMI\" 02:4B:56:20:00:01");
    QTest::newRow("refused write") << writeFrame("ABCDEF", "198.18.0.50", "255.255.0.255", "198.18.0.254")
                                   << plcReport("write %1 refused: subnet mask 255.255.0.255 is not a valid prefix");
}

void TestSimulator::strayDatagramsAreRefusedUnanswered()
{
    QFETCH(QByteArray, datagram);
    QFETCH(QString, report);

    send(datagram);
    send(Frame::encodeSearch(1));
    // The stray changes nothing: no LED, no restart, and the search is answered by both devices.
    QCOMPARE(receive(2).size(), 2);
    QCOMPARE(reports, (QStringList{report, QStringLiteral("search from 127.0.0.4:102 answered by 2 of 2 devices")}));
}

void TestSimulator::everyCutOfAWriteIsRefused()
{
    // Every prefix of a write, with a length field that agrees where there is one: the simulator
    // walks each as far as it goes and refuses it for the field it cannot read whole.
    const QByteArray write = writeFrame("FILLER-PLC-02", "198.18.0.50", "255.255.255.0", "198.18.0.254");
    for (int size = 0; size < write.size(); ++size) {
        QByteArray cut = write.left(size);
        if (size >= 14)
            qToBigEndian(quint32(size), cut.data() + 10);
        send(cut);
    }
    send(Frame::encodeSearch(1));
    QCOMPARE(receive(2).size(), 2);
    QCOMPARE(reports.size(), write.size() + 1);
    const QString reason = QStringLiteral("^rejected %1 bytes .*(short for a header|missing|no value|past the end)$");
    for (qsizetype size = 0; size < write.size(); ++size)
        QVERIFY2(reports[size].contains(QRegularExpression(reason.arg(size))), qPrintable(reports[size]));
}

void TestSimulator::flashingStopsWithoutFlashCommands()
{
    send(Frame::encodeLed(plcMac, Frame::LedCommand::Flash, 0));
    // A tool that stops sending flash commands does not leave the device flashing.
    QTRY_COMPARE_WITH_TIMEOUT(reports.size(), 2, 5000);
    QCOMPARE(reports,
             (QStringList{plcReport("led %1 flashing"), plcReport("led %1 off: no flash command for 300 ms")}));
}

void TestSimulator::silentWhileRestarting()
{
    // All sent at once, so that the simulator reads them in one go, well within the restart.
    send(Frame::encodeLed(plcMac, Frame::LedCommand::Flash, 0));
    send(writeFrame("FILLER-PLC-02", "198.18.0.50", "255.255.255.0", "198.18.0.254"));
    send(Frame::encodeLed(plcMac, Frame::LedCommand::Flash, 2));
    send(Frame::encodeSearch(3));
    const QList<QByteArray> replies = receive(1);
    QCOMPARE(replies.size(), 1);
    QCOMPARE(Frame::decode(replies[0]).reply.mac, hmiMac);
    QCOMPARE(reports, (QStringList{
                          plcReport("led %1 flashing"),
                          plcReport("led %1 off: restarting"),
                          plcReport("write %1 accepted: restarting for 300 ms as PLC %1 198.18.0.50/24 "
                                    "gateway 198.18.0.254"),
                          plcReport("ignored LED frame from 127.0.0.4:102: %1 is restarting"),
                          QStringLiteral("search from 127.0.0.4:102 answered by 1 of 2 devices, 1 restarting"),
                      }));
    QCOMPARE(simulator->devices()[0].net.ip, 0x7F000003u); // not before the restart is over
}

void TestSimulator::programExitCodes_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("signal"); // sent once it listens
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("output");

    const auto args = [](const char *text) { return QString::fromLatin1(text).split(u' '); };
    QTest::newRow("help") << args("--help") << 0 << 0 << "--restart-ms <ms>";
    QTest::newRow("Ctrl-C") << args("--bind 127.0.0.5") << SIGINT << 0 << " stopped\n";
    QTest::newRow("SIGTERM") << args("--bind 127.0.0.5") << SIGTERM << 0 << " stopped\n";
    QTest::newRow("unknown option") << args("--restart") << 0 << 2 << "Unknown option 'restart'";
    QTest::newRow("stray argument") << args("devices.json") << 0 << 2 << "unexpected argument";
    QTest::newRow("negative junk") << args("--junk -1") << 0 << 2 << "--junk 0 to";
    QTest::newRow("bind to a name") << args("--bind localhost") << 0 << 2 << "--bind needs an IPv4 address";
    QTest::newRow("missing device file") << args("-f /nonexistent.json") << 0 << 2 << "cannot read /nonexistent.json";
    QTest::newRow("two kinds of device list") << args("-f x.json --device type=PLC") << 0 << 2
                                              << "one of --devices, --device and --generate";
    QTest::newRow("too many generated devices") << args("--generate 1001") << 0 << 2 << "--generate takes 1 to 1000";
    QTest::newRow("device without a MAC") << args("--device type=PLC,name=ABC") << 0 << 2
                                          << "--device 1: \"mac\" is missing";
    QTest::newRow("gateway in another subnet")
        << args("--device type=PLC,name=ABCDEF,mac=02:4B:56:10:00:02,ip=198.18.0.11,mask=255.255.255.0,"
                "gateway=198.18.1.254")
        << 0 << 2 << "gateway 198.18.1.254 is outside the subnet 198.18.0.0/24";
    QTest::newRow("address taken by another simulator") << args("--bind 127.0.0.3") << 0 << 3
                                                         << "cannot bind 127.0.0.3:102";
    QTest::newRow("address not on this host") << args("--bind 198.51.100.1") << 0 << 3
                                              << "cannot bind 198.51.100.1:102";
}

void TestSimulator::programExitCodes()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, signal);
    QFETCH(int, exitCode);
    QFETCH(QString, output);

    QProcess program;
    program.start(QStringLiteral(KVR_DEVSIM_PATH), arguments);
    QByteArray printed;
    if (signal != 0) {
        QVERIFY(QTest::qWaitFor([&] { return (printed += program.readAllStandardOutput()).contains("listening"); },
                                10000));
        ::kill(pid_t(program.processId()), signal);
    }
    QVERIFY(program.waitForFinished(10000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), exitCode);
    printed += exitCode == 0 ? program.readAllStandardOutput() : program.readAllStandardError();
    QVERIFY2(printed.contains(output.toUtf8()), printed.constData());
}

QTEST_GUILESS_MAIN(TestSimulator)
#include "tst_simulator.moc"
