// RINEX 4.00 navigation headers and the ION and STO records. Each record
// names the satellite that broadcast its set; its transmission time is that
// of the message that brought it, in the system's time scale (BeiDou time is
// GPS time minus 14 s), and the weeks of reference times are resolved against
// it. A set whose message's time is not known has no record.
#include "rinex4_nav.h"

#include <cmath>
#include <cstdio>

#include "const.h"
#include "ephemeris.h"
#include "nav.h"
#include "nav_params.h"
#include "nav_records.h"
#include "obs.h"
#include "rinex3_nav.h"
#include "rinex_config.h"
#include "std_obs.h"
#include "text_buffer.h"
#include "time_convert.h"

namespace {

constexpr D64 kBdsOffset = 14;  // GPS time minus BeiDou time
constexpr S32 kWntOffsetWeeks = 1536;
constexpr S32 kSecondsPerWeek = 604800;
constexpr int kRinex4 = 400;

const char* message_of(S16 gnss_type) {
  switch (gnss_type) {
    case GNSS_TYPE_GAL: return "IFNV";
    case GNSS_TYPE_BD2: return "D1D2";
    case GNSS_TYPE_GLO: return "FDMA";
    default: return "LNAV";
  }
}

std::string epoch_text(S32 week, D64 tow) {
  UTC_TIME_T c = TCVT_gps_calendar(week, std::floor(tow));
  char text[64];
  snprintf(text, sizeof text, "    %4d %02d %02d %02d %02d %02d", c.year % 10000, c.month, c.day,
           c.hour, c.minute, (int)c.sec);
  return text;
}

std::string head(const char* type, const ParamSource& s, S16 gnss_type) {
  char text[64];
  snprintf(text, sizeof text, "> %s %c%02d %s\n", type, s.letter, s.sat % 100,
           message_of(gnss_type));
  return text;
}

void fields(std::string* out, std::initializer_list<D64> values) {
  for (D64 x : values) Nav_put_field(out, NavField{x, false}, kRinex4);
  out->push_back('\n');
}

// The message's time in the system's time scale: BeiDou's is 14 s behind GPS's.
void system_time(S16 gnss_type, const ParamSource& s, S32* week, D64* tow) {
  *week = s.week;
  *tow = s.tow;
  if (gnss_type != GNSS_TYPE_BD2) return;
  *tow -= kBdsOffset;
  if (*tow < 0) *tow += kSecondsPerWeek, (*week)--;
}

}  // namespace

std::string Rinex4_nav_header_text() {
  Text text;
  Text* t = &text;
  const char* sys = RINEX_is_gnss_mixed_mode() ? "M: MIXED" : "";
  text_printf(t, "%9s%-11s%-20s%-20s%-20s\n", "4.00", "", "N: GNSS NAV DATA", sys,
              "RINEX VERSION / TYPE");
  Std_program_line(t);
  Std_comment_lines(t, {});
  std::string leap;
  if (Nav_set_count(NAV_LEAP_SECONDS, GNSS_TYPE_GPS) != 0) {
    char line[16];
    snprintf(line, sizeof line, "%6d", Nav_get_delta_t_ls(GNSS_TYPE_GPS) % 1000000);
    Text l;
    Std_line(&l, line, "LEAP SECONDS");
    leap = l.s;
  }
  t->s += leap;
  Std_line(t, "", "END OF HEADER");
  return text.s;
}

std::string Rinex4_ion_record(S16 gnss_type) {
  const ParamSource& s = Params_source(NAV_IONO, gnss_type);
  if (!s.known || !s.timed) return "";
  F32 a[4];
  S32 b[4];
  Nav_get_iono_parameter(gnss_type, a, b);
  S32 week;
  D64 tow;
  system_time(gnss_type, s, &week, &tow);
  std::string out = head("ION", s, gnss_type) + epoch_text(week, tow);
  if (gnss_type == GNSS_TYPE_GAL) {
    fields(&out, {a[0], a[1], a[2]});
    const GALIEPH_T* e = Eph_gal_get_reference((S16)s.sat);
    U32 flags =
        e == nullptr ? 0 : (U32)(e->SF1 | e->SF2 << 1 | e->SF3 << 2 | e->SF4 << 3 | e->SF5 << 4);
    out += "    ";
    fields(&out, {(D64)flags});
    return out;
  }
  fields(&out, {a[0], a[1], a[2]});
  out += "    ";
  fields(&out, {a[3], (D64)b[0], (D64)b[1], (D64)b[2]});
  out += "    ";
  fields(&out, {(D64)b[3], gnss_type == GNSS_TYPE_QZSS ? 1.0 : 0.0});  // QZSS: the Japan area
  return out;
}

std::string Rinex4_sto_record(S16 gnss_type) {
  bool glonass = gnss_type == GNSS_TYPE_GLO;
  const ParamSource& s = Params_source(glonass ? NAV_TAU_C : NAV_UTC, gnss_type);
  if (!s.known || !s.timed) return "";
  S32 message_week;
  D64 message_tow;
  system_time(gnss_type, s, &message_week, &message_tow);
  D64 a0 = 0, a1 = 0;
  S32 t_ref = 0;
  S16 w = 0;
  S32 week = s.week;
  if (glonass) {
    Nav_get_glonass_tau_c_parameter(&a0);
    a0 = -a0;
    S32 day = D64_to_S32(s.tow / 86400);            // the day the value came with
    t_ref = day >= 0 && day < 7 ? day * 86400 : 0;  // 0 for a time of week out of range
  } else {
    Nav_get_utc_parameter(gnss_type, &a0, &a1, &t_ref, &w);
    if (gnss_type == GNSS_TYPE_GPS || gnss_type == GNSS_TYPE_QZSS) {
      week = Nav_full_week(w - kWntOffsetWeeks, s.week);
    } else if (gnss_type == GNSS_TYPE_BD2) {
      t_ref = 0;  // BeiDou's terms hold for its whole week: the reference is the week's start
      week = message_week;
    } else if (gnss_type == GNSS_TYPE_GAL) {
      S32 wn0t = 0;
      Nav_get_galileo_utc_reference(&t_ref, &wn0t);
      week = Nav_full_week(wn0t, s.week);
    }
  }
  struct Kind {
    S16 gnss_type;
    const char* type;
    const char* utc;
  };
  const Kind kKinds[] = {{GNSS_TYPE_GPS, "GPUT", "UTC(USNO)"},
                         {GNSS_TYPE_QZSS, "QZUT", "UTC(NICT)"},
                         {GNSS_TYPE_GAL, "GAUT", "UTCGAL"},
                         {GNSS_TYPE_BD2, "BDUT", "UTC(NTSC)"},
                         {GNSS_TYPE_GLO, "GLUT", "UTC(SU)"}};
  const Kind* kind = nullptr;
  for (const Kind& k : kKinds)
    if (k.gnss_type == gnss_type) kind = &k;
  if (kind == nullptr) return "";
  char line[128];
  snprintf(line, sizeof line, "%s %-18s %-18s %-18s\n",
           epoch_text(week, (D64)(t_ref % kSecondsPerWeek)).c_str(), kind->type, "", kind->utc);
  std::string out = head("STO", s, gnss_type) + line + "    ";
  fields(&out, {message_tow, a0, a1, 0.0});
  return out;
}
