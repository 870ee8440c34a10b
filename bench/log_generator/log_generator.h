// Writes synthetic raw logs of the receiver: measurement epochs whose
// pseudorange, carrier phase and Doppler agree with one moving range per
// satellite, receiver positions, event stamps, and the navigation words of
// plausible ephemerides re-broadcast on each constellation's own schedule.
#ifndef VLN_LOG_GENERATOR_H
#define VLN_LOG_GENERATOR_H

#include <cstdint>
#include <cstdio>
#include <string>

struct LogOptions {
  double seconds = 180.0;
  int rate_hz = 1;               // 1 to 20 epochs per second
  bool extended = true;          // 0xE5 measurements, else 0xDC + 0xDD
  int signals = 5;               // signals per satellite in 0xE5: the profile's first ones
  std::string profile = "l1l2";  // l1l2 (L1 C/A, L2C, E5b, B2I), l1l5 (L5, E5a, B2a), multi
  std::string systems = "GRECJS";
  int satellites = 40;  // 0xE5 frames hold at most 64 records
  bool navigation = true;
  int week = 2400;  // GPS week of the first epoch
  double start_tow = 345600.0;
  // Seconds between epochs when above one (instead of rate_hz); navigation
  // words are then sent in the first minute of every quarter hour only, which
  // every broadcast set starts in, to keep a day's log small.
  double interval = 0;
  double unflagged_slips = 0;  // chance per observation of a cycle slip no flag marks
  double multipath = 0;        // amplitude of an elevation-dependent code error, metres
  // Every this many seconds the receiver steers its clock by 1 ms: code and
  // phase of every satellite jump by a millisecond of light (0: never).
  double clock_jump_every = 0;
  bool clock_jump_code_only = false;  // the phase keeps running through the steps
  // No measurement epochs from gap_start for gap_seconds (a gap in the data).
  double gap_start = 0, gap_seconds = 0;
  // A slip of slip_cycles on the second signal of the first GPS satellite
  // tracked at slip_at seconds into the log (0 cycles: none), unflagged.
  double slip_at = 0, slip_cycles = 0;
  // BeiDou-3 beside BeiDou-2: MEOs C19-C30 and C41-C46 and IGSOs C38-C40
  // (D1 on B1I), GEOs C59 and C60 (D2); and QZSS J07 (PRN 199), the
  // geostationary QZS-3.
  bool beidou3 = false;
};

// What a log holds that its files cannot tell: the cycle slips made without
// a loss-of-lock flag on satellites already in lock.
struct LogCounts {
  long slips = 0;
  long clock_jumps = 0;
  int slip_satellite = 0;  // the placed slip's GPS number, 0 when none was placed
};

// Reads options from command-line words ("--seconds 600" ...); returns false on a bad word.
bool parse_log_options(int argc, char** argv, LogOptions* options, std::string* error);
// Writes the whole log; returns the number of bytes written.
uint64_t write_log(const LogOptions& options, FILE* out, LogCounts* counts = nullptr);

#endif
