// The read baseline: one plain read-and-convert pass over a record.
#include <benchmark/benchmark.h>

#include <vector>

#include "bench_data.h"
#include "core/data/waveform_reader.h"

namespace torvwy::bench {
namespace {

void BM_ReadConvert(benchmark::State& state) {
  const BenchNode node = RandomWalkNode(state.range(0), static_cast<int32_t>(state.range(1)));
  std::vector<double> buffer(1 << 16);
  for (auto _ : state) {
    auto reader = core::WaveformReader::Open(node.sts, node.info);
    if (!reader) {
      state.SkipWithError(reader.error().detail.c_str());
      return;
    }
    double sum = 0.0;
    for (int64_t left = reader->record_samples(); left > 0;) {
      const int64_t n = std::min<int64_t>(left, static_cast<int64_t>(buffer.size()));
      std::span<double> chunk(buffer.data(), static_cast<size_t>(n));
      if (!reader->Read(chunk)) break;
      for (double v : chunk) sum += v;
      left -= n;
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

}  // namespace
}  // namespace torvwy::bench

// 100 M samples as int16 and as float32.
BENCHMARK(torvwy::bench::BM_ReadConvert)
    ->Args({100 << 20, 951})
    ->Args({100 << 20, 885})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
