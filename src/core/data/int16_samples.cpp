// The raw values of 16-bit integer formats and the quotient table over them.
#include "core/data/int16_samples.h"

#include <bit>
#include <memory>

#include "core/data/sample_format.h"

namespace torvwy::core {

double Int16FormatScale(int32_t format) {
  // One sample of 1 converted tells the format's scale.
  const char bytes[2] = {1, 0};
  double raw = 0.0;
  auto size = GetSampleSize(format);
  if (!size || *size != 2) return 0.0;
  if (!ConvertSamples(format, std::span<double>(&raw, 1), std::span<const char>(bytes, 2))) {
    return 0.0;
  }
  return raw > 0.0 ? raw : 0.0;
}

QuotientTable::QuotientTable(const Int16Samples& samples, double divisor)
    : samples_(samples), divisor_(divisor), quotients_(Int16Samples::kEntries) {
  for (size_t j = 0; j < quotients_.size(); ++j) quotients_[j] = samples_.Value(j) / divisor;
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
  for (; i + 2 <= n; i += 2) {
    const __m128i entries = samples_.Entries(x + i);
    x[i] = quotients[static_cast<uint32_t>(_mm_cvtsi128_si32(entries))];
    x[i + 1] = quotients[static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(entries, 4)))];
  }
#endif
  for (; i < n; ++i) x[i] = quotients[samples_.Entry(x[i])];
}

}  // namespace torvwy::core
