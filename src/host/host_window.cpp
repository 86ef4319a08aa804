// The host window: module loading, menus, the analysis windows and the settings.
#include "host/host_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QColorDialog>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDockWidget>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

#include "core/data/parameter_file.h"
#include "core/files/json_result_file.h"
#include "core/files/result_file.h"
#include "core/files/result_sections.h"
#include "core/services/folders.h"
#include "core/services/language.h"
#include "core/services/names.h"
#include "core/services/profile.h"
#include "host/import_recording_dialog.h"
#include "recording/recording.h"
#include "render/colours.h"
#include "ui/error_message.h"
#include "ui/fatigue_table.h"
#include "ui/host_message.h"
#include "ui/language.h"
#include "ui/message_box.h"
#include "ui/select_node_dialog.h"

namespace torvwy::host {
namespace {

using module::DocTemplate;

using ui::Text;
using ui::TextKey;

struct Export {
  const char* symbol;
  int id;
};
constexpr Export kExports[] = {
    {"InitContDLL", module::kPeakTemplate},         {"InitDispDLL", module::kRangeTemplate},
    {"InitRainFlowDLL", module::kRainflowTemplate}, {"InitCrossDLL", module::kCrossingsTemplate},
    {"InitPairDLL", module::kRangePairsTemplate},   {"InitTimeDLL", module::kTimeAtLevelTemplate},
    {"InitStatDLL", module::kStatisticsTemplate},   {"InitProgDLL", module::kProgrammeTemplate}};

/// The colour keys of the pictures, with their defaults (0x00BBGGRR) and captions.
struct ColourKey {
  const char* key;
  unsigned fallback;
  TextKey caption;
};
constexpr ColourKey kColours[] = {
    {"clrBk", 0x000000, TextKey::kColourBackground},
    {"clrWaveBk", 0x000000, TextKey::kColourPlotBackground},
    {"clrWaveLine", 0x00FF00, TextKey::kColourCurve},
    {"clrWaveFill", 0xC0FFC0, TextKey::kColourFill},
    {"clrAxis", 0x808080, TextKey::kColourAxes},
    {"clrGrid", 0x808080, TextKey::kColourGrid},
    {"clrText", 0xFFFFFF, TextKey::kColourText},
    {"clrCursor", 0x0000FF, TextKey::kColourCursor},
};

}  // namespace

HostWindow::HostWindow(QWidget* parent) : QMainWindow(parent) {
  setWindowTitle(QStringLiteral("torvwy"));
  mdi_ = new QMdiArea(this);
  mdi_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  mdi_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setCentralWidget(mdi_);
  // Never larger than the screen's free area: a window wider than a small screen hides the
  // right part of every analysis window.
  QSize size(1200, 800);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    size = size.boundedTo(screen->availableGeometry().size());
  }
  resize(size);
  ui::SetHostWindow(this);
  statusBar()->showMessage(Text(TextKey::kHostReady));
}

HostWindow::~HostWindow() {
  // The windows go before the templates and the module that made them.
  mdi_->closeAllSubWindows();
  for (QMdiSubWindow* sub : mdi_->subWindowList()) delete sub;
  ui::SetHostWindow(nullptr);
}

bool HostWindow::LoadModule(const QString& path, QString* error) {
  QString file = path;
  if (file.isEmpty()) {
    // Beside the program in the build tree, in ../lib once installed.
    const QString program = QApplication::applicationDirPath();
    file = program + "/libtorvwy_module.so";
    if (!QFileInfo::exists(file)) file = program + "/../lib/libtorvwy_module.so";
  }
  library_.setFileName(file);
  if (!library_.load()) {
    *error = QStringLiteral("the analysis module can't be loaded: ") + library_.errorString();
    return false;
  }
  for (const Export& e : kExports) {
    auto init = reinterpret_cast<module::InitFunction>(library_.resolve(e.symbol));
    if (init == nullptr) {
      *error = QStringLiteral("the analysis module has no %1").arg(QLatin1String(e.symbol));
      return false;
    }
    DocTemplate* made = init();
    if (made == nullptr || made->id() != e.id) {
      delete made;
      *error = QStringLiteral("%1 gave no template").arg(QLatin1String(e.symbol));
      return false;
    }
    templates_.emplace_back(made);
  }
  BuildMenus();
  return true;
}

const DocTemplate* HostWindow::Template(int id) const {
  for (const auto& t : templates_) {
    if (t->id() == id) return t.get();
  }
  return nullptr;
}

