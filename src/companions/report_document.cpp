// Reading the report file set and laying it out for PDF, HTML and the preview.
#include "companions/report_document.h"

#include <QBuffer>
#include <QFont>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextOption>
#include <QUrl>
#include <algorithm>

#include "core/services/atomic_file.h"
#include "core/services/file_read.h"
#include "core/services/message_table.h"
#include "core/services/text.h"

namespace torvwy::companions {
namespace fs = std::filesystem;
namespace {

constexpr int kPictureWidthPx = 605;    // 160 mm at 96 dpi, the page width QTextDocument lays out
constexpr double kA4WidthPx = 793.7;    // 210 mm at 96 dpi
constexpr double kA4HeightPx = 1122.5;  // 297 mm
constexpr double kMarginPx = 75.6;      // 20 mm
constexpr const char* kFontFamily = "WenQuanYi Micro Hei";

QString Escaped(const std::string& utf8) { return QString::fromStdString(utf8).toHtmlEscaped(); }

/// Saves the bytes as `path` through the one atomic save.
core::Status Save(const QString& path, const QByteArray& bytes) {
  return core::SaveFileAtomically(
      path.toStdString(), std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())),
      core::kMsgFileWrite);
}

}  // namespace

core::Result<LoadedReport> LoadReport(const fs::path& path) {
  auto bytes = core::ReadWholeFile(path);
  if (!bytes) return bytes.error();
  auto items = core::ParseReportFile(*bytes);
  if (!items) return core::Fail(core::kMsgFileRead, path.string() + ": " + items.error().detail);
  LoadedReport report;
  report.items = std::move(*items);
  for (const core::ReportItem& item : report.items) {
    if (item.kind == core::ReportItem::kHead && report.head.isEmpty()) {
      report.head = QString::fromStdString(item.text);
    } else if (item.kind == core::ReportItem::kPicture) {
      auto bytes = core::ReadRegularFile(item.path, core::kMaxPictureFileBytes, core::kMsgFileRead);
      if (!bytes) return bytes.error();
      QImage picture = QImage::fromData(reinterpret_cast<const uchar*>(bytes->data()),
                                        static_cast<int>(bytes->size()));
      if (picture.isNull()) {
        return core::Fail(core::kMsgFileRead,
                          item.path.string() + ": the report's picture is missing or damaged");
      }
      report.pictures.push_back(std::move(picture));
    } else if (item.kind == core::ReportItem::kList) {
      auto list_bytes = core::ReadWholeFile(item.path);
      if (!list_bytes) return list_bytes.error();
      auto table = core::ParseListTable(*list_bytes);
      if (!table) {
        return core::Fail(core::kMsgFileRead, item.path.string() + ": " + table.error().detail);
      }
      report.tables.push_back(std::move(*table));
    }
  }
  return report;
}

