// Ephemeris decoders against navigation words packed by the test encoders
// from raw field values; expected values are the raw values times the
// interface documents' scales.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "const.h"
#include "ephemeris.h"
#include "nav.h"
#include "nav_encoders.h"

using namespace vlntest;

namespace {

using namespace scale;

// Random raw field values: unsigned, two's complement and sign-magnitude, of a given width.
struct RandomBits {
  std::mt19937 rng;
  uint32_t u(int bits) { return (uint32_t)(rng() & (bits == 32 ? 0xFFFFFFFFu : (1u << bits) - 1)); }
  int32_t s(int bits) { return (int32_t)(u(bits) << (32 - bits)) >> (32 - bits); }
  int32_t sm(int bits) { return (int32_t)u(bits - 1) * (u(1) ? -1 : 1); }
};

std::array<U32, 30> gps_words(const GpsLnav& v) {
  std::array<U32, 30> w;
  auto sf = encode_gps_lnav(v);
  for (size_t s = 0; s < 3; s++) {
    auto stored = stored_gps(sf[s]);
    std::copy(stored.begin(), stored.end(), w.begin() + (long)(10 * s));
  }
  return w;
}

// The decoded record against the raw values times the IS-GPS-200 scales.
void expect_gps_fields(const GpsLnav& v, const EPH_T& e) {
  EXPECT_EQ(v.tow_count * 6, e.start_tow);
  EXPECT_EQ((int)v.code_l2, e.codes_on_L2);
  EXPECT_EQ((int)v.health, e.health);
  EXPECT_EQ((int)v.iodc, e.IODC);
  EXPECT_EQ((int)v.iode, e.IODE);
  EXPECT_EQ((int)v.l2p, e.L2_P_data_flag);
  EXPECT_EQ(v.tgd * 0x1p-31f, e.TGD);
  EXPECT_EQ((S32)v.toc * 16, e.toc);
  EXPECT_EQ(v.af2 * 0x1p-55f, e.af2);
  EXPECT_EQ(v.af1 * 0x1p-43f, e.af1);
  EXPECT_EQ((float)v.af0 * 0x1p-31f, e.af0);
  EXPECT_EQ(v.crs * 0x1p-5, e.Crs);
  EXPECT_EQ(v.delta_n * (k2_43 * kPi), e.delta_n);
  EXPECT_EQ((v.m0 * k2_31) * kPi, e.M0);
  EXPECT_EQ(v.cuc * k2_29, e.Cuc);
  EXPECT_EQ(v.e * k2_33, e.e);
  EXPECT_EQ(v.cus * k2_29, e.Cus);
  EXPECT_EQ(v.sqrt_a * 0x1p-19, e.sqrt_A);
  EXPECT_EQ((S32)v.toe * 16, e.toe);
  EXPECT_EQ(v.fit ? 6 : 4, e.fit_interval);
  EXPECT_EQ((int)v.aodo * 900, e.AODO);
  EXPECT_EQ(v.cic * k2_29, e.Cic);
  EXPECT_EQ((v.omega0 * k2_31) * kPi, e.Omega_0);
  EXPECT_EQ(v.cis * k2_29, e.Cis);
  EXPECT_EQ((v.i0 * k2_31) * kPi, e.i0);
  EXPECT_EQ(v.crc * 0x1p-5, e.Crc);
  EXPECT_EQ((v.omega * k2_31) * kPi, e.omega);
  EXPECT_EQ((v.omega_dot * k2_43) * kPi, e.Omega_dot);
  EXPECT_EQ(v.idot * (k2_43 * kPi), e.IDOT);
}

}  // namespace

