// The fatigue parts of the desktop: the curve and the correction in the life parameter dialog,
// the curve, the equivalent loads and the damage curve in the host's dock, and the rainflow
// window's range-mean matrix view.
#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPrinter>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTableWidget>
#include <QTimer>
#include <QtTest/QTest>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <numeric>

#include "core/fatigue/fatigue_list.h"
#include "core/fatigue/life_class_setting.h"
#include "core/report/companion.h"
#include "core/services/folders.h"
#include "core/services/number_format.h"
#include "core/services/profile.h"
#include "counting_window_fixture.h"
#include "module/analysis_frame.h"
#include "module/control_panel.h"
#include "module/counting_view.h"
#include "module/life_parameter_dialog.h"
#include "render/fatigue_pictures.h"
#include "ui/damage_curve_widget.h"
#include "ui/fatigue_table.h"
#include "ui/host_message.h"

namespace torvwy::testing {
namespace {
namespace fs = std::filesystem;
using module::AnalysisFrame;
using module::CountingView;
using module::LifeParameterDialog;

/// A whole sample file of cycles 0 -> 100 -> 0: every cycle has the range 100.
std::vector<double> SquareWave(size_t samples) {
  std::vector<double> x(samples);
  for (size_t i = 0; i < x.size(); ++i) x[i] = i % 2 == 0 ? 0.0 : 100.0;
  return x;
}

/// The pixels of `image` that are not white.
int InkedPixels(const QImage& image) {
  int inked = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) inked += image.pixel(x, y) != qRgb(255, 255, 255);
  }
  return inked;
}

class FatigueDesk : public CountingWindowTest {
 protected:
  void TearDown() override {
    LifeParameterDialog::SetCurveFileForTesting(std::nullopt);
    DesktopTest::TearDown();
  }
  void Open() { CountingWindowTest::Open(module::kRainflowTemplate); }
  void Click(QAbstractButton* button) {
    ASSERT_NE(button, nullptr);
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(4, button->height() / 2));
  }
  QPushButton* Ok(QDialog* dialog) {
    auto* box = dialog->findChild<QDialogButtonBox*>();
    for (QAbstractButton* button : box->buttons()) {
      if (box->buttonRole(button) == QDialogButtonBox::AcceptRole) {
        return qobject_cast<QPushButton*>(button);
      }
    }
    return nullptr;
  }
  /// Moves a combo box to entry `index` with the arrow keys, as a person does.
  static void Choose(QComboBox* box, int index) {
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Home);
    for (int step = 0; step < box->count() && box->currentIndex() < index; ++step) {
      QTest::keyClick(box, Qt::Key_Down);
    }
    ASSERT_EQ(box->currentIndex(), index);
  }
  static void Type(QLineEdit* field, const char* text) {
    field->setFocus();
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Delete);
    QTest::keyClicks(field, QString::fromLatin1(text));
  }
  fs::path WriteCurveFile(const char* name, const std::string& text) {
    const fs::path path = data_.path() / name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }
};

