// The frame decoder's header checks on any bytes: a size is claimed only within the raster's limits, and a
// JPEG taken as complete has an end-of-image marker and enough data for its blocks; the same bytes give
// the same answer, and a complete JPEG cut before its end-of-image marker is not complete.
#include <sstream>

#include "fuzz_support.h"
#include "image/frame_header.h"

namespace {

FrameHeader Check(std::string_view bytes) {
  std::istringstream in{std::string(bytes)};
  return ReadFrameHeader(in);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes = fuzz_support::AsText(data, size);
  const FrameHeader header = Check(bytes);
  if (!header.complete) return 0;
  FUZZ_CHECK(header.format != FrameFormat::Unknown);
  FUZZ_CHECK(header.width >= 1 && header.height >= 1);
  const FrameHeader again = Check(bytes);
  FUZZ_CHECK(again.complete && again.width == header.width && again.height == header.height);
  if (header.format == FrameFormat::Jpeg) {
    const std::size_t end = bytes.find("\xFF\xD9");
    FUZZ_CHECK(end != std::string_view::npos);
    // Cut just before the last end-of-image marker: no longer a whole picture.
    const std::size_t last = bytes.rfind("\xFF\xD9");
    if (bytes.find("\xFF\xD9", end + 1) == std::string_view::npos) FUZZ_CHECK(!Check(bytes.substr(0, last)).complete);
  } else {
    FUZZ_CHECK(header.width <= kMaxFrameSide && header.height <= kMaxFrameSide);
  }
  return 0;
}