// Random bits in every field, toc near the transmission so the week is the broadcast one.
TEST(EphemerisGps, RandomFieldsRoundTrip) {
  RandomBits rng{std::mt19937(2)};
  auto u = [&](int bits) { return rng.u(bits); };
  auto s = [&](int bits) { return rng.s(bits); };
  for (int n = 0; n < 40; n++) {
    GpsLnav v = {};
    v.tow_count = u(16), v.week = u(10), v.code_l2 = u(2), v.ura = 15, v.health = u(6);
    v.iodc = u(10), v.iode = v.iodc & 0xFF, v.l2p = u(1), v.tgd = s(8),
    v.toc = v.tow_count * 6 / 16;
    v.af2 = s(8), v.af1 = s(16), v.af0 = s(22), v.crs = s(16), v.delta_n = s(16), v.m0 = s(32);
    v.cuc = s(16), v.e = u(32), v.cus = s(16), v.sqrt_a = u(32), v.toe = u(16), v.fit = u(1);
    v.aodo = u(5), v.cic = s(16), v.omega0 = s(32), v.cis = s(16), v.i0 = s(32), v.crc = s(16);
    v.omega = s(32), v.omega_dot = s(24), v.idot = s(14);
    auto w = gps_words(v);
    EPH_T e = {};
    ASSERT_EQ(1, Eph_gps_qzss_update(w.data(), &e)) << n;
    expect_gps_fields(v, e);
    EXPECT_EQ(2048 + (int)v.week, e.WN);
    EXPECT_EQ(6144.0, e.SV_accuracy_meters);
  }
}

TEST(EphemerisGps, WeekRuleIssueOfDataAndExtremes) {
  struct Case {
    uint32_t week, tow_count, toc, iodc, iode, ura, fit;
    int wn;
    double accuracy;
    int result;
  };
  const Case cases[] = {
      {1023, 100000, 0, 0x0A5, 0xA5, 14, 0, 2048, 6144.0, 1},  // d < -302400: next week wraps
      {0, 0, 37800, 0x1A5, 0xA5, 15, 1, 3071, 6144.0, 1},      // d = 604800 > 302400
      {100, 1000, 375, 0x0A4, 0xA5, 0, 0, 2148, 2.4, 0},       // IODC low bits differ
      {100, 50400, 0, 0, 0, 1, 0, 2148, 3.4, 1},               // d = -302400 exactly
      {100, 0, 18900, 0, 0, 1, 0, 2148, 3.4, 1},               // d = +302400 exactly
  };
  for (const Case& c : cases) {
    GpsLnav v = {};
    v.week = c.week;
    v.tow_count = c.tow_count;
    v.toc = c.toc;
    v.iodc = c.iodc;
    v.iode = c.iode;
    v.ura = c.ura;
    v.fit = c.fit;
    auto w = gps_words(v);
    EPH_T e = {};
    EXPECT_EQ(c.result, Eph_gps_qzss_update(w.data(), &e)) << c.week;
    EXPECT_EQ(c.wn, e.WN) << c.week;
    EXPECT_EQ(c.accuracy, e.SV_accuracy_meters) << c.week;
    EXPECT_EQ(c.fit ? 6 : 4, e.fit_interval);
  }
  GpsLnav v = {};
  v.tgd = -128;
  v.e = 0x80000000u;
  v.sqrt_a = 0xFFFFFFFFu;
  v.m0 = INT32_MIN;
  auto w = gps_words(v);
  EPH_T e = {};
  Eph_gps_qzss_update(w.data(), &e);
  EXPECT_EQ(-128 * 0x1p-31f, e.TGD);
  EXPECT_EQ(2147483648.0 * k2_33, e.e);
  EXPECT_EQ(4294967295.0 * 0x1p-19, e.sqrt_A);
  EXPECT_EQ((INT32_MIN * k2_31) * kPi, e.M0);
  // PRN n is entry n - 1 of its table: 32 GPS and 5 QZSS entries, one each.
  for (S16 prn = 1; prn <= 32; prn++)
    EXPECT_EQ(Eph_gps_qzss_get_reference(GNSS_TYPE_GPS, 1) + prn - 1,
              Eph_gps_qzss_get_reference(GNSS_TYPE_GPS, prn));
  EXPECT_EQ(Eph_gps_qzss_get_reference(GNSS_TYPE_QZSS, 1) + 4,
            Eph_gps_qzss_get_reference(GNSS_TYPE_QZSS, 5));
  EXPECT_EQ(nullptr, Eph_gps_qzss_get_reference(GNSS_TYPE_GPS, 33));
  EXPECT_EQ(nullptr, Eph_gps_qzss_get_reference(GNSS_TYPE_QZSS, 6));
  EXPECT_EQ(nullptr, Eph_gps_qzss_get_reference(GNSS_TYPE_GLO, 1));
}

