// The observation file: its header (written before parsing and again, in
// place, after it) and its body, one epoch line and one record line per
// satellite for each complete epoch, plus event lines for time stamps.
#include "rinex_obs.h"

#include <cstring>

#include "const.h"
#include "creation_date.h"
#include "crx_encode.h"
#include "epoch_select.h"
#include "obs.h"
#include "obs_codes.h"
#include "output_stage.h"
#include "rinex_config.h"
#include "rinex_format.h"
#include "text_buffer.h"

namespace {

constexpr F32 kRinexVersion = 3.02f;
constexpr int kMaxLine = 4096;                     // room for eight values of any magnitude
constexpr D64 kLargestIntervalField = 999999.999;  // what F10.3 holds

const char* system_description(S16 sys) {
  switch (sys) {
    case RINEX_SYS_GPS: return "G: GPS";
    case RINEX_SYS_QZSS: return "J: QZSS";
    case RINEX_SYS_SBAS: return "S: SBAS Payload";
    case RINEX_SYS_GLONASS: return "R: GLONASS";
    case RINEX_SYS_GALILEO: return "E: Galielo";
    case RINEX_SYS_BEIDOU: return "C: BeiDou";
    default: return "M: Mixed";
  }
}

char system_letter(S16 gnss_type) { return Codes_letter(gnss_type); }

struct ObsTypes {
  S16 gnss_type;
  const char* first[4];
  const char* second[4];  // nullptr entries: no second frequency
};

// Header order of the observation-types lines.
const ObsTypes kObsTypes[] = {
    {GNSS_TYPE_GPS, {"C1C", "L1C", "D1C", "S1C"}, {"C2L", "L2L", "D2L", "S2L"}},
    {GNSS_TYPE_QZSS, {"C1C", "L1C", "D1C", "S1C"}, {"C2L", "L2L", "D2L", "S2L"}},
    {GNSS_TYPE_SBAS, {"C1C", "L1C", "D1C", "S1C"}, {nullptr, nullptr, nullptr, nullptr}},
    {GNSS_TYPE_GLO, {"C1C", "L1C", "D1C", "S1C"}, {"C2C", "L2C", "D2C", "S2C"}},
    {GNSS_TYPE_BD2, {"C1I", "L1I", "D1I", "S1I"}, {"C7I", "L7I", "D7I", "S7I"}},
    {GNSS_TYPE_GAL, {"C1C", "L1C", "D1C", "S1C"}, {"C7Q", "L7Q", "D7Q", "S7Q"}},
};

void put_obs_types_line(Text* fp, const ObsTypes& t, bool dual) {
  const char* f[13];
  S16 count = 0;
  for (const char* type : t.first) f[count++] = type;
  if (dual && t.second[0] != nullptr)
    for (const char* type : t.second) f[count++] = type;
  S16 n = count;
  while (n < 13) f[n++] = " ";
  text_printf(
      fp,
      "%c  %3d %-3s %-3s %-3s %-3s %-3s %-3s %-3s %-3s %-3s %-3s %-3s %-3s %-3s  SYS / # / OBS "
      "TYPES \n",
      system_letter(t.gnss_type), count, f[0], f[1], f[2], f[3], f[4], f[5], f[6], f[7], f[8], f[9],
      f[10], f[11], f[12]);
}

void put_time_line(Text* fp, const UTC_TIME_T& t, const char* label) {
  text_printf(fp, "%6d%6d%6d%6d%6d%13.7f     %-12s%-20s\n", t.year, t.month, t.day, t.hour,
              t.minute, t.sec, "GPS", label);
}

// The header shows the position in fixed 14-column fields; the store and the
// settings refuse coordinates that would not fit, so the final header keeps
// its length. A position given for the station wins over the receiver's.
void put_position_lines(Text* fp, const Settings& s) {
  POS_T pos;
  Obs_get_receiver_pos(&pos);
  if (s.given[SET_POSITION]) pos = POS_T{s.position[0], s.position[1], s.position[2]};
  const D64* delta = s.antenna_delta;
  text_printf(fp, "%14.4f%14.4f%14.4f%-18s%-20s\n", pos.px, pos.py, pos.pz, " ",
              "APPROX POSITION XYZ");
  text_printf(fp, "%14.4f%14.4f%14.4f%-18s%-20s\n", delta[0], delta[1], delta[2], " ",
              "ANTENNA: DELTA H/E/N");
}

// The station lines from the comments to the antenna type.
void put_station_lines(Text* fp, const Settings& s) {
  const char* b = " ";
  text_printf(fp, "%-60.60s%-20s\n", "Test version 0.1", "COMMENT");
  for (const std::string& comment : s.comments)
    text_printf(fp, "%-60.60s%-20s\n", comment.c_str(), "COMMENT");
  text_printf(fp, "%-60.60s%-20s\n", Settings_text(s, SET_MARKER_NAME, b), "MARKER NAME");
  text_printf(fp, "%-20.20s%-40.40s%-20s\n", Settings_text(s, SET_MARKER_NUMBER, b), b,
              "MARKER NUMBER");
  text_printf(fp, "%-20.20s%-40.40s%-20s\n", Settings_text(s, SET_MARKER_TYPE, b), b,
              "MARKER TYPE");
  text_printf(fp, "%-20.20s%-40.40s%-20s\n", Settings_text(s, SET_OBSERVER, "Velnora Corp."),
              Settings_text(s, SET_AGENCY, b), "OBSERVER / AGENCY");
  text_printf(fp, "%-20.20s%-20.20s%-20.20s%-20s\n", Settings_text(s, SET_RECEIVER_NUMBER, b),
              Settings_text(s, SET_RECEIVER_TYPE, b), Settings_text(s, SET_RECEIVER_VERSION, b),
              "REC # / TYPE / VERS");
  // The antenna tables' spelling: type in columns 1-16, radome in 17-20.
  char antenna[32] = " ";
  if (s.given[SET_ANTENNA_TYPE] || s.given[SET_RADOME])
    snprintf(antenna, sizeof antenna, "%-16s%-4s", Settings_text(s, SET_ANTENNA_TYPE, ""),
             Settings_text(s, SET_RADOME, "NONE"));
  text_printf(fp, "%-20.20s%-20.20s%-20.20s%-20s\n", Settings_text(s, SET_ANTENNA_NUMBER, b),
              antenna, b, "ANT # / TYPE");
}

void put_phase_shift_lines(Text* fp, bool dual) {
  static const S16 kEnumOrder[] = {GNSS_TYPE_GPS, GNSS_TYPE_GLO,  GNSS_TYPE_GAL,
                                   GNSS_TYPE_BD2, GNSS_TYPE_QZSS, GNSS_TYPE_SBAS};
  const char* b = " ";
  for (S16 type : kEnumOrder) {
    if (!RINEX_is_able_to_output_measurement(type)) continue;
    text_printf(
        fp,
        "%1c%1s%3s%1s%8s%2s%2s%1s%3s%1s%3s%1s%3s%1s%3s%1s%3s%1s%3s%1s%3s%1s%3s%1s%3s%1s%3s  "
        "%-20s\n",
        system_letter(type), b, "", b, "", b, b, b, b, b, b, b, b, b, b, b, b, b, b, b, b, b, b, b,
        b, b, b, "SYS / PHASE SHIFT");
  }
  if (dual) {
    text_printf(
        fp,
        "%1s%1s%3s%1s%8.5f%2s%2s%1s%3s%1s%3s%1s%3s%1s%3s%1s%3s%1s%3s%1s%3s%1s%3s%1s%3s%1s%3s  "
        "%-20s\n",
        "G", b, "L2L", b, 0.0, b, b, b, b, b, b, b, b, b, b, b, b, b, b, b, b, b, b, b, b, b, b,
        "SYS / PHASE SHIFT");
  }
}

// Field k of a record as printf's "%14.3f" writes it: its digits, or for a
// value no F14.3 field holds the general formatter's text.
inline char* put_field(char* p, const SAT_REC_T& r, int k) {
  if ((r.raw >> k & 1) == 0) {
    RINEX_put_f14_3(p, r.field[k], (r.negative >> k & 1) != 0);
    return p + 14;
  }
  D64 x;
  memcpy(&x, &r.field[k], sizeof x);
  return p + RINEX_format_fixed(p, x, 14, 3);
}

// Writes the satellite's record line into line; returns its length.
int format_record(char* line, const SAT_REC_T& r) {
  bool dual_line = r.nfreq == 2 || r.blank_second != 0;
  char* p = line;
  *p++ = r.letter;
  *p++ = r.sat >= 10 ? (char)('0' + r.sat / 10 % 10) : ' ';
  *p++ = (char)('0' + r.sat % 10);
  for (int i = 0; i < r.nfreq; i++) {
    p = put_field(p, r, 4 * i);
    *p++ = ' ';
    *p++ = ' ';
    p = put_field(p, r, 4 * i + 1);
    *p++ = r.lli[i] != 0 ? (char)('0' + r.lli[i]) : ' ';
    *p++ = ' ';
    p = put_field(p, r, 4 * i + 2);
    *p++ = ' ';
    *p++ = ' ';
    p = put_field(p, r, 4 * i + 3);
    *p++ = ' ';
    *p++ = ' ';
  }
  if (dual_line && r.nfreq != 2) {
    memset(p, ' ', 64);
    p += 64;
  }
  *p++ = '\n';
  return (int)(p - line);
}

// Field k of a record from its value: the thousandths an F14.3 field shows,
// or the double itself where no such field holds it.
inline void set_field(SAT_REC_T* r, int k, D64 x) {
  bool negative;
  if (RINEX_f14_3_magnitude(x, &r->field[k], &negative)) {
    r->negative = (U08)(r->negative | (negative ? 1 << k : 0));
    return;
  }
  memcpy(&r->field[k], &x, sizeof x);
  r->raw = (U08)(r->raw | 1 << k);
}

// "> yyyy mm dd hh mm ss.sssssss  f nnn": the start of epoch and event lines.
int format_epoch_start(char* line, const UTC_TIME_T& t, int flag, int nsat) {
  // "> %4d %2d %2d %2d %2d%11.7f  %1d%3d", without printf: it runs for every epoch.
  char* p = line;
  *p++ = '>';
  *p++ = ' ';
  p += RINEX_format_int(p, t.year, 4);
  for (int field : {(U08)t.month, (U08)t.day, (U08)t.hour, (U08)t.minute}) {
    *p++ = ' ';
    p += RINEX_format_int(p, field, 2);
  }
  p += RINEX_format_fixed(p, t.sec, 11, 7);
  *p++ = ' ';
  *p++ = ' ';
  p += RINEX_format_int(p, flag, 1);
  p += RINEX_format_int(p, nsat, 3);
  return (int)(p - line);
}

// INTERVAL is the spacing of the epochs written; before two epochs are written
// (or for a spacing the F10.3 field cannot hold) the interval asked for.
D64 written_interval(const Settings& s) {
  D64 spacing = Select_data_interval();
  return spacing > 0 && spacing < kLargestIntervalField ? spacing : s.interval;
}

}  // namespace

