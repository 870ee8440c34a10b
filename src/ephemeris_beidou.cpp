// BeiDou D1 (subframes 1-3) and D2 (subframe 1 pages 1-10) ephemerides into
// BD2EPH_T. Word bit b (1..30) is held at bit 30 - b; a field may be split
// over words and, in D2, over pages: its pieces are listed most significant
// first and read one after the other.
#include <initializer_list>

#include "const.h"
#include "ephemeris.h"
#include "word_extract.h"

namespace {

BD2EPH_T Bd2d2eph[BD2_TABLE_SV];
BD2EPH_T Bd2d1eph[BD2_TABLE_SV];

constexpr int kD2Pages = 10;
constexpr int kWordsPerPage = 5;

typedef struct {
  S08 has_init_eph;
  U32 words[kD2Pages][kWordsPerPage];
} BD2_D2_EPH_DOUBLE_CHECK_T;
BD2_D2_EPH_DOUBLE_CHECK_T Bd2_d2_eph_double_check[BD2_TABLE_SV];
U16 Bd2_d2_eph_double_check_flag[BD2_TABLE_SV];

constexpr D64 kPi = 3.1415926535898;
constexpr D64 kP2_6 = 1.0 / 64.0;
constexpr D64 kP2_19 = 1.0 / 524288.0;
constexpr D64 kP2_31 = 1.0 / 2147483648.0;
constexpr D64 kP2_33 = kP2_31 / 4.0;
constexpr D64 kP2_43 = kP2_31 / 4096.0;
constexpr F32 kF2_24 = 1.0f / 16777216.0f;
constexpr F32 kF2_27 = kF2_24 / 8.0f;
constexpr F32 kF2_30 = kF2_24 / 64.0f;
constexpr F32 kF2_31 = kF2_30 / 2.0f;
constexpr F32 kF2_33 = kF2_31 / 4.0f;
constexpr F32 kF2_50 = kF2_33 / 131072.0f;
constexpr F32 kF2_66 = kF2_50 / 65536.0f;
constexpr F32 kTenthNanosecond = 1e-10f;
constexpr S32 kTocToeUnit = 8;

const D64 kUraMeters[16] = {2.4,  3.4,   4.85,  6.85,  9.65,   13.65,  24.0,   48.0,
                            96.0, 192.0, 384.0, 768.0, 1536.0, 3072.0, 6144.0, 6144.0};

// One piece of a field: subframe (D1) or page (D2), word, first bit, width.
struct Piece {
  U08 unit;
  U08 word;
  U08 first;
  U08 len;
};

// Reads the pieces in order into one unsigned field; stride is the number of
// words per subframe or page in the buffer.
U32 ufield(const U32* buf, int stride, std::initializer_list<Piece> pieces) {
  uint64_t v = 0;
  for (const Piece& p : pieces) {
    U32 word = buf[(p.unit - 1) * stride + p.word - 1];
    v = (v << p.len) | WORDEXTR_bd2_extract_unsigned_bits(word, p.first, p.len);
  }
  return (U32)v;
}

// The same, as a two's-complement number over the width of all pieces.
S32 sfield(const U32* buf, int stride, std::initializer_list<Piece> pieces) {
  int width = 0;
  for (const Piece& p : pieces) width += p.len;
  U32 v = ufield(buf, stride, pieces);
  if (width >= 32) return (S32)v;
  return (S32)(v << (32 - width)) >> (32 - width);
}

// Scales the orbit fields shared by D1 and D2 into their physical units.
void scale_orbit(BD2EPH_T* e, S32 dn, S32 cuc, S32 m0, U32 ecc, S32 cus, S32 crc, S32 crs,
                 U32 sqrt_a, S32 i0, S32 cic, S32 omega_dot, S32 cis, S32 idot, S32 omega0,
                 S32 omega) {
  e->delta_n = (dn * kP2_43) * kPi;
  e->Cuc = (F32)cuc * kF2_31;
  e->M0 = (m0 * kP2_31) * kPi;
  e->e = ecc * kP2_33;
  e->Cus = (F32)cus * kF2_31;
  e->Crc = (F32)crc * (F32)kP2_6;
  e->Crs = (F32)crs * (F32)kP2_6;
  e->sqrt_A = sqrt_a * kP2_19;
  e->A = e->sqrt_A * e->sqrt_A;
  e->i0 = (i0 * kP2_31) * kPi;
  e->Cic = (F32)cic * kF2_31;
  e->Omega_dot = (omega_dot * kP2_43) * kPi;
  e->Cis = (F32)cis * kF2_31;
  e->IDOT = (idot * kP2_43) * kPi;
  e->Omega_0 = (omega0 * kP2_31) * kPi;
  e->omega = (omega * kP2_31) * kPi;
}

// Copies what a decoder fills from the decoded record into the table entry.
void store_common(BD2EPH_T* dst, const BD2EPH_T& src) {
  dst->M0 = src.M0;
  dst->e = src.e;
  dst->sqrt_A = src.sqrt_A;
  dst->Omega_0 = src.Omega_0;
  dst->i0 = src.i0;
  dst->omega = src.omega;
  dst->Omega_dot = src.Omega_dot;
  dst->A = src.A;
  dst->prn = dst->bd2_svid;
  dst->IODC = src.IODC;
  dst->IODE = src.IODE;
  dst->WN = src.WN;
  dst->AODO = 0;
  dst->TGD1 = src.TGD1;
  dst->TGD2 = src.TGD2;
  dst->af0 = src.af0;
  dst->af1 = src.af1;
  dst->af2 = src.af2;
  dst->Crs = src.Crs;
  dst->Cuc = src.Cuc;
  dst->Cus = src.Cus;
  dst->Cic = src.Cic;
  dst->Cis = src.Cis;
  dst->Crc = src.Crc;
  dst->delta_n = src.delta_n;
  dst->IDOT = src.IDOT;
  dst->toc = src.toc;
  dst->toe = src.toe;
  dst->URA = src.URA;
  dst->health = src.health;
}

// Geostationary satellites must repeat their data in two successive cycles:
// words 3-5 of every page are compared with the last cycle, which is then replaced.
S16 bd2_eph_double_check(S16 svid, const U32* subframe_p) {
  if (!Bds_is_geo(svid)) return 0;
  BD2_D2_EPH_DOUBLE_CHECK_T& stored = Bd2_d2_eph_double_check[svid - 1];
  S16 result = 1;
  if (Bd2_d2_eph_double_check_flag[svid - 1] != 0) {
    for (int page = 0; page < kD2Pages; page++)
      for (int word = 2; word < kWordsPerPage; word++)
        if (stored.words[page][word] != subframe_p[page * kWordsPerPage + word]) result = 0;
  }
  Bd2_d2_eph_double_check_flag[svid - 1] = 1;
  for (int page = 0; page < kD2Pages; page++)
    for (int word = 0; word < kWordsPerPage; word++)
      stored.words[page][word] = subframe_p[page * kWordsPerPage + word];
  return result;
}

constexpr int kD1Stride = 10;
constexpr int kD2Stride = kWordsPerPage;

}  // namespace

