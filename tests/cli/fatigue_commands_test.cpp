// The life estimate of the rainflow command: the weld-class outputs kept byte for byte, the other
// curves, the damage-equivalent loads, the range-mean matrix, the mean corrections and the damage
// history, and their refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "core/report/list_export.h"
#include "support/run_command.h"
#include "support/test_node.h"

namespace torvwy::testing {
namespace {
namespace fs = std::filesystem;

/// Every occurrence of `from` in `text` replaced by `to`.
std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

/// Four blocks of white noise in whole numbers -100..100 from a fixed linear congruential
/// sequence: the same values on every machine, with ranges spread over every partition.
std::vector<double> Noise(size_t n) {
  std::vector<double> x(n);
  uint64_t state = 26;
  for (size_t i = 0; i < n; ++i) {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    x[i] = static_cast<double>(static_cast<int64_t>((state >> 33) % 201) - 100);
  }
  return x;
}

class FatigueCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    NodeLayout layout;
    layout.test_name = "fat";
    layout.test_code = "1";
    layout.node_name = "1";
    WriteNode(data_.path(), Noise(4096), layout);
    noise_ = "--data " + Quote(data_.path().string()) + " --test fat --code 1 --node 1";
  }
  TempDir data_;
  std::string noise_;
};

/// The outputs of the weld-class estimates as they were before any other curve existed: stdout
/// of the JSON and the text run, and the list data file both runs write (tests/data/fatigue/,
/// described in tests/data/README.md). Set TORVWY_UPDATE_GOLDEN=1 to write them again: each
/// file that differs is written and the run fails naming it.
TEST_F(FatigueCommands, WeldClassOutputsAreKeptByteForByte) {
  const fs::path golden = fs::path(TORVWY_TEST_DATA) / "fatigue";
  const bool update = std::getenv("TORVWY_UPDATE_GOLDEN") != nullptr;
  struct Case {
    const char* name;
    const char* options;
  };
  for (const Case& c : {Case{"actual_f2", "--fatigue actual --class F2 --partitions 12"},
                        Case{"fitting", "--fatigue fitting --partitions 12"}}) {
    for (const char* face : {"json", "txt"}) {
      // A fresh home each time: the fitting run takes the default class, not the one kept.
      TempDir home;
      const std::string arguments =
          "rainflow " + noise_ + " " + c.options + (std::string(face) == "json" ? " --json" : "");
      const auto result = RunTorvwy(arguments, home.path().string());
      ASSERT_EQ(result.exit_code, 0) << arguments << ": " << result.err;
      const std::string stem = std::string(c.name) + "_" + face;
      const std::vector<std::pair<fs::path, std::string>> outputs = {
          {golden / (stem + ".out"), ReplaceAll(result.out, home.path().string(), "HOME")},
          {golden / (std::string(c.name) + "_listdata.txt"),
           ReadFileBytes(home.path() / "work" / "listdata.txt")},
      };
      for (const auto& [path, bytes] : outputs) {
        if (update && ReadFileBytes(path) != bytes) {
          fs::create_directories(path.parent_path());
          std::ofstream out(path, std::ios::binary | std::ios::trunc);
          out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
          out.close();
          EXPECT_TRUE(out) << "can't write " << path;
          ADD_FAILURE() << path << " differed and was written again";
        }
        EXPECT_FALSE(bytes.empty()) << path;
        EXPECT_EQ(ReadFileBytes(path), bytes) << path;
      }
    }
  }
}

/// A cycle as the test counts it, independently of the command.
struct TestCycle {
  double range;
  double mean;
  double count;
};

