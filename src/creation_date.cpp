// The header creation date. The local-time text of the clock is read field
// by field and shifted back by the eight hours the local clock is taken to run
// ahead of UTC; the result always has exactly 20 characters, so the header
// line keeps its length.
#include "creation_date.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "data_type.h"
#include "time_convert.h"

namespace {

constexpr int kUtcOffsetHours = 8;  // the local clock is taken to run 8 hours ahead of UTC

time_t (*Time_source)() = nullptr;

// The system clock, unless SOURCE_DATE_EPOCH asks for a fixed time so that
// two runs over the same log give identical files.
time_t system_now() {
  const char* fixed = getenv("SOURCE_DATE_EPOCH");
  if (fixed != nullptr && *fixed != '\0') return (time_t)strtoll(fixed, nullptr, 10);
  return time(nullptr);
}

S16 two_digits(const char* p) {
  // A one-digit day may be padded with a blank instead of a zero.
  S16 tens = (p[0] == ' ') ? 0 : (S16)(p[0] - '0');
  return (S16)(10 * tens + (p[1] - '0'));
}

}  // namespace

void RINEX_set_time_source(time_t (*now)()) { Time_source = now; }

void RINEX_convert_creation_time(const char* ctime_text, char* date_str) {
  static const char* const kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  UTC_TIME_T utc = {};
  utc.year = (S16)atoi(ctime_text + 20);
  for (S16 m = 0; m < 12; m++)
    if (strncmp(ctime_text + 4, kMonths[m], 3) == 0) utc.month = (S16)(m + 1);
  utc.day = two_digits(ctime_text + 8);
  utc.hour = two_digits(ctime_text + 11);
  utc.minute = two_digits(ctime_text + 14);
  S16 sec = two_digits(ctime_text + 17);

  utc.hour = (S16)(utc.hour - kUtcOffsetHours);
  if (utc.hour < 0) {
    utc.hour = (S16)(utc.hour + 24);
    utc.day = (S16)(utc.day - 1);
    if (utc.day < 1) {
      utc.month = (S16)(utc.month - 1);
      if (utc.month < 1) {
        utc.month = 12;
        utc.year = (S16)(utc.year - 1);
      }
      utc.day = TCVT_days_in_month(utc.year, utc.month);
    }
  }
  char text[64];
  snprintf(text, sizeof text, "%4d%02d%02d %02d%02d%02d UTC ", utc.year, utc.month, utc.day,
           utc.hour, utc.minute, sec);
  memcpy(date_str, text, 20);
  date_str[20] = '\0';
}

void RINEX_get_utc_date(char* date_str) {
  constexpr int64_t kGpsEpochUnixSeconds = 315964800;  // 1980-01-06 00:00:00 UTC
  time_t now = Time_source != nullptr ? Time_source() : system_now();
  UTC_TIME_T t = TCVT_calendar_of_gps_seconds((int64_t)now - kGpsEpochUnixSeconds);
  char text[64];
  snprintf(text, sizeof text, "%4d%02d%02d %02d%02d%02d UTC ", t.year, t.month, t.day, t.hour,
           t.minute, (int)t.sec);
  memcpy(date_str, text, 20);
  date_str[20] = '\0';
}

void RINEX_get_create_utc_time(char* date_str) {
  time_t now = Time_source != nullptr ? Time_source() : system_now();
  char text[100];
  const char* local = ctime(&now);
  strncpy(text, local != nullptr ? local : "Thu Jan 01 00:00:00 1970\n", sizeof text - 1);
  text[sizeof text - 1] = '\0';
  RINEX_convert_creation_time(text, date_str);
}

std::string Utc_now_text(const char* format) {
  time_t t = time(nullptr);
  struct tm utc = {};
#ifdef _WIN32
  gmtime_s(&utc, &t);
#else
  gmtime_r(&t, &utc);
#endif
  char text[64];
  strftime(text, sizeof text, format, &utc);
  return text;
}
