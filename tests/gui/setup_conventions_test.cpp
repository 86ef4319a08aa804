// The counting conventions in the setup dialog as an engineer sets them: the residue method and
// the gate picked and typed with keys, refused in the core's words, counted, named in the
// information column, asked again as they were, and followed by the cycles of the matrices.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QtTest/QTest>
#include <algorithm>
#include <cmath>
#include <numeric>

#include "core/run/convention_setting.h"
#include "counting_window_fixture.h"
#include "module/control_panel.h"
#include "module/doc_template.h"
#include "module/setup_dialog.h"

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
};

TEST_F(SetupConventions, ResidueAndGateAreAskedCountedShownAndFollowedByTheCycles) {
  WriteTest(size_t{16384});
  SetupDialog::SetAnswerForTesting(std::nullopt);
  ASSERT_NO_FATAL_FAILURE(Start(module::kRainflowTemplate));
  SetupDialog* dialog = WaitForSetup();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->residue()->currentText(), QStringLiteral("half"));
  EXPECT_EQ(dialog->gate()->text(), QStringLiteral("0"));

  // A gate that is no number, or below 0, is refused in one line and the dialog stays on it.
  for (const char* typed : {"two", "-1"}) {
    messages_.clear();
    Type(dialog->gate(), typed);
    QTest::keyClick(dialog->gate(), Qt::Key_Return);
    ASSERT_EQ(messages_.size(), 1) << typed;
    EXPECT_TRUE(messages_[0].contains(QStringLiteral("--gate"))) << messages_[0].toStdString();
    EXPECT_TRUE(dialog->isVisible() && dialog->gate()->hasFocus());
  }
  messages_.clear();

  // Full cycles (one step down the list) and a gate of 0.5 MPa, counted on Return.
  dialog->residue()->setFocus();
  QTest::keyClick(dialog->residue(), Qt::Key_Down);
  Type(dialog->gate(), "0.5");
  QTest::keyClick(dialog->gate(), Qt::Key_Return);
  ASSERT_TRUE(WaitFor([&] { return view_->result().has_value() && !view_->busy(); }));
  EXPECT_TRUE(messages_.isEmpty()) << messages_.join('|').toStdString();
  const auto& shown = std::get<core::RainflowResultFile>(*view_->result()).result;
  EXPECT_EQ(shown.residue, core::ResidueMethod::kFull);
  EXPECT_EQ(shown.gate, 0.5);
  view_->repaint();
  const auto& texts = view_->drawn().texts;
  for (const char* line : {"Residue: full cycles", "Gate: 0.5 MPa"}) {
    EXPECT_TRUE(std::any_of(texts.begin(), texts.end(), [&](const render::DrawnText& t) {
      return t.text == QLatin1String(line);
    })) << line;
  }

  // "O" asks again with them; Escape keeps them.
  view_->setFocus();
  Key(Qt::Key_O);
  ASSERT_NE(dialog = WaitForSetup(), nullptr);
  EXPECT_EQ(dialog->residue()->currentText(), QStringLiteral("full"));
  EXPECT_EQ(dialog->gate()->text(), QStringLiteral("0.5"));
  QTest::keyClick(dialog, Qt::Key_Escape);
  ASSERT_TRUE(WaitFor([&] { return view_->findChild<SetupDialog*>() == nullptr; }));
  // They are kept in the profile: the gate with its unit.
  const core::ConventionSetting kept = core::ReadConventionSetting("MPa");
  EXPECT_EQ(kept.residue, core::ResidueMethod::kFull);
  EXPECT_EQ(kept.gate, 0.5);
  EXPECT_EQ(core::ReadConventionSetting("g").gate, 0.0);

  // The from-to matrix is made of cycles listed with the count's conventions: it holds every
  // cycle the histogram counts, the residue's whole cycles too, and no half cycle.
  auto* box = frame_->control_panel()->findChild<QCheckBox*>(QStringLiteral("from_to_view"));
  QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(4, box->height() / 2));
  ASSERT_SOON_TRUE(view_->session().from_to().has_value() && !view_->busy());
  const core::ClassMatrix& matrix = *view_->session().from_to();
  EXPECT_DOUBLE_EQ(matrix.total, std::accumulate(shown.counts.begin(),
                                                 shown.counts.begin() + view_->partitions(), 0.0));
  EXPECT_TRUE(std::all_of(matrix.counts.begin(), matrix.counts.end(),
                          [](double n) { return n == std::floor(n); }));

  // A new window opens its setup on the kept conventions.
  ASSERT_NO_FATAL_FAILURE(Start(module::kRainflowTemplate));
  ASSERT_NE(dialog = WaitForSetup(), nullptr);
  EXPECT_EQ(dialog->residue()->currentText(), QStringLiteral("full"));
  EXPECT_EQ(dialog->gate()->text(), QStringLiteral("0.5"));
  QTest::keyClick(dialog, Qt::Key_Escape);
}

}  // namespace
}  // namespace torvwy::testing
