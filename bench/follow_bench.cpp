// Following a record as it grows to 100 M samples: the time of one update (a look that counts
// the blocks that arrived since the last, and the result of everything so far) must not grow
// with the record. The record is an int16 random walk appended block by block; each update
// brings 100 blocks (about a second of a 100 kHz channel). Reported per record size: the median
// update time, the floor of the same new blocks (pread() of their bytes and a plain convert
// loop, timed right after each update) and their ratio; and the update's two parts: the look
// that counts the new blocks (poll_ms, x_floor_poll) and the result of everything so far with
// its envelope (snapshot_ms), which costs the same at every length.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "core/data/sample_format.h"
#include "core/data/sampling_info.h"
#include "core/run/record_follower.h"
#include "core/services/progress.h"
#include "floor.h"

namespace torvwy::bench {
namespace {

namespace fs = std::filesystem;

constexpr int64_t kUpdateBlocks = 100;
constexpr int kUpdatesPerSize = 25;

fs::path FollowFolder(const std::string& name) {
  const char* tmp = std::getenv("TMPDIR");
  const fs::path folder =
      fs::path(tmp != nullptr && *tmp ? tmp : "/tmp") / "torvwy-bench" / ("follow-" + name);
  fs::remove_all(folder);
  fs::create_directories(folder);
  return folder;
}

/// The growing node: its .tsp says it is being recorded, its .sts is appended to.
class GrowingNode {
 public:
  explicit GrowingNode(const fs::path& folder) : sts_(folder / "rig1#ch1.sts") {
    core::SamplingInfo info;
    info.set_frequency_hz(100000.0);
    info.set_c1(1.0);
    info.set_c2(1.0);
    info.set_format(core::kFormatInt16);
    info.set_length_half_blocks(0);
    std::ofstream tsp(folder / "rig1#ch1.tsp");
    tsp << "[Sampling]\nFrequency=100000\nC1=1\nC2=1\nFormat=951\nLength=0\nEU=\nText1=\n"
           "Text2=\nText3=\n[Recording]\nRunning=1\n";
    std::ofstream(sts_, std::ios::binary).flush();
  }

  const fs::path& sts() const { return sts_; }
  int64_t samples() const { return samples_; }

  /// Appends `blocks` blocks of the walk.
  void Append(int64_t blocks) {
    values_.resize(static_cast<size_t>(blocks * core::kBlockSamples));
    for (int16_t& v : values_) {
      value_ = std::clamp(value_ + step_(random_), -30000, 30000);
      v = static_cast<int16_t>(value_);
    }
    std::ofstream out(sts_, std::ios::binary | std::ios::app);
    out.write(reinterpret_cast<const char*>(values_.data()),
              static_cast<std::streamsize>(values_.size() * sizeof(int16_t)));
    samples_ += static_cast<int64_t>(values_.size());
  }