TEST_F(FatigueDesk, DialogTakesADetailCategoryWithACorrectionAndRefusesBadValues) {
  ASSERT_TRUE(core::WriteLifeClassIndex(5));  // F2 kept from before
  LifeParameterDialog dialog(core::FatigueMethod::kActual);
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  // A weld class: its factor, and no correction (the class holds its residual stresses).
  EXPECT_EQ(dialog.class_index(), 5);
  EXPECT_TRUE(dialog.reliability_group()->button(0)->isEnabled());
  EXPECT_FALSE(dialog.correction_box()->isEnabled());
  EXPECT_FALSE(dialog.ultimate_field()->isEnabled());

  Choose(dialog.curve_box(), dialog.DetailCategoryItem(71));
  EXPECT_EQ(dialog.class_index(), -1);
  EXPECT_FALSE(dialog.reliability_group()->button(0)->isEnabled());
  ASSERT_TRUE(dialog.correction_box()->isEnabled());
  EXPECT_FALSE(dialog.ultimate_field()->isEnabled());  // none chosen yet
  struct Step {
    int correction;  // None, Goodman, Gerber, SWT, Walker
    bool ultimate, gamma;
  };
  for (const Step& step : {Step{1, true, false}, Step{4, true, true}, Step{2, true, false}}) {
    Choose(dialog.correction_box(), step.correction);
    EXPECT_EQ(dialog.ultimate_field()->isEnabled(), step.ultimate) << step.correction;
    EXPECT_EQ(dialog.gamma_field()->isEnabled(), step.gamma) << step.correction;
  }
  // Goodman's and Gerber's strength is needed, a number, and positive: each refusal keeps the
  // dialog open with one message.
  Choose(dialog.correction_box(), 1);
  for (const char* bad : {"", "12x", "-400"}) {
    messages_.clear();
    Type(dialog.ultimate_field(), bad);
    Click(Ok(&dialog));
    EXPECT_EQ(messages_.size(), 1) << bad;
    EXPECT_TRUE(dialog.isVisible()) << bad;
  }
  Type(dialog.ultimate_field(), "400");
  Click(Ok(&dialog));
  EXPECT_FALSE(dialog.isVisible());
  const core::FatigueChoice& choice = dialog.choice();
  EXPECT_EQ(choice.curve.kind, core::SnCurveKind::kDetailCategory);
  EXPECT_EQ(choice.correction.kind, core::MeanCorrectionKind::kGoodman);
  EXPECT_EQ(choice.correction.ultimate, 400.0);
  // The category is its range at 2e6 cycles; 71 x 2^(1/3) lies a factor 2 in life above.
  EXPECT_NEAR(choice.curve.CyclesToFailure(71.0), 2e6, 1.0);
  EXPECT_NEAR(choice.curve.CyclesToFailure(71.0 * std::cbrt(2.0)), 1e6, 1.0);
  // Another curve than a weld class leaves the kept class as it was.
  EXPECT_EQ(core::ReadLifeClassIndex(), 5);

  // A fit takes no correction, whatever the curve.
  LifeParameterDialog fit(core::FatigueMethod::kFitting);
  fit.show();
  Choose(fit.curve_box(), fit.DetailCategoryItem(160));
  EXPECT_FALSE(fit.correction_box()->isEnabled());
}

TEST_F(FatigueDesk, DialogReadsACurveFileAndRefusesABadOne) {
  const fs::path good = WriteCurveFile(
      "butt.ini", "[Curve]\nName=Ground butt\nReferenceRange=100\nReferenceCycles=2e6\nSlope=3\n");
  const fs::path bad =
      WriteCurveFile("bad.ini", "[Curve]\nReferenceRange=100\nReferenceCycles=2e6\nSlope=-3\n");
  LifeParameterDialog dialog(core::FatigueMethod::kActual);
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  const int shown = dialog.curve_box()->currentIndex();

  // A bad file: one message, the box back on its curve, the dialog open.
  LifeParameterDialog::SetCurveFileForTesting(QString::fromStdString(bad.string()));
  dialog.curve_box()->setFocus();
  QTest::keyClick(dialog.curve_box(), Qt::Key_End);
  EXPECT_EQ(messages_.size(), 1);
  EXPECT_EQ(dialog.curve_box()->currentIndex(), shown);
  EXPECT_TRUE(dialog.isVisible());

  // Cancelled: nothing said, nothing changed.
  messages_.clear();
  LifeParameterDialog::SetCurveFileForTesting(QString());
  QTest::keyClick(dialog.curve_box(), Qt::Key_End);
  EXPECT_TRUE(messages_.isEmpty());
  EXPECT_EQ(dialog.curve_box()->currentIndex(), shown);

  LifeParameterDialog::SetCurveFileForTesting(QString::fromStdString(good.string()));
  QTest::keyClick(dialog.curve_box(), Qt::Key_End);
  EXPECT_TRUE(messages_.isEmpty()) << messages_.join('\n').toStdString();
  EXPECT_EQ(dialog.curve_box()->currentText(), QStringLiteral("Curve file: Ground butt"));
  EXPECT_TRUE(dialog.correction_box()->isEnabled());
  EXPECT_FALSE(dialog.reliability_group()->button(0)->isEnabled());
  Click(Ok(&dialog));
  EXPECT_FALSE(dialog.isVisible());
  const core::SnCurve& curve = dialog.choice().curve;
  EXPECT_EQ(curve.kind, core::SnCurveKind::kFile);
  // Slope 3 through (100, 2e6): half the range lives 8 times as long.
  EXPECT_NEAR(curve.CyclesToFailure(100.0), 2e6, 1e-3);
  EXPECT_NEAR(curve.CyclesToFailure(50.0), 1.6e7, 1e-2);
}

