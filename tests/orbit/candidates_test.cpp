#include "orbit/candidates.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "base/task_control.h"
#include "test_paths.h"

using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

constexpr double kDeg = 3.14159265358979 / 180.0;

J2000Direction Deg(double raDeg, double decDeg) {
  return {raDeg * kDeg, decDeg * kDeg};
}

FrameInfo Exposure(double exposureSeconds, float utErrorSeconds) {
  FrameInfo info;
  info.startMjd = 61168.7573981481;
  info.exposure = exposureSeconds;
  info.utError = utErrorSeconds;
  return info;
}

// A measured track on the equator from RA 10 to 12 degrees.
MeasuredTrack EquatorTrack() {
  MeasuredTrack track;
  track.end1 = Deg(10, 0);
  track.end2 = Deg(12, 0);
  track.pole = *TrackPole(track.end1, track.end2);
  return track;
}

// Directions along the great circle through (ra0, 0) inclined by inclinationDeg to the equator, at the
// given angles along it from that node, degrees.
std::vector<J2000Direction> InclinedPath(double ra0Deg, double inclinationDeg, std::vector<double> alongDeg) {
  std::vector<J2000Direction> path;
  for (double s : alongDeg) {
    const double x = std::cos(s * kDeg), y = std::sin(s * kDeg) * std::cos(inclinationDeg * kDeg),
                 z = std::sin(s * kDeg) * std::sin(inclinationDeg * kDeg);
    path.push_back({ra0Deg * kDeg + std::atan2(y, x), std::asin(z)});
  }
  return path;
}

}  // namespace

TEST(MatchSamples, FiveSecondStepsWithHalvesRoundedToEven) {
  // 10 s exposure: 10 / 5 + 1 = 3 steps, samples at 0, 5, 10 and 15 s.
  const std::vector<double> times = MatchSampleTimes(MakeTrackWindow(Exposure(10.0, 0.0f)));
  ASSERT_EQ(times.size(), 4u);
  EXPECT_NEAR((times[3] - times[0]) * 86400.0, 15.0, 1e-6);
  // 2.5 s: 1.5 -> 2; 7.5 s: 2.5 -> 2; 12.5 s: 3.5 -> 4; 10 s + 1 s clock error: 3.2 -> 3.
  EXPECT_EQ(MatchStepCount(MakeTrackWindow(Exposure(2.5, 0.0f))), 2);
  EXPECT_EQ(MatchStepCount(MakeTrackWindow(Exposure(7.5, 0.0f))), 2);
  EXPECT_EQ(MatchStepCount(MakeTrackWindow(Exposure(12.0, 0.5f))), 4);
  EXPECT_EQ(MatchStepCount(MakeTrackWindow(Exposure(10.0, 1.0f))), 3);
}

TEST(TrackPoleTest, PointsNorthAndIsMissingForCoincidentEnds) {
  // Moving west along the equator gives the same pole as moving east.
  const auto pole = TrackPole(Deg(12, 0), Deg(10, 0));
  ASSERT_TRUE(pole);
  EXPECT_NEAR(pole->z, 1.0, 1e-12);
  EXPECT_FALSE(TrackPole(Deg(10, 5), Deg(10, 5)));
}

TEST(MatchPathTest, DirectionNearAndCrossTrackTests) {
  const MeasuredTrack track = EquatorTrack();
  const CandidateFilter filter;

  // Along the measured circle, 0.3 degrees north of it and parallel in direction.
  std::vector<J2000Direction> parallel;
  for (double ra : {9.5, 10.5, 11.5, 12.5}) parallel.push_back(Deg(ra, 0.3));
  TrackMatch m = MatchPath(parallel, track, filter);
  EXPECT_TRUE(m.match);
  EXPECT_NEAR(m.rDeg, 0.3, 1e-9);
  EXPECT_LT(m.uDeg, 0.31f);

  // Crossing at 20 degrees exactly through end 1: rejected by the direction test.
  m = MatchPath(InclinedPath(10, 20, {-1, 0, 1, 2}), track, filter);
  EXPECT_FALSE(m.match);
  EXPECT_NEAR(m.uDeg, 20.0f, 1e-4f);

  // On the measured circle but 11 degrees beyond the ends at every sample: rejected by the near test.
  std::vector<J2000Direction> far;
  for (double ra : {23.0, 24.0, 25.0, 26.0}) far.push_back(Deg(ra, 0));
  EXPECT_FALSE(MatchPath(far, track, filter).match);

  // Only the first sample comes near an end; it takes no part in the near test.
  std::vector<J2000Direction> leaving = {Deg(12, 0), Deg(23.5, 0), Deg(24, 0), Deg(25, 0)};
  EXPECT_FALSE(MatchPath(leaving, track, filter).match);
  leaving[1] = Deg(21.5, 0);  // 9.5 degrees from end 2
  EXPECT_TRUE(MatchPath(leaving, track, filter).match);

  // Inclined by 5 degrees through the middle of the track: R is the largest latitude, at the last sample.
  m = MatchPath(InclinedPath(11, 5, {-2, 0, 2, 4}), track, filter);
  EXPECT_TRUE(m.match);
  EXPECT_NEAR(m.uDeg, 5.0f, 1e-4f);
  EXPECT_NEAR(m.rDeg, std::asin(std::sin(4 * kDeg) * std::sin(5 * kDeg)) / kDeg, 1e-9);
}

