// Subframe collection for BeiDou: D1 subframes 1-3 (and page 10 of subframe 5) of the MEO/IGSO
// satellites, and the ten pages of D2 subframe 1 of the geostationary ones.
#include <cstring>

#include "const.h"
#include "ephemeris.h"
#include "nav.h"
#include "subframe.h"
#include "word_extract.h"

namespace {

constexpr int kD1WordsPerSubframe = 10;
constexpr int kD2WordsPerPage = 5;
constexpr int kD2Pages = 10;
constexpr U08 kSubframes123 = 0x07;
constexpr U32 kUtcPage = 10;
constexpr S16 kBdsToGpsWeeks = 1356;
constexpr U32 kSecondsPerHour = 3600;

U32 Bd2_d1_subframe[BD2_TABLE_SV][3 * kD1WordsPerSubframe];
U08 Bd2_d1_subframe_flag[BD2_TABLE_SV];
S32 Bd2_d1_toe[BD2_TABLE_SV];
U32 Bd2_d2_subframe[BD2_TABLE_SV][100];
S16 Bd2_d2_subframe_pnum_flag[BD2_TABLE_SV][kD2Pages];
S32 Bd2_d2_toe[BD2_TABLE_SV];
U32 Bd2_d2_last_how;

bool valid_svid(U08 svid) { return svid >= 1 && svid <= BD2_TABLE_SV; }

}  // namespace

void SF_init_beidou() {
  for (int i = 0; i < BD2_TABLE_SV; i++) Bd2_d1_toe[i] = Bd2_d2_toe[i] = -1;
  Bd2_d2_last_how = 0;
  memset(Bd2_d1_subframe_flag, 0, sizeof Bd2_d1_subframe_flag);
  memset(Bd2_d2_subframe_pnum_flag, 0, sizeof Bd2_d2_subframe_pnum_flag);
}

S16 SF_bd2_d1_collect_subframe123(U08 svid, U08 sfid, const U32* dws_p) {
  if (!valid_svid(svid) || sfid < 1 || sfid > 3) return 0;
  BD2EPH_T* bd2d1eph = Eph_beidou_get_reference(svid);
  memcpy(&Bd2_d1_subframe[svid - 1][(sfid - 1) * kD1WordsPerSubframe], dws_p,
         kD1WordsPerSubframe * sizeof(U32));
  Bd2_d1_subframe_flag[svid - 1] = (U08)(Bd2_d1_subframe_flag[svid - 1] | (1u << (sfid - 1)));
  if (sfid != 3 || (Bd2_d1_subframe_flag[svid - 1] & kSubframes123) != kSubframes123) return 0;
  F32 a[4] = {0, 0, 0, 0};
  S32 b[4] = {0, 0, 0, 0};
  S16 ok = Eph_bd2_d1_update(&Bd2_d1_subframe[svid - 1][0], bd2d1eph, a, b);
  // The decoder reads the ionosphere before its own checks: stored either way.
  Nav_set_iono_parameter(GNSS_TYPE_BD2, a, b);
  if (!ok || bd2d1eph->toe == Bd2_d1_toe[svid - 1]) return 0;
  Bd2_d1_toe[svid - 1] = bd2d1eph->toe;
  return 1;
}

// Subframe 5 page 10 is read as it comes: nothing of subframe 5 is kept.
S16 SF_bd2_d1_update_subframe5(U08 svid, U08 sfid, const U32* dws_p) {
  if (!valid_svid(svid)) return 0;
  const U32* w = dws_p - 1;  // w[k] is word k
  U32 page = WORDEXTR_bd2_extract_unsigned_bits(w[2], 14, 7);
  if (sfid != 5 || page != kUtcPage) return 0;

  S16 delta_t_ls = (S16)WORDEXTR_bd2_extract_signed_bits_from_words(w[2], w[3], 0, 21, 8);
  S32 ref_tow = WORDEXTR_bd2_extract_signed_bits(w[3], 7, 8);
  S16 ref_wn = (S16)(WORDEXTR_bd2_extract_unsigned_bits(w[3], 15, 8) + kBdsToGpsWeeks);
  D64 a0 = WORDEXTR_bd2_extract_signed_bits_from_words(w[4], w[5], 0, 1, 32) * 0x1p-30;
  D64 a1 = (F32)WORDEXTR_bd2_extract_signed_bits_from_words(w[5], w[6], 0, 11, 24) * 0x1p-50f;
  Nav_set_delta_t_ls(GNSS_TYPE_BD2, delta_t_ls);
  Nav_set_utc_parameter(GNSS_TYPE_BD2, a0, a1, ref_tow, ref_wn);
  return 1;
}

S16 SF_bd2_d2_collect_subframe1_page1_to_10(U08 svid, U08 sfid, const U32* words, U08 pnum) {
  (void)sfid;
  if (!valid_svid(svid) || pnum < 1 || pnum > kD2Pages) return 0;
  BD2EPH_T* bd2d2eph = Eph_beidou_get_reference(svid);
  S16* flags = Bd2_d2_subframe_pnum_flag[svid - 1];
  U32 sow = WORDEXTR_bd2_extract_unsigned_bits_from_words(words[0], words[1], 1, 19, 20);
  U32 how = sow / kSecondsPerHour;
  // The hour is shared by all satellites: only the first page of a new hour
  // clears anything, and only its own satellite's run.
  if (how != Bd2_d2_last_how) memset(flags, 0, kD2Pages * sizeof(S16));
  Bd2_d2_last_how = how;

  if (pnum != 1 && !flags[pnum - 2]) return 0;  // pages are taken only in an unbroken run
  memcpy(&Bd2_d2_subframe[svid - 1][(pnum - 1) * kD2WordsPerPage], words,
         kD2WordsPerPage * sizeof(U32));
  flags[pnum - 1] = 1;
  if (!flags[kD2Pages - 1]) return 0;

  memset(flags, 0, kD2Pages * sizeof(S16));
  S16 ok = Eph_bd2_d2_update(svid, &Bd2_d2_subframe[svid - 1][0], bd2d2eph);
  if (bd2d2eph != nullptr) bd2d2eph->start_tow = sow;
  if (!ok || bd2d2eph->toe == Bd2_d2_toe[svid - 1]) return 0;
  Bd2_d2_toe[svid - 1] = bd2d2eph->toe;
  return 1;
}
