// The floor itself and the reader's pass over a record, as a ratio to the floor.
#include <benchmark/benchmark.h>

#include <vector>

#include "bench_data.h"
#include "core/data/waveform_reader.h"
#include "floor.h"

namespace torvwy::bench {
namespace {

// Arguments: samples, format.
void BM_Floor(benchmark::State& state) {
  const BenchNode node = RandomWalkNode(state.range(0), static_cast<int32_t>(state.range(1)));
  FloorClock clock;
  for (auto _ : state) {
    clock.Start();
    benchmark::DoNotOptimize(FloorPass(node));
    clock.Stop();
  }
  clock.Report(state, node);
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

// The reader's pass: every sample read, converted to a raw value and summed.
void BM_ReadConvert(benchmark::State& state) {
  const BenchNode node = RandomWalkNode(state.range(0), static_cast<int32_t>(state.range(1)));
  std::vector<double> buffer(1 << 16);
  FloorClock clock;
  for (auto _ : state) {
    clock.Start();
    auto reader = core::WaveformReader::Open(node.sts, node.info);
    if (!reader) {
      state.SkipWithError(reader.error().detail.c_str());
      return;
    }
    double sums[4] = {0.0, 0.0, 0.0, 0.0};
    for (int64_t left = reader->record_samples(); left > 0;) {
      const int64_t n = std::min<int64_t>(left, static_cast<int64_t>(buffer.size()));
      std::span<double> chunk(buffer.data(), static_cast<size_t>(n));
      if (!reader->Read(chunk)) break;
      for (size_t i = 0; i + 4 <= chunk.size(); i += 4) {
        for (size_t k = 0; k < 4; ++k) sums[k] += chunk[i + k];
      }
      left -= n;
    }
    benchmark::DoNotOptimize(sums);
    clock.Stop();
  }
  clock.Report(state, node);
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

}  // namespace
}  // namespace torvwy::bench

// 100 M samples as int16 and as float32.
BENCHMARK(torvwy::bench::BM_Floor)
    ->Args({100 << 20, 951})
    ->Args({100 << 20, 885})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(torvwy::bench::BM_ReadConvert)
    ->Args({100 << 20, 951})
    ->Args({100 << 20, 885})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
