// S-N curves: the weld classes, the steel detail categories and the curve files.
#include "core/fatigue/sn_curve.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <limits>
#include <optional>
#include <sstream>

#include "core/fatigue/sn_class_table.h"
#include "core/services/message_table.h"
#include "core/services/text.h"

namespace torvwy::core {
namespace {

// EN 1993-1-9, 7.1 and Figure 7.1: the reference point of a detail category is its
// Delta sigma_C at 2 million cycles on slope m = 3; the constant-amplitude fatigue limit
// Delta sigma_D lies at 5 million cycles, below it slope m = 5 runs to the cut-off limit
// Delta sigma_L at 100 million cycles, below which a range does no damage.
constexpr double kCategoryCycles = 2.0e6;
constexpr double kCategorySlope = 3.0;
constexpr double kCategoryKneeCycles = 5.0e6;
constexpr double kCategorySlope2 = 5.0;
constexpr double kCategoryCutoffCycles = 1.0e8;
constexpr std::string_view kStandardUnit = "N/mm^2";

// A curve file is small; anything larger is not one.
constexpr std::uintmax_t kLargestCurveFile = 64 * 1024;

constexpr double kInfinity = std::numeric_limits<double>::infinity();

Error Bad(const std::string& detail) { return {kMsgBadValue, detail}; }

bool Positive(double value) { return std::isfinite(value) && value > 0.0; }

std::string Lower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) {
    return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  });
  return out;
}

/// The line without its comment (';' or '#' to the end of the line).
std::string_view StripComment(std::string_view line) {
  const size_t mark = line.find_first_of(";#");
  return mark == std::string_view::npos ? line : line.substr(0, mark);
}

/// The pieces of a curve are valid: every number positive and finite where given, two slopes
/// only with a knee, the cut-off beyond the knee.
Status CheckPieces(const SnCurve& curve) {
  if (!Positive(curve.reference_range)) return Bad("the reference range must be above 0");
  if (!Positive(curve.reference_cycles)) return Bad("the reference cycle count must be above 0");
  if (!Positive(curve.slope)) return Bad("the slope must be above 0");
  if (curve.knee_cycles != 0.0 && !Positive(curve.knee_cycles)) {
    return Bad("the knee's cycle count must be above 0");
  }
  if (curve.slope2 != 0.0 && !Positive(curve.slope2))
    return Bad("the second slope must be above 0");
  if (curve.cutoff_cycles != 0.0 && !Positive(curve.cutoff_cycles)) {
    return Bad("the cut-off's cycle count must be above 0");
  }
  if (curve.slope2 != 0.0 && curve.knee_cycles == 0.0) {
    return Bad("a second slope needs the knee where it begins (KneeCycles)");
  }
  if (curve.knee_cycles != 0.0 && curve.cutoff_cycles != 0.0) {
    if (!(curve.knee_cycles < curve.cutoff_cycles)) {
      return Bad("the knee must lie below the cut-off (KneeCycles < CutoffCycles)");
    }
    if (curve.slope2 == 0.0) {
      return Bad("the curve ends at its knee: a cut-off beyond it needs the second slope");
    }
  }
  if ((curve.knee_cycles != 0.0 && !Positive(curve.knee_range())) ||
      (curve.cutoff_cycles != 0.0 && !Positive(curve.cutoff_range()))) {
    return Bad("the knee or cut-off lies beyond the range of numbers");
  }
  return Ok();
}

}  // namespace

double SnCurve::knee_range() const {
  if (kind == SnCurveKind::kWeldClass || knee_cycles == 0.0) return 0.0;
  return reference_range * std::pow(reference_cycles / knee_cycles, 1.0 / slope);
}

double SnCurve::cutoff_range() const {
  if (kind == SnCurveKind::kWeldClass || cutoff_cycles == 0.0) return 0.0;
  if (knee_cycles == 0.0) {
    return reference_range * std::pow(reference_cycles / cutoff_cycles, 1.0 / slope);
  }
  if (slope2 == 0.0) return 0.0;
  return knee_range() * std::pow(knee_cycles / cutoff_cycles, 1.0 / slope2);
}

