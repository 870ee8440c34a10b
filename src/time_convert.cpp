// Time scale conversion. Knows only the every-fourth-year leap rule, so
// results hold from 1980-01-01 to 2100-02-28. Seconds of the minute are
// summed in single precision, which decides the last printed digits.
#include "time_convert.h"

#include <cmath>

namespace {

constexpr S32 kInitUtcYear = 1980;
constexpr S32 kDaysPerYear = 365;
constexpr S32 kDaysPer4Years = 1461;
constexpr S32 kSecondsPerWeek = 604800;
constexpr S32 kSecondsPerDay = 86400;
constexpr S32 kMoscowOffsetSeconds = 10800;
constexpr S16 kBdsToGpsWeeks = 1356;
constexpr D64 kGpsEpochTo1996 = 504489600.0;               // 1980-01-06 to 1996-01-01, 5839 days
constexpr D64 kLargestSecondBelow60 = 59.999996185302734;  // 60 - 2^-18, single precision

const S16 Day_of_year_table[13] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365};
const S16 Day_of_leap_year_table[13] = {0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335, 366};

}  // namespace

void convert_day_and_tod_2_utc(S32 total_utc_day, S32 sec_of_day, D64 tow_frac,
                               UTC_TIME_T* utc_time_p) {
  S32 d = total_utc_day + 5;  // days since 1980-01-01
  S32 passed_leap_days = (d - 60) / kDaysPer4Years + 1;
  S32 passed_utc_years = (d - passed_leap_days) / kDaysPerYear;
  S32 leap_days_of_passed_utc_years = (passed_utc_years + 3) / 4;
  S32 day_of_utc_year = d - kDaysPerYear * passed_utc_years - leap_days_of_passed_utc_years;

  utc_time_p->day_of_year = (S16)(day_of_utc_year + 1);
  utc_time_p->year = (S16)(kInitUtcYear + passed_utc_years);

  const S16* table = (utc_time_p->year % 4 == 0) ? Day_of_leap_year_table : Day_of_year_table;
  S32 i = 1;
  while (i <= 12 && day_of_utc_year >= table[i]) i++;
  utc_time_p->month = (S16)i;
  utc_time_p->day = (S16)(day_of_utc_year - table[i - 1] + 1);

  S32 hour = sec_of_day / 3600;
  if (hour > 23) hour = 23;
  S32 minute = (sec_of_day - 3600 * hour) / 60;
  if (minute > 59) minute = 59;
  utc_time_p->hour = (S16)hour;
  utc_time_p->minute = (S16)minute;

  F32 whole = (F32)(sec_of_day - 3600 * hour - 60 * minute);
  F32 frac = (F32)tow_frac;
  D64 sec = (D64)(F32)(whole + frac);
  if (sec >= 60.0) sec = kLargestSecondBelow60;
  utc_time_p->sec = sec;
}

void TCVT_convert_gps_to_utc_time_by_default_parameters(S16 wn, D64 tow, S16 leap_sec,
                                                        UTC_TIME_T* utc_time_p) {
  // The week product is a 32-bit integer, as the receiver software computes it.
  S32 week_seconds = (S32)((U32)(S32)wn * (U32)kSecondsPerWeek);
  D64 tE = (D64)week_seconds + tow;
  D64 double_total_utc_sec = (wn != 0) ? tE - leap_sec : tE;
  S32 int_total_utc_sec = D64_to_S32(double_total_utc_sec);
  D64 tow_frac = double_total_utc_sec - int_total_utc_sec;
  S32 total_utc_day = int_total_utc_sec / kSecondsPerDay;
  S32 sec_of_day = int_total_utc_sec - kSecondsPerDay * total_utc_day;
  convert_day_and_tod_2_utc(total_utc_day, sec_of_day, tow_frac, utc_time_p);
}

void TCVT_convert_bd_to_gps_time(S16 bd_wn, D64 bd_sow, S16* wn_p, D64* tow_p) {
  S16 gps_wn = (S16)(bd_wn + kBdsToGpsWeeks);
  D64 gps_tow = bd_sow;
  if (gps_tow >= (D64)kSecondsPerWeek) {
    gps_tow -= (D64)kSecondsPerWeek;
    gps_wn = (S16)(gps_wn + 1);
  }
  *wn_p = gps_wn;
  *tow_p = gps_tow;
}

void TCVT_convert_glo_time_to_utc(S16 N4, U16 NT, S32 tb, UTC_TIME_T* utc_p) {
  S32 n4 = N4;
  S32 nt = NT;
  tb -= kMoscowOffsetSeconds;
  if (tb < 0) {
    tb += kSecondsPerDay;
    nt -= 1;
    if (nt == 0) {
      nt = kDaysPer4Years;
      n4 -= 1;
    }
  }
  S32 year = (n4 + 498) * 4;
  const S16* table = Day_of_year_table;
  if (nt >= 1097) {
    year += 3;
    nt -= 1096;
  } else if (nt >= 732) {
    year += 2;
    nt -= 731;
  } else if (nt >= 367) {
    year += 1;
    nt -= 366;
  } else {
    table = Day_of_leap_year_table;
  }
  S32 i = 0;
  while (i < 11 && nt > table[i + 1]) i++;
  utc_p->year = (S16)year;
  utc_p->month = (S16)(i + 1);
  utc_p->day = (S16)(i > 0 ? nt - table[i] : nt);
  S32 hour = tb / 3600;
  S32 minute = (tb - 3600 * hour) / 60;
  utc_p->hour = (S16)hour;
  utc_p->minute = (S16)minute;
  utc_p->sec = (D64)(tb - 3600 * hour - 60 * minute);
}

