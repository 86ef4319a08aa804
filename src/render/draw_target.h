// Where a picture is drawn (window, printer, image) and the geometry of each target.
#pragma once

#include <QRect>
#include <QSize>

namespace torvwy::render {

/// The destination of one drawing pass.
enum class DrawTarget { kWindow = 0, kPrinter = 1, kImage = 2 };

/// Logical width of a printed page and width in pixels of an image.
constexpr int kPrintWidth = 1600;
constexpr int kImageWidth = 800;
/// Logical units per inch of the window and the image: device pixels of a 96 dpi screen.
constexpr double kScreenUnitsPerInch = 96.0;
/// The window aspect (height / width) assumed before any window was shown.
constexpr double kDefaultAspect = 0.7;

/// What the drawing routine needs to know about its target.
struct TargetGeometry {
  DrawTarget target = DrawTarget::kWindow;
  QRect area;                                   ///< the drawing area, logical units
  double units_per_inch = kScreenUnitsPerInch;  ///< logical units per inch (fonts, pens)
  bool printing() const { return target == DrawTarget::kPrinter; }
  /// Font pixel size of a point size on this target.
  int FontPixels(double points) const;
  /// Width of a "one pixel" line on this target: 1 on screen, thicker on paper.
  int LineWidth() const;
};

/// How a printed page is mapped: 85 % of the paper, a logical page kPrintWidth units wide.
///
///   paper W x H mm   ->  w = trunc(0.85 W), h = trunc(0.85 H), aspect = h / w
///   logical page     :   (P, trunc(P * aspect))            P = 1600
///   device extent    :   (trunc(dpi * w * 2 / 49), trunc(dpi * h * 2 / 49)) pixels
///   drawing area     :   (P/14, trunc(P/14 * aspect), 15P/14, trunc(15P/14 * aspect))
///
/// For A4 (210 x 297 mm): w = 178, h = 252, extent 1600 x 2265, area (114, 161, 1714, 2426).
struct PrinterGeometry {
  int page_width_mm = 0;   ///< w
  int page_height_mm = 0;  ///< h
  double aspect = 1.0;
  QSize logical_extent;  ///< window extent
  QSize device_extent;   ///< viewport extent at the given resolution
  QRect area;            ///< drawing area in logical units
  double units_per_inch = 0.0;
};

/// The printer mapping of a paper of `paper_width_mm` x `paper_height_mm` at `dpi`.
PrinterGeometry ComputePrinterGeometry(double paper_width_mm, double paper_height_mm, int dpi);

/// The drawing area of an image: (0, 0, width, trunc(width * aspect)); at least 1 x 1.
QRect ImageArea(double aspect, int width = kImageWidth);

}  // namespace torvwy::render