std::string RINEX_obs_header_text(const UTC_TIME_T& start, const UTC_TIME_T& end) {
  Text text;
  Text* fp = &text;
  bool dual = Obs_get_freq_mode() == FREQ_MODE_DUAL;
  char date_str[32];
  RINEX_get_create_utc_time(date_str);
  const Settings& s = RINEX_settings();

  text_printf(fp, "%9.2f%-11s%-20s%-20s%-20s\n", kRinexVersion, "", "OBSERVATION DATA",
              system_description(RINEX_get_sys_type()), "RINEX VERSION / TYPE");
  text_printf(fp, "%-20s%-20s%20sPGM / RUN BY / DATE \n", "vln_raw_to_rinex", "Velnora Corp.",
              date_str);
  put_station_lines(fp, s);
  put_position_lines(fp, s);
  for (const ObsTypes& t : kObsTypes)
    if (RINEX_is_able_to_output_measurement(t.gnss_type)) put_obs_types_line(fp, t, dual);
  if (s.given[SET_INTERVAL])
    text_printf(fp, "%10.3f%-50s%-20s\n", written_interval(s), "", "INTERVAL");

  put_time_line(fp, start, "TIME OF FIRST OBS");
  put_time_line(fp, end, "TIME OF LAST OBS");
  put_phase_shift_lines(fp, dual);
  if (RINEX_is_able_to_output_measurement(GNSS_TYPE_GLO)) {
    text_printf(fp, "%3d", 0);
    for (int i = 0; i < 8; i++) text_printf(fp, " %6s", "");
    text_printf(fp, " %-20s\n", "GLONASS SLOT / FRQ #");
  }
  text_printf(fp, "%1s%3s%1s%8.3f%1s%3s%1s%8.3f%1s%3s%1s%8.3f%1s%3s%1s%8.3f        %-20s\n", "",
              "C1C", "", 0.0, "", "C1P", "", 0.0, "", "C2C", "", 0.0, "", "C2P", "", 0.0,
              "GLONASS COD/PHS/BIS");
  text_printf(fp, "%-60.60s%-20s\n", "", "END OF HEADER");
  return RINEX_settings().crx ? Crx_header(text.s, date_str, 3) : text.s;
}

