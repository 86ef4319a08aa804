// The print dialog and the preview.
#include "module/printing.h"

#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPrinterInfo>

#include "module/module_state.h"
#include "ui/host_message.h"

namespace torvwy::module {
namespace {

void SetUpA4(QPrinter& printer, bool full_page) {
  printer.setPageSize(QPageSize(QPageSize::A4));
  printer.setFullPage(full_page);
}

}  // namespace

bool PrintPicture(QPrinter& printer, const render::PictureDrawer& draw) {
  QPainter painter;
  if (!painter.begin(&printer)) return false;
  const QRectF paper = printer.pageLayout().fullRect(QPageLayout::Millimeter);
  const int dpi = printer.resolution();
  const render::PrinterGeometry page =
      render::ComputePrinterGeometry(paper.width(), paper.height(), dpi);
  painter.setWindow(QRect(QPoint(0, 0), page.logical_extent));
  painter.setViewport(QRect(QPoint(0, 0), page.device_extent));
  render::TargetGeometry geometry;
  geometry.target = render::DrawTarget::kPrinter;
  geometry.area = page.area;
  geometry.units_per_inch = page.units_per_inch;
  draw(painter, geometry);
  return painter.end();
}

void PrintWithDialog(QWidget* parent, const PagePrinter& print, bool full_page) {
  QPrinter printer(QPrinter::HighResolution);
  SetUpA4(printer, full_page);
  if (QPrinterInfo::availablePrinters().isEmpty()) printer.setOutputFormat(QPrinter::PdfFormat);
  QPrintDialog dialog(&printer, parent);
  if (dialog.exec() != QDialog::Accepted) return;
  // The host's status line says "Printing..." and then "Printed"; a preview prints nothing.
  ui::SendHostCommand(ui::HostWindow(), ui::command::kPrinting, 0);
  if (!print(printer)) return ShowMessage(parent, Text(TextKey::kPrintingFailed));
  ui::SendHostCommand(ui::HostWindow(), ui::command::kPrinting, 1);
}

void PreviewPrint(QWidget* parent, const PagePrinter& print, bool full_page) {
  QPrinter printer(QPrinter::HighResolution);
  SetUpA4(printer, full_page);
  QPrintPreviewDialog preview(&printer, parent);
  QObject::connect(&preview, &QPrintPreviewDialog::paintRequested, parent,
                   [&print](QPrinter* target) { print(*target); });
  preview.exec();
}

}  // namespace torvwy::module
