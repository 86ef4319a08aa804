// Expanding code range texts such as "1,3,5-9,A1-A7,B5" into lists of codes.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/services/result.h"

namespace torvwy::core {

/// Largest number of codes one range text may expand to; a longer span is refused as malformed.
inline constexpr size_t kMaxExpandedCodes = 100000;

/// Expands a code range text into its codes, in the order written:
///
///   text  = item { "," item }          blanks around items and around "-" are ignored
///   item  = code | code "-" code       a span: the same prefix, numeric tails first <= last
///   code  = prefix digits | any text without blanks, "," or "-"
///
/// "1,3,5-9,A1-A7,B5" gives 1 3 5 6 7 8 9 A1 .. A7 B5. A span keeps the width of a tail written
/// with leading zeros (A08-A10 gives A08 A09 A10). Duplicates are kept. Fails (bad-value message)
/// on an empty text or item, a lone "-", an end without numeric tail, different prefixes, a
/// span that runs backwards, or more than kMaxExpandedCodes codes.
Result<std::vector<std::string>> ExpandCodeRange(std::string_view text);

}  // namespace torvwy::core
