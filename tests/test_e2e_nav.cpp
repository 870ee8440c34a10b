// End-to-end: navigation words of every constellation through the real
// program into the navigation file. Expected records are written from the
// record formats with the encoded values times the interface documents' scales.
#include <gtest/gtest.h>

#include <cctype>
#include <ctime>

#include "expect_format.h"
#include "frame_builder.h"
#include "nav_encoders.h"
#include "runner.h"

using namespace vlntest;

namespace {

using namespace scale;

typedef std::vector<std::string> Lines;

std::string zero12() { return expect_d12(0.0); }

// Header lines 2-4 and the closing lines, with a leap-second count.
Lines nav_header(const char* sys, const Lines& corrections, int leap) {
  Lines h = {
      std::string("     3.02           N: GNSS NAV DATA    ") + sys + "RINEX VERSION / TYPE",
      std::string("Velnora FW host     Velnora Corp.       ") + kRunDate + "PGM / RUN BY / DATE ",
      "Velnora FW kernel 1.100.38                                  COMMENT             ",
      "Vln test version                                            COMMENT             "};
  h.insert(h.end(), corrections.begin(), corrections.end());
  h.push_back(fmt_int("%6ld", leap) + std::string(54, ' ') + "LEAP SECONDS        ");
  h.push_back(std::string(60, ' ') + "END OF HEADER       ");
  return h;
}

std::string iono(const char* name, double a, double b, double c, double d) {
  return std::string(name) + " " + expect_d12(a) + expect_d12(b) + expect_d12(c) + expect_d12(d) +
         "       IONOSPHERIC CORR    ";
}

std::string time_corr(const char* name, double a0, double a1, long tow, long wn) {
  return std::string(name) + " " + expect_d17(a0) + expect_d16(a1) + fmt_int("%7ld", tow) +
         fmt_int("%5ld", wn) + "          TIME SYSTEM CORR    ";
}

std::string zero_iono(const char* name) { return iono(name, 0, 0, 0, 0); }

// Days from 1970-01-01 to a proleptic Gregorian date, and back.
long long days_from_civil(long long y, int m, int d) {
  y -= m <= 2;
  long long era = (y >= 0 ? y : y - 399) / 400;
  long long yoe = y - era * 400;
  long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  return era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468;
}

void civil_from_days(long long z, int* y, int* m, int* d) {
  z += 719468;
  long long era = (z >= 0 ? z : z - 146096) / 146097;
  long long doe = z - era * 146097;
  long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  long long mp = (5 * doy + 2) / 153;
  *d = (int)(doy - (153 * mp + 2) / 5 + 1);
  *m = (int)(mp < 10 ? mp + 3 : mp - 9);
  *y = (int)(yoe + era * 400 + (*m <= 2));
}

// Calendar fields of a time given as seconds after an epoch (UTC calendar arithmetic).
std::string epoch_fields(long long epoch, double seconds) {
  long long t = epoch + (long long)seconds;
  long long days = (t >= 0 ? t : t - 86399) / 86400, sod = t - days * 86400;
  int y, m, d;
  civil_from_days(days, &y, &m, &d);
  char b[64];
  snprintf(b, sizeof b, " %4d %2d %2d %2d %2d %2d", y, m, d, (int)(sod / 3600),
           (int)(sod % 3600 / 60), (int)(sod % 60));
  return b;
}

long long utc(int y, int m, int d) { return days_from_civil(y, m, d) * 86400; }

std::string orbit(double a, double b, double c, double d) {
  return "    " + expect_d19(a) + expect_d19(b) + expect_d19(c) + expect_d19(d);
}

std::string first(const std::string& sv, const std::string& epoch, double a, double b, double c) {
  return sv + epoch + expect_d19(a) + expect_d19(b) + expect_d19(c);
}

std::string sv(char letter, int n) {
  return fmt_int(std::string(1, letter).append("%02ld").c_str(), n);
}

void expect_lines(const Lines& want, const std::string& file) {
  Lines got = lines(file);
  ASSERT_EQ(want.size(), got.size()) << file;
  for (size_t i = 0; i < want.size(); i++) EXPECT_EQ(want[i], got[i]) << "line " << i + 1;
}

// ---- GPS / QZSS ----
GpsLnav gps_values(int seed, uint32_t iode) {
  GpsLnav v = {};
  v.tow_count = 57590 + (uint32_t)seed;
  v.week = 352;
  v.code_l2 = 1;
  v.ura = (uint32_t)seed % 16;
  v.health = (uint32_t)seed % 2;
  v.iodc = 0x100 | iode;
  v.l2p = 1;
  v.tgd = -11 + seed;
  v.toc = 21600 + 225 * (uint32_t)(iode % 8);  // on the hour
  v.af2 = seed % 3 - 1;
  v.af1 = -1234 * seed;
  v.af0 = (int32_t)quantise(-2.3e-4 + 1e-5 * seed, 0x1p-31);
  v.iode = iode;
  v.crs = (int32_t)quantise(-72.4375 + seed, 0x1p-5);
  v.delta_n = (int32_t)quantise(4.3e-9, k2_43 * kPi);
  v.m0 = (int32_t)quantise(-2.8123 + 0.3 * seed, k2_31 * kPi);
  v.cuc = (int32_t)quantise(-3.7e-6, k2_29);
  v.e = (uint32_t)quantise(0.0123456 + 0.001 * seed, k2_33);
  v.cus = (int32_t)quantise(8.1e-6, k2_29);
  v.sqrt_a = (uint32_t)quantise(5153.6543 + seed, 0x1p-19);
  v.toe = v.toc;
  v.fit = (uint32_t)seed % 2;
  v.cic = (int32_t)quantise(-1.2e-7, k2_29);
  v.omega0 = (int32_t)quantise(1.9876 - 0.1 * seed, k2_31 * kPi);
  v.cis = (int32_t)quantise(6.5e-8, k2_29);
  v.i0 = (int32_t)quantise(0.9712, k2_31 * kPi);
  v.crc = (int32_t)quantise(245.125, 0x1p-5);
  v.omega = (int32_t)quantise(-0.7543 + 0.01 * seed, k2_31 * kPi);
  v.omega_dot = (int32_t)quantise(-8.1e-9, k2_43 * kPi);
  v.idot = (int32_t)quantise(-3.2e-10 + 1e-11 * seed, k2_43 * kPi);
  return v;
}

void add_gps(Bytes* log, uint8_t prn, const GpsLnav& v, std::vector<int> order = {1, 2, 3}) {
  auto sf = encode_gps_lnav(v);
  for (int s : order) append(log, frame(gps_subframe_payload(prn, (uint8_t)s, sf[(size_t)s - 1])));
}

Lines gps_record(char letter, int number, const GpsLnav& v) {
  const double ura[16] = {2.4, 3.4, 4.85, 6.85, 9.65, 13.65, 24,   48,
                          96,  192, 384,  768,  1536, 3072,  6144, 6144};
  double toc = v.toc * 16.0;
  int wn = 2048 + (int)v.week;  // the transmission and toc lie in the same week here
  return {first(sv(letter, number), epoch_fields(utc(1980, 1, 6), wn * 604800.0 + toc),
                (float)v.af0 * 0x1p-31f, (float)v.af1 * 0x1p-43f, (float)v.af2 * 0x1p-55f),
          orbit(v.iode, v.crs * 0x1p-5, v.delta_n * (k2_43 * kPi), (v.m0 * k2_31) * kPi),
          orbit(v.cuc * k2_29, v.e * k2_33, v.cus * k2_29, v.sqrt_a * 0x1p-19),
          orbit(v.toe * 16.0, v.cic * k2_29, (v.omega0 * k2_31) * kPi, v.cis * k2_29),
          orbit((v.i0 * k2_31) * kPi, v.crc * 0x1p-5, (v.omega * k2_31) * kPi,
                (v.omega_dot * k2_43) * kPi),
          orbit(v.idot * (k2_43 * kPi), v.code_l2, wn, v.l2p),
          orbit(ura[v.ura], v.health, (float)v.tgd * 0x1p-31f, v.iodc),
          "    " + expect_d19(v.tow_count * 6.0) + expect_d19(v.fit ? 6 : 4)};
}

// ---- GLONASS ----
GloImmediate glo_values(int seed, uint32_t tb) {
  GloImmediate v = {};
  v.tk = (uint32_t)((tb * 15 / 60) << 7) | (uint32_t)(2 * seed);  // hour of tb, minute 2 x seed
  v.tb = tb;
  v.p1 = 1;
  v.p2 = 1;
  v.bn = (uint32_t)seed % 2;
  v.ln = 0;
  v.m = 1;
  v.n = (uint32_t)seed;
  v.nt = 340;
  v.ft = 3;
  v.en = 2;
  v.n4 = 8;
  v.x = -12345678 + seed;
  v.dx = 1234567;
  v.ddx = -2;
  v.y = 23456789;
  v.dy = -2345678 + seed;
  v.ddy = 1;
  v.z = -9876543;
  v.dz = 345678;
  v.ddz = 0;
  v.gamma = -3 + seed;
  v.tau = -123456 * seed;
  v.tau_c = 77;
  return v;
}

void add_glonass(Bytes* log, uint8_t slot, const GloImmediate& v) {
  auto s = encode_glonass(v);
  for (int i = 1; i <= 5; i++)
    append(log, frame(glonass_string_payload(slot, (uint8_t)i, s[(size_t)i - 1])));
}

Lines glonass_record(int slot, const GloImmediate& v, int k) {
  // Day NT of four-year interval N4 (1 starts 1996-01-01), tb in Moscow time, 3 h ahead of UTC.
  double days = (v.n4 - 1) * 1461.0 + (v.nt - 1);
  double tb = v.tb * 900.0;
  double tod = (double)((v.tk >> 7) * 3600 + ((v.tk >> 1) & 0x3F) * 60 + (v.tk & 1) * 30);
  double gps_seconds = (utc(1996, 1, 1) - utc(1980, 1, 6)) + days * 86400 + tod - 10800;
  double frame_time = gps_seconds - 604800.0 * (double)(long)(gps_seconds / 604800.0);
  auto sm = [](int32_t m) { return m; };
  return {
      first(sv('R', slot), epoch_fields(utc(1996, 1, 1), days * 86400 + tb - 10800),
            -(float)(sm(v.tau) * 0x1p-30), (float)(v.gamma * 0x1p-40), frame_time),
      orbit(v.x * 0x1p-11, (float)(v.dx * 0x1p-20), (float)(v.ddx * 0x1p-30), (v.bn << 1) | v.ln),
      orbit(v.y * 0x1p-11, (float)(v.dy * 0x1p-20), (float)(v.ddy * 0x1p-30), k),
      orbit(v.z * 0x1p-11, (float)(v.dz * 0x1p-20), (float)(v.ddz * 0x1p-30), v.en)};
}

// ---- BeiDou ----
BdsEph bds_values(int seed, uint32_t sow, uint32_t toc_raw) {
  BdsEph v = {};
  v.sow = sow;
  v.sath1 = 0;
  v.aodc = (uint32_t)seed;
  v.urai = 2;
  v.wn = 1044;
  v.toc = v.toe = toc_raw;
  v.tgd1 = -60 + seed;
  v.tgd2 = 25;
  v.alpha[0] = 14, v.alpha[1] = -2, v.alpha[2] = -60, v.alpha[3] = 30 + seed;
  v.beta[0] = 120, v.beta[1] = -5, v.beta[2] = -64, v.beta[3] = 16;
  v.a2 = -3;
  v.a0 = -4000000 + 1000 * seed;
  v.a1 = 150000;
  v.aode = (uint32_t)seed + 1;
  v.delta_n = 12000;
  v.cuc = -40000 + seed;
  v.m0 = -1500000000 + 1000000 * seed;
  v.e = 5000000u;
  v.cus = 41000;
  v.crc = -5000;
  v.crs = 77777;
  v.sqrt_a = 2700000000u;
  v.i0 = 700000000;
  v.cic = -99;
  v.omega_dot = -8000000;
  v.cis = 1234;
  v.idot = -812;
  v.omega0 = 2000000000 - seed;
  v.omega = -100000;
  return v;
}

Lines bds_record(int number, const BdsEph& v, uint32_t start_tow) {
  const double urai[16] = {2.4, 3.4, 4.85, 6.85, 9.65, 13.65, 24,   48,
                           96,  192, 384,  768,  1536, 3072,  6144, 6144};
  return {
      first(sv('C', number), epoch_fields(utc(2006, 1, 1), v.wn * 604800.0 + v.toc * 8.0),
            (float)v.a0 * 0x1p-33f, (float)v.a1 * 0x1p-50f, (float)v.a2 * 0x1p-66f),
      orbit(v.aode, (float)v.crs * 0x1p-6f, (v.delta_n * 0x1p-43) * kPi, (v.m0 * 0x1p-31) * kPi),
      orbit((float)v.cuc * 0x1p-31f, v.e * 0x1p-33, (float)v.cus * 0x1p-31f, v.sqrt_a * 0x1p-19),
      orbit(v.toe * 8.0, (float)v.cic * 0x1p-31f, (v.omega0 * 0x1p-31) * kPi,
            (float)v.cis * 0x1p-31f),
      orbit((v.i0 * 0x1p-31) * kPi, (float)v.crc * 0x1p-6f, (v.omega * 0x1p-31) * kPi,
            (v.omega_dot * 0x1p-43) * kPi),
      orbit((v.idot * 0x1p-43) * kPi, 0.0, v.wn, 0.0),
      orbit(urai[v.urai], v.sath1, (float)v.tgd1 * 1e-10f, (float)v.tgd2 * 1e-10f),
      "    " + expect_d19(start_tow) + expect_d19(v.aodc)};
}

void add_bds_d1(Bytes* log, uint8_t number, const BdsEph& v) {
  auto sf = encode_bds_d1(v);
  for (int s = 1; s <= 3; s++)
    append(log, frame(bds_payload(0xE2, number, (uint8_t)s, sf[(size_t)s - 1])));
}

void add_bds_d2(Bytes* log, uint8_t number, const BdsEph& v) {
  auto pages = encode_bds_d2(v);
  for (const InfoBits& p : pages) append(log, frame(bds_payload(0xE3, number, 1, p)));
}

// ---- Galileo ----
GalEph gal_values(int seed, uint32_t iodnav) {
  GalEph v = {};
  v.iodnav = iodnav;
  v.toe = v.toc = 5760 + iodnav % 10 * 10;  // 345600 s plus ten-minute steps
  v.m0 = -123456789 + 10000000 * seed;
  v.e = 2000000u;
  v.sqrt_a = 2900000000u + (uint32_t)seed;
  v.omega0 = 2111111111;
  v.i0 = 600000000;
  v.omega = 42 * seed;
  v.idot = -800;
  v.omega_dot = -5000000;
  v.delta_n = 12000;
  v.cuc = -3000;
  v.cus = 4000;
  v.crc = 2000 + seed;
  v.crs = -300;
  v.sisa = 107;
  v.svid = (uint32_t)seed;
  v.cic = -5;
  v.cis = 5;
  v.af0 = -12345678 * seed;
  v.af1 = -1000;
  v.af2 = 0;
  v.ai0 = 200 + (uint32_t)seed;
  v.ai1 = -3;
  v.ai2 = 100;
  v.bgd_a = -5;
  v.bgd_b = -6;
  v.e1b_hs = (uint32_t)seed % 4;
  v.e5b_dvs = 1;
  v.wn = 1376;
  v.tow = 345000 + (uint32_t)seed;
  return v;
}

void add_galileo(Bytes* log, uint8_t svid, const GalEph& v) {
  auto w = encode_galileo(v);
  for (const GalWord& word : w) append(log, frame(galileo_payload(svid, word)));
}

Lines galileo_record(int svid, const GalEph& v) {
  double sisa = 2.0 + (v.sisa - 100) * 0.16;
  double health = (double)((v.e1b_hs << 1) | (v.e5b_dvs << 6) | (v.e5b_hs << 7) | v.e1b_dvs);
  int wn = 1024 + (int)v.wn;
  return {
      first(sv('E', svid), epoch_fields(utc(1980, 1, 6), wn * 604800.0 + v.toc * 60.0),
            v.af0 * 5.8207660913467e-11, v.af1 * 1.4210854715202e-14, v.af2 * 1.7347234759768e-18),
      orbit(v.iodnav, (float)(v.crs / 32.0), (v.delta_n * k2_43) * kPi, (v.m0 * k2_31) * kPi),
      orbit((float)(v.cuc * k2_29), v.e * k2_33, (float)(v.cus * k2_29), v.sqrt_a * 0x1p-19),
      orbit(v.toe * 60.0, (float)(v.cic * k2_29), (v.omega0 * k2_31) * kPi, (float)(v.cis * k2_29)),
      orbit((v.i0 * k2_31) * kPi, (float)(v.crc / 32.0), (v.omega * k2_31) * kPi,
            (v.omega_dot * k2_43) * kPi),
      orbit((v.idot * k2_43) * kPi, 513.0, wn, 0.0),
      orbit(sisa, health, (float)(v.bgd_a * 2.3283064365386e-10),
            (float)(v.bgd_b * 2.3283064365386e-10)),
      "    " + expect_d19(v.tow) + expect_d19(0.0) + std::string(38, ' ')};
}

}  // namespace

