// Counting several nodes for one picture, and the window that shows, prints and copies it.
#include "module/overlay_window.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <variant>

#include "core/report/counting_hand_over.h"
#include "core/run/counting_run.h"
#include "core/services/message_table.h"
#include "core/services/text_catalogue.h"
#include "module/printing.h"
#include "render/colours.h"
#include "render/draw_target.h"
#include "render/picture_output.h"
#include "ui/language.h"

namespace torvwy::module {
namespace {

using core::TextKey;

/// The displayed counts of a result.
std::vector<double> CountsOf(const core::AnyResultFile& file, const render::ViewChoices& choices) {
  return core::ShownValues(file, choices.one_way);
}

double AmplitudeOf(const core::AnyResultFile& file) {
  return std::visit([](const auto& f) { return f.result.amplitude_range; }, file);
}

/// A count as the legend writes it: whole counts without a fraction.
QString CountText(double count) {
  if (std::isfinite(count) && std::fabs(count) < 1e15 && count == std::floor(count)) {
    return QString::number(static_cast<qlonglong>(count));
  }
  return QString::number(count, 'g', 6);
}

}  // namespace

core::Result<OverlayCounts> CountOverlayNodes(const core::CountingPlan& asked,
                                              const core::TestContext& test,
                                              const std::vector<std::string>& names,
                                              core::Language language, core::Progress& progress) {
  std::vector<core::CountingNode> nodes;
  for (const std::string& name : names) {
    auto node = core::OpenCountingNode(test.data_path, test.test_name, test.test_code, name);
    if (!node) return core::Fail(node.error().message, name + ": " + node.error().detail);
    nodes.push_back(std::move(*node));
  }
  const core::PassCaptions captions = core::CountingCaptions(language);
  OverlayCounts counts;
  // Each node's pass reports as "Counting abc1#3 (2/3)"; the second round on the common range
  // goes over the nodes again.
  auto count_all = [&](const core::CountingParameters& parameters) -> core::Status {
    counts.files.clear();
    for (size_t i = 0; i < nodes.size(); ++i) {
      const core::CountingNode& node = nodes[i];
      // The window's conventions too, so that its own node's curve is its histogram.
      core::CountingPlan plan;
      plan.kind = asked.kind;
      plan.residue = asked.residue;
      plan.gate = asked.gate;
      plan.crossings = asked.crossings;
      plan.parameters = parameters;
      core::CountingParameters& p = plan.parameters;
      core::ResetRangeOnNodeLoad(p, node.info);
      p.range_mode = core::kRangeFull;
      const std::string place = " " + node.test_name + node.test_code + "#" + node.node_name +
                                " (" + std::to_string(i + 1) + "/" + std::to_string(nodes.size()) +
                                ")";
      plan.captions.envelope = captions.envelope + place;
      plan.captions.counting = captions.counting + place;
      auto counted = core::RunCounting(plan, node, progress);
      // A cancel while the envelope is read ends the pass as one while the blocks are counted.
      if (counted ? core::PassCancelled(*counted)
                  : counted.error().message == core::kMsgCalculationCancelled) {
        counts.files.clear();
        counts.cancelled = true;
        return core::Ok();
      }
      if (!counted) {
        return core::Fail(counted.error().message, node.node_name + ": " + counted.error().detail);
      }
      counts.files.push_back(std::move(*counted));
    }
    return core::Ok();
  };
  const core::CountingParameters& parameters = asked.parameters;
  if (auto ok = count_all(parameters); !ok) return ok.error();
  if (counts.cancelled) return counts;
  double largest = 0.0;
  bool differ = false;
  for (const auto& file : counts.files) {
    const double a = AmplitudeOf(file);
    if (a != AmplitudeOf(counts.files.front())) differ = true;
    largest = std::max(largest, a);
  }
  if (differ && largest > 0.0) {
    core::CountingParameters common = parameters;
    common.amplitude_mode = core::kAmplitudeSetValue;
    common.set_value = largest;
    if (auto ok = count_all(common); !ok) return ok.error();
  }
  return counts;
}

render::OverlayPicture OverlayPictureOf(core::CountingKind kind, const core::TestContext& test,
                                        const std::vector<std::string>& names,
                                        const std::vector<core::AnyResultFile>& files,
                                        const render::ViewChoices& choices) {
  const core::Language language = ui::UiLanguage();
  render::OverlayPicture picture;
  picture.language = language;
  picture.colours = render::ReadColours();
  picture.choices = choices;
  TextKey title = TextKey::kPictureRainflowCount;
  switch (kind) {
    case core::CountingKind::kPeak:
      title = TextKey::kPicturePeakValleyCount;
      break;
    case core::CountingKind::kRange:
      title = TextKey::kPictureRangeCount;
      break;
    case core::CountingKind::kRangePairs:
      title = TextKey::kPictureRangePairCount;
      break;
    case core::CountingKind::kTimeAtLevel:
      title = TextKey::kPictureTimeAtLevelCount;
      break;
    default:
      break;
  }
  picture.title = ui::Text(TextKey::kOverlayTitle) + " - " + ui::Text(title).trimmed();
  const core::MessageTable table = core::LoadMessageTable(language);
  picture.x_title = QString::fromUtf8(table[core::kMsgCountXTitle].data());
  const double a = files.empty() ? 1.0 : AmplitudeOf(files.front());
  // Time at level has two-way partitions only; range pairs may be shown one-way.
  const bool one_sided = kind == core::CountingKind::kRainflow ||
                         (choices.one_way && kind != core::CountingKind::kTimeAtLevel);
  picture.x_low = one_sided ? 0.0 : -a;
  picture.x_high = a;
  for (size_t i = 0; i < files.size() && i < names.size(); ++i) {
    const core::ResultFileNode& node = core::NodeOf(files[i]);
    if (i == 0) picture.eu = QString::fromStdString(node.sampling.eu());
    std::vector<double> counts = CountsOf(files[i], choices);
    double largest = 0.0;
    for (double v : counts) {
      if (std::isfinite(v)) largest = std::max(largest, v);
    }
    // A node of small swings under one of large swings may hardly show on the common range:
    // the legend gives every node's largest count.
    const QString name = QString::fromStdString(test.test_name + test.test_code + "#" + names[i]);
    picture.curves.push_back(
        {ui::Text(TextKey::kOverlayLegend).arg(name, CountText(largest)), std::move(counts)});
  }
  return picture;
}

OverlayWindow::OverlayWindow(render::OverlayPicture picture, QWidget* parent)
    : QWidget(parent, Qt::Window), picture_(std::move(picture)) {
  setWindowTitle(picture_.title);
  setMinimumSize(320, 240);
  // Never larger than the screen it opens on: the axes and the legend stay in sight.
  QSize size(860, 520);
  if (const QScreen* screen =
          parent != nullptr ? parent->screen() : QGuiApplication::primaryScreen()) {
    size = size.boundedTo(screen->availableGeometry().size() * 9 / 10);
  }
  resize(size.expandedTo(minimumSize()));
  // The picture commands of a counting window, in a menu bar and the context menu, with the
  // keys of the main window's menu.
  menu_bar_ = new QMenuBar(this);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setMenuBar(menu_bar_);
  layout->addStretch();
  QMenu* file = menu_bar_->addMenu(ui::Text(TextKey::kMenuFile));
  print_ = file->addAction(ui::Text(TextKey::kMenuPrint), this, [this] {
    PrintWithDialog(
        this, [this](QPrinter& printer) { return PrintOn(printer); }, true);
  });
  print_->setShortcut(QKeySequence::Print);
  preview_ = file->addAction(ui::Text(TextKey::kMenuPrintPreview), this, [this] {
    PreviewPrint(
        this, [this](QPrinter& printer) { return PrintOn(printer); }, true);
  });
  file->addSeparator();
  QAction* close_action = file->addAction(ui::Text(TextKey::kMenuClose), this, &QWidget::close);
  close_action->setShortcut(QKeySequence::Close);
  QMenu* view = menu_bar_->addMenu(ui::Text(TextKey::kMenuView));
  copy_ = view->addAction(ui::Text(TextKey::kMenuCopyPicture), this,
                          [this] { QApplication::clipboard()->setImage(ExportImage()); });
  copy_->setShortcut(QKeySequence::Copy);
  log_ = view->addAction(ui::Text(TextKey::kViewMenuLogCounts), this,
                         [this](bool checked) { SetLogCounts(checked); });
  log_->setCheckable(true);
  log_->setChecked(picture_.choices.log_counts);
  log_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_L));
  // The window's own keys work wherever its focus is; the menu bar holds them.
  for (QAction* action : {print_, preview_, copy_, log_, close_action}) addAction(action);
  setContextMenuPolicy(Qt::ActionsContextMenu);
}

