// Identification of real satellites on frames rendered by an independent program from real element sets:
// open the frame, type its circumstances, mark stars, identify them, mark and measure the track, search
// the database imported from the same public lists, and compare with the renderer's truth: the true
// satellite ranks first, its drawn trajectory runs along the streak, and the reported ends agree.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include "astrometry/asterism.h"
#include "astrometry/identify.h"
#include "astrometry/track.h"
#include "base/calendar.h"
#include "frameinfo/frame_info.h"
#include "frameinfo/iod.h"
#include "image/decode.h"
#include "image/detection.h"
#include "image/raster.h"
#include "orbit/candidates.h"
#include "orbit/trajectories.h"
#include "satdb/satdb.h"
#include "session/app_state.h"
#include "session/frame_session.h"
#include "sky/angles.h"
#include "streak_truth.h"
#include "test_paths.h"

namespace fs = std::filesystem;
using testing_support::ReadFile;
using testing_support::ReadStreakTruth;
using testing_support::StreakTruth;
using testing_support::SharedDataDir;
using testing_support::SourceDir;
using testing_support::TempDir;

namespace {

constexpr double kDeg = 3.14159265358979 / 180.0;

// The numbers of the renderer's truth a test needs, read from its JSON file by key.
// What the user types: the values after the labels of the circumstances file.
PanelEntries ReadCircumstances(const fs::path& path) {
  std::istringstream in(ReadFile(path));
  std::map<std::string, std::string> values;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    const std::size_t cut = line.find_last_of(' ');
    values[line.substr(0, line.find_first_of(" [")) + (line.find("error") != std::string::npos ? "E" : "")] =
        line.substr(cut + 1);
  }
  PanelEntries e;
  e.date = values["Date"];
  e.time = values["UT"];
  e.utError = values["UTE"];
  e.exposure = values["Exposure"];
  // West and south are chosen with the panel's E/W and N/S switches, the value typed without its sign.
  e.longitude = values["Longitude"];
  e.latitude = values["Latitude"];
  e.ra = values["RA"];  // the frame centre, when the observer gives it
  e.dec = values["DEC"];
  e.field = values["Field"];
  e.west = e.longitude.starts_with('-');
  e.south = e.latitude.starts_with('-');
  if (e.west) e.longitude.erase(0, 1);
  if (e.south) e.latitude.erase(0, 1);
  return e;
}

// A catalogue star drawn on the frame.
struct DrawnStar {
  double vmag = 0, x = 0, y = 0;
};

std::vector<DrawnStar> ReadStars(const fs::path& path) {
  std::istringstream in(ReadFile(path));
  std::string line;
  std::getline(in, line);
  std::vector<DrawnStar> stars;
  while (std::getline(in, line)) {
    double hip, vmag, ra, dec, x, y;
    if (std::sscanf(line.c_str(), "%lf,%lf,%lf,%lf,%lf,%lf", &hip, &vmag, &ra, &dec, &x, &y) == 6)
      stars.push_back({vmag, x, y});
  }
  std::sort(stars.begin(), stars.end(), [](const DrawnStar& a, const DrawnStar& b) { return a.vmag < b.vmag; });
  return stars;
}

// Distance of a point from the line through two others, pixels.
double DistanceFromLine(double x, double y, double x1, double y1, double x2, double y2) {
  return std::fabs((x2 - x1) * (y1 - y) - (x1 - x) * (y2 - y1)) / std::hypot(x2 - x1, y2 - y1);
}

// Distance of a point from a polyline whose first and last pieces run on beyond its ends, pixels.
double DistanceFromPath(double x, double y, const std::vector<std::pair<double, double>>& path) {
  double best = 1e9;
  for (std::size_t i = 0; i + 1 < path.size(); ++i) {
    const auto [x1, y1] = path[i];
    const auto [x2, y2] = path[i + 1];
    const double len2 = (x2 - x1) * (x2 - x1) + (y2 - y1) * (y2 - y1);
    double f = len2 > 0 ? ((x - x1) * (x2 - x1) + (y - y1) * (y2 - y1)) / len2 : 0.0;
    if (i > 0) f = std::max(f, 0.0);
    if (i + 2 < path.size()) f = std::min(f, 1.0);
    best = std::min(best, std::hypot(x - (x1 + f * (x2 - x1)), y - (y1 + f * (y2 - y1))));
  }
  return best;
}

