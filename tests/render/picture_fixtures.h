// Hand-built result records and pixel helpers for the picture tests.
#pragma once

#include <QColor>
#include <QImage>
#include <QRect>
#include <cmath>
#include <ctime>
#include <vector>

#include "core/files/result_file.h"
#include "render/counting_picture.h"
#include "render/picture_output.h"

namespace torvwy::render::testing {

/// The node every fixture belongs to: 1024 Hz, 400 half blocks (204800 samples), unit MPa.
inline void FillNode(core::ResultFileNode& node) {
  node.test_name = "demo";
  node.test_code = "7";
  node.node_name = "3";
  node.sampling.set_frequency_hz(1024.0);
  node.sampling.set_c1(1.0);
  node.sampling.set_c2(1.0);
  node.sampling.set_format(886);
  node.sampling.set_length_half_blocks(400);
  node.sampling.set_eu("MPa");
}

/// An envelope of M points whose largest value 8 sits at point 300 and smallest -5 at 700.
inline std::vector<double> Envelope(int m = 1024) {
  std::vector<double> envelope(static_cast<size_t>(m), 0.0);
  for (int i = 0; i < m; ++i) envelope[static_cast<size_t>(i)] = 2.0 * std::sin(i * 0.05);
  envelope[300] = 8.0;
  envelope[700] = -5.0;
  return envelope;
}

/// Peak result: N = 4, A = 10, two-way peaks {1, 3, 6, 2}, valleys {4, 1, 0, 0}.
inline core::PeakResultFile PeakFixture() {
  core::PeakResultFile file;
  FillNode(file);
  auto& r = file.result;
  r.partitions = 4;
  r.amplitude_range = 10.0;
  r.two_way_width = 5.0;
  r.one_way_width = 2.5;
  const int peaks[] = {1, 3, 6, 2};
  const int valleys[] = {4, 1, 0, 0};
  for (int i = 0; i < 4; ++i) {
    r.two_way_peak_counts[i] = peaks[i];
    r.two_way_valley_counts[i] = valleys[i];
    r.two_way_total_counts[i] = peaks[i] + valleys[i];
    r.one_way_peak_counts[i] = peaks[3 - i];
    r.one_way_valley_counts[i] = valleys[3 - i];
    r.one_way_total_counts[i] = peaks[3 - i] + valleys[3 - i];
  }
  r.largest_separate_count = 6;
  r.largest_total_count = 7;
  r.cursor_partition = 2;
  r.first_block = 1;
  r.last_block = 200;
  r.envelope = Envelope();
  r.envelope_maximum = 8.0;
  r.envelope_minimum = -5.0;
  return file;
}

/// Range result: N = 5, A = 20, two-way counts {0, 10, 4, 0, 1}, one-way {2, 2, 2, 2, 2}.
inline core::RangeResultFile RangeFixture() {
  core::RangeResultFile file;
  FillNode(file);
  auto& r = file.result;
  r.partitions = 5;
  r.amplitude_range = 20.0;
  r.two_way_width = 8.0;
  r.one_way_width = 4.0;
  const int two[] = {0, 10, 4, 0, 1};
  for (int i = 0; i < 5; ++i) {
    r.two_way_counts[i] = two[i];
    r.one_way_counts[i] = 2;
  }
  r.largest_count = 10;
  r.cursor_partition = 1;
  r.first_block = 11;
  r.last_block = 20;
  r.envelope = Envelope();
  r.envelope_maximum = 8.0;
  r.envelope_minimum = -5.0;
  return file;
}

/// Rainflow result: N = 3, A = 9, counts {2.5, 0, 1}.
inline core::RainflowResultFile RainflowFixture() {
  core::RainflowResultFile file;
  FillNode(file);
  auto& r = file.result;
  r.partitions = 3;
  r.amplitude_range = 9.0;
  r.partition_width = 3.0;
  r.counts[0] = 2.5;
  r.counts[2] = 1.0;
  r.largest_count = 2;
  r.cursor_partition = 0;
  r.first_block = 1;
  r.last_block = 200;
  r.envelope = Envelope();
  r.envelope_maximum = 8.0;
  r.envelope_minimum = -5.0;
  return file;
}

/// A fixed moment for the date and time lines.
inline std::tm FixedClock() {
  std::tm t{};
  t.tm_year = 2024 - 1900;
  t.tm_mon = 2;
  t.tm_mday = 5;
  t.tm_hour = 14;
  t.tm_min = 3;
  t.tm_sec = 9;
  return t;
}

inline ViewState StateFor(core::Language language) {
  ViewState state;
  state.language = language;
  state.clock = FixedClock();
  return state;
}

/// Draws any result into an 800 x 560 image and reports what was drawn.
inline QImage Render(const core::AnyResultFile& file, const ViewState& state, PictureReport& report,
                     const std::vector<core::Label>& bookmarks = {}) {
  return RenderImage(
      [&](QPainter& painter, const TargetGeometry& geometry) {
        return DrawCountingPicture(painter, geometry, file, bookmarks, state);
      },
      kDefaultAspect, kImageWidth, &report);
}

inline QColor Pixel(const QImage& image, int x, int y) { return image.pixelColor(x, y); }

/// The texts of a report, in order.
inline QStringList Texts(const PictureReport& report) {
  QStringList texts;
  for (const auto& text : report.texts) texts << text.text;
  return texts;
}

}  // namespace torvwy::render::testing
