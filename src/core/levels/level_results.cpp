// What the level crossing and time-at-level results derive from their counts.
#include <array>
#include <utility>

#include "core/levels/level_crossing_result.h"
#include "core/levels/time_at_level_result.h"

namespace torvwy::core {
namespace {

constexpr std::array<std::pair<CrossingDirection, std::string_view>, 4> kDirectionNames = {{
    {CrossingDirection::kUp, "up"},
    {CrossingDirection::kDown, "down"},
    {CrossingDirection::kBoth, "both"},
    {CrossingDirection::kAstm, "astm"},
}};

}  // namespace

std::string_view CrossingDirectionName(CrossingDirection direction) {
  for (const auto& [d, name] : kDirectionNames) {
    if (d == direction) return name;
  }
  return "astm";
}

std::optional<CrossingDirection> CrossingDirectionNamed(std::string_view name) {
  for (const auto& [d, n] : kDirectionNames) {
    if (n == name) return d;
  }
  return std::nullopt;
}

std::vector<int64_t> LevelCrossingResult::Counts() const {
  std::vector<int64_t> counts(levels.size());
  for (size_t i = 0; i < counts.size() && i < up.size() && i < down.size(); ++i) {
    switch (direction) {
      case CrossingDirection::kUp:
        counts[i] = up[i];
        break;
      case CrossingDirection::kDown:
        counts[i] = down[i];
        break;
      case CrossingDirection::kBoth:
        counts[i] = up[i] + down[i];
        break;
      case CrossingDirection::kAstm:
        // A crossing of the reference level itself counts on the rising slope.
        counts[i] = levels[i] >= reference ? up[i] : down[i];
        break;
    }
  }
  return counts;
}

int64_t TimeAtLevelResult::TotalSamples() const {
  int64_t total = samples_outside;
  for (const int64_t s : samples) total += s;
  return total;
}

std::vector<double> TimeAtLevelResult::Seconds() const {
  std::vector<double> seconds(samples.size());
  for (size_t j = 0; j < samples.size(); ++j) {
    seconds[j] = frequency_hz > 0.0 ? static_cast<double>(samples[j]) / frequency_hz : 0.0;
  }
  return seconds;
}

double TimeAtLevelResult::SecondsOutside() const {
  return frequency_hz > 0.0 ? static_cast<double>(samples_outside) / frequency_hz : 0.0;
}

std::vector<double> TimeAtLevelResult::Fractions() const {
  const int64_t total = TotalSamples();
  std::vector<double> fractions(samples.size());
  for (size_t j = 0; j < samples.size() && total > 0; ++j) {
    fractions[j] = static_cast<double>(samples[j]) / static_cast<double>(total);
  }
  return fractions;
}

std::vector<double> TimeAtLevelResult::Exceedance() const {
  // Summed in samples from the top down, divided once: exact for every count below 2^53.
  const int64_t total = TotalSamples();
  std::vector<double> exceedance(samples.size());
  int64_t above = 0;
  for (size_t j = samples.size(); j-- > 0;) {
    above += samples[j];
    exceedance[j] = total > 0 ? static_cast<double>(above) / static_cast<double>(total) : 0.0;
  }
  return exceedance;
}

}  // namespace torvwy::core
