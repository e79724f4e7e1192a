// Names (situation report) and names-and-magnitudes lists imported into a small database. The first byte
// chooses the list. Invariants: every database file keeps its element sets line for line, its header
// lines stay single lines, and its magnitude reads back finite.
#include <cmath>
#include <filesystem>

#include "fuzz_support.h"
#include "satdb/satdb.h"

namespace {

const char* const kDatabase[][2] = {
    {"00005",
     "1     5U 58002B   26219.50000000  .00000023  00000-0  28098-4 0  9995\r\n"
     "2     5  34.2500 123.4567 1845123 123.4567 245.6789 10.84812345345678\r\n"},
    {"25544",
     "mName = ISS\r\nMag = -1.8\r\n"
     "1 25544U 98067A   26220.51782528  .00016717  00000-0  30571-3 0  9992\r\n"
     "2 25544  51.6404 123.4567 0004567 123.4567 236.5432 15.49812345456789\r\n"},
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::string appDir = fuzz_support::ScratchDir() + "app/";
  std::filesystem::remove_all(appDir);
  std::filesystem::create_directories(appDir + "TLE");
  std::vector<SatelliteFile> before;
  for (const auto& entry : kDatabase) {
    fuzz_support::WriteScratch(std::string("app/TLE/") + entry[0] + ".tle", entry[1]);
    before.push_back(ParseSatelliteFile(entry[1]));
  }
  const std::string list = fuzz_support::WriteScratch("list.txt", fuzz_support::AsText(data + 1, size - 1));
  SilentTask task;
  if (data[0] & 1)
    ImportSsr(list, appDir, task);
  else
    ImportMagnitudes(list, appDir, task);
  for (std::size_t i = 0; i < before.size(); ++i) {
    const std::string path = appDir + "TLE/" + kDatabase[i][0] + ".tle";
    std::string text;
    FUZZ_CHECK(ReadWholeFile(path, text));
    const SatelliteFile after = ParseSatelliteFile(text);
    FUZZ_CHECK(after.sets.size() == before[i].sets.size());
    for (std::size_t k = 0; k < after.sets.size(); ++k)
      FUZZ_CHECK(after.sets[k].line1 == before[i].sets[k].line1 && after.sets[k].line2 == before[i].sets[k].line2);
    for (const auto& header : {after.nameLine, after.mNameLine, after.magLine})
      if (header) FUZZ_CHECK(header->find_first_of("\r\n") == std::string::npos);
    TleRecord record;
    FUZZ_CHECK(ReadBestSet(path, 61000.0, record));
    FUZZ_CHECK(std::isfinite(record.standardMagnitude));
  }
  return 0;
}
