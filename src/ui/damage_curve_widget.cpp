// The damage curve of the life estimate dock.
#include "ui/damage_curve_widget.h"

#include <QPainter>

#include "render/colours.h"
#include "render/fatigue_pictures.h"
#include "ui/language.h"

namespace torvwy::ui {

DamageCurveWidget::DamageCurveWidget(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("damage_curve"));
  setMinimumHeight(120);
}

void DamageCurveWidget::SetSteps(std::vector<core::DamageStep> steps) {
  steps_ = std::move(steps);
  update();
}

void DamageCurveWidget::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::white);
  render::ViewState state;
  state.language = UiLanguage();
  state.colours = render::ReadColours();
  render::TargetGeometry geometry;
  geometry.target = render::DrawTarget::kWindow;
  geometry.area = rect();
  drawn_ = render::DrawDamageHistoryPicture(painter, geometry, steps_, state);
}

}  // namespace torvwy::ui
