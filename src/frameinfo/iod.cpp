#include "frameinfo/iod.h"

#include <algorithm>
#include <cmath>

#include "base/calendar.h"
#include "base/file_utils.h"
#include "base/numbers.h"
#include "sky/angles.h"

namespace {

// A text cut or blank-padded on the right to a column width.
std::string Field(std::string text, std::size_t width) {
  text.resize(width, ' ');
  return text;
}

std::string Digits(long long value, const char* pattern) {
  return FormatNumber(static_cast<double>(value), pattern);
}

// Date and time of an MJD rounded to the millisecond as "YYYYMMDDHHMMSSsss"; the rounding carries
// through seconds, minutes and hours into the next day.
std::string DateTimeField(double mjdUtc, int yearGuess) {
  double day = std::floor(mjdUtc);
  long long ms = std::llround((mjdUtc - day) * 86400000.0);
  if (ms >= 86400000LL) {
    ms -= 86400000LL;
    day += 1.0;
  }
  const CalendarFields date = DateFromMjd(day, yearGuess);
  return Digits(date.year, "0000") + Digits(date.month, "00") + Digits(date.day, "00") + Digits(ms / 3600000, "00") +
         Digits(ms / 60000 % 60, "00") + Digits(ms % 60000, "00000");
}

// Right ascension as hours and thousandths of a minute of time, "HHMMmmm", truncated (never rounded up
// into the next minute or hour).
std::string RaField(double raRad) {
  int hours = 0;
  double minutes = 0.0;
  SplitRaHours(RadToDeg(raRad), hours, minutes);
  const long long thousandths = std::clamp(static_cast<long long>(std::floor(minutes * 1000.0)), 0LL, 59999LL);
  return Digits(hours, "00") + Digits(thousandths, "00000");
}

// Declination as sign, degrees and hundredths of an arcminute, "+DDMMmm", rounded to the nearest
// hundredth with the carry of a full 60' into the degrees.
std::string DecField(double decRad) {
  const SignedDms dms = SplitSignedDegrees(RadToDeg(decRad));
  int degrees = dms.degrees;
  long long hundredths = static_cast<long long>(std::floor((dms.arcminutes + dms.arcseconds / 60.0) * 100.0 + 0.5));
  if (hundredths >= 6000) {
    hundredths = 0;
    degrees += 1;
  }
  return dms.sign + Digits(degrees, "00") + Digits(hundredths, "0000");
}

}  // namespace

std::string IodCatalogueField(std::int32_t catalogueNumber) {
  if (catalogueNumber < 0 || catalogueNumber > 339999) return {};
  if (catalogueNumber <= 99999) return Digits(catalogueNumber, "00000");
  // Alpha-5: the leading value 10..33 becomes a letter, I and O skipped.
  static constexpr char kLetters[] = "ABCDEFGHJKLMNPQRSTUVWXYZ";
  return kLetters[catalogueNumber / 10000 - 10] + Digits(catalogueNumber % 10000, "0000");
}

std::string IodFileName(const std::string& appDir, std::int32_t catalogueNumber) {
  return appDir + "iod_" + Digits(catalogueNumber, "00000") + ".txt";
}

std::string IodLine(const IodInput& input, const IodPosition& position) {
  const std::string number = IodCatalogueField(input.catalogueNumber);
  if (number.empty() || input.stationCode < 0 || input.stationCode > 9999) return {};
  const std::string designator = Field(input.designator, 8);
  std::string line = number + " " + designator.substr(0, 2) + " " + designator.substr(2, 6) + " " +
                     Digits(input.stationCode, "0000") + " G " + DateTimeField(position.mjdUtc, input.yearGuess) +
                     " 18 25 " + RaField(position.direction.raRad) + DecField(position.direction.decRad) + " 17";
  return Field(line, 77);
}

IodResult WriteIodReport(const std::string& appDir, const IodInput& input) {
  return WriteIodReportTo(IodFileName(appDir, input.catalogueNumber), input);
}

IodResult WriteIodReportTo(const std::string& path, const IodInput& input) {
  IodResult result;
  result.path = path;
  if (IodCatalogueField(input.catalogueNumber).empty()) {
    result.message = "Номер ИСЗ " + std::to_string(input.catalogueNumber) + " не помещается в формат IOD";
    return result;
  }
  if (input.stationCode < 0 || input.stationCode > 9999) {
    result.message = "Код станции " + std::to_string(input.stationCode) + " не помещается в формат IOD";
    return result;
  }
  for (std::size_t i = 0; i < input.positions.size(); ++i) {
    if (!IodPositionMeasured(input.positions[i])) {
      result.message = "Положение " + std::to_string(i + 1) + " не измерено: отчёт IOD " + path + " не записан";
      return result;
    }
  }
  std::string text;
  for (const IodPosition& position : input.positions) text += IodLine(input, position) + "\r\n";
  if (const WriteResult written = WriteFileAtomically(result.path, text); !written) {
    result.message = "Не удалось записать файл " + result.path + ": " + written.reason;
    return result;
  }
  result.ok = true;
  return result;
}

bool IodPositionMeasured(const IodPosition& position) {
  const double ra = position.direction.raRad, dec = position.direction.decRad;
  return std::isfinite(ra) && std::isfinite(dec) && std::isfinite(position.mjdUtc) && position.mjdUtc > 0.0 &&
         (ra != 0.0 || dec != 0.0) && std::fabs(dec) <= 2.0 && std::fabs(ra) <= 7.0;
}
