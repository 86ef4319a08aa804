// TorvImgEpt: the image export program. Converts the picture a view saved into PNG, JPEG, BMP
// or PDF, under the name the view gave.
#include <CLI/CLI.hpp>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QImage>
#include <QMessageBox>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <cstdio>
#include <filesystem>
#include <string>

#include "companions/workbook.h"

namespace {
namespace fs = std::filesystem;
using namespace torvwy;

/// Writes `picture` as `path` by its extension; returns an empty text or the reason it failed.
std::string Convert(const QImage& picture, const fs::path& path) {
  const QString target = QString::fromStdString(path.string());
  const char* format = nullptr;
  if (companions::HasExtension(path, ".png")) format = "PNG";
  if (companions::HasExtension(path, ".jpg") || companions::HasExtension(path, ".jpeg")) {
    format = "JPEG";
  }
  if (companions::HasExtension(path, ".bmp")) format = "BMP";
  const bool pdf = companions::HasExtension(path, ".pdf");
  if (format == nullptr && !pdf) return path.string() + ": choose .png, .jpg, .bmp or .pdf";
  QSaveFile file(target);
  if (!file.open(QIODevice::WriteOnly))
    return path.string() + ": " + file.errorString().toStdString();
  if (pdf) {
    QPdfWriter writer(&file);
    writer.setCreator("TorvImgEpt");
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageOrientation(picture.width() > picture.height() ? QPageLayout::Landscape
                                                                 : QPageLayout::Portrait);
    QPainter painter(&writer);
    const QRect page = painter.viewport();
    const QSize size = picture.size().scaled(page.size(), Qt::KeepAspectRatio);
    painter.drawImage(QRect(QPoint(0, 0), size), picture);
    painter.end();
  } else if (!picture.save(&file, format, format == std::string("JPEG") ? 95 : -1)) {
    file.cancelWriting();
    return path.string() + ": the picture can't be written";
  }
  if (!file.commit()) return path.string() + ": " + file.errorString().toStdString();
  return {};
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "TorvImgEpt: saves the picture of a view as PNG, JPEG, BMP or PDF. Without --to a "
      "save dialog asks for the path."};
  std::string picture_path;
  std::string name;
  std::string target;
  app.add_option("picture", picture_path, "the picture file the view wrote")->required();
  app.add_option("name", name, "the name the view gave the picture");
  app.add_option("--to", target, "the file to write: .png, .jpg, .bmp or .pdf");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    return app.exit(error);
  }
  const bool batch = !target.empty();
  if (batch) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // A failure is one line of our own; the toolkit's notes stay out of it.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
      if (type == QtCriticalMsg || type == QtFatalMsg) {
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
      }
    });
  }
  QApplication application(argc, argv);
  const QImage picture(QString::fromStdString(picture_path));
  const auto fail = [batch](const std::string& why) {
    if (batch) {
      std::fprintf(stderr, "TorvImgEpt: %s\n", why.c_str());
    } else {
      QMessageBox::critical(nullptr, "TorvImgEpt", QString::fromStdString(why));
    }
    return 1;
  };
  if (picture.isNull()) return fail(picture_path + ": the picture is missing or damaged");
  if (!batch) {
    const QString suggested =
        QDir::home().filePath(QString::fromStdString(name.empty() ? "picture" : name) + ".png");
    const QString chosen = QFileDialog::getSaveFileName(
        nullptr, "TorvImgEpt", suggested,
        "PNG (*.png);;JPEG (*.jpg *.jpeg);;Bitmap (*.bmp);;PDF (*.pdf)");
    if (chosen.isEmpty()) return 0;
    target = chosen.toStdString();
  }
  if (const std::string why = Convert(picture, target); !why.empty()) return fail(why);
  if (batch) std::printf("%s\n", target.c_str());
  return 0;
}
