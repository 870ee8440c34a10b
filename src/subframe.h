// Subframe collection: keeps the latest navigation words of every satellite,
// hands a complete and consistent set to its constellation's decoder, stores
// the correction parameters the words carry, and tells the caller whether a
// new ephemeris is ready to be written (1) or not (0).
#ifndef VLN_SUBFRAME_H
#define VLN_SUBFRAME_H

#include "data_type.h"

// Starts every satellite with no piece held and no ephemeris reported.
void SF_init();
// The BeiDou and Galileo share of SF_init, kept beside their tables.
void SF_init_beidou();
void SF_init_galileo();
// GPS PRN 1-32 / QZSS number 1-5, subframes 1-3, ten words each.
S16 SF_gps_collect_subframe123(U08 prn, U08 sfid, const U32* dws_p);
S16 SF_qzss_collect_subframe123(U08 prn, U08 sfid, const U32* dws_p);
// Subframe 4 page 18: ionosphere, UTC and leap seconds of GPS or QZSS by data ID.
S16 SF_gps_qzss_update_subframe4(S16 is_signal_from_qzss, const U32* subframe4);
// GLONASS slot 1-24, strings 1-5, three words each; stores tau_c at each decode.
S16 SF_glonass_collect_string(U08 slot, U08 strid, const U32* dws_p);
// BeiDou D1 subframes 1-3; stores the ionosphere at each decode.
S16 SF_bd2_d1_collect_subframe123(U08 svid, U08 sfid, const U32* dws_p);
// BeiDou D1 subframe 5; page 10 carries leap seconds and UTC terms.
S16 SF_bd2_d1_update_subframe5(U08 svid, U08 sfid, const U32* dws_p);
// BeiDou D2 subframe 1 pages 1-10, five words each, accepted in an unbroken run.
S16 SF_bd2_d2_collect_subframe1_page1_to_10(U08 svid, U08 sfid, const U32* words, U08 pnum);
// Galileo SVID 1-36, I/NAV word types 1-6, four words each.
S16 SF_gal_collect_word123456(U08 prn, U08 sfid, const U32* dws_p);

#endif
