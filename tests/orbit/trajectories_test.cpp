#include "orbit/trajectories.h"

#include <gtest/gtest.h>

#include <cmath>

#include "astrometry/sky_frames.h"
#include "satdb/satdb.h"
#include "test_paths.h"

using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

constexpr double kDeg = 3.14159265358979 / 180.0;
constexpr double kMjd = 61168.7573981481;

FrameInfo Frame(double exposureSeconds, float utErrorSeconds) {
  FrameInfo info;
  info.startMjd = kMjd;
  info.exposure = exposureSeconds;
  info.utError = utErrorSeconds;
  info.latitudeRad = 26.46528 * kDeg;
  info.longitudeRad = 112.02005 * kDeg;
  return info;
}

// A 1000 x 800 frame at 20"/px about RA 286, DEC 10.
TrajectoryCanvas Canvas() {
  TrajectoryCanvas c;
  c.plate.ra0 = 286.0 * kDeg;
  c.plate.dec0 = 10.0 * kDeg;
  c.plate.mx = c.plate.my = 20.0 / 3600.0 * kDeg;
  c.plate.xo = 500;
  c.plate.yo = 400;
  c.imageWidth = 1000;
  c.imageHeight = 800;
  return c;
}

// A predicted point whose J2000 direction falls on image pixel (x, y) of the canvas.
TrajectoryPoint PointAtPixel(double x, double y, double range, std::int16_t sunlit) {
  const SkyPosition sky = PixelToSky(x, y, Canvas().plate);
  TrajectoryPoint p;
  p.time = kMjd;
  p.sky = J2000ToTeme({sky.ra, sky.dec}, kMjd);
  p.range = range;
  p.sunlit = sunlit;
  return p;
}

double Mjd(int h, int m, double s) {
  return 61000.0 + (h * 3600 + m * 60 + s) / 86400.0;
}

const char* kPodsat =
    "mName = PODSAT\r\n"
    "1 43229U 18023B   26127.57274556  .00067302 -83489-6  55834-3 0  9998\r\n"
    "2 43229  26.8332 210.4914 3511774 329.4037  14.1244  8.51222750189302\r\n";

}  // namespace

TEST(TimeTextTest, SecondsRoundToHundredthsAndCarry) {
  EXPECT_EQ(TimeText(Mjd(18, 10, 39.2)), "18:10:39.20");
  EXPECT_EQ(TimeText(Mjd(12, 34, 59.996)), "12:35:00.00");
  EXPECT_EQ(TimeText(Mjd(12, 59, 59.999)), "13:00:00.00");
  EXPECT_EQ(TimeText(Mjd(23, 59, 59.999)), "00:00:00.00");
  EXPECT_EQ(TimeText(Mjd(0, 0, 5.004)), "00:00:05.00");
}

TEST(TrajectorySampling, StepsOverTheWindow) {
  // 10 s, step 1 s: 11 points at 0 .. 10 s.
  const std::vector<double> t = TrajectorySampleTimes(MakeTrackWindow(Frame(10, 0)), 1.0);
  ASSERT_EQ(t.size(), 11u);
  EXPECT_NEAR((t.back() - t.front()) * 86400.0, 10.0, 1e-6);
  // A candidate's step: 1 s for a 3 s window (4 points), 2 s for a 5 s window (2.5 + 0.5 -> 3 steps).
  const TrackWindow three = MakeTrackWindow(Frame(2, 1)), five = MakeTrackWindow(Frame(4.5, 0.5));
  EXPECT_EQ(TrajectorySampleTimes(three, CandidateStepSeconds(three)).size(), 4u);
  EXPECT_EQ(CandidateStepSeconds(five), 2.0);
  EXPECT_EQ(TrajectorySampleTimes(five, CandidateStepSeconds(five)).size(), 4u);
}

TEST(TrajectoryMarksTest, ProjectedThroughThePlateInsideTheFrameOnly) {
  const MarkPalette palette;
  const std::vector<TrajectoryPoint> points = {PointAtPixel(600, 300, 1500, -1),    PointAtPixel(620, 310, 1500, 0),
                                               PointAtPixel(640, 320, -1, 0),       PointAtPixel(-0.5, 300, 1500, -1),
                                               PointAtPixel(1000.5, 300, 1500, -1), PointAtPixel(500, 800.5, 1500, -1),
                                               PointAtPixel(1, 799, 1500, -1)};
  const std::vector<TrajectoryMark> marks =
      TrajectoryMarks(points, Canvas(), palette.trajectory, palette.trajectoryAux);
  ASSERT_EQ(marks.size(), 3u);
  EXPECT_NEAR(marks[0].x, 600.0f, 0.01f);  // image pixels
  EXPECT_NEAR(marks[0].y, 300.0f, 0.01f);
  EXPECT_EQ(marks[0].colour.r, 200);  // sunlit
  EXPECT_EQ(marks[1].colour.r, 120);  // in the shadow
  EXPECT_EQ(marks[0].size, 2.0f);
  EXPECT_EQ(marks[0].timeText, "18:10:39.20");
  EXPECT_NEAR(marks[2].x, 1.0f, 0.01f);
}

