// SBAS GEO navigation records from message types 9, 12 and 17, the SBAS
// bit readers, and the unit's initialiser. Message bit 0 is the first bit of
// the preamble; the data field starts at bit 14.
#include "ephemeris.h"

namespace {

constexpr int kGeoCount = 19;  // PRN 120-138
SBAS_GEO_T Sbas_Geo_local[kGeoCount];

constexpr S08 kHasType9 = 1;
constexpr S08 kHasType12 = 2;
constexpr S08 kHasType17 = 4;

constexpr D64 kP2_31 = 4.6566128730773e-10;
constexpr D64 kP2_40 = 9.0949470177292e-13;

// One field of message type 9: first bit, width, scale.
struct Mt9Field {
  S16 start;
  S16 len;
  D64 scale;
};

}  // namespace

void Eph_init() {
  for (SBAS_GEO_T& geo : Sbas_Geo_local) geo.update_flag = 0;
}

U32 SBAS_EXT_unsign(const U32* words_p, S16 start_bit, S16 n) {
  S16 wdx = start_bit / 32;
  S16 bdx = start_bit % 32;
  if (n <= 32 - bdx) return (words_p[wdx] << bdx) >> (32 - n);
  U32 high = words_p[wdx] << bdx;
  U32 low = (words_p[wdx + 1] & (0xFFFFFFFFu << (64 - n - bdx))) >> (32 - bdx);
  return (high | low) >> (32 - n);
}

S32 SBAS_EXT_sign(const U32* words_p, S16 start_bit, S16 n) {
  S16 wdx = start_bit / 32;
  S16 bdx = start_bit % 32;
  if (n <= 32 - bdx) return (S32)(words_p[wdx] << bdx) >> (32 - n);
  U32 high = words_p[wdx] << bdx;
  U32 low = (words_p[wdx + 1] & (0xFFFFFFFFu << (64 - n - bdx))) >> (32 - bdx);
  return (S32)(high | low) >> (32 - n);
}

SBAS_GEO_T* Eph_sbas_get_reference(S16 sbas_index) {
  if (sbas_index < 0 || sbas_index >= kGeoCount) return nullptr;
  return &Sbas_Geo_local[sbas_index];
}

S16 Eph_sbas_update_mt9(SBAS_GEO_T* sbas_geo_p, const U32* words_p) {
  static const Mt9Field kState[] = {
      {39, 30, 0.08},       {69, 30, 0.08},       {99, 25, 0.4},         // XG YG ZG
      {124, 17, 0.000625},  {141, 17, 0.000625},  {158, 18, 0.004},      // rates
      {176, 10, 0.0000125}, {186, 10, 0.0000125}, {196, 10, 0.0000625},  // accelerations
  };
  D64* const targets[] = {&sbas_geo_p->XG,  &sbas_geo_p->YG,  &sbas_geo_p->ZG,
                          &sbas_geo_p->VXG, &sbas_geo_p->VYG, &sbas_geo_p->VZG,
                          &sbas_geo_p->AXG, &sbas_geo_p->AYG, &sbas_geo_p->AZG};
  sbas_geo_p->IOD = (U08)SBAS_EXT_unsign(words_p, 14, 8);
  sbas_geo_p->t0 = (S32)SBAS_EXT_unsign(words_p, 22, 13) * 16;
  sbas_geo_p->URA = (U08)SBAS_EXT_unsign(words_p, 35, 4);
  for (int i = 0; i < 9; i++)
    *targets[i] = (D64)SBAS_EXT_sign(words_p, kState[i].start, kState[i].len) * kState[i].scale;
  sbas_geo_p->aGf0 = (D64)SBAS_EXT_sign(words_p, 206, 12) * kP2_31;
  sbas_geo_p->aGf1 = (D64)SBAS_EXT_sign(words_p, 218, 8) * kP2_40;
  sbas_geo_p->update_flag = (S08)(sbas_geo_p->update_flag | kHasType9);
  return 1;
}

S16 Eph_sbas_update_mt12(SBAS_GEO_T* sbas_geo_p, S16 wn, S32 tow) {
  sbas_geo_p->WN_SBAS = wn;
  sbas_geo_p->TOW_SBAS = tow;
  sbas_geo_p->update_flag = (S08)(sbas_geo_p->update_flag | kHasType12);
  return 1;
}

S16 Eph_sbas_update_mt17(SBAS_GEO_T* sbas_geo_p, U08 health) {
  sbas_geo_p->health = health;
  sbas_geo_p->update_flag = (S08)(sbas_geo_p->update_flag | kHasType17);
  return 1;
}
