// One epoch of the observation file as the converting thread hands it to the
// writer: the epoch line's values and, behind it, one record per satellite
// line. The plain and the Compact RINEX writers both start from it.
#ifndef VLN_EPOCH_RECORD_H
#define VLN_EPOCH_RECORD_H

#include "data_type.h"

typedef struct {
  UTC_TIME_T time;
  S16 flag;  // 0 measurement epoch, 5 event
  S16 nsat;  // satellite records that follow
} EPOCH_REC_T;

typedef struct {
  char letter;       // system letter
  U08 sat;           // number as printed
  U08 nfreq;         // frequencies with values: 1 or 2
  U08 blank_second;  // a dual-frequency line whose second frequency is empty
  U08 lli[2];
  S16 cn0[2];
  F32 doppler[2];
  D64 pr[2];
  D64 carr_phase[2];
} SAT_REC_T;

// The largest epoch: every slot of every constellation.
enum { MAX_EPOCH_SATS = 160 };

#endif
