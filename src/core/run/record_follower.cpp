// Following a node while it is recorded: whole blocks counted as they arrive, and an envelope
// that grows with the record without rereading it.
#include "core/run/record_follower.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <system_error>
#include <utility>
#include <vector>

#include "core/data/envelope.h"
#include "core/data/sample_format.h"
#include "core/data/waveform_reader.h"
#include "core/services/file_read.h"
#include "core/services/message_table.h"
#include "core/services/number_format.h"
#include "core/services/profile.h"
#include "core/services/progress.h"

namespace torvwy::core {
namespace {

constexpr int64_t kReadBlocks = 64;
/// The buffer in which the counted bytes are read again at the end.
constexpr int64_t kCheckBytes = int64_t{1} << 20;

/// A 64-bit hash of a stream of bytes, the same whatever pieces it is fed in: FNV-1a over 64-bit
/// words, each step followed by an xor-shift so that a change in a high bit reaches the low ones.
/// Each step is a one-to-one map of the state for a given word, so two streams of one length
/// that differ in a single word always hash apart; more differences collide by chance only.
class ByteHash {
 public:
  void Feed(std::span<const char> bytes) {
    size_t i = 0;
    for (; i < bytes.size() && pending_bytes_ != 0; ++i) Take(bytes[i]);
    for (; i + 8 <= bytes.size(); i += 8) {
      uint64_t word = 0;
      std::memcpy(&word, bytes.data() + i, 8);
      Mix(word);
    }
    for (; i < bytes.size(); ++i) Take(bytes[i]);
    length_ += bytes.size();
  }

  /// The hash of every byte fed, its length included.
  uint64_t value() const {
    ByteHash end = *this;
    if (end.pending_bytes_ != 0) end.Mix(end.pending_);
    end.Mix(length_);
    return end.state_;
  }

 private:
  void Take(char byte) {
    pending_ |= uint64_t{static_cast<unsigned char>(byte)} << (8 * pending_bytes_);
    if (++pending_bytes_ == 8) {
      Mix(pending_);
      pending_ = 0;
      pending_bytes_ = 0;
    }
  }
  void Mix(uint64_t word) {
    state_ = (state_ ^ word) * 0x100000001b3ull;
    state_ ^= state_ >> 32;
  }

  uint64_t state_ = 0xcbf29ce484222325ull;
  uint64_t pending_ = 0;
  int pending_bytes_ = 0;
  uint64_t length_ = 0;
};

/// Which file a path names: it stays the same while a file is written to, and changes when
/// another file is renamed over the path.
struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  bool operator==(const FileIdentity&) const = default;
};

FileIdentity IdentityOf(const struct stat& status) { return {status.st_dev, status.st_ino}; }

/// What a path that is no regular file names, for the message.
const char* KindOfFile(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
  return "no regular file";
}

/// A stretch of the record as one envelope segment sees it.
using Stretch = EnvelopeSegment;

Stretch Combine(Stretch earlier, const Stretch& later) {
  earlier.Join(later);
  return earlier;
}

/// The stretch of `samples`, whose first one is sample `first_pos` of the record.
Stretch Summarize(std::span<const double> samples, int64_t first_pos) {
  Stretch s;
  if (samples.empty()) return s;
  s.fed = static_cast<int64_t>(samples.size());
  s.first = samples[0];
  for (size_t i = 0; i < samples.size(); ++i) {
    const double v = samples[i];
    if (std::isnan(v)) continue;
    const int64_t pos = first_pos + static_cast<int64_t>(i);
    if (!s.has) {
      s.has = true;
      s.min = s.max = v;
      s.min_pos = s.max_pos = pos;
    } else if (v > s.max) {
      s.max = v;
      s.max_pos = pos;
    } else if (v < s.min) {
      s.min = v;
      s.min_pos = pos;
    }
  }
  return s;
}

/// The stretches of the blocks counted, kept at every power-of-two width so that any run of
/// whole blocks combines from a number of stretches that grows with the log of its length:
///
///   level 2   |          0..3         |          4..7         |
///   level 1   |    0..1   |    2..3   |    4..5   |    6..7   |    8..9   |
///   level 0   |  0  |  1  |  2  |  3  |  4  |  5  |  6  |  7  |  8  |  9  | 10  |
///
///   blocks 1..9 = [1] + [2..3] + [4..7] + [8..9]
class BlockStretches {
 public:
  void Append(const Stretch& block) {
    if (levels_.empty()) levels_.emplace_back();
    levels_[0].push_back(block);
    for (size_t k = 0; levels_[k].size() % 2 == 0; ++k) {
      if (k + 1 == levels_.size()) levels_.emplace_back();
      const std::vector<Stretch>& level = levels_[k];
      levels_[k + 1].push_back(Combine(level[level.size() - 2], level.back()));
    }
  }

