// The print dialog and the preview.
#include "module/printing.h"

#include <QPageSize>
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
