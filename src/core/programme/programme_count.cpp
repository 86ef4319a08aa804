// Counting a programme's events alone and joining them into the programme's history.
#include "core/programme/programme_count.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <future>
#include <limits>
#include <mutex>
#include <thread>

#include "core/counting/counting_parameters.h"
#include "core/counting/partition_index.h"
#include "core/data/block_span.h"
#include "core/data/counting_node.h"
#include "core/fatigue/damage_history.h"
#include "core/fatigue/fatigue_estimate.h"
#include "core/rainflow/rainflow_counter.h"
#include "core/run/block_pass.h"
#include "core/run/counting_method.h"
#include "core/run/counting_plan.h"
#include "core/services/message_table.h"
#include "core/services/number_format.h"
#include "core/services/text.h"

namespace torvwy::core {
namespace {

Error Bad(const std::string& detail) { return Error{kMsgBadValue, detail}; }

std::string SectionOf(const ProgrammeEvent& event) {
  return "[Event " + std::to_string(event.number) + "]";
}

/// A node of a programme's event, opened; fails naming the event's section.
Result<CountingNode> OpenEventNode(const Programme& programme, const ProgrammeEvent& event) {
  std::filesystem::path folder(event.data);
  if (folder.is_relative()) folder = programme.folder / folder;
  auto node = OpenCountingNode(folder, event.test, event.code, event.node);
  if (!node) {
    return Error{node.error().message, SectionOf(event) + " Node: " + node.error().detail};
  }
  return node;
}

/// Reports a worker's blocks to the run's one bar, and its cancel to the worker.
class WorkerProgress : public Progress {
 public:
  WorkerProgress(std::atomic<int64_t>& done, std::atomic<bool>& cancel)
      : done_(done), cancel_(cancel) {}

 protected:
  void OnChanged() override {
    if (position() < last_) last_ = position();
    done_ += position() - last_;
    last_ = position();
  }
  void OnPoll() override {
    if (cancel_) RequestCancel();
  }

