// MATLAB files made by scipy (level 5), hdf5storage (7.3) and laid out by hand with h5py as
// MATLAB writes 7.3, read back channel by channel.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "core/services/message_table.h"
#include "recording/recording.h"
#include "recording/recording_files.h"
#include "support/test_node.h"

namespace torvwy::recording {
namespace {

using testing::ExpectOneLineNaming;
using testing::ReadAll;
using testing::ReadBack;
using testing::RunPythonScript;
using testing::TempDir;

// The values every writer below stores, element i (in MATLAB's column-major order) of:
//   a  int16  70000 x 1   (i * 37) % 65536 - 32768
//   b  single 1 x 70000   i / 8 - 1000          (exact in single precision)
//   u  uint8  300 x 1     i % 256
//   m  double 1000 x 2    i * 0.25 + 1           columns m_1, m_2
//   w  int32  2 x 500     i - 400                rows w_1, w_2
constexpr int64_t kLongLength = 70000;  // more than one piece
double AValue(int64_t i) { return static_cast<double>((i * 37) % 65536 - 32768); }
double BValue(int64_t i) { return static_cast<double>(i) / 8.0 - 1000.0; }
double UValue(int64_t i) { return static_cast<double>(i % 256); }
double MValue(int64_t i) { return static_cast<double>(i) * 0.25 + 1.0; }
double WValue(int64_t i) { return static_cast<double>(i - 400); }

/// What the channels of the files below hold: name → values.
std::map<std::string, std::vector<double>> ExpectedChannels() {
  std::map<std::string, std::vector<double>> expected;
  for (int64_t i = 0; i < kLongLength; ++i) {
    expected["a"].push_back(AValue(i));
    expected["b"].push_back(BValue(i));
  }
  for (int64_t i = 0; i < 300; ++i) expected["u"].push_back(UValue(i));
  for (int64_t c = 0; c < 2; ++c) {
    for (int64_t r = 0; r < 1000; ++r) {
      expected["m_" + std::to_string(c + 1)].push_back(MValue(c * 1000 + r));
    }
  }
  for (int64_t r = 0; r < 2; ++r) {
    for (int64_t c = 0; c < 500; ++c) {
      expected["w_" + std::to_string(r + 1)].push_back(WValue(c * 2 + r));
    }
  }
  return expected;
}

/// numpy arrays of the values above, in Fortran order as MATLAB keeps them.
const char* kArrays = R"(import numpy as np
def fortran(values, shape):
    return np.reshape(values, shape, order='F')
i = np.arange(70000, dtype=np.int64)
a = fortran(((i * 37) % 65536 - 32768).astype(np.int16), (70000, 1))
b = fortran((i / 8.0 - 1000).astype(np.float32), (1, 70000))
u = fortran((np.arange(300) % 256).astype(np.uint8), (300, 1))
m = fortran(np.arange(2000) * 0.25 + 1, (1000, 2))
w = fortran((np.arange(1000) - 400).astype(np.int32), (2, 500))
)";

/// Every file below holds these variables (or their like, laid out by hand).
const char* kVariables = R"(variables = {'a': a, 'b': b, 'u': u, 'm': m, 'w': w,
  'fs': 2000.0, 'dt': 0.5, 'note': 'a text', 'z': np.array([1+2j, 3j]),
  's': {'x': np.arange(3.0)}, 'cells': np.array([[1.0], 'two'], dtype=object),
  'cube': np.zeros((2, 3, 4)), 'none': np.zeros((0, 5))}
)";

std::string Level5Script(const std::filesystem::path& path, bool compressed) {
  return std::string(kArrays) + kVariables +
         "import scipy.io, scipy.sparse\n"
         "variables['sp'] = scipy.sparse.csc_matrix(np.eye(3))\n"
         "scipy.io.savemat('" +
         path.string() + "', variables, do_compression=" + (compressed ? "True" : "False") +
         ", oned_as='column')\n";
}

