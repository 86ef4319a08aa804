// The analysis parameter file "TorvWyPara.txt" and the TestContext it fills.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "core/data/labels.h"
#include "core/data/sampling_info.h"
#include "core/services/result.h"

namespace torvwy::core {

inline constexpr char kParameterFileName[] = "TorvWyPara.txt";
inline constexpr char kAnalysisMagic[] = "[TORV-WY-ANALY-PARA-FILE-001]";
inline constexpr char kResultMagic[] = "[TORV-WY-ANALY-PARA-FILE-002]";

/// What an analysis window analyses: a test, its folders and its nodes or result files.
/// Texts are UTF-8 (the file itself is GBK).
struct TestContext {
  std::filesystem::path host_folder;
  int32_t result_mode = 0;  ///< 0 analysis mode (nodes), 1 result mode (result files)
  int32_t file_version = 0;
  std::string test_name;
  std::string test_code;
  std::string data_path;
  std::string result_path;
  std::string node_name;  ///< the current node
  std::vector<std::string> node_list;
  int32_t result_count = 0;
  std::vector<std::string> result_names;
  /// Bookmarks of every listed node, in node-list order.
  std::vector<std::vector<Label>> labels;
};

/// Reads the parameter file: the magic decides the mode, keys compare whole and without case,
/// a name list cut short by the end of the file reads empty names, a missing "[End]" is fine,
/// a result count above 1 becomes 1. Fails (parameter-file message) when the file can't be
/// read, the magic is unknown, or an analysis-mode file lists no node.
Result<TestContext> ReadAnalysisParameterFile(const std::filesystem::path& path);

/// Writes a parameter file atomically (what the host's node chooser leaves behind).
Status WriteAnalysisParameterFile(const std::filesystem::path& path, const TestContext& context);

/// The path of a node's file: "<folder>/<test><code>#<node><extension>", the extension looked up
/// without regard to case. Fails when a name holds a path separator or "..".
Result<std::filesystem::path> NodeFilePath(const std::string& folder, const std::string& test_name,
                                           const std::string& test_code,
                                           const std::string& node_name,
                                           const std::string& extension);

/// Loads the current node (the first of the node list): its SamplingInfo, and the labels of
/// every listed node into the context. Fails with the sampling-parameters message.
Result<SamplingInfo> LoadCurrentNode(TestContext& context);

}  // namespace torvwy::core
