// The picture font, wrapped texts and the title box.
#include "render/text_drawing.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QTextLayout>
#include <cstdio>
#include <mutex>

#include "core/services/message_table.h"

namespace torvwy::render {

QString SanitizeText(std::string_view utf8) {
  QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
  for (QChar& c : text) {
    if (c.unicode() < 0x20 || c.unicode() == 0x7F) c = QLatin1Char(' ');
  }
  return text;
}

QString PictureFontFamily() {
  static QString family;
  static std::once_flag once;
  std::call_once(once, [] {
    const auto table = core::LoadMessageTable(core::Language::kEnglish);
    const QString face = QString::fromUtf8(
        table[core::kMsgFontFace].data(), static_cast<qsizetype>(table[core::kMsgFontFace].size()));
    const QStringList chinese = QFontDatabase::families(QFontDatabase::SimplifiedChinese);
    if (chinese.contains(face, Qt::CaseInsensitive)) {
      family = face;
    } else if (!chinese.isEmpty()) {
      family = chinese.front();
    } else {
      family = face;
      std::fprintf(stderr,
                   "torvwy: no font with Simplified Chinese glyphs is installed; Chinese texts "
                   "of the pictures can't be drawn (install fonts-wqy-microhei)\n");
    }
  });
  return family;
}

QFont PictureFont(int pixel_size) {
  QFont font(PictureFontFamily());
  font.setPixelSize(pixel_size > 0 ? pixel_size : 1);
  font.setStyleStrategy(QFont::PreferAntialias);
  return font;
}

int DrawWrappedText(QPainter& painter, const QString& raw_text, const QRect& rect) {
  QString text = raw_text;
  for (QChar& c : text) {
    if (c.unicode() < 0x20 || c.unicode() == 0x7F) c = QLatin1Char(' ');
  }
  if (text.isEmpty() || rect.width() <= 0) return 0;
  QTextLayout layout(text, painter.font(), painter.device());
  QTextOption option;
  option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  layout.setTextOption(option);
  const QFontMetrics metrics(painter.font(), painter.device());
  int lines = 0;
  double y = 0.0;
  layout.beginLayout();
  for (;;) {
    QTextLine line = layout.createLine();
    if (!line.isValid()) break;
    line.setLineWidth(rect.width());
    line.setPosition(QPointF(0.0, y));
    y += metrics.height();
    ++lines;
  }
  layout.endLayout();
  painter.save();
  painter.setClipRect(rect, Qt::IntersectClip);
  layout.draw(&painter, rect.topLeft());
  painter.restore();
  return lines;
}

void DrawClippedText(QPainter& painter, const QString& text, const QRect& rect, int flags) {
  painter.save();
  painter.setClipRect(rect, Qt::IntersectClip);
  painter.drawText(rect, flags | Qt::TextSingleLine, text);
  painter.restore();
}

void DrawTitleBox(QPainter& painter, const QRect& rect, const QColor& border, bool shaded,
                  const QColor& fill, int line_width) {
  painter.save();
  if (shaded) {
    const int offset = 3 * line_width;
    painter.fillRect(rect.translated(offset, offset), border);
  }
  painter.fillRect(rect, fill);
  painter.setPen(QPen(border, line_width));
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(rect.adjusted(0, 0, -1, -1));
  painter.restore();
}

}  // namespace torvwy::render
