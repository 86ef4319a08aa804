// The entry points of the module (extern "C"): a template per analysis, each making a frame with
// its view.
#include <QColor>
#include <QFont>
#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <new>

#include "module/analysis_frame.h"
#include "module/counting_view.h"
#include "module/doc_template.h"
#include "module/module_state.h"
#include "module/programme_view.h"
#include "module/statistics_view.h"

namespace torvwy::module {
namespace {

/// The frame icon of a template: a coloured tile with the analysis's letter.
QIcon FrameIcon(const QColor& colour, const QString& letter) {
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setBrush(colour);
  painter.setPen(Qt::NoPen);
  painter.drawRoundedRect(QRectF(1, 1, 30, 30), 6, 6);
  painter.setPen(Qt::white);
  QFont font = painter.font();
  font.setPixelSize(18);
  font.setBold(true);
  painter.setFont(font);
  painter.drawText(QRect(0, 0, 32, 32), Qt::AlignCenter, letter);
  painter.end();
  return QIcon(pixmap);
}

DocTemplate* CountingTemplate(int id, core::CountingKind kind, AnalysisKind frame_kind,
                              TextKey title, const QColor& colour, const char* letter) {
  return new (std::nothrow)
      DocTemplate(id, Text(title), FrameIcon(colour, QString::fromLatin1(letter)),
                  [kind, frame_kind](QWidget* parent) -> QWidget* {
                    return new AnalysisFrame(frame_kind, new CountingView(kind), parent);
                  });
}

}  // namespace
}  // namespace torvwy::module

using namespace torvwy::module;

extern "C" {

DocTemplate* InitContDLL() {
  return CountingTemplate(kPeakTemplate, torvwy::core::CountingKind::kPeak, AnalysisKind::kPeak,
                          TextKey::kTemplatePeak, QColor(0x2E, 0x7D, 0x32), "P");
}

DocTemplate* InitDispDLL() {
  return CountingTemplate(kRangeTemplate, torvwy::core::CountingKind::kRange, AnalysisKind::kRange,
                          TextKey::kTemplateRange, QColor(0x15, 0x65, 0xC0), "R");
}

DocTemplate* InitRainFlowDLL() {
  return CountingTemplate(kRainflowTemplate, torvwy::core::CountingKind::kRainflow,
                          AnalysisKind::kRainflow, TextKey::kTemplateRainflow,
                          QColor(0x6A, 0x1B, 0x9A), "F");
}

DocTemplate* InitCrossDLL() {
  return CountingTemplate(kCrossingsTemplate, torvwy::core::CountingKind::kCrossings,
                          AnalysisKind::kCrossings, TextKey::kTemplateCrossings,
                          QColor(0x00, 0x83, 0x8F), "C");
}

DocTemplate* InitPairDLL() {
  return CountingTemplate(kRangePairsTemplate, torvwy::core::CountingKind::kRangePairs,
                          AnalysisKind::kRangePairs, TextKey::kTemplateRangePairs,
                          QColor(0x28, 0x35, 0x93), "Q");
}

DocTemplate* InitTimeDLL() {
  return CountingTemplate(kTimeAtLevelTemplate, torvwy::core::CountingKind::kTimeAtLevel,
                          AnalysisKind::kTimeAtLevel, TextKey::kTemplateTimeAtLevel,
                          QColor(0x8D, 0x6E, 0x63), "T");
}

DocTemplate* InitStatDLL() {
  return new (std::nothrow) DocTemplate(
      kStatisticsTemplate, Text(TextKey::kTemplateStatistics),
      FrameIcon(QColor(0xEF, 0x6C, 0x00), QStringLiteral("S")), [](QWidget* parent) -> QWidget* {
        return new AnalysisFrame(AnalysisKind::kStatistics, new StatisticsView, parent);
      });
}

DocTemplate* InitProgDLL() {
  return new (std::nothrow) DocTemplate(
      kProgrammeTemplate, Text(TextKey::kTemplateProgramme),
      FrameIcon(QColor(0xAD, 0x14, 0x57), QStringLiteral("E")), [](QWidget* parent) -> QWidget* {
        return new AnalysisFrame(AnalysisKind::kProgramme, new ProgrammeView, parent);
      });
}

}  // extern "C"
