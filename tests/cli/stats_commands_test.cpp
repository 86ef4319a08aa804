// torvwy stats and open on .aps: the batch on the command line, its JSON, its file and its exit.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <nlohmann/json.hpp>

#include "support/run_command.h"
#include "support/test_node.h"

namespace torvwy::testing {
namespace {
namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

class StatsCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    // Codes 1 and 2, nodes 1..3; node 2 of code 1 is missing, node 3 of code 2 is truncated.
    for (const char* code : {"1", "2"}) {
      for (int node = 1; node <= 3; ++node) {
        if (std::string(code) == "1" && node == 2) continue;
        std::vector<double> x(2048);
        const double amplitude = 10.0 * node + (code[0] - '0');
        for (size_t i = 0; i < x.size(); ++i) {
          x[i] = amplitude * std::sin(2.0 * M_PI * static_cast<double>(i) / 256.0);
        }
        NodeLayout layout;
        layout.test_name = "abc";
        layout.test_code = code;
        layout.node_name = std::to_string(node);
        const WrittenNode written = WriteNode(data_.path(), x, layout);
        if (std::string(code) == "2" && node == 3) fs::resize_file(written.sts, 100);
      }
    }
    batch_ = "--data " + Quote(data_.path().string()) + " --test abc --codes 1-2 --nodes 1-3";
  }
  CommandOutput Run(const std::string& arguments) {
    return RunTorvwy(arguments, home_.path().string());
  }
  TempDir home_, data_, results_;
  std::string batch_;
};

TEST_F(StatsCommands, IndicesAsJsonSkipMissingAndDamagedWaveforms) {
  const auto out = Run("stats " + batch_ + " --json --threads 3");
  ASSERT_EQ(out.exit_code, 0) << out.err;
  const Json json = Json::parse(out.out);
  EXPECT_EQ(json["analysis"], "stats");
  EXPECT_EQ(json["content"], 0);
  const Json& rows = json["rows"];
  ASSERT_EQ(rows.size(), 4u);
  const char* expected[][2] = {{"1", "1"}, {"1", "3"}, {"2", "1"}, {"2", "2"}};
  for (size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i]["code"], expected[i][0]);
    EXPECT_EQ(rows[i]["node"], expected[i][1]);
  }
  const Json& row = rows[1];  // code 1, node 3: a sine of amplitude 31 over whole periods
  const std::vector<std::string> keys = {"code",        "node", "peak",           "max",
                                         "min",         "mean", "variance",       "std",
                                         "mean_square", "rms",  "max_minus_mean", "min_minus_mean",
                                         "unit"};
  std::vector<std::string> got;
  for (const auto& item : row.items()) got.push_back(item.key());
  EXPECT_EQ(got, keys);
  EXPECT_NEAR(row["peak"].get<double>(), 31.0, 1e-9);
  EXPECT_NEAR(row["rms"].get<double>(), 31.0 / std::sqrt(2.0), 1e-9);
  EXPECT_NEAR(row["mean_square"].get<double>(), 31.0 * 31.0 / 2.0, 1e-9);
  EXPECT_NEAR(row["mean"].get<double>(), 0.0, 1e-9);
  EXPECT_EQ(row["unit"], "MPa");
  EXPECT_EQ(json["rowless_pairs"], 1);
  EXPECT_NE(out.err.find("1 of 5 waveforms gave no row"), std::string::npos) << out.err;
}

TEST_F(StatsCommands, PeakPeakRowsNameTheirWaveformOnce) {
  const auto out = Run("stats " + batch_ + " --peak-peak 2 --json");
  ASSERT_EQ(out.exit_code, 0) << out.err;
  const Json json = Json::parse(out.out);
  EXPECT_EQ(json["content"], 1);
  const Json& rows = json["rows"];
  ASSERT_EQ(rows.size(), 8u);
  EXPECT_EQ(rows[0]["code"], "1");
  EXPECT_EQ(rows[0]["rank"], 1);
  EXPECT_EQ(rows[1]["code"], "");
  EXPECT_EQ(rows[1]["node"], "");
  EXPECT_EQ(rows[1]["rank"], 2);
  EXPECT_NEAR(rows[0]["difference"].get<double>(), 2 * 11.0, 1e-9);
  EXPECT_EQ(rows[2]["node"], "3");
}

