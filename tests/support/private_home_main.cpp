// The main of the core test program: every test runs with a private host folder, so that no
// test reads or writes the user's own profile, lists or work folder.
#include <gtest/gtest.h>

#include <cstdlib>

#include "support/test_node.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  torvwy::testing::ScopedHome home;
  return RUN_ALL_TESTS();
}
