// The --picture options of the counting commands and of open, and the picture they write.
#pragma once

#include <CLI/CLI.hpp>
#include <string>
#include <vector>

#include "cli/analysis_options.h"
#include "core/data/labels.h"
#include "core/files/result_file.h"
#include "core/services/language.h"
#include "core/services/result.h"

namespace torvwy::cli {

struct PictureOptions {
  std::string file;       ///< FILE.png | .bmp | .pdf; empty: no picture
  bool one_way = false;   ///< the one-way counts (peak, range)
  bool separate = false;  ///< peaks and valleys in two plots (peak)
  std::string lang;       ///< zh | en; empty: the user interface language
  std::string size;       ///< WxH of a PNG or BMP; empty: 800 x 560
};

/// Adds --picture, --lang and --size, and --one-way / --separate where the analysis has them.
void AddPictureOptions(CLI::App& command, PictureOptions& options, bool one_way_option,
                       bool separate_option);

/// Checks the options before any work is done: the extension, the language, the size, and
/// that the display choices come with --picture (or, `hand_over`, with a report or export,
/// which follow them too).
core::Status CheckPictureOptions(const PictureOptions& options, bool hand_over = false);

/// The language the options ask for: zh, en, or the user interface language.
core::Language PictureLanguage(const PictureOptions& options);

/// Makes the QGuiApplication the drawing needs (once, offscreen without a display).
void EnsureGuiApplication();

/// Draws the picture of `file` (with the bookmarks of its node) into options.file, unless no
/// picture was asked for; in text mode says where it went. Returns an exit code.
int WritePicture(const PictureOptions& options, const core::AnyResultFile& file,
                 const std::vector<core::Label>& bookmarks, bool json);

/// The picture of a counted run, with the bookmarks of its node. A cancelled pass draws no
/// picture (its counts are partial) and says so on stderr.
int WriteRunPicture(const PictureOptions& options, const CountedRun& run, bool json);

}  // namespace torvwy::cli
