// The import of a recording from the desktop: the channels ticked in the dialog become nodes
// holding the file's values, an existing node is kept unless replacing is asked for, and Cancel
// at the progress dialog leaves no partial node.
#include "host/import_recording_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QTableWidget>
#include <QtTest/QTest>
#include <chrono>
#include <fstream>
#include <future>
#include <set>

#include "core/data/sampling_info.h"
#include "core/data/waveform_reader.h"
#include "desktop_fixture.h"
#include "module/analysis_frame.h"
#include "module/counting_view.h"
#include "ui/progress_dialog.h"

namespace torvwy::testing {
namespace {
namespace fs = std::filesystem;
using host::ImportRecordingDialog;
using ImportRecording = DesktopTest;

/// The columns of a test recording: time in s at 4 Hz, then three channels of values that
/// binary fractions hold exactly.
struct Columns {
  std::vector<double> time, strain, b, c;
};

Columns MakeColumns(size_t rows) {
  Columns columns;
  for (size_t k = 0; k < rows; ++k) {
    const double x = static_cast<double>(k);
    columns.time.push_back(x * 0.25);
    columns.strain.push_back(x * 0.5);
    columns.b.push_back(-x * 1.25);
    columns.c.push_back(static_cast<double>(k % 7) - 3.0);
  }
  return columns;
}

fs::path WriteCsv(const fs::path& dir, const Columns& columns) {
  const fs::path file = dir / "rec.csv";
  std::ofstream out(file);
  out.precision(17);
  out << "time,Strain 1,b,c\n";
  for (size_t k = 0; k < columns.time.size(); ++k) {
    out << columns.time[k] << ',' << columns.strain[k] << ',' << columns.b[k] << ',' << columns.c[k]
        << '\n';
  }
  return file;
}

/// The values of a node in engineering units (raw / c2 / c1), its record padding left off.
std::vector<double> NodeValues(const fs::path& dir, const std::string& stem, size_t samples) {
  auto info = core::ReadSamplingParameters(dir / (stem + ".tsp"));
  EXPECT_TRUE(info) << stem;
  if (!info) return {};
  EXPECT_EQ(info->frequency_hz(), 4.0) << stem;
  auto reader = core::WaveformReader::Open(dir / (stem + ".sts"), *info);
  EXPECT_TRUE(reader) << stem;
  if (!reader) return {};
  std::vector<double> values(samples);
  EXPECT_TRUE(reader->Read(values)) << stem;
  for (double& v : values) v = v / info->c2() / info->c1();
  return values;
}

/// Clicks a check box on its box, as a person does.
void ClickCheckBox(QCheckBox* box) {
  QStyleOptionButton option;
  option.initFrom(box);
  const QRect indicator = box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box);
  QTest::mouseClick(box, Qt::LeftButton, {}, indicator.center());
}

void TypeTest(ImportRecordingDialog* dialog, const QString& name, const QString& code) {
  auto* test_name = dialog->findChild<QLineEdit*>(QStringLiteral("test_name"));
  auto* test_code = dialog->findChild<QLineEdit*>(QStringLiteral("test_code"));
  ASSERT_NE(test_name, nullptr);
  ASSERT_NE(test_code, nullptr);
  QTest::keyClicks(test_name, name);
  QTest::keyClicks(test_code, code);
}

void PressOk(ImportRecordingDialog* dialog) {
  auto* buttons = dialog->findChild<QDialogButtonBox*>();
  ASSERT_NE(buttons, nullptr);
  QTest::mouseClick(buttons->button(QDialogButtonBox::Ok), Qt::LeftButton);
}

/// Takes the progress hook away however the test ends.
struct HookGuard {
  ~HookGuard() { ImportRecordingDialog::SetProgressHookForTesting({}); }
};

/// The names of the files in `dir`.
std::set<std::string> FilesIn(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& item : fs::directory_iterator(dir)) names.insert(item.path().filename());
  return names;
}

