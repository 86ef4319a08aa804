// What the desktop tests share: a loaded host window, a written test node, and spies on the
// messages, host commands and the event loop.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QObject>
#include <QStringList>
#include <cstdint>
#include <filesystem>
#include <vector>

#include "host/host_window.h"
#include "support/test_node.h"

namespace torvwy::testing {

/// Runs the event loop until `done` holds or `ms` have passed; false on the timeout.
template <typename Predicate>
bool WaitFor(Predicate done, int ms = 20000) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > ms) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

/// Waits for `condition` (what a message chain under way brings about) up to the deadline,
/// then expects it, so that a failure prints as gtest's own does; `<<` adds to the message.
#define TORVWY_SOON(wait_until, check)                                                      \
  switch (0)                                                                                \
  case 0:                                                                                   \
  default:                                                                                  \
    if (static_cast<void>(::torvwy::testing::WaitFor([&] { return wait_until; })); false) { \
    } else                                                                                  \
      check
#define EXPECT_SOON_TRUE(condition) TORVWY_SOON(bool(condition), EXPECT_TRUE(condition))
#define ASSERT_SOON_TRUE(condition) TORVWY_SOON(bool(condition), ASSERT_TRUE(condition))
/// Waits for `actual == expected`, then expects it (a failure prints both values).
#define EXPECT_SOON_EQ(actual, expected) \
  TORVWY_SOON((actual) == (expected), EXPECT_EQ(actual, expected))

/// Posts a notice no window acts on to `frame` and waits until its view has it: every notice
/// posted to the frame before, and what the frame posted on to the view for it, has been
/// delivered then. A check that nothing happened comes after this. False on the deadline.
bool PassMarker(QObject* frame, QObject* view);

/// Collects the 2025 codes a widget receives.
class CommandSpy : public QObject {
 public:
  explicit CommandSpy(QObject* target);
  std::vector<quint32> codes;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
};

/// The message boxes shown, by their text.
class MessageSink : public QObject {
  Q_OBJECT

 public:
  QStringList texts;
  bool answer = false;  ///< what every question is answered
 public slots:
  void Message(const QString& text) { texts.append(text); }
  bool Question(const QString& text) {
    texts.append(text);
    return answer;
  }
};

/// Writes node "2" of test "abc", code "1" in `dir`, and the host's parameter file naming it:
/// `samples` as float64 (1024 Hz, c1 = c2 = 1), or with `half_blocks` as 16-bit samples followed
/// by zeros up to that length, stored sparsely (the file costs no disk).
void WriteCountingTest(const std::filesystem::path& dir, const std::vector<double>& samples,
                       int32_t half_blocks = 0);

/// A host window with the module loaded and shown, a host folder of its own (profile, parameter
/// file, node choice) and a folder for the test's data. The parameter file the windows read names
/// test "abc", code "1", node "2" in that folder.
class DesktopTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  /// Writes node "2" with `samples` (float64, 1024 Hz, c1 = c2 = 1) and the parameter file
  /// naming it.
  void WriteTest(const std::vector<double>& samples);
  /// Writes node "2" of `samples` samples: a sum of three sines, and the parameter file.
  void WriteTest(size_t samples);
  /// Writes node "2" of `half_blocks` x 512 16-bit samples whose first 8192 samples are a few
  /// sines and the rest zeros, stored sparsely (the file costs no disk), and the parameter file.
  void WriteLongTest(int32_t half_blocks);

  ScopedHome home_;  // first: the host window finds its folder from the start
  host::HostWindow host_;
  TempDir data_;
  MessageSink sink_;
  QStringList& messages_ = sink_.texts;
};

}  // namespace torvwy::testing
