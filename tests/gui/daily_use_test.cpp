// The desktop as an engineer uses it all day: texts that fit their boxes at a small and a large
// window in both languages, Qt's own dialogs in Chinese, help without a browser, quitting during
// a pass, and the questions and small things that cost time.
#include <QAbstractButton>
#include <QApplication>
#include <QDockWidget>
#include <QFileDialog>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QStatusBar>
#include <QTextBrowser>
#include <QTimer>
#include <QToolButton>
#include <QtTest/QTest>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "core/data/block_span.h"
#include "core/services/folders.h"
#include "core/services/progress.h"
#include "counting_window_fixture.h"
#include "module/analysis_frame.h"
#include "module/bookmark_dialog.h"
#include "module/control_panel.h"
#include "module/counting_view.h"
#include "module/module_state.h"
#include "ui/error_message.h"
#include "ui/host_message.h"
#include "ui/language.h"
#include "ui/message_box.h"
#include "ui/progress_dialog.h"

namespace torvwy::testing {
namespace {
namespace fs = std::filesystem;
using module::AnalysisFrame;
using module::CountingView;

bool HasChinese(const QString& text) {
  return std::any_of(text.begin(), text.end(), [](QChar c) { return c.unicode() >= 0x4E00; });
}

/// Answers every message box that shows with `answer` (a box without that button with its
/// default), as a person clicking it, and keeps the texts.
class BoxClicker : public QObject {
 public:
  explicit BoxClicker(QMessageBox::StandardButton answer) : answer_(answer) {
    timer_.setInterval(20);
    connect(&timer_, &QTimer::timeout, this, [this] {
      for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        if (box == nullptr || !box->isVisible() || box->property("answered").toBool()) continue;
        box->setProperty("answered", true);
        texts.append(box->text());
        QAbstractButton* button = box->button(answer_);
        if (button == nullptr) button = box->defaultButton();
        if (button == nullptr && !box->buttons().isEmpty()) button = box->buttons().front();
        QTest::mouseClick(button, Qt::LeftButton);
      }
    });
    timer_.start();
  }
  void set_answer(QMessageBox::StandardButton answer) { answer_ = answer; }
  QStringList texts;

