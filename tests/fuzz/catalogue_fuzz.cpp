// The star catalogue on any bytes. Invariants: its records encode back to the file's bytes up to its last
// whole record, and both readers agree on the star count.
#include "astrometry/catalogue.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes = fuzz_support::AsText(data, size);
  const std::string catalogue = fuzz_support::WriteScratch("bin8.dat", bytes);
  std::vector<CatalogueRecord> records;
  FUZZ_CHECK(ReadCatalogueRecords(catalogue, records));
  FUZZ_CHECK(records.size() == size / kCatalogueRecordBytes);
  FUZZ_CHECK(EncodeCatalogue(records) == bytes.substr(0, records.size() * kCatalogueRecordBytes));
  std::vector<CatalogStar> stars;
  FUZZ_CHECK(ReadCatalogue(catalogue, stars));
  FUZZ_CHECK(stars.size() == records.size());
  return 0;
}
