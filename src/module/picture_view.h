// The off-screen picture view: a picture drawn into an image and copied on paint, printed,
// copied to the clipboard and handed to the image export.
#pragma once

#include <QImage>

#include "module/analysis_view.h"
#include "render/counting_picture.h"
#include "render/draw_target.h"

class QPrinter;

namespace torvwy::module {

/// Draws its picture once per change into an image the size of the window; a paint only copies
/// that image, so resizing and covering never flicker. The same drawing routine serves the
/// window, the printer and the image export.
class PictureView : public AnalysisView {
  Q_OBJECT

 public:
  using AnalysisView::AnalysisView;

  /// Draws the picture for a target; an empty report means there is nothing to show yet.
  virtual render::PictureReport DrawPicture(QPainter& painter,
                                            const render::TargetGeometry& geometry) = 0;
  /// The picture as the image export makes it (800 pixels wide, the window's aspect).
  QImage ExportImage() const;
  /// The report picture: the image layout at twice the size (1600 pixels wide).
  QImage ReportImage() const;
  /// Redraws the off-screen picture and repaints.
  void Redraw();
  /// Prints the picture on `printer` (one page).
  bool PrintOn(QPrinter& printer);
  const QImage& picture() const { return picture_; }
  const render::PictureReport& drawn() const { return drawn_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  /// The picture commands: print, preview, copy, save picture, colours.
  bool HandlePictureCommand(quint32 code, qintptr value);
  /// Base name of the saved picture ("demo1#2_Cont").
  virtual QString PictureName() const = 0;
  /// The window aspect the image export uses.
  double aspect() const;

 private:
  QImage picture_;
  render::PictureReport drawn_;
};

}  // namespace torvwy::module