/// A 7.3 file as hdf5storage, a writer made for MATLAB's reading, saves it (compressed chunks;
/// it has no sparse matrices).
std::string Hdf5StorageScript(const std::filesystem::path& path) {
  return std::string(kArrays) + kVariables +
         "import hdf5storage\n"
         "hdf5storage.savemat('" +
         path.string() + "', variables, format='7.3', oned_as='column')\n";
}

/// MATLAB's class attribute of a 7.3 dataset: a scalar null-terminated string exactly as long as
/// the name (h5py's own strings are null-padded or variable-length).
const char* kMatlabClass = R"(import h5py
def matlab_class(dataset, name):
    string = h5py.h5t.C_S1.copy()
    string.set_size(len(name))
    string.set_strpad(h5py.h5t.STR_NULLTERM)
    attribute = h5py.h5a.create(dataset.id, b'MATLAB_class', string, h5py.h5s.create(h5py.h5s.SCALAR))
    attribute.write(np.array(name, dtype='S%d' % len(name)), mtype=string)
)";

/// A 7.3 file laid out by hand as MATLAB writes one: HDF5 behind a 512-byte user block whose
/// first 128 bytes are MATLAB's header (without `header`: the HDF5 part alone, as a copy that
/// lost its user block). h5py keeps C order, so a MATLAB r x c matrix is a dataset of c x r.
std::string Level73Script(const std::filesystem::path& path, bool header = true) {
  return std::string(kArrays) + kMatlabClass + "path = '" + path.string() + "'\n" +
         "with h5py.File(path, 'w', userblock_size=" + (header ? "512" : "0") + ") as f:\n" +
         R"(    def numeric(name, value, **storage):
        d = f.create_dataset(name, data=np.ascontiguousarray(value.T), **storage)
        matlab_class(d, {'int16': b'int16', 'float32': b'single', 'uint8': b'uint8',
            'float64': b'double', 'int32': b'int32'}[str(value.dtype)])
        return d
    numeric('a', a, chunks=(1, 4096), compression='gzip', compression_opts=3)
    numeric('b', b)
    numeric('u', u)
    numeric('m', m, chunks=(2, 128), compression='gzip', shuffle=True)
    numeric('w', w)
    numeric('fs', np.array([[2000.0]]))
    numeric('dt', np.array([[0.5]]))
    # char 1 x 6: UTF-16 code units
    d = f.create_dataset('note', data=np.array([[ord(c)] for c in 'a text'], dtype=np.uint16))
    matlab_class(d, b'char')
    d.attrs.create('MATLAB_int_decode', 2, dtype=np.int32)
    # complex 2 x 1: a compound of real and imag
    d = f.create_dataset('z', data=np.array([[(1.0, 2.0), (0.0, 3.0)]],
                                            dtype=[('real', '<f8'), ('imag', '<f8')]))
    matlab_class(d, b'double')
    # struct: a group of its fields
    g = f.create_group('s')
    matlab_class(g, b'struct')
    matlab_class(g.create_dataset('x', data=np.arange(3.0).reshape(1, 3)), b'double')
    # cell 2 x 1: references into #refs#
    refs = f.create_group('#refs#')
    one = refs.create_dataset('b', data=np.array([[1.0]]))
    matlab_class(one, b'double')
    two = refs.create_dataset('c', data=np.array([[116], [119], [111]], dtype=np.uint16))
    matlab_class(two, b'char')
    d = f.create_dataset('cells', data=np.array([[one.ref, two.ref]], dtype=h5py.ref_dtype))
    matlab_class(d, b'cell')
    numeric('cube', np.zeros((2, 3, 4)))
    # empty 0 x 5: its sizes as uint64
    d = f.create_dataset('none', data=np.array([0, 5], dtype=np.uint64))
    matlab_class(d, b'double')
    d.attrs.create('MATLAB_empty', 1, dtype=np.uint8)
    # sparse 3 x 3 identity: a group of the values, their rows and the columns' starts
    g = f.create_group('sp')
    matlab_class(g, b'double')
    g.attrs.create('MATLAB_sparse', 3, dtype=np.uint64)
    g['data'] = np.ones(3)
    g['ir'] = np.arange(3, dtype=np.uint64)
    g['jc'] = np.arange(4, dtype=np.uint64)
)" +
         (header
              ? R"(header = b'MATLAB 7.3 MAT-file, Platform: GLNXA64, Created on: Tue Dec  8 00:00:00 2026 HDF5 schema 1.00 .'
header = header.ljust(116, b' ') + bytes(8) + b'\x00\x02' + b'IM'
with open(path, 'r+b') as f:
    f.write(header.ljust(512, b'\x00'))
)"
              : "");
}

