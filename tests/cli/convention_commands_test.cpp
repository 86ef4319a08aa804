// The counting conventions on the command line: --residue, --gate, --from-to, --transitions and
// --classes, their JSON keys and files, the report's lines, and their refusals.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <numeric>
#include <string>
#include <vector>

#include "support/run_command.h"
#include "support/test_node.h"

namespace torvwy::testing {
namespace {
namespace fs = std::filesystem;

class ConventionCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    // The standard's load history -2 1 -3 5 -1 3 -4 4 -2 (EU), held at its last value to fill
    // a block; float64 of 1024 raw units per EU, so that t (a thousandth of the format's full
    // scale, 10000 raw) is below 0.01 EU and every value is exact.
    std::vector<double> x(1024, -2.0 * 1024);
    const double history[] = {-2, 1, -3, 5, -1, 3, -4, 4, -2};
    for (size_t i = 0; i < std::size(history); ++i) x[i] = history[i] * 1024;
    NodeLayout layout;
    layout.c1 = 1024.0;
    layout.test_name = "t";
    layout.test_code = "1";
    layout.node_name = "n";
    WriteNode(data_.path(), x, layout);
    node_ = "--data " + Quote(data_.path().string()) + " --test t --code 1 --node n";
  }
  CommandOutput Run(const std::string& arguments) {
    return RunTorvwy(arguments, home_.path().string());
  }
  nlohmann::ordered_json Json(const std::string& arguments) {
    const auto result = Run(arguments);
    EXPECT_EQ(result.exit_code, 0) << result.err;
    return result.exit_code == 0 ? nlohmann::ordered_json::parse(result.out)
                                 : nlohmann::ordered_json::object();
  }
  /// Ten partitions of [0, 10]: a whole range r falls in partition r - 1.
  std::string Rainflow(const std::string& more) {
    return "rainflow " + node_ + " --partitions 10 --amplitude 10 --json" + more;
  }
  TempDir home_, data_;
  std::string node_;
};

std::vector<double> ByRange(std::vector<std::pair<int, double>> cycles) {
  std::vector<double> counts(10, 0.0);
  for (const auto& [range, count] : cycles) counts[static_cast<size_t>(range - 1)] = count;
  return counts;
}

TEST_F(ConventionCommands, EachResidueMethodCountsTheStandardsExampleAsWorkedByHand) {
  // The closed cycle -1..3 (4) and the residue's steps 3 4 8 9 8 6; the repeat closes 3, 7, 9
  // (worked out in the core's tests).
  const auto half = Json(Rainflow(""));
  EXPECT_EQ(half["counts"].get<std::vector<double>>(),
            ByRange({{3, 0.5}, {4, 1.5}, {6, 0.5}, {8, 1.0}, {9, 0.5}}));
  EXPECT_FALSE(half.contains("residue"));  // the default keeps today's bytes
  EXPECT_FALSE(half.contains("gate"));
  EXPECT_EQ(Run(Rainflow(" --residue half")).out, Run(Rainflow("")).out);
  const std::pair<const char*, std::vector<double>> methods[] = {
      {"full", ByRange({{3, 1}, {4, 2}, {6, 1}, {8, 2}, {9, 1}})},
      {"discard", ByRange({{4, 1}})},
      {"repeated", ByRange({{3, 1}, {4, 1}, {7, 1}, {9, 1}})}};
  for (const auto& [method, expected] : methods) {
    const auto json = Json(Rainflow(std::string(" --residue ") + method));
    EXPECT_EQ(json["counts"].get<std::vector<double>>(), expected) << method;
    EXPECT_EQ(json["residue"], method);
  }
  // The text output and the report say which convention was used.
  const auto text = Run("rainflow " + node_ + " --partitions 10 --amplitude 10 --residue full");
  EXPECT_NE(text.out.find("residue"), std::string::npos) << text.out;
  ASSERT_EQ(Run("rainflow " + node_ +
                " --partitions 10 --amplitude 10 --residue repeated --gate 2 --report --no-launch")
                .exit_code,
            0);
  const std::string report = ReadFileBytes(home_.path() / "work" / "TorvRpt.txt");
  // The life estimate's list names them in a summary row.
  ASSERT_EQ(Run(Rainflow(" --residue repeated --gate 2 --fatigue actual")).exit_code, 0);
  const std::string list = ReadFileBytes(home_.path() / "work" / "listdata.txt");
  EXPECT_NE(list.find("RF  residue  repeated  gate  2  MPa"), std::string::npos) << list;
  EXPECT_NE(report.find("Residue counted as the cycles it closes when the record repeats."),
            std::string::npos);
  EXPECT_NE(report.find("Gate: 2 (reversals smaller than the gate removed before counting)"),
            std::string::npos);
}

