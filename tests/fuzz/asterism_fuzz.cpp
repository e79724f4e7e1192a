// The asterism index on any bytes. Invariants: every record decodes and encodes back to its bytes; the
// index loads only triangles whose three stars are in the working list, and the table counts what it holds.
#include "astrometry/asterism.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes = fuzz_support::AsText(data, size);
  for (std::size_t at = 0; at + kAsterismRecordBytes <= size; at += kAsterismRecordBytes) {
    const AsterismRecord record = DecodeAsterismRecord(data + at);
    FUZZ_CHECK(EncodeAsterismRecords({record}) == bytes.substr(at, kAsterismRecordBytes));
  }
  // Star numbers 1..40 are in the working list, except every third.
  std::vector<std::int32_t> starMap(41, 0);
  for (int n = 1; n <= 40; ++n) starMap[n] = n % 3 == 0 ? 0 : n;
  const auto listed = [&starMap](std::int32_t star) {
    return star >= 0 && static_cast<std::size_t>(star) < starMap.size() && starMap[star] != 0;
  };
  static AsterismTable table;
  SilentTask task;
  FUZZ_CHECK(LoadAsterismTable(fuzz_support::WriteScratch("tri4t.dat", bytes), starMap, table, task));
  std::size_t held = 0;
  for (std::size_t cell = 0; cell < AsterismTable::kCells; ++cell) {
    const AsterismTable::CellView records = table.CellAt(static_cast<int>(cell));
    held += records.size();
    for (const AsterismRecord& r : records) {
      FUZZ_CHECK(listed(r.star1) && listed(r.star2) && listed(r.star3));
      FUZZ_CHECK(AsterismCellOf(r) == static_cast<int>(cell));
    }
  }
  FUZZ_CHECK(held == table.recordCount);
  return 0;
}
