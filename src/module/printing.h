// Printing a view: the print dialog and the preview on A4 paper.
#pragma once

#include <functional>

class QPrinter;
class QWidget;

namespace torvwy::module {

/// Prints on a page (true when it was printed).
using PagePrinter = std::function<bool(QPrinter&)>;

/// Runs the print dialog over `parent` on A4 paper and prints with `print`; with no printer
/// installed the dialog still offers a PDF file. `full_page`: the drawing maps the whole paper
/// itself (the pictures); otherwise the printer's margins stay (the lists).
void PrintWithDialog(QWidget* parent, const PagePrinter& print, bool full_page);

/// The print preview of `print` on A4 paper.
void PreviewPrint(QWidget* parent, const PagePrinter& print, bool full_page);

}  // namespace torvwy::module
