// RunStatistics: pair order, row texts, failed pairs, cancel, and threads against one thread.
#include "core/stats/statistics_batch.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "core/services/message_table.h"
#include "core/services/number_format.h"
#include "core/services/progress.h"
#include "support/test_node.h"

namespace torvwy::core {
namespace {

namespace fs = std::filesystem;
using testing::NodeLayout;
using testing::TempDir;
using testing::WriteNode;

StatisticsParameters Batch(const TempDir& dir, const char* codes, const char* nodes,
                           int32_t content = kStatAmplitudeIndices) {
  StatisticsParameters parameters;
  parameters.data_path = dir.path().string();
  parameters.test_name = "abc";
  parameters.code_range = codes;
  parameters.node_range = nodes;
  parameters.content = content;
  parameters.peak_peak_count = 3;
  return parameters;
}

void WriteConstantNode(const TempDir& dir, const std::string& code, const std::string& node,
                       double value) {
  NodeLayout layout;
  layout.test_code = code;
  layout.node_name = node;
  WriteNode(dir.path(), std::vector<double>(512, value), layout);
}

TEST(StatisticsBatch, RowsFollowPairOrderWithoutGaps) {
  TempDir dir;
  // Codes 1..2 x nodes 1..3; node (1,3) has lost its data file, (2,2) has no files at all, and
  // node 4 lies outside the range. Each value tells its pair: 10 x code + node.
  for (int code = 1; code <= 2; ++code) {
    for (int node = 1; node <= 4; ++node) {
      if (code == 2 && node == 2) continue;
      WriteConstantNode(dir, std::to_string(code), std::to_string(node), -(10.0 * code + node));
    }
  }
  std::filesystem::remove(dir.path() / "abc1#3.sts");
  SilentProgress progress;
  auto batch = RunStatistics(Batch(dir, "1-2", "1-3"), {}, progress);
  ASSERT_TRUE(batch.ok()) << batch.error().detail;
  EXPECT_EQ(batch->valid_pairs, 5);
  EXPECT_EQ(batch->finished_pairs, 5);
  EXPECT_EQ(batch->failed_pairs, 1);
  EXPECT_FALSE(batch->cancelled);
  EXPECT_EQ(progress.position(), 5);
  EXPECT_EQ(progress.upper(), 5);
  ASSERT_EQ(batch->table.columns.size(), 14u);
  const struct {
    const char* number;
    const char* code;
    const char* node;
  } want[] = {{"   1", "1", "1"}, {"   2", "1", "2"}, {"   3", "2", "1"}, {"   4", "2", "3"}};
  ASSERT_EQ(batch->table.rows.size(), std::size(want));
  for (size_t r = 0; r < std::size(want); ++r) {
    const auto& row = batch->table.rows[r];
    const double v = -(10.0 * std::stoi(want[r].code) + std::stoi(want[r].node));
    const std::vector<std::string> cells = {want[r].number,      want[r].code,
                                            want[r].node,        FormatNumber(-v, 0),
                                            FormatNumber(v, 0),  FormatNumber(v, 0),
                                            FormatNumber(v, 0),  FormatNumber(0, 0),
                                            FormatNumber(0, 0),  FormatNumber(v * v, 0),
                                            FormatNumber(-v, 0), FormatNumber(0, 0),
                                            FormatNumber(0, 0),  "MPa"};
    EXPECT_EQ(row, cells) << "row " << r + 1;
  }
}

TEST(StatisticsBatch, PeakPeakRowsNameTheirWaveformOnce) {
  TempDir dir;
  std::vector<double> steps;
  for (double level : {5.0, -3.0, 9.0, -6.0, 10.0, -10.0, 4.0, -4.0})
    steps.insert(steps.end(), 3, level);
  steps.resize(512, -4.0);
  NodeLayout layout;
  layout.test_code = "1";
  for (const char* node : {"1", "2"}) {
    layout.node_name = node;
    WriteNode(dir.path(), steps, layout);
  }
  SilentProgress progress;
  auto batch = RunStatistics(Batch(dir, "1", "1,2", kStatPeakPeaks), {}, progress);
  ASSERT_TRUE(batch.ok()) << batch.error().detail;
  // Counted half-cycles pair levels (5,-3) (-3,9) (9,-6) (-6,10) (10,-10) (-10,4): differences
  // 8 12 15 16 20 14; the three largest are 20 16 15.
  ASSERT_EQ(batch->table.rows.size(), 6u);
  ASSERT_EQ(batch->table.columns.size(), 10u);
  const char* differences[] = {"20", "16", "15"};
  for (size_t r = 0; r < 6; ++r) {
    const auto& row = batch->table.rows[r];
    EXPECT_EQ(row[0], "   " + std::to_string(r + 1));
    EXPECT_EQ(row[1], r % 3 == 0 ? "1" : "");
    EXPECT_EQ(row[2], r % 3 == 0 ? (r == 0 ? "1" : "2") : "");
    EXPECT_EQ(row[3], std::to_string(r % 3 + 1));
    EXPECT_EQ(row[4], FormatNumber(std::stod(differences[r % 3]), 0));
    EXPECT_EQ(row[9], "MPa");
  }
  // Rank 1: peak 10 at sample 13, valley -10 at sample 16 (the second sample of each level).
  EXPECT_EQ(batch->table.rows[0][5], FormatNumber(10, 0));
  EXPECT_EQ(batch->table.rows[0][6], FormatNumber(13.0 / 1024.0, 0));
  EXPECT_EQ(batch->table.rows[0][7], FormatNumber(-10, 0));
  EXPECT_EQ(batch->table.rows[0][8], FormatNumber(16.0 / 1024.0, 0));
}

TEST(StatisticsBatch, ThreadsGiveTheRowsOfOneThread) {
  TempDir dir;
  for (int node = 1; node <= 7; ++node) {
    std::vector<double> samples(2048);
    for (size_t i = 0; i < samples.size(); ++i) {
      samples[i] = node * std::sin(0.01 * node * static_cast<double>(i)) +
                   std::cos(0.37 * static_cast<double>(i * i % 101));
    }
    NodeLayout layout;
    layout.test_code = "A1";
    layout.node_name = std::to_string(node);
    WriteNode(dir.path(), samples, layout);
  }
  for (const int32_t content : {kStatAmplitudeIndices, kStatPeakPeaks}) {
    SilentProgress one_progress, many_progress;
    auto one =
        RunStatistics(Batch(dir, "A1", "1-7", content), {0, Language::kEnglish, 1}, one_progress);
    auto many =
        RunStatistics(Batch(dir, "A1", "1-7", content), {0, Language::kEnglish, 4}, many_progress);
    ASSERT_TRUE(one.ok() && many.ok());
    EXPECT_EQ(one->failed_pairs, 0);
    EXPECT_GE(one->table.rows.size(), 7u);
    EXPECT_EQ(one->table.rows, many->table.rows) << content;
    EXPECT_EQ(many_progress.position(), 7);
  }
}

/// Cancels at the `nth` poll made after `finished` pairs were reported.
class CancelAfterPairs : public Progress {
 public:
  CancelAfterPairs(int64_t finished, int nth) : finished_(finished), nth_(nth) {}

