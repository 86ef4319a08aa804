// The bookmark dialog: node choice, list, show/hide, rename and delete written back at once.
#include "module/bookmark_dialog.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>

#include "core/services/text.h"
#include "render/colours.h"
#include "ui/error_message.h"
#include "ui/language.h"
#include "ui/message_box.h"
#include "ui/select_node_dialog.h"

namespace torvwy::module {
namespace {

constexpr render::ColourRef kDialogColour = 0xCEDAE1;  // a light beige
constexpr render::ColourRef kTextColour = 0x800000;    // dark blue

QString FromUtf8(const std::string& text) { return QString::fromUtf8(text); }

}  // namespace

BookmarkDialog::BookmarkDialog(QWidget* owner) : QDialog(owner) {
  using ui::Text;
  using ui::TextKey;
  setWindowTitle(Text(TextKey::kBookmarkTitle));
  setModal(false);
  // The dialog's own colours for what can be used; disabled buttons and labels keep the
  // style's greyed look.
  QPalette colours = palette();
  colours.setColor(QPalette::Window, render::ToQColor(kDialogColour));
  for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
    colours.setColor(group, QPalette::WindowText, render::ToQColor(kTextColour));
    colours.setColor(group, QPalette::ButtonText, render::ToQColor(kTextColour));
    colours.setColor(group, QPalette::Text, Qt::black);
  }
  colours.setColor(QPalette::Base, Qt::white);
  setPalette(colours);
  setAutoFillBackground(true);

  // The radio column, left of the separator: all that the compact size leaves.
  hide_ = new QRadioButton(Text(TextKey::kBookmarkHide), this);
  show_ = new QRadioButton(Text(TextKey::kBookmarkShow), this);
  show_->setChecked(true);
  auto* radios = new QVBoxLayout;
  radios->addWidget(hide_);
  radios->addWidget(show_);
  radios->addStretch();
  separator_ = new QFrame(this);
  separator_->setFrameShape(QFrame::VLine);
  separator_->setFrameShadow(QFrame::Sunken);

  edit_column_ = new QWidget(this);
  node_combo_ = new QComboBox(edit_column_);
  list_ = new QListWidget(edit_column_);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  new_name_ = new QLineEdit(edit_column_);
  rename_ = new QPushButton(Text(TextKey::kBookmarkRename), edit_column_);
  goto_ = new QPushButton(Text(TextKey::kBookmarkGoto), edit_column_);
  delete_ = new QPushButton(Text(TextKey::kBookmarkDelete), edit_column_);
  add_ = new QPushButton(Text(TextKey::kBookmarkAdd), edit_column_);
  for (QPushButton* button : {rename_, goto_, delete_, add_}) button->setAutoDefault(false);

  auto* grid = new QGridLayout(edit_column_);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->addWidget(new QLabel(Text(TextKey::kBookmarkSelectNode), edit_column_), 0, 0);
  grid->addWidget(node_combo_, 0, 1, 1, 2);
  auto* list_title = new QVBoxLayout;
  list_title->addWidget(new QLabel(Text(TextKey::kBookmarkList), edit_column_));
  if (ui::UiLanguage() == core::Language::kChinese) {
    list_title->addWidget(new QLabel(Text(TextKey::kBookmarkListSecondLine), edit_column_));
  }
  list_title->addStretch();
  grid->addLayout(list_title, 1, 0);
  grid->addWidget(list_, 1, 1, 4, 1);
  grid->addWidget(goto_, 1, 2);
  grid->addWidget(delete_, 2, 2);
  grid->addWidget(add_, 3, 2);
  grid->addWidget(rename_, 4, 2);
  grid->addWidget(new QLabel(Text(TextKey::kBookmarkNewName), edit_column_), 5, 0);
  grid->addWidget(new_name_, 5, 1, 1, 2);

  auto* layout = new QHBoxLayout(this);
  layout->addLayout(radios);
  layout->addWidget(separator_);
  layout->addWidget(edit_column_, 1);
  // The compact size is set by a plain resize below the layout's minimum.
  layout->setSizeConstraint(QLayout::SetNoConstraint);
  adjustSize();
  layout->activate();
  full_size_ = size();
  // The compact size holds the radio column whole: both buttons with their labels, the
  // separator and the layout's margins.
  const QMargins margins = layout->contentsMargins();
  const int radio_width = std::max(hide_->sizeHint().width(), show_->sizeHint().width());
  const int radio_height =
      hide_->sizeHint().height() + radios->spacing() + show_->sizeHint().height();
  compact_size_ =
      QSize(std::max(separator_->geometry().right() + 1,
                     margins.left() + radio_width + layout->spacing() +
                         separator_->sizeHint().width() + margins.right()),
            std::max(full_size_.height() / 2 + 3, margins.top() + radio_height + margins.bottom()));

