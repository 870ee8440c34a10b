// RINEX 3.x navigation headers. A parameter set the log has not taught keeps
// its reserved line as a blank COMMENT line, so the header written at the end
// has the length of the provisional one.
#include "rinex3_nav.h"

#include <cstdio>

#include "const.h"
#include "nav.h"
#include "nav_params.h"
#include "obs.h"
#include "rinex_config.h"
#include "rinex_format.h"
#include "settings.h"
#include "std_obs.h"
#include "text_buffer.h"

namespace {

constexpr S32 kWntOffsetWeeks = 1536;  // what the decoder adds to GPS's 8-bit WNt
constexpr S32 kBdsToGpsWeeks = 1356;
constexpr D64 kBdsBehindGps = 14;  // BDT = GPS - 14 s
constexpr S32 kSecondsPerHour = 3600;

int version() { return RINEX_settings().rinex_version; }

const char* system_description() {
  switch (RINEX_get_sys_type()) {
    case RINEX_SYS_GPS: return "G: GPS";
    case RINEX_SYS_QZSS: return "J: QZSS";
    case RINEX_SYS_SBAS: return "S: SBAS";
    case RINEX_SYS_GLONASS: return "R: GLONASS";
    case RINEX_SYS_GALILEO: return "E: GALILEO";
    case RINEX_SYS_BEIDOU: return "C: BEIDOU";
    default: return "M: MIXED";
  }
}

std::string exponent(D64 x, int width, int prec) {
  char text[32];
  RINEX_format_exponent(x, width, prec, 'E', text);
  return text;
}

// " A 27": the hour letter of the transmission time and the satellite (3.03 on).
std::string time_mark(const ParamSource& s) {
  if (version() < RINEX_303) return "";
  char text[16];
  S32 week;
  D64 tow;
  Params_time(s, &week, &tow);
  int hour = D64_to_S32(tow / kSecondsPerHour) % 24;  // a damaged time: no letter
  snprintf(text, sizeof text, " %c %2d", hour >= 0 ? 'A' + hour : ' ', s.sat % 100);
  return text;
}

// IONOSPHERIC CORR: the coefficients of one line of a constellation's set.
std::string iono_line(S16 gnss_type, const char* name, bool beta) {
  const ParamSource& s = Params_source(NAV_IONO, gnss_type);
  if (!s.known) return "";
  F32 a[4];
  S32 b[4];
  Nav_get_iono_parameter(gnss_type, a, b);
  char label[8];
  snprintf(label, sizeof label, "%-4s ", name);
  std::string line = label;
  for (int i = 0; i < 4; i++) line += exponent(beta ? (D64)b[i] : (D64)a[i], 12, 4);
  Text t;
  Std_line(&t, line + time_mark(s), "IONOSPHERIC CORR");
  return t.s;
}

struct TimeCorr {
  S16 gnss_type;
  const char* name;
  int utc_id;  // 2 USNO, 3 SU, 5 Europe, 6 NICT (CRL), 7 NTSC (from 3.03)
};

// The reference week of GPS's and QZSS's UTC terms, in full: the one nearest
// the week of the message that brought them.
S32 reference_week(S16 gnss_type, S16 stored_week, S32 message_week) {
  if (gnss_type == GNSS_TYPE_GPS || gnss_type == GNSS_TYPE_QZSS)
    return Nav_full_week(stored_week - kWntOffsetWeeks, message_week);
  return stored_week;
}

std::string time_corr_line(const TimeCorr& c) {
  bool glonass = c.gnss_type == GNSS_TYPE_GLO;
  const ParamSource& s = Params_source(glonass ? NAV_TAU_C : NAV_UTC, c.gnss_type);
  if (!s.known) return "";
  D64 a0 = 0, a1 = 0;
  S32 t = 0;
  S16 w = 0;
  if (glonass)
    Nav_get_glonass_tau_c_parameter(&a0), a0 = -a0;  // GLONASS time minus UTC is -tau_c
  else
    Nav_get_utc_parameter(c.gnss_type, &a0, &a1, &t, &w);
  S32 message_week;
  D64 message_tow;
  Params_time(s, &message_week, &message_tow);
  S32 week = glonass ? 0 : reference_week(c.gnss_type, w, message_week);
  if (c.gnss_type == GNSS_TYPE_GAL) {
    S32 wn0t = 0;
    Nav_get_galileo_utc_reference(&t, &wn0t);
    week = Nav_full_week(wn0t, message_week);  // Galileo weeks are numbered as GPS weeks here
  } else if (c.gnss_type == GNSS_TYPE_BD2) {
    t = 0;  // BeiDou's terms hold for its whole week: the reference is the week's start
    week = message_week - kBdsToGpsWeeks - (message_tow < kBdsBehindGps ? 1 : 0);
  }
  char sat[8] = "";
  if (version() >= RINEX_303) snprintf(sat, sizeof sat, "%c%02d", s.letter, s.sat % 100);
  int utc_id = c.utc_id == 7 && version() < RINEX_303 ? 0 : c.utc_id;
  char text[96];
  snprintf(text, sizeof text, "%-4s %s%s %6d %4d %5s %2d", c.name, exponent(a0, 17, 10).c_str(),
           exponent(a1, 16, 9).c_str(), (int)(t % 1000000), (int)(week % 10000), sat, utc_id);
  Text line;
  Std_line(&line, text, "TIME SYSTEM CORR");
  return line.s;
}

std::string leap_line() {
  if (Nav_set_count(NAV_LEAP_SECONDS, GNSS_TYPE_GPS) == 0) return "";
  char text[64];
  snprintf(text, sizeof text, "%6d%18s%-3s", Nav_get_delta_t_ls(GNSS_TYPE_GPS) % 1000000, "",
           version() >= RINEX_303 ? "GPS" : "");
  Text t;
  Std_line(&t, text, "LEAP SECONDS");
  return t.s;
}

bool selected(S16 gnss_type) { return RINEX_is_able_to_output_measurement(gnss_type) != 0; }

}  // namespace