/// Rainflow counting after ASTM E1049-85, 5.4.4, on the turning points of `x` (a flat stretch
/// is one point): the three-point rule, with a range that holds the starting point counted as a
/// half cycle and the start dropped, and what is left counted as half cycles.
std::vector<TestCycle> AstmRainflow(const std::vector<double>& x) {
  std::vector<double> points;
  for (const double v : x) {
    if (!points.empty() && v == points.back()) continue;
    if (points.size() >= 2 &&
        (points.back() - points[points.size() - 2]) * (v - points.back()) > 0) {
      points.back() = v;  // still rising or falling
    } else {
      points.push_back(v);
    }
  }
  std::vector<TestCycle> cycles;
  std::vector<double> stack;  // stack[0] is the starting point
  auto add = [&](double a, double b, double count) {
    cycles.push_back({std::fabs(a - b), (a + b) / 2.0, count});
  };
  for (const double point : points) {
    stack.push_back(point);
    while (stack.size() >= 3) {
      const size_t n = stack.size();
      const double x_range = std::fabs(stack[n - 1] - stack[n - 2]);
      const double y_range = std::fabs(stack[n - 2] - stack[n - 3]);
      if (x_range < y_range) break;
      if (n == 3) {
        add(stack[n - 3], stack[n - 2], 0.5);
        stack.erase(stack.begin() + static_cast<std::ptrdiff_t>(n - 3));
      } else {
        add(stack[n - 3], stack[n - 2], 1.0);
        stack.erase(stack.begin() + static_cast<std::ptrdiff_t>(n - 3),
                    stack.begin() + static_cast<std::ptrdiff_t>(n - 1));
      }
    }
  }
  for (size_t i = 0; i + 1 < stack.size(); ++i) add(stack[i], stack[i + 1], 0.5);
  return cycles;
}

/// The cells of the lines of a CSV text without quoting.
std::vector<std::vector<std::string>> ReadCsv(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> cells;
    size_t from = 0;
    for (size_t comma; (comma = line.find(',', from)) != std::string::npos; from = comma + 1) {
      cells.push_back(line.substr(from, comma - from));
    }
    cells.push_back(line.substr(from));
    rows.push_back(std::move(cells));
  }
  return rows;
}

double Number(const std::string& text) {
  size_t used = 0;
  const double value = std::stod(text, &used);
  EXPECT_EQ(used, text.size()) << text;
  return value;
}

/// The value of a "name  value" line of the text output.
std::string Parameter(const std::string& out, const std::string& name) {
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(name, 0) == 0) {
      const size_t value = line.find_first_not_of(' ', name.size());
      return value == std::string::npos ? std::string() : line.substr(value);
    }
  }
  return {};
}

class CycleCommands : public FatigueCommands {
 protected:
  void SetUp() override {
    FatigueCommands::SetUp();
    // A sine of range 200 from trough to trough, 64 periods of 64 samples, rounded to whole
    // numbers: every turning point is -100 or +100 (the first two samples are both -100), so
    // the 128 reversals make 64 cycles of range 200 and mean `offset`.
    for (const auto& [name, offset] : {std::pair{"0", 0.0}, std::pair{"50", 50.0}}) {
      std::vector<double> x(4096);
      for (size_t i = 0; i < x.size(); ++i) {
        x[i] = offset + std::round(-100.0 * std::cos(2.0 * M_PI * static_cast<double>(i) / 64.0));
      }
      NodeLayout layout;
      layout.test_name = "sine";
      layout.test_code = "1";
      layout.node_name = name;
      WriteNode(data_.path(), x, layout);
    }
    sine_ = "--data " + Quote(data_.path().string()) + " --test sine --code 1 --node 0";
    raised_ = "--data " + Quote(data_.path().string()) + " --test sine --code 1 --node 50";
  }
  CommandOutput Run(const std::string& arguments) {
    return RunTorvwy(arguments, home_.path().string());
  }
  nlohmann::ordered_json Json(const std::string& arguments) {
    const auto result = Run(arguments + " --json");
    EXPECT_EQ(result.exit_code, 0) << arguments << ": " << result.err;
    if (result.exit_code != 0) return nlohmann::ordered_json::object();
    return nlohmann::ordered_json::parse(result.out);
  }
  fs::path ListData() const { return home_.path() / "work" / "listdata.txt"; }
  fs::path Out(const std::string& name) const { return out_.path() / name; }
  TempDir home_;
  TempDir out_;
  std::string sine_;
  std::string raised_;
};

/// N of EN 1993-1-9 category 71 above its knee: slope 3 through 71 N/mm^2 at 2e6 cycles.
double Category71Life(double range) { return 2e6 * std::pow(71.0 / range, 3.0); }