// Right ascension and declination (degrees) of an IOD line in angle format 2 (HHMMmmm, +DDMMmm), read by
// column.
std::pair<double, double> IodPositionDeg(const std::string& line) {
  const auto number = [&](int first, int last) { return std::stod(line.substr(first - 1, last - first + 1)); };
  const double raDeg = 15.0 * (number(48, 49) + (number(50, 51) + number(52, 54) / 1000.0) / 60.0);
  const double decDeg =
      (line[54] == '-' ? -1.0 : 1.0) * (number(56, 57) + (number(58, 59) + number(60, 61) / 100.0) / 60.0);
  return {raDeg, decDeg};
}

// The asterism index and the database imported from both public lists, made once for the whole program
// on first use.
struct SharedFiles {
  SharedFiles() {
    fs::create_directories(dir.path() / "TLE");
    const fs::path tle = SharedDataDir() / "tle";
    SilentTask task;
    imported = ImportTleFiles({(tle / "celestrak_active_2026-05-07_15347obj.txt").string(),
                               (tle / "celestrak_visual_2026-05-07_148obj.txt").string()},
                              -1, dir.appDir(), task);
    asterismPath = (dir.path() / "tri4t.dat").string();
    built = BuildAsterismFile((SourceDir() / "data" / "bin8.dat").string(), asterismPath, task);
  }
  TempDir dir;
  TleImportResult imported;
  std::string asterismPath;
  bool built = false;
};

const SharedFiles& Shared() {
  static const SharedFiles files;
  return files;
}

// One user's session on a frame, through the calls the windows make.
struct Session {
  AppState app;
  FrameState frame;
  SilentTask task;

  // Opens the frame, types the circumstances, clicks on the brightest stars that stand apart from others
  // and from the streak, identifies, clicks near both streak ends and measures the track.
  void RunToMeasuredTrack(const std::string& appDir, const fs::path& image, const PanelEntries& entries,
                          const std::vector<DrawnStar>& stars, double x1, double y1, double x2, double y2) {
    app.appDir = appDir;
    app.catalogPath = (SourceDir() / "data" / "bin8.dat").string();
    app.asterismPath = Shared().asterismPath;
    app.catalogueReady = true;
    DecodedImage decoded;
    ASSERT_TRUE(DecodeFrameFile(image.string(), decoded));
    frame.frameOpen = true;
    frame.imageWidth = static_cast<std::int16_t>(decoded.width);
    frame.imageHeight = static_cast<std::int16_t>(decoded.height);
    frame.brightness = MakeBrightness(decoded);
    ApplyFrameSize(frame, app.frameSizes);

    const CollectResult collected = CollectFrameInfo(entries, true, frame.info);
    ASSERT_TRUE(collected.ok) << collected.message;

    for (const DrawnStar& s : stars) {
      if (frame.starMarks.size() == 20) break;
      if (s.x < 40 || s.y < 40 || s.x > decoded.width - 40 || s.y > decoded.height - 40) continue;
      if (DistanceFromLine(s.x, s.y, x1, y1, x2, y2) < 30) continue;
      bool crowded = false;
      for (const DrawnStar& o : stars) crowded = crowded || (&o != &s && std::hypot(o.x - s.x, o.y - s.y) < 20);
      if (!crowded)
        DetectStar(MarkingOf(frame), frame.starMarks, app.logFile, static_cast<int>(std::lround(s.x)),
                   static_cast<int>(std::lround(s.y)), true);
    }
    ASSERT_GE(frame.starMarks.size(), 8u);

    const IdentificationInput input = IdentificationInputOf(frame, app);
    const IdentificationResult id = IdentifyStars(input, true, task);
    ASSERT_TRUE(id.success) << (id.messages.empty() ? "" : id.messages[0]);
    frame.plate = id.solution;

    ASSERT_TRUE(DetectTrackEnd(MarkingOf(frame), frame.trackEnds, app.logFile, static_cast<int>(std::lround(x1)),
                               static_cast<int>(std::lround(y1)), true)
                    .found);
    ASSERT_TRUE(DetectTrackEnd(MarkingOf(frame), frame.trackEnds, app.logFile, static_cast<int>(std::lround(x2)),
                               static_cast<int>(std::lround(y2)), true)
                    .found);
    ASSERT_EQ(frame.trackEnds.count, 2);
    const TrackMeasurement measured = MeasureTrack(TrackFrameOf(frame, app), frame.trackEnds, task);
    ASSERT_TRUE(measured.refined) << measured.text;
  }

