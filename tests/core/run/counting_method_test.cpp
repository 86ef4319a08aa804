// The table of counting methods: every entry holds what a method needs, and every method counts
// the built-in sample test alike in one pass, in chunks on 2 to 4 threads and live in random
// pieces; the three older methods to the numbers they always gave.
#include "core/run/counting_method.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "core/counting/count_state.h"
#include "core/data/counting_node.h"
#include "core/data/sample_format.h"
#include "core/data/waveform_reader.h"
#include "core/run/counting_plan.h"
#include "core/run/counting_run.h"
#include "core/run/live_counter.h"
#include "core/services/progress.h"
#include "output/result_output.h"
#include "support/run_command.h"
#include "support/test_node.h"

namespace torvwy::core {
namespace {
namespace fs = std::filesystem;

std::string JsonText(const AnyResultFile& file) { return output::ResultJson(file).dump(); }

/// FNV-1a of `text`: a short fingerprint of a whole JSON object.
uint64_t Fingerprint(const std::string& text) {
  uint64_t hash = 14695981039346656037ull;
  for (const unsigned char c : text) hash = (hash ^ c) * 1099511628211ull;
  return hash;
}

std::vector<double> Walk(size_t n, uint32_t seed) { return testing::SmallWalk(n, seed); }

TEST(CountingMethods, EveryEntryHoldsWhatAMethodNeeds) {
  std::set<std::string_view> names;
  const std::vector<double> walk = Walk(5000, 7);
  for (const CountingMethod& method : CountingMethods()) {
    SCOPED_TRACE(std::string(method.name));
    // Found by its kind and by its name, which no other entry has.
    EXPECT_TRUE(names.insert(method.name).second);
    EXPECT_EQ(&MethodOf(method.kind), &method);
    EXPECT_EQ(MethodNamed(method.name), &method);
    EXPECT_NE(Tr(Language::kChinese, method.title), Tr(Language::kEnglish, method.title));
    EXPECT_FALSE(Tr(Language::kEnglish, method.title).empty());
    EXPECT_GE(method.progress_share, 1.0);
    ASSERT_NE(method.make, nullptr);

    // Its counter counts, and one saved midway goes on exactly in another.
    CounterSetup setup;
    setup.partitions = 12;
    setup.amplitude_range = 25.0;
    setup.info.set_format(kFormatFloat64);
    setup.info.set_frequency_hz(100.0);
    setup.info.set_c1(1.0);
    setup.info.set_c2(1.0);
    setup.rainflow.residue_memory_points = 16;
    auto whole = method.make(setup);
    auto first = method.make(setup);
    auto second = method.make(setup);
    ASSERT_TRUE(whole.ok() && first.ok() && second.ok());
    auto fed = (*whole)->Feed(walk);
    ASSERT_TRUE(fed.ok()) << fed.error().detail;
    ASSERT_TRUE((*first)->Feed(std::span(walk).first(2345)).ok());
    CountStateWriter out;
    ASSERT_TRUE((*first)->SaveState(out).ok());
    const std::string state = out.Take();
    CountStateReader in(state);
    ASSERT_TRUE((*second)->LoadState(in) && in.ok() && in.at_end());
    ASSERT_TRUE((*second)->Feed(std::span(walk).subspan(2345)).ok());
    auto expected = (*whole)->Finish(false);
    auto resumed = (*second)->Finish(false);
    ASSERT_TRUE(expected.ok() && resumed.ok());
    EXPECT_EQ(KindOf(*expected), method.kind);
    EXPECT_EQ(JsonText(*resumed), JsonText(*expected));
    if (method.counts_in_chunks) {
      EXPECT_NE((*whole)->MakeLater(), nullptr);
    }
  }
  EXPECT_EQ(MethodNamed("cycles"), nullptr);
}

/// The built-in sample test (four nodes of 200 blocks, 16-bit) and one long node that is counted
/// by the table of partitions, written once by the command line.
class SampleTestCounts : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ =
        new fs::path(fs::temp_directory_path() / ("torvwy_methods_" + std::to_string(getpid())));
    fs::remove_all(*folder_);
    fs::create_directories(*folder_ / "home");
    const std::string home = (*folder_ / "home").string();
    const auto sample =
        testing::RunTorvwy("gen --data " + testing::Quote((*folder_ / "sample").string()), home);
    ASSERT_EQ(sample.exit_code, 0) << sample.err;
    const auto long_node = testing::RunTorvwy(
        "gen --nodes 1 --blocks 4200 --data " + testing::Quote((*folder_ / "long").string()), home);
    ASSERT_EQ(long_node.exit_code, 0) << long_node.err;
  }
  static void TearDownTestSuite() {
    fs::remove_all(*folder_);
    delete folder_;
  }

  static CountingNode Open(const std::string& test, const std::string& node) {
    auto opened = OpenCountingNode(*folder_ / test, "demo", "1", node);
    EXPECT_TRUE(opened.ok()) << opened.error().detail;
    return opened ? *opened : CountingNode{};
  }

  static fs::path* folder_;
};
fs::path* SampleTestCounts::folder_ = nullptr;

