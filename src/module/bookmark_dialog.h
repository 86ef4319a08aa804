// The bookmark dialog of the counting views: browses the bookmarks of every node of the test,
// shows or hides their flags, renames and deletes them in the nodes' parameter files.
#pragma once

#include <QDialog>
#include <QRect>
#include <QString>
#include <filesystem>
#include <vector>

#include "core/data/labels.h"
#include "module/bookmark_node.h"

class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QFrame;

namespace torvwy::module {

/// What the dialog tells its view (the lParam of 2025/1044, and 1045/2 for the close box).
namespace bookmark_notice {
inline constexpr int kAdded = 0;
inline constexpr int kHide = 3;
inline constexpr int kShow = 4;
inline constexpr int kDeleted = 1000;  ///< + the bookmark's index within the node
inline constexpr int kRenamed = 2000;  ///< + the bookmark's index within the node
inline constexpr int kGoto = 5000;     ///< + the bookmark's index within the node
}  // namespace bookmark_notice

/// Modeless. Renames and deletes are written to the node's parameter file at once, through
/// StoreLabels, and only then shown; a write that fails (a read-only file, or one changed since
/// it was read) says why, and the dialog shows what the file holds.
class BookmarkDialog : public QDialog {
  Q_OBJECT

 public:
  /// 0 every button; 1 without Add and Goto (the views' mode); 2 hide only (a loaded result).
  enum Mode { kFullMode = 0, kNoAddMode = 1, kHideOnlyMode = 2 };

  explicit BookmarkDialog(QWidget* owner);

  /// Empties the nodes and the new name.
  void ResetBookmarks();
  /// The nodes of the test, in node-list order.
  void SetNodes(std::vector<BookmarkNode> nodes);
  /// Lists node 0, selects no bookmark, empties the new name, sets the radios and the size
  /// from the show flag.
  void RefreshBookmarks();
  /// Mode 1 disables Add and Goto; mode 2 also hides the flags for good (compact size, both
  /// radios disabled, Hide checked).
  void SetBookmarkMode(int mode);

  /// Shows the dialog (growing from its centre while the flags are shown), 2025/1045 lParam 1.
  void ShowDialog();
  /// 2025/1045: 1 shows, 0 toggles, 2 hides; other values are ignored.
  void HandleShowCommand(int value);

  bool flags_shown() const { return show_flag_; }
  void set_flags_shown(bool shown);
  int selected_node() const { return selected_node_; }
  int selected_bookmark() const { return selected_bookmark_; }
  int mode() const { return mode_; }
  const std::vector<BookmarkNode>& nodes() const { return nodes_; }
  /// The full size (the dialog as laid out) and the compact one (the radio column only).
  QSize FullSize() const;
  QSize CompactSize() const;

  QComboBox* node_combo() const { return node_combo_; }
  QListWidget* list() const { return list_; }
  QLineEdit* new_name() const { return new_name_; }
  QPushButton* rename_button() const { return rename_; }
  QPushButton* delete_button() const { return delete_; }
  QPushButton* goto_button() const { return goto_; }
  QPushButton* add_button() const { return add_; }
  QRadioButton* hide_radio() const { return hide_; }
  QRadioButton* show_radio() const { return show_; }

 signals:
  /// A notification for the view: one of bookmark_notice's codes.
  void Notice(int code);
  /// The close box was pressed (1045/2); the dialog is hidden, not destroyed.
  void CloseRequested();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void NodeChanged(int index);
  void ListSelectionChanged();
  void NameEdited();
  void Add();
  void Delete();
  void Rename();
  void Goto();
  void ChooseShown(bool shown);
  void FillList();
  void UpdateButtons();
  void ApplySize();
  /// Writes one change to the selected node's file; on failure says why and rereads the file.
  bool Store(int operation, int index, const QString& text);
  static bool HasName(const QString& text);

  std::vector<BookmarkNode> nodes_;
  int selected_node_ = -1;
  int selected_bookmark_ = -1;
  bool show_flag_ = true;
  int mode_ = kNoAddMode;
  QSize full_size_;
  QSize compact_size_;
  bool placed_ = false;

  QComboBox* node_combo_ = nullptr;
  QListWidget* list_ = nullptr;
  QLineEdit* new_name_ = nullptr;
  QPushButton* rename_ = nullptr;
  QPushButton* goto_ = nullptr;
  QPushButton* delete_ = nullptr;
  QPushButton* add_ = nullptr;
  QRadioButton* hide_ = nullptr;
  QRadioButton* show_ = nullptr;
  QFrame* separator_ = nullptr;
  QWidget* edit_column_ = nullptr;
};

}  // namespace torvwy::module
