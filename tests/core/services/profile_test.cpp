// IniFile: reading as profile files are read, editing without disturbing other lines.
#include "core/services/profile.h"

#include <gtest/gtest.h>

namespace torvwy::core {
namespace {

TEST(IniFile, ReadsKeysWithoutCaseAndTrimsValues) {
  const auto ini = IniFile::Parse("; comment\r\n[Settings]\r\n  Language = 0 \r\n[Other]\r\nx=1");
  EXPECT_EQ(ini.Get("settings", "LANGUAGE"), "0");
  EXPECT_EQ(ini.GetInt("SETTINGS", "language", 7), 0);
  EXPECT_EQ(ini.Get("other", "x"), "1");
  EXPECT_FALSE(ini.Get("other", "language"));  // keys belong to their own section
  EXPECT_FALSE(ini.Get("missing", "x"));
  EXPECT_EQ(ini.GetInt("missing", "x", 7), 7);
}

TEST(IniFile, EditsKeepEveryOtherLineAndTheLineEnds) {
  auto ini = IniFile::Parse("[A]\r\n; keep me\r\nk=1\r\n\r\n[B]\r\nz=9\r\n");
  ini.Set("a", "k", "2");    // in place
  ini.Set("A", "new", "3");  // appended to its section, before the blank line
  ini.Set("C", "c", "4");    // a new section at the end
  ini.Remove("B", "z");
  EXPECT_EQ(ini.Text(), "[A]\r\n; keep me\r\nk=2\r\nnew=3\r\n\r\n[B]\r\n\r\n[C]\r\nc=4\r\n");
}

}  // namespace
}  // namespace torvwy::core
