// Amplitude indices and the largest peak-to-peak values of written waveforms, against
// independent in-memory computations of the same samples.
#include "core/stats/amplitude_statistics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <functional>
#include <limits>
#include <numbers>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "core/data/sample_format.h"
#include "core/services/message_table.h"
#include "support/test_node.h"

namespace torvwy::core {
namespace {

using testing::NodeLayout;
using testing::PadToHalfBlocks;
using testing::TempDir;
using testing::WriteNode;

/// The indices straight from their definitions, in long double, over EU values.
AmplitudeIndices Direct(const std::vector<double>& raw, double s) {
  long double sum = 0, squares = 0;
  double maximum = raw.front() / s, minimum = raw.front() / s;
  for (double r : raw) {
    const double x = r / s;
    maximum = std::max(maximum, x);
    minimum = std::min(minimum, x);
    sum += x;
    squares += static_cast<long double>(x) * x;
  }
  const auto n = static_cast<long double>(raw.size());
  const auto mean = static_cast<double>(sum / n);
  long double deviations = 0;
  for (double r : raw) deviations += (r / s - mean) * static_cast<long double>(r / s - mean);
  AmplitudeIndices a;
  a.maximum = maximum;
  a.minimum = minimum;
  a.mean = mean;
  a.rms = static_cast<double>(std::sqrt(squares / n));
  a.variance = static_cast<double>(deviations / n);
  a.standard_deviation = std::sqrt(a.variance);
  return a;
}

TEST(AmplitudeStatistics, IndicesMatchTheirDefinitions) {
  TempDir dir;
  std::vector<double> ramp(1536), negative(512), wide(1024), constant(512, 7.0);
  for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = std::sin(0.05 * i) * 100.0 + i % 7;
  for (size_t i = 0; i < negative.size(); ++i) negative[i] = -50.0 - i % 13;
  // A float waveform lying wholly above 100000 / s.
  for (size_t i = 0; i < wide.size(); ++i) wide[i] = 5.0e6 + 1000.0 * std::cos(0.3 * i);
  const struct {
    const char* node;
    std::vector<double> raw;
    double c1, c2;
  } cases[] = {{"1", ramp, 2.0, 4.0},
               {"2", negative, 1.0, 1.0},
               {"3", wide, 1.0, 1.0},
               {"4", constant, 1.0, 0.5}};
  for (const auto& c : cases) {
    NodeLayout layout;
    layout.node_name = c.node;
    layout.c1 = c.c1;
    layout.c2 = c.c2;
    auto node = WriteNode(dir.path(), c.raw, layout);
    auto got = ComputeAmplitudeIndices(node.tsp, node.sts);
    ASSERT_TRUE(got.ok()) << got.error().detail;
    const AmplitudeIndices want = Direct(c.raw, c.c1 * c.c2);
    const AmplitudeIndices& a = got->indices;
    const double tolerance = 1e-9 * std::max(1.0, std::abs(want.maximum));
    EXPECT_EQ(a.maximum, want.maximum) << c.node;
    EXPECT_EQ(a.minimum, want.minimum) << c.node;
    EXPECT_NEAR(a.mean, want.mean, tolerance) << c.node;
    EXPECT_NEAR(a.rms, want.rms, tolerance) << c.node;
    EXPECT_NEAR(a.variance, want.variance, 1e-6 * std::max(1.0, want.variance)) << c.node;
    EXPECT_NEAR(a.standard_deviation, want.standard_deviation, 1e-6) << c.node;
    EXPECT_EQ(a.mean_square(), a.rms * a.rms);
    EXPECT_EQ(a.peak(), std::max(std::abs(want.maximum), std::abs(want.minimum)));
    EXPECT_EQ(got->unit, "MPa");
  }
  // The all-negative waveform: peak value is |minimum|; the constant one has no spread.
  auto negative_node =
      ComputeAmplitudeIndices(dir.path() / "abc12#2.tsp", dir.path() / "abc12#2.sts");
  ASSERT_TRUE(negative_node.ok());
  EXPECT_EQ(negative_node->indices.peak(), 62.0);
  auto flat = ComputeAmplitudeIndices(dir.path() / "abc12#4.tsp", dir.path() / "abc12#4.sts");
  ASSERT_TRUE(flat.ok());
  EXPECT_EQ(flat->indices.variance, 0.0);
  EXPECT_EQ(flat->indices.maximum, 14.0);
  EXPECT_EQ(flat->indices.rms, 14.0);
}

/// Square steps of `levels`, three samples each, padded with the last level. A block's extremes
/// are +-10, so H = 2 and L = -2 and every level is beyond them.
std::vector<double> Steps(const std::vector<double>& levels) {
  std::vector<double> samples;
  for (double level : levels) samples.insert(samples.end(), 3, level);
  return PadToHalfBlocks(samples);
}

/// The half-cycles of Steps(levels) worked out by hand: level 0 starts the detector, the first
/// crossing ends a half-cycle without a valley (not counted), and each later crossing out of
/// level k pairs level k - 1 with level k. An extreme is found on the second sample of its level
/// (the crossing sample only moves the tracker to the threshold), except for level 0, which is
/// taken on its first sample. Kept: the n largest, the earlier of equal ones.
std::vector<PeakPeak> ExpectedSteps(const std::vector<double>& levels, size_t n, double fs) {
  std::vector<PeakPeak> all;
  auto index = [](size_t level) { return static_cast<double>(3 * level + (level == 0 ? 0 : 1)); };
  for (size_t k = 1; k + 1 < levels.size(); ++k) {
    const size_t up = levels[k - 1] > 0 ? k - 1 : k;
    const size_t down = levels[k - 1] > 0 ? k : k - 1;
    all.push_back(
        {levels[up] - levels[down], levels[up], index(up) / fs, levels[down], index(down) / fs});
  }
  std::stable_sort(all.begin(), all.end(), [](const PeakPeak& a, const PeakPeak& b) {
    return a.difference > b.difference;
  });
  all.resize(std::min(n, all.size()));
  return all;
}

TEST(AmplitudeStatistics, KeepsTheLargestPeakPeaks) {
  // 14 levels: 12 counted half-cycles. Differences 8 12 15.25 10.25 14 20 15 10.5 12.5 15.5
  // 12.5 14: the five largest are 20 15.5 15.25 15 14, and the second 14 (the last half-cycle)
  // equals the smallest kept one and must not replace it.
  const std::vector<double> levels = {5, -3, 9, -6.25, 4, -10, 10, -5, 5.5, -7, 8.5, -4, 10, -8};
  TempDir dir;
  auto node = WriteNode(dir.path(), Steps(levels));
  for (const int32_t n : {5, 20, 1}) {
    auto got = FindLargestPeakPeaks(node.tsp, node.sts, n);
    ASSERT_TRUE(got.ok()) << got.error().detail;
    EXPECT_EQ(got->half_cycles, 12);
    const auto want = ExpectedSteps(levels, static_cast<size_t>(n), 1024.0);
    ASSERT_EQ(got->entries.size(), want.size()) << n;
    for (size_t i = 0; i < want.size(); ++i) {
      EXPECT_EQ(got->entries[i].difference, want[i].difference) << n << " rank " << i + 1;
      EXPECT_EQ(got->entries[i].peak, want[i].peak) << n << " rank " << i + 1;
      EXPECT_EQ(got->entries[i].valley, want[i].valley) << n << " rank " << i + 1;
      EXPECT_DOUBLE_EQ(got->entries[i].peak_time_s, want[i].peak_time_s) << n << " rank " << i + 1;
      EXPECT_DOUBLE_EQ(got->entries[i].valley_time_s, want[i].valley_time_s)
          << n << " rank " << i + 1;
    }
  }
  // The kept 14 is the earlier one: its valley is level 5 (-10), not level 11 (-4).
  auto five = FindLargestPeakPeaks(node.tsp, node.sts, 5);
  ASSERT_TRUE(five.ok());
  EXPECT_EQ(five->entries[4].difference, 14.0);
  EXPECT_EQ(five->entries[4].valley, -10.0);
}

TEST(AmplitudeStatistics, SineOverSeveralBlocksGivesTwiceItsAmplitude) {
  const double amplitude = 3.0, period = 100.0;
  std::vector<double> sine(8 * 512);
  for (size_t i = 0; i < sine.size(); ++i) {
    sine[i] = amplitude * std::sin(2.0 * std::numbers::pi * static_cast<double>(i) / period);
  }
  TempDir dir;
  NodeLayout layout;
  layout.c1 = 0.5;  // EU = raw / (0.5 x 4) = raw / 2
  layout.c2 = 4.0;
  auto node = WriteNode(dir.path(), sine, layout);
  auto got = FindLargestPeakPeaks(node.tsp, node.sts, 200);
  ASSERT_TRUE(got.ok()) << got.error().detail;
  // 40.96 periods cross a threshold about 82 times; the first crossing is not counted.
  EXPECT_GE(got->half_cycles, 78);
  EXPECT_LE(got->half_cycles, 82);
  ASSERT_EQ(got->entries.size(), static_cast<size_t>(got->half_cycles));
  const double eu_amplitude = amplitude / 2.0;
  const double sampled = eu_amplitude * std::cos(std::numbers::pi / period);  // worst sampling
  for (size_t i = 0; i < got->entries.size(); ++i) {
    const PeakPeak& e = got->entries[i];
    EXPECT_LE(e.difference, 2.0 * eu_amplitude + 1e-12);
    EXPECT_GE(e.difference, 2.0 * sampled - 1e-12);
    EXPECT_NEAR(std::abs(e.peak_time_s - e.valley_time_s), period / 2.0 / 1024.0, 1.5 / 1024.0);
    if (i > 0) {
      EXPECT_LE(e.difference, got->entries[i - 1].difference);
    }
  }
}

// The thresholds follow each block, so a tracker left at the threshold of one block can end a
// half-cycle in the next with peak <= valley. Such a half-cycle is neither listed nor counted.
TEST(AmplitudeStatistics, HalfCyclesWithoutHeightAcrossABlockBorderAreDropped) {
  // Block 1: max 100, min 0, H = 60, L = 40; block 2: max 45, min 0, H = 27, L = 18.
  //   g 0    0   falls below 40: falling, valley 0 at 0
  //   g 1  100   rises above 60: rising (first crossing, not counted), peak tracker 60
  //   g 2  100   peak 100 at 2
  //   g 3   30   below 40: half-cycle 100 - 0 = 100; valley tracker 40 (its index stays 0)
  //   g 4.. 50   between the thresholds
  //   g 512 45   above 27: half-cycle 100 - 40 = 60; peak tracker 27
  //   g 513  0   below 18: 27 - 40 = -13, no half-cycle
  //   g 514.. 10 the valley tracker follows; the record ends falling
  std::vector<double> x(1024, 50.0);
  x[0] = 0, x[1] = 100, x[2] = 100, x[3] = 30, x[512] = 45, x[513] = 0;
  std::fill(x.begin() + 514, x.end(), 10.0);
  TempDir dir;
  auto node = WriteNode(dir.path(), x);
  auto got = FindLargestPeakPeaks(node.tsp, node.sts, 5);
  ASSERT_TRUE(got.ok()) << got.error().detail;
  EXPECT_EQ(got->half_cycles, 2);
  ASSERT_EQ(got->entries.size(), 2u);
  const double t2 = 2.0 / 1024.0;
  const PeakPeak want[] = {{100, 100, t2, 0, 0}, {60, 100, t2, 40, 0}};
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(got->entries[i].difference, want[i].difference) << i;
    EXPECT_EQ(got->entries[i].peak, want[i].peak) << i;
    EXPECT_EQ(got->entries[i].peak_time_s, want[i].peak_time_s) << i;
    EXPECT_EQ(got->entries[i].valley, want[i].valley) << i;
    EXPECT_EQ(got->entries[i].valley_time_s, want[i].valley_time_s) << i;
  }
}

/// The height of every half-cycle the hysteresis rule ends in `eu`, blocks of 512, thresholds
/// from each block's largest and smallest value, read literally, heights <= 0 included. The
/// first one, which has no opposite extreme yet, is left out.
std::vector<double> AllHalfCycleHeights(const std::vector<double>& eu) {
  enum { kNone, kUp, kDown } state = kNone;
  bool first = true;
  double peak = 0, valley = 0;
  std::vector<double> heights;
  const auto end = [&] {
    if (!first) heights.push_back(peak - valley);
    first = false;
  };
  for (size_t b = 0; b < eu.size(); b += 512) {
    const auto block_begin = eu.begin() + static_cast<std::ptrdiff_t>(b);
    const auto [low, high] = std::minmax_element(block_begin, block_begin + 512);
    const double upper = 0.6 * *high + 0.4 * *low, lower = 0.4 * *high + 0.6 * *low;
    for (auto it = block_begin; it != block_begin + 512; ++it) {
      const double x = *it;
      if (state == kNone) {
        if (x > upper) state = kUp, peak = x;
        if (x < lower) state = kDown, valley = x;
      } else if (state == kUp) {
        peak = std::max(peak, x);
        if (x < lower) end(), state = kDown, valley = lower;
      } else {
        valley = std::min(valley, x);
        if (x > upper) end(), state = kUp, peak = upper;
      }
    }
  }
  return heights;
}

// Random walks in a 16-bit format with c1 = 2 and c2 = 0.5 (EU = converted value) drift from
// block to block; some end a half-cycle without height. Only those with a height are counted,
// and the list holds the N largest of them.
TEST(AmplitudeStatistics, RandomWalksListOnlyHalfCyclesWithHeight) {
  TempDir dir;
  std::mt19937 random(7);
  int without_height = 0;
  for (int walk_number = 0; walk_number < 8; ++walk_number) {
    std::vector<double> raw(36 * 512), eu(raw.size());
    int level = 0;
    for (size_t i = 0; i < raw.size(); ++i) {
      level = std::clamp(level + static_cast<int>(random() % 801) - 400, -32000, 32000);
      raw[i] = level;
      eu[i] = level * 10000.0 / 32768.0 / (2.0 * 0.5);
    }
    NodeLayout layout;
    layout.node_name = "w" + std::to_string(walk_number);
    layout.format = 951;
    layout.c1 = 2.0;
    layout.c2 = 0.5;
    auto walked = WriteNode(dir.path(), raw, layout);
    std::vector<double> heights = AllHalfCycleHeights(eu);
    const auto positive_end =
        std::partition(heights.begin(), heights.end(), [](double h) { return h > 0; });
    without_height += static_cast<int>(heights.end() - positive_end);
    heights.erase(positive_end, heights.end());
    std::sort(heights.begin(), heights.end(), std::greater<>());
    for (const int32_t n : {200, 10}) {
      SCOPED_TRACE(::testing::Message() << layout.node_name << " N " << n);
      auto found = FindLargestPeakPeaks(walked.tsp, walked.sts, n);
      ASSERT_TRUE(found.ok()) << found.error().detail;
      EXPECT_EQ(found->half_cycles, static_cast<int64_t>(heights.size()));
      ASSERT_EQ(found->entries.size(), std::min(heights.size(), static_cast<size_t>(n)));
      for (size_t i = 0; i < found->entries.size(); ++i) {
        EXPECT_EQ(found->entries[i].difference, heights[i]) << "rank " << i + 1;
        EXPECT_EQ(found->entries[i].difference, found->entries[i].peak - found->entries[i].valley);
      }
    }
  }
  EXPECT_GT(without_height, 0) << "no walk ends a half-cycle without height";
}

TEST(AmplitudeStatistics, ConstantSignalHasNoHalfCycle) {
  TempDir dir;
  auto node = WriteNode(dir.path(), std::vector<double>(1024, 3.5));
  auto got = FindLargestPeakPeaks(node.tsp, node.sts, 5);
  ASSERT_TRUE(got.ok());
  EXPECT_EQ(got->half_cycles, 0);
  EXPECT_TRUE(got->entries.empty());
}

void ReplaceInFile(const std::filesystem::path& path, const std::string& from,
                   const std::string& to) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  in.close();
  std::string s = text.str();
  s.replace(s.find(from), from.size(), to);
  std::ofstream(path, std::ios::binary) << s;
}

