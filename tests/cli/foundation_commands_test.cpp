// The gen, info and import commands end to end, and their refusals.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "core/data/node_writer.h"
#include "core/data/sample_format.h"
#include "core/data/sampling_info.h"
#include "core/data/waveform_reader.h"
#include "support/run_command.h"
#include "support/test_node.h"

namespace torvwy::testing {
namespace {
namespace fs = std::filesystem;

class Commands : public ::testing::Test {
 protected:
  CommandOutput Run(const std::string& arguments) {
    return RunTorvwy(arguments, home_.path().string());
  }
  /// A failure: non-zero exit and exactly one line on stderr.
  void ExpectOneLineError(const std::string& arguments, const std::string& fragment) {
    const auto result = Run(arguments);
    EXPECT_NE(result.exit_code, 0) << arguments;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    EXPECT_NE(result.err.find(fragment), std::string::npos) << result.err;
  }
  TempDir home_;
  TempDir data_;
};

TEST_F(Commands, SaveBeyondTheFileSizeLimitFailsWithAMessageAndLeavesNoTemporaryFile) {
  // 64 blocks of 512 bytes hold 32 KiB; a node of 40 blocks of 1024 two-byte samples is 80 KiB.
  // Without the signal ignored the process is killed at the limit and says nothing.
  const std::string data = Quote(data_.path().string());
  const auto result = RunTorvwyWithFileSizeLimit(
      "gen --data " + data + " --test t --code 1 --nodes 1 --blocks 40", home_.path().string(), 64);
  EXPECT_GT(result.exit_code, 0) << "killed by a signal?";
  EXPECT_NE(result.err.find("File too large"), std::string::npos) << result.err;
  for (const auto& entry : fs::directory_iterator(data_.path())) {
    EXPECT_EQ(entry.path().filename().string().find(".torvwy-"), std::string::npos)
        << entry.path() << " was left behind";
  }
}

TEST_F(Commands, GenRefusesToReplaceAFifoOrADanglingLinkAndFollowsALinkToAFile) {
  const std::string data = Quote(data_.path().string());
  const std::string gen = "gen --data " + data + " --test t --code 1 --nodes 1 --blocks 1";
  const fs::path sts = data_.path() / "t1#1.sts";
  ASSERT_EQ(::mkfifo(sts.c_str(), 0644), 0);
  ExpectOneLineError(gen, sts.string() + ": is a FIFO, not a regular file; nothing was written");
  EXPECT_TRUE(fs::is_fifo(fs::symlink_status(sts)));
  EXPECT_FALSE(fs::exists(data_.path() / "t1#1.tsp"));
  fs::remove(sts);
  fs::create_symlink("elsewhere.sts", sts);
  ExpectOneLineError(gen, sts.string() +
                              ": is a symbolic link to elsewhere.sts, which does not "
                              "exist; nothing was written");
  EXPECT_FALSE(fs::exists(data_.path() / "elsewhere.sts"));
  // A link to a file: the file is written, the link stays.
  std::ofstream(data_.path() / "elsewhere.sts") << "old";
  ASSERT_EQ(Run(gen).exit_code, 0);
  EXPECT_TRUE(fs::is_symlink(sts));
  EXPECT_EQ(fs::file_size(data_.path() / "elsewhere.sts"), 1024u * 2u);  // int16 by default
  EXPECT_EQ(std::distance(fs::directory_iterator(data_.path()), {}), 3);
}

TEST_F(Commands, GenWritesATestThatInfoDescribes) {
  const std::string data = Quote(data_.path().string());
  auto gen = Run("gen --data " + data + " --test t --code 9 --nodes 4 --blocks 3 --format 885");
  ASSERT_EQ(gen.exit_code, 0) << gen.err;
  for (int node = 1; node <= 4; ++node) {
    auto info =
        core::ReadSamplingParameters(data_.path() / ("t9#" + std::to_string(node) + ".tsp"));
    ASSERT_TRUE(info);
    EXPECT_EQ(info->length_half_blocks(), 6);
    auto reader =
        core::WaveformReader::Open(data_.path() / ("t9#" + std::to_string(node) + ".sts"), *info);
    EXPECT_TRUE(reader);
  }
  auto info = Run("info --data " + data + " --test t --code 9 --node 4 --json");
  ASSERT_EQ(info.exit_code, 0) << info.err;
  const auto json = nlohmann::json::parse(info.out);
  EXPECT_EQ(json["format"], 885);
  EXPECT_EQ(json["samples"], 3072);
  EXPECT_EQ(json["whole_blocks"], 3);
  EXPECT_NE(json["c1"], 1.0);  // one node has calibration factors other than 1
  EXPECT_TRUE(json["data_file_complete"]);
  auto node1 =
      nlohmann::json::parse(Run("info --data " + data + " --test t --code 9 --node 1 --json").out);
  EXPECT_EQ(node1["bookmarks"].size(), 2u);
  EXPECT_EQ(Run("info --data " + data + " --test t --code 9 --node 1").exit_code, 0);
}

TEST_F(Commands, ImportsTextColumnsAndWavFiles) {
  const fs::path csv = data_.path() / "signal.csv";
  std::ofstream(csv) << "time,value\n0.0,1.5\n0.5,-2\n1.0,3\n";
  const std::string data = Quote(data_.path().string());
  auto result = Run("import --input " + Quote(csv.string()) + " --data " + data +
                    " --test s --code 1 --node a --time-column 1 --column 2 --eu m");
  ASSERT_EQ(result.exit_code, 0) << result.err;
  auto info = core::ReadSamplingParameters(data_.path() / "s1#a.tsp");
  ASSERT_TRUE(info);
  EXPECT_EQ(info->frequency_hz(), 2.0);
  EXPECT_EQ(info->length_half_blocks(), 1);  // padded to one half block
  EXPECT_EQ(info->eu(), "m");
  auto reader = core::WaveformReader::Open(data_.path() / "s1#a.sts", *info);
  ASSERT_TRUE(reader);
  // The full scale fits the signal through a power-of-two c1, which gives every value back
  // exactly: 9000 / 3 -> 2048.
  EXPECT_EQ(info->c1(), 2048.0);
  std::vector<double> values(512);
  ASSERT_TRUE(reader->Read(values));
  for (double& v : values) v = v / info->c2() / info->c1();
  EXPECT_EQ(values[0], 1.5);
  EXPECT_EQ(values[1], -2.0);
  EXPECT_EQ(values[511], 3.0);  // the padding repeats the last value

  // A mono 16-bit WAV file of four samples at 8000 Hz.
  const fs::path wav = data_.path() / "tone.wav";
  {
    std::ofstream out(wav, std::ios::binary);
    auto u32 = [&](uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&](uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    out << "RIFF";
    u32(36 + 8);
    out << "WAVEfmt ";
    u32(16);
    u16(1);
    u16(1);
    u32(8000);
    u32(16000);
    u16(2);
    u16(16);
    out << "data";
    u32(8);
    for (int16_t s : {int16_t{0}, int16_t{16384}, int16_t{-32768}, int16_t{1}})
      u16(static_cast<uint16_t>(s));
  }
  result = Run("import --input " + Quote(wav.string()) + " --data " + data +
               " --test w --code 2 --node 1 --format 951");
  ASSERT_EQ(result.exit_code, 0) << result.err;
  info = core::ReadSamplingParameters(data_.path() / "w2#1.tsp");
  ASSERT_TRUE(info);
  EXPECT_EQ(info->frequency_hz(), 8000.0);
  reader = core::WaveformReader::Open(data_.path() / "w2#1.sts", *info);
  ASSERT_TRUE(reader);
  std::vector<double> first(4);
  ASSERT_TRUE(reader->Read(first));
  EXPECT_EQ(first, (std::vector<double>{0.0, 5000.0, -10000.0, 10000.0 / 32768.0}));
}

// A 16-bit WAV file gives the node it always has: a sample s is s x 10000 / 32768 raw units,
// c1 1, the file's rate; the expected pair is written here by the node writer from that rule.
TEST_F(Commands, SixteenBitWavFilesImportByteForByteAsBefore) {
  const fs::path wav = data_.path() / "stereo.wav";
  std::vector<int16_t> right;
  for (int v = -32768; v <= 32767; ++v) right.push_back(static_cast<int16_t>(v));
  {
    std::ofstream out(wav, std::ios::binary);
    auto u32 = [&](uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&](uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    const auto bytes = static_cast<uint32_t>(right.size() * 4);
    out << "RIFF";
    u32(36 + bytes);
    out << "WAVEfmt ";
    u32(16);
    u16(1);
    u16(2);
    u32(44100);
    u32(44100 * 4);
    u16(4);
    u16(16);
    out << "data";
    u32(bytes);
    for (const int16_t s : right) {
      u16(static_cast<uint16_t>(-s));
      u16(static_cast<uint16_t>(s));
    }
  }
  for (const int32_t format : {core::kFormatFloat64, core::kFormatInt16}) {
    const std::string node = "f" + std::to_string(format);
    const auto result =
        Run("import --input " + Quote(wav.string()) + " --data " + Quote(data_.path().string()) +
            " --test w --code 1 --node " + node + " --channel 2 --format " +
            std::to_string(format) + " --description 'rig 4'");
    ASSERT_EQ(result.exit_code, 0) << result.err;
    core::SamplingInfo info;
    info.set_format(format);
    info.set_c2(1.0);
    info.set_c1(1.0);
    info.set_eu("EU");
    info.set_text1("torvwy import");
    info.set_text2("stereo.wav");
    info.set_text3("rig 4");
    info.set_frequency_hz(44100);
    const fs::path expected = data_.path() / "expected";
    fs::create_directories(expected);
    auto writer = core::NodeWriter::Open(expected, "w", "1", node, info);
    ASSERT_TRUE(writer);
    std::vector<double> raw;
    for (const int16_t s : right) raw.push_back(static_cast<double>(s) * 10000.0 / 32768.0);
    ASSERT_TRUE(writer->Append(raw));
    ASSERT_TRUE(writer->Commit());
    for (const char* extension : {".sts", ".tsp"}) {
      const std::string name = "w1#" + node + extension;
      EXPECT_EQ(ReadFileBytes(data_.path() / name), ReadFileBytes(expected / name)) << name;
    }
  }
}

TEST_F(Commands, BadInputGivesOneLineAndANonZeroExit) {
  const std::string data = Quote(data_.path().string());
  ASSERT_EQ(Run("gen --data " + data + " --blocks 2 --nodes 1").exit_code, 0);
  ExpectOneLineError("info --data " + data + " --test demo --code 1 --node 7", "demo1#7.tsp");
  ExpectOneLineError("info --data " + data + " --test demo --code 1 --node ../x", "node name");
  ExpectOneLineError("gen --data " + data + " --format 123", "--format 123");
  ExpectOneLineError("gen --data " + data + " --blocks 0", "--blocks");
  ExpectOneLineError("gen --data " + data + " --rate abc", "--rate");
  ExpectOneLineError("frobnicate", "frobnicate");

  const fs::path csv = data_.path() / "nan.csv";
  std::ofstream(csv) << "1\n2\nnan\n4\n";
  ExpectOneLineError("import --input " + Quote(csv.string()) + " --data " + data +
                         " --test n --code 1 --node 1 --rate 10",
                     "line 3");
  EXPECT_FALSE(fs::exists(data_.path() / "n1#1.sts"));  // nothing half written
  const fs::path plain = data_.path() / "plain.csv";
  std::ofstream(plain) << "1\n2\n";
  ExpectOneLineError(
      "import --input " + Quote(plain.string()) + " --data " + data + " --test n --code 1 --node 1",
      "--rate");
  ExpectOneLineError(
      "import --input /no/such/file --data " + data + " --test n --code 1 --node 1 --rate 5",
      "/no/such/file");
  const auto help = Run("import --help");
  EXPECT_EQ(help.exit_code, 0);
  EXPECT_NE(help.out.find("--time-column"), std::string::npos);
}

TEST_F(Commands, ControlCharactersInNamesAreRefusedByEveryCommand) {
  const std::string data = Quote(data_.path().string());
  ASSERT_EQ(Run("gen --data " + data + " --blocks 2 --nodes 1").exit_code, 0);
  const fs::path csv = data_.path() / "two.csv";
  std::ofstream(csv) << "a,b\n1,2\n3,4\n";
  const std::string import =
      "import --input " + Quote(csv.string()) + " --data " + data + " --rate 10 ";
  const std::string node = " --data " + data + " --test demo --code 1 --node ";
  // Quoted for the shell, the line break, tab or escape reaches the command as it is.
  const struct {
    std::string arguments;
    std::string says;
  } cases[] = {
      {"gen --data " + data + " --test " + Quote("n\nx") + " --blocks 1", "test name \"n\\nx\""},
      {"gen --data " + data + " --code " + Quote("1\x1b[2J") + " --blocks 1",
       "test code \"1\\x1b[2J\""},
      {"gen --data " + data + " --test " + Quote("n\tx") + " --live 0.1", "test name \"n\\tx\""},
      {import + "--test t --code 1 --node " + Quote("a\nb") + " --column 1", "node name \"a\\nb\""},
      {import + "--test t --code 1 --channels a --node " + Quote("a\rb"), "node name \"a\\rb\""},
      {import + "--test t --code 1 --node-names " + Quote("a\nb,b"), "node name \"a\\nb\""},
      {import + "--test " + Quote("t\n") + " --code 1", "test name \"t\\n\""},
      {"info" + node + Quote("7\n"), "node name \"7\\n\""},
      {"peak" + node + Quote("1\x7f"), "node name \"1\\x7f\""},
      {"rainflow --data " + data + " --test " + Quote("de\nmo") + " --code 1 --node 1",
       "test name \"de\\nmo\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments);
    ExpectOneLineError(c.arguments, c.says + " holds a control character");
  }
  // Nothing was written under such a name, or under a cleaned one.
  for (const auto& entry : fs::directory_iterator(data_.path())) {
    const std::string name = entry.path().filename().string();
    EXPECT_TRUE(name.starts_with("demo1#1.") || name == "two.csv") << name;
  }
}

}  // namespace
}  // namespace torvwy::testing
