// The programme command: its JSON contract against a programme worked by hand, the CSV table,
// the same bytes on every number of threads, and one line for each fault with nothing written.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "support/run_command.h"
#include "support/test_node.h"

namespace torvwy::testing {
namespace {
namespace fs = std::filesystem;

class ProgrammeCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    // Two constant-amplitude records in MPa: -50 50 -50 ... (ranges of 100) and the same at
    // 200, one block each ending where they began (at -50 and -100), and a force in kN.
    NodeLayout layout;
    layout.test_name = "track";
    layout.test_code = "1";
    for (const auto& [name, amplitude] : {std::pair{"a", 50.0}, std::pair{"b", 100.0}}) {
      std::vector<double> x(1024);
      for (size_t i = 0; i < x.size(); ++i) x[i] = (i % 2 == 0 ? -1.0 : 1.0) * amplitude;
      x.back() = -amplitude;
      layout.node_name = name;
      WriteNode(data_.path(), x, layout);
    }
    layout.node_name = "force";
    layout.eu = "kN";
    WriteNode(data_.path(), std::vector<double>(512, 1.0), layout);
  }
  /// A programme file of the events "NODE,REPEATS" and the head's extra lines.
  fs::path Write(const std::string& head, const std::vector<std::string>& events,
                 const std::string& name = "p.programme") {
    std::ofstream out(data_.path() / name);
    out << "[Programme]\nName=Test\nPartitions=40\nAmplitude=400\nResidue=discard\n"
           "Curve=en1993:71\n"
        << head;
    for (size_t i = 0; i < events.size(); ++i) {
      const size_t comma = events[i].find(',');
      out << "[Event " << i + 1
          << "]\nData=.\nTest=track\nCode=1\nNode=" << events[i].substr(0, comma)
          << "\nRepeats=" << events[i].substr(comma + 1) << "\n";
    }
    return data_.path() / name;
  }
  CommandOutput Run(const std::string& arguments) {
    return RunTorvwy("programme " + arguments, home_.path().string());
  }
  TempDir home_;
  TempDir data_;
};

TEST_F(ProgrammeCommand, TwoConstantAmplitudeEventsGiveTheDamageWorkedByHand) {
  const fs::path file = Write("", {"a,40", "b,12"});
  const auto run = Run(Quote(file.string()) + " --json --csv " +
                       Quote((data_.path() / "events.csv").string()) + " --threads 1");
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const auto json = nlohmann::ordered_json::parse(run.out);
  // Each record's 1023 turning points -x x -x ... -x (its last sample repeats the one before)
  // close 510 cycles alone and leave -x x -x, which closes one more with each next repeat:
  // r repeats give 511 r - 1. Ranges 100 and 200 in A = 400 / 40 partitions lie
  // in (90, 100] and (190, 200], whose centres the detail category 71 gives the lives
  // N = 2e6 (71 / S)^3 (above its knee).
  const double life_a = 2e6 * std::pow(71.0 / 95.0, 3.0);
  const double life_b = 2e6 * std::pow(71.0 / 195.0, 3.0);
  const double damage_a = (511.0 * 40 - 1) / life_a;
  const double damage_b = (511.0 * 12 - 1) / life_b;
  EXPECT_EQ(json["analysis"], "programme");
  EXPECT_EQ(json["programme"], "Test");
  ASSERT_EQ(json["events"].size(), 2u);
  EXPECT_EQ(json["events"][0]["label"], "Event 1");
  EXPECT_EQ(json["events"][0]["cycles"], 511.0 * 40 - 1);
  EXPECT_NEAR(json["events"][0]["damage"].get<double>(), damage_a, 1e-12 * damage_a);
  EXPECT_NEAR(json["events"][1]["damage"].get<double>(), damage_b, 1e-12 * damage_b);
  EXPECT_NEAR(json["events"][1]["damage_per_repeat"].get<double>(), damage_b / 12,
              1e-12 * damage_b);
  EXPECT_NEAR(json["total_damage"].get<double>(), damage_a + damage_b, 1e-12 * damage_b);
  EXPECT_EQ(json["cross_event_damage"], 0.0);  // the residue is discarded, nothing crosses
  EXPECT_NEAR(json["life_programmes"].get<double>(), 1.0 / (damage_a + damage_b), 1e-6);
  EXPECT_TRUE(json["life_km"].is_null());
  // One repeat (1024 samples at 1024 Hz) is a second.
  EXPECT_DOUBLE_EQ(json["programme_hours"].get<double>(), 52.0 / 3600.0);
  EXPECT_NEAR(json["equivalence"]["Event 1"]["Event 2"].get<double>(),
              (damage_b / 12) / (damage_a / 40), 1e-9);
  for (const char* key : {"N", "A", "w", "counts", "fatigue", "range_mean", "damage_matrix",
                          "from_to", "equivalence", "life_hours", "cross_event_cycles"}) {
    EXPECT_TRUE(json.contains(key)) << key;
  }
  EXPECT_EQ(json["N"], 40);
  EXPECT_EQ(json["counts"][9], 511.0 * 40 - 1);
  std::ifstream csv(data_.path() / "events.csv");
  std::string header, first;
  std::getline(csv, header);
  std::getline(csv, first);
  EXPECT_EQ(header, "label,repeats,scale,cycles,damage_per_repeat,damage,share");
  EXPECT_EQ(first.rfind("Event 1,40,1,20439,", 0), 0u) << first;

  // The same bytes whatever the threads.
  const auto many = Run(Quote(file.string()) + " --json --threads 2");
  ASSERT_EQ(many.exit_code, 0) << many.err;
  auto without_csv = json;
  without_csv.erase("csv");
  EXPECT_EQ(nlohmann::ordered_json::parse(many.out), without_csv);

  // The table for a person names the events and the life.
  const auto text = Run(Quote(file.string()));
  ASSERT_EQ(text.exit_code, 0) << text.err;
  EXPECT_NE(text.out.find("life in programmes"), std::string::npos);
  EXPECT_NE(text.out.find("across events"), std::string::npos);
}

