// Shared widgets: the panel button icons and the progress dialog.
#include <gtest/gtest.h>

#include <QIcon>
#include <QImage>
#include <QWidget>
#include <vector>

#include "ui/panel_icons.h"
#include "ui/progress_dialog.h"

namespace torvwy::testing {
namespace {

TEST(PanelIcons, EveryButtonHasItsOwnIconAndOthersNone) {
  std::vector<QImage> seen;
  auto distinct = [&seen](const QIcon& icon) {
    if (icon.isNull()) return false;
    const QImage image = icon.pixmap(24, 24).toImage();
    for (const QImage& other : seen) {
      if (other == image) return false;
    }
    seen.push_back(image);
    return true;
  };
  for (int code = 0; code <= 9; ++code)
    EXPECT_TRUE(distinct(ui::GetCursorButtonIcon(code))) << code;
  for (int index : {0, 2, 3, 4, 5, 6}) {
    EXPECT_TRUE(distinct(ui::GetReadoutButtonIcon(index))) << index;
  }
  EXPECT_TRUE(ui::GetCursorButtonIcon(10).isNull());
  EXPECT_TRUE(ui::GetCursorButtonIcon(-1).isNull());
  EXPECT_TRUE(ui::GetReadoutButtonIcon(1).isNull());
  EXPECT_TRUE(ui::GetReadoutButtonIcon(7).isNull());
}

TEST(ProgressDialog, PercentageFollowsTheBarAndCancelIsPerPoll) {
  QWidget owner;
  owner.show();
  {
    ui::ProgressDialog dialog(&owner);
    EXPECT_FALSE(owner.isEnabled());
    dialog.SetRange(0, 3);
    const char* expected[] = {"33%", "66%", "100%", "33%"};
    for (int step = 1; step <= 4; ++step) {
      dialog.SetPos(step);
      EXPECT_EQ(dialog.PercentText().toStdString(), expected[step - 1]);
    }
    dialog.SetRange(5, 5);  // an empty range shows 0 %
    dialog.SetPos(5);
    EXPECT_EQ(dialog.PercentText().toStdString(), "0%");
    dialog.RequestCancel();
    dialog.RequestCancel();
    EXPECT_TRUE(dialog.TakeCancel());
    EXPECT_FALSE(dialog.TakeCancel());
  }
  EXPECT_TRUE(owner.isEnabled());
  // A disabled owner stays disabled: the dialog only re-enables what it disabled.
  owner.setEnabled(false);
  { ui::ProgressDialog dialog(&owner); }
  EXPECT_FALSE(owner.isEnabled());
}

}  // namespace
}  // namespace torvwy::testing
