// The counting conventions in the setup dialog as an engineer sets them: the residue method and
// the gate typed and picked with keys, refused in the core's words, counted, named in the
// information column, asked again as they were, and followed by the cycles of the matrices.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QtTest/QTest>
#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>

#include "core/data/counting_node.h"
#include "core/services/progress.h"
#include "counting_window_fixture.h"
#include "module/control_panel.h"
#include "module/doc_template.h"
#include "module/setup_dialog.h"
#include "support/count_record.h"

namespace torvwy::testing {
namespace {
using module::SetupDialog;

class SetupConventions : public CountingWindowTest {
 protected:
  /// Types `text` into `field` over what it holds, as a person selecting it first.
  static void Type(QLineEdit* field, const char* text) {
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, QString::fromLatin1(text));
  }
  /// The rainflow counts of the node by the core itself, over the window's parameters.
  std::array<double, core::kMaxPartitions> CoreCounts(const CountOptions& options) {
    auto node = core::OpenCountingNode(data_.path(), "abc", "1", "2");
    EXPECT_TRUE(node.ok());
    core::SilentProgress progress;
    auto counted =
        CountNode(core::CountingKind::kRainflow, *node, view_->parameters(), progress, options);
    EXPECT_TRUE(counted.ok());
    return std::get<core::RainflowResultFile>(*counted).result.counts;
  }
  bool ColumnShows(const QString& line) const {
    const auto& texts = view_->drawn().texts;
    return std::any_of(texts.begin(), texts.end(),
                       [&](const render::DrawnText& t) { return t.text == line; });
  }
};

TEST_F(SetupConventions, ResidueAndGateAreAskedCountedShownAndFollowedByTheCycles) {
  WriteTest(size_t{16384});
  SetupDialog::SetAnswerForTesting(std::nullopt);
  ASSERT_NO_FATAL_FAILURE(Start(module::kRainflowTemplate));
  SetupDialog* dialog = WaitForSetup();
  ASSERT_NE(dialog, nullptr);
  ASSERT_NE(dialog->residue(), nullptr);
  ASSERT_NE(dialog->gate(), nullptr);
  EXPECT_EQ(dialog->residue()->currentText(), QStringLiteral("half"));
  EXPECT_EQ(dialog->gate()->text(), QStringLiteral("0"));

  // A gate that is no number, or below 0, is refused in one line and the dialog stays on it.
  const struct {
    const char* typed;
    const char* said;
  } kRefused[] = {{"two", "\"two\" is not a number"}, {"-1", "of 0 or more"}};
  for (const auto& bad : kRefused) {
    messages_.clear();
    Type(dialog->gate(), bad.typed);
    QTest::keyClick(dialog->gate(), Qt::Key_Return);
    ASSERT_EQ(messages_.size(), 1) << bad.typed;
    EXPECT_TRUE(messages_[0].contains(QStringLiteral("--gate"))) << messages_[0].toStdString();
    EXPECT_TRUE(messages_[0].contains(QString::fromLatin1(bad.said))) << messages_[0].toStdString();
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(dialog->gate()->hasFocus());
  }
  messages_.clear();

  // Full cycles (one step down the list) and a gate of 0.5 MPa: counted on Return.
  dialog->residue()->setFocus();
  QTest::keyClick(dialog->residue(), Qt::Key_Down);
  EXPECT_EQ(dialog->residue()->currentText(), QStringLiteral("full"));
  Type(dialog->gate(), "0.5");
  QTest::keyClick(dialog->gate(), Qt::Key_Return);
  ASSERT_TRUE(WaitFor([&] { return view_->result().has_value() && !view_->busy(); }));
  EXPECT_TRUE(messages_.isEmpty()) << messages_.join('|').toStdString();
  const auto& shown = std::get<core::RainflowResultFile>(*view_->result()).result;
  EXPECT_EQ(shown.residue, core::ResidueMethod::kFull);
  EXPECT_EQ(shown.gate, 0.5);
  // The counts are the core's with those conventions, which are not the default's.
  CountOptions asked;
  asked.residue = core::ResidueMethod::kFull;
  asked.gate = 0.5;
  EXPECT_EQ(shown.counts, CoreCounts(asked));
  EXPECT_NE(shown.counts, CoreCounts({}));

  // The information column names both.
  view_->setFocus();
  ASSERT_TRUE(PassMarker(frame_, view_));
  view_->repaint();
  EXPECT_TRUE(ColumnShows(QStringLiteral("Residue: full cycles")));
  EXPECT_TRUE(ColumnShows(QStringLiteral("Gate: 0.5 MPa")));

  // "O" asks again with them; Escape keeps them.
  Key(Qt::Key_O);
  dialog = WaitForSetup();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->residue()->currentText(), QStringLiteral("full"));
  EXPECT_EQ(dialog->gate()->text(), QStringLiteral("0.5"));
  QTest::keyClick(dialog, Qt::Key_Escape);
  ASSERT_TRUE(WaitFor([&] { return view_->findChild<SetupDialog*>() == nullptr; }));
  EXPECT_EQ(view_->session().residue(), core::ResidueMethod::kFull);

