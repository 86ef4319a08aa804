// The rainflow residue beyond its memory bound: spilled to a scratch file, read back, removed.
#include "core/rainflow/residue_stack.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <random>
#include <vector>

#include "core/rainflow/literal_rainflow.h"
#include "core/rainflow/rainflow_counter.h"
#include "core/services/message_table.h"
#include "support/test_node.h"

namespace torvwy::core {
namespace {

namespace fs = std::filesystem;

struct Counted {
  std::vector<double> counts;
  std::vector<double> residue;
};

RainflowSetup SpillSetup(int64_t memory_points, const fs::path& folder) {
  RainflowSetup setup;
  setup.partitions = 50;
  setup.amplitude_range = 40000.0;
  setup.smallest_range = 0.5;
  setup.scale = 0.5;
  setup.residue_memory_points = memory_points;
  setup.scratch_folder = folder;
  return setup;
}

/// Swings that grow all the time: no cycle ever closes, so the residue is every point.
std::vector<double> GrowingSwings(int points) {
  std::vector<double> samples;
  for (int i = 0; i < points; ++i) samples.push_back((i % 2 == 0 ? 1.0 : -1.0) * (i + 1));
  return samples;
}

/// Hourglasses of random sizes one after another, with some noise: the residue grows while the
/// swings shrink and collapses when they grow again, crossing the memory bound back and forth.
std::vector<double> RepeatedHourglasses(int rounds) {
  std::mt19937_64 random(7);
  std::uniform_int_distribution<int> size(1, 400), wobble(0, 2);
  std::vector<double> out;
  for (int round = 0; round < rounds; ++round) {
    const int m = size(random);
    for (int i = 0; i < m; ++i)
      out.push_back((i % 2 == 0 ? 1 : -1) * (4 * (m - i) + wobble(random)));
    for (int j = 0; j < m; ++j) {
      out.push_back(((m + j) % 2 == 0 ? 1 : -1) * (4 * j + 6 + wobble(random)));
    }
  }
  return out;
}

/// Descriptors of this process open on files of `folder` that no longer have a name there.
int OpenUnlinkedFilesIn(const fs::path& folder) {
  const std::string prefix = fs::canonical(folder).string() + "/";
  int found = 0;
  for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
    std::error_code ec;
    const std::string target = fs::read_symlink(entry.path(), ec).string();
    if (!ec && target.starts_with(prefix) && target.ends_with(" (deleted)")) ++found;
  }
  return found;
}

Counted Count(const std::vector<double>& samples, RainflowSetup setup, bool* spilled = nullptr) {
  Counted out;
  setup.on_residue = [&](double p) { out.residue.push_back(p); };
  RainflowCounter counter(setup);
  for (size_t i = 0; i < samples.size(); i += 1024) {
    const size_t n = std::min<size_t>(1024, samples.size() - i);
    EXPECT_TRUE(counter.Feed(std::span<const double>(samples.data() + i, n)).ok());
  }
  if (spilled != nullptr && !setup.scratch_folder.empty()) {
    *spilled = OpenUnlinkedFilesIn(setup.scratch_folder) > 0;
    EXPECT_TRUE(fs::is_empty(setup.scratch_folder)) << "a scratch file has a name while counting";
  }
  auto result = counter.Finish();
  EXPECT_TRUE(result.ok());
  if (result.ok()) out.counts.assign(result->counts.begin(), result->counts.begin() + 50);
  return out;
}

TEST(RainflowResidueSpillTest, TinyBoundGivesIdenticalCountsAndRemovesTheScratchFile) {
  struct Case {
    const char* name;
    std::vector<double> samples;
    int64_t memory_points;
  };
  const Case cases[] = {
      {"growing swings, bound 8", GrowingSwings(10000), 8},
      {"growing swings, bound 100", GrowingSwings(10000), 100},
      {"bound below the minimum", GrowingSwings(3000), 1},
      {"repeated hourglasses, bound 8", RepeatedHourglasses(60), 8},
      {"repeated hourglasses, bound 64", RepeatedHourglasses(60), 64},
  };
  for (const Case& c : cases) {
    testing::TempDir unbounded_folder, folder;
    const Counted expected =
        Count(c.samples, SpillSetup(int64_t{1} << 30, unbounded_folder.path()));
    bool spilled = false;
    const Counted counted = Count(c.samples, SpillSetup(c.memory_points, folder.path()), &spilled);
    EXPECT_TRUE(spilled) << c.name << ": the residue never reached the scratch file";
    EXPECT_EQ(counted.counts, expected.counts) << c.name;
    EXPECT_EQ(counted.residue, expected.residue) << c.name;
    EXPECT_TRUE(fs::is_empty(folder.path())) << c.name << ": the scratch file was left behind";
    EXPECT_TRUE(fs::is_empty(unbounded_folder.path())) << c.name;
    const auto literal = testing::RunLiteralRainflow(c.samples, 0.5, 50, 40000.0, 0.5);
    EXPECT_EQ(counted.counts, literal.counts) << c.name;
    EXPECT_EQ(counted.residue, literal.residue) << c.name;
  }
  // Growing swings keep every turning point, in order, scaled by k.
  testing::TempDir folder;
  const Counted growing = Count(GrowingSwings(5000), SpillSetup(8, folder.path()));
  ASSERT_EQ(growing.residue.size(), 5000u);
  for (int i = 0; i < 5000; ++i) {
    ASSERT_EQ(growing.residue[static_cast<size_t>(i)], 0.5 * (i % 2 == 0 ? 1.0 : -1.0) * (i + 1));
  }
}

TEST(RainflowResidueSpillTest, ScratchFileHasNoNameWhileTheStackLives) {
  // A process killed while the stack lives leaves nothing behind only if the file is unlinked
  // as soon as it exists.
  testing::TempDir folder;
  ResidueStack stack(8, folder.path());
  for (int i = 0; i < 40; ++i) {
    ASSERT_TRUE(stack.MakeRoom().ok());
    stack.Push(i);
  }
  ASSERT_GT(stack.spilled(), 0);
  EXPECT_FALSE(stack.scratch_path().empty());
  EXPECT_FALSE(fs::exists(stack.scratch_path()));
  EXPECT_TRUE(fs::is_empty(folder.path()));
  EXPECT_EQ(OpenUnlinkedFilesIn(folder.path()), 1);
  // The spilled points are still there to read back, bottom to top.
  std::vector<double> points;
  ASSERT_TRUE(stack.ForEach([&](double p) { points.push_back(p); }).ok());
  ASSERT_EQ(points.size(), 40u);
  for (int i = 0; i < 40; ++i) EXPECT_EQ(points[static_cast<size_t>(i)], i);
  stack.Release();
  EXPECT_EQ(OpenUnlinkedFilesIn(folder.path()), 0);
}

TEST(RainflowResidueSpillTest, ScratchFileThatCannotBeCreatedFailsTheCount) {
  testing::TempDir folder;
  RainflowCounter counter(SpillSetup(8, folder.path() / "missing"));
  const std::vector<double> samples = GrowingSwings(100);
  const Status fed = counter.Feed(samples);
  ASSERT_FALSE(fed.ok());
  EXPECT_EQ(fed.error().message, kMsgFileWrite);
  EXPECT_FALSE(counter.Feed(samples).ok());  // the failure sticks
  auto finished = counter.Finish();
  ASSERT_FALSE(finished.ok());
  EXPECT_EQ(finished.error().message, kMsgFileWrite);
}

/// Limits the size of files this process writes (as a full disk would), and restores it.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &old_);
    old_handler_ = std::signal(SIGXFSZ, SIG_IGN);  // a write beyond the limit fails with EFBIG
    rlimit limit = old_;
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, old_handler_);
  }

 private:
  rlimit old_{};
  void (*old_handler_)(int) = nullptr;
};

TEST(RainflowResidueSpillTest, FailedSpillWriteFailsTheCountAndRemovesTheFile) {
  testing::TempDir folder;
  RainflowCounter counter(SpillSetup(8, folder.path()));
  Status fed = Ok();
  {
    // Each spill writes 4 points (32 bytes): the third spill passes 64 bytes and fails.
    const FileSizeLimit limit(64);
    fed = counter.Feed(GrowingSwings(100));
  }
  ASSERT_FALSE(fed.ok());
  EXPECT_EQ(fed.error().message, kMsgFileWrite);
  EXPECT_NE(fed.error().detail.find("residue"), std::string::npos) << fed.error().detail;
  EXPECT_FALSE(counter.Finish().ok());
  EXPECT_TRUE(fs::is_empty(folder.path()));
}

}  // namespace
}  // namespace torvwy::core