 private:
  std::atomic<int64_t>& done_;
  std::atomic<bool>& cancel_;
  int64_t last_ = 0;
};

}  // namespace

void EventCount::SaveState(CountStateWriter& out) const {
  out.Text("torvwy-event-count-1");
  WriteCycleList(out, closed);
  out.Doubles(residue.data(), residue.size());
  WriteCycleList(out, repeat);
  out.Doubles(turning_points.data(), turning_points.size());
  out.Int(samples);
  out.Double(maximum);
  out.Double(minimum);
  out.Double(full_scale_range);
  out.Double(smallest_range);
  out.Double(frequency_hz);
  out.Text(unit);
  out.Int(cancelled);
}

bool EventCount::LoadState(CountStateReader& in) {
  if (in.Text() != "torvwy-event-count-1") return in.Fail();
  if (!ReadCycleList(in, closed)) return false;
  residue = in.Doubles();
  if (!ReadCycleList(in, repeat)) return false;
  turning_points = in.Doubles();
  samples = in.Int(0, std::numeric_limits<int64_t>::max());
  maximum = in.Double();
  minimum = in.Double();
  full_scale_range = in.Double();
  smallest_range = in.Double();
  frequency_hz = in.Double();
  unit = in.Text();
  cancelled = in.Int(0, 1) != 0;
  return in.ok();
}

EventCounter::EventCounter(double scale) : scale_(scale) {
  extractor_.on_turning_point = [this](double point) { turning_points_.push_back(point); };
}

void EventCounter::Feed(std::span<const double> eu) {
  scaled_.resize(eu.size());
  for (size_t i = 0; i < eu.size(); ++i) {
    const double x = eu[i] * scale_;
    scaled_[i] = x;
    if (samples_ == 0 && i == 0) {
      maximum_ = x;
      minimum_ = x;
    }
    maximum_ = std::max(maximum_, x);
    minimum_ = std::min(minimum_, x);
  }
  samples_ += static_cast<int64_t>(eu.size());
  extractor_.Feed(scaled_);
}

EventCount EventCounter::Finish() {
  RainflowCycleExtractor::Parts parts = extractor_.FinishParts();
  EventCount count;
  count.closed = std::move(parts.closed);
  count.residue = std::move(parts.residue);
  count.repeat = std::move(parts.repeat);
  count.turning_points = std::move(turning_points_);
  count.samples = samples_;
  count.maximum = maximum_;
  count.minimum = minimum_;
  return count;
}

Result<EventCount> CountProgrammeEvent(const Programme& programme, size_t index,
                                       Progress& progress) {
  if (index >= programme.events.size())
    return Bad("the programme has no event " + std::to_string(index + 1));
  const ProgrammeEvent& event = programme.events[index];
  auto node = OpenEventNode(programme, event);
  if (!node) return node.error();
  auto reader = WaveformReader::Open(SourceOf(*node), node->info);
  if (!reader) {
    return Error{reader.error().message, SectionOf(event) + " Node: " + reader.error().detail};
  }
  const int64_t blocks = CountableBlocks(reader->countable_samples());
  if (blocks < 1) return Bad(SectionOf(event) + " Node: the record holds no samples");
  const double k = 1.0 / (node->info.c2() * node->info.c1());
  EventCounter counter(event.scale);
  std::vector<double> eu(kBlockSamples);
  BlockPassSetup setup;
  setup.first_block = 1;
  setup.last_block =
      static_cast<int32_t>(std::min<int64_t>(blocks, std::numeric_limits<int32_t>::max()));
  auto pass = RunBlockPass(
      *reader, setup,
      [&](std::span<const double> raw) {
        for (size_t i = 0; i < raw.size(); ++i) eu[i] = raw[i] * k;
        counter.Feed({eu.data(), raw.size()});
        return Ok();
      },
      progress);
  if (!pass) {
    return Error{pass.error().message, SectionOf(event) + " Node: " + pass.error().detail};
  }
  if (pass->cancelled) {
    EventCount cancelled;
    cancelled.cancelled = true;
    return cancelled;
  }
  EventCount count = counter.Finish();
  if (auto full = FullScaleRange(MethodOf(CountingKind::kRainflow), node->info)) {
    count.full_scale_range = *full * event.scale;
  }
  if (auto full_scale = FullScaleOf(node->info)) {
    count.smallest_range = SmallestCountedRange(*full_scale, node->info) * event.scale;
  }
  count.frequency_hz = node->info.frequency_hz();
  count.unit = node->info.eu();
  return count;
}

Result<ProgrammeResult> JoinProgramme(const Programme& programme,
                                      std::span<const EventCount> counts,
                                      const ProgrammeLayout& layout) {
  if (auto ok = CheckProgramme(programme); !ok) return ok.error();
  if (counts.size() != programme.events.size()) {
    return Bad("the programme has " + std::to_string(programme.events.size()) + " events, but " +
               std::to_string(counts.size()) + " counts were given");
  }
  ProgrammeResult result;
  result.name = programme.name;
  for (const EventCount& count : counts) {
    if (count.cancelled) {
      result.cancelled = true;
      return result;
    }
  }
  const auto& events = programme.events;
  result.unit = counts.front().unit;
  for (size_t i = 1; i < counts.size(); ++i) {
    if (counts[i].unit != result.unit) {
      return Bad(SectionOf(events[i]) + " Node: its unit \"" + counts[i].unit +
                 "\" is not the unit \"" + result.unit + "\" of " + SectionOf(events[0]));
    }
  }

  // The amplitude range and the smallest counted range of the whole programme.
  double maximum = -std::numeric_limits<double>::infinity();
  double minimum = std::numeric_limits<double>::infinity();
  double smallest = std::numeric_limits<double>::infinity();
  double full = 0.0;
  for (size_t i = 0; i < counts.size(); ++i) {
    const EventCount& count = counts[i];
    if (count.samples > 0) {
      maximum = std::max(maximum, count.maximum);
      minimum = std::min(minimum, count.minimum);
    }
    smallest = std::min(smallest, count.smallest_range);
    if (programme.amplitude == "full" && !(count.full_scale_range > 0.0)) {
      return Bad(SectionOf(events[i]) +
                 " Node: the record has no full scale for Amplitude=full; "
                 "give auto or a value");
    }
    full = std::max(full, count.full_scale_range);
  }
  if (maximum < minimum) return Bad("the programme's records hold no samples");
  RainflowResult& histogram = result.histogram;
  double amplitude = 0.0;
  if (programme.amplitude == "full") {
    amplitude = full;
    histogram.amplitude_mode = kAmplitudeFullScale;
  } else if (programme.amplitude == "auto") {
    amplitude = (maximum - minimum) * 1.1;
    histogram.amplitude_mode = kAmplitudeAutomatic;
    if (!(amplitude > 0.0)) {
      return Bad("[Programme] Amplitude: the programme is constant at " + ShortestText(maximum) +
                 " " + result.unit + ": the automatic amplitude range is 0; give full or a value");
    }
  } else {
    amplitude = *ParseFiniteDouble(programme.amplitude);
    histogram.amplitude_mode = kAmplitudeSetValue;
    histogram.set_value = amplitude;
  }
  const int32_t partitions = EffectivePartitions(programme.partitions);
  if (auto ok = CheckAmplitudeRange(amplitude, partitions, "[Programme] Amplitude"); !ok) {
    return ok.error();
  }
  histogram.partitions = partitions;
  histogram.amplitude_range = amplitude;
  histogram.partition_width = amplitude / partitions;
  histogram.smallest_range = smallest;
  histogram.cursor_partition = partitions / 2;
  histogram.envelope_maximum = maximum;
  histogram.envelope_minimum = minimum;
  histogram.residue = programme.residue;
  histogram.gate = programme.gate;

  // Every cycle of the history once, in its own order of closing, weighted by how often it
  // occurs; the gate counts with it.
  RainflowCycleExtractor history(programme.residue, programme.gate);
  size_t points = 0;
  for (const EventCount& count : counts) points += count.turning_points.size();
  history.Reserve(points);  // two copies close at most a cycle per point
  for (size_t i = 0; i < counts.size(); ++i) {
    if (!history.FeedRepeated(counts[i].turning_points, events[i].repeats)) {
      return Bad(SectionOf(events[i]) + ": the repeats of its record did not settle");
    }
  }
  const std::vector<RainflowCycle> cycles = history.Finish();

  const PartitionIndex index = PartitionIndex::Rainflow(partitions, histogram.partition_width);
  for (const RainflowCycle& cycle : cycles) {
    if (RainflowCountsRange(histogram, cycle.range)) {
      histogram.counts[static_cast<size_t>(index.Find(cycle.range))] += cycle.count;
    }
  }
  int32_t largest = 0;
  for (int32_t j = 0; j < partitions; ++j) {
    const double whole = std::trunc(histogram.counts[static_cast<size_t>(j)]);
    largest = std::max(largest, whole >= std::numeric_limits<int32_t>::max()
                                    ? std::numeric_limits<int32_t>::max()
                                    : static_cast<int32_t>(whole));
  }
  histogram.largest_count = largest == 0 ? 1 : largest;

  auto choice = ProgrammeFatigueChoice(programme);
  if (!choice) return choice.error();
  auto fatigue = EstimateDamage(*choice, histogram, cycles);
  if (!fatigue) return fatigue.error();
  result.fatigue = std::move(*fatigue);
  auto damages = CycleDamages(*choice, histogram, result.fatigue, cycles);
  if (!damages) return damages.error();

  const int32_t range_bins = layout.range_bins == 0 ? partitions : layout.range_bins;
  auto range_mean = MakeRangeMeanMatrix(cycles, histogram, range_bins, layout.mean_bins);
  if (!range_mean) return range_mean.error();
  result.range_mean = std::move(*range_mean);
  auto damage_matrix =
      MakeRangeMeanMatrix(cycles, histogram, range_bins, layout.mean_bins, *damages);
  if (!damage_matrix) return damage_matrix.error();
  result.damage_matrix = std::move(*damage_matrix);
  auto from_to =
      MakeFromToMatrix(cycles, histogram, layout.classes == 0 ? partitions : layout.classes);
  if (!from_to) return from_to.error();
  result.from_to = std::move(*from_to);

  // Each event's part, and the row of everything else.
  result.events.resize(counts.size());
  for (size_t i = 0; i < counts.size(); ++i) {
    ProgrammeEventResult& part = result.events[i];
    part.label = events[i].DisplayLabel();
    part.repeats = events[i].repeats;
    part.scale = events[i].scale;
    const double frequency =
        programme.frequency_hz ? *programme.frequency_hz : counts[i].frequency_hz;
    if (events[i].duration_s) {
      part.seconds_per_repeat = *events[i].duration_s;
    } else if (frequency > 0.0) {
      part.seconds_per_repeat = static_cast<double>(counts[i].samples) / frequency;
    } else {
      part.seconds_per_repeat = std::numeric_limits<double>::quiet_NaN();
    }
    part.km_per_repeat = events[i].distance_km;
  }
  // Each event's own cycles: those it closes, times its repeats, and those its residue closes
  // with its own next repeat, times its repeats less one; a gate removes those below it.
  for (size_t i = 0; i < counts.size(); ++i) {
    ProgrammeEventResult& part = result.events[i];
    const auto repeats = static_cast<double>(events[i].repeats);
    for (const auto& [list, times] :
         {std::pair{&counts[i].closed, repeats}, std::pair{&counts[i].repeat, repeats - 1.0}}) {
      if (times <= 0.0) continue;
      auto each = CycleDamages(*choice, histogram, result.fatigue, *list);
      if (!each) return each.error();
      double cycles_once = 0.0;
      double damage_once = 0.0;
      for (size_t c = 0; c < list->size(); ++c) {
        const RainflowCycle& cycle = (*list)[c];
        if (cycle.range < programme.gate) continue;
        if (RainflowCountsRange(histogram, cycle.range)) cycles_once += cycle.count;
        damage_once += (*each)[c];
      }
      part.cycles += cycles_once * times;
      part.damage += damage_once * times;
    }
  }
  // Everything else: the cycles that close across events and those counted at the end. The
  // counts are sums of halves and wholes, exact in any order; the damage is what is left of
  // the total, so that the rows add up to it (but for a rounding below it, taken as none).
  result.total_damage = result.fatigue.total_damage;
  result.cross_event_cycles = result.fatigue.total_cycles;
  result.cross_event_damage = result.total_damage;
  for (const ProgrammeEventResult& part : result.events) {
    result.cross_event_cycles -= part.cycles;
    result.cross_event_damage -= part.damage;
  }
  if (result.cross_event_damage < result.total_damage * 1e-12) result.cross_event_damage = 0.0;
  for (ProgrammeEventResult& part : result.events) {
    part.damage_per_repeat = part.damage / static_cast<double>(part.repeats);
    part.share = result.total_damage > 0.0 ? part.damage / result.total_damage : 0.0;
    result.programme_seconds += static_cast<double>(part.repeats) * part.seconds_per_repeat;
    if (part.km_per_repeat) {
      result.programme_km = result.programme_km.value_or(0.0) +
                            static_cast<double>(part.repeats) * *part.km_per_repeat;
    }
  }
  if (result.total_damage > 0.0) {
    result.life_programmes = 1.0 / result.total_damage;
    if (std::isfinite(result.programme_seconds)) {
      result.life_hours = *result.life_programmes * result.programme_seconds / 3600.0;
    }
    if (result.programme_km) result.life_km = *result.life_programmes * *result.programme_km;
  }
  result.equivalence.assign(counts.size(),
                            std::vector<std::optional<double>>(counts.size(), std::nullopt));
  for (size_t a = 0; a < counts.size(); ++a) {
    const double per_a = result.events[a].damage_per_repeat;
    if (!(per_a > 0.0)) continue;
    for (size_t b = 0; b < counts.size(); ++b) {
      result.equivalence[a][b] = result.events[b].damage_per_repeat / per_a;
    }
  }
  return result;
}

Result<ProgrammeResult> RunProgramme(const Programme& programme, int threads, Progress& progress,
                                     const ProgrammeLayout& layout) {
  if (auto ok = CheckProgramme(programme); !ok) return ok.error();
  // Every node is opened and its unit checked before anything is counted.
  int64_t total_blocks = 0;
  std::string unit;
  for (size_t i = 0; i < programme.events.size(); ++i) {
    const ProgrammeEvent& event = programme.events[i];
    auto node = OpenEventNode(programme, event);
    if (!node) return node.error();
    if (i == 0) {
      unit = node->info.eu();
    } else if (node->info.eu() != unit) {
      return Bad(SectionOf(event) + " Node: its unit \"" + node->info.eu() +
                 "\" is not the unit \"" + unit + "\" of " + SectionOf(programme.events[0]));
    }
    total_blocks += (int64_t{node->info.length_half_blocks()} + 1) / 2;
  }

  std::vector<std::optional<Result<EventCount>>> counts(programme.events.size());
  std::atomic<size_t> next{0};
  std::atomic<int64_t> done{0};
  std::atomic<bool> cancel{false};
  const auto work = [&] {
    WorkerProgress worker(done, cancel);
    for (size_t i = next++; i < counts.size(); i = next++) {
      counts[i] = CountProgrammeEvent(programme, i, worker);
      if (!*counts[i] || (*counts[i])->cancelled) cancel = true;
    }
  };
  const int workers =
      std::max(1, std::min(WorkerThreads(threads), static_cast<int>(programme.events.size())));
  progress.SetRange(0, std::max<int64_t>(total_blocks, 1));
  progress.SetPos(0);
  // A cancel asked before the count begins stops it before any worker starts.
  if (progress.CheckCancelButton()) {
    ProgrammeResult result;
    result.name = programme.name;
    result.cancelled = true;
    return result;
  }
  std::vector<std::future<void>> running;
  for (int w = 0; w < workers; ++w) running.push_back(std::async(std::launch::async, work));
  for (auto& worker : running) {
    while (worker.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
      progress.SetPos(std::min(done.load(), progress.upper()));
      if (progress.CheckCancelButton()) cancel = true;
    }
  }
  progress.SetPos(std::min(done.load(), progress.upper()));

  std::vector<EventCount> ready;
  ready.reserve(counts.size());
  bool cancelled = false;
  for (auto& count : counts) {
    // A failure names its event; the first in the programme's order is told.
    if (count && !*count) return count->error();
    if (!count || (*count)->cancelled) {
      cancelled = true;
      continue;
    }
    ready.push_back(std::move(**count));
  }
  if (cancelled) {
    ProgrammeResult result;
    result.name = programme.name;
    result.cancelled = true;
    return result;
  }
  return JoinProgramme(programme, ready, layout);
}

}  // namespace torvwy::core
