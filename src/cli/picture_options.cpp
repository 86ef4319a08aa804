// Parsing the --picture options and drawing the picture of a result.
#include "cli/picture_options.h"

#include <QByteArray>
#include <QGuiApplication>
#include <QtGlobal>
#include <cstdio>
#include <cstdlib>

#include "cli/command_language.h"
#include "core/data/block_span.h"
#include "core/services/message_table.h"
#include "core/services/progress.h"
#include "core/services/text.h"
#include "render/colours.h"
#include "render/counting_picture.h"
#include "render/picture_output.h"

namespace torvwy::cli {
namespace {

constexpr int kSmallestSide = 64;
constexpr int kLargestSide = 4000;  // 64 MB of pixels at most

core::Error Bad(const std::string& text) { return core::Fail(core::kMsgBadValue, text); }

/// "WxH" as two sides; none when malformed.
std::optional<std::pair<int, int>> ParseSize(const std::string& text) {
  const size_t x = text.find_first_of("xX");
  if (x == std::string::npos) return std::nullopt;
  const auto width = core::ParseInt32(std::string_view(text).substr(0, x));
  const auto height = core::ParseInt32(std::string_view(text).substr(x + 1));
  if (!width || !height) return std::nullopt;
  return std::pair<int, int>{*width, *height};
}

/// The pictures need a QGuiApplication; only a command that draws one makes it, so that the
/// others start fast and run without a display. Without a display server named, the offscreen
/// platform draws.
/// Qt's notes go to stderr as before, except the one about a missing XDG_RUNTIME_DIR, which
/// every command run from a service or a container would print and which concerns no picture.
void FilterQtMessages(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (text.startsWith(QStringLiteral("QStandardPaths: XDG_RUNTIME_DIR"))) return;
  const QByteArray line = qFormatLogMessage(type, context, text).toLocal8Bit();
  std::fprintf(stderr, "%s\n", line.constData());
}

}  // namespace

void EnsureGuiApplication() {
  if (QGuiApplication::instance() != nullptr) return;
  qInstallMessageHandler(FilterQtMessages);
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static int argc = 1;
  static char name[] = "torvwy";
  static char* argv[] = {name, nullptr};
  // Lives to the end of the program, as Qt expects of its application object.
  static QGuiApplication* application = new QGuiApplication(argc, argv);
  (void)application;
}

void AddPictureOptions(CLI::App& command, PictureOptions& options, bool one_way_option,
                       bool separate_option) {
  command
      .add_option("--picture", options.file,
                  "Draw the picture of the result into FILE.png, FILE.bmp (800 pixels wide) "
                  "or FILE.pdf (one A4 page)")
      ->check(NonEmptyValue());
  // Every counting command takes both display choices, so that one command line serves them
  // all; where a choice does not apply it changes nothing.
  command.add_flag("--one-way", options.one_way,
                   one_way_option ? "Picture, report and export: the one-way counts instead of "
                                    "the two-way ones"
                                  : "Accepted for the other analyses; rainflow ranges have no "
                                    "two-way counts");
  command.add_flag("--separate", options.separate,
                   separate_option ? "Picture, report and export of a peak result: peaks and "
                                     "valleys separately (two plots)"
                                   : "Accepted for the other analyses; applies to peak results");
  command
      .add_option("--lang", options.lang,
                  "Picture texts in Chinese (zh) or English (en); default: the user "
                  "interface language")
      ->check(NonEmptyValue());
  command
      .add_option("--size", options.size,
                  "Picture size WxH in pixels of a PNG or BMP (default 800x560)")
      ->check(NonEmptyValue());
}

core::Language PictureLanguage(const PictureOptions& options) {
  if (options.lang.empty()) return CommandLanguage();
  return options.lang == "zh" ? core::Language::kChinese : core::Language::kEnglish;
}

core::Status CheckPictureOptions(const PictureOptions& options, bool hand_over) {
  if (!options.lang.empty() && options.lang != "zh" && options.lang != "en") {
    return Bad("--lang \"" + options.lang + "\" is neither zh nor en");
  }
  if (options.file.empty()) {
    if (!options.size.empty()) return Bad("--size needs --picture FILE");
    if (!hand_over && (options.one_way || options.separate || !options.lang.empty())) {
      return Bad("--one-way, --separate and --lang need --picture FILE, --report or --export");
    }
    return core::Ok();
  }
  const auto format = render::PictureFormatOf(options.file);
  if (!format) return Bad("--picture \"" + options.file + "\" must end in .png, .bmp or .pdf");
  if (!options.size.empty()) {
    if (*format == render::PictureFormat::kPdf) {
      return Bad("--size applies to .png and .bmp pictures; a PDF is one A4 page");
    }
    auto size = ParseSize(options.size);
    if (!size || size->first < kSmallestSide || size->second < kSmallestSide ||
        size->first > kLargestSide || size->second > kLargestSide) {
      return Bad("--size \"" + options.size + "\" is not WxH with sides of " +
                 std::to_string(kSmallestSide) + " to " + std::to_string(kLargestSide));
    }
  }
  return core::Ok();
}

int WritePicture(const PictureOptions& options, const core::AnyResultFile& file,
                 const std::vector<core::Label>& bookmarks, bool json) {
  if (options.file.empty()) return kExitOk;
  if (auto ok = CheckPictureOptions(options); !ok) return ReportError(ok.error());
  EnsureGuiApplication();
  render::ViewState state;
  state.language = PictureLanguage(options);
  state.one_way = options.one_way;
  state.separately = options.separate;
  state.colours = render::ReadColours();
  int width = render::kImageWidth;
  double aspect = render::kDefaultAspect;
  if (auto size = ParseSize(options.size)) {
    width = size->first;
    aspect = static_cast<double>(size->second) / size->first;
  }
  const render::PictureDrawer draw = [&](QPainter& painter,
                                         const render::TargetGeometry& geometry) {
    return render::DrawCountingPicture(painter, geometry, file, bookmarks, state);
  };
  if (auto saved = render::SavePicture(options.file, draw, aspect, width); !saved) {
    return ReportError(saved.error());
  }
  if (!json) std::printf("\npicture %s\n", options.file.c_str());
  return kExitOk;
}

int WriteRunPicture(const PictureOptions& options, const CountedRun& run, bool json) {
  if (options.file.empty()) return kExitOk;
  if (auto ok = core::RefuseCancelledPass(core::PassCancelled(run.file), "drawn"); !ok) {
    std::fprintf(stderr, "torvwy: the pass was cancelled; no picture was drawn\n");
    return kExitOk;
  }
  return WritePicture(options, run.file, core::ReadLabels(run.node.tsp_file), json);
}

}  // namespace torvwy::cli