namespace {

std::array<U32, 15> glonass_words(const GloImmediate& v) {
  std::array<U32, 15> w;
  auto s = encode_glonass(v);
  for (size_t i = 0; i < 5; i++) {
    auto stored = stored_glonass(s[i]);
    std::copy(stored.begin(), stored.end(), w.begin() + (long)(3 * i));
  }
  return w;
}

}  // namespace

namespace {

// The decoded record against the raw values times the ICD scales (FT aside).
void expect_glo_fields(const GloImmediate& v, const GLOEPH_T& e, D64 tau_c) {
  EXPECT_EQ((S32)(((v.tk >> 7) * 120 + (v.tk & 127)) * 30), e.tod);
  EXPECT_EQ((S32)v.tb * 900, e.tb);
  EXPECT_EQ((int)(v.p1 << 3 | v.p2 << 2 | v.p3 << 1 | v.p4), e.p1234);
  EXPECT_EQ((int)(v.bn << 1 | v.ln), e.healthy);
  EXPECT_EQ((int)v.p, e.P_flag);
  EXPECT_EQ((int)v.m, e.M);
  EXPECT_EQ((int)v.n, e.slot_n);
  EXPECT_EQ((int)v.nt, e.NT);
  EXPECT_EQ((int)v.en, e.En);
  EXPECT_EQ((int)v.n4, e.N4);
  EXPECT_EQ(v.x * 0x1p-11, e.Xn);
  EXPECT_EQ(v.y * 0x1p-11, e.Yn);
  EXPECT_EQ(v.z * 0x1p-11, e.Zn);
  EXPECT_EQ((float)(v.dx * 0x1p-20), e.dXn);
  EXPECT_EQ((float)(v.dy * 0x1p-20), e.dYn);
  EXPECT_EQ((float)(v.dz * 0x1p-20), e.dZn);
  EXPECT_EQ((float)(v.ddx * 0x1p-30), e.ddXn);
  EXPECT_EQ((float)(v.ddy * 0x1p-30), e.ddYn);
  EXPECT_EQ((float)(v.ddz * 0x1p-30), e.ddZn);
  EXPECT_EQ((float)(v.gamma * 0x1p-40), e.gamma_n);
  EXPECT_EQ((float)(v.delta_tau * 0x1p-30), e.delta_tau_n);
  EXPECT_EQ((float)(v.tau * 0x1p-30), e.tau_n);
  EXPECT_EQ(v.tau_c * 0x1p-31, tau_c);
  EXPECT_EQ(1, e.valid);
}

}  // namespace

