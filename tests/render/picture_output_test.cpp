// Picture output: printer geometry, bitmap files, the PDF page and the --picture option.
#include "render/picture_output.h"

#include <gtest/gtest.h>

#include <QImage>
#include <array>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "picture_fixtures.h"
#include "support/run_command.h"
#include "support/test_node.h"

namespace torvwy::render {
namespace {

using torvwy::testing::Quote;
using torvwy::testing::RunTorvwy;
using torvwy::testing::TempDir;

/// Output of a shell command.
std::string Capture(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  std::array<char, 4096> buffer{};
  size_t n = 0;
  while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) out.append(buffer.data(), n);
  pclose(pipe);
  return out;
}

uint32_t U32(const std::string& bytes, size_t offset) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[offset + i]);
  return value;
}

PictureDrawer Drawer(const core::AnyResultFile& file, const ViewState& state) {
  return [file, state](QPainter& painter, const TargetGeometry& geometry) {
    return DrawCountingPicture(painter, geometry, file, {{"1000", "flag"}}, state);
  };
}

TEST(PictureOutputTest, A4PrinterGeometry) {
  const PrinterGeometry a4 = ComputePrinterGeometry(210.0, 297.0, 600);
  EXPECT_EQ(a4.page_width_mm, 178);
  EXPECT_EQ(a4.page_height_mm, 252);
  EXPECT_EQ(a4.logical_extent, QSize(1600, 2265));
  EXPECT_EQ(a4.area.left(), 114);
  EXPECT_EQ(a4.area.top(), 161);
  EXPECT_EQ(a4.area.right() + 1, 1714);
  EXPECT_EQ(a4.area.bottom() + 1, 2426);
  EXPECT_EQ(a4.device_extent.width(), static_cast<int>(600 * 178 * 2.0 / 49.0));
  EXPECT_EQ(ImageArea(0.7), QRect(0, 0, 800, 560));
  EXPECT_EQ(ImageArea(480.0 / 640.0, 640), QRect(0, 0, 640, 480));
}

TEST(PictureOutputTest, BitmapFileIsAStandard24BitBitmap) {
  const QImage image =
      RenderImage(Drawer(testing::PeakFixture(), testing::StateFor(core::Language::kEnglish)), 0.7);
  auto bytes = EncodeBitmapFile(image);
  ASSERT_TRUE(bytes.ok());
  const std::string& bmp = *bytes;
  ASSERT_GT(bmp.size(), 54u);
  EXPECT_EQ(bmp.substr(0, 2), "BM");
  EXPECT_EQ(U32(bmp, 2), bmp.size());
  EXPECT_EQ(U32(bmp, 18), 800u);
  EXPECT_EQ(U32(bmp, 22), 560u);
  EXPECT_EQ(static_cast<unsigned char>(bmp[28]), 24);
  // Rows are bottom-up and padded to four bytes: 800 x 3 = 2400 bytes a row.
  EXPECT_EQ(bmp.size(), U32(bmp, 10) + 2400u * 560u);
  const QImage back = QImage::fromData(reinterpret_cast<const uchar*>(bmp.data()),
                                       static_cast<int>(bmp.size()), "BMP");
  EXPECT_EQ(back.pixelColor(400, 200), image.pixelColor(400, 200));

  TempDir dir;
  EXPECT_FALSE(WriteBitmapFile(dir.path() / "missing" / "a.bmp", image).ok());
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "missing"));
  auto refused = SavePicture(dir.path() / "a.gif", Drawer(testing::PeakFixture(), {}));
  EXPECT_FALSE(refused.ok());
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(PictureOutputTest, PdfIsOneA4PageAndPrintsTheTextsOfTheImage) {
  const ViewState state = testing::StateFor(core::Language::kEnglish);
  const core::AnyResultFile file = testing::RangeFixture();
  PictureReport printed;
  auto pdf = RenderPdf(Drawer(file, state), &printed);
  ASSERT_TRUE(pdf.ok());
  PictureReport imaged;
  RenderImage(Drawer(file, state), 0.7, kImageWidth, &imaged);
  EXPECT_EQ(testing::Texts(printed), testing::Texts(imaged));
  EXPECT_EQ(printed.column.right() + 1, 1714) << "the column closes the printed area";
  EXPECT_GE(printed.column.width(), 180);

  TempDir dir;
  const auto path = dir.path() / "range.pdf";
  ASSERT_TRUE(SavePicture(path, Drawer(file, state)).ok());
  const std::string info = Capture("pdfinfo " + Quote(path.string()) + " 2>&1");
  EXPECT_NE(info.find("Pages:           1\n"), std::string::npos) << info;
  EXPECT_NE(info.find("(A4)"), std::string::npos) << info;
  const std::string text = Capture("pdftotext -layout " + Quote(path.string()) + " - 2>&1");
  for (const char* line : {"Varied-Distance Counting", "Test Name: demo", "Partitions: 5",
                           "Positive & Negative", "Ni: 2", "2024-03-05"}) {
    EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
  }
}

class PictureCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto out =
        RunTorvwy("gen --data " + Quote(data()) + " --test demo --code 1 --nodes 3 --blocks 40",
                  home.path().string());
    ASSERT_EQ(out.exit_code, 0) << out.err;
  }
  std::string data() const { return (home.path() / "data").string(); }
  std::string Node(const std::string& node) const {
    return " --data " + Quote(data()) + " --test demo --code 1 --node " + node;
  }
  torvwy::testing::CommandOutput Run(const std::string& arguments) const {
    return RunTorvwy(arguments, home.path().string());
  }
  TempDir home;
};

TEST_F(PictureCommandTest, EveryAnalysisWritesItsPicture) {
  const auto png = home.path() / "peak.png";
  auto out =
      Run("peak" + Node("1") + " --partitions 10 --separate --picture " + Quote(png.string()));
  ASSERT_EQ(out.exit_code, 0) << out.err;
  EXPECT_NE(out.out.find("picture " + png.string()), std::string::npos);
  QImage image(QString::fromStdString(png.string()));
  EXPECT_EQ(image.size(), QSize(800, 560));

  const auto bmp = home.path() / "range.bmp";
  out = Run("range" + Node("2") + " --one-way --size 640x480 --json --picture " +
            Quote(bmp.string()));
  ASSERT_EQ(out.exit_code, 0) << out.err;
  EXPECT_EQ(out.out.find("picture"), std::string::npos) << "JSON stays one object";
  EXPECT_EQ(QImage(QString::fromStdString(bmp.string())).size(), QSize(640, 480));

  const auto pdf = home.path() / "rainflow.pdf";
  out = Run("rainflow" + Node("3") + " --save --lang zh --picture " + Quote(pdf.string()));
  ASSERT_EQ(out.exit_code, 0) << out.err;
  std::string text = Capture("pdftotext " + Quote(pdf.string()) + " - 2>&1");
  EXPECT_NE(text.find("雨流法计数"), std::string::npos) << text;

  // The saved result draws the same analysis from its file.
  const auto opened = home.path() / "opened.png";
  out = Run("open " + Quote(data() + "/demo1#3.RFL") + " --picture " + Quote(opened.string()));
  ASSERT_EQ(out.exit_code, 0) << out.err;
  EXPECT_EQ(QImage(QString::fromStdString(opened.string())).size(), QSize(800, 560));
}

TEST_F(PictureCommandTest, BadPictureOptionsAreRefusedBeforeCounting) {
  const auto gif = home.path() / "x.gif";
  const char* cases[] = {
      " --picture x.gif",
      " --one-way",
      " --picture a.png --lang fr",
      " --picture a.png --size 10x10",
      " --picture a.png --size wide",
      " --picture a.pdf --size 800x600",
  };
  for (const char* arguments : cases) {
    SCOPED_TRACE(arguments);
    const auto out = Run("peak" + Node("1") + arguments);
    EXPECT_EQ(out.exit_code, 1);
    EXPECT_EQ(std::count(out.err.begin(), out.err.end(), '\n'), 1) << out.err;
    EXPECT_TRUE(out.out.empty()) << "refused before the counts are shown";
  }
  // A folder that does not exist: one line, no file.
  const auto out =
      Run("peak" + Node("1") + " --picture " + Quote((home.path() / "no" / "a.png").string()));
  EXPECT_EQ(out.exit_code, 1);
  EXPECT_FALSE(std::filesystem::exists(home.path() / "no"));
}

}  // namespace
}  // namespace torvwy::render
