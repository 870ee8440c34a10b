// The records of an observation epoch as each generation lays them out,
// from satellite lines of fields whatever fed them: RINEX 2.11 (epoch lines
// of 12 satellites, records of five fields a line), RINEX 3.02-4.00 (one line
// a satellite) and Compact RINEX 1.0 and 3.0. A records writer is an object
// per output file (a new file starts a new one); the version picks its
// layout here and nowhere else.
#ifndef VLN_OBS_RECORDS_H
#define VLN_OBS_RECORDS_H

#include <memory>
#include <string>

#include "data_type.h"
#include "obs_fields.h"

class ObsRecords {
 public:
  virtual ~ObsRecords() = default;
  // Appends an epoch to out: epoch_start is its line up to the satellite
  // count (Obs_epoch_start); a special record (flag above 1) has no
  // satellites, and its lines follow as they are.
  virtual void epoch(const char* epoch_start, int flag, const ObsFields* sats, int nsat,
                     std::string* out) = 0;
};

// The records writer of a version (211, 302-305, 400), as RINEX text or as
// Compact RINEX (1.0 for 2.11, 3.0 for the others).
std::unique_ptr<ObsRecords> Obs_records_for(int version, bool compact);
// The epoch line up to its satellite count, "> yyyy mm dd hh mm ss.sssssss  f
// nnn" (35 columns) or for 2.11 " yy mm dd hh mm ss.sssssss  f nnn" (32);
// without a time (timed false) its time fields are blank. Returns its length.
int Obs_epoch_start(char* line, int version, const UTC_TIME_T& time, bool timed, int flag,
                    int nsat);
// The 16 columns of field k of a satellite line: the F14.3 value (blank
// when absent), then its loss-of-lock and strength characters.
void Obs_put_field(char* p, const ObsFields& sat, int k);

#endif
