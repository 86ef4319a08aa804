// Making the benchmark records.
#include "bench_data.h"

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/data/counting_node.h"
#include "core/run/counting_plan.h"
#include "core/run/counting_run.h"

namespace torvwy::bench {
namespace fs = std::filesystem;

BenchNode RandomWalkNode(int64_t samples, int32_t format) {
  const fs::path folder = fs::temp_directory_path() / "torvwy-bench";
  fs::create_directories(folder);
  BenchNode node;
  node.sts = folder / ("walk-" + std::to_string(samples) + "-" + std::to_string(format) + ".sts");
  node.info.set_frequency_hz(1024.0);
  node.info.set_c1(1.0);
  node.info.set_c2(1.0);
  node.info.set_format(format);
  node.info.set_length_half_blocks(static_cast<int32_t>(samples / 512));
  node.info.set_eu("MPa");
  const int sample_size = format == 951 ? 2 : 4;
  std::error_code ec;
  if (fs::exists(node.sts, ec) && fs::file_size(node.sts, ec) == uint64_t(samples) * sample_size) {
    return node;
  }
  const fs::path temp = node.sts.string() + ".part";
  std::FILE* out = std::fopen(temp.c_str(), "wb");
  std::mt19937_64 random(42);
  std::normal_distribution<double> step(0.0, 300.0);
  double value = 0.0;
  std::vector<char> buffer;
  constexpr int64_t kChunk = 1 << 20;
  for (int64_t done = 0; done < samples; done += kChunk) {
    const int64_t n = std::min(kChunk, samples - done);
    buffer.resize(static_cast<size_t>(n) * sample_size);
    for (int64_t i = 0; i < n; ++i) {
      value += step(random);
      if (value > 32000.0 || value < -32000.0) value *= 0.5;  // keep inside the int16 range
      const auto s = static_cast<int16_t>(value);
      if (format == 951) {
        std::memcpy(buffer.data() + i * 2, &s, 2);
      } else {
        const auto f = static_cast<float>(s);
        std::memcpy(buffer.data() + i * 4, &f, 4);
      }
    }
    std::fwrite(buffer.data(), 1, buffer.size(), out);
  }
  std::fclose(out);
  fs::rename(temp, node.sts);
  return node;
}

core::Result<core::AnyResultFile> CountBenchNode(core::CountingKind kind, const BenchNode& node,
                                                 const core::CountingParameters& parameters,
                                                 int64_t threads, core::Progress& progress) {
  core::CountingPlan asked;
  asked.kind = kind;
  asked.parameters = parameters;
  asked.threads = static_cast<int>(threads);
  auto plan = core::PlanCounting(asked);
  if (!plan) return plan.error();
  core::CountingNode counted;
  counted.info = node.info;
  counted.data_file = node.sts;
  return core::RunCounting(*plan, counted, progress);
}

}  // namespace torvwy::bench