void RINEX_put_obs_body(OutputStage& stage) {
  static const S16 kEnumOrder[] = {GNSS_TYPE_GPS, GNSS_TYPE_GLO,  GNSS_TYPE_GAL,
                                   GNSS_TYPE_BD2, GNSS_TYPE_QZSS, GNSS_TYPE_SBAS};
  bool dual = Obs_get_freq_mode() == FREQ_MODE_DUAL;
  EPOCH_REC_T e;
  Obs_get_utc_time(&e.time);
  e.flag = 0;
  e.nsat = 0;
  U08* item = stage.reserve(ITEM_EPOCH, sizeof e + MAX_EPOCH_SATS * sizeof(SAT_REC_T));
  SAT_REC_T* sats = reinterpret_cast<SAT_REC_T*>(item + sizeof e);
  for (S16 type : kEnumOrder) {
    if (!RINEX_is_able_to_output_measurement(type)) continue;
    char letter = system_letter(type);
    bool dual_line = dual && type != GNSS_TYPE_SBAS;
    S16 total = 0;
    const OBS_DATA_T* slots = Obs_slots(type, &total);
    for (S16 svid = 1; svid <= total && e.nsat < MAX_EPOCH_SATS; svid++) {
      const OBS_DATA_T& slot = slots[svid - 1];
      if (!slot.valid[0] && !slot.valid[1]) continue;
      bool l2_available = slot.valid[1] != 0;
      SAT_REC_T r;
      r.letter = letter;
      r.sat = (U08)Obs_convert_internal_svid_to_rinex_sat_number(type, svid);
      r.nfreq = (dual_line && l2_available) ? 2 : 1;
      r.blank_second = (dual_line && !l2_available) ? 1 : 0;
      r.raw = r.negative = 0;
      r.lli[1] = 0;
      for (int i = 0; i < r.nfreq; i++) {
        r.lli[i] = slot.lli[i];
        set_field(&r, 4 * i, slot.pr[i]);
        set_field(&r, 4 * i + 1, slot.carr_phase[i]);
        set_field(&r, 4 * i + 2, (D64)slot.doppler[i]);
        // C/N0 is a whole number: its thousandths need no conversion.
        r.field[4 * i + 3] = (uint64_t)(slot.cn0[i] < 0 ? -slot.cn0[i] : slot.cn0[i]) * 1000;
        r.negative = (U08)(r.negative | (slot.cn0[i] < 0 ? 1 << (4 * i + 3) : 0));
      }
      memcpy(&sats[e.nsat++], &r, sizeof r);
    }
  }
  memcpy(item, &e, sizeof e);
  stage.commit((U32)(sizeof e + (size_t)e.nsat * sizeof(SAT_REC_T)));
}