TEST_F(CycleCommands, EquivalentLoadsOfASineAreItsRange) {
  // sum n S^m = 64 x 200^m: with N_eq = 64 the DEL is 200 for every m; by default N_eq is the
  // 4 s counted (4096 samples at 1024 Hz) x 1 Hz, so DEL = 200 (64 / 4)^(1/m).
  struct Case {
    std::string options;
    double n_eq;
  };
  for (const Case& c : {Case{"--del 3,5,10 --del-cycles 64", 64.0}, Case{"--del 3,5,10", 4.0},
                        Case{"--del 3,5,10 --del-frequency 2", 8.0}}) {
    const auto json = Json("rainflow " + sine_ + " " + c.options);
    ASSERT_TRUE(json.contains("equivalent_loads")) << c.options;
    EXPECT_FALSE(json.contains("fatigue")) << "no life estimate is needed for the loads";
    const auto& loads = json["equivalent_loads"];
    ASSERT_EQ(loads.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
      const double m = std::array{3.0, 5.0, 10.0}[i];
      EXPECT_EQ(loads[i]["m"], m);
      EXPECT_EQ(loads[i]["cycles"], c.n_eq);
      EXPECT_NEAR(loads[i]["load"].get<double>(), 200.0 * std::pow(64.0 / c.n_eq, 1.0 / m), 1e-9)
          << c.options << " m " << m;
    }
  }
  const auto text = Run("rainflow " + sine_ + " --del 3 --del-cycles 64");
  ASSERT_EQ(text.exit_code, 0) << text.err;
  EXPECT_NE(text.out.find("damage-equivalent loads, N_eq = 64 cycles"), std::string::npos)
      << text.out;
  EXPECT_FALSE(fs::exists(ListData())) << "no estimate, no list";
}

TEST_F(CycleCommands, OtherCurvesNameThemselvesAndGiveTheirLives) {
  // 64 cycles of 200 in the top partition (180, 200] of --amplitude 200 --partitions 10: the
  // lives are taken at its centre S = 190.
  const std::string counted =
      "rainflow " + sine_ + " --amplitude 200 --partitions 10 --fatigue actual";
  auto json = Json(counted + " --curve en1993:71");
  auto fatigue = json["fatigue"];
  EXPECT_EQ(fatigue["curve"], "en1993:71");
  EXPECT_EQ(fatigue["curve_unit"], "N/mm^2");
  EXPECT_FALSE(fatigue.contains("class")) << "a detail category is no weld class";
  EXPECT_FALSE(fatigue.contains("mean_correction"));
  EXPECT_NEAR(fatigue["L"][9].get<double>() / Category71Life(190.0), 1.0, 1e-12);
  EXPECT_NEAR(fatigue["total_damage"].get<double>() * Category71Life(190.0), 64.0, 1e-9);
  // Below the constant-amplitude limit S_D = 71 (2e6 / 5e6)^(1/3) at 5e6 cycles the slope is 5,
  // down to the cut-off S_L = S_D (5e6 / 1e8)^(1/5) (28.7) at 1e8: centre 30 lies on the
  // second slope, centre 10 below the cut-off does no damage and its life is infinite (null).
  const double limit = 71.0 * std::cbrt(2e6 / 5e6);
  EXPECT_NEAR(fatigue["L"][1].get<double>() / (5e6 * std::pow(limit / 30.0, 5.0)), 1.0, 1e-12);
  EXPECT_TRUE(fatigue["L"][0].is_null());
  EXPECT_EQ(fatigue["D"][0], 0.0);

  // A curve file: slope 4 through 100 at 1e6 cycles and a knee at 1e7 without a second slope:
  // the curve ends at S_k = 100 (1e6 / 1e7)^(1/4) = 56.2, so that centre 70 does damage and
  // centre 50 none.
  std::ofstream(Out("weld.ini")) << "[Curve]\nName=Test weld\nUnit=MPa\nReferenceRange=100\n"
                                    "ReferenceCycles=1e6\nSlope=4\nKneeCycles=1e7\n";
  json = Json(counted + " --curve " + Quote(Out("weld.ini").string()));
  fatigue = json["fatigue"];
  EXPECT_EQ(fatigue["curve"], "Test weld");
  EXPECT_EQ(fatigue["curve_unit"], "MPa");
  const double life = 1e6 * std::pow(100.0 / 190.0, 4.0);
  EXPECT_NEAR(fatigue["L"][9].get<double>() / life, 1.0, 1e-12);
  EXPECT_NEAR(fatigue["L"][3].get<double>() / (1e6 * std::pow(100.0 / 70.0, 4.0)), 1.0, 1e-12);
  EXPECT_TRUE(fatigue["L"][2].is_null());
  EXPECT_NEAR(fatigue["total_damage"].get<double>() * life, 64.0, 1e-9);

  const auto text = Run(counted + " --curve en1993:71");
  ASSERT_EQ(text.exit_code, 0) << text.err;
  EXPECT_NE(text.out.find("fatigue life estimate (actual), curve en1993:71 (N/mm^2)\n"),
            std::string::npos)
      << text.out;
  // --class and bs7608: say the same.
  EXPECT_EQ(Json(counted + " --curve bs7608:F2 --class F2")["fatigue"]["class"], "F2");
}