S32 Nav_full_week(S32 week_mod_256, S32 receiver_week) {
  S32 d = (week_mod_256 - receiver_week) & 0xFF;
  if (d >= 128) d -= 256;
  return receiver_week + d;
}

std::string Rinex3_nav_header_text() {
  Text text;
  Text* t = &text;
  text_printf(t, "%6d.%02d%-11s%-20s%-20s%-20s\n", version() / 100, version() % 100, "",
              "N: GNSS NAV DATA", system_description(), "RINEX VERSION / TYPE");
  Std_program_line(t);
  Std_comment_lines(t, {});
  struct Iono {
    S16 gnss_type;
    const char* a;
    const char* b;
  };
  const Iono kIono[] = {{GNSS_TYPE_GPS, "GPSA", "GPSB"},
                        {GNSS_TYPE_GAL, "GAL", nullptr},
                        {GNSS_TYPE_QZSS, "QZSA", "QZSB"},
                        {GNSS_TYPE_BD2, "BDSA", "BDSB"}};
  for (const Iono& i : kIono) {
    if (!selected(i.gnss_type)) continue;
    t->s += iono_line(i.gnss_type, i.a, false);
    if (i.b != nullptr) t->s += iono_line(i.gnss_type, i.b, true);
  }
  const TimeCorr kCorr[] = {{GNSS_TYPE_GPS, "GPUT", 2},
                            {GNSS_TYPE_GAL, "GAUT", 5},
                            {GNSS_TYPE_QZSS, "QZUT", 6},
                            {GNSS_TYPE_BD2, "BDUT", 7},
                            {GNSS_TYPE_GLO, "GLUT", 3}};
  for (const TimeCorr& c : kCorr)
    if (selected(c.gnss_type)) t->s += time_corr_line(c);
  // A GLONASS-only file of 3.05 has no LEAP SECONDS line.
  bool glonass_only = RINEX_get_sys_type() == RINEX_SYS_GLONASS;
  if (!(glonass_only && version() >= RINEX_305)) t->s += leap_line();
  Std_line(t, "", "END OF HEADER");
  return text.s;
}