TEST_F(FatigueDesk, DockShowsTheCurveTheThreeLoadsAndTheDamageCurve) {
  WriteTest(SquareWave(16384));
  Open();
  auto* actual = frame_->findChild<QPushButton*>(QStringLiteral("actual_estimate"));
  ASSERT_TRUE(WaitFor([&] { return actual->isEnabled(); }, 5000));
  Click(actual);
  LifeParameterDialog* dialog = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (dialog = view_->findChild<LifeParameterDialog*>()); }));
  Choose(dialog->curve_box(), dialog->DetailCategoryItem(71));
  Click(Ok(dialog));
  ui::FatigueTableWidget* table = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (table = host_.findChild<ui::FatigueTableWidget*>()); }));
  ASSERT_SOON_TRUE(table->isVisible() && !view_->busy());
  EXPECT_TRUE(messages_.isEmpty()) << messages_.join('\n').toStdString();
  EXPECT_TRUE(table->curve()->text().contains(QStringLiteral("EN 1993-1-9")))
      << table->curve()->text().toStdString();
  EXPECT_TRUE(table->curve()->text().contains(QStringLiteral("71")));

  // Every cycle has the range 100: DEL_m = 100 (F / N_eq)^(1/m), with F the cycles listed and
  // N_eq = 16 s x 1 Hz.
  const auto& cycles = view_->session().cycles();
  ASSERT_TRUE(cycles.has_value());
  double listed = 0.0;
  for (const core::RainflowCycle& cycle : cycles->cycles) {
    EXPECT_EQ(cycle.range, 100.0);
    listed += cycle.count;
  }
  EXPECT_GT(listed, 8000.0);
  const QString loads = table->equivalent_loads()->text();
  for (const double m : {3.0, 5.0, 10.0}) {
    const double del = 100.0 * std::pow(listed / 16.0, 1.0 / m);
    EXPECT_TRUE(loads.contains(QString::fromStdString(core::FormatNumber(del, 4))))
        << m << ": " << loads.toStdString();
  }

  // The damage curve rises to the total damage over the 16 s and is drawn.
  ui::DamageCurveWidget* curve = table->damage_curve();
  ASSERT_TRUE(curve->isVisible());
  const auto& steps = curve->steps();
  ASSERT_FALSE(steps.empty());
  for (size_t i = 1; i < steps.size(); ++i) EXPECT_GE(steps[i].cumulative, steps[i - 1].cumulative);
  const auto kept = ui::LastFatigueTable();
  ASSERT_TRUE(kept.has_value());
  EXPECT_NEAR(steps.back().cumulative, kept->result.total_damage, 1e-9 * kept->result.total_damage);
  EXPECT_NEAR(steps.back().seconds, 16383.0 / 1024.0, 1e-9);
  EXPECT_GT(InkedPixels(curve->grab().toImage()), 100);
}

TEST_F(FatigueDesk, MatrixViewSwitchesPrintsAndCopies) {
  WriteTest(size_t{16384});
  Open();
  auto* box = frame_->control_panel()->findChild<QCheckBox*>(QStringLiteral("matrix_view"));
  ASSERT_NE(box, nullptr);
  const QImage histogram = view_->ExportImage();

  // The panel's box lists the cycles and shows their matrix.
  Click(box);
  ASSERT_SOON_TRUE(view_->matrix_shown() && view_->session().matrix().has_value() &&
                   !view_->busy());
  EXPECT_TRUE(messages_.isEmpty()) << messages_.join('\n').toStdString();
  const core::RangeMeanMatrix& matrix = *view_->session().matrix();
  // On the histogram's partitions its rows sum to the histogram.
  const auto& counts = std::get<core::RainflowResultFile>(*view_->result()).result.counts;
  const std::vector<double> rows = matrix.RangeCounts();
  ASSERT_EQ(rows.size(), static_cast<size_t>(view_->partitions()));
  for (size_t j = 0; j < rows.size(); ++j) EXPECT_EQ(rows[j], counts[j]) << j;

  // Copied and printed, the picture is the matrix's.
  ui::SendHostCommand(frame_, ui::command::kCopyPicture);
  const QImage copied = QApplication::clipboard()->image();
  ASSERT_FALSE(copied.isNull());
  EXPECT_GT(InkedPixels(copied), 1000);
  EXPECT_NE(copied, histogram);
  const fs::path pdf = data_.path() / "matrix.pdf";
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(QString::fromStdString(pdf.string()));
  ASSERT_TRUE(view_->PrintOn(printer));
  EXPECT_GT(fs::file_size(pdf), 1000u);
  // The report carries the matrix as its second picture.
  const fs::path work = core::GetWorkFolder();
  fs::remove(work / "TorvMtx.bmp");
  ui::SendHostCommand(frame_, ui::command::kReport);
  EXPECT_TRUE(fs::exists(work / "TorvMtx.bmp"));
  EXPECT_NE(ReadFileBytes(work / "TorvRpt.txt").find("TorvMtx.bmp"), std::string::npos);
  messages_.clear();  // the report program is not installed here

  // The host's View menu (Ctrl+Shift+M) brings the histogram back, and the box follows.
  QApplication::setActiveWindow(&host_);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&host_));
  QTest::keyClick(view_, Qt::Key_M, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_SOON_TRUE(!view_->matrix_shown());
  EXPECT_SOON_TRUE(!box->isChecked());
  EXPECT_FALSE(view_->drawn().plots.empty());  // the histogram's plots again
}