/// The script that writes each kind of file the tests read.
enum class Writer { kLevel5, kLevel5Compressed, kHdf5Storage, kByHand, kByHandNoHeader };
std::string WriteScript(Writer writer, const std::filesystem::path& path) {
  switch (writer) {
    case Writer::kLevel5:
      return Level5Script(path, false);
    case Writer::kLevel5Compressed:
      return Level5Script(path, true);
    case Writer::kHdf5Storage:
      return Hdf5StorageScript(path);
    case Writer::kByHand:
      return Level73Script(path);
    case Writer::kByHandNoHeader:
      return Level73Script(path, false);
  }
  return {};
}

TEST(MatlabRecording, EveryWriterGivesTheSameChannelsAndLeavesOutTheSameVariables) {
  struct Case {
    const char* file;
    Writer writer;
  };
  const Case cases[] = {{"plain.mat", Writer::kLevel5},
                        {"packed.mat", Writer::kLevel5Compressed},
                        {"hdf5storage.mat", Writer::kHdf5Storage},
                        {"by-hand.mat", Writer::kByHand},
                        {"no-user-block.h5", Writer::kByHandNoHeader}};
  const auto expected = ExpectedChannels();
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const auto path = dir.path() / c.file;
    RunPythonScript(WriteScript(c.writer, path));
    // Through the door every face uses: the kind is told by the file's bytes.
    auto reader = OpenRecording(path, {});
    ASSERT_TRUE(reader) << reader.error().detail;
    EXPECT_EQ((*reader)->kind(), RecordingKind::kMatlab);
    EXPECT_FALSE((*reader)->values_are_raw());
    std::vector<std::string> names;
    for (const auto& channel : (*reader)->channels()) names.push_back(channel.name);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"a", "b", "m_1", "m_2", "u", "w_1", "w_2"}));
    for (size_t index = 0; index < (*reader)->channels().size(); ++index) {
      const ChannelInfo& info = (*reader)->channels()[index];
      SCOPED_TRACE(info.name);
      EXPECT_EQ(info.rate_hz, 2000.0);  // "fs" comes before "dt"
      EXPECT_TRUE(info.unit.empty());
      const auto& want = expected.at(info.name);
      EXPECT_EQ(info.length, static_cast<int64_t>(want.size()));
      const ReadBack back = ReadAll(**reader, index);
      ASSERT_TRUE(back.status) << back.status.error().detail;
      EXPECT_LE(back.largest_piece, kRecordingBuffer);
      EXPECT_EQ(back.values, want);
    }
    // One line for each variable left out; the scalars are parameters, not channels.
    std::vector<std::string> skipped = (*reader)->skipped();
    std::sort(skipped.begin(), skipped.end());
    std::vector<std::string> left_out{
        "variable 'cells' is a cell array: not imported",
        "variable 'cube' has 3 dimensions (only vectors and matrices): not imported",
        "variable 'none' is empty: not imported",
        "variable 'note' holds characters: not imported",
        "variable 's' is a struct: not imported",
        "variable 'z' is complex: not imported"};
    if (c.writer != Writer::kHdf5Storage) {
      left_out.insert(left_out.end() - 1, "variable 'sp' is sparse: not imported");
    }
    EXPECT_EQ(skipped, left_out);
  }
}

/// Saves `variables` (a Python dict) as level 5 with scipy and as 7.3 with hdf5storage; the paths.
std::vector<std::filesystem::path> SaveBothLevels(const TempDir& dir, const std::string& stem,
                                                  const std::string& variables) {
  const auto level5 = dir.path() / (stem + "-5.mat");
  const auto level73 = dir.path() / (stem + "-73.mat");
  RunPythonScript("import numpy as np, scipy.io, hdf5storage\nvariables = " + variables +
                  "\nscipy.io.savemat('" + level5.string() +
                  "', variables)\n"
                  "hdf5storage.savemat('" +
                  level73.string() + "', variables, format='7.3')\n");
  return {level5, level73};
}

