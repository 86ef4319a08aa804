// MATLAB files made by scipy (level 5) and h5py (7.3), read back channel by channel.
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
//   m  double 1000 x 3    i * 0.25 + 1           columns m_1..m_3
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
  for (int64_t c = 0; c < 3; ++c) {
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
m = fortran(np.arange(3000) * 0.25 + 1, (1000, 3))
w = fortran((np.arange(1000) - 400).astype(np.int32), (2, 500))
)";

std::string Level5Script(const std::filesystem::path& path, bool compressed) {
  return std::string(kArrays) +
         "import scipy.io\n"
         "scipy.io.savemat('" +
         path.string() +
         "', {'a': a, 'b': b, 'u': u, 'm': m, 'w': w,\n"
         "  'fs': 2000.0, 'dt': 0.5, 'note': 'a text', 'z': np.array([1+2j, 3j]),\n"
         "  's': {'x': np.arange(3.0)}, 'cells': np.array([[1.0], 'two'], dtype=object),\n"
         "  'cube': np.zeros((2, 3, 4)), 'none': np.zeros((0, 5))},\n"
         "  do_compression=" +
         (compressed ? "True" : "False") + ", oned_as='column')\n";
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

/// A 7.3 file: HDF5 behind a 512-byte user block whose first 128 bytes are MATLAB's header.
/// h5py keeps C order, so a MATLAB r x c matrix is an HDF5 dataset of c x r.
std::string Level73Script(const std::filesystem::path& path) {
  return std::string(kArrays) + kMatlabClass + "path = '" + path.string() +
         "'\n"
         "with h5py.File(path, 'w', userblock_size=512) as f:\n"
         "    for name, value in (('a', a), ('b', b), ('u', u), ('m', m), ('w', w),\n"
         "                        ('rate', np.array([[250.0]]))):\n"
         "        d = f.create_dataset(name, data=np.ascontiguousarray(value.T))\n"
         "        matlab_class(d, {'int16': b'int16', 'float32': b'single', 'uint8': b'uint8',\n"
         "            'float64': b'double', 'int32': b'int32'}[str(value.dtype)])\n"
         "header = b'MATLAB 7.3 MAT-file, Platform: GLNXA64, Created on: Tue Dec  8 00:00:00 2026 "
         "HDF5 schema 1.00 .'\n"
         "header = header.ljust(116, b' ') + bytes(8) + b'\\x00\\x02' + b'IM'\n"
         "with open(path, 'r+b') as f:\n"
         "    f.write(header.ljust(512, b'\\x00'))\n";
}

TEST(MatlabRecording, ReadsVectorsAndMatricesOfEveryClass) {
  struct Case {
    const char* file;
    int kind;  // 0: level 5, 1: level 5 compressed, 2: 7.3
    double rate_hz;
  };
  const Case cases[] = {{"plain.mat", 0, 2000.0}, {"packed.mat", 1, 2000.0}, {"v73.mat", 2, 250.0}};
  const auto expected = ExpectedChannels();
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const auto path = dir.path() / c.file;
    RunPythonScript(c.kind == 2 ? Level73Script(path) : Level5Script(path, c.kind == 1));
    auto reader = OpenMatlabRecording(path, {});
    ASSERT_TRUE(reader) << reader.error().detail;
    EXPECT_EQ((*reader)->kind(), RecordingKind::kMatlab);
    EXPECT_FALSE((*reader)->values_are_raw());
    std::vector<std::string> names;
    for (const auto& channel : (*reader)->channels()) names.push_back(channel.name);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"a", "b", "m_1", "m_2", "m_3", "u", "w_1", "w_2"}));
    for (size_t index = 0; index < (*reader)->channels().size(); ++index) {
      const ChannelInfo& info = (*reader)->channels()[index];
      SCOPED_TRACE(info.name);
      EXPECT_EQ(info.rate_hz, c.rate_hz);  // "fs" comes before "dt"
      EXPECT_TRUE(info.unit.empty());
      const auto& want = expected.at(info.name);
      EXPECT_EQ(info.length, static_cast<int64_t>(want.size()));
      const ReadBack back = ReadAll(**reader, index);
      ASSERT_TRUE(back.status) << back.status.error().detail;
      EXPECT_LE(back.largest_piece, kRecordingBuffer);
      EXPECT_EQ(back.values, want);
    }
    if (c.kind != 2) {
      // One line for each variable left out; the scalars are parameters, not channels.
      std::vector<std::string> skipped = (*reader)->skipped();
      std::sort(skipped.begin(), skipped.end());
      EXPECT_EQ(skipped, (std::vector<std::string>{
                             "variable 'cells' is a cell array: not imported",
                             "variable 'cube' has 3 dimensions (only vectors and matrices): not "
                             "imported",
                             "variable 'none' is empty: not imported",
                             "variable 'note' holds characters: not imported",
                             "variable 's' is a struct: not imported",
                             "variable 'z' is complex: not imported"}));
    }
  }
}

