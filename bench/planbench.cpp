#include "benchmarks.h"
#include "harness.h"

#include "commissioning/adapters.h"
#include "commissioning/plancheck.h"
#include "commissioning/planfile.h"
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace Bench {

namespace {

constexpr int Rows = 100000;

// A plan of `rows` distinct rows as a spreadsheet saves one (semicolons, a name column), or with
// one MAC filled down the whole column.
QByteArray planFile(int rows, bool filledDown)
{
    QByteArray plan("mac;ip;mask;gateway;name\n");
    plan.reserve(qsizetype(rows) * 64);
    for (int i = 0; i < rows; ++i) {
        const int n = filledDown ? 1 : i;
        plan += QStringLiteral("02:4B:%1:%2:%3:01;10.%4.%5.%6;255.0.0.0;10.0.0.1;LINE-%7\n")
                    .arg((n >> 16) & 0xFF, 2, 16, QLatin1Char('0'))
                    .arg((n >> 8) & 0xFF, 2, 16, QLatin1Char('0'))
                    .arg(n & 0xFF, 2, 16, QLatin1Char('0'))
                    .arg((i >> 16) & 0xFF)
                    .arg((i >> 8) & 0xFF)
                    .arg(i & 0xFF)
                    .arg(i, 6, 10, QLatin1Char('0'))
                    .toLatin1();
    }
    return plan;
}

void printTime(const char *name, const Measurement &m)
{
    printLine(QStringLiteral("%1 %2 ms  (median %3 ms)")
                  .arg(QString::fromLatin1(name), -52)
                  .arg(m.bestNs / 1e6, 7, 'f', 1)
                  .arg(m.medianNs / 1e6, 0, 'f', 1));
}

} // namespace

void runPlanBenchmark(const QString &cliPath)
{
    printLine(QStringLiteral("\n== Plans: %1 rows, read and checked").arg(Rows));
    const QByteArray distinct = planFile(Rows, false);
    const QByteArray filledDown = planFile(Rows, true);
    printLine(QStringLiteral("   the plan file: %1 MB (the limit is %2 MB, %3 rows)")
                  .arg(double(distinct.size()) / (1024 * 1024), 0, 'f', 1)
                  .arg(PlanFile::MaxBytes / (1024 * 1024))
                  .arg(PlanFile::MaxRows));

    PlanFile::Reading reading;
    printTime("read (PlanFile::read)", measure(5, 1, [&] { reading = PlanFile::read(distinct); }));
    if (reading.rows.size() != Rows)
        return printLine(QStringLiteral("!! %1 rows read").arg(reading.rows.size()));
    qsizetype repeats = -1;
    printTime("rows among themselves (PlanCheck::repeats)",
              measure(5, 1, [&] { repeats = PlanCheck::repeats(reading.rows).size(); }));
    const PlanFile::Reading filled = PlanFile::read(filledDown);
    qsizetype filledRepeats = 0;
    printTime("the same, one MAC filled down the column",
              measure(5, 1, [&] { filledRepeats = PlanCheck::repeats(filled.rows).size(); }));
    if (repeats != 0 || filledRepeats != Rows - 1)
        printLine(QStringLiteral("!! %1 and %2 repeats found").arg(repeats).arg(filledRepeats));

    // Against a full window's worth of found devices (127) and one adapter; no row is found, as
    // when a plan is far larger than the plant.
    QList<FoundDevice> found;
    for (int i = 0; i < 127; ++i) {
        FoundDevice device;
        device.reply.mac = QByteArray::fromHex("024BFF0000") + char(i);
        device.reply.name = "FOUND-" + QByteArray::number(i);
        device.reply.netAddr = AddressCheck::settingsBytes({0xC6120000u + quint32(i) + 10, 0xFFFF0000u, 0});
        found.append(device);
    }
    Adapters::Candidate adapter;
    adapter.name = QStringLiteral("kvrsim0");
    adapter.index = 2;
    adapter.up = adapter.administrativelyUp = adapter.canBroadcast = true;
    adapter.addresses = {{0xC6120001u, 16}};
    const QList<Adapters::Adapter> adapters = Adapters::choose({adapter}).adapters;
    printTime("against 127 devices found (PlanCheck::check)",
              measure(3, 1, [&] { PlanCheck::check(reading.rows, found, adapters); }));

    // The program itself, from start to its one-line refusal of the filled-down plan (nothing is
    // sent: the refusal comes before the port is even opened).
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("filled-down.csv")));
    if (!file.open(QIODevice::WriteOnly) || file.write(filledDown) != filledDown.size())
        return printLine(QStringLiteral("!! cannot write %1").arg(file.fileName()));
    file.close();
    QString refusal;
    int exitCode = -1;
    printTime("kvrctl700-cli apply, filled down: start to refusal", measure(3, 1, [&] {
                  QProcess cli;
                  cli.start(cliPath, {QStringLiteral("apply"), file.fileName()});
                  cli.waitForFinished(60000);
                  exitCode = cli.exitCode();
                  refusal = QString::fromUtf8(cli.readAllStandardError());
              }));
    printLine(QStringLiteral("   exit %1, %2 line(s) on standard error: %3")
                  .arg(exitCode)
                  .arg(refusal.count(u'\n'))
                  .arg(refusal.trimmed()));
}

} // namespace Bench
