// Texts of the pictures: the picture font, wrapped and clipped texts, the shaded title box.
#pragma once

#include <QColor>
#include <QFont>
#include <QPainter>
#include <QRect>
#include <QString>
#include <string_view>

namespace torvwy::render {

/// A text from a file made safe to draw: invalid UTF-8 is replaced, control characters
/// (tabs, line breaks and the rest below 0x20, and DEL) become blanks.
QString SanitizeText(std::string_view utf8);

/// The family that draws the pictures' texts: the message table's face (message 5) when it is
/// installed and has Simplified Chinese glyphs, else the first installed family that has them.
/// When no family has them, says so once on stderr and returns the message table's face.
/// Needs a QGuiApplication.
QString PictureFontFamily();

/// The picture font of `pixel_size` pixels (logical units of the target).
QFont PictureFont(int pixel_size);

/// Draws `text` word-wrapped (and broken inside words that are wider than the box) within
/// `rect`, clipped to it, and returns the number of lines the whole text takes (which may be
/// more than fit). Control characters are drawn as blanks.
int DrawWrappedText(QPainter& painter, const QString& text, const QRect& rect);

/// Draws one line of `text` at the baseline-less top-left `rect`, clipped to `rect`.
void DrawClippedText(QPainter& painter, const QString& text, const QRect& rect,
                     int flags = Qt::AlignLeft | Qt::AlignVCenter);

/// The heading box of the information column, filled with `fill` inside a `border` line:
///
///   +--------------------------+
///   |  Peak Counting           |#     shaded (on screen): a shadow in `border` colour
///   +--------------------------+#     below and to the right; flat (printing): none
///     ##########################
void DrawTitleBox(QPainter& painter, const QRect& rect, const QColor& border, bool shaded,
                  const QColor& fill, int line_width = 1);

}  // namespace torvwy::render
