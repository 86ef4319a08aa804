// Counting one record in chunks and joining them: the same counts as one pass, whatever the
// chunk edges, for the three counters and for the whole run on several threads.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <random>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

#include "core/data/block_span.h"
#include "core/data/waveform_reader.h"
#include "core/files/result_file.h"
#include "core/peak/peak_counter.h"
#include "core/rainflow/literal_rainflow.h"
#include "core/rainflow/rainflow_counter.h"
#include "core/range/range_counter.h"
#include "core/run/counting_run.h"
#include "core/services/message_table.h"
#include "output/result_output.h"
#include "support/count_record.h"
#include "support/test_node.h"

namespace torvwy::core {
namespace {
namespace fs = std::filesystem;

/// A random walk of small integers with many plateaus, some of them long.
std::vector<double> WalkWithPlateaus(size_t n, uint32_t seed) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> step(-3, 3);
  std::uniform_int_distribution<int> plateau(0, 40);
  std::vector<double> x;
  double value = 0.0;
  while (x.size() < n) {
    const int s = step(random);
    value = std::clamp(value + s, -20.0, 20.0);
    const int repeat = plateau(random) == 0 ? 15 : (s == 0 ? 2 : 1);
    for (int r = 0; r < repeat && x.size() < n; ++r) x.push_back(value);
  }
  return x;
}

/// Edge positions worth cutting at: one sample from either end, inside plateaus, on the samples
/// where the signal turns (as a peak test sees it and as the rainflow direction sees it).
std::vector<int64_t> InterestingEdges(const std::vector<double>& x) {
  std::set<int64_t> edges = {1, static_cast<int64_t>(x.size()) - 1};
  int direction = 1;
  for (size_t i = 1; i + 1 < x.size(); ++i) {
    if (x[i] == x[i - 1] && x[i] == x[i + 1]) edges.insert(static_cast<int64_t>(i));
    if ((x[i] > x[i - 1] && x[i] >= x[i + 1]) || (x[i] < x[i - 1] && x[i] <= x[i + 1])) {
      edges.insert(static_cast<int64_t>(i));
      edges.insert(static_cast<int64_t>(i) + 1);
    }
    const int step = (x[i + 1] > x[i]) - (x[i + 1] < x[i]);
    if (step != 0 && step != direction) {
      edges.insert(static_cast<int64_t>(i));
      direction = step;
    }
  }
  return {edges.begin(), edges.end()};
}

/// Edges 0 = e0 < e1 < ... < ek = n of `chunks` chunks, half of the inner ones from `interesting`.
std::vector<int64_t> RandomEdges(size_t n, int chunks, const std::vector<int64_t>& interesting,
                                 std::mt19937& random) {
  std::set<int64_t> inner;
  while (static_cast<int>(inner.size()) < chunks - 1) {
    if (random() % 2 == 0) {
      inner.insert(interesting[random() % interesting.size()]);
    } else {
      inner.insert(1 + static_cast<int64_t>(random() % (n - 1)));
    }
  }
  std::vector<int64_t> edges = {0};
  edges.insert(edges.end(), inner.begin(), inner.end());
  edges.push_back(static_cast<int64_t>(n));
  return edges;
}

/// Feeds every chunk its window (in pieces of random size) and joins the chunks in time order.
template <typename Counter, typename Join>
Counter& CountInChunks(const std::vector<double>& x, const std::vector<int64_t>& edges,
                       std::vector<Counter>& counters, std::mt19937& random, Join join) {
  const auto n = static_cast<int64_t>(x.size());
  for (size_t c = 0; c + 1 < edges.size(); ++c) {
    const SampleSpan window = ChunkWindow(0, n, edges[c], edges[c + 1]);
    for (int64_t i = window.begin; i < window.end;) {
      const int64_t piece = std::min<int64_t>(window.end - i, 1 + random() % 700);
      const std::span<const double> samples(x.data() + i, static_cast<size_t>(piece));
      if constexpr (std::is_same_v<Counter, RainflowCounter>) {
        EXPECT_TRUE(counters[c].Feed(samples).ok());
      } else {
        counters[c].Feed(samples);
      }
      i += piece;
    }
  }
  for (size_t c = 1; c < counters.size(); ++c) join(counters[0], counters[c]);
  return counters[0];
}

constexpr double kC1 = 3.0;
constexpr double kC2 = 0.5;

PeakCountResult PeakInChunks(const std::vector<double>& x, const std::vector<int64_t>& edges,
                             std::mt19937& random) {
  const PeakCountSetup setup{.partitions = 7, .amplitude_range = 9.0, .c1 = kC1, .c2 = kC2};
  std::vector<PeakCounter> counters(edges.size() - 1, *PeakCounter::Create(setup));
  return CountInChunks(x, edges, counters, random,
                       [](PeakCounter& a, PeakCounter& b) { a.Join(b); })
      .Finish();
}

RangeCountResult RangeInChunks(const std::vector<double>& x, const std::vector<int64_t>& edges,
                               std::mt19937& random) {
  RangeCountSetup setup{.partitions = 9, .amplitude_range = 15.0, .c1 = kC1, .c2 = kC2};
  std::vector<RangeCounter> counters = {*RangeCounter::Create(setup)};
  setup.opens_range = false;
  while (counters.size() + 1 < edges.size()) counters.push_back(*RangeCounter::Create(setup));
  return CountInChunks(x, edges, counters, random,
                       [](RangeCounter& a, RangeCounter& b) { a.Join(b); })
      .Finish();
}

RainflowResult RainflowInChunks(const std::vector<double>& x, const std::vector<int64_t>& edges,
                                std::mt19937& random, RainflowSetup setup) {
  std::vector<RainflowCounter> counters;
  counters.emplace_back(setup);
  setup.opens_range = false;
  while (counters.size() + 1 < edges.size()) counters.emplace_back(setup);
  RainflowCounter& joined =
      CountInChunks(x, edges, counters, random,
                    [](RainflowCounter& a, RainflowCounter& b) { EXPECT_TRUE(a.Join(b).ok()); });
  auto result = joined.Finish();
  EXPECT_TRUE(result.ok());
  return result.ok() ? *result : RainflowResult{};
}

RainflowSetup SmallRainflowSetup() {
  RainflowSetup setup;
  setup.partitions = 9;
  setup.amplitude_range = 40.0;
  setup.smallest_range = 0.5;
  setup.scale = 1.0 / (kC2 * kC1);
  setup.residue_memory_points = 8;  // chunks and the join spill to their scratch files
  return setup;
}

TEST(ChunkedCountingTest, EveryChunkCountAndEdgeGivesTheOnePassCounts) {
  std::mt19937 random(1919);
  for (uint32_t record = 0; record < 6; ++record) {
    const std::vector<double> x = WalkWithPlateaus(3000 + 37 * record, record);
    const std::vector<int64_t> interesting = InterestingEdges(x);
    const std::vector<int64_t> whole = {0, static_cast<int64_t>(x.size())};
    const PeakCountResult peak = PeakInChunks(x, whole, random);
    const RangeCountResult range = RangeInChunks(x, whole, random);
    const RainflowResult rainflow = RainflowInChunks(x, whole, random, SmallRainflowSetup());
    ASSERT_GT(rainflow.turning_points, 500);
    for (int chunks = 1; chunks <= 8; ++chunks) {
      for (int trial = 0; trial < 6; ++trial) {
        const std::vector<int64_t> edges = RandomEdges(x.size(), chunks, interesting, random);
        SCOPED_TRACE("record " + std::to_string(record) + ", edges at " +
                     ::testing::PrintToString(edges));
        const PeakCountResult p = PeakInChunks(x, edges, random);
        EXPECT_EQ(p.two_way_peak_counts, peak.two_way_peak_counts);
        EXPECT_EQ(p.two_way_valley_counts, peak.two_way_valley_counts);
        EXPECT_EQ(p.one_way_total_counts, peak.one_way_total_counts);
        EXPECT_EQ(p.largest_separate_count, peak.largest_separate_count);
        const RangeCountResult r = RangeInChunks(x, edges, random);
        EXPECT_EQ(r.two_way_counts, range.two_way_counts);
        EXPECT_EQ(r.one_way_counts, range.one_way_counts);
        const RainflowResult f = RainflowInChunks(x, edges, random, SmallRainflowSetup());
        EXPECT_EQ(f.counts, rainflow.counts);
        EXPECT_EQ(f.turning_points, rainflow.turning_points);
        EXPECT_EQ(f.largest_count, rainflow.largest_count);
      }
    }
  }
}

TEST(ChunkedCountingTest, PublishedRainflowExampleSplitAtEveryEdge) {
  // The standard's example history -2 1 -3 5 -1 3 -4 4 -2: one full cycle of range 4 and half
  // cycles of 3, 4, 6, 8, 8 and 9, i.e. 0.5 at 3, 1.5 at 4, 0.5 at 6, 1.0 at 8 and 0.5 at 9.
  const std::vector<double> x = {-2, 1, -3, 5, -1, 3, -4, 4, -2};
  std::array<double, kMaxPartitions> expected{};
  expected[2] = 0.5;  // partitions of width 1: range r in (j, j + 1] goes to j
  expected[3] = 1.5;
  expected[5] = 0.5;
  expected[7] = 1.0;
  expected[8] = 0.5;
  RainflowSetup setup;
  setup.partitions = 10;
  setup.amplitude_range = 10.0;
  setup.smallest_range = 0.5;
  std::mt19937 random(49);
  const int inner = static_cast<int>(x.size()) - 1;
  for (int subset = 0; subset < (1 << inner); ++subset) {
    std::vector<int64_t> edges = {0};
    for (int e = 1; e <= inner; ++e) {
      if (subset & (1 << (e - 1))) edges.push_back(e);
    }
    edges.push_back(static_cast<int64_t>(x.size()));
    SCOPED_TRACE(::testing::PrintToString(edges));
    const RainflowResult result = RainflowInChunks(x, edges, random, setup);
    EXPECT_EQ(result.counts, expected);
    EXPECT_EQ(result.turning_points, 9);
  }
}

TEST(ChunkedCountingTest, HourglassSplitAnywhereGivesTheOnePassCycles) {
  // Swings that shrink to the middle and grow again: every cycle closes only once the growing
  // half comes, across any edge in the middle.
  const int m = 150;
  std::vector<double> x;
  for (int i = 0; i < m; ++i) x.push_back((i % 2 == 0 ? 1.0 : -1.0) * (m - i));
  for (int j = 0; j < m; ++j) x.push_back(((m + j) % 2 == 0 ? 1.0 : -1.0) * (j + 1.5));
  RainflowSetup setup;
  setup.partitions = 2000;
  setup.amplitude_range = 2.0 * m + 1;
  setup.smallest_range = 0.5;
  setup.residue_memory_points = 16;
  std::mt19937 random(7);
  const std::vector<int64_t> whole = {0, static_cast<int64_t>(x.size())};
  const RainflowResult one = RainflowInChunks(x, whole, random, setup);
  for (int64_t edge = 1; edge < static_cast<int64_t>(x.size()); ++edge) {
    const RainflowResult two = RainflowInChunks(x, {0, edge, whole[1]}, random, setup);
    ASSERT_EQ(two.counts, one.counts) << "edge " << edge;
  }
  const std::vector<int64_t> interesting = InterestingEdges(x);
  for (int chunks = 3; chunks <= 8; ++chunks) {
    const std::vector<int64_t> edges = RandomEdges(x.size(), chunks, interesting, random);
    EXPECT_EQ(RainflowInChunks(x, edges, random, setup).counts, one.counts)
        << ::testing::PrintToString(edges);
  }
}

std::string JsonText(const AnyResultFile& file) { return output::ResultJson(file).dump(); }

TEST(ChunkedCountingTest, EveryThreadCountGivesTheOneThreadJson) {
  testing::TempDir dir;
  // 24 blocks of int16 samples scaled by c2 and c1, so that the envelope, A and every count
  // pass through the calibration.
  std::vector<double> x = WalkWithPlateaus(24 * 1024, 5);
  for (double& v : x) v *= 900.0;
  testing::WriteNode(dir.path(), x, {.format = 951, .c1 = 2.0, .c2 = 0.5});
  auto node = OpenCountingNode(dir.path(), "abc", "12", "5");
  ASSERT_TRUE(node.ok()) << node.error().detail;
  // The same record supplied from memory (as the Python package supplies an array): its raw
  // values read once from the file.
  std::vector<double> raw(static_cast<size_t>(node->info.record_samples()));
  {
    auto reader = WaveformReader::Open(node->data_file, node->info);
    ASSERT_TRUE(reader.ok());
    ASSERT_TRUE(reader->Read(raw).ok());
  }
  CountingNode in_memory = *node;
  in_memory.data_file = "in memory";
  in_memory.samples = [&raw](int64_t first, std::span<double> out) {
    std::copy_n(raw.begin() + first, out.size(), out.begin());
    return Ok();
  };
  for (CountingKind kind : {CountingKind::kPeak, CountingKind::kRange, CountingKind::kRainflow}) {
    for (int32_t mode : {kAmplitudeFullScale, kAmplitudeAutomatic, kAmplitudeSetValue}) {
      for (auto [first, last] : {std::pair{1, 24}, std::pair{3, 21}, std::pair{7, 8}}) {
        CountingParameters params;
        params.amplitude_mode = mode;
        params.set_value = 6000.0;
        params.partitions = 40;
        params.range_mode = kRangeByBlock;
        params.first_block = first;
        params.last_block = last;
        SCOPED_TRACE(std::to_string(static_cast<int>(kind)) + " mode " + std::to_string(mode) +
                     " blocks " + std::to_string(first) + ".." + std::to_string(last));
        testing::CountOptions options;
        options.rainflow.residue_memory_points = 64;
        SilentProgress progress;
        auto one = testing::CountNode(kind, *node, params, progress, options);
        ASSERT_TRUE(one.ok()) << one.error().detail;
        const std::string expected = JsonText(*one);
        for (int threads : {0, 2, 3, 4, 5, 6, 7, 8}) {
          options.threads = threads;
          SilentProgress parallel_progress;
          auto many = testing::CountNode(kind, *node, params, parallel_progress, options);
          ASSERT_TRUE(many.ok()) << many.error().detail;
          EXPECT_EQ(JsonText(*many), expected) << threads << " threads";
          EXPECT_FALSE(PassCancelled(*many));
        }
        for (int threads : {1, 4}) {
          options.threads = threads;
          SilentProgress supplied_progress;
          auto supplied = testing::CountNode(kind, in_memory, params, supplied_progress, options);
          ASSERT_TRUE(supplied.ok()) << supplied.error().detail;
          EXPECT_EQ(JsonText(*supplied), expected) << threads << " threads, from memory";
        }
      }
    }
  }
}

/// A record of `raw` held in memory, sample-exact: float64 values, c1 = 4 and c2 = 0.5, as many
/// blocks as the values need. `asked_end` gets the furthest sample the supplier was asked for.
CountingNode SampleExactNode(const std::vector<double>& raw, std::atomic<int64_t>& asked_end) {
  CountingNode node;
  node.test_name = "mem";
  node.test_code = "1";
  node.node_name = "1";
  node.info.set_format(kFormatFloat64);
  node.info.set_frequency_hz(1.0);
  node.info.set_c1(4.0);
  node.info.set_c2(0.5);
  node.info.set_length_half_blocks(
      static_cast<int32_t>(2 * CountableBlocks(static_cast<int64_t>(raw.size()))));
  node.data_file = "in memory";
  node.sample_count = static_cast<int64_t>(raw.size());
  node.samples = [&raw, &asked_end](int64_t first, std::span<double> out) {
    const int64_t end = first + static_cast<int64_t>(out.size());
    int64_t seen = asked_end.load();
    while (end > seen && !asked_end.compare_exchange_weak(seen, end)) {
    }
    if (end > static_cast<int64_t>(raw.size())) return Status(Fail(kMsgBadValue, "past the end"));
    std::copy_n(raw.begin() + first, out.size(), out.begin());
    return Ok();
  };
  return node;
}

TEST(ChunkedCountingTest, ASampleExactRecordCountsEveryValueOnEveryThreadCount) {
  // Lengths around the block border and inside a last block; the counts are those of the
  // counters fed exactly the values, whatever the number of threads.
  for (const size_t n : {size_t{2}, size_t{3}, size_t{9}, size_t{1023}, size_t{1024}, size_t{1025},
                         size_t{1100}, size_t{2953}, size_t{4840}, size_t{7169}}) {
    const std::vector<double> raw = WalkWithPlateaus(n, static_cast<uint32_t>(n));
    std::atomic<int64_t> asked_end{0};
    const CountingNode node = SampleExactNode(raw, asked_end);
    const int32_t blocks = static_cast<int32_t>((n + 1023) / 1024);
    for (const auto& [first, last] : {std::pair{1, blocks}, std::pair{blocks, blocks}}) {
      const int64_t begin = (int64_t{first} - 1) * kBlockSamples;
      const std::vector<double> counted(raw.begin() + begin, raw.end());
      SCOPED_TRACE(std::to_string(n) + " samples, blocks " + std::to_string(first) + ".." +
                   std::to_string(last));
      CountingParameters params;
      params.partitions = 12;
      params.amplitude_mode = kAmplitudeSetValue;
      params.set_value = 6.0;  // EU: raw 12 / c2 / c1; larger values are dropped
      params.range_mode = kRangeByBlock;
      params.first_block = first;
      params.last_block = last;
      for (CountingKind kind :
           {CountingKind::kPeak, CountingKind::kRange, CountingKind::kRainflow}) {
        std::string one_thread;
        for (int threads : {1, 2, 3, 8}) {
          testing::CountOptions options;
          options.threads = threads;
          options.rainflow.residue_memory_points = 64;
          SilentProgress progress;
          auto file = testing::CountNode(kind, node, params, progress, options);
          ASSERT_TRUE(file.ok()) << file.error().detail;
          if (threads == 1) one_thread = JsonText(*file);
          EXPECT_EQ(JsonText(*file), one_thread) << threads << " threads";
          EXPECT_EQ(NodeOf(*file).total_blocks, blocks);
          if (kind == CountingKind::kPeak) {
            const PeakCountResult& got = std::get<PeakResultFile>(*file).result;
            PeakCounter counter = *PeakCounter::Create(
                {.partitions = 12, .amplitude_range = 6.0, .c1 = 4.0, .c2 = 0.5});
            counter.Feed(counted);
            const PeakCountResult expected = counter.Finish();
            EXPECT_EQ(got.two_way_peak_counts, expected.two_way_peak_counts);
            EXPECT_EQ(got.two_way_valley_counts, expected.two_way_valley_counts);
            EXPECT_EQ(got.one_way_total_counts, expected.one_way_total_counts);
            EXPECT_EQ(got.first_block, first);
            EXPECT_EQ(got.last_block, last);
            // The envelope sees the values only: the padding repeats the last one.
            EXPECT_EQ(got.envelope_maximum, *std::max_element(raw.begin(), raw.end()) / 2.0);
            EXPECT_EQ(got.envelope_minimum, *std::min_element(raw.begin(), raw.end()) / 2.0);
          } else if (kind == CountingKind::kRange) {
            const RangeCountResult& got = std::get<RangeResultFile>(*file).result;
            RangeCounter counter = *RangeCounter::Create(
                {.partitions = 12, .amplitude_range = 6.0, .c1 = 4.0, .c2 = 0.5});
            counter.Feed(counted);
            const RangeCountResult expected = counter.Finish();
            EXPECT_EQ(got.two_way_counts, expected.two_way_counts);
            EXPECT_EQ(got.one_way_counts, expected.one_way_counts);
          } else {
            const RainflowResult& got = std::get<RainflowResultFile>(*file).result;
            const auto full_scale = FullScaleOf(node.info);
            ASSERT_TRUE(full_scale.ok());
            const testing::LiteralRainflow literal = testing::RunLiteralRainflow(
                counted, 0.5, 12, 6.0, SmallestCountedRange(*full_scale, node.info));
            EXPECT_EQ(std::vector<double>(got.counts.begin(), got.counts.begin() + 12),
                      literal.counts);
          }
        }
      }
    }
    EXPECT_LE(asked_end.load(), static_cast<int64_t>(n)) << "the supplier was asked past its end";
  }
}

TEST(ChunkedCountingTest, ASampleExactRecordRefusesWhatItCantCount) {
  const std::vector<double> one = {5.0};
  std::atomic<int64_t> asked_end{0};
  CountingNode node = SampleExactNode(one, asked_end);
  CountingParameters params;
  params.amplitude_mode = kAmplitudeSetValue;
  params.set_value = 10.0;
  params.range_mode = kRangeByBlock;
  params.first_block = params.last_block = 1;
  SilentProgress progress;
  for (CountingKind kind : {CountingKind::kPeak, CountingKind::kRange, CountingKind::kRainflow}) {
    auto file = testing::CountNode(kind, node, params, progress);
    ASSERT_FALSE(file.ok());
    EXPECT_NE(file.error().detail.find("fewer than two"), std::string::npos) << file.error().detail;
  }
  // More real samples than the record holds, and a block past the values.
  const std::vector<double> some(1500, 1.0);
  node = SampleExactNode(some, asked_end);
  node.sample_count = 2049;
  EXPECT_FALSE(testing::CountNode(CountingKind::kPeak, node, params, progress).ok());
  node.sample_count = 1500;
  params.first_block = params.last_block = 3;
  EXPECT_FALSE(testing::CountNode(CountingKind::kRange, node, params, progress).ok());
}

TEST(ChunkedCountingTest, ACancelDuringAParallelPassSavesNothing) {
  testing::TempDir dir;
  testing::WriteNode(dir.path(), WalkWithPlateaus(64 * 1024, 9), {.format = 951});
  auto node = OpenCountingNode(dir.path(), "abc", "12", "5");
  ASSERT_TRUE(node.ok()) << node.error().detail;
  CountingParameters params;
  params.amplitude_mode = kAmplitudeFullScale;
  params.partitions = 20;
  params.range_mode = kRangeByBlock;
  params.first_block = 1;
  params.last_block = 64;
  for (CountingKind kind : {CountingKind::kPeak, CountingKind::kRange, CountingKind::kRainflow}) {
    testing::CountOptions options;
    options.threads = 4;
    SilentProgress progress(1);  // the first poll sees the cancel
    auto file = testing::CountNode(kind, *node, params, progress, options);
    ASSERT_TRUE(file.ok()) << file.error().detail;
    EXPECT_TRUE(PassCancelled(*file));
    const fs::path target = dir.path() / ("out" + std::string(ResultFileExtension(kind)));
    EXPECT_FALSE(SaveResultFile(target, *file).ok());
    EXPECT_FALSE(fs::exists(target));
  }
}

// Records every position the bar is set to.
class RecordingProgress : public Progress {
 public:
  std::vector<int64_t> positions;

