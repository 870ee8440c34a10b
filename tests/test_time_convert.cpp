#include <gtest/gtest.h>

#include <cmath>
#include <ctime>

#include "time_convert.h"

namespace {

struct Calendar {
  int year, month, day, doy, hour, minute;
  double sec;
};

void expect_calendar(const Calendar& want, const UTC_TIME_T& got, const std::string& name) {
  EXPECT_EQ(want.year, got.year) << name;
  EXPECT_EQ(want.month, got.month) << name;
  EXPECT_EQ(want.day, got.day) << name;
  if (want.doy >= 0) {
    EXPECT_EQ(want.doy, got.day_of_year) << name;
  }
  EXPECT_EQ(want.hour, got.hour) << name;
  EXPECT_EQ(want.minute, got.minute) << name;
  EXPECT_EQ(want.sec, got.sec) << name;
}

}  // namespace

// GPS week and seconds, or (week -1) days and seconds since the GPS epoch, to calendar fields.
TEST(TimeConvert, CalendarFieldsLeapSecondsAndClamps) {
  struct Case {
    const char* name;
    int wn, day;
    double seconds;
    int leap;
    Calendar want;
  };
  const Case cases[] = {
      {"GPS week zero is 6 January 1980", 0, 0, 0.0, 0, {1980, 1, 6, 6, 0, 0, 0.0}},
      {"leap seconds ignored in week 0", 0, 0, 100.0, 18, {1980, 1, 6, 6, 0, 1, 40.0}},
      {"BeiDou epoch", 1356, 0, 0.0, 0, {2006, 1, 1, 1, 0, 0, 0.0}},
      {"leap seconds subtracted", 1356, 0, 18.0, 18, {2006, 1, 1, 1, 0, 0, 0.0}},
      {"single precision", 100, 0, 3723.9876543, 0, {1981, 12, 6, 340, 1, 2, 3.987654209136963}},
      {"clamp below 60 s", 0, 0, 59.99999999, 0, {1980, 1, 6, 6, 0, 0, 59.999996185302734}},
      {"last correct day", -1, 6269 * 7, 86399.5, 0, {2100, 2, 28, 59, 23, 59, 59.5}},
      {"2100 taken as a leap year", -1, 6269 * 7 + 1, 0.0, 0, {2100, 2, 29, 60, 0, 0, 0.0}},
      {"hour clamped to 23", -1, 0, 90000.0, 0, {1980, 1, 6, 6, 23, 59, 59.999996185302734}},
      {"hour 24 clamped too", -1, 0, 87000.0, 0, {1980, 1, 6, 6, 23, 59, 59.999996185302734}}};
  for (const Case& c : cases) {
    UTC_TIME_T t;
    if (c.wn >= 0)
      TCVT_convert_gps_to_utc_time_by_default_parameters((S16)c.wn, c.seconds, (S16)c.leap, &t);
    else
      convert_day_and_tod_2_utc(c.day, (S32)c.seconds, c.seconds - (S32)c.seconds, &t);
    expect_calendar(c.want, t, c.name);
  }
}

// Every day from 1980-01-01 (days before the GPS epoch too) to 2100-02-28, each at another second
// of the day, against the C library's calendar and clock, and its date back to GPS seconds.
TEST(TimeConvert, EveryDayOfTheCalendar) {
  const long long kGpsEpoch = 315964800;  // 1980-01-06 in Unix time
  for (int day = -5; day <= 6269 * 7; day++) {
    int second = (int)(((day + 5) * 7919LL) % 86400);
    time_t unix_time = (time_t)(kGpsEpoch + 86400LL * day + second);
    const tm* c = gmtime(&unix_time);
    UTC_TIME_T t = TCVT_calendar_of_gps_seconds(86400LL * day + second);
    ASSERT_TRUE(t.year == c->tm_year + 1900 && t.month == c->tm_mon + 1 && t.day == c->tm_mday &&
                t.day_of_year == c->tm_yday + 1 && t.hour == c->tm_hour && t.minute == c->tm_min &&
                t.sec == (float)c->tm_sec)
        << "day " << day << " second " << second << " came out " << t.year << "-" << t.month << "-"
        << t.day << " (day " << t.day_of_year << ") " << t.hour << ":" << t.minute << ":" << t.sec;
    UTC_TIME_T back = {
        (S16)(c->tm_year + 1900), (S16)(c->tm_mon + 1), (S16)c->tm_mday, 0, 0, 0, 0.5};
    ASSERT_EQ(86400.0 * day + 0.5, TCVT_calendar_to_gps_seconds(back))
        << "day " << day;  // and back
  }
}

