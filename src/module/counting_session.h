// The counting session under a counting window: the test, the node, the parameters, the pass on a
// worker thread, the result and everything the user does with it, without a widget.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "core/counting/counting_parameters.h"
#include "core/data/labels.h"
#include "core/data/parameter_file.h"
#include "core/fatigue/class_matrix.h"
#include "core/fatigue/fatigue_estimate.h"
#include "core/fatigue/fatigue_list.h"
#include "core/fatigue/fatigue_result.h"
#include "core/fatigue/range_mean_matrix.h"
#include "core/files/result_file.h"
#include "core/rainflow/node_cycles.h"
#include "core/rainflow/residue_method.h"
#include "core/report/counting_hand_over.h"
#include "core/report/readout_list.h"
#include "core/run/counting_plan.h"
#include "core/run/counting_run.h"
#include "core/run/record_follower.h"
#include "core/services/progress.h"
#include "core/services/result.h"
#include "module/bookmark_node.h"
#include "render/view_choices.h"
#include "ui/fatigue_table.h"
#include "ui/host_message.h"

class QThread;

namespace torvwy::module {

/// Where a person answers the session or is told something: the view shows its dialogs and
/// message boxes; a test answers at once. An `answer` runs at most once, when the person has
/// answered (never on Cancel unless said).
class CountingAsker {
 public:
  virtual ~CountingAsker() = default;
  /// A message box: a warning, or an information.
  virtual void Tell(const QString& text, bool warning) = 0;
  /// A question answered Yes or No; true for Yes.
  virtual bool Ask(const QString& question) = 0;
  /// A line in the host's status bar; nothing waits for it.
  virtual void ShowStatus(const QString& text) = 0;
  /// The setup dialog over the plan the next count uses (its parameters, the level crossing
  /// options, the residue method and the gate): `answer` gets what its fields ask for on OK, to
  /// be settled against the node, and nothing on Cancel.
  virtual void AskSetup(const core::CountingPlan& shown, double ad_range, const QString& unit,
                        std::function<void(std::optional<core::CountingPlan>)> answer) = 0;
  /// The node chooser; true when a node was chosen (the parameter file is rewritten then).
  virtual bool AskNode() = 0;
  /// The Y-scale dialog showing `shown`: `answer` gets the value entered on OK.
  virtual void AskYScale(double shown, std::function<void(double)> answer) = 0;
  /// The save dialog of the readout list, starting at `start`; empty when cancelled.
  virtual QString AskReadoutListName(const QString& start) = 0;
  /// The life parameter dialog of an estimate by `method`: `answer` gets the curve and the
  /// correction chosen on OK.
  virtual void AskLifeParameters(core::FatigueMethod method,
                                 std::function<void(const core::FatigueChoice&)> answer) = 0;
  /// Lists the nodes of the test in the bookmark dialog (`browse`), or empties it for a loaded
  /// result; returns whether the bookmark flags are shown.
  virtual bool ListBookmarks(std::vector<BookmarkNode> nodes, bool browse) = 0;
  /// Writes the report's picture of the result shown.
  virtual core::Status WriteReportPicture(const std::filesystem::path& bitmap) = 0;
  /// Puts `text` on the clipboard.
  virtual void CopyText(const QString& text) = 0;
  /// A life estimate was made: the host shows its table. `update`: the estimate of a followed
  /// node made again at an update (the damage so far), which refreshes a table shown.
  virtual void EstimateMade(const ui::FatigueTable& table, bool update) = 0;
  /// The window can't start: it closes.
  virtual void CloseWindow() = 0;
};

/// The codes of the host's messages 2025 (commands) and 2125 (notices) a counting session acts
/// on. The numbers of the two messages meet (1003 is a copy command and a panel key notice), so
/// a notice's code carries kNoticeCode above its number.
inline constexpr quint32 kNoticeCode = 0x10000;
enum class CountingCode : quint32 {
  kExport = ui::command::kExport,
  kReport = ui::command::kReport,
  kSaveResult = ui::command::kSaveResult,
  kCursor = ui::command::kCursor,
  kGrid = ui::command::kGrid,
  kZoom = ui::command::kZoom,
  kMoveCursor = ui::command::kMoveCursor,
  kReadoutList = ui::command::kReadoutList,
  kMarkStyle = ui::command::kMarkStyle,
  kReadColours = ui::command::kReadColours,
  kDisplaySetting = ui::command::kDisplaySetting,
  kBookmarkDialog = ui::command::kBookmarkDialog,
  kFollow = ui::command::kFollow,
  kMatrixView = ui::command::kMatrixView,
  kLogCounts = ui::command::kLogCounts,
  kFromToView = ui::command::kFromToView,
  kCurveTypeNotice = kNoticeCode | ui::notice::kCurveType,
  kMarkStyleNotice = kNoticeCode | ui::notice::kMarkStyle,
  kZoomSliderNotice = kNoticeCode | ui::notice::kZoomSlider,
  kSortOrderNotice = kNoticeCode | ui::notice::kSortOrder,
  kReloadNotice = kNoticeCode | ui::notice::kReload,
  kSetupNotice = kNoticeCode | ui::notice::kSetup,
  kInsetNotice = kNoticeCode | ui::notice::kInset,
  kSeparatelyNotice = kNoticeCode | ui::notice::kSeparately,
  kOneWayNotice = kNoticeCode | ui::notice::kOneWay,
  kFittingEstimateNotice = kNoticeCode | ui::notice::kFittingEstimate,
  kActualEstimateNotice = kNoticeCode | ui::notice::kActualEstimate,
  kFollowNotice = kNoticeCode | ui::notice::kFollow,
};

/// The code of a command (2025) or a notice (2125) with the number `number`.
constexpr CountingCode CommandCode(quint32 number) { return static_cast<CountingCode>(number); }
constexpr CountingCode NoticeCode(quint32 number) {
  return static_cast<CountingCode>(kNoticeCode | number);
}

class CountingSession;

/// One row of the table from the host's codes to the session's actions: the action takes the
/// message's value and checks its range itself.
struct CountingRoute {
  CountingCode code;
  void (*act)(CountingSession& session, qintptr value);
};

/// Every code a counting session acts on, each with its action.
std::span<const CountingRoute> CountingRoutes();

/// Start-up reads "TorvWyPara.txt" of the host folder. In analysis mode the session loads the
/// node, asks for the parameters and counts (envelope and counts, one pass on a worker thread);
/// in result mode it reads the first result file and never counts or saves.
///
///   Start --analysis--> node loaded --AskSetup--> Recount --PassStarted ... PassEnded-->
///         --result----> result file opened                      ResultChanged, Changed
///
/// Every change of what the picture shows emits Changed(); a new result (a count, an opened
/// file) emits ResultChanged() before it.
///
/// A node whose .tsp carries the running mark is followed instead of counted: the whole blocks
/// present are counted, then every second the blocks that arrived since, each look on a worker
/// thread, and every update shows the counts so far (LiveUpdated, Changed) with the cursor, the
/// readout list and the zoom kept.
///
///   StartFollow --look--> update --1 s--> look --> update ... --end--> final result shown
///        |                                                     (complete, idle, an error)
///        +-- StopFollow (untick, Setup, Select Node, the window closing): no further look
class CountingSession : public QObject {
  Q_OBJECT

