// Timing along the track on generated frames: a satellite's streak drawn at its true times, the frame
// taken through the automatic road, then searched with the camera's clock set wrong by known amounts; and
// a satellite among others on its own path seconds ahead and behind, and a copy that moves with it.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
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

// A program directory with the asterism index and the given element-set files in its database.
struct Program {
  TempDir dir;
  AppState app;
  Program() {
    fs::create_directories(dir.path() / "TLE");
    SilentTask task;
    app.appDir = dir.appDir();
    app.catalogPath = (SourceDir() / "data" / "bin8.dat").string();
    app.asterismPath = (dir.path() / "tri4t.dat").string();
    app.catalogueReady = BuildAsterismFile(app.catalogPath, app.asterismPath, task);
  }
};

// The panel's entries of a scene with the camera's clock reading the true start minus clockSeconds.
PanelEntries EntriesWithClock(const SatelliteScene& scene, double clockSeconds) {
  PanelEntries e = SceneEntries(scene, true);
  const CalendarFields t = DateFromMjd(scene.startMjd - clockSeconds / 86400.0, 2026);
  char text[32];
  std::snprintf(text, sizeof text, "%02d.%02d.%04d", t.day, t.month, t.year);
  e.date = text;
  std::snprintf(text, sizeof text, "%02d:%02d:%04.1f", t.hour, t.minute, std::floor(t.seconds * 10.0f) / 10.0);
  e.time = text;
  return e;
}

// Renders the scene and runs the automatic road on it.
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
std::string ShiftedSet(const std::string& file, int number, double leadSeconds) {
  std::istringstream in(ReadFile(file));
  std::string line, out = "mName = TRAIN " + std::to_string(number) + "\r\n";
  char num[6];
  std::snprintf(num, sizeof num, "%05d", number);
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() < 69 || (line[0] != '1' && line[0] != '2')) continue;
    line.replace(2, 5, num);
    if (line[0] == '2') {
      const double revPerDay = std::stod(line.substr(52, 11));
      const double m = std::fmod(std::stod(line.substr(43, 8)) + revPerDay * 360.0 * leadSeconds / 86400.0 + 360.0, 360.0);
      char anomaly[9];
      std::snprintf(anomaly, sizeof anomaly, "%8.4f", m);
      line.replace(43, 8, anomaly);
    }
    line[68] = static_cast<char>('0' + ElementLineChecksum(line.substr(0, 68)));
    out += line + "\r\n";
  }
  return out;
}

std::vector<TleRecord> DatabaseSets(const std::string& appDir, double mjd) {
  std::vector<TleRecord> sets;
  for (const std::string& path : ListDatabaseFiles(appDir)) {
    TleRecord record;
    if (ReadBestSet(path, mjd, record)) sets.push_back(record);
  }
  return sets;
}

}  // namespace

