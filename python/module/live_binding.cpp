// Live counting from Python: numpy arrays fed to a count that grows with its record, and the
// follow of a node being recorded, both giving the result file record at any moment.
#include "live_binding.h"

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

#include "binding_support.h"
#include "core/counting/counting_parameters.h"
#include "core/files/result_file.h"
#include "core/run/counting_run.h"
#include "core/run/live_counter.h"
#include "core/run/record_follower.h"
#include "core/services/message_table.h"
#include "core/services/names.h"
#include "result_dict.h"
#include "result_file_handle.h"
#include "sample_array.h"

namespace py = pybind11;

namespace torvwy::python {
namespace {

/// Whether `c1` is one a first piece decides for a float64 record: a power of two.
bool IsPowerOfTwo(double c1) {
  int exponent = 0;
  return c1 > 0.0 && std::isfinite(c1) && std::frexp(c1, &exponent) == 0.5;
}

/// A count of a record that arrives as numpy arrays, one after the other, counted as an array of
/// all of them would be (ArrayInfo, CountArray): each value scaled to the raw value the import
/// would store. Without a full scale, the first piece fed decides c1 by the import's rule, and
/// it stays for the rest of the record.
///
/// It keeps no samples, so it has no overview of its record; the extremes of the samples are
/// what an overview of any record gives as its largest and smallest value (each of its values
/// is a sample divided once by c2 x c1), and a result carries those with an empty overview.
class LiveCount {
 public:
  LiveCount(const core::CountingPlan& plan, std::optional<double> frequency_hz,
            std::optional<double> full_scale_eu, const std::string& unit, bool keep_cycles)
      : frequency_hz_(frequency_hz), unit_(unit) {
    setup_.kind = plan.kind;
    setup_.partitions = plan.parameters.partitions;
    setup_.amplitude_mode = plan.parameters.amplitude_mode;
    setup_.set_value = plan.parameters.set_value;
    setup_.keep_cycles = keep_cycles;
    setup_.residue = plan.residue.value_or(core::ResidueMethod::kHalf);
    setup_.gate = plan.gate;
    setup_.info = ArrayInfo(0, 0.0, frequency_hz, full_scale_eu, unit);
    // A setup the count refuses is refused here, not at the first piece.
    auto counter = core::LiveCounter::Create(setup_);
    if (!counter) throw py::value_error(ErrorMessage(counter.error()));
    if (full_scale_eu) counter_.emplace(std::move(*counter));
  }

  /// Counts the values of `array` after those fed before. Refuses (ValueError, nothing counted)
  /// an array of another shape or type and one holding a value that is not a finite number,
  /// named by its index in the whole record.
  void Feed(const py::array& array) {
    const SampleArray samples(array);
    if (samples.size() == 0) return;
    const int64_t fed = Fed();
    if (const int64_t bad = samples.FirstNonFinite(); bad >= 0) {
      throw py::value_error("the value at index " + std::to_string(fed + bad) +
                            " is not a finite number");
    }
    core::Status status = core::Ok();
    {
      py::gil_scoped_release release;
      const std::lock_guard<std::mutex> lock(mutex_);
      if (!counter_) status = Begin(samples.LargestMagnitude());
      if (status) status = FeedRaw(samples);
    }
    if (!status) Raise(status.error());
  }

  int64_t Fed() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return counter_ ? counter_->samples_fed() : 0;
  }

  /// c1 of the record; None before the first piece when no full scale was given.
  std::optional<double> c1() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (!counter_) return std::nullopt;
    return counter_->setup().info.c1();
  }

