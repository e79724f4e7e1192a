#include "session/startup.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "astrometry/asterism.h"
#include "astrometry/catalogue.h"
#include "test_paths.h"

namespace fs = std::filesystem;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

struct Fixture {
  TempDir dir;
  AppState app;
  Fixture() {
    app.appDir = dir.appDir();
    app.logFile.Open(app.appDir + "log.txt");
  }
  std::string Log() {
    app.logFile.Close();
    return ReadFile(dir.path() / "log.txt");
  }
};

TEST(PrepareWorkingFiles, MovesTheCatalogueOnTheFirstStartOnly) {
  Fixture f;
  WriteFile(f.dir.path() / "bin8.dat", std::string(120, 'x'));
  PrepareResult r = PrepareWorkingFiles(f.app, {});
  EXPECT_TRUE(r.ready);
  EXPECT_TRUE(f.app.catalogueReady);
  EXPECT_TRUE(r.message.empty());
  EXPECT_TRUE(fs::is_directory(f.dir.path() / "TLE"));
  EXPECT_TRUE(fs::is_directory(f.dir.path() / "program_files"));
  EXPECT_FALSE(fs::exists(f.dir.path() / "bin8.dat"));
  EXPECT_EQ(ReadFile(f.dir.path() / "program_files" / "bin8.dat"), std::string(120, 'x'));
  const std::string source = (f.dir.path() / "bin8.dat").string();
  const std::string target = (f.dir.path() / "program_files" / "bin8.dat").string();
  EXPECT_EQ(f.Log(), "copy1 " + source + target + "\r\n");

  // A second start finds it in place and logs nothing.
  AppState again;
  again.appDir = f.dir.appDir();
  again.logFile.Open(again.appDir + "log.txt");
  EXPECT_TRUE(PrepareWorkingFiles(again, {}).ready);
  again.logFile.Close();
  EXPECT_EQ(ReadFile(f.dir.path() / "log.txt"), "");
}

TEST(PrepareWorkingFiles, WithoutACatalogueTheProgramStaysNotReady) {
  Fixture f;
  PrepareResult r = PrepareWorkingFiles(f.app, {});
  EXPECT_FALSE(r.ready);
  EXPECT_FALSE(f.app.catalogueReady);
  EXPECT_EQ(r.message, "Не обнаружен файл каталога. Работа невозможна.");
}

TEST(PrepareWorkingFiles, BuildsTheMissingAsterismIndexAndReportsItsFailure) {
  Fixture f;
  WriteFile(f.dir.path() / "program_files" / "bin8.dat", std::string(24, 's'));
  std::string builtFrom, builtTo;
  StartUpHooks hooks;
  hooks.buildAsterisms = [&](const std::string& from, const std::string& to) {
    builtFrom = from;
    builtTo = to;
    return false;
  };
  PrepareResult r = PrepareWorkingFiles(f.app, hooks);
  EXPECT_FALSE(r.ready);
  EXPECT_EQ(r.message, "Файл астеризмов создать не удалось.");
  EXPECT_EQ(builtFrom, f.app.catalogPath);
  EXPECT_EQ(builtTo, f.app.asterismPath);

  // With the index built the builder is not called again.
  hooks.buildAsterisms = [&](const std::string&, const std::string& to) {
    WriteFile(to, std::string(kAsterismBlockBytes, '\0'));
    return true;
  };
  EXPECT_TRUE(PrepareWorkingFiles(f.app, hooks).ready);
  bool called = false;
  hooks.buildAsterisms = [&](const std::string&, const std::string&) { return called = true; };
  EXPECT_TRUE(PrepareWorkingFiles(f.app, hooks).ready);
  EXPECT_FALSE(called);
}

