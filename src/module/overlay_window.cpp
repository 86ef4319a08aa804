// Counting several nodes for one picture, and the window that shows it.
#include "module/overlay_window.h"

#include <QPainter>
#include <algorithm>
#include <cmath>
#include <variant>

#include "core/counting/counting_run.h"
#include "core/counting/progress.h"
#include "core/services/message_table.h"
#include "render/colours.h"
#include "render/draw_target.h"
#include "ui/language.h"

namespace torvwy::module {
namespace {

using core::TextKey;

/// The displayed counts of a result and its amplitude range.
std::vector<double> CountsOf(const core::AnyResultFile& file, const render::ViewChoices& choices) {
  std::vector<double> counts;
  auto take = [&](const auto& values, int32_t n) {
    const int held = core::PartitionsHeld(n);
    for (int i = 0; i < held && static_cast<size_t>(i) < values.size(); ++i) {
      counts.push_back(static_cast<double>(values[static_cast<size_t>(i)]));
    }
  };
  if (const auto* peak = std::get_if<core::PeakResultFile>(&file)) {
    const auto& r = peak->result;
    take(choices.one_way ? r.one_way_total_counts : r.two_way_total_counts, r.partitions);
  } else if (const auto* range = std::get_if<core::RangeResultFile>(&file)) {
    const auto& r = range->result;
    take(choices.one_way ? r.one_way_counts : r.two_way_counts, r.partitions);
  } else {
    const auto& r = std::get<core::RainflowResultFile>(file).result;
    take(r.counts, r.partitions);
  }
  return counts;
}

double AmplitudeOf(const core::AnyResultFile& file) {
  return std::visit([](const auto& f) { return f.result.amplitude_range; }, file);
}

}  // namespace

core::Result<render::OverlayPicture> CountOverlay(core::CountingKind kind,
                                                  const core::CountingParameters& parameters,
                                                  const core::TestContext& test,
                                                  const std::vector<std::string>& names,
                                                  const render::ViewChoices& choices) {
  const core::Language language = ui::UiLanguage();
  std::vector<core::CountingNode> nodes;
  for (const std::string& name : names) {
    auto node = core::OpenCountingNode(test.data_path, test.test_name, test.test_code, name);
    if (!node) return node.error();
    nodes.push_back(std::move(*node));
  }
  core::CountingRunOptions options;
  options.captions = core::CountingCaptions(language);
  auto count_all =
      [&](const core::CountingParameters& asked) -> core::Result<std::vector<core::AnyResultFile>> {
    std::vector<core::AnyResultFile> files;
    for (const core::CountingNode& node : nodes) {
      core::CountingParameters p = asked;
      core::ResetRangeOnNodeLoad(p, node.info);
      p.range_mode = core::kRangeFull;
      core::SilentProgress progress;
      auto counted = core::RunCounting(kind, node, p, progress, options);
      if (!counted) {
        return core::Fail(counted.error().message, node.node_name + ": " + counted.error().detail);
      }
      files.push_back(std::move(*counted));
    }
    return files;
  };
  auto files = count_all(parameters);
  if (!files) return files.error();
  double largest = 0.0;
  bool differ = false;
  for (const auto& file : *files) {
    const double a = AmplitudeOf(file);
    if (!files->empty() && a != AmplitudeOf(files->front())) differ = true;
    largest = std::max(largest, a);
  }
  if (differ && largest > 0.0) {
    core::CountingParameters common = parameters;
    common.amplitude_mode = core::kAmplitudeSetValue;
    common.set_value = largest;
    files = count_all(common);
    if (!files) return files.error();
  }
  render::OverlayPicture picture;
  picture.language = language;
  picture.colours = render::ReadColours();
  picture.choices = choices;
  const TextKey title = kind == core::CountingKind::kPeak    ? TextKey::kPicturePeakValleyCount
                        : kind == core::CountingKind::kRange ? TextKey::kPictureRangeCount
                                                             : TextKey::kPictureRainflowCount;
  picture.title = ui::Text(TextKey::kOverlayTitle) + " - " + ui::Text(title).trimmed();
  const core::MessageTable table = core::LoadMessageTable(language);
  picture.x_title = QString::fromUtf8(table[core::kMsgCountXTitle].data());
  const double a = files->empty() ? 1.0 : AmplitudeOf(files->front());
  const bool one_sided = kind == core::CountingKind::kRainflow || choices.one_way;
  picture.x_low = one_sided ? 0.0 : -a;
  picture.x_high = a;
  for (size_t i = 0; i < files->size(); ++i) {
    const core::ResultFileNode& node = core::NodeOf((*files)[i]);
    if (i == 0) picture.eu = QString::fromStdString(node.sampling.eu());
    picture.curves.push_back(
        {QString::fromStdString(test.test_name + test.test_code + "#" + names[i]),
         CountsOf((*files)[i], choices)});
  }
  return picture;
}

OverlayWindow::OverlayWindow(render::OverlayPicture picture, QWidget* parent)
    : QWidget(parent, Qt::Window), picture_(std::move(picture)) {
  setWindowTitle(picture_.title);
  setMinimumSize(320, 240);
  resize(860, 520);
}

void OverlayWindow::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  render::TargetGeometry geometry;
  geometry.target = render::DrawTarget::kWindow;
  geometry.area = rect();
  drawn_ = render::DrawOverlayPicture(painter, geometry, picture_);
}

}  // namespace torvwy::module
