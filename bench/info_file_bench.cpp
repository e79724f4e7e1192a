// Reading and writing the per-frame information file: a typical small file, and large files of random
// bytes that show the reader stays linear in the file's size.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "frameinfo/info_file.h"

namespace {

namespace fs = std::filesystem;

// A scratch folder for one benchmark, removed afterwards.
struct ScratchDir {
  fs::path path = fs::temp_directory_path() / ("orvia-bench-info-" + std::to_string(std::random_device{}()));
  ScratchDir() { fs::create_directories(path); }
  ~ScratchDir() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
};

// Reads a file of n random bytes (range argument, bytes).
void BM_ReadRandomBytes(benchmark::State& state) {
  ScratchDir dir;
  const fs::path path = dir.path / "random.txt";
  std::mt19937 gen(7);
  std::string bytes(static_cast<std::size_t>(state.range(0)), '\0');
  for (char& c : bytes) c = static_cast<char>(gen() & 0xFF);
  std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  for (auto _ : state) {
    InfoFileData data;
    ReadInfoFile(path.string(), data);
    benchmark::DoNotOptimize(data.identifiedNorad);
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ReadRandomBytes)->Arg(1 << 20)->Arg(10 << 20)->Unit(benchmark::kMillisecond);

// Rewrites and reads back a typical information file (about 1 kB, every key present).
void BM_WriteThenReadTypical(benchmark::State& state) {
  ScratchDir dir;
  const std::string path = (dir.path / "frame.txt").string();
  InfoFileData data;
  data.imagePath = "/frames/IMG_0123.jpg";
  data.info.startTime = {2012, 4, 23, 21, 29, 55.25f};
  data.plate.mxArcsec = 12.34;
  data.plate.myArcsec = 12.56;
  data.identifiedNorad = 25544;
  data.identifiedName = "ISS (ZARYA)";
  data.remembered = {25544, 20580};
  for (auto _ : state) {
    benchmark::DoNotOptimize(WriteInfoFile(path, data));
    InfoFileData back;
    ReadInfoFile(path, back);
    benchmark::DoNotOptimize(back.identifiedNorad);
  }
}
BENCHMARK(BM_WriteThenReadTypical)->Unit(benchmark::kMicrosecond);

}  // namespace
