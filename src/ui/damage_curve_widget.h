// The small picture of a life estimate's damage as it grew through the record.
#pragma once

#include <QWidget>
#include <vector>

#include "core/fatigue/damage_history.h"
#include "render/counting_picture.h"

namespace torvwy::ui {

/// Draws the cumulative damage against time with the one picture routine of the damage curve,
/// in the windows' language, each time it is painted.
class DamageCurveWidget : public QWidget {
  Q_OBJECT

 public:
  explicit DamageCurveWidget(QWidget* parent = nullptr);
  /// The steps to draw (as DamageHistory gives them); none empties the picture.
  void SetSteps(std::vector<core::DamageStep> steps);
  const std::vector<core::DamageStep>& steps() const { return steps_; }
  /// What the last paint drew.
  const render::PictureReport& drawn() const { return drawn_; }
  QSize sizeHint() const override { return {320, 180}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::vector<core::DamageStep> steps_;
  render::PictureReport drawn_;
};

}  // namespace torvwy::ui
