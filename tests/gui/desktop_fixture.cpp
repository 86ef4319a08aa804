// The desktop tests' shared fixture and spies.
#include "desktop_fixture.h"

#include <cmath>
#include <filesystem>

#include "core/data/parameter_file.h"
#include "core/services/folders.h"
#include "module/counting_view.h"
#include "module/setup_dialog.h"
#include "ui/host_message.h"
#include "ui/message_box.h"

namespace torvwy::testing {
namespace {

/// A sum of three sines: turning points of many heights.
std::vector<double> Sines(size_t samples) {
  std::vector<double> x(samples);
  for (size_t i = 0; i < x.size(); ++i) {
    const double t = static_cast<double>(i);
    x[i] = 50.0 * std::sin(t / 40.0) + 20.0 * std::sin(t / 7.3) + 5.0 * std::sin(t / 2.1);
  }
  return x;
}

NodeLayout TestLayout() {
  NodeLayout layout;
  layout.test_name = "abc";
  layout.test_code = "1";
  layout.node_name = "2";
  return layout;
}

}  // namespace

bool PassMarker(QObject* frame, QObject* view) {
  // A notice code no frame or view has: the frame posts it on to its view, which drops it.
  constexpr quint32 kMarker = 9998;
  class Catcher : public QObject {
   public:
    bool arrived = false;

   protected:
    bool eventFilter(QObject*, QEvent* event) override {
      if (event->type() == ui::kHostNoticeEvent &&
          static_cast<ui::HostMessage*>(event)->code() == kMarker) {
        arrived = true;
      }
      return false;
    }
  } catcher;
  view->installEventFilter(&catcher);
  ui::PostHostNotice(frame, kMarker, 0);
  const bool arrived = WaitFor([&] { return catcher.arrived; });
  view->removeEventFilter(&catcher);
  return arrived;
}

CommandSpy::CommandSpy(QObject* target) { target->installEventFilter(this); }

bool CommandSpy::eventFilter(QObject*, QEvent* event) {
  if (event->type() == ui::kHostCommandEvent) {
    codes.push_back(static_cast<ui::HostMessage*>(event)->code());
  }
  return false;
}

void DesktopTest::SetUp() {
  ui::SetMessageReceiverForTesting(&sink_);
  // Every setup dialog takes its fields as they are, as a click on OK would; the setup tests
  // show it.
  module::SetupDialog::SetAnswerForTesting(QDialog::Accepted);
  QString error;
  ASSERT_TRUE(host_.LoadModule(QStringLiteral(TORVWY_MODULE_PATH), &error)) << error.toStdString();
  host_.show();
}

void DesktopTest::TearDown() {
  ui::SetMessageReceiverForTesting(nullptr);
  module::SetupDialog::SetAnswerForTesting(QDialog::Accepted);
  module::CountingView::SetSaveNameForTesting(std::nullopt);
}

void WriteCountingTest(const std::filesystem::path& dir, const std::vector<double>& samples,
                       int32_t half_blocks) {
  NodeLayout layout = TestLayout();
  if (half_blocks > 0) {
    layout.length_half_blocks = half_blocks;
    layout.format = 951;  // int16: a quarter of the bytes of float64 to read
  }
  const WrittenNode node = WriteNode(dir, samples, layout);
  // Extending the file leaves a hole that reads as zeros.
  if (half_blocks > 0) {
    std::filesystem::resize_file(node.sts, static_cast<uintmax_t>(half_blocks) * 512 * 2);
  }
  core::TestContext context;
  context.test_name = "abc";
  context.test_code = "1";
  context.data_path = dir.string();
  context.result_path = dir.string();
  context.node_list = {"2"};
  context.node_name = "2";
  ASSERT_TRUE(
      core::WriteAnalysisParameterFile(core::GetHostFolder() / core::kParameterFileName, context));
}

void DesktopTest::WriteTest(const std::vector<double>& samples) {
  WriteCountingTest(data_.path(), samples);
}

void DesktopTest::WriteTest(size_t samples) { WriteTest(Sines(samples)); }

void DesktopTest::WriteLongTest(int32_t half_blocks) {
  WriteCountingTest(data_.path(), Sines(8192), half_blocks);
}

}  // namespace torvwy::testing
