// The frame decoder on any bytes (seeded with run-length BMPs and arithmetic-coded JPEGs): a whole picture,
// or a cause and no pixels; never more pixels than the bytes can code (a Huffman-coded JPEG spends a bit
// on 64 pixels at least, a run-length BMP 2 bytes on 255).
#include "fuzz_support.h"
#include "image/decode.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  DecodedImage out;
  const bool decoded = DecodeFrameBytes(std::string(fuzz_support::AsText(data, size)), out, std::int64_t{1} << 24);
  FUZZ_CHECK(decoded == (out.refusal == FrameRefusal::None));
  const std::int64_t pixels = static_cast<std::int64_t>(out.width) * out.height;
  FUZZ_CHECK(out.pixels.size() == static_cast<std::size_t>(pixels) && (decoded || pixels == 0));
  FUZZ_CHECK(pixels <= 512 * static_cast<std::int64_t>(size));
  return 0;
}
