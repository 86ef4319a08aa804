// Importing recordings: a 16-bit WAV file and an HDF5 dataset of 10 M and 100 M samples, and a
// text column of 10 M, each as one node. Reports the time as a ratio to a floor written here
// (read() of the same file and a plain convert loop) and the peak resident memory of the import
// (rss_growth_mb: the peak resident size of the run above the resident size before it),
// which must not grow with the recording.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <hdf5.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "floor.h"
#include "recording/recording_import.h"

namespace torvwy::bench {
namespace {

namespace fs = std::filesystem;

fs::path BenchFolder() {
  const char* tmp = std::getenv("TMPDIR");
  const fs::path folder = fs::path(tmp != nullptr && *tmp ? tmp : "/tmp") / "torvwy-bench";
  fs::create_directories(folder);
  return folder;
}

/// The random walk every recording holds, as int16 values.
void Walk(int64_t samples, const std::function<void(const std::vector<int16_t>&)>& piece) {
  std::mt19937 random(7);
  std::uniform_int_distribution<int> step(-64, 64);
  int value = 0;
  std::vector<int16_t> values;
  for (int64_t done = 0; done < samples;) {
    values.clear();
    for (int i = 0; i < 65536 && done < samples; ++i, ++done) {
      value = std::clamp(value + step(random), -30000, 30000);
      values.push_back(static_cast<int16_t>(value));
    }
    piece(values);
  }
}

fs::path WavFile(int64_t samples) {
  const fs::path path = BenchFolder() / ("walk-" + std::to_string(samples) + ".wav");
  if (fs::exists(path)) return path;
  std::ofstream out(path.string() + ".part", std::ios::binary);
  const auto u32 = [&](uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
  const auto u16 = [&](uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
  const auto bytes = static_cast<uint32_t>(samples * 2);
  out << "RIFF";
  u32(36 + bytes);
  out << "WAVEfmt ";
  u32(16);
  u16(1);
  u16(1);
  u32(10000);
  u32(20000);
  u16(2);
  u16(16);
  out << "data";
  u32(bytes);
  Walk(samples, [&](const std::vector<int16_t>& values) {
    out.write(reinterpret_cast<const char*>(values.data()),
              static_cast<std::streamsize>(values.size() * 2));
  });
  out.close();
  fs::rename(path.string() + ".part", path);
  return path;
}

fs::path Hdf5File(int64_t samples) {
  const fs::path path = BenchFolder() / ("walk-" + std::to_string(samples) + ".h5");
  if (fs::exists(path)) return path;
  const std::string part = path.string() + ".part";
  const hid_t file = H5Fcreate(part.c_str(), H5F_ACC_TRUNC, H5P_DEFAULT, H5P_DEFAULT);
  const hsize_t size = static_cast<hsize_t>(samples);
  const hid_t space = H5Screate_simple(1, &size, nullptr);
  const hid_t set =
      H5Dcreate2(file, "walk", H5T_IEEE_F64LE, space, H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT);
  const double rate = 10000.0;
  const hid_t scalar = H5Screate(H5S_SCALAR);
  const hid_t attribute = H5Acreate2(set, "rate", H5T_IEEE_F64LE, scalar, H5P_DEFAULT, H5P_DEFAULT);
  H5Awrite(attribute, H5T_NATIVE_DOUBLE, &rate);
  hsize_t offset = 0;
  std::vector<double> values;
  Walk(samples, [&](const std::vector<int16_t>& piece) {
    values.assign(piece.begin(), piece.end());
    const hsize_t count = piece.size();
    const hid_t memory = H5Screate_simple(1, &count, nullptr);
    H5Sselect_hyperslab(space, H5S_SELECT_SET, &offset, nullptr, &count, nullptr);
    H5Dwrite(set, H5T_NATIVE_DOUBLE, memory, space, H5P_DEFAULT, values.data());
    H5Sclose(memory);
    offset += count;
  });
  H5Aclose(attribute);
  H5Sclose(scalar);
  H5Dclose(set);
  H5Sclose(space);
  H5Fclose(file);
  fs::rename(part, path);
  return path;
}

fs::path TextFile(int64_t samples) {
  const fs::path path = BenchFolder() / ("walk-" + std::to_string(samples) + ".csv");
  if (fs::exists(path)) return path;
  std::ofstream out(path.string() + ".part");
  out << "walk\n";
  Walk(samples, [&](const std::vector<int16_t>& values) {
    for (const int16_t v : values) out << v << '\n';
  });
  out.close();
  fs::rename(path.string() + ".part", path);
  return path;
}

/// The floor: read() of the whole file in 4 MB buffers, every byte pair converted to double and
/// summed (for text files, every byte), whatever the layout; the least any reader does.
double FloorPass(const fs::path& path) {
  const int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) return 0.0;
  std::vector<char> buffer(size_t{4} << 20);
  double sum = 0.0;
  for (;;) {
    const ssize_t got = ::read(fd, buffer.data(), buffer.size());
    if (got <= 0) break;
    sum += ConvertAndSum<int16_t>(buffer.data(), static_cast<size_t>(got) / 2);
  }
  ::close(fd);
  return sum;
}

/// Resets the peak resident size of the process (Linux: "5" into clear_refs).
void ResetPeakMemory() { std::ofstream("/proc/self/clear_refs") << "5"; }

/// The peak resident size since the last reset, in MiB.
double PeakMemoryMiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
  }
  return 0.0;
}

double ResidentMiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
  }
  return 0.0;
}

