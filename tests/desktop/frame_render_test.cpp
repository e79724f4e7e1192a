// The frame window's stretch on colour: it brightens a pixel without changing its colour.

#include "desktop/frame_render.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <QPainter>

namespace {

// A night sky with the usual slight cast (a little green, less blue) and a grey star, drawn through a
// strong stretch with its black point just under the sky: the sky keeps its hue and saturation instead of
// turning yellow-green, the grey star stays grey, and both come out brighter.
TEST(FrameStretch, KeepsTheSkysHueAndAGreyStaysGrey) {
  QImage frame(40, 20, QImage::Format_RGB32);
  const QColor sky(40, 44, 34), star(150, 150, 150);
  frame.fill(sky);
  for (int y = 8; y < 12; ++y)
    for (int x = 28; x < 32; ++x) frame.setPixelColor(x, y, star);
  FramePyramid pyramid;
  pyramid.SetImage(frame, frame.size());
  for (const double gamma : {1.0, 2.5}) {
    pyramid.SetStretchTable(StretchTable({10, 160}, gamma));
    QImage shown(frame.size(), QImage::Format_RGB32);
    {
      QPainter painter(&shown);
      pyramid.Draw(painter, QRectF(0, 0, 40, 20), QRect(0, 0, 40, 20));
    }
    const QColor outSky = shown.pixelColor(5, 5), outStar = shown.pixelColor(29, 9);
    EXPECT_GT(outSky.value(), 40) << gamma;
    EXPECT_NEAR(outSky.hslHueF() * 360, sky.hslHueF() * 360, 3.0) << gamma;
    EXPECT_NEAR(outSky.hsvSaturationF(), sky.hsvSaturationF(), 0.03) << gamma;
    EXPECT_EQ(outStar.red(), outStar.green());
    EXPECT_EQ(outStar.green(), outStar.blue());
    EXPECT_GT(outStar.red(), star.red());
  }
}

}  // namespace