TEST_F(CycleCommands, MeanCorrectionsTakeEachCycleAtItsEquivalentRange) {
  // Sa = 100 with the mean 0 or 50 (Smax 150); each corrected cycle is summed at its exact
  // equivalent range 2 Sa' on category 71 (every one above the knee), 64 of them.
  struct Case {
    std::string node;
    std::string correction;
    double amplitude;  ///< Sa'
  };
  const double sa = 100.0, sm = 50.0, smax = 150.0;
  const std::vector<Case> cases = {
      {"0", "goodman --ultimate 400", sa},  // a zero mean leaves the cycle as it is
      {"50", "goodman --ultimate 400", sa / (1.0 - sm / 400.0)},
      {"50", "gerber --ultimate 400", sa / (1.0 - (sm / 400.0) * (sm / 400.0))},
      {"50", "swt", std::sqrt(smax * sa)},
      {"50", "walker --walker-gamma 0.5", std::sqrt(smax * sa)},
      {"50", "walker --walker-gamma 0.8", std::pow(smax, 0.2) * std::pow(sa, 0.8)},
  };
  double zero_mean_damage = 0.0;
  for (const Case& c : cases) {
    const std::string node = c.node == "0" ? sine_ : raised_;
    const auto json = Json("rainflow " + node + " --amplitude 200 --partitions 10 --fatigue " +
                           "actual --curve en1993:71 --mean-correction " + c.correction);
    const auto& fatigue = json["fatigue"];
    EXPECT_NEAR(fatigue["total_damage"].get<double>() * Category71Life(2.0 * c.amplitude), 64.0,
                1e-9)
        << c.node << " " << c.correction;
    EXPECT_EQ(fatigue["mean_correction"], c.correction.substr(0, c.correction.find(' ')));
    if (c.node == "0") {
      zero_mean_damage = fatigue["total_damage"].get<double>();
    } else {
      EXPECT_GT(fatigue["total_damage"].get<double>(), zero_mean_damage) << c.correction;
    }
  }
  const auto json =
      Json("rainflow " + raised_ + " --fatigue actual --mean-correction goodman --ultimate 400");
  EXPECT_EQ(json["fatigue"]["class"], "B") << "a weld class with a correction keeps its keys";
  EXPECT_EQ(json["fatigue"]["curve"], "bs7608:B");
  EXPECT_EQ(json["fatigue"]["ultimate"], 400.0);
  EXPECT_TRUE(json["fatigue"]["walker_gamma"].is_null()) << "only Walker has a gamma";
}

