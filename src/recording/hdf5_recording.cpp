// The HDF5 reader: the numeric datasets found by walking the groups, or the variables of a
// MATLAB 7.3 file, as channels read in hyperslabs through the HDF5 C library.
#include <hdf5.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/services/file_read.h"
#include "core/services/message_table.h"
#include "recording/matlab_variables.h"
#include "recording/recording.h"

namespace torvwy::recording {
namespace {

/// The longest channel taken: 2^36 samples are half a terabyte of doubles; a longer claim is a
/// damaged or hostile header, even where fill values could be read for it.
constexpr hsize_t kMaxChannelSamples = hsize_t{1} << 36;
/// The most columns a 2-D dataset gives: each becomes a channel described in memory.
constexpr hsize_t kMaxColumns = 65536;
/// The longest unit kept, and the longest string attribute looked at for one.
constexpr size_t kMaxUnitBytes = 64;
constexpr size_t kMaxAttributeTextBytes = 4096;
/// The longest reason taken from the library's error stack.
constexpr size_t kMaxReasonBytes = 200;

/// An HDF5 identifier closed by its own close function when it goes away.
class Handle {
 public:
  Handle() = default;
  Handle(hid_t id, herr_t (*close)(hid_t)) : id_(id), close_(close) {}
  Handle(Handle&& other) noexcept : id_(std::exchange(other.id_, -1)), close_(other.close_) {}
  Handle& operator=(Handle&& other) noexcept {
    if (this != &other) {
      Reset();
      id_ = std::exchange(other.id_, -1);
      close_ = other.close_;
    }
    return *this;
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() { Reset(); }

  bool ok() const { return id_ >= 0; }
  hid_t get() const { return id_; }
  void Reset() {
    if (id_ >= 0 && close_ != nullptr) close_(id_);
    id_ = -1;
  }

 private:
  hid_t id_ = -1;
  herr_t (*close_)(hid_t) = nullptr;
};

std::mutex& LibraryMutex() {
  static std::mutex mutex;
  return mutex;
}

/// Holds the library while this reader calls it: one caller at a time (the serial library is
/// not thread-safe), with the library's own error printing off so that a damaged file prints
/// nothing. Release() gives the process its printing back, as it was, before other code runs.
class LibraryHold {
 public:
  LibraryHold() { Acquire(); }
  ~LibraryHold() {
    if (held_) Release();
  }
  LibraryHold(const LibraryHold&) = delete;
  LibraryHold& operator=(const LibraryHold&) = delete;

  void Acquire() {
    LibraryMutex().lock();
    // Some damaged files make the library lose track of a part of the file it read (a fault of
    // the library), and its shutdown at the process's exit then prints two lines on the error
    // output. A reader has nothing to flush at exit, so the shutdown is left out when this is
    // the first use of the library in the process.
    static std::once_flag no_shutdown_at_exit;
    std::call_once(no_shutdown_at_exit, [] { H5dont_atexit(); });
    H5Eget_auto2(H5E_DEFAULT, &saved_printer_, &saved_data_);
    H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
    held_ = true;
  }
  void Release() {
    H5Eset_auto2(H5E_DEFAULT, saved_printer_, saved_data_);
    held_ = false;
    LibraryMutex().unlock();
  }

