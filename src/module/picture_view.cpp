// The off-screen picture, printing and picture export.
#include "module/picture_view.h"

#include <QApplication>
#include <QClipboard>
#include <QPainter>
#include <QPrinter>

#include "core/report/companion.h"
#include "module/module_state.h"
#include "module/printing.h"
#include "render/picture_output.h"
#include "ui/error_message.h"
#include "ui/host_message.h"

namespace torvwy::module {

double PictureView::aspect() const {
  return width() > 0 && height() > 0 ? static_cast<double>(height()) / width()
                                     : render::kDefaultAspect;
}

void PictureView::Redraw() {
  const qreal ratio = devicePixelRatioF();
  QImage image(size() * ratio, QImage::Format_RGB32);
  image.setDevicePixelRatio(ratio);
  image.fill(Qt::white);
  {
    QPainter painter(&image);
    render::TargetGeometry geometry;
    geometry.target = render::DrawTarget::kWindow;
    geometry.area = rect();
    drawn_ = DrawPicture(painter, geometry);
  }
  picture_ = std::move(image);
  update();
}

void PictureView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (picture_.isNull()) {
    painter.fillRect(rect(), Qt::white);
    return;
  }
  painter.drawImage(QPoint(0, 0), picture_);
}

void PictureView::resizeEvent(QResizeEvent* event) {
  AnalysisView::resizeEvent(event);
  Redraw();
}

QImage PictureView::ExportImage() const {
  auto* self = const_cast<PictureView*>(this);
  return render::RenderImage(
      [self](QPainter& painter, const render::TargetGeometry& geometry) {
        return self->DrawPicture(painter, geometry);
      },
      aspect());
}

QImage PictureView::ReportImage() const {
  auto* self = const_cast<PictureView*>(this);
  return render::RenderReportImage(
      [self](QPainter& painter, const render::TargetGeometry& geometry) {
        return self->DrawPicture(painter, geometry);
      },
      aspect());
}

bool PictureView::PrintOn(QPrinter& printer) {
  return PrintPicture(printer, [this](QPainter& painter, const render::TargetGeometry& geometry) {
    return DrawPicture(painter, geometry);
  });
}

bool PictureView::HandlePictureCommand(quint32 code, qintptr) {
  switch (code) {
    case ui::command::kPrint:
      PrintWithDialog(
          this, [this](QPrinter& printer) { return PrintOn(printer); }, true);
      return true;
    case ui::command::kPrintPreview:
      PreviewPrint(
          this, [this](QPrinter& printer) { return PrintOn(printer); }, true);
      return true;
    case ui::command::kCopyPicture:
      QApplication::clipboard()->setImage(ExportImage());
      return true;
    case ui::command::kSavePicture: {
      const std::filesystem::path file = core::ImageExportPicturePath();
      if (auto ok = render::WriteBitmapFile(file, ExportImage()); !ok) {
        ShowMessage(this, ui::ErrorMessage(ok.error()));
        return true;
      }
      if (auto started = core::LaunchImageExport(file, PictureName().toStdString()); !started) {
        ShowMessage(this, ui::ErrorMessage(started.error()));
      }
      return true;
    }
    default:
      return false;
  }
}

}  // namespace torvwy::module
