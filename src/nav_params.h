// The correction parameters as the standard writers' navigation files need
// them: after every navigation message, which of the parameter store's sets
// (ionosphere, UTC terms, leap seconds, GLONASS tau_c, per constellation)
// changed, and for each set the satellite that broadcast its current values
// and when that message was transmitted, from the message's own words (the
// HOW, the word's or subframe's time of week, the GLONASS frame), its week
// resolved to a full week against the latest full week the log has told.
#ifndef VLN_NAV_PARAMS_H
#define VLN_NAV_PARAMS_H

#include "data_type.h"
#include "nav.h"

struct ParamSource {
  bool known;   // the log has taught the set
  bool timed;   // the time of its message is known: week and tow hold it
  char letter;  // the broadcasting satellite
  int sat;
  S32 week;  // GPS week and seconds of week of the message's transmission
  D64 tow;
};

// Forgets every set (all unknown) and every week the log told.
void Params_start();
// After a navigation message of the satellite: the message's transmission
// time is taken from its words; notes the sets whose values changed,
// crediting them to it; returns them as bits (1 << (kind * 8 + gnss_type)),
// kinds as in nav.h, together with the sets of earlier messages whose time has
// become known with this one.
U32 Params_note(U08 msg_id, const U08* buf, U16 len, char letter, int sat);
const ParamSource& Params_source(S16 kind, S16 gnss_type);
// The time a header line gives a set: its message's, or the receiver's last
// epoch when the message did not tell it.
void Params_time(const ParamSource& s, S32* week, D64* tow);
// Of the sets of bits (as Params_note returns them), those the log taught
// whose message's time was never known.
int Params_untimed(U32 bits);

#endif