 private:
  H5E_auto2_t saved_printer_ = nullptr;
  void* saved_data_ = nullptr;
  bool held_ = false;
};

/// `text` cut to `max_bytes` without splitting a UTF-8 sequence.
std::string CutUtf8(std::string text, size_t max_bytes) {
  if (text.size() <= max_bytes) return text;
  size_t end = max_bytes;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  text.resize(end);
  return text;
}

/// The most specific line of the library's error stack, as " (line)"; empty when it holds none.
/// Call it right after the failed call: the next call clears the stack.
std::string Reason() {
  std::string reason;
  H5Ewalk2(
      H5E_DEFAULT, H5E_WALK_UPWARD,
      [](unsigned n, const H5E_error2_t* error, void* data) -> herr_t {
        if (n == 0 && error->desc != nullptr) *static_cast<std::string*>(data) = error->desc;
        return 0;
      },
      &reason);
  for (char& c : reason) {
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  }
  reason = CutUtf8(std::move(reason), kMaxReasonBytes);
  return reason.empty() ? std::string() : " (" + reason + ")";
}

std::string Quoted(const std::string& name) { return "\"" + name + "\""; }

/// How messages name a dataset: as such in an HDF5 file, as a variable in a MATLAB file.
std::string Subject(bool matlab, const std::string& dataset) {
  return matlab ? "variable '" + dataset + "'" : "the dataset " + Quoted(dataset);
}

/// How a channel lies in its dataset: the samples run along dimension `axis`, at index `fixed`
/// of dimension `other` (none: -1); every other dimension has one index.
struct ChannelSource {
  std::string dataset;  ///< path from the root, without the leading '/'
  int rank = 1;
  int axis = 0;
  int other = -1;
  hsize_t fixed = 0;
};

/// A dataset the file holds but that gives no channel, and why.
struct NotChannel {
  std::string why;
};

/// An object's identity in the file, for visiting each object once however many links lead to
/// it (a link back to a parent makes a cycle).
#if H5_VERSION_GE(1, 12, 0)
bool ObjectKind(hid_t file, const std::string& path, hid_t lapl, H5O_type_t& type,
                std::string& key) {
  H5O_info2_t info;
  if (H5Oget_info_by_name3(file, path.c_str(), &info, H5O_INFO_BASIC, lapl) < 0) return false;
  type = info.type;
  key.assign(reinterpret_cast<const char*>(&info.token), sizeof info.token);
  return true;
}
#else
bool ObjectKind(hid_t file, const std::string& path, hid_t lapl, H5O_type_t& type,
                std::string& key) {
  H5O_info_t info;
  if (H5Oget_info_by_name2(file, path.c_str(), &info, H5O_INFO_BASIC, lapl) < 0) return false;
  type = info.type;
  key.assign(reinterpret_cast<const char*>(&info.addr), sizeof info.addr);
  return true;
}
#endif

/// Link and dataset access that never follows a link into another file: a recording is read
/// from the file named, never from files its links point at. (Dataset access is a kind of link
/// access, so the one list serves both.)
Handle LocalLinkAccess() {
  Handle lapl(H5Pcreate(H5P_DATASET_ACCESS), H5Pclose);
  const auto refuse = [](const char*, const char*, const char*, const char*, unsigned*, hid_t,
                         void*) -> herr_t { return -1; };
  if (lapl.ok() && H5Pset_elink_cb(lapl.get(), refuse, nullptr) < 0) lapl.Reset();
  return lapl;
}

/// Reads everything this reader learns from a file while it opens it.
class Hdf5Opener {
 public:
  /// `matlab`: the file is a MATLAB 7.3 file, whose datasets are named as variables.
  Hdf5Opener(const std::filesystem::path& path, const RecordingOptions& options, hid_t file,
             hid_t lapl, uint64_t file_size, bool matlab = false)
      : path_(path),
        options_(options),
        file_(file),
        lapl_(lapl),
        file_size_(file_size),
        matlab_(matlab) {}

  core::Error Failure(const std::string& what) const {
    return core::Fail(core::kMsgFileRead, path_.string() + ": " + what);
  }

  /// The dataset paths under the root, depth first in name order, each object once through
  /// its first hard link (soft and external links are not followed).
  core::Result<std::vector<std::string>> WalkDatasets() {
    std::vector<std::string> datasets;
    std::set<std::string> visited;
    H5O_type_t type;
    std::string key;
    if (!ObjectKind(file_, "/", lapl_, type, key)) return Failure("can't read the root" + Reason());
    visited.insert(key);
    // Depth first: the links of a group are pushed in reverse so that they come off in name
    // order, each before the next link of its parent.
    struct Pending {
      std::string path;   ///< from the root, without the leading '/'
      bool list = false;  ///< a group whose links are to be listed
    };
    std::vector<Pending> pending{{"", true}};
    while (!pending.empty()) {
      const Pending next = std::move(pending.back());
      pending.pop_back();
      if (next.list) {
        std::vector<std::string> links;
        Handle group(H5Gopen2(file_, ("/" + next.path).c_str(), H5P_DEFAULT), H5Gclose);
        hsize_t position = 0;
        if (!group.ok() ||
            H5Literate(
                group.get(), H5_INDEX_NAME, H5_ITER_INC, &position,
                [](hid_t, const char* name, const H5L_info_t* info, void* data) -> herr_t {
                  if (info->type == H5L_TYPE_HARD) {
                    static_cast<std::vector<std::string>*>(data)->emplace_back(name);
                  }
                  return 0;
                },
                &links) < 0) {
          return Failure("can't list the group " + Quoted("/" + next.path) + Reason());
        }
        for (auto link = links.rbegin(); link != links.rend(); ++link) {
          pending.push_back({next.path.empty() ? *link : next.path + "/" + *link, false});
        }
        continue;
      }
      if (!ObjectKind(file_, "/" + next.path, lapl_, type, key)) {
        return Failure("can't read the object " + Quoted(next.path) + Reason());
      }
      if (!visited.insert(key).second) continue;
      if (type == H5O_TYPE_GROUP) pending.push_back({next.path, true});
      if (type == H5O_TYPE_DATASET) datasets.push_back(next.path);
    }
    return datasets;
  }

