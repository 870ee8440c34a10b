// Decoder rules that the navigation file does not show field by field: the
// GPS week and issue-of-data checks, GLONASS FT and negative zero, the BeiDou
// D2 double check, and the SBAS GEO record. Words come from the test encoders.
#include <gtest/gtest.h>

#include <random>

#include "const.h"
#include "ephemeris.h"
#include "nav_encoders.h"

using namespace vlntest;

TEST(EphemerisGps, WeekRuleAndIssueOfData) {
  struct Case {
    uint32_t week, tow_count, toc, iodc, iode;
    int wn, result;
  } const kCases[] = {
      {1023, 100000, 0, 0x0A5, 0xA5, 2048, 1},  // d < -302400: the next week, wrapped
      {0, 0, 37800, 0x1A5, 0xA5, 3071, 1},      // d = 604800 > 302400: the week before
      {100, 1000, 375, 0x0A4, 0xA5, 2148, 0},   // IODC low bits differ
      {100, 50400, 0, 0, 0, 2148, 1},           // d = -302400 exactly
      {100, 0, 18900, 0, 0, 2148, 1},           // d = +302400 exactly
  };
  for (const Case& c : kCases) {
    GpsLnav v = {};
    v.week = c.week, v.tow_count = c.tow_count, v.toc = c.toc, v.iodc = c.iodc, v.iode = c.iode;
    auto sf = encode_gps_lnav(v);
    U32 w[30];
    for (size_t i = 0; i < 30; i++) w[i] = stored_gps(sf[i / 10])[i % 10];
    EPH_T e = {};
    EXPECT_EQ(c.result, Eph_gps_qzss_update(w, &e)) << c.week;
    EXPECT_EQ(c.wn, e.WN) << c.week;
  }
}

TEST(EphemerisGlonass, FieldsTheFileDoesNotShow) {
  GloImmediate v = {};
  v.tb = 5, v.p1 = 2, v.p2 = 1, v.p3 = 1, v.tau_c = -0x7FFFFFFF;  // flags and tau_c: not written
  const struct {
    uint32_t index;
    int stored;
  } kFt[] = {{0, 1}, {2, 2}, {13, 0}, {14, 0}, {15, 255}};  // metres, saturated to a byte
  GLOEPH_T e = {};
  D64 tau_c = 0;
  for (const auto& c : kFt) {
    v.ft = c.index;
    auto s = encode_glonass(v);
    U32 w[15];
    for (size_t i = 0; i < 15; i++) w[i] = stored_glonass(s[i / 3])[i % 3];
    w[1] |= 1u << 2;  // string bit 35, the sign of xn, over a zero magnitude
    ASSERT_EQ(1, Eph_glonass_update(w, &e, &tau_c));
    EXPECT_EQ(c.stored, e.FT) << c.index;
    EXPECT_EQ(2 << 3 | 1 << 2 | 1 << 1, e.p1234);
    EXPECT_EQ(-0x7FFFFFFF * 0x1p-31, tau_c);
    EXPECT_EQ(0.0, e.Xn);
    EXPECT_FALSE(std::signbit(e.Xn));
  }
}

