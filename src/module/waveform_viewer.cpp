// The time-history viewer: a stretch of the node drawn from group extremes.
#include "module/waveform_viewer.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "core/services/number_format.h"
#include "core/services/text.h"
#include "render/text_drawing.h"
#include "ui/error_message.h"
#include "ui/language.h"

namespace torvwy::module {
namespace {

using core::TextKey;

/// Zoom of one wheel notch.
constexpr double kWheelFactor = 0.8;

QString Number(double value) { return QString::fromStdString(core::FormatNumber(value, 0)); }

}  // namespace

WaveformViewer::WaveformViewer(core::CountingNode node, std::vector<double> envelope,
                               std::vector<core::Label> bookmarks, core::Language language,
                               QWidget* parent)
    : QWidget(parent, Qt::Window),
      node_(std::move(node)),
      envelope_(std::move(envelope)),
      bookmarks_(std::move(bookmarks)),
      language_(language),
      colours_(render::ReadColours()) {
  record_ = node_.info.record_samples();
  view_count_ = record_;
  setFocusPolicy(Qt::StrongFocus);
  setMouseTracking(false);
  setMinimumSize(320, 200);
  resize(900, 420);
  setWindowTitle(ui::Text(TextKey::kWaveformTitle) + " - " +
                 QString::fromStdString(node_.test_name + node_.test_code + "#" + node_.node_name));
}

void WaveformViewer::SetEnvelope(std::vector<double> envelope) {
  envelope_ = std::move(envelope);
  window_valid_ = false;
  update();
}

void WaveformViewer::SetBookmarks(std::vector<core::Label> bookmarks) {
  bookmarks_ = std::move(bookmarks);
  update();
}

void WaveformViewer::SetPickedBlocks(std::optional<std::pair<int32_t, int32_t>> blocks) {
  picked_ = blocks;
  update();
}

double WaveformViewer::Seconds(int64_t sample) const {
  const double f = node_.info.frequency_hz();
  const double s = static_cast<double>(sample);
  return std::isfinite(f) && f > 0.0 ? s / f : s;
}

int32_t WaveformViewer::BlockOf(int64_t sample) const {
  const int64_t blocks = std::max<int64_t>(1, node_.info.whole_blocks());
  return static_cast<int32_t>(std::clamp<int64_t>(sample / core::kBlockSamples + 1, 1, blocks));
}

void WaveformViewer::ShowStretch(int64_t first, int64_t count) {
  count = std::clamp<int64_t>(count, std::min(kMinimumShown, record_), record_);
  first = std::clamp<int64_t>(first, 0, record_ - count);
  if (first == view_first_ && count == view_count_) return;
  view_first_ = first;
  view_count_ = count;
  window_valid_ = false;
  update();
}

void WaveformViewer::ZoomAt(double factor, int x) {
  if (!(factor > 0.0) || !std::isfinite(factor)) return;
  const int64_t anchor = SampleAt(x);
  const double share = static_cast<double>(anchor - view_first_) /
                       static_cast<double>(std::max<int64_t>(1, view_count_));
  const int64_t count = static_cast<int64_t>(std::llround(view_count_ * factor));
  const int64_t clamped = std::clamp<int64_t>(count, std::min(kMinimumShown, record_), record_);
  ShowStretch(anchor - static_cast<int64_t>(std::llround(share * clamped)), clamped);
}

int64_t WaveformViewer::SampleAt(int x) const {
  const QRect wave = drawn_.wave_rect;
  if (wave.width() <= 0) return view_first_ + view_count_ / 2;
  const double share = std::clamp((x - wave.left()) / static_cast<double>(wave.width()), 0.0, 1.0);
  const int64_t sample = drawn_first_ + static_cast<int64_t>(std::floor(share * drawn_span_));
  return std::clamp<int64_t>(sample, 0, std::max<int64_t>(0, record_ - 1));
}

const core::WindowExtremes* WaveformViewer::Window(int columns, QString* missing) {
  if (window_valid_ && window_columns_ == columns) return &window_;
  window_valid_ = false;
  const bool readable = view_count_ <= core::kMaxWindowReadSamples;
  if (!readable) {
    if (envelope_.empty()) {
      *missing = ui::Text(TextKey::kWaveformNoOverview);
      return nullptr;
    }
    window_ = core::EnvelopeWindow(envelope_, node_.info, view_first_, view_count_);
  } else {
    if (!reader_) {
      auto opened = core::WaveformReader::Open(core::SourceOf(node_), node_.info);
      if (!opened) {
        *missing = ui::ErrorMessage(opened.error());
        return nullptr;
      }
      reader_.emplace(std::move(*opened));
    }
    auto read = core::ReadWindowExtremes(*reader_, node_.info, view_first_, view_count_, columns);
    if (!read) {
      *missing = ui::ErrorMessage(read.error());
      return nullptr;
    }
    samples_read_ += read->count;
    window_ = std::move(*read);
  }
  window_valid_ = true;
  window_columns_ = columns;
  return &window_;
}

void WaveformViewer::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  render::WaveformPicture picture;
  picture.language = language_;
  picture.colours = colours_;
  picture.eu = render::SanitizeText(node_.info.eu());
  QString missing;
  const core::WindowExtremes* window = Window(std::max(1, width() - 80), &missing);
  if (window != nullptr && !window->values.empty()) {
    picture.values = window->values;
    const int64_t groups = static_cast<int64_t>(window->values.size() / 2);
    // Read groups are all g samples but the last; envelope segments span the stretch.
    const bool read = view_count_ <= core::kMaxWindowReadSamples;
    drawn_first_ = window->first;
    drawn_span_ = read ? groups * window->group_samples : window->count;
    picture.t_low_s = Seconds(drawn_first_);
    picture.t_high_s = Seconds(drawn_first_ + drawn_span_);
    double low = 0.0;
    double high = 0.0;
    bool any = false;
    for (double v : window->values) {
      if (!std::isfinite(v)) continue;
      low = any ? std::min(low, v) : v;
      high = any ? std::max(high, v) : v;
      any = true;
    }
    const double margin = high > low ? 0.1 * (high - low) : std::max(1.0, std::fabs(high) * 0.1);
    picture.y_low = low - margin;
    picture.y_high = high + margin;
  } else {
    picture.missing = missing.isEmpty() ? QStringLiteral("?") : missing;
    picture.values = {0.0, 0.0};
    drawn_first_ = view_first_;
    drawn_span_ = std::max<int64_t>(1, view_count_);
    picture.t_low_s = Seconds(view_first_);
    picture.t_high_s = Seconds(view_first_ + drawn_span_);
  }
  for (const core::Label& bookmark : bookmarks_) {
    const auto p = core::ParseFiniteDouble(bookmark.position);
    if (!p || *p < 0.0 || *p >= static_cast<double>(record_)) continue;
    picture.flags.push_back(
        {Seconds(static_cast<int64_t>(*p)), render::SanitizeText(bookmark.text)});
  }
  std::optional<std::pair<int64_t, int64_t>> band = dragged_;
  if (!band && picked_) {
    band = std::make_pair(int64_t{picked_->first - 1} * core::kBlockSamples,
                          int64_t{picked_->second} * core::kBlockSamples);
  }
  if (band) picture.pick_s = std::make_pair(Seconds(band->first), Seconds(band->second));
  picture.footer << ui::Text(TextKey::kWaveformShown)
                        .arg(Number(Seconds(view_first_)),
                             Number(Seconds(view_first_ + view_count_)))
                        .arg(view_count_);
  if (picked_) {
    picture.footer << ui::Text(TextKey::kWaveformPick).arg(picked_->first).arg(picked_->second);
  }
  picture.footer << ui::Text(TextKey::kWaveformHelp);
  drawn_ = render::DrawWaveformPicture(painter, rect(), picture);
}