void HostWindow::BuildMenus() {
  auto command = [this](QMenu* menu, const QString& text, quint32 code,
                        const QKeySequence& keys = {}) {
    QAction* action = menu->addAction(text, this, [this, code] { SendToActive(code); });
    if (!keys.isEmpty()) action->setShortcut(keys);
    return action;
  };
  QMenu* file = menuBar()->addMenu(Text(TextKey::kMenuFile));
  file->addAction(Text(TextKey::kMenuOpenResult), QKeySequence::Open, this,
                  &HostWindow::OpenResultDialog);
  file->addAction(Text(TextKey::kMenuImportRecording), QKeySequence(Qt::CTRL | Qt::Key_I), this,
                  &HostWindow::ImportRecordingChosen);
  command(file, Text(TextKey::kMenuSaveResult), ui::command::kSaveResult, QKeySequence::Save);
  file->addSeparator();
  command(file, Text(TextKey::kMenuPrint), ui::command::kPrint, QKeySequence::Print);
  command(file, Text(TextKey::kMenuPrintPreview), ui::command::kPrintPreview);
  file->addSeparator();
  command(file, Text(TextKey::kMenuReport), ui::command::kReport,
          QKeySequence(Qt::CTRL | Qt::Key_R));
  command(file, Text(TextKey::kMenuExport), ui::command::kExport,
          QKeySequence(Qt::CTRL | Qt::Key_E));
  file->addSeparator();
  // Exit and Ctrl+Q close the main window as its close box does: a pass under way is cancelled
  // first. The key works while the progress dialog of a pass has the focus too. Ctrl+Q is named
  // itself: the platform's standard quit key is empty where it defines none (Windows, a
  // headless display), and Exit then had no key at all.
  QAction* exit = file->addAction(Text(TextKey::kMenuExit), QKeySequence(Qt::CTRL | Qt::Key_Q),
                                  this, &HostWindow::Quit);
  exit->setShortcutContext(Qt::ApplicationShortcut);

  QMenu* analysis = menuBar()->addMenu(Text(TextKey::kMenuAnalysis));
  QToolBar* toolbar = addToolBar(Text(TextKey::kToolbarAnalysis));
  toolbar->setObjectName(QStringLiteral("analysis"));
  for (const auto& t : templates_) {
    const int id = t->id();
    QAction* action =
        analysis->addAction(t->icon(), t->title() + "...", this, [this, id] { ChooseAndOpen(id); });
    toolbar->addAction(action);
  }
  analysis->addSeparator();
  // The time history of the active counting window's node, and the overlay of several nodes.
  command(analysis, Text(TextKey::kMenuViewWaveform), ui::command::kViewWaveform,
          QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_W));
  command(analysis, Text(TextKey::kMenuOverlayNodes), ui::command::kOverlayNodes,
          QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
  // The active counting window follows its node, or stops following it.
  analysis->addAction(Text(TextKey::kMenuFollow), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F),
                      this, [this] {
                        if (mdi_->activeSubWindow() == nullptr) {
                          statusBar()->showMessage(Text(TextKey::kFollowNoWindow), 5000);
                          return;
                        }
                        SendToActive(ui::command::kFollow, 0);
                      });

  QMenu* view = menuBar()->addMenu(Text(TextKey::kMenuView));
  command(view, Text(TextKey::kMenuCopyPicture), ui::command::kCopyPicture, QKeySequence::Copy);
  command(view, Text(TextKey::kMenuSavePicture), ui::command::kSavePicture);
  view->addSeparator();
  command(view, Text(TextKey::kMenuCursor), ui::command::kCursor,
          QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));
  command(view, Text(TextKey::kMenuGrid), ui::command::kGrid,
          QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_H));
  // A rainflow window switches between its histogram and the matrices of its cycles.
  command(view, Text(TextKey::kMenuRangeMeanMatrix), ui::command::kMatrixView,
          QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_M));
  command(view, Text(TextKey::kMenuFromToMatrix), ui::command::kFromToView,
          QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_T));
  command(view, Text(TextKey::kViewMenuLogCounts), ui::command::kLogCounts,
          QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_L));
  view->addSeparator();
  view->addAction(Text(TextKey::kMenuSettings), this, &HostWindow::ShowSettings);

  QMenu* window = menuBar()->addMenu(Text(TextKey::kMenuWindow));
  window->addAction(Text(TextKey::kMenuCascade), mdi_, &QMdiArea::cascadeSubWindows);
  window->addAction(Text(TextKey::kMenuTile), mdi_, &QMdiArea::tileSubWindows);
  window->addAction(Text(TextKey::kMenuClose), QKeySequence::Close, mdi_,
                    &QMdiArea::closeActiveSubWindow);
  window->addSeparator();
  connect(window, &QMenu::aboutToShow, this, [this, window] {
    const auto actions = window->actions();
    for (int i = 4; i < actions.size(); ++i) window->removeAction(actions[i]), delete actions[i];
    for (QMdiSubWindow* sub : mdi_->subWindowList()) {
      QAction* action = window->addAction(sub->windowTitle(), this,
                                          [this, sub] { mdi_->setActiveSubWindow(sub); });
      action->setCheckable(true);
      action->setChecked(sub == mdi_->activeSubWindow());
    }
  });

  QMenu* help = menuBar()->addMenu(Text(TextKey::kMenuHelp));
  command(help, Text(TextKey::kMenuHelpContents), ui::command::kHelp, QKeySequence::HelpContents);
  help->addAction(Text(TextKey::kMenuAbout), this, [this] {
    QMessageBox::about(this, QStringLiteral("torvwy"), Text(TextKey::kAboutText));
  });
}