TEST(EphemerisGlonass, RoundTripAndSignMagnitudeFields) {
  // Field extremes first (all 27 bits of xn set), then random bits in every field.
  GloImmediate v = {};
  v.tk = (23u << 7) | (59u << 1) | 1u;  // 23:59:30
  v.p1 = 3, v.tb = 95, v.p2 = 1, v.bn = 4, v.ln = 1, v.p = 2, v.m = 1, v.n = 17, v.nt = 1234;
  v.ft = 13, v.p4 = 1, v.en = 3, v.n4 = 8, v.x = -(1 << 26) + 1, v.dx = 123456, v.ddx = -3;
  v.y = 12345678, v.dy = -2345678, v.z = -7654321, v.dz = 3456789, v.ddz = 5, v.gamma = -12;
  v.delta_tau = -5, v.tau = -1234567, v.tau_c = -1;
  auto w = glonass_words(v);
  GLOEPH_T e = {};
  D64 tau_c = 0;
  ASSERT_EQ(1, Eph_glonass_update(w.data(), &e, &tau_c));
  expect_glo_fields(v, e, tau_c);
  EXPECT_EQ(86370, e.tod);
  EXPECT_EQ(0, e.FT);
  RandomBits rng{std::mt19937(3)};
  auto u = [&](int bits) { return rng.u(bits); };
  auto sm = [&](int bits) { return rng.sm(bits); };
  for (int n = 0; n < 40; n++) {
    GloImmediate r = {};
    r.tk = u(12), r.p1 = u(2), r.tb = u(7), r.p2 = u(1), r.bn = u(3), r.ln = u(1), r.p = u(2);
    r.p3 = u(1), r.m = u(2), r.n = u(5), r.nt = u(11), r.p4 = u(1), r.en = u(5), r.n4 = u(5);
    r.x = sm(27), r.dx = sm(24), r.ddx = sm(5), r.y = sm(27), r.dy = sm(24), r.ddy = sm(5);
    r.z = sm(27), r.dz = sm(24), r.ddz = sm(5), r.gamma = sm(11), r.delta_tau = sm(5);
    r.tau = sm(22), r.tau_c = sm(31);
    w = glonass_words(r);
    ASSERT_EQ(1, Eph_glonass_update(w.data(), &e, &tau_c)) << n;
    expect_glo_fields(r, e, tau_c);
  }

  // Negative zero, FT extremes and the positive tau_c step.
  v.x = 0;
  v.ft = 15;
  v.tau_c = 1;
  w = glonass_words(v);
  w[1] |= 1u << 2;  // string bit 35, the sign of xn, over a zero magnitude
  ASSERT_EQ(1, Eph_glonass_update(w.data(), &e, &tau_c));
  EXPECT_EQ(0.0, e.Xn);
  EXPECT_EQ(255, e.FT);
  EXPECT_EQ(0x1p-31, tau_c);
  const int ft_index[] = {2, 13, 15};
  const int ft_stored[] = {2, 0, 255};
  for (int i = 0; i < 3; i++) {
    v.ft = (uint32_t)ft_index[i];
    w = glonass_words(v);
    Eph_glonass_update(w.data(), &e, &tau_c);
    EXPECT_EQ(ft_stored[i], e.FT) << ft_index[i];
  }
  EXPECT_EQ(nullptr, Eph_glonass_get_reference(25));
  EXPECT_EQ(nullptr, Eph_glonass_get_reference(0));
}

namespace {

void bds_words(const InfoBits& s, int nwords, U32* out) {
  auto stored = stored_bds(s, nwords);
  std::copy(stored.begin(), stored.end(), out);
}

void expect_bds_fields(const BdsEph& v, const BD2EPH_T& e) {
  EXPECT_EQ(v.sath1, e.health);
  EXPECT_EQ((int)v.aodc, e.IODC);
  EXPECT_EQ(v.urai, e.URA);
  EXPECT_EQ(6144.0, e.SV_accuracy_meters);
  EXPECT_EQ((int)v.wn, e.WN);
  EXPECT_EQ((S32)v.toc * 8, e.toc);
  EXPECT_EQ((float)v.tgd1 * 1e-10f, e.TGD1);
  EXPECT_EQ((float)v.tgd2 * 1e-10f, e.TGD2);
  EXPECT_EQ((float)v.a0 * 0x1p-33f, e.af0);
  EXPECT_EQ((float)v.a1 * 0x1p-50f, e.af1);
  EXPECT_EQ((float)v.a2 * 0x1p-66f, e.af2);
  EXPECT_EQ((int)v.aode, e.IODE);
  EXPECT_EQ((v.delta_n * 0x1p-43) * kPi, e.delta_n);
  EXPECT_EQ((double)((float)v.cuc * 0x1p-31f), e.Cuc);
  EXPECT_EQ((v.m0 * 0x1p-31) * kPi, e.M0);
  EXPECT_EQ(v.e * 0x1p-33, e.e);
  EXPECT_EQ((double)((float)v.cus * 0x1p-31f), e.Cus);
  EXPECT_EQ(v.crc * 0x1p-6, e.Crc);
  EXPECT_EQ(v.crs * 0x1p-6, e.Crs);
  EXPECT_EQ(v.sqrt_a * 0x1p-19, e.sqrt_A);
  EXPECT_EQ(e.sqrt_A * e.sqrt_A, e.A);
  EXPECT_EQ((S32)v.toe * 8, e.toe);
  EXPECT_EQ((v.i0 * 0x1p-31) * kPi, e.i0);
  EXPECT_EQ((double)((float)v.cic * 0x1p-31f), e.Cic);
  EXPECT_EQ((v.omega_dot * 0x1p-43) * kPi, e.Omega_dot);
  EXPECT_EQ((double)((float)v.cis * 0x1p-31f), e.Cis);
  EXPECT_EQ((v.idot * 0x1p-43) * kPi, e.IDOT);
  EXPECT_EQ((v.omega0 * 0x1p-31) * kPi, e.Omega_0);
  EXPECT_EQ((v.omega * 0x1p-31) * kPi, e.omega);
}

// Every raw field filled with random bits of its width (two's complement for
// the signed ones), so that a field read one bit or one word off shows.
BdsEph random_bds(RandomBits* rng) {
  auto u = [&](int bits) { return rng->u(bits); };
  auto s = [&](int bits) { return rng->s(bits); };
  BdsEph v = {};
  v.sow = u(20), v.sath1 = u(1), v.aodc = u(5), v.urai = 15, v.wn = u(13), v.toc = u(17);
  v.tgd1 = s(10), v.tgd2 = s(10);
  for (int i = 0; i < 4; i++) v.alpha[i] = s(8), v.beta[i] = s(8);
  v.a2 = s(11), v.a0 = s(24), v.a1 = s(22), v.aode = u(5), v.delta_n = s(16), v.cuc = s(18);
  v.m0 = s(32), v.e = u(32), v.cus = s(18), v.crc = s(18), v.crs = s(18), v.sqrt_a = u(32);
  v.toe = v.toc, v.i0 = s(32), v.cic = s(18), v.omega_dot = s(24), v.cis = s(18), v.idot = s(14);
  v.omega0 = s(32), v.omega = s(32);
  return v;
}

}  // namespace