  /// The result of every value fed, as CountArray gives it for an array of them, with an empty
  /// overview. ValueError with fewer than two values fed.
  ResultFile Snapshot() const {
    const int64_t fed = Fed();
    if (fed < 2) {
      throw py::value_error("the counter holds " + std::to_string(fed) +
                            (fed == 1 ? " value" : " values") + "; a result needs two or more");
    }
    std::optional<core::Result<core::AnyResultFile>> snapshot;
    core::SamplingInfo info;
    double lowest = 0.0, highest = 0.0;
    {
      py::gil_scoped_release release;
      const std::lock_guard<std::mutex> lock(mutex_);
      snapshot.emplace(counter_->Snapshot());
      info = counter_->setup().info;
      lowest = lowest_;
      highest = highest_;
    }
    core::AnyResultFile file = Take(std::move(*snapshot));
    core::ResultFileNode& node = core::NodeOf(file);
    node.test_name = "array";
    node.test_code = "1";
    node.node_name = "1";
    node.sampling = info;
    SetArrayLength(node.sampling, fed);
    node.total_blocks = node.sampling.whole_blocks();
    const double divisor = info.c2() * info.c1();
    std::visit(
        [&](auto& record) {
          record.result.envelope.clear();
          record.result.envelope_maximum = highest / divisor;
          record.result.envelope_minimum = lowest / divisor;
        },
        file);
    return ResultFile(std::move(file));
  }

  /// Every cycle so far (rainflow kept with keep_cycles), as rainflow_cycles gives them.
  py::tuple Cycles() const {
    if (setup_.kind != core::CountingKind::kRainflow || !setup_.keep_cycles) {
      throw py::value_error("the cycles are kept by a rainflow counter made with keep_cycles=True");
    }
    std::vector<core::RainflowCycle> cycles;
    {
      py::gil_scoped_release release;
      const std::lock_guard<std::mutex> lock(mutex_);
      if (counter_) cycles = counter_->Cycles();
    }
    return CyclesTuple(cycles, 0);
  }

  /// The state of the count: (bytes, smallest raw value, largest raw value), or None before the
  /// first piece when the first piece is still to decide the full scale.
  py::object State() const {
    if (!counter_) return py::none();
    std::optional<core::Result<std::string>> bytes;
    {
      py::gil_scoped_release release;
      const std::lock_guard<std::mutex> lock(mutex_);
      bytes.emplace(counter_->SaveState());
    }
    return py::make_tuple(py::bytes(Take(std::move(*bytes))), lowest_, highest_);
  }

  /// Goes on from a State() of a counter made with the same options and fed `samples`. Refuses
  /// (ValueError "the live count state is damaged: ...", nothing changed) bytes the core
  /// refuses, a setup other than this counter's, a count of another number of samples, counts
  /// more than so many samples can hold, and extremes that can't be theirs.
  void Restore(const py::bytes& bytes, double lowest, double highest, int64_t samples) {
    const std::string state = bytes;
    std::optional<core::Result<core::LiveCounter>> restored;
    core::Status checked = core::Ok();
    {
      py::gil_scoped_release release;
      restored.emplace(core::LiveCounter::Restore(state));
      if (*restored) checked = CheckRestored(**restored, lowest, highest, samples);
    }
    if (!*restored) checked = restored->error();
    if (!checked) throw py::value_error(ErrorMessage(checked.error()));
    const std::lock_guard<std::mutex> lock(mutex_);
    setup_ = (*restored)->setup();
    counter_.emplace(std::move(**restored));
    lowest_ = lowest;
    highest_ = highest;
  }

 private:
  /// Creates the count with c1 chosen for the first piece's largest magnitude.
  core::Status Begin(double largest_magnitude) {
    setup_.info = ArrayInfo(0, largest_magnitude, frequency_hz_, std::nullopt, unit_);
    auto counter = core::LiveCounter::Create(setup_);
    if (!counter) return counter.error();
    counter_.emplace(std::move(*counter));
    return core::Ok();
  }

  /// Scales the values to raw units and feeds them; keeps their extremes.
  core::Status FeedRaw(const SampleArray& samples) {
    const double factor = setup_.info.c2() * setup_.info.c1();
    if (counter_->samples_fed() == 0) {
      samples.ForEachChunk(0, 1, [&](std::span<const double> first) {
        lowest_ = highest_ = first[0] * factor;
        return false;
      });
    }
    std::vector<double> raw;
    core::Status status = core::Ok();
    samples.ForEachChunk(0, samples.size(), [&](std::span<const double> values) {
      raw.resize(values.size());
      for (size_t i = 0; i < values.size(); ++i) {
        const double v = values[i] * factor;
        raw[i] = v;
        lowest_ = v < lowest_ ? v : lowest_;
        highest_ = v > highest_ ? v : highest_;
      }
      status = counter_->Feed(raw);
      return static_cast<bool>(status);
    });
    return status;
  }