std::vector<QWidget*> HostWindow::frames() const {
  std::vector<QWidget*> result;
  for (QMdiSubWindow* sub : mdi_->subWindowList()) {
    if (sub->widget() != nullptr) result.push_back(sub->widget());
  }
  return result;
}

QWidget* HostWindow::OpenWindow(int id) {
  const DocTemplate* t = Template(id);
  if (t == nullptr) return nullptr;
  QWidget* frame = t->CreateFrame(nullptr);
  QMdiSubWindow* sub = mdi_->addSubWindow(frame);
  sub->setAttribute(Qt::WA_DeleteOnClose);
  sub->setWindowIcon(t->icon());
  // The window fits the area it opens in, so that its panel collapses in a small main window
  // and the picture keeps its room.
  const QSize room = mdi_->viewport()->size();
  sub->resize(
      QSize(900, 620).boundedTo(room.isValid() && !room.isEmpty() ? room : QSize(900, 620)));
  sub->show();
  return frame;
}

void HostWindow::ChooseAndOpen(int id) {
  // A programme chooses its nodes event by event in its own window.
  if (id == module::kProgrammeTemplate) {
    OpenWindow(id);
    return;
  }
  if (id == module::kStatisticsTemplate) {
    // A new statistics window asks for a batch: a parameter file left in result mode by an
    // opened result file would make it show that file again.
    const auto path = core::GetHostFolder() / core::kParameterFileName;
    if (auto context = core::ReadAnalysisParameterFile(path); context && context->result_mode) {
      context->result_mode = 0;
      context->result_count = 0;
      context->result_names.clear();
      if (auto ok = core::WriteAnalysisParameterFile(path, *context); !ok) {
        ui::ShowMessage(this, ui::ErrorMessage(ok.error()));
        return;
      }
    }
    OpenWindow(id);
    return;
  }
  if (ui::SelectNodeDialogRun(this, true, true)) OpenWindow(id);
}

QWidget* HostWindow::OpenResultFile(const QString& path) {
  const std::filesystem::path file = path.toStdString();
  auto kind = core::KindOfExtension(file.extension().string());
  QString extension = QString::fromStdString(file.extension().string()).toLower();
  const bool list = extension == QStringLiteral(".aps");
  // A result saved as JSON is known by its content, which names its analysis and its node.
  std::optional<core::AnyResultFile> json;
  if (!kind && !list) {
    if (auto bytes = core::ReadResultBytes(file); bytes && core::LooksLikeJsonResult(*bytes)) {
      auto parsed = core::ParseJsonResultFile(*bytes);
      if (!parsed) {
        ui::ShowMessage(this, ui::ErrorMessage(core::InFile(file, parsed.error())));
        return nullptr;
      }
      kind = core::KindOf(*parsed);
      json = std::move(*parsed);
    }
  }
  if (!kind && !list) {
    ui::ShowMessage(this, Text(TextKey::kHostNotAResultFile) + path);
    return nullptr;
  }
  core::SplitName split = core::SplitResultFileName(file.filename().string());
  if (json) {
    const core::ResultFileNode& node = core::NodeOf(*json);
    split = {node.test_name, node.test_code, node.node_name};
  }
  core::TestContext context;
  context.result_mode = 1;
  context.test_name = split.test_name;
  context.test_code = split.test_code;
  context.node_name = split.node_name;
  context.data_path = file.parent_path().string();
  context.result_path = file.parent_path().string();
  context.result_count = 1;
  context.result_names = {file.filename().string()};
  auto host = core::EnsureHostFolder();
  if (!host) {
    ui::ShowMessage(this, ui::ErrorMessage(host.error()));
    return nullptr;
  }
  if (auto ok = core::WriteAnalysisParameterFile(*host / core::kParameterFileName, context); !ok) {
    ui::ShowMessage(this, ui::ErrorMessage(ok.error()));
    return nullptr;
  }
  return OpenWindow(list ? module::kStatisticsTemplate : module::CountingTemplateId(*kind));
}

