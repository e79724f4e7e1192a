// The texts a user types for a frame's circumstances, and the date, time and number readers under them.
// The input is split at line feeds into the panel's boxes; its first byte chooses strict or lenient
// reading and the hemispheres. Invariants: an accepted date and time (and a strictly collected record's) lie in their
// ranges, numbers read are finite, a number's information-file text reads back within its 15 digits and rewrites
// stably, and every value of the collected record is finite.
#include <cmath>
#include <string>
#include <vector>

#include "base/calendar.h"
#include "base/numbers.h"
#include "frameinfo/frame_info.h"
#include "fuzz_support.h"

namespace {

// The ranges the date and time readers accept: day and month are not checked against each other
// (31.02 is 3 March), and 24:00:00, 12:60:00 and 12:00:60 are whole times.
bool DateInRange(int year, int month, int day) {
  return year >= 1900 && month >= 1 && month <= 12 && day >= 1 && day <= 31;
}
bool TimeInRange(int hour, int minute, double seconds) {
  return hour >= 0 && hour <= 24 && minute >= 0 && minute <= 60 && std::isfinite(seconds) && seconds >= 0 &&
         seconds <= 60;
}

void CheckTime(const CalendarTime& t) {
  if (!t.IsSet()) return;
  FUZZ_CHECK(DateInRange(t.year, t.month, t.day));
  FUZZ_CHECK(TimeInRange(t.hour, t.minute, t.seconds));
}

// The mid time follows the start by half the exposure as typed (a negative or huge exposure moves it far
// from the start, even before 1900), so only the ranges of its month, day and time hold.
void CheckMidTime(const CalendarTime& t) {
  if (!t.IsSet()) return;
  FUZZ_CHECK(DateInRange(1900, t.month, t.day));
  FUZZ_CHECK(TimeInRange(t.hour, t.minute, t.seconds));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::string_view text = fuzz_support::AsText(data + 1, size - 1);
  std::vector<std::string> boxes;
  std::size_t start = 0;
  while (boxes.size() < 9) {
    const std::size_t end = text.find('\n', start);
    boxes.emplace_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  boxes.resize(9);

  int year = 0, month = 0, day = 0;
  if (ParseDate(boxes[0], year, month, day)) FUZZ_CHECK(DateInRange(year, month, day));
  int hour = 0, minute = 0;
  float seconds = 0;
  if (ParseTime(boxes[1], hour, minute, seconds)) FUZZ_CHECK(TimeInRange(hour, minute, seconds));
  for (const std::string& box : boxes) {
    const double value = ParseNumber(box);
    FUZZ_CHECK(std::isfinite(value));
    // Fifteen significant digits: the text reads back within rounding, and writing it again is stable.
    const double reread = ParseNumber(NumberText(value));
    FUZZ_CHECK(std::fabs(reread - value) <= 1e-14 * std::fabs(value));
    FUZZ_CHECK(NumberText(reread) == NumberText(value));
  }

  // The height and the pointing reuse the texts of other boxes.
  PanelEntries entries{boxes[0], boxes[1],           boxes[2], boxes[3], boxes[4], (data[0] & 2) != 0,
                       boxes[5], (data[0] & 4) != 0, boxes[6], boxes[7], boxes[8], (data[0] & 8) != 0,
                       boxes[2], (data[0] & 16) != 0, boxes[6], boxes[7]};
  FrameInfo info;
  const CollectResult result = CollectFrameInfo(entries, (data[0] & 1) != 0, info);
  if (!result.ok) return 0;
  if (data[0] & 1) {  // a strict collection accepts only whole dates and times
    CheckTime(info.startTime);
    CheckMidTime(info.midTime);
  }
  for (const double v :
       {info.startMjd, info.midMjd, info.longitude, info.latitude, info.exposure, info.raUser, info.decUser,
        info.longitudeRad, info.latitudeRad, static_cast<double>(info.utError), static_cast<double>(info.fieldUser)})
    FUZZ_CHECK(std::isfinite(v));
  FUZZ_CHECK(info.utError <= kMaxUtError);
  return 0;
}
