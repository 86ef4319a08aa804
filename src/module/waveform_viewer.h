// The time-history viewer of a counting window's node: zoom, pan, bookmark flags and the
// analysis range picked by dragging.
#pragma once

#include <QPoint>
#include <QWidget>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "core/data/labels.h"
#include "core/data/waveform_reader.h"
#include "core/data/waveform_window.h"
#include "core/run/counting_run.h"
#include "core/services/language.h"
#include "render/colours.h"
#include "render/waveform_picture.h"

namespace torvwy::module {

/// Shows a stretch of the node: the whole record from its envelope (no sample read), a stretch
/// of at most kMaxWindowReadSamples read through the waveform reader as group extremes, one
/// group per pixel column, and a longer stretch from the envelope's segments.
///
///   wheel / + -        zoom in and out (the wheel about the sample under the mouse)
///   right drag, <- ->  pan                      Home: the whole record
///   left drag          picks the analysis range: BlocksPicked(first, last) on release
class WaveformViewer : public QWidget {
  Q_OBJECT

 public:
  /// `envelope`: the record's envelope in EU (M values), empty when the node is not counted
  /// yet; `bookmarks` are flagged at their sample positions.
  WaveformViewer(core::CountingNode node, std::vector<double> envelope,
                 std::vector<core::Label> bookmarks, core::Language language,
                 QWidget* parent = nullptr);

  void SetEnvelope(std::vector<double> envelope);
  void SetBookmarks(std::vector<core::Label> bookmarks);
  /// The analysis range shown as picked (blocks, 1-based); none hides it.
  void SetPickedBlocks(std::optional<std::pair<int32_t, int32_t>> blocks);

  /// The node shown.
  const core::CountingNode& node() const { return node_; }
  /// The stretch asked for: first sample and sample count.
  int64_t view_first() const { return view_first_; }
  int64_t view_count() const { return view_count_; }
  /// Samples read from the record so far (the envelope reads none).
  int64_t samples_read() const { return samples_read_; }
  /// The picked range in blocks; none before a pick.
  std::optional<std::pair<int32_t, int32_t>> picked_blocks() const { return picked_; }
  /// What the last paint drew.
  const render::WaveformReport& drawn() const { return drawn_; }

  /// Zooms by `factor` (below 1: in) keeping the sample under column `x` where it is.
  void ZoomAt(double factor, int x);
  /// Shows samples first .. first + count - 1, held within the record.
  void ShowStretch(int64_t first, int64_t count);

  /// The fewest samples a zoom shows.
  static constexpr int64_t kMinimumShown = 32;

 signals:
  /// The user picked blocks first..last (1-based, first <= last) by dragging.
  void BlocksPicked(int32_t first, int32_t last);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  /// The sample under column `x` of the last paint (held within the record).
  int64_t SampleAt(int x) const;
  /// The group extremes of the stretch shown, read or taken from the envelope.
  const core::WindowExtremes* Window(int columns, QString* missing);
  double Seconds(int64_t sample) const;
  int32_t BlockOf(int64_t sample) const;

  core::CountingNode node_;
  std::vector<double> envelope_;
  std::vector<core::Label> bookmarks_;
  core::Language language_;
  render::PictureColours colours_;
  int64_t record_ = 0;
  int64_t view_first_ = 0;
  int64_t view_count_ = 0;
  int64_t samples_read_ = 0;
  std::optional<core::WaveformReader> reader_;
  QString reader_error_;
  core::WindowExtremes window_;
  bool window_valid_ = false;
  int window_columns_ = 0;
  int64_t drawn_first_ = 0;  ///< the samples the last paint spread over its curve area
  int64_t drawn_span_ = 1;
  std::optional<std::pair<int32_t, int32_t>> picked_;
  std::optional<std::pair<int64_t, int64_t>> dragged_;  ///< the pick under way, samples
  bool panning_ = false;
  QPoint press_;
  int64_t press_first_ = 0;
  render::WaveformReport drawn_;
};

}  // namespace torvwy::module
