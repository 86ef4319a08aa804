// Reading, checking and writing programme files.
#include "core/programme/programme_file.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>
#include <set>

#include "core/counting/counting_parameters.h"
#include "core/fatigue/sn_class_table.h"
#include "core/services/atomic_file.h"
#include "core/services/file_read.h"
#include "core/services/message_table.h"
#include "core/services/number_format.h"
#include "core/services/text.h"

namespace torvwy::core {
namespace {

constexpr uintmax_t kLargestProgrammeFile = uintmax_t{1} << 20;

Error Bad(const std::string& detail) { return Error{kMsgBadValue, detail}; }

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

std::string_view StripComment(std::string_view line) {
  const size_t at = line.find_first_of(";#");
  return at == std::string_view::npos ? line : line.substr(0, at);
}

std::string Quoted(std::string_view value) { return "\"" + EscapeControlCharacters(value) + "\""; }

/// "[Programme] Key" or "[Event 3] Key": where a fault lies, as every message names it.
std::string Where(std::string_view section, std::string_view key) {
  return "[" + std::string(section) + "] " + std::string(key);
}

std::optional<double> PositiveFinite(std::string_view text) {
  const auto value = ParseFiniteDouble(text);
  if (!value || !(*value > 0.0)) return std::nullopt;
  return value;
}

/// One key of a section: its name as written and its value.
struct Entry {
  std::string key;
  std::string value;
};

/// The keys of one section, by lower-case name.
using Section = std::map<std::string, Entry>;

Status CheckAmplitudeText(std::string_view text, std::string_view where) {
  if (text == "full" || text == "auto") return Ok();
  if (PositiveFinite(text)) return Ok();
  return Bad(std::string(where) + ": " + Quoted(text) +
             " is neither full, auto nor a number above 0");
}

/// A value the file can keep: no comment character and no control character (a line break).
Status CheckWritable(const std::string& value, std::string_view section, std::string_view key) {
  for (const char c : value) {
    if (c == ';' || c == '#' || static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
      return Bad(Where(section, key) + ": " + Quoted(value) +
                 " holds ';', '#' or a control character, which a programme file can't keep");
    }
  }
  return Ok();
}

Status CheckEvent(const ProgrammeEvent& event) {
  const std::string section = "Event " + std::to_string(event.number);
  if (event.number < 1) return Bad("[" + section + "]: an event's number is 1 or more");
  const std::pair<const std::string*, const char*> texts[] = {{&event.data, "Data"},
                                                              {&event.test, "Test"},
                                                              {&event.code, "Code"},
                                                              {&event.node, "Node"},
                                                              {&event.label, "Label"}};
  for (const auto& [value, key] : texts) {
    if (auto ok = CheckWritable(*value, section, key); !ok) return ok;
  }
  const std::pair<const std::string*, const char*> names[] = {
      {&event.data, "Data"}, {&event.test, "Test"}, {&event.code, "Code"}, {&event.node, "Node"}};
  for (const auto& [value, key] : names) {
    if (value->empty()) return Bad(Where(section, key) + ": not given");
  }
  if (event.repeats < 1) {
    return Bad(Where(section, "Repeats") + ": " + std::to_string(event.repeats) +
               " is not a whole number of 1 or more");
  }
  if (!(std::isfinite(event.scale) && event.scale > 0.0)) {
    return Bad(Where(section, "Scale") + ": " + ShortestText(event.scale) +
               " is not a finite number above 0");
  }
  if (event.duration_s && !(std::isfinite(*event.duration_s) && *event.duration_s > 0.0)) {
    return Bad(Where(section, "Duration") + ": " + ShortestText(*event.duration_s) +
               " is not a finite number of seconds above 0");
  }
  if (event.distance_km && !(std::isfinite(*event.distance_km) && *event.distance_km > 0.0)) {
    return Bad(Where(section, "Distance") + ": " + ShortestText(*event.distance_km) +
               " is not a finite number of kilometres above 0");
  }
  return Ok();
}

}  // namespace

std::string ProgrammeEvent::DisplayLabel() const {
  return label.empty() ? "Event " + std::to_string(number) : label;
}

Status CheckProgramme(const Programme& programme) {
  if (auto ok = CheckWritable(programme.name, "Programme", "Name"); !ok) return ok;
  if (auto ok = CheckWritable(programme.curve, "Programme", "Curve"); !ok) return ok;
  if (programme.partitions < 1) {
    return Bad(Where("Programme", "Partitions") + ": " + std::to_string(programme.partitions) +
               " must be 1 or more");
  }
  if (auto ok = CheckAmplitudeText(programme.amplitude, Where("Programme", "Amplitude")); !ok) {
    return ok;
  }
  if (!(std::isfinite(programme.gate) && programme.gate >= 0.0)) {
    return Bad(Where("Programme", "Gate") + ": " + ShortestText(programme.gate) +
               " is not a finite number of 0 or more");
  }
  if (programme.frequency_hz &&
      !(std::isfinite(*programme.frequency_hz) && *programme.frequency_hz > 0.0)) {
    return Bad(Where("Programme", "Frequency") + ": " + ShortestText(*programme.frequency_hz) +
               " is not a finite number of Hz above 0");
  }
  if (programme.events.empty()) return Bad("the programme has no [Event N] section");
  std::set<int32_t> numbers;
  std::map<std::string, int32_t> labels;
  for (const ProgrammeEvent& event : programme.events) {
    if (auto ok = CheckEvent(event); !ok) return ok;
    const std::string section = "Event " + std::to_string(event.number);
    if (!numbers.insert(event.number).second) return Bad("[" + section + "] is given twice");
    const auto [at, added] = labels.emplace(event.DisplayLabel(), event.number);
    if (!added) {
      return Bad(Where(section, "Label") + ": " + Quoted(event.DisplayLabel()) +
                 " is the label of Event " + std::to_string(at->second) + " too");
    }
  }
  if (!std::is_sorted(
          programme.events.begin(), programme.events.end(),
          [](const ProgrammeEvent& a, const ProgrammeEvent& b) { return a.number < b.number; })) {
    return Bad("the programme's events are not in the order of their numbers");
  }
  if (auto choice = ProgrammeFatigueChoice(programme); !choice) return choice.error();
  return Ok();
}

Result<FatigueChoice> ProgrammeFatigueChoice(const Programme& programme) {
  const auto reliability = ParseReliabilityText(programme.reliability, "Reliability");
  if (!reliability) {
    return Bad(Where("Programme", "Reliability") + ": " + reliability.error().detail);
  }
  std::string curve_text = programme.curve;
  // A curve file named relative to the programme lies beside it.
  const bool standard = curve_text.rfind("bs7608:", 0) == 0 || curve_text.rfind("en1993:", 0) == 0;
  if (!standard && !curve_text.empty() && std::filesystem::path(curve_text).is_relative()) {
    curve_text = (programme.folder / curve_text).string();
  }
  auto curve = ParseCurveChoice(curve_text, *reliability);
  if (!curve) return Bad(Where("Programme", "Curve") + ": " + curve.error().detail);
  FatigueChoice choice;
  choice.method = FatigueMethod::kActual;
  choice.curve = std::move(*curve);
  if (programme.mean_correction.empty()) {
    if (programme.ultimate || programme.walker_gamma) {
      return Bad(Where("Programme", programme.ultimate ? "Ultimate" : "WalkerGamma") +
                 ": needs MeanCorrection");
    }
    return choice;
  }
  auto kind = ParseMeanCorrectionName(programme.mean_correction);
  if (!kind || *kind == MeanCorrectionKind::kNone) {
    return Bad(Where("Programme", "MeanCorrection") + ": " + Quoted(programme.mean_correction) +
               " is not one of goodman gerber swt walker");
  }
  choice.correction.kind = *kind;
  if (programme.ultimate) choice.correction.ultimate = *programme.ultimate;
  if (programme.walker_gamma) {
    if (*kind != MeanCorrectionKind::kWalker) {
      return Bad(Where("Programme", "WalkerGamma") + ": needs MeanCorrection=walker");
    }
    choice.correction.walker_gamma = *programme.walker_gamma;
  }
  if (auto ok = CheckMeanCorrection(choice.correction); !ok) {
    return Bad(Where("Programme", "MeanCorrection") + ": " + ok.error().detail);
  }
  return choice;
}

Result<Programme> ParseProgrammeText(std::string_view text, const std::filesystem::path& folder) {
  if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  // Sections in the order met: "programme" or an event number.
  std::optional<Section> head;
  std::map<int32_t, Section> events;
  Section* current = nullptr;
  std::string current_name;
  int line_number = 0;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    const std::string_view raw = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    ++line_number;
    const std::string where = "programme file line " + std::to_string(line_number) + ": ";
    const std::string_view line = Trim(StripComment(raw));
    if (line.empty()) continue;
    if (line.front() == '[') {
      if (line.back() != ']') return Bad(where + "a section name needs its closing ']'");
      const std::string_view name = Trim(line.substr(1, line.size() - 2));
      const std::string lower = Lower(name);
      if (lower == "programme" || lower == "program") {
        if (head) return Bad("[Programme] is given twice");
        head.emplace();
        current = &*head;
        current_name = "Programme";
        continue;
      }
      if (lower.rfind("event", 0) == 0) {
        const auto number = ParseInt32(Trim(std::string_view(name).substr(5)));
        if (!number || *number < 1) {
          return Bad(where + "[" + EscapeControlCharacters(name) +
                     "]: an event section is [Event N] with N a whole number of 1 or more");
        }
        current_name = "Event " + std::to_string(*number);
        if (events.count(*number) != 0) return Bad("[" + current_name + "] is given twice");
        current = &events[*number];
        continue;
      }
      return Bad(where + "unknown section [" + EscapeControlCharacters(name) + "]");
    }
    if (current == nullptr) return Bad(where + "a line before the first section");
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
      return Bad(where + "[" + current_name + "]: not a key=value line");
    }
    const std::string_view key = Trim(line.substr(0, equals));
    const std::string lower = Lower(key);
    if (current->count(lower) != 0) {
      return Bad(Where(current_name, key) + ": given twice");
    }
    (*current)[lower] = Entry{std::string(key), std::string(Trim(line.substr(equals + 1)))};
  }

  Programme programme;
  programme.folder = folder;
  // Each section's keys: read what is known, then refuse what is left.
  const auto take = [](Section& section, std::string_view key) -> std::optional<std::string> {
    const auto at = section.find(std::string(key));
    if (at == section.end()) return std::nullopt;
    std::string value = at->second.value;
    section.erase(at);
    if (value.empty()) return std::nullopt;
    return value;
  };
  const auto unknown = [](const Section& section, const std::string& name) -> Status {
    if (section.empty()) return Ok();
    return Bad(Where(name, section.begin()->second.key) + ": unknown key");
  };
  const auto number = [](const std::optional<std::string>& value, std::string_view where,
                         std::string_view what) -> Result<std::optional<double>> {
    if (!value) return std::optional<double>();
    const auto parsed = ParseFiniteDouble(*value);
    if (!parsed)
      return Bad(std::string(where) + ": " + Quoted(*value) + " is not " + std::string(what));
    return std::optional<double>(*parsed);
  };

  Section programme_keys = head ? *head : Section{};
  if (auto name = take(programme_keys, "name")) programme.name = *name;
  if (auto partitions = take(programme_keys, "partitions")) {
    const auto parsed = ParseInt32(*partitions);
    if (!parsed || *parsed < 1) {
      return Bad(Where("Programme", "Partitions") + ": " + Quoted(*partitions) +
                 " is not a whole number of 1 or more");
    }
    programme.partitions = *parsed;
  }
  if (auto amplitude = take(programme_keys, "amplitude")) programme.amplitude = Lower(*amplitude);
  if (auto residue = take(programme_keys, "residue")) {
    const auto method = ResidueMethodNamed(Lower(*residue));
    if (!method) {
      return Bad(Where("Programme", "Residue") + ": " + Quoted(*residue) +
                 " is not one of half, full, discard, repeated");
    }
    programme.residue = *method;
  }
  auto gate = number(take(programme_keys, "gate"), Where("Programme", "Gate"), "a number");
  if (!gate) return gate.error();
  programme.gate = gate->value_or(0.0);
  if (auto curve = take(programme_keys, "curve")) programme.curve = *curve;
  if (auto reliability = take(programme_keys, "reliability")) programme.reliability = *reliability;
  if (auto correction = take(programme_keys, "meancorrection")) {
    programme.mean_correction = Lower(*correction);
    if (programme.mean_correction == "none") programme.mean_correction.clear();
  }
  auto ultimate =
      number(take(programme_keys, "ultimate"), Where("Programme", "Ultimate"), "a number");
  if (!ultimate) return ultimate.error();
  programme.ultimate = *ultimate;
  auto gamma =
      number(take(programme_keys, "walkergamma"), Where("Programme", "WalkerGamma"), "a number");
  if (!gamma) return gamma.error();
  programme.walker_gamma = *gamma;
  auto frequency =
      number(take(programme_keys, "frequency"), Where("Programme", "Frequency"), "a number");
  if (!frequency) return frequency.error();
  programme.frequency_hz = *frequency;
  if (auto ok = unknown(programme_keys, "Programme"); !ok) return ok.error();

  for (auto& [event_number, keys] : events) {
    ProgrammeEvent event;
    event.number = event_number;
    const std::string section = "Event " + std::to_string(event_number);
    event.data = take(keys, "data").value_or("");
    event.test = take(keys, "test").value_or("");
    event.code = take(keys, "code").value_or("");
    event.node = take(keys, "node").value_or("");
    if (auto repeats = take(keys, "repeats")) {
      const auto parsed = ParseInt(*repeats);
      if (!parsed || *parsed < 1) {
        return Bad(Where(section, "Repeats") + ": " + Quoted(*repeats) +
                   " is not a whole number of 1 or more");
      }
      event.repeats = *parsed;
    }
    if (auto scale = take(keys, "scale")) {
      const auto parsed = PositiveFinite(*scale);
      if (!parsed) {
        return Bad(Where(section, "Scale") + ": " + Quoted(*scale) +
                   " is not a finite number above 0");
      }
      event.scale = *parsed;
    }
    if (auto label = take(keys, "label")) event.label = *label;
    auto duration = number(take(keys, "duration"), Where(section, "Duration"), "a number");
    if (!duration) return duration.error();
    event.duration_s = *duration;
    auto distance = number(take(keys, "distance"), Where(section, "Distance"), "a number");
    if (!distance) return distance.error();
    event.distance_km = *distance;
    if (auto ok = unknown(keys, section); !ok) return ok.error();
    programme.events.push_back(std::move(event));
  }
  if (auto ok = CheckProgramme(programme); !ok) return ok.error();
  return programme;
}