  /// Adds the channels of dataset `name`. A dataset that can't be a channel is skipped, or
  /// fails naming it when `named` (the caller picked it).
  core::Status AddDataset(const std::string& name, bool named) {
    Handle dataset(H5Dopen2(file_, ("/" + name).c_str(), lapl_), H5Dclose);
    if (!dataset.ok()) return Failure("can't open the dataset " + Quoted(name) + Reason());
    const auto not_channel = [&](const std::string& why) -> core::Status {
      if (!named) return core::Ok();
      return Failure("the dataset " + Quoted(name) + " " + why);
    };
    Handle type(H5Dget_type(dataset.get()), H5Tclose);
    const H5T_class_t type_class = type.ok() ? H5Tget_class(type.get()) : H5T_NO_CLASS;
    if (type_class != H5T_INTEGER && type_class != H5T_FLOAT) {
      return not_channel("holds " + ClassName(type_class) + ", not numbers");
    }
    const size_t value_bytes = H5Tget_size(type.get());
    Handle space(H5Dget_space(dataset.get()), H5Sclose);
    if (!space.ok()) {
      const std::string reason = Reason();
      return Failure("can't read the shape of the dataset " + Quoted(name) + reason);
    }
    const H5S_class_t space_class = H5Sget_simple_extent_type(space.get());
    if (space_class == H5S_SCALAR) return not_channel("is a single value, not a channel");
    if (space_class != H5S_SIMPLE) return not_channel("holds no values");
    const int rank = H5Sget_simple_extent_ndims(space.get());
    if (rank != 1 && rank != 2) {
      return not_channel("has " + std::to_string(rank) +
                         " dimensions; a channel is a 1-D dataset or a column of a 2-D one");
    }
    hsize_t dims[2] = {0, 0};
    if (H5Sget_simple_extent_dims(space.get(), dims, nullptr) != rank) {
      const std::string reason = Reason();
      return Failure("can't read the shape of the dataset " + Quoted(name) + reason);
    }

    // Rows along the first dimension; one row or one column is a single channel.
    ChannelSource source{name, rank, 0, rank == 2 ? 1 : -1, 0};
    hsize_t length = dims[0];
    hsize_t columns = 1;
    if (rank == 2) {
      if (dims[1] == 1) {
        columns = 1;
      } else if (dims[0] == 1) {
        source.axis = 1;
        source.other = 0;
        length = dims[1];
      } else {
        columns = dims[1];
      }
    }
    if (length > kMaxChannelSamples) {
      return Failure("the dataset " + Quoted(name) + " claims " + std::to_string(length) +
                     " samples");
    }
    if (columns > kMaxColumns) {
      return Failure("the dataset " + Quoted(name) + " claims " + std::to_string(columns) +
                     " columns");
    }
    hsize_t claimed_bytes = 0;
    if (__builtin_mul_overflow(dims[0], rank == 2 ? dims[1] : 1, &claimed_bytes) ||
        __builtin_mul_overflow(claimed_bytes, value_bytes, &claimed_bytes)) {
      return Failure("the dataset " + Quoted(name) + " claims more bytes than a file can hold");
    }
    if (auto stored = CheckStorage(dataset.get(), name, claimed_bytes); !stored) return stored;

    auto rate = RateOf(name);
    if (!rate) return rate.error();
    const std::string unit = UnitOf(dataset.get());
    const auto add = [&](const std::string& channel_name, hsize_t fixed) {
      ChannelInfo info;
      info.name = channel_name;
      info.length = static_cast<int64_t>(length);
      info.rate_hz = *rate;
      info.unit = unit;
      channels_.push_back(std::move(info));
      sources_.push_back(source);
      sources_.back().fixed = fixed;
    };
    if (columns == 1) {
      add(name, 0);
    } else {
      for (hsize_t column = 0; column < columns; ++column) {
        add(name + "_" + std::to_string(column + 1), column);
      }
    }
    return core::Ok();
  }

  /// Adds the dataset the caller named by `given` (a leading '/' or not).
  core::Status AddNamedDataset(const std::string& given) {
    const std::string name = given.substr(std::min(given.find_first_not_of('/'), given.size()));
    if (name.empty()) return Failure("the dataset path " + Quoted(given) + " names no dataset");
    Handle object(H5Oopen(file_, ("/" + name).c_str(), lapl_), H5Oclose);
    if (!object.ok()) return Failure("no dataset " + Quoted(name));
    if (H5Iget_type(object.get()) != H5I_DATASET) {
      return Failure(Quoted(name) + " is not a dataset");
    }
    return AddDataset(name, true);
  }

  /// The names of the root's hard links in name order: the variables of a MATLAB file.
  core::Result<std::vector<std::string>> RootLinks() {
    std::vector<std::string> links;
    hsize_t position = 0;
    if (H5Literate(
            file_, H5_INDEX_NAME, H5_ITER_INC, &position,
            [](hid_t, const char* name, const H5L_info_t* info, void* data) -> herr_t {
              if (info->type == H5L_TYPE_HARD) {
                static_cast<std::vector<std::string>*>(data)->emplace_back(name);
              }
              return 0;
            },
            &links) < 0) {
      return Failure("can't list the variables" + Reason());
    }
    return links;
  }

