// Database files and the best-set reader on any bytes. Invariants: a rewrite of a parsed file is stable
// (writing what was read and reading it again gives the same text); the best set chosen for a time has
// finite elements and a non-negative age, and the magnitude is finite.
#include <cmath>

#include "fuzz_support.h"
#include "satdb/satdb.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes = fuzz_support::AsText(data, size);
  const SatelliteFile file = ParseSatelliteFile(bytes);
  const std::string text = SatelliteFileText(file);
  const SatelliteFile reread = ParseSatelliteFile(text);
  FUZZ_CHECK(reread.sets.size() == file.sets.size());
  FUZZ_CHECK(SatelliteFileText(reread) == text);

  const std::string path = fuzz_support::WriteScratch("00001.tle", bytes);
  for (const double mjd : {0.0, 51544.0, 61000.0}) {
    TleRecord record;
    FUZZ_CHECK(ReadBestSet(path, mjd, record));
    FUZZ_CHECK(std::isfinite(record.standardMagnitude));
    FUZZ_CHECK(record.ageDays >= 0 && record.ageDays <= 10000);
    if (record.ageDays == 10000) continue;
    for (const double v : {record.epochMjd, record.bstar, record.inclinationDeg, record.raanDeg, record.eccentricity,
                           record.argPerigeeDeg, record.meanAnomalyDeg, record.meanMotion})
      FUZZ_CHECK(std::isfinite(v));
  }
  return 0;
}
