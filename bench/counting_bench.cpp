// Counting runs of every method over a large record, to set beside the read baseline.
#include <benchmark/benchmark.h>

#include <string>

#include "bench_data.h"
#include "core/counting/counting_parameters.h"
#include "core/files/result_file.h"
#include "core/services/progress.h"
#include "floor.h"

namespace torvwy::bench {
namespace {

// Arguments: samples, format, amplitude mode (0 full scale: one read of the file; 1 automatic:
// the envelope pass, then the counting pass), threads (0: one per core).
core::CountingParameters BenchParameters(const BenchNode& node, int64_t amplitude_mode) {
  core::CountingParameters params;
  core::ResetRangeOnNodeLoad(params, node.info);
  params.amplitude_mode = static_cast<int32_t>(amplitude_mode);
  params.partitions = 100;
  return params;
}

void BM_PeakCounting(benchmark::State& state) {
  const BenchNode node = RandomWalkNode(state.range(0), static_cast<int32_t>(state.range(1)));
  const core::CountingParameters params = BenchParameters(node, state.range(2));
  FloorClock clock;
  for (auto _ : state) {
    clock.Start();
    core::SilentProgress progress;
    auto counted =
        CountBenchNode(core::CountingKind::kPeak, node, params, state.range(3), progress);
    if (!counted) {
      state.SkipWithError(counted.error().detail.c_str());
      return;
    }
    benchmark::DoNotOptimize(std::get<core::PeakResultFile>(*counted).result.largest_total_count);
    clock.Stop();
  }
  clock.Report(state, node);
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_RangeCounting(benchmark::State& state) {
  const BenchNode node = RandomWalkNode(state.range(0), static_cast<int32_t>(state.range(1)));
  const core::CountingParameters params = BenchParameters(node, state.range(2));
  FloorClock clock;
  for (auto _ : state) {
    clock.Start();
    core::SilentProgress progress;
    auto counted =
        CountBenchNode(core::CountingKind::kRange, node, params, state.range(3), progress);
    if (!counted) {
      state.SkipWithError(counted.error().detail.c_str());
      return;
    }
    benchmark::DoNotOptimize(std::get<core::RangeResultFile>(*counted).result.largest_count);
    clock.Stop();
  }
  clock.Report(state, node);
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

// The newer methods beside peak counting: argument 4 is the CountingKind.
void BM_MethodCounting(benchmark::State& state) {
  const BenchNode node = RandomWalkNode(state.range(0), static_cast<int32_t>(state.range(1)));
  const core::CountingParameters params = BenchParameters(node, state.range(2));
  const auto kind = static_cast<core::CountingKind>(state.range(4));
  state.SetLabel(std::string(core::CountingKindName(kind)));
  FloorClock clock;
  for (auto _ : state) {
    clock.Start();
    core::SilentProgress progress;
    auto counted = CountBenchNode(kind, node, params, state.range(3), progress);
    if (!counted) {
      state.SkipWithError(counted.error().detail.c_str());
      return;
    }
    benchmark::DoNotOptimize(core::PassCancelled(*counted));
    clock.Stop();
  }
  clock.Report(state, node);
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

}  // namespace
}  // namespace torvwy::bench

// 100 M samples as int16, with the amplitude range known beforehand and automatic, on one thread
// and on every core.
BENCHMARK(torvwy::bench::BM_PeakCounting)
    ->ArgsProduct({{100 << 20}, {951, 885}, {0, 1}, {1, 0}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->Repetitions(5);
// Peak (0) beside level crossings (3), range pairs (4) and time at level (5): the aim is within
// 1.5 x of peak counting's time on the same record.
BENCHMARK(torvwy::bench::BM_MethodCounting)
    ->ArgsProduct({{100 << 20}, {951}, {0}, {1, 0}, {0, 3, 4, 5}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->Repetitions(5);
BENCHMARK(torvwy::bench::BM_RangeCounting)
    ->ArgsProduct({{100 << 20}, {951, 885}, {0, 1}, {1, 0}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->Repetitions(5);