  /// Adds the channels of MATLAB variable `name` (a link of the root), keeps it as a scalar
  /// for the rate, or says why it is left out, under the rules of a level-5 file.
  ///
  ///   MATLAB writes each variable as a dataset (or a group) carrying its class in the
  ///   attribute MATLAB_class: double, single, int8..uint64 and logical as a dataset of that
  ///   type; char as uint16; complex as a compound of "real" and "imag"; an empty array as a
  ///   uint64 dataset of its sizes with MATLAB_empty = 1; a cell as a dataset of references
  ///   into "#refs#"; a struct as a group of its fields; a sparse matrix as a group with
  ///   MATLAB_sparse.
  ///
  ///   MATLAB keeps arrays column-major, HDF5 row-major, so the sizes are stored reversed:
  ///
  ///     MATLAB r x c         HDF5 shape (c, r)       column j of MATLAB = row j of HDF5
  ///     [ a  d ]             [ a  b  c ]
  ///     [ b  e ]    ---->    [ d  e  f ]
  ///     [ c  f ]
  core::Status AddMatlabVariable(const std::string& name) {
    if (name.starts_with('#')) return core::Ok();  // MATLAB's own: "#refs#", "#subsystem#"
    const std::string variable = Subject(true, name);
    const auto skip = [&](const std::string& why) {
      skipped_.push_back(variable + " " + why + ": not imported");
      return core::Ok();
    };
    H5O_type_t object_type;
    std::string key;
    if (!ObjectKind(file_, "/" + name, lapl_, object_type, key)) {
      return Failure("can't read " + variable + Reason());
    }
    Handle object(H5Oopen(file_, ("/" + name).c_str(), lapl_), H5Oclose);
    if (!object.ok()) return Failure("can't open " + variable + Reason());
    const std::optional<std::string> matlab_class = AttributeText(object.get(), "MATLAB_class");
    if (object_type == H5O_TYPE_GROUP) {
      if (H5Aexists(object.get(), "MATLAB_sparse") > 0) return skip("is sparse");
      if (!matlab_class || *matlab_class == "struct") return skip("is a struct");
      return skip("is not a numeric array");  // an object of a class of its own
    }
    if (object_type != H5O_TYPE_DATASET) return skip("is not a numeric array");
    if (matlab_class) {
      if (*matlab_class == "char") return skip("holds characters");
      if (*matlab_class == "cell") return skip("is a cell array");
      if (*matlab_class == "struct") return skip("is a struct");
      static const std::set<std::string> kNumeric{"double", "single", "int8",   "uint8",
                                                  "int16",  "uint16", "int32",  "uint32",
                                                  "int64",  "uint64", "logical"};
      if (kNumeric.count(*matlab_class) == 0) return skip("is not a numeric array");
    }
    const std::optional<double> empty = AttributeNumber(object.get(), "MATLAB_empty");
    if (empty && *empty != 0) return skip("is empty");

    Handle dataset(H5Dopen2(file_, ("/" + name).c_str(), lapl_), H5Dclose);
    if (!dataset.ok()) return Failure("can't open " + variable + Reason());
    Handle type(H5Dget_type(dataset.get()), H5Tclose);
    const H5T_class_t type_class = type.ok() ? H5Tget_class(type.get()) : H5T_NO_CLASS;
    if (type_class == H5T_COMPOUND && H5Tget_member_index(type.get(), "real") >= 0 &&
        H5Tget_member_index(type.get(), "imag") >= 0) {
      return skip("is complex");
    }
    if (type_class == H5T_STRING) return skip("holds characters");
    if (type_class != H5T_INTEGER && type_class != H5T_FLOAT) {
      return skip("is not a numeric array");
    }
    const size_t value_bytes = H5Tget_size(type.get());
    if (value_bytes == 0) return skip("is not a numeric array");
    Handle space(H5Dget_space(dataset.get()), H5Sclose);
    if (!space.ok()) {
      const std::string reason = Reason();
      return Failure("can't read the sizes of " + variable + reason);
    }
    const H5S_class_t space_class = H5Sget_simple_extent_type(space.get());
    if (space_class != H5S_SCALAR && space_class != H5S_SIMPLE) return skip("is empty");
    const int rank = space_class == H5S_SCALAR ? 0 : H5Sget_simple_extent_ndims(space.get());
    std::vector<hsize_t> dims(static_cast<size_t>(std::max(rank, 0)));
    if (rank < 0 || H5Sget_simple_extent_dims(space.get(), dims.data(), nullptr) != rank) {
      const std::string reason = Reason();
      return Failure("can't read the sizes of " + variable + reason);
    }
    // MATLAB's sizes are the dataset's reversed: rows last, columns before them; the
    // dimensions past MATLAB's second come first and must all be 1.
    uint64_t elements = 1;
    bool overflow = false;
    bool flat_beyond = true;
    for (int d = 0; d < rank; ++d) {
      const uint64_t size = dims[static_cast<size_t>(d)];
      if (d < rank - 2 && size != 1) flat_beyond = false;
      if (size != 0 && elements > UINT64_MAX / size) overflow = true;
      elements *= size;
    }
    if (elements == 0 && !overflow) return skip("is empty");
    if (overflow || elements / kMostValuesPerFileByte > file_size_ ||
        elements > UINT64_MAX / value_bytes) {
      return Failure(variable + " claims more values than the file can hold");
    }
    if (!flat_beyond) {
      return skip("has " + std::to_string(rank) + " dimensions (only vectors and matrices)");
    }
    if (auto stored = CheckStorage(dataset.get(), name, elements * value_bytes); !stored) {
      return stored;
    }
    if (elements == 1) {
      double value = 0;
      if (H5Dread(dataset.get(), H5T_NATIVE_DOUBLE, H5S_ALL, H5S_ALL, H5P_DEFAULT, &value) < 0) {
        return Failure("can't read " + variable + Reason());
      }
      scalars_.emplace_back(name, value);
      return core::Ok();
    }
    const uint64_t rows = rank >= 1 ? dims[static_cast<size_t>(rank - 1)] : 1;
    const uint64_t columns = rank >= 2 ? dims[static_cast<size_t>(rank - 2)] : 1;
    if (std::max(rows, columns) > kMaxChannelSamples) {
      return Failure(variable + " claims " + std::to_string(std::max(rows, columns)) +
                     " values in a row or column");
    }
    if (std::min(rows, columns) > kMaxColumns) {
      return skip("gives " + std::to_string(std::min(rows, columns)) + " channels (at most " +
                  std::to_string(kMaxColumns) + ")");
    }
    for (const MatlabChannel& channel : MatlabVariableChannels(name, rows, columns)) {
      // Down MATLAB's column j: along the dataset's last dimension, at row j of the one before.
      ChannelSource source{name, rank, rank - 1, rank - 2, channel.fixed_index};
      if (!channel.down_column) std::swap(source.axis, source.other);
      channels_.push_back(
          ChannelInfo{channel.name, static_cast<int64_t>(channel.length), 0, "", std::nullopt});
      sources_.push_back(source);
    }
    return core::Ok();
  }

