// The counts of several nodes of a test in one picture, each in its own colour.
#pragma once

#include <QRect>
#include <QString>
#include <QWidget>
#include <string>
#include <vector>

#include "core/counting/counting_parameters.h"
#include "core/data/parameter_file.h"
#include "core/files/result_file.h"
#include "core/run/counting_plan.h"
#include "core/services/language.h"
#include "core/services/progress.h"
#include "core/services/result.h"
#include "render/view_choices.h"
#include "render/waveform_picture.h"

class QAction;
class QImage;
class QMenuBar;
class QPrinter;

namespace torvwy::module {

/// What the counting of an overlay brought: one result per node, in the order asked, or
/// nothing at all when the pass was cancelled (no half-counted curve is ever drawn).
struct OverlayCounts {
  std::vector<core::AnyResultFile> files;
  bool cancelled = false;
};

/// Counts every node of `names` by the window's plan `asked` (its kind, its partitions, its
/// residue method and gate) over its whole record, all on one amplitude range: each node's own
/// first, then, when they differ, all again on the largest (a set value), so that partition i
/// means the same range in every curve. Reports to `progress` (status: the node and its place
/// among the nodes, in `language`) and stops at its cancel. Safe on a worker thread: it reads no
/// profile and touches no widget. Fails with the first node that can't be counted (detail:
/// "node: why").
core::Result<OverlayCounts> CountOverlayNodes(const core::CountingPlan& asked,
                                              const core::TestContext& test,
                                              const std::vector<std::string>& names,
                                              core::Language language, core::Progress& progress);

/// The picture of the counted nodes: the displayed counts (peak: the totals) of `choices`
/// (one-way or two-way), one curve per node, the legend naming each node with its largest count.
render::OverlayPicture OverlayPictureOf(core::CountingKind kind, const core::TestContext& test,
                                        const std::vector<std::string>& names,
                                        const std::vector<core::AnyResultFile>& files,
                                        const render::ViewChoices& choices);

/// A window of its own showing an overlay picture, with the picture commands of a counting
/// window: print, print preview and copy (the same routines), and the log count axis.
class OverlayWindow : public QWidget {
  Q_OBJECT

 public:
  explicit OverlayWindow(render::OverlayPicture picture, QWidget* parent = nullptr);
  const render::OverlayPicture& picture() const { return picture_; }
  /// What the last paint drew.
  const render::OverlayReport& drawn() const { return drawn_; }
  /// Where the picture is drawn: the window below its menu bar.
  QRect PictureArea() const;

  /// The picture as Copy puts it on the clipboard (800 pixels wide, the window's aspect).
  QImage ExportImage() const;
  /// Prints the picture on `printer` (one page), as a counting window prints its own.
  bool PrintOn(QPrinter& printer) const;
  /// Draws the counts on a logarithmic axis, or a linear one again.
  void SetLogCounts(bool log_counts);

  QAction* print_action() const { return print_; }
  QAction* preview_action() const { return preview_; }
  QAction* copy_action() const { return copy_; }
  QAction* log_action() const { return log_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  /// Draws the picture for any target into its geometry's area.
  render::OverlayReport Draw(QPainter& painter, const render::TargetGeometry& geometry) const;

  render::OverlayPicture picture_;
  render::OverlayReport drawn_;
  QMenuBar* menu_bar_ = nullptr;
  QAction* print_ = nullptr;
  QAction* preview_ = nullptr;
  QAction* copy_ = nullptr;
  QAction* log_ = nullptr;
};

}  // namespace torvwy::module
