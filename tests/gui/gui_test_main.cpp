// The desktop tests run headless on one QApplication, with a private host folder.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "support/test_node.h"

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  ::setenv("TORVWY_LANG", "en", 1);
  torvwy::testing::TempDir home;
  ::setenv("TORVWY_HOME", home.path().c_str(), 1);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