  std::vector<ChannelInfo>& channels() { return channels_; }
  std::vector<ChannelSource>& sources() { return sources_; }
  std::vector<std::pair<std::string, double>>& scalars() { return scalars_; }
  std::vector<std::string>& skipped() { return skipped_; }

 private:
  static std::string ClassName(H5T_class_t type_class) {
    switch (type_class) {
      case H5T_STRING:
        return "strings";
      case H5T_COMPOUND:
        return "records of several fields";
      case H5T_ENUM:
        return "named values";
      case H5T_REFERENCE:
        return "references";
      case H5T_OPAQUE:
        return "opaque bytes";
      case H5T_BITFIELD:
        return "bit fields";
      case H5T_ARRAY:
        return "arrays";
      case H5T_VLEN:
        return "variable-length sequences";
      default:
        return "values of an unknown type";
    }
  }

  /// Fails when the dataset's data can't be in this file: stored elsewhere (external files,
  /// a virtual dataset), compressed by a filter this library lacks, or claiming more bytes than
  /// the file holds. Unallocated data reads as the fill value and passes.
  core::Status CheckStorage(hid_t dataset, const std::string& name, hsize_t claimed_bytes) {
    Handle create(H5Dget_create_plist(dataset), H5Pclose);
    if (!create.ok()) {
      const std::string reason = Reason();
      return Failure("can't read how " + Subject(matlab_, name) + " is stored" + reason);
    }
    const H5D_layout_t layout = H5Pget_layout(create.get());
    if (layout == H5D_VIRTUAL) {
      return Failure(Subject(matlab_, name) +
                     " is a virtual dataset drawn from other files, which are not read");
    }
    if (H5Pget_external_count(create.get()) > 0) {
      return Failure(Subject(matlab_, name) + " is stored in external files, which are not read");
    }
    const int filters = H5Pget_nfilters(create.get());
    for (int i = 0; i < filters; ++i) {
      unsigned flags = 0;
      size_t values = 0;
      char filter_name[64] = {};
      unsigned filter_config = 0;
      const H5Z_filter_t filter =
          H5Pget_filter2(create.get(), static_cast<unsigned>(i), &flags, &values, nullptr,
                         sizeof filter_name, filter_name, &filter_config);
      if (filter < 0 || H5Zfilter_avail(filter) <= 0) {
        filter_name[sizeof filter_name - 1] = '\0';
        return Failure(Subject(matlab_, name) + " is compressed by filter " +
                       std::to_string(filter) +
                       (filter_name[0] != '\0' ? " (" + std::string(filter_name) + ")" : "") +
                       ", which this library lacks");
      }
    }
    if (layout == H5D_CONTIGUOUS) {
      const haddr_t offset = H5Dget_offset(dataset);
      if (offset != HADDR_UNDEF && (offset > file_size_ || claimed_bytes > file_size_ - offset)) {
        return Failure(Subject(matlab_, name) + " claims " + std::to_string(claimed_bytes) +
                       " bytes at offset " + std::to_string(offset) +
                       ", beyond the end of the file (" + std::to_string(file_size_) + " bytes)");
      }
    }
    const hsize_t stored_bytes = H5Dget_storage_size(dataset);
    if (stored_bytes > file_size_) {
      return Failure(Subject(matlab_, name) + " claims " + std::to_string(stored_bytes) +
                     " bytes of storage in a file of " + std::to_string(file_size_) + " bytes");
    }
    return core::Ok();
  }

