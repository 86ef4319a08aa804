// The floor pass: POSIX read() and a loop the compiler is free to vectorise.
#include "floor.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace torvwy::bench {
namespace {

// Sums `n` samples of type T into four independent sums, so that the loop runs at the speed of
// the conversion, not of one chain of additions.
template <typename T>
double ConvertAndSum(const char* bytes, size_t n) {
  double sums[4] = {0.0, 0.0, 0.0, 0.0};
  size_t i = 0;
  for (; i + 4 <= n; i += 4) {
    for (size_t k = 0; k < 4; ++k) {
      T value;
      std::memcpy(&value, bytes + (i + k) * sizeof(T), sizeof(T));
      sums[k] += static_cast<double>(value);
    }
  }
  for (; i < n; ++i) {
    T value;
    std::memcpy(&value, bytes + i * sizeof(T), sizeof(T));
    sums[0] += static_cast<double>(value);
  }
  return (sums[0] + sums[1]) + (sums[2] + sums[3]);
}

}  // namespace

double FloorPass(const BenchNode& node) {
  const int fd = ::open(node.sts.c_str(), O_RDONLY);
  if (fd < 0) return 0.0;
  const bool int16 = node.info.format() == 951;
  const size_t sample_size = int16 ? 2 : 4;
  std::vector<char> buffer(size_t{4} << 20);
  double sum = 0.0;
  size_t carry = 0;  // bytes of a sample split by a short read
  for (;;) {
    const ssize_t got = ::read(fd, buffer.data() + carry, buffer.size() - carry);
    if (got <= 0) break;
    const size_t bytes = carry + static_cast<size_t>(got);
    const size_t n = bytes / sample_size;
    sum +=
        int16 ? ConvertAndSum<int16_t>(buffer.data(), n) : ConvertAndSum<float>(buffer.data(), n);
    carry = bytes - n * sample_size;
    std::memmove(buffer.data(), buffer.data() + n * sample_size, carry);
  }
  ::close(fd);
  return sum;
}

}  // namespace torvwy::bench
