// The EXIF reader on any bytes (a whole JPEG file as it would be read). Invariants: every number is finite,
// the window's texts never hold "nan" or "inf", the exposure in seconds is finite and not negative, or -1; the time
// stamp found splits into the window's date and time without a fault.
#include <cmath>

#include "frameinfo/exif.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const ExifValues values = ReadExifBytes(fuzz_support::AsText(data, size));
  FUZZ_CHECK(std::isfinite(values.expFirst) && std::isfinite(values.expSecond));
  const ExifDisplay display = MakeExifDisplay(values);
  FUZZ_CHECK(std::isfinite(display.exposureSeconds));
  FUZZ_CHECK(display.exposureSeconds == -1.0 || display.exposureSeconds >= 0);
  for (const std::string* text :
       {&display.date, &display.time, &display.exposure, &display.aperture, &display.size, &display.iso})
    FUZZ_CHECK(text->find("nan") == std::string::npos && text->find("inf") == std::string::npos);
  std::string date, time;
  SplitExifTime(values.timeImage, date, time);
  return 0;
}
