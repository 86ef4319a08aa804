// A node's .sts and .tsp saved as one pair: every failure and every kill leaves the old node or
// the new one, never new samples under an old description.
#include "core/data/node_writer.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>

#include "core/data/sample_format.h"
#include "core/data/waveform_reader.h"
#include "core/services/message_table.h"
#include "support/test_node.h"

namespace torvwy::core {
namespace {
namespace fs = std::filesystem;

/// What a node was written with: every sample `value`, calibrated by `c1`.
struct NodeVersion {
  std::string name;
  double value;
  double c1;
  int64_t samples;
};

// The same length on purpose: a size check alone would not tell these two apart.
const NodeVersion kOld{"old", 3.0, 1.0, 1024};
const NodeVersion kNew{"new", 7.0, 4.0, 1024};
const NodeVersion kLonger{"longer", 7.0, 4.0, 2048};

Status WriteVersion(const fs::path& folder, const NodeVersion& version) {
  SamplingInfo info;
  info.set_frequency_hz(512.0);
  info.set_c1(version.c1);
  info.set_c2(1.0);
  info.set_format(kFormatFloat64);
  info.set_eu("MPa");
  auto writer = NodeWriter::Open(folder, "rig", "1", "7", info);
  if (!writer) return writer.error();
  const std::vector<double> samples(static_cast<size_t>(version.samples), version.value);
  if (auto ok = writer->Append(samples); !ok) return ok;
  auto committed = writer->Commit();
  if (!committed) return committed.error();
  return Ok();
}

/// Which version the node reads as: "old", "new", "longer", "unreadable", or "mixed".
std::string NodeState(const fs::path& folder) {
  auto info = ReadSamplingParameters(folder / "rig1#7.tsp");
  if (!info) return "unreadable";
  auto reader = WaveformReader::Open(folder / "rig1#7.sts", *info);
  if (!reader) return "unreadable";
  std::vector<double> samples(static_cast<size_t>(reader->record_samples()));
  if (!reader->Read(samples)) return "unreadable";
  for (const NodeVersion* version : {&kOld, &kNew, &kLonger}) {
    if (info->c1() == version->c1 && info->record_samples() == version->samples &&
        std::all_of(samples.begin(), samples.end(),
                    [&](double v) { return v == version->value; })) {
      return version->name;
    }
  }
  return "mixed";
}

size_t FileCount(const fs::path& folder) {
  return static_cast<size_t>(std::distance(fs::directory_iterator(folder), {}));
}

/// Every step of the pair's commit: for the .sts and the .tsp each, and the taking away of the
/// old .tsp before the renames.
std::vector<std::pair<SaveStep, std::string>> EveryStep() {
  std::vector<std::pair<SaveStep, std::string>> steps;
  for (SaveStep step : {SaveStep::kClose, SaveStep::kKeepOld, SaveStep::kTakeAway,
                        SaveStep::kRename, SaveStep::kDropOld}) {
    for (const char* name : {"rig1#7.sts", "rig1#7.tsp"}) {
      if (step == SaveStep::kTakeAway && std::string(name) != "rig1#7.tsp") continue;
      steps.emplace_back(step, name);
    }
  }
  return steps;
}

TEST(NodeWriter, EveryFailureLeavesTheOldNode) {
  for (const NodeVersion* next : {&kNew, &kLonger}) {
    // Full disks while either file is written, then every step of the commit failing.
    std::vector<std::function<void()>> faults;
    for (const char* name : {"rig1#7.sts", "rig1#7.tsp"}) {
      faults.push_back([part = std::string(name)] {
        SetSaveFaultForTesting([part](const fs::path& p) {
          return p.filename() == part ? SaveFault::kWrite : SaveFault::kNone;
        });
      });
    }
    for (const auto& [step, name] : EveryStep()) {
      if (step == SaveStep::kDropOld) continue;  // the pair is in place by then
      faults.push_back([at = step, part = std::string(name)] {
        SetSaveStepHookForTesting(
            [at, part](SaveStep s, const fs::path& p) { return s == at && p.filename() == part; });
      });
    }
    for (size_t k = 0; k < faults.size(); ++k) {
      SCOPED_TRACE(next->name + " fault " + std::to_string(k));
      testing::TempDir dir;
      ASSERT_TRUE(WriteVersion(dir.path(), kOld));
      faults[k]();
      const Status status = WriteVersion(dir.path(), *next);
      SetSaveFaultForTesting({});
      SetSaveStepHookForTesting({});
      EXPECT_FALSE(status);
      EXPECT_EQ(NodeState(dir.path()), "old");
      EXPECT_EQ(FileCount(dir.path()), 2u);
    }
  }
}

TEST(NodeWriter, AKillAtAnyStepNeverLeavesAMixedNode) {
  for (const NodeVersion* next : {&kNew, &kLonger}) {
    for (const auto& [step, name] : EveryStep()) {
      SCOPED_TRACE(next->name + " " + std::to_string(static_cast<int>(step)) + " " + name);
      testing::TempDir dir;
      ASSERT_TRUE(WriteVersion(dir.path(), kOld));
      const pid_t child = ::fork();
      ASSERT_GE(child, 0);
      if (child == 0) {
        SetSaveStepHookForTesting([at = step, part = name](SaveStep s, const fs::path& p) {
          if (s == at && p.filename() == part) ::_exit(0);
          return false;
        });
        (void)WriteVersion(dir.path(), *next);
        ::_exit(3);
      }
      int wait_status = 0;
      ASSERT_EQ(::waitpid(child, &wait_status, 0), child);
      ASSERT_TRUE(WIFEXITED(wait_status) && WEXITSTATUS(wait_status) == 0);
      const std::string killed = NodeState(dir.path());
      EXPECT_TRUE(killed == "old" || killed == next->name || killed == "unreadable") << killed;
      // The next save into the folder (another node here) clears up after the dead writer.
      ASSERT_TRUE(SaveFileAtomically(dir.path() / "listdata.txt", "x"));
      EXPECT_EQ(NodeState(dir.path()), step == SaveStep::kDropOld ? next->name : "old");
      EXPECT_EQ(FileCount(dir.path()), 3u);
    }
  }
}

/// Writes `values` (EU) as a node of `format` calibrated by c1 (c2 = 1); the failure, or Ok.
Status WriteEu(const fs::path& folder, int32_t format, double c1,
               const std::vector<double>& values) {
  SamplingInfo info;
  info.set_frequency_hz(100.0);
  info.set_c1(c1);
  info.set_c2(1.0);
  info.set_format(format);
  if (format == kFormatFloatFs) info.set_stored_full_scale(10000.0);
  auto writer = NodeWriter::Open(folder, "rig", "1", "7", info);
  if (!writer) return writer.error();
  if (auto ok = writer->AppendEu(values); !ok) return ok;
  auto committed = writer->Commit();
  if (!committed) return committed.error();
  return Ok();
}

TEST(NodeWriter, AValueTheFormatCantGiveBackIsRefusedNamingItsSample) {
  const double kHuge = 1e300;
  const double kSubnormal = 1e-310;           // below DBL_MIN (2.2e-308)
  const double kFloatC1 = std::exp2(-984.0);  // import's c1 for 1e300 in 886:
                                              // 2^floor(log2(9000 / 1e300))
  struct Case {
    const char* what;
    int32_t format;
    double c1;
    std::vector<double> values;
    const char* refused;  // what the one line says, nullptr: written
  };
  const Case cases[] = {
      // Integers: 951 holds s x 10000 / 32768 for s in -32768..32767, i.e. -10000..9999.6948.
      {"150 x 1e6 clips",
       951,
       1e6,
       {0, 150, -150},
       "sample 2: 150 x c2 1 x c1 1e+06 = 1.5e+08 raw units, beyond"},
      {"150 x 66 = 9900 fits", 951, 66, {150, -150}, nullptr},
      {"150 x 66.67 = 10000.5 clips", 951, 66.67, {-150, 150}, "sample 1: -150"},
      {"-10000 is the lowest step", 951, 1, {-10000, 9999.69}, nullptr},
      // 9999.85 x 32768 / 10000 = 32767.51: rounds to 32768.
      {"9999.85 rounds beyond the highest", 951, 1, {1, 9999.85}, "sample 2"},
      {"861 holds -5000..4999.85", 861, 1, {-5000, 5000}, "sample 2"},
      {"872 holds -10000 up to below 10000", 872, 1, {-10000, 10000}, "sample 2"},
      // 150 x 1e-300 and 1 x 1e-3 = 0.001 raw: far below half a step (0.153): all become 0.
      {"every value rounds to 0", 951, 1e-300, {150, -150}, "rounds to 0"},
      {"1 and 150 x 1e-3 round to 0", 951, 1e-3, {1, 150}, "the first at sample 1"},
      // 200 x 1e-3 = 0.2 raw = 0.655 of a step: rounds to 1; the 1 may round to 0.
      {"one value kept is enough", 951, 1e-3, {1, 200}, nullptr},
      {"zeros stay zeros", 951, 1e-300, {0, 0}, nullptr},
      // Floats: 150 x 1e300 is beyond float32 (3.4e38); 150 x 1e307 beyond float64 (1.8e308).
      {"885 overflows", 885, 1e300, {1, 150}, "sample 1: 1 x c2 1 x c1 1e+300"},
      {"111 overflows", 111, 1e300, {150}, "sample 1"},
      {"886 overflows", 886, 1e307, {1, 150}, "sample 2"},
      {"885 underflows to 0", 885, 1e-300, {150}, "reads back from format 885 as 0"},
      {"886 loses a subnormal by c1", 886, kFloatC1, {kHuge, kSubnormal}, "sample 2: 1e-310"},
      {"886 keeps a subnormal with c1 1", 886, 1, {kHuge, kSubnormal}, nullptr},
      // 1e-40 is a float32 subnormal: steps of 2^-149 (1.4e-45) keep 5 digits of it.
      {"885 loses digits of a subnormal", 885, 1, {1e-30, 1e-40}, "sample 2"},
      {"885 keeps a normal value", 885, 1, {1e-30, 3.0e38}, nullptr},
      // 0.1 x 3 / 3 is 0.1 or an ulp beside it: as close as float64 comes.
      {"886 with c1 3 keeps 0.1", 886, 3, {0.1, -0.7}, nullptr},
      {"not a number", 886, 1, {1, NAN}, "sample 2: nan is not a finite number"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testing::TempDir dir;
    const Status status = WriteEu(dir.path(), c.format, c.c1, c.values);
    if (c.refused == nullptr) {
      EXPECT_TRUE(status) << status.error().detail;
      continue;
    }
    ASSERT_FALSE(status);
    EXPECT_EQ(status.error().message, kMsgBadValue);
    EXPECT_NE(status.error().detail.find(c.refused), std::string::npos) << status.error().detail;
    EXPECT_EQ(status.error().detail.find('\n'), std::string::npos);
    EXPECT_EQ(FileCount(dir.path()), 0u);  // nothing of the node is left
  }
}

TEST(NodeWriter, RawValuesAreCheckedAsValuesInEu) {
  testing::TempDir dir;
  SamplingInfo info;
  info.set_frequency_hz(100.0);
  info.set_c1(1e6);  // raw values are stored as they are, whatever c1 says
  info.set_c2(1.0);
  info.set_format(kFormatInt16);
  auto writer = NodeWriter::Open(dir.path(), "rig", "1", "7", info);
  ASSERT_TRUE(writer);
  ASSERT_TRUE(writer->Append(std::vector<double>{9999.69, -10000}));
  const Status beyond = writer->Append(std::vector<double>{0, 15000});
  ASSERT_FALSE(beyond);
  EXPECT_NE(beyond.error().detail.find("sample 4: 15000 raw units, beyond the range -10000.."),
            std::string::npos)
      << beyond.error().detail;
  EXPECT_EQ(writer->samples(), 2);  // nothing of the refused piece
}

TEST(NodeWriter, AFullScaleThatIsNotAFiniteNumberIsRefused) {
  // F / c2 / c1 in EU: 10000 / 1 / 2^-1011 = 2^1024 x 0.61 is beyond the largest double, as
  // the c1 an import gives a column holding 1.8e308 (9000 / 1.8e308 = 5e-305, 2^-1011 below).
  for (const auto& [c1, c2] :
       {std::pair{std::exp2(-1011.0), 1.0}, std::pair{1e-300, 1e-10}, std::pair{1e200, 1e200}}) {
    SCOPED_TRACE(std::to_string(c1) + " " + std::to_string(c2));
    SamplingInfo info;
    info.set_frequency_hz(100.0);
    info.set_c1(c1);
    info.set_c2(c2);
    info.set_format(kFormatFloat64);
    testing::TempDir dir;
    auto writer = NodeWriter::Open(dir.path(), "rig", "1", "7", info);
    ASSERT_FALSE(writer);
    EXPECT_NE(writer.error().detail.find("full scale"), std::string::npos);
  }
}

TEST(NodeWriter, AWaveformFileShorterThanItsRecordIsRefusedInEveryFormat) {
  for (int32_t format :
       {kFormatFloatFs, kFormatInt16A, kFormatInt16B, kFormatInt16Half1, kFormatInt16Half2,
        kFormatInt32, kFormatFloat32, kFormatFloat64, kFormatInt16}) {
    SCOPED_TRACE(format);
    testing::TempDir dir;
    SamplingInfo info;
    info.set_frequency_hz(512.0);
    info.set_c1(1.0);
    info.set_c2(1.0);
    info.set_format(format);
    auto writer = NodeWriter::Open(dir.path(), "rig", "1", "7", info);
    ASSERT_TRUE(writer);
    ASSERT_TRUE(writer->Append(std::vector<double>(1024, 1.0)));
    ASSERT_TRUE(writer->Commit());
    auto read = ReadSamplingParameters(writer->tsp_path());
    ASSERT_TRUE(read);
    const int sample_bytes = *GetSampleSize(format);
    EXPECT_EQ(fs::file_size(writer->sts_path()), 1024u * static_cast<unsigned>(sample_bytes));
    ASSERT_TRUE(WaveformReader::Open(writer->sts_path(), *read));
    // One sample short: the description promises more than the file holds.
    fs::resize_file(writer->sts_path(), 1023u * static_cast<unsigned>(sample_bytes));
    auto short_node = WaveformReader::Open(writer->sts_path(), *read);
    ASSERT_FALSE(short_node);
    EXPECT_EQ(short_node.error().message, kMsgDataFileShort);
  }
}

}  // namespace
}  // namespace torvwy::core
