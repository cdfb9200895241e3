#pragma once

#include <QByteArray>
#include <QString>

// The benchmark sections; each prints its own figures.
namespace Bench {

void runCodecBenchmarks();
void runReceiveBenchmark();
// Needs the simulator program and a namespace with nothing but loopback (make bench).
void runBurstBenchmark(const QString &simulatorPath);
// kvrctl700-cli's search over two adapters with lost replies; the same needs as the burst.
void runSearchBenchmark(const QString &simulatorPath, const QString &cliPath);
// kvrctl700-cli apply of a plan for 127 devices behind two adapters, and the same plan again.
void runApplyBenchmark(const QString &simulatorPath, const QString &cliPath);

// Address plans of 100000 rows read and checked, in this process and through kvrctl700-cli.
void runPlanBenchmark(const QString &cliPath);

// Made-up devices for two adapters, as a simulator's device file: the first half behind cable 0
// (198.18.0.0/16), the rest behind cable 1 with addresses of its subnet.
QByteArray splitDeviceFile(int devices, int cable);

} // namespace Bench
