// End-to-end: measurement messages through the real program into the
// observation file. Expected lines come from the record formats.
#include <gtest/gtest.h>

#include <cstdio>

#include "frame_builder.h"
#include "meas_frames.h"
#include "runner.h"

using namespace vlntest;

namespace {

Bytes dc(uint8_t iod, uint16_t wn, uint32_t tow_ms) {
  return frame(Payload(0xDC).u8(iod).be16(wn).be32(tow_ms).be16(1000));
}

// `extra`: records the count announces beyond those the payload holds.
Bytes dd(uint8_t iod, const std::vector<Meas>& ms, uint32_t extra = 0) {
  Payload p(0xDD);
  p.u8(iod).u8((uint32_t)ms.size() + extra);
  for (const Meas& m : ms)
    p.u8(m.svid).u8(m.cn0).f64(m.pr).f64(m.phase).f32(m.doppler).u8(m.indicator);
  return frame(p);
}

Bytes df(uint8_t state, double x, double y, double z) {
  return frame(Payload(0xDF).u8(1).u8(state).be16(2400).f64(1.0).f64(x).f64(y).f64(z).zeros(44));
}

std::string epoch(int sec_tenths_x, int count) {
  char b[128];
  snprintf(b, sizeof b, "> 2026  1  8  0  0%11.7f  0%3d      %15s", sec_tenths_x / 10.0, count, "");
  return b;
}

// Header lines 1-11 for a selection description, the date fixed by the runner.
std::vector<std::string> header_top(const char* sys, const char* position) {
  return {
      std::string("     3.02           OBSERVATION DATA    ") + sys + "RINEX VERSION / TYPE",
      std::string("vln_raw_to_rinex    Velnora Corp.       ") + kRunDate + "PGM / RUN BY / DATE ",
      "Test version 0.1                                            COMMENT             ",
      "                                                            MARKER NAME         ",
      "                                                            MARKER NUMBER       ",
      "                                                            MARKER TYPE         ",
      "Velnora Corp.                                               OBSERVER / AGENCY   ",
      "                                                            REC # / TYPE / VERS ",
      "                                                            ANT # / TYPE        ",
      std::string(position) + "                  APPROX POSITION XYZ ",
      "        0.0000        0.0000        0.0000                  ANTENNA: DELTA H/E/N"};
}

const char* const kCodPhsBis =
    " C1C    0.000 C1P    0.000 C2C    0.000 C2P    0.000        GLONASS COD/PHS/BIS ";
const char* const kEndOfHeader =
    "                                                            END OF HEADER       ";

std::string phase_shift(char letter) {
  return std::string(1, letter) + std::string(59, ' ') + "SYS / PHASE SHIFT   ";
}

}  // namespace

TEST(ObservationFile, OriginalMessagesSingleFrequencyAllConstellations) {
  vlntest::RinexFaultsExpected original_habits;
  Bytes log;
  append(&log, df(3, -2148744.5678, 4426641.1234, 4044655.9876));
  append(&log, df(2, 1.0, 2.0, 3.0));  // no fix: position not taken
  append(&log, df(3, 1e9, 2.0, 3.0));  // would not fit the header: refused
  append(&log, dc(1, 2400, 345600000));
  append(&log, dd(1, {{0, 5, 0, 45, 21234567.891, 111222333.456, -1234.5f, 0x08},
                      {0, 70, 0, 40, 19876543.21, 1500000000.0, 2345.25f, 0x07},
                      {0, 40, 0, 38, 38000000.5, -1000000000.0, 0.125f, 0},
                      {0, 193, 0, 50, 37000000.25, 1000000000.0, -1.0f, 0},
                      {0, 205, 0, 33, 36000000.75, -123.0, 10.0f, 0},
                      {0, 60, 0, 33, 1.0, 1.0, 1.0f, 0}}));  // identifier in no range: skipped
  append(&log, e9(345600.5));
  append(&log, dc(2, 2400, 345601000));
  append(&log, dd(2, {{0, 5, 0, 46, 21234000.0, 111222000.0, -1234.0f, 0}}));
  append(&log, dc(3, 2400, 345604000));  // three seconds later: a gap
  append(&log, dd(3, {{0, 5, 0, 47, 21233000.0, 111221000.0, -1233.0f, 0}}, 2));
  append(&log, dd(4, {{0, 5, 0, 47, 1.0, 1.0, 1.0f, 0}}));  // no time of its issue: no epoch
  auto r = run_program({"log.dat"}, "log.dat", log);
  ASSERT_EQ(1, r.status);

  std::vector<std::string> want =
      header_top("M: Mixed            ", " -2148744.5678  4426641.1234  4044655.9876");
  for (char c : {'G', 'J', 'S', 'R', 'C', 'E'})
    want.push_back(std::string(1, c) +
                   (c == 'C' ? "    4 C1I L1I D1I S1I" : "    4 C1C L1C D1C S1C") +
                   std::string(38, ' ') + "SYS / # / OBS TYPES ");
  want.push_back(
      "  2026     1     8     0     0    0.0000000     GPS         TIME OF FIRST OBS   ");
  want.push_back(
      "  2026     1     8     0     0    4.0000000     GPS         TIME OF LAST OBS    ");
  for (char c : {'G', 'R', 'E', 'C', 'J', 'S'}) want.push_back(phase_shift(c));
  want.push_back("  0" + std::string(57, ' ') + "GLONASS SLOT / FRQ #");
  want.push_back(kCodPhsBis);
  want.push_back(kEndOfHeader);
  want.push_back(epoch(0, 5));
  want.push_back(rec('G', 5, 21234567.891, 111222333.456, '1', -1234.5, 45));
  want.push_back(rec('R', 6, 19876543.21, -500000000.0, ' ', 2345.25, 40));
  want.push_back(rec('C', 5, 36000000.75, -123.0, ' ', 10.0, 33));
  want.push_back(rec('J', 1, 37000000.25, -1000000000.0, ' ', -1.0, 50));
  want.push_back(rec('S', 27, 38000000.5, -1000000000.0, ' ', 0.125, 38));
  want.push_back("> 2026  1  8  0  0  0.5000000  5  0");
  want.push_back(epoch(10, 1));
  want.push_back(rec('G', 5, 21234000.0, 111222000.0, ' ', -1234.0, 46));
  want.push_back(epoch(40, 1));
  want.push_back(rec('G', 5, 21233000.0, 111221000.0, ' ', -1233.0, 47));
  EXPECT_EQ(want, lines(r.obs));
  size_t lost = r.out.find(
      ">>Measurement lost. Last tow = 345601.000000, tow = 345604.000000, "
      "UTC: 01/08_00:00:4.00\n\n");
  EXPECT_NE(std::string::npos, lost);
  EXPECT_EQ(lost, r.out.find(">>Measurement lost"));  // the one gap, and no other
  EXPECT_EQ(std::string::npos, r.out.find(">>Measurement lost", lost + 1));
  EXPECT_TRUE(Holds(r.out, "Decoded msg epoch number=        3\n"));
}

