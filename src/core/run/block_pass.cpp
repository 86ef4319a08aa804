// The block pass of the counting run, on one thread or several.
#include "core/run/block_pass.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/data/envelope.h"
#include "core/data/waveform_reader.h"
#include "core/services/message_table.h"
#include "core/services/progress.h"

namespace torvwy::core {
namespace {

/// Fails (bad-value message) when a non-empty block range lies outside the countable blocks.
Status CheckBlockRange(const WaveformReader& reader, const BlockPassSetup& setup) {
  const int64_t blocks = CountableBlocks(reader.countable_samples());
  if (BlockCount(setup.first_block, setup.last_block) == 0 ||
      (setup.first_block >= 1 && setup.last_block <= blocks)) {
    return Ok();
  }
  return Fail(kMsgBadValue, "blocks " + std::to_string(setup.first_block) + " to " +
                                std::to_string(setup.last_block) + " lie outside the record of " +
                                std::to_string(blocks) +
                                (reader.sample_exact() ? " blocks" : " whole blocks"));
}

}  // namespace

Result<BlockPassOutcome> RunBlockPass(WaveformReader& reader, const BlockPassSetup& setup,
                                      const BlockSink& sink, Progress& progress) {
  constexpr int64_t kChunkSamples = 64 * kBlockSamples;
  const int64_t block_count = BlockCount(setup.first_block, setup.last_block);
  if (auto ok = CheckBlockRange(reader, setup); !ok) return ok.error();
  progress.SetRange(0, setup.progress_upper < 0 ? block_count : setup.progress_upper);
  progress.SetStep(1);
  if (!setup.caption.empty()) progress.SetStatus(setup.caption);

  const SampleSpan range =
      BlockSpan(setup.first_block, setup.last_block, reader.countable_samples());
  const int64_t range_begin = range.begin;
  const int64_t range_end = range.end;
  // Reads start on a block border and take whole blocks, so a block never straddles two reads.
  EnvelopeBuilder* envelope = setup.envelope;
  const int64_t read_begin = envelope != nullptr ? 0 : range_begin;
  const int64_t read_end = envelope != nullptr ? reader.record_samples() : range_end;
  BlockPassOutcome outcome;
  if (read_end <= read_begin) return outcome;
  if (auto ok = reader.Seek(read_begin); !ok) return ok.error();

  std::vector<double> buffer(static_cast<size_t>(std::min(kChunkSamples, read_end - read_begin)));
  bool counting = block_count > 0;
  for (int64_t position = read_begin; position < read_end;) {
    const int64_t n = std::min(static_cast<int64_t>(buffer.size()), read_end - position);
    const std::span<double> chunk(buffer.data(), static_cast<size_t>(n));
    if (auto ok = reader.Read(chunk); !ok) return ok.error();
    if (auto ok = reader.CheckFinite(chunk, position); !ok) return ok.error();
    // Block by block, the envelope and then the counter take each block while it is in the
    // first-level cache.
    for (int64_t b = position; b < position + n; b += kBlockSamples) {
      const int64_t block_end = std::min(b + kBlockSamples, position + n);
      if (envelope != nullptr) {
        envelope->Feed(
            chunk.subspan(static_cast<size_t>(b - position), static_cast<size_t>(block_end - b)));
      }
      if (!counting || b < range_begin || b >= range_end) continue;
      const int64_t samples = std::min(kBlockSamples, range_end - b);
      if (auto ok =
              sink(chunk.subspan(static_cast<size_t>(b - position), static_cast<size_t>(samples)));
          !ok) {
        return ok.error();
      }
      ++outcome.blocks_counted;
      progress.StepIt();
      if (progress.CheckCancelButton()) {
        outcome.cancelled = true;
        counting = false;
      }
    }
    position += n;
    if (!counting && envelope == nullptr) break;
  }
  return outcome;
}

int WorkerThreads(int threads) {
  if (threads > 0) return threads;
  return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

namespace {

/// What the workers of a chunked pass share; the calling thread reads it to show progress.
struct ChunkedPassState {
  std::atomic<int64_t> counted_samples{0};
  std::atomic<bool> stop_counting{false};
  std::mutex mutex;
  std::condition_variable changed;
  size_t finished = 0;
  std::optional<Error> error;

  void Fail(Error e) {
    const std::lock_guard lock(mutex);
    if (!error) error = std::move(e);
    stop_counting = true;
  }
};

/// One worker: reads the stretch [read_begin, read_end) of the record for the envelope (when
/// there is one), and hands the part of the window that it covers to the sink, with the window's
/// samples outside the stretch read on their own.
Status RunChunkWorker(WaveformReader& reader, size_t chunk, int64_t read_begin, int64_t read_end,
                      SampleSpan window, EnvelopeBuilder* envelope, const ChunkSink& sink,
                      ChunkedPassState& state) {
  constexpr int64_t kReadSamples = 64 * kBlockSamples;
  const auto feed_alone = [&](int64_t index) -> Status {
    double sample = 0.0;
    if (auto ok = reader.Seek(index); !ok) return ok;
    if (auto ok = reader.Read({&sample, 1}); !ok) return ok;
    if (auto ok = reader.CheckFinite({&sample, 1}, index); !ok) return ok;
    return sink(chunk, {&sample, 1});
  };
  bool counting = true;
  if (window.begin < read_begin) {
    if (auto ok = feed_alone(window.begin); !ok) return ok;
  }
  std::vector<double> buffer(static_cast<size_t>(std::min(kReadSamples, read_end - read_begin)));
  if (auto ok = reader.Seek(read_begin); !ok) return ok;
  for (int64_t position = read_begin; position < read_end;) {
    if (!counting && envelope == nullptr) break;
    const int64_t n = std::min(static_cast<int64_t>(buffer.size()), read_end - position);
    const std::span<double> piece(buffer.data(), static_cast<size_t>(n));
    if (auto ok = reader.Read(piece); !ok) return ok;
    if (auto ok = reader.CheckFinite(piece, position); !ok) return ok;
    // Piece by piece, the envelope and then the counter take the samples while they are in the
    // first-level cache.
    constexpr int64_t kPieceSamples = 4 * kBlockSamples;
    for (int64_t p = position; p < position + n; p += kPieceSamples) {
      const int64_t p_end = std::min(p + kPieceSamples, position + n);
      if (envelope != nullptr) {
        envelope->Feed(
            piece.subspan(static_cast<size_t>(p - position), static_cast<size_t>(p_end - p)));
      }
      const int64_t begin = std::max(p, window.begin);
      const int64_t end = std::min(p_end, window.end);
      if (counting && begin < end) {
        if (auto ok = sink(chunk, piece.subspan(static_cast<size_t>(begin - position),
                                                static_cast<size_t>(end - begin)));
            !ok) {
          return ok;
        }
        state.counted_samples += end - begin;
      }
    }
    if (counting) {
      state.changed.notify_one();
      if (state.stop_counting) counting = false;
    }
    position += n;
  }
  if (counting && window.end > read_end) {
    if (auto ok = feed_alone(read_end); !ok) return ok;
  }
  return Ok();
}

}  // namespace

Result<BlockPassOutcome> RunChunkedBlockPass(WaveformReader& reader, const BlockPassSetup& setup,
                                             const std::vector<int64_t>& chunk_edges,
                                             const ChunkSink& sink, Progress& progress) {
  const int64_t block_count = BlockCount(setup.first_block, setup.last_block);
  if (auto ok = CheckBlockRange(reader, setup); !ok) return ok.error();
  const SampleSpan range =
      BlockSpan(setup.first_block, setup.last_block, reader.countable_samples());
  const int64_t range_begin = range.begin;
  const int64_t range_end = range.end;
  bool covered = block_count > 0 && chunk_edges.size() >= 2 && chunk_edges.front() == range_begin &&
                 chunk_edges.back() == range_end;
  for (size_t c = 1; covered && c < chunk_edges.size(); ++c) {
    covered = chunk_edges[c] > chunk_edges[c - 1];
  }
  if (!covered) {
    return Fail(kMsgBadValue, "the chunks of a counting pass must follow one another over its " +
                                  std::to_string(block_count) + " blocks");
  }
  progress.SetRange(0, setup.progress_upper < 0 ? block_count : setup.progress_upper);
  progress.SetStep(1);
  if (!setup.caption.empty()) progress.SetStatus(setup.caption);

  // Worker c reads the record from edge c to edge c + 1; the first and the last also read what
  // lies before and after the range when the whole record goes to the envelope.
  const size_t chunks = chunk_edges.size() - 1;
  EnvelopeBuilder* envelope = setup.envelope;
  std::vector<WaveformReader> readers;
  std::vector<EnvelopeBuilder> envelopes;
  std::vector<std::pair<int64_t, int64_t>> stretches;
  for (size_t c = 0; c < chunks; ++c) {
    auto copy = reader.Duplicate();
    if (!copy) return copy.error();
    readers.push_back(std::move(*copy));
    int64_t begin = chunk_edges[c];
    int64_t end = chunk_edges[c + 1];
    if (envelope != nullptr && c == 0) begin = 0;
    if (envelope != nullptr && c + 1 == chunks) end = reader.record_samples();
    stretches.emplace_back(begin, end);
    if (envelope != nullptr) envelopes.push_back(envelope->StretchFrom(begin));
  }

  ChunkedPassState state;
  std::vector<std::thread> pool;
  pool.reserve(chunks);
  for (size_t c = 0; c < chunks; ++c) {
    const SampleSpan window =
        ChunkWindow(range_begin, range_end, chunk_edges[c], chunk_edges[c + 1]);
    try {
      pool.emplace_back([&, c, window] {
        // An exception must not escape the thread; a worker that can't finish fails the pass.
        Status ok = Ok();
        try {
          ok = RunChunkWorker(readers[c], c, stretches[c].first, stretches[c].second, window,
                              envelope != nullptr ? &envelopes[c] : nullptr, sink, state);
        } catch (const std::exception& e) {
          ok = Fail(kMsgOutOfMemory, std::string("a counting worker failed: ") + e.what());
        }
        if (!ok) state.Fail(ok.error());
        const std::lock_guard lock(state.mutex);
        ++state.finished;
        state.changed.notify_one();
      });
    } catch (const std::exception& e) {
      state.Fail(Fail(kMsgOutOfMemory, std::string("no counting worker could start: ") + e.what()));
      break;
    }
  }

  BlockPassOutcome outcome;
  // The windows overlap by a sample or two at each edge: the count is a hair high, never past
  // the blocks; a last block that ends inside counts once all of the range is in.
  const auto counted_blocks = [&] {
    const int64_t samples = state.counted_samples.load();
    return samples >= range_end - range_begin ? block_count
                                              : std::min(block_count, samples / kBlockSamples);
  };
  const auto show = [&] {
    progress.SetPos(counted_blocks());
    if (progress.CheckCancelButton()) {
      outcome.cancelled = true;
      state.stop_counting = true;
    }
  };
  {
    std::unique_lock lock(state.mutex);
    while (state.finished < pool.size()) {
      state.changed.wait_for(lock, std::chrono::milliseconds(20));
      lock.unlock();
      show();
      lock.lock();
    }
  }
  for (std::thread& thread : pool) thread.join();
  if (state.error) return *state.error;
  show();
  outcome.blocks_counted = counted_blocks();
  if (envelope != nullptr) {
    for (const EnvelopeBuilder& stretch : envelopes) envelope->Merge(stretch);
  }
  return outcome;
}

}  // namespace torvwy::core