 private:
  fs::path sts_;
  std::mt19937 random_{7};
  std::uniform_int_distribution<int> step_{-64, 64};
  int value_ = 0;
  int64_t samples_ = 0;
  std::vector<int16_t> values_;
};

/// The floor of one update: pread() of the samples [first, first + count) and a plain convert
/// loop into four sums.
double FloorOfUpdate(const fs::path& sts, int64_t first, int64_t count) {
  const int fd = ::open(sts.c_str(), O_RDONLY);
  if (fd < 0) return 0.0;
  std::vector<int16_t> raw(static_cast<size_t>(count));
  const ssize_t got = ::pread(fd, raw.data(), raw.size() * sizeof(int16_t),
                              static_cast<off_t>(first * static_cast<int64_t>(sizeof(int16_t))));
  ::close(fd);
  const size_t n = got > 0 ? static_cast<size_t>(got) / sizeof(int16_t) : 0;
  return ConvertAndSum<int16_t>(reinterpret_cast<const char*>(raw.data()), n);
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0.0 : values[values.size() / 2];
}

void BM_FollowUpdate(benchmark::State& state) {
  const auto kind = static_cast<core::CountingKind>(state.range(0));
  const char* names[] = {"peak", "range", "rainflow"};
  const fs::path folder = FollowFolder(names[state.range(0)]);
  GrowingNode node(folder);
  node.Append(2);
  auto counting_node = core::OpenCountingNode(folder, "rig1", "", "ch1");
  if (!counting_node) {
    state.SkipWithError(counting_node.error().detail.c_str());
    return;
  }
  core::FollowSetup setup;
  setup.plan.kind = kind;
  setup.plan.parameters.partitions = 64;
  setup.plan.parameters.amplitude_mode = core::kAmplitudeFullScale;
  auto follower = core::RecordFollower::Start(*counting_node, setup);
  if (!follower) {
    state.SkipWithError(follower.error().detail.c_str());
    return;
  }
  core::SilentProgress progress;
  // Record sizes at which updates are timed: 1 M, 10 M and 100 M samples.
  const int64_t sizes[] = {int64_t{1} << 20, int64_t{10} << 20, int64_t{100} << 20};
  const char* labels[] = {"1M", "10M", "100M"};
  for (auto _ : state) {
    for (size_t s = 0; s < 3; ++s) {
      // Grow to the size in large appends, counted on the way but not timed.
      while (node.samples() < sizes[s]) {
        node.Append(std::min<int64_t>(4096, (sizes[s] - node.samples()) / core::kBlockSamples));
        follower->Poll(progress);
      }
      std::vector<double> update_ms, poll_ms, snapshot_ms, floor_ms;
      for (int u = 0; u < kUpdatesPerSize; ++u) {
        const int64_t first = node.samples();
        node.Append(kUpdateBlocks);
        const auto start = std::chrono::steady_clock::now();
        const core::FollowLook look = follower->Poll(progress);
        const auto polled = std::chrono::steady_clock::now();
        auto snapshot = follower->Snapshot();
        const auto end = std::chrono::steady_clock::now();
        const std::chrono::duration<double, std::milli> took = end - start;
        poll_ms.push_back(std::chrono::duration<double, std::milli>(polled - start).count());
        snapshot_ms.push_back(std::chrono::duration<double, std::milli>(end - polled).count());
        if (look.new_blocks != kUpdateBlocks || !snapshot) {
          state.SkipWithError("the update did not count the new blocks");
          return;
        }
        benchmark::DoNotOptimize(snapshot->index());
        update_ms.push_back(took.count());
        const auto floor_start = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(
            FloorOfUpdate(node.sts(), first, kUpdateBlocks * core::kBlockSamples));
        const std::chrono::duration<double, std::milli> floor_took =
            std::chrono::steady_clock::now() - floor_start;
        floor_ms.push_back(floor_took.count());
      }
      const double update = Median(update_ms);
      const double floor = Median(floor_ms);
      state.counters[std::string("update_ms_") + labels[s]] = update;
      state.counters[std::string("floor_ms_") + labels[s]] = floor;
      state.counters[std::string("x_floor_") + labels[s]] = floor > 0.0 ? update / floor : 0.0;
      const double poll = Median(poll_ms);
      state.counters[std::string("poll_ms_") + labels[s]] = poll;
      state.counters[std::string("x_floor_poll_") + labels[s]] = floor > 0.0 ? poll / floor : 0.0;
      state.counters[std::string("snapshot_ms_") + labels[s]] = Median(snapshot_ms);
    }
    // Flat: the update at 100 M samples over the update at 1 M.
    state.counters["growth_100M_over_1M"] =
        state.counters["update_ms_100M"] / state.counters["update_ms_1M"];
  }
  fs::remove_all(folder);
}

}  // namespace
}  // namespace torvwy::bench

// Peak, range and rainflow, the full scale as the amplitude range.
BENCHMARK(torvwy::bench::BM_FollowUpdate)
    ->DenseRange(0, 2)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
