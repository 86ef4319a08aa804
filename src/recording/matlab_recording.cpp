// MATLAB files: level 5 through the MAT-file library, numeric vectors and the columns or rows of
// 2-D matrices as channels read piece by piece; 7.3 files are handed to the HDF5 reader.
#include <hdf5.h>
#include <matio.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/services/file_read.h"
#include "core/services/message_table.h"
#include "recording/matlab_variables.h"
#include "recording/recording.h"

namespace torvwy::recording {
namespace {

/// A compressed level-5 variable is inflated from its start for every piece the library
/// reads, so it is read whole, up to this size.
constexpr uint64_t kMostCompressedBytes = 256ull << 20;

struct VariableDeleter {
  void operator()(matvar_t* variable) const { Mat_VarFree(variable); }
};
using Variable = std::unique_ptr<matvar_t, VariableDeleter>;

struct FileDeleter {
  void operator()(mat_t* mat) const { Mat_Close(mat); }
};
using MatFile = std::unique_ptr<mat_t, FileDeleter>;

/// The library reports on its own to stderr; the readers say what is wrong themselves.
void QuietLog(int, char*) {}

/// Bytes of one value of a numeric class; 0 for the others.
size_t ValueBytes(matio_classes class_type) {
  switch (class_type) {
    case MAT_C_DOUBLE:
    case MAT_C_INT64:
    case MAT_C_UINT64:
      return 8;
    case MAT_C_SINGLE:
    case MAT_C_INT32:
    case MAT_C_UINT32:
      return 4;
    case MAT_C_INT16:
    case MAT_C_UINT16:
      return 2;
    case MAT_C_INT8:
    case MAT_C_UINT8:
      return 1;
    default:
      return 0;
  }
}

template <typename T>
void Widen(const std::vector<unsigned char>& bytes, size_t first, size_t step, size_t count,
           std::vector<double>& out) {
  out.resize(count);
  for (size_t i = 0; i < count; ++i) {
    T value;
    std::memcpy(&value, bytes.data() + (first + i * step) * sizeof(T), sizeof(T));
    out[i] = static_cast<double>(value);
  }
}

/// `count` values of `class_type` at `first`, `first + step`, ... of `bytes`, as doubles.
void ToDoubles(matio_classes class_type, const std::vector<unsigned char>& bytes, size_t first,
               size_t step, size_t count, std::vector<double>& out) {
  switch (class_type) {
    case MAT_C_DOUBLE:
      return Widen<double>(bytes, first, step, count, out);
    case MAT_C_SINGLE:
      return Widen<float>(bytes, first, step, count, out);
    case MAT_C_INT8:
      return Widen<int8_t>(bytes, first, step, count, out);
    case MAT_C_UINT8:
      return Widen<uint8_t>(bytes, first, step, count, out);
    case MAT_C_INT16:
      return Widen<int16_t>(bytes, first, step, count, out);
    case MAT_C_UINT16:
      return Widen<uint16_t>(bytes, first, step, count, out);
    case MAT_C_INT32:
      return Widen<int32_t>(bytes, first, step, count, out);
    case MAT_C_UINT32:
      return Widen<uint32_t>(bytes, first, step, count, out);
    case MAT_C_INT64:
      return Widen<int64_t>(bytes, first, step, count, out);
    case MAT_C_UINT64:
      return Widen<uint64_t>(bytes, first, step, count, out);
    default:
      out.clear();
  }
}

/// Where a channel lies in its variable: along dimension `along`, at `fixed_index` of the other.
struct ChannelPlace {
  std::string variable;
  matio_classes class_type = MAT_C_DOUBLE;
  size_t rows = 0;
  size_t columns = 0;
  int along = 0;
  size_t fixed_index = 0;
  bool compressed = false;
};

/// Reads the values [start, start + count) of a channel of `variable` into `out`. Linear reads
/// (column-major index, step): the library's 2-D hyperslab read of whole columns ignores the
/// column start in level-5 files.
bool ReadPiece(mat_t* mat, matvar_t* variable, const ChannelPlace& place, size_t start,
               size_t count, std::vector<unsigned char>& bytes, std::vector<double>& out) {
  const size_t first = place.along == 0 ? place.fixed_index * place.rows + start
                                        : place.fixed_index + start * place.rows;
  const size_t step = place.along == 0 ? 1 : place.rows;
  bytes.assign(count * ValueBytes(place.class_type), 0);
  if (Mat_VarReadDataLinear(mat, variable, bytes.data(), static_cast<int>(first),
                            static_cast<int>(step), static_cast<int>(count)) != 0) {
    return false;
  }
  ToDoubles(place.class_type, bytes, 0, 1, count, out);
  return true;
}

class MatlabRecording final : public RecordingReader {
 public:
  MatlabRecording(std::filesystem::path path, MatFile mat, const RecordingOptions& options)
      : RecordingReader(RecordingKind::kMatlab, std::move(path)),
        mat_(std::move(mat)),
        nan_value_(options.nan_value) {}

