// The peak, range and rainflow commands: their JSON contract, options and refusals.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <nlohmann/json.hpp>
#include <utility>

#include "support/run_command.h"
#include "support/test_node.h"

namespace torvwy::testing {
namespace {
namespace fs = std::filesystem;

class CountingCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    // Two blocks: a triangle 0, 1, .., 4, 3, .., -4, .. repeated; peaks at 4, valleys at -4.
    std::vector<double> x(2048);
    for (size_t i = 0; i < x.size(); ++i) {
      const int phase = static_cast<int>(i % 16);
      x[i] = phase <= 4 ? phase : phase <= 12 ? 8 - phase : phase - 16;
    }
    NodeLayout layout;
    layout.test_name = "t";
    layout.test_code = "1";
    layout.node_name = "n";
    layout.c1 = 2.0;  // EU = raw / 2: peaks at 2, valleys at -2
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

TEST_F(CountingCommands, ThreadsChangeNothingButTheSpeed) {
  for (const char* command : {"peak", "range", "rainflow"}) {
    const std::string base = std::string(command) + " " + node_ + " --partitions 8 --json";
    const auto one = Run(base + " --threads 1");
    ASSERT_EQ(one.exit_code, 0) << one.err;
    for (const char* threads : {"", " --threads 0", " --threads 2", " --threads 5"}) {
      const auto many = Run(base + threads);
      EXPECT_EQ(many.exit_code, 0) << many.err;
      EXPECT_EQ(many.out, one.out) << command << threads;
    }
    const auto refused = Run(base + " --threads -1");
    EXPECT_NE(refused.exit_code, 0) << command;
  }
}

TEST_F(CountingCommands, PeakJsonFollowsTheContract) {
  const auto json = Json("peak " + node_ + " --amplitude 4 --partitions 4 --json");
  EXPECT_EQ(Keys(json), (std::vector<std::string>{"analysis", "N", "A", "W2", "W1", "first_block",
                                                  "last_block", "envelope_max", "envelope_min",
                                                  "largest_separate", "largest_total", "two_way",
                                                  "one_way", "envelope", "cancelled"}));
  EXPECT_EQ(json["analysis"], "peak");
  EXPECT_EQ(json["A"], 4.0);
  EXPECT_EQ(json["W2"], 2.0);
  EXPECT_EQ(json["first_block"], 1);
  EXPECT_EQ(json["last_block"], 2);
  EXPECT_EQ(json["envelope_max"], 2.0);
  EXPECT_EQ(json["envelope"].size(), 1024u);
  // 2048 samples, a period of 16: 128 peaks of 2 EU (partition (0, 2]) and 128 valleys of -2
  // (partition (-4, -2]); the very first sample is never tested.
  EXPECT_EQ(json["two_way"]["peak"], (std::vector<int>{0, 0, 128, 0}));
  EXPECT_EQ(json["two_way"]["valley"], (std::vector<int>{128, 0, 0, 0}));
  EXPECT_EQ(json["one_way"]["total"], (std::vector<int>{0, 256, 0, 0}));
  EXPECT_EQ(json["largest_total"], 256);
  EXPECT_FALSE(json["cancelled"]);
}

TEST_F(CountingCommands, RangeJsonFollowsTheContract) {
  const auto json = Json("range " + node_ + " --blocks 2-1 --partitions 2 --amplitude full --json");
  EXPECT_EQ(Keys(json),
            (std::vector<std::string>{"analysis", "N", "A", "W2", "W1", "first_block", "last_block",
                                      "envelope_max", "envelope_min", "largest", "two_way",
                                      "one_way", "envelope", "cancelled"}));
  EXPECT_EQ(json["A"], 10000.0);      // (F + F) / c2 / c1 for float64 data
  EXPECT_EQ(json["first_block"], 1);  // swapped
  EXPECT_EQ(json["last_block"], 2);
  EXPECT_EQ(json["two_way"].size(), 2u);
}

TEST_F(CountingCommands, BlocksAreClampedToTheRecord) {
  const auto json = Json("peak " + node_ + " --blocks 0-500 --json");
  EXPECT_EQ(json["first_block"], 1);
  EXPECT_EQ(json["last_block"], 2);
  EXPECT_EQ(json["N"], 25);
  const auto text = Run("peak " + node_ + " --partitions 3");
  EXPECT_EQ(text.exit_code, 0);
  EXPECT_NE(text.out.find("two-way counting"), std::string::npos);
}

TEST_F(CountingCommands, BadInputGivesOneLineAndANonZeroExit) {
  // A data file shorter than its record, and an unknown format.
  std::ofstream(data_.path() / "t1#short.tsp")
      << "[Sampling]\nFrequency=10\nC1=1\nC2=1\nFormat=951\nLength=8\n";
  std::ofstream(data_.path() / "t1#short.sts") << "abcd";
  std::ofstream(data_.path() / "t1#odd.tsp")
      << "[Sampling]\nFrequency=10\nC1=1\nC2=1\nFormat=4711\nLength=2\n";
  // A constant record: 1024 int16 zeros.
  std::ofstream(data_.path() / "t1#flat.tsp")
      << "[Sampling]\nFrequency=10\nC1=1\nC2=1\nFormat=951\nLength=2\n";
  std::ofstream(data_.path() / "t1#flat.sts") << std::string(2048, '\0');
  // The largest doubles, as a recording of +-DBL_MAX imports them: the largest peak is finite,
  // twice it is not.
  std::vector<double> huge(1024);
  for (size_t i = 0; i < huge.size(); ++i) {
    huge[i] = (i % 2 == 0 ? 1.0 : -1.0) * std::numeric_limits<double>::max();
  }
  NodeLayout layout;
  layout.test_name = "t";
  layout.test_code = "1";
  layout.node_name = "huge";
  WriteNode(data_.path(), huge, layout);
  const std::string data = "--data " + Quote(data_.path().string()) + " --test t --code 1";
  struct Case {
    std::string arguments;
    std::string fragment;
  };
  for (const Case& c : std::vector<Case>{
           {"peak " + data + " --node missing", "t1#missing.tsp"},
           {"range " + data + " --node short", "4 bytes"},
           {"peak " + data + " --node odd", "4711"},
           {"peak " + node_ + " --partitions 0", "--partitions"},
           {"range " + node_ + " --partitions abc", "--partitions"},
           {"peak " + node_ + " --blocks 3", "--blocks"},
           {"peak " + node_ + " --blocks 1-x", "--blocks"},
           {"range " + node_ + " --amplitude big", "--amplitude"},
           {"range " + node_ + " --amplitude nan", "--amplitude"},
           {"peak " + node_ + " --amplitude 0", "--amplitude = 0 is not a finite number above 0"},
           {"rainflow " + node_ + " --amplitude -1", "--amplitude = -1 is not a finite number"},
           {"range " + node_ + " --amplitude 1e308", "--amplitude = 1e+308 makes the partition"},
           {"peak " + node_ + " --amplitude 4.9e-324",
            "--amplitude = 5e-324 makes the partition width too small: A / 25 is below "
            "2.2250738585072014e-308"},
           {"range " + node_ + " --amplitude 1e-306 --partitions 2000",
            "--amplitude = 1e-306 makes the partition width too small: A / 2000"},
           {"peak " + data + " --node huge --save",
            "t1#huge.sts: the automatic amplitude range = 1.7976931348623157e+308 makes the "
            "partition width infinite"},
           {"range " + data + " --node huge", "the automatic amplitude range = inf is not"},
           {"rainflow " + data + " --node huge --amplitude 4.9e-324 --partitions 1",
            "A / 1 is below"},
           {"peak " + node_ + " --blocks ''", "--blocks: the value is empty"},
           {"peak " + node_ + " --save --result-dir ''", "--result-dir: the value is empty"},
           {"rainflow " + data + " --node flat", "t1#flat.sts: the record is constant at 0 EU"},
           {"range " + data + " --node flat --amplitude auto", "the record is constant"},
           {"peak --data /nowhere --test t --code 1 --node n", "/nowhere"},
       }) {
    const auto result = Run(c.arguments);
    EXPECT_NE(result.exit_code, 0) << c.arguments;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1)
        << c.arguments << ": " << result.err;
    EXPECT_NE(result.err.find(c.fragment), std::string::npos) << c.arguments << ": " << result.err;
    EXPECT_TRUE(result.out.empty()) << c.arguments;
  }
  // Nothing refused was saved.
  for (const char* name : {"t1#huge.PCM", "t1#n.PCM", "t1#n.DCM", "t1#huge.RFL"}) {
    EXPECT_FALSE(fs::exists(data_.path() / name)) << name;
  }
}

TEST_F(CountingCommands, PartitionsAbove2000AreCountedWith2000AndNoted) {
  const std::string out = data_.path().string();
  for (const char* command : {"peak", "range", "rainflow"}) {
    const auto result =
        Run(std::string(command) + " " + node_ +
            " --partitions 2500 --amplitude 4 --json --save --result-dir " + Quote(out));
    ASSERT_EQ(result.exit_code, 0) << command << ": " << result.err;
    EXPECT_EQ(result.err,
              "torvwy: note: --partitions 2500 is above 2000; counted with 2000 partitions\n")
        << command;
    const auto json = nlohmann::ordered_json::parse(result.out);
    EXPECT_EQ(json["N"], 2000) << command;
  }
  // 2000 itself is no note.
  const auto at_most = Run("peak " + node_ + " --partitions 2000 --json");
  EXPECT_EQ(at_most.exit_code, 0);
  EXPECT_TRUE(at_most.err.empty()) << at_most.err;
}

TEST_F(CountingCommands, RainflowCountsTheAstmExampleAndEstimatesTheLife) {
  // ASTM E1049 history, ten times as raw float32 values with c1 = 10, so that t = 1 EU.
  std::vector<double> x;
  for (double v : {-2, 1, -3, 5, -1, 3, -4, 4, -2}) x.push_back(10.0 * v);
  x.resize(1024, -20.0);
  NodeLayout layout;
  layout.test_name = "astm";
  layout.test_code = "1";
  layout.node_name = "1";
  layout.format = 885;
  layout.c1 = 10.0;
  WriteNode(data_.path(), x, layout);
  const std::string node =
      "--data " + Quote(data_.path().string()) + " --test astm --code 1 --node 1";
  auto json = Json("rainflow " + node + " --amplitude 10 --partitions 10 --json");
  EXPECT_EQ(Keys(json), (std::vector<std::string>{"analysis", "N", "A", "w", "first_block",
                                                  "last_block", "envelope_max", "envelope_min",
                                                  "largest", "counts", "envelope", "cancelled"}));
  EXPECT_EQ(json["counts"], (std::vector<double>{0, 0, 0.5, 1.5, 0, 0.5, 0, 1.0, 0.5, 0}));
  EXPECT_EQ(json["largest"], 1);

  json = Json("rainflow " + node +
              " --amplitude 10 --partitions 10 --fatigue actual --class S --reliability 0 --json");
  const auto& fatigue = json["fatigue"];
  EXPECT_EQ(Keys(fatigue), (std::vector<std::string>{"method", "class", "d", "total_cycles",
                                                     "total_damage", "P", "L", "D"}));
  EXPECT_EQ(fatigue["class"], "S");
  EXPECT_EQ(fatigue["d"], 0.0);
  EXPECT_EQ(fatigue["total_cycles"], 4.0);
  // Partition 3 (centre 3.5): L = 10^(23.3284 - 8 log10 3.5), D = 1.5 / L.
  const double life = std::pow(10.0, 23.3284 - 8.0 * std::log10(3.5));
  EXPECT_NEAR(fatigue["L"][3].get<double>() / life, 1.0, 1e-12);
  EXPECT_NEAR(fatigue["D"][3].get<double>() * life, 1.5, 1e-12);
  EXPECT_TRUE(fs::exists(home_.path() / "work" / "listdata.txt"));

  json = Json("rainflow " + node + " --amplitude 10 --partitions 10 --fatigue fitting --json");
  for (const char* key : {"x0", "lambda", "b"}) EXPECT_TRUE(json["fatigue"].contains(key)) << key;
  EXPECT_EQ(json["fatigue"]["class"], "B");  // the default class
  EXPECT_EQ(json["fatigue"]["d"], 2.0);      // and factor

  // The class and factor texts are the core's, which the fleet's options share.
  for (const auto& [bad, text] :
       {std::pair{"--fatigue actual --class Z", "--class \"Z\" is not one of B C D E F F2 G W S T"},
        std::pair{"--fatigue actual --reliability 4",
                  "--reliability \"4\" is not one of 0 0.5 1 2 3"},
        std::pair{"--fatigue sometimes", "neither actual nor fitting"},
        std::pair{"--class B", "need --fatigue"}}) {
    const auto result = Run("rainflow " + node + " " + bad);
    EXPECT_NE(result.exit_code, 0) << bad;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << bad << result.err;
    EXPECT_NE(result.err.find(text), std::string::npos) << bad << result.err;
  }
}

// One Ctrl-C while the envelope of a long record is read ends the run at its next poll, with the
// exit code of a cancel and one line that says nothing was counted. The record is sparse: 4 Gi
// samples of zeros, 8 GiB that take no disk and seconds to read; Ctrl-C comes once the command
// reads it.
TEST_F(CountingCommands, OneCtrlCWhileTheEnvelopeIsReadEndsTheRun) {
  NodeLayout layout;
  layout.test_name = "big";
  layout.test_code = "1";
  layout.node_name = "n";
  layout.format = 951;
  layout.length_half_blocks = 1 << 23;
  const WrittenNode node = WriteNode(data_.path(), {}, layout);
  fs::resize_file(node.sts, (uintmax_t{1} << 32) * 2);
  const fs::path err = home_.path() / "err";
  for (const char* command : {"peak", "range", "rainflow"}) {
    const std::string script =
        "export TORVWY_HOME=" + Quote(home_.path().string()) + " TORVWY_LANG=en; " +
        Quote(TORVWY_BINARY) + " " + command + " --data " + Quote(data_.path().string()) +
        " --test big --code 1 --node n --amplitude auto --json >/dev/null 2>" +
        Quote(err.string()) +
        " </dev/null & pid=$!; "
        // A background job starts with Ctrl-C ignored until the command takes it over, which
        // it does before it reads the waveform: wait for the waveform to be open (a slow start
        // under a sanitizer or a loaded machine would otherwise lose the signal).
        "for i in $(seq 1 400); do ls -l /proc/$pid/fd 2>/dev/null | grep -q 'big1#n.sts' && "
        "break; sleep 0.05; done; sleep 0.2; kill -INT $pid; wait $pid";
    const int status = std::system(("bash -c " + Quote(script)).c_str());
    ASSERT_TRUE(WIFEXITED(status));
    const std::string said = ReadFileBytes(err);
    EXPECT_EQ(WEXITSTATUS(status), 130) << command << ": " << said;
    EXPECT_EQ(said, "torvwy: The calculation was cancelled! Nothing was counted.\n") << command;
  }
}

}  // namespace
}  // namespace torvwy::testing
