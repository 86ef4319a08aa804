// Help: the page of a topic in the interface language, or one message when pages are missing;
// the help window on the screen and closed by Esc; every window's controls and every menu
// command described on the help pages of both languages.
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDockWidget>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QScreen>
#include <QTabWidget>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTimer>
#include <QUrl>
#include <QtTest/QTest>
#include <cstdlib>
#include <fstream>
#include <set>

#include "core/services/text_catalogue.h"
#include "desktop_fixture.h"
#include "module/analysis_frame.h"
#include "module/analysis_view.h"
#include "module/life_parameter_dialog.h"
#include "module/module_state.h"
#include "module/setup_dialog.h"
#include "module/statistics_dialog.h"
#include "module/statistics_view.h"
#include "ui/language.h"
#include "ui/select_node_dialog.h"

namespace torvwy::testing {
namespace {
using core::Language;
using Help = DesktopTest;

/// The help pages of the source tree, as the package installs them.
const QString kPages = QStringLiteral(TORVWY_HELP_PAGES);

TEST_F(Help, OpensItsPageOrSaysOnceThatPagesAreMissing) {
  TempDir pages;
  std::ofstream(pages.path() / "WyStat_en.html") << "<html></html>";
  ::setenv("TORVWY_HELP_DIR", pages.path().c_str(), 1);
  module::ResetHelpForTesting();
  EXPECT_TRUE(module::OpenHelpTopic(nullptr, QStringLiteral("WyStat.html")));
  ASSERT_NE(module::HelpWindow(), nullptr);
  EXPECT_TRUE(module::HelpWindow()->isVisible());
  EXPECT_TRUE(
      module::HelpWindow()->source().toLocalFile().endsWith(QStringLiteral("WyStat_en.html")));

  EXPECT_FALSE(module::OpenHelpTopic(nullptr, QStringLiteral("WyCont.html")));
  EXPECT_EQ(messages_.size(), 1);
  // Never tried again in this process, even once the page is there.
  std::ofstream(pages.path() / "WyCont_en.html") << "<html></html>";
  EXPECT_FALSE(module::OpenHelpTopic(nullptr, QStringLiteral("WyCont.html")));
  EXPECT_EQ(messages_.size(), 1);
  EXPECT_TRUE(
      module::HelpWindow()->source().toLocalFile().endsWith(QStringLiteral("WyStat_en.html")));
  module::HelpWindow()->close();
  module::ResetHelpForTesting();
  ::unsetenv("TORVWY_HELP_DIR");
}

TEST_F(Help, WindowFitsTheScreenFollowsLinksAndEscClosesIt) {
  ::setenv("TORVWY_HELP_DIR", kPages.toUtf8().constData(), 1);
  module::ResetHelpForTesting();
  ASSERT_TRUE(module::OpenHelpTopic(&host_, QStringLiteral("WyRainflow.html")));
  QTextBrowser* help = module::HelpWindow();
  ASSERT_NE(help, nullptr);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(help));
  const QRect area = host_.screen()->availableGeometry();
  EXPECT_TRUE(area.contains(help->frameGeometry()))
      << help->frameGeometry().width() << "x" << help->frameGeometry().height() << " in "
      << area.width() << "x" << area.height();
  EXPECT_LE(help->width(), area.width() * 9 / 10);
  EXPECT_LE(help->height(), area.height() * 9 / 10);

  // A link of the page's bar leads to the page of the counting windows, in the same language.
  help->setSource(QUrl(QStringLiteral("WyWindow_en.html")));
  EXPECT_TRUE(help->source().toString().endsWith(QStringLiteral("WyWindow_en.html")));
  EXPECT_TRUE(help->toPlainText().contains(QStringLiteral("Following a running test")));