/// The plan of `method` with `amplitude`, settled against `node`.
CountingPlan PlanFor(const CountingMethod& method, const std::string& amplitude,
                     const CountingNode& node) {
  auto plan = PlanCounting({.method = std::string(method.name),
                            .partitions = "25",
                            .amplitude = amplitude,
                            .blocks = {}},
                           {});
  EXPECT_TRUE(plan.ok());
  if (!plan) return {};
  EXPECT_TRUE(SettlePlan(*plan, node.info).ok());
  return *plan;
}

std::string Count(CountingPlan plan, const CountingNode& node, int threads) {
  plan.threads = threads;
  SilentProgress progress;
  auto file = RunCounting(plan, node, progress);
  EXPECT_TRUE(file.ok()) << file.error().detail;
  return file ? JsonText(*file) : std::string();
}

/// `node` fed to a live counter of `plan` in random pieces, as its record would grow; the JSON
/// of its final snapshot with the envelope of the offline run, which the live count leaves to its
/// caller.
std::string CountLive(const CountingPlan& plan, const CountingNode& node, uint32_t seed,
                      const AnyResultFile& offline) {
  auto counter = LiveCounter::Create(plan, node.info);
  EXPECT_TRUE(counter.ok()) << counter.error().detail;
  if (!counter) return {};
  auto reader = WaveformReader::Open(SourceOf(node), node.info);
  EXPECT_TRUE(reader.ok());
  if (!reader) return {};
  const int64_t total = reader->countable_samples();
  std::mt19937 random(seed);
  std::uniform_int_distribution<int64_t> piece(1, total / 20);
  std::vector<double> samples;
  for (int64_t fed = 0; fed < total;) {
    samples.resize(static_cast<size_t>(std::min(piece(random), total - fed)));
    EXPECT_TRUE(reader->Read(samples).ok());
    EXPECT_TRUE(counter->Feed(samples).ok());
    fed += static_cast<int64_t>(samples.size());
  }
  auto file = counter->Snapshot();
  EXPECT_TRUE(file.ok()) << file.error().detail;
  if (!file) return {};
  std::visit(
      [&offline](auto& f) {
        const auto& whole = std::get<std::decay_t<decltype(f)>>(offline).result;
        f.result.envelope = whole.envelope;
        f.result.envelope_maximum = whole.envelope_maximum;
        f.result.envelope_minimum = whole.envelope_minimum;
      },
      *file);
  return JsonText(*file);
}

TEST_F(SampleTestCounts, EveryMethodCountsToTodaysNumbersInOnePassInChunksAndLive) {
  // The fingerprints of `torvwy <method> --json` on these nodes as the three analyses had their
  // own drivers: a change of any count, width or JSON byte shows here.
  const std::map<std::string, uint64_t> today = {
      {"peak 1 full", 559118142513055287u},      {"peak 1 auto", 16344207417443048018u},
      {"peak 4 full", 15869191849772138352u},    {"peak 4 auto", 16783880063020113870u},
      {"range 1 full", 10467673644000421656u},   {"range 1 auto", 1451747638873906320u},
      {"range 4 full", 8325764408243234005u},    {"range 4 auto", 3249746340539822701u},
      {"rainflow 1 full", 9804879203070508484u}, {"rainflow 1 auto", 4091069809064906324u},
      {"rainflow 4 full", 1798654261501612573u}, {"rainflow 4 auto", 10441429275573635803u},
  };
  uint32_t seed = 1;
  for (const std::string node_name : {"1", "4"}) {
    const CountingNode node = Open("sample", node_name);
    for (const CountingMethod& method : CountingMethods()) {
      for (const std::string amplitude : {"full", "auto"}) {
        const std::string what = std::string(method.name) + " " + node_name + " " + amplitude;
        SCOPED_TRACE(what);
        const CountingPlan plan = PlanFor(method, amplitude, node);
        const std::string one_pass = Count(plan, node, 1);
        if (today.contains(what)) {
          EXPECT_EQ(Fingerprint(one_pass), today.at(what)) << one_pass.substr(0, 200);
        }
        for (int threads = 2; threads <= 4; ++threads) {
          EXPECT_TRUE(Count(plan, node, threads) == one_pass) << threads << " threads";
        }
        if (amplitude == "auto") continue;  // a live count can't know the record's extremes
        SilentProgress progress;
        auto offline = RunCounting(plan, node, progress);
        ASSERT_TRUE(offline.ok());
        EXPECT_TRUE(CountLive(plan, node, seed++, *offline) == one_pass) << "live";
      }
    }
  }
}

TEST_F(SampleTestCounts, ALongRecordCountedByTheTableOfPartitionsIsCountedAlikeEveryWay) {
  const CountingNode node = Open("long", "1");
  for (const CountingMethod& method : CountingMethods()) {
    SCOPED_TRACE(std::string(method.name));
    const CountingPlan plan = PlanFor(method, "full", node);
    SilentProgress progress;
    auto offline = RunCounting(plan, node, progress);
    ASSERT_TRUE(offline.ok());
    const std::string one_pass = JsonText(*offline);
    EXPECT_TRUE(Count(plan, node, 3) == one_pass) << "3 threads";
    EXPECT_TRUE(CountLive(plan, node, 11, *offline) == one_pass) << "live";
  }
}

}  // namespace
}  // namespace torvwy::core
