// Output file names and the creation date.
#include <gtest/gtest.h>

#include <cstring>
#include <ctime>

#ifdef _WIN32
#define timegm _mkgmtime  // the C runtime's name for it
#endif

#include "creation_date.h"
#include "file_io.h"
#include "runner.h"

using vlntest::run_program;

// Outputs are named from the last dot of the whole path, for paths of 300
// characters and non-Latin ones too.
TEST(RinexFiles, OutputNamesFollowTheLastDot) {
  std::string a150 = std::string(150, 'a');
  std::string long_name = a150 + "/" + std::string(140, 'b') + ".v1/raw.log.dat";
  struct Case {
    std::string log;
    std::vector<std::string> files;
  };
  const Case cases[] = {
      {"log.20240101.dat", {"log.20240101.dat", "log.20240101.nav", "log.20240101.obs"}},
      {"rawlog", {"rawlog", "rawlog.nav", "rawlog.obs"}},
      {".raw", {".nav", ".obs", ".raw"}},
      {"data.old/rawlog", {"data.nav", "data.obs", "data.old"}},
      {long_name, {a150}},  // .../raw.log.obs and .nav beside the log
      {"\u65e5\u672c/\u89b3\u6e2c.dat", {"\u65e5\u672c"}},
  };
  for (const Case& c : cases) {
    auto r = run_program({c.log}, c.log, {});
    EXPECT_EQ(1, r.status) << c.log;
    EXPECT_EQ(c.files, r.files) << c.log;
    EXPECT_TRUE(r.obs_exists && r.nav_exists) << c.log;
  }
}

// Windows opens paths beyond 260 characters in their extended form; a
// network share's takes the UNC prefix instead of the drive's.
TEST(RinexFiles, ExtendedFormsOfLongWindowsPaths) {
  EXPECT_EQ(L"\\\\?\\C:\\data\\x.obs", File_extended_path(L"C:\\data\\x.obs"));
  EXPECT_EQ(L"\\\\?\\UNC\\server\\share\\x.obs", File_extended_path(L"\\\\server\\share\\x.obs"));
}

TEST(RinexFiles, CreationDateIsShiftedBackEightHours) {
  struct Case {
    const char* ctime_text;
    const char* date;
  };
  const Case cases[] = {
      {"Sat Mar  1 07:59:59 2025\n", "20250228 235959 UTC "},  // blank-padded day
      {"Sun Mar  2 09:00:00 2025\n", "20250302 010000 UTC "},  // and one that stays
      {"Wed Dec 31 08:00:00 2025\n", "20251231 000000 UTC "},
      {"Thu Jan 02 05:00:00 2025\n", "20250101 210000 UTC "},  // only the day goes back
  };
  for (const Case& c : cases) {
    char date[32];
    RINEX_convert_creation_time(c.ctime_text, date);
    EXPECT_STREQ(c.date, date) << c.ctime_text;
  }
  // The first of every month, in a common and a leap year, at 03:04:05 local time: eight hours back
  // is the last day of the month before, as the C library's calendar has it.
  static const char* const kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  for (int year : {2023, 2024}) {
    for (int month = 0; month < 12; month++) {
      tm first = {};
      first.tm_year = year - 1900, first.tm_mon = month, first.tm_mday = 1;
      first.tm_hour = 3, first.tm_min = 4, first.tm_sec = 5;
      time_t shifted = timegm(&first) - 8 * 3600;
      char text[32], want[32], date[32];
      snprintf(text, sizeof text, "Xxx %s 01 03:04:05 %d\n", kMonths[month], year);
      strftime(want, sizeof want, "%Y%m%d %H%M%S UTC ", gmtime(&shifted));
      RINEX_convert_creation_time(text, date);
      EXPECT_STREQ(want, date) << text;
    }
  }
  RINEX_set_time_source([]() -> time_t { return 1700000000; });
  char date[32];
  RINEX_get_create_utc_time(date);
  EXPECT_EQ(20u, strlen(date));
  RINEX_set_time_source(nullptr);
}

// The header date comes from the clock unless SOURCE_DATE_EPOCH fixes it (an
// empty value counts as none): a machine without the variable gets today.
TEST(RinexFiles, CreationDateFromTheClockOrSourceDateEpoch) {
  auto set = [](const char* v) {
#ifdef _WIN32
    _putenv_s("SOURCE_DATE_EPOCH", v == nullptr ? "" : v);
#else
    if (v == nullptr)
      unsetenv("SOURCE_DATE_EPOCH");
    else
      setenv("SOURCE_DATE_EPOCH", v, 1);
#endif
  };
  char date[32];
  set("1700000000");  // 2023-11-14 22:13:20 UTC, shown 8 hours ahead and taken back
  RINEX_get_utc_date(date);
  EXPECT_STREQ("20231114 221320 UTC ", date);
  for (const char* none : {(const char*)nullptr, ""}) {
    set(none);
    time_t before = time(nullptr);
    RINEX_get_utc_date(date);
    char today[32];
    strftime(today, sizeof today, "%Y%m%d", gmtime(&before));
    EXPECT_EQ(0, strncmp(today, date, 8)) << date;
  }
  set(nullptr);
}
