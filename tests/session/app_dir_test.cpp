#include "session/app_dir.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "test_paths.h"

namespace fs = std::filesystem;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

TEST(SeedApplicationDirectory, NewDirectoryGetsCopiesAndAUsedOneKeepsItsFiles) {
  TempDir dir;
  const fs::path build = dir.path() / "build";
  WriteFile(build / "bin8.dat", "catalogue");                       // not yet moved by a first start
  WriteFile(build / "program_files" / "Orviahelp.html", "manual");  // moved by a start in build/
  WriteFile(build / "program_files" / "manual" / "menus.png", "picture 1");
  WriteFile(build / "program_files" / "manual" / "panel.png", "picture 2");
  const fs::path home = dir.path() / "home" / "Orvia";
  SeedResult r = SeedApplicationDirectory(home.string(), build.string());
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.copied, 4);  // the page comes with its pictures
  EXPECT_EQ(ReadFile(home / "manual" / "panel.png"), "picture 2");
  EXPECT_EQ(ReadFile(home / "bin8.dat"), "catalogue");
  EXPECT_EQ(ReadFile(home / "Orviahelp.html"), "manual");
  EXPECT_TRUE(fs::exists(build / "bin8.dat"));  // the shipped files stay

  // After start-up moved them into program_files/, and the user's database grew, nothing is copied again.
  fs::create_directories(home / "program_files");
  fs::rename(home / "bin8.dat", home / "program_files" / "bin8.dat");
  fs::rename(home / "Orviahelp.html", home / "program_files" / "Orviahelp.html");
  fs::rename(home / "manual", home / "program_files" / "manual");
  WriteFile(home / "TLE" / "25544.tle", "sets");
  WriteFile(build / "bin8.dat", "a newer build");
  r = SeedApplicationDirectory(home.string(), build.string());
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.copied, 0);
  EXPECT_EQ(ReadFile(home / "program_files" / "bin8.dat"), "catalogue");
  EXPECT_FALSE(fs::exists(home / "bin8.dat"));
  EXPECT_EQ(ReadFile(home / "TLE" / "25544.tle"), "sets");
}

TEST(SeedApplicationDirectory, APathThatCannotBeADirectoryIsReported) {
  TempDir dir;
  WriteFile(dir.path() / "file", "x");
  const SeedResult r = SeedApplicationDirectory((dir.path() / "file" / "Orvia").string(), dir.path().string());
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.message.find("Не удалось создать папку программы"), std::string::npos);
}

}  // namespace
