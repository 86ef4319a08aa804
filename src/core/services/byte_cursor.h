// ByteCursor: bounds-checked little-endian reading of a binary file held in memory.
#pragma once

#include <cstdint>
#include <string_view>

namespace torvwy::core {

/// Reads fields one after another from a byte string. Every read checks that the whole field
/// lies inside the bytes; a read that doesn't fit returns false and leaves the cursor where it
/// was, so a caller never sees half a field.
class ByteCursor {
 public:
  explicit ByteCursor(std::string_view bytes) : bytes_(bytes) {}

  uint64_t offset() const { return offset_; }
  uint64_t size() const { return bytes_.size(); }
  uint64_t remaining() const { return bytes_.size() - offset_; }

  /// True when `count` items of `item_bytes` bytes each lie between the cursor and the end;
  /// false for a negative count and for products that overflow.
  bool Holds(int64_t count, int64_t item_bytes) const;

  bool ReadInt32(int32_t& value);
  bool ReadFloat(float& value);
  bool ReadDouble(double& value);
  /// The next `count` bytes, without copying.
  bool ReadBytes(int64_t count, std::string_view& bytes);
  bool Skip(int64_t count);

 private:
  std::string_view bytes_;
  uint64_t offset_ = 0;
};

}  // namespace torvwy::core