 protected:
  void OnPoll() override {
    if (position() == finished_ && ++polls_ == nth_) RequestCancel();
  }

 private:
  int64_t finished_;
  int nth_;
  int polls_ = 0;
};

TEST(StatisticsBatch, CancelStopsThePairsUnderWayAndKeepsTheFinishedOnes) {
  TempDir dir;
  for (int node = 1; node <= 8; ++node) WriteConstantNode(dir, "1", std::to_string(node), node);
  // Cancel at the poll after the first finished pair: one worker has nothing else under way;
  // three workers may have had two more pairs under way, finished or stopped.
  for (const auto& [threads, most] : {std::pair{1, 1}, {3, 3}}) {
    CancelAfterPairs progress(1, 1);
    auto batch = RunStatistics(Batch(dir, "1", "1-8"), {0, Language::kEnglish, threads}, progress);
    ASSERT_TRUE(batch.ok());
    EXPECT_TRUE(batch->cancelled);
    EXPECT_GE(batch->finished_pairs, 1);
    EXPECT_LE(batch->finished_pairs, most) << threads;
    if (threads == 1) {
      EXPECT_EQ(batch->finished_pairs, 1);
    }
    EXPECT_EQ(progress.position(), batch->finished_pairs);
    EXPECT_EQ(static_cast<int64_t>(batch->table.rows.size()), batch->finished_pairs);
    // One worker finishes pair 1 first; of three, any may finish first and the cancel may stop
    // pair 1 under way, so only the order of the rows is sure.
    if (threads == 1) {
      EXPECT_EQ(batch->table.rows[0][2], "1");
    }
    for (size_t r = 1; r < batch->table.rows.size(); ++r) {
      EXPECT_LT(std::stoi(batch->table.rows[r - 1][2]), std::stoi(batch->table.rows[r][2]));
    }
  }

  // A waveform of 64 Gi samples (a sparse file of zeros, 512 GiB) can't be read to its end in
  // the minute the batch is given, on any machine: the cancel polled while it runs stops it
  // within a block, so it gives no row and the batch returns; the pair finished before it keeps
  // its row.
  NodeLayout layout;
  layout.test_code = "2";
  layout.node_name = "2";
  layout.length_half_blocks = 1 << 27;
  const auto big = WriteNode(dir.path(), std::vector<double>(512, 0.0), layout);
  fs::resize_file(big.sts, (uint64_t{1} << 36) * sizeof(double));
  WriteConstantNode(dir, "2", "1", 5.0);
  WriteConstantNode(dir, "2", "3", 6.0);
  for (const int32_t content : {kStatAmplitudeIndices, kStatPeakPeaks}) {
    CancelAfterPairs progress(1, 2);  // the first poll at 1 follows pair 1; the next is between
    const auto start = std::chrono::steady_clock::now();
    auto batch =
        RunStatistics(Batch(dir, "2", "1-3", content), {0, Language::kEnglish, 1}, progress);
    const auto seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_TRUE(batch.ok());
    EXPECT_TRUE(batch->cancelled) << content;
    EXPECT_EQ(batch->valid_pairs, 3);
    EXPECT_EQ(batch->finished_pairs, 1) << content;
    // A constant waveform has indices but no half-cycle.
    EXPECT_EQ(batch->failed_pairs, content == kStatPeakPeaks ? 1 : 0) << content;
    EXPECT_EQ(progress.position(), 1);
    for (const auto& row : batch->table.rows) EXPECT_NE(row[2], "2") << content;
    EXPECT_LT(seconds, 60.0) << content << ": the big waveform was read on after the cancel";
  }
}

TEST(StatisticsBatch, RefusedBatches) {
  TempDir dir;
  WriteConstantNode(dir, "1", "1", 1.0);
  const struct {
    StatisticsParameters parameters;
    int message;
  } cases[] = {
      {Batch(dir, "2-3", "1"), kMsgNoValidDataFile}, {Batch(dir, "1", "9"), kMsgNoValidDataFile},
      {Batch(dir, "1-", "1"), kMsgBadValue},         {Batch(dir, "1", "3-1"), kMsgBadValue},
      {Batch(dir, "1", "1", 2), kMsgBadValue},
  };
  for (const auto& c : cases) {
    SilentProgress progress;
    auto batch = RunStatistics(c.parameters, {}, progress);
    ASSERT_FALSE(batch.ok()) << c.parameters.code_range << " " << c.parameters.node_range;
    EXPECT_EQ(batch.error().message, c.message);
  }
  auto too_many = Batch(dir, "1", "1", kStatPeakPeaks);
  too_many.peak_peak_count = 201;
  SilentProgress progress;
  EXPECT_FALSE(RunStatistics(too_many, {}, progress).ok());
}

TEST(StatisticsBatch, ConstantWaveformGivesNoPeakPeakRow) {
  TempDir dir;
  WriteConstantNode(dir, "1", "1", 2.0);
  SilentProgress progress;
  auto batch = RunStatistics(Batch(dir, "1", "1", kStatPeakPeaks), {}, progress);
  ASSERT_TRUE(batch.ok());
  EXPECT_TRUE(batch->table.rows.empty());
  EXPECT_EQ(batch->failed_pairs, 1);
}

TEST(StatisticsBatch, AllFailedPairsSayWhyForTheFirstFew) {
  // Five pairs with a sampling file and no data file: every pair fails, the batch keeps the
  // reasons of the first three in pair order and counts the other two.
  TempDir dir;
  for (int node = 1; node <= 5; ++node) {
    WriteConstantNode(dir, "1", std::to_string(node), 1.0);
    std::filesystem::remove(dir.path() / ("abc1#" + std::to_string(node) + ".sts"));
  }
  SilentProgress progress;
  auto batch = RunStatistics(Batch(dir, "1", "1-5"), {}, progress);
  ASSERT_TRUE(batch.ok());
  EXPECT_TRUE(batch->table.rows.empty());
  EXPECT_EQ(batch->failed_pairs, 5);
  ASSERT_EQ(batch->failures.size(), kReportedFailures);
  EXPECT_EQ(batch->failures[0].pair.node_name, "1");
  EXPECT_EQ(batch->failures[2].pair.node_name, "3");
  const std::string text = DescribeFailures(*batch, "abc", Language::kEnglish);
  EXPECT_EQ(text.find("abc1#1: "), 0u) << text;
  EXPECT_NE(text.find("\nabc1#3: "), std::string::npos) << text;
  EXPECT_EQ(text.find("abc1#4"), std::string::npos) << text;
  EXPECT_NE(text.find("... (5)"), std::string::npos) << text;
  EXPECT_NE(text.find("abc1#1.sts"), std::string::npos) << "names the missing file: " << text;

  // A constant waveform (content 1) fails for want of a half-cycle.
  TempDir flat;
  WriteConstantNode(flat, "1", "1", 2.0);
  auto none = RunStatistics(Batch(flat, "1", "1", kStatPeakPeaks), {}, progress);
  ASSERT_TRUE(none.ok());
  EXPECT_EQ(DescribeFailures(*none, "abc", Language::kEnglish), "abc1#1: no half-cycle");
}

}  // namespace
}  // namespace torvwy::core
