// Reading the life-estimate and cycle-list options of the rainflow command.
#include "cli/fatigue_options.h"

#include <filesystem>

#include "cli/cli_support.h"
#include "core/fatigue/equivalent_load.h"
#include "core/fatigue/life_class_setting.h"
#include "core/fatigue/mean_correction.h"
#include "core/fatigue/sn_class_table.h"
#include "core/fatigue/sn_curve.h"
#include "core/services/message_table.h"
#include "core/services/text.h"

namespace torvwy::cli {
namespace {

core::Error Bad(const std::string& text) { return core::Fail(core::kMsgBadValue, text); }

std::string Quoted(const std::string& text) {
  return "\"" + core::EscapeControlCharacters(text) + "\"";
}

/// A number above 0 (and at most `most`), or nothing.
std::optional<double> PositiveNumber(const std::string& text, double most = 1e300) {
  const auto value = core::ParseFiniteDouble(text);
  if (!value || !(*value > 0.0) || *value > most) return std::nullopt;
  return value;
}

/// Refuses a file whose folder is not there: found before the count, not after it.
core::Status CheckOutputFolder(const std::string& file, const char* option) {
  const std::filesystem::path path(file);
  const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : ".";
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    return core::Fail(core::kMsgFileWrite,
                      std::string(option) + " " + Quoted(file) + " is a folder, not a file");
  }
  if (!std::filesystem::is_directory(folder, ec)) {
    return core::Fail(core::kMsgFileWrite, std::string(option) + " " + Quoted(file) +
                                               ": no such folder " + Quoted(folder.string()));
  }
  return core::Ok();
}

/// The curve of --class, --reliability and --curve.
core::Result<core::SnCurve> ParseCurve(const FatigueOptions& options) {
  int32_t reliability_index = core::kDefaultReliabilityIndex;
  if (!options.reliability.empty()) {
    auto parsed = core::ParseReliabilityText(options.reliability, "--reliability");
    if (!parsed) return parsed.error();
    reliability_index = *parsed;
  }
  std::optional<int32_t> class_index;
  if (!options.sn_class.empty()) {
    auto parsed = core::ParseSnClassName(options.sn_class, "--class");
    if (!parsed) return parsed.error();
    class_index = *parsed;
  }
  if (options.curve.empty()) {
    return core::WeldClassCurve(class_index ? *class_index : core::ReadLifeClassIndex(),
                                reliability_index);
  }
  auto curve = core::ParseCurveChoice(options.curve, reliability_index);
  if (!curve) {
    core::Error error = curve.error();
    error.detail = "--curve " + Quoted(options.curve) + ": " + error.detail;
    return error;
  }
  if (!curve->is_weld_class() && !options.reliability.empty()) {
    return Bad("--reliability applies to the BS 7608 weld classes only, not to --curve " +
               Quoted(options.curve));
  }
  if (class_index && !(curve->is_weld_class() && curve->class_index == *class_index)) {
    return Bad("--class " + Quoted(options.sn_class) + " and --curve " + Quoted(options.curve) +
               " name different curves; give one of them");
  }
  return curve;
}

core::Result<core::MeanCorrection> ParseCorrection(const FatigueOptions& options) {
  core::MeanCorrection correction;
  if (options.mean_correction.empty()) {
    if (!options.ultimate.empty()) return Bad("--ultimate needs --mean-correction");
    if (!options.walker_gamma.empty()) return Bad("--walker-gamma needs --mean-correction walker");
    return correction;
  }
  auto kind = core::ParseMeanCorrectionName(options.mean_correction);
  if (!kind || *kind == core::MeanCorrectionKind::kNone) {
    return Bad("--mean-correction " + Quoted(options.mean_correction) +
               " is not one of goodman gerber swt walker");
  }
  correction.kind = *kind;
  if (!options.ultimate.empty()) {
    const auto ultimate = PositiveNumber(options.ultimate);
    if (!ultimate) {
      return Bad("--ultimate " + Quoted(options.ultimate) +
                 " must be the ultimate strength, a number above 0 (EU)");
    }
    correction.ultimate = *ultimate;
  } else if (*kind == core::MeanCorrectionKind::kGoodman ||
             *kind == core::MeanCorrectionKind::kGerber) {
    return Bad("--mean-correction " + options.mean_correction +
               " needs the ultimate strength: --ultimate SU (EU)");
  }
  if (!options.walker_gamma.empty()) {
    if (*kind != core::MeanCorrectionKind::kWalker) {
      return Bad("--walker-gamma is Walker's exponent: it needs --mean-correction walker");
    }
    const auto gamma = PositiveNumber(options.walker_gamma, 1.0);
    if (!gamma) return Bad("--walker-gamma " + Quoted(options.walker_gamma) + " is not in (0, 1]");
    correction.walker_gamma = *gamma;
  }
  if (auto ok = core::CheckMeanCorrection(correction); !ok) return ok.error();
  return correction;
}

core::Status ParseEquivalentLoads(const FatigueOptions& options, FatigueRequest& request) {
  if (options.del.empty()) {
    if (!options.del_cycles.empty()) return Bad("--del-cycles needs --del");
    if (!options.del_frequency.empty()) return Bad("--del-frequency needs --del");
    return core::Ok();
  }
  size_t from = 0;
  while (true) {
    const size_t comma = options.del.find(',', from);
    const std::string item = options.del.substr(from, comma - from);
    const auto m = PositiveNumber(item);
    if (!m) {
      return Bad("--del " + Quoted(options.del) + ": each Woehler exponent m must be a number " +
                 "above 0, as in --del 3,5,10");
    }
    if (auto ok = core::CheckWoehlerExponent(*m); !ok) {
      return Bad("--del " + Quoted(options.del) + ": " + ok.error().detail);
    }
    request.del_exponents.push_back(*m);
    if (comma == std::string::npos) break;
    from = comma + 1;
  }
  if (!options.del_cycles.empty() && !options.del_frequency.empty()) {
    return Bad("--del-cycles and --del-frequency both give N_eq; give one of them");
  }
  if (!options.del_cycles.empty()) {
    const auto cycles = PositiveNumber(options.del_cycles);
    if (!cycles) {
      return Bad("--del-cycles " + Quoted(options.del_cycles) +
                 " must be the equivalent cycle count N_eq, a number above 0");
    }
    if (auto ok = core::CheckEquivalentCycles(*cycles); !ok) {
      return Bad("--del-cycles " + Quoted(options.del_cycles) + ": " + ok.error().detail);
    }
    request.del_cycles = *cycles;
  }
  if (!options.del_frequency.empty()) {
    const auto frequency = PositiveNumber(options.del_frequency);
    if (!frequency) {
      return Bad("--del-frequency " + Quoted(options.del_frequency) +
                 " must be a number of Hz above 0");
    }
    if (auto ok = core::CheckEquivalentLoadFrequency(*frequency); !ok) {
      return Bad("--del-frequency " + Quoted(options.del_frequency) + ": " + ok.error().detail);
    }
    request.del_frequency_hz = *frequency;
  }
  return core::Ok();
}

core::Status ParseMatrix(const FatigueOptions& options, FatigueRequest& request) {
  if (options.matrix.empty()) {
    if (!options.matrix_bins.empty()) return Bad("--matrix-bins needs --matrix");
    return core::Ok();
  }
  if (auto ok = CheckOutputFolder(options.matrix, "--matrix"); !ok) return ok;
  request.matrix_file = options.matrix;
  if (options.matrix_bins.empty()) return core::Ok();
  const size_t comma = options.matrix_bins.find(',');
  std::optional<int32_t> ranges, means;
  if (comma != std::string::npos) {
    ranges = core::ParseInt32(std::string_view(options.matrix_bins).substr(0, comma));
    means = core::ParseInt32(std::string_view(options.matrix_bins).substr(comma + 1));
  }
  if (!ranges || !means || !core::CheckMatrixBins(*ranges, *means)) {
    return Bad("--matrix-bins " + Quoted(options.matrix_bins) +
               " is not R,M: range and mean bins, whole numbers 1..2000");
  }
  request.matrix_range_bins = *ranges;
  request.matrix_mean_bins = *means;
  return core::Ok();
}

core::Status ParseClassMatrices(const FatigueOptions& options, FatigueRequest& request) {
  if (options.from_to.empty() && options.transitions.empty()) {
    if (!options.classes.empty()) return Bad("--classes needs --from-to or --transitions");
    return core::Ok();
  }
  if (!options.from_to.empty()) {
    if (auto ok = CheckOutputFolder(options.from_to, "--from-to"); !ok) return ok;
    request.from_to_file = options.from_to;
  }
  if (!options.transitions.empty()) {
    if (auto ok = CheckOutputFolder(options.transitions, "--transitions"); !ok) return ok;
    request.transitions_file = options.transitions;
  }
  if (options.classes.empty()) return core::Ok();
  const auto classes = core::ParseInt32(options.classes);
  if (!classes || *classes < 1 || *classes > core::kMaxPartitions) {
    return Bad("--classes " + Quoted(options.classes) + " lies outside 1..2000");
  }
  request.classes = *classes;
  return core::Ok();
}

}  // namespace

