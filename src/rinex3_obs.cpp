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
#include "obs_header_lines.h"
#include "rinex_config.h"
#include "rinex_format.h"
#include "signal_epoch.h"
#include "text_buffer.h"
#include "time_convert.h"

namespace {

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

// SYS / # / OBS TYPES of one system: four types a signal.
void put_types(Text* t, S16 type, const std::vector<int>& signals) {
  std::vector<std::string> codes;
  for (int id : signals)
    for (char kind : kKinds) codes.push_back(std::string(1, kind) + Codes_code(id, version()));
  for (const std::string& line : Obs_types_contents(Codes_letter(type), codes))
    Std_line(t, line, "SYS / # / OBS TYPES");
}

// One line per phase code: its code only, no correction applied by us.
void put_phase_shifts(Text* t, S16 type, const std::vector<int>& signals) {
  for (int id : signals)
    Std_line(t, std::string(1, Codes_letter(type)) + " L" + Codes_code(id, version()),
             "SYS / PHASE SHIFT");
}

// The slots whose channel number is known: measured, else from the almanac.
std::string glonass_slot_lines(const ObsTimes& times, const ObsHeaderHints& hints) {
  std::vector<std::pair<int, int>> slots;
  for (S16 slot = 1; slot <= GLO_MAX_SLOT; slot++) {
    S08 k;
    if (Std_glonass_k(slot, times, hints, &k)) slots.push_back({slot, k});
  }
  Text t;
  for (const std::string& line : Obs_slot_contents(slots))
    Std_line(&t, line, "GLONASS SLOT / FRQ #");
  return t.s;
}

void put_version_line(Text* t) {
  text_printf(t, "%6d.%02d%-11s%-20s%-20s%-20s\n", version() / 100, version() % 100, "",
              "OBSERVATION DATA", system_description(), "RINEX VERSION / TYPE");
}

// The records of one satellite: [first, end).
int satellite_end(const SIGNAL_REC_T* recs, int first, int n) {
  int end = first + 1;
  while (end < n && recs[end].letter == recs[first].letter && recs[end].sat == recs[first].sat)
    end++;
  return end;
}

}  // namespace

std::string Rinex3_obs_header_text(const ObsTimes& times, const ObsHeaderHints& hints,
                                   const TypePlan& plan) {
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
  t->s += Std_interval_line(times, hints);
  Std_time_lines(t, times);
  if (!v4)
    for (int i = 0; i < Signal_system_count(); i++)
      put_phase_shifts(t, order[i], plan.signals[order[i]]);
  if (!plan.signals[GNSS_TYPE_GLO].empty()) {
    t->s += glonass_slot_lines(times, hints);
    if (!v4) Std_line(t, "", "GLONASS COD/PHS/BIS");
  }
  t->s += Std_leap_line(times, hints);
  return Std_end_header(t, 3);
}

int Rinex3_epoch_fields(const TypePlan& plan, const SIGNAL_EPOCH_T& e, const SIGNAL_REC_T* recs,
                        ObsFields* sats) {
  int count = 0;
  for (int i = 0; i < e.nsig; count++) {
    int end = satellite_end(recs, i, e.nsig);
    ObsFields& c = sats[count];
    c.id[0] = recs[i].letter;
    c.id[1] = (char)('0' + recs[i].sat / 10 % 10);
    c.id[2] = (char)('0' + recs[i].sat % 10);
    c.nfields = 0;
    c.minus_zero = 0;
    int at = i;
    for (int id : plan.signals[recs[i].gnss_type]) {
      // A signal not measured in this epoch is blank.
      const SIGNAL_REC_T* r = at < end && recs[at].signal == id ? &recs[at] : nullptr;
      Std_signal_fields(r, &c);
      if (r != nullptr) at++;
    }
    i = end;
  }
  return count;
}