TEST(TrajectoryTable, PointLinesShowJ2000PositionsAndMagnitudeOrNa) {
  TrajectoryPoint p;
  p.time = Mjd(18, 10, 39.2);
  p.sky = J2000ToTeme({12.3456 * kDeg, -5.4321 * kDeg}, p.time);
  p.phase = 45.25f;
  p.range = 1234.56;
  EXPECT_EQ(TrajectoryPointLine(p, 99.0f),
            "18:10:39.20   RA=012.35°   DEC=-05.43    Ф=045.3°  mag= N/A   po=1234.6 км");
  p.phase = 0.0f;
  p.range = 2000.0;  // 4 - 15.75 + 2.5 lg(2000^2) = 4.755
  EXPECT_NE(TrajectoryPointLine(p, 4.0f).find("mag= 4.8   po=2000.0 км"), std::string::npos);
  p.range = -1.0;  // below the horizon
  EXPECT_NE(TrajectoryPointLine(p, 4.0f).find("mag= N/A   po=-1.0 км"), std::string::npos);
}

TEST(TrackEndOrder, ExchangedWhenTrajectoryAndTrackRunOpposite) {
  std::vector<TrajectoryMark> marks(3);
  marks[0].x = 100, marks[0].y = 100;
  marks[2].x = 90, marks[2].y = 200;  // mostly downwards, slightly left
  EXPECT_FALSE(ExchangeTrackEnds(marks, 50, 50, 45, 150));
  EXPECT_TRUE(ExchangeTrackEnds(marks, 45, 150, 50, 50));
  // Track slightly right but downwards like the trajectory: same way.
  EXPECT_FALSE(ExchangeTrackEnds(marks, 50, 50, 60, 150));
  EXPECT_FALSE(ExchangeTrackEnds(std::span(marks).first(1), 45, 150, 50, 50));
}

TEST(TrajectoryLabels, AtTheEndNearerTheCentre) {
  TrajectoryMark a, b;
  a.x = 10, a.y = 10;
  b.x = 290, b.y = 190;
  TrajectoryLabel l = PlaceTrajectoryLabel(a, b, "X (1)", {}, 300, 200);
  EXPECT_FLOAT_EQ(l.x, 290);  // the last mark is as near as the first: the last
  EXPECT_FLOAT_EQ(l.y, 190);
  a.x = 140, a.y = 90;
  l = PlaceTrajectoryLabel(a, b, "X (1)", {}, 300, 200);
  EXPECT_FLOAT_EQ(l.x, 140);
  EXPECT_FLOAT_EQ(l.y, 90);
}

TEST(SingleSatellite, EntriesFileTableAndMarks) {
  EXPECT_EQ(UsersatEntryProblem(0, 1.0), "Проверьте номер ИСЗ");
  EXPECT_EQ(UsersatEntryProblem(1, 0.1), "Увеличьте шаг расчета");
  EXPECT_EQ(UsersatEntryProblem(1, 30.0), "");
  EXPECT_EQ(UsersatEntryProblem(1, 30.5), "Уменьшите шаг расчета");

  TempDir dir;
  const MarkPalette palette;
  const SingleTrajectory missing =
      SingleSatelliteTrajectory(dir.appDir(), 43229, 1.0, Frame(30, 0.3f), Canvas(), palette);
  EXPECT_EQ(missing.message, "Файл " + SatelliteFilePath(dir.appDir(), 43229) + " не найден.");
  EXPECT_TRUE(missing.lines.empty());

  WriteFile(dir.path() / "TLE" / "43229.tle", kPodsat);
  const SingleTrajectory s = SingleSatelliteTrajectory(dir.appDir(), 43229, 1.0, Frame(30, 0.3f), Canvas(), palette);
  EXPECT_EQ(s.message, "");
  EXPECT_EQ(s.designator, "18023B  ");
  ASSERT_EQ(s.lines.size(), 2u + 31u);
  EXPECT_EQ(s.lines[0], "Имя ИСЗ = PODSAT");
  EXPECT_EQ(s.lines[1], "Давность Tle = 1.18 дней");
  // The renderer's truth at the true start (0.04 s later): J2000 RA 284.4028, DEC +8.4792; sunlit.
  EXPECT_EQ(s.lines[2].substr(0, 35), "18:10:39.20   RA=284.40°   DEC=+08");
  ASSERT_FALSE(s.marks.empty());
  for (const TrajectoryMark& m : s.marks) EXPECT_EQ(m.colour.r, 200);

  const std::vector<SatelliteRequest> several = {{12345, 1.0, {1, 2, 3}}, {43229, 5.0, {10, 20, 30}}};
  const SeveralTrajectories drawn =
      SeveralSatelliteTrajectories(dir.appDir(), several, true, Frame(30, 0.3f), Canvas(), palette.trajectoryAux);
  ASSERT_EQ(drawn.messages.size(), 1u);
  EXPECT_EQ(drawn.messages[0], "Файл " + SatelliteFilePath(dir.appDir(), 12345) + " не найден.");
  ASSERT_EQ(drawn.labels.size(), 1u);
  EXPECT_EQ(drawn.labels[0].text, "PODSAT (43229)");
  EXPECT_EQ(drawn.labels[0].colour.r, 10);
  EXPECT_FALSE(drawn.marks.empty());
}