 public:
  /// How the caption names the analysis: when it opens, in result mode, after Select Node.
  enum class Caption { kAnalysis, kResult, kReloaded };

  CountingSession(core::CountingKind kind, CountingAsker& asker, QObject* parent = nullptr);
  /// Cancels a pass under way and waits for it (its result is dropped).
  ~CountingSession() override;

  core::CountingKind kind() const { return kind_; }
  const core::TestContext& context() const { return context_; }
  /// The node counted; no data file in result mode or before the start.
  const core::CountingNode& node() const { return node_; }
  bool result_mode() const { return context_.result_mode != 0; }
  /// The parameters the next count uses (settled after the setup dialog).
  const core::CountingParameters& parameters() const { return parameters_; }
  /// The levels, reference, direction and gate the next level crossing count uses.
  const core::CrossingOptions& crossings() const { return crossings_; }
  /// How the next rainflow count takes its residue (half unless the setup dialog said else).
  core::ResidueMethod residue() const { return residue_; }
  /// The gate (EU) of the next peak, range, rainflow or range-pair count; 0: none. Level
  /// crossings keep theirs in crossings().
  double gate() const { return gate_; }
  /// The counted or opened result; empty before the first pass ends. After a cancel it holds
  /// the partial counts, marked as cancelled.
  const std::optional<core::AnyResultFile>& result() const { return file_; }
  /// The last pass was cancelled: its partial counts are shown but never saved, reported or
  /// exported.
  bool cancelled() const { return file_ && core::PassCancelled(*file_); }
  /// What the picture shows: the display choices and the collected partitions.
  const render::ViewChoices& display() const { return display_; }
  /// The bookmarks the picture flags: those of the node shown.
  const std::vector<core::Label>& bookmarks() const { return bookmarks_; }
  /// The collected partitions with their count texts (what the report and list export take).
  const core::ReadoutList& readouts() const { return readouts_; }
  /// The caption of the window: the analysis, then test, code and node once started.
  QString Title() const;