TEST(EphemerisBeiDou, RandomFieldsRoundTripInD1AndD2) {
  RandomBits rng{std::mt19937(11)};
  for (int n = 0; n < 40; n++) {
    BdsEph v = random_bds(&rng);
    auto sf = encode_bds_d1(v);
    U32 w[30];
    for (int s = 0; s < 3; s++) bds_words(sf[(size_t)s], 10, w + 10 * s);
    BD2EPH_T e = {};
    F32 a[4];
    S32 b[4];
    ASSERT_EQ(1, Eph_bd2_d1_update(w, &e, a, b)) << n;
    expect_bds_fields(v, e);
    auto pages = encode_bds_d2(v);
    U32 buf[50];
    for (int p = 0; p < 10; p++) bds_words(pages[(size_t)p], 5, buf + 5 * p);
    BD2EPH_T d2 = {};
    Eph_bd2_d2_update(5, buf, &d2);
    ASSERT_EQ(1, Eph_bd2_d2_update(5, buf, &d2)) << n;  // the same data twice
    expect_bds_fields(v, d2);
  }
}

TEST(EphemerisBeiDou, D1RoundTripAndRejectedSet) {
  RandomBits rng{std::mt19937(17)};
  BdsEph v = random_bds(&rng);
  v.sow = 345600;
  v.alpha[0] = 12, v.alpha[1] = -3, v.alpha[2] = -128, v.alpha[3] = 127;
  v.beta[0] = -128, v.beta[1] = 5, v.beta[2] = -7, v.beta[3] = 100;
  auto sf = encode_bds_d1(v);
  U32 w[30];
  for (int s = 0; s < 3; s++) bds_words(sf[(size_t)s], 10, w + 10 * s);
  BD2EPH_T e = {};
  F32 a[4];
  S32 b[4];
  ASSERT_EQ(1, Eph_bd2_d1_update(w, &e, a, b));
  EXPECT_EQ(e.TGD1, e.TGD);
  EXPECT_EQ(345600u, e.start_tow);
  EXPECT_EQ(12 * 0x1p-30f, a[0]);
  EXPECT_EQ(-3 * 0x1p-27f, a[1]);
  EXPECT_EQ(-128 * 0x1p-24f, a[2]);
  EXPECT_EQ(127 * 0x1p-24f, a[3]);
  EXPECT_EQ(-262144, b[0]);
  EXPECT_EQ(5 * 16384, b[1]);
  EXPECT_EQ(-7 * 65536, b[2]);
  EXPECT_EQ(100 * 65536, b[3]);

  // toc != toe: nothing but the accuracy changes, the ionosphere still comes out.
  BdsEph other = v;
  other.toc = 43201;
  other.urai = 0;
  other.m0 = 5;
  other.alpha[0] = -1;
  sf = encode_bds_d1(other);
  for (int s = 0; s < 3; s++) bds_words(sf[(size_t)s], 10, w + 10 * s);
  EXPECT_EQ(0, Eph_bd2_d1_update(w, &e, a, b));
  EXPECT_EQ(2.4, e.SV_accuracy_meters);
  EXPECT_EQ((v.m0 * 0x1p-31) * kPi, e.M0);
  EXPECT_EQ(-0x1p-30f, a[0]);
  EXPECT_EQ(Eph_beidou_get_reference(5), Eph_beidou_get_reference(5));
  EXPECT_NE(nullptr, Eph_beidou_get_reference(37));
  EXPECT_EQ(nullptr, Eph_beidou_get_reference(38));
}

