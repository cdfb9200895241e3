// kvrctl700-cli against simulated devices behind two adapters, as on a commissioning laptop: this
// test's namespace has cable 0 (198.18.0.0/16, with the default route) to one simulator and cable 1
// (198.19.0.0/16) to another. Behind cable 0 sit a PLC of that subnet and two devices of a foreign
// subnet (192.0.2.0/24), one of which ignores broadcast commands; behind cable 1 a frequency drive.
// What the devices saw is read from the simulators' report lines, up to a marker datagram.

#include "protocol/frame.h"
#include "support/simulatorprocess.h"
#include "support/testsupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

#include <csignal>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString Plc = u"type=PLC,name=LINE1-PLC,mac=02:4B:56:10:00:01,ip=198.18.0.10,mask=255.255.0.0,gateway=198.18.0.254"_s;
const QString Hmi = u"type=HMI,name=FACTORY-HMI,mac=02:4B:56:20:00:09,ip=192.0.2.50,mask=255.255.255.0,gateway=192.0.2.1"_s;
const QString Servo = u"type=SERVO,name=OLD-PLANT-AXIS,mac=02:4B:56:30:00:05,ip=192.0.2.60,mask=255.255.255.0,"
                      "gateway=192.0.2.1,ignores-broadcast=true"_s;
const QString Vfd = u"type=VFD,name=LINE2-VFD,mac=02:4B:56:40:00:02,ip=198.19.0.20,mask=255.255.0.0,gateway=198.19.0.254"_s;
const QString Twin = u"type=PLC,name=TWIN-PLC,mac=02:4B:56:10:00:08,ip=198.18.0.10,mask=255.255.0.0,gateway=198.18.0.254"_s;
const QString Spare = u"type=PLC,name=SPARE-PLC,mac=02:4B:56:10:00:07,ip=198.18.0.10,mask=255.255.0.0,gateway=198.18.0.254"_s;
const QRegularExpression SentToDevice(u"^(write |ignored write|led |ignored LED)"_s);

struct Run { int exitCode = -1; QString out, err; };

// The value at a dotted path ("summary.changed", "results.0.before.ip") of a JSON text.
QJsonValue json(const QString &text, const QString &path)
{
    QJsonValue value = QJsonDocument::fromJson(text.toUtf8()).object();
    for (const QString &key : path.split(u'.')) {
        bool isIndex = false;
        const int index = key.toInt(&isIndex);
        value = isIndex ? value[index] : value[key];
    }
    return value;
}

// The statuses of a JSON or JSON-lines run's results, in plan order, and its summary.
QPair<QString, QJsonValue> statusesAndSummary(const QString &out)
{
    QJsonArray results = json(out, u"results"_s).toArray();
    QJsonValue summary = json(out, u"summary"_s);
    for (const QString &line : out.split(u'\n', Qt::SkipEmptyParts)) { // JSON lines
        if (json(line, u"event"_s) == "result"_L1)
            results.append(json(line, u"result"_s));
        else if (json(line, u"event"_s) == "summary"_L1)
            summary = json(line, u"summary"_s);
    }
    QMap<int, QString> statuses;
    for (const QJsonValue &result : std::as_const(results))
        statuses.insert(result["line"_L1].toInt(), result["status"_L1].toString());
    return {statuses.values().join(u' '), summary};
}

// Waits for a program to end, with the event loop running: the simulators' lines are read by it.
bool ended(QProcess &program, int ms = 60000)
{
    return QTest::qWaitFor([&] { return program.state() == QProcess::NotRunning; }, ms);
}

} // namespace