  // Keys that scroll the page leave the window open; Esc closes it.
  help->activateWindow();
  QTest::keyClick(help, Qt::Key_PageDown);
  QTest::keyClick(help, Qt::Key_Escape, Qt::ShiftModifier);
  EXPECT_TRUE(help->isVisible());
  QTest::keyClick(help, Qt::Key_Escape);
  EXPECT_SOON_TRUE(module::HelpWindow() == nullptr);
  module::ResetHelpForTesting();
  ::unsetenv("TORVWY_HELP_DIR");
}

/// A control's or command's text as a page would quote it: without its accelerator ("&File",
/// "文件(&F)"), its key ("[H] Grid", "Collect [R]", "坐标网线\t[H]"), its dots and arrows.
QString Quoted(QString text) {
  text.remove(QRegularExpression(QStringLiteral("\\(&.\\)|\\s&[A-Za-z]$")));
  text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
  text.remove(QLatin1Char('&'));
  text.replace(QStringLiteral("\x01"), QStringLiteral("&"));
  text = text.section(QLatin1Char('\t'), 0, 0);
  text.remove(QRegularExpression(QStringLiteral("\\[[^\\]]*\\]")));
  text.remove(QRegularExpression(QStringLiteral("(\\.\\.\\.+|…|<==|[:：]$)")));
  return text.simplified();
}

/// The plain text of a page and of the pages its text links to (not the bar of every page at
/// its top), as a reader of the help finds it.
QString PageAndLinked(const QString& page) {
  QString text;
  std::set<QString> read;
  std::vector<QString> queue = {page};
  for (size_t i = 0; i < queue.size(); ++i) {
    if (!read.insert(queue[i]).second) continue;
    QFile file(kPages + "/" + queue[i]);
    if (!file.open(QIODevice::ReadOnly)) {
      ADD_FAILURE() << "no help page " << queue[i].toStdString();
      continue;
    }
    const QString html = QString::fromUtf8(file.readAll());
    QTextDocument document;
    document.setHtml(html);
    text += document.toPlainText().simplified() + "\n";
    if (i > 0) continue;  // the pages linked from the first one
    QRegularExpression link(QStringLiteral("href=\"(Wy\\w+\\.html)"));
    for (auto found = link.globalMatch(html); found.hasNext();)
      queue.push_back(found.next().captured(1));
  }
  return text;
}

/// The page `topic` ("WyCont.html") of a language.
QString PageOf(const QString& topic, Language language) {
  QString page = topic;
  if (language == Language::kEnglish)
    page.replace(QStringLiteral(".html"), QStringLiteral("_en.html"));
  return page;
}

/// Checks that every text a person meets in a window is on its help page in both languages: the
/// catalogue's entry of the text (in the interface language) is found, as quoted, on the page
/// of each language. Texts that are no entry of the catalogue (numbers, formatted captions) are
/// passed over; `at_least` of them must be entries, so that a window whose texts moved away
/// fails too.
void ExpectDescribed(const QString& topic, const QStringList& texts, int at_least) {
  const QString english = PageAndLinked(PageOf(topic, Language::kEnglish));
  const QString chinese = PageAndLinked(PageOf(topic, Language::kChinese));
  const Language shown = ui::UiLanguage();
  int entries = 0;
  for (const QString& text : texts) {
    const QString quoted = Quoted(text);
    if (!quoted.contains(QRegularExpression(QStringLiteral("\\w\\w")))) continue;
    bool entry = false;
    bool described = false;
    for (const core::CatalogueEntry& e : core::TextCatalogue()) {
      if (Quoted(QString::fromUtf8(core::Tr(shown, e.key))) != quoted) continue;
      entry = true;
      described =
          described ||
          (english.contains(Quoted(QString::fromUtf8(core::Tr(Language::kEnglish, e.key)))) &&
           chinese.contains(Quoted(QString::fromUtf8(core::Tr(Language::kChinese, e.key)))));
    }
    entries += entry ? 1 : 0;
    EXPECT_TRUE(!entry || described)
        << "\"" << quoted.toStdString() << "\" is not on the help page " << topic.toStdString()
        << " in both languages";
  }
  EXPECT_GE(entries, at_least) << topic.toStdString();
}

/// The texts of a window: buttons (and the tooltips of those without text), group titles,
/// labels of one line and the items of combo boxes.
QStringList TextsOf(const QWidget* window) {
  QStringList texts;
  for (const QAbstractButton* b : window->findChildren<QAbstractButton*>()) {
    if (b->isVisibleTo(window)) texts << (b->text().isEmpty() ? b->toolTip() : b->text());
  }
  for (const QGroupBox* g : window->findChildren<QGroupBox*>()) texts << g->title();
  for (const QLabel* l : window->findChildren<QLabel*>()) {
    if (l->isVisibleTo(window) && !l->text().contains(QLatin1Char('\n')) &&
        !l->text().startsWith(QLatin1Char('('))) {
      texts << l->text();
    }
  }
  for (const QComboBox* c : window->findChildren<QComboBox*>()) {
    for (int i = 0; i < c->count(); ++i) texts << c->itemText(i);
  }
  return texts;
}

/// The items of the context menu a right click in `view` opens.
QStringList ContextMenuOf(QWidget* view) {
  QStringList items;
  QTimer::singleShot(300, [&] {
    if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
      for (const QAction* action : menu->actions()) items << action->text();
      menu->close();
    }
  });
  QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(20, 20),
                          view->mapToGlobal(QPoint(20, 20)));
  QApplication::sendEvent(view, &event);
  return items;
}