TEST(PrepareWorkingFiles, MovesTheHelpFileAndItsPicturesIntoProgramFiles) {
  Fixture f;
  WriteFile(f.dir.path() / "program_files" / "bin8.dat", std::string(24, 's'));
  WriteFile(f.dir.path() / kHelpFileName, "<html>help</html>");
  WriteFile(f.dir.path() / kManualFolder / "overview.png", "picture");
  EXPECT_TRUE(PrepareWorkingFiles(f.app, {}).ready);
  EXPECT_FALSE(fs::exists(f.dir.path() / kHelpFileName));
  EXPECT_EQ(ReadFile(f.app.helpPath), "<html>help</html>");
  EXPECT_EQ(f.app.helpPath, ProgramFilePath(f.app, kHelpFileName));
  // The page's pictures keep their place beside it.
  EXPECT_EQ(ReadFile(fs::path(f.app.helpPath).parent_path() / kManualFolder / "overview.png"), "picture");
  EXPECT_FALSE(fs::exists(f.dir.path() / kManualFolder));
}

TEST(PrepareWorkingFiles, DamagedCatalogueIsRefusedDamagedIndexRebuiltAndLeftoversRemoved) {
  Fixture f;
  const std::string catalogue = ReadFile(testing_support::SourceDir() / "data" / "bin8.dat");
  ASSERT_EQ(catalogue.size() % kCatalogueRecordBytes, 0u);
  WriteFile(f.dir.path() / "bin8.dat", catalogue);
  const fs::path tle = f.dir.path() / "TLE";
  WriteFile(tle / ".orvia-0123456789abcdef-7.tmp", "half");  // a killed run's temporary files
  WriteFile(tle / "25544.tle.tmp", "half");
  WriteFile(tle / "readme.tmp", "the user's");
  int builds = 0;
  StartUpHooks hooks;
  hooks.buildAsterisms = [&](const std::string&, const std::string& to) {
    ++builds;
    WriteFile(to, std::string(2 * kAsterismBlockBytes, '\0'));
    return true;
  };
  ASSERT_TRUE(PrepareWorkingFiles(f.app, hooks).ready);
  EXPECT_EQ(builds, 1);
  EXPECT_EQ(ReadFile(f.app.catalogPath), catalogue);
  EXPECT_FALSE(fs::exists(tle / ".orvia-0123456789abcdef-7.tmp"));
  EXPECT_FALSE(fs::exists(tle / "25544.tle.tmp"));
  EXPECT_TRUE(fs::exists(tle / "readme.tmp"));

  // An index cut inside a block, or cut at a block boundary, is rebuilt.
  for (const std::size_t size : {std::size_t{kAsterismBlockBytes} + 100, std::size_t{kAsterismBlockBytes}}) {
    WriteFile(f.app.asterismPath, std::string(size, '\0'));
    EXPECT_TRUE(PrepareWorkingFiles(f.app, hooks).ready);
  }
  EXPECT_EQ(builds, 3);
  EXPECT_TRUE(PrepareWorkingFiles(f.app, hooks).ready);
  EXPECT_EQ(builds, 3);

  // A catalogue cut inside a record, or at a record boundary, is refused with the missing-catalogue message.
  const std::string refused = "Не обнаружен файл каталога. Работа невозможна.";
  for (const std::size_t size : {catalogue.size() - 5, catalogue.size() - 120}) {
    WriteFile(f.app.catalogPath, catalogue.substr(0, size));
    const PrepareResult r = PrepareWorkingFiles(f.app, hooks);
    EXPECT_FALSE(r.ready);
    EXPECT_EQ(r.message, refused);
  }
  // A whole copy beside the program replaces the damaged one; a catalogue placed without its record
  // (an older version's) is accepted, and the index built from another catalogue is rebuilt.
  WriteFile(f.dir.path() / "bin8.dat", catalogue);
  EXPECT_TRUE(PrepareWorkingFiles(f.app, hooks).ready);
  EXPECT_EQ(ReadFile(f.app.catalogPath), catalogue);
  EXPECT_EQ(builds, 3);
  fs::remove(CatalogueStampPath(f.app));
  WriteFile(f.app.catalogPath, catalogue.substr(0, catalogue.size() - 120));
  EXPECT_TRUE(PrepareWorkingFiles(f.app, hooks).ready);
  EXPECT_EQ(builds, 4);
}

TEST(WithTrailingSeparator, AddsExactlyOne) {
  const char sep = fs::path::preferred_separator;
  EXPECT_EQ(WithTrailingSeparator("/a/b"), std::string("/a/b") + sep);
  EXPECT_EQ(WithTrailingSeparator(std::string("/a/b") + sep + sep), std::string("/a/b") + sep);
}

}  // namespace
