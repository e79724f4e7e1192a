// The free part of the screen that a window may shrink into.
#include "base/ui/owned_window.h"

#include <gtest/gtest.h>

TEST(LargestFreeRect, FindsTheLargestGapBetweenWindowsOrNoneOnACoveredArea) {
  const QRect area(0, 0, 100, 100);
  // A column on the left and a block at the top right leave a 30 x 100 strip and a 70 x 50 corner.
  const QList<QRect> windows{QRect(0, 0, 30, 100), QRect(60, 0, 40, 50)};
  EXPECT_EQ(LargestFreeRect(area, windows), QRect(30, 50, 70, 50));
  // A third window in that corner leaves the strip.
  EXPECT_EQ(LargestFreeRect(area, windows + QList<QRect>{QRect(30, 60, 70, 40)}), QRect(30, 0, 30, 60));
  EXPECT_EQ(LargestFreeRect(area, {}), area);
  EXPECT_TRUE(LargestFreeRect(area, {QRect(-5, -5, 200, 200)}).isEmpty());
}
