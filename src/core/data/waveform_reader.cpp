// WaveformReader: checked, 64-bit, buffered reading of raw samples.
#include "core/data/waveform_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <limits>
#include <string>
#include <system_error>

#include "core/services/file_read.h"
#include "core/services/message_table.h"

namespace torvwy::core {

WaveformReader::WaveformReader(WaveformReader&& other) noexcept { *this = std::move(other); }

WaveformReader& WaveformReader::operator=(WaveformReader&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.fd_;
    format_ = other.format_;
    sample_size_ = other.sample_size_;
    record_samples_ = other.record_samples_;
    countable_samples_ = other.countable_samples_;
    sample_exact_ = other.sample_exact_;
    position_ = other.position_;
    path_ = std::move(other.path_);
    raw_ = std::move(other.raw_);
    supplier_ = std::move(other.supplier_);
    other.fd_ = -1;
  }
  return *this;
}

WaveformReader::~WaveformReader() {
  if (fd_ >= 0) ::close(fd_);
}

Result<WaveformReader> WaveformReader::Open(const SampleSource& source, const SamplingInfo& info) {
  const std::filesystem::path& sts_path = source.path;
  const std::string name = sts_path.string();
  if (info.format() == kFormatNone) {
    return Fail(kMsgDataFileUnopenable, name + ": the node has no data (format 0)");
  }
  auto size = GetSampleSize(info.format());
  if (!size) return Fail(size.error().message, name + ": " + size.error().detail);
  if (info.length_half_blocks() <= 0) {
    return Fail(kMsgDataFileShort, name + ": record length " +
                                       std::to_string(info.length_half_blocks()) +
                                       " half blocks is not positive");
  }
  WaveformReader reader;
  if (source.supplier) {
    reader.format_ = info.format();
    reader.sample_size_ = *size;
    reader.record_samples_ = info.record_samples();
    reader.countable_samples_ = reader.record_samples_ / kBlockSamples * kBlockSamples;
    if (source.sample_count >= 0) {
      if (source.sample_count < 1 || source.sample_count > reader.record_samples_) {
        return Fail(kMsgBadValue, name + ": " + std::to_string(source.sample_count) +
                                      " real samples do not fit a record of " +
                                      std::to_string(reader.record_samples_));
      }
      reader.countable_samples_ = source.sample_count;
      reader.sample_exact_ = true;
    }
    reader.path_ = sts_path;
    reader.supplier_ = source.supplier;
    return reader;
  }
  auto file = OpenRegularFile(sts_path, kMsgDataFileUnopenable);
  if (!file) return file.error();
  reader.fd_ = file->fd.release();
  const auto file_bytes = static_cast<int64_t>(file->size_bytes);
  reader.format_ = info.format();
  reader.sample_size_ = *size;
  reader.record_samples_ = info.record_samples();
  reader.countable_samples_ = reader.record_samples_ / kBlockSamples * kBlockSamples;
  reader.path_ = sts_path;
  const int64_t needed = reader.record_samples_ * reader.sample_size_;
  if (file_bytes < needed) {
    return Fail(kMsgDataFileShort, name + ": the file holds " + std::to_string(file_bytes) +
                                       " bytes, its record needs " + std::to_string(needed) + " (" +
                                       std::to_string(reader.record_samples_) + " samples of " +
                                       std::to_string(reader.sample_size_) + " bytes)");
  }
  ::posix_fadvise(reader.fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
  return reader;
}

Result<WaveformReader> WaveformReader::Duplicate() const {
  WaveformReader copy;
  copy.supplier_ = supplier_;
  copy.fd_ = supplier_ ? -1 : ::fcntl(fd_, F_DUPFD_CLOEXEC, 0);
  if (!supplier_ && copy.fd_ < 0) {
    return Fail(kMsgDataFileUnopenable,
                path_.string() + ": " + std::generic_category().message(errno));
  }
  copy.format_ = format_;
  copy.sample_size_ = sample_size_;
  copy.record_samples_ = record_samples_;
  copy.countable_samples_ = countable_samples_;
  copy.sample_exact_ = sample_exact_;
  copy.path_ = path_;
  return copy;
}

Status WaveformReader::Seek(int64_t index) {
  if (index < 0 || index > record_samples_) {
    return Fail(kMsgBadValue,
                path_.string() + ": sample " + std::to_string(index) + " lies outside the record");
  }
  position_ = index;
  return Ok();
}

Status WaveformReader::Read(std::span<double> out, ExtremePositions* positions) {
  const auto count = static_cast<int64_t>(out.size());
  if (count > record_samples_ - position_) {
    return Fail(kMsgDataFileShort, path_.string() + ": read past the end of the record");
  }
  if (supplier_) {
    // Only real samples are asked for; a sample-exact record is padded with its last real value.
    const int64_t real_end = sample_exact_ ? countable_samples_ : record_samples_;
    const int64_t real = std::clamp<int64_t>(real_end - position_, 0, count);
    if (real > 0) {
      if (auto supplied = supplier_(position_, out.first(static_cast<size_t>(real))); !supplied) {
        return supplied;
      }
    }
    if (real < count) {
      double last = 0.0;
      if (real > 0) {
        last = out[static_cast<size_t>(real - 1)];
      } else if (auto supplied = supplier_(real_end - 1, {&last, 1}); !supplied) {
        return supplied;
      }
      std::fill(out.begin() + real, out.end(), last);
    }
    position_ += count;
    if (positions != nullptr) FindExtremePositions(out, positions);
    return Ok();
  }
  const size_t bytes = out.size() * static_cast<size_t>(sample_size_);
  if (raw_.size() < bytes) raw_.resize(bytes);
  size_t done = 0;
  off_t offset = static_cast<off_t>(position_) * sample_size_;
  while (done < bytes) {
    const ssize_t n =
        ::pread(fd_, raw_.data() + done, bytes - done, offset + static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      return Fail(kMsgDataFileShort,
                  path_.string() + ": " +
                      (n < 0 ? std::generic_category().message(errno) : "the file ended early"));
    }
    done += static_cast<size_t>(n);
  }
  position_ += count;
  return ConvertSamples(format_, out, std::span<const char>(raw_.data(), bytes), positions);
}

}  // namespace torvwy::core
