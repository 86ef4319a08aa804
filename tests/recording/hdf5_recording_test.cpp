// Tests of the HDF5 reader on files written by h5py in the test.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "core/services/message_table.h"
#include "recording/recording.h"
#include "recording/recording_files.h"
#include "support/test_node.h"

namespace torvwy::recording {
namespace {

using testing::TempDir;

/// Writes `dir/name` with h5py: `body` is Python run with `f` open for writing, `np` numpy.
std::filesystem::path WriteH5(const TempDir& dir, const std::string& name,
                              const std::string& body) {
  const auto path = dir.path() / name;
  testing::RunPythonScript("import h5py, numpy as np\nf = h5py.File(r'''" + path.string() +
                           "''', 'w')\n" + body + "\nf.close()\n");
  return path;
}

/// A channel's values read whole, and the largest piece handed over.
struct ReadBack {
  std::vector<double> values;
  size_t largest_piece = 0;
  int pieces = 0;
};

ReadBack ReadChannel(RecordingReader& reader, size_t index) {
  ReadBack back;
  const auto status = reader.Read(index, [&](std::span<const double> piece) {
    back.values.insert(back.values.end(), piece.begin(), piece.end());
    back.largest_piece = std::max(back.largest_piece, piece.size());
    ++back.pieces;
    return core::Ok();
  });
  EXPECT_TRUE(status.ok()) << status.error().detail;
  return back;
}

std::vector<std::string> NamesOf(const RecordingReader& reader) {
  std::vector<std::string> names;
  for (const auto& channel : reader.channels()) names.push_back(channel.name);
  return names;
}

TEST(Hdf5RecordingTest, TakesEveryNumericDatasetOfTheGroupsInItsOwnType) {
  TempDir dir;
  const auto path = WriteH5(dir, "rec.h5", R"(
x = np.arange(10)
run = f.create_group('run1')
run.attrs['rate'] = 2048.0
run['a_f32'] = (x * 0.5 - 2).astype('f4')
run['b_f64'] = x * 0.25 - 1
run['b_f64'].attrs['fs'] = 100
run.create_group('sub')['c_i16'] = (x * -300).astype('i2')
f['d_u8'] = np.array([0, 1, 255, 128], 'u1')
f['d_u8'].attrs['dt'] = 0.001
f['e_be'] = np.array([-2**31, 7, 2**31 - 1], '>i4')
f['f_text'] = 'hello'
f['g_scalar'] = 3.0
f['h_cube'] = np.zeros((2, 2, 2))
f['i_record'] = np.zeros(3, dtype=[('a', 'f4'), ('b', 'i4')])
f.create_dataset('j_enum', data=np.array([0, 1], 'i1'),
                 dtype=h5py.enum_dtype({'off': 0, 'on': 1}, basetype='i1'))
f['k_matrix'] = np.array([[1, 2, 3], [4, 5, 6], [7, 8, 9], [10, 11, 12]], '<u2')
f['l_row'] = np.array([[1.5, 2.5, 3.5, 4.5]])
f['m_column'] = np.array([[-1.0], [-2.0]])
)");
  auto reader = OpenHdf5Recording(path, {});
  ASSERT_TRUE(reader.ok()) << reader.error().detail;
  EXPECT_EQ((*reader)->kind(), RecordingKind::kHdf5);

  std::vector<double> a, b, c;
  for (int i = 0; i < 10; ++i) {
    a.push_back(i * 0.5 - 2);
    b.push_back(i * 0.25 - 1);
    c.push_back(i * -300.0);
  }
  struct Expected {
    std::string name;
    std::vector<double> values;
    double rate_hz;
  };
  const std::vector<Expected> expected{
      {"d_u8", {0, 1, 255, 128}, 1000}, {"e_be", {-2147483648.0, 7, 2147483647.0}, 0},
      {"k_matrix_1", {1, 4, 7, 10}, 0}, {"k_matrix_2", {2, 5, 8, 11}, 0},
      {"k_matrix_3", {3, 6, 9, 12}, 0}, {"l_row", {1.5, 2.5, 3.5, 4.5}, 0},
      {"m_column", {-1, -2}, 0},        {"run1/a_f32", a, 2048},  // from its group
      {"run1/b_f64", b, 100},  // its own attribute comes before its group's
      {"run1/sub/c_i16", c, 2048},
  };
  ASSERT_EQ((*reader)->channels().size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(expected[i].name);
    const ChannelInfo& channel = (*reader)->channels()[i];
    EXPECT_EQ(channel.name, expected[i].name);
    EXPECT_EQ(channel.length, static_cast<int64_t>(expected[i].values.size()));
    EXPECT_DOUBLE_EQ(channel.rate_hz, expected[i].rate_hz);
    EXPECT_EQ(ReadChannel(**reader, i).values, expected[i].values);
  }
  // Every channel can be read again from its start.
  EXPECT_EQ(ReadChannel(**reader, 0).values, expected[0].values);
}

TEST(Hdf5RecordingTest, RateComesFromTheNamedAttributeOfTheDatasetOrItsGroups) {
  TempDir dir;
  const auto path = WriteH5(dir, "rates.h5", R"(
f.attrs['dt'] = 0.01
g = f.create_group('g')
g.attrs['rate'] = 2048
g.attrs['label'] = 'fast'
x = g.create_dataset('x', data=np.zeros(4))
x.attrs['sampling'] = np.array([500.0])
x.attrs['fs'] = -5.0
)");
  struct Case {
    std::string rate_from;
    double rate_hz;
    std::string error;  ///< part of the failure; empty: opens
  };
  const std::vector<Case> cases{
      {"", 2048, ""},  // the dataset's unusable "fs" is passed over for the group's "rate"
      {"sampling", 500, ""},
      {"dt", 100, ""},  // found at the root, a step of 10 ms
      {"missing", 0, ""},
      {"fs", 0, "the attribute \"fs\" of \"g/x\" is not a positive rate in Hz"},
      {"label", 0, "the attribute \"label\" of \"g\" is not a positive rate in Hz"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rate_from);
    RecordingOptions options;
    options.rate_from = c.rate_from;
    auto reader = OpenHdf5Recording(path, options);
    if (!c.error.empty()) {
      ASSERT_FALSE(reader.ok());
      EXPECT_EQ(reader.error().message, core::kMsgFileRead);
      EXPECT_EQ(reader.error().detail, path.string() + ": " + c.error);
      continue;
    }
    ASSERT_TRUE(reader.ok()) << reader.error().detail;
    EXPECT_DOUBLE_EQ((*reader)->channels().at(0).rate_hz, c.rate_hz);
  }
}

TEST(Hdf5RecordingTest, PicksTheDatasetsNamedInTheirOrderAndRefusesWhatIsNoChannel) {
  TempDir dir;
  WriteH5(dir, "other.h5", "f['a'] = np.zeros(5)");
  const auto path = WriteH5(dir, "pick.h5", R"(
f['a'] = np.array([1.0, 2.0])
f.create_group('run1')['b'] = np.array([[1, 2], [3, 4], [5, 6]])
f['run1/text'] = 'x'
f['cube'] = np.zeros((2, 2, 2))
f['single'] = 1.0
f['soft'] = h5py.SoftLink('/a')
f['outside'] = h5py.ExternalLink('other.h5', '/a')
)");
  struct Case {
    std::vector<std::string> datasets;
    std::vector<std::string> names;
    std::string error;
  };
  const std::vector<Case> cases{
      {{"/run1/b", "a"}, {"run1/b_1", "run1/b_2", "a"}, ""},
      {{"soft"}, {"soft"}, ""},
      {{"nope"}, {}, "no dataset \"nope\""},
      {{"a", "run1/nope"}, {}, "no dataset \"run1/nope\""},
      {{"outside"}, {}, "no dataset \"outside\""},  // never followed into another file
      {{"run1"}, {}, "\"run1\" is not a dataset"},
      {{"/"}, {}, "the dataset path \"/\" names no dataset"},
      {{"run1/text"}, {}, "the dataset \"run1/text\" holds strings, not numbers"},
      {{"cube"}, {}, "the dataset \"cube\" has 3 dimensions"},
      {{"single"}, {}, "the dataset \"single\" is a single value, not a channel"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.datasets.front());
    RecordingOptions options;
    options.datasets = c.datasets;
    auto reader = OpenHdf5Recording(path, options);
    if (!c.error.empty()) {
      ASSERT_FALSE(reader.ok());
      EXPECT_EQ(reader.error().detail.rfind(path.string() + ": " + c.error, 0), 0u)
          << reader.error().detail;
      continue;
    }
    ASSERT_TRUE(reader.ok()) << reader.error().detail;
    EXPECT_EQ(NamesOf(**reader), c.names);
  }
  RecordingOptions options;
  options.datasets = {"run1/b"};
  auto reader = OpenHdf5Recording(path, options);
  ASSERT_TRUE(reader.ok());
  EXPECT_EQ(ReadChannel(**reader, 1).values, (std::vector<double>{2, 4, 6}));
}

TEST(Hdf5RecordingTest, VisitsEachObjectOnceThroughLinksAndCycles) {
  TempDir dir;
  WriteH5(dir, "other.h5", "f['y'] = np.zeros(5)");
  const auto path = WriteH5(dir, "links.h5", R"(
g = f.create_group('g')
g['x'] = np.array([1.0, 2.0, 3.0])
g['back'] = f['/']
g['self'] = g
f['alias'] = g['x']
f['soft'] = h5py.SoftLink('/g/x')
f['dangling'] = h5py.SoftLink('/nowhere')
f['outside'] = h5py.ExternalLink('other.h5', '/y')
f['z'] = np.array([4.0])
)");
  auto reader = OpenHdf5Recording(path, {});
  ASSERT_TRUE(reader.ok()) << reader.error().detail;
  // "alias" comes before "g" in name order and is the first way to the dataset.
  EXPECT_EQ(NamesOf(**reader), (std::vector<std::string>{"alias", "z"}));
}

TEST(Hdf5RecordingTest, UnitComesFromAStringAttributeOfTheDataset) {
  TempDir dir;
  const auto path = WriteH5(dir, "units.h5", R"(
for name, key, value in [('a', 'unit', b'MPa'), ('b', 'unit', 'µm/m'),
                         ('c', 'units', np.bytes_(b'  kN \0\0')), ('d', 'unit', 'x' * 63 + 'µyy'),
                         ('e', 'unit', 12.0), ('f', 'units', np.array(['a', 'b'], dtype='S1'))]:
    f[name] = np.zeros(2)
    f[name].attrs[key] = value
f['g'] = np.zeros(2)
f.attrs['unit'] = 'V'
)");
  auto reader = OpenHdf5Recording(path, {});
  ASSERT_TRUE(reader.ok()) << reader.error().detail;
  std::vector<std::string> units;
  for (const auto& channel : (*reader)->channels()) units.push_back(channel.unit);
  // Fixed and variable-length strings count; a number, a list or a group's unit doesn't. A
  // long unit is cut to 64 bytes, and
  // not inside a character.
  EXPECT_EQ(units,
            (std::vector<std::string>{"MPa", "µm/m", "kN", std::string(63, 'x'), "", "", ""}));
}

TEST(Hdf5RecordingTest, NotFiniteValueIsRefusedOrReplaced) {
  TempDir dir;
  const auto path = WriteH5(dir, "nan.h5", R"(
f['v'] = np.array([1.0, np.nan, 3.0, -np.inf])
)");
  auto strict = OpenHdf5Recording(path, {});
  ASSERT_TRUE(strict.ok()) << strict.error().detail;
  const auto refused = (*strict)->Read(0, [](std::span<const double>) { return core::Ok(); });
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(refused.error().message, core::kMsgBadValue);
  EXPECT_EQ(refused.error().detail,
            path.string() + ": channel \"v\", sample 2: the value is not finite");

  RecordingOptions options;
  options.nan_value = -7.0;
  auto replacing = OpenHdf5Recording(path, options);
  ASSERT_TRUE(replacing.ok());
  EXPECT_EQ(ReadChannel(**replacing, 0).values, (std::vector<double>{1, -7, 3, -7}));
}

TEST(Hdf5RecordingTest, StreamsChunkedCompressedDataAcrossChunkAndBufferEdges) {
  TempDir dir;
  // 200003 samples: three full buffers and a short fourth; chunks of 999 don't line up with
  // the buffers either.
  const auto path = WriteH5(dir, "long.h5", R"(
i = np.arange(200003)
f.create_dataset('long', data=(i * 37 % 10007) - 5000.5, chunks=(999,), compression='gzip')
m = np.stack([i % 251, -(i % 13)], axis=1).astype('f4')
f.create_dataset('wide', data=m, chunks=(4099, 2), compression='gzip', shuffle=True)
)");
  auto reader = OpenHdf5Recording(path, {});
  ASSERT_TRUE(reader.ok()) << reader.error().detail;
  ASSERT_EQ(NamesOf(**reader), (std::vector<std::string>{"long", "wide_1", "wide_2"}));
  std::vector<std::vector<double>> expected(3);
  for (int64_t i = 0; i < 200003; ++i) {
    expected[0].push_back(static_cast<double>(i * 37 % 10007) - 5000.5);
    expected[1].push_back(static_cast<double>(i % 251));
    expected[2].push_back(-static_cast<double>(i % 13));
  }
  for (size_t channel = 0; channel < 3; ++channel) {
    SCOPED_TRACE(channel);
    EXPECT_EQ((*reader)->channels()[channel].length, 200003);
    const ReadBack back = ReadChannel(**reader, channel);
    EXPECT_EQ(back.pieces, 4);
    EXPECT_EQ(back.largest_piece, kRecordingBuffer);
    EXPECT_TRUE(back.values == expected[channel]);
  }
  // An error of the sink stops the reading and comes back as it was.
  const auto stopped = (*reader)->Read(0, [](std::span<const double>) -> core::Status {
    return core::Fail(core::kMsgFileWrite, "disk full");
  });
  ASSERT_FALSE(stopped.ok());
  EXPECT_EQ(stopped.error().detail, "disk full");
}

TEST(Hdf5RecordingTest, SizesTheFileCantHoldAreRefused) {
  TempDir dir;
  const auto fill = WriteH5(dir, "fill.h5", R"(
f.create_dataset('empty', shape=(1 << 20,), chunks=(4096,), dtype='f8', fillvalue=7.5)
)");
  // Unwritten chunks read as the fill value: a legitimate file.
  auto reader = OpenHdf5Recording(fill, {});
  ASSERT_TRUE(reader.ok()) << reader.error().detail;
  const ReadBack back = ReadChannel(**reader, 0);
  EXPECT_EQ(back.values, std::vector<double>(1 << 20, 7.5));

  struct Case {
    std::string body;
    std::string error;
  };
  const std::vector<Case> cases{
      {"f.create_dataset('huge', shape=(1 << 40,), chunks=(65536,), dtype='f4')",
       "the dataset \"huge\" claims 1099511627776 samples"},
      {"f.create_dataset('wide', shape=(2, 1 << 20), chunks=(2, 4096), dtype='i2')",
       "the dataset \"wide\" claims 1048576 columns"},
      {"f.create_dataset('ok', data=np.zeros(3))\n"
       "f.create_dataset('lzf', data=np.zeros(100), compression='lzf')",
       "the dataset \"lzf\" is compressed by filter 32000"},
      {"f.create_group('g')['text'] = 'only words'", "no numeric dataset"},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].body);
    const auto path = WriteH5(dir, "claim" + std::to_string(i) + ".h5", cases[i].body);
    auto refused = OpenHdf5Recording(path, {});
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.error().message, core::kMsgFileRead);
    EXPECT_EQ(refused.error().detail.rfind(path.string() + ": " + cases[i].error, 0), 0u)
        << refused.error().detail;
  }

  // A contiguous dataset cut in half, with the file's end mark in the superblock (version 0:
  // at byte 40) moved to the cut so that the library itself opens it.
  const auto cut = dir.path() / "cut.h5";
  testing::RunPythonScript("import h5py, numpy as np, struct\nf = h5py.File(r'''" + cut.string() +
                           "''', 'w')\nd = f.create_dataset('x', data=np.arange(1000.0))\n"
                           "offset = d.id.get_offset()\nf.close()\n"
                           "b = bytearray(open(r'''" +
                           cut.string() +
                           "''', 'rb').read())\n"
                           "assert b[8] == 0 and len(b) == offset + 8000\n"
                           "b = b[:offset + 4000]\nstruct.pack_into('<Q', b, 40, len(b))\n"
                           "open(r'''" +
                           cut.string() + "''', 'wb').write(b)\n");
  auto short_file = OpenHdf5Recording(cut, {});
  ASSERT_FALSE(short_file.ok());
  EXPECT_NE(short_file.error().detail.find(cut.string() + ": the dataset \"x\" claims 8000 bytes"),
            std::string::npos)
      << short_file.error().detail;
  EXPECT_NE(short_file.error().detail.find("beyond the end of the file"), std::string::npos);
}

