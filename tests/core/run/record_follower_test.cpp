// Following a node being recorded: the counts and the envelope of the whole blocks seen at every
// look, the same as the offline run of a record of exactly those blocks, and each bad record
// ending the follow without a wrong count.
#include "core/run/record_follower.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <fstream>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "core/data/envelope.h"
#include "core/data/sample_format.h"
#include "core/data/waveform_reader.h"
#include "core/files/json_result_file.h"
#include "core/files/peak_result_file.h"
#include "core/files/rainflow_result_file.h"
#include "core/files/range_result_file.h"
#include "core/services/message_table.h"
#include "core/services/profile.h"
#include "core/services/progress.h"
#include "support/count_record.h"
#include "support/test_node.h"

namespace torvwy::core {
namespace {
namespace fs = std::filesystem;
using testing::TempDir;

constexpr CountingKind kKinds[] = {CountingKind::kPeak, CountingKind::kRange,
                                   CountingKind::kRainflow};

/// A node as an acquisition writes it: the .tsp rewritten atomically with the length so far and
/// the running mark, the .sts appended to.
class GrowingNode {
 public:
  GrowingNode(const fs::path& dir, int32_t format) : dir_(dir), format_(format) {
    tsp_ = dir / "rig1#7.tsp";
    sts_ = dir / "rig1#7.sts";
    info_.set_frequency_hz(2048.0);
    info_.set_c1(2.0);
    info_.set_c2(0.5);
    info_.set_format(format);
    info_.set_eu("kN");
    std::ofstream(sts_, std::ios::binary).flush();
    WriteTsp(0, true);
  }

  const fs::path& tsp() const { return tsp_; }
  const fs::path& sts() const { return sts_; }
  SamplingInfo& info() { return info_; }
  const std::vector<double>& written() const { return written_; }

  /// Rewrites the .tsp (atomically) with `length` half blocks, marked running or not.
  void WriteTsp(int32_t length, bool running) {
    info_.set_length_half_blocks(length);
    IniFile ini;
    StoreSamplingKeys(ini, info_);
    if (running) ini.Set(kRecordingSection, kRecordingRunningKey, "1");
    ASSERT_TRUE(ini.Save(tsp_).ok());
  }

  /// Appends raw values to the .sts.
  void Append(const std::vector<double>& raw) {
    std::string bytes;
    ASSERT_TRUE(EncodeSamples(format_, raw, bytes).ok());
    std::ofstream(sts_, std::ios::binary | std::ios::app)
        .write(bytes.data(), static_cast<long>(bytes.size()));
    written_.insert(written_.end(), raw.begin(), raw.end());
  }

  /// Writes `raw` over sample `index` of the .sts, in place.
  void Rewrite(int64_t index, double raw) {
    std::string bytes;
    ASSERT_TRUE(EncodeSamples(format_, {&raw, 1}, bytes).ok());
    std::fstream file(sts_, std::ios::binary | std::ios::in | std::ios::out);
    file.seekp(index * static_cast<int64_t>(bytes.size()));
    file.write(bytes.data(), static_cast<long>(bytes.size()));
    ASSERT_TRUE(file.good());
  }

  /// Renames a new file holding the .sts's bytes and `more` over the .sts.
  void Replace(const std::vector<double>& more) {
    std::string bytes = testing::ReadFileBytes(sts_);
    ASSERT_TRUE(EncodeSamples(format_, more, bytes).ok());
    const fs::path next = dir_ / "next.sts";
    std::ofstream(next, std::ios::binary).write(bytes.data(), static_cast<long>(bytes.size()));
    fs::rename(next, sts_);
  }

  /// Cuts the .sts to `samples` samples and a few bytes of the next one.
  void Truncate(int64_t samples, int64_t extra_bytes = 0) {
    const int size = *GetSampleSize(format_);
    fs::resize_file(sts_, static_cast<uintmax_t>(samples * size + extra_bytes));
  }

  CountingNode Node() const {
    CountingNode node;
    node.test_name = "rig";
    node.test_code = "1";
    node.node_name = "7";
    node.tsp_file = tsp_;
    node.data_file = sts_;
    return node;
  }