  /// Walks the variables: channels, scalars (kept for the rate) and the refused ones.
  core::Status Walk(uint64_t file_bytes, const RecordingOptions& options);

  core::Status Read(size_t index, const ChannelSink& sink) override;

 private:
  core::Error ReadFailure(const std::string& why) const {
    return core::Fail(core::kMsgFileRead, path_.string() + ": " + why);
  }
  core::Status Deliver(size_t index, int64_t done, std::vector<double>& values,
                       const ChannelSink& sink) const;

  MatFile mat_;
  std::optional<double> nan_value_;
  std::vector<ChannelPlace> places_;
  std::vector<std::pair<std::string, double>> scalars_;
  std::vector<unsigned char> bytes_;
  std::vector<double> values_;
};

core::Status MatlabRecording::Walk(uint64_t file_bytes, const RecordingOptions& options) {
  // A damaged file could make the walk go round; no real file holds this many variables.
  constexpr int kMostVariables = 1 << 20;
  std::vector<std::string> skipped;
  std::vector<std::string> scalar_names;
  for (int n = 0; n < kMostVariables; ++n) {
    Variable variable(Mat_VarReadNextInfo(mat_.get()));
    if (!variable) break;
    const std::string name = variable->name != nullptr ? variable->name : "";
    if (name.empty()) continue;
    const auto skip = [&](const std::string& why) {
      skipped.push_back("variable '" + name + "' " + why + ": not imported");
    };
    const matio_classes class_type = variable->class_type;
    if (class_type == MAT_C_STRUCT || class_type == MAT_C_CELL) {
      skip(class_type == MAT_C_STRUCT ? "is a struct" : "is a cell array");
      continue;
    }
    if (class_type == MAT_C_CHAR) {
      skip("holds characters");
      continue;
    }
    if (class_type == MAT_C_SPARSE) {
      skip("is sparse");
      continue;
    }
    if (ValueBytes(class_type) == 0) {
      skip("is not a numeric array");
      continue;
    }
    if (variable->isComplex != 0) {
      skip("is complex");
      continue;
    }
    if (variable->rank < 0 || variable->dims == nullptr) {
      skip("has damaged sizes");
      continue;
    }
    uint64_t elements = 1;
    bool overflow = false;
    bool flat_beyond = true;  // the dimensions after the second are all 1
    for (int d = 0; d < variable->rank; ++d) {
      const uint64_t size = variable->dims[d];
      if (d >= 2 && size != 1) flat_beyond = false;
      if (size != 0 && elements > UINT64_MAX / size) overflow = true;
      elements *= size;
    }
    if (elements == 0 && !overflow) {
      skip("is empty");
      continue;
    }
    if (overflow || elements / kMostValuesPerFileByte > file_bytes) {
      return ReadFailure("variable '" + name + "' claims more values than the file can hold");
    }
    if (!flat_beyond) {
      skip("has " + std::to_string(variable->rank) + " dimensions (only vectors and matrices)");
      continue;
    }
    if (elements == 1) {
      // Read after the walk: reading data moves the library off its walk through the file.
      scalar_names.push_back(name);
      continue;
    }
    ChannelPlace place;
    place.variable = name;
    place.class_type = class_type;
    place.rows = variable->dims[0];
    place.columns = variable->rank > 1 ? variable->dims[1] : 1;
    place.compressed = variable->compression != MAT_COMPRESSION_NONE;
    if (elements > static_cast<uint64_t>(INT_MAX)) {
      // The library's reads index a variable with an int.
      skip("is too large (more than " + std::to_string(INT_MAX) + " values)");
      continue;
    }
    if (place.compressed && elements * ValueBytes(class_type) > kMostCompressedBytes) {
      skip("is compressed and larger than " + std::to_string(kMostCompressedBytes >> 20) +
           " MiB (save it without compression)");
      continue;
    }
    for (const MatlabChannel& channel : MatlabVariableChannels(name, place.rows, place.columns)) {
      place.along = channel.down_column ? 0 : 1;
      place.fixed_index = channel.fixed_index;
      places_.push_back(place);
      channels_.push_back(
          ChannelInfo{channel.name, static_cast<int64_t>(channel.length), 0, "", std::nullopt});
    }
  }
  skipped_ = skipped;
  for (const auto& name : scalar_names) {
    Variable variable(Mat_VarReadInfo(mat_.get(), name.c_str()));
    if (!variable) continue;
    std::vector<double> value;
    const ChannelPlace place{name, variable->class_type, 1, 1, 0, 0, false};
    if (ValueBytes(place.class_type) != 0 &&
        ReadPiece(mat_.get(), variable.get(), place, 0, 1, bytes_, value)) {
      scalars_.emplace_back(name, value[0]);
    }
  }
  if (channels_.empty()) return MatlabNoChannel(path_, skipped);
  auto rate_hz = MatlabRate(scalars_, options, path_);
  if (!rate_hz) return rate_hz.error();
  for (auto& channel : channels_) channel.rate_hz = *rate_hz;
  return core::Ok();
}

core::Status MatlabRecording::Deliver(size_t index, int64_t done, std::vector<double>& values,
                                      const ChannelSink& sink) const {
  for (size_t i = 0; i < values.size(); ++i) {
    if (std::isfinite(values[i])) continue;
    if (!nan_value_) {
      return MatlabNotFinite(path_, channels_[index].name, done + static_cast<int64_t>(i));
    }
    values[i] = *nan_value_;
  }
  return sink(std::span<const double>(values.data(), values.size()));
}

core::Status MatlabRecording::Read(size_t index, const ChannelSink& sink) {
  if (index >= places_.size()) {
    return core::Fail(core::kMsgBadValue,
                      path_.string() + ": there is no channel " + std::to_string(index + 1));
  }
  const ChannelPlace& place = places_[index];
  Variable variable(Mat_VarReadInfo(mat_.get(), place.variable.c_str()));
  if (!variable || variable->class_type != place.class_type || variable->rank < 1 ||
      variable->dims == nullptr || variable->dims[0] != place.rows ||
      (variable->rank > 1 ? variable->dims[1] : 1) != place.columns) {
    return ReadFailure("variable '" + place.variable + "' can't be read again");
  }
  const auto length = static_cast<size_t>(channels_[index].length);
  if (place.compressed) {
    // Read whole (bounded when the file was opened), handed over in pieces.
    const size_t elements = place.rows * place.columns;
    bytes_.assign(elements * ValueBytes(place.class_type), 0);
    if (Mat_VarReadDataLinear(mat_.get(), variable.get(), bytes_.data(), 0, 1,
                              static_cast<int>(elements)) != 0) {
      return ReadFailure("the data of variable '" + place.variable + "' is damaged or cut short");
    }
    // Column-major: along the rows the step is 1, along the columns it is the row count.
    const size_t first = place.along == 0 ? place.fixed_index * place.rows : place.fixed_index;
    const size_t step = place.along == 0 ? 1 : place.rows;
    for (size_t done = 0; done < length; done += kRecordingBuffer) {
      const size_t count = std::min(kRecordingBuffer, length - done);
      ToDoubles(place.class_type, bytes_, first + done * step, step, count, values_);
      if (auto ok = Deliver(index, static_cast<int64_t>(done), values_, sink); !ok) return ok;
    }
    bytes_.clear();
    bytes_.shrink_to_fit();
    return core::Ok();
  }
  for (size_t done = 0; done < length; done += kRecordingBuffer) {
    const size_t count = std::min(kRecordingBuffer, length - done);
    if (!ReadPiece(mat_.get(), variable.get(), place, done, count, bytes_, values_)) {
      return ReadFailure("the data of variable '" + place.variable + "' is damaged or cut short");
    }
    if (auto ok = Deliver(index, static_cast<int64_t>(done), values_, sink); !ok) return ok;
  }
  return core::Ok();
}

/// Whether the top-level elements of a level-5 file end inside it. The library reads a variable
/// cut short as if its missing values were there, so a cut file is told here.
///
///   0: 128-byte header (text, subsystem offset, version 0x0100, "IM" or "MI")
///   128: [type u32][bytes u32][data, padded to 8 unless compressed] [type][bytes][...] ...
std::optional<std::string> CutLevel5Element(int fd, uint64_t file_bytes) {
  constexpr uint64_t kHeaderBytes = 128;
  constexpr uint32_t kMatrix = 14;
  constexpr uint32_t kCompressed = 15;
  unsigned char header[kHeaderBytes];
  if (file_bytes < kHeaderBytes || ::pread(fd, header, kHeaderBytes, 0) != kHeaderBytes) {
    return std::nullopt;  // the library says what is wrong
  }
  const bool swapped = header[126] == 'M' && header[127] == 'I';
  const auto load32 = [swapped](const unsigned char* p) {
    return swapped ? (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3]
                   : (uint32_t{p[3]} << 24) | (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
  };
  const uint32_t version = swapped ? (uint32_t{header[124]} << 8) | header[125]
                                   : (uint32_t{header[125]} << 8) | header[124];
  if (version != 0x0100) return std::nullopt;  // 7.3: HDF5 checks its own reads
  uint64_t at = kHeaderBytes;
  for (int n = 1; at + 8 <= file_bytes; ++n) {
    unsigned char tag[8];
    if (::pread(fd, tag, sizeof tag, static_cast<off_t>(at)) != sizeof tag) break;
    const uint32_t type = load32(tag);
    const uint64_t bytes = load32(tag + 4);
    uint64_t end = at + 8 + bytes;
    if (end > file_bytes) {
      return "cut short: variable no. " + std::to_string(n) + " needs " + std::to_string(end) +
             " bytes, the file has " + std::to_string(file_bytes);
    }
    // An array: [flags tag][flags][sizes tag][sizes ...]; the library takes the count of
    // sizes from their tag and allocates for it, so it must lie inside the element.
    unsigned char sizes_tag[8];
    if (type == kMatrix && bytes >= 24 &&
        ::pread(fd, sizes_tag, sizeof sizes_tag, static_cast<off_t>(at + 24)) == sizeof sizes_tag &&
        (load32(sizes_tag) >> 16) == 0 && load32(sizes_tag + 4) > bytes - 24) {
      return "variable no. " + std::to_string(n) + " has damaged sizes";
    }
    if (type != kCompressed) end = (end + 7) / 8 * 8;
    at = end;
  }
  return std::nullopt;
}

/// Whether the 128-byte MAT header at the file's start says version 0x0200: a 7.3 file, whose
/// variables follow as HDF5 behind the 512-byte user block the header starts.
bool IsVersion73(int fd, uint64_t file_bytes) {
  unsigned char tail[4];
  if (file_bytes < 128 || ::pread(fd, tail, sizeof tail, 124) != sizeof tail) return false;
  // The version is written in the writer's byte order, which "IM" (or "MI" swapped) tells.
  return (tail[2] == 'I' && tail[3] == 'M' && tail[0] == 0x00 && tail[1] == 0x02) ||
         (tail[2] == 'M' && tail[3] == 'I' && tail[0] == 0x02 && tail[1] == 0x00);
}

}  // namespace

std::vector<MatlabChannel> MatlabVariableChannels(const std::string& name, uint64_t rows,
                                                  uint64_t columns) {
  if (rows == 1 || columns == 1) {
    return {MatlabChannel{name, rows != 1, 0, rows * columns}};
  }
  // A matrix: its columns when it is at least as tall as wide, else its rows.
  const bool by_columns = rows >= columns;
  const uint64_t count = by_columns ? columns : rows;
  std::vector<MatlabChannel> channels;
  for (uint64_t i = 0; i < count; ++i) {
    channels.push_back(MatlabChannel{name + "_" + std::to_string(i + 1), by_columns, i,
                                     by_columns ? rows : columns});
  }
  return channels;
}

core::Result<double> MatlabRate(const std::vector<std::pair<std::string, double>>& scalars,
                                const RecordingOptions& options,
                                const std::filesystem::path& path) {
  const auto failure = [&](const std::string& why) {
    return core::Fail(core::kMsgFileRead, path.string() + ": " + why);
  };
  // The named scalar, or the first of the usual names; "dt" is a step in seconds.
  const bool named = !options.rate_from.empty();
  const std::vector<std::string> names =
      named ? std::vector<std::string>{options.rate_from} : DefaultRateNames();
  for (const auto& rate_name : names) {
    const auto found = std::find_if(scalars.begin(), scalars.end(),
                                    [&](const auto& scalar) { return scalar.first == rate_name; });
    if (found == scalars.end()) {
      if (named) return failure("no scalar variable '" + rate_name + "' gives the rate");
      continue;
    }
    const double rate = rate_name == "dt" ? 1.0 / found->second : found->second;
    if (std::isfinite(rate) && rate > 0) return rate;
    if (named) {
      return failure("variable '" + rate_name + "' doesn't give a rate (a finite number > 0)");
    }
  }
  return 0.0;
}

core::Error MatlabNoChannel(const std::filesystem::path& path,
                            const std::vector<std::string>& skipped) {
  std::string why = "no numeric vector or matrix to import";
  for (const auto& line : skipped) why += "; " + line;
  return core::Fail(core::kMsgFileRead, path.string() + ": " + why);
}

core::Error MatlabNotFinite(const std::filesystem::path& path, const std::string& channel,
                            int64_t sample) {
  return core::Fail(core::kMsgBadValue, path.string() + ": channel " + channel + ", sample " +
                                            std::to_string(sample + 1) +
                                            ": not a finite number (give a value for it)");
}

core::Result<RecordingHandle> OpenMatlabRecording(const std::filesystem::path& path,
                                                  const RecordingOptions& options) {
  // Checked here first so that a FIFO or a device is refused without blocking.
  uint64_t file_bytes = 0;
  {
    auto file = core::OpenRegularFile(path, core::kMsgFileRead);
    if (!file) return file.error();
    file_bytes = file->size_bytes;
    if (IsVersion73(file->fd.get(), file_bytes)) return OpenMatlab73Recording(path, options);
    if (auto cut = CutLevel5Element(file->fd.get(), file_bytes)) {
      return core::Fail(core::kMsgFileRead, path.string() + ": " + *cut);
    }
  }
  static std::once_flag quiet;
  std::call_once(quiet, [] {
    Mat_LogInitFunc("torvwy", QuietLog);
    H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);  // 7.3 files: HDF5's own error printing
  });
  MatFile mat(Mat_Open(path.c_str(), MAT_ACC_RDONLY));
  if (!mat) {
    return core::Fail(core::kMsgFileRead, path.string() + ": not a readable MATLAB file");
  }
  auto reader = std::make_unique<MatlabRecording>(path, std::move(mat), options);
  if (auto walked = reader->Walk(file_bytes, options); !walked) return walked.error();
  return RecordingHandle(std::move(reader));
}

}  // namespace torvwy::recording
