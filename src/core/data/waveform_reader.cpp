// WaveformReader: checked, 64-bit, buffered reading of raw samples.
#include "core/data/waveform_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <limits>
#include <string>
#include <system_error>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

bool WaveformReader::may_hold_non_finite() const {
  return static_cast<bool>(supplier_) || format_ == kFormatFloat32 || format_ == kFormatFloatFs ||
         format_ == kFormatFloat64;
}

namespace {

// Index of the first sample that is NaN or infinite, or n. x - x is 0 for a finite x and NaN
// otherwise, so a sum of them tells at once whether a stretch needs searching.
size_t FirstNonFinite(const double* x, size_t n) {
  constexpr size_t kStretch = 256;
  for (size_t begin = 0; begin < n; begin += kStretch) {
    const size_t end = std::min(n, begin + kStretch);
    size_t i = begin;
    double sum = 0.0;
#if defined(__SSE2__)
    __m128d s0 = _mm_setzero_pd(), s1 = s0;
    for (; i + 4 <= end; i += 4) {
      const __m128d a = _mm_loadu_pd(x + i);
      const __m128d b = _mm_loadu_pd(x + i + 2);
      s0 = _mm_add_pd(s0, _mm_sub_pd(a, a));
      s1 = _mm_add_pd(s1, _mm_sub_pd(b, b));
    }
    double lanes[2];
    _mm_storeu_pd(lanes, _mm_add_pd(s0, s1));
    sum = lanes[0] + lanes[1];
#endif
    for (; i < end; ++i) sum += x[i] - x[i];
    if (sum == 0.0) continue;
    for (size_t j = begin; j < end; ++j) {
      if (!std::isfinite(x[j])) return j;
    }
  }
  return n;
}

}  // namespace

Status WaveformReader::CheckFinite(std::span<const double> samples, int64_t first_sample) const {
  if (!may_hold_non_finite()) return Ok();
  const size_t at = FirstNonFinite(samples.data(), samples.size());
  if (at == samples.size()) return Ok();
  const int64_t index = first_sample + static_cast<int64_t>(at);
  const double value = samples[at];
  return Fail(kMsgBadValue, path_.string() + ": sample " +
                                std::to_string(index % kBlockSamples + 1) + " of block " +
                                std::to_string(index / kBlockSamples + 1) + " is " +
                                (std::isnan(value) ? "not a number"
                                 : value > 0       ? "+infinity"
                                                   : "-infinity") +
                                "; a count needs finite samples");
}

}  // namespace torvwy::core