// Only a position the receiver sent with a fix (navigation state 3 and up)
// reaches APPROX POSITION XYZ; one sent without a fix leaves the last fix's.
TEST(ObservationFile, OnlyFixesGiveTheHeaderPosition) {
  for (int state : {0, 1, 2, 3, 4, 5, 6, 7, 128, 255}) {
    Bytes log;
    append(&log, df(3, 1000.25, 2000.5, 3000.75));
    append(&log, df((uint8_t)state, -4000.0 - state, 5000.125, -6000.5));
    auto r = run_program({"log.dat"}, "log.dat", log);
    char want[64];
    snprintf(want, sizeof want, "%14.4f%14.4f%14.4f", state > 2 ? -4000.0 - state : 1000.25,
             state > 2 ? 5000.125 : 2000.5, state > 2 ? -6000.5 : 3000.75);
    EXPECT_EQ(std::string(want) + std::string(18, ' ') + "APPROX POSITION XYZ ", lines(r.obs)[9])
        << "state " << state;
  }
}

TEST(ObservationFile, ExtendedMessagesDualFrequency) {
  const uint8_t kGps = 0, kSbas = 1, kGlo = 2, kGal = 3, kQzss = 4, kBds = 5;
  std::vector<Meas> ms = {
      {kGps | 0x00, 3, 0x07, 45, 20000000.125, 1000.5, 100.25f, 0x0028},
      {kGps | 0x20, 3, 0x07, 40, 20000001.5, 800.25, 78.0f, 0x0020},  // L2C
      {kGps | 0x10, 3, 0x07, 40, 1.0, 1.0, 1.0f, 0},                  // L1C: not stored
      {kGps | 0x00, 7, 0x07, 44, 21000000.0, -2000.0, -5.5f, 0},      // first signal only
      {kGal | 0x50, 11, 0x07, 39, 23000000.0, 3000.0, 7.0f, 0x0008},  // E5b only
      {kGal | 0x00, 12, 0x07, 44, 22000000.0, 1500.0, 4.0f, 0},
      {kGal | 0x60, 12, 0x07, 38, 22000003.0, 1200.0, 3.0f, 0},  // E6: second frequency
      {kGlo | 0x00, 2, 0x0A, 41, 19000000.0, 400.0, 1.5f, 0},    // k = 3
      {kGlo | 0x40, 2, 0x0A, 40, 1.0, 1.0, 1.0f, 0},             // L3: not stored
      {kBds | 0x00, 30, 0x07, 42, 24000000.0, 500.0, 2.0f, 0},
      {kBds | 0x50, 30, 0x07, 43, 24000002.0, 600.0, 3.0f, 0},  // B2I
      {kSbas | 0x00, 133, 0x07, 35, 38000000.0, 700.0, 0.5f, 0},
      {kQzss | 0x00, 193, 0x07, 47, 37000000.0, 900.0, 2.5f, 0},
      {kQzss | 0x60, 193, 0x07, 30, 1.0, 1.0, 1.0f, 0},  // LEX: not stored
      {kQzss | 0x40, 193, 0x07, 31, 2.0, 2.0, 2.0f, 0},  // L5: not stored
      {kGlo | 0x00, 0, 0x07, 30, 1.0, 1.0, 1.0f, 0},     // no slot 0
      {0x06, 9, 0x07, 30, 1.0, 1.0, 1.0f, 0},            // no constellation
  };
  Bytes log = e5(7, 345600000, ms, 3);  // count announces three records that are not there
  append(&log, e5(8, 345601000, {}));   // no records: time set, no epoch line
  append(&log, e5(9, 345602000, {{kGps, 3, 0x07, 45, 1.0, 2.0, 3.0f, 0}}));
  auto r = run_program({"log.dat", "G", "E", "R", "C", "S", "J", "-dual_freq"}, "log.dat", log);
  ASSERT_EQ(1, r.status);
  const std::string blank64(64, ' ');
  auto obs = lines(r.obs);
  size_t end = 0;
  while (end < obs.size() && obs[end] != kEndOfHeader) end++;
  ASSERT_LT(end, obs.size());
  const char* const kTypes[] = {"G    8 C1C L1C D1C S1C C2L L2L D2L S2L",
                                "J    8 C1C L1C D1C S1C C2L L2L D2L S2L",
                                "S    4 C1C L1C D1C S1C",
                                "R    8 C1C L1C D1C S1C C2C L2C D2C S2C",
                                "C    8 C1I L1I D1I S1I C7I L7I D7I S7I",
                                "E    8 C1C L1C D1C S1C C7Q L7Q D7Q S7Q"};
  for (size_t i = 0; i < 6; i++) {
    std::string line = kTypes[i];
    EXPECT_EQ(line + std::string(60 - line.size(), ' ') + "SYS / # / OBS TYPES ", obs[11 + i]);
  }
  EXPECT_EQ("G L2L  0.00000" + std::string(46, ' ') + "SYS / PHASE SHIFT   ", obs[end - 3]);
  std::vector<std::string> body(obs.begin() + (long)end + 1, obs.end());
  std::vector<std::string> want = {
      epoch(0, 8),
      rec('G', 3, 20000000.125, 1000.5, '3', 100.25, 45) +
          second(20000001.5, 800.25, '2', 78.0, 40),
      rec('G', 7, 21000000.0, -2000.0, ' ', -5.5, 44) + blank64,
      rec('R', 2, 19000000.0, 400.0, ' ', 1.5, 41) + blank64,
      rec('E', 11, 0.0, 0.0, ' ', 0.0, 0) + second(23000000.0, 3000.0, '1', 7.0, 39),
      rec('E', 12, 22000000.0, 1500.0, ' ', 4.0, 44) + second(22000003.0, 1200.0, ' ', 3.0, 38),
      rec('C', 30, 24000000.0, 500.0, ' ', 2.0, 42) + second(24000002.0, 600.0, ' ', 3.0, 43),
      rec('J', 1, 37000000.0, 900.0, ' ', 2.5, 47) + blank64,
      rec('S', 33, 38000000.0, 700.0, ' ', 0.5, 35),
      epoch(20, 1),
      rec('G', 3, 1.0, 2.0, ' ', 3.0, 45) + blank64,  // L2C not measured in this epoch
  };
  ASSERT_EQ(want.size(), body.size());
  for (size_t i = 0; i < want.size(); i++) EXPECT_EQ(want[i], body[i]) << i;
  EXPECT_TRUE(Holds(r.out, "get_obs_data_reference error\n"));
  EXPECT_TRUE(Holds(r.out, "Decoded msg epoch number=        3\n"));
  // 1 s apart, period 1000 ms: the epoch without records counts as one
  EXPECT_EQ(std::string::npos, r.out.find(">>Measurement lost"));
}

TEST(ObservationFile, UnselectedConstellationsAndEventLines) {
  Bytes log = e9(345599.25);
  append(&log, e5(1, 345600000, {{3, 11, 0x07, 39, 2.0, 3.0, 4.0f, 0}}));  // Galileo only
  append(&log, e9(345659.9999998));
  auto r = run_program({"log.dat", "G"}, "log.dat", log);
  auto obs = lines(r.obs);
  ASSERT_EQ(20u, obs.size());
  EXPECT_EQ("     3.02           OBSERVATION DATA    G: GPS              RINEX VERSION / TYPE",
            obs[0]);
  EXPECT_EQ(kEndOfHeader, obs[16]);
  EXPECT_EQ("> 2026  1  7 23 59 59.2500000  5  0", obs[17]);
  EXPECT_EQ(epoch(0, 0), obs[18]);
  EXPECT_EQ("> 2026  1  8  0  0 59.9999962  5  0", obs[19]);  // clamped below 60 s
}
