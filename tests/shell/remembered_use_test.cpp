// The observer's last site and TLE folder kept between runs.
#include "shell/remembered_use.h"

#include <gtest/gtest.h>

#include "test_paths.h"

using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

TEST(RememberedUse, ASiteOutOfRangeOrNotANumberIsNotRememberedAndOtherKeysSurviveAWrite) {
  TempDir dir;
  const std::string appDir = dir.path().string() + "/";
  EXPECT_FALSE(ReadRememberedUse(appDir).site);  // no file yet

  const std::string path = RememberedUseFileName(appDir);
  WriteFile(path, "[Site]\r\nLongitude=abc\r\nLatitude=42.4\r\n");
  EXPECT_FALSE(ReadRememberedUse(appDir).site);
  WriteFile(path, "[Site]\r\nLongitude=-181\r\nLatitude=42.4\r\n");
  EXPECT_FALSE(ReadRememberedUse(appDir).site);
  WriteFile(path, "[Site]\r\nLongitude=1e999\r\nLatitude=42.4\r\n");
  EXPECT_FALSE(ReadRememberedUse(appDir).site);

  WriteFile(path, "[Window]\r\nZoom=2\r\n[Site]\r\nLongitude=-98.28472\r\nLatitude=42.41328\r\nStation=4171\r\n");
  const RememberedUse read = ReadRememberedUse(appDir);
  ASSERT_TRUE(read.site);
  EXPECT_DOUBLE_EQ(read.site->longitude, -98.28472);
  EXPECT_DOUBLE_EQ(read.site->latitude, 42.41328);
  EXPECT_EQ(read.site->code, 4171);
  EXPECT_TRUE(read.tleFolder.empty());

  ASSERT_TRUE(WriteRememberedUse(appDir, RememberedUse{read.site, "/home/observer/tle"}));
  EXPECT_NE(ReadFile(path).find("Zoom=2\r\n"), std::string::npos);
  EXPECT_EQ(ReadRememberedUse(appDir).tleFolder, "/home/observer/tle");
  EXPECT_EQ(ReadRememberedUse(appDir).site->code, 4171);
}