 private:
  QMessageBox::StandardButton answer_;
  QTimer timer_;
};

class DailyUse : public CountingWindowTest {
 protected:
  void TearDown() override {
    ui::SetUiLanguage(core::Language::kEnglish);
    DesktopTest::TearDown();
  }
  /// Opens a counting window of `kind`, its sub-window `size`, and waits for its first count.
  void Open(int kind, QSize size = {900, 620}) {
    ASSERT_NO_FATAL_FAILURE(CountingWindowTest::Open(kind));
    Resize(size);
  }
  void Resize(QSize size) {
    host_.resize(std::max(1500, size.width() + 100), std::max(1000, size.height() + 150));
    qobject_cast<QMdiSubWindow*>(frame_->parentWidget())->resize(size);
    // The panel slides in steps posted to the frame; the picture is drawn at the last size.
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(PassMarker(frame_, view_));
    QApplication::processEvents();
  }
};

TEST_F(DailyUse, TextsFitTheirBoxesAtASmallAndALargeWindowInBothLanguages) {
  for (const core::Language language : {core::Language::kEnglish, core::Language::kChinese}) {
    ui::SetUiLanguage(language);
    WriteTest(8192);
    Open(module::kPeakTemplate);
    // Peaks and valleys separately, two entries in the readout list, the list box shown.
    if (!view_->view_state().separately) Key(Qt::Key_T);
    ASSERT_TRUE(view_->view_state().separately);
    Key(Qt::Key_R);
    Key(Qt::Key_Right);
    Key(Qt::Key_Right);
    Key(Qt::Key_R);
    Key(Qt::Key_L);
    ASSERT_TRUE(view_->view_state().readout_box.shown);
    // The dock's title is the catalogue's, in the language of the windows.
    EXPECT_EQ(frame_->panel()->windowTitle(), ui::Text(ui::TextKey::kDockPeakPanel));
    for (const QSize size : {QSize(500, 380), QSize(1400, 900)}) {
      Resize(size);
      const std::string where =
          std::to_string(size.width()) + " lang " + std::to_string(static_cast<int>(language));
      // Below the panel's width and a compact picture, the panel collapses by itself.
      EXPECT_GE(view_->width(), AnalysisFrame::kMinPictureWidth) << where;
      EXPECT_EQ(frame_->control_panel()->collapsed(), size.width() < 700) << where;
      const render::PictureReport& drawn = view_->drawn();
      ASSERT_FALSE(drawn.empty) << where;
      EXPECT_EQ(drawn.compact, size.width() < 700) << where;
      EXPECT_TRUE(drawn.column.contains(drawn.title_box.adjusted(0, 0, 3, 3))) << where;
      ASSERT_FALSE(drawn.readout_box.isEmpty()) << where;
      EXPECT_LT(drawn.readout_box.right(), drawn.column.left()) << where;
      // The heading row names the last column whole when there is room.
      const std::string readouts = view_->ReadoutText(0);
      const QString heading = QString::fromStdString(readouts.substr(0, readouts.find('\r')));
      bool heading_seen = false;
      bool in_box = false;  // the box is drawn last: its title, then its rows
      for (const render::DrawnText& text : drawn.texts) {
        if (text.rect == drawn.readout_box) {
          in_box = true;
          continue;
        }
        if (!in_box) continue;
        EXPECT_TRUE(drawn.readout_box.contains(text.rect)) << where;
        if (size.width() >= 1400) {
          EXPECT_FALSE(text.text.contains(QChar(0x2026))) << where;
        }
        heading_seen = heading_seen || text.text == heading.trimmed() || text.text == heading;
      }
      if (size.width() >= 1400) {
        EXPECT_TRUE(heading_seen) << heading.toStdString() << where;
      }
    }
    host_.mdi()->closeAllSubWindows();
    ASSERT_TRUE(WaitFor([&] { return host_.frames().empty(); }));
  }
}

TEST_F(DailyUse, TheBookmarkDialogGreysWhatItCantDoAndKeepsItsLabelsWholeWhenHidden) {
  for (const core::Language language : {core::Language::kEnglish, core::Language::kChinese}) {
    ui::SetUiLanguage(language);
    for (const int mode :
         {module::BookmarkDialog::kNoAddMode, module::BookmarkDialog::kHideOnlyMode}) {
      module::BookmarkDialog dialog(&host_);
      dialog.SetBookmarkMode(mode);
      dialog.RefreshBookmarks();
      dialog.show();
      QApplication::processEvents();
      const std::string where =
          "mode " + std::to_string(mode) + " lang " + std::to_string(static_cast<int>(language));
      // What the views' mode never enables is not shown; what is disabled looks it.
      EXPECT_TRUE(dialog.add_button()->isHidden()) << where;
      EXPECT_TRUE(dialog.goto_button()->isHidden()) << where;
      EXPECT_FALSE(dialog.delete_button()->isEnabled()) << where;
      const QPalette& palette = dialog.delete_button()->palette();
      EXPECT_NE(palette.color(QPalette::Disabled, QPalette::ButtonText),
                palette.color(QPalette::Active, QPalette::ButtonText))
          << where;
      if (mode == module::BookmarkDialog::kNoAddMode) {
        QTest::mouseClick(dialog.hide_radio(), Qt::LeftButton);
      }
      QApplication::processEvents();
      ASSERT_EQ(dialog.size(), dialog.CompactSize()) << where;
      for (QRadioButton* radio : {dialog.hide_radio(), dialog.show_radio()}) {
        const QRect inside = radio->geometry();
        EXPECT_TRUE(dialog.rect().contains(inside)) << where;
        // The label is drawn whole: the button is as wide as it asks to be.
        EXPECT_GE(radio->width(), radio->sizeHint().width()) << radio->text().toStdString();
        EXPECT_GE(radio->height(), radio->sizeHint().height()) << where;
      }
    }
  }
}

TEST_F(DailyUse, QtsOwnDialogsAndButtonsSpeakChineseInTheChineseInterface) {
  ui::SetUiLanguage(core::Language::kChinese);
  {
    QMessageBox box(QMessageBox::Question, QStringLiteral("t"), QStringLiteral("?"),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    for (auto button : {QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel}) {
      EXPECT_TRUE(HasChinese(box.button(button)->text()))
          << box.button(button)->text().toStdString();
    }
    QFileDialog dialog(&host_);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    bool chinese = false;
    for (const QLabel* label : dialog.findChildren<QLabel*>()) {
      chinese = chinese || HasChinese(label->text());
    }
    EXPECT_TRUE(chinese) << "the file dialog's labels";
  }
  ui::SetUiLanguage(core::Language::kEnglish);
  QMessageBox box(QMessageBox::Question, QStringLiteral("t"), QStringLiteral("?"),
                  QMessageBox::Yes | QMessageBox::No);
  EXPECT_EQ(box.button(QMessageBox::Yes)->text(), QStringLiteral("&Yes"));
}

TEST_F(DailyUse, F1ShowsTheHelpPageInAWindowOfItsOwn) {
  TempDir pages;
  std::ofstream(pages.path() / "WyCont_en.html")
      << "<html><body><h1>Peak counting</h1></body></html>";
  ::setenv("TORVWY_HELP_DIR", pages.path().c_str(), 1);
  module::ResetHelpForTesting();
  WriteTest(8192);
  Open(module::kPeakTemplate);
  host_.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&host_));
  QTest::keyClick(view_, Qt::Key_F1);
  ASSERT_SOON_TRUE(module::HelpWindow() != nullptr && module::HelpWindow()->isVisible());
  QTextBrowser* help = module::HelpWindow();
  EXPECT_TRUE(help->source().toLocalFile().endsWith(QStringLiteral("WyCont_en.html")));
  EXPECT_TRUE(help->toPlainText().contains(QStringLiteral("Peak counting")));
  EXPECT_TRUE(help->isWindow());
  EXPECT_TRUE(messages_.isEmpty()) << messages_.join("|").toStdString();
  help->close();
  ::unsetenv("TORVWY_HELP_DIR");
  module::ResetHelpForTesting();
}