  CandidateSearchInput SearchInput() const {
    CandidateSearchInput search;
    search.appDir = app.appDir;
    search.end1 = {frame.trackEnds[1].ra, frame.trackEnds[1].dec};
    search.end2 = {frame.trackEnds[2].ra, frame.trackEnds[2].dec};
    search.window = MakeTrackWindow(frame.info);
    search.latitudeRad = frame.info.latitudeRad;
    search.longitudeRad = frame.info.longitudeRad;
    return search;
  }

  TrajectoryCanvas Canvas() const {
    return {frame.plate.working, frame.imageWidth, frame.imageHeight, {}};
  }
};

class StreakFrames : public ::testing::TestWithParam<int> {};

TEST_P(StreakFrames, TrueSatelliteIsFirstAndItsTrajectoryRunsAlongTheStreak) {
  ORVIA_REQUIRE_SHARED_FILE(SharedDataDir() / "streaks");
  ORVIA_REQUIRE_SHARED_FILE(SharedDataDir() / "tle" / "celestrak_active_2026-05-07_15347obj.txt");
  ASSERT_TRUE(Shared().built);
  ASSERT_GT(Shared().imported.filesCreated, 15000);
  const std::string name = "case_s0" + std::to_string(GetParam());
  const fs::path caseDir = SharedDataDir() / "streaks" / name;
  const StreakTruth truth = ReadStreakTruth(caseDir / (name + "_truth.json"));
  ASSERT_GT(truth.norad, 0);

  // What the user types, with where the camera pointed as the observer knows it: to the whole degree.
  PanelEntries entries = ReadCircumstances(caseDir / (name + "_circumstances.txt"));
  entries.ra = std::to_string(std::lround(truth.centreRa));
  entries.dec = std::to_string(std::lround(truth.centreDec));
  entries.field = std::to_string(std::lround(truth.fieldWidth));
  Session session;
  ASSERT_NO_FATAL_FAILURE(session.RunToMeasuredTrack(Shared().dir.appDir(), caseDir / (name + ".jpg"), entries,
                                                     ReadStars(caseDir / (name + "_stars.csv")), truth.x1, truth.y1,
                                                     truth.x2, truth.y2));
  FrameState& frame = session.frame;
  AppState& app = session.app;
  SilentTask& task = session.task;
  const TrackPoint& end1 = frame.trackEnds[1];
  const TrackPoint& end2 = frame.trackEnds[2];
  const double error1 = AngularSeparation(end1.ra, end1.dec, truth.ra1 * kDeg, truth.dec1 * kDeg) / kDeg;
  const double error2 = AngularSeparation(end2.ra, end2.dec, truth.ra2 * kDeg, truth.dec2 * kDeg) / kDeg;
  // The automatic end detection places an end on the last scan-line point above its threshold, which
  // lies one to two pixels beyond the streak's true end; at 20-60"/px that is up to about 0.015 degrees.
  EXPECT_LT(error1, 0.02);
  EXPECT_LT(error2, 0.02);

  // Search.
  const CandidateSearchInput search = session.SearchInput();
  CandidateList list;
  int changes = 0;
  const CandidateSearchResult result =
      CandidateSearch(search, CandidateFilter{}, list, task, [&](const CandidateList&) { ++changes; });
  EXPECT_EQ(result.message, "");
  ASSERT_FALSE(list.rows.empty());
  EXPECT_EQ(changes, static_cast<int>(list.rows.size()));
  const CandidateRow& first = list.rows.front();
  EXPECT_EQ(first.catalogNumber, truth.norad) << CandidateRowText(first);
  std::printf("%s: %s (of %zu)\n", name.c_str(), CandidateRowText(first).c_str(), list.rows.size());

  // Its trajectory as a click on the row draws it: along the renderer's own predicted path, and so along
  // the streak, which is the straight line between the true ends (the path bows away from that line by
  // up to a few pixels on some frames; the truth file gives the amount).
  const TleRecord& tle = list.records[static_cast<std::size_t>(first.recordIndex) - 1].tle;
  const std::vector<TrajectoryMark> marks = CandidateTrajectory(tle, frame.info, session.Canvas(), app.palette);
  ASSERT_GE(marks.size(), 4u);
  double worstPath = 0, worstLine = 0;
  for (const TrajectoryMark& mark : marks) {
    const double x = mark.x, y = mark.y;
    worstPath = std::max(worstPath, DistanceFromPath(x, y, truth.path));
    worstLine = std::max(worstLine, DistanceFromLine(x, y, truth.x1, truth.y1, truth.x2, truth.y2));
  }
  EXPECT_LT(worstPath, 2.0);
  EXPECT_LT(worstLine, 2.0 + truth.bow);

  // The report of the two measured ends parses back to them.
  IodInput iod;
  iod.catalogueNumber = tle.catalogNumber;
  iod.designator = tle.designator;
  iod.yearGuess = frame.info.startTime.year;
  iod.positions = {{frame.info.startMjd, search.end1},
                   {frame.info.startMjd + frame.info.exposure / 86400.0, search.end2}};
  const IodResult report = WriteIodReport(app.appDir, iod);
  ASSERT_TRUE(report.ok) << report.message;
  std::istringstream lines(ReadFile(report.path));
  std::string line;
  std::vector<std::pair<double, double>> parsed;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    ASSERT_EQ(line.size(), 77u) << line;
    EXPECT_EQ(std::stoi(line.substr(0, 5)), truth.norad);
    parsed.push_back(IodPositionDeg(line));
  }
  ASSERT_EQ(parsed.size(), 2u);
  const TrackPoint* ends[2] = {&end1, &end2};
  for (int i = 0; i < 2; ++i) {
    // RA is truncated to 0.001 min of time (0.00025 degrees), DEC rounded to 0.01' (0.000083 degrees).
    double dRa = parsed[i].first - ends[i]->ra / kDeg;
    dRa -= 360.0 * std::round(dRa / 360.0);
    EXPECT_LE(dRa, 1e-9);
    EXPECT_GT(dRa, -0.00025 - 1e-9);
    EXPECT_LE(std::fabs(parsed[i].second - ends[i]->dec / kDeg), 0.01 / 120.0 + 1e-9);
  }
  std::printf(
      "%s: ends off the truth by %.4f and %.4f deg; trajectory within %.2f px of the path, %.2f px of the "
      "line (bow %.2f px)\n",
      name.c_str(), error1, error2, worstPath, worstLine, truth.bow);
}

