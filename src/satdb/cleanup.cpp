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

// Notes a file that could not be changed and the system's reason (the first one's).
void Failed(const std::string& reason, CleanupResult& result) {
  ++result.failures;
  if (result.failureReason.empty()) result.failureReason = reason;
}

// Deletes a file holding sets element sets (only counts it when the run just counts); counts it or the failure.
void DeleteFile(const std::string& path, int sets, bool countOnly, CleanupResult& result) {
  std::error_code ec;
  if (countOnly || std::filesystem::remove(path, ec)) {
    ++result.filesDeleted;
    result.setsDeleted += sets;
  } else {
    Failed(ec ? ec.message() : "файл не найден", result);
  }
}

// Removes sets whose key is not above the cutoff from a file's content and stores it, or deletes the
// file when none is left. With countOnly nothing changes and only the counts grow.
void PruneFile(const std::string& path, SatelliteFile file, std::string_view oldText, double cutoffKey,
               bool countOnly, CleanupResult& result) {
  const std::size_t before = file.sets.size();
  std::erase_if(file.sets, [cutoffKey](const StoredSet& set) { return !(set.epochKey > cutoffKey); });
  if (file.sets.size() == before) return;
  const int removed = static_cast<int>(before - file.sets.size());
  // Sets count as removed only once the file that held them is changed: a full disk removes none.
  if (file.sets.empty() && file.otherLines.empty()) {
    const int failures = result.failures;
    DeleteFile(path, removed, countOnly, result);
    if (result.failures == failures) result.setsRemoved += removed;
    return;
  }
  if (!countOnly) {
    const WriteResult written = StoreSatelliteFile(path, file, oldText);
    if (!written) {
      Failed(written.reason, result);
      return;
    }
    ++result.filesPruned;
  }
  result.setsRemoved += removed;
  result.setsDeleted += removed;
}

// The summary lines of files that could not be changed and of files left alone.
void AddMessages(CleanupResult& result) {
  if (result.failures > 0) {
    result.messages.push_back("Не удалось изменить файлов базы данных: " + FormatNumber(result.failures, "0") + " (" +
                              result.failureReason + "). Эти файлы оставлены без изменений.");
  }
  if (!result.foreignFiles.empty()) {
    result.messages.push_back("Файлы в папке TLE не похожи на файлы базы и оставлены без изменений: " +
                              JoinedList(result.foreignFiles) + ".");
  }
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
  if (!limits.countOnly) RemoveLeftoverTemporaries(DatabaseDir(appDir));
  for (const std::string& path : paths) {
    if (task.Cancelled()) {
      result.cancelled = true;
      break;
    }
    task.SetText(path);
    task.Yield();
    std::string oldText;
    TleRecord record;
    if (!ReadWholeFile(path, oldText) || !ReadBestSet(path, nowMjd, record)) {
      Failed("файл не читается", result);
      continue;
    }
    const SatelliteFile file = ParseSatelliteFile(oldText);
    if (!IsSatelliteFile(file)) {
      result.foreignFiles.push_back(path);  // a user's file or a damaged one: never deleted unasked
      continue;
    }
    ++result.filesTotal;
    const int sets = static_cast<int>(file.sets.size());
    result.setsTotal += sets;
    // A perigee that cannot be computed (no usable set) is left to the age test.
    const double perigee = PerigeeRadius(record.meanMotion, record.eccentricity);
    const bool tooHigh = limits.perigeeKm && std::isfinite(perigee) && perigee > *limits.perigeeKm;
    if (tooHigh || record.ageDays > ageLimit) {
      DeleteFile(path, sets, limits.countOnly, result);
      task.Yield();
      continue;
    }
    if (limits.ageDays) {
      PruneFile(path, file, oldText, cutoffKey, limits.countOnly, result);
      task.Yield();
    }
  }
  if (!limits.countOnly) AddMessages(result);
  return result;
}