TEST_F(DailyUse, FileExitDuringAPassCancelsItThenCloses) {
  WriteLongTest(1 << 19);
  auto* frame = qobject_cast<AnalysisFrame*>(host_.OpenWindow(module::kPeakTemplate));
  auto* view = qobject_cast<CountingView*>(frame->view());
  ASSERT_TRUE(WaitFor([&] { return view->busy(); }));
  bool ended_cancelled = false;
  // Cancelled while the envelope is read, the pass ends without a result; later, with a
  // partial one.
  QObject::connect(&view->session(), &module::CountingSession::PassEnded,
                   [&] { ended_cancelled = !view->result().has_value() || view->cancelled(); });
  QAction* exit = nullptr;
  for (QAction* action : host_.findChildren<QAction*>()) {
    if (action->text() == ui::Text(ui::TextKey::kMenuExit)) exit = action;
  }
  ASSERT_NE(exit, nullptr);
  // Ctrl+Q, also while the progress dialog of the pass has the focus.
  EXPECT_EQ(exit->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
  EXPECT_EQ(exit->shortcutContext(), Qt::ApplicationShortcut);
  exit->trigger();
  ASSERT_TRUE(WaitFor([&] { return host_.frames().empty() && !host_.isVisible(); }, 60000))
      << host_.frames().size() << " windows, main window shown " << host_.isVisible();
  EXPECT_TRUE(ended_cancelled) << "the pass was cancelled, not waited for";
}

TEST_F(DailyUse, TheCancelledRefusalSaysItOnce) {
  const auto refused = core::RefuseCancelledPass(true, "saved");
  ASSERT_FALSE(refused);
  for (const core::Language language : {core::Language::kEnglish, core::Language::kChinese}) {
    ui::SetUiLanguage(language);
    const QString text = ui::ErrorMessage(refused.error());
    EXPECT_EQ(text, ui::Text(ui::TextKey::kCountingCancelledStatus));
    EXPECT_FALSE(text.contains(QStringLiteral("the pass was cancelled")));
  }
}

TEST_F(DailyUse, SaveResultAsksBeforeReplacingAFileTheWindowDidNotWrite) {
  WriteTest(8192);
  Open(module::kPeakTemplate);
  const fs::path result = data_.path() / "abc1#2.PCM";
  std::ofstream(result) << "another run's file";
  const auto size_before = fs::file_size(result);
  ui::SetMessageReceiverForTesting(nullptr);  // real boxes, clicked below
  BoxClicker clicker(QMessageBox::No);
  ui::SendHostCommand(frame_, ui::command::kSaveResult);
  ASSERT_EQ(clicker.texts.size(), 1);
  EXPECT_TRUE(clicker.texts[0].contains(QString::fromStdString(result.string())));
  EXPECT_EQ(fs::file_size(result), size_before) << "No keeps the file";
  clicker.set_answer(QMessageBox::Yes);
  ui::SendHostCommand(frame_, ui::command::kSaveResult);
  // The question, then "saved".
  ASSERT_EQ(clicker.texts.size(), 3) << clicker.texts.join("|").toStdString();
  EXPECT_NE(fs::file_size(result), size_before);
  // The window's own file is replaced without a question.
  ui::SendHostCommand(frame_, ui::command::kSaveResult);
  ASSERT_EQ(clicker.texts.size(), 4) << clicker.texts.join("|").toStdString();
  EXPECT_TRUE(clicker.texts[3].startsWith(ui::Text(ui::TextKey::kResultSavedTo)));
  ui::SetMessageReceiverForTesting(&sink_);
}

TEST_F(DailyUse, TheZoomSliderFollowsThePlusAndMinusKeys) {
  WriteTest(8192);
  Open(module::kPeakTemplate);
  auto* slider = frame_->control_panel()->findChild<QSlider*>(QStringLiteral("zoom_slider"));
  ASSERT_NE(slider, nullptr);
  // 200 is zoom 1; a key multiplies the zoom by 1.1 (or divides): log10(1.1) x 100 = 4.14.
  const struct {
    Qt::Key key;
    int presses;
    int slider;
  } cases[] = {{Qt::Key_Plus, 1, 204},    // 1.1^1: 200 + 4.14
               {Qt::Key_Plus, 4, 221},    // 1.1^5: 200 + 20.70
               {Qt::Key_Minus, 10, 179},  // 1.1^-5: 200 - 20.70
               {Qt::Key_I, 1, 200}};
  for (const auto& c : cases) {
    for (int i = 0; i < c.presses; ++i) Key(c.key);
    ASSERT_TRUE(PassMarker(frame_, view_));
    EXPECT_EQ(slider->value(), c.slider) << c.presses;
    EXPECT_EQ(slider->value(),
              static_cast<int>(std::lround(std::log10(view_->view_state().zoom) * 100.0 + 200.0)));
  }
}

TEST_F(DailyUse, TheReadingButtonsAreDisabledWhileAPassRuns) {
  WriteLongTest(1 << 18);
  auto* frame = qobject_cast<AnalysisFrame*>(host_.OpenWindow(module::kPeakTemplate));
  auto* view = qobject_cast<CountingView*>(frame->view());
  auto* collect = frame->control_panel()->findChild<QToolButton*>(QStringLiteral("readout_0"));
  auto* list = frame->control_panel()->findChild<QToolButton*>(QStringLiteral("readout_3"));
  ASSERT_NE(collect, nullptr);
  ASSERT_TRUE(WaitFor([&] { return view->busy(); }));
  ASSERT_TRUE(PassMarker(frame, view));
  // Disabled in the panel itself, not only with the window the progress dialog disables.
  EXPECT_FALSE(collect->isEnabledTo(frame->control_panel()));
  EXPECT_FALSE(list->isEnabledTo(frame->control_panel()));
  ASSERT_TRUE(WaitFor([&] { return !view->busy(); }, 300000));
  ASSERT_TRUE(PassMarker(frame, view));
  EXPECT_TRUE(collect->isEnabled());
  EXPECT_TRUE(list->isEnabled());
}

}  // namespace
}  // namespace torvwy::testing