QRect OverlayWindow::PictureArea() const {
  const int top = menu_bar_->isVisible() ? menu_bar_->geometry().bottom() + 1 : 0;
  return QRect(0, top, width(), std::max(1, height() - top));
}

render::OverlayReport OverlayWindow::Draw(QPainter& painter,
                                          const render::TargetGeometry& geometry) const {
  return render::DrawOverlayPicture(painter, geometry, picture_);
}

QImage OverlayWindow::ExportImage() const {
  const QRect area = PictureArea();
  const double aspect = area.width() > 0 && area.height() > 0
                            ? static_cast<double>(area.height()) / area.width()
                            : render::kDefaultAspect;
  return render::RenderImage(
      [this](QPainter& painter, const render::TargetGeometry& geometry) {
        Draw(painter, geometry);
        render::PictureReport report;
        report.empty = false;
        return report;
      },
      aspect);
}

bool OverlayWindow::PrintOn(QPrinter& printer) const {
  return PrintPicture(printer, [this](QPainter& painter, const render::TargetGeometry& geometry) {
    Draw(painter, geometry);
    render::PictureReport report;
    report.empty = false;
    return report;
  });
}

void OverlayWindow::SetLogCounts(bool log_counts) {
  picture_.choices.log_counts = log_counts;
  log_->setChecked(log_counts);
  update();
}

void OverlayWindow::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  render::TargetGeometry geometry;
  geometry.target = render::DrawTarget::kWindow;
  geometry.area = PictureArea();
  drawn_ = Draw(painter, geometry);
}

}  // namespace torvwy::module
