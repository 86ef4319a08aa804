// Sound files (WAV, FLAC, AIFF, ...) through the sound-file library: the channels of the
// interleaved frames, read a buffer of frames at a time.
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/services/byte_order.h"
#include "core/services/file_read.h"
#include "core/services/message_table.h"
#include "core/services/number_format.h"
#include "recording/recording.h"

namespace torvwy::recording {
namespace {

/// Full scale reads 10000 raw units, as the 16-bit formats convert a sample.
constexpr double kFullScaleRaw = 10000.0;

/// The data size a WAV written to a pipe says (by sox): the length was not known.
constexpr uint64_t kStreamedWavBytes = 0x7FFFF000;

/// What a sound file's header declares of its sound data.
struct DeclaredData {
  uint64_t start = 0;  ///< byte offset of the first sample
  uint64_t bytes = 0;  ///< bytes of sound data
  std::optional<int64_t> frames;
};

/// Reads up to out.size() bytes at `offset`; false unless all of them were read.
bool ReadAt(int fd, uint64_t offset, std::span<char> out) {
  size_t done = 0;
  while (done < out.size()) {
    const ssize_t got =
        ::pread(fd, out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
    if (got <= 0) return false;
    done += static_cast<size_t>(got);
  }
  return true;
}

uint64_t LoadBe(const char* p, int bytes) {
  uint64_t v = 0;
  for (int i = 0; i < bytes; ++i) v = (v << 8) | static_cast<unsigned char>(p[i]);
  return v;
}

/// The sound data a WAV (RIFF or RF64) or AIFF (FORM) header declares, found by walking its
/// chunks as the containers' public layouts describe them:
///
///   WAV:  "RIFF"|"RF64" size "WAVE", then chunks: id, size (LE 32), data, padded to even.
///         "fmt " gives the encoding and the bytes of a frame (block align); "data" holds the
///         samples, its size in "ds64" (a 64-bit size, RF64) when it reads 0xFFFFFFFF.
///   AIFF: "FORM" size "AIFF"|"AIFC", chunks with big-endian sizes; "COMM" gives the frames,
///         "SSND" holds the samples after an offset and a block size (8 bytes).
///
/// Nothing for another container (FLAC and Ogg say their length in their own stream, which the
/// reading checks) or a header that declares no length (a WAV written to a pipe says 0,
/// 0xFFFFFFFF or 0x7FFFF000).
std::optional<DeclaredData> DeclaredSoundData(int fd, uint64_t file_size) {
  std::array<char, 12> head{};
  if (!ReadAt(fd, 0, head)) return std::nullopt;
  const std::string_view id(head.data(), 4), form(head.data() + 8, 4);
  const bool wav = (id == "RIFF" || id == "RF64") && form == "WAVE";
  const bool aiff = id == "FORM" && (form == "AIFF" || form == "AIFC");
  if (!wav && !aiff) return std::nullopt;
  std::optional<uint64_t> ds64_bytes;
  uint64_t block_align = 0;
  bool frames_from_bytes = false;  // an encoding whose frames all take block_align bytes
  std::optional<int64_t> comm_frames;
  std::optional<DeclaredData> data;
  for (uint64_t offset = 12; offset + 8 <= file_size;) {
    std::array<char, 8> chunk{};
    if (!ReadAt(fd, offset, chunk)) break;
    const std::string_view chunk_id(chunk.data(), 4);
    const uint64_t size = wav ? core::LoadLe(chunk.data() + 4, 4) : LoadBe(chunk.data() + 4, 4);
    const uint64_t body = offset + 8;
    if (wav && chunk_id == "ds64") {
      std::array<char, 16> sizes{};
      if (size >= 16 && ReadAt(fd, body, sizes)) ds64_bytes = core::LoadLe(sizes.data() + 8, 8);
    } else if (wav && chunk_id == "fmt ") {
      std::array<char, 26> format{};
      const bool extensible = size >= 26 && ReadAt(fd, body, format);
      if (extensible || (size >= 16 && ReadAt(fd, body, std::span(format).first(16)))) {
        uint64_t tag = core::LoadLe(format.data(), 2);
        if (tag == 0xFFFE && extensible) tag = core::LoadLe(format.data() + 24, 2);
        block_align = core::LoadLe(format.data() + 12, 2);
        // PCM, IEEE float, A-law, mu-law: one frame is one block.
        frames_from_bytes = tag == 1 || tag == 3 || tag == 6 || tag == 7;
      }
    } else if (aiff && chunk_id == "COMM") {
      std::array<char, 6> comm{};
      if (size >= 6 && ReadAt(fd, body, comm)) {
        comm_frames = static_cast<int64_t>(LoadBe(comm.data() + 2, 4));
      }
    } else if (wav && chunk_id == "data") {
      uint64_t bytes = size;
      if (id == "RF64" && size == 0xFFFFFFFF) {
        if (!ds64_bytes) return std::nullopt;
        bytes = *ds64_bytes;
      } else if (size == 0 || size == 0xFFFFFFFF || size == kStreamedWavBytes) {
        return std::nullopt;
      }
      data = DeclaredData{body, bytes, std::nullopt};
      if (frames_from_bytes && block_align > 0) {
        data->frames = static_cast<int64_t>(bytes / block_align);
      }
      return data;
    } else if (aiff && chunk_id == "SSND") {
      data = DeclaredData{body, size, std::nullopt};
      if (body + size > file_size) break;  // cut: a COMM after it is gone
    }
    offset = body + size + (size & 1);
  }
  if (data) data->frames = comm_frames;
  return data;
}

class SoundRecording final : public RecordingReader {
 public:
  SoundRecording(std::filesystem::path path, SNDFILE* file, const SF_INFO& info,
                 const RecordingOptions& options)
      : RecordingReader(RecordingKind::kSound, std::move(path)),
        file_(file),
        info_(info),
        nan_value_(options.nan_value) {
    for (int c = 0; c < info_.channels; ++c) {
      ChannelInfo channel;
      channel.name = "ch" + std::to_string(c + 1);
      channel.length = info_.frames;
      channel.rate_hz = info_.samplerate;
      channels_.push_back(std::move(channel));
    }
  }
  ~SoundRecording() override { sf_close(file_); }
  SoundRecording(const SoundRecording&) = delete;
  SoundRecording& operator=(const SoundRecording&) = delete;

  core::Status Read(size_t index, const ChannelSink& sink) override;

 private:
  core::Error ReadFailure(const std::string& why) const {
    return core::Fail(core::kMsgFileRead, path_.string() + ": " + why);
  }

  SNDFILE* file_;
  SF_INFO info_;
  std::optional<double> nan_value_;
  std::vector<double> frames_;  // interleaved, one buffer
  std::vector<double> values_;  // the channel's part of it
};

core::Status SoundRecording::Read(size_t index, const ChannelSink& sink) {
  if (index >= channels_.size()) {
    return core::Fail(core::kMsgBadValue,
                      path_.string() + ": there is no channel " + std::to_string(index + 1));
  }
  if (sf_seek(file_, 0, SEEK_SET) != 0) {
    return ReadFailure(std::string("can't go back to the first frame: ") + sf_strerror(file_));
  }
  const auto channels = static_cast<size_t>(info_.channels);
  const size_t buffer_frames = std::max<size_t>(1, kRecordingBuffer / channels);
  frames_.resize(buffer_frames * channels);
  values_.resize(buffer_frames);
  int64_t done = 0;
  while (done < info_.frames) {
    const auto wanted =
        static_cast<sf_count_t>(std::min<int64_t>(info_.frames - done, buffer_frames));
    const sf_count_t got = sf_readf_double(file_, frames_.data(), wanted);
    if (got != wanted) {
      // The header promised more frames than the file holds, or the data is damaged.
      const std::string reason = sf_error(file_) != SF_ERR_NO_ERROR
                                     ? std::string(": ") + sf_strerror(file_)
                                     : std::string();
      return ReadFailure("the sound data ends after frame " +
                         std::to_string(done + std::max<sf_count_t>(got, 0)) + " of " +
                         std::to_string(info_.frames) + reason);
    }
    const auto count = static_cast<size_t>(got);
    for (size_t f = 0; f < count; ++f) {
      double value = frames_[f * channels + index];
      if (!std::isfinite(value)) {
        if (!nan_value_) {
          return core::Fail(core::kMsgBadValue,
                            path_.string() + ": channel " + channels_[index].name + ", sample " +
                                std::to_string(done + static_cast<int64_t>(f) + 1) +
                                ": not a finite number (give a value for it)");
        }
        values_[f] = *nan_value_;
        continue;
      }
      values_[f] = value * kFullScaleRaw;
      if (!std::isfinite(values_[f])) {
        // A float file may hold values far beyond full scale; 10000 times one may overflow.
        return core::Fail(core::kMsgBadValue,
                          path_.string() + ": channel " + channels_[index].name + ", sample " +
                              std::to_string(done + static_cast<int64_t>(f) + 1) + ": " +
                              core::ShortestText(value) +
                              " times full scale is beyond the largest raw value (" +
                              core::ShortestText(std::numeric_limits<double>::max()) + ")");
      }
    }
    if (auto ok = sink(std::span<const double>(values_.data(), count)); !ok) return ok;
    done += got;
  }
  return core::Ok();
}

}  // namespace

core::Result<RecordingHandle> OpenSoundRecording(const std::filesystem::path& path,
                                                 const RecordingOptions& options) {
  // Opened here first so that a FIFO or a device is refused without blocking.
  auto file = core::OpenRegularFile(path, core::kMsgFileRead);
  if (!file) return file.error();
  // The library closes the descriptor it is given, also when it fails to open: it gets a copy.
  const int fd = ::dup(file->fd.get());
  if (fd < 0) return core::Fail(core::kMsgFileRead, path.string() + ": can't be opened");
  SF_INFO info{};
  SNDFILE* sound = sf_open_fd(fd, SFM_READ, &info, SF_TRUE);
  if (sound == nullptr) {
    return core::Fail(core::kMsgFileRead,
                      path.string() + ": not a readable sound file (" + sf_strerror(nullptr) + ")");
  }
  const auto fail = [&](const std::string& why) {
    sf_close(sound);
    return core::Fail(core::kMsgFileRead, path.string() + ": " + why);
  };
  if (info.channels < 1 || info.samplerate < 1 || info.frames < 0) {
    return fail("damaged format (channels, rate or length)");
  }
  if (info.frames == SF_COUNT_MAX) return fail("the length of the sound data is not known");
  // The library reads a WAV or AIFF file cut short as if it ended there: the header tells.
  if (const auto declared = DeclaredSoundData(file->fd.get(), file->size_bytes)) {
    const uint64_t held =
        file->size_bytes > declared->start ? file->size_bytes - declared->start : 0;
    if (declared->frames && *declared->frames > info.frames) {
      return fail("the file is cut short: its header declares " +
                  std::to_string(*declared->frames) + " frames, it holds " +
                  std::to_string(info.frames));
    }
    if (declared->bytes > held) {
      return fail("the file is cut short: its header declares " + std::to_string(declared->bytes) +
                  " bytes of sound data, it holds " + std::to_string(held));
    }
  }
  // Integers read as sample / 2^(bits - 1), floats as they are: 1.0 is full scale either way.
  sf_command(sound, SFC_SET_NORM_DOUBLE, nullptr, SF_TRUE);
  sf_command(sound, SFC_SET_SCALE_FLOAT_INT_READ, nullptr, SF_FALSE);
  return RecordingHandle(new SoundRecording(path, sound, info, options));
}

}  // namespace torvwy::recording
