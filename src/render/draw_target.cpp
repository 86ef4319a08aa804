// Geometry of the drawing targets.
#include "render/draw_target.h"

#include <algorithm>
#include <cmath>

namespace torvwy::render {

int TargetGeometry::FontPixels(double points) const {
  return std::max(1, static_cast<int>(std::lround(points * units_per_inch / 72.0)));
}

int TargetGeometry::LineWidth() const {
  return std::max(1, static_cast<int>(std::lround(units_per_inch / kScreenUnitsPerInch)));
}

PrinterGeometry ComputePrinterGeometry(double paper_width_mm, double paper_height_mm, int dpi) {
  PrinterGeometry g;
  g.page_width_mm = std::max(1, static_cast<int>(paper_width_mm * 0.85));
  g.page_height_mm = std::max(1, static_cast<int>(paper_height_mm * 0.85));
  g.aspect = static_cast<double>(g.page_height_mm) / g.page_width_mm;
  const int p = kPrintWidth;
  g.logical_extent = QSize(p, static_cast<int>(p * g.aspect));
  // Two 49ths of an inch per millimetre (not 1 / 25.4): the printed picture is a little larger
  // than the millimetres say, as the picture has always been printed.
  g.device_extent = QSize(static_cast<int>(dpi * g.page_width_mm * 2.0 / 49.0),
                          static_cast<int>(dpi * g.page_height_mm * 2.0 / 49.0));
  const int left = p / 14;
  const int right = 15 * p / 14;
  g.area = QRect(QPoint(left, static_cast<int>(left * g.aspect)),
                 QPoint(right - 1, static_cast<int>(right * g.aspect) - 1));
  g.units_per_inch = p / (g.page_width_mm * 2.0 / 49.0);
  return g;
}

QRect ImageArea(double aspect, int width) {
  width = std::max(1, width);
  double height = width * aspect;
  if (!std::isfinite(height) || height < 1.0) height = 1.0;
  // A hair above the product, so that a height given as width x (H / W) comes back as H.
  return QRect(0, 0, width, static_cast<int>(std::min(height + 1e-6, 20000.0)));
}

}  // namespace torvwy::render