TEST(Hdf5RecordingTest, DamagedFilesFailWithOneLineAndPrintNothing) {
  TempDir dir;
  const auto path = WriteH5(dir, "real.h5", R"(
run = f.create_group('run1')
run.attrs['rate'] = 1024.0
i = np.arange(5000)
run.create_dataset('a', data=np.sin(i * 0.01), chunks=(512,), compression='gzip')
run.create_dataset('b', data=(i % 100).astype('>i2'))
run['b'].attrs['unit'] = 'MPa'
f.create_dataset('m', data=np.ones((300, 3), 'f4'))
f['s'] = 'text'
)");
  ASSERT_TRUE(OpenHdf5Recording(path, {}).ok());
  const auto copies = testing::DamagedCopies(path, dir.path(), 80);
  ASSERT_GE(copies.size(), 60u);
  int opened = 0;
  for (const auto& copy : copies) {
    SCOPED_TRACE(copy.string());
    ::testing::internal::CaptureStderr();
    std::vector<core::Error> errors;
    {
      auto reader = OpenHdf5Recording(copy, {});
      if (!reader.ok()) {
        errors.push_back(reader.error());
      } else {
        ++opened;
        for (size_t c = 0; c < (*reader)->channels().size(); ++c) {
          const auto read = (*reader)->Read(c, [](std::span<const double>) { return core::Ok(); });
          if (!read.ok()) errors.push_back(read.error());
        }
      }
    }
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    for (const core::Error& error : errors) {
      EXPECT_TRUE(error.message == core::kMsgFileRead || error.message == core::kMsgBadValue);
      EXPECT_EQ(error.detail.rfind(copy.string() + ": ", 0), 0u) << error.detail;
      EXPECT_EQ(error.detail.find('\n'), std::string::npos) << error.detail;
    }
  }
  // Flipped bytes in the data leave most copies readable.
  EXPECT_GT(opened, 0);
}

}  // namespace
}  // namespace torvwy::recording
