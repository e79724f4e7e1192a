// Number texts: lenient reading, zero-pattern display and the information-file form.
#include "base/numbers.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <random>

namespace {

TEST(NumbersTest, ParseNumberReadsTheLeadingNumber) {
  EXPECT_EQ(ParseNumber("12.5"), 12.5);
  EXPECT_EQ(ParseNumber("  12.5  "), 12.5);
  EXPECT_EQ(ParseNumber("1 2\t3\n.5"), 123.5);  // blanks, tabs and line feeds anywhere
  EXPECT_EQ(ParseNumber("- 7"), -7.0);
  EXPECT_EQ(ParseNumber("+7"), 7.0);
  EXPECT_EQ(ParseNumber("-.25"), -0.25);
  EXPECT_EQ(ParseNumber(".5"), 0.5);
  EXPECT_EQ(ParseNumber("5."), 5.0);
  EXPECT_EQ(ParseNumber("1.5E3"), 1500.0);
  EXPECT_EQ(ParseNumber("1.5e-3"), 0.0015);
  EXPECT_EQ(ParseNumber("2E+2x"), 200.0);
  EXPECT_EQ(ParseNumber("2E"), 2.0);
  EXPECT_EQ(ParseNumber("2E+"), 2.0);
  EXPECT_EQ(ParseNumber("3.14.15"), 3.14);
  EXPECT_EQ(ParseNumber("12abc"), 12.0);
  EXPECT_EQ(ParseNumber("1,5"), 1.0);  // "," is not a decimal point here
  EXPECT_EQ(ParseNumber("12\r\n"), 12.0);
  EXPECT_EQ(ParseNumber("abc"), 0.0);
  EXPECT_EQ(ParseNumber(""), 0.0);
  EXPECT_EQ(ParseNumber("-"), 0.0);
  EXPECT_EQ(ParseNumber("."), 0.0);
  EXPECT_EQ(ParseNumber("nan"), 0.0);
  EXPECT_EQ(ParseNumber("inf"), 0.0);
  EXPECT_EQ(ParseNumber("0.1"), 0.1);  // correctly rounded
}

TEST(NumbersTest, ParseNumberStaysFiniteOutsideTheDoubleRange) {
  EXPECT_EQ(ParseNumber("1E400"), DBL_MAX);
  EXPECT_EQ(ParseNumber("-1E400"), -DBL_MAX);
  EXPECT_EQ(ParseNumber(std::string(400, '9')), DBL_MAX);
  EXPECT_EQ(ParseNumber("1E-400"), 0.0);
  EXPECT_EQ(ParseNumber("0." + std::string(400, '0') + "1"), 0.0);
  EXPECT_EQ(ParseNumber("1E99999999999999999999"), DBL_MAX);
  EXPECT_EQ(ParseNumber("0E99999"), 0.0);
}

TEST(NumbersTest, RoundToIntHalvesToEven) {
  EXPECT_EQ(RoundToInt(0.5), 0);
  EXPECT_EQ(RoundToInt(1.5), 2);
  EXPECT_EQ(RoundToInt(2.5), 2);
  EXPECT_EQ(RoundToInt(2.5000001), 3);
  EXPECT_EQ(RoundToInt(-0.5), 0);
  EXPECT_EQ(RoundToInt(-1.5), -2);
  EXPECT_EQ(RoundToInt(-2.6), -3);
  EXPECT_EQ(RoundToInt(1e30), INT_MAX);
  EXPECT_EQ(RoundToInt(-1e30), INT_MIN);
  EXPECT_EQ(RoundToInt(std::nan("")), 0);
}

TEST(NumbersTest, FormatNumberRoundsHalfAwayAndPads) {
  EXPECT_EQ(FormatNumber(3.14159, "0.00"), "3.14");
  EXPECT_EQ(FormatNumber(2.675, "0.00"), "2.68");  // as written, not as held in binary
  EXPECT_EQ(FormatNumber(2.5, "0"), "3");
  EXPECT_EQ(FormatNumber(-2.5, "0"), "-3");
  EXPECT_EQ(FormatNumber(0.5, "0"), "1");
  EXPECT_EQ(FormatNumber(0.49, "0"), "0");
  EXPECT_EQ(FormatNumber(7.0, "00"), "07");
  EXPECT_EQ(FormatNumber(7.0, "0000"), "0007");
  EXPECT_EQ(FormatNumber(12345.0, "00"), "12345");
  EXPECT_EQ(FormatNumber(123.4567, "00.000"), "123.457");
  EXPECT_EQ(FormatNumber(5.25, "00.000"), "05.250");
  EXPECT_EQ(FormatNumber(9.9996, "0.000"), "10.000");
  EXPECT_EQ(FormatNumber(59.9996, "00.000"), "60.000");
  EXPECT_EQ(FormatNumber(0.04, "0.0"), "0.0");
  EXPECT_EQ(FormatNumber(-0.001, "0.00"), "0.00");  // no minus on a value that rounds to zero
  EXPECT_EQ(FormatNumber(-12.345, "0.0"), "-12.3");
  EXPECT_EQ(FormatNumber(1e-7, "0.00000"), "0.00000");
  EXPECT_EQ(FormatNumber(0.000015, "0.00000"), "0.00002");
  EXPECT_EQ(FormatNumber(1e20, "0"), "100000000000000000000");
  EXPECT_EQ(FormatNumber(std::nan(""), "0.00"), "");
}

TEST(NumbersTest, FormatNumberUsesTheDecimalSeparator) {
  SetDecimalSeparator(',');
  EXPECT_EQ(FormatNumber(12.5, "0.00"), "12,50");
  EXPECT_EQ(FormatNumber(12.5, "0"), "13");
  SetDecimalSeparator('.');
  EXPECT_EQ(DecimalSeparator(), '.');
  EXPECT_EQ(FormatNumber(12.5, "0.00"), "12.50");
}

TEST(NumbersTest, FormatNumberAgreesWithExactRoundingAwayFromTies) {
  // Values well away from a rounding tie: the result must be the nearest pattern value.
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> dist(-5000.0, 5000.0);
  for (int i = 0; i < 5000; ++i) {
    const double v = dist(rng);
    const double scaled = v * 1000.0;
    if (std::fabs(scaled - std::trunc(scaled) - std::copysign(0.5, scaled)) < 1e-6) continue;
    const std::string text = FormatNumber(v, "0.000");
    ASSERT_NEAR(ParseNumber(text), v, 0.0005 + 1e-12) << v << " " << text;
    ASSERT_EQ(text.size() - text.find('.'), 4u) << text;
  }
}

TEST(NumbersTest, NumberTextForms) {
  EXPECT_EQ(NumberText(0.5), " .5");
  EXPECT_EQ(NumberText(-0.25), "-.25");
  EXPECT_EQ(NumberText(1e-5), " 1E-05");
  EXPECT_EQ(NumberText(-1.5e-7), "-1.5E-07");
  EXPECT_EQ(NumberText(0.0001), " .0001");
  EXPECT_EQ(NumberText(0.0), " 0");
  EXPECT_EQ(NumberText(-0.0), " 0");
  EXPECT_EQ(NumberText(1.0), " 1");
  EXPECT_EQ(NumberText(-42.0), "-42");
  EXPECT_EQ(NumberText(123.456), " 123.456");
  EXPECT_EQ(NumberText(1.0 / 3.0), " .333333333333333");
  EXPECT_EQ(NumberText(2.0 / 3.0), " .666666666666667");
  EXPECT_EQ(NumberText(123456789012345.0), " 123456789012345");
  EXPECT_EQ(NumberText(1e15), " 1E+15");
  EXPECT_EQ(NumberText(51544.5), " 51544.5");
  EXPECT_EQ(NumberText(0.1f), " .1");
  EXPECT_EQ(NumberText(1.0f / 3.0f), " .3333333");
  EXPECT_EQ(NumberText(-1234.5678f), "-1234.568");
  EXPECT_EQ(NumberText(12345678.0f), " 1.234568E+07");
  EXPECT_EQ(NumberText(std::nan("")), " 0");  // never "nan" in a file
}

TEST(NumbersTest, NumberTextReadsBack) {
  std::mt19937_64 rng(5);
  std::uniform_real_distribution<double> mant(-1.0, 1.0);
  std::uniform_int_distribution<int> expo(-30, 30);
  for (int i = 0; i < 20000; ++i) {
    const double v = std::ldexp(mant(rng), expo(rng) * 3);
    const double back = ParseNumber(NumberText(v));
    ASSERT_LE(std::fabs(back - v), std::fabs(v) * 1e-14) << NumberText(v);
    const float f = static_cast<float>(v);
    const float fback = static_cast<float>(ParseNumber(NumberText(f)));
    ASSERT_LE(std::fabs(fback - f), std::fabs(f) * 1e-6f) << NumberText(f);
  }
}

}  // namespace
