// Importing the channels of a recording as nodes.
#include "recording/recording_import.h"

#include <cmath>
#include <system_error>

#include "core/data/node_writer.h"
#include "core/services/folders.h"
#include "core/services/message_table.h"
#include "core/services/names.h"

namespace torvwy::recording {
namespace {

std::string Quoted(const std::string& name) { return "'" + name + "'"; }

/// The file of a node that exists already, found without regard to the case of its extension;
/// empty when there is none.
std::filesystem::path ExistingNodeFile(const ImportSettings& settings, const std::string& node) {
  const std::string stem = settings.test + settings.code + "#" + node;
  for (const char* extension : {".sts", ".tsp"}) {
    const auto found = core::FindFileNoCase(settings.data, stem + extension);
    std::error_code ec;
    if (std::filesystem::exists(found, ec)) return found;
  }
  return {};
}

double RateOf(const ChannelInfo& channel, const ImportSettings& settings) {
  return settings.rate_hz > 0 ? settings.rate_hz : channel.rate_hz;
}

/// Counts the samples of an import for its progress.
class ImportTally {
 public:
  ImportTally(int64_t total, const ImportProgress& progress) : total_(total), progress_(progress) {}
  /// Adds `samples`; false when the user cancelled.
  bool Add(int64_t samples) {
    done_ += samples;
    return !progress_ || progress_(done_, total_);
  }

