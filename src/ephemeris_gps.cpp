// GPS and QZSS legacy navigation message (subframes 1-3) into EPH_T. Data
// bit b (1..30, IS-GPS-200 numbering) of a word is held at bit 30 - b.
#include "const.h"
#include "ephemeris.h"

namespace {

EPH_T GPSeph[32];
EPH_T QZSSeph[QZSS_TABLE_SV];

// Scale values as the navigation message software has always used them:
// decimal constants, not exact powers of two.
constexpr D64 kPi = 3.1415926535898;
constexpr D64 kP2_31 = 4.6566128730773e-10;
constexpr D64 kP2_33 = 1.1641532182693e-10;
constexpr D64 kP2_19 = 1.0 / 524288.0;
constexpr D64 kP2_43 = 1.1368683772161e-13;
constexpr D64 kPiP2_43 = kP2_43 * kPi;
constexpr D64 kP2_29 = 1.8626451492309e-09;
constexpr D64 kP2_5 = 1.0 / 32.0;
constexpr F32 kF2_31 = 1.0f / 2147483648.0f;
constexpr F32 kF2_43 = kF2_31 / 4096.0f;
constexpr F32 kF2_55 = kF2_43 / 4096.0f;

constexpr S32 kHalfWeek = 302400;
constexpr S16 kWeekCycle = 1024;
constexpr S16 kThirdWeekCycleStart = 2048;

const D64 kUraMeters[16] = {2.4,  3.4,   4.85,  6.85,  9.65,   13.65,  24.0,   48.0,
                            96.0, 192.0, 384.0, 768.0, 1536.0, 3072.0, 6144.0, 6144.0};

// Reads `len` bits starting at data bit `first` of word `word` (1-based) of a subframe.
U32 bits(const U32* subframe, int word, int first, int len) {
  U32 w = subframe[word - 1];
  return (w >> (30 - (first + len - 1))) & ((1u << len) - 1u);
}

S32 sbits(const U32* subframe, int word, int first, int len) {
  U32 v = bits(subframe, word, first, len);
  return (S32)(v << (32 - len)) >> (32 - len);
}

// A 32-bit field made of the last 8 data bits of one word and all 24 of the next.
U32 bits32(const U32* subframe, int word) {
  return (bits(subframe, word, 17, 8) << 24) | bits(subframe, word + 1, 1, 24);
}

void decode_subframe1(const U32* sf1, EPH_T* eph) {
  eph->start_tow = bits(sf1, 2, 1, 17) * 6u;
  eph->WN = (S16)bits(sf1, 3, 1, 10);
  eph->codes_on_L2 = (U08)bits(sf1, 3, 11, 2);
  eph->URA = (U08)bits(sf1, 3, 13, 4);
  eph->SV_accuracy_meters = kUraMeters[eph->URA];
  eph->health = (U08)bits(sf1, 3, 17, 6);
  eph->IODC = (S16)((bits(sf1, 3, 23, 2) << 8) | bits(sf1, 8, 1, 8));
  eph->L2_P_data_flag = (U08)bits(sf1, 4, 1, 1);
  eph->TGD = (F32)sbits(sf1, 7, 17, 8) * kF2_31;
  eph->toc = (S32)bits(sf1, 8, 9, 16) * 16;
  eph->af2 = (F32)sbits(sf1, 9, 1, 8) * kF2_55;
  eph->af1 = (F32)sbits(sf1, 9, 9, 16) * kF2_43;
  eph->af0 = (F32)sbits(sf1, 10, 1, 22) * kF2_31;
}

void decode_subframe2(const U32* sf2, EPH_T* eph) {
  eph->IODE = (S16)bits(sf2, 3, 1, 8);
  eph->Crs = sbits(sf2, 3, 9, 16) * kP2_5;
  eph->delta_n = sbits(sf2, 4, 1, 16) * kPiP2_43;
  eph->M0 = ((S32)bits32(sf2, 4) * kP2_31) * kPi;
  eph->Cuc = sbits(sf2, 6, 1, 16) * kP2_29;
  eph->e = bits32(sf2, 6) * kP2_33;
  eph->Cus = sbits(sf2, 8, 1, 16) * kP2_29;
  eph->sqrt_A = bits32(sf2, 8) * kP2_19;
  eph->toe = (S32)bits(sf2, 10, 1, 16) * 16;
  eph->fit_interval = bits(sf2, 10, 17, 1) ? 6 : 4;
  eph->AODO = (U16)(bits(sf2, 10, 18, 5) * 900u);
}

void decode_subframe3(const U32* sf3, EPH_T* eph) {
  eph->Cic = sbits(sf3, 3, 1, 16) * kP2_29;
  eph->Omega_0 = ((S32)bits32(sf3, 3) * kP2_31) * kPi;
  eph->Cis = sbits(sf3, 5, 1, 16) * kP2_29;
  eph->i0 = ((S32)bits32(sf3, 5) * kP2_31) * kPi;
  eph->Crc = sbits(sf3, 7, 1, 16) * kP2_5;
  eph->omega = ((S32)bits32(sf3, 7) * kP2_31) * kPi;
  eph->Omega_dot = (sbits(sf3, 9, 1, 24) * kP2_43) * kPi;
  eph->IDOT = sbits(sf3, 10, 9, 14) * kPiP2_43;
}

// The broadcast week is that of the transmission time; move it to the week of
// toc when the two lie more than half a week apart, then onto the full count.
S16 full_week(S16 broadcast_week, S32 toc, U32 start_tow) {
  S32 d = toc - (S32)start_tow;
  S32 wn = broadcast_week;
  if (d < -kHalfWeek)
    wn += 1;
  else if (d > kHalfWeek)
    wn -= 1;
  if (wn < 0) wn += kWeekCycle;
  if (wn > kWeekCycle - 1) wn -= kWeekCycle;
  wn &= kWeekCycle - 1;
  return (S16)(wn + kThirdWeekCycleStart);
}

}  // namespace

EPH_T* Eph_gps_qzss_get_reference(S16 gnss_type, S16 prn) {
  if (gnss_type == GNSS_TYPE_GPS && prn >= 1 && prn <= 32) return &GPSeph[prn - 1];
  if (gnss_type == GNSS_TYPE_QZSS && prn >= 1 && prn <= QZSS_TABLE_SV) return &QZSSeph[prn - 1];
  return nullptr;
}

S16 Eph_gps_qzss_update(const U32* subframe_p, EPH_T* eph) {
  if (eph == nullptr) return 0;
  decode_subframe1(subframe_p, eph);
  decode_subframe2(subframe_p + 10, eph);
  decode_subframe3(subframe_p + 20, eph);
  eph->WN = full_week(eph->WN, eph->toc, eph->start_tow);
  return (eph->IODC & 0xFF) == eph->IODE ? 1 : 0;
}
