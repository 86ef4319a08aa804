// The icons of the control panels' cursor and readout buttons.
#pragma once

#include <QIcon>

namespace torvwy::ui {

/// The icon of cursor button `code`, the cursor move code it sends (0..9):
///   0 "<"  1 "<<"  2 ">"  3 ">>"  4 "\" upper row  5 "/" lower row  6 "/" upper row
///   7 "\" lower row  8 "Max"  9 "Min".
/// A null icon for any other code.
QIcon GetCursorButtonIcon(int code);

/// The icon of readout button `index`: 0 collect, 2 auto, 3 list, 4 clear, 5 save, 6 copy.
/// A null icon for any other index.
QIcon GetReadoutButtonIcon(int index);

}  // namespace torvwy::ui
