// The shared header lines of the standard observation writers.
#include "std_obs.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "const.h"
#include "creation_date.h"
#include "crx_encode.h"
#include "epoch_select.h"
#include "nav.h"
#include "obs.h"
#include "obs_header_lines.h"
#include "rinex_config.h"
#include "rinex_format.h"
#include "time_convert.h"

namespace {

constexpr D64 kLargestIntervalField = 999999.999;  // what F10.3 holds

std::string fixed_line(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string fixed_line(const char* format, ...) {
  char text[256];
  va_list args;
  va_start(args, format);
  vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return text;
}

void time_line(Text* t, bool has, S32 week, D64 tow, const char* label) {
  Std_line(t, Obs_time_content(has ? TCVT_gps_calendar(week, tow) : UTC_TIME_T{}, "GPS"), label);
}

}  // namespace

void Std_line(Text* t, const std::string& content, const char* label) {
  text_printf(t, "%-60.60s%-20s\n", content.c_str(), label);
}

void Std_program_line(Text* t) {
  char date[32];
  RINEX_get_utc_date(date);
  text_printf(t, "%-20s%-20s%-20s%-20s\n", "vln_raw_to_rinex", "", date, "PGM / RUN BY / DATE");
}

void Std_comment_lines(Text* t, const std::vector<std::string>& notes) {
  for (const std::string& comment : RINEX_settings().comments) Std_line(t, comment, "COMMENT");
  for (const std::string& note : notes) Std_line(t, note, "COMMENT");
}

void Std_station_lines(Text* t, bool rinex3) {
  const Settings& s = RINEX_settings();
  Std_line(t, Settings_text(s, SET_MARKER_NAME, ""), "MARKER NAME");
  if (s.given[SET_MARKER_NUMBER]) Std_line(t, s.text[SET_MARKER_NUMBER], "MARKER NUMBER");
  if (rinex3 && s.given[SET_MARKER_TYPE]) Std_line(t, s.text[SET_MARKER_TYPE], "MARKER TYPE");
  text_printf(t, "%-20.20s%-40.40s%-20s\n", Settings_text(s, SET_OBSERVER, ""),
              Settings_text(s, SET_AGENCY, ""), "OBSERVER / AGENCY");
  text_printf(t, "%-20.20s%-20.20s%-20.20s%-20s\n", Settings_text(s, SET_RECEIVER_NUMBER, ""),
              Settings_text(s, SET_RECEIVER_TYPE, ""), Settings_text(s, SET_RECEIVER_VERSION, ""),
              "REC # / TYPE / VERS");
  // The antenna tables' spelling: type in columns 21-36, radome in 37-40.
  char antenna[32] = "";
  if (s.given[SET_ANTENNA_TYPE] || s.given[SET_RADOME])
    snprintf(antenna, sizeof antenna, "%-16s%-4s", Settings_text(s, SET_ANTENNA_TYPE, ""),
             Settings_text(s, SET_RADOME, "NONE"));
  text_printf(t, "%-20.20s%-20.20s%-20s%-20s\n", Settings_text(s, SET_ANTENNA_NUMBER, ""), antenna,
              "", "ANT # / TYPE");
}

void Std_position_lines(Text* t) {
  const Settings& s = RINEX_settings();
  POS_T pos;
  Obs_get_receiver_pos(&pos);
  if (s.given[SET_POSITION]) pos = POS_T{s.position[0], s.position[1], s.position[2]};
  const D64 v[2][3] = {{pos.px, pos.py, pos.pz},
                       {s.antenna_delta[0], s.antenna_delta[1], s.antenna_delta[2]}};
  const char* const kLabels[2] = {"APPROX POSITION XYZ", "ANTENNA: DELTA H/E/N"};
  for (int i = 0; i < 2; i++) {
    char fields[64];
    int n = 0;
    for (int k = 0; k < 3; k++) n += RINEX_format_fixed(fields + n, v[i][k], 14, 4);
    fields[n] = '\0';
    Std_line(t, fields, kLabels[i]);
  }
}

void Std_time_lines(Text* t, const ObsTimes& times) {
  time_line(t, times.has, times.first_week, times.first_tow, "TIME OF FIRST OBS");
  time_line(t, times.has, times.last_week, times.last_tow, "TIME OF LAST OBS");
}

std::string Std_interval_line(const ObsTimes& times, const ObsHeaderHints& hints) {
  D64 spacing = times.has ? Select_data_interval() : hints.given ? hints.interval : 0;
  if (!(spacing > 0 && spacing < kLargestIntervalField)) return "";
  char field[16];
  field[RINEX_format_fixed(field, spacing, 10, 3)] = '\0';
  return fixed_line("%-60s%-20s\n", field, "INTERVAL");
}

std::string Std_leap_line(const ObsTimes& times, const ObsHeaderHints& hints) {
  if (!times.has && hints.given && hints.leap_known &&
      Nav_set_count(NAV_LEAP_SECONDS, GNSS_TYPE_GPS) == 0)
    return fixed_line("%6d%54s%-20s\n", hints.leap, "", "LEAP SECONDS");
  if (Nav_set_count(NAV_LEAP_SECONDS, GNSS_TYPE_GPS) == 0) return "";
  return fixed_line("%6d%54s%-20s\n", Nav_get_delta_t_ls(GNSS_TYPE_GPS), "", "LEAP SECONDS");
}

bool Std_glonass_k(S16 slot, const ObsTimes& times, const ObsHeaderHints& hints, S08* k) {
  if (Obs_has_slot(slot)) {
    *k = (S08)Obs_get_k_num(slot);
    return true;
  }
  *k = Glo_almanac_k(slot);
  if (*k == GLONASS_UNKNOWN_K && !times.has && hints.given) *k = hints.glonass_k[slot];
  return *k != GLONASS_UNKNOWN_K;
}

void Std_signal_fields(const SIGNAL_REC_T* r, ObsFields* sat) {
  for (int k = 0; k < 4 && sat->nfields < OBS_MAX_FIELDS; k++, sat->nfields++) {
    int at = sat->nfields;
    bool present = r != nullptr && (r->present >> k & 1) != 0;
    bool negative = present && (r->negative >> k & 1) != 0;
    sat->present[at] = present;
    sat->value[at] = present ? (negative ? -(int64_t)r->field[k] : (int64_t)r->field[k]) : 0;
    if (negative && r->field[k] == 0) sat->minus_zero |= 1ULL << at;
    sat->flags[2 * at] = present && k == 1 && r->lli != 0 ? (char)('0' + r->lli % 10) : ' ';
    sat->flags[2 * at + 1] = ' ';
  }
}

std::string Std_end_header(Text* t, int crx_version) {
  Std_line(t, "", "END OF HEADER");
  if (!RINEX_settings().crx) return t->s;
  char date[32];
  RINEX_get_utc_date(date);
  return Crx_header(t->s, date, crx_version, true);
}
