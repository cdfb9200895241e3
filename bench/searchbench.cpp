#include "benchmarks.h"
#include "harness.h"

#include "commissioning/adapters.h"
#include "commissioning/deviceendpoint.h"
#include "commissioning/searchsession.h"
#include "protocol/conversions.h"
#include "simdevice.h"
#include "support/simulatorprocess.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>

namespace Bench {

namespace {

constexpr int Devices = 127;
constexpr int Runs = 20;
constexpr double DropRate = 0.05;

struct Run
{
    int found = -1;
    int rounds = 0;
    double exitMs = 0;
    QString failure; // the program's error, when it could not search
};

Run searchOnce(const QString &cliPath, const QStringList &options)
{
    QProcess cli;
    QElapsedTimer clock;
    clock.start();
    cli.start(cliPath, QStringList{QStringLiteral("search"), QStringLiteral("--format"), QStringLiteral("json")} + options);
    if (!cli.waitForFinished(30000))
        return {};
    Run run;
    run.exitMs = clock.nsecsElapsed() / 1e6;
    if (cli.exitCode() > 1)
        run.failure = QString::fromLocal8Bit(cli.readAllStandardError()).trimmed();
    const QJsonObject document = QJsonDocument::fromJson(cli.readAllStandardOutput()).object();
    run.found = int(document.value(QLatin1String("devices")).toArray().size());
    run.rounds = document.value(QLatin1String("rounds")).toInt();
    return run;
}

// How the replies to one search spread out in time, seen by the engine's own endpoint: when the
// last one arrives, and the longest silence between two. The quiet period must outlast the latter.
void measureReplySpread()
{
    DeviceEndpoint endpoint;
    if (!endpoint.open(QStringLiteral("kvrctl700-bench")).bound())
        return printLine(QStringLiteral("!! cannot open port 102 for the reply timings"));
    const QList<Adapters::Adapter> adapters = Adapters::choose(Adapters::systemCandidates()).adapters;
    QElapsedTimer clock;
    QList<qint64> arrivals;
    QObject::connect(&endpoint, &DeviceEndpoint::replyReceived, &endpoint, [&] { arrivals.append(clock.nsecsElapsed()); });
    QList<double> lasts;
    QList<double> gaps;
    for (int r = 0; r < Runs; ++r) {
        arrivals.clear();
        clock.start();
        sendSearchRound(endpoint, adapters);
        QEventLoop loop;
        QTimer::singleShot(300, &loop, &QEventLoop::quit);
        loop.exec();
        if (arrivals.isEmpty())
            continue;
        qint64 gap = arrivals.first();
        for (qsizetype i = 1; i < arrivals.size(); ++i)
            gap = std::max(gap, arrivals.at(i) - arrivals.at(i - 1));
        lasts.append(arrivals.last() / 1e6);
        gaps.append(gap / 1e6);
    }
    printLine(QStringLiteral("   replies to one search: the last after %1 ms median, %2 ms worst; the longest silence "
                             "before or between them %3 ms median, %4 ms worst")
                  .arg(median(lasts), 0, 'f', 1)
                  .arg(*std::max_element(lasts.cbegin(), lasts.cend()), 0, 'f', 1)
                  .arg(median(gaps), 0, 'f', 1)
                  .arg(*std::max_element(gaps.cbegin(), gaps.cend()), 0, 'f', 1));
}

} // namespace

QByteArray splitDeviceFile(int count, int cable)
{
    const QList<DevSim::SimDevice> devices = DevSim::generatedDevices(count);
    const qsizetype half = (devices.size() + 1) / 2;
    QJsonArray array;
    for (qsizetype i = cable == 0 ? 0 : half; i < (cable == 0 ? half : devices.size()); ++i) {
        DevSim::SimDevice device = devices.at(i);
        device.net.ip += quint32(cable) << 16;
        device.net.gateway += quint32(cable) << 16;
        QJsonObject object{{QStringLiteral("type"), device.typeCode},
                           {QStringLiteral("name"), QString::fromLatin1(device.name)},
                           {QStringLiteral("mac"), macBytesToText(device.mac)},
                           {QStringLiteral("ip"), ipv4Text(device.net.ip)},
                           {QStringLiteral("mask"), ipv4Text(device.net.mask)},
                           {QStringLiteral("gateway"), ipv4Text(device.net.gateway)}};
        array.append(object);
    }
    return QJsonDocument(QJsonObject{{QStringLiteral("devices"), array}}).toJson();
}

void runSearchBenchmark(const QString &simulatorPath, const QString &cliPath)
{
    printLine(QStringLiteral("\n== Search: kvrctl700-cli search, %1 devices behind two adapters, %2 % of replies lost")
                  .arg(Devices)
                  .arg(DropRate * 100));
    printLine(QStringLiteral("   (two kvrctl700-devsim behind two veth cables; %1 runs per line; time from start to exit)").arg(Runs));
    QTemporaryDir dir;
    std::vector<std::unique_ptr<DevSim::SimulatorProcess>> simulators;
    for (int cable : {0, 1}) {
        const QString path = dir.filePath(QStringLiteral("devices%1.json").arg(cable));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(splitDeviceFile(Devices, cable)) < 0) {
            printLine(QStringLiteral("!! cannot write %1").arg(path));
            return;
        }
        file.close();
        simulators.push_back(std::make_unique<DevSim::SimulatorProcess>(DevSim::SimulatorCable{cable, cable == 0}));
        const std::optional<QString> failure = simulators.back()->start(
            simulatorPath, {QStringLiteral("--devices"), path, QStringLiteral("--drop-rate"), QString::number(DropRate),
                            QStringLiteral("--seed"), QString::number(cable + 1)});
        if (failure) {
            printLine(QStringLiteral("!! %1 (run it with make bench)").arg(*failure));
            return;
        }
    }

