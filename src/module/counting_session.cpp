// The counting session: start-up, the pass on its worker thread, the result and its readouts,
// and the table from the host's codes to the session's actions.
#include "module/counting_session.h"

#include <QMetaObject>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <utility>

#include "core/counting/cursor_move.h"
#include "core/data/block_span.h"
#include "core/data/sampling_info.h"
#include "core/fatigue/damage_history.h"
#include "core/fatigue/equivalent_load.h"
#include "core/report/companion.h"
#include "core/report/list_export.h"
#include "core/run/convention_setting.h"
#include "core/services/atomic_file.h"
#include "core/services/folders.h"
#include "core/services/gbk.h"
#include "module/module_state.h"
#include "render/colours.h"
#include "render/count_axis_setting.h"
#include "render/fatigue_pictures.h"
#include "ui/error_message.h"

namespace torvwy::module {
namespace {

/// 1 shows, 2 hides, any other value toggles.
bool ShowHide(qintptr value, bool shown) { return value == 1 ? true : value == 2 ? false : !shown; }

/// The stored cursor of a result (N / 2 after a count).
int32_t StoredCursor(const core::AnyResultFile& file) {
  return std::visit([](const auto& f) { return f.result.cursor_partition; }, file);
}

bool EndsWith(const QString& path, const char* extension) {
  return path.endsWith(QLatin1String(extension), Qt::CaseInsensitive);
}

bool Within(qintptr value, qintptr lower, qintptr upper) {
  return value >= lower && value <= upper;
}

/// What each host code asks of the session; a value outside an action's range does nothing.
constexpr CountingRoute kRoutes[] = {
    {CountingCode::kReport, [](CountingSession& s, qintptr) { s.Report(); }},
    {CountingCode::kExport, [](CountingSession& s, qintptr) { s.Export(); }},
    {CountingCode::kSaveResult, [](CountingSession& s, qintptr) { s.SaveResult(); }},
    {CountingCode::kCursor,
     [](CountingSession& s, qintptr v) { s.ShowCursor(ShowHide(v, s.display().cursor_shown)); }},
    {CountingCode::kGrid,
     [](CountingSession& s, qintptr v) { s.ShowGrid(ShowHide(v, s.display().grid_shown)); }},
    {CountingCode::kMarkStyle,
     [](CountingSession& s, qintptr v) {
       if (Within(v, 0, 4)) s.SetMarkStyle(static_cast<int>(v));
     }},
    {CountingCode::kReadColours, [](CountingSession& s, qintptr) { emit s.ColoursAsked(); }},
    {CountingCode::kDisplaySetting,
     [](CountingSession& s, qintptr v) {
       if (s.kind() == core::CountingKind::kPeak && v == 1) s.Refresh();
     }},
    {CountingCode::kZoom,
     [](CountingSession& s, qintptr v) {
       if (Within(v, 0, 3)) s.Zoom(static_cast<int>(v));
     }},
    {CountingCode::kMoveCursor,
     [](CountingSession& s, qintptr v) {
       if (Within(v, 0, 9)) s.MoveCursor(static_cast<int>(v));  // the step codes
     }},
    {CountingCode::kReadoutList,
     [](CountingSession& s, qintptr v) {
       if (Within(v, 0, 6)) s.Readout(static_cast<int>(v));
     }},
    {CountingCode::kBookmarkDialog,
     [](CountingSession& s, qintptr v) { emit s.BookmarkDialogAsked(static_cast<int>(v)); }},
    {CountingCode::kCurveTypeNotice,
     [](CountingSession& s, qintptr v) {
       if (Within(v, 0, 7)) s.SetCurveType(static_cast<int>(v));
     }},
    {CountingCode::kMarkStyleNotice,
     [](CountingSession& s, qintptr v) {
       if (Within(v, 0, 4)) s.SetMarkStyle(static_cast<int>(v));
     }},
    {CountingCode::kZoomSliderNotice,
     [](CountingSession& s, qintptr v) {
       if (Within(v, 0, 400)) s.SetZoomSlider(static_cast<int>(v));
     }},
    {CountingCode::kSortOrderNotice,
     [](CountingSession& s, qintptr v) {
       if (v == core::kSortByX || v == core::kSortByY) s.SortReadouts(static_cast<int32_t>(v));
     }},
    {CountingCode::kReloadNotice, [](CountingSession& s, qintptr) { s.Reload(); }},
    {CountingCode::kSetupNotice, [](CountingSession& s, qintptr) { s.Setup(); }},
    {CountingCode::kInsetNotice, [](CountingSession& s, qintptr v) { s.SetInset(v != 0); }},
    {CountingCode::kSeparatelyNotice,
     [](CountingSession& s, qintptr v) { s.SetSeparately(v != 0); }},
    {CountingCode::kOneWayNotice, [](CountingSession& s, qintptr v) { s.SetOneWay(v != 0); }},
    {CountingCode::kFittingEstimateNotice,
     [](CountingSession& s, qintptr) { s.EstimateLife(core::FatigueMethod::kFitting); }},
    {CountingCode::kActualEstimateNotice,
     [](CountingSession& s, qintptr) { s.EstimateLife(core::FatigueMethod::kActual); }},
    {CountingCode::kFollow, [](CountingSession& s, qintptr v) { s.Follow(v); }},
    {CountingCode::kFollowNotice, [](CountingSession& s, qintptr v) { s.Follow(v); }},
    {CountingCode::kMatrixView,
     [](CountingSession& s, qintptr v) {
       if (s.kind() == core::CountingKind::kRainflow) s.ShowMatrix(ShowHide(v, s.matrix_shown()));
     }},
    {CountingCode::kLogCounts,
     [](CountingSession& s, qintptr v) { s.SetLogCounts(ShowHide(v, s.display().log_counts)); }},
    {CountingCode::kFromToView,
     [](CountingSession& s, qintptr v) {
       if (s.kind() == core::CountingKind::kRainflow) s.ShowFromTo(ShowHide(v, s.from_to_shown()));
     }},
};

/// The progress of a look at a followed node: nothing is shown (the status line says how far
/// the follow is), and a stopped follow cancels the look after its current block.
class LookProgress : public core::Progress {
 public:
  explicit LookProgress(const std::atomic<bool>& stop) : stop_(stop) {}

