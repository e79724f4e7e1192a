// The EXIF reader scans the whole file once per wanted tag; this measures a window opening on a
// camera-sized JPEG (random bytes behind a TIFF header, so every scan runs to the end of the file).
#include <benchmark/benchmark.h>

#include <random>
#include <string>

#include "frameinfo/exif.h"

namespace {

std::string RandomJpeg(std::size_t size) {
  std::mt19937 rng(1);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(rng() & 0xFF);
  const std::string head(
      "\xFF\xD8\xFF\xE1\x00\x10"
      "Exif\0\0II*\0",
      16);
  bytes.replace(0, head.size(), head);
  return bytes;
}

void BM_ReadExifBytes(benchmark::State& state) {
  const std::string bytes = RandomJpeg(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(ReadExifBytes(bytes));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ReadExifBytes)->Arg(1 << 20)->Arg(10 << 20)->Unit(benchmark::kMillisecond);

}  // namespace
