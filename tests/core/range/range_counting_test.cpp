// RunRangeCounting over written nodes, against a literal per-sample count of the same samples.
#include "core/range/range_counting.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "core/counting/progress.h"
#include "core/data/envelope.h"
#include "core/data/waveform_reader.h"
#include "core/services/message_table.h"
#include "support/test_node.h"

namespace torvwy::core {
namespace {

using testing::TempDir;
using testing::WriteNode;

// The rule read literally over the whole range in memory: E starts at the first sample; at each
// turning point r = (cur - E) / c2 / c1 is counted by scanning the edges, and E = cur. Returns
// the two-way and the one-way counts.
std::vector<std::vector<int32_t>> LiteralRangeCount(const std::vector<double>& x, int n, double a,
                                                    double c1, double c2) {
  std::vector<std::vector<int32_t>> h(2, std::vector<int32_t>(kMaxPartitions));
  const double w2 = (a + a) / n, w1 = a / n;
  double e = x[0];
  for (size_t i = 1; i + 1 < x.size(); ++i) {
    const double cur = x[i];
    if (!((cur > x[i - 1] && cur >= x[i + 1]) || (cur < x[i - 1] && cur <= x[i + 1]))) continue;
    const double r = (cur - e) / c2 / c1;
    e = cur;
    if (r > a || r < -a) continue;
    int k2 = n - 1, k1 = n - 1;
    for (int k = n - 1; k >= 0; --k) k2 = (k + 1) * w2 - a >= r ? k : k2;
    for (int k = n - 1; k >= 0; --k) k1 = std::fabs(r) <= (k + 1) * w1 ? k : k1;
    ++h[0][k2];
    ++h[1][k1];
  }
  return h;
}

void ExpectCounts(const RangeCountResult& r, const std::vector<std::vector<int32_t>>& h) {
  EXPECT_EQ(r.two_way_counts, h[0]);
  EXPECT_EQ(r.one_way_counts, h[1]);
  EXPECT_EQ(r.largest_count, std::max({1, *std::max_element(h[0].begin(), h[0].end()),
                                       *std::max_element(h[1].begin(), h[1].end())}));
}

CountingParameters Params(int32_t mode, double set_value, int32_t n, int32_t first, int32_t last) {
  return {.first_block = first,
          .last_block = last,
          .amplitude_mode = mode,
          .set_value = set_value,
          .partitions = n};
}

std::vector<double> Envelope(const testing::WrittenNode& node) {
  auto reader = WaveformReader::Open(node.sts, node.info);
  SilentProgress progress;
  return *BuildWaveformEnvelope(*reader, node.info, progress);
}

// Random walks with flat stretches over 9.5 blocks, counted over the whole record and over
// sub-ranges whose first range starts inside the record and whose turning points fall on block
// borders. Modes 0 and 2 take the one read of envelope and counts, mode 1 the envelope pass and
// then the counting pass; all must give the literal counts and the envelope of its own pass.
TEST(RangeCountingTest, MatchesTheLiteralCountOnRandomRecords) {
  struct Case {
    int32_t format;
    double c1, c2;
    int32_t mode;
    double set_value;
    int32_t n, first, last;
  };
  const Case cases[] = {
      {951, 1.0, 1.0, 0, 0, 25, 1, 9},  {951, 0.3, 1.7, 1, 0, 40, 1, 9},
      {951, 2.5, 0.04, 2, 30, 7, 2, 8}, {885, 1.0, 1.0, 1, 0, 2000, 1, 9},
      {885, 0.7, 3.0, 2, 5, 13, 3, 3},  {886, 1.0, 1.0, 2, 3, 12, 1, 9},
      {886, 3.0, 0.7, 0, 0, 1, 4, 9},   {886, 1.1, 3.0, 1, 0, 5000, 1, 5},
      {886, 0.5, 4.0, 2, 1, 8, 1, 9},   {951, 8.0, 0.25, 0, 0, 99, 1, 9},
  };
  TempDir dir;
  std::mt19937 random(2);
  std::uniform_int_distribution<int> step(-3, 3);
  int node = 0;
  for (const Case& c : cases) {
    std::vector<double> stored(19 * 512), raw(19 * 512);
    int walk = 0;
    for (size_t i = 0; i < stored.size(); ++i) {
      walk = std::clamp(walk + step(random), -2000, 2000);
      stored[i] = walk * (c.format == 951 ? 1.0 : 0.25);
      raw[i] = c.format == 951 ? stored[i] * 10000.0 / 32768.0 : stored[i];
    }
    const auto written = WriteNode(
        dir.path(), stored,
        {.node_name = std::to_string(++node), .format = c.format, .c1 = c.c1, .c2 = c.c2});
    const auto [low, high] = std::minmax_element(raw.begin(), raw.end());
    const double envelope_min = *low / (c.c2 * c.c1), envelope_max = *high / (c.c2 * c.c1);
    const double a = c.mode == 0   ? (10000.0 + 10000.0) / c.c2 / c.c1
                     : c.mode == 2 ? c.set_value
                                   : (envelope_max - envelope_min) * 1.1;
    SilentProgress progress;
    auto r = RunRangeCounting(written.info, written.sts,
                              Params(c.mode, c.set_value, c.n, c.first, c.last), progress);
    ASSERT_TRUE(r.ok()) << r.error().detail;
    SCOPED_TRACE(::testing::Message() << "case " << node);
    const int32_t n = std::min(c.n, 2000);
    EXPECT_EQ(r->partitions, n);
    EXPECT_EQ(r->amplitude_range, a);
    EXPECT_EQ(r->two_way_width, (a + a) / n);
    EXPECT_EQ(r->one_way_width, a / n);
    EXPECT_EQ(r->cursor_partition, n / 2);
    ExpectCounts(
        *r, LiteralRangeCount({raw.begin() + (c.first - 1) * 1024, raw.begin() + c.last * 1024}, n,
                              a, c.c1, c.c2));
    EXPECT_EQ(r->envelope, Envelope(written));
    EXPECT_EQ(r->envelope_minimum, envelope_min);
  }
}

// Range counting looks no further than the block: after a cancel at the first poll the counts
// are those of the block's samples alone.
TEST(RangeCountingTest, CancelAfterTheFirstBlockKeepsItsCounts) {
  std::vector<double> x(4 * 1024);
  for (size_t i = 0; i < x.size(); ++i) x[i] = static_cast<double>((i * 37) % 11);
  TempDir dir;
  const auto node = WriteNode(dir.path(), x);
  for (int32_t mode : {1, 2}) {
    SilentProgress progress(1);
    auto r = RunRangeCounting(node.info, node.sts, Params(mode, 20.0, 10, 1, 4), progress);
    ASSERT_TRUE(r.ok());
    EXPECT_TRUE(r->cancelled);
    ExpectCounts(*r,
                 LiteralRangeCount({x.begin(), x.begin() + 1024}, 10, r->amplitude_range, 1, 1));
    EXPECT_EQ(r->envelope, Envelope(node));
  }
}

TEST(RangeCountingTest, ShortRecordsAndRefusals) {
  TempDir dir;
  SilentProgress progress;
  // Half a block holds nothing to count: refused, as by every counting.
  const auto half = WriteNode(dir.path(), std::vector<double>(512, 1.0), {.node_name = "h"});
  auto r = RunRangeCounting(half.info, half.sts, Params(1, 0, 25, 1, 0), progress);
  ASSERT_FALSE(r.ok());
  EXPECT_NE(r.error().detail.find("fewer than one block"), std::string::npos);
  const auto one = WriteNode(dir.path(), std::vector<double>(1024, 1.0), {.node_name = "o"});
  for (const CountingParameters& bad :
       {Params(2, 5, 0, 1, 1), Params(2, NAN, 25, 1, 1), Params(2, 5, 25, 1, 2)}) {
    auto failed = RunRangeCounting(one.info, one.sts, bad, progress);
    ASSERT_FALSE(failed.ok());
    EXPECT_EQ(failed.error().message, kMsgBadValue) << failed.error().detail;
  }
}

}  // namespace
}  // namespace torvwy::core