  /// The number a scalar (or one-element) numeric attribute holds; nullopt when the object has
  /// no attribute `name`, NaN when it has one that isn't such a number.
  static std::optional<double> AttributeNumber(hid_t object, const std::string& name) {
    if (H5Aexists(object, name.c_str()) <= 0) return std::nullopt;
    const double unusable = std::nan("");
    Handle attribute(H5Aopen(object, name.c_str(), H5P_DEFAULT), H5Aclose);
    if (!attribute.ok()) return unusable;
    Handle type(H5Aget_type(attribute.get()), H5Tclose);
    const H5T_class_t type_class = type.ok() ? H5Tget_class(type.get()) : H5T_NO_CLASS;
    if (type_class != H5T_INTEGER && type_class != H5T_FLOAT) return unusable;
    Handle space(H5Aget_space(attribute.get()), H5Sclose);
    if (!space.ok() || H5Sget_simple_extent_npoints(space.get()) != 1) return unusable;
    double value = 0;
    if (H5Aread(attribute.get(), H5T_NATIVE_DOUBLE, &value) < 0) return unusable;
    return value;
  }

  /// The rate of dataset `name`: the first rate attribute found on the dataset, then on its
  /// groups up to the root; 0 when none gives one. An attribute of the default names that
  /// holds no positive number is passed over (those names are guesses); the one the caller
  /// named fails.
  core::Result<double> RateOf(const std::string& name) {
    const bool given = !options_.rate_from.empty();
    const std::vector<std::string> names =
        given ? std::vector<std::string>{options_.rate_from} : DefaultRateNames();
    std::string level = name;
    while (true) {
      const std::string object_path = "/" + level;
      Handle object(H5Oopen(file_, object_path.c_str(), lapl_), H5Oclose);
      if (object.ok()) {
        for (const std::string& attribute : names) {
          const auto value = AttributeNumber(object.get(), attribute);
          if (!value) continue;
          const double hz = attribute == "dt" ? 1.0 / *value : *value;
          if (std::isfinite(*value) && *value > 0 && std::isfinite(hz) && hz > 0) return hz;
          if (given) {
            return Failure("the attribute " + Quoted(attribute) + " of " +
                           Quoted(level.empty() ? "/" : level) +
                           (attribute == "dt" ? " is not a positive sample step in s"
                                              : " is not a positive rate in Hz"));
          }
        }
      }
      if (level.empty()) return 0.0;
      const size_t slash = level.rfind('/');
      level = slash == std::string::npos ? std::string() : level.substr(0, slash);
    }
  }

  /// The text a scalar string attribute holds (fixed or variable length); nullopt when there is
  /// none.
  static std::optional<std::string> AttributeText(hid_t object, const char* name) {
    if (H5Aexists(object, name) <= 0) return std::nullopt;
    Handle attribute(H5Aopen(object, name, H5P_DEFAULT), H5Aclose);
    if (!attribute.ok()) return std::nullopt;
    Handle type(H5Aget_type(attribute.get()), H5Tclose);
    if (!type.ok() || H5Tget_class(type.get()) != H5T_STRING) return std::nullopt;
    Handle space(H5Aget_space(attribute.get()), H5Sclose);
    if (!space.ok() || H5Sget_simple_extent_npoints(space.get()) != 1) return std::nullopt;
    if (H5Tis_variable_str(type.get()) > 0) {
      // The library believes the length a variable-length string claims and allocates it
      // before it reads the string: a damaged length can cost gigabytes here (the 1.10 API
      // gives no way to learn the length of an attribute's string first).
      Handle memory(H5Tcopy(H5T_C_S1), H5Tclose);
      if (!memory.ok() || H5Tset_size(memory.get(), H5T_VARIABLE) < 0 ||
          H5Tset_cset(memory.get(), H5Tget_cset(type.get())) < 0) {
        return std::nullopt;
      }
      char* text = nullptr;
      if (H5Aread(attribute.get(), memory.get(), &text) < 0) return std::nullopt;
      if (text == nullptr) return std::string();
      std::string result(text, strnlen(text, kMaxAttributeTextBytes));
      H5free_memory(text);
      return result;
    }
    // A fixed-length string is read as its own bytes, padded with NULs or blanks.
    const size_t size = H5Tget_size(type.get());
    if (size == 0 || size > kMaxAttributeTextBytes) return std::nullopt;
    std::string bytes(size, '\0');
    if (H5Aread(attribute.get(), type.get(), bytes.data()) < 0) return std::nullopt;
    bytes.resize(strnlen(bytes.data(), bytes.size()));
    return bytes;
  }

