// torvwy gen: a synthetic test whose nodes carry realistic load signals, written at once or in
// real time as a rig records it.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <numbers>
#include <random>
#include <thread>
#include <vector>

#include "cli/cli_support.h"
#include "cli/subcommands.h"
#include "core/data/labels.h"
#include "core/data/node_writer.h"
#include "core/data/sample_format.h"
#include "core/run/record_follower.h"
#include "core/services/message_table.h"
#include "core/services/names.h"
#include "core/services/number_format.h"
#include "core/services/profile.h"

namespace torvwy::cli {
namespace {

struct GenOptions {
  std::string data;
  std::string test = "demo";
  std::string code = "1";
  int nodes = 4;
  int64_t blocks = 200;
  double rate = 1024.0;
  int32_t format = core::kFormatInt16;
  double live_s = 0.0;  ///< with --live: the seconds recorded in real time
  bool blocks_given = false;
};

/// The load signal of one node, in EU; every fourth node repeats the kinds.
///   kind 0: a swept sine (slow to fast) whose amplitude swells and fades
///   kind 1: narrow-band random load (white noise through a resonator)
///   kind 2: plateaus with spikes on a DC offset
///   kind 3: narrow-band random load on a node with c1 and c2 not 1
class LoadSignal {
 public:
  LoadSignal(int kind, int64_t samples, double rate, uint64_t seed)
      : kind_(kind), samples_(samples), rate_(rate), random_(seed) {
    const double f0 = kind == 3 ? 12.0 : 4.0;                        // resonance in Hz
    const double r = std::exp(-std::numbers::pi * f0 / 8.0 / rate);  // Q of about 4
    a1_ = 2.0 * r * std::cos(2.0 * std::numbers::pi * f0 / rate);
    a2_ = -r * r;
    // Unit standard deviation: the variance of y = a1 y1 + a2 y2 + e with unit e.
    gain_ = 1.0 / std::sqrt((1.0 - a2_) / ((1.0 + a2_) * ((1.0 - a2_) * (1.0 - a2_) - a1_ * a1_)));
  }

  double Next() {
    const double t = static_cast<double>(n_) / rate_;
    const double u = static_cast<double>(n_) / static_cast<double>(samples_);  // 0..1
    ++n_;
    switch (kind_ % 4) {
      case 0: {
        // Exponential sweep from 0.2 Hz to 20 Hz over the record.
        const double duration = static_cast<double>(samples_) / rate_;
        const double k = std::log(100.0);
        phase_ = 2.0 * std::numbers::pi * 0.2 * duration / k * (std::exp(k * u) - 1.0);
        const double envelope = 0.3 + 0.7 * std::sin(std::numbers::pi * u);
        return 60.0 * envelope * std::sin(phase_) + 2.0 * noise_(random_) * 0.1;
      }
      case 2: {
        // A new plateau level every half second, a spike now and then, DC offset 15.
        if (n_ == 1 || static_cast<int64_t>(t * 2.0) != plateau_index_) {
          plateau_index_ = static_cast<int64_t>(t * 2.0);
          plateau_ = std::round(uniform_(random_) * 8.0 - 4.0) * 10.0;
        }
        double v = 15.0 + plateau_;
        if (uniform_(random_) < 0.002) v += (uniform_(random_) < 0.5 ? -1.0 : 1.0) * 40.0;
        return v;
      }
      default: {
        // Narrow-band random load: a resonator driven by white noise.
        const double x = noise_(random_);
        const double y = a1_ * y1_ + a2_ * y2_ + gain_ * x;
        y2_ = y1_;
        y1_ = y;
        return (kind_ == 3 ? 750.0 : 15.0) * y;  // standard deviation in EU
      }
    }
  }

