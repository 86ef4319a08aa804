// The life estimate of the rainflow command: the weld-class outputs kept byte for byte, the other
// curves, the damage-equivalent loads, the range-mean matrix, the mean corrections and the damage
// history, and their refusals.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "support/run_command.h"
#include "support/test_node.h"

namespace torvwy::testing {
namespace {
namespace fs = std::filesystem;

/// Every occurrence of `from` in `text` replaced by `to`.
std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

/// Four blocks of white noise in whole numbers -100..100 from a fixed linear congruential
/// sequence: the same values on every machine, with ranges spread over every partition.
std::vector<double> Noise(size_t n) {
  std::vector<double> x(n);
  uint64_t state = 26;
  for (size_t i = 0; i < n; ++i) {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    x[i] = static_cast<double>(static_cast<int64_t>((state >> 33) % 201) - 100);
  }
  return x;
}

class FatigueCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    NodeLayout layout;
    layout.test_name = "fat";
    layout.test_code = "1";
    layout.node_name = "1";
    WriteNode(data_.path(), Noise(4096), layout);
    noise_ = "--data " + Quote(data_.path().string()) + " --test fat --code 1 --node 1";
  }
  TempDir data_;
  std::string noise_;
};

/// The outputs of the weld-class estimates as they were before any other curve existed: stdout
/// of the JSON and the text run, and the list data file both runs write (tests/data/fatigue/,
/// described in tests/data/README.md). Set TORVWY_UPDATE_GOLDEN=1 to write them again: each
/// file that differs is written and the run fails naming it.
TEST_F(FatigueCommands, WeldClassOutputsAreKeptByteForByte) {
  const fs::path golden = fs::path(TORVWY_TEST_DATA) / "fatigue";
  const bool update = std::getenv("TORVWY_UPDATE_GOLDEN") != nullptr;
  struct Case {
    const char* name;
    const char* options;
  };
  for (const Case& c : {Case{"actual_f2", "--fatigue actual --class F2 --partitions 12"},
                        Case{"fitting", "--fatigue fitting --partitions 12"}}) {
    for (const char* face : {"json", "txt"}) {
      // A fresh home each time: the fitting run takes the default class, not the one kept.
      TempDir home;
      const std::string arguments = "rainflow " + noise_ + " " + c.options +
                                    (std::string(face) == "json" ? " --json" : "");
      const auto result = RunTorvwy(arguments, home.path().string());
      ASSERT_EQ(result.exit_code, 0) << arguments << ": " << result.err;
      const std::string stem = std::string(c.name) + "_" + face;
      const std::vector<std::pair<fs::path, std::string>> outputs = {
          {golden / (stem + ".out"), ReplaceAll(result.out, home.path().string(), "HOME")},
          {golden / (std::string(c.name) + "_listdata.txt"), ReadFileBytes(home.path() / "work" / "listdata.txt")},
      };
      for (const auto& [path, bytes] : outputs) {
        if (update && ReadFileBytes(path) != bytes) {
          fs::create_directories(path.parent_path());
          std::ofstream out(path, std::ios::binary | std::ios::trunc);
          out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
          out.close();
          EXPECT_TRUE(out) << "can't write " << path;
          ADD_FAILURE() << path << " differed and was written again";
        }
        EXPECT_FALSE(bytes.empty()) << path;
        EXPECT_EQ(ReadFileBytes(path), bytes) << path;
      }
    }
  }
}

}  // namespace
}  // namespace torvwy::testing