BD2EPH_T* Eph_beidou_get_reference(S16 prn) {
  if (Bds_is_geo(prn)) return &Bd2d2eph[prn - 1];
  if (prn >= 1 && prn <= BD2_TABLE_SV) return &Bd2d1eph[prn - 1];
  return nullptr;
}

S16 Eph_bd2_d1_update(const U32* subframe_p, BD2EPH_T* bd2d1eph, F32* bd2_a, S32* bd2_b) {
  if (bd2d1eph == nullptr) return 0;
  const U32* b = subframe_p;
  const int s = kD1Stride;
  BD2EPH_T d = {};
  U32 sow = ufield(b, s, {{1, 1, 19, 8}, {1, 2, 1, 12}});
  d.health = (U08)ufield(b, s, {{1, 2, 13, 1}});
  d.IODC = (S16)ufield(b, s, {{1, 2, 14, 5}});
  d.URA = (U08)ufield(b, s, {{1, 2, 19, 4}});
  bd2d1eph->SV_accuracy_meters = kUraMeters[d.URA];

  d.WN = (S16)ufield(b, s, {{1, 3, 1, 13}});
  d.toc = (S32)ufield(b, s, {{1, 3, 14, 9}, {1, 4, 1, 8}}) * kTocToeUnit;
  d.TGD1 = (F32)sfield(b, s, {{1, 4, 9, 10}}) * kTenthNanosecond;
  d.TGD2 = (F32)sfield(b, s, {{1, 4, 19, 4}, {1, 5, 1, 6}}) * kTenthNanosecond;
  bd2_a[0] = (F32)sfield(b, s, {{1, 5, 7, 8}}) * kF2_30;
  bd2_a[1] = (F32)sfield(b, s, {{1, 5, 15, 8}}) * kF2_27;
  bd2_a[2] = (F32)sfield(b, s, {{1, 6, 1, 8}}) * kF2_24;
  bd2_a[3] = (F32)sfield(b, s, {{1, 6, 9, 8}}) * kF2_24;
  bd2_b[0] = (S32)((F32)sfield(b, s, {{1, 6, 17, 6}, {1, 7, 1, 2}}) * 2048.0f);
  bd2_b[1] = (S32)((F32)sfield(b, s, {{1, 7, 3, 8}}) * 16384.0f);
  bd2_b[2] = (S32)((F32)sfield(b, s, {{1, 7, 11, 8}}) * 65536.0f);
  bd2_b[3] = (S32)((F32)sfield(b, s, {{1, 7, 19, 4}, {1, 8, 1, 4}}) * 65536.0f);
  d.af2 = (F32)sfield(b, s, {{1, 8, 5, 11}}) * kF2_66;
  d.af0 = (F32)sfield(b, s, {{1, 8, 16, 7}, {1, 9, 1, 17}}) * kF2_33;
  d.af1 = (F32)sfield(b, s, {{1, 9, 18, 5}, {1, 10, 1, 17}}) * kF2_50;
  d.IODE = (S16)ufield(b, s, {{1, 10, 18, 5}});
  d.toe = (S32)ufield(b, s, {{2, 10, 21, 2}, {3, 2, 13, 10}, {3, 3, 1, 5}}) * kTocToeUnit;
  if (d.toc != d.toe) return 0;

  scale_orbit(
      &d, sfield(b, s, {{2, 2, 13, 10}, {2, 3, 1, 6}}), sfield(b, s, {{2, 3, 7, 16}, {2, 4, 1, 2}}),
      sfield(b, s, {{2, 4, 3, 20}, {2, 5, 1, 12}}), ufield(b, s, {{2, 5, 13, 10}, {2, 6, 1, 22}}),
      sfield(b, s, {{2, 7, 1, 18}}), sfield(b, s, {{2, 7, 19, 4}, {2, 8, 1, 14}}),
      sfield(b, s, {{2, 8, 15, 8}, {2, 9, 1, 10}}), ufield(b, s, {{2, 9, 11, 12}, {2, 10, 1, 20}}),
      sfield(b, s, {{3, 3, 6, 17}, {3, 4, 1, 15}}), sfield(b, s, {{3, 4, 16, 7}, {3, 5, 1, 11}}),
      sfield(b, s, {{3, 5, 12, 11}, {3, 6, 1, 13}}), sfield(b, s, {{3, 6, 14, 9}, {3, 7, 1, 9}}),
      sfield(b, s, {{3, 7, 10, 13}, {3, 8, 1, 1}}), sfield(b, s, {{3, 8, 2, 21}, {3, 9, 1, 11}}),
      sfield(b, s, {{3, 9, 12, 11}, {3, 10, 1, 21}}));

  store_common(bd2d1eph, d);
  bd2d1eph->data_source = 0;
  bd2d1eph->TGD = d.TGD1;
  bd2d1eph->start_tow = sow;
  return 1;
}