  connect(node_combo_, &QComboBox::activated, this, &BookmarkDialog::NodeChanged);
  connect(list_, &QListWidget::itemSelectionChanged, this, &BookmarkDialog::ListSelectionChanged);
  connect(list_, &QListWidget::itemDoubleClicked, this, [this] { Goto(); });
  connect(new_name_, &QLineEdit::textEdited, this, &BookmarkDialog::NameEdited);
  connect(add_, &QPushButton::clicked, this, &BookmarkDialog::Add);
  connect(delete_, &QPushButton::clicked, this, &BookmarkDialog::Delete);
  connect(rename_, &QPushButton::clicked, this, &BookmarkDialog::Rename);
  connect(goto_, &QPushButton::clicked, this, &BookmarkDialog::Goto);
  connect(hide_, &QRadioButton::clicked, this, [this] { ChooseShown(false); });
  connect(show_, &QRadioButton::clicked, this, [this] { ChooseShown(true); });
  UpdateButtons();
}

bool BookmarkDialog::HasName(const QString& text) { return !text.trimmed().isEmpty(); }

QSize BookmarkDialog::FullSize() const { return full_size_; }

QSize BookmarkDialog::CompactSize() const { return compact_size_; }

void BookmarkDialog::ResetBookmarks() {
  nodes_.clear();
  new_name_->clear();
  selected_node_ = -1;
  selected_bookmark_ = -1;
}

void BookmarkDialog::SetNodes(std::vector<BookmarkNode> nodes) { nodes_ = std::move(nodes); }

void BookmarkDialog::RefreshBookmarks() {
  node_combo_->clear();
  for (const BookmarkNode& node : nodes_) node_combo_->addItem(node.name);
  selected_node_ = nodes_.empty() ? -1 : 0;
  node_combo_->setCurrentIndex(selected_node_);
  selected_bookmark_ = -1;
  new_name_->clear();
  FillList();
  hide_->setChecked(!show_flag_);
  show_->setChecked(show_flag_);
  UpdateButtons();
  ApplySize();
}

void BookmarkDialog::SetBookmarkMode(int mode) {
  if (mode < kFullMode || mode > kHideOnlyMode) return;
  mode_ = mode;
  const bool hide_only = mode_ == kHideOnlyMode;
  if (hide_only) show_flag_ = false;
  hide_->setChecked(!show_flag_);
  show_->setChecked(show_flag_);
  hide_->setEnabled(!hide_only);
  show_->setEnabled(!hide_only);
  UpdateButtons();
  ApplySize();
}

void BookmarkDialog::set_flags_shown(bool shown) {
  if (mode_ == kHideOnlyMode) shown = false;
  show_flag_ = shown;
  hide_->setChecked(!shown);
  show_->setChecked(shown);
  ApplySize();
}

void BookmarkDialog::ShowDialog() {
  if (!placed_ && parentWidget() != nullptr) {
    // First shown: over the middle of the window it belongs to.
    const QRect owner = parentWidget()->window()->frameGeometry();
    move(owner.center() - QPoint(width() / 2, height() / 2));
    placed_ = true;
  }
  if (show_flag_ && !isVisible()) {
    ui::AnimateShowWindow(this, QRect(pos(), size()), 50);
  } else {
    show();
  }
  raise();
  activateWindow();
}

void BookmarkDialog::HandleShowCommand(int value) {
  if (value == 1) {
    ShowDialog();
  } else if (value == 0) {
    if (isVisible()) {
      hide();
    } else {
      ShowDialog();
    }
  } else if (value == 2) {
    hide();
  }
}

void BookmarkDialog::closeEvent(QCloseEvent* event) {
  event->ignore();
  hide();
  emit CloseRequested();
}

void BookmarkDialog::keyPressEvent(QKeyEvent* event) {
  // Escape hides the modeless dialog like its close box; Enter presses no button.
  if (event->key() == Qt::Key_Escape) {
    hide();
    emit CloseRequested();
    return;
  }
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) return;
  QDialog::keyPressEvent(event);
}

void BookmarkDialog::NodeChanged(int index) {
  if (index < 0 || index >= static_cast<int>(nodes_.size()) || index == selected_node_) return;
  selected_node_ = index;
  selected_bookmark_ = -1;
  FillList();
  UpdateButtons();
}

