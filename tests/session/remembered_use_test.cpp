// The observer's last site and TLE folder kept between runs (the round trip is tested through a restart
// of the main window).
#include "session/remembered_use.h"

#include <gtest/gtest.h>

#include "test_paths.h"

using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

TEST(RememberedUse, ASiteOutOfRangeOrNotANumberIsNotRememberedAndOtherKeysSurviveAWrite) {
  TempDir dir;
  const std::string appDir = dir.path().string() + "/";
  const std::string path = RememberedUseFileName(appDir);
  for (const char* longitude : {"abc", "-181", "1e999"}) {
    WriteFile(path, std::string("[Site]\r\nLongitude=") + longitude + "\r\nLatitude=42.4\r\n");
    EXPECT_FALSE(ReadRememberedUse(appDir).site) << longitude;
  }
  WriteFile(path, "[Window]\r\nZoom=2\r\n");
  ASSERT_TRUE(WriteRememberedUse(appDir, RememberedUse{ObserverSite{"", -98.28472, 42.41328, 4171}, "/tle"}));
  EXPECT_NE(ReadFile(path).find("Zoom=2\r\n"), std::string::npos);
  const RememberedUse read = ReadRememberedUse(appDir);
  ASSERT_TRUE(read.site);
  EXPECT_EQ(read.site->code, 4171);
}
