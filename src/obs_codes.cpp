// The observation codes of the receiver's signals, version by version, and
// the plan of types a run writes. The log names a signal but not which of its
// components the receiver tracked; the codes take the pilot component, which
// receivers track for the phase (GPS and QZSS L1C L, L2C L, L5 Q; Galileo E1
// C, E5a and E5b Q, E6 C; BeiDou B1C and B2a P; GLONASS L3 Q), the data
// component I for the BeiDou signals without a pilot, and for QZSS L6 the
// data code S (the LEX and L6D code in every version).
#include "obs_codes.h"

#include <cstdio>
#include <cstring>

#include "const.h"

namespace {

//                                      2.11  3.02  3.03  3.04  3.05  4.00
const SignalInfo kSignals[SIG_COUNT] = {
    {GNSS_TYPE_GPS, GPS_SIGNAL_TYPE_L1CA, "GPS L1 C/A", true, {"1", "1C", "1C", "1C", "1C", "1C"}},
    {GNSS_TYPE_GPS, GPS_SIGNAL_TYPE_L1C, "GPS L1C", false, {"1", "1L", "1L", "1L", "1L", "1L"}},
    {GNSS_TYPE_GPS, GPS_SIGNAL_TYPE_L2C, "GPS L2C", false, {"2", "2L", "2L", "2L", "2L", "2L"}},
    {GNSS_TYPE_GPS, GPS_SIGNAL_TYPE_L5, "GPS L5", false, {"5", "5Q", "5Q", "5Q", "5Q", "5Q"}},
    {GNSS_TYPE_GLO, GLO_SIGNAL_TYPE_L1, "GLONASS L1", true, {"1", "1C", "1C", "1C", "1C", "1C"}},
    {GNSS_TYPE_GLO, GLO_SIGNAL_TYPE_L2, "GLONASS L2", false, {"2", "2C", "2C", "2C", "2C", "2C"}},
    {GNSS_TYPE_GLO, GLO_SIGNAL_TYPE_L3, "GLONASS L3", false, {"", "3Q", "3Q", "3Q", "3Q", "3Q"}},
    {GNSS_TYPE_GAL, GAL_SIGNAL_TYPE_E1, "Galileo E1", true, {"1", "1C", "1C", "1C", "1C", "1C"}},
    {GNSS_TYPE_GAL, GAL_SIGNAL_TYPE_E5A, "Galileo E5a", false, {"5", "5Q", "5Q", "5Q", "5Q", "5Q"}},
    {GNSS_TYPE_GAL, GAL_SIGNAL_TYPE_E5B, "Galileo E5b", false, {"7", "7Q", "7Q", "7Q", "7Q", "7Q"}},
    {GNSS_TYPE_GAL, GAL_SIGNAL_TYPE_E6, "Galileo E6", false, {"6", "6C", "6C", "6C", "6C", "6C"}},
    // B1I is band 1 in 3.02; from 3.03 band 1 means B1C and B1I is band 2.
    {GNSS_TYPE_BD2, BD2_SIGNAL_TYPE_B1I, "BeiDou B1I", true, {"", "1I", "2I", "2I", "2I", "2I"}},
    {GNSS_TYPE_BD2, BD2_SIGNAL_TYPE_B1C, "BeiDou B1C", false, {"", "", "", "1P", "1P", "1P"}},
    {GNSS_TYPE_BD2, BD2_SIGNAL_TYPE_B2I, "BeiDou B2I", false, {"", "7I", "7I", "7I", "7I", "7I"}},
    {GNSS_TYPE_BD2, BD2_SIGNAL_TYPE_B3I, "BeiDou B3I", false, {"", "6I", "6I", "6I", "6I", "6I"}},
    {GNSS_TYPE_BD2, BD2_SIGNAL_TYPE_B2A, "BeiDou B2a", false, {"", "", "", "5P", "5P", "5P"}},
    {GNSS_TYPE_QZSS,
     QZSS_SIGNAL_TYPE_L1CA,
     "QZSS L1 C/A",
     true,
     {"", "1C", "1C", "1C", "1C", "1C"}},
    {GNSS_TYPE_QZSS, QZSS_SIGNAL_TYPE_L1C, "QZSS L1C", false, {"", "1L", "1L", "1L", "1L", "1L"}},
    {GNSS_TYPE_QZSS, QZSS_SIGNAL_TYPE_L2C, "QZSS L2C", false, {"", "2L", "2L", "2L", "2L", "2L"}},
    {GNSS_TYPE_QZSS, QZSS_SIGNAL_TYPE_L5, "QZSS L5", false, {"", "5Q", "5Q", "5Q", "5Q", "5Q"}},
    {GNSS_TYPE_QZSS, QZSS_SIGNAL_TYPE_LEX, "QZSS L6", false, {"", "6S", "6S", "6S", "6S", "6S"}},
    {GNSS_TYPE_SBAS, SBAS_SIGNAL_TYPE_L1CA, "SBAS L1", true, {"1", "1C", "1C", "1C", "1C", "1C"}},
};

// The order of the constellations in headers and epochs.
const S16 kSystemOrder[] = {GNSS_TYPE_GPS, GNSS_TYPE_GLO,  GNSS_TYPE_GAL,
                            GNSS_TYPE_BD2, GNSS_TYPE_QZSS, GNSS_TYPE_SBAS};
// The band digits of a RINEX 2.11 types list, in the order they are listed.
const char* const kBands211 = "125768";

int version_column(int version) {
  switch (version) {
    case 211: return 0;
    case 302: return 1;
    case 303: return 2;
    case 304: return 3;
    case 305: return 4;
    default: return 5;
  }
}

std::string version_text(int version) {
  char text[24];
  snprintf(text, sizeof text, "%d.%02d", version / 100, version % 100);
  return text;
}

const char* system_name(S16 gnss_type) {
  switch (gnss_type) {
    case GNSS_TYPE_GLO: return "GLONASS";
    case GNSS_TYPE_GAL: return "Galileo";
    case GNSS_TYPE_BD2: return "BeiDou";
    case GNSS_TYPE_QZSS: return "QZSS";
    case GNSS_TYPE_SBAS: return "SBAS";
    default: return "GPS";
  }
}

// RINEX 2.11 has system letters for GPS, GLONASS, Galileo and SBAS only.
bool writable_in_211(S16 gnss_type) {
  return gnss_type != GNSS_TYPE_BD2 && gnss_type != GNSS_TYPE_QZSS;
}

constexpr int kSignalTypes = 8;  // internal signal types of a constellation: 0-4

// Every record of every epoch asks for its signal and place: both from tables
// built once from the signal table.
struct Lookup {
  U08 id[GNSS_NTYPE][kSignalTypes];
  U08 slot[SIG_COUNT];
  Lookup() {
    memset(id, SIG_NONE, sizeof id);
    int count[GNSS_NTYPE] = {};
    for (int i = 0; i < SIG_COUNT; i++) {
      id[kSignals[i].gnss_type][kSignals[i].signal_type] = (U08)i;
      slot[i] = (U08)count[kSignals[i].gnss_type]++;
    }
  }
};

const Lookup& lookup() {
  static const Lookup table;
  return table;
}

}  // namespace