TEST(MatlabRecording, RateFromANamedScalarOrAStep) {
  TempDir dir;
  const auto path = dir.path() / "rates.mat";
  RunPythonScript(
      "import numpy as np, scipy.io\n"
      "scipy.io.savemat('" +
      path.string() + "', {'x': np.arange(10.0), 'dt': 0.004, 'clock': 512, 'bad': -1.0})\n");
  struct Case {
    const char* rate_from;
    double rate_hz;  // < 0: the open fails
  };
  const Case cases[] = {{"", 250.0}, {"clock", 512.0}, {"dt", 250.0}, {"bad", -1}, {"nope", -1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rate_from);
    RecordingOptions options;
    options.rate_from = c.rate_from;
    auto reader = OpenMatlabRecording(path, options);
    if (c.rate_hz < 0) {
      ASSERT_FALSE(reader);
      EXPECT_NE(reader.error().detail.find(std::string("'") + c.rate_from + "'"), std::string::npos)
          << reader.error().detail;
      continue;
    }
    ASSERT_TRUE(reader) << reader.error().detail;
    ASSERT_EQ((*reader)->channels().size(), 1u);
    EXPECT_DOUBLE_EQ((*reader)->channels()[0].rate_hz, c.rate_hz);
  }
}

TEST(MatlabRecording, NotFiniteValuesAreReplacedOrRefused) {
  TempDir dir;
  const auto path = dir.path() / "nan.mat";
  RunPythonScript(
      "import numpy as np, scipy.io\n"
      "x = np.arange(6.0)\nx[2] = np.nan\nx[4] = -np.inf\n"
      "scipy.io.savemat('" +
      path.string() + "', {'x': x})\n");
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

TEST(MatlabRecording, RefusesFilesWithoutChannelsAndImpossibleSizes) {
  TempDir dir;
  const auto only_text = dir.path() / "text.mat";
  const auto huge = dir.path() / "huge.mat";
  const auto dims = dir.path() / "dims.mat";
  const auto sizes = dir.path() / "sizes.mat";
  RunPythonScript(std::string(kArrays) + kMatlabClass +
                  "import scipy.io\n"
                  "scipy.io.savemat('" +
                  only_text.string() +
                  "', {'note': 'hello', 'fs': 10.0})\n"
                  "with h5py.File('" +
                  huge.string() +
                  "', 'w', userblock_size=512) as f:\n"
                  "    d = f.create_dataset('x', shape=(1, 2**40), dtype='f8', chunks=(1, 4096))\n"
                  "    matlab_class(d, b'double')\n"
                  "header = b'MATLAB 7.3 MAT-file'.ljust(116, b' ') + bytes(8) + b'\\x00\\x02IM'\n"
                  "with open('" +
                  huge.string() +
                  "', 'r+b') as f:\n"
                  "    f.write(header)\n"
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
  auto none = OpenMatlabRecording(only_text, {});
  ASSERT_FALSE(none);
  EXPECT_EQ(none.error().message, core::kMsgFileRead);
  ExpectOneLineNaming(none.error(), only_text);
  EXPECT_NE(none.error().detail.find("variable 'note' holds characters"), std::string::npos)
      << none.error().detail;

  const std::pair<std::filesystem::path, const char*> claims[] = {
      {huge, "'x' claims more values"},
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
  RunPythonScript(Level5Script(plain, false));
  RunPythonScript(Level5Script(packed, true));
  RunPythonScript(Level73Script(v73));
  const auto expected = ExpectedChannels();
  for (const auto& source : {plain, packed, v73}) {
    testing::ExpectDamagedCopiesFailInOneLine(
        source, dir.path(), 40, [](const auto& copy) { return OpenMatlabRecording(copy, {}); });
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
