// Node names from channel names, and the plan of an import.
#include "recording/channel_names.h"

#include <gtest/gtest.h>

namespace torvwy::recording {
namespace {

TEST(ChannelNames, CleanToWhatANodeNameMayHold) {
  const struct {
    const char* channel;
    const char* node;
  } cases[] = {
      {"Strain gauge 1", "Strain_gauge_1"},
      {"force/kN", "force_kN"},
      {"  a  b  ", "a_b"},
      {"x#y:z(1)", "x_y_z_1"},
      {"..", ""},
      {"###", ""},
      {"_-.tail._-", "tail"},
      {"应变 1", "应变_1"},
      {"a\tb\x01"
       "c",
       "a_b_c"},
      {"bad\xff\xfeutf8", "bad_utf8"},
      {"v1.2-rc", "v1.2-rc"},
  };
  for (const auto& c : cases) EXPECT_EQ(CleanNodeName(c.channel), c.node) << c.channel;
  // Cut at 64 bytes without splitting a character.
  const std::string long_name = std::string(63, 'a') + "应";
  EXPECT_EQ(CleanNodeName(long_name), std::string(63, 'a'));
  EXPECT_EQ(CleanNodeName(std::string(100, 'b')).size(), 64u);
}

std::vector<ChannelInfo> Channels(std::initializer_list<const char*> names) {
  std::vector<ChannelInfo> channels;
  for (const char* name : names) channels.push_back({name, 10, 100.0, "", std::nullopt});
  return channels;
}

TEST(ChannelNames, PlanNamesEveryChannelOnce) {
  auto plan = PlanNodes(Channels({"a", "a", "###", "a_2", "ch3"}), {});
  ASSERT_TRUE(plan);
  std::vector<std::string> nodes;
  for (const auto& node : *plan) nodes.push_back(node.node);
  EXPECT_EQ(nodes, (std::vector<std::string>{"a", "a_2", "ch3", "a_2_2", "ch3_2"}));
  EXPECT_TRUE((*plan)[0].note.empty());
  EXPECT_NE((*plan)[1].note.find("taken"), std::string::npos);
  EXPECT_NE((*plan)[2].note.find("'###'"), std::string::npos);
}

TEST(ChannelNames, PlanPicksByNameThenNumberAndNamesAsGiven) {
  const auto channels = Channels({"x", "2", "y"});
  auto plan = PlanNodes(channels, {{"y", "2", "1"}, {"n1", "n2", "n3"}});
  ASSERT_TRUE(plan);
  ASSERT_EQ(plan->size(), 3u);
  EXPECT_EQ((*plan)[0].channel, 2u);
  EXPECT_EQ((*plan)[1].channel, 1u);  // the channel named "2" before channel number 2
  EXPECT_EQ((*plan)[2].channel, 0u);
  EXPECT_EQ((*plan)[2].node, "n3");

  const struct {
    ChannelSelection selection;
    const char* says;
  } refusals[] = {
      {{{"z"}, {}}, "no channel 'z'"},    {{{"4"}, {}}, "no channel '4'"},
      {{{"x", "1"}, {}}, "chosen twice"}, {{{"x", "y"}, {"a"}}, "1 node names for 2 channels"},
      {{{"x"}, {"../up"}}, "node name"},  {{{"x", "y"}, {"a", "a"}}, "given twice"},
  };
  for (const auto& r : refusals) {
    auto refused = PlanNodes(channels, r.selection);
    ASSERT_FALSE(refused) << r.says;
    EXPECT_NE(refused.error().detail.find(r.says), std::string::npos) << refused.error().detail;
  }
}

TEST(ChannelNames, SplitListKeepsEmptyItems) {
  EXPECT_EQ(SplitList(" a, b ,c"), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(SplitList("a,,b"), (std::vector<std::string>{"a", "", "b"}));
  EXPECT_TRUE(SplitList("  ").empty());
}

}  // namespace
}  // namespace torvwy::recording