TEST_F(StatsCommands, SavedListOpensAgain) {
  for (const char* content : {"", " --peak-peak 3"}) {
    const auto saved = Run("stats " + batch_ + content + " --json --save --result-dir " +
                           Quote(results_.path().string()));
    ASSERT_EQ(saved.exit_code, 0) << saved.err;
    Json json = Json::parse(saved.out);
    const fs::path file = results_.path() / "abc#1_3.aps";
    EXPECT_EQ(json["result_file"], file.string());
    const auto opened = Run("open " + Quote(file.string()) + " --json");
    ASSERT_EQ(opened.exit_code, 0) << opened.err;
    const Json reopened = Json::parse(opened.out);
    ASSERT_EQ(reopened["rows"].size(), json["rows"].size());
    EXPECT_EQ(reopened["content"], json["content"]);
    // The file keeps six significant digits; texts come back as they were.
    for (size_t i = 0; i < json["rows"].size(); ++i) {
      for (const auto& item : json["rows"][i].items()) {
        const Json& back = reopened["rows"][i][item.key()];
        if (item.value().is_string()) {
          EXPECT_EQ(back, item.value()) << item.key();
        } else {
          const double v = item.value().get<double>();
          EXPECT_NEAR(back.get<double>(), v, 1e-5 * std::max(1.0, std::fabs(v))) << item.key();
        }
      }
    }
  }
  const auto table = Run("open " + Quote((results_.path() / "abc#1_3.aps").string()));
  EXPECT_EQ(table.exit_code, 0);
  EXPECT_NE(table.out.find("Peak_Time(s)"), std::string::npos) << table.out;
}

TEST_F(StatsCommands, RefusedBatches) {
  // No pair gave a row: a non-zero exit, and no file.
  auto out = Run("stats --data " + Quote(data_.path().string()) +
                 " --test abc --codes 2 --nodes 3 --save --json");
  EXPECT_EQ(out.exit_code, 1);
  EXPECT_NE(out.err.find("no waveform gave a row"), std::string::npos) << out.err;
  EXPECT_NE(out.err.find("torvwy: abc2#3: "), std::string::npos) << "says why: " << out.err;
  EXPECT_FALSE(fs::exists(data_.path() / "abc2#3.aps"));
  // No waveform at all, a malformed range, N out of range: one line, exit 1.
  // An option given with an empty value is refused, not taken as left out.
  for (const char* bad :
       {" --codes 7 --nodes 1", " --codes 1-A --nodes 1", " --codes 1 --nodes 9-3",
        " --codes 1 --nodes 1 --peak-peak 201", " --codes 1 --nodes 1 --save --result-dir ''",
        " --codes 1 --nodes 1 --readout ''", " --codes 1 --nodes 1 --lang ''"}) {
    out = Run("stats --data " + Quote(data_.path().string()) + " --test abc" + bad);
    EXPECT_EQ(out.exit_code, 1) << bad;
    EXPECT_EQ(std::count(out.err.begin(), out.err.end(), '\n'), 1) << out.err;
  }
  // The help documents the range grammar.
  out = Run("stats --help");
  EXPECT_NE(out.out.find("1,3,5-9,A1-A7,B5"), std::string::npos);
  EXPECT_NE(out.out.find("backwards"), std::string::npos);
  // A damaged list file is refused.
  const fs::path damaged = results_.path() / "x#1.aps";
  std::ofstream(damaged) << "0   13   5\nA  B\n";
  out = Run("open " + Quote(damaged.string()));
  EXPECT_EQ(out.exit_code, 1);
}

}  // namespace
}  // namespace torvwy::testing
