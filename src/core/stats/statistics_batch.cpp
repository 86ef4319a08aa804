// RunStatistics: pair enumeration, the thread pool and the row texts.
#include "core/stats/statistics_batch.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

#include "core/data/parameter_file.h"
#include "core/services/code_range.h"
#include "core/services/message_table.h"
#include "core/services/number_format.h"
#include "core/services/progress.h"
#include "core/services/text_catalogue.h"

namespace torvwy::core {
namespace {

std::string RowNumber(int64_t number) {
  char text[32];
  std::snprintf(text, sizeof text, "% 4lld", static_cast<long long>(number));
  return text;
}

/// How often the calling thread polls for a cancel while the workers are inside waveforms.
constexpr auto kPollInterval = std::chrono::milliseconds(10);

/// What one pair gave: nothing (failed), indices or peak-to-peak values; or it was stopped by a
/// cancel half-way (interrupted) and gives nothing either.
struct PairOutcome {
  std::optional<AmplitudeIndicesOfNode> indices;
  std::optional<PeakPeaksOfNode> peak_peaks;
  bool interrupted = false;
  Error why;  ///< what went wrong when the pair gives no row
  bool gives_rows() const {
    return indices.has_value() || (peak_peaks.has_value() && !peak_peaks->entries.empty());
  }
};

PairOutcome ComputePair(const StatisticsParameters& parameters, const StatisticsPair& pair,
                        const CancelPoll& cancelled) {
  PairOutcome outcome;
  try {
    auto tsp = NodeFilePath(parameters.data_path, parameters.test_name, pair.test_code,
                            pair.node_name, ".tsp");
    auto sts = NodeFilePath(parameters.data_path, parameters.test_name, pair.test_code,
                            pair.node_name, ".sts");
    if (!tsp || !sts) {
      outcome.why = !tsp ? tsp.error() : sts.error();
      return outcome;
    }
    if (parameters.content == kStatAmplitudeIndices) {
      auto indices = ComputeAmplitudeIndices(*tsp, *sts, cancelled);
      if (indices) {
        outcome.indices = std::move(*indices);
      } else {
        outcome.interrupted = indices.error().message == kMsgCalculationCancelled;
        outcome.why = indices.error();
      }
    } else {
      auto found = FindLargestPeakPeaks(*tsp, *sts, parameters.peak_peak_count, cancelled);
      if (found) {
        outcome.peak_peaks = std::move(*found);
        if (outcome.peak_peaks->entries.empty()) outcome.why = Error{0, "no half-cycle"};
      } else {
        outcome.interrupted = found.error().message == kMsgCalculationCancelled;
        outcome.why = found.error();
      }
    }
  } catch (const std::exception& error) {
    // A worker must not let an exception escape its thread; one waveform that can't be
    // computed (out of memory, say) never stops the batch: the pair gives no row.
    outcome = PairOutcome{};
    outcome.why = Error{kMsgOutOfMemory, error.what()};
  }
  return outcome;
}

void AddRows(const StatisticsPair& pair, const PairOutcome& outcome, int format,
             StatisticsTable& table) {
  auto number = [format](double value) { return FormatNumber(value, format); };
  if (outcome.indices) {
    const AmplitudeIndices& a = outcome.indices->indices;
    table.rows.push_back({RowNumber(static_cast<int64_t>(table.rows.size()) + 1), pair.test_code,
                          pair.node_name, number(a.peak()), number(a.maximum), number(a.minimum),
                          number(a.mean), number(a.variance), number(a.standard_deviation),
                          number(a.mean_square()), number(a.rms), number(a.maximum - a.mean),
                          number(a.minimum - a.mean), outcome.indices->unit});
    return;
  }
  if (!outcome.peak_peaks) return;
  int rank = 0;
  for (const PeakPeak& e : outcome.peak_peaks->entries) {
    ++rank;
    table.rows.push_back({RowNumber(static_cast<int64_t>(table.rows.size()) + 1),
                          rank == 1 ? pair.test_code : std::string(),
                          rank == 1 ? pair.node_name : std::string(), std::to_string(rank),
                          number(e.difference), number(e.peak), number(e.peak_time_s),
                          number(e.valley), number(e.valley_time_s), outcome.peak_peaks->unit});
  }
}

}  // namespace

std::vector<StatisticsColumn> StatisticsColumns(int32_t content, Language language) {
  const MessageTable messages = LoadMessageTable(language);
  const std::string code(messages[kMsgTestCodeLabel]);
  const std::string node(messages[kMsgNodeLabel]);
  auto tr = [language](TextKey key) { return std::string(Tr(language, key)); };
  const std::string unit = tr(TextKey::kStatUnit);
  if (content == kStatPeakPeaks) {
    const std::string peak = tr(TextKey::kStatPeak);
    const std::string valley = tr(TextKey::kStatValley);
    const std::string time = tr(TextKey::kStatTime);
    return {{"No.", 40},
            {code, 90},
            {node, 90},
            {tr(TextKey::kStatRank), 90},
            {tr(TextKey::kStatPeakPeak), 90},
            {peak, 90},
            {peak + " " + time + "(s)", 90},
            {valley, 90},
            {valley + " " + time + "(s)", 90},
            {unit, 90}};
  }
  const std::string maximum = tr(TextKey::kStatMaximum);
  const std::string minimum = tr(TextKey::kStatMinimum);
  const std::string mean = tr(TextKey::kStatMean);
  return {{"No.", 40},
          {code, 80},
          {node, 80},
          {tr(TextKey::kStatPeakValue), 100},
          {maximum, 80},
          {minimum, 80},
          {mean, 80},
          {tr(TextKey::kStatVariance), 80},
          {tr(TextKey::kStatStdDeviation), 80},
          {tr(TextKey::kStatMeanSquare), 80},
          {tr(TextKey::kStatRms), 80},
          {maximum + "-" + mean, 96},
          {minimum + "-" + mean, 96},
          {unit, 80}};
}

std::vector<StatisticsPair> FindValidPairs(const std::string& data_path,
                                           const std::string& test_name,
                                           const std::vector<std::string>& codes,
                                           const std::vector<std::string>& nodes) {
  std::vector<StatisticsPair> pairs;
  for (const std::string& code : codes) {
    for (const std::string& node : nodes) {
      auto tsp = NodeFilePath(data_path, test_name, code, node, ".tsp");
      std::error_code error;
      if (tsp && std::filesystem::is_regular_file(*tsp, error)) pairs.push_back({code, node});
    }
  }
  return pairs;
}

Result<StatisticsBatch> RunStatistics(const StatisticsParameters& parameters,
                                      const StatisticsRunOptions& options, Progress& progress) {
  if (parameters.content != kStatAmplitudeIndices && parameters.content != kStatPeakPeaks) {
    return Fail(kMsgBadValue, "statistics content " + std::to_string(parameters.content));
  }
  if (parameters.content == kStatPeakPeaks && (parameters.peak_peak_count < kMinPeakPeakCount ||
                                               parameters.peak_peak_count > kMaxPeakPeakCount)) {
    return Fail(kMsgBadValue, "peak-peak number " + std::to_string(parameters.peak_peak_count) +
                                  " is not in 1..200");
  }
  auto codes = ExpandCodeRange(parameters.code_range);
  if (!codes) return codes.error();
  auto nodes = ExpandCodeRange(parameters.node_range);
  if (!nodes) return nodes.error();

  StatisticsBatch batch;
  batch.codes = std::move(*codes);
  batch.nodes = std::move(*nodes);
  batch.table.content = parameters.content;
  batch.table.columns = StatisticsColumns(parameters.content, options.language);

  const std::vector<StatisticsPair> pairs =
      FindValidPairs(parameters.data_path, parameters.test_name, batch.codes, batch.nodes);
  if (pairs.empty()) {
    return Fail(kMsgNoValidDataFile, parameters.data_path + ": " + parameters.test_name + " " +
                                         parameters.code_range + " # " + parameters.node_range);
  }
  batch.valid_pairs = static_cast<int64_t>(pairs.size());
  progress.SetRange(0, batch.valid_pairs);
  progress.SetStep(1);
  progress.SetPos(0);
  const MessageTable messages = LoadMessageTable(options.language);
  progress.SetStatus(messages[kMsgCountingCaption]);

  // Workers take pairs in order, so the pairs begun are always a prefix of the list; the
  // coordinating (calling) thread steps the progress and polls for a cancel after every
  // finished pair and every kPollInterval between; a cancel stops handing out pairs and, through
  // an atomic flag the workers read before every block, stops the pairs under way. The outcomes
  // are turned into rows in pair order at the end.
  size_t thread_count = options.threads > 0 ? static_cast<size_t>(options.threads)
                                            : std::max(1u, std::thread::hardware_concurrency());
  thread_count = std::min(thread_count, pairs.size());
  std::vector<PairOutcome> outcomes(pairs.size());
  std::mutex mutex;
  std::condition_variable changed;
  size_t next_pair = 0;
  size_t acknowledged = 0;       // pairs reported to the progress
  std::vector<size_t> finished;  // pair indices finished and not yet reported
  size_t running = 0;            // workers started and not yet ended
  bool stop = false;
  std::atomic<bool> stop_blocks = false;  // read by the workers without the mutex
  const CancelPoll cancelled = [&stop_blocks] {
    return stop_blocks.load(std::memory_order_relaxed);
  };

  auto worker = [&] {
    while (true) {
      size_t index = 0;
      {
        std::unique_lock lock(mutex);
        // A worker never runs more than the pool's size ahead of the pairs the coordinator has
        // seen, so that a cancel leaves only the pairs under way to finish.
        changed.wait(lock, [&] {
          return stop || next_pair >= pairs.size() || next_pair - acknowledged < thread_count;
        });
        if (stop || next_pair >= pairs.size()) {
          --running;
          changed.notify_all();
          return;
        }
        index = next_pair++;
      }
      PairOutcome outcome = ComputePair(parameters, pairs[index], cancelled);
      {
        std::lock_guard lock(mutex);
        const bool interrupted = outcome.interrupted;
        outcomes[index] = std::move(outcome);
        if (!interrupted) finished.push_back(index);
      }
      changed.notify_all();
    }
  };
  std::vector<std::thread> pool;
  pool.reserve(thread_count);
  for (size_t t = 0; t < thread_count; ++t) {
    {
      std::lock_guard lock(mutex);
      ++running;
    }
    try {
      pool.emplace_back(worker);
    } catch (const std::system_error&) {
      // Fewer threads than asked for still finish the batch; none at all can't.
      std::lock_guard lock(mutex);
      --running;
      break;
    }
  }
  if (pool.empty()) return Fail(kMsgOutOfMemory, "no worker thread could be started");

  {
    std::unique_lock lock(mutex);
    while (true) {
      changed.wait_for(lock, kPollInterval, [&] { return !finished.empty() || running == 0; });
      std::vector<size_t> reported;
      reported.swap(finished);
      const bool all_done = running == 0;
      const bool poll_between = reported.empty() && !all_done && !stop;
      lock.unlock();
      bool cancel = poll_between && progress.CheckCancelButton();
      for (const size_t index : reported) {
        const StatisticsPair& pair = pairs[index];
        progress.SetStatus(std::string(messages[kMsgCountingCaption]) + " " + parameters.test_name +
                           pair.test_code + "#" + pair.node_name + ".tsp");
        progress.StepIt();
        if (progress.CheckCancelButton()) cancel = true;
      }
      lock.lock();
      acknowledged += reported.size();
      changed.notify_all();
      if (cancel && !stop) {
        stop = true;
        stop_blocks.store(true, std::memory_order_relaxed);
        batch.cancelled = true;
      }
      if (all_done && finished.empty()) break;
    }
  }
  for (std::thread& thread : pool) thread.join();

  for (size_t i = 0; i < next_pair; ++i) {
    if (outcomes[i].interrupted) continue;
    ++batch.finished_pairs;
    if (!outcomes[i].gives_rows()) {
      ++batch.failed_pairs;
      if (batch.failures.size() < kReportedFailures) {
        batch.failures.push_back({pairs[i], std::move(outcomes[i].why)});
      }
      continue;
    }
    AddRows(pairs[i], outcomes[i], options.number_format, batch.table);
    batch.results.push_back(
        {pairs[i], std::move(outcomes[i].indices), std::move(outcomes[i].peak_peaks)});
  }
  return batch;
}

std::string DescribeFailures(const StatisticsBatch& batch, const std::string& test_name,
                             Language language) {
  std::string text;
  for (const StatisticsFailure& failure : batch.failures) {
    if (!text.empty()) text += '\n';
    text += test_name + failure.pair.test_code + "#" + failure.pair.node_name + ": " +
            ErrorText(failure.why, language);
  }
  if (batch.failed_pairs > static_cast<int64_t>(batch.failures.size())) {
    text += "\n... (" + std::to_string(batch.failed_pairs) + ")";
  }
  return text;
}

}  // namespace torvwy::core
