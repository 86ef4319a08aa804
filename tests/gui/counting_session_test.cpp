// The counting session without a window: start-up, the pass, the host's codes, cursor and
// readouts, the saved result, and a cancelled pass that is never saved.
#include "module/counting_session.h"

#include <gtest/gtest.h>

#include <QStringList>
#include <filesystem>
#include <memory>
#include <set>

#include "core/data/parameter_file.h"
#include "core/files/result_file.h"
#include "core/services/folders.h"
#include "core/services/message_table.h"
#include "desktop_fixture.h"
#include "support/test_node.h"
#include "ui/host_message.h"
#include "ui/language.h"

namespace torvwy::testing {
namespace {
namespace fs = std::filesystem;
using module::CommandCode;
using module::CountingSession;
using module::NoticeCode;

/// Answers the session at once, as a person clicking OK (or Cancel) would, and keeps what it
/// was told.
class Answers : public module::CountingAsker {
 public:
  bool accept_setup = true;
  int setups = 0;
  QString save_name;
  QStringList told, warned, statuses, asked;
  bool answer_yes = false;
  QString copied;
  bool closed = false;

  void Tell(const QString& text, bool warning) override { (warning ? warned : told).append(text); }
  bool Ask(const QString& question) override {
    asked.append(question);
    return answer_yes;
  }
  void ShowStatus(const QString& text) override { statuses.append(text); }
  void AskSetup(const core::CountingPlan& shown, double, const QString&,
                std::function<void(std::optional<core::CountingPlan>)> answer) override {
    ++setups;
    if (!accept_setup) return answer(std::nullopt);
    const core::CountingParameters& parameters = shown.parameters;
    core::CountingPlan request;  // OK on the fields as they were shown
    request.parameters = parameters;
    request.blocks = core::BlockRange{parameters.block_from, parameters.block_to};
    request.times = core::TimeRange{parameters.time_from, parameters.time_to};
    answer(request);
  }
  bool AskNode() override { return false; }
  void AskYScale(double, std::function<void(double)>) override {}
  QString AskReadoutListName(const QString&) override { return save_name; }
  void AskLifeParameters(core::FatigueMethod,
                         std::function<void(const core::FatigueChoice&)>) override {}
  bool ListBookmarks(std::vector<module::BookmarkNode>, bool) override { return true; }
  core::Status WriteReportPicture(const fs::path&) override { return core::Ok(); }
  void CopyText(const QString& text) override { copied = text; }
  void EstimateMade(const ui::FatigueTable&, bool) override {}
  void CloseWindow() override { closed = true; }
};

/// Two blocks of the zigzag 0 10 0 -5.5 0 4.2 0 -2.5: with A = 10 (the largest sample) and
/// N = 25, two-way partition k holds (k*0.8 - 10, (k+1)*0.8 - 10]: peaks 10 -> 24, 4.2 -> 17,
/// valleys -5.5 -> 5, -2.5 -> 9, 256 of each but the last valley, whose sample ends the record.
std::vector<double> Zigzag() {
  const double period[] = {0, 10, 0, -5.5, 0, 4.2, 0, -2.5};
  std::vector<double> x(2048);
  for (size_t i = 0; i < x.size(); ++i) x[i] = period[i % 8];
  return x;
}

class CountingSessionTest : public ::testing::Test {
 protected:
  ScopedHome home_;
  TempDir data_;
  Answers answers_;
};

TEST_F(CountingSessionTest, CountsANodeAndSavesWhatItCounted) {
  WriteCountingTest(data_.path(), Zigzag());
  CountingSession session(core::CountingKind::kPeak, answers_);
  int started = 0, progressed = 0, ended = 0, results = 0;
  QObject::connect(&session, &CountingSession::PassStarted, [&] { ++started; });
  QObject::connect(&session, &CountingSession::PassProgressed, [&] { ++progressed; });
  QObject::connect(&session, &CountingSession::PassEnded, [&] { ++ended; });
  QObject::connect(&session, &CountingSession::ResultChanged, [&] { ++results; });
  // Cancel in the first setup dialog counts all the same, with the node's defaults.
  answers_.accept_setup = false;
  session.Start();
  EXPECT_EQ(answers_.setups, 1);
  ASSERT_TRUE(session.busy());
  ASSERT_TRUE(WaitFor([&] { return ended == 1; }, 300000));
  EXPECT_FALSE(session.busy());
  EXPECT_EQ(started, 1);
  EXPECT_GT(progressed, 0);
  EXPECT_EQ(results, 1);
  ASSERT_TRUE(session.result());
  EXPECT_FALSE(session.cancelled());
  EXPECT_TRUE(answers_.warned.empty()) << answers_.warned.join("|").toStdString();
  EXPECT_EQ(session.Title().toStdString(),
            "Peak Counting Analysis -- Test Name:abc, Test Code:1, Node:2");

  std::vector<int32_t> peaks(core::kMaxPartitions), valleys(core::kMaxPartitions);
  peaks[24] = 256, peaks[17] = 256, valleys[5] = 256, valleys[9] = 255;
  const auto& counted = std::get<core::PeakResultFile>(*session.result()).result;
  EXPECT_EQ(counted.partitions, 25);
  EXPECT_EQ(counted.two_way_peak_counts, peaks);
  EXPECT_EQ(counted.two_way_valley_counts, valleys);

  // The cursor starts at N / 2; the host's step codes move it (largest step max(1, N / 10)).
  EXPECT_EQ(session.cursor(), 12);
  const struct {
    int step, to;
  } moves[] = {{9, 0}, {2, 1}, {3, 3}, {0, 2}, {8, 5}, {10, 5}, {-1, 5}};
  for (const auto& move : moves) {
    EXPECT_TRUE(session.Handle(CommandCode(ui::command::kMoveCursor), move.step));
    EXPECT_EQ(session.cursor(), move.to) << "step " << move.step;
  }

  // Peaks and valleys together: one count column. Partition 5 is collected twice (one
  // entry), then 24. XL = i W2 - A, X = (i + 0.5) W2 - A, XR = (i + 1) W2 - A with W2 = 0.8.
  session.Handle(NoticeCode(ui::notice::kSeparately), 0);
  session.Handle(CommandCode(ui::command::kReadoutList), 0);
  session.Handle(CommandCode(ui::command::kReadoutList), 0);
  session.SetCursor(24);
  session.Handle(CommandCode(ui::command::kReadoutList), 0);
  EXPECT_EQ(session.readouts().indices, (std::vector<uint32_t>{5, 24}));
  const std::string list =
      "No.  XL(Left)    X(Center)   XR(Right)   Count       \r\n"
      "1    -6          -5.6        -5.2        256         \r\n"
      "2    9.2         9.6         10          256         \r\n";
  EXPECT_EQ(session.ReadoutText(0), list);
  session.Handle(CommandCode(ui::command::kReadoutList), 3);
  EXPECT_TRUE(session.display().readout_box.shown);
  EXPECT_EQ(session.display().readout_box.text, list);
  session.Handle(CommandCode(ui::command::kReadoutList), 6);
  EXPECT_EQ(answers_.copied.toStdString(), list);
  const fs::path text = data_.path() / "list.txt";
  answers_.save_name = QString::fromStdString(text.string());
  session.Handle(CommandCode(ui::command::kReadoutList), 5);
  EXPECT_EQ(ReadFileBytes(text), list);  // ASCII: the same in GBK

  // Saved beside the data, and read back as counted.
  EXPECT_TRUE(session.Handle(CommandCode(ui::command::kSaveResult), 0));
  const fs::path saved = data_.path() / "abc1#2.PCM";
  ASSERT_EQ(answers_.told.size(), 1);
  EXPECT_TRUE(answers_.told[0].endsWith(QString::fromStdString(saved.string())))
      << answers_.told[0].toStdString();
  auto reopened = core::OpenResultFile(saved);
  ASSERT_TRUE(reopened);
  const auto& read = std::get<core::PeakResultFile>(*reopened).result;
  EXPECT_EQ(read.partitions, 25);
  EXPECT_EQ(read.amplitude_range, 10.0);
  EXPECT_EQ(read.two_way_peak_counts, peaks);
  EXPECT_EQ(read.two_way_valley_counts, valleys);
  EXPECT_FALSE(read.cancelled);

  // A change of direction starts a new list.
  session.Handle(NoticeCode(ui::notice::kOneWay), 1);
  EXPECT_TRUE(session.readouts().empty());
  EXPECT_FALSE(session.display().readout_box.shown);
}

TEST_F(CountingSessionTest, EveryCodeHasOneActionAndValuesOutOfRangeDoNothing) {
  std::set<module::CountingCode> codes;
  for (const module::CountingRoute& route : module::CountingRoutes()) {
    EXPECT_TRUE(codes.insert(route.code).second) << static_cast<quint32>(route.code);
  }
  CountingSession session(core::CountingKind::kRange, answers_);
  // The picture commands are the view's, and a close request is the frame's; 1003 is a copy
  // command, not the panel key notice.
  for (const quint32 code : {ui::command::kPrint, ui::command::kCopyPicture,
                             ui::command::kCloseRequest, ui::command::kHelp}) {
    EXPECT_FALSE(session.Handle(CommandCode(code), 0)) << code;
  }
  EXPECT_FALSE(session.Handle(NoticeCode(ui::notice::kPanelKey), 0));
  int changes = 0;
  QObject::connect(&session, &CountingSession::Changed, [&] { ++changes; });
  const render::ViewChoices& shown = session.display();
  struct Case {
    module::CountingCode code;
    qintptr value;
    bool changed;
  };
  const Case cases[] = {
      {CommandCode(ui::command::kGrid), 2, true},             // hide
      {CommandCode(ui::command::kGrid), 0, true},             // toggle: shown
      {CommandCode(ui::command::kCursor), 2, true},           // hide
      {CommandCode(ui::command::kMarkStyle), 5, false},       // 0..4
      {CommandCode(ui::command::kMarkStyle), 2, true},        //
      {NoticeCode(ui::notice::kMarkStyle), -1, false},        //
      {NoticeCode(ui::notice::kCurveType), 8, false},         // 0..7
      {NoticeCode(ui::notice::kCurveType), 6, true},          // points: curve 1, symbol 0
      {NoticeCode(ui::notice::kZoomSlider), 401, false},      // 0..400
      {NoticeCode(ui::notice::kZoomSlider), 300, true},       // 10^1
      {CommandCode(ui::command::kZoom), 4, false},            // 0..3
      {CommandCode(ui::command::kZoom), 1, true},             // x 1.1
      {CommandCode(ui::command::kDisplaySetting), 1, false},  // peak counting only
      {NoticeCode(ui::notice::kInset), 0, true},
      {CommandCode(ui::command::kMatrixView), 1, false},  // rainflow only
      {CommandCode(ui::command::kFromToView), 1, false},  // rainflow only
  };
  for (const Case& c : cases) {
    const int before = changes;
    EXPECT_TRUE(session.Handle(c.code, c.value));
    EXPECT_EQ(changes > before, c.changed) << static_cast<quint32>(c.code) << " value " << c.value;
  }
  EXPECT_TRUE(shown.grid_shown);
  EXPECT_FALSE(shown.cursor_shown);
  EXPECT_EQ(shown.mark_style, 2);
  EXPECT_EQ(shown.curve_type, 1);
  EXPECT_EQ(shown.symbol_type, 0);
  EXPECT_NEAR(shown.zoom, 11.0, 1e-9);
  EXPECT_FALSE(shown.inset_shown);
  // Without a result nothing is saved, and no parameter file was read.
  session.Handle(CommandCode(ui::command::kSaveResult), 0);
  EXPECT_TRUE(answers_.told.empty());
  EXPECT_TRUE(answers_.warned.empty());
}

/// How a pass cancelled by CancelInPass went: whether the cancel was sent, whether the counting
/// pass reported, and how far the cancelled pass (envelope or counting) came.
struct PassCancelState {
  bool sent = false, counting_seen = false;
  qint64 reached = 0, end = 0;
};
using PassCancel = std::shared_ptr<PassCancelState>;

/// Starts `session`'s pass, cancels it at the first report of its counting pass (`in_counting`)
/// or of its envelope pass, and waits for its end.
PassCancel CancelInPass(CountingSession& session, bool in_counting) {
  const QString counting = QString::fromStdString(
      std::string(core::LoadMessageTable(core::Language::kEnglish)[core::kMsgCountingCaption]));
  auto state = std::make_shared<PassCancelState>();
  QObject::connect(&session, &CountingSession::PassProgressed,
                   [&session, state, counting, in_counting](qint64, qint64 upper, qint64 position,
                                                            const QString& status) {
                     const bool counting_report = status.startsWith(counting);
                     state->counting_seen |= counting_report;
                     if (counting_report != in_counting) return;
                     state->reached = position, state->end = upper;
                     if (!state->sent) {
                       state->sent = true;
                       session.CancelPass();
                     }
                   });
  session.Start();
  EXPECT_TRUE(WaitFor([&] { return !session.busy(); }, 300000));
  return state;
}

TEST_F(CountingSessionTest, ACancelledPassIsKeptButNeverSaved) {
  WriteCountingTest(data_.path(), Zigzag(), 1 << 19);
  CountingSession session(core::CountingKind::kPeak, answers_);
  const PassCancel cancel = CancelInPass(session, true);
  ASSERT_TRUE(cancel->sent);
  ASSERT_TRUE(session.result());
  EXPECT_TRUE(session.cancelled());
  const auto& partial = std::get<core::PeakResultFile>(*session.result()).result;
  EXPECT_TRUE(partial.cancelled);
  EXPECT_LT(cancel->reached, cancel->end) << "the pass ended before the record's end";
  EXPECT_TRUE(session.Title().endsWith(QStringLiteral("(cancelled)")));
  ASSERT_EQ(answers_.statuses.size(), 1);
  EXPECT_TRUE(answers_.statuses[0].contains(QStringLiteral("cancelled")));
  ASSERT_EQ(answers_.told.size(), 1);
  EXPECT_EQ(answers_.told[0].toStdString(),
            core::LoadMessageTable(core::Language::kEnglish)[core::kMsgCalculationCancelled]);

  session.SaveResult();
  session.Export();
  EXPECT_FALSE(fs::exists(data_.path() / "abc1#2.PCM"));
  ASSERT_EQ(answers_.warned.size(), 2) << answers_.warned.join("|").toStdString();
  for (const QString& warning : answers_.warned) {
    EXPECT_TRUE(warning.contains(QStringLiteral("cancelled"))) << warning.toStdString();
  }
}

// A cancel while the envelope of automatic A is read ends the pass there: nothing was counted,
// the status says so, and no box warns of an error.
TEST_F(CountingSessionTest, ACancelWhileTheEnvelopeIsReadCountsNothingAndWarnsOfNothing) {
  WriteCountingTest(data_.path(), Zigzag(), 1 << 19);
  CountingSession session(core::CountingKind::kPeak, answers_);
  const PassCancel cancel = CancelInPass(session, false);
  ASSERT_TRUE(cancel->sent);
  EXPECT_FALSE(cancel->counting_seen) << "the counting pass never began";
  EXPECT_LT(cancel->reached, cancel->end) << "the envelope pass ended before the record's end";
  EXPECT_FALSE(session.result());
  EXPECT_EQ(answers_.statuses, QStringList{ui::Text(ui::TextKey::kCountingCancelledStatus)});
  EXPECT_TRUE(answers_.told.empty()) << answers_.told.join("|").toStdString();
  EXPECT_TRUE(answers_.warned.empty()) << answers_.warned.join("|").toStdString();
}

/// Answers the setup dialog with a residue method and gates on the fields shown.
class Conventions : public Answers {
 public:
  core::CountingPlan answer;
  void AskSetup(const core::CountingPlan& shown, double, const QString&,
                std::function<void(std::optional<core::CountingPlan>)> reply) override {
    core::CountingPlan request = shown;
    request.residue = answer.residue;
    request.gate = answer.gate;
    request.crossings.gate = answer.crossings.gate;
    reply(request);
  }
};

TEST_F(CountingSessionTest, ThePlanNamesTheConventionsOnlyWhereTheyAreNotTheDefault) {
  WriteCountingTest(data_.path(), Zigzag());
  using core::CountingKind;
  using core::ResidueMethod;
  const struct {
    CountingKind kind;
    std::optional<ResidueMethod> answered, planned;
    double gate, crossing_gate;
  } kCases[] = {
      // Half is the system's own: not named, so that a default count keeps its bytes.
      {CountingKind::kRainflow, ResidueMethod::kHalf, std::nullopt, 0.0, 0.0},
      {CountingKind::kRainflow, ResidueMethod::kRepeated, ResidueMethod::kRepeated, 1.5, 0.0},
      {CountingKind::kPeak, std::nullopt, std::nullopt, 2.0, 0.0},
      // A level crossing's gate stays with its levels, never in the plan's own gate.
      {CountingKind::kCrossings, std::nullopt, std::nullopt, 0.0, 1.0},
  };
  for (const auto& c : kCases) {
    Conventions answers;
    answers.answer.residue = c.answered;
    answers.answer.gate = c.gate;
    answers.answer.crossings.gate = c.crossing_gate;
    CountingSession session(c.kind, answers);
    session.Start();
    ASSERT_TRUE(WaitFor([&] { return !session.busy() && session.result(); }, 300000));
    EXPECT_TRUE(answers.warned.empty()) << answers.warned.join("|").toStdString();
    const core::CountingPlan plan = session.Plan();
    EXPECT_EQ(plan.residue, c.planned) << static_cast<int>(c.kind);
    EXPECT_EQ(plan.gate, c.gate) << static_cast<int>(c.kind);
    EXPECT_EQ(plan.crossings.gate, c.crossing_gate) << static_cast<int>(c.kind);
  }
}

/// Answers Select Node with node "3" (another unit and scale), and keeps what each setup
/// dialog was shown.
class NodeSwitch : public Answers {
 public:
  std::vector<double> shown_set_values, shown_ad_ranges;
  std::function<void()> choose;
  bool AskNode() override {
    choose();
    return true;
  }
  void AskSetup(const core::CountingPlan& shown, double ad_range, const QString&,
                std::function<void(std::optional<core::CountingPlan>)> answer) override {
    const core::CountingParameters& parameters = shown.parameters;
    shown_set_values.push_back(parameters.set_value);
    shown_ad_ranges.push_back(ad_range);
    // OK with the whole record, and the amplitude set to `specify` when there is one.
    core::CountingPlan request;
    request.parameters.range_mode = core::kRangeFull;
    request.parameters.amplitude_mode =
        specify ? core::kAmplitudeSetValue : parameters.amplitude_mode;
    request.parameters.set_value = specify.value_or(parameters.set_value);
    request.parameters.partitions = parameters.partitions;
    answer(request);
  }
  std::optional<double> specify;
};

TEST_F(CountingSessionTest, SelectNodeStartsTheSetValueFromTheNewNodesAdRange) {
  WriteCountingTest(data_.path(), Zigzag());
  NodeLayout other;
  other.test_name = "abc";
  other.test_code = "1";
  other.node_name = "3";
  other.c1 = 0.01;  // a hundred times the range of node 2
  other.eu = "kN";
  WriteNode(data_.path(), Zigzag(), other);
  NodeSwitch answers;
  answers.choose = [&] {
    core::TestContext context;
    context.test_name = "abc";
    context.test_code = "1";
    context.data_path = data_.path().string();
    context.result_path = data_.path().string();
    context.node_list = {"2", "3"};
    context.node_name = "3";
    ASSERT_TRUE(core::WriteAnalysisParameterFile(core::GetHostFolder() / core::kParameterFileName,
                                                 context));
  };
  CountingSession session(core::CountingKind::kPeak, answers);
  int ended = 0;
  QObject::connect(&session, &CountingSession::PassEnded, [&] { ++ended; });
  session.Start();
  ASSERT_TRUE(WaitFor([&] { return ended == 1; }, 300000));
  ASSERT_EQ(answers.shown_ad_ranges.size(), 1u);
  // The person specifies 123 (in node 2's unit) and counts again.
  answers.specify = 123.0;
  session.Handle(module::NoticeCode(ui::notice::kSetup), 0);
  ASSERT_EQ(answers.shown_set_values.size(), 2u);
  ASSERT_TRUE(WaitFor([&] { return ended == 2 && !session.busy(); }, 300000));
  ASSERT_DOUBLE_EQ(session.parameters().set_value, 123.0);
  answers.specify.reset();
  session.Handle(module::NoticeCode(ui::notice::kReload), 0);
  ASSERT_EQ(answers.shown_set_values.size(), 3u);
  // Node 3's dialog starts from node 3's AD range, not from the 123 set for node 2.
  EXPECT_DOUBLE_EQ(answers.shown_set_values[2], answers.shown_ad_ranges[2]);
  EXPECT_NE(answers.shown_set_values[2], 123.0);
  ASSERT_TRUE(WaitFor([&] { return ended == 3; }, 300000));
}

}  // namespace
}  // namespace torvwy::testing
