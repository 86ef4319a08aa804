// The progress dialog and the worker thread of a pass.
#include "ui/progress_dialog.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

#include "ui/language.h"

namespace torvwy::ui {

ProgressDialog::ProgressDialog(QWidget* owner, const QString& caption)
    : QDialog(owner), owner_(owner) {
  setWindowTitle(caption);
  setModal(false);
  auto* layout = new QVBoxLayout(this);
  status_ = new QLabel(this);
  status_->setMinimumWidth(320);
  percent_ = new QLabel(QStringLiteral(" 0 %"), this);
  percent_->setAlignment(Qt::AlignCenter);
  bar_ = new QProgressBar(this);
  bar_->setTextVisible(false);
  bar_->setRange(0, 100);
  auto* cancel = new QPushButton(Text(TextKey::kCancel), this);
  connect(cancel, &QPushButton::clicked, this, [this] { RequestCancel(); });
  layout->addWidget(status_);
  layout->addWidget(percent_);
  layout->addWidget(bar_);
  layout->addWidget(cancel, 0, Qt::AlignHCenter);
  if (owner_ != nullptr && owner_->isEnabled()) {
    owner_->setEnabled(false);
    owner_disabled_ = true;
  }
  // The dialog itself must stay usable while its owner is disabled.
  setEnabled(true);
}

ProgressDialog::~ProgressDialog() { Done(); }

void ProgressDialog::Done() {
  if (owner_disabled_ && owner_ != nullptr) owner_->setEnabled(true);
  owner_disabled_ = false;
}

void ProgressDialog::closeEvent(QCloseEvent* event) {
  // Closing the dialog is the same as Cancel; the pass decides when it ends.
  RequestCancel();
  event->ignore();
}

void ProgressDialog::SetStatus(const QString& text) {
  if (status_->text() != text) status_->setText(text);
}

void ProgressDialog::SetRange(qint64 lower, qint64 upper) {
  lower_ = lower;
  upper_ = upper;
}

void ProgressDialog::SetPos(qint64 position) {
  const int percent = core::ProgressPercent(position, lower_, upper_);
  bar_->setValue(percent);
  const QString text = QStringLiteral("%1%").arg(percent);
  if (percent_->text() != text) percent_->setText(text);
}

QString ProgressDialog::PercentText() const { return percent_->text(); }
QString ProgressDialog::StatusText() const { return status_->text(); }

void WorkerProgress::OnChanged() {
  const int percent = this->percent();
  if (percent == shown_percent_ && status() == shown_status_) return;
  shown_percent_ = percent;
  shown_status_ = status();
  const qint64 lower = this->lower(), upper = this->upper(), position = this->position();
  const QString text = QString::fromStdString(status());
  ProgressDialog* dialog = dialog_;
  QMetaObject::invokeMethod(
      dialog,
      [dialog, lower, upper, position, text] {
        dialog->SetRange(lower, upper);
        dialog->SetPos(position);
        dialog->SetStatus(text);
      },
      Qt::QueuedConnection);
}

void WorkerProgress::OnPoll() {
  if (dialog_->TakeCancel()) RequestCancel();
}

PassRunner::PassRunner(QWidget* owner) : QObject(owner), owner_(owner) {}

PassRunner::~PassRunner() { Wait(); }

bool PassRunner::Start(const QString& status, std::function<void(core::Progress&)> pass,
                       std::function<void()> done) {
  if (busy_) return false;
  busy_ = true;
  // The whole analysis window (the view's frame) waits for the pass, not the host.
  QWidget* window =
      owner_->parentWidget() != nullptr && !owner_->isWindow() ? owner_->parentWidget() : owner_;
  dialog_ = new ProgressDialog(window);
  dialog_->SetStatus(status);
  dialog_->show();
  ProgressDialog* dialog = dialog_;
  thread_.reset(QThread::create([pass = std::move(pass), dialog] {
    WorkerProgress progress(dialog);
    pass(progress);
  }));
  connect(thread_.get(), &QThread::finished, this, [this, done = std::move(done)] {
    if (!busy_) return;  // Wait() took over
    thread_->wait();
    busy_ = false;
    delete dialog_.data();
    if (done) done();
    emit Finished();
  });
  thread_->start();
  return true;
}

void PassRunner::Cancel() {
  if (dialog_ != nullptr) dialog_->RequestCancel();
}

void PassRunner::Wait() {
  if (!busy_) return;
  Cancel();
  thread_->wait();
  busy_ = false;
  delete dialog_.data();
}

}  // namespace torvwy::ui
