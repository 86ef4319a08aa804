// Entry point of the render tests: a QGuiApplication on the offscreen platform, then GoogleTest.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // Under the leak checker, the font library's caches (kept to the end of every program that
  // draws text) are not reported; the torvwy commands the tests run inherit the setting.
  std::string leak_options =
      std::getenv("LSAN_OPTIONS") != nullptr ? std::getenv("LSAN_OPTIONS") : "";
  if (leak_options.find("suppressions=") == std::string::npos) {
    leak_options +=
        std::string(leak_options.empty() ? "" : ":") + "suppressions=" + TORVWY_LSAN_SUPPRESSIONS;
    setenv("LSAN_OPTIONS", leak_options.c_str(), 1);
  }
  QGuiApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
