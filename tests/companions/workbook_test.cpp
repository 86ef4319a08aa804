// Workbook details that the end-to-end tests don't reach: sheet names and failed saves.
#include "companions/workbook.h"

#include <gtest/gtest.h>

#include <fstream>

#include "support/test_node.h"

namespace torvwy::companions {
namespace {
namespace fs = std::filesystem;

TEST(WorkbookTest, SheetNamesAreMadeValid) {
  EXPECT_EQ(SheetName("T01A#3Disp"), "T01A#3Disp");
  EXPECT_EQ(SheetName("a[b]:c*d?e/f\\g"), "a_b__c_d_e_f_g");
  EXPECT_EQ(SheetName(std::string(40, 'x')), std::string(31, 'x'));
  EXPECT_EQ(SheetName("试验" + std::string(40, 'y')), "试验" + std::string(29, 'y'));
  EXPECT_EQ(SheetName(""), "Sheet1");
  EXPECT_EQ(SheetName("'q'"), "_q_");
}

TEST(WorkbookTest, FailedSaveKeepsTheOldFileAndLeavesNoTemporary) {
  testing::TempDir dir;
  const fs::path target = dir.path() / "missing-folder" / "x.xlsx";
  EXPECT_FALSE(WriteWorkbook(target, {"s", {"a"}, {{1.0}}}).ok());
  const fs::path good = dir.path() / "x.xlsx";
  std::ofstream(good) << "old";
  // A text cell longer than a sheet cell holds fails the save, and the old file stays.
  WorkbookSheet sheet{"s", {"a"}, {{1.0}, {std::string(40000, 'x')}}};
  EXPECT_FALSE(WriteWorkbook(good, sheet).ok());
  std::ifstream in(good);
  std::string text;
  in >> text;
  EXPECT_EQ(text, "old");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

}  // namespace
}  // namespace torvwy::companions