void WaveformViewer::wheelEvent(QWheelEvent* event) {
  const int delta = event->angleDelta().y();
  if (delta == 0) return;
  ZoomAt(std::pow(kWheelFactor, delta / 120.0), static_cast<int>(event->position().x()));
  event->accept();
}

void WaveformViewer::mousePressEvent(QMouseEvent* event) {
  press_ = event->position().toPoint();
  if (event->button() == Qt::LeftButton && drawn_.wave_rect.contains(press_)) {
    const int64_t at = SampleAt(press_.x());
    dragged_ = std::make_pair(at, at);
  } else if (event->button() == Qt::RightButton || event->button() == Qt::MiddleButton) {
    panning_ = true;
    press_first_ = view_first_;
  }
}

void WaveformViewer::mouseMoveEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  if (dragged_) {
    dragged_->second = SampleAt(at.x());
    update();
  } else if (panning_ && drawn_.wave_rect.width() > 0) {
    const double per_pixel =
        static_cast<double>(view_count_) / static_cast<double>(drawn_.wave_rect.width());
    ShowStretch(
        press_first_ - static_cast<int64_t>(std::llround((at.x() - press_.x()) * per_pixel)),
        view_count_);
  }
}

void WaveformViewer::mouseReleaseEvent(QMouseEvent* event) {
  if (dragged_ && event->button() == Qt::LeftButton) {
    dragged_->second = SampleAt(event->position().toPoint().x());
    const auto [a, b] = std::minmax(dragged_->first, dragged_->second);
    dragged_.reset();
    // A click without a drag picks nothing.
    if (std::abs(event->position().toPoint().x() - press_.x()) >= 3) {
      picked_ = std::make_pair(BlockOf(a), BlockOf(std::max(a, b - 1)));
      emit BlocksPicked(picked_->first, picked_->second);
    }
    update();
  }
  if (event->button() == Qt::RightButton || event->button() == Qt::MiddleButton) panning_ = false;
}

void WaveformViewer::keyPressEvent(QKeyEvent* event) {
  const int centre = drawn_.wave_rect.center().x();
  switch (event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
      ZoomAt(0.5, centre);
      return;
    case Qt::Key_Minus:
      ZoomAt(2.0, centre);
      return;
    case Qt::Key_Left:
      ShowStretch(view_first_ - std::max<int64_t>(1, view_count_ / 4), view_count_);
      return;
    case Qt::Key_Right:
      ShowStretch(view_first_ + std::max<int64_t>(1, view_count_ / 4), view_count_);
      return;
    case Qt::Key_Home:
      ShowStretch(0, record_);
      return;
    case Qt::Key_Escape:
      close();
      return;
    default:
      QWidget::keyPressEvent(event);
  }
}

}  // namespace torvwy::module