TEST_F(FatigueDesk, FromToViewTakesTurnsWithTheRangeMeanOneAndIsSavedAsAPicture) {
  WriteTest(size_t{16384});
  Open();
  auto* from_to = frame_->control_panel()->findChild<QCheckBox*>(QStringLiteral("from_to_view"));
  auto* range_mean = frame_->control_panel()->findChild<QCheckBox*>(QStringLiteral("matrix_view"));
  const QImage histogram = view_->ExportImage();

  // The panel's box lists the cycles and shows their from-to matrix, in the histogram's N
  // classes of [-A, A], holding every cycle the histogram counts.
  Click(from_to);
  ASSERT_SOON_TRUE(view_->from_to_shown() && view_->session().from_to().has_value() &&
                   !view_->busy());
  const core::ClassMatrix& matrix = *view_->session().from_to();
  const auto& counts = std::get<core::RainflowResultFile>(*view_->result()).result.counts;
  EXPECT_EQ(matrix.classes, view_->partitions());
  EXPECT_EQ(matrix.outside, 0.0);
  EXPECT_DOUBLE_EQ(matrix.total,
                   std::accumulate(counts.begin(), counts.begin() + view_->partitions(), 0.0));
  EXPECT_GT(matrix.total, 0.0);

  // Saved as a picture (the bitmap the image export takes), it shows the largest cell's colour,
  // which the histogram has nowhere.
  auto darkest = [](const QImage& image) {
    int found = 0;
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) {
        found += image.pixel(x, y) == render::MatrixCellColour(1.0).rgb();
      }
    }
    return found;
  };
  ui::SendHostCommand(frame_, ui::command::kSavePicture);
  QImage saved;
  ASSERT_TRUE(saved.load(QString::fromStdString(core::ImageExportPicturePath().string())));
  EXPECT_GT(darkest(saved), 0);
  EXPECT_EQ(darkest(histogram), 0);
  messages_.clear();  // the image export program is not installed here

  // The range-mean box shows that matrix instead and unticks the from-to box; View › From-To
  // Matrix (Ctrl+Shift+T) switches back, then to the histogram.
  Click(range_mean);
  EXPECT_SOON_TRUE(view_->matrix_shown() && !view_->from_to_shown() && !from_to->isChecked());
  QApplication::setActiveWindow(&host_);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&host_));
  QTest::keyClick(view_, Qt::Key_T, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_SOON_TRUE(view_->from_to_shown() && from_to->isChecked() && !range_mean->isChecked());
  QTest::keyClick(view_, Qt::Key_T, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_SOON_TRUE(!view_->from_to_shown() && !from_to->isChecked());
  EXPECT_TRUE(view_->drawn().cells.empty()) << "the histogram again";
}

TEST_F(FatigueDesk, AnOpenedResultFileSaysTheMatrixNeedsACount) {
  WriteTest(size_t{8192});
  Open();
  ui::SendHostCommand(frame_, ui::command::kSaveResult);
  const fs::path file = data_.path() / "abc1#2.RFL";
  ASSERT_TRUE(fs::exists(file)) << messages_.join("|").toStdString();
  messages_.clear();
  frame_ = qobject_cast<AnalysisFrame*>(host_.OpenResultFile(QString::fromStdString(file)));
  ASSERT_NE(frame_, nullptr);
  view_ = qobject_cast<CountingView*>(frame_->view());
  ASSERT_TRUE(WaitFor([&] { return view_->result().has_value(); }));
  ASSERT_TRUE(PassMarker(frame_, view_));
  auto* box = frame_->control_panel()->findChild<QCheckBox*>(QStringLiteral("matrix_view"));
  Click(box);
  ASSERT_SOON_TRUE(view_->matrix_shown());
  EXPECT_FALSE(view_->busy());
  EXPECT_FALSE(view_->session().matrix().has_value());
  const QString refusal = view_->session().MatrixRefusal();
  EXPECT_TRUE(refusal.contains(QStringLiteral("needs a count of the node")))
      << refusal.toStdString();
  const auto& texts = view_->drawn().texts;
  EXPECT_TRUE(std::any_of(texts.begin(), texts.end(),
                          [&](const render::DrawnText& t) { return t.text == refusal; }));
  EXPECT_TRUE(messages_.isEmpty()) << messages_.join('\n').toStdString();

  // Its estimate is the histogram's: the dock says the loads and the curve need a count.
  auto* actual = frame_->findChild<QPushButton*>(QStringLiteral("actual_estimate"));
  ASSERT_TRUE(WaitFor([&] { return actual->isEnabled(); }, 5000));
  Click(actual);
  LifeParameterDialog* dialog = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (dialog = view_->findChild<LifeParameterDialog*>()); }));
  Click(Ok(dialog));
  ui::FatigueTableWidget* table = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (table = host_.findChild<ui::FatigueTableWidget*>()); }));
  ASSERT_SOON_TRUE(table->isVisible());
  EXPECT_TRUE(table->equivalent_loads()->text().contains(QStringLiteral("need a count")))
      << table->equivalent_loads()->text().toStdString();
  EXPECT_FALSE(table->damage_curve()->isVisible());
}

