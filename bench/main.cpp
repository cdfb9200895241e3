// kvrctl700-bench: throughput of the frame codec and the receive path, the burst and flood
// figures of the device list, and the command-line search over two adapters. Run it with make bench: it opens sockets and must run inside a
// private network namespace.

#include "benchmarks.h"
#include "harness.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // The burst figures drive the real main window; nothing needs to be seen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    QStringList sections = QApplication::arguments().mid(1);
    if (sections.isEmpty())
        // The programs first: the others open port 102 in this process, which the program then cannot.
        sections = {QStringLiteral("search"), QStringLiteral("apply"), QStringLiteral("plan"), QStringLiteral("codec"), QStringLiteral("receive"), QStringLiteral("burst")};

    Bench::printLine(QStringLiteral("kvrctl700-bench on %1").arg(Bench::machineDescription()));
    for (const QString &section : sections) {
        if (section == QLatin1String("codec")) {
            Bench::runCodecBenchmarks();
        } else if (section == QLatin1String("receive")) {
            Bench::runReceiveBenchmark();
        } else if (section == QLatin1String("burst")) {
            Bench::runBurstBenchmark(QStringLiteral(KVR_DEVSIM_PATH));
        } else if (section == QLatin1String("search")) {
            Bench::runSearchBenchmark(QStringLiteral(KVR_DEVSIM_PATH), QStringLiteral(KVR_CLI_PATH));
        } else if (section == QLatin1String("apply")) {
            Bench::runApplyBenchmark(QStringLiteral(KVR_DEVSIM_PATH), QStringLiteral(KVR_CLI_PATH));
        } else if (section == QLatin1String("plan")) {
            Bench::runPlanBenchmark(QStringLiteral(KVR_CLI_PATH));
        } else {
            Bench::printLine(QStringLiteral("usage: kvrctl700-bench [codec] [receive] [burst] [search] [apply] [plan]"));
            return 2;
        }
    }
    return 0;
}
