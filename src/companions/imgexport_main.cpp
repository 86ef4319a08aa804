// TorvImgEpt: the image export program. Converts the picture a view saved into PNG, JPEG, BMP
// or PDF, under the name the view gave.
#include <CLI/CLI.hpp>
#include <QApplication>
#include <QBuffer>
#include <QByteArray>
#include <QDir>
#include <QFileDialog>
#include <QImage>
#include <QMessageBox>
#include <QPainter>
#include <QPdfWriter>
#include <cstdio>
#include <filesystem>
#include <string>

#include "companions/batch_mode.h"
#include "companions/output_option.h"
#include "companions/workbook.h"
#include "core/services/atomic_file.h"
#include "core/services/file_read.h"
#include "core/services/message_table.h"
#include "core/services/text.h"

namespace {
namespace fs = std::filesystem;
using namespace torvwy;

/// The bytes of `picture` as a file of `path`'s kind: PNG, JPEG, BMP, or an A4 PDF page.
core::Result<QByteArray> Encode(const QImage& picture, const fs::path& path) {
  const char* format = nullptr;
  if (companions::HasExtension(path, ".png")) format = "PNG";
  if (companions::HasExtension(path, ".jpg") || companions::HasExtension(path, ".jpeg")) {
    format = "JPEG";
  }
  if (companions::HasExtension(path, ".bmp")) format = "BMP";
  const bool pdf = companions::HasExtension(path, ".pdf");
  if (format == nullptr && !pdf) {
    return core::Fail(core::kMsgBadValue, path.string() + ": choose .png, .jpg, .bmp or .pdf");
  }
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  if (pdf) {
    QPdfWriter writer(&buffer);
    writer.setCreator("TorvImgEpt");
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageOrientation(picture.width() > picture.height() ? QPageLayout::Landscape
                                                                 : QPageLayout::Portrait);
    QPainter painter(&writer);
    const QRect page = painter.viewport();
    const QSize size = picture.size().scaled(page.size(), Qt::KeepAspectRatio);
    painter.drawImage(QRect(QPoint(0, 0), size), picture);
    painter.end();
  } else if (!picture.save(&buffer, format, format == std::string("JPEG") ? 95 : -1)) {
    return core::Fail(core::kMsgFileWrite, path.string() + ": the picture can't be encoded");
  }
  return bytes;
}

/// Writes `picture` as `path` by its extension, through the one atomic save: a failure leaves
/// an earlier file of that name as it was.
core::Status Convert(const QImage& picture, const fs::path& path) {
  auto bytes = Encode(picture, path);
  if (!bytes) return bytes.error();
  return core::SaveFileAtomically(
      path, std::string_view(bytes->constData(), static_cast<size_t>(bytes->size())),
      core::kMsgFileWrite);
}

}  // namespace

int main(int argc, char** argv) {
  core::IgnoreFileSizeSignal();
  CLI::App app{
      "TorvImgEpt: saves the picture of a view as PNG, JPEG, BMP or PDF. Without --to a "
      "save dialog asks for the path."};
  std::string picture_path;
  std::string name;
  std::string target;
  app.add_option("picture", picture_path, "the picture file the view wrote")->required();
  app.add_option("name", name, "the name the view gave the picture");
  app.add_option("--to", target, "the file to write: .png, .jpg, .bmp or .pdf")
      ->check(companions::NotEmpty());
  if (auto done = companions::ParseCommandLine(app, argc, argv)) return *done;
  const core::Language language = core::GetUILanguage();
  const bool batch = !target.empty();
  if (batch) {
    companions::PrepareBatchRun();
  }
  QApplication application(argc, argv);
  // Read as a regular file first: a FIFO or a device given as the picture can't hang us.
  auto picture_bytes =
      core::ReadRegularFile(picture_path, core::kMaxPictureFileBytes, core::kMsgFileRead);
  const QImage picture =
      picture_bytes ? QImage::fromData(reinterpret_cast<const uchar*>(picture_bytes->data()),
                                       static_cast<int>(picture_bytes->size()))
                    : QImage();
  const auto fail = [batch](const std::string& why) {
    if (batch) {
      std::fprintf(stderr, "TorvImgEpt: %s\n", core::EscapeControlCharacters(why).c_str());
    } else {
      QMessageBox::critical(nullptr, "TorvImgEpt", QString::fromStdString(why));
    }
    return 1;
  };
  if (!picture_bytes) return fail(core::ErrorText(picture_bytes.error(), language));
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
  if (auto done = Convert(picture, target); !done) {
    return fail(core::ErrorText(done.error(), language));
  }
  if (batch) std::printf("%s\n", target.c_str());
  return 0;
}
