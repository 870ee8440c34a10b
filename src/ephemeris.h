// Ephemeris tables of every constellation and the decoders that turn a
// complete set of navigation words into a table entry. Lookups hand out
// pointers into the tables, or nullptr for a number outside them.
#ifndef VLN_EPHEMERIS_H
#define VLN_EPHEMERIS_H

#include "data_type.h"

// GPS and QZSS legacy navigation record.
typedef struct {
  D64 M0;
  D64 e;
  D64 sqrt_A;
  D64 Omega_0;
  D64 i0;
  D64 omega;
  D64 Omega_dot;
  D64 A;
  S16 prn;
  S16 IODC;
  S16 IODE;
  S16 WN;
  S08 valid;
  S08 data_source;
  U16 AODO;
  F32 TGD;
  F32 TGD1;
  F32 TGD2;
  F32 af0;
  F32 af1;
  F32 af2;
  D64 Crs;
  D64 Cuc;
  D64 Cus;
  D64 Cic;
  D64 Cis;
  D64 Crc;
  D64 delta_n;
  D64 IDOT;
  D64 SV_accuracy_meters;
  S32 toc;
  S32 toe;
  U08 URA;
  U08 health;
  U08 codes_on_L2;
  U08 L2_P_data_flag;
  S08 valid_check;
  S08 valid_check_count;
  U32 start_tow;
  U08 fit_interval;
} EPH_T;

// GLONASS immediate-data record (km, km/s, km/s^2, s).
typedef struct {
  D64 Xn;
  D64 Yn;
  D64 Zn;
  F32 dXn;
  F32 dYn;
  F32 dZn;
  F32 ddXn;
  F32 ddYn;
  F32 ddZn;
  F32 gamma_n;
  F32 tau_n;
  F32 delta_tau_n;
  S32 tb;
  U16 NT;
  S32 tod;
  U08 FT;
  U08 FT_index;  // the accuracy index F_T itself
  S16 slot_n;
  U08 M;
  U08 healthy;
  U08 En;
  U08 p1234;
  U08 P_flag;
  U16 N4;
} GLOEPH_T;

// BeiDou D1/D2 record; IODE and IODC hold the ages of data AODE and AODC.
typedef struct {
  S16 bd2_svid;
  D64 M0;
  D64 e;
  D64 sqrt_A;
  D64 Omega_0;
  D64 i0;
  D64 omega;
  D64 Omega_dot;
  D64 A;
  S16 prn;
  S16 IODC;
  S16 IODE;
  S16 WN;
  S08 valid;
  S08 data_source;
  U16 AODO;
  F32 TGD;
  F32 TGD1;
  F32 TGD2;
  F32 af0;
  F32 af1;
  F32 af2;
  D64 Crs;
  D64 Cuc;
  D64 Cus;
  D64 Cic;
  D64 Cis;
  D64 Crc;
  D64 delta_n;
  D64 IDOT;
  D64 SV_accuracy_meters;
  S32 toc;
  S32 toe;
  U08 URA;
  U08 health;
  U08 codes_on_L2;
  U08 L2_P_data_flag;
  S08 valid_check;
  S08 valid_check_count;
  U32 start_tow;
  U08 fit_interval;
} BD2EPH_T;

// Galileo I/NAV record.
typedef struct {
  D64 M0;
  D64 e;
  D64 sqrt_A;
  D64 Omega_0;
  D64 i0;
  D64 omega;
  D64 idot;
  D64 Omega_dot;
  D64 delta_n;
  D64 af0;
  D64 af1;
  D64 af2;
  D64 Ek;
  S32 TOW_5;
  S32 toe;
  F32 Cuc;
  F32 Cus;
  F32 Crc;
  F32 Crs;
  F32 Cic;
  F32 Cis;
  S32 toc;
  F32 BGD_E1E5a;
  F32 BGD_E1E5b;
  F32 ai0;
  F32 ai1;
  F32 ai2;
  S16 svid_flag;
  S16 valid_flag;
  U16 IOD_nav[4];
  S16 WN;
  U08 E5b_hs;
  U08 E1B_hs;
  U08 E5a_hs;
  U08 E5b_dvs;
  U08 E1B_dvs;
  U08 E5a_dvs;
  U08 SF1;
  U08 SF2;
  U08 SF3;
  U08 SF4;
  U08 SF5;
  U08 SISA;
  U08 signal_type;
  U08 message_type;
} GALIEPH_T;
typedef GALIEPH_T* GALI_EPH_T;

