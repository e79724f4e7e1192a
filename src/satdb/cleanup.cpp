// Database cleanup: deletes the files of satellites in high orbits or without recent element sets and
// prunes old sets from the files that stay.

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <system_error>

#include "base/calendar.h"
#include "base/numbers.h"
#include "satdb/satdb.h"
#include "satdb/text_fields.h"

namespace {

// The age used when no age limit is set: longer than any set can be, so nothing is pruned.
constexpr double kNoAgeLimitDays = 365000;

// The number of element sets a database file holds (0 when it cannot be read).
int SetCount(const std::string& path) {
  std::string text;
  if (!ReadWholeFile(path, text)) return 0;
  return static_cast<int>(ParseSatelliteFile(text).sets.size());
}

// Removes sets whose key is not above the cutoff; deletes the file when none is left. False on failure.
// With countOnly the file stays as it is and only the counts grow.
bool PruneFile(const std::string& path, double cutoffKey, bool countOnly, TaskControl& task, CleanupResult& result) {
  std::string oldText;
  if (!ReadWholeFile(path, oldText)) return false;
  SatelliteFile file = ParseSatelliteFile(oldText);
  task.Yield();
  const std::size_t before = file.sets.size();
  result.setsTotal += static_cast<int>(before);
  std::erase_if(file.sets, [cutoffKey](const StoredSet& set) { return !(set.epochKey > cutoffKey); });
  if (file.sets.size() == before) return true;
  result.setsRemoved += static_cast<int>(before - file.sets.size());
  result.setsDeleted += static_cast<int>(before - file.sets.size());
  if (countOnly) {
    if (file.sets.empty()) ++result.filesDeleted;
    return true;
  }
  if (file.sets.empty()) {
    std::error_code ec;
    if (!std::filesystem::remove(path, ec)) return false;
    ++result.filesDeleted;
    return true;
  }
  if (!StoreSatelliteFile(path, file, oldText)) return false;
  ++result.filesPruned;
  return true;
}

}  // namespace

double CutoffKey(double nowMjd, double ageDays) {
  const double cutoff = nowMjd - ageDays;
  // Years outside 1900..2099 lie wholly below or above every key of the two-digit epoch scale.
  if (!(cutoff >= MjdFromDate(1900, 1, 1, 0))) return 0.0;
  if (!(cutoff < MjdFromDate(2100, 1, 1, 0))) return 3000000.0;
  const int yearGuess = 1858 + static_cast<int>(std::floor(cutoff / 365.2425));
  const int year = DateFromMjd(cutoff, yearGuess).year;
  const double dayOfYear = cutoff - MjdFromDate(year, 1, 0, 0);
  const std::string text =
      FileDecimal(year < 2000 ? year - 1900 : year - 2000, "00") + FileDecimal(dayOfYear, "000.00");
  return ParseNumber(text) + (year < 2000 ? 1900000 : 2000000);
}

CleanupResult CleanDatabase(const std::string& appDir, const CleanupLimits& limits, double nowMjd, TaskControl& task) {
  CleanupResult result;
  const double ageLimit = limits.ageDays.value_or(kNoAgeLimitDays);
  const double cutoffKey = limits.ageDays ? CutoffKey(nowMjd, ageLimit) : 0.0;
  const std::vector<std::string> paths = ListDatabaseFiles(appDir);
  if (paths.empty()) {
    result.messages.push_back("Нет TLE.");
    return result;
  }
  int failures = 0;
  for (const std::string& path : paths) {
    if (task.Cancelled()) {
      result.cancelled = true;
      break;
    }
    task.SetText(path);
    task.Yield();
    ++result.filesTotal;
    TleRecord record;
    if (!ReadBestSet(path, nowMjd, record)) {
      ++failures;
      continue;
    }
    // A perigee that cannot be computed (no usable set) is left to the age test.
    const double perigee = PerigeeRadius(record.meanMotion, record.eccentricity);
    const bool tooHigh = limits.perigeeKm && std::isfinite(perigee) && perigee > *limits.perigeeKm;
    if (tooHigh || record.ageDays > ageLimit) {
      const int sets = SetCount(path);
      result.setsTotal += sets;
      std::error_code ec;
      if (limits.countOnly || std::filesystem::remove(path, ec)) {
        ++result.filesDeleted;
        result.setsDeleted += sets;
      } else {
        ++failures;
      }
      task.Yield();
      continue;
    }
    if (limits.ageDays) {
      if (!PruneFile(path, cutoffKey, limits.countOnly, task, result)) ++failures;
      task.Yield();
    } else {
      result.setsTotal += SetCount(path);
    }
  }
  if (failures > 0) {
    result.messages.push_back("Не удалось изменить файлов базы данных: " + FormatNumber(failures, "0") +
                              ". Эти файлы оставлены без изменений.");
  }
  return result;
}
