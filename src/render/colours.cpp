// Reading the display colours from the profile.
#include "render/colours.h"

#include "core/services/folders.h"
#include "core/services/profile.h"

namespace torvwy::render {

PictureColours ReadColours(const std::filesystem::path& profile_path) {
  PictureColours colours;
  auto profile = core::IniFile::Load(profile_path);
  if (!profile.ok()) return colours;
  auto read = [&](const char* key, ColourRef& colour) {
    const long long value = profile->GetInt("settings", key, static_cast<long long>(colour));
    colour = static_cast<ColourRef>(static_cast<unsigned long long>(value) & 0xFFFFFFu);
  };
  read("clrBk", colours.background);
  read("clrWaveBk", colours.wave_background);
  read("clrWaveLine", colours.wave_line);
  read("clrWaveFill", colours.wave_fill);
  read("clrAxis", colours.axis);
  read("clrGrid", colours.grid);
  read("clrText", colours.text);
  read("clrCursor", colours.cursor);
  return colours;
}

PictureColours ReadColours() { return ReadColours(core::ProfilePath()); }

}  // namespace torvwy::render
