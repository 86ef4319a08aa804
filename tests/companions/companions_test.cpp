// The companion programs end to end, headless: report, export, list converter, image export.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>

#include <QGuiApplication>
#include <QImage>
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "core/report/export_file.h"
#include "core/report/list_export.h"
#include "core/report/readout_list.h"
#include "core/report/report_file.h"
#include "core/services/message_table.h"
#include "support/run_command.h"
#include "support/test_node.h"

namespace torvwy {
namespace {
namespace fs = std::filesystem;
using testing::Quote;

struct ProgramRun {
  int exit_code = -1;
  std::string out;
  std::string err;
};

class CompanionsTest : public ::testing::Test {
 public:
  /// Runs `command` (a shell-quoted line) with the output collected in the test folder.
  ProgramRun Shell(const std::string& command) {
    const fs::path out = dir_.path() / "stdout.tmp";
    const fs::path err = dir_.path() / "stderr.tmp";
    const int status = std::system(
        (command + " >" + Quote(out.string()) + " 2>" + Quote(err.string()) + " </dev/null")
            .c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, testing::ReadFileBytes(out),
            testing::ReadFileBytes(err)};
  }
  ProgramRun Companion(const std::string& name, const std::string& arguments) {
    return Shell("TORVWY_HOME=" + Quote(dir_.path().string()) + " " +
                 Quote(std::string(TORVWY_COMPANION_DIR) + "/" + name) + " " + arguments);
  }
  fs::path At(const std::string& name) const { return dir_.path() / name; }

  /// A range report of T01A#3 with a 400 x 200 picture and one listed partition.
  void WriteRangeReportSet(core::Language language, const std::string& node_name = "3") {
    core::ResultFileNode node;
    node.test_name = "T01";
    node.test_code = "A";
    node.node_name = node_name;
    node.sampling.set_frequency_hz(1024.0);
    node.sampling.set_length_half_blocks(8);
    core::RangeCountResult result;
    result.partitions = 2;
    result.amplitude_range = 10.0;
    result.two_way_width = 10.0;
    result.one_way_width = 5.0;
    result.two_way_counts[1] = 3;
    result.last_block = 4;
    core::ReportView view;
    view.language = language;
    view.readouts.Collect(1, core::RangeCountTexts(result, 1, false));
    core::ReportOptions options;
    options.folder = dir_.path();
    options.picture = [](const fs::path& path) {
      QImage picture(400, 200, QImage::Format_RGB32);
      picture.fill(Qt::green);
      return picture.save(QString::fromStdString(path.string()), "BMP")
                 ? core::Ok()
                 : core::Status(core::Fail(core::kMsgFileWrite, path.string()));
    };
    ASSERT_TRUE(core::WriteRangeReport(result, node, view, options).ok());
  }

  std::string PdfText(const fs::path& pdf) {
    const ProgramRun run = Shell("pdftotext -layout " + Quote(pdf.string()) + " -");
    EXPECT_EQ(run.exit_code, 0) << run.err;
    return run.out;
  }

