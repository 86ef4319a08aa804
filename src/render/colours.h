// The display colours of the pictures: the profile's eight keys and the fixed print set.
#pragma once

#include <QColor>
#include <cstdint>
#include <filesystem>

namespace torvwy::render {

/// A colour as the profile stores it: 0x00BBGGRR.
using ColourRef = uint32_t;

/// 0x00BBGGRR as a QColor. This and ToColourRef are the only conversions between the two;
/// they are inline so that a room without the pictures (the host) can use them too.
inline QColor ToQColor(ColourRef value) {
  return QColor(static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF),
                static_cast<int>((value >> 16) & 0xFF));
}

/// A QColor as 0x00BBGGRR (its alpha dropped).
inline ColourRef ToColourRef(const QColor& colour) {
  return static_cast<ColourRef>(colour.red()) | (static_cast<ColourRef>(colour.green()) << 8) |
         (static_cast<ColourRef>(colour.blue()) << 16);
}

/// The eight display colours of the counting pictures, with their defaults.
struct PictureColours {
  ColourRef background = 0x000000;       ///< "clrBk"
  ColourRef wave_background = 0x000000;  ///< "clrWaveBk"
  ColourRef wave_line = 0x00FF00;        ///< "clrWaveLine"
  ColourRef wave_fill = 0xC0FFC0;        ///< "clrWaveFill"
  ColourRef axis = 0x808080;             ///< "clrAxis"
  ColourRef grid = 0x808080;             ///< "clrGrid"
  ColourRef text = 0xFFFFFF;             ///< "clrText"
  ColourRef cursor = 0x0000FF;           ///< "clrCursor"
};

/// Reads the eight colours from section "settings" of the profile `profile_path`; a missing
/// file or key keeps its default, a value outside 0..0xFFFFFF is masked to its colour bits.
PictureColours ReadColours(const std::filesystem::path& profile_path);

/// Reads the colours from the host's profile (core::ProfilePath()).
PictureColours ReadColours();

}  // namespace torvwy::render
