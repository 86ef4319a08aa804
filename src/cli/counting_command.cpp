// The body of a counting command whose result is shown by its JSON object and tables alone.
#include "cli/counting_command.h"

#include <optional>

#include "cli/subcommands.h"
#include "output/console_output.h"
#include "output/result_output.h"

namespace torvwy::cli {

int RunCountingCommand(core::CountingKind kind, const AnalysisOptions& options,
                       const PictureOptions& picture, const HandOverOptions& hand_over,
                       const FollowFaces& faces, const CountingExtras& extras) {
  if (auto ok = CheckPictureOptions(picture, hand_over.any()); !ok) return ReportError(ok.error());
  if (auto ok = CheckRunFiles(options, kind, picture, hand_over, extras.files); !ok) {
    return ReportError(ok.error());
  }
  std::optional<FollowedRun> followed;
  auto run = CountOrFollow(options, kind, faces, followed);
  if (!run) return ReportError(run.error());
  const std::optional<nlohmann::ordered_json> trailing = FollowKeysOf(followed);
  output::ShowRun(
      options.json, output::ResultJson(run->file),
      [&] { output::PrintResult(run->file, NodeTitle(options.node), run->node.info.eu()); },
      run->saved, trailing ? &*trailing : nullptr);
  if (followed && !followed->ended_well()) return FollowExitCode(*followed);
  if (extras.write && !core::PassCancelled(run->file)) {
    if (auto ok = extras.write(*run); !ok) return ReportError(ok.error());
  }
  if (int code = WriteRunPicture(picture, *run, options.json); code != kExitOk) return code;
  if (int code = HandOverRun(hand_over, picture, *run, options.json); code != kExitOk) return code;
  return followed ? FollowExitCode(*followed) : RunExitCode(core::PassCancelled(run->file));
}

}  // namespace torvwy::cli
