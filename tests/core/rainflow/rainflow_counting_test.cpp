// The file-driven rainflow run: reading paths, amplitude modes, progress, cancel and refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "core/data/waveform_reader.h"
#include "core/rainflow/literal_rainflow.h"
#include "core/services/message_table.h"
#include "core/services/progress.h"
#include "support/count_record.h"
#include "support/test_node.h"

namespace torvwy::core {
namespace {

namespace fs = std::filesystem;

/// Points TORVWY_HOME at a temporary folder for the test's lifetime.
class RainflowCountingTest : public ::testing::Test {
 protected:
  testing::ScopedHome home_;
  testing::TempDir dir_;
};

CountingParameters Parameters(int32_t amplitude_mode, double set_value, int32_t n,
                              int32_t first_block, int32_t last_block) {
  CountingParameters p;
  p.amplitude_mode = amplitude_mode;
  p.set_value = set_value;
  p.partitions = n;
  p.first_block = first_block;
  p.last_block = last_block;
  return p;
}

std::vector<double> Partitions(const RainflowResult& result) {
  return {result.counts.begin(), result.counts.begin() + result.partitions};
}

/// The ASTM E1049 history ten times over, padded to one block with its last value.
std::vector<double> AstmRecord() {
  std::vector<double> raw;
  for (double v : {-2, 1, -3, 5, -1, 3, -4, 4, -2}) raw.push_back(v * 10.0);
  raw.resize(1024, raw.back());
  return raw;
}

// A float32 record with c1 = 10: the raw values are ten times the history, t = 10000 / 1 / 10
// x 0.001 = 1 EU, so every range of the example (3 .. 9) is counted.
TEST_F(RainflowCountingTest, AstmExampleThroughTheFile) {
  testing::NodeLayout layout;
  layout.format = 885;
  layout.c1 = 10.0;
  const auto node = testing::WriteNode(dir_.path(), AstmRecord(), layout);

  struct Case {
    const char* name;
    int32_t mode;
    double set_value;
    double a;
    std::vector<double> counts;
  };
  const double automatic = (5.0 - -4.0) * 1.1;  // the envelope spans -4 .. 5
  const Case cases[] = {
      {"set value 10", kAmplitudeSetValue, 10.0, 10.0, {0, 0, 0.5, 1.5, 0, 0.5, 0, 1.0, 0.5, 0}},
      // (FS + FS) / c2 / c1 = 2000: w = 200 holds every range in partition 0.
      {"full scale", kAmplitudeFullScale, 0.0, 2000.0, {4.0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      // A = 9.9, w = 0.99: 3 -> 3 (2.97 < 3 <= 3.96), 4 -> 4, 6 -> 6, 8 -> 8, 9 -> 9.
      {"automatic", kAmplitudeAutomatic, 0.0, automatic, {0, 0, 0, 0.5, 1.5, 0, 0.5, 0, 1.0, 0.5}},
  };
  for (const Case& c : cases) {
    SilentProgress progress;
    auto result = testing::CountRainflow(node.info, node.sts,
                                         Parameters(c.mode, c.set_value, 10, 1, 1), progress);
    ASSERT_TRUE(result.ok()) << c.name << ": " << result.error().detail;
    EXPECT_EQ(Partitions(*result), c.counts) << c.name;
    EXPECT_EQ(result->amplitude_range, c.a) << c.name;
    EXPECT_EQ(result->partition_width, c.a / 10) << c.name;
    EXPECT_EQ(result->smallest_range, 1.0) << c.name;
    EXPECT_EQ(result->turning_points, 9) << c.name;
    EXPECT_EQ(result->envelope.size(), 1024u) << c.name;
    EXPECT_EQ(result->envelope_maximum, 5.0) << c.name;
    EXPECT_EQ(result->envelope_minimum, -4.0) << c.name;
    EXPECT_EQ(result->cursor_partition, 5) << c.name;
    EXPECT_EQ(result->amplitude_mode, c.mode) << c.name;
    EXPECT_EQ(result->set_value, c.set_value) << c.name;
    EXPECT_EQ(result->first_block, 1) << c.name;
    EXPECT_EQ(result->last_block, 1) << c.name;
    EXPECT_FALSE(result->cancelled) << c.name;
  }
}

/// An int16 random walk of 5 half blocks: two whole blocks and a trailing half block.
struct WalkNode {
  testing::WrittenNode node;
  std::vector<double> raw;  // the converted raw values
};

WalkNode WriteWalk(const fs::path& dir) {
  std::mt19937_64 random(3);
  std::normal_distribution<double> step(0.0, 300.0);
  std::vector<double> stored;
  double value = 0.0;
  for (int i = 0; i < 5 * 512; ++i) {
    value = std::clamp(value + step(random), -30000.0, 30000.0);
    stored.push_back(std::round(value));
  }
  testing::NodeLayout layout;
  layout.format = 951;
  layout.c1 = 2.0;
  layout.c2 = 1.5;
  WalkNode walk{testing::WriteNode(dir, stored, layout), {}};
  for (double s : stored) walk.raw.push_back(s * 10000.0 / 32768.0);
  return walk;
}

// The one-read path (mode 0 or 2 over the whole record) and the two-read path (automatic mode,
// or part of the record) count what the pass-after-pass rule counts on the range's samples, and
// give the envelope of the whole record either way.
TEST_F(RainflowCountingTest, ReadPathsCountTheRangeAndEnvelopeTheRecord) {
  const WalkNode walk = WriteWalk(dir_.path());
  SilentProgress envelope_progress;
  auto reader = WaveformReader::Open(walk.node.sts, walk.node.info);
  ASSERT_TRUE(reader.ok());
  auto envelope = BuildWaveformEnvelope(*reader, walk.node.info, envelope_progress);
  ASSERT_TRUE(envelope.ok());

  struct Case {
    const char* name;
    int32_t mode;
    int32_t first, last;
    int64_t memory_points;
  };
  const Case cases[] = {
      {"one read, set value", kAmplitudeSetValue, 1, 2, ResidueStack::kDefaultMemoryPoints},
      {"one read, full scale", kAmplitudeFullScale, 1, 2, ResidueStack::kDefaultMemoryPoints},
      {"two reads, automatic", kAmplitudeAutomatic, 1, 2, ResidueStack::kDefaultMemoryPoints},
      {"two reads, second block", kAmplitudeSetValue, 2, 2, ResidueStack::kDefaultMemoryPoints},
      {"two reads, first block", kAmplitudeFullScale, 1, 1, ResidueStack::kDefaultMemoryPoints},
      {"one read, residue spilled", kAmplitudeSetValue, 1, 2, 8},
  };
  const double k = 1.0 / (1.5 * 2.0);
  const double t = 10000.0 / 1.5 / 2.0 * 0.001;
  for (const Case& c : cases) {
    testing::TempDir scratch;
    SilentProgress progress;
    auto result = testing::CountRainflow(walk.node.info, walk.node.sts,
                                         Parameters(c.mode, 3000.0, 40, c.first, c.last), progress,
                                         {{}, {c.memory_points, scratch.path()}});
    ASSERT_TRUE(result.ok()) << c.name << ": " << result.error().detail;
    const std::vector<double> range(walk.raw.begin() + (c.first - 1) * 1024,
                                    walk.raw.begin() + c.last * 1024);
    const auto literal = testing::RunLiteralRainflow(range, k, 40, result->amplitude_range, t);
    EXPECT_EQ(Partitions(*result), literal.counts) << c.name;
    EXPECT_EQ(result->turning_points, static_cast<int64_t>(literal.turning_points.size()));
    EXPECT_EQ(result->envelope, *envelope) << c.name;
    EXPECT_GT(result->largest_count, 1) << c.name;
    EXPECT_TRUE(fs::is_empty(scratch.path())) << c.name;
  }
}

TEST_F(RainflowCountingTest, ProgressRunsToBlocksTimesOnePointTwo) {
  std::vector<double> raw(10 * 1024);
  for (size_t i = 0; i < raw.size(); ++i) raw[i] = static_cast<double>((i * 7919) % 101);
  const auto node = testing::WriteNode(dir_.path(), raw);
  struct Case {
    int32_t first, last;
    int32_t mode;
    int64_t upper;
  };
  const Case cases[] = {{1, 1, kAmplitudeSetValue, 1},
                        {1, 4, kAmplitudeSetValue, 4},
                        {1, 5, kAmplitudeAutomatic, 6},
                        {1, 10, kAmplitudeFullScale, 12},
                        {3, 7, kAmplitudeSetValue, 6}};
  for (const Case& c : cases) {
    SilentProgress progress;
    testing::CountOptions options;
    options.captions = {"envelope", "counting"};
    auto result = testing::CountRainflow(
        node.info, node.sts, Parameters(c.mode, 200.0, 10, c.first, c.last), progress, options);
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(progress.upper(), c.upper) << c.first << ".." << c.last;
    EXPECT_EQ(progress.position(), c.upper) << c.first << ".." << c.last;
    EXPECT_EQ(progress.polls(), c.last - c.first + 1) << "one poll per block";
    EXPECT_EQ(progress.status(), "counting") << "the caller's caption";
  }
}

TEST_F(RainflowCountingTest, CancelAfterTheFirstBlockCountsNothing) {
  const WalkNode walk = WriteWalk(dir_.path());
  for (int32_t mode : {kAmplitudeSetValue, kAmplitudeAutomatic}) {
    SilentProgress whole;
    auto complete = testing::CountRainflow(walk.node.info, walk.node.sts,
                                           Parameters(mode, 3000.0, 40, 1, 2), whole);
    ASSERT_TRUE(complete.ok());
    ASSERT_FALSE(complete->cancelled);

    SilentProgress progress(1);  // cancels at the first poll, after block 1
    auto result = testing::CountRainflow(walk.node.info, walk.node.sts,
                                         Parameters(mode, 3000.0, 40, 1, 2), progress);
    ASSERT_TRUE(result.ok());
    EXPECT_TRUE(result->cancelled) << mode;
    EXPECT_EQ(Partitions(*result), std::vector<double>(40, 0.0)) << mode;
    EXPECT_EQ(result->largest_count, 1) << mode;
    EXPECT_EQ(progress.polls(), 1) << mode;
    EXPECT_EQ(progress.position(), progress.upper()) << mode;
    EXPECT_EQ(result->envelope, complete->envelope) << mode << ": the envelope is completed";
  }
}

TEST_F(RainflowCountingTest, RefusesWhatItCannotCount) {
  const auto node = testing::WriteNode(dir_.path(), std::vector<double>(2048, 1.0));
  testing::NodeLayout no_data;
  no_data.node_name = "6";
  no_data.format = 0;
  const auto empty = testing::WriteNode(dir_.path(), std::vector<double>(2048, 1.0), no_data);
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    const char* name;
    const testing::WrittenNode* node;
    fs::path sts;
    CountingParameters params;
    int message;
  };
  const Case cases[] = {
      {"N = 0", &node, node.sts, Parameters(kAmplitudeSetValue, 1.0, 0, 1, 2), kMsgBadValue},
      {"N < 0", &node, node.sts, Parameters(kAmplitudeSetValue, 1.0, -4, 1, 2), kMsgBadValue},
      {"unknown amplitude mode", &node, node.sts, Parameters(3, 1.0, 10, 1, 2), kMsgBadValue},
      {"infinite set value", &node, node.sts, Parameters(kAmplitudeSetValue, inf, 10, 1, 2),
       kMsgBadValue},
      {"NaN set value", &node, node.sts,
       Parameters(kAmplitudeSetValue, std::numeric_limits<double>::quiet_NaN(), 10, 1, 2),
       kMsgBadValue},
      {"last block beyond the record", &node, node.sts,
       Parameters(kAmplitudeSetValue, 1.0, 10, 1, 3), kMsgBadValue},
      {"first block 0", &node, node.sts, Parameters(kAmplitudeSetValue, 1.0, 10, 0, 2),
       kMsgBadValue},
      {"reversed range", &node, node.sts, Parameters(kAmplitudeSetValue, 1.0, 10, 2, 1),
       kMsgBadValue},
      {"missing data file", &node, dir_.path() / "none.sts",
       Parameters(kAmplitudeSetValue, 1.0, 10, 1, 2), kMsgDataFileUnopenable},
      {"format 0", &empty, empty.sts, Parameters(kAmplitudeSetValue, 1.0, 10, 1, 2),
       kMsgDataFileUnopenable},
  };
  for (const Case& c : cases) {
    SilentProgress progress;
    auto result = testing::CountRainflow(c.node->info, c.sts, c.params, progress);
    ASSERT_FALSE(result.ok()) << c.name;
    EXPECT_EQ(result.error().message, c.message) << c.name << ": " << result.error().detail;
    EXPECT_FALSE(result.error().detail.empty()) << c.name;
  }
  // More than 2000 partitions count into 2000.
  SilentProgress progress;
  auto result = testing::CountRainflow(node.info, node.sts,
                                       Parameters(kAmplitudeSetValue, 1.0, 5000, 1, 2), progress);
  ASSERT_TRUE(result.ok());
  EXPECT_EQ(result->partitions, 2000);
  EXPECT_EQ(result->cursor_partition, 1000);
}

}  // namespace
}  // namespace torvwy::core
