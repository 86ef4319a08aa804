// The CSV tables of level crossings and time at level.
#include "core/levels/level_csv.h"

#include "core/services/number_format.h"

namespace torvwy::core {

std::string CrossingCsv(const LevelCrossingResult& result) {
  std::string csv = "level,up,down,counted\n";
  const std::vector<int64_t> counts = result.Counts();
  for (size_t i = 0; i < result.levels.size(); ++i) {
    csv += ShortestText(result.levels[i]) + "," + std::to_string(result.up[i]) + "," +
           std::to_string(result.down[i]) + "," + std::to_string(counts[i]) + "\n";
  }
  return csv;
}

std::string TimeAtLevelCsv(const TimeAtLevelResult& result) {
  std::string csv = "lower,upper,samples,seconds,fraction,exceedance\n";
  const std::vector<double> seconds = result.Seconds();
  const std::vector<double> fraction = result.Fractions();
  const std::vector<double> exceedance = result.Exceedance();
  for (size_t j = 0; j < result.samples.size(); ++j) {
    const auto k = static_cast<double>(j);
    csv += ShortestText(k * result.width - result.amplitude_range) + "," +
           ShortestText((k + 1) * result.width - result.amplitude_range) + "," +
           std::to_string(result.samples[j]) + "," + ShortestText(seconds[j]) + "," +
           ShortestText(fraction[j]) + "," + ShortestText(exceedance[j]) + "\n";
  }
  return csv;
}

}  // namespace torvwy::core