Result<Programme> ReadProgrammeFile(const std::filesystem::path& path) {
  auto bytes = ReadRegularFile(path, kLargestProgrammeFile, kMsgFileRead);
  if (!bytes) {
    std::error_code error;
    if (!std::filesystem::exists(path, error)) {
      return Error{kMsgFileRead, path.string() + ": no programme file"};
    }
    return bytes.error();
  }
  auto programme = ParseProgrammeText(*bytes, path.parent_path());
  if (!programme) {
    return Error{programme.error().message, path.string() + ": " + programme.error().detail};
  }
  return programme;
}

std::string ProgrammeText(const Programme& programme) {
  std::string text = "[Programme]\n";
  const auto line = [&text](std::string_view key, const std::string& value) {
    text += std::string(key) + "=" + value + "\n";
  };
  line("Name", programme.name);
  line("Partitions", std::to_string(programme.partitions));
  line("Amplitude", programme.amplitude);
  line("Residue", std::string(ResidueMethodName(programme.residue)));
  line("Gate", ShortestText(programme.gate));
  line("Curve", programme.curve);
  line("Reliability", programme.reliability);
  if (!programme.mean_correction.empty()) line("MeanCorrection", programme.mean_correction);
  if (programme.ultimate) line("Ultimate", ShortestText(*programme.ultimate));
  if (programme.walker_gamma) line("WalkerGamma", ShortestText(*programme.walker_gamma));
  if (programme.frequency_hz) line("Frequency", ShortestText(*programme.frequency_hz));
  for (const ProgrammeEvent& event : programme.events) {
    text += "\n[Event " + std::to_string(event.number) + "]\n";
    line("Data", event.data);
    line("Test", event.test);
    line("Code", event.code);
    line("Node", event.node);
    line("Repeats", std::to_string(event.repeats));
    line("Scale", ShortestText(event.scale));
    if (!event.label.empty()) line("Label", event.label);
    if (event.duration_s) line("Duration", ShortestText(*event.duration_s));
    if (event.distance_km) line("Distance", ShortestText(*event.distance_km));
  }
  return text;
}

Status SaveProgrammeFile(const std::filesystem::path& path, const Programme& programme) {
  if (auto ok = CheckProgramme(programme); !ok) return ok;
  auto writer = AtomicFileWriter::Open(path, kMsgFileWrite);
  if (!writer) return writer.error();
  writer->Write(ProgrammeText(programme));
  return writer->Commit();
}

}  // namespace torvwy::core
