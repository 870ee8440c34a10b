// Change detection on the parameter store: each set's values are kept as
// last seen and compared after every navigation message (the store also
// counts how often each set was written, which tells a set the log never
// taught from one that stayed at its start value).
#include "nav_params.h"

#include <cstring>

#include "const.h"
#include "obs.h"

namespace {

struct Values {
  D64 v[8];
};

ParamSource Sources[NAV_KINDS][GNSS_NTYPE];
Values Last[NAV_KINDS][GNSS_NTYPE];

Values current(S16 kind, S16 gnss_type) {
  Values x = {};
  switch (kind) {
    case NAV_LEAP_SECONDS: x.v[0] = Nav_get_delta_t_ls(gnss_type); break;
    case NAV_UTC: {
      S32 tow = 0;
      S16 wn = 0;
      Nav_get_utc_parameter(gnss_type, &x.v[0], &x.v[1], &tow, &wn);
      x.v[2] = tow, x.v[3] = wn;
      break;
    }
    case NAV_IONO: {
      F32 a[4] = {0, 0, 0, 0};
      S32 b[4] = {0, 0, 0, 0};
      Nav_get_iono_parameter(gnss_type, a, b);
      for (int i = 0; i < 4; i++) x.v[i] = a[i], x.v[4 + i] = b[i];
      break;
    }
    case NAV_TAU_C: Nav_get_glonass_tau_c_parameter(&x.v[0]); break;
    default: break;
  }
  return x;
}

}  // namespace

void Params_start() {
  memset(Sources, 0, sizeof Sources);
  memset(Last, 0, sizeof Last);
}

U32 Params_note(char letter, int sat) {
  U32 changed = 0;
  for (S16 kind = 0; kind < NAV_KINDS; kind++)
    for (S16 type = GNSS_TYPE_GPS; type < GNSS_NTYPE; type++) {
      if (Nav_set_count(kind, type) == 0) continue;
      Values now = current(kind, type);
      ParamSource& s = Sources[kind][type];
      if (s.known && memcmp(&now, &Last[kind][type], sizeof now) == 0) continue;
      Last[kind][type] = now;
      s.known = true;
      s.letter = letter;
      s.sat = sat;
      Obs_get_gps_time(&s.week, &s.tow);
      changed |= 1u << (kind * 8 + type);
    }
  return changed;
}

const ParamSource& Params_source(S16 kind, S16 gnss_type) { return Sources[kind][gnss_type]; }