TEST(AmplitudeStatistics, UnusableWaveformsFail) {
  TempDir dir;
  NodeLayout layout;
  layout.node_name = "empty";
  auto empty = WriteNode(dir.path(), std::vector<double>(512, 1.0), layout);
  ReplaceInFile(empty.tsp, "Length=1", "Length=0");
  layout.node_name = "short";
  layout.length_half_blocks = 3;  // the data file holds two half blocks
  auto short_node = WriteNode(dir.path(), std::vector<double>(1024, 1.0), layout);
  layout.node_name = "nodata";
  layout.length_half_blocks = 0;
  auto no_data = WriteNode(dir.path(), std::vector<double>(512, 1.0), layout);
  std::filesystem::remove(no_data.sts);
  const struct {
    std::filesystem::path tsp, sts;
  } cases[] = {{empty.tsp, empty.sts},
               {short_node.tsp, short_node.sts},
               {no_data.tsp, no_data.sts},
               {dir.path() / "missing.tsp", short_node.sts}};
  for (const auto& c : cases) {
    EXPECT_FALSE(ComputeAmplitudeIndices(c.tsp, c.sts).ok()) << c.tsp;
    EXPECT_FALSE(FindLargestPeakPeaks(c.tsp, c.sts, 5).ok()) << c.tsp;
  }
  EXPECT_FALSE(FindLargestPeakPeaks(short_node.tsp, short_node.sts, 0).ok());
  EXPECT_FALSE(FindLargestPeakPeaks(short_node.tsp, short_node.sts, 201).ok());
}