  /// Whether `counter`, restored, is one of this counter's options that was fed `samples`
  /// samples with the extremes `lowest` and `highest` (raw).
  core::Status CheckRestored(core::LiveCounter& counter, double lowest, double highest,
                             int64_t samples) const {
    const auto damaged = [](const std::string& why) {
      return core::Fail(core::kMsgBadValue, "the live count state is damaged: " + why);
    };
    const core::LiveCountSetup& got = counter.setup();
    core::SamplingInfo expected = setup_.info;
    core::SamplingInfo restored = got.info;
    if (!counter_) expected.set_c1(restored.c1());  // the first piece decided it
    expected.set_length_half_blocks(0);
    restored.set_length_half_blocks(0);
    if (got.kind != setup_.kind || got.partitions != setup_.partitions ||
        got.amplitude_mode != setup_.amplitude_mode || got.set_value != setup_.set_value ||
        got.keep_cycles != setup_.keep_cycles ||
        got.rainflow.residue_memory_points != setup_.rainflow.residue_memory_points ||
        got.rainflow.scratch_folder != setup_.rainflow.scratch_folder ||
        expected.bytes() != restored.bytes() || (!counter_ && !IsPowerOfTwo(restored.c1()))) {
      return damaged("it is not one of this counter");
    }
    const int64_t fed = counter.samples_fed();
    if (fed != samples) {
      return damaged("its count holds " + std::to_string(fed) + " samples, not the " +
                     std::to_string(samples) + " fed");
    }
    if (auto ok = counter.CheckExtremes(lowest, highest); !ok) return ok;
    if (fed < 2) {
      // Nothing counted yet: the state is the one a new count fed the same gets.
      auto fresh = core::LiveCounter::Create(got);
      if (!fresh) return fresh.error();
      if (fed == 1) {
        const double first = lowest;
        if (auto ok = fresh->Feed(std::span<const double>(&first, 1)); !ok) return ok;
      }
      auto mine = counter.SaveState();
      auto theirs = fresh->SaveState();
      if (!mine || !theirs || *mine != *theirs) return damaged("it counts what was not fed");
      return core::Ok();
    }
    auto snapshot = counter.Snapshot();
    if (!snapshot) return snapshot.error();
    // No more peaks and valleys, ranges or cycles than the samples fed can make: a cycle takes
    // two turning points, and a half cycle one more than the one before it.
    const auto sum = [](const auto& counts, int32_t n) {
      double total = 0.0;
      for (int32_t j = 0; j < n; ++j) total += static_cast<double>(counts[static_cast<size_t>(j)]);
      return total;
    };
    const auto n_fed = static_cast<double>(fed);
    bool fits = true;
    std::visit(
        [&](const auto& file) {
          const auto& result = file.result;
          using Record = std::decay_t<decltype(file)>;
          if constexpr (std::is_same_v<Record, core::PeakResultFile>) {
            fits = sum(result.two_way_total_counts, result.partitions) <= n_fed;
          } else if constexpr (std::is_same_v<Record, core::RangeResultFile>) {
            fits = sum(result.two_way_counts, result.partitions) <= n_fed;
          } else if constexpr (std::is_same_v<Record, core::RainflowResultFile>) {
            fits = 2.0 * sum(result.counts, result.partitions) <= n_fed &&
                   result.turning_points <= fed;
          }
        },
        *snapshot);
    if (!fits) return damaged("it counts more than its " + std::to_string(fed) + " samples hold");
    return core::Ok();
  }

  core::LiveCountSetup setup_;
  std::optional<double> frequency_hz_;
  std::string unit_;
  std::optional<core::LiveCounter> counter_;
  double lowest_ = 0.0;   // raw
  double highest_ = 0.0;  // raw
  mutable std::mutex mutex_;
};

/// A follow of one node being recorded.
class Follow {
 public:
  explicit Follow(core::RecordFollower follower) : follower_(std::move(follower)) {}

