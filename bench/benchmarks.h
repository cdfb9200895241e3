#pragma once

#include <QString>

// The benchmark sections; each prints its own figures.
namespace Bench {

void runCodecBenchmarks();
void runReceiveBenchmark();
// Needs the simulator program and a namespace with nothing but loopback (make bench).
void runBurstBenchmark(const QString &simulatorPath);

} // namespace Bench
