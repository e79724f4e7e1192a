// The frame window's stretch on colour: it brightens a pixel without changing its colour.

#include "desktop/frame_render.h"

#include <gtest/gtest.h>

#include <QPainter>

// A night sky with the usual slight cast (a little green, less blue) and a grey star through a strong stretch:
// the sky keeps its hue and saturation instead of turning yellow-green, the grey star stays grey and brighter.
TEST(FrameStretch, KeepsTheSkysHueAndAGreyStaysGrey) {
  QImage frame(40, 20, QImage::Format_RGB32), shown(40, 20, QImage::Format_RGB32);
  const QColor sky(40, 44, 34), star(150, 150, 150);
  frame.fill(sky);
  frame.setPixelColor(30, 10, star);
  FramePyramid pyramid;
  pyramid.SetImage(frame, frame.size());
  pyramid.SetStretchTable(StretchTable({10, 160}, 2.5));
  QPainter painter(&shown);
  pyramid.Draw(painter, QRectF(0, 0, 40, 20), QRect(0, 0, 40, 20));
  const QColor outSky = shown.pixelColor(5, 5), outStar = shown.pixelColor(30, 10);
  EXPECT_GT(outSky.value(), 60);
  EXPECT_NEAR(outSky.hslHueF() * 360, sky.hslHueF() * 360, 3.0);
  EXPECT_NEAR(outSky.hsvSaturationF(), sky.hsvSaturationF(), 0.03);
  EXPECT_TRUE(outStar.red() == outStar.green() && outStar.green() == outStar.blue() && outStar.red() > star.red());
}
