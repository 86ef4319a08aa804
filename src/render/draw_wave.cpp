// The curve plot: ranges, axes, grid, curve types, cursor and marks.
#include "render/draw_wave.h"

#include <QFontMetrics>
#include <QPainterPath>
#include <QPolygonF>
#include <algorithm>
#include <cmath>
#include <limits>

#include "core/services/number_format.h"

namespace torvwy::render {
namespace {

bool Finite(double value) { return std::isfinite(value); }

QString NumberText(double value, int digits) {
  const std::string text = core::FormatNumber(value, digits);
  return QString::fromStdString(text);
}

}  // namespace

std::vector<double> NiceTicks(double low, double high, int divisions) {
  std::vector<double> ticks;
  if (!Finite(low) || !Finite(high) || high <= low) return ticks;
  if (divisions <= 0) divisions = 5;
  const double raw = (high - low) / divisions;
  if (!(raw > 0.0) || !Finite(raw)) return ticks;
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  const double fraction = raw / power;
  // The round step nearest to the raw one on a logarithmic scale.
  double step = 10.0 * power;
  if (fraction <= std::sqrt(2.0)) {
    step = power;
  } else if (fraction <= std::sqrt(10.0)) {
    step = 2.0 * power;
  } else if (fraction <= std::sqrt(50.0)) {
    step = 5.0 * power;
  }
  if (!(step > 0.0) || !Finite(step)) return ticks;
  const double first = std::ceil(low / step - 1e-9);
  for (int k = 0; k < 1000; ++k) {
    double value = (first + k) * step;
    if (value > high + step * 1e-9) break;
    if (std::fabs(value) < step * 1e-9) value = 0.0;  // no "-0" or "1e-17" labels
    ticks.push_back(value);
  }
  return ticks;
}

std::vector<double> DecadeTicks(double low, double high) {
  std::vector<double> ticks;
  if (!Finite(low) || !Finite(high) || !(low > 0.0) || high < low) return ticks;
  const int first = static_cast<int>(std::ceil(std::log10(low) - 1e-9));
  const int last = static_cast<int>(std::floor(std::log10(high) + 1e-9));
  for (int k = first; k <= last && ticks.size() < 400; ++k) ticks.push_back(std::pow(10.0, k));
  return ticks;
}

std::vector<double> CDrawWave::YTicks() const {
  if (!edges_y_.empty()) return edges_y_;
  if (log_y_) return DecadeTicks(y_lo_, y_hi_);
  return NiceTicks(y_lo_, y_hi_, ticks_y_.major > 0 ? ticks_y_.major : 5);
}

std::vector<double> CDrawWave::XTicks() const {
  if (!edges_x_.empty()) return edges_x_;
  return NiceTicks(x_lo_, x_hi_, ticks_x_.major > 0 ? ticks_x_.major : 8);
}

void CDrawWave::SetData(std::span<const double> values) {
  data_.assign(values.begin(), values.end());
  cursor_ = std::clamp(cursor_, 0, std::max(0, static_cast<int>(data_.size()) - 1));
}

void CDrawWave::SetRangeOfX(int mode, double low, double high) { range_x_ = {mode, low, high}; }
void CDrawWave::SetRangeOfY(int mode, double low, double high) { range_y_ = {mode, low, high}; }

void CDrawWave::SetTitle(const QString& title, const QString& x_title, const QString& y_title) {
  title_ = title;
  x_title_ = x_title;
  y_title_ = y_title;
}

void CDrawWave::SetEU(const QString& x_unit, const QString& y_unit) {
  x_unit_ = x_unit;
  y_unit_ = y_unit;
}

void CDrawWave::SetTickTypeOfX(int grid, int major, int /*minor*/, int digits, int /*reserved*/) {
  ticks_x_ = {grid, major, digits};
}
void CDrawWave::SetTickTypeOfY(int grid, int major, int /*minor*/, int digits, int /*reserved*/) {
  ticks_y_ = {grid, major, digits};
}

void CDrawWave::SetColors(const std::array<ColourRef, kColourCount>& colours) {
  colours_ = colours;
}

void CDrawWave::ShowWhich(const std::array<bool, kShowCount>& shown) { shown_ = shown; }

void CDrawWave::EnableCursor(bool enabled) { cursor_enabled_ = enabled; }

void CDrawWave::SetCursorPosition(int index) {
  cursor_ = std::clamp(index, 0, std::max(0, static_cast<int>(data_.size()) - 1));
}

void CDrawWave::SetWaveType(int type) { wave_type_ = std::clamp(type, 0, 7); }

void CDrawWave::SetWaveSymbolType(int type, int size, const QString& text) {
  symbol_type_ = type;
  symbol_size_ = size;
  symbol_text_ = text;
}

void CDrawWave::MarkPoint(int index, int colour) {
  if (index < 0) return;
  for (const Mark& mark : marks_) {
    if (mark.index == index) return;
  }
  marks_.push_back({index, colour});
}

void CDrawWave::SettleRanges() {
  x_lo_ = range_x_.low;
  x_hi_ = range_x_.high;
  if (range_x_.mode != kRangeFixed) {
    x_lo_ = 0.0;
    x_hi_ = static_cast<double>(data_.size());
  }
  y_lo_ = range_y_.low;
  y_hi_ = range_y_.high;
  if (range_y_.mode != kRangeFixed && !data_.empty()) {
    auto [lo, hi] = std::minmax_element(data_.begin(), data_.end());
    y_lo_ = *lo;
    y_hi_ = *hi;
  }
}

bool CDrawWave::Drawable() const {
  return !data_.empty() && Finite(x_lo_) && Finite(x_hi_) && x_hi_ > x_lo_ && Finite(y_lo_) &&
         Finite(y_hi_) && y_hi_ > y_lo_ && Finite(x_hi_ - x_lo_) && Finite(y_hi_ - y_lo_) &&
         (!log_y_ || y_lo_ > 0.0);
}

double CDrawWave::MapX(double x) const {
  if (!(x_hi_ > x_lo_)) return wave_rect_.left();
  return wave_rect_.left() + (x - x_lo_) / (x_hi_ - x_lo_) * wave_rect_.width();
}

double CDrawWave::MapY(double y) const {
  if (!(y_hi_ > y_lo_)) return wave_rect_.top() + wave_rect_.height();
  if (log_y_) {
    // log of 0 or below: no row; the callers leave such values out.
    if (!(y > 0.0) || !(y_lo_ > 0.0)) return std::numeric_limits<double>::quiet_NaN();
    const double top = std::log10(y_hi_);
    return wave_rect_.top() +
           (top - std::log10(y)) / (top - std::log10(y_lo_)) * wave_rect_.height();
  }
  return wave_rect_.top() + (y_hi_ - y) / (y_hi_ - y_lo_) * wave_rect_.height();
}

double CDrawWave::CellLeft(int index) const {
  return wave_rect_.left() + static_cast<double>(index) * wave_rect_.width() /
                                 static_cast<double>(std::max<size_t>(1, data_.size()));
}

double CDrawWave::CellCentre(int index) const {
  return wave_rect_.left() + (index + 0.5) * wave_rect_.width() /
                                 static_cast<double>(std::max<size_t>(1, data_.size()));
}

bool CDrawWave::GetCurveDrawPos(int index, int& x, int& y) const {
  if (!drawn_ || index < 0 || static_cast<size_t>(index) >= data_.size() || !Drawable()) {
    return false;
  }
  x = static_cast<int>(std::floor(CellCentre(index)));
  const double row = MapY(data_[static_cast<size_t>(index)]);
  const double clamped =
      std::clamp(Finite(row) ? row : static_cast<double>(wave_rect_.bottom()),
                 static_cast<double>(wave_rect_.top()), static_cast<double>(wave_rect_.bottom()));
  y = static_cast<int>(std::floor(clamped));
  return true;
}

int CellAtPoint(const QRect& wave_rect, int count, QPoint point) {
  if (count < 1 || !wave_rect.contains(point)) return -1;
  const double share = (point.x() - wave_rect.left() + 0.5) / wave_rect.width();
  return std::min(count - 1, static_cast<int>(share * static_cast<double>(count)));
}

int CDrawWave::SetCursorPositionByPoint(QPoint point) {
  if (!drawn_) return -1;
  const int index = CellAtPoint(wave_rect_, static_cast<int>(data_.size()), point);
  if (index < 0) return -1;
  SetCursorPosition(index);
  return cursor_;
}

QRect CDrawWave::LayoutWaveRect(const QRect& rect, const QFontMetrics& metrics) {
  SettleRanges();
  const int text_height = metrics.height();
  const int gap = std::max(2, text_height / 3);
  // Room for the title above, the Y labels and title on the left, the X labels and title below.
  const bool labels_y = shown_[kShowYLabels];
  int y_label_width = 0;
  if (labels_y && Drawable()) {
    for (double tick : YTicks()) {
      y_label_width =
          std::max(y_label_width, metrics.horizontalAdvance(NumberText(tick, ticks_y_.digits)));
    }
  }
  const int top = rect.top() + (shown_[kShowTitle] ? text_height + gap : gap);
  const int left = rect.left() + gap + (shown_[kShowYTitle] ? text_height + gap : 0) +
                   (labels_y ? std::max(y_label_width, metrics.horizontalAdvance("0")) + gap : 0);
  const int bottom = rect.bottom() + 1 - gap - (shown_[kShowXTitle] ? text_height : 0) -
                     (shown_[kShowXLabels] ? text_height + gap : 0);
  const int right = rect.right() + 1 - std::max(gap, metrics.horizontalAdvance("0000") / 2);
  return QRect(QPoint(left, top), QPoint(std::max(left, right - 1), std::max(top, bottom - 1)));
}

void CDrawWave::Draw(QPainter& painter, const QRect& rect) {
  painter.save();
  painter.setClipRect(rect, Qt::IntersectClip);
  painter.fillRect(rect, Colour(kBackground));
  painter.setFont(font_);
  const QFontMetrics metrics(font_, painter.device());
  const int text_height = metrics.height();
  const int gap = std::max(2, text_height / 3);
  wave_rect_ = LayoutWaveRect(rect, metrics);
  const bool drawable = Drawable();
  drawn_ = true;

  painter.fillRect(wave_rect_, Colour(kWaveBackground));
  painter.setPen(Colour(kText));
  // Titles longer than their room end in an ellipsis instead of running into their
  // neighbours or being cut at both ends (a small window); at full size they fit as they are.
  texts_.clear();
  title_line_ = QRect();
  bounds_ = rect;
  auto Fitted = [this](const QFontMetrics& m, const QString& text, int width) {
    return compact_ ? m.elidedText(text, Qt::ElideRight, std::max(0, width)) : text;
  };
  if (shown_[kShowTitle]) {
    const QRect box(rect.left() + gap, rect.top(), rect.width() - 2 * gap, text_height + gap);
    const QString title = Fitted(metrics, title_, box.width());
    painter.drawText(box, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, title);
    if (!title.trimmed().isEmpty()) {
      texts_.push_back(
          {title, QRect(box.left(), box.top(),
                        std::min(box.width(), metrics.horizontalAdvance(title)), box.height())});
      // The line the title's letters take, after its leading blanks: no tick label may meet it.
      qsizetype blanks = 0;
      while (blanks < title.size() && title[blanks].isSpace()) ++blanks;
      const int lead = metrics.horizontalAdvance(title.left(blanks));
      const int width = std::min(box.width(), metrics.horizontalAdvance(title)) - lead;
      title_line_ = QRect(box.left() + lead, box.top() + gap / 2, std::max(0, width), text_height);
    }
  }
  auto with_unit = [&](const QString& title, const QString& unit) {
    return shown_[kShowUnits] && !unit.isEmpty() ? title + " (" + unit + ")" : title;
  };
  if (shown_[kShowXTitle]) {
    const QRect box(wave_rect_.left(), rect.bottom() + 1 - gap - text_height, wave_rect_.width(),
                    text_height);
    const QString title = Fitted(metrics, with_unit(x_title_, x_unit_), box.width());
    painter.drawText(box, Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextSingleLine, title);
    const int width = std::min(box.width(), metrics.horizontalAdvance(title));
    if (!title.isEmpty()) {
      texts_.push_back(
          {title, QRect(box.center().x() - width / 2, box.top(), width, box.height())});
    }
  }
  if (shown_[kShowYTitle]) {
    QString title = Fitted(metrics, with_unit(y_title_, y_unit_), wave_rect_.height());
    const int length = std::min(wave_rect_.height(), metrics.horizontalAdvance(title));
    const QRect box(rect.left() + gap, wave_rect_.top() + (wave_rect_.height() - length) / 2,
                    text_height, length);
    // A compact plot too low for a legible title goes without it.
    if (compact_ && (wave_rect_.height() < 2 * text_height || !rect.contains(box))) title.clear();
    painter.save();
    painter.translate(rect.left() + gap, wave_rect_.center().y());
    painter.rotate(-90.0);
    painter.drawText(QRect(-wave_rect_.height() / 2, 0, wave_rect_.height(), text_height),
                     Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextSingleLine, title);
    painter.restore();
    if (!title.isEmpty()) texts_.push_back({title, box});
  }

  if (drawable) {
    DrawAxes(painter);
    DrawCurve(painter);
    DrawMarks(painter);
    if (cursor_enabled_) {
      const int x = static_cast<int>(std::floor(CellCentre(cursor_)));
      painter.setPen(QPen(Colour(kCursor), line_width_));
      painter.drawLine(QPoint(x, wave_rect_.top()), QPoint(x, wave_rect_.bottom()));
    }
  }
  if (!missing_text_.isEmpty() || !drawable) {
    painter.setPen(Colour(kText));
    painter.drawText(wave_rect_, Qt::AlignCenter | Qt::TextWordWrap,
                     missing_text_.isEmpty() ? QStringLiteral("?") : missing_text_);
  }
  if (shown_[kShowFrame]) {
    painter.setPen(QPen(Colour(kAxis), line_width_));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(wave_rect_);
  }
  painter.restore();
}

bool CDrawWave::PlaceText(QPainter& painter, const QRect& box, int flags, const QString& text,
                          const QRect& bounds) {
  if (compact_ && !bounds.contains(box)) return false;
  // One pixel of air between neighbouring labels.
  const QRect spaced = box.adjusted(-1, -1, 1, 1);
  // A label that would run into the title is left out at any size (the top decade of a log axis).
  if (title_line_.isValid() && title_line_.intersects(box)) return false;
  for (const auto& drawn : texts_) {
    if (compact_ && drawn.second.intersects(spaced)) return false;
  }
  painter.drawText(box, flags, text);
  texts_.push_back({text, box});
  return true;
}

namespace {

/// How many values set as ticks one label stands for, and whether every value gets its mark:
/// the labels `room` pixels apart (centre to centre) at `pixels` per unit.
struct LabelStep {
  size_t step = 1;
  bool every_mark = true;
};

LabelStep StepOfLabels(const std::vector<double>& values, double pixels, int room) {
  LabelStep s;
  if (values.size() < 2 || !(pixels > 0.0) || !Finite(pixels)) return s;
  double closest = std::numeric_limits<double>::infinity();
  for (size_t i = 1; i < values.size(); ++i) closest = std::min(closest, values[i] - values[i - 1]);
  const double apart = closest * pixels;
  if (!(apart > 0.0) || !Finite(apart)) return s;
  s.every_mark = apart >= 3.0;
  const size_t intervals = values.size() - 1;
  const auto least =
      static_cast<size_t>(std::clamp(std::ceil(room / apart), 1.0, static_cast<double>(intervals)));
  s.step = least;
  for (size_t k = least; k <= std::min(intervals, 2 * least); ++k) {
    if (intervals % k == 0) {
      s.step = k;
      break;
    }
  }
  return s;
}

}  // namespace

void CDrawWave::DrawAxes(QPainter& painter) {
  const QFontMetrics metrics(painter.font(), painter.device());
  const int tick_length = std::max(3, metrics.height() / 4);
  QPen grid_pen(Colour(kGrid), 0, Qt::DotLine);
  grid_pen.setCosmetic(true);
  const QPen axis_pen(Colour(kAxis), line_width_);
  // X ticks; of values set, the labels are thinned evenly, wide enough for the widest.
  const std::vector<double> x_ticks = XTicks();
  LabelStep x_step;
  if (!edges_x_.empty()) {
    int widest = 0;
    for (double tick : x_ticks) {
      widest = std::max(widest, metrics.horizontalAdvance(NumberText(tick, ticks_x_.digits)));
    }
    x_step = StepOfLabels(x_ticks, wave_rect_.width() / (x_hi_ - x_lo_),
                          widest + 2 + metrics.horizontalAdvance(QStringLiteral("0")));
  }
  for (size_t i = 0; i < x_ticks.size(); ++i) {
    const double tick = x_ticks[i];
    const bool labelled = i % x_step.step == 0;
    if (!labelled && !x_step.every_mark) continue;
    const int x = static_cast<int>(std::lround(MapX(tick)));
    if (ticks_x_.grid != 0) {
      painter.setPen(grid_pen);
      painter.drawLine(x, wave_rect_.top(), x, wave_rect_.bottom());
    }
    painter.setPen(axis_pen);
    painter.drawLine(x, wave_rect_.bottom(), x, wave_rect_.bottom() + tick_length);
    if (shown_[kShowXLabels] && labelled) {
      painter.setPen(Colour(kText));
      const QString label = NumberText(tick, ticks_x_.digits);
      const int width = metrics.horizontalAdvance(label) + 2;
      // Labels that would overlap a neighbour or leave the plot are left out (thinned).
      PlaceText(painter,
                QRect(x - width / 2, wave_rect_.bottom() + tick_length, width, metrics.height()),
                Qt::AlignCenter | Qt::TextSingleLine, label, bounds_);
    }
  }
  // Y ticks.
  const std::vector<double> y_ticks = YTicks();
  LabelStep y_step;
  if (!edges_y_.empty()) {
    // A line of air between two labels: a column of numbers at every edge reads as a wall.
    y_step = StepOfLabels(y_ticks, wave_rect_.height() / (y_hi_ - y_lo_), 2 * metrics.height());
  }
  for (size_t i = 0; i < y_ticks.size(); ++i) {
    const double tick = y_ticks[i];
    const bool labelled = i % y_step.step == 0;
    if (!labelled && !y_step.every_mark) continue;
    const int y = static_cast<int>(std::lround(MapY(tick)));
    if (ticks_y_.grid != 0) {
      painter.setPen(grid_pen);
      painter.drawLine(wave_rect_.left(), y, wave_rect_.right(), y);
    }
    painter.setPen(axis_pen);
    painter.drawLine(wave_rect_.left() - tick_length, y, wave_rect_.left(), y);
    if (shown_[kShowYLabels] && labelled) {
      painter.setPen(Colour(kText));
      const QString label = NumberText(tick, ticks_y_.digits);
      PlaceText(painter,
                QRect(wave_rect_.left() - tick_length - 2 - metrics.horizontalAdvance(label),
                      y - metrics.height() / 2, metrics.horizontalAdvance(label), metrics.height()),
                Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine, label, bounds_);
    }
  }
}

void CDrawWave::DrawSymbol(QPainter& painter, QPointF at) const {
  if (symbol_type_ == 0) {
    painter.drawPoint(at);
    return;
  }
  // The symbol text, centred on the point.
  const double size = std::max(3, symbol_size_ * line_width_ * 3);
  QFont font = painter.font();
  font.setPixelSize(static_cast<int>(size));
  painter.save();
  painter.setFont(font);
  painter.drawText(QRectF(at.x() - size, at.y() - size / 2.0, 2 * size, 2 * size),
                   Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine, symbol_text_);
  painter.restore();
}

void CDrawWave::DrawCurve(QPainter& painter) const {
  painter.save();
  painter.setClipRect(wave_rect_.adjusted(0, 0, 1, 1), Qt::IntersectClip);
  const int n = static_cast<int>(data_.size());
  // A logarithmic axis has no 0: its bars stand on the bottom of the area.
  const double base =
      log_y_ ? static_cast<double>(wave_rect_.bottom() + 1) : MapY(std::clamp(0.0, y_lo_, y_hi_));
  const QPen line_pen(Colour(kWaveLine), line_width_);
  // Rows are clamped a little outside the area so that huge values never overflow the painter.
  auto row = [&](double value) {
    const double y = MapY(value);
    if (!Finite(y)) return base;
    return std::clamp(y, wave_rect_.top() - 10.0, wave_rect_.bottom() + 10.0);
  };
  auto Absent = [this](double value) { return log_y_ && !(value > 0.0); };
  int type = wave_type_;
  if (type == kPoints) type = kScatter;
  switch (type) {
    case kFilledBar:
    case kHollowBar: {
      painter.setPen(type == kHollowBar ? line_pen : QPen(Colour(kWaveLine), 0));
      painter.setBrush(type == kFilledBar ? QBrush(Colour(kWaveFill)) : Qt::NoBrush);
      for (int i = 0; i < n; ++i) {
        if (Absent(data_[static_cast<size_t>(i)])) continue;
        const double y = row(data_[static_cast<size_t>(i)]);
        if (y == base) continue;
        const double x0 = CellLeft(i);
        const double x1 = CellLeft(i + 1);
        const QRectF bar(QPointF(x0, std::min(y, base)), QPointF(x1, std::max(y, base)));
        if (type == kFilledBar) {
          painter.fillRect(bar, Colour(kWaveFill));
          painter.setPen(QPen(Colour(kWaveLine), 0));
        }
        painter.drawRect(bar);
      }
      break;
    }
    case kStep: {
      QPolygonF steps;
      painter.setPen(line_pen);
      for (int i = 0; i < n; ++i) {
        if (Absent(data_[static_cast<size_t>(i)])) {
          painter.drawPolyline(steps);
          steps.clear();
          continue;
        }
        const double y = row(data_[static_cast<size_t>(i)]);
        steps << QPointF(CellLeft(i), y) << QPointF(CellLeft(i + 1), y);
      }
      painter.drawPolyline(steps);
      break;
    }
    case kArea: {
      QPolygonF area;
      area << QPointF(CellCentre(0), base);
      for (int i = 0; i < n; ++i)
        area << QPointF(CellCentre(i), row(data_[static_cast<size_t>(i)]));
      area << QPointF(CellCentre(n - 1), base);
      painter.setPen(Qt::NoPen);
      painter.setBrush(Colour(kWaveFill));
      painter.drawPolygon(area);
      painter.setPen(line_pen);
      area.removeFirst();
      area.removeLast();
      painter.drawPolyline(area);
      break;
    }
    default: {
      // A value a logarithmic axis can't show breaks the line and gets no symbol.
      std::vector<QPolygonF> runs(1);
      for (int i = 0; i < n; ++i) {
        if (Absent(data_[static_cast<size_t>(i)])) {
          if (!runs.back().isEmpty()) runs.emplace_back();
          continue;
        }
        runs.back() << QPointF(CellCentre(i), row(data_[static_cast<size_t>(i)]));
      }
      painter.setPen(line_pen);
      for (const QPolygonF& points : runs) {
        if (type == kLine || type == kLineSymbol) painter.drawPolyline(points);
        if (type == kScatter || type == kLineSymbol) {
          for (const QPointF& point : points) DrawSymbol(painter, point);
        }
      }
      break;
    }
  }
  painter.restore();
}

void CDrawWave::DrawMarks(QPainter& painter) const {
  if (mark_type_ == 0 || marks_.empty()) return;
  const QFontMetrics metrics(painter.font(), painter.device());
  const double width = x_hi_ - x_lo_;
  for (const Mark& mark : marks_) {
    if (mark.index < 0 || static_cast<size_t>(mark.index) >= data_.size()) continue;
    const QColor colour =
        mark.colour >= 0 ? ToQColor(static_cast<ColourRef>(mark.colour)) : Colour(kText);
    const int x = static_cast<int>(std::floor(CellCentre(mark.index)));
    QPen pen(colour, line_width_, Qt::DashLine);
    painter.setPen(pen);
    painter.drawLine(x, wave_rect_.top(), x, wave_rect_.bottom());
    if (!shown_[kShowMarkTexts]) continue;
    QStringList parts;
    const double value = data_[static_cast<size_t>(mark.index)];
    if ((mark_type_ & kMarkIndex) != 0) parts << QString::number(mark.index + 1);
    if ((mark_type_ & kMarkX) != 0) {
      const double centre = x_lo_ + (mark.index + 0.5) * width / static_cast<double>(data_.size());
      parts << NumberText(centre, ticks_x_.digits);
    }
    if ((mark_type_ & kMarkY) != 0) parts << NumberText(value, 0);
    if (parts.isEmpty()) continue;
    const QString text = parts.join(", ");
    const int text_width = metrics.horizontalAdvance(text) + 4;
    const double value_row = MapY(value);
    int y = static_cast<int>(std::lround(Finite(value_row) ? value_row : wave_rect_.bottom())) -
            metrics.height() - 2;
    y = std::clamp(y, wave_rect_.top() + 1,
                   std::max(wave_rect_.top() + 1, wave_rect_.bottom() - metrics.height()));
    int left = std::min(x + 2, wave_rect_.right() - text_width);
    left = std::max(left, wave_rect_.left() + 1);
    const QRect box(left, y, text_width, metrics.height());
    painter.fillRect(box, Colour(kMarkBackground));
    painter.setPen(QPen(colour, 0));
    painter.drawText(box, Qt::AlignCenter | Qt::TextSingleLine, text);
  }
}

}  // namespace torvwy::render