  int64_t blocks() const { return levels_.empty() ? 0 : static_cast<int64_t>(levels_[0].size()); }

  /// Blocks [begin, end) combined in time order; every one of them must be appended.
  Stretch Blocks(int64_t begin, int64_t end) const {
    Stretch all;
    for (int64_t b = begin; b < end;) {
      size_t k = 0;
      while (k + 1 < levels_.size()) {
        const int64_t width = int64_t{1} << (k + 1);
        if (b % width != 0 || b + width > end) break;
        if (b / width >= static_cast<int64_t>(levels_[k + 1].size())) break;
        ++k;
      }
      all = Combine(all, levels_[k][static_cast<size_t>(b >> k)]);
      b += int64_t{1} << k;
    }
    return all;
  }

 private:
  std::vector<std::vector<Stretch>> levels_;
};

bool SameRecording(const SamplingInfo& a, const SamplingInfo& b) {
  return a.format() == b.format() && a.frequency_hz() == b.frequency_hz() && a.c1() == b.c1() &&
         a.c2() == b.c2() && a.stored_full_scale() == b.stored_full_scale();
}

/// What changed between the record's first sampling record and `now`, for the message.
std::string DescribeChange(const SamplingInfo& was, const SamplingInfo& now) {
  const auto text = [](double v) { return ShortestText(v); };
  if (was.format() != now.format()) {
    return "the format changed from " + std::to_string(was.format()) + " to " +
           std::to_string(now.format());
  }
  if (was.frequency_hz() != now.frequency_hz()) {
    return "the frequency changed from " + text(was.frequency_hz()) + " to " +
           text(now.frequency_hz()) + " Hz";
  }
  if (was.c1() != now.c1()) return "C1 changed from " + text(was.c1()) + " to " + text(now.c1());
  if (was.c2() != now.c2()) return "C2 changed from " + text(was.c2()) + " to " + text(now.c2());
  return "the full scale changed from " + text(was.stored_full_scale()) + " to " +
         text(now.stored_full_scale());
}

}  // namespace

const char* FollowEndName(FollowEnd end) {
  switch (end) {
    case FollowEnd::kNone:
      return "none";
    case FollowEnd::kComplete:
      return "complete";
    case FollowEnd::kIdle:
      return "idle";
    case FollowEnd::kShrank:
      return "shrank";
    case FollowEnd::kChanged:
      return "changed";
    case FollowEnd::kDeleted:
      return "deleted";
    case FollowEnd::kFailed:
      break;
  }
  return "failed";
}

bool RecordMarkedRunning(const std::filesystem::path& tsp_path) {
  auto ini = IniFile::Load(tsp_path);
  return ini && ini->GetInt(kRecordingSection, kRecordingRunningKey, 0) != 0;
}

struct RecordFollower::State {
  State(CountingNode n, const FollowSetup& s, LiveCounter c, int size)
      : node(std::move(n)), setup(s), counter(std::move(c)), sample_size(size), first(node.info) {}

