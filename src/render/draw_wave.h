// CDrawWave: the curve plot of the counting pictures (count histograms and the waveform inset).
#pragma once

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPoint>
#include <QRect>
#include <QString>
#include <array>
#include <span>
#include <utility>
#include <vector>

#include "render/colours.h"

namespace torvwy::render {

/// The cell under `point` of `count` equal cells across `wave_rect`: the cell whose left edge
/// is at or left of the point's pixel centre; -1 when the point is outside or there are none.
int CellAtPoint(const QRect& wave_rect, int count, QPoint point);

/// A plot of `count` values over an X range, each value in its own cell:
///
///        Y title                  title
///   yhi +-----+-----+-----+-----+
///       |     |#####|     |     |      cell i spans [xlo + i d, xlo + (i + 1) d],
///       |#####|#####|     |#####|      d = (xhi - xlo) / count; its point sits at the
///   ylo +-----+-----+-----+-----+      cell centre, at the height of its value
///      xlo                     xhi
///                 X title (unit)
///
/// so that a histogram of N partitions of [-A, A] draws partition i as bar i, and the waveform
/// envelope of M points spreads over the record's duration. Set it up, then Draw(); the
/// positions (GetWaveRect, GetCurveDrawPos) refer to the last Draw().
class CDrawWave {
 public:
  /// Curve types, the control panel's curve styles.
  enum WaveType {
    kLine = 0,
    kScatter = 1,
    kLineSymbol = 2,
    kFilledBar = 3,
    kHollowBar = 4,
    kStep = 5,
    kPoints = 6,
    kArea = 7
  };
  /// The nine colours, in the order SetColors takes them.
  enum ColourSlot {
    kBackground = 0,
    kWaveBackground,
    kAxis,
    kGrid,
    kWaveLine,
    kWaveFill,
    kCursor,
    kText,
    kMarkBackground,
    kColourCount
  };
  /// The eight parts ShowWhich switches, in its order.
  enum ShowPart {
    kShowTitle = 0,
    kShowXTitle,
    kShowYTitle,
    kShowXLabels,
    kShowYLabels,
    kShowFrame,
    kShowUnits,
    kShowMarkTexts,
    kShowCount
  };
  /// Mark type bits (MarkPoint): a line at the marked point, and the texts beside it.
  static constexpr int kMarkLine = 1, kMarkX = 8, kMarkY = 16, kMarkIndex = 32;
  /// Range modes of SetRangeOfX / SetRangeOfY: 2 fixed, any other from the data.
  static constexpr int kRangeFixed = 2;

  /// Copies the values to plot.
  void SetData(std::span<const double> values);
  void SetData(const double* values, int count) {
    SetData(std::span<const double>(values, count > 0 ? static_cast<size_t>(count) : 0));
  }
  void SetRangeOfX(int mode, double low, double high);
  void SetRangeOfY(int mode, double low, double high);
  /// Plot title and the two axis titles.
  void SetTitle(const QString& title, const QString& x_title, const QString& y_title);
  /// Units shown after the axis titles (empty: none).
  void SetEU(const QString& x_unit, const QString& y_unit);
  /// Ticks of an axis: grid lines (0/1), major divisions (0: automatic), minor divisions per
  /// major one (not drawn), significant digits of the labels (0: six), and a fifth value the
  /// plot ignores.
  void SetTickTypeOfX(int grid, int major, int minor, int digits, int reserved);
  void SetTickTypeOfY(int grid, int major, int minor, int digits, int reserved);
  /// Ticks of an axis at `values` (increasing) instead of nice steps, such as the class edges of
  /// a matrix: a mark at each while they stand 3 pixels apart, a label at every k-th from the
  /// first, k the smallest step that keeps the labels apart, or a step up to twice that which
  /// divides the values evenly, so that the last one is labelled too:
  ///
  ///   |    |    |    |    |    |    |      26 edges, k = 5: labels at edges 0, 5, ... 25
  ///  -10       -6        -2         2 ...
  ///
  /// Empty: nice steps again.
  void SetTickValuesOfX(std::vector<double> values) { edges_x_ = std::move(values); }
  void SetTickValuesOfY(std::vector<double> values) { edges_y_ = std::move(values); }
  /// The nine colours (0x00BBGGRR) in ColourSlot order.
  void SetColors(const std::array<ColourRef, kColourCount>& colours);
  /// The eight parts in ShowPart order.
  void ShowWhich(const std::array<bool, kShowCount>& shown);
  void EnableCursor(bool enabled);
  /// Cursor at point `index`, kept within 0..count - 1.
  void SetCursorPosition(int index);
  int GetCursorPosition() const { return cursor_; }
  /// Places the cursor at the cell under `point` (of the last Draw) and returns its index; -1
  /// (cursor unchanged) when the point is outside the curve area or there is no data.
  int SetCursorPositionByPoint(QPoint point);
  /// Drawing position of point `index` in the last Draw: its cell centre and the height of its
  /// value (kept inside the curve area). False when there is no such point or nothing was drawn.
  bool GetCurveDrawPos(int index, int& x, int& y) const;
  void SetWaveType(int type);
  /// Symbol of the scatter types: type 0 a dot, other types `text` (size in pixels / 3).
  void SetWaveSymbolType(int type, int size, const QString& text);
  /// How MarkPoint draws: kMarkLine, kMarkX, kMarkY and kMarkIndex bits (0: not at all).
  void SetMarkType(int type) { mark_type_ = type; }
  /// Marks point `index` (`colour` -1: the text colour).
  void MarkPoint(int index, int colour = -1);
  void ClearAllMarks() { marks_.clear(); }
  /// The curve area of the last Draw.
  QRect GetWaveRect() const { return wave_rect_; }
  /// Text drawn in the curve area instead of the curve ("no counts" and the like).
  void SetMissingText(const QString& text) { missing_text_ = text; }
  /// Font of the titles and labels, and the width of a thin line, for the target.
  void SetFont(const QFont& font) { font_ = font; }
  void SetLineWidth(int width) { line_width_ = width > 0 ? width : 1; }
  /// Small plots: titles end in an ellipsis where they have no room, and tick labels that would
  /// overlap another text or leave the plot are left out. Off (the full layout) by default.
  void SetCompact(bool compact) { compact_ = compact; }
  /// A logarithmic Y axis: the fixed Y range (both ends above 0) is divided in decades, ticks
  /// stand at the powers of ten, and values of 0 or below are not drawn (bars start at the
  /// axis's bottom). Off by default.
  void SetLogY(bool log) { log_y_ = log; }

