// Reading and writing the analysis parameter file.
#include "core/data/parameter_file.h"

#include <strings.h>

#include <algorithm>
#include <cstdint>
#include <sstream>

#include "core/services/atomic_file.h"
#include "core/services/file_read.h"
#include "core/services/folders.h"
#include "core/services/gbk.h"
#include "core/services/message_table.h"
#include "core/services/names.h"
#include "core/services/text.h"

namespace torvwy::core {
namespace {

/// More names than any real test has; a damaged count can't exhaust memory.
constexpr long kMaxNames = 100000;

class LineReader {
 public:
  explicit LineReader(std::istream& in) : in_(in) {}
  /// The next line without its line end; false at the end of the file.
  bool Next(std::string& line) {
    if (!std::getline(in_, line)) {
      line.clear();
      return false;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
  }

 private:
  std::istream& in_;
};

bool Is(const std::string& line, const char* key) { return strcasecmp(line.c_str(), key) == 0; }

/// A count line; 0 when it is not a whole number.
long CountOf(const std::string& line) {
  return static_cast<long>(std::clamp<int64_t>(ParseInt(line).value_or(0), 0, kMaxNames));
}

}  // namespace

Result<TestContext> ReadAnalysisParameterFile(const std::filesystem::path& path) {
  auto text = ReadTextFile(path, kMsgParameterFileUnreadable);
  if (!text) return text.error();
  std::istringstream in(std::move(*text));
  LineReader reader(in);
  TestContext context;
  context.host_folder = path.parent_path();
  std::string line;
  reader.Next(line);
  if (Is(line, kAnalysisMagic)) {
    context.result_mode = 0;
  } else if (Is(line, kResultMagic)) {
    context.result_mode = 1;
  } else {
    return Fail(kMsgParameterFileUnreadable, path.string() + ": not an analysis parameter file");
  }
  const bool result_mode = context.result_mode == 1;
  long count = 0;
  auto value = [&]() {
    std::string next;
    reader.Next(next);
    return GbkToUtf8(next);
  };
  auto read_names = [&](std::vector<std::string>& names) {
    names.clear();
    for (long i = 0; i < count; ++i) names.push_back(value());
  };
  while (reader.Next(line)) {
    if (Is(line, "[End]")) break;
    if (Is(line, "[FileVersion]")) {
      context.file_version = ParseInt32(value()).value_or(0);
    } else if (Is(line, "[TestName]")) {
      context.test_name = value();
    } else if (Is(line, "[TestCode]")) {
      context.test_code = value();
    } else if (Is(line, "[PathData]")) {
      context.data_path = value();
    } else if (Is(line, "[PathResult]")) {
      context.result_path = value();
    } else if (result_mode && Is(line, "[ResultNumber]")) {
      count = CountOf(value());
      context.result_count = static_cast<int32_t>(count);
    } else if (result_mode && Is(line, "[ResultName]")) {
      read_names(context.result_names);
    } else if (!result_mode && Is(line, "[NodeNumber]")) {
      count = CountOf(value());
    } else if (!result_mode && Is(line, "[NodeName]")) {
      read_names(context.node_list);
    }
  }
  if (result_mode) {
    context.result_count = std::min(context.result_count, 1);
    return context;
  }
  if (context.node_list.empty()) {
    return Fail(kMsgParameterFileUnreadable, path.string() + ": lists no node");
  }
  context.node_name = context.node_list.front();
  return context;
}

Status WriteAnalysisParameterFile(const std::filesystem::path& path, const TestContext& context) {
  std::string text;
  auto line = [&](const std::string& utf8) {
    text += Utf8ToGbk(utf8);
    text += "\r\n";
  };
  line(context.result_mode == 1 ? kResultMagic : kAnalysisMagic);
  line("[FileVersion]");
  line("1");
  line("[TestName]");
  line(context.test_name);
  line("[TestCode]");
  line(context.test_code);
  line("[PathData]");
  line(context.data_path);
  line("[PathResult]");
  line(context.result_path);
  const auto& names = context.result_mode == 1 ? context.result_names : context.node_list;
  line(context.result_mode == 1 ? "[ResultNumber]" : "[NodeNumber]");
  line(std::to_string(names.size()));
  line(context.result_mode == 1 ? "[ResultName]" : "[NodeName]");
  for (const auto& name : names) line(name);
  line("[End]");
  return SaveFileAtomically(path, text, kMsgFileWrite);
}

Result<std::filesystem::path> NodeFilePath(const std::string& folder, const std::string& test_name,
                                           const std::string& test_code,
                                           const std::string& node_name,
                                           const std::string& extension) {
  if (!test_name.empty()) {
    if (auto ok = CheckName(test_name, "test name"); !ok) return ok.error();
  }
  if (!test_code.empty()) {
    if (auto ok = CheckName(test_code, "test code"); !ok) return ok.error();
  }
  if (auto ok = CheckName(node_name, "node name"); !ok) return ok.error();
  return FindFileNoCase(folder, test_name + test_code + "#" + node_name + extension);
}

Result<SamplingInfo> LoadCurrentNode(TestContext& context) {
  if (context.node_list.empty()) return Fail(kMsgParameterFileUnreadable, "no node listed");
  context.node_name = context.node_list.front();
  auto tsp = NodeFilePath(context.data_path, context.test_name, context.test_code,
                          context.node_name, ".tsp");
  if (!tsp) return tsp.error();
  auto info = ReadSamplingParameters(*tsp);
  if (!info) return info.error();
  context.labels.clear();
  for (const auto& node : context.node_list) {
    auto path = NodeFilePath(context.data_path, context.test_name, context.test_code, node, ".tsp");
    context.labels.push_back(path ? ReadLabels(*path) : std::vector<Label>{});
  }
  return info;
}

}  // namespace torvwy::core
