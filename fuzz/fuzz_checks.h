// What every fuzz target insists on: a clean error or a sound record that the printers of
// `torvwy open` show without fault, else abort.
#pragma once

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "cli/console_output.h"
#include "cli/result_output.h"
#include "core/files/result_file.h"
#include "core/files/result_sections.h"
#include "core/services/message_table.h"

namespace torvwy::fuzz {

/// Sends the printers' output to /dev/null once per process: the targets print every record
/// they accept, and a terminal full of tables would slow the fuzzer to a crawl.
inline void SilencePrinting() {
  static const bool silenced = std::freopen("/dev/null", "w", stdout) != nullptr;
  (void)silenced;
}

/// A file of this process's own to hand the readers that take a path; `bytes` written whole.
inline std::filesystem::path ScratchFile(std::string_view bytes, std::string_view name) {
  const std::filesystem::path path =
      std::filesystem::temp_directory_path() /
      ("torvwy-fuzz-" + std::to_string(::getpid()) + "-" + std::string(name));
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) std::abort();
  return path;
}

inline void Require(bool sound) {
  if (!sound) std::abort();
}

/// Aborts unless the first `n` of `counts` are whole or half counts >= 0 and the rest zero.
template <typename Counts>
void CheckCounts(const Counts& counts, int32_t n) {
  for (size_t i = 0; i < counts.size(); ++i) {
    const auto count = static_cast<double>(counts[i]);
    Require(i < static_cast<size_t>(n) ? core::IsCycleCount(count) : count == 0.0);
  }
}

/// Aborts unless N is 1..2000, the cursor is N / 2, the envelope fits the input, every count is
/// one a counting can give and A and the partition widths are finite.
inline void CheckSound(const core::PeakCountResult& r) {
  CheckCounts(r.two_way_peak_counts, r.partitions);
  CheckCounts(r.two_way_valley_counts, r.partitions);
  CheckCounts(r.two_way_total_counts, r.partitions);
  CheckCounts(r.one_way_peak_counts, r.partitions);
  CheckCounts(r.one_way_valley_counts, r.partitions);
  CheckCounts(r.one_way_total_counts, r.partitions);
  Require(std::isfinite(r.two_way_width) && std::isfinite(r.one_way_width));
}
inline void CheckSound(const core::RangeCountResult& r) {
  CheckCounts(r.two_way_counts, r.partitions);
  CheckCounts(r.one_way_counts, r.partitions);
  Require(std::isfinite(r.two_way_width) && std::isfinite(r.one_way_width));
}
inline void CheckSound(const core::RainflowResult& r) {
  CheckCounts(r.counts, r.partitions);
  Require(std::isfinite(r.partition_width));
}
template <typename Record>
void CheckSound(const Record& r, size_t input_size) {
  Require(r.partitions >= 1 && r.partitions <= core::kMaxPartitions &&
          r.cursor_partition == r.partitions / 2 && r.envelope.size() * 8 <= input_size &&
          std::isfinite(r.amplitude_range));
  CheckSound(r);
}

/// Shows an accepted record as `torvwy open` does: the table and the JSON text.
inline void Show(const core::PeakCountResult& r) {
  cli::PrintPeak(r, "fuzz", "u");
  cli::PrintJson(cli::PeakJson(r));
}
inline void Show(const core::RangeCountResult& r) {
  cli::PrintRange(r, "fuzz", "u");
  cli::PrintJson(cli::RangeJson(r));
}
inline void Show(const core::RainflowResult& r) {
  cli::PrintRainflow(r, "fuzz", "u");
  cli::PrintJson(cli::RainflowJson(r));
}

/// Aborts unless the reader failed with one of the two messages a bad file deserves.
inline void CheckError(const core::Error& error) {
  Require(error.message == core::kMsgResultFileDamaged ||
          error.message == core::kMsgResultFileOpen);
}

/// Records of up to this many partitions go on to the printers. Larger ones take the same
/// printing paths row after row; printing all 2000 rows of each input would slow the fuzzer to
/// a few hundred inputs a second.
constexpr int32_t kShownPartitions = 100;

/// The open path of a counting result: the reader, the value checks, then the printers.
template <typename Read>
void CheckRead(const Read& read, size_t input_size) {
  SilencePrinting();
  if (read) {
    CheckSound(read->result, input_size);
    if (read->result.partitions <= kShownPartitions) Show(read->result);
  } else {
    CheckError(read.error());
  }
}

}  // namespace torvwy::fuzz