  /// The unit attribute ("unit" or "units") of a dataset: its printable bytes, trimmed, at most
  /// kMaxUnitBytes; empty when there is none.
  static std::string UnitOf(hid_t dataset) {
    auto text = AttributeText(dataset, "unit");
    if (!text) text = AttributeText(dataset, "units");
    if (!text) return {};
    std::string unit;
    for (const char c : *text) {
      const auto byte = static_cast<unsigned char>(c);
      unit.push_back(byte < 0x20 || byte == 0x7F ? ' ' : c);
    }
    const size_t first = unit.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    unit = unit.substr(first, unit.find_last_not_of(' ') - first + 1);
    unit = CutUtf8(std::move(unit), kMaxUnitBytes);
    while (!unit.empty() && unit.back() == ' ') unit.pop_back();
    return unit;
  }

  const std::filesystem::path& path_;
  const RecordingOptions& options_;
  hid_t file_;
  hid_t lapl_;
  uint64_t file_size_;
  bool matlab_;
  std::vector<ChannelInfo> channels_;
  std::vector<ChannelSource> sources_;
  std::vector<std::pair<std::string, double>> scalars_;
  std::vector<std::string> skipped_;
};

/// An opened HDF5 file (or MATLAB 7.3 file) and where each of its channels lies.
class Hdf5Recording final : public RecordingReader {
 public:
  Hdf5Recording(RecordingKind kind, std::filesystem::path path, Handle file, Handle lapl,
                Hdf5Opener& opener, std::optional<double> nan_value)
      : RecordingReader(kind, std::move(path)),
        file_(std::move(file)),
        lapl_(std::move(lapl)),
        sources_(std::move(opener.sources())),
        nan_value_(nan_value) {
    channels_ = std::move(opener.channels());
    skipped_ = std::move(opener.skipped());
  }

  ~Hdf5Recording() override {
    LibraryHold hold;
    lapl_.Reset();
    file_.Reset();
  }

  core::Status Read(size_t index, const ChannelSink& sink) override {
    if (index >= sources_.size()) {
      return core::Fail(core::kMsgFileRead,
                        path_.string() + ": no channel " + std::to_string(index + 1));
    }
    const ChannelSource& source = sources_[index];
    const auto length = static_cast<hsize_t>(channels_[index].length);
    // Says what failed with the library's reason; called right after the failing call.
    const bool matlab = kind_ == RecordingKind::kMatlab;
    const auto failure = [&](const std::string& what) {
      return core::Fail(core::kMsgFileRead, path_.string() + ": " + what + " " +
                                                Subject(matlab, source.dataset) + Reason());
    };
    // The hold is declared first so that the handles are closed while it is held.
    LibraryHold hold;
    Handle dataset(H5Dopen2(file_.get(), ("/" + source.dataset).c_str(), lapl_.get()), H5Dclose);
    if (!dataset.ok()) return failure("can't open");
    Handle space(H5Dget_space(dataset.get()), H5Sclose);
    if (!space.ok()) return failure("can't read the shape of");
    std::vector<double> buffer(std::min<hsize_t>(length, kRecordingBuffer));
    // One index of every dimension but the samples' own.
    std::vector<hsize_t> start(static_cast<size_t>(std::max(source.rank, 1)), 0);
    std::vector<hsize_t> block(start.size(), 1);
    if (source.other >= 0) start[static_cast<size_t>(source.other)] = source.fixed;
    for (hsize_t done = 0; done < length;) {
      hsize_t count = std::min<hsize_t>(length - done, kRecordingBuffer);
      start[static_cast<size_t>(source.axis)] = done;
      block[static_cast<size_t>(source.axis)] = count;
      Handle memory(H5Screate_simple(1, &count, nullptr), H5Sclose);
      if (!memory.ok() ||
          H5Sselect_hyperslab(space.get(), H5S_SELECT_SET, start.data(), nullptr, block.data(),
                              nullptr) < 0 ||
          H5Dread(dataset.get(), H5T_NATIVE_DOUBLE, memory.get(), space.get(), H5P_DEFAULT,
                  buffer.data()) < 0) {
        return failure("can't read samples " + std::to_string(done + 1) + ".." +
                       std::to_string(done + count) + " of");
      }
      for (hsize_t i = 0; i < count; ++i) {
        if (std::isfinite(buffer[i])) continue;
        if (!nan_value_ && matlab) {
          return MatlabNotFinite(path_, channels_[index].name, static_cast<int64_t>(done + i));
        }
        if (!nan_value_) {
          return core::Fail(core::kMsgBadValue, path_.string() + ": channel " +
                                                    Quoted(channels_[index].name) + ", sample " +
                                                    std::to_string(done + i + 1) +
                                                    ": the value is not finite");
        }
        buffer[i] = *nan_value_;
      }
      hold.Release();
      auto status = sink(std::span<const double>(buffer.data(), count));
      hold.Acquire();
      if (!status) return status.error();
      done += count;
    }
    return core::Ok();
  }

