// Subframe collection for GPS, QZSS and GLONASS. Each satellite's latest
// pieces live in fixed tables; a flag byte records which pieces arrived, and
// the identifier of the last reported data set decides what counts as new.
#include "subframe.h"

#include <cstring>

#include "const.h"
#include "ephemeris.h"
#include "nav.h"

namespace {

constexpr int kGpsWordsPerSubframe = 10;
constexpr int kGloWordsPerString = 3;
constexpr U08 kSubframes123 = 0x07;
constexpr U08 kStrings12345 = 0x1F;
constexpr U32 kPage18SvId = 56;
constexpr S16 kWntOffsetWeeks = 1536;

// One constellation's LNAV collection state (GPS and QZSS share the logic).
struct LnavTables {
  U32 (*subframe)[50];
  U08* flag;
  S16* iode;
  S16* iodc;
  int count;
  S16 gnss_type;
};

U32 Gps_subframe[GPS_MAX_SV][50];
U08 Gps_subframe_flag[GPS_MAX_SV];
S16 Gps_iode[GPS_MAX_SV];
S16 Gps_iodc[GPS_MAX_SV];
U32 Qzss_subframe[QZSS_TABLE_SV][50];
U08 Qzss_subframe_flag[QZSS_TABLE_SV];
S16 Qzss_iode[QZSS_TABLE_SV];
S16 Qzss_iodc[QZSS_TABLE_SV];
U32 Glonass_subframe[GLO_MAX_SLOT][45];
U08 Glonass_subframe_flag[GLO_MAX_SLOT];
S32 Glonass_tb[GLO_MAX_SLOT];

const LnavTables kGps = {Gps_subframe, Gps_subframe_flag, Gps_iode,
                         Gps_iodc,     GPS_MAX_SV,        GNSS_TYPE_GPS};
const LnavTables kQzss = {Qzss_subframe, Qzss_subframe_flag, Qzss_iode,
                          Qzss_iodc,     QZSS_TABLE_SV,      GNSS_TYPE_QZSS};

// Data bits first..first+len-1 (1-based, IS-GPS-200 numbering) of a stored word.
U32 bits(U32 word, int first, int len) {
  return (word >> (30 - (first + len - 1))) & ((1u << len) - 1u);
}

S32 sbits(U32 word, int first, int len) {
  return (S32)(bits(word, first, len) << (32 - len)) >> (32 - len);
}

S16 collect_lnav(const LnavTables& t, U08 prn, U08 sfid, const U32* dws_p) {
  if (prn < 1 || prn > t.count || sfid < 1 || sfid > 3) return 0;
  EPH_T* eph = Eph_gps_qzss_get_reference(t.gnss_type, prn);
  memcpy(&t.subframe[prn - 1][(sfid - 1) * kGpsWordsPerSubframe], dws_p,
         kGpsWordsPerSubframe * sizeof(U32));
  t.flag[prn - 1] = (U08)(t.flag[prn - 1] | (1u << (sfid - 1)));
  if (sfid != 3 || (t.flag[prn - 1] & kSubframes123) != kSubframes123) return 0;
  t.flag[prn - 1] = 0;
  if (!Eph_gps_qzss_update(&t.subframe[prn - 1][0], eph)) return 0;
  if (eph->IODE == t.iode[prn - 1] && eph->IODC == t.iodc[prn - 1]) return 0;
  t.iode[prn - 1] = eph->IODE;
  t.iodc[prn - 1] = eph->IODC;
  return 1;
}

}  // namespace

void SF_init() {
  for (int i = 0; i < GPS_MAX_SV; i++) Gps_iode[i] = Gps_iodc[i] = -1;
  for (int i = 0; i < QZSS_TABLE_SV; i++) Qzss_iode[i] = Qzss_iodc[i] = -1;
  for (int i = 0; i < GLO_MAX_SLOT; i++) Glonass_tb[i] = -1;
  memset(Gps_subframe_flag, 0, sizeof Gps_subframe_flag);
  memset(Qzss_subframe_flag, 0, sizeof Qzss_subframe_flag);
  memset(Glonass_subframe_flag, 0, sizeof Glonass_subframe_flag);
  SF_init_beidou();
  SF_init_galileo();
}

