// What the analysis module hands the host: one template per analysis, making its windows.
#pragma once

#include <QIcon>
#include <QString>
#include <QWidget>
#include <functional>

#include "core/counting/counting_parameters.h"

namespace torvwy::module {

/// A document template: the analysis's id, title and icon, and the factory of its window (a
/// frame holding its view). The host owns the templates it is given.
class DocTemplate {
 public:
  using FrameFactory = std::function<QWidget*(QWidget* parent)>;
  DocTemplate(int id, QString title, QIcon icon, FrameFactory create)
      : id_(id), title_(std::move(title)), icon_(std::move(icon)), create_(std::move(create)) {}
  virtual ~DocTemplate() = default;

  int id() const { return id_; }  ///< 6010..6013, 6030..6033
  const QString& title() const { return title_; }
  const QIcon& icon() const { return icon_; }
  /// A new frame with its view; the view starts its work once the frame is shown.
  QWidget* CreateFrame(QWidget* parent = nullptr) const { return create_(parent); }

 private:
  int id_;
  QString title_;
  QIcon icon_;
  FrameFactory create_;
};

/// Template ids.
inline constexpr int kPeakTemplate = 6010;
inline constexpr int kRangeTemplate = 6011;
inline constexpr int kRainflowTemplate = 6012;
inline constexpr int kStatisticsTemplate = 6013;
inline constexpr int kCrossingsTemplate = 6030;
inline constexpr int kRangePairsTemplate = 6031;
inline constexpr int kTimeAtLevelTemplate = 6032;
inline constexpr int kProgrammeTemplate = 6033;

/// The template of a counting analysis.
constexpr int CountingTemplateId(core::CountingKind kind) {
  switch (kind) {
    case core::CountingKind::kPeak:
      return kPeakTemplate;
    case core::CountingKind::kRange:
      return kRangeTemplate;
    case core::CountingKind::kRainflow:
      return kRainflowTemplate;
    case core::CountingKind::kCrossings:
      return kCrossingsTemplate;
    case core::CountingKind::kRangePairs:
      return kRangePairsTemplate;
    case core::CountingKind::kTimeAtLevel:
      return kTimeAtLevelTemplate;
  }
  return kPeakTemplate;
}

/// The exports' type, for QLibrary::resolve.
using InitFunction = DocTemplate* (*)();

}  // namespace torvwy::module

extern "C" {
/// Peak counting, range counting, rainflow counting and amplitude statistics: a new template
/// each, owned by the caller; null when memory runs out.
Q_DECL_EXPORT torvwy::module::DocTemplate* InitContDLL();
Q_DECL_EXPORT torvwy::module::DocTemplate* InitDispDLL();
Q_DECL_EXPORT torvwy::module::DocTemplate* InitRainFlowDLL();
Q_DECL_EXPORT torvwy::module::DocTemplate* InitStatDLL();
/// Level crossing counting, range-pair counting and time at level.
Q_DECL_EXPORT torvwy::module::DocTemplate* InitCrossDLL();
Q_DECL_EXPORT torvwy::module::DocTemplate* InitPairDLL();
Q_DECL_EXPORT torvwy::module::DocTemplate* InitTimeDLL();
/// The test programme: events of recorded nodes with repeats, counted as one load history.
Q_DECL_EXPORT torvwy::module::DocTemplate* InitProgDLL();
}
