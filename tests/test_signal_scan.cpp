// The quick pass over a log before a standard conversion: its epochs' spacing and
// periods, GPS leap seconds, GLONASS channels and signals, in logs built here.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <set>

#include "glonass_channels.h"
#include "meas_frames.h"
#include "nav_encoders.h"
#include "runner.h"
#include "signal_scan.h"

using namespace vlntest;

namespace {

constexpr uint32_t kQuarterMs = 345600000;      // week 2400, a quarter hour's start (ms of week)
constexpr int64_t kQuarter = 2400 * 672 + 384;  // its number: 672 quarters a week

LogScan scanned(const Bytes& log, double period, double interval, double start = -1e300,
                double end = 1e300) {
  LogScan scan;
  scan.period = period, scan.interval = interval, scan.start = start, scan.end = end;
  std::string path = temp_path(".dat");
  FILE* fp = fopen(path.c_str(), "w+b");
  fwrite(log.data(), 1, log.size(), fp);
  rewind(fp);
  FileSource source(fp);
  EXPECT_TRUE(Scan_log(&source, &scan));
  U08 two[2] = {0, 0};  // back at the start; the size (threads or not) told without moving
  std::string why;
  EXPECT_TRUE(source.read(two, 1, &why) == 1 && source.size() == (long)log.size());
  EXPECT_TRUE(source.read(two + 1, 1, &why) == 1 && two[1] == log[1]);
  source.close();
  remove(path.c_str());
  return scan;
}

Meas gps_l1(uint8_t svid) { return {0x00, svid, 7, 40, 2.2e7, 1.1e8, 0.0f, 0}; }

}  // namespace

TEST(SignalScan, EpochsGiveTheSpacingOnTheGridAndTheirPeriods) {
  // Around the quarter's start; the epoch at 20 s sent twice.
  const int kMs[] = {-30000, -20000, -10000, 0, 500, 10000, 20000, 20000, 60000};
  Bytes e5_log, dc_log;
  for (int ms : kMs) {
    append(&e5_log, e5(0, kQuarterMs + ms, {gps_l1(5)}));
    append(&dc_log, frame(Payload(0xDC).u8(0).be16(2400).be32(kQuarterMs + ms).be16(1000)));
  }
  // A time message cut short, 15 minutes on: the conversion takes no epoch from it.
  append(&dc_log, frame(Payload(0xDC).u8(0).be16(2400).be32(kQuarterMs + 900000).u8(3)));
  Payload dd(0xDD);  // and once, two satellites' original records: G05, then R01
  dd.u8(0).u8(2).u8(5).u8(40).f64(2e7).f64(1e8).f32(0).u8(0).u8(65).u8(40).f64(2e7).f64(1e8);
  append(&dc_log, frame(dd.f32(0).u8(0)));
  const double kAll = 1e300, kAt = kQuarter * 900.0;
  const struct {
    const Bytes* log;
    double interval, start, end, spacing;
    std::set<int64_t> periods;
  } kCases[] = {
      {&e5_log, 0, -kAll, kAll, 0.5, {kQuarter - 1, kQuarter}},
      {&dc_log, 0, -kAll, kAll, 0.5, {kQuarter - 1, kQuarter}},
      {&e5_log, 1, -kAll, kAll, 10, {kQuarter - 1, kQuarter}},   // 0.5 s is off the grid
      {&e5_log, 30, -kAll, kAll, 30, {kQuarter - 1, kQuarter}},  // -30, 0 and 60 on it
      {&e5_log, 30, kAt, kAll, 60, {kQuarter}},                  // from the quarter's start on
      {&e5_log, 0, -kAll, kAt, 10, {kQuarter - 1}},              // up to it
  };
  for (const auto& c : kCases) {
    LogScan scan = scanned(*c.log, 900, c.interval, c.start, c.end);
    EXPECT_EQ(std::make_pair(c.spacing, c.periods), std::make_pair(scan.spacing, scan.periods))
        << c.interval << " " << c.start << " " << c.end;
  }
  EXPECT_TRUE(scanned(e5_log, 0, 0).periods.empty());  // no period length, no periods
  for (int sig : {SIG_GPS_L1CA, SIG_GLO_L1}) EXPECT_TRUE(scanned(dc_log, 0, 0).present[sig]) << sig;
}