void TCVT_convert_glonass_to_gps_tow(S16 N4, U16 NT, S32 tod, S16 leap_sec, S16* wn_p, D64* tow_p) {
  S16 wn = 0;
  D64 tow = 0.0;
  if (N4 >= 1 && NT != 0 && tod >= 1 && tod <= kSecondsPerDay - 1 && leap_sec >= 0) {
    S32 since_glonass = (S32)(((U32)(N4 - 1) * kDaysPer4Years + (U32)(NT - 1)) * kSecondsPerDay +
                              (U32)tod + (U32)leap_sec);
    D64 since_gps = (D64)since_glonass + kGpsEpochTo1996 - (D64)kMoscowOffsetSeconds;
    wn = (S16)(S32)(since_gps / (D64)kSecondsPerWeek);
    tow = since_gps - (D64)(S32)((U32)(S32)wn * (U32)kSecondsPerWeek);
  }
  *wn_p = wn;
  *tow_p = tow;
}

D64 TCVT_calendar_to_gps_seconds(const UTC_TIME_T& t) {
  // Days from 1970-01-01 of the civil date (the era-based count, exact for any
  // year), then shifted to the GPS epoch, 3657 days later.
  constexpr S32 kGpsEpochDaysFrom1970 = 3657;
  S32 y = t.year - (t.month <= 2 ? 1 : 0);
  S32 era = (y >= 0 ? y : y - 399) / 400;
  S32 yoe = y - era * 400;
  S32 mp = (t.month + 9) % 12;
  S32 doy = (153 * mp + 2) / 5 + t.day - 1;
  S32 doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  S32 days = era * 146097 + doe - 719468 - kGpsEpochDaysFrom1970;
  return (D64)days * kSecondsPerDay + (D64)(t.hour * 3600 + t.minute * 60) + t.sec;
}

S16 TCVT_days_in_month(S32 year, S32 month) {
  static const S16 kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return (month == 2 && leap) ? (S16)29 : kDays[month - 1];
}

S16 TCVT_day_of_year(const UTC_TIME_T& t) {
  UTC_TIME_T first = {t.year, 1, 1, 0, 0, 0, 0};
  UTC_TIME_T day = {t.year, t.month, t.day, 0, 0, 0, 0};
  D64 days = TCVT_calendar_to_gps_seconds(day) - TCVT_calendar_to_gps_seconds(first);
  return (S16)((S32)(days / kSecondsPerDay) + 1);
}

UTC_TIME_T TCVT_calendar_of_gps_seconds(int64_t seconds) {
  int64_t days =
      seconds >= 0 ? seconds / kSecondsPerDay : -((-seconds + kSecondsPerDay - 1) / kSecondsPerDay);
  UTC_TIME_T t;
  convert_day_and_tod_2_utc((S32)days, (S32)(seconds - days * kSecondsPerDay), 0, &t);
  return t;
}

UTC_TIME_T TCVT_gps_calendar(S32 wn, D64 tow) {
  // The whole seconds are counted apart from the fraction of the log's own
  // time of week: the week's seconds added to it first would take digits off
  // the fraction (345659.9 in a sum near 1.45e9 keeps 7 decimals at best).
  constexpr D64 kLargestTow =
      1e9;  // beyond any week count: a damaged time, shown as the week's start
  if (!(tow > -kLargestTow && tow < kLargestTow)) tow = 0;
  D64 whole = std::floor(tow);
  UTC_TIME_T t = TCVT_calendar_of_gps_seconds((int64_t)wn * kSecondsPerWeek + (int64_t)whole);
  t.sec += tow - whole;
  return t;
}

S32 TCVT_leap_seconds_at(D64 gps_seconds) {
  // The UTC dates from which GPS - UTC took each value (IERS Bulletin C).
  static const struct {
    S16 year, month;
  } kSteps[] = {{1981, 7}, {1982, 7}, {1983, 7}, {1985, 7}, {1988, 1}, {1990, 1},
                {1991, 1}, {1992, 7}, {1993, 7}, {1994, 7}, {1996, 1}, {1997, 7},
                {1999, 1}, {2006, 1}, {2009, 1}, {2012, 7}, {2015, 7}, {2017, 1}};
  constexpr S16 kCoveredToYear = 2026, kCoveredToMonth = 7;  // up to 2026-06-30
  UTC_TIME_T covered = {kCoveredToYear, kCoveredToMonth, 1, 0, 0, 0, 0};
  if (gps_seconds >= TCVT_calendar_to_gps_seconds(covered) + 18) return -1;
  S32 leap = 0;
  for (const auto& step : kSteps) {
    UTC_TIME_T t = {step.year, step.month, 1, 0, 0, 0, 0};
    if (gps_seconds >= TCVT_calendar_to_gps_seconds(t) + leap + 1) leap++;
  }
  return leap;
}
