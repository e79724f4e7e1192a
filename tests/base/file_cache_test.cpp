// The file-stamped cache: kept while the file is unchanged, rebuilt when it changes.
#include "base/file_cache.h"

#include <gtest/gtest.h>

#include "test_paths.h"

namespace {

TEST(FileCacheTest, RebuildsWhenTheFileChangesSizeWithinTheSameModificationTime) {
  testing_support::TempDir dir;
  const std::filesystem::path path = dir.path() / "table.dat";
  testing_support::WriteFile(path, "abc");
  const auto time = std::filesystem::last_write_time(path);
  FileStampedCache<std::string, int> cache;
  int builds = 0;
  auto read = [&] {
    ++builds;
    return std::make_shared<const std::string>(testing_support::ReadFile(path));
  };
  EXPECT_EQ(*cache.Get(path.string(), 1, read), "abc");
  EXPECT_EQ(*cache.Get(path.string(), 1, read), "abc");
  EXPECT_EQ(builds, 1);
  cache.Get(path.string(), 2, read);  // another key is another value
  EXPECT_EQ(builds, 2);

  testing_support::WriteFile(path, "abcdef");
  std::filesystem::last_write_time(path, time);
  EXPECT_EQ(*cache.Get(path.string(), 1, read), "abcdef");
  EXPECT_EQ(builds, 3);

  std::filesystem::remove(path);  // a missing file is never served from the cache
  EXPECT_EQ(*cache.Get(path.string(), 1, read), "");
  EXPECT_EQ(builds, 4);
}

}  // namespace