TEST_F(CycleCommands, TheMatrixHoldsTheHistogramByMean) {
  // The range bins are the partitions: each row sums to the histogram's count.
  const auto json = Json("rainflow " + noise_ + " --partitions 12 --matrix " +
                         Quote(Out("m.csv").string()) + " --matrix-bins 12,7");
  ASSERT_TRUE(json.contains("matrix"));
  EXPECT_EQ(json["matrix"]["range_bins"], 12);
  EXPECT_EQ(json["matrix"]["mean_bins"], 7);
  const auto rows = ReadCsv(ReadFileBytes(Out("m.csv")));
  ASSERT_EQ(rows.size(), 13u);
  ASSERT_EQ(rows[0].size(), 9u);
  EXPECT_EQ(rows[0][0], "range_from");
  EXPECT_EQ(rows[0][1], "range_to");
  const double w = json["w"].get<double>();
  double total = 0.0;
  std::vector<double> by_mean(7, 0.0);
  for (size_t i = 1; i < rows.size(); ++i) {
    ASSERT_EQ(rows[i].size(), 9u);
    EXPECT_NEAR(Number(rows[i][0]), static_cast<double>(i - 1) * w, 1e-9 * w);
    EXPECT_NEAR(Number(rows[i][1]), static_cast<double>(i) * w, 1e-9 * w);
    double row = 0.0;
    for (size_t k = 0; k < 7; ++k) {
      row += Number(rows[i][2 + k]);
      by_mean[k] += Number(rows[i][2 + k]);
    }
    EXPECT_EQ(row, json["counts"][i - 1].get<double>()) << "range bin " << i;
    total += row;
  }
  EXPECT_EQ(json["matrix"]["cycles"], total);

  // The columns against the test's own count of the same samples: the cycles the histogram
  // holds (t <= range <= A), by their means in the header's bins.
  const auto text = Run("rainflow " + noise_ + " --partitions 12");
  const double t = Number(Parameter(text.out, "smallest range t"));
  const double a = json["A"].get<double>();
  std::vector<std::pair<double, double>> edges;
  for (size_t k = 0; k < 7; ++k) {
    const std::string& cell = rows[0][2 + k];
    const size_t dots = cell.find("..");
    ASSERT_NE(dots, std::string::npos) << cell;
    edges.emplace_back(Number(cell.substr(0, dots)), Number(cell.substr(dots + 2)));
    if (k > 0) {
      EXPECT_EQ(edges[k].first, edges[k - 1].second) << "the bins are contiguous";
    }
  }
  std::vector<double> expected(7, 0.0);
  double lowest = 1e300, highest = -1e300, counted = 0.0;
  for (const TestCycle& cycle : AstmRainflow(Noise(4096))) {
    if (cycle.range < t || cycle.range > a) continue;
    lowest = std::min(lowest, cycle.mean);
    highest = std::max(highest, cycle.mean);
    counted += cycle.count;
    for (size_t k = 0; k < 7; ++k) {
      if (cycle.mean <= edges[k].second || k == 6) {
        expected[k] += cycle.count;
        break;
      }
    }
  }
  EXPECT_EQ(counted, total);
  EXPECT_EQ(edges.front().first, lowest);
  EXPECT_NEAR(edges.back().second, highest, 1e-9);
  EXPECT_EQ(by_mean, expected);

  // Other range bins: (i A / R, (i + 1) A / R].
  ASSERT_EQ(Run("rainflow " + noise_ + " --matrix " + Quote(Out("m5.csv").string()) +
                " --matrix-bins 5,3")
                .exit_code,
            0);
  const auto five = ReadCsv(ReadFileBytes(Out("m5.csv")));
  ASSERT_EQ(five.size(), 6u);
  EXPECT_NEAR(Number(five[5][1]), a, 1e-9 * a);
}

TEST_F(CycleCommands, TheDamageHistoryEndsAtTheTotalDamage) {
  const auto json = Json("rainflow " + noise_ + " --fatigue actual --class F2 --damage-history " +
                         Quote(Out("h.csv").string()));
  const auto rows = ReadCsv(ReadFileBytes(Out("h.csv")));
  ASSERT_GE(rows.size(), 3u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"seconds", "sample", "range", "mean", "count",
                                               "damage", "cumulative", "kind"}));
  double sum = 0.0, previous_sample = -1.0, previous_cumulative = 0.0;
  double cycles = 0.0;
  for (size_t i = 1; i < rows.size(); ++i) {
    ASSERT_EQ(rows[i].size(), 8u) << i;
    const bool residue = i + 1 == rows.size();
    EXPECT_EQ(rows[i][7], residue ? "residue" : "cycle") << i;
    const double sample = Number(rows[i][1]);
    EXPECT_EQ(Number(rows[i][0]), sample / 1024.0);
    EXPECT_GE(sample, previous_sample) << "in time order";
    previous_sample = sample;
    if (residue) {
      EXPECT_EQ(rows[i][2], "");
      EXPECT_EQ(rows[i][3], "");
      EXPECT_EQ(sample, 4095.0) << "the residue at the last sample";
    } else {
      EXPECT_EQ(rows[i][4], "1");
    }
    cycles += Number(rows[i][4]);
    sum += Number(rows[i][5]);
    const double cumulative = Number(rows[i][6]);
    EXPECT_GE(cumulative, previous_cumulative);
    EXPECT_NEAR(cumulative, sum, 1e-12 * sum);
    previous_cumulative = cumulative;
  }
  const double total = json["fatigue"]["total_damage"].get<double>();
  EXPECT_NEAR(previous_cumulative, total, 1e-9 * total);
  // Every cycle of the record is a row, the residue's halves in its one row: the counts add up to
  // the test's own count (which splits closed and half cycles otherwise, so only the sum tells).
  double expected_cycles = 0.0;
  for (const TestCycle& cycle : AstmRainflow(Noise(4096))) expected_cycles += cycle.count;
  EXPECT_EQ(cycles, expected_cycles);
  EXPECT_EQ(json["damage_history"]["rows"], rows.size() - 1);
}

