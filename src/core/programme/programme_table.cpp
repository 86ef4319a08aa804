// Writing the table of a programme's events.
#include "core/programme/programme_table.h"

#include "core/services/atomic_file.h"
#include "core/services/message_table.h"
#include "core/services/number_format.h"
#include "core/services/text.h"

namespace torvwy::core {

std::string ProgrammeTableCsv(const ProgrammeResult& result) {
  std::string csv = "label,repeats,scale,cycles,damage_per_repeat,damage,share\n";
  for (const ProgrammeEventResult& event : result.events) {
    csv += CsvField(event.label) + "," + std::to_string(event.repeats) + "," +
           ShortestText(event.scale) + "," + ShortestText(event.cycles) + "," +
           ShortestText(event.damage_per_repeat) + "," + ShortestText(event.damage) + "," +
           ShortestText(event.share) + "\n";
  }
  const double share =
      result.total_damage > 0.0 ? result.cross_event_damage / result.total_damage : 0.0;
  csv += "across events,,," + ShortestText(result.cross_event_cycles) + ",," +
         ShortestText(result.cross_event_damage) + "," + ShortestText(share) + "\n";
  csv += "total,,," + ShortestText(result.fatigue.total_cycles) + ",," +
         ShortestText(result.total_damage) + "," + (result.total_damage > 0.0 ? "1" : "0") + "\n";
  return csv;
}

Status SaveProgrammeTableCsv(const std::filesystem::path& target, const ProgrammeResult& result) {
  auto writer = AtomicFileWriter::Open(target, kMsgFileWrite);
  if (!writer) return writer.error();
  writer->Write(ProgrammeTableCsv(result));
  return writer->Commit();
}

}  // namespace torvwy::core