double SnCurve::CyclesToFailure(double stress_range) const {
  if (!Positive(stress_range)) return std::numeric_limits<double>::quiet_NaN();
  if (kind == SnCurveKind::kWeldClass) {
    if (!IsSnClassIndex(class_index) || !IsReliabilityIndex(reliability_index)) {
      return std::numeric_limits<double>::quiet_NaN();
    }
    return core::CyclesToFailure(kSnClassTable[static_cast<size_t>(class_index)],
                                 kReliabilityFactors[static_cast<size_t>(reliability_index)].d,
                                 stress_range);
  }
  const double cutoff = cutoff_range();
  if (cutoff > 0.0 && stress_range < cutoff) return kInfinity;
  const double knee = knee_range();
  if (knee > 0.0 && stress_range < knee) {
    if (slope2 == 0.0) return kInfinity;
    return knee_cycles * std::pow(knee / stress_range, slope2);
  }
  return reference_cycles * std::pow(reference_range / stress_range, slope);
}

Result<SnCurve> WeldClassCurve(int32_t class_index, int32_t reliability_index) {
  if (!IsSnClassIndex(class_index)) {
    return Bad("unknown S-N class index " + std::to_string(class_index));
  }
  if (!IsReliabilityIndex(reliability_index)) {
    return Bad("unknown reliability index " + std::to_string(reliability_index));
  }
  SnCurve curve;
  curve.kind = SnCurveKind::kWeldClass;
  curve.name = "bs7608:" + std::string(kSnClassTable[static_cast<size_t>(class_index)].name);
  curve.unit = kStandardUnit;
  curve.class_index = class_index;
  curve.reliability_index = reliability_index;
  curve.slope = kSnClassTable[static_cast<size_t>(class_index)].m;
  return curve;
}

Result<SnCurve> DetailCategoryCurve(int32_t category) {
  if (std::find(kDetailCategories.begin(), kDetailCategories.end(), category) ==
      kDetailCategories.end()) {
    return Bad("\"" + std::to_string(category) +
               "\" is not a detail category (160 140 125 112 100 90 80 71 63 56 50 45 40 36)");
  }
  SnCurve curve;
  curve.kind = SnCurveKind::kDetailCategory;
  curve.name = "en1993:" + std::to_string(category);
  curve.unit = kStandardUnit;
  curve.category = category;
  curve.reference_range = category;
  curve.reference_cycles = kCategoryCycles;
  curve.slope = kCategorySlope;
  curve.knee_cycles = kCategoryKneeCycles;
  curve.slope2 = kCategorySlope2;
  curve.cutoff_cycles = kCategoryCutoffCycles;
  return curve;
}

