// The JSON object and the tables of a test programme.
#include "output/programme_output.h"

#include <cmath>
#include <cstdio>
#include <string>

#include "core/services/number_format.h"
#include "output/console_output.h"
#include "output/result_output.h"

namespace torvwy::output {
namespace {

nlohmann::ordered_json Maybe(const std::optional<double>& value) {
  if (!value || !std::isfinite(*value)) return nullptr;
  return *value;
}

std::string MaybeText(const std::optional<double>& value, int digits = 6) {
  if (!value || !std::isfinite(*value)) return "-";
  return core::FormatNumber(*value, digits);
}

}  // namespace

nlohmann::ordered_json ProgrammeJson(const core::ProgrammeResult& result) {
  nlohmann::ordered_json json;
  json["analysis"] = "programme";
  json["programme"] = result.name;
  json["unit"] = result.unit;
  nlohmann::ordered_json events = nlohmann::ordered_json::array();
  for (const core::ProgrammeEventResult& event : result.events) {
    events.push_back({{"label", event.label},
                      {"repeats", event.repeats},
                      {"scale", event.scale},
                      {"cycles", event.cycles},
                      {"damage_per_repeat", event.damage_per_repeat},
                      {"damage", event.damage},
                      {"share", event.share},
                      {"seconds_per_repeat", Maybe(event.seconds_per_repeat)},
                      {"km_per_repeat", Maybe(event.km_per_repeat)}});
  }
  json["events"] = std::move(events);
  json["cross_event_cycles"] = result.cross_event_cycles;
  json["cross_event_damage"] = result.cross_event_damage;
  json["total_damage"] = result.total_damage;
  json["life_programmes"] = Maybe(result.life_programmes);
  json["programme_hours"] = Maybe(result.programme_seconds / 3600.0);
  json["life_hours"] = Maybe(result.life_hours);
  json["programme_km"] = Maybe(result.programme_km);
  json["life_km"] = Maybe(result.life_km);
  nlohmann::ordered_json equivalence = nlohmann::ordered_json::object();
  for (size_t a = 0; a < result.events.size(); ++a) {
    nlohmann::ordered_json row = nlohmann::ordered_json::object();
    for (size_t b = 0; b < result.events.size(); ++b) {
      row[result.events[b].label] = Maybe(result.equivalence[a][b]);
    }
    equivalence[result.events[a].label] = std::move(row);
  }
  json["equivalence"] = std::move(equivalence);
  // The histogram's keys, but for those of a record (its blocks and envelope).
  nlohmann::ordered_json histogram = RainflowJson(result.histogram);
  for (const char* key : {"first_block", "last_block", "envelope"}) histogram.erase(key);
  for (auto& [key, value] : histogram.items()) {
    if (key != "analysis") json[key] = value;
  }
  json["fatigue"] = FatigueJson(result.fatigue);
  json["range_mean"] = RangeMeanMatrixJson(result.range_mean);
  json["damage_matrix"] = RangeMeanMatrixJson(result.damage_matrix);
  json["from_to"] = ClassMatrixJson(result.from_to);
  return json;
}

void PrintProgramme(const core::ProgrammeResult& result) {
  PrintParameter("programme", result.name);
  PrintParameter("partitions N", std::to_string(result.histogram.partitions));
  PrintParameter("amplitude range A",
                 core::ShortestText(result.histogram.amplitude_range) + " " + result.unit);
  PrintParameter("residue", std::string(core::ResidueMethodName(result.histogram.residue)));
  if (result.histogram.gate > 0.0) {
    PrintParameter("gate", core::ShortestText(result.histogram.gate) + " " + result.unit);
  }
  PrintParameter("curve", result.fatigue.curve.name);
  std::printf("\n%-24s  %10s  %14s  %14s  %14s  %8s\n", "event", "repeats", "cycles",
              "damage/repeat", "damage", "share %");
  for (const core::ProgrammeEventResult& event : result.events) {
    std::printf("%-24s  %10lld  %14s  %14s  %14s  %8.2f\n", event.label.c_str(),
                static_cast<long long>(event.repeats), core::ShortestText(event.cycles).c_str(),
                core::FormatNumber(event.damage_per_repeat, 6).c_str(),
                core::FormatNumber(event.damage, 6).c_str(), event.share * 100.0);
  }
  const double cross_share =
      result.total_damage > 0.0 ? result.cross_event_damage / result.total_damage : 0.0;
  std::printf("%-24s  %10s  %14s  %14s  %14s  %8.2f\n", "across events", "",
              core::ShortestText(result.cross_event_cycles).c_str(), "",
              core::FormatNumber(result.cross_event_damage, 6).c_str(), cross_share * 100.0);
  std::printf("%-24s  %10s  %14s  %14s  %14s  %8.2f\n\n", "total", "",
              core::ShortestText(result.fatigue.total_cycles).c_str(), "",
              core::FormatNumber(result.total_damage, 6).c_str(),
              result.total_damage > 0.0 ? 100.0 : 0.0);
  PrintParameter("life in programmes", MaybeText(result.life_programmes));
  PrintParameter("life in hours", MaybeText(result.life_hours));
  PrintParameter("life in km", MaybeText(result.life_km));
}

}  // namespace torvwy::output