TEST_F(FatigueDesk, DockShowsEveryColumnAndExportStartsInTheTestsFolderWithItsName) {
  WriteTest(SquareWave(16384));
  Open();
  auto* actual = frame_->findChild<QPushButton*>(QStringLiteral("actual_estimate"));
  ASSERT_TRUE(WaitFor([&] { return actual->isEnabled(); }, 5000));
  Click(actual);
  LifeParameterDialog* dialog = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (dialog = view_->findChild<LifeParameterDialog*>()); }));
  Click(Ok(dialog));
  ui::FatigueTableWidget* table = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (table = host_.findChild<ui::FatigueTableWidget*>()); }));
  ASSERT_SOON_TRUE(table->isVisible() && !view_->busy());
  QApplication::processEvents();
  // At the dock's first width every column, Life and Damage the last, shows whole, up to half
  // the screen; a wider table scrolls to its last column.
  QTableWidget* list = table->table();
  ASSERT_EQ(list->columnCount(), 6);
  int columns_width = 0;
  for (int column = 0; column < list->columnCount(); ++column) {
    columns_width += list->columnWidth(column);
  }
  const int half_screen = table->screen()->availableGeometry().width() / 2;
  for (int column = 0; column < list->columnCount(); ++column) {
    if (columns_width + list->verticalScrollBar()->sizeHint().width() + 2 * list->frameWidth() <=
        half_screen) {
      EXPECT_LE(list->columnViewportPosition(column) + list->columnWidth(column),
                list->viewport()->width())
          << list->horizontalHeaderItem(column)->text().toStdString();
    } else {
      EXPECT_GE(
          list->viewport()->width(),
          half_screen - list->verticalScrollBar()->sizeHint().width() - 2 * list->frameWidth());
      EXPECT_GT(list->horizontalScrollBar()->maximum(), 0);
    }
  }
  EXPECT_TRUE(table->life()->text().startsWith(QStringLiteral("Implied life: ")))
      << table->life()->text().toStdString();

  // Export opens its save dialog in the test's data folder with the node's name, and next
  // time in the folder last exported to.
  TempDir elsewhere;
  const struct {
    bool remembered;
    fs::path folder;
  } cases[] = {{false, data_.path()}, {true, elsewhere.path()}};
  for (const auto& c : cases) {
    if (c.remembered) {
      core::IniFile profile;
      if (auto loaded = core::IniFile::Load(core::ProfilePath())) profile = std::move(*loaded);
      profile.Set("settings", "FatigueExportFolder", elsewhere.path().string());
      ASSERT_TRUE(core::EnsureHostFolder());
      ASSERT_TRUE(profile.Save(core::ProfilePath()));
    }
    QString directory, name;
    QTimer::singleShot(0, [&] {
      WaitFor([&] { return qobject_cast<QFileDialog*>(QApplication::activeModalWidget()); }, 5000);
      auto* save = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      if (save == nullptr) return;
      directory = save->directory().absolutePath();
      const QStringList chosen = save->selectedFiles();
      name = chosen.isEmpty() ? QString() : QFileInfo(chosen.front()).fileName();
      save->reject();
    });
    Click(table->export_button());
    std::error_code error;
    EXPECT_TRUE(fs::equivalent(fs::path(directory.toStdString()), c.folder, error))
        << directory.toStdString();
    EXPECT_EQ(name, QStringLiteral("abc1#2_fatigue.xlsx"));
  }
}

}  // namespace
}  // namespace torvwy::testing