 private:
  Handle file_;
  Handle lapl_;
  std::vector<ChannelSource> sources_;
  std::optional<double> nan_value_;
};

}  // namespace

namespace {

/// The HDF5 file at `path` opened for reading, with the link access that stays inside it.
struct OpenedFile {
  uint64_t size_bytes = 0;
  Handle file;
  Handle lapl;
};

/// Opens the file; call it holding the library. `what` says the kind of file in its failure.
core::Result<OpenedFile> OpenHdf5File(const std::filesystem::path& path, const char* what) {
  auto regular = core::OpenRegularFile(path, core::kMsgFileRead);
  if (!regular) return regular.error();
  OpenedFile opened;
  opened.size_bytes = regular->size_bytes;
  const auto failure = [&](const std::string& why) {
    return core::Fail(core::kMsgFileRead, path.string() + ": " + why);
  };
  Handle access(H5Pcreate(H5P_FILE_ACCESS), H5Pclose);
#if H5_VERSION_GE(1, 10, 7)
  // Locks are taken where the file system has them, and not insisted on where it has none.
  if (access.ok()) H5Pset_file_locking(access.get(), true, true);
#endif
  opened.file = Handle(H5Fopen(path.c_str(), H5F_ACC_RDONLY, access.get()), H5Fclose);
  if (!opened.file.ok()) return failure(std::string(what) + Reason());
  opened.lapl = LocalLinkAccess();
  if (!opened.lapl.ok()) return failure("can't set up the reading" + Reason());
  return opened;
}

/// Whether an object at the root carries MATLAB's class attribute: the variables of a 7.3 file
/// whose user block (and MAT header) was lost, as when the file was repacked.
bool RootHoldsMatlabClass(hid_t file, hid_t lapl) {
  struct Search {
    hid_t lapl;
    bool found = false;
  } search{lapl};
  hsize_t position = 0;
  H5Literate(
      file, H5_INDEX_NAME, H5_ITER_INC, &position,
      [](hid_t group, const char* name, const H5L_info_t* info, void* data) -> herr_t {
        auto& search = *static_cast<Search*>(data);
        if (info->type != H5L_TYPE_HARD) return 0;
        Handle object(H5Oopen(group, name, search.lapl), H5Oclose);
        search.found = object.ok() && H5Aexists(object.get(), "MATLAB_class") > 0;
        return search.found ? 1 : 0;
      },
      &search);
  return search.found;
}

/// The channels of a MATLAB 7.3 file's variables; call it holding the library.
core::Result<RecordingHandle> ReadMatlabVariables(const std::filesystem::path& path,
                                                  const RecordingOptions& options,
                                                  OpenedFile& opened) {
  Hdf5Opener opener(path, options, opened.file.get(), opened.lapl.get(), opened.size_bytes, true);
  auto variables = opener.RootLinks();
  if (!variables) return variables.error();
  for (const std::string& name : *variables) {
    if (auto added = opener.AddMatlabVariable(name); !added) return added.error();
  }
  if (opener.channels().empty()) return MatlabNoChannel(path, opener.skipped());
  auto rate_hz = MatlabRate(opener.scalars(), options, path);
  if (!rate_hz) return rate_hz.error();
  for (ChannelInfo& channel : opener.channels()) channel.rate_hz = *rate_hz;
  return RecordingHandle(
      std::make_unique<Hdf5Recording>(RecordingKind::kMatlab, path, std::move(opened.file),
                                      std::move(opened.lapl), opener, options.nan_value));
}

}  // namespace

core::Result<RecordingHandle> OpenHdf5Recording(const std::filesystem::path& path,
                                                const RecordingOptions& options) {
  LibraryHold hold;
  auto opened = OpenHdf5File(path, "not an HDF5 file, or a damaged one");
  if (!opened) return opened.error();
  // MATLAB's variables are read as such unless the caller picks datasets.
  if (options.datasets.empty() && RootHoldsMatlabClass(opened->file.get(), opened->lapl.get())) {
    return ReadMatlabVariables(path, options, *opened);
  }
  Hdf5Opener opener(path, options, opened->file.get(), opened->lapl.get(), opened->size_bytes);
  if (options.datasets.empty()) {
    auto datasets = opener.WalkDatasets();
    if (!datasets) return datasets.error();
    for (const std::string& name : *datasets) {
      if (auto added = opener.AddDataset(name, false); !added) return added.error();
    }
  } else {
    for (const std::string& name : options.datasets) {
      if (auto added = opener.AddNamedDataset(name); !added) return added.error();
    }
  }
  if (opener.channels().empty()) {
    return core::Fail(core::kMsgFileRead, path.string() + ": no numeric dataset");
  }
  return RecordingHandle(
      std::make_unique<Hdf5Recording>(RecordingKind::kHdf5, path, std::move(opened->file),
                                      std::move(opened->lapl), opener, options.nan_value));
}

core::Result<RecordingHandle> OpenMatlab73Recording(const std::filesystem::path& path,
                                                    const RecordingOptions& options) {
  LibraryHold hold;
  auto opened = OpenHdf5File(path, "not a readable MATLAB 7.3 file (its HDF5 part is damaged)");
  if (!opened) return opened.error();
  return ReadMatlabVariables(path, options, *opened);
}

}  // namespace torvwy::recording
