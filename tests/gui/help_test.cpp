// Help: the page of a topic in the interface language, or one message when pages are missing.
#include <QDesktopServices>
#include <QUrl>
#include <cstdlib>
#include <fstream>

#include "desktop_fixture.h"
#include "module/module_state.h"

namespace torvwy::testing {
namespace {
using Help = DesktopTest;

/// The help pages opened, instead of a browser.
class UrlSink : public QObject {
  Q_OBJECT

 public:
  QList<QUrl> opened;
 public slots:
  void Open(const QUrl& url) { opened.append(url); }
};

TEST_F(Help, OpensItsPageOrSaysOnceThatPagesAreMissing) {
  UrlSink sink;
  QDesktopServices::setUrlHandler(QStringLiteral("file"), &sink, "Open");
  TempDir pages;
  std::ofstream(pages.path() / "WyStat_en.html") << "<html></html>";
  ::setenv("TORVWY_HELP_DIR", pages.path().c_str(), 1);
  module::ResetHelpForTesting();
  EXPECT_TRUE(module::OpenHelpTopic(nullptr, QStringLiteral("WyStat.html")));
  ASSERT_EQ(sink.opened.size(), 1);
  EXPECT_TRUE(sink.opened[0].toLocalFile().endsWith(QStringLiteral("WyStat_en.html")));

  EXPECT_FALSE(module::OpenHelpTopic(nullptr, QStringLiteral("WyCont.html")));
  EXPECT_EQ(messages_.size(), 1);
  // Never tried again in this process, even once the page is there.
  std::ofstream(pages.path() / "WyCont_en.html") << "<html></html>";
  EXPECT_FALSE(module::OpenHelpTopic(nullptr, QStringLiteral("WyCont.html")));
  EXPECT_EQ(messages_.size(), 1);
  EXPECT_EQ(sink.opened.size(), 1);
  module::ResetHelpForTesting();
  ::unsetenv("TORVWY_HELP_DIR");
  QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
}

}  // namespace
}  // namespace torvwy::testing

#include "help_test.moc"