TEST(EphemerisBeiDou, D2DoubleCheckAcrossCycles) {
  RandomBits rng{std::mt19937(19)};
  BdsEph v = random_bds(&rng);
  auto pages = encode_bds_d2(v);
  U32 buf[50];
  for (int p = 0; p < 10; p++) bds_words(pages[(size_t)p], 5, buf + 5 * p);
  const U08 sat = 3;  // no other test uses this geostationary satellite
  BD2EPH_T e = {};
  ASSERT_EQ(1, Eph_bd2_d2_update(sat, buf, &e));  // first cycle: accepted unchecked
  expect_bds_fields(v, e);
  EXPECT_EQ(1, Eph_bd2_d2_update(sat, buf, &e));  // identical
  buf[4 * 5 + 1] ^= 0x100;                        // page 5 word 2: not compared
  EXPECT_EQ(1, Eph_bd2_d2_update(sat, buf, &e));
  buf[6 * 5 + 3] ^= 0x100;  // page 7 word 4: rejected, and becomes the reference
  EXPECT_EQ(0, Eph_bd2_d2_update(sat, buf, &e));
  EXPECT_EQ(1, Eph_bd2_d2_update(sat, buf, &e));

  BdsEph neg = {};
  neg.a1 = -(1 << 18);  // only the top piece (page 3) set
  pages = encode_bds_d2(neg);
  for (int p = 0; p < 10; p++) bds_words(pages[(size_t)p], 5, buf + 5 * p);
  ASSERT_EQ(1, Eph_bd2_d2_update(4, buf, &e));
  EXPECT_EQ(-0x1p-32f, e.af1);
}

