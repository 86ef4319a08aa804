// Reading waveform files and building the envelope.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <limits>
#include <random>

#include "core/data/envelope.h"
#include "core/data/waveform_reader.h"
#include "core/services/message_table.h"
#include "core/services/progress.h"
#include "support/test_node.h"

namespace torvwy::core {
namespace {
namespace fs = std::filesystem;

TEST(WaveformReader, RefusesRecordsItCannotRead) {
  testing::TempDir dir;
  auto node = testing::WriteNode(dir.path(), std::vector<double>(1024, 1.0));

  SamplingInfo longer = node.info;
  longer.set_length_half_blocks(3);  // the file holds 2 half blocks
  auto short_file = WaveformReader::Open(node.sts, longer);
  ASSERT_FALSE(short_file);
  EXPECT_EQ(short_file.error().message, kMsgDataFileShort);
  EXPECT_NE(short_file.error().detail.find("8192 bytes"), std::string::npos);
  EXPECT_NE(short_file.error().detail.find("12288"), std::string::npos);

  SamplingInfo bad = node.info;
  for (int32_t length : {0, -4}) {
    bad.set_length_half_blocks(length);
    EXPECT_FALSE(WaveformReader::Open(node.sts, bad)) << length;
  }
  bad = node.info;
  bad.set_format(0);
  EXPECT_EQ(WaveformReader::Open(node.sts, bad).error().message, kMsgDataFileUnopenable);
  bad.set_format(4711);
  EXPECT_EQ(WaveformReader::Open(node.sts, bad).error().message, kMsgUnknownFormat);
  EXPECT_EQ(WaveformReader::Open(dir.path() / "missing.sts", node.info).error().message,
            kMsgDataFileUnopenable);
  EXPECT_FALSE(WaveformReader::Open(dir.path(), node.info));  // a folder
}

TEST(WaveformReader, ReadsInOrderAndNotPastTheRecord) {
  testing::TempDir dir;
  std::vector<double> values(1536);
  for (size_t i = 0; i < values.size(); ++i) values[i] = static_cast<double>(i);
  testing::NodeLayout layout;
  layout.length_half_blocks = 2;  // the file is longer than its record: the rest is ignored
  auto node = testing::WriteNode(dir.path(), values, layout);
  auto reader = WaveformReader::Open(node.sts, node.info);
  ASSERT_TRUE(reader);
  std::vector<double> out(1000);
  ASSERT_TRUE(reader->Read(out));
  EXPECT_EQ(out[999], 999.0);
  ASSERT_TRUE(reader->Seek(1020));
  std::vector<double> tail(4);
  ASSERT_TRUE(reader->Read(tail));
  EXPECT_EQ(tail, (std::vector<double>{1020, 1021, 1022, 1023}));
  EXPECT_FALSE(reader->Read(tail));  // past the record
  EXPECT_FALSE(reader->Seek(1025));
}

/// The envelope by its definition, from the whole record in memory.
std::vector<double> LiteralEnvelope(const std::vector<double>& x, const SamplingInfo& info) {
  const int m = info.overview_size();
  const double s = info.length_half_blocks() * 1024.0 / m;
  std::vector<double> envelope;
  int64_t consumed = 0;
  for (int i = 1; i <= m / 2; ++i) {
    const auto end = static_cast<int64_t>(std::trunc(i * s));
    int64_t lo = consumed, hi = consumed;
    for (int64_t k = consumed; k < end; ++k) {
      if (x[static_cast<size_t>(k)] > x[static_cast<size_t>(hi)]) hi = k;
      if (x[static_cast<size_t>(k)] < x[static_cast<size_t>(lo)]) lo = k;
    }
    envelope.push_back(x[static_cast<size_t>(std::min(lo, hi))]);
    envelope.push_back(x[static_cast<size_t>(std::max(lo, hi))]);
    consumed = end;
  }
  for (double& v : envelope) v /= info.c2() * info.c1();
  return envelope;
}

TEST(Envelope, MatchesItsDefinition) {
  testing::TempDir dir;
  std::mt19937 random(7);
  std::uniform_int_distribution<int> level(-3, 3);  // many equal extremes
  for (int32_t length : {1, 2, 3, 7, 64}) {
    std::vector<double> x(static_cast<size_t>(length) * 512);
    for (double& v : x) v = level(random);
    testing::NodeLayout layout;
    layout.c1 = 3.0;
    layout.c2 = 0.7;
    auto node = testing::WriteNode(dir.path(), x, layout);
    auto reader = WaveformReader::Open(node.sts, node.info);
    ASSERT_TRUE(reader);
    SilentProgress progress;
    auto envelope = BuildWaveformEnvelope(*reader, node.info, progress);
    ASSERT_TRUE(envelope);
    EXPECT_EQ(envelope->size(), length >= 2 ? 1024u : 512u);
    EXPECT_EQ(*envelope, LiteralEnvelope(x, node.info)) << "length " << length;
    EXPECT_EQ(progress.position(), progress.upper());
  }
}

// Stretches built apart (as the workers of a parallel pass build them) and merged in time order
// give the envelope of one builder, bit for bit, also with ties, signed zeros and NaN samples
// (at the start of a segment a NaN is the segment's value; elsewhere it is never an extreme).
TEST(Envelope, StretchesMergedAtAnyEdgesEqualOneBuilder) {
  std::mt19937 random(11);
  std::uniform_int_distribution<int> level(-3, 3);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const auto same_bits = [](const std::vector<double>& a, const std::vector<double>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
  };
  for (int32_t length : {1, 3, 8}) {
    SamplingInfo info;
    info.set_c1(1.0);
    info.set_c2(1.0);
    info.set_length_half_blocks(length);
    std::vector<double> x(static_cast<size_t>(length) * 512);
    for (size_t i = 0; i < x.size(); ++i) {
      const int r = level(random);
      x[i] = r == 0 ? (i % 2 == 0 ? 0.0 : -0.0) : r;
      if (random() % 29 == 0) x[i] = nan;
    }
    const std::vector<double> expected = LiteralEnvelope(x, info);
    for (int trial = 0; trial < 40; ++trial) {
      std::vector<size_t> edges = {0, x.size()};
      for (int e = 0; e < trial % 8; ++e) edges.push_back(random() % x.size());
      std::sort(edges.begin(), edges.end());
      EnvelopeBuilder whole(info);
      for (size_t c = 0; c + 1 < edges.size(); ++c) {
        EnvelopeBuilder stretch = whole.StretchFrom(static_cast<int64_t>(edges[c]));
        for (size_t i = edges[c]; i < edges[c + 1];) {
          const size_t piece = std::min<size_t>(edges[c + 1] - i, 1 + random() % 300);
          stretch.Feed(std::span<const double>(x.data() + i, piece));
          i += piece;
        }
        whole.Merge(stretch);
      }
      EXPECT_TRUE(same_bits(whole.Finish(), expected))
          << "length " << length << ", edges " << ::testing::PrintToString(edges);
    }
  }
}

TEST(Envelope, OneHalfBlockHas256SegmentsOfTwo) {
  std::vector<double> x(512);
  for (size_t i = 0; i < x.size(); ++i) x[i] = (i % 2 == 0) ? 5.0 - i : -1.0 * i;
  SamplingInfo info;
  info.set_c1(1.0);
  info.set_c2(2.0);
  info.set_length_half_blocks(1);
  EnvelopeBuilder builder(info);
  EXPECT_EQ(builder.segment_count(), 256);
  builder.Feed(x);
  const auto envelope = builder.Finish();
  ASSERT_EQ(envelope.size(), 512u);
  // Segment k holds samples 2k and 2k+1; the earlier one comes first whichever is larger.
  EXPECT_EQ(envelope[0], 5.0 / 2.0);
  EXPECT_EQ(envelope[1], -1.0 / 2.0);
  EXPECT_EQ(envelope[510], (5.0 - 510.0) / 2.0);
  EXPECT_EQ(envelope[511], -511.0 / 2.0);
  const auto extremes = FindEnvelopeExtremes(envelope);
  EXPECT_EQ(extremes.maximum, 2.5);
  EXPECT_EQ(extremes.minimum, -511.0 / 2.0);
}

}  // namespace
}  // namespace torvwy::core
