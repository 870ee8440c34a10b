// Subframe collection for Galileo I/NAV word types 1-6. Types 1-4 must carry
// the same IODnav before type 5 starts a decode; type 6 gives the UTC terms.
#include <cstring>

#include "const.h"
#include "ephemeris.h"
#include "nav.h"
#include "subframe.h"

namespace {

constexpr int kWordsPerType = 4;
constexpr U08 kTypes12345 = 0x1F;

U32 Gal_subframe[GAL_MAX_SV][24];
U08 Gal_subframe_flag[GAL_MAX_SV];
U16 Gal_iod_nav[GAL_MAX_SV][4];
S16 Gal_iodnav[GAL_MAX_SV];

bool same_iodnav(const U16* iod) {
  return iod[0] == iod[1] && iod[1] == iod[2] && iod[2] == iod[3];
}

// Word type 6: A0 at word bits 7-38, A1 at 39-62, both two's complement.
void store_utc(const U32* w, GALI_EPH_T gali_eph) {
  S32 a0_raw = (S32)(((w[0] & 0x03FFFFFFu) << 6) | (w[1] >> 26));
  S32 a1_raw = (S32)((w[1] >> 2) << 8) >> 8;
  D64 a0 = a0_raw * 0x1p-30;
  D64 a1 = a1_raw * 0x1p-50;
  Nav_set_utc_parameter(GNSS_TYPE_GAL, a0, a1, gali_eph->TOW_5, gali_eph->WN);
  // t0t (hours, bits 71-78) and WN0t (bits 79-86).
  Nav_set_galileo_utc_reference((S32)((w[2] >> 18) & 0xFF) * 3600, (S32)((w[2] >> 10) & 0xFF));
}

}  // namespace

void SF_init_galileo() {
  for (int i = 0; i < GAL_MAX_SV; i++) Gal_iodnav[i] = -1;
  memset(Gal_subframe_flag, 0, sizeof Gal_subframe_flag);
}

S16 SF_gal_collect_word123456(U08 prn, U08 sfid, const U32* dws_p) {
  if (prn < 1 || prn > GAL_MAX_SV || sfid < 1 || sfid > 6) return 0;
  GALI_EPH_T gali_eph = Eph_gal_get_reference(prn);
  U32* stored = &Gal_subframe[prn - 1][(sfid - 1) * kWordsPerType];
  memcpy(stored, dws_p, kWordsPerType * sizeof(U32));
  Gal_subframe_flag[prn - 1] = (U08)(Gal_subframe_flag[prn - 1] | (1u << (sfid - 1)));
  if (sfid <= 4) Gal_iod_nav[prn - 1][sfid - 1] = (U16)((stored[0] >> 16) & 0x3FF);

  if (sfid == 5 && (Gal_subframe_flag[prn - 1] & kTypes12345) == kTypes12345 &&
      same_iodnav(Gal_iod_nav[prn - 1])) {
    Gal_subframe_flag[prn - 1] = (U08)(Gal_subframe_flag[prn - 1] & ~kTypes12345);
    if (!EPH_gal_update(gali_eph, &Gal_subframe[prn - 1][0])) return 0;
    if (gali_eph->IOD_nav[0] == Gal_iodnav[prn - 1]) return 0;
    Gal_iodnav[prn - 1] = (S16)gali_eph->IOD_nav[0];
    return 1;
  }
  if (sfid == 6) store_utc(stored, gali_eph);
  return 0;
}