S16 SF_gps_collect_subframe123(U08 prn, U08 sfid, const U32* dws_p) {
  return collect_lnav(kGps, prn, sfid, dws_p);
}

S16 SF_qzss_collect_subframe123(U08 prn, U08 sfid, const U32* dws_p) {
  return collect_lnav(kQzss, prn, sfid, dws_p);
}

S16 SF_gps_qzss_update_subframe4(S16 is_signal_from_qzss, const U32* subframe4) {
  const U32* w = subframe4 - 1;  // w[k] is word k
  U32 data_id = bits(w[3], 1, 2);
  U32 sv_id = bits(w[3], 3, 6);
  if (sv_id != kPage18SvId) return 0;
  S16 gnss_type = GNSS_TYPE_NONE;
  if (!is_signal_from_qzss && data_id == 1) gnss_type = GNSS_TYPE_GPS;
  if (is_signal_from_qzss && data_id == 0) gnss_type = GNSS_TYPE_GPS;
  if (is_signal_from_qzss && data_id == 3) gnss_type = GNSS_TYPE_QZSS;
  if (gnss_type == GNSS_TYPE_NONE) return 0;

  F32 a[4];
  S32 b[4];
  a[0] = (F32)(sbits(w[3], 9, 8) * 0x1p-30);
  a[1] = (F32)(sbits(w[3], 17, 8) * 0x1p-27);
  a[2] = (F32)(sbits(w[4], 1, 8) * 0x1p-24);
  a[3] = (F32)(sbits(w[4], 9, 8) * 0x1p-24);
  b[0] = sbits(w[4], 17, 8) * (1 << 11);
  b[1] = sbits(w[5], 1, 8) * (1 << 14);
  b[2] = sbits(w[5], 9, 8) * (1 << 16);
  b[3] = sbits(w[5], 17, 8) * (1 << 16);
  D64 a1 = sbits(w[6], 1, 24) * 0x1p-50;
  D64 a0 = (S32)((bits(w[7], 1, 24) << 8) | bits(w[8], 1, 8)) * 0x1p-30;
  S32 tot = (S32)bits(w[8], 9, 8) << 12;
  S16 wnt = (S16)(bits(w[8], 17, 8) + kWntOffsetWeeks);
  S16 delta_t_ls = (S16)sbits(w[9], 1, 8);

  Nav_set_iono_parameter(gnss_type, a, b);
  Nav_set_utc_parameter(gnss_type, a0, a1, tot, wnt);
  Nav_set_delta_t_ls(gnss_type, delta_t_ls);
  return 1;
}

S16 SF_glonass_collect_string(U08 slot, U08 strid, const U32* dws_p) {
  if (slot < 1 || slot > GLO_MAX_SLOT || strid < 1 || strid > 5) return 0;
  GLOEPH_T* gloeph = Eph_glonass_get_reference(slot);
  memcpy(&Glonass_subframe[slot - 1][(strid - 1) * kGloWordsPerString], dws_p,
         kGloWordsPerString * sizeof(U32));
  Glonass_subframe_flag[slot - 1] = (U08)(Glonass_subframe_flag[slot - 1] | (1u << (strid - 1)));
  if (strid != 5 || (Glonass_subframe_flag[slot - 1] & kStrings12345) != kStrings12345) return 0;
  D64 glo_tau_c = 0;
  S16 ok = Eph_glonass_update(&Glonass_subframe[slot - 1][0], gloeph, &glo_tau_c);
  Nav_set_glonass_tau_c_parameter(glo_tau_c);
  if (!ok || gloeph->tb == Glonass_tb[slot - 1]) return 0;
  Glonass_tb[slot - 1] = gloeph->tb;
  return 1;
}