TEST(AmplitudeStatistics, PassesPollBeforeEveryBlockAndStopAtACancel) {
  TempDir dir;
  std::vector<double> raw(4 * 512);
  for (size_t i = 0; i < raw.size(); ++i) raw[i] = i % 7 == 0 ? 100.0 : -static_cast<double>(i % 5);
  const auto node = WriteNode(dir.path(), raw);
  // Amplitude indices read the 4 blocks twice, the peak-to-peak pass once.
  const auto run = [&](bool indices, int cancel_at, int& polls) -> Status {
    polls = 0;
    const CancelPoll poll = [&] { return ++polls == cancel_at; };
    if (indices) {
      auto got = ComputeAmplitudeIndices(node.tsp, node.sts, poll);
      return got ? Ok() : Status(got.error());
    }
    auto got = FindLargestPeakPeaks(node.tsp, node.sts, 3, poll);
    return got ? Ok() : Status(got.error());
  };
  const struct {
    bool indices;
    int cancel_at;  // 0: never
    int polls;
  } cases[] = {{true, 0, 8},  {true, 1, 1},  {true, 4, 4}, {true, 6, 6},
               {false, 0, 4}, {false, 1, 1}, {false, 4, 4}};
  for (const auto& c : cases) {
    int polls = 0;
    const Status status = run(c.indices, c.cancel_at, polls);
    EXPECT_EQ(polls, c.polls) << c.indices << " cancel at " << c.cancel_at;
    if (c.cancel_at == 0) {
      EXPECT_TRUE(status.ok()) << c.indices;
    } else {
      ASSERT_FALSE(status.ok()) << c.indices << " cancel at " << c.cancel_at;
      EXPECT_EQ(status.error().message, kMsgCalculationCancelled);
    }
  }
}