// GPS - UTC through each leap second of IERS Bulletin C: one second before
// the step's first GPS second the old value, from it the new; unknown after
// the table's last date. Days counted by the civil-calendar formula.
TEST(TimeConvert, LeapSecondsOfEachStep) {
  auto gps_seconds_of = [](int y, int m) {
    y -= m <= 2;
    long long era = y / 400, yoe = y - era * 400, mp = (m + 9) % 12;
    long long days = era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + (153 * mp + 2) / 5 - 719468;
    return (days - 3657) * 86400.0;  // 3657 days from 1970-01-01 to 1980-01-06
  };
  const int steps[][2] = {{1981, 7}, {1982, 7}, {1983, 7}, {1985, 7}, {1988, 1}, {1990, 1},
                          {1991, 1}, {1992, 7}, {1993, 7}, {1994, 7}, {1996, 1}, {1997, 7},
                          {1999, 1}, {2006, 1}, {2009, 1}, {2012, 7}, {2015, 7}, {2017, 1}};
  int leap = 0;
  for (const auto& s : steps) {
    double at = gps_seconds_of(s[0], s[1]) + ++leap;
    EXPECT_EQ(leap - 1, TCVT_leap_seconds_at(at - 1)) << s[0] << "-" << s[1];
    EXPECT_EQ(leap, TCVT_leap_seconds_at(at)) << s[0] << "-" << s[1];
  }
  EXPECT_EQ(18, TCVT_leap_seconds_at(gps_seconds_of(2026, 7) + 17));
  EXPECT_EQ(-1, TCVT_leap_seconds_at(gps_seconds_of(2026, 7) + 18));
}

TEST(TimeConvert, GlonassDayAndFourYearInterval) {
  struct Case {
    const char* name;
    int n4, nt, tb;
    Calendar want;
  };
  const Case cases[] = {
      {"shift back into the previous interval", 1, 1, 0, {1995, 12, 31, -1, 21, 0, 0.0}},
      {"leap first year of interval 7", 7, 61, 10800, {2020, 3, 1, -1, 0, 0, 0.0}},
      {"second year", 7, 367, 10800 + 3600 + 60 + 5, {2021, 1, 1, -1, 1, 1, 5.0}},
      {"fourth year, last day", 7, 1461, 86399, {2023, 12, 31, -1, 20, 59, 59.0}},
      {"leap year, last day", 7, 366, 10800, {2020, 12, 31, -1, 0, 0, 0.0}},
      {"third year, first day", 7, 732, 10800, {2022, 1, 1, -1, 0, 0, 0.0}},
      {"second year, last day", 7, 731, 10800, {2021, 12, 31, -1, 0, 0, 0.0}},
      {"fourth year, first day", 7, 1097, 10800, {2023, 1, 1, -1, 0, 0, 0.0}},
      {"third year, last day", 7, 1096, 10800, {2022, 12, 31, -1, 0, 0, 0.0}},
      // a damaged day beyond the interval (11 bits) counts on in December
      {"day 2047", 7, 2047, 10800, {2023, 12, 617, -1, 0, 0, 0.0}},
  };
  for (const Case& c : cases) {
    UTC_TIME_T t = {};
    TCVT_convert_glo_time_to_utc((S16)c.n4, (U16)c.nt, c.tb, &t);
    expect_calendar(c.want, t, c.name);
  }
}

TEST(TimeConvert, GlonassToGpsTimeOfWeek) {
  struct Case {
    int n4, nt, tod, leap, wn;
    double tow;
  };
  const Case cases[] = {
      {1, 1, 10800, 0, 834, 86400.0},  // 1996-01-01 00:00 UTC is a Monday
      {1, 1, 0, 0, 0, 0.0},            // tod 0 counts as invalid
      {1, 1, 86400, 0, 0, 0.0},       {1, 0, 10800, 0, 0, 0.0},
      {0, 1, 10800, 0, 0, 0.0},       {1, 1, 10800, -1, 0, 0.0},
  };
  for (const Case& c : cases) {
    S16 wn = -1;
    D64 tow = -1;
    TCVT_convert_glonass_to_gps_tow((S16)c.n4, (U16)c.nt, c.tod, (S16)c.leap, &wn, &tow);
    EXPECT_EQ(c.wn, wn) << c.n4 << " " << c.nt << " " << c.tod;
    EXPECT_EQ(c.tow, tow);
  }
}

TEST(TimeConvert, DoubleToInt32GivesTheSameOnEveryProcessor) {
  // Truncation while the value fits (-2^31 - 0.9 truncates to -2^31), INT32_MIN otherwise.
  const double kFits[] = {0.0,          -0.0,          1.9,           -1.9,
                          2147483647.0, 2147483647.99, -2147483648.0, -2147483648.9};
  const S32 kTruncated[] = {0, 0, 1, -1, 2147483647, 2147483647, INT32_MIN, INT32_MIN};
  const double kBeyond[] = {2147483648.0, -2147483649.0, 6.47e9,    1e300,
                            -1e300,       HUGE_VAL,      -HUGE_VAL, NAN};
  for (int i = 0; i < 8; i++) {
    EXPECT_EQ(kTruncated[i], D64_to_S32(kFits[i])) << kFits[i];
    EXPECT_EQ(INT32_MIN, D64_to_S32(kBeyond[i])) << kBeyond[i];
  }
}