TEST_F(CycleCommands, TheListExportCarriesTheCurveAndTheLoads) {
  const auto run = Run("rainflow " + sine_ + " --amplitude 200 --partitions 10 --fatigue actual " +
                       "--curve en1993:71 --del 3,5 --del-cycles 64 --list-export " +
                       Quote(Out("book.xlsx").string()) + " --no-launch");
  ASSERT_EQ(run.exit_code, 0) << run.err;
  auto table = core::ParseListTable(ReadFileBytes(ListData()));
  ASSERT_TRUE(table) << table.error().detail;
  ASSERT_EQ(table->rows.size(), 10u + 4u);
  EXPECT_EQ(table->rows[9][0], "10") << "the partitions come first, as always";
  using Row = std::vector<std::string>;
  EXPECT_EQ(table->rows[10], (Row{"S-N", "en1993:71", "N/mm^2", "", "", ""}));
  EXPECT_EQ(table->rows[11], (Row{"DEL", "m", "N_eq", "load", "MPa", ""}));
  EXPECT_EQ(table->rows[12], (Row{"DEL", "3", "64", "200", "MPa", ""}));
  EXPECT_EQ(table->rows[13], (Row{"DEL", "5", "64", "200", "MPa", ""}));
  EXPECT_EQ(ReadFileBytes(home_.path() / "work" / "listname.txt"), Out("book.xlsx").string());

  // A correction names itself, and a curve name keeps single blanks.
  std::ofstream(Out("c.ini")) << "[Curve]\nName=Two  word\nReferenceRange=100\n"
                                 "ReferenceCycles=1e6\nSlope=4\n";
  ASSERT_EQ(Run("rainflow " + raised_ + " --fatigue actual --curve " +
                Quote(Out("c.ini").string()) + " --mean-correction walker --walker-gamma 0.6")
                .exit_code,
            0);
  table = core::ParseListTable(ReadFileBytes(ListData()));
  ASSERT_TRUE(table) << table.error().detail;
  ASSERT_GE(table->rows.size(), 2u);
  EXPECT_EQ(table->rows[table->rows.size() - 2], (Row{"S-N", "Two word", "", "", "", ""}));
  EXPECT_EQ(table->rows.back(), (Row{"Sm", "walker", "Su", "", "gamma", "0.6"}));
}

TEST_F(CycleCommands, AFollowMakesTheCycleOutputsOnceAtTheEnd) {
  // A finished node ends the follow at its first look: the final object is the offline one.
  const std::string options = " --amplitude full --del 3 --matrix " + Quote(Out("f.csv").string()) +
                              " --fatigue actual --damage-history " + Quote(Out("fh.csv").string());
  const auto followed = Run("rainflow " + noise_ + options + " --follow --json");
  ASSERT_EQ(followed.exit_code, 0) << followed.err;
  const std::string matrix = ReadFileBytes(Out("f.csv"));
  const std::string history = ReadFileBytes(Out("fh.csv"));
  EXPECT_FALSE(matrix.empty());
  ASSERT_EQ(std::count(followed.out.begin(), followed.out.end(), '\n'), 1)
      << "a finished node is counted at the first look: only the final object";
  auto last = nlohmann::ordered_json::parse(followed.out);
  EXPECT_EQ(last.at("ended"), "complete");
  for (const char* key : {"live", "blocks_counted", "samples_behind", "ended"}) last.erase(key);
  const auto offline = Run("rainflow " + noise_ + options + " --json");
  ASSERT_EQ(offline.exit_code, 0) << offline.err;
  EXPECT_EQ(last.dump(), nlohmann::ordered_json::parse(offline.out).dump());
  EXPECT_EQ(ReadFileBytes(Out("f.csv")), matrix);
  EXPECT_EQ(ReadFileBytes(Out("fh.csv")), history);
}

