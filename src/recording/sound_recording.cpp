// Sound files (WAV, FLAC, AIFF, ...) through the sound-file library: the channels of the
// interleaved frames, read a buffer of frames at a time.
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "core/services/file_read.h"
#include "core/services/message_table.h"
#include "recording/recording.h"

namespace torvwy::recording {
namespace {

/// Full scale reads 10000 raw units, as the 16-bit formats convert a sample.
constexpr double kFullScaleRaw = 10000.0;

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
  // Integers read as sample / 2^(bits - 1), floats as they are: 1.0 is full scale either way.
  sf_command(sound, SFC_SET_NORM_DOUBLE, nullptr, SF_TRUE);
  sf_command(sound, SFC_SET_SCALE_FLOAT_INT_READ, nullptr, SF_FALSE);
  return RecordingHandle(new SoundRecording(path, sound, info, options));
}

}  // namespace torvwy::recording