  CountingNode node;  // info: the .tsp as last read
  FollowSetup setup;
  LiveCounter counter;
  int sample_size;
  SamplingInfo first;  // the .tsp at the start: what may not change
  BlockStretches stretches;
  int64_t blocks_counted = 0;
  int64_t samples_behind = 0;
  int32_t tsp_length = 0;  // the largest Length the .tsp has said, in half blocks
  FollowEnd end = FollowEnd::kNone;
  std::optional<Error> reason;
  std::chrono::steady_clock::time_point last_growth = std::chrono::steady_clock::now();
  // The envelope of the last snapshot and the record it was built for: a record that shrank or
  // went can't be read again, but its blocks counted were.
  std::vector<double> envelope;
  int32_t envelope_length = -1;
  // The .sts the blocks were counted from, held open: every read goes to it, even after another
  // file took its name, and each look checks that the name still leads to it.
  FileDescriptor sts;
  FileIdentity sts_identity;
  int64_t largest_bytes = 0;  // the .sts never shrinks
  ByteHash counted_hash;      // of the bytes of the blocks counted, in order
  bool rewritten = false;     // the counted bytes read again differ: nothing more is read
  std::vector<char> raw;      // the bytes of the last samples Source() gave
  int64_t raw_first = 0;      // ... from this sample on

  FollowLook End(FollowEnd why, std::optional<Error> error, int64_t new_blocks = 0) {
    end = why;
    reason = std::move(error);
    return {new_blocks, end, reason};
  }

  /// Counts blocks blocks_counted .. available - 1 (the .sts holds them), stopping after the
  /// block at which `progress` is cancelled.
  Status CountBlocks(int64_t available, Progress& progress, int64_t& counted_now);

  Result<std::vector<double>> Envelope(const SamplingInfo& record);

  /// A source of the held .sts's samples for a WaveformReader; it leaves their bytes in `raw`.
  SampleSource Source();
  /// Reads bytes [offset, offset + out.size()) of the held .sts.
  Status ReadBytes(int64_t offset, std::span<char> out);

  /// Opens the .sts at `path_status` to be held, when none is held or none of its blocks is
  /// counted yet (a writer may still replace an empty one). Fails when it can't be opened.
  Status Hold(const struct stat& path_status);

  /// Reads the bytes of the blocks counted again and compares them with those counted: ends the
  /// follow (changed) when they differ, (failed) when they can't be read; nullopt when they are
  /// the same or when `progress` cancelled the reading (then `cancelled` is set).
  std::optional<FollowLook> CheckCounted(Progress& progress, const std::string& seen,
                                         bool& cancelled);
};

SampleSource RecordFollower::State::Source() {
  return SampleSource(node.data_file, [this](int64_t first, std::span<double> out) -> Status {
    raw.resize(out.size() * static_cast<size_t>(sample_size));
    raw_first = first;
    if (auto ok = ReadBytes(first * sample_size, raw); !ok) return ok;
    return ConvertSamples(node.info.format(), out, raw);
  });
}

Status RecordFollower::State::ReadBytes(int64_t offset, std::span<char> out) {
  size_t done = 0;
  while (done < out.size()) {
    const ssize_t n = ::pread(sts.get(), out.data() + done, out.size() - done,
                              static_cast<off_t>(offset) + static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      return Fail(kMsgDataFileShort,
                  node.data_file.string() + ": " +
                      (n < 0 ? std::generic_category().message(errno) : "the file ended early"));
    }
    done += static_cast<size_t>(n);
  }
  return Ok();
}

Status RecordFollower::State::Hold(const struct stat& path_status) {
  if (sts.get() >= 0 && (blocks_counted > 0 || IdentityOf(path_status) == sts_identity)) {
    return Ok();
  }
  auto file = OpenRegularFile(node.data_file, kMsgDataFileUnopenable);
  if (!file) return file.error();
  struct stat status {};
  if (::fstat(file->fd.get(), &status) != 0) {
    return Fail(kMsgDataFileUnopenable,
                node.data_file.string() + ": " + std::generic_category().message(errno));
  }
  sts = std::move(file->fd);
  sts_identity = IdentityOf(status);
  largest_bytes = 0;
  return Ok();
}

