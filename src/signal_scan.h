// What a quick pass over a raw log's frames finds before the conversion:
// which signals it holds, so that the standard writers' header lists every
// type the file will need from its first byte on; the spacing of its epochs,
// the GLONASS channel numbers and the leap seconds it tells, so that the
// first header already has the lines the last one will have; and which
// periods its measurement epochs fall in, so that a run into existing period
// files is refused before anything is written.
#ifndef VLN_SIGNAL_SCAN_H
#define VLN_SIGNAL_SCAN_H

#include <cstdint>
#include <cstdio>
#include <set>

#include "const.h"
#include "obs_codes.h"
#include "source/byte_source.h"

struct LogScan {
  // Every signal of the records of the measurement messages in frames whose
  // checksum matches (of the first kind the log has, as the conversion takes it).
  bool present[SIG_COUNT] = {};
  bool first_bytes[256] = {};  // the 0xE5 records' first bytes (constellation and signal)
  // With a period length: the periods (GPS seconds / length) of the
  // measurement epochs' times inside [start, end).
  D64 period = 0, start = -1e300, end = 1e300;
  std::set<int64_t> periods;
  // With an interval: only the epochs on its grid (as --interval keeps them).
  D64 interval = 0;
  // The shortest spacing of the measurement epochs inside [start, end); 0 below two.
  D64 spacing = 0;
  D64 last_epoch = -1;
  // GLONASS channel numbers by slot, from measurements and almanac strings.
  S08 glonass_k[GLO_MAX_SLOT + 1];
  S16 glonass_tk = -1;  // the last string 1's frame time
  // GPS leap seconds from subframe 4 page 18.
  bool leap_known = false;
  S16 leap = 0;
  LogScan();
};

// Scans the log into scan, then rewinds the file; false when it cannot be rewound.
bool Scan_log(FileSource* log, LogScan* scan);

#endif