  /// A finished node holding the first `samples` bytes' worth of this one's .sts and a .tsp of
  /// `length` half blocks, in a folder of its own, as the offline run would see it.
  CountingNode Offline(const fs::path& folder, int64_t samples, int32_t length) const {
    fs::create_directories(folder);
    const int size = *GetSampleSize(format_);
    std::string bytes = testing::ReadFileBytes(sts_);
    bytes.resize(static_cast<size_t>(samples * size));
    std::ofstream(folder / "rig1#7.sts", std::ios::binary)
        .write(bytes.data(), static_cast<long>(bytes.size()));
    SamplingInfo info = info_;
    info.set_length_half_blocks(length);
    EXPECT_TRUE(WriteSamplingParameters(folder / "rig1#7.tsp", info).ok());
    auto node = OpenCountingNode(folder, "rig", "1", "7");
    EXPECT_TRUE(node.ok());
    return *node;
  }

 private:
  fs::path dir_, tsp_, sts_;
  int32_t format_;
  SamplingInfo info_;
  std::vector<double> written_;
};

/// Small integers with many ties and plateaus, and now and then a spike.
std::vector<double> Samples(size_t n, uint32_t seed) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> value(-6, 6);
  std::uniform_int_distribution<int> spike(0, 500);
  std::vector<double> x(n);
  for (double& v : x) v = spike(random) == 0 ? 40.0 * value(random) : value(random);
  return x;
}

FollowSetup SetupOf(CountingKind kind, int32_t amplitude_mode = kAmplitudeSetValue) {
  FollowSetup setup;
  setup.plan.kind = kind;
  setup.plan.parameters.partitions = 16;
  setup.plan.parameters.amplitude_mode = amplitude_mode;
  setup.plan.parameters.set_value = 12.0;
  setup.idle = std::chrono::hours(1);
  return setup;
}

Result<AnyResultFile> RunOffline(const CountingNode& node, const FollowSetup& setup, int threads) {
  CountingParameters p = setup.plan.parameters;
  p.range_mode = kRangeFull;
  p.total_blocks = node.info.whole_blocks();
  p.first_block = 1;
  p.last_block = node.info.whole_blocks();
  SilentProgress progress;
  testing::CountOptions options;
  options.threads = threads;
  return testing::CountNode(setup.plan.kind, node, p, progress, options);
}

std::string Encoded(const AnyResultFile& file) {
  Result<std::string> bytes = std::visit(
      [](const auto& f) -> Result<std::string> {
        using File = std::decay_t<decltype(f)>;
        if constexpr (std::is_same_v<File, PeakResultFile>) {
          return EncodePeakResultFile(f);
        } else if constexpr (std::is_same_v<File, RangeResultFile>) {
          return EncodeRangeResultFile(f);
        } else if constexpr (std::is_same_v<File, RainflowResultFile>) {
          return EncodeRainflowResultFile(f);
        } else {
          return JsonResultText(AnyResultFile(f));
        }
      },
      file);
  EXPECT_TRUE(bytes.ok());
  return bytes ? *bytes : std::string();
}

/// The envelope's values as bytes, so that NaN compares equal to NaN.
std::string EnvelopeBytes(const AnyResultFile& file) {
  const std::vector<double>& e = std::visit(
      [](const auto& f) -> const std::vector<double>& { return f.result.envelope; }, file);
  return std::string(reinterpret_cast<const char*>(e.data()), e.size() * sizeof(double));
}

/// Field for field: the file's bytes (counts, run fields, sampling record, envelope) and what
/// the file does not store (names, total blocks, the pass's state).
void ExpectSameResult(const AnyResultFile& live, const AnyResultFile& offline,
                      const std::string& where) {
  SCOPED_TRACE(where);
  ASSERT_EQ(KindOf(live), KindOf(offline));
  EXPECT_EQ(Encoded(live), Encoded(offline));
  EXPECT_EQ(EnvelopeBytes(live), EnvelopeBytes(offline));
  const ResultFileNode& a = NodeOf(live);
  const ResultFileNode& b = NodeOf(offline);
  EXPECT_EQ(a.test_name, b.test_name);
  EXPECT_EQ(a.test_code, b.test_code);
  EXPECT_EQ(a.node_name, b.node_name);
  EXPECT_EQ(a.total_blocks, b.total_blocks);
  EXPECT_EQ(a.sampling.bytes(), b.sampling.bytes());
  EXPECT_EQ(PassCancelled(live), PassCancelled(offline));
}

/// The follower's last result against the offline count of node 7 of test "rig" code 1 in
/// `folder`, as it now stands.
void ExpectTheOfflineCountOfRig7(RecordFollower& follower, const std::filesystem::path& folder,
                                 const FollowSetup& setup, const std::string& where) {
  auto live = follower.Snapshot();
  ASSERT_TRUE(live.ok()) << where;
  auto node = OpenCountingNode(folder, "rig", "1", "7");
  ASSERT_TRUE(node.ok()) << where;
  auto offline = RunOffline(*node, setup, 1);
  ASSERT_TRUE(offline.ok()) << where;
  ExpectSameResult(*live, *offline, where);
}

TEST(RecordFollowerTest, EveryLookEqualsTheOfflineRunOfTheBlocksCounted) {
  // Pieces in samples that end inside blocks, on borders and several blocks at once; the .tsp
  // says the length of the previous piece (it lags behind the .sts).
  const std::vector<int64_t> pieces = {700, 324, 1, 1023, 5000, 2048, 17, 3000, 70000, 1531};
  for (CountingKind kind : kKinds) {
    for (int32_t mode : {kAmplitudeSetValue, kAmplitudeFullScale}) {
      TempDir dir;
      GrowingNode rig(dir.path(), kFormatFloat64);
      const FollowSetup setup = SetupOf(kind, mode);
      auto follower = RecordFollower::Start(rig.Node(), setup);
      ASSERT_TRUE(follower.ok()) << follower.error().detail;
      const std::vector<double> samples = Samples(90000, 11);
      int64_t written = 0;
      int64_t previous = 0;
      for (size_t k = 0; k < pieces.size(); ++k) {
        rig.Append({samples.begin() + written, samples.begin() + written + pieces[k]});
        written += pieces[k];
        rig.WriteTsp(static_cast<int32_t>(previous / 512), true);
        previous = written;
        SilentProgress progress;
        const FollowLook look = follower->Poll(progress);
        const int64_t whole = written / 1024;
        ASSERT_EQ(look.end, FollowEnd::kNone);
        EXPECT_EQ(follower->blocks_counted(), whole) << "only whole blocks, every one";
        EXPECT_EQ(follower->samples_behind(), written - whole * 1024);
        if (whole == 0) {
          EXPECT_FALSE(follower->Snapshot().ok()) << "nothing counted yet";
          continue;
        }
        auto live = follower->Snapshot();
        ASSERT_TRUE(live.ok()) << live.error().detail;
        const CountingNode offline_node =
            rig.Offline(dir.path() / ("offline" + std::to_string(k)), whole * 1024,
                        static_cast<int32_t>(2 * whole));
        auto offline = RunOffline(offline_node, setup, 1);
        ASSERT_TRUE(offline.ok()) << offline.error().detail;
        ExpectSameResult(*live, *offline, "after " + std::to_string(written) + " samples");
      }
    }
  }
}

TEST(RecordFollowerTest, CompleteEndEqualsTheOfflineRunOfTheFinishedRecord) {
  // Finished records of an even and an odd number of half blocks: the last half block is no
  // block of its own, so no counting counts it, but the envelope shows it.
  for (int32_t length : {38, 39}) {
    for (CountingKind kind : kKinds) {
      TempDir dir;
      GrowingNode rig(dir.path(), kFormatFloat32);
      const FollowSetup setup = SetupOf(kind);
      auto follower = RecordFollower::Start(rig.Node(), setup);
      ASSERT_TRUE(follower.ok()) << follower.error().detail;
      const std::vector<double> samples = Samples(static_cast<size_t>(length) * 512, 5);
      rig.Append({samples.begin(), samples.begin() + 8000});
      SilentProgress progress;
      EXPECT_EQ(follower->Poll(progress).end, FollowEnd::kNone);
      rig.WriteTsp(15, true);
      rig.Append({samples.begin() + 8000, samples.end()});
      EXPECT_EQ(follower->Poll(progress).end, FollowEnd::kNone) << "still marked running";
      rig.WriteTsp(length, false);
      const FollowLook look = follower->Poll(progress);
      EXPECT_EQ(look.end, FollowEnd::kComplete);
      EXPECT_EQ(look.new_blocks, 0);
      EXPECT_EQ(follower->blocks_counted(), length / 2);
      EXPECT_EQ(follower->samples_behind(), length % 2 == 0 ? 0 : 512);
      auto live = follower->Snapshot();
      ASSERT_TRUE(live.ok()) << live.error().detail;
      auto node = OpenCountingNode(dir.path(), "rig", "1", "7");
      ASSERT_TRUE(node.ok());
      for (int threads : {1, 2}) {
        auto offline = RunOffline(*node, setup, threads);
        ASSERT_TRUE(offline.ok()) << offline.error().detail;
        ExpectSameResult(
            *live, *offline,
            "length " + std::to_string(length) + ", threads " + std::to_string(threads));
      }
      // An ended follow counts nothing more.
      rig.Append(samples);
      EXPECT_EQ(follower->Poll(progress).end, FollowEnd::kComplete);
      EXPECT_EQ(follower->blocks_counted(), length / 2);
    }
  }
}

TEST(RecordFollowerTest, ANonFiniteSampleEndsTheFollowNamingItsBlockAndSample) {
  TempDir dir;
  GrowingNode rig(dir.path(), kFormatFloat32);
  std::vector<double> samples = Samples(3 * 1024, 3);
  samples[2 * 1024 + 16] = std::numeric_limits<double>::quiet_NaN();
  auto follower = RecordFollower::Start(rig.Node(), SetupOf(CountingKind::kPeak));
  ASSERT_TRUE(follower.ok()) << follower.error().detail;
  rig.Append({samples.begin(), samples.begin() + 2 * 1024});
  SilentProgress progress;
  ASSERT_EQ(follower->Poll(progress).end, FollowEnd::kNone);
  rig.Append({samples.begin() + 2 * 1024, samples.end()});
  const auto look = follower->Poll(progress);
  ASSERT_EQ(look.end, FollowEnd::kFailed);
  ASSERT_TRUE(look.reason.has_value());
  EXPECT_NE(look.reason->detail.find("sample 17 of block 3 is not a number"), std::string::npos)
      << look.reason->detail;
}

TEST(RecordFollowerTest, EnvelopeEqualsTheWholeRecordsAtManyLengths) {
  // Segments of L samples for L half blocks: shorter than a block, a block, and several blocks
  // with borders inside blocks.
  const std::vector<int64_t> blocks_at_look = {1, 2, 3, 7, 512, 513, 1100, 1537};
  TempDir dir;
  GrowingNode rig(dir.path(), kFormatFloat32);
  std::vector<double> samples = Samples(1537 * 1024 + 512, 3);
  auto follower = RecordFollower::Start(rig.Node(), SetupOf(CountingKind::kPeak));
  ASSERT_TRUE(follower.ok()) << follower.error().detail;
  int64_t written = 0;
  for (int64_t blocks : blocks_at_look) {
    rig.Append({samples.begin() + written, samples.begin() + blocks * 1024});
    written = blocks * 1024;
    SilentProgress progress;
    ASSERT_EQ(follower->Poll(progress).end, FollowEnd::kNone);
    auto live = follower->Snapshot();
    ASSERT_TRUE(live.ok()) << live.error().detail;
    SamplingInfo record = rig.info();
    record.set_length_half_blocks(static_cast<int32_t>(2 * blocks));
    auto reader = WaveformReader::Open(SampleSource(rig.sts()), record);
    ASSERT_TRUE(reader.ok());
    auto whole = BuildWaveformEnvelope(*reader, record, progress);
    ASSERT_TRUE(whole.ok());
    const auto& got = std::get<PeakResultFile>(*live).result;
    ASSERT_EQ(got.envelope.size(), whole->size());
    EXPECT_EQ(
        std::string(reinterpret_cast<const char*>(got.envelope.data()), got.envelope.size() * 8),
        std::string(reinterpret_cast<const char*>(whole->data()), whole->size() * 8))
        << blocks << " blocks";
    const EnvelopeExtremes extremes = FindEnvelopeExtremes(*whole);
    EXPECT_EQ(std::isnan(got.envelope_maximum), std::isnan(extremes.maximum));
    if (!std::isnan(extremes.maximum)) {
      EXPECT_EQ(got.envelope_maximum, extremes.maximum);
    }
  }
  // The finished record of an odd number of half blocks: its last segment reaches into the half
  // block no block holds.
  rig.Append({samples.begin() + written, samples.end()});
  rig.WriteTsp(1537 * 2 + 1, false);
  SilentProgress progress;
  ASSERT_EQ(follower->Poll(progress).end, FollowEnd::kComplete);
  auto live = follower->Snapshot();
  ASSERT_TRUE(live.ok());
  auto reader = WaveformReader::Open(SampleSource(rig.sts()), rig.info());
  ASSERT_TRUE(reader.ok());
  auto whole = BuildWaveformEnvelope(*reader, rig.info(), progress);
  ASSERT_TRUE(whole.ok());
  const auto& got = std::get<PeakResultFile>(*live).result.envelope;
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(got.data()), got.size() * 8),
            std::string(reinterpret_cast<const char*>(whole->data()), whole->size() * 8));
}

