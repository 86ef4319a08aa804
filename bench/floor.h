// The physical floor of a pass over a record, written here without any of the system's code:
// read() of the raw file in large buffers and a plain convert-and-sum loop.
#pragma once

#include <cstddef>
#include <cstring>

#include "bench_data.h"

namespace torvwy::bench {

// Sums `n` samples of type T into four independent sums held in registers, so that the loop
// runs at the speed of the conversion, not of one chain of additions. (Sums kept in an array
// were kept in memory by the compiler: every addition then waited on the store before it, and
// the floor ran at half speed or less, depending on where the stack lay.)
template <typename T>
inline T SampleAt(const char* bytes, size_t i) {
  T value;
  std::memcpy(&value, bytes + i * sizeof(T), sizeof(T));
  return value;
}

template <typename T>
inline double ConvertAndSum(const char* bytes, size_t n) {
  double s0 = 0.0;
  double s1 = 0.0;
  double s2 = 0.0;
  double s3 = 0.0;
  size_t i = 0;
  for (; i + 4 <= n; i += 4) {
    s0 += static_cast<double>(SampleAt<T>(bytes, i));
    s1 += static_cast<double>(SampleAt<T>(bytes, i + 1));
    s2 += static_cast<double>(SampleAt<T>(bytes, i + 2));
    s3 += static_cast<double>(SampleAt<T>(bytes, i + 3));
  }
  for (; i < n; ++i) s0 += static_cast<double>(SampleAt<T>(bytes, i));
  return (s0 + s1) + (s2 + s3);
}

/// One floor pass over `node` (int16 or float32): read() of the whole raw file in 4 MB buffers,
/// every sample converted to double and summed; returns the sum so that nothing is optimised
/// away.
double FloorPass(const BenchNode& node);

}  // namespace torvwy::bench

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>

namespace torvwy::bench {

/// The machine's load average over the last minute (from /proc/loadavg; -1 when unknown).
inline double LoadAverage() {
  std::FILE* file = std::fopen("/proc/loadavg", "r");
  if (file == nullptr) return -1.0;
  double load = -1.0;
  if (std::fscanf(file, "%lf", &load) != 1) load = -1.0;
  std::fclose(file);
  return load;
}

/// CPU seconds of this process so far, all threads together.
inline double ProcessCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

/// Times the iterations of a benchmark, then the floor of the same record right after them (the
/// best of three), so that both see the same machine. Reports best_ms, floor_ms and x_floor =
/// best / floor in wall time, and cpu_ms, floor_cpu_ms and x_floor_cpu in CPU time of the whole
/// process (all threads: for a pass on one thread the steadier number on a busy machine), and
/// load_1m, the load average when the run started. `floor_passes` floors make the floor of a pass
/// over that many records like `node`. Run with --benchmark_repetitions=5 for the median.
class FloorClock {
 public:
  void Start() {
    if (load_ < 0.0) load_ = LoadAverage();
    start_ = std::chrono::steady_clock::now();
    start_cpu_ = ProcessCpuSeconds();
  }
  void Stop() {
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start_;
    best_ = std::min(best_, took.count());
    best_cpu_ = std::min(best_cpu_, ProcessCpuSeconds() - start_cpu_);
  }
  void Report(benchmark::State& state, const BenchNode& node, int floor_passes = 1) const {
    double floor = 1e300;
    double floor_cpu = 1e300;
    for (int pass = 0; pass < 3; ++pass) {
      const auto start = std::chrono::steady_clock::now();
      const double start_cpu = ProcessCpuSeconds();
      for (int p = 0; p < floor_passes; ++p) benchmark::DoNotOptimize(FloorPass(node));
      const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
      floor = std::min(floor, took.count());
      floor_cpu = std::min(floor_cpu, ProcessCpuSeconds() - start_cpu);
    }
    state.counters["best_ms"] = best_ * 1e3;
    state.counters["floor_ms"] = floor * 1e3;
    state.counters["x_floor"] = best_ / floor;
    state.counters["cpu_ms"] = best_cpu_ * 1e3;
    state.counters["floor_cpu_ms"] = floor_cpu * 1e3;
    state.counters["x_floor_cpu"] = best_cpu_ / floor_cpu;
    state.counters["load_1m"] = load_;
  }

 private:
  std::chrono::steady_clock::time_point start_;
  double start_cpu_ = 0.0;
  double best_ = 1e300;
  double best_cpu_ = 1e300;
  double load_ = -1.0;
};

}  // namespace torvwy::bench