S16 Eph_bd2_d2_update(U08 svid, const U32* subframe_p, BD2EPH_T* bd2d2eph) {
  if (bd2d2eph == nullptr) return 0;
  const U32* b = subframe_p;
  const int s = kD2Stride;
  BD2EPH_T d = {};
  d.health = (U08)ufield(b, s, {{1, 2, 17, 1}});
  d.IODC = (S16)ufield(b, s, {{1, 2, 18, 5}});
  d.URA = (U08)ufield(b, s, {{1, 3, 1, 4}});
  bd2d2eph->SV_accuracy_meters = kUraMeters[d.URA];

  d.WN = (S16)ufield(b, s, {{1, 3, 5, 13}});
  d.toc = (S32)ufield(b, s, {{1, 3, 18, 5}, {1, 4, 1, 12}}) * kTocToeUnit;
  d.TGD1 = (F32)sfield(b, s, {{1, 4, 13, 10}}) * kTenthNanosecond;
  d.TGD2 = (F32)sfield(b, s, {{1, 5, 1, 10}}) * kTenthNanosecond;
  d.af0 = (F32)sfield(b, s, {{3, 4, 11, 12}, {3, 5, 1, 12}}) * kF2_33;
  d.af1 = (F32)sfield(b, s, {{3, 5, 13, 4}, {4, 2, 17, 6}, {4, 3, 1, 12}}) * kF2_50;
  d.af2 = (F32)sfield(b, s, {{4, 3, 13, 10}, {4, 4, 1, 1}}) * kF2_66;
  d.IODE = (S16)ufield(b, s, {{4, 4, 2, 5}});
  d.toe = (S32)ufield(b, s, {{7, 3, 21, 2}, {7, 4, 1, 15}}) * kTocToeUnit;

  scale_orbit(&d, sfield(b, s, {{4, 4, 7, 16}}), sfield(b, s, {{4, 5, 1, 14}, {5, 2, 17, 4}}),
              sfield(b, s, {{5, 2, 21, 2}, {5, 3, 1, 22}, {5, 4, 1, 8}}),
              ufield(b, s, {{5, 5, 5, 10}, {6, 2, 17, 6}, {6, 3, 1, 16}}),
              sfield(b, s, {{5, 4, 9, 14}, {5, 5, 1, 4}}),
              sfield(b, s, {{8, 3, 6, 17}, {8, 4, 1, 1}}), sfield(b, s, {{8, 4, 2, 18}}),
              ufield(b, s, {{6, 3, 17, 6}, {6, 4, 1, 22}, {6, 5, 1, 4}}),
              sfield(b, s, {{7, 4, 16, 7}, {7, 5, 1, 14}, {8, 2, 17, 6}, {8, 3, 1, 5}}),
              sfield(b, s, {{6, 5, 5, 10}, {7, 2, 17, 6}, {7, 3, 1, 2}}),
              sfield(b, s, {{8, 4, 20, 3}, {8, 5, 1, 16}, {9, 2, 17, 5}}),
              sfield(b, s, {{7, 3, 3, 18}}), sfield(b, s, {{10, 2, 22, 1}, {10, 3, 1, 13}}),
              sfield(b, s, {{9, 2, 22, 1}, {9, 3, 1, 22}, {9, 4, 1, 9}}),
              sfield(b, s, {{9, 4, 10, 13}, {9, 5, 1, 14}, {10, 2, 17, 5}}));

  if (d.toc != d.toe) return 0;
  if (!bd2_eph_double_check(svid, subframe_p)) return 0;
  store_common(bd2d2eph, d);
  return 1;
}