  testing::TempDir dir_;
};

TEST_F(CompanionsTest, ReportProgramWritesPdfAndSelfContainedHtml) {
  WriteRangeReportSet(core::Language::kEnglish);
  const ProgramRun run = Companion("TorvRpt", "--input " + Quote(At("TorvRpt.txt").string()) +
                                                  " --pdf " + Quote(At("r.pdf").string()) +
                                                  " --html " + Quote(At("r.html").string()));
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const std::string text = PdfText(At("r.pdf"));
  EXPECT_NE(text.find("T01A#3 - TORV Varied-Distance Counting"), std::string::npos) << text;
  EXPECT_NE(text.find("XL(Left)"), std::string::npos) << text;
  EXPECT_NE(text.find("Analysis range: 1 -- 4 blocks ;"), std::string::npos) << text;
  const std::string html = testing::ReadFileBytes(At("r.html"));
  EXPECT_NE(html.find("<h1>T01A#3 - TORV Varied-Distance Counting</h1>"), std::string::npos);
  EXPECT_NE(html.find("src=\"data:image/png;base64,iVBOR"), std::string::npos);
  EXPECT_EQ(html.find("TorvBmp.bmp"), std::string::npos) << "the picture is embedded";
  EXPECT_NE(html.find("<th>XR(Right)</th>"), std::string::npos);
  // The list table comes after the picture, as the directives order them.
  EXPECT_LT(html.find("<img"), html.find("<table"));
}

TEST_F(CompanionsTest, ReportProgramWritesChineseAndNamesWithLineBreaks) {
  WriteRangeReportSet(core::Language::kChinese, "3\n[END]");
  const ProgramRun run = Companion("TorvRpt", "--pdf " + Quote(At("zh.pdf").string()));
  ASSERT_NE(run.exit_code, 0) << "the default input is the work folder's, which is empty";
  const ProgramRun with_input =
      Companion("TorvRpt", "--input " + Quote(At("TorvRpt.txt").string()) + " --pdf " +
                               Quote(At("zh.pdf").string()));
  ASSERT_EQ(with_input.exit_code, 0) << with_input.err;
  const std::string text = PdfText(At("zh.pdf"));
  EXPECT_NE(text.find("T01A#3 [END] - TORV 变程计数分析"), std::string::npos) << text;
  EXPECT_NE(text.find("左范围XL"), std::string::npos) << text;
}

TEST_F(CompanionsTest, ReportProgramRefusesDamagedOrIncompleteSets) {
  std::ofstream(At("bad.txt")) << "[TORV-REPORT-FORMAT-FILE]\r\n[HEAD]\r\n";
  ProgramRun run = Companion("TorvRpt", "--input " + Quote(At("bad.txt").string()) + " --pdf " +
                                            Quote(At("x.pdf").string()));
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_NE(run.err.find("TorvRpt: "), std::string::npos);
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  EXPECT_FALSE(fs::exists(At("x.pdf")));
  WriteRangeReportSet(core::Language::kEnglish);
  fs::remove(At("TorvBmp.bmp"));
  run = Companion("TorvRpt", "--input " + Quote(At("TorvRpt.txt").string()) + " --html " +
                                 Quote(At("x.html").string()));
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_NE(run.err.find("TorvBmp.bmp"), std::string::npos) << run.err;
  EXPECT_FALSE(fs::exists(At("x.html")));
}

TEST_F(CompanionsTest, ReportProgramWritesOnlyRegularFiles) {
  WriteRangeReportSet(core::Language::kEnglish);
  const std::string input = "--input " + Quote(At("TorvRpt.txt").string());
  const fs::path fifo = At("fifo.pdf");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  const fs::path dangling = At("dangling.html");
  fs::create_symlink("gone.html", dangling);
  std::vector<std::pair<std::string, fs::path>> refused = {{"--pdf", fifo}, {"--html", dangling}};
  // A full device, as /dev/full is, made in the test folder.
  const fs::path full = At("full.pdf");
  const bool device = ::mknod(full.c_str(), S_IFCHR | 0666, ::makedev(1, 7)) == 0;
  if (device) refused.emplace_back("--pdf", full);
  for (const auto& [option, target] : refused) {
    SCOPED_TRACE(target);
    const fs::file_type before = fs::symlink_status(target).type();
    const ProgramRun run =
        Companion("TorvRpt", input + " " + option + " " + Quote(target.string()));
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_TRUE(run.err.find("not a regular file; nothing was written") != std::string::npos ||
                run.err.find("which does not exist; nothing was written") != std::string::npos)
        << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_EQ(fs::symlink_status(target).type(), before);
  }
  EXPECT_FALSE(fs::exists(At("gone.html")));
  // A link to a file is followed.
  std::ofstream(At("real.html")) << "old";
  fs::create_symlink("real.html", At("link.html"));
  const ProgramRun run = Companion("TorvRpt", input + " --html " + Quote(At("link.html").string()));
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_TRUE(fs::is_symlink(At("link.html")));
  EXPECT_EQ(testing::ReadFileBytes(At("real.html")).substr(0, 15), "<!DOCTYPE html>");
  if (!device) GTEST_SKIP() << "mknod is not allowed here; the full device was not tried";
}

TEST_F(CompanionsTest, ImageExportSaysInOneLineWhenAPictureCantBeReadOrWritten) {
  // A PNG cut short, and one no PNG writer takes (wider than the PNG library's limit).
  QImage small(8, 8, QImage::Format_RGB32);
  small.fill(Qt::red);
  ASSERT_TRUE(small.save(QString::fromStdString(At("whole.png").string()), "PNG"));
  const std::string whole = testing::ReadFileBytes(At("whole.png"));
  std::ofstream(At("cut.png"), std::ios::binary) << whole.substr(0, whole.size() - 20);
  QImage wide(1100000, 1, QImage::Format_RGB32);
  wide.fill(Qt::blue);
  ASSERT_TRUE(wide.save(QString::fromStdString(At("wide.bmp").string()), "BMP"));
  for (const auto& [input, output] :
       {std::pair{"cut.png", "x.bmp"}, std::pair{"wide.bmp", "y.png"}}) {
    SCOPED_TRACE(input);
    const ProgramRun run =
        Companion("TorvImgEpt", Quote(At(input).string()) + " --to " + Quote(At(output).string()));
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.err.rfind("TorvImgEpt: ", 0), 0u) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_EQ(run.err.find("libpng"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(At(output)));
  }
}

/// Reads back a workbook with openpyxl: sheet name, then each row's cells as repr(), one a line.
std::string ReadWorkbook(CompanionsTest& test, const fs::path& path,
                         ProgramRun (CompanionsTest::*shell)(const std::string&)) {
  const std::string script =
      "import openpyxl,sys\n"
      "wb=openpyxl.load_workbook(sys.argv[1])\n"
      "ws=wb.active\n"
      "print(ws.title)\n"
      "print(all(c.font.b for c in ws[1]))\n"
      "for row in ws.iter_rows(values_only=True): print(repr(row))\n";
  const ProgramRun run =
      (test.*shell)("/usr/bin/python3 -c " + Quote(script) + " " + Quote(path.string()));
  EXPECT_EQ(run.exit_code, 0) << run.err;
  return run.out;
}

TEST_F(CompanionsTest, ExportProgramWritesWorkbookAndCsv) {
  core::RangeCountResult result;
  result.partitions = 2;
  result.amplitude_range = 10.0;
  result.two_way_width = 10.0;
  result.two_way_counts[0] = 6;
  auto table = core::RangeExportTable(result, {"T01", "A", "3"}, false, core::Language::kChinese);
  ASSERT_TRUE(core::WriteExport(table, dir_.path()).ok());
  const std::string input = " --input " + Quote(At("TorvEpt.Dat").string());
  ProgramRun run = Companion("TorvEpt", input + " --to " + Quote(At("x.xlsx").string()));
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(ReadWorkbook(*this, At("x.xlsx"), &CompanionsTest::Shell),
            "T01A#3Disp\nTrue\n"
            "('左范围XL', '中心幅值X', '右范围XR', '变程计数')\n"
            "(-10, -5, 0, 6)\n(0, 5, 10, 0)\n");
  run = Companion("TorvEpt", input + " --to " + Quote(At("x.csv").string()));
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(testing::ReadFileBytes(At("x.csv")),
            "\xEF\xBB\xBF左范围XL,中心幅值X,右范围XR,变程计数\r\n-10,-5,0,6\r\n0,5,10,0\r\n");
  run = Companion("TorvEpt", input + " --to " + Quote(At("x.ods").string()));
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_FALSE(fs::exists(At("x.ods")));
}

TEST_F(CompanionsTest, ExportProgramReadsStatisticsVersionTwo) {
  core::StatisticsTable statistics;
  statistics.columns = {{"No.", 40}, {"Code", 80}, {"Node", 80}, {"Peak", 100}, {"Unit", 80}};
  statistics.rows = {{"   1", "7", "测点1", " 2.5", "MPa"}};
  ASSERT_TRUE(
      core::WriteExport(core::StatisticsExportTable(statistics, {"abc", "7", "7", "", "", ""}),
                        dir_.path())
          .ok());
  const ProgramRun run = Companion("TorvEpt", "--input " + Quote(At("TorvEpt.Dat").string()) +
                                                  " --to " + Quote(At("s.xlsx").string()));
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(ReadWorkbook(*this, At("s.xlsx"), &CompanionsTest::Shell),
            "abc7Stat\nTrue\n('Code', 'Node', 'Peak', 'Unit')\n('7', '测点1', 2.5, 'MPa')\n");
}

TEST_F(CompanionsTest, ExportProgramRefusesADamagedFileWithOneLine) {
  std::ofstream(At("TorvEpt.Dat"), std::ios::binary) << "[TORV-EXPORT-FORMAT-FILE]     \x01\x02";
  const ProgramRun run = Companion("TorvEpt", "--input " + Quote(At("TorvEpt.Dat").string()) +
                                                  " --to " + Quote(At("d.xlsx").string()));
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_NE(run.err.find("export file: it ends before its version"), std::string::npos) << run.err;
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  EXPECT_FALSE(fs::exists(At("d.xlsx")));
}

TEST_F(CompanionsTest, ListConverterSavesXlsAsXlsx) {
  core::ReadoutList list;
  list.Collect(0, {"5"});
  const std::string text =
      core::ReadoutListText(list, {-10.0, 10.0, {}}, {"T01", "A", "3"},
                            core::ReadoutColumns::kCount, core::Language::kEnglish, 1);
  ASSERT_TRUE(core::WriteListExport(At("list.xls").string(), text, dir_.path()).ok());
  const ProgramRun run = Companion("ldexp", "--folder " + Quote(dir_.path().string()));
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_NE(run.out.find("is saved as " + At("list.xlsx").string()), std::string::npos);
  EXPECT_FALSE(fs::exists(At("list.xls")));
  EXPECT_EQ(ReadWorkbook(*this, At("list.xlsx"), &CompanionsTest::Shell),
            "T01A#3-DataList\nTrue\n('No.', 'XL(Left)', 'X(Center)', 'XR(Right)', 'Count')\n"
            "(1, -10, -5, 0, 5)\n");
  fs::remove(At("listdata.txt"));
  const ProgramRun missing = Companion("ldexp", "--folder " + Quote(dir_.path().string()));
  EXPECT_EQ(missing.exit_code, 1);
  EXPECT_NE(missing.err.find("listdata.txt"), std::string::npos);
}

TEST_F(CompanionsTest, ImageExportConvertsThePicture) {
  QImage picture(320, 160, QImage::Format_RGB32);
  picture.fill(Qt::red);
  ASSERT_TRUE(picture.save(QString::fromStdString(At("TorvImg.bmp").string()), "BMP"));
  ProgramRun run = Companion("TorvImgEpt", Quote(At("TorvImg.bmp").string()) +
                                               " T01A#3_Disp --to " + Quote(At("x.png").string()));
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const QImage png(QString::fromStdString(At("x.png").string()), "PNG");
  ASSERT_FALSE(png.isNull());
  EXPECT_EQ(png.size(), picture.size());
  EXPECT_EQ(png.pixelColor(10, 10), QColor(Qt::red));
  run = Companion("TorvImgEpt",
                  Quote(At("TorvImg.bmp").string()) + " --to " + Quote(At("x.pdf").string()));
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(testing::ReadFileBytes(At("x.pdf")).substr(0, 5), "%PDF-");
  std::ofstream(At("broken.bmp")) << "BM not really";
  run = Companion("TorvImgEpt",
                  Quote(At("broken.bmp").string()) + " --to " + Quote(At("y.png").string()));
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_NE(run.err.find("missing or damaged"), std::string::npos);
  EXPECT_FALSE(fs::exists(At("y.png")));
}

TEST_F(CompanionsTest, ImageExportThatFailsKeepsTheOldFile) {
  QImage picture(320, 160, QImage::Format_RGB32);
  picture.fill(Qt::blue);
  ASSERT_TRUE(picture.save(QString::fromStdString(At("TorvImg.bmp").string()), "BMP"));
  std::ofstream(At("old.bmp")) << "old";
  // The disk fills up: no file of the program may grow past a few kilobytes, and the 200 kB
  // bitmap fails part way.
  const ProgramRun run =
      Shell("trap '' XFSZ; ulimit -f 8; TORVWY_HOME=" + Quote(dir_.path().string()) + " " +
            Quote(std::string(TORVWY_COMPANION_DIR) + "/TorvImgEpt") + " " +
            Quote(At("TorvImg.bmp").string()) + " --to " + Quote(At("old.bmp").string()));
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_NE(run.err.find("old.bmp"), std::string::npos) << run.err;
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  EXPECT_EQ(testing::ReadFileBytes(At("old.bmp")), "old");
  for (const auto& entry : fs::directory_iterator(dir_.path())) {
    EXPECT_EQ(entry.path().filename().string().find("old.bmp."), std::string::npos)
        << "a temporary file is left: " << entry.path();
  }
}

TEST_F(CompanionsTest, AnEmptyOutputNameIsRefusedWithoutADialog) {
  // Without a display and with the offscreen platform alike, a dialog would never return; the
  // timeout turns such a hang into exit code 124.
  const std::string companions[][2] = {
      {"TorvEpt", "--to ''"},
      {"TorvRpt", "--pdf ''"},
      {"TorvRpt", "--html ''"},
      {"TorvRpt", "--pdf " + Quote(At("r.pdf").string()) + " --html ''"},
      {"TorvImgEpt", Quote(At("p.bmp").string()) + " --to ''"}};
  for (const auto& [name, arguments] : companions) {
    const ProgramRun run =
        Shell("timeout 10 env -u DISPLAY TORVWY_HOME=" + Quote(dir_.path().string()) + " " +
              Quote(std::string(TORVWY_COMPANION_DIR) + "/" + name) + " " + arguments);
    EXPECT_NE(run.exit_code, 0) << name << " " << arguments;
    EXPECT_NE(run.exit_code, 124) << name << " " << arguments << ": it hung";
    EXPECT_NE(run.err.find("empty file name"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(At("r.pdf")));
  }
}

}  // namespace
}  // namespace torvwy

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
