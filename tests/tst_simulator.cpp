// The device simulator, a test tool: which frames a device takes and how it refuses the others,
// its LED time-out, its silence while it restarts, the program's exit codes, and what makes a
// simulator's run count as failed. It listens on 127.0.0.3, where the PLC sits; the
// test plays the tool on 127.0.0.4:102. Searches, LED commands, accepted writes, lost and late
// replies across a network are left to tst_endtoend and tst_cli.

#include "protocol/frame.h"
#include "simulator.h"
#include "support/simulatorprocess.h"
#include "support/testsupport.h"

#include <QNetworkDatagram>
#include <QProcess>
#include <QTest>
#include <QUdpSocket>

#include <memory>

using namespace Qt::StringLiterals;

using kvrtest::hex;
using kvrtest::rawFrame;

namespace {

const QByteArray plcMac = hex("024B56100002");
const QByteArray hmiMac = hex("024B56200001");
const QByteArray netBytes = hex("C6120032 FFFFFF00 C61200FE");

// A report line about the PLC: %1 stands for its name and MAC.
QString plcReport(const char *text)
{
    return QString::fromLatin1(text).arg(u"\"FILLER-PLC-02\" 02:4B:56:10:00:02"_s);
}

QList<DevSim::SimDevice> twoDevices()
{
    DevSim::DeviceList list = DevSim::devicesFromOptions(
        {u"type=PLC,name=FILLER-PLC-02,mac=02:4B:56:10:00:02,ip=198.18.0.11,mask=255.255.255.0,gateway=198.18.0.254"_s,
         u"type=HMI,name=PACKLINE-HMI,mac=02:4B:56:20:00:01,ip=198.18.0.20,mask=255.255.255.0,gateway=198.18.0.254"_s});
    list.devices[0].net.ip = 0x7F000003; // frames to the simulator's own address are the PLC's
    return list.devices;
}

// A write frame for the PLC as the tool builds it from the detail window's texts: IP address, mask
// and gateway in one text, the MAC and the name.
QByteArray write(const char *settings, const char *mac = "02:4B:56:10:00:02", const char *name = "ABCDEF")
{
    const QStringList texts = QString::fromLatin1(settings).split(u' ');
    return Frame::encodeWrite(Frame::writeValuesFromTexts({u"02:4B:56:10:00:02"_s, QString::fromLatin1(mac), QString::fromLatin1(name),
                                                           texts.value(0), texts.value(1), texts.value(2)}), 4);
}

} // namespace

