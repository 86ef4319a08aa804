// The physical floor of a pass over a record, written here without any of the system's code:
// read() of the raw file in large buffers and a plain convert-and-sum loop.
#pragma once

#include "bench_data.h"

namespace torvwy::bench {

/// Seconds of one floor pass over `node` (int16 or float32): read() of the whole raw file in
/// 4 MB buffers, every sample converted to double and summed. The best of five passes, measured
/// once per record and process, so every benchmark of a run divides by the same number.
double FloorSeconds(const BenchNode& node);

/// One floor pass; returns the sum so that nothing is optimised away.
double FloorPass(const BenchNode& node);

}  // namespace torvwy::bench

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>

namespace torvwy::bench {

/// Times the iterations of a benchmark and reports the best of them beside the floor of the same
/// record, measured in the same process: best_ms, floor_ms and x_floor = best / floor.
class FloorClock {
 public:
  void Start() { start_ = std::chrono::steady_clock::now(); }
  void Stop() {
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start_;
    best_ = std::min(best_, took.count());
  }
  void Report(benchmark::State& state, const BenchNode& node) const {
    const double floor = FloorSeconds(node);
    state.counters["best_ms"] = best_ * 1e3;
    state.counters["floor_ms"] = floor * 1e3;
    state.counters["x_floor"] = best_ / floor;
  }

 private:
  std::chrono::steady_clock::time_point start_;
  double best_ = 1e300;
};

}  // namespace torvwy::bench
