// The run's settings and constellation switches, held for the writers.
#include "rinex_config.h"

#include "const.h"

namespace {

S16 Enable_output_gps_meas;
S16 Enable_output_qzss_meas;
S16 Enable_output_glonass_meas;
S16 Enable_output_beidou2_meas;
S16 Enable_output_galileo_meas;
S16 Enable_output_sbas_meas;

Settings Config;

S16* switch_of(S16 gnss_type) {
  switch (gnss_type) {
    case GNSS_TYPE_GPS: return &Enable_output_gps_meas;
    case GNSS_TYPE_GLO: return &Enable_output_glonass_meas;
    case GNSS_TYPE_GAL: return &Enable_output_galileo_meas;
    case GNSS_TYPE_BD2: return &Enable_output_beidou2_meas;
    case GNSS_TYPE_QZSS: return &Enable_output_qzss_meas;
    case GNSS_TYPE_SBAS: return &Enable_output_sbas_meas;
    default: return nullptr;
  }
}

}  // namespace

void RINEX_configure(const Settings& s) { Config = s; }

const Settings& RINEX_settings() { return Config; }

void RINEX_clear_selection() {
  for (S16 type = GNSS_TYPE_GPS; type < GNSS_NTYPE; type++) *switch_of(type) = 0;
}

void RINEX_set_output_measurement(S16 gnss_type) {
  S16* sw = switch_of(gnss_type);
  if (sw != nullptr) *sw = 1;
}

S16 RINEX_is_able_to_output_measurement(S16 gnss_type) {
  S16* sw = switch_of(gnss_type);
  return (sw != nullptr && *sw) ? 1 : 0;
}

S16 RINEX_is_gnss_mixed_mode() {
  S16 count = 0;
  for (S16 type = GNSS_TYPE_GPS; type < GNSS_NTYPE; type++) count += *switch_of(type) ? 1 : 0;
  return count > 1 ? 1 : 0;
}

S16 RINEX_get_sys_type() {
  struct Entry {
    S16 gnss_type;
    S16 sys;
  };
  static const Entry kOrder[] = {
      {GNSS_TYPE_GPS, RINEX_SYS_GPS},    {GNSS_TYPE_QZSS, RINEX_SYS_QZSS},
      {GNSS_TYPE_SBAS, RINEX_SYS_SBAS},  {GNSS_TYPE_GLO, RINEX_SYS_GLONASS},
      {GNSS_TYPE_BD2, RINEX_SYS_BEIDOU}, {GNSS_TYPE_GAL, RINEX_SYS_GALILEO},
  };
  S16 sys = RINEX_SYS_GPS;
  S16 count = 0;
  for (const Entry& e : kOrder) {
    if (*switch_of(e.gnss_type)) {
      sys = e.sys;
      count++;
    }
  }
  return count > 1 ? (S16)RINEX_SYS_ALL : sys;
}
