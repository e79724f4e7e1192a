// The frame decoder on any bytes, above all run-length BMPs and arithmetic-coded JPEGs: it either gives a
// whole picture or refuses with a cause and no pixels, and no file decodes to more pixels than its bytes
// can code (a Huffman-coded JPEG spends at least a bit on 64 pixels, a run-length BMP 2 bytes on 255).
#include <string>

#include "fuzz_support.h"
#include "image/decode.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(fuzz_support::AsText(data, size));
  // A limit well above what the inputs can code, so that only the files' own structure refuses them.
  constexpr std::int64_t kLimit = std::int64_t{1} << 24;
  DecodedImage out;
  const bool decoded = DecodeFrameBytes(bytes, out, kLimit);
  if (!decoded) {
    FUZZ_CHECK(out.refusal != FrameRefusal::None);
    FUZZ_CHECK(out.pixels.empty() && out.width == 0 && out.height == 0);
    return 0;
  }
  FUZZ_CHECK(out.refusal == FrameRefusal::None);
  FUZZ_CHECK(out.width >= 1 && out.height >= 1 && out.width <= kMaxFrameSide && out.height <= kMaxFrameSide);
  const std::int64_t pixels = static_cast<std::int64_t>(out.width) * out.height;
  FUZZ_CHECK(out.pixels.size() == static_cast<std::size_t>(pixels));
  FUZZ_CHECK(pixels <= 512 * static_cast<std::int64_t>(size) + 64);
  return 0;
}
