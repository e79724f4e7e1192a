// Element-set input (two- and three-line sets, OMM in CSV, XML and JSON) and its import. Invariants: every
// set read (but a line 1 without its line 2) has finite elements and a finite epoch key; sets merged into a database
// file read back as the same lines in newest-first order, and a rewrite of that file is stable; a small input imported
// into an empty database leaves files whose sets are ordered, unique, and give finite elements.
#include <cmath>
#include <filesystem>

#include "fuzz_support.h"
#include "satdb/satdb.h"

namespace {

void CheckFinite(const TleRecord& r) {
  for (const double v : {r.epochMjd, r.bstar, r.inclinationDeg, r.raanDeg, r.eccentricity, r.argPerigeeDeg,
                         r.meanAnomalyDeg, r.meanMotion, r.ageDays})
    FUZZ_CHECK(std::isfinite(v));
}

void CheckDatabaseFile(const std::string& path) {
  std::string text;
  FUZZ_CHECK(ReadWholeFile(path, text));
  const SatelliteFile file = ParseSatelliteFile(text);
  FUZZ_CHECK(SatelliteFileText(file) == text);
  for (std::size_t i = 1; i < file.sets.size(); ++i) FUZZ_CHECK(file.sets[i - 1].epochKey > file.sets[i].epochKey);
  TleRecord record;
  FUZZ_CHECK(ReadBestSet(path, 60000.0, record));
  if (record.ageDays < 10000) CheckFinite(record);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input = fuzz_support::WriteScratch("input.txt", fuzz_support::AsText(data, size));
  std::vector<ImportedSet> sets;
  if (!ReadTleInput(input, sets)) return 0;
  SatelliteFile merged;
  for (const ImportedSet& set : sets) {
    if (!set.numberValid || set.numberTooLarge) continue;
    if (set.fault == SetFault::NoLine2) {
      FUZZ_CHECK(set.line2.empty());  // a line 1 whose line 2 is missing is skipped, never merged
      continue;
    }
    FUZZ_CHECK(std::isfinite(set.epochKey));
    TleRecord record;
    FUZZ_CHECK(ParseElementSet(set.line1, set.line2, record));
    CheckFinite(record);
    MergeSet(merged, set);
  }
  const std::string text = SatelliteFileText(merged);
  const SatelliteFile reread = ParseSatelliteFile(text);
  FUZZ_CHECK(reread.sets.size() == merged.sets.size());
  for (std::size_t i = 0; i < merged.sets.size(); ++i) {
    FUZZ_CHECK(reread.sets[i].line1 == merged.sets[i].line1 && reread.sets[i].line2 == merged.sets[i].line2);
    if (i > 0) FUZZ_CHECK(merged.sets[i - 1].epochKey > merged.sets[i].epochKey);
  }
  FUZZ_CHECK(SatelliteFileText(reread) == text);

  if (sets.size() > 8) return 0;  // importing is file work: kept to small inputs
  const std::string appDir = fuzz_support::ScratchDir() + "app/";
  std::filesystem::remove_all(appDir);
  std::filesystem::create_directories(appDir + "TLE");
  SilentTask task;
  const TleImportResult result = ImportTleFiles({input}, -1, appDir, task);
  FUZZ_CHECK(result.writeFailures == 0);
  const std::vector<std::string> files = ListDatabaseFiles(appDir);
  FUZZ_CHECK(static_cast<int>(files.size()) == result.filesCreated);
  for (const std::string& path : files) CheckDatabaseFile(path);
  return 0;
}
