// The statistics window: a batch chosen in the node choice, its list, saving and result mode.
#include "module/statistics_view.h"

#include <QTableWidget>
#include <filesystem>

#include "desktop_fixture.h"
#include "module/analysis_frame.h"
#include "module/module_state.h"
#include "ui/host_message.h"
#include "ui/select_node_dialog.h"

namespace torvwy::testing {
namespace {
namespace fs = std::filesystem;
using module::AnalysisFrame;
using StatisticsWindow = DesktopTest;

TEST_F(StatisticsWindow, RunsTheChosenTestAndReopensItsList) {
  WriteTest(8192);
  ui::NodeChoice choice;
  choice.test_name = "abc";
  choice.test_code = "1";
  choice.data_path = data_.path().string();
  choice.result_path = data_.path().string();
  choice.names = {"2", "7"};  // node 7 does not exist: no row for it
  ASSERT_TRUE(ui::WriteChoice(choice));
  auto* frame = qobject_cast<AnalysisFrame*>(host_.OpenWindow(module::kStatisticsTemplate));
  auto* view = qobject_cast<module::StatisticsView*>(frame->view());
  ASSERT_TRUE(WaitFor([&] { return view->batch().has_value(); }));
  EXPECT_EQ(view->list()->rowCount(), 1);
  EXPECT_EQ(view->list()->columnCount(), 14);
  EXPECT_EQ(view->list()->item(0, 2)->text(), QStringLiteral("2"));
  ui::SendHostCommand(frame, ui::command::kSaveResult);
  const fs::path list = data_.path() / "abc1#2_7.aps";
  ASSERT_TRUE(fs::exists(list)) << messages_.join("|").toStdString();

  // The saved list opens again in result mode and is never saved again.
  auto* opened = qobject_cast<AnalysisFrame*>(host_.OpenResultFile(QString::fromStdString(list)));
  ASSERT_NE(opened, nullptr);
  auto* shown = qobject_cast<module::StatisticsView*>(opened->view());
  ASSERT_TRUE(WaitFor([&] { return shown->batch().has_value(); }));
  EXPECT_TRUE(shown->result_mode());
  ASSERT_EQ(shown->list()->rowCount(), 1);
  EXPECT_EQ(shown->list()->item(0, 3)->text(), view->list()->item(0, 3)->text());
  fs::remove(list);
  ui::SendHostCommand(opened, ui::command::kSaveResult);
  EXPECT_FALSE(fs::exists(list));
}

}  // namespace
}  // namespace torvwy::testing
