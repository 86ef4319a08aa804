// A count that meets a sample that is not a finite number stops, naming its block and sample,
// whatever the counting, the thread count or the part of the record the sample lies in.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "core/data/sample_format.h"
#include "core/services/message_table.h"
#include "core/services/progress.h"
#include "support/count_record.h"
#include "support/test_node.h"

namespace torvwy::core {
namespace {

using testing::TempDir;
using testing::WriteNode;

TEST(NonFiniteSamplesTest, EveryCountingStopsAtTheSampleAtEveryThreadCount) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    double value;
    size_t at;               // 0-based sample of the record
    int32_t amplitude_mode;  // 0 full scale (envelope read with the count), 1 automatic
    const char* expected;
  };
  const Case cases[] = {
      {nan, 5 * 1024 + 7, 0, "sample 8 of block 6 is not a number"},
      {inf, 0, 1, "sample 1 of block 1 is +infinity"},
      {-inf, 8 * 1024 - 1, 0, "sample 1024 of block 8 is -infinity"},
      // Outside the counted blocks 2..4, but the envelope reads the whole record.
      {nan, 6 * 1024 + 3, 0, "sample 4 of block 7 is not a number"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    std::vector<double> samples(8 * 1024);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = std::sin(0.01 * i) * 100.0;
    samples[c.at] = c.value;
    const auto node = WriteNode(dir.path(), samples, {.format = kFormatFloat32});
    CountingParameters params;
    ResetRangeOnNodeLoad(params, node.info);
    params.amplitude_mode = c.amplitude_mode;
    if (c.at == 6 * 1024 + 3) {
      params.range_mode = kRangeByBlock;
      params.block_from = params.first_block = 2;
      params.block_to = params.last_block = 4;
    }
    for (int threads : {1, 2}) {
      SilentProgress progress;
      const std::string what =
          std::string(c.expected) + ", " + std::to_string(threads) + " threads";
      auto peak =
          testing::CountPeaks(node.info, node.sts, params, progress, testing::Threads(threads));
      ASSERT_FALSE(peak.ok()) << what;
      EXPECT_EQ(peak.error().message, kMsgBadValue) << what;
      EXPECT_NE(peak.error().detail.find(c.expected), std::string::npos)
          << what << ": " << peak.error().detail;
      auto range =
          testing::CountRanges(node.info, node.sts, params, progress, testing::Threads(threads));
      ASSERT_FALSE(range.ok()) << what;
      EXPECT_NE(range.error().detail.find(c.expected), std::string::npos) << range.error().detail;
      auto rainflow =
          testing::CountRainflow(node.info, node.sts, params, progress, testing::Threads(threads));
      ASSERT_FALSE(rainflow.ok()) << what;
      EXPECT_NE(rainflow.error().detail.find(c.expected), std::string::npos)
          << rainflow.error().detail;
    }
  }
}

}  // namespace
}  // namespace torvwy::core
