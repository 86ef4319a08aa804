// Image bitmaps, bitmap files, PNG and PDF pages of the pictures.
#include "render/picture_output.h"

#include <QBuffer>
#include <QByteArray>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <algorithm>
#include <cctype>

#include "core/services/atomic_file.h"
#include "core/services/message_table.h"

namespace torvwy::render {
namespace {

constexpr int kPdfResolution = 1200;

std::string Bytes(const QByteArray& data) {
  return std::string(data.constData(), static_cast<size_t>(data.size()));
}

}  // namespace

std::optional<PictureFormat> PictureFormatOf(const std::filesystem::path& path) {
  std::string extension = path.extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (extension == ".png") return PictureFormat::kPng;
  if (extension == ".bmp") return PictureFormat::kBmp;
  if (extension == ".pdf") return PictureFormat::kPdf;
  return std::nullopt;
}

QImage RenderImage(const PictureDrawer& draw, double aspect, int width, PictureReport* report) {
  TargetGeometry geometry;
  geometry.target = DrawTarget::kImage;
  geometry.area = ImageArea(aspect, width);
  QImage image(geometry.area.size(), QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  PictureReport drawn = draw(painter, geometry);
  painter.end();
  if (report != nullptr) *report = std::move(drawn);
  return image;
}

QImage RenderReportImage(const PictureDrawer& draw, double aspect, PictureReport* report) {
  TargetGeometry geometry;
  geometry.target = DrawTarget::kImage;
  geometry.area = ImageArea(aspect, kImageWidth);
  // Painting on an image of device pixel ratio 2 lays out in the 800-pixel units and rasterises
  // every text and line at twice the size.
  QImage image(geometry.area.size() * kReportPictureScale, QImage::Format_RGB32);
  image.setDevicePixelRatio(kReportPictureScale);
  image.fill(Qt::white);
  QPainter painter(&image);
  PictureReport drawn = draw(painter, geometry);
  painter.end();
  image.setDevicePixelRatio(1.0);
  if (report != nullptr) *report = std::move(drawn);
  return image;
}

core::Result<std::string> EncodeBitmapFile(const QImage& image) {
  if (image.isNull()) return core::Fail(core::kMsgFileWrite, "empty image");
  QByteArray data;
  QBuffer buffer(&data);
  buffer.open(QIODevice::WriteOnly);
  if (!image.convertToFormat(QImage::Format_RGB888).save(&buffer, "BMP")) {
    return core::Fail(core::kMsgFileWrite, "the bitmap can't be encoded");
  }
  return Bytes(data);
}

core::Status WriteBitmapFile(const std::filesystem::path& path, const QImage& image) {
  auto bytes = EncodeBitmapFile(image);
  if (!bytes) return bytes.error();
  return core::SaveFileAtomically(path, *bytes, core::kMsgFileWrite);
}

core::Result<std::string> EncodePng(const QImage& image) {
  if (image.isNull()) return core::Fail(core::kMsgFileWrite, "empty image");
  QByteArray data;
  QBuffer buffer(&data);
  buffer.open(QIODevice::WriteOnly);
  if (!image.save(&buffer, "PNG"))
    return core::Fail(core::kMsgFileWrite, "the PNG can't be encoded");
  return Bytes(data);
}

core::Result<std::string> RenderPdf(const PictureDrawer& draw, PictureReport* report) {
  QByteArray data;
  QBuffer buffer(&data);
  buffer.open(QIODevice::WriteOnly);
  {
    QPdfWriter writer(&buffer);
    writer.setResolution(kPdfResolution);
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                     QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter));
    writer.setCreator(QStringLiteral("torvwy"));
    const QSizeF paper = QPageSize(QPageSize::A4).size(QPageSize::Millimeter);
    const PrinterGeometry page =
        ComputePrinterGeometry(paper.width(), paper.height(), kPdfResolution);
    QPainter painter;
    if (!painter.begin(&writer)) return core::Fail(core::kMsgFileWrite, "the PDF can't be started");
    painter.setWindow(QRect(QPoint(0, 0), page.logical_extent));
    painter.setViewport(QRect(QPoint(0, 0), page.device_extent));
    TargetGeometry geometry;
    geometry.target = DrawTarget::kPrinter;
    geometry.area = page.area;
    geometry.units_per_inch = page.units_per_inch;
    PictureReport drawn = draw(painter, geometry);
    if (!painter.end()) return core::Fail(core::kMsgFileWrite, "the PDF can't be finished");
    if (report != nullptr) *report = std::move(drawn);
  }
  if (data.isEmpty()) return core::Fail(core::kMsgFileWrite, "the PDF is empty");
  return Bytes(data);
}

core::Status SavePicture(const std::filesystem::path& path, const PictureDrawer& draw,
                         double aspect, int width) {
  const auto format = PictureFormatOf(path);
  if (!format) {
    return core::Fail(core::kMsgBadValue,
                      path.string() + ": a picture file ends in .png, .bmp or .pdf");
  }
  core::Result<std::string> bytes = std::string();
  switch (*format) {
    case PictureFormat::kPng:
      bytes = EncodePng(RenderImage(draw, aspect, width));
      break;
    case PictureFormat::kBmp:
      bytes = EncodeBitmapFile(RenderImage(draw, aspect, width));
      break;
    case PictureFormat::kPdf:
      bytes = RenderPdf(draw);
      break;
  }
  if (!bytes) return core::Fail(bytes.error().message, path.string() + ": " + bytes.error().detail);
  return core::SaveFileAtomically(path, *bytes, core::kMsgFileWrite);
}

}  // namespace torvwy::render
