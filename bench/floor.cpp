// The floor pass: POSIX read() and a loop the compiler is free to vectorise.
#include "floor.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace torvwy::bench {
namespace {

// Sums `n` samples of type T into four independent sums held in registers, so that the loop
// runs at the speed of the conversion, not of one chain of additions. (Sums kept in an array
// were kept in memory by the compiler: every addition then waited on the store before it, and
// the floor ran at half speed or less, depending on where the stack lay.)
template <typename T>
T SampleAt(const char* bytes, size_t i) {
  T value;
  std::memcpy(&value, bytes + i * sizeof(T), sizeof(T));
  return value;
}

template <typename T>
double ConvertAndSum(const char* bytes, size_t n) {
  double s0 = 0.0;
  double s1 = 0.0;
  double s2 = 0.0;
  double s3 = 0.0;
  size_t i = 0;
  for (; i + 4 <= n; i += 4) {
    s0 += static_cast<double>(SampleAt<T>(bytes, i));
    s1 += static_cast<double>(SampleAt<T>(bytes, i + 1));
    s2 += static_cast<double>(SampleAt<T>(bytes, i + 2));
    s3 += static_cast<double>(SampleAt<T>(bytes, i + 3));
  }
  for (; i < n; ++i) s0 += static_cast<double>(SampleAt<T>(bytes, i));
  return (s0 + s1) + (s2 + s3);
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