 protected:
  void OnChanged() override { positions.push_back(position()); }
};

TEST(ChunkedCountingTest, ProgressSumsTheWorkersAndEndsFull) {
  testing::TempDir dir;
  testing::WriteNode(dir.path(), WalkWithPlateaus(48 * 1024, 3), {.format = 951});
  auto node = OpenCountingNode(dir.path(), "abc", "12", "5");
  ASSERT_TRUE(node.ok()) << node.error().detail;
  CountingParameters params;
  params.amplitude_mode = kAmplitudeFullScale;
  params.partitions = 20;
  params.range_mode = kRangeByBlock;
  params.first_block = 5;
  params.last_block = 44;  // 40 blocks; rainflow's bar runs to 48
  for (CountingKind kind : {CountingKind::kPeak, CountingKind::kRange, CountingKind::kRainflow}) {
    testing::CountOptions options;
    options.threads = 3;
    RecordingProgress progress;
    auto file = testing::CountNode(kind, *node, params, progress, options);
    ASSERT_TRUE(file.ok()) << file.error().detail;
    ASSERT_FALSE(progress.positions.empty());
    EXPECT_TRUE(std::is_sorted(progress.positions.begin(), progress.positions.end()));
    EXPECT_EQ(progress.positions.back(), kind == CountingKind::kRainflow ? 48 : 40);
    EXPECT_EQ(progress.upper(), kind == CountingKind::kRainflow ? 48 : 40);
  }
}

TEST(ChunkedCountingTest, ChunkEdgesCoverTheRangeInWholeBlocks) {
  struct Case {
    int64_t begin, end;
    int chunks;
    std::vector<int64_t> edges;
  };
  const std::vector<Case> cases = {
      {0, 4096, 1, {0, 4096}},
      {0, 4096, 2, {0, 2048, 4096}},
      {0, 3072, 2, {0, 1024, 3072}},              // 3 blocks: 1 and 2
      {1024, 3072, 8, {1024, 2048, 3072}},        // no more chunks than blocks
      {2048, 7168, 3, {2048, 3072, 5120, 7168}},  // 5 blocks: 1, 2, 2
      // A last block that ends inside (a sample-exact record) is a block of its own.
      {0, 1100, 2, {0, 1024, 1100}},
      {0, 9, 4, {0, 9}},
      {1024, 3100, 2, {1024, 2048, 3100}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ChunkEdges(c.begin, c.end, c.chunks), c.edges) << c.begin << ".." << c.end;
  }
}

}  // namespace
}  // namespace torvwy::core