TEST(CandidateRanking, ScoreOrderAndRowText) {
  EXPECT_NEAR(CandidateScore(1.0, 45.0f), 0.5, 1e-6);
  EXPECT_EQ(CandidateScore(2.0, 0.01f), 0.0);  // U must exceed 0.01 degrees
  EXPECT_GT(CandidateScore(2.0, 0.011f), 0.0);

  std::vector<CandidateRow> rows(5);
  const double scores[] = {0.5, 0.2, 0.0, 0.2, 0.0};
  for (int i = 0; i < 5; ++i) {
    rows[static_cast<std::size_t>(i)].recordIndex = static_cast<std::int16_t>(i + 1);
    rows[static_cast<std::size_t>(i)].score = scores[i];
  }
  SortCandidateRows(rows);
  std::vector<int> order;
  for (const CandidateRow& r : rows) order.push_back(r.recordIndex);
  EXPECT_EQ(order, (std::vector<int>{3, 5, 2, 4, 1}));

  CandidateRow row;
  row.catalogNumber = 25544;
  row.rDeg = 0.012;
  row.uDeg = 0.125f;
  row.ageDays = 0.34f;
  row.name = "ISS (ZARYA)";
  EXPECT_EQ(CandidateRowText(row), "25544   R=0.01°   U=0.13°  dt=0.3d  ISS (ZARYA)");
}

namespace {

// A task that records the texts it was given and cancels after a number of files.
class CountingTask : public TaskControl {
public:
  explicit CountingTask(int cancelAfter) : cancelAfter_(cancelAfter) {}
  bool Cancelled() const override { return cancelAfter_ >= 0 && static_cast<int>(texts.size()) >= cancelAfter_; }
  void SetText(const std::string& text) override { texts.push_back(text); }
  std::vector<std::string> texts;

private:
  int cancelAfter_;
};

// The PODSAT streak of a rendered frame (independent renderer): its element set, the stated start of a
// 30 s exposure with a 0.3 s clock error, the site and the J2000 ends of the streak.
CandidateSearchInput PodsatSearch(const std::string& appDir) {
  CandidateSearchInput in;
  in.appDir = appDir;
  in.end1 = Deg(284.4028116, 8.479212);
  in.end2 = Deg(287.962555, 9.7884941);
  in.window = MakeTrackWindow(Exposure(30.0, 0.3f));
  in.latitudeRad = 26.46528 * kDeg;
  in.longitudeRad = 112.02005 * kDeg;
  return in;
}

const char* kPodsat =
    "mName = PODSAT\r\n"
    "1 43229U 18023B   26127.57274556  .00067302 -83489-6  55834-3 0  9998\r\n"
    "2 43229  26.8332 210.4914 3511774 329.4037  14.1244  8.51222750189302\r\n";

}  // namespace

