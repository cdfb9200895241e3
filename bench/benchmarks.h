#pragma once

#include <QString>

// The benchmark sections; each prints its own figures.
namespace Bench {

void runCodecBenchmarks();
void runReceiveBenchmark();
// Needs the simulator program and a namespace with nothing but loopback (make bench).
void runBurstBenchmark(const QString &simulatorPath);
// kvrctl700-cli's search over two adapters with lost replies; the same needs as the burst.
void runSearchBenchmark(const QString &simulatorPath, const QString &cliPath);

} // namespace Bench
