// What the subcommands share: node options, error lines, console progress.
#pragma once

#include <CLI/CLI.hpp>
#include <filesystem>
#include <string>
#include <vector>

#include "core/run/counting_run.h"
#include "core/services/progress.h"
#include "core/services/result.h"

namespace torvwy::cli {

/// Exit codes.
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitCancelled = 130;

/// The node an analysis command works on.
struct NodeOptions {
  std::string data = ".";
  std::string test;
  std::string code;
  std::string node;
};

/// Adds --data, --test, --code and --node to a subcommand (--test, --code and --node required
/// when `required`).
void AddNodeOptions(CLI::App& command, NodeOptions& options, bool required = true);

/// Refuses an empty value ("--matrix: the value is empty"): an option that is given names
/// something, and its empty value would otherwise be taken as the option left out.
const CLI::Validator& NonEmptyValue();

/// A file the user names for one run: what names it (an option, or the node) and its path.
struct NamedFile {
  std::string what;  ///< "--matrix", "--save", "the node's waveform"
  std::filesystem::path path;
};

/// Refuses two of `files` (empty paths left out) that are one file, once relative paths, "..",
/// links and hard links are resolved, so that no output of a run overwrites another output or
/// an input of the same run: "--matrix \"a.csv\" and --damage-history \"./a.csv\" name the
/// same file". Bad-value message.
core::Status CheckDistinctFiles(const std::vector<NamedFile>& files);

/// Finds the node's files and reads its sampling parameters.
core::Result<core::CountingNode> OpenNode(const NodeOptions& options);

/// Prints "torvwy: <message> <detail>" as one line on stderr and returns kExitFailure; a
/// cancelled pass (kMsgCalculationCancelled) returns kExitCancelled.
int ReportError(const core::Error& error);
int ReportError(const std::string& text);

/// The exit code after a run: 0, or kExitCancelled with a note on stderr.
int RunExitCode(bool cancelled);

/// Catches Ctrl-C (and with `also_terminate` SIGTERM) while it lives: the first raises
/// InterruptRequested(), a second Ctrl-C ends the program. Restores the default handlers after.
class InterruptWatch {
 public:
  explicit InterruptWatch(bool also_terminate = false);
  ~InterruptWatch();
  InterruptWatch(const InterruptWatch&) = delete;
  InterruptWatch& operator=(const InterruptWatch&) = delete;

 private:
  bool also_terminate_;
};

/// True once an InterruptWatch (or a ConsoleProgress) caught a signal since it started.
bool InterruptRequested();

/// Progress on stderr: a bar redrawn in place when stderr is a terminal, nothing otherwise.
/// The first Ctrl-C raises the cancel flag; a second one ends the program.
class ConsoleProgress : public core::Progress {
 public:
  ConsoleProgress();
  ~ConsoleProgress() override;

 protected:
  void OnChanged() override;
  void OnPoll() override;

 private:
  bool terminal_;
  int shown_percent_ = -1;
  std::string shown_status_;
};

}  // namespace torvwy::cli