  // The from-to matrix is made of cycles listed with the count's conventions: it holds every
  // cycle the histogram counts, the residue's full cycles too.
  auto* box = frame_->control_panel()->findChild<QCheckBox*>(QStringLiteral("from_to_view"));
  ASSERT_NE(box, nullptr);
  QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(4, box->height() / 2));
  ASSERT_SOON_TRUE(view_->session().from_to().has_value() && !view_->busy());
  const core::ClassMatrix& matrix = *view_->session().from_to();
  const double histogram =
      std::accumulate(shown.counts.begin(), shown.counts.begin() + view_->partitions(), 0.0);
  EXPECT_EQ(matrix.outside, 0.0);
  EXPECT_DOUBLE_EQ(matrix.total, histogram);
  EXPECT_TRUE(std::all_of(matrix.counts.begin(), matrix.counts.end(), [](double n) {
    return n == std::floor(n);
  })) << "full cycles leave no half";
}

TEST_F(SetupConventions, EachMethodHasTheFieldsItTakes) {
  WriteTest(size_t{8192});
  const struct {
    int window;
    bool residue, gate;
  } kWindows[] = {
      {module::kPeakTemplate, false, true},      {module::kRangeTemplate, false, true},
      {module::kRainflowTemplate, true, true},   {module::kRangePairsTemplate, false, true},
      {module::kCrossingsTemplate, false, true}, {module::kTimeAtLevelTemplate, false, false},
  };
  SetupDialog::SetAnswerForTesting(std::nullopt);
  for (const auto& w : kWindows) {
    SCOPED_TRACE(w.window);
    ASSERT_NO_FATAL_FAILURE(Start(w.window));
    SetupDialog* dialog = WaitForSetup();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->residue() != nullptr, w.residue);
    EXPECT_EQ(dialog->gate() != nullptr, w.gate);
    if (w.window == module::kCrossingsTemplate) {
      // The one gate field, among the levels.
      EXPECT_EQ(dialog->gate()->parentWidget(), dialog->level_list()->parentWidget());
    }
    if (w.window == module::kRangePairsTemplate) {
      // A range-pair gate goes to the plan's own gate and into the result.
      Type(dialog->gate(), "3");
      QTest::keyClick(dialog->gate(), Qt::Key_Return);
      ASSERT_TRUE(WaitFor([&] { return view_->result().has_value() && !view_->busy(); }));
      EXPECT_EQ(std::get<core::RangePairResultFile>(*view_->result()).result.gate, 3.0);
      view_->repaint();
      EXPECT_TRUE(ColumnShows(QStringLiteral("Gate: 3 MPa")));
    } else {
      QTest::keyClick(dialog, Qt::Key_Escape);  // counts with the defaults
      ASSERT_TRUE(WaitFor([&] { return view_->result().has_value() && !view_->busy(); }));
    }
  }
  EXPECT_TRUE(messages_.isEmpty()) << messages_.join('|').toStdString();
}

}  // namespace
}  // namespace torvwy::testing
