#include "frameinfo/frame_info.h"

#include <gtest/gtest.h>

#include <array>
#include <tuple>

#include "base/calendar.h"
#include "sky/angles.h"

namespace {

PanelEntries Typical() {
  PanelEntries e;
  e.date = "23.04.2012";
  e.time = "21:30:15.5";
  e.utError = "0.5";
  e.exposure = "10";
  e.longitude = "37.5";
  e.latitude = "55.75";
  e.ra = "0.0";
  e.dec = "0.0";
  e.field = "0";
  return e;
}

TEST(CollectFrameInfo, ReadsEveryBoxAndDerivesTheMidTime) {
  FrameInfo info;
  PanelEntries e = Typical();
  e.west = true;
  e.ra = "120.5";
  e.dec = "-10.25";
  e.field = "12";
  const CollectResult r = CollectFrameInfo(e, true, info);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(info.startTime.year, 2012);
  EXPECT_EQ(info.startTime.month, 4);
  EXPECT_EQ(info.startTime.day, 23);
  EXPECT_EQ(info.startTime.hour, 21);
  EXPECT_EQ(info.startTime.minute, 30);
  EXPECT_FLOAT_EQ(info.startTime.seconds, 15.5f);
  EXPECT_FLOAT_EQ(info.utError, 0.5f);
  EXPECT_DOUBLE_EQ(info.exposure, 10.0);
  EXPECT_DOUBLE_EQ(info.longitude, -37.5);
  EXPECT_DOUBLE_EQ(info.latitude, 55.75);
  EXPECT_DOUBLE_EQ(info.raUser, 120.5);
  EXPECT_DOUBLE_EQ(info.decUser, -10.25);
  EXPECT_FLOAT_EQ(info.fieldUser, 12.0f);
  EXPECT_NEAR(info.midTime.seconds, 20.5f, 1e-3);
  // 2012-04-23 is MJD 56040; the mid time lies 5 s after the start.
  EXPECT_NEAR(info.startMjd, 56040.0 + (21 + 30 / 60.0 + 15.5 / 3600.0) / 24.0, 1e-9);
  EXPECT_NEAR((info.midMjd - info.startMjd) * 86400.0, 5.0, 1e-3);
  EXPECT_NEAR(info.longitudeRad, -37.5 * Pi / 180, 1e-12);
}

TEST(CollectFrameInfo, StrictStopsAtABadDateOrTimeWithItsMessage) {
  FrameInfo info;
  PanelEntries e = Typical();
  e.date = "23-04-2012";
  e.exposure = "99";
  CollectResult r = CollectFrameInfo(e, true, info);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.message, "Ошибка ввода даты");
  EXPECT_DOUBLE_EQ(info.exposure, 0.0);  // nothing else was read

  e = Typical();
  e.time = "21:30";
  r = CollectFrameInfo(e, true, info);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.message, "Ошибка ввода времени");
}

TEST(CollectFrameInfo, LenientReadsEverythingElseDespiteABadDate) {
  FrameInfo info;
  PanelEntries e = Typical();
  e.date = "garbage";
  e.utError = "2";
  e.longitude = "-30";  // E selected, but the typed minus sign means west
  const CollectResult r = CollectFrameInfo(e, false, info);
  EXPECT_TRUE(r.ok);
  EXPECT_FLOAT_EQ(info.utError, 2.0f);
  EXPECT_DOUBLE_EQ(info.exposure, 10.0);
  EXPECT_DOUBLE_EQ(info.longitude, -30.0);
}

TEST(CollectFrameInfo, AMonthFarOutOfRangeIsNeitherStoredNorOverflowsTheDateArithmetic) {
  // Month 7201 of 2026 lies some 600 years on (30.6 days a month); in 32 bits the month term overflows
  // and the date falls thousands of years back.
  const double far = MjdFromDate(2026, 12 * 600 + 1, 1, 0.0);
  EXPECT_GT(far, MjdFromDate(2600, 1, 1, 0.0));
  EXPECT_LT(far, MjdFromDate(2700, 1, 1, 0.0));
  for (const bool strict : {false, true}) {
    FrameInfo info;
    ASSERT_TRUE(CollectFrameInfo(Typical(), true, info).ok);
    PanelEntries e = Typical();
    e.date = "01.7000.2026";
    const CollectResult r = CollectFrameInfo(e, strict, info);
    EXPECT_EQ(r.ok, !strict);
    EXPECT_EQ(info.startTime.month, 4);  // the typed month never reaches the record
    EXPECT_EQ(info.startTime.day, 23);
    EXPECT_DOUBLE_EQ(info.startMjd, MjdFromDate(2012, 4, 23, 21.5 + 15.5 / 3600));
  }
}

