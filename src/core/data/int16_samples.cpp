// The raw values of 16-bit integer formats and the quotient table over them.
#include "core/data/int16_samples.h"

#include <bit>
#include <memory>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "core/data/sample_format.h"

namespace torvwy::core {

std::optional<Int16Samples> Int16Samples::Of(int32_t format) {
  // One sample converted tells the format's scale: 1 x scale.
  const int16_t one = 1;
  char bytes[2];
  bytes[0] = static_cast<char>(one & 0xff);
  bytes[1] = static_cast<char>((one >> 8) & 0xff);
  double raw = 0.0;
  auto size = GetSampleSize(format);
  if (!size || *size != 2) return std::nullopt;
  if (!ConvertSamples(format, std::span<double>(&raw, 1), std::span<const char>(bytes, 2))) {
    return std::nullopt;
  }
  if (!(raw > 0.0)) return std::nullopt;
  return Int16Samples(raw);
}

std::optional<Int16Steps> Int16Steps::Of(int32_t format) {
  const auto samples = Int16Samples::Of(format);
  if (!samples) return std::nullopt;
  return Int16Steps(samples->scale());
}

QuotientTable::QuotientTable(const Int16Samples& samples, double divisor)
    : samples_(samples), divisor_(divisor), quotients_(Int16Samples::kEntries) {
  for (size_t j = 0; j < quotients_.size(); ++j) quotients_[j] = samples_.Raw(j) / divisor;
}

std::shared_ptr<const QuotientTable> QuotientTable::For(int32_t format, double divisor) {
  const auto samples = Int16Samples::Of(format);
  if (!samples) return nullptr;
  thread_local std::shared_ptr<const QuotientTable> kept;
  if (!kept || kept->samples_.scale() != samples->scale() ||
      std::bit_cast<uint64_t>(kept->divisor_) != std::bit_cast<uint64_t>(divisor)) {
    kept.reset(new QuotientTable(*samples, divisor));
  }
  return kept;
}

void QuotientTable::Divide(std::span<double> values) const {
  const double* quotients = quotients_.data();
  double* x = values.data();
  const size_t n = values.size();
  size_t i = 0;
#if defined(__SSE2__)
  // Two entries at a time, as Entry() finds them: maxpd takes its second operand when the first
  // is NaN, so a NaN goes to entry 0 here too.
  const __m128d inverse = _mm_set1_pd(samples_.inverse());
  const __m128d offset = _mm_set1_pd(32768.5);
  const __m128d last = _mm_set1_pd(static_cast<double>(Int16Samples::kEntries - 1));
  const __m128d zero = _mm_setzero_pd();
  for (; i + 2 <= n; i += 2) {
    const __m128d position = _mm_add_pd(_mm_mul_pd(_mm_loadu_pd(x + i), inverse), offset);
    const __m128i entries = _mm_cvttpd_epi32(_mm_min_pd(_mm_max_pd(position, zero), last));
    const auto first = static_cast<uint32_t>(_mm_cvtsi128_si32(entries));
    const auto second = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(entries, 4)));
    x[i] = quotients[first];
    x[i + 1] = quotients[second];
  }
#endif
  for (; i < n; ++i) x[i] = quotients[samples_.Entry(x[i])];
}

}  // namespace torvwy::core
