// ResultFileNode: what a counting result file holds beside the counts, and what reading it found.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/counting/counting_parameters.h"
#include "core/data/sampling_info.h"
#include "core/services/language.h"
#include "core/services/result.h"

namespace torvwy::core {

/// The node a saved result belongs to and how its file was laid out. The three result file
/// records (PeakResultFile, RangeResultFile, RainflowResultFile) carry it beside the engine's
/// record, so that a view, a report or an export needs nothing else.
struct ResultFileNode {
  /// Test name, test code and node name (UTF-8). Not stored in the file: the readers take them
  /// from the file name ("abc12#5.PCM" -> abc, 12, 5), the writers ignore them.
  std::string test_name;
  std::string test_code;
  std::string node_name;
  /// The node's 864-byte sampling record: frequency, c1, c2, format, length, EU and the three
  /// descriptive texts. Older layouts fill only the frequency, c1, c2 and the EU text.
  SamplingInfo sampling;
  /// Whole blocks of the record: from the sampling record for the current layout, as stored by
  /// the older layouts that store it, 0 otherwise. Not written (the record holds it).
  int32_t total_blocks = 0;
  /// Read from an older untagged layout: no envelope is stored, the full scale is 10000.
  bool old_format = false;
  /// Read from one of the oldest layouts, which may not read correctly: the view tells the user
  /// with OldFormatMessage().
  bool old_format_warning = false;
};

/// The notice shown after reading one of the oldest layouts, in `language`.
std::string_view OldFormatMessage(Language language);

/// The full scale F (raw units) a view of a saved result uses: 10000 for an older layout;
/// otherwise by the record's format code, where peak and range results take the format's own
/// full scale also for code 111 and rainflow results the one stored in the record. Fails with
/// the unknown-format message for a code this system doesn't know (0 among them).
Result<double> ResultFullScale(CountingKind kind, const ResultFileNode& node);

}  // namespace torvwy::core