void RINEX_put_obs_timestamp(OutputStage& stage) {
  EPOCH_REC_T e;
  Obs_get_utc_time(&e.time);
  e.flag = 5;
  e.nsat = 0;
  U08* item = stage.reserve(ITEM_EPOCH, sizeof e);
  memcpy(item, &e, sizeof e);
  stage.commit((U32)sizeof e);
}

void RINEX_format_epoch(const EPOCH_REC_T& e, const SAT_REC_T* sats, CrxEncoder* crx,
                        std::string* out) {
  char start[kMaxLine];
  int n = format_epoch_start(start, e.time, e.flag, e.nsat);
  if (RINEX_settings().crx) {
    start[n] = '\0';
    crx->epoch(e, sats, start, out);
    return;
  }
  // The block is gathered in one buffer and handed on in few appends.
  static char block[1 << 16];
  memcpy(block, start, (size_t)n);
  if (e.flag == 0) {
    memset(block + n, ' ', 21);
    n += 21;
  }
  block[n++] = '\n';
  for (S16 i = 0; i < e.nsat; i++) {
    if (n > (int)sizeof block - kMaxLine) {
      out->append(block, (size_t)n);
      n = 0;
    }
    n += format_record(block + n, sats[i]);
  }
  out->append(block, (size_t)n);
}
