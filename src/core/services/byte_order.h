// Little-endian loads and stores of the binary records.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace torvwy::core {

inline uint64_t LoadLe(const char* p, int bytes) {
  uint64_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(p[i]);
  return v;
}
inline void StoreLe(char* p, uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) p[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}
inline int32_t LoadInt32(const char* p) { return static_cast<int32_t>(LoadLe(p, 4)); }
inline double LoadDouble(const char* p) { return std::bit_cast<double>(LoadLe(p, 8)); }
inline void StoreInt32(char* p, int32_t v) { StoreLe(p, static_cast<uint32_t>(v), 4); }
inline void StoreDouble(char* p, double v) { StoreLe(p, std::bit_cast<uint64_t>(v), 8); }

}  // namespace torvwy::core