std::optional<FollowLook> RecordFollower::State::CheckCounted(Progress& progress,
                                                              const std::string& seen,
                                                              bool& cancelled) {
  cancelled = false;
  const int64_t counted_bytes = blocks_counted * kBlockSamples * sample_size;
  if (counted_bytes == 0) return std::nullopt;
  std::vector<char> buffer(static_cast<size_t>(std::min(kCheckBytes, counted_bytes)));
  progress.SetRange(0, (counted_bytes + kCheckBytes - 1) / kCheckBytes);
  progress.SetStep(1);
  ByteHash again;
  for (int64_t offset = 0; offset < counted_bytes; offset += kCheckBytes) {
    const auto piece = std::span<char>(buffer).first(
        static_cast<size_t>(std::min(kCheckBytes, counted_bytes - offset)));
    if (auto ok = ReadBytes(offset, piece); !ok) {
      Error error = ok.error();
      error.detail += seen;
      return End(FollowEnd::kFailed, std::move(error));
    }
    again.Feed(piece);
    progress.StepIt();
    if (progress.CheckCancelButton()) {
      cancelled = true;
      return std::nullopt;
    }
  }
  if (again.value() == counted_hash.value()) return std::nullopt;
  rewritten = true;
  return End(FollowEnd::kChanged,
             Fail(kMsgNodeDataChanged, node.data_file.string() +
                                           ": samples already counted were rewritten: read "
                                           "again at the end, they differ" +
                                           seen));
}

Status RecordFollower::State::CountBlocks(int64_t available, Progress& progress,
                                          int64_t& counted_now) {
  counted_now = 0;
  if (available <= blocks_counted) return Ok();
  // The reader sees a record of the whole blocks present; the .tsp's Length may lag behind.
  SamplingInfo present = node.info;
  present.set_length_half_blocks(static_cast<int32_t>(2 * available));
  auto reader = WaveformReader::Open(Source(), present);
  if (!reader) return reader.error();
  if (auto ok = reader->Seek(blocks_counted * kBlockSamples); !ok) return ok;
  const auto block_bytes = static_cast<size_t>(kBlockSamples * sample_size);
  progress.SetRange(0, available - blocks_counted);
  progress.SetStep(1);
  std::vector<double> buffer(
      static_cast<size_t>(std::min(kReadBlocks, available - blocks_counted) * kBlockSamples));
  while (blocks_counted < available) {
    const int64_t blocks = std::min(kReadBlocks, available - blocks_counted);
    const std::span<double> chunk(buffer.data(), static_cast<size_t>(blocks * kBlockSamples));
    if (auto ok = reader->Read(chunk); !ok) return ok;
    if (auto ok = reader->CheckFinite(chunk, blocks_counted * kBlockSamples); !ok) return ok;
    // The chunk's bytes, hashed block by block as the blocks are counted.
    const std::span<const char> bytes(raw);
    if (raw_first != blocks_counted * kBlockSamples ||
        bytes.size() != static_cast<size_t>(blocks) * block_bytes) {
      return Fail(kMsgBadValue, node.data_file.string() + ": the chunk's bytes were not kept");
    }
    for (int64_t b = 0; b < blocks; ++b) {
      const auto block = std::span<const double>(chunk).subspan(
          static_cast<size_t>(b * kBlockSamples), static_cast<size_t>(kBlockSamples));
      if (auto ok = counter.Feed(block); !ok) return ok;
      counted_hash.Feed(bytes.subspan(static_cast<size_t>(b) * block_bytes, block_bytes));
      stretches.Append(Summarize(block, blocks_counted * kBlockSamples));
      ++blocks_counted;
      ++counted_now;
      progress.StepIt();
      if (progress.CheckCancelButton()) return Ok();
    }
  }
  return Ok();
}

