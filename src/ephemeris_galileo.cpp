// Galileo I/NAV word types 1-5 into GALIEPH_T; the ionosphere coefficients
// go on to the parameter store. Word bit 1 is the most significant bit of
// the first of the four 32-bit words that hold a 128-bit word.
#include "const.h"
#include "ephemeris.h"
#include "nav.h"

namespace {

GALIEPH_T Gali_eph[36];

constexpr D64 kPi = 3.1415926535898;
constexpr D64 kP2_31 = 4.6566128730773e-10;
constexpr D64 kP2_33 = 1.1641532182693e-10;
constexpr D64 kP2_43 = 1.1368683772161e-13;
constexpr D64 kP2_29 = 1.8626451492309e-09;
constexpr D64 kP2_34 = 5.8207660913467e-11;
constexpr D64 kP2_46 = 1.4210854715202e-14;
constexpr D64 kP2_59 = 1.7347234759768e-18;
constexpr D64 kP2_32 = 2.3283064365386e-10;
constexpr D64 kP2_19 = 1.0 / 524288.0;
constexpr D64 kP2_5 = 1.0 / 32.0;
constexpr D64 kP2_2 = 1.0 / 4.0;
constexpr D64 kP2_8 = 1.0 / 256.0;
constexpr D64 kP2_15 = 1.0 / 32768.0;
constexpr S32 kToeTocUnit = 60;
constexpr S16 kGstToGpsWeeks = 1024;
constexpr int kWordsPerType = 4;

// Reads `len` (1..32) bits from word bit `first` (1-based) of a 128-bit word.
U32 bits(const U32* w, int first, int len) {
  int start = first - 1;
  int idx = start / 32;
  int off = start % 32;
  uint64_t pair = (uint64_t)w[idx] << 32;
  if (idx < 3) pair |= w[idx + 1];
  return (U32)((pair << off) >> (64 - len));
}

S32 sbits(const U32* w, int first, int len) {
  U32 v = bits(w, first, len);
  if (len >= 32) return (S32)v;
  return (S32)(v << (32 - len)) >> (32 - len);
}

void decode_type1(const U32* w, GALI_EPH_T e) {
  e->IOD_nav[0] = (U16)bits(w, 7, 10);
  e->toe = (S32)bits(w, 17, 14) * kToeTocUnit;
  e->M0 = (sbits(w, 31, 32) * kP2_31) * kPi;
  e->e = bits(w, 63, 32) * kP2_33;
  e->sqrt_A = bits(w, 95, 32) * kP2_19;
}

void decode_type2(const U32* w, GALI_EPH_T e) {
  e->IOD_nav[1] = (U16)bits(w, 7, 10);
  e->Omega_0 = (sbits(w, 17, 32) * kP2_31) * kPi;
  e->i0 = (sbits(w, 49, 32) * kP2_31) * kPi;
  e->omega = (sbits(w, 81, 32) * kP2_31) * kPi;
  e->idot = (sbits(w, 113, 14) * kP2_43) * kPi;
}

void decode_type3(const U32* w, GALI_EPH_T e) {
  e->IOD_nav[2] = (U16)bits(w, 7, 10);
  e->Omega_dot = (sbits(w, 17, 24) * kP2_43) * kPi;
  e->delta_n = (sbits(w, 41, 16) * kP2_43) * kPi;
  e->Cuc = (F32)(sbits(w, 57, 16) * kP2_29);
  e->Cus = (F32)(sbits(w, 73, 16) * kP2_29);
  e->Crc = (F32)(sbits(w, 89, 16) * kP2_5);
  e->Crs = (F32)(sbits(w, 105, 16) * kP2_5);
  e->SISA = (U08)bits(w, 121, 8);
}

void decode_type4(const U32* w, GALI_EPH_T e) {
  e->IOD_nav[3] = (U16)bits(w, 7, 10);
  e->Cic = (F32)(sbits(w, 23, 16) * kP2_29);
  e->Cis = (F32)(sbits(w, 39, 16) * kP2_29);
  e->toc = (S32)bits(w, 55, 14) * kToeTocUnit;
  e->af0 = sbits(w, 69, 31) * kP2_34;
  e->af1 = sbits(w, 100, 21) * kP2_46;
  e->af2 = sbits(w, 121, 6) * kP2_59;
}

void decode_type5(const U32* w, GALI_EPH_T e) {
  e->ai0 = (F32)(bits(w, 7, 11) * kP2_2);
  e->ai1 = (F32)(sbits(w, 18, 11) * kP2_8);
  e->ai2 = (F32)(sbits(w, 29, 14) * kP2_15);
  e->SF1 = (U08)bits(w, 43, 1);
  e->SF2 = (U08)bits(w, 44, 1);
  e->SF3 = (U08)bits(w, 45, 1);
  e->SF4 = (U08)bits(w, 46, 1);
  e->SF5 = (U08)bits(w, 47, 1);
  e->BGD_E1E5a = (F32)(sbits(w, 48, 10) * kP2_32);
  e->BGD_E1E5b = (F32)(sbits(w, 58, 10) * kP2_32);
  e->E5b_hs = (U08)bits(w, 68, 2);
  e->E1B_hs = (U08)bits(w, 70, 2);
  e->E5b_dvs = (U08)bits(w, 72, 1);
  e->E1B_dvs = (U08)bits(w, 73, 1);
  e->WN = (S16)(bits(w, 74, 12) + kGstToGpsWeeks);
  e->TOW_5 = (S32)bits(w, 86, 20);
}

}  // namespace

GALI_EPH_T Eph_gal_get_reference(S16 prn) {
  if (prn < 1 || prn > 36) return nullptr;
  return &Gali_eph[prn - 1];
}

S16 EPH_gal_update(GALI_EPH_T gali_eph, const U32* dws_p) {
  if (gali_eph == nullptr) return 0;
  decode_type1(dws_p, gali_eph);
  decode_type2(dws_p + kWordsPerType, gali_eph);
  decode_type3(dws_p + 2 * kWordsPerType, gali_eph);
  decode_type4(dws_p + 3 * kWordsPerType, gali_eph);
  decode_type5(dws_p + 4 * kWordsPerType, gali_eph);
  const F32 a[4] = {gali_eph->ai0, gali_eph->ai1, gali_eph->ai2, 0.0f};
  const S32 b[4] = {0, 0, 0, 0};
  Nav_set_iono_parameter(GNSS_TYPE_GAL, a, b);
  return 1;
}

D64 Eph_gal_sisa_meters(U08 n) {
  if (n < 50) return n * 0.01;
  if (n < 75) return 0.5 + (n - 50) * 0.02;
  if (n < 100) return 1.0 + (n - 75) * 0.04;
  if (n < 126) return 2.0 + (n - 100) * 0.16;
  return -1.0;  // no accuracy prediction available
}

D64 Eph_gal_health(const GALIEPH_T& e) {
  U32 h = (U32)(e.E1B_dvs & 1) | (U32)(e.E1B_hs & 3) << 1 | (U32)(e.E5a_dvs & 1) << 3 |
          (U32)(e.E5a_hs & 3) << 4 | (U32)(e.E5b_dvs & 1) << 6 | (U32)(e.E5b_hs & 3) << 7;
  return (D64)h;
}
