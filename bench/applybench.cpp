#include "benchmarks.h"
#include "harness.h"

#include "protocol/conversions.h"
#include "simdevice.h"
#include "support/simulatorprocess.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>

namespace Bench {

namespace {

constexpr int Devices = 127;
constexpr int Runs = 5;
constexpr int OneByOneRows = 8;
constexpr double DropRate = 0.05;

// One run of kvrctl700-cli apply, timed from its start; its JSON lines stamped as they arrived.
struct ApplyRun
{
    double exitMs = 0;
    int exitCode = -1;
    int verified = 0;
    int alreadyCorrect = 0;
    int changed = 0;
    double firstSentMs = -1;    // the first write left
    double firstResultMs = -1;  // its verification ended
    double batchFirstSentMs = -1;
    double batchLastSentMs = -1;
    double lastResultMs = -1;   // the batch's verification ended
};

ApplyRun applyOnce(const QString &cliPath, const QString &plan, const QStringList &options = {})
{
    QProcess cli;
    ApplyRun run;
    QElapsedTimer clock;
    QByteArray pending;
    int sent = 0;
    int writtenResults = 0;
    const auto readLines = [&] {
        pending += cli.readAllStandardOutput();
        const double now = clock.nsecsElapsed() / 1e6;
        qsizetype end;
        while ((end = pending.indexOf('\n')) >= 0) {
            const QJsonObject line = QJsonDocument::fromJson(pending.left(end)).object();
            pending.remove(0, end + 1);
            const QString event = line.value(QLatin1String("event")).toString();
            if (event == QLatin1String("sent")) {
                if (++sent == 1)
                    run.firstSentMs = now;
                else if (sent == 2)
                    run.batchFirstSentMs = now;
                if (sent > 1)
                    run.batchLastSentMs = now;
            } else if (event == QLatin1String("result")) {
                const QString status = line.value(QLatin1String("result"))[QLatin1String("status")].toString();
                if (status == QLatin1String("already-correct"))
                    continue;
                if (++writtenResults == 1)
                    run.firstResultMs = now;
                run.lastResultMs = now;
            } else if (event == QLatin1String("summary")) {
                const QJsonObject summary = line.value(QLatin1String("summary")).toObject();
                run.changed = summary.value(QLatin1String("changed")).toInt();
                run.verified = summary.value(QLatin1String("counts"))[QLatin1String("verified")].toInt();
                run.alreadyCorrect = summary.value(QLatin1String("counts"))[QLatin1String("already-correct")].toInt();
            }
        }
    };
    QObject::connect(&cli, &QProcess::readyReadStandardOutput, &cli, readLines);
    QEventLoop loop;
    QObject::connect(&cli, &QProcess::finished, &loop, &QEventLoop::quit);
    clock.start();
    cli.start(cliPath, QStringList{QStringLiteral("apply"), plan, QStringLiteral("--format"), QStringLiteral("jsonl")} + options);
    if (!cli.waitForStarted(5000))
        return run;
    loop.exec();
    readLines();
    run.exitMs = clock.nsecsElapsed() / 1e6;
    run.exitCode = cli.exitStatus() == QProcess::NormalExit ? cli.exitCode() : -1;
    return run;
}

// The generated devices of splitDeviceFile(), the third byte of each address set to `subnetByte`
// (198.18.<b>.n behind cable 0, 198.19.<b>.n behind cable 1), the rows after the first `moved` to
// `restByte`.
bool writePlan(const QString &path, int subnetByte, int moved = Devices, int restByte = 0)
{
    const QList<DevSim::SimDevice> devices = DevSim::generatedDevices(Devices);
    const qsizetype half = (devices.size() + 1) / 2;
    QByteArray plan("mac,ip,mask,gateway\n");
    for (qsizetype i = 0; i < devices.size(); ++i) {
        DevSim::SimDevice device = devices.at(i);
        const quint32 cable = i < half ? 0 : 1;
        const quint32 ip = ((device.net.ip + (cable << 16)) & 0xFFFF00FFu) | (quint32(i < moved ? subnetByte : restByte) << 8);
        plan += (macBytesToText(device.mac) + u',' + ipv4Text(ip) + u',' + ipv4Text(device.net.mask)
                 + u',' + ipv4Text(device.net.gateway + (cable << 16)) + u'\n')
                    .toLatin1();
    }
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(plan) == plan.size();
}

} // namespace

void runApplyBenchmark(const QString &simulatorPath, const QString &cliPath)
{
    printLine(QStringLiteral("\n== Apply: kvrctl700-cli apply re-addressing %1 devices behind two adapters, %2 % of replies lost")
                  .arg(Devices)
                  .arg(DropRate * 100));
    printLine(QStringLiteral("   (two kvrctl700-devsim, devices restart for 2000 ms after a write; the program's defaults; "
                             "%1 runs, alternating two plans so that each run moves every device)")
                  .arg(Runs));
    QTemporaryDir dir;
    std::vector<std::unique_ptr<DevSim::SimulatorProcess>> simulators;
    for (int cable : {0, 1}) {
        const QString path = dir.filePath(QStringLiteral("devices%1.json").arg(cable));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(splitDeviceFile(Devices, cable)) < 0)
            return printLine(QStringLiteral("!! cannot write %1").arg(path));
        file.close();
        simulators.push_back(std::make_unique<DevSim::SimulatorProcess>(DevSim::SimulatorCable{cable, cable == 0}));
        const std::optional<QString> failure = simulators.back()->start(
            simulatorPath, {QStringLiteral("--devices"), path, QStringLiteral("--drop-rate"), QString::number(DropRate),
                            QStringLiteral("--seed"), QString::number(cable + 11)});
        if (failure)
            return printLine(QStringLiteral("!! %1 (run it with make bench)").arg(*failure));
    }
    const QString there = dir.filePath(QStringLiteral("there.csv"));
    const QString back = dir.filePath(QStringLiteral("back.csv"));
    if (!writePlan(there, 3) || !writePlan(back, 1))
        return printLine(QStringLiteral("!! cannot write the plans"));