TEST(CollectFrameInfo, ClampsTheClockErrorAndRewritesItsBox) {
  FrameInfo info;
  PanelEntries e = Typical();
  e.utError = "5000";
  const CollectResult r = CollectFrameInfo(e, true, info);
  EXPECT_TRUE(r.ok);
  EXPECT_FLOAT_EQ(info.utError, 3000.0f);
  EXPECT_TRUE(r.utErrorRewritten);
  EXPECT_EQ(r.utErrorText, " 3000");
}

TEST(CollectFrameInfo, NumericBoxesAcceptACommaAndNeverHoldAnInfinity) {
  // The panel shows loaded values with the locale's separator ("37,61778" under a Russian locale).
  FrameInfo info;
  PanelEntries e = Typical();
  e.utError = "0,5";
  e.exposure = "0,25";
  e.longitude = "37,61778";
  e.latitude = "55,75";
  e.ra = "83,5";
  e.dec = "-5,25";
  e.field = "1e39";  // beyond the single range
  e.time = "21:30:1e39";
  ASSERT_TRUE(CollectFrameInfo(e, false, info).ok);
  EXPECT_FLOAT_EQ(info.utError, 0.5f);
  EXPECT_DOUBLE_EQ(info.exposure, 0.25);
  EXPECT_DOUBLE_EQ(info.longitude, 37.61778);
  EXPECT_DOUBLE_EQ(info.latitude, 55.75);
  EXPECT_DOUBLE_EQ(info.raUser, 83.5);
  EXPECT_DOUBLE_EQ(info.decUser, -5.25);
  EXPECT_EQ(info.fieldUser, 0.0f);
  EXPECT_EQ(info.startTime.seconds, 0.0f);
  EXPECT_FALSE(CollectFrameInfo(e, true, info).ok);  // the seconds are still out of range
  e.utError = "-1e300";
  CollectFrameInfo(e, false, info);
  EXPECT_EQ(info.utError, 0.0f);
}

TEST(DeriveFrameTimes, MidTimeCrossesTheYearAndFollowsACorrectedStart) {
  FrameInfo info;
  PanelEntries e = Typical();
  e.date = "31.12.2011";
  e.time = "23:59:58";
  e.exposure = "10";
  ASSERT_TRUE(CollectFrameInfo(e, true, info).ok);
  EXPECT_EQ(info.midTime.year, 2012);
  EXPECT_EQ(info.midTime.month, 1);
  EXPECT_EQ(info.midTime.day, 1);
  EXPECT_EQ(info.midTime.hour, 0);
  EXPECT_EQ(info.midTime.minute, 0);
  EXPECT_NEAR(info.midTime.seconds, 3.0f, 1e-3);

  // Correcting the start time moves the mid time with it.
  e.time = "23:00:00";
  ASSERT_TRUE(CollectFrameInfo(e, true, info).ok);
  EXPECT_EQ(info.midTime.year, 2011);
  EXPECT_EQ(info.midTime.hour, 23);
  EXPECT_NEAR(info.midTime.seconds, 5.0f, 1e-3);

  e.exposure = "0";
  ASSERT_TRUE(CollectFrameInfo(e, true, info).ok);
  EXPECT_EQ(info.midTime.minute, info.startTime.minute);
  EXPECT_FLOAT_EQ(info.midTime.seconds, info.startTime.seconds);
}

