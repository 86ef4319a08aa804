// One node of a test with its bookmarks, as the counting session lists them and the bookmark
// dialog browses them.
#pragma once

#include <QString>
#include <filesystem>
#include <vector>

#include "core/data/labels.h"

namespace torvwy::module {

/// One node as the dialog lists it: its name, its parameter file and the bookmarks read from it.
struct BookmarkNode {
  QString name;
  std::filesystem::path tsp_file;
  std::vector<core::Label> labels;
};

}  // namespace torvwy::module