  /// N of the result shown (at most 2000), 0 before the first count.
  int32_t partitions() const;
  /// The partition under the cursor (0..N-1), 0 before the first count.
  int32_t cursor() const;
  /// The values of the curve the cursor moves over: the displayed counts (for peak counting
  /// the peak and valley totals of the displayed direction).
  std::vector<double> DisplayedValues() const;
  /// The largest count of the plots shown (the Y scale before the zoom).
  double LargestCount() const;
  /// The readouts with the axis and columns the list text needs.
  core::CountingReadouts Readouts() const;
  /// The list text of the readouts: format 0 (clipboard, ".txt"), 1 (list export).
  std::string ReadoutText(int format) const;
  /// A rainflow histogram with at least one counted cycle, from a whole pass: what a life
  /// estimate needs.
  bool HasCycles() const;

  // The cycle list of the counted blocks and the matrices made of it.
  /// What a rainflow window shows: its histogram or one of the matrices of its cycles.
  enum class CycleView { kHistogram, kRangeMean, kFromTo };
  /// The cycles of the blocks the result counted, with the result's residue method and gate:
  /// listed once something needs them, kept until the result changes. None for an opened
  /// result file, a cancelled pass, or a follow.
  const std::optional<core::NodeCycleList>& cycles() const { return cycles_; }
  /// Whether the result shown can have its cycle list: a rainflow count of the node that was
  /// not cancelled, and no follow under way.
  bool CyclesAvailable() const;
  /// Runs `then` once the cycle list is at hand: at once when it is listed or can't be, else
  /// after a pass on the worker thread that lists it, with the pass's progress and cancel. A
  /// cancelled or failed listing runs nothing (a failure says why).
  void WithCycles(std::function<void()> then);
  CycleView cycle_view() const { return cycle_view_; }
  /// The rainflow window shows the range-mean matrix instead of the histogram.
  bool matrix_shown() const { return cycle_view_ == CycleView::kRangeMean; }
  /// The rainflow window shows the from-to matrix instead of the histogram.
  bool from_to_shown() const { return cycle_view_ == CycleView::kFromTo; }
  /// Shows the range-mean matrix (listing the cycles first when they can be), or, when it is
  /// shown, the histogram again; hiding it while the from-to matrix shows changes nothing.
  void ShowMatrix(bool shown);
  /// The same for the from-to matrix.
  void ShowFromTo(bool shown);
  /// The matrix of the cycle list on the histogram's ranges; none before the list is there.
  const std::optional<core::RangeMeanMatrix>& matrix() const { return matrix_; }
  /// The from-to matrix of the cycle list in the histogram's N classes of [-A, A]; none before
  /// the list is there.
  const std::optional<core::ClassMatrix>& from_to() const { return from_to_; }
  /// Why the matrix view shown shows no matrix; empty once it has one.
  QString MatrixRefusal() const;

  /// Runs the action of a host message's code; false when the session has none for it.
  bool Handle(CountingCode code, qintptr value);

  // Start-up, node and parameters.
  /// Reads the parameter file and loads the node or the result file; a session that can't
  /// start tells why and asks its window to close.
  void Start();
  /// Asks for the parameters; OK counts with them, Cancel counts only when `count_on_cancel`
  /// (the window's first dialog and the one after Select Node).
  void RunSetup(bool count_on_cancel);
  /// The setup notice: the setup dialog again, once the node's sampling file still matches.
  void Setup();
  /// Select Node: another node of the test, counted after its setup dialog.
  void Reload();
  /// The analysis range picked on the waveform: By Block over blocks first..last (1-based,
  /// either order), shown in the setup dialog, which counts them on OK. Nothing in result mode
  /// or during a pass.
  void PickBlocks(int32_t first, int32_t last);

