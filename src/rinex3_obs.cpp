// RINEX 3.02-3.05 and 4.00 observation files of the standard writer. The
// header follows the plan of the run; its records known only at the end
// (INTERVAL, the GLONASS slots, LEAP SECONDS) hold reserved lines. Epochs
// list the satellites with a measured signal, each with every type of its
// system in header order, blank where the signal was not measured.
#include "rinex3_obs.h"

#include <cstdio>
#include <cstring>

#include "const.h"
#include "creation_date.h"
#include "crx_encode.h"
#include "glonass_channels.h"
#include "obs.h"
#include "obs_codes.h"
#include "rinex_config.h"
#include "rinex_format.h"
#include "signal_epoch.h"
#include "text_buffer.h"
#include "time_convert.h"

namespace {

constexpr int kTypesPerLine = 13;
constexpr int kSlotsPerLine = 8;
const char kKinds[4] = {'C', 'L', 'D', 'S'};

int version() { return RINEX_settings().rinex_version; }

const char* system_description() {
  switch (RINEX_get_sys_type()) {
    case RINEX_SYS_GPS: return "G (GPS)";
    case RINEX_SYS_QZSS: return "J (QZSS)";
    case RINEX_SYS_SBAS: return "S (SBAS)";
    case RINEX_SYS_GLONASS: return "R (GLONASS)";
    case RINEX_SYS_GALILEO: return "E (GALILEO)";
    case RINEX_SYS_BEIDOU: return "C (BEIDOU)";
    default: return "M (MIXED)";
  }
}

// SYS / # / OBS TYPES of one system, continued every 13 types.
void put_types(Text* t, S16 type, const std::vector<int>& signals) {
  std::vector<std::string> codes;
  for (int id : signals)
    for (char kind : kKinds) codes.push_back(std::string(1, kind) + Codes_code(id, version()));
  std::string line = std::string(1, Codes_letter(type)) + "  ";
  char count[8];
  snprintf(count, sizeof count, "%3d", (int)codes.size() % 1000);
  line += count;
  for (size_t i = 0; i < codes.size(); i++) {
    if (i > 0 && i % kTypesPerLine == 0) {
      Std_line(t, line, "SYS / # / OBS TYPES");
      line = std::string(6, ' ');
    }
    line += " " + codes[i];
  }
  Std_line(t, line, "SYS / # / OBS TYPES");
}

// One line per phase code: its code only, no correction applied by us.
void put_phase_shifts(Text* t, S16 type, const std::vector<int>& signals) {
  for (int id : signals)
    Std_line(t, std::string(1, Codes_letter(type)) + " L" + Codes_code(id, version()),
             "SYS / PHASE SHIFT");
}

// The slots whose channel number is known: measured, else from the almanac.
std::string glonass_slot_lines(const ObsTimes& times) {
  std::vector<std::pair<int, int>> slots;
  for (S16 slot = 1; slot <= GLO_MAX_SLOT; slot++) {
    S08 k;
    if (Std_glonass_k(slot, times, &k)) slots.push_back({slot, k});
  }
  Text t;
  char text[16];
  snprintf(text, sizeof text, "%3d", (int)slots.size());
  std::string line = text;
  for (size_t i = 0; i < slots.size(); i++) {
    if (i > 0 && i % kSlotsPerLine == 0) {
      Std_line(&t, line, "GLONASS SLOT / FRQ #");
      line = "   ";
    }
    snprintf(text, sizeof text, " R%02d %2d", slots[i].first % 100, slots[i].second % 100);
    line += text;
  }
  Std_line(&t, line, "GLONASS SLOT / FRQ #");
  return t.s;
}

void put_version_line(Text* t) {
  text_printf(t, "%6d.%02d%-11s%-20s%-20s%-20s\n", version() / 100, version() % 100, "",
              "OBSERVATION DATA", system_description(), "RINEX VERSION / TYPE");
}

// The epoch line up to its satellite count: "> yyyy mm dd hh mm ss.sssssss  f nnn".
int epoch_start(char* line, const SIGNAL_EPOCH_T& e, int nsat) {
  UTC_TIME_T c = TCVT_gps_calendar(e.week, e.tow);
  // "> %4d %02d %02d %02d %02d%11.7f  %1d%3d", without printf: it runs for every epoch.
  char* p = line;
  *p++ = '>';
  *p++ = ' ';
  p += RINEX_format_int(p, c.year % 10000, 4);
  for (int field : {c.month, c.day, c.hour, c.minute}) {
    *p++ = ' ';
    *p++ = (char)('0' + field / 10 % 10);
    *p++ = (char)('0' + field % 10);
  }
  p += RINEX_format_fixed(p, c.sec, 11, 7);
  *p++ = ' ';
  *p++ = ' ';
  *p++ = (char)('0' + e.flag % 10);
  p += RINEX_format_int(p, nsat % 1000, 3);
  return (int)(p - line);
}

// The records of one satellite: [first, end).
int satellite_end(const SIGNAL_REC_T* recs, int first, int n) {
  int end = first + 1;
  while (end < n && recs[end].letter == recs[first].letter && recs[end].sat == recs[first].sat)
    end++;
  return end;
}

int satellite_count(const SIGNAL_REC_T* recs, int n) {
  int count = 0;
  for (int i = 0; i < n; i = satellite_end(recs, i, n)) count++;
  return count;
}

// A satellite's fields in the compact form, in header order.
CrxSat compact_satellite(const SIGNAL_REC_T* recs, int first, int end) {
  CrxSat c = {};
  c.id[0] = recs[first].letter;
  c.id[1] = (char)('0' + recs[first].sat / 10 % 10);
  c.id[2] = (char)('0' + recs[first].sat % 10);
  memset(c.flags, ' ', sizeof c.flags);
  const std::vector<int>& signals = Signal_plan().signals[recs[first].gnss_type];
  int at = first;
  for (int id : signals) {
    const SIGNAL_REC_T* r = at < end && recs[at].signal == id ? &recs[at] : nullptr;
    for (int k = 0; k < 4 && c.nfields < CRX_MAX_FIELDS; k++, c.nfields++) {
      int64_t thousandths = 0;
      bool holds = Std_signal_thousandths(r, k, &thousandths);
      c.present[c.nfields] = holds;
      c.value[c.nfields] = thousandths;
      if (holds && k == 1 && r->lli != 0) c.flags[2 * c.nfields] = (char)('0' + r->lli % 10);
    }
    if (r != nullptr) at++;
  }
  return c;
}

}  // namespace

