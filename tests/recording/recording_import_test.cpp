// Importing the channels of a recording: values, calibration, refusals before writing, what a
// failure or a cancel leaves, and the command line over many columns.
#include "recording/recording_import.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iomanip>
#include <nlohmann/json.hpp>

#include "core/data/sampling_info.h"
#include "core/data/waveform_reader.h"
#include "core/services/atomic_file.h"
#include "core/services/message_table.h"
#include "core/services/number_format.h"
#include "recording/recording_files.h"
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

/// One line on stderr, holding `says`.
void ExpectOneLineSaying(const testing::CommandOutput& out, const std::string& says) {
  EXPECT_EQ(out.exit_code, 1) << out.out << out.err;
  EXPECT_EQ(std::count(out.err.begin(), out.err.end(), '\n'), 1) << out.err;
  EXPECT_NE(out.err.find(says), std::string::npos) << out.err;
}

TEST(RecordingImportCommand, AValueANodeCantKeepIsRefusedNamingItsChannelAndSample) {
  testing::TempDir dir, home;
  // a: -0.002, -0.001, 0, 0.001, 0.002, ... (raw 1000 at most with c1 1e6); b: 0, 150, -150, ...
  const fs::path csv = dir.path() / "gauges.csv";
  {
    std::ofstream out(csv);
    out << "a,b\n";
    for (int i = 0; i < 600; ++i) {
      out << 0.001 * ((i % 5) - 2) << "," << (i == 0 ? 0 : i % 2 == 1 ? 150 : -150) << "\n";
    }
  }
  // The same columns by the writers of MATLAB files, HDF5 and float sound files.
  const fs::path mat = dir.path() / "gauges.mat";
  const fs::path h5 = dir.path() / "gauges.h5";
  const fs::path wav = dir.path() / "huge.wav";
  const fs::path wav32 = dir.path() / "over.wav";
  testing::RunPythonScript(
      "import numpy as np, scipy.io, h5py, soundfile as sf\n"
      "i = np.arange(600)\n"
      "a = 0.001 * (i % 5 - 2)\n"
      "b = np.where(i % 2 == 1, 150.0, -150.0); b[0] = 0\n"
      "scipy.io.savemat('" +
      mat.string() +
      "', {'fs': 100.0, 'a': a, 'b': b})\n"
      "with h5py.File('" +
      h5.string() +
      "', 'w') as f:\n"
      "    f.attrs['rate'] = 100.0\n"
      "    f['a'] = a\n"
      "    f['b'] = b\n"
      "w = np.full((600, 2), 0.5)\n"
      "w[2, 1] = 1.8e304\n"  // x 10000 is beyond 1.797e308
      "sf.write('" +
      wav.string() +
      "', w, 100, subtype='DOUBLE')\n"
      "w = np.full((600, 1), 0.5, dtype=np.float32)\n"
      "w[4, 0] = 1.5\n"  // 15000 raw units: beyond the 9999.69 of 951
      "sf.write('" +
      wav32.string() + "', w, 100, subtype='FLOAT')\n");
  struct Case {
    fs::path input;
    std::string options;
    std::string says;
    std::vector<std::string> written;  // complete nodes before the refused one
    std::string refused;
  };
  const std::string b2 = "channel 'b', sample 2: 150 x c2 1 x c1 ";
  const Case cases[] = {
      // 150 x 1e6 = 1.5e8 raw units: beyond 951's -10000..9999.69.
      {csv,
       "--format 951 --c1 1e6 --rate 100",
       b2 + "1e+06 = 1.5e+08 raw units, beyond",
       {"a"},
       "b"},
      {mat, "--format 951 --c1 1e6", b2 + "1e+06", {"a"}, "b"},
      {h5, "--format 951 --c1 1e6", b2 + "1e+06", {"a"}, "b"},
      // 0.002 x 1e-300: far below half a step (0.153 raw units): every value becomes 0.
      {csv,
       "--format 951 --c1 1e-300 --rate 100",
       "channel 'a', every value other than 0 rounds to 0 in format 951, the first at sample 1",
       {},
       "a"},
      // 150 x 1e300 is beyond float32 (3.4e38); 150 x 1e307 beyond float64 (1.8e308).
      {csv,
       "--format 885 --c1 1e300 --rate 100",
       "channel 'a', sample 1: -0.002 x c2 1 x c1 1e+300",
       {},
       "a"},
      {csv, "--format 886 --c1 1e307 --rate 100", b2 + "1e+307 = inf raw units", {"a"}, "b"},
      {csv, "--format 111 --c1 1e300 --rate 100", "channel 'a', sample 1", {}, "a"},
      // 0.001 x 1e-300 = 1e-303 falls to 0 in float32.
      {mat, "--format 885 --c1 1e-300", "channel 'a', sample 1: -0.002", {}, "a"},
      {wav, "", "channel ch2, sample 3: 1.8e+304 times full scale is beyond", {"ch1"}, "ch2"},
      {wav32,
       "--format 951",
       "channel 'ch1', sample 5: 15000 raw units, beyond the range",
       {},
       "ch1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input.filename().string() + " " + c.options);
    testing::TempDir data;
    const auto out =
        testing::RunTorvwy("import --input " + Quote(c.input.string()) + " --data " +
                               Quote(data.path().string()) + " --test g --code 1 " + c.options,
                           home.path().string());
    ExpectOneLineSaying(out, c.says);
    for (const std::string& node : c.written) {
      EXPECT_EQ(NodeValues(data.path(), "g1#" + node).size(), 1024u) << node;
    }
    EXPECT_FALSE(fs::exists(data.path() / ("g1#" + c.refused + ".sts")));
    EXPECT_FALSE(fs::exists(data.path() / ("g1#" + c.refused + ".tsp")));
  }
  // One column as a named node reads through the same check.
  testing::TempDir data;
  const auto one = testing::RunTorvwy("import --input " + Quote(csv.string()) + " --data " +
                                          Quote(data.path().string()) +
                                          " --test g --code 1 --node n --column 2 --rate 100 "
                                          "--format 951 --c1 1e6",
                                      home.path().string());
  ExpectOneLineSaying(one, "gauges.csv: column 2, sample 2: 150 x c2 1 x c1 1e+06");
  EXPECT_TRUE(fs::is_empty(data.path()));
}

TEST(RecordingImportCommand, HugeAndTinyValuesTogetherAreRefusedWhereC1CantKeepThem) {
  testing::TempDir dir, home, data;
  const fs::path csv = dir.path() / "wide.csv";
  // c1 for 886 is 2^floor(log2(9000 / 1e300)) = 2^-984: 1e-310 x 2^-984 falls to 0.
  std::ofstream(csv) << "wide\n1e300\n1e-310\n-1\n1\n";
  // +-1.7976931348623157e308: any c1 makes F / c1 = 10000 / c1 beyond the largest double.
  const fs::path largest = dir.path() / "largest.csv";
  std::ofstream(largest) << "x\n1.7976931348623157e308\n-1.7976931348623157e308\n0\n";
  const auto run = [&](const fs::path& input) {
    return testing::RunTorvwy("import --input " + Quote(input.string()) + " --data " +
                                  Quote(data.path().string()) + " --test w --code 1 --rate 10",
                              home.path().string());
  };
  ExpectOneLineSaying(run(csv), "channel 'wide', sample 2: 1e-310 x c2 1 x c1 " +
                                    core::ShortestText(std::exp2(-984.0)) +
                                    " = 0 raw units reads back from format 886 as 0");
  ExpectOneLineSaying(run(largest), "the full scale 10000 / c2 1 / c1");
  EXPECT_TRUE(fs::is_empty(data.path()));
}

}  // namespace
}  // namespace torvwy::recording
