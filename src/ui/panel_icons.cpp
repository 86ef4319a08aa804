// Panel button icons, drawn rather than stored so that they scale and need no resource files.
#include "ui/panel_icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <functional>

namespace torvwy::ui {
namespace {

constexpr int kSide = 24;
const QColor kInk(0x20, 0x30, 0x60);

QIcon Draw(const std::function<void(QPainter&)>& paint) {
  QPixmap pixmap(kSide, kSide);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(kInk, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  paint(painter);
  painter.end();
  return QIcon(pixmap);
}

/// A filled triangle pointing left (-1) or right (+1), its tip at x.
void Arrow(QPainter& painter, double x, int direction) {
  QPainterPath path;
  path.moveTo(x, 12);
  path.lineTo(x - direction * 8.0, 5);
  path.lineTo(x - direction * 8.0, 19);
  path.closeSubpath();
  painter.fillPath(path, kInk);
}

/// A diagonal in the upper (row 0) or lower (row 1) half, rising (+1) or falling (-1).
void Diagonal(QPainter& painter, int row, int rising) {
  const double top = row == 0 ? 3.0 : 13.0;
  const double bottom = top + 8.0;
  if (rising > 0) {
    painter.drawLine(QPointF(5, bottom), QPointF(19, top));
  } else {
    painter.drawLine(QPointF(5, top), QPointF(19, bottom));
  }
  painter.setPen(QPen(kInk, 1.0, Qt::DotLine));
  painter.drawLine(QPointF(3, 12), QPointF(21, 12));
}

void Word(QPainter& painter, const QString& text) {
  QFont font = painter.font();
  font.setPixelSize(10);
  font.setBold(true);
  painter.setFont(font);
  painter.drawText(QRect(0, 0, kSide, kSide), Qt::AlignCenter, text);
}

}  // namespace

QIcon GetCursorButtonIcon(int code) {
  switch (code) {
    case 0:
      return Draw([](QPainter& p) { Arrow(p, 7, -1); });
    case 1:
      return Draw([](QPainter& p) {
        Arrow(p, 4, -1);
        Arrow(p, 12, -1);
      });
    case 2:
      return Draw([](QPainter& p) { Arrow(p, 17, 1); });
    case 3:
      return Draw([](QPainter& p) {
        Arrow(p, 12, 1);
        Arrow(p, 20, 1);
      });
    case 4:
      return Draw([](QPainter& p) { Diagonal(p, 0, -1); });
    case 5:
      return Draw([](QPainter& p) { Diagonal(p, 1, 1); });
    case 6:
      return Draw([](QPainter& p) { Diagonal(p, 0, 1); });
    case 7:
      return Draw([](QPainter& p) { Diagonal(p, 1, -1); });
    case 8:
      return Draw([](QPainter& p) { Word(p, QStringLiteral("Max")); });
    case 9:
      return Draw([](QPainter& p) { Word(p, QStringLiteral("Min")); });
    default:
      return {};
  }
}

QIcon GetReadoutButtonIcon(int index) {
  switch (index) {
    case 0:  // collect: a plus
      return Draw([](QPainter& p) {
        p.drawLine(12, 5, 12, 19);
        p.drawLine(5, 12, 19, 12);
      });
    case 2:  // auto
      return Draw([](QPainter& p) { Word(p, QStringLiteral("A")); });
    case 3:  // list: three lines
      return Draw([](QPainter& p) {
        for (int y : {7, 12, 17}) p.drawLine(5, y, 19, y);
      });
    case 4:  // clear: a cross
      return Draw([](QPainter& p) {
        p.drawLine(6, 6, 18, 18);
        p.drawLine(18, 6, 6, 18);
      });
    case 5:  // save: a disk
      return Draw([](QPainter& p) {
        p.drawRect(5, 5, 14, 14);
        p.fillRect(8, 5, 8, 5, kInk);
      });
    case 6:  // copy: two sheets
      return Draw([](QPainter& p) {
        p.drawRect(5, 8, 9, 11);
        p.drawRect(10, 4, 9, 11);
      });
    default:
      return {};
  }
}

}  // namespace torvwy::ui