// Arguments: samples, kind (0 WAV, 1 HDF5, 2 text).
void BM_ImportRecording(benchmark::State& state) {
  const int64_t samples = state.range(0);
  const fs::path input = state.range(1) == 0   ? WavFile(samples)
                         : state.range(1) == 1 ? Hdf5File(samples)
                                               : TextFile(samples);
  const fs::path data = BenchFolder() / "import-data";
  recording::ImportSettings settings;
  settings.data = data;
  settings.test = "bench";
  settings.code = "1";
  settings.overwrite = true;
  settings.format = 951;
  settings.c1 = 1.0;  // one pass, as the floor makes
  settings.rate_hz = 10000.0;
  double best = 1e300, peak = 0.0, before = 0.0;
  for (auto _ : state) {
    before = ResidentMiB();
    ResetPeakMemory();
    const auto start = std::chrono::steady_clock::now();
    auto file = recording::OpenRecording(input);
    if (!file) {
      state.SkipWithError(file.error().detail.c_str());
      return;
    }
    auto plan = recording::PlanNodes((*file)->channels(), {{"1"}, {"walk"}});
    if (!plan) {
      state.SkipWithError(plan.error().detail.c_str());
      return;
    }
    const auto outcome = recording::ImportChannels(**file, *plan, settings);
    if (!outcome.ok()) {
      state.SkipWithError(outcome.failure->detail.c_str());
      return;
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    best = std::min(best, took.count());
    peak = std::max(peak, PeakMemoryMiB() - before);
  }
  double floor = 1e300;
  for (int pass = 0; pass < 3; ++pass) {
    const auto start = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(FloorPass(input));
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    floor = std::min(floor, took.count());
  }
  state.counters["best_ms"] = best * 1e3;
  state.counters["floor_ms"] = floor * 1e3;
  state.counters["x_floor"] = best / floor;
  state.counters["rss_growth_mb"] = peak;
  state.SetItemsProcessed(state.iterations() * samples);
  fs::remove_all(data);
}

}  // namespace
}  // namespace torvwy::bench

BENCHMARK(torvwy::bench::BM_ImportRecording)
    ->Args({10'000'000, 0})
    ->Args({100'000'000, 0})
    ->Args({10'000'000, 1})
    ->Args({100'000'000, 1})
    ->Args({10'000'000, 2})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);