Result<SnCurve> ParseSnCurveText(std::string_view text, std::string_view file_name) {
  if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  SnCurve curve;
  curve.kind = SnCurveKind::kFile;
  bool in_curve = false;
  bool section_seen = false;
  std::optional<double> reference_range, reference_cycles, slope, knee, slope2, cutoff;
  std::optional<std::string> name, unit;
  int line_number = 0;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view raw = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    ++line_number;
    const std::string where = "curve file line " + std::to_string(line_number) + ": ";
    const std::string_view line = Trim(StripComment(raw));
    if (line.empty()) continue;
    if (line.front() == '[') {
      if (line.back() != ']') return Bad(where + "a section name needs its closing ']'");
      const std::string section = Lower(Trim(line.substr(1, line.size() - 2)));
      if (section == "curve" && section_seen) return Bad(where + "a second [Curve] section");
      in_curve = section == "curve";
      section_seen = section_seen || in_curve;
      continue;
    }
    if (!in_curve) return Bad(where + "a line outside the [Curve] section");
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos) return Bad(where + "not a key=value line");
    const std::string key = Lower(Trim(line.substr(0, equals)));
    const std::string_view value = Trim(line.substr(equals + 1));
    auto number = [&](std::optional<double>& slot) -> Status {
      if (slot) return Bad(where + "the key \"" + key + "\" is given twice");
      const auto parsed = ParseFiniteDouble(value);
      if (!parsed) {
        return Bad(where + "\"" + EscapeControlCharacters(value) + "\" is not a number");
      }
      slot = *parsed;
      return Ok();
    };
    auto word = [&](std::optional<std::string>& slot) -> Status {
      if (slot) return Bad(where + "the key \"" + key + "\" is given twice");
      slot = std::string(value);
      return Ok();
    };
    Status read = Ok();
    if (key == "name") {
      read = word(name);
    } else if (key == "unit") {
      read = word(unit);
    } else if (key == "referencerange") {
      read = number(reference_range);
    } else if (key == "referencecycles") {
      read = number(reference_cycles);
    } else if (key == "slope") {
      read = number(slope);
    } else if (key == "kneecycles") {
      read = number(knee);
    } else if (key == "slope2") {
      read = number(slope2);
    } else if (key == "cutoffcycles") {
      read = number(cutoff);
    } else {
      return Bad(where + "unknown key \"" + EscapeControlCharacters(key) + "\"");
    }
    if (!read) return read.error();
  }
  if (!section_seen) return Bad("the curve file has no [Curve] section");
  if (!reference_range) return Bad("the curve file gives no ReferenceRange");
  if (!reference_cycles) return Bad("the curve file gives no ReferenceCycles");
  if (!slope) return Bad("the curve file gives no Slope");
  // A zero where a knee, second slope or cut-off may be left out is refused too: 0 would mean
  // "none" to the curve, which the user did not write.
  if ((knee && *knee <= 0.0) || (slope2 && *slope2 <= 0.0) || (cutoff && *cutoff <= 0.0)) {
    return Bad("the knee, second slope and cut-off must be above 0 where given");
  }
  curve.reference_range = *reference_range;
  curve.reference_cycles = *reference_cycles;
  curve.slope = *slope;
  curve.knee_cycles = knee.value_or(0.0);
  curve.slope2 = slope2.value_or(0.0);
  curve.cutoff_cycles = cutoff.value_or(0.0);
  if (auto ok = CheckPieces(curve); !ok) return ok.error();
  curve.name = name && !name->empty() ? *name : std::string(file_name);
  curve.unit = unit.value_or("");
  return curve;
}

Result<SnCurve> ReadSnCurveFile(const std::filesystem::path& path) {
  std::error_code error;
  const auto status = std::filesystem::status(path, error);
  if (error || !std::filesystem::is_regular_file(status)) {
    return Error{kMsgFileRead, path.string() + ": no curve file"};
  }
  const auto size = std::filesystem::file_size(path, error);
  if (error) return Error{kMsgFileRead, path.string() + ": " + error.message()};
  if (size > kLargestCurveFile) {
    return Error{kMsgFileRead, path.string() + ": too large for a curve file (over 64 KiB)"};
  }
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  if (!in.good() && !in.eof()) return Error{kMsgFileRead, path.string() + ": can't be read"};
  auto curve = ParseSnCurveText(bytes.str(), path.filename().string());
  if (!curve) {
    return Bad(path.string() + ": " + curve.error().detail);
  }
  return curve;
}

Result<SnCurve> ParseCurveChoice(std::string_view text, int32_t reliability_index) {
  const std::string lower = Lower(text);
  if (lower.rfind("bs7608:", 0) == 0) {
    const std::string_view name = text.substr(7);
    for (size_t i = 0; i < kSnClassTable.size(); ++i) {
      if (Lower(kSnClassTable[i].name) == Lower(name)) {
        return WeldClassCurve(static_cast<int32_t>(i), reliability_index);
      }
    }
    return Bad("\"" + EscapeControlCharacters(name) +
               "\" is not a weld class (B C D E F F2 G W S T)");
  }
  if (lower.rfind("en1993:", 0) == 0) {
    const auto category = ParseInt32(text.substr(7));
    if (!category) {
      return Bad("\"" + EscapeControlCharacters(text.substr(7)) +
                 "\" is not a detail category (160 140 125 112 100 90 80 71 63 56 50 45 40 36)");
    }
    return DetailCategoryCurve(*category);
  }
  if (text.empty()) return Bad("no curve given");
  return ReadSnCurveFile(std::filesystem::path(std::string(text)));
}

}  // namespace torvwy::core
