// The readable tables of the counting commands: partition edges as a person reads them.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "support/run_command.h"
#include "support/test_node.h"

namespace torvwy::testing {
namespace {

/// The "from" and "to" texts of the rows of the table under the first line starting `title`.
std::vector<std::pair<std::string, std::string>> Edges(const std::string& out,
                                                       const std::string& title, int rows) {
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line) && line.rfind(title, 0) != 0) {
  }
  std::getline(lines, line);  // the column titles
  std::vector<std::pair<std::string, std::string>> edges;
  for (int r = 0; r < rows && std::getline(lines, line); ++r) {
    std::istringstream fields(line);
    std::string number, from, to;
    fields >> number >> from >> to;
    edges.emplace_back(from, to);
  }
  return edges;
}

class TableOutput : public ::testing::Test {
 protected:
  void SetUp() override {
    std::vector<double> x(1024);
    for (size_t i = 0; i < x.size(); ++i) x[i] = i % 4 == 1 ? 0.5 : i % 4 == 3 ? -0.5 : 0.0;
    NodeLayout layout;
    layout.test_name = "t";
    layout.test_code = "1";
    layout.node_name = "n";
    WriteNode(data_.path(), x, layout);
    node_ = "--data " + Quote(data_.path().string()) + " --test t --code 1 --node n";
  }
  std::string Table(const std::string& arguments) {
    const auto result = RunTorvwy(arguments + " " + node_, home_.path().string());
    EXPECT_EQ(result.exit_code, 0) << arguments << ": " << result.err;
    return result.out;
  }
  TempDir home_;
  TempDir data_;
  std::string node_;
};

TEST_F(TableOutput, AnEdgeThatIsZeroButForRoundingPrintsZero) {
  // A = 0.9, N = 12: W2 = 0.15, and 6 x 0.15 - 0.9 comes out as -1.1e-16 in doubles.
  for (const char* command : {"range", "peak"}) {
    const std::string out = Table(std::string(command) + " --amplitude 0.9 --partitions 12");
    const auto edges = Edges(out, "two-way counting", 12);
    ASSERT_EQ(edges.size(), 12u) << out;
    EXPECT_EQ(edges[0].first, "-0.9") << command;
    EXPECT_EQ(edges[5].second, "0") << command;
    EXPECT_EQ(edges[6].first, "0") << command;
    EXPECT_EQ(edges[11].second, "0.9") << command;
    EXPECT_EQ(out.find("e-16"), std::string::npos) << out;
    EXPECT_EQ(out.find("e-17"), std::string::npos) << out;
  }
}

TEST_F(TableOutput, TinyPartitionsKeepTheirEdges) {
  // Edges of a few 1e-12 are real edges, not rounding: none may turn into 0.
  const std::string out = Table("range --amplitude 3e-12 --partitions 3");
  const auto edges = Edges(out, "two-way counting", 3);
  ASSERT_EQ(edges.size(), 3u) << out;
  EXPECT_EQ(edges[0].first, "-3e-12");
  EXPECT_EQ(edges[1].first, "-1e-12");
  EXPECT_EQ(edges[2].first, "1e-12");
  EXPECT_EQ(edges[2].second, "3e-12");
  const auto one_way = Edges(out, "one-way counting", 3);
  ASSERT_EQ(one_way.size(), 3u) << out;
  EXPECT_EQ(one_way[0].first, "0");
  EXPECT_EQ(one_way[1].first, "1e-12");
}

}  // namespace
}  // namespace torvwy::testing
