// Help: the page of a topic in the interface language, or one message when pages are missing.
#include <QTextBrowser>
#include <QUrl>
#include <cstdlib>
#include <fstream>

#include "desktop_fixture.h"
#include "module/module_state.h"

namespace torvwy::testing {
namespace {
using Help = DesktopTest;

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

}  // namespace
}  // namespace torvwy::testing
