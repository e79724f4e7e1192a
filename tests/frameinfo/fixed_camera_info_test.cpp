// The still camera in the information file: 0 or 1, a file without the key read as a followed sky.

#include <gtest/gtest.h>

#include <fstream>

#include "frameinfo/info_file.h"
#include "test_paths.h"

TEST(FixedCameraInfo, KeyRoundTripsAndOldFilesReadAsTracked) {
  testing_support::TempDir dir;
  const std::string path = (dir.path() / "f.txt").string();
  InfoFileData data, read;
  data.info.fixedCamera = true;
  ASSERT_TRUE(WriteInfoFile(path, data));
  ReadInfoFile(path, read);
  EXPECT_TRUE(read.info.fixedCamera);
  EXPECT_NE(testing_support::ReadFile(path).find("FixedCamera=1\r\n"), std::string::npos);
  std::ofstream(path, std::ios::binary | std::ios::trunc) << "[User Info]\r\nExposition=30\r\n";
  ReadInfoFile(path, read);
  EXPECT_FALSE(read.info.fixedCamera);
  FrameInfo collected;  // the panel's texts carry the switch
  ASSERT_TRUE(CollectFrameInfo(PanelEntriesOf(data.info), false, collected).ok);
  EXPECT_TRUE(collected.fixedCamera);
}