 protected:
  void OnPoll() override {
    if (stop_) RequestCancel();
  }

 private:
  const std::atomic<bool>& stop_;
};

/// The seconds without a new block after which a follow ends.
qint64 IdleSeconds() {
  return std::chrono::duration_cast<std::chrono::seconds>(core::FollowSetup{}.idle).count();
}

}  // namespace

std::span<const CountingRoute> CountingRoutes() { return kRoutes; }

/// The progress of the pass on the worker thread: every change is handed to the session's
/// thread (queued; only when the percentage or the status changed), and a poll reads the
/// session's cancel request.
class CountingSession::PassProgress : public core::Progress {
 public:
  explicit PassProgress(CountingSession& session) : session_(session) {}

 protected:
  void OnChanged() override {
    if (percent() == shown_percent_ && status() == shown_status_) return;
    shown_percent_ = percent();
    shown_status_ = status();
    CountingSession* session = &session_;
    QMetaObject::invokeMethod(
        session,
        [session, lower = lower(), upper = upper(), position = position(),
         text = QString::fromStdString(status())] {
          emit session->PassProgressed(lower, upper, position, text);
        },
        Qt::QueuedConnection);
  }
  void OnPoll() override {
    if (session_.cancel_.exchange(false)) RequestCancel();
  }

