// The statistics list as printed pages: 60 rows a page under a heading, in a grid, with a footer.
#pragma once

#include <QFont>
#include <QRectF>
#include <QString>
#include <QStringList>
#include <vector>

#include "core/report/report_file.h"
#include "core/stats/statistics_batch.h"

class QPainter;
class QPrinter;

namespace torvwy::module {

/// Rows printed on one page.
inline constexpr int kRowsPerPage = 60;

/// Pages of a list of `rows` rows: ((rows - 1) / 60) + 1, so an empty list prints one page.
int StatisticsPageCount(int rows);

/// One text as drawn on a page, with the box it belongs to (logical units of the page).
struct PageText {
  QString text;
  QRectF cell;
};

/// The printed list, in logical page units (about 135 to the inch):
///
///        ===== abc1_3 - TORV Amplitude Stat =====        heading, centred, two rows above T
///   T -> +-----+------+------+------------+----+
///        | No. | Code | Node | Peak Value | .. |          titles 3 units below each top line
///        +-----+------+------+------------+----+
///        |   1 | 1    | 2    | 2949.22    | .. |          60 rows, pitch R = text height + 6
///        ...
///                  Page 1  , Total 3                     at T + 62 R
///
/// T = 92, left margin M = 40. A column is as wide as the sample number " -0.000E+2" (with two
/// more blanks for peak-to-peak lists), and wider where its title or one of its cells needs it,
/// so that no text is ever cut or broken.
class StatisticsPages {
 public:
  /// `heading` is the whole heading line; `table` the list (column 0 the row number).
  StatisticsPages(const core::StatisticsTable& table, QString heading);

  int page_count() const { return StatisticsPageCount(static_cast<int>(table_.rows.size())); }
  /// The font of the texts: 16 units high.
  QFont font() const { return font_; }
  /// Left edge of each column and the right edge of the last (C + 1 values).
  const std::vector<double>& boundaries() const { return boundaries_; }
  double row_pitch() const { return row_pitch_; }
  /// Width of the whole page: the table and both margins.
  double width() const { return boundaries_.back() + kLeft; }
  /// Height of the whole page, down to below the footer.
  double height() const { return kTop + 64 * row_pitch_; }

  /// Draws page `page` (1-based) in logical units at the painter's origin; returns the texts.
  std::vector<PageText> DrawPage(QPainter& painter, int page) const;
  /// Prints every page on `printer`, each scaled to fit the printable width.
  bool Print(QPrinter& printer) const;

  static constexpr double kTop = 92;
  static constexpr double kLeft = 40;

 private:
  core::StatisticsTable table_;
  QString heading_;
  QFont font_;
  std::vector<double> boundaries_;
  double row_pitch_ = 22;
  double text_height_ = 16;
};

/// The heading of the printed list: "===== abc1" (one code) or "===== abc1_3" (first and last
/// code) and the content's title in the language.
QString StatisticsPageHeading(const core::StatisticsReportNames& names, int32_t content,
                              core::Language language);

}  // namespace torvwy::module
