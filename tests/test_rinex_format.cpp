#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>

#include "rinex_format.h"

namespace {

// A field of the given width written by its formatter.
template <size_t Width, void (*Format)(double, char*)>
std::string field(double x) {
  char b[Width + 1];
  Format(x, b);
  return b;
}
const auto d19 = field<19, D19_12_format>, d12 = field<12, D12_04_format>,
           d17 = field<17, D17_10_format>, d16 = field<16, D16_09_format>;

}  // namespace

TEST(RinexFormat, WorkedExamples) {
  struct Case {
    double x;
    const char *f19, *f12, *f17, *f16;
  };
  const Case cases[] = {
      {0.0, "  .000000000000E+00", "   .0000E+00", "  .0000000000E+01", "  .000000000E+01"},
      {1.0, "  .100000000000E+01", "   .1000E+01", "  .1000000000E+01", "  .100000000E+01"},
      {-1.0, " -.100000000000E+01", "  -.1000E+01", " -.1000000000E+01", " -.100000000E+01"},
      {0.5, "  .500000000000E+00", "   .5000E+00", "  .5000000000E+00", "  .500000000E+00"},
      {123456.789, "  .123456789000E+06", "   .1235E+06", "  .1234567890E+06", "  .123456789E+06"},
      {-1.2345678901234e-5, " -.123456789012E-04", "  -.1235E-04", " -.1234567890E-04",
       " -.123456789E-04"},
      {2.9802322387695312e-8, "  .298023223877E-07", "   .2980E-07", "  .2980232239E-07",
       "  .298023224E-07"},
      {9.313225746154785e-10, "  .931322574615E-09", "   .9313E-09", "  .9313225746E-09",
       "  .931322575E-09"},
      {0.999999999999999, "  .100000000000E+01", "   .1000E+01", "  .1000000000E+01",
       "  .100000000E+01"},
      {-9.5367431640625e-7, " -.953674316406E-06", "  -.9537E-06", " -.9536743164E-06",
       " -.953674316E-06"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.f19, d19(c.x)) << c.x;
    EXPECT_EQ(c.f12, d12(c.x)) << c.x;
    EXPECT_EQ(c.f17, d17(c.x)) << c.x;
    EXPECT_EQ(c.f16, d16(c.x)) << c.x;
  }
}

TEST(RinexFormat, NegativeZeroAndValuesBeyondTheExponentRange) {
  EXPECT_EQ(" -.000000000000E+00", d19(-0.0));  // the conversion shows the sign of -0.0
  EXPECT_EQ("   .0000E+00", d12(-0.0));
  EXPECT_EQ("  .999999999999E+99", d19(1e120));  // saturates
  EXPECT_EQ(" -.999999999999E+99", d19(-INFINITY));
  EXPECT_EQ("  .000000000000E+00", d19(1e-120));    // underflows to zero
  EXPECT_EQ("  .150000000000E-99", d19(1.5e-100));  // the smallest exponent shown
  EXPECT_EQ("                NaN", d19(NAN));
  EXPECT_EQ("   .1000E+21", d12(1e120));  // the short formats keep the exponent modulo 100
  EXPECT_EQ("  .1000000000E-21", d17(1e-122));
  EXPECT_EQ("             NaN", d16(NAN));
  EXPECT_EQ("         NaN", d12(NAN));
  // The standard writers' d.ddd form shows exponents from -99 to 99, and zero below.
  char b[24], want[24];
  for (double x : {1.5e-99, -1.5e-99, 9.9e-100, 1.5e99}) {
    RINEX_format_exponent(x, 19, 12, 'E', b);
    snprintf(want, sizeof want, "%19.12E", std::fabs(x) < 1e-99 ? 0.0 : x);
    EXPECT_STREQ(want, b) << x;
  }
}

TEST(RinexFormat, EpochSecondsShowTheSinglePrecisionSum) {
  char b[32];
  int n = RINEX_format_fixed(b, 3.987654209136963, 11, 7);  // 3.9876543 s after 01:02
  EXPECT_EQ("  3.9876542", std::string(b, (size_t)n));
}

TEST(RinexFormat, FixedPointMatchesPrintf) {
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> uniform(-4e7, 4e7);
  std::uniform_int_distribution<int> scale(-12, 14);
  const double specials[] = {0.0,   -0.0,     0.0005, 0.0015, 2.5e-4, -0.0004, 1e15,
                             -1e20, 123.4565, 9.9995, 1e-300, NAN,    INFINITY};
  char want[512];
  char got[512];
  auto check = [&](double x, int width, int prec) {
    int n = snprintf(want, sizeof want, "%*.*f", width, prec, x);
    int m = RINEX_format_fixed(got, x, width, prec);
    ASSERT_EQ(std::string(want, (size_t)n), std::string(got, (size_t)m)) << x << " ." << prec;
  };
  for (int i = 0; i < 200000; i++) {
    double x = i < 13 ? specials[i] : uniform(rng) * std::pow(10.0, scale(rng) / 2);
    check(x, 14, 3);
    // The F14.3 field of the standard writers: printf's text where 14 columns
    // hold it, nothing where they do not.
    char field[16];
    int n = snprintf(want, sizeof want, "%14.3f", x);
    bool holds = std::isfinite(x) && n == 14 && x < 9999999999.9995 && x > -999999999.9995;
    ASSERT_EQ(holds, RINEX_format_f14_3(field, x)) << x;
    if (holds) {
      ASSERT_EQ(std::string(want, 14), std::string(field, 14)) << x;
    }
    check(x, 11, 7);
    check(x, 12, 1 + i % 9);  // every precision the formatter offers
  }
  // Exact halfway cases, k / 2^(prec+1) with k odd: printf rounds them to even.
  for (int prec = 1; prec <= 9; prec++)
    for (int k = 1; k < 2000; k += 2) check(12.0 + std::ldexp(k % 512, -(prec + 1)), 16, prec);
}