 private:
  CountingSession& session_;
  int shown_percent_ = -1;
  std::string shown_status_;
};

/// What a follow shares with the look under way on the worker thread: the follower is used by
/// one of them at a time (a look runs only when none is under way), the stop flag by both.
struct CountingSession::FollowState {
  explicit FollowState(core::RecordFollower started) : follower(std::move(started)) {}
  core::RecordFollower follower;
  std::atomic<bool> stop{false};
  bool shown = false;  ///< the counts so far were shown once (the session's thread only)
};

/// What one look found, handed from the worker thread to the session.
struct CountingSession::Look {
  core::FollowLook look;
  /// Taken when the look counted new blocks, when the follow ended, and until it is first shown.
  std::optional<core::Result<core::AnyResultFile>> snapshot;
  int64_t blocks = 0;
  int64_t behind = 0;
};

CountingSession::CountingSession(core::CountingKind kind, CountingAsker& asker, QObject* parent)
    : QObject(parent), kind_(kind), asker_(asker) {
  display_.log_counts = render::ReadLogCountAxis();
  follow_timer_.setInterval(kFollowIntervalMs);
  connect(&follow_timer_, &QTimer::timeout, this, &CountingSession::LookAtNode);
}

CountingSession::~CountingSession() {
  follow_timer_.stop();
  if (follow_ != nullptr) follow_->stop = true;
  if (look_thread_ != nullptr) look_thread_->wait();
  if (!busy_) return;
  cancel_ = true;
  thread_->wait();
  busy_ = false;
}

bool CountingSession::Handle(CountingCode code, qintptr value) {
  const auto route = std::find_if(std::begin(kRoutes), std::end(kRoutes),
                                  [code](const CountingRoute& r) { return r.code == code; });
  if (route == std::end(kRoutes)) return false;
  route->act(*this, value);
  return true;
}

QString CountingSession::Title() const {
  // "Peak Counting Analysis -- Test Name:demo, Test Code:1, Node:2"
  // In CountingKind order.
  static constexpr TextKey kTitles[][3] = {
      {TextKey::kPeakAnalysisTitle, TextKey::kPeakResultTitle, TextKey::kPeakTitle},
      {TextKey::kRangeAnalysisTitle, TextKey::kRangeResultTitle, TextKey::kRangeTitle},
      {TextKey::kRainflowAnalysisTitle, TextKey::kRainflowResultTitle, TextKey::kRainflowTitle},
      {TextKey::kCrossingAnalysisTitle, TextKey::kCrossingResultTitle, TextKey::kCrossingTitle},
      {TextKey::kRangePairAnalysisTitle, TextKey::kRangePairResultTitle, TextKey::kRangePairTitle},
      {TextKey::kTimeAtLevelAnalysisTitle, TextKey::kTimeAtLevelResultTitle,
       TextKey::kTimeAtLevelTitle}};
  static_assert(std::size(kTitles) == core::kCountingKindNames.size());
  const int kind = static_cast<int>(kind_);
  const int caption = static_cast<int>(caption_);
  QString title = Text(kTitles[kind][caption]);
  std::string test = context_.test_name, code = context_.test_code, node = context_.node_name;
  if (file_) {
    const core::ResultFileNode& stored = core::NodeOf(*file_);
    test = stored.test_name, code = stored.test_code, node = stored.node_name;
  }
  if (started_) {
    title += QStringLiteral(" -- %1:%2, %3:%4, %5:%6")
                 .arg(Message(core::kMsgTestNameLabel), QString::fromStdString(test),
                      Message(core::kMsgTestCodeLabel), QString::fromStdString(code),
                      Message(core::kMsgNodeLabel), QString::fromStdString(node));
  }
  if (cancelled()) title += Text(TextKey::kTitleCancelled);
  if (following()) title += Text(TextKey::kTitleLive);
  return title;
}

void CountingSession::Fail(const QString& text) {
  asker_.Tell(text, true);
  asker_.CloseWindow();
}

void CountingSession::Start() {
  started_ = true;
  const std::filesystem::path file = core::GetHostFolder() / core::kParameterFileName;
  auto context = core::ReadAnalysisParameterFile(file);
  if (!context) return Fail(ui::ErrorMessage(context.error()));
  context_ = std::move(*context);
  if (result_mode()) {
    if (context_.result_names.empty()) return Fail(Message(core::kMsgParameterFileUnreadable));
    auto path = core::ResultNamePath(context_.result_path, context_.result_names.front());
    if (!path) return Fail(ui::ErrorMessage(path.error()));
    auto opened = core::OpenResultFile(*path);
    if (!opened) return Fail(ui::ErrorMessage(opened.error()));
    if (core::KindOf(*opened) != kind_) {
      return Fail(QString::fromStdString(path->string()) +
                  Text(TextKey::kNotAResultOfThisAnalysis));
    }
    const core::ResultFileNode& node = core::NodeOf(*opened);
    if (node.old_format_warning) {
      asker_.Tell(QString::fromUtf8(core::OldFormatMessage(ui::UiLanguage())), false);
    }
    file_ = std::move(*opened);
    ForgetCycles();
    caption_ = Caption::kResult;
    ListBookmarks();
    emit ResultChanged();
    emit Changed();
    return;
  }
  auto info = core::LoadCurrentNode(context_);
  if (!info) return Fail(ui::ErrorMessage(info.error()));
  auto node = core::OpenCountingNode(context_.data_path, context_.test_name, context_.test_code,
                                     context_.node_name);
  if (!node) return Fail(ui::ErrorMessage(node.error()));
  node_ = std::move(*node);
  followed_ = false;
  ForgetCycles();
  // A node still being recorded is followed, which the automatic amplitude can't be: the setup
  // dialog proposes the full scale.
  if (core::RecordMarkedRunning(node_.tsp_file) &&
      parameters_.amplitude_mode == core::kAmplitudeAutomatic) {
    parameters_.amplitude_mode = core::kAmplitudeFullScale;
  }
  ListBookmarks();
  // The conventions last set up; a gate only where it was set for a node of this unit.
  const core::ConventionSetting kept = core::ReadConventionSetting(node_.info.eu());
  residue_ = kept.residue;
  gate_ = kept.gate;
  core::ResetRangeOnNodeLoad(parameters_, node_.info);
  core::SettleRange(parameters_);
  emit Changed();
  RunSetup(true);
}

void CountingSession::RunSetup(bool count_on_cancel) {
  if (result_mode() || node_.data_file.empty()) return;
  // A set value of exactly 0 takes the AD range value before the dialog shows; Cancel keeps it.
  // The full scale the counting itself takes for "AD Input Range".
  const auto full_scale = core::FullScaleRange(core::MethodOf(kind_), node_.info);
  const double ad_range = full_scale ? *full_scale : 0.0;
  core::TakeAdRangeAsDefault(parameters_, ad_range);
  asker_.AskSetup(
      Plan(), ad_range, QString::fromStdString(node_.info.eu()),
      [this, count_on_cancel](std::optional<core::CountingPlan> answer) {
        if (answer) {
          if (auto ok = core::SettlePlan(*answer, node_.info); !ok) {
            return asker_.Tell(ui::ErrorMessage(ok.error()), true);
          }
          parameters_ = answer->parameters;
          crossings_ = answer->crossings;
          residue_ = answer->residue.value_or(core::ResidueMethod::kHalf);
          gate_ = answer->gate;
          // The next setup, of this window or another, opens on them.
          if (auto kept = core::WriteConventionSetting({residue_, gate_, node_.info.eu()}); !kept) {
            asker_.Tell(ui::ErrorMessage(kept.error()), false);
          }
          // N above 2000 is counted with 2000: the status bar says so.
          if (!answer->note.empty()) {
            asker_.ShowStatus(QString::fromStdString(answer->note));
          }
        } else if (!count_on_cancel) {
          return;
        }
        // A node still being recorded is followed; a finished one is counted.
        if (core::RecordMarkedRunning(node_.tsp_file)) {
          StartFollow();
        } else {
          Recount();
        }
      });
}

bool CountingSession::ReopenNode() {
  auto node = core::OpenCountingNode(context_.data_path, context_.test_name, context_.test_code,
                                     context_.node_name);
  if (!node) {
    asker_.Tell(Text(TextKey::kNodeFileMissingOrChanged), true);
    return false;
  }
  node_ = std::move(*node);
  return true;
}

void CountingSession::Setup() {
  if (result_mode() || busy_) return;
  StopFollow();
  // A node that grows (or grew while it was followed) has a longer record than when it was
  // loaded: it is read again rather than refused as changed.
  if (followed_ || core::RecordMarkedRunning(node_.tsp_file)) {
    if (ReopenNode()) RunSetup(false);
    return;
  }
  if (auto tsp = core::NodeFilePath(context_.data_path, context_.test_name, context_.test_code,
                                    context_.node_name, ".tsp");
      !tsp || core::CheckNode(*tsp, node_.info) != 0) {
    asker_.Tell(Text(TextKey::kNodeFileMissingOrChanged), true);
    return;
  }
  RunSetup(false);
}

void CountingSession::PickBlocks(int32_t first, int32_t last) {
  if (result_mode() || busy_ || node_.data_file.empty()) return;
  parameters_.range_mode = core::kRangeByBlock;
  parameters_.block_from = std::min(first, last);
  parameters_.block_to = std::max(first, last);
  Setup();
}

void CountingSession::Reload() {
  if (result_mode() || busy_) return;
  StopFollow();
  if (asker_.AskNode()) {
    caption_ = Caption::kReloaded;
    // The value set for the old node is in its unit: the new node starts from its AD range.
    parameters_.set_value = 0.0;
    Start();
  }
}

core::CountingPlan CountingSession::Plan() const {
  core::CountingPlan plan;
  plan.kind = kind_;
  plan.parameters = parameters_;  // checked by the setup dialog's plan, settled on the node
  plan.crossings = crossings_;
  // The system's own half cycles are not named, so that a count made without a choice keeps
  // the bytes of every output; a level crossing's gate is in `crossings`.
  if (kind_ == core::CountingKind::kRainflow && residue_ != core::ResidueMethod::kHalf) {
    plan.residue = residue_;
  }
  if (kind_ != core::CountingKind::kCrossings && kind_ != core::CountingKind::kTimeAtLevel) {
    plan.gate = gate_;
  }
  plan.threads = 0;  // every core; the counts are the same as on one
  plan.captions = core::CountingCaptions(ui::UiLanguage());
  return plan;
}

void CountingSession::Recount() {
  if (result_mode() || node_.data_file.empty() || busy_ || following()) return;
  auto outcome = std::make_shared<std::optional<core::Result<core::AnyResultFile>>>();
  const QString status =
      Message(core::kMsgCountingCaption) + " " +
      QString::fromStdString(node_.test_name + node_.test_code + "#" + node_.node_name);
  busy_ = true;
  cancel_ = false;
  emit PassStarted(status);
  // The worker counts copies: the session may take another node while the pass runs.
  thread_.reset(QThread::create([this, outcome, node = node_, plan = Plan()] {
    PassProgress progress(*this);
    *outcome = core::RunCounting(plan, node, progress);
  }));
  connect(thread_.get(), &QThread::finished, this, [this, outcome] {
    if (!busy_) return;  // the destructor took over
    thread_->wait();
    busy_ = false;
    emit ProgressEnded();
    if (outcome->has_value()) Finish(**outcome);
    emit PassEnded();
  });
  thread_->start();
}

void CountingSession::Finish(core::Result<core::AnyResultFile>& counted) {
  if (!counted && counted.error().message == core::kMsgCalculationCancelled) {
    // Cancelled while the envelope was read: nothing was counted, and the shown result stays.
    return asker_.ShowStatus(Text(TextKey::kCountingCancelledStatus));
  }
  if (!counted) return asker_.Tell(ui::ErrorMessage(counted.error()), true);
  SetResult(std::move(*counted));
  if (cancelled()) {
    asker_.ShowStatus(Text(TextKey::kCountingCancelledStatus));
    // Peak and range counting say so; a rainflow run cancelled in its turning-point pass
    // counted nothing and says nothing.
    if (kind_ != core::CountingKind::kRainflow) {
      asker_.Tell(Message(core::kMsgCalculationCancelled), false);
    }
  }
}

void CountingSession::SetResult(core::AnyResultFile file) {
  file_ = std::move(file);
  ForgetCycles();
  display_.cursor_partition.reset();  // the result's own cursor (N / 2 of a new count)
  ClearReadouts();
  emit ResultChanged();
  emit Changed();
  ListCyclesOfMatrixSoon();
}

int32_t CountingSession::partitions() const { return file_ ? core::ReadoutPoints(*file_) : 0; }

int32_t CountingSession::cursor() const {
  if (!file_) return 0;
  return std::clamp(display_.cursor_partition.value_or(StoredCursor(*file_)), 0,
                    std::max(0, partitions() - 1));
}

std::vector<double> CountingSession::DisplayedValues() const {
  return file_ ? core::ShownValues(*file_, display_.one_way) : std::vector<double>{};
}

double CountingSession::LargestCount() const {
  if (!file_) return 0.0;
  if (const auto* peak = std::get_if<core::PeakResultFile>(&*file_)) {
    return display_.separately ? peak->result.largest_separate_count
                               : peak->result.largest_total_count;
  }
  if (const auto* range = std::get_if<core::RangeResultFile>(&*file_)) {
    return range->result.largest_count;
  }
  if (const auto* pairs = std::get_if<core::RangePairResultFile>(&*file_)) {
    return pairs->result.largest_count;
  }
  if (const auto* rainflow = std::get_if<core::RainflowResultFile>(&*file_)) {
    return rainflow->result.largest_count;
  }
  // Level crossings and time at level keep no largest count: the largest value shown.
  const std::vector<double> values = DisplayedValues();
  return values.empty() ? 0.0 : *std::max_element(values.begin(), values.end());
}

void CountingSession::ShowCursor(bool shown) {
  display_.cursor_shown = shown;
  emit Changed();
}

void CountingSession::ShowGrid(bool shown) {
  display_.grid_shown = shown;
  emit Changed();
}

void CountingSession::SetMarkStyle(int style) {
  display_.mark_style = style;
  emit Changed();
}

void CountingSession::SetCurveType(int type) {
  display_.curve_type = type == 6 ? 1 : type;  // points: a scatter of symbol 0
  display_.symbol_type = type == 6 ? 0 : 4;
  emit Changed();
}

void CountingSession::SetLogCounts(bool log) {
  if (display_.log_counts == log) return;
  display_.log_counts = log;
  if (auto kept = render::WriteLogCountAxis(log); !kept)
    asker_.ShowStatus(ui::ErrorMessage(kept.error()));
  emit Changed();
}

void CountingSession::SetInset(bool shown) {
  display_.inset_shown = shown;
  emit Changed();
}

void CountingSession::SetSeparately(bool separately) {
  // The list's columns follow the display: a change of it starts a new list.
  if (display_.separately != separately) ClearReadouts();
  display_.separately = separately;
  emit Changed();
}

void CountingSession::SetOneWay(bool one_way) {
  if (display_.one_way != one_way) ClearReadouts();
  display_.one_way = one_way;
  emit Changed();
}

void CountingSession::SetCursor(int32_t partition) {
  display_.cursor_partition = partition;
  emit Changed();
}

void CountingSession::MoveCursor(int step) {
  if (!file_) return;
  display_.cursor_partition = core::MoveCursor(cursor(), DisplayedValues(), partitions(), step);
  emit Changed();
}

void CountingSession::SetZoom(double zoom) {
  // A zero in the Y-scale dialog gives an infinite zoom, which is held at the top.
  if (!std::isnan(zoom)) display_.zoom = std::clamp(zoom, kMinZoom, kMaxZoom);
  emit Changed();
}

void CountingSession::SetZoomSlider(int position) {
  SetZoom(std::pow(10.0, (static_cast<double>(position) - 200.0) * 0.01));
}

void CountingSession::Zoom(int operation) {
  switch (operation) {
    case 0:
      return SetZoom(1.0);
    case 1:
      return SetZoom(display_.zoom * 1.1);
    case 2:
      return SetZoom(display_.zoom * 0.9090909090909091);
    case 3: {
      const double largest = LargestCount() * 1.2;
      asker_.AskYScale(std::trunc(largest / display_.zoom), [this, largest](double value) {
        SetZoom(value == 0.0 ? kMaxZoom : largest / value);
      });
      return;
    }
    default:
      return;
  }
}

void CountingSession::Refresh() { emit Changed(); }

core::CountingReadouts CountingSession::Readouts() const {
  core::CountingReadouts readouts;
  if (file_) readouts = core::CollectReadouts(*file_, {}, display_.one_way, display_.separately);
  readouts.list = readouts_;
  return readouts;
}

std::string CountingSession::ReadoutText(int format) const {
  if (!file_) return {};
  const core::CountingReadouts readouts = Readouts();
  return core::ReadoutListText(readouts.list, readouts.axis, core::NamesOf(*file_),
                               readouts.columns, ui::UiLanguage(), format);
}

void CountingSession::UpdateReadoutBox() {
  display_.readouts.assign(readouts_.indices.begin(), readouts_.indices.end());
  display_.readout_box.text = readouts_.empty() ? std::string() : ReadoutText(0);
  if (readouts_.empty()) display_.readout_box.shown = false;
}

void CountingSession::ClearReadouts() {
  readouts_.Clear();
  UpdateReadoutBox();
}

void CountingSession::Readout(int operation) {
  if (!file_) return;
  switch (operation) {
    case 0: {  // collect: the counts as they are now; a listed partition stays as it was
      const auto i = static_cast<uint32_t>(cursor());
      const auto one = core::CollectReadouts(*file_, {i}, display_.one_way, display_.separately);
      if (one.list.empty()) return;
      readouts_.Collect(i, one.list.count_texts.front());
      break;
    }
    case 3:
      if (readouts_.empty()) return;
      display_.readout_box.shown = true;
      break;
    case 4:
      readouts_.Clear();
      display_.readout_box.shown = false;
      break;
    case 5: {
      if (readouts_.empty()) return;
      const std::string name = core::ReadoutSaveName(core::NamesOf(*file_), kind_);
      const QString path = asker_.AskReadoutListName(QString::fromStdString(
          (std::filesystem::path(context_.result_path) / (name + ".txt")).string()));
      if (!path.isEmpty()) SaveReadouts(path);
      return;
    }
    case 6:
      if (!readouts_.empty()) asker_.CopyText(QString::fromStdString(ReadoutText(0)));
      return;
    default:  // 1 nothing, 2 auto: nothing yet
      return;
  }
  UpdateReadoutBox();
  emit Changed();
}

void CountingSession::SortReadouts(int32_t order) {
  readouts_.sort_by = order;
  readouts_.Sort();
  UpdateReadoutBox();
  emit Changed();
}

void CountingSession::CloseReadoutBox() {
  display_.readout_box.shown = false;
  emit Changed();
}

void CountingSession::PlaceReadoutBox(int x_per_mille, int y_per_mille) {
  display_.readout_box.x_per_mille = x_per_mille;
  display_.readout_box.y_per_mille = y_per_mille;
  emit Changed();
}

void CountingSession::SaveReadouts(const QString& path) {
  if (!file_ || readouts_.empty()) return;
  if (EndsWith(path, ".xls") || EndsWith(path, ".xlsx")) {
    // The list converter writes workbooks, always as ".xlsx".
    QString target = path;
    if (EndsWith(target, ".xls")) target += QLatin1Char('x');
    if (auto written = core::WriteCountingListExport(*file_, Readouts(), target.toStdString(),
                                                     ui::UiLanguage());
        !written) {
      return asker_.Tell(ui::ErrorMessage(written.error()), true);
    }
    if (target != path) {
      asker_.ShowStatus(Text(TextKey::kReadoutListSavedAs) + target +
                        Text(TextKey::kWorkbooksAsXlsx));
    }
    if (auto started = core::LaunchCompanion(core::kListProgram); !started) {
      asker_.Tell(ui::ErrorMessage(started.error()), true);
    }
    return;
  }
  const std::string bytes = core::Utf8ToGbk(ReadoutText(0));
  if (auto saved = core::SaveFileAtomically(std::filesystem::path(path.toStdString()), bytes,
                                            core::kMsgFileWrite);
      !saved) {
    asker_.Tell(ui::ErrorMessage(saved.error()), true);
  }
}

std::vector<core::Label> CountingSession::LabelsOfShownNode(
    const std::vector<BookmarkNode>& nodes) const {
  for (const BookmarkNode& node : nodes) {
    if (node.name.toStdString() == context_.node_name) return node.labels;
  }
  return {};
}

void CountingSession::ListBookmarks() {
  bookmarks_.clear();
  if (result_mode()) {
    // A loaded result has no node files to browse: the flags stay hidden.
    asker_.ListBookmarks({}, false);
    display_.bookmarks_shown = false;
    return;
  }
  std::vector<BookmarkNode> nodes;
  for (size_t i = 0; i < context_.node_list.size(); ++i) {
    const std::string& name = context_.node_list[i];
    auto tsp = core::NodeFilePath(context_.data_path, context_.test_name, context_.test_code, name,
                                  ".tsp");
    nodes.push_back({QString::fromStdString(name), tsp ? *tsp : std::filesystem::path(),
                     i < context_.labels.size() ? context_.labels[i] : std::vector<core::Label>{}});
  }
  // The flags are those of the node shown.
  bookmarks_ = LabelsOfShownNode(nodes);
  display_.bookmarks_shown = asker_.ListBookmarks(std::move(nodes), true);
}

void CountingSession::SetBookmarks(std::vector<core::Label> labels, bool shown) {
  bookmarks_ = std::move(labels);
  display_.bookmarks_shown = shown;
  emit Changed();
}

void CountingSession::StartCompanion(const core::Result<std::filesystem::path>& written,
                                     std::string_view program) {
  if (!written) return asker_.Tell(ui::ErrorMessage(written.error()), true);
  if (auto started = core::LaunchCompanion(program); !started) {
    asker_.Tell(ui::ErrorMessage(started.error()), true);
  }
}

void CountingSession::SaveResult() {
  if (result_mode() || !file_) return;
  // The counts of a followed node change every second: the result is saved once they stop.
  if (following()) return asker_.Tell(Text(TextKey::kFollowSaveLater), false);
  auto path = core::ResultFilePath(context_.result_path, context_.test_name, context_.test_code,
                                   context_.node_name, kind_);
  if (!path) return asker_.Tell(ui::ErrorMessage(path.error()), true);
  // A file of that name this window did not write (another run's, another program's) is
  // replaced only when the person says so.
  std::error_code error;
  if (!cancelled() && std::filesystem::exists(*path, error) && written_.count(*path) == 0 &&
      !asker_.Ask(
          Text(TextKey::kReplaceFileQuestion).arg(QString::fromStdString(path->string())))) {
    return;
  }
  if (auto saved = core::SaveResultFile(*path, *file_); !saved) {
    return asker_.Tell(ui::ErrorMessage(saved.error()), true);
  }
  written_.insert(*path);
  asker_.Tell(Text(TextKey::kResultSavedTo) + QString::fromStdString(path->string()), false);
}

void CountingSession::Report() {
  if (!file_) return;
  core::ReportView view;
  view.language = ui::UiLanguage();
  view.one_way = display_.one_way;
  view.separately = display_.separately;
  view.readouts = readouts_;
  core::ReportOptions options;
  options.picture = [this](const std::filesystem::path& bitmap) {
    return asker_.WriteReportPicture(bitmap);
  };
  options.picture_failed = [this](const core::Error& error) {
    asker_.Tell(ui::ErrorMessage(error), true);
  };
  // A rainflow report carries the life estimate made of this result, its loads, and the
  // range-mean matrix once the cycles were listed.
  if (const auto* rainflow = std::get_if<core::RainflowResultFile>(&*file_)) {
    if (last_table_) {
      options.fatigue.estimate = last_table_->result;
      options.fatigue.loads = last_table_->loads;
    }
    if (matrix_) {
      render::ViewState state;
      static_cast<render::ViewChoices&>(state) = display_;
      state.language = ui::UiLanguage();
      state.colours = render::ReadColours();
      options.fatigue.matrix_picture = [rainflow, matrix = *matrix_,
                                        state](const std::filesystem::path& bitmap) {
        return render::WriteMatrixReportBitmap(bitmap, *rainflow, matrix, state);
      };
    }
  }
  StartCompanion(core::WriteCountingReport(*file_, view, options), core::kReportProgram);
}

void CountingSession::Export() {
  if (!file_) return;
  StartCompanion(core::WriteCountingExport(*file_, display_.one_way, ui::UiLanguage()),
                 core::kExportProgram);
}

bool CountingSession::HasCycles() const {
  if (!file_ || cancelled()) return false;
  const auto* rainflow = std::get_if<core::RainflowResultFile>(&*file_);
  if (rainflow == nullptr) return false;
  const auto& r = rainflow->result;
  const auto n = static_cast<size_t>(core::PartitionsHeld(r.partitions));
  for (size_t j = 0; j < n && j < r.counts.size(); ++j) {
    if (r.counts[j] > 0.0) return true;
  }
  return false;
}

void CountingSession::EstimateLife(core::FatigueMethod method) {
  if (kind_ != core::CountingKind::kRainflow || busy_ || !HasCycles()) return;
  asker_.AskLifeParameters(method, [this](const core::FatigueChoice& choice) {
    if (!HasCycles()) return;
    // While the node is followed, the estimate of the histogram is made again at every update;
    // a count of the node lists its cycles first, for the loads and the damage curve.
    if (following()) {
      MakeEstimate(choice, false);
      live_estimate_ = choice;
      return;
    }
    WithCycles([this, choice] { MakeEstimate(choice, false); });
  });
}

void CountingSession::MakeEstimate(const LiveEstimate& made, bool update) {
  if (!HasCycles()) return;
  const auto& file = std::get<core::RainflowResultFile>(*file_);
  const core::ResultFileNode& node = file;
  const core::FatigueListNames names{node.test_name, node.test_code, node.node_name};
  std::span<const core::RainflowCycle> cycles;
  if (cycles_) cycles = cycles_->cycles;
  auto estimate = core::RunFatigueEstimate(made, file.result, cycles, names, ui::UiLanguage());
  if (!estimate) {
    // An update that fails says so in the status line rather than a box every second.
    if (update) return asker_.ShowStatus(ui::ErrorMessage(estimate.error()));
    return asker_.Tell(ui::ErrorMessage(estimate.error()), true);
  }
  const double frequency = node.sampling.frequency_hz();
  ui::FatigueTable table;
  table.result = *estimate;
  table.names = names;
  table.unit = node.sampling.eu();
  table.data_folder = context_.data_path;
  table.record_seconds =
      static_cast<double>(core::BlockCount(file.result.first_block, file.result.last_block)) *
      1024.0 / frequency;
  table.live = following();
  if (cycles_) {
    // The loads take N_eq from the counted duration at 1 Hz; the damage curve is the actual
    // estimate's (a fit's damage is not of the counted cycles).
    auto n_eq =
        core::DefaultEquivalentCycles(static_cast<double>(cycles_->samples) / frequency, 1.0);
    auto loads = n_eq ? core::DamageEquivalentLoads(cycles, ui::kDockExponents, *n_eq)
                      : core::Result<std::vector<core::EquivalentLoad>>(n_eq.error());
    if (loads) {
      table.cycles_known = true;
      table.equivalent_cycles = *n_eq;
      table.loads = std::move(*loads);
    }
    if (made.method == core::FatigueMethod::kActual) {
      // The listed cycles hold the record's sample indices already.
      const core::CycleTiming timing{0, cycles_->first_sample + cycles_->samples - 1, frequency};
      if (auto history = core::DamageHistory(made, file.result, *estimate, cycles, timing)) {
        table.history = std::move(*history);
      }
    }
  }
  last_table_ = table;
  asker_.EstimateMade(table, update);
}

bool CountingSession::CyclesAvailable() const {
  return kind_ == core::CountingKind::kRainflow && file_ && !result_mode() && !cancelled() &&
         !following() && !node_.data_file.empty() &&
         std::holds_alternative<core::RainflowResultFile>(*file_);
}

void CountingSession::ForgetCycles() {
  ++result_number_;
  cycles_.reset();
  matrix_.reset();
  from_to_.reset();
  last_table_.reset();
  matrix_error_.clear();
  from_to_error_.clear();
}

void CountingSession::WithCycles(std::function<void()> then) {
  if (cycles_ || !CyclesAvailable()) return then();
  if (busy_) return;
  // A node that was followed has grown since it was opened: its record is read again.
  if (followed_ && !ReopenNode()) return;
  const auto& counted = std::get<core::RainflowResultFile>(*file_).result;
  auto outcome = std::make_shared<std::optional<core::Result<core::NodeCycleList>>>();
  const QString status =
      Text(TextKey::kCycleListCaption) + " " +
      QString::fromStdString(node_.test_name + node_.test_code + "#" + node_.node_name);
  busy_ = true;
  listing_ = true;
  cancel_ = false;
  emit PassStarted(status);
  // The cycles follow the count's conventions, so that the matrices and the damage are those
  // of the histogram shown.
  core::CycleListOptions options;
  options.residue = counted.residue;
  options.gate = counted.gate;
  thread_.reset(QThread::create([this, outcome, node = node_, first = counted.first_block,
                                 last = counted.last_block, options] {
    PassProgress progress(*this);
    *outcome = core::ExtractNodeCycles(node, first, last, progress, options);
  }));
  connect(thread_.get(), &QThread::finished, this,
          [this, outcome, number = result_number_, then = std::move(then)] {
            if (!busy_) return;  // the destructor took over
            thread_->wait();
            busy_ = false;
            listing_ = false;
            emit ProgressEnded();
            if (outcome->has_value() && number == result_number_) {
              auto& listed = **outcome;
              if (!listed) {
                asker_.Tell(ui::ErrorMessage(listed.error()), true);
              } else if (listed->cancelled) {
                asker_.ShowStatus(Text(TextKey::kCountingCancelledStatus));
              } else {
                cycles_ = std::move(*listed);
                MakeMatrices();
                then();
              }
            }
            emit PassEnded();
            emit Changed();
          });
  thread_->start();
}

void CountingSession::MakeMatrices() {
  const auto& histogram = std::get<core::RainflowResultFile>(*file_).result;
  auto matrix = core::MakeRangeMeanMatrix(cycles_->cycles, histogram, 0, core::kDefaultMeanBins);
  if (matrix) {
    matrix_ = std::move(*matrix);
  } else {
    matrix_error_ = ui::ErrorMessage(matrix.error());
  }
  // As many classes of [-A, A] as the histogram has partitions of [0, A].
  auto from_to = core::MakeFromToMatrix(cycles_->cycles, histogram,
                                        core::PartitionsHeld(histogram.partitions));
  if (from_to) {
    from_to_ = std::move(*from_to);
  } else {
    from_to_error_ = ui::ErrorMessage(from_to.error());
  }
}

void CountingSession::ShowCycleView(CycleView view) {
  cycle_view_ = view;
  emit Changed();
  if (view != CycleView::kHistogram && !cycles_ && CyclesAvailable() && !busy_) {
    WithCycles([] {});
  }
}

void CountingSession::ShowMatrix(bool shown) {
  if (shown) return ShowCycleView(CycleView::kRangeMean);
  if (matrix_shown()) return ShowCycleView(CycleView::kHistogram);
  emit Changed();
}

void CountingSession::ShowFromTo(bool shown) {
  if (shown) return ShowCycleView(CycleView::kFromTo);
  if (from_to_shown()) return ShowCycleView(CycleView::kHistogram);
  emit Changed();
}

void CountingSession::ListCyclesOfMatrixSoon() {
  // After the pass that made the result has ended (its thread is done with).
  QTimer::singleShot(0, this, [this] {
    if (cycle_view_ != CycleView::kHistogram && !cycles_ && CyclesAvailable() && !busy_) {
      WithCycles([] {});
    }
  });
}

QString CountingSession::MatrixRefusal() const {
  const bool from_to = from_to_shown();
  if (from_to ? from_to_.has_value() : matrix_.has_value()) return {};
  const QString& error = from_to ? from_to_error_ : matrix_error_;
  if (!error.isEmpty()) return error;
  if (listing_) return Text(TextKey::kCycleListCaption) + QStringLiteral("…");
  if (result_mode()) return Text(from_to ? TextKey::kFromToNeedsCount : TextKey::kMatrixNeedsCount);
  return Text(from_to ? TextKey::kFromToNeedsWholeCount : TextKey::kMatrixNeedsWholeCount);
}

void CountingSession::Follow(qintptr value) {
  const bool start = value == 1 ? true : value == 2 ? false : !following();
  if (start) {
    StartFollow();
  } else {
    StopFollow();
  }
  emit FollowChanged();  // the panel's box shows what happened, also when nothing did
}

void CountingSession::StartFollow() {
  if (result_mode() || node_.data_file.empty() || busy_ || following()) return;
  if (parameters_.amplitude_mode == core::kAmplitudeAutomatic) {
    if (!asker_.Ask(Text(TextKey::kFollowAutoRefused))) return;
    parameters_.amplitude_mode = core::kAmplitudeFullScale;
  }
  core::FollowSetup setup;
  setup.plan = Plan();
  auto follower = core::RecordFollower::Start(node_, setup);
  if (!follower) return asker_.Tell(ui::ErrorMessage(follower.error()), true);
  // A look of a follow stopped before ends after its block; it is dropped.
  if (look_thread_ != nullptr) look_thread_->wait();
  look_thread_.reset();
  follow_ = std::make_shared<FollowState>(std::move(*follower));
  followed_ = true;
  blocks_followed_ = 0;
  follow_end_ = core::FollowEnd::kNone;
  live_estimate_.reset();
  follow_timer_.start();
  asker_.ShowStatus(Text(TextKey::kFollowWaiting));
  emit FollowChanged();
  emit Changed();  // the caption says (live)
  LookAtNode();    // the blocks present now, without waiting for the first tick
}

void CountingSession::StopFollow() {
  if (follow_ == nullptr) return;
  follow_timer_.stop();
  follow_->stop = true;  // a look under way stops after its block, and is dropped
  follow_.reset();
  looking_ = false;
  ++look_number_;
  asker_.ShowStatus(Text(TextKey::kFollowStopped).arg(blocks_followed_));
  if (live_estimate_) MakeEstimate(*live_estimate_, true);
  live_estimate_.reset();
  emit FollowChanged();
  emit Changed();
}

void CountingSession::LookAtNode() {
  if (follow_ == nullptr || looking_) return;  // the look under way has not ended yet
  if (look_thread_ != nullptr) look_thread_->wait();
  auto outcome = std::make_shared<Look>();
  const uint64_t number = ++look_number_;
  looking_ = true;
  look_thread_.reset(QThread::create([follow = follow_, outcome, shown = follow_->shown] {
    LookProgress progress(follow->stop);
    outcome->look = follow->follower.Poll(progress);
    outcome->blocks = follow->follower.blocks_counted();
    outcome->behind = follow->follower.samples_behind();
    if (follow->stop) return;
    if (outcome->look.new_blocks > 0 || outcome->look.end != core::FollowEnd::kNone || !shown) {
      outcome->snapshot = follow->follower.Snapshot();
    }
  }));
  connect(look_thread_.get(), &QThread::finished, this, [this, outcome, number] {
    if (number != look_number_) return;  // the follow was stopped meanwhile
    look_thread_->wait();
    looking_ = false;
    if (follow_ != nullptr) TakeLook(*outcome);
  });
  look_thread_->start();
}

void CountingSession::TakeLook(Look& look) {
  blocks_followed_ = look.blocks;
  if (look.snapshot && *look.snapshot) {
    follow_->shown = true;
    UpdateLiveResult(std::move(**look.snapshot));
  } else if (look.snapshot && look.blocks > 0 && look.look.end == core::FollowEnd::kNone) {
    // Whole blocks were counted but their result can't be made (the envelope's reads): the
    // follow ends there, with what was shown last.
    look.look.end = core::FollowEnd::kFailed;
    look.look.reason = look.snapshot->error();
  }
  if (look.look.end != core::FollowEnd::kNone) return EndFollow(look);
  if (!follow_->shown) return asker_.ShowStatus(Text(TextKey::kFollowWaiting));
  asker_.ShowStatus(look.behind > 0 ? Text(TextKey::kFollowStatus).arg(look.blocks).arg(look.behind)
                                    : Text(TextKey::kFollowStatusWhole).arg(look.blocks));
}

void CountingSession::UpdateLiveResult(core::AnyResultFile file) {
  file_ = std::move(file);
  ForgetCycles();
  // The partitions stay where they were as the record grows (full scale or set value): the
  // cursor, the zoom and the listed partitions stay; the list shows their counts now.
  if (!readouts_.empty()) {
    core::ReadoutList now;
    now.sort_by = readouts_.sort_by;
    for (uint32_t i : readouts_.indices) {
      const auto one = core::CollectReadouts(*file_, {i}, display_.one_way, display_.separately);
      if (!one.list.empty()) now.Collect(i, one.list.count_texts.front());
    }
    readouts_ = std::move(now);
    UpdateReadoutBox();
  }
  if (live_estimate_) MakeEstimate(*live_estimate_, true);
  emit LiveUpdated();
  emit Changed();
}

void CountingSession::EndFollow(const Look& look) {
  follow_timer_.stop();
  follow_.reset();
  follow_end_ = look.look.end;
  switch (follow_end_) {
    case core::FollowEnd::kComplete:
      asker_.ShowStatus(Text(TextKey::kFollowComplete).arg(look.blocks));
      break;
    case core::FollowEnd::kIdle:
      asker_.ShowStatus(Text(TextKey::kFollowIdle).arg(IdleSeconds()).arg(look.blocks));
      break;
    default: {
      const QString line =
          Text(TextKey::kFollowEnded)
              .arg(look.blocks)
              .arg(look.look.reason ? ui::ErrorMessage(*look.look.reason) : QString());
      asker_.ShowStatus(line);
      asker_.Tell(line, true);
      break;
    }
  }
  // The table of a live estimate shows the final damage.
  if (live_estimate_) MakeEstimate(*live_estimate_, true);
  live_estimate_.reset();
  emit FollowChanged();
  emit Changed();
  ListCyclesOfMatrixSoon();
}

}  // namespace torvwy::module
