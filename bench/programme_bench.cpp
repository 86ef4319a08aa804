// A test programme of 100 events of 1 M samples each, with 1, 2 or 10^6 repeats per event: the
// time grows with the samples read, not with the repeats (a repeated record's points are fed
// to the history twice, whatever the repeats; a record driven once, once).
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "bench_data.h"
#include "core/data/sampling_info.h"
#include "core/programme/programme_count.h"
#include "core/services/progress.h"
#include "floor.h"

namespace torvwy::bench {
namespace {

namespace fs = std::filesystem;

constexpr int kEvents = 100;

/// The benchmark record as the node walk1#1 of a data folder beside it (its .sts linked).
fs::path ProgrammeFolder(const BenchNode& node) {
  const fs::path folder = node.sts.parent_path() / "programme";
  fs::create_directories(folder);
  const fs::path sts = folder / "walk1#1.sts";
  std::error_code ec;
  if (!fs::exists(sts, ec)) fs::create_symlink(node.sts, sts, ec);
  if (auto ok = core::WriteSamplingParameters(folder / "walk1#1.tsp", node.info); !ok) return {};
  return folder;
}

// Arguments: repeats of every event, threads (0: one per core).
void BM_Programme(benchmark::State& state) {
  const BenchNode node = RandomWalkNode(int64_t{1} << 20, 951);
  core::Programme programme;
  programme.name = "bench";
  programme.folder = ProgrammeFolder(node);
  for (int e = 0; e < kEvents; ++e) {
    core::ProgrammeEvent event;
    event.number = e + 1;
    event.data = ".";
    event.test = "walk";
    event.code = "1";
    event.node = "1";
    event.repeats = state.range(0);
    event.scale = 1.0 + 0.01 * e;  // each event its own load level
    programme.events.push_back(event);
  }
  FloorClock clock;
  for (auto _ : state) {
    clock.Start();
    core::SilentProgress progress;
    auto result = core::RunProgramme(programme, static_cast<int>(state.range(1)), progress);
    if (!result) {
      state.SkipWithError(result.error().detail.c_str());
      return;
    }
    benchmark::DoNotOptimize(result->total_damage);
    clock.Stop();
  }
  // The floor: the same 100 records read and converted.
  clock.Report(state, node, kEvents);
  state.SetItemsProcessed(state.iterations() * kEvents * (int64_t{1} << 20));
}

}  // namespace
}  // namespace torvwy::bench

BENCHMARK(torvwy::bench::BM_Programme)
    ->ArgsProduct({{1, 2, 1000000}, {1, 0}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(3);
