// Opening only regular files, the text size cap, the byte-order mark and streamed lines.
#include "core/services/file_read.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <string>
#include <vector>

#include "core/data/column_reader.h"
#include "core/data/sampling_info.h"
#include "core/data/waveform_reader.h"
#include "core/files/result_file.h"
#include "core/services/message_table.h"
#include "core/services/profile.h"
#include "support/test_node.h"

namespace torvwy::core {
namespace {
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

/// A FIFO nobody writes to, a link to an endless device, a folder, and a text one byte over the
/// cap: each one hangs or fills the memory if it is opened or read like a file.
std::vector<fs::path> SpecialFiles(const fs::path& dir) {
  const fs::path fifo = dir / "fifo";
  EXPECT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const fs::path zero = dir / "zero";
  fs::create_symlink("/dev/zero", zero);
  const fs::path folder = dir / "folder";
  fs::create_directory(folder);
  const fs::path large = dir / "large";
  WriteFile(large, "[Sampling]\n");
  fs::resize_file(large, kMaxTextFileBytes + 1);
  return {fifo, zero, folder, large};
}

TEST(FileRead, EveryReaderRefusesSpecialFilesAtOnce) {
  testing::TempDir dir;
  const auto started = Clock::now();
  for (const fs::path& path : SpecialFiles(dir.path())) {
    const std::string name = path.filename().string();
    auto text = ReadTextFile(path, kMsgFileRead);
    ASSERT_FALSE(text) << name;
    EXPECT_EQ(text.error().message, kMsgFileRead) << name;
    EXPECT_NE(text.error().detail.find(path.string()), std::string::npos) << name;

    EXPECT_FALSE(ReadSamplingParameters(path)) << name;  // the .tsp
    EXPECT_FALSE(IniFile::Load(path)) << name;           // the profile
    auto result = OpenResultFile(path);
    EXPECT_FALSE(result) << name;
    EXPECT_FALSE(ReadColumnRows(path, {}, [](double, double) {})) << name;
    SamplingInfo info;
    info.set_format(886);
    info.set_frequency_hz(1024.0);
    info.set_length_half_blocks(1);
    // The .sts streams and has no cap: only the special files are refused.
    if (name != "large") {
      EXPECT_FALSE(WaveformReader::Open(path, info)) << name;
    }
  }
  // Opening the FIFO or reading the device would never end; the deadline only tells such a hang
  // from a slow machine.
  EXPECT_LT(Clock::now() - started, std::chrono::seconds(60));
}

TEST(FileRead, CapAndReadingWhole) {
  testing::TempDir dir;
  const fs::path at_cap = dir.path() / "at_cap";
  WriteFile(at_cap, "abc");
  EXPECT_EQ(ReadRegularFile(at_cap, 3, kMsgFileRead).value(), "abc");
  auto over = ReadRegularFile(at_cap, 2, kMsgResultFileOpen, kMsgResultFileDamaged);
  ASSERT_FALSE(over);
  EXPECT_EQ(over.error().message, kMsgResultFileDamaged);
  auto missing =
      ReadRegularFile(dir.path() / "missing", 10, kMsgResultFileOpen, kMsgResultFileDamaged);
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error().message, kMsgResultFileOpen);

  fs::create_symlink(at_cap, dir.path() / "link");  // a link to a regular file is followed
  EXPECT_EQ(ReadRegularFile(dir.path() / "link", 3, kMsgFileRead).value(), "abc");
}

TEST(FileRead, ByteOrderMarkIsDroppedOnlyAtTheStart) {
  const std::string bom = "\xEF\xBB\xBF";
  EXPECT_EQ(WithoutByteOrderMark(bom + "a" + bom), "a" + bom);
  EXPECT_EQ(WithoutByteOrderMark("\xEF\xBB"), "\xEF\xBB");
  EXPECT_EQ(WithoutByteOrderMark(""), "");

  testing::TempDir dir;
  const std::string lines =
      "[Sampling]\r\nFrequency=2048\r\nc1=1\r\nc2=1\r\nFormat=886\r\nLength=4\r\n";
  WriteFile(dir.path() / "plain.tsp", lines);
  WriteFile(dir.path() / "marked.tsp", bom + lines);
  auto plain = ReadSamplingParameters(dir.path() / "plain.tsp");
  auto marked = ReadSamplingParameters(dir.path() / "marked.tsp");
  ASSERT_TRUE(plain) << plain.error().detail;
  ASSERT_TRUE(marked) << marked.error().detail;
  EXPECT_EQ(marked->bytes(), plain->bytes());
  EXPECT_EQ(marked->frequency_hz(), 2048.0);
}

TEST(FileRead, LinesAcrossBuffersAndLineEnds) {
  testing::TempDir dir;
  const fs::path path = dir.path() / "lines";
  // The long line crosses the 64 KiB read buffer; the last line has no line end.
  const std::string long_line(100000, 'x');
  WriteFile(path,
            "\xEF\xBB\xBF"
            "a\r\n\n" +
                long_line + "\nb\r\nlast");
  FileLines lines(OpenRegularFile(path, kMsgFileRead).value(), 200000);
  std::vector<std::string> read;
  for (std::string line; lines.Next(line);) read.push_back(line);
  EXPECT_TRUE(lines.error().empty());
  EXPECT_EQ(read, (std::vector<std::string>{"a", "", long_line, "b", "last"}));

  FileLines capped(OpenRegularFile(path, kMsgFileRead).value(), 1000);
  std::string line;
  EXPECT_TRUE(capped.Next(line));
  EXPECT_TRUE(capped.Next(line));
  EXPECT_FALSE(capped.Next(line));
  EXPECT_NE(capped.error().find("longer than 1000"), std::string::npos);
}

}  // namespace
}  // namespace torvwy::core
