// GBK <-> UTF-8 conversion through glibc iconv.
#include "core/services/gbk.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace torvwy::core {
namespace {

/// Converts with iconv; an unconvertible or invalid input sequence is replaced by
/// `replacement` and skipped (one byte of input, or one UTF-8 character when `from_utf8`).
std::string Convert(const char* to, const char* from, std::string_view in,
                    std::string_view replacement, bool from_utf8) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(in);
  std::string out;
  out.reserve(in.size() * 2 + 4);
  char buffer[1024];
  char* src = const_cast<char*>(in.data());
  size_t src_left = in.size();
  while (src_left > 0) {
    char* dst = buffer;
    size_t dst_left = sizeof(buffer);
    size_t rc = iconv(cd, &src, &src_left, &dst, &dst_left);
    out.append(buffer, static_cast<size_t>(dst - buffer));
    if (rc != static_cast<size_t>(-1)) continue;
    if (errno == E2BIG) continue;
    // EILSEQ or EINVAL: replace the offending character and go on.
    out.append(replacement);
    size_t skip = 1;
    if (from_utf8) {
      const auto lead = static_cast<unsigned char>(*src);
      skip = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    } else if (src_left >= 2) {
      // A lead byte with a valid trail byte is one bad character; anything else one byte.
      const auto lead = static_cast<unsigned char>(src[0]);
      const auto trail = static_cast<unsigned char>(src[1]);
      if (lead >= 0x81 && lead <= 0xFE && trail >= 0x40 && trail <= 0xFE && trail != 0x7F) skip = 2;
    }
    skip = std::min(skip, src_left);
    src += skip;
    src_left -= skip;
  }
  iconv_close(cd);
  return out;
}

}  // namespace

std::string Utf8ToGbk(std::string_view utf8) { return Convert("GBK", "UTF-8", utf8, "?", true); }

std::string GbkToUtf8(std::string_view gbk) {
  return Convert("UTF-8", "GBK", gbk, "\xEF\xBF\xBD", false);
}

std::string_view CutGbk(std::string_view gbk, size_t max_bytes) {
  size_t pos = 0;
  while (pos < gbk.size()) {
    const size_t width = static_cast<unsigned char>(gbk[pos]) >= 0x81 ? 2 : 1;
    if (pos + width > max_bytes || pos + width > gbk.size()) break;
    pos += width;
  }
  return gbk.substr(0, pos);
}

void StoreGbkField(std::span<char> field, std::string_view text) {
  std::fill(field.begin(), field.end(), '\0');
  if (field.empty()) return;
  const std::string gbk = Utf8ToGbk(text);
  const std::string_view cut = CutGbk(gbk, field.size() - 1);
  std::memcpy(field.data(), cut.data(), cut.size());
}

std::string LoadGbkField(std::span<const char> field) {
  const auto end = std::find(field.begin(), field.end(), '\0');
  return GbkToUtf8(std::string_view(field.data(), static_cast<size_t>(end - field.begin())));
}

}  // namespace torvwy::core