Result<std::vector<double>> RecordFollower::State::Envelope(const SamplingInfo& record) {
  // Segment j holds samples [end(j - 1), end(j)), end(j) = trunc(j x s), as EnvelopeBuilder
  // cuts them. Its whole blocks come from the stretches; only the pieces of the blocks its
  // borders cut are read:
  //
  //   blocks    |   b   |   b   |   b   |   b   |   b   |
  //   segment        [..|=======|=======|====..)
  //                  head   stretches     tail
  const int overview = record.overview_size();
  const int segments = overview / 2;
  const double s = static_cast<double>(record.length_half_blocks()) * 1024.0 / overview;
  const auto segment_end = [s](int j) { return static_cast<int64_t>(std::trunc(j * s)); };

  if (rewritten || sts.get() < 0) {
    return Fail(kMsgNodeDataChanged,
                node.data_file.string() + ": the samples counted can no longer be read");
  }
  auto reader = WaveformReader::Open(Source(), record);
  if (!reader) return reader.error();
  std::vector<double> buffer(static_cast<size_t>(2 * kBlockSamples));
  const auto read = [&](int64_t begin, int64_t end) -> Result<Stretch> {
    if (end <= begin) return Stretch{};
    if (static_cast<size_t>(end - begin) > buffer.size())
      buffer.resize(static_cast<size_t>(end - begin));
    const std::span<double> piece(buffer.data(), static_cast<size_t>(end - begin));
    if (auto ok = reader->Seek(begin); !ok) return ok.error();
    if (auto ok = reader->Read(piece); !ok) return ok.error();
    if (auto ok = reader->CheckFinite(piece, begin); !ok) return ok.error();
    return Summarize(piece, begin);
  };

  const double divisor = record.c2() * record.c1();
  std::vector<double> envelope(static_cast<size_t>(overview), 0.0);
  int64_t begin = 0;
  for (int j = 1; j <= segments; ++j) {
    const int64_t end = segment_end(j);
    const int64_t first_whole = (begin + kBlockSamples - 1) / kBlockSamples;
    const int64_t last_whole = std::min(end / kBlockSamples, stretches.blocks());
    Stretch seg;
    if (first_whole >= last_whole) {
      auto piece = read(begin, end);
      if (!piece) return piece.error();
      seg = *piece;
    } else {
      auto head = read(begin, first_whole * kBlockSamples);
      if (!head) return head.error();
      auto tail = read(last_whole * kBlockSamples, end);
      if (!tail) return tail.error();
      seg = Combine(Combine(*head, stretches.Blocks(first_whole, last_whole)), *tail);
    }
    if (seg.fed > 0) seg.Put(envelope.data() + 2 * (j - 1));
    begin = end;
  }
  for (double& v : envelope) v /= divisor;
  return envelope;
}

Result<RecordFollower> RecordFollower::Start(const CountingNode& node, const FollowSetup& setup) {
  if (node.samples) {
    return Fail(kMsgBadValue, node.data_file.string() + ": a follow reads a waveform file");
  }
  auto info = ReadSamplingParameters(node.tsp_file);
  if (!info) return info.error();
  if (info->format() == kFormatNone) {
    return Fail(kMsgUnknownFormat, node.tsp_file.string() + ": the node has no data (format 0)");
  }
  auto size = GetSampleSize(info->format());
  if (!size) return Fail(size.error().message, node.tsp_file.string() + ": " + size.error().detail);

  auto counter = LiveCounter::Create(setup.plan, *info);
  if (!counter) return counter.error();

  CountingNode followed = node;
  followed.info = *info;
  auto state = std::make_unique<State>(std::move(followed), setup, std::move(*counter), *size);
  state->tsp_length = info->length_half_blocks();
  return RecordFollower(std::move(state));
}

RecordFollower::RecordFollower(std::unique_ptr<State> state) : state_(std::move(state)) {}
RecordFollower::RecordFollower(RecordFollower&&) noexcept = default;
RecordFollower& RecordFollower::operator=(RecordFollower&&) noexcept = default;
RecordFollower::~RecordFollower() = default;

