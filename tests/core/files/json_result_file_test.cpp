// The JSON result files: what is written reads back the same, and a damaged or foreign file is
// refused naming the key at fault.
#include "core/files/json_result_file.h"

#include <gtest/gtest.h>

#include <string>

#include "core/services/message_table.h"

namespace torvwy::core {
namespace {

AnyResultFile SmallCrossings() {
  CrossingResultFile file;
  file.test_name = "rig";
  file.test_code = "7";
  file.node_name = "a#b";
  file.sampling.set_frequency_hz(512.0);
  file.sampling.set_c1(2.0);
  file.sampling.set_c2(0.5);
  file.sampling.set_eu("με");
  LevelCrossingResult& r = file.result;
  r.levels = {-1.5, 0.0, 0.1};
  r.up = {3, 4, 5};
  r.down = {3, 5, 4};
  r.reference = 0.1;
  r.gate = 0.25;
  r.direction = CrossingDirection::kBoth;
  r.first_block = 2;
  r.last_block = 9;
  r.envelope = {0.5, -0.25};
  r.envelope_maximum = 0.5;
  r.envelope_minimum = -0.25;
  r.amplitude_mode = kAmplitudeSetValue;
  r.set_value = 1.5;
  return file;
}

TEST(JsonResultFile, WhatIsWrittenReadsBackTheSame) {
  AnyResultFile time = TimeAtLevelResultFile{};
  auto& t = std::get<TimeAtLevelResultFile>(time);
  t.sampling.set_frequency_hz(100.0);
  t.result.frequency_hz = 100.0;  // as the run takes it from the record
  t.result.partitions = 2;
  t.result.amplitude_range = 4.0;
  t.result.width = 4.0;
  t.result.samples = {7, 9};
  t.result.samples_outside = 1;
  AnyResultFile pairs = RangePairResultFile{};
  auto& p = std::get<RangePairResultFile>(pairs);
  p.result.partitions = 3;
  p.result.amplitude_range = 3.0;
  p.result.two_way_counts[1] = 6;
  p.result.one_way_counts[2] = 6;
  p.result.left_over_ranges = 4;
  for (const AnyResultFile& file : {SmallCrossings(), time, pairs}) {
    auto text = JsonResultText(file);
    ASSERT_TRUE(text.ok());
    auto read = ParseResultFile(*text, ".json");
    ASSERT_TRUE(read.ok()) << read.error().detail;
    EXPECT_EQ(KindOf(*read), KindOf(file));
    EXPECT_EQ(NodeOf(*read).node_name, NodeOf(file).node_name);
    EXPECT_EQ(NodeOf(*read).sampling.bytes(), NodeOf(file).sampling.bytes());
    EXPECT_EQ(*JsonResultText(*read), *text);
  }
  // The time follows from the samples and the record's frequency.
  auto read = ParseResultFile(*JsonResultText(time), "");
  EXPECT_EQ(std::get<TimeAtLevelResultFile>(*read).result.Seconds(),
            (std::vector<double>{0.07, 0.09}));
}

TEST(JsonResultFile, ADamagedOrForeignFileIsRefusedNamingTheKey) {
  const std::string good = *JsonResultText(SmallCrossings());
  const auto changed = [&good](const std::string& from, const std::string& to) {
    std::string text = good;
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return text.replace(at, from.size(), to);
  };
  const std::pair<std::string, std::string> cases[] = {
      {changed("\"torvwy-result\"", "\"other\""), "\"format\" is not \"torvwy-result\""},
      {changed("\"version\":1", "\"version\":9"), "version 9, newer than this torvwy reads"},
      {changed("\"up\":[3,4,5]", "\"up\":[3,4]"), "result: \"up\" holds 2 entries, not 3"},
      {changed("\"down\":[3,5,4]", "\"down\":[3,-5,4]"), "\"down\" holds an entry that is not"},
      {changed("\"levels\":[-1.5,0.0,0.1]", "\"levels\":[-1.5,0.1,0.0]"), "strictly increasing"},
      {changed("\"gate\":0.25", "\"gate\":-1.0"), "result: \"gate\" is below 0"},
      {changed("\"direction\":\"both\"", "\"direction\":\"left\""), "\"direction\" is not up"},
      {changed("\"amplitude_mode\":2", "\"amplitude_mode\":7"), "modes: \"amplitude_mode\""},
      {good.substr(0, good.size() / 2), "the JSON can't be read"},
      {changed("\"sampling_record\":\"", "\"sampling_record\":\"zz"), "sampling_record"},
  };
  for (const auto& [text, detail] : cases) {
    auto read = ParseResultFile(text, ".json");
    ASSERT_FALSE(read.ok()) << detail;
    EXPECT_EQ(read.error().message, kMsgResultFileOpen);
    EXPECT_NE(read.error().detail.find(detail), std::string::npos) << read.error().detail;
  }
}

}  // namespace
}  // namespace torvwy::core
