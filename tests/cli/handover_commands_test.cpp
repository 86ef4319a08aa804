// --report, --export, --readout, --list-export and --no-launch on the command line: the hand-over
// files in the work folder, and the companion started from the host folder.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "support/run_command.h"
#include "support/test_node.h"

namespace torvwy::testing {
namespace {
namespace fs = std::filesystem;

class HandOverCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    std::vector<double> x(4096);
    for (size_t i = 0; i < x.size(); ++i) {
      x[i] = 40.0 * std::sin(static_cast<double>(i) / 9.0) + 7.0 * std::sin(i / 2.3);
    }
    NodeLayout layout;
    layout.test_name = "abc";
    layout.test_code = "1";
    layout.node_name = "2";
    WriteNode(data_.path(), x, layout);
    node_ = "--data " + Quote(data_.path().string()) + " --test abc --code 1 --node 2";
    work_ = home_.path() / "work";
  }
  CommandOutput Run(const std::string& arguments) {
    return RunTorvwy(arguments, home_.path().string());
  }
  TempDir home_, data_;
  std::string node_;
  fs::path work_;
};

TEST_F(HandOverCommands, CountingReportExportAndListWithoutLaunching) {
  // Each analysis with the heading its report carries.
  const std::pair<const char*, const char*> analyses[] = {
      {"peak", " - TORV Peak Counting"},
      {"range", " - TORV Varied-Distance Counting"},
      {"rainflow", " - TORV Rainflow Counting"},
      {"crossings", " - TORV Level Crossing Counting"},
      {"range-pairs", " - TORV Range-Pair Counting"},
      {"time-at-level", " - TORV Time at Level"}};
  for (const auto& [analysis, heading] : analyses) {
    fs::remove_all(work_);
    const auto out = Run(std::string(analysis) + " " + node_ +
                         " --partitions 12 --readout 3,5,12 --report --export --list-export " +
                         Quote((data_.path() / "list.xlsx").string()) + " --no-launch");
    ASSERT_EQ(out.exit_code, 0) << analysis << ": " << out.err;
    const std::string report = ReadFileBytes(work_ / "TorvRpt.txt");
    EXPECT_EQ(report.rfind("[TORV-REPORT-FORMAT-FILE]\r\n", 0), 0u) << analysis;
    EXPECT_NE(report.find(heading), std::string::npos) << report;
    EXPECT_NE(report.find("[BMPFILE]\r\n160,100,"), std::string::npos) << analysis;
    EXPECT_NE(report.find("[LISTDATA]"), std::string::npos) << analysis;
    EXPECT_EQ(ReadFileBytes(work_ / "TorvBmp.bmp").substr(0, 2), "BM");
    // The readout list holds the three partitions; listname.txt names the workbook.
    const std::string list = ReadFileBytes(work_ / "TorvLst001.txt");
    EXPECT_NE(list.find("\r\n3  "), std::string::npos) << list;
    EXPECT_EQ(ReadFileBytes(work_ / "listname.txt"), (data_.path() / "list.xlsx").string());
    // Counting exports are version 1.0.
    const std::string exported = ReadFileBytes(work_ / "TorvEpt.Dat");
    ASSERT_GT(exported.size(), 38u);
    EXPECT_EQ(exported.substr(0, 25), "[TORV-EXPORT-FORMAT-FILE]");
    double version = 0;
    std::memcpy(&version, exported.data() + 30, 8);
    EXPECT_EQ(version, 1.0) << analysis;
  }
}

TEST_F(HandOverCommands, RefusedChoicesTouchNothing) {
  const std::string picture = Quote((data_.path() / "p.png").string());
  const std::string same = " --picture " + picture + " --list-export " + picture + " --report";
  for (const std::string& bad :
       {std::string(" --readout 13 --report"), std::string(" --readout 0 --report"),
        std::string(" --readout x --export"), std::string(" --one-way"),
        std::string(" --lang fr --report"), std::string(" --readout '' --report"),
        std::string(" --list-export '' --report"), same}) {
    const auto out = Run("range " + node_ + " --partitions 12" + bad + " --no-launch");
    EXPECT_EQ(out.exit_code, 1) << bad;
    EXPECT_EQ(std::count(out.err.begin(), out.err.end(), '\n'), 1) << bad << ": " << out.err;
  }
  // A result opened from its file: the picture and the workbook may not be one file either.
  ASSERT_EQ(Run("range " + node_ + " --save").exit_code, 0);
  const auto out =
      Run("open " + Quote((data_.path() / "abc1#2.DCM").string()) + same + " --no-launch");
  EXPECT_EQ(out.exit_code, 1);
  EXPECT_NE(
      out.err.find("--picture \"" + (data_.path() / "p.png").string() + "\" and --list-export"),
      std::string::npos)
      << out.err;
  EXPECT_FALSE(fs::exists(data_.path() / "p.png"));
  EXPECT_FALSE(fs::exists(work_ / "TorvRpt.txt"));
  EXPECT_FALSE(fs::exists(work_ / "TorvEpt.Dat"));
}

TEST_F(HandOverCommands, StatisticsExportStartsTheCompanionOfTheHostFolder) {
  // A stand-in TorvEpt in the host folder records its working folder; it is found first.
  const fs::path record = home_.path() / "record.txt";
  const fs::path fake = home_.path() / "TorvEpt";
  std::ofstream(fake) << "#!/bin/sh\npwd > " << record.string() << ".part && mv " << record.string()
                      << ".part " << record.string() << "\n";
  fs::permissions(fake, fs::perms::owner_all);
  const auto out = Run("stats --data " + Quote(data_.path().string()) +
                       " --test abc --codes 1 --nodes 1-3 --export --report --no-launch");
  ASSERT_EQ(out.exit_code, 0) << out.err;
  // The statistics export holds texts: version 2.0.
  const std::string exported = ReadFileBytes(work_ / "TorvEpt.Dat");
  ASSERT_GT(exported.size(), 38u);
  double version = 0;
  std::memcpy(&version, exported.data() + 30, 8);
  EXPECT_EQ(version, 2.0);
  EXPECT_TRUE(fs::exists(work_ / "TorvRpt.txt"));
  EXPECT_FALSE(fs::exists(record));  // --no-launch started nothing
  // The counting commands' display choices are accepted; a readout list is not.
  const std::string batch =
      "stats --data " + Quote(data_.path().string()) + " --test abc --codes 1 --nodes 2";
  EXPECT_EQ(Run(batch + " --export --one-way --separate --no-launch").exit_code, 0);
  EXPECT_EQ(Run(batch + " --export --readout 1 --no-launch").exit_code, 1);

  const auto launched = Run("stats --data " + Quote(data_.path().string()) +
                            " --test abc --codes 1 --nodes 2 --export");
  ASSERT_EQ(launched.exit_code, 0) << launched.err;
  EXPECT_NE(launched.out.find("started TorvEpt"), std::string::npos) << launched.out;
  for (int i = 0; i < 200 && !fs::exists(record); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(ReadFileBytes(record), fs::canonical(home_.path()).string() + "\n");
}

}  // namespace
}  // namespace torvwy::testing
