// Bounds-checked reading of little-endian fields.
#include "core/services/byte_cursor.h"

#include <bit>

#include "core/services/byte_order.h"

namespace torvwy::core {

bool ByteCursor::Holds(int64_t count, int64_t item_bytes) const {
  if (count < 0 || item_bytes <= 0) return false;
  return static_cast<uint64_t>(count) <= remaining() / static_cast<uint64_t>(item_bytes);
}

bool ByteCursor::ReadInt32(int32_t& value) {
  if (!Holds(1, 4)) return false;
  value = LoadInt32(bytes_.data() + offset_);
  offset_ += 4;
  return true;
}

bool ByteCursor::ReadFloat(float& value) {
  if (!Holds(1, 4)) return false;
  value = std::bit_cast<float>(static_cast<uint32_t>(LoadLe(bytes_.data() + offset_, 4)));
  offset_ += 4;
  return true;
}

bool ByteCursor::ReadDouble(double& value) {
  if (!Holds(1, 8)) return false;
  value = LoadDouble(bytes_.data() + offset_);
  offset_ += 8;
  return true;
}

bool ByteCursor::ReadBytes(int64_t count, std::string_view& bytes) {
  if (!Holds(count, 1)) return false;
  bytes = bytes_.substr(offset_, static_cast<size_t>(count));
  offset_ += static_cast<uint64_t>(count);
  return true;
}

bool ByteCursor::Skip(int64_t count) {
  if (!Holds(count, 1)) return false;
  offset_ += static_cast<uint64_t>(count);
  return true;
}

}  // namespace torvwy::core
