// Int16Samples: the 65536 raw values of a 16-bit integer format, for passes that look a
// sample's derived values up instead of computing them per sample.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace torvwy::core {

/// The raw values of a 16-bit integer format are s x scale for the samples s, each exact (see
/// ConvertSamples), so a record of millions of samples holds at most 65536 distinct raw values.
/// Entry j stands for the sample j - 32768. The entry comes back from a raw value as
/// trunc(raw x (1 / scale) + 32768.5): the product lies within 2^-52 x 32768 of s, far inside
/// the half that the offset leaves on each side.
class Int16Samples {
 public:
  static constexpr size_t kEntries = 65536;

  /// The samples of `format`; nullopt for a format whose samples are not 16-bit integers.
  static std::optional<Int16Samples> Of(int32_t format);

  double scale() const { return scale_; }
  double inverse() const { return inverse_; }

  /// The raw value of entry j, as ConvertSamples gives it.
  double Raw(size_t j) const {
    return static_cast<double>(static_cast<int32_t>(j) - 32768) * scale_;
  }

  /// The entry of a raw value of this format (clamped to the table for any other value).
  size_t Entry(double raw) const {
    // Written as selections, not branches, so that a loop of lookups compiles to min and max;
    // a NaN goes to entry 0.
    double position = raw * inverse_ + 32768.5;
    position = 0.0 < position ? position : 0.0;
    position = position < kLast ? position : kLast;
    return static_cast<size_t>(static_cast<int32_t>(position));
  }

 private:
  explicit Int16Samples(double scale) : scale_(scale), inverse_(1.0 / scale) {}

  static constexpr double kLast = static_cast<double>(kEntries - 1);

  double scale_;
  double inverse_;
};

/// The raw values of a 16-bit integer format and the differences of two of them: all are
/// k x scale (exact) for an integer k with |k| <= 65535, entry j standing for k = j - 65536. The
/// entry of a value comes back as in Int16Samples, with an offset of 65536.5.
class Int16Steps {
 public:
  static constexpr size_t kEntries = 131072;

  /// The steps of `format`; nullopt for a format whose samples are not 16-bit integers.
  static std::optional<Int16Steps> Of(int32_t format);

  double scale() const { return scale_; }
  double inverse() const { return inverse_; }

  /// The value of entry j.
  double Value(size_t j) const {
    return static_cast<double>(static_cast<int32_t>(j) - 65536) * scale_;
  }

  /// The entry of a value of this format (clamped to the table for any other value).
  size_t Entry(double value) const {
    double position = value * inverse_ + 65536.5;
    position = 0.0 < position ? position : 0.0;
    position = position < kLast ? position : kLast;
    return static_cast<size_t>(static_cast<int32_t>(position));
  }

 private:
  explicit Int16Steps(double scale) : scale_(scale), inverse_(1.0 / scale) {}
  static constexpr double kLast = static_cast<double>(kEntries - 1);

  double scale_;
  double inverse_;
};

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