class TestCli : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { KVR_REQUIRE_ISOLATED_NETWORK(); }
    void cleanup() { simulators.clear(); }

    void searchFindsEveryAdapter()
    {
        startPlant();
        const Run search = run(u"search --format json"_s);
        QStringList listed; // each device once, on the adapter it is behind, however many rounds it answered
        for (const QJsonValue &device : json(search.out, u"devices"_s).toArray()) {
            listed.append(u"%1 %2 %3 %4 findings"_s.arg(device["mac"_L1].toString(),
                              device["adapters"_L1].toVariant().toStringList().join(u','),
                              device["reach"_L1].toString()).arg(device["findings"_L1].toArray().size()));
        }
        QCOMPARE(listed, (QStringList{u"02:4B:56:20:00:09 kvrsim0 broadcast 1 findings"_s,
                                      u"02:4B:56:30:00:05 kvrsim0 broadcast 1 findings"_s,
                                      u"02:4B:56:10:00:01 kvrsim0 unicast 1 findings"_s, // the spare's address
                                      u"02:4B:56:10:00:07 kvrsim1 broadcast 2 findings"_s,
                                      u"02:4B:56:40:00:02 kvrsim1 unicast 0 findings"_s}));

        // JSON lines: a device a line, then the summary.
        const QStringList lines = run(u"search --format jsonl"_s).out.split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), listed.size() + 1);
        QCOMPARE(json(lines.constLast(), u"summary.devices"_s).toInt(), 5);
    }

    void outputThatCannotBeWritten_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<int>("writes"); // write frames the devices saw

        QTest::newRow("the search's plan") << "search --format csv" << 0;
        QTest::newRow("the results of a plan, once written") << "apply PLAN --format json --restart-wait 100 --batch-size 1" << 2;
        // The line of the first write frame cannot be written: the run ends there, nothing follows.
        QTest::newRow("the first line of a write") << "apply PLAN --format jsonl --restart-wait 100" << 1;
    }

    void outputThatCannotBeWritten()
    {
        QFETCH(QString, arguments);
        QFETCH(int, writes);

        startPlant();
        QProcess cli;
        cli.setStandardOutputFile(u"/dev/full"_s);
        start(cli, arguments.replace("PLAN"_L1, planFile("mac,ip,mask,gateway\n02:4B:56:10:00:01,198.18.0.11,255.255.0.0,"
                                                         "198.18.0.254\n02:4B:56:40:00:02,198.19.0.21,255.255.0.0,198.19.0.254\n")));
        QVERIFY(ended(cli));
        const QStringList err = QString::fromUtf8(cli.readAllStandardError()).split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(cli.exitCode(), 3);
        QVERIFY2(err.value(err.size() - 1).endsWith(": cannot write standard output: No space left on device"_L1),
                 qPrintable(err.join(u'\n')));
        QCOMPARE(err.filter(u"cannot write"_s).size(), 1);
        QCOMPARE(seenSince().filter(QRegularExpression(u"^write .* accepted"_s)).size(), writes);
    }

    void outcomes_data()
    {
        QTest::addColumn<QString>("arguments"); // PLAN stands for a file holding the plan
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("output"); // part of what it prints
        QTest::addColumn<QString>("seen");   // by a device; empty: nothing was sent to any device; "search": not even a search
        QTest::addColumn<QByteArray>("plan");
        QTest::addColumn<QString>("plant"); // "cable 0's devices|cable 1's"; empty: the usual plant
        const auto row = [](const char *name, const char *arguments, int exitCode, const QByteArray &output,
                            const char *seen = "", const QByteArray &plan = {}, const QString &plant = {}) {
            QTest::newRow(name) << QString::fromUtf8(arguments) << exitCode << QString::fromUtf8(output) << QString::fromUtf8(seen) << plan << plant;
        };
        const auto status = [](const char *word) { return "\"status\": \"" + QByteArray(word) + '"'; };
        const char *plcWrite = "write \"LINE1-PLC\" 02:4B:56:10:00:01 accepted";

        row("in-subnet device, by unicast", "set 02:4B:56:10:00:01 --ip 198.18.0.11", 0, status("verified"), plcWrite);
        row("the device refuses the settings", "set 02:4B:56:10:00:01 --ip 198.18.0.11 --gateway 0.0.0.0", 1,
            "still answers with its previous settings", "refused: gateway 0.0.0.0");
        row("a device that ignores broadcast commands", "set 02:4B:56:30:00:05 --ip 198.18.0.70", 1, status("mismatch"),
            "sent by broadcast, which \"OLD-PLANT-AXIS\"");
        row("no device has the MAC", "set 02:4B:56:99:00:01 --ip 198.18.0.70", 1, status("not-found"));
        row("the address of another device", "set 02:4B:56:40:00:02 --ip 198.18.0.10", 4, status("refused"));
        row("no verification", "set 02:4B:56:10:00:01 --ip 198.18.0.11 --no-verify", 0, status("sent"), plcWrite);
        // Each event as it happens; a set has no plan line.
        row("JSON lines", "set 02:4B:56:10:00:01 --ip 198.18.0.11 --format jsonl", 0,
            R"({"event":"sent","gateway":"198.18.0.254","ip":"198.18.0.11","mac":"02:4B:56:10:00:01","mask")", plcWrite);

        // Input it cannot use: nothing is sent, and one line on standard error says why. A plan as
        // spreadsheets save it is read.
        const QByteArray header("mac,ip,mask,gateway\n");
        const QByteArray plc("02:4B:56:10:00:01,198.18.0.11,255.255.0.0,198.18.0.254\n");
        row("a MAC that does not parse", "set 02:4B:56:10:00 --ip 198.18.0.11", 2, "not a MAC");
        row("an address that does not parse, echoed cut short", ("set 02:4B:56:10:00:01 --ip 198.18.0." + QByteArray(200, '9')).constData(),
            2, "--ip \"198.18.0." + QByteArray(31, '9') + "...\" is not a dotted quad");
        row("a plan without a gateway column", "apply PLAN", 2, "no column gateway", "", "mac,ip,mask\n");
        row("an empty plan", "apply PLAN", 2, "the plan is empty");
        // Found before the search: not even a search frame leaves.
        row("a MAC filled down a column is refused once", "apply PLAN", 4,
            "line 3: refused: MAC 02:4B:56:10:00:01 is already on line 2 (3998 more rows repeat", "search", header + plc.repeated(4000));
        row("an address given twice", "apply PLAN", 4, "line 3: refused: IP address 198.18.0.11 is already given to "
            "02:4B:56:10:00:01 on line 2", "search", header + plc + QByteArray(plc).replace("00:01,", "00:02,"));
        row("a plan from standard input, with semicolons", "apply - --dry-run --format json", 0, status("dry-run"), "",
            QByteArray(header + plc).replace(',', ';'));
        row("a header naming no column: the separator it saw", "apply PLAN", 2, "PLAN: line 1: the header names none of "
            "the columns a plan needs (mac, ip, mask and gateway), with semicolons as separators", "", "MAC-Adresse;IP-Adresse\n");
        row("not UTF-8 where it is read", "apply PLAN", 2, "PLAN: line 2: the column mac holds bytes that are not UTF-8 text: "
            "save the plan as \"CSV UTF-8\"", "", header + plc.left(17) + '\xA0' + plc.mid(17));
        row("a long value is echoed cut short, and escaped", "apply PLAN", 2,
            "line 2: MAC \"\\e[2J" + QByteArray(36, 'A') + "...\" is not six hex pairs", "",
            header + "\x1B[2J" + QByteArray(1 << 20, 'A') + plc.mid(17));
        row("a device file is no plan", "apply /dev/zero", 2, "cannot read /dev/zero: it is not a regular file or a pipe");
        row("a folder is no plan", "apply /", 2, "cannot read /: it is a folder, not a plan");
        row("two plans", "apply PLAN b.csv", 2, "apply: an extra argument \"b.csv\" (it takes only ");
        row("an unknown option", "search --json", 2, "kvrctl700-cli search: unknown option --json (see --help)\n");
        // Shared addresses and MACs, and answers that are not the device's word.
        const QString plcAlone = u"--device %1"_s.arg(Plc), vfd = u"|--device %1"_s.arg(Vfd);
        const QString twins = u"--device %1 --device %2"_s.arg(Plc, Twin) + vfd;
        row("a unicast to a shared address would reach the other device: identify", "identify 02:4B:56:10:00:08 --seconds 1", 0,
            "(broadcast on kvrsim0, its address being shared with another device)", "led \"TWIN-PLC\" 02:4B:56:10:00:08 flashing",
            {}, twins);
        row("a unicast to a shared address would reach the other device: set", "set 02:4B:56:10:00:08 --ip 198.18.0.12", 0,
            "its address being shared with another device", "write \"TWIN-PLC\" 02:4B:56:10:00:08 accepted", {}, twins);
        row("one MAC on two adapters", "search", 0, "02:4B:56:10:00:01 LINE1-PLC: its MAC answered on 2 adapters (kvrsim", "", {},
            plcAlone + u'|' + QString(plcAlone).replace("198.18.0."_L1, "198.19.0."_L1));
        row("one MAC with two sets of settings", "search", 0, "LINE1-PLC: its MAC answered with 2 sets of settings (198.18.0.10/16 "
            "gateway 198.18.0.254; 198.18.0.13/16 gateway 198.18.0.254): two devices with one MAC", "", {},
            plcAlone + u",second-ip=198.18.0.13"_s + vfd);
        // Listed before the device, so that its answers come first.
        const QString spoofer = u"--device type=PLC,name=LINE1-PLC,mac=02:4B:56:10:00:01,ip=198.18.0.11,mask=255.255.0.0,"
                                "gateway=198.18.0.254,impersonates=true,answers-from=198.18.0.66 "_s;
        row("a second responder from another address answers with the new settings", "set 02:4B:56:10:00:01 --ip 198.18.0.11", 1,
            "still answers with its previous settings 198.18.0.10/16", plcWrite, {}, spoofer + plcAlone + u",restart-delay-ms=60000"_s + vfd);
        row("the same MAC behind another adapter does not speak for the device", "set 02:4B:56:10:00:01 --ip 198.18.0.11", 0,
            "by unicast to 198.18.0.10 on kvrsim0", plcWrite, {}, plcAlone + u'|' + plcAlone);
        // The device acts on frames sent to its own address only: the broadcast write reaches the one
        // that answers in its name, which takes it.
        row("a device ignores the write that another takes", "set 02:4B:56:30:00:05 --ip 198.18.0.70 --restart-wait 500", 1,
            "answers for its MAC disagree", "ignored write", {},
            u"--device %1,impersonates=true --device %2"_s.arg(QString(Servo).remove(",ignores-broadcast=true"_L1), Servo) + vfd);
        // It answers with its old settings for 1.5 s after taking the write, then restarts (0.3 s).
        row("the restart wait outlasts a device's old answers", "set 02:4B:56:10:00:01 --ip 198.18.0.11 --restart-wait 2000", 0,
            "by unicast", plcWrite, {}, plcAlone + u",restart-delay-ms=1500"_s + vfd);
        row("without the wait, its old answers look like a refusal", "set 02:4B:56:10:00:01 --ip 198.18.0.11 --restart-wait 0", 1,
            "still answers with its previous settings", plcWrite, {}, plcAlone + u",restart-delay-ms=1500"_s + vfd);

        // A script that asked for JSON gets the failure as an object too.
        row("a usage error, asked for JSON", "search --format json -i eth9", 2,
            R"({"error":{"exit":2,"message":"no adapter is named eth9"},"schema":1})");
        row("no adapter, asked for JSON lines", "set 02:4B:56:10:00:01 --ip 198.18.0.11 --format jsonl -i lo", 3,
            R"j({"error":{"exit":3,"message":"no adapter can reach devices: lo (loopback)","reason":"no-adapter"},"event":"error"})j");
    }

    void outcomes()
    {
        QFETCH(QString, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, output);
        QFETCH(QString, seen);
        QFETCH(QByteArray, plan);
        QFETCH(QString, plant);

        if (plant.isEmpty())
            startPlant();
        else
            startPlant(plant.section(u'|', 0, 0), plant.section(u'|', 1));
        // A set writes the mask 255.255.0.0 and the gateway 198.18.0.254 unless the row gives another
        // (the last value given counts), and gives the device little time to restart.
        if (arguments.startsWith("set "_L1))
            arguments.insert(4, "--format json --mask 255.255.0.0 --gateway 198.18.0.254 --restart-wait 100 --verify-timeout 3000 "_L1);
        const QString file = planFile(plan);
        const Run result = run(arguments.replace("PLAN"_L1, file), file);
        output.replace("PLAN"_L1, file);
        QVERIFY2(result.exitCode == exitCode && (result.out + result.err).contains(output), qPrintable(result.out + result.err));
        if (exitCode >= 2) // usage, environment, refusal: one short line says why
            QVERIFY2(result.err.count(u'\n') == 1 && result.err.size() < 400, qPrintable(result.err.left(400)));
        if (seen == "search"_L1) {
            QVERIFY2(seenSince().filter(u"search from"_s).isEmpty(), "a search went out");
            return;
        }
        const QStringList lines = seenSince().filter(SentToDevice);
        QVERIFY2(seen.isEmpty() ? lines.isEmpty() : lines.filter(seen).size() == 1, qPrintable(lines.join(u'\n')));
    }

    void applyingAPlanTwice()
    {
        startPlant();
        // The search's CSV is a plan: new addresses for three devices, the others left as they are. The
        // writes go by unicast in the PLC's subnet, by broadcast to the HMI of a foreign subnet, and out
        // of the adapter without the default route to the frequency drive.
        const QString plan = planFile(run(u"search --format csv"_s).out
                                          .replace("01,198.18.0.10,"_L1, "01,198.18.0.12,"_L1)
                                          .replace("192.0.2.50,255.255.255.0,192.0.2.1"_L1, "198.18.0.61,255.255.0.0,198.18.0.254"_L1)
                                          .replace("198.19.0.20,"_L1, "198.19.0.22,"_L1).toUtf8());

        for (const QString &expected : {u"verified already-correct verified already-correct verified"_s,
                                        u"already-correct "_s.repeated(5).trimmed()}) {
            const QList<qsizetype> before{simulators[0]->lines().size(), simulators[1]->lines().size()};
            const Run apply = run(u"apply %1 --format json --restart-wait 100"_s.arg(plan));
            const auto [statuses, summary] = statusesAndSummary(apply.out);
            QCOMPARE(statuses, expected);
            QCOMPARE(apply.exitCode, 0);
            // What a script needs to tell a change from a device already right, and to undo it.
            const int changed = int(expected.count("verified"_L1));
            QCOMPARE(summary["changed"_L1].toInt(), changed);
            QCOMPARE(summary["counts"_L1]["already-correct"_L1].toInt(), expected.count("already-correct"_L1));
            QCOMPARE(json(apply.out, u"results.0.before.ip"_s).toString(), changed ? u"192.0.2.50"_s : u"198.18.0.61"_s);
            QCOMPARE(seenSince(before).filter(SentToDevice).filter(u" accepted"_s).size(), changed);
        }
    }

    void identifyEndsWithTheLedsOff_data()
    {
        QTest::addColumn<int>("signal"); // sent while the device flashes until one comes; 0: it flashes for a second

        QTest::newRow("Ctrl-C") << SIGINT;
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGHUP, the terminal closed") << SIGHUP;
        QTest::newRow("time up") << 0;
    }

    void identifyEndsWithTheLedsOff()
    {
        QFETCH(int, signal);

        startPlant();
        QProcess identify;
        start(identify, u"identify 02:4B:56:20:00:09 --format jsonl --seconds %1"_s.arg(signal ? 0 : 1));
        const QString led = u"led \"FACTORY-HMI\" 02:4B:56:20:00:09 "_s;
        QTRY_VERIFY_WITH_TIMEOUT(simulators[0]->lines().contains(led + "flashing"_L1), 10000);

        // Meanwhile the port is this program's: another is refused, and told which holds it.
        const Run second = run(u"search --format json"_s);
        QCOMPARE(second.exitCode, 3);
        QVERIFY(second.err.contains(u"in use by kvrctl700-cli identify (PID %1)"_s.arg(identify.processId())));
        QCOMPARE(json(second.out, u"error.reason"_s).toString(), u"port-in-use"_s);

        if (signal != 0)
            ::kill(pid_t(identify.processId()), signal);
        QVERIFY(ended(identify, 10000));
        QCOMPARE(identify.exitCode(), 0);
        QTRY_VERIFY(simulators[0]->lines().contains(led + "off"_L1)); // told off, not timed out
        const QStringList lines = QString::fromUtf8(identify.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 2);
        QCOMPARE(json(lines[0], u"ledsOff"_s).toBool(), true);
        QCOMPARE(lines[1], uR"({"event":"summary","summary":{"exit":0}})"_s);
    }

    void lostAndLateReplies()
    {
        // A tenth of the replies lost on one adapter; on the other, a device that answers 400 ms late.
        // The search goes on past --rounds while a round still finds new devices.
        startPlant(u"--generate 60 --drop-rate 0.1 --seed 7"_s, u"--reply-delay-ms 400 --device %1"_s.arg(Vfd));
        const Run search = run(u"search -i kvrsim0 --rounds 1 --format csv"_s);
        QCOMPARE(search.exitCode, 0);
        QCOMPARE(search.out.split(u'\n', Qt::SkipEmptyParts).size(), 1 + 60);
        QVERIFY(!seenSince().filter(u" replies lost"_s).isEmpty());
        // Devices that all answer after the last round are waited for, up to --timeout.
        QCOMPARE(run(u"search -i kvrsim1 --timeout 100"_s).exitCode, 1);
        const Run slow = run(u"search -i kvrsim1 --quiet 20"_s);
        QVERIFY2(slow.exitCode == 0 && slow.out.contains("LINE2-VFD"_L1), qPrintable(slow.err));
    }

    void batchAfterAFirstVerifiedWrite_data()
    {
        QTest::addColumn<QString>("options");
        QTest::addColumn<QList<int>>("refusedByDevice"); // rows the devices refuse (gateway 0.0.0.0)
        QTest::addColumn<QString>("statuses");
        QTest::addColumn<QString>("frames"); // on the cable, in order: Wn a write to device n, S searches
        QTest::addColumn<int>("exitCode");

        QTest::newRow("one search verifies the whole batch after the first")
            << "" << QList<int>{} << "verified verified verified verified" << "S W1 S W2 W3 W4 S" << 0;
        QTest::newRow("a first write not verified holds back every other")
            << "" << QList<int>{1} << "mismatch not-sent not-sent not-sent" << "S W1 S" << 1;
        QTest::newRow("a group not verified stops the later groups")
            << "--batch-size 2" << QList<int>{3} << "verified verified mismatch not-sent" << "S W1 S W2 W3 S" << 1;
    }

    void batchAfterAFirstVerifiedWrite()
    {
        QFETCH(QString, options);
        QFETCH(QList<int>, refusedByDevice);
        QFETCH(QString, statuses);
        QFETCH(QString, frames);
        QFETCH(int, exitCode);

        startPlant(u"--generate 4"_s, u"--device %1"_s.arg(Vfd));
        // A restart wait past the simulated restart (300 ms): each verification is over in one
        // round, and an answer to an earlier round, late on a busy machine, has the time to arrive
        // before the next verification listens.
        const Run apply = run(u"apply %1 -i kvrsim0 --format json --restart-wait 400 %2"_s.arg(generatedPlan(4, refusedByDevice), options));
        const auto [seen, summary] = statusesAndSummary(apply.out);
        QVERIFY2(seen == statuses, qPrintable(apply.out + apply.err));
        QCOMPARE(apply.exitCode, exitCode);
        QCOMPARE(summary["changed"_L1].toInt(), frames.count(u'W'));
        QStringList order;
        for (const QString &line : seenSince().filter(QRegularExpression(u"^(write |search from)"_s))) {
            const QString frame = line.startsWith("search"_L1) ? u"S"_s : u'W' + line.section(u'"', 1, 1).right(1);
            if (order.isEmpty() || order.constLast() != frame || frame != "S"_L1)
                order.append(frame);
        }
        QCOMPARE(order.join(u' '), frames);
    }

    void interruptedApply_data()
    {
        QTest::addColumn<bool>("duringSearch"); // or else once the first write has left
        QTest::addColumn<QList<int>>("interruptions");
        QTest::addColumn<QString>("statuses");

        // The write already sent is still verified; the others never leave.
        QTest::newRow("SIGTERM, as a fleet engine's time-out") << false << QList<int>{SIGTERM} << "verified not-sent not-sent";
        QTest::newRow("SIGHUP, the terminal closed") << false << QList<int>{SIGHUP} << "verified not-sent not-sent";
        // The second one ends the run without waiting for the verification.
        QTest::newRow("Ctrl-C twice") << false << QList<int>{SIGINT, SIGINT} << "sent not-sent not-sent";
        // Nothing was checked yet: nothing is written, every row says so.
        QTest::newRow("SIGTERM during the search") << true << QList<int>{SIGTERM} << "not-sent not-sent not-sent";
    }

    void interruptedApply()
    {
        QFETCH(bool, duringSearch);
        QFETCH(QList<int>, interruptions);
        QFETCH(QString, statuses);

        startPlant(u"--generate 3"_s, u"--device %1"_s.arg(Vfd));
        QProcess apply;
        // A search of many long rounds, or a write verified 1.5 s after it left.
        start(apply, u"apply %1 -i kvrsim0 --format jsonl --batch-size 1 --restart-wait 1500 %2"_s
                         .arg(generatedPlan(3), duringSearch ? u"--rounds 100 --quiet 500 --timeout 60000"_s : QString()));
        QByteArray out;
        if (duringSearch)
            QTRY_VERIFY_WITH_TIMEOUT(simulators[0]->printedSince(0, u"search from"_s), 10000);
        else
            QTRY_VERIFY_WITH_TIMEOUT((out += apply.readAllStandardOutput()).contains("\"event\":\"sent\""), 10000);
        QByteArray err;
        for (int signal : interruptions) {
            ::kill(pid_t(apply.processId()), signal);
            // One at a time: a signal sent while the same one is still pending would merge with it.
            if (interruptions.size() > 1)
                QTRY_VERIFY_WITH_TIMEOUT((err += apply.readAllStandardError()).contains("interrupted: no further write"), 10000);
        }
        QVERIFY(ended(apply, 10000));
        out += apply.readAllStandardOutput();

        const auto [seen, summary] = statusesAndSummary(QString::fromUtf8(out));
        QVERIFY2(seen == statuses, (out + err + apply.readAllStandardError()).constData());
        QCOMPARE(apply.exitCode(), 5);
        QCOMPARE(summary["interrupted"_L1].toBool(), true);
        QCOMPARE(summary["exit"_L1].toInt(), 5);
        const int written = duringSearch ? 0 : 1;
        QCOMPARE(summary["changed"_L1].toInt(), written);
        QCOMPARE(out.count("\"detail\":\"interrupted before "), statuses.count("not-sent"_L1));
        // No write frame left after the signal: the devices saw the first one only, if any.
        QCOMPARE(seenSince().filter(u"write "_s).size(), written);
    }