  static std::unique_ptr<Follow> Start(const std::string& data, const std::string& test,
                                       const std::string& code, const std::string& node,
                                       const core::CountingPlan& plan, double idle_s) {
    if (!(idle_s > 0.0) || !std::isfinite(idle_s) || idle_s > 1e9) {
      throw py::value_error("idle must be a number of seconds > 0");
    }
    // Refused before the record is opened, as the command line refuses it.
    if (auto ok = core::CheckLiveAmplitude(plan); !ok) throw RequestError(ErrorMessage(ok.error()));
    core::FollowSetup setup;
    setup.plan = plan;
    setup.idle = std::chrono::milliseconds(std::llround(idle_s * 1000.0));
    std::optional<core::Result<core::RecordFollower>> started;
    {
      py::gil_scoped_release release;
      auto opened = core::OpenCountingNode(data, test, code, node);
      if (!opened) {
        started.emplace(opened.error());
      } else {
        started.emplace(core::RecordFollower::Start(*opened, setup));
      }
    }
    return std::make_unique<Follow>(Take(std::move(*started)));
  }

  /// One look at the node, the GIL released: {"new_blocks", "end", "reason"}; Ctrl-C stops it
  /// after the current block and raises KeyboardInterrupt.
  py::dict Poll() {
    InterruptibleProgress progress;
    core::FollowLook look;
    {
      py::gil_scoped_release release;
      const std::lock_guard<std::mutex> lock(mutex_);
      look = follower_.Poll(progress);
    }
    progress.RaiseIfInterrupted();
    py::dict out;
    out["new_blocks"] = look.new_blocks;
    out["end"] = core::FollowEndName(look.end);
    out["reason"] = look.reason ? py::object(py::str(ErrorMessage(*look.reason))) : py::none();
    return out;
  }

  ResultFile Snapshot() {
    std::optional<core::Result<core::AnyResultFile>> snapshot;
    {
      py::gil_scoped_release release;
      const std::lock_guard<std::mutex> lock(mutex_);
      snapshot.emplace(follower_.Snapshot());
    }
    return ResultFile(Take(std::move(*snapshot)));
  }

  int64_t blocks_counted() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return follower_.blocks_counted();
  }
  int64_t samples_behind() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return follower_.samples_behind();
  }
  std::string end() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return core::FollowEndName(follower_.end());
  }

 private:
  core::RecordFollower follower_;
  std::mutex mutex_;
};

}  // namespace

void BindLive(py::module_& m) {
  py::class_<LiveCount>(m, "LiveCount")
      .def(py::init<const core::CountingPlan&, std::optional<double>, std::optional<double>,
                    const std::string&, bool>(),
           py::arg("plan"), py::arg("frequency"), py::arg("full_scale"), py::arg("unit"),
           py::arg("keep_cycles"))
      .def("feed", &LiveCount::Feed, py::arg("array"))
      .def_property_readonly("samples", &LiveCount::Fed)
      .def_property_readonly("c1", &LiveCount::c1)
      .def("snapshot", &LiveCount::Snapshot)
      .def("cycles", &LiveCount::Cycles)
      .def("state", &LiveCount::State)
      .def("restore", &LiveCount::Restore, py::arg("state"), py::arg("lowest"), py::arg("highest"),
           py::arg("samples"));

  py::class_<Follow>(m, "Follow")
      .def("poll", &Follow::Poll)
      .def("snapshot", &Follow::Snapshot)
      .def_property_readonly("blocks_counted", &Follow::blocks_counted)
      .def_property_readonly("samples_behind", &Follow::samples_behind)
      .def_property_readonly("end", &Follow::end);
  m.def("follow_start", &Follow::Start, py::arg("data"), py::arg("test"), py::arg("code"),
        py::arg("node"), py::arg("plan"), py::arg("idle"));

  // The test, code and node of a node's file title ("demo1#2" -> demo, 1, 2).
  m.def("split_node_title", [](const std::string& title) {
    const core::SplitName split = core::SplitResultFileName(title + ".tsp");
    return py::make_tuple(split.test_name, split.test_code, split.node_name);
  });
}

}  // namespace torvwy::python
