// Sound files made by the sound-file writers of Python, read back channel by channel.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include "core/services/message_table.h"
#include "recording/recording.h"
#include "recording/recording_files.h"
#include "support/run_command.h"
#include "support/test_node.h"

namespace torvwy::recording {
namespace {

using testing::ExpectOneLineNaming;
using testing::ReadAll;
using testing::ReadBack;
using testing::RunPythonScript;
using testing::TempDir;

/// The stored integer of frame k, channel c for `bits`: spread over the whole range, from the
/// most negative value up; the Python writer makes the same.
int64_t StoredSample(int64_t k, int64_t c, int bits) {
  const int64_t range = int64_t{1} << bits;
  return (k * 7919 + c * 3001) % range - range / 2;
}

/// Writes `frames` frames of `channels` channels with StoredSample, in `subtype`.
void WriteSound(const std::filesystem::path& path, const std::string& subtype, int bits,
                int channels, int64_t frames, int rate) {
  // The writers take integers aligned at the top of int16/int32, and floats as s / 2^(bits-1).
  std::string scale;
  if (subtype == "PCM_16") scale = "a.astype(np.int16)";
  if (subtype == "PCM_U8") scale = "(a * 256).astype(np.int16)";
  if (subtype == "PCM_24") scale = "(a * 256).astype(np.int32)";
  if (subtype == "PCM_32") scale = "a.astype(np.int32)";
  if (subtype == "FLOAT") scale = "(a / 2.0**" + std::to_string(bits - 1) + ").astype(np.float32)";
  if (subtype == "DOUBLE") scale = "a / 2.0**" + std::to_string(bits - 1);
  RunPythonScript(
      "import numpy as np, soundfile as sf\n"
      "k = np.arange(" +
      std::to_string(frames) +
      ", dtype=np.int64)[:, None]\n"
      "c = np.arange(" +
      std::to_string(channels) +
      ", dtype=np.int64)[None, :]\n"
      "r = 1 << " +
      std::to_string(bits) +
      "\n"
      "a = (k * 7919 + c * 3001) % r - r // 2\n"
      "sf.write('" +
      path.string() + "', " + scale + ", " + std::to_string(rate) + ", subtype='" + subtype +
      "')\n");
}

TEST(SoundRecording, ReadsEveryFormatAtFullScaleTenThousand) {
  struct Case {
    const char* file;
    const char* subtype;
    int bits;  // of the stored integers (floats: of the integers they were made from)
    int channels;
  };
  const Case cases[] = {
      {"four.wav", "PCM_24", 24, 4}, {"two.flac", "PCM_16", 16, 2}, {"one.aiff", "PCM_16", 16, 1},
      {"u8.wav", "PCM_U8", 8, 3},    {"i32.wav", "PCM_32", 32, 2},  {"f32.wav", "FLOAT", 24, 2},
      {"f64.wav", "DOUBLE", 32, 3},  {"f24.flac", "PCM_24", 24, 1},
  };
  TempDir dir;
  constexpr int64_t kFrames = 40000;  // several buffers for 2 channels and more
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const auto path = dir.path() / c.file;
    WriteSound(path, c.subtype, c.bits, c.channels, kFrames, 48000);
    auto reader = OpenSoundRecording(path, {});
    ASSERT_TRUE(reader) << reader.error().detail;
    EXPECT_EQ((*reader)->kind(), RecordingKind::kSound);
    EXPECT_TRUE((*reader)->values_are_raw());
    ASSERT_EQ((*reader)->channels().size(), static_cast<size_t>(c.channels));
    for (int ch = 0; ch < c.channels; ++ch) {
      const ChannelInfo& info = (*reader)->channels()[ch];
      EXPECT_EQ(info.name, "ch" + std::to_string(ch + 1));
      EXPECT_EQ(info.length, kFrames);
      EXPECT_EQ(info.rate_hz, 48000.0);
      EXPECT_TRUE(info.unit.empty());
      // Read twice: each read starts again at the first frame.
      for (int pass = 0; pass < 2; ++pass) {
        const ReadBack back = ReadAll(**reader, ch);
        ASSERT_TRUE(back.status) << back.status.error().detail;
        ASSERT_EQ(back.values.size(), static_cast<size_t>(kFrames));
        EXPECT_LE(back.largest_piece, kRecordingBuffer);
        const double full_scale = std::ldexp(1.0, c.bits - 1);
        int64_t wrong = 0;
        for (int64_t k = 0; k < kFrames; ++k) {
          const double expected =
              static_cast<double>(StoredSample(k, ch, c.bits)) * 10000.0 / full_scale;
          if (back.values[k] != expected && wrong++ < 3) {
            ADD_FAILURE() << "frame " << k << ": " << back.values[k] << " != " << expected;
          }
        }
      }
    }
  }
}

TEST(SoundRecording, EverySixteenBitSampleReadsAsTheIntegerFormatsConvertIt) {
  TempDir dir;
  const auto path = dir.path() / "all.wav";
  RunPythonScript(
      "import numpy as np, soundfile as sf\n"
      "sf.write('" +
      path.string() + "', np.arange(-32768, 32768).astype(np.int16), 1000, subtype='PCM_16')\n");
  auto reader = OpenSoundRecording(path, {});
  ASSERT_TRUE(reader) << reader.error().detail;
  const ReadBack back = ReadAll(**reader, 0);
  ASSERT_TRUE(back.status);
  ASSERT_EQ(back.values.size(), 65536u);
  for (int s = -32768; s <= 32767; ++s) {
    ASSERT_EQ(back.values[s + 32768], static_cast<double>(s) * 10000.0 / 32768.0) << s;
  }
  EXPECT_EQ(back.values[32768], 0.0);
}

TEST(SoundRecording, NotFiniteValuesAreReplacedOrRefused) {
  TempDir dir;
  const auto path = dir.path() / "nan.wav";
  RunPythonScript(
      "import numpy as np, soundfile as sf\n"
      "a = np.full((10, 2), 0.5, dtype=np.float32)\n"
      "a[5, 1] = np.nan\na[7, 1] = np.inf\n"
      "sf.write('" +
      path.string() + "', a, 100, subtype='FLOAT')\n");
  auto reader = OpenSoundRecording(path, {});
  ASSERT_TRUE(reader);
  EXPECT_TRUE(ReadAll(**reader, 0).status);  // the other channel is clean
  const ReadBack refused = ReadAll(**reader, 1);
  ASSERT_FALSE(refused.status);
  EXPECT_EQ(refused.status.error().message, core::kMsgBadValue);
  EXPECT_NE(refused.status.error().detail.find("ch2, sample 6"), std::string::npos)
      << refused.status.error().detail;
  ExpectOneLineNaming(refused.status.error(), path);

  RecordingOptions options;
  options.nan_value = -3.0;
  auto replacing = OpenSoundRecording(path, options);
  ASSERT_TRUE(replacing);
  const ReadBack back = ReadAll(**replacing, 1);
  ASSERT_TRUE(back.status);
  const std::vector<double> expected{5000, 5000, 5000, 5000, 5000, -3, 5000, -3, 5000, 5000};
  EXPECT_EQ(back.values, expected);
}

TEST(SoundRecording, AFileCutShortIsRefusedInOneLine) {
  TempDir dir;
  // 40000 frames of 2 channels by the writers of Python and by sox, in every container whose
  // header says the length: WAV, RF64, AIFF, FLAC; a float64 WAV too.
  struct Made {
    const char* file;
    const char* says;  // what the refusal says
  };
  const Made made[] = {
      {"pcm16.wav", "declares 40000 frames"},
      {"double.wav", "declares 40000 frames"},
      {"rf64.wav", "declares 40000 frames"},
      {"pcm24.aiff", "declares 40000 frames"},
      {"pcm16.flac", "of 40000"},
      {"sox.wav", "declares 40000 frames"},
      {"sox.aiff", "declares 40000 frames"},
  };
  RunPythonScript(
      "import numpy as np, soundfile as sf, subprocess\n"
      "k = np.arange(40000)[:, None]\n"
      "a = ((k * 7919 + np.arange(2)[None, :] * 3001) % 65536 - 32768).astype(np.int16)\n"
      "d = '" +
      dir.path().string() +
      "/'\n"
      "sf.write(d + 'pcm16.wav', a, 8000, subtype='PCM_16')\n"
      "sf.write(d + 'double.wav', a / 32768.0, 8000, subtype='DOUBLE')\n"
      "sf.write(d + 'rf64.wav', a, 8000, format='RF64', subtype='PCM_16')\n"
      "sf.write(d + 'pcm24.aiff', a, 8000, subtype='PCM_24')\n"
      "sf.write(d + 'pcm16.flac', a, 8000, subtype='PCM_16')\n"
      "open(d + 'pcm16.raw', 'wb').write(a.tobytes())\n"
      "for ext in ('wav', 'aiff'):\n"
      "    subprocess.run(['sox', '-r', '8000', '-c', '2', '-b', '16', '-e', 'signed-integer',\n"
      "                    '-t', 'raw', d + 'pcm16.raw', d + 'sox.' + ext], check=True)\n");
  for (const Made& m : made) {
    SCOPED_TRACE(m.file);
    const auto whole = dir.path() / m.file;
    auto reader = OpenSoundRecording(whole, {});
    ASSERT_TRUE(reader) << reader.error().detail;
    EXPECT_EQ((*reader)->channels()[1].length, 40000);
    const auto cut = dir.path() / (std::string("cut-") + m.file);
    testing::WriteCutCopy(whole, std::filesystem::file_size(whole) / 2, cut);
    auto opened = OpenSoundRecording(cut, {});
    core::Error refusal;
    if (opened) {
      const ReadBack back = ReadAll(**opened, 1);  // FLAC: its stream ends early
      ASSERT_FALSE(back.status) << "read " << back.values.size() << " frames";
      refusal = back.status.error();
    } else {
      refusal = opened.error();
    }
    EXPECT_EQ(refusal.message, core::kMsgFileRead);
    EXPECT_NE(refusal.detail.find(m.says), std::string::npos) << refusal.detail;
    ExpectOneLineNaming(refusal, cut);
  }

  // sox streaming from a pipe to a pipe can't know the length nor go back to the header: the
  // data size says 0x7FFFF000 ("not known"), and the file is read as it is.
  const auto piped = dir.path() / "piped.wav";
  RunPythonScript(
      "import subprocess\n"
      "sox = subprocess.run(['sox', '-r', '8000', '-c', '2', '-b', '16', '-e', 'signed-integer',\n"
      "                      '-t', 'raw', '-', '-t', 'wav', '-'], input=open('" +
      (dir.path() / "pcm16.raw").string() +
      "', 'rb').read(),\n"
      "                     stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, check=True)\n"
      "assert sox.stdout[40:44] == bytes.fromhex('00f0ff7f')\n"
      "open('" +
      piped.string() + "', 'wb').write(sox.stdout)\n");
  auto streamed = OpenSoundRecording(piped, {});
  ASSERT_TRUE(streamed) << streamed.error().detail;
  EXPECT_EQ((*streamed)->channels()[0].length, 40000);

  for (const auto* source : {"pcm16.wav", "pcm16.flac"}) {
    testing::ExpectDamagedCopiesFailInOneLine(
        dir.path() / source, dir.path(), 40,
        [](const auto& copy) { return OpenSoundRecording(copy, {}); });
  }
}

TEST(SoundRecording, ACutWavImportsNoNode) {
  TempDir dir, data, home;
  const auto wav = dir.path() / "rec.wav";
  WriteSound(wav, "PCM_16", 16, 2, 40000, 8000);
  const auto cut = dir.path() / "cut.wav";
  testing::WriteCutCopy(wav, std::filesystem::file_size(wav) / 2, cut);
  const auto out =
      testing::RunTorvwy("import --input " + testing::Quote(cut.string()) + " --data " +
                             testing::Quote(data.path().string()) + " --test c --code 1",
                         home.path().string());
  EXPECT_EQ(out.exit_code, 1);
  // 40000 frames of 4 bytes after a 44-byte header; cut at 80022 bytes, 19994 whole frames.
  EXPECT_EQ(out.err, "torvwy: " + cut.string() +
                         ": the file is cut short: its header declares 40000 frames, it holds "
                         "19994\n");
  EXPECT_TRUE(std::filesystem::is_empty(data.path()));
}

TEST(SoundRecording, EmptyAndForeignFiles) {
  TempDir dir;
  const auto empty = dir.path() / "empty.wav";
  RunPythonScript(
      "import numpy as np, soundfile as sf\n"
      "sf.write('" +
      empty.string() + "', np.zeros((0, 3), dtype=np.int16), 500, subtype='PCM_16')\n");
  auto reader = OpenSoundRecording(empty, {});
  ASSERT_TRUE(reader) << reader.error().detail;
  ASSERT_EQ((*reader)->channels().size(), 3u);
  EXPECT_EQ((*reader)->channels()[2].length, 0);
  EXPECT_TRUE(ReadAll(**reader, 2).values.empty());
  EXPECT_FALSE((*reader)->Read(3, [](std::span<const double>) { return core::Ok(); }));

  const auto text = dir.path() / "notes.wav";
  std::ofstream(text) << "RIFF but not really\n";
  auto foreign = OpenSoundRecording(text, {});
  ASSERT_FALSE(foreign);
  EXPECT_EQ(foreign.error().message, core::kMsgFileRead);
  ExpectOneLineNaming(foreign.error(), text);
  ASSERT_FALSE(OpenSoundRecording(dir.path() / "missing.wav", {}));
}

}  // namespace
}  // namespace torvwy::recording
