// The correction parameters as the standard writers' navigation files need
// them: after every navigation message, which of the parameter store's sets
// (ionosphere, UTC terms, leap seconds, GLONASS tau_c, per constellation)
// changed, and for each set the satellite that broadcast its current values
// and the receiver's time then.
#ifndef VLN_NAV_PARAMS_H
#define VLN_NAV_PARAMS_H

#include "data_type.h"
#include "nav.h"

struct ParamSource {
  bool known;   // the log has taught the set
  char letter;  // the broadcasting satellite
  int sat;
  S32 week;  // the receiver's GPS time when the values first came
  D64 tow;
};

// Forgets every set (all unknown).
void Params_start();
// After a navigation message of the satellite: notes the sets whose values
// changed, crediting them to it; returns them as bits (1 << (kind * 8 +
// gnss_type)), kinds as in nav.h.
U32 Params_note(char letter, int sat);
const ParamSource& Params_source(S16 kind, S16 gnss_type);

#endif
