#pragma once

// The benchmark sections; each prints its own figures.
namespace Bench {

void runCodecBenchmarks();
void runReceiveBenchmark();

} // namespace Bench
