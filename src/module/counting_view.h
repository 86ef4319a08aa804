// The view of one counting analysis (peak, range or rainflow): reads the test, counts on a worker
// thread behind the progress dialog, and shows the picture.
#pragma once

#include <QString>
#include <filesystem>
#include <optional>
#include <vector>

#include "core/counting/counting_parameters.h"
#include "core/counting/counting_run.h"
#include "core/data/parameter_file.h"
#include "core/files/result_file.h"
#include "module/picture_view.h"
#include "ui/progress_dialog.h"

namespace torvwy::module {

/// Start-up: 100 ms after the window is first shown the view reads "TorvWyPara.txt" of the host
/// folder. In analysis mode it loads the first node and counts it (envelope and counts, one
/// pass behind the progress dialog); in result mode it reads the first result file and never
/// counts or saves. A window that can't start says why and closes.
class CountingView : public PictureView {
  Q_OBJECT

 public:
  explicit CountingView(core::CountingKind kind, QWidget* parent = nullptr);

  core::CountingKind kind() const { return kind_; }
  bool busy() const override { return runner_.busy(); }
  void CancelPass() override { runner_.Cancel(); }
  QString HelpTopic() const override;
  render::PictureReport DrawPicture(QPainter& painter,
                                    const render::TargetGeometry& geometry) override;

  /// The counted or opened result; empty before the first pass ends. After a cancel it holds
  /// the partial counts, marked as cancelled.
  const std::optional<core::AnyResultFile>& result() const { return file_; }
  const core::TestContext& context() const { return context_; }
  const render::ViewState& view_state() const { return state_; }
  bool result_mode() const { return context_.result_mode != 0; }
  /// The last pass was cancelled: its partial counts are shown but never saved, reported or
  /// exported.
  bool cancelled() const { return file_ && core::PassCancelled(*file_); }
  /// Counts again with the current parameters (2125/3027 without the setup dialog).
  void Recount();
  ui::PassRunner& runner() { return runner_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void HandleCommand(quint32 code, qintptr value) override;
  void HandleNotice(quint32 code, qintptr value) override;
  QString PictureName() const override;

 private:
  void Start();
  void Fail(const QString& text);
  void UpdateTitle();
  void SaveResult();
  void Report();
  void Export();

  core::CountingKind kind_;
  bool started_ = false;
  core::TestContext context_;
  core::CountingNode node_;  ///< the node counted (empty data file in result mode)
  core::CountingParameters parameters_;
  std::optional<core::AnyResultFile> file_;
  std::vector<core::Label> bookmarks_;
  render::ViewState state_;
  ui::PassRunner runner_{this};
};

}  // namespace torvwy::module