FollowLook RecordFollower::Poll(Progress& progress) {
  State& st = *state_;
  if (st.end != FollowEnd::kNone) return {0, st.end, st.reason};
  const std::string tsp_name = st.node.tsp_file.string();
  const std::string sts_name = st.node.data_file.string();
  const std::string seen = "; " + std::to_string(st.blocks_counted) + " whole blocks were counted";

  std::error_code ec;
  if (!std::filesystem::exists(st.node.tsp_file, ec)) {
    return st.End(FollowEnd::kDeleted,
                  Fail(kMsgSamplingFileMissing, tsp_name + ": the node was deleted" + seen));
  }
  // The mark first: a .tsp read after the mark is gone is the final one, so a record is never
  // taken as complete at a length it only passed through.
  const bool running = RecordMarkedRunning(st.node.tsp_file);
  auto info = ReadSamplingParameters(st.node.tsp_file);
  if (!info) {
    if (!std::filesystem::exists(st.node.tsp_file, ec)) {
      return st.End(FollowEnd::kDeleted,
                    Fail(kMsgSamplingFileMissing, tsp_name + ": the node was deleted" + seen));
    }
    Error error = info.error();
    error.detail += seen;
    return st.End(FollowEnd::kFailed, std::move(error));
  }
  if (!SameRecording(st.first, *info)) {
    return st.End(FollowEnd::kChanged,
                  Fail(kMsgNodeDataChanged,
                       tsp_name + ": " + DescribeChange(st.first, *info) + " mid-record" + seen));
  }
  const int32_t length = info->length_half_blocks();
  if (length < st.tsp_length || (!running && info->whole_blocks() < st.blocks_counted)) {
    const int64_t counted_half_blocks = 2 * st.blocks_counted;
    return st.End(FollowEnd::kShrank,
                  Fail(kMsgNodeDataChanged,
                       tsp_name + ": the record shrank to Length=" + std::to_string(length) +
                           " half blocks, below the " +
                           std::to_string(std::max<int64_t>(st.tsp_length, counted_half_blocks)) +
                           " already seen" + seen));
  }
  st.tsp_length = length;
  st.node.info = *info;

  // The .sts must still be the file whose blocks were counted, and must not have shrunk since.
  struct stat status {};
  if (::stat(st.node.data_file.c_str(), &status) != 0) {
    const int error = errno;
    if (error == ENOENT || error == ENOTDIR) {
      // A waveform not written yet is waited for; one that was there and went is deleted.
      if (st.blocks_counted == 0 && running) {
        st.samples_behind = 0;
        if (std::chrono::steady_clock::now() - st.last_growth >= st.setup.idle) {
          return st.End(FollowEnd::kIdle, std::nullopt);
        }
        return {};
      }
      return st.End(FollowEnd::kDeleted,
                    Fail(kMsgDataFileUnopenable, sts_name + ": the node was deleted" + seen));
    }
    return st.End(FollowEnd::kFailed,
                  Fail(kMsgDataFileUnopenable,
                       sts_name + ": " + std::generic_category().message(error) + seen));
  }
  if (!S_ISREG(status.st_mode)) {
    return st.End(FollowEnd::kFailed,
                  Fail(kMsgDataFileUnopenable, sts_name + ": not a regular file (" +
                                                   KindOfFile(status.st_mode) + ")" + seen));
  }
  if (auto ok = st.Hold(status); !ok) {
    Error error = ok.error();
    error.detail += seen;
    return st.End(FollowEnd::kFailed, std::move(error));
  }
  if (st.blocks_counted > 0 && IdentityOf(status) != st.sts_identity) {
    return st.End(FollowEnd::kChanged,
                  Fail(kMsgNodeDataChanged,
                       sts_name + ": another file took the waveform's place mid-record" + seen));
  }
  // The size of the file held, which the counting reads.
  if (::fstat(st.sts.get(), &status) != 0) {
    return st.End(FollowEnd::kFailed,
                  Fail(kMsgDataFileUnopenable,
                       sts_name + ": " + std::generic_category().message(errno) + seen));
  }
  const auto bytes = static_cast<int64_t>(status.st_size);
  const int64_t present = bytes / st.sample_size;
  if (present < st.blocks_counted * kBlockSamples) {
    return st.End(FollowEnd::kShrank,
                  Fail(kMsgDataFileShort, sts_name + ": the waveform was truncated to " +
                                              std::to_string(present) + " samples, below the " +
                                              std::to_string(st.blocks_counted * kBlockSamples) +
                                              " counted" + seen));
  }
  // Before a block is counted, a writer may still start its file again.
  if (st.blocks_counted > 0 && bytes < st.largest_bytes) {
    return st.End(FollowEnd::kShrank,
                  Fail(kMsgDataFileShort, sts_name + ": the waveform shrank from " +
                                              std::to_string(st.largest_bytes) + " to " +
                                              std::to_string(bytes) + " bytes" + seen));
  }
  st.largest_bytes = bytes;
  // The .sts may run ahead of a growing .tsp; a finished record ends at its own length.
  int64_t available = present / kBlockSamples;
  int64_t record_end = present;
  if (!running) {
    available = std::min<int64_t>(available, info->whole_blocks());
    record_end = std::min(present, info->record_samples());
  }

  // A look that finds the record finished reads the bytes counted so far again before it counts
  // the last blocks; so does one that ends idle, below.
  const bool finishing = !running && length > 0 && present >= info->record_samples();
  bool cancelled = false;
  if (finishing) {
    if (auto end = st.CheckCounted(progress, seen, cancelled)) return *end;
    if (cancelled) return {};
  }
  int64_t counted_now = 0;
  if (auto ok = st.CountBlocks(available, progress, counted_now); !ok) {
    Error error = ok.error();
    error.detail += "; " + std::to_string(st.blocks_counted) + " whole blocks were counted";
    return st.End(FollowEnd::kFailed, std::move(error), counted_now);
  }
  const auto now = std::chrono::steady_clock::now();
  if (counted_now > 0) st.last_growth = now;
  st.samples_behind = std::max<int64_t>(0, record_end - st.blocks_counted * kBlockSamples);

  if (finishing && st.blocks_counted == info->whole_blocks()) {
    return st.End(FollowEnd::kComplete, std::nullopt, counted_now);
  }
  if (counted_now == 0 && now - st.last_growth >= st.setup.idle) {
    if (auto end = st.CheckCounted(progress, seen, cancelled)) return *end;
    if (cancelled) return {};
    return st.End(FollowEnd::kIdle, std::nullopt);
  }
  return {counted_now, FollowEnd::kNone, std::nullopt};
}