namespace {

void galileo_words(const GalEph& v, U32 w[24]) {
  auto words = encode_galileo(v);
  for (size_t t = 0; t < 5; t++) {
    auto stored = stored_galileo(words[t]);
    std::copy(stored.begin(), stored.end(), w + 4 * t);
  }
}

// The decoded record against the raw values times the I/NAV scales.
void expect_gal_fields(const GalEph& v, const GALIEPH_T& e) {
  for (int i = 0; i < 4; i++) EXPECT_EQ((int)v.iodnav, e.IOD_nav[i]);
  EXPECT_EQ((S32)v.toe * 60, e.toe);
  EXPECT_EQ((v.m0 * k2_31) * kPi, e.M0);
  EXPECT_EQ(v.e * k2_33, e.e);
  EXPECT_EQ(v.sqrt_a * 0x1p-19, e.sqrt_A);
  EXPECT_EQ((v.omega0 * k2_31) * kPi, e.Omega_0);
  EXPECT_EQ((v.i0 * k2_31) * kPi, e.i0);
  EXPECT_EQ((v.omega * k2_31) * kPi, e.omega);
  EXPECT_EQ((v.idot * k2_43) * kPi, e.idot);
  EXPECT_EQ((v.omega_dot * k2_43) * kPi, e.Omega_dot);
  EXPECT_EQ((v.delta_n * k2_43) * kPi, e.delta_n);
  EXPECT_EQ((float)(v.cuc * k2_29), e.Cuc);
  EXPECT_EQ((float)(v.cus * k2_29), e.Cus);
  EXPECT_EQ(v.crc / 32.0f, e.Crc);
  EXPECT_EQ(v.crs / 32.0f, e.Crs);
  EXPECT_EQ((int)v.sisa, e.SISA);
  EXPECT_EQ((float)(v.cic * k2_29), e.Cic);
  EXPECT_EQ((float)(v.cis * k2_29), e.Cis);
  EXPECT_EQ((S32)v.toc * 60, e.toc);
  EXPECT_EQ(v.af0 * 5.8207660913467e-11, e.af0);
  EXPECT_EQ(v.af1 * 1.4210854715202e-14, e.af1);
  EXPECT_EQ(v.af2 * 1.7347234759768e-18, e.af2);
  EXPECT_EQ(v.ai0 / 4.0f, e.ai0);
  EXPECT_EQ(v.ai1 / 256.0f, e.ai1);
  EXPECT_EQ(v.ai2 / 32768.0f, e.ai2);
  EXPECT_EQ((int)v.region[0], e.SF1);
  EXPECT_EQ((int)v.region[1], e.SF2);
  EXPECT_EQ((int)v.region[2], e.SF3);
  EXPECT_EQ((int)v.region[3], e.SF4);
  EXPECT_EQ((int)v.region[4], e.SF5);
  EXPECT_EQ((float)(v.bgd_a * 2.3283064365386e-10), e.BGD_E1E5a);
  EXPECT_EQ((float)(v.bgd_b * 2.3283064365386e-10), e.BGD_E1E5b);
  EXPECT_EQ((int)v.e5b_hs, e.E5b_hs);
  EXPECT_EQ((int)v.e1b_hs, e.E1B_hs);
  EXPECT_EQ((int)v.e5b_dvs, e.E5b_dvs);
  EXPECT_EQ((int)v.e1b_dvs, e.E1B_dvs);
  EXPECT_EQ((int)v.wn + 1024, e.WN);
  EXPECT_EQ((S32)v.tow, e.TOW_5);
}

}  // namespace

TEST(EphemerisGalileo, RoundTripAndIonosphereHandOver) {
  // Field extremes first (sign bits alone, all ones), then random bits in every field.
  GalEph v = {};
  v.iodnav = 1000, v.toe = 10079, v.m0 = -123456789, v.e = 0x80000001u;
  v.sqrt_a = 0x80000000u | 12345u, v.omega0 = 2111111111, v.i0 = -999999999, v.omega = 42;
  v.idot = -8000, v.omega_dot = -8388608, v.delta_n = 32767, v.cuc = -32768, v.cus = 1;
  v.crc = -1, v.crs = 300, v.sisa = 107, v.svid = 11, v.cic = -5, v.cis = 5, v.toc = 10079;
  v.af0 = -1073741824, v.af1 = -1048576, v.af2 = -32, v.ai0 = 2047, v.ai1 = -1, v.ai2 = 8191;
  v.region[1] = 1, v.bgd_a = -512, v.bgd_b = 511, v.e5b_hs = 2, v.e1b_hs = 3, v.e5b_dvs = 1;
  v.wn = 4095, v.tow = 1048575;
  U32 w[24] = {};
  galileo_words(v, w);
  GALIEPH_T e = {};
  ASSERT_EQ(1, EPH_gal_update(&e, w));
  expect_gal_fields(v, e);
  RandomBits rng{std::mt19937(5)};
  auto u = [&](int bits) { return rng.u(bits); };
  auto s = [&](int bits) { return rng.s(bits); };
  for (int n = 0; n < 40; n++) {
    GalEph r = {};
    r.iodnav = u(10), r.toe = u(14), r.m0 = s(32), r.e = u(32), r.sqrt_a = u(32);
    r.omega0 = s(32), r.i0 = s(32), r.omega = s(32), r.idot = s(14), r.omega_dot = s(24);
    r.delta_n = s(16), r.cuc = s(16), r.cus = s(16), r.crc = s(16), r.crs = s(16), r.sisa = u(8);
    r.svid = 1 + u(5), r.cic = s(16), r.cis = s(16), r.toc = u(14), r.af0 = s(31), r.af1 = s(21);
    r.af2 = s(6), r.ai0 = u(11), r.ai1 = s(11), r.ai2 = s(14), r.bgd_a = s(10), r.bgd_b = s(10);
    for (uint32_t& bit : r.region) bit = u(1);
    r.e5b_hs = u(2), r.e1b_hs = u(2), r.e5b_dvs = u(1), r.e1b_dvs = u(1), r.wn = u(12),
    r.tow = u(20);
    galileo_words(r, w);
    ASSERT_EQ(1, EPH_gal_update(&e, w)) << n;
    expect_gal_fields(r, e);
  }
  galileo_words(v, w);
  EPH_gal_update(&e, w);

  F32 a[4];
  S32 b[4];
  Nav_get_iono_parameter(GNSS_TYPE_GAL, a, b);
  EXPECT_EQ(511.75f, a[0]);
  EXPECT_EQ(-1 / 256.0f, a[1]);
  EXPECT_EQ(0.0f, a[3]);
  EXPECT_EQ(0, b[0]);
  Nav_init();
  EXPECT_EQ(nullptr, Eph_gal_get_reference(37));
}