// A record longer than one read of the file (64 half blocks) and ending inside the third: the
// passes give exactly what feeding the same values one half block at a time gives, including
// the extremes' positions the peak-to-peak thresholds come from.
// Records of float64 samples, and of 16-bit samples long enough to be divided by the quotient
// table, under a divisor whose quotients are not exact.
TEST(AmplitudeStatistics, LongRecordsGiveWhatHalfBlockFeedsGive) {
  for (const auto& [format, full_scale] :
       {std::pair{886, 0.0}, std::pair{951, 10000.0}, std::pair{861, 5000.0}}) {
    SCOPED_TRACE(format);
    TempDir dir;
    std::mt19937 random(11);
    constexpr size_t kHalfBlocks = 2 * 64 + 5;
    std::vector<double> raw(kHalfBlocks * 512);
    double level = 0.0;
    for (double& x : raw) {
      level += static_cast<double>(random() % 2001) / 7.0 - 142.0;
      x = full_scale == 0.0 ? level : std::clamp(std::round(level), -32768.0, 32767.0);
    }
    // The node holds 16-bit samples as they are; their raw values are samples x scale.
    std::vector<double> read = raw;
    if (full_scale != 0.0) {
      for (double& x : read) x *= full_scale / 32768.0;
    }
    NodeLayout layout;
    layout.format = format;
    layout.c1 = 3.0;
    layout.c2 = 0.7;
    const auto node = WriteNode(dir.path(), raw, layout);

    AmplitudeIndexCounter counter;
    PeakPeakDetector detector(50, layout.frequency_hz);
    const auto half_block = [&](size_t b) {
      std::vector<double> eu(read.begin() + static_cast<std::ptrdiff_t>(b * 512),
                             read.begin() + static_cast<std::ptrdiff_t>((b + 1) * 512));
      ExtremePositions positions;
      FindExtremePositions(eu, &positions);
      for (double& x : eu) x /= 3.0 * 0.7;
      return std::pair(eu, positions);
    };
    for (size_t b = 0; b < kHalfBlocks; ++b) {
      const auto [eu, positions] = half_block(b);
      counter.Feed(eu);
      detector.FeedBlock(eu, static_cast<size_t>(positions.largest),
                         static_cast<size_t>(positions.smallest));
    }
    for (size_t b = 0; b < kHalfBlocks; ++b) counter.FeedDeviation(half_block(b).first);
    const AmplitudeIndices want = counter.Finish();

    auto indices = ComputeAmplitudeIndices(node.tsp, node.sts);
    ASSERT_TRUE(indices.ok()) << indices.error().detail;
    EXPECT_EQ(indices->indices.maximum, want.maximum);
    EXPECT_EQ(indices->indices.minimum, want.minimum);
    EXPECT_EQ(indices->indices.mean, want.mean);
    EXPECT_EQ(indices->indices.rms, want.rms);
    EXPECT_EQ(indices->indices.variance, want.variance);

    auto peaks = FindLargestPeakPeaks(node.tsp, node.sts, 50);
    ASSERT_TRUE(peaks.ok()) << peaks.error().detail;
    const std::vector<PeakPeak> want_peaks = detector.Finish();
    EXPECT_EQ(peaks->half_cycles, detector.half_cycles());
    ASSERT_EQ(peaks->entries.size(), want_peaks.size());
    ASSERT_FALSE(want_peaks.empty());
    for (size_t i = 0; i < want_peaks.size(); ++i) {
      EXPECT_EQ(peaks->entries[i].difference, want_peaks[i].difference) << "rank " << i + 1;
      EXPECT_EQ(peaks->entries[i].peak_time_s, want_peaks[i].peak_time_s) << "rank " << i + 1;
    }
  }
}

