// Timing along the track on generated frames: a satellite's streak drawn at its true times, the frame taken
// through the automatic road, then searched with the camera's clock set wrong and among satellites on its path.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <sstream>

#include "astrometry/asterism.h"
#include "astrometry/catalogue.h"
#include "base/calendar.h"
#include "framegen/framegen.h"
#include "framegen/satellite_scene.h"
#include "satdb/satdb.h"
#include "session/auto_chain.h"
#include "session/frame_session.h"
#include "test_paths.h"

namespace fs = std::filesystem;
using testing_support::ReadFile;
using testing_support::SharedDataDir;
using testing_support::SourceDir;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

// A program directory with the asterism index and the visual list in its database.
struct Program {
  TempDir dir;
  AppState app;
  std::vector<TleRecord> visual;
  Program() {
    SilentTask task;
    app.appDir = dir.appDir();
    app.catalogPath = (SourceDir() / "data" / "bin8.dat").string();
    app.asterismPath = (dir.path() / "tri4t.dat").string();
    app.catalogueReady = BuildAsterismFile(app.catalogPath, app.asterismPath, task);
    fs::create_directories(dir.path() / "TLE");
    ImportTleFiles({(SharedDataDir() / "tle" / "celestrak_visual_2026-05-07_148obj.txt").string()}, -1, app.appDir,
                   task);
    for (const std::string& path : ListDatabaseFiles(app.appDir))
      if (TleRecord tle; ReadBestSet(path, MjdFromDate(2026, 5, 8, 0.0), tle)) visual.push_back(tle);
  }
};

// Renders the scene and runs the automatic road on it, about the known centre.
void RoadOf(const SatelliteScene& scene, Program& program, FrameState& frame) {
  std::vector<CatalogueRecord> records;
  ASSERT_TRUE(ReadCatalogueRecords(program.app.catalogPath, records));
  PutDecodedFrame(ToDecodedImage(RenderFrame(records, scene.drawing)), program.app, frame);
  ASSERT_TRUE(CollectFrameInfo(SceneEntries(scene, true), true, frame.info).ok);
  AutoChainOptions options;
  options.knownCentre = true;
  SilentTask task;
  const AutoChainResult result = RunAutoChain(program.app, frame, options, task);
  ASSERT_TRUE(result.success) << result.message;
}

// The element-set lines of a database file with the catalogue number replaced and the mean anomaly moved
// by the angle the satellite covers in leadSeconds; checksums made anew.
std::string ShiftedSet(const std::string& text, int number, double leadSeconds) {
  std::istringstream in(text);
  std::string line, out = "mName = TRAIN " + std::to_string(number) + "\r\n";
  while (std::getline(in, line)) {
    if (line.size() < 69 || (line[0] != '1' && line[0] != '2')) continue;
    line.resize(69);
    line.replace(2, 5, std::to_string(number));
    if (line[0] == '2') {
      const double revPerDay = std::stod(line.substr(52, 11));
      const double m =
          std::fmod(std::stod(line.substr(43, 8)) + revPerDay * 360.0 * leadSeconds / 86400.0 + 360.0, 360.0);
      char anomaly[9];
      std::snprintf(anomaly, sizeof anomaly, "%8.4f", m);
      line.replace(43, 8, anomaly);
    }
    line[68] = static_cast<char>('0' + ElementLineChecksum(line.substr(0, 68)));
    out += line + "\r\n";
  }
  return out;
}

}  // namespace

// Clocks from 10 s slow to 10 s fast with a stated error of 0.5 s: the offset comes back within 0.2 s, the
// satellite stays first, and the warning is given, in the candidate step and again with the report,
// exactly when the offset lies more than a second outside the stated error. Then the database holds three
// satellites on the drawn one's path: a copy of it, one 12 s ahead (7 s behind in the second run) and one
// more copy. The copies come first, marked as a group; the other follows unmarked, timed apart by its lead.
TEST(TrackTiming, ClockOffsetsAndTrainsOnGeneratedFrames) {
  ORVIA_REQUIRE_SHARED_FILE(SharedDataDir() / "tle" / "celestrak_visual_2026-05-07_148obj.txt");
  Program program;
  SilentTask task;
  for (const std::uint32_t seed : {7u, 12u}) {
    SatelliteScene scene;
    ASSERT_TRUE(MakeSatelliteScene(program.visual, SceneLimits{}, seed, scene));
    FrameState frame;
    RoadOf(scene, program, frame);
    if (HasFatalFailure()) return;
    FrameSession session(program.app, frame);
    for (const double offset : {-10.0, -2.5, 0.0, 0.4, 2.5, 6.0, 10.0}) {
      frame.info.startMjd = scene.startMjd - offset / 86400.0;  // the camera's clock, offset seconds wrong
      const CandidatesStep step = session.Candidates(CandidateFilter{}, task);
      ASSERT_FALSE(frame.satellites.candidates.rows.empty()) << seed << " " << offset;
      const CandidateRow& first = frame.satellites.candidates.rows.front();
      EXPECT_EQ(first.catalogNumber, scene.catalogNumber) << seed << " " << offset;
      ASSERT_TRUE(first.timing) << seed << " " << offset;
      EXPECT_NEAR(first.timing->offsetSeconds, offset, 0.2) << seed << " " << offset;
      EXPECT_NEAR(first.timing->exposureSeconds, scene.exposure, 0.2) << seed << " " << offset;
      const bool warned = !step.messages.empty() && step.messages.back().starts_with("Время кадра расходится");
      EXPECT_EQ(warned, offset < -1.0 || offset > 0.5 + 1.0)
          << seed << " " << offset << ": " << CandidateListText(first);
      // The report repeats the warning.
      EXPECT_TRUE(offset != 6.0 || session.IodReport(first.catalogNumber, "").messages == step.messages) << offset;
    }
    if (seed != 12u) continue;
    frame.info.startMjd = scene.startMjd;
    const std::string drawn = ReadFile(SatelliteFilePath(program.app.appDir, scene.catalogNumber));
    for (const double lead : {12.0, -7.0}) {
      fs::remove_all(program.dir.path() / "TLE");
      fs::create_directories(program.dir.path() / "TLE");
      for (const auto& [number, seconds] : {std::pair{90001, 0.0}, std::pair{90002, lead}, std::pair{90003, 0.0}})
        WriteFile(program.dir.path() / "TLE" / (std::to_string(number) + ".tle"), ShiftedSet(drawn, number, seconds));
      session.Candidates(CandidateFilter{}, task);
      const std::vector<CandidateRow>& rows = frame.satellites.candidates.rows;
      ASSERT_EQ(rows.size(), 3u) << lead;
      EXPECT_EQ(std::vector<int>({rows[0].catalogNumber, rows[1].catalogNumber, rows[2].catalogNumber}),
                std::vector<int>({90001, 90003, 90002}))
          << lead;
      EXPECT_EQ(std::vector<int>({rows[0].group, rows[1].group, rows[2].group}), std::vector<int>({1, 1, 0})) << lead;
      ASSERT_TRUE(rows[2].timing);
      EXPECT_NEAR(rows[2].timing->offsetSeconds - rows[0].timing->offsetSeconds, -lead, 0.2) << lead;
    }
  }
}