TEST_F(Help, EveryMenuCommandIsOnTheMainWindowsPageInBothLanguages) {
  QStringList commands;
  for (const QAction* menu : host_.menuBar()->actions()) {
    commands << menu->text();
    ASSERT_NE(menu->menu(), nullptr);
    for (const QAction* action : menu->menu()->actions()) {
      if (!action->isSeparator()) commands << action->text();
    }
  }
  ExpectDescribed(QStringLiteral("WyHost.html"), commands, 25);
}

TEST_F(Help, EveryControlOfEveryWindowIsOnItsPageInBothLanguages) {
  WriteTest(8192);
  for (const int id :
       {module::kPeakTemplate, module::kRangeTemplate, module::kRainflowTemplate,
        module::kCrossingsTemplate, module::kRangePairsTemplate, module::kTimeAtLevelTemplate}) {
    auto* frame = qobject_cast<module::AnalysisFrame*>(host_.OpenWindow(id));
    ASSERT_NE(frame, nullptr);
    ASSERT_NE(frame->panel(), nullptr);
    const QString topic = frame->view()->HelpTopic();
    QStringList texts = TextsOf(frame->panel());
    texts << ContextMenuOf(frame->view());
    ExpectDescribed(topic, texts, 30);
    // The dialogs the window opens: its setup and, for rainflow, the life estimate.
    const auto kind = static_cast<core::CountingKind>(id < module::kCrossingsTemplate
                                                          ? id - module::kPeakTemplate
                                                          : id - module::kCrossingsTemplate + 3);
    core::CountingPlan shown;
    shown.kind = kind;
    module::SetupDialog setup(shown, 10000.0, QStringLiteral("EU"), &host_);
    ExpectDescribed(topic, TextsOf(&setup), 6);
    if (id == module::kRainflowTemplate) {
      module::LifeParameterDialog life(core::FatigueMethod::kActual, &host_);
      ExpectDescribed(topic, TextsOf(&life), 5);
    }
  }
  auto* stats = qobject_cast<module::AnalysisFrame*>(host_.OpenWindow(module::kStatisticsTemplate));
  ASSERT_NE(stats, nullptr);
  auto* view = qobject_cast<module::StatisticsView*>(stats->view());
  ASSERT_NE(view, nullptr);
  ASSERT_TRUE(WaitFor([&] { return view->dialog() != nullptr; }));
  ExpectDescribed(view->HelpTopic(), TextsOf(view->dialog()), 10);
  view->dialog()->reject();
  // The test programme window: its buttons, fields, choices and tabs.
  auto* programme =
      qobject_cast<module::AnalysisFrame*>(host_.OpenWindow(module::kProgrammeTemplate));
  ASSERT_NE(programme, nullptr);
  QStringList programme_texts = TextsOf(programme->view());
  for (const QTabWidget* tabs : programme->view()->findChildren<QTabWidget*>()) {
    for (int i = 0; i < tabs->count(); ++i) programme_texts << tabs->tabText(i);
  }
  ExpectDescribed(programme->view()->HelpTopic(), programme_texts, 15);
  // The node chooser the main window's Analysis commands open.
  ui::SelectNodeDialog chooser(&host_, true, true, ui::NodeChoice{});
  ExpectDescribed(QStringLiteral("WyHost.html"), TextsOf(&chooser), 4);
}

}  // namespace
}  // namespace torvwy::testing