void BookmarkDialog::ListSelectionChanged() {
  const auto rows = list_->selectionModel()->selectedRows();
  selected_bookmark_ = rows.isEmpty() ? -1 : rows.front().row();
  UpdateButtons();
}

void BookmarkDialog::NameEdited() { UpdateButtons(); }

void BookmarkDialog::Add() {
  if (mode_ == kNoAddMode || mode_ == kHideOnlyMode || selected_node_ < 0 ||
      !HasName(new_name_->text())) {
    return;
  }
  // The dialog's own list only: no position is known for a new bookmark, and nothing is stored.
  const QString name = new_name_->text();
  nodes_[selected_node_].labels.push_back({"0", name.toStdString()});
  list_->addItem(name);
  emit Notice(bookmark_notice::kAdded);
  new_name_->clear();
  UpdateButtons();
}

void BookmarkDialog::Delete() {
  if (selected_node_ < 0 || selected_bookmark_ < 0) return;
  const int index = selected_bookmark_;
  if (!Store(core::kLabelDelete, index, {})) return;
  selected_bookmark_ = -1;
  FillList();
  UpdateButtons();
  emit Notice(bookmark_notice::kDeleted + index);
}

void BookmarkDialog::Rename() {
  if (selected_node_ < 0 || selected_bookmark_ < 0 || !HasName(new_name_->text())) return;
  const int index = selected_bookmark_;
  const std::string name(
      core::CutCharacters(new_name_->text().toStdString(), core::kMaxLabelNameCharacters));
  if (!Store(core::kLabelRename, index, FromUtf8(name))) return;
  FillList();
  new_name_->clear();
  selected_bookmark_ = -1;
  UpdateButtons();
  emit Notice(bookmark_notice::kRenamed + index);
}

void BookmarkDialog::Goto() {
  if (mode_ == kNoAddMode || mode_ == kHideOnlyMode || selected_bookmark_ < 0) return;
  emit Notice(bookmark_notice::kGoto + selected_bookmark_);
}

void BookmarkDialog::ChooseShown(bool shown) {
  if (mode_ == kHideOnlyMode) return;
  show_flag_ = shown;
  ApplySize();
  emit Notice(shown ? bookmark_notice::kShow : bookmark_notice::kHide);
}

void BookmarkDialog::FillList() {
  const QSignalBlocker blocker(list_);
  list_->clear();
  if (selected_node_ < 0) return;
  for (const core::Label& label : nodes_[selected_node_].labels) {
    list_->addItem(FromUtf8(label.text));
  }
}

void BookmarkDialog::UpdateButtons() {
  const bool limited = mode_ == kNoAddMode || mode_ == kHideOnlyMode;
  const bool named = HasName(new_name_->text());
  const bool chosen = selected_node_ >= 0 && selected_bookmark_ >= 0;
  const bool editable = mode_ != kHideOnlyMode;
  goto_->setEnabled(chosen && !limited);
  add_->setEnabled(selected_node_ >= 0 && named && !limited);
  // What a mode never enables is not shown at all.
  goto_->setVisible(!limited);
  add_->setVisible(!limited);
  delete_->setEnabled(chosen && editable);
  rename_->setEnabled(chosen && named && editable);
}

void BookmarkDialog::ApplySize() {
  const bool compact = !show_flag_ || mode_ == kHideOnlyMode;
  edit_column_->setVisible(!compact);
  // Hidden widgets take no room in the layout: the radio column lays its buttons out at their
  // whole width and the dialog is never cut narrower than that.
  if (compact) {
    setMinimumSize(CompactSize());
    resize(CompactSize());
  } else {
    setMinimumSize(0, 0);
    resize(full_size_);
  }
}

bool BookmarkDialog::Store(int operation, int index, const QString& text) {
  BookmarkNode& node = nodes_[selected_node_];
  auto stored = core::StoreLabels(node.tsp_file, operation, index, text.toStdString(), node.labels);
  // The lists show what the file holds now, as it reads back (a name the file's code page
  // can't hold reads back otherwise), so that no index names another bookmark.
  node.labels = core::ReadLabels(node.tsp_file);
  if (stored) return true;
  ui::ShowMessage(this, ui::ErrorMessage(stored.error()));
  selected_bookmark_ = -1;
  FillList();
  UpdateButtons();
  emit Notice(bookmark_notice::kAdded);  // the view redraws from the dialog's lists
  return false;
}

}  // namespace torvwy::module