int Codes_signal_id(S16 gnss_type, U08 signal_type) {
  if (gnss_type < 0 || gnss_type >= GNSS_NTYPE || signal_type >= kSignalTypes) return SIG_NONE;
  return lookup().id[gnss_type][signal_type];
}

int Codes_slot(int id) { return lookup().slot[id]; }

int Codes_place(S16 gnss_type, U08 signal_type) {
  if (gnss_type < 0 || gnss_type >= GNSS_NTYPE || signal_type >= kSignalTypes) return -1;
  const Lookup& l = lookup();
  U08 id = l.id[gnss_type][signal_type];
  return id == SIG_NONE ? -1 : l.slot[id];
}

const char* Codes_code(int id, int version) { return kSignals[id].code[version_column(version)]; }

char Codes_letter(S16 gnss_type) {
  switch (gnss_type) {
    case GNSS_TYPE_GPS: return 'G';
    case GNSS_TYPE_GLO: return 'R';
    case GNSS_TYPE_GAL: return 'E';
    case GNSS_TYPE_BD2: return 'C';
    case GNSS_TYPE_QZSS: return 'J';
    case GNSS_TYPE_SBAS: return 'S';
    default: return ' ';
  }
}

TypePlan Codes_plan(int version, const bool* selected, const bool* present, bool dual) {
  TypePlan plan;
  plan.version = version;
  const std::string v = version_text(version);
  for (S16 type : kSystemOrder) {
    if (!selected[type]) continue;
    bool occurs = false;
    for (int id = 0; id < SIG_COUNT; id++) occurs |= kSignals[id].gnss_type == type && present[id];
    if (version == 211 && !writable_in_211(type)) {
      if (occurs)
        plan.notes.push_back(std::string(system_name(type)) + ": no RINEX 2.11 system; left out");
      continue;
    }
    std::string bands_taken;
    for (int id = 0; id < SIG_COUNT; id++) {
      const SignalInfo& s = kSignals[id];
      // A system without any signal in the log still lists its first-frequency signal.
      bool wanted = s.gnss_type == type && (present[id] || (!occurs && s.first_frequency));
      if (!wanted || (!dual && !s.first_frequency)) continue;
      const char* code = Codes_code(id, version);
      if (code[0] == '\0') {
        plan.notes.push_back(std::string(s.name) + ": no RINEX " + v + " code; left out");
        continue;
      }
      if (version == 211 && bands_taken.find(code[0]) != std::string::npos) {
        plan.notes.push_back(std::string(s.name) +
                             ": its 2.11 code holds another signal; left out");
        continue;
      }
      bands_taken += code[0];
      plan.signals[type].push_back(id);
      if (version == 211 && plan.bands.find(code[0]) == std::string::npos) plan.bands += code[0];
    }
  }
  std::string ordered;  // the 2.11 bands in the listing order
  for (const char* b = kBands211; *b != '\0'; b++)
    if (plan.bands.find(*b) != std::string::npos) ordered += *b;
  plan.bands = ordered;
  return plan;
}