std::string Rinex3_obs_header_text(const ObsTimes& times) {
  const TypePlan& plan = Signal_plan();
  bool v4 = version() >= RINEX_400;
  Text text;
  Text* t = &text;
  put_version_line(t);
  Std_program_line(t);
  Std_comment_lines(t, plan.notes);
  Std_station_lines(t, true);
  Std_position_lines(t);
  const S16* order = Signal_system_order();
  for (int i = 0; i < Signal_system_count(); i++)
    if (!plan.signals[order[i]].empty()) put_types(t, order[i], plan.signals[order[i]]);
  Std_line(t, "DBHZ", "SIGNAL STRENGTH UNIT");
  t->s += Std_interval_line(times);
  Std_time_lines(t, times);
  if (!v4)
    for (int i = 0; i < Signal_system_count(); i++)
      put_phase_shifts(t, order[i], plan.signals[order[i]]);
  if (!plan.signals[GNSS_TYPE_GLO].empty()) {
    t->s += glonass_slot_lines(times);
    if (!v4) Std_line(t, "", "GLONASS COD/PHS/BIS");
  }
  t->s += Std_leap_line(times);
  return Std_end_header(t, 3);
}

void Rinex3_format_epoch(const SIGNAL_EPOCH_T& e, const SIGNAL_REC_T* recs, std::string* out) {
  char start[64];
  int nsat = satellite_count(recs, e.nsig);
  int n = epoch_start(start, e, nsat);
  start[n] = '\0';
  if (RINEX_settings().crx) {
    static CrxSat sats[MAX_EPOCH_SIGNALS];
    int count = 0;
    for (int i = 0; i < e.nsig; i = satellite_end(recs, i, e.nsig))
      sats[count++] = compact_satellite(recs, i, satellite_end(recs, i, e.nsig));
    Crx_fields_epoch(start, e.flag, sats, count, out);
    return;
  }
  // The epoch's lines are gathered in one block and handed on in few appends.
  static char block[1 << 16];
  constexpr int kLongestLine = 4 + 16 * 4 * SIGNALS_PER_SYSTEM + 2;
  memcpy(block, start, (size_t)n);
  block[n++] = '\n';
  for (int i = 0; i < e.nsig;) {
    if (n > (int)sizeof block - kLongestLine) {
      out->append(block, (size_t)n);
      n = 0;
    }
    int end = satellite_end(recs, i, e.nsig);
    char* line = block + n;
    line[0] = recs[i].letter;
    line[1] = (char)('0' + recs[i].sat / 10 % 10);
    line[2] = (char)('0' + recs[i].sat % 10);
    char* p = line + 3;
    int at = i;
    for (int id : Signal_plan().signals[recs[i].gnss_type]) {
      if (!(at < end && recs[at].signal == id)) {  // not measured in this epoch: blank
        memset(p, ' ', 64);
        p += 64;
        continue;
      }
      p = Std_put_signal(p, recs[at]);
      at++;
    }
    while (p > line + 3 && p[-1] == ' ') p--;
    *p++ = '\n';
    n = (int)(p - block);
    i = end;
  }
  out->append(block, (size_t)n);
}