TEST_F(ConventionCommands, FromToAndTransitionMatricesInJsonAndCsv) {
  const fs::path from_to = data_.path() / "ft.csv";
  const fs::path transitions = data_.path() / "tr.csv";
  const auto json = Json(Rainflow(" --from-to " + Quote(from_to.string()) + " --transitions " +
                                  Quote(transitions.string()) + " --classes 5"));
  for (const char* key : {"from_to", "transitions"}) {
    const auto& m = json[key];
    EXPECT_EQ(m["classes"], 5);
    EXPECT_EQ(m["edges"].get<std::vector<double>>(), (std::vector<double>{-10, -6, -2, 2, 6, 10}));
    ASSERT_EQ(m["counts"].size(), 5u);
    EXPECT_EQ(m["counts"][0].size(), 5u);
    EXPECT_EQ(m["outside"], 0.0);
  }
  const auto sum = [](const nlohmann::ordered_json& rows) {
    double total = 0.0;
    for (const auto& row : rows) {
      for (const auto& cell : row) total += cell.get<double>();
    }
    return total;
  };
  const std::vector<double> counts = json["counts"].get<std::vector<double>>();
  EXPECT_EQ(sum(json["from_to"]["counts"]), std::accumulate(counts.begin(), counts.end(), 0.0));
  EXPECT_EQ(sum(json["transitions"]["counts"]), 8.0);  // nine turning points, eight reversals
  // -1 -> 3: from (-2, 2] (class 2) to (2, 6] (class 3), a closed cycle.
  EXPECT_EQ(json["from_to"]["counts"][2][3], 1.0);
  const std::string csv = ReadFileBytes(from_to);
  EXPECT_EQ(csv.substr(0, csv.find('\n')), "from_from,from_to,-10..-6,-6..-2,-2..2,2..6,6..10");
  EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 6);
  EXPECT_TRUE(fs::exists(transitions));
  // --classes defaults to the partitions.
  const auto by_default = Json(Rainflow(" --from-to " + Quote(from_to.string())));
  EXPECT_EQ(by_default["from_to"]["classes"], 10);
  EXPECT_FALSE(by_default.contains("transitions"));
}

TEST_F(ConventionCommands, TheGateReachesEveryCycleCountAndIsNamed) {
  // A gate of 4.5 passes -2 (the first sample), -3 (the load rose 8 from it), 5, -4, 4 and
  // -2: the wobbles 1 and -1 3 are gone. Rainflow then closes nothing: the halves -2 -3 (1),
  // -3 5 (8), 5 -4 (9), -4 4 (8), 4 -2 (6). Every cycle of 4.5 or more is the ungated one.
  for (const char* command : {"peak", "range", "rainflow", "range-pairs"}) {
    const auto json = Json(std::string(command) + " " + node_ +
                           " --partitions 10 --amplitude 10 --json --gate 4.5");
    EXPECT_EQ(json["gate"], 4.5) << command;
    EXPECT_FALSE(Json(std::string(command) + " " + node_ + " --partitions 10 --amplitude 10 --json")
                     .contains("gate"));
  }
  const auto gated = Json(Rainflow(" --gate 4.5"));
  const auto plain = Json(Rainflow(""));
  for (size_t j = 4; j < 10; ++j) {  // ranges 5 and more: the same cycles
    EXPECT_EQ(gated["counts"][j], plain["counts"][j]) << "range " << j + 1;
  }
  EXPECT_EQ(gated["counts"].get<std::vector<double>>(),
            ByRange({{1, 0.5}, {6, 0.5}, {8, 1.0}, {9, 0.5}}));
}

TEST_F(ConventionCommands, BadConventionsAreRefusedInOneLine) {
  const fs::path file = data_.path() / "m.csv";
  const std::pair<std::string, const char*> cases[] = {
      {Rainflow(" --residue twice"),
       "--residue \"twice\" is not one of half, full, discard, "
       "repeated"},
      {Rainflow(" --gate -1"), "--gate = -1 is not a finite number of 0 or more"},
      {Rainflow(" --gate nan"), "--gate = nan is not a finite number of 0 or more"},
      {Rainflow(" --classes 4"), "--classes needs --from-to or --transitions"},
      {Rainflow(" --from-to " + Quote(file.string()) + " --classes 0"),
       "--classes \"0\" lies outside 1..2000"},
      {Rainflow(" --transitions " + Quote(file.string()) + " --classes 2001"),
       "--classes \"2001\" lies outside 1..2000"},
      {"peak " + node_ + " --residue full", "--residue"},
      {"time-at-level " + node_ + " --gate 1", "--gate"},
  };
  for (const auto& [arguments, message] : cases) {
    const auto out = Run(arguments);
    EXPECT_NE(out.exit_code, 0) << arguments;
    EXPECT_NE(out.err.find(message), std::string::npos) << out.err;
    EXPECT_EQ(std::count(out.err.begin(), out.err.end(), '\n'), 1) << out.err;
    EXPECT_TRUE(out.out.empty()) << arguments;
  }
  EXPECT_FALSE(fs::exists(file));
}

}  // namespace
}  // namespace torvwy::testing