QString ReportHtml(const LoadedReport& report, PictureSource pictures) {
  QString html = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" +
                 report.head.toHtmlEscaped() +
                 "</title>\n<style>\n"
                 "body { font-family: '" +
                 QString(kFontFamily) +
                 "', sans-serif; }\n"
                 "h1 { font-size: 16pt; text-align: center; }\n"
                 "h2 { font-size: 12pt; margin-top: 12pt; }\n"
                 "p.text { white-space: pre-wrap; font-size: 10pt; }\n"
                 "table { border-collapse: collapse; font-size: 9pt; }\n"
                 "th, td { border: 1px solid #808080; padding: 2px 6px; }\n"
                 "th { font-weight: bold; background-color: #e1e1e1; }\n"
                 "img { max-width: 100%; }\n"
                 "</style></head><body>\n";
  size_t picture = 0;
  size_t table = 0;
  for (const core::ReportItem& item : report.items) {
    switch (item.kind) {
      case core::ReportItem::kHead:
        html += "<h1>" + Escaped(item.text) + "</h1>\n";
        break;
      case core::ReportItem::kTitle:
        html += "<h2>" + Escaped(item.text) + "</h2>\n";
        break;
      case core::ReportItem::kText:
        html +=
            "<p class=\"text\" style=\"white-space: pre-wrap\">" + Escaped(item.text) + "</p>\n";
        break;
      case core::ReportItem::kPicture: {
        const size_t index = picture++;
        QString source;
        if (pictures == PictureSource::kEmbedded) {
          QByteArray png;
          QBuffer buffer(&png);
          buffer.open(QIODevice::WriteOnly);
          report.pictures[index].save(&buffer, "PNG");
          source = "data:image/png;base64," + QString::fromLatin1(png.toBase64());
        } else {
          source = QString("picture:%1").arg(index);
        }
        html += QString("<p><img src=\"%1\" width=\"%2\" alt=\"picture\"></p>\n")
                    .arg(source)
                    .arg(kPictureWidthPx);
        break;
      }
      case core::ReportItem::kList: {
        const core::ListTable& list = report.tables[table++];
        // A wide list (the 13 columns of the amplitude indices) takes a smaller type to fit the
        // page, since words are never broken.
        const bool wide = list.header.size() > 10;
        const QString size = wide ? "font-size: 6.5pt; " : "";
        html +=
            QString(
                "<table border=\"1\" cellspacing=\"0\" cellpadding=\"%1\" width=\"100%\">\n<tr>")
                .arg(wide ? 1 : 3);
        // A title is one token in the list file, its blanks written as '_'; shown with blanks,
        // so that a narrow column wraps between words instead of between letters.
        for (std::string title : list.header) {
          std::replace(title.begin(), title.end(), '_', ' ');
          html += (size.isEmpty() ? QString("<th>") : "<th style=\"" + size + "\">") +
                  Escaped(title) + "</th>";
        }
        html += "</tr>\n";
        for (const auto& row : list.rows) {
          html += "<tr>";
          for (const std::string& cell : row) {
            const bool number = core::ParseDouble(cell).has_value();
            // Cells keep to one line; the header titles wrap instead.
            html += QString(number ? "<td align=\"right\" style=\"%1white-space: nowrap\">"
                                   : "<td style=\"%1white-space: nowrap\">")
                        .arg(size) +
                    Escaped(cell) + "</td>";
          }
          html += "</tr>\n";
        }
        html += "</table>\n";
        break;
      }
    }
  }
  return html + "</body></html>\n";
}

QImage ScreenPicture(const QImage& picture) {
  if (picture.width() <= kPictureWidthPx) return picture;
  return picture.scaledToWidth(kPictureWidthPx, Qt::SmoothTransformation);
}

std::unique_ptr<QTextDocument> ReportDocument(const LoadedReport& report, bool for_screen) {
  auto document = std::make_unique<QTextDocument>();
  document->setDefaultFont(QFont(kFontFamily, 10));
  // Lines break between words only, never inside one (a narrow column header stays legible).
  QTextOption wrap = document->defaultTextOption();
  wrap.setWrapMode(QTextOption::WordWrap);
  document->setDefaultTextOption(wrap);
  for (size_t i = 0; i < report.pictures.size(); ++i) {
    document->addResource(
        QTextDocument::ImageResource, QUrl(QString("picture:%1").arg(i)),
        QVariant(for_screen ? ScreenPicture(report.pictures[i]) : report.pictures[i]));
  }
  document->setHtml(ReportHtml(report, PictureSource::kResource));
  document->setMetaInformation(QTextDocument::DocumentTitle, report.head);
  return document;
}

core::Status WriteReportPdf(const LoadedReport& report, const QString& path) {
  QByteArray pdf;
  {
    QBuffer buffer(&pdf);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setTitle(report.head);
    writer.setCreator("TorvRpt");
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                     QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter));
    // Laid out on an A4 page of 96 dpi pixels with 20 mm margins, whatever the screen's
    // resolution, so that the 160 mm picture fits the text width; printing scales it to the page.
    std::unique_ptr<QTextDocument> document = ReportDocument(report);
    document->setPageSize(QSizeF(kA4WidthPx, kA4HeightPx));
    document->setDocumentMargin(kMarginPx);
    document->print(&writer);
  }
  return Save(path, pdf);
}

core::Status WriteReportHtml(const LoadedReport& report, const QString& path) {
  return Save(path, ReportHtml(report, PictureSource::kEmbedded).toUtf8());
}

QRect PreviewWindowGeometry(const QRect& available) {
  constexpr int kWidth = 900;
  constexpr int kHeight = 1000;
  constexpr int kTitleBar = 40;
  const int width = std::max(1, std::min(kWidth, available.width()));
  const int height = std::max(1, std::min(kHeight, available.height() - kTitleBar));
  return QRect(available.left() + (available.width() - width) / 2,
               available.top() + std::max(0, (available.height() - kTitleBar - height) / 2), width,
               height);
}

}  // namespace torvwy::companions
