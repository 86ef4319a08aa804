// The rig simulator and --follow: a node recorded in real time beside the follow gives, at the
// end, the offline counts byte for byte; refusals, each bad record and Ctrl-C end it as told.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "core/run/record_follower.h"
#include "core/services/profile.h"
#include "support/run_command.h"
#include "support/test_node.h"

namespace torvwy::testing {
namespace {
namespace fs = std::filesystem;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

/// The object without the keys a follow adds.
std::string WithoutFollowKeys(const std::string& line) {
  auto json = nlohmann::ordered_json::parse(line);
  for (const char* key : {"live", "blocks_counted", "samples_behind", "ended"}) json.erase(key);
  return json.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

struct Follow {
  const char* command;
  const char* options;
};

class FollowCommands : public ::testing::Test {
 protected:
  /// Runs `follows` beside the simulator recording 2 s at 16384 Hz (32 blocks), each looking
  /// every 0.1 s, and checks their updates and that each ends on the offline count.
  void FollowTheSimulator(const std::vector<Follow>& follows);
  /// Runs a shell script in which $T is the torvwy command; returns the exit code of the script
  /// and its stdout and stderr.
  CommandOutput Shell(const std::string& script) {
    const fs::path out = capture_.path() / "out";
    const fs::path err = capture_.path() / "err";
    const std::string command = "export TORVWY_HOME=" + Quote(home_.path().string()) +
                                " TORVWY_LANG=en; T=" + Quote(TORVWY_BINARY) + "; cd " +
                                Quote(data_.path().string()) + "; (" + script + ") </dev/null >" +
                                Quote(out.string()) + " 2>" + Quote(err.string());
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFileBytes(out), ReadFileBytes(err)};
  }
  CommandOutput Run(const std::string& arguments) {
    return RunTorvwy(arguments, home_.path().string());
  }
  std::string Node(const std::string& test = "rig", const std::string& code = "1",
                   const std::string& node = "1") {
    return "--data " + Quote(data_.path().string()) + " --test " + test + " --code " + code +
           " --node " + node;
  }
  /// Marks the .tsp of a written node as still recording.
  static void MarkRunning(const fs::path& tsp) {
    auto ini = core::IniFile::Load(tsp);
    ASSERT_TRUE(ini.ok());
    ini->Set(core::kRecordingSection, core::kRecordingRunningKey, "1");
    ASSERT_TRUE(ini->Save(tsp).ok());
  }
  TempDir home_;
  TempDir data_;
  TempDir capture_;
};

/// A small wave of integer steps, with a flat stretch so that its counts are easy to tell.
std::vector<double> Wave(size_t n) {
  std::vector<double> x(n);
  for (size_t i = 0; i < n; ++i) x[i] = static_cast<double>(static_cast<int>(i * 7 % 23) - 11);
  return x;
}

TEST_F(FollowCommands, TheSimulatorWritesWhatGenWritesAtOnce) {
  // 0.2 s at 20480 Hz is 4 blocks; the same options without --live write the same two nodes.
  const auto live = Shell(
      "$T gen --data live --test r --code 2 --nodes 2 --format 885 "
      "--rate 20480 --live 0.2");
  ASSERT_EQ(live.exit_code, 0) << live.err;
  const auto once = Shell(
      "$T gen --data once --test r --code 2 --nodes 2 --format 885 "
      "--rate 20480 --blocks 4");
  ASSERT_EQ(once.exit_code, 0) << once.err;
  for (const char* file : {"r2#1.sts", "r2#1.tsp", "r2#2.sts", "r2#2.tsp"}) {
    const std::string bytes = ReadFileBytes(data_.path() / "once" / file);
    EXPECT_FALSE(bytes.empty());
    EXPECT_EQ(ReadFileBytes(data_.path() / "live" / file), bytes) << file;
  }
  EXPECT_FALSE(core::RecordMarkedRunning(data_.path() / "live" / "r2#1.tsp"));
  EXPECT_EQ(live.out.substr(0, live.out.find(" in ")), once.out.substr(0, once.out.find(" in ")));

  // Refused in one line: a length given twice, and no length.
  for (const char* bad : {"--live 1 --blocks 3", "--live 0", "--live nan"}) {
    const auto refused = Run("gen --data " + Quote((data_.path() / "bad").string()) + " " + bad);
    EXPECT_NE(refused.exit_code, 0) << bad;
    EXPECT_EQ(Lines(refused.err).size(), 1u) << refused.err;
  }
}

TEST_F(FollowCommands, SigtermEndsTheRecordAtAWholeBlockWithItsFinalLength) {
  // Node 2 carries a load whose samples don't depend on the planned length, so the stopped
  // record equals the one written at once with its length.
  const auto stopped = Shell(
      "$T gen --data live --test r --code 3 --nodes 2 --rate 10240 --live 60 & pid=$!; "
      "while [ \"$(stat -c %s live/r3#2.sts 2>/dev/null || echo 0)\" -lt 8192 ]; do "
      "sleep 0.02; done; kill -TERM $pid; wait $pid");
  ASSERT_EQ(stopped.exit_code, 0) << stopped.err;
  EXPECT_NE(stopped.err.find("stopped at"), std::string::npos) << stopped.err;
  const fs::path tsp = data_.path() / "live" / "r3#2.tsp";
  EXPECT_FALSE(core::RecordMarkedRunning(tsp));
  auto info = core::ReadSamplingParameters(tsp);
  ASSERT_TRUE(info.ok());
  const int64_t blocks = info->whole_blocks();
  EXPECT_GE(blocks, 4);
  EXPECT_EQ(info->length_half_blocks(), 2 * blocks);
  const std::string sts = ReadFileBytes(data_.path() / "live" / "r3#2.sts");
  EXPECT_EQ(static_cast<int64_t>(sts.size()), blocks * 1024 * 2) << "whole blocks of int16";
  const auto once = Shell("$T gen --data once --test r --code 3 --nodes 2 --rate 10240 --blocks " +
                          std::to_string(blocks));
  ASSERT_EQ(once.exit_code, 0);
  EXPECT_EQ(ReadFileBytes(data_.path() / "once" / "r3#2.sts"), sts);
}

TEST_F(FollowCommands, FollowingTheSimulatorEndsWithTheOfflineCounts) {
  FollowTheSimulator({{"peak", "--amplitude full --partitions 12"},
                      {"range", "--amplitude 90 --partitions 10"},
                      {"rainflow", "--amplitude 90 --partitions 16"},
                      {"rainflow", "--amplitude full --fatigue actual"}});
}

TEST_F(FollowCommands, FollowingTheNewerMethodsEndsWithTheOfflineCounts) {
  FollowTheSimulator({{"crossings", "--amplitude full --partitions 12 --gate 5"},
                      {"range-pairs", "--amplitude 90 --partitions 10"},
                      {"time-at-level", "--amplitude full --partitions 9"}});
}

void FollowCommands::FollowTheSimulator(const std::vector<Follow>& follows) {
  for (int threads : {1, 2}) {
    SCOPED_TRACE("threads " + std::to_string(threads));
    const std::string data = "sim" + std::to_string(threads);
    const std::string node =
        "--data " + Quote((data_.path() / data).string()) + " --test rig --code 1 --node 1";
    std::string script = "$T gen --data " + data +
                         " --test rig --code 1 --nodes 1 --rate 16384 --live 2 >/dev/null & "
                         "while [ ! -e " +
                         data + "/rig1#1.tsp ]; do sleep 0.01; done; ";
    for (size_t k = 0; k < follows.size(); ++k) {
      script += "$T " + std::string(follows[k].command) + " " + node + " " + follows[k].options +
                " --threads " + std::to_string(threads) +
                " --json --follow --interval 0.1 --idle 20 >f" + std::to_string(k) + data +
                " 2>&1 & ";
    }
    script += "wait; cat f0" + data;
    const auto run = Shell(script);
    ASSERT_EQ(run.exit_code, 0) << run.err;
    for (size_t k = 0; k < follows.size(); ++k) {
      SCOPED_TRACE(std::string(follows[k].command) + " " + follows[k].options);
      const std::vector<std::string> lines =
          Lines(ReadFileBytes(data_.path() / ("f" + std::to_string(k) + data)));
      ASSERT_GE(lines.size(), 2u) << "updates while it grew, then the final object";
      int64_t previous = 0;
      for (size_t i = 0; i + 1 < lines.size(); ++i) {
        const auto update = nlohmann::ordered_json::parse(lines[i]);
        EXPECT_TRUE(update.at("live").get<bool>());
        EXPECT_FALSE(update.contains("ended"));
        const int64_t blocks = update.at("blocks_counted").get<int64_t>();
        EXPECT_GT(blocks, previous) << "an update follows new blocks";
        EXPECT_LE(blocks, 32);
        previous = blocks;
        const auto keys_end = std::prev(update.end(), 3);
        EXPECT_EQ(keys_end.key(), "live") << "the added keys come last";
        EXPECT_EQ(update.at("last_block").get<int64_t>(), blocks);
        if (std::string(follows[k].options).find("--fatigue") != std::string::npos) {
          EXPECT_TRUE(update.contains("fatigue")) << "the damage so far";
        }
      }
      const auto final_object = nlohmann::ordered_json::parse(lines.back());
      EXPECT_FALSE(final_object.at("live").get<bool>());
      EXPECT_EQ(final_object.at("ended"), "complete");
      EXPECT_EQ(final_object.at("blocks_counted"), 32);
      EXPECT_EQ(final_object.at("samples_behind"), 0);
      const auto offline =
          Run(std::string(follows[k].command) + " " + node + " " + follows[k].options +
              " --threads " + std::to_string(threads) + " --json");
      ASSERT_EQ(offline.exit_code, 0) << offline.err;
      EXPECT_EQ(WithoutFollowKeys(lines.back()) + "\n", offline.out);
    }
  }
}

TEST_F(FollowCommands, RefusesInOneLineWhatAFollowCannotDo) {
  WriteNode(data_.path(), Wave(2048), {.test_name = "rig", .test_code = "1", .node_name = "1"});
  struct Case {
    std::string arguments;
    std::string says;
  };
  const std::vector<Case> cases = {
      {"peak " + Node() + " --follow", "partitions would move"},
      {"range " + Node() + " --follow --amplitude auto", "partitions would move"},
      {"rainflow " + Node() + " --follow --amplitude full --blocks 1-2", "first block"},
      {"peak " + Node() + " --follow --amplitude full --interval 0", "--interval"},
      {"peak " + Node() + " --follow --amplitude full --idle -1", "--idle"},
      {"peak " + Node() + " --amplitude full --idle 3", "--idle"},
  };
  for (const Case& c : cases) {
    const auto refused = Run(c.arguments);
    EXPECT_NE(refused.exit_code, 0) << c.arguments;
    EXPECT_TRUE(refused.out.empty()) << refused.out;
    EXPECT_NE(refused.err.find(c.says), std::string::npos) << refused.err;
    EXPECT_LE(Lines(refused.err).size(), 2u) << refused.err;
  }
}

TEST_F(FollowCommands, ACompleteNodeEndsAtOnceAndAStoppedWriterEndsIdle) {
  // A finished node: counted at the first look, its final object equals the offline one.
  WriteNode(data_.path(), Wave(4096), {.test_name = "rig", .test_code = "1", .node_name = "1"});
  const auto done = Run("range " + Node() + " --amplitude 12 --json --follow --save");
  ASSERT_EQ(done.exit_code, 0) << done.err;
  const auto lines = Lines(done.out);
  ASSERT_EQ(lines.size(), 1u) << "the first look ends it: only the final object" << done.out;
  const auto offline = Run("range " + Node() + " --amplitude 12 --json --save");
  EXPECT_EQ(WithoutFollowKeys(lines[0]) + "\n", offline.out);
  EXPECT_NE(lines[0].find("\"result_file\""), std::string::npos) << "saved at the end";

  // A writer that stopped 512 samples into block 3, still marked running: the follow waits
  // --idle, ends idle, and the partial block was never counted.
  const auto stopped =
      WriteNode(data_.path(), Wave(2560),
                {.test_name = "rig", .test_code = "2", .node_name = "1", .length_half_blocks = 4});
  MarkRunning(stopped.tsp);
  const auto idle = Run("peak " + Node("rig", "2") +
                        " --amplitude 12 --json --follow --interval 0.05 --idle 0.2");
  EXPECT_EQ(idle.exit_code, 0) << idle.err;
  EXPECT_NE(idle.err.find("idle"), std::string::npos) << idle.err;
  const auto last = nlohmann::ordered_json::parse(Lines(idle.out).back());
  EXPECT_EQ(last.at("ended"), "idle");
  EXPECT_EQ(last.at("blocks_counted"), 2);
  EXPECT_EQ(last.at("samples_behind"), 512);
  WriteNode(data_.path(), Wave(2048), {.test_name = "two", .test_code = "1", .node_name = "1"});
  const auto two = Run("peak " + Node("two") + " --amplitude 12 --json");
  EXPECT_EQ(WithoutFollowKeys(Lines(idle.out).back()) + "\n", two.out)
      << "the counts of blocks 1 and 2 and no sample more";

  // Not on a terminal and without --json: one short line per update, then the tables.
  const auto text =
      Run("peak " + Node("rig", "2") + " --amplitude 12 --follow --interval 0.05 --idle 0.1");
  ASSERT_EQ(text.exit_code, 0) << text.err;
  EXPECT_EQ(text.out.rfind("rig2#1 live: 2 blocks", 0), 0u) << text.out;
  EXPECT_GT(Lines(text.out).size(), 3u) << "the tables follow";
}

TEST_F(FollowCommands, EachBadRecordEndsTheFollowWithItsReason) {
  // The follow counts 3 blocks of a running node; once its first update is out, the node is
  // damaged; the follow ends with its final object, the reason on stderr and exit 1.
  struct Case {
    const char* name;
    std::string damage;
    const char* ended;
    const char* says;
  };
  const std::vector<Case> cases = {
      {"truncated", "truncate -s 3000 rig1#1.sts", "shrank", "truncated"},
      {"format changed", "sed -i 's/^Format=.*/Format=885/' rig1#1.tsp", "changed", "format"},
      {"rate changed", "sed -i 's/^Frequency=.*/Frequency=99/' rig1#1.tsp", "changed", "frequency"},
      {"deleted", "rm rig1#1.sts rig1#1.tsp", "deleted", "deleted"},
      // Each step below leaves a node the follow may look at: the new name comes by a rename.
      {"replaced", "cp rig1#1.sts next && mv next rig1#1.sts", "changed",
       "another file took the waveform's place"},
      {"rewritten, then finished",
       "printf '\\177\\177\\177\\177\\177\\177\\177\\177' | "
       "dd of=rig1#1.sts bs=8 seek=2 conv=notrunc status=none; sed -i '/^Running=/d' rig1#1.tsp",
       "changed", "samples already counted were rewritten"},
      {"a FIFO in its place", "mkfifo pipe && mv pipe rig1#1.sts", "failed",
       "rig1#1.sts: not a regular file (a FIFO)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto node = WriteNode(
        data_.path(), Wave(3 * 1024),
        {.test_name = "rig", .test_code = "1", .node_name = "1", .length_half_blocks = 6});
    MarkRunning(node.tsp);
    // fo is made before the follow starts: the background job opens its own redirection, and
    // a look before it has run would find no file and add grep's complaint to stderr.
    const auto run = Shell(": >fo; $T rainflow " + Node() +
                           " --amplitude 12 --json --follow --interval 0.05 --idle 30 >>fo & "
                           "pid=$!; while ! grep -q '\"live\"' fo; do sleep 0.02; done; " +
                           c.damage + "; wait $pid; rc=$?; cat fo; exit $rc");
    EXPECT_EQ(run.exit_code, 1) << run.err;
    const auto lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 2u) << run.out;
    const auto last = nlohmann::ordered_json::parse(lines.back());
    EXPECT_EQ(last.at("ended"), c.ended);
    EXPECT_EQ(last.at("blocks_counted"), 3);
    EXPECT_EQ(Lines(run.err).size(), 1u) << run.err;
    EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("3 whole blocks"), std::string::npos) << run.err;
    fs::remove(data_.path() / "fo");
    fs::remove(data_.path() / "rig1#1.sts");  // a FIFO would stop the next node's writing
  }
}

TEST_F(FollowCommands, CtrlCEndsTheFollowWithTheFinalObject) {
  const auto node =
      WriteNode(data_.path(), Wave(2048), {.test_name = "rig", .test_code = "1", .node_name = "1"});
  MarkRunning(node.tsp);
  const auto run = Shell(": >fo; $T peak " + Node() +
                         " --amplitude 12 --json --follow --interval 0.05 --idle 30 --save >>fo & "
                         "pid=$!; while ! grep -q '\"live\"' fo; do sleep 0.02; done; "
                         "kill -INT $pid; "
                         "wait $pid; rc=$?; cat fo; exit $rc");
  EXPECT_EQ(run.exit_code, 130) << run.err;
  const auto lines = Lines(run.out);
  ASSERT_EQ(lines.size(), 2u) << run.out;
  const auto last = nlohmann::ordered_json::parse(lines.back());
  EXPECT_EQ(last.at("ended"), "interrupted");
  EXPECT_EQ(last.at("blocks_counted"), 2);
  EXPECT_TRUE(fs::exists(data_.path() / "rig1#1.PCM")) << "the final result is saved";
}

}  // namespace
}  // namespace torvwy::testing