 private:
  int kind_;
  int64_t samples_;
  double rate_;
  std::mt19937_64 random_;
  std::normal_distribution<double> noise_{0.0, 1.0};
  std::uniform_real_distribution<double> uniform_{0.0, 1.0};
  int64_t n_ = 0;
  double phase_ = 0.0;
  double a1_ = 0, a2_ = 0, gain_ = 0, y1_ = 0, y2_ = 0;
  int64_t plateau_index_ = -1;
  double plateau_ = 0.0;
};

/// The sampling record of node k (0-based): its calibration puts the signal at about 60 % of
/// the full scale (EU = raw / c2 / c1).
core::SamplingInfo NodeInfo(const GenOptions& options, int k) {
  const int kind = k % 4;
  const double full_scale = *core::GetFormatFullScale(options.format);
  core::SamplingInfo info;
  info.set_frequency_hz(options.rate);
  info.set_c1(kind == 3 ? 2.5 : full_scale / 100.0);
  info.set_c2(kind == 3 ? 0.8 : 1.0);
  info.set_format(options.format);
  if (options.format == core::kFormatFloatFs) info.set_stored_full_scale(full_scale);
  const char* kUnits[] = {"MPa", "kN", "MPa", "um/m"};
  const char* kTexts[] = {"swept sine", "narrow-band random load",
                          "plateaus and spikes on a DC offset", "narrow-band random load"};
  info.set_eu(kUnits[kind]);
  info.set_text1("torvwy gen");
  info.set_text2("node " + std::to_string(k + 1));
  info.set_text3(kTexts[kind]);
  return info;
}

/// The labels of node k in a record of `samples` samples; only those inside `written`.
std::vector<core::Label> NodeLabels(int k, int64_t samples, int64_t written) {
  std::vector<core::Label> labels;
  if (k % 4 == 0) {
    labels = {{"0", "sweep starts"}, {std::to_string(samples / 2), "half way"}};
  } else if (k % 4 == 2) {
    labels = {{std::to_string(samples / 4), "first quarter"}};
  }
  std::erase_if(labels, [written](const core::Label& label) {
    return std::stoll(label.position) >= written;
  });
  return labels;
}

/// A raw value held within the range of the format, as a rig's amplifier saturates: the random
/// loads reach beyond the full scale once in many millions of samples.
double Saturated(double raw, const core::RawValueRange& range) {
  return std::clamp(raw, range.lowest, range.highest);
}

int CheckGenOptions(const GenOptions& options) {
  if (options.nodes < 1 || options.nodes > 999) return ReportError("--nodes must be 1..999");
  if (options.blocks < 1 || options.blocks > (int64_t{1} << 30)) {
    return ReportError("--blocks must be 1..1073741824");
  }
  if (!(options.rate > 0.0) || !std::isfinite(options.rate)) {
    return ReportError("--rate must be a number > 0");
  }
  if (!core::IsKnownFormat(options.format)) {
    return ReportError("--format " + std::to_string(options.format) +
                       " is not a known sample format (see --help)");
  }
  std::error_code ec;
  std::filesystem::create_directories(options.data, ec);
  if (ec) return ReportError("can't create " + options.data + ": " + ec.message());
  return kExitOk;
}

int RunGen(const GenOptions& options) {
  if (int code = CheckGenOptions(options); code != kExitOk) return code;
  const int64_t samples = options.blocks * core::kBlockSamples;
  const core::RawValueRange range = *core::GetRawValueRange(options.format);
  ConsoleProgress progress;
  progress.SetRange(0, int64_t{options.nodes} * options.blocks);
  progress.SetStep(1);
  for (int k = 0; k < options.nodes; ++k) {
    const std::string node = std::to_string(k + 1);
    progress.SetStatus("node " + node);
    const core::SamplingInfo info = NodeInfo(options, k);
    const double c1 = info.c1();
    const double c2 = info.c2();
    auto writer = core::NodeWriter::Open(options.data, options.test, options.code, node, info);
    if (!writer) return ReportError(writer.error());
    LoadSignal signal(k % 4, samples, options.rate, 1000 + static_cast<uint64_t>(k));
    std::vector<double> block(core::kBlockSamples);
    for (int64_t b = 0; b < options.blocks; ++b) {
      for (double& v : block) v = Saturated(signal.Next() * c2 * c1, range);  // EU to raw units
      if (auto ok = writer->Append(block); !ok) return ReportError(ok.error());
      progress.StepIt();
    }
    auto committed = writer->Commit(NodeLabels(k, samples, samples));
    if (!committed) return ReportError(committed.error());
  }
  progress.SetStatus("");
  std::cout << "wrote test " << options.test << options.code << " with " << options.nodes
            << " nodes of " << samples << " samples in " << options.data << "\n";
  return kExitOk;
}

/// One node of a live recording: its signal, its growing .sts and its .tsp.
struct LiveNode {
  core::SamplingInfo info;
  LoadSignal signal;
  std::filesystem::path tsp;
  std::filesystem::path sts;
  std::ofstream out;
};

/// The .tsp of a live node: the sampling keys with `blocks` whole blocks, and while it records
/// the running mark; the final one is what a written node's .tsp holds, labels included.
core::Status WriteLiveTsp(LiveNode& node, int64_t blocks, bool running,
                          const std::vector<core::Label>& labels) {
  node.info.set_length_half_blocks(static_cast<int32_t>(2 * blocks));
  core::IniFile ini;
  core::StoreSamplingKeys(ini, node.info);
  if (running) {
    ini.Set(core::kRecordingSection, core::kRecordingRunningKey, "1");
  } else {
    ini.Set("Labels", "LabelNum", "0");
    for (const core::Label& label : labels) core::AppendLabel(ini, label);
  }
  return ini.Save(node.tsp, core::kMsgFileWrite);
}

/// Records the test in real time, as an acquisition does: each node's .tsp first (Length=0,
/// marked running), then its .sts grown by the blocks due every 50 ms, the .tsp rewritten
/// with the length so far every second, and at the end the final length without the mark.
/// The samples are those the same options write at once for a record of the same length.
int RunGenLive(const GenOptions& options) {
  if (options.blocks_given)
    return ReportError("--live sets the record's length; leave out --blocks");
  if (!(options.live_s > 0.0) || !std::isfinite(options.live_s)) {
    return ReportError("--live must be a number of seconds > 0");
  }
  GenOptions sized = options;
  const double wanted = std::ceil(options.live_s * options.rate / core::kBlockSamples);
  if (!(wanted <= static_cast<double>(int64_t{1} << 30))) {
    return ReportError("--live x --rate is longer than 1073741824 blocks");
  }
  sized.blocks = std::max<int64_t>(1, static_cast<int64_t>(wanted));
  if (int code = CheckGenOptions(sized); code != kExitOk) return code;
  for (auto [name, what] :
       {std::pair{&options.test, "test name"}, std::pair{&options.code, "test code"}}) {
    if (auto ok = core::CheckName(*name, what); !ok) return ReportError(ok.error());
  }
  const int64_t planned = sized.blocks * core::kBlockSamples;
  const core::RawValueRange range = *core::GetRawValueRange(options.format);

  InterruptWatch interrupt(true);
  std::vector<LiveNode> nodes;
  nodes.reserve(static_cast<size_t>(options.nodes));
  for (int k = 0; k < options.nodes; ++k) {
    const std::filesystem::path stem = std::filesystem::path(options.data) /
                                       (options.test + options.code + "#" + std::to_string(k + 1));
    LiveNode& node = nodes.emplace_back(
        LiveNode{NodeInfo(options, k),
                 LoadSignal(k % 4, planned, options.rate, 1000 + static_cast<uint64_t>(k)),
                 std::filesystem::path(stem).concat(".tsp"),
                 std::filesystem::path(stem).concat(".sts"),
                 {}});
    if (auto ok = WriteLiveTsp(node, 0, true, {}); !ok) return ReportError(ok.error());
    node.out.open(node.sts, std::ios::binary | std::ios::trunc);
    if (!node.out) return ReportError(core::Fail(core::kMsgFileWrite, node.sts.string()));
  }

  const bool terminal = ::isatty(STDERR_FILENO) == 1;
  const auto start = std::chrono::steady_clock::now();
  auto next_tsp = start + std::chrono::seconds(1);
  int64_t written = 0;
  std::vector<double> block(core::kBlockSamples);
  std::string bytes;
  std::cerr << "recording " << options.test << options.code << ": " << options.nodes << " nodes, "
            << planned << " samples at " << core::ShortestText(options.rate) << " Hz\n";
  while (written < sized.blocks && !InterruptRequested()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const auto now = std::chrono::steady_clock::now();
    const double elapsed = std::chrono::duration<double>(now - start).count();
    const auto due = std::min<int64_t>(
        sized.blocks, static_cast<int64_t>(elapsed * options.rate / core::kBlockSamples));
    for (; written < due; ++written) {
      for (LiveNode& node : nodes) {
        for (double& v : block) {
          v = Saturated(node.signal.Next() * node.info.c2() * node.info.c1(), range);
        }
        bytes.clear();
        if (auto ok = core::EncodeSamples(node.info.format(), block, bytes); !ok) {
          return ReportError(ok.error());
        }
        node.out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
      }
      if (InterruptRequested()) {
        ++written;
        break;
      }
    }
    for (LiveNode& node : nodes) {
      node.out.flush();
      if (!node.out) return ReportError(core::Fail(core::kMsgFileWrite, node.sts.string()));
    }
    if (now >= next_tsp) {
      next_tsp += std::chrono::seconds(1);
      for (LiveNode& node : nodes) {
        if (auto ok = WriteLiveTsp(node, written, true, {}); !ok) return ReportError(ok.error());
      }
      if (terminal) {
        std::cerr << "\r\033[K" << written << "/" << sized.blocks << " blocks, "
                  << core::ShortestText(std::round(elapsed * 10.0) / 10.0) << " s" << std::flush;
      }
    }
  }
  if (terminal) std::cerr << "\r\033[K";
  const int64_t samples = written * core::kBlockSamples;
  for (size_t k = 0; k < nodes.size(); ++k) {
    nodes[k].out.close();
    if (nodes[k].out.fail()) {
      return ReportError(core::Fail(core::kMsgFileWrite, nodes[k].sts.string()));
    }
    const auto labels = NodeLabels(static_cast<int>(k), planned, samples);
    if (auto ok = WriteLiveTsp(nodes[k], written, false, labels); !ok) {
      return ReportError(ok.error());
    }
  }
  if (written < sized.blocks) {
    std::cerr << "torvwy: recording stopped at " << written << " of " << sized.blocks
              << " blocks\n";
  }
  std::cout << "wrote test " << options.test << options.code << " with " << options.nodes
            << " nodes of " << samples << " samples in " << options.data << "\n";
  return kExitOk;
}

}  // namespace

void RegisterGenCommand(CLI::App& app, int& exit_code) {
  auto options = std::make_shared<GenOptions>();
  auto* command = app.add_subcommand("gen", "Write a synthetic test with realistic load signals");
  command->add_option("--data", options->data, "Folder to write the test into")->required();
  command->add_option("--test", options->test, "Test name")->capture_default_str();
  command->add_option("--code", options->code, "Test code")->capture_default_str();
  command->add_option("--nodes", options->nodes, "Number of nodes (1..999)")->capture_default_str();
  auto* blocks = command->add_option("--blocks", options->blocks, "Blocks of 1024 samples per node")
                     ->capture_default_str();
  command->add_option("--rate", options->rate, "Sampling frequency in Hz")->capture_default_str();
  command
      ->add_option("--format", options->format,
                   "Sample format: 951/706/712 int16 (10000 FS), 861/863 int16 (5000 FS), "
                   "872 int32, 885 float32, 886 float64, 111 float32 with its own full scale")
      ->capture_default_str();
  auto* live = command->add_option(
      "--live", options->live_s,
      "Record in real time for SECONDS (rounded up to whole blocks), as an acquisition does: "
      "the .sts grows block by block, the .tsp (marked running) says the length every second; "
      "Ctrl-C or SIGTERM ends the record at the next block");
  command->callback([options, blocks, live, &exit_code] {
    options->blocks_given = blocks->count() > 0;
    exit_code = live->count() > 0 ? RunGenLive(*options) : RunGen(*options);
  });
}

}  // namespace torvwy::cli