Result<AnyResultFile> RecordFollower::Snapshot() {
  State& st = *state_;
  auto counted = st.counter.Snapshot();
  if (!counted) return counted;
  // After a complete end the record is the finished one, possibly with a last half block that
  // no counting counts but the envelope shows; before it, a record of the blocks counted.
  SamplingInfo record = st.node.info;
  if (st.end != FollowEnd::kComplete) {
    record.set_length_half_blocks(static_cast<int32_t>(2 * st.blocks_counted));
  }
  auto envelope = st.Envelope(record);
  if (envelope) {
    st.envelope = *envelope;
    st.envelope_length = record.length_half_blocks();
  } else if (st.envelope_length == record.length_half_blocks()) {
    envelope = st.envelope;
  } else {
    return envelope.error();
  }
  const EnvelopeExtremes extremes = FindEnvelopeExtremes(*envelope);
  std::visit(
      [&](auto& file) {
        file.result.envelope = std::move(*envelope);
        file.result.envelope_maximum = extremes.maximum;
        file.result.envelope_minimum = extremes.minimum;
      },
      *counted);
  ResultFileNode& names = NodeOf(*counted);
  names.test_name = st.node.test_name;
  names.test_code = st.node.test_code;
  names.node_name = st.node.node_name;
  names.sampling = record;
  names.total_blocks = record.whole_blocks();
  return counted;
}

int64_t RecordFollower::blocks_counted() const { return state_->blocks_counted; }
int64_t RecordFollower::samples_behind() const { return state_->samples_behind; }
FollowEnd RecordFollower::end() const { return state_->end; }
const CountingNode& RecordFollower::node() const { return state_->node; }

}  // namespace torvwy::core
