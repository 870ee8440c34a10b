// What the converting thread hands to the writer thread through the output
// stage: the item kinds, and the records inside them. An epoch item holds the
// epoch line's values and, behind it, one record per satellite line; the
// plain and the Compact RINEX writers both start from it. A navigation item
// holds the constellation and number of its satellite, then the record text.
// A period item holds NUL-ended strings: the observation, navigation and
// GLONASS navigation file names, then their header texts (a closing item
// first says whether the files get their final names, "final", or stay
// under their provisional ones, "keep"). A checkpoint item holds the three
// header texts.
#ifndef VLN_OUTPUT_ITEMS_H
#define VLN_OUTPUT_ITEMS_H

#include "data_type.h"

// Item kinds of the output stage.
enum {
  ITEM_EPOCH = 1,
  ITEM_NAV = 2,
  ITEM_PERIOD_OPEN = 3,
  ITEM_PERIOD_CLOSE = 4,
  ITEM_SIGNAL_EPOCH = 5,
  ITEM_CHECKPOINT = 6
};

typedef struct {
  UTC_TIME_T time;
  S16 flag;  // 0 measurement epoch, 5 event
  S16 nsat;  // satellite records that follow
} EPOCH_REC_T;

// The fields of a satellite's record, per frequency: pseudorange, phase,
// Doppler, C/N0. The converting thread turns each into the thousandths its
// F14.3 field shows, so that the writer thread only writes digits.
enum { SAT_FIELDS = 8 };
typedef struct {
  char letter;       // system letter
  U08 sat;           // number as printed
  U08 nfreq;         // frequencies with values: 1 or 2
  U08 blank_second;  // a dual-frequency line whose second frequency is empty
  U08 lli[2];
  U08 raw;                     // bit k: field k is the value's double (no F14.3 field holds it)
  U08 negative;                // bit k: field k is negative (-0.000 included)
  uint64_t field[SAT_FIELDS];  // thousandths of the magnitude, or the double's bits
} SAT_REC_T;

// The largest epoch: every slot of every constellation.
enum { MAX_EPOCH_SATS = 160 };

// An epoch of the standard writers: the log's GPS time and, behind it, one
// record per measured signal, satellite by satellite in the header's order.
typedef struct {
  S32 week;
  D64 tow;   // seconds of the week, as the log gave them
  S16 flag;  // 0 measurement epoch, 5 event
  S16 nsig;  // signal records that follow
} SIGNAL_EPOCH_T;

// A signal's four values (code, phase, Doppler, strength) come as the
// thousandths of the magnitude their F14.3 fields show, computed on the
// converting thread, so that the writer thread only writes digits. A value
// the receiver did not measure (its 0 for a phase or a Doppler) has no field,
// nor has one no F14.3 field holds (not finite, or too large).
typedef struct {
  char letter;    // system letter
  U08 gnss_type;  // its constellation
  U08 sat;        // number as written (G02: 2, S20: 20)
  U08 signal;     // SignalId
  U08 lli;
  U08 present;        // bit k: value k has a field
  U08 negative;       // bit k: value k is negative (-0.000 included)
  uint64_t field[4];  // thousandths of each value's magnitude
} SIGNAL_REC_T;

// The largest standard epoch: every signal of every satellite.
enum { MAX_EPOCH_SIGNALS = 600 };

#endif
