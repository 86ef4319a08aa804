// The report program's document: the report file set read and laid out as HTML.
#pragma once

#include <QImage>
#include <QRect>
#include <QString>
#include <QTextDocument>
#include <filesystem>
#include <memory>
#include <vector>

#include "core/report/list_export.h"
#include "core/report/report_file.h"
#include "core/services/result.h"

namespace torvwy::companions {

/// A report file with the pictures and list tables it names, all read.
struct LoadedReport {
  std::vector<core::ReportItem> items;
  std::vector<QImage> pictures;         ///< one per picture item, in order
  std::vector<core::ListTable> tables;  ///< one per list item, in order
  QString head;                         ///< the head line (the window and document title)
};

/// Reads the report file `path` and everything it names. Fails with the file-read message and a
/// one-line detail when the report file, a picture or a list file is missing or damaged.
core::Result<LoadedReport> LoadReport(const std::filesystem::path& path);

/// How pictures appear in the HTML.
enum class PictureSource {
  kEmbedded,  ///< data: URLs with the PNG bytes: a self-contained file
  kResource,  ///< "picture:N" names, for a QTextDocument that holds the images as resources
};

/// The report as HTML in the order of its directives: the head, titles, body text, pictures
/// (160 mm wide on A4) and tables with a bold header row.
QString ReportHtml(const LoadedReport& report, PictureSource pictures);

/// A QTextDocument of the report with its pictures as resources, in the report font. For the
/// screen the pictures are first scaled smoothly to the width they are shown at (a picture
/// larger than that would otherwise lose its thin lines to a plain scaling); for paper and PDF
/// they keep every pixel.
std::unique_ptr<QTextDocument> ReportDocument(const LoadedReport& report, bool for_screen = false);

/// A picture as the report shows it on screen: scaled smoothly to the picture width.
QImage ScreenPicture(const QImage& picture);

/// Where the preview window opens on a screen whose free room is `available`: 900 x 1000, less
/// where the screen is smaller (kept 40 pixels clear for the title bar), in the middle of it.
QRect PreviewWindowGeometry(const QRect& available);

/// Writes the report as an A4 PDF file through QPdfWriter; atomically.
core::Status WriteReportPdf(const LoadedReport& report, const QString& path);

/// Writes the self-contained HTML file; atomically.
core::Status WriteReportHtml(const LoadedReport& report, const QString& path);

}  // namespace torvwy::companions
