// Picture output: the image bitmap (BMP, PNG) and the printed page (PDF).
#pragma once

#include <QImage>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "core/services/result.h"
#include "render/counting_picture.h"
#include "render/draw_target.h"

namespace torvwy::render {

/// Draws a whole picture for a target; the same routine serves every target.
using PictureDrawer = std::function<PictureReport(QPainter&, const TargetGeometry&)>;

/// Kinds of picture files, by extension.
enum class PictureFormat { kPng, kBmp, kPdf };

/// The format of ".png", ".bmp" or ".pdf" (without case); none for another extension.
std::optional<PictureFormat> PictureFormatOf(const std::filesystem::path& path);

/// Draws the picture into an image bitmap (target 2) `width` pixels wide and trunc(width x
/// aspect) high.
QImage RenderImage(const PictureDrawer& draw, double aspect, int width = kImageWidth,
                   PictureReport* report = nullptr);

/// The report picture is the image layout drawn this many times larger.
constexpr int kReportPictureScale = 2;

/// The report picture: the layout of an image kImageWidth pixels wide, drawn at
/// kReportPictureScale (fonts and lines scaled with it), so that a report that scales it to its
/// page keeps one-pixel bars and the signs of the tick numbers: 1600 x trunc(800 x aspect) x 2.
QImage RenderReportImage(const PictureDrawer& draw, double aspect, PictureReport* report = nullptr);

/// The bytes of a standard Windows bitmap file (24 bits per pixel, bottom-up) of `image`.
core::Result<std::string> EncodeBitmapFile(const QImage& image);

/// Writes `image` as a standard Windows bitmap file at `path`, atomically.
core::Status WriteBitmapFile(const std::filesystem::path& path, const QImage& image);

/// The bytes of a PNG file of `image`.
core::Result<std::string> EncodePng(const QImage& image);

/// The bytes of a one-page A4 PDF: the picture printed (target 1) on 85 % of the page, the
/// logical page kPrintWidth units wide.
core::Result<std::string> RenderPdf(const PictureDrawer& draw, PictureReport* report = nullptr);

/// Writes the picture as the file `path` (PNG, BMP or PDF by its extension), atomically. PNG and
/// BMP are image bitmaps `width` pixels wide with the window aspect `aspect`; a PDF is one A4
/// page. Fails for another extension or when the file can't be written.
core::Status SavePicture(const std::filesystem::path& path, const PictureDrawer& draw,
                         double aspect = kDefaultAspect, int width = kImageWidth);

}  // namespace torvwy::render