TEST(NavigationFile, HeadersBeforeAnyData) {
  struct Case {
    std::vector<std::string> args;
    const char* sys;
    Lines corrections;
  };
  const std::string gput = time_corr("GPUT", 0, 0, 0, 0);
  const Case cases[] = {
      {{"G"}, "G: GPS              ", {zero_iono("GPSA"), zero_iono("GPSB"), gput}},
      {{"G", "R"}, "M: Mixed            ", {zero_iono("GPSA"), zero_iono("GPSB"), gput}},
      {{"J"}, "J: QZSS             ", {zero_iono("QZSA"), zero_iono("QZSB")}},
      {{"E"}, "E: Galileo          ", {zero_iono("GAL "), time_corr("GAUT", 0, 0, 0, 0)}},
      {{"C"},
       "C: BDS              ",
       {zero_iono("BDSA"), zero_iono("BDSB"), time_corr("BDUT", 0, 0, 0, 0)}},
      {{"R"}, "R: GLONASS          ", {}},
      {{"S"}, "S: SBAS             ", {}},
      {{},
       "M: Mixed            ",
       {zero_iono("GPSA"), zero_iono("GPSB"), zero_iono("QZSA"), zero_iono("QZSB"),
        zero_iono("BDSA"), zero_iono("BDSB"), zero_iono("GAL "), gput,
        time_corr("BDUT", 0, 0, 0, 0), time_corr("GAUT", 0, 0, 0, 0)}},
  };
  EXPECT_EQ("   .0000E+00", zero12());
  for (const Case& c : cases) {
    std::vector<std::string> args = {"log.dat"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    auto r = run_program(args, "log.dat", {});
    expect_lines(nav_header(c.sys, c.corrections, 18), r.nav);
  }
}

TEST(NavigationFile, EveryConstellationTwoEphemeridesEach) {
  Bytes log;
  Lines records;
  auto add_records = [&](const Lines& r) { records.insert(records.end(), r.begin(), r.end()); };

  // GPS: PRN 3 and 17, a repeat and out-of-order subframes; page 18 from a GPS satellite.
  GpsLnav g3a = gps_values(1, 10), g17a = gps_values(2, 20), g3b = gps_values(3, 11),
          g17b = gps_values(4, 21);
  add_gps(&log, 3, g3a);
  add_gps(&log, 3, g3a);  // same IODE and IODC: no second record
  add_gps(&log, 17, g17a, {3, 1, 2, 3});
  add_gps(&log, 3, g3b);
  add_gps(&log, 17, g17b);
  for (const GpsLnav* v : {&g3a, &g17a, &g3b, &g17b})
    add_records(gps_record('G', v == &g3a || v == &g3b ? 3 : 17, *v));
  GpsPage18 p18 = {1, {10, -20, 0, 127}, {30, -2, -64, 5}, -20000, 3000, 144, 0x2A, 19};
  append(&log, frame(gps_subframe_payload(5, 4, encode_gps_page18(p18))));
  GpsPage18 q18 = {3, {1, 2, 3, 4}, {-1, -2, -3, -4}, 0, 0, 0, 0, 18};
  append(&log, frame(gps_subframe_payload(195, 4, encode_gps_page18(q18))));

  // QZSS 193 and 195 (numbers 1 and 3).
  GpsLnav j1a = gps_values(5, 30), j3a = gps_values(6, 40), j1b = gps_values(7, 31),
          j3b = gps_values(8, 41);
  add_gps(&log, 193, j1a);
  add_gps(&log, 195, j3a);
  add_gps(&log, 193, j1b);
  add_gps(&log, 195, j3b);
  add_records(gps_record('J', 1, j1a));
  add_records(gps_record('J', 3, j3a));
  add_records(gps_record('J', 1, j1b));
  add_records(gps_record('J', 3, j3b));

  // GLONASS: slot 5 measured with k 0 (the almanac says 3), slot 9 from the almanac
  // only (k -7), slot 11 with no k at all: no record.
  Payload meas(0xE5);
  meas.u8(1).u8(1).be16(2400).be32(345600000).be16(1000).u8(0).u8(0).u8(1);
  meas.u8(2).u8(5).u8(0x07).u8(40).f64(2.0e7).f64(1.0).f32(1.0f).zeros(7);
  append(&log, frame(meas));
  append(&log, frame(glonass_string_payload(
                   1, 1, encode_glonass(glo_values(0, 0))[0])));                    // tk 0: frame 0
  append(&log, frame(glonass_string_payload(1, 15, glonass_almanac_k_string(3))));  // slot 5
  GloImmediate f1 = glo_values(0, 0);
  f1.tk = 1;  // frame 1
  append(&log, frame(glonass_string_payload(1, 1, encode_glonass(f1)[0])));
  append(&log, frame(glonass_string_payload(1, 13, glonass_almanac_k_string(-7))));  // slot 9
  GloImmediate r5a = glo_values(1, 40), r9a = glo_values(2, 40), r5b = glo_values(3, 41),
               r9b = glo_values(4, 41);
  add_glonass(&log, 5, r5a);
  add_glonass(&log, 9, r9a);
  add_glonass(&log, 11, glo_values(5, 40));
  append(&log, frame(glonass_string_payload(5, 5, encode_glonass(r5a)[4])));  // same tb again
  add_glonass(&log, 5, r5b);
  add_glonass(&log, 9, r9b);
  add_records(glonass_record(5, r5a, 0));
  add_records(glonass_record(9, r9a, -7));
  add_records(glonass_record(5, r5b, 0));
  add_records(glonass_record(9, r9b, -7));

  // BeiDou D1: numbers 7 and 12; then subframe 5 page 10.
  BdsEph c7a = bds_values(1, 345600, 43200), c12a = bds_values(2, 345630, 43200);
  BdsEph c7b = bds_values(3, 349200, 43650), c12b = bds_values(4, 349230, 43650);
  add_bds_d1(&log, 7, c7a);
  add_bds_d1(&log, 12, c12a);
  add_bds_d1(&log, 7, c7b);
  add_bds_d1(&log, 12, c12b);
  add_records(bds_record(7, c7a, c7a.sow));
  add_records(bds_record(12, c12a, c12a.sow));
  add_records(bds_record(7, c7b, c7b.sow));
  add_records(bds_record(12, c12b, c12b.sow));
  BdsUtc bdut = {4, 4, 100, -500, 3000};
  append(&log, frame(bds_payload(0xE2, 7, 5, encode_bds_d1_page10(349260, bdut))));

  // BeiDou D2: numbers 1 and 2; a new data set needs two identical cycles.
  BdsEph c1a = bds_values(5, 360000, 45000), c2a = bds_values(6, 360000, 45000);
  BdsEph c1b = bds_values(7, 360060, 45450), c2b = bds_values(8, 360060, 45450);
  add_bds_d2(&log, 1, c1a);
  add_bds_d2(&log, 2, c2a);
  add_bds_d2(&log, 1, c1b);  // changed data: rejected once
  add_bds_d2(&log, 1, c1b);
  add_bds_d2(&log, 2, c2b);
  add_bds_d2(&log, 2, c2b);
  add_records(bds_record(1, c1a, c1a.sow + 27));
  add_records(bds_record(2, c2a, c2a.sow + 27));
  add_records(bds_record(1, c1b, c1b.sow + 27));
  add_records(bds_record(2, c2b, c2b.sow + 27));

  // Galileo: SVID 4 and 19; word type 6 after the decodes.
  GalEph e4a = gal_values(4, 100), e19a = gal_values(19, 200), e4b = gal_values(4, 101),
         e19b = gal_values(19, 201);
  add_galileo(&log, 4, e4a);
  add_galileo(&log, 19, e19a);
  add_galileo(&log, 4, e4b);
  add_galileo(&log, 19, e19b);
  append(&log, frame(galileo_payload(19, encode_galileo_type6({-100, 200}))));
  add_records(galileo_record(4, e4a));
  add_records(galileo_record(19, e19a));
  add_records(galileo_record(4, e4b));
  add_records(galileo_record(19, e19b));

  // SBAS (not selected): decoded into its own table, never written.
  append(&log, frame(sbas_payload(129, encode_sbas_mt12(1000, 352))));

  auto r = run_program({"log.dat", "G", "J", "R", "C", "E"}, "log.dat", log);
  ASSERT_EQ(1, r.status);
  Lines corrections = {iono("GPSA", 10 * 0x1p-30, -20 * 0x1p-27, 0, 127 * 0x1p-24),
                       iono("GPSB", 30 * 2048.0, -2 * 16384.0, -64 * 65536.0, 5 * 65536.0),
                       iono("QZSA", 0x1p-30, 2 * 0x1p-27, 3 * 0x1p-24, 4 * 0x1p-24),
                       iono("QZSB", -2048.0, -2 * 16384.0, -3 * 65536.0, -4 * 65536.0),
                       iono("BDSA", 14 * 0x1p-30, -2 * 0x1p-27, -60 * 0x1p-24, 34 * 0x1p-24),
                       iono("BDSB", 120 * 2048.0, -5 * 16384.0, -64 * 65536.0, 16 * 65536.0),
                       iono("GAL ", 219 / 4.0, -3 / 256.0, 100 / 32768.0, 0),
                       time_corr("GPUT", 3000 * 0x1p-30, -20000 * 0x1p-50, 144 * 4096, 1536 + 0x2A),
                       time_corr("BDUT", -500 * 0x1p-30, (double)(3000 * 0x1p-50f), 4, 100 + 1356),
                       time_corr("GAUT", -100 * 0x1p-30, 200 * 0x1p-50, 345019, 1376 + 1024)};
  Lines want = nav_header("M: Mixed            ", corrections, 19);
  for (const std::string& line : want)
    EXPECT_EQ(80u, line.size()) << line;  // as the provisional one
  want.insert(want.end(), records.begin(), records.end());
  expect_lines(want, r.nav);
}

// A GLONASS ephemeris is written only once its slot's frequency number is
// known: a fresh run knows none.
TEST(NavigationFile, GlonassWithoutFrequencyNumberIsNotWritten) {
  Bytes log;
  for (int slot = 1; slot <= 24; slot++) add_glonass(&log, (uint8_t)slot, glo_values(slot, 40));
  auto r = run_program({"log.dat", "R"}, "log.dat", log);
  EXPECT_EQ(std::string::npos, r.nav.find("\nR")) << r.nav;
}
