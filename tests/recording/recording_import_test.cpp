// Importing the channels of a recording: values, calibration, refusals before writing, what a
// failure or a cancel leaves, and the command line over many columns.
#include "recording/recording_import.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iomanip>
#include <nlohmann/json.hpp>

#include "core/data/sampling_info.h"
#include "core/data/waveform_reader.h"
#include "core/services/atomic_file.h"
#include "core/services/message_table.h"
#include "support/run_command.h"
#include "support/test_node.h"

namespace torvwy::recording {
namespace {

namespace fs = std::filesystem;
using testing::Quote;

/// The values of a node in EU (raw / c2 / c1), the padding left off.
std::vector<double> NodeValues(const fs::path& data, const std::string& stem) {
  auto info = core::ReadSamplingParameters(data / (stem + ".tsp"));
  EXPECT_TRUE(info) << stem;
  if (!info) return {};
  auto reader = core::WaveformReader::Open(data / (stem + ".sts"), *info);
  EXPECT_TRUE(reader) << stem;
  if (!reader) return {};
  std::vector<double> values(static_cast<size_t>(info->length_half_blocks()) * 512);
  EXPECT_TRUE(reader->Read(values));
  for (double& v : values) v = v / info->c2() / info->c1();
  return values;
}

class RecordingImport : public ::testing::Test {
 protected:
  void SetUp() override {
    csv_ = dir_.path() / "rec.csv";
    std::ofstream out(csv_);
    out << std::setprecision(17) << "time,a,b,c\n";
    for (int i = 0; i < 1500; ++i) {
      out << i * 0.001 << "," << std::sin(i * 0.01) * 3.5 << "," << (i % 7) - 3 << ","
          << (i < 1000 ? std::to_string(i * 0.25) : "") << "\n";
    }
    out.close();
    settings_.data = data_.path();
    settings_.test = "rec";
    settings_.code = "1";
  }
  RecordingHandle Open() {
    auto file = OpenRecording(csv_);
    EXPECT_TRUE(file) << file.error().detail;
    return std::move(*file);
  }
  std::vector<PlannedNode> Plan(const RecordingReader& file) {
    auto plan = PlanNodes(file.channels(), {});
    EXPECT_TRUE(plan);
    return *plan;
  }
  testing::TempDir dir_, data_;
  fs::path csv_;
  ImportSettings settings_;
};

TEST_F(RecordingImport, EveryChannelBecomesANodeWithItsValues) {
  auto file = Open();
  const auto outcome = ImportChannels(*file, Plan(*file), settings_);
  ASSERT_TRUE(outcome.ok()) << outcome.failure->detail;
  ASSERT_EQ(outcome.written.size(), 3u);
  EXPECT_EQ(outcome.written[2].samples, 1000);  // c keeps its own length
  EXPECT_EQ(outcome.written[2].padding, 24);
  EXPECT_DOUBLE_EQ(outcome.written[0].rate_hz, 1000.0);
  // Float64 nodes with a power-of-two c1 give every value back exactly.
  const auto a = NodeValues(data_.path(), "rec1#a");
  const auto c = NodeValues(data_.path(), "rec1#c");
  for (int i = 0; i < 1500; ++i) {
    ASSERT_EQ(a[static_cast<size_t>(i)], std::sin(i * 0.01) * 3.5) << i;
    if (i < 1000) {
      ASSERT_EQ(c[static_cast<size_t>(i)], i * 0.25) << i;
    }
  }
  EXPECT_EQ(c[1023], 999 * 0.25);  // the padding repeats the last value
  // The largest magnitude of c (249.75) sits at 90 % of full scale or below: c1 = 2^k.
  EXPECT_EQ(outcome.written[2].c1, std::exp2(std::floor(std::log2(0.9 * 10000.0 / 249.75))));
}

TEST_F(RecordingImport, RefusesBeforeWritingAnything) {
  auto file = Open();
  const auto plan = Plan(*file);
  std::ofstream(data_.path() / "rec1#c.TSP") << "";  // an existing node, any case of extension
  auto outcome = ImportChannels(*file, plan, settings_);
  ASSERT_FALSE(outcome.ok());
  EXPECT_NE(outcome.failure->detail.find("rec1#c exists already"), std::string::npos);
  EXPECT_TRUE(outcome.written.empty());
  EXPECT_FALSE(fs::exists(data_.path() / "rec1#a.sts"));

  const struct {
    void (*change)(ImportSettings&);
    const char* says;
  } refusals[] = {
      {[](ImportSettings& s) { s.format = 123; }, "123"},
      {[](ImportSettings& s) { s.c2 = 0; }, "c2"},
      {[](ImportSettings& s) { s.c1 = NAN; }, "c1"},
      {[](ImportSettings& s) { s.test = "../x"; }, "test name"},
      {[](ImportSettings& s) { s.rate_hz = -1; }, "frequency"},
  };
  for (const auto& r : refusals) {
    ImportSettings settings = settings_;
    settings.overwrite = true;
    r.change(settings);
    outcome = ImportChannels(*file, plan, settings);
    ASSERT_FALSE(outcome.ok()) << r.says;
    EXPECT_NE(outcome.failure->detail.find(r.says), std::string::npos) << outcome.failure->detail;
  }
  EXPECT_TRUE(fs::is_empty(data_.path() / "rec1#c.TSP"));

  // A channel of one sample, or one without a rate, is refused before the first node.
  std::ofstream(dir_.path() / "short.csv") << "x,y\n1,2\n3,\n";
  auto short_file = OpenRecording(dir_.path() / "short.csv");
  ASSERT_TRUE(short_file);
  settings_.rate_hz = 10;
  outcome = ImportChannels(**short_file, Plan(**short_file), settings_);
  ASSERT_FALSE(outcome.ok());
  EXPECT_NE(outcome.failure->detail.find("'y' holds 1 sample(s)"), std::string::npos);
  settings_.rate_hz = 0;
  auto plan_x = PlanNodes((*short_file)->channels(), {{"x"}, {}});
  ASSERT_TRUE(plan_x);
  outcome = ImportChannels(**short_file, *plan_x, settings_);
  ASSERT_FALSE(outcome.ok());
  EXPECT_NE(outcome.failure->detail.find("no sampling frequency for channel 'x'"),
            std::string::npos);
  EXPECT_FALSE(fs::exists(data_.path() / "rec1#x.sts"));
}

TEST_F(RecordingImport, AFailedChannelLeavesTheEarlierOnesWholeAndNothingOfItself) {
  auto file = Open();
  const fs::path old_b = data_.path() / "rec1#b.sts";
  std::ofstream(old_b) << "old";
  settings_.overwrite = true;
  core::SetSaveFaultForTesting([](const fs::path& target) {
    return target.filename() == "rec1#b.tsp" ? core::SaveFault::kRename : core::SaveFault::kNone;
  });
  const auto outcome = ImportChannels(*file, Plan(*file), settings_);
  core::SetSaveFaultForTesting({});
  ASSERT_FALSE(outcome.ok());
  EXPECT_NE(outcome.failure->detail.find("node b"), std::string::npos);
  ASSERT_EQ(outcome.written.size(), 1u);
  EXPECT_EQ(NodeValues(data_.path(), "rec1#a").size(), 1536u);
  // b's pair changed as one: the old waveform is back, no new sampling file, no temporary.
  EXPECT_EQ(testing::ReadFileBytes(old_b), "old");
  EXPECT_FALSE(fs::exists(data_.path() / "rec1#b.tsp"));
  EXPECT_FALSE(fs::exists(data_.path() / "rec1#c.sts"));
  for (const auto& entry : fs::directory_iterator(data_.path())) {
    EXPECT_EQ(entry.path().filename().string().find(".torvwy-"), std::string::npos) << entry.path();
  }
}

TEST_F(RecordingImport, CancelStopsAtTheNodeUnderWay) {
  auto file = Open();
  int64_t last_total = 0;
  const auto outcome =
      ImportChannels(*file, Plan(*file), settings_, [&](int64_t done, int64_t total) {
        last_total = total;
        return done < 4000;  // a's two passes (3000), then into b
      });
  ASSERT_FALSE(outcome.ok());
  EXPECT_EQ(outcome.failure->message, core::kMsgCalculationCancelled);
  EXPECT_EQ(last_total, 2 * (1500 + 1500 + 1000));
  ASSERT_EQ(outcome.written.size(), 1u);
  EXPECT_TRUE(fs::exists(data_.path() / "rec1#a.tsp"));
  EXPECT_FALSE(fs::exists(data_.path() / "rec1#b.sts"));
}

TEST(RecordingImportCommand, SixteenColumnsInOneRunEqualSixteenSingleImports) {
  testing::TempDir dir, home;
  const fs::path csv = dir.path() / "sixteen.csv";
  {
    std::ofstream out(csv);
    out << "time";
    for (int k = 1; k <= 16; ++k) out << ";gauge " << k;
    out << "\n";
    for (int i = 0; i < 3000; ++i) {
      out << i * 0.002;
      for (int k = 1; k <= 16; ++k) out << ";" << std::sin(i * 0.003 * k) * k;
      out << "\n";
    }
  }
  const std::string data = Quote((dir.path() / "d").string());
  std::string names;
  for (int k = 1; k <= 16; ++k) names += (k > 1 ? "," : "") + std::to_string(k);
  const auto run = [&](const std::string& arguments) {
    auto out = testing::RunTorvwy(arguments, home.path().string());
    EXPECT_EQ(out.exit_code, 0) << arguments << "\n" << out.err;
    return out;
  };
  const auto all = run("import --input " + Quote(csv.string()) + " --data " + data +
                       " --test many --code 1 --node-names " + names);
  EXPECT_NE(all.out.find("channel 16 'gauge 16' -> node 16"), std::string::npos) << all.out;
  EXPECT_NE(all.out.find("imported 16 of 16 channels"), std::string::npos);
  for (int k = 1; k <= 16; ++k) {
    run("import --input " + Quote(csv.string()) + " --data " + data +
        " --test one --code 1 --time-column 1 --column " + std::to_string(k + 1) + " --node " +
        std::to_string(k));
  }
  auto many = nlohmann::json::parse(
      run("stats --data " + data + " --test many --codes 1 --nodes 1-16 --json").out);
  auto one = nlohmann::json::parse(
      run("stats --data " + data + " --test one --codes 1 --nodes 1-16 --json").out);
  ASSERT_EQ(many["rows"].size(), 16u) << many.dump();
  for (auto* json : {&many, &one}) {
    for (auto& row : (*json)["rows"]) row.erase("test");
    json->erase("test");
  }
  EXPECT_EQ(many["rows"], one["rows"]);
  for (int k = 1; k <= 16; ++k) {
    const std::string stem = "1#" + std::to_string(k);
    EXPECT_EQ(testing::ReadFileBytes(dir.path() / "d" / ("many" + stem + ".sts")),
              testing::ReadFileBytes(dir.path() / "d" / ("one" + stem + ".sts")))
        << k;
  }
  // Again without --overwrite: refused, nothing changed; with it, replaced.
  auto again = testing::RunTorvwy("import --input " + Quote(csv.string()) + " --data " + data +
                                      " --test many --code 1 --node-names " + names,
                                  home.path().string());
  EXPECT_EQ(again.exit_code, 1);
  EXPECT_NE(again.err.find("exists already"), std::string::npos);
  EXPECT_NE(again.err.find("--overwrite"), std::string::npos);
  run("import --input " + Quote(csv.string()) + " --data " + data +
      " --test many --code 1 --overwrite --channels 'gauge 3' --node-names 3");
}

}  // namespace
}  // namespace torvwy::recording