// Every immediate-data field from random bits, against the ICD's widths and
// scales, so that no field takes a bit of its neighbour.
TEST(EphemerisGlonass, EveryFieldFromRandomStrings) {
  std::mt19937 rng(29);
  auto u = [&](int bits) { return (uint32_t)rng() & ((1u << bits) - 1); };
  auto sm = [&](int bits) {  // a sign-magnitude value of this width
    int32_t m = (int32_t)u(bits - 1);
    return (rng() & 1) != 0 ? -m : m;
  };
  for (int n = 0; n < 40; n++) {
    GloImmediate v = {};
    v.tk = u(12), v.p1 = u(2), v.tb = u(7), v.p2 = u(1), v.bn = u(3), v.ln = u(1), v.p = u(2);
    v.p3 = u(1), v.m = u(2), v.n = u(5), v.nt = u(11), v.ft = u(4), v.p4 = u(1), v.en = u(5);
    v.n4 = u(5), v.x = sm(27), v.dx = sm(24), v.ddx = sm(5), v.y = sm(27), v.dy = sm(24);
    v.ddy = sm(5), v.z = sm(27), v.dz = sm(24), v.ddz = sm(5), v.gamma = sm(11);
    v.delta_tau = sm(5), v.tau = sm(22);
    v.tau_c = (rng() & 1) != 0 ? -(int64_t)u(31) : (int64_t)u(31);
    auto s = encode_glonass(v);
    s[4][5] |= 0x10;  // string 5 bit 37, reserved, beside N4
    U32 w[15];
    for (size_t i = 0; i < 15; i++) w[i] = stored_glonass(s[i / 3])[i % 3];
    GLOEPH_T e = {};
    D64 tau_c = 0;
    ASSERT_EQ(1, Eph_glonass_update(w, &e, &tau_c));
    const double want[] = {(v.tk >> 7) * 3600.0 + ((v.tk >> 1) & 63) * 60.0 + (v.tk & 1) * 30.0,
                           v.tb * 900.0,
                           (double)(v.bn << 1 | v.ln),
                           (double)v.p,
                           (double)(v.p1 << 3 | v.p2 << 2 | v.p3 << 1 | v.p4),
                           (double)v.m,
                           (double)v.n,
                           (double)v.nt,
                           (double)v.ft,
                           (double)v.en,
                           (double)v.n4,
                           v.x * 0x1p-11,
                           v.y * 0x1p-11,
                           v.z * 0x1p-11,
                           (float)(v.dx * 0x1p-20),
                           (float)(v.dy * 0x1p-20),
                           (float)(v.dz * 0x1p-20),
                           (float)(v.ddx * 0x1p-30),
                           (float)(v.ddy * 0x1p-30),
                           (float)(v.ddz * 0x1p-30),
                           (float)(v.gamma * 0x1p-40),
                           (float)(v.delta_tau * 0x1p-30),
                           (float)(v.tau * 0x1p-30),
                           v.tau_c * 0x1p-31};
    const double got[] = {(double)e.tod,
                          (double)e.tb,
                          (double)e.healthy,
                          (double)e.P_flag,
                          (double)e.p1234,
                          (double)e.M,
                          (double)e.slot_n,
                          (double)e.NT,
                          (double)e.FT_index,
                          (double)e.En,
                          (double)e.N4,
                          e.Xn,
                          e.Yn,
                          e.Zn,
                          e.dXn,
                          e.dYn,
                          e.dZn,
                          e.ddXn,
                          e.ddYn,
                          e.ddZn,
                          e.gamma_n,
                          e.delta_tau_n,
                          e.tau_n,
                          tau_c};
    for (size_t i = 0; i < sizeof want / sizeof want[0]; i++)
      EXPECT_EQ(want[i], got[i]) << "set " << n << " field " << i;
  }
}

TEST(EphemerisBeiDou, D2DoubleCheckAcrossCycles) {
  std::mt19937 rng(19);
  BdsEph v = {};
  v.m0 = (int32_t)rng(), v.e = rng(), v.sqrt_a = rng(), v.omega0 = (int32_t)rng();
  auto pages = encode_bds_d2(v);
  U32 buf[50];
  for (size_t i = 0; i < 50; i++) buf[i] = stored_bds(pages[i / 5], 5)[i % 5];
  const U08 sat = 5;  // no other test uses this geostationary satellite
  BD2EPH_T e = {};
  ASSERT_EQ(1, Eph_bd2_d2_update(sat, buf, &e));  // first cycle: accepted unchecked
  EXPECT_EQ(1, Eph_bd2_d2_update(sat, buf, &e));  // identical
  buf[4 * 5 + 1] ^= 0x100, buf[5 * 5] ^= 0x100;   // not compared: p5 w2, p6 w1 (time)
  EXPECT_EQ(1, Eph_bd2_d2_update(sat, buf, &e));
  // Page 7 word 4, a page's first word compared (page 2 word 3) and the last
  // page's last word: rejected, and each becomes the reference.
  for (size_t word : {6 * 5 + 3, 1 * 5 + 2, 9 * 5 + 4}) {
    buf[word] ^= 0x100;
    EXPECT_EQ(0, Eph_bd2_d2_update(sat, buf, &e)) << word;
    EXPECT_EQ(1, Eph_bd2_d2_update(sat, buf, &e)) << word;
  }
  for (U08 other : {0, 6})  // D2 data of no geostationary satellite 1-5: refused
    EXPECT_EQ(0, Eph_bd2_d2_update(other, buf, &e)) << (int)other;
}

