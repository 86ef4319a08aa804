// The floor pass: POSIX read() and a loop the compiler is free to vectorise.
#include "floor.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace torvwy::bench {

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
