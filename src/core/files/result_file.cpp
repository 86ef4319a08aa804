// Opening any counting result file and building result file names.
#include "core/files/result_file.h"

#include <string>

#include "core/files/json_result_file.h"
#include "core/files/result_sections.h"
#include "core/services/folders.h"
#include "core/services/message_table.h"
#include "core/services/names.h"

namespace torvwy::core {
namespace {

/// Parses with the reader of one analysis and widens its record to AnyResultFile.
template <typename File>
Result<AnyResultFile> Widen(Result<File> parsed) {
  if (!parsed) return parsed.error();
  return AnyResultFile(std::move(*parsed));
}

}  // namespace

const ResultFileNode& NodeOf(const AnyResultFile& file) {
  return std::visit([](const auto& f) -> const ResultFileNode& { return f; }, file);
}

ResultFileNode& NodeOf(AnyResultFile& file) {
  return std::visit([](auto& f) -> ResultFileNode& { return f; }, file);
}

bool PassCancelled(const AnyResultFile& file) {
  return std::visit([](const auto& f) { return f.result.cancelled; }, file);
}

Status SaveResultFile(const std::filesystem::path& path, const AnyResultFile& file) {
  if (SavedAsJson(KindOf(file))) {
    // The newer methods save the object their JSON prints, with the node, in a JSON file.
    if (auto ok = RefuseCancelledPass(PassCancelled(file), "saved"); !ok) return ok;
    auto text = JsonResultText(file);
    if (!text) return text.error();
    return SaveResultBytes(path, *text);
  }
  if (const auto* peak = std::get_if<PeakResultFile>(&file)) return SavePeakResultFile(path, *peak);
  if (const auto* range = std::get_if<RangeResultFile>(&file)) {
    return SaveRangeResultFile(path, *range);
  }
  return SaveRainflowResultFile(path, std::get<RainflowResultFile>(file));
}

std::string_view ResultFileExtension(CountingKind kind) {
  switch (kind) {
    case CountingKind::kPeak:
      return ".PCM";
    case CountingKind::kRange:
      return ".DCM";
    case CountingKind::kRainflow:
      return ".RFL";
    case CountingKind::kCrossings:
      return ".crossings.json";
    case CountingKind::kRangePairs:
      return ".range-pairs.json";
    case CountingKind::kTimeAtLevel:
      return ".time-at-level.json";
  }
  return {};
}

std::optional<CountingKind> KindOfExtension(std::string_view extension) {
  for (CountingKind kind : {CountingKind::kPeak, CountingKind::kRange, CountingKind::kRainflow}) {
    if (SameTextNoCase(extension, ResultFileExtension(kind))) return kind;
  }
  return std::nullopt;
}

Result<AnyResultFile> ParseResultFile(std::string_view bytes, std::string_view extension) {
  if (LooksLikeJsonResult(bytes)) return ParseJsonResultFile(bytes);
  auto kind = MagicKind(bytes);
  if (!kind) kind = KindOfExtension(extension);
  if (!kind) {
    return Fail(kMsgResultFileOpen,
                "not a result file: no magic, and the extension is not .PCM, .DCM or .RFL");
  }
  switch (*kind) {
    case CountingKind::kPeak:
      return Widen(ParsePeakResultFile(bytes));
    case CountingKind::kRange:
      return Widen(ParseRangeResultFile(bytes));
    case CountingKind::kRainflow:
      return Widen(ParseRainflowResultFile(bytes));
    default:  // a JSON result file, recognised above
      break;
  }
  return Fail(kMsgResultFileOpen, "unknown analysis");
}

Result<AnyResultFile> OpenResultFile(const std::filesystem::path& path) {
  auto bytes = ReadResultBytes(path);
  if (!bytes) return bytes.error();
  auto file = ParseResultFile(*bytes, path.extension().string());
  if (!file) return InFile(path, file.error());
  // A JSON result file names its node itself.
  if (!SavedAsJson(KindOf(*file)))
    std::visit([&](auto& f) { TakeNamesFromFileName(path, f); }, *file);
  return file;
}

Result<std::filesystem::path> ResultFilePath(const std::filesystem::path& folder,
                                             std::string_view test_name, std::string_view test_code,
                                             std::string_view node_name, CountingKind kind) {
  const std::string title = std::string(test_name) + std::string(test_code);
  if (auto ok = CheckName(title, "test name and code"); !ok) return ok.error();
  if (auto ok = CheckName(node_name, "node name"); !ok) return ok.error();
  const std::string name =
      title + "#" + std::string(node_name) + std::string(ResultFileExtension(kind));
  // The pieces may be sound alone and still meet as "..": a node "x." before ".PCM".
  if (auto ok = CheckName(name, "result file name"); !ok) return ok.error();
  return folder / name;
}

Result<std::filesystem::path> ResultNamePath(const std::filesystem::path& result_folder,
                                             std::string_view result_name) {
  if (auto ok = CheckName(result_name, "result name"); !ok) return ok.error();
  return FindFileNoCase(result_folder, std::string(result_name));
}

}  // namespace torvwy::core
