// The crossings, range-pairs and time-at-level commands: their JSON contract, the JSON result
// file they save and open, the CSV tables and the refusals.
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "support/run_command.h"
#include "support/test_node.h"

namespace torvwy::testing {
namespace {
namespace fs = std::filesystem;

class LevelCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    // Two blocks of a triangle 0, 1, .., 4, 3, .., -4, .. (EU = raw / 2: -2 .. 2) at 64 Hz.
    std::vector<double> x(2048);
    for (size_t i = 0; i < x.size(); ++i) {
      const int phase = static_cast<int>(i % 16);
      x[i] = phase <= 4 ? phase : phase <= 12 ? 8 - phase : phase - 16;
    }
    NodeLayout layout;
    layout.test_name = "t";
    layout.test_code = "1";
    layout.node_name = "n";
    layout.c1 = 2.0;
    layout.frequency_hz = 64.0;
    WriteNode(data_.path(), x, layout);
    node_ = "--data " + Quote(data_.path().string()) + " --test t --code 1 --node n";
  }
  CommandOutput Run(const std::string& arguments) {
    return RunTorvwy(arguments, home_.path().string());
  }
  nlohmann::ordered_json Json(const std::string& arguments) {
    const auto result = Run(arguments);
    EXPECT_EQ(result.exit_code, 0) << result.err;
    return nlohmann::ordered_json::parse(result.out);
  }
  TempDir home_;
  TempDir data_;
  std::string node_;
};

std::vector<std::string> Keys(const nlohmann::ordered_json& json) {
  std::vector<std::string> keys;
  for (auto it = json.begin(); it != json.end(); ++it) keys.push_back(it.key());
  return keys;
}

std::string FileText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST_F(LevelCommands, CrossingsFollowTheContract) {
  // Levels -2, -1, 0, 1, 2 (N = 4, A = 2) over 128 periods of -2 .. 2 that start at 0 rising and
  // end at -0.5 rising. A sample on a level is above it: -2 is never crossed; 0 starts above, so
  // it is crossed down 128 times and up 127; -1 is crossed up once more at the end, 128 times.
  const auto json = Json("crossings " + node_ + " --partitions 4 --amplitude 2 --json");
  EXPECT_EQ(Keys(json), (std::vector<std::string>{"analysis", "N", "A", "first_block", "last_block",
                                                  "envelope_max", "envelope_min", "levels", "up",
                                                  "down", "counts", "reference", "gate",
                                                  "direction", "envelope", "cancelled"}));
  EXPECT_EQ(json["analysis"], "crossings");
  EXPECT_EQ(json["levels"].dump(), "[-2.0,-1.0,0.0,1.0,2.0]");
  EXPECT_EQ(json["up"].dump(), "[0,128,127,128,128]");
  EXPECT_EQ(json["down"].dump(), "[0,128,128,128,128]");
  // The standard's counts: downward below the reference 0, upward at and above it.
  EXPECT_EQ(json["counts"].dump(), "[0,128,127,128,128]");
  EXPECT_EQ(json["gate"], 0.0);
  EXPECT_EQ(json["direction"], "astm");
  // A gate of 3.5 EU: level 1.5 turns below only under -2, which the load never goes: it is
  // crossed up once; level 2 turns below under -1.5, every period.
  const auto gated =
      Json("crossings " + node_ + " --level-list 1.5,2 --gate 3.5 --direction both --json");
  EXPECT_EQ(gated["up"].dump(), "[1,128]");
  EXPECT_EQ(gated["down"].dump(), "[0,128]");
  EXPECT_EQ(gated["counts"].dump(), "[1,256]");
  EXPECT_EQ(gated["N"], 0);
}

TEST_F(LevelCommands, TimeAtLevelFollowsTheContractAndWritesItsTable) {
  const fs::path csv = data_.path() / "time.csv";
  const auto json = Json("time-at-level " + node_ + " --partitions 4 --amplitude 2 --json --csv " +
                         Quote(csv.string()));
  EXPECT_EQ(Keys(json), (std::vector<std::string>{
                            "analysis", "N", "A", "W2", "first_block", "last_block", "envelope_max",
                            "envelope_min", "samples", "seconds", "fraction", "exceedance",
                            "samples_outside", "seconds_outside", "envelope", "cancelled"}));
  // Per period of 16 samples the values -2 -1.5 .. 2: (-2, -1] holds -2 (closed below), -1.5,
  // -1 twice each but -2 once: 5; (-1, 0]: -0.5 x2, 0 x2: 4; (0, 1]: 4; (1, 2]: 1.5 x2, 2: 3.
  EXPECT_EQ(json["samples"].dump(), "[640,512,512,384]");
  EXPECT_EQ(json["seconds"].dump(), "[10.0,8.0,8.0,6.0]");
  EXPECT_EQ(json["exceedance"].dump(), "[1.0,0.6875,0.4375,0.1875]");
  EXPECT_EQ(FileText(csv),
            "lower,upper,samples,seconds,fraction,exceedance\n"
            "-2,-1,640,10,0.3125,1\n-1,0,512,8,0.25,0.6875\n0,1,512,8,0.25,0.4375\n"
            "1,2,384,6,0.1875,0.1875\n");
}

TEST_F(LevelCommands, EachResultIsSavedAsJsonAndOpensAsItWasShown) {
  for (const std::string command : {"crossings", "range-pairs", "time-at-level"}) {
    const auto counted =
        Run(command + " " + node_ + " --partitions 6 --amplitude 3 --save --threads 3 --json");
    ASSERT_EQ(counted.exit_code, 0) << counted.err;
    const fs::path saved = data_.path() / ("t1#n." + command + ".json");
    ASSERT_TRUE(fs::exists(saved)) << command;
    const auto file = nlohmann::ordered_json::parse(FileText(saved));
    EXPECT_EQ(file["format"], "torvwy-result");
    EXPECT_EQ(file["version"], 1);
    EXPECT_EQ(file["analysis"], command);
    auto shown = nlohmann::ordered_json::parse(counted.out);
    shown.erase("result_file");
    EXPECT_TRUE(file["result"] == shown) << command;
    auto opened = Json("open " + Quote(saved.string()) + " --json");
    opened.erase("old_format");
    EXPECT_TRUE(opened == shown) << command;
  }
}

TEST_F(LevelCommands, BadOptionsAreRefusedInOneLineAndNothingIsWritten) {
  const fs::path csv = data_.path() / "never.csv";
  for (const std::string options :
       {"--gate -1", "--gate nan", "--level-list 2,1", "--level-list 1,x", "--direction sideways",
        "--level-list 1,2 --partitions 4", "--level-list 1,2 --reference 5"}) {
    const auto refused =
        Run("crossings " + node_ + " " + options + " --csv " + Quote(csv.string()));
    EXPECT_EQ(refused.exit_code, 1) << options;
    EXPECT_EQ(std::count(refused.err.begin(), refused.err.end(), '\n'), 1) << refused.err;
    EXPECT_FALSE(fs::exists(csv)) << options;
  }
}

}  // namespace
}  // namespace torvwy::testing