  /// Draws the whole plot into `rect`.
  void Draw(QPainter& painter, const QRect& rect);
  /// The curve area Draw lays out in `rect` with the font measured by `metrics` (on the target's
  /// device), for a picture that fits its plot to the curve area before drawing it.
  QRect LayoutWaveRect(const QRect& rect, const QFontMetrics& metrics);

  /// Pixel column of X value `x` and row of Y value `y` in the last Draw.
  double MapX(double x) const;
  double MapY(double y) const;
  /// The effective ranges of the last Draw.
  double x_low() const { return x_lo_; }
  double x_high() const { return x_hi_; }
  double y_low() const { return y_lo_; }
  double y_high() const { return y_hi_; }
  /// The X and Y ranges can be mapped (finite, high above low) and there is data.
  bool Drawable() const;
  /// The texts of the last Draw with their boxes: title, axis titles and the tick labels kept.
  const std::vector<std::pair<QString, QRect>>& drawn_texts() const { return texts_; }

 private:
  struct Ticks {
    int grid = 0;
    int major = 0;
    int digits = 0;
  };
  struct Range {
    int mode = kRangeFixed;
    double low = 0.0;
    double high = 1.0;
  };
  void SettleRanges();
  void DrawAxes(QPainter& painter);
  /// Draws a single-line text in `box` and records it; false (nothing drawn) when it would meet
  /// the title, or (compact) when the box leaves `bounds` or meets a text already drawn.
  bool PlaceText(QPainter& painter, const QRect& box, int flags, const QString& text,
                 const QRect& bounds);
  void DrawCurve(QPainter& painter) const;
  void DrawSymbol(QPainter& painter, QPointF at) const;
  void DrawMarks(QPainter& painter) const;
  QColor Colour(ColourSlot slot) const { return ToQColor(colours_[slot]); }
  double CellLeft(int index) const;
  double CellCentre(int index) const;

  std::vector<double> data_;
  Range range_x_, range_y_;
  double x_lo_ = 0.0, x_hi_ = 1.0, y_lo_ = 0.0, y_hi_ = 1.0;
  QString title_, x_title_, y_title_, x_unit_, y_unit_;
  Ticks ticks_x_, ticks_y_;
  std::array<ColourRef, kColourCount> colours_{0x000000, 0x000000, 0x808080, 0x808080, 0x00FF00,
                                               0xC0FFC0, 0x0000FF, 0xFFFFFF, 0x000000};
  std::array<bool, kShowCount> shown_{true, true, true, true, true, true, true, true};
  bool cursor_enabled_ = false;
  int cursor_ = 0;
  int wave_type_ = kHollowBar;
  int symbol_type_ = 4;
  int symbol_size_ = 4;
  QString symbol_text_ = QStringLiteral("*");
  int mark_type_ = 0;
  struct Mark {
    int index;
    int colour;
  };
  std::vector<Mark> marks_;
  QString missing_text_;
  QFont font_;
  int line_width_ = 1;
  QRect wave_rect_;
  QRect bounds_;  ///< the rectangle of the last Draw
  bool drawn_ = false;
  bool compact_ = false;
  bool log_y_ = false;
  std::vector<std::pair<QString, QRect>> texts_;
  QRect title_line_;  ///< the line of the title's letters in the last Draw; null without a title
  /// The Y tick values: the values set, nice steps, or the decades of a logarithmic axis.
  std::vector<double> YTicks() const;
  /// The X tick values: the values set, or nice steps.
  std::vector<double> XTicks() const;
  std::vector<double> edges_x_, edges_y_;  ///< tick values set; empty: nice steps
};

/// Tick positions of a range: multiples of a step of 1, 2 or 5 times a power of ten, the one
/// nearest to (high - low) / `divisions`; empty for a range that can't be divided.
std::vector<double> NiceTicks(double low, double high, int divisions);

/// The powers of ten from `low` to `high` (both above 0); empty for a range that has none.
std::vector<double> DecadeTicks(double low, double high);

}  // namespace torvwy::render