// The hysteresis written out sample by sample, every half-cycle kept in time order.
struct HysteresisModel {
  int state = 0;  // 0 undecided, 1 rising, -1 falling
  bool opposite_known = false;
  double peak = 0.0, valley = 0.0;
  int64_t peak_index = 0, valley_index = 0, next = 0;
  std::vector<PeakPeak> half_cycles;

  void Record() {
    if (peak - valley > 0.0) {
      half_cycles.push_back({peak - valley, peak, static_cast<double>(peak_index), valley,
                             static_cast<double>(valley_index)});
    }
  }
  void Feed(const std::vector<double>& block, size_t largest, size_t smallest) {
    const double p = block[largest];
    const double q = block[smallest];
    const double high = 0.6 * p + 0.4 * q;
    const double low = 0.4 * p + 0.6 * q;
    for (const double x : block) {
      const int64_t g = next++;
      if (state == 0) {
        if (x > high) state = 1, peak = x, peak_index = g, opposite_known = false;
        if (x < low) state = -1, valley = x, valley_index = g, opposite_known = false;
      } else if (state == 1) {
        if (x > peak) peak = x, peak_index = g;
        if (x < low) {
          state = -1;
          if (opposite_known) Record();
          opposite_known = true;
          valley = low;
        }
      } else {
        if (x < valley) valley = x, valley_index = g;
        if (x > high) {
          state = 1;
          if (opposite_known) Record();
          opposite_known = true;
          peak = high;
        }
      }
    }
  }
};