void AddFatigueOptions(CLI::App& command, FatigueOptions& options) {
  command
      .add_option("--fatigue", options.fatigue,
                  "Life estimate from the counted cycles (actual) or a fitted distribution "
                  "(fitting); writes listdata.txt in the work folder")
      ->check(NonEmptyValue());
  command
      .add_option("--class", options.sn_class,
                  "S-N weld class: B C D E F F2 G W S T (default: the last one chosen, B)")
      ->check(NonEmptyValue());
  command
      .add_option("--reliability", options.reliability,
                  "Reliability factor d: 0 (50%), 0.5 (69%), 1 (84%), 2 (97.7%, default), "
                  "3 (99.86%)")
      ->check(NonEmptyValue());
  command
      .add_option("--curve", options.curve,
                  "S-N curve of the estimate: bs7608:CLASS (as --class), en1993:CATEGORY "
                  "(36..160) or a curve file")
      ->check(NonEmptyValue());
  command
      .add_option("--mean-correction", options.mean_correction,
                  "Mean-stress correction of each cycle before the damage sum: goodman, "
                  "gerber, swt or walker (needs --fatigue actual)")
      ->check(NonEmptyValue());
  command
      .add_option("--ultimate", options.ultimate,
                  "Ultimate strength Su (EU) of the mean correction; goodman and gerber need "
                  "it")
      ->check(NonEmptyValue());
  command
      .add_option("--walker-gamma", options.walker_gamma,
                  "Walker's exponent gamma, 0 < gamma <= 1 (default 0.5)")
      ->check(NonEmptyValue());
  command
      .add_option("--damage-history", options.damage_history,
                  "Write the cumulative damage against time as this CSV file (needs "
                  "--fatigue actual)")
      ->check(NonEmptyValue());
  command
      .add_option("--del", options.del,
                  "Damage-equivalent loads for these Woehler exponents, e.g. 3,5,10")
      ->check(NonEmptyValue());
  command
      .add_option("--del-cycles", options.del_cycles,
                  "--del: the equivalent cycle count N_eq (default: the counted duration in "
                  "seconds x --del-frequency)")
      ->check(NonEmptyValue());
  command
      .add_option("--del-frequency", options.del_frequency,
                  "--del: the equivalent-load frequency in Hz (default 1)")
      ->check(NonEmptyValue());
  command
      .add_option("--matrix", options.matrix,
                  "Write the range-mean matrix of the cycles as this CSV file")
      ->check(NonEmptyValue());
  command
      .add_option("--matrix-bins", options.matrix_bins,
                  "--matrix: range and mean bins R,M (default: the partitions N and 10)")
      ->check(NonEmptyValue());
  command
      .add_option("--from-to", options.from_to,
                  "Write the from-to matrix of the cycles (the classes of each cycle's first and "
                  "second turning point in [-A, A]) as this CSV file")
      ->check(NonEmptyValue());
  command
      .add_option("--transitions", options.transitions,
                  "Write the transition matrix of the reversals (every step from one turning "
                  "point to the next) as this CSV file")
      ->check(NonEmptyValue());
  command
      .add_option("--classes", options.classes,
                  "--from-to, --transitions: classes M of [-A, A] (1..2000, default: the "
                  "partitions N)")
      ->check(NonEmptyValue());
}

