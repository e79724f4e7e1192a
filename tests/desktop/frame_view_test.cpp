#include "desktop/frame_view.h"

#include <gtest/gtest.h>

#include "astrometry/track.h"
#include "session/app_state.h"

namespace {

TEST(SexagesimalReadout, RightAscensionCarriesIntoTheNextMinuteHourAndDay) {
  EXPECT_EQ(FormatRaHms(83.529), "05h 34m 06s");  // 5h34m06.96s, seconds truncated
  EXPECT_EQ(FormatRaHms(359.99999999), "00h 00m 00s");
  EXPECT_EQ(FormatRaHms(14.99999999), "01h 00m 00s");
  EXPECT_EQ(FormatRaHms(0.0), "00h 00m 00s");
  EXPECT_EQ(FormatRaHms(180.0), "12h 00m 00s");
}

TEST(SexagesimalReadout, DeclinationHasSignDegreesMinutesSeconds) {
  EXPECT_EQ(FormatDecDms(-0.5), "-00° 30' 00\"");
  EXPECT_EQ(FormatDecDms(7.407), "+07° 24' 25\"");
  EXPECT_EQ(FormatDecDms(-89.5), "-89° 30' 00\"");
  EXPECT_EQ(FormatDecDms(0.0), "+00° 00' 00\"");
}

TEST(PointerToFrameCentre, ClampsOnlyOutsideThePicture) {
  EXPECT_EQ(PointerToFrameCentre(100.4, 600, 3), 100);
  EXPECT_EQ(PointerToFrameCentre(601, 600, 3), 596);  // right edge: frameHalfOnScreen + 1 inside
  EXPECT_EQ(PointerToFrameCentre(0.5, 600, 3), 4);
  EXPECT_EQ(PointerToFrameCentre(600, 600, 3), 600);  // inside: the frame may overhang
}

TEST(NearestTrajectoryPoint, OnlyAPointCloserThanTwoScreenPixelsFirstOnATie) {
  const std::vector<TrajectoryScreenPoint> points = {
      {100.0, 100.0, "21:30:00"}, {103.0, 100.0, "21:30:05"}, {101.0, 101.0, "21:30:10"}, {102.0, 99.0, "21:30:15"}};
  // Squared distances from (102, 100): 4, 1, 2, 1: the first of the two at distance 1.
  EXPECT_EQ(NearestTrajectoryPoint(points, 102, 100, 600), 1);
  // From (99, 98): 5, 20, 13, 5: the nearest lies sqrt(5) = 2.24 away, not below 2.
  EXPECT_EQ(NearestTrajectoryPoint(points, 99, 98, 600), -1);
  // Exactly 2 away is not close enough; 1.99 is.
  EXPECT_EQ(NearestTrajectoryPoint({{10.0, 12.0, "a"}}, 10, 10, 600), -1);
  EXPECT_EQ(NearestTrajectoryPoint({{10.0, 11.99, "a"}}, 10, 10, 600), 0);
  EXPECT_EQ(NearestTrajectoryPoint({}, 10, 10, 600), -1);
}

TEST(NudgeCursor, StaysInsideTheImage) {
  FrameState f;
  f.imageWidth = 100;
  f.imageHeight = 50;
  FrameViewState v;
  v.cursorX = 1;
  v.cursorY = 50;
  NudgeCursor(v, f, -1, 1);
  EXPECT_EQ(v.cursorX, 1);
  EXPECT_EQ(v.cursorY, 50);
  NudgeCursor(v, f, 1, -1);
  EXPECT_EQ(v.cursorX, 2);
  EXPECT_EQ(v.cursorY, 49);
}

TEST(FrameSizeTable, HoldsTheEightSizesAndTheirOnScreenCopies) {
  const FrameSizeTable t = MakeFrameSizeTable();
  const int sides[8] = {19, 21, 25, 31, 37, 51, 71, 141};
  const int fragments[8] = {152, 147, 150, 155, 148, 153, 142, 141};
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(t[i].side, sides[i]);
    EXPECT_EQ(t[i].side, 2 * t[i].half + 1);
    EXPECT_EQ(t[i].fragmentSide, fragments[i]);
  }
  FrameState f;
  f.frameSizeIndex = 3;
  ApplyFrameSize(f, t);
  EXPECT_EQ(f.frameHalf, 15);
  EXPECT_EQ(f.frameSide, 31);
  FrameViewState v;
  ApplyFrameSizeOnScreen(v, FrameSizeOf(f, t), 5.0f);
  EXPECT_EQ(v.zoom, 5);
  EXPECT_EQ(v.fragmentSide, 155);
  EXPECT_EQ(v.frameSideOnScreen, 6);  // 6.2
  EXPECT_EQ(v.frameHalfOnScreen, 3);
}