// Blocks of every length up to 40 and of 512, with repeated values, signed zeros and NaN, and
// with threshold positions that are not the block's extremes.
TEST(PeakPeakDetector, FindsTheHalfCyclesOfTheRuleSampleBySample) {
  std::mt19937 random(3);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (int round = 0; round < 60; ++round) {
    SCOPED_TRACE(round);
    PeakPeakDetector detector(100000, 1.0);
    HysteresisModel model;
    double level = 0.0;
    for (int b = 0; b < 50; ++b) {
      const size_t length = b % 7 == 0 ? 512 : 1 + random() % 40;
      std::vector<double> block(length);
      for (double& x : block) {
        const unsigned pick = random() % 100;
        if (round % 3 != 0 && pick < 30) {
          // a plateau: the level again
        } else {
          level += static_cast<double>(static_cast<int>(random() % 9) - 4);
        }
        x = level;
        if (round % 5 == 1 && pick == 99) x = nan;
        if (x == 0.0 && pick % 2 == 0) x = -0.0;
      }
      ExtremePositions positions;
      FindExtremePositions(block, &positions);
      size_t largest = static_cast<size_t>(positions.largest);
      size_t smallest = static_cast<size_t>(positions.smallest);
      if (round % 4 == 3) {
        largest = random() % length;
        smallest = random() % length;
      }
      detector.FeedBlock(block, largest, smallest);
      model.Feed(block, largest, smallest);
    }
    ASSERT_EQ(detector.half_cycles(), static_cast<int64_t>(model.half_cycles.size()));
    std::stable_sort(
        model.half_cycles.begin(), model.half_cycles.end(),
        [](const PeakPeak& a, const PeakPeak& b) { return a.difference > b.difference; });
    const std::vector<PeakPeak> got = detector.Finish();
    ASSERT_EQ(got.size(), model.half_cycles.size());
    for (size_t i = 0; i < got.size(); ++i) {
      const PeakPeak& want = model.half_cycles[i];
      ASSERT_EQ(got[i].difference, want.difference) << "rank " << i;
      ASSERT_EQ(got[i].peak_time_s, want.peak_time_s) << "rank " << i;
      ASSERT_EQ(got[i].valley_time_s, want.valley_time_s) << "rank " << i;
      ASSERT_EQ(std::signbit(got[i].peak), std::signbit(want.peak)) << "rank " << i;
    }
  }
}

}  // namespace
}  // namespace torvwy::core
