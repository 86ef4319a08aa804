// SnCurve: an S-N curve as data, a weld class, a steel detail category or a curve file.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "core/services/result.h"

namespace torvwy::core {

/// Where a curve comes from.
enum class SnCurveKind : int32_t {
  kWeldClass = 0,       ///< a BS 7608 weld class with its reliability factor
  kDetailCategory = 1,  ///< an EN 1993-1-9 detail category
  kFile = 2,            ///< a curve file of the user's
};

/// The cycles to failure N of a stress range S (S > 0).
///
/// A weld class is the straight line of its table (sn_class_table.h), with no knee.
///
/// A detail category or a curve file is made of up to three pieces:
///
///   log N
///     |  N = Nref (Sref / S)^m1
///     |    `.
///     |      `.  knee (S_k, N_k)
///     |        o---.  N = N_k (S_k / S)^m2
///     |             `---.
///     |                  o cut-off (S_c, N_c): no damage below S_c
///     +-------------------------------------------------- log S (decreasing to the right)
///
///  - above the knee stress S_k (or everywhere when there is no knee), slope m1 through the
///    reference point (Sref, Nref);
///  - below S_k, slope m2 from the knee; without m2 the curve ends at the knee: a stress range
///    below S_k does no damage (a constant-amplitude fatigue limit);
///  - below the cut-off stress S_c, no damage (N is infinite).
/// The pieces meet: N at S_k is N_k from both sides, so the damage is continuous there.
/// A range at exactly S_k or S_c belongs to the piece above it.
struct SnCurve {
  SnCurveKind kind = SnCurveKind::kWeldClass;
  /// How the user names it: "bs7608:F2", "en1993:71", or a curve file's Name (its file name
  /// when it has none).
  std::string name;
  std::string unit;  ///< the stress unit: "N/mm^2" for the standards; a file's Unit, or empty

  // A weld class: indices into kSnClassTable and kReliabilityFactors.
  int32_t class_index = 0;
  int32_t reliability_index = 3;

  // A detail category or a curve file. A knee or cut-off of 0 cycles is none; m2 = 0 is none.
  double reference_range = 0.0;   ///< Sref
  double reference_cycles = 0.0;  ///< Nref
  double slope = 0.0;             ///< m1, the inverse slope above the knee
  double knee_cycles = 0.0;       ///< N_k
  double slope2 = 0.0;            ///< m2, below the knee
  double cutoff_cycles = 0.0;     ///< N_c
  int32_t category = 0;           ///< a detail category: its reference range at 2e6 cycles

  bool is_weld_class() const { return kind == SnCurveKind::kWeldClass; }
  /// S_k; 0 without a knee.
  double knee_range() const;
  /// S_c; 0 without a cut-off.
  double cutoff_range() const;
  /// N(S); +infinity where the curve does no damage (below the knee without m2, below the
  /// cut-off). S must be a positive finite number (NaN otherwise).
  double CyclesToFailure(double stress_range) const;
};

/// The detail categories of EN 1993-1-9 (Delta sigma_C in N/mm^2 at 2e6 cycles), Table 8.1..8.10.
inline constexpr std::array<int32_t, 14> kDetailCategories = {160, 140, 125, 112, 100, 90, 80,
                                                              71,  63,  56,  50,  45,  40, 36};

/// The curve of weld class `class_index` at reliability `reliability_index`; fails (bad-value
/// message) for an index out of range.
Result<SnCurve> WeldClassCurve(int32_t class_index, int32_t reliability_index);

/// The curve of a detail category (one of kDetailCategories): slope 3 through Delta sigma_C at
/// 2e6 cycles, the constant-amplitude limit at 5e6, slope 5 to the cut-off at 1e8.
Result<SnCurve> DetailCategoryCurve(int32_t category);

/// A curve file's text: INI lines under a "[Curve]" section (';' or '#' starts a comment):
///
///   [Curve]
///   Name=Butt weld, ground flush    ; optional, the file name otherwise
///   Unit=MPa                        ; optional
///   ReferenceRange=90               ; Sref > 0
///   ReferenceCycles=2e6             ; Nref > 0
///   Slope=3                         ; m1 > 0
///   KneeCycles=1e7                  ; optional: N_k > 0, on the Slope line
///   Slope2=5                        ; optional, m2 > 0; needs KneeCycles
///   CutoffCycles=1e8                ; optional: N_c > N_k, on the last sloped piece; with a
///                                   ; knee it needs Slope2
///
/// Keys are matched without regard to case; an unknown key, a repeated key, a value that is not
/// a finite number, a slope or reference <= 0, a knee at or above the cut-off, or a missing
/// required key fails (bad-value message) naming the line or key. `file_name` names the curve
/// when the text has no Name.
Result<SnCurve> ParseSnCurveText(std::string_view text, std::string_view file_name);

/// Reads and parses a curve file (UTF-8 or ASCII, at most 64 KiB); fails as ParseSnCurveText or
/// with the file-read message.
Result<SnCurve> ReadSnCurveFile(const std::filesystem::path& path);

/// A curve chosen by text: "bs7608:CLASS" (with `reliability_index`), "en1993:CATEGORY", or the
/// path of a curve file. Fails naming what is wrong.
Result<SnCurve> ParseCurveChoice(std::string_view text, int32_t reliability_index);

}  // namespace torvwy::core
