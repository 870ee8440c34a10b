// What a quick pass over a raw log's frames finds before the conversion:
// which signals it holds, so that the standard writers' header lists every
// type the file will need from its first byte on; and which periods its
// measurement epochs fall in, so that a run into existing period files is
// refused before anything is written.
#ifndef VLN_SIGNAL_SCAN_H
#define VLN_SIGNAL_SCAN_H

#include <cstdint>
#include <cstdio>
#include <set>

#include "obs_codes.h"
#include "source/byte_source.h"

struct LogScan {
  // Every signal of the records of the measurement messages in frames whose
  // checksum matches (of the first kind the log has, as the conversion takes it).
  bool present[SIG_COUNT] = {};
  // With a period length: the periods (GPS seconds / length) of the
  // measurement epochs' times inside [start, end).
  D64 period = 0, start = -1e300, end = 1e300;
  std::set<int64_t> periods;
};

// Scans the log into scan, then rewinds the file; false when it cannot be rewound.
bool Scan_log(FileSource* log, LogScan* scan);

#endif
