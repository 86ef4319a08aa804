// ByteBuilder: a binary file put together in memory, field by field, little-endian.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/services/byte_order.h"

namespace torvwy::core {

/// Appends little-endian int32 and IEEE 754 doubles and raw bytes to a growing byte string.
class ByteBuilder {
 public:
  void AppendInt32(int32_t value) {
    char bytes[4];
    StoreInt32(bytes, value);
    bytes_.append(bytes, 4);
  }
  void AppendDouble(double value) {
    char bytes[8];
    StoreDouble(bytes, value);
    bytes_.append(bytes, 8);
  }
  void AppendBytes(std::string_view bytes) { bytes_.append(bytes); }
  void AppendZeros(size_t count) { bytes_.append(count, '\0'); }

  size_t size() const { return bytes_.size(); }
  const std::string& bytes() const { return bytes_; }
  std::string Take() { return std::move(bytes_); }

 private:
  std::string bytes_;
};

}  // namespace torvwy::core