core::Result<FatigueRequest> ParseFatigueRequest(const FatigueOptions& options, bool follow) {
  FatigueRequest request;
  if (options.fatigue.empty()) {
    if (!options.sn_class.empty() || !options.reliability.empty()) {
      return Bad("--class and --reliability need --fatigue actual|fitting");
    }
    if (!options.curve.empty()) return Bad("--curve needs --fatigue actual|fitting");
    for (const auto& [value, name] : {std::pair{&options.mean_correction, "--mean-correction"},
                                      std::pair{&options.ultimate, "--ultimate"},
                                      std::pair{&options.walker_gamma, "--walker-gamma"},
                                      std::pair{&options.damage_history, "--damage-history"}}) {
      if (!value->empty()) return Bad(std::string(name) + " needs --fatigue actual");
    }
  } else {
    core::FatigueChoice choice;
    if (options.fatigue == "actual") {
      choice.method = core::FatigueMethod::kActual;
    } else if (options.fatigue == "fitting") {
      choice.method = core::FatigueMethod::kFitting;
    } else {
      return Bad("--fatigue \"" + options.fatigue + "\" is neither actual nor fitting");
    }
    auto curve = ParseCurve(options);
    if (!curve) return curve.error();
    choice.curve = std::move(*curve);
    const bool fitting = choice.method == core::FatigueMethod::kFitting;
    if (fitting && !options.mean_correction.empty()) {
      return Bad(
          "--mean-correction needs --fatigue actual: a fitted distribution has no cycles "
          "with means to correct");
    }
    if (fitting && !options.damage_history.empty()) {
      return Bad(
          "--damage-history needs --fatigue actual: the damage of a fitted distribution "
          "has no time");
    }
    auto correction = ParseCorrection(options);
    if (!correction) return correction.error();
    choice.correction = *correction;
    if (follow && choice.correction.kind != core::MeanCorrectionKind::kNone) {
      return Bad(
          "--mean-correction can't be used with --follow: the updates while the record "
          "grows could not show the corrected damage");
    }
    request.estimate = std::move(choice);
  }
  if (!options.damage_history.empty()) {
    if (auto ok = CheckOutputFolder(options.damage_history, "--damage-history"); !ok) {
      return ok.error();
    }
    request.damage_history_file = options.damage_history;
  }
  if (auto ok = ParseEquivalentLoads(options, request); !ok) return ok.error();
  if (auto ok = ParseMatrix(options, request); !ok) return ok.error();
  if (auto ok = ParseClassMatrices(options, request); !ok) return ok.error();
  return request;
}

}  // namespace torvwy::cli
