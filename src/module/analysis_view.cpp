// Dispatching the host messages to a view.
#include "module/analysis_view.h"

#include "ui/host_message.h"

namespace torvwy::module {

bool AnalysisView::event(QEvent* event) {
  if (event->type() == ui::kHostCommandEvent || event->type() == ui::kHostNoticeEvent) {
    const auto* message = static_cast<ui::HostMessage*>(event);
    if (busy()) return true;  // a second command during a pass is dropped
    setFocus();
    if (event->type() == ui::kHostCommandEvent) {
      if (message->code() >= ui::command::kFirst && message->code() <= ui::command::kLast) {
        HandleCommand(message->code(), message->value());
      }
    } else {
      HandleNotice(message->code(), message->value());
    }
    return true;
  }
  return QWidget::event(event);
}

}  // namespace torvwy::module
