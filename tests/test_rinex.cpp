// Output file names and the creation date.
#include <gtest/gtest.h>

#include <cstring>

#include "rinex.h"
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

TEST(RinexFiles, CreationDateIsShiftedBackEightHours) {
  struct Case {
    const char* ctime_text;
    const char* date;
  };
  const Case cases[] = {
      {"Fri Mar 01 05:10:20 2024\n", "20240229 211020 UTC "},
      {"Mon Jan 01 07:00:00 2024\n", "20231231 230000 UTC "},
      {"Sat Mar  1 07:59:59 2025\n", "20250228 235959 UTC "},  // blank-padded day
      {"Wed Dec 31 08:00:00 2025\n", "20251231 000000 UTC "},
      {"Thu May 01 03:00:00 2025\n", "20250430 190000 UTC "},
      {"Sat Aug 01 00:00:01 2026\n", "20260731 160001 UTC "},
      {"Thu Jan 02 05:00:00 2025\n", "20250101 210000 UTC "},  // only the day goes back
      {"Thu Feb 01 03:00:00 2024\n", "20240131 190000 UTC "},
      {"Mon Apr 01 03:00:00 2024\n", "20240331 190000 UTC "},
  };
  for (const Case& c : cases) {
    char date[32];
    RINEX_convert_creation_time(c.ctime_text, date);
    EXPECT_STREQ(c.date, date) << c.ctime_text;
  }
  RINEX_set_time_source([]() -> time_t { return 1700000000; });
  char date[32];
  RINEX_get_create_utc_time(date);
  EXPECT_EQ(20u, strlen(date));
  RINEX_set_time_source(nullptr);
}