  // The counting pass.
  /// The plan of a pass over the node: the view's kind and settled parameters, every core.
  core::CountingPlan Plan() const;
  /// Counts again with the current parameters (without the setup dialog).
  void Recount();
  bool busy() const { return busy_; }
  /// Asks the pass under way to stop at its next poll.
  void CancelPass() { cancel_ = true; }
  /// Shows `file` as the session's result: a new list, the cursor at the result's own.
  void SetResult(core::AnyResultFile file);

  // Following a node while it is recorded.
  /// Whether the session follows its node now.
  bool following() const { return follow_ != nullptr; }
  /// Starts following the node with the current parameters. The automatic amplitude can't be
  /// followed (its partitions would move as the record grows): the person is asked whether to
  /// follow with the full scale instead, and nothing follows on No. Nothing in result mode,
  /// during a pass, or while following already.
  void StartFollow();
  /// Stops at once: the timer stops, no look is started again, the follower goes (a look under
  /// way stops after its block and is dropped). The counts shown stay.
  void StopFollow();
  /// 1 starts, 2 stops, any other value toggles.
  void Follow(qintptr value);
  /// Whole blocks counted by the follow under way or the last one.
  int64_t blocks_followed() const { return blocks_followed_; }
  /// How the last follow ended (kNone while following, or when it was stopped).
  core::FollowEnd follow_end() const { return follow_end_; }
  /// Time between two looks at a followed node.
  static constexpr int kFollowIntervalMs = 1000;

  // What the picture shows.
  void ShowCursor(bool shown);
  void ShowGrid(bool shown);
  void SetMarkStyle(int style);
  void SetCurveType(int type);
  void SetInset(bool shown);
  void SetSeparately(bool separately);
  void SetOneWay(bool one_way);
  /// The count plots on a logarithmic axis or a linear one; the choice is kept in the profile
  /// for the windows opened later.
  void SetLogCounts(bool log);
  /// Puts the cursor on `partition` (a click in a plot).
  void SetCursor(int32_t partition);
  /// Moves the cursor by a step code 0..9 (core::MoveCursor); other codes do nothing.
  void MoveCursor(int step);
  /// Zoom operations: 0 reset, 1 in, 2 out, 3 the Y-scale dialog.
  void Zoom(int operation);
  /// Sets the Y zoom, held within kMinZoom..kMaxZoom.
  void SetZoom(double zoom);
  /// The panel's slider position 0..400: zoom 10^((position - 200) / 100).
  void SetZoomSlider(int position);
  /// The picture is drawn again as it is (the display setting, new colours).
  void Refresh();

  // The readout list.
  /// 0 collect, 3 show the box, 4 clear, 5 save (asks for a name), 6 copy; 1 and 2 nothing.
  void Readout(int operation);
  void SortReadouts(int32_t order);
  /// Hides the readout box and keeps its place (its close square).
  void CloseReadoutBox();
  /// Moves the readout box to a top-left in thousandths of the drawing area.
  void PlaceReadoutBox(int x_per_mille, int y_per_mille);
  /// Saves the readout list as `path`: a text file, or, for a name ending in ".xls" or
  /// ".xlsx", the spreadsheet (always ".xlsx") made by the list converter. Says why on failure.
  void SaveReadouts(const QString& path);

  // Bookmarks.
  /// The bookmarks of the node shown and whether their flags show (after the dialog changed
  /// them).
  void SetBookmarks(std::vector<core::Label> labels, bool shown);
  /// Of `nodes`, the bookmarks of the node shown.
  std::vector<core::Label> LabelsOfShownNode(const std::vector<BookmarkNode>& nodes) const;

  // Files and companions.
  /// Saves the result beside the data ("abc1#2.PCM"); never in result mode or after a cancel.
  void SaveResult();
  void Report();
  void Export();
  /// The life parameter dialog, then the estimate of `method` handed to the host; a refused
  /// estimate says why and writes nothing.
  void EstimateLife(core::FatigueMethod method);

  /// Y zoom bounds.
  static constexpr double kMinZoom = 0.001;
  static constexpr double kMaxZoom = 1000.0;

