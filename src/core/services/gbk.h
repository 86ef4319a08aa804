// GBK <-> UTF-8 conversion and cutting GBK texts to fixed byte widths.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace torvwy::core {

/// UTF-8 text as GBK bytes; characters GBK lacks become '?'.
std::string Utf8ToGbk(std::string_view utf8);

/// GBK bytes as UTF-8 text; a byte sequence that is not GBK becomes U+FFFD.
std::string GbkToUtf8(std::string_view gbk);

/// The longest prefix of `gbk` of at most `max_bytes` bytes that ends on a character boundary.
std::string_view CutGbk(std::string_view gbk, size_t max_bytes);

/// Stores UTF-8 `text` into a zero-terminated GBK field: cut to field.size() - 1 bytes at a
/// character boundary, the rest of the field zero-filled.
void StoreGbkField(std::span<char> field, std::string_view text);

/// Reads a zero-terminated GBK field (up to its first zero or its width) as UTF-8.
std::string LoadGbkField(std::span<const char> field);

}  // namespace torvwy::core