// Page 18 tells GPS's leap seconds from a GPS satellite with data ID 1, or a
// QZSS one with data ID 0. Rows: PRN, subframe, data ID, SV ID, whether known.
TEST(SignalScan, LeapSecondsFromPage18OfGpsOrQzss) {
  const int kCases[][5] = {{1, 4, 1, 56, 1},   {32, 4, 1, 56, 1},  {5, 4, 0, 56, 0},
                           {5, 4, 1, 57, 0},   {5, 5, 1, 56, 0},   {193, 4, 0, 56, 1},
                           {202, 4, 0, 56, 1}, {203, 4, 0, 56, 0}, {194, 4, 3, 56, 0},
                           {194, 4, 1, 56, 0}, {192, 4, 0, 56, 0}, {120, 4, 0, 56, 0}};
  for (const auto& c : kCases) {
    GpsPage18 page = {};
    page.data_id = (uint32_t)c[2], page.dt_ls = 18;
    Words24 words = encode_gps_page18(page);
    words[2] ^= (uint32_t)(c[3] ^ 56) << 16;  // word 3 bits 3-8
    LogScan scan = scanned(frame(gps_subframe_payload((uint8_t)c[0], (uint8_t)c[1], words)), 0, 0);
    EXPECT_EQ(c[4] == 1, scan.leap_known) << c[0] << " " << c[1] << " " << c[2] << " " << c[3];
    EXPECT_EQ(c[4] * 18, scan.leap) << c[0];
  }
}

// The channel numbers of GLONASS records and almanac strings; the signals of
// the first kind of measurement message only.
TEST(SignalScan, GlonassChannelsAndSignalsOfTheFirstMeasurementKind) {
  Bytes log;
  append(&log, frame(glonass_string_payload(1, 9, glonass_almanac_k_string(4))));  // no frame yet
  // Frame times 00:00:00 and 01:00:30 (tk: hours, minutes, half minute): the
  // superframe's first and second frames, whose strings 7 and 9 tell slots 1 and 7.
  const int kStrings[][3] = {{0, 7, -5}, {1 << 7 | 1, 9, -3}};  // tk, string number, k
  for (const auto& s : kStrings) {
    GloImmediate now = {};
    now.tk = (uint32_t)s[0];
    append(&log, frame(glonass_string_payload(24, 1, encode_glonass(now)[0])));
    append(&log, frame(glonass_string_payload(1, (uint8_t)s[1], glonass_almanac_k_string(s[2]))));
  }
  Bytes meas;  // announcing a record more than it holds, its checksum byte a GLONASS code
  for (uint8_t cn0 = 30; meas.empty() || (meas[meas.size() - 3] & 0x0F) != 2; cn0++)
    meas = e5(0, kQuarterMs, {gps_l1(5), {0x02, 9, 9, cn0, 2.2e7, 1.1e8, 0.0f, 0}}, 1);
  append(&log, meas);
  append(&log, frame(Payload(0xDD).u8(0).u8(1).u8(33).u8(40).f64(2e7).f64(1e8).f32(0).u8(0)));
  LogScan scan = scanned(log, 0, 0);
  std::map<int, int> told = {{1, -5}, {7, -3}, {9, 2}};  // slot 9: its record's channel
  for (int slot = 1; slot <= GLO_MAX_SLOT; slot++)
    EXPECT_EQ(told.count(slot) ? told[slot] : GLONASS_UNKNOWN_K, scan.glonass_k[slot]) << slot;
  for (int sig = 0; sig < SIG_COUNT; sig++)
    EXPECT_EQ(sig == SIG_GPS_L1CA || sig == SIG_GLO_L1, scan.present[sig]) << sig;
}
