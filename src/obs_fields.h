// The record every observation writer takes, whatever fed it (the raw
// decoder or a RINEX reader) and whatever it writes (RINEX 2.11, 3.x, 4.00 or
// Compact RINEX): one satellite's line of an epoch, its fields in its
// system's header order, each a value in the thousandths its F14.3 field
// shows (or blank) and two flag characters, loss of lock and strength.
#ifndef VLN_OBS_FIELDS_H
#define VLN_OBS_FIELDS_H

#include <cstdint>

// The most types one system's header list may have in a file this program
// writes (RINEX 3 receivers report up to about 40 for one system).
enum { OBS_MAX_FIELDS = 64 };

struct ObsFields {
  char id[3];  // "G05" (the original writer: "G 5")
  int nfields;
  int64_t value[OBS_MAX_FIELDS];  // thousandths, as the F14.3 field shows them
  bool present[OBS_MAX_FIELDS];   // a value an F14.3 field holds; else blank
  uint64_t minus_zero;            // bit k: value k is 0 in thousandths but written "-0.000"
  char flags[2 * OBS_MAX_FIELDS];
};

#endif
