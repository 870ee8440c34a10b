// Navigation parameter store: the latest leap seconds, UTC terms, GLONASS
// tau_c and ionospheric coefficients per constellation, as the navigation
// decoders scale them. Read by the navigation header.
#ifndef VLN_NAV_H
#define VLN_NAV_H

#include "data_type.h"

// Restores the start values (all zero, GPS leap seconds 18).
void Nav_init();
// Leap seconds of GPS, QZSS or BeiDou; other constellations are ignored.
void Nav_set_delta_t_ls(S16 gnss_type, S16 delta_t_ls);
// GPS, QZSS and BeiDou return their count; every other value returns 18.
S16 Nav_get_delta_t_ls(S16 gnss_type);
// UTC terms of GPS, QZSS, BeiDou or Galileo; others are ignored.
void Nav_set_utc_parameter(S16 gnss_type, D64 utc_a0, D64 utc_a1, S32 ref_tow, S16 ref_wn);
// 1 and the stored terms for GPS, QZSS, BeiDou and Galileo; 0 and nothing written otherwise.
S16 Nav_get_utc_parameter(S16 gnss_type, D64* utc_a0_p, D64* utc_a1_p, S32* ref_tow_p,
                          S16* ref_wn_p);
// The reference of Galileo's UTC terms as broadcast: t0t in seconds of the
// week and the week modulo 256 (the standard writers' GAUT).
void Nav_set_galileo_utc_reference(S32 t0t, S32 wn0t_mod_256);
void Nav_get_galileo_utc_reference(S32* t0t, S32* wn0t_mod_256);
void Nav_set_glonass_tau_c_parameter(D64 glo_tau_c);
void Nav_get_glonass_tau_c_parameter(D64* glo_tau_c_p);
// Four alpha and four beta coefficients of GPS, QZSS, BeiDou or Galileo.
void Nav_set_iono_parameter(S16 gnss_type, const F32* a, const S32* b);
S16 Nav_get_iono_parameter(S16 gnss_type, F32* a, S32* b);
// How often each kind of parameter of a constellation was set since Nav_init:
// 0 means the log has not taught it (the value is the start value).
enum { NAV_LEAP_SECONDS, NAV_UTC, NAV_IONO, NAV_TAU_C, NAV_KINDS };
U32 Nav_set_count(S16 kind, S16 gnss_type);

#endif