TEST(ImportPlan, CheckedChannelsTakeTheirNamesAmongThemselves) {
  using recording::ChannelInfo;
  struct Case {
    const char* what;
    std::vector<std::string> channels;
    std::vector<bool> checked;
    std::vector<std::string> typed;
    std::vector<std::pair<size_t, std::string>> plan;  ///< channel, node; empty: refused
    bool refused = false;
  };
  const Case cases[] = {
      {"cleaned names",
       {"Strain 1", "b", "#"},
       {true, false, true},
       {},
       {{0, "Strain_1"}, {2, "ch3"}}},
      {"the second of two names, alone", {"a", "a"}, {false, true}, {}, {{1, "a"}}},
      {"both of two names", {"a", "a", "b"}, {true, true, false}, {}, {{0, "a"}, {1, "a_2"}}},
      // Channel 2 by its number would be the channel named "2".
      {"a number that names another channel",
       {"a", "a", "2"},
       {false, true, false},
       {},
       {{1, "a_2"}}},
      {"a channel named as a number", {"2", "1"}, {false, true}, {}, {{1, "1"}}},
      {"a typed name", {"x", "y"}, {true, true}, {"", "z"}, {{0, "x"}, {1, "z"}}},
      {"a typed name on an unchecked channel", {"x", "y"}, {true, false}, {"", "z"}, {{0, "x"}}},
      {"a typed name taken", {"x", "y"}, {true, true}, {"", "x"}, {}, true},
      {"a typed name with a separator", {"x"}, {true}, {"a/b"}, {}, true},
      {"nothing checked", {"x", "y"}, {false, false}, {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<ChannelInfo> channels;
    for (const std::string& name : c.channels) channels.push_back({name, 10, 1.0, "", {}});
    std::vector<std::string> typed = c.typed;
    typed.resize(channels.size());
    auto plan = host::PlanCheckedChannels(channels, c.checked, typed);
    ASSERT_EQ(static_cast<bool>(plan), !c.refused);
    if (!plan) continue;
    std::vector<std::pair<size_t, std::string>> got;
    for (const auto& node : *plan) got.emplace_back(node.channel, node.node);
    EXPECT_EQ(got, c.plan);
  }
}

TEST_F(ImportRecording, TheCheckedChannelsBecomeNodesOfTheFilesValues) {
  const Columns columns = MakeColumns(1100);
  const fs::path csv = WriteCsv(data_.path(), columns);
  QPointer<ImportRecordingDialog> dialog = host_.ImportRecording(QString::fromStdString(csv));
  ASSERT_NE(dialog, nullptr) << messages_.join("|").toStdString();
  ASSERT_SOON_TRUE(dialog->isVisible());

  // Three channels (more than a block each, for the counting window), the time column said apart;
  // the rate comes from the time column.
  QTableWidget* table = dialog->table();
  ASSERT_EQ(table->rowCount(), 3);
  EXPECT_EQ(dialog->check_box(0)->text(), QStringLiteral("Strain 1"));
  for (int row = 0; row < 3; ++row) {
    EXPECT_TRUE(dialog->check_box(static_cast<size_t>(row))->isChecked());
    EXPECT_EQ(table->item(row, 1)->text(), QStringLiteral("1100"));
    EXPECT_EQ(table->item(row, 2)->text(), QStringLiteral("4"));
  }
  EXPECT_EQ(table->item(0, 4)->text(), QStringLiteral("Strain_1"));
  auto* skipped = dialog->findChild<QLabel*>(QStringLiteral("skipped"));
  ASSERT_NE(skipped, nullptr);
  EXPECT_TRUE(skipped->text().contains(QStringLiteral("time"))) << skipped->text().toStdString();
  EXPECT_EQ(dialog->findChild<QLineEdit*>(QStringLiteral("data_path"))->text(),
            QString::fromStdString(data_.path().string()));

  ClickCheckBox(dialog->check_box(1));
  EXPECT_FALSE(dialog->check_box(1)->isChecked());
  EXPECT_EQ(table->item(1, 4)->text(), QString());
  TypeTest(dialog, QStringLiteral("lab"), QStringLiteral("7"));
  sink_.answer = true;  // open the counting window offered
  PressOk(dialog);

  ASSERT_SOON_TRUE(dialog.isNull());
  ASSERT_EQ(messages_.size(), 2) << messages_.join("|").toStdString();
  EXPECT_TRUE(messages_[0].startsWith(QStringLiteral("Imported 2 of 2 nodes")))
      << messages_[0].toStdString();
  EXPECT_TRUE(messages_[1].contains(QStringLiteral("lab7#Strain_1"))) << messages_[1].toStdString();
  EXPECT_EQ(NodeValues(data_.path(), "lab7#Strain_1", 1100), columns.strain);
  EXPECT_EQ(NodeValues(data_.path(), "lab7#c", 1100), columns.c);
  EXPECT_FALSE(fs::exists(data_.path() / "lab7#b.tsp"));
  EXPECT_FALSE(fs::exists(data_.path() / "lab7#b.sts"));

  // The window opened counts the first node written.
  ASSERT_EQ(host_.frames().size(), 1u);
  auto* frame = qobject_cast<module::AnalysisFrame*>(host_.frames().front());
  ASSERT_NE(frame, nullptr);
  auto* view = qobject_cast<module::CountingView*>(frame->view());
  ASSERT_NE(view, nullptr);
  ASSERT_TRUE(WaitFor([&] { return view->result().has_value(); }))
      << messages_.join("|").toStdString();
  EXPECT_TRUE(
      view->windowTitle().endsWith(QStringLiteral("Test Name:lab, Test Code:7, Node:Strain_1")))
      << view->windowTitle().toStdString();
}

TEST_F(ImportRecording, AnExistingNodeIsKeptUnlessReplacingIsAsked) {
  const Columns columns = MakeColumns(20);
  const fs::path csv = WriteCsv(data_.path(), columns);
  NodeLayout layout;
  layout.test_name = "lab";
  layout.test_code = "7";
  layout.node_name = "b";
  WriteNode(data_.path(), std::vector<double>(512, 1.0), layout);
  const auto before = FilesIn(data_.path());

  QPointer<ImportRecordingDialog> dialog = host_.ImportRecording(QString::fromStdString(csv));
  ASSERT_NE(dialog, nullptr);
  TypeTest(dialog, QStringLiteral("lab"), QStringLiteral("7"));
  PressOk(dialog);
  ASSERT_EQ(messages_.size(), 1);
  EXPECT_TRUE(messages_[0].contains(QStringLiteral("lab7#b"))) << messages_[0].toStdString();
  EXPECT_FALSE(dialog.isNull());
  EXPECT_FALSE(dialog->busy());
  EXPECT_EQ(FilesIn(data_.path()), before);

  // Replacing: every node is written, b with the file's values.
  ClickCheckBox(dialog->findChild<QCheckBox*>(QStringLiteral("overwrite")));
  PressOk(dialog);
  ASSERT_SOON_TRUE(dialog.isNull());
  EXPECT_TRUE(messages_[1].startsWith(QStringLiteral("Imported 3 of 3 nodes")))
      << messages_[1].toStdString();
  EXPECT_EQ(NodeValues(data_.path(), "lab7#b", 20), columns.b);
  EXPECT_TRUE(host_.frames().empty());  // the counting window was declined
}

TEST_F(ImportRecording, CancelAtTheProgressDialogLeavesNoPartialNode) {
  // Longer than a piece of the reader, so that the import is stopped inside the second node.
  const fs::path csv = WriteCsv(data_.path(), MakeColumns(100000));
  QPointer<ImportRecordingDialog> dialog = host_.ImportRecording(QString::fromStdString(csv));
  ASSERT_NE(dialog, nullptr);
  // The pass waits past half way until Cancel has been pressed.
  std::promise<void> reached, pressed;
  std::shared_future<void> pressed_future = pressed.get_future().share();
  bool once = false;
  const HookGuard guard;
  ImportRecordingDialog::SetProgressHookForTesting([&](int64_t done, int64_t total) {
    if (once || 2 * done <= total) return;
    once = true;
    reached.set_value();
    pressed_future.wait_for(std::chrono::seconds(60));
  });
  auto reached_future = reached.get_future();
  TypeTest(dialog, QStringLiteral("lab"), QStringLiteral("7"));
  PressOk(dialog);
  ASSERT_TRUE(WaitFor([&] {
    return reached_future.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
  }));
  ui::ProgressDialog* progress = dialog->runner()->dialog();
  ASSERT_NE(progress, nullptr);
  EXPECT_FALSE(dialog->isEnabled());
  QTest::mouseClick(progress->findChild<QPushButton*>(), Qt::LeftButton);
  pressed.set_value();
  ASSERT_SOON_TRUE(dialog.isNull() || !dialog->busy());

  // The first node is whole, nothing of the second is left, and the third was never begun.
  EXPECT_EQ(FilesIn(data_.path()),
            (std::set<std::string>{"rec.csv", "lab7#Strain_1.sts", "lab7#Strain_1.tsp"}));
  auto info = core::ReadSamplingParameters(data_.path() / "lab7#Strain_1.tsp");
  ASSERT_TRUE(info);
  EXPECT_EQ(info->length_half_blocks(), (100000 + 511) / 512);
  ASSERT_GE(messages_.size(), 1);
  EXPECT_TRUE(messages_[0].startsWith(QStringLiteral("Imported 1 of 3 nodes")))
      << messages_[0].toStdString();
  EXPECT_TRUE(messages_[0].contains(QStringLiteral("cancelled"))) << messages_[0].toStdString();
}

}  // namespace
}  // namespace torvwy::testing