INSTANTIATE_TEST_SUITE_P(RealSatellites, StreakFrames, ::testing::Range(901, 909));

// The demo frame: drawn by the project's frame generator with the streak of PODSAT's public element set;
// the numbers its README quotes.
TEST(DemoFrame, PodsatIsFoundFromItsOwnElementSet) {
  ASSERT_TRUE(Shared().built);
  const fs::path demo = SourceDir() / "data" / "demo";
  TempDir dir;
  fs::create_directories(dir.path() / "TLE");
  SilentTask silent;
  ImportTleFiles({(demo / "podsat_2026-05-07.tle").string()}, -1, dir.appDir(), silent);

  // The generator's truth file: "streak x1 y1 x2 y2" and "star number x y magnitude" lines.
  std::istringstream truth(ReadFile(demo / "demo_podsat_truth.txt"));
  std::vector<DrawnStar> stars;
  double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  for (std::string word; truth >> word;) {
    if (word == "streak") truth >> x1 >> y1 >> x2 >> y2;
    if (word == "star") {
      DrawnStar s;
      double number;
      truth >> number >> s.x >> s.y >> s.vmag;
      stars.push_back(s);
    }
  }
  std::sort(stars.begin(), stars.end(), [](const DrawnStar& a, const DrawnStar& b) { return a.vmag < b.vmag; });
  ASSERT_GT(x1, 0);

  Session session;
  ASSERT_NO_FATAL_FAILURE(session.RunToMeasuredTrack(dir.appDir(), demo / "demo_podsat.jpg",
                                                     ReadCircumstances(demo / "demo_podsat_circumstances.txt"), stars,
                                                     x1, y1, x2, y2));
  CandidateList list;
  CandidateSearch(session.SearchInput(), {}, list, silent, {});
  ASSERT_EQ(list.rows.size(), 1u);
  EXPECT_EQ(list.rows[0].catalogNumber, 43229);
  EXPECT_LT(list.rows[0].rDeg, 0.05);
  EXPECT_LT(list.rows[0].uDeg, 0.5f);
  const std::vector<TrajectoryMark> marks =
      CandidateTrajectory(list.records[0].tle, session.frame.info, session.Canvas(), session.app.palette);
  ASSERT_GE(marks.size(), 10u);
  for (const TrajectoryMark& m : marks) {
    EXPECT_LT(DistanceFromLine(m.x, m.y, x1, y1, x2, y2), 2.0);
  }
  std::printf("demo: %s; %zu marks from (%.0f, %.0f) to (%.0f, %.0f) px, %s to %s\n",
              CandidateRowText(list.rows[0]).c_str(), marks.size(), marks.front().x, marks.front().y, marks.back().x,
              marks.back().y, marks.front().timeText.c_str(), marks.back().timeText.c_str());
}

}  // namespace
