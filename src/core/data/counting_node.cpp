// Finding a node's files and where its samples come from.
#include "core/data/counting_node.h"

#include "core/data/parameter_file.h"

namespace torvwy::core {

Result<CountingNode> OpenCountingNode(const std::filesystem::path& data_folder,
                                      const std::string& test_name, const std::string& test_code,
                                      const std::string& node_name) {
  const std::string folder = data_folder.string();
  auto tsp = NodeFilePath(folder, test_name, test_code, node_name, ".tsp");
  if (!tsp) return tsp.error();
  auto sts = NodeFilePath(folder, test_name, test_code, node_name, ".sts");
  if (!sts) return sts.error();
  auto info = ReadSamplingParameters(*tsp);
  if (!info) return info.error();
  CountingNode node;
  node.test_name = test_name;
  node.test_code = test_code;
  node.node_name = node_name;
  node.info = *info;
  node.tsp_file = *tsp;
  node.data_file = *sts;
  return node;
}

SampleSource SourceOf(const CountingNode& node) {
  if (!node.samples) return SampleSource(node.data_file);
  return SampleSource(node.data_file, node.samples, node.sample_count);
}

}  // namespace torvwy::core