    QList<double> firstRuns;
    QList<double> secondRuns;
    int allVerified = 0;
    int allAlreadyCorrect = 0;
    ApplyRun shown;
    for (int r = 0; r < Runs; ++r) {
        const QString &plan = r % 2 == 0 ? there : back;
        const ApplyRun first = applyOnce(cliPath, plan);
        const ApplyRun second = applyOnce(cliPath, plan);
        if (first.exitCode > 1 || second.exitCode > 1)
            return printLine(QStringLiteral("!! kvrctl700-cli apply ended with %1 (run the apply section before those "
                                            "that open port 102: kvrctl700-bench apply)")
                                 .arg(std::max(first.exitCode, second.exitCode)));
        firstRuns.append(first.exitMs);
        secondRuns.append(second.exitMs);
        allVerified += first.verified == Devices && first.changed == Devices && first.exitCode == 0;
        allAlreadyCorrect += second.alreadyCorrect == Devices && second.changed == 0 && second.exitCode == 0;
        if (r == Runs / 2)
            shown = first;
        printLine(QStringLiteral("   run %1: %2 of %3 verified, exit after %4 ms; the same plan again: %5 of %3 "
                                 "already-correct, exit after %6 ms")
                      .arg(r + 1)
                      .arg(first.verified)
                      .arg(Devices)
                      .arg(first.exitMs, 0, 'f', 0)
                      .arg(second.alreadyCorrect)
                      .arg(second.exitMs, 0, 'f', 0));
    }
    printLine(QStringLiteral("   every row verified in %1 of %2 runs; exit after %3 ms median (worst %4 ms); "
                             "the second run of the same plan %5 ms median (worst %6 ms), all already-correct in %7 of %2")
                  .arg(allVerified)
                  .arg(Runs)
                  .arg(median(firstRuns), 0, 'f', 0)
                  .arg(*std::max_element(firstRuns.cbegin(), firstRuns.cend()), 0, 'f', 0)
                  .arg(median(secondRuns), 0, 'f', 0)
                  .arg(*std::max_element(secondRuns.cbegin(), secondRuns.cend()), 0, 'f', 0)
                  .arg(allAlreadyCorrect));
    printLine(QStringLiteral("   time line of run %1 (ms from start): first write left %2, verified %3; the batch of %4 "
                             "left %5 to %6; its verification ended %7; exit %8")
                  .arg(Runs / 2 + 1)
                  .arg(shown.firstSentMs, 0, 'f', 0)
                  .arg(shown.firstResultMs, 0, 'f', 0)
                  .arg(shown.changed - 1)
                  .arg(shown.batchFirstSentMs, 0, 'f', 0)
                  .arg(shown.batchLastSentMs, 0, 'f', 0)
                  .arg(shown.lastResultMs, 0, 'f', 0)
                  .arg(shown.exitMs, 0, 'f', 0));

    // One by one (--batch-size 1), measured on a few rows and scaled: the whole plan would take
    // minutes. The other rows stay where the last run put them, already correct.
    const QString some = dir.filePath(QStringLiteral("some.csv"));
    const int now = (Runs - 1) % 2 == 0 ? 3 : 1;
    if (!writePlan(some, 4 - now, OneByOneRows, now))
        return printLine(QStringLiteral("!! cannot write the plan"));
    const ApplyRun oneByOne = applyOnce(cliPath, some, {QStringLiteral("--batch-size"), QStringLiteral("1")});
    const double perDevice = (oneByOne.lastResultMs - oneByOne.firstSentMs) / OneByOneRows;
    printLine(QStringLiteral("   one by one (--batch-size 1), %1 rows: %2 verified, exit after %3 ms, %4 ms a device; "
                             "for %5 devices about %6 s (estimated from that figure, not run)")
                  .arg(OneByOneRows)
                  .arg(oneByOne.verified)
                  .arg(oneByOne.exitMs, 0, 'f', 0)
                  .arg(perDevice, 0, 'f', 0)
                  .arg(Devices)
                  .arg((oneByOne.firstSentMs + perDevice * Devices) / 1000, 0, 'f', 0));
    const bool met = allVerified == Runs && median(firstRuns) < 6000 && median(secondRuns) < 1000;
    printLine(QStringLiteral("   goals (every row verified in every run, median under 6 s, the second run under 1 s): %1")
                  .arg(met ? QStringLiteral("met") : QStringLiteral("MISSED")));
}

} // namespace Bench