TEST_F(ProgrammeCommand, HandsTheEstimateToTheListAndTheReport) {
  const fs::path file = Write("", {"a,40", "b,12"});
  const auto run = Run(Quote(file.string()) + " --list-export " +
                       Quote((data_.path() / "life.xlsx").string()) + " --report --no-launch");
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const fs::path work = home_.path() / "work";
  EXPECT_TRUE(fs::is_regular_file(work / "listdata.txt"));
  EXPECT_NE(ReadFileBytes(work / "listname.txt").find("life.xlsx"), std::string::npos);
  EXPECT_TRUE(fs::is_regular_file(work / "TorvRpt.txt"));
}

TEST_F(ProgrammeCommand, RefusesEachFaultInOneLineAndWritesNothing) {
  const std::string csv = " --csv " + Quote((data_.path() / "out.csv").string());
  const auto fault = [&](const fs::path& file) {
    const auto run = Run(Quote(file.string()) + csv);
    EXPECT_NE(run.exit_code, 0);
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_FALSE(fs::exists(data_.path() / "out.csv"));
    return run.err;
  };
  EXPECT_NE(fault(Write("", {"a,0"})).find("[Event 1] Repeats: \"0\" is not a whole number"),
            std::string::npos);
  EXPECT_NE(fault(Write("", {"a,1", "nowhere,2"})).find("[Event 2] Node: "), std::string::npos);
  EXPECT_NE(fault(Write("", {"a,1", "force,2"}))
                .find("[Event 2] Node: its unit \"kN\" is not the unit \"MPa\" of [Event 1]"),
            std::string::npos);
  EXPECT_NE(fault(Write("Colour=red\n", {"a,1"})).find("[Programme] Colour: unknown key"),
            std::string::npos);
  EXPECT_NE(fault(data_.path() / "none.programme").find("no programme file"), std::string::npos);
  // A CSV target that is a folder is refused before anything is counted.
  fs::create_directory(data_.path() / "taken");
  const auto run = Run(Quote(Write("", {"a,1"}).string()) + " --csv " +
                       Quote((data_.path() / "taken").string()));
  EXPECT_NE(run.exit_code, 0);
  EXPECT_TRUE(fs::is_directory(data_.path() / "taken"));
}

}  // namespace
}  // namespace torvwy::testing