TEST(MatlabRecording, RateFromANamedScalarOrAStep) {
  TempDir dir;
  struct Case {
    const char* rate_from;
    double rate_hz;  // < 0: the open fails
  };
  const Case cases[] = {{"", 250.0}, {"clock", 512.0}, {"dt", 250.0}, {"bad", -1}, {"nope", -1}};
  for (const auto& path : SaveBothLevels(
           dir, "rates", "{'x': np.arange(10.0), 'dt': 0.004, 'clock': 512, 'bad': -1.0}")) {
    for (const Case& c : cases) {
      SCOPED_TRACE(path.filename().string() + " " + c.rate_from);
      RecordingOptions options;
      options.rate_from = c.rate_from;
      auto reader = OpenMatlabRecording(path, options);
      if (c.rate_hz < 0) {
        ASSERT_FALSE(reader);
        EXPECT_NE(reader.error().detail.find(std::string("'") + c.rate_from + "'"),
                  std::string::npos)
            << reader.error().detail;
        continue;
      }
      ASSERT_TRUE(reader) << reader.error().detail;
      ASSERT_EQ((*reader)->channels().size(), 1u);
      EXPECT_DOUBLE_EQ((*reader)->channels()[0].rate_hz, c.rate_hz);
    }
  }
}

TEST(MatlabRecording, NotFiniteValuesAreReplacedOrRefused) {
  TempDir dir;
  for (const auto& path :
       SaveBothLevels(dir, "nan", "{'x': np.array([0, 1, np.nan, 3, -np.inf, 5.0])}")) {
    SCOPED_TRACE(path.filename().string());
    auto reader = OpenMatlabRecording(path, {});
    ASSERT_TRUE(reader);
    const ReadBack refused = ReadAll(**reader, 0);
    ASSERT_FALSE(refused.status);
    EXPECT_EQ(refused.status.error().message, core::kMsgBadValue);
    EXPECT_NE(refused.status.error().detail.find("x, sample 3"), std::string::npos)
        << refused.status.error().detail;
    RecordingOptions options;
    options.nan_value = 9.5;
    auto replacing = OpenMatlabRecording(path, options);
    ASSERT_TRUE(replacing);
    EXPECT_EQ(ReadAll(**replacing, 0).values, (std::vector<double>{0, 1, 9.5, 3, 9.5, 5}));
  }
}