    bool goalsMet = true;
    // The defaults first, then the neighbours that show why they were chosen.
    for (const QString &options : {QString(), QStringLiteral("--rounds 3"), QStringLiteral("--rounds 4"),
                                   QStringLiteral("--quiet 20"), QStringLiteral("--quiet 100")}) {
        QList<double> times;
        QList<int> found;
        QList<int> rounds;
        for (int r = 0; r < Runs; ++r) {
            const Run run = searchOnce(cliPath, options.split(u' ', Qt::SkipEmptyParts));
            if (!run.failure.isEmpty())
                return printLine(QStringLiteral("!! %1 (run the search section first: kvrctl700-bench search)").arg(run.failure));
            times.append(run.exitMs);
            found.append(run.found);
            rounds.append(run.rounds);
        }
        std::sort(times.begin(), times.end());
        std::sort(found.begin(), found.end());
        std::sort(rounds.begin(), rounds.end());
        const int complete = int(std::count(found.cbegin(), found.cend(), Devices));
        printLine(QStringLiteral("   %1: 127 of 127 in %2 of %3 runs (fewest %4); exit after %5 ms median, %6 ms worst; "
                                 "%7 rounds median, %8 most")
                      .arg(options.isEmpty() ? QStringLiteral("defaults   ") : options.leftJustified(11))
                      .arg(complete)
                      .arg(Runs)
                      .arg(found.first())
                      .arg(times.at(Runs / 2), 0, 'f', 0)
                      .arg(times.last(), 0, 'f', 0)
                      .arg(rounds.at(Runs / 2))
                      .arg(rounds.last()));
        if (options.isEmpty())
            goalsMet = complete == Runs && times.at(Runs / 2) < 500;
    }
    // Last: the endpoint claims port 102 for this process, and the program could not have it.
    measureReplySpread();
    printLine(QStringLiteral("   goals (defaults: 127 of 127 in every run, exit under 500 ms median): %1")
                  .arg(goalsMet ? QStringLiteral("met") : QStringLiteral("MISSED")));
}

} // namespace Bench