 private:
  int64_t done_ = 0;
  int64_t total_;
  const ImportProgress& progress_;
};

core::Error Cancelled() {
  return core::Fail(core::kMsgCalculationCancelled, "the import was cancelled");
}

/// Writes one node; on failure nothing of it is left.
core::Result<WrittenNode> ImportOne(RecordingReader& recording, const PlannedNode& planned,
                                    const ImportSettings& settings, ImportTally& tally) {
  const ChannelInfo& channel = recording.channels()[planned.channel];
  const bool raw = recording.values_are_raw();
  core::SamplingInfo info;
  info.set_format(settings.format);
  info.set_c2(settings.c2);
  info.set_c1(settings.c1.value_or(1.0));
  info.set_eu(settings.eu ? *settings.eu : channel.unit.empty() ? "EU" : channel.unit);
  info.set_text1("torvwy import");
  info.set_text2(recording.path().filename().string());
  info.set_text3(settings.description);
  info.set_frequency_hz(RateOf(channel, settings));
  if (settings.format == core::kFormatFloatFs) info.set_stored_full_scale(10000.0);
  if (!settings.c1 && !raw) {
    // Engineering units: c1 fits the full scale to the signal, which takes a first pass
    // unless the reader found the largest magnitude already.
    double largest = 0.0;
    if (channel.largest_magnitude) {
      largest = *channel.largest_magnitude;
      if (!tally.Add(channel.length)) return Cancelled();
    } else {
      auto pass = recording.Read(planned.channel, [&](std::span<const double> values) {
        for (const double v : values) largest = std::max(largest, std::fabs(v));
        return tally.Add(static_cast<int64_t>(values.size())) ? core::Ok()
                                                              : core::Status(Cancelled());
      });
      if (!pass) return pass.error();
    }
    if (largest > 0.0) info.set_c1(core::ImportC1(settings.format, largest, settings.c2));
  }
  // A value the node can't keep is said with the file and the channel it comes from.
  const auto of_channel = [&](core::Error error) {
    if (error.message == core::kMsgBadValue) {
      error.detail =
          recording.path().string() + ": channel " + Quoted(channel.name) + ", " + error.detail;
    }
    return error;
  };
  auto writer =
      core::NodeWriter::Open(settings.data, settings.test, settings.code, planned.node, info);
  if (!writer) return of_channel(writer.error());
  auto read = recording.Read(planned.channel, [&](std::span<const double> values) {
    if (auto ok = raw ? writer->Append(values) : writer->AppendEu(values); !ok) {
      return core::Status(of_channel(ok.error()));
    }
    return tally.Add(static_cast<int64_t>(values.size())) ? core::Ok() : core::Status(Cancelled());
  });
  if (!read) return read.error();
  if (writer->samples() != channel.length) {
    return core::Fail(core::kMsgFileRead, recording.path().string() + ": channel " +
                                              Quoted(channel.name) + " gave " +
                                              std::to_string(writer->samples()) + " samples, not " +
                                              std::to_string(channel.length));
  }
  WrittenNode written;
  written.channel = planned.channel;
  written.node = planned.node;
  written.samples = writer->samples();
  auto padding = writer->Commit();
  if (!padding) return of_channel(padding.error());
  written.padding = *padding;
  written.sts_path = writer->sts_path();
  written.tsp_path = writer->tsp_path();
  written.rate_hz = info.frequency_hz();
  written.c1 = writer->info().c1();
  written.c2 = writer->info().c2();
  written.full_scale_eu = writer->full_scale_eu();
  written.eu = writer->info().eu();
  return written;
}

}  // namespace

core::Status CheckImport(const RecordingReader& recording, const std::vector<PlannedNode>& plan,
                         const ImportSettings& settings) {
  using core::Fail;
  using core::kMsgBadValue;
  if (!core::IsKnownFormat(settings.format)) {
    return Fail(core::kMsgUnknownFormat,
                "the sample format " + std::to_string(settings.format) + " is not a known format");
  }
  if (settings.c1 && (*settings.c1 == 0.0 || !std::isfinite(*settings.c1))) {
    return Fail(kMsgBadValue, "c1 must be a finite number other than 0");
  }
  if (settings.c2 == 0.0 || !std::isfinite(settings.c2)) {
    return Fail(kMsgBadValue, "c2 must be a finite number other than 0");
  }
  if (settings.rate_hz < 0.0 || !std::isfinite(settings.rate_hz)) {
    return Fail(kMsgBadValue, "the sampling frequency must be a number > 0");
  }
  if (auto ok = core::CheckName(settings.test, "test name"); !ok) return ok;
  if (auto ok = core::CheckName(settings.code, "test code"); !ok) return ok;
  if (plan.empty()) {
    return Fail(kMsgBadValue, recording.path().string() + ": no channel to import");
  }
  for (const PlannedNode& planned : plan) {
    if (planned.channel >= recording.channels().size()) {
      return Fail(core::kMsgBadName, "no channel " + std::to_string(planned.channel + 1));
    }
    if (auto ok = core::CheckName(planned.node, "node name"); !ok) return ok;
    const ChannelInfo& channel = recording.channels()[planned.channel];
    if (channel.length < 2) {
      return Fail(kMsgBadValue, recording.path().string() + ": channel " + Quoted(channel.name) +
                                    " holds " + std::to_string(channel.length) +
                                    " sample(s); a node needs 2 or more");
    }
    const double rate = RateOf(channel, settings);
    if (!(rate > 0.0) || !std::isfinite(rate)) {
      return Fail(kMsgBadValue, recording.path().string() + ": the file gives no sampling " +
                                    "frequency for channel " + Quoted(channel.name) + "; " +
                                    settings.rate_hint);
    }
  }
  std::vector<std::string> nodes;
  for (const PlannedNode& planned : plan) nodes.push_back(planned.node);
  return CheckNodesFree(settings, nodes);
}

core::Status CheckNodesFree(const ImportSettings& settings, const std::vector<std::string>& nodes) {
  if (settings.overwrite) return core::Ok();
  for (const std::string& node : nodes) {
    const auto existing = ExistingNodeFile(settings, node);
    if (!existing.empty()) {
      return core::Fail(core::kMsgFileWrite, "the node " + settings.test + settings.code + "#" +
                                                 node + " exists already (" + existing.string() +
                                                 "); " + settings.overwrite_hint);
    }
  }
  return core::Ok();
}

ImportOutcome ImportChannels(RecordingReader& recording, const std::vector<PlannedNode>& plan,
                             const ImportSettings& settings, const ImportProgress& progress) {
  ImportOutcome outcome;
  if (auto ok = CheckImport(recording, plan, settings); !ok) {
    outcome.failure = ok.error();
    return outcome;
  }
  std::error_code ec;
  std::filesystem::create_directories(settings.data, ec);
  if (ec) {
    outcome.failure = core::Fail(core::kMsgFileWrite,
                                 "can't create " + settings.data.string() + ": " + ec.message());
    return outcome;
  }
  int64_t total = 0;
  for (const PlannedNode& planned : plan) {
    const ChannelInfo& channel = recording.channels()[planned.channel];
    const bool first_pass = !settings.c1 && !recording.values_are_raw();
    total += channel.length * (first_pass ? 2 : 1);
  }
  ImportTally tally(total, progress);
  for (const PlannedNode& planned : plan) {
    auto written = ImportOne(recording, planned, settings, tally);
    if (!written) {
      core::Error error = written.error();
      if (error.message != core::kMsgCalculationCancelled) {
        error.detail = "node " + planned.node + ": " + error.detail;
      }
      outcome.failure = std::move(error);
      break;
    }
    outcome.written.push_back(std::move(*written));
  }
  return outcome;
}

}  // namespace torvwy::recording
