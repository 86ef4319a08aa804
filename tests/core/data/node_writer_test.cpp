// A node's .sts and .tsp saved as one pair: every failure and every kill leaves the old node or
// the new one, never new samples under an old description.
#include "core/data/node_writer.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

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
