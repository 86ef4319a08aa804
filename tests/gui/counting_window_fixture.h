// A desktop test around one counting window: opened from the host, its frame and view at hand,
// and keys sent to the view behind a marker.
#pragma once

#include <QtTest/QTest>

#include "desktop_fixture.h"
#include "module/analysis_frame.h"
#include "module/counting_view.h"
#include "module/setup_dialog.h"

namespace torvwy::testing {

class CountingWindowTest : public DesktopTest {
 protected:
  /// Opens a window of `kind` and takes its frame and view; its first pass may still run.
  void Start(int kind) {
    frame_ = qobject_cast<module::AnalysisFrame*>(host_.OpenWindow(kind));
    ASSERT_NE(frame_, nullptr);
    view_ = qobject_cast<module::CountingView*>(frame_->view());
    ASSERT_NE(view_, nullptr);
  }
  /// Opens a window of `kind`, waits for its first count and gives the view the focus.
  void Open(int kind) {
    ASSERT_NO_FATAL_FAILURE(Start(kind));
    ASSERT_TRUE(WaitFor([&] { return view_->result().has_value() && !view_->busy(); }));
    view_->setFocus();
    ASSERT_TRUE(PassMarker(frame_, view_));  // the panel has taken the view over
  }
  /// The setup dialog the view shows, once it shows; null after 5 s.
  module::SetupDialog* WaitForSetup() {
    module::SetupDialog* dialog = nullptr;
    WaitFor([&] { return (dialog = view_->findChild<module::SetupDialog*>()) != nullptr; }, 5000);
    return dialog;
  }
  /// A key on the view, then a marker behind what it posts to the view or the frame. A panel
  /// key goes on from the panel to the view once more: wait for its effect.
  void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(view_, key, modifiers);
    ASSERT_TRUE(PassMarker(frame_, view_));
  }

  module::AnalysisFrame* frame_ = nullptr;
  module::CountingView* view_ = nullptr;
};

}  // namespace torvwy::testing
