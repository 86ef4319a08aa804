// --save and open: result files written by the analyses and shown again, in every layout.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <nlohmann/json.hpp>

#include "support/run_command.h"
#include "support/test_node.h"

namespace torvwy::testing {
namespace {
namespace fs = std::filesystem;

const fs::path kTestData = TORVWY_TEST_DATA;

class ResultCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    std::vector<double> x(3072);
    for (size_t i = 0; i < x.size(); ++i) x[i] = static_cast<double>((i * 7919) % 23) - 11.0;
    NodeLayout layout;
    layout.test_name = "abc";
    layout.test_code = "12";
    layout.node_name = "5";
    WriteNode(data_.path(), x, layout);
    node_ = "--data " + Quote(data_.path().string()) + " --test abc --code 12 --node 5";
  }
  CommandOutput Run(const std::string& arguments) {
    return RunTorvwy(arguments, home_.path().string());
  }
  TempDir home_, data_, results_;
  std::string node_;
};

TEST_F(ResultCommands, SavedResultsOpenAsTheyWereCounted) {
  struct Case {
    const char* analysis;
    const char* extension;
  };
  for (const Case& c : {Case{"peak", ".PCM"}, Case{"range", ".DCM"}, Case{"rainflow", ".RFL"}}) {
    const auto counted =
        Run(std::string(c.analysis) + " " + node_ + " --partitions 7 --save --json --result-dir " +
            Quote(results_.path().string()));
    ASSERT_EQ(counted.exit_code, 0) << counted.err;
    auto json = nlohmann::ordered_json::parse(counted.out);
    const fs::path file = results_.path() / (std::string("abc12#5") + c.extension);
    EXPECT_EQ(json["result_file"], file.string());
    ASSERT_TRUE(fs::exists(file)) << c.analysis;

    const auto opened = Run("open " + Quote(file.string()) + " --json");
    ASSERT_EQ(opened.exit_code, 0) << opened.err;
    auto reopened = nlohmann::ordered_json::parse(opened.out);
    EXPECT_EQ(reopened["old_format"], false);
    reopened.erase("old_format");
    json.erase("result_file");
    EXPECT_EQ(reopened, json) << c.analysis;
  }
  // Nothing else lands in the result folder.
  EXPECT_EQ(std::distance(fs::directory_iterator(results_.path()), {}), 3);
  // Without --result-dir the data folder is used; the text output names the file.
  const auto text = Run("peak " + node_ + " --save");
  EXPECT_NE(text.out.find((data_.path() / "abc12#5.PCM").string()), std::string::npos);
}

TEST_F(ResultCommands, OpensOlderLayoutsAndRefusesDamagedFiles) {
  for (const char* name : {"peak_older_v4.PCM", "range_older_kind4.DCM", "rainflow_legacy.RFL"}) {
    const auto opened = Run("open " + Quote((kTestData / name).string()) + " --json");
    ASSERT_EQ(opened.exit_code, 0) << name << opened.err;
    EXPECT_EQ(nlohmann::json::parse(opened.out)["old_format"], true) << name;
  }
  // A current file keeps its kind whatever its name says.
  fs::copy_file(kTestData / "range_current.DCM", results_.path() / "renamed.PCM");
  const auto renamed = Run("open " + Quote((results_.path() / "renamed.PCM").string()) + " --json");
  ASSERT_EQ(renamed.exit_code, 0) << renamed.err;
  EXPECT_EQ(nlohmann::json::parse(renamed.out)["analysis"], "range");

  std::ifstream in(kTestData / "peak_current.PCM", std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), {});
  std::ofstream(results_.path() / "cut.PCM", std::ios::binary) << bytes.substr(0, bytes.size() / 2);
  std::ofstream(results_.path() / "notes.txt") << "not a result file";
  for (const char* name : {"cut.PCM", "notes.txt", "missing.RFL"}) {
    const auto result = Run("open " + Quote((results_.path() / name).string()));
    EXPECT_NE(result.exit_code, 0) << name;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << name << result.err;
    EXPECT_TRUE(result.out.empty()) << name;
  }
  const auto note = Run("open " + Quote((kTestData / "peak_current.PCM").string()) + " --save");
  EXPECT_EQ(note.exit_code, 0);
  EXPECT_NE(note.err.find("not saved"), std::string::npos);
}

