// Int16Samples: the 65536 raw values of a 16-bit integer format, for passes that look a
// sample's derived values up instead of computing them per sample.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace torvwy::core {

/// The scale of a 16-bit integer format: its raw values are s x scale for the samples s, each
/// exact (see ConvertSamples). 0 for a format whose samples are not 16-bit integers.
double Int16FormatScale(int32_t format);

/// The values k x scale of a 16-bit integer format for kCount / 2 <= k < kCount / 2, entry j
/// standing for k = j - kCount / 2: with 65536 entries its raw values (a record of millions of
/// samples holds at most 65536 distinct ones), with 131072 also every difference of two of them.
/// The entry of a value comes back as trunc(value x (1 / scale) + kCount / 2 + 0.5): the product
/// lies within 2^-52 x 65536 of k, far inside the half that the offset leaves on each side.
template <size_t kCount>
class Int16Values {
 public:
  static constexpr size_t kEntries = kCount;

  /// The values of `format`; nullopt for a format whose samples are not 16-bit integers.
  static std::optional<Int16Values> Of(int32_t format) {
    const double scale = Int16FormatScale(format);
    if (scale == 0.0) return std::nullopt;
    return Int16Values(scale);
  }

  double scale() const { return scale_; }

  /// The value of entry j.
  double Value(size_t j) const {
    return static_cast<double>(static_cast<int32_t>(j) - kMiddle) * scale_;
  }

  /// The entry of a value of this format (clamped to the table for any other value; a NaN goes
  /// to entry 0). Written as selections, so that a loop of lookups compiles to min and max.
  size_t Entry(double value) const {
    double position = value * inverse_ + kOffset;
    position = 0.0 < position ? position : 0.0;
    position = position < kLast ? position : kLast;
    return static_cast<size_t>(static_cast<int32_t>(position));
  }

#if defined(__SSE2__)
  /// The entries of two values, as Entry() finds them (maxpd takes its second operand when the
  /// first is NaN), in the two low lanes.
  __m128i Entries(const double* values) const {
    const __m128d position =
        _mm_add_pd(_mm_mul_pd(_mm_loadu_pd(values), _mm_set1_pd(inverse_)), _mm_set1_pd(kOffset));
    const __m128d clamped = _mm_min_pd(_mm_max_pd(position, _mm_setzero_pd()), _mm_set1_pd(kLast));
    return _mm_cvttpd_epi32(clamped);
  }
#endif

 private:
  explicit Int16Values(double scale) : scale_(scale), inverse_(1.0 / scale) {}

  static constexpr int32_t kMiddle = static_cast<int32_t>(kCount / 2);
  static constexpr double kOffset = static_cast<double>(kCount / 2) + 0.5;
  static constexpr double kLast = static_cast<double>(kCount - 1);

  double scale_;
  double inverse_;
};

/// The raw values of a 16-bit format.
using Int16Samples = Int16Values<65536>;
/// The raw values of a 16-bit format and the differences of two of them.
using Int16Steps = Int16Values<131072>;

/// raw / divisor for every raw value of a 16-bit integer format, the very quotients the division
/// gives: a pass divides each sample by a table lookup.
class QuotientTable {
 public:
  /// The table of `format` under `divisor`; the last one made is kept per thread and made again
  /// only when the format's scale or the divisor changes (a batch of nodes of one calibration
  /// builds it once). Null for a format whose samples are not 16-bit integers.
  static std::shared_ptr<const QuotientTable> For(int32_t format, double divisor);

  /// Replaces each raw value of the table's format by its quotient.
  void Divide(std::span<double> values) const;

 private:
  QuotientTable(const Int16Samples& samples, double divisor);

  Int16Samples samples_;
  double divisor_;
  std::vector<double> quotients_;
};

}  // namespace torvwy::core
