// End-to-end: logs whose measurements were made from the broadcast orbits and clocks convert into
// files that a single-point solution places within metres of where the receiver stood. A wrong
// scale or field in any navigation or observation record moves the solutions by far more.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "generated_logs.h"
#include "log_generator.h"
#include "position_check.h"
#include "runner.h"

namespace {

std::string write_temp(const std::string& text, const char* ending) {
  std::string path = vlntest::temp_path(ending);
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

TEST(PositionCheck, SampleAndOneHourLogSolveWithinMetres) {
  std::string sample = vlntest::read_file(VLN_SAMPLE_LOG);
  struct Case {
    const char* name;
    vlntest::Bytes log;
  } const kCases[] = {
      {"sample", vlntest::Bytes(sample.begin(), sample.end())},
      {"one hour",
       [] {
         LogOptions o;
         o.seconds = 3600;
         return vlntest::generated_log(o);
       }()},
  };
  for (const Case& c : kCases) {
    // Station metadata in every header line a reader might trip over.
    vlntest::RunResult r =
        vlntest::run_program({"log.dat",         "-dual_freq",
                              "--marker-name",   "BJFS",
                              "--marker-number", "21601M001",
                              "--marker-type",   "GEODETIC",
                              "--observer",      "OBS",
                              "--agency",        "AG",
                              "--receiver-type", "VLN R2",
                              "--antenna-type",  "TRM59800.00",
                              "--radome",        "SCIS",
                              "--antenna-delta", "0.1,0,0",
                              "--comment",       "c",
                              "--interval",      "1",
                              "--position",      "-2148744.271,4426641.113,4044655.987"},
                             "log.dat", c.log);
    ASSERT_EQ(1, r.status) << c.name;
    for (char letter : std::string("GRECJS"))  // observed by every constellation
      EXPECT_TRUE(vlntest::Holds(r.obs, std::string("\n") + letter)) << c.name << letter;
    EXPECT_TRUE(vlntest::Holds(r.nav, "\nJ0")) << c.name;  // QZSS has no solution of its own
    std::string obs = write_temp(r.obs, ".obs"), nav = write_temp(r.nav, ".nav");
    PositionReport report = check_positions(obs, {nav});
    remove(obs.c_str());
    remove(nav.c_str());
    ASSERT_TRUE(report.ok) << c.name << ": " << report.error;
    ASSERT_EQ(5u, report.stats.size());
    EXPECT_GT(report.phase_doppler_pairs, 1000) << c.name;
    EXPECT_LT(report.phase_doppler_hz, 0.1) << c.name;  // noise: a few hundredths
    for (const PositionStats& s : report.stats) {
      std::string name = std::string(c.name) + " " + s.name;
      bool all = s.name == "all";
      EXPECT_GT(s.epochs, 0) << name;
      EXPECT_EQ(s.epochs, s.solved) << name;
      // Noise alone gives about a metre per constellation and a quarter of one
      // all together; the bounds leave room for that and no more, so that a
      // group delay or rate term of the wrong scale shows too.
      EXPECT_LT(s.median, all ? 0.5 : 3.0) << name;
      EXPECT_LT(s.p95, all ? 1.2 : 8.0) << name;
    }
  }
}

}  // namespace