TEST(LogNumber, WritesShortestFormWithSignSpacing) {
  EXPECT_EQ(LogNumber(1.5), " 1.5 ");
  EXPECT_EQ(LogNumber(-2), "-2 ");
  EXPECT_EQ(LogNumber(0.1), " 0.1 ");
}

}  // namespace

TEST(StarMarkOutline, RoundsHalfToEvenAndKeepsAtLeastTwoPixels) {
  MarkPalette palette;
  StarMark mark;
  mark.x = 12.5f;  // 12.5 / 5 = 2.5 -> 2
  mark.y = 17.5f;  // 3.5 -> 4
  mark.size = 3;   // 3 / 5 rounds to 1, raised to 2
  MarkOutline o = StarMarkOutline(mark, 5.0f, palette);
  EXPECT_EQ(o.left, 0);
  EXPECT_EQ(o.top, 2);
  EXPECT_EQ(o.side, 4);
  mark.size = 23;  // 4.6 -> 5
  o = StarMarkOutline(mark, 5.0f, palette);
  EXPECT_EQ(o.left, -3);
  EXPECT_EQ(o.side, 10);
}

TEST(TrackEndOutline, FourPixelsAboutTheEndsScreenPositionRoundedHalfToEven) {
  MarkPalette palette;
  TrackPoint end;
  end.x = 101.25f;  // 101.25 / 2.5 = 40.5 rounds to 40
  end.y = 50.0f;
  const MarkOutline o = TrackEndOutline(end, 2.5f, palette);
  EXPECT_EQ(o.left, 40 - 2);
  EXPECT_EQ(o.top, 20 - 2);
  EXPECT_EQ(o.side, 4);
  EXPECT_EQ(o.colour.b, 255);
}

TEST(LabelOnScreen, PulledInsideThePictureByItsTextButNeverBeyondTheTopLeft) {
  TrajectoryLabel label;
  label.x = 580, label.y = 380;  // (290, 190) on a 300 x 200 picture at scale 2
  LabelCorner c = LabelOnScreen(label, 2.0f, 300, 200, 80, 12);
  EXPECT_FLOAT_EQ(c.left, 300 - 80 - 3);
  EXPECT_FLOAT_EQ(c.top, 200 - 12 - 3);
  label.x = 280, label.y = 180;
  c = LabelOnScreen(label, 2.0f, 300, 200, 80, 12);
  EXPECT_FLOAT_EQ(c.left, 140);
  EXPECT_FLOAT_EQ(c.top, 90);
  c = LabelOnScreen(label, 2.0f, 60, 10, 80, 12);  // wider and taller than the picture: at its corner
  EXPECT_FLOAT_EQ(c.left, 0);
  EXPECT_FLOAT_EQ(c.top, 0);
}

TEST(CatalogueMarkerHalfSide, EightLessTheMagnitudeOnScreenAtLeastOne) {
  const float magnitudes[] = {7.9f, 0.0f, 5.0f, 3.0f, 4.0f};
  const int atScale1[] = {1, 8, 3, 5, 4};
  const int atScale2[] = {1, 4, 2, 2, 2};  // 0.05 -> 1, 4, 1.5 -> 2, 2.5 -> 2 (halves to even), 2
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(CatalogueMarkerHalfSide(magnitudes[i], 1.0f), atScale1[i]);
    EXPECT_EQ(CatalogueMarkerHalfSide(magnitudes[i], 2.0f), atScale2[i]);
  }
}