void HostWindow::OpenResultDialog() {
  const QString path = QFileDialog::getOpenFileName(this, Text(TextKey::kOpenResultTitle),
                                                    QString(), Text(TextKey::kOpenResultFilter));
  if (!path.isEmpty()) OpenResultFile(path);
}

void HostWindow::ImportRecordingChosen() {
  const QString start = QString::fromStdString(DefaultDataFolder({}).string());
  const QString path = QFileDialog::getOpenFileName(this, Text(TextKey::kImportOpenTitle), start,
                                                    Text(TextKey::kImportOpenFilter));
  if (!path.isEmpty()) ImportRecording(path);
}

ImportRecordingDialog* HostWindow::ImportRecording(const QString& path) {
  auto file = recording::OpenRecording(path.toStdString());
  if (!file) {
    ui::ShowMessage(this, ui::ErrorMessage(file.error()));
    return nullptr;
  }
  auto* dialog = new ImportRecordingDialog(this, std::move(*file));
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  connect(dialog, &ImportRecordingDialog::Imported, this, &HostWindow::OfferCountingWindow);
  dialog->open();
  return dialog;
}

void HostWindow::OfferCountingWindow(const ImportedNodes& nodes) {
  if (!ui::AskYesNo(this, Text(TextKey::kImportOpenCounting)
                              .arg(QString::fromStdString(nodes.test_name + nodes.test_code + "#" +
                                                          nodes.nodes.front())))) {
    return;
  }
  // The window opens on the chooser's record of the test, the first node current.
  ui::NodeChoice choice;
  choice.test_name = nodes.test_name;
  choice.test_code = nodes.test_code;
  choice.data_path = nodes.data_path;
  choice.result_path = nodes.data_path;
  choice.names = nodes.nodes;
  if (auto ok = ui::WriteChoice(choice); !ok) {
    ui::ShowMessage(this, ui::ErrorMessage(ok.error()));
    return;
  }
  OpenWindow(module::kPeakTemplate);
}

void HostWindow::SendToActive(quint32 code, qintptr value) {
  if (QMdiSubWindow* sub = mdi_->activeSubWindow()) {
    ui::SendHostCommand(sub->widget(), code, value);
  }
}

void HostWindow::ShowFatigueTable(bool update) {
  const auto table = ui::LastFatigueTable();
  if (update) {
    if (table && fatigue_dock_ != nullptr && fatigue_dock_->isVisible()) {
      static_cast<ui::FatigueTableWidget*>(fatigue_dock_->widget())->Show(*table);
    }
    return;
  }
  if (!table) {
    statusBar()->showMessage(Text(TextKey::kHostListWritten), 5000);
    return;
  }
  if (fatigue_dock_ == nullptr) {
    fatigue_dock_ = new QDockWidget(Text(TextKey::kFatigueDockTitle), this);
    fatigue_dock_->setObjectName(QStringLiteral("fatigue_table"));
    fatigue_dock_->setWidget(new ui::FatigueTableWidget(fatigue_dock_));
    addDockWidget(Qt::RightDockWidgetArea, fatigue_dock_);
  }
  static_cast<ui::FatigueTableWidget*>(fatigue_dock_->widget())->Show(*table);
  fatigue_dock_->show();
  fatigue_dock_->raise();
  // As wide as the table's columns need.
  const int wanted = fatigue_dock_->widget()->minimumSizeHint().width();
  if (fatigue_dock_->width() < wanted) resizeDocks({fatigue_dock_}, {wanted}, Qt::Horizontal);
}

bool HostWindow::event(QEvent* event) {
  if (event->type() == ui::kHostCommandEvent) {
    const auto* message = static_cast<ui::HostMessage*>(event);
    switch (message->code()) {
      case ui::command::kWindowGone:
        gone_.push_back(static_cast<quintptr>(message->value()));
        break;
      case ui::command::kFileStored:
        ShowFatigueTable(message->value() == ui::kFileStoredUpdate);
        break;
      case ui::command::kPrinting:
        statusBar()->showMessage(
            message->value() == 0 ? Text(TextKey::kHostPrinting) : Text(TextKey::kHostPrinted),
            5000);
        break;
      default:
        break;
    }
    return true;
  }
  return QMainWindow::event(event);
}

void HostWindow::Quit() {
  quitting_ = true;
  close();
}

