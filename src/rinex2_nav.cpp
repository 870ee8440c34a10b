// RINEX 2.11 navigation headers; a parameter set the log has not taught
// keeps its reserved line as a blank COMMENT line.
#include "rinex2_nav.h"

#include <cstdio>

#include "const.h"
#include "nav.h"
#include "nav_params.h"
#include "obs.h"
#include "rinex3_nav.h"
#include "rinex_format.h"
#include "std_obs.h"
#include "text_buffer.h"
#include "time_convert.h"

namespace {

constexpr S32 kWntOffsetWeeks = 1536;  // what the decoder adds to GPS's 8-bit WNt

std::string d_field(D64 x, int width, int prec) {
  char text[32];
  RINEX_format_exponent(x, width, prec, 'D', text);
  return text;
}

std::string line_of(const std::string& content, const char* label) {
  Text t;
  Std_line(&t, content, label);
  return t.s;
}

std::string iono_line(bool beta) {
  if (!Params_source(NAV_IONO, GNSS_TYPE_GPS).known) return "";
  F32 a[4];
  S32 b[4];
  Nav_get_iono_parameter(GNSS_TYPE_GPS, a, b);
  std::string line = "  ";
  for (int i = 0; i < 4; i++) line += d_field(beta ? (D64)b[i] : (D64)a[i], 12, 4);
  return line_of(line, beta ? "ION BETA" : "ION ALPHA");
}

std::string delta_utc_line() {
  if (!Params_source(NAV_UTC, GNSS_TYPE_GPS).known) return "";
  D64 a0 = 0, a1 = 0;
  S32 t = 0;
  S16 w = 0;
  Nav_get_utc_parameter(GNSS_TYPE_GPS, &a0, &a1, &t, &w);
  S32 message_week;
  D64 tow;
  Params_time(Params_source(NAV_UTC, GNSS_TYPE_GPS), &message_week, &tow);
  char text[96];
  snprintf(text, sizeof text, "   %s%s%9d%9d", d_field(a0, 19, 12).c_str(),
           d_field(a1, 19, 12).c_str(), (int)(t % 100000000),
           (int)(Nav_full_week(w - kWntOffsetWeeks, message_week) % 100000000));
  return line_of(text, "DELTA-UTC: A0,A1,T,W");
}

// The day tau_c came with, and the correction -tau_c.
std::string corr_to_system_time_line() {
  const ParamSource& s = Params_source(NAV_TAU_C, GNSS_TYPE_GLO);
  if (!s.known) return "";
  D64 tau_c = 0;
  Nav_get_glonass_tau_c_parameter(&tau_c);
  S32 week;
  D64 tow;
  Params_time(s, &week, &tow);
  UTC_TIME_T day = TCVT_gps_calendar(week, tow);
  char text[96];
  snprintf(text, sizeof text, "%6d%6d%6d   %s", day.year, day.month, day.day,
           d_field(-tau_c, 19, 12).c_str());
  return line_of(text, "CORR TO SYSTEM TIME");
}

std::string leap_line() {
  if (Nav_set_count(NAV_LEAP_SECONDS, GNSS_TYPE_GPS) == 0) return "";
  char text[16];
  snprintf(text, sizeof text, "%6d", Nav_get_delta_t_ls(GNSS_TYPE_GPS) % 1000000);
  return line_of(text, "LEAP SECONDS");
}

}  // namespace

std::string Rinex2_nav_header_text(bool glonass) {
  Text text;
  Text* t = &text;
  text_printf(t, "%9s%-11s%-40s%-20s\n", "2.11", "",
              glonass ? "G: GLONASS NAV DATA" : "N: GPS NAV DATA", "RINEX VERSION / TYPE");
  Std_program_line(t);
  Std_comment_lines(t, {});
  if (glonass) {
    t->s += corr_to_system_time_line();
  } else {
    t->s += iono_line(false);
    t->s += iono_line(true);
    t->s += delta_utc_line();
  }
  t->s += leap_line();
  Std_line(t, "", "END OF HEADER");
  return text.s;
}
