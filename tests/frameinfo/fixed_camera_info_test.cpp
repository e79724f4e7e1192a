// The fixed camera in the information file and the panel's texts: written as 0 or 1, a file without the
// key (every file written before it existed) read as a mount that followed the sky.

#include <gtest/gtest.h>

#include <fstream>

#include "frameinfo/frame_info.h"
#include "frameinfo/info_file.h"
#include "test_paths.h"

namespace {

using testing_support::TempDir;

TEST(FixedCameraInfo, KeyRoundTripsAndOldFilesReadAsTracked) {
  TempDir dir;
  const std::string path = (dir.path() / "f.txt").string();
  InfoFileData written;
  written.info.exposure = 30.0;
  written.info.fixedCamera = true;
  ASSERT_TRUE(WriteInfoFile(path, written));
  std::ifstream in(path, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("FixedCamera=1\r\n"), std::string::npos);
  InfoFileData read;
  ReadInfoFile(path, read);
  EXPECT_TRUE(read.info.fixedCamera);
  written.info.fixedCamera = false;
  ASSERT_TRUE(WriteInfoFile(path, written));
  ReadInfoFile(path, read);
  EXPECT_FALSE(read.info.fixedCamera);

  // A file of an older version: whatever the record held before, the frame was tracked.
  const std::string old = (dir.path() / "old.txt").string();
  std::ofstream(old, std::ios::binary) << "[User Info]\r\nExposition=30\r\nLongitude=30\r\n";
  read.info.fixedCamera = true;
  ReadInfoFile(old, read);
  EXPECT_FALSE(read.info.fixedCamera);

  // The panel's texts carry the switch both ways.
  FrameInfo info;
  info.fixedCamera = true;
  FrameInfo collected;
  ASSERT_TRUE(CollectFrameInfo(PanelEntriesOf(info), false, collected).ok);
  EXPECT_TRUE(collected.fixedCamera);
}

}  // namespace
