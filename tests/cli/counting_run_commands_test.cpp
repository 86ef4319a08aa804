// What the counting commands leave behind: nothing in the user's home for a plain count, no file
// for a refused record.
#include <gtest/gtest.h>

#include "support/run_command.h"
#include "support/test_node.h"

namespace torvwy::testing {
namespace {
namespace fs = std::filesystem;

size_t Entries(const fs::path& folder) {
  size_t n = 0;
  for (auto it = fs::recursive_directory_iterator(folder); it != fs::recursive_directory_iterator();
       ++it) {
    ++n;
  }
  return n;
}

TEST(CountingRunCommands, APlainCountLeavesTheHomeUntouched) {
  TempDir home;
  TempDir temporary;
  TempDir data;
  std::vector<double> x(4096);
  for (size_t i = 0; i < x.size(); ++i) x[i] = static_cast<double>((i * 7919) % 23) - 11.0;
  WriteNode(data.path(), x);
  const std::string env = "-u TORVWY_HOME HOME=" + Quote(home.path().string()) +
                          " TMPDIR=" + Quote(temporary.path().string());
  const std::string node =
      "--data " + Quote(data.path().string()) + " --test abc --code 12 --node 5";
  for (const char* analysis : {"peak", "range", "rainflow"}) {
    for (const char* options : {" --json", "", " --amplitude full --json"}) {
      const auto run = RunTorvwyWithEnvironment(std::string(analysis) + " " + node + options, env);
      ASSERT_EQ(run.exit_code, 0) << analysis << options << ": " << run.err;
      EXPECT_EQ(Entries(home.path()), 0u) << analysis << options;
      EXPECT_EQ(Entries(temporary.path()), 0u) << "no scratch file stays behind";
    }
  }
  // Saving writes beside the data, still nothing at home.
  const auto saved = RunTorvwyWithEnvironment("rainflow " + node + " --save --json", env);
  ASSERT_EQ(saved.exit_code, 0) << saved.err;
  EXPECT_TRUE(fs::exists(data.path() / "abc12#5.RFL"));
  EXPECT_EQ(Entries(home.path()), 0u);
}

TEST(CountingRunCommands, ARecordShorterThanABlockIsRefusedByEveryAnalysis) {
  TempDir home;
  TempDir data;
  WriteNode(data.path(), std::vector<double>(512, 1.0));
  const std::string node =
      "--data " + Quote(data.path().string()) + " --test abc --code 12 --node 5";
  for (const char* analysis : {"peak", "range", "rainflow"}) {
    for (const char* options : {" --json --save", " --blocks 1-1", " --amplitude full"}) {
      const auto run =
          RunTorvwy(std::string(analysis) + " " + node + options, home.path().string());
      EXPECT_EQ(run.exit_code, 1) << analysis << options;
      EXPECT_TRUE(run.out.empty()) << run.out;
      EXPECT_NE(run.err.find("fewer than one block"), std::string::npos) << run.err;
      EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << "one line: " << run.err;
    }
  }
  EXPECT_EQ(Entries(data.path()), 2u) << "no result file was written";
}

}  // namespace
}  // namespace torvwy::testing