TEST_F(ResultCommands, RefusesImpossibleCountsAndFilesCutAtASection) {
  auto read = [](const char* name) {
    std::ifstream in(kTestData / name, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
  };
  // A flipped top byte makes a count negative; the table used to draw it as a bar of 2^64 - k.
  std::string peak = read("peak_current.PCM");
  peak[1202 + 3] = static_cast<char>(0xFF);
  std::string rainflow = read("rainflow_current.RFL");
  rainflow[1202 + 7] = static_cast<char>(0xC0);  // 3.5 becomes -3.5
  std::string range = read("range_current.DCM");
  range.resize(1258);  // cut just before the waveform section
  const std::pair<const char*, std::string> files[] = {
      {"negative.PCM", peak}, {"negative.RFL", rainflow}, {"cut.DCM", range}};
  for (const auto& [name, bytes] : files) {
    const fs::path path = results_.path() / name;
    std::ofstream(path, std::ios::binary) << bytes;
    for (const char* flags : {"", " --json"}) {
      const auto result = Run("open " + Quote(path.string()) + flags);
      EXPECT_EQ(result.exit_code, 1) << name << flags;
      EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << name << result.err;
      EXPECT_NE(result.err.find("damaged"), std::string::npos) << name << result.err;
      EXPECT_TRUE(result.out.empty()) << name;
    }
  }
}

// A FIFO nobody writes to, or a link to an endless device, in place of a file the command reads:
// each one used to block the command or fill the memory. Each is refused at once, in one line.
TEST_F(ResultCommands, RefusesSpecialFilesInPlaceOfItsFilesAtOnce) {
  const fs::path fifo_result = results_.path() / "fifo.PCM";
  const fs::path fifo_list = results_.path() / "fifo.aps";
  ASSERT_EQ(::mkfifo(fifo_result.c_str(), 0600), 0);
  ASSERT_EQ(::mkfifo(fifo_list.c_str(), 0600), 0);
  // The same node with its waveform a FIFO, and with its parameter file a link to /dev/zero.
  TempDir fifo_wave, zero_tsp;
  const WrittenNode written = WriteNode(fifo_wave.path(), std::vector<double>(512, 1.0));
  fs::copy_file(written.tsp, zero_tsp.path() / written.tsp.filename());
  fs::create_symlink(written.sts, zero_tsp.path() / written.sts.filename());
  fs::remove(written.sts);
  ASSERT_EQ(::mkfifo(written.sts.c_str(), 0600), 0);
  fs::remove(zero_tsp.path() / written.tsp.filename());
  fs::create_symlink("/dev/zero", zero_tsp.path() / written.tsp.filename());
  auto node = [](const TempDir& dir) {
    return "--data " + Quote(dir.path().string()) + " --test abc --code 12 --node 5";
  };
  const std::string commands[] = {
      "open " + Quote(fifo_result.string()),
      "open " + Quote(fifo_list.string()),
      "peak " + node(fifo_wave),
      "rainflow " + node(zero_tsp),
      "stats --data " + Quote(zero_tsp.path().string()) + " --test abc --codes 12 --nodes 5",
  };
  for (const std::string& command : commands) {
    const auto started = std::chrono::steady_clock::now();
    const auto result = Run(command);
    // A command that opened the FIFO or read the device would never end: the outer deadline
    // only tells such a hang from a slow machine.
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(60)) << command;
    EXPECT_NE(result.exit_code, 0) << command;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << command << result.err;
  }
}

}  // namespace
}  // namespace torvwy::testing