TEST(EphemerisSbas, GeoRecordsAndUpdateFlags) {
  Eph_init();
  EXPECT_EQ(Eph_sbas_get_reference(0), Eph_sbas_get_reference(120 - 120));
  EXPECT_NE(nullptr, Eph_sbas_get_reference(138 - 120));
  EXPECT_EQ(nullptr, Eph_sbas_get_reference(119 - 120));
  EXPECT_EQ(nullptr, Eph_sbas_get_reference(139 - 120));

  // Extremes first (the sign bit of XG alone), then random bits in every field.
  SbasGeoNav v = {};
  v.iod = 200, v.t0 = 5000, v.ura = 3, v.xg = -(1 << 29), v.yg = 123456789, v.zg = -1000000;
  v.vx = -65536, v.vy = 1, v.vz = 131071, v.ax = -512, v.ay = 511, v.az = -1, v.agf0 = -2048;
  v.agf1 = 127;
  RandomBits rng{std::mt19937(23)};
  SBAS_GEO_T* geo = Eph_sbas_get_reference(9);
  for (int n = 0; n <= 40; n++) {
    SbasMessage m = encode_sbas_mt9(v);
    U32 words[8];
    for (int i = 0; i < 8; i++)
      words[i] = ((U32)m[(size_t)(4 * i)] << 24) | ((U32)m[(size_t)(4 * i + 1)] << 16) |
                 ((U32)m[(size_t)(4 * i + 2)] << 8) | m[(size_t)(4 * i + 3)];
    Eph_sbas_update_mt9(geo, words);
    EXPECT_EQ((int)v.iod, geo->IOD);
    EXPECT_EQ((S32)v.t0 * 16, geo->t0);
    EXPECT_EQ((int)v.ura, geo->URA);
    EXPECT_EQ(v.xg * 0.08, geo->XG);
    EXPECT_EQ(v.yg * 0.08, geo->YG);
    EXPECT_EQ(v.zg * 0.4, geo->ZG);
    EXPECT_EQ(v.vx * 0.000625, geo->VXG);
    EXPECT_EQ(v.vy * 0.000625, geo->VYG);
    EXPECT_EQ(v.vz * 0.004, geo->VZG);
    EXPECT_EQ(v.ax * 0.0000125, geo->AXG);
    EXPECT_EQ(v.ay * 0.0000125, geo->AYG);
    EXPECT_EQ(v.az * 0.0000625, geo->AZG);
    EXPECT_EQ(v.agf0 * 4.6566128730773e-10, geo->aGf0);
    EXPECT_EQ(v.agf1 * 9.0949470177292e-13, geo->aGf1);
    v = {rng.u(8),  rng.u(13), rng.u(4),  rng.s(30), rng.s(30), rng.s(25), rng.s(17),
         rng.s(17), rng.s(18), rng.s(10), rng.s(10), rng.s(10), rng.s(12), rng.s(8)};
  }
  EXPECT_EQ(1, geo->update_flag);
  Eph_sbas_update_mt12(geo, 352, 1000);
  Eph_sbas_update_mt17(geo, 0x0F);
  EXPECT_EQ(7, geo->update_flag);
  EXPECT_EQ(0x0F, geo->health);
  Eph_init();
  EXPECT_EQ(0, geo->update_flag);
}