TEST(CandidateSearchTest, FindsTheSatelliteAmongFilesThatMustBeSkipped) {
  TempDir dir;
  SilentTask silent;
  CandidateList list;
  EXPECT_EQ(CandidateSearch(PodsatSearch(dir.appDir()), {}, list, silent, {}).message, "Нет TLE.");

  const auto tle = dir.path() / "TLE";
  WriteFile(tle / "43229.tle", kPodsat);
  // A geostationary satellite (period above 300 minutes), a zero mean motion, a file cut off after a
  // line 1, and an element set 300 days old.
  WriteFile(tle / "00101.tle",
            "1 28884U 05041A   26127.50000000 -.00000100  00000-0  00000-0 0  9990\r\n"
            "2 28884   0.0300  90.0000 0002000 270.0000  60.0000  1.00270000 75000\r\n");
  WriteFile(tle / "00102.tle",
            "1 43229U 18023B   26127.57274556  .00067302 -83489-6  55834-3 0  9998\r\n"
            "2 43229  26.8332 210.4914 3511774 329.4037  14.1244  0.00000000189302\r\n");
  WriteFile(tle / "00103.tle", "1 43229U 18023B   26127.57274556  .00067302 -83489-6  55834-3 0  9998\r\n");
  WriteFile(tle / "00104.tle",
            "1 43229U 18023B   25192.57274556  .00067302 -83489-6  55834-3 0  9998\r\n"
            "2 43229  26.8332 210.4914 3511774 329.4037  14.1244  8.51222750189302\r\n");

  CountingTask task(-1);
  int changes = 0;
  const CandidateSearchResult r =
      CandidateSearch(PodsatSearch(dir.appDir()), {}, list, task, [&](const CandidateList&) { ++changes; });
  EXPECT_FALSE(r.cancelled);
  EXPECT_EQ(r.message, "");
  EXPECT_EQ(r.hint, "Для просмотра траектории ИСЗ щелкните по номеру в списке претендентов");
  ASSERT_EQ(task.texts.size(), 5u);
  EXPECT_EQ(task.texts.back(), (tle / "43229.tle").string());
  ASSERT_EQ(list.rows.size(), 1u);
  ASSERT_EQ(list.records.size(), 1u);
  EXPECT_EQ(changes, 1);
  const CandidateRow& row = list.rows[0];
  EXPECT_EQ(row.catalogNumber, 43229);
  EXPECT_EQ(row.recordIndex, 1);
  EXPECT_EQ(row.name, "PODSAT");
  EXPECT_NEAR(row.ageDays, 1.1847, 1e-3);
  // The truth ends are at the true start, 0.04 s after the stated one; the path runs along them.
  EXPECT_LT(row.rDeg, 0.02);
  EXPECT_LT(row.uDeg, 0.1f);

  // Checked periods above 300 minutes bring the geostationary satellite in only if it runs along.
  CandidateFilter wide;
  wide.periodMax = 2000;
  CandidateSearch(PodsatSearch(dir.appDir()), wide, list, silent, {});
  EXPECT_EQ(list.rows.size(), 1u);

  // Inclination window excluding PODSAT's 26.8 degrees: nothing.
  CandidateFilter polar;
  polar.inclMin = 80;
  EXPECT_EQ(CandidateSearch(PodsatSearch(dir.appDir()), polar, list, silent, {}).message, "Претендентов нет");
  EXPECT_TRUE(list.rows.empty());
}

TEST(CandidateSearchTest, CancelStopsBeforeTheNextFileWithoutMessage) {
  TempDir dir;
  for (const char* name : {"00001.tle", "00002.tle", "43229.tle"}) WriteFile(dir.path() / "TLE" / name, kPodsat);
  CountingTask task(2);
  CandidateList list;
  const CandidateSearchResult r = CandidateSearch(PodsatSearch(dir.appDir()), {}, list, task, {});
  EXPECT_TRUE(r.cancelled);
  EXPECT_EQ(r.message, "");
  EXPECT_EQ(task.texts.size(), 2u);
  EXPECT_EQ(list.rows.size(), 2u);  // found so far stay listed
}

// Rows that match the track equally well are put in timing order only under a trusted clock; a row that
// matches clearly better keeps its place. Tied rows timed alike form a group.
TEST(CandidateRanking, TimingOrdersOnlyTiedRowsUnderATrustedClock) {
  std::vector<CandidateRow> found(4);
  const double r[4] = {0.01, 0.30, 0.33, 0.31}, offset[4] = {0.0, 9.0, 0.2, -6.0};
  for (int i = 0; i < 4; ++i) {
    found[i].recordIndex = static_cast<std::int16_t>(i + 1);
    found[i].rDeg = r[i];
    found[i].uDeg = 0.5f;
    found[i].timing = TrackTiming{0.0, 0.0, offset[i], 10.0};
  }
  std::vector<CandidateRow> rows = found;
  EXPECT_TRUE(OrderTiedRowsByTiming(rows, 0.5, 10.0));
  EXPECT_EQ(std::vector<int>({rows[0].recordIndex, rows[1].recordIndex, rows[2].recordIndex, rows[3].recordIndex}),
            std::vector<int>({1, 3, 2, 4}));
  rows = found;
  EXPECT_FALSE(OrderTiedRowsByTiming(rows, 3.0, 10.0));
  rows[3].timing->offsetSeconds = 9.5;
  EXPECT_TRUE(MarkCoMovingGroups(rows));
  EXPECT_EQ(std::vector<int>({rows[0].group, rows[1].group, rows[2].group, rows[3].group}),
            std::vector<int>({0, 1, 0, 1}));
}