TEST_F(CycleCommands, BadInputGetsOneLineAndNothingIsWritten) {
  std::ofstream(Out("negative.ini")) << "[Curve]\nReferenceRange=100\nReferenceCycles=2e6\n"
                                        "Slope=-3\n";
  std::ofstream(Out("words.ini")) << "[Curve]\nReferenceRange=ninety\nReferenceCycles=2e6\n"
                                     "Slope=3\n";
  // Each case asks for the list (an estimate), the matrix and the damage history where it can,
  // so that a refusal found late would still have found them unwritten.
  const std::string m = " --matrix " + Quote(Out("m.csv").string());
  const std::string h = " --damage-history " + Quote(Out("h.csv").string());
  const std::string actual = " --fatigue actual" + h + m;
  struct Case {
    std::string options;
    std::string says;
  };
  const std::vector<Case> cases = {
      {actual + " --curve " + Quote(Out("negative.ini").string()), "--curve"},
      {actual + " --curve " + Quote(Out("words.ini").string()), "--curve"},
      {actual + " --curve " + Quote(Out("none.ini").string()), "none.ini"},
      {actual + " --curve en1993:72", "en1993:72"},
      {actual + " --curve bs7608:Z", "--curve"},
      {actual + " --curve en1993:71 --class F2", "--class"},
      {actual + " --curve en1993:71 --reliability 1", "--reliability"},
      {m + " --curve en1993:71", "needs --fatigue"},
      {m + " --mean-correction swt", "needs --fatigue actual"},
      {m + h, "needs --fatigue actual"},
      {m + " --ultimate 400", "needs --fatigue"},
      {m + " --fatigue fitting --mean-correction swt", "--fatigue actual"},
      {m + " --fatigue fitting" + h, "--fatigue actual"},
      {actual + " --mean-correction goodman", "--ultimate"},
      {actual + " --mean-correction goodman --ultimate 0", "--ultimate"},
      {actual + " --mean-correction goodman --ultimate -5", "--ultimate"},
      {actual + " --mean-correction swt --ultimate 120", "ultimate"},  // below Smax = 150
      {actual + " --mean-correction walker --walker-gamma 1.5", "--walker-gamma"},
      {actual + " --mean-correction walker --walker-gamma 0", "--walker-gamma"},
      {actual + " --mean-correction swt --walker-gamma 0.5", "--walker-gamma"},
      {actual + " --mean-correction morrow", "morrow"},
      {actual + " --del 0", "--del"},
      {actual + " --del 3,-1", "--del"},
      {actual + " --del 3,,5", "--del"},
      {actual + " --del 3 --del-cycles 0", "--del-cycles"},
      {actual + " --del 3 --del-cycles x", "--del-cycles"},
      {actual + " --del 3 --del-frequency -1", "--del-frequency"},
      {actual + " --del 3 --del-cycles 5 --del-frequency 2", "one of them"},
      {actual + " --del-cycles 5", "needs --del"},
      {actual + " --matrix-bins 0,5", "--matrix-bins"},
      {actual + " --matrix-bins 2001,5", "--matrix-bins"},
      {actual + " --matrix-bins 5", "--matrix-bins"},
      {actual + " --matrix-bins 5,3,2", "--matrix-bins"},
      {" --fatigue actual" + h + " --matrix-bins 5,3", "needs --matrix"},
      {" --fatigue actual" + h + " --matrix " + Quote(Out("no/such/m.csv").string()),
       "no such folder"},
      {actual + " --mean-correction swt --follow --amplitude full", "--follow"},
      // Values that would print a load of null: no double is left for the result.
      {actual + " --del 3 --del-cycles 5e-324",
       "--del-cycles \"5e-324\": the equivalent cycle count 5e-324 is too small: below "
       "2.2250738585072014e-308"},
      {actual + " --del 5e-324", "--del \"5e-324\": the Woehler exponent m = 5e-324 is too small"},
      {actual + " --del 3,1e-320", "the Woehler exponent m = 1e-320 is too small"},
      {actual + " --del 3 --del-frequency 5e-324", "--del-frequency \"5e-324\": the"},
      // An option given names something: its empty value is no "left out".
      {actual + " --del " + Quote(""), "--del: the value is empty"},
      {" --fatigue actual" + h + " --matrix " + Quote(""), "--matrix: the value is empty"},
      {" --fatigue actual" + m + " --damage-history " + Quote(""),
       "--damage-history: the value is empty"},
      {actual + " --curve " + Quote(""), "--curve: the value is empty"},
      {actual + " --picture " + Quote(""), "--picture: the value is empty"},
      // Two names of one file in one run: the later write would take the earlier's place.
      {" --fatigue actual" + m + " --damage-history " + Quote(Out("sub/../m.csv").string()),
       "--matrix \"" + Out("m.csv").string() + "\" and --damage-history \"" +
           Out("sub/../m.csv").string() + "\" name the same file"},
      {" --fatigue actual" + h + " --matrix " + Quote(Out("link.csv").string()),
       "link.csv\" and --damage-history"},
      {" --fatigue actual" + h + " --matrix " + Quote(Out("m.png").string()) + " --picture " +
           Quote(Out("m.png").string()),
       "name the same file"},
      {" --fatigue actual" + h + " --matrix " + Quote(Out("sine1#50.RFL").string()) +
           " --save --result-dir " + Quote(out_.path().string()),
       "--save \"" + Out("sine1#50.RFL").string() + "\" and --matrix"},
      {" --fatigue actual" + h + " --matrix " + Quote((data_.path() / "sine1#50.sts").string()),
       "the node's .sts"},
  };
  // h.csv and link.csv are two links to one file; "sub" makes sub/.. a way back to the folder.
  fs::create_directories(Out("sub"));
  std::ofstream(Out("h.csv.target")) << "kept\n";
  fs::create_symlink(Out("h.csv.target"), Out("link.csv"));
  fs::create_symlink(Out("h.csv.target"), Out("h.csv"));
  const auto sts_size = fs::file_size(data_.path() / "sine1#50.sts");
  for (const Case& c : cases) {
    const std::string arguments = "rainflow " + raised_ + c.options;
    const auto refused = Run(arguments);
    EXPECT_NE(refused.exit_code, 0) << arguments;
    EXPECT_EQ(std::count(refused.err.begin(), refused.err.end(), '\n'), 1)
        << arguments << ": " << refused.err;
    EXPECT_NE(refused.err.find(c.says), std::string::npos) << arguments << ": " << refused.err;
    EXPECT_TRUE(refused.out.empty()) << arguments << ": " << refused.out;
    EXPECT_FALSE(fs::exists(ListData())) << arguments;
    EXPECT_FALSE(fs::exists(Out("m.csv"))) << arguments;
    EXPECT_FALSE(fs::exists(Out("m.png"))) << arguments;
    EXPECT_FALSE(fs::exists(Out("sine1#50.RFL"))) << arguments;
    EXPECT_EQ(ReadFileBytes(Out("h.csv")), "kept\n") << arguments;
    EXPECT_TRUE(fs::is_symlink(Out("h.csv"))) << arguments;
    EXPECT_EQ(fs::file_size(data_.path() / "sine1#50.sts"), sts_size) << arguments;
  }
}

