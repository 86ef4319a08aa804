// torvwy info: a node's sampling parameters, derived values and bookmarks.
#include <iostream>
#include <nlohmann/json.hpp>

#include "cli/cli_support.h"
#include "cli/subcommands.h"
#include "core/data/labels.h"
#include "core/data/sample_format.h"
#include "core/services/number_format.h"

namespace torvwy::cli {
namespace {

struct InfoOptions {
  NodeOptions node;
  bool json = false;
};

int RunInfo(const InfoOptions& options) {
  auto files = OpenNode(options.node);
  if (!files) return ReportError(files.error());
  const core::SamplingInfo& info = files->info;
  auto size = core::GetSampleSize(info.format());
  auto full_scale = core::FullScaleOf(info);
  std::error_code ec;
  const auto file_bytes = std::filesystem::file_size(files->data_file, ec);
  const int64_t needed = info.record_samples() * (size ? *size : 0);
  const auto labels = core::ReadLabels(files->tsp_file);

  if (options.json) {
    nlohmann::ordered_json out;
    out["tsp"] = files->tsp_file.string();
    out["sts"] = files->data_file.string();
    out["frequency_hz"] = info.frequency_hz();
    out["c1"] = info.c1();
    out["c2"] = info.c2();
    out["format"] = info.format();
    out["length_half_blocks"] = info.length_half_blocks();
    out["samples"] = info.record_samples();
    out["whole_blocks"] = info.whole_blocks();
    out["record_seconds"] = info.record_seconds();
    out["overview_size"] = info.overview_size();
    out["bytes_per_sample"] = size ? *size : 0;
    out["full_scale"] = full_scale ? *full_scale : 0.0;
    out["eu"] = info.eu();
    out["text1"] = info.text1();
    out["text2"] = info.text2();
    out["text3"] = info.text3();
    out["data_file_bytes"] = ec ? -1 : static_cast<int64_t>(file_bytes);
    out["data_file_complete"] = !ec && static_cast<int64_t>(file_bytes) >= needed;
    auto& bookmarks = out["bookmarks"] = nlohmann::ordered_json::array();
    for (const auto& label : labels) {
      bookmarks.push_back({{"position", label.position}, {"text", label.text}});
    }
    std::cout << out.dump(2) << "\n";
    return kExitOk;
  }
  std::cout << "node              " << options.node.test << options.node.code << "#"
            << options.node.node << "\n"
            << "sampling file     " << files->tsp_file.string() << "\n"
            << "data file         " << files->data_file.string() << "\n"
            << "frequency         " << core::ShortestText(info.frequency_hz()) << " Hz\n"
            << "c1, c2            " << core::ShortestText(info.c1()) << ", "
            << core::ShortestText(info.c2()) << "  (EU = raw / c2 / c1)\n"
            << "format            " << info.format();
  if (size) std::cout << "  (" << *size << " bytes per sample)";
  std::cout << "\n"
            << "full scale        "
            << (full_scale
                    ? core::ShortestText(*full_scale) + " raw = " +
                          core::ShortestText(*full_scale / info.c2() / info.c1()) + " " + info.eu()
                    : std::string("unknown format"))
            << "\n"
            << "record            " << info.length_half_blocks()
            << " half blocks = " << info.record_samples() << " samples = " << info.whole_blocks()
            << " whole blocks = " << core::ShortestText(info.record_seconds()) << " s\n"
            << "overview size M   " << info.overview_size() << "\n"
            << "EU                " << info.eu() << "\n"
            << "texts             [" << info.text1() << "] [" << info.text2() << "] ["
            << info.text3() << "]\n";
  if (ec) {
    std::cout << "data file         missing (" << ec.message() << ")\n";
  } else if (static_cast<int64_t>(file_bytes) < needed) {
    std::cout << "data file         SHORT: " << file_bytes << " bytes, the record needs " << needed
              << "\n";
  } else {
    std::cout << "data file         " << file_bytes << " bytes, complete\n";
  }
  std::cout << "bookmarks         " << labels.size() << "\n";
  for (size_t i = 0; i < labels.size(); ++i) {
    std::cout << "  " << i + 1 << ". sample " << labels[i].position << "  " << labels[i].text
              << "\n";
  }
  return kExitOk;
}

}  // namespace

void RegisterInfoCommand(CLI::App& app, int& exit_code) {
  auto options = std::make_shared<InfoOptions>();
  auto* command =
      app.add_subcommand("info", "Show a node's sampling parameters, derived values, bookmarks");
  AddNodeOptions(*command, options->node);
  command->add_flag("--json", options->json, "One JSON object on stdout");
  command->callback([options, &exit_code] { exit_code = RunInfo(*options); });
}

}  // namespace torvwy::cli
