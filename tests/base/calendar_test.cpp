// Calendar helpers against published values and an independent civil-calendar computation
// (std::chrono).
#include "base/calendar.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <random>

namespace {

// MJD of a civil date by the standard library's proleptic Gregorian calendar.
double ChronoMjd(int year, unsigned month, unsigned day) {
  using namespace std::chrono;
  const sys_days days{std::chrono::year{year} / std::chrono::month{month} / std::chrono::day{day}};
  return 40587.0 + days.time_since_epoch().count();  // 1970-01-01 is MJD 40587
}

TEST(CalendarTest, LeapYearsAndMonthLengths) {
  EXPECT_TRUE(IsLeapYear(2000));
  EXPECT_TRUE(IsLeapYear(2012));
  EXPECT_FALSE(IsLeapYear(1900));
  EXPECT_FALSE(IsLeapYear(2100));
  EXPECT_FALSE(IsLeapYear(2023));
  EXPECT_EQ(DaysInMonth(2012, 2), 29);
  EXPECT_EQ(DaysInMonth(2100, 2), 28);
  int total = 0;
  for (int m = 1; m <= 12; ++m) total += DaysInMonth(2023, m);
  EXPECT_EQ(total, 365);
  EXPECT_EQ(DaysInMonth(2024, 4), 30);
  EXPECT_EQ(DaysInMonth(2024, 12), 31);
}

TEST(CalendarTest, MjdOfPublishedEpochs) {
  EXPECT_DOUBLE_EQ(MjdFromDate(2000, 1, 1, 12.0), 51544.5);  // J2000.0
  EXPECT_DOUBLE_EQ(MjdFromDate(1858, 11, 17, 0.0), 0.0);
  EXPECT_DOUBLE_EQ(MjdFromDate(1970, 1, 1, 0.0), 40587.0);       // Unix epoch
  EXPECT_DOUBLE_EQ(MjdFromDate(1957, 10, 4, 19.5), 36115.8125);  // JD 2436116.3125 (Meeus ex. 7.a)
  // Day 0 is the last day of the previous month, and days past the month's end run on.
  EXPECT_DOUBLE_EQ(MjdFromDate(2012, 1, 0, 0.0), MjdFromDate(2011, 12, 31, 0.0));
  EXPECT_DOUBLE_EQ(MjdFromDate(2012, 2, 31, 0.0), MjdFromDate(2012, 3, 2, 0.0));
}

TEST(CalendarTest, MjdAgreesWithCivilCalendarForEveryDay) {
  for (int year = 1900; year <= 2100; ++year) {
    for (int month = 1; month <= 12; ++month) {
      for (int day = 1; day <= DaysInMonth(year, month); ++day) {
        ASSERT_EQ(MjdFromDate(year, month, day, 0.0), ChronoMjd(year, month, day))
            << year << "-" << month << "-" << day;
      }
    }
  }
}

TEST(CalendarTest, DateFromMjdRoundTripsRandomInstants) {
  std::mt19937 rng(20260101);
  std::uniform_int_distribution<int> yearDist(1950, 2080);
  std::uniform_int_distribution<int> monthDist(1, 12);
  std::uniform_int_distribution<int> msDist(0, 86'399'999);
  for (int i = 0; i < 20000; ++i) {
    const int year = yearDist(rng);
    const int month = monthDist(rng);
    std::uniform_int_distribution<int> dayDist(1, DaysInMonth(year, month));
    const int day = dayDist(rng);
    const int ms = msDist(rng);
    const double mjd = MjdFromDate(year, month, day, ms / 3'600'000.0);
    const int guess = year + (i % 3) - 1;
    const CalendarFields f = DateFromMjd(mjd, guess);
    ASSERT_EQ(f.year, year);
    ASSERT_EQ(f.month, month);
    ASSERT_EQ(f.day, day) << mjd;
    const int gotMs = ((f.hour * 60 + f.minute) * 60) * 1000 + static_cast<int>(std::lround(f.seconds * 1000.0));
    ASSERT_EQ(gotMs, ms) << mjd;
  }
}

TEST(CalendarTest, DateFromMjdBoundaries) {
  // All of 31 December belongs to its year.
  CalendarFields f = DateFromMjd(MjdFromDate(2012, 12, 31, 20.0), 2013);
  EXPECT_EQ(f.year, 2012);
  EXPECT_EQ(f.month, 12);
  EXPECT_EQ(f.day, 31);
  EXPECT_EQ(f.hour, 20);
  f = DateFromMjd(MjdFromDate(2013, 1, 1, 0.0), 2012);
  EXPECT_EQ(f.year, 2013);
  EXPECT_EQ(f.day, 1);
  f = DateFromMjd(MjdFromDate(2012, 2, 29, 6.0), 2012);
  EXPECT_EQ(f.month, 2);
  EXPECT_EQ(f.day, 29);

  // 0.4 ms before a full minute shows the next minute with 0.000 s.
  f = DateFromMjd(MjdFromDate(2012, 4, 23, 21.0 + 30.0 / 60.0 - 0.0004 / 3600.0), 2012);
  EXPECT_EQ(f.hour, 21);
  EXPECT_EQ(f.minute, 30);
  EXPECT_EQ(f.seconds, 0.0f);
  // Just before midnight the carry reaches 24:00:00 and the date stays.
  f = DateFromMjd(MjdFromDate(2012, 4, 23, 24.0 - 0.0004 / 3600.0), 2012);
  EXPECT_EQ(f.day, 23);
  EXPECT_EQ(f.hour, 24);
  EXPECT_EQ(f.minute, 0);
  EXPECT_EQ(f.seconds, 0.0f);

  // A guess further off than a year still finds the date; a non-finite MJD gives empty fields.
  f = DateFromMjd(MjdFromDate(2026, 7, 4, 3.0), 1990);
  EXPECT_EQ(f.year, 2026);
  EXPECT_EQ(f.month, 7);
  EXPECT_EQ(f.day, 4);
  f = DateFromMjd(std::nan(""), 2026);
  EXPECT_EQ(f.year, 0);
}

TEST(CalendarTest, SplitHoursCarries) {
  HourSplit s = SplitHours(21.0 + 30.0 / 60.0 + 15.5 / 3600.0);
  EXPECT_EQ(s.hour, 21);
  EXPECT_EQ(s.minute, 30);
  EXPECT_FLOAT_EQ(s.seconds, 15.5f);
  s = SplitHours(12.0 + 59.0 / 60.0 + 59.9997 / 3600.0);
  EXPECT_EQ(s.hour, 13);
  EXPECT_EQ(s.minute, 0);
  EXPECT_EQ(s.seconds, 0.0f);
  s = SplitHours(0.0);
  EXPECT_EQ(s.hour, 0);
  EXPECT_EQ(s.minute, 0);
  EXPECT_EQ(s.seconds, 0.0f);
}

TEST(CalendarTest, ParseDateAcceptsDayMonthYear) {
  int y = 0, m = 0, d = 0;
  ASSERT_TRUE(ParseDate("7.3.2012", y, m, d));
  EXPECT_EQ(d, 7);
  EXPECT_EQ(m, 3);
  EXPECT_EQ(y, 2012);
  ASSERT_TRUE(ParseDate(" 23.04.2012 ", y, m, d));
  EXPECT_EQ(d, 23);
  EXPECT_EQ(m, 4);
  ASSERT_TRUE(ParseDate("31.02.2012", y, m, d));  // not checked against the month
  EXPECT_FALSE(ParseDate("07-03-2012", y, m, d));
  EXPECT_FALSE(ParseDate("07.03.12", y, m, d));
  EXPECT_FALSE(ParseDate("07.03.1899", y, m, d));
  EXPECT_FALSE(ParseDate("32.03.2012", y, m, d));
  EXPECT_FALSE(ParseDate("0.03.2012", y, m, d));
  EXPECT_FALSE(ParseDate("07.13.2012", y, m, d));
  EXPECT_FALSE(ParseDate("07.03.2012.", y, m, d));
  EXPECT_FALSE(ParseDate("07.03.99999", y, m, d));  // beyond a 16-bit year
  EXPECT_FALSE(ParseDate("07.03.1E30", y, m, d));
  // Fields read before the failing one keep their new values.
  y = m = d = 0;
  EXPECT_FALSE(ParseDate("5.13.2012", y, m, d));
  EXPECT_EQ(d, 5);
}

TEST(CalendarTest, ParseTimeAcceptsBothDecimalSeparators) {
  int h = 0, m = 0;
  float s = 0.0f;
  ASSERT_TRUE(ParseTime("21:05:07,5", h, m, s));
  EXPECT_EQ(h, 21);
  EXPECT_EQ(m, 5);
  EXPECT_FLOAT_EQ(s, 7.5f);
  ASSERT_TRUE(ParseTime("21:05:07.25", h, m, s));
  EXPECT_FLOAT_EQ(s, 7.25f);
  EXPECT_TRUE(ParseTime("24:00:00", h, m, s));
  EXPECT_TRUE(ParseTime("12:60:00", h, m, s));
  EXPECT_TRUE(ParseTime("12:00:60", h, m, s));
  EXPECT_FALSE(ParseTime("21:05", h, m, s));
  EXPECT_FALSE(ParseTime("25:00:00", h, m, s));
  EXPECT_FALSE(ParseTime("12:61:00", h, m, s));
  EXPECT_FALSE(ParseTime("12:00:60.5", h, m, s));
  EXPECT_FALSE(ParseTime("12:00:-1", h, m, s));
  EXPECT_FALSE(ParseTime("1:2:3:4", h, m, s));
  EXPECT_FALSE(ParseTime("12:00:1E40", h, m, s));
}

TEST(CalendarTest, SexagesimalSplitsRecombine) {
  int hours = 0;
  double minutes = 0.0;
  SplitRaHours(83.63308, hours, minutes);  // Crab nebula, 5h34m31.94s
  EXPECT_EQ(hours, 5);
  EXPECT_NEAR(minutes, 34.0 + 31.94 / 60.0, 1e-4);
  SplitRaHours(359.999, hours, minutes);
  EXPECT_EQ(hours, 23);
  EXPECT_NEAR(hours * 15.0 + minutes / 4.0, 359.999, 1e-12);

  SignedDms dms = SplitSignedDegrees(-0.5);
  EXPECT_EQ(dms.sign, "-");
  EXPECT_EQ(dms.degrees, 0);
  EXPECT_EQ(dms.arcminutes, 30);
  EXPECT_NEAR(dms.arcseconds, 0.0, 1e-9);
  dms = SplitSignedDegrees(22.0145);  // +22°00'52.2"
  EXPECT_EQ(dms.sign, "+");
  EXPECT_EQ(dms.degrees, 22);
  EXPECT_EQ(dms.arcminutes, 0);
  EXPECT_NEAR(dms.arcseconds, 52.2, 1e-9);
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> dist(-90.0, 90.0);
  for (int i = 0; i < 1000; ++i) {
    const double a = dist(rng);
    dms = SplitSignedDegrees(a);
    ASSERT_GE(dms.arcminutes, 0);
    ASSERT_LT(dms.arcminutes, 60);
    ASSERT_GE(dms.arcseconds, 0.0);
    ASSERT_LT(dms.arcseconds, 60.0);
    const double back = dms.degrees + dms.arcminutes / 60.0 + dms.arcseconds / 3600.0;
    ASSERT_NEAR(dms.sign == "-" ? -back : back, a, 1e-12);
  }
}

}  // namespace
