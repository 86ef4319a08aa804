// The state of a counter as bytes: what a count that is carried between processes writes and
// reads back, field by field, little-endian.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/services/byte_builder.h"
#include "core/services/byte_cursor.h"

namespace torvwy::core {

/// Appends the fields of a counter's state.
class CountStateWriter {
 public:
  void Int(int64_t value) {
    bytes_.AppendInt32(static_cast<int32_t>(static_cast<uint64_t>(value) & 0xffffffffu));
    bytes_.AppendInt32(static_cast<int32_t>(static_cast<uint64_t>(value) >> 32));
  }
  void Double(double value) { bytes_.AppendDouble(value); }
  void Text(std::string_view text) {
    Int(static_cast<int64_t>(text.size()));
    bytes_.AppendBytes(text);
  }
  template <typename T>
  void Ints(const std::vector<T>& values) {
    Int(static_cast<int64_t>(values.size()));
    for (const T value : values) Int(static_cast<int64_t>(value));
  }
  void Doubles(const double* values, size_t count) {
    Int(static_cast<int64_t>(count));
    for (size_t i = 0; i < count; ++i) Double(values[i]);
  }

  std::string Take() { return bytes_.Take(); }

 private:
  ByteBuilder bytes_;
};

/// Reads the fields back in the order they were written. Every read checks the bytes left; a
/// read that doesn't fit fails, and so does every later one.
class CountStateReader {
 public:
  explicit CountStateReader(std::string_view bytes) : cursor_(bytes) {}

  bool ok() const { return ok_; }
  bool at_end() const { return cursor_.remaining() == 0; }

  int64_t Int() {
    int32_t low = 0, high = 0;
    ok_ = ok_ && cursor_.ReadInt32(low) && cursor_.ReadInt32(high);
    if (!ok_) return 0;
    return static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(high)) << 32) |
                                static_cast<uint32_t>(low));
  }
  /// An integer that must lie in [low, high]; outside it the reader fails.
  int64_t Int(int64_t low, int64_t high) {
    const int64_t value = Int();
    if (value < low || value > high) ok_ = false;
    return ok_ ? value : low;
  }
  double Double() {
    double value = 0.0;
    ok_ = ok_ && cursor_.ReadDouble(value);
    return ok_ ? value : 0.0;
  }
  std::string Text() {
    const int64_t size = Int();
    std::string_view bytes;
    ok_ = ok_ && cursor_.ReadBytes(size, bytes);
    return ok_ ? std::string(bytes) : std::string();
  }
  /// A list of integers of exactly `count` entries (any count when negative).
  template <typename T>
  std::vector<T> Ints(int64_t count = -1) {
    const int64_t size = Int();
    if (!ok_ || (count >= 0 && size != count) || !cursor_.Holds(size, 8)) {
      ok_ = false;
      return {};
    }
    std::vector<T> values(static_cast<size_t>(size));
    for (T& value : values) value = static_cast<T>(Int());
    return values;
  }
  /// A list of doubles of any length (checked against the bytes left before it is allocated).
  std::vector<double> Doubles() {
    const int64_t size = Int();
    if (!ok_ || !cursor_.Holds(size, 8)) {
      ok_ = false;
      return {};
    }
    std::vector<double> values(static_cast<size_t>(size));
    for (double& value : values) value = Double();
    return values;
  }
  bool Fail() { return ok_ = false; }

 private:
  ByteCursor cursor_;
  bool ok_ = true;
};

}  // namespace torvwy::core
