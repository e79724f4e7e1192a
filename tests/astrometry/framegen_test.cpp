#include "framegen/framegen.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "test_paths.h"

using testing_support::ReadFile;
using testing_support::TempDir;

namespace {

constexpr double kDeg = 3.14159265358979 / 180.0;

CatalogueRecord Star(double raDeg, double decDeg, float mag) {
  return {static_cast<float>(raDeg * kDeg - 3.14159265358979), static_cast<float>(decDeg * kDeg), mag};
}

}  // namespace

TEST(FrameGenerator, ProjectsByTheTangentPlaneWithRotationAndMirror) {
  FrameSpec drawing;
  drawing.width = 1000;
  drawing.height = 600;
  drawing.centreRaDeg = 120.0;
  drawing.centreDecDeg = 0.0;
  drawing.scaleArcsec = 36.0;  // 100 px per degree at the centre
  double x = 0, y = 0;
  ASSERT_TRUE(ProjectToFrame(drawing, 120.0, 0.0, x, y));
  EXPECT_NEAR(x, 500.0, 1e-9);
  EXPECT_NEAR(y, 300.0, 1e-9);
  // North is up and east (larger RA) to the left; off-axis distances grow as the tangent.
  ASSERT_TRUE(ProjectToFrame(drawing, 120.0, 2.0, x, y));
  EXPECT_NEAR(y, 300.0 - std::tan(2.0 * kDeg) / kDeg * 100.0, 1e-6);
  ASSERT_TRUE(ProjectToFrame(drawing, 123.0, 0.0, x, y));
  EXPECT_NEAR(x, 500.0 - std::tan(3.0 * kDeg) / kDeg * 100.0, 1e-6);
  drawing.mirrored = true;
  ASSERT_TRUE(ProjectToFrame(drawing, 123.0, 0.0, x, y));
  EXPECT_NEAR(x, 500.0 + std::tan(3.0 * kDeg) / kDeg * 100.0, 1e-6);
  // A quarter turn brings north to the right.
  drawing.mirrored = false;
  drawing.rotationDeg = 90.0;
  ASSERT_TRUE(ProjectToFrame(drawing, 120.0, 1.0, x, y));
  EXPECT_NEAR(x, 500.0 + std::tan(1.0 * kDeg) / kDeg * 100.0, 1e-6);
  EXPECT_NEAR(y, 300.0, 1e-6);
  EXPECT_FALSE(ProjectToFrame(drawing, 300.0, 0.0, x, y));
}

TEST(FrameGenerator, DrawsStarsWhereTheTruthSaysAndWritesBmpAndTruth) {
  FrameSpec drawing;
  drawing.width = 201;
  drawing.height = 101;
  drawing.centreRaDeg = 10.0;
  drawing.centreDecDeg = 20.0;
  drawing.scaleArcsec = 72.0;
  drawing.noiseSigma = 0.0;
  drawing.limitMagnitude = 6.0;
  drawing.streaks.push_back({20.0, 80.0, 60.0, 80.0, 100.0, 1.0});
  const std::vector<CatalogueRecord> cat = {Star(10.3, 20.2, 3.0f), Star(10.0, 50.0, 1.0f), Star(9.5, 19.8, 7.0f),
                                            Star(9.2, 19.9, 5.0f)};
  const SyntheticFrame frame = RenderFrame(cat, drawing);
  ASSERT_EQ(frame.stars.size(), 2u);  // star 2 is off the frame, star 3 too faint
  EXPECT_EQ(frame.stars[0].number, 1);
  EXPECT_EQ(frame.stars[1].number, 4);
  // The intensity-weighted centroid above the background sits on the drawn position.
  for (const RenderedStar& s : frame.stars) {
    double sum = 0, sx = 0, sy = 0;
    for (int r = 1; r <= frame.height; ++r) {
      for (int c = 1; c <= frame.width; ++c) {
        if (std::hypot(c - s.x, r - s.y) > 6) continue;
        const double v = frame.grey[(r - 1) * frame.width + (c - 1)] - drawing.background;
        sum += v;
        sx += v * c;
        sy += v * r;
      }
    }
    EXPECT_NEAR(sx / sum, s.x, 0.05);
    EXPECT_NEAR(sy / sum, s.y, 0.05);
  }
  EXPECT_GT(frame.grey[(80 - 1) * frame.width + (40 - 1)], 100);  // on the streak
  EXPECT_EQ(frame.grey[(95 - 1) * frame.width + (190 - 1)], 20);  // bare sky

  TempDir dir;
  const auto bmp = dir.path() / "f.bmp";
  ASSERT_TRUE(WriteBmp(bmp.string(), frame));
  const std::string bytes = ReadFile(bmp);
  const std::size_t rowBytes = (201 * 3 + 3) / 4 * 4;
  ASSERT_EQ(bytes.size(), 54 + rowBytes * 101);
  EXPECT_EQ(bytes.substr(0, 2), "BM");
  // The BMP keeps rows bottom-up: image row 80 (1-based) is stored as row 101 - 80 from the bottom.
  EXPECT_EQ(static_cast<unsigned char>(bytes[54 + (101 - 80) * rowBytes + (40 - 1) * 3]),
            frame.grey[(80 - 1) * frame.width + (40 - 1)]);

  const auto truth = dir.path() / "f.txt";
  ASSERT_TRUE(WriteTruthFile(truth.string(), drawing, frame));
  EXPECT_NE(ReadFile(truth).find("\r\n"), std::string::npos);
  FrameSpec back;
  std::vector<RenderedStar> stars;
  ASSERT_TRUE(ReadTruthFile(truth.string(), back, stars));
  EXPECT_EQ(back.width, 201);
  EXPECT_DOUBLE_EQ(back.centreDecDeg, 20.0);
  EXPECT_DOUBLE_EQ(back.scaleArcsec, 72.0);
  ASSERT_EQ(stars.size(), 2u);
  EXPECT_EQ(stars[1].number, 4);
  EXPECT_NEAR(stars[1].x, frame.stars[1].x, 1e-9);
  EXPECT_NEAR(stars[1].y, frame.stars[1].y, 1e-9);
  ASSERT_EQ(back.streaks.size(), 1u);
  EXPECT_EQ(back.streaks[0].x2, 60.0);
}
