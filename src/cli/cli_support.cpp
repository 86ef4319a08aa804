// Node options, error reporting and the console progress bar.
#include "cli/cli_support.h"

#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <iostream>

#include "cli/command_language.h"
#include "core/data/parameter_file.h"
#include "core/services/message_table.h"
#include "core/services/progress.h"
#include "core/services/text.h"

namespace torvwy::cli {
namespace {

volatile std::sig_atomic_t g_interrupts = 0;

void OnInterrupt(int) {
  g_interrupts = g_interrupts + 1;
  if (g_interrupts >= 2) {
    static const char kText[] = "\ntorvwy: interrupted\n";
    (void)!::write(STDERR_FILENO, kText, sizeof(kText) - 1);
    ::_exit(kExitCancelled);
  }
}

}  // namespace

void AddNodeOptions(CLI::App& command, NodeOptions& options, bool required) {
  command.add_option("--data", options.data, "Folder of the test's data files")
      ->capture_default_str();
  auto* test = command.add_option("--test", options.test, "Test name");
  auto* code = command.add_option("--code", options.code, "Test code");
  auto* node = command.add_option("--node", options.node, "Node name");
  if (required) {
    test->required();
    code->required();
    node->required();
  }
}

const CLI::Validator& NonEmptyValue() {
  static const CLI::Validator validator(
      [](const std::string& value) { return value.empty() ? "the value is empty" : ""; }, "");
  return validator;
}

namespace {

/// The file a path names, as far as it exists: links and ".." resolved, relative to the
/// working folder.
std::filesystem::path Resolved(const std::filesystem::path& path) {
  std::error_code ec;
  auto absolute = std::filesystem::absolute(path, ec);
  if (ec) return path.lexically_normal();
  auto resolved = std::filesystem::weakly_canonical(absolute, ec);
  return ec ? absolute.lexically_normal() : resolved;
}

bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
  std::error_code ec;
  // Two names of one existing file (a link, a hard link) are one file.
  if (std::filesystem::equivalent(a, b, ec) && !ec) return true;
  return Resolved(a) == Resolved(b);
}

}  // namespace

core::Status CheckDistinctFiles(const std::vector<NamedFile>& files) {
  for (size_t i = 0; i < files.size(); ++i) {
    if (files[i].path.empty()) continue;
    for (size_t j = i + 1; j < files.size(); ++j) {
      if (files[j].path.empty() || !SameFile(files[i].path, files[j].path)) continue;
      const auto named = [](const NamedFile& file) {
        return file.what + " \"" + core::EscapeControlCharacters(file.path.string()) + "\"";
      };
      return core::Fail(core::kMsgBadValue,
                        named(files[i]) + " and " + named(files[j]) + " name the same file");
    }
  }
  return core::Ok();
}

core::Result<core::CountingNode> OpenNode(const NodeOptions& options) {
  return core::OpenCountingNode(options.data, options.test, options.code, options.node);
}

int ReportError(const core::Error& error) {
  if (error.message != core::kMsgCalculationCancelled) {
    return ReportError(core::ErrorText(error, CommandLanguage()));
  }
  // A cancel is no failure: the message, then what the pass did, as one sentence each.
  std::string text = core::ErrorText(error, CommandLanguage());
  if (error.detail.starts_with(core::kCancelledPassDetail)) {
    std::string what = error.detail.substr(core::kCancelledPassDetail.size());
    if (!what.empty() && what[0] >= 'a' && what[0] <= 'z')
      what[0] = static_cast<char>(what[0] - 32);
    text = std::string(core::LoadMessageTable(CommandLanguage())[error.message]) + " " + what + ".";
  }
  std::cerr << "torvwy: " << core::EscapeControlCharacters(text) << "\n";
  return kExitCancelled;
}

int ReportError(const std::string& text) {
  std::cerr << "torvwy: " << core::EscapeControlCharacters(text) << "\n";
  return kExitFailure;
}

int RunExitCode(bool cancelled) {
  if (!cancelled) return kExitOk;
  std::cerr << "torvwy: "
            << core::LoadMessageTable(CommandLanguage())[core::kMsgCalculationCancelled]
            << " The counts are partial.\n";
  return kExitCancelled;
}

InterruptWatch::InterruptWatch(bool also_terminate) : also_terminate_(also_terminate) {
  g_interrupts = 0;
  std::signal(SIGINT, OnInterrupt);
  if (also_terminate_) std::signal(SIGTERM, OnInterrupt);
}

InterruptWatch::~InterruptWatch() {
  std::signal(SIGINT, SIG_DFL);
  if (also_terminate_) std::signal(SIGTERM, SIG_DFL);
}

bool InterruptRequested() { return g_interrupts > 0; }

ConsoleProgress::ConsoleProgress() : terminal_(::isatty(STDERR_FILENO) == 1) {
  g_interrupts = 0;
  std::signal(SIGINT, OnInterrupt);
}

ConsoleProgress::~ConsoleProgress() {
  std::signal(SIGINT, SIG_DFL);
  if (terminal_ && shown_percent_ >= 0) std::fputs("\r\033[K", stderr);
}

void ConsoleProgress::OnChanged() {
  if (!terminal_) return;
  const int p = percent();
  if (p == shown_percent_ && status() == shown_status_) return;
  shown_percent_ = p;
  shown_status_ = status();
  const int filled = p * 30 / 100;
  std::fprintf(stderr, "\r\033[K%s [%.*s%*s] %d%%", status().c_str(), filled,
               "##############################", 30 - filled, "", p);
  std::fflush(stderr);
}

void ConsoleProgress::OnPoll() {
  if (g_interrupts > 0) RequestCancel();
}

}  // namespace torvwy::cli