TEST(DeriveStartFromMid, StepsBackHalfTheExposure) {
  FrameInfo info;
  info.midTime = CalendarTime{2012, 1, 1, 0, 0, 3.0f};
  info.exposure = 10;
  DeriveStartFromMid(info);
  EXPECT_EQ(info.startTime.year, 2011);
  EXPECT_EQ(info.startTime.day, 31);
  EXPECT_EQ(info.startTime.hour, 23);
  EXPECT_EQ(info.startTime.minute, 59);
  EXPECT_NEAR(info.startTime.seconds, 58.0f, 1e-3);

  FrameInfo unset;
  unset.exposure = 5;
  DeriveStartFromMid(unset);
  EXPECT_FALSE(unset.startTime.IsSet());
  ClearFrameTimes(info);
  EXPECT_FALSE(info.midTime.IsSet());
  EXPECT_FALSE(info.startTime.IsSet());
}

}  // namespace

TEST(CollectFrameInfo, DaysTheMonthDoesNotHaveAreNoDate) {
  // 2024 is a leap year, 2026 and 1900 are not (a century not divisible by 400).
  const std::pair<const char*, bool> dates[] = {{"31.02.2026", false}, {"29.02.2026", false}, {"29.02.2024", true},
                                                {"31.04.2026", false}, {"30.04.2026", true},  {"29.02.1900", false},
                                                {"31.12.2026", true}};
  for (const auto& [date, valid] : dates) {
    FrameInfo info;
    PanelEntries e = Typical();
    e.date = date;
    const CollectResult r = CollectFrameInfo(e, true, info);
    EXPECT_EQ(r.ok, valid) << date;
    if (!valid) {
      EXPECT_EQ(r.message, "Ошибка ввода даты") << date;
    }
  }
}

TEST(CollectFrameInfo, AMinusSignMeansWestOrSouthAndTextIsNoCoordinate) {
  FrameInfo info;
  PanelEntries e = Typical();
  e.longitude = "-22.46";  // E still selected
  e.latitude = " -33,9 ";
  ASSERT_TRUE(CollectFrameInfo(e, true, info).ok);
  EXPECT_DOUBLE_EQ(info.longitude, -22.46);
  EXPECT_DOUBLE_EQ(info.latitude, -33.9);
  e.west = true;  // the sign and the option say the same: still west, not east
  ASSERT_TRUE(CollectFrameInfo(e, true, info).ok);
  EXPECT_DOUBLE_EQ(info.longitude, -22.46);

  for (const char* text : {"abc", "12abc", "0x1A", "nan", "--5"}) {
    e = Typical();
    e.latitude = text;
    const CollectResult r = CollectFrameInfo(e, true, info);
    EXPECT_FALSE(r.ok) << text;
    EXPECT_EQ(r.message, "Ошибка ввода широты") << text;
  }
  e = Typical();
  e.longitude = "восток";
  EXPECT_EQ(CollectFrameInfo(e, true, info).message, "Ошибка ввода долготы");
  EXPECT_TRUE(CollectFrameInfo(e, false, info).ok);  // leaving a frame is never blocked
  e.longitude = "";
  EXPECT_TRUE(CollectFrameInfo(e, true, info).ok);  // an empty box is 0, as before
}

TEST(CollectFrameInfo, HeightAndPointingAreCheckedWhereTypedAndNamedWhenRefused) {
  FrameInfo info;
  PanelEntries e = Typical();
  std::tie(e.height, e.altAz, e.pointAlt, e.pointAz) = std::tuple("2070,5", true, "50", "-30");
  ASSERT_TRUE(CollectFrameInfo(e, true, info).ok);
  EXPECT_DOUBLE_EQ(info.heightM, 2070.5);
  EXPECT_DOUBLE_EQ(info.pointingAz, 330.0);
  const std::array<std::array<std::string, 3>, 4> refused = {
      {{"12000", "50", "Высота места 12000 м вне пределов -500..9000 м"},
       {"2 km", "50", "Ошибка ввода высоты места"},
       {"2070,5", "95", "Высота ЦП 95° вне пределов 0..90°"},
       {"2070,5", "x", "Ошибка ввода высоты ЦП"}}};
  for (const auto& [height, alt, message] : refused) {
    std::tie(e.height, e.pointAlt) = std::tie(height, alt);
    FrameInfo kept = info;
    EXPECT_EQ(CollectFrameInfo(e, true, kept).message, message);
    EXPECT_TRUE(CollectFrameInfo(e, false, kept).ok);  // lenient: read on, an out-of-range value not taken
    EXPECT_TRUE(message.find("вне") == std::string::npos || kept.heightM + kept.pointingAlt == 2120.5);
  }
}
