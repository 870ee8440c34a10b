// Navigation parameter store. The collector and the Galileo decoder write
// whole parameter sets; the navigation header reads them. A set never
// received reads as zeros (and the GPS leap seconds as 18).
#include "nav.h"

#include <cstring>

#include "const.h"

namespace {

constexpr S16 kDefaultLeapSeconds = 18;

struct UtcSet {
  D64 a0;
  D64 a1;
  S32 tot;
  S16 wnt;
};

struct IonoSet {
  F32 a[4];
  S32 b[4];
};

S16 GPS_Delta_t_ls = kDefaultLeapSeconds;
S16 QZSS_Delta_t_ls;
S16 BD2_Delta_t_ls;
UtcSet GPS_Utc, QZSS_Utc, BD2_Utc, GAL_Utc;
D64 Glo_tau_c;
IonoSet GPS_Ion_param, QZSS_Ion_param, BD2_Ion_param, GAL_Ion_param;

S16* delta_t_ls_of(S16 gnss_type) {
  switch (gnss_type) {
    case GNSS_TYPE_GPS: return &GPS_Delta_t_ls;
    case GNSS_TYPE_QZSS: return &QZSS_Delta_t_ls;
    case GNSS_TYPE_BD2: return &BD2_Delta_t_ls;
    default: return nullptr;
  }
}

UtcSet* utc_of(S16 gnss_type) {
  switch (gnss_type) {
    case GNSS_TYPE_GPS: return &GPS_Utc;
    case GNSS_TYPE_QZSS: return &QZSS_Utc;
    case GNSS_TYPE_BD2: return &BD2_Utc;
    case GNSS_TYPE_GAL: return &GAL_Utc;
    default: return nullptr;
  }
}

IonoSet* iono_of(S16 gnss_type) {
  switch (gnss_type) {
    case GNSS_TYPE_GPS: return &GPS_Ion_param;
    case GNSS_TYPE_QZSS: return &QZSS_Ion_param;
    case GNSS_TYPE_BD2: return &BD2_Ion_param;
    case GNSS_TYPE_GAL: return &GAL_Ion_param;
    default: return nullptr;
  }
}

U32 Set_count[NAV_KINDS][GNSS_NTYPE];
S32 Gal_t0t, Gal_wn0t;

void count_set(S16 kind, S16 gnss_type) {
  if (gnss_type >= 0 && gnss_type < GNSS_NTYPE) Set_count[kind][gnss_type]++;
}

}  // namespace

U32 Nav_set_count(S16 kind, S16 gnss_type) {
  if (kind < 0 || kind >= NAV_KINDS || gnss_type < 0 || gnss_type >= GNSS_NTYPE) return 0;
  return Set_count[kind][gnss_type];
}

void Nav_init() {
  memset(Set_count, 0, sizeof Set_count);
  Gal_t0t = Gal_wn0t = 0;
  GPS_Delta_t_ls = kDefaultLeapSeconds;
  QZSS_Delta_t_ls = 0;
  BD2_Delta_t_ls = 0;
  GPS_Utc = QZSS_Utc = BD2_Utc = GAL_Utc = UtcSet{};
  Glo_tau_c = 0;
  GPS_Ion_param = QZSS_Ion_param = BD2_Ion_param = GAL_Ion_param = IonoSet{};
}

void Nav_set_delta_t_ls(S16 gnss_type, S16 delta_t_ls) {
  count_set(NAV_LEAP_SECONDS, gnss_type);
  S16* p = delta_t_ls_of(gnss_type);
  if (p != nullptr) *p = delta_t_ls;
}

S16 Nav_get_delta_t_ls(S16 gnss_type) {
  S16* p = delta_t_ls_of(gnss_type);
  return p != nullptr ? *p : kDefaultLeapSeconds;
}

void Nav_set_utc_parameter(S16 gnss_type, D64 utc_a0, D64 utc_a1, S32 ref_tow, S16 ref_wn) {
  count_set(NAV_UTC, gnss_type);
  UtcSet* p = utc_of(gnss_type);
  if (p != nullptr) *p = UtcSet{utc_a0, utc_a1, ref_tow, ref_wn};
}

S16 Nav_get_utc_parameter(S16 gnss_type, D64* utc_a0_p, D64* utc_a1_p, S32* ref_tow_p,
                          S16* ref_wn_p) {
  const UtcSet* p = utc_of(gnss_type);
  if (p == nullptr) return 0;
  *utc_a0_p = p->a0;
  *utc_a1_p = p->a1;
  *ref_tow_p = p->tot;
  *ref_wn_p = p->wnt;
  return 1;
}

void Nav_set_galileo_utc_reference(S32 t0t, S32 wn0t_mod_256) {
  Gal_t0t = t0t;
  Gal_wn0t = wn0t_mod_256;
}

void Nav_get_galileo_utc_reference(S32* t0t, S32* wn0t_mod_256) {
  *t0t = Gal_t0t;
  *wn0t_mod_256 = Gal_wn0t;
}

void Nav_set_glonass_tau_c_parameter(D64 glo_tau_c) {
  count_set(NAV_TAU_C, GNSS_TYPE_GLO);
  Glo_tau_c = glo_tau_c;
}

void Nav_get_glonass_tau_c_parameter(D64* glo_tau_c_p) { *glo_tau_c_p = Glo_tau_c; }

void Nav_set_iono_parameter(S16 gnss_type, const F32* a, const S32* b) {
  count_set(NAV_IONO, gnss_type);
  IonoSet* p = iono_of(gnss_type);
  if (p == nullptr) return;
  for (int i = 0; i < 4; i++) {
    p->a[i] = a[i];
    p->b[i] = b[i];
  }
}

S16 Nav_get_iono_parameter(S16 gnss_type, F32* a, S32* b) {
  const IonoSet* p = iono_of(gnss_type);
  if (p == nullptr) return 0;
  for (int i = 0; i < 4; i++) {
    a[i] = p->a[i];
    b[i] = p->b[i];
  }
  return 1;
}