TEST_F(CycleCommands, TheReportCarriesTheCurveTheLoadsAndTheMatrix) {
  const fs::path work = home_.path() / "work";
  const std::string base =
      "rainflow " + sine_ + " --amplitude 200 --partitions 10 --report " + "--no-launch --lang en";
  const auto made = Run(base + " --fatigue actual --curve en1993:71 --del 3 --del-cycles 64 " +
                        "--matrix " + Quote(Out("m.csv").string()));
  ASSERT_EQ(made.exit_code, 0) << made.err;
  const std::string report = ReadFileBytes(work / "TorvRpt.txt");
  EXPECT_NE(report.find("en1993:71"), std::string::npos) << report;
  EXPECT_NE(report.find("Damage-equivalent load"), std::string::npos) << report;
  EXPECT_NE(report.find("Range-Mean Matrix"), std::string::npos) << report;
  EXPECT_NE(report.find("TorvMtx.bmp"), std::string::npos) << report;
  EXPECT_EQ(ReadFileBytes(work / "TorvMtx.bmp").substr(0, 2), "BM") << "the matrix picture";

  // A weld class alone adds nothing: the report is that of the count without an estimate.
  ASSERT_EQ(Run(base).exit_code, 0);
  const std::string plain = ReadFileBytes(work / "TorvRpt.txt");
  ASSERT_EQ(Run(base + " --fatigue actual --class F2").exit_code, 0);
  EXPECT_EQ(ReadFileBytes(work / "TorvRpt.txt"), plain);
  EXPECT_EQ(plain.find("TorvMtx.bmp"), std::string::npos);
}

}  // namespace
}  // namespace torvwy::testing
