#include "astrometry/catalogue.h"

#include <gtest/gtest.h>

#include "base/calendar.h"
#include "test_paths.h"

using testing_support::TempDir;
using testing_support::WriteFile;

TEST(Catalogue, ReadsRecordsInFileOrderAndIgnoresATrailingPartialRecord) {
  TempDir dir;
  const std::vector<CatalogueRecord> records = {{-3.0f, 0.5f, 1.25f}, {0.0f, -1.5f, 7.9f}, {3.1f, 0.0f, -1.4f}};
  std::string bytes = EncodeCatalogue(records);
  ASSERT_EQ(bytes.size(), 36u);
  // Little-endian IEEE single: 1.25f is 0x3FA00000.
  EXPECT_EQ(static_cast<unsigned char>(bytes[8]), 0x00);
  EXPECT_EQ(static_cast<unsigned char>(bytes[11]), 0x3F);
  bytes += std::string(7, '\x55');  // a damaged tail shorter than a record
  const auto path = dir.path() / "bin8.dat";
  WriteFile(path, bytes);

  std::vector<CatalogueRecord> raw;
  ASSERT_TRUE(ReadCatalogueRecords(path.string(), raw));
  ASSERT_EQ(raw.size(), 3u);
  EXPECT_EQ(raw[1].dec, -1.5f);
  EXPECT_EQ(raw[2].magnitude, -1.4f);

  std::vector<CatalogStar> stars;
  ASSERT_TRUE(ReadCatalogue(path.string(), stars));
  ASSERT_EQ(stars.size(), 3u);
  EXPECT_FLOAT_EQ(stars[0].ra, static_cast<float>(-3.0 + 3.14159265358979));
  EXPECT_FLOAT_EQ(stars[1].ra, 3.14159265f);
  EXPECT_EQ(stars[2].magnitude, -1.4f);
}

TEST(Catalogue, MissingFileIsReportedAndEmptyFileHasNoStars) {
  TempDir dir;
  std::vector<CatalogStar> stars(5);
  EXPECT_FALSE(ReadCatalogue((dir.path() / "none.dat").string(), stars));
  EXPECT_TRUE(stars.empty());
  WriteFile(dir.path() / "empty.dat", "");
  EXPECT_TRUE(ReadCatalogue((dir.path() / "empty.dat").string(), stars));
  EXPECT_TRUE(stars.empty());
}
