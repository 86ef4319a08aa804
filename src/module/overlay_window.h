// The counts of several nodes of a test in one picture, each in its own colour.
#pragma once

#include <QString>
#include <QWidget>
#include <string>
#include <vector>

#include "core/counting/counting_parameters.h"
#include "core/data/parameter_file.h"
#include "core/services/result.h"
#include "render/view_choices.h"
#include "render/waveform_picture.h"

namespace torvwy::module {

/// Counts every node of `names` by `kind` over its whole record with the partitions of
/// `parameters`, all on one amplitude range: each node's own first, then, when they differ,
/// all again on the largest (a set value), so that partition i means the same range in every
/// curve. The curves are the displayed counts (peak: the totals) of `choices` (one-way or
/// two-way). Fails with the first node that can't be counted.
core::Result<render::OverlayPicture> CountOverlay(core::CountingKind kind,
                                                  const core::CountingParameters& parameters,
                                                  const core::TestContext& test,
                                                  const std::vector<std::string>& names,
                                                  const render::ViewChoices& choices);

/// A window of its own showing an overlay picture.
class OverlayWindow : public QWidget {
  Q_OBJECT

 public:
  explicit OverlayWindow(render::OverlayPicture picture, QWidget* parent = nullptr);
  const render::OverlayPicture& picture() const { return picture_; }
  /// What the last paint drew.
  const render::OverlayReport& drawn() const { return drawn_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  render::OverlayPicture picture_;
  render::OverlayReport drawn_;
};

}  // namespace torvwy::module
