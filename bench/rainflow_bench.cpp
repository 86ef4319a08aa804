// The rainflow run over a large record, and the cycle extraction of an hourglass history.
#include <benchmark/benchmark.h>

#include <vector>

#include "bench_data.h"
#include "core/counting/counting_parameters.h"
#include "core/rainflow/rainflow_counter.h"
#include "core/services/progress.h"
#include "floor.h"

namespace torvwy::bench {
namespace {

// Arguments: samples, format, amplitude mode (0 full scale: one read gives envelope and count;
// 1 automatic: the envelope pass, then the counting pass), threads (0: one per core).
void BM_RainflowCounting(benchmark::State& state) {
  const BenchNode node = RandomWalkNode(state.range(0), static_cast<int32_t>(state.range(1)));
  core::CountingParameters params;
  core::ResetRangeOnNodeLoad(params, node.info);
  params.amplitude_mode = static_cast<int32_t>(state.range(2));
  params.partitions = 100;
  int64_t turning_points = 0;
  FloorClock clock;
  for (auto _ : state) {
    clock.Start();
    core::SilentProgress progress;
    auto counted =
        CountBenchNode(core::CountingKind::kRainflow, node, params, state.range(3), progress);
    if (!counted) {
      state.SkipWithError(counted.error().detail.c_str());
      return;
    }
    turning_points = std::get<core::RainflowResultFile>(*counted).result.turning_points;
    benchmark::DoNotOptimize(std::get<core::RainflowResultFile>(*counted).result.largest_count);
    clock.Stop();
  }
  clock.Report(state, node);
  state.counters["turning_points"] = static_cast<double>(turning_points);
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

// Swings that shrink to the middle and grow again: the pass-after-pass rule needs one pass per
// cycle (about 100,000 passes over 200,000 points); the stack closes each cycle once.
void BM_RainflowHourglass(benchmark::State& state) {
  const auto m = static_cast<int>(state.range(0) / 2);
  std::vector<double> points;
  for (int i = 0; i < m; ++i) points.push_back((i % 2 == 0 ? 1.0 : -1.0) * (m - i));
  for (int j = 0; j < m; ++j) points.push_back(((m + j) % 2 == 0 ? 1.0 : -1.0) * (j + 1.5));
  core::RainflowSetup setup;
  setup.partitions = 2000;
  setup.amplitude_range = 2.0 * m + 1;
  setup.smallest_range = 0.5;
  state.counters["load_1m"] = LoadAverage();
  for (auto _ : state) {
    core::RainflowCounter counter(setup);
    if (!counter.Feed(points).ok()) {
      state.SkipWithError("feed failed");
      return;
    }
    auto result = counter.Finish();
    benchmark::DoNotOptimize(result.ok() ? result->counts[0] : 0.0);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

}  // namespace
}  // namespace torvwy::bench

// 100 M samples as int16, to set beside BM_ReadConvert.
BENCHMARK(torvwy::bench::BM_RainflowCounting)
    ->ArgsProduct({{100 << 20}, {951, 885}, {0, 1}, {1, 0}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->Repetitions(5);

// 200,000 turning points.
BENCHMARK(torvwy::bench::BM_RainflowHourglass)
    ->Arg(200000)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5);
