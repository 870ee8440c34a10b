// RINEX 2.11 observation files. Every satellite's record holds all types of
// the one list, four per band (C, L, D, S); a band a system does not have,
// or a signal not measured in the epoch, is blank. A record takes as many
// lines of five fields as the list needs, empty ones included, so readers can
// count lines.
#include "rinex2_obs.h"

#include <cstdio>
#include <cstring>

#include "const.h"
#include "creation_date.h"
#include "crx_encode.h"
#include "obs_codes.h"
#include "obs_header_lines.h"
#include "rinex_config.h"
#include "rinex_format.h"
#include "signal_epoch.h"
#include "text_buffer.h"
#include "time_convert.h"

namespace {

const char kKinds[4] = {'C', 'L', 'D', 'S'};

// The system letter of the 2.11 systems selected (M for several or none).
char system_letter() {
  const S16 kWritable[] = {GNSS_TYPE_GPS, GNSS_TYPE_GLO, GNSS_TYPE_GAL, GNSS_TYPE_SBAS};
  char letter = 'M';
  int count = 0;
  for (S16 type : kWritable)
    if (RINEX_is_able_to_output_measurement(type)) letter = Codes_letter(type), count++;
  return count == 1 ? letter : 'M';
}

const char* system_description(char letter) {
  switch (letter) {
    case 'G': return "G (GPS)";
    case 'R': return "R (GLONASS)";
    case 'E': return "E (GALILEO)";
    case 'S': return "S (SBAS)";
    default: return "M (MIXED)";
  }
}

void put_types(Text* t, const std::string& bands) {
  std::vector<std::string> types;
  for (char band : bands)
    for (char kind : kKinds) types.push_back(std::string(1, kind) + band);
  for (const std::string& line : Obs_types2_contents(types))
    Std_line(t, line, "# / TYPES OF OBSERV");
}

int satellite_end(const SIGNAL_REC_T* recs, int first, int n) {
  int end = first + 1;
  while (end < n && recs[end].letter == recs[first].letter && recs[end].sat == recs[first].sat)
    end++;
  return end;
}

// The record of the satellite's signal in band b, or nullptr when not measured.
const SIGNAL_REC_T* in_band(const SIGNAL_REC_T* recs, int first, int end, char band) {
  for (int i = first; i < end; i++)
    if (Codes_code(recs[i].signal, RINEX_211)[0] == band) return &recs[i];
  return nullptr;
}

void put_id(char* p, const SIGNAL_REC_T& r) {
  p[0] = r.letter;
  p[1] = (char)('0' + r.sat / 10 % 10);
  p[2] = (char)('0' + r.sat % 10);
}

}  // namespace

std::string Rinex2_obs_header_text(const ObsTimes& times, const ObsHeaderHints& hints,
                                   const TypePlan& plan) {
  Text text;
  Text* t = &text;
  text_printf(t, "%9s%-11s%-20s%-20s%-20s\n", "2.11", "", "OBSERVATION DATA",
              system_description(system_letter()), "RINEX VERSION / TYPE");
  Std_program_line(t);
  Std_comment_lines(t, plan.notes);
  Std_station_lines(t, false);
  Std_position_lines(t);
  Std_line(t, "     1     1", "WAVELENGTH FACT L1/2");
  put_types(t, plan.bands);
  t->s += Std_interval_line(times, hints);
  Std_time_lines(t, times);
  t->s += Std_leap_line(times, hints);
  return Std_end_header(t, 1);
}

int Rinex2_epoch_fields(const TypePlan& plan, const SIGNAL_EPOCH_T& e, const SIGNAL_REC_T* recs,
                        ObsFields* sats) {
  const std::string& bands = plan.bands;
  int count = 0;
  for (int i = 0; i < e.nsig; count++) {
    int end = satellite_end(recs, i, e.nsig);
    ObsFields& c = sats[count];
    put_id(c.id, recs[i]);
    c.nfields = 0;
    c.minus_zero = 0;
    for (char band : bands) Std_signal_fields(in_band(recs, i, end, band), &c);
    i = end;
  }
  return count;
}
