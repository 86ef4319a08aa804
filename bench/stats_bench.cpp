// The statistics batch over 200 waveforms of 1 M samples, on one thread and on every core; the
// speed-up is the ratio of the two times (the "pairs" counter is per second), and x_floor the
// batch against one plain read-and-convert pass over each waveform.
#include <benchmark/benchmark.h>

#include <string>
#include <thread>

#include "bench_data.h"
#include "core/data/sampling_info.h"
#include "core/services/progress.h"
#include "core/stats/statistics_batch.h"
#include "floor.h"

namespace torvwy::bench {
namespace {
namespace fs = std::filesystem;

constexpr int kWaveforms = 200;
constexpr int64_t kSamples = 1 << 20;

/// "<tmp>/torvwy-bench/stats/walk1#1 .. #200": copies of one random-walk record, each its own file
/// so that every task streams a file of its own.
fs::path StatsFolder() {
  const BenchNode node = RandomWalkNode(kSamples, 951);
  const fs::path folder = node.sts.parent_path() / "stats";
  fs::create_directories(folder);
  for (int i = 1; i <= kWaveforms; ++i) {
    const std::string title = "walk1#" + std::to_string(i);
    const fs::path sts = folder / (title + ".sts");
    std::error_code ec;
    if (!fs::exists(sts, ec) || fs::file_size(sts, ec) != fs::file_size(node.sts, ec)) {
      fs::copy_file(node.sts, sts, fs::copy_options::overwrite_existing);
    }
    if (!fs::exists(folder / (title + ".tsp"), ec)) {
      (void)core::WriteSamplingParameters(folder / (title + ".tsp"), node.info);
    }
  }
  return folder;
}

void BM_StatisticsBatch(benchmark::State& state) {
  core::StatisticsParameters parameters;
  parameters.data_path = StatsFolder().string();
  parameters.test_name = "walk";
  parameters.code_range = "1";
  parameters.node_range = "1-" + std::to_string(kWaveforms);
  parameters.content = static_cast<int32_t>(state.range(0));
  core::StatisticsRunOptions options;
  options.threads = static_cast<int>(state.range(1));
  FloorClock clock;
  for (auto _ : state) {
    clock.Start();
    core::SilentProgress progress;
    auto batch = core::RunStatistics(parameters, options, progress);
    if (!batch || batch->table.rows.empty()) {
      state.SkipWithError("the batch gave no rows");
      return;
    }
    benchmark::DoNotOptimize(batch->table.rows.size());
    clock.Stop();
  }
  // The floor of the batch: one plain pass over each of its waveforms.
  clock.Report(state, RandomWalkNode(kSamples, 951), kWaveforms);
  state.counters["pairs"] =
      benchmark::Counter(static_cast<double>(kWaveforms) * static_cast<double>(state.iterations()),
                         benchmark::Counter::kIsRate);
  state.SetItemsProcessed(state.iterations() * kWaveforms * kSamples);
}

void Threads(benchmark::internal::Benchmark* b) {
  const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  for (int content : {0, 1}) {
    b->Args({content, 1});
    if (cores > 1) b->Args({content, cores});
  }
}

BENCHMARK(BM_StatisticsBatch)
    ->Apply(Threads)
    ->ArgNames({"content", "threads"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(5);

}  // namespace
}  // namespace torvwy::bench