private:
    void startPlant(const QString &cable0 = u"--device %1 --device %2 --device %3"_s.arg(Plc, Hmi, Servo),
                    const QString &cable1 = u"--device %1 --device %2"_s.arg(Vfd, Spare))
    {
        for (int cable : {0, 1}) {
            simulators.push_back(std::make_unique<DevSim::SimulatorProcess>(DevSim::SimulatorCable{cable, cable == 0}));
            const std::optional<QString> failure = simulators.back()->start(
                QStringLiteral(KVR_DEVSIM_PATH), (u"--restart-ms 300 "_s + (cable ? cable1 : cable0)).split(u' '));
            QVERIFY2(!failure, qPrintable(failure.value_or(QString())));
        }
    }

    // What both simulators printed from the given line counts on, up to a marker sent now.
    QStringList seenSince(const QList<qsizetype> &from = {0, 0})
    {
        QStringList seen;
        for (int cable : {0, 1}) {
            const DevSim::SimulatorProcess &simulator = *simulators[size_t(cable)];
            QUdpSocket marker;
            marker.writeDatagram("mark", QHostAddress(u"198.%1.0.2"_s.arg(18 + cable)), Frame::DevicePort);
            const QString markerLine = u"rejected 4 bytes from %1:%2"_s.arg(simulator.cable().toolAddress()).arg(marker.localPort());
            if (!QTest::qWaitFor([&] { return simulator.printedSince(from[cable], markerLine); }, 5000))
                return {u"no marker line"_s};
            const QStringList lines = simulator.lines().mid(from[cable]);
            seen += lines.mid(0, lines.indexOf(QRegularExpression(QRegularExpression::escape(markerLine))));
        }
        return seen;
    }

    // Starts the program with these arguments (split at blanks), standard input from the file `input`.
    void start(QProcess &cli, const QString &arguments, const QString &input = {})
    {
        if (!input.isEmpty())
            cli.setStandardInputFile(input);
        cli.start(QStringLiteral(KVR_CLI_PATH), arguments.split(u' ', Qt::SkipEmptyParts));
    }

    Run run(const QString &arguments, const QString &input = {})
    {
        QProcess cli;
        start(cli, arguments, input);
        if (!ended(cli))
            return {};
        return {cli.exitCode(), QString::fromUtf8(cli.readAllStandardOutput()), QString::fromUtf8(cli.readAllStandardError())};
    }

    // A file holding the plan; its name.
    QString planFile(const QByteArray &content)
    {
        QFile file(dir.filePath(u"plan.csv"_s));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(content) != content.size())
            return {};
        return file.fileName();
    }

    // A plan moving generated devices 1 to `count` from 198.18.1.N to 198.18.3.N; the rows listed
    // in `refusedByDevice` get the gateway 0.0.0.0, which the simulated devices refuse.
    QString generatedPlan(int count, const QList<int> &refusedByDevice = {})
    {
        QByteArray plan("mac,ip,mask,gateway\n");
        for (int n = 1; n <= count; ++n)
            plan += u"02:4B:56:F0:00:%1,198.18.3.%2,255.255.0.0,%3\n"_s.arg(n, 2, 10, '0'_L1).arg(n)
                        .arg(refusedByDevice.contains(n) ? u"0.0.0.0"_s : u"198.18.0.254"_s).toLatin1();
        return planFile(plan);
    }


    std::vector<std::unique_ptr<DevSim::SimulatorProcess>> simulators;
    QTemporaryDir dir;
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