// SBAS GEO navigation record (message types 9, 12 and 17).
typedef struct {
  D64 XG;
  D64 YG;
  D64 ZG;
  D64 VXG;
  D64 VYG;
  D64 VZG;
  D64 AXG;
  D64 AYG;
  D64 AZG;
  D64 aGf0;
  D64 aGf1;
  S32 t0;
  S32 TOW_SBAS;
  S16 WN_SBAS;
  S16 prn;
  U08 URA;
  U08 IOD;
  U08 rsvd;
  S08 update_flag;
  U08 health;
} SBAS_GEO_T;

// Clears the SBAS update flags; the other tables start zeroed and are never cleared.
void Eph_init();

// GPS (PRN 1-32) or QZSS (number 1-10) entry.
EPH_T* Eph_gps_qzss_get_reference(S16 gnss_type, S16 prn);
// Decodes subframes 1-3 (30 words) into eph; 1 when the low 8 bits of IODC equal IODE.
S16 Eph_gps_qzss_update(const U32* subframe_p, EPH_T* eph);

// GLONASS slot 1-24 entry.
GLOEPH_T* Eph_glonass_get_reference(S16 slot);
// Decodes strings 1-5 (15 words) into gloeph and tau_c; always 1.
S16 Eph_glonass_update(const U32* string_p, GLOEPH_T* gloeph, D64* glo_tau_c_p);

// BeiDou entry (1-63): the geostationary satellites (1-5, 59-63) in the D2
// table, the others in the D1 table.
BD2EPH_T* Eph_beidou_get_reference(S16 prn);
// Decodes D1 subframes 1-3 (30 words) and the ionosphere; 0 for toc != toe.
S16 Eph_bd2_d1_update(const U32* subframe_p, BD2EPH_T* bd2d1eph, F32* bd2_a, S32* bd2_b);
// Decodes D2 pages 1-10 (5 words each); 0 for toc != toe or a failed double check.
S16 Eph_bd2_d2_update(U08 svid, const U32* subframe_p, BD2EPH_T* bd2d2eph);

// Galileo SVID 1-36 entry.
GALI_EPH_T Eph_gal_get_reference(S16 prn);
// Decodes word types 1-5 (four words each) and hands the ionosphere on; always 1.
S16 EPH_gal_update(GALI_EPH_T gali_eph, const U32* dws_p);
// The signal-in-space accuracy in metres of a SISA index (-1: no prediction).
D64 Eph_gal_sisa_meters(U08 n);
// The health bits as navigation files write them: E1-B data validity and
// signal health, then E5a's and E5b's.
D64 Eph_gal_health(const GALIEPH_T& e);

// SBAS readers: bit 0 is the most significant bit of words_p[0]. Two's complement.
U32 SBAS_EXT_unsign(const U32* words_p, S16 start_bit, S16 n);
S32 SBAS_EXT_sign(const U32* words_p, S16 start_bit, S16 n);
// SBAS GEO record for PRN - 120 (0-18).
SBAS_GEO_T* Eph_sbas_get_reference(S16 sbas_index);
S16 Eph_sbas_update_mt9(SBAS_GEO_T* sbas_geo_p, const U32* words_p);
S16 Eph_sbas_update_mt12(SBAS_GEO_T* sbas_geo_p, S16 wn, S32 tow);
S16 Eph_sbas_update_mt17(SBAS_GEO_T* sbas_geo_p, U08 health);

#endif
