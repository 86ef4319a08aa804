// Printing a view: the print dialog and the preview on A4 paper.
#pragma once

#include <functional>

#include "render/picture_output.h"

class QPrinter;
class QWidget;

namespace torvwy::module {

/// Prints on a page (true when it was printed).
using PagePrinter = std::function<bool(QPrinter&)>;

/// Draws a picture on one page of `printer`: the paper mapped to the picture's printed layout,
/// as every picture prints. False when the printer can't be painted on.
bool PrintPicture(QPrinter& printer, const render::PictureDrawer& draw);

/// Runs the print dialog over `parent` on A4 paper and prints with `print`; with no printer
/// installed the dialog still offers a PDF file. `full_page`: the drawing maps the whole paper
/// itself (the pictures); otherwise the printer's margins stay (the lists).
void PrintWithDialog(QWidget* parent, const PagePrinter& print, bool full_page);

/// The print preview of `print` on A4 paper.
void PreviewPrint(QWidget* parent, const PagePrinter& print, bool full_page);

}  // namespace torvwy::module