TEST(MatlabRecording, RefusesFilesWithoutChannelsAndImpossibleSizes) {
  TempDir dir;
  const auto only_text = dir.path() / "text.mat";
  const auto only_text73 = dir.path() / "text73.mat";
  const auto huge = dir.path() / "huge.mat";
  const auto lzf = dir.path() / "lzf.mat";
  const auto dims = dir.path() / "dims.mat";
  const auto sizes = dir.path() / "sizes.mat";
  RunPythonScript(std::string(kArrays) + kMatlabClass +
                  "import scipy.io\n"
                  "scipy.io.savemat('" +
                  only_text.string() +
                  "', {'note': 'hello', 'fs': 10.0})\n"
                  "import hdf5storage\n"
                  "hdf5storage.savemat('" +
                  only_text73.string() +
                  "', {'note': 'hello', 'fs': 10.0}, format='7.3')\n"
                  "with h5py.File('" +
                  huge.string() +
                  "', 'w', userblock_size=512) as f:\n"
                  "    d = f.create_dataset('x', shape=(1, 2**40), dtype='f8', chunks=(1, 4096))\n"
                  "    matlab_class(d, b'double')\n"
                  // A variable packed by a filter only h5py has.
                  "with h5py.File('" +
                  lzf.string() +
                  "', 'w', userblock_size=512) as f:\n"
                  "    matlab_class(f.create_dataset('x', data=np.ones((1, 500)), "
                  "compression='lzf'), b'double')\n"
                  "header = b'MATLAB 7.3 MAT-file'.ljust(116, b' ') + bytes(8) + b'\\x00\\x02IM'\n"
                  "for path in ('" +
                  huge.string() + "', '" + lzf.string() +
                  "'):\n"
                  "    with open(path, 'r+b') as f:\n"
                  "        f.write(header)\n"
                  // A level-5 vector whose sizes (after the 128-byte header, the element's tag,
                  // the array flags and the sizes' tag) say 2^31-1 x 2^31-1.
                  "scipy.io.savemat('" +
                  dims.string() +
                  "', {'x': np.arange(10.0)})\n"
                  "with open('" +
                  dims.string() +
                  "', 'r+b') as f:\n"
                  "    f.seek(160)\n"
                  "    f.write(np.array([2**31 - 1, 2**31 - 1], dtype='<i4').tobytes())\n"
                  // The same with the sizes' tag claiming 4 GiB of sizes.
                  "scipy.io.savemat('" +
                  sizes.string() +
                  "', {'x': np.arange(10.0)})\n"
                  "with open('" +
                  sizes.string() +
                  "', 'r+b') as f:\n"
                  "    f.seek(156)\n"
                  "    f.write(np.array([2**32 - 8], dtype='<u4').tobytes())\n");
  for (const auto& path : {only_text, only_text73}) {
    auto none = OpenMatlabRecording(path, {});
    ASSERT_FALSE(none);
    EXPECT_EQ(none.error().message, core::kMsgFileRead);
    ExpectOneLineNaming(none.error(), path);
    EXPECT_NE(none.error().detail.find("no numeric vector or matrix to import; variable 'note' "
                                       "holds characters: not imported"),
              std::string::npos)
        << none.error().detail;
  }

  const std::pair<std::filesystem::path, const char*> claims[] = {
      {huge, "'x' claims more values"},
      {lzf, "variable 'x' is compressed by filter 32000"},
      {dims, "'x' claims more values"},
      {sizes, "variable no. 1 has damaged sizes"}};
  for (const auto& [path, why] : claims) {
    auto claimed = OpenMatlabRecording(path, {});
    ASSERT_FALSE(claimed);
    ExpectOneLineNaming(claimed.error(), path);
    EXPECT_NE(claimed.error().detail.find(why), std::string::npos) << claimed.error().detail;
  }
}

TEST(MatlabRecording, CutAndDamagedFilesReadOrFailWithOneLine) {
  TempDir dir;
  const auto plain = dir.path() / "plain.mat";
  const auto packed = dir.path() / "packed.mat";
  const auto v73 = dir.path() / "v73.mat";
  const auto storage = dir.path() / "hdf5storage.mat";
  const auto no_header = dir.path() / "no-user-block.h5";
  RunPythonScript(Level5Script(plain, false));
  RunPythonScript(Level5Script(packed, true));
  RunPythonScript(Level73Script(v73));
  RunPythonScript(Hdf5StorageScript(storage));
  RunPythonScript(Level73Script(no_header, false));
  const auto expected = ExpectedChannels();
  for (const auto& source : {plain, packed, v73, storage, no_header}) {
    testing::ExpectDamagedCopiesFailInOneLine(
        source, dir.path(), 40, [](const auto& copy) { return OpenRecording(copy, {}); });
  }
  // A file cut inside the data of its first channels: never values that weren't written.
  const auto cut = dir.path() / "cut.mat";
  testing::WriteCutCopy(plain, std::filesystem::file_size(plain) / 2, cut);
  auto reader = OpenMatlabRecording(cut, {});
  if (!reader) {
    ExpectOneLineNaming(reader.error(), cut);
    return;
  }
  for (size_t index = 0; index < (*reader)->channels().size(); ++index) {
    const ChannelInfo& info = (*reader)->channels()[index];
    const ReadBack back = ReadAll(**reader, index);
    if (back.status) {
      EXPECT_EQ(back.values, expected.at(info.name)) << info.name;
    } else {
      ExpectOneLineNaming(back.status.error(), cut);
    }
  }
}

}  // namespace
}  // namespace torvwy::recording
