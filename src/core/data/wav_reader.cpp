// WAV files: walking the RIFF chunks to the format and the data, then streaming the frames.
#include "core/data/wav_reader.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <utility>

#include "core/services/byte_order.h"
#include "core/services/file_read.h"
#include "core/services/message_table.h"

namespace torvwy::core {
namespace {

constexpr uint64_t kRiffHeaderBytes = 12;
constexpr uint64_t kChunkHeaderBytes = 8;
constexpr uint64_t kFormatBytes = 16;

/// Reads exactly `size` bytes at `offset`; false on an error or an early end.
bool ReadAt(int fd, uint64_t offset, char* out, size_t size) {
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::pread(fd, out + done, size - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

bool LooksLikeWav(const std::filesystem::path& path) {
  auto file = OpenRegularFile(path, kMsgFileRead);
  char magic[4] = {};
  return file && ReadAt(file->fd.get(), 0, magic, sizeof magic) &&
         std::memcmp(magic, "RIFF", 4) == 0;
}

Result<WavReader> WavReader::Open(const std::filesystem::path& path) {
  const auto fail = [&path](const std::string& why) {
    return Fail(kMsgFileRead, path.string() + ": " + why);
  };
  auto file = OpenRegularFile(path, kMsgFileRead);
  if (!file) return file.error();
  const uint64_t file_bytes = file->size_bytes;
  WavReader wav;
  wav.path_ = path;
  wav.fd_ = std::move(file->fd);
  const int fd = wav.fd_.get();
  std::array<char, kRiffHeaderBytes> riff{};
  if (file_bytes < kRiffHeaderBytes || !ReadAt(fd, 0, riff.data(), riff.size()) ||
      std::memcmp(riff.data(), "RIFF", 4) != 0 || std::memcmp(riff.data() + 8, "WAVE", 4) != 0) {
    return fail("not a RIFF/WAVE file");
  }
  bool have_format = false;
  uint64_t at = kRiffHeaderBytes;
  std::array<char, kChunkHeaderBytes> header{};
  while (at + kChunkHeaderBytes <= file_bytes && ReadAt(fd, at, header.data(), header.size())) {
    at += kChunkHeaderBytes;
    const uint64_t size = LoadLe(header.data() + 4, 4);
    if (std::memcmp(header.data(), "data", 4) == 0) {
      if (!have_format) return fail("data chunk before a valid format chunk");
      const uint64_t frame_bytes = static_cast<uint64_t>(wav.channels_) * 2;
      if (at + size > file_bytes) return fail("the data chunk is cut short");
      wav.frames_ = size / frame_bytes;
      wav.next_offset_ = at;
      return wav;
    }
    const uint64_t padded = size + (size & 1);
    if (std::memcmp(header.data(), "fmt ", 4) == 0) {
      std::array<char, kFormatBytes> format{};
      if (size < kFormatBytes || at + size > file_bytes ||
          !ReadAt(fd, at, format.data(), format.size())) {
        return fail("damaged format chunk");
      }
      const auto audio_format = LoadLe(format.data(), 2);
      wav.channels_ = static_cast<int>(LoadLe(format.data() + 2, 2));
      wav.rate_hz_ = static_cast<uint32_t>(LoadLe(format.data() + 4, 4));
      const auto bits = LoadLe(format.data() + 14, 2);
      if ((audio_format != 1 && audio_format != 0xFFFE) || bits != 16) {
        return fail("only 16-bit PCM WAV files can be imported");
      }
      if (wav.channels_ < 1 || wav.rate_hz_ == 0) return fail("damaged format chunk");
      have_format = true;
    }
    at += padded;
  }
  return fail("no data chunk");
}

Status WavReader::Read(int channel, size_t max_frames, std::vector<int16_t>& samples) {
  samples.clear();
  if (channel < 0 || channel >= channels_) {
    return Fail(kMsgBadValue,
                path_.string() + ": there is no channel " + std::to_string(channel + 1));
  }
  const size_t frames = static_cast<size_t>(std::min<uint64_t>(max_frames, frames_left()));
  const size_t frame_bytes = static_cast<size_t>(channels_) * 2;
  raw_.resize(frames * frame_bytes);
  if (frames > 0 && !ReadAt(fd_.get(), next_offset_, raw_.data(), raw_.size())) {
    return Fail(kMsgFileRead, path_.string() + ": the data chunk is cut short");
  }
  next_offset_ += raw_.size();
  samples.reserve(frames);
  for (size_t f = 0; f < frames; ++f) {
    const char* p = raw_.data() + f * frame_bytes + static_cast<size_t>(channel) * 2;
    samples.push_back(static_cast<int16_t>(static_cast<uint16_t>(LoadLe(p, 2))));
  }
  frames_read_ += frames;
  return Ok();
}

}  // namespace torvwy::core