// Clocks from 10 s slow to 10 s fast with a stated error of 0.5 s: the offset comes back within 0.2 s
// (the true start is known to the drawing), the satellite stays first, and the warning is given, in the
// candidate step and again with the report, exactly when the offset lies more than a second outside the
// stated error.
TEST(TrackTiming, ClockOffsetsRecoveredOnGeneratedFrames) {
  ORVIA_REQUIRE_SHARED_FILE(SharedDataDir() / "tle" / "celestrak_visual_2026-05-07_148obj.txt");
  Program program;
  ASSERT_TRUE(program.app.catalogueReady);
  SilentTask task;
  ImportTleFiles({(SharedDataDir() / "tle" / "celestrak_visual_2026-05-07_148obj.txt").string()}, -1,
                 program.app.appDir, task);
  const std::vector<TleRecord> satellites = DatabaseSets(program.app.appDir, MjdFromDate(2026, 5, 8, 0.0));
  for (const std::uint32_t seed : {7u, 12u}) {
    SatelliteScene scene;
    ASSERT_TRUE(MakeSatelliteScene(satellites, SceneLimits{}, seed, scene));
    FrameState frame;
    RoadOf(scene, program, frame);
    if (HasFatalFailure()) return;
    FrameSession session(program.app, frame);
    for (const double clock : {-10.0, -2.5, 0.0, 0.4, 2.5, 6.0, 10.0}) {
      ASSERT_TRUE(CollectFrameInfo(EntriesWithClock(scene, clock), true, frame.info).ok);
      const double offset = (scene.startMjd - frame.info.startMjd) * 86400.0;  // true start minus stated
      const CandidatesStep step = session.Candidates(CandidateFilter{}, task);
      ASSERT_FALSE(frame.satellites.candidates.rows.empty()) << seed << " " << clock;
      const CandidateRow& first = frame.satellites.candidates.rows.front();
      EXPECT_EQ(first.catalogNumber, scene.catalogNumber) << seed << " " << clock;
      ASSERT_TRUE(first.timing) << seed << " " << clock;
      EXPECT_NEAR(first.timing->offsetSeconds, offset, 0.2) << seed << " " << clock;
      EXPECT_NEAR(first.timing->exposureSeconds, scene.exposure, 0.2) << seed << " " << clock;
      const bool warned = !step.messages.empty() && step.messages.back().starts_with("Время кадра расходится");
      EXPECT_EQ(warned, offset < -1.0 || offset > 0.5 + 1.0) << seed << " " << clock << ": " << CandidateListText(first);
      if (clock == 6.0) {
        const IodStep report = session.IodReport(first.catalogNumber, "");
        ASSERT_TRUE(report.Ok());
        EXPECT_EQ(report.messages, std::vector<std::string>{step.messages.back()});
      }
    }
  }
}

// Three satellites on one path: the one drawn, one 12 s ahead of it (7 s behind in the second run) and
// a copy of it. With a stated error
// of 0.5 s the drawn one and its copy come first, marked as a group; the other follows, unmarked.
TEST(TrackTiming, TimingOrdersATrainAndGroupsCoMovingObjects) {
  ORVIA_REQUIRE_SHARED_FILE(SharedDataDir() / "tle" / "celestrak_visual_2026-05-07_148obj.txt");
  TempDir source;
  SilentTask task;
  ImportTleFiles({(SharedDataDir() / "tle" / "celestrak_visual_2026-05-07_148obj.txt").string()}, -1,
                 source.appDir(), task);
  const std::vector<TleRecord> satellites = DatabaseSets(source.appDir(), MjdFromDate(2026, 5, 8, 0.0));
  for (const double lead : {12.0, -7.0}) {
    SatelliteScene scene;
    ASSERT_TRUE(MakeSatelliteScene(satellites, SceneLimits{}, 3, scene));
    Program program;
    const std::string drawn = SatelliteFilePath(source.appDir(), scene.catalogNumber);
    WriteFile(program.dir.path() / "TLE" / "90001.tle", ShiftedSet(drawn, 90001, 0.0));
    WriteFile(program.dir.path() / "TLE" / "90002.tle", ShiftedSet(drawn, 90002, lead));
    WriteFile(program.dir.path() / "TLE" / "90003.tle", ShiftedSet(drawn, 90003, 0.0));
    FrameState frame;
    RoadOf(scene, program, frame);
    if (HasFatalFailure()) return;
    const std::vector<CandidateRow>& rows = frame.satellites.candidates.rows;
    ASSERT_EQ(rows.size(), 3u) << lead;
    for (const CandidateRow& row : rows) std::printf("%s\n", CandidateListText(row).c_str());
    EXPECT_EQ(rows[0].catalogNumber, 90001) << lead;
    EXPECT_EQ(rows[1].catalogNumber, 90003) << lead;
    EXPECT_EQ(rows[2].catalogNumber, 90002) << lead;
    EXPECT_EQ(rows[0].group, 1);
    EXPECT_EQ(rows[1].group, 1);
    EXPECT_EQ(rows[2].group, 0);
    ASSERT_TRUE(rows[2].timing);
    EXPECT_NEAR(rows[2].timing->offsetSeconds - rows[0].timing->offsetSeconds, -lead, 0.2) << lead;
  }
}
