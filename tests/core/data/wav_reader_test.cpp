// WAV files: channels, skipped chunks, and the files that must be refused.
#include "core/data/wav_reader.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "support/test_node.h"

namespace torvwy::core {
namespace {

/// A WAV file built byte by byte, independent of the reader's own byte helpers.
struct WavBytes {
  std::string bytes;
  void U16(uint16_t v) {
    bytes += static_cast<char>(v & 0xFF);
    bytes += static_cast<char>(v >> 8);
  }
  void U32(uint32_t v) {
    U16(static_cast<uint16_t>(v & 0xFFFF));
    U16(static_cast<uint16_t>(v >> 16));
  }
  void Chunk(const char* id, uint32_t size) {
    bytes += id;
    U32(size);
  }
  /// RIFF header, an optional odd-sized "LIST" chunk, the format and the data chunk header.
  static WavBytes Make(uint16_t channels, uint32_t rate, uint16_t bits, uint32_t data_bytes,
                       bool extra_chunk = false, uint16_t format = 1) {
    WavBytes w;
    w.Chunk("RIFF", 0);  // the RIFF size is not checked
    w.bytes += "WAVE";
    if (extra_chunk) {
      w.Chunk("LIST", 3);
      w.bytes += std::string("abc") + '\0';  // padded to an even size
    }
    w.Chunk("fmt ", 18);  // a longer format chunk, as some writers make
    w.U16(format);
    w.U16(channels);
    w.U32(rate);
    w.U32(rate * channels * 2);
    w.U16(static_cast<uint16_t>(channels * 2));
    w.U16(bits);
    w.U16(0);
    w.Chunk("data", data_bytes);
    return w;
  }
};

class WavReaderTest : public ::testing::Test {
 protected:
  std::filesystem::path Write(const std::string& bytes) {
    const auto path = dir_.path() / "w.wav";
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  testing::TempDir dir_;
};

TEST_F(WavReaderTest, ReadsOneChannelOfInterleavedFramesInPieces) {
  // Three stereo frames: left 1, -2, 32767; right -32768, 300, -1.
  WavBytes w = WavBytes::Make(2, 44100, 16, 12, true);
  for (const int16_t s : {1, -32768, -2, 300, 32767, -1}) w.U16(static_cast<uint16_t>(s));
  const auto path = Write(w.bytes);
  EXPECT_TRUE(LooksLikeWav(path));
  auto wav = WavReader::Open(path);
  ASSERT_TRUE(wav.ok()) << wav.error().detail;
  EXPECT_EQ(wav->channels(), 2);
  EXPECT_EQ(wav->rate_hz(), 44100u);
  EXPECT_EQ(wav->frames(), 3u);
  std::vector<int16_t> samples;
  ASSERT_TRUE(wav->Read(1, 2, samples).ok());
  EXPECT_EQ(samples, (std::vector<int16_t>{-32768, 300}));
  ASSERT_TRUE(wav->Read(1, 2, samples).ok());  // only one frame is left
  EXPECT_EQ(samples, (std::vector<int16_t>{-1}));
  EXPECT_EQ(wav->frames_left(), 0u);
  ASSERT_TRUE(wav->Read(1, 2, samples).ok());
  EXPECT_TRUE(samples.empty());

  auto again = WavReader::Open(path);
  ASSERT_TRUE(again.ok());
  ASSERT_TRUE(again->Read(0, 10, samples).ok());
  EXPECT_EQ(samples, (std::vector<int16_t>{1, -2, 32767}));
  EXPECT_FALSE(again->Read(2, 10, samples).ok());  // no third channel
}

TEST_F(WavReaderTest, RefusesWhatItCannotRead) {
  WavBytes truncated = WavBytes::Make(1, 8000, 16, 8);
  truncated.U16(1);
  truncated.U16(2);  // 4 of the 8 data bytes the header promises
  WavBytes eight_bit = WavBytes::Make(1, 8000, 8, 2);
  eight_bit.U16(0);
  WavBytes float_samples = WavBytes::Make(1, 8000, 16, 2, false, 3);
  float_samples.U16(0);
  WavBytes no_data = WavBytes::Make(1, 8000, 16, 0);
  no_data.bytes.resize(no_data.bytes.size() - 8);  // drop the data chunk header
  WavBytes data_first;
  data_first.Chunk("RIFF", 0);
  data_first.bytes += "WAVE";
  data_first.Chunk("data", 2);
  data_first.U16(0);
  const struct {
    const char* name;
    std::string bytes;
    const char* why;
  } cases[] = {
      {"truncated data", truncated.bytes, "cut short"},
      {"8-bit samples", eight_bit.bytes, "16-bit PCM"},
      {"float samples", float_samples.bytes, "16-bit PCM"},
      {"no data chunk", no_data.bytes, "no data chunk"},
      {"data before format", data_first.bytes, "before a valid format"},
      {"format chunk cut", WavBytes::Make(1, 8000, 16, 0).bytes.substr(0, 30), "format chunk"},
      {"not RIFF", "RIFX0000WAVE", "not a RIFF/WAVE"},
      {"empty", "", "not a RIFF/WAVE"},
  };
  for (const auto& c : cases) {
    auto wav = WavReader::Open(Write(c.bytes));
    ASSERT_FALSE(wav.ok()) << c.name;
    EXPECT_NE(wav.error().detail.find(c.why), std::string::npos)
        << c.name << ": " << wav.error().detail;
    EXPECT_NE(wav.error().detail.find("w.wav"), std::string::npos) << c.name;
  }
  EXPECT_FALSE(LooksLikeWav(Write("time,value\n")));
  EXPECT_FALSE(WavReader::Open(dir_.path() / "missing.wav").ok());
}

}  // namespace
}  // namespace torvwy::core