TEST(RecordFollowerTest, EachBadRecordEndsTheFollowWithTheBlocksSeen) {
  // Every case counts 3 whole blocks and half of the fourth while the .tsp says 2 blocks, then
  // damages the node; the follow ends, says why, and keeps the count of the 3 blocks.
  struct Case {
    const char* name;
    std::function<void(GrowingNode&)> damage;
    FollowEnd end;
    int message;
    const char* says;
  };
  const std::vector<Case> cases = {
      {"waveform truncated inside a counted block",
       [](GrowingNode& rig) { rig.Truncate(2 * 1024 + 100, 3); }, FollowEnd::kShrank,
       kMsgDataFileShort, "truncated to 2148 samples"},
      {"waveform shrank, its counted blocks whole",
       [](GrowingNode& rig) { rig.Truncate(3 * 1024 + 100); }, FollowEnd::kShrank,
       kMsgDataFileShort, "shrank from 28672 to 25376 bytes"},
      {"the .tsp's Length shrank", [](GrowingNode& rig) { rig.WriteTsp(2, true); },
       FollowEnd::kShrank, kMsgNodeDataChanged, "Length=2"},
      {"finished at a Length below the blocks counted",
       [](GrowingNode& rig) { rig.WriteTsp(5, false); }, FollowEnd::kShrank, kMsgNodeDataChanged,
       "Length=5"},
      {"format changed",
       [](GrowingNode& rig) {
         rig.info().set_format(kFormatFloat32);
         rig.WriteTsp(6, true);
       },
       FollowEnd::kChanged, kMsgNodeDataChanged, "format"},
      {"frequency changed",
       [](GrowingNode& rig) {
         rig.info().set_frequency_hz(1000.0);
         rig.WriteTsp(6, true);
       },
       FollowEnd::kChanged, kMsgNodeDataChanged, "frequency"},
      {"C1 changed",
       [](GrowingNode& rig) {
         rig.info().set_c1(3.0);
         rig.WriteTsp(6, true);
       },
       FollowEnd::kChanged, kMsgNodeDataChanged, "C1"},
      {"C2 changed",
       [](GrowingNode& rig) {
         rig.info().set_c2(1.0);
         rig.WriteTsp(6, true);
       },
       FollowEnd::kChanged, kMsgNodeDataChanged, "C2"},
      // Another file renamed over the .sts, even with the same first bytes: the blocks counted
      // came from the one that went.
      {"waveform replaced by a rename", [](GrowingNode& rig) { rig.Replace(Samples(2048, 8)); },
       FollowEnd::kChanged, kMsgNodeDataChanged, "another file took the waveform's place"},
      // A sample already counted rewritten in place, the size unchanged, and the record then
      // finished: the check at the end finds it.
      {"a counted sample rewritten",
       [](GrowingNode& rig) {
         rig.Rewrite(1500, rig.written()[1500] + 1.0);
         rig.WriteTsp(20, false);
       },
       FollowEnd::kChanged, kMsgNodeDataChanged, "samples already counted were rewritten"},
      {"a FIFO in the waveform's place",
       [](GrowingNode& rig) {
         fs::remove(rig.sts());
         ASSERT_EQ(::mkfifo(rig.sts().c_str(), 0600), 0);
       },
       FollowEnd::kFailed, kMsgDataFileUnopenable, "rig1#7.sts: not a regular file (a FIFO)"},
      {"a folder in the waveform's place",
       [](GrowingNode& rig) {
         fs::remove(rig.sts());
         fs::create_directory(rig.sts());
       },
       FollowEnd::kFailed, kMsgDataFileUnopenable, "rig1#7.sts: not a regular file (a folder)"},
      {"waveform deleted", [](GrowingNode& rig) { fs::remove(rig.sts()); }, FollowEnd::kDeleted,
       kMsgDataFileUnopenable, "deleted"},
      {"parameters deleted", [](GrowingNode& rig) { fs::remove(rig.tsp()); }, FollowEnd::kDeleted,
       kMsgSamplingFileMissing, "deleted"},
      {".tsp damaged",
       [](GrowingNode& rig) { std::ofstream(rig.tsp()) << "[Sampling]\nFrequency=x\n"; },
       FollowEnd::kFailed, kMsgSamplingUnreadable, "rig1#7.tsp"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    GrowingNode rig(dir.path(), kFormatFloat64);
    auto follower = RecordFollower::Start(rig.Node(), SetupOf(CountingKind::kRainflow));
    ASSERT_TRUE(follower.ok());
    const std::vector<double> samples = Samples(10 * 1024, 2);
    rig.Append({samples.begin(), samples.begin() + 3 * 1024 + 512});
    rig.WriteTsp(4, true);
    SilentProgress progress;
    ASSERT_EQ(follower->Poll(progress).end, FollowEnd::kNone);
    ASSERT_EQ(follower->blocks_counted(), 3);
    auto before = follower->Snapshot();
    ASSERT_TRUE(before.ok());

    c.damage(rig);
    // More that must not count, in a waveform file that is still there (one truncated by a
    // crashed writer or deleted stays so).
    if (c.message != kMsgDataFileShort && c.message != kMsgDataFileUnopenable) {
      rig.Append({samples.begin() + 3 * 1024 + 512, samples.end()});
    }
    const FollowLook look = follower->Poll(progress);
    EXPECT_EQ(look.end, c.end);
    EXPECT_EQ(look.new_blocks, 0);
    ASSERT_TRUE(look.reason.has_value());
    EXPECT_EQ(look.reason->message, c.message) << look.reason->detail;
    EXPECT_NE(look.reason->detail.find(c.says), std::string::npos) << look.reason->detail;
    EXPECT_NE(look.reason->detail.find("3 whole blocks"), std::string::npos) << look.reason->detail;
    EXPECT_EQ(look.reason->detail.find('\n'), std::string::npos);
    EXPECT_EQ(follower->end(), c.end);
    EXPECT_EQ(follower->blocks_counted(), 3);
    // The end stays, and the counts stay those of the 3 blocks.
    EXPECT_EQ(follower->Poll(progress).end, c.end);
    EXPECT_EQ(follower->blocks_counted(), 3);
    // Even a record that can't be read any more shows its blocks counted, from the last
    // snapshot of them or from the file counted, never from another.
    auto after = follower->Snapshot();
    ASSERT_TRUE(after.ok()) << after.error().detail;
    EXPECT_EQ(Encoded(*after), Encoded(*before));
    EXPECT_EQ(EnvelopeBytes(*after), EnvelopeBytes(*before));
  }
}

TEST(RecordFollowerTest, TheBytesCountedAreReadAgainWhenTheFollowEndsByItself) {
  // 3 blocks are counted; then a sample of block 2 is written again, with its own value or
  // another, and the record ends complete (2 more blocks) or idle. Only bytes that differ end
  // the follow, before the last blocks are counted; the same bytes end it as before.
  struct Case {
    const char* name;
    double (*rewrite)(double was);
    bool finish;
    FollowEnd end;
    int64_t blocks;
  };
  const auto same = [](double was) { return was; };
  const auto other = [](double was) { return was + 3.0; };
  const auto negated = [](double was) { return -was; };
  const std::vector<Case> cases = {
      {"same bytes, complete", same, true, FollowEnd::kComplete, 5},
      {"same bytes, idle", same, false, FollowEnd::kIdle, 3},
      {"another value, complete", other, true, FollowEnd::kChanged, 3},
      {"another value, idle", other, false, FollowEnd::kChanged, 3},
      {"the sign only, idle", negated, false, FollowEnd::kChanged, 3},
  };
  for (const Case& c : cases) {
    for (int32_t format : {kFormatInt16, kFormatFloat64}) {
      SCOPED_TRACE(std::string(c.name) + ", format " + std::to_string(format));
      TempDir dir;
      GrowingNode rig(dir.path(), format);
      FollowSetup setup = SetupOf(CountingKind::kPeak);
      setup.idle = std::chrono::milliseconds(0);
      auto follower = RecordFollower::Start(rig.Node(), setup);
      ASSERT_TRUE(follower.ok());
      const std::vector<double> samples = Samples(5 * 1024, 6);
      rig.Append({samples.begin(), samples.begin() + 3 * 1024});
      SilentProgress progress;
      ASSERT_EQ(follower->Poll(progress).new_blocks, 3);
      // A sample of block 2 that is not 0, so that its sign shows in its bytes.
      int64_t at = 1024 + 77;
      while (rig.written()[static_cast<size_t>(at)] == 0.0) ++at;
      rig.Rewrite(at, c.rewrite(rig.written()[static_cast<size_t>(at)]));
      if (c.finish) {
        rig.Append({samples.begin() + 3 * 1024, samples.end()});
        rig.WriteTsp(10, false);
      }
      const FollowLook look = follower->Poll(progress);
      EXPECT_EQ(look.end, c.end);
      EXPECT_EQ(follower->blocks_counted(), c.blocks);
      if (c.end != FollowEnd::kChanged) {
        EXPECT_FALSE(look.reason.has_value());
        continue;
      }
      ASSERT_TRUE(look.reason.has_value());
      EXPECT_EQ(look.reason->message, kMsgNodeDataChanged);
      EXPECT_NE(look.reason->detail.find("rewritten"), std::string::npos) << look.reason->detail;
      EXPECT_NE(look.reason->detail.find("3 whole blocks"), std::string::npos);
    }
  }
}

TEST(RecordFollowerTest, AWaveformStartedAgainBeforeAnyBlockIsCountedIsFollowed) {
  // The writer writes part of a block, starts its file again (cut to nothing), then renames a
  // new file over it. No block was counted from the first, so the last one is simply followed.
  TempDir dir;
  GrowingNode rig(dir.path(), kFormatFloat32);
  const FollowSetup setup = SetupOf(CountingKind::kRange);
  auto follower = RecordFollower::Start(rig.Node(), setup);
  ASSERT_TRUE(follower.ok());
  SilentProgress progress;
  rig.Append(Samples(500, 1));
  ASSERT_EQ(follower->Poll(progress).end, FollowEnd::kNone);
  rig.Truncate(0);
  ASSERT_EQ(follower->Poll(progress).end, FollowEnd::kNone);
  const std::vector<double> samples = Samples(4 * 1024, 12);
  rig.Replace({samples.begin(), samples.begin() + 2 * 1024});
  ASSERT_EQ(follower->Poll(progress).new_blocks, 2);
  rig.Append({samples.begin() + 2 * 1024, samples.end()});
  rig.WriteTsp(8, false);
  ASSERT_EQ(follower->Poll(progress).end, FollowEnd::kComplete);
  ExpectTheOfflineCountOfRig7(*follower, dir.path(), setup, "replaced while empty");
}

TEST(RecordFollowerTest, AWriterStoppingMidBlockNeverHasThatBlockCounted) {
  // The writer stops 700 samples into block 4 (and a few bytes into the next sample). Marked
  // running, the follow waits and ends idle; finished at 7 half blocks it is complete. Either
  // way block 4 is never counted, and the counts are those of blocks 1..3.
  for (bool finish : {false, true}) {
    TempDir dir;
    GrowingNode rig(dir.path(), kFormatFloat64);
    FollowSetup setup = SetupOf(CountingKind::kRange);
    setup.idle = std::chrono::milliseconds(0);
    auto follower = RecordFollower::Start(rig.Node(), setup);
    ASSERT_TRUE(follower.ok());
    const std::vector<double> samples = Samples(3 * 1024 + 700, 9);
    rig.Append(samples);
    std::ofstream(rig.sts(), std::ios::binary | std::ios::app).write("\x01\x02\x03", 3);
    SilentProgress progress;
    FollowLook look = follower->Poll(progress);
    EXPECT_EQ(look.end, FollowEnd::kNone) << "this look counted blocks";
    EXPECT_EQ(look.new_blocks, 3);
    if (finish) rig.WriteTsp(7, false);
    look = follower->Poll(progress);
    EXPECT_EQ(look.end, finish ? FollowEnd::kComplete : FollowEnd::kIdle);
    EXPECT_FALSE(look.reason.has_value());
    EXPECT_EQ(follower->blocks_counted(), 3);
    EXPECT_EQ(follower->samples_behind(), finish ? 512 : 700);
    auto live = follower->Snapshot();
    ASSERT_TRUE(live.ok());
    // The counts of a record of blocks 1..3 and no sample more (the envelope differs when the
    // finished record holds a half block more).
    auto offline = RunOffline(rig.Offline(dir.path() / "offline", 3 * 1024, 6), setup, 1);
    ASSERT_TRUE(offline.ok());
    const auto& a = std::get<RangeResultFile>(*live).result;
    const auto& b = std::get<RangeResultFile>(*offline).result;
    EXPECT_EQ(a.two_way_counts, b.two_way_counts);
    EXPECT_EQ(a.one_way_counts, b.one_way_counts);
    if (!finish) ExpectSameResult(*live, *offline, "idle");
  }
}

TEST(RecordFollowerTest, ACancelledLookLeavesTheRestForTheNext) {
  TempDir dir;
  GrowingNode rig(dir.path(), kFormatFloat64);
  const FollowSetup setup = SetupOf(CountingKind::kRainflow);
  auto follower = RecordFollower::Start(rig.Node(), setup);
  ASSERT_TRUE(follower.ok());
  rig.Append(Samples(10 * 1024, 4));
  SilentProgress cancel_at_third(3);
  FollowLook look = follower->Poll(cancel_at_third);
  EXPECT_EQ(look.end, FollowEnd::kNone);
  EXPECT_EQ(look.new_blocks, 3) << "stops after the block at which it was cancelled";
  EXPECT_EQ(follower->samples_behind(), 7 * 1024);
  EXPECT_EQ(cancel_at_third.upper(), 10);
  SilentProgress progress;
  look = follower->Poll(progress);
  EXPECT_EQ(look.new_blocks, 7);
  EXPECT_EQ(follower->samples_behind(), 0);
  rig.WriteTsp(20, false);
  EXPECT_EQ(follower->Poll(progress).end, FollowEnd::kComplete);
  ExpectTheOfflineCountOfRig7(*follower, dir.path(), setup, "after a cancelled look");
}

TEST(RecordFollowerTest, StartRefusesWhatCannotBeFollowed) {
  TempDir dir;
  GrowingNode rig(dir.path(), kFormatFloat64);
  EXPECT_FALSE(
      RecordFollower::Start(rig.Node(), SetupOf(CountingKind::kPeak, kAmplitudeAutomatic)).ok());
  FollowSetup no_partitions = SetupOf(CountingKind::kPeak);
  no_partitions.plan.parameters.partitions = 0;
  EXPECT_FALSE(RecordFollower::Start(rig.Node(), no_partitions).ok());
  rig.info().set_format(kFormatNone);
  rig.WriteTsp(0, true);
  auto no_data = RecordFollower::Start(rig.Node(), SetupOf(CountingKind::kPeak));
  ASSERT_FALSE(no_data.ok());
  EXPECT_EQ(no_data.error().message, kMsgUnknownFormat);
  fs::remove(rig.tsp());
  auto missing = RecordFollower::Start(rig.Node(), SetupOf(CountingKind::kPeak));
  ASSERT_FALSE(missing.ok());
  EXPECT_EQ(missing.error().message, kMsgSamplingUnreadable);
}

TEST(RecordFollowerTest, TheRunningMarkIsReadFromTheParameterFile) {
  TempDir dir;
  GrowingNode rig(dir.path(), kFormatFloat64);
  EXPECT_TRUE(RecordMarkedRunning(rig.tsp()));
  rig.WriteTsp(4, false);
  EXPECT_FALSE(RecordMarkedRunning(rig.tsp()));
  EXPECT_FALSE(RecordMarkedRunning(dir.path() / "none.tsp"));
}

}  // namespace
}  // namespace torvwy::core
