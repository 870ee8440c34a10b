// The receiver's signals and the observation code each one has in every RINEX
// version the standard writer writes: one row per signal, one column per
// version, so "how is GPS L5 written in 3.04" is one look in one table. Also
// the plan of a run: which signals each system lists in its header, in which
// order, and the notes on signals a version cannot hold.
#ifndef VLN_OBS_CODES_H
#define VLN_OBS_CODES_H

#include <string>
#include <vector>

#include "data_type.h"

// Every signal kind the receiver reports, each system's first-frequency signal first.
enum SignalId {
  SIG_GPS_L1CA,
  SIG_GPS_L1C,
  SIG_GPS_L2C,
  SIG_GPS_L5,
  SIG_GLO_L1,
  SIG_GLO_L2,
  SIG_GLO_L3,
  SIG_GAL_E1,
  SIG_GAL_E5A,
  SIG_GAL_E5B,
  SIG_GAL_E6,
  SIG_BDS_B1I,
  SIG_BDS_B1C,
  SIG_BDS_B2I,
  SIG_BDS_B3I,
  SIG_BDS_B2A,
  SIG_QZS_L1CA,
  SIG_QZS_L1C,
  SIG_QZS_L2C,
  SIG_QZS_L5,
  SIG_QZS_L6,
  SIG_SBAS_L1,
  SIG_COUNT
};
enum { SIG_NONE = 255, SIGNALS_PER_SYSTEM = 5 };

struct SignalInfo {
  S16 gnss_type;
  U08 signal_type;  // the constellation's internal signal type
  const char* name;
  bool first_frequency;
  // Band digit and attribute in 2.11 (digit only), 3.02, 3.03, 3.04, 3.05, 4.00;
  // "" where the version has no code for the signal.
  const char* code[6];
};

// The signal of a constellation's internal signal type; SIG_NONE when there is none.
int Codes_signal_id(S16 gnss_type, U08 signal_type);
// The signal's place among its constellation's signals (0-4), for the store.
int Codes_slot(int id);
// The place of a constellation's internal signal type; -1 when there is no such signal.
int Codes_place(S16 gnss_type, U08 signal_type);
// Band digit and attribute of a signal in a version ("5Q"; "5" in 2.11); "" where it has none.
const char* Codes_code(int id, int version);
// The system letter of a constellation.
char Codes_letter(S16 gnss_type);

// What a run writes: per constellation the signals of its header, in order.
struct TypePlan {
  int version = 0;
  std::vector<int> signals[8];     // by constellation
  std::vector<std::string> notes;  // signals or systems left out, each a COMMENT line
  // RINEX 2.11: the band digits of the one types list, in order.
  std::string bands;
};

// Builds the plan of a version for the selected constellations (selected[gnss
// type]) from the signals that occur in the log (present[id]); dual: every
// signal, else only the first-frequency ones.
TypePlan Codes_plan(int version, const bool* selected, const bool* present, bool dual);

#endif