// The SBAS GEO record is kept but not written: its fields against the
// DO-229 scales, extremes first and then random bits in every field.
TEST(EphemerisSbas, GeoNavigationMessage) {
  Eph_init();
  SbasGeoNav v = {200, 5000,   3,    -(1 << 29), 123456789, -1000000, -65536,
                  1,   131071, -512, 511,        -1,        -2048,    127};
  std::mt19937 rng(23);
  auto u = [&](int bits) { return (uint32_t)rng() & ((1u << bits) - 1); };
  auto s = [&](int bits) { return (int32_t)((uint32_t)rng() << (32 - bits)) >> (32 - bits); };
  SBAS_GEO_T* geo = Eph_sbas_get_reference(138 - 120);
  for (int n = 0; n <= 40; n++) {
    SbasMessage m = encode_sbas_mt9(v);
    U32 words[8];
    for (int i = 0; i < 8; i++)
      words[i] = ((U32)m[(size_t)(4 * i)] << 24) | ((U32)m[(size_t)(4 * i + 1)] << 16) |
                 ((U32)m[(size_t)(4 * i + 2)] << 8) | m[(size_t)(4 * i + 3)];
    Eph_sbas_update_mt9(geo, words);
    const double want[] = {(double)v.iod,
                           v.t0 * 16.0,
                           (double)v.ura,
                           v.xg * 0.08,
                           v.yg * 0.08,
                           v.zg * 0.4,
                           v.vx * 0.000625,
                           v.vy * 0.000625,
                           v.vz * 0.004,
                           v.ax * 0.0000125,
                           v.ay * 0.0000125,
                           v.az * 0.0000625,
                           v.agf0 * 4.6566128730773e-10,
                           v.agf1 * 9.0949470177292e-13};
    const double got[] = {(double)geo->IOD, (double)geo->t0, (double)geo->URA, geo->XG,  geo->YG,
                          geo->ZG,          geo->VXG,        geo->VYG,         geo->VZG, geo->AXG,
                          geo->AYG,         geo->AZG,        geo->aGf0,        geo->aGf1};
    for (int i = 0; i < 14; i++) EXPECT_EQ(want[i], got[i]) << "set " << n << " field " << i;
    v = {u(8),  u(13), u(4),  s(30), s(30), s(25), s(17),
         s(17), s(18), s(10), s(10), s(10), s(12), s(8)};
  }
  Eph_sbas_update_mt12(geo, 352, 1000);
  Eph_sbas_update_mt17(geo, 0x0F);
  EXPECT_EQ(7, geo->update_flag);
  EXPECT_EQ(0x0F, geo->health);
  Eph_init();
  EXPECT_EQ(0, geo->update_flag);
  Eph_sbas_update_mt17(geo, 0x0F);
  EXPECT_EQ(4, geo->update_flag);
}

// The Galileo record's SV health (RINEX 3 and 4): bit 0 E1-B DVS, bits 1-2 E1-B HS,
// bit 3 E5a DVS, bits 4-5 E5a HS, bit 6 E5b DVS, bits 7-8 E5b HS.
TEST(EphemerisGalileo, HealthBitsOfEachSignal) {
  const struct {
    U08 GALIEPH_T::*flag;
    U08 value;
    double health;
  } kCases[] = {{&GALIEPH_T::E1B_dvs, 1, 1},  {&GALIEPH_T::E1B_hs, 3, 6},
                {&GALIEPH_T::E5a_dvs, 1, 8},  {&GALIEPH_T::E5a_hs, 1, 16},
                {&GALIEPH_T::E5a_hs, 2, 32},  {&GALIEPH_T::E5b_dvs, 1, 64},
                {&GALIEPH_T::E5b_hs, 1, 128}, {&GALIEPH_T::E5b_hs, 3, 384}};
  for (const auto& c : kCases) {
    GALIEPH_T e = {};
    e.*c.flag = c.value;
    EXPECT_EQ(c.health, Eph_gal_health(e)) << c.health;
  }
}