 signals:
  /// Something the picture shows changed: draw again.
  void Changed();
  /// A new result is shown (a count ended, a result file was opened, a live refresh); the
  /// panel takes it over. Changed() follows.
  void ResultChanged();
  /// A pass began with the status line `status`.
  void PassStarted(const QString& status);
  /// The pass under way reached `position` of lower..upper, with the status line `status`;
  /// only when the percentage or the status changed.
  void PassProgressed(qint64 lower, qint64 upper, qint64 position, const QString& status);
  /// The pass's thread has ended; its outcome is taken next (the progress goes first).
  void ProgressEnded();
  /// The pass has ended and its outcome is shown.
  void PassEnded();
  /// The bookmark dialog is asked for: 1 show, 2 hide, other values toggle.
  void BookmarkDialogAsked(int value);
  /// The profile's colours are to be read again.
  void ColoursAsked();
  /// A follow began or ended (the panel's Follow box and the caption follow it).
  void FollowChanged();
  /// A followed node's counts so far replaced the result; Changed() follows.
  void LiveUpdated();

 private:
  class PassProgress;
  struct FollowState;
  struct Look;
  /// What a live estimate is made again with at every update.
  using LiveEstimate = core::FatigueChoice;

  void Fail(const QString& text);
  void ListBookmarks();
  void UpdateReadoutBox();
  void ClearReadouts();
  void Finish(core::Result<core::AnyResultFile>& counted);
  /// Drops the cycle list and the matrix of the result shown before.
  void ForgetCycles();
  /// Lists the cycles of a new result once its pass has ended, when a matrix is shown.
  void ListCyclesOfMatrixSoon();
  /// Shows `view`, listing the cycles first when a matrix needs them and they can be.
  void ShowCycleView(CycleView view);
  /// Makes both matrices of the listed cycles, or keeps why each can't be made.
  void MakeMatrices();
  /// Starts one look at the followed node on a worker thread, unless one is under way.
  void LookAtNode();
  /// Takes what a look found: the counts so far, the status line, the end of the follow.
  void TakeLook(Look& look);
  /// Replaces the result by the counts so far, keeping the cursor, the readout list (its
  /// counts refreshed) and the zoom.
  void UpdateLiveResult(core::AnyResultFile file);
  /// Ends the follow that `look` saw end, and says how.
  void EndFollow(const Look& look);
  /// The estimate of `estimate` over the result shown, handed to the host.
  void MakeEstimate(const LiveEstimate& estimate, bool live);
  /// Reopens the node (a followed node's sampling record changes as it grows).
  bool ReopenNode();
  /// Says why a companion could not be started, or its hand-over file written.
  void StartCompanion(const core::Result<std::filesystem::path>& written, std::string_view program);

  core::CountingKind kind_;
  CountingAsker& asker_;
  bool started_ = false;
  Caption caption_ = Caption::kAnalysis;
  core::TestContext context_;
  core::CountingNode node_;  ///< the node counted (empty data file in result mode)
  core::CountingParameters parameters_;
  core::CrossingOptions crossings_;
  core::ResidueMethod residue_ = core::ResidueMethod::kHalf;
  double gate_ = 0.0;
  std::optional<core::AnyResultFile> file_;
  std::vector<core::Label> bookmarks_;
  render::ViewChoices display_;
  core::ReadoutList readouts_;
  std::unique_ptr<QThread> thread_;
  bool busy_ = false;
  std::atomic<bool> cancel_{false};
  std::shared_ptr<FollowState> follow_;   ///< the follow under way; the look thread shares it
  std::unique_ptr<QThread> look_thread_;  ///< the last look's thread
  bool looking_ = false;                  ///< a look is under way
  uint64_t look_number_ = 0;              ///< of the last look started; a stop counts one on
  QTimer follow_timer_;
  int64_t blocks_followed_ = 0;
  core::FollowEnd follow_end_ = core::FollowEnd::kNone;
  bool followed_ = false;  ///< the node was followed: its sampling record may have grown
  std::set<std::filesystem::path> written_;  ///< result files this window saved
  std::optional<LiveEstimate> live_estimate_;
  std::optional<core::NodeCycleList> cycles_;
  std::optional<core::RangeMeanMatrix> matrix_;
  std::optional<core::ClassMatrix> from_to_;
  std::optional<ui::FatigueTable> last_table_;  ///< the last estimate made of the result shown
  QString matrix_error_;   ///< why the range-mean matrix of the listed cycles can't be made
  QString from_to_error_;  ///< why the from-to matrix of the listed cycles can't be made
  CycleView cycle_view_ = CycleView::kHistogram;
  bool listing_ = false;        ///< the pass under way lists the cycles
  uint64_t result_number_ = 0;  ///< counts every change of the result shown
};

}  // namespace torvwy::module