class TestSimulator : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { KVR_REQUIRE_ISOLATED_NETWORK(); }
    void init()
    {
        cleanup(); // QtTest skips it after a failed init()
        tool = std::make_unique<QUdpSocket>();
        QVERIFY(tool->bind(QHostAddress(u"127.0.0.4"_s), Frame::DevicePort));
        DevSim::SimulatorOptions options;
        options.bindAddress = QHostAddress(u"127.0.0.3"_s);
        options.restartMs = 300;
        options.ledTimeoutMs = 300;
        simulator = std::make_unique<DevSim::Simulator>(twoDevices(), options);
        connect(simulator.get(), &DevSim::Simulator::report, this, [this](const QString &line) { reports.append(line); });
        QCOMPARE(simulator->start(), std::nullopt);
        // Whoever waits for the listening line has seen the whole start-up report.
        QCOMPARE(reports.size(), 3);
        QCOMPARE(reports.last(), u"listening on 127.0.0.3:102 as 2 devices"_s);
        reports.clear();
    }

    void cleanup()
    {
        simulator.reset();
        tool.reset();
        reports.clear();
    }

    void refusedFramesChangeNothing_data()
    {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<QString>("report"); // how the simulator's report on it ends
        const auto row = [](const char *name, const QByteArray &datagram, const QString &report) {
            QTest::newRow(name) << datagram << report;
        };
        const char *settings = "198.18.0.50 255.255.255.0 198.18.0.254";

        // Frames as the tool builds them are pinned byte for byte in tst_frame; these are the ones a
        // device refuses.
        row("unknown field type", rawFrame(0xF0, 1, {{7, std::nullopt}}), u"field 1 has the unknown type 7"_s);
        row("the tool's write with an incomplete address", write("198.18.0 255.255.255.0 0.0.0.1"),
            u"declared length 90 differs from its size 89"_s);
        row("no name field", rawFrame(0xF0, 3, {{8, plcMac}, {1, plcMac}, {4, netBytes}}), u"fields of types 8, 1, 4 make no known command"_s);
        row("15-byte name", rawFrame(0xF0, 4, {{8, plcMac}, {1, plcMac}, {2, "ABCDEFGHIJKLMNO"}, {4, netBytes}}),
            u"name has 15 bytes, not 16"_s);
        row("LED command 1", rawFrame(0xF0, 2, {{8, plcMac}, {6, hex("0001")}}), u"LED command 1 is neither 0 (off) nor 2 (flash)"_s);
        row("LED for no device of ours", Frame::encodeLed(hex("020000000009"), Frame::LedCommand::Flash, 0),
            u"ignored LED frame from 127.0.0.4:102: target MAC 02:00:00:00:00:09 is none of ours"_s);
        // A device hears only frames sent to its own address, whatever MAC they name.
        row("LED for the HMI sent to the PLC's address", Frame::encodeLed(hmiMac, Frame::LedCommand::Flash, 0),
            plcReport("sent to 127.0.0.3, the address of %1, not of \"PACKLINE-HMI\" 02:4B:56:20:00:01"));
        row("name too short once unpadded", rawFrame(0xF0, 4, {{8, plcMac}, {1, plcMac}, {2, "ABC             "}, {4, netBytes}}),
            plcReport("write %1 refused: name \"ABC\" has 3 characters, not 6 to 16"));
        row("Latin-1 letter in the name", write(settings, "02:4B:56:10:00:02", "K\xE4seREI"),
            u"name contains the byte 0xe4, not printable ASCII"_s);
        row("MAC of another device", write(settings, "02:4B:56:20:00:01"), u"MAC 02:4B:56:20:00:01 belongs to another device"_s);
        row("broadcast MAC", write(settings, "FF:FF:FF:FF:FF:FF"), u"is a group address, not a device's"_s);
        row("mask with a hole", write("198.18.0.50 255.255.0.255 198.18.0.254"), u"is not a valid prefix"_s);
        row("/31", write("198.18.0.0 255.255.255.254 198.18.0.1"), u"no room for a host and a gateway"_s);
        row("no gateway", write("198.18.0.50 255.255.255.0 0.0.0.0"), u"outside the subnet 198.18.0.0/24"_s);
    }

    void refusedFramesChangeNothing()
    {
        QFETCH(QByteArray, datagram);
        QFETCH(QString, report);

        send(datagram);
        send(Frame::encodeSearch(1));
        QCOMPARE(receive(2).size(), 2);
        QVERIFY2(reports.value(0).endsWith(report), qPrintable(reports.join(u'\n')));
        // It changes nothing: no LED, no restart, and the search is answered by both devices.
        QCOMPARE(reports.mid(1), QStringList{u"search from 127.0.0.4:102 answered by 2 of 2 devices"_s});
    }

    void flashingStopsWithoutFlashCommands()
    {
        send(Frame::encodeLed(plcMac, Frame::LedCommand::Flash, 0));
        // A tool that stops sending flash commands does not leave the device flashing.
        QTRY_COMPARE_WITH_TIMEOUT(reports.size(), 2, 5000);
        QCOMPARE(reports, (QStringList{plcReport("led %1 flashing"), plcReport("led %1 off: no flash command for 300 ms")}));
    }

    void silentWhileRestarting()
    {
        // All sent at once, so that the simulator reads them in one go, well within the restart.
        send(Frame::encodeLed(plcMac, Frame::LedCommand::Flash, 0));
        send(write("198.18.0.50 255.255.255.0 198.18.0.254", "02:4B:56:10:00:02", "FILLER-PLC-02"));
        send(Frame::encodeLed(plcMac, Frame::LedCommand::Flash, 2));
        send(Frame::encodeSearch(3));
        QCOMPARE(Frame::decode(receive(1).value(0)).reply.mac, hmiMac); // the PLC is silent
        QCOMPARE(reports, (QStringList{plcReport("led %1 flashing"), plcReport("led %1 off: restarting"),
                                       plcReport("write %1 accepted: restarting for 300 ms as PLC %1 198.18.0.50/24 "
                                                 "gateway 198.18.0.254"),
                                       plcReport("ignored LED frame from 127.0.0.4:102: %1 is restarting"),
                                       u"search from 127.0.0.4:102 answered by 1 of 2 devices, 1 restarting"_s}));
        QCOMPARE(simulator->devices()[0].net.ip, 0x7F000003u); // not before the restart is over
    }

    void programExitCodes_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("error");

        const auto row = [](const char *name, const QString &arguments, int exitCode, const char *error) {
            QTest::newRow(name) << arguments << exitCode << QString::fromUtf8(error);
        };
        const QString plc = u"--device type=PLC,name=ABCDEF,mac=02:4B:56:10:00:02,ip=198.18.0.11,mask=255.255.255.0,gateway=198.18.0.1"_s;

        // The exit status 0 after SIGTERM (as after Ctrl-C) is checked for every simulator a test stops.
        row("device without a MAC", u"--device type=PLC,name=ABC"_s, 2, "--device 1: \"mac\" is missing");
        row("a restart delay that is no number", plc + u",restart-delay-ms=soon"_s, 2, "restart-delay-ms must be a whole number 0 to 600000");
        row("a second device with one MAC that does not say it impersonates", plc + u' ' + QString(plc).replace("0.11,"_L1, "0.12,"_L1),
            2, "--device 2: MAC 02:4B:56:10:00:02 is already used by --device 1");
        row("address taken by another simulator", u"--bind 127.0.0.3"_s, 3, "cannot bind 127.0.0.3:102");
    }

    void programExitCodes()
    {
        QFETCH(QString, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, error);

        QProcess program;
        program.start(QStringLiteral(KVR_DEVSIM_PATH), arguments.split(u' '));
        QVERIFY(program.waitForFinished(10000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), exitCode);
        const QByteArray printed = program.readAllStandardError();
        QVERIFY2(printed.contains(error.toUtf8()), printed.constData());
    }

    void failedRuns_data()
    {
        QTest::addColumn<int>("exitCode"); // -1: it crashed
        QTest::addColumn<QString>("errors");
        QTest::addColumn<QString>("failure"); // empty: a clean run

        QTest::newRow("clean") << 0 << "" << "";
        QTest::newRow("crash") << -1 << "" << "it crashed";
        QTest::newRow("exit status other than 0") << 3 << "kvrctl700-devsim: cannot bind" << "it exited with status 3";
        QTest::newRow("AddressSanitizer") << 1 << "==7==ERROR: AddressSanitizer: heap-use-after-free on address 0x6"
                                          << "sanitizer report: ERROR: AddressSanitizer: heap-use-after-free";
        QTest::newRow("UBSan, which lets it run on") << 0 << "simulator.cpp:12:5: runtime error: signed integer overflow"
                                                     << "sanitizer report: runtime error: signed integer overflow";
    }

    void failedRuns()
    {
        QFETCH(int, exitCode);
        QFETCH(QString, errors);
        QFETCH(QString, failure);

        const std::optional<QString> found = DevSim::runFailure(exitCode < 0 ? QProcess::CrashExit : QProcess::NormalExit,
                                                                qMax(exitCode, 0), errors);
        QVERIFY2(failure.isEmpty() ? !found : found && found->startsWith(failure), qPrintable(found.value_or(QString())));
    }


private:
    void send(const QByteArray &datagram)
    {
        QCOMPARE(tool->writeDatagram(datagram, QHostAddress(u"127.0.0.3"_s), Frame::DevicePort),
                 datagram.size());
    }

    QList<QByteArray> receive(int count)
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


    std::unique_ptr<QUdpSocket> tool;
    std::unique_ptr<DevSim::Simulator> simulator;
    QStringList reports;
};

QTEST_GUILESS_MAIN(TestSimulator)
#include "tst_simulator.moc"