void HostWindow::closeEvent(QCloseEvent* event) {
  // A window whose closing is not yet permitted is asked once more, by giving the permission;
  // a pass under way is cancelled by its window. Then everything closes; never an endless loop.
  for (QWidget* frame : frames()) {
    ui::HostMessage permit(ui::kHostNoticeEvent, ui::notice::kClosePermission, 1);
    QApplication::sendEvent(frame, &permit);
  }
  mdi_->closeAllSubWindows();
  if (!mdi_->subWindowList().isEmpty() && !closing_) {
    closing_ = true;
    event->ignore();
    QTimer::singleShot(300, this, &QWidget::close);
    return;
  }
  event->accept();
  closing_ = false;  // a window shown again closes as the first time
  // Windows of the host's that are not MDI windows (help, a progress dialog left over) do not
  // keep the program running once the main window has closed.
  if (quitting_) QTimer::singleShot(0, qApp, &QCoreApplication::quit);
}

void HostWindow::ShowSettings() {
  const std::filesystem::path profile_path = core::ProfilePath();
  core::IniFile profile;
  if (auto loaded = core::IniFile::Load(profile_path)) profile = std::move(*loaded);
  QDialog dialog(this);
  dialog.setWindowTitle(Text(TextKey::kSettingsTitle));
  auto* form = new QFormLayout(&dialog);
  auto* language = new QComboBox(&dialog);
  // The profile keeps the language as its integer flag.
  language->addItem(Text(TextKey::kLanguageChinese), core::LanguageFlag(core::Language::kChinese));
  language->addItem(Text(TextKey::kLanguageEnglish), core::LanguageFlag(core::Language::kEnglish));
  const core::Language stored = core::LanguageOfFlag(
      profile.GetInt("settings", "Language", core::LanguageFlag(core::Language::kEnglish)));
  language->setCurrentIndex(stored == core::Language::kChinese ? 0 : 1);
  form->addRow(Text(TextKey::kSettingsLanguage), language);
  std::vector<QColor> colours;
  std::vector<QPushButton*> buttons;
  for (const ColourKey& key : kColours) {
    colours.push_back(render::ToQColor(
        static_cast<unsigned>(profile.GetInt("settings", key.key, key.fallback)) & 0xFFFFFF));
    auto* button = new QPushButton(&dialog);
    const size_t index = buttons.size();
    auto paint = [button, &colours, index] {
      button->setStyleSheet(QStringLiteral("background-color: %1").arg(colours[index].name()));
    };
    paint();
    connect(button, &QPushButton::clicked, &dialog, [&colours, index, paint, &dialog] {
      const QColor chosen = QColorDialog::getColor(colours[index], &dialog);
      if (chosen.isValid()) {
        colours[index] = chosen;
        paint();
      }
    });
    buttons.push_back(button);
    form->addRow(Text(key.caption), button);
  }
  auto* format = new QComboBox(&dialog);
  format->addItems({Text(TextKey::kNumberFormatDefault), Text(TextKey::kNumberFormatSignificant),
                    Text(TextKey::kNumberFormatFixed)});
  format->setCurrentIndex(static_cast<int>(profile.GetInt("settings", "NumberFormat", 0)) % 3);
  auto* digits = new QSpinBox(&dialog);
  digits->setRange(0, 9);
  digits->setValue(static_cast<int>(profile.GetInt("settings", "NumberDigits", 3)));
  form->addRow(Text(TextKey::kSettingsNumberFormat), format);
  form->addRow(Text(TextKey::kSettingsDecimals), digits);
  auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  connect(box, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  connect(box, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  form->addRow(box);
  if (dialog.exec() != QDialog::Accepted) return;
  profile.Set("settings", "Language", std::to_string(language->currentData().toInt()));
  for (size_t i = 0; i < colours.size(); ++i) {
    profile.Set("settings", kColours[i].key, std::to_string(render::ToColourRef(colours[i])));
  }
  profile.Set("settings", "NumberFormat", std::to_string(format->currentIndex()));
  profile.Set("settings", "NumberDigits", std::to_string(digits->value()));
  if (auto host = core::EnsureHostFolder(); !host) {
    ui::ShowMessage(this, ui::ErrorMessage(host.error()));
    return;
  }
  if (auto ok = profile.Save(profile_path); !ok) {
    ui::ShowMessage(this, ui::ErrorMessage(ok.error()));
    return;
  }
  AnnounceSettings();
}

void HostWindow::AnnounceSettings() {
  for (QWidget* frame : frames()) {
    ui::SendHostCommand(frame, ui::command::kReadColours);
    ui::SendHostCommand(frame, ui::command::kDisplaySetting, 1);
  }
}

}  // namespace torvwy::host
